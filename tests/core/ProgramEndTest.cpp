// The built program ended by a signal, as Ctrl+C, a closed terminal, a logout or kill end
// it, however many copies of the signal come; and a report, an options dialog or a box
// open when the signal comes, and the boxes asked for after it.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <thread>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "CoreFixture.h"
#include "app/ProgramEnd.h"
#include "core/Progress.h"
#include "core/Settings.h"
#include "driver/AccessKey.h"
#include "groupreports/FilterCons.h"
#include "platform/help/Help.h"
#include "platform/shell/Shell.h"
#include "platform/sys/EndSignals.h"
#include "samples/SamplePaths.h"
#include "support/OdbcTestEnv.h"
#include "support/OtherProgram.h"

namespace qvx::test {
namespace {

// Whether a mask of /proc/PID/status ("SigCgt", "ShdPnd") holds the signal.
bool InMask(pid_t pid, const std::string& field, int sig) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with(field + ":")) return (std::stoull(line.substr(field.size() + 1), nullptr, 16) >> (sig - 1)) & 1;
  return false;
}

// Waits, at most kChildWaitMs, until `done` holds or the process has ended, looking every
// `everyUs`.
void WaitFor(pid_t pid, const std::function<bool()>& done, int everyUs = 5000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kChildWaitMs);
  while (std::chrono::steady_clock::now() < end && ::kill(pid, 0) == 0 && !done()) ::usleep(everyUs);
}

// Whether the process has the file open.
bool HasOpen(pid_t pid, const std::string& file) {
  std::error_code ec;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec))
    if (std::filesystem::read_symlink(fd.path(), ec) == file) return true;
  return false;
}

// The files of the program folder whose names begin with `prefix`.
std::vector<std::string> NamesStartingWith(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (const std::string name = entry.path().filename().string(); name.starts_with(prefix)) names.push_back(name);
  std::sort(names.begin(), names.end());
  return names;
}

// All a pipe gives until it closes, and how often it said `line`.
std::string ReadAll(int fd) {
  std::string all;
  char bytes[4096];
  for (ssize_t n; (n = ::read(fd, bytes, sizeof bytes)) > 0;) all.append(bytes, static_cast<size_t>(n));
  ::close(fd);
  return all;
}
long Times(const std::string& said, const std::string& line) {
  long times = 0;
  for (size_t at = said.find(line); at != std::string::npos; at = said.find(line, at + 1)) ++times;
  return times;
}
constexpr const char* kEndedAtOnce = "Quorvex: ended at once; the settings were not saved.\n";

