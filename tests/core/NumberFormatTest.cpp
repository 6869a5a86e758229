#include <string>

#include <gtest/gtest.h>

#include "core/Globals.h"
#include "core/NumberFormat.h"
#include "platform/runtime/Runtime.h"

namespace qvx {
namespace {

std::string Spaces(size_t n) { return std::string(n, ' '); }

class NumberFormat : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = G;
    G.AmtWidth = 12;
    G.IsNegative = kFalse;
  }
  void TearDown() override { G = saved_; }

 private:
  Globals saved_;
};

TEST_F(NumberFormat, FormatAmountTexts) {
  struct Case {
    const char* amount;
    int16_t decimals;
    int16_t width;
    bool dollar;
    std::string expected;
  } cases[] = {
      {"1234.5", 0, 0, false, Spaces(9) + "1,234.50"},
      {"-1234.5", 0, 0, true, Spaces(5) + "($1,234.50)"},
      {"1234.5", 0, 0, true, Spaces(7) + "$1,234.50"},
      {"0", 0, 0, false, Spaces(16) + "0.00"},
      {"0", -1, 0, false, Spaces(22) + "0"},
      {"1234567.891", 0, 0, false, Spaces(2) + "1,234,567.89"},
      {"12345678.9", 0, 0, false, Spaces(2) + "12,345,678.90"},
      {"123456789", 0, 0, false, "123456789.00"},
      {"-123456789", 0, 0, false, "  (123456789.00)"},
      {"0.5", 0, 0, false, Spaces(16) + "0.50"},
      {"-0.5", 0, 0, false, Spaces(16) + "(.50)"},
      {"-0.004", 0, 0, false, Spaces(16) + "0.00"},
      {"2.345", 0, 0, false, Spaces(16) + "2.35"},
      {"-2.345", 0, 0, false, Spaces(14) + "(2.35)"},
      {"999.995", 0, 0, false, Spaces(9) + "1,000.00"},
      {"1234.5", -1, 0, false, Spaces(15) + "1,235"},
      {"-1234.5", -1, 11, false, Spaces(11) + "(1,235)"},
      {"12345", -1, 0, false, Spaces(13) + "12,345"},
      {"123456", -1, 0, false, Spaces(11) + "123,456"},
      {"12.5", 0, 20, false, Spaces(30) + "12.50"},
      {"  42", 0, 0, false, Spaces(14) + "42.00"},
      {"abc", 0, 0, false, Spaces(16) + "0.00"},
      {"", 0, 0, false, Spaces(16) + "0.00"},
      // The largest and smallest money values, through the double the amount is read into.
      {"922337203685477.5807", 0, 0, false, "922337203685478.00"},
      {"-922337203685477.5808", 0, 0, false, "  (922337203685478.00)"},
  };
  for (const auto& c : cases) {
    G.CellText = c.amount;
    G.CellDecimals = c.decimals;
    G.CellWidth = c.width;
    G.DollarSign = c.dollar ? kTrue : kFalse;
    FormatAmount();
    EXPECT_EQ(G.CellText, c.expected) << c.amount;
    EXPECT_EQ(G.CellDecimals, 0);
    EXPECT_EQ(G.CellWidth, 0);
    EXPECT_EQ(G.DollarSign, 0);
  }
}

TEST_F(NumberFormat, NegativeFlagSticksAndPrefixGoesInFront) {
  G.CellText = "5";
  FormatAmount();
  EXPECT_EQ(G.IsNegative, kFalse);
  G.CellText = "-5";
  FormatAmount();
  EXPECT_EQ(G.IsNegative, kTrue);
  G.CellText = "5";
  FormatAmount();
  EXPECT_EQ(G.IsNegative, kTrue);
  EXPECT_EQ(G.CellText, Spaces(16) + "5.00");
  G.CellText = "5";
  FormatAmount("*");
  EXPECT_EQ(G.CellText, Spaces(14) + "*5.00");
}

TEST_F(NumberFormat, Steps) {
  struct Pad {
    const char* in;
    int decimals;
    const char* out;
  } pads[] = {{"5", 2, "5.00"}, {"5", 1, "5.0"}, {"5.5", 2, "5.50"}, {"5.25", 2, "5.25"}, {"5", 0, "5"}, {"5.5", 1, "5.5"}};
  for (const auto& c : pads) {
    std::string t = c.in;
    PadDecimals(t, c.decimals);
    EXPECT_EQ(t, c.out) << c.in;
  }

  struct Comma {
    const char* in;
    const char* out;
    int32_t count;
  } commas[] = {
      {"123.00", "123.00", 0},          {"1234.00", "1,234.00", 1},         {"-1234.00", "-1,234.00", 1},
      {"12345678.00", "12,345,678.00", 2}, {"123456789.00", "123456789.00", 0}, {"1234", "1,234", 1},
      {"12345678", "12,345,678", 2},    {"", "", 0},
  };
  for (const auto& c : commas) {
    std::string t = c.in;
    int32_t n = -1;
    InsertCommas(t, n);
    EXPECT_EQ(t, c.out) << c.in;
    EXPECT_EQ(n, c.count) << c.in;
  }

  std::string t = "-$5";
  BracketNegative(t, true);
  EXPECT_EQ(t, "($5)");
  t = "-5";
  BracketNegative(t, false);
  EXPECT_EQ(t, "-5");

  t = "abc  ";
  PadLeftForPrint(t, 5, 1);
  EXPECT_EQ(t, Spaces(5) + "abc");
}

TEST_F(NumberFormat, FormatPercent) {
  struct Case {
    const char* value;
    int16_t width;
    std::string expected;
  } cases[] = {
      {"12.4", 0, Spaces(4) + "12 %"}, {"-5", 0, Spaces(4) + "-5 %"}, {"0", 0, Spaces(6) + "0"},
      {"150.5", 0, Spaces(2) + "151 %"}, {"1234", 0, "1234 %"},       {"-0.4", 0, Spaces(6) + "0"},
      {"2.5", 6, Spaces(10) + "3 %"},    {"x", 0, Spaces(6) + "0"},
  };
  for (const auto& c : cases) {
    std::string t = c.value;
    int16_t width = c.width;
    FormatPercent(t, width);
    EXPECT_EQ(t, c.expected) << c.value;
    EXPECT_EQ(width, c.width == 0 ? 4 : c.width);
  }
}

}  // namespace
}  // namespace qvx
