#include "core/Dates.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <optional>

#include "core/Globals.h"
#include "platform/runtime/Runtime.h"
#include "platform/sys/Clock.h"
#include "platform/ui/Ui.h"

namespace qvx {

namespace {

struct Ymd {
  int year = 0, month = 0, day = 0;
};

bool DayFirst() { return G.DateFormat == "DMY"; }

int CurrentCentury() {
  std::time_t t = std::chrono::system_clock::to_time_t(sys::Now());
  std::tm tm{};
  localtime_r(&t, &tm);
  return (tm.tm_year + 1900) / 100 * 100;
}

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// Reads "d/m/y" (or "m/d/y") with one- or two-digit day and month and a year of one,
// two or four digits; short years fall in the current century. Nothing else is a date.
std::optional<Ymd> ReadDate(const std::string& text, bool dayFirst) {
  size_t a = text.find('/');
  if (a == std::string::npos) return std::nullopt;
  size_t b = text.find('/', a + 1);
  if (b == std::string::npos || text.find('/', b + 1) != std::string::npos) return std::nullopt;
  std::string p1 = text.substr(0, a), p2 = text.substr(a + 1, b - a - 1), p3 = text.substr(b + 1);
  if (!AllDigits(p1) || !AllDigits(p2) || !AllDigits(p3)) return std::nullopt;
  if (p1.size() > 2 || p2.size() > 2 || p3.size() == 3 || p3.size() > 4) return std::nullopt;
  Ymd d;
  d.day = std::stoi(dayFirst ? p1 : p2);
  d.month = std::stoi(dayFirst ? p2 : p1);
  d.year = std::stoi(p3);
  if (p3.size() <= 2) d.year += CurrentCentury();
  else if (d.year < 1000) return std::nullopt;
  if (d.month < 1 || d.month > 12 || d.day < 1 || d.day > DaysInMonth(d.year, d.month)) return std::nullopt;
  return d;
}

std::string Two(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

std::string WriteDate(const Ymd& d, bool dayFirst) {
  char year[16];
  std::snprintf(year, sizeof year, "%04d", d.year);
  return dayFirst ? Two(d.day) + "/" + Two(d.month) + "/" + year : Two(d.month) + "/" + Two(d.day) + "/" + year;
}

// A whole number read from a fixed field, or nullopt when the field holds anything else.
std::optional<int> Field(const std::string& text, long start, long length) {
  double v = Val(Mid(text, start, length));
  if (v != std::floor(v)) return std::nullopt;
  return static_cast<int>(v);
}

void ValidateDate(std::string& text, int16_t& errorFlag, bool dayFirst) {
  errorFlag = kFalse;
  for (char& c : text) {
    if (c == '-' || c == '.') c = '/';
    if (static_cast<unsigned char>(c) < 45 || static_cast<unsigned char>(c) > 57) errorFlag = kTrue;
  }
  if (errorFlag) {
    text = std::string("Error in Date\r\n\r\nThe format should be ") + (dayFirst ? "dd/mm/yyyy" : "mm/dd/yyyy") + "\r\n";
    ui::MsgBox(text, ui::Buttons::OK, ui::Icon::Information, dayFirst ? "Problem in Date" : "Problem in Date format");
    return;
  }
  if (auto d = ReadDate(text, dayFirst)) text = WriteDate(*d, dayFirst);
}

// The key yymmdd from fixed positions of a dd/mm/yy or dd/mm/yyyy text (day and month
// swapped for month-first dates).
void ToKey(std::string& date, bool dayFirst) {
  std::string t = LTrim(date);
  long dayAt = dayFirst ? 1 : 4, monthAt = dayFirst ? 4 : 1;
  if (t.size() == 8) date = Mid(t, 7, 2) + Mid(t, monthAt, 2) + Mid(t, dayAt, 2);
  else if (t.size() == 10) date = Mid(t, 9, 2) + Mid(t, monthAt, 2) + Mid(t, dayAt, 2);
  else date = "      ";
}

}  // namespace

int DaysInMonth(int year, int month) {
  static constexpr int kDays[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month];
}

bool IsValidDate(const std::string& text) {
  // Both layouts are 8 or 10 characters long; anything else lacks a part.
  if (text.size() != 8 && text.size() != 10) return false;
  bool dayFirst = DayFirst();
  auto first = Field(text, 1, 2), second = Field(text, 4, 2);
  // A four-digit year is taken as written; only a two-digit one is expanded.
  bool longYear = text.size() == 10;
  auto year = Field(text, 7, longYear ? 4 : 2);
  if (!first || !second || !year) return false;
  int day = dayFirst ? *first : *second, month = dayFirst ? *second : *first, y = *year;
  if (!longYear) y += y < 80 ? 2000 : 1900;
  if (y < 2000 || y > 2099) return false;
  if (month < 1 || month > 12) return false;
  return day >= 1 && day <= DaysInMonth(y, month);
}

void ValidateDateDMY(std::string& text, int16_t& errorFlag) { ValidateDate(text, errorFlag, true); }

void ValidateDateMDY(std::string& text, int16_t& errorFlag) { ValidateDate(text, errorFlag, false); }

void CheckDateEntry(const std::string& text, std::string& date) {
  date.clear();
  bool dayFirst = DayFirst();
  std::string t = text;
  for (char& c : t)
    if (c == '.') c = '/';
  std::optional<Ymd> d;
  size_t a = t.find('/');
  size_t b = a == std::string::npos ? a : t.find('/', a + 1);
  if (!t.empty() && b != std::string::npos && t.find('/', b + 1) == std::string::npos) {
    auto pad = [](std::string p) { return p.size() == 1 ? "0" + p : p; };
    std::string typed = pad(t.substr(0, a)) + "/" + pad(t.substr(a + 1, b - a - 1)) + "/" + pad(t.substr(b + 1));
    // The day is held to the typed year's own month length, February included.
    d = ReadDate(typed, dayFirst);
  }
  if (!d) {
    ui::MsgBox("Please enter a valid date", ui::Buttons::OK, ui::Icon::None, "Bad Date");
    return;
  }
  date = WriteDate(*d, dayFirst);
}

void DMYToYYMMDD(std::string& date) { ToKey(date, true); }

void MDYToYYMMDD(std::string& date) { ToKey(date, false); }

DateKeys GetDateKeys(const std::string& from, const std::string& to, const std::string& finYearStart,
                     const std::string& finYearEnd) {
  DateKeys k{from, to, finYearStart, finYearEnd};
  auto convert = DayFirst() ? DMYToYYMMDD : MDYToYYMMDD;
  convert(k.fromKey);
  convert(k.toKey);
  convert(k.yearStartKey);
  convert(k.yearEndKey);
  return k;
}

void SetReportPeriod() {
  bool dayFirst = DayFirst();
  auto day = [&](const std::string& s) { return Mid(s, dayFirst ? 1 : 4, 2); };
  auto month = [&](const std::string& s) { return Mid(s, dayFirst ? 4 : 1, 2); };
  auto year = [](const std::string& s) { return Mid(s, 7); };

  G.ODBCFromDate = Right(G.ReportFromDate, 4) + "-" + month(G.ReportFromDate) + "-" + day(G.ReportFromDate);
  G.ODBCToDate = Right(G.ReportToDate, 4) + "-" + month(G.ReportToDate) + "-" + day(G.ReportToDate);
  G.FromMonth = CInt(Val(Mid(G.ODBCFromDate, 6, 2)));
  G.ToMonth = CInt(Val(Mid(G.ODBCToDate, 6, 2)));
  // The years are not compared: a period lies within twelve months.
  G.NbrMonths = static_cast<int16_t>(G.ToMonth >= G.FromMonth ? G.ToMonth - G.FromMonth + 1 : 13 - G.FromMonth + G.ToMonth);
  G.NbrMonths2 = G.NbrMonths;
  G.FromYMD = year(G.ReportFromDate) + month(G.ReportFromDate) + day(G.ReportFromDate);
  G.ToYMD = year(G.ReportToDate) + month(G.ReportToDate) + day(G.ReportToDate);
  G.FinYearStartYMD = year(G.FinYearStartDate) + month(G.FinYearStartDate) + "01";
  G.FYEndMonth = CInt(Val(month(G.FinYearEndDate)));
  int lastDay = DaysInMonth(CLng(Val(year(G.FinYearEndDate))), G.FYEndMonth);
  if (lastDay == 0) Raise(err::SubscriptOutOfRange);
  G.FinYearEndYMD = year(G.FinYearEndDate) + month(G.FinYearEndDate) + std::to_string(lastDay);
  G.PeriodText = G.ReportFromDate + " to " + G.ReportToDate;
  G.ODBCYearStartDate = Mid(G.FinYearStartYMD, 1, 4) + "-" + Mid(G.FinYearStartYMD, 5, 2) + "-" + Mid(G.FinYearStartYMD, 7, 2);
  if (G.DebugMode == "ON")
    ui::MsgBox("sODBCFromDate = " + G.ODBCFromDate + " sODBCToDate = " + G.ODBCToDate + "\r\n");
}

void PriorYearDates(std::string& from, std::string& to) {
  for (std::string* s : {&from, &to}) {
    std::string rest = Mid(*s, 5);
    // The year before a leap year has no 29 February.
    if (rest == "-02-29") rest = "-02-28";
    *s = DoubleToText(Val(Left(*s, 4)) - 1) + rest;
  }
}

}  // namespace qvx
