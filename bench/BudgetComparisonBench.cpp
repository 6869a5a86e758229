// The budget comparison end to end on a large company file (about two million journal
// lines over two financial years, about one million of them in the year reported), on
// the accrual basis: accounts, the engine's read, budgets, last year's period balances,
// the body and a workbook with month and last-year columns written and saved; against
// the one SQL aggregate that gives the same actual figures.
#include "ComparisonBenchRun.h"

namespace {

using namespace qvx;
using bench::kFrom;
using bench::kTo;
using bench::LinesInPeriod;

constexpr int kFileLines = 1960000;

void BM_ComparisonToWorkbook(benchmark::State& state) { bench::RunComparison(state, false); }
BENCHMARK(BM_ComparisonToWorkbook)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same actual figures per account from the driver in one query.
void BM_SingleAggregate(benchmark::State& state) {
  const long lines = LinesInPeriod();
  const std::string sql = std::string(
                              "SELECT j.AccountID, SUM(ROUND(j.TaxExclusiveAmount, 2)) AS Total "
                              "FROM MYOB.JournalRecords j WHERE j.TransactionDate >= '") +
                          kFrom + "' AND j.TransactionDate <= '" + kTo + "' GROUP BY j.AccountID";
  for (auto _ : state) {
    auto rs = OpenRecordset(sql);
    Money sum;
    for (; rs && !rs->Eof(); rs->MoveNext()) sum += (*rs)["Total"].ToCurrency();
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(BM_SingleAggregate)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) { return qvx::test::RunEngineBenchmarks(argc, argv, "qvx-bench-engine-", kFileLines); }
