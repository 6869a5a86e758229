// The budget comparison in the report runner: every choice of its Budget Options dialog
// as an option, the dialog answered by choosing the output and the report level and
// pressing OK, so that the dialog's own interlocks and output-file choice apply.
#include <algorithm>

#include "budgetreports/BudgetOptions.h"
#include "budgetreports/BudgetReports.h"
#include "core/Globals.h"
#include "tools/runner/Runner.h"

namespace qvx::runner {
namespace {

FilterPLBGT& Options() { return FilterPLBGT::Instance(); }

const Registrar registered({
    .code = "BGTCMP",
    .entry = PrintBudgetComparison,
    .options = {{"CashBasis", Flag(G.CashBasis)},
                {"IncludeJournals", Flag(Options().IncludeJournals)},
                {"VarianceCol", Choice(Options().VarianceCol, {"V", "B", "PC"})},
                {"ShowVarLastYr", Flag(Options().ShowVarLastYr)},
                {"BudgetColDiff", Integer(Options().BudgetColDiff, 0, 4)},
                {"ShowLastYrVar", Flag(Options().ShowLastYrVar)},
                {"ShowLastYrCol", Flag(Options().ShowLastYrCol)},
                {"ShowLastYrMth", Flag(Options().ShowLastYrMth)},
                {"ShowLastYrYTD", Flag(Options().ShowLastYrYTD)},
                {"ExcludeMonths", Flag(Options().ExcludeMonths)},
                {"IncludeGrandTots", Flag(Options().IncludeGrandTots)},
                {"PrintAccountNumbers", Flag(G.PrintAccountNumbers)},
                {"UsePageBreaks", Flag(G.UsePageBreaks)},
                {"PageBreakAccts", Choice(G.PageBreakAccts)},
                {"PrintLevel", Integer(G.PrintLevel, 1, 4)}},
    .forms = {AnswerForm<FilterPLBGTForm>([](FilterPLBGTForm& f, const RunContext& run) {
      // The list always opens on "Level 4"; the run's level is chosen in it.
      f.CmbLevel.setCurrentIndex(std::clamp<int>(G.PrintLevel == 0 ? 4 : G.PrintLevel, 1, 4) - 1);
      f.ChkExcelFile.setChecked(run.excel);
      f.Exit_Click();
    })},
});

}  // namespace
}  // namespace qvx::runner
