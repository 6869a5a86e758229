#include "platform/sys/EndSignals.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace qvx::sys {

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

namespace {

constexpr int kEndSignals[] = {SIGHUP, SIGINT, SIGTERM};
int endPipeWrite = -1;
int endNotice = -1;
// Each thread may take a signal, and two at once must still tell the first from the
// others: atomics that are always lock-free.
// When the first signal came (0 until then); the signal itself is EndSignal().
std::atomic<int64_t> firstEndNs{0};
// The writes under way that an insisting signal waits for, and the signal that waits.
std::atomic<int> writesUnderWay{0};
std::atomic<int> insisting{0};
// The line an insisting signal says as it ends the program at once.
std::atomic<const char*> endedAtOnce{nullptr};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<int64_t>::is_always_lock_free &&
              std::atomic<const char*>::is_always_lock_free);

int64_t MonotonicNs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// To the start script, which may be gone: a pipe without a reader must not end the
// program by SIGPIPE.
void WriteNotice(int sig) {
  if (endNotice < 0) return;
  struct sigaction ignore {}, before {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  const bool ignored = ::sigaction(SIGPIPE, &ignore, &before) == 0;
  const char byte = static_cast<char>(sig);
  (void)!::write(endNotice, &byte, 1);
  if (ignored) ::sigaction(SIGPIPE, &before, nullptr);
}

void SayEndedAtOnce() {
  if (const char* line = endedAtOnce.load()) (void)!::write(STDERR_FILENO, line, std::strlen(line));
}

// Runs in any thread, between any two instructions: only async-signal-safe calls.
extern "C" void OnEndSignal(int sig) {
  const int saved = errno;
  const int64_t now = MonotonicNs();
  if (TakeEndSignal(sig)) {
    firstEndNs.store(now);
    const char byte = static_cast<char>(sig);
    (void)!::write(endPipeWrite, &byte, 1);
    WriteNotice(sig);
    errno = saved;
    return;
  }
  // A copy of the same stop (a time not yet stored is one being stored now).
  const int64_t firstNs = firstEndNs.load();
  if (firstNs == 0 || now - firstNs < int64_t{kInsistAfterMs} * 1'000'000) {
    errno = saved;
    return;
  }
  int none = 0;
  insisting.compare_exchange_strong(none, sig);
  // Told after the insisting signal is set: of this and the end of the last write, at
  // least one sees the other, and ends the program.
  if (writesUnderWay.load() > 0) {
    errno = saved;
    return;
  }
  SayEndedAtOnce();
  // The signal is blocked while its handler runs: it ends the program on the return.
  ::signal(sig, SIG_DFL);
  ::raise(sig);
  errno = saved;
}

}  // namespace

void TakeEndNotice() {
  const char* named = std::getenv("QVX_END_NOTICE_FD");
  if (!named) return;
  const std::string text = named;
  ::unsetenv("QVX_END_NOTICE_FD");
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9) return;
  const int fd = std::stoi(text);
  // Only a pipe beyond the standard three: the byte must reach the start script alone, not
  // whatever reads the program's input, output or error or a file, and marking one of
  // those close-on-exec would take it from every program started.
  struct stat st {};
  if (fd <= STDERR_FILENO || ::fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode)) return;
  const int flags = ::fcntl(fd, F_GETFD);
  if (flags < 0 || ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC) != 0) return;
  endNotice = fd;
}

int CatchEndSignals() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
  endPipeWrite = ends[1];
  ForgetProgramEnding();
  firstEndNs = 0;
  insisting = 0;
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

void SayWhenEndedAtOnce(const char* line) { endedAtOnce.store(line); }

void EndBySignal(int sig) {
  ::signal(sig, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, sig);
  ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  ::raise(sig);
  std::_Exit(128 + sig);
}

EndAfterWrite::EndAfterWrite() { writesUnderWay.fetch_add(1); }

EndAfterWrite::~EndAfterWrite() {
  if (writesUnderWay.fetch_sub(1) == 1) {
    if (const int sig = insisting.load()) {
      SayEndedAtOnce();
      EndBySignal(sig);
    }
  }
}

}  // namespace qvx::sys
