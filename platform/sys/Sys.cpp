#include "platform/sys/Sys.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <filesystem>

#include <QDir>
#include <QStandardPaths>

#include "platform/runtime/Runtime.h"
#include "platform/sys/Descriptors.h"
#include "platform/sys/TemporaryFolder.h"

namespace qvx::sys {

namespace {

struct SysState {
  std::string programFolder;  // set by tests; empty: the executable's folder
};
SysState& State() {
  static SysState s;
  return s;
}

std::string ExecutableFolder() {
  std::array<char, PATH_MAX + 1> buf{};
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), PATH_MAX);
  if (n <= 0) return std::filesystem::current_path().string();
  std::string exe(buf.data(), static_cast<size_t>(n));
  auto slash = exe.rfind('/');
  if (slash == 0) return "/";
  return slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
}

}  // namespace

std::string ProgramFolder() {
  auto& s = State();
  if (!s.programFolder.empty()) return s.programFolder;
  static const std::string exeFolder = ExecutableFolder();
  return exeFolder;
}

void SetProgramFolder(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  State().programFolder = std::move(folder);
}

std::string InProgramFolder(std::string_view fileName) {
  std::string folder = ProgramFolder();
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder + std::string(fileName);
}

std::string DesktopFolder() {
  QString d = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  std::string s = d.toStdString();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

std::string ExistingFolderOrHome(const std::string& folder) {
  std::error_code ec;
  if (!folder.empty() && std::filesystem::is_directory(folder, ec)) return folder;
  return QDir::homePath().toStdString();
}

// ---------------------------------------------------------------- files

int FileErrorNumber(int e, bool fileMissingButFolderExists) {
  switch (e) {
    case ENOENT: return fileMissingButFolderExists ? err::FileNotFound : err::PathNotFound;
    case ENOTDIR: return err::PathNotFound;
    case EACCES:
    case EPERM:
    case ETXTBSY: return err::PermissionDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return err::DiskFull;
    case EIO: return err::DeviceIO;
    case EMFILE:
    case ENFILE: return 67;  // too many files
    case ENOMEM: return err::OutOfMemory;
    default: return err::PathFileAccess;
  }
}

namespace {

bool FolderOf(const std::string& path, std::string& folder) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) {
    folder = ".";
  } else {
    folder = slash == 0 ? std::string("/") : path.substr(0, slash);
  }
  struct stat st {};
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

[[noreturn]] void RaiseFileError(const std::string& path, int e) {
  // Taken as a full disk, but told as what it is: a file beyond the size the process
  // (ulimit -f) or the file system allows.
  if (e == EFBIG) Raise(err::DiskFull, "File size limit exceeded");
  std::string folder;
  Raise(FileErrorNumber(e, e != ENOENT || FolderOf(path, folder)));
}

}  // namespace

std::vector<std::string> ReadTextLines(const std::string& path, size_t maxLines, size_t maxBytes) {
  // Without waiting: opening a pipe for reading would wait for a writer for ever.
  Fd f{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  if (f.fd < 0) RaiseFileError(path, errno);
  struct stat st {};
  if (::fstat(f.fd, &st) != 0) RaiseFileError(path, errno);
  if (S_ISDIR(st.st_mode)) Raise(err::PathFileAccess, "a folder, not a file");
  if (!S_ISREG(st.st_mode)) Raise(err::PathFileAccess, "not an ordinary file but a device, pipe or socket");
  if (static_cast<uint64_t>(st.st_size) > maxBytes)
    Raise(err::PathFileAccess, "larger than the " + std::to_string(maxBytes / 1024) + " KB it may have");

  std::vector<std::string> lines;
  std::string current;
  bool pending = false;   // current holds the start of a line not yet ended
  bool afterCr = false;   // the last byte was a CR, so a following LF belongs to it
  std::array<char, 65536> buf{};
  size_t left = maxBytes;  // a file that grows while it is read is cut here
  while (lines.size() < maxLines && left > 0) {
    ssize_t n = ::read(f.fd, buf.data(), std::min(buf.size(), left));
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseFileError(path, errno);
    }
    if (n == 0) break;
    left -= static_cast<size_t>(n);
    for (ssize_t k = 0; k < n && lines.size() < maxLines; ++k) {
      char c = buf[static_cast<size_t>(k)];
      if (c == '\n' && afterCr) {
        afterCr = false;
        continue;
      }
      afterCr = false;
      if (c == '\r' || c == '\n') {
        afterCr = c == '\r';
        lines.push_back(FromCp1252(current));
        current.clear();
        pending = false;
      } else {
        current.push_back(c);
        pending = true;
      }
    }
  }
  if (pending && lines.size() < maxLines) lines.push_back(FromCp1252(current));
  return lines;
}

