#include "driver/FileProbe.h"

#include "driver/AccessKey.h"
#include "platform/versioncheck/Safeguards.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <memory>

namespace qvx::driver {

namespace {

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtCloser {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};

std::string Text(sqlite3_stmt* st, int col) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
  return p ? p : "";
}
}  // namespace

std::optional<CompanyFileFacts> ProbeCompanyFile(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  std::unique_ptr<sqlite3, DbCloser> db(raw);
  if (rc != SQLITE_OK) return std::nullopt;
  // Within the bounds of every read of a company file: its one row, not a query that never ends.
  versioncheck::ReadBudget budget{versioncheck::kOneRowReadLooks};
  versioncheck::BoundReads(db.get(), budget);
  sqlite3_stmt* q = nullptr;
  rc = sqlite3_prepare_v2(db.get(),
                          "SELECT DataFileCountry, DataBaseVersion, DriverBuildNumber, UseCategories "
                          "FROM DataFileInformation LIMIT 1",
                          -1, &q, nullptr);
  std::unique_ptr<sqlite3_stmt, StmtCloser> st(q);
  if (rc != SQLITE_OK || sqlite3_step(st.get()) != SQLITE_ROW) return std::nullopt;
  CompanyFileFacts facts;
  facts.country = Text(st.get(), 0);
  facts.version = Text(st.get(), 1);
  // Files of the newer product line carry its driver's build number.
  bool newer = Text(st.get(), 2).rfind("2011", 0) == 0;
  facts.driverName = newer ? kDsnDriverName : kDirectDriverName;
  return facts;
}

}  // namespace qvx::driver
