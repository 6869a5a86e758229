// Last year's period balances read from a company file of a million balance rows, through
// the connection and the recordset layer, as the budget comparison asks for them.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "companyfile/AccountActivities.h"
#include "companyfile/Connection.h"
#include "companyfile/DataSource.h"
#include "core/Globals.h"
#include "platform/sys/Sys.h"
#include "platform/ui/ScriptedUi.h"
#include "samples/CompanyFile.h"
#include "BenchSession.h"

namespace {

namespace fs = std::filesystem;

constexpr int kAccounts = 400;
constexpr int kBalanceRows = 1000000;

std::string Folder() { return std::string(QVX_BINARY_DIR) + "/bench-data"; }
std::string BalancesFile() { return Folder() + "/Balances1M.MYO"; }

// 400 accounts with balances for 12 periods of about 208 financial years each, amounts
// spread over both signs and a few zeros.
void EnsureFile() {
  if (fs::exists(BalancesFile())) return;
  fs::create_directories(Folder());
  const std::string building = BalancesFile() + ".part";
  {
    qvx::samples::CompanyFile f(building, qvx::samples::CompanySetup{});
    for (int i = 1; i <= kAccounts; ++i)
      f.AddAccount({"6-" + std::to_string(1000 + i), "Account " + std::to_string(i), 'D', 2, "EXP"});
    f.Exec("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < " +
           std::to_string(kBalanceRows) +
           ") INSERT INTO AccountActivities (AccountID, FinancialYear, Period, Amount) "
           "SELECT 1 + i % " + std::to_string(kAccounts) + ", 2026 - (i / " + std::to_string(kAccounts * 12) +
           "), 1 + (i / " + std::to_string(kAccounts) + ") % 12, ((i * 7919) % 200001 - 100000) / 100.0 FROM n");
    f.Finish();
  }
  fs::rename(building, BalancesFile());
}

struct Session : qvx::test::BenchSession {
  Session() : BenchSession(Folder() + "/program") {
    EnsureFile();
    qvx::DataSource& ds = qvx::DataSource::Instance();
    ds.ODBCDataFile = BalancesFile();
    ds.MakeConnection();
    if (!qvx::Conn.ODBCConnected) throw std::runtime_error("no connection to " + BalancesFile());
    qvx::G.FirstMonth = 7;
  }
};

void BM_GetAccountActivities(benchmark::State& state) {
  static Session session;
  std::vector<int32_t> ids{0};
  for (int i = 1; i <= kAccounts; ++i) ids.push_back(i);
  int64_t lines = 0;
  for (auto _ : state) {
    std::vector<qvx::Money> month(kAccounts + 2), ytd(kAccounts + 2), year(kAccounts + 2), annual(kAccounts + 2);
    std::vector<int32_t> lineAcct(kAccounts + 2);
    int32_t rows = 0;
    qvx::AccountActivitiesArgs args{.AcctIDs = ids,
                                    .NbrAccounts = kAccounts,
                                    .LYActMonth = month,
                                    .LYActYTD = ytd,
                                    .LYAct12Months = year,
                                    .AnnualCol = annual,
                                    .LineAcct = lineAcct,
                                    .TxRowCount = rows,
                                    .AnnualLastYear = true,
                                    .TwelveMonths = true,
                                    .FromYMD = "20250701",
                                    .ToYMD = "20251130",
                                    .FinYearStartYMD = "20250701",
                                    .FinYearEndYMD = "20260630"};
    qvx::GetAccountActivities(args);
    lines = rows;
    benchmark::DoNotOptimize(ytd.data());
  }
  state.counters["lines"] = static_cast<double>(lines);
  state.SetItemsProcessed(state.iterations() * kBalanceRows);
}
BENCHMARK(BM_GetAccountActivities)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
