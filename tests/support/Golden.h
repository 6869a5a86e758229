// Golden outputs: a report's printed pages or its workbook rendered as plain text and
// compared with a checked-in file under tests/data/golden/<name>.txt.
//
// The renderings are made for a person reading a diff: one text line per printed line,
// one text line per cell, in a fixed order, numbers written the same way every time.
//
//   printer::Environment().recording = true; ... run the report ...
//   ExpectGolden("budget_comparison_print", RenderPrinted(printer::Environment().calls));
//   ExpectGolden("budget_comparison_xlsx", RenderWorkbook(*G.xlBook));   // before it closes
//
// A difference fails the test with a short line diff. With QVX_UPDATE_GOLDEN=1 in the
// environment the files are (re)written instead, and the test passes; review the change
// with `git diff tests/data/golden` before committing it. A missing file fails unless the
// variable is set.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/excel/Excel.h"
#include "platform/printer/Printer.h"

namespace qvx::test {

// The recorded drawing calls, page by page. Each printed line (texts at one height) is
// one text line: its top in twips, then its items left to right, each with its tab
// column ("c12") or twip position ("x720") and its text in quotes; a font change shows
// before the first item in the new font as {Arial 10 bold}. A ruled line is its own text
// line. Pages start with "=== page N portrait|landscape ===".
//
//   === page 1 portrait ===
//   y=0      {Arial 12 bold} x=4200 "Budget Comparison"
//   y=480    {Arial 9} c2 "4-1000" | c10 "Sales" | x=6120 "1,234.00"
//   y=720    rule x=6000..7440 width=1
std::string RenderPrinted(const std::vector<printer::DrawCall>& calls);

// Every worksheet of the workbook: its page set-up, column widths, merges and page breaks,
// then one line per cell that holds a value or a border, in row then column order, with
// the value's type, number format, bold, alignment, size and colour when not the default,
// and borders.
//
//   === sheet "Sheet1" landscape ===
//   widths A=30 B=12
//   merge A1:D1
//   row-breaks 41 82
//   A1  text "Budget Comparison" bold center
//   B5  number 1234.5 fmt="#,##0.00" borders=TB
//   B9  formula "=SUM(B5:B8)" =1234.5
std::string RenderWorkbook(const excel::Workbook& book);

// The file a golden name stands for.
std::string GoldenPath(const std::string& name);

// A short line diff between the golden file and text ("- " golden only, "+ " text only,
// with line numbers), or nothing when they agree. A missing file is a difference.
std::optional<std::string> GoldenDifference(const std::string& name, const std::string& text);

// Fails the current test when text differs from the golden file; writes the file instead
// when QVX_UPDATE_GOLDEN=1.
void ExpectGolden(const std::string& name, const std::string& text);

}  // namespace qvx::test
