// What a save killed at any moment leaves, and what the next start makes of it: on a disk
// that keeps Unix permissions, and on disks that show every file and folder as their mount
// gives (an NTFS disk mounted for all users showing another user as owner, which refuses
// the user's mode changes; a FAT stick), whatever a kill leaves is named by a link in the
// program folder and goes at the next start, and the earlier file stays. A save still
// running keeps its folder, and so does another user; a start clearing leftovers at the
// moment a save makes its folder never takes it from the save, which saves all the same.
// A save that fails leaves nothing, on a real NTFS disk too.
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/runtime/Runtime.h"
#include "platform/sys/SafeSave.h"
#include "platform/sys/Sys.h"
#include "support/Child.h"

namespace qvx {
namespace {

namespace fs = std::filesystem;

const std::string kEarlier = "the earlier report", kNew = "the new report";

// A disk as the program sees it: one that keeps Unix owners and permissions, or one that
// shows every file and folder as its mount gives them, whatever is set, and may refuse a
// change of mode outright.
struct Disk {
  const char* name;
  bool shown = false;
  unsigned owner = 0, folders = 0, files = 0;
  bool refused = false;
};

std::vector<Disk> Disks() {
  const unsigned me = ::geteuid(), other = me == 0 ? 65534 : 0;
  return {{"a disk that keeps Unix permissions"},
          {"NTFS by ntfs-3g with allow_other, showing another user as owner", true, other, 0777, 0777, true},
          {"NTFS by ntfs-3g, for the user who mounted it", true, me, 0777, 0777, false},
          {"a FAT stick, folders 0755 by its dmask", true, me, 0755, 0644, true}};
}

// The disk's stand-ins (sys::SetShownOwnership, sys::SetModeChangesRefused) in this
// process, and in the children it forks, until the end of the scope.
struct OnDisk {
  explicit OnDisk(const Disk& d) {
    if (d.shown)
      sys::SetShownOwnership([d](unsigned& owner, unsigned& permissions, bool folder) {
        owner = d.owner;
        permissions = folder ? d.folders : d.files;
      });
    sys::SetModeChangesRefused(d.refused);
  }
  ~OnDisk() {
    sys::SetShownOwnership({});
    sys::SetModeChangesRefused(false);
  }
  OnDisk(const OnDisk&) = delete;
  OnDisk& operator=(const OnDisk&) = delete;
};

// A program folder, and an output folder (in disk) holding the user's earlier report.
struct Folders {
  QTemporaryDir programDir, outDir;
  const std::string program = programDir.path().toStdString(), out = outDir.path().toStdString(),
                    target = out + "/report.pdf";
  explicit Folders(const QString& disk = QDir::tempPath()) : outDir(disk + "/qvx-out-XXXXXX") {
    sys::SetProgramFolder(program);
    std::ofstream(target) << kEarlier;
  }
  ~Folders() { sys::SetProgramFolder({}); }
  Folders(const Folders&) = delete;
  Folders& operator=(const Folders&) = delete;

