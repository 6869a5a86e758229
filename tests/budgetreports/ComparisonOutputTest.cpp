// The whole run to its output: printed pages read back with pdftotext, workbooks read
// back with openpyxl, figures compared with the test's own SQL sums; and the ends of a
// run that produce nothing (printer cancelled, no data, no workbook, no accounts).
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "ComparisonFixture.h"
#include "budgetreports/BudgetOptions.h"
#include "budgetreports/BudgetReports.h"
#include "core/DateRangeMth.h"
#include "tests/platform/printer/PdfText.h"

namespace qvx::test {
namespace {

// An amount as the report shows it without decimals: rounded half away from zero,
// thousands separators, brackets for negatives.
std::string Shown(Money m) {
  const int64_t raw = m.Raw();
  const int64_t whole = (std::llabs(raw) + Money::kScale / 2) / Money::kScale;
  std::string digits = std::to_string(whole);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<size_t>(i), ",");
  return raw < 0 && whole != 0 ? "(" + digits + ")" : digits;
}

class ComparisonRunTest : public ComparisonTest {
 protected:
  // The July-to-December period of the Australian sample, with the printer chosen.
  void Prepare(BudgetComparison& r, bool toExcel) {
    OpenSample(samples::kAustralianFile);
    SetPeriod("01/07/2025", "31/12/2025", "01/07/2025", "30/06/2026");
    r.Opt.ToExcel = toExcel;
    if (toExcel) {
      G.OutputFolder = dir_.path().toStdString() + "/";
      G.OutputFileName = "Comparison.xlsx";
      G.FileChosen = kTrue;
    } else {
      QueuePrinter(true);
    }
  }
  void QueuePrinter(bool choose) {
    ui_->QueueForm([choose](ui::Form& f) {
      auto& form = dynamic_cast<SelectPrinterForm&>(f);
      if (!choose) {
        form.cmdCancel_Click();
        return;
      }
      auto items = form.lstPrinters.findItems("Office Laser", Qt::MatchExactly);
      ASSERT_EQ(items.size(), 1);
      form.lstPrinters.setCurrentItem(items.front());
      form.cmdOK_Click();
    });
  }
  // A six-month figure of an account from the file.
  Money SqlYTD(const std::string& number) {
    const auto rows = Raw().Rows(
        "SELECT printf('%.2f', SUM(ROUND(j.TaxExclusiveAmount, 2))) FROM JournalRecords j "
        "JOIN Accounts a ON a.AccountID = j.AccountID WHERE j.TransactionDate BETWEEN '2025-07-01' AND '2025-12-31' "
        "AND a.AccountNumber = '" + number + "'");
    Money m = Money::Parse(rows.at(0).at(0));
    return (number[0] == '4' || number[0] == '8') ? -m : m;
  }
  std::string Line(const std::string& text, const std::string& containing) {
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
      if (l.find(containing) != std::string::npos) return l;
    return {};
  }
};

TEST_F(ComparisonRunTest, PrintedPagesCarryTheFigures) {
  BudgetComparison r;
  r.Opt.AnnualMode = 1;
  r.Opt.PrintAccountNumbers = true;
  Prepare(r, false);
  ASSERT_TRUE(r.Produce());
  EXPECT_TRUE(ui_->Messages().empty()) << ui_->Messages().front();
  const std::string text = PdfText(Path("out.pdf"));
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.find("Budget Comparison"), std::string::npos);
  EXPECT_NE(text.find("Year to Date"), std::string::npos);
  EXPECT_NE(text.find("December"), std::string::npos);
  for (const char* number : {"4-1100", "6-1100", "5-1000"}) {
    const std::string line = Line(text, number);
    ASSERT_FALSE(line.empty()) << number;
    EXPECT_NE(line.find(Shown(SqlYTD(number))), std::string::npos) << line;
  }
  const std::string surplus = Line(text, "Surplus/Deficit");
  EXPECT_NE(surplus.find("$"), std::string::npos) << surplus;
  EXPECT_FALSE(Line(text, "Total Gross Profit").empty());
  // The page is landscape (months shown).
  EXPECT_EQ(G.PrintOrientation, 2);
}

