#include "platform/sys/ProgramEnding.h"

#include <atomic>

namespace qvx::sys {

namespace {
// The signal is taken in any thread, between any two instructions: atomics that are
// always lock-free.
std::atomic<int> endSignal{0};
std::atomic<bool> begun{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);
}  // namespace

void BeginProgramEnding() { begun.store(true); }

bool ProgramEnding() { return begun.load(); }

int EndSignal() { return endSignal.load(); }

bool TakeEndSignal(int sig) {
  int none = 0;
  return endSignal.compare_exchange_strong(none, sig);
}

void ForgetProgramEnding() {
  begun.store(false);
  endSignal.store(0);
}

}  // namespace qvx::sys
