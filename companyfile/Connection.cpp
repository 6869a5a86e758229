#include "companyfile/Connection.h"

#include "companyfile/DataSource.h"
#include "core/ReportRun.h"
#include "driver/AccessKey.h"
#include "platform/sys/ProgramEnding.h"
#include "platform/sys/OsRelease.h"
#include "platform/ui/Ui.h"

namespace qvx {

namespace {

std::string Braced(const std::string& v) {
  std::string out = "{";
  for (char c : v) {
    out += c;
    if (c == '}') out += '}';
  }
  return out + "}";
}

// A connection-string value as ODBC reads it back unchanged: in braces (a "}" doubled)
// when it holds a character that would end it or start a quoted value.
std::string Value(const std::string& v) {
  return v.find_first_of(";{}") == std::string::npos ? v : Braced(v);
}

ado::Connection& MYOBConn() {
  if (!Conn.MYOBConn) Conn.MYOBConn = std::make_unique<ado::Connection>();
  return *Conn.MYOBConn;
}

}  // namespace

std::string BuildConnectionString() {
  const DataSource& ds = DataSource::Instance();
  std::string access;
  if (ds.ODBCAccessMode == "R") access = std::string("ACCESS_TYPE=READ; ") + "KEY=" + driver::kAccessKey + "; ";
  std::string s;
  if (ds.ODBCMode == "DSN") {
    s += "DSN=" + Value(ds.ODBCDSName) + "; ";
    s += "UID=" + Value(ds.ODBCUserID) + "; ";
    s += "PWD=" + Value(ds.ODBCPassword) + "; ";
    s += access;
    s += "DATABASE=" + Value(ds.ODBCDataFile) + "; ";
    return s;
  }
  s += "Driver=" + Braced(ds.ODBCDriver) + "; TYPE=MYOB; ";
  s += "UID=" + Value(ds.ODBCUserID) + "; ";
  s += "PWD=" + Value(ds.ODBCPassword) + "; ";
  s += access;
  s += "DATABASE=" + Value(ds.ODBCDataFile) + "; ";
  s += "HOST_EXE_PATH=" + Value(ds.ODBCProduct) + "; ";
  s += "Network_Protocol=TCPIP; ";
  s += "SQL_LOGIN_TIMEOUT=90; ";
  s += "Driver_Completion=Driver_NoPrompt; ";
  return s;
}

void ConnectODBC() {
  ConnectionState& c = Conn;
  DataSource& ds = DataSource::Instance();
  if (c.ODBCConnected) return;

  c.ConnectError = false;
  c.DataBaseVersion.clear();
  c.DFCountry.clear();
  bool complete = true;
  ds.ODBCMode.clear();
  c.IsAR2011Driver = false;

  if (InStr(UCase(ds.ODBCDataFile), "MYOX") > 0) ds.ODBCMode = "DSN";
  const std::string driverName = UCase(ds.ODBCDriver);
  if (InStr(driverName, "MYOB_") > 0 && InStr(driverName, "_20") > 0) ds.ODBCMode = "DSN";
  if (ds.ODBCMode == "DSN") {
    ds.ODBCDSName = kDsnDataSource;
    ds.ODBCDriver = kDsnDriver;
    c.IsAR2011Driver = true;
  } else {
    ds.ODBCMode = "Direct";
  }

  if (ds.ODBCMode == "DSN") {
    if (ds.ODBCDSName.empty() || ds.ODBCUserID.empty()) complete = false;
  } else {
    if (ds.ODBCDataFile.empty() || ds.ODBCUserID.empty() || ds.ODBCProduct.empty() || ds.ODBCDriver.empty())
      complete = false;
  }

  if (complete) {
    try {
      ado::Connection& conn = MYOBConn();
      conn.CursorLocation = ado::adUseClient;
      conn.StopWaiting = &sys::EndSignal;
      const std::string connectionString = BuildConnectionString();
      c.ODBCConnected = false;
      conn.Open(connectionString, "", "", ado::adOptionUnspecified);
      c.ODBCConnected = true;
      c.ConnectError = false;
      ds.ODBCError = kFalse;
    } catch (const std::exception& e) {
      const ErrorInfo info = CurrentErrorInfo(e);
      // Once the program is asked to end it waits for no company file that another program
      // holds (StopWaiting), and a connection that failed for that is no news.
      if (sys::EndSignal() == 0)
        ui::MsgBox(
            "Sorry, error connecting to MYOB database.\r\n\r\n"
            "Please check the server and your connection and try again.\r\n\r\n"
            "The error is - " + info.description,
            ui::Buttons::OK, ui::Icon::Critical);
      c.ConnectError = true;
      ds.ODBCError = kTrue;
    }
  } else if (!ds.ODBCDataFile.empty()) {
    ui::MsgBox("ODBC Connection not established", ui::Buttons::OK, ui::Icon::Critical);
  }

  c.WindowsName = GetWindowsProductName();
  if (InStr(c.WindowsName, "XP") > 0) c.WindowsName = "XP";
  if (InStr(c.WindowsName, "Vista") > 0) c.WindowsName = "Vista";
  if (Left(c.WindowsName, 9) == "Microsoft") c.WindowsName = Mid(c.WindowsName, 10);
}

std::string ConnectionLostMessage(const std::string& description) {
  const std::string& file = DataSource::Instance().ODBCDataFile;
  std::string text = description;
  if (!file.empty() && text.find(file) == std::string::npos)
    text = "The company file \"" + file + "\" can no longer be read: " + text;
  return text + "\r\n\r\nThe report stops here: nothing has been printed or saved.";
}

std::unique_ptr<ado::Recordset> OpenRecordset(std::string sql) {
  try {
    auto rs = std::make_unique<ado::Recordset>();
    rs->Open(sql, MYOBConn(), ado::adOpenStatic, ado::adLockReadOnly, ado::adOptionUnspecified);
    if (rs->RecordCount() > 0) {
      rs->MoveLast();
      rs->MoveFirst();
    }
    return rs;
  } catch (const ado::ConnectionError& e) {
    // The file itself can no longer be read: a report that reads it stops here, rather
    // than going on to give wrong figures with a box for each read.
    if (StopReport(ConnectionLostMessage(e.Description()))) return nullptr;
    ui::MsgBox("An error has occurred - " + e.Description());
    return nullptr;
  } catch (const std::exception& e) {
    const ErrorInfo info = CurrentErrorInfo(e);
    // Only a refusal of access is the user's rights; any other failure (a damaged or
    // changed file, a value that cannot be converted, bad SQL) is shown as the driver
    // said it, so that bad data is not mistaken for a permissions problem.
    const auto* db = dynamic_cast<const ado::DbError*>(&e);
    if (db && db->AccessDenied()) {
      ui::MsgBox("UserID restrictions in MYOB prevent access to the data");
    } else {
      ui::MsgBox("An error has occurred - " + info.description);
    }
    return nullptr;
  }
}

std::string GetWindowsProductName() {
  std::optional<std::string> name = sys::OsPrettyName(Conn.OsReleaseFile);
  if (!name || name->empty()) return "Windows OS function not available";
  return *name;
}

}  // namespace qvx
