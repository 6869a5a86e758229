// The report runner's program: an offscreen application with a configuration folder of
// its own (short dates "dd/MM/yyyy"), so that a run neither needs a display nor reads or
// changes the user's regional settings. See Runner.h.
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>

#include "platform/locale/Locale.h"
#include "platform/sys/EndSignals.h"
#include "platform/sys/TemporaryFolder.h"
#include "tools/runner/Runner.h"

#ifdef QVX_LSAN_SUPPRESSIONS
// Sanitized builds: the same leak suppressions as the test programs (system libraries and
// Qt's own caches only).
extern "C" const char* __lsan_default_options() {
  return "suppressions=" QVX_LSAN_SUPPRESSIONS ":print_suppressions=0";
}
#endif

int main(int argc, char** argv) {
  qvx::sys::IgnoreFileSizeSignal();
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // A TMPDIR where others may rename or replace names is passed over, and the run says so;
  // Qt's own temporary files go to /tmp as well.
  std::string passedOver;
  qvx::sys::TemporaryRoot(&passedOver);
  if (!passedOver.empty()) {
    std::cerr << "qvx-report-run: " << passedOver << "\n";
    setenv("TMPDIR", "/tmp", 1);
  }
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (const auto answered = qvx::runner::AnswerArguments(args, std::cout, std::cerr)) return *answered;
  // What a killed run left behind (its folders and its unfinished output) goes first.
  qvx::sys::RemoveAbandonedTemporaryFolders(qvx::runner::kTemporaryFolderPrefix);
  std::unique_ptr<qvx::sys::TemporaryFolder> config;
  try {
    config = std::make_unique<qvx::sys::TemporaryFolder>(qvx::runner::kTemporaryFolderPrefix);
    // Reached through the folder's descriptor, as the program folder is (Run).
    setenv("XDG_CONFIG_HOME", config->DescriptorPath().c_str(), 1);
    qvx::locale::SetLocaleInfo(qvx::locale::kLocaleUserDefault, qvx::locale::kLocaleSShortDate, "dd/MM/yyyy");
  } catch (const std::exception&) {
    // Without a folder of its own the run takes the user's short-date format.
  }
  int rc = 0;
  {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quorvex");
    rc = qvx::runner::Run(args, std::cout, std::cerr);
  }
  return rc;
}
