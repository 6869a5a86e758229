// The budget comparison end to end on a large company file (about two million journal
// lines over two financial years, about one million of them in the year reported), on
// the accrual basis: accounts, the engine's read, budgets, last year's period balances,
// the body and a workbook with month and last-year columns written and saved; against
// the one SQL aggregate that gives the same actual figures, and against SQLite stepping
// the report's own journal query directly.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <limits>

#include "ComparisonBenchRun.h"

namespace {

using namespace qvx;

constexpr int kFileLines = 1960000;
constexpr const char* kFileStem = "qvx-bench-engine-";

void BM_ComparisonToWorkbook(benchmark::State& state) { bench::RunComparison(state, false); }
BENCHMARK(BM_ComparisonToWorkbook)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same actual figures per account from the driver in one query.
void BM_SingleAggregate(benchmark::State& state) { bench::RunSingleAggregate(state); }
BENCHMARK(BM_SingleAggregate)->Unit(benchmark::kMillisecond)->Iterations(3);

// The floor under the report's read: SQLite itself stepping the rows of the report's
// journal query over the year, every column read as the type it is declared with, without
// the driver, the data-access layer or the engine.
int64_t StepJournalDirectly(sqlite3* db) {
  const std::string sql = std::string(
                              "SELECT JournalRecordID, SetID, JobID, TransactionDate, TaxExclusiveAmount, AccountID, "
                              "IsForeignTransaction FROM JournalRecords WHERE TransactionDate >= '") +
                          bench::kFrom + "' AND TransactionDate <= '" + bench::kTo + "'";
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return -1;
  int64_t check = 0;
  double amounts = 0;
  while (sqlite3_step(st) == SQLITE_ROW) {
    check += sqlite3_column_int64(st, 0) + sqlite3_column_int64(st, 1) + sqlite3_column_int64(st, 2);
    check += sqlite3_column_bytes(st, 3) + (sqlite3_column_text(st, 3) ? 1 : 0);
    amounts += sqlite3_column_double(st, 4);
    check += sqlite3_column_int64(st, 5) + sqlite3_column_bytes(st, 6) + (sqlite3_column_text(st, 6) ? 1 : 0);
  }
  sqlite3_finalize(st);
  benchmark::DoNotOptimize(amounts);
  return check;
}

// This thread's processor time in milliseconds: the driver runs in the program's own
// thread, so that this counts the whole read, and hardly what other programs do.
double ThreadMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The report on the accrual basis against the direct step, alternately in each
// iteration; the fastest of each is kept, so that other work on the machine weighs on
// the ratio as little as it can. "ratio" is the report's elapsed time over the direct
// step's, "cpu_ratio" the same of the processor time.
void BM_ComparisonAgainstDirectStep(benchmark::State& state) {
  sqlite3* db = nullptr;
  const std::string path = test::EngineBenchFile(kFileStem, kFileLines);
  // Opened as the driver opens a company file, with its page cache.
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    state.SkipWithError("the benchmark file cannot be opened");
    return;
  }
  sqlite3_exec(db, "PRAGMA mmap_size = 0", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "PRAGMA cache_size = -8192", nullptr, nullptr, nullptr);
  bench::ComparisonRun run;
  using Clock = std::chrono::steady_clock;
  auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
  constexpr double kNone = std::numeric_limits<double>::max();
  double direct = kNone, report = kNone, directCpu = kNone, reportCpu = kNone;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    const double c0 = ThreadMs();
    benchmark::DoNotOptimize(StepJournalDirectly(db));
    const auto t1 = Clock::now();
    const double c1 = ThreadMs();
    if (!run.Produce(false)) state.SkipWithError("no workbook");
    const auto t2 = Clock::now();
    const double c2 = ThreadMs();
    direct = std::min(direct, ms(t1 - t0));
    report = std::min(report, ms(t2 - t1));
    directCpu = std::min(directCpu, c1 - c0);
    reportCpu = std::min(reportCpu, c2 - c1);
  }
  sqlite3_close(db);
  state.counters["direct_ms"] = direct;
  state.counters["report_ms"] = report;
  state.counters["ratio"] = report / direct;
  state.counters["cpu_ratio"] = reportCpu / directCpu;
}
BENCHMARK(BM_ComparisonAgainstDirectStep)->Unit(benchmark::kMillisecond)->Iterations(7);

}  // namespace

int main(int argc, char** argv) { return qvx::test::RunEngineBenchmarks(argc, argv, kFileStem, kFileLines); }
