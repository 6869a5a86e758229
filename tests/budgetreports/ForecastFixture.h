// The budget forecast on a copy of the Australian sample company, connected through the
// test driver, with printers that print to a PDF file and the scripted user interface;
// and the company file's own figures read straight from SQLite, for comparison.
#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "budgetreports/BudgetForecast.h"
#include "budgetreports/BudgetReports.h"
#include "budgetreports/FilterBGTFC.h"
#include "companyfile/DataSource.h"
#include "core/DateRange.h"
#include "core/Globals.h"
#include "core/Dates.h"
#include "core/OutputFixture.h"
#include "core/Startup.h"
#include "samples/SamplePaths.h"
#include "support/OdbcTestEnv.h"
#include "support/SampleCopy.h"

namespace qvx::test {

// A company file opened for the test's own reading and changing.
struct SqlFile : RawFile {
  explicit SqlFile(const std::string& path) : RawFile(path, true) {}
};

// (account number, calendar month) -> amount.
using MonthFigures = std::map<std::pair<std::string, int>, Money>;

// Account number -> (name, type, level, parent number).
struct AccountRow {
  std::string name, type;
  int level = 0;
  std::string parent;
};

class ForecastTest : public OutputTest {
 protected:
  static void SetUpTestSuite() { UsePrivateOdbcRegistration(); }

  void SetUp() override {
    OutputTest::SetUp();
    BuildMonthTables();
    G.Underline = 1;
    G.ExcelVersion = 2007;
    file_ = Path("AUForecast.MYO");
    std::filesystem::copy_file(samples::SamplePath(samples::kAustralianFile), file_);
  }
  void TearDown() override {
    Conn = ConnectionState{};
    OutputTest::TearDown();
  }

  void Connect() {
    DataSource& ds = DataSource::Instance();
    ds = DataSource{};
    ds.ODBCAccessMode = "R";
    ds.ODBCDriver = "MYOAU1001";
    ds.ODBCUserID = "Administrator";
    ds.ODBCDataFile = file_;
    ds.ODBCProduct = "/opt/product/Product.exe";
    ds.MakeConnection();
    ASSERT_TRUE(Conn.ODBCConnected) << "connection failed";
    ui_->Clear();
  }

  // The period as the month-range dialog hands it over (day first), the options set as
  // the options dialog would, then the whole data phase and the lines.
  ForecastReport Lines(BudgetForecast& f, const std::string& from, const std::string& to,
                       const std::string& yearStart, const std::string& yearEnd, const std::string& mode,
                       int16_t level = 4, bool cash = false) {
    f.ResetTables();
    G.ReportFromDate = from;
    G.ReportToDate = to;
    G.FinYearStartDate = yearStart;
    G.FinYearEndDate = yearEnd;
    EXPECT_TRUE(f.CheckMonthLimit());
    f.SetWindow();
    SetReportPeriod();
    f.ColumnMode = mode;
    G.PrintLevel = level;
    G.CashBasis = Flag(cash);
    G.PrintToPrinter = kTrue;
    G.PrintToExcel = kFalse;
    if (!f.ReadData()) return {};
    return f.BuildLines();
  }

 public:
  // Actual figures per account and calendar month of the journal lines from..to
  // ('yyyy-mm-dd'), signed as the report shows them: credits add to income.
  MonthFigures SqlActuals(const std::string& from, const std::string& to) {
    SqlFile db(file_);
    MonthFigures out;
    for (const auto& r : db.Rows("SELECT a.AccountNumber, CAST(substr(j.TransactionDate, 6, 2) AS INTEGER), "
                                 "SUM(CAST(ROUND(j.TaxExclusiveAmount * 10000) AS INTEGER)) "
                                 "FROM JournalRecords j JOIN Accounts a ON a.AccountID = j.AccountID "
                                 "WHERE j.TransactionDate >= '" + from + "' AND j.TransactionDate <= '" + to +
                                 "' AND a.AccountLevel > 0 AND substr(a.AccountNumber, 1, 1) IN ('4','5','6','8','9') "
                                 "GROUP BY 1, 2")) {
      Money m = Money::FromRaw(std::stoll(r[2]));
      if (r[0][0] == '4' || r[0][0] == '8') m = -m;
      if (!m.IsZero()) out[{r[0], std::stoi(r[1])}] = m;
    }
    return out;
  }

  // Budgets per detail account and calendar month whose month lies in the window
  // yearStart..yearEnd ('yyyymm' keys), the financial year beginning in firstMonth.
  MonthFigures SqlBudgets(int firstMonth, const std::string& windowStart, const std::string& windowEnd) {
    SqlFile db(file_);
    const std::string fm = std::to_string(firstMonth);
    const std::string month = "((" + fm + " + b.Period - 2) % 12 + 1)";
    const std::string year = "(CASE WHEN " + fm + " <> 1 AND " + month + " >= " + fm +
                             " THEN b.FinancialYear - 1 ELSE b.FinancialYear END)";
    MonthFigures out;
    for (const auto& r : db.Rows("SELECT a.AccountNumber, " + month + ", SUM(CAST(ROUND(b.Amount * 10000) AS INTEGER)) "
                                 "FROM AccountBudgets b JOIN Accounts a ON a.AccountID = b.AccountID "
                                 "WHERE a.AccountTypeID = 'D' AND a.AccountLevel > 0 "
                                 "AND substr(a.AccountNumber, 1, 1) IN ('4','5','6','8','9') "
                                 "AND printf('%04d%02d', " + year + ", " + month + ") BETWEEN '" + windowStart +
                                 "' AND '" + windowEnd + "' GROUP BY 1, 2")) {
      const Money m = Money::FromRaw(std::stoll(r[2]));
      if (!m.IsZero()) out[{r[0], std::stoi(r[1])}] = m;
    }
    return out;
  }

