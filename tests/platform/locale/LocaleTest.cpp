#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/locale/Locale.h"
#include "platform/sys/EndSignals.h"

using namespace qvx;
namespace fs = std::filesystem;

namespace {

// A private configuration folder for one test; the previous one comes back afterwards.
class ConfigFolder {
 public:
  ConfigFolder() {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    had_ = old != nullptr;
    if (had_) old_ = old;
    char tmpl[] = "/tmp/qvx-locale-XXXXXX";
    dir_ = mkdtemp(tmpl);
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  }
  ~ConfigFolder() {
    if (had_) setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  const std::string& Dir() const { return dir_; }

 private:
  bool had_ = false;
  std::string old_, dir_;
};

class EnvVar {
 public:
  EnvVar(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv(name, value, 1);
  }
  ~EnvVar() {
    if (had_) setenv(name_.c_str(), old_.c_str(), 1);
    else unsetenv(name_.c_str());
  }

 private:
  std::string name_, old_;
  bool had_ = false;
};

}  // namespace

TEST(Locale, PictureFromTheCLibraryFormat) {
  struct Case { const char* format; const char* picture; };
  for (auto c : std::initializer_list<Case>{
           {"%m/%d/%y", "MM/dd/yy"},      // C and POSIX
           {"%d/%m/%y", "dd/MM/yy"},      // en_AU, en_GB
           {"%d/%m/%Y", "dd/MM/yyyy"},
           {"%d.%m.%Y", "dd.MM.yyyy"},    // de_DE
           {"%Y-%m-%d", "yyyy-MM-dd"},    // sv_SE
           {"%F", "yyyy-MM-dd"},
           {"%D", "MM/dd/yy"},
           {"%e/%m/%Y", "d/MM/yyyy"},
           {"%Ey/%Om/%Od", "yy/MM/dd"},
           {"%Y年%m月%d日", "yyyy年MM月dd日"},
           {"%d de %B de %Y", "dd 'de' MMMM 'de' yyyy"},
           {"%d/%m/%Y %H:%M", "dd/MM/yyyy :"},
       }) {
    EXPECT_EQ(locale::PictureFromStrftime(c.format), c.picture) << c.format;
  }
}

TEST(Locale, DatesWrittenWithAPicture) {
  struct Case { const char* picture; int y, m, d; const char* text; };
  for (auto c : std::initializer_list<Case>{
           {"dd/MM/yyyy", 2013, 3, 5, "05/03/2013"},
           {"MM/dd/yyyy", 2013, 3, 5, "03/05/2013"},
           {"d/M/yy", 2013, 3, 5, "5/3/13"},
           {"dd/MM/yy", 2009, 12, 31, "31/12/09"},
           {"yyyy-MM-dd", 2024, 2, 29, "2024-02-29"},
           {"dd.MM.yyyy", 2001, 1, 9, "09.01.2001"},
           {"ddd d MMM yyyy", 2013, 3, 5, "Tue 5 Mar 2013"},
           {"dddd, MMMM d", 2026, 12, 7, "Monday, December 7"},
           {"dd' de 'MMMM", 2020, 5, 1, "01 de May"},
           {"'it''s' d", 2020, 5, 1, "it's 1"},
       }) {
    EXPECT_EQ(locale::FormatDate(c.picture, c.y, c.m, c.d), c.text) << c.picture;
  }
}

TEST(Locale, ThePerUserFileWinsOverTheCLibrary) {
  ConfigFolder cfg;
  EnvVar lc("LC_ALL", "C");
  EXPECT_EQ(locale::ShortDateFilePath(), cfg.Dir() + "/quorvex/short-date");
  // No file: derived from LC_TIME of the C locale.
  EXPECT_EQ(locale::GetLocaleInfo(locale::kLocaleUserDefault, locale::kLocaleSShortDate), "MM/dd/yy");

  // Written as the Windows call would, read back by the next call, kept in the file.
  EXPECT_TRUE(locale::SetLocaleInfo(locale::GetSystemDefaultLCID(), locale::kLocaleSShortDate, "dd/MM/yyyy"));
  EXPECT_EQ(locale::GetLocaleInfo(locale::kLocaleUserDefault, locale::kLocaleSShortDate), "dd/MM/yyyy");
  std::ifstream in(locale::ShortDateFilePath());
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "dd/MM/yyyy");

