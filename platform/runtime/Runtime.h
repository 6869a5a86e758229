// The run-time semantics the program relies on: error numbers with their descriptions,
// the fixed-point money type, and the conversions between numbers and text.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qvx {

// Error numbers of the run-time library that callers test for.
namespace err {
inline constexpr int InvalidCall = 5;
inline constexpr int Overflow = 6;
inline constexpr int OutOfMemory = 7;
inline constexpr int SubscriptOutOfRange = 9;
inline constexpr int DivisionByZero = 11;
inline constexpr int TypeMismatch = 13;
inline constexpr int BadFileNameOrNumber = 52;
inline constexpr int FileNotFound = 53;
inline constexpr int FileAlreadyOpen = 55;
inline constexpr int DeviceIO = 57;
inline constexpr int FileAlreadyExists = 58;
inline constexpr int DiskFull = 61;
inline constexpr int InputPastEnd = 62;
inline constexpr int PermissionDenied = 70;
inline constexpr int DiskNotReady = 71;
inline constexpr int DiskMediaError = 72;
inline constexpr int PathFileAccess = 75;
inline constexpr int PathNotFound = 76;
inline constexpr int ObjectNotSet = 91;
inline constexpr int InvalidUseOfNull = 94;
inline constexpr int CannotCreateObject = 429;
inline constexpr int ApplicationDefined = 1004;
// Database-access errors (HRESULTs as the data-access library reports them).
inline constexpr int DbCommandFailed = static_cast<int>(0x80040E14u);
inline constexpr int DbOpenFailed = static_cast<int>(0x80004005u);
}  // namespace err

// The description the run-time library gives for an error number.
std::string ErrorDescription(int number);

// A trapped run-time error: number and description, as the error state holds them.
class VbError : public std::runtime_error {
 public:
  VbError(int number, std::string description);
  explicit VbError(int number);
  int Number() const { return number_; }
  const std::string& Description() const { return description_; }

 private:
  int number_;
  std::string description_;
};

[[noreturn]] void Raise(int number);
[[noreturn]] void Raise(int number, std::string description);

// Converts any exception into the (number, description) pair a handler reports.
struct ErrorInfo {
  int number = 0;
  std::string description;
};
ErrorInfo CurrentErrorInfo(const std::exception& e);

// Fixed-point currency: a signed 64-bit count of ten-thousandths.
class Money {
 public:
  static constexpr int64_t kScale = 10000;
  constexpr Money() = default;
  static constexpr Money FromRaw(int64_t raw) { Money m; m.raw_ = raw; return m; }
  static constexpr Money FromUnits(int64_t units) { return FromRaw(units * kScale); }
  // Nearest ten-thousandth, ties to even; error 6 outside the currency range.
  static Money FromDouble(double value);
  // The decimal text of an amount ("-12.5", "1250"); error 13 when it is not a number,
  // error 6 outside the range. Extra decimals round to four places, ties to even.
  static Money Parse(std::string_view text);
  static Money Max() { return FromRaw(INT64_MAX); }
  static Money Min() { return FromRaw(INT64_MIN); }

  constexpr int64_t Raw() const { return raw_; }
  double ToDouble() const { return static_cast<double>(raw_) / kScale; }
  // Shortest decimal text with "." and no thousands separators: 0, 1250, 1250.5, -0.0001.
  std::string ToString() const;

  constexpr bool IsZero() const { return raw_ == 0; }
  Money operator-() const;
  Money& operator+=(Money o);
  Money& operator-=(Money o);
  friend Money operator+(Money a, Money b) { a += b; return a; }
  friend Money operator-(Money a, Money b) { a -= b; return a; }
  // Money times a double: worked in double precision, back to the nearest ten-thousandth.
  friend Money operator*(Money a, double f) { return FromDouble(a.ToDouble() * f); }
  friend constexpr auto operator<=>(Money a, Money b) = default;
  friend constexpr bool operator==(Money a, Money b) = default;

 private:
  int64_t raw_ = 0;
};

// Val: the number at the start of a text (leading blanks skipped, blanks inside the
// number ignored as the run-time library does, "&H" hex not supported); 0 when none.
double Val(std::string_view text);

// Whole-number conversions: halves go to the even neighbour; error 6 on overflow.
int16_t CInt(double value);
int32_t CLng(double value);
// Currency conversion of a number; error 6 on overflow.
Money CCur(double value);
// Text-to-truth: "True"/"False" in any letter case, or a number (0 is False); else error 13.
bool CBool(std::string_view text);

// Str: a number as text with a leading blank when it is not negative.
std::string Str(double value);
std::string Str(int64_t value);
// Number as text the way the run-time library prints a Single: up to 7 significant
// digits, "." as decimal point, no leading blank, no zero before the point (".5", "-.25").
std::string SingleToText(float value);
// A Double as text with up to 15 significant digits, no leading blank ("0.5", "1E+20").
std::string DoubleToText(double value);

// Truth values as the settings file and the flags hold them: -1 true, 0 false.
inline constexpr int16_t kTrue = -1;
inline constexpr int16_t kFalse = 0;
inline constexpr int16_t Flag(bool b) { return b ? kTrue : kFalse; }

// Text helpers with the run-time library's 1-based positions.
std::string Left(std::string_view s, long n);
std::string Right(std::string_view s, long n);
// Mid(s, start, length): start is 1-based; start < 1 raises error 5. length < 0 means to the end.
std::string Mid(std::string_view s, long start, long length = -1);
// InStr: 1-based position of what in s from start, 0 when absent.
long InStr(std::string_view s, std::string_view what, long start = 1);
std::string UCase(std::string_view s);
std::string LCase(std::string_view s);
std::string Trim(std::string_view s);
std::string LTrim(std::string_view s);
std::string RTrim(std::string_view s);

}  // namespace qvx