TEST(ProgramEnd, EachStopEndsTheProgramAsExitDoesHoweverManyCopiesOfItsSignalsCome) {
  UsePrivateOdbcRegistration();
  struct Case {
    const char* name;
    std::vector<int> sent;
    bool intIgnored;     // started with SIGINT ignored, as a job in the background
    bool dateQuestion;   // the short-date picture brings the question at the connection
    bool companyLocked;  // the start waits for the company file while the signals come
    bool written;        // the settings and data-set files as Exit writes them; else untouched
    int endedBy;         // the signal the program ends by, as whoever sent it sees
    // No room for the settings file, as on a full disk: the program says so on its standard
    // error, with nobody to answer a box, writes the data-set file and ends.
    bool fullDisk = false;
  };
  const Case cases[] = {
      {"INT", {SIGINT}, false, false, false, true, SIGINT},
      {"TERM", {SIGTERM}, false, false, false, true, SIGTERM},
      {"HUP", {SIGHUP}, false, false, false, true, SIGHUP},
      {"a closed terminal's two HUPs", {SIGHUP, SIGHUP}, false, false, false, true, SIGHUP},
      {"a group's TERM and a start's", {SIGTERM, SIGTERM}, false, false, false, true, SIGTERM},
      {"HUP, then a start's TERM", {SIGHUP, SIGTERM}, false, false, false, true, SIGHUP},
      {"INT, then a start's TERM", {SIGINT, SIGTERM}, false, false, false, true, SIGINT},
      {"INT twice", {SIGINT, SIGINT}, false, false, false, true, SIGINT},
      {"INT ignored from the start, then TERM", {SIGINT, SIGTERM}, true, false, false, true, SIGTERM},
      // The start gives up its wait for the file another program holds at once, and ends
      // without the company's data-set file.
      {"TERM twice while the start waits", {SIGTERM, SIGTERM}, false, false, true, true, SIGTERM},
      {"HUP, TERM, HUP while the start waits", {SIGHUP, SIGTERM, SIGHUP}, false, false, true, true, SIGHUP},
      // Answered No, which writes nothing.
      {"TERM at the date-format question", {SIGTERM}, false, true, false, false, SIGTERM},
      {"two HUPs at the date-format question", {SIGHUP, SIGHUP}, false, true, false, false, SIGHUP},
      {"INT at the date-format question", {SIGINT}, false, true, false, false, SIGINT},
      {"TERM with no room for the settings file", {SIGTERM}, false, false, false, false, SIGTERM, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString(), company = folder + "/" + samples::kAustralianFile;
    std::filesystem::copy_file(std::string(QVX_BINARY_DIR) + "/bin/quorvex", folder + "/quorvex");
    std::filesystem::copy_file(samples::SamplePath(samples::kAustralianFile), company);
    std::filesystem::create_directories(folder + "/config/quorvex");
    std::filesystem::permissions(folder + "/config/quorvex", std::filesystem::perms::owner_all);
    std::ofstream(folder + "/config/quorvex/short-date") << (c.dateQuestion ? "d/MM/yyyy\n" : "dd/MM/yyyy\n");
    // A page length no report can use: the start takes the default and says so in a box,
    // which is open when the signal comes (with no room for the settings, the main window;
    // with the company file held, the start's wait for it).
    const std::map<std::string, std::string> values = {
        {"ODBCMode", "Direct"}, {"ODBCUserID", "Administrator"}, {"ODBCDataFile", company},
        {"ODBCProduct", DriverLibraryPath()}, {"ODBCDriver", driver::kDirectDriverName},
        {"PTLines", c.dateQuestion || c.fullDisk || c.companyLocked ? "68" : "5"}};
    std::string ini;
    for (const std::string& line : DefaultIniLines()) {
      const auto it = values.find(line.substr(0, line.find('=')));
      ini += (it == values.end() ? line : it->first + "=" + it->second) + "\r\n";
    }
    std::ofstream(folder + "/Tallymoor.Ini", std::ios::binary) << ini;
    const std::string dataSet = folder + "/QVXDataSet-Clearwater.Txt";
    std::ofstream(dataSet, std::ios::binary) << "DS-CompanyName=as it was\r\n";
    std::optional<Writer> lock;
    if (c.companyLocked) lock.emplace(company, "BEGIN EXCLUSIVE");
    // The end notice the start script reads.
    int notice[2];
    ASSERT_EQ(::pipe(notice), 0);

    // Its output and error come through pipes, which no file-size limit stops.
    int output[2], error[2];
    ASSERT_EQ(::pipe(output), 0);
    ASSERT_EQ(::pipe(error), 0);

    // A file no larger than 1 KiB: the settings file's 52 lines are more, the data-set
    // file's line less.
    const std::string start = "cd '" + folder + "' && " + (c.intIgnored ? "trap '' INT; " : "") +
                              (c.fullDisk ? "ulimit -f 1; " : "") +
                              "XDG_CONFIG_HOME=\"$PWD/config\" QT_QPA_PLATFORM=offscreen QVX_END_NOTICE_FD=9 "
                              "LSAN_OPTIONS=suppressions=" QVX_SOURCE_DIR "/tests/lsan.supp exec ./quorvex";
    const pid_t pid = ::fork();
    if (pid == 0) {
      for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, SIG_DFL);
      ::dup2(output[1], STDOUT_FILENO);
      ::dup2(error[1], STDERR_FILENO);
      ::dup2(notice[1], 9);  // last: the output's own descriptor may be 9
      ::execl("/bin/sh", "sh", "-c", start.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ASSERT_GT(pid, 0);
    ::close(notice[1]);
    ::close(output[1]);
    ::close(error[1]);
    // Apart: the end's lines belong on the standard error alone.
    auto out = std::async(std::launch::async, ReadAll, output[0]), err = std::async(std::launch::async, ReadAll, error[0]);
    WaitFor(pid, [&] { return InMask(pid, "SigCgt", SIGTERM); });
    if (c.companyLocked) WaitFor(pid, [&] { return HasOpen(pid, company); });
    const auto signalled = std::chrono::steady_clock::now();
    // Each as soon as the one before has been taken: the copies of one stop, a millisecond
    // or so apart.
    for (size_t i = 0; i < c.sent.size(); ++i) {
      ::kill(pid, c.sent[i]);
      // Taken: a copy sent while it waited would merge with it.
      WaitFor(pid, [&] { return !InMask(pid, "ShdPnd", c.sent[i]); }, 100);
    }
    const std::optional<int> status = EndChild(pid);  // killed after kChildWaitMs
    const std::string said = err.get();
    ASSERT_TRUE(status) << "still running " << kChildWaitMs << " ms after the signal; " << said;
    // Within a second or so, where each of the start's two waits for the file took 5 s.
    if (c.companyLocked) {
      EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(4));
    }
    EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == c.endedBy) << *status;
    char told[4] = {};
    EXPECT_EQ(::read(notice[0], told, sizeof told), 1);
    EXPECT_EQ(told[0], c.sent[c.intIgnored ? 1 : 0]) << "the end notice names the first signal taken";
    ::close(notice[0]);
    const std::string after = CoreTest::ReadBytes(folder + "/Tallymoor.Ini");
    if (c.written) {
      EXPECT_EQ(std::count(after.begin(), after.end(), '\n'), 52);
      EXPECT_NE(after.find("\r\nPTLines=68\r\n"), std::string::npos);
      EXPECT_NE(after.find("\r\nODBCDataFile=" + company + "\r\n"), std::string::npos);
      EXPECT_EQ(CoreTest::ReadBytes(dataSet), c.companyLocked ? "DS-CompanyName=as it was\r\n"
                                                              : "DS-CompanyName=Clearwater Trading Pty Ltd\r\n");
    } else {
      EXPECT_TRUE(after == ini) << "rewritten";
      EXPECT_EQ(CoreTest::ReadBytes(dataSet), c.fullDisk ? "DS-CompanyName=Clearwater Trading Pty Ltd\r\n"
                                                         : "DS-CompanyName=as it was\r\n");
    }
    // Said once, in plain lines, on the standard error: the file-size limit as the cause
    // (written at once and again at Exit), or the end at once.
    EXPECT_EQ(Times(said, "could not be saved"), c.fullDisk ? 1 : 0) << said;
    EXPECT_EQ(Times(said, "not written:\n\n" + folder + "/Tallymoor.Ini: File size limit exceeded\n"), c.fullDisk ? 1 : 0);
    EXPECT_EQ(Times(said, kEndedAtOnce), 0) << said;  // one stop, however many copies
    EXPECT_EQ(said.find('\r'), std::string::npos) << said;
    EXPECT_EQ(said.find("error connecting"), std::string::npos) << "a stop is no failed connection; " << said;
    EXPECT_EQ(out.get(), "");
    // Nothing half-written is left beside them.
    EXPECT_EQ(NamesStartingWith(folder, "Tallymoor.Ini"), std::vector<std::string>{"Tallymoor.Ini"});
    EXPECT_EQ(NamesStartingWith(folder, "QVXDataSet-"), std::vector<std::string>{"QVXDataSet-Clearwater.Txt"});
  }
}