  // The names in a folder; none when it is gone.
  static std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> n;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
      n.insert(it->path().filename().string());
    return n;
  }
  // The scratch folders beside the target that no link in the program folder names: what
  // no start would ever find.
  std::set<std::string> Unnamed() const {
    std::set<std::string> left;
    for (const std::string& n : Names(out))
      if (n.rfind(".qvx-save-", 0) == 0) left.insert(n);
    for (const std::string& n : Names(program)) {
      std::error_code ec;
      left.erase(fs::read_symlink(program + "/" + n, ec).filename().string());
    }
    return left;
  }
  // The scratch folder the save is making, and its link.
  std::pair<std::string, std::string> Scratch() const {
    for (const std::string& n : Names(out))
      if (n.rfind(".qvx-save-", 0) == 0)
        return {out + "/" + n, program + "/QVXScratch." + n.substr(std::string(".qvx-save-").size())};
    return {};
  }
  std::string Read() const {
    std::ifstream in(target);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

// Saves the new report, the watch acting at each step: 0 saved, 2 raised (told is what).
int Save(const std::string& target, sys::ScratchWatch watch, std::string* told = nullptr) {
  sys::SetScratchWatch(std::move(watch));
  int status = 0;
  try {
    sys::ScratchFile scratch(target);
    scratch.Write(kNew);
    scratch.Commit();
  } catch (const std::exception& e) {
    if (told) *told = CurrentErrorInfo(e).description;
    status = 2;
  }
  sys::SetScratchWatch({});
  return status;
}

// Saves it in a child process: its wait status.
int SaveInChild(const std::string& target, sys::ScratchWatch watch) {
  Child child{::fork()};
  if (child.pid == 0) ::_exit(Save(target, std::move(watch)));
  return child.Wait();
}

sys::ScratchWatch KillAt(sys::ScratchStep at) {
  return [at](sys::ScratchStep step, const std::string&) {
    if (step == at) ::kill(::getpid(), SIGKILL);
  };
}

bool Killed(int status) { return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL; }

// After the next start: nothing of the save beside the target or in the program folder.
void ExpectNothingLeft(const Folders& f, const std::string& report) {
  EXPECT_EQ(Folders::Names(f.out), std::set<std::string>{"report.pdf"}) << "something of the save was left";
  EXPECT_EQ(Folders::Names(f.program), std::set<std::string>{}) << "a link was left";
  EXPECT_EQ(f.Read(), report);
}

TEST(LeftoverSave, WhateverAKilledSaveLeavesIsNamedByALinkAndGoesAtTheNextStart) {
  using sys::ScratchStep;
  struct Kill {
    const char* name;
    std::function<void(const Folders& f)> leave;  // what the kill leaves
  };
  auto killedAt = [](ScratchStep step) {
    return [step](const Folders& f) { EXPECT_TRUE(Killed(SaveInChild(f.target, KillAt(step)))); };
  };
  const std::vector<Kill> kills = {
      {"killed between its link and its folder",
       [](const Folders& f) { fs::create_symlink(f.out + "/.qvx-save-Unmade", f.program + "/QVXScratch.Unmade"); }},
      {"killed as its folder is made", killedAt(ScratchStep::FolderMade)},
      {"killed once its file is made", killedAt(ScratchStep::Made)},
      {"killed as its file is put in place", killedAt(ScratchStep::Placing)},
      {"killed as it looks at the earlier file", killedAt(ScratchStep::Looked)},
      {"killed as its file takes the name", killedAt(ScratchStep::Taking)},
      {"killed writing a lone scratch file, as earlier versions made them",
       [](const Folders& f) {
         std::ofstream(f.out + "/.qvx-save-L0ne01") << "half a report";
         fs::create_symlink(f.out + "/.qvx-save-L0ne01", f.program + "/QVXScratch.L0ne01");
       }},
  };
  for (const Disk& d : Disks())
    for (const Kill& k : kills) {
      SCOPED_TRACE(std::string(d.name) + ": a save " + k.name);
      Folders f;
      const OnDisk on(d);
      k.leave(f);
      EXPECT_EQ(f.Unnamed(), std::set<std::string>{}) << "a scratch folder no link names";
      EXPECT_FALSE(Folders::Names(f.program).empty()) << "no link to what the save left";
      sys::RemoveLeftoverScratchFiles();
      ExpectNothingLeft(f, kEarlier);
    }
}

TEST(LeftoverSave, ARunningSavesFolderAndAnotherUsersStay) {
  // A save still running, stopped once its file is made, on every disk.
  for (const Disk& d : Disks()) {
    SCOPED_TRACE(std::string(d.name) + ": a save still running");
    Folders f;
    const OnDisk on(d);
    int toChild[2], toParent[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(toParent), 0);
    Child child{::fork()};
    ASSERT_GE(child.pid, 0);
    if (child.pid == 0) {
      ::_exit(Save(f.target, [&](sys::ScratchStep step, const std::string&) {
        char byte = 0;
        if (step == sys::ScratchStep::Made && (::write(toParent[1], "m", 1) != 1 || ::read(toChild[0], &byte, 1) != 1))
          ::_exit(3);
      }));
    }
    ASSERT_TRUE(Child::Heard(toParent[0])) << "the save never made its file";
    const auto [folder, link] = f.Scratch();
    sys::RemoveLeftoverScratchFiles();
    EXPECT_TRUE(fs::is_regular_file(folder + "/" + fs::path(folder).filename().string())) << "the save's file went";
    EXPECT_TRUE(fs::is_symlink(link)) << "the save's link went";
    ASSERT_EQ(::write(toChild[1], "c", 1), 1);
    const int status = child.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ExpectNothingLeft(f, kNew);
    for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]}) ::close(fd);
  }

