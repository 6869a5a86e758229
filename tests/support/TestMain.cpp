// Test entry: an offscreen Qt application, so that windows can be built and driven
// without a display.
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <QApplication>
#include <gtest/gtest.h>

#include "ProgramParts.h"
#include "platform/locale/Locale.h"
#include "platform/versioncheck/Safeguards.h"

namespace {

// Reads of a company file stop once SQLite's memory passes a bound. Should that bound fail,
// a query without end (tests give files such views) would grow a test program by gigabytes
// within a minute. So SQLite's memory in a test program is counted, and a quarter past the
// bound the program ends at once, saying why: not an allocation that fails, which the
// driver could take for trouble of the file's own and answer as the test expects.
constexpr int64_t kSqliteMemoryCeiling =
    qvx::versioncheck::kMostSqliteMemory + qvx::versioncheck::kMostSqliteMemory / 4;
sqlite3_mem_methods sqliteMemory{};
std::atomic<int64_t> sqliteBytes{0};

void CountSqliteBytes(int64_t bytes) {
  if (sqliteBytes.fetch_add(bytes, std::memory_order_relaxed) + bytes <= kSqliteMemoryCeiling) return;
  static const char said[] =
      "\nSQLite's memory passed the test programs' ceiling: a read of a company file went past its bounds\n";
  (void)!::write(STDERR_FILENO, said, sizeof said - 1);
  std::_Exit(3);
}

void* CountedMalloc(int n) {
  void* p = sqliteMemory.xMalloc(n);
  if (p) CountSqliteBytes(sqliteMemory.xSize(p));
  return p;
}

void CountedFree(void* p) {
  sqliteBytes.fetch_sub(sqliteMemory.xSize(p), std::memory_order_relaxed);
  sqliteMemory.xFree(p);
}

// SQLite reallocates only what it allocated, to a size of at least one byte.
void* CountedRealloc(void* p, int n) {
  const int before = sqliteMemory.xSize(p);
  void* q = sqliteMemory.xRealloc(p, n);
  if (q) CountSqliteBytes(int64_t{sqliteMemory.xSize(q)} - before);
  return q;
}

// Before any use of SQLite: its allocator, counted.
void CountSqliteMemory() {
  if (sqlite3_config(SQLITE_CONFIG_GETMALLOC, &sqliteMemory) != SQLITE_OK) return;
  sqlite3_mem_methods counted = sqliteMemory;
  counted.xMalloc = CountedMalloc;
  counted.xFree = CountedFree;
  counted.xRealloc = CountedRealloc;
  sqlite3_config(SQLITE_CONFIG_MALLOC, &counted);
}

// The user's own regional settings are never read or changed by a test: each test
// program gets a private configuration folder whose short-date picture is "dd/MM/yyyy".
std::string PrivateConfigFolder() {
  char tmpl[] = "/tmp/qvx-test-config-XXXXXX";
  const char* dir = mkdtemp(tmpl);
  if (!dir) return {};
  setenv("XDG_CONFIG_HOME", dir, 1);
  qvx::locale::SetLocaleInfo(qvx::locale::kLocaleUserDefault, qvx::locale::kLocaleSShortDate, "dd/MM/yyyy");
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
  CountSqliteMemory();
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
