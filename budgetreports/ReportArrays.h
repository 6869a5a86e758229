// The budget comparison's line arrays: one slot per report line (row), slot 0 unused,
// rows 1..G.TxRowCount, every array indexed alike. The comparison's run holds one
// ReportArrays and drives its lifecycle: StartRun, then MakeRoomForAccount before each
// account it loads, MapEveryAccount after the load, RenewFigureArrays before the data
// passes. The transaction engine fills the actual figures through EngineArgs,
// GetBudgetFigures the budgets, and the report itself the variances and sort keys.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cashbasis/ReadTransactions.h"
#include "platform/runtime/Runtime.h"

namespace qvx {

// First sizes of the account table and of the line arrays, and the step by which the
// account table grows while accounts are loaded.
inline constexpr int32_t kAccountTableStart = 200;
inline constexpr int32_t kAccountTableStep = 200;
inline constexpr int32_t kLineArraysStart = 20;

struct ReportArrays {
  std::vector<int32_t> LineAcct;      // the row map: account index (1..NbrAccounts) of each row
  std::vector<std::string> LineText;  // the engine's posting-key list of a cash run (not per row)
  MonthTable ActMonthly;              // actual figure per row and calendar month 1..12
  std::vector<Money> ActMonth;        // actual of the report month
  std::vector<Money> ActYTD;          // actual from the financial-year start to the period end
  std::vector<Money> BgtMonth;        // budget of the report month
  std::vector<Money> BgtYTD;          // budget from the period start month to the period end
  std::vector<Money> AnnualCol;       // annual budget, or last year's actual of the period
  std::vector<Money> ColVarMonth;     // variance or last-year figure of the month block
  std::vector<Money> ColVarYTD;       // variance or last-year figure of the year-to-date block
  std::vector<Money> LYActMonth;      // last year's report month
  std::vector<Money> LYActYTD;        // last year's report period
  std::vector<Money> LYAct12Months;   // last year's financial year
  std::vector<std::string> SortKeys;  // the row's sort key

  // Every line array but SortKeys to slots 0..n, keeping what the remaining slots
  // hold; new slots are zero or empty. A negative n is refused (error 9).
  void ResizeReportArrays(int32_t n);

  // Start of a run: the account table empty with room for kAccountTableStart accounts
  // (G.AccountArraySize, G.NbrAccounts 0), G.TxRowCapacity kLineArraysStart and all the
  // line arrays (SortKeys too) created anew at that size, G.TxRowCount 0.
  void StartRun();
  // Called before an account is added at G.NbrAccounts + 1: when the table is full it
  // grows by kAccountTableStep and the line arrays follow it (G.TxRowCapacity).
  void MakeRoomForAccount();
  // After the account load: the line arrays get exactly one slot per account and every
  // account index gets a row (rows already given keep theirs), so that G.TxRowCount
  // ends equal to G.NbrAccounts.
  void MapEveryAccount();
  // Before the data passes: the budget, variance and last-year figures anew at zero for
  // slots 0..G.NbrAccounts and the posting-key list anew, empty, for 0..G.TxRowCount.
  // The same key list then serves the current-year and the last-year read.
  void RenewFigureArrays();
  // Before last year's period balances go into the annual column: AnnualCol anew at
  // zero for slots 0..G.TxRowCapacity.
  void RenewAnnualCol();
  // Before the sort keys are written: SortKeys to slots 0..G.TxRowCapacity, keeping them.
  void GrowSortKeys();

  // The engine's argument list for a read into these arrays with the program-wide
  // account table: the caller's own mode, basis, journal and last-year flags.
  TransactionArgs EngineArgs(std::string& txMode, int16_t& cashBasis, int16_t& includeGJ, int16_t& lastYear);
};

// The six program-wide account arrays (G.AcctIDs and its companions) to slots
// 0..capacity, keeping their entries, and G.AccountArraySize = capacity.
void ResizeAccountTable(int32_t capacity);

}  // namespace qvx
