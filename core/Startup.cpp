#include "core/Startup.h"

namespace qvx {

void Main() {}

}  // namespace qvx
