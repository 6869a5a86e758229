// How a report run ends, as the user of the runner sees it: a company file that another
// program removes, truncates, replaces or locks in the middle of a cash-basis run (or of
// the group report's reading of a member file) stops the run with one message and no
// output; a fault met on hundreds of lines is one box and a count. The runner runs in this
// process, with the budget comparison and the group report registered.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <QTemporaryDir>

#include "core/Globals.h"
#include "samples/SampleBooks.h"
#include "samples/SamplePaths.h"
#include "support/OdbcTestEnv.h"
#include "tests/support/OtherProgram.h"
#include "tools/runner/Runner.h"

namespace qvx::test {
namespace {

namespace fs = std::filesystem;

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

// A statement run on the company file as another program would, and its one value.
std::string Sql(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string value;
  if (sqlite3_open(file.c_str(), &db) == SQLITE_OK) {
    sqlite3_exec(
        db, sql.c_str(),
        [](void* v, int, char** cells, char**) {
          *static_cast<std::string*>(v) = cells[0] ? cells[0] : "";
          return 0;
        },
        &value, nullptr);
  }
  sqlite3_close(db);
  return value;
}

// The runner's own service, with another program's change of the company file made at
// one moment of the run: at an event pump (the transaction engine pumps once per journal
// line), or at the first box whose text starts with a given text.
class ChangeDuring : public ui::UiService {
 public:
  ChangeDuring(std::unique_ptr<ui::UiService> runner, FileChange& change, long pump, std::string box)
      : runner(std::move(runner)), change_(change), pump_(pump), box_(std::move(box)) {}
  ui::Answer Message(const ui::MessageRequest& r) override {
    // A run that reads on after the change would wait out the driver's time for a lock at
    // every read: the lock ends at the first box after the change that is not the stop, so
    // that such a run fails the test at once rather than after minutes.
    if (made && r.title != "Report stopped") change_.Release();
    if (!box_.empty() && !made && r.text.starts_with(box_)) made = change_.Make();
    return runner->Message(r);
  }
  std::optional<std::string> Input(const ui::InputRequest& r) override { return runner->Input(r); }
  std::optional<std::string> File(const ui::FileRequest& r) override { return runner->File(r); }
  void RunModal(ui::Form& form) override { runner->RunModal(form); }
  void DoEvents() override {
    if (++pumps_ == pump_) made = change_.Make();
    runner->DoEvents();
  }
  void ExitProgram(int code) override { runner->ExitProgram(code); }

  std::unique_ptr<ui::UiService> runner;
  bool made = false;

 private:
  FileChange& change_;
  long pump_;
  std::string box_;
  long pumps_ = 0;
};

// The change the made-up reports below make, when, and whether it was made.
struct Changing {
  FileChange* change = nullptr;
  long pump = 0;
  std::string box;
  bool made = false;
};
Changing changing;

// A registered report with the change made during its run.
void WhileChanged(const char* report, std::string& code) {
  auto service = std::make_unique<ChangeDuring>(ui::SetUi(nullptr), *changing.change, changing.pump, changing.box);
  ChangeDuring& during = *service;
  ui::SetUi(std::move(service));
  struct Restore {
    ChangeDuring& during;
    ~Restore() {
      changing.made = during.made;
      ui::SetUi(std::move(during.runner));
    }
  } restore{during};
  runner::Find(report)->entry(code);
}

class RunEndTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    UsePrivateOdbcRegistration();
    runner::ReportRegistration comparison = *runner::Find("BGTCMP");
    comparison.code = "CHANGED";
    comparison.entry = [](std::string& code) { WhileChanged("BGTCMP", code); };
    runner::Register(comparison);
    // The group report's own debugging boxes mark the moment each member file is taken.
    runner::ReportRegistration group = *runner::Find("CONPL");
    group.code = "CHANGEDGROUP";
    group.entry = [](std::string& code) {
      G.DebugMode = "ON";
      WhileChanged("CONPL", code);
    };
    runner::Register(group);
  }
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    fs::create_directories(Folder("company"));
    fs::create_directories(Folder("out"));
  }
  std::string Folder(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }
  std::string Copy(const char* sample) const {
    const std::string copy = Folder("company") + "/" + sample;
    fs::copy_file(samples::SamplePath(sample), copy, fs::copy_options::overwrite_existing);
    return copy;
  }

  struct Result {
    int status;
    std::string out, err;
  };
  static Result Run(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = runner::Run(args, out, err);
    return {status, out.str(), err.str()};
  }

  QTemporaryDir dir_;
};

