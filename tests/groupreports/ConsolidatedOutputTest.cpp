// The consolidated report drawn from made-up group tables: the printed lines in order,
// headings, rules, paging and the worksheet cells, and the mended cases.
#include <regex>

#include <gtest/gtest.h>

#include "core/OutputFixture.h"
#include "groupreports/ConsolidatedOutput.h"
#include "groupreports/ConsolidatedReport.h"
#include "groupreports/MadeUpGroup.h"

namespace qvx::test {
namespace {

ConsolidationData TwoCompanies() {
  return MadeUpGroup({
      {100, "ALPHA", 10,
       {{"4-1000", "Sales", "04IN", 1000}, {"4-2000", "Services", "04IN", 500}, {"5-1000", "Purchases", "05CO", 300},
        {"6-1000", "Wages", "06EX", 200}, {"8-1000", "Interest", "08OI", 50}, {"9-1000", "Tax", "09OE", 25}}},
      {60, "BETA", 0,
       {{"4-1000", "Sales", "04IN", 600}, {"5-1000", "Purchases", "05CO", 120}, {"6-1000", "Wages", "06EX", 60}}},
  });
}

std::string Squeeze(const std::string& s) {
  return std::regex_replace(std::regex_replace(s, std::regex(" +"), " "), std::regex("^ | $"), "");
}

class ConsolidatedOutputTest : public OutputTest {
 protected:
  void SetUp() override {
    OutputTest::SetUp();
    G.PrintToPrinter = kTrue;
    G.PrintToExcel = kFalse;
    G.PrintLevel = 2;
    G.Underline = 2;
    G.HeadingMode = kTrue;
    G.ChoosePrinter = kTrue;
    G.AmtWidth = 14;
  }
  void ToWorkbook() {
    G.PrintToPrinter = kFalse;
    G.PrintToExcel = kTrue;
    G.OutputType = "EXCEL";
  }
  // Printed texts after the page heading, blanks squeezed, one entry per text item.
  static std::vector<std::string> BodyTexts() {
    // The first page's heading ends with the time of day.
    std::vector<std::string> out;
    bool body = false;
    for (const auto& t : Texts()) {
      const std::string s = Squeeze(t.text);
      if (body && !s.empty()) out.push_back(s);
      if (s == "14:05:09") body = true;
    }
    return out;
  }
  static std::vector<printer::DrawCall> Lines() {
    std::vector<printer::DrawCall> out;
    for (auto& c : printer::Environment().calls)
      if (c.kind == printer::DrawCall::Line) out.push_back(c);
    return out;
  }
  static std::string Cell(int row, int col) {
    return G.xlSheet ? G.xlSheet->Cells(row, col).Text() : "";
  }
  // The first row whose column holds the text.
  static int RowOf(const std::string& text, int col) {
    for (int r = 1; r < 200; ++r)
      if (Cell(r, col) == text) return r;
    return 0;
  }
};

TEST(ConsolidatedLayout, LinesPerPageOrientationAndColumns) {
  struct Case {
    LayoutSettings settings;
    int files;
    bool separate;
    const char* side;
    bool average;
    bool whole;
    int pageLines, orientation;
    std::vector<int16_t> colPos;  // 0 .. files (one column: 1 .. 5)
    int group, avg, groupXl;
  };
  const Case cases[] = {
      // The worked example: numbers shown, whole dollars, GROUP left with AVERAGE, four files.
      {{0, 0, 9, true}, 4, true, "L", true, true, 48, 2, {53, 97, 119, 141, 163}, 53, 75, 3},
      // GROUP right, three files: companies from the first position, GROUP one step on.
      {{0, 0, 10, false}, 3, true, "R", true, false, 45, 2, {45, 45, 70, 95}, 120, 145, 8},
      // Two files print in portrait; one column staggers the levels by the amount width.
      {{0, 0, 9, false}, 2, false, "L", false, false, 66, 1, {0, 45, 58, 71, 84, 97}, 0, 0, 0},
      // Lines per page from the settings; a landscape length of 0 takes the font's.
      {{50, 0, 9, false}, 5, false, "L", false, true, 48, 2, {0, 45, 55, 65, 75, 85}, 0, 0, 0},
      {{50, 30, 12, false}, 1, false, "L", false, true, 50, 1, {0, 45, 55, 65, 75, 85}, 0, 0, 0},
      // A body font with no table of its own still gets a page length.
      {{0, 0, 12, false}, 1, false, "L", false, true, 49, 1, {0, 45, 55, 65, 75, 85}, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.files);
    ConsolidationData d;
    d.SeparateCols = c.separate;
    d.GroupColSide = c.side;
    d.ShowAverage = c.average;
    d.WholeDollars = c.whole ? kTrue : kFalse;
    const ConsolidatedLayout l = PlanConsolidatedLayout(d, static_cast<int16_t>(c.files), c.settings);
    EXPECT_EQ(l.PageLines, c.pageLines);
    EXPECT_EQ(l.PrintOrientation, c.orientation);
    EXPECT_EQ(std::vector<int16_t>(l.ColPos.begin(), l.ColPos.begin() + static_cast<long>(c.colPos.size())), c.colPos);
    EXPECT_EQ(l.GroupColPos, c.group);
    EXPECT_EQ(l.AvgColPos, c.avg);
    EXPECT_EQ(l.GroupXlCol, c.groupXl);
  }
  // Thirty companies in a workbook each have a position.
  ConsolidationData d;
  d.SeparateCols = true;
  d.GroupColSide = "R";
  const ConsolidatedLayout l = PlanConsolidatedLayout(d, 30, {});
  ASSERT_GE(l.ColPos.size(), 31u);
  EXPECT_EQ(l.ColPos[30], 45 + 29 * 25);
  EXPECT_EQ(l.GroupColPos, 45 + 30 * 25);
}

TEST_F(ConsolidatedOutputTest, PrintedOneColumn) {
  QueuePrinterChoice("Office Laser");
  ConsolidationData d = TwoCompanies();
  WriteConsolidatedReport(d);
  ASSERT_EQ(G.ReportOK, kTrue);
  const std::vector<std::string> expected = {
      "Income", "Sales", "1,600.00 76 %", "Services", "500.00 24 %", "Total Income", "2,100.00 100 %",
      "Cost of Sales", "Purchases", "420.00 20 %", "Total Cost of Sales", "420.00 20 %",
      "Gross Profit", "1,680.00 80 %",
      "Expenses", "Wages", "260.00 12 %", "Total Expenses", "260.00 12 %",
      "Operating Profit", "1,420.00 68 %",
      "Other Income", "Interest", "50.00 2 %", "Total Other Income", "50.00 2 %",
      "Other Expenses", "Tax", "25.00 1 %", "Total Other Expenses", "25.00 1 %",
      "Net Profit/(Loss)", "1,445.00 69 %", "Comparison to Benchmarks"};
  EXPECT_EQ(BodyTexts(), expected);
  // Two portrait pages would need more lines: one page, portrait, closed properly.
  EXPECT_EQ(printer::Current().Orientation(), printer::kPortrait);
}

TEST_F(ConsolidatedOutputTest, PrintedCompanyColumnsAndComparisons) {
  QueuePrinterChoice("Office Laser");
  ConsolidationData d = TwoCompanies();
  d.SeparateCols = true;
  d.ShowAverage = true;
  d.WholeDollars = kTrue;
  d.GroupColSide = "R";
  Preferences::Instance().BMGrossProfit = M(1000);
  Preferences::Instance().BMSales = M(1000);
  Preferences::Instance().BMStaff = M(5);
  WriteConsolidatedReport(d);
  const std::vector<std::string> texts = BodyTexts();
  ASSERT_GE(texts.size(), 8u);
  // Company headings in column order, then GROUP and AVERAGE; the percentages below.
  EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 6),
            (std::vector<std::string>{"ALPHA", "BETA", "GROUP", "AVERAGE", "100 %", "60 %"}));
  // Sales: ALPHA 1,000 (67 % of its 1,500 sales), BETA 600, GROUP 1,600, AVERAGE 800
  // (against the average sales of 1,050).
  auto sales = std::find(texts.begin(), texts.end(), "Sales");
  ASSERT_NE(sales, texts.end());
  EXPECT_EQ(std::vector<std::string>(sales + 1, sales + 5),
            (std::vector<std::string>{"1,000 67 %", "600 100 %", "1,600 76 %", "800 76 %"}));
  // The comparison sections: GROUP compared with the benchmark times the companies.
  auto bm = std::find(texts.begin(), texts.end(), "Sales $1000");
  ASSERT_NE(bm, texts.end());
  EXPECT_EQ(std::vector<std::string>(bm + 1, bm + 5),
            (std::vector<std::string>{"1,500 50 %", "600 -40 %", "2,100 5 %", "1,050 5 %"}));
  auto staff = std::find(texts.begin(), texts.end(), "Number of Employees 5");
  ASSERT_NE(staff, texts.end());
  EXPECT_EQ(*(staff + 1), "10.00");  // two decimals, no percentage
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Comparison to Average"), texts.end());
  EXPECT_EQ(printer::Current().Orientation(), printer::kPortrait);
}

