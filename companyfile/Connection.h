// The one connection to a company file, the recordset reader every query goes through,
// and the reads done right after connecting.
#pragma once

#include <memory>
#include <set>
#include <string>

#include "platform/ado/Ado.h"

namespace qvx {

// The connection's program-wide state; lives for the whole run.
struct ConnectionState {
  std::unique_ptr<ado::Connection> MYOBConn;  // created on first use, released on reconnect
  bool ODBCConnected = false;                 // MYOBConn is open on a company file
  bool ConnectError = false;                  // the last attempt was refused by the driver
  bool IsAR2011Driver = false;                // the last attempt used the DSN mode
  std::string DataBaseVersion;
  std::string DFCountry;
  std::string WindowsName;                    // the reduced operating-system name
  std::string SQLStr;                         // the shared SQL buffer of every reader
  std::string OsReleaseFile = "/etc/os-release";
  // The boxes about the short-date file's folder the user has seen this run: the check
  // runs at every connection (a group report makes one per company file), and the folder
  // is told of once.
  std::set<std::string> ShortDateBoxesShown;
  // The date-format question is open: its No ends the program writing nothing, and so
  // does a signal that comes meanwhile.
  bool AskingDateFormat = false;
};
inline ConnectionState Conn;

// The data source and driver of the DSN mode (company files of the newer product line).
inline constexpr const char* kDsnDataSource = "MYOB_Accountright_2011";
inline constexpr const char* kDsnDriver = "MYOB_ACCOUNTRIGHT_2011";

// Connects with the current connection settings unless a connection is open. Failures
// have shown their message; the outcome is in Conn.ODBCConnected, Conn.ConnectError and
// DataSource::Instance().ODBCError.
void ConnectODBC();

// The connection string of the current settings in the mode ConnectODBC derived. Values
// holding ";" or braces are brace-quoted, so that no value can add keys of its own.
std::string BuildConnectionString();

// Runs one query on the connection: a static, read-only recordset standing on its first
// row, or nothing after a failure, which has been shown to the user. A failure of the
// connection itself while a report runs stops the report (core/ReportRun.h).
std::unique_ptr<ado::Recordset> OpenRecordset(std::string sql);

// The message of a stopped report: the driver's description, naming the company file
// when it does not already, and what became of the output.
std::string ConnectionLostMessage(const std::string& description);

// The operating system's product name, or "Windows OS function not available".
std::string GetWindowsProductName();

// Reads the company information of the connected file, loads its data-set file and
// checks the short-date format (whose refusal ends the program).
void GetCompanyFileInfo();

// Reads the company file's custom lists.
void GetCustomLists();

}  // namespace qvx
