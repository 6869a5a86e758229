// The data-access layer through unixODBC and the company-file driver.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <QTemporaryDir>

#include "RaisedError.h"
#include "platform/ado/Ado.h"
#include "samples/CompanyFile.h"
#include "support/OdbcTestEnv.h"

using namespace qvx;
using ado::VarType;

namespace {

using test::ErrorOf;

std::string Direct(const std::string& file, const std::string& user = "Administrator", bool readAccess = true) {
  test::ConnectionParts parts;
  parts.file = file;
  parts.user = user;
  parts.readAccess = readAccess;
  return test::DirectConnectionString(parts);
}

class RecordsetTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::UsePrivateOdbcRegistration();
    dir_ = std::make_unique<QTemporaryDir>();
    file_ = dir_->path().toStdString() + "/Types.MYO";
    samples::CompanySetup setup;
    setup.companyName = "Types Pty Ltd";
    samples::CompanyFile f(file_, setup);
    f.Exec("CREATE TABLE Kinds (Id INTEGER, Small SMALLINT, Amount DECIMAL(19,4), Day DATE, Ratio DOUBLE, "
           "Name VARCHAR(300), Flag CHAR(1))");
    f.Exec("INSERT INTO Kinds VALUES (1, -3, 1250.5, '2013-03-05', 0.25, 'Alpha', 'Y')");
    f.Exec("INSERT INTO Kinds VALUES (2, NULL, NULL, NULL, NULL, NULL, NULL)");
    f.Exec("INSERT INTO Kinds VALUES (3, 32767, -0.0001, '2024-02-29', -1e10, '" + std::string(300, 'x') +
           "', 'N')");
    f.Finish();
  }
  static void TearDownTestSuite() { dir_.reset(); }

  void SetUp() override {
    conn_.Open(Direct(file_));
  }

  static inline std::unique_ptr<QTemporaryDir> dir_;
  static inline std::string file_;
  ado::Connection conn_;
};

TEST_F(RecordsetTest, ValuesOfEveryColumnKind) {
  ado::Recordset rs;
  rs.Open("SELECT Id, Small, Amount, Day, Ratio, Name, Flag FROM MYOB.Kinds ORDER BY Id", conn_);
  ASSERT_EQ(rs.RecordCount(), 3);
  ASSERT_EQ(rs.FieldCount(), 7);
  const std::vector<VarType> types = {VarType::Long,   VarType::Integer, VarType::Currency, VarType::Date,
                                      VarType::Double, VarType::String,  VarType::String};
  for (long i = 0; i < rs.FieldCount(); ++i) EXPECT_EQ(rs.Fields(i).Type(), types[static_cast<size_t>(i)]) << i;

  EXPECT_FALSE(rs.Eof());
  EXPECT_EQ(rs["Id"].ToLong(), 1);
  EXPECT_EQ(rs["Small"].Type(), VarType::Integer);
  EXPECT_EQ(rs["Small"].ToInteger(), -3);
  EXPECT_EQ(rs["Amount"].ToCurrency(), Money::Parse("1250.5"));
  EXPECT_EQ(rs["Day"].ToString(), "05/03/2013");  // the test programs' short-date picture
  EXPECT_EQ(rs["Ratio"].ToDouble(), 0.25);
  EXPECT_EQ(rs["Name"].ToString(), "Alpha");
  EXPECT_EQ(rs["Flag"].ToString(), "Y");

  rs.MoveNext();
  for (const char* name : {"Small", "Amount", "Day", "Ratio", "Name", "Flag"}) {
    EXPECT_TRUE(rs[name].IsNull()) << name;
    EXPECT_EQ(ErrorOf([&] { rs[name].ToString(); }), err::InvalidUseOfNull) << name;
  }

  rs.MoveNext();
  EXPECT_EQ(rs["Small"].ToInteger(), 32767);
  EXPECT_EQ(rs["Amount"].ToCurrency().ToString(), "-0.0001");
  EXPECT_EQ(rs["Day"].ToString(), "29/02/2024");
  EXPECT_EQ(rs["Ratio"].ToDouble(), -1e10);
  EXPECT_EQ(rs["Name"].ToString(), std::string(300, 'x'));
  rs.MoveNext();
  EXPECT_TRUE(rs.Eof());
  rs.Close();
}

TEST_F(RecordsetTest, MovesAndTheEnds) {
  ado::Recordset rs;
  rs.Open("SELECT Id FROM MYOB.Kinds ORDER BY Id", conn_);
  EXPECT_FALSE(rs.Bof());
  rs.MoveLast();
  EXPECT_EQ(rs.Fields(0).Value().ToLong(), 3);
  rs.MoveFirst();
  EXPECT_EQ(rs.Fields(0).Value().ToLong(), 1);
  std::vector<long> seen;
  while (!rs.Eof()) {
    seen.push_back(rs["ID"].ToLong());
    rs.MoveNext();
  }
  EXPECT_EQ(seen, (std::vector<long>{1, 2, 3}));
  EXPECT_EQ(ErrorOf([&] { rs.MoveNext(); }), ado::adoerr::NoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs["Id"]; }), ado::adoerr::NoCurrentRecord);

  // A query with no rows stands at its end with a count of 0.
  ado::Recordset none;
  none.Open("SELECT Id FROM MYOB.Kinds WHERE Id > 99", conn_);
  EXPECT_EQ(none.RecordCount(), 0);
  EXPECT_TRUE(none.Eof());
  EXPECT_TRUE(none.Bof());
}

