// Typed dates and the report period: checking and normalising what the user typed,
// turning dates into the keys and SQL date texts the readers compare, and deriving
// every date form a report needs from a chosen period.
//
// Typed dates follow G.DateFormat: "DMY" is dd/mm/yyyy, anything else mm/dd/yyyy.
#pragma once

#include <cstdint>
#include <string>

namespace qvx {

// True for a real calendar date of a year from 2000 to 2099, read in the user's order
// ("dd/mm/yyyy" or "dd/mm/yy" with "DMY"; month first otherwise).
bool IsValidDate(const std::string& text);

// Turns "-" and "." into "/" and rewrites a readable date as dd/mm/yyyy. A character
// other than digits and separators sets errorFlag True (-1), replaces text by the
// message and shows it; otherwise errorFlag is 0 and an unreadable text stays as it is.
void ValidateDateDMY(std::string& text, int16_t& errorFlag);
// The same for month-first dates (mm/dd/yyyy).
void ValidateDateMDY(std::string& text, int16_t& errorFlag);

// date = text as a full date in the user's order, or "" after telling the user
// "Please enter a valid date".
void CheckDateEntry(const std::string& text, std::string& date);

// Replace a day-first (or month-first) dd/mm/yy[yy] date by its six-digit key yymmdd;
// six spaces when the text is neither 8 nor 10 characters long.
void DMYToYYMMDD(std::string& date);
void MDYToYYMMDD(std::string& date);

// Six-digit keys of a period and of the financial year that holds it.
struct DateKeys {
  std::string fromKey, toKey, yearStartKey, yearEndKey;
};
// from, to and the financial year's first and last day are typed dates in the user's
// order; the caller passes the financial year of the period dialog it showed.
DateKeys GetDateKeys(const std::string& from, const std::string& to, const std::string& finYearStart,
                     const std::string& finYearEnd);

// Fills the report period of G from its typed dates G.ReportFromDate, G.ReportToDate,
// G.FinYearStartDate and G.FinYearEndDate: the SQL date texts, the eight-digit keys,
// the month numbers and counts and the heading text. With DebugMode "ON" it shows the
// SQL dates.
void SetReportPeriod();

// Moves two SQL date texts (yyyy-mm-dd) one year back; 29 February becomes 28 February.
void PriorYearDates(std::string& from, std::string& to);

// Days in a month of a year (0 for a month outside 1 to 12).
int DaysInMonth(int year, int month);

}  // namespace qvx
