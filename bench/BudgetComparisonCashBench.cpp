// The budget comparison end to end on the cash basis, on the cash benchmark's file
// (about 200,000 journal lines in the year reported): every journal set followed to its
// document for the year and again for last year, into a workbook; side by side with the
// single SQLite aggregate over the same year. Printed: the ratio of the two, and the
// system calls per statement sent to the driver (each statement used to be its own read
// transaction of a dozen calls; the driver's read lease holds one across many).
#include <cstdio>

#include "ComparisonBenchRun.h"
#include "SyscallCount.h"
#include "cashbasis/EngineState.h"

namespace {

using namespace qvx;

constexpr int kFileLines = 392000;

double aggregateSeconds = 0;

// Runs first: the anchor of the ratio.
void BM_SingleAggregate(benchmark::State& state) { aggregateSeconds = bench::RunSingleAggregate(state); }
BENCHMARK(BM_SingleAggregate)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CashComparisonToWorkbook(benchmark::State& state) {
  bench::SyscallCount calls;
  const int64_t sentBefore = AnswerStats.sent;
  const auto start = std::chrono::steady_clock::now();
  bench::RunComparison(state, true);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                         static_cast<double>(state.iterations());
  // The look-ups the engine sent, and per run its journal, account and budget queries (a
  // few dozen, left out).
  const double statements = static_cast<double>(AnswerStats.sent - sentBefore) / state.iterations();
  state.counters["statements"] = statements;
  if (aggregateSeconds > 0) state.counters["x_aggregate"] = seconds / aggregateSeconds;
  std::printf("cash-basis comparison %.3f s, single aggregate %.3f s: %.1fx\n", seconds, aggregateSeconds,
              aggregateSeconds > 0 ? seconds / aggregateSeconds : 0.0);
  if (calls.Available()) {
    const double perStatement = static_cast<double>(calls.Calls()) / state.iterations() / statements;
    state.counters["syscalls_per_statement"] = perStatement;
    std::printf("%.0f statements, %.3f system calls per statement\n", statements, perStatement);
  } else {
    std::printf("%.0f statements; system calls not countable here (run under strace -c -f)\n", statements);
  }
}
BENCHMARK(BM_CashComparisonToWorkbook)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) { return qvx::test::RunEngineBenchmarks(argc, argv, "qvx-bench-cash-", kFileLines); }
