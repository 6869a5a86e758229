// Golden outputs of the comparison on the Australian sample, July to December (or to
// August, the one month whose name is six letters long): printed pages and workbook cells
// for a handful of layouts. Each file was read once as a reader
// of the report reads it (captions over their columns, totals under their lines, nothing
// cut); QVX_UPDATE_GOLDEN=1 rewrites them after a deliberate change.
#include <chrono>
#include <ctime>

#include "ComparisonFixture.h"
#include "core/ReportOutput.h"
#include "platform/sys/Clock.h"
#include "support/Golden.h"

namespace qvx::test {
namespace {

class ComparisonGolden : public ComparisonTest {
 protected:
  void SetUp() override {
    ComparisonTest::SetUp();
    std::tm tm{};
    tm.tm_year = 126, tm.tm_mon = 0, tm.tm_mday = 15, tm.tm_hour = 9, tm.tm_min = 30, tm.tm_isdst = -1;
    sys::SetNow(std::chrono::system_clock::from_time_t(std::mktime(&tm)));
    OpenSample(samples::kAustralianFile);
    SetPeriod("01/07/2025", "31/12/2025", "01/07/2025", "30/06/2026");
  }
  void TearDown() override {
    sys::SetNow(std::nullopt);
    ComparisonTest::TearDown();
  }
  void ChoosePrinter() {
    ui_->QueueForm([](ui::Form& f) {
      auto& form = dynamic_cast<SelectPrinterForm&>(f);
      form.lstPrinters.setCurrentRow(0);
      form.cmdOK_Click();
    });
  }
};

struct Layout {
  const char* name;
  std::function<void(ComparisonOptions&)> set;
  const char* periodEnd = "31/12/2025";
};

ComparisonOptions With(const std::function<void(ComparisonOptions&)>& set) {
  ComparisonOptions o;
  set(o);
  return o;
}

TEST_F(ComparisonGolden, PrintedLayouts) {
  const Layout layouts[] = {
      {"budget_comparison_print_standard",
       [](ComparisonOptions& o) {
         o.PrintAccountNumbers = true;
         o.AnnualMode = 1;
         o.IncludeGrandTots = true;
       }},
      {"budget_comparison_print_portrait_percent",
       [](ComparisonOptions& o) {
         o.ShowMonths = false;
         o.VarDollars = false, o.VarPercent = true;
         o.AnnualMode = 2;
         o.PrintLevel = 3;
       }},
      {"budget_comparison_print_both_last_year_ytd",
       [](ComparisonOptions& o) {
         o.ShowMonths = false;
         o.VarDollars = false, o.VarBoth = true;
         o.AnnualMode = 1;
         o.LYYTDCols = true;
         o.PrintLevel = 2;
         o.IncludeGrandTots = true;
         o.UsePageBreaks = true;
         o.PageBreakAccts = "6-0000";
       }},
      {"budget_comparison_print_last_year_columns_cash",
       [](ComparisonOptions& o) {
         o.CashBasis = true;
         o.LYColumns = true;
         o.VarDollars = false, o.VarPercent = true;  // the last-year column keeps its figure
         o.AnnualMode = 4;
         o.PrintAccountNumbers = true;
       }},
      // Last year in place of the budget, beside each month's and the period's actuals.
      {"budget_comparison_print_last_year_variance_august",
       [](ComparisonOptions& o) {
         o.LYVariance = true;
         o.PrintLevel = 2;
       },
       "31/08/2025"},
  };
  for (const Layout& l : layouts) {
    SCOPED_TRACE(l.name);
    SetPeriod("01/07/2025", l.periodEnd, "01/07/2025", "30/06/2026");
    printer::Current().KillDoc();
    printer::Environment().calls.clear();
    BudgetComparison r;
    r.Opt = With(l.set);
    ChoosePrinter();
    ASSERT_TRUE(r.Produce());
    ExpectGolden(l.name, RenderPrinted(printer::Environment().calls));
  }
}

TEST_F(ComparisonGolden, WorkbookLayouts) {
  const Layout layouts[] = {
      {"budget_comparison_xlsx_standard",
       [](ComparisonOptions& o) {
         o.PrintAccountNumbers = true;
         o.AnnualMode = 1;
         o.IncludeGrandTots = true;
       }},
      {"budget_comparison_xlsx_last_year_variance",
       [](ComparisonOptions& o) {
         o.LYVariance = true;
         o.VarDollars = false, o.VarBoth = true;
         o.AnnualMode = 4;
         o.LYMonth = false;
         o.PrintLevel = 3;
         o.IncludeGrandTots = true;
       }},
  };
  for (const Layout& l : layouts) {
    SCOPED_TRACE(l.name);
    BudgetComparison r;
    r.Opt = With(l.set);
    r.Opt.ToExcel = true;
    G.OutputFolder = dir_.path().toStdString() + "/";
    G.OutputFileName = std::string(l.name) + ".xlsx";
    ASSERT_TRUE(r.ProduceOutput());
    ASSERT_TRUE(G.xlBook);
    ExpectGolden(l.name, RenderWorkbook(*G.xlBook));
    EndReportOutput();
  }
}

}  // namespace
}  // namespace qvx::test
