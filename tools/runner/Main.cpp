// The report runner's program: an offscreen application with a configuration folder of
// its own (short dates "dd/MM/yyyy"), so that a run neither needs a display nor reads or
// changes the user's regional settings. See Runner.h.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <QApplication>

#include "tools/runner/Runner.h"

#ifdef QVX_LSAN_SUPPRESSIONS
// Sanitized builds: the same leak suppressions as the test programs (system libraries and
// Qt's own caches only).
extern "C" const char* __lsan_default_options() {
  return "suppressions=" QVX_LSAN_SUPPRESSIONS ":print_suppressions=0";
}
#endif

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  char tmpl[] = "/tmp/qvx-report-run-XXXXXX";
  const char* config = mkdtemp(tmpl);
  if (config) {
    std::filesystem::create_directories(std::string(config) + "/quorvex");
    std::ofstream(std::string(config) + "/quorvex/short-date") << "dd/MM/yyyy\n";
    setenv("XDG_CONFIG_HOME", config, 1);
  }
  int rc = 0;
  {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quorvex");
    rc = qvx::runner::Run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
  }
  std::error_code ec;
  if (config) std::filesystem::remove_all(config, ec);
  return rc;
}
