// The company-file ODBC driver: the entry points unixODBC calls.
//
// A company file is a SQLite database. It is always opened read-only, without a memory
// map: the accounting program may write, truncate or replace the file while it is open,
// and SQLite's own locking then sees the other writer, where a mapped page that a
// truncation pulled away would kill the program. Before each statement the driver checks
// that the path still names the file it opened and, when SQLite reports that another
// program changed it, that it still holds the same company. An authorizer refuses every
// statement that is not a query and hides the driver's own user list. Statements run one at a time per
// connection; prepared statements are kept per connection and reused for the same text.
#include "driver/AccessKey.h"
#include "driver/Dialect.h"
#include "driver/Handles.h"
#include "driver/Values.h"

#include <odbcinst.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>

namespace qvx::driver {

namespace {

// The driver's one piece of process state: the environments it has handed out.
struct DriverState {
  std::mutex mutex;
  std::vector<std::unique_ptr<Environment>> environments;
};

DriverState& State() {
  static DriverState state;
  return state;
}

constexpr size_t kStatementCacheLimit = 256;
constexpr int kMaxSqlLength = 4 * 1024 * 1024;

template <typename T>
T* Cast(SQLHANDLE h, HandleKind kind) {
  if (h == nullptr) return nullptr;
  auto* base = static_cast<HandleBase*>(h);
  if (base->kind != kind) return nullptr;
  return static_cast<T*>(base);
}

Environment* Env(SQLHANDLE h) { return Cast<Environment>(h, HandleKind::Env); }
Connection* Dbc(SQLHANDLE h) { return Cast<Connection>(h, HandleKind::Dbc); }
Statement* Stmt(SQLHANDLE h) { return Cast<Statement>(h, HandleKind::Stmt); }

std::string_view TextArg(const SQLCHAR* text, SQLINTEGER len) {
  if (text == nullptr) return {};
  const auto* p = reinterpret_cast<const char*>(text);
  if (len == SQL_NTS) return std::string_view(p);
  if (len < 0) return {};
  return std::string_view(p, static_cast<size_t>(len));
}

// Copies a string result to a client buffer (length in bytes, without the terminator).
template <typename LenT>
SQLRETURN CopyOut(HandleBase& h, std::string_view s, SQLPOINTER buffer, SQLLEN bufferLength, LenT* outLength) {
  if (outLength) *outLength = static_cast<LenT>(s.size());
  if (buffer == nullptr) return SQL_SUCCESS;
  if (bufferLength < 0) return h.AddDiag("HY090", "Invalid string or buffer length");
  if (bufferLength == 0) return s.empty() ? SQL_SUCCESS : h.AddDiag("01004", "String data, right truncated", SQL_SUCCESS_WITH_INFO);
  size_t n = std::min(s.size(), static_cast<size_t>(bufferLength) - 1);
  std::memcpy(buffer, s.data(), n);
  static_cast<char*>(buffer)[n] = '\0';
  if (n < s.size()) return h.AddDiag("01004", "String data, right truncated", SQL_SUCCESS_WITH_INFO);
  return SQL_SUCCESS;
}

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// ---------------------------------------------------------------------------------------
// SQLite hooks

int Authorize(void* userData, int action, const char* a1, const char* /*a2*/, const char* /*db*/,
              const char* /*trigger*/) {
  auto* c = static_cast<Connection*>(userData);
  switch (action) {
    case SQLITE_SELECT:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
      return SQLITE_OK;
    case SQLITE_READ:
      if (a1 && sqlite3_stricmp(a1, "DriverUsers") == 0 && !c->readingUsers) {
        c->refusedUsers = true;
        return SQLITE_DENY;
      }
      return SQLITE_OK;
    case SQLITE_UPDATE:
      // SQLite asks this when a query joins the schema table to a table-valued pragma; the
      // statement itself stays read-only (checked after preparing).
      if (a1 && (sqlite3_stricmp(a1, "sqlite_master") == 0 || sqlite3_stricmp(a1, "sqlite_schema") == 0))
        return SQLITE_OK;
      c->refusedWrite = true;
      return SQLITE_DENY;
    case SQLITE_PRAGMA:
      if (a1 && (sqlite3_stricmp(a1, "table_info") == 0 || sqlite3_stricmp(a1, "table_xinfo") == 0 ||
                 sqlite3_stricmp(a1, "index_list") == 0 || sqlite3_stricmp(a1, "index_info") == 0))
        return SQLITE_OK;
      c->refusedWrite = true;
      return SQLITE_DENY;
    default:
      c->refusedWrite = true;
      return SQLITE_DENY;
  }
}

int Progress(void* userData) {
  auto* c = static_cast<Connection*>(userData);
  Statement* s = c->running;
  if (s == nullptr) return 0;
  if (s->cancel.load(std::memory_order_relaxed)) return 1;
  return c->deadlineNs != 0 && NowNs() > c->deadlineNs ? 1 : 0;
}

// ODBC description of a declared type, for SQLColumns: qvx_coltype(decl, field, odbc3).
void ColTypeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc != 3) return;
  const auto* decl = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  int field = sqlite3_value_int(argv[1]);
  bool odbc3 = sqlite3_value_int(argv[2]) != 0;
  ColumnInfo c = DescribeDeclared("", decl ? decl : "TEXT");
  if (!decl || !*decl) c = DescribeDeclared("", "TEXT");
  switch (field) {
    case 0: sqlite3_result_int(ctx, SqlTypeOf(c, odbc3)); break;
    case 1: sqlite3_result_text(ctx, TypeNameOf(c), -1, SQLITE_STATIC); break;
    case 2: sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(c.size)); break;
    case 3: {  // buffer length
      SQLULEN len = c.size;
      switch (c.kind) {
        case ColKind::Integer: len = 4; break;
        case ColKind::SmallInt: len = 2; break;
        case ColKind::BigInt: len = 8; break;
        case ColKind::Decimal: len = c.size + 2; break;
        case ColKind::Date: len = 6; break;
        case ColKind::Double: len = 8; break;
        case ColKind::Text: break;
      }
      sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(len));
      break;
    }
    case 4:
      if (c.kind == ColKind::Text || c.kind == ColKind::Date) sqlite3_result_null(ctx);
      else sqlite3_result_int(ctx, c.kind == ColKind::Double ? 0 : c.scale);
      break;
    case 5:
      if (c.kind == ColKind::Text || c.kind == ColKind::Date) sqlite3_result_null(ctx);
      else sqlite3_result_int(ctx, 10);
      break;
    case 6: sqlite3_result_int(ctx, c.kind == ColKind::Date ? SQL_DATETIME : SqlTypeOf(c, odbc3)); break;
    case 7:
      if (c.kind == ColKind::Date) sqlite3_result_int(ctx, SQL_CODE_DATE);
      else sqlite3_result_null(ctx);
      break;
    case 8:
      if (c.kind == ColKind::Text) sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(c.size));
      else sqlite3_result_null(ctx);
      break;
    default: sqlite3_result_null(ctx); break;
  }
}

// ---------------------------------------------------------------------------------------
// Statements

// Gives the statement's prepared SQLite statement back to the connection's cache.
void ReleasePrepared(Statement& s) {
  if (!s.stmt) return;
  sqlite3_reset(s.stmt.get());
  sqlite3_clear_bindings(s.stmt.get());
  Connection& c = *s.conn;
  if (!s.cacheKey.empty() && c.db) {
    if (c.cache.size() >= kStatementCacheLimit) c.cache.erase(c.cache.begin());
    c.cache.emplace(std::move(s.cacheKey), CachedStatement{std::move(s.stmt), std::move(s.columns)});
  }
  s.stmt.reset();
  s.cacheKey.clear();
  s.prepared = false;
  s.columns.clear();
}

void CloseCursor(Statement& s) {
  if (s.stmt) sqlite3_reset(s.stmt.get());
  s.executed = false;
  s.pendingRow = false;
  s.onRow = false;
  s.finished = false;
  s.rowsFetched = 0;
  s.getDataColumn = 0;
  s.getDataOffset = 0;
  s.getDataDone = false;
}

// How long a statement waits for another program's write lock before it gives up.
constexpr int kBusyTimeoutMs = 5000;
// How often at most the path of an open company file is looked at between failures.
constexpr int64_t kPathCheckIntervalNs = 10'000'000;

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
SQLRETURN CheckCompanyFile(Statement& s, bool afterRead, bool lockHeld, bool force = false) {
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

SQLRETURN SqliteFailure(Statement& s, int rc) {
  Connection& c = *s.conn;
  std::string msg = sqlite3_errmsg(c.db.get());
  int primary = rc & 0xFF;
  // A file that another program truncated, replaced or removed makes SQLite fail in many
  // ways (damaged pages, short reads, tables gone); say what happened instead.
  if (SQLRETURN changed = CheckCompanyFile(s, true, true, true); changed != SQL_SUCCESS) return changed;
  if (c.refusedUsers) return s.AddAccessDiag("42000", "Access to the table DriverUsers is not allowed");
  if (rc == SQLITE_READONLY_ROLLBACK || rc == SQLITE_READONLY_RECOVERY)
    return s.AddDiag("HY000", "The company file \"" + c.database +
                                  "\" holds a change that another program did not finish; open it in the "
                                  "accounting program first (" + msg + ")");
  if (c.refusedWrite || primary == SQLITE_READONLY || primary == SQLITE_AUTH)
    return s.AddAccessDiag("42000", "The company file is open read-only: only queries (SELECT) are allowed (" + msg + ")");
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
    return s.AddDiag("HYT00", "The company file \"" + c.database +
                                  "\" is locked by another program that is writing it; try again when it has "
                                  "finished (" + msg + ")");
  if (primary == SQLITE_INTERRUPT) {
    if (s.cancel.load()) return s.AddDiag("HY008", "Operation canceled");
    return s.AddDiag("HYT00", "Timeout expired");
  }
  if (primary == SQLITE_NOMEM) return s.AddDiag("HY001", "Memory allocation error");
  if (primary == SQLITE_TOOBIG) return s.AddDiag("42000", "The SQL statement is too long (" + msg + ")");
  if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB)
    return s.AddDiag("HY000", "The company file is damaged: " + msg);
  if (msg.rfind("no such table", 0) == 0) return s.AddDiag("42S02", "Base table or view not found: " + msg);
  if (msg.rfind("no such column", 0) == 0) return s.AddDiag("42S22", "Column not found: " + msg);
  if (primary == SQLITE_ERROR) return s.AddDiag("42000", "Syntax error or access violation: " + msg);
  return s.AddDiag("HY000", msg);
}