  // A file changed behind the program's back is read again; CR LF line ends are fine.
  {
    std::ofstream out(locale::ShortDateFilePath(), std::ios::trunc | std::ios::binary);
    out << "yyyy-MM-dd-\r\n";
  }
  EXPECT_EQ(locale::ShortDatePicture(), "yyyy-MM-dd-");
  // An empty file counts as none.
  { std::ofstream out(locale::ShortDateFilePath(), std::ios::trunc); }
  EXPECT_EQ(locale::ShortDatePicture(), "MM/dd/yy");
  // A file removed is gone for the very next date, not only after the next date check.
  std::ofstream(locale::ShortDateFilePath()) << "dd/MM/yyyy\n";
  EXPECT_EQ(locale::ShortDatePicture(), "dd/MM/yyyy");
  std::filesystem::remove(locale::ShortDateFilePath());
  EXPECT_EQ(locale::ShortDatePicture(), "MM/dd/yy");

  // Items this system does not keep: nothing read, nothing written.
  EXPECT_EQ(locale::GetLocaleInfo(locale::kLocaleUserDefault, 0x1D), "");
  EXPECT_FALSE(locale::SetLocaleInfo(locale::kLocaleUserDefault, 0x1D, "/"));
}

TEST(Locale, AFolderThatCannotBeWrittenRefusesTheChange) {
  ConfigFolder cfg;
  // A file stands where the folder should be.
  { std::ofstream out(cfg.Dir() + "/quorvex"); }
  EXPECT_FALSE(locale::SetLocaleInfo(locale::kLocaleUserDefault, locale::kLocaleSShortDate, "dd/MM/yyyy"));
}

