// Money spent, money received, general journals and pay cheques on the cash basis: every
// line of the source document counts whole, converted by the document's own rate.
#pragma once

#include <string>
#include <vector>

#include "cashbasis/Handlers.h"

namespace qvx {

// MS, MR, GJ and WP are declared in cashbasis/Handlers.h.

// The class digit the document lines are tested against: the lowest class of the
// caller's account numbers (entries from 1 on; empty entries ignored), "" when none.
// A line of an account of a lower class, or of an account missing from the tables, is
// not posted.
std::string LowestAccountClass(const std::vector<std::string>& accountNumbers);

}  // namespace qvx
