// The data-access layer on a company file of about a hundred thousand journal lines:
// the one-row recordsets the transaction engine opens per journal line, and the journal
// read whole into a static recordset and walked as the engine walks it.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "platform/ado/Ado.h"
#include "samples/SampleBooks.h"
#include "tests/support/OdbcTestEnv.h"

namespace {

namespace fs = std::filesystem;

// A tenth of the driver benchmarks' file keeps the set-up short; figures are per row.
std::string LargeFile() {
  return std::string(QVX_BINARY_DIR) + "/bench-data/Large100k-" + qvx::samples::kBooksRevision + ".MYO";
}

qvx::ado::Connection& Conn() {
  static qvx::ado::Connection conn;
  if (conn.State() != qvx::ado::adStateOpen) {
    if (!fs::exists(LargeFile())) qvx::samples::BuildLarge(LargeFile(), 100000);
    qvx::test::ConnectionParts parts;
    parts.file = LargeFile();
    conn.Open(qvx::test::DirectConnectionString(parts));
  }
  return conn;
}

int MaxId(const std::string& sql) {
  qvx::ado::Recordset rs;
  rs.Open(sql, Conn());
  return rs.Fields(0).Value().ToLong();
}

void Lookup(benchmark::State& state, const std::string& prefix, int maxId) {
  qvx::ado::Connection& conn = Conn();
  uint32_t seed = 12345;
  for (auto _ : state) {
    seed = seed * 1664525u + 1013904223u;
    const int id = 1 + static_cast<int>(seed % static_cast<uint32_t>(maxId));
    qvx::ado::Recordset rs;
    rs.Open(prefix + std::to_string(id) + " ;", conn);
    if (!rs.Eof()) benchmark::DoNotOptimize(rs.Fields(0).Value().ToLong());
    rs.Close();
  }
}

void BM_RecordsetLookupJournalSet(benchmark::State& state) {
  static const int maxId = MaxId("SELECT MAX(SetID) AS M FROM MYOB.JournalSets");
  Lookup(state,
         "SELECT SetID, JournalTypeID, SourceID, TransactionNumber, Memo, CurrencyID, TransactionExchangeRate "
         "FROM MYOB.JournalSets WHERE SetID = ",
         maxId);
}
BENCHMARK(BM_RecordsetLookupJournalSet)->Unit(benchmark::kMicrosecond);

const char* kJournalSql =
    "SELECT JournalRecordID, SetID, JobID, TransactionDate, TaxExclusiveAmount, AccountID, "
    "IsForeignTransaction  FROM MYOB.JournalRecords WHERE TransactionDate => '2000-01-01' AND "
    "TransactionDate <= '2099-12-31'  ;";

// Fetching alone: every row into the static recordset.
void BM_RecordsetJournalFetch(benchmark::State& state) {
  qvx::ado::Connection& conn = Conn();
  int64_t rows = 0;
  for (auto _ : state) {
    qvx::ado::Recordset rs;
    rs.Open(kJournalSql, conn);
    rows += rs.RecordCount();
  }
  state.counters["rows_per_s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RecordsetJournalFetch)->Unit(benchmark::kMillisecond);

// Fetching and walking the rows as the journal reader does, the date as text.
void BM_RecordsetJournalRead(benchmark::State& state) {
  qvx::ado::Connection& conn = Conn();
  int64_t rows = 0;
  for (auto _ : state) {
    qvx::ado::Recordset rs;
    rs.Open(kJournalSql, conn);
    const qvx::ado::Field id = rs.Fields("JournalRecordID"), date = rs.Fields("TransactionDate"),
                          amount = rs.Fields("TaxExclusiveAmount"), account = rs.Fields("AccountID");
    while (!rs.Eof()) {
      benchmark::DoNotOptimize(id.Value().ToLong());
      benchmark::DoNotOptimize(date.Value().ToString());
      benchmark::DoNotOptimize(amount.Value().ToCurrency());
      benchmark::DoNotOptimize(account.Value().ToLong());
      rs.MoveNext();
      ++rows;
    }
  }
  state.counters["rows_per_s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RecordsetJournalRead)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qvx::test::UsePrivateOdbcRegistration();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
