#include "cashbasis/Apportion.h"

#include "cashbasis/PostTransaction.h"
#include "companyfile/Connection.h"
#include "core/Lookups.h"

namespace qvx {

namespace {

template <class T, class Convert>
bool ReadAs(const ado::Recordset& rs, std::string_view column, T& out, Convert convert) {
  return EngineStep([&] { out = convert(rs.Fields(column).Value()); });
}

}  // namespace

bool ReadColumn(const ado::Recordset& rs, std::string_view column, int32_t& out) {
  return ReadAs(rs, column, out, [](const ado::Variant& v) { return v.ToLong(); });
}

bool ReadColumn(const ado::Recordset& rs, std::string_view column, Money& out) {
  return ReadAs(rs, column, out, [](const ado::Variant& v) { return v.ToCurrency(); });
}

bool ReadColumn(const ado::Recordset& rs, std::string_view column, double& out) {
  return ReadAs(rs, column, out, [](const ado::Variant& v) { return v.ToDouble(); });
}

bool ReadColumn(const ado::Recordset& rs, std::string_view column, std::string& out) {
  return ReadAs(rs, column, out, [](const ado::Variant& v) { return v.ToString(); });
}

bool HasRow(const ado::Recordset& rs) {
  bool atEnd = true;
  return EngineStep([&] { atEnd = rs.Eof(); }) && !atEnd;
}

bool OpenInto(EngineRecordset& rs, const std::string& sql, bool keepEarlier) {
  Conn.SQLStr = sql;
  const int64_t sent = AnswerStats.sent;
  OpenAnswer(rs, Conn.SQLStr, keepEarlier);
  HandlerStats.queries += AnswerStats.sent - sent;
  return rs != nullptr;
}

bool FirstPassOfSet() {
  EngineState& e = Engine;
  return e.HandledSets.emplace(e.JrnSetID, e.JrnYMD).second;
}

Money AtRate(Money amount) {
  const double rate = Engine.ExchRate;
  if (!Engine.ApplyRate || rate == 0.0 || rate == 1.0) return amount;
  return amount * rate;
}

void StartDocument(Money totalLines, Money freight, Money tax) {
  EngineState& e = Engine;
  e.DocGross = totalLines + freight + tax;
  if (!e.AmountApplied.IsZero() && !e.DocGross.IsZero())
    e.PayRatio = e.AmountApplied.ToDouble() / e.DocGross.ToDouble();
  else
    e.PayRatio = 1.0;
  e.TargetSum = AtRate(totalLines * e.PayRatio);
  RoundTo(e.TargetSum, 2);
  e.RunSum = Money();
}

Money LineShare(Money base) {
  EngineState& e = Engine;
  constexpr Money kCent = Money::FromRaw(Money::kScale / 100);
  Money amount = AtRate(base * e.PayRatio);
  RoundTo(amount, 2);
  e.CentDiff = e.TargetSum - (e.RunSum + amount);
  RoundTo(e.CentDiff, 2);
  if (e.CentDiff == kCent)
    amount += kCent;
  else if (e.CentDiff == -kCent)
    amount -= kCent;
  e.RunSum += amount;
  return amount;
}

Money FreightShare(Money freight) {
  Money amount = AtRate(freight * Engine.PayRatio);
  RoundTo(amount, 2);
  return amount;
}

void PostFreight(TransactionArgs& args, const FreightPosting& f) {
  EngineState& e = Engine;
  if (f.freight.IsZero()) return;
  if (!e.FreightDone.emplace(e.JournalType, e.SourceID, f.docID).second) return;

  if (!EngineStep([&] { e.PostAmount = FreightShare(f.freight); })) return;
  if (f.credit) e.PostAmount = -e.PostAmount;
  e.PostAcctID = f.account;
  // Line identifiers are never negative: -1 - docID keeps every document's freight
  // apart from every line, and cannot overflow.
  const int32_t lineID = e.LineID;
  e.LineID = -1 - f.docID;
  PostTransaction(args);
  e.LineID = lineID;
}

namespace {

// The activity of a time-billing line: its income account, from MYOB.Activities.
bool ActivityAccount(int32_t activityID, int32_t& account) {
  EngineState& e = Engine;
  if (!OpenInto(e.rsActivities, "SELECT ActivityID, IncomeAccountID "
                                "FROM MYOB.Activities WHERE ActivityID = " + IdText(activityID) + " ;",
                true))
    return false;
  if (!HasRow(*e.rsActivities)) return false;
  if (!ReadColumn(*e.rsActivities, "IncomeAccountID", account)) return false;
  e.ActivityUsed = kTrue;
  return true;
}

// The accounts of an item line's item; false when the item has no row.
bool ItemAccounts(int32_t itemID) {
  EngineState& e = Engine;
  e.LineItemID = itemID;
  e.ItemFound = kFalse;
  const int64_t sent = AnswerStats.sent;
  const bool ok =
      EngineStep([&] { GetItemAccounts(e.rsItems, e.ExpenseAcct, e.IncomeAcct, e.InventoryAcct, e.ItemFound); });
  HandlerStats.queries += AnswerStats.sent - sent;
  if (!ok) return false;
  return e.ItemFound != kFalse;
}

// The posting account of the current line row, or false when it cannot be found.
bool LineAccountOf(const ado::Recordset& rs, LineAccount kind, int32_t& account) {
  EngineState& e = Engine;
  int32_t id = 0;
  switch (kind) {
    case LineAccount::Column:
      return ReadColumn(rs, "AccountID", account);
    case LineAccount::ItemIncome:
    case LineAccount::ItemExpense:
      if (!ReadColumn(rs, "ItemID", id) || !ItemAccounts(id)) return false;
      account = kind == LineAccount::ItemIncome ? e.IncomeAcct : e.ExpenseAcct;
      return true;
    case LineAccount::Activity:
      return ReadColumn(rs, "ActivityID", id) && ActivityAccount(id, account);
  }
  return false;
}

void PostPaidLine(TransactionArgs& args, const ado::Recordset& rs, const PaidLines& lines) {
  EngineState& e = Engine;
  int32_t lineID = 0, account = 0;
  Money base;
  if (!ReadColumn(rs, lines.lineIDColumn, lineID)) return;
  if (!LineAccountOf(rs, lines.account, account)) return;
  if (!ReadColumn(rs, lines.amountColumn, base)) return;

  if (!EngineStep([&] { e.PostAmount = LineShare(base); })) return;
  if (lines.credit) e.PostAmount = -e.PostAmount;
  e.LineID = lineID;
  e.PostAcctID = account;
  PostTransaction(args);

  if (!lines.costOfGoods) return;
  Money cost;
  if (!ReadColumn(rs, "CostofGoodsSoldAmount", cost) || cost.IsZero()) return;
  if (!EngineStep([&] { e.PostAmount = cost * e.PayRatio; })) return;
  e.PostAcctID = e.ExpenseAcct;
  PostTransaction(args);
}

}  // namespace

void PostPaidLines(TransactionArgs& args, const PaidLines& lines) {
  EngineState& e = Engine;
  if (!OpenInto(e.rsDocLines, lines.sql)) return;
  ado::Recordset& rs = *e.rsDocLines;
  ForEachRow(rs, [&] {
    PostPaidLine(args, rs, lines);
    e.DocLinesUsed = kTrue;
    return true;
  });
}

void OpenPaidDocument(TransactionArgs& args, const std::string& sql, const PaidDocument& doc) {
  EngineState& e = Engine;
  if (!OpenInto(e.rsDocHeader, sql)) return;
  ado::Recordset& rs = *e.rsDocHeader;
  ForEachRow(rs, [&] {
    std::string status, type;
    if (!ReadColumn(rs, doc.statusColumn, status)) return true;  // an order cannot be told: skipped
    if (status == "OR") return false;

    int32_t docID = 0;
    Money totalLines, freight, tax;
    bool ok = ReadColumn(rs, doc.typeColumn, type);
    ok = ReadColumn(rs, doc.idColumn, docID) && ok;
    ok = ReadColumn(rs, "TotalLines", totalLines) && ok;
    ok = ReadColumn(rs, "TaxExclusiveFreight", freight) && ok;
    ok = ReadColumn(rs, "TotalTax", tax) && ok;
    if (ok && EngineStep([&] { StartDocument(totalLines, freight, tax); })) {
      if (doc.lines) doc.lines(args, type, docID);
      PostFreight(args, {docID, doc.freightAccount, freight, doc.credit});
    }
    e.DocHeaderUsed = kTrue;
    return true;
  });
}

}  // namespace qvx
