// The sale side of the cash basis: a customer payment counts as income as far as it
// pays each sale's lines and freight.
#pragma once

#include <cstdint>

#include "cashbasis/Handlers.h"

namespace qvx {

// Sale (cashbasis/Handlers.h) reads the customer payment Engine.SourceID and its lines
// and runs SaleHeader for each line.

// The sale a payment line pays: on the newer product line's driver looked for among the
// invoices, then among the orders; otherwise among the sales, quotes excluded.
void SaleHeader(TransactionArgs& args, int32_t saleID);

// The line routines, one per sale layout ("S", "I", "P", "T", "M").
void SaleServiceLines(TransactionArgs& args, int32_t saleID);
void SaleItemLines(TransactionArgs& args, int32_t saleID);
void SaleProfessionalLines(TransactionArgs& args, int32_t saleID);
void SaleTimeBillingLines(TransactionArgs& args, int32_t saleID);
void SaleMiscLines(TransactionArgs& args, int32_t saleID);

}  // namespace qvx