// A user who insists (a second Ctrl+C a moment after the first) while the settings are
// written ends the program once both files are whole and in place: none half-written, and
// nothing left beside them. Insisting then or later, the user is told on the standard error
// when the settings file could not be written (as on a full disk), and only then.
class ProgramEndWriteTest : public CoreTest {};

TEST_F(ProgramEndWriteTest, AnInsistingSignalEndsTheProgramOnceBothAreInPlaceSayingWhenTheSettingsWereNotSaved) {
  G.DataSetFile = "QVXDataSet-Own.Txt";
  G.DataSetCompany = "Own Books Pty Ltd";
  struct Case {
    const char* name;
    bool whileWritten;  // the second signal comes as the settings file's lines are made; else after
    bool fails;         // the settings file beyond the file-size limit
  };
  for (const Case c : {Case{"while written", true, false}, Case{"while written, failing", true, true},
                       Case{"after", false, false}, Case{"after a failure", false, true}}) {
    SCOPED_TRACE(c.name);
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) std::filesystem::remove(entry);
    int output[2], error[2];
    ASSERT_EQ(::pipe(output), 0);
    ASSERT_EQ(::pipe(error), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::dup2(output[1], STDOUT_FILENO);
      ::dup2(error[1], STDERR_FILENO);
      const rlimit limit{128, 128};  // the data-set file's line, not the settings file's 52
      if (c.fails) {
        sys::IgnoreFileSizeSignal();
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      sys::CatchEndSignals();
      sys::SayWhenEndedAtOnce(kEndedAtOnce);
      ::raise(SIGTERM);
      ::usleep((sys::kInsistAfterMs + 200) * 1000);
      if (c.whileWritten)
        BindSetting("ColumnType", [] {
          ::raise(SIGTERM);
          static std::string text;
          return SettingTarget(&text);
        });
      SaveSettingsOnExit();
      if (!c.whileWritten) ::raise(SIGTERM);
      ::_exit(0);
    }
    ASSERT_GT(pid, 0);
    ::close(output[1]);
    ::close(error[1]);
    auto out = std::async(std::launch::async, ReadAll, output[0]), err = std::async(std::launch::async, ReadAll, error[0]);
    const std::optional<int> status = EndChild(pid);
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == SIGTERM) << *status;
    EXPECT_EQ(Times(err.get(), kEndedAtOnce), c.fails ? 1 : 0);
    EXPECT_EQ(out.get(), "");
    EXPECT_EQ(ReadBytes(Path(G.DataSetFile)), "DS-CompanyName=Own Books Pty Ltd\r\n");
    std::vector<std::string> whole{"QVXDataSet-Own.Txt"};
    if (!c.fails) whole.push_back("Tallymoor.Ini");
    EXPECT_EQ(NamesStartingWith(folder_, ""), whole);
    EXPECT_EQ(std::filesystem::exists(IniPath()) ? sys::ReadTextLines(IniPath(), 1000).size() : 0, c.fails ? 0 : 52u);
  }
}

