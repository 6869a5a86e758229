#include "budgetreports/BudgetReports.h"

#include "platform/ui/Ui.h"

namespace qvx {

FilterBGTFC& FilterBGTFC::Instance() {
  static FilterBGTFC instance;
  return instance;
}

void PrintBudgetComparison(std::string& /*reportCode*/) {
  ui::MsgBox("The Budget Comparison report is not available yet.", ui::Buttons::OK, ui::Icon::Information);
}

void ReportBudgetForecast(std::string& /*reportCode*/) {
  ui::MsgBox("The Budget Forecast report is not available yet.", ui::Buttons::OK, ui::Icon::Information);
}

}  // namespace qvx
