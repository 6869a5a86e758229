// The journal reader of the transaction engine: reads the journal lines of the report
// period and adds their amounts per account and month into the caller's arrays, on the
// accrual basis line by line, on the cash basis through the journal-set classification.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/runtime/Runtime.h"

namespace qvx {

// Amounts per report row and calendar month; column 0 is never written.
using MonthTable = std::vector<std::array<Money, 13>>;

namespace detail {
// Storage for argument positions that are part of the calling contract but that the
// reader never reads or writes: callers that have nothing to pass there get these.
template <class T>
T& Unused() {
  static T value{};
  return value;
}
}  // namespace detail

// The reader's whole argument list, each member a reference to the caller's variable,
// so that every addition is made in the caller's own arrays. The numbers are the
// positions of the calling contract. Reserved positions have no effect; a caller that
// has nothing of its own to pass there may leave them out.
struct TransactionArgs {
  std::string& SetFilter = detail::Unused<std::string>();                   // 1, reserved
  std::string& PostMode;                                                    // 2: "A"
  int16_t& CashMode;                                                        // 3
  int16_t& FromYearStart = detail::Unused<int16_t>();                       // 4, reserved
  int16_t& IncludeGJ;                                                       // 5
  std::string& Dimension = detail::Unused<std::string>();                   // 6, reserved
  std::vector<int32_t>& AccountIDs;                                         // 7, sorted
  std::vector<std::string>& AccountNumbers;                                 // 8
  std::vector<Money>& Reserved9 = detail::Unused<std::vector<Money>>();     // 9
  int32_t& AccountCount = detail::Unused<int32_t>();                        // 10, reserved
  std::vector<int32_t>& RowMap;                                             // 11
  std::vector<std::string>& KeyList;                                        // 12
  std::vector<int32_t>& Reserved13 = detail::Unused<std::vector<int32_t>>();  // 13
  int32_t& RowCount = detail::Unused<int32_t>();                            // 14, reserved
  int32_t& RowCapacity = detail::Unused<int32_t>();                         // 15, reserved
  MonthTable& MonthAmounts;                                                 // 16
  std::vector<Money>& MonthTotal;                                           // 17
  std::vector<Money>& RangeTotal;                                           // 18
  std::vector<Money>& LYMonthTotal;                                         // 19
  std::vector<Money>& LYRangeTotal;                                         // 20
  std::vector<Money>& LY12Months;                                           // 21
  std::vector<Money>& Reserved22 = detail::Unused<std::vector<Money>>();    // 22 (annual)
  int16_t& LastYear;                                                        // 23
  std::vector<std::string>& Reserved24 = detail::Unused<std::vector<std::string>>();
  std::vector<std::string>& Reserved25 = detail::Unused<std::vector<std::string>>();
  std::vector<std::string>& Reserved26 = detail::Unused<std::vector<std::string>>();
  std::vector<Money>& Reserved27 = detail::Unused<std::vector<Money>>();
  std::vector<Money>& Reserved28 = detail::Unused<std::vector<Money>>();
  std::vector<Money>& Reserved29 = detail::Unused<std::vector<Money>>();
  std::vector<Money>& Reserved30 = detail::Unused<std::vector<Money>>();
  std::vector<std::string>& Reserved31 = detail::Unused<std::vector<std::string>>();
  std::vector<Money>& Reserved32 = detail::Unused<std::vector<Money>>();
  std::vector<int32_t>& Reserved33 = detail::Unused<std::vector<int32_t>>();
  std::vector<std::string>& Reserved34 = detail::Unused<std::vector<std::string>>();
  std::vector<int32_t>& Reserved35 = detail::Unused<std::vector<int32_t>>();  // exchange accounts
  int16_t& Reserved36 = detail::Unused<int16_t>();                            // their count
  std::vector<int32_t>& Reserved37 = detail::Unused<std::vector<int32_t>>();
  std::vector<std::string>& Reserved38 = detail::Unused<std::vector<std::string>>();
  std::string& PeriodStartKey = detail::Unused<std::string>();              // 39, empty
};

// Reads the journal lines from ODBCFromDate to ODBCToDate and posts them. With LastYear
// set it first moves FinYearStartYMD, FromYMD, ToYMD and FinYearEndYMD back one year
// (and leaves them so). Failures are reported in the engine's error box and the run
// goes on.
void ReadTransactions(TransactionArgs& args);

}  // namespace qvx
