// The budget readers against sums that SQLite works out directly over the company
// file's AccountBudgets, on company files built with budgets over three financial
// years and rows that name no budget month.
#include "budgetreports/BudgetFigures.h"

#include <cstdio>
#include <map>
#include <string>
#include <tuple>

#include "../companyfile/CompanyFileReadersFixture.h"
#include "core/Dates.h"
#include "core/Globals.h"
#include "core/Lookups.h"
#include "samples/CompanyFile.h"

namespace qvx {
namespace {

// Account number -> budget of the month, the period and the year, as decimal text.
using Sums = std::map<std::string, std::tuple<std::string, std::string, std::string>>;

std::string Amount(const std::string& text) { return (text.empty() ? Money() : Money::Parse(text)).ToString(); }

class BudgetFiguresTest : public test::CompanyReaderTest {
 protected:
  // A file whose financial years start in firstMonth, with budgets of every account of
  // every class for the years 2013 to 2015 (several rows for some months, zeros,
  // negatives) and a few rows that are no budget of any month.
  std::string Build(int firstMonth) {
    samples::CompanySetup setup;
    setup.currentFinancialYear = 2014;
    setup.lastMonthInFinancialYear = firstMonth == 1 ? 12 : firstMonth - 1;
    const std::string path = Path("Budgets" + std::to_string(firstMonth) + ".MYO");
    samples::CompanyFile f(path, setup);
    const std::pair<const char*, char> chart[] = {
        {"1-1110", 'D'}, {"2-1200", 'D'}, {"3-1000", 'D'}, {"4-0000", 'H'}, {"4-1000", 'D'}, {"4-2000", 'D'},
        {"5-0000", 'H'}, {"5-1000", 'D'}, {"6-0000", 'H'}, {"6-1000", 'D'}, {"6-2000", 'D'}, {"7-1000", 'D'},
        {"8-0000", 'H'}, {"8-1000", 'D'}, {"9-0000", 'H'}, {"9-1000", 'D'}};
    int k = 0;
    for (const auto& [number, type] : chart) {
      samples::AccountDef d;
      d.number = number;
      d.name = std::string("Account ") + number;
      d.type = type;
      d.level = type == 'H' ? 1 : 2;
      const int id = f.AddAccount(d);
      ++k;
      for (int year = 2013; year <= 2015; ++year)
        for (int period = 1; period <= 12; ++period) {
          const int64_t raw = (k * 1000 + year % 10 * 100 + period) * 10000 + (period % 3 == 0 ? 2500 : 0);
          f.AddBudget(id, year, period, Money::FromRaw((k + period) % 7 == 0 ? 0 : (k % 4 == 0 ? -raw : raw)));
          if (period == 4 || period == 9) f.AddBudget(id, year, period, Money::FromRaw(1234500));
        }
    }
    const int sales = f.AccountId("4-1000");
    const std::string id = std::to_string(sales);
    f.Exec("INSERT INTO AccountBudgets VALUES (" + id + ", 2014, 3, NULL)");
    f.Exec("INSERT INTO AccountBudgets VALUES (" + id + ", NULL, 3, 50)");
    f.Exec("INSERT INTO AccountBudgets VALUES (" + id + ", 2014, 0, 60)");
    f.Exec("INSERT INTO AccountBudgets VALUES (" + id + ", 2014, 13, 70)");
    f.Exec("INSERT INTO AccountBudgets VALUES (" + id + ", 2014, 25, 80)");
    f.Exec("INSERT INTO AccountBudgets VALUES (" + id + ", 9999, 5, 90)");
    f.Exec("INSERT INTO AccountBudgets VALUES (" + id + ", 1, 5, 95)");
    f.Exec("INSERT INTO AccountBudgets VALUES (99999, 2014, 5, 100)");
    f.Finish();
    return path;
  }

  // The calendar month (year * 12 + month - 1) of a budget period, worked out by SQLite:
  // period 1 of the year that ends in year Y is month firstMonth of year Y - 1 (of Y
  // itself for a calendar year).
  static std::string MonthIndexSql(int firstMonth) {
    const std::string fm = std::to_string(firstMonth);
    return "(CASE WHEN " + fm + " = 1 THEN b.FinancialYear * 12 ELSE (b.FinancialYear - 1) * 12 + " + fm +
           " - 1 END + b.Period - 1)";
  }
  static int MonthIndex(int year, int month) { return year * 12 + month - 1; }

