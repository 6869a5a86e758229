#include "platform/runtime/Runtime.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace qvx {

std::string ErrorDescription(int number) {
  switch (number) {
    case 3: return "Return without GoSub";
    case 5: return "Invalid procedure call or argument";
    case 6: return "Overflow";
    case 7: return "Out of memory";
    case 9: return "Subscript out of range";
    case 11: return "Division by zero";
    case 13: return "Type mismatch";
    case 52: return "Bad file name or number";
    case 53: return "File not found";
    case 54: return "Bad file mode";
    case 55: return "File already open";
    case 57: return "Device I/O error";
    case 58: return "File already exists";
    case 61: return "Disk full";
    case 62: return "Input past end of file";
    case 67: return "Too many files";
    case 68: return "Device unavailable";
    case 70: return "Permission denied";
    case 71: return "Disk not ready";
    case 72: return "Disk-media error";
    case 74: return "Can't rename with different drive";
    case 75: return "Path/File access error";
    case 76: return "Path not found";
    case 91: return "Object variable or With block variable not set";
    case 94: return "Invalid use of Null";
    case 429: return "ActiveX component can't create object";
    case 1004: return "Application-defined or object-defined error";
    default: break;
  }
  if (number == err::DbCommandFailed) return "Syntax error or access violation";
  if (number == err::DbOpenFailed) return "Unspecified error";
  return "Application-defined or object-defined error";
}

VbError::VbError(int number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description)) {}

VbError::VbError(int number) : VbError(number, ErrorDescription(number)) {}

void Raise(int number) { throw VbError(number); }
void Raise(int number, std::string description) { throw VbError(number, std::move(description)); }

ErrorInfo CurrentErrorInfo(const std::exception& e) {
  if (auto* vb = dynamic_cast<const VbError*>(&e)) return {vb->Number(), vb->Description()};
  if (dynamic_cast<const std::bad_alloc*>(&e)) return {err::OutOfMemory, ErrorDescription(err::OutOfMemory)};
  if (dynamic_cast<const std::out_of_range*>(&e))
    return {err::SubscriptOutOfRange, ErrorDescription(err::SubscriptOutOfRange)};
  return {err::ApplicationDefined, e.what()};
}

// ---------------------------------------------------------------- Money

namespace {
__extension__ typedef unsigned __int128 u128;
constexpr double kMoneyLimit = 922337203685477.5807;  // INT64_MAX / 10000

int64_t RoundScaled(double scaled) {
  // 2^63 is exactly representable; anything at or beyond it cannot be held.
  if (!std::isfinite(scaled) || scaled >= 9223372036854775808.0 || scaled < -9223372036854775808.0)
    Raise(err::Overflow);
  double r = std::nearbyint(scaled);  // default rounding mode: ties to even
  if (r >= 9223372036854775808.0) Raise(err::Overflow);
  return static_cast<int64_t>(r);
}
}  // namespace

Money Money::FromDouble(double value) {
  if (!std::isfinite(value) || std::fabs(value) > kMoneyLimit + 1) Raise(err::Overflow);
  return FromRaw(RoundScaled(value * static_cast<double>(kScale)));
}

Money Money::Parse(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool neg = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    neg = text[i] == '-';
    ++i;
  }
  // Accumulate as an unsigned magnitude in ten-thousandths, rounding the fifth decimal on.
  u128 mag = 0;
  bool any = false;
  const u128 limit = static_cast<u128>(INT64_MAX) + 1;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    mag = mag * 10 + static_cast<unsigned>(text[i] - '0');
    any = true;
    if (mag > limit) Raise(err::Overflow);
  }
  mag *= kScale;
  int decimals = 0;
  int roundDigit = -1;
  bool stickyBeyond = false;
  if (i < text.size() && text[i] == '.') {
    ++i;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
      any = true;
      int d = text[i] - '0';
      if (decimals < 4) {
        static constexpr int kPow[] = {1000, 100, 10, 1};
        mag += static_cast<u128>(d) * kPow[decimals];
      } else if (decimals == 4) {
        roundDigit = d;
      } else if (d != 0) {
        stickyBeyond = true;
      }
      ++decimals;
    }
  }
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (!any || i != text.size()) Raise(err::TypeMismatch);
  if (roundDigit > 5 || (roundDigit == 5 && (stickyBeyond || (mag & 1)))) mag += 1;
  if (neg) {
    if (mag > limit) Raise(err::Overflow);
    return FromRaw(mag == limit ? INT64_MIN : -static_cast<int64_t>(mag));
  }
  if (mag >= limit) Raise(err::Overflow);
  return FromRaw(static_cast<int64_t>(mag));
}

