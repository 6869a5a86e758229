// A group run over 30 company files of about 100,000 journal lines each, read and written
// to a workbook, against the 30 per-file SQL aggregates (journal sums of the period by
// account) that give the same figures.
#include <benchmark/benchmark.h>

#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "companyfile/Connection.h"
#include "companyfile/DataSource.h"
#include "core/Globals.h"
#include "core/Preferences.h"
#include "core/ReportOutput.h"
#include "groupreports/ConsolidatedReport.h"
#include "groupreports/ConsolidationData.h"
#include "groupreports/ConsolidationFile.h"
#include "platform/sys/Sys.h"
#include "platform/ui/ScriptedUi.h"
#include "samples/SampleBooks.h"
#include "BenchSession.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 30;
constexpr int kJournalLines = 100000;

std::string Folder() { return std::string(QVX_BINARY_DIR) + "/bench-data/group-" + qvx::samples::kBooksRevision; }
std::string Member(int i) { return Folder() + "/Member" + (i < 10 ? "0" : "") + std::to_string(i) + ".MYO"; }

// One large file copied 30 times, each copy with its own settings in "1-0000".
void EnsureFiles() {
  if (fs::exists(Member(kFiles))) return;
  fs::create_directories(Folder());
  const std::string base = Folder() + "/Base.part";
  if (!fs::exists(base)) qvx::samples::BuildLarge(base, kJournalLines);
  static const int kPercent[] = {100, 60, 75, 50, 90, 40};
  for (int i = 1; i <= kFiles; ++i) {
    const std::string part = Member(i) + ".part";
    fs::copy_file(base, part, fs::copy_options::overwrite_existing);
    sqlite3* db = nullptr;
    sqlite3_open(part.c_str(), &db);
    const std::string sql = "UPDATE Accounts SET AccountDescription = 'GROUPNAME=BENCH CONSOLIDATE " +
                            std::to_string(kPercent[i % 6]) + "% SHORTNAME=M" + std::to_string(i) +
                            " EMPLOYEES=" + std::to_string(i) + "' WHERE AccountNumber = '1-0000'";
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw std::runtime_error("cannot set up " + part);
    fs::rename(part, Member(i));
  }
}

struct Session : qvx::test::BenchSession {
  Session() : BenchSession(Folder() + "/program") {
    EnsureFiles();
    // The period: the financial year July 2025 to June 2026.
    qvx::G.ODBCYearStartDate = "2025-07-01";
    qvx::G.ODBCFromDate = "2025-07-01";
    qvx::G.ODBCToDate = "2026-06-30";
    qvx::G.FromYMD = "20250701";
    qvx::G.ToYMD = "20260630";
    qvx::G.PeriodText = "For the period 1 July 2025 to 30 June 2026";
    qvx::G.DateFormat = "DMY";
    qvx::G.BodyFont = 9;
    qvx::G.PrintLevel = 2;
    qvx::G.Underline = 2;
  }
  void Connect(int i) {
    qvx::DataSource& ds = qvx::DataSource::Instance();
    ds.ODBCDataFile = Member(i);
    ds.MakeConnection();
    if (!qvx::Conn.ODBCConnected) throw std::runtime_error("no connection to " + Member(i));
  }
};

Session& TheSession() {
  static Session session;
  return session;
}

void BM_GroupRunToWorkbook(benchmark::State& state) {
  Session& s = TheSession();
  const std::string out = Folder() + "/out";
  fs::create_directories(out);
  qvx::Preferences::Instance().BMGrossProfit = qvx::Money::FromUnits(100000);
  qvx::Preferences::Instance().BMStaff = qvx::Money::FromUnits(10);
  int32_t lines = 0;
  for (auto _ : state) {
    qvx::ConsolidationData& d = qvx::Consolidation;
    d = qvx::ConsolidationData{};
    d.SeparateCols = true;
    d.ShowAverage = true;
    d.GroupColSide = "L";
    d.MaxConsFiles = qvx::kMaxConsFilesOther;
    for (int i = 1; i <= kFiles; ++i) {
      s.Connect(i);
      qvx::ConsolidationFileReader reader(d);
      reader.ReadConsolidationFile();
      if (reader.FileAccepted) d.ConsFileName[static_cast<size_t>(reader.FileIdx)] = fs::path(Member(i)).filename();
    }
    if (d.PercentFileCount != kFiles) throw std::runtime_error("not every file was accepted");
    qvx::G.PrintToPrinter = qvx::kFalse;
    qvx::G.PrintToExcel = qvx::kTrue;
    qvx::G.OutputType = "EXCEL";
    qvx::G.HeadingMode = qvx::kTrue;
    qvx::G.NewPageFlag = qvx::kFalse;
    qvx::G.ReportOK = qvx::kFalse;
    qvx::G.PageNo = 0;
    qvx::G.LineCount = 0;
    qvx::WriteConsolidatedReport(d);
    lines = qvx::G.ExcelRow;
    fs::remove(out + "/Group.xlsx");
    int16_t saved = 0;
    qvx::SaveAndCloseExcel(qvx::ExcelObjects::FromGlobals(), out + "/", "Group.xlsx", saved);
    if (!saved) throw std::runtime_error("workbook not saved");
  }
  state.counters["rows"] = lines;
  state.SetItemsProcessed(state.iterations() * kFiles * kJournalLines);
}
BENCHMARK(BM_GroupRunToWorkbook)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same figures straight from SQL: per file, the journal of the period summed by
// account, every row read.
void BM_PerFileSqlAggregates(benchmark::State& state) {
  Session& s = TheSession();
  int64_t rows = 0;
  for (auto _ : state) {
    rows = 0;
    for (int i = 1; i <= kFiles; ++i) {
      s.Connect(i);
      qvx::Conn.SQLStr =
          "SELECT AccountID, SUM(TaxExclusiveAmount) AS Amount FROM MYOB.JournalRecords WHERE TransactionDate => '" +
          qvx::G.ODBCFromDate + "' AND TransactionDate <= '" + qvx::G.ODBCToDate + "' GROUP BY AccountID ;";
      std::unique_ptr<qvx::ado::Recordset> rs = qvx::OpenRecordset(qvx::Conn.SQLStr);
      if (!rs) throw std::runtime_error("aggregate failed");
      qvx::Money sum;
      for (; !rs->Eof(); rs->MoveNext()) {
        sum += (*rs)["Amount"].ToCurrency();
        ++rows;
      }
      rs->Close();
      benchmark::DoNotOptimize(sum);
    }
  }
  state.counters["rows"] = static_cast<double>(rows);
  state.SetItemsProcessed(state.iterations() * kFiles * kJournalLines);
}
BENCHMARK(BM_PerFileSqlAggregates)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
