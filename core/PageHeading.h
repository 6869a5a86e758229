// The page heading every report page starts with: on the printer the full heading
// (company, address, title, period, date and time) or the short continuation heading; in
// a worksheet the same full heading in merged, centred cells. The first printed heading
// of a report lets the user choose the printer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/Globals.h"

namespace qvx {

namespace printer {
class Printer;
}

// What the heading reads and updates; the reports keep these in the program-wide values
// of the same names (FromGlobals).
struct ReportHeadingArgs {
  int16_t& ChoosePrinter;   // the printer choice is still due
  int16_t& HeadingMode;     // -1 full on page 1, -3 full on any page, -2 nothing, 0 continuation
  int16_t& NewPageFlag;     // start a new printer page first
  std::string& RptTitle;
  int16_t& LeadingCols;
  std::shared_ptr<excel::Worksheet>& xlSheet;
  std::string& MergeCols;   // two column letters across which worksheet lines are merged
  int16_t& SkipDateLine;
  int32_t& LineCount;
  int32_t& ExcelRow;
  int16_t& PrintCopies;
  int16_t& PrintCancelled;

  static ReportHeadingArgs FromGlobals();
};

inline constexpr int16_t kHeadingFullOnFirstPage = -1;
inline constexpr int16_t kHeadingNone = -2;
inline constexpr int16_t kHeadingFull = -3;

void PrintReportHeading(const ReportHeadingArgs& args);
// With the program-wide values.
void PrintReportHeading();

// Sets the device's x position so that the text printed next is centred on the page.
void CentreText(printer::Printer& device, const std::string& text);
// Merges the cells of the row from the first to the last of the column letters ("F" and
// "H" when there are none) and centres the first; returns the two letters used.
void MergeHeadingCells(excel::Worksheet& sheet, const std::string& columnLetters, int32_t row, std::string& first,
                       std::string& last);
// Makes the printer that was current before the user's choice current again.
void RestorePrinter();

}  // namespace qvx