void DescribeColumns(Statement& s, bool haveRow) {
  sqlite3_stmt* st = s.stmt.get();
  int n = sqlite3_column_count(st);
  s.columns.resize(static_cast<size_t>(n));
  s.expressionColumns = false;
  for (int i = 0; i < n; ++i) {
    const char* name = sqlite3_column_name(st, i);
    const char* decl = sqlite3_column_decltype(st, i);
    ColumnInfo info = DescribeDeclared(name ? name : "", decl ? decl : "");
    if (!info.fromTable) s.expressionColumns = true;
    if (!info.fromTable && haveRow) {
      switch (sqlite3_column_type(st, i)) {
        case SQLITE_INTEGER: {
          sqlite3_int64 v = sqlite3_column_int64(st, i);
          info.kind = v >= INT32_MIN && v <= INT32_MAX ? ColKind::Integer : ColKind::BigInt;
          info.size = info.kind == ColKind::Integer ? 10 : 19;
          break;
        }
        case SQLITE_FLOAT:
          info.kind = ColKind::Double;
          info.size = 15;
          break;
        default:
          break;
      }
    }
    s.columns[static_cast<size_t>(i)] = std::move(info);
  }
}

// Prepares `text` on the connection, or takes it from the connection's cache.
SQLRETURN PrepareCached(Statement& s, std::string text) {
  Connection& c = *s.conn;
  auto hit = c.cache.find(text);
  if (hit != c.cache.end()) {
    s.stmt = std::move(hit->second.stmt);
    s.columns = std::move(hit->second.columns);
    c.cache.erase(hit);
    s.expressionColumns = false;
    for (const auto& col : s.columns) s.expressionColumns |= !col.fromTable;
  } else {
    c.refusedWrite = false;
    c.refusedUsers = false;
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v3(c.db.get(), text.data(), static_cast<int>(text.size()), SQLITE_PREPARE_PERSISTENT,
                                &raw, &tail);
    SqliteStmtPtr st(raw);
    if (rc != SQLITE_OK) return SqliteFailure(s, rc);
    if (!st) return s.AddDiag("42000", "Syntax error or access violation: the SQL text holds no statement");
    if (tail && HasFurtherStatement(std::string_view(tail, static_cast<size_t>(text.data() + text.size() - tail))))
      return s.AddDiag("42000", "Syntax error or access violation: only one SQL statement may be given at a time");
    if (!sqlite3_stmt_readonly(st.get()))
      return s.AddAccessDiag("42000", "The company file is open read-only: only queries (SELECT) are allowed");
    s.stmt = std::move(st);
    DescribeColumns(s, false);
  }
  s.cacheKey = std::move(text);
  s.prepared = true;
  return SQL_SUCCESS;
}

SQLRETURN PrepareText(Statement& s, std::string_view sql) {
  Connection& c = *s.conn;
  if (!c.db) return s.AddDiag("08003", "Connection not open");
  CloseCursor(s);
  ReleasePrepared(s);
  if (sql.size() > static_cast<size_t>(kMaxSqlLength))
    return s.AddDiag("42000", "The SQL statement is too long (" + std::to_string(sql.size()) + " characters)");
  // Statements that differ only in compared whole numbers share one prepared statement.
  std::vector<long long> literals;
  std::string text = RewriteSql(sql, literals);
  if (!literals.empty()) {
    SQLRETURN rc = PrepareCached(s, std::move(text));
    if (!SQL_SUCCEEDED(rc)) {
      s.ClearDiag();
      return PrepareCached(s, RewriteSql(sql));
    }
    if (sqlite3_bind_parameter_count(s.stmt.get()) == static_cast<int>(literals.size())) {
      for (size_t i = 0; i < literals.size(); ++i)
        sqlite3_bind_int64(s.stmt.get(), static_cast<int>(i + 1), literals[i]);
      return SQL_SUCCESS;
    }
    // The text had parameters of its own: prepare it as it was written.
    ReleasePrepared(s);
  }
  return PrepareCached(s, RewriteSql(sql));
}

// Runs the prepared statement up to its first row.
SQLRETURN Execute(Statement& s) {
  Connection& c = *s.conn;
  if (!s.prepared || !s.stmt) return s.AddDiag("HY010", "Function sequence error: no statement prepared");
  CloseCursor(s);
  s.cancel.store(false);
  c.refusedWrite = false;
  c.refusedUsers = false;
  if (SQLRETURN changed = CheckCompanyFile(s, false, false); changed != SQL_SUCCESS) return changed;
  c.running = &s;
  c.deadlineNs = s.queryTimeout ? NowNs() + static_cast<int64_t>(s.queryTimeout) * 1000000000LL : 0;
  int rc = sqlite3_step(s.stmt.get());
  c.running = nullptr;
  if (rc == SQLITE_ROW || rc == SQLITE_DONE) {
    // The read has begun: had another program changed the file since the last statement,
    // SQLite has noticed it now. Make sure it is still the same company's file.
    if (SQLRETURN changed = CheckCompanyFile(s, true, rc == SQLITE_ROW); changed != SQL_SUCCESS) {
      sqlite3_reset(s.stmt.get());
      return changed;
    }
  }
  if (rc == SQLITE_ROW) {
    s.pendingRow = true;
    if (s.expressionColumns) DescribeColumns(s, true);
  } else if (rc == SQLITE_DONE) {
    s.finished = true;
  } else {
    SQLRETURN r = SqliteFailure(s, rc);
    sqlite3_reset(s.stmt.get());
    return r;
  }
  s.executed = true;
  s.rowCount = sqlite3_column_count(s.stmt.get()) > 0 ? -1 : sqlite3_changes(c.db.get());
  return SQL_SUCCESS;
}

// Steps the cursor to its next row: SQL_SUCCESS on a row, SQL_NO_DATA at the end.
SQLRETURN StepRow(Statement& s) {
  if (s.maxRows != 0 && s.rowsFetched >= s.maxRows) return SQL_NO_DATA;
  if (s.pendingRow) {
    s.pendingRow = false;
  } else {
    if (s.finished) return SQL_NO_DATA;
    Connection& c = *s.conn;
    c.running = &s;
    c.deadlineNs = s.queryTimeout ? NowNs() + static_cast<int64_t>(s.queryTimeout) * 1000000000LL : 0;
    int rc = sqlite3_step(s.stmt.get());
    c.running = nullptr;
    if (rc == SQLITE_DONE) {
      s.finished = true;
      return SQL_NO_DATA;
    }
    if (rc != SQLITE_ROW) {
      s.finished = true;
      return SqliteFailure(s, rc);
    }
  }
  ++s.rowsFetched;
  return SQL_SUCCESS;
}

// Bytes between two rows' values of a column bound column-wise: the buffer length for
// characters and bytes, the C type's own size otherwise.
SQLLEN ElementSize(const BoundColumn& b) {
  switch (b.targetType) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR:
    case SQL_C_BINARY: return b.bufferLength;
    case SQL_C_SSHORT:
    case SQL_C_SHORT:
    case SQL_C_USHORT: return sizeof(SQLSMALLINT);
    case SQL_C_STINYINT:
    case SQL_C_TINYINT:
    case SQL_C_UTINYINT:
    case SQL_C_BIT: return 1;
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: return sizeof(SQLBIGINT);
    case SQL_C_DOUBLE: return sizeof(SQLDOUBLE);
    case SQL_C_FLOAT: return sizeof(SQLREAL);
    case SQL_C_NUMERIC: return sizeof(SQL_NUMERIC_STRUCT);
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE: return sizeof(SQL_DATE_STRUCT);
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP: return sizeof(SQL_TIMESTAMP_STRUCT);
    case SQL_C_SLONG:
    case SQL_C_LONG:
    case SQL_C_ULONG: return sizeof(SQLINTEGER);
    default: return b.bufferLength;
  }
}

// Converts the current row into element `row` of every bound column.
SQLRETURN ConvertBound(Statement& s, SQLULEN row) {
  SQLRETURN result = SQL_SUCCESS;
  for (size_t i = 0; i < s.bound.size() && i < s.columns.size(); ++i) {
    const BoundColumn& b = s.bound[i];
    if (b.target == nullptr && b.indicator == nullptr) continue;
    const SQLLEN offset = static_cast<SQLLEN>(row) * ElementSize(b);
    Target t{b.targetType, b.target ? static_cast<char*>(b.target) + offset : nullptr, b.bufferLength,
             b.indicator ? b.indicator + row : nullptr, nullptr};
    SQLRETURN rc = ConvertColumn(s, static_cast<int>(i), t);
    if (rc == SQL_ERROR) result = SQL_ERROR;
    else if (rc == SQL_SUCCESS_WITH_INFO && result == SQL_SUCCESS) result = SQL_SUCCESS_WITH_INFO;
  }
  return result;
}

SQLUSMALLINT RowStatusOf(SQLRETURN rc) {
  return rc == SQL_SUCCESS ? SQL_ROW_SUCCESS : (rc == SQL_ERROR ? SQL_ROW_ERROR : SQL_ROW_SUCCESS_WITH_INFO);
}

