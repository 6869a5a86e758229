// Saving over a file in a folder others may write to without the sticky bit: the new file
// takes the group, permissions and ACL of the user's own earlier file and of nothing else,
// whatever another user exchanges into the name meanwhile, and on a disk that cannot
// exchange names it still takes the earlier file's place. The test program's own
// renameat2 stands in for the C library's and fails renames with flags when a test asks
// it to (such a disk, which no test folder can be made into).
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/runtime/Runtime.h"
#include "platform/sys/SafeSave.h"
#include "platform/sys/Sys.h"
#include "support/Acl.h"

namespace {
// The error renames with flags (an exchange, or a rename only to a free name) fail with;
// 0: they go to the kernel as the C library's would.
std::atomic<int> failingFlags{0};
}  // namespace

extern "C" int renameat2(int from, const char* old, int to, const char* now, unsigned flags) noexcept {
  if (const int e = failingFlags.load(); e && flags) {
    errno = e;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_renameat2, from, old, to, now, flags));
}

namespace qvx {
namespace {
namespace fs = std::filesystem;
using test::AclBytes;
using test::AclOf;
using test::SetAcl;

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// What a file is: its bytes, owner, group, permissions and ACL.
struct Kept {
  std::string bytes;
  uid_t owner;
  gid_t group;
  mode_t mode;
  std::string acl;
  bool operator==(const Kept&) const = default;
};
Kept KeptOf(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return {};
  return {Contents(path), st.st_uid, st.st_gid, st.st_mode & 07777, AclOf(path)};
}
std::ostream& operator<<(std::ostream& out, const Kept& k) {
  return out << "\"" << k.bytes << "\" " << k.owner << ":" << k.group << " " << std::oct << k.mode << std::dec
             << " ACL of " << k.acl.size() << " bytes";
}

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

void Save(const std::string& target) {
  sys::ScratchFile scratch(target);
  scratch.Write("new");
  scratch.Commit();
}

constexpr gid_t kTeam = 4243;  // a group the user's earlier file is shared with
constexpr uid_t kColleague = 4242;
constexpr uint32_t kAll = 0xFFFFFFFF;  // the id of an entry that names no one

// Another user exchanges a file of theirs (readable and writable by them, by everyone
// through its ACL) with the user's earlier file at the moments the save steps through:
// the output never gets its permissions or ACL, their file is never the one replaced,
// and the save either replaces the user's own file, with the user's permissions, or
// says that nothing was saved. Where the disk cannot exchange names, the output still
// takes the earlier file's place, or a free name.
TEST(SafeSaveCommit, AnotherUsersFileExchangedIntoTheNameNeverReachesTheOutput) {
  const struct Case {
    const char* name;
    std::deque<sys::ScratchStep> swaps;  // the other user exchanges the names at each
    bool saved;
    int cannotExchange = 0;  // the error of an exchange on this disk
    bool earlier = true;     // an earlier file of the user's at the name
  } cases[] = {
      {"nothing done", {}, true},
      {"exchanged in once the name was looked at", {sys::ScratchStep::Looked}, false},
      {"exchanged in just before the name is taken", {sys::ScratchStep::Taking}, false},
      {"exchanged in once looked at and back before taken", {sys::ScratchStep::Looked, sys::ScratchStep::Taking},
       true},
      {"on a disk that cannot exchange names", {}, true, EINVAL},
      {"on a disk that cannot exchange names, at a free name", {}, true, EINVAL, false},
      {"on a disk without the call", {}, true, ENOSYS},
      {"on a disk that cannot exchange names, exchanged in just before taken", {sys::ScratchStep::Taking}, false,
       EINVAL},
  };
  const passwd* nobody = ::getpwnam("nobody");
  const bool asRoot = ::geteuid() == 0 && nobody;
  const mode_t umask = ::umask(022);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir program, out;
    sys::SetProgramFolder(program.path().toStdString());
    const std::string folder = out.path().toStdString(), target = folder + "/report.pdf",
                      theirs = folder + "/theirs.pdf";
    fs::permissions(folder, fs::perms::all);
    if (c.earlier) {
      std::ofstream(target) << "earlier";
      fs::permissions(target, fs::perms(0640));
      if (asRoot) {
        ASSERT_EQ(::chown(target.c_str(), 0, kTeam), 0);
      }
    }
    std::ofstream(theirs) << "theirs";
    if (asRoot) {
      ASSERT_EQ(::chown(theirs.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    const uid_t them = asRoot ? nobody->pw_uid : kColleague;
    ASSERT_TRUE(SetAcl(theirs, test::kAccessAcl, {{1, 6, kAll}, {2, 6, them}, {4, 6, kAll}, {0x10, 6, kAll},
                                                  {0x20, 6, kAll}}));
    const Kept earlier = KeptOf(target), their = KeptOf(theirs);

    std::deque<sys::ScratchStep> swaps = c.swaps;
    sys::SetScratchWatch([&](sys::ScratchStep step, const std::string&) {
      if (swaps.empty() || swaps.front() != step) return;
      swaps.pop_front();
      EXPECT_EQ(::syscall(SYS_renameat2, AT_FDCWD, theirs.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE), 0);
    });
    failingFlags = c.cannotExchange;
    std::string told;
    try {
      Save(target);
    } catch (const std::exception& e) {
      told = CurrentErrorInfo(e).description;
    }
    failingFlags = 0;
    sys::SetScratchWatch({});
    EXPECT_TRUE(swaps.empty()) << "the other user never had the moment to act";

    EXPECT_EQ(Names(folder), (std::set<std::string>{"report.pdf", "theirs.pdf"})) << "a file was lost or left";
    EXPECT_TRUE(fs::is_empty(program.path().toStdString())) << "a scratch file's link was left";
    if (c.saved) {
      EXPECT_EQ(told, "");
      const Kept made = KeptOf(target);
      EXPECT_EQ(made.bytes, "new");
      EXPECT_EQ(made.owner, ::geteuid());
      if (c.earlier) {
        EXPECT_EQ(made, (Kept{"new", earlier.owner, earlier.group, earlier.mode, earlier.acl}))
            << "the output has not the user's earlier file's group, permissions and ACL";
      } else {
        EXPECT_EQ(made.mode, 0644u);
        EXPECT_EQ(made.acl, "");
      }
      EXPECT_EQ(KeptOf(theirs), their) << "the other user's file was replaced or changed";
    } else {
      EXPECT_EQ(told, target + " was replaced by another file while the new one was put in its place, so nothing was "
                               "saved there and nothing was overwritten.");
      EXPECT_EQ(KeptOf(target), their) << "the other user's file was replaced or changed";
      EXPECT_EQ(KeptOf(theirs), earlier) << "the user's earlier file was replaced or changed";
    }
    sys::SetProgramFolder({});
  }
  ::umask(umask);
}

// Saved over the user's own earlier file shared with a team through its group, the new
// file keeps that group with the permissions and ACL, as a copy keeping them would. A
// user who is not in that group cannot give it: the group the new file was made with then
// gets no more than the earlier file gave its group, nor more than it was made with, and
// no one named in the ACL gains. From an earlier file with a second name, or whose ACL
// cannot be read, it takes nothing but a limit. The saves run as a user of their own, in
// a child.
TEST(SafeSaveCommit, TheEarlierFilesGroupIsKeptOrNotWidened) {
  if (::geteuid() != 0) GTEST_SKIP() << "a user of the test's own, and its groups, need root";
  constexpr uid_t kUser = 4244;
  constexpr gid_t kOwn = 4245;  // the user's own group
  const std::string shared = AclBytes({{1, 6, kAll}, {2, 4, kColleague}, {4, 6, kAll}, {0x10, 6, kAll}, {0x20, 0, kAll}});
  const std::string groupReads =
      AclBytes({{1, 6, kAll}, {2, 6, kColleague}, {4, 4, kAll}, {0x10, 6, kAll}, {0x20, 0, kAll}});
  const std::string namesColleague =
      AclBytes({{1, 7, kAll}, {2, 6, kColleague}, {4, 4, kAll}, {0x10, 6, kAll}, {0x20, 0, kAll}});
  const std::string noColleague =
      AclBytes({{1, 6, kAll}, {2, 0, kColleague}, {4, 4, kAll}, {0x10, 4, kAll}, {0x20, 0, kAll}});
  const struct Case {
    const char* name;
    bool member;  // the user is in the team
    mode_t before, umask;
    std::string acl;  // the earlier file's ("" none)
    gid_t group;      // the new file's
    mode_t after;
    std::string afterAcl;
    bool secondName = false, unreadAcl = false;
    gid_t earlierGroup = kTeam;
    bool teamFolder = false;     // new files in the folder are the team's (setgid)
    std::string folderAcl = "";  // the folder's default ACL
  } cases[] = {
      {"a member of the team", true, 0640, 022, "", kTeam, 0640, ""},
      {"a member, with the ACL", true, 0660, 077, shared, kTeam, 0660, shared},
      {"not a member: what both give the group", false, 0660, 027, "", kOwn, 0640, ""},
      {"not a member: no more than the earlier file gave", false, 0600, 022, "", kOwn, 0600, ""},
      {"not a member, with the ACL", false, 0660, 027, shared, kOwn, 0660,
       AclBytes({{1, 6, kAll}, {2, 4, kColleague}, {4, 4, kAll}, {0x10, 6, kAll}, {0x20, 0, kAll}})},
      // Another user's link to the user's file shared with the team, or a backup's.
      {"a member, a second name", true, 0660, 022, shared, kOwn, 0600, "", true},
      {"a second name, kept private", true, 0600, 022, "", kOwn, 0600, "", true},
      {"a member, the ACL unread", true, 0660, 022, groupReads, kOwn, 0600, "", false, true},
      {"a second name, private to the user's group in a team folder", true, 0660, 002, "", kTeam, 0600, "", true,
       false, kOwn, true},
      {"the colleague removed, the folder naming them", true, 0640, 022, "", kTeam, 0640, "", false, false, kTeam,
       true, namesColleague},
      {"the colleague removed, the folder naming them, a second name", true, 0640, 022, "", kTeam, 0640, noColleague,
       true, false, kTeam, true, namesColleague},
      {"the folder naming the colleague, the ACL unread", true, 0640, 022, "", kTeam, 0640, noColleague, false, true,
       kTeam, true, namesColleague},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir program, out;
    for (const QTemporaryDir* d : {&program, &out}) fs::permissions(d->path().toStdString(), fs::perms::all);
    const std::string folder = out.path().toStdString(), target = folder + "/report.xlsx";
    ASSERT_TRUE(!c.teamFolder || (::chown(folder.c_str(), 0, kTeam) == 0 && ::chmod(folder.c_str(), 02777) == 0));
    ASSERT_TRUE(c.folderAcl.empty() ||
                ::setxattr(folder.c_str(), test::kDefaultAcl, c.folderAcl.data(), c.folderAcl.size(), 0) == 0);
    std::ofstream(target) << "earlier";
    ASSERT_EQ(::chown(target.c_str(), kUser, c.earlierGroup), 0);
    ::removexattr(target.c_str(), test::kAccessAcl);  // what the folder's default ACL gave it
    fs::permissions(target, fs::perms(c.before));
    if (!c.acl.empty()) {
      ASSERT_EQ(::setxattr(target.c_str(), test::kAccessAcl, c.acl.data(), c.acl.size(), 0), 0);
    }
    if (c.secondName) fs::create_hard_link(target, out.path().toStdString() + "/team.xlsx");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const gid_t groups[] = {kTeam};
      const std::string fds = "/proc/" + std::to_string(::getpid()) + "/fd";  // hidden, as where /proc is not
      const bool unread = !c.unreadAcl || (::unshare(CLONE_NEWNS) == 0 &&
                                           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                                           ::mount("none", fds.c_str(), "tmpfs", 0, nullptr) == 0);
      if (!unread || ::setgroups(c.member ? 1 : 0, groups) != 0 || ::setresgid(kOwn, kOwn, kOwn) != 0 ||
          ::setresuid(kUser, kUser, kUser) != 0)
        ::_exit(3);
      ::umask(c.umask);
      sys::SetProgramFolder(program.path().toStdString());
      try {
        Save(target);
      } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", CurrentErrorInfo(e).description.c_str());
        ::_exit(2);
      }
      ::_exit(0);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(KeptOf(target), (Kept{"new", kUser, c.group, c.after, c.afterAcl}));
  }
}

}  // namespace
}  // namespace qvx