TEST_F(ConsolidatedOutputTest, RulePositions) {
  // One column, account numbers, whole dollars: a level-1 total ruled from column 63.
  QueuePrinterChoice("Office Laser");
  G.PrintAccountNumbers = kTrue;
  ConsolidationData d = TwoCompanies();
  d.WholeDollars = kTrue;
  WriteConsolidatedReport(d);
  const auto lines = Lines();
  ASSERT_FALSE(lines.empty());
  bool found = false;
  for (const auto& l : lines) found = found || (l.x == 6086 && l.x2 == 7086);
  EXPECT_TRUE(found);

  // Company columns, GROUP on the left, three companies, whole dollars: 4546 to 11158.
  printer::Current().KillDoc();
  printer::Environment().calls.clear();
  G.HeadingMode = kTrue;
  G.ChoosePrinter = kTrue;
  G.PageNo = 0;
  G.ReportOK = kFalse;
  QueuePrinterChoice("Office Laser");
  d = MadeUpGroup({{100, "A", 0, {{"4-1000", "Sales", "04IN", 10}, {"4-2000", "More", "04IN", 1}}},
                   {100, "B", 0, {{"4-1000", "Sales", "04IN", 10}}},
                   {100, "C", 0, {{"4-1000", "Sales", "04IN", 10}}}});
  d.SeparateCols = true;
  d.WholeDollars = kTrue;
  WriteConsolidatedReport(d);
  found = false;
  for (const auto& l : Lines()) found = found || (l.x == 4546 && l.x2 == 11158);
  EXPECT_TRUE(found);
  EXPECT_EQ(printer::Current().Orientation(), printer::kLandscape);
}

