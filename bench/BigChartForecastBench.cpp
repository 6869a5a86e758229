// The budget forecast of a big chart of accounts (about 1,200 and 5,000 profit and loss
// accounts) written to a workbook: twelve months of actual figures at level 4, so that the
// writing of the rows, their total formulas and the widening of the month columns to their
// figures weigh as in a big business's workbook.
#include <filesystem>
#include <string>

#include <unistd.h>

#include "BigChart.h"
#include "EngineBenchMain.h"
#include "budgetreports/BudgetReports.h"
#include "budgetreports/FilterBGTFC.h"
#include "core/DateRange.h"
#include "core/Globals.h"
#include "core/Startup.h"
#include "platform/shell/Shell.h"
#include "support/TestUi.h"

namespace {

using namespace qvx;

// One forecast of July 2025 to June 2026 into a fresh workbook, the dialogs answered as a
// user would; false when no workbook was written.
bool Produce(test::ScriptedUiScope& ui, const std::string& workbook) {
  std::filesystem::remove(workbook);
  G.DateFromKeys = kTrue;
  ui->QueueForm([](ui::Form& form) {
    auto& f = dynamic_cast<DateRangeForm&>(form);
    f.TxtFromDate.setText("01/07/2025");
    f.TxtFromDate_Validate();
    f.TxtToDate.setText("30/06/2026");
    f.TxtToDate_Validate();
    f.CmdOkay_Click();
  });
  FilterBGTFC::Instance().ColumnType = "A";
  G.PrintLevel = 4;
  G.PrintAccountNumbers = kTrue;
  G.CashBasis = kFalse;
  ui->QueueForm([&ui, workbook](ui::Form& form) {
    auto& f = dynamic_cast<FilterBGTFCForm&>(form);
    f.ChkExcelFile.setChecked(true);
    ui->QueueFile(workbook);
    f.Exit_Click();
  });
  std::string code = "BGTFCT";
  ReportBudgetForecast(code);
  return std::filesystem::exists(workbook);
}

// One warm-up report before the measured ones, as in the comparison's benchmark.
void BM_BigChartForecastToWorkbook(benchmark::State& state) {
  const int accounts = static_cast<int>(state.range(0));
  test::EngineCaller::Connect(bench::ChartFile(accounts));
  if (!Conn.ODBCConnected) {
    state.SkipWithError("the chart's file cannot be opened");
    return;
  }
  test::ScriptedUiScope ui;
  shell::RecordingScope shell;
  BuildMonthTables();
  G.DateFormat = "DMY";
  G.BodyFont = 9;
  G.Underline = 2;
  G.ExcelVersion = 2007;
  // Named for the process, so that two builds' benchmarks side by side keep their own.
  const std::string workbook = (std::filesystem::temp_directory_path() /
                                ("qvx-bench-forecast-" + std::to_string(::getpid()) + ".XLSX"))
                                   .string();
  if (!Produce(ui, workbook)) state.SkipWithError("no workbook");
  for (auto _ : state)
    if (!Produce(ui, workbook)) state.SkipWithError("no workbook");
  state.counters["accounts"] = static_cast<double>(G.NbrAccounts);
  std::filesystem::remove(workbook);
}
BENCHMARK(BM_BigChartForecastToWorkbook)->Arg(1200)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  return qvx::test::RunBenchmarks(argc, argv, [] {
    qvx::bench::BuildBigCharts();
    return true;
  });
}
