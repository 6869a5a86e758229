#include "platform/sys/Descriptors.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <random>

#include "platform/runtime/Runtime.h"
#include "platform/sys/Sys.h"

namespace qvx::sys {

int WriteAll(int fd, std::string_view bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    done += static_cast<size_t>(n);
  }
  return 0;
}

int ReadUpTo(int fd, size_t maxBytes, std::string& text) {
  std::array<char, 4096> buf{};
  while (text.size() < maxBytes) {
    const ssize_t n = ::read(fd, buf.data(), std::min(buf.size(), maxBytes - text.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) break;
    text.append(buf.data(), static_cast<size_t>(n));
  }
  return 0;
}

int WriteSyncClose(Fd& f, std::string_view bytes, Flush flush) {
  if (const int e = WriteAll(f.fd, bytes)) return e;
  if (flush == Flush::ToDisk && ::fsync(f.fd) != 0) return errno;
  const int written = f.fd;
  f.fd = -1;
  return ::close(written) != 0 ? errno : 0;
}

bool TryLock(int fd) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0)
    if (errno != EINTR) return false;
  return true;
}

bool HasScratchSuffix(std::string_view name, std::string_view prefix) {
  if (name.size() != prefix.size() + kSuffix || name.substr(0, prefix.size()) != prefix) return false;
  for (char c : name.substr(prefix.size()))
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  return true;
}

void RaiseWithReason(const std::string& what, int e, bool fileMissingButFolderExists) {
  Raise(FileErrorNumber(e, fileMissingButFolderExists), what + ": " + std::strerror(e));
}

std::string MakeUnderNewName(std::string_view prefix, const std::function<bool(const std::string&)>& make,
                             const std::string& what) {
  static constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device random;
  for (int tries = 0;; ++tries) {
    std::string name(prefix);
    for (size_t i = 0; i < kSuffix; ++i) name += kLetters[random() % kLetters.size()];
    if (make(name)) return name;
    if (errno != EEXIST || tries == 100) RaiseWithReason(what, errno);
  }
}

int OpenToRead(int dir, const char* name, struct stat& st) {
  const int fd = ::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0 || ::fstat(fd, &st) == 0) return fd;
  const int e = errno;
  ::close(fd);
  errno = e;
  return -1;
}

bool NamesThat(int dir, const char* name, int fd) {
  struct stat there {}, it {};
  return ::fstatat(dir, name, &there, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &it) == 0 &&
         there.st_dev == it.st_dev && there.st_ino == it.st_ino;
}

std::vector<std::string> NamesIn(int dir) {
  std::vector<std::string> names;
  const int listed = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* d = listed >= 0 ? ::fdopendir(listed) : nullptr;
  if (!d) {
    if (listed >= 0) ::close(listed);
    return names;
  }
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name = e->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  ::closedir(d);
  return names;
}

}  // namespace qvx::sys