// Fetches the next rowset: one row, or up to the row-array size into column-wise bound
// arrays. In a rowset of several rows a row whose value cannot be converted is marked
// SQL_ROW_ERROR and the others are still delivered (SQL_SUCCESS_WITH_INFO).
SQLRETURN Fetch(Statement& s) {
  if (!s.executed) return s.AddDiag("24000", "Invalid cursor state: no result set is open");
  s.getDataColumn = 0;
  s.getDataOffset = 0;
  s.getDataDone = false;
  const SQLULEN size = s.rowArraySize == 0 ? 1 : s.rowArraySize;
  SQLULEN got = 0;
  SQLRETURN result = SQL_SUCCESS;
  bool rowErrors = false;
  while (got < size) {
    SQLRETURN step = StepRow(s);
    if (step == SQL_NO_DATA) break;
    if (step != SQL_SUCCESS) {
      s.onRow = false;
      if (s.rowsFetchedPtr) *s.rowsFetchedPtr = 0;
      return step;
    }
    SQLRETURN rc = ConvertBound(s, got);
    if (s.rowStatusPtr) s.rowStatusPtr[got] = RowStatusOf(rc);
    if (rc == SQL_ERROR) rowErrors = true;
    else if (rc == SQL_SUCCESS_WITH_INFO) result = SQL_SUCCESS_WITH_INFO;
    ++got;
  }
  if (s.rowStatusPtr)
    for (SQLULEN r = got; r < size; ++r) s.rowStatusPtr[r] = SQL_ROW_NOROW;
  if (s.rowsFetchedPtr) *s.rowsFetchedPtr = got;
  s.onRow = got > 0;
  if (got == 0) return SQL_NO_DATA;
  if (rowErrors) return size == 1 ? SQL_ERROR : SQL_SUCCESS_WITH_INFO;
  return result;
}

// Runs a catalog query of the driver's own with text parameters.
SQLRETURN RunCatalog(Statement& s, const std::string& sql, const std::vector<std::string>& params) {
  Connection& c = *s.conn;
  if (!c.db) return s.AddDiag("08003", "Connection not open");
  CloseCursor(s);
  ReleasePrepared(s);
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(c.db.get(), sql.c_str(), -1, &raw, nullptr);
  SqliteStmtPtr st(raw);
  if (rc != SQLITE_OK || !st) return SqliteFailure(s, rc);
  for (size_t i = 0; i < params.size(); ++i)
    sqlite3_bind_text(st.get(), static_cast<int>(i + 1), params[i].c_str(), -1, SQLITE_TRANSIENT);
  s.stmt = std::move(st);
  s.prepared = true;
  SQLRETURN r = Execute(s);
  if (SQL_SUCCEEDED(r)) DescribeColumns(s, false);
  return r;
}

// A catalog-function argument as a LIKE pattern ('%' when absent).
std::string Pattern(const SQLCHAR* text, SQLSMALLINT len) {
  if (text == nullptr) return "%";
  return std::string(TextArg(text, len));
}

// ---------------------------------------------------------------------------------------
// Connections

std::string UriForPath(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string uri = "file:";
  for (unsigned char ch : path) {
    if (std::isalnum(ch) || ch == '/' || ch == '-' || ch == '_' || ch == '.' || ch == '~') {
      uri += static_cast<char>(ch);
    } else {
      uri += '%';
      uri += hex[ch >> 4];
      uri += hex[ch & 15];
    }
  }
  uri += "?mode=ro";
  return uri;
}

std::string ProfileValue(const std::string& dsn, const char* key) {
  if (dsn.empty()) return {};
  char buf[4096] = {};
  int n = SQLGetPrivateProfileString(dsn.c_str(), key, "", buf, sizeof buf, "ODBC.INI");
  if (n <= 0) return {};
  return std::string(buf, strnlen(buf, sizeof buf));
}

