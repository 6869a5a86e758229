// The report runner: its arguments, the period it hands to the report, the options it
// sets, the output it chooses, and its exit status for every kind of mistake.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <csignal>
#include <cstring>
#include <fstream>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <sys/resource.h>

#include <QDate>
#include <QProcess>
#include <QTemporaryDir>

#include "core/DateRange.h"
#include "core/DateRangeMth.h"
#include "core/FilterOutput.h"
#include "core/Globals.h"
#include "core/ReportOutput.h"
#include "core/ReportRows.h"
#include "core/SelectPrinter.h"
#include "platform/excel/Excel.h"
#include "platform/printer/Printer.h"
#include "platform/sys/SafeSave.h"
#include "platform/sys/TemporaryFolder.h"
#include "platform/ui/Ui.h"
#include "samples/SamplePaths.h"
#include "support/OdbcTestEnv.h"
#include "support/TmpdirScope.h"
#include "tests/platform/printer/PdfText.h"
#include "tools/runner/Runner.h"

namespace qvx::test {
namespace {

namespace fs = std::filesystem;

// What the made-up report saw and was told.
struct Seen {
  std::string from, to, yearStart, yearEnd;
  bool typedDates = false;
  int16_t flag = 0;
  int16_t level = 0;
  std::string column;
};
Seen seen;
bool useTypedDates = false;
// When set, "another program" puts a text file of its own there once the output is chosen.
std::string otherProgramsFile;
// When set, "another program" renames a file of its own over it once the report has saved it.
std::string replacedAfterSave;

// A report in the shape of the real ones: period dialog, a message, the output choice,
// two body lines to the printer or the worksheet, and the common end.
void ProbeReport(std::string&) {
  seen.typedDates = useTypedDates;
  std::string from, to, start, end;
  bool ok = false;
  if (useTypedDates) {
    DateRange::Instance().Show();
    auto& d = DateRange::Instance();
    ok = d.ExitOkay, from = d.FromDateX, to = d.ToDateX, start = d.StartFinancialYear, end = d.EndFinancialYear;
  } else {
    DateRangeMth::Instance().Show();
    auto& d = DateRangeMth::Instance();
    ok = d.ExitOkay, from = d.FromDateX, to = d.ToDateX, start = d.StartFinancialYear, end = d.EndFinancialYear;
  }
  if (!ok) return;
  seen.from = from, seen.to = to, seen.yearStart = start, seen.yearEnd = end;
  ui::MsgBox("Reading the probe figures", ui::Buttons::OKCancel, ui::Icon::Information, "Probe title");
  FilterOutputForm().ShowModal();
  if (!G.DialogOK) return;
  if (!otherProgramsFile.empty()) std::ofstream(otherProgramsFile) << "my notes";
  const std::vector<std::string> lines = {"Probe report " + from + " to " + to, "Second line"};
  if (G.PrintToExcel) {
    StartExcel(ExcelObjects::FromGlobals(), "L");
    for (size_t i = 0; i < lines.size(); ++i) {
      G.xlSheet->Cells(static_cast<int>(i) + 1, 1).SetValue(lines[i]);
      CountReportRow();
    }
  } else {
    SelectPrinter::Instance().ShowModal();
    if (SelectPrinter::Instance().Cancelled) return;
    for (const auto& line : lines) {
      printer::Current().Print({line});
      CountReportRow();
    }
  }
  G.ReportOK = kTrue;
  EndReportOutput();
  if (!replacedAfterSave.empty()) {
    std::ofstream(replacedAfterSave + ".other") << "another program's file";
    std::filesystem::rename(replacedAfterSave + ".other", replacedAfterSave);
  }
}

constexpr const char* kCode = "PROBE";

class ReportRunTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    UsePrivateOdbcRegistration();
    runner::Register({
        .code = kCode,
        .entry = ProbeReport,
        .options = {{"UseTypedDates", runner::Flag(useTypedDates)},
                    {"CashBasis", runner::Flag(seen.flag)},
                    {"PrintLevel", runner::Integer(seen.level, 1, 4)},
                    {"ColumnType", runner::Choice(seen.column, {"A", "B", "AB"})}},
    });
  }
  void SetUp() override {
    seen = {};
    useTypedDates = false;
    otherProgramsFile.clear();
    replacedAfterSave.clear();
    ASSERT_TRUE(dir_.isValid());
  }

