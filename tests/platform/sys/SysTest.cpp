#include <algorithm>
#include <array>
#include <utility>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <set>

#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <fcntl.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/runtime/Runtime.h"
#include "platform/sys/SafeSave.h"
#include "platform/sys/Sys.h"
#include "platform/sys/TemporaryFolder.h"
#include "support/Acl.h"
#include "support/Child.h"
#include "support/TmpdirScope.h"

namespace qvx {
namespace {

TEST(Sys, LineEndsOfEitherKind) {
  QTemporaryDir dir;
  const std::string path = dir.path().toStdString() + "/lines.txt";
  struct Case {
    std::string bytes;
    size_t max;
    std::vector<std::string> want;
  };
  const std::vector<Case> cases = {
      {"a\r\nb\r\n", 61, {"a", "b"}},
      {"a\nb\n", 61, {"a", "b"}},
      {"a\rb", 61, {"a", "b"}},
      {"a\r\n\r\nb", 61, {"a", "", "b"}},
      {"a\n\rb\r\r\n", 61, {"a", "", "b", ""}},
      {"", 61, {}},
      {"\r\n", 61, {""}},
      {"1\n2\n3\n4", 2, {"1", "2"}},
      {"x=\xE9\x80", 61, {"x=\u00E9\u20AC"}},
  };
  for (auto& c : cases) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.bytes;
    EXPECT_EQ(sys::ReadTextLines(path, c.max), c.want) << c.bytes;
  }
  try {
    sys::ReadTextLines(dir.path().toStdString() + "/none.txt", 1);
    FAIL();
  } catch (const VbError& e) {
    EXPECT_EQ(e.Number(), err::FileNotFound);
  }
}

TEST(Sys, CodePageRoundTripOfEveryByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(sys::ToCp1252(sys::FromCp1252(all)), all);
  EXPECT_EQ(sys::ToCp1252("\xFF\xFE"), "??");  // not UTF-8
  struct Case {
    std::string bytes;
    bool utf8;
  } cases[] = {
      {"Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\x88", true},
      {"Caf\xE9 Sales", false},          // Windows-1252
      {"\xC0\xAF", false},                // a longer form than needed
      {"\xED\xA0\x80", false},            // a surrogate
      {"\xF4\x90\x80\x80", false},        // past U+10FFFF
      {"\xE2\x82", false},                // cut short
      {"\xEF\xBF\xBD", true},             // U+FFFD itself
  };
  for (const auto& c : cases) EXPECT_EQ(sys::IsUtf8(c.bytes), c.utf8) << c.bytes;
}

// A program killed while it writes an output file leaves its scratch file beside the
// target; the next start removes it (found through its link in the program folder) and
// nothing else, and the target is as it was. So too on a disk that keeps no Unix
// permissions, where its folder shows 0777 as every folder does (stood in for by
// sys::SetShownOwnership).
TEST(Sys, AKilledOutputLeavesAScratchFileThatTheNextStartRemoves) {
  namespace fs = std::filesystem;
  for (const bool withoutPermissions : {false, true}) {
    SCOPED_TRACE(withoutPermissions ? "on a disk without Unix permissions" : "");
    if (withoutPermissions) sys::SetShownOwnership([](unsigned&, unsigned& permissions, bool) { permissions = 0777; });
    QTemporaryDir program, out;
    sys::SetProgramFolder(program.path().toStdString());
    const std::string target = out.path().toStdString() + "/report.pdf";
    std::ofstream(target) << "the earlier report";
    std::ofstream(out.path().toStdString() + "/.qvx-save-keepme") << "not ours to remove";
    fs::create_symlink(out.path().toStdString() + "/.qvx-save-keepme",
                       program.path().toStdString() + "/QVXScratch.keep");
    std::ofstream(out.path().toStdString() + "/keep.txt") << "the user's";
    fs::create_symlink(out.path().toStdString() + "/keep.txt", program.path().toStdString() + "/QVXScratch.abcdef");
    Child child{::fork()};
    ASSERT_GE(child.pid, 0);
    if (child.pid == 0) {
      sys::ScratchFile scratch(target);
      scratch.Write("half a report");
      ::_exit(0);  // killed: no destructor runs
    }
    ASSERT_EQ(child.Wait(), 0);
    auto names = [](const QTemporaryDir& d) {
      std::set<std::string> n;
      for (const auto& e : fs::directory_iterator(d.path().toStdString())) n.insert(e.path().filename().string());
      return n;
    };
    ASSERT_EQ(names(out).size(), 4u);
    ASSERT_EQ(names(program).size(), 3u);
    sys::RemoveLeftoverScratchFiles();
    sys::SetShownOwnership({});
    EXPECT_EQ(names(out), (std::set<std::string>{".qvx-save-keepme", "keep.txt", "report.pdf"}));
    EXPECT_EQ(names(program), std::set<std::string>{"QVXScratch.keep"});
    std::ifstream in(target);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the earlier report");
    sys::SetProgramFolder({});
  }
}

// Two copies of the program: the one starting removes what a kill left, never the
// output the other is still writing, which then takes its target's place whole and with
// the target's permissions.
TEST(Sys, AScratchFileAnotherProcessIsWritingSurvivesTheNextStart) {
  namespace fs = std::filesystem;
  QTemporaryDir program, out;
  sys::SetProgramFolder(program.path().toStdString());
  const std::string target = out.path().toStdString() + "/report.pdf";
  std::ofstream(target) << "the earlier report";
  fs::permissions(target, fs::perms(0600));
  int toChild[2], toParent[2];
  ASSERT_EQ(::pipe(toChild), 0);
  ASSERT_EQ(::pipe(toParent), 0);
  char byte = 0;
  Child child{::fork()};
  ASSERT_GE(child.pid, 0);
  if (child.pid == 0) {
    int status = 1;
    try {
      sys::ScratchFile scratch(target);
      scratch.Write("the first half");
      if (::write(toParent[1], "w", 1) == 1 && ::read(toChild[0], &byte, 1) == 1) {
        scratch.Write(" and the rest");
        scratch.Commit();
        status = 0;
      }
    } catch (...) {
      status = 2;
    }
    ::_exit(status);
  }
  ASSERT_TRUE(Child::Heard(toParent[0])) << "the save never wrote its first half";
  auto count = [](const QTemporaryDir& d) {
    return std::distance(fs::directory_iterator(d.path().toStdString()), fs::directory_iterator());
  };
  ASSERT_EQ(count(out), 2);
  ASSERT_EQ(count(program), 1);
  sys::RemoveLeftoverScratchFiles();
  EXPECT_EQ(count(out), 2);
  EXPECT_EQ(count(program), 1);
  ASSERT_EQ(::write(toChild[1], "c", 1), 1);
  const int status = child.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  std::ifstream in(target);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the first half and the rest");
  EXPECT_EQ(fs::status(target).permissions(), fs::perms(0600));
  EXPECT_EQ(count(out), 1);
  EXPECT_EQ(count(program), 0);
  for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]}) ::close(fd);
  sys::SetProgramFolder({});
}

