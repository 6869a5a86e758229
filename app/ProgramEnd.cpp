#include "app/ProgramEnd.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include "app/MainF.h"
#include "companyfile/Connection.h"
#include "core/Globals.h"
#include "core/Settings.h"
#include "platform/sys/EndSignals.h"
#include "platform/sys/ProgramEnding.h"
#include "platform/ui/Ui.h"

namespace qvx {

namespace {

constexpr int kRecheckMs = 20;

// Once the report and every box and dialog have ended and only the main loop runs, the
// end is the Exit button's: at once when nothing else is open, so that the settings are
// written before anything else happens (a display that goes with the terminal).
void FinishEnd() {
  MainFForm* window = MainF::Instance().Window();
  const bool mainLoop = QThread::currentThread()->loopLevel() > 0;
  if (G.ReportRunning || ui::OpenModalLoops() > 0 || !mainLoop) {
    QTimer::singleShot(kRecheckMs, &FinishEnd);
    return;
  }
  if (window && window->Loaded()) {
    window->CmdExit_Click();
    return;
  }
  SaveSettingsOnExit();
  QCoreApplication::quit();
}

void BeginEnd(int pipe) {
  char bytes[16];
  while (::read(pipe, bytes, sizeof bytes) > 0) {
  }
  if (sys::ProgramEnding()) return;
  ui::BeginProgramEnd();
  // As File > Exit, the settings are written at once and again as the window unloads: a
  // report may take a moment to stop, and a display that goes with the terminal would end
  // the program meanwhile. Not during the start (the settings may not all be read yet),
  // nor at the date-format question, whose No writes nothing.
  MainFForm* window = MainF::Instance().Window();
  if (window && window->Loaded() && !Conn.AskingDateFormat) SaveSettingsOnExit();
  FinishEnd();
}

}  // namespace

void EndOnSignals() {
  const int pipe = sys::CatchEndSignals();
  if (pipe < 0) return;
  // Until the settings are written (SaveSettingsOnExit). On a terminal, below the ^C^C
  // that the terminal shows.
  sys::SayWhenEndedAtOnce(::isatty(STDERR_FILENO) ? "\nQuorvex: ended at once; the settings were not saved.\n"
                                                  : "Quorvex: ended at once; the settings were not saved.\n");
  // Read on whichever event loop runs: the main window's, a dialog's or a box's, or a long
  // read's look at the window events. Owned by the application object.
  auto* notifier = new QSocketNotifier(pipe, QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [pipe] { BeginEnd(pipe); });
}

}  // namespace qvx
