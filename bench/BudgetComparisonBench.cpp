// The budget comparison end to end on a large company file (about two million journal
// lines over two financial years, about one million of them in the year reported), on
// the accrual basis: accounts, the engine's read, budgets, last year's period balances,
// the body and a workbook with month and last-year columns written and saved; against
// the one SQL aggregate that gives the same actual figures.
#include "ComparisonBenchRun.h"

namespace {

using namespace qvx;

constexpr int kFileLines = 1960000;

void BM_ComparisonToWorkbook(benchmark::State& state) { bench::RunComparison(state, false); }
BENCHMARK(BM_ComparisonToWorkbook)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same actual figures per account from the driver in one query.
void BM_SingleAggregate(benchmark::State& state) { bench::RunSingleAggregate(state); }
BENCHMARK(BM_SingleAggregate)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) { return qvx::test::RunEngineBenchmarks(argc, argv, "qvx-bench-engine-", kFileLines); }
