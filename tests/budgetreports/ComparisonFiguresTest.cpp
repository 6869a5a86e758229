// The comparison's figures against the test's own SQL over the company file: actuals
// (journal lines rounded per line, signed by class), budgets and last year's period
// balances, for financial years starting in July, January and April; and the totals of
// the body (closing rows, profit rows, Grand Totals) against the lines they sum.
#include <cstdio>

#include "ComparisonFixture.h"

namespace qvx::test {
namespace {

struct Expected {
  Money actMonth, actYTD, bgtMonth, bgtYTD, annual, lyMonth, lyYTD, ly12;
};

int MonthKey(int firstMonth, int period, int financialYear) {
  int month = firstMonth + period - 1;
  if (month > 12) month -= 12;
  const int year = (firstMonth != 1 && month >= firstMonth) ? financialYear - 1 : financialYear;
  return year * 100 + month;
}

int KeyOf(const std::string& isoDate) { return std::stoi(isoDate.substr(0, 4)) * 100 + std::stoi(isoDate.substr(5, 2)); }

bool CreditClass(const std::string& number) {
  const char c = number.empty() ? '0' : number[0];
  return c == '2' || c == '3' || c == '4' || c == '8';
}

// Figures per account number, computed from the file alone.
std::map<std::string, Expected> ExpectedFigures(const RawFile& raw, int firstMonth, const std::string& from,
                                                const std::string& to, const std::string& fyStart,
                                                const std::string& fyEnd, bool annualLastYear) {
  std::map<std::string, Expected> e;
  const std::string toMonth = to.substr(0, 7);
  for (const auto& row : raw.Rows(
           "SELECT a.AccountNumber, printf('%.2f', SUM(CASE WHEN substr(j.TransactionDate,1,7) = '" + toMonth +
           "' THEN ROUND(j.TaxExclusiveAmount, 2) ELSE 0 END)), printf('%.2f', SUM(ROUND(j.TaxExclusiveAmount, 2))) "
           "FROM JournalRecords j JOIN Accounts a ON a.AccountID = j.AccountID "
           "WHERE j.TransactionDate BETWEEN '" + from + "' AND '" + to + "' AND a.AccountNumber >= '4' "
           "GROUP BY a.AccountNumber")) {
    Expected& x = e[row[0]];
    x.actMonth = Money::Parse(row[1]);
    x.actYTD = Money::Parse(row[2]);
    if (CreditClass(row[0])) x.actMonth = -x.actMonth, x.actYTD = -x.actYTD;
  }
  const int fromKey = KeyOf(from), toKey = KeyOf(to), fyStartKey = KeyOf(fyStart), fyEndKey = KeyOf(fyEnd);
  for (const auto& row : raw.Rows("SELECT a.AccountNumber, b.Period, b.FinancialYear, printf('%.4f', b.Amount) "
                                  "FROM AccountBudgets b JOIN Accounts a ON a.AccountID = b.AccountID "
                                  "WHERE a.AccountNumber >= '4'")) {
    const int key = MonthKey(firstMonth, std::stoi(row[1]), std::stoi(row[2]));
    const Money amount = Money::Parse(row[3]);
    Expected& x = e[row[0]];
    if (key == toKey) x.bgtMonth += amount;
    if (fromKey <= key && key <= toKey) x.bgtYTD += amount;
    if (fyStartKey <= key && key <= fyEndKey) x.annual += amount;
  }
  for (const auto& row : raw.Rows("SELECT a.AccountNumber, v.Period, v.FinancialYear, printf('%.4f', v.Amount) "
                                  "FROM AccountActivities v JOIN Accounts a ON a.AccountID = v.AccountID "
                                  "WHERE a.AccountNumber >= '4'")) {
    const int key = MonthKey(firstMonth, std::stoi(row[1]), std::stoi(row[2]));
    const Money amount = Money::Parse(row[3]);
    Expected& x = e[row[0]];
    if (key == toKey - 100) x.lyMonth += amount;
    if (fromKey - 100 <= key && key <= toKey - 100) x.lyYTD += amount;
    if (fyStartKey - 100 <= key && key <= fyEndKey - 100) x.ly12 += amount;
  }
  if (annualLastYear)
    for (auto& [number, x] : e) x.annual = x.lyYTD;
  return e;
}

samples::AccountDef Acct(const std::string& number, const std::string& name, char type, int level) {
  samples::AccountDef d;
  d.number = number;
  d.name = name;
  d.type = type;
  d.level = level;
  return d;
}

// A small company whose financial year starts in April.
void AprilCompany(samples::CompanyFile& f) {
  const int bank = f.AddAccount(Acct("1-1110", "Cheque Account", 'D', 2));
  f.AddAccount(Acct("4-0000", "Income", 'H', 1));
  const int sales = f.AddAccount(Acct("4-1000", "Sales", 'D', 2));
  f.AddAccount(Acct("5-0000", "Cost of Sales", 'H', 1));
  const int cogs = f.AddAccount(Acct("5-1000", "Purchases", 'D', 2));
  f.AddAccount(Acct("6-0000", "Expenses", 'H', 1));
  const int rent = f.AddAccount(Acct("6-1000", "Rent", 'D', 2));
  f.AddAccount(Acct("8-0000", "Other Income", 'H', 1));
  const int interest = f.AddAccount(Acct("8-1000", "Interest Received", 'D', 2));
  f.AddAccount(Acct("9-0000", "Other Expenses", 'H', 1));
  const int fees = f.AddAccount(Acct("9-1000", "Bank Fees", 'D', 2));
  const char* dates[] = {"2024-04-03", "2024-06-15", "2024-12-31", "2025-02-01", "2025-03-31", "2025-04-01",
                         "2025-05-20", "2025-06-30", "2025-07-01", "2025-12-15", "2026-01-10", "2026-03-31"};
  int n = 0;
  for (const char* d : dates) {
    ++n;
    samples::Journal j;
    j.date = d;
    const Money s = Money::Parse(std::to_string(1000 + 37 * n) + ".25");
    const Money c = Money::Parse(std::to_string(400 + 11 * n) + ".5");
    const Money r = Money::FromUnits(250);
    const Money i = Money::Parse("12.35");
    const Money b = Money::FromUnits(3 * n);
    j.lines = {{.account = bank, .amount = s - c - r + i - b}, {.account = sales, .amount = -s},
               {.account = cogs, .amount = c},  {.account = rent, .amount = r},
               {.account = interest, .amount = -i}, {.account = fees, .amount = b}};
    f.AddGeneralJournal(j);
  }
  for (int year : {2025, 2026})
    for (int p = 1; p <= 12; ++p) {
      f.AddBudget(sales, year, p, Money::FromUnits(1100 + p));
      f.AddBudget(cogs, year, p, Money::FromUnits(450));
      f.AddBudget(rent, year, p, Money::FromUnits(250));
    }
  // A budget without any actual: the line is still shown.
  f.AddBudget(fees, 2026, 6, Money::FromUnits(40));
}

TEST_F(ComparisonTest, FiguresEqualTheFileOwnSums) {
  struct Case {
    const char* name;
    const char* sample;  // nullptr: the April company
    int firstMonth;
    const char *from, *to, *fyStart, *fyEnd;  // dd/mm/yyyy
    int16_t annualMode;
    bool cash;
  };
  const Case cases[] = {
      {"July, year to date", samples::kAustralianFile, 7, "01/07/2025", "30/11/2025", "01/07/2025", "30/06/2026", 1,
       false},
      {"July, selected months, last year annual", samples::kAustralianFile, 7, "01/09/2025", "31/10/2025",
       "01/07/2025", "30/06/2026", 4, false},
      {"July, last month of the year", samples::kAustralianFile, 7, "01/06/2026", "30/06/2026", "01/07/2025",
       "30/06/2026", 2, false},
      {"January", samples::kUsaFile, 1, "01/03/2026", "31/05/2026", "01/01/2026", "31/12/2026", 1, false},
      {"April", nullptr, 4, "01/04/2025", "31/12/2025", "01/04/2025", "31/03/2026", 3, false},
      {"April, across the calendar year", nullptr, 4, "01/11/2025", "31/03/2026", "01/04/2025", "31/03/2026", 4,
       false},
      // General journals count on the cash basis as they stand: the same figures, last
      // year's from two more reads of the journal (its period, then its whole year).
      {"April, cash basis", nullptr, 4, "01/05/2025", "31/12/2025", "01/04/2025", "31/03/2026", 1, true},
      {"April, cash basis, last year annual", nullptr, 4, "01/11/2025", "31/03/2026", "01/04/2025", "31/03/2026", 4,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    G = Globals{};
    BuildMonthTables();
    G.DateFormat = "DMY";
    if (c.sample) {
      OpenSample(c.sample);
    } else {
      samples::CompanySetup setup;
      setup.currentFinancialYear = 2026;
      setup.lastMonthInFinancialYear = 3;
      OpenBuilt(setup, AprilCompany);
    }
    ASSERT_EQ(G.FirstMonth, c.firstMonth);
    SetPeriod(c.from, c.to, c.fyStart, c.fyEnd);
    const std::string from = G.ODBCFromDate, to = G.ODBCToDate;
    const std::string fyStart = G.FinYearStartYMD.substr(0, 4) + "-" + G.FinYearStartYMD.substr(4, 2) + "-01";
    const std::string fyEnd = G.FinYearEndYMD.substr(0, 4) + "-" + G.FinYearEndYMD.substr(4, 2) + "-01";
    BudgetComparison r;
    r.Opt.AnnualMode = c.annualMode;
    r.Opt.LYYTDCols = true;
    r.Opt.ShowMonths = true;
    r.Opt.CashBasis = c.cash;
    Compute(r);
    const auto expected = ExpectedFigures(Raw(), c.firstMonth, from, to, fyStart, fyEnd, c.annualMode == 4);
    int checked = 0;
    for (const auto& [number, x] : expected) {
      const int32_t l = LineOf(r, number);
      ASSERT_GT(l, 0) << number;
      SCOPED_TRACE(number);
      const auto i = static_cast<size_t>(l);
      EXPECT_EQ(r.Arr.ActMonth[i], x.actMonth);
      EXPECT_EQ(r.Arr.ActYTD[i], x.actYTD);
      EXPECT_EQ(r.Arr.BgtMonth[i], x.bgtMonth);
      EXPECT_EQ(r.Arr.BgtYTD[i], x.bgtYTD);
      EXPECT_EQ(r.Arr.AnnualCol[i], x.annual);
      EXPECT_EQ(r.Arr.LYActMonth[i], x.lyMonth);
      EXPECT_EQ(r.Arr.LYActYTD[i], x.lyYTD);
      EXPECT_EQ(r.Arr.LYAct12Months[i], x.ly12);
      if (!x.actYTD.IsZero() && !x.bgtYTD.IsZero() && !x.lyYTD.IsZero()) ++checked;
    }
    EXPECT_GT(checked, 2) << "too few accounts with actuals, budgets and last year";
    EXPECT_TRUE(ui_->Messages().empty()) << ui_->Messages().front();
  }
}

// Sums of the body: every closing row equals the lines printed under its header, the
// sections equal the sum of their detail lines, the profit rows and the Grand Totals
// follow from the sections, and the surplus equals the file's own profit. The file has
// gained an account of class 7, which belongs to no section.
TEST_F(ComparisonTest, TotalsAddUpToTheirLines) {
  OpenSample(samples::kAustralianFile,
             "INSERT INTO Accounts (AccountID, ParentAccountID, AccountNumber, AccountName, AccountTypeID, "
             "AccountLevel, IsActive) VALUES (9000, 0, '7-1000', 'Suspense', 'D', 2, 'Y');"
             "INSERT INTO JournalRecords (JournalRecordID, SetID, AccountID, TransactionDate, TaxExclusiveAmount, "
             "JobID, IsForeignTransaction) VALUES (90001, 1, 9000, '2025-08-12', 700, 0, 'N'), "
             "(90002, 1, 9000, '2025-09-03', 50, 0, 'N');");
  SetPeriod("01/07/2025", "31/12/2025", "01/07/2025", "30/06/2026");
  BudgetComparison r;
  r.Opt.AnnualMode = 1;
  r.Opt.IncludeGrandTots = true;
  Compute(r);
  ASSERT_TRUE(r.ReportOK);

  // Closing rows: a stack of the lines since each heading.
  struct Open {
    std::string name;
    int level;
    RowFigures sum;
  };
  std::vector<Open> open;
  int closings = 0;
  auto add = [](RowFigures& a, const RowFigures& b) {
    a.ActMonth += b.ActMonth, a.BgtMonth += b.BgtMonth, a.VarMonth += b.VarMonth, a.ActYTD += b.ActYTD;
    a.BgtYTD += b.BgtYTD, a.VarYTD += b.VarYTD, a.Annual += b.Annual;
  };
  std::vector<std::string> order;
  for (const ReportRow& row : r.Rows) {
    if (!row.Name.empty()) order.push_back(row.Name);
    if (row.kind == ReportRow::Heading) open.push_back({row.Name, row.Level, {}});
    if (row.kind == ReportRow::Line)
      for (Open& o : open) add(o.sum, row.Fig);
    if (row.kind == ReportRow::Closing) {
      ASSERT_FALSE(open.empty()) << row.Name;
      while (open.back().level > row.Level) open.pop_back();
      const Open& o = open.back();
      EXPECT_EQ(row.Name, "Total " + o.name);
      EXPECT_EQ(row.Fig.ActYTD, o.sum.ActYTD) << row.Name;
      EXPECT_EQ(row.Fig.BgtYTD, o.sum.BgtYTD) << row.Name;
      EXPECT_EQ(row.Fig.VarMonth, o.sum.VarMonth) << row.Name;
      EXPECT_EQ(row.Fig.Annual, o.sum.Annual) << row.Name;
      open.pop_back();
      ++closings;
    }
  }
  EXPECT_GE(closings, 5);

  // The surplus is the file's own profit over the five sections' classes.
  const RawFile raw = Raw();
  auto sql = [&](const std::string& classes, const std::string& from) {
    return Money::Parse(raw.Rows("SELECT printf('%.2f', SUM(ROUND(j.TaxExclusiveAmount, 2))) "
                                 "FROM JournalRecords j JOIN Accounts a ON a.AccountID = j.AccountID "
                                 "WHERE j.TransactionDate BETWEEN '" + from + "' AND '2025-12-31' "
                                 "AND substr(a.AccountNumber, 1, 1) IN (" + classes + ")")
                            .at(0)
                            .at(0));
  };
  const Money profit = -sql("'4', '5', '6', '8', '9'", "2025-07-01");
  const ReportRow* surplus = nullptr;
  for (const ReportRow& row : r.Rows)
    if (row.Name == "Surplus/Deficit") surplus = &row;
  ASSERT_NE(surplus, nullptr);
  EXPECT_EQ(surplus->Fig.ActYTD, profit);
  EXPECT_EQ(surplus->Fig.ActYTD, r.Sec.ActYTD[1] - r.Sec.ActYTD[2] - r.Sec.ActYTD[3] + r.Sec.ActYTD[4] - r.Sec.ActYTD[5]);
  EXPECT_TRUE(surplus->Dollar);
  EXPECT_EQ(surplus->Fig.VarYTD, surplus->Fig.ActYTD - surplus->Fig.BgtYTD);

  // Grand Totals: sections and profits in their order, the surplus as in the body.
  ASSERT_FALSE(r.GrandTotals.empty());
  EXPECT_EQ(r.GrandTotals.back().Name, "Surplus/Deficit");
  EXPECT_EQ(r.GrandTotals.back().Fig.ActYTD, surplus->Fig.ActYTD);
  EXPECT_EQ(r.GrandTotals.back().Txt.ActYTD, surplus->Txt.ActYTD);
  // Other Expenses as the file has them, in the Grand Totals and the body's closing row.
  const GrandTotalRow* otherExpenses = nullptr;
  for (const GrandTotalRow& g : r.GrandTotals)
    if (g.Name == r.SecName[5]) otherExpenses = &g;
  ASSERT_NE(otherExpenses, nullptr);
  EXPECT_EQ(otherExpenses->Fig.ActYTD, sql("'9'", "2025-07-01"));
  EXPECT_EQ(otherExpenses->Fig.ActMonth, sql("'9'", "2025-12-01"));
  const auto closing = std::find_if(r.Rows.begin(), r.Rows.end(),
                                    [&](const ReportRow& row) { return row.Name == "Total " + r.SecName[5]; });
  ASSERT_NE(closing, r.Rows.end());
  EXPECT_EQ(closing->Fig.ActYTD, otherExpenses->Fig.ActYTD);
  EXPECT_EQ(closing->Fig.ActMonth, otherExpenses->Fig.ActMonth);
  std::vector<std::string> gtNames;
  for (const GrandTotalRow& g : r.GrandTotals) gtNames.push_back(g.Name);
  EXPECT_EQ(gtNames.front(), r.SecName[1]);
  EXPECT_NE(std::find(gtNames.begin(), gtNames.end(), "Gross Profit"), gtNames.end());
  for (const GrandTotalRow& g : r.GrandTotals)
    if (g.Name != "Surplus/Deficit") {
      EXPECT_EQ(g.Txt.ActYTD.find('$'), std::string::npos) << g.Name;
    }

  // Profit rows of the body come in class order.
  const auto pos = [&](const std::string& n) { return std::find(order.begin(), order.end(), n) - order.begin(); };
  EXPECT_LT(pos("Total Gross Profit"), pos("Total Operating Profit"));
  EXPECT_LT(pos("Total Operating Profit"), pos("Surplus/Deficit"));
  EXPECT_LT(pos("Total " + r.SecName[2]), pos("Total Gross Profit"));
}

}  // namespace
}  // namespace qvx::test
