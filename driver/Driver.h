// The company-file driver's own parts, shared by its files. The entry points
// (OdbcDriver.cpp) are a thin layer over them:
//
//   Environment.cpp  environment and connection handles, connecting, attributes, SQLGetInfo
//   Statements.cpp   preparing, executing, binding, block fetch, column descriptions
//   Catalog.cpp      catalog functions and diagnostics
//   ReadLease.cpp    the read lease, and that the open file is still the one that was opened
//   OpenFile.cpp     the company file opened by SQLite without waiting
#pragma once

#include "driver/Dialect.h"
#include "driver/Handles.h"
#include "driver/Values.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace qvx::driver {

inline constexpr size_t kStatementCacheLimit = 256;
inline constexpr int kMaxSqlLength = 4 * 1024 * 1024;

template <typename T>
T* Cast(SQLHANDLE h, HandleKind kind) {
  if (h == nullptr) return nullptr;
  auto* base = static_cast<HandleBase*>(h);
  if (base->kind != kind) return nullptr;
  return static_cast<T*>(base);
}

inline Environment* Env(SQLHANDLE h) { return Cast<Environment>(h, HandleKind::Env); }
inline Connection* Dbc(SQLHANDLE h) { return Cast<Connection>(h, HandleKind::Dbc); }
inline Statement* Stmt(SQLHANDLE h) { return Cast<Statement>(h, HandleKind::Stmt); }

inline HandleBase* AnyHandle(SQLSMALLINT type, SQLHANDLE h) {
  switch (type) {
    case SQL_HANDLE_ENV: return Env(h);
    case SQL_HANDLE_DBC: return Dbc(h);
    case SQL_HANDLE_STMT: return Stmt(h);
    default: return nullptr;
  }
}

inline std::string_view TextArg(const SQLCHAR* text, SQLINTEGER len) {
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

inline int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// A client's buffer for a string or fixed-size value (SQLGetInfo, SQLGetDiagField,
// SQLColAttribute's string).
struct InfoOut {
  SQLPOINTER value = nullptr;
  SQLSMALLINT bufLen = 0;
  SQLSMALLINT* len = nullptr;
};

// ---- Environment.cpp: handles, connecting, attributes

// The driver's one piece of process state: the environments it has handed out.
struct DriverState {
  std::mutex mutex;
  std::vector<std::unique_ptr<Environment>> environments;
};
DriverState& State();

SQLRETURN AllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output);
SQLRETURN FreeHandle(SQLSMALLINT type, SQLHANDLE handle);
SQLRETURN Connect(Connection& c, const std::vector<ConnAttribute>& attrs);
void Disconnect(Connection& c);
SQLRETURN SetConnectAttr(Connection& c, SQLINTEGER attr, SQLPOINTER value);
SQLRETURN GetConnectAttr(Connection& c, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER bufLen, SQLINTEGER* len);
SQLRETURN GetInfo(Connection& c, SQLUSMALLINT info, const InfoOut& out);
SQLRETURN GetFunctions(Connection& c, SQLUSMALLINT id, SQLUSMALLINT* supported);

// ---- OpenFile.cpp: the company file opened without waiting

struct OpenedFile {
  SqliteDbPtr db;
  int rc = SQLITE_OK;
  // SQLite opened something other than the file the driver looked at (a pipe or another
  // file put at its name since): no company file to read.
  bool otherFile = false;
};
// Opens the file of `uri` read-only with SQLite, without waiting on whatever its name names
// by then, and tells whether that was the file `checked` describes (fstat of the driver's
// own open of it).
OpenedFile OpenCheckedFile(const std::string& uri, const struct stat& checked);

// ---- Statements.cpp: statements, binding and block fetch

void ReleasePrepared(Statement& s);
void CloseCursor(Statement& s);
void DescribeColumns(Statement& s, bool haveRow);
SQLRETURN PrepareText(Statement& s, std::string_view sql);
// Runs the prepared statement up to its first row.
SQLRETURN Execute(Statement& s);
SQLRETURN Fetch(Statement& s);
SQLRETURN SetStmtAttr(Statement& s, SQLINTEGER attr, SQLPOINTER value);
SQLRETURN GetStmtAttr(Statement& s, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER* len);
SQLRETURN ColumnAttribute(Statement& s, SQLUSMALLINT col, SQLUSMALLINT field, const InfoOut& text, SQLLEN* number);
// `t.offset` is set here for the character and byte types read in pieces.
SQLRETURN GetData(Statement& s, SQLUSMALLINT col, Target t);

// ---- Catalog.cpp: catalog functions and diagnostics

// Whether a SQLite failure (extended code) means that another program keeps the company
// file from being read: its lock, or a change it did not finish (a hot journal that a
// read-only connection may not roll back).
bool HeldByAnotherProgram(int rc);
// The diagnostic for such a failure, naming the file: HYT00 for the lock, HY000 for the
// unfinished change.
SQLRETURN AddHeldFileDiag(HandleBase& h, const std::string& database, int rc, const std::string& msg);

// ODBC description of a declared type, for SQLColumns: qvx_coltype(decl, field, odbc3).
void ColTypeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv);
// The arguments of a catalog function as the client gave them (null when absent).
struct CatalogArgs {
  SQLCHAR* schema = nullptr;
  SQLSMALLINT schemaLen = 0;
  SQLCHAR* table = nullptr;
  SQLSMALLINT tableLen = 0;
  SQLCHAR* column = nullptr;  // SQLColumns
  SQLSMALLINT columnLen = 0;
  SQLCHAR* types = nullptr;   // SQLTables
  SQLSMALLINT typesLen = 0;
};
SQLRETURN Tables(Statement& s, const CatalogArgs& args);
SQLRETURN Columns(Statement& s, const CatalogArgs& args);
// Turns a failed SQLite call into the diagnostic that says what happened.
SQLRETURN SqliteFailure(Statement& s, int rc);
struct DiagRecOut {
  SQLCHAR* state = nullptr;
  SQLINTEGER* native = nullptr;
  SQLCHAR* message = nullptr;
  SQLSMALLINT messageMax = 0;
  SQLSMALLINT* messageLen = nullptr;
};
SQLRETURN DiagRec(const HandleBase& h, SQLSMALLINT rec, const DiagRecOut& out);
SQLRETURN DiagField(HandleBase& h, const Statement* s, SQLSMALLINT rec, SQLSMALLINT field, const InfoOut& out);

// ---- ReadLease.cpp: the read lease; is the open file still the company file that was opened?

// Held by a client call that uses a connection's SQLite handle: the lease's timer waits for it.
using ConnectionCall = std::lock_guard<std::mutex>;
// Before a statement runs (in a ConnectionCall): ends a lease whose time is up and begins
// one when none is held.
void EnterLease(Connection& c);
// After a cursor of the connection was closed (in a ConnectionCall): the read it kept
// past its lease may have ended.
void CursorClosed(Connection& c);
// After the statement's first step: the file checks, once per lease.
SQLRETURN CheckLease(Statement& s);
// Stops the timer and ends the lease (at disconnect; not in a ConnectionCall).
void StopLease(Connection& c);
unsigned DataVersion(sqlite3* db);
std::string CompanyIdentity(sqlite3* db);
int64_t ModifiedNs(const struct stat& st);
SQLRETURN CheckCompanyFile(Statement& s, bool lockHeld);

}  // namespace qvx::driver
