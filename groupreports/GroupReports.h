// Entry routine of the group consolidation report.
#pragma once

#include <string>

#include "groupreports/FilterCons.h"

namespace qvx {

void RunConsolidatedReport(std::string& reportCode);

}  // namespace qvx
