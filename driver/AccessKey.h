// Names and the access key shared by the company-file ODBC driver and its clients.
//
// The program side includes this header (no dependencies) to build its connection
// strings; the driver checks what comes in against the same values.
//
//   Direct mode:  "Driver={MYOAU1001}; TYPE=MYOB; UID=...; PWD=...; ACCESS_TYPE=READ; KEY=<kAccessKey>; DATABASE=...; HOST_EXE_PATH=...; ..."
//   DSN mode:     "DSN=MYOB_Accountright_2011; UID=...; PWD=...; ACCESS_TYPE=READ; KEY=<kAccessKey>; DATABASE=...; "
//
// The build registers every driver name of kRegisteredDriverNames and the data source with
// unixODBC (scripts/register-odbc.sh for the user who builds, in a folder that ODBCSYSINI
// names; tests/support/OdbcTestEnv.h for a test process).
#pragma once

namespace qvx::driver {

// 128 upper-case hexadecimal digits; "ACCESS_TYPE=READ" connections must present it as KEY=.
inline constexpr char kAccessKey[] =
    "C1962D69A6696EBAAEC939C2780DC15D9BA70940D47515AEF161DFDB4CA2FF276485D4ED83775D823C35F31B40CC4C7E720F630417DD9C0A6D0F10DEE114E189";

// Driver name of the direct mode (a name beginning "MYO").
inline constexpr char kDirectDriverName[] = "MYOAU1001";
// Driver name of the DSN mode (files of the newer product line, "MYOX" in their names).
inline constexpr char kDsnDriverName[] = "MYOB_AccountRight_2011";
// Every driver name a sample company file names (the classic line names the driver of its
// country, "MYO" + country + "1001"): each one is registered, all for this one driver, so
// that every sample opens in direct mode with the driver its file asks for.
inline constexpr const char* kRegisteredDriverNames[] = {kDirectDriverName, "MYOUSA1001", kDsnDriverName};
// Data source the DSN mode connects through.
inline constexpr char kDataSourceName[] = "MYOB_Accountright_2011";

// A connection attribute of the driver's own (in ODBC's range for drivers), set before
// connecting: a function of type StopWaiting, which the driver asks while it waits for
// another program's lock on the company file, the connection's own open included. Once it
// returns other than 0 the wait ends at once, as one that ran out of patience ends, so
// that a client asked to end is not kept waiting.
inline constexpr int kStopWaitingAttribute = 0x4000 + 0x51;
using StopWaiting = int (*)();

}  // namespace qvx::driver
