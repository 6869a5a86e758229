#include "platform/locale/Locale.h"

#include <langinfo.h>
#include <locale.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "platform/runtime/Runtime.h"
#include "platform/sys/Sys.h"

namespace qvx::locale {

namespace {

const std::array<const char*, 12> kMonthShort = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const std::array<const char*, 12> kMonthLong = {"January", "February", "March",     "April",
                                                "May",     "June",     "July",      "August",
                                                "September", "October", "November", "December"};
const std::array<const char*, 7> kDayShort = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const std::array<const char*, 7> kDayLong = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                             "Thursday", "Friday", "Saturday"};

// The picture is read for every date turned into text, so the file is read again only
// when it changed, and the picture worked out again only when the text did.
struct PictureCache {
  std::mutex lock;
  std::optional<sys::OwnFile> file;  // the file at the current path
  bool valid = false;
  std::optional<std::string> text;  // what the file held; nothing when there was none
  std::string picture;
  std::string problem;  // why the file was last passed over or not written
};

PictureCache& Cache() {
  static PictureCache cache;
  return cache;
}

// The file of the current path (the configuration folder may change while the program
// runs); the cache's lock is held.
sys::OwnFile& ShortDateFile(PictureCache& c) {
  const std::string path = ShortDateFilePath();
  if (!c.file || c.file->Path() != path) {
    const size_t slash = path.rfind('/');
    c.file.emplace(path.substr(0, slash), path.substr(slash + 1));
    c.valid = false;
  }
  return *c.file;
}

// The picture is one short line.
constexpr size_t kMaxPictureBytes = 4096;

std::string DerivedPicture() {
  locale_t loc = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) loc = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
  std::string format = loc ? nl_langinfo_l(D_FMT, loc) : "%m/%d/%y";
  if (loc) freelocale(loc);
  return PictureFromStrftime(format);
}

std::string FirstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  while (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

int DayOfWeek(int y, int m, int d) {  // 0 = Sunday
  static const int t[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (m < 1 || m > 12) return 0;
  if (m < 3) y -= 1;
  int w = (y + y / 4 - y / 100 + y / 400 + t[m - 1] + d) % 7;
  return w < 0 ? w + 7 : w;
}

std::string TwoDigits(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

}  // namespace

uint32_t GetSystemDefaultLCID() { return kLocaleSystemDefault; }

std::string ShortDateFilePath() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (xdg && *xdg == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : ".") + "/.config";
  }
  return base + "/quorvex/short-date";
}

namespace {

std::string Picture(sys::OwnFile::Look look) {
  PictureCache& c = Cache();
  std::lock_guard<std::mutex> guard(c.lock);
  sys::OwnFile& file = ShortDateFile(c);
  std::optional<std::string> text;
  try {
    text = file.Read(kMaxPictureBytes, look);
    c.problem.clear();
  } catch (const std::exception& e) {
    // Nothing is taken from a folder or file that fails: the picture is the C library's.
    c.problem = CurrentErrorInfo(e).description;
  }
  if (c.valid && c.text == text) return c.picture;
  std::string picture = text ? FirstLine(*text) : std::string();
  if (picture.empty()) picture = DerivedPicture();
  c.valid = true;
  c.text = std::move(text);
  c.picture = picture;
  return picture;
}

}  // namespace

std::string ShortDatePicture() { return Picture(sys::OwnFile::Look::WhenChanged); }

std::string ShortDateFileProblem() {
  std::lock_guard<std::mutex> guard(Cache().lock);
  return Cache().problem;
}

std::string GetLocaleInfo(uint32_t /*lcid*/, uint32_t type) {
  // The program's date check asks here: the folder is looked at afresh.
  if (type == kLocaleSShortDate) return Picture(sys::OwnFile::Look::Afresh);
  return {};
}

