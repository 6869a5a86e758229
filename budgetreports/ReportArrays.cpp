#include "budgetreports/ReportArrays.h"

#include "core/Globals.h"
#include "core/Lookups.h"

namespace qvx {

namespace {

size_t Slots(int32_t n) {
  if (n < 0) Raise(err::SubscriptOutOfRange);
  return static_cast<size_t>(n) + 1;
}

template <class T>
void Renew(std::vector<T>& v, int32_t n) {
  v.assign(Slots(n), T{});
}

}  // namespace

void ResizeAccountTable(int32_t capacity) {
  const size_t n = Slots(capacity);
  G.AcctIDs.resize(n);
  G.AcctNumbers.resize(n);
  G.AcctNames.resize(n);
  G.AcctTypes.resize(n);
  G.AcctLevels.resize(n);
  G.AcctParents.resize(n);
  G.AccountArraySize = capacity;
}

void ReportArrays::ResizeReportArrays(int32_t n) {
  const size_t slots = Slots(n);
  LineAcct.resize(slots);
  LineText.resize(slots);
  for (auto* v : {&LYActMonth, &LYActYTD, &LYAct12Months, &ActMonth, &BgtMonth, &ColVarMonth, &ActYTD, &BgtYTD,
                  &ColVarYTD, &AnnualCol})
    v->resize(slots);
  ActMonthly.resize(slots);
}

void ReportArrays::StartRun() {
  G.AcctIDs.clear();
  G.AcctNumbers.clear();
  G.AcctNames.clear();
  G.AcctTypes.clear();
  G.AcctLevels.clear();
  G.AcctParents.clear();
  ResizeAccountTable(kAccountTableStart);
  G.NbrAccounts = 0;
  G.TxRowCount = 0;
  G.TxRowCapacity = kLineArraysStart;
  *this = ReportArrays{};
  ResizeReportArrays(G.TxRowCapacity);
  Renew(SortKeys, G.TxRowCapacity);
}

void ReportArrays::MakeRoomForAccount() {
  if (G.NbrAccounts + 1 <= G.AccountArraySize) return;
  ResizeAccountTable(G.AccountArraySize + kAccountTableStep);
  G.TxRowCapacity = G.AccountArraySize;
  ResizeReportArrays(G.TxRowCapacity);
}

void ReportArrays::MapEveryAccount() {
  G.TxRowCapacity = G.NbrAccounts;
  ResizeReportArrays(G.TxRowCapacity);
  // Rows given during the load beyond the account count were cut off by the trim.
  if (G.TxRowCount > G.NbrAccounts) G.TxRowCount = G.NbrAccounts;
  for (int32_t i = 1; i <= G.NbrAccounts; ++i) {
    int32_t row = 0;
    FindOrAddIndex(i, LineAcct, row, G.TxRowCount);
  }
}

void ReportArrays::RenewFigureArrays() {
  for (auto* v : {&BgtMonth, &BgtYTD, &AnnualCol, &ColVarMonth, &ColVarYTD, &LYActMonth, &LYActYTD, &LYAct12Months})
    Renew(*v, G.NbrAccounts);
  Renew(LineText, G.TxRowCount);
}

void ReportArrays::RenewAnnualCol() { Renew(AnnualCol, G.TxRowCapacity); }

void ReportArrays::GrowSortKeys() { SortKeys.resize(Slots(G.TxRowCapacity)); }

TransactionArgs ReportArrays::EngineArgs(std::string& txMode, int16_t& cashBasis, int16_t& includeGJ,
                                         int16_t& lastYear) {
  return TransactionArgs{.PostMode = txMode,
                         .CashMode = cashBasis,
                         .IncludeGJ = includeGJ,
                         .AccountIDs = G.AcctIDs,
                         .AccountNumbers = G.AcctNumbers,
                         .AccountCount = G.NbrAccounts,
                         .RowMap = LineAcct,
                         .KeyList = LineText,
                         .RowCount = G.TxRowCount,
                         .RowCapacity = G.TxRowCapacity,
                         .MonthAmounts = ActMonthly,
                         .MonthTotal = ActMonth,
                         .RangeTotal = ActYTD,
                         .LYMonthTotal = LYActMonth,
                         .LYRangeTotal = LYActYTD,
                         .LY12Months = LYAct12Months,
                         .Reserved22 = AnnualCol,
                         .LastYear = lastYear};
}

}  // namespace qvx
