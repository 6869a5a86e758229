// The cash-basis classification of one journal line by its journal set.
#pragma once

#include "cashbasis/ReadTransactions.h"

namespace qvx {

// Reads the set of the current journal line and, by its journal type, hands the set to
// the handler that follows it to its source document, posts the line itself, or leaves
// it out. Runs inside ReadTransactions, on the cash basis only.
void JournalSet(TransactionArgs& args);

}  // namespace qvx
