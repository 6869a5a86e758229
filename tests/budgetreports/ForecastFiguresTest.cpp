// The forecast's figures on the Australian sample against the company file's own
// journal lines and budgets, summed with SQL: every month of every detail line, every
// row total, every header total and every profit line, for windows that start in the
// financial year's first month, in January and in other months.
#include <algorithm>
#include <ostream>
#include <set>

#include "ForecastFixture.h"

namespace qvx::test {
namespace {

struct WindowCase {
  const char* name;
  const char* from;
  const char* to;
  const char* mode;
  int startMonth;
  int monthCount;
  const char* windowStart;  // yyyymmdd keys of the twelve-month window
  const char* windowEnd;
  const char* odbcTo;
  const char* yearStart = "01/07/2025";  // the financial year the dialog hands over
  const char* yearEnd = "30/06/2026";
};
// Named in test listings by its name rather than its bytes, which change from build to build.
void PrintTo(const WindowCase& c, std::ostream* os) { *os << c.name; }

class ForecastFiguresTest : public ForecastTest, public ::testing::WithParamInterface<WindowCase> {};

// Sum of the expected figures of every detail account below header (at any depth).
bool Below(const std::map<std::string, AccountRow>& accounts, std::string number,
           const std::string& header) {
  for (int guard = 0; guard < 8 && !number.empty(); ++guard) {
    number = accounts.at(number).parent;
    if (number == header) return true;
  }
  return false;
}

// Every shown figure of the lines against the company file's own sums: detail months,
// row totals, header totals over the detail accounts below them, profit lines over the
// classes, detail lines in account-number order.
void ExpectFiguresOfSql(ForecastTest& t, const ForecastReport& r, const std::string& mode) {
  const MonthFigures actual = mode == "B" ? MonthFigures{} : t.SqlActuals(G.ODBCFromDate, G.ODBCToDate);
  const MonthFigures budget =
      mode == "A" ? MonthFigures{} : t.SqlBudgets(7, Left(G.FinYearStartYMD, 6), Left(G.FinYearEndYMD, 6));
  const auto accounts = t.SqlAccounts();
  auto expected = [&](const std::string& number, int c) {
    const std::pair<std::string, int> key{number, r.columnMonth[static_cast<size_t>(c)]};
    const MonthFigures& source = r.columnBasis[static_cast<size_t>(c)] == "A" ? actual : budget;
    auto it = source.find(key);
    return it == source.end() ? Money{} : it->second;
  };

  // Which detail accounts show: those with a non-zero twelve-month actual plus budget.
  std::set<std::string> withFigures;
  {
    std::map<std::string, Money> sums;
    for (const auto* source : {&actual, &budget})
      for (const auto& [key, amount] : *source) sums[key.first] += amount;
    for (const auto& [number, amount] : sums)
      if (!amount.IsZero()) withFigures.insert(number);
  }
  ASSERT_FALSE(withFigures.empty());

  std::set<std::string> shown;
  std::string previous;
  std::map<char, ForecastFigures> classSums;
  int profitLines = 0;
  for (const ForecastLine& line : r.lines) {
    if (line.kind != ForecastLine::Kind::Line || !line.output) continue;
    SCOPED_TRACE(line.text);
    // Every total column is the sum of its row.
    Money sum;
    for (int c = 1; c <= r.shownColumns; ++c) sum += line.figures[static_cast<size_t>(c)];
    if (line.type != "H") {
      EXPECT_EQ(line.figures[13], sum);
    }

    if (line.type == "D") {
      EXPECT_GT(line.number, previous) << "detail lines in account-number order";
      previous = line.number;
      shown.insert(line.number);
      for (int c = 1; c <= r.shownColumns; ++c) {
        EXPECT_EQ(line.figures[static_cast<size_t>(c)], expected(line.number, c)) << "column " << c;
        classSums[line.number[0]][static_cast<size_t>(c)] += expected(line.number, c);
      }
    } else if (line.type.empty() && line.totalSection != 6) {
      // A header's closing line carries the sum of every detail account below it.
      std::string header;
      for (const auto& [number, a] : accounts)
        if (a.type == "H" && (line.text == "Total " + a.name || line.text == a.name)) header = number;
      ASSERT_FALSE(header.empty());
      for (int c = 1; c <= r.shownColumns; ++c) {
        Money want;
        for (const auto& number : withFigures)
          if (Below(accounts, number, header)) want += expected(number, c);
        EXPECT_EQ(line.figures[static_cast<size_t>(c)], want) << "column " << c;
      }
    } else if (line.totalSection == 6) {
      ++profitLines;
      for (int c = 1; c <= r.shownColumns; ++c) {
        const auto i = static_cast<size_t>(c);
        Money gross = classSums['4'][i] - classSums['5'][i];
        Money operating = gross - classSums['6'][i];
        Money surplus = operating + classSums['8'][i] - classSums['9'][i];
        const Money want = line.summaryCode == "GP" ? gross : line.summaryCode == "OP" ? operating : surplus;
        EXPECT_EQ(line.figures[i], want) << line.summaryCode << " column " << c;
      }
    }
  }
  EXPECT_EQ(shown, withFigures);
  EXPECT_GE(profitLines, 2);
  ASSERT_FALSE(r.lines.empty());
  EXPECT_EQ(r.lines.back().summaryCode, "P") << "Surplus/Deficit closes the report";
  EXPECT_TRUE(r.lines.back().blankAfter);
}

TEST_P(ForecastFiguresTest, FiguresEqualTheCompanyFilesOwnSums) {
  const WindowCase& w = GetParam();
  Connect();
  ASSERT_EQ(G.FirstMonth, 7);
  BudgetForecast f;
  const ForecastReport r = Lines(f, w.from, w.to, w.yearStart, w.yearEnd, w.mode);

  EXPECT_EQ(f.StartMonth, w.startMonth);
  EXPECT_EQ(f.MonthCount, w.monthCount);
  EXPECT_EQ(G.FinYearStartYMD, w.windowStart);
  EXPECT_EQ(G.FinYearEndYMD, w.windowEnd);
  EXPECT_EQ(G.ODBCToDate, w.odbcTo);
  const std::string mode = w.mode;
  ASSERT_EQ(r.shownColumns, mode == "AB" ? 12 : w.monthCount);
  for (int c = 1; c <= 12; ++c) {
    const int month = (w.startMonth + c - 2) % 12 + 1;
    EXPECT_EQ(r.columnMonth[c], month);
    const std::string basis = mode == "AB" ? (c <= w.monthCount ? "A" : "B") : mode;
    EXPECT_EQ(r.columnBasis[c], basis) << "column " << c;
  }

  ExpectFiguresOfSql(*this, r, mode);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, ForecastFiguresTest,
    ::testing::Values(
        WindowCase{"FinancialYearActualThenBudget", "01/07/2025", "31/12/2025", "AB", 7, 6, "20250701", "20260630",
                   "2025-12-31"},
        WindowCase{"JanuaryActual", "01/01/2026", "31/03/2026", "A", 1, 3, "20260101", "20261231", "2026-03-31"},
        WindowCase{"JanuaryActualThenBudget", "01/01/2026", "30/04/2026", "AB", 1, 4, "20260101", "20261231",
                   "2026-04-30"},
        WindowCase{"NovemberToFebruaryActual", "01/11/2025", "28/02/2026", "A", 11, 4, "20251101", "20261031",
                   "2026-02-28"},
        WindowCase{"NovemberToFebruaryActualThenBudget", "01/11/2024", "28/02/2025", "AB", 11, 4, "20241101",
                   "20251031", "2025-02-28"},
        WindowCase{"SeptemberBudget", "01/09/2025", "31/12/2025", "B", 9, 4, "20250901", "20260831", "2025-12-31"},
        WindowCase{"WholeYearBudget", "01/07/2024", "30/06/2025", "B", 7, 12, "20240701", "20250630", "2025-06-30",
                   "01/07/2024", "30/06/2025"}),
    [](const auto& info) { return std::string(info.param.name); });

// A chart with a second level-1 block in one section, a header whose accounts have no
// figures and a header block with one shown line: each section enters the profit lines
// once, the empty header shows nothing, the one-line block gets no total line.
TEST_F(ForecastTest, SecondBlockOfASectionCountsOnceInTheProfits) {
  {
    SqlFile db(file_);
    db.Exec("INSERT INTO Accounts (AccountID, ParentAccountID, AccountNumber, AccountName, AccountTypeID, "
            "AccountLevel) VALUES "
            "(901, 38, '6-3000', 'Idle Costs', 'H', 2), (902, 901, '6-3100', 'Idle Plant', 'D', 3),"
            "(903, 38, '6-4000', 'Motor', 'H', 2), (904, 903, '6-4100', 'Fuel', 'D', 3),"
            "(905, 0, '6-5000', 'Other Costs', 'H', 1), (906, 905, '6-5100', 'Sundry', 'D', 2)");
    db.Exec("INSERT INTO JournalRecords (JournalRecordID, SetID, AccountID, TransactionDate, TaxExclusiveAmount, "
            "JobID, IsForeignTransaction) VALUES "
            "(90001, 1, 904, '2025-08-10', 310.50, 0, 'N'), (90002, 1, 906, '2025-09-10', 1200, 0, 'N'),"
            "(90003, 1, 906, '2025-10-10', 800, 0, 'N')");
  }
  Connect();
  BudgetForecast f;
  const ForecastReport r = Lines(f, "01/07/2025", "31/12/2025", "01/07/2025", "30/06/2026", "AB");
  ExpectFiguresOfSql(*this, r, "AB");

  std::vector<std::string> texts;
  for (const ForecastLine& line : r.lines)
    if (line.kind == ForecastLine::Kind::Blank) texts.push_back("");
    else if (line.output) texts.push_back(line.text);
  auto at = std::find(texts.begin(), texts.end(), "Motor");
  ASSERT_NE(at, texts.end());
  EXPECT_EQ(std::vector<std::string>(at, at + 4), (std::vector<std::string>{"Motor", "Fuel", "", "Total Expenses"}));
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Idle Costs"), 0);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Total Idle Costs"), 0);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Total Other Costs"), 1);
}

