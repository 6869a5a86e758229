#include "companyfile/AccountActivities.h"

#include <algorithm>
#include <unordered_map>

#include "companyfile/Connection.h"
#include "core/Globals.h"
#include "core/Lookups.h"
#include "platform/ui/Ui.h"

namespace qvx {

namespace {

void ReportError(const std::exception& e) {
  ui::MsgBox("An error has occurred - " + CurrentErrorInfo(e).description, ui::Buttons::OK, ui::Icon::None,
             "Error Message");
}

void AddAt(std::vector<Money>& totals, int32_t line, Money amount) {
  if (line < 0 || static_cast<size_t>(line) >= totals.size()) Raise(err::SubscriptOutOfRange);
  totals[static_cast<size_t>(line)] += amount;
}

struct BalanceRow {
  int32_t accountID = 0;
  int32_t period = 0;
  Money amount;
  int32_t financialYear = 0;
};

}  // namespace

std::string LastYearKey(const std::string& key) {
  const long year = static_cast<long>(Val(Left(key, 4)));
  return std::to_string(year - 1) + Mid(key, 5);
}

std::string PeriodKey(int firstMonth, int period, int financialYear) {
  int month = firstMonth + period - 1;
  if (month > 12) month -= 12;
  const int year = (firstMonth != 1 && month >= firstMonth) ? financialYear - 1 : financialYear;
  std::string mm = std::to_string(month);
  if (mm.size() == 1) mm = "0" + mm;
  return std::to_string(year) + mm + "01";
}

void GetAccountActivities(AccountActivitiesArgs& a) {
  const std::string lyStart = LastYearKey(a.FinYearStartYMD);
  const std::string lyFrom = LastYearKey(a.FromYMD);
  const std::string lyTo = LastYearKey(a.ToYMD);
  const std::string lyEnd = LastYearKey(a.FinYearEndYMD);
  const std::string lyMonth = Left(lyTo, 6);

  Conn.SQLStr = "SELECT AccountID, Period, Amount, FinancialYear FROM MYOB.AccountActivities  ;";
  std::unique_ptr<ado::Recordset> rsData = OpenRecordset(Conn.SQLStr);
  if (!rsData) return;

  // The first position of each account ID among entries 1 to NbrAccounts: a row finds
  // its account in one step instead of a scan of the list.
  std::unordered_map<int32_t, int32_t> accountIndex;
  const int64_t listed = std::max<int64_t>(0, static_cast<int64_t>(a.AcctIDs.size()) - 1);
  const auto nbrAccounts = static_cast<int32_t>(std::clamp<int64_t>(a.NbrAccounts, 0, listed));
  accountIndex.reserve(static_cast<size_t>(nbrAccounts));
  for (int32_t i = 1; i <= nbrAccounts; ++i) accountIndex.try_emplace(a.AcctIDs[static_cast<size_t>(i)], i);

  const int firstMonth = G.FirstMonth;
  try {
    const ado::Field fAccount = rsData->Fields("AccountID");
    const ado::Field fPeriod = rsData->Fields("Period");
    const ado::Field fAmount = rsData->Fields("Amount");
    const ado::Field fYear = rsData->Fields("FinancialYear");
    for (; !rsData->Eof(); rsData->MoveNext()) {
      BalanceRow row;
      try {
        row.accountID = fAccount.Value().ToLong();
        row.period = fPeriod.Value().ToLong();
        row.amount = fAmount.Value().ToCurrency();
        row.financialYear = fYear.Value().ToLong();
      } catch (const std::exception& e) {
        ReportError(e);
        continue;
      }
      if (row.amount == Money()) continue;
      const std::string key = PeriodKey(firstMonth, row.period, row.financialYear);
      const bool inMonth = Left(key, 6) == lyMonth;
      const bool inPeriod = lyFrom <= key && key <= lyTo;
      const bool inYear = a.TwelveMonths && lyStart <= key && key <= lyEnd;
      if (!inMonth && !inPeriod && !inYear) continue;
      const auto found = accountIndex.find(row.accountID);
      if (found == accountIndex.end()) continue;
      int32_t line = 0;
      try {
        FindOrAddIndex(found->second, a.LineAcct, line, a.TxRowCount);
      } catch (const std::exception& e) {
        ReportError(e);
        continue;
      }
      // Each addition on its own: one that fails is reported and the others still happen.
      auto add = [&](std::vector<Money>& totals) {
        try {
          AddAt(totals, line, row.amount);
        } catch (const std::exception& e) {
          ReportError(e);
        }
      };
      if (inMonth) add(a.LYActMonth);
      if (inPeriod) add(a.LYActYTD);
      if (inYear) add(a.LYAct12Months);
      if (a.AnnualLastYear && inPeriod) add(a.AnnualCol);
    }
  } catch (const std::exception& e) {
    ReportError(e);
  }
  try {
    rsData->Close();
  } catch (const std::exception&) {
    // Already closed: released below all the same.
  }
  rsData.reset();
}

}  // namespace qvx
