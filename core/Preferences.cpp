#include "core/Preferences.h"

namespace qvx {

Preferences& Preferences::Instance() {
  static Preferences instance;
  return instance;
}

}  // namespace qvx
