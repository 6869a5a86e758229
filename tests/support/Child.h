// A test's child process: ended and waited for when the test leaves early, so that a
// failing test never leaves it holding ctest's output. Wait() gives its status; Heard(fd)
// whether it wrote a byte on the pipe fd within a minute, far beyond what a sound child
// takes on a busy machine, so that a broken one fails its test rather than hang it.
#pragma once

#include <poll.h>
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
  static bool Heard(int fd) {
    pollfd ready{fd, POLLIN, 0};
    char byte = 0;
    return ::poll(&ready, 1, 60000) == 1 && ::read(fd, &byte, 1) == 1;
  }
};

}  // namespace qvx
