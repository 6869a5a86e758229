// The budget comparison through the report runner, as a program: every option of its
// Budget Options dialog given on the command line, printed and to a workbook.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <QProcess>
#include <QTemporaryDir>

#include "samples/SamplePaths.h"
#include "support/OdbcTestEnv.h"
#include "tests/platform/printer/PdfText.h"

namespace qvx::test {
namespace {

struct RunResult {
  int status = -1;
  std::string out, err;
};

RunResult RunComparison(const std::string& file, const std::string& out, const std::vector<std::string>& options) {
  QStringList args = {"--file", QString::fromStdString(file), "--report", "BGTCMP", "--from", "07/2025", "--to",
                      "12/2025", "--out", QString::fromStdString(out)};
  for (const auto& o : options) args << "--option" << QString::fromStdString(o);
  QProcess p;
  p.start(QVX_REPORT_RUN, args);
  RunResult r;
  if (!p.waitForFinished(120000)) return r;
  r.status = p.exitCode();
  r.out = p.readAllStandardOutput().toStdString();
  r.err = p.readAllStandardError().toStdString();
  return r;
}

TEST(BudgetComparisonRun, EveryOptionOnTheCommandLine) {
  UsePrivateOdbcRegistration();
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  const std::string file = folder + "/AUSample.MYO";
  std::filesystem::copy_file(samples::SamplePath(samples::kAustralianFile), file);
  struct Case {
    const char* out;
    std::vector<std::string> options;
    const char* shown;  // a text the output must hold
  };
  const Case cases[] = {
      {"standard.pdf", {}, "Surplus/Deficit"},
      {"annual.xlsx",
       {"BudgetColDiff=1", "VarianceCol=B", "IncludeGrandTots=True", "PrintAccountNumbers=True", "PrintLevel=3"},
       "Grand Totals"},
      {"cash.pdf",
       {"CashBasis=True", "IncludeJournals=False", "ShowLastYrVar=True", "UsePageBreaks=True",
        "PageBreakAccts=6-0000", "PrintLevel=2"},
       "Comparison with Last Year - Cash Basis"},
      {"lastyear.pdf", {"ShowLastYrYTD=True", "ExcludeMonths=True", "VarianceCol=PC", "BudgetColDiff=2"}, "12 Months"},
      {"columns.pdf", {"ShowLastYrCol=True", "ShowLastYrMth=False", "BudgetColDiff=4"}, "Lyr Actual"},
      {"month.pdf", {"ShowLastYrMth=True", "ShowVarLastYr=True", "BudgetColDiff=3"}, "Remaining"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    const std::string out = folder + "/" + c.out;
    const RunResult r = RunComparison(file, out, c.options);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("REPORT: "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("REPORT: 0 rows"), std::string::npos) << r.out;
    ASSERT_TRUE(std::filesystem::exists(out));
    const std::string text =
        out.ends_with(".pdf")
            ? PdfText(out)
            : CommandOutput("/usr/bin/python3 -c \"import openpyxl,sys; ws=openpyxl.load_workbook(sys.argv[1]).active; "
                            "print('\\n'.join(str(v) for r in ws.iter_rows(values_only=True) for v in r if v))\" '" +
                            out + "'");
    EXPECT_NE(text.find(c.shown), std::string::npos) << text.substr(0, 2000);
  }
  // A value the dialog has no place for is refused before the report runs.
  const RunResult bad = RunComparison(file, folder + "/bad.pdf", {"VarianceCol=X"});
  EXPECT_EQ(bad.status, 2) << bad.err;
}

// Company files written on Windows hold names in its code page: "Caf\xE9 Sales" prints and
// opens as "Café Sales", and a character no workbook may hold (U+FFFF) is left out of
// the workbook rather than spoiling it.
TEST(BudgetComparisonRun, NamesInTheWindowsCodePagePrintAndOpenAsUtf8) {
  UsePrivateOdbcRegistration();
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  const std::string file = folder + "/AUSample.MYO";
  std::filesystem::copy_file(samples::SamplePath(samples::kAustralianFile), file);
  CommandOutput("/usr/bin/python3 -c \"import sqlite3,sys; c=sqlite3.connect(sys.argv[1]); "
                "c.execute(\\\"UPDATE Accounts SET AccountName=CAST(X'436166E92053616C6573' AS TEXT) "
                "WHERE AccountNumber='4-1100'\\\"); "
                "c.execute(\\\"UPDATE Accounts SET AccountName=CAST(X'50726F64756374EFBFBF2053616C6573' AS TEXT) "
                "WHERE AccountNumber='4-1200'\\\"); c.commit()\" '" + file + "'");
  const RunResult pdf = RunComparison(file, folder + "/names.pdf", {});
  ASSERT_EQ(pdf.status, 0) << pdf.err;
  EXPECT_NE(PdfText(folder + "/names.pdf").find("Café Sales"), std::string::npos);
  const RunResult book = RunComparison(file, folder + "/names.xlsx", {});
  ASSERT_EQ(book.status, 0) << book.err;
  const std::string cells = CommandOutput(
      "/usr/bin/python3 -c \"import openpyxl,sys; ws=openpyxl.load_workbook(sys.argv[1]).active; "
      "print('\\n'.join(str(v) for r in ws.iter_rows(values_only=True) for v in r if v))\" '" + folder +
      "/names.xlsx'");
  EXPECT_NE(cells.find("Café Sales\n"), std::string::npos) << cells;
  EXPECT_NE(cells.find("Product Sales\n"), std::string::npos) << cells;
}

}  // namespace
}  // namespace qvx::test
