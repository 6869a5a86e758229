#include "budgetreports/BudgetForecast.h"

#include <algorithm>
#include <unordered_map>

#include "budgetreports/AccountSections.h"
#include "budgetreports/BudgetFigures.h"
#include "budgetreports/BudgetReports.h"
#include "companyfile/Connection.h"
#include "core/DateRange.h"
#include "core/DateRangeMth.h"
#include "core/Dates.h"
#include "core/Globals.h"
#include "core/Lookups.h"
#include "core/Progress.h"
#include "core/ReportOutput.h"
#include "platform/ado/Ado.h"
#include "platform/ui/Ui.h"

namespace qvx {

namespace {

// One statement under the report's error handler; false when it failed.
template <class F>
bool Step(F&& statement) {
  return ReportStep(std::forward<F>(statement));
}

constexpr int32_t kAccountStep = 100;

// Months from the first date's month to the second's (negative when the second is earlier).
int32_t MonthBoundaries(const std::string& from, const std::string& to) {
  const bool dayFirst = G.DateFormat == "DMY";
  auto month = [&](const std::string& d) { return static_cast<int32_t>(Val(Mid(d, dayFirst ? 4 : 1, 2))); };
  auto year = [](const std::string& d) { return static_cast<int32_t>(Val(Mid(d, 7, 4))); };
  return (year(to) * 12 + month(to)) - (year(from) * 12 + month(from));
}

}  // namespace

int16_t BudgetForecast::SectionOf(const std::string& accountNumber) { return AccountSection(accountNumber); }

bool BudgetForecast::InASection(int32_t account) const {
  return account >= 1 && static_cast<size_t>(account) < acctSection_.size() &&
         acctSection_[static_cast<size_t>(account)] != kSectionNone;
}

void ReportBudgetForecast(std::string& /*reportCode*/) {
  BudgetForecast run;
  run.Run();
}

void BudgetForecast::Run() {
  ResetTables();
  if (!ChoosePeriod()) return;
  if (!CheckMonthLimit()) return;
  SetWindow();
  if (!Step([] { SetReportPeriod(); })) {
    EndReportOutput();
    return;
  }
  if (!ChooseOptions()) return;
  if (!StartOutput()) return;
  if (!ReadData()) return;
  const ForecastReport report = BuildLines();
  Draw(report);
}

bool BudgetForecast::ReadData() {
  if (G.PrintLevel == 1) G.PrintAccountNumbers = kFalse;
  if (!LoadAccounts()) return false;
  MapRows();
  SetLayout();
  if (!ReadActuals()) return false;
  if (ColumnMode == "B" || ColumnMode == "AB") LoadBudgets();
  // A twelve-month total beyond the money range shows the error box; the lines then say
  // what can be shown.
  bool hasData = true;
  Step([&] { hasData = HasData(); });
  if (!hasData) {
    G.MsgText = "No output to print for Report ";
    ui::MsgBox(G.MsgText, ui::Buttons::OK, ui::Icon::None, "No data for report");
    EndReportOutput();
    return false;
  }
  MakeSortKeys();
  PlanColumns();
  return true;
}

// ---------------------------------------------------------------- tables and period

void BudgetForecast::ResetTables() {
  G.AccountArraySize = 2;
  const size_t n = static_cast<size_t>(G.AccountArraySize) + 1;
  G.AcctIDs.assign(n, 0);
  G.AcctNumbers.assign(n, "");
  G.AcctNames.assign(n, "");
  G.AcctTypes.assign(n, "");
  G.AcctLevels.assign(n, 0);
  G.AcctParents.assign(n, 0);
  G.TxRowCapacity = G.AccountArraySize;
  RowAcct.assign(n, 0);
  CashKeys.assign(n, "");
  MthActual.assign(n, {});
  MthBudget.assign(n, {});
  RowKeys.assign(n, "");
  RowKeyCount = 0;
  acctSection_.assign(n, 0);
  SectionCaption = {"", "Income", "Cost of Sales", "Expenses", "Other Income", "Other Expense", "Surplus/Deficit"};
  SectionHeaderName = {};
  ColumnPos = {};

  if (G.BodyFont == 0) G.BodyFont = 9;
  G.ExcelFile = kFalse;
  G.NewPageFlag = kFalse;
  G.HeadingMode = kTrue;
  G.PageNo = 0;
  G.PrintCancelled = kFalse;
  G.ChoosePrinter = kTrue;
  G.ReportOK = kFalse;
  G.SortPos = 0;
  G.LineCount = 0;
  G.NbrAccounts = 0;
  G.TxRowCount = 0;
}

bool BudgetForecast::ChoosePeriod() {
  bool ok = false;
  std::string from, to, yearStart, yearEnd;
  if (G.DateFromKeys) {
    DateRange& d = DateRange::Instance();
    d.Show();
    ok = d.ExitOkay;
    from = d.FromDateX, to = d.ToDateX, yearStart = d.StartFinancialYear, yearEnd = d.EndFinancialYear;
  } else {
    DateRangeMth& d = DateRangeMth::Instance();
    d.Show();
    ok = d.ExitOkay;
    from = d.FromDateX, to = d.ToDateX, yearStart = d.StartFinancialYear, yearEnd = d.EndFinancialYear;
  }
  if (!ok) {
    EndReportOutput();
    return false;
  }
  G.ReportFromDate = from;
  G.ReportToDate = to;
  G.FinYearStartDate = yearStart;
  G.FinYearEndDate = yearEnd;
  return true;
}

bool BudgetForecast::CheckMonthLimit() {
  const int32_t months = MonthBoundaries(G.ReportFromDate, G.ReportToDate);
  if (months > 11) {
    G.MsgText = "Please select no more than 12 months ";
    ui::MsgBox(G.MsgText, ui::Buttons::OK, ui::Icon::None, "Date Range");
    EndReportOutput();
    return false;
  }
  // A period that ends before it starts has no months to lay out.
  const bool dayFirst = G.DateFormat == "DMY";
  auto key = [&](const std::string& d) {
    return Mid(d, 7, 4) + Mid(d, dayFirst ? 4 : 1, 2) + Mid(d, dayFirst ? 1 : 4, 2);
  };
  if (months < 0 || key(G.ReportToDate) < key(G.ReportFromDate)) {
    G.MsgText = "The From date is after the To date ";
    ui::MsgBox(G.MsgText, ui::Buttons::OK, ui::Icon::None, "Date Range");
    EndReportOutput();
    return false;
  }
  return true;
}

void BudgetForecast::SetWindow() {
  const bool dayFirst = G.DateFormat == "DMY";
  StartMonth = CInt(Val(Mid(G.ReportFromDate, dayFirst ? 4 : 1, 2)));
  if (StartMonth == G.FirstMonth) return;
  // The report works in the twelve months that begin at the From date.
  G.FinYearStartDate = G.ReportFromDate;
  const int fromYear = static_cast<int>(Val(Mid(G.ReportFromDate, 7, 4)));
  int year = fromYear + 1, month = StartMonth - 1;
  if (StartMonth == 1) year = fromYear, month = 12;
  const std::string day = TwoDigits(DaysInMonth(year, month));
  const std::string mm = TwoDigits(month);
  G.FinYearEndDate = (dayFirst ? day + "/" + mm : mm + "/" + day) + "/" + std::to_string(year);
}

bool BudgetForecast::ChooseOptions() {
  FilterBGTFC& f = FilterBGTFC::Instance();
  f.Show();
  if (!f.ExitOkay) return false;
  ColumnMode = f.ColumnType;
  return true;
}

bool BudgetForecast::StartOutput() {
  if (G.OutputType == "EXCEL" && G.PrintToExcel) {
    StartExcel(ExcelObjects::FromGlobals(), "L");
    if (!G.ExcelOpen) {
      // Nothing can be written: the run ends without touching the chosen file.
      EndReportOutput();
      return false;
    }
    G.ExcelRow = 1;
    G.ExcelFile = kTrue;
    G.ChoosePrinter = kFalse;
  }
  return true;
}

// ---------------------------------------------------------------- accounts and rows

void BudgetForecast::GrowTables() {
  G.AccountArraySize += kAccountStep;
  const size_t n = static_cast<size_t>(G.AccountArraySize) + 1;
  G.AcctIDs.resize(n, 0);
  G.AcctNumbers.resize(n);
  G.AcctNames.resize(n);
  G.AcctTypes.resize(n);
  G.AcctLevels.resize(n, 0);
  G.AcctParents.resize(n, 0);
  acctSection_.resize(n, 0);
  RowAcct.assign(n, 0);
  CashKeys.assign(n, "");
  MthActual.assign(n, {});
  MthBudget.assign(n, {});
  G.TxRowCapacity = G.AccountArraySize;
}

bool BudgetForecast::LoadAccounts() {
  Conn.SQLStr = "SELECT AccountID, AccountNumber, AccountName, AccountLevel, AccountTypeID, ParentAccountID  ";
  Conn.SQLStr += "FROM MYOB.Accounts ORDER BY AccountID ;";
  std::unique_ptr<ado::Recordset> rs = OpenRecordset(Conn.SQLStr);
  if (!rs) {
    EndReportOutput();
    return false;
  }
  while (!rs->Eof()) {
    // A row whose values cannot be read is left out whole.
    Step([&] {
      const int16_t level = (*rs)["AccountLevel"].ToInteger();
      const std::string number = (*rs)["AccountNumber"].ToString();
      if (level <= 0 || Left(number, 1) < "4") return;
      const int32_t id = (*rs)["AccountID"].ToLong();
      const std::string name = (*rs)["AccountName"].Text();
      const std::string type = (*rs)["AccountTypeID"].Text();
      const ado::Variant parent = (*rs)["ParentAccountID"];
      const int32_t parentID = parent.IsNull() || parent.IsEmpty() ? 0 : parent.ToLong();
      if (G.NbrAccounts + 1 > G.AccountArraySize) GrowTables();
      const auto i = static_cast<size_t>(++G.NbrAccounts);
      G.AcctIDs[i] = id;
      G.AcctNumbers[i] = number;
      G.AcctNames[i] = name;
      G.AcctTypes[i] = type;
      G.AcctLevels[i] = level;
      G.AcctParents[i] = parentID;
      acctSection_[i] = SectionOf(number);
      if (Right(number, 4) == "0000" && acctSection_[i] > 0) {
        SectionCaption[static_cast<size_t>(acctSection_[i])] = name;
        SectionHeaderName[static_cast<size_t>(acctSection_[i])] = name;
      }
    });
    if (!Step([&] { rs->MoveNext(); })) break;
  }
  G.TxRowCapacity = G.AccountArraySize;
  Step([&] { rs->Close(); });
  G.AccountsSorted = kTrue;
  return true;
}

void BudgetForecast::MapRows() {
  // Every account gets its own row in account order, so row r belongs to account r.
  for (int32_t i = 1; i <= G.NbrAccounts; ++i) {
    int32_t row = 0;
    Step([&] { FindOrAddIndex(i, RowAcct, row, G.TxRowCount); });
  }
}

void BudgetForecast::SetLayout() {
  NumberCol = 2;
  IndentText = "   ";
  NameWidth = 25;
  NameCol = G.PrintAccountNumbers ? 9 : 2;
  G.BodyFont = 8;
  G.AmtWidth = 11;
  ColumnGap = G.PrintAccountNumbers ? 3 : 4;
  SetColumnPositions();
  if (G.PTLines == 0) {
    G.PTLines = 75;
    G.LSLines = 58;
  }
  G.PageLines = G.LSLines;
  // A page needs room for its lines: no length configured means the landscape default.
  if (G.PageLines <= 0) G.PageLines = 58;
  G.PrintOrientation = 2;
}

void BudgetForecast::SetColumnPositions() {
  ColumnPos[1] = static_cast<int16_t>(NameCol + NameWidth + 10);
  for (size_t i = 2; i <= 13; ++i) ColumnPos[i] = static_cast<int16_t>(ColumnPos[i - 1] + G.AmtWidth + ColumnGap);
}

// ---------------------------------------------------------------- figures

bool BudgetForecast::ReadActuals() {
  if (ColumnMode != "A" && ColumnMode != "AB") return true;
  if (G.CashBasis) {
    ReadCashBasis();
    return true;
  }
  return ReadJournal();
}

void BudgetForecast::ReadCashBasis() {
  CashKeys.assign(static_cast<size_t>(G.TxRowCount) + 1, "");
  const size_t rows = static_cast<size_t>(G.TxRowCapacity) + 1;
  std::vector<Money> monthTotal(rows), rangeTotal(rows), lyMonth(rows), lyRange(rows), ly12(rows), annual(rows);
  std::vector<Money> scratch9(11);
  std::vector<int32_t> scratch13(11);
  std::string postMode = "A";
  int16_t includeJournals = kTrue;
  int16_t lastYear = kFalse;
  TransactionArgs args{.PostMode = postMode,
                       .CashMode = G.CashBasis,
                       .IncludeGJ = includeJournals,
                       .AccountIDs = G.AcctIDs,
                       .AccountNumbers = G.AcctNumbers,
                       .Reserved9 = scratch9,
                       .AccountCount = G.NbrAccounts,
                       .RowMap = RowAcct,
                       .KeyList = CashKeys,
                       .Reserved13 = scratch13,
                       .RowCount = G.TxRowCount,
                       .RowCapacity = G.TxRowCapacity,
                       .MonthAmounts = MthActual,
                       .MonthTotal = monthTotal,
                       .RangeTotal = rangeTotal,
                       .LYMonthTotal = lyMonth,
                       .LYRangeTotal = lyRange,
                       .LY12Months = ly12,
                       .Reserved22 = annual,
                       .LastYear = lastYear};
  Step([&] { ReadTransactions(args); });
  // The engine counts every account it is given; one of a class without a section counts
  // in none, as on the accrual basis.
  for (int32_t row = 1; row <= G.TxRowCount; ++row)
    if (!InASection(RowAcct[static_cast<size_t>(row)])) MthActual[static_cast<size_t>(row)] = {};
}

bool BudgetForecast::ReadJournal() {
  Progress& progress = Progress::Instance();
  Step([&] {
    progress.Window().PBar.setMinimum(0);
    progress.SetCaption("Reading transactions ...");
    progress.Show();
  });
  G.ProgressShown = true;
  int32_t JrnRecordNo = 0;

  Conn.SQLStr = std::string("SELECT ") + "SetID, TransactionDate, AccountID, TaxExclusiveAmount, JobID " +
                "FROM MYOB.JournalRecords " + "WHERE (TransactionDate => '" + G.ODBCFromDate +
                "' AND TransactionDate <= '" + G.ODBCToDate + "' ) ;";
  std::unique_ptr<ado::Recordset> rs = OpenRecordset(Conn.SQLStr);
  if (!rs) {
    EndReportOutput();
    return false;
  }

  // Accounts are held in AccountID order, so the account of a line is found by halves;
  // the text of each date is made once.
  std::unordered_map<int64_t, int16_t> monthOfDate;
  const bool dayFirst = G.DateFormat == "DMY";
  auto monthOf = [&](const ado::Variant& v) -> int16_t {
    auto monthOfText = [&](const std::string& text) { return CInt(Val(Mid(text, dayFirst ? 4 : 1, 2))); };
    if (v.Type() != ado::VarType::Date) return monthOfText(v.ToString());
    const ado::Date& d = v.Get<ado::Date>();
    const int64_t key = (static_cast<int64_t>(d.year) * 13 + d.month) * 32 + d.day;
    auto it = monthOfDate.find(key);
    if (it == monthOfDate.end()) it = monthOfDate.emplace(key, monthOfText(v.ToString())).first;
    return it->second;
  };

  const int32_t records = static_cast<int32_t>(rs->RecordCount());
  const int32_t barStep = std::max<int32_t>(1, records / 1000);
  if (records > 0) Step([&] { progress.SetMax(records); });
  std::optional<ado::Field> dateField, accountField, amountField;
  if (records > 0 && !Step([&] {
        dateField = rs->Fields("TransactionDate");
        accountField = rs->Fields("AccountID");
        amountField = rs->Fields("TaxExclusiveAmount");
      }))
    rs.reset();

  while (rs && !rs->Eof()) {
    // A line with a value that cannot be read is left out whole, so that nothing of the
    // line before is counted again.
    Step([&] {
      const int32_t accountID = accountField->Value().ToLong();
      const int32_t index = BinarySearch(G.AcctIDs, accountID, G.NbrAccounts);
      if (index < 1) return;
      if (!InASection(index)) return;
      const int16_t section = acctSection_[static_cast<size_t>(index)];
      const int16_t month = monthOf(dateField->Value());
      const Money amount = amountField->Value().ToCurrency();
      if (month < 0 || month > 12) Raise(err::SubscriptOutOfRange);
      Money& cell = MthActual.at(static_cast<size_t>(index)).at(static_cast<size_t>(month));
      // Income is credit-normal: a credit adds to it, a debit takes away.
      if (section == 1 || section == 4)
        cell -= amount;
      else
        cell += amount;
    });
    ++JrnRecordNo;
    if (JrnRecordNo % barStep == 0 || JrnRecordNo == records) Step([&] { progress.SetValue(JrnRecordNo); });
    ui::DoEvents();
    if (!Step([&] { rs->MoveNext(); })) break;
  }

  if (G.ProgressShown) {
    Step([&] { progress.Unload(); });
    G.ProgressShown = false;
  }
  if (rs && records > 0) Step([&] { rs->Close(); });
  return true;
}

void BudgetForecast::LoadBudgets() {
  Step([&] {
    LoadAccountBudgets(RowAcct, MthBudget);
  });
}

bool BudgetForecast::HasData() const {
  for (size_t row = 1; row <= static_cast<size_t>(G.TxRowCount); ++row) {
    Money total;
    for (size_t m = 1; m <= 12; ++m) total += MthActual[row][m] + MthBudget[row][m];
    if (!total.IsZero()) return true;
  }
  return false;
}

void BudgetForecast::MakeSortKeys() {
  // The row number follows the six characters of the account number; its field is as
  // wide as the largest row number needs.
  keyRowWidth_ = std::max<int32_t>(4, static_cast<int32_t>(std::to_string(G.TxRowCount).size()));
  RowKeys.assign(static_cast<size_t>(G.TxRowCapacity) + 1, "");
  RowKeyCount = 0;
  for (int32_t row = 1; row <= G.TxRowCount; ++row) {
    std::string key(static_cast<size_t>(6 + keyRowWidth_), ' ');
    const std::string number = Left(G.AcctNumbers[static_cast<size_t>(RowAcct[static_cast<size_t>(row)])], 6);
    key.replace(0, number.size(), number);
    const std::string rowText = std::to_string(row);
    key.replace(6, rowText.size(), rowText);
    RowKeys[static_cast<size_t>(++RowKeyCount)] = key;
  }
  Step([&] { SortArray(RowKeys, 1, RowKeyCount, G.SortOrder); });
}

void BudgetForecast::PlanColumns() {
  MonthCount = static_cast<int16_t>(G.ToMonth - StartMonth + 1);
  if (MonthCount < 1) MonthCount = static_cast<int16_t>(MonthCount + 12);
  if (ColumnMode == "AB") {
    BasisPattern = std::string(12, 'B');
    int16_t m = StartMonth;
    for (int16_t i = 0; i < MonthCount; ++i) {
      BasisPattern[static_cast<size_t>(m - 1)] = 'A';
      m = static_cast<int16_t>(m == 12 ? 1 : m + 1);
    }
  } else if (ColumnMode == "A") {
    BasisPattern = std::string(12, 'A');
  } else {
    BasisPattern = std::string(12, 'B');
  }
  static const std::string letters = "BCDEFGHIJKLMN";
  LastColLetter = ColumnMode == "AB" ? "N" : letters.substr(static_cast<size_t>(MonthCount), 1);
}

}  // namespace qvx
