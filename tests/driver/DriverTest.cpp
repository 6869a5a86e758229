// The company-file driver as a client sees it through unixODBC.
#include "tests/support/OdbcTestEnv.h"
#include "tests/support/OtherProgram.h"

#include "driver/AccessKey.h"
#include "samples/CompanyFile.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace qvx {
namespace {

namespace fs = std::filesystem;
using samples::CompanyFile;
using samples::CompanySetup;
using samples::M;
using test::ConnectionParts;
using test::TestConnection;

std::string Checksum(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  std::string data = ss.str();
  uint64_t h = 1469598103934665603ULL;
  for (unsigned char c : data) h = (h ^ c) * 1099511628211ULL;
  return std::to_string(data.size()) + ":" + std::to_string(h);
}

// Puts a pipe at the name `swapped` as SQLite opens it, after the driver has looked at the
// file there: what another user may do to a file of a shared group folder.
std::string swapped;
sqlite3_syscall_ptr openBefore = nullptr;
int PipeAtOpen(const char* path, int flags, int mode) {
  if (!swapped.empty() && swapped == path) {
    const std::string pipe = swapped + ".pipe";
    ::mkfifo(pipe.c_str(), 0600);
    ::rename(pipe.c_str(), swapped.c_str());
  }
  return reinterpret_cast<int (*)(const char*, int, int)>(openBefore)(path, flags, mode);
}

// A small company file with one of everything the type tests read.
class DriverTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::UsePrivateOdbcRegistration();
    dir_ = fs::temp_directory_path() / ("qvx-driver-test-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    file_ = (dir_ / "Small Company.MYO").string();
    CompanySetup s;
    s.companyName = "Small Co";
    s.users = {{"Administrator", ""}, {"Clerk", "Secret1"}};
    CompanyFile f(file_, s);
    int bank = f.AddAccount({.number = "1-1110", .name = "Cheque Account", .level = 3, .subClass = "B"});
    int debtors = f.AddAccount({.number = "1-1200", .name = "Trade Debtors", .level = 3, .subClass = "AR"});
    int gst = f.AddAccount({.number = "2-1300", .name = "GST Collected", .level = 3, .subClass = "OCL"});
    int sales = f.AddAccount({.number = "4-1100", .name = "Sales", .level = 3, .subClass = "I"});
    f.SetLinkedAccounts({.receivables = debtors, .receivablesFreight = sales});
    int code = f.AddTaxCode("GST", 10, gst, gst);
    int sale = f.AddSale({.date = "2013-07-15",
                          .type = 'S',
                          .lines = {{.account = sales, .amount = M("100.25"), .tax = M("10.03"), .taxCode = code}}});
    f.AddCustomerPayment({.date = "2013-08-01", .account = bank, .applied = {{sale, M("110.28")}}});
    f.Exec("INSERT INTO Cards (CardRecordID, CardTypeID, Name) VALUES (77, 'C', NULL)");
    f.Finish();
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  static std::string Direct(const std::string& file, const std::string& user = "Administrator",
                            const std::string& pwd = "") {
    return test::DirectConnectionString({.file = file, .user = user, .password = pwd});
  }

  static inline fs::path dir_;
  static inline std::string file_;
};

TEST_F(DriverTest, ConnectsInBothModesAndWithTheDialectOfConnectionStrings) {
  const std::string key = driver::kAccessKey;
  const std::vector<std::string> strings = {
      Direct(file_),
      test::DsnConnectionString({.file = file_}),
      "Driver={MYOAU1001} ;  database =  " + file_ + "  ; uid = ADMINISTRATOR ; pwd= ; access_type=read; key=" + key +
          "; ",
      "DRIVER={MYOAU1001};DATABASE={" + file_ + "};UID=Clerk;PWD=Secret1",
      "DSN=MYOB_Accountright_2011;UID=Administrator;PWD=;DATABASE=" + file_,
  };
  for (const auto& s : strings) {
    TestConnection c;
    auto r = c.Connect(s);
    EXPECT_TRUE(r.Ok()) << s << "\n" << r.message;
    EXPECT_EQ(c.Scalar("SELECT CompanyName FROM MYOB.DataFileInformation ;"), "Small Co") << s;
  }
}

TEST_F(DriverTest, ConnectsToTheDataSourceWithItsOwnCompanyFile) {
  // What isql does: the data source, a user and a password; the file comes from odbc.ini.
  TestConnection c;
  SQLRETURN rc = SQLConnect(c.Dbc(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(driver::kDataSourceName)), SQL_NTS,
                            reinterpret_cast<SQLCHAR*>(const_cast<char*>("Administrator")), SQL_NTS,
                            reinterpret_cast<SQLCHAR*>(const_cast<char*>("")), SQL_NTS);
  ASSERT_TRUE(SQL_SUCCEEDED(rc)) << test::Diagnose(rc, SQL_HANDLE_DBC, c.Dbc()).message;
  EXPECT_EQ(c.Scalar("SELECT CompanyName FROM MYOB.DataFileInformation"), "Harbourside Design Pty Ltd");
  EXPECT_NE(c.Scalar("SELECT COUNT(*) FROM MYOB.JournalRecords"), "0");
  SQLDisconnect(c.Dbc());
}

TEST_F(DriverTest, ADamagedFileGivesDiagnosticsNotACrash) {
  // A copy with garbage written over most of its pages: connecting or reading fails cleanly.
  fs::path damaged = dir_ / "damaged.MYO";
  fs::copy_file(file_, damaged, fs::copy_options::overwrite_existing);
  const auto size = fs::file_size(damaged);
  {
    std::fstream io(damaged, std::ios::in | std::ios::out | std::ios::binary);
    std::string junk(4096, '\x5A');
    for (std::streamoff at = 8192; at + 4096 <= static_cast<std::streamoff>(size); at += 8192) {
      io.seekp(at);
      io.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
  }
  TestConnection c;
  auto r = c.Connect(Direct(damaged.string()));
  if (r.Ok()) {
    for (const char* sql : {"SELECT * FROM MYOB.JournalRecords", "SELECT * FROM MYOB.Accounts ORDER BY AccountNumber",
                            "SELECT COUNT(*) FROM MYOB.JournalSets", "SELECT * FROM MYOB.AccountActivities"}) {
      auto q = c.Query(sql);
      if (!q.Ok()) {
        EXPECT_FALSE(q.sqlState.empty()) << sql;
      }
    }
  } else {
    EXPECT_EQ(r.sqlState, "08001") << r.message;
  }
}

TEST_F(DriverTest, AQueryTimeoutStopsARunawayStatement) {
  TestConnection c;
  ASSERT_TRUE(c.Connect(Direct(file_)).Ok());
  SQLHSTMT st = nullptr;
  SQLAllocHandle(SQL_HANDLE_STMT, c.Dbc(), &st);
  SQLSetStmtAttr(st, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(1), 0);
  const char* sql = "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n) SELECT COUNT(*) FROM n";
  SQLRETURN rc = SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS);
  EXPECT_EQ(rc, SQL_ERROR);
  const test::OdbcOutcome out = test::Diagnose(rc, SQL_HANDLE_STMT, st);
  EXPECT_EQ(out.sqlState, "HYT00");
  EXPECT_NE(out.message.find("Timeout expired"), std::string::npos) << out.message;
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

// Without a timeout of the client's, a statement that would never end is stopped once it
// has done more work than reading the file many times over takes, or once its temporary
// data passes SQLite's bound: the query of a client, or a view the file holds in place of a
// table. The message names the file; the connection reads on.
TEST_F(DriverTest, AStatementThatWouldNeverEndIsStoppedNamingTheFile) {
  const std::string file = (dir_ / "Runaway.MYO").string();
  fs::copy_file(file_, file, fs::copy_options::overwrite_existing);
  ASSERT_TRUE(test::PutEndlessViewInPlaceOf(file, "AccountBudgets", true));
  ASSERT_TRUE(test::PutEndlessViewInPlaceOf(file, "TaxCodes", false));
  TestConnection c;
  ASSERT_TRUE(c.Connect(Direct(file)).Ok());
  for (const char* sql : {"WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n) SELECT COUNT(*) FROM n",
                          "SELECT AccountID, Period, Amount, FinancialYear FROM MYOB.AccountBudgets",
                          "SELECT * FROM TaxCodes"}) {
    SCOPED_TRACE(sql);
    const test::OdbcOutcome out = c.Query(sql);
    EXPECT_EQ(out.rc, SQL_ERROR);
    EXPECT_EQ(out.sqlState, "HYT00");
    EXPECT_NE(out.message.find("The company file \"" + file + "\" cannot be read: a query of it did not end"),
              std::string::npos)
        << out.message;
    EXPECT_EQ(c.Scalar("SELECT CompanyName FROM DataFileInformation"), "Small Co");
  }
}

TEST_F(DriverTest, ServesUnicodeClientsThroughTheDriverManager) {
  auto wide = [](const std::string& s) {
    std::vector<SQLWCHAR> w(s.begin(), s.end());
    w.push_back(0);
    return w;
  };
  TestConnection c;
  auto conn = wide(Direct(file_));
  SQLRETURN rc = SQLDriverConnectW(c.Dbc(), nullptr, conn.data(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  ASSERT_TRUE(SQL_SUCCEEDED(rc)) << test::Diagnose(rc, SQL_HANDLE_DBC, c.Dbc()).message;
  SQLHSTMT st = nullptr;
  SQLAllocHandle(SQL_HANDLE_STMT, c.Dbc(), &st);
  auto sql = wide("SELECT AccountName FROM MYOB.Accounts WHERE AccountID => 4 ;");
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirectW(st, sql.data(), SQL_NTS)));
  ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
  SQLWCHAR buf[32] = {};
  SQLLEN ind = 0;
  ASSERT_EQ(SQLGetData(st, 1, SQL_C_WCHAR, buf, sizeof buf, &ind), SQL_SUCCESS);
  EXPECT_EQ(ind, static_cast<SQLLEN>(5 * sizeof(SQLWCHAR)));
  EXPECT_EQ(std::string(buf, buf + 5), "Sales");
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  SQLDisconnect(c.Dbc());
}

TEST_F(DriverTest, BraceQuotedPathsMayHoldSemicolonsAndBraces) {
  fs::path odd = dir_ / "a;b {c}} d.MYO";
  fs::copy_file(file_, odd, fs::copy_options::overwrite_existing);
  std::string quoted = odd.string();
  std::string escaped;
  for (char ch : quoted) {
    escaped += ch;
    if (ch == '}') escaped += '}';
  }
  TestConnection c;
  auto r = c.Connect("Driver={MYOAU1001}; UID=Administrator; PWD=; DATABASE={" + escaped + "}; ");
  EXPECT_TRUE(r.Ok()) << r.message;
}

TEST_F(DriverTest, RefusesBadConnectionsWithClearDiagnostics) {
  fs::path text = dir_ / "notes.MYO";
  std::ofstream(text) << "this is not a company file\n";
  fs::path empty = dir_ / "empty.MYO";
  std::ofstream(empty.string(), std::ios::binary).write("SQLite format 3", 16);
  fs::path noTables = dir_ / "other.MYO";
  {
    // A sound database of some other application.
    sqlite3* db = nullptr;
    sqlite3_open(noTables.c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE Accounts (x); INSERT INTO Accounts VALUES (1);", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  swapped = (fs::canonical(dir_) / "swapped.MYO").string();
  fs::copy_file(file_, swapped, fs::copy_options::overwrite_existing);
  fs::path truncated = dir_ / "truncated.MYO";
  {
    std::ifstream in(file_, std::ios::binary);
    std::vector<char> head(4096);
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    std::ofstream(truncated, std::ios::binary).write(head.data(), in.gcount());
  }
  const std::string key = driver::kAccessKey;
  struct Case {
    std::string name;
    std::string connection;
    std::string state;
    std::string words;
  };
  const std::vector<Case> cases = {
      {"missing file", Direct((dir_ / "absent.MYO").string()), "08001", "does not exist"},
      {"folder", Direct(dir_.string()), "08001", "is a folder"},
      {"text file", Direct(text.string()), "08001", "not a company file"},
      {"empty database header", Direct(empty.string()), "08001", "not a company file"},
      {"truncated file", Direct(truncated.string()), "08001", "not a company file"},
      {"database without the tables", Direct(noTables.string()), "08001", "not a company file"},
      {"wrong user", Direct(file_, "Nobody"), "28000", "Invalid user ID"},
      {"wrong password", Direct(file_, "Clerk", "secret1"), "28000", "Invalid password"},
      {"no user", Direct(file_, ""), "28000", "No user ID"},
      {"wrong key", "Driver={MYOAU1001}; UID=Administrator; PWD=; ACCESS_TYPE=READ; KEY=" + key.substr(1) + "0; DATABASE=" + file_ + "; ",
       "28000", "access key"},
      {"missing key", "Driver={MYOAU1001}; UID=Administrator; PWD=; ACCESS_TYPE=READ; DATABASE=" + file_ + "; ", "28000",
       "access key"},
      {"write access", "Driver={MYOAU1001}; UID=Administrator; ACCESS_TYPE=WRITE; KEY=" + key + "; DATABASE=" + file_, "28000",
       "reading only"},
      {"empty database", "Driver={MYOAU1001}; UID=Administrator; PWD=; DATABASE=; ", "08001", "No company file"},
      {"unclosed brace", "Driver={MYOAU1001}; UID=Administrator; DATABASE={" + file_ + "; ", "08001", "not closed"},
      {"pipe put in its place", Direct(swapped), "08001", "not a company file"},
  };
  sqlite3_vfs* unix = sqlite3_vfs_find("unix");
  openBefore = unix->xGetSystemCall(unix, "open");
  unix->xSetSystemCall(unix, "open", reinterpret_cast<sqlite3_syscall_ptr>(&PipeAtOpen));
  // A wait for a writer that never comes fails the test at CTest's bound for endless input.
  for (const auto& c : cases) {
    TestConnection conn;
    auto r = conn.Connect(c.connection);
    EXPECT_EQ(r.rc, SQL_ERROR) << c.name;
    EXPECT_EQ(r.sqlState, c.state) << c.name << ": " << r.message;
    EXPECT_NE(r.message.find(c.words), std::string::npos) << c.name << ": " << r.message;
  }
  if (unix->xGetSystemCall(unix, "open") == reinterpret_cast<sqlite3_syscall_ptr>(&PipeAtOpen))
    unix->xSetSystemCall(unix, "open", openBefore);
  EXPECT_TRUE(fs::is_fifo(std::exchange(swapped, {})));
}

TEST_F(DriverTest, ReadsThroughTheDialect) {
  TestConnection c;
  ASSERT_TRUE(c.Connect(Direct(file_)).Ok());
  // The program's own texts: "=>" for ">=", two blanks before the semicolon, MYOB. names.
  EXPECT_EQ(c.Scalar("SELECT COUNT(*) FROM MYOB.JournalRecords WHERE TransactionDate => '2013-08-01' AND "
                     "TransactionDate <= '2013-08-31'  ;"),
            "2");
  EXPECT_EQ(c.Scalar("select count(*) from myob.journalrecords where (TransactionDate => '2013-07-01' ) ;"), "5");
  EXPECT_EQ(c.Scalar("SELECT 'MYOB.x=>y' ;"), "MYOB.x=>y");
  EXPECT_EQ(c.Scalar("SELECT \"AccountName\" FROM MYOB.\"Accounts\" WHERE AccountNumber = '4-1100'"), "Sales");
  EXPECT_EQ(c.Scalar("SELECT SetID, JournalTypeID, SourceID, TransactionNumber, Memo, CurrencyID, TransactionExchangeRate "
                     "FROM MYOB.JournalSets WHERE SetID = 2 ;"),
            "2");
  test::Rows rows;
  ASSERT_TRUE(c.Query("SELECT JournalTypeID FROM MYOB.JournalSets ORDER BY SetID", &rows).Ok());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], "SI");
  EXPECT_EQ(rows[1][0], "CP");
}

TEST_F(DriverTest, StatementsThatDifferOnlyInNumbersAnswerEachForItself) {
  TestConnection c;
  ASSERT_TRUE(c.Connect(Direct(file_)).Ok());
  struct Case {
    std::string sql;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"SELECT AccountNumber FROM MYOB.Accounts WHERE AccountID = 1 ;", "1-1110"},
      {"SELECT AccountNumber FROM MYOB.Accounts WHERE AccountID = 4 ;", "4-1100"},
      {"SELECT AccountNumber FROM MYOB.Accounts WHERE AccountID = 1 ;", "1-1110"},
      {"SELECT COUNT(*) FROM MYOB.Accounts WHERE AccountID => 2 AND AccountID <= 3", "2"},
      {"SELECT COUNT(*) FROM MYOB.Accounts WHERE AccountID => 3 AND AccountID <= 4", "2"},
      {"SELECT COUNT(*) FROM MYOB.Accounts WHERE AccountID > -1", "4"},
      {"SELECT COUNT(*) FROM MYOB.Accounts WHERE AccountID > - 5", "4"},
      {"SELECT COUNT(*) FROM MYOB.Accounts WHERE AccountID-1 = 0", "1"},
      {"SELECT COUNT(*) FROM MYOB.Accounts WHERE AccountID = 1.5", "0"},
      {"SELECT COUNT(*) FROM MYOB.Accounts WHERE AccountNumber = 1", "0"},
      {"SELECT AccountNumber FROM MYOB.Accounts ORDER BY 1 DESC LIMIT 1", "4-1100"},
      {"SELECT AccountNumber FROM MYOB.Accounts WHERE AccountID <> 4 ORDER BY 1 DESC LIMIT 1", "2-1300"},
      {"SELECT CASE WHEN 2 = 2 THEN 'yes' END", "yes"},
      {"SELECT SaleID FROM MYOB.Sales WHERE SaleID = 1 AND InvoiceStatusID <> 'Q'  ;", "1"},
  };
  for (int pass = 0; pass < 2; ++pass) {
    for (const auto& k : cases) EXPECT_EQ(c.Scalar(k.sql), k.expected) << k.sql;
  }
}

TEST_F(DriverTest, RefusesWritesAndBadStatementsWithoutChangingTheFile) {
  const std::string before = Checksum(file_);
  TestConnection c;
  ASSERT_TRUE(c.Connect(Direct(file_)).Ok());
  struct Case {
    std::string sql;
    std::string state;
  };
  std::string huge = "SELECT " + std::string(1024 * 1024, '1');
  std::string longList = "SELECT 1";
  while (longList.size() < 1024 * 1024) longList += "+1";
  const std::vector<Case> cases = {
      {"DELETE FROM MYOB.Accounts", "42000"},
      {"UPDATE MYOB.Accounts SET AccountName = 'x'", "42000"},
      {"INSERT INTO MYOB.Cards (CardRecordID) VALUES (5)", "42000"},
      {"DROP TABLE MYOB.Accounts", "42000"},
      {"CREATE TABLE t (x)", "42000"},
      {"ATTACH DATABASE '/tmp/qvx-x.db' AS x", "42000"},
      {"PRAGMA writable_schema = 1", "42000"},
      {"VACUUM", "42000"},
      {"SELECT 1; DELETE FROM MYOB.Accounts", "42000"},
      {"SELECT Password FROM MYOB.DriverUsers", "42000"},
      {"SELECT * FROM MYOB.NoSuchTable", "42S02"},
      {"SELECT NoSuchColumn FROM MYOB.Accounts", "42S22"},
      {"SELECT 'unterminated FROM MYOB.Accounts", "42000"},
      {"SELECT \"unterminated FROM MYOB.Accounts", "42000"},
      {"SELEKT 1", "42000"},
      {" ; ", "42000"},
      {huge, ""},
      {longList, "42000"},
  };
  for (const auto& k : cases) {
    auto r = c.Query(k.sql);
    if (k.state.empty()) continue;  // either answer is fine; it must simply come back
    EXPECT_EQ(r.rc, SQL_ERROR) << k.sql.substr(0, 80);
    EXPECT_EQ(r.sqlState, k.state) << k.sql.substr(0, 80) << ": " << r.message;
    EXPECT_FALSE(r.message.empty());
  }
  EXPECT_EQ(c.Scalar("SELECT COUNT(*) FROM MYOB.Accounts"), "4");
  EXPECT_FALSE(fs::exists("/tmp/qvx-x.db"));
  EXPECT_EQ(Checksum(file_), before);
}

TEST_F(DriverTest, SurvivesScrambledStatementsAndConnectionStrings) {
  // Deterministic junk built from the dialect's own pieces and stray bytes: every call must
  // come back, with rows or with a diagnostic.
  const std::vector<std::string> pieces = {"SELECT", " * ", "FROM", " MYOB.", "Accounts", "JournalRecords", " WHERE ",
                                           "=>", "=", "'", "\"", "{", "}", ";", "(", ")", "--", "/*", "1", "-",
                                           "AccountID", ",", " ", "\xff", "\x01", "?", ":a", "%", "MYOB", "."};
  uint32_t seed = 7;
  auto next = [&]() { return seed = seed * 1103515245u + 12345u; };
  TestConnection c;
  ASSERT_TRUE(c.Connect(Direct(file_)).Ok());
  for (int i = 0; i < 300; ++i) {
    std::string sql;
    int n = 1 + static_cast<int>(next() % 24);
    for (int k = 0; k < n; ++k) sql += pieces[(next() >> 8) % pieces.size()];
    auto r = c.Query(sql);
    if (!r.Ok()) {
      EXPECT_FALSE(r.sqlState.empty()) << sql;
    }
  }
  EXPECT_EQ(c.Scalar("SELECT COUNT(*) FROM MYOB.Accounts"), "4");
  const std::vector<std::string> keys = {"Driver={MYOAU1001}", "DATABASE=", file_, "UID=", "Administrator", "PWD=",
                                         "KEY=", "ACCESS_TYPE=", "READ", ";", "{", "}", "}}", " ", "=", "DSN="};
  for (int i = 0; i < 200; ++i) {
    std::string text = "Driver={MYOAU1001};";
    int n = 1 + static_cast<int>(next() % 12);
    for (int k = 0; k < n; ++k) text += keys[(next() >> 8) % keys.size()];
    TestConnection t;
    auto r = t.Connect(text);
    if (!r.Ok()) {
      EXPECT_FALSE(r.sqlState.empty()) << text;
    }
  }
}

TEST_F(DriverTest, DiagnosticFieldsCarryStateAndMessage) {
  TestConnection c;
  ASSERT_TRUE(c.Connect(Direct(file_)).Ok());
  SQLHSTMT st = nullptr;
  SQLAllocHandle(SQL_HANDLE_STMT, c.Dbc(), &st);
  const char* sql = "SELECT * FROM MYOB.Nowhere";
  ASSERT_EQ(SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS), SQL_ERROR);
  SQLINTEGER count = 0;
  EXPECT_TRUE(SQL_SUCCEEDED(SQLGetDiagField(SQL_HANDLE_STMT, st, 0, SQL_DIAG_NUMBER, &count, 0, nullptr)));
  EXPECT_EQ(count, 1);
  SQLCHAR state[6] = {};
  SQLSMALLINT len = 0;
  EXPECT_TRUE(SQL_SUCCEEDED(SQLGetDiagField(SQL_HANDLE_STMT, st, 1, SQL_DIAG_SQLSTATE, state, sizeof state, &len)));
  EXPECT_STREQ(reinterpret_cast<char*>(state), "42S02");
  SQLCHAR text[512] = {};
  EXPECT_TRUE(SQL_SUCCEEDED(SQLGetDiagField(SQL_HANDLE_STMT, st, 1, SQL_DIAG_MESSAGE_TEXT, text, sizeof text, &len)));
  EXPECT_NE(std::string(reinterpret_cast<char*>(text)).find("no such table: Nowhere"), std::string::npos) << text;
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, st, 2, SQL_DIAG_SQLSTATE, state, sizeof state, &len), SQL_NO_DATA);
  // The next call starts afresh.
  const char* good = "SELECT 1";
  ASSERT_EQ(SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(good)), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, st, 1, SQL_DIAG_SQLSTATE, state, sizeof state, &len), SQL_NO_DATA);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

