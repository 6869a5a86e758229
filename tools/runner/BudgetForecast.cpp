// The budget forecast in the runner: the options are the Budget Forecast Options
// dialog's column choice and the general settings it stores.
#include "budgetreports/BudgetReports.h"
#include "budgetreports/FilterBGTFC.h"
#include "core/Globals.h"
#include "tools/runner/Runner.h"

namespace qvx::runner {
namespace {

const Registrar registered({
    .code = "BGTFCT",
    .entry = ReportBudgetForecast,
    .options = {{"ColumnType", Choice(FilterBGTFC::Instance().ColumnType, {"A", "B", "AB"})},
                {"CashBasis", Flag(G.CashBasis)},
                {"PrintAccountNumbers", Flag(G.PrintAccountNumbers)},
                {"PrintLevel", Integer(G.PrintLevel, 1, 4)}},
    .forms = {AnswerForm<FilterBGTFCForm>([](FilterBGTFCForm& f, const RunContext& run) {
      if (G.PrintLevel >= 1 && G.PrintLevel <= 4) f.CmbLevel.setCurrentIndex(G.PrintLevel - 1);
      f.ChkExcelFile.setChecked(run.excel);
      f.Exit_Click();
    })},
});

}  // namespace
}  // namespace qvx::runner