// On the cash basis the figures are the transaction engine's: the same engine read
// with a row map of its own (rows in reverse account order) gives the same month figures
// for every account.
TEST_F(ForecastTest, CashBasisTakesTheEnginesMonthFigures) {
  Connect();
  BudgetForecast f;
  const ForecastReport r = Lines(f, "01/10/2025", "31/03/2026", "01/07/2025", "30/06/2026", "A", 4, true);
  ASSERT_EQ(r.shownColumns, 6);

  std::vector<int32_t> rowMap(static_cast<size_t>(G.NbrAccounts) + 2, 0);
  for (int32_t i = 1; i <= G.NbrAccounts; ++i) rowMap[static_cast<size_t>(i)] = G.NbrAccounts + 1 - i;
  MonthTable months(rowMap.size());
  std::vector<std::string> keys(rowMap.size());
  std::vector<Money> a(rowMap.size()), b(rowMap.size()), c(rowMap.size()), d(rowMap.size()), e(rowMap.size());
  std::string postMode = "A";
  int16_t cash = kTrue, journals = kTrue, lastYear = kFalse;
  TransactionArgs args{.PostMode = postMode, .CashMode = cash, .IncludeGJ = journals, .AccountIDs = G.AcctIDs,
                       .AccountNumbers = G.AcctNumbers, .RowMap = rowMap, .KeyList = keys, .MonthAmounts = months,
                       .MonthTotal = a, .RangeTotal = b, .LYMonthTotal = c, .LYRangeTotal = d, .LY12Months = e,
                       .LastYear = lastYear};
  int32_t rows = G.NbrAccounts;
  G.TxRowCount = rows;
  ReadTransactions(args);
  EXPECT_TRUE(ui_->Messages().empty());

  int details = 0;
  for (const ForecastLine& line : r.lines) {
    if (line.type != "D" || !line.output) continue;
    ++details;
    int32_t account = 0;
    for (int32_t i = 1; i <= G.NbrAccounts; ++i)
      if (G.AcctNumbers[static_cast<size_t>(i)] == line.number) account = i;
    const auto row = static_cast<size_t>(rowMap[static_cast<size_t>(account)]);
    for (int col = 1; col <= r.shownColumns; ++col)
      EXPECT_EQ(line.figures[static_cast<size_t>(col)], months[row][static_cast<size_t>(r.columnMonth[static_cast<size_t>(col)])])
          << line.number << " column " << col;
  }
  EXPECT_GT(details, 5);
}

}  // namespace
}  // namespace qvx::test
