// Test entry: an offscreen Qt application, so that windows can be built and driven
// without a display.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <QApplication>
#include <gtest/gtest.h>

#include "ProgramParts.h"

namespace {

// The user's own regional settings are never read or changed by a test: each test
// program gets a private configuration folder whose short-date picture is "dd/MM/yyyy".
std::string PrivateConfigFolder() {
  char tmpl[] = "/tmp/qvx-test-config-XXXXXX";
  const char* dir = mkdtemp(tmpl);
  if (!dir) return {};
  std::filesystem::create_directories(std::string(dir) + "/quorvex");
  std::ofstream(std::string(dir) + "/quorvex/short-date") << "dd/MM/yyyy\n";
  setenv("XDG_CONFIG_HOME", dir, 1);
  return dir;
}

}  // namespace

// The sanitizers' settings for every test program, built in: environment variables set
// through ctest do not all reach the tests. A variable set by hand still overrides them.
extern "C" {
const char* __asan_default_options() { return "detect_leaks=1:abort_on_error=1"; }
const char* __lsan_default_options() {
  return "suppressions=" QVX_SOURCE_DIR "/tests/lsan.supp:print_suppressions=0";
}
const char* __ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }
}

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const std::string config = PrivateConfigFolder();
  QApplication app(argc, argv);
  // As the program does at its start: report entries and the reports' settings keys.
  qvx::RegisterProgramParts();
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::error_code ec;
  if (!config.empty()) std::filesystem::remove_all(config, ec);
  return result;
}