// A write beyond the process's file-size limit (`ulimit -f`, its signal ignored as the
// program does) is taken as a full disk but told by its own cause, and the earlier file stays.
TEST(Sys, AWritePastTheFileSizeLimitIsADiskFull) {
  QTemporaryDir dir;
  const std::string path = dir.path().toStdString() + "/settings.ini";
  sys::WriteTextLines(path, {"the earlier settings"});
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 4096);
  const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
  int number = 0;
  std::string description;
  if (::setrlimit(RLIMIT_FSIZE, &small) == 0) {
    try {
      sys::WriteTextLines(path, {std::string(10000, 'x')});
    } catch (const VbError& e) {
      number = e.Number();
      description = e.Description();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
  }
  std::signal(SIGXFSZ, savedSignal);
  EXPECT_EQ(number, err::DiskFull);
  EXPECT_EQ(description, "File size limit exceeded");
  EXPECT_EQ(sys::ReadTextLines(path, 10), std::vector<std::string>{"the earlier settings"});
}

// Another user's output being written in an output folder shared with this user, linked
// from a shared program folder: the folders, not sticky, would let this start remove the
// file, but one it cannot open is not known to be abandoned and stays, with its link.
TEST(Sys, AScratchFileTheStartCannotOpenStays) {
  namespace fs = std::filesystem;
  QTemporaryDir program, out;
  for (const QTemporaryDir* d : {&program, &out}) fs::permissions(d->path().toStdString(), fs::perms::all);
  const std::string scratch = out.path().toStdString() + "/.qvx-save-0thers";
  const std::string link = program.path().toStdString() + "/QVXScratch.0thers";
  std::ofstream(scratch) << "half of another user's report";
  // Not even its owner may open it; as root every file opens, so the start runs as nobody.
  fs::permissions(scratch, fs::perms::none);
  fs::create_symlink(scratch, link);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0) {
      const passwd* nobody = ::getpwnam("nobody");
      if (!nobody || ::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)
        ::_exit(3);
    }
    // The folders must be within the start's reach, or the test proves nothing.
    if (::access(out.path().toUtf8().constData(), W_OK | X_OK) != 0 ||
        ::access(program.path().toUtf8().constData(), W_OK | X_OK) != 0)
      ::_exit(4);
    sys::SetProgramFolder(program.path().toStdString());
    sys::RemoveLeftoverScratchFiles();
    ::_exit(0);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 4) GTEST_SKIP() << "the temporary folder is out of nobody's reach";
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(fs::exists(fs::symlink_status(scratch))) << "another user's unfinished output was removed";
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
}

