// What the forecast does with input it cannot use: periods it refuses, company files
// with unreadable journal lines, missing tables or no section headers, a workbook that
// cannot be started and a run with nothing to show. It says so (or skips), never
// counts a figure twice and never leaves a workbook behind that holds nothing.
#include <set>

#include "ForecastFixture.h"

namespace qvx::test {
namespace {

TEST_F(ForecastTest, RefusedPeriodsEndTheRunWithTheirMessage) {
  struct Case {
    const char* from;
    const char* to;
    const char* message;  // "" when the run goes on to print
  };
  const Case cases[] = {
      {"01/07/2025", "01/07/2026", "Please select no more than 12 months "},
      {"15/03/2025", "01/04/2026", "Please select no more than 12 months "},
      {"01/07/2025", "30/06/2026", ""},
  };
  Connect();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " " + c.to);
    ui_->Clear();
    RunReport(c.from, c.to, {.mode = "A", .reachesOptions = !*c.message});
    const auto messages = ui_->Messages();
    if (*c.message) {
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_EQ(messages[0], c.message);
          EXPECT_EQ(ui_->shown.back().title, "Date Range");
      EXPECT_FALSE(printer::Current().JobStarted());
    } else {
      EXPECT_TRUE(messages.empty());
      EXPECT_EQ(G.BodyFont, 9) << "the common finish ran";
    }
  }
}

TEST_F(ForecastTest, OptionsCancelEndsTheRunAtOnce) {
  Connect();
  G.BodyFont = 7;
  RunReport("01/07/2025", "31/12/2025", {.choosePrinter = false, .cancelOptions = true});
  EXPECT_TRUE(ui_->Messages().empty());
  EXPECT_EQ(G.BodyFont, 7) << "no common finish";
  EXPECT_FALSE(printer::Current().JobStarted());
}

TEST_F(ForecastTest, CancelledPrinterChoiceEndsWithoutAMessage) {
  Connect();
  RunReport("01/07/2025", "31/12/2025", {.cancelPrinter = true});
  EXPECT_TRUE(ui_->Messages().empty());
  EXPECT_FALSE(printer::Current().JobStarted());
  EXPECT_EQ(G.BodyFont, 9) << "the common finish ran";
}

TEST_F(ForecastTest, PeriodDialogCancelEndsThroughTheCommonFinish) {
  Connect();
  G.DateFromKeys = kTrue;
  G.BodyFont = 0;
  ui_->QueueForm([](ui::Form& form) { dynamic_cast<DateRangeForm&>(form).Cancel_Click(); });
  std::string code = "BGTFCT";
  ReportBudgetForecast(code);
  EXPECT_TRUE(ui_->Messages().empty());
  EXPECT_EQ(G.BodyFont, 9);
}

// Journal lines that cannot be read, that belong to no section or to no account in the
// table: skipped, every other line counted once.
TEST_F(ForecastTest, UnreadableAndForeignJournalLinesAreSkipped) {
  {
    SqlFile db(file_);
    db.Exec("INSERT INTO Accounts (AccountID, ParentAccountID, AccountNumber, AccountName, AccountTypeID, AccountLevel) "
            "VALUES (900, 0, '7-1000', 'Suspense', 'D', 1), (901, 0, '6-9900', 'Hidden Costs', 'D', 0)");
    db.Exec("INSERT INTO JournalRecords (JournalRecordID, SetID, AccountID, TransactionDate, TaxExclusiveAmount, "
            "JobID, IsForeignTransaction) VALUES "
            "(90001, 1, 29, '2025-08-10', NULL, 0, 'N'),"     // no amount
            "(90002, 1, NULL, '2025-08-10', 500, 0, 'N'),"    // no account
            "(90003, 1, 900, '2025-08-10', 700, 0, 'N'),"     // class 7: no section
            "(90004, 1, 4, '2025-08-10', 800, 0, 'N'),"       // balance sheet
            "(90005, 1, 901, '2025-08-10', 900, 0, 'N'),"     // level 0
            "(90006, 1, 9999, '2025-08-10', 1000, 0, 'N'),"   // no such account
            "(90007, 1, 29, '2025-08-11', -150, 0, 'N'),"     // a debit of income
            "(90008, 1, 40, '2025-08-11', -150, 0, 'N')");    // a credit of an expense
  }
  Connect();
  BudgetForecast f;
  const ForecastReport r = Lines(f, "01/07/2025", "31/12/2025", "01/07/2025", "30/06/2026", "A");
  // The NULL amount and the NULL account cannot be read: one box each, the lines left out.
  EXPECT_EQ(ui_->Messages(), std::vector<std::string>(2, "An error has occurred - Invalid use of Null"));

  const MonthFigures actual = SqlActuals(G.ODBCFromDate, G.ODBCToDate);
  std::set<std::string> shown;
  for (const ForecastLine& line : r.lines) {
    if (line.type != "D" || !line.output) continue;
    shown.insert(line.number);
    for (int c = 1; c <= r.shownColumns; ++c) {
      auto it = actual.find({line.number, r.columnMonth[static_cast<size_t>(c)]});
      EXPECT_EQ(line.figures[static_cast<size_t>(c)], it == actual.end() ? Money{} : it->second)
          << line.number << " column " << c;
    }
  }
  EXPECT_EQ(shown.count("7-1000"), 0u);
  EXPECT_EQ(shown.count("6-9900"), 0u);
  EXPECT_EQ(shown.count("1-1110"), 0u);
}