void WriteTextLines(const std::string& path, const std::vector<std::string>& lines, bool replaceProtected,
                    Readers readers) {
  std::string bytes;
  for (auto& l : lines) {
    bytes += ToCp1252(l);
    bytes += "\r\n";
  }
  std::string folder;
  if (!FolderOf(path, folder)) Raise(err::PathNotFound);
  // A file the user may not write stays as it is, although the folder would allow
  // replacing it.
  if (!replaceProtected && ::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0)
    RaiseFileError(path, EACCES);
  // The temporary file is locked until it has taken the file's place, so that another
  // copy of the program starting meanwhile leaves it alone (RemoveUnlessHeld). One that
  // such a start removed before it was locked is made again.
  std::string tmp;
  int made = -1, lockFd = -1;
  for (;;) {
    std::string name = path + std::string(kRewriteMark) + "XXXXXX";
    made = ::mkstemp(name.data());
    if (made < 0) RaiseFileError(path, errno);
    tmp = name;
    lockFd = ::open(tmp.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat now {};
    const bool locked = lockFd >= 0 && TryLock(lockFd);
    const bool takenAway = lockFd < 0 ? errno == ENOENT
                                      : locked ? ::fstat(lockFd, &now) == 0 && now.st_nlink == 0
                                               : errno == EWOULDBLOCK;
    if (!takenAway) break;
    if (lockFd >= 0) ::close(lockFd);
    ::close(made);
  }
  Fd f{made};
  Fd held{lockFd};
  auto fail = [&](int e) {
    ::unlink(tmp.c_str());
    RaiseFileError(path, e);
  };
  // Keep the permissions of the file being replaced, but readable and writable for its
  // owner again; a new file gets the usual ones. A file for its owner alone loses every
  // permission of its group and of others, whatever the file or the umask had.
  const bool ownerOnly = readers == Readers::OwnerOnly;
  struct stat st {};
  mode_t mode = ownerOnly ? S_IRUSR | S_IWUSR : 0666;
  if (::stat(path.c_str(), &st) == 0) {
    mode = (st.st_mode & (ownerOnly ? S_IRWXU : 07777)) | S_IRUSR | S_IWUSR;
  } else if (!ownerOnly) {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode &= ~mask;
  }
  if (::fchmod(f.fd, mode) != 0) fail(errno);
  if (const int e = WriteSyncClose(f, bytes, FlushInto(folder))) fail(e);
  if (::rename(tmp.c_str(), path.c_str()) != 0) fail(errno);
}

std::string RewrittenFileName(std::string_view name) {
  const size_t mark = name.rfind(kRewriteMark);
  if (mark == 0 || mark == std::string_view::npos || !HasScratchSuffix(name.substr(mark), kRewriteMark)) return {};
  return std::string(name.substr(0, mark));
}

}  // namespace qvx::sys

namespace qvx::sys {

// ---------------------------------------------------------------- the program's own files

namespace {

[[noreturn]] void Refuse(const std::string& what, const std::string& why) {
  Raise(err::PathFileAccess, what + " " + why);
}

// Opens the folder of the program's own files without following a link at its name, and
// only when it is the user's and no one else may write to it. -1 when it is missing and
// not to be made; a folder made here is the user's alone.
int OpenOwnFolder(const std::string& folder, bool make) {
  const std::string what = "The folder " + folder;
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  bool made = false;
  Fd dir{::open(folder.c_str(), kFlags)};
  if (dir.fd < 0 && errno == ENOENT && make) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(folder).parent_path(), ec);
    made = ::mkdir(folder.c_str(), 0700) == 0;
    if (!made && errno != EEXIST) RaiseWithReason(what + " cannot be made", errno);
    dir.fd = ::open(folder.c_str(), kFlags);
  }
  if (dir.fd < 0) {
    const int e = errno;
    struct stat st {};
    if (e == ENOENT && !make) return -1;
    if (e == ELOOP || (e == ENOTDIR && ::lstat(folder.c_str(), &st) == 0 && S_ISLNK(st.st_mode)))
      Refuse(what, "is a link, not a folder");
    if (e == ENOTDIR) Refuse(what, "is not a folder");
    RaiseWithReason(what + " cannot be opened", e);
  }
  struct stat st {};
  if (::fstat(dir.fd, &st) != 0) RaiseWithReason(what + " cannot be opened", errno);
  if (st.st_uid != ::geteuid()) Refuse(what, "belongs to another user");
  // The user's own folder that others may write to (made under umask 002, say) is made the
  // user's alone before anything in it is used: from then on only the user adds to it, and
  // what others put there before is theirs, not the user's, so it is refused file by file.
  if (made) ::fchmod(dir.fd, 0700);
  else if ((st.st_mode & (S_IWGRP | S_IWOTH)) && ::fchmod(dir.fd, 0700) != 0)
    RaiseWithReason(what + " can be written by other users and cannot be made the user's alone", errno);
  const int fd = dir.fd;
  dir.fd = -1;
  return fd;
}

