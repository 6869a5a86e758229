// Golden outputs of the forecast on the Australian sample in its three column modes:
// the printed pages (level 4, account numbers) and the workbook (level 3).
#include <ostream>

#include "ForecastFixture.h"
#include "platform/excel/Excel.h"
#include "support/Golden.h"

namespace qvx::test {
namespace {

struct GoldenCase {
  const char* mode;
  const char* from;
  const char* to;
};
// Named in test listings by its name rather than its bytes, which change from build to build.
void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.mode; }

class ForecastGoldenTest : public ForecastTest, public ::testing::WithParamInterface<GoldenCase> {};

TEST_P(ForecastGoldenTest, PrintedPages) {
  const GoldenCase& c = GetParam();
  Connect();
  RunReport(c.from, c.to, {.mode = c.mode, .numbers = true});
  EXPECT_TRUE(ui_->Messages().empty());
  ExpectGolden(std::string("budget_forecast_") + c.mode + "_print", RenderPrinted(printer::Environment().calls));
}

TEST_P(ForecastGoldenTest, Workbook) {
  const GoldenCase& c = GetParam();
  Connect();
  BudgetForecast f;
  f.ResetTables();
  G.ReportFromDate = c.from;
  G.ReportToDate = c.to;
  G.FinYearStartDate = "01/07/2025";
  G.FinYearEndDate = "30/06/2026";
  ASSERT_TRUE(f.CheckMonthLimit());
  f.SetWindow();
  SetReportPeriod();
  f.ColumnMode = c.mode;
  G.PrintLevel = 3;
  G.PrintToExcel = kTrue;
  G.PrintToPrinter = kFalse;
  G.OutputType = "EXCEL";
  ASSERT_TRUE(f.StartOutput());
  ASSERT_TRUE(f.ReadData());
  f.DrawLines(f.BuildLines());
  ASSERT_TRUE(G.xlBook);
  ExpectGolden(std::string("budget_forecast_") + c.mode + "_xlsx", RenderWorkbook(*G.xlBook));
  G.PrintToExcel = kFalse;
  EndReportOutput();
}

INSTANTIATE_TEST_SUITE_P(Modes, ForecastGoldenTest,
                         ::testing::Values(GoldenCase{"A", "01/11/2025", "28/02/2026"},
                                           GoldenCase{"B", "01/01/2026", "30/06/2026"},
                                           GoldenCase{"AB", "01/07/2025", "31/12/2025"}),
                         [](const auto& info) { return std::string(info.param.mode); });

}  // namespace
}  // namespace qvx::test
