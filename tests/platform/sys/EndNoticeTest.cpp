// The notice of an end signal to the program's start script: one byte, the signal's
// number, on the pipe QVX_END_NOTICE_FD names (never a standard descriptor or a file),
// which nothing the program starts inherits.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/sys/EndSignals.h"

namespace qvx {
namespace {

TEST(EndNotice, TheFirstEndSignalIsToldOnTheNamedDescriptorAndNothingStartedInheritsIt) {
  struct Case {
    const char* name;
    const char* named;  // nullptr: the pipe's writing end
    bool readerGone;    // the start script has closed its end
    bool told;
    int at = -1;  // where the child puts the pipe's writing end (0 to 2), or an ordinary file (above 2)
  };
  const Case cases[] = {
      {"a pipe the start reads", nullptr, false, true},
      {"a pipe the start no longer reads", nullptr, true, false},
      {"not a descriptor", "9x", false, false},
      {"a descriptor not open", "250", false, false},
      {"the standard input", nullptr, false, false, 0},
      {"the standard output", nullptr, false, false, 1},
      {"the standard error", nullptr, false, false, 2},
      {"an ordinary file", nullptr, false, false, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int notice[2];
    ASSERT_EQ(::pipe(notice), 0);
    if (c.readerGone) ::close(notice[0]);
    const int given = c.at >= 0 ? c.at : notice[1];
    const std::string named = c.named ? c.named : std::to_string(given);
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (c.at >= 0) ::dup2(c.at > 2 ? ::open("/tmp", O_TMPFILE | O_RDWR, 0600) : notice[1], c.at);
      ::setenv("QVX_END_NOTICE_FD", named.c_str(), 1);
      sys::TakeEndNotice();
      // One not taken is left as it was, for the programs started.
      const bool taken = ::fcntl(given, F_GETFD) & FD_CLOEXEC;
      if (std::getenv("QVX_END_NOTICE_FD") || (!c.named && taken != (c.told || c.readerGone))) ::_exit(1);
      sys::CatchEndSignals();
      ::raise(SIGHUP);
      ::raise(SIGTERM);  // a copy of the same stop: not told again
      if (c.at > 2 && ::lseek(c.at, 0, SEEK_END) != 0) ::_exit(1);
      ::_exit(0);
    }
    ASSERT_GT(pid, 0);
    ::close(notice[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    if (c.readerGone) continue;
    char told[4] = {};
    const ssize_t n = ::read(notice[0], told, sizeof told);
    ::close(notice[0]);
    if (c.told) {
      ASSERT_EQ(n, 1);
      EXPECT_EQ(told[0], SIGHUP);
    } else {
      EXPECT_EQ(n, 0);
    }
  }
}

}  // namespace
}  // namespace qvx
