// A caller of the transaction engine for tests and benchmarks: it fills the program-wide
// account tables and the report's row arrays the way the budget comparison does (profit
// and loss accounts read in AccountID order, the section accounts on the first rows,
// then one row per account), sets the report period and runs ReadTransactions.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "cashbasis/ReadTransactions.h"

namespace qvx::test {

struct EngineCaller {
  // Row arrays, slots 0..TxRowCount.
  std::vector<int32_t> LineAcct;
  std::vector<std::string> LineText;
  MonthTable ActMonthly;
  std::vector<Money> ActMonth, ActYTD, LYActMonth, LYActYTD, LYAct12Months, AnnualCol;
  std::string TxMode = "A";
  int16_t CashBasis = 0;
  int16_t IncludeGJ = kTrue;
  int16_t PriorYear = 0;

  // Connects to a company file through the test driver, as the program does, which also
  // reads the company information.
  static void Connect(const std::string& path);
  // Reads MYOB.Accounts into G's account tables. The budget comparison keeps only the
  // profit-and-loss accounts (class "4" and above, level above 0); allAccounts keeps
  // every account so that the balance-sheet classes can be checked too.
  void LoadAccounts(bool allAccounts = false);
  // The period as the month-range dialog hands it over, in the user's date order.
  static void SetPeriod(const std::string& from, const std::string& to, const std::string& finYearStart,
                        const std::string& finYearEnd);
  // One read of the engine with the arrays above.
  void Read();
  // The comparison's last-year pass: ODBC dates moved back a year, then a second read.
  void ReadLastYear();

  // Figures by account number.
  int32_t RowOf(const std::string& accountNumber) const;
  Money Monthly(const std::string& accountNumber, int month) const;
  Money Month(const std::string& accountNumber) const { return ActMonth.at(RowOf(accountNumber)); }
  Money YTD(const std::string& accountNumber) const { return ActYTD.at(RowOf(accountNumber)); }
  // Every non-zero monthly figure: (account number, month) -> amount.
  std::map<std::pair<std::string, int>, Money> MonthlyFigures() const;
};

}  // namespace qvx::test
