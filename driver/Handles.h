// Handles of the company-file ODBC driver: environment, connection, statement, and the
// diagnostics each carries. The driver manager holds plain pointers to them; ownership
// stays with the driver (the environment registry owns environments, an environment its
// connections, a connection its statements).
#pragma once

#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include "driver/AccessKey.h"
#include "platform/versioncheck/Safeguards.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace qvx::driver {

struct DiagRecord {
  std::string sqlState;
  SQLINTEGER native = 0;
  std::string message;
};

enum class HandleKind : uint32_t { Env = 0x51564531, Dbc = 0x51564432, Stmt = 0x51565333 };

struct HandleBase {
  explicit HandleBase(HandleKind k) : kind(k) {}
  HandleKind kind;
  std::vector<DiagRecord> diags;
  void ClearDiag() { diags.clear(); }
  SQLRETURN AddDiag(const char* state, std::string message, SQLRETURN rc = SQL_ERROR) {
    diags.push_back({state, 0, std::move(message)});
    return rc;
  }
  // A refusal of access carries SQLite's authorisation code as its native error, so that
  // a client can tell it from a syntax error of the same SQLSTATE.
  SQLRETURN AddAccessDiag(const char* state, std::string message) {
    diags.push_back({state, kNativeAccessDenied, std::move(message)});
    return SQL_ERROR;
  }
  static constexpr SQLINTEGER kNativeAccessDenied = 23;
};

struct SqliteStmtCloser {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using SqliteStmtPtr = std::unique_ptr<sqlite3_stmt, SqliteStmtCloser>;

struct SqliteDbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using SqliteDbPtr = std::unique_ptr<sqlite3, SqliteDbCloser>;

// How a result column is described to the client and converted.
enum class ColKind { Integer, SmallInt, BigInt, Decimal, Date, Double, Text };

struct ColumnInfo {
  std::string name;
  ColKind kind = ColKind::Text;
  SQLULEN size = 255;       // characters of a text, precision of a number
  SQLSMALLINT scale = 0;    // decimals of a DECIMAL
  bool fromTable = false;   // the column names a table column (declared type known)
};

struct BoundColumn {
  SQLSMALLINT targetType = 0;
  SQLPOINTER target = nullptr;
  SQLLEN bufferLength = 0;
  SQLLEN* indicator = nullptr;
};

// A prepared statement kept by a connection for reuse, with its column descriptions.
struct CachedStatement {
  SqliteStmtPtr stmt;
  std::vector<ColumnInfo> columns;
};

struct Connection;

struct Statement : HandleBase {
  explicit Statement(Connection* c) : HandleBase(HandleKind::Stmt), conn(c) {}
  Connection* conn;
  SqliteStmtPtr stmt;          // prepared statement, or null
  std::string cacheKey;        // text it was prepared from (for the connection's cache)
  std::vector<ColumnInfo> columns;
  bool expressionColumns = false;  // some column's type is only known from its first row
  std::vector<BoundColumn> bound;
  bool prepared = false;
  bool executed = false;       // a cursor is open
  bool pendingRow = false;     // the first row was stepped at execute and not yet fetched
  bool onRow = false;          // a row is current (after a successful fetch)
  bool finished = false;       // the cursor has passed its last row
  SQLLEN rowCount = -1;
  // SQLGetData state of the current row: the column last read and how far.
  SQLUSMALLINT getDataColumn = 0;
  SQLLEN getDataOffset = 0;
  bool getDataDone = false;
  SQLULEN queryTimeout = 0;
  SQLULEN maxRows = 0;
  SQLULEN rowsFetched = 0;
  SQLULEN rowArraySize = 1;    // rows per fetch into column-wise bound arrays
  SQLULEN* rowsFetchedPtr = nullptr;
  SQLUSMALLINT* rowStatusPtr = nullptr;
  std::atomic<bool> cancel{false};
  // The work left to the statement's execution and fetches.
  versioncheck::ReadBudget budget;
};

// What the connections of this process that read one file share about their leases
// (driver/ReadLease.cpp).
struct FileLeases;

// The read lease of a connection (driver/ReadLease.cpp): one SQLite read transaction held
// across consecutive statements for a short while, ended by the next statement or by a
// timer of its own once its time is up or the connection has gone idle.
struct ReadLease {
  ReadLease() = default;
  ReadLease(const ReadLease&) = delete;
  ReadLease& operator=(const ReadLease&) = delete;
  ~ReadLease();  // stops the timer
  // Held by every client call that uses the connection's SQLite handle, and by the timer
  // while it ends a lease.
  std::mutex mutex;
  std::condition_variable wake;
  std::thread timer;
  bool stop = false;
  bool active = false;   // the driver began a read transaction and has not ended it
  bool checked = false;  // the file checks of this lease have passed
  int64_t lastStatementNs = 0;
  // The file's leases in this process, and whether this one counts among their holders.
  std::shared_ptr<FileLeases> file;
  bool holding = false;
  // The thread of the connection's last statement, and the one whose open cursor keeps it
  // among the holders past its lease (none while it is not kept).
  std::thread::id reader;
  std::thread::id keeper;
};

struct Environment;

struct Connection : HandleBase {
  explicit Connection(Environment* e) : HandleBase(HandleKind::Dbc), env(e) {}
  Environment* env;
  SqliteDbPtr db;
  std::string database;
  std::string dsn;
  std::string user;
  std::vector<std::unique_ptr<Statement>> statements;
  // Prepared statements kept for reuse, by the SQL text they came from.
  std::unordered_multimap<std::string, CachedStatement> cache;
  // Set while the driver reads its own user list (otherwise refused to queries).
  bool readingUsers = false;
  // Set when the authorizer refused a change, to explain the failure.
  bool refusedWrite = false;
  bool refusedUsers = false;
  // Deadline of the statement being run (0: none), checked by the progress handler.
  int64_t deadlineNs = 0;
  // The work each statement may do, in the progress handler's looks (ReadBudget).
  int64_t looksPerStatement = 0;
  Statement* running = nullptr;
  SQLUINTEGER loginTimeout = 0;
  // Asked during a wait for another program's lock (kStopWaitingAttribute); null: never.
  StopWaiting stopWaiting = nullptr;
  // When the current wait for such a lock began.
  int64_t lockWaitStartNs = 0;
  // What the file was when it was opened, to notice it being replaced, removed or given
  // another company's books while it is open (the accounting program writes its files
  // while reports run).
  uint64_t fileDevice = 0;
  uint64_t fileInode = 0;
  std::string companyIdentity;
  unsigned dataVersion = 0;
  int64_t fileSize = 0;
  int64_t fileModifiedNs = 0;
  bool writeAheadLog = false;  // the file is in write-ahead-log mode
  // Set while the driver begins or ends its own read transaction (otherwise refused).
  bool leaseStatement = false;
  // Declared after `db`, so that its timer has stopped before the database is closed.
  ReadLease lease;
};

struct Environment : HandleBase {
  Environment() : HandleBase(HandleKind::Env) {}
  SQLINTEGER odbcVersion = SQL_OV_ODBC3;
  std::vector<std::unique_ptr<Connection>> connections;
};

}  // namespace qvx::driver
