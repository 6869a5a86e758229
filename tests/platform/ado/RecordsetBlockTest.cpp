// Recordsets fetched in blocks of bound rows: every column type, NULLs and the edges of
// the blocks, checked against the file read directly with SQLite; and values the driver
// cannot convert, which are raised when read instead of being read wrong.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QTemporaryDir>

#include "RaisedError.h"
#include "platform/ado/Ado.h"
#include "samples/CompanyFile.h"
#include "support/OdbcTestEnv.h"

using namespace qvx;
using ado::VarType;
using ado::Variant;

namespace {

using test::ErrorOf;

// Restores the block sizes a test changed.
struct BlockRowsScope {
  explicit BlockRowsScope(ado::FetchBlockRows rows) : saved(ado::BlockRows()) { ado::BlockRows() = rows; }
  ~BlockRowsScope() { ado::BlockRows() = saved; }
  ado::FetchBlockRows saved;
};

constexpr int kRows = 4500;  // more than one chunk of kept rows

// Row i of the table: a mix of every column kind, with NULLs, wide values, long texts.
std::string RowSql(int i) {
  auto q = [](const std::string& s) { return "'" + s + "'"; };
  const std::string id = i % 97 == 5 ? std::to_string(5000000000LL + i) : std::to_string(i);
  const std::string small = i % 11 == 3 ? "NULL" : (i % 13 == 4 ? std::to_string(40000 + i) : std::to_string(i % 300 - 150));
  // Money as SQLite keeps it: whole numbers as integers, the rest as doubles.
  const std::string amount = i % 7 == 2 ? "NULL" : (i % 2 ? std::to_string(i * 3 - 5000) + ".2525" : std::to_string(i - 99));
  // Runs of three rows share a date, as rows read in date order do; some carry a time.
  const int k = i / 3;
  std::string dayText = "20" + std::to_string(10 + k % 20) + "-0" + std::to_string(1 + k % 9) + "-2" + std::to_string(k % 9);
  if (i % 53 == 20) dayText += " 10:30:00";
  const std::string day = i % 17 == 1 ? "NULL" : q(dayText);
  const std::string ratio = i % 19 == 0 ? "NULL" : std::to_string(i) + ".5e-3";
  std::string name = "Name " + std::to_string(i);
  if (i % 1000 == 999) name = std::string(5000, static_cast<char>('a' + i % 26));  // beyond any buffer
  if (i % 23 == 0) name.clear();
  if (i % 41 == 9) name = "Caf\u00e9 " + std::to_string(i);  // beyond ASCII
  if (i % 43 == 10) name = "Tab\there " + std::to_string(i);
  const std::string nameSql = i % 29 == 7 ? "NULL" : q(name);
  const std::string flag = i % 31 == 6 ? "NULL" : q(i % 2 ? "Y" : "N");
  return "INSERT INTO Kinds VALUES (" + id + ", " + small + ", " + amount + ", " + day + ", " + ratio + ", " +
         nameSql + ", " + flag + ")";
}

class RecordsetBlockTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::UsePrivateOdbcRegistration();
    dir_ = std::make_unique<QTemporaryDir>();
    file_ = dir_->path().toStdString() + "/Blocks.MYO";
    samples::CompanySetup setup;
    setup.companyName = "Blocks Pty Ltd";
    samples::CompanyFile f(file_, setup);
    f.Exec("CREATE TABLE Kinds (Id INTEGER, Small SMALLINT, Amount DECIMAL(19,4), Day DATE, Ratio DOUBLE, "
           "Name VARCHAR(300), Flag CHAR(1))");
    for (int i = 0; i < kRows; ++i) f.Exec(RowSql(i));
    // Values a damaged or hand-edited file may hold: texts where numbers and dates belong.
    f.Exec("CREATE TABLE Odd (Id INTEGER, Amount DECIMAL(19,4), Whole INTEGER, Day DATE, Ratio DOUBLE)");
    for (const char* sql : {"INSERT INTO Odd VALUES (1, 12.5, 7, '2020-01-31', 0.5)",
                            "INSERT INTO Odd VALUES (2, '12abc', '12abc', '2020-13-45', '1,5')",
                            "INSERT INTO Odd VALUES (3, '1,234.50', '1,234', '31/01/2020', 'abc')",
                            "INSERT INTO Odd VALUES (4, 'abc', 'abc', 'abc', '')",
                            "INSERT INTO Odd VALUES (5, ' 42.25 ', ' 8 ', '2021-02-28', ' 2.5 ')",
                            "INSERT INTO Odd VALUES (6, 1e30, 1e30, NULL, NULL)",
                            "INSERT INTO Odd VALUES (7, -0.0001, -3, '2024-02-29', -1)"})
      f.Exec(sql);
    f.Finish();
  }
  static void TearDownTestSuite() { dir_.reset(); }

  void SetUp() override {
    test::ConnectionParts parts;
    parts.file = file_;
    conn_.Open(test::DirectConnectionString(parts));
  }

  // The values SQLite holds for rows with Id below `limit`, as the recordset must give them.
  static std::vector<std::vector<Variant>> Expected(long long limit) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(file_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT Id, Small, Amount, Day, Ratio, Name, Flag FROM Kinds WHERE Id < ? ORDER BY rowid", -1,
                       &st, nullptr);
    sqlite3_bind_int64(st, 1, limit);
    std::vector<std::vector<Variant>> rows;
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::vector<Variant> row;
      auto null = [&](int c) { return sqlite3_column_type(st, c) == SQLITE_NULL; };
      const long long id = sqlite3_column_int64(st, 0);
      row.push_back(id > INT32_MAX ? Variant(static_cast<double>(id)) : Variant(static_cast<int32_t>(id)));
      const long long small = sqlite3_column_int64(st, 1);
      row.push_back(null(1) ? Variant::Null()
                            : small > INT16_MAX ? Variant(static_cast<int32_t>(small)) : Variant(static_cast<int16_t>(small)));
      row.push_back(null(2) ? Variant::Null()
                            : Variant(Money::FromRaw(std::llround(sqlite3_column_double(st, 2) * 10000))));
      if (null(3)) {
        row.push_back(Variant::Null());
      } else {
        const std::string d = reinterpret_cast<const char*>(sqlite3_column_text(st, 3));
        ado::Date date;
        date.year = std::stoi(d.substr(0, 4)), date.month = std::stoi(d.substr(5, 2)), date.day = std::stoi(d.substr(8, 2));
        row.push_back(Variant(date));
      }
      row.push_back(null(4) ? Variant::Null() : Variant(sqlite3_column_double(st, 4)));
      for (int c : {5, 6})
        row.push_back(null(c) ? Variant::Null() : Variant(reinterpret_cast<const char*>(sqlite3_column_text(st, c))));
      rows.push_back(std::move(row));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
  }

  static inline std::unique_ptr<QTemporaryDir> dir_;
  static inline std::string file_;
  ado::Connection conn_;
};

