// Statements of the company-file driver: preparing (from the connection's cache of
// prepared statements where the text was seen before), executing, stepping the cursor,
// converting the current row into column-wise bound arrays (block fetch), SQLGetData,
// statement attributes and column descriptions. Statements run one at a time per
// connection.
#include "driver/Driver.h"

namespace qvx::driver {

namespace {

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

SQLUSMALLINT RowStatusOf(SQLRETURN rc) {
  return rc == SQL_SUCCESS ? SQL_ROW_SUCCESS : (rc == SQL_ERROR ? SQL_ROW_ERROR : SQL_ROW_SUCCESS_WITH_INFO);
}

}  // namespace

// Gives the statement's prepared SQLite statement back to the connection's cache.
void ReleasePrepared(Statement& s) {
  if (!s.stmt) return;
  sqlite3_reset(s.stmt.get());
  CursorClosed(*s.conn);
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
  if (s.stmt) {
    sqlite3_reset(s.stmt.get());
    CursorClosed(*s.conn);
  }
  s.executed = false;
  s.pendingRow = false;
  s.onRow = false;
  s.finished = false;
  s.rowsFetched = 0;
  s.getDataColumn = 0;
  s.getDataOffset = 0;
  s.getDataDone = false;
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
  // A client's own timeout bounds the statement's time in place of the driver's bound of
  // its work; its temporary data stays bounded either way.
  s.budget = {s.queryTimeout != 0 ? INT64_MAX : c.looksPerStatement, false};
  c.refusedWrite = false;
  c.refusedUsers = false;
  EnterLease(c);
  c.running = &s;
  c.deadlineNs = s.queryTimeout ? NowNs() + static_cast<int64_t>(s.queryTimeout) * 1000000000LL : 0;
  int rc = sqlite3_step(s.stmt.get());
  if (rc == SQLITE_ROW || rc == SQLITE_DONE) {
    // The read has begun: had another program changed the file since the last lease,
    // SQLite has noticed it now. Make sure it is still the same company's file. That look
    // reads the changed file, within the statement's bounds like the rest of its reading.
    if (SQLRETURN changed = CheckLease(s); changed != SQL_SUCCESS) {
      c.running = nullptr;
      sqlite3_reset(s.stmt.get());
      return changed;
    }
  }
  c.running = nullptr;
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
  std::vector<BoundTarget> targets = BoundTargets(s);
  while (got < size) {
    SQLRETURN step = StepRow(s);
    if (step == SQL_NO_DATA) break;
    if (step != SQL_SUCCESS) {
      s.onRow = false;
      if (s.rowsFetchedPtr) *s.rowsFetchedPtr = 0;
      return step;
    }
    SQLRETURN rc = ConvertBound(s, targets, got);
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

SQLRETURN SetStmtAttr(Statement& s, SQLINTEGER attr, SQLPOINTER value) {
  auto num = static_cast<SQLULEN>(reinterpret_cast<uintptr_t>(value));
  switch (attr) {
    case SQL_ATTR_QUERY_TIMEOUT: s.queryTimeout = num; return SQL_SUCCESS;
    case SQL_ATTR_MAX_ROWS: s.maxRows = num; return SQL_SUCCESS;
    case SQL_ATTR_ROWS_FETCHED_PTR: s.rowsFetchedPtr = static_cast<SQLULEN*>(value); return SQL_SUCCESS;
    case SQL_ATTR_ROW_STATUS_PTR: s.rowStatusPtr = static_cast<SQLUSMALLINT*>(value); return SQL_SUCCESS;
    case SQL_ATTR_ROW_ARRAY_SIZE:
      if (num == 0) return s.AddDiag("HY024", "Invalid attribute value: the row-array size must be at least 1");
      s.rowArraySize = num;
      return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_TYPE:
      if (num != SQL_CURSOR_FORWARD_ONLY)
        return s.AddDiag("01S02", "Option value changed: the cursor is forward-only", SQL_SUCCESS_WITH_INFO);
      return SQL_SUCCESS;
    case SQL_ATTR_CONCURRENCY:
      if (num != SQL_CONCUR_READ_ONLY)
        return s.AddDiag("01S02", "Option value changed: the cursor is read-only", SQL_SUCCESS_WITH_INFO);
      return SQL_SUCCESS;
    case SQL_ATTR_ROW_BIND_TYPE:
      if (num != SQL_BIND_BY_COLUMN) return s.AddDiag("HYC00", "Optional feature not implemented: row-wise binding");
      return SQL_SUCCESS;
    default: return SQL_SUCCESS;
  }
}

SQLRETURN GetStmtAttr(Statement& s, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER* len) {
  SQLULEN v = 0;
  switch (attr) {
    case SQL_ATTR_APP_ROW_DESC:
    case SQL_ATTR_APP_PARAM_DESC:
    case SQL_ATTR_IMP_ROW_DESC:
    case SQL_ATTR_IMP_PARAM_DESC: {
      // No descriptor functions are offered; the statement stands in as the handle.
      SQLPOINTER p = &s;
      if (value) std::memcpy(value, &p, sizeof p);
      if (len) *len = sizeof p;
      return SQL_SUCCESS;
    }
    case SQL_ATTR_QUERY_TIMEOUT: v = s.queryTimeout; break;
    case SQL_ATTR_MAX_ROWS: v = s.maxRows; break;
    case SQL_ATTR_ROW_ARRAY_SIZE: v = s.rowArraySize; break;
    case SQL_ATTR_CURSOR_TYPE: v = SQL_CURSOR_FORWARD_ONLY; break;
    case SQL_ATTR_CONCURRENCY: v = SQL_CONCUR_READ_ONLY; break;
    case SQL_ATTR_ROW_NUMBER: v = s.onRow ? s.rowsFetched : 0; break;
    case SQL_ATTR_ROW_BIND_TYPE: v = SQL_BIND_BY_COLUMN; break;
    case SQL_ATTR_CURSOR_SCROLLABLE: v = SQL_NONSCROLLABLE; break;
    case SQL_ATTR_CURSOR_SENSITIVITY: v = SQL_INSENSITIVE; break;
    case SQL_ATTR_ROWS_FETCHED_PTR: {
      SQLPOINTER p = s.rowsFetchedPtr;
      if (value) std::memcpy(value, &p, sizeof p);
      return SQL_SUCCESS;
    }
    case SQL_ATTR_ROW_STATUS_PTR: {
      SQLPOINTER p = s.rowStatusPtr;
      if (value) std::memcpy(value, &p, sizeof p);
      return SQL_SUCCESS;
    }
    default: break;
  }
  if (value) std::memcpy(value, &v, sizeof v);
  if (len) *len = sizeof v;
  return SQL_SUCCESS;
}

SQLRETURN ColumnAttribute(Statement& s, SQLUSMALLINT col, SQLUSMALLINT field, const InfoOut& text, SQLLEN* number) {
  if (!s.prepared) return s.AddDiag("HY010", "Function sequence error: no statement prepared");
  if (field == SQL_DESC_COUNT || field == SQL_COLUMN_COUNT) {
    if (number) *number = static_cast<SQLLEN>(s.columns.size());
    return SQL_SUCCESS;
  }
  if (col < 1 || col > s.columns.size()) return s.AddDiag("07009", "Invalid descriptor index " + std::to_string(col));
  const ColumnInfo& info = s.columns[col - 1];
  bool odbc3 = s.conn->env->odbcVersion != SQL_OV_ODBC2;
  SQLLEN n = 0;
  switch (field) {
    case SQL_DESC_NAME:
    case SQL_COLUMN_NAME:
    case SQL_DESC_LABEL:
    case SQL_DESC_BASE_COLUMN_NAME:
      return CopyOut(s, info.name, text.value, text.bufLen, text.len);
    case SQL_DESC_TABLE_NAME:
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_CATALOG_NAME:
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX:
    case SQL_DESC_LOCAL_TYPE_NAME:
      return CopyOut(s, "", text.value, text.bufLen, text.len);
    case SQL_DESC_SCHEMA_NAME:
      return CopyOut(s, info.fromTable ? "MYOB" : "", text.value, text.bufLen, text.len);
    case SQL_DESC_TYPE_NAME:
      return CopyOut(s, TypeNameOf(info), text.value, text.bufLen, text.len);
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
      return s.AddDiag("HY091", "Invalid descriptor field identifier " + std::to_string(field));
  }
  if (number) *number = n;
  return SQL_SUCCESS;
}

SQLRETURN GetData(Statement& s, SQLUSMALLINT col, Target t) {
  if (!s.executed || !s.onRow) return s.AddDiag("24000", "Invalid cursor state: no current row");
  // Only the last row of a rowset is still at hand in the cursor.
  if (s.rowArraySize > 1)
    return s.AddDiag("HYC00", "Optional feature not implemented: SQLGetData in a rowset of several rows");
  if (col < 1 || col > s.columns.size()) return s.AddDiag("07009", "Invalid descriptor index " + std::to_string(col));
  if (col != s.getDataColumn) {
    s.getDataColumn = col;
    s.getDataOffset = 0;
    s.getDataDone = false;
  }
  if (s.getDataDone) return SQL_NO_DATA;
  bool chunked = t.cType == SQL_C_CHAR || t.cType == SQL_C_WCHAR || t.cType == SQL_C_BINARY ||
                 (t.cType == SQL_C_DEFAULT && (s.columns[col - 1].kind == ColKind::Text ||
                                             s.columns[col - 1].kind == ColKind::Decimal));
  t.offset = chunked ? &s.getDataOffset : nullptr;
  SQLRETURN rc = ConvertColumn(s, col - 1, t);
  bool truncated = rc == SQL_SUCCESS_WITH_INFO && !s.diags.empty() && s.diags.back().sqlState == "01004";
  if (rc != SQL_ERROR && !truncated) s.getDataDone = true;
  return rc;
}

}  // namespace qvx::driver
