#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include <QApplication>

#include "ProgramParts.h"
#include "app/MainF.h"
#include "app/ProgramEnd.h"
#include "app/ProgramStart.h"
#include "platform/runtime/CommandLine.h"
#include "platform/sys/EndSignals.h"
#include "platform/sys/ProgramEnding.h"

namespace {
constexpr const char* kUsage =
    "usage: quorvex [Qt's own options, such as -platform NAME, -display DISPLAY, -style NAME]\n"
    "The Quorvex reporting program. It takes no arguments of its own: it opens the company\n"
    "file its settings file (Tallymoor.Ini, in its program folder) names.\n";

// Qt's X11 platform ends the program with exit(1) when its display goes (the X server
// ended): from inside the event loop, the application object still there, so that the
// exit handlers would destroy the main window after Qt's own objects have gone, and crash.
// Registered once the main window exists, this handler runs before that window's
// destructor and ends the process at once with exit's status. The settings files are
// left as they were: the objects made after this handler was registered are destroyed by
// then, and the settings writer may reach some of them (what a group report keeps aside,
// say); nor could a failed write be told on a screen that is gone. Nothing is half-written
// either: Qt calls exit between two events, never in the middle of a write.
void EndWhereTheDisplayWent(int status, void*) {
  // main returned: the application object is gone, and the end is the ordinary one.
  if (!QCoreApplication::instance()) return;
  std::fflush(nullptr);
  std::_Exit(status);
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before Qt looks for a display.
  for (int i = 1; i < argc; ++i)
    if (qvx::cli::AsksForHelp(argv[i])) return qvx::cli::Help(std::cout, kUsage);
  qvx::sys::TakeEndNotice();
  qvx::sys::IgnoreFileSizeSignal();
  QApplication app(argc, argv);
  // What Qt did not take as its own is no argument of the program.
  if (argc > 1) return qvx::cli::Refuse(std::cerr, "quorvex", std::string("unknown argument ") + argv[1], kUsage);
  QApplication::setApplicationName("Quorvex");
  qvx::RegisterProgramParts();
  qvx::EndOnSignals();
  qvx::Main();
  ::on_exit(&EndWhereTheDisplayWent, nullptr);
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
