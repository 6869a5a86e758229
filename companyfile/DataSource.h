// The connection settings record: the public members of the connection dialog, held on
// its one program-wide instance for the whole run.
#pragma once

#include <cstdint>
#include <string>

namespace qvx {

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
};

}  // namespace qvx
