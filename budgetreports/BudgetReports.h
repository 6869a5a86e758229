// Entry routines of the single-company budget reports and the options-dialog field the
// settings file keeps.
#pragma once

#include <string>

namespace qvx {

class FilterBGTFC {
 public:
  static FilterBGTFC& Instance();
  std::string ColumnType;  // "A", "B" or "AB"
};

void PrintBudgetComparison(std::string& reportCode);
void ReportBudgetForecast(std::string& reportCode);

}  // namespace qvx
