#include "companyfile/DataSource.h"

#include "companyfile/Connection.h"
#include "core/Settings.h"
#include "platform/runtime/Runtime.h"

namespace qvx {

DataSource& DataSource::Instance() {
  static DataSource instance;
  return instance;
}

void DataSource::MakeConnection() {
  if (Conn.ODBCConnected) {
    try {
      if (Conn.MYOBConn) Conn.MYOBConn->Close();
    } catch (const std::exception&) {
      // A connection the driver already dropped is released all the same.
    }
    Conn.MYOBConn.reset();
    Conn.ODBCConnected = false;
  }
  Conn.ConnectError = false;
  ODBCError = kFalse;
  if (!Conn.ODBCConnected) ConnectODBC();
  if (Conn.ODBCConnected) GetCompanyFileInfo();
}

void DataSource::SetConnectionDetails(const ConnectionDetails& dialog) {
  ODBCUserID = dialog.txtUID;
  ODBCPassword = dialog.txtPWD;
  ODBCDataFile = dialog.txtDatabase;
  ODBCDriver = dialog.cboDrivers;
  ODBCProduct = dialog.txtProduct;
}

void BindConnectionSettings() {
  BindSetting("ODBCMode", [] { return SettingTarget(&DataSource::Instance().ODBCMode); });
  BindSetting("ODBCUserID", [] { return SettingTarget(&DataSource::Instance().ODBCUserID); });
  BindSetting("ODBCPassword", [] { return SettingTarget(&DataSource::Instance().ODBCPassword); });
  BindSetting("ODBCDataFile", [] { return SettingTarget(&DataSource::Instance().ODBCDataFile); });
  BindSetting("ODBCProduct", [] { return SettingTarget(&DataSource::Instance().ODBCProduct); });
  BindSetting("ODBCDriver", [] { return SettingTarget(&DataSource::Instance().ODBCDriver); });
}

}  // namespace qvx