TEST_F(ComparisonRunTest, WorkbookCellsCarryTheFigures) {
  BudgetComparison r;
  r.Opt.AnnualMode = 1;
  r.Opt.VarBoth = true;
  r.Opt.VarDollars = false;
  r.Opt.IncludeGrandTots = true;
  Prepare(r, true);
  ASSERT_TRUE(r.Produce());
  const std::string file = Path("Comparison.xlsx");
  ASSERT_TRUE(std::filesystem::exists(file)) << (ui_->Messages().empty() ? "" : ui_->Messages().front());
  // Layout with variance "B": month block B-E, YTD actual in column G (7), budget H,
  // variance I, % J.
  const std::string script = Path("read.py");
  std::ofstream(script) << "import openpyxl, sys\n"
                           "ws = openpyxl.load_workbook(sys.argv[1]).active\n"
                           "for row in ws.iter_rows(values_only=True):\n"
                           "    print('|'.join('' if v is None else str(v) for v in row))\n";
  const std::string cells = CommandOutput("/usr/bin/python3 '" + script + "' '" + file + "'");
  ASSERT_FALSE(cells.empty());
  auto cell = [&](const std::string& name, int column) {
    std::istringstream in(cells);
    for (std::string l; std::getline(in, l);) {
      std::vector<std::string> f;
      std::stringstream ss(l);
      for (std::string x; std::getline(ss, x, '|');) f.push_back(x);
      if (!f.empty() && f[0] == name && static_cast<int>(f.size()) >= column) return f[static_cast<size_t>(column - 1)];
    }
    return std::string("missing");
  };
  for (const auto& [number, name] : {std::pair{"4-1100", "Service Sales"}, {"6-1100", "Rent"}}) {
    const double expected = std::round(SqlYTD(number).ToDouble());
    EXPECT_DOUBLE_EQ(std::stod(cell(name, 7)), expected) << name;
  }
  // The captions stand over their columns.
  EXPECT_NE(cells.find("|Actual|Budget|Variance|  %  |"), std::string::npos) << cells;
  EXPECT_NE(cells.find("Grand Totals"), std::string::npos);
  EXPECT_EQ(shell_.opened.size(), 1u);
}

// The percentage layout as printed (pdftotext's word boxes): each percentage stands under
// its caption, "Variance" or the annual "%", its "%" where the others' end and its figure
// where theirs end (a 0 has no "%"); every rule closes the figures up to the last column.
TEST_F(ComparisonRunTest, PercentagesLineUpUnderTheirCaptionsAndTheRulesCloseThem) {
  struct Case {
    const char* name;
    int16_t annual;
    bool months, lastYear, grandTotals;
  };
  const Case cases[] = {{"months, annual budget", 1, true, false, true},
                        {"portrait, remaining actual", 3, false, false, false},
                        {"no annual column", 0, true, false, true},
                        {"last year compared, remaining budget", 2, false, true, false}};
  struct Word {
    int page;
    double left, right, top;
    std::string text;
  };
  const std::regex token(R"re(<page |<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="([0-9.]+)"[^>]*>([^<]*)<)re");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui_->Clear();
    printer::Environment().calls.clear();
    BudgetComparison r;
    r.Opt.VarDollars = false, r.Opt.VarPercent = true;
    r.Opt.AnnualMode = c.annual;
    r.Opt.ShowMonths = c.months;
    r.Opt.LYVariance = c.lastYear;
    r.Opt.IncludeGrandTots = c.grandTotals;
    Prepare(r, false);
    ASSERT_TRUE(r.Produce());
    const std::string html = PdfText(Path("out.pdf"), 0, true);
    std::vector<Word> words;
    int pageNo = 0;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), token); it != std::sregex_iterator(); ++it) {
      const std::smatch& m = *it;
      if (!m[1].matched) ++pageNo;
      else words.push_back({pageNo, std::stod(m[1]), std::stod(m[3]), std::stod(m[2]), m[4]});
    }
    // The captions over the percentages, and the body below them, page by page.
    std::map<int, double> captionLine;
    for (const Word& w : words)
      if (w.text == "Variance" && !captionLine.count(w.page)) captionLine[w.page] = w.top;
    std::vector<const Word*> captions;
    for (const Word& w : words)
      if (w.page == 1 && std::abs(w.top - captionLine[1]) < 0.5 && (w.text == "Variance" || w.text == "%"))
        captions.push_back(&w);
    ASSERT_EQ(captions.size(), (c.months ? 2u : 1u) + (c.annual >= 1 && c.annual <= 3 ? 1u : 0u));
    auto body = [&](const Word& w) { return captionLine.count(w.page) && w.top > captionLine[w.page] + 1; };
    double lastFigure = 0;
    for (const Word& w : words)
      if (body(w)) lastFigure = std::max(lastFigure, w.right);
    for (const Word* caption : captions) {
      SCOPED_TRACE("under \"" + caption->text + "\" at " + std::to_string(caption->left));
      std::vector<double> signs, figures, zeros;
      for (size_t i = 0; i < words.size(); ++i) {
        const Word& w = words[i];
        const bool under = w.right > caption->left && w.right < caption->right + 1;
        if (!body(w) || !under) continue;
        if (w.text == "%" && i > 0 && words[i - 1].top == w.top) {
          signs.push_back(w.right);
          figures.push_back(words[i - 1].right);
        } else if (w.text == "0") {
          zeros.push_back(w.right);
        }
      }
      ASSERT_GT(signs.size(), 5u);
      const auto [low, high] = std::minmax_element(signs.begin(), signs.end());
      EXPECT_LT(*high - *low, 0.05);
      const auto [lowFigure, highFigure] = std::minmax_element(figures.begin(), figures.end());
      EXPECT_LT(*highFigure - *lowFigure, 0.05);
      for (double zero : zeros) EXPECT_NEAR(zero, *lowFigure, 0.05);
    }
    // Rules in twips from the printable area's corner; the PDF keeps an edge of 18 points.
    int rules = 0;
    for (const printer::DrawCall& call : printer::Environment().calls) {
      if (call.kind != printer::DrawCall::Line) continue;
      ++rules;
      const double end = std::max(call.x, call.x2) / 20 + 18;
      EXPECT_GE(end, lastFigure);
      EXPECT_LT(end, lastFigure + 20) << "the rule runs on past the figures";
    }
    EXPECT_GT(rules, 5);
  }
}

