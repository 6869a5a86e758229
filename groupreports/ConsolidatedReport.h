// The output stage of a group run: report lines, totals, column order, layout and the
// printed or workbook report, from what the run has read.
//
// The run calls WriteConsolidatedReport once, after its checks have passed and the
// user's own company file has been connected again (so headings name the user's company
// and use its financial year). Every way out of the output stage simply returns (the
// separate-columns limit, a cancelled printer choice, a workbook that could not be
// started, nothing to print, the report complete): the run then always ends through
// FinishConsolidatedOutput, which ends the print job or saves the workbook. The stage
// sets G.ReportOK when it produced output.
#pragma once

#include "groupreports/ConsolidationData.h"

namespace qvx {

void WriteConsolidatedReport(ConsolidationData& data);

}  // namespace qvx