TEST_F(RecordsetTest, FieldsByNameIgnoreCaseAndTakeTheFirst) {
  ado::Recordset rs;
  rs.Open("SELECT Id AS Value, Small AS VALUE, Name FROM MYOB.Kinds WHERE Id = 1", conn_);
  EXPECT_EQ(rs.Fields("value").Name(), "Value");
  EXPECT_EQ(rs["vAlUe"].ToLong(), 1);
  EXPECT_EQ(rs.Fields(1).Value().ToLong(), -3);
  EXPECT_EQ(rs.Fields(1).Name(), "VALUE");
  std::string description;
  EXPECT_EQ(ErrorOf([&] { rs.Fields("Missing"); }, &description), ado::adoerr::ItemNotFound);
  EXPECT_EQ(description, "Item cannot be found in the collection corresponding to the requested name or ordinal.");
  EXPECT_EQ(ErrorOf([&] { rs.Fields(3); }), ado::adoerr::ItemNotFound);
  EXPECT_EQ(ErrorOf([&] { rs.Fields(-1); }), ado::adoerr::ItemNotFound);
  rs.Close();
  for (const auto& f : std::vector<std::function<void()>>{[&] { rs.Eof(); }, [&] { rs.RecordCount(); },
                                                          [&] { rs.MoveFirst(); }, [&] { rs.Fields(0); },
                                                          [&] { rs.Close(); }}) {
    EXPECT_EQ(ErrorOf(f), ado::adoerr::ObjectClosed);
  }
}

TEST_F(RecordsetTest, FailuresCarryTheDriversMessage) {
  struct Case { std::string sql; std::string inMessage; };
  for (const Case& c : std::vector<Case>{
           {"SELECT Nope FROM MYOB.Kinds", "Nope"},
           {"SELECT * FROM MYOB.NoSuchTable", "NoSuchTable"},
           {"DELETE FROM MYOB.Kinds", ""},
           {"SELECT 'unterminated FROM MYOB.Kinds", ""},
           // Fails on its second row, with a cursor open on the statement.
           {"SELECT abs(x) AS v FROM (SELECT 1 AS x UNION ALL SELECT -9223372036854775808)", "overflow"},
       }) {
    ado::Recordset rs;
    std::string description;
    EXPECT_EQ(ErrorOf([&] { rs.Open(c.sql, conn_); }, &description), err::DbCommandFailed) << c.sql;
    EXPECT_FALSE(description.empty());
    EXPECT_NE(description.find(c.inMessage), std::string::npos) << description;
    EXPECT_EQ(rs.State(), ado::adStateClosed);
  }
  // The connection is still good, after each failure and for commands of any shape.
  for (const Case& c : std::vector<Case>{{"SELECT Nope FROM MYOB.Kinds", ""},
                                         {"SELECT abs(x) AS v FROM (SELECT 1 AS x UNION ALL SELECT "
                                          "-9223372036854775808)", ""}}) {
    ado::Recordset bad;
    EXPECT_EQ(ErrorOf([&] { bad.Open(c.sql, conn_); }), err::DbCommandFailed) << c.sql;
    ado::Recordset rs;
    rs.Open("SELECT Id, Small, Amount, Day, Ratio, Name, Flag FROM MYOB.Kinds ORDER BY Id", conn_);
    ASSERT_EQ(rs.RecordCount(), 3);
    EXPECT_EQ(rs["Name"].ToString(), "Alpha");
    rs.MoveLast();
    EXPECT_EQ(rs["Name"].ToString(), std::string(300, 'x'));
    EXPECT_EQ(rs["Amount"].ToCurrency(), Money::Parse("-0.0001"));
    ado::Recordset count;
    count.Open("SELECT COUNT(*) AS N FROM MYOB.Kinds", conn_);
    EXPECT_EQ(count["N"].ToLong(), 3);
  }
}

TEST_F(RecordsetTest, ConnectionOpenAndClose) {
  EXPECT_EQ(conn_.State(), ado::adStateOpen);
  EXPECT_EQ(ErrorOf([&] { conn_.Open(Direct(file_)); }), ado::adoerr::ObjectOpen);
  conn_.Close();
  EXPECT_EQ(conn_.State(), ado::adStateClosed);
  ado::Recordset rs;
  EXPECT_EQ(ErrorOf([&] { rs.Open("SELECT 1", conn_); }), ado::adoerr::ConnectionNotUsable);
  EXPECT_EQ(ErrorOf([&] { conn_.Close(); }), ado::adoerr::ObjectClosed);

  struct Case { std::string connectionString; std::string inMessage; };
  for (const Case& c : std::vector<Case>{
           {Direct(file_ + ".missing"), "does not exist"},
           {Direct(file_, "Nobody"), ""},
           {Direct(file_, "Administrator", false) + "ACCESS_TYPE=READ; KEY=0; ", "key"},
           {"Driver={No Such Driver}; DATABASE=x; ", ""},
       }) {
    ado::Connection other;
    std::string description;
    EXPECT_EQ(ErrorOf([&] { other.Open(c.connectionString); }, &description), err::DbOpenFailed);
    EXPECT_FALSE(description.empty());
    EXPECT_NE(description.find(c.inMessage), std::string::npos) << description;
    EXPECT_EQ(other.State(), ado::adStateClosed);
  }
  // Reopened after a close, many times, with a command on each opening.
  for (int i = 0; i < 25; ++i) {
    conn_.Open(Direct(file_));
    rs.Open("SELECT Id FROM MYOB.Kinds WHERE Id = " + std::to_string(i % 3 + 1), conn_);
    EXPECT_EQ(rs["Id"].ToLong(), i % 3 + 1);
    rs.Close();
    conn_.Close();
  }
  conn_.Open(Direct(file_));
}

}  // namespace
