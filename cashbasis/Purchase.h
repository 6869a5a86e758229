// The purchase side of the cash basis: a supplier payment ("SP"; on "USA" files a vendor
// payment, "VP") counts as cash paid as far as it pays each purchase's lines and freight.
#pragma once

#include <cstdint>

#include "cashbasis/Handlers.h"

namespace qvx {

// Purchase (cashbasis/Handlers.h) reads the payment Engine.SourceID and its lines and
// runs PurchHeader for each line.

// The purchase Engine.PaidPurchID from MYOB.Purchases: on the newer product line's
// driver read twice (tag "INV", then "ORD"), otherwise once, quotes excluded.
void PurchHeader(TransactionArgs& args);

// The line routines, one per purchase layout ("S", "I", "P", "M").
void PurchServiceLines(TransactionArgs& args, int32_t purchDocID);
void PurchItemLines(TransactionArgs& args, int32_t purchDocID);
void PurchProfessionalLines(TransactionArgs& args, int32_t purchDocID);
void PurchMiscLines(TransactionArgs& args, int32_t purchDocID);

}  // namespace qvx
