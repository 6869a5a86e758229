// The run-time error a statement raises, for the data-access tests.
#pragma once

#include <functional>
#include <string>

#include "platform/runtime/Runtime.h"

namespace qvx::test {

// The error number the statement raised (0 when none), and its description if asked.
inline int ErrorOf(const std::function<void()>& f, std::string* description = nullptr) {
  try {
    f();
  } catch (const VbError& e) {
    if (description) *description = e.Description();
    return e.Number();
  }
  return 0;
}

}  // namespace qvx::test