  // Scratch folders of a killed save's name and shape, linked from the user's program
  // folder, that are not the user's, on a disk that keeps Unix permissions: as root the
  // start could remove any of them.
  const passwd* nobody = ::getpwnam("nobody");
  const unsigned me = ::geteuid();
  struct Found {
    const char* name;
    bool others;  // another user's (root only)
    unsigned mode;
    bool refused;  // the disk refuses a change of mode
  };
  for (const Found& s : {Found{"another user's, as their save makes it", true, 0700, false},
                         Found{"another user's, open to all", true, 0777, false},
                         Found{"another user's, on a disk that keeps owners but refuses mode changes", true, 0700, true},
                         Found{"the user's own, open to all", false, 0777, false}}) {
    SCOPED_TRACE(std::string("a scratch folder ") + s.name);
    if (s.others && (me != 0 || !nobody)) continue;  // only root can make another user's
    Folders f;
    const std::string folder = f.out + "/.qvx-save-0thers", file = folder + "/.qvx-save-0thers",
                      link = f.program + "/QVXScratch.0thers";
    fs::create_directory(folder);
    std::ofstream(file) << "half of a report";
    fs::create_symlink(folder, link);
    if (s.others) {
      ASSERT_EQ(::chown(folder.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
      ASSERT_EQ(::chown(file.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    fs::permissions(folder, fs::perms(s.mode));
    sys::SetModeChangesRefused(s.refused);
    sys::RemoveLeftoverScratchFiles();
    sys::SetModeChangesRefused(false);
    EXPECT_EQ(Folders::Names(folder), std::set<std::string>{".qvx-save-0thers"}) << "the folder was removed or emptied";
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
  }
}

TEST(LeftoverSave, AStartAtTheMomentASaveMakesItsFolderNeverTakesItFromTheSave) {
  // What another copy of the program, starting as the save has just made its folder (not
  // yet opened nor locked), does with the folder and its link.
  struct Start {
    const char* name;
    // Acts at the save's first folder; returns what the start does later, at the save's
    // next step, if anything.
    std::function<std::function<void()>(const std::string& folder, const std::string& link)> act;
  };
  const std::vector<Start> starts = {
      {"clears leftovers",
       [](const std::string&, const std::string&) {
         sys::RemoveLeftoverScratchFiles();
         return std::function<void()>{};
       }},
      // Found unheld and locked there; removed, with its file and link, at the save's next
      // step, as such a start does.
      {"holds the folder as the save would lock it",
       [](const std::string& folder, const std::string& link) {
         const int held = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
         if (::flock(held, LOCK_EX | LOCK_NB) != 0) ::_exit(5);
         return std::function<void()>([=] {
           std::error_code ec;
           fs::remove_all(folder, ec);
           fs::remove(link, ec);
           ::close(held);
         });
       }},
      // Found its link, the folder not yet made, took the folder's name and removed the link
      // just before the save made the folder.
      {"removed the link as the folder was not yet made",
       [](const std::string&, const std::string& link) {
         std::error_code ec;
         fs::remove(link, ec);
         return std::function<void()>{};
       }},
  };
  for (const Disk& d : Disks())
    for (const Start& s : starts)
      for (const bool killed : {false, true}) {
        SCOPED_TRACE(std::string(d.name) + ": a start that " + s.name +
                     (killed ? ", the save killed once its file is made" : ""));
        Folders f;
        const OnDisk on(d);
        const int status = SaveInChild(f.target, [&, later = std::function<void()>{}, first = true](
                                                     sys::ScratchStep step, const std::string&) mutable {
          if (later) std::exchange(later, nullptr)();
          if (step == sys::ScratchStep::FolderMade && std::exchange(first, false)) {
            const auto [folder, link] = f.Scratch();
            later = s.act(folder, link);
          }
          if (killed && step == sys::ScratchStep::Made) {
            if (!f.Unnamed().empty()) ::_exit(4);  // what no start would ever find
            ::kill(::getpid(), SIGKILL);
          }
        });
        if (killed) {
          EXPECT_TRUE(Killed(status)) << (status == 4 << 8 ? "a scratch folder no link names" : "") << status;
          sys::RemoveLeftoverScratchFiles();
          ExpectNothingLeft(f, kEarlier);
        } else {
          EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the save failed: " << status;
          ExpectNothingLeft(f, kNew);
        }
      }
}

// A save that fails (on a full disk) leaves nothing on a real NTFS disk either, where ntfs-3g
// keeps a file removed while open hidden in its folder; a folder that cannot go yet (its
// file held open elsewhere, as the save fails or as the next start clears what a killed
// save left) keeps its link, and goes at the next start.
TEST(LeftoverSave, AFailedSaveOnNtfsLeavesNothing) {
  QTemporaryDir disk;
  const std::string make = "cd '" + disk.path().toStdString() +
                           "' && mkdir mnt && truncate -s 8M img && mkntfs -Ffq img >/dev/null 2>&1 && ntfs-3g img mnt";
  if (::geteuid() != 0 || std::system(make.c_str()) != 0) GTEST_SKIP() << "an NTFS disk needs root, mkntfs, ntfs-3g";
  enum Held { No, AsItFails, AtTheNextStart };
  for (const Held held : {No, AsItFails, AtTheNextStart}) {
    SCOPED_TRACE(held == AsItFails ? "its file held open elsewhere" : held ? "killed, held at the next start" : "");
    Folders f(disk.filePath("mnt"));
    const rlimit full{4, 4};  // a longer write is refused, as on a full disk
    auto fileOf = [](const std::string& folder) { return folder + "/" + fs::path(folder).filename().string(); };
    const int status = SaveInChild(f.target, [&](sys::ScratchStep step, const std::string&) {
      if (step == sys::ScratchStep::Made && held == AtTheNextStart) ::kill(::getpid(), SIGKILL);
      if (step == sys::ScratchStep::Made &&
          ((held && ::open(fileOf(f.Scratch().first).c_str(), O_RDONLY) < 0) ||
           ::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &full)))
        ::_exit(4);
    });
    EXPECT_TRUE(held == AtTheNextStart ? Killed(status) : status == 2 << 8) << status;
    EXPECT_EQ(f.Unnamed(), std::set<std::string>{}) << "a scratch folder no link names";
    if (!held) ExpectNothingLeft(f, kEarlier);
    if (held == AtTheNextStart) {
      const int open = ::open(fileOf(f.Scratch().first).c_str(), O_RDONLY);
      EXPECT_GE(open, 0);
      sys::RemoveLeftoverScratchFiles();
      EXPECT_EQ(f.Unnamed(), std::set<std::string>{}) << "the link of a folder that stays went";
      ::close(open);
    }
    sys::RemoveLeftoverScratchFiles();
    ExpectNothingLeft(f, kEarlier);
  }
  ::umount2(disk.filePath("mnt").toStdString().c_str(), MNT_DETACH);
}

// Saves made one after another while another copy of the program starts over and over,
// clearing leftovers, until it is killed: every save is saved, and after the next start
// nothing is left.
TEST(LeftoverSave, EverySaveIsSavedWhileAnotherCopyStartsOverAndOver) {
  for (const Disk& d : {Disks()[0], Disks()[1]}) {
    SCOPED_TRACE(d.name);
    Folders f;
    const OnDisk on(d);
    Child starts{::fork()};
    ASSERT_GE(starts.pid, 0);
    if (starts.pid == 0)
      for (;;) sys::RemoveLeftoverScratchFiles();
    int saved = 0;
    std::string told;
    for (int i = 0; i < 500; ++i) saved += Save(f.target, {}, &told) == 0;
    ::kill(starts.pid, SIGKILL);
    starts.Wait();
    EXPECT_EQ(saved, 500) << told;
    EXPECT_EQ(f.Unnamed(), std::set<std::string>{}) << "a scratch folder no link names";
    sys::RemoveLeftoverScratchFiles();
    ExpectNothingLeft(f, kNew);
  }
}

}  // namespace
}  // namespace qvx