TEST_F(ComparisonRunTest, RunsThatProduceNothing) {
  {
    SCOPED_TRACE("printer choice cancelled: no totals, no message, nothing printed");
    BudgetComparison r;
    OpenSample(samples::kAustralianFile);
    SetPeriod("01/07/2025", "31/12/2025", "01/07/2025", "30/06/2026");
    QueuePrinter(false);
    r.Produce();
    EXPECT_TRUE(ui_->Messages().empty());
    EXPECT_FALSE(std::filesystem::exists(Path("out.pdf")));
    EXPECT_EQ(G.ReportOK, kFalse);
  }
  {
    SCOPED_TRACE("a period without transactions or budgets");
    ui_->Clear();
    BudgetComparison r;
    SetPeriod("01/07/2030", "31/07/2030", "01/07/2030", "30/06/2031");
    r.Produce();
    ASSERT_EQ(ui_->Messages().size(), 1u);
    EXPECT_EQ(ui_->Messages()[0], "No output to print for Report ");
    EXPECT_EQ(ui_->shown.back().title, "No data for report");
  }
  {
    SCOPED_TRACE("the workbook cannot be started");
    ui_->Clear();
    excel::Environment().createFailure = err::CannotCreateObject;
    BudgetComparison r;
    r.Opt.ToExcel = true;
    SetPeriod("01/07/2025", "31/12/2025", "01/07/2025", "30/06/2026");
    EXPECT_FALSE(r.Produce());
    EXPECT_EQ(ui_->Messages().size(), 1u);  // StartExcel's own message, nothing per cell
    EXPECT_TRUE(r.Rows.empty());
    excel::Environment().createFailure = 0;
  }
}

TEST_F(ComparisonRunTest, AccountQueryWithoutRecordsetEndsTheRun) {
  OpenSample(samples::kAustralianFile);
  // The accounts go after the connection, so that only the report's query fails.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file_.c_str(), &db), SQLITE_OK);
  sqlite3_busy_timeout(db, 2000);  // a writer waits for the driver's short read lease to end
  ASSERT_EQ(sqlite3_exec(db, "DROP TABLE Accounts", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  SetPeriod("01/07/2013", "31/12/2013", "01/07/2013", "30/06/2014");
  BudgetComparison r;
  EXPECT_FALSE(r.Produce());
  ASSERT_EQ(ui_->Messages().size(), 1u);
  // The reader's own message, and nothing after it.
  EXPECT_TRUE(ui_->Messages()[0] == "UserID restrictions in MYOB prevent access to the data" ||
              ui_->Messages()[0].rfind("An error has occurred - ", 0) == 0)
      << ui_->Messages()[0];
  EXPECT_TRUE(r.Rows.empty());
}

}  // namespace
}  // namespace qvx::test

