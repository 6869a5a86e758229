// Catalog functions and diagnostics of the company-file driver: SQLTables and SQLColumns
// as queries of the driver's own over SQLite's schema (the driver's user list hidden),
// SQLite's failures turned into SQLSTATEs and messages that say what happened, and the
// diagnostic records handed to the client.
#include "driver/Driver.h"

namespace qvx::driver {

namespace {

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

// The prefix every message of the driver carries.
constexpr char kMessagePrefix[] = "[QVX][Company file driver]";

}  // namespace

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

bool HeldByAnotherProgram(int rc) {
  return rc == SQLITE_READONLY_ROLLBACK || rc == SQLITE_READONLY_RECOVERY || (rc & 0xFF) == SQLITE_BUSY ||
         (rc & 0xFF) == SQLITE_LOCKED;
}

SQLRETURN AddHeldFileDiag(HandleBase& h, const std::string& database, int rc, const std::string& msg) {
  if (rc == SQLITE_READONLY_ROLLBACK || rc == SQLITE_READONLY_RECOVERY)
    return h.AddDiag("HY000", "The company file \"" + database +
                                  "\" holds a change that another program did not finish; open it in the "
                                  "accounting program first (" + msg + ")");
  return h.AddDiag("HYT00", "The company file \"" + database +
                                "\" is locked by another program that is writing it; try again when it has "
                                "finished (" + msg + ")");
}

SQLRETURN SqliteFailure(Statement& s, int rc) {
  Connection& c = *s.conn;
  std::string msg = sqlite3_errmsg(c.db.get());
  int primary = rc & 0xFF;
  // A file that another program truncated, replaced or removed makes SQLite fail in many
  // ways (damaged pages, short reads, tables gone); say what happened instead.
  const bool lockHeld = sqlite3_txn_state(c.db.get(), "main") == SQLITE_TXN_READ;
  if (SQLRETURN changed = CheckCompanyFile(s, lockHeld); changed != SQL_SUCCESS) return changed;
  if (c.refusedUsers) return s.AddAccessDiag("42000", "Access to the table DriverUsers is not allowed");
  if (rc == SQLITE_READONLY_ROLLBACK || rc == SQLITE_READONLY_RECOVERY) return AddHeldFileDiag(s, c.database, rc, msg);
  if (c.refusedWrite || primary == SQLITE_READONLY || primary == SQLITE_AUTH)
    return s.AddAccessDiag("42000", "The company file is open read-only: only queries (SELECT) are allowed (" + msg + ")");
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) return AddHeldFileDiag(s, c.database, rc, msg);
  if (primary == SQLITE_INTERRUPT) {
    if (s.cancel.load()) return s.AddDiag("HY008", "Operation canceled");
    if (s.budget.spent) return s.AddDiag("HYT00", "The company file \"" + c.database + "\" " + versioncheck::kReadingStopped);
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

SQLRETURN Tables(Statement& s, const CatalogArgs& a) {
  std::string schemaPat = Pattern(a.schema, a.schemaLen);
  std::string typeList = UpperAscii(a.types ? TextArg(a.types, a.typesLen) : std::string_view("TABLE"));
  bool wantTables = typeList.empty() || typeList.find("TABLE") != std::string::npos || typeList == "%";
  std::string sql =
      "SELECT CAST(NULL AS VARCHAR(128)) AS TABLE_CAT, 'MYOB' AS TABLE_SCHEM, name AS TABLE_NAME, "
      "'TABLE' AS TABLE_TYPE, CAST(NULL AS VARCHAR(254)) AS REMARKS FROM sqlite_master "
      "WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' AND name <> 'DriverUsers' "
      "AND name LIKE ?1 ESCAPE '\\' AND 'MYOB' LIKE ?2 ESCAPE '\\' AND ?3 ORDER BY name";
  SQLRETURN rc =
      RunCatalog(s, sql, {Pattern(a.table, a.tableLen), schemaPat.empty() ? "%" : schemaPat, wantTables ? "1" : "0"});
  if (SQL_SUCCEEDED(rc)) {
    for (auto& c : s.columns) {
      c.kind = ColKind::Text;
      c.size = 128;
    }
  }
  return rc;
}

SQLRETURN Columns(Statement& s, const CatalogArgs& a) {
  std::string odbc3 = s.conn->env->odbcVersion != SQL_OV_ODBC2 ? "1" : "0";
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
  std::string schemaPat = Pattern(a.schema, a.schemaLen);
  SQLRETURN rc = RunCatalog(
      s, sql, {Pattern(a.table, a.tableLen), Pattern(a.column, a.columnLen), schemaPat.empty() ? "%" : schemaPat});
  if (SQL_SUCCEEDED(rc)) {
    static constexpr ColKind kinds[] = {ColKind::Text,     ColKind::Text,     ColKind::Text,     ColKind::Text,
                                        ColKind::SmallInt, ColKind::Text,     ColKind::Integer,  ColKind::Integer,
                                        ColKind::SmallInt, ColKind::SmallInt, ColKind::SmallInt, ColKind::Text,
                                        ColKind::Text,     ColKind::SmallInt, ColKind::SmallInt, ColKind::Integer,
                                        ColKind::Integer,  ColKind::Text};
    for (size_t i = 0; i < s.columns.size() && i < std::size(kinds); ++i) {
      s.columns[i].kind = kinds[i];
      s.columns[i].size = kinds[i] == ColKind::Text ? 128 : (kinds[i] == ColKind::SmallInt ? 5 : 10);
    }
  }
  return rc;
}

SQLRETURN DiagRec(const HandleBase& h, SQLSMALLINT rec, const DiagRecOut& out) {
  if (rec < 1) return SQL_ERROR;
  if (static_cast<size_t>(rec) > h.diags.size()) return SQL_NO_DATA;
  const DiagRecord& d = h.diags[static_cast<size_t>(rec - 1)];
  if (out.state) {
    std::memcpy(out.state, d.sqlState.c_str(), 5);
    out.state[5] = '\0';
  }
  if (out.native) *out.native = d.native;
  std::string text = kMessagePrefix + d.message;
  if (out.messageLen) *out.messageLen = static_cast<SQLSMALLINT>(std::min<size_t>(text.size(), 32767));
  if (out.message && out.messageMax > 0) {
    size_t n = std::min(text.size(), static_cast<size_t>(out.messageMax) - 1);
    std::memcpy(out.message, text.data(), n);
    out.message[n] = '\0';
    if (n < text.size()) return SQL_SUCCESS_WITH_INFO;
  }
  return SQL_SUCCESS;
}

SQLRETURN DiagField(HandleBase& h, const Statement* s, SQLSMALLINT rec, SQLSMALLINT field, const InfoOut& out) {
  SQLPOINTER info = out.value;
  if (rec == 0) {
    switch (field) {
      case SQL_DIAG_NUMBER: {
        auto n = static_cast<SQLINTEGER>(h.diags.size());
        if (info) std::memcpy(info, &n, sizeof n);
        return SQL_SUCCESS;
      }
      case SQL_DIAG_RETURNCODE: return SQL_SUCCESS;
      case SQL_DIAG_ROW_COUNT: {
        SQLLEN n = 0;
        if (s) n = s->rowCount;
        if (info) std::memcpy(info, &n, sizeof n);
        return SQL_SUCCESS;
      }
      case SQL_DIAG_CURSOR_ROW_COUNT: {
        SQLLEN n = -1;
        if (info) std::memcpy(info, &n, sizeof n);
        return SQL_SUCCESS;
      }
      case SQL_DIAG_DYNAMIC_FUNCTION: return CopyOut(h, "SELECT CURSOR", info, out.bufLen, out.len);
      case SQL_DIAG_DYNAMIC_FUNCTION_CODE: {
        SQLINTEGER n = SQL_DIAG_SELECT_CURSOR;
        if (info) std::memcpy(info, &n, sizeof n);
        return SQL_SUCCESS;
      }
      default: return SQL_ERROR;
    }
  }
  if (rec < 1 || static_cast<size_t>(rec) > h.diags.size()) return SQL_NO_DATA;
  const DiagRecord& d = h.diags[static_cast<size_t>(rec - 1)];
  switch (field) {
    case SQL_DIAG_SQLSTATE: return CopyOut(h, d.sqlState, info, out.bufLen, out.len);
    case SQL_DIAG_MESSAGE_TEXT: return CopyOut(h, kMessagePrefix + d.message, info, out.bufLen, out.len);
    case SQL_DIAG_NATIVE: {
      if (info) std::memcpy(info, &d.native, sizeof d.native);
      return SQL_SUCCESS;
    }
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
      return CopyOut(h, d.sqlState.rfind("IM", 0) == 0 ? "ODBC 3.0" : "ISO 9075", info, out.bufLen, out.len);
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME:
      return CopyOut(h, "", info, out.bufLen, out.len);
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

}  // namespace qvx::driver
