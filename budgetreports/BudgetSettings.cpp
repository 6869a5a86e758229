#include "budgetreports/BudgetSettings.h"

#include "budgetreports/FilterBGTFC.h"
#include "core/Settings.h"

namespace qvx {

void BindBudgetReportSettings() {
  BindSetting("ColumnType", [] { return SettingTarget(&FilterBGTFC::Instance().ColumnType); });
}

}  // namespace qvx
