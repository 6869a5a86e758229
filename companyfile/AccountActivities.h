// Last year's account period balances for the budget comparison: every balance row of
// the company file, turned into a calendar month with the company's first month of the
// financial year, added into the caller's per-line arrays.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/runtime/Runtime.h"

namespace qvx {

// The caller's accounts, result arrays and report period. Arrays are 1-based (slot 0
// unused) and sized by the caller for every line that can be added; amounts are added to
// what they hold. Dates are yyyymmdd keys.
struct AccountActivitiesArgs {
  const std::vector<int32_t>& AcctIDs;       // account IDs, entries 1 to NbrAccounts
  int32_t NbrAccounts = 0;
  std::vector<Money>& LYActMonth;            // last year's report month
  std::vector<Money>& LYActYTD;              // last year's report period
  std::vector<Money>& LYAct12Months;          // last year's financial year (TwelveMonths only)
  std::vector<Money>& AnnualCol;             // last year's report period (AnnualLastYear only)
  std::vector<int32_t>& LineAcct;            // report line to account index
  int32_t& TxRowCount;                       // report lines in use; grows as lines are added
  bool AnnualLastYear = false;               // the annual column shows last year's actual
  bool TwelveMonths = false;                 // last year's whole-year figures are wanted
  std::string FromYMD;
  std::string ToYMD;
  std::string FinYearStartYMD;
  std::string FinYearEndYMD;
};

void GetAccountActivities(AccountActivitiesArgs& args);

// The same date one year earlier, as a key: the year less one, the rest unchanged (no
// calendar check, so 29 February stays the 29th).
std::string LastYearKey(const std::string& key);

// The yyyymm01 key of a balance period: the calendar month and year of period `period`
// of financial year `financialYear` when the year starts in month `firstMonth`.
std::string PeriodKey(int firstMonth, int period, int financialYear);

}  // namespace qvx
