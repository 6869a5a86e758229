// The group report in the runner: --folder names the folder of company files, the
// options are the consolidation dialog's fields and the general settings it stores.
#include "core/Globals.h"
#include "groupreports/FilterCons.h"
#include "groupreports/GroupReports.h"
#include "tools/runner/Runner.h"

namespace qvx::runner {
namespace {

FilterCons& Options() { return FilterCons::Instance(); }

const Registrar registered({
    .code = "CONPL",
    .entry = RunConsolidatedReport,
    .options = {{"ConsGroupName", Choice(G.ConsGroupName)},
                {"ConsReportName", Choice(G.ConsReportName)},
                {"GroupColPosn", Choice(Options().GroupColPosn, {"L", "R"})},
                {"IncludeAverage", Flag(Options().IncludeAverage)},
                {"RoundWhole", Flag(Options().RoundWhole)},
                {"ShowFigures", Flag(Options().ShowFigures)},
                {"ShowHeaders", Flag(Options().ShowHeaders)},
                {"PrintAccountNumbers", Flag(G.PrintAccountNumbers)},
                {"PrintLevel", Integer(G.PrintLevel, 1, 4)}},
    .forms = {AnswerForm<FilterConsForm>([](FilterConsForm& f, const RunContext& run) {
      // The dialog always offers level 4: the user picks the level asked for.
      if (G.PrintLevel >= 1 && G.PrintLevel <= 4) f.CmbLevel.setCurrentIndex(G.PrintLevel - 1);
      f.ChkExcelFile.setChecked(run.excel);
      f.Exit_Click();
    })},
});

}  // namespace
}  // namespace qvx::runner