  struct Result {
    int status;
    std::string out, err;
  };
  Result Run(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = runner::Run(args, out, err);
    return {status, out.str(), err.str()};
  }
  std::string Path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }

  // The company's current financial year and its last month, read straight from the file.
  static std::pair<int, int> YearAndLastMonth(const std::string& file, bool dsn) {
    TestConnection c;
    ConnectionParts parts;
    parts.file = file;
    EXPECT_TRUE(c.Connect(dsn ? DsnConnectionString(parts) : DirectConnectionString(parts)).Ok());
    return {std::stoi(c.Scalar("SELECT CurrentFinancialYear FROM MYOB.DataFileInformation")),
            std::stoi(c.Scalar("SELECT LastMonthInFinancialYear FROM MYOB.DataFileInformation"))};
  }

  QTemporaryDir dir_;
};

std::string Two(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

TEST_F(ReportRunTest, WholeFinancialYearArrivesThroughEitherPeriodDialogAndEitherMode) {
  struct Case {
    const char* file;
    bool dsn;
    bool typed;
    const char* out;
  };
  // The USA file first: once another file has connected in this process, the driver
  // manager no longer refuses a driver name that its registration lacks.
  const Case cases[] = {
      {samples::kUsaFile, false, false, "usa.pdf"},
      {samples::kAustralianFile, false, false, "au.pdf"},
      {samples::kAustralianFile, false, true, "au.xlsx"},
      {samples::kAr2011File, true, false, "ar.xlsx"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out);
    const std::string file = samples::SamplePath(c.file);
    const auto [year, last] = YearAndLastMonth(file, c.dsn);
    const int first = last % 12 + 1;
    const int firstYear = first == 1 ? year : year - 1;
    const int lastDay = QDate(year, last, 1).daysInMonth();
    const std::string out = Path(c.out);
    const auto r = Run({"--file", file, "--report", kCode, "--from", Two(first) + "/" + std::to_string(firstYear),
                        "--to", Two(last) + "/" + std::to_string(year), "--out", out, "--option",
                        std::string("UseTypedDates=") + (c.typed ? "True" : "False")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(seen.typedDates, c.typed);
    EXPECT_EQ(seen.from, "01/" + Two(first) + "/" + std::to_string(firstYear));
    EXPECT_EQ(seen.to, Two(lastDay) + "/" + Two(last) + "/" + std::to_string(year));
    EXPECT_EQ(seen.yearStart, seen.from);
    EXPECT_EQ(seen.yearEnd, seen.to);
    EXPECT_TRUE(std::regex_match(r.out, std::regex("REPORT: 2 rows written, [0-9]+ ms\n"))) << r.out;
    EXPECT_NE(r.err.find("MESSAGE \"Probe title\": Reading the probe figures"), std::string::npos) << r.err;
    ASSERT_TRUE(fs::exists(out));
    if (fs::path(out).extension() == ".pdf") {
      EXPECT_NE(PdfText(out).find("Probe report " + seen.from + " to " + seen.to), std::string::npos);
    }
  }
}

TEST_F(ReportRunTest, OptionsReachTheirFieldsAndMistakesEndWithStatusTwo) {
  const std::string file = samples::SamplePath(samples::kAustralianFile);
  const auto [year, last] = YearAndLastMonth(file, false);
  const std::string month = Two(last) + "/" + std::to_string(year);
  auto run = [&](std::vector<std::string> options, const std::string& from) {
    std::vector<std::string> args = {"--file", file, "--report", kCode, "--from", from, "--to", month,
                                     "--out", Path("o.pdf")};
    for (auto& o : options) args.insert(args.end(), {"--option", o});
    return Run(args);
  };

  const auto good = run({"CashBasis=True", "PrintLevel=3", "ColumnType=AB"}, month);
  ASSERT_EQ(good.status, 0) << good.err;
  EXPECT_EQ(seen.flag, kTrue);
  EXPECT_EQ(seen.level, 3);
  EXPECT_EQ(seen.column, "AB");

  struct Case {
    std::vector<std::string> options;
    std::string from;
    const char* told;
  };
  const Case cases[] = {
      {{"NoSuchOption=1"}, month, "has no option NoSuchOption"},
      {{"CashBasis=maybe"}, month, "CashBasis takes True or False"},
      {{"PrintLevel=5"}, month, "PrintLevel takes a whole number 1 to 4"},
      {{"PrintLevel=two"}, month, "PrintLevel takes a whole number"},
      {{"ColumnType=C"}, month, "ColumnType takes one of A, B, AB"},
      {{"CashBasis"}, month, "NAME=VALUE"},
      // A period the dialog does not offer: refused, and the report sees a cancel.
      {{}, "01/1990", "financial year"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.told);
    seen = {};
    const auto r = run(c.options, c.from);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.told), std::string::npos) << r.err;
    EXPECT_TRUE(seen.from.empty()) << "the report must not have run on";
  }
}

// Whatever stood at --out stays until a complete new file takes its place; the status is
// 0 only then, and only while that file still stands there when the run ends (not one
// another program renamed over it after the save). A file of another kind, or a folder, is refused; a write that fails (here
// the process's file-size limit) keeps the earlier file and ends with 1.
TEST_F(ReportRunTest, TheStatusIsZeroOnlyWhenANewFileStandsAtOut) {
  const std::string file = samples::SamplePath(samples::kAustralianFile);
  const auto [year, last] = YearAndLastMonth(file, false);
  const std::string month = Two(last) + "/" + std::to_string(year);
  const std::string earlierPdf = "%PDF-1.4 the earlier report";
  const std::string earlierBook = std::string("PK\x03\x04") + "the earlier workbook";
  auto read = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  struct Case {
    const char* what;
    const char* out;
    std::string earlier;    // what stands at --out before the run ("" nothing)
    bool limitFileSize;
    int status;
    const char* told;       // on stderr
    bool otherProgramWrites = false;  // a text file put at --out during the run
    bool otherProgramReplaces = false;  // a file renamed over --out after the save
  } cases[] = {
      {"a new PDF over an earlier one", "a.pdf", earlierPdf, false, 0, ""},
      {"a new workbook over an earlier one", "b.xlsx", earlierBook, false, 0, ""},
      {"the PDF cannot be written whole", "c.pdf", earlierPdf, true, 1, "File too large"},
      {"the workbook cannot be written whole", "d.xlsx", earlierBook, true, 1, "could not be written"},
      {"a text file named .pdf", "notes.pdf", "my notes", false, 1, "is not a PDF file"},
      {"a text file named .xlsx", "notes.xlsx", "my notes", false, 1, "is not an Excel workbook"},
      {"a folder named .XLSX", "dir.XLSX", "", false, 1, "is a folder"},
      // Refused before anything runs, so nobody is asked whether to replace what it points at.
      {"a link to an earlier PDF", "link.pdf", earlierPdf, false, 1,
       "link.pdf is a link, not a file, so nothing was saved there and nothing was overwritten."},
      {"a link to an earlier workbook", "link.xlsx", earlierBook, false, 1,
       "link.xlsx is a link, not a file, so nothing was saved there and nothing was overwritten."},
      // The file at --out changed, but the program saved nothing.
      {"a text file put at a .pdf meanwhile", "later.pdf", "", false, 1, "is not a PDF file, so it is not replaced", true},
      {"a text file put at a .xlsx meanwhile", "later.xlsx", "", false, 1,
       "is not an Excel workbook, so it is not replaced", true},
      // The program saved its file, but another one stands there at the end.
      {"the saved PDF replaced meanwhile", "replaced.pdf", earlierPdf, false, 1, "nothing was written to", false, true},
      {"the saved workbook replaced meanwhile", "replaced.xlsx", earlierBook, false, 1, "nothing was written to", false,
       true},
  };
  // The program's own spelling of a workbook's name, which must be left alone.
  std::ofstream(Path("b.XLSX")) << earlierBook;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string out = Path(c.out);
    const bool link = std::string(c.out).rfind("link.", 0) == 0;
    if (std::string(c.out) == "dir.XLSX") fs::create_directory(out);
    else std::ofstream(link ? out + ".earlier" : out, std::ios::binary) << c.earlier;
    if (link) fs::create_symlink(out + ".earlier", out);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
    if (c.limitFileSize) {
      rlimit small = saved;
      small.rlim_cur = 4096;
      ::setrlimit(RLIMIT_FSIZE, &small);
    }
    otherProgramsFile = c.otherProgramWrites ? out : "";
    replacedAfterSave = c.otherProgramReplaces ? out : "";
    const auto r = Run({"--file", file, "--report", kCode, "--from", month, "--to", month, "--out", out});
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedSignal);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.told), std::string::npos) << r.err;
    if (link) {
      EXPECT_EQ(r.err.find("already exists"), std::string::npos) << r.err;
      EXPECT_TRUE(fs::is_symlink(fs::symlink_status(out)));
    }
    if (c.status == 0 && fs::path(out).extension() == ".pdf")
      EXPECT_NE(PdfText(out).find("Second line"), std::string::npos);
    else if (c.status == 0)
      EXPECT_NE(read(out), c.earlier);
    else if (fs::is_directory(out))
      EXPECT_TRUE(fs::is_empty(out));
    else if (c.otherProgramReplaces)
      EXPECT_EQ(read(out), "another program's file");
    else
      EXPECT_EQ(read(out), c.otherProgramWrites ? "my notes" : c.earlier);
  }
  EXPECT_EQ(read(Path("b.XLSX")), earlierBook);
  // No scratch file is left beside the outputs.
  for (const auto& e : fs::directory_iterator(dir_.path().toStdString()))
    EXPECT_EQ(e.path().filename().string().rfind(".qvx-", 0), std::string::npos) << e.path();
}

