// The posting accumulator on its own: account tables and row arrays set up by hand, one
// amount at a time.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cashbasis/EngineState.h"
#include "cashbasis/PostTransaction.h"
#include "core/Globals.h"
#include "support/TestUi.h"

namespace qvx {
namespace {

class PostTransactionTest : public ::testing::Test {
 protected:
  // Accounts by AccountID ascending, one row each, in reverse order so that rows and
  // account indexes differ.
  void SetUp() override {
    G = Globals{};
    Engine.PostedKeys.clear();
    Engine.KeyCount = Engine.KeyCap = 0;
    Engine.JournalType = "MS";
    G.DateFormat = "DMY";
    const std::vector<std::pair<int32_t, std::string>> accounts = {
        {11, "1-1100"}, {21, "2-1000"}, {31, "3-1000"}, {41, "4-1000"}, {42, "4-1100"},
        {51, "5-1000"}, {61, "6-2000"}, {81, "8-1000"}, {91, "9-1000"}, {99, ""}};
    G.AcctIDs = {0};
    G.AcctNumbers = {""};
    G.AcctNames = {""};
    for (const auto& [id, number] : accounts) {
      G.AcctIDs.push_back(id);
      G.AcctNumbers.push_back(number);
      G.AcctNames.push_back("Account " + number);
    }
    G.NbrAccounts = static_cast<int32_t>(accounts.size());
    G.AccountsSorted = kTrue;
    rowMap.assign(G.NbrAccounts + 1, 0);
    for (int32_t i = 1; i <= G.NbrAccounts; ++i) rowMap[i] = G.NbrAccounts + 1 - i;
    G.TxRowCount = G.NbrAccounts;
    const size_t rows = G.NbrAccounts + 1;
    monthly.assign(rows, {});
    for (auto* v : {&month, &ytd, &lyMonth, &lyYtd, &ly12}) v->assign(rows, Money{});
    keys.assign(rows, "");
    // Financial year July 2013 to June 2014, report period to 31 March 2014.
    G.FinYearStartYMD = "20130701";
    G.FromYMD = "20140101";
    G.ToYMD = "20140331";
    G.FinYearEndYMD = "20140630";
    ui_->Clear();
  }

  int32_t RowOf(int32_t accountID) const {
    for (int32_t i = 1; i <= G.NbrAccounts; ++i)
      if (G.AcctIDs[i] == accountID) return rowMap[i];
    return 0;
  }

  // Posts one amount dated by a day-first date text, in the period of G's keys.
  void Post(int32_t account, const char* amount, const std::string& date, int32_t source = 1, int32_t line = 1) {
    Engine.JrnYMD = std::stoi(date.substr(6, 4)) * 10000 + std::stoi(date.substr(3, 2)) * 100 + std::stoi(date.substr(0, 2));
    TakePeriodKeys();
    Engine.PostAcctID = account;
    Engine.PostAmount = Money::Parse(amount);
    Engine.SourceID = source;
    Engine.LineID = line;
    Engine.InMonth = Engine.InRange = kFalse;
    TransactionArgs args{.PostMode = mode, .CashMode = cash, .IncludeGJ = includeGJ,
                         .AccountIDs = G.AcctIDs, .AccountNumbers = G.AcctNumbers,
                         .RowMap = rowMap, .KeyList = keys, .MonthAmounts = monthly,
                         .MonthTotal = month, .RangeTotal = ytd, .LYMonthTotal = lyMonth,
                         .LYRangeTotal = lyYtd, .LY12Months = ly12, .LastYear = lastYear};
    PostTransaction(args);
  }

  std::string mode = "A";
  int16_t cash = kFalse, includeGJ = kTrue, lastYear = kFalse;
  std::vector<int32_t> rowMap;
  std::vector<std::string> keys;
  MonthTable monthly;
  std::vector<Money> month, ytd, lyMonth, lyYtd, ly12;
  test::ScriptedUiScope ui_;
};

Money M(const char* s) { return Money::Parse(s); }

TEST_F(PostTransactionTest, SignRoundingAndColumnsByAccountAndDate) {
  struct Case {
    int32_t account;
    const char* amount;
    const char* date;
    int monthColumn;
    const char* expected;  // added to the monthly column
    bool inMonth, inRange;
  } cases[] = {
      {42, "-250", "15/03/2014", 3, "250", true, true},       // credit to income adds positive
      {61, "250", "15/03/2014", 3, "250", true, true},        // debit to an expense
      {81, "250", "15/03/2014", 3, "-250", true, true},       // debit to other income
      {21, "100", "02/02/2014", 2, "-100", false, true},      // liability, credit-normal
      {31, "-100", "02/02/2014", 2, "100", false, true},      // equity, credit-normal
      {11, "100", "02/02/2014", 2, "100", false, true},       // asset
      {51, "12.345", "01/07/2013", 7, "12.35", false, true},  // rounded half away from zero
      {91, "-12.345", "30/06/2013", 6, "0", false, false},    // before the year start: nothing
      {61, "0.004", "15/03/2014", 3, "0", false, false},      // rounds to nothing
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.amount) + " to account " + std::to_string(c.account) + " on " + c.date);
    SetUp();
    Post(c.account, c.amount, c.date);
    const int32_t row = RowOf(c.account);
    EXPECT_EQ(monthly.at(row).at(c.monthColumn), M(c.expected));
    EXPECT_EQ(month.at(row), c.inMonth ? M(c.expected) : Money{});
    EXPECT_EQ(ytd.at(row), c.inRange ? M(c.expected) : Money{});
    EXPECT_EQ(lyMonth.at(row) + lyYtd.at(row) + ly12.at(row), Money{});
    EXPECT_TRUE(ui_->shown.empty());
  }
}

