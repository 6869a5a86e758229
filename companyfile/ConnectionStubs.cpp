// Stand-ins until the company-file connection exists: nothing ever connects.
#include "companyfile/Connection.h"

namespace qvx {

void ConnectODBC() { Conn.ODBCConnected = false; }
void GetCompanyFileInfo() {}
void GetCustomLists() {}

}  // namespace qvx
