#include "budgetreports/BudgetReports.h"
#include "core/ReportOutput.h"
#include "platform/ui/Ui.h"

namespace qvx {

void ReportBudgetForecast(std::string& /*reportCode*/) {
  ui::MsgBox("The Budget Forecast report is not available yet.", ui::Buttons::OK, ui::Icon::Information);
  EndReportOutput();
}

}  // namespace qvx
