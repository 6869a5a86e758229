// The transaction engine's own state: the journal line and set being read, the posting
// context handed to PostTransaction, the payment apportionment of the document
// handlers, the run's duplicate-key guard and the engine's recordsets. One instance,
// `Engine`, lives for the whole program; a run resets only what ReadTransactions says.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/ado/Ado.h"
#include "platform/runtime/Runtime.h"

namespace qvx {

using EngineRecordset = std::unique_ptr<ado::Recordset>;

struct EngineState {
  // ---- the journal line being read
  int32_t RecCounter = 0;     // journal lines processed in this run
  int32_t JrnYMD = 0;         // the line's TransactionDate as the number yyyymmdd
  int32_t JrnRecordID = 0;    // JournalRecordID of the line
  int32_t JrnSetID = 0;
  Money JrnAmount;            // TaxExclusiveAmount of the line
  int16_t FlagOK = 0;         // the line still counts
  bool LineReadOK = false;    // every column of the line could be read

  // ---- the journal set
  std::string JournalType;    // also shown in the error box
  int32_t SourceID = 0;
  double ExchRate = 1.0;
  double PayRatio = 1.0;
  int16_t ApplyRate = kTrue;

  // ---- the posting context
  int32_t PostAcctID = 0;
  Money PostAmount;
  int32_t LineID = 0;         // the source-document line; part of the duplicate key
  int16_t InMonth = 0, InRange = 0;
  int32_t PostYMD = 0;        // yyyymmdd of the amount being posted
  // The period keys as numbers, so that a date is placed by comparing whole numbers:
  // G's yyyymmdd texts as they stand when the read begins (after a last-year move).
  struct PeriodKeys {
    int32_t finYearStart = 0, from = 0, to = 0, finYearEnd = 0;
  } Period;
  std::string FirstAcctClass;
  std::string AcctClass;
  std::string PostKey;
  // Keys of this run's cash postings: the count and capacity of the caller's key list,
  // and the same keys in a hash set for the lookup.
  int32_t KeyCount = 0;
  int32_t KeyCap = 0;
  std::unordered_set<std::string> PostedKeys;

  // ---- payment apportionment and documents (the document handlers)
  Money AmountApplied, DocGross, TargetSum, RunSum, CentDiff;
  // Freight posted in this run, by journal type, payment and document: each payment
  // posts its own share of a document's freight once.
  std::set<std::tuple<std::string, int32_t, int32_t>> FreightDone;
  // Sets whose document handler has run in this run, by set and journal-line date: a
  // further line of the same set and date would offer the same postings again.
  std::set<std::pair<int32_t, int32_t>> HandledSets;
  std::string DocTag;
  int32_t SuppPaymentID = 0;
  int32_t PaidPurchID = 0;
  int32_t PurchDocID = 0;     // the purchase header being read
  int32_t SaleDocID = 0;      // the sale paid by the current payment line
  int32_t LineItemID = 0;
  int32_t IncomeAcct = 0, ExpenseAcct = 0, InventoryAcct = 0;
  int32_t ActivityAcct = 0;   // income account of a time-billing line's activity

  // ---- recordsets and their open flags
  EngineRecordset rsJournal, rsJournalSet, rsPayment, rsPaymentLines, rsPurchPayLines,
      rsDocHeader, rsDocLines, rsActivities, rsItems;
  int16_t JournalUsed = 0, JournalSetUsed = 0, CustPayLinesUsed = 0, PayLinesUsed = 0,
          DocHeaderUsed = 0, DocLinesUsed = 0, ActivityUsed = 0, ItemFound = 0;

  // ---- answers held for reuse
  // The query each recordset above was last opened with. Consecutive journal lines of
  // one set, and repeated payments, documents and items, ask the same query again; its
  // answer, already held, is walked again from its first row instead.
  struct HeldAnswer {
    const ado::Recordset* rs = nullptr;
    std::string sql;
    // Earlier answers of a look-up into a small table (items, activities), by query.
    std::unordered_map<std::string, EngineRecordset> kept;
  };
  std::unordered_map<const EngineRecordset*, HeldAnswer> Answers;
  bool ReuseAnswers = true;  // off: every query is sent again, as a check of the reuse

  // ---- account look-ups of the read running
  // The account index each account ID gave in this read (-2: not looked up yet). The
  // caller's account table stays as it is while a read runs, and a journal names the same
  // few accounts on many lines.
  bool Reading = false;
  std::vector<int32_t> AccountIndexByID;
};

// Queries the engine's per-line lookups have sent to the driver and answered from what
// they held, since the program started.
struct AnswerCounters {
  int64_t sent = 0;
  int64_t reused = 0;
};
inline AnswerCounters AnswerStats;

inline EngineState Engine;

// The engine's error box: "An error has occurred - ", the description, a line break,
// "Type = " and the current journal type, titled "Error Message".
void ShowEngineError(const std::exception& e);

// Runs one statement of the engine; a failure shows the error box and the run goes on
// with the next statement. Returns false when the statement failed.
template <class F>
bool EngineStep(F&& statement) {
  try {
    statement();
    return true;
  } catch (const std::exception& e) {
    ShowEngineError(e);
    return false;
  }
}

// Opens sql (as Conn.SQLStr holds it) into rs, through the company file's reader; or,
// when rs still holds the answer to that same query from this run, stands it on its
// first row again. A failed query leaves rs empty and is not held.
// With keepEarlier, the answers of earlier queries are kept too (up to a few thousand),
// for look-ups into small tables whose keys come back but not one after the other.
void OpenAnswer(EngineRecordset& rs, const std::string& sql, bool keepEarlier = false);

// Forgets the held answers: at the start and end of each run, so that no answer outlives
// the file it came from.
void ForgetAnswers();

// The account index of account ID `id` in `ids` as FindAccountIndex gives it (and sets
// G.AccountIndex), remembered for the rest of the read when a read runs.
int32_t AccountIndexOf(const std::vector<int32_t>& ids, int32_t id);

// The exchange rate a set or document is converted by: a missing (0) or meaningless
// (negative) rate converts nothing.
inline double UsableRate(double rate) { return rate > 0.0 ? rate : 1.0; }

// Takes G's period keys (FinYearStartYMD, FromYMD, ToYMD, FinYearEndYMD) into
// Engine.Period. Every key has eight digits, so that the numbers order as the texts do.
void TakePeriodKeys();

// The number yyyymmdd of a date.
inline int32_t DayKey(const ado::Date& d) { return (d.year * 100 + d.month) * 100 + d.day; }

// True for a company file of country "USA", whose journal types differ.
bool IsUSAFile();

}  // namespace qvx
