// The program's one source of "now". Everything that needs today's date asks here, so
// that tests can fix the date.
#pragma once

#include <chrono>
#include <optional>

namespace qvx::sys {

// The current time, or the time a test has set.
std::chrono::system_clock::time_point Now();
// Fixes the time Now() reports; nullopt returns to the real clock.
void SetNow(std::optional<std::chrono::system_clock::time_point> t);

}  // namespace qvx::sys