TEST_F(ForecastTest, MissingTablesAndFailedWorkbookEndTheRunAfterTheirMessage) {
  struct Case {
    const char* name;
    const char* sql;       // what the company file loses
    int createFailure;     // the workbook cannot be started
    const char* message;   // the start of the first message shown ("": the reader's own)
  };
  const Case cases[] = {
      {"NoAccounts", "ALTER TABLE Accounts RENAME COLUMN AccountTypeID TO AccountKind", 0, ""},
      {"NoJournal", "ALTER TABLE JournalRecords RENAME COLUMN TaxExclusiveAmount TO Amount", 0, ""},
      {"NoWorkbook", "", err::CannotCreateObject, "An error has occurred - "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Conn = ConnectionState{};
    std::filesystem::remove(file_);
    std::filesystem::copy_file(samples::SamplePath(samples::kAustralianFile), file_);
    if (*c.sql) SqlFile(file_).Exec(c.sql);
    Connect();
    excel::Environment().createFailure = c.createFailure;
    RunReport("01/07/2025", "31/12/2025", {.mode = "A", .excel = true});
    excel::Environment().createFailure = 0;
    const auto messages = RunMessages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0].rfind(c.message, 0), 0u) << messages[0];
    EXPECT_FALSE(std::filesystem::exists(Path("Forecast.XLSX")));
    EXPECT_EQ(excel::Environment().running, 0) << "nothing left running";
    EXPECT_EQ(G.BodyFont, 9) << "the common finish ran";
  }
}

// Sums beyond the money range while the lines are worked out (two incomes of 500 million
// million in one month): the report's error box, then the common finish, with nothing
// left open, on both outputs.
TEST_F(ForecastTest, SumsBeyondTheMoneyRangeShowTheErrorBoxAndFinish) {
  {
    SqlFile db(file_);
    const auto incomes = db.Rows("SELECT AccountID FROM Accounts WHERE AccountNumber LIKE '4-%' "
                                 "AND AccountTypeID = 'D' AND AccountLevel > 0 ORDER BY AccountNumber LIMIT 2");
    ASSERT_EQ(incomes.size(), 2u);
    db.Exec("INSERT INTO JournalRecords (JournalRecordID, SetID, AccountID, TransactionDate, TaxExclusiveAmount, "
            "JobID, IsForeignTransaction) VALUES (90001, 1, " + incomes[0][0] + ", '2025-08-10', -500000000000000, "
            "0, 'N'), (90002, 1, " + incomes[1][0] + ", '2025-08-10', -500000000000000, 0, 'N')");
  }
  Connect();
  for (const bool excel : {true, false}) {
    SCOPED_TRACE(excel ? "workbook" : "printer");
    ui_->Clear();
    G.BodyFont = 7;
    RunReport("01/07/2025", "31/12/2025", {.mode = "A", .excel = excel});
    const auto messages = RunMessages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0], "An error has occurred - Overflow");
    EXPECT_EQ(G.BodyFont, 9) << "the common finish ran";
    EXPECT_FALSE(G.ProgressShown);
    EXPECT_EQ(excel::Environment().running, 0) << "no workbook left open";
    EXPECT_FALSE(printer::Current().JobStarted()) << "no print job left open";
  }
  // The line whose sum failed is not shown, and no total counts any part of it: each
  // closing line equals the detail lines shown under its header.
  BudgetForecast f;
  const ForecastReport r = Lines(f, "01/07/2025", "31/12/2025", "01/07/2025", "30/06/2026", "A");
  std::vector<ForecastFigures> open;  // sums of the shown detail lines, per open header
  int closings = 0;
  for (const ForecastLine& line : r.lines) {
    if (line.kind != ForecastLine::Kind::Line || !line.summaryCode.empty()) continue;
    if (line.type == "H") {
      open.emplace_back();
    } else if (line.type.empty() && line.text.starts_with("Total ") && !open.empty()) {
      auto texts = [](const ForecastFigures& f) {
        std::string t;
        for (size_t c = 1; c <= 13; ++c) t += f[c].ToString() + " ";
        return t;
      };
      EXPECT_EQ(texts(line.figures), texts(open.back())) << line.text;
      const ForecastFigures closed = open.back();
      open.pop_back();
      if (!open.empty())
        for (size_t c = 1; c <= 13; ++c) open.back()[c] += closed[c];
      ++closings;
    } else if (!line.type.empty() && line.output && !open.empty()) {
      for (size_t c = 1; c <= 13; ++c) open.back()[c] += line.figures[c];
    }
  }
  EXPECT_GE(closings, 2);
}