  std::map<std::string, AccountRow> SqlAccounts() {
    SqlFile db(file_);
    std::map<std::string, AccountRow> out;
    for (const auto& r : db.Rows("SELECT a.AccountNumber, a.AccountName, a.AccountTypeID, a.AccountLevel, "
                                 "IFNULL(p.AccountNumber, '') FROM Accounts a "
                                 "LEFT JOIN Accounts p ON p.AccountID = a.ParentAccountID"))
      out[r[0]] = {r[1], r[2], std::stoi(r[3]), r[4]};
    return out;
  }

 protected:
  // The report run as a user runs it: typed dates in the period dialog, the options, and
  // the printer "Office Laser" (printed output) or the workbook Forecast.XLSX in the
  // test's folder.
  struct Options {
    std::string mode = "AB";
    int16_t level = 4;
    bool numbers = false;
    bool cash = false;
    bool excel = false;
    bool reachesOptions = true;  // the options dialog is expected
    bool choosePrinter = true;   // the printer dialog is expected
    bool cancelOptions = false;
    bool cancelPrinter = false;
  };

  // The messages of the run, without the reminder the save dialog starts with.
  std::vector<std::string> RunMessages() {
    std::vector<std::string> out;
    for (const auto& m : ui_->Messages())
      if (m.rfind("Please ensure that the file", 0) != 0) out.push_back(m);
    return out;
  }
  void RunReport(const std::string& from, const std::string& to, const Options& o) {
    G.DateFromKeys = kTrue;
    ui_->QueueForm([from, to](ui::Form& form) {
      auto& f = dynamic_cast<DateRangeForm&>(form);
      f.TxtFromDate.setText(QString::fromStdString(from));
      f.TxtFromDate_Validate();
      f.TxtToDate.setText(QString::fromStdString(to));
      f.TxtToDate_Validate();
      f.CmdOkay_Click();
    });
    // The options dialog seeds its controls from these, as for a user's next run.
    FilterBGTFC::Instance().ColumnType = o.mode;
    G.PrintLevel = o.level;
    G.PrintAccountNumbers = Flag(o.numbers);
    G.CashBasis = Flag(o.cash);
    const std::string workbook = Path("Forecast.XLSX");
    if (!o.reachesOptions) {
      std::string code = "BGTFCT";
      ReportBudgetForecast(code);
      return;
    }
    ui_->QueueForm([o, workbook, this](ui::Form& form) {
      auto& f = dynamic_cast<FilterBGTFCForm&>(form);
      if (o.cancelOptions) {
        f.Command1_Click();
        return;
      }
      f.ChkExcelFile.setChecked(o.excel);
      if (o.excel) ui_->QueueFile(workbook);
      f.Exit_Click();
    });
    if (!o.excel && o.choosePrinter)
      QueuePrinterChoice(o.cancelPrinter ? std::nullopt : std::optional<std::string>("Office Laser"));
    std::string code = "BGTFCT";
    ReportBudgetForecast(code);
  }

  // Figures of each shown column of every detail account with figures, from SQL: actual
  // months of the period, budget months of the window, by the column mode.
  std::map<std::string, std::vector<Money>> ExpectedRows(const std::string& mode, int startMonth, int monthCount,
                                                         const std::string& odbcFrom, const std::string& odbcTo,
                                                         const std::string& windowStart,
                                                         const std::string& windowEnd) {
    const MonthFigures actual = mode == "B" ? MonthFigures{} : SqlActuals(odbcFrom, odbcTo);
    const MonthFigures budget = mode == "A" ? MonthFigures{} : SqlBudgets(G.FirstMonth, windowStart, windowEnd);
    std::map<std::string, Money> twelve;
    for (const auto* source : {&actual, &budget})
      for (const auto& [key, amount] : *source) twelve[key.first] += amount;
    std::map<std::string, std::vector<Money>> out;
    const int shown = mode == "AB" ? 12 : monthCount;
    for (const auto& [number, sum] : twelve) {
      if (sum.IsZero()) continue;
      std::vector<Money> row;
      for (int c = 1; c <= shown; ++c) {
        const int month = (startMonth + c - 2) % 12 + 1;
        const bool isActual = mode == "A" || (mode == "AB" && c <= monthCount);
        const MonthFigures& source = isActual ? actual : budget;
        auto it = source.find({number, month});
        row.push_back(it == source.end() ? Money{} : it->second);
      }
      out[number] = row;
    }
    return out;
  }

  // A whole amount as the report writes it: rounded half away from zero, thousands
  // separators, negatives in brackets, "$" when asked.
  static std::string Whole(Money m, bool dollar = false) {
    const bool negative = m.Raw() < 0;
    const int64_t raw = negative ? -m.Raw() : m.Raw();
    std::string digits = std::to_string((raw + Money::kScale / 2) / Money::kScale);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<size_t>(i), ",");
    if (dollar) digits = "$" + digits;
    return negative && digits != "0" && digits != "$0" ? "(" + digits + ")" : digits;
  }
  static int64_t WholeValue(Money m) {
    const int64_t raw = m.Raw() < 0 ? -m.Raw() : m.Raw();
    const int64_t v = (raw + Money::kScale / 2) / Money::kScale;
    return m.Raw() < 0 ? -v : v;
  }

  std::string file_;
};

}  // namespace qvx::test
