#include "groupreports/FilterCons.h"

namespace qvx {

FilterCons& FilterCons::Instance() {
  static FilterCons instance;
  return instance;
}

}  // namespace qvx