TEST_F(ForecastTest, NothingToShowSavesNoWorkbook) {
  Connect();
  // No budgets exist for the year from July 2026, and budget-only shows no actual figures.
  RunReport("01/07/2026", "31/12/2026", {.mode = "B", .excel = true});
  const auto messages = RunMessages();
  ASSERT_GE(messages.size(), 1u);
  EXPECT_EQ(messages[0], "No output to print for Report ");
  for (const auto& s : ui_->shown) {
    if (s.kind != "message" || s.title == "Output File") continue;
    EXPECT_EQ(s.title, "No data for report");
    break;
  }
  EXPECT_FALSE(std::filesystem::exists(Path("Forecast.XLSX")));
}

TEST_F(ForecastTest, ChartWithoutSectionHeadersStillShowsItsAccounts) {
  SqlFile(file_).Exec("DELETE FROM Accounts WHERE AccountNumber LIKE '_-0000'");
  Connect();
  BudgetForecast f;
  const ForecastReport r = Lines(f, "01/07/2025", "31/12/2025", "01/07/2025", "30/06/2026", "AB");
  EXPECT_EQ(f.SectionCaption[1], "Income");
  EXPECT_EQ(f.SectionHeaderName[1], "");
  int details = 0;
  for (const ForecastLine& line : r.lines) details += line.type == "D" && line.output;
  EXPECT_GT(details, 10);
  EXPECT_EQ(r.lines.back().summaryCode, "P");
}

}  // namespace
}  // namespace qvx::test

namespace qvx::test {
namespace {

// The twelve-month window of a period that starts in another month than the financial
// year: from the From date to the real last day of the month before it a year later.
TEST(ForecastWindow, EndsOnTheRealLastDayOfItsMonth) {
  struct Case {
    const char* format;
    const char* from;
    int firstMonth;
    const char* yearStart;  // what the report works with afterwards
    const char* yearEnd;
  };
  const Case cases[] = {
      {"DMY", "01/03/2027", 7, "01/03/2027", "29/02/2028"},
      {"DMY", "01/03/2026", 7, "01/03/2026", "28/02/2027"},
      {"DMY", "01/01/2026", 7, "01/01/2026", "31/12/2026"},
      {"DMY", "01/07/2025", 7, "01/07/2025", "30/06/2026"},  // the dialog's year stands
      {"DMY", "01/07/2024", 4, "01/07/2024", "30/06/2025"},
      {"MDY", "03/01/2027", 7, "03/01/2027", "02/29/2028"},
      {"MDY", "11/01/2025", 7, "11/01/2025", "10/31/2026"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.from);
    G = Globals{};
    G.DateFormat = c.format;
    G.FirstMonth = static_cast<int16_t>(c.firstMonth);
    G.ReportFromDate = c.from;
    G.FinYearStartDate = "01/07/2025";
    G.FinYearEndDate = "30/06/2026";
    BudgetForecast f;
    f.SetWindow();
    EXPECT_EQ(G.FinYearStartDate, c.yearStart);
    EXPECT_EQ(G.FinYearEndDate, c.yearEnd);
  }
}

}  // namespace
}  // namespace qvx::test
