// The built program ended by a signal, as Ctrl+C, a closed terminal, a logout or kill end
// it; and a report that runs when the signal comes.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>

#include <QApplication>
#include <QTimer>

#include "CoreFixture.h"
#include "app/ProgramEnd.h"
#include "core/Settings.h"
#include "driver/AccessKey.h"
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

// Waits, at most kChildWaitMs, until `done` holds or the process has ended.
void WaitFor(pid_t pid, const std::function<bool()>& done) {
  for (int waited = 0; waited < kChildWaitMs && ::kill(pid, 0) == 0 && !done(); waited += 5) ::usleep(5000);
}

TEST(ProgramEnd, EachSignalEndsTheProgramAsExitDoesAndTheSameOneTwiceAtOnce) {
  UsePrivateOdbcRegistration();
  struct Case {
    const char* name;
    std::vector<int> sent;     // one after another, each once the program has taken the one before
    bool intIgnored;           // started with SIGINT ignored, as a job in the background
    bool dateQuestion;         // the short-date picture brings the question at the connection
    bool companyLocked;        // the start waits for the company file: nothing is written
    int endedBy;               // 0: exit status 0
  };
  const Case cases[] = {
      {"INT", {SIGINT}, false, false, false, SIGINT},
      {"TERM", {SIGTERM}, false, false, false, SIGTERM},
      {"HUP", {SIGHUP}, false, false, false, SIGHUP},
      {"INT, then a start script's TERM", {SIGINT, SIGTERM}, false, false, false, SIGINT},
      {"INT ignored from the start, then TERM", {SIGINT, SIGTERM}, true, false, false, SIGTERM},
      {"INT twice while the start waits", {SIGINT, SIGINT}, false, false, true, SIGINT},
      {"TERM at the date-format question", {SIGTERM}, false, true, false, 0},
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
    // which is open when the signal comes.
    const std::map<std::string, std::string> values = {
        {"ODBCMode", "Direct"}, {"ODBCUserID", "Administrator"}, {"ODBCDataFile", company},
        {"ODBCProduct", DriverLibraryPath()}, {"ODBCDriver", driver::kDirectDriverName},
        {"PTLines", c.dateQuestion ? "68" : "5"}};
    std::string ini;
    for (const std::string& line : DefaultIniLines()) {
      const auto it = values.find(line.substr(0, line.find('=')));
      ini += (it == values.end() ? line : it->first + "=" + it->second) + "\r\n";
    }
    std::ofstream(folder + "/Tallymoor.Ini", std::ios::binary) << ini;
    std::optional<Writer> lock;
    if (c.companyLocked) lock.emplace(company, "BEGIN EXCLUSIVE");

    const std::string start = "cd '" + folder + "' && " + (c.intIgnored ? "trap '' INT; " : "") +
                              "XDG_CONFIG_HOME=\"$PWD/config\" QT_QPA_PLATFORM=offscreen "
                              "LSAN_OPTIONS=suppressions=" QVX_SOURCE_DIR "/tests/lsan.supp exec ./quorvex >log 2>&1";
    const pid_t pid = ::fork();
    if (pid == 0) {
      for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, SIG_DFL);
      ::execl("/bin/sh", "sh", "-c", start.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ASSERT_GT(pid, 0);
    WaitFor(pid, [&] { return InMask(pid, "SigCgt", SIGTERM); });
    for (int sig : c.sent) {
      ::kill(pid, sig);
      WaitFor(pid, [&] { return !InMask(pid, "ShdPnd", sig); });
    }
    const std::optional<int> status = EndChild(pid);  // killed after kChildWaitMs
    ASSERT_TRUE(status) << "still running " << kChildWaitMs << " ms after the signal; "
                        << CoreTest::ReadBytes(folder + "/log");
    if (c.endedBy) {
      EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == c.endedBy) << *status;
    } else {
      EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
    }
    const std::string after = CoreTest::ReadBytes(folder + "/Tallymoor.Ini");
    if (!c.companyLocked && !c.dateQuestion) {
      EXPECT_EQ(std::count(after.begin(), after.end(), '\n'), 52);
      EXPECT_NE(after.find("\r\nPTLines=68\r\n"), std::string::npos);
      EXPECT_NE(after.find("\r\nODBCDataFile=" + company + "\r\n"), std::string::npos);
    } else {
      EXPECT_TRUE(after == ini) << "rewritten";
    }
  }
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
  bool ranOut = false;
  size_t linesAtStop = 0;
  MainF::Instance().Entries.BudgetComparison = [&](std::string&) {
    // As the report stops, the settings are already written, should the display go first.
    struct Stop {
      size_t& lines;
      std::string ini;
      ~Stop() { lines = sys::ReadTextLines(ini, 1000).size(); }
    } stop{linesAtStop, IniPath()};
    ::raise(SIGTERM);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kChildWaitMs);
    while (std::chrono::steady_clock::now() < end) ui::DoEvents();
    ranOut = true;
  };
  QTimer::singleShot(0, &window, [&] { window.RPTSBC_Click(); });
  QTimer bound;
  bound.callOnTimeout([] { QCoreApplication::quit(); });
  bound.start(2 * kChildWaitMs);
  QApplication::exec();
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, SIG_DFL);
  ui::SetUi(std::move(scripted));
  MainF::Instance().Entries = saved;

  EXPECT_FALSE(ranOut);
  EXPECT_EQ(linesAtStop, 52u);
  EXPECT_FALSE(G.ReportRunning);
  EXPECT_FALSE(window.Loaded());
  EXPECT_EQ(sys::ReadTextLines(IniPath(), 1000).size(), 52u);
}

}  // namespace
}  // namespace qvx::test
