// The number of report lines written in the current run: every line of a report's body
// (detail, total and profit lines), printed or written to the worksheet, counts one;
// headings do not. The reports add to it as they write; the report runner resets it
// before a run and prints it afterwards.
#pragma once

#include <cstdint>

namespace qvx {

inline int64_t ReportRowsWritten = 0;

inline void CountReportRow() { ++ReportRowsWritten; }

}  // namespace qvx
