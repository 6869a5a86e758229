#include "core/NumberFormat.h"

#include "core/Globals.h"
#include "core/Lookups.h"
#include "platform/runtime/Runtime.h"

namespace qvx {

void PadDecimals(std::string& text, int decimals) {
  size_t dot = text.find('.');
  if (dot == std::string::npos) {
    if (decimals == 2) text += ".00";
    else if (decimals == 1) text += ".0";
  } else if (decimals == 2 && text.size() - dot - 1 == 1) {
    text += "0";
  }
}

void InsertCommas(std::string& text, int32_t& count) {
  count = 0;
  bool negative = !text.empty() && text[0] == '-';
  std::string r = negative ? text.substr(1) : text;
  size_t k = r.find('.') != std::string::npos ? 0 : 3;
  // (length with decimals, characters taken) for each possible separator, front first.
  static constexpr std::pair<size_t, size_t> kSteps[] = {{11, 2}, {10, 1}, {9, 3}, {8, 2}, {7, 1}};
  std::string out;
  for (auto [length, take] : kSteps) {
    if (r.size() == length - k) {
      out += r.substr(0, take) + ",";
      r.erase(0, take);
      ++count;
    }
  }
  text = (negative ? "-" : "") + out + r;
}

void BracketNegative(std::string& text, bool flag) {
  size_t p = text.find('-');
  if (!flag || p == std::string::npos) return;
  text = text.substr(0, p) + "(" + text.substr(p + 1) + ")";
}

void PadLeftForPrint(std::string& text, int32_t width, int32_t extraSpaces) {
  text = RTrim(text);
  int64_t shortBy = static_cast<int64_t>(width) - static_cast<int64_t>(text.size());
  size_t spaces = shortBy > 0 ? static_cast<size_t>(shortBy) * 2 : 0;
  if (text.find('(') != std::string::npos) spaces += 2;
  if (extraSpaces > 0) spaces += static_cast<size_t>(extraSpaces);
  text.insert(0, spaces, ' ');
}

void FormatAmount(const std::string& prefix) {
  if (G.CellWidth == 0) G.CellWidth = G.AmtWidth;
  int decimals = G.CellDecimals == 0 ? 2 : G.CellDecimals == -1 ? 0 : G.CellDecimals;
  double amount = Val(G.CellText);
  RoundTo(amount, decimals);
  // Plain text as the run-time library writes a number, but with a zero before the
  // point of a positive fraction (0.5) and none for a negative one (-.5).
  std::string text = DoubleToText(amount);
  if (text.rfind("-0.", 0) == 0) text.erase(1, 1);
  if (decimals > 0) PadDecimals(text, decimals);
  int32_t commas = 0;
  InsertCommas(text, commas);
  if (G.DollarSign) text = text.rfind('-', 0) == 0 ? "-$" + text.substr(1) : "$" + text;
  if (text.rfind('-', 0) == 0) G.IsNegative = kTrue;
  BracketNegative(text, G.IsNegative != 0);
  if (!prefix.empty()) text = prefix + text;
  PadLeftForPrint(text, G.CellWidth, commas);
  G.CellText = text;
  G.CellDecimals = 0;
  G.DollarSign = kFalse;
  G.CellWidth = 0;
}

void FormatPercent(std::string& text, int16_t& width) {
  Money value = Money::FromDouble(Val(text));
  RoundTo(value, 0);
  text = value.ToString();
  if (width == 0) width = 4;
  PadLeftForPrint(text, width, 0);
  if (!value.IsZero()) text += " %";
}

}  // namespace qvx