// The program itself. A run killed part-way leaves its two temporary folders; the next
// run, here under a file-size limit as `ulimit -f 16` sets it, removes them and the
// unfinished output they name, but not the folder of a run still going; its own write
// fails and is told like a full disk, rather than the signal ending it without a word
// and leaving its scratch file.
TEST_F(ReportRunTest, AFileSizeLimitFailsTheWriteAndAKilledRunsLeftoversGo) {
  const std::string file = samples::SamplePath(samples::kAustralianFile);
  const auto [year, last] = YearAndLastMonth(file, false);
  const std::string month = Two(last) + "/" + std::to_string(year);
  // The killed run reads the whole year, to be caught while it runs in any build.
  const int first = last % 12 + 1;
  const std::string firstMonth = Two(first) + "/" + std::to_string(first == 1 ? year : year - 1);
  // The runs' temporary folders go to a folder of the test's own.
  const std::string tmp = Path("tmp");
  fs::create_directory(tmp);
  fs::permissions(tmp, fs::perms::owner_all);
  auto runnerFolders = [&] {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(tmp))
      if (e.path().filename().string().rfind(runner::kTemporaryFolderPrefix, 0) == 0) found.push_back(e.path());
    return found;
  };
  auto start = [&](QProcess& p, const std::string& from, const std::string& out, bool limitFileSize) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", QString::fromStdString(tmp));
    p.setProcessEnvironment(env);
    if (limitFileSize) {
      p.setChildProcessModifier([] {
        const rlimit sixteenBlocks{16 * 1024, 16 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &sixteenBlocks);
        std::signal(SIGXFSZ, SIG_DFL);
      });
    }
    p.start(QVX_REPORT_RUN, {"--file", QString::fromStdString(file), "--report", "BGTCMP", "--from",
                             QString::fromStdString(from), "--to", QString::fromStdString(month), "--out",
                             QString::fromStdString(out), "--option", "CashBasis=True"});
  };

  QProcess killed;
  start(killed, firstMonth, Path("killed.pdf"), false);
  while (runnerFolders().size() < 2 && killed.state() != QProcess::NotRunning) killed.waitForFinished(2);
  ASSERT_EQ(runnerFolders().size(), 2u) << "the run ended before it could be killed";
  killed.kill();
  ASSERT_TRUE(killed.waitForFinished(60000));
  const std::vector<std::string> left = runnerFolders();
  ASSERT_EQ(left.size(), 2u);
  // Its scratch file, as a kill during the print job leaves it, named from its program
  // folder (the one that is not its configuration folder).
  std::ofstream(Path(".qvx-save-Ki11ed")) << "half a report";
  const std::string& program = fs::exists(left[0] + "/quorvex") ? left[1] : left[0];
  fs::create_symlink(Path(".qvx-save-Ki11ed"), program + "/QVXScratch.Ki11ed");
  ::setenv("TMPDIR", tmp.c_str(), 1);
  const sys::TemporaryFolder running(runner::kTemporaryFolderPrefix);
  ::unsetenv("TMPDIR");

  const std::string out = Path("limited.pdf");
  std::ofstream(out) << "%PDF-1.4 the earlier report";
  QProcess p;
  start(p, month, out, true);
  ASSERT_TRUE(p.waitForFinished(120000));
  const std::string err = p.readAllStandardError().toStdString();
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << err;
  EXPECT_EQ(p.exitCode(), 1) << err;
  EXPECT_NE(err.find("The PDF file " + out + " could not be written: File too large"), std::string::npos) << err;
  std::ifstream in(out);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "%PDF-1.4 the earlier report");
  for (const auto& e : fs::directory_iterator(dir_.path().toStdString()))
    EXPECT_EQ(e.path().filename().string().rfind(".qvx-", 0), std::string::npos) << e.path();
  EXPECT_EQ(runnerFolders(), std::vector<std::string>{running.Path()});
}

