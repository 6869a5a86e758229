// The cash-basis document handlers. JournalSet enters one of them for a set whose
// journal type needs its source document: each runs inside ReadTransactions on the
// engine's state (JournalType, SourceID, ExchRate of the set; the current journal line
// in Engine.rsJournal), posts the cash share of the document's lines through
// PostTransaction and returns to JournalSet.
#pragma once

#include "cashbasis/ReadTransactions.h"

namespace qvx {

void Sale(TransactionArgs& args);      // "CP": customer payments
void Purchase(TransactionArgs& args);  // "SP" (or "VP" in a "USA" file): supplier payments
void MS(TransactionArgs& args);        // money spent
void MR(TransactionArgs& args);        // money received
void GJ(TransactionArgs& args);        // general journals
void WP(TransactionArgs& args);        // pay cheques

}  // namespace qvx
