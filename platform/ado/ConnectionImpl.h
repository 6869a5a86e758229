// What the data-access layer's files share about a connection: its ODBC handles with the
// statement handles it keeps, and the driver's diagnostics raised as run-time errors.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <string>

#include "platform/ado/Ado.h"
#include "platform/ado/StatementSlots.h"

namespace qvx::ado {

// The first diagnostic record of a handle: the driver's message, as the caller sees it
// in the error's description, with its SQLSTATE and native code.
struct Diagnostic {
  std::string message;
  std::string sqlState;
  long native = 0;
};

Diagnostic FirstDiagnostic(SQLSMALLINT handleType, SQLHANDLE handle);
[[noreturn]] void RaiseDb(int number, SQLSMALLINT handleType, SQLHANDLE handle);

// A driver loaded by the driver manager tears its handles down with its own static
// objects when the process ends, before the program's; a connection still open then is
// left to the end of the process rather than closed through a driver that is gone. Each
// successful open registers the mark anew, so that it is set before the static objects
// of a driver loaded by that open are destroyed.
struct ProcessEnd {
  std::atomic<bool> reached{false};
  static ProcessEnd& Instance() {
    static ProcessEnd state;
    return state;
  }
  static void Mark() { Instance().reached = true; }
};

struct Connection::Impl {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  bool open = false;
  std::string connectionString;
  StatementSlots statements;

  void FreeDbc() {
    statements.FreeAll();
    if (dbc != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    dbc = SQL_NULL_HDBC;
  }
  ~Impl() {
    if (ProcessEnd::Instance().reached) return;
    statements.FreeAll();
    if (open) SQLDisconnect(dbc);
    FreeDbc();
    if (env != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
};

}  // namespace qvx::ado
