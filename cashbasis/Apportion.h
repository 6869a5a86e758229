// What the cash-basis document handlers share: reading rows of the engine's recordsets
// one statement at a time, and apportioning a payment over a document's lines and
// freight (the paid share, the exchange rate, the cent step). Sales and purchases pay
// their documents the same way; only their queries, tables and signs differ.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cashbasis/EngineState.h"
#include "cashbasis/ReadTransactions.h"
#include "platform/ado/Ado.h"

namespace qvx {

// Queries the document handlers have sent since the program started, item queries
// included: what a cash-basis read costs beyond its journal and set queries.
struct HandlerCounters {
  int64_t queries = 0;
};
inline HandlerCounters HandlerStats;

// True the first time in a run that a handler meets the current journal line's set at
// that line's date. Every further line of the set would offer the same postings, dated
// alike, which the posting guard refuses or which fail as they did the first time: the
// handler returns at once instead of sending the same queries again.
bool FirstPassOfSet();

// ---- reading rows

// Runs body for each row of rs from the current one on, in the order the driver returns
// them, while body returns true. A failure to test for the end or to move on shows the
// engine's error box and ends the loop, so that no row is read twice.
template <class F>
void ForEachRow(ado::Recordset& rs, F&& body) {
  for (;;) {
    bool atEnd = true;
    if (!EngineStep([&] { atEnd = rs.Eof(); }) || atEnd) return;
    if (!body()) return;
    if (!EngineStep([&] { rs.MoveNext(); })) return;
  }
}

// True when rs stands on a row (false at its end, or after a failure shown in the box).
bool HasRow(const ado::Recordset& rs);

// Reads one column of the current row into out. A value that cannot be read (a null, a
// text that is no number, a missing column) shows the engine's error box, leaves out
// unchanged and gives false: the caller then skips the row rather than use a value
// left over from an earlier row.
bool ReadColumn(const ado::Recordset& rs, std::string_view column, int32_t& out);
bool ReadColumn(const ado::Recordset& rs, std::string_view column, Money& out);
bool ReadColumn(const ado::Recordset& rs, std::string_view column, double& out);
bool ReadColumn(const ado::Recordset& rs, std::string_view column, std::string& out);

// Runs sql (left in Conn.SQLStr) into rs, or takes the answer held for it (OpenAnswer);
// false when the reader returned no recordset (it has shown why) and the caller has
// nothing to read.
bool OpenInto(EngineRecordset& rs, const std::string& sql, bool keepEarlier = false);

// An identifier as the queries write it: decimal digits, a minus sign when negative.
inline std::string IdText(int32_t id) { return std::to_string(id); }

// ---- apportioning a payment

// An amount converted by the rate of the set or document being read, as the product
// stored back as money; a rate of 0 or 1 converts nothing.
Money AtRate(Money amount);

// Starts a document paid by the payment line in Engine.AmountApplied: DocGross, the
// paid share PayRatio (1.0 when the amount applied or the document's gross is 0), the
// line target TargetSum (the paid share of the line total at the set's rate, to cents,
// so that the cent step compares like with like) and RunSum.
void StartDocument(Money totalLines, Money freight, Money tax);

// A line's paid share at the set's rate, to cents, with the cent step against the
// target: the line after which exactly one cent is missing (or too much) takes it.
// Adds the result to RunSum.
Money LineShare(Money base);

// The paid share of a document's freight at the set's rate, to cents; no cent step.
Money FreightShare(Money freight);

// Posts the paid share of a document's freight once per run, payment and document:
// Engine.FreightDone remembers the documents of the current set whose freight is done.
// The posting carries a line identifier of its own (derived from the document), so no
// line posting on the freight account can shadow it. credit: sales post it negated.
struct FreightPosting {
  int32_t docID = 0;
  int32_t account = 0;
  Money freight;
  bool credit = false;
};
void PostFreight(TransactionArgs& args, const FreightPosting& freight);

// ---- the paid documents and their lines

// Where a document line's amount is posted.
enum class LineAccount {
  Column,       // the line's own AccountID
  ItemIncome,   // the IncomeAccountID of the line's item
  ItemExpense,  // the ExpenseAccountID of the line's item
  Activity,     // the IncomeAccountID of the line's activity
};

// One line query of a paid document and how its rows are posted.
struct PaidLines {
  std::string sql;
  const char* lineIDColumn = "";  // SaleLineID, PurchaseLineID
  LineAccount account = LineAccount::Column;
  const char* amountColumn = "";  // TaxExclusiveAmount, TaxExclusiveTotal
  bool credit = false;            // sales: posted negated
  bool costOfGoods = false;       // sold items: their cost of goods sold too
};

// Reads the lines into Engine.rsDocLines and posts each line's paid share (LineShare)
// to its account. A line whose columns, item or activity cannot be found is skipped.
// With costOfGoods, an item line's CostofGoodsSoldAmount is posted at the paid share to
// the item's expense account, so that a sale paid in parts posts its cost once in all.
void PostPaidLines(TransactionArgs& args, const PaidLines& lines);

// A paid document: its header columns, freight account, sign and line routines.
struct PaidDocument {
  const char* idColumn = "";      // SaleID, PurchaseID
  const char* typeColumn = "";    // InvoiceTypeID, PurchaseTypeID
  const char* statusColumn = "";  // InvoiceStatusID, PurchaseStatusID
  int32_t freightAccount = 0;
  bool credit = false;
  // Runs the line routine of the document's type (none for an unknown type).
  void (*lines)(TransactionArgs& args, const std::string& type, int32_t docID) = nullptr;
};

// Opens the header query sql into Engine.rsDocHeader and, per header row, apportions
// the payment line in Engine.AmountApplied over the document: the paid share and the
// target, the lines of its type, then its freight. A row of status "OR" ends the query;
// a row whose columns cannot be read is skipped.
void OpenPaidDocument(TransactionArgs& args, const std::string& sql, const PaidDocument& doc);

}  // namespace qvx
