#include "platform/sys/Sys.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

#include <QDir>
#include <QStandardPaths>

#include "platform/runtime/Runtime.h"

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
  std::string folder;
  Raise(FileErrorNumber(e, e != ENOENT || FolderOf(path, folder)));
}

// Closes a descriptor when it goes out of scope.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

// Writes all of bytes to the file open at fd: 0, or the error of the write that failed.
int WriteAll(int fd, std::string_view bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    done += static_cast<size_t>(n);
  }
  return 0;
}

// Writes all of bytes to the new file open at f, then syncs and closes it, so that what
// takes another file's place is whole on disk: 0, or the error of the step that failed.
int WriteSyncClose(Fd& f, std::string_view bytes) {
  if (const int e = WriteAll(f.fd, bytes)) return e;
  if (::fsync(f.fd) != 0) return errno;
  const int written = f.fd;
  f.fd = -1;
  return ::close(written) != 0 ? errno : 0;
}

// Takes the lock of a file or folder open at fd without waiting: false when another
// open of it, in this process or another, holds it.
bool TryLock(int fd) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0)
    if (errno != EINTR) return false;
  return true;
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
    std::string name = path + ".XXXXXX";
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
  if (const int e = WriteSyncClose(f, bytes)) fail(e);
  if (::rename(tmp.c_str(), path.c_str()) != 0) fail(errno);
}

}  // namespace qvx::sys

// ---------------------------------------------------------------- scratch files

namespace qvx::sys {
namespace {

constexpr std::string_view kScratchPrefix = ".qvx-save-";
constexpr std::string_view kLinkPrefix = "QVXScratch.";
constexpr size_t kSuffix = 6;  // mkstemp's letters

bool HasScratchSuffix(std::string_view name, std::string_view prefix) {
  if (name.size() != prefix.size() + kSuffix || name.substr(0, prefix.size()) != prefix) return false;
  for (char c : name.substr(prefix.size()))
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  return true;
}

[[noreturn]] void RaiseWithReason(const std::string& what, int e, bool fileMissingButFolderExists = true) {
  Raise(FileErrorNumber(e, fileMissingButFolderExists), what + ": " + std::strerror(e));
}

// Makes something new under a name no one else chose, prefix and six random letters:
// make(name) is tried with new names while it fails because the name is taken. Returns
// the name; raises what failed, with the reason.
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

// Whether the name in the folder open at dir is, without following a link, the file or
// folder open at fd.
bool NamesThat(int dir, const char* name, int fd) {
  struct stat there {}, it {};
  return ::fstatat(dir, name, &there, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &it) == 0 &&
         there.st_dev == it.st_dev && there.st_ino == it.st_ino;
}

// Removes a scratch file's folder, open at own and named name in the folder open at
// parent, once it is empty; only while that name still names it (another user may have
// renamed it and put something of theirs at its name).
void RemoveScratchFolder(int parent, const std::string& name, int own) {
  if (NamesThat(parent, name.c_str(), own)) ::unlinkat(parent, name.c_str(), AT_REMOVEDIR);
}

// What stands at a name instead of an ordinary file, as the user is told.
std::string KindOf(mode_t mode) {
  if (S_ISLNK(mode)) return "a link";
  if (S_ISFIFO(mode)) return "a pipe";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISSOCK(mode)) return "a socket";
  return "a device";
}

std::string RefusalText(const std::string& target, mode_t mode) {
  return target + " is " + KindOf(mode) + ", not a file, so nothing was saved there and nothing was overwritten.";
}

[[noreturn]] void RefuseTarget(const std::string& target, mode_t mode) {
  Raise(err::PathFileAccess, RefusalText(target, mode));
}

constexpr const char* kAccessAcl = "system.posix_acl_access";

// The access ACL of the file open at fd (any descriptor, O_PATH too), as the file system
// stores it: empty when it has none beyond its permissions, or keeps none.
std::string AccessAclOf(int fd) {
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  for (;;) {
    const ssize_t size = ::getxattr(path.c_str(), kAccessAcl, nullptr, 0);
    if (size <= 0) return {};
    std::string acl(static_cast<size_t>(size), '\0');
    const ssize_t got = ::getxattr(path.c_str(), kAccessAcl, acl.data(), acl.size());
    if (got >= 0) return acl.substr(0, static_cast<size_t>(got));
    if (errno != ERANGE) return {};  // ERANGE: it grew meanwhile
  }
}

// Gives the file open at fd the permissions and access ACL (empty: none) of another. On a
// file system that keeps neither this does nothing, and the file shows what its mount
// gives every file.
void GivePermissions(int fd, mode_t mode, const std::string& acl) {
  if (!acl.empty() && ::fsetxattr(fd, kAccessAcl, acl.data(), acl.size(), 0) == 0) return;
  if (acl.empty()) ::fremovexattr(fd, kAccessAcl);
  ::fchmod(fd, mode);
}

ShownOwnership& Shown() {
  static ShownOwnership shown;
  return shown;
}

// fstat, but with the owner and permissions a test's stand-in file system shows.
int FstatAsShown(int fd, struct stat& st, bool folder) {
  if (::fstat(fd, &st) != 0) return -1;
  if (Shown()) {
    unsigned owner = st.st_uid, permissions = st.st_mode & 07777;
    Shown()(owner, permissions, folder);
    st.st_uid = owner;
    st.st_mode = (st.st_mode & S_IFMT) | (permissions & 07777);
  }
  return 0;
}

// Whether the folder open at fd has nothing in it but, when given, the entry named but.
bool IsEmptyFolder(int fd, const char* but = nullptr) {
  const int copy = ::dup(fd);
  if (copy < 0) return false;
  DIR* dir = ::fdopendir(copy);
  if (!dir) {
    ::close(copy);
    return false;
  }
  bool empty = true;
  while (const dirent* e = ::readdir(dir))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0 &&
        (!but || std::strcmp(e->d_name, but) != 0))
      empty = false;
  ::closedir(dir);
  return empty;
}

