#include "tests/support/OdbcTestEnv.h"

#include "driver/AccessKey.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace qvx::test {

namespace {

struct OdbcTestEnvState {
  std::string folder;
  ~OdbcTestEnvState() {
    std::error_code ec;
    if (!folder.empty()) std::filesystem::remove_all(folder, ec);
  }
};

OdbcTestEnvState& EnvState() {
  static OdbcTestEnvState state;
  return state;
}

}  // namespace

std::string DriverLibraryPath() {
#ifdef QVX_DRIVER_PATH
  return QVX_DRIVER_PATH;
#else
  return std::string(QVX_BINARY_DIR) + "/lib/libqvx_myodbc.so";
#endif
}

const std::string& UsePrivateOdbcRegistration() {
  OdbcTestEnvState& st = EnvState();
  if (!st.folder.empty()) return st.folder;
  namespace fs = std::filesystem;
  // A folder of a new name that only this process made: in a folder every user can write
  // to, a name known in advance may already stand there, another user's, with a driver
  // list that loads their library into this test.
  std::string pattern = (fs::temp_directory_path() / "qvx-odbc-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a folder for the ODBC registration");
  const fs::path dir = pattern;
  const std::string lib = DriverLibraryPath();
  {
    std::ofstream inst(dir / "odbcinst.ini", std::ios::trunc);
    inst << "[ODBC]\nTrace = No\n\n";
    // Threading = 2: the driver manager serializes calls per connection, which is what the
    // driver needs (its statements share the connection's statement cache), and no more.
    for (const char* name : driver::kRegisteredDriverNames) {
      inst << "[" << name << "]\nDescription = Company-file driver\nDriver = " << lib << "\nThreading = 2\n\n";
    }
  }
  {
    std::ofstream ini(dir / "odbc.ini", std::ios::trunc);
#ifdef QVX_SAMPLES_DIR
    const std::string database = std::string(QVX_SAMPLES_DIR) + "/ARSample.MYOX";
#else
    const std::string database;
#endif
    ini << "[" << driver::kDataSourceName << "]\nDescription = Company files\nDriver = " << driver::kDsnDriverName
        << "\nDatabase = " << database << "\n\n";
  }
  ::setenv("ODBCSYSINI", dir.c_str(), 1);
  ::setenv("ODBCINSTINI", "odbcinst.ini", 1);
  ::setenv("ODBCINI", (dir / "odbc.ini").c_str(), 1);
  st.folder = dir.string();
  return st.folder;
}

namespace {

// Replaces the private driver list and moves its modification time on by more than the
// manager's one-second resolution.
void WriteDriverList(const std::string& text) {
  namespace fs = std::filesystem;
  const fs::path file = fs::path(UsePrivateOdbcRegistration()) / "odbcinst.ini";
  static fs::file_time_type last = fs::last_write_time(file);
  {
    std::ofstream inst(file, std::ios::trunc | std::ios::binary);
    inst << text;
  }
  last = std::max(last, fs::last_write_time(file)) + std::chrono::seconds(2);
  fs::last_write_time(file, last);
}

}  // namespace

