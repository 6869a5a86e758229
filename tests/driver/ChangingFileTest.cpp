// A company file that another program writes, locks, truncates, overwrites or removes
// while the driver has it open: the driver answers with clear diagnostics, never crashes,
// never reads one company's figures from another's file and never writes the file itself.
#include "tests/support/OdbcTestEnv.h"
#include "tests/support/OtherProgram.h"

#include "samples/CompanyFile.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace qvx {
namespace {

namespace fs = std::filesystem;
using samples::CompanyFile;
using samples::CompanySetup;
using test::TestConnection;
using test::Writer;
using test::kWriterWaitMs;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::set<std::string> FolderNames(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

class ChangingFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::UsePrivateOdbcRegistration();
    dir_ = fs::temp_directory_path() / ("qvx-changing-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    file_ = (dir_ / "North.MYO").string();
    other_ = (dir_ / "other" / "South.MYO").string();
    fs::create_directories(dir_ / "other");
    Build(file_, "North Pty Ltd", 40);
    Build(other_, "South Pty Ltd", 3);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // A company file whose journal has `lines` lines, so that the two companies differ.
  static void Build(const std::string& path, const std::string& name, int lines) {
    CompanySetup s;
    s.companyName = name;
    CompanyFile f(path, s);
    int bank = f.AddAccount({.number = "1-1110", .name = "Cheque Account", .level = 3, .subClass = "B"});
    int sales = f.AddAccount({.number = "4-1100", .name = "Sales", .level = 3, .subClass = "I"});
    for (int i = 0; i < lines; ++i)
      f.AddGeneralJournal({.date = "2013-07-15",
                           .lines = {{.account = bank, .amount = samples::M("10.00")},
                                     {.account = sales, .amount = samples::M("-10.00")}}});
    f.Finish();
  }

  std::string Connection() const { return test::DirectConnectionString({.file = file_}); }

  fs::path dir_;
  std::string file_;
  std::string other_;
};

TEST_F(ChangingFileTest, AnotherProgramsCommittedChangeIsReadAndNothingIsWritten) {
  TestConnection c;
  ASSERT_TRUE(c.Connect(Connection()).Ok());
  const std::string lines = c.Scalar("SELECT COUNT(*) FROM MYOB.JournalRecords");
  ASSERT_EQ(lines, "80");
  const auto namesBefore = FolderNames(dir_);
  {
    // A writer holding its reserved lock: reading goes on, on the committed state.
    Writer w(file_, "BEGIN IMMEDIATE");
    ASSERT_TRUE(w.Locked());
    EXPECT_EQ(c.Scalar("SELECT COUNT(*) FROM MYOB.JournalRecords"), "80");
    EXPECT_EQ(c.Scalar("SELECT Phone FROM MYOB.DataFileInformation"), c.Scalar("SELECT Phone FROM MYOB.DataFileInformation"));
    EXPECT_NE(c.Scalar("SELECT Phone FROM MYOB.DataFileInformation"), "being written");
  }
  const std::string before = ReadAll(file_);
  // The same company's file changed by its own program: the next statement sees it.
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file_.c_str(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, kWriterWaitMs);
    EXPECT_EQ(sqlite3_exec(db, "UPDATE DataFileInformation SET Phone = '555 0101'", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }
  EXPECT_EQ(c.Scalar("SELECT Phone FROM MYOB.DataFileInformation"), "555 0101");
  const std::string after = ReadAll(file_);
  for (int i = 0; i < 20; ++i) c.Scalar("SELECT SUM(1) FROM MYOB.JournalRecords");
  // The driver neither wrote the file nor left a journal, -wal or -shm file beside it.
  EXPECT_EQ(ReadAll(file_), after);
  EXPECT_NE(before, after);
  EXPECT_EQ(FolderNames(dir_), namesBefore);
}

TEST_F(ChangingFileTest, AWriterHoldingTheFileGivesALockMessage) {
  TestConnection c;
  ASSERT_TRUE(c.Connect(Connection()).Ok());
  ASSERT_EQ(c.Scalar("SELECT COUNT(*) FROM MYOB.Accounts"), "2");
  const std::string checksum = ReadAll(file_);
  {
    Writer w(file_, "BEGIN EXCLUSIVE");
    ASSERT_TRUE(w.Locked());
    auto r = c.Query("SELECT COUNT(*) FROM MYOB.Accounts");
    EXPECT_EQ(r.rc, SQL_ERROR);
    EXPECT_EQ(r.sqlState, "HYT00") << r.message;
    EXPECT_NE(r.message.find("locked by another program"), std::string::npos) << r.message;
  }
  // Once the writer has let go, reading goes on; the file is as it was.
  EXPECT_EQ(c.Scalar("SELECT COUNT(*) FROM MYOB.Accounts"), "2");
  EXPECT_EQ(ReadAll(file_), checksum);
}

TEST_F(ChangingFileTest, TruncatedOverwrittenRemovedOrReplacedFilesStopTheReadClearly) {
  struct Case {
    std::string name;
    std::function<void(const std::string& file, const std::string& other)> change;
    std::string says;
  };
  const std::vector<Case> cases = {
      {"truncated to half", [](const std::string& f, const std::string&) { fs::resize_file(f, fs::file_size(f) / 2); },
       "truncated"},
      {"truncated to nothing", [](const std::string& f, const std::string&) { fs::resize_file(f, 0); }, "emptied"},
      {"overwritten in place by another company",
       [](const std::string& f, const std::string& o) {
         std::string data = ReadAll(o);
         std::fstream io(f, std::ios::in | std::ios::out | std::ios::binary);
         io.write(data.data(), static_cast<std::streamsize>(data.size()));
         io.close();
         fs::resize_file(f, data.size());
       },
       "overwritten"},
      {"removed", [](const std::string& f, const std::string&) { fs::remove(f); }, "removed or renamed"},
      {"replaced by renaming another file over it",
       [](const std::string& f, const std::string& o) {
         fs::copy_file(o, f + ".new");
         fs::rename(f + ".new", f);
       },
       "replaced by another file"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    Build(file_, "North Pty Ltd", 40);
    TestConnection c;
    ASSERT_TRUE(c.Connect(Connection()).Ok());
    ASSERT_EQ(c.Scalar("SELECT COUNT(*) FROM MYOB.JournalRecords"), "80");
    k.change(file_, other_);
    // The driver looks at the file once a lease, and a lease lasts at most 25 ms.
    ::usleep(30000);
    for (const char* sql : {"SELECT COUNT(*) FROM MYOB.JournalRecords", "SELECT * FROM MYOB.JournalRecords",
                            "SELECT CompanyName FROM MYOB.DataFileInformation"}) {
      test::Rows rows;
      auto r = c.Query(sql, &rows);
      // Never the other company's figures, never a crash.
      EXPECT_EQ(r.rc, SQL_ERROR) << sql << " gave " << (rows.empty() || rows[0].empty() ? "" : rows[0][0]);
      EXPECT_FALSE(r.sqlState.empty());
      if (!k.says.empty()) {
        EXPECT_NE(r.message.find(k.says), std::string::npos) << r.message;
      }
    }
    c.Query("SELECT 1");
    std::error_code ec;
    fs::remove(file_, ec);
  }
}

// Another program's commit may leave a view with a query that never ends in place of the
// table that tells the company. The driver's look at the file after that commit is a read
// of it like any other: stopped within the statement's bounds, with the file named.
TEST_F(ChangingFileTest, ACommitLeavingAnEndlessCompanyTableStopsTheNextReadNamingTheFile) {
  for (const bool sorted : {false, true}) {
    SCOPED_TRACE(sorted ? "sorted endless rows" : "endless work");
    Build(file_, "North Pty Ltd", 40);
    // The reader is a child process, so that a read that never ends fails the test at once.
    const bool stopped = test::InChildProcess([&] {
      TestConnection c;
      if (!c.Connect(Connection()).Ok() || c.Scalar("SELECT COUNT(*) FROM MYOB.JournalRecords") != "80") return false;
      // Once the reader's lease has ended, another program commits the view.
      ::usleep(30000);
      if (!test::InChildProcess([&] { return test::PutEndlessViewInPlaceOf(file_, "DataFileInformation", sorted); }))
        return false;
      const test::OdbcOutcome out = c.Query("SELECT COUNT(*) FROM MYOB.Accounts");
      return out.rc == SQL_ERROR && out.message.find("The company file \"" + file_ + "\"") != std::string::npos;
    });
    EXPECT_TRUE(stopped);
  }
}

// Runs `sql` on the file in another program, as the accounting program would.
bool OtherProgramRuns(const std::string& file, const std::string& sql) {
  return test::InChildProcess([&] {
    sqlite3* db = nullptr;
    const bool done = sqlite3_open(file.c_str(), &db) == SQLITE_OK &&
                      sqlite3_busy_timeout(db, kWriterWaitMs) == SQLITE_OK &&
                      sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return done;
  });
}

// In write-ahead-log mode the file changes under every reader: a commit goes to the log,
// and a checkpoint copies it into the file whatever the readers hold. Neither is another
// program writing past SQLite: each read gives the last commit.
TEST_F(ChangingFileTest, AFileInWriteAheadLogModeIsReadOnThroughCommitsAndCheckpoints) {
  ASSERT_TRUE(OtherProgramRuns(file_, "PRAGMA journal_mode = WAL"));
  TestConnection c;
  ASSERT_TRUE(c.Connect(Connection()).Ok());
  ASSERT_EQ(c.Scalar("SELECT COUNT(*) FROM MYOB.JournalRecords"), "80");
  int commits = 0;
  for (const char* checkpoint : {"PASSIVE", "FULL", "RESTART", "TRUNCATE"}) {
    SCOPED_TRACE(checkpoint);
    const std::string phone = "555 010" + std::to_string(++commits);
    ASSERT_TRUE(OtherProgramRuns(file_, "UPDATE DataFileInformation SET Phone = '" + phone + "'"));
    EXPECT_EQ(c.Scalar("SELECT Phone FROM MYOB.DataFileInformation"), phone);
    ASSERT_TRUE(OtherProgramRuns(file_, std::string("PRAGMA wal_checkpoint(") + checkpoint + ")"));
    const std::pair<std::string, std::string> reads[] = {{"SELECT Phone FROM MYOB.DataFileInformation", phone},
                                                         {"SELECT COUNT(*) FROM MYOB.JournalRecords", "80"}};
    for (const auto& [sql, value] : reads) {
      test::Rows rows;
      const test::OdbcOutcome out = c.Query(sql, &rows);
      EXPECT_TRUE(out.Ok()) << sql << ": " << out.message;
      EXPECT_EQ(rows, test::Rows{{value}}) << sql;
    }
  }
}

// The look at the file when the connection holds no read of it (a statement that read no
// table, a read that failed and ended) first takes one: a commit seen only then is read,
// and a file overwritten past SQLite is named so rather than with SQLite's words for the
// damage it finds.
TEST_F(ChangingFileTest, TheLookAtTheFileWithoutAReadTakesOneBeforeItTells) {
  {
    SCOPED_TRACE("a commit, then a statement that reads no table");
    TestConnection c;
    ASSERT_TRUE(c.Connect(Connection()).Ok());
    ASSERT_NE(c.Scalar("SELECT Phone FROM MYOB.DataFileInformation"), "555 0101");
    ASSERT_TRUE(OtherProgramRuns(file_, "UPDATE DataFileInformation SET Phone = '555 0101'"));
    const test::OdbcOutcome out = c.Query("SELECT 1");
    EXPECT_TRUE(out.Ok()) << out.message;
    EXPECT_EQ(c.Scalar("SELECT Phone FROM MYOB.DataFileInformation"), "555 0101");
  }
  {
    SCOPED_TRACE("pages overwritten under an open cursor, whose read then fails as damaged");
    Build(file_, "North Pty Ltd", 2000);
    TestConnection c;
    ASSERT_TRUE(c.Connect(Connection()).Ok());
    SQLHSTMT st = nullptr;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, c.Dbc(), &st)));
    const char* sql = "SELECT * FROM MYOB.JournalRecords";
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS)));
    ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
    // The client goes quiet, so the lease ends; the open cursor keeps its read. Another
    // program overwrites every page but the first, which holds SQLite's count of changes:
    // SQLite takes the pages it has read as current, and finds the others damaged.
    ::usleep(30000);
    ASSERT_TRUE(test::InChildProcess([&] {
      std::fstream io(file_, std::ios::in | std::ios::out | std::ios::binary);
      unsigned char size[2] = {};
      io.seekg(16);
      io.read(reinterpret_cast<char*>(size), 2);
      const auto pageSize = static_cast<std::streamoff>(size[0] << 8 | size[1]);
      const std::string garbage(static_cast<size_t>(fs::file_size(file_)) - static_cast<size_t>(pageSize), '\xA5');
      io.seekp(pageSize);
      io.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
      return io.good();
    }));
    SQLRETURN rc = SQL_SUCCESS;
    while (rc == SQL_SUCCESS) rc = SQLFetch(st);
    const test::OdbcOutcome out = test::Diagnose(rc, SQL_HANDLE_STMT, st);
    EXPECT_EQ(rc, SQL_ERROR);
    EXPECT_NE(out.message.find("The company file \"" + file_ + "\" was truncated or overwritten by another program"),
              std::string::npos)
        << out.message;
    SQLFreeHandle(SQL_HANDLE_STMT, st);
  }
}

}  // namespace
}  // namespace qvx
