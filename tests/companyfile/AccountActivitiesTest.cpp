// Last year's period balances: the month arithmetic, the three tests, the additions into
// the caller's arrays, and the totals of the sample companies against SQL sums.
#include <functional>
#include <map>
#include <set>

#include "CompanyFileReadersFixture.h"
#include "companyfile/AccountActivities.h"
#include "samples/CompanyFile.h"
#include "samples/SamplePaths.h"

namespace qvx::test {
namespace {

using samples::M;

TEST(PeriodKeyTest, MonthsAndYears) {
  struct Case {
    int firstMonth, period, year;
    const char* key;
  };
  const Case cases[] = {
      {4, 1, 2013, "20120401"},  {4, 9, 2013, "20121201"},  {4, 10, 2013, "20130101"}, {4, 12, 2013, "20130301"},
      {1, 1, 2013, "20130101"},  {1, 12, 2013, "20131201"}, {7, 6, 2026, "20251201"},  {7, 7, 2026, "20260101"},
      {4, 0, 2013, "20130301"},  {1, 0, 2013, "20130001"},  {4, 13, 2013, "20120401"}, {1, 13, 2013, "20130101"},
      {4, -1, 2013, "20130201"}, {12, 1, 2013, "20121201"}, {12, 2, 2013, "20130101"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PeriodKey(c.firstMonth, c.period, c.year), c.key) << c.firstMonth << " " << c.period;
  EXPECT_EQ(LastYearKey("20130331"), "20120331");
  EXPECT_EQ(LastYearKey("20120229"), "20110229");
  EXPECT_EQ(LastYearKey("20000101"), "19990101");
}

// The caller's arrays, sized for `lines` report lines.
struct Arrays {
  explicit Arrays(const std::vector<int32_t>& ids, size_t lines = 10)
      : acctIDs(ids), month(lines), ytd(lines), year(lines), annual(lines), lineAcct(lines) {}
  std::vector<int32_t> acctIDs;
  std::vector<Money> month, ytd, year, annual;
  std::vector<int32_t> lineAcct;
  int32_t rows = 0;

  AccountActivitiesArgs Args(const char* from, const char* to, const char* start, const char* end,
                             bool annualLastYear = false, bool twelve = false) {
    return {.AcctIDs = acctIDs,
            .NbrAccounts = static_cast<int32_t>(acctIDs.size()) - 1,
            .LYActMonth = month,
            .LYActYTD = ytd,
            .LYAct12Months = year,
            .AnnualCol = annual,
            .LineAcct = lineAcct,
            .TxRowCount = rows,
            .AnnualLastYear = annualLastYear,
            .TwelveMonths = twelve,
            .FromYMD = from,
            .ToYMD = to,
            .FinYearStartYMD = start,
            .FinYearEndYMD = end};
  }
  // The amount of an array at the line of account index `account`.
  Money At(const std::vector<Money>& totals, int32_t account) const {
    for (int32_t i = 1; i <= rows; ++i)
      if (lineAcct[static_cast<size_t>(i)] == account) return totals[static_cast<size_t>(i)];
    return Money::FromRaw(-1);
  }
};

class AccountActivitiesTest : public CompanyReaderTest {
 protected:
  // A company with three accounts and the balance rows `rows` gives once they exist
  // (AccountID, FinancialYear, Period, Amount as SQL values).
  std::string Build(const std::function<std::vector<std::string>()>& rows) {
    const std::string path = Path("Balances.MYO");
    samples::CompanySetup setup;
    samples::CompanyFile f(path, setup);
    a1 = f.AddAccount({"6-1000", "Rent", 'D', 2, "EXP"});
    a2 = f.AddAccount({"6-2000", "Power", 'D', 2, "EXP"});
    a3 = f.AddAccount({"6-3000", "Water", 'D', 2, "EXP"});
    for (const std::string& r : rows()) f.Exec("INSERT INTO AccountActivities (AccountID, FinancialYear, Period, Amount) VALUES (" + r + ")");
    f.Finish();
    return path;
  }
  std::string Row(int account, int year, int period, const std::string& amount) {
    return std::to_string(account) + ", " + std::to_string(year) + ", " + std::to_string(period) + ", " + amount;
  }
  int a1 = 0, a2 = 0, a3 = 0;
};

TEST_F(AccountActivitiesTest, TestsAndAdditions) {
  G.FirstMonth = 7;
  // Report: July to November 2025 of the year July 2025 - June 2026; last year's keys run
  // from 20240701, the month is November 2024.
  Connect(Build([&] { return std::vector<std::string>{
      Row(a1, 2025, 5, "100.25"),   // November 2024: month, period, year
      Row(a1, 2025, 1, "10"),       // July 2024: period, year
      Row(a1, 2025, 12, "1000"),    // June 2025: year only
      Row(a2, 2025, 3, "0"),        // zero: no line
      Row(a3, 2026, 5, "7"),        // this year's November: nothing
      Row(999, 2025, 5, "55"),      // unknown account
      Row(a2, 2025, 2, "-2.5"),     // August 2024 of the second account
      Row(a2, 2025, 13, "1"),       // period 13 is July 2024
      Row(a2, 2025, 0, "4"),        // period 0 is June 2025: year only
  }; }));
  Arrays arr({0, a1, a2, a3});
  arr.ytd[0] = Money::FromUnits(5);  // amounts are added to what is there
  AccountActivitiesArgs args = arr.Args("20250701", "20251130", "20250701", "20260630", true, true);
  GetAccountActivities(args);
  EXPECT_TRUE(ui_->Messages().empty());
  ASSERT_EQ(arr.rows, 2);
  EXPECT_EQ(arr.lineAcct[1], 1);
  EXPECT_EQ(arr.lineAcct[2], 2);
  EXPECT_EQ(arr.At(arr.month, 1), M("100.25"));
  EXPECT_EQ(arr.At(arr.ytd, 1), M("110.25"));
  EXPECT_EQ(arr.At(arr.year, 1), M("1110.25"));
  EXPECT_EQ(arr.At(arr.annual, 1), M("110.25"));
  EXPECT_EQ(arr.At(arr.month, 2), Money());
  EXPECT_EQ(arr.At(arr.ytd, 2), M("-1.5"));
  EXPECT_EQ(arr.At(arr.year, 2), M("2.5"));
  EXPECT_EQ(arr.ytd[0], Money::FromUnits(5));
}

TEST_F(AccountActivitiesTest, FlagsOffLeaveTheirArraysAlone) {
  Connect(Build([&] { return std::vector<std::string>{Row(a1, 2024, 12, "30"), Row(a1, 2024, 1, "5"), Row(a2, 2024, 6, "8")}; }));
  G.FirstMonth = 1;  // after connecting, which reads the company's own
  Arrays arr({0, a1, a2});
  // Report: December 2025 alone; last year's year is 2024.
  AccountActivitiesArgs args = arr.Args("20251201", "20251231", "20250101", "20251231");
  GetAccountActivities(args);
  ASSERT_EQ(arr.rows, 1);  // the other rows fall in no test
  EXPECT_EQ(arr.At(arr.month, 1), M("30"));
  EXPECT_EQ(arr.At(arr.ytd, 1), M("30"));
  EXPECT_EQ(arr.year, std::vector<Money>(10));
  EXPECT_EQ(arr.annual, std::vector<Money>(10));
}

TEST_F(AccountActivitiesTest, UnreadableRowsAndFullArraysAreToldAndSkipped) {
  G.FirstMonth = 7;
  Connect(Build([&] { return std::vector<std::string>{
      Row(a1, 2025, 1, "NULL"),
      std::to_string(a2) + ", 2025, NULL, 3",
      Row(a3, 2025, 1, "4"),
      Row(a1, 2025, 2, "6"),
      Row(a2, 2025, 2, "9"),  // a second line: beyond the caller's arrays
  }; }));
  Arrays arr({0, a1, a2, a3}, 3);
  AccountActivitiesArgs args = arr.Args("20250701", "20251130", "20250701", "20260630");
  GetAccountActivities(args);
  const std::vector<std::string> expected = {"An error has occurred - Invalid use of Null",
                                             "An error has occurred - Invalid use of Null",
                                             "An error has occurred - Subscript out of range"};
  EXPECT_EQ(ui_->Messages(), expected);
  for (const auto& shown : ui_->shown) EXPECT_EQ(shown.title, "Error Message");
  ASSERT_EQ(arr.rows, 2);
  EXPECT_EQ(arr.At(arr.ytd, 3), M("4"));
  EXPECT_EQ(arr.At(arr.ytd, 1), M("6"));
}

TEST_F(AccountActivitiesTest, NoConnectionEndsQuietlyAfterTheReadersMessage) {
  G.FirstMonth = 7;
  Arrays arr({0, 1});
  AccountActivitiesArgs args = arr.Args("20250701", "20251130", "20250701", "20260630");
  GetAccountActivities(args);
  EXPECT_EQ(ui_->Messages().size(), 1u);
  EXPECT_EQ(arr.rows, 0);
}

// The sample companies' balances against a sum computed by SQLite's own date arithmetic:
// period p of financial year y is p - 1 months after the year's first month.
TEST_F(AccountActivitiesTest, SampleTotalsAgreeWithSqlSums) {
  struct Case {
    const char* file;
    int firstMonth;
    const char *from, *to, *start, *end;
  };
  const Case cases[] = {
      {samples::kAustralianFile, 7, "20250701", "20251130", "20250701", "20260630"},
      {samples::kAustralianFile, 4, "20250401", "20250930", "20250401", "20260331"},
      {samples::kAustralianFile, 10, "20251001", "20260228", "20251001", "20260930"},
      {samples::kUsaFile, 1, "20260101", "20260531", "20260101", "20261231"},
      {samples::kUsaFile, 7, "20250701", "20251231", "20250701", "20260630"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.firstMonth));
    const std::string file = samples::SamplePath(c.file);
    Connect(file);
    G.FirstMonth = static_cast<int16_t>(c.firstMonth);
    std::vector<int32_t> ids{0};
    for (const auto& r : Direct(file, "SELECT AccountID FROM Accounts ORDER BY AccountID")) ids.push_back(std::stoi(r[0]));
    Arrays arr(ids, ids.size() + 1);
    AccountActivitiesArgs args = arr.Args(c.from, c.to, c.start, c.end, true, true);
    GetAccountActivities(args);
    EXPECT_TRUE(ui_->Messages().empty());

    auto ly = [](const char* key) {
      const std::string k(key);
      return std::to_string(std::stoi(k.substr(0, 4)) - 1) + "-" + k.substr(4, 2) + "-" + k.substr(6, 2);
    };
    const std::string month =
        "date(printf('%04d-%02d-01', FinancialYear - (" + std::to_string(c.firstMonth) + " <> 1), " +
        std::to_string(c.firstMonth) + "), (Period - 1) || ' months')";
    auto sums = [&](const std::string& from, const std::string& to) {
      std::map<int32_t, Money> out;
      for (const auto& r : Direct(file, "SELECT AccountID, SUM(CAST(ROUND(Amount * 10000) AS INTEGER)) FROM "
                                        "AccountActivities WHERE Amount <> 0 AND " + month + " BETWEEN '" + from +
                                        "' AND '" + to + "' GROUP BY AccountID"))
        out[std::stoi(r[0])] = Money::FromRaw(std::stoll(r[1]));
      return out;
    };
    const std::string lyTo = ly(c.to);
    const auto period = sums(ly(c.from), lyTo);
    const auto monthOnly = sums(lyTo.substr(0, 8) + "01", lyTo);
    const auto year = sums(ly(c.start), ly(c.end));
    ASSERT_FALSE(period.empty());
    ASSERT_FALSE(monthOnly.empty());

    std::set<int32_t> withLines;
    for (int32_t line = 1; line <= arr.rows; ++line) {
      const int32_t id = ids[static_cast<size_t>(arr.lineAcct[static_cast<size_t>(line)])];
      withLines.insert(id);
      auto expect = [&](const std::map<int32_t, Money>& sql, const std::vector<Money>& got, const char* what) {
        const auto it = sql.find(id);
        EXPECT_EQ(got[static_cast<size_t>(line)], it == sql.end() ? Money() : it->second) << what << " " << id;
      };
      expect(period, arr.ytd, "period");
      expect(monthOnly, arr.month, "month");
      expect(year, arr.year, "year");
      expect(period, arr.annual, "annual");
    }
    std::set<int32_t> expectedLines;
    for (const auto* sql : {&period, &monthOnly, &year})
      for (const auto& [id, amount] : *sql) expectedLines.insert(id);
    EXPECT_EQ(withLines, expectedLines);
  }
}

}  // namespace
}  // namespace qvx::test