using test::TmpdirScope;

// Two runs starting at once: the one clearing away what killed runs left never fails
// the other's start by taking its new folder before it holds it.
TEST(Sys, ATemporaryFolderIsMadeWhileAnotherStartClearsLeftovers) {
  QTemporaryDir root;
  const TmpdirScope scope(root.path().toStdString());
  Child child{::fork()};
  ASSERT_GE(child.pid, 0);
  if (child.pid == 0) {
    for (;;) sys::RemoveAbandonedTemporaryFolders("qvx-race-");
  }
  int made = 0;
  try {
    for (int i = 0; i < 2000; ++i) {
      const sys::TemporaryFolder folder("qvx-race-");
      if (std::filesystem::is_directory(folder.Path())) ++made;
    }
  } catch (const std::exception& e) {
    ADD_FAILURE() << CurrentErrorInfo(e).description;
  }
  ::kill(child.pid, SIGKILL);
  child.Wait();
  EXPECT_EQ(made, 2000);
}

// A killed run's folder is emptied through the descriptor on which it was found the
// user's and unheld: a folder of the user's that someone sharing the temporary folder
// puts at its name once it has been checked stays whole, and so does what a link in it
// names; the folder of a run still going stays.
TEST(Sys, AnAbandonedTemporaryFolderIsRemovedOnlyAsItWasChecked) {
  namespace fs = std::filesystem;
  QTemporaryDir root;
  const std::string tmp = root.path().toStdString();
  const TmpdirScope scope(tmp);
  const std::string left = tmp + "/qvx-swap-Ki11ed", mine = tmp + "/mine";
  fs::create_directories(left + "/sub");
  fs::permissions(left, fs::perms::owner_all);
  std::ofstream(left + "/sub/half") << "half a run";
  fs::create_directories(mine + "/sub");
  std::ofstream(mine + "/sub/notes") << "the user's notes";
  fs::create_symlink(mine, left + "/link");
  const sys::TemporaryFolder running("qvx-swap-");
  sys::SetAbandonedFolderWatch([&](const std::string& path) {
    if (path != left) return;
    fs::rename(left, tmp + "/checked");
    fs::rename(mine, left);
  });
  sys::RemoveAbandonedTemporaryFolders("qvx-swap-");
  sys::SetAbandonedFolderWatch({});
  std::ifstream notes(left + "/sub/notes");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(notes), {}), "the user's notes");
  EXPECT_TRUE(fs::is_empty(tmp + "/checked"));
  EXPECT_TRUE(fs::is_directory(running.Path()));
}