TEST_F(RecordsetBlockTest, EveryRowAndValueWhateverTheBlockSize) {
  struct Case {
    ado::FetchBlockRows blocks;
    long long limit;  // rows with Id below it: 0, 1, a block and one more, more than a chunk
  };
  // In this order: the connection's one statement handle goes from block fetches to a
  // read row by row (the long texts of the full table) and back, in blocks of the size
  // it had bound before.
  const std::vector<Case> cases = {
      {{1, 1}, 0},     {{1, 1}, 1},      {{1, 1}, 40},     {{32, 1024}, 0},  {{32, 1024}, 1},
      {{32, 1024}, 32}, {{32, 1024}, 33}, {{32, 1024}, 995}, {{3, 5}, 17},    {{32, 1024}, kRows},
      {{1024, 1024}, 995}, {{1, 1}, kRows},  {{7, 4096}, kRows}};
  for (const Case& c : cases) {
    SCOPED_TRACE("block " + std::to_string(c.blocks.first) + "/" + std::to_string(c.blocks.next) + ", rows below " +
                 std::to_string(c.limit));
    BlockRowsScope scope(c.blocks);
    const auto expected = Expected(c.limit);
    ado::Recordset rs;
    rs.Open("SELECT Id, Small, Amount, Day, Ratio, Name, Flag FROM MYOB.Kinds WHERE Id < " + std::to_string(c.limit) +
                " ORDER BY rowid",
            conn_);
    ASSERT_EQ(rs.RecordCount(), static_cast<long>(expected.size()));
    EXPECT_EQ(rs.Eof(), expected.empty());
    EXPECT_EQ(rs.Bof(), expected.empty());
    size_t row = 0;
    for (; !rs.Eof(); rs.MoveNext(), ++row) {
      ASSERT_LT(row, expected.size());
      for (long col = 0; col < 7; ++col) {
        const Variant v = rs.Fields(col).Value();
        ASSERT_EQ(v, expected[row][static_cast<size_t>(col)]) << "row " << row << " column " << col;
      }
    }
    EXPECT_EQ(row, expected.size());
    if (!expected.empty()) {
      // Back and forth over the kept rows: the last row, then the first again.
      rs.MoveLast();
      EXPECT_EQ(rs["Name"], expected.back()[5]);
      rs.MovePrevious();
      if (expected.size() > 1) {
        EXPECT_EQ(rs["ID"], expected[expected.size() - 2][0]);
      }
      rs.MoveFirst();
      EXPECT_EQ(rs["amount"], expected.front()[2]);
    }
    rs.Close();
  }
}