TEST_F(DriverTest, DescribesColumnTypes) {
  TestConnection c;
  ASSERT_TRUE(c.Connect(Direct(file_)).Ok());
  SQLHSTMT st = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, c.Dbc(), &st), SQL_SUCCESS);
  const char* sql =
      "SELECT JournalRecordID, TransactionDate, TaxExclusiveAmount, IsForeignTransaction, "
      "(SELECT LastMonthInFinancialYear FROM MYOB.DataFileInformation), "
      "(SELECT TransactionExchangeRate FROM MYOB.JournalSets WHERE SetID = 1), COUNT(*) OVER () "
      "FROM MYOB.JournalRecords WHERE JournalRecordID = 1";
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS)));
  struct Expect {
    SQLSMALLINT type;
    SQLULEN size;
    SQLSMALLINT digits;
  };
  const Expect expected[] = {{SQL_INTEGER, 10, 0}, {SQL_TYPE_DATE, 10, 0}, {SQL_DECIMAL, 19, 4},
                             {SQL_VARCHAR, 1, 0},  {SQL_SMALLINT, 5, 0},   {SQL_DOUBLE, 15, 0},
                             {SQL_INTEGER, 10, 0}};
  SQLSMALLINT cols = 0;
  SQLNumResultCols(st, &cols);
  ASSERT_EQ(cols, 7);
  for (SQLUSMALLINT i = 1; i <= 7; ++i) {
    SQLCHAR name[256];
    SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    ASSERT_EQ(SQLDescribeCol(st, i, name, sizeof name, &nameLen, &type, &size, &digits, &nullable), SQL_SUCCESS);
    EXPECT_EQ(type, expected[i - 1].type) << "column " << i;
    EXPECT_EQ(size, expected[i - 1].size) << "column " << i;
    EXPECT_EQ(digits, expected[i - 1].digits) << "column " << i;
  }
  SQLLEN display = 0;
  SQLColAttribute(st, 3, SQL_DESC_DISPLAY_SIZE, nullptr, 0, nullptr, &display);
  EXPECT_EQ(display, 21);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

