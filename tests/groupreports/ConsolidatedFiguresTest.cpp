// Figures of the consolidated profit and loss on made-up group tables: which accounts
// become lines and in which order, group and company amounts, class totals, sales, the
// column order and the comparison rows.
#include <gtest/gtest.h>

#include "groupreports/ConsolidatedLines.h"
#include "groupreports/MadeUpGroup.h"

namespace qvx::test {
namespace {

// Three companies; 4-5000 is income in ALPHA and other income in BETA; 6-2000 has no
// movement anywhere; 9-1000 moves only in CHI.
ConsolidationData ThreeCompanies() {
  return MadeUpGroup({
      {100, "ALPHA", 10,
       {{"4-1000", "Sales", "04IN", 1000}, {"4-2000", "Services", "04IN", 500}, {"4-5000", "Sundry", "04IN", 70},
        {"5-1000", "Purchases", "05CO", 300}, {"6-1000", "Wages", "06EX", 200}, {"6-2000", "Rent", "06EX", 0},
        {"8-1000", "Interest", "08OI", 50}}},
      {60, "BETA", 0,
       {{"4-1000", "Sales North", "04IN", 600}, {"4-5000", "Sundry", "08OI", 30}, {"5-1000", "Purchases", "05CO", 120},
        {"6-1000", "Wages", "06EX", 60}, {"6-2000", "Rent", "06EX", 0}}},
      {50, "CHI", 4,
       {{"4-1000", "Sales", "04IN", -100}, {"6-1000", "Wages", "06EX", 40}, {"9-1000", "Tax", "09OE", 25}}},
  });
}

TEST(ConsolidatedFigures, LinesOrderAmountsAndCompanyFigures) {
  const ConsolidationData d = ThreeCompanies();
  const ConsolidatedFigures fig = BuildConsolidatedFigures(d);
  struct Expect {
    const char* cls;
    const char* number;
    const char* name;
    double group;
    std::array<double, 3> files;
  };
  const Expect expected[] = {
      {"04IN", "4-1000", "Sales", 1500, {1000, 600, -100}},
      {"04IN", "4-2000", "Services", 500, {500, 0, 0}},
      // Matched by number and class letters: BETA's 4-5000 is other income only.
      {"04IN", "4-5000", "Sundry", 70, {70, 0, 0}},
      {"05CO", "5-1000", "Purchases", 420, {300, 120, 0}},
      {"06EX", "6-1000", "Wages", 300, {200, 60, 40}},
      {"08OI", "4-5000", "Sundry", 30, {0, 30, 0}},
      {"08OI", "8-1000", "Interest", 50, {50, 0, 0}},
      {"09OE", "9-1000", "Tax", 25, {0, 0, 25}},
  };
  ASSERT_EQ(fig.Lines.size(), std::size(expected));
  for (size_t i = 0; i < fig.Lines.size(); ++i) {
    SCOPED_TRACE(i);
    const ConsolidatedLine& l = fig.Lines[i];
    EXPECT_EQ(l.Class, expected[i].cls);
    EXPECT_EQ(l.Number, expected[i].number);
    EXPECT_EQ(l.Name, expected[i].name);
    EXPECT_EQ(l.Amount, M(expected[i].group));
    Money sum;
    for (int f = 1; f <= 3; ++f) {
      EXPECT_EQ(l.FileAmount[static_cast<size_t>(f)], M(expected[i].files[static_cast<size_t>(f - 1)]));
      sum += l.FileAmount[static_cast<size_t>(f)];
    }
    EXPECT_EQ(sum, l.Amount);
  }
  EXPECT_TRUE(fig.HasIncome && fig.HasCostOfSales && fig.HasExpenses);

  EXPECT_EQ(fig.Group[PLClass::IN], M(2070));
  EXPECT_EQ(fig.Group[PLClass::CO], M(420));
  EXPECT_EQ(fig.Group[PLClass::EX], M(300));
  EXPECT_EQ(fig.Group[PLClass::OI], M(80));
  EXPECT_EQ(fig.Group[PLClass::OE], M(25));
  EXPECT_EQ(fig.Group.GrossProfit(), M(1650));
  EXPECT_EQ(fig.Group.OperatingProfit(), M(1350));
  EXPECT_EQ(fig.Group.NetProfit(), M(1405));
  EXPECT_EQ(fig.File[2][PLClass::OI], M(30));
  EXPECT_EQ(fig.File[3].NetProfit(), M(-165));
  EXPECT_EQ(fig.FileSales[0], M(2070));
  EXPECT_EQ(fig.FileSales[1], M(1570));
  // Income of every file over the three accepted files, to the cent.
  EXPECT_EQ(fig.AvgSales, M(690));
  // Columns: 100 %, 60 %, 50 %.
  EXPECT_EQ(fig.ColFile, (std::vector<int16_t>{0, 1, 2, 3}));
  EXPECT_EQ(fig.ColHead[2], "BETA      ");
}

TEST(ConsolidatedFigures, SelectionAndNames) {
  // Rent moves nowhere: no line. A file refused for the limit is counted by
  // ConsFileCount only and changes nothing.
  ConsolidationData d = ThreeCompanies();
  d.ConsFileCount = 5;
  ConsolidatedFigures fig = BuildConsolidatedFigures(d);
  for (const auto& l : fig.Lines) EXPECT_NE(l.Number, "6-2000");
  EXPECT_EQ(fig.AvgSales, M(690));

  // The line takes the name of the first file that moves the account; contributions
  // that cancel to nothing let the next one name it again.
  d = MadeUpGroup({{100, "A", 0, {{"4-1000", "First", "04IN", 0}}},
                   {100, "B", 0, {{"4-1000", "Second", "04IN", 10}}},
                   {100, "C", 0, {{"4-1000", "Third", "04IN", -10}}},
                   {100, "D", 0, {{"4-1000", "Fourth", "04IN", 5}}}});
  fig = BuildConsolidatedFigures(d);
  ASSERT_EQ(fig.Lines.size(), 1u);
  EXPECT_EQ(fig.Lines[0].Name, "Fourth");
  EXPECT_EQ(fig.Lines[0].Amount, M(5));

  // Nothing moved at all: no lines, no section flags.
  d = MadeUpGroup({{100, "A", 0, {{"4-1000", "Sales", "04IN", 0}}}});
  fig = BuildConsolidatedFigures(d);
  EXPECT_TRUE(fig.Lines.empty());
  EXPECT_FALSE(fig.HasIncome || fig.HasCostOfSales || fig.HasExpenses);
}

TEST(ConsolidatedFigures, CommonHeadersRollUpTheirBlock) {
  const std::vector<MadeUpAccount> accounts = {
      {"4-1000", "Trading", "04IN", 0, "UH", 2}, {"4-1100", "Retail", "04IN", 0, "UH", 3},
      {"4-1110", "Shop", "04IN", 100, "D", 4},   {"4-1120", "Online", "04IN", 50, "D", 4},
      {"4-1200", "Wholesale", "04IN", 30, "D", 3}, {"4-2000", "Other", "04IN", 7, "D", 2},
  };
  std::vector<MadeUpAccount> secondFile = accounts;
  secondFile.pop_back();
  ConsolidationData d = MadeUpGroup({{100, "A", 0, accounts}, {100, "B", 0, secondFile}}, true);
  ConsolidatedFigures fig = BuildConsolidatedFigures(d);
  ASSERT_EQ(fig.Lines.size(), 6u);
  EXPECT_EQ(fig.Lines[0].Amount, M(360));  // both files' 180
  EXPECT_EQ(fig.Lines[1].Amount, M(300));
  EXPECT_EQ(fig.Lines[5].Amount, M(7));
  EXPECT_EQ(fig.Group[PLClass::IN], M(367));  // detail lines only

  // A block ends at the next class, however deep its first line lies.
  d = MadeUpGroup({{100, "A", 0,
                    {{"6-1000", "General", "06EX", 0, "UH", 2},
                     {"6-1100", "Rent", "06EX", 40, "D", 3},
                     {"8-1000", "Interest", "08OI", 5, "D", 3}}}},
                  true);
  fig = BuildConsolidatedFigures(d);
  ASSERT_EQ(fig.Lines.size(), 3u);
  EXPECT_EQ(fig.Lines[0].Amount, M(40));

  // A third accepted file without the headers: they are no longer common to all.
  d = MadeUpGroup({{100, "A", 0, accounts}, {100, "B", 0, secondFile}, {100, "C", 0, {{"4-2000", "Other", "04IN", 1}}}},
                  true);
  fig = BuildConsolidatedFigures(d);
  for (const auto& l : fig.Lines) EXPECT_NE(l.Type, "UH");
}

// A line counts in the group of the header that holds it in the chart of the first company
// holding it, and comes inside that group, whatever another company's chart puts between;
// a header that gives no line passes its lines on to its section.
TEST(ConsolidatedFigures, LinesComeInTheGroupOfTheirHeader) {
  const std::vector<MadeUpAccount> first = {
      {"6-1000", "General", "06EX", 0, "UH", 2}, {"6-1100", "Rent", "06EX", 10, "D", 3},
      {"6-1300", "Office", "06EX", 20, "D", 3},  {"6-2000", "Payroll", "06EX", 0, "UH", 2},
      {"6-2100", "Wages", "06EX", 40, "D", 3}};
  // Advertising, at the level of General, ends General in this chart.
  const std::vector<MadeUpAccount> advertising = {
      {"6-1000", "General", "06EX", 0, "UH", 2}, {"6-1100", "Rent", "06EX", 1, "D", 3},
      {"6-1250", "Advertising", "06EX", 2, "D", 2}};
  // No payroll header: the wages are general expenses in this chart.
  const std::vector<MadeUpAccount> noPayroll = {
      {"6-1000", "General", "06EX", 0, "UH", 2}, {"6-1100", "Rent", "06EX", 1, "D", 3},
      {"6-2100", "Wages", "06EX", 4, "D", 3}};
  struct Case {
    std::vector<MadeUpFile> files;
    std::vector<std::string> order;
    std::vector<int32_t> holders;
    double general, expenses;
  };
  const Case cases[] = {
      {{{100, "A", 0, first}, {100, "B", 0, advertising}},
       {"6-1000", "6-1100", "6-1300", "6-1250", "6-2100"}, {-1, 0, 0, -1, -1}, 31, 73},
      // The payroll header gives no line; the file read first decides where the wages go.
      {{{100, "A", 0, first}, {100, "C", 0, noPayroll}},
       {"6-1000", "6-1100", "6-1300", "6-2100"}, {-1, 0, 0, -1}, 31, 75},
      {{{100, "C", 0, noPayroll}, {100, "A", 0, first}},
       {"6-1000", "6-1100", "6-1300", "6-2100"}, {-1, 0, 0, 0}, 75, 75},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.files[0].shortName + c.files[1].shortName);
    const ConsolidatedFigures fig = BuildConsolidatedFigures(MadeUpGroup(c.files, true));
    std::vector<std::string> order;
    std::vector<int32_t> holders;
    for (const ConsolidatedLine& l : fig.Lines) order.push_back(l.Number), holders.push_back(l.Holder);
    EXPECT_EQ(order, c.order);
    EXPECT_EQ(holders, c.holders);
    EXPECT_EQ(fig.Lines[0].Amount, M(c.general));
    EXPECT_EQ(fig.Group[PLClass::EX], M(c.expenses));
  }
  // Without common headers the lines keep their order and no header holds them.
  const ConsolidatedFigures fig =
      BuildConsolidatedFigures(MadeUpGroup({{100, "A", 0, first}, {100, "B", 0, advertising}}));
  std::vector<std::string> order;
  for (const ConsolidatedLine& l : fig.Lines) {
    order.push_back(l.Number);
    EXPECT_EQ(l.Holder, -1);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"6-1100", "6-1250", "6-1300", "6-2100"}));
}

