// Is the open company file still the file that was opened? The accounting program writes
// its files while reports run: it may commit changes through SQLite (seen as a new data
// version), and it, or someone else, may replace, remove, truncate or overwrite the file
// past SQLite. The driver looks before each statement and says which of these happened.
#include "driver/Driver.h"

namespace qvx::driver {

namespace {

// How often at most the path of an open company file is looked at between failures.
constexpr int64_t kPathCheckIntervalNs = 10'000'000;

}  // namespace

// SQLite's count of changes to the file, by this or any other program; it moves when a
// read begins after another program wrote the file.
unsigned DataVersion(sqlite3* db) {
  unsigned version = 0;
  sqlite3_file_control(db, "main", SQLITE_FCNTL_DATA_VERSION, &version);
  return version;
}

// What tells one company's file from another's: the company name and serial number.
// Empty when the file no longer answers (truncated, damaged, not a company file).
std::string CompanyIdentity(sqlite3* db) {
  sqlite3_stmt* raw = nullptr;
  std::string identity;
  if (sqlite3_prepare_v2(db, "SELECT CompanyName, SerialNumber FROM DataFileInformation", -1, &raw, nullptr) !=
      SQLITE_OK)
    return identity;
  SqliteStmtPtr st(raw);
  if (sqlite3_step(st.get()) == SQLITE_ROW) {
    for (int i = 0; i < 2; ++i) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), i));
      identity += text ? text : "";
      identity += '\x1f';
    }
  }
  return identity;
}

int64_t ModifiedNs(const struct stat& st) {
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

// Is the open file still the company file that was opened? The path must still name the
// same, non-empty file. After a read has begun (or failed): when SQLite has seen another
// program commit a change, the file must still hold the same company; when it has seen
// none, the file must not have changed size or time while this connection held its read
// lock, which only a program writing past SQLite does (truncating or overwriting it),
// leaving SQLite's cached pages stale. Looking at the path costs a system call, so it is
// done at most every few milliseconds, and always after a failure (`force`).
SQLRETURN CheckCompanyFile(Statement& s, bool afterRead, bool lockHeld, bool force) {
  Connection& c = *s.conn;
  if (!c.db || c.database.empty()) return SQL_SUCCESS;
  const std::string file = "The company file \"" + c.database + "\" ";
  const std::string stop = "; the report stops here. Open the company file again when the other program has finished.";
  const unsigned version = afterRead ? DataVersion(c.db.get()) : c.dataVersion;
  const int64_t now = NowNs();
  const bool changedBySqlite = version != c.dataVersion;
  if (!force && !changedBySqlite && now - c.lastPathCheckNs < kPathCheckIntervalNs) return SQL_SUCCESS;
  struct stat st {};
  if (::stat(c.database.c_str(), &st) != 0)
    return s.AddDiag("08S01", file + "was removed or renamed while it was open" + stop);
  if (static_cast<uint64_t>(st.st_dev) != c.fileDevice || static_cast<uint64_t>(st.st_ino) != c.fileInode)
    return s.AddDiag("08S01", file + "was replaced by another file while it was open" + stop);
  if (st.st_size == 0) return s.AddDiag("08S01", file + "was emptied by another program while it was open" + stop);
  if (!afterRead) return SQL_SUCCESS;
  if (changedBySqlite) {
    std::string identity = CompanyIdentity(c.db.get());
    if (identity.empty())
      return s.AddDiag("08S01", file + "was changed by another program while it was open and can no longer be read" + stop);
    if (identity != c.companyIdentity)
      return s.AddDiag("08S01", file + "was overwritten with another company's file while it was open" + stop);
    c.dataVersion = version;
    c.fileSize = static_cast<int64_t>(st.st_size);
    c.fileModifiedNs = ModifiedNs(st);
    c.lastPathCheckNs = now;
    return SQL_SUCCESS;
  }
  if (lockHeld && (static_cast<int64_t>(st.st_size) != c.fileSize || ModifiedNs(st) != c.fileModifiedNs))
    return s.AddDiag("08S01", file + "was truncated or overwritten by another program while it was open" + stop);
  c.lastPathCheckNs = now;
  return SQL_SUCCESS;
}

}  // namespace qvx::driver