void CheckOwnFile(const std::string& path, const struct stat& st) {
  if (S_ISLNK(st.st_mode)) Refuse("The file " + path, "is a link");
  if (!S_ISREG(st.st_mode)) Refuse("The file " + path, "is not an ordinary file");
  if (st.st_uid != ::geteuid()) Refuse("The file " + path, "belongs to another user");
}

// A file or folder as it is now: which one, whose, its permissions, its last change.
std::array<int64_t, 9> VersionOf(const struct stat& st) {
  return {static_cast<int64_t>(st.st_dev), static_cast<int64_t>(st.st_ino), st.st_uid, st.st_mode,
          st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_ctim.tv_sec, st.st_ctim.tv_nsec, st.st_size};
}

}  // namespace

OwnFile::OwnFile(std::string folder, std::string name) : folder_(std::move(folder)), name_(std::move(name)) {
  // A final "/" would have the folder's name followed if it were a link.
  while (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
  path_ = folder_ + "/" + name_;
}

std::optional<std::string> OwnFile::Read(size_t maxBytes, Look look) {
  struct stat st {};
  // Still no file, or the very file taken before and unchanged since: only the user could
  // have changed its folder's permissions, and whatever anyone changes in the file, or
  // puts in its place, is a change.
  if (look == Look::WhenChanged && passed_ &&
      (::lstat(path_.c_str(), &st) == 0 ? text_ && VersionOf(st) == version_ : errno == ENOENT && !text_))
    return text_;
  passed_ = false;
  text_.reset();
  Fd dir{OpenOwnFolder(folder_, false)};
  passed_ = dir.fd < 0;
  if (dir.fd < 0) return std::nullopt;
  Fd f{OpenToRead(dir.fd, name_.c_str(), st)};
  passed_ = f.fd < 0 && errno == ENOENT;
  if (passed_) return std::nullopt;
  if (f.fd < 0 && errno == ELOOP) Refuse("The file " + path_, "is a link");
  if (f.fd < 0) RaiseWithReason("The file " + path_ + " cannot be read", errno);
  CheckOwnFile(path_, st);
  std::string text;
  if (const int e = ReadUpTo(f.fd, maxBytes, text)) RaiseWithReason("The file " + path_ + " cannot be read", e);
  version_ = VersionOf(st);
  text_ = text;
  passed_ = true;
  return text;
}

void OwnFile::Write(std::string_view bytes) {
  Fd dir{OpenOwnFolder(folder_, true)};
  const std::string what = "The file " + path_ + " cannot be written";
  // A name no one else chose: the new file is made here by this write (never an existing
  // file, never through a link).
  Fd f;
  const std::string temp = MakeUnderNewName(
      "." + name_ + ".",
      [&](const std::string& n) {
        f.fd = ::openat(dir.fd, n.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        return f.fd >= 0;
      },
      what);
  auto fail = [&](int e) {
    ::unlinkat(dir.fd, temp.c_str(), 0);
    RaiseWithReason(what, e);
  };
  if (const int e = WriteSyncClose(f, bytes, FlushInto(dir.fd))) fail(e);
  if (::renameat(dir.fd, temp.c_str(), dir.fd, name_.c_str()) != 0) fail(errno);
  passed_ = false;
}

}  // namespace qvx::sys