SQLRETURN Connect(Connection& c, const std::vector<ConnAttribute>& attrs) {
  if (c.db) return c.AddDiag("08002", "Connection name in use: the connection is already open");
  auto get = [&](std::string_view key) -> std::string {
    const std::string* v = FindAttribute(attrs, key);
    return v ? *v : std::string();
  };
  std::string dsn = get("DSN");
  bool haveDatabase = FindAttribute(attrs, "DATABASE") != nullptr;
  std::string database = haveDatabase ? get("DATABASE") : ProfileValue(dsn, "DATABASE");
  std::string uid = FindAttribute(attrs, "UID") ? get("UID") : ProfileValue(dsn, "UID");
  std::string pwd = FindAttribute(attrs, "PWD") ? get("PWD") : ProfileValue(dsn, "PWD");
  bool haveAccess = FindAttribute(attrs, "ACCESS_TYPE") != nullptr;
  std::string access = haveAccess ? get("ACCESS_TYPE") : ProfileValue(dsn, "ACCESS_TYPE");
  std::string key = FindAttribute(attrs, "KEY") ? get("KEY") : ProfileValue(dsn, "KEY");

  if (!access.empty()) {
    if (UpperAscii(access) != "READ")
      return c.AddDiag("28000", "Access type \"" + access +
                                    "\" is not available: company files are opened for reading only (ACCESS_TYPE=READ)");
    if (key != kAccessKey) return c.AddDiag("28000", "The access key (KEY) is not valid for ACCESS_TYPE=READ");
  }
  if (database.empty()) return c.AddDiag("08001", "No company file given (DATABASE is empty)");
  struct stat st {};
  if (::stat(database.c_str(), &st) != 0)
    return c.AddDiag("08001", "The company file \"" + database + "\" does not exist");
  if (S_ISDIR(st.st_mode)) return c.AddDiag("08001", "\"" + database + "\" is a folder, not a company file");
  if (!S_ISREG(st.st_mode)) return c.AddDiag("08001", "\"" + database + "\" is not a company file");
  if (uid.empty()) return c.AddDiag("28000", "No user ID given (UID is empty)");

  sqlite3* raw = nullptr;
  std::string uri = UriForPath(database);
  int rc = sqlite3_open_v2(uri.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
  SqliteDbPtr db(raw);
  if (rc != SQLITE_OK)
    return c.AddDiag("08001", "The company file \"" + database + "\" cannot be opened: " +
                                  (db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc)));
  sqlite3_extended_result_codes(db.get(), 1);
  sqlite3_limit(db.get(), SQLITE_LIMIT_SQL_LENGTH, kMaxSqlLength);
  sqlite3_limit(db.get(), SQLITE_LIMIT_ATTACHED, 0);
  sqlite3_db_config(db.get(), SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
  sqlite3_db_config(db.get(), SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db.get(), SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  // No memory map (a truncation by another program would pull mapped pages away); a
  // page cache a little larger than SQLite's default instead, kept between statements
  // while the file is unchanged (the system's file cache holds the rest).
  sqlite3_exec(db.get(), "PRAGMA mmap_size = 0", nullptr, nullptr, nullptr);
  sqlite3_exec(db.get(), "PRAGMA cache_size = -8192", nullptr, nullptr, nullptr);
  // A writer holds its lock for a short while; wait for it before giving up.
  sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);

  // Is it a company file, and who may open it?
  {
    sqlite3_stmt* probe = nullptr;
    rc = sqlite3_prepare_v2(db.get(),
                            "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                            "('DataFileInformation', 'DriverUsers', 'Accounts', 'JournalRecords')",
                            -1, &probe, nullptr);
    SqliteStmtPtr p(probe);
    int count = 0;
    if (rc == SQLITE_OK && (rc = sqlite3_step(p.get())) == SQLITE_ROW) count = sqlite3_column_int(p.get(), 0);
    if (rc != SQLITE_ROW && rc != SQLITE_OK)
      return c.AddDiag("08001", "\"" + database + "\" is not a company file (" + sqlite3_errmsg(db.get()) + ")");
    if (count != 4) return c.AddDiag("08001", "\"" + database + "\" is not a company file (its tables are missing)");
  }
  {
    sqlite3_stmt* q = nullptr;
    rc = sqlite3_prepare_v2(db.get(), "SELECT Password FROM DriverUsers WHERE UserID = ?1", -1, &q, nullptr);
    SqliteStmtPtr p(q);
    if (rc != SQLITE_OK)
      return c.AddDiag("08001", "\"" + database + "\" is not a company file (" + sqlite3_errmsg(db.get()) + ")");
    sqlite3_bind_text(p.get(), 1, uid.c_str(), static_cast<int>(uid.size()), SQLITE_TRANSIENT);
    rc = sqlite3_step(p.get());
    if (rc == SQLITE_DONE) return c.AddDiag("28000", "Invalid user ID: \"" + uid + "\" is not a user of this company file");
    if (rc != SQLITE_ROW)
      return c.AddDiag("08001", "\"" + database + "\" is not a company file (" + sqlite3_errmsg(db.get()) + ")");
    const auto* stored = reinterpret_cast<const char*>(sqlite3_column_text(p.get(), 0));
    if (pwd != (stored ? stored : "")) return c.AddDiag("28000", "Invalid password for user \"" + uid + "\"");
  }
  std::string identity = CompanyIdentity(db.get());
  sqlite3_set_authorizer(db.get(), Authorize, &c);
  sqlite3_progress_handler(db.get(), 2000, Progress, &c);
  sqlite3_create_function(db.get(), "qvx_coltype", 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, ColTypeFunction,
                          nullptr, nullptr);
  c.db = std::move(db);
  c.fileDevice = static_cast<uint64_t>(st.st_dev);
  c.fileInode = static_cast<uint64_t>(st.st_ino);
  c.companyIdentity = std::move(identity);
  c.dataVersion = DataVersion(c.db.get());
  c.fileSize = static_cast<int64_t>(st.st_size);
  c.fileModifiedNs = ModifiedNs(st);
  c.database = database;
  c.dsn = dsn;
  c.user = uid;
  return SQL_SUCCESS;
}

void Disconnect(Connection& c) {
  for (auto& s : c.statements) {
    CloseCursor(*s);
    s->stmt.reset();
    s->prepared = false;
    s->cacheKey.clear();
  }
  c.cache.clear();
  c.db.reset();
}

HandleBase* AnyHandle(SQLSMALLINT type, SQLHANDLE h) {
  switch (type) {
    case SQL_HANDLE_ENV: return Env(h);
    case SQL_HANDLE_DBC: return Dbc(h);
    case SQL_HANDLE_STMT: return Stmt(h);
    default: return nullptr;
  }
}

// SQLGetInfo values.
enum class InfoKind { Str, U16, U32 };
struct InfoItem {
  SQLUSMALLINT id;
  InfoKind kind;
  SQLUINTEGER number;
  const char* text;
};

const InfoItem* FindInfo(SQLUSMALLINT id) {
  static const InfoItem items[] = {
      {SQL_DRIVER_ODBC_VER, InfoKind::Str, 0, "03.51"},
      {SQL_DRIVER_VER, InfoKind::Str, 0, "01.01.0021"},
      {SQL_DBMS_NAME, InfoKind::Str, 0, "Company file"},
      {SQL_DBMS_VER, InfoKind::Str, 0, "01.01.0000"},
      {SQL_SERVER_NAME, InfoKind::Str, 0, ""},
      {SQL_DATA_SOURCE_READ_ONLY, InfoKind::Str, 0, "Y"},
      {SQL_IDENTIFIER_QUOTE_CHAR, InfoKind::Str, 0, "\""},
      {SQL_SEARCH_PATTERN_ESCAPE, InfoKind::Str, 0, "\\"},
      {SQL_CATALOG_NAME_SEPARATOR, InfoKind::Str, 0, "."},
      {SQL_CATALOG_TERM, InfoKind::Str, 0, ""},
      {SQL_CATALOG_NAME, InfoKind::Str, 0, "N"},
      {SQL_SCHEMA_TERM, InfoKind::Str, 0, "schema"},
      {SQL_TABLE_TERM, InfoKind::Str, 0, "table"},
      {SQL_PROCEDURE_TERM, InfoKind::Str, 0, ""},
      {SQL_ACCESSIBLE_TABLES, InfoKind::Str, 0, "Y"},
      {SQL_ACCESSIBLE_PROCEDURES, InfoKind::Str, 0, "N"},
      {SQL_PROCEDURES, InfoKind::Str, 0, "N"},
      {SQL_EXPRESSIONS_IN_ORDERBY, InfoKind::Str, 0, "Y"},
      {SQL_MULT_RESULT_SETS, InfoKind::Str, 0, "N"},
      {SQL_MULTIPLE_ACTIVE_TXN, InfoKind::Str, 0, "Y"},
      {SQL_NEED_LONG_DATA_LEN, InfoKind::Str, 0, "N"},
      {SQL_ORDER_BY_COLUMNS_IN_SELECT, InfoKind::Str, 0, "N"},
      {SQL_COLUMN_ALIAS, InfoKind::Str, 0, "Y"},
      {SQL_LIKE_ESCAPE_CLAUSE, InfoKind::Str, 0, "Y"},
      {SQL_SPECIAL_CHARACTERS, InfoKind::Str, 0, ""},
      {SQL_KEYWORDS, InfoKind::Str, 0, ""},
      {SQL_MAX_ROW_SIZE_INCLUDES_LONG, InfoKind::Str, 0, "N"},
      {SQL_OUTER_JOINS, InfoKind::Str, 0, "Y"},
      {SQL_INTEGRITY, InfoKind::Str, 0, "N"},
      {SQL_XOPEN_CLI_YEAR, InfoKind::Str, 0, "1995"},
      {SQL_COLLATION_SEQ, InfoKind::Str, 0, ""},
      {SQL_DESCRIBE_PARAMETER, InfoKind::Str, 0, "N"},
      {SQL_ROW_UPDATES, InfoKind::Str, 0, "N"},
      {SQL_CURSOR_COMMIT_BEHAVIOR, InfoKind::U16, SQL_CB_PRESERVE, nullptr},
      {SQL_CURSOR_ROLLBACK_BEHAVIOR, InfoKind::U16, SQL_CB_PRESERVE, nullptr},
      {SQL_TXN_CAPABLE, InfoKind::U16, SQL_TC_NONE, nullptr},
      {SQL_MAX_DRIVER_CONNECTIONS, InfoKind::U16, 0, nullptr},
      {SQL_MAX_CONCURRENT_ACTIVITIES, InfoKind::U16, 0, nullptr},
      {SQL_IDENTIFIER_CASE, InfoKind::U16, SQL_IC_MIXED, nullptr},
      {SQL_QUOTED_IDENTIFIER_CASE, InfoKind::U16, SQL_IC_MIXED, nullptr},
      {SQL_CONCAT_NULL_BEHAVIOR, InfoKind::U16, SQL_CB_NULL, nullptr},
      {SQL_NULL_COLLATION, InfoKind::U16, SQL_NC_LOW, nullptr},
      {SQL_NON_NULLABLE_COLUMNS, InfoKind::U16, SQL_NNC_NON_NULL, nullptr},
      {SQL_CORRELATION_NAME, InfoKind::U16, SQL_CN_ANY, nullptr},
      {SQL_GROUP_BY, InfoKind::U16, SQL_GB_GROUP_BY_CONTAINS_SELECT, nullptr},
      {SQL_FILE_USAGE, InfoKind::U16, SQL_FILE_NOT_SUPPORTED, nullptr},
      {SQL_MAX_COLUMN_NAME_LEN, InfoKind::U16, 255, nullptr},
      {SQL_MAX_TABLE_NAME_LEN, InfoKind::U16, 255, nullptr},
      {SQL_MAX_SCHEMA_NAME_LEN, InfoKind::U16, 4, nullptr},
      {SQL_MAX_CATALOG_NAME_LEN, InfoKind::U16, 0, nullptr},
      {SQL_MAX_CURSOR_NAME_LEN, InfoKind::U16, 0, nullptr},
      {SQL_MAX_COLUMNS_IN_GROUP_BY, InfoKind::U16, 0, nullptr},
      {SQL_MAX_COLUMNS_IN_INDEX, InfoKind::U16, 0, nullptr},
      {SQL_MAX_COLUMNS_IN_ORDER_BY, InfoKind::U16, 0, nullptr},
      {SQL_MAX_COLUMNS_IN_SELECT, InfoKind::U16, 0, nullptr},
      {SQL_MAX_COLUMNS_IN_TABLE, InfoKind::U16, 0, nullptr},
      {SQL_MAX_TABLES_IN_SELECT, InfoKind::U16, 0, nullptr},
      {SQL_MAX_USER_NAME_LEN, InfoKind::U16, 30, nullptr},
      {SQL_MAX_PROCEDURE_NAME_LEN, InfoKind::U16, 0, nullptr},
      {SQL_MAX_IDENTIFIER_LEN, InfoKind::U16, 255, nullptr},
      {SQL_ACTIVE_ENVIRONMENTS, InfoKind::U16, 0, nullptr},
      {SQL_CATALOG_LOCATION, InfoKind::U16, 0, nullptr},
      {SQL_ODBC_API_CONFORMANCE, InfoKind::U16, SQL_OAC_LEVEL1, nullptr},
      {SQL_ODBC_SQL_CONFORMANCE, InfoKind::U16, SQL_OSC_MINIMUM, nullptr},
      {SQL_ODBC_SAG_CLI_CONFORMANCE, InfoKind::U16, SQL_OSCC_COMPLIANT, nullptr},
      {SQL_GETDATA_EXTENSIONS, InfoKind::U32, SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BOUND, nullptr},
      {SQL_SCROLL_OPTIONS, InfoKind::U32, SQL_SO_FORWARD_ONLY, nullptr},
      {SQL_SCROLL_CONCURRENCY, InfoKind::U32, SQL_SCCO_READ_ONLY, nullptr},
      {SQL_DEFAULT_TXN_ISOLATION, InfoKind::U32, 0, nullptr},
      {SQL_TXN_ISOLATION_OPTION, InfoKind::U32, 0, nullptr},
      {SQL_ASYNC_MODE, InfoKind::U32, SQL_AM_NONE, nullptr},
      {SQL_BOOKMARK_PERSISTENCE, InfoKind::U32, 0, nullptr},
      {SQL_POS_OPERATIONS, InfoKind::U32, 0, nullptr},
      {SQL_STATIC_SENSITIVITY, InfoKind::U32, 0, nullptr},
      {SQL_LOCK_TYPES, InfoKind::U32, 0, nullptr},
      {SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1, InfoKind::U32, SQL_CA1_NEXT, nullptr},
      {SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2, InfoKind::U32, SQL_CA2_READ_ONLY_CONCURRENCY, nullptr},
      {SQL_STATIC_CURSOR_ATTRIBUTES1, InfoKind::U32, 0, nullptr},
      {SQL_STATIC_CURSOR_ATTRIBUTES2, InfoKind::U32, 0, nullptr},
      {SQL_KEYSET_CURSOR_ATTRIBUTES1, InfoKind::U32, 0, nullptr},
      {SQL_KEYSET_CURSOR_ATTRIBUTES2, InfoKind::U32, 0, nullptr},
      {SQL_DYNAMIC_CURSOR_ATTRIBUTES1, InfoKind::U32, 0, nullptr},
      {SQL_DYNAMIC_CURSOR_ATTRIBUTES2, InfoKind::U32, 0, nullptr},
      {SQL_SCHEMA_USAGE, InfoKind::U32, SQL_SU_DML_STATEMENTS, nullptr},
      {SQL_CATALOG_USAGE, InfoKind::U32, 0, nullptr},
      {SQL_SQL_CONFORMANCE, InfoKind::U32, SQL_SC_SQL92_ENTRY, nullptr},
      {SQL_ODBC_INTERFACE_CONFORMANCE, InfoKind::U32, SQL_OIC_CORE, nullptr},
      {SQL_MAX_ASYNC_CONCURRENT_STATEMENTS, InfoKind::U32, 0, nullptr},
      {SQL_CONVERT_FUNCTIONS, InfoKind::U32, SQL_FN_CVT_CAST, nullptr},
      {SQL_NUMERIC_FUNCTIONS, InfoKind::U32, SQL_FN_NUM_ABS | SQL_FN_NUM_ROUND, nullptr},
      {SQL_STRING_FUNCTIONS, InfoKind::U32, SQL_FN_STR_LENGTH | SQL_FN_STR_SUBSTRING | SQL_FN_STR_LTRIM | SQL_FN_STR_RTRIM | SQL_FN_STR_UCASE | SQL_FN_STR_LCASE | SQL_FN_STR_REPLACE, nullptr},
      {SQL_SYSTEM_FUNCTIONS, InfoKind::U32, SQL_FN_SYS_IFNULL, nullptr},
      {SQL_TIMEDATE_FUNCTIONS, InfoKind::U32, 0, nullptr},
      {SQL_OJ_CAPABILITIES, InfoKind::U32, SQL_OJ_LEFT | SQL_OJ_NESTED | SQL_OJ_NOT_ORDERED | SQL_OJ_INNER | SQL_OJ_ALL_COMPARISON_OPS, nullptr},
      {SQL_SUBQUERIES, InfoKind::U32, SQL_SQ_COMPARISON | SQL_SQ_EXISTS | SQL_SQ_IN | SQL_SQ_QUANTIFIED | SQL_SQ_CORRELATED_SUBQUERIES, nullptr},
      {SQL_UNION, InfoKind::U32, SQL_U_UNION | SQL_U_UNION_ALL, nullptr},
      {SQL_AGGREGATE_FUNCTIONS, InfoKind::U32, SQL_AF_ALL | SQL_AF_AVG | SQL_AF_COUNT | SQL_AF_DISTINCT | SQL_AF_MAX | SQL_AF_MIN | SQL_AF_SUM, nullptr},
      {SQL_BATCH_SUPPORT, InfoKind::U32, 0, nullptr},
      {SQL_BATCH_ROW_COUNT, InfoKind::U32, 0, nullptr},
      {SQL_PARAM_ARRAY_ROW_COUNTS, InfoKind::U32, SQL_PARC_NO_BATCH, nullptr},
      {SQL_PARAM_ARRAY_SELECTS, InfoKind::U32, SQL_PAS_NO_SELECT, nullptr},
      {SQL_DATETIME_LITERALS, InfoKind::U32, 0, nullptr},
      {SQL_INDEX_KEYWORDS, InfoKind::U32, 0, nullptr},
      {SQL_INFO_SCHEMA_VIEWS, InfoKind::U32, 0, nullptr},
      {SQL_ALTER_TABLE, InfoKind::U32, 0, nullptr},
      {SQL_CREATE_TABLE, InfoKind::U32, 0, nullptr},
      {SQL_CREATE_VIEW, InfoKind::U32, 0, nullptr},
      {SQL_DROP_TABLE, InfoKind::U32, 0, nullptr},
      {SQL_DROP_VIEW, InfoKind::U32, 0, nullptr},
      {SQL_DDL_INDEX, InfoKind::U32, 0, nullptr},
      {SQL_INSERT_STATEMENT, InfoKind::U32, 0, nullptr},
      {SQL_MAX_ROW_SIZE, InfoKind::U32, 0, nullptr},
      {SQL_MAX_STATEMENT_LEN, InfoKind::U32, static_cast<SQLUINTEGER>(kMaxSqlLength), nullptr},
      {SQL_MAX_CHAR_LITERAL_LEN, InfoKind::U32, 0, nullptr},
      {SQL_MAX_BINARY_LITERAL_LEN, InfoKind::U32, 0, nullptr},
      {SQL_MAX_INDEX_SIZE, InfoKind::U32, 0, nullptr},
      {SQL_TIMEDATE_ADD_INTERVALS, InfoKind::U32, 0, nullptr},
      {SQL_TIMEDATE_DIFF_INTERVALS, InfoKind::U32, 0, nullptr},
      {SQL_STANDARD_CLI_CONFORMANCE, InfoKind::U32, SQL_SCC_XOPEN_CLI_VERSION1, nullptr},
      {SQL_ASYNC_DBC_FUNCTIONS, InfoKind::U32, SQL_ASYNC_DBC_NOT_CAPABLE, nullptr},
      {SQL_SQL92_PREDICATES, InfoKind::U32, SQL_SP_BETWEEN | SQL_SP_COMPARISON | SQL_SP_EXISTS | SQL_SP_IN | SQL_SP_ISNOTNULL | SQL_SP_ISNULL | SQL_SP_LIKE, nullptr},
      {SQL_SQL92_RELATIONAL_JOIN_OPERATORS, InfoKind::U32, SQL_SRJO_INNER_JOIN | SQL_SRJO_LEFT_OUTER_JOIN | SQL_SRJO_CROSS_JOIN, nullptr},
      {SQL_SQL92_VALUE_EXPRESSIONS, InfoKind::U32, SQL_SVE_CASE | SQL_SVE_CAST | SQL_SVE_COALESCE | SQL_SVE_NULLIF, nullptr},
  };
  for (const auto& it : items)
    if (it.id == id) return &it;
  return nullptr;
}

// Functions this driver implements, for SQLGetFunctions.
constexpr SQLUSMALLINT kFunctions[] = {
    SQL_API_SQLALLOCHANDLE,   SQL_API_SQLFREEHANDLE,    SQL_API_SQLSETENVATTR,     SQL_API_SQLGETENVATTR,
    SQL_API_SQLSETCONNECTATTR, SQL_API_SQLGETCONNECTATTR, SQL_API_SQLSETSTMTATTR,  SQL_API_SQLGETSTMTATTR,
    SQL_API_SQLCONNECT,       SQL_API_SQLDRIVERCONNECT, SQL_API_SQLDISCONNECT,     SQL_API_SQLGETINFO,
    SQL_API_SQLGETFUNCTIONS,  SQL_API_SQLEXECDIRECT,    SQL_API_SQLPREPARE,        SQL_API_SQLEXECUTE,
    SQL_API_SQLNUMRESULTCOLS, SQL_API_SQLDESCRIBECOL,   SQL_API_SQLCOLATTRIBUTE,   SQL_API_SQLBINDCOL,
    SQL_API_SQLFETCH,         SQL_API_SQLFETCHSCROLL,   SQL_API_SQLGETDATA,        SQL_API_SQLROWCOUNT,
    SQL_API_SQLFREESTMT,      SQL_API_SQLCLOSECURSOR,   SQL_API_SQLCANCEL,         SQL_API_SQLGETDIAGREC,
    SQL_API_SQLGETDIAGFIELD,  SQL_API_SQLTABLES,        SQL_API_SQLCOLUMNS,        SQL_API_SQLMORERESULTS,
    SQL_API_SQLENDTRAN,       SQL_API_SQLNATIVESQL,     SQL_API_SQLNUMPARAMS,
};

}  // namespace
}  // namespace qvx::driver

