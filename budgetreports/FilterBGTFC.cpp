#include "budgetreports/FilterBGTFC.h"

namespace qvx {

FilterBGTFC& FilterBGTFC::Instance() {
  static FilterBGTFC instance;
  return instance;
}

}  // namespace qvx
