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

namespace {
constexpr const char* kUsage =
    "usage: quorvex [Qt's own options, such as -platform NAME, -display DISPLAY, -style NAME]\n"
    "The Quorvex reporting program. It takes no arguments of its own: it opens the company\n"
    "file its settings file (Tallymoor.Ini, in its program folder) names.\n";
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
