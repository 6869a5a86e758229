#include "budgetreports/BudgetReports.h"

#include "core/ReportOutput.h"
#include "platform/ui/Ui.h"

namespace qvx {

FilterBGTFC& FilterBGTFC::Instance() {
  static FilterBGTFC instance;
  return instance;
}

void PrintBudgetComparison(std::string& /*reportCode*/) {
  ui::MsgBox("The Budget Comparison report is not available yet.", ui::Buttons::OK, ui::Icon::Information);
  EndReportOutput();
}

void ReportBudgetForecast(std::string& /*reportCode*/) {
  ui::MsgBox("The Budget Forecast report is not available yet.", ui::Buttons::OK, ui::Icon::Information);
  EndReportOutput();
}

}  // namespace qvx
