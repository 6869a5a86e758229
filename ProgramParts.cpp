#include "ProgramParts.h"

#include "budgetreports/BudgetReports.h"
#include "budgetreports/BudgetSettings.h"
#include "companyfile/DataSource.h"
#include "app/MainF.h"
#include "groupreports/GroupReports.h"
#include "groupreports/GroupSettings.h"

namespace qvx {

void RegisterProgramParts() {
  MainF::Instance().Entries = {PrintBudgetComparison, ReportBudgetForecast, RunConsolidatedReport};
  BindConnectionSettings();
  BindBudgetReportSettings();
  BindGroupReportSettings();
}

}  // namespace qvx
