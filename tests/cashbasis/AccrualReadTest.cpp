// Accrual reads checked against the company file's own aggregate of its journal lines:
// per account and calendar month, each line rounded to cents, credit-normal classes
// negated.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "EngineFixture.h"
#include "core/Dates.h"
#include "core/Progress.h"
#include "platform/locale/Locale.h"

namespace qvx::test {
namespace {

using Figures = std::map<std::pair<std::string, int>, Money>;

// Deterministic books: journal sets of assorted types over three calendar years, each
// balanced against the bank. Amounts carry four decimals, never an exact half cent.
void FillBooks(samples::CompanyFile& f) {
  Chart c(f);
  const std::vector<int> accounts = {c.receivables, c.payables, c.equity,   c.sales,       c.services,
                                     c.cogs,        c.expenses, c.rent,     c.wages,       c.otherIncome,
                                     c.otherExpense};
  const char* types[] = {"GJ", "MS", "MR", "SI", "PI", "CP", "SP", "CDP", "IA", "WP"};
  uint32_t seed = 12345;
  auto next = [&](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  for (int i = 0; i < 900; ++i) {
    const int year = 2012 + static_cast<int>(next(3));
    const int month = 1 + static_cast<int>(next(12));
    const int day = 1 + static_cast<int>(next(28));
    const std::string date = std::to_string(year) + (month < 10 ? "-0" : "-") + std::to_string(month) +
                             (day < 10 ? "-0" : "-") + std::to_string(day);
    std::vector<std::pair<int, Money>> lines;
    Money sum;
    const int n = 1 + static_cast<int>(next(3));
    for (int k = 0; k < n; ++k) {
      int64_t tail = next(99);  // ten-thousandths beyond the cents, never 50
      if (tail >= 50) ++tail;
      int64_t raw = static_cast<int64_t>(next(500000)) * 100 + tail;
      if (next(3) == 0) raw = -raw;
      const Money amount = Money::FromRaw(raw);
      lines.emplace_back(accounts[next(static_cast<uint32_t>(accounts.size()))], amount);
      sum += amount;
    }
    lines.emplace_back(c.bank, -sum);
    f.AddJournalSet(types[next(10)], 1000 + i, date, lines);
  }
}

// The expected figures: one SQL aggregate over the journal lines of [from, to].
Figures Aggregate(const std::string& from, const std::string& to, bool allAccounts) {
  std::string sql =
      "SELECT a.AccountNumber AS Num, substr(j.TransactionDate, 6, 2) AS Mth, "
      "SUM(ROUND(j.TaxExclusiveAmount, 2)) AS Total "
      "FROM MYOB.JournalRecords j JOIN MYOB.Accounts a ON a.AccountID = j.AccountID "
      "WHERE j.TransactionDate >= '" + from + "' AND j.TransactionDate <= '" + to + "' ";
  if (!allAccounts) sql += "AND substr(a.AccountNumber, 1, 1) >= '4' AND a.AccountLevel > 0 ";
  sql += "GROUP BY a.AccountNumber, substr(j.TransactionDate, 6, 2)";
  Figures out;
  auto rs = EngineDbTest::Query(sql);
  if (!rs) return out;
  for (; !rs->Eof(); rs->MoveNext()) {
    const std::string number = (*rs)["Num"].ToString();
    Money total = (*rs)["Total"].ToCurrency();
    if (std::string("2348").find(number[0]) != std::string::npos) total = -total;
    if (!total.IsZero()) out[{number, static_cast<int>(Val((*rs)["Mth"].ToString()))}] += total;
  }
  return out;
}

Figures OneMonth(const Figures& all, int month) {
  Figures out;
  for (const auto& [key, amount] : all)
    if (key.second == month) out[{key.first, 0}] = amount;
  return out;
}

Figures Summed(const Figures& all) {
  Figures out;
  for (const auto& [key, amount] : all) out[{key.first, 0}] += amount;
  return out;
}

Figures RowFigures(const EngineCaller& run, const std::vector<Money>& figures) {
  Figures out;
  for (int32_t row = 1; row <= G.TxRowCount; ++row)
    if (!figures.at(row).IsZero()) out[{G.AcctNumbers.at(run.LineAcct.at(row)), 0}] = figures[row];
  return out;
}

std::string Sql(const std::string& typed) { return typed.substr(6, 4) + "-" + typed.substr(3, 2) + "-" + typed.substr(0, 2); }

class AccrualReadTest : public EngineDbTest {};

TEST_F(AccrualReadTest, FiguresEqualTheAggregateForEveryPeriodAndYearStart) {
  struct Period {
    const char *from, *to;
  };
  struct Year {
    int lastMonth;
    const char *start, *end;
    std::vector<Period> periods;
  } years[] = {
      {6, "01/07/2013", "30/06/2014",
       {{"01/07/2013", "31/07/2013"}, {"01/07/2013", "31/03/2014"}, {"01/01/2014", "30/06/2014"},
        {"01/11/2013", "30/11/2013"}}},
      {12, "01/01/2014", "31/12/2014", {{"01/01/2014", "31/12/2014"}, {"01/03/2014", "31/05/2014"}}},
      {3, "01/04/2013", "31/03/2014", {{"01/04/2013", "31/03/2014"}, {"01/02/2014", "28/02/2014"}}},
  };
  for (const auto& y : years) {
    samples::CompanySetup setup;
    setup.lastMonthInFinancialYear = y.lastMonth;
    Open(setup, FillBooks, "Year" + std::to_string(y.lastMonth) + ".MYO");
    for (const auto& p : y.periods) {
      for (bool all : {false, true}) {
        SCOPED_TRACE(std::string(p.from) + " to " + p.to + (all ? ", all accounts" : ""));
        EngineCaller run;
        run.LoadAccounts(all);
        EngineCaller::SetPeriod(p.from, p.to, y.start, y.end);
        run.Read();
        const Figures expected = Aggregate(Sql(p.from), Sql(p.to), all);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(run.MonthlyFigures(), expected);
        EXPECT_EQ(RowFigures(run, run.ActMonth), OneMonth(expected, std::stoi(std::string(p.to).substr(3, 2))));
        EXPECT_EQ(RowFigures(run, run.ActYTD), Summed(expected));
        EXPECT_EQ(Engine.KeyCount, 0);
        EXPECT_TRUE(ui_->shown.empty()) << ui_->shown.front().text;
      }
    }
  }
}

TEST_F(AccrualReadTest, LastYearPassMovesTheKeysAndFillsTheLastYearFigures) {
  Open(samples::CompanySetup{}, FillBooks);
  EngineCaller run;
  run.LoadAccounts();
  EngineCaller::SetPeriod("01/10/2013", "31/03/2014", "01/07/2013", "30/06/2014");
  run.Read();
  const Figures thisYear = run.MonthlyFigures();
  run.ReadLastYear();

  EXPECT_EQ(G.FinYearStartYMD, "20120701");
  EXPECT_EQ(G.FromYMD, "20121001");
  EXPECT_EQ(G.ToYMD, "20130331");
  EXPECT_EQ(G.FinYearEndYMD, "20130630");
  EXPECT_EQ(run.MonthlyFigures(), thisYear);  // the current-year figures are untouched
  const Figures lastYear = Aggregate("2012-10-01", "2013-03-31", false);
  EXPECT_EQ(RowFigures(run, run.LYActMonth), OneMonth(lastYear, 3));
  EXPECT_EQ(RowFigures(run, run.LYActYTD), Summed(lastYear));
  EXPECT_EQ(RowFigures(run, run.LYAct12Months), Summed(lastYear));
}

TEST_F(AccrualReadTest, MonthFirstDateOrderGivesTheSameFigures) {
  const std::string saved = locale::ShortDatePicture();
  locale::SetLocaleInfo(locale::kLocaleUserDefault, locale::kLocaleSShortDate, "MM/dd/yyyy");
  Open(samples::CompanySetup{}, FillBooks);
  EngineCaller run;
  run.LoadAccounts();
  EngineCaller::SetPeriod("07/01/2013", "03/31/2014", "07/01/2013", "06/30/2014");
  run.Read();
  locale::SetLocaleInfo(locale::kLocaleUserDefault, locale::kLocaleSShortDate, saved);
  EXPECT_EQ(G.DateFormat, "MDY");
  const Figures expected = Aggregate("2013-07-01", "2014-03-31", false);
  EXPECT_EQ(run.MonthlyFigures(), expected);
  EXPECT_EQ(RowFigures(run, run.ActMonth), OneMonth(expected, 3));
  EXPECT_TRUE(ui_->shown.empty());
}

TEST_F(AccrualReadTest, ProgressQueryTextAndEmptyPeriod) {
  Open(samples::CompanySetup{}, FillBooks);
  EngineCaller run;
  run.LoadAccounts();
  EngineCaller::SetPeriod("01/03/2014", "31/03/2014", "01/07/2013", "30/06/2014");
  run.Read();
  EXPECT_EQ(Conn.SQLStr,
            "SELECT JournalRecordID, SetID, JobID, TransactionDate, TaxExclusiveAmount, AccountID, "
            "IsForeignTransaction  FROM MYOB.JournalRecords WHERE TransactionDate => '2014-03-01' AND "
            "TransactionDate <= '2014-03-31'  ;");
  auto rs = Query("SELECT COUNT(*) AS N FROM MYOB.JournalRecords WHERE TransactionDate >= '2014-03-01' AND "
                  "TransactionDate <= '2014-03-31'");
  const long lines = (*rs)["N"].ToLong();
  ASSERT_GT(lines, 0);
  EXPECT_EQ(ui_->doEventsCalls, lines);  // one pumped event per journal line
  EXPECT_EQ(Engine.RecCounter, lines);
  EXPECT_FALSE(G.ProgressShown);
  EXPECT_FALSE(Progress::Instance().Loaded());
  EXPECT_FALSE(ReadingDBase::Instance().Loaded());

  // A period without journal lines shows nothing but the reading window.
  ui_->doEventsCalls = 0;
  EngineCaller empty;
  empty.LoadAccounts();
  EngineCaller::SetPeriod("01/03/2019", "31/03/2019", "01/07/2018", "30/06/2019");
  empty.Read();
  EXPECT_EQ(ui_->doEventsCalls, 0);
  EXPECT_EQ(Engine.RecCounter, 0);
  EXPECT_TRUE(empty.MonthlyFigures().empty());
  EXPECT_TRUE(ui_->shown.empty());
}

TEST_F(AccrualReadTest, AFailedJournalQueryEndsTheReadAfterTheReadersMessage) {
  Open(samples::CompanySetup{}, FillBooks);
  EngineCaller run;
  run.LoadAccounts();
  EngineCaller::SetPeriod("01/03/2014", "31/03/2014", "01/07/2013", "30/06/2014");
  G.ODBCFromDate = "2014-03-01' AND (";  // the driver refuses the text
  run.Read();
  EXPECT_EQ(ui_->shown.size(), 1u);
  EXPECT_TRUE(run.MonthlyFigures().empty());
  EXPECT_FALSE(ReadingDBase::Instance().Loaded());
}

}  // namespace
}  // namespace qvx::test
