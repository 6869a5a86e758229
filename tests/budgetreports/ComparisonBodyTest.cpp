// The comparison's stages on prepared state, without a company file: column layouts,
// row texts, the order of lines, the page-break list and the body built from a small
// chart (which lines show, what the closing and profit rows hold and how they are kind).
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>

#include "budgetreports/BudgetComparison.h"
#include "platform/printer/Printer.h"
#include "core/Globals.h"
#include "core/Startup.h"
#include "support/TestUi.h"

namespace qvx::test {
namespace {

TEST(ComparisonLayout, WorkedLayoutsAndPages) {
  struct Case {
    const char* name;
    bool acctNos, months;
    const char* variance;
    int16_t annual;
    bool lyMonth, lyYTD;
    std::vector<int> tabs;  // LY month, month act/bgt/var/%, YTD act/bgt/var/%, annual/%, LY YTD/12
    std::vector<int> cols;  // the same columns in the worksheet, then the last column
    int orientation;
  };
  const Case cases[] = {
      {"numbers, months, dollars, annual budget", true, true, "V", 1, false, false,
       {0, 45, 61, 77, 0, 97, 113, 129, 0, 151, 0, 0, 0}, {0, 3, 4, 5, 0, 7, 8, 9, 0, 11, 0, 0, 0, 11}, 2},
      {"numbers, months, both, annual, last-year columns", true, true, "B", 1, true, true,
       {45, 61, 77, 93, 109, 125, 141, 157, 173, 184, 200, 215, 231},
       {3, 4, 5, 6, 7, 9, 10, 11, 12, 14, 15, 17, 18, 18}, 2},
      {"no numbers, no months, percent, no annual", false, false, "PC", 0, false, false,
       {0, 0, 0, 0, 0, 56, 72, 88, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 3, 4, 5, 0, 0, 0, 0, 0, 5}, 1},
      {"no numbers, no months, dollars, remaining budget, last-year YTD", false, false, "V", 2, false, true,
       {0, 0, 0, 0, 0, 46, 62, 78, 0, 100, 0, 122, 138}, {0, 0, 0, 0, 0, 3, 4, 5, 0, 7, 0, 9, 10, 10}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ComparisonOptions o;
    o.PrintAccountNumbers = c.acctNos;
    o.ShowMonths = c.months;
    o.VarDollars = std::string(c.variance) == "V";
    o.VarBoth = std::string(c.variance) == "B";
    o.VarPercent = std::string(c.variance) == "PC";
    o.AnnualMode = c.annual;
    o.LYMonth = c.lyMonth;
    o.LYYTDCols = c.lyYTD;
    const ComparisonLayout L = LayoutColumns(o, 9, 0, 0, 12);
    std::vector<int> tabs = {L.TabLYMonth, L.TabMthAct, L.TabMthBgt, L.TabMthVar, L.TabMthPct,
                                   L.TabYTDAct,  L.TabYTDBgt, L.TabYTDVar, L.TabYTDPct, L.TabAnnual,
                                   o.AnnualPercent() ? L.TabAnnualPct : 0, L.TabLYYTD, L.TabLY12};
    if (c.annual == 0) tabs[9] = 0;  // kept only for the empty caption
    EXPECT_EQ(tabs, c.tabs);
    const std::vector<int> cols = {L.XlLYMonth, L.XlMthAct, L.XlMthBgt, L.XlMthVar, L.XlMthPct,
                                   L.XlYTDAct,  L.XlYTDBgt, L.XlYTDVar, L.XlYTDPct, L.XlAnnual,
                                   L.XlAnnualPct, L.XlLYYTD, L.XlLY12, L.XlLastCol};
    EXPECT_EQ(cols, c.cols);
    EXPECT_EQ(L.PrintOrientation, c.orientation);
    EXPECT_EQ(L.PageLines, c.orientation == 1 ? 70 : 53);
  }

  // Page lengths: the font's own lengths when none is set, and a landscape length of 0
  // beside a set portrait length takes the font's length rather than none.
  ComparisonOptions o;
  struct Pages {
    int16_t font;
    int32_t pt, ls, wantPT, wantLS;
  };
  for (const Pages& p : {Pages{8, 0, 0, 75, 58}, Pages{10, 0, 99, 65, 48}, Pages{9, 60, 0, 60, 53},
                         Pages{0, 0, 0, 70, 53}, Pages{12, 0, 0, 52, 39}}) {
    const ComparisonLayout L = LayoutColumns(o, p.font, p.pt, p.ls, 12);
    EXPECT_EQ(L.PTLines, p.wantPT) << p.font;
    EXPECT_EQ(L.LSLines, p.wantLS) << p.font;
  }
}

TEST(ComparisonTexts, PercentagesAndAnnualColumn) {
  G = Globals{};
  G.AmtWidth = 12;
  ComparisonOptions o;
  auto m = [](const char* t) { return Money::Parse(t); };
  RowFigures f;
  f.ActMonth = m("2"), f.BgtMonth = m("0.5"), f.VarMonth = m("1.5");
  EXPECT_EQ(FormatRowTexts(f, o, false).PctMonth, "") << "a budget below 1 blanks the percentage";
  f.BgtMonth = m("-0.5");
  EXPECT_NE(FormatRowTexts(f, o, false).PctMonth.find("-300 %"), std::string::npos);
  // Figures far beyond 32 bits still get their annual percentage.
  o.AnnualMode = 1;
  f.ActYTD = m("1500000000000"), f.Annual = m("3000000000000");
  RowTexts t = FormatRowTexts(f, o, false);
  EXPECT_NE(t.AnnualPct.find("50 %"), std::string::npos) << t.AnnualPct;
  EXPECT_NE(t.Annual.find("3000000000000"), std::string::npos) << t.Annual;
  o.AnnualMode = 3;  // remaining actual: annual less actual, as a share of the annual
  t = FormatRowTexts(f, o, false);
  EXPECT_NE(t.AnnualPct.find("50 %"), std::string::npos) << t.AnnualPct;
  o.AnnualMode = 4;
  f.LYYTD = m("-1234.5");
  t = FormatRowTexts(f, o, true);
  EXPECT_EQ(t.AnnualPct, "");
  EXPECT_NE(t.Annual.find("($1,235)"), std::string::npos) << t.Annual;
}

// A small chart in the program-wide tables and the report's arrays.
struct ChartLine {
  const char* number;
  const char* name;
  const char* type;
  int16_t level;
  int64_t act, bgt;  // the month's and the period's
  std::optional<int64_t> actYTD{};  // the period's actual when it differs from the month's
  int64_t lastYear = 0;             // last year's month and period
  int64_t annual = 0;               // the year's budget
};

void Prepare(BudgetComparison& r, const std::vector<ChartLine>& chart) {
  const auto n = static_cast<int32_t>(chart.size());
  G.NbrAccounts = G.TxRowCount = G.TxRowCapacity = n;
  G.AcctIDs.assign(n + 1, 0);
  G.AcctNumbers.assign(n + 1, "");
  G.AcctNames.assign(n + 1, "");
  G.AcctTypes.assign(n + 1, "");
  G.AcctLevels.assign(n + 1, 0);
  r.Arr.ResizeReportArrays(n);
  for (int32_t i = 1; i <= n; ++i) {
    const ChartLine& c = chart[static_cast<size_t>(i - 1)];
    const auto k = static_cast<size_t>(i);
    G.AcctIDs[k] = i;
    G.AcctNumbers[k] = c.number;
    G.AcctNames[k] = c.name;
    G.AcctTypes[k] = c.type;
    G.AcctLevels[k] = c.level;
    r.Arr.LineAcct[k] = i;
    r.Arr.ActMonth[k] = Money::FromUnits(c.act);
    r.Arr.ActYTD[k] = Money::FromUnits(c.actYTD.value_or(c.act));
    r.Arr.LYActMonth[k] = r.Arr.LYActYTD[k] = Money::FromUnits(c.lastYear);
    r.Arr.BgtMonth[k] = r.Arr.BgtYTD[k] = Money::FromUnits(c.bgt);
    r.Arr.AnnualCol[k] = Money::FromUnits(c.annual);
  }
  r.VarianceAndTotals();
  r.SortLines();
  r.BuildBody();
}

const ReportRow* Find(const BudgetComparison& r, const std::string& name) {
  for (const ReportRow& row : r.Rows)
    if (row.Name == name) return &row;
  return nullptr;
}

// The figures of a named row (a failure when there is none).
RowFigures FigOf(const BudgetComparison& r, const std::string& name) {
  const ReportRow* row = Find(r, name);
  if (!row) {
    ADD_FAILURE() << "no row " << name;
    return {};
  }
  return row->Fig;
}

class ComparisonBody : public ::testing::Test {
 protected:
  void SetUp() override {
    G = Globals{};
    G.AmtWidth = 12;
  }
  ScriptedUiScope ui_;
};

TEST_F(ComparisonBody, RowsOfASmallChart) {
  BudgetComparison r;
  r.Opt.PrintLevel = 4;
  r.Opt.PrintAccountNumbers = true;
  Prepare(r, {{"4-0000", "Income", "H", 1, 0, 0},
              {"4-1000", "Sales", "D", 2, 500, 800},
              {"4-2000", "Fees", "D", 2, 0, 120},  // budgeted, not spent: shown
              {"4-3000", "Idle", "D", 2, 0, 0},    // nothing at all: hidden
              {"5-0000", "Cost of Sales", "H", 1, 0, 0},
              {"5-1000", "Purchases", "D", 2, 150, 100},
              {"6-0000", "Expenses", "H", 1, 0, 0},
              {"6-1000", "Office", "H", 2, 0, 0},
              {"6-1100", "Rent", "D", 3, 500, 800},
              {"6-1200", "Phone", "D", 3, 20, 30},
              {"6-2000", "Wages", "D", 2, 100, 100},
              {"8-0000", "Other Income", "H", 1, 0, 0},
              {"8-1000", "Interest", "D", 2, 40, 0},
              {"9-0000", "Other Expenses", "H", 1, 0, 0},
              {"9-1000", "Fees Paid", "D", 2, 10, 0}});
  std::vector<std::string> names;
  for (const ReportRow& row : r.Rows)
    if (!row.Name.empty()) names.push_back(row.Name);
  const std::vector<std::string> want = {
      "Income",       "Sales",        "Fees",          "Total Income",           "Cost of Sales",
      "Purchases",    "Total Cost of Sales",            "Total Gross Profit",     "Expenses",
      "Office",       "Rent",         "Phone",         "Total Office",           "Wages",
      "Total Expenses", "Total Operating Profit",       "Other Income",           "Interest",
      "Total Other Income",           "Other Expenses", "Fees Paid",             "Total Other Expenses",
      "Surplus/Deficit"};
  EXPECT_EQ(names, want);
  // Variance: favourable positive, income actual less budget, costs budget less actual.
  EXPECT_EQ(Find(r, "Sales")->Fig.VarYTD, Money::FromUnits(-300));
  EXPECT_EQ(Find(r, "Rent")->Fig.VarYTD, Money::FromUnits(300));
  EXPECT_EQ(Find(r, "Total Income")->Fig.BgtYTD, Money::FromUnits(920));
  EXPECT_EQ(Find(r, "Total Office")->Fig.ActYTD, Money::FromUnits(520));
  EXPECT_EQ(Find(r, "Total Expenses")->Fig.ActYTD, Money::FromUnits(620));
  // Gross profit: income 500 less cost 150; budget 920 less 100.
  const ReportRow* gp = Find(r, "Total Gross Profit");
  EXPECT_EQ(gp->Fig.ActYTD, Money::FromUnits(350));
  EXPECT_EQ(gp->Fig.BgtYTD, Money::FromUnits(820));
  EXPECT_EQ(gp->Fig.VarYTD, Money::FromUnits(-470));
  const ReportRow* sd = Find(r, "Surplus/Deficit");
  EXPECT_EQ(sd->Fig.ActYTD, Money::FromUnits(350 - 620 + 40 - 10));
  EXPECT_TRUE(sd->Dollar && sd->DoubleRuleBelow && sd->RuleAbove);
  EXPECT_NE(sd->Txt.ActYTD.find("($240)"), std::string::npos) << sd->Txt.ActYTD;
  EXPECT_EQ(gp->Txt.ActYTD.find('$'), std::string::npos);
  // Account numbers on detail lines only; rules over totals of groups of two lines.
  EXPECT_EQ(Find(r, "Sales")->AcctNo, "4-1000");
  EXPECT_EQ(Find(r, "Total Office")->AcctNo, "");
  EXPECT_TRUE(Find(r, "Total Office")->RuleAbove);
  EXPECT_TRUE(Find(r, "Total Income")->RuleAbove);
  EXPECT_EQ(Find(r, "Office")->kind, ReportRow::Heading);
}

// A line, closing row or profit row is hidden only when every figure its layout shows is
// zero, so that each total equals the rows shown above it; an account of a class without
// a section counts in no section total.
TEST_F(ComparisonBody, RowsHiddenOnlyWhenEveryShownFigureIsZero) {
  auto units = [](int64_t u) { return Money::FromUnits(u); };
  struct Case {
    const char* name;
    std::function<void(ComparisonOptions&)> set;
    std::vector<ChartLine> chart;
    std::vector<std::string> want;  // the named rows of the body, in order
    std::function<void(const BudgetComparison&)> check;
  };
  const Case cases[] = {
      {"last year's layout shows no budget",
       [](ComparisonOptions& o) { o.LYVariance = true, o.VarDollars = false, o.VarBoth = true; },
       {{"4-0000", "Income", "H", 1, 0, 0},
        {"4-1000", "Sales", "D", 2, 500, 800},
        {"4-2000", "Old Fees", "D", 2, 0, 0, {}, 40},
        {"6-0000", "Expenses", "H", 1, 0, 0},
        {"6-1000", "Income Tax", "D", 2, 0, 300},
        {"8-0000", "Other Income", "H", 1, 0, 0},
        {"8-1000", "Grant", "D", 2, 0, 50}},
       {"Income", "Sales", "Old Fees", "Total Income", "Total Operating Profit", "Surplus/Deficit"},
       [&](const BudgetComparison& r) {
         EXPECT_EQ(FigOf(r, "Total Income").BgtYTD, units(40)) << "last year in the second column";
         EXPECT_EQ(FigOf(r, "Surplus/Deficit").VarYTD, units(460));
       }},
      {"figures that cancel",
       [](ComparisonOptions&) {},
       {{"6-0000", "Expenses", "H", 1, 0, 0}, {"6-1000", "Rent", "D", 2, 100, 0, -100}},
       {"Expenses", "Rent", "Total Expenses", "Total Operating Profit", "Surplus/Deficit"},
       [&](const BudgetComparison& r) {
         EXPECT_EQ(FigOf(r, "Total Expenses").ActMonth, units(100));
         EXPECT_EQ(FigOf(r, "Surplus/Deficit").ActYTD, units(100));
       }},
      {"month columns left out",
       [](ComparisonOptions& o) { o.ShowMonths = false; },
       {{"6-0000", "Expenses", "H", 1, 0, 0},
        {"6-1000", "Rent", "D", 2, 100, 0, 0},
        {"6-2000", "Phone", "D", 2, 20, 30}},
       {"Expenses", "Phone", "Total Expenses", "Total Operating Profit", "Surplus/Deficit"},
       [&](const BudgetComparison& r) { EXPECT_EQ(FigOf(r, "Total Expenses").ActYTD, units(20)); }},
      {"budgeted for the year only",
       [](ComparisonOptions& o) { o.AnnualMode = 1; },
       {{"6-0000", "Expenses", "H", 1, 0, 0},
        {"6-1000", "Rent", "D", 2, 0, 0, {}, 0, 1200},
        {"6-2000", "Idle", "D", 2, 0, 0}},
       {"Expenses", "Rent", "Total Expenses", "Total Operating Profit", "Surplus/Deficit"},
       [&](const BudgetComparison& r) { EXPECT_EQ(FigOf(r, "Total Expenses").Annual, units(1200)); }},
      // Read last (in account order) and without a header of its own: it ends the
      // Expenses group and counts in no section.
      {"a class without a section",
       [](ComparisonOptions& o) { o.IncludeGrandTots = true; },
       {{"4-0000", "Income", "H", 1, 0, 0},
        {"4-1000", "Sales", "D", 2, 500, 800},
        {"6-0000", "Expenses", "H", 1, 0, 0},
        {"6-1000", "Rent", "D", 2, 100, 100},
        {"9-0000", "Other Expenses", "H", 1, 0, 0},
        {"9-1000", "Fees Paid", "D", 2, 10, 0},
        {"7-1000", "Suspense", "D", 2, 750, 0}},
       {"Income", "Sales", "Total Income", "Expenses", "Rent", "Total Expenses", "Total Operating Profit",
        "Suspense", "Other Expenses", "Fees Paid", "Total Other Expenses", "Surplus/Deficit"},
       [&](const BudgetComparison& r) {
         EXPECT_EQ(FigOf(r, "Total Expenses").ActYTD, units(100));
         EXPECT_EQ(FigOf(r, "Total Other Expenses").ActYTD, units(10));
         EXPECT_EQ(FigOf(r, "Surplus/Deficit").ActYTD, units(390));
         std::map<std::string, Money> grand;
         for (const GrandTotalRow& g : r.GrandTotals) grand[g.Name] = g.Fig.ActYTD;
         EXPECT_EQ(grand["Expenses"], units(100));
         EXPECT_EQ(grand["Other Expenses"], units(10));
         EXPECT_EQ(grand["Surplus/Deficit"], units(390));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    G = Globals{};
    G.AmtWidth = 12;
    BudgetComparison r;
    c.set(r.Opt);
    Prepare(r, c.chart);
    std::vector<std::string> names;
    for (const ReportRow& row : r.Rows)
      if (!row.Name.empty()) names.push_back(row.Name);
    if (!c.want.empty()) {
      EXPECT_EQ(names, c.want);
    }
    c.check(r);
  }
}

TEST_F(ComparisonBody, ReportLevelTwoAndUnnamedHeaders) {
  BudgetComparison r;
  r.Opt.PrintLevel = 2;
  r.Opt.PrintAccountNumbers = true;
  // A level-2 header without a name closes into a row under its number, and the next
  // line keeps its account number and gets no rule.
  Prepare(r, {{"6-0000", "Expenses", "H", 1, 0, 0},
              {"6-1000", "", "H", 2, 0, 0},
              {"6-1100", "Rent", "D", 3, 500, 800},
              {"6-1200", "Phone", "D", 3, 20, 30},
              {"6-2000", "Wages", "D", 2, 100, 100}});
  const ReportRow* wages = Find(r, "Wages");
  ASSERT_NE(wages, nullptr);
  EXPECT_EQ(wages->TotalKind, 0);
  EXPECT_EQ(wages->AcctNo, "6-2000");
  EXPECT_FALSE(wages->RuleAbove);
  EXPECT_EQ(Find(r, "Rent"), nullptr) << "level 3 lies below the report level";
  ASSERT_NE(Find(r, "6-1000"), nullptr);
  EXPECT_EQ(Find(r, "6-1000")->Fig.ActYTD, Money::FromUnits(520));
  // Above the report level the closing row is a "Total" row.
  EXPECT_EQ(Find(r, "Expenses")->kind, ReportRow::Heading);
  EXPECT_EQ(Find(r, "Total Expenses")->Fig.ActYTD, Money::FromUnits(620));
}

TEST_F(ComparisonBody, LineOrderAndPageBreakList) {
  // More lines than four digits: line 10000 sorts after line 9999.
  BudgetComparison r;
  const int32_t n = 10005;
  G.TxRowCount = G.TxRowCapacity = G.NbrAccounts = n;
  G.AcctNumbers.assign(n + 1, "6-1000");
  r.Arr.ResizeReportArrays(n);
  for (int32_t i = 1; i <= n; ++i) r.Arr.LineAcct[static_cast<size_t>(i)] = i;
  r.SortLines();
  for (int32_t pos = 1; pos <= n; ++pos) ASSERT_EQ(r.SortedLine(pos), pos);

  struct Case {
    std::string text;
    bool use;
    std::vector<std::string> want;
  };
  std::string many;
  std::vector<std::string> manyWant{""};
  for (int i = 1; i <= 45; ++i) {
    many += (i > 1 ? "," : "") + std::to_string(6000 + i);
    manyWant.push_back(std::to_string(6000 + i));
  }
  const Case cases[] = {
      {"6-1000,,6-2000", true, {"", "6-1000", "", "6-2000"}},
      {"6-1000,6-2000,", true, {"", "6-1000", "6-2000"}},
      {"6-1000", false, {""}},
      {many, true, manyWant},  // no limit of 40
  };
  for (const Case& c : cases) {
    r.Opt.PageBreakAccts = c.text;
    r.Opt.UsePageBreaks = c.use;
    r.SplitPageBreaks();
    EXPECT_EQ(r.BreakAccts, c.want) << c.text;
  }
}

}  // namespace
}  // namespace qvx::test

namespace qvx::test {
namespace {

// The caption lines over the columns, as printed.
TEST(ComparisonHeadings, CaptionsByOptions) {
  ScriptedUiScope ui;
  const QTemporaryDir out;  // the job is abandoned: nothing is written there
  struct Case {
    const char* name;
    const char* toDate;   // yyyy-mm-dd
    const char* fromYMD;  // yyyymmdd
    int16_t months;
    std::function<void(ComparisonOptions&)> set;
    std::vector<std::string> want;  // texts that must be printed
  };
  const std::string d26(26, '-'), d17(17, '-'), d20(20, '-');
  const Case cases[] = {
      {"May, dollars, selected period", "2026-05-31", "20260301", 3, [](ComparisonOptions&) {},
       {"Budget Comparison", "(" + d26 + " May " + d26 + ")", "(" + d17 + " Selected Period " + d17 + " )", "Actual",
        "Budget", "Variance"}},
      {"September, dollars and %, year to date", "2025-09-30", "20250701", 3,
       [](ComparisonOptions& o) { o.VarDollars = false, o.VarBoth = true; },
       {"(" + d26 + " September " + d26 + ")", "(" + d20 + "  Year to Date " + d20 + " )", "%"}},
      {"last year's annual over twelve months, cash, last year", "2026-06-30", "20250701", 12,
       [](ComparisonOptions& o) { o.AnnualMode = 4, o.CashBasis = true, o.LYVariance = true; },
       {"Comparison with Last Year - Cash Basis", "Lyr Actual", "12 Months", "Last Year"}},
      {"one month", "2025-07-31", "20250701", 1, [](ComparisonOptions& o) { o.AnnualMode = 4; },
       {"1 Month", "(" + d17 + "  Year to Date " + d17 + " )"}},  // "July" is short: width 54
      {"percent with remaining budget", "2025-07-31", "20250701", 1,
       [](ComparisonOptions& o) { o.VarDollars = false, o.VarPercent = true, o.AnnualMode = 2; },
       {"Remaining", "Budget", "           %"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    G = Globals{};
    BuildMonthTables();
    G.BodyFont = 9, G.FirstMonth = 7, G.Underline = 1, G.PrintToPrinter = kTrue;
    G.ODBCToDate = c.toDate, G.FromYMD = c.fromYMD, G.NbrMonths2 = c.months;
    G.HeadingMode = kTrue, G.ChoosePrinter = kFalse;
    printer::Environment() = {};
    printer::Environment().systemPrinters = std::vector<std::string>{"Office Laser"};
    printer::Environment().redirectToPdf = out.filePath("headings.pdf").toStdString();
    printer::Environment().recording = true;
    printer::SetCurrent("Office Laser");
    BudgetComparison r;
    c.set(r.Opt);
    r.Lay = LayoutColumns(r.Opt, 9, 0, 0, 12);
    r.PrintColumnHeadings();
    std::vector<std::string> texts;
    for (const auto& call : printer::Environment().calls)
      if (call.kind == printer::DrawCall::Text) texts.push_back(call.text);
    for (const std::string& w : c.want)
      EXPECT_NE(std::find(texts.begin(), texts.end(), w), texts.end()) << "missing: " << w;
    printer::Current().KillDoc();
    printer::Environment() = {};
  }
}

}  // namespace
}  // namespace qvx::test
