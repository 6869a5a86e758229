#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/Globals.h"
#include "core/Lookups.h"
#include "platform/runtime/Runtime.h"

namespace qvx {
namespace {

TEST(Lookups, RoundToDoubleArithmetic) {
  struct Case {
    double value;
    int decimals;
    double expected;
  } cases[] = {
      {2.5, 0, 3},       {-2.5, 0, -3},       {0, 0, 0},          {0.5, 0, 1},      {-0.5, 0, -1},
      {1.005, 2, 1.00},  {1.015, 2, 1.01},    {2.345, 2, 2.35},   {-2.345, 2, -2.35}, {0.125, 2, 0.13},
      {1234.5, 0, 1235}, {-1234.5, 0, -1235}, {999.995, 2, 1000}, {1250, -2, 1300}, {-0.004, 2, 0},
  };
  for (const auto& c : cases) {
    double v = c.value;
    RoundTo(v, c.decimals);
    EXPECT_DOUBLE_EQ(v, c.expected) << c.value << " to " << c.decimals;
  }
}

TEST(Lookups, RoundToMoneyKeepsMoney) {
  struct Case {
    const char* value;
    const char* expected;
  } cases[] = {{"1.005", "1"}, {"2.345", "2.35"}, {"-2.345", "-2.35"}, {"0.125", "0.13"}, {"-0.0049", "0"}};
  for (const auto& c : cases) {
    Money m = Money::Parse(c.value);
    RoundTo(m, 2);
    EXPECT_EQ(m.ToString(), c.expected) << c.value;
  }
}

// Money is rounded in whole numbers; the results must be those of the double arithmetic
// the rounding has always used, halves included (written out here on its own).
TEST(Lookups, RoundToMoneyAgreesWithTheDoubleArithmetic) {
  auto reference = [](Money m, int decimals) {
    const double scale = std::pow(10.0, decimals);
    const double v = m.ToDouble();
    const double sign = v > 0 ? 1.0 : v < 0 ? -1.0 : 0.0;
    return Money::FromDouble(std::floor(std::fabs(v * scale) + 0.5) * sign / scale);
  };
  auto check = [&](int64_t raw, int decimals) {
    Money m = Money::FromRaw(raw);
    RoundTo(m, decimals);
    ASSERT_EQ(m.Raw(), reference(Money::FromRaw(raw), decimals).Raw()) << raw << " to " << decimals;
  };
  struct Case {
    const char* value;
    int decimals;
    const char* expected;
  } table[] = {
      {"1.005", 2, "1"},         {"1.015", 2, "1.01"},       {"1.025", 2, "1.02"},       {"-1.005", 2, "-1"},
      {"0.005", 2, "0.01"},      {"-0.005", 2, "-0.01"},     {"2.675", 2, "2.68"},       {"-2.675", 2, "-2.68"},
      {"0.125", 2, "0.13"},      {"1234567.885", 2, "1234567.89"}, {"-0.0049", 2, "0"},  {"0.5", 0, "1"},
      {"-0.5", 0, "-1"},         {"2.5", 0, "3"},            {"-2.5", 0, "-3"},          {"12.345", 1, "12.3"},
      {"12.35", 1, "12.4"},      {"-12.35", 1, "-12.4"},     {"0.0005", 3, "0.001"},     {"-7.1234", 4, "-7.1234"},
      {"56294995342.1315", 2, "56294995342.13"},  // near 2^49 ten-thousandths
      {"900000000000000.125", 2, "900000000000000.1024"},  // beyond the double's cents
      {"-900000000000000.125", 2, "-900000000000000.1024"},
  };
  for (const Case& c : table) {
    Money m = Money::Parse(c.value);
    RoundTo(m, c.decimals);
    EXPECT_EQ(m.ToString(), c.expected) << c.value << " to " << c.decimals;
    check(Money::Parse(c.value).Raw(), c.decimals);
  }
  // Every amount up to 40.0000 either side, and amounts of every size around halves.
  for (int decimals = 0; decimals <= 4; ++decimals) {
    for (int64_t raw = -400000; raw <= 400000; ++raw) check(raw, decimals);
    std::mt19937_64 random(7 + static_cast<unsigned>(decimals));
    for (int i = 0; i < 200000; ++i) {
      const int64_t magnitude = int64_t{1} << (random() % 59);
      const int64_t base = static_cast<int64_t>(random() % static_cast<uint64_t>(magnitude));
      const int64_t raw = (base / 100) * 100 + (i % 3 == 0 ? 50 : static_cast<int64_t>(random() % 100));
      check(i % 2 ? raw : -raw, decimals);
    }
  }
}

TEST(Lookups, TextAndPathRoutines) {
  struct Strip {
    const char* in;
    const char* out;
  } strips[] = {{"000120", "120"}, {"0000", ""}, {"", ""}, {"A01", "A01"}, {"0 1", " 1"}};
  for (const auto& c : strips) {
    std::string r = "x";
    StripLeadingZeros(c.in, r);
    EXPECT_EQ(r, c.out) << c.in;
  }

  int32_t n = -1;
  CountChar("my.file.xlsx", ".", n);
  EXPECT_EQ(n, 2);
  CountChar("Aa", "a", n);
  EXPECT_EQ(n, 1);
  CountChar("", ".", n);
  EXPECT_EQ(n, 0);

  struct Slash {
    const char* in;
    const char* result;
    const char* left;
  } slashes[] = {{"", "", ""}, {"//", "/", ""}, {"/data", "/data/", "/data"}, {"/data//", "/data/", "/data"}};
  for (const auto& c : slashes) {
    std::string p = c.in;
    EXPECT_EQ(AddBackslash(p), c.result) << c.in;
    EXPECT_EQ(p, c.left) << c.in;
  }

  std::string folder = "F", file = "f";
  SplitPath("Ledger.myo", folder, file);
  EXPECT_EQ(folder, "F");
  EXPECT_EQ(file, "f");
  SplitPath("/home/data/Ledger.myo", folder, file);
  EXPECT_EQ(folder, "/home/data/");
  EXPECT_EQ(file, "Ledger.myo");
  SplitPath("/home/data/", folder, file);
  EXPECT_EQ(folder, "/home/data/");
  EXPECT_EQ(file, "");
}

TEST(Lookups, BinarySearch) {
  std::vector<int32_t> up{0, 10, 20, 30}, down{0, 30, 20, 10};
  EXPECT_EQ(BinarySearch(up, 20, std::nullopt, 1), 2);
  EXPECT_EQ(BinarySearch(up, 25, std::nullopt, 1), 0);
  EXPECT_EQ(BinarySearch(down, 10, std::nullopt, 1), 3);
  EXPECT_EQ(BinarySearch(down, 30, std::nullopt, 1), 1);
  EXPECT_EQ(BinarySearch(up, 30, 2, 1), 0);
  // From slot 0, as the account lookup searches.
  EXPECT_EQ(BinarySearch(up, 30), 3);
  EXPECT_EQ(BinarySearch(up, 5), -1);
  EXPECT_EQ(BinarySearch(up, 10, 0), -1);
  EXPECT_EQ(BinarySearch(std::vector<int32_t>{}, 1), -1);
  EXPECT_EQ(BinarySearch(std::vector<int32_t>{7}, 7), 0);

  std::vector<std::string> keys{"", "C", "a", "b"};
  EXPECT_EQ(BinarySearch(keys, std::string("b")), 3);
  EXPECT_EQ(BinarySearch(keys, std::string("B")), -1);
  EXPECT_EQ(BinarySearch(keys, std::string("a"), 1), -1);
  EXPECT_THROW(BinarySearch(keys, std::string("a"), 9), VbError);
}

TEST(Lookups, SortArray) {
  std::vector<std::string> k{"", "b", "a", "C", "a"};
  SortArray(k, 1, 4, "");
  EXPECT_EQ(k, (std::vector<std::string>{"", "C", "a", "a", "b"}));

  std::vector<std::string> one{"", "z", "a"};
  SortArray(one, 1, 1, "A");
  SortArray(one, 1, 0, "A");
  EXPECT_EQ(one, (std::vector<std::string>{"", "z", "a"}));
  SortArray(one, 1, 2, "A");
  EXPECT_EQ(one, (std::vector<std::string>{"", "a", "z"}));

  std::vector<std::string> few{"", "b"};
  EXPECT_THROW(SortArray(few, 1, 2, ""), VbError);
}

// Sorting then searching finds every key, with many equal keys and beyond the 16-bit
// index range.
TEST(Lookups, SortThenSearchFindsEveryKey) {
  std::mt19937 rng(20261207);
  for (int n : {2, 3, 17, 100000}) {
    std::vector<std::string> keys(static_cast<size_t>(n) + 1);
    std::uniform_int_distribution<int> pick(0, n / 10 + 1);
    for (int i = 1; i <= n; ++i) keys[static_cast<size_t>(i)] = "K" + std::to_string(pick(rng));
    std::vector<std::string> expected(keys.begin() + 1, keys.end());
    std::sort(expected.begin(), expected.end());
    SortArray(keys, 1, n, "A");
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), keys.begin() + 1)) << n;
    for (int i = 1; i <= n; ++i) {
      int32_t at = BinarySearch(keys, keys[static_cast<size_t>(i)]);
      ASSERT_GE(at, 1) << n;
      ASSERT_EQ(keys[static_cast<size_t>(at)], keys[static_cast<size_t>(i)]);
    }
  }
}

