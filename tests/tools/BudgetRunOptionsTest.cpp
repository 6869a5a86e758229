// The budget reports in the report runner: options named as their dialogs' fields reach
// the reports through the dialogs (the level list and the column choice included); a
// wrong value or a name of the other report's dialog is refused. Each report takes
// part once its registration is built into the runner.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "samples/SamplePaths.h"
#include "support/OdbcTestEnv.h"
#include "tests/platform/printer/PdfText.h"

namespace qvx::test {
namespace {

struct RunResult {
  int status = -1;
  std::string err;
};

RunResult RunReport(const std::string& report, const std::vector<std::string>& options, const std::string& out) {
  QStringList args{"--file", QString::fromStdString(samples::SamplePath(samples::kAustralianFile)), "--report",
                   QString::fromStdString(report), "--from", "07/2025", "--to", "09/2025", "--out",
                   QString::fromStdString(out)};
  for (const auto& o : options) args << "--option" << QString::fromStdString(o);
  QProcess p;
  p.start(QVX_REPORT_RUN, args);
  if (!p.waitForFinished(120000)) return {};
  return {p.exitCode(), p.readAllStandardError().toStdString()};
}

class BudgetRunOptions : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { UsePrivateOdbcRegistration(); }
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  std::string Out(const std::string& name) const { return dir.path().toStdString() + "/" + name; }

  // Each option alone is refused with a message naming it.
  void ExpectRefused(const std::string& report, std::initializer_list<const char*> options) {
    for (const char* option : options) {
      const RunResult r = RunReport(report, {option}, Out("refused.pdf"));
      EXPECT_EQ(r.status, 2) << report << " " << option << "\n" << r.err;
      const std::string name = std::string(option).substr(0, std::string(option).find('='));
      EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
    }
  }
  QTemporaryDir dir;
};

TEST_F(BudgetRunOptions, ComparisonDialogFieldsReachTheReport) {
  const std::string shallow = Out("level2.pdf");
  const std::string deep = Out("level3.pdf");

  // The level list opens on level 4 whatever was chosen before: the runner's answer
  // must choose the level asked for.
  const std::vector<std::string> all = {
      "BudgetColDiff=1",   "ExcludeMonths=False", "IncludeGrandTots=True", "IncludeJournals=True",
      "ShowLastYrVar=False", "ShowLastYrCol=False", "ShowLastYrMth=False", "ShowVarLastYr=False",
      "ShowLastYrYTD=False", "VarianceCol=PC",    "CashBasis=False",     "UsePageBreaks=True",
      "PageBreakAccts=6-0000", "PrintLevel=2"};
  RunResult r = RunReport("BGTCMP", all, shallow);
  if (r.status == 3) GTEST_SKIP() << "the budget comparison is not built into the runner";
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunReport("BGTCMP", {"PrintLevel=3", "PrintAccountNumbers=True"}, deep);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string level2 = PdfText(shallow), level3 = PdfText(deep);
  EXPECT_NE(level2.find("Sales"), std::string::npos) << level2;
  EXPECT_EQ(level2.find("Service Sales"), std::string::npos) << level2;
  EXPECT_EQ(level2.find("4-1000"), std::string::npos) << level2;
  EXPECT_NE(level3.find("Service Sales"), std::string::npos) << level3;
  EXPECT_NE(level3.find("4-1100"), std::string::npos) << level3;

  ExpectRefused("BGTCMP", {"VarianceCol=X", "BudgetColDiff=5", "ShowLastYrYTD=perhaps", "ColumnType=A"});
}

TEST_F(BudgetRunOptions, ForecastDialogFieldsReachTheReport) {
  RunResult r = RunReport("BGTFCT", {"ColumnType=B", "CashBasis=True", "PrintAccountNumbers=True", "PrintLevel=3"},
                          Out("budget.pdf"));
  if (r.status == 3) GTEST_SKIP() << "the budget forecast is not built into the runner";
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunReport("BGTFCT", {"ColumnType=A", "PrintLevel=2"}, Out("actual.pdf"));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string budget = PdfText(Out("budget.pdf")), actual = PdfText(Out("actual.pdf"));
  EXPECT_NE(budget.find("(Bgt)"), std::string::npos) << budget;
  EXPECT_EQ(budget.find("(Act)"), std::string::npos) << budget;
  EXPECT_NE(budget.find("4-1100"), std::string::npos) << budget;
  EXPECT_NE(budget.find("Service Sales"), std::string::npos) << budget;
  EXPECT_NE(actual.find("(Act)"), std::string::npos) << actual;
  EXPECT_EQ(actual.find("(Bgt)"), std::string::npos) << actual;
  EXPECT_EQ(actual.find("Service Sales"), std::string::npos) << actual;
  EXPECT_EQ(actual.find("4-1"), std::string::npos) << actual;
  ExpectRefused("BGTFCT", {"ColumnType=BA", "VarianceCol=V", "PrintLevel=0", "CashBasis=2"});
}

}  // namespace
}  // namespace qvx::test
