// What the budget comparison's benchmark programs share: the report run end to end
// into a workbook or a PDF, over the financial year July 2025 to June 2026 of the
// benchmark file the program connected to.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "EngineBenchMain.h"
#include "budgetreports/BudgetComparison.h"
#include "companyfile/Connection.h"
#include "core/Globals.h"
#include "core/SelectPrinter.h"
#include "core/Startup.h"
#include "platform/printer/Printer.h"
#include "platform/shell/Shell.h"
#include "support/TestUi.h"

namespace qvx::bench {

constexpr const char* kFrom = "2025-07-01";
constexpr const char* kTo = "2026-06-30";

inline long LinesInPeriod() {
  auto rs = OpenRecordset(std::string("SELECT COUNT(*) AS N FROM MYOB.JournalRecords WHERE TransactionDate >= '") +
                          kFrom + "' AND TransactionDate <= '" + kTo + "'");
  return rs ? (*rs)["N"].ToLong() : 0;
}

// The benchmarks' report: month and year-to-date columns, the annual budget, the Grand
// Totals and account numbers.
inline ComparisonOptions YearOptions(bool toExcel) {
  ComparisonOptions o;
  o.AnnualMode = 1;
  o.IncludeGrandTots = true;
  o.PrintAccountNumbers = true;
  o.ToExcel = toExcel;
  return o;
}

// What a run of the report needs around it: a user interface that answers without a
// window, the shell's calls recorded, the month tables and the day-first date order.
struct ComparisonRun {
  test::ScriptedUiScope ui;
  shell::RecordingScope shell;
  std::string folder = std::filesystem::temp_directory_path().string() + "/";
  // Named for the process, so that benchmarks running side by side keep their own files.
  std::string stem = "qvx-bench-comparison-" + std::to_string(::getpid());

  ComparisonRun() {
    BuildMonthTables();
    G.DateFormat = "DMY";
  }
  ~ComparisonRun() {
    std::filesystem::remove(folder + stem + ".xlsx");
    std::filesystem::remove(folder + stem + ".pdf");
  }
  ComparisonRun(const ComparisonRun&) = delete;
  ComparisonRun& operator=(const ComparisonRun&) = delete;

  // One report of the year with these options into a fresh workbook, or printed into a
  // fresh PDF on the first printer of the printer box; false when no file was written.
  bool Produce(const ComparisonOptions& options) {
    BudgetComparison r;
    r.Opt = options;
    const std::string file = folder + stem + (options.ToExcel ? ".xlsx" : ".pdf");
    std::filesystem::remove(file);
    G.OutputFolder = folder;
    G.OutputFileName = stem + ".xlsx";
    if (!options.ToExcel) {
      printer::Environment().systemPrinters = std::vector<std::string>{"Office Laser"};
      printer::Environment().redirectToPdf = file;
      printer::SetCurrent("Office Laser");
      ui->QueueForm([](ui::Form& f) {
        auto& form = dynamic_cast<SelectPrinterForm&>(f);
        form.lstPrinters.setCurrentRow(0);
        form.cmdOK_Click();
      });
    }
    test::EngineCaller::SetPeriod("01/07/2025", "30/06/2026", "01/07/2025", "30/06/2026");
    return r.Produce() && std::filesystem::exists(file);
  }

  // The workbook with month and last-year columns.
  bool Produce(bool cash) {
    ComparisonOptions o = YearOptions(true);
    o.CashBasis = cash;
    o.LYColumns = true;
    return Produce(o);
  }
};

inline void RunComparison(benchmark::State& state, bool cash) {
  const long lines = LinesInPeriod();
  ComparisonRun run;
  for (auto _ : state)
    if (!run.Produce(cash)) state.SkipWithError("no workbook");
  state.SetItemsProcessed(state.iterations() * lines);
  state.counters["lines"] = static_cast<double>(lines);
}

// The same actual figures per account from the driver in one query: SQLite's own GROUP BY
// over the year, the anchor the comparison is measured against. Returns the seconds of
// one iteration.
inline double RunSingleAggregate(benchmark::State& state) {
  const long lines = LinesInPeriod();
  const std::string sql = std::string(
                              "SELECT j.AccountID, SUM(ROUND(j.TaxExclusiveAmount, 2)) AS Total "
                              "FROM MYOB.JournalRecords j WHERE j.TransactionDate >= '") +
                          kFrom + "' AND j.TransactionDate <= '" + kTo + "' GROUP BY j.AccountID";
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    auto rs = OpenRecordset(sql);
    Money sum;
    for (; rs && !rs->Eof(); rs->MoveNext()) sum += (*rs)["Total"].ToCurrency();
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * lines);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
         static_cast<double>(state.iterations());
}

}  // namespace qvx::bench
