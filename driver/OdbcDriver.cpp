// The company-file ODBC driver: the entry points unixODBC calls, a thin layer that looks
// up the handle, clears its diagnostics and hands over to the driver's parts (driver/Driver.h).
//
// A company file is a SQLite database. It is always opened read-only, without a memory
// map: the accounting program may write, truncate or replace the file while it is open,
// and SQLite's own locking then sees the other writer, where a mapped page that a
// truncation pulled away would kill the program. Consecutive statements read inside one
// short read lease (driver/ReadLease.cpp); once per lease the driver checks that the path
// still names the file it opened and, when SQLite reports that another program changed
// it, that it still holds the same company. An authorizer refuses every statement that is
// not a query and hides the driver's own user list. Statements run one at a time per
// connection; prepared statements are kept per connection and reused for the same text.
#include "driver/Driver.h"

using namespace qvx::driver;

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  return AllocHandle(type, input, output);
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) { return FreeHandle(type, handle); }

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
  return SetConnectAttr(*c, attr, value);
}

SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC hdbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER bufLen,
                                    SQLINTEGER* len) {
  Connection* c = Dbc(hdbc);
  if (!c) return SQL_INVALID_HANDLE;
  c->ClearDiag();
  return GetConnectAttr(*c, attr, value, bufLen, len);
}

SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT hstmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  return SetStmtAttr(*s, attr, value);
}

SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT hstmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER, SQLINTEGER* len) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  return GetStmtAttr(*s, attr, value, len);
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
  return GetInfo(*c, info, InfoOut{value, bufLen, len});
}

SQLRETURN SQL_API SQLGetFunctions(SQLHDBC hdbc, SQLUSMALLINT id, SQLUSMALLINT* supported) {
  Connection* c = Dbc(hdbc);
  if (!c) return SQL_INVALID_HANDLE;
  c->ClearDiag();
  return GetFunctions(*c, id, supported);
}

SQLRETURN SQL_API SQLPrepare(SQLHSTMT hstmt, SQLCHAR* text, SQLINTEGER len) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  ConnectionCall call(s->conn->lease.mutex);
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
  ConnectionCall call(s->conn->lease.mutex);
  return Execute(*s);
}

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT hstmt, SQLCHAR* text, SQLINTEGER len) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  ConnectionCall call(s->conn->lease.mutex);
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
  return ColumnAttribute(*s, col, field, InfoOut{charAttr, bufLen, strLen}, numAttr);
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
  ConnectionCall call(s->conn->lease.mutex);
  return Fetch(*s);
}

SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT hstmt, SQLSMALLINT orientation, SQLLEN) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  ConnectionCall call(s->conn->lease.mutex);
  if (orientation != SQL_FETCH_NEXT) return s->AddDiag("HY106", "Fetch type out of range: the cursor is forward-only");
  return Fetch(*s);
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT hstmt, SQLUSMALLINT col, SQLSMALLINT ctype, SQLPOINTER target, SQLLEN bufLen,
                             SQLLEN* ind) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  ConnectionCall call(s->conn->lease.mutex);
  return GetData(*s, col, Target{ctype, target, bufLen, ind, nullptr});
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
  ConnectionCall call(s->conn->lease.mutex);
  CloseCursor(*s);
  return SQL_NO_DATA;
}

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT hstmt, SQLUSMALLINT option) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  switch (option) {
    case SQL_CLOSE: {
      ConnectionCall call(s->conn->lease.mutex);
      CloseCursor(*s);
      return SQL_SUCCESS;
    }
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
  ConnectionCall call(s->conn->lease.mutex);
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

SQLRETURN SQL_API SQLTables(SQLHSTMT hstmt, SQLCHAR*, SQLSMALLINT, SQLCHAR* schema, SQLSMALLINT schLen,
                            SQLCHAR* table, SQLSMALLINT tabLen, SQLCHAR* types, SQLSMALLINT typLen) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  ConnectionCall call(s->conn->lease.mutex);
  try {
    return Tables(*s, CatalogArgs{schema, schLen, table, tabLen, nullptr, 0, types, typLen});
  } catch (...) {
    return s->AddDiag("HY001", "Memory allocation error");
  }
}

SQLRETURN SQL_API SQLColumns(SQLHSTMT hstmt, SQLCHAR*, SQLSMALLINT, SQLCHAR* schema, SQLSMALLINT schLen,
                             SQLCHAR* table, SQLSMALLINT tabLen, SQLCHAR* column, SQLSMALLINT colLen) {
  Statement* s = Stmt(hstmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->ClearDiag();
  ConnectionCall call(s->conn->lease.mutex);
  try {
    return Columns(*s, CatalogArgs{schema, schLen, table, tabLen, column, colLen, nullptr, 0});
  } catch (...) {
    return s->AddDiag("HY001", "Memory allocation error");
  }
}

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec, SQLCHAR* state,
                                SQLINTEGER* native, SQLCHAR* msg, SQLSMALLINT msgMax, SQLSMALLINT* msgLen) {
  HandleBase* h = AnyHandle(type, handle);
  if (!h) return SQL_INVALID_HANDLE;
  return DiagRec(*h, rec, DiagRecOut{state, native, msg, msgMax, msgLen});
}

SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec, SQLSMALLINT field,
                                  SQLPOINTER info, SQLSMALLINT bufLen, SQLSMALLINT* len) {
  HandleBase* h = AnyHandle(type, handle);
  if (!h) return SQL_INVALID_HANDLE;
  return DiagField(*h, Stmt(handle), rec, field, InfoOut{info, bufLen, len});
}

}  // extern "C"