TEST_F(ConsolidatedOutputTest, SixCompaniesStayOnThePage) {
  // Six companies with GROUP, AVERAGE and account numbers are wider than a landscape page
  // at 9 points: the page is drawn smaller until every column, and every rule, fits.
  QueuePrinterChoice("Office Laser");
  G.PrintAccountNumbers = kTrue;
  std::vector<MadeUpFile> files;
  for (int i = 0; i < 6; ++i)
    files.push_back({100.0 - i * 10, "CO" + std::to_string(i), 3,
                     {{"4-1000", "Sales", "04IN", 123456.78 * (i + 1)}, {"6-1000", "Wages", "06EX", 5000}}});
  ConsolidationData d = MadeUpGroup(files);
  d.SeparateCols = true;
  d.ShowAverage = true;
  WriteConsolidatedReport(d);
  printer::Printer& p = printer::Current();
  const double width = p.ScaleWidth();
  double rightmost = 0;
  int companies = 0;
  for (const auto& t : Texts()) {
    p.SetFontSize(t.fontSize);
    rightmost = std::max(rightmost, t.x + p.TextWidth(t.text));
    if (Squeeze(t.text).rfind("CO", 0) == 0) ++companies;
  }
  EXPECT_EQ(companies, 6);
  EXPECT_LE(rightmost, width);
  EXPECT_GT(rightmost, (842 - 36) * 20) << "wider than the printable width of landscape A4 at full size";
  for (const auto& l : Lines()) EXPECT_LE(l.x2, width + 1);
  EXPECT_EQ(Texts().back().fontSize, 9);
}

