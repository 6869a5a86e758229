// The budget forecast over the last twelve months of a file of about a million journal
// lines, accrual basis, actual figures only, written to a workbook: the whole run as
// qvx-report-run makes it (program start, connection, dialogs answered, accounts, journal
// read, budgets, lines, workbook saved). Beside it the floor any run must pay: the one
// SQL aggregate per account and calendar month over the same months, fetched through
// the same driver and data-access layer.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/ado/Ado.h"
#include "samples/SampleBooks.h"
#include "tests/support/OdbcTestEnv.h"

namespace {

namespace fs = std::filesystem;

std::string LargeFile() {
  return std::string(QVX_BINARY_DIR) + "/bench-data/Large1M-" + qvx::samples::kBooksRevision + ".MYO";
}

struct Window {
  std::string fromMonth, toMonth;  // MM/YYYY for the runner
  std::string fromDate, toDate;    // yyyy-mm-dd for SQL
};

qvx::ado::Connection& Conn() {
  static qvx::ado::Connection conn;
  if (conn.State() != qvx::ado::adStateOpen) {
    qvx::test::UsePrivateOdbcRegistration();
    fs::create_directories(fs::path(LargeFile()).parent_path());
    if (!fs::exists(LargeFile())) qvx::samples::BuildLarge(LargeFile(), 1000000);
    qvx::test::ConnectionParts parts;
    parts.file = LargeFile();
    conn.Open(qvx::test::DirectConnectionString(parts));
  }
  return conn;
}

// The twelve calendar months that end with the month of the file's last journal line.
const Window& LastTwelveMonths() {
  static const Window w = [] {
    qvx::ado::Recordset rs;
    rs.Open("SELECT MAX(TransactionDate) AS D FROM MYOB.JournalRecords ;", Conn());
    const qvx::ado::Date last = rs.Fields(0).Value().ToDate();
    int fromYear = last.year, fromMonth = last.month + 1;
    if (fromMonth > 12) fromMonth = 1;
    else fromYear -= 1;
    auto two = [](int v) { return (v < 10 ? "0" : "") + std::to_string(v); };
    Window out;
    out.fromMonth = two(fromMonth) + "/" + std::to_string(fromYear);
    out.toMonth = two(last.month) + "/" + std::to_string(last.year);
    out.fromDate = std::to_string(fromYear) + "-" + two(fromMonth) + "-01";
    out.toDate = std::to_string(last.year) + "-" + two(last.month) + "-31";
    return out;
  }();
  return w;
}

void BM_ForecastRunToWorkbook(benchmark::State& state) {
  const Window& w = LastTwelveMonths();
  const std::string out = fs::temp_directory_path() / "qvx-forecast-bench.xlsx";
  const std::string cmd = std::string(QVX_BINARY_DIR) + "/tools/qvx-report-run --file '" + LargeFile() +
                          "' --report BGTFCT --from " + w.fromMonth + " --to " + w.toMonth +
                          " --option ColumnType=A --option CashBasis=False --option PrintLevel=4 --out '" + out +
                          "' > /dev/null 2>&1";
  for (auto _ : state) {
    fs::remove(out);
    if (std::system(cmd.c_str()) != 0 || !fs::exists(out)) {
      state.SkipWithError("the run failed");
      break;
    }
  }
  fs::remove(out);
}
BENCHMARK(BM_ForecastRunToWorkbook)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SqlAggregatePerAccountAndMonth(benchmark::State& state) {
  const Window& w = LastTwelveMonths();
  const std::string sql =
      "SELECT AccountID, substr(TransactionDate, 1, 7) AS Month, SUM(TaxExclusiveAmount) AS Amount "
      "FROM MYOB.JournalRecords WHERE TransactionDate => '" + w.fromDate + "' AND TransactionDate <= '" + w.toDate +
      "' GROUP BY AccountID, substr(TransactionDate, 1, 7) ;";
  int64_t rows = 0;
  for (auto _ : state) {
    qvx::ado::Recordset rs;
    rs.Open(sql, Conn());
    for (; !rs.Eof(); rs.MoveNext()) benchmark::DoNotOptimize(rs.Fields(2).Value().ToCurrency());
    rows += rs.RecordCount();
  }
  state.counters["groups"] = static_cast<double>(rows) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SqlAggregatePerAccountAndMonth)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