TEST_F(RunEndTest, ACompanyFileChangedDuringARunStopsItWithOneMessageAndNoOutput) {
  samples::GroupFolderOptions quick;
  quick.acceptedFiles = 2;
  quick.refusedFiles = false;
  quick.months = 3;
  samples::BuildGroupFolder(Folder("group"), quick);
  struct Case {
    const char* name;
    FileChange::Kind kind;
    const char* out;
    const char* says;
  };
  const Case cases[] = {
      {"removed", FileChange::Removed, "removed.xlsx", "was removed or renamed"},
      {"truncated", FileChange::Truncated, "truncated.pdf", "truncated"},
      {"replaced", FileChange::Replaced, "replaced.xlsx", "replaced by another file"},
      {"locked", FileChange::Locked, "locked.xlsx", "locked by another program"},
      {"group member removed", FileChange::Removed, "group.pdf", "was removed or renamed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool group = std::string(c.name).starts_with("group");
    const std::string file = Copy(samples::kAustralianFile);
    const std::string changed = group ? Folder("group") + "/Member01.MYO" : file;
    FileChange change(c.kind, changed, Copy(samples::kUsaFile));
    const std::string out = Folder("out") + "/" + c.out;
    // An earlier report of the same kind (by its first bytes) at the output path.
    const std::string earlier = std::string(fs::path(out).extension() == ".pdf" ? "%PDF-" : "PK\x03\x04") + "earlier";
    std::ofstream(out) << earlier;
    std::vector<std::string> args = {"--file", file, "--from", "07/2024", "--to", "09/2024", "--out", out};
    if (group) {
      // When the first member file has been taken, before its journal is read.
      changing = {&change, 0, "Group = ", false};
      args.insert(args.end(), {"--report", "CHANGEDGROUP", "--folder", Folder("group")});
    } else {
      // Some way into the period's journal lines, every one of which the engine follows
      // to its set and source documents.
      changing = {&change, 100, "", false};
      args.insert(args.end(), {"--report", "CHANGED", "--option", "CashBasis=True"});
    }
    const Result r = Run(args);
    ASSERT_TRUE(changing.made);
    EXPECT_EQ(r.status, 1) << r.err;
    // Besides the group report's debugging boxes and the workbook's "file not open"
    // question: one message, naming the file and what became of it.
    const size_t asides = Count(r.err, "MESSAGE \"Quorvex\": Group = ") + Count(r.err, "MESSAGE \"Quorvex\": CompanyPC = ");
    EXPECT_LE(Count(r.err, "MESSAGE "), asides + 2) << r.err;
    EXPECT_EQ(Count(r.err, "MESSAGE \"Report stopped\": "), 1u) << r.err;
    const size_t told = r.err.find("MESSAGE \"Report stopped\": ");
    ASSERT_NE(told, std::string::npos);
    const std::string message = r.err.substr(told, r.err.find("MESSAGE", told + 1) - told);
    EXPECT_NE(message.find(changed), std::string::npos) << message;
    EXPECT_NE(message.find(c.says), std::string::npos) << message;
    EXPECT_NE(r.out.find("REPORT: 0 rows written"), std::string::npos) << r.out;
    // Nothing saved or printed: the earlier file at the output path is as it was.
    std::ostringstream kept;
    kept << std::ifstream(out).rdbuf();
    EXPECT_EQ(kept.str(), earlier);
    EXPECT_EQ(std::distance(fs::directory_iterator(Folder("out")), fs::directory_iterator()), 1);
    fs::remove(out);
  }
}

// A company file holding a view with a query that never ends, in place of a table the
// run reads: the version check's company row, the budgets of the report, a member file's
// company row in the group run. Each read is stopped at its bounds, and the run names the
// file once.
TEST_F(RunEndTest, AFileWhoseQueriesNeverEndIsNamedOnceAndTheRunEnds) {
  samples::GroupFolderOptions quick;
  quick.acceptedFiles = 2;
  quick.refusedFiles = false;
  quick.months = 3;
  struct Case {
    const char* name;
    const char* table;
    const char* says;
    int status;
  };
  const Case cases[] = {
      {"version check", "DataFileInformation", "cannot be read: a query of it did not end", 1},
      {"report", "AccountBudgets", "cannot be read: a query of it did not end", 1},
      {"group member", "DataFileInformation", "is not a company file (its tables are missing)", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool group = std::string(c.name).starts_with("group");
    const std::string file = Copy(samples::kAustralianFile);
    fs::remove_all(Folder("group"));
    samples::BuildGroupFolder(Folder("group"), quick);
    const std::string hostile = group ? Folder("group") + "/Member01.MYO" : file;
    ASSERT_TRUE(PutEndlessViewInPlaceOf(hostile, c.table, true));
    const std::string out = Folder("out") + "/hostile.pdf";
    std::vector<std::string> args = {"--file", file, "--from", "07/2024", "--to", "09/2024", "--out", out};
    if (group) args.insert(args.end(), {"--report", "CONPL", "--folder", Folder("group")});
    else args.insert(args.end(), {"--report", "BGTCMP"});
    const Result r = Run(args);
    EXPECT_EQ(r.status, c.status) << r.err;
    // One message, or the runner's one line when the file is refused before the run.
    const std::string told = "\"" + hostile + "\" " + c.says;
    const std::string line = "qvx-report-run: " + hostile + " " + c.says;
    EXPECT_EQ(Count(r.err, told) + Count(r.err, line), 1u) << r.err;
    EXPECT_EQ(Count(r.err, hostile), 1u) << r.err;
    EXPECT_LE(Count(r.err, "MESSAGE "), 1u) << r.err;
    EXPECT_EQ(fs::exists(out), group) << r.err;
    fs::remove(out);
  }
}

TEST_F(RunEndTest, HundredsOfUnreadableDatesGiveOneBoxAndACount) {
  const std::string file = Copy(samples::kAustralianFile);
  // Dates that still fall in the period as texts, but are no dates.
  Sql(file,
      "UPDATE JournalRecords SET TransactionDate = substr(TransactionDate, 1, 8) || '0x' WHERE JournalRecordID IN "
      "(SELECT JournalRecordID FROM JournalRecords WHERE TransactionDate BETWEEN '2025-07-01' AND '2025-12-31' "
      "ORDER BY JournalRecordID LIMIT 300)");
  ASSERT_EQ(Sql(file, "SELECT COUNT(*) FROM JournalRecords WHERE TransactionDate LIKE '%x'"), "300");
  const std::string out = Folder("out") + "/dates.xlsx";
  const Result r = Run({"--file", file, "--report", "BGTCMP", "--from", "07/2025", "--to", "12/2025", "--out", out});
  // Each line is skipped and the report goes on to its workbook.
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(out));
  // The first box, then at the end one box with the message and how many more lines had it.
  EXPECT_EQ(Count(r.err, "MESSAGE \"Error Message\": An error has occurred - Type mismatch\r\nType = "), 2u) << r.err;
  EXPECT_EQ(Count(r.err, "Type mismatch"), 2u) << r.err;
  EXPECT_EQ(Count(r.err, "\r\n…and the same message came up 299 more times in this report.\n"), 1u) << r.err;
}

// In the group run each member file's message names its file, so the boxes of two files
// are told apart: a first box and a count for each, each count that of its file alone.
TEST_F(RunEndTest, UnreadableDatesInTwoMemberFilesAreCountedPerFile) {
  samples::GroupFolderOptions quick;
  quick.acceptedFiles = 2;
  quick.refusedFiles = false;
  quick.months = 12;
  const std::string company = Copy(samples::kAustralianFile);
  auto run = [&](const std::vector<std::string>& broken) {
    fs::remove_all(Folder("group"));
    samples::BuildGroupFolder(Folder("group"), quick);
    for (const std::string& member : broken)
      Sql(Folder("group") + "/" + member,
          "UPDATE JournalRecords SET TransactionDate = substr(TransactionDate, 1, 8) || '0x' "
          "WHERE JournalRecordID % 2 = 0");
    const std::string out = Folder("out") + "/group.pdf";
    fs::remove(out);
    const Result r = Run({"--file", company, "--report", "CONPL", "--folder", Folder("group"), "--from", "07/2024",
                          "--to", "12/2024", "--out", out});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.err;
  };
  const std::string summary = "…and the same message came up ";
  // The count told for a member's box: the text from its first box up to the count.
  auto told = [&](const std::string& err, const std::string& member) {
    const std::string box = "An error has occurred - Type mismatch\r\n\r\nCompany file " + Folder("group") + "/" +
                            member + "\r\n" + summary;
    const size_t at = err.find(box);
    if (at == std::string::npos) return std::string("none");
    const size_t count = at + box.size();
    return err.substr(count, err.find(' ', count) - count);
  };
  const std::string first = run({"Member01.MYO"});
  const std::string second = run({"Member02.MYO"});
  const std::string both = run({"Member01.MYO", "Member02.MYO"});
  ASSERT_NE(told(first, "Member01.MYO"), "none") << first;
  ASSERT_NE(told(second, "Member02.MYO"), "none") << second;
  EXPECT_EQ(told(both, "Member01.MYO"), told(first, "Member01.MYO")) << both;
  EXPECT_EQ(told(both, "Member02.MYO"), told(second, "Member02.MYO")) << both;
  // Two first boxes and the one box with both counts.
  EXPECT_EQ(Count(both, "MESSAGE "), 3u) << both;
  EXPECT_EQ(Count(both, summary), 2u) << both;
}

}  // namespace
}  // namespace qvx::test
