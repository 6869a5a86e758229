// Private unixODBC registration for test processes.
//
// Call qvx::test::UsePrivateOdbcRegistration() before the first unixODBC call of a test
// process (a test fixture's SetUpTestSuite, or the first line of a test). It writes
// odbcinst.ini and odbc.ini into a private temporary folder, registering the driver built
// by this tree (QVX_DRIVER_PATH) under every name of driver::kRegisteredDriverNames (the
// direct-mode "MYOAU1001", the country drivers the samples name, the DSN-mode
// "MYOB_AccountRight_2011"), and the data source "MYOB_Accountright_2011" (whose
// default company file is the sample ARSample.MYOX of the build); then it sets
// ODBCSYSINI and ODBCINI to that folder, so the machine's registration is never consulted.
// Further calls return the same folder.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

namespace qvx::test {

const std::string& UsePrivateOdbcRegistration();

// Path of the driver library built by this tree.
std::string DriverLibraryPath();

// Connection strings as the program writes them (with the access part and the key).
struct ConnectionParts {
  std::string file{};                       // company file (DATABASE)
  std::string user = "Administrator";     // UID
  std::string password{};                   // PWD
  bool readAccess = true;                 // add "ACCESS_TYPE=READ; KEY=<access key>; "
};
std::string DirectConnectionString(const ConnectionParts& parts);
std::string DsnConnectionString(const ConnectionParts& parts);

// Outcome of an ODBC call with its first diagnostic.
struct OdbcOutcome {
  SQLRETURN rc = SQL_SUCCESS;
  std::string sqlState{};
  std::string message{};
  bool Ok() const { return SQL_SUCCEEDED(rc); }
};

// First diagnostic record of a handle.
OdbcOutcome Diagnose(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle);

// For its lifetime, the private registration lists exactly the given driver names, in
// that order (a name given twice is written twice), each pointing at this tree's driver
// or, for the names in missingLibrary, at a library that does not exist; the usual list
// comes back at the end. The driver manager keeps the folder it first read for the whole
// process, so the list is rewritten in place, each time with a later modification time
// than any before, so that the manager's cached copy is never taken for it.
class DriverListScope {
 public:
  explicit DriverListScope(const std::vector<std::string>& names, const std::vector<std::string>& missingLibrary = {});
  ~DriverListScope();
  DriverListScope(const DriverListScope&) = delete;
  DriverListScope& operator=(const DriverListScope&) = delete;

 private:
  std::string previous_;
};

using Rows = std::vector<std::vector<std::string>>;

// A plain ODBC 3 client for tests: one environment and one connection, through unixODBC
// (registration made private first).
class TestConnection {
 public:
  TestConnection();
  ~TestConnection();
  TestConnection(const TestConnection&) = delete;
  TestConnection& operator=(const TestConnection&) = delete;

  OdbcOutcome Connect(const std::string& connectionString);
  // Runs a query and reads every row as text with SQLGetData (NULL reads "<null>").
  OdbcOutcome Query(const std::string& sql, Rows* rows = nullptr);
  // The single value of a one-row, one-column query ("" on failure).
  std::string Scalar(const std::string& sql);
  SQLHENV Env() const { return env_; }
  SQLHDBC Dbc() const { return dbc_; }
  bool Connected() const { return connected_; }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

}  // namespace qvx::test
