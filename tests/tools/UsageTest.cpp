// Every program and script a user runs answers --help and -h, and refuses an argument it
// does not take, without making anything.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <QProcess>
#include <QTemporaryDir>

namespace qvx::test {
namespace {

TEST(Usage, EveryProgramAnswersHelpAndRefusesAnUnknownArgumentMakingNothing) {
  const std::string programs[] = {
      QVX_BINARY_DIR "/bin/quorvex",          QVX_REPORT_RUN,
      QVX_BINARY_DIR "/bin/qvx-make-samples", QVX_BINARY_DIR "/tools/qvx-prepare-program-folder",
      QVX_SOURCE_DIR "/scripts/run.sh",       QVX_SOURCE_DIR "/scripts/register-odbc.sh",
      QVX_SOURCE_DIR "/scripts/make-report-pictures.sh", QVX_SOURCE_DIR "/scripts/check-vnc-screen.sh"};
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("LSAN_OPTIONS", "suppressions=" QVX_SOURCE_DIR "/tests/lsan.supp");
  for (const std::string& program : programs) {
    for (const std::string arg : {"--help", "-h", "--colour"}) {
      SCOPED_TRACE(program + " " + arg);
      const bool asked = arg != "--colour";
      QTemporaryDir here;
      QProcess p;
      p.setWorkingDirectory(here.path());
      p.setProcessEnvironment(env);
      p.start(QString::fromStdString(program), {QString::fromStdString(arg)});
      ASSERT_TRUE(p.waitForFinished(60000));
      const std::string out = p.readAllStandardOutput().toStdString(), err = p.readAllStandardError().toStdString();
      EXPECT_EQ(p.exitCode(), asked ? 0 : 2) << err;
      EXPECT_NE((asked ? out : err).find("usage: "), std::string::npos) << out << err;
      EXPECT_EQ((asked ? err : out).find("usage: "), std::string::npos) << out << err;
      EXPECT_EQ(err.find("unknown argument --colour\n") != std::string::npos, !asked) << err;
      EXPECT_TRUE(std::filesystem::is_empty(here.path().toStdString()));
    }
  }
}

}  // namespace
}  // namespace qvx::test
