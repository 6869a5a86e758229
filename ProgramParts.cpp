#include "ProgramParts.h"

#include "budgetreports/BudgetReports.h"
#include "budgetreports/BudgetSettings.h"
#include "companyfile/DataSource.h"
#include "core/ReportOutput.h"
#include "app/MainF.h"
#include "groupreports/GroupReports.h"
#include "groupreports/GroupSettings.h"

namespace qvx {

void RegisterProgramParts() {
  MainF::Instance().Entries = {PrintBudgetComparison, ReportBudgetForecast, RunConsolidatedReport};
  BindConnectionSettings();
  BindBudgetReportSettings();
  BindGroupReportSettings();
  InstallOutputChecks([] { return DataSource::Instance().ODBCDataFile; });
}

}  // namespace qvx
