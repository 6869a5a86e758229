// Environment and connection handles of the company-file driver: allocating and freeing
// handles, connecting (the file opened read-only, without a memory map, its tables and
// user checked, an authorizer that lets only queries through), connection and environment
// attributes, and what SQLGetInfo and SQLGetFunctions report.
#include "driver/Driver.h"
#include "driver/AccessKey.h"
#include "platform/versioncheck/Safeguards.h"

#include <fcntl.h>
#include <odbcinst.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace qvx::driver {

namespace {

// How long a statement waits for another program's write lock before it gives up, and the
// longest it sleeps between two tries: its client may ask it to stop waiting (the program
// is asked to end), and is answered within that.
constexpr int kBusyTimeoutMs = 5000;
constexpr int kBusyStepMs = 50;

// The work a statement may do, in SQLite's instructions: that of reading the whole file
// dozens of times over, however small the file. No query of a company file needs more;
// one that does comes from the file itself (a view in place of a table) and would never end.
constexpr int64_t kLeastStatementInstructions = 20'000'000;
constexpr int64_t kStatementInstructionsPerByte = 50;


int Authorize(void* userData, int action, const char* a1, const char* /*a2*/, const char* /*db*/,
              const char* /*trigger*/) {
  auto* c = static_cast<Connection*>(userData);
  switch (action) {
    case SQLITE_SELECT:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
      return SQLITE_OK;
    case SQLITE_TRANSACTION:
      if (c->leaseStatement) return SQLITE_OK;
      c->refusedWrite = true;
      return SQLITE_DENY;
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
  if (s->cancel.load(std::memory_order_relaxed) || !s->budget.Look()) return 1;
  return c->deadlineNs != 0 && NowNs() > c->deadlineNs ? 1 : 0;
}

// SQLite's handler of a lock held by another program: tries again after a short sleep,
// the first few shorter still (a writer's lock is often gone within milliseconds), until
// the wait has lasted kBusyTimeoutMs or the client asks it to stop waiting.
int WaitForLock(void* userData, int tries) {
  static constexpr int kFirstSleepsMs[] = {1, 2, 5, 10, 15, 20, 25, 25, 25};
  auto* c = static_cast<Connection*>(userData);
  const int64_t now = NowNs();
  if (tries == 0) c->lockWaitStartNs = now;
  if (c->stopWaiting && c->stopWaiting() != 0) return 0;
  const int64_t leftNs = c->lockWaitStartNs + int64_t{kBusyTimeoutMs} * 1'000'000 - now;
  if (leftNs <= 0) return 0;
  const int sleepMs = tries < static_cast<int>(std::size(kFirstSleepsMs)) ? kFirstSleepsMs[tries] : kBusyStepMs;
  std::this_thread::sleep_for(std::min(std::chrono::nanoseconds(leftNs), std::chrono::nanoseconds(sleepMs * 1'000'000LL)));
  return 1;
}

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

DriverState& State() {
  static DriverState state;
  return state;
}

SQLRETURN AllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
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

SQLRETURN FreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
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
      {
        ConnectionCall call(c->lease.mutex);
        CloseCursor(*s);
        ReleasePrepared(*s);
      }
      std::erase_if(c->statements, [&](const auto& e) { return e.get() == s; });
      return SQL_SUCCESS;
    }
    default:
      return SQL_ERROR;
  }
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
  const std::string noPermission =
      "The company file \"" + database + "\" may not be read by this user (permission denied)";
  const std::string notCompanyFile = "\"" + database + "\" is not a company file";
  // The file is looked at through a hold of the driver's own on it, following a link as
  // SQLite does: a path-only open, which never waits (a pipe's open for reading waits for
  // a writer) and whose close leaves the locks SQLite's connections of this process hold
  // on the file (any other close of it would release them).
  struct stat st {};
  struct OwnOpen {
    int fd;
    ~OwnOpen() {
      if (fd >= 0) ::close(fd);
    }
  } own{::open(database.c_str(), O_PATH | O_CLOEXEC)};
  if (own.fd < 0 || ::fstat(own.fd, &st) != 0) {
    if (errno == EACCES) return c.AddDiag("08001", noPermission);
    return c.AddDiag("08001", "The company file \"" + database + "\" does not exist");
  }
  if (S_ISDIR(st.st_mode)) return c.AddDiag("08001", "\"" + database + "\" is a folder, not a company file");
  if (!S_ISREG(st.st_mode)) return c.AddDiag("08001", notCompanyFile);
  if (::access(database.c_str(), R_OK) != 0 && (errno == EACCES || errno == EPERM))
    return c.AddDiag("08001", noPermission);
  if (uid.empty()) return c.AddDiag("28000", "No user ID given (UID is empty)");

  OpenedFile opened = OpenCheckedFile(UriForPath(database), st);
  SqliteDbPtr db = std::move(opened.db);
  int rc = opened.rc;
  if (opened.otherFile) return c.AddDiag("08001", notCompanyFile);
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
  versioncheck::KeepTemporaryDataInMemory(db.get());
  // A writer holds its lock for a short while; wait for it before giving up.
  sqlite3_busy_handler(db.get(), WaitForLock, &c);
  // The checks below and what the file is taken to be are read in one read transaction, so
  // that a commit of another program in between is not later taken for a change past SQLite.
  sqlite3_exec(db.get(), "BEGIN", nullptr, nullptr, nullptr);

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
    if (rc != SQLITE_ROW && rc != SQLITE_OK) {
      // Another program's lock or unfinished change is no sign of a file of another kind.
      const int code = sqlite3_extended_errcode(db.get());
      if (HeldByAnotherProgram(code)) return AddHeldFileDiag(c, database, code, sqlite3_errmsg(db.get()));
      if (versioncheck::WalFilesOutOfReach(db.get(), code))
        return c.AddDiag("08001", "The company file \"" + database + "\" " + versioncheck::kWalUnreadable + " (" +
                                      sqlite3_errmsg(db.get()) + ")");
      return c.AddDiag("08001", "\"" + database + "\" is not a company file (" + sqlite3_errmsg(db.get()) + ")");
    }
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
  // What the file is taken to be is what SQLite reads: the driver's open of it.
  struct stat named {};
  if (::stat(database.c_str(), &named) != 0 || ::fstat(own.fd, &st) != 0)
    return c.AddDiag("08001", "The company file \"" + database + "\" does not exist");
  c.writeAheadLog = versioncheck::InWriteAheadLogMode(db.get());
  c.dataVersion = DataVersion(db.get());
  sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_set_authorizer(db.get(), Authorize, &c);
  sqlite3_progress_handler(db.get(), versioncheck::kInstructionsPerLook, Progress, &c);
  sqlite3_create_function(db.get(), "qvx_coltype", 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, ColTypeFunction,
                          nullptr, nullptr);
  c.db = std::move(db);
  c.fileDevice = static_cast<uint64_t>(st.st_dev);
  c.fileInode = static_cast<uint64_t>(st.st_ino);
  c.companyIdentity = std::move(identity);
  c.fileSize = static_cast<int64_t>(st.st_size);
  c.fileModifiedNs = ModifiedNs(st);
  c.looksPerStatement = (kLeastStatementInstructions + kStatementInstructionsPerByte * c.fileSize) /
                        versioncheck::kInstructionsPerLook;
  c.database = database;
  c.dsn = dsn;
  c.user = uid;
  return SQL_SUCCESS;
}

