#include "platform/ado/Variant.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/locale/Locale.h"

namespace qvx::ado {

namespace {

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

const int64_t kEpochOffset = DaysFromCivil(1899, 12, 30);

[[noreturn]] void NullUse() { Raise(err::InvalidUseOfNull); }

// A text as a number the way assignment to a numeric variable reads it: blanks around
// it, a sign, digits with thousands separators, a decimal point and an exponent; the
// truth-value words count as -1 and 0. Anything else is a type mismatch.
double TextToNumber(const std::string& text) {
  size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  std::string t = text.substr(b, e - b);
  std::string lower;
  for (char c : t) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "true") return -1;
  if (lower == "false") return 0;
  std::string clean;
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) clean += t[i++];
  bool digits = false, point = false;
  for (; i < t.size(); ++i) {
    char c = t[i];
    if (std::isdigit(static_cast<unsigned char>(c))) {
      clean += c;
      digits = true;
    } else if (c == ',' && !point && digits) {
      continue;
    } else if (c == '.' && !point) {
      clean += c;
      point = true;
    } else {
      break;
    }
  }
  if (!digits) Raise(err::TypeMismatch);
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    std::string exp = "e";
    size_t j = i + 1;
    if (j < t.size() && (t[j] == '+' || t[j] == '-')) exp += t[j++];
    size_t start = j;
    while (j < t.size() && std::isdigit(static_cast<unsigned char>(t[j]))) exp += t[j++];
    if (j == start) Raise(err::TypeMismatch);
    clean += exp;
    i = j;
  }
  if (i != t.size()) Raise(err::TypeMismatch);
  double v = std::strtod(clean.c_str(), nullptr);
  if (!std::isfinite(v)) Raise(err::Overflow);
  return v;
}

// A date typed as text: ISO "yyyy-mm-dd", or three numbers in the order of the system's
// short-date picture.
Date TextToDate(const std::string& text) {
  int a = 0, b = 0, c = 0;
  char s1 = 0, s2 = 0;
  int used = 0;
  if (std::sscanf(text.c_str(), " %d%c%d%c%d %n", &a, &s1, &b, &s2, &c, &used) < 5 ||
      static_cast<size_t>(used) != text.size() || s1 != s2)
    Raise(err::TypeMismatch);
  int y, m, d;
  std::string picture = locale::ShortDatePicture();
  char first = 0;
  for (char ch : picture) {
    if (ch == 'd' || ch == 'M' || ch == 'y') {
      first = ch;
      break;
    }
  }
  if (a > 31 || first == 'y') {
    y = a, m = b, d = c;
  } else if (first == 'M') {
    m = a, d = b, y = c;
  } else {
    d = a, m = b, y = c;
  }
  if (y < 100) y += y < 30 ? 2000 : 1900;
  if (m < 1 || m > 12 || d < 1 || d > 31) Raise(err::TypeMismatch);
  Date r;
  r.year = y, r.month = m, r.day = d, r.hour = r.minute = r.second = 0;
  // Reject a day past the month's end (31 April).
  if (Date::FromSerial(r.Serial()) != r) Raise(err::TypeMismatch);
  return r;
}

}  // namespace

Date Date::FromSerial(double serial) {
  if (!std::isfinite(serial) || serial < -657434.0 || serial >= 2958466.0) Raise(err::Overflow);
  double whole = std::floor(serial);
  int64_t seconds = std::llround((serial - whole) * 86400.0);
  int64_t days = static_cast<int64_t>(whole);
  if (seconds >= 86400) {
    seconds -= 86400;
    ++days;
  }
  Date r;
  CivilFromDays(days + kEpochOffset, r.year, r.month, r.day);
  r.hour = static_cast<int>(seconds / 3600);
  r.minute = static_cast<int>(seconds / 60 % 60);
  r.second = static_cast<int>(seconds % 60);
  return r;
}

double Date::Serial() const {
  double days = static_cast<double>(DaysFromCivil(year, month, day) - kEpochOffset);
  return days + (hour * 3600 + minute * 60 + second) / 86400.0;
}

