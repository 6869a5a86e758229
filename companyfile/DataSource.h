// The connection settings record: the public members of the connection dialog, held on
// its one program-wide instance for the whole run.
#pragma once

#include <cstdint>
#include <string>

namespace qvx {

// The texts of the connection dialog's boxes that SetConnectionDetails takes over.
struct ConnectionDetails {
  std::string txtUID;
  std::string txtPWD;
  std::string txtDatabase;
  std::string cboDrivers;  // the driver list's entry at its current selection
  std::string txtProduct;
};

class DataSource {
 public:
  static DataSource& Instance();

  int16_t NbrDrivers = 0;
  std::string ODBCAccessMode;
  std::string ODBCDSName;
  std::string ODBCUserID;
  std::string ODBCPassword;
  std::string ODBCDataFile;
  std::string ODBCProduct;
  std::string ODBCDriver;
  std::string ODBCMode;
  int16_t ODBCError = 0;
  std::string ProductPath, ProductFile, DataPath, DataFile;

  // Closes any open connection and connects again with the current settings; a
  // successful connection reads the company information. Safe to call many times in a
  // row (the group report reconnects once per company file).
  void MakeConnection();

  // Takes the connection settings from the connection dialog's boxes.
  void SetConnectionDetails(const ConnectionDetails& dialog);

  // Builds the connection window and shows it modally; a changed connection has been
  // made (and the company information read) when it returns.
  void Show();
};

// Binds the connection settings of the settings file (ODBCMode, ODBCUserID, ...) to the
// connection dialog's fields.
void BindConnectionSettings();

}  // namespace qvx