  // Sums per account of the profit-and-loss accounts (class 4 and above) for the month
  // of `to`, the months from..to and the financial year ending in finYear.
  Sums ExpectedComparison(const std::string& file, int firstMonth, int fromIdx, int toIdx, int finYear) {
    const int yearStart = firstMonth == 1 ? MonthIndex(finYear, 1) : MonthIndex(finYear - 1, firstMonth);
    const std::string m = MonthIndexSql(firstMonth);
    auto between = [&](int lo, int hi) {
      return "SUM(CASE WHEN " + m + " BETWEEN " + std::to_string(lo) + " AND " + std::to_string(hi) +
             " THEN b.Amount ELSE 0 END)";
    };
    const std::string sql = "SELECT a.AccountNumber, printf('%.4f', " + between(toIdx, toIdx) + "), printf('%.4f', " +
                            between(fromIdx, toIdx) + "), printf('%.4f', " + between(yearStart, yearStart + 11) +
                            ") FROM Accounts a LEFT JOIN AccountBudgets b ON b.AccountID = a.AccountID AND "
                            "b.Period BETWEEN 1 AND 12 AND b.Amount IS NOT NULL WHERE substr(a.AccountNumber, 1, 1) "
                            ">= '4' GROUP BY a.AccountNumber";
    Sums sums;
    for (const auto& r : Direct(file, sql)) sums[r[0]] = {Amount(r[1]), Amount(r[2]), Amount(r[3])};
    return sums;
  }

  // The comparison's account load: profit-and-loss accounts in identifier order.
  void LoadAccounts(ReportArrays& a, bool profitAndLossOnly) {
    a.StartRun();
    auto rs = OpenRecordset("SELECT AccountID, AccountNumber, AccountName, AccountTypeID FROM MYOB.Accounts "
                            "ORDER BY AccountID ;");
    ASSERT_TRUE(rs);
    for (; !rs->Eof(); rs->MoveNext()) {
      const std::string number = (*rs)["AccountNumber"].ToString();
      if (profitAndLossOnly && Left(number, 1) < "4") continue;
      a.MakeRoomForAccount();
      const int32_t i = ++G.NbrAccounts;
      G.AcctIDs.at(i) = (*rs)["AccountID"].ToLong();
      G.AcctNumbers.at(i) = number;
      G.AcctNames.at(i) = (*rs)["AccountName"].ToString();
      G.AcctTypes.at(i) = (*rs)["AccountTypeID"].ToString();
    }
    G.AccountsSorted = kTrue;
    a.MapEveryAccount();
    a.RenewFigureArrays();
  }

  static void SetPeriod(const std::string& from, const std::string& to, const std::string& start,
                        const std::string& end) {
    G.ReportFromDate = from;
    G.ReportToDate = to;
    G.FinYearStartDate = start;
    G.FinYearEndDate = end;
    SetReportPeriod();
  }