TEST_F(RecordsetBlockTest, ValuesThatCannotBeReadExactlyRaiseWhenRead) {
  const int ok = 0, mismatch = err::TypeMismatch, overflow = err::Overflow;
  struct Expect {
    int amount, whole, day, ratio;  // the error reading each column, or 0
  };
  const std::vector<Expect> expects = {
      {ok, ok, ok, ok},                          // 1
      {mismatch, mismatch, mismatch, mismatch},  // 2: "12abc" is not 12
      {mismatch, mismatch, mismatch, mismatch},  // 3: "1,234.50" is not 1
      {mismatch, mismatch, mismatch, mismatch},  // 4: "abc" is not 0
      {ok, ok, ok, ok},                          // 5: blanks around a number are read
      {ok, overflow, ok, ok},                    // 6: beyond the range
      {ok, ok, ok, ok},                          // 7
  };
  for (const ado::FetchBlockRows blocks : {ado::FetchBlockRows{1, 1}, ado::FetchBlockRows{32, 1024}}) {
    BlockRowsScope scope(blocks);
    ado::Recordset rs;
    rs.Open("SELECT Id, Amount, Whole, Day, Ratio FROM MYOB.Odd ORDER BY Id", conn_);
    ASSERT_EQ(rs.RecordCount(), 7);
    for (size_t i = 0; i < expects.size(); ++i, rs.MoveNext()) {
      SCOPED_TRACE("row " + std::to_string(i + 1) + ", block " + std::to_string(blocks.first));
      EXPECT_EQ(rs["Id"].ToLong(), static_cast<int32_t>(i + 1));  // the row itself is there
      EXPECT_EQ(ErrorOf([&] { rs["Amount"]; }), expects[i].amount);
      EXPECT_EQ(ErrorOf([&] { rs["Whole"]; }), expects[i].whole);
      EXPECT_EQ(ErrorOf([&] { rs["Day"]; }), expects[i].day);
      EXPECT_EQ(ErrorOf([&] { rs["Ratio"]; }), expects[i].ratio);
    }
    rs.MoveFirst();
    EXPECT_EQ(rs["Amount"], Variant(Money::Parse("12.5")));
    EXPECT_EQ(rs["Day"].ToString(), "31/01/2020");
    for (int i = 0; i < 4; ++i) rs.MoveNext();
    EXPECT_EQ(rs["Amount"], Variant(Money::Parse("42.25")));
    EXPECT_EQ(rs["Whole"], Variant(int32_t{8}));
    EXPECT_EQ(rs["Ratio"], Variant(2.5));
    rs.MoveNext();
    // A decimal beyond the currency range is still a number, as a double.
    EXPECT_EQ(rs["Amount"], Variant(1e30));
    EXPECT_EQ(ErrorOf([&] { rs["Amount"].ToCurrency(); }), overflow);
    rs.MoveNext();
    EXPECT_EQ(rs["Amount"], Variant(Money::FromRaw(-1)));
    EXPECT_EQ(rs["Day"].ToString(), "29/02/2024");
  }
}

}  // namespace