class AccountTables : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = G; }
  void TearDown() override { G = saved_; }
  void Fill(std::vector<int32_t> ids) {
    G.NbrAccounts = static_cast<int32_t>(ids.size());
    G.AcctIDs = {0};
    G.AcctNumbers = {""};
    G.AcctNames = {""};
    for (int32_t id : ids) {
      G.AcctIDs.push_back(id);
      G.AcctNumbers.push_back("1-" + std::to_string(id));
      G.AcctNames.push_back("Account " + std::to_string(id));
    }
  }

 private:
  Globals saved_;
};

TEST_F(AccountTables, GetAccountDetails) {
  std::string number, name;
  Fill({5, 9, 3, 9});
  G.AccountsSorted = kFalse;
  GetAccountDetails(G.AcctIDs, 9, number, name);
  EXPECT_EQ(G.AccountIndex, 2);
  EXPECT_EQ(number, "1-9");
  EXPECT_EQ(name, "Account 9");
  GetAccountDetails(G.AcctIDs, 4, number, name);
  EXPECT_LT(G.AccountIndex, 1);
  EXPECT_EQ(number, "");
  EXPECT_EQ(name, "");

  std::vector<int32_t> ids;
  for (int32_t i = 1; i <= 40000; ++i) ids.push_back(i * 3);
  Fill(ids);
  G.AccountsSorted = kTrue;
  GetAccountDetails(G.AcctIDs, 3 * 39999, number, name);
  EXPECT_EQ(G.AccountIndex, 39999);
  EXPECT_EQ(number, "1-119997");
  GetAccountDetails(G.AcctIDs, 0, number, name);
  EXPECT_LT(G.AccountIndex, 1);
  EXPECT_EQ(number, "");
  GetAccountDetails(G.AcctIDs, 7, number, name);
  EXPECT_LT(G.AccountIndex, 1);

  G.NbrAccounts = 0;
  G.AcctIDs.clear();
  GetAccountDetails(G.AcctIDs, 3, number, name);
  EXPECT_LT(G.AccountIndex, 1);
}

TEST(Lookups, FindOrAddIndex) {
  std::vector<int32_t> list(4, 0);
  int32_t index = -1, count = 0;
  FindOrAddIndex(17, list, index, count);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(count, 1);
  FindOrAddIndex(17, list, index, count);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(count, 1);
  FindOrAddIndex(4, list, index, count);
  FindOrAddIndex(8, list, index, count);
  EXPECT_EQ(index, 3);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(list, (std::vector<int32_t>{0, 17, 4, 8}));
  EXPECT_THROW(FindOrAddIndex(9, list, index, count), VbError);
  EXPECT_EQ(count, 3);
}

}  // namespace
}  // namespace qvx
