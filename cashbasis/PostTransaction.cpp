#include "cashbasis/PostTransaction.h"

#include "cashbasis/EngineState.h"
#include "companyfile/Connection.h"
#include "core/Globals.h"
#include "core/Lookups.h"

namespace qvx {

std::string MakePostKey(const std::string& accountNumber, const std::string& journalType,
                        int32_t sourceID, int32_t lineID) {
  std::string key = Left(accountNumber, 1);
  if (accountNumber.size() > 2) key.append(accountNumber, 2, std::string::npos);
  key += '|';
  key += journalType;
  key += '|';
  key += std::to_string(sourceID);
  key += '|';
  key += std::to_string(lineID);
  return key;
}

namespace {

bool IsCreditClass(const std::string& cls) {
  return cls == "2" || cls == "3" || cls == "4" || cls == "8";
}

// Stores the key of a cash posting in the caller's list (grown in steps of 200, never
// shrunk) and in the run's hash set.
void StoreKey(TransactionArgs& a) {
  EngineState& e = Engine;
  ++e.KeyCount;
  if (e.KeyCount > e.KeyCap) {
    e.KeyCap += 200;
    if (a.KeyList.size() < static_cast<size_t>(e.KeyCap) + 1) a.KeyList.resize(e.KeyCap + 1);
  }
  a.KeyList.at(e.KeyCount) = e.PostKey;
  e.PostedKeys.insert(e.PostKey);
}

void AddTo(std::vector<Money>& figures, int32_t row, Money amount) {
  EngineStep([&] { figures.at(row) += amount; });
}

}  // namespace

void PostTransaction(TransactionArgs& a) {
  EngineState& e = Engine;
  const bool cash = a.CashMode != 0;
  const bool lastYear = a.LastYear != 0;
  bool in12Months = false;
  int32_t row = 0;

  // Every step that fails ends this posting after its error box: going on with the
  // values a failed step left would post to the wrong account, row or sign.
  const bool ok = EngineStep([&] {
    RoundTo(e.PostAmount, 2);

    // The date and the period keys are numbers yyyymmdd; a key over 100 is its month.
    const EngineState::PeriodKeys& p = e.Period;
    e.PostYMD = e.JrnYMD;
    if (e.PostYMD / 100 == p.to / 100) e.InMonth = kTrue;
    if (p.finYearStart <= e.PostYMD && e.PostYMD <= p.to) e.InRange = kTrue;
    if (lastYear && p.finYearStart <= e.PostYMD && e.PostYMD <= p.finYearEnd) in12Months = true;
  });
  if (!ok || e.PostAmount.IsZero() || !(e.InMonth || e.InRange || in12Months)) return;

  // The account's number is read in place: a copy of it and of its name per posting
  // would cost more than the posting. The look-up is remembered for the read.
  const std::string* number = nullptr;
  if (!EngineStep([&] {
        if (AccountIndexOf(a.AccountIDs, e.PostAcctID) >= 1) number = &G.AcctNumbers.at(static_cast<size_t>(G.AccountIndex));
      }))
    return;
  if (number == nullptr || number->empty()) return;

  if (cash) {
    e.PostKey = MakePostKey(*number, e.JournalType, e.SourceID, e.LineID);
    if (e.PostedKeys.contains(e.PostKey)) return;
  }

  if (!EngineStep([&] {
        FindOrAddIndex(G.AccountIndex, a.RowMap, row, G.TxRowCount);
        e.AcctClass = Left(a.AccountNumbers.at(G.AccountIndex), 1);
        if (IsCreditClass(e.AcctClass)) e.PostAmount = -e.PostAmount;
        if (cash) StoreKey(a);
      }))
    return;

  const Money amount = e.PostAmount;
  if (lastYear) {
    if (e.InMonth) AddTo(a.LYMonthTotal, row, amount);
    if (e.InRange) AddTo(a.LYRangeTotal, row, amount);
    if (in12Months) AddTo(a.LY12Months, row, amount);
    return;
  }
  EngineStep([&] {
    const int month = e.PostYMD / 100 % 100;
    a.MonthAmounts.at(row).at(month) += amount;
  });
  if (e.InMonth) AddTo(a.MonthTotal, row, amount);
  if (e.InRange) AddTo(a.RangeTotal, row, amount);
}

void GetItemAccounts(EngineRecordset& rsItems, int32_t& expenseAcct, int32_t& incomeAcct,
                     int32_t& inventoryAcct, int16_t& itemFound) {
  Conn.SQLStr = "SELECT ItemID, ItemNumber, ItemIsBought, ItemIsSold, ItemIsInventoried, ";
  Conn.SQLStr += "IncomeAccountID, ExpenseAccountID, InventoryAccountID ";
  Conn.SQLStr += "FROM MYOB.Items WHERE ItemID = " + std::to_string(Engine.LineItemID) + " ;";
  expenseAcct = 0;
  incomeAcct = 0;
  inventoryAcct = 0;
  itemFound = kFalse;
  OpenAnswer(rsItems, Conn.SQLStr, true);
  if (!rsItems || rsItems->Eof()) return;
  expenseAcct = rsItems->Fields("ExpenseAccountID").Value().ToLong();
  incomeAcct = rsItems->Fields("IncomeAccountID").Value().ToLong();
  inventoryAcct = rsItems->Fields("InventoryAccountID").Value().ToLong();
  itemFound = kTrue;
}

}  // namespace qvx