TEST(ConsolidatedFigures, ColumnOrder) {
  struct Case {
    std::vector<std::pair<double, std::string>> files;
    std::vector<int16_t> order;
  };
  std::vector<Case> cases = {
      // Highest percentage first; 33.333 and 33.334 tie at two decimals: by short name.
      {{{60, "B"}, {100, "Z"}, {33.333, "Y"}, {33.334, "X"}}, {2, 1, 4, 3}},
      // Equal percentages and names: file numbers as text.
      {std::vector<std::pair<double, std::string>>(12, {50, "SAME"}), {1, 10, 11, 12, 2, 3, 4, 5, 6, 7, 8, 9}},
  };
  for (const Case& c : cases) {
    std::vector<MadeUpFile> files;
    for (const auto& [pct, name] : c.files) files.push_back({pct, name, 0, {{"4-1000", "Sales", "04IN", 1}}});
    const ConsolidatedFigures fig = BuildConsolidatedFigures(MadeUpGroup(files));
    std::vector<int16_t> got(fig.ColFile.begin() + 1, fig.ColFile.end());
    EXPECT_EQ(got, c.order);
  }
}

TEST(ConsolidatedFigures, ComparisonRows) {
  ConsolidationData d = ThreeCompanies();
  d.SeparateCols = true;
  d.WholeDollars = kFalse;
  const ConsolidatedFigures fig = BuildConsolidatedFigures(d);
  const ComparisonSections s = BuildComparisons(fig, d, {M(1000), M(500), M(200), M(5)});
  std::vector<std::string> labels;
  for (const auto& r : s.Benchmark) labels.push_back(r.Label);
  EXPECT_EQ(labels, (std::vector<std::string>{"   Sales $1000", "   Gross Profit $500", "   Net Profit     $200",
                                              "   Number of Employees 5", "   Sales per Employee $200",
                                              "   GP per Employee $100", "   NP per Employee $40"}));
  const ComparisonRow& sales = s.Benchmark[0];
  EXPECT_EQ(sales.Group, M(2070));
  EXPECT_EQ(sales.Column[2], M(600));
  EXPECT_EQ(sales.Average, M(690));  // the average sales before the row
  EXPECT_EQ(s.AvgSales, M(690));      // (1570 + 600 - 100) / 3 in whole dollars
  // Net profit here leaves other income and expenses out.
  EXPECT_EQ(s.Benchmark[2].Group, M(1350));
  EXPECT_EQ(s.Benchmark[2].Column[3], M(-140));
  const ComparisonRow& staff = s.Benchmark[3];
  EXPECT_TRUE(staff.StaffRow);
  EXPECT_FALSE(staff.WholeDollars);
  EXPECT_EQ(staff.Group, M(14));
  EXPECT_EQ(s.AvgStaff, M(4.67));
  // BETA has no employees: its cell stays empty and only 14 employees divide the group.
  const ComparisonRow& salesPer = s.Benchmark[4];
  EXPECT_TRUE(salesPer.WholeDollars);
  EXPECT_EQ(salesPer.Column[2], Money{});
  EXPECT_EQ(salesPer.Column[1], M(157));
  EXPECT_EQ(salesPer.Column[3], M(-25));
  EXPECT_EQ(salesPer.Group, SafeQuotient(2070, 14));
  EXPECT_EQ(salesPer.Average, M(148));  // 690 / 4.67 in whole dollars

  ASSERT_EQ(s.Average.size(), 7u);
  EXPECT_EQ(s.Average[0].Label, "   Sales $690");
  EXPECT_EQ(s.Average[1].Compare, M(550));  // (1200 + 480 - 100) / 3
  // The per-employee rows left whole dollars on.
  EXPECT_TRUE(s.Average[0].WholeDollars);

  // Only the gross-profit benchmark lets the sales row through; a sales benchmark under
  // a half gives no sales-per-employee row; without company columns nothing is divided.
  d.SeparateCols = false;
  const ComparisonSections t = BuildComparisons(BuildConsolidatedFigures(d), d, {M(0.4), M(0), M(0), M(2)});
  labels.clear();
  for (const auto& r : t.Benchmark) labels.push_back(r.Label);
  EXPECT_EQ(labels, (std::vector<std::string>{"   Number of Employees 2"}));
  EXPECT_EQ(t.Benchmark[0].Group, Money{});
}

}  // namespace
}  // namespace qvx::test