std::string DateText(const Date& d) {
  std::string out;
  bool dateOnlyZero = d.year == 1899 && d.month == 12 && d.day == 30;
  if (!dateOnlyZero || !d.HasTime()) out = locale::FormatDate(locale::ShortDatePicture(), d.year, d.month, d.day);
  if (d.HasTime()) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", d.hour, d.minute, d.second);
    if (!out.empty()) out += ' ';
    out += buf;
  }
  return out;
}

Variant Variant::Null() {
  Variant v;
  v.v_ = NullValue{};
  return v;
}

std::string Variant::ToString() const {
  switch (Type()) {
    case VarType::Empty: return {};
    case VarType::Null: NullUse();
    case VarType::Integer: return std::to_string(Get<int16_t>());
    case VarType::Long: return std::to_string(Get<int32_t>());
    case VarType::Double: return DoubleToText(Get<double>());
    case VarType::Currency: return Get<Money>().ToString();
    case VarType::Date: return DateText(Get<Date>());
    case VarType::String: return Get<std::string>();
    case VarType::Boolean: return Get<bool>() ? "True" : "False";
  }
  return {};
}

std::string Variant::Text() const { return IsNull() ? std::string() : ToString(); }

double Variant::ToDouble() const {
  switch (Type()) {
    case VarType::Empty: return 0;
    case VarType::Null: NullUse();
    case VarType::Integer: return Get<int16_t>();
    case VarType::Long: return Get<int32_t>();
    case VarType::Double: return Get<double>();
    case VarType::Currency: return Get<Money>().ToDouble();
    case VarType::Date: return Get<Date>().Serial();
    case VarType::String: return TextToNumber(Get<std::string>());
    case VarType::Boolean: return Get<bool>() ? -1 : 0;
  }
  return 0;
}

int16_t Variant::ToInteger() const {
  switch (Type()) {
    case VarType::Integer: return Get<int16_t>();
    case VarType::Boolean: return Get<bool>() ? -1 : 0;
    default: return CInt(ToDouble());
  }
}

int32_t Variant::ToLong() const {
  switch (Type()) {
    case VarType::Integer: return Get<int16_t>();
    case VarType::Long: return Get<int32_t>();
    case VarType::Boolean: return Get<bool>() ? -1 : 0;
    case VarType::Currency: {
      // Exact for every amount: halves of the last unit go to the even neighbour.
      int64_t raw = Get<Money>().Raw();
      int64_t q = raw / Money::kScale, r = raw % Money::kScale;
      if (r > Money::kScale / 2 || (r == Money::kScale / 2 && (q & 1))) ++q;
      if (r < -Money::kScale / 2 || (r == -Money::kScale / 2 && (q & 1))) --q;
      if (q > std::numeric_limits<int32_t>::max() || q < std::numeric_limits<int32_t>::min())
        Raise(err::Overflow);
      return static_cast<int32_t>(q);
    }
    default: return CLng(ToDouble());
  }
}

Money Variant::ToCurrency() const {
  switch (Type()) {
    case VarType::Integer: return Money::FromUnits(Get<int16_t>());
    case VarType::Long: return Money::FromUnits(Get<int32_t>());
    case VarType::Currency: return Get<Money>();
    case VarType::Boolean: return Money::FromUnits(Get<bool>() ? -1 : 0);
    case VarType::String: {
      const std::string& s = Get<std::string>();
      // Plain decimal texts are taken exactly; others through the number reading.
      try {
        return Money::Parse(s);
      } catch (const VbError& e) {
        if (e.Number() == err::Overflow) throw;
      }
      return CCur(TextToNumber(s));
    }
    default: return CCur(ToDouble());
  }
}

bool Variant::ToBoolean() const {
  switch (Type()) {
    case VarType::Empty: return false;
    case VarType::Null: NullUse();
    case VarType::Boolean: return Get<bool>();
    case VarType::Currency: return !Get<Money>().IsZero();
    case VarType::String: return TextToNumber(Get<std::string>()) != 0;
    default: return ToDouble() != 0;
  }
}

Date Variant::ToDate() const {
  switch (Type()) {
    case VarType::Null: NullUse();
    case VarType::Date: return Get<Date>();
    case VarType::String: return TextToDate(Get<std::string>());
    default: return Date::FromSerial(ToDouble());
  }
}

}  // namespace qvx::ado
