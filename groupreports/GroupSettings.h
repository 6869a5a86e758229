// The group report's keys of the settings file.
#pragma once

namespace qvx {

// Binds the consolidation options (GroupColPosn, IncludeAverage, RoundWhole, ShowFigures,
// ShowHeaders) to the options dialog's fields.
void BindGroupReportSettings();

}  // namespace qvx
