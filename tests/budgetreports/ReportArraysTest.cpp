#include "budgetreports/ReportArrays.h"

#include <gtest/gtest.h>

#include "budgetreports/AccountSections.h"
#include "core/Globals.h"
#include "core/Lookups.h"

namespace qvx {
namespace {

class ReportArraysTest : public ::testing::Test {
 protected:
  void SetUp() override { G = Globals{}; }
  void TearDown() override { G = Globals{}; }

  // Slots of every line array that ResizeReportArrays sizes; all must agree.
  static size_t LineSlots(const ReportArrays& a) {
    const size_t n = a.LineAcct.size();
    for (size_t s : {a.LineText.size(), a.ActMonthly.size(), a.ActMonth.size(), a.ActYTD.size(), a.BgtMonth.size(),
                     a.BgtYTD.size(), a.AnnualCol.size(), a.ColVarMonth.size(), a.ColVarYTD.size(),
                     a.LYActMonth.size(), a.LYActYTD.size(), a.LYAct12Months.size()})
      EXPECT_EQ(s, n);
    return n;
  }

  // Loads `count` accounts the way the comparison does: the section accounts get their
  // rows during the load. Returns the line-array sizes seen after each growth.
  static std::vector<size_t> Load(ReportArrays& a, int count) {
    std::vector<size_t> sizes;
    for (int i = 1; i <= count; ++i) {
      const size_t before = a.LineAcct.size();
      a.MakeRoomForAccount();
      if (a.LineAcct.size() != before) sizes.push_back(LineSlots(a));
      const int32_t index = ++G.NbrAccounts;
      G.AcctIDs.at(index) = 1000 + i;
      G.AcctNumbers.at(index) = (i % 100 == 1 ? "6-0000" : "6-" + std::to_string(1000 + i));
      if (i % 100 == 1) {
        int32_t row = 0;
        FindOrAddIndex(index, a.LineAcct, row, G.TxRowCount);
      }
    }
    return sizes;
  }
};

TEST_F(ReportArraysTest, GrowWithTheAccountTableAndEndWithOneRowPerAccount) {
  struct Case {
    int accounts;
    std::vector<size_t> growth;  // line slots after each growth of the account table
  };
  for (const Case& c : {Case{0, {}}, Case{200, {}}, Case{201, {401}}, Case{450, {401, 601}}}) {
    SCOPED_TRACE(c.accounts);
    ReportArrays a;
    a.StartRun();
    EXPECT_EQ(G.AccountArraySize, 200);
    EXPECT_EQ(G.AcctIDs.size(), 201u);
    EXPECT_EQ(LineSlots(a), 21u);
    EXPECT_EQ(a.SortKeys.size(), 21u);

    EXPECT_EQ(Load(a, c.accounts), c.growth);
    const int32_t sectionRows = (c.accounts + 99) / 100;
    ASSERT_EQ(G.TxRowCount, sectionRows);
    a.ActMonth.at(1) = Money::FromUnits(7);  // a figure already stored stays

    a.MapEveryAccount();
    EXPECT_EQ(LineSlots(a), static_cast<size_t>(c.accounts) + 1);
    ASSERT_EQ(G.TxRowCount, c.accounts);
    EXPECT_EQ(G.TxRowCapacity, c.accounts);
    // Each account has exactly one row; the section accounts kept theirs.
    std::vector<int> seen(static_cast<size_t>(c.accounts) + 1, 0);
    for (int32_t row = 1; row <= G.TxRowCount; ++row) ++seen.at(static_cast<size_t>(a.LineAcct.at(row)));
    for (int i = 1; i <= c.accounts; ++i) EXPECT_EQ(seen.at(static_cast<size_t>(i)), 1) << i;
    for (int32_t row = 1; row <= sectionRows; ++row) EXPECT_EQ(a.LineAcct.at(row), 1 + 100 * (row - 1));
    if (c.accounts > 0) {
      EXPECT_EQ(a.ActMonth.at(1), Money::FromUnits(7));
    }

    a.RenewFigureArrays();
    EXPECT_EQ(a.BgtMonth.size(), static_cast<size_t>(c.accounts) + 1);
    EXPECT_EQ(a.LineText.size(), static_cast<size_t>(c.accounts) + 1);
  }
}

TEST_F(ReportArraysTest, ResizeKeepsFiguresAndClearsNewSlots) {
  ReportArrays a;
  a.ResizeReportArrays(5);
  a.LineAcct[3] = 9;
  a.LineText[2] = "41000512|7";
  a.ActMonthly[5][12] = Money::FromUnits(-3);
  a.LYAct12Months[4] = Money::FromRaw(1);
  a.SortKeys = {"", "x"};
  a.ResizeReportArrays(50);
  EXPECT_EQ(a.LineAcct[3], 9);
  EXPECT_EQ(a.LineText[2], "41000512|7");
  EXPECT_EQ(a.ActMonthly[5][12], Money::FromUnits(-3));
  EXPECT_EQ(a.LYAct12Months[4], Money::FromRaw(1));
  EXPECT_EQ(a.ActMonthly[50][12], Money());
  EXPECT_EQ(a.SortKeys.size(), 2u);  // not one of the line arrays
  a.ResizeReportArrays(4);
  EXPECT_EQ(a.LineAcct[3], 9);
  EXPECT_EQ(LineSlots(a), 5u);
  EXPECT_ANY_THROW(a.ResizeReportArrays(-1));
  G.TxRowCapacity = 4;
  a.GrowSortKeys();
  EXPECT_EQ(a.SortKeys, (std::vector<std::string>{"", "x", "", "", ""}));
}

TEST_F(ReportArraysTest, SectionsByClassDigit) {
  const std::pair<const char*, int16_t> cases[] = {
      {"4-1100", 1}, {"5-0000", 2}, {"6-2000", 3}, {"8-1000", 4}, {"9-9999", 5}, {"7-1000", 0},
      {"2-1200", 0}, {"1-0000", 0}, {"3", 0},      {"", 0},       {" 4-1000", 0}, {"44", 1},
  };
  for (const auto& [number, section] : cases) {
    G.TempStr = "stale";
    int16_t s = -1;
    GetAccountSection(number, s);
    EXPECT_EQ(s, section) << number;
    EXPECT_EQ(G.TempStr, std::string(number).substr(0, 1)) << number;
    if (section > 0) {
      EXPECT_EQ(SectionClass(section), std::string(1, number[0]));
    }
  }
  EXPECT_EQ(SectionClass(0), "");
  EXPECT_EQ(SectionClass(6), "");
}

}  // namespace
}  // namespace qvx
