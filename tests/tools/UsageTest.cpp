// Every program and script a user runs answers --help and -h, and refuses an argument it
// does not take, without making anything.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace qvx::test {
namespace {

TEST(Usage, EveryProgramAnswersHelpAndRefusesAnUnknownArgumentMakingNothing) {
  const std::string quorvex = QVX_BINARY_DIR "/bin/quorvex", ci = QVX_SOURCE_DIR "/.ci/run",
                    setup = QVX_SOURCE_DIR "/scripts/setup.sh", prepare = QVX_BINARY_DIR "/tools/qvx-prepare-program-folder",
                    registerOdbc = QVX_SOURCE_DIR "/scripts/register-odbc.sh";
  const std::string programs[] = {quorvex, QVX_REPORT_RUN, QVX_BINARY_DIR "/bin/qvx-make-samples", prepare,
      QVX_SOURCE_DIR "/scripts/run.sh", registerOdbc, QVX_SOURCE_DIR "/scripts/make-report-pictures.sh",
      QVX_SOURCE_DIR "/scripts/check-vnc-screen.sh", setup, ci};
  using Args = std::vector<std::string>;
  // Asked of one program: an option after the build's folder, a second folder to prepare,
  // the usage after an option Qt takes as its own, an argument to what takes none.
  std::vector<std::pair<std::string, Args>> calls = {{registerOdbc, {QVX_BINARY_DIR, "-x"}}, {prepare, {"A", "B"}},
      {quorvex, {"-platform", "offscreen", "--help"}}, {setup, {"A"}}, {ci, {"A"}}};
  // And of every program; the usage is asked for wherever --help or -h stands.
  for (const std::string& program : programs)
    for (const Args& args : {Args{"--help"}, {"-h"}, {"A", "--help"}, {"--colour", "-h"}, {"--colour"}, {"-x"}})
      calls.emplace_back(program, args);
  // What a script that took its arguments wrongly would go on to run fails at once.
  QTemporaryDir standIns;
  for (const char* name : {"make", "apt-get", "sudo"}) QFile::link("/bin/false", standIns.filePath(name));
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("PATH", standIns.path() + ":" + env.value("PATH"));
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("LSAN_OPTIONS", "suppressions=" QVX_SOURCE_DIR "/tests/lsan.supp");
  for (const auto& [program, args] : calls) {
    QStringList list;
    for (const std::string& arg : args) list << QString::fromStdString(arg);
    SCOPED_TRACE(program + " " + list.join(' ').toStdString());
    const bool asked = std::ranges::any_of(args, [](const std::string& arg) { return arg == "--help" || arg == "-h"; });
    QTemporaryDir here;
    QProcess p;
    p.setWorkingDirectory(here.path());
    p.setProcessEnvironment(env);
    p.start(QString::fromStdString(program), list);
    ASSERT_TRUE(p.waitForFinished(60000));
    const std::string out = p.readAllStandardOutput().toStdString(), err = p.readAllStandardError().toStdString();
    EXPECT_EQ(p.exitCode(), asked ? 0 : 2) << err;
    EXPECT_NE((asked ? out : err).find("usage: "), std::string::npos) << out << err;
    EXPECT_EQ((asked ? err : out).find("usage: "), std::string::npos) << out << err;
    // An option refused is named.
    EXPECT_TRUE(asked || args.back()[0] != '-' || err.find(": unknown argument " + args.back() + "\n") != std::string::npos)
        << err;
    EXPECT_TRUE(std::filesystem::is_empty(here.path().toStdString()));
  }
}

}  // namespace
}  // namespace qvx::test