std::string Money::ToString() const {
  bool neg = raw_ < 0;
  unsigned long long mag = neg ? 0ULL - static_cast<unsigned long long>(raw_) : static_cast<unsigned long long>(raw_);
  unsigned long long whole = mag / kScale;
  unsigned long long frac = mag % kScale;
  std::string s = (neg ? "-" : "") + std::to_string(whole);
  if (frac != 0) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04llu", frac);
    std::string f = buf;
    while (!f.empty() && f.back() == '0') f.pop_back();
    s += "." + f;
  }
  return s;
}

Money Money::operator-() const {
  if (raw_ == INT64_MIN) Raise(err::Overflow);
  return FromRaw(-raw_);
}

// An overflow leaves the amount as it was: a report whose error box lets the run go on
// must not print the wrapped-around sum.
Money& Money::operator+=(Money o) {
  int64_t sum = 0;
  if (__builtin_add_overflow(raw_, o.raw_, &sum)) Raise(err::Overflow);
  raw_ = sum;
  return *this;
}

Money& Money::operator-=(Money o) {
  int64_t difference = 0;
  if (__builtin_sub_overflow(raw_, o.raw_, &difference)) Raise(err::Overflow);
  raw_ = difference;
  return *this;
}

// ---------------------------------------------------------------- numbers

double Val(std::string_view text) {
  // Blanks, tabs and line feeds are ignored anywhere in the number.
  std::string clean;
  clean.reserve(text.size());
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
    clean.push_back(c);
  }
  size_t i = 0;
  std::string num;
  if (i < clean.size() && (clean[i] == '-' || clean[i] == '+')) num.push_back(clean[i++]);
  bool digits = false;
  while (i < clean.size() && std::isdigit(static_cast<unsigned char>(clean[i]))) {
    num.push_back(clean[i++]);
    digits = true;
  }
  if (i < clean.size() && clean[i] == '.') {
    num.push_back(clean[i++]);
    while (i < clean.size() && std::isdigit(static_cast<unsigned char>(clean[i]))) {
      num.push_back(clean[i++]);
      digits = true;
    }
  }
  if (!digits) return 0.0;
  if (i < clean.size() && (clean[i] == 'E' || clean[i] == 'e' || clean[i] == 'D' || clean[i] == 'd')) {
    size_t j = i + 1;
    std::string ex = "e";
    if (j < clean.size() && (clean[j] == '-' || clean[j] == '+')) ex.push_back(clean[j++]);
    bool exDigits = false;
    while (j < clean.size() && std::isdigit(static_cast<unsigned char>(clean[j]))) {
      ex.push_back(clean[j++]);
      exDigits = true;
    }
    if (exDigits) num += ex;
  }
  double v = std::strtod(num.c_str(), nullptr);
  if (!std::isfinite(v)) Raise(err::Overflow);
  return v;
}

int16_t CInt(double value) {
  if (!std::isfinite(value)) Raise(err::Overflow);
  double r = std::nearbyint(value);
  if (r < -32768.0 || r > 32767.0) Raise(err::Overflow);
  return static_cast<int16_t>(r);
}

int32_t CLng(double value) {
  if (!std::isfinite(value)) Raise(err::Overflow);
  double r = std::nearbyint(value);
  if (r < -2147483648.0 || r > 2147483647.0) Raise(err::Overflow);
  return static_cast<int32_t>(r);
}