using namespace qvx::driver;

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  if (output == nullptr) return SQL_ERROR;
  *output = SQL_NULL_HANDLE;
  DriverState& ds = State();
  std::lock_guard lock(ds.mutex);
  try {
    switch (type) {
      case SQL_HANDLE_ENV: {
        auto env = std::make_unique<Environment>();
        *output = env.get();
        ds.environments.push_back(std::move(env));
        return SQL_SUCCESS;
      }
      case SQL_HANDLE_DBC: {
        Environment* env = Env(input);
        if (!env) return SQL_INVALID_HANDLE;
        env->ClearDiag();
        auto dbc = std::make_unique<Connection>(env);
        *output = dbc.get();
        env->connections.push_back(std::move(dbc));
        return SQL_SUCCESS;
      }
      case SQL_HANDLE_STMT: {
        Connection* c = Dbc(input);
        if (!c) return SQL_INVALID_HANDLE;
        c->ClearDiag();
        if (!c->db) return c->AddDiag("08003", "Connection not open");
        auto s = std::make_unique<Statement>(c);
        *output = s.get();
        c->statements.push_back(std::move(s));
        return SQL_SUCCESS;
      }
      default:
        return SQL_ERROR;
    }
  } catch (...) {
    return SQL_ERROR;
  }
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
  DriverState& ds = State();
  std::lock_guard lock(ds.mutex);
  switch (type) {
    case SQL_HANDLE_ENV: {
      Environment* env = Env(handle);
      if (!env) return SQL_INVALID_HANDLE;
      if (!env->connections.empty()) return env->AddDiag("HY010", "Function sequence error: connections remain");
      std::erase_if(ds.environments, [&](const auto& e) { return e.get() == env; });
      return SQL_SUCCESS;
    }
    case SQL_HANDLE_DBC: {
      Connection* c = Dbc(handle);
      if (!c) return SQL_INVALID_HANDLE;
      if (c->db) return c->AddDiag("HY010", "Function sequence error: the connection is still open");
      std::erase_if(c->env->connections, [&](const auto& e) { return e.get() == c; });
      return SQL_SUCCESS;
    }
    case SQL_HANDLE_STMT: {
      Statement* s = Stmt(handle);
      if (!s) return SQL_INVALID_HANDLE;
      Connection* c = s->conn;
      CloseCursor(*s);
      ReleasePrepared(*s);
      std::erase_if(c->statements, [&](const auto& e) { return e.get() == s; });
      return SQL_SUCCESS;
    }
    default:
      return SQL_ERROR;
  }
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV henv, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER) {
  Environment* env = Env(henv);
  if (!env) return SQL_INVALID_HANDLE;
  env->ClearDiag();
  if (attr == SQL_ATTR_ODBC_VERSION) env->odbcVersion = static_cast<SQLINTEGER>(reinterpret_cast<intptr_t>(value));
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV henv, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER, SQLINTEGER* len) {
  Environment* env = Env(henv);
  if (!env) return SQL_INVALID_HANDLE;
  env->ClearDiag();
  SQLINTEGER v = 0;
  switch (attr) {
    case SQL_ATTR_ODBC_VERSION: v = env->odbcVersion; break;
    case SQL_ATTR_OUTPUT_NTS: v = SQL_TRUE; break;
    default: break;
  }
  if (value) std::memcpy(value, &v, sizeof v);
  if (len) *len = sizeof v;
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC hdbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER) {
  Connection* c = Dbc(hdbc);
  if (!c) return SQL_INVALID_HANDLE;
  c->ClearDiag();
  auto num = static_cast<SQLULEN>(reinterpret_cast<uintptr_t>(value));
  switch (attr) {
    case SQL_ATTR_ACCESS_MODE:
      if (num != SQL_MODE_READ_ONLY)
        return c->AddDiag("01S02", "Option value changed: company files are always read-only", SQL_SUCCESS_WITH_INFO);
      return SQL_SUCCESS;
    case SQL_ATTR_LOGIN_TIMEOUT: c->loginTimeout = static_cast<SQLUINTEGER>(num); return SQL_SUCCESS;
    default: return SQL_SUCCESS;
  }
}

SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC hdbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER bufLen,
                                    SQLINTEGER* len) {
  Connection* c = Dbc(hdbc);
  if (!c) return SQL_INVALID_HANDLE;
  c->ClearDiag();
  SQLUINTEGER v = 0;
  switch (attr) {
    case SQL_ATTR_ACCESS_MODE: v = SQL_MODE_READ_ONLY; break;
    case SQL_ATTR_AUTOCOMMIT: v = SQL_AUTOCOMMIT_ON; break;
    case SQL_ATTR_CONNECTION_DEAD: v = c->db ? SQL_CD_FALSE : SQL_CD_TRUE; break;
    case SQL_ATTR_LOGIN_TIMEOUT: v = c->loginTimeout; break;
    case SQL_ATTR_TXN_ISOLATION: v = 0; break;
    case SQL_ATTR_CURRENT_CATALOG: return CopyOut(*c, "", value, bufLen, len);
    default: break;
  }
  if (value) std::memcpy(value, &v, sizeof v);
  if (len) *len = sizeof v;
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT hstmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  auto num = static_cast<SQLULEN>(reinterpret_cast<uintptr_t>(value));
  switch (attr) {
    case SQL_ATTR_QUERY_TIMEOUT: s->queryTimeout = num; return SQL_SUCCESS;
    case SQL_ATTR_MAX_ROWS: s->maxRows = num; return SQL_SUCCESS;
    case SQL_ATTR_ROWS_FETCHED_PTR: s->rowsFetchedPtr = static_cast<SQLULEN*>(value); return SQL_SUCCESS;
    case SQL_ATTR_ROW_STATUS_PTR: s->rowStatusPtr = static_cast<SQLUSMALLINT*>(value); return SQL_SUCCESS;
    case SQL_ATTR_ROW_ARRAY_SIZE:
      if (num == 0) return s->AddDiag("HY024", "Invalid attribute value: the row-array size must be at least 1");
      s->rowArraySize = num;
      return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_TYPE:
      if (num != SQL_CURSOR_FORWARD_ONLY)
        return s->AddDiag("01S02", "Option value changed: the cursor is forward-only", SQL_SUCCESS_WITH_INFO);
      return SQL_SUCCESS;
    case SQL_ATTR_CONCURRENCY:
      if (num != SQL_CONCUR_READ_ONLY)
        return s->AddDiag("01S02", "Option value changed: the cursor is read-only", SQL_SUCCESS_WITH_INFO);
      return SQL_SUCCESS;
    case SQL_ATTR_ROW_BIND_TYPE:
      if (num != SQL_BIND_BY_COLUMN) return s->AddDiag("HYC00", "Optional feature not implemented: row-wise binding");
      return SQL_SUCCESS;
    default: return SQL_SUCCESS;
  }
}

SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT hstmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER, SQLINTEGER* len) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  SQLULEN v = 0;
  switch (attr) {
    case SQL_ATTR_APP_ROW_DESC:
    case SQL_ATTR_APP_PARAM_DESC:
    case SQL_ATTR_IMP_ROW_DESC:
    case SQL_ATTR_IMP_PARAM_DESC: {
      // No descriptor functions are offered; the statement stands in as the handle.
      SQLPOINTER p = hstmt;
      if (value) std::memcpy(value, &p, sizeof p);
      if (len) *len = sizeof p;
      return SQL_SUCCESS;
    }
    case SQL_ATTR_QUERY_TIMEOUT: v = s->queryTimeout; break;
    case SQL_ATTR_MAX_ROWS: v = s->maxRows; break;
    case SQL_ATTR_ROW_ARRAY_SIZE: v = s->rowArraySize; break;
    case SQL_ATTR_CURSOR_TYPE: v = SQL_CURSOR_FORWARD_ONLY; break;
    case SQL_ATTR_CONCURRENCY: v = SQL_CONCUR_READ_ONLY; break;
    case SQL_ATTR_ROW_NUMBER: v = s->onRow ? s->rowsFetched : 0; break;
    case SQL_ATTR_ROW_BIND_TYPE: v = SQL_BIND_BY_COLUMN; break;
    case SQL_ATTR_CURSOR_SCROLLABLE: v = SQL_NONSCROLLABLE; break;
    case SQL_ATTR_CURSOR_SENSITIVITY: v = SQL_INSENSITIVE; break;
    case SQL_ATTR_ROWS_FETCHED_PTR: {
      SQLPOINTER p = s->rowsFetchedPtr;
      if (value) std::memcpy(value, &p, sizeof p);
      return SQL_SUCCESS;
    }
    case SQL_ATTR_ROW_STATUS_PTR: {
      SQLPOINTER p = s->rowStatusPtr;
      if (value) std::memcpy(value, &p, sizeof p);
      return SQL_SUCCESS;
    }
    default: break;
  }
  if (value) std::memcpy(value, &v, sizeof v);
  if (len) *len = sizeof v;
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC hdbc, SQLHWND, SQLCHAR* in, SQLSMALLINT inLen, SQLCHAR* out,
                                   SQLSMALLINT outMax, SQLSMALLINT* outLen, SQLUSMALLINT) {
  Connection* c = Dbc(hdbc);
  if (!c) return SQL_INVALID_HANDLE;
  c->ClearDiag();
  try {
    std::string_view text = TextArg(in, inLen);
    auto attrs = ParseConnectionString(text);
    if (!attrs) return c->AddDiag("08001", "The connection string is not valid: a value in braces is not closed");
    SQLRETURN rc = Connect(*c, *attrs);
    if (!SQL_SUCCEEDED(rc)) return rc;
    return CopyOut(*c, text, out, outMax, outLen);
  } catch (const std::bad_alloc&) {
    return c->AddDiag("HY001", "Memory allocation error");
  } catch (...) {
    return c->AddDiag("HY000", "Unexpected failure while connecting");
  }
}

SQLRETURN SQL_API SQLConnect(SQLHDBC hdbc, SQLCHAR* dsn, SQLSMALLINT dsnLen, SQLCHAR* uid, SQLSMALLINT uidLen,
                             SQLCHAR* pwd, SQLSMALLINT pwdLen) {
  Connection* c = Dbc(hdbc);
  if (!c) return SQL_INVALID_HANDLE;
  c->ClearDiag();
  try {
    std::vector<ConnAttribute> attrs;
    attrs.push_back({"DSN", std::string(TextArg(dsn, dsnLen))});
    if (uid && !TextArg(uid, uidLen).empty()) attrs.push_back({"UID", std::string(TextArg(uid, uidLen))});
    if (pwd && (uid && !TextArg(uid, uidLen).empty())) attrs.push_back({"PWD", std::string(TextArg(pwd, pwdLen))});
    return Connect(*c, attrs);
  } catch (...) {
    return c->AddDiag("HY000", "Unexpected failure while connecting");
  }
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC hdbc) {
  Connection* c = Dbc(hdbc);
  if (!c) return SQL_INVALID_HANDLE;
  c->ClearDiag();
  if (!c->db) return c->AddDiag("08003", "Connection not open");
  Disconnect(*c);
  c->statements.clear();
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetInfo(SQLHDBC hdbc, SQLUSMALLINT info, SQLPOINTER value, SQLSMALLINT bufLen,
                             SQLSMALLINT* len) {
  Connection* c = Dbc(hdbc);
  if (!c) return SQL_INVALID_HANDLE;
  c->ClearDiag();
  switch (info) {
    case SQL_DRIVER_NAME: return CopyOut(*c, "libqvx_myodbc.so", value, bufLen, len);
    case SQL_DATA_SOURCE_NAME: return CopyOut(*c, c->dsn, value, bufLen, len);
    case SQL_DATABASE_NAME: return CopyOut(*c, c->database, value, bufLen, len);
    case SQL_USER_NAME: return CopyOut(*c, c->user, value, bufLen, len);
    default: break;
  }
  const InfoItem* it = FindInfo(info);
  if (!it) return c->AddDiag("HY096", "Information type out of range: " + std::to_string(info));
  switch (it->kind) {
    case InfoKind::Str: return CopyOut(*c, it->text, value, bufLen, len);
    case InfoKind::U16: {
      auto v = static_cast<SQLUSMALLINT>(it->number);
      if (value) std::memcpy(value, &v, sizeof v);
      if (len) *len = sizeof v;
      return SQL_SUCCESS;
    }
    case InfoKind::U32: {
      SQLUINTEGER v = it->number;
      if (value) std::memcpy(value, &v, sizeof v);
      if (len) *len = sizeof v;
      return SQL_SUCCESS;
    }
  }
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetFunctions(SQLHDBC hdbc, SQLUSMALLINT id, SQLUSMALLINT* supported) {
  Connection* c = Dbc(hdbc);
  if (!c) return SQL_INVALID_HANDLE;
  c->ClearDiag();
  if (!supported) return c->AddDiag("HY009", "Invalid use of null pointer");
  if (id == SQL_API_ODBC3_ALL_FUNCTIONS) {
    std::memset(supported, 0, sizeof(SQLUSMALLINT) * SQL_API_ODBC3_ALL_FUNCTIONS_SIZE);
    for (SQLUSMALLINT f : kFunctions) supported[f >> 4] |= static_cast<SQLUSMALLINT>(1 << (f & 0xF));
    return SQL_SUCCESS;
  }
  if (id == SQL_API_ALL_FUNCTIONS) {
    std::memset(supported, 0, sizeof(SQLUSMALLINT) * 100);
    for (SQLUSMALLINT f : kFunctions)
      if (f < 100) supported[f] = SQL_TRUE;
    return SQL_SUCCESS;
  }
  *supported = std::find(std::begin(kFunctions), std::end(kFunctions), id) != std::end(kFunctions) ? SQL_TRUE : SQL_FALSE;
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLPrepare(SQLHSTMT hstmt, SQLCHAR* text, SQLINTEGER len) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  if (!text) return s->AddDiag("HY009", "Invalid use of null pointer");
  try {
    return PrepareText(*s, TextArg(text, len));
  } catch (const std::bad_alloc&) {
    return s->AddDiag("HY001", "Memory allocation error");
  }
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT hstmt) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  return Execute(*s);
}

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT hstmt, SQLCHAR* text, SQLINTEGER len) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  if (!text) return s->AddDiag("HY009", "Invalid use of null pointer");
  try {
    SQLRETURN rc = PrepareText(*s, TextArg(text, len));
    if (!SQL_SUCCEEDED(rc)) return rc;
    return Execute(*s);
  } catch (const std::bad_alloc&) {
    return s->AddDiag("HY001", "Memory allocation error");
  }
}