// Someone who may write in the folder that holds TMPDIR (a team folder without the sticky
// bit) swaps names just as the run puts its report in place: TMPDIR renamed away and a link
// to the team folder put at its name, and a private folder of the user's there renamed to
// the run's folder's name, holding files named as the run's own. The run still saves its
// report, and its end removes its own folder only: nothing of the run reaches the user's
// folder by those names.
TEST_F(ReportRunTest, NamesSwappedAsTheReportIsPutInPlaceLeadTheRunNowhereElse) {
  const std::string file = samples::SamplePath(samples::kAustralianFile);
  const auto [year, last] = YearAndLastMonth(file, false);
  const std::string month = Two(last) + "/" + std::to_string(year);
  const std::string team = Path("team"), tmp = team + "/tmp";
  std::string mine = team + "/mine";
  fs::create_directories(tmp);
  fs::create_directories(mine + "/sub");
  fs::permissions(mine, fs::perms::owner_all);
  std::ofstream(mine + "/sub/notes") << "the user's notes";
  std::vector<std::string> names = {"sub"};
  std::string moved;  // where the run's own folder went
  const sys::ScratchWatch previous = sys::SetScratchWatch([&](sys::ScratchStep step, const std::string&) {
    if (step != sys::ScratchStep::Taking || !moved.empty()) return;
    for (const auto& e : fs::directory_iterator(tmp)) {
      const std::string name = e.path().filename().string();
      if (name.rfind(runner::kTemporaryFolderPrefix, 0) != 0) continue;
      for (const auto& within : fs::directory_iterator(e.path())) {
        names.push_back(within.path().filename().string());
        std::ofstream(mine + "/" + names.back()) << "the user's";
      }
      fs::rename(tmp, team + "/tmp.away");
      fs::create_directory_symlink(team, tmp);
      fs::rename(mine, team + "/" + name);
      mine = team + "/" + name;
      moved = team + "/tmp.away/" + name;
      return;
    }
  });
  const auto r = [&] {
    const TmpdirScope scope(tmp);
    return Run({"--file", file, "--report", kCode, "--from", month, "--to", month, "--out", Path("swap.pdf")});
  }();
  sys::SetScratchWatch(previous);
  EXPECT_EQ(r.status, 0) << r.err;
  ASSERT_FALSE(moved.empty()) << "the report was never put in place";
  EXPECT_GE(names.size(), 3u) << "the run's folder held nothing to take the user's files' names";
  EXPECT_FALSE(fs::exists(moved));
  for (const std::string& name : names) EXPECT_TRUE(fs::exists(fs::symlink_status(mine + "/" + name))) << name;
  std::ifstream notes(mine + "/sub/notes");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(notes), {}), "the user's notes");
}