void Disconnect(Connection& c) {
  StopLease(c);
  for (auto& s : c.statements) {
    CloseCursor(*s);
    s->stmt.reset();
    s->prepared = false;
    s->cacheKey.clear();
  }
  c.cache.clear();
  c.db.reset();
}

SQLRETURN SetConnectAttr(Connection& c, SQLINTEGER attr, SQLPOINTER value) {
  auto num = static_cast<SQLULEN>(reinterpret_cast<uintptr_t>(value));
  switch (attr) {
    case SQL_ATTR_ACCESS_MODE:
      if (num != SQL_MODE_READ_ONLY)
        return c.AddDiag("01S02", "Option value changed: company files are always read-only", SQL_SUCCESS_WITH_INFO);
      return SQL_SUCCESS;
    case SQL_ATTR_LOGIN_TIMEOUT: c.loginTimeout = static_cast<SQLUINTEGER>(num); return SQL_SUCCESS;
    case kStopWaitingAttribute: c.stopWaiting = reinterpret_cast<StopWaiting>(value); return SQL_SUCCESS;
    default: return SQL_SUCCESS;
  }
}

SQLRETURN GetConnectAttr(Connection& c, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER bufLen, SQLINTEGER* len) {
  SQLUINTEGER v = 0;
  switch (attr) {
    case SQL_ATTR_ACCESS_MODE: v = SQL_MODE_READ_ONLY; break;
    case SQL_ATTR_AUTOCOMMIT: v = SQL_AUTOCOMMIT_ON; break;
    case SQL_ATTR_CONNECTION_DEAD: v = c.db ? SQL_CD_FALSE : SQL_CD_TRUE; break;
    case SQL_ATTR_LOGIN_TIMEOUT: v = c.loginTimeout; break;
    case SQL_ATTR_TXN_ISOLATION: v = 0; break;
    case SQL_ATTR_CURRENT_CATALOG: return CopyOut(c, "", value, bufLen, len);
    default: break;
  }
  if (value) std::memcpy(value, &v, sizeof v);
  if (len) *len = sizeof v;
  return SQL_SUCCESS;
}

SQLRETURN GetInfo(Connection& c, SQLUSMALLINT info, const InfoOut& out) {
  switch (info) {
    case SQL_DRIVER_NAME: return CopyOut(c, "libqvx_myodbc.so", out.value, out.bufLen, out.len);
    case SQL_DATA_SOURCE_NAME: return CopyOut(c, c.dsn, out.value, out.bufLen, out.len);
    case SQL_DATABASE_NAME: return CopyOut(c, c.database, out.value, out.bufLen, out.len);
    case SQL_USER_NAME: return CopyOut(c, c.user, out.value, out.bufLen, out.len);
    default: break;
  }
  const InfoItem* it = FindInfo(info);
  if (!it) return c.AddDiag("HY096", "Information type out of range: " + std::to_string(info));
  switch (it->kind) {
    case InfoKind::Str: return CopyOut(c, it->text, out.value, out.bufLen, out.len);
    case InfoKind::U16: {
      auto v = static_cast<SQLUSMALLINT>(it->number);
      if (out.value) std::memcpy(out.value, &v, sizeof v);
      if (out.len) *out.len = sizeof v;
      return SQL_SUCCESS;
    }
    case InfoKind::U32: {
      SQLUINTEGER v = it->number;
      if (out.value) std::memcpy(out.value, &v, sizeof v);
      if (out.len) *out.len = sizeof v;
      return SQL_SUCCESS;
    }
  }
  return SQL_SUCCESS;
}

SQLRETURN GetFunctions(Connection& c, SQLUSMALLINT id, SQLUSMALLINT* supported) {
  if (!supported) return c.AddDiag("HY009", "Invalid use of null pointer");
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

}  // namespace qvx::driver
