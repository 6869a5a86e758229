#include "platform/versioncheck/VersionCheck.h"

#include "platform/versioncheck/Safeguards.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

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

// The facts of a file, or why it gives none: words that follow the file's name.
struct Reading {
  std::optional<FileFacts> facts;
  std::string why;
};

constexpr const char* kNoPermission = "may not be read by this user (permission denied)";
constexpr const char* kNotCompanyFile = "is not a company file that can be read";

Reading ReadFacts(const std::string& path) {
  // Only a regular file: SQLite would take an empty name for a temporary database.
  struct stat info {};
  if (path.empty()) return {std::nullopt, "names no company file"};
  if (::stat(path.c_str(), &info) != 0) return {std::nullopt, errno == EACCES ? kNoPermission : "does not exist"};
  if (S_ISDIR(info.st_mode)) return {std::nullopt, "is a folder, not a company file"};
  if (!S_ISREG(info.st_mode)) return {std::nullopt, kNotCompanyFile};
  if (::access(path.c_str(), R_OK) != 0 && (errno == EACCES || errno == EPERM)) return {std::nullopt, kNoPermission};
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  std::unique_ptr<sqlite3, DbCloser> db(raw);
  if (rc != SQLITE_OK) return {std::nullopt, kNotCompanyFile};
  sqlite3_extended_result_codes(db.get(), 1);
  sqlite3_busy_timeout(db.get(), 2000);
  ReadBudget budget{kOneRowReadLooks};
  BoundReads(db.get(), budget);
  // Another program may keep the file from being read: say so rather than doubt the file.
  auto failed = [&](int code) -> Reading {
    if (budget.spent) return {std::nullopt, kReadingStopped};
    if (WalFilesOutOfReach(db.get(), code)) return {std::nullopt, kWalUnreadable};
    if (code == SQLITE_READONLY_ROLLBACK || code == SQLITE_READONLY_RECOVERY)
      return {std::nullopt,
              "holds a change that another program did not finish; open it in the accounting program first"};
    if ((code & 0xFF) == SQLITE_BUSY || (code & 0xFF) == SQLITE_LOCKED)
      return {std::nullopt, "is locked by another program that is writing it; try again when it has finished"};
    return {std::nullopt, kNotCompanyFile};
  };
  sqlite3_stmt* rawStmt = nullptr;
  if (sqlite3_prepare_v2(db.get(), "SELECT DataBaseVersion, DataFileCountry FROM DataFileInformation LIMIT 1", -1,
                         &rawStmt, nullptr) != SQLITE_OK)
    return failed(sqlite3_extended_errcode(db.get()));
  std::unique_ptr<sqlite3_stmt, StmtCloser> stmt(rawStmt);
  const int step = sqlite3_step(stmt.get());
  if (step == SQLITE_DONE) return {std::nullopt, kNotCompanyFile};
  if (step != SQLITE_ROW) return failed(sqlite3_extended_errcode(db.get()));
  return {FileFacts{Trimmed(Column(stmt.get(), 0)), Trimmed(Column(stmt.get(), 1))}, {}};
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
  const std::optional<FileFacts> facts = ReadFacts(companyFile).facts;
  return Answer(facts ? DriverFor(*facts) : std::string(), answer);
}

int32_t GetCountry(const std::string& companyFile, AnswerBuffer& answer) {
  const std::optional<FileFacts> facts = ReadFacts(companyFile).facts;
  return Answer(facts && !facts->country.empty() ? CountryName(facts->country) : std::string(), answer);
}

int32_t GetCompanyFileVersion(const std::string& companyFile, AnswerBuffer& answer) {
  const std::optional<FileFacts> facts = ReadFacts(companyFile).facts;
  return Answer(facts ? facts->version : std::string(), answer);
}

std::string WhyNoAnswer(const std::string& companyFile) { return ReadFacts(companyFile).why; }

std::string AnswerText(const AnswerBuffer& answer) {
  const auto end = std::find(answer.begin(), answer.end(), '\0');
  return std::string(answer.begin(), end);
}

}  // namespace qvx::versioncheck
