// A test's child process: ended and waited for when the test leaves early, so that a
// failing test never leaves it holding ctest's output. Wait() gives its status.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <utility>

namespace qvx {

struct Child {
  pid_t pid = -1;
  ~Child() {
    if (pid > 0) ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
  }
  int Wait() {
    int status = -1;
    return ::waitpid(std::exchange(pid, -1), &status, 0) < 0 ? -1 : status;
  }
};

}  // namespace qvx