// Reads column `col` of the first row of `sql` with SQLGetData into a target of C type `ctype`.
struct GetResult {
  SQLRETURN rc;
  std::string state;
  SQLLEN indicator;
};

TEST_F(DriverTest, ConvertsEveryColumnKind) {
  TestConnection c;
  ASSERT_TRUE(c.Connect(Direct(file_)).Ok());
  auto run = [&](const std::string& sql, SQLUSMALLINT col, SQLSMALLINT ctype, void* buf, SQLLEN len,
                 bool withIndicator = true) {
    SQLHSTMT st = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, c.Dbc(), &st);
    SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    SQLFetch(st);
    SQLLEN ind = 0;
    SQLRETURN rc = SQLGetData(st, col, ctype, buf, len, withIndicator ? &ind : nullptr);
    auto d = test::Diagnose(rc, SQL_HANDLE_STMT, st);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return GetResult{rc, d.sqlState, ind};
  };
  const std::string money = "SELECT TaxExclusiveAmount FROM MYOB.JournalRecords WHERE JournalRecordID = 1";
  char text[64];
  EXPECT_EQ(run(money, 1, SQL_C_CHAR, text, sizeof text).rc, SQL_SUCCESS);
  EXPECT_STREQ(text, "-100.2500");
  double d = 0;
  EXPECT_EQ(run(money, 1, SQL_C_DOUBLE, &d, 0).rc, SQL_SUCCESS);
  EXPECT_DOUBLE_EQ(d, -100.25);
  SQL_NUMERIC_STRUCT num{};
  EXPECT_EQ(run(money, 1, SQL_C_NUMERIC, &num, sizeof num).rc, SQL_SUCCESS);
  EXPECT_EQ(num.sign, 0);
  EXPECT_EQ(num.scale, 4);
  EXPECT_EQ(num.val[0] | (num.val[1] << 8) | (num.val[2] << 16), 1002500);
  SQLINTEGER i32 = 0;
  auto frac = run(money, 1, SQL_C_SLONG, &i32, 0);
  EXPECT_EQ(frac.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(frac.state, "01S07");
  EXPECT_EQ(i32, -100);
  SQLBIGINT i64 = 0;
  EXPECT_EQ(run("SELECT TotalCustomerPayment FROM MYOB.CustomerPayments", 1, SQL_C_SBIGINT, &i64, 0).state, "01S07");
  EXPECT_EQ(i64, 110);

  const std::string date = "SELECT TransactionDate FROM MYOB.JournalRecords WHERE JournalRecordID = 1";
  SQL_DATE_STRUCT ds{};
  EXPECT_EQ(run(date, 1, SQL_C_TYPE_DATE, &ds, sizeof ds).rc, SQL_SUCCESS);
  EXPECT_EQ(ds.year, 2013);
  EXPECT_EQ(ds.month, 7);
  EXPECT_EQ(ds.day, 15);
  SQL_TIMESTAMP_STRUCT ts{};
  EXPECT_EQ(run(date, 1, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts).rc, SQL_SUCCESS);
  EXPECT_EQ(ts.day, 15);
  EXPECT_EQ(ts.hour, 0);
  EXPECT_EQ(run(date, 1, SQL_C_CHAR, text, sizeof text).rc, SQL_SUCCESS);
  EXPECT_STREQ(text, "2013-07-15");
  EXPECT_EQ(run(date, 1, SQL_C_SLONG, &i32, 0).state, "07006");
  EXPECT_EQ(run("SELECT 'not a date'", 1, SQL_C_TYPE_DATE, &ds, sizeof ds).state, "22007");

  const std::string ints = "SELECT AccountID, LastMonthInFinancialYear FROM MYOB.Accounts, MYOB.DataFileInformation "
                           "WHERE AccountNumber = '4-1100'";
  EXPECT_EQ(run(ints, 1, SQL_C_SLONG, &i32, 0).rc, SQL_SUCCESS);
  EXPECT_EQ(i32, 4);
  SQLSMALLINT i16 = 0;
  EXPECT_EQ(run(ints, 2, SQL_C_SSHORT, &i16, 0).rc, SQL_SUCCESS);
  EXPECT_EQ(i16, 6);
  EXPECT_EQ(run(ints, 2, SQL_C_CHAR, text, sizeof text).rc, SQL_SUCCESS);
  EXPECT_STREQ(text, "6");
  EXPECT_EQ(run("SELECT 70000", 1, SQL_C_SSHORT, &i16, 0).state, "22003");
  EXPECT_EQ(run("SELECT AccountName FROM MYOB.Accounts WHERE AccountID = 4", 1, SQL_C_SLONG, &i32, 0).state, "22018");
  EXPECT_EQ(run("SELECT ' 42 '", 1, SQL_C_SLONG, &i32, 0).rc, SQL_SUCCESS);
  EXPECT_EQ(i32, 42);
  EXPECT_EQ(run("SELECT TransactionExchangeRate FROM MYOB.JournalSets WHERE SetID = 1", 1, SQL_C_DOUBLE, &d, 0).rc,
            SQL_SUCCESS);
  EXPECT_DOUBLE_EQ(d, 1.0);

  // NULLs: the indicator says so; without an indicator it is an error.
  const std::string null = "SELECT Name FROM MYOB.Cards WHERE CardRecordID = 77";
  auto n = run(null, 1, SQL_C_CHAR, text, sizeof text);
  EXPECT_EQ(n.rc, SQL_SUCCESS);
  EXPECT_EQ(n.indicator, SQL_NULL_DATA);
  EXPECT_EQ(run(null, 1, SQL_C_CHAR, text, sizeof text, false).state, "22002");

  // Wide characters.
  SQLWCHAR wide[32] = {};
  EXPECT_EQ(run("SELECT 'Café'", 1, SQL_C_WCHAR, wide, sizeof wide).rc, SQL_SUCCESS);
  EXPECT_EQ(wide[3], 0xE9);
  EXPECT_EQ(wide[4], 0);
}

