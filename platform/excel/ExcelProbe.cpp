#include "platform/excel/ExcelProbe.h"

namespace qvx {

// Workbooks are written by our own layer, which always offers the .xlsx format.
std::string ProbeExcelVersion() { return "12.0"; }

}  // namespace qvx
