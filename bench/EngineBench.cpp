// The transaction engine's accrual read of a large company file, end to end through the
// company-file driver, against the one SQL aggregate that gives the same figures.
//
// The file (about two million journal lines over two financial years, so that about one
// million fall in the year read) is built once into the temporary folder and reused.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <QApplication>
#include <benchmark/benchmark.h>

#include "EngineBenchMain.h"
#include "companyfile/Connection.h"
#include "companyfile/DataSource.h"
#include "core/Globals.h"
#include "platform/sys/Sys.h"
#include "samples/SampleBooks.h"
#include "support/OdbcTestEnv.h"
#include "support/TestUi.h"

namespace {

using namespace qvx;

constexpr int kFileLines = 1960000;
constexpr const char* kFrom = "2025-07-01";
constexpr const char* kTo = "2026-06-30";

long LinesInPeriod() {
  auto rs = OpenRecordset(std::string("SELECT COUNT(*) AS N FROM MYOB.JournalRecords WHERE TransactionDate >= '") +
                          kFrom + "' AND TransactionDate <= '" + kTo + "'");
  return rs ? (*rs)["N"].ToLong() : 0;
}

void BM_AccrualRead(benchmark::State& state) {
  const long lines = LinesInPeriod();
  for (auto _ : state) {
    test::EngineCaller run;
    run.LoadAccounts();
    test::EngineCaller::SetPeriod("01/07/2025", "30/06/2026", "01/07/2025", "30/06/2026");
    run.Read();
    benchmark::DoNotOptimize(run.ActYTD.data());
  }
  state.SetItemsProcessed(state.iterations() * lines);
  state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_AccrualRead)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same read with a user interface that lets no events run: the engine's own cost
// beside the query, without the window system's.
void BM_AccrualReadWithoutEvents(benchmark::State& state) {
  test::ScriptedUiScope ui;
  BM_AccrualRead(state);
}
BENCHMARK(BM_AccrualReadWithoutEvents)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same figures per account and month from the driver in one query.
void BM_SingleAggregate(benchmark::State& state) {
  const long lines = LinesInPeriod();
  const std::string sql = std::string(
                              "SELECT j.AccountID, substr(j.TransactionDate, 6, 2) AS Mth, "
                              "SUM(ROUND(j.TaxExclusiveAmount, 2)) AS Total FROM MYOB.JournalRecords j "
                              "WHERE j.TransactionDate >= '") +
                          kFrom + "' AND j.TransactionDate <= '" + kTo + "' GROUP BY j.AccountID, Mth";
  for (auto _ : state) {
    auto rs = OpenRecordset(sql);
    Money sum;
    for (; rs && !rs->Eof(); rs->MoveNext()) sum += (*rs)["Total"].ToCurrency();
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(BM_SingleAggregate)->Unit(benchmark::kMillisecond)->Iterations(3);

// The engine's journal query alone: the driver's and the data-access layer's share.
void BM_JournalQuery(benchmark::State& state) {
  const long lines = LinesInPeriod();
  const std::string sql = std::string(
                              "SELECT JournalRecordID, SetID, JobID, TransactionDate, TaxExclusiveAmount, AccountID, "
                              "IsForeignTransaction  FROM MYOB.JournalRecords WHERE TransactionDate => '") +
                          kFrom + "' AND TransactionDate <= '" + kTo + "'  ;";
  for (auto _ : state) {
    auto rs = OpenRecordset(sql);
    benchmark::DoNotOptimize(rs->RecordCount());
  }
  state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(BM_JournalQuery)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) { return qvx::test::RunEngineBenchmarks(argc, argv, "qvx-bench-engine-", kFileLines); }
