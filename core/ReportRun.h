// One report run, from the start of a report (the main window's list, or the runner) to
// its end.
//
// While it lasts, the message gate of the user-interface service is open: a box that only
// informs is shown the first time its text comes up, and the repeats are told in one box
// at the run's finish.
//
// A failure of the connection to the company file (the file removed, replaced, truncated
// or locked past the driver's wait) ends the run: no later read could give right figures.
// The read that met it raises ReportStopped, which no statement's error handler takes
// (those catch std::exception, show a box and go on); the run's finish abandons the
// output (no print job sent, no workbook saved, nothing at the output path touched) and
// one message names the file and the reason. A program asked to end (a signal) stops its
// running report the same way, without a message.
#pragma once

#include <functional>
#include <string>

namespace qvx {

// Raised to end a run whose company file can no longer be read. Deliberately not a
// std::exception, so that it passes every handler that reports a failed statement and
// carries on.
struct ReportStopped {};

// Runs one report as a run. A stop that the report's own run did not end is ended here
// through the finish routine. Returns false when the run was stopped. An error that the
// report did not handle passes on to the caller, its output abandoned and the run ended
// all the same.
bool RunReport(const std::function<void()>& report);

// For a read whose connection failed. While a report runs: the first time, keeps the
// message for the run's finish and raises ReportStopped; after that (reads made while the
// stopped run ends, such as reconnecting the user's own file) returns true, and the read
// gives nothing without a word. Outside a run returns false: the caller reports the
// failure as any other.
bool StopReport(const std::string& message);

// The running report has been stopped, or the program is ending: its output is to be
// abandoned.
bool RunStopped();

// The end of a run's messages, told once by the finish routine: the boxes that came up
// more than once, with how many more times, in one box; then, for a stopped run, its
// message.
void TellRunEnd();

}  // namespace qvx