DriverListScope::DriverListScope(const std::vector<std::string>& names, const std::vector<std::string>& missingLibrary) {
  namespace fs = std::filesystem;
  const fs::path dir = UsePrivateOdbcRegistration();
  {
    std::ifstream in(dir / "odbcinst.ini", std::ios::binary);
    previous_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::ostringstream inst;
  inst << "[ODBC]\nTrace = No\n\n";
  for (const std::string& name : names) {
    const bool missing = std::find(missingLibrary.begin(), missingLibrary.end(), name) != missingLibrary.end();
    inst << "[" << name << "]\nDescription = Test driver\nDriver = "
         << (missing ? (dir / "missing-driver.so").string() : DriverLibraryPath()) << "\nFileUsage = 1\n\n";
  }
  WriteDriverList(inst.str());
}

DriverListScope::~DriverListScope() { WriteDriverList(previous_); }

namespace {
std::string CommonParts(const ConnectionParts& p) {
  std::string s = "UID=" + p.user + "; PWD=" + p.password + "; ";
  if (p.readAccess) s += std::string("ACCESS_TYPE=READ; KEY=") + driver::kAccessKey + "; ";
  s += "DATABASE=" + p.file + "; ";
  return s;
}
}  // namespace

std::string DirectConnectionString(const ConnectionParts& parts) {
  return std::string("Driver={") + driver::kDirectDriverName + "}; TYPE=MYOB; " + CommonParts(parts) +
         "HOST_EXE_PATH=/opt/accounts/accounts.exe; Network_Protocol=TCPIP; SQL_LOGIN_TIMEOUT=90; "
         "Driver_Completion=Driver_NoPrompt; ";
}

std::string DsnConnectionString(const ConnectionParts& parts) {
  return std::string("DSN=") + driver::kDataSourceName + "; " + CommonParts(parts);
}

OdbcOutcome Diagnose(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle) {
  OdbcOutcome out;
  out.rc = rc;
  if (rc == SQL_SUCCESS || handle == nullptr) return out;
  SQLCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR msg[2048] = {};
  SQLSMALLINT len = 0;
  if (SQL_SUCCEEDED(SQLGetDiagRec(handleType, handle, 1, state, &native, msg, sizeof msg, &len))) {
    out.sqlState = reinterpret_cast<char*>(state);
    out.message = reinterpret_cast<char*>(msg);
  }
  return out;
}

TestConnection::TestConnection() {
  UsePrivateOdbcRegistration();
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
  SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
}

TestConnection::~TestConnection() {
  if (connected_) SQLDisconnect(dbc_);
  if (dbc_) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  if (env_) SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

OdbcOutcome TestConnection::Connect(const std::string& connectionString) {
  SQLCHAR out[4096];
  SQLSMALLINT outLen = 0;
  SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(connectionString.c_str())),
                                  SQL_NTS, out, sizeof out, &outLen, SQL_DRIVER_NOPROMPT);
  connected_ = SQL_SUCCEEDED(rc);
  return Diagnose(rc, SQL_HANDLE_DBC, dbc_);
}

OdbcOutcome TestConnection::Query(const std::string& sql, Rows* rows) {
  SQLHSTMT st = SQL_NULL_HSTMT;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st);
  if (!SQL_SUCCEEDED(rc)) return Diagnose(rc, SQL_HANDLE_DBC, dbc_);
  rc = SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), static_cast<SQLINTEGER>(sql.size()));
  OdbcOutcome out = Diagnose(rc, SQL_HANDLE_STMT, st);
  if (SQL_SUCCEEDED(rc)) {
    SQLSMALLINT cols = 0;
    SQLNumResultCols(st, &cols);
    while ((rc = SQLFetch(st)) != SQL_NO_DATA) {
      if (!SQL_SUCCEEDED(rc)) {
        out = Diagnose(rc, SQL_HANDLE_STMT, st);
        break;
      }
      std::vector<std::string> row;
      for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(cols); ++c) {
        char buf[4096];
        SQLLEN ind = 0;
        SQLRETURN g = SQLGetData(st, c, SQL_C_CHAR, buf, sizeof buf, &ind);
        if (!SQL_SUCCEEDED(g)) row.emplace_back("<error>");
        else if (ind == SQL_NULL_DATA) row.emplace_back("<null>");
        else row.emplace_back(buf);
      }
      if (rows) rows->push_back(std::move(row));
    }
  }
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  return out;
}

std::string TestConnection::Scalar(const std::string& sql) {
  Rows rows;
  if (!Query(sql, &rows).Ok() || rows.empty() || rows[0].empty()) return "";
  return rows[0][0];
}

}  // namespace qvx::test
