// System calls made by this thread (and threads it starts) while a counter is alive, read
// from the kernel's raw_syscalls:sys_enter tracepoint. Needs tracefs and the right to
// trace (root, or perf_event_paranoid at -1); otherwise Available() is false and the
// count can be taken with `strace -c -f` or `perf stat -e raw_syscalls:sys_enter`.
#pragma once

#include <linux/perf_event.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>

namespace qvx::bench {

class SyscallCount {
 public:
  SyscallCount() {
    long id = -1;
    for (const char* dir : {"/sys/kernel/tracing", "/sys/kernel/debug/tracing"}) {
      std::ifstream in(std::string(dir) + "/events/raw_syscalls/sys_enter/id");
      if (in >> id) break;
    }
    if (id < 0) return;
    perf_event_attr attr{};
    attr.size = sizeof attr;
    attr.type = PERF_TYPE_TRACEPOINT;
    attr.config = static_cast<uint64_t>(id);
    attr.inherit = 1;
    attr.exclude_kernel = 0;
    fd_ = static_cast<int>(::syscall(SYS_perf_event_open, &attr, 0, -1, -1, 0));
  }
  ~SyscallCount() {
    if (fd_ >= 0) ::close(fd_);
  }
  SyscallCount(const SyscallCount&) = delete;
  SyscallCount& operator=(const SyscallCount&) = delete;

  bool Available() const { return fd_ >= 0; }
  // Calls counted since the counter was made (the read itself included).
  int64_t Calls() const {
    uint64_t n = 0;
    if (fd_ < 0 || ::read(fd_, &n, sizeof n) != static_cast<ssize_t>(sizeof n)) return -1;
    return static_cast<int64_t>(n);
  }

 private:
  int fd_ = -1;
};

}  // namespace qvx::bench