// Whether a scratch folder not shown as the user's alone (folderShown) lies on a file
// system that keeps no modes, so that it shows what its mount gives every folder: the
// modes set on its file, open at file, do not take, and the file shows the folder's owner.
// A mode refused outright tells that only of a file certainly this program's own. The file
// keeps its permissions.
bool ModesDoNotTake(int file, const struct stat& folderShown, bool certainlyOurs) {
  struct stat before {}, shown {};
  if (::fstat(file, &before) != 0) return false;
  bool kept = true, refused = false;
  for (const mode_t mode : {mode_t{0600}, mode_t{0700}}) {
    refused = refused || ::fchmod(file, mode) != 0;
    kept = kept && FstatAsShown(file, shown, false) == 0 && (shown.st_mode & 07777) == mode;
  }
  ::fchmod(file, before.st_mode & 07777);
  return !kept && !(refused && !certainlyOurs) && shown.st_uid == folderShown.st_uid;
}

// An owner and permissions as the user is told them: "user nobody with permissions 0777".
std::string OwnerAndMode(const struct stat& st) {
  const passwd* user = ::getpwuid(st.st_uid);
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
  return "user " + (user ? std::string(user->pw_name) : std::to_string(st.st_uid)) + " with permissions " + mode;
}

CommitWatch& Watch() {
  static CommitWatch watch;
  return watch;
}

ScratchWatch& StepWatch() {
  static ScratchWatch watch;
  return watch;
}

void TellStep(ScratchStep step, const std::string& target) {
  if (StepWatch()) StepWatch()(step, target);
}

}  // namespace

