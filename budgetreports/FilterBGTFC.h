// Budget Forecast Options: the dialog's program-wide instance and its public fields.
#pragma once

#include <string>

namespace qvx {

class FilterBGTFC {
 public:
  static FilterBGTFC& Instance();
  std::string ColumnType;  // "A", "B" or "AB"
};

}  // namespace qvx
