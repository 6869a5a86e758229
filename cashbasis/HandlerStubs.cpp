// Until the document handlers are written, a set that needs one posts nothing.
#include "cashbasis/Handlers.h"

namespace qvx {

void Sale(TransactionArgs&) {}
void Purchase(TransactionArgs&) {}
void MS(TransactionArgs&) {}
void MR(TransactionArgs&) {}
void GJ(TransactionArgs&) {}
void WP(TransactionArgs&) {}

}  // namespace qvx
