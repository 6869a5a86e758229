#include <gtest/gtest.h>

#include "platform/runtime/Runtime.h"

using namespace qvx;

TEST(Runtime, ValReadsTheLeadingNumber) {
  struct Case { const char* text; double want; };
  for (auto c : std::initializer_list<Case>{
           {"", 0}, {"abc", 0}, {"12abc", 12}, {" 1 2 3", 123}, {"-4.5x", -4.5}, {"1e3", 1000}, {".5", 0.5}, {"1e", 1}}) {
    EXPECT_EQ(Val(c.text), c.want) << c.text;
  }
}

TEST(Runtime, CIntRoundsHalvesToEvenAndOverflows) {
  EXPECT_EQ(CInt(10.5), 10);
  EXPECT_EQ(CInt(11.5), 12);
  EXPECT_EQ(CInt(-2.5), -2);
  EXPECT_EQ(CInt(32767.4), 32767);
  try {
    CInt(32767.5);
    FAIL();
  } catch (const VbError& e) {
    EXPECT_EQ(e.Number(), 6);
    EXPECT_EQ(e.Description(), "Overflow");
  }
}

TEST(Runtime, MoneyTextAndParse) {
  struct Case { const char* in; const char* out; };
  for (auto c : std::initializer_list<Case>{{"0", "0"}, {"1250", "1250"}, {"1250.50", "1250.5"},
                                            {"-0.0001", "-0.0001"}, {"1.00005", "1"}, {"1.00015", "1.0002"},
                                            {"922337203685477.5807", "922337203685477.5807"}}) {
    EXPECT_EQ(Money::Parse(c.in).ToString(), c.out) << c.in;
  }
  EXPECT_THROW(Money::Parse("922337203685477.5808"), VbError);
  EXPECT_THROW(Money::Parse("x"), VbError);
  EXPECT_EQ((Money::Parse("10") * (1.0 / 3.0)).ToString(), "3.3333");
}

// A sum beyond the range raises Overflow and leaves the amount it was added to unchanged.
TEST(Runtime, MoneyOverflowKeepsTheAmount) {
  const Money half = Money::Parse("500000000000000");
  struct Case { const char* name; Money start; void (*step)(Money&); };
  for (const Case& c : std::initializer_list<Case>{
           {"+=", half, [](Money& m) { m += Money::Parse("500000000000000"); }},
           {"-=", -half, [](Money& m) { m -= Money::Parse("500000000000000"); }},
           {"+= Min", Money::Min(), [](Money& m) { m += Money::FromRaw(-1); }},
           {"-= Max", Money::Max(), [](Money& m) { m -= Money::FromRaw(-1); }}}) {
    Money m = c.start;
    EXPECT_THROW(c.step(m), VbError) << c.name;
    EXPECT_EQ(m, c.start) << c.name;
  }
}

TEST(Runtime, TruthAndNumberTexts) {
  EXPECT_TRUE(CBool("true"));
  EXPECT_FALSE(CBool("FALSE"));
  EXPECT_TRUE(CBool("-1"));
  EXPECT_FALSE(CBool("0"));
  try {
    CBool("yes");
    FAIL();
  } catch (const VbError& e) {
    EXPECT_EQ(e.Number(), 13);
  }
  EXPECT_EQ(SingleToText(0.5f), ".5");
  EXPECT_EQ(SingleToText(-0.25f), "-.25");
  EXPECT_EQ(SingleToText(12.75f), "12.75");
  EXPECT_EQ(Str(int64_t{5}), " 5");
  EXPECT_EQ(Str(int64_t{-5}), "-5");
}
