// The budget comparison end to end on the cash basis, on the cash benchmark's file
// (about 200,000 journal lines in the year reported): every journal set followed to its
// document for the year and again for last year, into a workbook.
#include "ComparisonBenchRun.h"

namespace {

constexpr int kFileLines = 392000;

void BM_CashComparisonToWorkbook(benchmark::State& state) { qvx::bench::RunComparison(state, true); }
BENCHMARK(BM_CashComparisonToWorkbook)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) { return qvx::test::RunEngineBenchmarks(argc, argv, "qvx-bench-cash-", kFileLines); }