ScratchFile::ScratchFile(std::string target) : target_(std::move(target)) {
  const auto slash = target_.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target_.substr(0, slash);
  name_ = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  const std::string what = "The folder " + folder + " cannot be written";
  if (name_.empty() || name_ == "." || name_ == "..") RefuseTarget(target_, S_IFDIR);
  Fd dir{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (dir.fd < 0) RaiseWithReason(what, errno, false);
  struct stat st {};
  if (::fstatat(dir.fd, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode))
    RefuseTarget(target_, st.st_mode);
  // A folder of the file's own, which no other user may enter, so that no one can rename
  // or replace the file within it.
  folderName_ = MakeUnderNewName(
      kScratchPrefix, [&](const std::string& n) { return ::mkdirat(dir.fd, n.c_str(), 0700) == 0; }, what);
  TellStep(ScratchStep::FolderMade, target_);
  const std::string scratchFolder = what + ": the scratch folder " + folderName_ + " made there";
  // Someone who renamed the new folder at once and put something else at its name has it
  // refused, saying what was found: only the folder just made is used.
  Fd own{::openat(dir.fd, folderName_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
  if (own.fd < 0) {
    const int e = errno;
    if (e == ENOENT) Raise(err::PathFileAccess, scratchFolder + " was gone.");
    if (::fstatat(dir.fd, folderName_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode))
      Raise(err::PathFileAccess, scratchFolder + " was found to be " + KindOf(st.st_mode) + ".");
    RaiseWithReason(scratchFolder + " cannot be opened", e);
  }
  struct stat folderShown {};
  if (FstatAsShown(own.fd, folderShown, true) != 0) RaiseWithReason(scratchFolder + " cannot be opened", errno);
  if (!IsEmptyFolder(own.fd)) Raise(err::PathFileAccess, scratchFolder + " was found to hold files.");
  const bool usersAlone = folderShown.st_uid == ::geteuid() && !(folderShown.st_mode & (S_IRWXG | S_IRWXO));
  // Locked before its link exists: whoever finds the folder through the link sees it held.
  TryLock(own.fd);
  // Named as its folder is: a leftover is known by that name alone, and nothing the user
  // had under another name can be taken for it. Made as any program makes a file, so that
  // the umask, or the default ACL that the folder took from the target's folder, gives
  // it what any new file gets there; no one else can reach it through its folder.
  Fd file{::openat(own.fd, folderName_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666)};
  if (file.fd < 0) {
    const int e = errno;
    // A folder this user may not write in is not the one made here: it stays.
    if (usersAlone || (e != EACCES && e != EPERM)) RemoveScratchFolder(dir.fd, folderName_, own.fd);
    RaiseWithReason(what, e);
  }
  madeMode_ = ::fstat(file.fd, &st) == 0 ? st.st_mode & 0777 : 0600;
  madeAcl_ = AccessAclOf(file.fd);
  if (!usersAlone) {
    // Not shown as this user's alone: either another user's folder was put at its name,
    // or the file system keeps no owner or permissions and shows every folder as its
    // mount gives them. Asked of the file just made, which is certainly this program's
    // own: where the file system keeps the modes set on it, and shows it as it shows the
    // folder, the folder would show as made too.
    const bool withoutModes = ModesDoNotTake(file.fd, folderShown, true);
    GivePermissions(file.fd, madeMode_, madeAcl_);
    if (!withoutModes) {
      if (NamesThat(own.fd, folderName_.c_str(), file.fd)) ::unlinkat(own.fd, folderName_.c_str(), 0);
      Raise(err::PathFileAccess,
            scratchFolder + " for this user alone (0700) was found owned by " + OwnerAndMode(folderShown) + ".");
    }
  }
  const std::string made =
      std::filesystem::absolute(std::filesystem::path(folder) / folderName_).lexically_normal().string();
  // Without the link only a kill's leftover would stay; the output itself is unaffected.
  const std::string link = InProgramFolder(std::string(kLinkPrefix) + folderName_.substr(kScratchPrefix.size()));
  if (::symlink(made.c_str(), link.c_str()) == 0) link_ = link;
  std::swap(folder_, dir.fd);
  std::swap(private_, own.fd);
  std::swap(file_, file.fd);
  TellStep(ScratchStep::Made, target_);
}

ScratchFile::~ScratchFile() {
  // Only the very file made here goes, never what someone may have put in its place.
  if (!committed_ && NamesThat(private_, folderName_.c_str(), file_)) ::unlinkat(private_, folderName_.c_str(), 0);
  RemoveScratchFolder(folder_, folderName_, private_);
  if (!link_.empty()) ::unlink(link_.c_str());
  for (int fd : {file_, private_, folder_}) ::close(fd);
}

std::string ScratchFile::DescriptorPath() const { return "/proc/self/fd/" + std::to_string(file_); }

void ScratchFile::Write(std::string_view bytes) {
  if (const int e = WriteAll(file_, bytes)) RaiseWithReason("The file " + target_ + " could not be written", e);
}

void ScratchFile::Commit() {
  if (::fsync(file_) != 0) RaiseWithReason("The file " + target_ + " could not be written", errno);
  TellStep(ScratchStep::Placing, target_);
  const std::string what = "The file could not be saved as " + target_;
  const char* const scratch = folderName_.c_str();
  // The file is put in place from its own folder, which no one else can change, into the
  // target's folder, both open here. What stands at the target's name is taken in the same
  // step (exchanged), or the name is taken only while it is free, so that what was looked
  // at is what is replaced; whatever else is found there by then goes back untouched.
  for (int attempt = 0;; ++attempt) {
    struct stat st {};
    const bool exists = ::fstatat(folder_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno != ENOENT) RaiseWithReason(what, errno);
    if (exists && !S_ISREG(st.st_mode)) RefuseTarget(target_, st.st_mode);
    // Written over a file of the user's own, the output keeps its permissions and ACL (a
    // report kept private stays private); a new one, or one over another user's file,
    // keeps what it was made with, as any new file in the folder: never the other user's.
    std::string acl = madeAcl_;
    mode_t mode = madeMode_;
    if (exists && st.st_uid == ::geteuid()) {
      Fd earlier{::openat(folder_, name_.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC)};
      mode = st.st_mode & 0777;
      acl = earlier.fd >= 0 && NamesThat(folder_, name_.c_str(), earlier.fd) ? AccessAclOf(earlier.fd) : "";
    }
    GivePermissions(file_, mode, acl);
    TellStep(ScratchStep::Taking, target_);
    if (::renameat2(private_, scratch, folder_, name_.c_str(), exists ? RENAME_EXCHANGE : RENAME_NOREPLACE) ==
        0) {
      if (!exists) break;
      struct stat earlier {};
      if (::fstatat(private_, scratch, &earlier, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(earlier.st_mode)) {
        ::renameat2(folder_, name_.c_str(), private_, scratch, RENAME_EXCHANGE);
        RefuseTarget(target_, earlier.st_mode);
      }
      // The earlier file (a link to it elsewhere keeps it).
      ::unlinkat(private_, scratch, 0);
      break;
    }
    const int e = errno;
    // The name was taken or freed since it was looked at: look again.
    if ((e == EEXIST || e == ENOENT) && attempt < 100) continue;
    // A file system that cannot exchange names: the new file takes the name, which was an
    // ordinary file or free a moment ago. Nothing is written into what stands there.
    if (e != EINVAL && e != ENOSYS) RaiseWithReason(what, e);
    if (::renameat(private_, scratch, folder_, name_.c_str()) != 0) RaiseWithReason(what, errno);
    break;
  }
  committed_ = true;
  if (Watch()) Watch()(target_);
}

std::optional<std::string> RefusalOfTarget(const std::string& target) {
  struct stat st {};
  if (::lstat(target.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return std::nullopt;
  return RefusalText(target, st.st_mode);
}

ShownOwnership SetShownOwnership(ShownOwnership shown) {
  ShownOwnership previous = std::move(Shown());
  Shown() = std::move(shown);
  return previous;
}

CommitWatch SetCommitWatch(CommitWatch watch) {
  CommitWatch previous = std::move(Watch());
  Watch() = std::move(watch);
  return previous;
}

ScratchWatch SetScratchWatch(ScratchWatch watch) {
  ScratchWatch previous = std::move(StepWatch());
  StepWatch() = std::move(watch);
  return previous;
}

bool RemoveUnlessHeld(const std::string& path) {
  Fd f{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK)};
  // A file this start cannot open may be another user's output being written now, in a
  // folder they share: whether it is held cannot be known, so it stays.
  if (f.fd < 0) return errno == ENOENT;
  if (!TryLock(f.fd)) return false;
  ::unlink(path.c_str());
  return true;
}

namespace {

// A scratch file's folder that a killed program left: it goes with its file unless a
// running program holds it, or it is not the user's (another user's output being
// written in a folder they share).
bool RemoveScratchFolderUnlessHeld(const std::filesystem::path& path) {
  const std::string name = path.filename().string();
  Fd parent{::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (parent.fd < 0) return errno == ENOENT;
  Fd own{::openat(parent.fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
  if (own.fd < 0) return errno == ENOENT;
  struct stat st {};
  if (FstatAsShown(own.fd, st, true) != 0 || !TryLock(own.fd)) return false;
  if (st.st_uid != ::geteuid() || (st.st_mode & (S_IRWXG | S_IRWXO))) {
    // Not shown as the user's alone: it goes only from a file system that keeps no modes,
    // holding nothing but its own file.
    Fd file{::openat(own.fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
    struct stat f {};
    if (file.fd < 0 || ::fstat(file.fd, &f) != 0 || !S_ISREG(f.st_mode) || !IsEmptyFolder(own.fd, name.c_str()) ||
        !ModesDoNotTake(file.fd, st, false))
      return false;
  }
  ::unlinkat(own.fd, name.c_str(), 0);
  RemoveScratchFolder(parent.fd, name, own.fd);
  return true;
}

}  // namespace

void RemoveLeftoverScratchFiles(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (fs::directory_iterator it(folder.empty() ? ProgramFolder() : folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code linkError;
    if (!HasScratchSuffix(name, kLinkPrefix) || !it->is_symlink(linkError)) continue;
    const fs::path scratch = fs::read_symlink(it->path(), linkError);
    // Only a scratch file of ours goes (in its folder, or alone as earlier versions made
    // it), never whatever else a link might point at, and only once no running program
    // holds it (another copy may be writing it now).
    if (!linkError && HasScratchSuffix(scratch.filename().string(), kScratchPrefix)) {
      const fs::file_status status = fs::symlink_status(scratch, linkError);
      if (fs::is_directory(status) && !RemoveScratchFolderUnlessHeld(scratch)) continue;
      if (fs::is_regular_file(status) && !RemoveUnlessHeld(scratch.string())) continue;
    }
    fs::remove(it->path(), linkError);
  }
}

namespace {

// Whether only the user and root may rename or replace names in the folder: it is theirs,
// and others who may write to it are kept to their own names by the sticky bit, as in /tmp.
bool Guarded(const struct stat& st) {
  return (st.st_uid == ::geteuid() || st.st_uid == 0) &&
         ((st.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (st.st_mode & S_ISVTX) != 0);
}

// The names in the folder open at dir, read through a descriptor of their own.
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

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

namespace {

constexpr int kEndSignals[] = {SIGHUP, SIGINT, SIGTERM};
int endPipeWrite = -1;
// The first signal, set once. Always lock-free: each thread may take a signal, and two at
// once must still tell the first from the others.
std::atomic<int> firstEndSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

// Runs in any thread, between any two instructions: only async-signal-safe calls. The
// same signal again insists (a second Ctrl+C); another one (the TERM that a start script
// sends on the Ctrl+C that reached the program too) is the same request.
extern "C" void OnEndSignal(int sig) {
  int first = 0;
  if (!firstEndSignal.compare_exchange_strong(first, sig)) {
    if (first != sig) return;
    // The signal is blocked while its handler runs: it ends the program on the return.
    ::signal(sig, SIG_DFL);
    ::raise(sig);
    return;
  }
  const int saved = errno;
  const char byte = static_cast<char>(sig);
  (void)!::write(endPipeWrite, &byte, 1);
  errno = saved;
}

}  // namespace

int CatchEndSignals() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
  endPipeWrite = ends[1];
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

int EndSignal() { return firstEndSignal.load(); }

void EndBySignal(int sig) {
  ::signal(sig, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, sig);
  ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  ::raise(sig);
  std::_Exit(128 + sig);
}

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
  // Without waiting, and never through a link.
  Fd f{::openat(dir.fd, name_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
  passed_ = f.fd < 0 && errno == ENOENT;
  if (passed_) return std::nullopt;
  if (f.fd < 0 && errno == ELOOP) Refuse("The file " + path_, "is a link");
  if (f.fd < 0 || ::fstat(f.fd, &st) != 0) RaiseWithReason("The file " + path_ + " cannot be read", errno);
  CheckOwnFile(path_, st);
  std::string text;
  std::array<char, 4096> buf{};
  while (text.size() < maxBytes) {
    const ssize_t n = ::read(f.fd, buf.data(), std::min(buf.size(), maxBytes - text.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) RaiseWithReason("The file " + path_ + " cannot be read", errno);
    if (n == 0) break;
    text.append(buf.data(), static_cast<size_t>(n));
  }
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
  if (const int e = WriteSyncClose(f, bytes)) fail(e);
  if (::renameat(dir.fd, temp.c_str(), dir.fd, name_.c_str()) != 0) fail(errno);
  passed_ = false;
}

}  // namespace qvx::sys