Money CCur(double value) { return Money::FromDouble(value); }

bool CBool(std::string_view text) {
  std::string t = Trim(text);
  std::string l = LCase(t);
  if (l == "true") return true;
  if (l == "false") return false;
  // A number: every character must belong to it.
  if (t.empty()) Raise(err::TypeMismatch);
  char* end = nullptr;
  double v = std::strtod(t.c_str(), &end);
  if (end == t.c_str() || *end != '\0' || std::isnan(v)) Raise(err::TypeMismatch);
  return v != 0.0;
}

namespace {
// Up to `digits` significant digits, no leading zero before the point, exponent form
// for very large or small values, as the run-time library prints numbers.
std::string NumberText(double value, int digits, bool leadingZero) {
  if (value == 0.0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*G", digits, value);
  std::string s = buf;
  auto e = s.find('E');
  std::string mant = e == std::string::npos ? s : s.substr(0, e);
  std::string expo = e == std::string::npos ? "" : s.substr(e);
  if (mant.find('.') != std::string::npos) {
    while (!mant.empty() && mant.back() == '0') mant.pop_back();
    if (!mant.empty() && mant.back() == '.') mant.pop_back();
  }
  if (!expo.empty()) {
    // "E+05" -> "E+5" style is not used by the library: it writes at least two digits.
    char sign = expo.size() > 1 ? expo[1] : '+';
    std::string d = expo.substr(2);
    while (d.size() > 2 && d.front() == '0') d.erase(d.begin());
    expo = std::string("E") + sign + d;
  }
  if (!leadingZero) {
    if (mant.rfind("0.", 0) == 0) mant.erase(0, 1);
    else if (mant.rfind("-0.", 0) == 0) mant.erase(1, 1);
  }
  return mant + expo;
}
}  // namespace

std::string Str(double value) {
  std::string t = NumberText(value, 15, false);
  return value < 0 ? t : " " + t;
}

std::string Str(int64_t value) { return (value < 0 ? "" : " ") + std::to_string(value); }

std::string SingleToText(float value) { return NumberText(static_cast<double>(value), 7, false); }

std::string DoubleToText(double value) { return NumberText(value, 15, true); }

// ---------------------------------------------------------------- text

std::string Left(std::string_view s, long n) {
  if (n < 0) Raise(err::InvalidCall);
  return std::string(s.substr(0, static_cast<size_t>(n)));
}

std::string Right(std::string_view s, long n) {
  if (n < 0) Raise(err::InvalidCall);
  size_t k = std::min(static_cast<size_t>(n), s.size());
  return std::string(s.substr(s.size() - k));
}

std::string Mid(std::string_view s, long start, long length) {
  if (start < 1) Raise(err::InvalidCall);
  size_t b = static_cast<size_t>(start - 1);
  if (b >= s.size()) return {};
  if (length < 0) return std::string(s.substr(b));
  return std::string(s.substr(b, static_cast<size_t>(length)));
}

long InStr(std::string_view s, std::string_view what, long start) {
  if (start < 1) Raise(err::InvalidCall);
  size_t b = static_cast<size_t>(start - 1);
  if (b > s.size()) return 0;
  if (what.empty()) return start;
  size_t p = s.find(what, b);
  return p == std::string_view::npos ? 0 : static_cast<long>(p + 1);
}

std::string UCase(std::string_view s) {
  std::string r(s);
  for (auto& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

std::string LCase(std::string_view s) {
  std::string r(s);
  for (auto& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

std::string LTrim(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  return b == std::string_view::npos ? std::string() : std::string(s.substr(b));
}

std::string RTrim(std::string_view s) {
  size_t e = s.find_last_not_of(' ');
  return e == std::string_view::npos ? std::string() : std::string(s.substr(0, e + 1));
}

std::string Trim(std::string_view s) { return LTrim(RTrim(s)); }

}  // namespace qvx
