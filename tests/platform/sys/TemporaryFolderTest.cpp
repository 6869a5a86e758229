// The program's private temporary folders: what their end and a later start's clean-up
// remove, whatever others sharing the temporary folder put at their names.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <pwd.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/sys/TemporaryFolder.h"
#include "support/TmpdirScope.h"

namespace qvx {
namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A private folder of the user's holding notes in a sub-folder.
void MakePrivateFolder(const std::string& path) {
  fs::create_directories(path + "/sub");
  fs::permissions(path, fs::perms::owner_all);
  std::ofstream(path + "/sub/notes") << "the user's notes";
}

// The end of a folder whose names were swapped meanwhile by someone who may write in the
// folder that holds TMPDIR: its own folder renamed away and a private folder of the user's
// put at its name, or TMPDIR itself renamed away and a link to their team folder put at its
// name, where the user's folder then stands at the folder's name. The end empties and
// removes its own folder only; the user's stays whole.
TEST(TemporaryFolder, ItsEndRemovesOnlyTheFolderItMade) {
  for (const bool swapRoot : {false, true}) {
    SCOPED_TRACE(swapRoot ? "TMPDIR swapped for a link" : "the folder swapped");
    QTemporaryDir team;
    const std::string tmp = team.path().toStdString() + "/tmp", mine = team.path().toStdString() + "/mine";
    fs::create_directory(tmp);
    MakePrivateFolder(mine);
    const test::TmpdirScope scope(tmp);
    std::string own, users;  // where the folder and the user's folder stand at its end
    {
      const sys::TemporaryFolder folder("qvx-end-");
      const std::string name = fs::path(folder.Path()).filename().string();
      std::ofstream(folder.DescriptorPath() + "/made") << "the folder's own file";
      if (swapRoot) {
        fs::rename(tmp, tmp + ".away");
        fs::create_directory_symlink(team.path().toStdString(), tmp);
        own = tmp + ".away/" + name;
        users = team.path().toStdString() + "/" + name;
      } else {
        own = tmp + "/" + name + ".away";
        users = folder.Path();
        fs::rename(folder.Path(), own);
      }
      fs::rename(mine, users);
      ASSERT_EQ(folder.Path(), tmp + "/" + name);
      ASSERT_EQ(Read(folder.Path() + "/sub/notes"), "the user's notes") << "the swap must lead the name there";
    }
    EXPECT_EQ(Read(users + "/sub/notes"), "the user's notes");
    // A folder renamed away cannot be removed by a name it no longer has: it goes empty.
    EXPECT_TRUE(swapRoot ? !fs::exists(own) : fs::is_empty(own));
  }
}

// What a start's clean-up finds at a name as its folders are named in the temporary folder,
// and what stays: another user's link to a private folder of the user's (the folder is not
// entered, let alone emptied), another user's folder though the start runs as root, and of
// the user's own only an abandoned folder goes.
TEST(TemporaryFolder, TheStartClearsOnlyTheUsersOwnAbandonedFolders) {
  const passwd* nobody = ::getpwnam("nobody");
  const struct {
    const char* what;
    bool link, anotherUsers, goes;
  } cases[] = {
      {"an abandoned folder of the user's", false, false, true},
      {"another user's link to a private folder of the user's", true, true, false},
      {"another user's folder", false, true, false},
  };
  int skipped = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.anotherUsers && (::geteuid() != 0 || !nobody)) {
      ++skipped;
      continue;
    }
    QTemporaryDir root;
    const std::string tmp = root.path().toStdString() + "/tmp", mine = root.path().toStdString() + "/mine";
    const std::string found = tmp + "/qvx-clean-Ab1234";
    fs::create_directory(tmp);
    MakePrivateFolder(c.link ? mine : found);
    if (c.link) fs::create_directory_symlink(mine, found);
    if (c.anotherUsers) {
      ASSERT_EQ(::lchown(found.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    {
      const test::TmpdirScope scope(tmp);
      sys::RemoveAbandonedTemporaryFolders("qvx-clean-");
    }
    EXPECT_EQ(fs::exists(fs::symlink_status(found)), !c.goes);
    if (!c.goes) {
      EXPECT_EQ(Read((c.link ? mine : found) + "/sub/notes"), "the user's notes");
    }
  }
  if (skipped) GTEST_SKIP() << skipped << " cases need root, and a user nobody, to make another user's folder";
}

}  // namespace
}  // namespace qvx
