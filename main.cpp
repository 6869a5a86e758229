#include <cstdlib>
#include <string>

#include <QApplication>

#include "ProgramParts.h"
#include "app/MainF.h"
#include "app/ProgramEnd.h"
#include "app/ProgramStart.h"
#include "platform/sys/EndSignals.h"

int main(int argc, char** argv) {
  qvx::sys::TakeEndNotice();
  qvx::sys::IgnoreFileSizeSignal();
  QApplication app(argc, argv);
  QApplication::setApplicationName("Quorvex");
  qvx::RegisterProgramParts();
  qvx::EndOnSignals();
  qvx::Main();
  // QVX_QUIT_AFTER_START=1 ends the program as soon as the start-up sequence has run,
  // without the event loop and without the exit's rewrite of the settings file: the
  // check that a fresh program folder receives the default settings file uses it.
  const char* quit = std::getenv("QVX_QUIT_AFTER_START");
  int rc = quit && *quit && std::string(quit) != "0" ? 0 : QApplication::exec();
  qvx::MainF::Instance().DestroyWindow();
  // Ended in order on a signal: whoever started the program sees that signal.
  if (const int sig = qvx::sys::EndSignal()) qvx::sys::EndBySignal(sig);
  return rc;
}