namespace qvx::test {
namespace {

// A chart a report must survive: no section accounts for some classes, balance-sheet and
// level-0 accounts, numbers of no "d-dddd" form, missing names and levels, levels beyond
// four, budgets without any actual, and ten thousand accounts.
TEST_F(ComparisonRunTest, ChartsOfBadShape) {
  samples::CompanySetup setup;
  setup.currentFinancialYear = 2026;
  OpenBuilt(setup, [](samples::CompanyFile& f) {
    auto acct = [&](const std::string& number, const std::string& name, char type, int level) {
      samples::AccountDef d;
      d.number = number, d.name = name, d.type = type, d.level = level;
      return f.AddAccount(d);
    };
    const int bank = acct("1-1110", "Bank", 'D', 2);
    acct("4-0000", "Income", 'H', 1);
    const int sales = acct("4-1000", "Sales", 'D', 2);
    const int odd = acct("X12", "Odd number", 'D', 2);
    const int deep = acct("6-1000", "Deep", 'D', 7);
    acct("6-2000", "Level zero", 'D', 0);
    const int unnamed = acct("6-3000", "will lose its name", 'D', 2);
    const int budgeted = acct("6-4000", "Budget only", 'D', 2);
    for (int i = 0; i < 10000; ++i) acct("9-" + std::to_string(10000 + i).substr(1), "Spare " + std::to_string(i), 'D', 2);
    f.Exec("UPDATE Accounts SET AccountName = NULL WHERE AccountID = " + std::to_string(unnamed));
    f.Exec("UPDATE Accounts SET AccountLevel = NULL WHERE AccountNumber = '6-2000'");
    samples::Journal j;
    j.date = "2025-08-10";
    j.lines = {{.account = bank, .amount = Money::FromUnits(10)},
               {.account = sales, .amount = Money::FromUnits(-100)},
               {.account = odd, .amount = Money::FromUnits(30)},
               {.account = deep, .amount = Money::FromUnits(40)},
               {.account = unnamed, .amount = Money::FromUnits(20)}};
    f.AddGeneralJournal(j);
    f.AddBudget(budgeted, 2026, 2, Money::FromUnits(75));
  });
  SetPeriod("01/07/2025", "31/08/2025", "01/07/2025", "30/06/2026");
  BudgetComparison r;
  r.Opt.PrintAccountNumbers = true;
  QueuePrinter(true);
  ASSERT_TRUE(r.Produce());
  EXPECT_TRUE(ui_->Messages().empty()) << ui_->Messages().front();
  EXPECT_EQ(G.NbrAccounts, 10006);  // profit and loss accounts with a level
  const std::string text = PdfText(Path("out.pdf"));
  EXPECT_NE(Line(text, "Budget only").find("75"), std::string::npos);
  EXPECT_NE(Line(text, "Odd number").find("30"), std::string::npos);
  EXPECT_NE(Line(text, "Deep").find("40"), std::string::npos);
  EXPECT_FALSE(Line(text, "Surplus/Deficit").empty());
  EXPECT_EQ(Line(text, "Level zero"), "");
}

}  // namespace
}  // namespace qvx::test

namespace qvx::test {
namespace {

// The run from the main window's entry: period dialog, Budget Options, output, finish.
TEST_F(ComparisonRunTest, FromTheDialogs) {
  OpenSample(samples::kAustralianFile);
  auto queuePeriod = [&] {
    ui_->QueueForm([](ui::Form& form) {
      auto& f = dynamic_cast<DateRangeMthForm&>(form);
      f.CmbFinYear.setCurrentIndex(f.CmbFinYear.findText("Year ending June 2026"));
      f.FromMth.setCurrentIndex(f.FromMth.findText("July"));
      f.ToMth.setCurrentIndex(f.ToMth.findText("December"));
      f.CmdOkay_Click();
    });
  };
  auto forms = [&] {
    int n = 0;
    for (const auto& s : ui_->shown) n += s.kind == "form";
    return n;
  };
  std::string code = "BGTCMP";

  // Cancel in the period dialog: the common finish, no options dialog.
  ui_->QueueForm([](ui::Form& f) { dynamic_cast<DateRangeMthForm&>(f).Cancel_Click(); });
  PrintBudgetComparison(code);
  EXPECT_EQ(forms(), 1);
  // Cancel in the options dialog: the run ends there.
  ui_->Clear();
  queuePeriod();
  ui_->QueueForm([](ui::Form& f) { dynamic_cast<FilterPLBGTForm&>(f).Command1_Click(); });
  PrintBudgetComparison(code);
  EXPECT_EQ(forms(), 2);
  EXPECT_TRUE(ui_->Messages().empty());
  EXPECT_FALSE(std::filesystem::exists(Path("out.pdf")));
  // Both answered: the report is printed with the options chosen.
  ui_->Clear();
  queuePeriod();
  ui_->QueueForm([](ui::Form& form) {
    auto& f = dynamic_cast<FilterPLBGTForm&>(form);
    f.OptAnnualBgt.setChecked(true);
    f.OptBoth.setChecked(true);
    f.CmbLevel.setCurrentIndex(2);
    f.Exit_Click();
  });
  QueuePrinter(true);
  PrintBudgetComparison(code);
  EXPECT_TRUE(ui_->Messages().empty()) << ui_->Messages().front();
  const std::string text = PdfText(Path("out.pdf"));
  EXPECT_NE(text.find("Annual"), std::string::npos);
  EXPECT_NE(text.find("Variance%"), std::string::npos);
  EXPECT_EQ(G.PrintLevel, 3);
}

}  // namespace
}  // namespace qvx::test
