#include "platform/sys/Clock.h"

namespace qvx::sys {

namespace {
struct ClockState {
  std::optional<std::chrono::system_clock::time_point> fixed;
};
ClockState& State() {
  static ClockState s;
  return s;
}
}  // namespace

std::chrono::system_clock::time_point Now() {
  return State().fixed.value_or(std::chrono::system_clock::now());
}

void SetNow(std::optional<std::chrono::system_clock::time_point> t) { State().fixed = t; }

}  // namespace qvx::sys