TEST_F(PostTransactionTest, TheUsersDateOrderDoesNotMoveADate) {
  G.DateFormat = "MDY";
  Post(61, "10", "15/03/2014");
  EXPECT_EQ(monthly[RowOf(61)][3], M("10"));
  EXPECT_EQ(month[RowOf(61)], M("10"));
  EXPECT_EQ(Engine.PostYMD, 20140315);
}

TEST_F(PostTransactionTest, UnknownAccountsAndEmptyNumbersPostNothing) {
  cash = kTrue;
  Post(77, "10", "15/03/2014");  // not in the tables
  Post(99, "10", "15/03/2014");  // in the tables without a number
  for (const auto& r : monthly)
    for (Money m : r) EXPECT_EQ(m, Money{});
  EXPECT_EQ(Engine.KeyCount, 0);
  EXPECT_TRUE(ui_->shown.empty());
}

TEST_F(PostTransactionTest, LastYearPassFillsOnlyTheLastYearFigures) {
  lastYear = kTrue;
  struct Case {
    const char* date;
    bool inMonth, inRange, in12;
  } cases[] = {
      {"10/03/2014", true, true, true},    // in the report month
      {"10/01/2014", false, true, true},   // in the period
      {"10/05/2014", false, false, true},  // after the period end, inside the year
      {"10/05/2013", false, false, false}, // before the year
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.date);
    SetUp();
    lastYear = kTrue;
    Post(61, "40", c.date);
    const int32_t row = RowOf(61);
    EXPECT_EQ(lyMonth[row], c.inMonth ? M("40") : Money{});
    EXPECT_EQ(lyYtd[row], c.inRange ? M("40") : Money{});
    EXPECT_EQ(ly12[row], c.in12 ? M("40") : Money{});
    EXPECT_EQ(month[row] + ytd[row], Money{});
    for (Money m : monthly[row]) EXPECT_EQ(m, Money{});
  }
}

TEST_F(PostTransactionTest, CashGuardCountsEachAccountTypeSourceAndLineOnce) {
  cash = kTrue;
  Post(61, "10", "15/03/2014", 512, 7);
  Post(61, "10", "15/03/2014", 512, 7);  // offered again: refused
  Post(61, "20", "15/03/2014", 512, 8);  // another line of the document
  Post(61, "40", "15/03/2014", 51, 27);  // joined without separators this would equal 512/7
  Engine.JournalType = "CP";
  Post(61, "80", "15/03/2014", 512, 7);  // same numbers, another kind of document
  EXPECT_EQ(ytd[RowOf(61)], M("150"));
  EXPECT_EQ(Engine.KeyCount, 4);
  EXPECT_EQ(keys.at(1), MakePostKey("6-2000", "MS", 512, 7));
  EXPECT_NE(MakePostKey("4-1000", "MS", 51, 27), MakePostKey("4-1000", "MS", 512, 7));
  EXPECT_NE(MakePostKey("4-1000", "CP", 5, 1), MakePostKey("4-1000", "MR", 5, 1));
}

TEST_F(PostTransactionTest, AccrualPostsRepeatsAndStoresNoKeys) {
  Post(61, "10", "15/03/2014", 512, 7);
  Post(61, "10", "15/03/2014", 512, 7);
  EXPECT_EQ(ytd[RowOf(61)], M("20"));
  EXPECT_EQ(Engine.KeyCount, 0);
}

TEST_F(PostTransactionTest, KeyListGrowsInStepsOfTwoHundredWithoutALimit) {
  cash = kTrue;
  keys.assign(3, "");
  Post(61, "1", "15/03/2014", 1, 1);
  EXPECT_EQ(keys.size(), 201u);
  for (int32_t line = 2; line <= 201; ++line) Post(61, "1", "15/03/2014", 1, line);
  EXPECT_EQ(keys.size(), 401u);
  EXPECT_EQ(Engine.KeyCap, 400);
  for (int32_t line = 202; line <= 33000; ++line) Post(61, "1", "15/03/2014", 1, line);
  EXPECT_EQ(Engine.KeyCount, 33000);
  EXPECT_EQ(ytd[RowOf(61)], M("33000"));
  EXPECT_TRUE(ui_->shown.empty());
}

TEST_F(PostTransactionTest, AnArrayTooShortShowsTheErrorBoxAndPostsNoStaleFigures) {
  ytd.assign(2, Money{});  // rows beyond 1 are missing
  Engine.JournalType = "GJ";
  Post(61, "10", "15/03/2014");
  ASSERT_EQ(ui_->shown.size(), 1u);
  EXPECT_EQ(ui_->shown[0].title, "Error Message");
  EXPECT_EQ(ui_->shown[0].text, "An error has occurred - Subscript out of range\r\nType = GJ");
  EXPECT_EQ(monthly[RowOf(61)][3], M("10"));  // the other figures are still added
  EXPECT_EQ(month[RowOf(61)], M("10"));
}

}  // namespace
}  // namespace qvx
