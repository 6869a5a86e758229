// The transaction engine's cash-basis read of a large company file, end to end through
// the company-file driver: every journal line of the year is followed to its journal
// set and, for payments, money, journal and cheque sets, to its source documents.
//
// The file (about 392,000 journal lines over two financial years, so that about 200,000
// fall in the year read) is built once into the temporary folder and reused. Reported:
// journal lines per second (items per second), and the queries sent per journal line.
#include <string>

#include "EngineBenchMain.h"
#include "cashbasis/Apportion.h"
#include "cashbasis/EngineState.h"
#include "companyfile/Connection.h"

namespace {

using namespace qvx;

constexpr int kFileLines = 392000;
constexpr const char* kFrom = "2025-07-01";
constexpr const char* kTo = "2026-06-30";

long Count(const std::string& sql) {
  auto rs = OpenRecordset(sql);
  return rs ? (*rs)["N"].ToLong() : 0;
}

long LinesInPeriod() {
  return Count(std::string("SELECT COUNT(*) AS N FROM MYOB.JournalRecords WHERE TransactionDate >= '") + kFrom +
               "' AND TransactionDate <= '" + kTo + "'");
}

void CashRead(benchmark::State& state, bool reuse) {
  const long lines = LinesInPeriod();
  Engine.ReuseAnswers = reuse;
  const int64_t before = AnswerStats.sent, reusedBefore = AnswerStats.reused;
  for (auto _ : state) {
    test::EngineCaller run;
    run.CashBasis = kTrue;
    run.LoadAccounts();
    test::EngineCaller::SetPeriod("01/07/2025", "30/06/2026", "01/07/2025", "30/06/2026");
    run.Read();
    benchmark::DoNotOptimize(run.ActYTD.data());
  }
  state.SetItemsProcessed(state.iterations() * lines);
  state.counters["lines"] = static_cast<double>(lines);
  // Per read: the journal query, and the set and handler queries sent to the driver
  // (those answered from an answer already held are not sent).
  const double sent = static_cast<double>(AnswerStats.sent - before) / state.iterations();
  const double reused = static_cast<double>(AnswerStats.reused - reusedBefore) / state.iterations();
  state.counters["queries_per_line"] = (1.0 + sent) / lines;
  state.counters["reused_per_line"] = reused / lines;
  Engine.ReuseAnswers = true;
}

void BM_CashRead(benchmark::State& state) { CashRead(state, true); }
BENCHMARK(BM_CashRead)->Unit(benchmark::kMillisecond)->Iterations(1);

// The same read sending every query again: what the answers held save.
void BM_CashReadEveryQuerySent(benchmark::State& state) { CashRead(state, false); }
BENCHMARK(BM_CashReadEveryQuerySent)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  return qvx::test::RunEngineBenchmarks(argc, argv, "qvx-bench-cash-", kFileLines);
}
