#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

#include "driver/AccessKey.h"
#include "platform/ado/Ado.h"
#include "platform/ado/ConnectionImpl.h"

namespace qvx::ado {

Diagnostic FirstDiagnostic(SQLSMALLINT handleType, SQLHANDLE handle) {
  if (handle == SQL_NULL_HANDLE) return {};
  SQLCHAR state[8] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  std::vector<SQLCHAR> msg(1024);
  SQLRETURN rc = SQLGetDiagRec(handleType, handle, 1, state, &native, msg.data(),
                               static_cast<SQLSMALLINT>(msg.size()), &len);
  if (rc == SQL_SUCCESS_WITH_INFO && len >= static_cast<SQLSMALLINT>(msg.size())) {
    msg.resize(static_cast<size_t>(len) + 1);
    rc = SQLGetDiagRec(handleType, handle, 1, state, &native, msg.data(),
                       static_cast<SQLSMALLINT>(msg.size()), &len);
  }
  if (!SQL_SUCCEEDED(rc)) return {};
  Diagnostic d;
  d.message = std::string(reinterpret_cast<const char*>(msg.data()),
                          std::min(static_cast<size_t>(std::max<SQLSMALLINT>(len, 0)), msg.size() - 1));
  d.sqlState = std::string(reinterpret_cast<const char*>(state), strnlen(reinterpret_cast<const char*>(state), 5));
  d.native = native;
  return d;
}

namespace {

std::string DiagMessage(SQLSMALLINT handleType, SQLHANDLE handle) {
  return FirstDiagnostic(handleType, handle).message;
}

}  // namespace

[[noreturn]] void RaiseDb(int number, SQLSMALLINT handleType, SQLHANDLE handle) {
  Diagnostic d = FirstDiagnostic(handleType, handle);
  if (d.message.empty()) d.message = ErrorDescription(number);
  if (ConnectionError::IsConnectionState(d.sqlState))
    throw ConnectionError(number, std::move(d.message), std::move(d.sqlState), d.native);
  throw DbError(number, std::move(d.message), std::move(d.sqlState), d.native);
}

Connection::Connection() : impl_(std::make_unique<Impl>()) {}
Connection::~Connection() = default;

void Connection::Open(const std::string& connectionString, const std::string& userId,
                      const std::string& password, int /*options*/) {
  if (impl_->open) Raise(adoerr::ObjectOpen, "Operation is not allowed when the object is open.");
  Impl& c = *impl_;
  if (c.env == SQL_NULL_HENV) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &c.env))) {
      c.env = SQL_NULL_HENV;
      Raise(err::DbOpenFailed, "The ODBC driver manager could not be started.");
    }
    SQLSetEnvAttr(c.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  }
  c.FreeDbc();
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, c.env, &c.dbc))) {
    c.dbc = SQL_NULL_HDBC;
    RaiseDb(err::DbOpenFailed, SQL_HANDLE_ENV, c.env);
  }
  static_assert(std::is_same_v<decltype(StopWaiting), driver::StopWaiting>);
  if (StopWaiting)
    SQLSetConnectAttr(c.dbc, driver::kStopWaitingAttribute, reinterpret_cast<SQLPOINTER>(StopWaiting), SQL_IS_POINTER);
  std::string full = connectionString;
  if (!userId.empty()) full += "UID=" + userId + ";";
  if (!password.empty()) full += "PWD=" + password + ";";
  if (full.size() > static_cast<size_t>(std::numeric_limits<SQLSMALLINT>::max()))
    Raise(err::DbOpenFailed, "The connection string is too long.");
  SQLCHAR out[1024];
  SQLSMALLINT outLen = 0;
  std::vector<SQLCHAR> in(full.begin(), full.end());
  in.push_back(0);
  SQLRETURN rc = SQLDriverConnect(c.dbc, nullptr, in.data(), static_cast<SQLSMALLINT>(full.size()), out,
                                  sizeof out, &outLen, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    std::string message = DiagMessage(SQL_HANDLE_DBC, c.dbc);
    c.FreeDbc();
    Raise(err::DbOpenFailed, message.empty() ? ErrorDescription(err::DbOpenFailed) : message);
  }
  c.open = true;
  c.connectionString = connectionString;
  ProcessEnd::Instance();
  std::atexit(ProcessEnd::Mark);
}

void Connection::Close() {
  if (!impl_->open) Raise(adoerr::ObjectClosed, "Operation is not allowed when the object is closed.");
  impl_->statements.FreeAll();
  SQLDisconnect(impl_->dbc);
  impl_->FreeDbc();
  impl_->open = false;
}

int Connection::State() const { return impl_->open ? adStateOpen : adStateClosed; }
const std::string& Connection::ConnectionString() const { return impl_->connectionString; }

}  // namespace qvx::ado
