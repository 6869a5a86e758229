// The built program ended by a signal, as Ctrl+C, a closed terminal, a logout or kill end
// it; and a report that runs when the signal comes.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <QApplication>
#include <QTimer>

#include "CoreFixture.h"
#include "app/ProgramEnd.h"
#include "core/Settings.h"
#include "driver/AccessKey.h"
#include "samples/SamplePaths.h"
#include "support/OdbcTestEnv.h"
#include "support/OtherProgram.h"

extern char** environ;

namespace qvx::test {
namespace {

namespace fs = std::filesystem;

// A line of /proc/PID/status holding a signal mask.
uint64_t SignalMask(pid_t pid, const std::string& field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with(field + ":")) return std::stoull(line.substr(field.size() + 1), nullptr, 16);
  return 0;
}
bool Has(uint64_t mask, int sig) { return (mask >> (sig - 1)) & 1; }

// Waits, at most kChildWaitMs, until `done` holds or the program has ended.
template <class Done>
void WaitFor(pid_t pid, Done done) {
  for (int waited = 0; waited < kChildWaitMs && ::kill(pid, 0) == 0 && !done(); waited += 5) ::usleep(5000);
}

// The built program started in its own folder; killed at the end of the test if still there.
class Program {
 public:
  Program(const std::string& folder, const std::map<std::string, std::string>& env, bool intIgnored) {
    std::vector<std::string> vars;
    for (char** e = environ; *e; ++e)
      if (!env.contains(std::string(*e).substr(0, std::string(*e).find('=')))) vars.push_back(*e);
    for (const auto& [k, v] : env) vars.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (auto& v : vars) envp.push_back(v.data());
    envp.push_back(nullptr);
    const std::string log = folder + "/program.log";
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    pid_ = ::fork();
    if (pid_ == 0) {
      // Only async-signal-safe calls between the fork and the program.
      for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, SIG_DFL);
      if (intIgnored) ::signal(SIGINT, SIG_IGN);
      if (::chdir(folder.c_str()) != 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0) ::_exit(126);
      char* argv[] = {const_cast<char*>("./quorvex"), nullptr};
      ::execve(argv[0], argv, envp.data());
      ::_exit(127);
    }
    ::close(out);
  }
  ~Program() {
    if (pid_ > 0) EndChild(pid_, 0);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  pid_t Pid() const { return pid_; }
  // Its status once ended, at most kChildWaitMs from now; nothing when it had to be killed.
  std::optional<int> End() { return EndChild(std::exchange(pid_, -1)); }

 private:
  pid_t pid_ = -1;
};

TEST(ProgramEnd, EachSignalEndsTheProgramAsExitDoesAndTheSameOneTwiceAtOnce) {
  const std::string odbc = UsePrivateOdbcRegistration();
  struct Case {
    const char* name;
    std::vector<int> sent;  // sent one after another, each once the program has taken the one before
    bool intIgnored = false;   // started with SIGINT ignored, as a job in the background
    bool dateQuestion = false; // the short-date picture brings the question at the connection
    bool companyLocked = false;
    bool rewritten = true;
    int endedBy = 0;  // 0: exit status 0
  };
  const Case cases[] = {
      {"INT", {SIGINT}, false, false, false, true, SIGINT},
      {"TERM", {SIGTERM}, false, false, false, true, SIGTERM},
      {"HUP", {SIGHUP}, false, false, false, true, SIGHUP},
      {"INT, then a start script's TERM", {SIGINT, SIGTERM}, false, false, false, true, SIGINT},
      {"INT ignored from the start, then TERM", {SIGINT, SIGTERM}, true, false, false, true, SIGTERM},
      // The start waits for the company file: the second INT comes before the first is acted on.
      {"INT twice", {SIGINT, SIGINT}, false, false, true, false, SIGINT},
      {"TERM at the date-format question", {SIGTERM}, false, true, false, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    fs::copy_file(fs::path(QVX_BINARY_DIR) / "bin" / "quorvex", folder + "/quorvex");
    const std::string company = folder + "/" + samples::kAustralianFile;
    fs::copy_file(samples::SamplePath(samples::kAustralianFile), company);
    fs::create_directories(folder + "/config/quorvex");
    fs::permissions(folder + "/config/quorvex", fs::perms::owner_all);
    std::ofstream(folder + "/config/quorvex/short-date") << (c.dateQuestion ? "d/MM/yyyy\n" : "dd/MM/yyyy\n");
    // A page length no report can use: the start takes the default and says so in a box,
    // which is open when the signal comes.
    const std::map<std::string, std::string> values = {
        {"ODBCMode", "Direct"},     {"ODBCUserID", "Administrator"},          {"ODBCDataFile", company},
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

    Program program(folder,
                    {{"XDG_CONFIG_HOME", folder + "/config"},
                     {"QT_QPA_PLATFORM", "offscreen"},
                     {"LSAN_OPTIONS", "suppressions=" QVX_SOURCE_DIR "/tests/lsan.supp"}},
                    c.intIgnored);
    const pid_t pid = program.Pid();
    WaitFor(pid, [&] { return Has(SignalMask(pid, "SigCgt"), SIGTERM); });
    ASSERT_TRUE(Has(SignalMask(pid, "SigCgt"), SIGTERM)) << CoreTest::ReadBytes(folder + "/program.log");
    for (int sig : c.sent) {
      ASSERT_EQ(::kill(pid, sig), 0);
      WaitFor(pid, [&] { return !Has(SignalMask(pid, "ShdPnd"), sig); });
    }
    const std::optional<int> status = program.End();
    ASSERT_TRUE(status) << "still running " << kChildWaitMs << " ms after the signal";
    if (c.endedBy) {
      EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == c.endedBy) << *status;
    } else {
      EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
    }
    const std::string after = CoreTest::ReadBytes(folder + "/Tallymoor.Ini");
    if (c.rewritten) {
      EXPECT_EQ(std::count(after.begin(), after.end(), '\n'), 52) << after;
      EXPECT_NE(after.find("\r\nPTLines=68\r\n"), std::string::npos);
      EXPECT_NE(after.find("\r\nODBCDataFile=" + company + "\r\n"), std::string::npos);
    } else {
      EXPECT_EQ(after, ini);
    }
  }
}

// A report that runs when the signal comes stops at its next look at the window events,
// its output abandoned, and the program then ends as Exit ends it.
class ProgramEndTest : public CoreTest {};

TEST_F(ProgramEndTest, ASignalStopsTheRunningReportAndTheSettingsAreWritten) {
  Main();
  auto& window = *MainF::Instance().Window();
  DataSource::Instance().ODBCDataFile = Path("Clearwater.MYO");
  Conn.ODBCConnected = true;
  const MainF::ReportEntries saved = MainF::Instance().Entries;
  auto scripted = ui::SetUi(std::make_unique<ui::QtUi>());
  EndOnSignals();
  using Clock = std::chrono::steady_clock;
  bool entered = false, ranOut = false;
  size_t linesAtStop = 0;
  MainF::Instance().Entries.BudgetComparison = [&](std::string&) {
    entered = true;
    // As the report stops, the settings are already written, should the display go first.
    struct Stop {
      size_t& lines;
      std::string ini;
      ~Stop() { lines = sys::ReadTextLines(ini, 1000).size(); }
    } stop{linesAtStop, IniPath()};
    ::raise(SIGTERM);
    for (const auto end = Clock::now() + std::chrono::milliseconds(kChildWaitMs); Clock::now() < end;) ui::DoEvents();
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

  EXPECT_TRUE(entered);
  EXPECT_FALSE(ranOut);
  EXPECT_EQ(linesAtStop, 52u);
  EXPECT_FALSE(G.ReportRunning);
  EXPECT_FALSE(window.Loaded());
  EXPECT_EQ(sys::ReadTextLines(IniPath(), 1000).size(), 52u);
  EXPECT_EQ(sys::EndSignal(), SIGTERM);
}

}  // namespace
}  // namespace qvx::test
