// The small routines of the program's start module: the start-up error
// report, the help-topic lookups and the file probes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/runtime/Runtime.h"

namespace qvx {

struct StartupState {
  // Asks the workbook layer for its version text; tests replace it.
  std::function<std::string()> ExcelProbe;
};
inline StartupState Startup;

// Runs one statement of the start-up sequence under its error handler: a disk error
// (70-72) is reported and the statement tried again; any other error is reported and
// the sequence goes on. The result says whether the statement completed.
bool StartupStatement(const std::function<void()>& statement);

// The program's version as it is shown: major, ".", minor and the revision written
// straight after it (1.1 revision 21 gives "1.121").
std::string VersionDigits();

// Sets the shared scratch values and the report-run counters to 0.
void ResetGlobals();

// Puts settings outside their ranges back to their defaults.
void CorrectSettings();

// Sets G.ExcelVersion from the workbook layer's version (0 when it cannot be started).
void ProbeExcel();

// Month names and lengths for months 1 to 12 (February 28 until a period dialog sets it).
void BuildMonthTables();

// Shows the start-up error report for an error and returns "R" for a disk error
// (70-72), which the caller retries, and the empty text otherwise.
std::string ErrorReport(const ErrorInfo& error);

// The message text of the start-up error report.
std::string ErrorReportText(const ErrorInfo& error);

// The help topic (QVXHelp.chm) and the sample topic (QVXReports.CHM) of the current
// report code; 0 for an unknown code.
void GetReportHelpID(int16_t& helpID);
void GetSampleHelpID(int16_t& helpID);

// True when the file can be opened for reading; otherwise False with the error number
// of the failed open in errNbr. Nothing is shown.
bool FileExists(const std::string& fileName, int16_t& errNbr);
bool CheckFileExists(const std::string& fileName, int16_t& errNbr);

}  // namespace qvx
