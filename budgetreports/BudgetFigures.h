// The budget reports' budget figures: every row of the company file's account budgets,
// its financial period turned into a calendar month, added into arrays the report owns
// (created at zero for the run; the readers only add). The budget comparison calls
// GetBudgetFigures once, after its current-year actual figures; the budget forecast calls
// LoadAccountBudgets once when it shows budget columns. Amounts are added as stored,
// with no sign change for any account class.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "budgetreports/ReportArrays.h"
#include "cashbasis/ReadTransactions.h"

namespace qvx {

// The query both readers run.
inline constexpr char kBudgetQuery[] = "SELECT AccountID, Period, Amount, FinancialYear FROM MYOB.AccountBudgets  ;";
// The progress window's caption while the comparison reads budgets.
inline constexpr char kBudgetCaption[] = "Reading Budget figures ...";

// The yyyymm01 key of a budget's month: period 1..12 of the financial year that ends in
// financialYear, the year starting in G.FirstMonth. Empty for a period outside 1..12 or
// a year that is not four digits: such a row is no month of any report.
std::string BudgetMonthKey(int32_t period, int32_t financialYear);

// Budget comparison. For each budget of an account in the program-wide account table
// (G.AcctIDs 1..G.NbrAccounts, sorted by identifier) adds the amount at the account's
// row (arrays.LineAcct, G.TxRowCount) to BgtMonth when it is the month of the period
// end (G.ToYMD), to BgtYTD when it lies from the period start month (G.ODBCFromDate) to
// the period end (G.ODBCToDate), and to AnnualCol when it lies in the financial year
// (G.FinYearStartYMD..G.FinYearEndYMD). Shows the progress window while it reads and
// lets window events through once per row.
void GetBudgetFigures(ReportArrays& arrays);

// Budget forecast. For each non-zero budget of a detail account of the classes 4, 5, 6,
// 8 and 9 in the program-wide account table whose month lies in the financial year
// (G.FinYearStartYMD..G.FinYearEndYMD), adds the amount to MthBudget at the account's
// row (RowAcct, G.TxRowCount) and its calendar month. No progress window.
void LoadAccountBudgets(std::vector<int32_t>& RowAcct, MonthTable& MthBudget);

}  // namespace qvx
