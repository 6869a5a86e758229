#include "platform/sys/TemporaryFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/sys/Descriptors.h"
#include "platform/sys/SafeSave.h"

namespace qvx::sys {

namespace {

// Whether only the user and root may rename or replace names in the folder: it is theirs,
// and others who may write to it are kept to their own names by the sticky bit, as in /tmp.
bool Guarded(const struct stat& st) {
  return (st.st_uid == ::geteuid() || st.st_uid == 0) &&
         ((st.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (st.st_mode & S_ISVTX) != 0);
}

// Removes everything in the folder open at dir, through it: a folder within is opened
// without following a link at its name and emptied the same way, a link goes itself.
void RemoveContents(int dir, int depth = 0) {
  for (const std::string& name : NamesIn(dir)) {
    struct stat st {};
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISDIR(st.st_mode)) {
      ::unlinkat(dir, name.c_str(), 0);
      continue;
    }
    Fd sub{depth < 64 ? ::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1};
    if (sub.fd < 0) continue;
    RemoveContents(sub.fd, depth + 1);
    if (NamesThat(dir, name.c_str(), sub.fd)) ::unlinkat(dir, name.c_str(), AT_REMOVEDIR);
  }
}

AbandonedFolderWatch& AbandonedWatch() {
  static AbandonedFolderWatch watch;
  return watch;
}

}  // namespace

std::string TemporaryRoot(std::string* passedOver) {
  std::error_code ec;
  const std::filesystem::path root = std::filesystem::temp_directory_path(ec);
  if (ec || root == "/tmp") return "/tmp";
  struct stat st {};
  if (::stat(root.c_str(), &st) == 0 && Guarded(st)) return root.string();
  if (passedOver)
    *passedOver = "TMPDIR " + root.string() +
                  " is not used: other users may rename or replace what is in it (it is theirs, or lacks the "
                  "sticky bit); temporary folders are made in /tmp";
  return "/tmp";
}

TemporaryFolder::TemporaryFolder(std::string_view prefix) {
  const std::filesystem::path root = TemporaryRoot();
  for (;;) {
    std::string pattern = (root / prefix).string() + "XXXXXX";
    if (!::mkdtemp(pattern.data())) RaiseWithReason("The folder " + root.string() + " cannot be written", errno);
    // Between its making and its lock another run may have taken it for abandoned and
    // removed it, before or after it was opened: then it is made again.
    const int fd = ::open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) continue;
    if (fd < 0) RaiseWithReason("The folder " + pattern + " cannot be opened", errno);
    struct stat st {};
    if (TryLock(fd) && ::fstat(fd, &st) == 0 && st.st_nlink > 0) {
      path_ = pattern;
      lock_ = fd;
      return;
    }
    ::close(fd);
  }
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
  ::close(lock_);
}

void RemoveAbandonedTemporaryFolders(std::string_view prefix) {
  const std::string root = TemporaryRoot();
  Fd parent{::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (parent.fd < 0) return;
  for (const std::string& name : NamesIn(parent.fd)) {
    if (!HasScratchSuffix(name, prefix)) continue;
    Fd f{::openat(parent.fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
    // Another user's folder, one others may enter (not as this program makes them), or
    // one a running process holds, stays.
    struct stat st {};
    if (f.fd < 0 || ::fstat(f.fd, &st) != 0 || st.st_uid != ::geteuid() || (st.st_mode & (S_IRWXG | S_IRWXO)) ||
        !TryLock(f.fd))
      continue;
    if (AbandonedWatch()) AbandonedWatch()(root + "/" + name);
    // From here on the folder is reached only through f, whatever its name names by now;
    // no one else may enter it, so nothing within it changes meanwhile.
    RemoveLeftoverScratchFiles("/proc/self/fd/" + std::to_string(f.fd));
    RemoveContents(f.fd);
    // The emptied folder goes only while its name still names it. Should another folder
    // take that name between this look and the removal, only an empty one could go.
    if (NamesThat(parent.fd, name.c_str(), f.fd)) ::unlinkat(parent.fd, name.c_str(), AT_REMOVEDIR);
  }
}

AbandonedFolderWatch SetAbandonedFolderWatch(AbandonedFolderWatch watch) {
  AbandonedFolderWatch previous = std::move(AbandonedWatch());
  AbandonedWatch() = std::move(watch);
  return previous;
}

}  // namespace qvx::sys