TEST_F(DriverTest, HandsOutLongTextsInPieces) {
  TestConnection c;
  ASSERT_TRUE(c.Connect(Direct(file_)).Ok());
  SQLHSTMT st = nullptr;
  SQLAllocHandle(SQL_HANDLE_STMT, c.Dbc(), &st);
  const char* sql = "SELECT AccountName FROM MYOB.Accounts WHERE AccountID = 1";
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS)));
  ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
  std::string all;
  char buf[5];
  SQLLEN ind = 0;
  SQLRETURN rc;
  int calls = 0;
  while ((rc = SQLGetData(st, 1, SQL_C_CHAR, buf, sizeof buf, &ind)) != SQL_NO_DATA) {
    ASSERT_TRUE(SQL_SUCCEEDED(rc));
    all += buf;
    ASSERT_LT(++calls, 10);
  }
  EXPECT_EQ(all, "Cheque Account");
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(SQLFetch(st), SQL_NO_DATA);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

TEST_F(DriverTest, BindsColumnsAndReusesPreparedStatements) {
  TestConnection c;
  ASSERT_TRUE(c.Connect(Direct(file_)).Ok());
  SQLHSTMT st = nullptr;
  SQLAllocHandle(SQL_HANDLE_STMT, c.Dbc(), &st);
  const char* sql = "SELECT JournalRecordID, AccountID, TaxExclusiveAmount FROM MYOB.JournalRecords ORDER BY 1";
  ASSERT_EQ(SQLPrepare(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS), SQL_SUCCESS);
  SQLINTEGER id = 0, account = 0;
  double amount = 0;
  SQLLEN ind[3];
  SQLBindCol(st, 1, SQL_C_SLONG, &id, 0, &ind[0]);
  SQLBindCol(st, 2, SQL_C_SLONG, &account, 0, &ind[1]);
  SQLBindCol(st, 3, SQL_C_DOUBLE, &amount, 0, &ind[2]);
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_EQ(SQLExecute(st), SQL_SUCCESS);
    double sum = 0;
    int rows = 0;
    while (SQLFetch(st) == SQL_SUCCESS) {
      sum += amount;
      ++rows;
    }
    EXPECT_EQ(rows, 5);
    EXPECT_NEAR(sum, 0.0, 1e-9);
    EXPECT_EQ(SQLCloseCursor(st), SQL_SUCCESS);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

TEST_F(DriverTest, ListsTablesAndColumnsButNotItsUsers) {
  TestConnection c;
  ASSERT_TRUE(c.Connect(Direct(file_)).Ok());
  auto catalog = [&](bool columns, const char* table) {
    SQLHSTMT st = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, c.Dbc(), &st);
    SQLRETURN rc = columns ? SQLColumns(st, nullptr, 0, nullptr, 0, reinterpret_cast<SQLCHAR*>(const_cast<char*>(table)),
                                        SQL_NTS, nullptr, 0)
                           : SQLTables(st, nullptr, 0, nullptr, 0, reinterpret_cast<SQLCHAR*>(const_cast<char*>(table)),
                                       SQL_NTS, nullptr, 0);
    test::Rows rows;
    EXPECT_TRUE(SQL_SUCCEEDED(rc));
    SQLSMALLINT cols = 0;
    SQLNumResultCols(st, &cols);
    while (SQL_SUCCEEDED(SQLFetch(st))) {
      std::vector<std::string> row;
      for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(cols); ++i) {
        char buf[256];
        SQLLEN ind = 0;
        SQLGetData(st, i, SQL_C_CHAR, buf, sizeof buf, &ind);
        row.emplace_back(ind == SQL_NULL_DATA ? "<null>" : buf);
      }
      rows.push_back(row);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return rows;
  };
  auto all = catalog(false, "%");
  EXPECT_GE(all.size(), 59u);
  for (const auto& r : all) EXPECT_NE(r[2], "DriverUsers");
  auto journal = catalog(true, "JournalRecords");
  ASSERT_EQ(journal.size(), 7u);
  EXPECT_EQ(journal[3][3], "TransactionDate");
  EXPECT_EQ(journal[3][4], std::to_string(SQL_TYPE_DATE));
  EXPECT_EQ(journal[4][3], "TaxExclusiveAmount");
  EXPECT_EQ(journal[4][4], std::to_string(SQL_DECIMAL));
  EXPECT_EQ(journal[4][8], "4");
  EXPECT_TRUE(catalog(true, "DriverUsers").empty());
}

}  // namespace
}  // namespace qvx