TEST_F(ConsolidatedOutputTest, Paging) {
  QueuePrinterChoice("Office Laser");
  G.PTLines = 30;
  G.LSLines = 20;
  std::vector<MadeUpAccount> many;
  for (int i = 0; i < 60; ++i) many.push_back({"6-" + std::to_string(1000 + i), "Cost " + std::to_string(i), "06EX", 1});
  many.push_back({"4-1000", "Sales", "04IN", 100});
  ConsolidationData d = MadeUpGroup({{100, "A", 0, many}});
  WriteConsolidatedReport(d);
  // No page holds more than 30 lines; every account printed once, inside the page.
  std::map<int, double> lowest;
  std::map<int, int> perPage;
  int accounts = 0;
  for (const auto& t : Texts()) {
    lowest[t.page] = std::max(lowest[t.page], t.y);
    if (t.text.rfind("Cost ", 0) == 0) {
      ++accounts;
      ++perPage[t.page];
    }
  }
  EXPECT_EQ(accounts, 60);
  EXPECT_GE(lowest.size(), 3u);
  for (const auto& [page, count] : perPage) EXPECT_LE(count, 30) << page;
  for (const auto& [page, y] : lowest) EXPECT_LT(y, printer::Current().ScaleHeight()) << page;
  // Every page after the first starts with the continuation heading.
  int headings = 0;
  for (const auto& t : Texts())
    if (t.text.find("Consolidated Profit & Loss Statement") != std::string::npos) ++headings;
  EXPECT_EQ(headings, static_cast<int>(lowest.size()));
}

TEST_F(ConsolidatedOutputTest, WorkbookLeftWithAverage) {
  ToWorkbook();
  G.PrintAccountNumbers = kTrue;
  ConsolidationData d = TwoCompanies();
  d.SeparateCols = true;
  d.ShowAverage = true;
  WriteConsolidatedReport(d);
  ASSERT_TRUE(G.xlSheet);
  // c = 1: GROUP at 3, AVERAGE at 5, companies at 7 and 9.
  const int head = RowOf("GROUP", 3);
  ASSERT_GT(head, 0);
  EXPECT_EQ(Cell(head, 5), "AVERAGE");
  EXPECT_EQ(Squeeze(Cell(head, 7)), "ALPHA");
  EXPECT_EQ(Squeeze(Cell(head, 9)), "BETA");
  EXPECT_EQ(Cell(head + 1, 9), " 60 %");
  const int sales = RowOf("Sales", 2);
  ASSERT_GT(sales, 0);
  EXPECT_EQ(Cell(sales, 1), "4-1000");
  const auto number = [](int r, int c) { return std::get<double>(G.xlSheet->Cells(r, c).Value()); };
  EXPECT_DOUBLE_EQ(number(sales, 3), 1600);
  EXPECT_DOUBLE_EQ(number(sales, 5), 800);
  EXPECT_DOUBLE_EQ(number(sales, 7), 1000);
  EXPECT_DOUBLE_EQ(number(sales, 9), 600);
  const int net = RowOf("Net Profit/(Loss)", 2);
  ASSERT_GT(net, 0);
  EXPECT_DOUBLE_EQ(number(net, 3), 1445);
  EXPECT_DOUBLE_EQ(number(net, 7), 1500 - 300 - 200 + 50 - 25);
  EXPECT_DOUBLE_EQ(number(net, 9), 600 - 120 - 60);
  // The row above a total is underlined across the amount area.
  ASSERT_NE(G.xlSheet->Find(net - 1, 3), nullptr);
  EXPECT_TRUE(G.xlSheet->Find(net - 1, 3)->style.borderBottom);
  EXPECT_EQ(G.PageLines, 66);
}