// Runs the program's event loop until the program ends (or a bound far beyond), then lets
// the end signals end the test program again.
void RunUntilTheProgramEnds() {
  QTimer bound;
  bound.callOnTimeout([] { QCoreApplication::quit(); });
  bound.start(2 * kChildWaitMs);
  QApplication::exec();
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, SIG_DFL);
}

// A report that runs when the signal comes stops at its next look at the window events,
// its output abandoned, and the program ends as Exit ends it.
class ProgramEndTest : public CoreTest {};

TEST_F(ProgramEndTest, ASignalStopsTheRunningReportAndTheSettingsAreWritten) {
  Main();
  auto& window = *MainF::Instance().Window();
  DataSource::Instance().ODBCDataFile = Path("Clearwater.MYO");
  Conn.ODBCConnected = true;
  const MainF::ReportEntries saved = MainF::Instance().Entries;
  auto scripted = ui::SetUi(std::make_unique<ui::QtUi>());
  EndOnSignals();
  bool ranOut = false, loadedAtStop = false;
  size_t linesAtStop = 0;
  MainF::Instance().Entries.BudgetComparison = [&](std::string&) {
    // As the report stops, the settings are already written, should the display go first;
    // Exit's own work waits for the report to end.
    struct Stop {
      size_t& lines;
      bool& loaded;
      std::string ini;
      ~Stop() {
        lines = sys::ReadTextLines(ini, 1000).size();
        loaded = MainF::Instance().Window()->Loaded();
      }
    } stop{linesAtStop, loadedAtStop, IniPath()};
    ::raise(SIGTERM);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kChildWaitMs);
    while (std::chrono::steady_clock::now() < end) ui::DoEvents();
    ranOut = true;
  };
  QTimer::singleShot(0, &window, [&] { window.RPTSBC_Click(); });
  RunUntilTheProgramEnds();
  ui::SetUi(std::move(scripted));
  MainF::Instance().Entries = saved;

  EXPECT_FALSE(ranOut);
  EXPECT_EQ(linesAtStop, 52u);
  EXPECT_TRUE(loadedAtStop);
  EXPECT_FALSE(G.ReportRunning);
  EXPECT_FALSE(window.Loaded());
  EXPECT_EQ(sys::ReadTextLines(IniPath(), 1000).size(), 52u);
}

