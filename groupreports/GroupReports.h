// Entry routine of the group consolidation report and the options-dialog fields the
// settings file keeps.
#pragma once

#include <cstdint>
#include <string>

namespace qvx {

class FilterCons {
 public:
  static FilterCons& Instance();
  std::string GroupColPosn;  // "L" or "R"
  bool IncludeAverage = false;
  int16_t RoundWhole = 0;
  int16_t ShowFigures = 0;
  int16_t ShowHeaders = 0;
};

void RunConsolidatedReport(std::string& reportCode);

}  // namespace qvx
