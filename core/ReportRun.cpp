#include "core/ReportRun.h"

#include <vector>

#include "core/ReportOutput.h"
#include "platform/sys/ProgramEnding.h"
#include "platform/ui/Ui.h"

namespace qvx {
namespace {

struct RunState {
  bool active = false;
  bool stopped = false;
  bool told = false;
  std::string message;
};

RunState& Run() {
  static RunState run;
  return run;
}

// More than this many different repeated texts would make a box taller than a screen.
constexpr size_t kListedRepeats = 10;

std::string Times(long n) { return std::to_string(n) + (n == 1 ? " more time" : " more times"); }

}  // namespace

bool RunReport(const std::function<void()>& report) {
  RunState& run = Run();
  run = RunState{};
  run.active = true;
  // A program asked to end stops the report at its next look at the window events,
  // without a message: its output is abandoned as for any stop.
  ui::SetEndingStop(+[] { StopReport({}); });
  ui::OpenMessageGate();
  // However the report ends, even by an error nothing in it handled, the run is over:
  // the gate closes and a later failed read outside any report is told as usual.
  struct EndOfRun {
    ~EndOfRun() {
      ui::CloseMessageGate();
      Run() = RunState{};
    }
  } endOfRun;
  try {
    report();
  } catch (const ReportStopped&) {
    if (!run.told) EndReportOutput();
  } catch (...) {
    // An error the report did not handle: what it had started is abandoned as for a stop
    // (its print job or workbook, its windows, the user's printer put back), so that the
    // next report does not print into this one's job; the caller tells the error.
    run.stopped = true;
    run.told = true;
    try {
      EndReportOutput();
    } catch (...) {
      // The error that ended the report is the one told.
    }
    throw;
  }
  // A report that ended without reaching its finish (a dialog cancelled) still tells.
  TellRunEnd();
  return !run.stopped;
}

bool StopReport(const std::string& message) {
  RunState& run = Run();
  if (!run.active) return false;
  if (run.stopped) return true;
  run.stopped = true;
  run.message = message;
  throw ReportStopped{};
}

bool RunStopped() { return Run().active && (Run().stopped || sys::ProgramEnding()); }

void TellRunEnd() {
  RunState& run = Run();
  const std::vector<ui::RepeatedMessage> repeated = ui::CloseMessageGate();
  if (!repeated.empty()) {
    std::string text;
    for (size_t i = 0; i < repeated.size() && i < kListedRepeats; ++i) {
      if (i > 0) text += "\r\n\r\n";
      text += repeated[i].text + "\r\n…and the same message came up " + Times(repeated[i].more) + " in this report.";
    }
    if (repeated.size() > kListedRepeats)
      text += "\r\n\r\n…and " + std::to_string(repeated.size() - kListedRepeats) +
              " other messages came up more than once.";
    ui::MsgBox(text, ui::Buttons::OK, ui::Icon::None, repeated.front().title);
  }
  if (run.stopped && !run.told) {
    run.told = true;
    if (!run.message.empty()) ui::MsgBox(run.message, ui::Buttons::OK, ui::Icon::Critical, "Report stopped");
  }
}

}  // namespace qvx
