#include "budgetreports/BudgetFigures.h"

#include <exception>
#include <memory>
#include <optional>

#include "budgetreports/AccountSections.h"
#include "companyfile/AccountActivities.h"
#include "companyfile/Connection.h"
#include "core/Globals.h"
#include "core/Lookups.h"
#include "core/Progress.h"
#include "core/ReportOutput.h"
#include "platform/ui/Ui.h"

namespace qvx {

namespace {

// Element i of an array, error 9 when the array has no such slot.
template <class T>
T& At(std::vector<T>& v, int64_t i) {
  if (i < 0 || static_cast<uint64_t>(i) >= v.size()) Raise(err::SubscriptOutOfRange);
  return v[static_cast<size_t>(i)];
}
template <class T>
const T& At(const std::vector<T>& v, int64_t i) {
  if (i < 0 || static_cast<uint64_t>(i) >= v.size()) Raise(err::SubscriptOutOfRange);
  return v[static_cast<size_t>(i)];
}

// One statement of a reader: a failure shows the error box; false tells the caller.
template <class F>
bool Step(F&& statement) {
  return ReportStep(std::forward<F>(statement));
}

struct BudgetRow {
  int32_t accountID = 0;
  int32_t period = 0;
  Money amount;
  int32_t financialYear = 0;
  std::string key;  // yyyymm01, empty when the row names no month
};

// The query's columns, found once.
struct BudgetColumns {
  std::optional<ado::Field> account, period, amount, year;
};

// Reads the current row. A row with an empty column is no budget and is passed over
// without a word; a column that cannot be read shows the error box. Either way nothing
// of the previous row stands in for it.
std::optional<BudgetRow> ReadRow(const BudgetColumns& c) {
  std::optional<BudgetRow> result;
  Step([&] {
    const ado::Variant account = c.account.value().Value();
    const ado::Variant period = c.period.value().Value();
    const ado::Variant amount = c.amount.value().Value();
    const ado::Variant year = c.year.value().Value();
    if (account.IsNull() || period.IsNull() || amount.IsNull() || year.IsNull()) return;
    BudgetRow row;
    row.accountID = account.ToLong();
    row.period = period.ToInteger();
    row.amount = amount.ToCurrency();
    row.financialYear = year.ToInteger();
    row.key = BudgetMonthKey(row.period, row.financialYear);
    result = row;
  });
  return result;
}

// Runs the budget query. Without a recordset the reader has already said why.
std::unique_ptr<ado::Recordset> OpenBudgets(BudgetColumns& columns) {
  Conn.SQLStr = kBudgetQuery;
  std::unique_ptr<ado::Recordset> rs = OpenRecordset(Conn.SQLStr);
  if (rs && !Step([&] {
        columns.account = rs->Fields("AccountID");
        columns.period = rs->Fields("Period");
        columns.amount = rs->Fields("Amount");
        columns.year = rs->Fields("FinancialYear");
      }))
    rs.reset();
  return rs;
}

void CloseBudgets(std::unique_ptr<ado::Recordset>& rs) {
  if (!rs) return;
  try {
    rs->Close();
  } catch (const std::exception&) {
    // Already closed: released all the same.
  }
  rs.reset();
}

// Moves to the next row; a move that fails ends the read rather than reading the same
// row again.
bool Next(ado::Recordset& rs) { return Step([&] { rs.MoveNext(); }); }

bool AtEnd(ado::Recordset& rs) {
  bool end = true;
  return !Step([&] { end = rs.Eof(); }) || end;
}

void AddAt(std::vector<Money>& figures, int32_t row, Money amount) {
  Step([&] { At(figures, row) += amount; });
}

}  // namespace

std::string BudgetMonthKey(int32_t period, int32_t financialYear) {
  if (period < 1 || period > 12 || financialYear < 1001 || financialYear > 9999) return {};
  return PeriodKey(G.FirstMonth, period, financialYear);
}

void GetBudgetFigures(ReportArrays& a) {
  // Period bounds: the first day of the start month and the period end, as keys.
  const std::string fromKey = Left(G.ODBCFromDate, 4) + Mid(G.ODBCFromDate, 6, 2) + "01";
  const std::string toKey = Left(G.ODBCToDate, 4) + Mid(G.ODBCToDate, 6, 2) + Mid(G.ODBCToDate, 9, 2);
  const std::string monthKey = Left(G.ToYMD, 6);

  Step([] {
    Progress& p = Progress::Instance();
    p.Window().PBar.setMinimum(0);
    p.SetCaption(kBudgetCaption);
  });
  BudgetColumns columns;
  std::unique_ptr<ado::Recordset> rs = OpenBudgets(columns);

  int32_t rowsRead = 0;
  while (rs && !AtEnd(*rs)) {
    if (rowsRead == 0) {
      Step([&] {
        Progress& p = Progress::Instance();
        p.SetMax(static_cast<int32_t>(rs->RecordCount()));
        p.Show();
        G.ProgressShown = true;
      });
    }
    if (const std::optional<BudgetRow> row = ReadRow(columns); row && !row->key.empty()) {
      const std::string& key = row->key;
      const bool inMonth = Left(key, 6) == monthKey;
      const bool inPeriod = fromKey <= key && key <= toKey;
      const bool inYear = G.FinYearStartYMD <= key && key <= G.FinYearEndYMD;
      if (!row->amount.IsZero() && (inMonth || inPeriod || inYear)) {
        int32_t line = 0;
        // The table is sorted by identifier; a row of no account of the report adds nothing.
        const bool found = Step([&] {
          G.AccountIndex = BinarySearch(G.AcctIDs, row->accountID, G.NbrAccounts);
          if (G.AccountIndex >= 1) FindOrAddIndex(G.AccountIndex, a.LineAcct, line, G.TxRowCount);
        });
        if (found && line >= 1) {
          if (inMonth) AddAt(a.BgtMonth, line, row->amount);
          if (inPeriod) AddAt(a.BgtYTD, line, row->amount);
          if (inYear) AddAt(a.AnnualCol, line, row->amount);
        }
      }
    }
    ++rowsRead;
    Step([&] { Progress::Instance().SetValue(rowsRead); });
    ui::DoEvents();
    if (!Next(*rs)) break;
  }

  CloseBudgets(rs);
  if (G.ProgressShown) Step([] { Progress::Instance().Unload(); });
}

void LoadAccountBudgets(std::vector<int32_t>& RowAcct, MonthTable& MthBudget) {
  BudgetColumns columns;
  std::unique_ptr<ado::Recordset> rs = OpenBudgets(columns);
  while (rs && !AtEnd(*rs)) {
    const std::optional<BudgetRow> row = ReadRow(columns);
    std::string number, name;
    bool taken = false;
    // Detail accounts of the profit and loss only, months of the financial year only.
    if (row && !row->amount.IsZero() && !row->key.empty())
      Step([&] {
        GetAccountDetails(G.AcctIDs, row->accountID, number, name);
        taken = G.AccountIndex > 0 && Left(number, 1) > "3" && At(G.AcctTypes, G.AccountIndex) == "D" &&
                G.FinYearStartYMD <= row->key && row->key <= G.FinYearEndYMD;
      });
    int16_t section = 0;
    if (taken) GetAccountSection(number, section);
    int32_t line = 0;
    if (section > 0 && Step([&] { FindOrAddIndex(G.AccountIndex, RowAcct, line, G.TxRowCount); })) {
      const int month = static_cast<int>(Val(Mid(row->key, 5, 2)));
      Step([&] { At(MthBudget, line).at(static_cast<size_t>(month)) += row->amount; });
    }
    if (!Next(*rs)) break;
  }
  CloseBudgets(rs);
}

}  // namespace qvx