// An options dialog open at the signal is closed as its Cancel button closes it: what OK
// had stored before the question that was open goes back, and neither the settings file
// written at once nor Exit's holds it.
TEST_F(ProgramEndTest, AnOptionsDialogOpenAtTheSignalIsCancelled) {
  Main();
  G.ConsPath = folder_;
  G.ConsGroupName = "NORTH";
  G.PrintToPrinter = kTrue;
  auto scripted = ui::SetUi(std::make_unique<ui::QtUi>());
  EndOnSignals();
  bool pressed = false, asked = false;
  // Plays the user: the group typed, a workbook asked for and OK pressed; the signal comes
  // at the question that follows.
  QTimer user;
  user.callOnTimeout([&] {
    QWidget* up = QApplication::activeModalWidget();
    if (auto* options = dynamic_cast<FilterConsForm*>(up); options && !pressed) {
      pressed = true;
      options->TxtGroup.setText("SOUTH");
      options->ChkExcelFile.setChecked(true);
      // Pressed once this look has ended: its question waits in a loop of its own.
      QTimer::singleShot(0, &options->Exit, &QPushButton::click);
    } else if (dynamic_cast<QMessageBox*>(up) && !asked) {
      asked = true;
      ::raise(SIGTERM);
    }
  });
  user.start(10);
  QTimer::singleShot(0, [] { FilterCons::Instance().Show(); });
  RunUntilTheProgramEnds();
  ui::SetUi(std::move(scripted));

  EXPECT_TRUE(asked);
  EXPECT_FALSE(FilterCons::Instance().ExitOkay);
  const std::string ini = ReadBytes(IniPath());
  EXPECT_NE(ini.find("\r\nConsGroupName=NORTH\r\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("\r\nPrintToPrinter=-1\r\n"), std::string::npos) << ini;
}

// Once the program is asked to end, no box, dialog, form or window is shown, and no program
// starts: a box is answered at once as its close box answers it, its text on the standard error.
TEST_F(ProgramEndTest, AfterTheSignalNothingIsShownAndNothingWaits) {
  auto scripted = ui::SetUi(std::make_unique<ui::QtUi>());
  std::vector<std::string> shown;
  QTimer watch;
  watch.callOnTimeout([&] {
    if (QWidget* up = QApplication::activeModalWidget()) {
      shown.push_back(up->metaObject()->className());
      up->close();
    }
  });
  watch.start(0);
  ui::BeginProgramEnd();
  const auto noWindow = [] { return std::ranges::none_of(QApplication::topLevelWidgets(), &QWidget::isVisible); };
  struct Asked {
    const char* name;
    std::function<bool()> answeredAsClosed;
  };
  const Asked asked[] = {
      {"a question", [] { return ui::MsgBox("Save?", ui::Buttons::YesNo) == ui::Answer::No; }},
      {"a message", [] { return ui::MsgBox("The settings could not be saved.") == ui::Answer::OK; }},
      {"an input box", [] { return ui::InputBox("Name?", "", "typed").empty(); }},
      {"a file dialog", [] { return !ui::Ui().File({}).has_value(); }},
      {"a form", [] {
         ui::Form form;
         form.ShowModal();
         return !form.Loaded();
       }},
      {"a long read's window", [&] { return Progress::Instance().Show(), noWindow(); }},
      {"the help", [&] { return help::ShowTopic(QVX_BINARY_DIR "/bin/QVXHelp.chm", 1000), noWindow(); }},
      {"the workbook's viewer", [] {
         shell::RecordingScope started;
         return !shell::OpenWithDefaultProgram("/tmp/Report.XLSX") && started.opened.empty();
       }},
  };
  for (const Asked& a : asked) {
    SCOPED_TRACE(a.name);
    EXPECT_TRUE(a.answeredAsClosed());
  }
  watch.stop();
  Progress::Instance().Unload();
  ui::SetUi(std::move(scripted));
  EXPECT_TRUE(shown.empty()) << ::testing::PrintToString(shown);
}

}  // namespace
}  // namespace qvx::test
