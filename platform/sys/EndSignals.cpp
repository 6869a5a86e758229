#include "platform/sys/EndSignals.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cerrno>
#include <cstdlib>

namespace qvx::sys {

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

namespace {

constexpr int kEndSignals[] = {SIGHUP, SIGINT, SIGTERM};
int endPipeWrite = -1;
// The first signal, set once. Always lock-free: each thread may take a signal, and two at
// once must still tell the first from the others.
std::atomic<int> firstEndSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

// Runs in any thread, between any two instructions: only async-signal-safe calls. The
// same signal again insists (a second Ctrl+C); another one (the TERM that a start script
// sends on the Ctrl+C that reached the program too) is the same request.
extern "C" void OnEndSignal(int sig) {
  int first = 0;
  if (!firstEndSignal.compare_exchange_strong(first, sig)) {
    if (first != sig) return;
    // The signal is blocked while its handler runs: it ends the program on the return.
    ::signal(sig, SIG_DFL);
    ::raise(sig);
    return;
  }
  const int saved = errno;
  const char byte = static_cast<char>(sig);
  (void)!::write(endPipeWrite, &byte, 1);
  errno = saved;
}

}  // namespace

int CatchEndSignals() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
  endPipeWrite = ends[1];
  struct sigaction action {};
  action.sa_handler = OnEndSignal;
  action.sa_flags = SA_RESTART;
  // One handler at a time, whichever signals come together.
  sigemptyset(&action.sa_mask);
  for (int sig : kEndSignals) sigaddset(&action.sa_mask, sig);
  for (int sig : kEndSignals) {
    struct sigaction before {};
    if (::sigaction(sig, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    ::sigaction(sig, &action, nullptr);
  }
  return ends[0];
}

int EndSignal() { return firstEndSignal.load(); }

void EndBySignal(int sig) {
  ::signal(sig, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, sig);
  ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  ::raise(sig);
  std::_Exit(128 + sig);
}

}  // namespace qvx::sys