// The program itself, many runs started at once in one TMPDIR, each released by the same
// closed pipe: each one's start clears away what killed runs left, beside the others'
// folders being made, used and removed. Every run saves its report, and nothing is left.
TEST_F(ReportRunTest, ManyRunsStartedTogetherInOneTemporaryFolderAllSucceed) {
  const std::string file = samples::SamplePath(samples::kAustralianFile);
  const auto [year, last] = YearAndLastMonth(file, false);
  const std::string month = Two(last) + "/" + std::to_string(year);
  const std::string tmp = Path("tmp");
  fs::create_directory(tmp);
  fs::permissions(tmp, fs::perms::owner_all);
  constexpr int kRuns = 24;
  // Everything the children use is made before they are forked: a child of a process with
  // threads only closes, reads, opens and starts the program.
  std::vector<std::string> environment = {"TMPDIR=" + tmp};
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind("TMPDIR=", 0) != 0) environment.emplace_back(*e);
  std::vector<char*> envp;
  for (auto& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  struct Start {
    std::vector<std::string> args;
    std::vector<char*> argv;
    std::string log;
    pid_t pid = -1;
  };
  std::vector<Start> starts(kRuns);
  for (int i = 0; i < kRuns; ++i) {
    Start& s = starts[static_cast<size_t>(i)];
    s.args = {QVX_REPORT_RUN, "--file", file, "--report", "BGTCMP", "--from", month, "--to", month,
              "--out", Path("many" + std::to_string(i) + ".pdf")};
    for (auto& a : s.args) s.argv.push_back(a.data());
    s.argv.push_back(nullptr);
    s.log = Path("many" + std::to_string(i) + ".log");
  }
  int gate[2];
  ASSERT_EQ(::pipe(gate), 0);
  for (Start& s : starts) {
    s.pid = ::fork();
    if (s.pid == 0) {
      ::close(gate[1]);
      char go;
      while (::read(gate[0], &go, 1) < 0) {
      }
      const int log = ::open(s.log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(log, 1);
      ::dup2(log, 2);
      ::execve(s.argv[0], s.argv.data(), envp.data());
      ::_exit(127);
    }
  }
  ::close(gate[0]);
  ::close(gate[1]);
  for (Start& s : starts) {
    if (s.pid < 0) {
      ADD_FAILURE() << "fork: " << std::strerror(errno);
      continue;
    }
    int status = -1;
    ASSERT_EQ(::waitpid(s.pid, &status, 0), s.pid);
    std::ifstream log(s.log);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << status << "\n" << std::string(std::istreambuf_iterator<char>(log), {});
    EXPECT_TRUE(fs::exists(s.args[10])) << s.args[10];
  }
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(tmp))
    if (e.path().filename().string().rfind(runner::kTemporaryFolderPrefix, 0) == 0) left.push_back(e.path());
  EXPECT_EQ(left, std::vector<std::string>{});
  for (const auto& e : fs::directory_iterator(dir_.path().toStdString()))
    EXPECT_EQ(e.path().filename().string().rfind(".qvx-", 0), std::string::npos) << e.path();
}