SQLRETURN SQL_API SQLNativeSql(SQLHDBC hdbc, SQLCHAR* in, SQLINTEGER inLen, SQLCHAR* out, SQLINTEGER outMax,
                               SQLINTEGER* outLen) {
  Connection* c = Dbc(hdbc);
  if (!c) return SQL_INVALID_HANDLE;
  c->ClearDiag();
  if (!in) return c->AddDiag("HY009", "Invalid use of null pointer");
  return CopyOut(*c, RewriteSql(TextArg(in, inLen)), out, outMax, outLen);
}

SQLRETURN SQL_API SQLNumParams(SQLHSTMT hstmt, SQLSMALLINT* count) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  if (count) *count = s->stmt ? static_cast<SQLSMALLINT>(sqlite3_bind_parameter_count(s->stmt.get())) : 0;
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT hstmt, SQLSMALLINT* count) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  if (!s->prepared) return s->AddDiag("HY010", "Function sequence error: no statement prepared");
  if (count) *count = static_cast<SQLSMALLINT>(s->columns.size());
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT hstmt, SQLUSMALLINT col, SQLCHAR* name, SQLSMALLINT nameMax,
                                 SQLSMALLINT* nameLen, SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* digits,
                                 SQLSMALLINT* nullable) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  if (!s->prepared) return s->AddDiag("HY010", "Function sequence error: no statement prepared");
  if (col < 1 || col > s->columns.size()) return s->AddDiag("07009", "Invalid descriptor index " + std::to_string(col));
  const ColumnInfo& info = s->columns[col - 1];
  bool odbc3 = s->conn->env->odbcVersion != SQL_OV_ODBC2;
  if (type) *type = SqlTypeOf(info, odbc3);
  if (size) *size = info.size;
  if (digits) *digits = info.kind == ColKind::Decimal ? info.scale : 0;
  if (nullable) *nullable = SQL_NULLABLE;
  return CopyOut(*s, info.name, name, nameMax, nameLen);
}

SQLRETURN SQL_API SQLColAttribute(SQLHSTMT hstmt, SQLUSMALLINT col, SQLUSMALLINT field, SQLPOINTER charAttr,
                                  SQLSMALLINT bufLen, SQLSMALLINT* strLen, SQLLEN* numAttr) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  if (!s->prepared) return s->AddDiag("HY010", "Function sequence error: no statement prepared");
  if (field == SQL_DESC_COUNT || field == SQL_COLUMN_COUNT) {
    if (numAttr) *numAttr = static_cast<SQLLEN>(s->columns.size());
    return SQL_SUCCESS;
  }
  if (col < 1 || col > s->columns.size()) return s->AddDiag("07009", "Invalid descriptor index " + std::to_string(col));
  const ColumnInfo& info = s->columns[col - 1];
  bool odbc3 = s->conn->env->odbcVersion != SQL_OV_ODBC2;
  SQLLEN n = 0;
  switch (field) {
    case SQL_DESC_NAME:
    case SQL_COLUMN_NAME:
    case SQL_DESC_LABEL:
    case SQL_DESC_BASE_COLUMN_NAME:
      return CopyOut(*s, info.name, charAttr, bufLen, strLen);
    case SQL_DESC_TABLE_NAME:
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_CATALOG_NAME:
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX:
    case SQL_DESC_LOCAL_TYPE_NAME:
      return CopyOut(*s, "", charAttr, bufLen, strLen);
    case SQL_DESC_SCHEMA_NAME:
      return CopyOut(*s, info.fromTable ? "MYOB" : "", charAttr, bufLen, strLen);
    case SQL_DESC_TYPE_NAME:
      return CopyOut(*s, TypeNameOf(info), charAttr, bufLen, strLen);
    case SQL_DESC_TYPE:
      n = info.kind == ColKind::Date && odbc3 ? SQL_DATETIME : SqlTypeOf(info, odbc3);
      break;
    case SQL_DESC_CONCISE_TYPE:
      n = SqlTypeOf(info, odbc3);
      break;
    case SQL_DESC_DATETIME_INTERVAL_CODE:
      n = info.kind == ColKind::Date ? SQL_CODE_DATE : 0;
      break;
    case SQL_DESC_LENGTH:
    case SQL_COLUMN_LENGTH:
    case SQL_DESC_PRECISION:
    case SQL_COLUMN_PRECISION:
      n = static_cast<SQLLEN>(info.size);
      break;
    case SQL_DESC_OCTET_LENGTH:
      n = info.kind == ColKind::Text ? static_cast<SQLLEN>(info.size) : static_cast<SQLLEN>(DisplaySizeOf(info));
      break;
    case SQL_DESC_SCALE:
    case SQL_COLUMN_SCALE:
      n = info.kind == ColKind::Decimal ? info.scale : 0;
      break;
    case SQL_DESC_DISPLAY_SIZE:
      n = static_cast<SQLLEN>(DisplaySizeOf(info));
      break;
    case SQL_DESC_NULLABLE:
    case SQL_COLUMN_NULLABLE:
      n = SQL_NULLABLE;
      break;
    case SQL_DESC_UNSIGNED:
      n = info.kind == ColKind::Text || info.kind == ColKind::Date ? SQL_TRUE : SQL_FALSE;
      break;
    case SQL_DESC_FIXED_PREC_SCALE:
      n = info.kind == ColKind::Decimal ? SQL_TRUE : SQL_FALSE;
      break;
    case SQL_DESC_AUTO_UNIQUE_VALUE:
      n = SQL_FALSE;
      break;
    case SQL_DESC_CASE_SENSITIVE:
      n = info.kind == ColKind::Text ? SQL_TRUE : SQL_FALSE;
      break;
    case SQL_DESC_SEARCHABLE:
      n = SQL_PRED_SEARCHABLE;
      break;
    case SQL_DESC_UPDATABLE:
      n = SQL_ATTR_READONLY;
      break;
    case SQL_DESC_NUM_PREC_RADIX:
      n = info.kind == ColKind::Text || info.kind == ColKind::Date ? 0 : (info.kind == ColKind::Double ? 2 : 10);
      break;
    case SQL_DESC_UNNAMED:
      n = info.name.empty() ? SQL_UNNAMED : SQL_NAMED;
      break;
    default:
      return s->AddDiag("HY091", "Invalid descriptor field identifier " + std::to_string(field));
  }
  if (numAttr) *numAttr = n;
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLBindCol(SQLHSTMT hstmt, SQLUSMALLINT col, SQLSMALLINT ctype, SQLPOINTER target,
                             SQLLEN bufLen, SQLLEN* ind) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  if (col < 1) return s->AddDiag("07009", "Invalid descriptor index: bookmarks are not supported");
  if (bufLen < 0) return s->AddDiag("HY090", "Invalid string or buffer length");
  if (s->bound.size() < col) s->bound.resize(col);
  s->bound[col - 1] = BoundColumn{ctype, target, bufLen, ind};
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT hstmt) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  return Fetch(*s);
}

SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT hstmt, SQLSMALLINT orientation, SQLLEN) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  if (orientation != SQL_FETCH_NEXT) return s->AddDiag("HY106", "Fetch type out of range: the cursor is forward-only");
  return Fetch(*s);
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT hstmt, SQLUSMALLINT col, SQLSMALLINT ctype, SQLPOINTER target, SQLLEN bufLen,
                             SQLLEN* ind) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  if (!s->executed || !s->onRow) return s->AddDiag("24000", "Invalid cursor state: no current row");
  // Only the last row of a rowset is still at hand in the cursor.
  if (s->rowArraySize > 1)
    return s->AddDiag("HYC00", "Optional feature not implemented: SQLGetData in a rowset of several rows");
  if (col < 1 || col > s->columns.size()) return s->AddDiag("07009", "Invalid descriptor index " + std::to_string(col));
  if (col != s->getDataColumn) {
    s->getDataColumn = col;
    s->getDataOffset = 0;
    s->getDataDone = false;
  }
  if (s->getDataDone) return SQL_NO_DATA;
  bool chunked = ctype == SQL_C_CHAR || ctype == SQL_C_WCHAR || ctype == SQL_C_BINARY ||
                 (ctype == SQL_C_DEFAULT && (s->columns[col - 1].kind == ColKind::Text ||
                                             s->columns[col - 1].kind == ColKind::Decimal));
  Target t{ctype, target, bufLen, ind, chunked ? &s->getDataOffset : nullptr};
  SQLRETURN rc = ConvertColumn(*s, col - 1, t);
  bool truncated = rc == SQL_SUCCESS_WITH_INFO && !s->diags.empty() && s->diags.back().sqlState == "01004";
  if (rc != SQL_ERROR && !truncated) s->getDataDone = true;
  return rc;
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT hstmt, SQLLEN* count) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  if (count) *count = s->rowCount;
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT hstmt) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  CloseCursor(*s);
  return SQL_NO_DATA;
}

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT hstmt, SQLUSMALLINT option) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  switch (option) {
    case SQL_CLOSE: CloseCursor(*s); return SQL_SUCCESS;
    case SQL_UNBIND: s->bound.clear(); return SQL_SUCCESS;
    case SQL_RESET_PARAMS: return SQL_SUCCESS;
    case SQL_DROP: return SQLFreeHandle(SQL_HANDLE_STMT, hstmt);
    default: return s->AddDiag("HY092", "Invalid attribute/option identifier");
  }
}

SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT hstmt) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  if (!s->executed) return s->AddDiag("24000", "Invalid cursor state: no cursor is open");
  CloseCursor(*s);
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLCancel(SQLHSTMT hstmt) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->cancel.store(true);
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT, SQLHANDLE, SQLSMALLINT) { return SQL_SUCCESS; }

SQLRETURN SQL_API SQLTables(SQLHSTMT hstmt, SQLCHAR* catalog, SQLSMALLINT catLen, SQLCHAR* schema,
                            SQLSMALLINT schLen, SQLCHAR* table, SQLSMALLINT tabLen, SQLCHAR* types,
                            SQLSMALLINT typLen) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  try {
    std::string schemaPat = Pattern(schema, schLen);
    std::string typeList = UpperAscii(types ? TextArg(types, typLen) : std::string_view("TABLE"));
    bool wantTables = typeList.empty() || typeList.find("TABLE") != std::string::npos || typeList == "%";
    (void)catalog;
    (void)catLen;
    std::string sql =
        "SELECT CAST(NULL AS VARCHAR(128)) AS TABLE_CAT, 'MYOB' AS TABLE_SCHEM, name AS TABLE_NAME, "
        "'TABLE' AS TABLE_TYPE, CAST(NULL AS VARCHAR(254)) AS REMARKS FROM sqlite_master "
        "WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' AND name <> 'DriverUsers' "
        "AND name LIKE ?1 ESCAPE '\\' AND 'MYOB' LIKE ?2 ESCAPE '\\' AND ?3 ORDER BY name";
    SQLRETURN rc = RunCatalog(*s, sql, {Pattern(table, tabLen), schemaPat.empty() ? "%" : schemaPat, wantTables ? "1" : "0"});
    if (SQL_SUCCEEDED(rc)) {
      for (auto& c : s->columns) {
        c.kind = ColKind::Text;
        c.size = 128;
      }
    }
    return rc;
  } catch (...) {
    return s->AddDiag("HY001", "Memory allocation error");
  }
}

SQLRETURN SQL_API SQLColumns(SQLHSTMT hstmt, SQLCHAR*, SQLSMALLINT, SQLCHAR* schema, SQLSMALLINT schLen,
                             SQLCHAR* table, SQLSMALLINT tabLen, SQLCHAR* column, SQLSMALLINT colLen) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  try {
    std::string odbc3 = s->conn->env->odbcVersion != SQL_OV_ODBC2 ? "1" : "0";
    std::string sql =
        "SELECT CAST(NULL AS VARCHAR(128)) AS TABLE_CAT, 'MYOB' AS TABLE_SCHEM, m.name AS TABLE_NAME, "
        "p.name AS COLUMN_NAME, qvx_coltype(p.type, 0, " + odbc3 + ") AS DATA_TYPE, "
        "qvx_coltype(p.type, 1, 1) AS TYPE_NAME, qvx_coltype(p.type, 2, 1) AS COLUMN_SIZE, "
        "qvx_coltype(p.type, 3, 1) AS BUFFER_LENGTH, qvx_coltype(p.type, 4, 1) AS DECIMAL_DIGITS, "
        "qvx_coltype(p.type, 5, 1) AS NUM_PREC_RADIX, CASE p.\"notnull\" WHEN 0 THEN 1 ELSE 0 END AS NULLABLE, "
        "CAST(NULL AS VARCHAR(254)) AS REMARKS, p.dflt_value AS COLUMN_DEF, "
        "qvx_coltype(p.type, 6, 1) AS SQL_DATA_TYPE, qvx_coltype(p.type, 7, 1) AS SQL_DATETIME_SUB, "
        "qvx_coltype(p.type, 8, 1) AS CHAR_OCTET_LENGTH, p.cid + 1 AS ORDINAL_POSITION, "
        "CASE p.\"notnull\" WHEN 0 THEN 'YES' ELSE 'NO' END AS IS_NULLABLE "
        "FROM sqlite_master AS m JOIN pragma_table_info(m.name) AS p "
        "WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\' AND m.name <> 'DriverUsers' "
        "AND m.name LIKE ?1 ESCAPE '\\' AND p.name LIKE ?2 ESCAPE '\\' AND 'MYOB' LIKE ?3 ESCAPE '\\' "
        "ORDER BY m.name, p.cid";
    std::string schemaPat = Pattern(schema, schLen);
    SQLRETURN rc = RunCatalog(*s, sql, {Pattern(table, tabLen), Pattern(column, colLen), schemaPat.empty() ? "%" : schemaPat});
    if (SQL_SUCCEEDED(rc)) {
      static constexpr ColKind kinds[] = {ColKind::Text,     ColKind::Text,     ColKind::Text,     ColKind::Text,
                                          ColKind::SmallInt, ColKind::Text,     ColKind::Integer,  ColKind::Integer,
                                          ColKind::SmallInt, ColKind::SmallInt, ColKind::SmallInt, ColKind::Text,
                                          ColKind::Text,     ColKind::SmallInt, ColKind::SmallInt, ColKind::Integer,
                                          ColKind::Integer,  ColKind::Text};
      for (size_t i = 0; i < s->columns.size() && i < std::size(kinds); ++i) {
        s->columns[i].kind = kinds[i];
        s->columns[i].size = kinds[i] == ColKind::Text ? 128 : (kinds[i] == ColKind::SmallInt ? 5 : 10);
      }
    }
    return rc;
  } catch (...) {
    return s->AddDiag("HY001", "Memory allocation error");
  }
}

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec, SQLCHAR* state,
                                SQLINTEGER* native, SQLCHAR* msg, SQLSMALLINT msgMax, SQLSMALLINT* msgLen) {
  HandleBase* h = AnyHandle(type, handle);
  if (!h) return SQL_INVALID_HANDLE;
  if (rec < 1) return SQL_ERROR;
  if (static_cast<size_t>(rec) > h->diags.size()) return SQL_NO_DATA;
  const DiagRecord& d = h->diags[static_cast<size_t>(rec - 1)];
  if (state) {
    std::memcpy(state, d.sqlState.c_str(), 5);
    state[5] = '\0';
  }
  if (native) *native = d.native;
  std::string text = "[QVX][Company file driver]" + d.message;
  if (msgLen) *msgLen = static_cast<SQLSMALLINT>(std::min<size_t>(text.size(), 32767));
  if (msg && msgMax > 0) {
    size_t n = std::min(text.size(), static_cast<size_t>(msgMax) - 1);
    std::memcpy(msg, text.data(), n);
    msg[n] = '\0';
    if (n < text.size()) return SQL_SUCCESS_WITH_INFO;
  }
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec, SQLSMALLINT field,
                                  SQLPOINTER info, SQLSMALLINT bufLen, SQLSMALLINT* len) {
  HandleBase* h = AnyHandle(type, handle);
  if (!h) return SQL_INVALID_HANDLE;
  if (rec == 0) {
    switch (field) {
      case SQL_DIAG_NUMBER: {
        auto n = static_cast<SQLINTEGER>(h->diags.size());
        if (info) std::memcpy(info, &n, sizeof n);
        return SQL_SUCCESS;
      }
      case SQL_DIAG_RETURNCODE: return SQL_SUCCESS;
      case SQL_DIAG_ROW_COUNT: {
        SQLLEN n = 0;
        if (Statement* s = Stmt(handle)) n = s->rowCount;
        if (info) std::memcpy(info, &n, sizeof n);
        return SQL_SUCCESS;
      }
      case SQL_DIAG_CURSOR_ROW_COUNT: {
        SQLLEN n = -1;
        if (info) std::memcpy(info, &n, sizeof n);
        return SQL_SUCCESS;
      }
      case SQL_DIAG_DYNAMIC_FUNCTION: return CopyOut(*h, "SELECT CURSOR", info, bufLen, len);
      case SQL_DIAG_DYNAMIC_FUNCTION_CODE: {
        SQLINTEGER n = SQL_DIAG_SELECT_CURSOR;
        if (info) std::memcpy(info, &n, sizeof n);
        return SQL_SUCCESS;
      }
      default: return SQL_ERROR;
    }
  }
  if (rec < 1 || static_cast<size_t>(rec) > h->diags.size()) return SQL_NO_DATA;
  const DiagRecord& d = h->diags[static_cast<size_t>(rec - 1)];
  switch (field) {
    case SQL_DIAG_SQLSTATE: return CopyOut(*h, d.sqlState, info, bufLen, len);
    case SQL_DIAG_MESSAGE_TEXT: return CopyOut(*h, "[QVX][Company file driver]" + d.message, info, bufLen, len);
    case SQL_DIAG_NATIVE: {
      if (info) std::memcpy(info, &d.native, sizeof d.native);
      return SQL_SUCCESS;
    }
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
      return CopyOut(*h, d.sqlState.rfind("IM", 0) == 0 ? "ODBC 3.0" : "ISO 9075", info, bufLen, len);
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME:
      return CopyOut(*h, "", info, bufLen, len);
    case SQL_DIAG_COLUMN_NUMBER: {
      SQLINTEGER n = SQL_COLUMN_NUMBER_UNKNOWN;
      if (info) std::memcpy(info, &n, sizeof n);
      return SQL_SUCCESS;
    }
    case SQL_DIAG_ROW_NUMBER: {
      SQLLEN n = SQL_ROW_NUMBER_UNKNOWN;
      if (info) std::memcpy(info, &n, sizeof n);
      return SQL_SUCCESS;
    }
    default: return SQL_ERROR;
  }
}

}  // extern "C"
