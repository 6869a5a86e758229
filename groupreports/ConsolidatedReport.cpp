#include "groupreports/ConsolidatedReport.h"

#include <string>

#include "core/Globals.h"
#include "core/Preferences.h"
#include "core/ReportOutput.h"
#include "groupreports/ConsolidatedLines.h"
#include "groupreports/ConsolidatedOutput.h"
#include "platform/excel/Excel.h"
#include "platform/printer/Printer.h"
#include "platform/ui/Ui.h"

namespace qvx {

void WriteConsolidatedReport(ConsolidationData& data) {
  const ConsolidatedFigures fig = BuildConsolidatedFigures(data, G.PrintLevel);
  const Preferences& prefs = Preferences::Instance();
  const ComparisonSections cmp =
      BuildComparisons(fig, data, {prefs.BMSales, prefs.BMGrossProfit, prefs.BMNetProfit, prefs.BMStaff});
  const ConsolidatedLayout layout =
      PlanConsolidatedLayout(data, fig.FileCount, {G.PTLines, G.LSLines, G.BodyFont, G.PrintAccountNumbers != 0});
  G.PageLines = layout.PageLines;
  G.PrintOrientation = layout.PrintOrientation;
  if (data.SeparateCols && data.ConsFileCount > data.MaxConsFiles) {
    G.MsgText = "Maximum data files for showing separate columns is " + std::to_string(data.MaxConsFiles);
    G.Response = static_cast<int16_t>(ui::MsgBox(G.MsgText, ui::Buttons::OK, ui::Icon::None, "Maximum data files"));
    return;
  }
  if (G.PrintToExcel) {
    if (G.OutputType == "EXCEL") {
      StartExcel(ExcelObjects::FromGlobals(), layout.PrintOrientation == 1 ? "P" : "L");
      // Without a workbook nothing can be written: StartExcel has told why, the finish
      // follows.
      if (!G.ExcelOpen) return;
      G.ExcelRow = 1;
      G.ExcelFile = kTrue;
    }
    G.ChoosePrinter = kFalse;
  }
  G.AmtWidth = layout.AmtWidth;
  ConsolidatedOutput out(data, fig, cmp, layout);
  // The page is drawn smaller where the paper cannot hold its widest line.
  if (G.PrintToPrinter && !G.PrintToExcel) out.LayOutLines();
  out.PrintReportBody();
  // Every amount and percentage column, right of the names, as wide as its widest figure, so
  // that none shows as "###".
  if (G.PrintToExcel && G.ExcelFile && G.xlSheet && G.ReportOK && !G.PrintCancelled)
    excel::Range(*G.xlSheet, 1, layout.ConsNameXlCol + 2, excel::kMaxRows, excel::kMaxColumns).WidenForNumbers();
}

}  // namespace qvx
