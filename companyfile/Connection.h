// The one connection to a company file, and the reads done right after connecting.
#pragma once

namespace qvx {

struct ConnectionState {
  bool ODBCConnected = false;
};
inline ConnectionState Conn;

// Connects to the company file named in the connection settings; a failure has shown
// its own message and leaves ODBCConnected False.
void ConnectODBC();
// Reads the company information of the connected file (and loads its data-set file).
void GetCompanyFileInfo();
// Reads the company file's custom lists.
void GetCustomLists();

}  // namespace qvx