  static std::string Date(int day, int month, int year) {
    // Room for three ints of any value: the optimiser checks the widest case.
    char buf[40];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", day, month, year);
    return buf;
  }
};

TEST_F(BudgetFiguresTest, ComparisonFiguresMatchTheBudgetTable) {
  for (int firstMonth : {1, 4, 7}) {
    SCOPED_TRACE(firstMonth);
    const std::string file = Build(firstMonth);
    Connect(file);
    ASSERT_EQ(G.FirstMonth, firstMonth);
    const int lastMonth = firstMonth == 1 ? 12 : firstMonth - 1;
    const int startYear = firstMonth == 1 ? 2014 : 2013;
    const int yearStart = MonthIndex(startYear, firstMonth);
    // (first month offset, last month offset, from day, to day) within financial year 2014.
    const std::tuple<int, int, int, int> periods[] = {{0, 0, 1, 0}, {1, 3, 1, 0}, {2, 11, 15, 15}, {11, 11, 1, 0}};
    for (const auto& [fromOff, toOff, fromDay, toDay] : periods) {
      const int fromIdx = yearStart + fromOff, toIdx = yearStart + toOff;
      const int toYear = toIdx / 12, toMonth = toIdx % 12 + 1;
      SCOPED_TRACE(std::to_string(fromIdx % 12 + 1) + ".." + std::to_string(toMonth));
      SetPeriod(Date(fromDay, fromIdx % 12 + 1, fromIdx / 12),
                Date(toDay ? toDay : DaysInMonth(toYear, toMonth), toMonth, toYear), Date(1, firstMonth, startYear),
                Date(DaysInMonth(2014, lastMonth), lastMonth, 2014));
      ReportArrays a;
      LoadAccounts(a, true);
      ui_->doEventsCalls = 0;
      GetBudgetFigures(a);

      EXPECT_TRUE(ui_->Messages().empty()) << ::testing::PrintToString(ui_->Messages());
      EXPECT_FALSE(G.ProgressShown);
      EXPECT_EQ(Conn.SQLStr, "SELECT AccountID, Period, Amount, FinancialYear FROM MYOB.AccountBudgets  ;");
      const auto rows = Direct(file, "SELECT COUNT(*) FROM AccountBudgets");
      EXPECT_EQ(ui_->doEventsCalls, std::stol(rows.at(0).at(0)));  // events once per row read

      Sums got;
      for (int32_t row = 1; row <= G.TxRowCount; ++row)
        got[G.AcctNumbers.at(a.LineAcct.at(row))] = {a.BgtMonth.at(row).ToString(), a.BgtYTD.at(row).ToString(),
                                                     a.AnnualCol.at(row).ToString()};
      const Sums want = ExpectedComparison(file, firstMonth, fromIdx, toIdx, 2014);
      ASSERT_EQ(got.size(), want.size());
      EXPECT_EQ(got, want);
      // The figures are not trivially zero, and the extra rows added nothing.
      EXPECT_NE(std::get<2>(got.at("4-1000")), "0");
    }
    Conn = ConnectionState{};
  }
}

TEST_F(BudgetFiguresTest, ForecastTableMatchesTheBudgetTable) {
  for (int firstMonth : {1, 4, 7}) {
    SCOPED_TRACE(firstMonth);
    const std::string file = Build(firstMonth);
    Connect(file);
    const int lastMonth = firstMonth == 1 ? 12 : firstMonth - 1;
    const int startYear = firstMonth == 1 ? 2014 : 2013;
    SetPeriod(Date(1, firstMonth, startYear), Date(DaysInMonth(2014, lastMonth), lastMonth, 2014),
              Date(1, firstMonth, startYear), Date(DaysInMonth(2014, lastMonth), lastMonth, 2014));
    ReportArrays accounts;
    LoadAccounts(accounts, false);  // every class, so that the reader's own filter counts
    std::vector<int32_t> RowAcct = accounts.LineAcct;
    MonthTable MthBudget(RowAcct.size());
    ui_->doEventsCalls = 0;
    LoadAccountBudgets(RowAcct, MthBudget);
    EXPECT_TRUE(ui_->Messages().empty()) << ::testing::PrintToString(ui_->Messages());
    EXPECT_EQ(ui_->doEventsCalls, 0);

    std::map<std::pair<std::string, int>, std::string> got;
    for (int32_t row = 1; row <= G.TxRowCount; ++row) {
      EXPECT_EQ(MthBudget.at(row).at(0), Money());
      for (int month = 1; month <= 12; ++month)
        if (!MthBudget.at(row).at(month).IsZero()) got[{G.AcctNumbers.at(RowAcct.at(row)), month}] = MthBudget[row][month].ToString();
    }
    const std::string m = MonthIndexSql(firstMonth);
    const int yearStart = MonthIndex(startYear, firstMonth);
    const std::string sql =
        "SELECT a.AccountNumber, " + m + " % 12 + 1, printf('%.4f', SUM(b.Amount)) FROM AccountBudgets b JOIN Accounts a "
        "ON a.AccountID = b.AccountID WHERE substr(a.AccountNumber, 1, 1) IN ('4', '5', '6', '8', '9') AND "
        "a.AccountTypeID = 'D' AND b.Period BETWEEN 1 AND 12 AND " + m + " BETWEEN " + std::to_string(yearStart) +
        " AND " + std::to_string(yearStart + 11) + " GROUP BY 1, 2 HAVING SUM(b.Amount) <> 0";
    std::map<std::pair<std::string, int>, std::string> want;
    for (const auto& r : Direct(file, sql)) want[{r[0], std::stoi(r[1])}] = Amount(r[2]);
    EXPECT_GT(want.size(), 40u);
    EXPECT_EQ(got, want);
    Conn = ConnectionState{};
  }
}

TEST_F(BudgetFiguresTest, MonthKeys) {
  struct Case {
    int firstMonth, period, year;
    const char* key;
  };
  const Case cases[] = {
      {7, 1, 2014, "20130701"}, {7, 6, 2014, "20131201"}, {7, 7, 2014, "20140101"}, {7, 12, 2014, "20140601"},
      {1, 1, 2014, "20140101"}, {1, 12, 2014, "20141201"}, {4, 9, 2014, "20131201"}, {4, 10, 2014, "20140101"},
      {4, 0, 2014, ""},         {4, 13, 2014, ""},         {1, 13, 2014, ""},         {7, 1, 99999, ""},
      {7, 1, 1000, ""},
  };
  for (const Case& c : cases) {
    G.FirstMonth = static_cast<int16_t>(c.firstMonth);
    EXPECT_EQ(BudgetMonthKey(c.period, c.year), c.key) << c.firstMonth << " " << c.period << " " << c.year;
  }
}

TEST_F(BudgetFiguresTest, NoRecordsetReadsNothing) {
  ReportArrays a;
  a.ResizeReportArrays(3);
  G.NbrAccounts = 0;
  MonthTable table(4);
  std::vector<int32_t> rows(4, 0);
  GetBudgetFigures(a);
  LoadAccountBudgets(rows, table);
  EXPECT_EQ(ui_->Messages().size(), 2u);  // the reader's own message, once per query
  EXPECT_FALSE(G.ProgressShown);
  EXPECT_EQ(a.BgtMonth, std::vector<Money>(4));
  EXPECT_EQ(G.TxRowCount, 0);
}

}  // namespace
}  // namespace qvx