// The program itself: argument mistakes (2) and reports it does not have (3), told on
// stderr before anything is opened.
TEST(ReportRunProgram, RefusesBadArgumentsAndUnknownReports) {
  const std::vector<std::string> full = {"--file", "x.MYO", "--report", "BGTCMP", "--from", "07/2024",
                                         "--to", "09/2024", "--out", "/tmp/x.pdf"};
  auto with = [&](const std::string& name, const std::string& value) {
    auto args = full;
    for (size_t i = 0; i < args.size(); i += 2)
      if (args[i] == name) args[i + 1] = value;
    return args;
  };
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* told;
  };
  const Case cases[] = {
      {{}, 2, "is required"},
      {with("--from", "13/2024"), 2, "MM/YYYY"},
      {with("--to", "2024-09"), 2, "MM/YYYY"},
      {with("--to", "06/2024"), 2, "before"},
      {with("--out", "/tmp/x.txt"), 2, ".xlsx or a .pdf"},
      {{"--file"}, 2, "needs a value"},
      {{"--colour", "red"}, 2, "unknown argument"},
      {with("--report", "NOSUCH"), 3, "NOSUCH is not built"},
  };
  for (const auto& c : cases) {
    QProcess p;
    QStringList args;
    for (const auto& a : c.args) args << QString::fromStdString(a);
    p.start(QVX_REPORT_RUN, args);
    ASSERT_TRUE(p.waitForFinished(60000));
    const std::string err = p.readAllStandardError().toStdString();
    EXPECT_EQ(p.exitCode(), c.status) << err;
    EXPECT_NE(err.find(c.told), std::string::npos) << err;
  }
  // A TMPDIR that others may write to without the sticky bit is passed over, and said so.
  QTemporaryDir shared;
  fs::permissions(shared.path().toStdString(), fs::perms::all);
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("TMPDIR", shared.path());
  p.setProcessEnvironment(env);
  p.start(QVX_REPORT_RUN, {});
  ASSERT_TRUE(p.waitForFinished(60000));
  const std::string err = p.readAllStandardError().toStdString();
  EXPECT_NE(err.find("qvx-report-run: TMPDIR " + shared.path().toStdString() + " is not used"), std::string::npos)
      << err;
  EXPECT_TRUE(fs::is_empty(shared.path().toStdString()));
}

}  // namespace
}  // namespace qvx::test