bool SetLocaleInfo(uint32_t /*lcid*/, uint32_t type, std::string_view value) {
  if (type != kLocaleSShortDate) return false;
  PictureCache& c = Cache();
  std::lock_guard<std::mutex> guard(c.lock);
  try {
    ShortDateFile(c).Write(std::string(value) + "\n");
    c.problem.clear();
  } catch (const std::exception& e) {
    c.problem = CurrentErrorInfo(e).description;
    return false;
  }
  c.valid = false;
  return true;
}

void BroadcastSettingChange() {}

std::string PictureFromStrftime(std::string_view format) {
  std::string out;
  bool inQuote = false;
  auto literal = [&](char ch) {
    bool letter = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
    if (ch == '\'') {
      if (inQuote) { out += '\''; inQuote = false; }
      out += "''";
      return;
    }
    if (letter && !inQuote) { out += '\''; inQuote = true; }
    if (!letter && inQuote) { out += '\''; inQuote = false; }
    out += ch;
  };
  auto field = [&](std::string_view f) {
    if (inQuote) { out += '\''; inQuote = false; }
    out += f;
  };
  for (size_t i = 0; i < format.size(); ++i) {
    char ch = format[i];
    if (ch != '%' || i + 1 >= format.size()) {
      literal(ch);
      continue;
    }
    char conv = format[++i];
    // Alternative forms (%Ey, %Od) and flags (%-d, %_m) read as the plain field.
    while ((conv == 'E' || conv == 'O' || conv == '-' || conv == '_' || conv == '0' || conv == '^' ||
            conv == '#') && i + 1 < format.size())
      conv = format[++i];
    switch (conv) {
      case 'd': field("dd"); break;
      case 'e': field("d"); break;
      case 'm': field("MM"); break;
      case 'y': field("yy"); break;
      case 'Y': case 'G': field("yyyy"); break;
      case 'C': field("yy"); break;
      case 'b': case 'h': field("MMM"); break;
      case 'B': field("MMMM"); break;
      case 'a': field("ddd"); break;
      case 'A': field("dddd"); break;
      case 'D': field("MM/dd/yy"); break;
      case 'F': field("yyyy-MM-dd"); break;
      case 'n': case 't': literal(' '); break;
      case '%': literal('%'); break;
      default: break;  // a time or week field has no place in a short date
    }
  }
  if (inQuote) out += '\'';
  return out;
}

std::string FormatDate(std::string_view picture, int year, int month, int day) {
  std::string out;
  size_t i = 0;
  while (i < picture.size()) {
    char ch = picture[i];
    if (ch == '\'') {
      size_t j = i + 1;
      while (j < picture.size()) {
        if (picture[j] == '\'') {
          if (j + 1 < picture.size() && picture[j + 1] == '\'') {
            out += '\'';
            j += 2;
            continue;
          }
          break;
        }
        out += picture[j++];
      }
      i = j + 1;
      continue;
    }
    size_t n = 1;
    while (i + n < picture.size() && picture[i + n] == ch) ++n;
    bool monthOk = month >= 1 && month <= 12;
    switch (ch) {
      case 'd':
        if (n == 1) out += std::to_string(day);
        else if (n == 2) out += TwoDigits(day);
        else if (n == 3) out += kDayShort[static_cast<size_t>(DayOfWeek(year, month, day))];
        else out += kDayLong[static_cast<size_t>(DayOfWeek(year, month, day))];
        break;
      case 'M':
        if (n == 1) out += std::to_string(month);
        else if (n == 2) out += TwoDigits(month);
        else if (n == 3) out += monthOk ? kMonthShort[static_cast<size_t>(month - 1)] : "";
        else out += monthOk ? kMonthLong[static_cast<size_t>(month - 1)] : "";
        break;
      case 'y':
        if (n == 1) out += std::to_string(year % 100);
        else if (n == 2) out += TwoDigits(year % 100);
        else {
          char buf[16];
          std::snprintf(buf, sizeof buf, "%04d", year);
          out += buf;
        }
        break;
      default:
        out.append(n, ch);
        break;
    }
    i += n;
  }
  return out;
}

}  // namespace qvx::locale
