// Entry routines of the single-company budget reports.
#pragma once

#include <string>

#include "budgetreports/FilterBGTFC.h"

namespace qvx {

void PrintBudgetComparison(std::string& reportCode);
void ReportBudgetForecast(std::string& reportCode);

}  // namespace qvx
