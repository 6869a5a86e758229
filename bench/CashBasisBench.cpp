// The transaction engine's cash-basis read of a large company file, end to end through
// the company-file driver: every journal line of the year is followed to its journal
// set and, for payments, money, journal and cheque sets, to its source documents.
//
// The file (about 392,000 journal lines over two financial years, so that about 200,000
// fall in the year read) is built once into the temporary folder and reused. Reported:
// journal lines per second (items per second), and the queries sent per journal line.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <QApplication>
#include <benchmark/benchmark.h>

#include "EngineCaller.h"
#include "cashbasis/Apportion.h"
#include "companyfile/Connection.h"
#include "companyfile/DataSource.h"
#include "core/Globals.h"
#include "platform/sys/Sys.h"
#include "samples/SampleBooks.h"
#include "support/OdbcTestEnv.h"
#include "support/TestUi.h"

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

void BM_CashRead(benchmark::State& state) {
  const long lines = LinesInPeriod();
  const int64_t before = HandlerStats.queries;
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
  // Per read: the journal query, one set query per journal line, the handlers' queries.
  const double handlerQueries = static_cast<double>(HandlerStats.queries - before) / state.iterations();
  state.counters["queries_per_line"] = (1.0 + lines + handlerQueries) / lines;
}
BENCHMARK(BM_CashRead)->Unit(benchmark::kMillisecond)->Iterations(1);

// A private short-date picture, so that the user's own regional settings are not read.
void PrivateConfig() {
  const std::string dir = (std::filesystem::temp_directory_path() / "qvx-bench-config").string();
  std::filesystem::create_directories(dir + "/quorvex");
  std::ofstream(dir + "/quorvex/short-date") << "dd/MM/yyyy\n";
  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  PrivateConfig();
  QApplication app(argc, argv);
  test::UsePrivateOdbcRegistration();

  const std::string path =
      (std::filesystem::temp_directory_path() / ("qvx-bench-cash-" + std::to_string(kFileLines) + ".MYO")).string();
  if (!std::filesystem::exists(path)) samples::BuildLarge(path, kFileLines);
  sys::SetProgramFolder(std::filesystem::temp_directory_path().string());

  DataSource& ds = DataSource::Instance();
  ds.ODBCAccessMode = "R";
  ds.ODBCDriver = "MYOAU1001";
  ds.ODBCUserID = "Administrator";
  ds.ODBCDataFile = path;
  ds.ODBCProduct = "/opt/product/Product.exe";
  ds.MakeConnection();
  if (!Conn.ODBCConnected) return 1;

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
