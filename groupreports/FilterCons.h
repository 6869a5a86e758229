// Consolidation options: the dialog's program-wide instance and its public fields.
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

}  // namespace qvx
