// The notice of an end signal to the program's start script: one byte, the signal's
// number, on the descriptor QVX_END_NOTICE_FD names, which nothing the program starts
// inherits.
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
  };
  const Case cases[] = {
      {"a pipe the start reads", nullptr, false, true},
      {"a pipe the start no longer reads", nullptr, true, false},
      {"not a descriptor", "9x", false, false},
      {"a descriptor not open", "250", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int notice[2];
    ASSERT_EQ(::pipe(notice), 0);
    if (c.readerGone) ::close(notice[0]);
    const std::string named = c.named ? c.named : std::to_string(notice[1]);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setenv("QVX_END_NOTICE_FD", named.c_str(), 1);
      sys::TakeEndNotice();
      const bool inherited = std::getenv("QVX_END_NOTICE_FD") || !(::fcntl(notice[1], F_GETFD) & FD_CLOEXEC);
      if (!c.named && inherited) ::_exit(1);
      sys::CatchEndSignals();
      ::raise(SIGHUP);
      ::raise(SIGTERM);  // a copy of the same stop: not told again
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