// A TMPDIR where others may rename or replace names is passed over for /tmp, with a line
// saying so; one of the user's (or root's) that others may not change there is used.
TEST(Sys, ATemporaryRootOthersMayChangeIsPassedOver) {
  namespace fs = std::filesystem;
  const struct {
    unsigned mode;
    bool anotherUsers, used;
  } cases[] = {{0700, false, true},   {0755, false, true},   {01777, false, true}, {0777, false, false},
               {0775, false, false}, {02770, false, false}, {01777, true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.mode) + (c.anotherUsers ? " another user's" : ""));
    QTemporaryDir folder;
    const std::string path = folder.path().toStdString();
    ::chmod(path.c_str(), c.mode);
    if (c.anotherUsers) {
      const passwd* nobody = ::getpwnam("nobody");
      if (::geteuid() != 0 || !nobody) continue;
      ASSERT_EQ(::chown(path.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    const TmpdirScope scope(path);
    std::string line;
    const std::string used = sys::TemporaryRoot(&line);
    EXPECT_EQ(used, c.used ? path : "/tmp");
    EXPECT_EQ(line, c.used ? "" : "TMPDIR " + path + " is not used: other users may rename or replace what is in it "
                                  "(it is theirs, or lacks the sticky bit); temporary folders are made in /tmp");
    const sys::TemporaryFolder made("qvx-guard-");
    EXPECT_EQ(fs::path(made.Path()).parent_path().string(), used);
  }
}

using test::AclOf;
using test::SetAcl;
constexpr const char* kAccess = test::kAccessAcl;

// A new output gets what any program's new file gets in its folder (the umask, or the
// folder's default ACL: the team's, u::rwx,g::rwx,o::---,u:colleague:rwx); over an earlier
// file of the user's own it keeps that file's permissions and ACL; over another user's
// file (a folder without sticky bit) it gets what a new file gets, never the other user's.
// A new file is also checked against one the kernel makes beside it with mode 0666.
TEST(Sys, ACommittedFileHasWhatANewFileGetsThereOrTheUsersEarlierFilesPermissions) {
  namespace fs = std::filesystem;
  QTemporaryDir program, out;
  sys::SetProgramFolder(program.path().toStdString());
  const std::string folder = out.path().toStdString(), target = folder + "/report.pdf", beside = folder + "/new";
  fs::permissions(folder, fs::perms(02777));
  const passwd* nobody = ::getpwnam("nobody");
  constexpr uint32_t kColleague = 4242, kAll = 0xFFFFFFFF;
  enum Earlier { None, Own, OwnWithAcl, Others };
  const struct Case {
    Earlier earlier;
    int before;    // the earlier file's permissions
    mode_t umask;
    bool teamAcl;  // the folder has the team's default ACL
    int after;     // -1: as the earlier file was
  } cases[] = {{Own, 0600, 022, false, -1}, {Own, 0640, 077, false, -1}, {Own, 0444, 022, false, -1},
               {None, 0, 022, false, 0644},  {None, 0, 077, false, 0600},  {None, 0, 002, false, 0664},
               {Others, 0666, 022, false, 0644}, {Others, 0666, 077, false, 0600}, {None, 0, 022, true, 0660},
               {Others, 0666, 022, true, 0660}, {OwnWithAcl, 0640, 022, true, -1}, {Own, 0600, 022, true, -1}};
  int skipped = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.earlier << " " << std::oct << c.before << " umask " << c.umask
                                    << (c.teamAcl ? " team ACL" : ""));
    ::removexattr(folder.c_str(), "system.posix_acl_default");
    if ((c.teamAcl && !SetAcl(folder, "system.posix_acl_default", {{1, 7, kAll}, {2, 7, kColleague}, {4, 7, kAll},
                                                                    {0x10, 7, kAll}, {0x20, 0, kAll}})) ||
        (c.earlier == Others && (::geteuid() != 0 || !nobody))) {
      ++skipped;
      continue;
    }
    fs::remove(target);
    fs::remove(beside);
    if (c.earlier != None) {
      std::ofstream(target) << "earlier";
      fs::permissions(target, fs::perms(c.before));
      // Made in a folder with a default ACL it took one: only its permissions stay.
      ::removexattr(target.c_str(), kAccess);
      if (c.earlier == OwnWithAcl)
        SetAcl(target, kAccess, {{1, 6, kAll}, {2, 4, kColleague}, {4, 4, kAll}, {0x10, 4, kAll}, {0x20, 0, kAll}});
      if (c.earlier == Others) ::chown(target.c_str(), nobody->pw_uid, nobody->pw_gid);
    }
    const std::string earlierAcl = AclOf(target);
    const auto earlierMode = fs::status(target).permissions();
    const mode_t saved = ::umask(c.umask);
    ::close(::open(beside.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666));
    {
      sys::ScratchFile scratch(target);
      scratch.Write("new");
      scratch.Commit();
    }
    ::umask(saved);
    const std::string& like = c.after < 0 ? target : beside;
    EXPECT_EQ(fs::status(target).permissions(), c.after < 0 ? earlierMode : fs::perms(c.after));
    EXPECT_EQ(fs::status(target).permissions(), fs::status(like).permissions());
    EXPECT_EQ(AclOf(target), c.after < 0 ? earlierAcl : AclOf(beside));
    // With the team's ACL a new file has one (naming the colleague); the user's own file
    // keeps whether it had one.
    EXPECT_EQ(AclOf(target).empty(), c.after < 0 ? c.earlier != OwnWithAcl : !c.teamAcl);
  }
  sys::SetProgramFolder({});
  if (skipped) GTEST_SKIP() << skipped << " cases need ACLs in the temporary folder, or root to make another user's file";
}

TEST(Sys, ProgramFolder) {
  // Without a test folder: the folder of this test program.
  sys::SetProgramFolder({});
  EXPECT_EQ(sys::ProgramFolder() + "/", std::string(QVX_BINARY_DIR) + "/bin/");
  sys::SetProgramFolder("/tmp/x/");
  EXPECT_EQ(sys::InProgramFolder("Tallymoor.Ini"), "/tmp/x/Tallymoor.Ini");
  sys::SetProgramFolder({});
}

}  // namespace
}  // namespace qvx
