#include "cashbasis/MoneySets.h"

#include <string>

#include "cashbasis/Apportion.h"
#include "cashbasis/EngineState.h"
#include "cashbasis/PostTransaction.h"
#include "companyfile/CompanyFileInfo.h"
#include "companyfile/Connection.h"
#include "core/Globals.h"
#include "core/Lookups.h"

namespace qvx {

namespace {

// One kind of document. The header query is headerSelect, the category or cost-centre
// column, headerFrom and the source; the line query lineSelect, lineFrom and the key.
struct MoneySetKind {
  const char* headerSelect;
  const char* headerFrom;
  const char* headerIDColumn;  // the line key; "" when it is the set's source itself
  const char* lineSelect;      // "" for general journals, whose columns depend on the file
  const char* lineFrom;
  const char* lineIDColumn;
  const char* amountColumn;
  bool negate;                 // money received is posted negated
};

constexpr MoneySetKind kMoneySpent{
    "SELECT MoneySpentID, IssuingAccountID, CardRecordID, "
    "TransactionDate, TotalSpentAmount, TransactionExchangeRate, Memo,   ",
    "FROM MYOB.MoneySpent WHERE MoneySpentID = ",
    "MoneySpentID",
    "SELECT MoneySpentLineID, MoneySpentID, AccountID, TaxExclusiveAmount, TaxInclusiveAmount, JobID, TaxCodeID,  "
    "LineMemo ",
    "FROM MYOB.MoneySpentLines WHERE MoneySpentID = ",
    "MoneySpentLineID",
    "TaxExclusiveAmount",
    false};

constexpr MoneySetKind kMoneyReceived{
    "SELECT MoneyReceivedID, RecipientAccountID, CardRecordID, "
    "TransactionDate, TotalAmountReceived, TransactionExchangeRate, Memo,  ",
    "FROM MYOB.MoneyReceived WHERE MoneyReceivedID = ",
    "MoneyReceivedID",
    "SELECT MoneyReceivedLineID, MoneyReceivedID, AccountID, TaxExclusiveAmount, TaxInclusiveAmount, JobID, "
    "TaxCodeID,  LineMemo ",
    "FROM MYOB.MoneyReceivedLines WHERE MoneyReceivedID = ",
    "MoneyReceivedLineID",
    "TaxExclusiveAmount",
    true};

constexpr MoneySetKind kGeneralJournal{
    "SELECT GeneralJournalID,  GeneralJournalNumber, Memo, TransactionDate, TransactionExchangeRate, "
    "GSTReportingMethodID, ",
    "FROM MYOB.GeneralJournals WHERE GeneralJournalID = ",
    "",
    "",
    "FROM MYOB.GeneralJournalLines WHERE GeneralJournalID = ",
    "GeneralJournalLineID",
    "TaxExclusiveAmount",
    false};

constexpr MoneySetKind kPayCheque{
    "SELECT WritePayChequeID, ChequeNumber, TransactionDate, CardRecordID, NetPay, Memo, "
    "TransactionExchangeRate,   ",
    "FROM MYOB.WritePayCheque WHERE WritePayChequeID = ",
    "WritePayChequeID",
    "SELECT WritePayChequeLineID, WritePayChequeID, AccountID, Amount, JobID  ",
    "FROM MYOB.WritePayChequeLines WHERE WritePayChequeID = ",
    "WritePayChequeLineID",
    "Amount",
    false};

// "CategoryID " for "USA" and "SG" files and on the newer product line's driver.
std::string CategoryColumn() {
  const std::string& country = Company.DataFileCountry;
  return country == "USA" || country == "SG" || Conn.IsAR2011Driver ? "CategoryID " : "CostCentreID ";
}

std::string GeneralJournalLineSelect() {
  std::string sql = "SELECT GeneralJournalLineID, GeneralJournalID, LineNumber, AccountID, TaxExclusiveAmount, ";
  sql += Conn.IsAR2011Driver ? "TaxAmount, LineMemo, JobID" : "TaxInclusiveAmount, LineMemo, JobID";
  sql += Company.DataFileCountry == "USA" ? " " : ", TaxCodeID ";
  return sql;
}

void PostDocumentLine(TransactionArgs& args, const ado::Recordset& rs, const MoneySetKind& kind) {
  EngineState& e = Engine;
  int32_t lineID = 0, account = 0;
  Money amount;
  if (!ReadColumn(rs, kind.lineIDColumn, lineID) || !ReadColumn(rs, "AccountID", account)) return;

  std::string number, name;
  if (!EngineStep([&] { GetAccountDetails(args.AccountIDs, account, number, name); })) return;
  e.AcctClass = G.AccountIndex >= 1 ? Left(number, 1) : "";
  if (e.AcctClass < e.FirstAcctClass) return;

  if (!ReadColumn(rs, kind.amountColumn, amount)) return;
  if (!EngineStep([&] { amount = AtRate(amount); })) return;
  e.LineID = lineID;
  e.PostAcctID = account;
  e.PostAmount = kind.negate ? -amount : amount;
  PostTransaction(args);
}

void PostDocument(TransactionArgs& args, const MoneySetKind& kind) {
  EngineState& e = Engine;
  if (!FirstPassOfSet()) return;
  if (!OpenInto(e.rsDocHeader, kind.headerSelect + CategoryColumn() + kind.headerFrom + IdText(e.SourceID) + " ;"))
    return;
  const ado::Recordset& header = *e.rsDocHeader;
  if (!HasRow(header)) return;

  // The document's own rate (0 converts nothing); one that cannot be read leaves the
  // set's own rate, read just before.
  double rate = 0;
  if (ReadColumn(header, "TransactionExchangeRate", rate)) e.ExchRate = UsableRate(rate);
  int32_t documentID = e.SourceID;
  if (*kind.headerIDColumn && !ReadColumn(header, kind.headerIDColumn, documentID)) return;

  const std::string select = *kind.lineSelect ? std::string(kind.lineSelect) : GeneralJournalLineSelect();
  if (!OpenInto(e.rsDocLines, select + kind.lineFrom + IdText(documentID) + " ;")) return;
  ado::Recordset& lines = *e.rsDocLines;
  ForEachRow(lines, [&] {
    PostDocumentLine(args, lines, kind);
    e.DocLinesUsed = kTrue;
    return true;
  });
  e.DocHeaderUsed = kTrue;
}

}  // namespace

std::string LowestAccountClass(const std::vector<std::string>& accountNumbers) {
  std::string lowest;
  for (size_t i = 1; i < accountNumbers.size(); ++i) {
    if (accountNumbers[i].empty()) continue;
    const std::string cls = accountNumbers[i].substr(0, 1);
    if (lowest.empty() || cls < lowest) lowest = cls;
  }
  return lowest;
}

void MS(TransactionArgs& args) { PostDocument(args, kMoneySpent); }
void MR(TransactionArgs& args) { PostDocument(args, kMoneyReceived); }
void GJ(TransactionArgs& args) { PostDocument(args, kGeneralJournal); }
void WP(TransactionArgs& args) { PostDocument(args, kPayCheque); }

}  // namespace qvx
