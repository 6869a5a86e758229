// Display texts of report cells: amounts with fixed decimals, thousands separators, an
// optional dollar sign and brackets for negatives, and whole percentages, right-aligned
// for a proportional font by two spaces for every character short of the column width.
#pragma once

#include <cstdint>
#include <string>

namespace qvx {

// Formats the amount in G.CellText in place, with G.CellDecimals (0: two decimals,
// -1: none), G.CellWidth (0: G.AmtWidth) and G.DollarSign, then resets those three to
// 0. A negative amount sets G.IsNegative True and is shown in brackets. A non-empty
// prefix goes in front of the figures.
void FormatAmount(const std::string& prefix = "");

// The percentage in text rounded to a whole number, padded to width (0 becomes 4, in
// the caller's variable too), with " %" after any value but zero.
void FormatPercent(std::string& text, int16_t& width);

// Appends zeros so that a plain number shows one or two decimals.
void PadDecimals(std::string& text, int decimals);
// Inserts thousands separators into integer parts of 4 to 8 digits; count = commas.
void InsertCommas(std::string& text, int32_t& count);
// With flag set, the first "-" goes and the rest is bracketed: before "(" after ")".
void BracketNegative(std::string& text, bool flag);
// Right-aligns for a proportional font: two spaces per character short of width, two
// more for a bracketed text, one per extra space.
void PadLeftForPrint(std::string& text, int32_t width, int32_t extraSpaces);

}  // namespace qvx
