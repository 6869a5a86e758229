#include "platform/sys/SafeSave.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <tuple>
#include <utility>

#include "platform/runtime/Runtime.h"
#include "platform/sys/Descriptors.h"
#include "platform/sys/Sys.h"

namespace qvx::sys {
namespace {

constexpr std::string_view kScratchPrefix = ".qvx-save-";
constexpr std::string_view kLinkPrefix = "QVXScratch.";

// Removes a scratch file's folder, open at own and named name in the folder open at
// parent, once it is empty; only while that name still names it (another user may have
// renamed it and put something of theirs at its name). Returns whether the name no longer
// names it: false while it stays, so that its link stays for the next start.
bool RemoveScratchFolder(int parent, const std::string& name, int own) {
  return !NamesThat(parent, name.c_str(), own) || ::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0;
}

// What stands at a name instead of an ordinary file, as the user is told.
std::string KindOf(mode_t mode) {
  if (S_ISLNK(mode)) return "a link";
  if (S_ISFIFO(mode)) return "a pipe";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISSOCK(mode)) return "a socket";
  return "a device";
}

[[noreturn]] void RefuseTarget(const std::string& target, mode_t mode) {
  Raise(err::PathFileAccess, RefusalText(target, mode));
}

// Refuses a target that another file took the place of while the new one was put there.
[[noreturn]] void RefuseReplaced(const std::string& target) {
  Raise(err::PathFileAccess, target + " was replaced by another file while the new one was put in its place, so "
                                      "nothing was saved there and nothing was overwritten.");
}

// Whether two looks found the same file.
bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Puts what an exchange took out of the name, in the folder open at dir, back at that name
// from the scratch file's place (scratch, in its folder open at own), until the exchange
// back brings the scratch file open at file into its place again: another user exchanging
// names meanwhile may have moved it from the name, and then what the exchange back brought
// in goes back too. Returns whether it is back. Otherwise another user keeps it away, and
// its place is left holding a file of the user's own rather than another user's, where
// their moves allow.
bool TakeBack(int dir, const char* name, int own, const char* scratch, int file) {
  struct stat made {}, held {};
  if (::fstat(file, &made) != 0) return false;
  for (int tries = 0;; ++tries) {
    if (::renameat2(dir, name, own, scratch, RENAME_EXCHANGE) != 0) {
      // The name is free: what was taken out goes back to it, unless it is taken meanwhile.
      if (errno == ENOENT) ::renameat2(own, scratch, dir, name, RENAME_NOREPLACE);
      return false;
    }
    if (::fstatat(own, scratch, &held, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (SameFile(held, made)) return true;
    if (tries >= 100 && (held.st_uid == ::geteuid() || tries > 100)) return false;
  }
}

constexpr const char* kAccessAcl = "system.posix_acl_access";

// The access ACL of the file open at fd (any descriptor; an O_PATH one is read through
// /proc), as the file system stores it: empty when it has none beyond its permissions, or
// keeps none; nothing when it cannot be read (without /proc, as in some chroots).
std::optional<std::string> AccessAclOf(int fd) {
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  auto get = [&](char* into, size_t size) {
    const ssize_t got = ::fgetxattr(fd, kAccessAcl, into, size);
    return got >= 0 || errno != EBADF ? got : ::getxattr(path.c_str(), kAccessAcl, into, size);
  };
  for (;;) {
    const ssize_t size = get(nullptr, 0);
    if (size == 0 || (size < 0 && (errno == ENODATA || errno == EOPNOTSUPP))) return std::string();
    if (size < 0) return std::nullopt;
    std::string acl(static_cast<size_t>(size), '\0');
    const ssize_t got = get(acl.data(), acl.size());
    if (got >= 0) return acl.substr(0, static_cast<size_t>(got));
    if (errno != ERANGE) return std::nullopt;  // ERANGE: it grew meanwhile
  }
}

// An access ACL as stored: a header, then entries of a tag and permissions (16 bits each)
// and an id (32 bits, of a named user or group).
constexpr size_t kAclHeader = 4, kAclEntry = 8;
enum AclTag : unsigned {
  kOwner = 0x01, kNamedUser = 0x02, kOwningGroup = 0x04, kNamedGroup = 0x08, kMask = 0x10, kOthers = 0x20
};

// The little-endian number of size bytes at in an ACL as stored.
uint32_t AclField(const std::string& acl, size_t at, size_t size) {
  uint32_t value = 0;
  while (size-- > 0) value = value << 8 | static_cast<unsigned char>(acl[at + size]);
  return value;
}

// The ACL acl (as stored) with each entry giving no more than most(tag, id) allows.
std::string AclAtMost(std::string acl, const std::function<unsigned(unsigned tag, uint32_t id)>& most) {
  for (size_t at = kAclHeader; at + kAclEntry <= acl.size(); at += kAclEntry)
    acl[at + 2] = static_cast<char>(static_cast<unsigned char>(acl[at + 2]) &
                                    most(AclField(acl, at, 2), AclField(acl, at + 4, 4)));
  return acl;
}

// What the entry of tag (and id, for a named user or group) of the ACL acl (as stored)
// gives: nothing without one.
unsigned AclEntryOf(const std::string& acl, unsigned tag, uint32_t id = 0) {
  const bool named = tag == kNamedUser || tag == kNamedGroup;
  for (size_t at = kAclHeader; at + kAclEntry <= acl.size(); at += kAclEntry)
    if (AclField(acl, at, 2) == tag && (!named || AclField(acl, at + 4, 4) == id)) return AclField(acl, at + 2, 2);
  return 0;
}

// The access ACL acl (as stored) with its owning group's entry giving no more than bits.
std::string WithOwningGroupAtMost(std::string acl, unsigned bits) {
  return AclAtMost(std::move(acl), [bits](unsigned tag, uint32_t) { return tag == kOwningGroup ? bits : 07u; });
}

// The permissions and access ACL (as stored; empty: none) of a file made with mode and
// acl, giving no one more than an earlier file did, looked at as earlier with its ACL
// (nothing: it could not be read): its owner, its owning group (none when the new file's
// group is another, sameGroup false), the mask and others; and each user and group the
// new ACL names no more than the earlier ACL gave them, so that one it did not name, or
// every one where it could not be read, gets nothing.
std::pair<mode_t, std::string> AtMostEarlier(mode_t mode, const std::string& acl, const struct stat& earlier,
                                             const std::optional<std::string>& earlierAcl, bool sameGroup) {
  const unsigned was = earlier.st_mode & 0777, groupClass = was >> 3 & 07;
  // With an ACL the mode's group bits are its mask, which the owning group's entry may be
  // below.
  const unsigned group =
      !sameGroup ? 0 : earlierAcl && !earlierAcl->empty() ? AclEntryOf(*earlierAcl, kOwningGroup) : groupClass;
  const mode_t limit = (was & 0707) | (acl.empty() ? group : groupClass) << 3;
  return {mode & limit, AclAtMost(acl, [&](unsigned tag, uint32_t id) -> unsigned {
            switch (tag) {
              case kOwner: return was >> 6;
              case kOwningGroup: return group;
              case kMask: return groupClass;
              case kOthers: return was & 07;
              default: return earlierAcl ? AclEntryOf(*earlierAcl, tag, id) : 0;  // a named user or group
            }
          })};
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

bool& ModeChangesRefused() {
  static bool refused = false;
  return refused;
}

// fchmod, refused as a test's stand-in mount refuses it.
int ChangeMode(int fd, mode_t mode) {
  if (!ModeChangesRefused()) return ::fchmod(fd, mode);
  errno = EPERM;
  return -1;
}

// Whether a scratch folder not shown as the user's alone (folderShown) lies on a file
// system that keeps no modes, so that it shows what its mount gives every folder: asked of
// a file this program has just made in it, which is certainly its own. On a disk that keeps
// modes such a file takes the modes set on it, or at least shows this user as its owner
// (where a mode change is refused); on one that keeps none it shows, whatever is set or
// refused, the owner the folder shows. The file keeps its permissions.
bool ModesDoNotTake(int made, const struct stat& folderShown) {
  struct stat before {}, shown {};
  if (::fstat(made, &before) != 0) return false;
  bool kept = true;
  for (const mode_t mode : {mode_t{0600}, mode_t{0700}}) {
    ChangeMode(made, mode);
    kept = kept && FstatAsShown(made, shown, false) == 0 && (shown.st_mode & 07777) == mode;
  }
  ChangeMode(made, before.st_mode & 07777);
  return !kept && shown.st_uid == folderShown.st_uid;
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
  // or replace the file within it. Its link in the program folder is made first, naming
  // it, so that whatever a kill leaves is found through a link (RemoveLeftoverScratchFiles).
  // Without the link (a program folder that cannot be written) only a kill's leftover
  // would stay; the output itself is unaffected. The link goes with a folder given up
  // here.
  struct Link {
    std::string path;
    ~Link() {
      if (!path.empty()) ::unlink(path.c_str());
    }
  } link;
  Fd own;
  struct stat folderShown {};
  std::string scratchFolder;
  for (int attempt = 1; own.fd < 0; ++attempt) {
    folderName_ = MakeUnderNewName(
        kScratchPrefix,
        [&](const std::string& n) {
          const std::string made =
              std::filesystem::absolute(std::filesystem::path(folder) / n).lexically_normal().string();
          link.path = InProgramFolder(std::string(kLinkPrefix) + n.substr(kScratchPrefix.size()));
          if (::symlink(made.c_str(), link.path.c_str()) != 0) {
            const int e = errno;
            link.path.clear();
            if (e == EEXIST) return false;
          }
          if (::mkdirat(dir.fd, n.c_str(), 0700) == 0) return true;
          const int e = errno;
          if (!link.path.empty()) ::unlink(std::exchange(link.path, {}).c_str());
          errno = e;
          return false;
        },
        what);
    TellStep(ScratchStep::FolderMade, target_);
    scratchFolder = what + ": the scratch folder " + folderName_ + " made there";
    // Someone who renamed the new folder at once and put something else at its name has it
    // refused, saying what was found: only the folder just made is used.
    Fd tried{::openat(dir.fd, folderName_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
    const int e = errno;
    // Another start clearing away what killed saves left may have found the folder through
    // its link before it was locked here and taken it: it holds the folder until it has
    // removed it and then the link, and it takes the name of a folder it finds not yet made
    // before it removes the link. So the folder is found gone, held or removed, or the
    // link gone; the start removes what it took, and another folder is made.
    bool taken = tried.fd < 0 ? e == ENOENT : !TryLock(tried.fd);
    if (tried.fd >= 0 && !taken) {
      const bool shown = FstatAsShown(tried.fd, folderShown, true) == 0;
      if (!shown && errno != ENOENT) RaiseWithReason(scratchFolder + " cannot be opened", errno);
      // (A removed folder shows no links, or no longer shows at all on some file systems.)
      taken = !shown || folderShown.st_nlink == 0 || (!link.path.empty() && ::lstat(link.path.c_str(), &st) != 0);
      if (taken) RemoveScratchFolder(dir.fd, folderName_, tried.fd);
    }
    if (taken) {
      link.path.clear();
      if (attempt == 100) Raise(err::PathFileAccess, scratchFolder + " was gone.");
      continue;
    }
    if (tried.fd < 0) {
      if (::fstatat(dir.fd, folderName_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode))
        Raise(err::PathFileAccess, scratchFolder + " was found to be " + KindOf(st.st_mode) + ".");
      RaiseWithReason(scratchFolder + " cannot be opened", e);
    }
    std::swap(own.fd, tried.fd);
  }
  if (!IsEmptyFolder(own.fd)) Raise(err::PathFileAccess, scratchFolder + " was found to hold files.");
  const bool usersAlone = folderShown.st_uid == ::geteuid() && !(folderShown.st_mode & (S_IRWXG | S_IRWXO));
  // Named as its folder is: a leftover is known by that name alone, and nothing the user
  // had under another name can be taken for it. Made as any program makes a file, so that
  // the umask, or the default ACL that the folder took from the target's folder, gives
  // it what any new file gets there; no one else can reach it through its folder.
  Fd file{::openat(own.fd, folderName_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666)};
  if (file.fd < 0) {
    const int e = errno;
    // A folder this user may not write in is not the one made here: it stays.
    if ((usersAlone || (e != EACCES && e != EPERM)) && !RemoveScratchFolder(dir.fd, folderName_, own.fd))
      link.path.clear();  // the folder stays: its link too, for the next start
    RaiseWithReason(what, e);
  }
  madeMode_ = ::fstat(file.fd, &st) == 0 ? st.st_mode & 0777 : 0600;
  madeGroup_ = st.st_gid;
  madeAcl_ = AccessAclOf(file.fd).value_or("");
  if (!usersAlone) {
    // Not shown as this user's alone: either another user's folder was put at its name,
    // or the file system keeps no owner or permissions and shows every folder as its
    // mount gives them. Asked of the file just made: where the file system keeps the
    // modes set on it, and shows it as it shows the folder, the folder would show as made
    // too.
    const bool withoutModes = ModesDoNotTake(file.fd, folderShown);
    GivePermissions(file.fd, madeMode_, madeAcl_);
    if (!withoutModes) {
      if (NamesThat(own.fd, folderName_.c_str(), file.fd)) ::unlinkat(own.fd, folderName_.c_str(), 0);
      Raise(err::PathFileAccess,
            scratchFolder + " for this user alone (0700) was found owned by " + OwnerAndMode(folderShown) + ".");
    }
  }
  link_ = std::exchange(link.path, {});
  std::swap(folder_, dir.fd);
  std::swap(private_, own.fd);
  std::swap(file_, file.fd);
  TellStep(ScratchStep::Made, target_);
}

ScratchFile::~ScratchFile() {
  // Only the very file made here goes, never what someone may have put in its place. It is
  // closed first: a file system in user space (ntfs-3g) keeps a file removed while open
  // hidden in its folder, which could not go then. A folder that cannot go keeps its
  // link, so that the next start removes it.
  struct stat made {}, there {};
  const bool remove = !committed_ && ::fstat(file_, &made) == 0;
  ::close(file_);
  if (remove && ::fstatat(private_, folderName_.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(there, made))
    ::unlinkat(private_, folderName_.c_str(), 0);
  if (RemoveScratchFolder(folder_, folderName_, private_) && !link_.empty()) ::unlink(link_.c_str());
  for (int fd : {private_, folder_}) ::close(fd);
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
  // The file first found at the name: the only one this save replaces.
  std::optional<struct stat> found;
  // The file is put in place from its own folder, which no one else can change, into the
  // target's folder, both open here. What stands at the target's name is looked at once,
  // through a descriptor of its own, and is taken in the same step (exchanged), or the
  // name is taken only while it is free. What the new file takes from the earlier one
  // comes from that descriptor alone, and what the exchange took out must be that very
  // file: whatever else is found there goes back untouched.
  for (int attempt = 0;; ++attempt) {
    Fd earlier{::openat(folder_, name_.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC)};
    struct stat st {};
    const bool exists = earlier.fd >= 0;
    if (!exists && errno != ENOENT) RaiseWithReason(what, errno);
    if (exists && ::fstat(earlier.fd, &st) != 0) RaiseWithReason(what, errno);
    if (exists && !S_ISREG(st.st_mode)) RefuseTarget(target_, st.st_mode);
    if (exists && found && !SameFile(*found, st)) RefuseReplaced(target_);
    if (exists && !found) found = st;
    TellStep(ScratchStep::Looked, target_);
    // Written over a file of the user's own, the output keeps its group, permissions and
    // ACL (a report kept private, or shared with a team, stays so); a new one, or one over
    // another user's file, keeps what it was made with, as any new file in the folder:
    // never the other user's. Only a file with no other name is taken for the user's
    // report: another user may have put at the name a link to a file of the user's that
    // is shared with them. Over such a file, or one whose ACL cannot be read, the output
    // keeps what it was made with, but gives no one more than that file gave: its group
    // nothing when it is another (the report had a second name in a backup, or was made
    // private to the user's own group in a team folder), and a user or group the ACL
    // names nothing that the earlier file did not give them (one removed from the report
    // stays removed).
    const bool own = exists && st.st_uid == ::geteuid();
    const std::optional<std::string> earlierAcl = own ? AccessAclOf(earlier.fd) : std::nullopt;
    std::string acl = madeAcl_;
    mode_t mode = madeMode_;
    if (earlierAcl && st.st_nlink == 1) {
      mode = st.st_mode & 0777;
      acl = *earlierAcl;
      // A group the user is not in cannot be given: the group the file was made with keeps
      // it, and is given no more than the earlier file gave its own group, nor more than
      // the new file gave it. With an ACL that is the owning group's entry; the mask and
      // the named entries stay as they were, so that no one named gains either.
      if (::fchown(file_, static_cast<uid_t>(-1), st.st_gid) != 0) {
        mode &= ~S_IRWXG | (madeMode_ & S_IRWXG);
        acl = WithOwningGroupAtMost(std::move(acl), (madeMode_ & S_IRWXG) >> 3);
      }
    } else if (own) {
      ::fchown(file_, static_cast<uid_t>(-1), madeGroup_);  // (taken at an earlier try)
      std::tie(mode, acl) = AtMostEarlier(madeMode_, madeAcl_, st, earlierAcl, st.st_gid == madeGroup_);
    }
    GivePermissions(file_, mode, acl);
    TellStep(ScratchStep::Taking, target_);
    if (::renameat2(private_, scratch, folder_, name_.c_str(), exists ? RENAME_EXCHANGE : RENAME_NOREPLACE) ==
        0) {
      if (!exists) break;
      struct stat taken {};
      if (::fstatat(private_, scratch, &taken, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(taken, st)) {
        // The earlier file (a link to it elsewhere keeps it).
        ::unlinkat(private_, scratch, 0);
        break;
      }
      // Something else was put at the name after it was looked at: it goes back as it was,
      // and the name is looked at again; only the file first found there is replaced.
      if (TakeBack(folder_, name_.c_str(), private_, scratch, file_) && attempt < 100) continue;
      RefuseReplaced(target_);
    }
    const int e = errno;
    // The name was taken or freed since it was looked at: look again.
    if ((e == EEXIST || e == ENOENT) && attempt < 100) continue;
    // A file system that cannot exchange names: the new file takes the name, which was an
    // ordinary file or free a moment ago. It is taken only while it still names the file
    // looked at, or nothing, so that a file put there since is not the one replaced.
    // Nothing is written into what stands there.
    if (e != EINVAL && e != ENOSYS) RaiseWithReason(what, e);
    struct stat now {};
    const bool there = ::fstatat(folder_, name_.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists ? !there || !SameFile(now, st) : there || errno != ENOENT) {
      if (attempt < 100) continue;
      RefuseReplaced(target_);
    }
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

std::string RefusalText(const std::string& target, unsigned mode) {
  return target + " is " + KindOf(mode) + ", not a file, so nothing was saved there and nothing was overwritten.";
}

EarlierFile LookAtEarlierFile(const std::string& target, size_t headBytes) {
  struct stat st {};
  if (::lstat(target.c_str(), &st) != 0) return {};
  if (!S_ISREG(st.st_mode)) return {st.st_mode, st.st_size, std::nullopt};
  TellStep(ScratchStep::Reading, target);
  Fd f{OpenToRead(AT_FDCWD, target.c_str(), st)};
  // What stands there now, when it cannot be opened to be read (a link put there since,
  // a socket, a file the user may not read): never read.
  if (f.fd < 0 && errno == ELOOP) return {S_IFLNK, 0, std::nullopt};
  if (f.fd < 0) return ::lstat(target.c_str(), &st) == 0 ? EarlierFile{st.st_mode, st.st_size, std::nullopt} : EarlierFile{};
  EarlierFile found{st.st_mode, st.st_size, std::nullopt};
  std::string head;
  if (S_ISREG(st.st_mode) && ReadUpTo(f.fd, headBytes, head) == 0) found.head = std::move(head);
  return found;
}

ShownOwnership SetShownOwnership(ShownOwnership shown) {
  ShownOwnership previous = std::move(Shown());
  Shown() = std::move(shown);
  return previous;
}

bool SetModeChangesRefused(bool refused) { return std::exchange(ModeChangesRefused(), refused); }

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

// A scratch file's folder that a killed program left, found through its link: it goes with
// its file (or empty: killed before the file was made), and then its link, unless a
// running program holds it, or it is not the user's (another user's output being written
// in a folder they share); a folder gone meanwhile was another start's to remove. The
// link goes while the folder is still held here, so that a save that finds its new folder
// held, and then gets it, finds its link gone.
void RemoveScratchFolderUnlessHeld(const std::filesystem::path& path, const std::string& link) {
  const std::string name = path.filename().string();
  Fd parent{::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  Fd own{::openat(parent.fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
  struct stat st {};
  if (own.fd < 0 || FstatAsShown(own.fd, st, true) != 0 || !TryLock(own.fd)) return;
  if (st.st_uid != ::geteuid() || (st.st_mode & (S_IRWXG | S_IRWXO))) {
    // Not shown as the user's alone: it goes only from a file system that keeps no modes,
    // holding nothing but its own file, as a file made in it here tells (on a disk that
    // shows another user as owner a mode change is refused, even of the user's own file).
    // (One that a start killed meanwhile left goes first.)
    const std::string probe = std::string(kScratchPrefix) + "probe";
    ::unlinkat(own.fd, probe.c_str(), 0);
    struct stat f {};
    Fd file{OpenToRead(own.fd, name.c_str(), f)};
    const bool none = file.fd < 0 && errno == ENOENT;
    if (!(none || (file.fd >= 0 && S_ISREG(f.st_mode))) || !IsEmptyFolder(own.fd, name.c_str())) return;
    Fd made{::openat(own.fd, probe.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600)};
    if (made.fd < 0) return;
    const bool withoutModes = ModesDoNotTake(made.fd, st);
    if (NamesThat(own.fd, probe.c_str(), made.fd)) ::unlinkat(own.fd, probe.c_str(), 0);
    if (!withoutModes) return;
  }
  ::unlinkat(own.fd, name.c_str(), 0);
  if (RemoveScratchFolder(parent.fd, name, own.fd)) ::unlink(link.c_str());
}

// A link whose scratch folder is not there: left by a save killed before it made the
// folder, or made by a save about to make it now. The folder's name is taken here before
// the link goes, so that such a save finds the name taken and makes another folder (with
// a link of its own), or makes it only once the link is gone, and finds that. When the
// folder has been made meanwhile, the link stays, for the next start. The folder made
// here is named by a link of its own from before it is made, as a save names its folder:
// a save ending meanwhile removes the link found here.
void RemoveLinkToUnmadeFolder(const std::filesystem::path& path, const std::string& link) {
  const std::string name = path.filename().string();
  Fd parent{::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  // Where nothing can be made (the folder gone, or not the user's to enter), no save makes
  // it either.
  if (parent.fd < 0) {
    ::unlink(link.c_str());
    return;
  }
  const std::filesystem::path links = std::filesystem::path(link).parent_path();
  std::string ownLink;
  try {
    ownLink = (links / MakeUnderNewName(
                           kLinkPrefix,
                           [&](const std::string& n) { return ::symlink(path.c_str(), (links / n).c_str()) == 0; },
                           {}))
                  .string();
  } catch (const std::exception&) {
    // Not even a link can be made here: the link found stays out of the way all the same.
  }
  const bool made = ::mkdirat(parent.fd, name.c_str(), 0700) == 0;
  const bool madeMeanwhile = !made && errno == EEXIST;
  Fd own{made ? ::openat(parent.fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1};
  if (!madeMeanwhile) ::unlink(link.c_str());
  if (own.fd >= 0) RemoveScratchFolder(parent.fd, name, own.fd);
  if (!ownLink.empty()) ::unlink(ownLink.c_str());
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
      if (fs::is_directory(status)) {
        RemoveScratchFolderUnlessHeld(scratch, it->path().string());
        continue;
      }
      if (status.type() == fs::file_type::not_found) {
        RemoveLinkToUnmadeFolder(scratch, it->path().string());
        continue;
      }
      if (fs::is_regular_file(status) && !RemoveUnlessHeld(scratch.string())) continue;
    }
    fs::remove(it->path(), linkError);
  }
}

}  // namespace qvx::sys
