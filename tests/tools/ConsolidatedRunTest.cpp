// The group report from the runner: the folder named by --folder read headless, its
// refusals told, and the user's own company file connected again at the end.
#include <gtest/gtest.h>

#include <string>

#include <QProcess>
#include <QTemporaryDir>

#include "samples/SamplePaths.h"
#include "support/OdbcTestEnv.h"

namespace qvx::test {
namespace {

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

TEST(ConsolidatedRun, ReadsTheGroupFolderFromTheRunner) {
  UsePrivateOdbcRegistration();
  QTemporaryDir out;
  ASSERT_TRUE(out.isValid());
  for (const char* group : {"", "SOUTH", "EAST"}) {
    SCOPED_TRACE(group);
    QProcess p;
    p.start(QVX_REPORT_RUN,
            {"--file", QString::fromStdString(samples::SamplePath(samples::kAustralianFile)), "--report", "CONPL",
             "--from", "07/2025", "--to", "06/2026", "--folder",
             QString::fromStdString(samples::SamplePath(samples::kGroupFolder)), "--option",
             QString("ConsGroupName=") + group, "--option", "ShowHeaders=True", "--option", "PrintLevel=3", "--out",
             out.filePath("group.xlsx")});
    ASSERT_TRUE(p.waitForFinished(120000));
    const std::string err = p.readAllStandardError().toStdString();
    const std::string report = p.readAllStandardOutput().toStdString();
    EXPECT_NE(report.find("REPORT: "), std::string::npos) << err;
    EXPECT_EQ(err.find("the report stopped"), std::string::npos) << err;
    EXPECT_EQ(err.find("has no answer"), std::string::npos) << err;
    // Locked.MYO refuses the user's credentials and Notes.MYO is no company file; the
    // user's own file connects again at the end without a word.
    EXPECT_EQ(Count(err, "Sorry, error connecting to MYOB database."), 2u) << err;
    const bool none = std::string(group) == "EAST";
    EXPECT_EQ(Count(err, "No matching files found for Group = 'EAST'"), none ? 1u : 0u) << err;
    EXPECT_EQ(Count(err, "No Percentage found for Consolidation"), 0u) << err;
    EXPECT_EQ(Count(err, "Maximum data files"), 0u) << err;
  }
}

}  // namespace
}  // namespace qvx::test
