#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/locale/Locale.h"

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
