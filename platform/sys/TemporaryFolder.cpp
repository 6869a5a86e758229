#include "platform/sys/TemporaryFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <utility>

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

// Empties the folder open at own through it, and removes its name from the folder open at
// parent only while that name still names it: nothing outside it is touched, whatever the
// names name by now. Should another folder take that name between this look and the
// removal, only an empty one could go.
void RemoveThrough(int parent, const std::string& name, int own) {
  RemoveContents(own);
  if (NamesThat(parent, name.c_str(), own)) ::unlinkat(parent, name.c_str(), AT_REMOVEDIR);
}

// Opens the folder in which the temporary folders are made, and tells its path: TMPDIR
// when the folder opened there is guarded (see Guarded), so that the folder checked is
// the one used, whatever its name names later; else /tmp. -1 when it cannot be opened.
int OpenTemporaryRoot(std::string& root, std::string* passedOver = nullptr) {
  constexpr int kFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  std::error_code ec;
  const std::filesystem::path tmpdir = std::filesystem::temp_directory_path(ec);
  if (!ec && tmpdir != "/tmp") {
    Fd opened{::open(tmpdir.c_str(), kFlags)};
    struct stat st {};
    if (opened.fd >= 0 && ::fstat(opened.fd, &st) == 0 && Guarded(st)) {
      root = tmpdir.string();
      return std::exchange(opened.fd, -1);
    }
    if (passedOver)
      *passedOver = "TMPDIR " + tmpdir.string() +
                    " is not used: other users may rename or replace what is in it (it is theirs, or lacks the "
                    "sticky bit); temporary folders are made in /tmp";
  }
  root = "/tmp";
  return ::open(root.c_str(), kFlags);
}

// The folders of this process's living TemporaryFolders, by device and inode.
struct LivingFolders {
  std::mutex mutex;
  std::set<std::pair<dev_t, ino_t>> folders;
};
LivingFolders& Living() {
  static LivingFolders living;
  return living;
}

std::pair<dev_t, ino_t> IdentityOf(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return {};
  return {st.st_dev, st.st_ino};
}

AbandonedFolderWatch& AbandonedWatch() {
  static AbandonedFolderWatch watch;
  return watch;
}

}  // namespace

std::string TemporaryRoot(std::string* passedOver) {
  std::string root;
  const Fd opened{OpenTemporaryRoot(root, passedOver)};
  return root;
}

TemporaryFolder::TemporaryFolder(std::string_view prefix) {
  std::string root;
  Fd parent{OpenTemporaryRoot(root)};
  const std::string what = "The folder " + root + " cannot be written";
  if (parent.fd < 0) RaiseWithReason(what, errno);
  for (;;) {
    const std::string name = MakeUnderNewName(
        prefix, [&](const std::string& n) { return ::mkdirat(parent.fd, n.c_str(), 0700) == 0; }, what);
    // Between its making and its lock another run's start may have taken it for abandoned
    // and removed it, before or after it was opened here: then another is made.
    Fd own{::openat(parent.fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
    if (own.fd < 0 && errno != ENOENT)
      RaiseWithReason("The folder " + (std::filesystem::path(root) / name).string() + " cannot be opened", errno);
    if (own.fd < 0 || !TryLock(own.fd) || !NamesThat(parent.fd, name.c_str(), own.fd)) continue;
    path_ = (std::filesystem::path(root) / name).string();
    name_ = name;
    std::swap(parent_, parent.fd);
    std::swap(folder_, own.fd);
    const std::lock_guard lock(Living().mutex);
    Living().folders.insert(IdentityOf(folder_));
    return;
  }
}

TemporaryFolder::~TemporaryFolder() {
  {
    const std::lock_guard lock(Living().mutex);
    Living().folders.erase(IdentityOf(folder_));
  }
  RemoveThrough(parent_, name_, folder_);
  ::close(folder_);
  ::close(parent_);
}

Flush FlushInto(int dir) {
  const std::lock_guard lock(Living().mutex);
  if (Living().folders.empty()) return Flush::ToDisk;
  // The folder and those above it, up to the root (whose ".." is itself).
  Fd at{::openat(dir, ".", O_PATH | O_DIRECTORY | O_CLOEXEC)};
  for (auto seen = std::pair<dev_t, ino_t>{}; at.fd >= 0;) {
    const auto identity = IdentityOf(at.fd);
    if (identity == seen) break;
    if (Living().folders.contains(identity)) return Flush::NotNeeded;
    seen = identity;
    Fd up{::openat(at.fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC)};
    std::swap(at.fd, up.fd);
  }
  return Flush::ToDisk;
}

Flush FlushInto(const std::string& folder) {
  {
    const std::lock_guard lock(Living().mutex);
    if (Living().folders.empty()) return Flush::ToDisk;
  }
  const Fd dir{::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)};
  return dir.fd < 0 ? Flush::ToDisk : FlushInto(dir.fd);
}

std::string TemporaryFolder::DescriptorPath() const { return "/proc/self/fd/" + std::to_string(folder_); }

void RemoveAbandonedTemporaryFolders(std::string_view prefix) {
  std::string root;
  const Fd parent{OpenTemporaryRoot(root)};
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
    RemoveThrough(parent.fd, name, f.fd);
  }
}

AbandonedFolderWatch SetAbandonedFolderWatch(AbandonedFolderWatch watch) {
  AbandonedFolderWatch previous = std::move(AbandonedWatch());
  AbandonedWatch() = std::move(watch);
  return previous;
}

}  // namespace qvx::sys
