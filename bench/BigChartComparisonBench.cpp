// The budget comparison of a big chart of accounts (about 1,200 and 5,000 profit and loss
// accounts, every detail account with a journal line and a budget in each month of two
// financial years) printed to a PDF and written to a workbook: the output stage's own
// cost (measuring, laying out, drawing, widening columns) grows with the chart, where the
// journal benchmarks' few accounts do not show it.
#include "BigChart.h"
#include "ComparisonBenchRun.h"

namespace {

using namespace qvx;

// One warm-up report before the measured ones, so that loading fonts and the first
// queries' caches weigh on no iteration.
void RunBigChart(benchmark::State& state, bool toExcel) {
  const int accounts = static_cast<int>(state.range(0));
  test::EngineCaller::Connect(bench::ChartFile(accounts));
  if (!Conn.ODBCConnected) {
    state.SkipWithError("the chart's file cannot be opened");
    return;
  }
  G.BodyFont = 9;
  G.Underline = 2;
  bench::ComparisonRun run;
  const ComparisonOptions o = bench::YearOptions(toExcel);
  if (!run.Produce(o)) state.SkipWithError("no output");
  for (auto _ : state)
    if (!run.Produce(o)) state.SkipWithError("no output");
  state.counters["accounts"] = static_cast<double>(G.NbrAccounts);
}

void BM_BigChartComparisonToPdf(benchmark::State& state) { RunBigChart(state, false); }
BENCHMARK(BM_BigChartComparisonToPdf)->Arg(1200)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_BigChartComparisonToWorkbook(benchmark::State& state) { RunBigChart(state, true); }
BENCHMARK(BM_BigChartComparisonToWorkbook)->Arg(1200)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  return qvx::test::RunBenchmarks(argc, argv, [] {
    qvx::bench::BuildBigCharts();
    return true;
  });
}