namespace {

std::string TextOf(const fs::path& file) {
  std::ifstream in(file);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// What a folder holds: its permissions, then each name with its text (a link: where it
// points; anything but a file: its kind).
std::map<std::string, std::string> Contents(const fs::path& folder) {
  std::map<std::string, std::string> seen = {{"", std::to_string(static_cast<int>(fs::status(folder).permissions()))}};
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    seen[it->path().filename()] = it->is_symlink()        ? "link to " + fs::read_symlink(*it).string()
                                  : it->is_regular_file() ? TextOf(*it)
                                                          : "not a file";
  return seen;
}

}  // namespace

// The picture is taken from, and written to, only a real folder that is the user's alone,
// and never through a link: not another user's folder in a shared configuration folder,
// not a link at the folder or at a file in it, nor a pipe in the file's place; a folder of
// the user's that others may write is made the user's alone first. Reading never makes the
// folder, and a save that fails leaves the folder as it was.
TEST(Locale, ThePictureIsKeptOnlyInAFolderOfTheUsersOwn) {
  const passwd* nobody = ::getpwnam("nobody");
  const bool asRoot = ::geteuid() == 0 && nobody != nullptr;
  enum Planted { kNothing, kOthersFolder, kOthersFile, kLinkAtFolder, kLinkAtFile, kPipeAtFile, kFileSizeLimit };
  struct Case {
    const char* name;
    mode_t mode;  // of the folder "quorvex"; 0: none is there
    Planted planted;
  };
  // Why the folder or the file fails, by what is planted; and whether the folder takes a
  // new picture.
  const char* const refused[] = {nullptr, "/quorvex belongs to another user", "/quorvex/short-date belongs to another user",
                                 "/quorvex is a link, not a folder", "/quorvex/short-date is a link",
                                 "/quorvex/short-date is not an ordinary file", nullptr};
  for (const Case& c : std::initializer_list<Case>{
           {"no folder yet", 0, kNothing},
           {"own folder", 0700, kNothing},
           // Made the user's alone first; a file another user planted meanwhile stays refused.
           {"own folder open to its group", 0775, kNothing},
           {"another user's file in the own folder open to all", 0777, kOthersFile},
           {"another user's folder open to all", 0777, kOthersFolder},
           {"a link at the folder", 0700, kLinkAtFolder},
           {"a link at the file", 0700, kLinkAtFile},
           {"a pipe at the file", 0700, kPipeAtFile},
           // The save fails half-way (1 byte written), as on a full disk.
           {"a file-size limit", 0700, kFileSizeLimit},
       }) {
    SCOPED_TRACE(c.name);
    if ((c.planted == kOthersFolder || c.planted == kOthersFile) && !asRoot) continue;  // only root gives files away
    const bool written = c.planted != kOthersFolder && c.planted != kLinkAtFolder && c.planted != kFileSizeLimit;
    ConfigFolder cfg;
    EnvVar lc("LC_ALL", "C");
    // The configuration folder is shared and open to all, as /tmp is.
    fs::permissions(cfg.Dir(), fs::perms::all | fs::perms::sticky_bit);
    const fs::path folder = cfg.Dir() + "/quorvex";
    // A file of the user's that a link planted in the folder points at.
    const fs::path mine = cfg.Dir() + "/mine";
    fs::create_directory(mine);
    std::ofstream(mine / "notes") << "the user's own file\n";
    const fs::path real = c.planted == kLinkAtFolder ? mine / "config" : folder;
    if (c.mode) {
      fs::create_directory(real);
      if (c.planted == kLinkAtFile) fs::create_symlink(mine / "notes", real / "short-date");
      else if (c.planted == kPipeAtFile) ASSERT_EQ(::mkfifo((real / "short-date").c_str(), 0600), 0);
      else std::ofstream(real / "short-date") << "yyyy-MM-dd\n";
      // Where the program wrote before: a planted link there has it write the user's file.
      fs::create_symlink(mine / "notes", real / "short-date.new");
      // Given away as root: as if another user had made them.
      for (const fs::path& p : c.planted == kOthersFolder ? std::vector{real, real / "short-date", real / "short-date.new"}
                               : c.planted == kOthersFile ? std::vector{real / "short-date"}
                                                          : std::vector<fs::path>{}) {
        ASSERT_EQ(::lchown(p.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
      }
      ASSERT_EQ(::chmod(real.c_str(), c.mode), 0);
      if (c.planted == kLinkAtFolder) fs::create_symlink(real, folder);
    }
    const auto before = Contents(real);

    // The next start takes the planted picture only from a folder and file that pass, for
    // dates and at the date check alike; neither makes a folder.
    const auto atTheCheck = [] { return locale::GetLocaleInfo(locale::kLocaleUserDefault, locale::kLocaleSShortDate); };
    const char* why = refused[c.planted];
    const std::string taken = c.mode && !why ? "yyyy-MM-dd" : "MM/dd/yy";
    EXPECT_EQ(locale::ShortDatePicture(), taken);
    EXPECT_EQ(atTheCheck(), taken);
    EXPECT_EQ(fs::exists(fs::symlink_status(folder)), c.mode != 0);
    const std::string problem = locale::ShortDateFileProblem();
    if (why) {
      EXPECT_NE(problem.find(cfg.Dir() + why), std::string::npos) << problem;
    } else {
      EXPECT_EQ(problem, "");
    }

    // The Yes of the date question.
    rlimit fileSize{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &fileSize), 0);
    if (c.planted == kFileSizeLimit) {
      sys::IgnoreFileSizeSignal();
      const rlimit oneByte{1, fileSize.rlim_max};
      ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &oneByte), 0);
    }
    const bool saved = locale::SetLocaleInfo(locale::kLocaleUserDefault, locale::kLocaleSShortDate, "dd/MM/yyyy");
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &fileSize), 0);
    EXPECT_EQ(saved, written);
    EXPECT_EQ(TextOf(mine / "notes"), "the user's own file\n");
    if (!written) {
      const std::string notSaved = locale::ShortDateFileProblem();
      EXPECT_NE(notSaved.find(cfg.Dir() + (why ? why : "/quorvex/short-date cannot be written: File too large")),
                std::string::npos)
          << notSaved;
      EXPECT_EQ(locale::ShortDatePicture(), taken);
      EXPECT_EQ(Contents(real), before);
      continue;
    }
    EXPECT_EQ(locale::ShortDateFileProblem(), "");
    EXPECT_EQ(locale::ShortDatePicture(), "dd/MM/yyyy");
    // A real file of the user's alone, in a folder of the user's alone.
    struct stat st {};
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & (S_IFMT | 07777), S_IFDIR | 0700u);
    ASSERT_EQ(::lstat((folder / "short-date").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & (S_IFMT | 07777), S_IFREG | 0600u);
    EXPECT_EQ(st.st_uid, ::geteuid());
    EXPECT_EQ(TextOf(folder / "short-date"), "dd/MM/yyyy\n");
    // Read before, the picture is still taken at the date check only while the folder
    // passes, and once refused there, no longer for dates either. A folder opened to
    // others again is made the user's alone again at the check.
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    EXPECT_EQ(atTheCheck(), "dd/MM/yyyy");
    EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
    fs::rename(folder, mine / "moved");
    fs::create_symlink(mine / "moved", folder);
    EXPECT_EQ(atTheCheck(), "MM/dd/yy");
    EXPECT_NE(locale::ShortDateFileProblem().find("/quorvex is a link"), std::string::npos);
    EXPECT_EQ(locale::ShortDatePicture(), "MM/dd/yy");
  }
}
