// The version text the workbook layer reports for its application object.
#pragma once

#include <string>

namespace qvx {

// The application's version text ("12.0"). Raises a run-time error when the
// application cannot be started or asked.
std::string ProbeExcelVersion();

}  // namespace qvx
