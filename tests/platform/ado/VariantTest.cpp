#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "RaisedError.h"
#include "platform/ado/Variant.h"
#include "platform/locale/Locale.h"

using namespace qvx;
using ado::Date;
using ado::Variant;
using ado::VarType;

namespace {

Date Ymd(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
  Date r;
  r.year = y, r.month = m, r.day = d, r.hour = hh, r.minute = mm, r.second = ss;
  return r;
}

using test::ErrorOf;

}  // namespace

TEST(Variant, TextOfEveryType) {
  locale::SetLocaleInfo(locale::kLocaleUserDefault, locale::kLocaleSShortDate, "dd/MM/yyyy");
  struct Case { Variant v; const char* text; };
  for (const auto& c : std::initializer_list<Case>{
           {Variant(), ""},
           {Variant(int16_t{-12}), "-12"},
           {Variant(int32_t{70000}), "70000"},
           {Variant(0.5), "0.5"},
           {Variant(1e20), "1E+20"},
           {Variant(Money::Parse("1250.50")), "1250.5"},
           {Variant(Money::Parse("-0.0001")), "-0.0001"},
           {Variant(Ymd(2013, 3, 5)), "05/03/2013"},
           {Variant(Ymd(2013, 3, 5, 14, 7, 9)), "05/03/2013 14:07:09"},
           {Variant(std::string(" a b ")), " a b "},
           {Variant(true), "True"},
           {Variant(false), "False"},
       }) {
    EXPECT_EQ(c.v.ToString(), c.text);
    EXPECT_EQ(c.v.Text(), c.text);
  }
  // The date follows the system's picture at the time of the conversion.
  locale::SetLocaleInfo(locale::kLocaleUserDefault, locale::kLocaleSShortDate, "MM/dd/yyyy");
  EXPECT_EQ(Variant(Ymd(2013, 3, 5)).ToString(), "03/05/2013");
  locale::SetLocaleInfo(locale::kLocaleUserDefault, locale::kLocaleSShortDate, "dd/MM/yyyy");
}

TEST(Variant, NullIntoATypedVariableIsInvalidUseOfNull) {
  Variant n = Variant::Null();
  EXPECT_TRUE(n.IsNull());
  EXPECT_EQ(n.Text(), "");  // joined to a text, Null gives nothing
  for (const auto& f : std::initializer_list<std::function<void()>>{
           [&] { n.ToString(); }, [&] { n.ToInteger(); }, [&] { n.ToLong(); }, [&] { n.ToDouble(); },
           [&] { n.ToCurrency(); }, [&] { n.ToBoolean(); }, [&] { n.ToDate(); }}) {
    EXPECT_EQ(ErrorOf(f), err::InvalidUseOfNull);
  }
  try {
    n.ToLong();
  } catch (const VbError& e) {
    EXPECT_EQ(e.Description(), "Invalid use of Null");
  }
}

TEST(Variant, NumbersFromEveryType) {
  struct Case { Variant v; int16_t i; int32_t l; double d; const char* money; bool b; };
  for (const auto& c : std::initializer_list<Case>{
           {Variant(), 0, 0, 0, "0", false},
           {Variant(int16_t{-7}), -7, -7, -7, "-7", true},
           {Variant(int32_t{40000}), 0, 40000, 40000, "40000", true},
           {Variant(2.5), 2, 2, 2.5, "2.5", true},
           {Variant(3.5), 4, 4, 3.5, "3.5", true},
           {Variant(Money::Parse("10.5")), 10, 10, 10.5, "10.5", true},
           {Variant(Money::Parse("11.5")), 12, 12, 11.5, "11.5", true},
           {Variant(Money::Parse("-11.5")), -12, -12, -11.5, "-11.5", true},
           {Variant(std::string(" 1,234.5 ")), 1234, 1234, 1234.5, "1234.5", true},
           {Variant(std::string("-2e2")), -200, -200, -200, "-200", true},
           {Variant(std::string("True")), -1, -1, -1, "-1", true},
           {Variant(std::string("0")), 0, 0, 0, "0", false},
           {Variant(true), -1, -1, -1, "-1", true},
           {Variant(Ymd(1900, 1, 1)), 2, 2, 2, "2", true},
       }) {
    SCOPED_TRACE(c.v.Text());
    if (c.v.Type() != VarType::Long) {
      EXPECT_EQ(c.v.ToInteger(), c.i);
    }
    EXPECT_EQ(c.v.ToLong(), c.l);
    EXPECT_EQ(c.v.ToDouble(), c.d);
    EXPECT_EQ(c.v.ToCurrency().ToString(), c.money);
    EXPECT_EQ(c.v.ToBoolean(), c.b);
  }
}

TEST(Variant, BadTextsAndOverflows) {
  struct Case { std::function<void()> f; int error; };
  for (const auto& c : std::initializer_list<Case>{
           {[] { Variant(std::string("12abc")).ToLong(); }, err::TypeMismatch},
           {[] { Variant(std::string("")).ToDouble(); }, err::TypeMismatch},
           {[] { Variant(std::string("yes")).ToBoolean(); }, err::TypeMismatch},
           {[] { Variant(std::string("1e")).ToDouble(); }, err::TypeMismatch},
           {[] { Variant(int32_t{40000}).ToInteger(); }, err::Overflow},
           {[] { Variant(3e9).ToLong(); }, err::Overflow},
           {[] { Variant(Money::Parse("2147483647.5")).ToLong(); }, err::Overflow},
           {[] { Variant(1e300).ToCurrency(); }, err::Overflow},
           {[] { Variant(std::string("31/04/2020")).ToDate(); }, err::TypeMismatch},
       }) {
    EXPECT_EQ(ErrorOf(c.f), c.error);
  }
}

TEST(Variant, DatesAndTheirNumbers) {
  locale::SetLocaleInfo(locale::kLocaleUserDefault, locale::kLocaleSShortDate, "dd/MM/yyyy");
  struct Case { Date d; double serial; };
  for (const auto& c : std::initializer_list<Case>{
           {Ymd(1899, 12, 30), 0},
           {Ymd(1900, 3, 1), 61},
           {Ymd(2000, 2, 29), 36585},
           {Ymd(2013, 3, 5), 41338},
           {Ymd(2013, 3, 5, 12, 0, 0), 41338.5},
           {Ymd(1899, 12, 29), -1},
       }) {
    EXPECT_DOUBLE_EQ(c.d.Serial(), c.serial);
    EXPECT_EQ(Date::FromSerial(c.serial), c.d);
  }
  EXPECT_EQ(Variant(std::string("05/03/2013")).ToDate(), Ymd(2013, 3, 5));
  EXPECT_EQ(Variant(std::string("2013-03-05")).ToDate(), Ymd(2013, 3, 5));
  EXPECT_EQ(Variant(41338.0).ToDate(), Ymd(2013, 3, 5));
}
