#include "platform/versioncheck/VersionCheck.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <optional>
#include <sys/stat.h>

namespace qvx::versioncheck {

namespace {

// What the check reads: the company row's version and country.
struct FileFacts {
  std::string version;
  std::string country;
};

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StmtCloser {
  void operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }
};

std::string Column(sqlite3_stmt* st, int col) {
  const unsigned char* text = sqlite3_column_text(st, col);
  return text ? reinterpret_cast<const char*>(text) : std::string();
}

std::string Trimmed(std::string s) {
  auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  s.erase(s.begin(), std::find_if_not(s.begin(), s.end(), blank));
  s.erase(std::find_if_not(s.rbegin(), s.rend(), blank).base(), s.end());
  return s;
}

std::optional<FileFacts> ReadFacts(const std::string& path) {
  // Only a regular file: SQLite would take an empty name for a temporary database.
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  std::unique_ptr<sqlite3, DbCloser> db(raw);
  if (rc != SQLITE_OK) return std::nullopt;
  sqlite3_busy_timeout(db.get(), 2000);
  sqlite3_stmt* rawStmt = nullptr;
  if (sqlite3_prepare_v2(db.get(), "SELECT DataBaseVersion, DataFileCountry FROM DataFileInformation LIMIT 1", -1,
                         &rawStmt, nullptr) != SQLITE_OK)
    return std::nullopt;
  std::unique_ptr<sqlite3_stmt, StmtCloser> stmt(rawStmt);
  if (sqlite3_step(stmt.get()) != SQLITE_ROW) return std::nullopt;
  return FileFacts{Trimmed(Column(stmt.get(), 0)), Trimmed(Column(stmt.get(), 1))};
}

int32_t Answer(const std::string& text, AnswerBuffer& answer) {
  answer.fill('\0');
  const size_t n = std::min(text.size(), answer.size() - 1);
  std::memcpy(answer.data(), text.data(), n);
  return static_cast<int32_t>(n);
}

// The leading whole number of a version text ("2011.0" gives 2011), 0 without one.
long MajorVersion(const std::string& version) {
  long major = 0;
  for (char c : version) {
    if (c < '0' || c > '9') break;
    major = major * 10 + (c - '0');
    if (major > 1000000) break;
  }
  return major;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Files of the newer product line carry the year of their release as the major version
// and need the driver of that release; older files need the classic driver of their
// country, whose first release is 1001.
std::string DriverFor(const FileFacts& facts) {
  const long major = MajorVersion(facts.version);
  if (major >= 2011 && major <= 9999) return "MYOB_AccountRight_" + std::to_string(major);
  if (facts.country.empty()) return {};
  return "MYO" + Upper(facts.country) + "1001";
}

std::string CountryName(const std::string& code) {
  static constexpr std::pair<const char*, const char*> kNames[] = {
      {"AU", "Australia"},     {"NZ", "New Zealand"}, {"USA", "United States"}, {"US", "United States"},
      {"UK", "United Kingdom"}, {"GB", "United Kingdom"}, {"CA", "Canada"},     {"SG", "Singapore"},
      {"HK", "Hong Kong"},     {"MY", "Malaysia"},    {"IE", "Ireland"},
  };
  const std::string upper = Upper(code);
  for (const auto& [c, name] : kNames)
    if (upper == c) return name;
  return code;
}

}  // namespace

int32_t GetDriverName(const std::string& companyFile, AnswerBuffer& answer) {
  const std::optional<FileFacts> facts = ReadFacts(companyFile);
  return Answer(facts ? DriverFor(*facts) : std::string(), answer);
}

int32_t GetCountry(const std::string& companyFile, AnswerBuffer& answer) {
  const std::optional<FileFacts> facts = ReadFacts(companyFile);
  return Answer(facts && !facts->country.empty() ? CountryName(facts->country) : std::string(), answer);
}

int32_t GetCompanyFileVersion(const std::string& companyFile, AnswerBuffer& answer) {
  const std::optional<FileFacts> facts = ReadFacts(companyFile);
  return Answer(facts ? facts->version : std::string(), answer);
}

std::string AnswerText(const AnswerBuffer& answer) {
  const auto end = std::find(answer.begin(), answer.end(), '\0');
  return std::string(answer.begin(), end);
}

}  // namespace qvx::versioncheck
