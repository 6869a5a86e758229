// Field values as the data-access library hands them over: variants of a small set of
// types, with the run-time library's conversions into typed variables.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "platform/runtime/Runtime.h"

namespace qvx::ado {

enum class VarType { Empty, Null, Integer, Long, Double, Currency, Date, String, Boolean };

// A date and time of day. Its number is the run-time library's: days since
// 30 December 1899, the time of day as the fraction.
struct Date {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;

  static Date FromSerial(double serial);
  double Serial() const;
  bool HasTime() const { return hour != 0 || minute != 0 || second != 0; }
  friend bool operator==(const Date&, const Date&) = default;
};

class Variant {
 public:
  Variant() = default;  // Empty
  static Variant Null();
  explicit Variant(int16_t v) : v_(v) {}
  explicit Variant(int32_t v) : v_(v) {}
  explicit Variant(double v) : v_(v) {}
  explicit Variant(Money v) : v_(v) {}
  explicit Variant(Date v) : v_(v) {}
  explicit Variant(std::string v) : v_(std::move(v)) {}
  explicit Variant(const char* v) : v_(std::string(v)) {}
  explicit Variant(bool v) : v_(v) {}

  VarType Type() const { return static_cast<VarType>(v_.index()); }
  bool IsNull() const { return Type() == VarType::Null; }
  bool IsEmpty() const { return Type() == VarType::Empty; }

  // The conversions of assignment to a typed variable. Null raises "Invalid use of
  // Null" (94); a text that is not a number raises "Type mismatch" (13); a number out of
  // the target's range raises "Overflow" (6). A Date becomes text in the system's
  // short-date picture.
  std::string ToString() const;
  int16_t ToInteger() const;
  int32_t ToLong() const;
  double ToDouble() const;
  Money ToCurrency() const;
  bool ToBoolean() const;
  Date ToDate() const;
  // The text that joining the value to an empty text gives: Null gives the empty text.
  std::string Text() const;

  // Direct access for a caller that has checked the type.
  template <class T>
  const T& Get() const { return std::get<T>(v_); }

  friend bool operator==(const Variant&, const Variant&) = default;

 private:
  struct NullValue {
    friend bool operator==(NullValue, NullValue) { return true; }
  };
  std::variant<std::monostate, NullValue, int16_t, int32_t, double, Money, Date, std::string, bool> v_;
};

// The system's short date (and time, when the value has one) of a date.
std::string DateText(const Date& d);

}  // namespace qvx::ado
