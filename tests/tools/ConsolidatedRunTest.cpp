// The group report from the runner over the group folder users get: the folder named by
// --folder read headless, with no message of its own for the whole folder or either of
// its groups, and the user's own company file connected again at the end.
#include <gtest/gtest.h>

#include <regex>
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
  for (const char* group : {"", "NORTH", "SOUTH", "EAST"}) {
    SCOPED_TRACE(group);
    QProcess p;
    p.start(QVX_REPORT_RUN,
            {"--file", QString::fromStdString(samples::SamplePath(samples::kAustralianFile)), "--report", "CONPL",
             "--from", "07/2025", "--to", "06/2026", "--folder",
             QString::fromStdString(samples::SamplePath(samples::kGroupFolder)), "--option",
             QString("ConsGroupName=") + group, "--option", "ShowHeaders=True", "--option", "PrintLevel=3", "--out",
             out.filePath(QString("group%1.xlsx").arg(group))});
    ASSERT_TRUE(p.waitForFinished(120000));
    const std::string err = p.readAllStandardError().toStdString();
    const std::string report = p.readAllStandardOutput().toStdString();
    EXPECT_NE(report.find("REPORT: "), std::string::npos) << err;
    EXPECT_EQ(err.find("the report stopped"), std::string::npos) << err;
    EXPECT_EQ(err.find("has no answer"), std::string::npos) << err;
    // Only the output's own boxes, and for a group with no file the group message.
    const bool none = std::string(group) == "EAST";
    const std::regex box("^MESSAGE \"([^\"]*)\":", std::regex::multiline);
    size_t others = 0;
    for (auto it = std::sregex_iterator(err.begin(), err.end(), box); it != std::sregex_iterator(); ++it) {
      const std::string title = (*it)[1];
      if (title != "Output File" && title != "Data File Created") ++others;
    }
    EXPECT_EQ(others, none ? 1u : 0u) << err;
    EXPECT_EQ(Count(err, "No matching files found for Group = 'EAST'"), none ? 1u : 0u) << err;
  }
}

}  // namespace
}  // namespace qvx::test
