// The forecast as a user gets it: the printed pages read back with pdftotext and the
// saved workbook read back with openpyxl, every detail line checked against the company
// file's own sums and every workbook total against the sum of its row.
#include <cmath>
#include <ostream>
#include <sstream>

#include "ForecastFixture.h"

namespace qvx::test {
namespace {

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

std::vector<std::string> TextLines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

// The figures printed after a line's name: the words that follow the name's words.
std::optional<std::vector<std::string>> FiguresAfter(const std::vector<std::string>& lines, const std::string& name) {
  const std::vector<std::string> nameWords = Words(name);
  for (const auto& l : lines) {
    std::vector<std::string> w = Words(l);
    for (size_t i = 0; i + nameWords.size() <= w.size(); ++i) {
      if (!std::equal(nameWords.begin(), nameWords.end(), w.begin() + static_cast<long>(i))) continue;
      if (i + nameWords.size() < w.size() && (w[i + nameWords.size()][0] == '(' || std::isdigit(w[i + nameWords.size()][0]) ||
                                              w[i + nameWords.size()][0] == '$'))
        return std::vector<std::string>(w.begin() + static_cast<long>(i + nameWords.size()), w.end());
    }
  }
  return std::nullopt;
}

struct PrintCase {
  const char* name;
  const char* from;
  const char* to;
  const char* mode;
  bool numbers;
  int startMonth, monthCount;
  const char* windowStart;  // yyyymm
  const char* windowEnd;
  const char* months;       // the month captions printed
};
// Named in test listings by its name rather than its bytes, which change from build to build.
void PrintTo(const PrintCase& c, std::ostream* os) { *os << c.name; }

class ForecastPrintTest : public ForecastTest, public ::testing::WithParamInterface<PrintCase> {};

TEST_P(ForecastPrintTest, PrintedLinesCarryTheCompanyFilesFigures) {
  const PrintCase& c = GetParam();
  Connect();
  RunReport(c.from, c.to, {.mode = c.mode, .numbers = c.numbers});
  const std::string text = PdfText(Path("out.pdf"));
  ASSERT_FALSE(text.empty()) << "nothing printed";
  const auto lines = TextLines(text);

  EXPECT_NE(text.find("Budget Forecast"), std::string::npos);
  EXPECT_NE(text.find("Name"), std::string::npos);
  bool monthsFound = false;
  for (const auto& l : lines)
    if (Words(l) == Words("Name " + std::string(c.months) + " Total")) monthsFound = true;
  EXPECT_TRUE(monthsFound) << c.months;

  const std::string mode = c.mode;
  const auto expected = ExpectedRows(mode, c.startMonth, c.monthCount, G.ODBCFromDate, G.ODBCToDate,
                                     c.windowStart, c.windowEnd);
  ASSERT_FALSE(expected.empty());
  const auto accounts = SqlAccounts();
  std::vector<Money> surplus(expected.begin()->second.size());
  for (const auto& [number, figures] : expected) {
    SCOPED_TRACE(number);
    std::vector<std::string> want;
    Money total;
    for (size_t i = 0; i < figures.size(); ++i) {
      want.push_back(Whole(figures[i]));
      total += figures[i];
      const char cls = number[0];
      surplus[i] += (cls == '4' || cls == '8') ? figures[i] : -figures[i];
    }
    want.push_back(Whole(total));
    const std::string name = (c.numbers ? number + " " : "") + accounts.at(number).name;
    const auto got = FiguresAfter(lines, name);
    ASSERT_TRUE(got) << name << " not printed";
    EXPECT_EQ(*got, want);
  }
  std::vector<std::string> want;
  Money total;
  for (const Money& m : surplus) {
    want.push_back(Whole(m, true));
    total += m;
  }
  want.push_back(Whole(total, true));
  const auto got = FiguresAfter(lines, "Surplus/Deficit");
  ASSERT_TRUE(got);
  EXPECT_EQ(*got, want);
  EXPECT_TRUE(ui_->Messages().empty()) << ui_->Messages().front();
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ForecastPrintTest,
    ::testing::Values(PrintCase{"ActualThenBudget", "01/07/2025", "31/12/2025", "AB", false, 7, 6, "202507", "202606",
                                "Jul Aug Sep Oct Nov Dec Jan Feb Mar Apr May Jun"},
                      PrintCase{"ActualNovemberToFebruary", "01/11/2025", "28/02/2026", "A", true, 11, 4, "202511",
                                "202610", "Nov Dec Jan Feb"},
                      PrintCase{"BudgetFromSeptember", "01/09/2025", "31/12/2025", "B", false, 9, 4, "202509",
                                "202608", "Sep Oct Nov Dec"}),
    [](const auto& info) { return std::string(info.param.name); });

// One cell of the saved workbook.
struct SheetCell {
  std::string formula, value, format;
  bool bold = false;
  std::string bottom;
  std::string size;
};
using Sheet = std::map<std::pair<int, std::string>, SheetCell>;

Sheet ReadWorkbook(const std::string& path) {
  Sheet sheet;
  const std::string out = CommandOutput("/usr/bin/python3 '" + std::string(QVX_SOURCE_DIR) +
                                        "/tests/budgetreports/forecast_workbook.py' '" + path + "' 2>&1");
  for (const auto& line : TextLines(out)) {
    std::vector<std::string> f;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t')) f.push_back(field);
    if (f.size() < 6) {
      ADD_FAILURE() << "workbook reader: " << line;
      continue;
    }
    f.resize(8);
    sheet[{std::stoi(f[0]), f[1]}] = {f[2], f[3], f[4], f[5] == "1", f[6], f[7]};
  }
  return sheet;
}

// A cell's number ("" is 0).
int64_t Number(const std::string& v) { return v.empty() ? 0 : std::llround(std::stod(v)); }

struct SheetCase {
  const char* name;
  const char* from;
  const char* to;
  const char* mode;
  int startMonth, monthCount;
  const char* windowStart;
  const char* windowEnd;
  const char* last;  // the total column
};
// Named in test listings by its name rather than its bytes, which change from build to build.
void PrintTo(const SheetCase& c, std::ostream* os) { *os << c.name; }

class ForecastWorkbookTest : public ForecastTest, public ::testing::WithParamInterface<SheetCase> {};

TEST_P(ForecastWorkbookTest, TotalsAreSumFormulasOfTheirRows) {
  const SheetCase& c = GetParam();
  Connect();
  RunReport(c.from, c.to, {.mode = c.mode, .numbers = true, .excel = true});
  ASSERT_EQ(RunMessages().size(), 1u);
  EXPECT_NE(RunMessages().front().find("Forecast.XLSX"), std::string::npos);
  const Sheet sheet = ReadWorkbook(Path("Forecast.XLSX"));
  ASSERT_FALSE(sheet.empty());

  const std::string last = c.last;
  const std::string lastMonth(1, static_cast<char>(last[0] - 1));
  auto cell = [&](int row, const std::string& col) {
    auto it = sheet.find({row, col});
    return it == sheet.end() ? SheetCell{} : it->second;
  };

  // The caption rows: month names then "Total", and (Act)/(Bgt) beneath, the second
  // with a border under it.
  int headingRow = 0;
  for (const auto& [key, v] : sheet)
    if (key.second == last && v.value == "Total") headingRow = key.first;
  ASSERT_GT(headingRow, 0);
  EXPECT_EQ(cell(headingRow, "B").value, G.MonthShort[static_cast<size_t>(c.startMonth)]);
  EXPECT_EQ(cell(headingRow + 1, "B").value, std::string(c.mode) == "B" ? "(Bgt)" : "(Act)");
  EXPECT_EQ(cell(headingRow + 1, last).bottom, "thin");

  const auto accounts = SqlAccounts();
  std::map<std::string, std::string> numberOfName;
  for (const auto& [number, a] : accounts) numberOfName[a.name] = number;
  const auto expected = ExpectedRows(c.mode, c.startMonth, c.monthCount, G.ODBCFromDate, G.ODBCToDate,
                                     c.windowStart, c.windowEnd);

  int formulas = 0, details = 0;
  bool surplusSeen = false, incomeBold = false;
  for (int row = headingRow + 2; row <= headingRow + 200; ++row) {
    const SheetCell name = cell(row, "A");
    if (name.value == "Income") incomeBold = name.bold;
    EXPECT_EQ(name.value.find('-'), std::string::npos) << "no account number in the workbook: " << name.value;
    const SheetCell total = cell(row, last);
    if (total.formula.empty()) {
      EXPECT_TRUE(cell(row, "B").value.empty()) << "figures without a total formula on row " << row;
      continue;
    }
    SCOPED_TRACE(name.value);
    ++formulas;
    const std::string r = std::to_string(row);
    EXPECT_EQ(total.formula, "=SUM(B" + r + ":" + lastMonth + r + ")");
    // The total shows in the format of the row's first figure, and every figure of the
    // sheet in the one standard font size.
    EXPECT_EQ(total.format, cell(row, "B").format);
    for (char col = 'B'; col <= last[0]; ++col) EXPECT_EQ(cell(row, std::string(1, col)).size, "11") << col;
    // The stored result is the sum of the row as written.
    int64_t sum = 0;
    for (char col = 'B'; col <= lastMonth[0]; ++col) sum += Number(cell(row, std::string(1, col)).value);
    EXPECT_EQ(Number(total.value), sum);

    const bool surplus = name.value == "Surplus/Deficit";
    const bool totalRow = surplus || name.value == "Gross Profit" || name.value == "Operating Profit" ||
                          name.value.rfind("Total ", 0) == 0;
    if (totalRow) {
      for (char col = 'B'; col <= last[0]; ++col)
        EXPECT_EQ(cell(row, std::string(1, col)).format, surplus ? "$#,##0" : "#,##0") << col;
    }
    if (surplus) {
      surplusSeen = true;
      EXPECT_EQ(cell(row, "B").bottom, "thin");
      EXPECT_EQ(cell(row, last).bottom, "thin");
      EXPECT_TRUE(cell(row + 1, "A").value.empty()) << "a blank row follows";
    }
    auto number = numberOfName.find(name.value);
    if (number != numberOfName.end() && accounts.at(number->second).type == "D") {
      ++details;
      const auto& want = expected.at(number->second);
      for (size_t i = 0; i < want.size(); ++i) {
        const std::string col(1, static_cast<char>('B' + i));
        EXPECT_EQ(Number(cell(row, col).value), WholeValue(want[i])) << col;
      }
    }
  }
  EXPECT_EQ(details, static_cast<int>(expected.size()));
  EXPECT_GT(formulas, details);
  EXPECT_TRUE(surplusSeen);
  EXPECT_TRUE(incomeBold) << "a level-1 header is bold";
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ForecastWorkbookTest,
    ::testing::Values(SheetCase{"ActualThenBudget", "01/07/2025", "31/12/2025", "AB", 7, 6, "202507", "202606", "N"},
                      SheetCase{"ActualThreeMonths", "01/01/2026", "31/03/2026", "A", 1, 3, "202601", "202612", "E"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qvx::test