TEST_F(ConsolidatedOutputTest, CommonHeaderTotalsByCompany) {
  // Each company's column of a header's total line is the sum of that company's lines in
  // the block; the group column the header's own block sum.
  ToWorkbook();
  G.PrintLevel = 4;
  const auto file = [](double shop, double online) {
    return std::vector<MadeUpAccount>{{"4-1000", "Trading", "04IN", 0, "UH", 2},
                                      {"4-1100", "Shop", "04IN", shop, "D", 3},
                                      {"4-1200", "Online", "04IN", online, "D", 3},
                                      {"4-2000", "Services", "04IN", 7, "D", 2}};
  };
  ConsolidationData d = MadeUpGroup({{100, "A", 0, file(100, 20)}, {50, "B", 0, file(40, 2)}}, true);
  d.SeparateCols = true;
  WriteConsolidatedReport(d);
  const int total = RowOf("Total Trading", 1);
  ASSERT_GT(total, 0);
  const auto number = [](int r, int c) { return std::get<double>(G.xlSheet->Cells(r, c).Value()); };
  // c = 0: GROUP at 2, A at 4, B at 6.
  EXPECT_DOUBLE_EQ(number(total, 2), 162);
  EXPECT_DOUBLE_EQ(number(total, 4), 120);
  EXPECT_DOUBLE_EQ(number(total, 6), 42);
  const int income = RowOf("Total Income", 1);
  ASSERT_GT(income, total);
  EXPECT_DOUBLE_EQ(number(income, 2), 176);
  EXPECT_DOUBLE_EQ(number(income, 6), 49);
}

TEST_F(ConsolidatedOutputTest, HeaderWithoutTotalKeepsNextLine) {
  // Level 2 printed: a common header whose block is zero prints no total; the next line
  // must start a row of its own instead of writing over the header's.
  ToWorkbook();
  ConsolidationData d = MadeUpGroup({{100, "A", 0,
                                      {{"4-1000", "Trading", "04IN", 0, "UH", 2}, {"4-1100", "Shop", "04IN", 5, "D", 3},
                                       {"4-1200", "Back", "04IN", -5, "D", 3}, {"4-2000", "Other", "04IN", 9, "D", 2}}}},
                                   true);
  WriteConsolidatedReport(d);
  const int trading = RowOf("Trading", 1);
  const int other = RowOf("Other", 1);
  ASSERT_GT(trading, 0);
  ASSERT_GT(other, trading);
  EXPECT_TRUE(Cell(trading, 4).empty());
  EXPECT_EQ(RowOf("Total Trading", 1), 0);
}

TEST_F(ConsolidatedOutputTest, NoOutputAndColumnLimit) {
  ConsolidationData d = MadeUpGroup({{100, "A", 0, {{"4-1000", "Sales", "04IN", 0}}}});
  ToWorkbook();
  WriteConsolidatedReport(d);
  EXPECT_EQ(ui_->Messages().back(), "No output to print for Report ");
  EXPECT_EQ(G.ReportOK, kFalse);

  ui_->Clear();
  d = TwoCompanies();
  d.SeparateCols = true;
  d.ConsFileCount = 7;
  d.MaxConsFiles = 6;
  WriteConsolidatedReport(d);
  ASSERT_EQ(ui_->Messages().size(), 1u);
  EXPECT_EQ(ui_->Messages()[0], "Maximum data files for showing separate columns is 6");
}

TEST_F(ConsolidatedOutputTest, OddAccountsStayReadable) {
  // Numbers that are not d-dddd, levels outside 1 to 4, names that read as a formula or a
  // number, and a 30-character name with "&" and quotes: every name is written as it is.
  ToWorkbook();
  G.PrintLevel = 4;
  const std::string longName = "Smith & \"Jones\" Holdings Pty L";
  ConsolidationData d = MadeUpGroup({{100, "A", 0,
                                      {{"4-1000", "=1+1", "04IN", 10, "D", 0},
                                       {"4-2000", "2024", "04IN", 5, "D", 2},
                                       {"4-3000", "Deep", "04IN", 2, "D", 7},
                                       {"ABC", longName, "04IN", 3},
                                       {"6-1000", "Wages", "06EX", 1}}}});
  d.SeparateCols = true;
  WriteConsolidatedReport(d);
  EXPECT_EQ(G.ReportOK, kTrue);
  for (const std::string name : {"=1+1", "2024", "Wages"}) EXPECT_GT(RowOf(name, 1), 0) << name;
  EXPECT_GT(RowOf(longName, 1), 0);
  // Deeper than the report level, with no header there to sum it up: its amount, which
  // the income total counts, shows on a line of its own.
  EXPECT_GT(RowOf("Deep", 1), 0);
  EXPECT_GT(RowOf("Net Profit/(Loss)", 1), 0);
}

}  // namespace
}  // namespace qvx::test
