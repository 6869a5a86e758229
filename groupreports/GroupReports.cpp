#include "groupreports/GroupReports.h"

#include "core/ReportOutput.h"
#include "platform/ui/Ui.h"

namespace qvx {

void RunConsolidatedReport(std::string& /*reportCode*/) {
  ui::MsgBox("The Group Profit and Loss report is not available yet.", ui::Buttons::OK, ui::Icon::Information);
  EndReportOutput();
}

}  // namespace qvx
