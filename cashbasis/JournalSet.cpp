#include "cashbasis/JournalSet.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "cashbasis/EngineState.h"
#include "cashbasis/Handlers.h"
#include "cashbasis/PostTransaction.h"
#include "companyfile/Connection.h"

namespace qvx {

namespace {

// Journal types whose lines never count as cash.
constexpr std::array<std::string_view, 10> kLeftOut = {"IA", "IT", "PL", "PS", "PO",
                                                       "SC", "SD", "SI", "CDC", "SDC"};

bool IsLeftOut(const std::string& type) {
  return std::find(kLeftOut.begin(), kLeftOut.end(), type) != kLeftOut.end();
}

// Reads the set row's type, source and rate. The type and the source decide where the
// line goes: when either cannot be read the row is left out, rather than classified
// by the previous set's values.
bool ReadSetRow(ado::Recordset& rs) {
  EngineState& e = Engine;
  bool ok = EngineStep([&] { e.JournalType = rs.Fields("JournalTypeID").Value().ToString(); });
  ok = EngineStep([&] { e.SourceID = rs.Fields("SourceID").Value().ToLong(); }) && ok;
  double rate = 1.0;
  EngineStep([&] { rate = rs.Fields("TransactionExchangeRate").Value().ToDouble(); });
  e.ExchRate = UsableRate(rate);
  return ok;
}

void Classify(TransactionArgs& a) {
  EngineState& e = Engine;
  const std::string& type = e.JournalType;
  const bool usa = IsUSAFile();

  if (IsLeftOut(type)) e.FlagOK = kFalse;
  if (type == "GJ") e.FlagOK = a.IncludeGJ ? kTrue : kFalse;
  if (!usa && type == "SDC") e.FlagOK = kFalse;
  if (usa && type == "VDC") e.FlagOK = kFalse;

  if (e.FlagOK) {
    void (*handler)(TransactionArgs&) = nullptr;
    if (type == "GJ") handler = GJ;
    else if (type == "MS") handler = MS;
    else if (type == "MR") handler = MR;
    else if (type == "WP") handler = WP;
    if (handler) {
      EngineStep([&] { handler(a); });
      e.FlagOK = kFalse;
    }
  }
  if (e.FlagOK) {
    void (*handler)(TransactionArgs&) = nullptr;
    if (type == "CP") handler = Sale;
    else if (!usa && type == "SP") handler = Purchase;
    else if (usa && type == "VP") handler = Purchase;
    if (handler) {
      EngineStep([&] { handler(a); });
      e.FlagOK = kFalse;
    }
  }

  // The line posted itself. It carries its own journal record as its line, so that two
  // lines of one set on the same account are both counted.
  if (!e.JrnAmount.IsZero() && e.FlagOK) {
    e.PostAmount = e.JrnAmount;
    if (type == "CFC" || type == "CRC") e.PostAmount = -e.PostAmount;
    const int32_t handlerLine = e.LineID;
    e.LineID = e.JrnRecordID;
    PostTransaction(a);
    e.LineID = handlerLine;
  }
}

}  // namespace

void JournalSet(TransactionArgs& a) {
  EngineState& e = Engine;
  if (!EngineStep([&] { e.JrnSetID = e.rsJournal->Fields("SetID").Value().ToLong(); })) return;

  Conn.SQLStr = "SELECT SetID, JournalTypeID, SourceID, TransactionNumber, Memo, CurrencyID, TransactionExchangeRate ";
  Conn.SQLStr += "FROM MYOB.JournalSets ";
  Conn.SQLStr += "WHERE SetID = " + std::to_string(e.JrnSetID) + " ;";
  OpenAnswer(e.rsJournalSet, Conn.SQLStr);
  if (!e.rsJournalSet) return;  // the reader has shown why; the line has nothing to classify

  ado::Recordset& rs = *e.rsJournalSet;
  for (;;) {
    bool atEnd = true;
    if (!EngineStep([&] { atEnd = rs.Eof(); }) || atEnd) break;
    if (ReadSetRow(rs)) Classify(a);
    e.JournalSetUsed = kTrue;
    if (!EngineStep([&] { rs.MoveNext(); })) break;
  }
}

}  // namespace qvx
