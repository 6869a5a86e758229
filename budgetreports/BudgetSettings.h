// The budget reports' keys of the settings file.
#pragma once

namespace qvx {

// Binds "ColumnType=" to the Budget Forecast Options dialog's field.
void BindBudgetReportSettings();

}  // namespace qvx
