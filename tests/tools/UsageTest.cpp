// Every program and script a user runs answers --help and -h, and refuses an argument it
// does not take, without making anything.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace qvx::test {
namespace {

TEST(Usage, EveryProgramAnswersHelpAndRefusesAnUnknownArgumentMakingNothing) {
  const std::string quorvex = QVX_BINARY_DIR "/bin/quorvex", setup = QVX_SOURCE_DIR "/scripts/setup.sh",
                    prepare = QVX_BINARY_DIR "/tools/qvx-prepare-program-folder", ci = QVX_SOURCE_DIR "/.ci/run",
                    registerOdbc = QVX_SOURCE_DIR "/scripts/register-odbc.sh";
  const std::string programs[] = {quorvex, QVX_REPORT_RUN, QVX_BINARY_DIR "/bin/qvx-make-samples", prepare,
                                  QVX_SOURCE_DIR "/scripts/run.sh", registerOdbc,
                                  QVX_SOURCE_DIR "/scripts/make-report-pictures.sh",
                                  QVX_SOURCE_DIR "/scripts/check-vnc-screen.sh", setup, ci};
  struct Call {
    std::vector<std::string> args;
    bool asked;           // the usage, on the standard output with status 0; else on the standard error with 2
    std::string mistake;  // what a refusal names, where that is the same for every program
  };
  // Asked of every program alike; the usage is asked for wherever --help or -h stands.
  const Call everyone[] = {{{"--help"}, true, ""},
                           {{"-h"}, true, ""},
                           {{"A", "--help"}, true, ""},
                           {{"--colour", "-h"}, true, ""},
                           {{"--colour"}, false, "unknown argument --colour"},
                           {{"-x"}, false, "unknown argument -x"}};
  // Asked of one: an option after the build's folder, a second folder to prepare, the
  // usage after an option Qt takes as its own, an argument to what takes none.
  const std::pair<std::string, Call> one[] = {{registerOdbc, {{QVX_BINARY_DIR, "-x"}, false, "unknown argument -x"}},
                                              {prepare, {{"A", "B"}, false, "one folder at most"}},
                                              {quorvex, {{"-platform", "offscreen", "--help"}, true, ""}},
                                              {setup, {{"A"}, false, "unknown argument A"}},
                                              {ci, {{"A"}, false, "unknown argument A"}}};
  std::vector<std::pair<std::string, Call>> calls(std::begin(one), std::end(one));
  for (const std::string& program : programs)
    for (const Call& call : everyone) calls.emplace_back(program, call);

  // What a script that took its arguments wrongly would go on to run fails at once:
  // nothing is built or installed for real.
  QTemporaryDir standIns;
  for (const char* name : {"make", "apt-get", "sudo"}) {
    QFile f(standIns.filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\nexit 97\n");
    f.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
  }
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("PATH", standIns.path() + ":" + env.value("PATH"));
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("LSAN_OPTIONS", "suppressions=" QVX_SOURCE_DIR "/tests/lsan.supp");
  for (const auto& [program, call] : calls) {
    QStringList args;
    std::string trace = program;
    for (const std::string& arg : call.args) {
      args << QString::fromStdString(arg);
      trace += " " + arg;
    }
    SCOPED_TRACE(trace);
    QTemporaryDir here;
    QProcess p;
    p.setWorkingDirectory(here.path());
    p.setProcessEnvironment(env);
    p.start(QString::fromStdString(program), args);
    ASSERT_TRUE(p.waitForFinished(60000));
    const std::string out = p.readAllStandardOutput().toStdString(), err = p.readAllStandardError().toStdString();
    EXPECT_EQ(p.exitCode(), call.asked ? 0 : 2) << err;
    EXPECT_NE((call.asked ? out : err).find("usage: "), std::string::npos) << out << err;
    EXPECT_EQ((call.asked ? err : out).find("usage: "), std::string::npos) << out << err;
    if (!call.mistake.empty()) {
      EXPECT_NE(err.find(": " + call.mistake + "\n"), std::string::npos) << err;
    }
    EXPECT_TRUE(std::filesystem::is_empty(here.path().toStdString()));
  }
}

}  // namespace
}  // namespace qvx::test
