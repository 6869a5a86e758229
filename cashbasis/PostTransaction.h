// The engine's posting module: adds one counted amount into the caller's arrays, and
// looks up the accounts of an item line.
#pragma once

#include <cstdint>

#include "cashbasis/EngineState.h"
#include "cashbasis/ReadTransactions.h"

namespace qvx {

// Posts Engine.PostAmount for the account Engine.PostAcctID, dated by the current
// journal line. Rounds PostAmount to cents and negates it for the credit-normal classes
// in place; on the cash basis refuses a second posting of the same account, journal
// type, source and line in one run. Failures show the engine's error box.
void PostTransaction(TransactionArgs& args);

// The duplicate key of a cash posting: the account number without its hyphen, the
// journal type, the source and the line, separated so that no two postings share it.
std::string MakePostKey(const std::string& accountNumber, const std::string& journalType,
                        int32_t sourceID, int32_t lineID);

// Reads the item Engine.LineItemID from MYOB.Items into rsItems and sets its expense,
// income and inventory accounts and the found flag. An item without a row (or a query
// that fails) gives accounts 0 and the found flag False, so that its line posts nothing.
void GetItemAccounts(EngineRecordset& rsItems, int32_t& expenseAcct, int32_t& incomeAcct,
                     int32_t& inventoryAcct, int16_t& itemFound);

}  // namespace qvx
