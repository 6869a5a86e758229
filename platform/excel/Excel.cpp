#include "platform/excel/Excel.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <xlsxwriter.h>

#include "platform/runtime/Runtime.h"
#include "platform/sys/SafeSave.h"
#include "platform/sys/Sys.h"
#include "platform/ui/Ui.h"

namespace qvx::excel {
namespace fs = std::filesystem;

ExcelEnvironment& Environment() {
  static ExcelEnvironment env;
  return env;
}

// ------------------------------------------------------------------ column letters

std::string ColumnLetters(int column) {
  if (column < 1 || column > kMaxColumns) Raise(err::InvalidCall);
  std::string s;
  while (column > 0) {
    int rem = (column - 1) % 26;
    s.insert(s.begin(), static_cast<char>('A' + rem));
    column = (column - 1) / 26;
  }
  return s;
}

namespace {

// The column of one to three letters, none when they are not a column.
std::optional<int> ColumnOf(std::string_view letters) {
  if (letters.empty() || letters.size() > 3) return std::nullopt;
  int n = 0;
  for (char ch : letters) {
    char u = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (u < 'A' || u > 'Z') return std::nullopt;
    n = n * 26 + (u - 'A' + 1);
  }
  if (n > kMaxColumns) return std::nullopt;
  return n;
}

}  // namespace

int ColumnNumber(const std::string& letters) {
  const std::optional<int> n = ColumnOf(letters);
  if (!n) Raise(err::InvalidCall);
  return *n;
}

namespace {

[[noreturn]] void RaiseObjectError() {
  Raise(err::ApplicationDefined, "Application-defined or object-defined error");
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string TrimBlanks(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

// Reads "1,234.50", "1234", ".5", "1.5E+3": digits with thousands separators in groups
// of three, a decimal part and an exponent. Sets commas and decimals.
bool ParseBody(const std::string& s, double& out, bool& commas, int& decimals) {
  size_t i = 0;
  std::string digits;
  int groupLen = 0;
  bool first = true;
  commas = false;
  while (i < s.size() && (IsDigit(s[i]) || s[i] == ',')) {
    if (s[i] == ',') {
      if ((first && (groupLen < 1 || groupLen > 3)) || (!first && groupLen != 3)) return false;
      commas = true;
      first = false;
      groupLen = 0;
    } else {
      digits += s[i];
      ++groupLen;
    }
    ++i;
  }
  if (commas && groupLen != 3) return false;
  decimals = 0;
  if (i < s.size() && s[i] == '.') {
    digits += '.';
    ++i;
    while (i < s.size() && IsDigit(s[i])) {
      digits += s[i++];
      ++decimals;
    }
  }
  if (digits.empty() || digits == ".") return false;
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
    std::string exp = "e";
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) exp += s[i++];
    if (i >= s.size()) return false;
    while (i < s.size() && IsDigit(s[i])) exp += s[i++];
    digits += exp;
  }
  if (i != s.size()) return false;
  char* end = nullptr;
  out = std::strtod(digits.c_str(), &end);
  return end && *end == '\0' && std::isfinite(out);
}

}  // namespace

TypedValue InterpretTyped(const std::string& text) {
  if (text.empty()) return {std::monostate{}, ""};
  if (text[0] == '\'') return {text.substr(1), ""};
  if (text[0] == '=' && text.size() > 1) return {Formula{text, 0.0}, ""};
  std::string s = TrimBlanks(text);
  TypedValue asText{text, ""};
  if (s.empty()) return asText;
  bool paren = false, negative = false, dollar = false, percent = false;
  if (s.front() == '(' && s.back() == ')') {
    paren = true;
    s = TrimBlanks(s.substr(1, s.size() - 2));
  }
  auto takeSign = [&] {
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
      if (paren) return false;
      negative = s[0] == '-';
      s.erase(0, 1);
    }
    return true;
  };
  if (!takeSign()) return asText;
  if (!s.empty() && s[0] == '$') {
    dollar = true;
    s.erase(0, 1);
    if (!negative && !takeSign()) return asText;
  }
  if (!s.empty() && s.back() == '%') {
    percent = true;
    s = TrimBlanks(s.substr(0, s.size() - 1));
  }
  if (dollar && percent) return asText;
  double v = 0;
  bool commas = false;
  int decimals = 0;
  if (!ParseBody(s, v, commas, decimals)) return asText;
  if (paren || negative) v = -v;
  if (percent) v /= 100.0;
  std::string fmt;
  const std::string dec = decimals > 0 ? ".00" : "";
  if (percent) {
    fmt = "0" + dec + "%";
  } else if (dollar) {
    fmt = "$#,##0" + dec;
    if (paren) fmt = fmt + "_);(" + fmt + ")";
  } else if (commas || paren) {
    fmt = "#,##0" + dec;
    if (paren) fmt = fmt + "_);(" + fmt + ")";
  }
  return {v, fmt};
}

// ------------------------------------------------------------------ Range

Range::Range(Worksheet& sheet, int r1, int c1, int r2, int c2)
    : s_(sheet), r1_(std::min(r1, r2)), c1_(std::min(c1, c2)), r2_(std::max(r1, r2)), c2_(std::max(c1, c2)) {
  if (r1_ < 1 || r2_ > kMaxRows || c1_ < 1 || c2_ > kMaxColumns) RaiseObjectError();
}

std::string Range::Address() const {
  std::string a = ColumnLetters(c1_) + std::to_string(r1_);
  if (r1_ == r2_ && c1_ == c2_) return a;
  return a + ":" + ColumnLetters(c2_) + std::to_string(r2_);
}


void Range::SetValue(const std::string& text) {
  for (int r = r1_; r <= r2_; ++r)
    for (int c = c1_; c <= c2_; ++c) {
      TypedValue t = InterpretTyped(text);
      Cell& cell = s_.At(r, c);
      if (!t.numberFormat.empty() && cell.style.numberFormat.empty()) cell.style.numberFormat = t.numberFormat;
      s_.Put(r, c, std::move(t.value));
    }
}

void Range::SetText(const std::string& text) {
  for (int r = r1_; r <= r2_; ++r)
    for (int c = c1_; c <= c2_; ++c) s_.Put(r, c, text.empty() ? CellValue{} : CellValue{text});
}

void Range::SetValue(double number) {
  if (!std::isfinite(number)) Raise(err::Overflow);
  for (int r = r1_; r <= r2_; ++r)
    for (int c = c1_; c <= c2_; ++c) s_.Put(r, c, number);
}

void Range::ClearContents() {
  for (int r = r1_; r <= r2_; ++r)
    for (int c = c1_; c <= c2_; ++c)
      if (s_.Find(r, c)) s_.Put(r, c, std::monostate{});
}

void Range::SetFormula(const std::string& formula) {
  if (formula.empty() || formula[0] != '=') {
    SetValue(formula);
    return;
  }
  for (int r = r1_; r <= r2_; ++r)
    for (int c = c1_; c <= c2_; ++c) s_.Put(r, c, Formula{formula, 0.0});
}

const CellValue& Range::Value() const {
  static const CellValue kEmpty;
  const Cell* c = s_.Find(r1_, c1_);
  return c ? c->value : kEmpty;
}

std::string Range::Text() const {
  const CellValue& v = Value();
  if (auto* d = std::get_if<double>(&v)) return DoubleToText(*d);
  if (auto* s = std::get_if<std::string>(&v)) return *s;
  if (auto* f = std::get_if<Formula>(&v)) return f->text;
  return "";
}

void Range::SetHorizontalAlignment(int alignment) {
  if (alignment != xlCenter && alignment != xlRight && alignment != xlLeft && alignment != xlGeneral)
    RaiseObjectError();
  s_.Each(r1_, c1_, r2_, c2_, [&](Cell& cell, int, int) { cell.style.horizontalAlignment = alignment; });
}

int Range::HorizontalAlignment() const { return s_.StyleAt(r1_, c1_).horizontalAlignment; }

void Range::SetNumberFormat(const std::string& format) {
  const std::string f = format == "General" ? "" : format;
  s_.Each(r1_, c1_, r2_, c2_, [&](Cell& cell, int, int) { cell.style.numberFormat = f; });
}

std::string Range::NumberFormat() const {
  const std::string& f = s_.StyleAt(r1_, c1_).numberFormat;
  return f.empty() ? "General" : f;
}

void Range::Merge() {
  if (r1_ == r2_ && c1_ == c2_) return;
  auto& m = s_.merged_;
  // Merging over an existing merged area takes that area in.
  m.erase(std::remove_if(m.begin(), m.end(),
                         [&](const Worksheet::Merged& a) {
                           return !(a.r2 < r1_ || a.r1 > r2_ || a.c2 < c1_ || a.c1 > c2_);
                         }),
          m.end());
  m.push_back({r1_, c1_, r2_, c2_});
  // Only the top-left cell keeps its value, as in the spreadsheet program.
  for (int r = r1_; r <= r2_; ++r)
    for (int c = c1_; c <= c2_; ++c)
      if ((r != r1_ || c != c1_) && s_.Find(r, c)) s_.Put(r, c, std::monostate{});
}

void Range::SetColumnWidth(double width) {
  if (width < 0 || width > 255) RaiseObjectError();
  for (int c = c1_; c <= c2_; ++c) s_.widths_[c] = width;
}

void Range::Select() { s_.selection_ = {r1_, c1_}; }

void RangeFont::SetBold(bool bold) {
  s_.Each(r1_, c1_, r2_, c2_, [&](Cell& cell, int, int) { cell.style.bold = bold; });
}
void RangeFont::SetSize(double size) {
  if (size < 1 || size > 409) RaiseObjectError();
  s_.Each(r1_, c1_, r2_, c2_, [&](Cell& cell, int, int) { cell.style.size = size; });
}
void RangeFont::SetColor(uint32_t color) {
  if (color > 0xFFFFFF) RaiseObjectError();
  s_.Each(r1_, c1_, r2_, c2_, [&](Cell& cell, int, int) { cell.style.color = color; });
}
bool RangeFont::Bold() const { return s_.StyleAt(r1_, c1_).bold; }
double RangeFont::Size() const { return s_.StyleAt(r1_, c1_).size; }
uint32_t RangeFont::Color() const { return s_.StyleAt(r1_, c1_).color; }

void RangeBorder::SetLineStyle(int style) {
  if (style != xlContinuous && style != xlLineStyleNone) RaiseObjectError();
  const bool on = style == xlContinuous;
  auto apply = [&](Cell& cell, int r, int c) {
    switch (index_) {
      case xlEdgeTop: if (r == r1_) cell.style.borderTop = on; break;
      case xlEdgeBottom: if (r == r2_) cell.style.borderBottom = on; break;
      case xlEdgeLeft: if (c == c1_) cell.style.borderLeft = on; break;
      case xlEdgeRight: if (c == c2_) cell.style.borderRight = on; break;
      case xlInsideHorizontal: if (r < r2_) cell.style.borderBottom = on; break;
      case xlInsideVertical: if (c < c2_) cell.style.borderRight = on; break;
      default: break;
    }
  };
  if (index_ < xlEdgeLeft || index_ > xlInsideHorizontal) RaiseObjectError();
  // Only the cells along the edge are touched.
  switch (index_) {
    case xlEdgeTop: s_.Each(r1_, c1_, r1_, c2_, apply); break;
    case xlEdgeBottom: s_.Each(r2_, c1_, r2_, c2_, apply); break;
    case xlEdgeLeft: s_.Each(r1_, c1_, r2_, c1_, apply); break;
    case xlEdgeRight: s_.Each(r1_, c2_, r2_, c2_, apply); break;
    default: s_.Each(r1_, c1_, r2_, c2_, apply); break;
  }
}


// ------------------------------------------------------------------ Worksheet

Worksheet::Worksheet(std::string name) : name_(std::move(name)) {}

Range Worksheet::Cells(int row, int column) { return Range(*this, row, column, row, column); }

namespace {
// One end of an address: "B12", "$B$12", "B" (column only) or "12" (row only).
struct Ref {
  int row = 0, col = 0;
};
bool ParseRef(std::string_view text, Ref& ref) {
  size_t i = 0;
  if (i < text.size() && text[i] == '$') ++i;
  const size_t lettersAt = i;
  while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i]))) ++i;
  const std::string_view letters = text.substr(lettersAt, i - lettersAt);
  if (i < text.size() && text[i] == '$') ++i;
  const size_t digitsAt = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  const std::string_view digits = text.substr(digitsAt, i - digitsAt);
  if (i != text.size() || (letters.empty() && digits.empty()) || digits.size() > 7) return false;
  const std::optional<int> col = letters.empty() ? 0 : ColumnOf(letters);
  if (!col) return false;
  ref.col = *col;
  ref.row = 0;
  for (char d : digits) ref.row = ref.row * 10 + (d - '0');
  return true;
}

// The row and column of the first cell a formula refers to ("=SUM(B12:M12)" gives B12):
// the first run of letters and digits outside quotes that is a cell address and not the
// name of a function.
std::optional<std::pair<int, int>> FirstReference(const std::string& formula) {
  bool quoted = false;
  size_t i = 0;
  while (i < formula.size()) {
    const char ch = formula[i];
    if (ch == '"') quoted = !quoted;
    const bool word = std::isalnum(static_cast<unsigned char>(ch)) || ch == '$' || ch == '_' || ch == '.';
    if (quoted || !word) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < formula.size() && (std::isalnum(static_cast<unsigned char>(formula[end])) || formula[end] == '$' ||
                                    formula[end] == '_' || formula[end] == '.'))
      ++end;
    Ref ref;
    const bool function = end < formula.size() && formula[end] == '(';
    if (!function && ParseRef(formula.substr(i, end - i), ref) && ref.row > 0 && ref.col > 0)
      return std::make_pair(ref.row, ref.col);
    i = end;
  }
  return std::nullopt;
}
}  // namespace

Range Worksheet::GetRange(const std::string& address) {
  std::string a;
  for (char ch : address)
    if (ch != ' ') a += ch;
  const size_t colon = a.find(':');
  Ref p, q;
  if (!ParseRef(a.substr(0, colon), p)) RaiseObjectError();
  if (colon == std::string::npos) {
    if (p.row == 0 || p.col == 0) RaiseObjectError();
    return Cells(p.row, p.col);
  }
  if (!ParseRef(a.substr(colon + 1), q)) RaiseObjectError();
  const bool wholeCols = p.row == 0 && q.row == 0 && p.col && q.col;
  const bool wholeRows = p.col == 0 && q.col == 0 && p.row && q.row;
  if (wholeCols) return Range(*this, 1, p.col, kMaxRows, q.col);
  if (wholeRows) return Range(*this, p.row, 1, q.row, kMaxColumns);
  if (!p.row || !p.col || !q.row || !q.col) RaiseObjectError();
  return Range(*this, p.row, p.col, q.row, q.col);
}

Range Worksheet::GetRange(const Range& first, const Range& last) {
  return Range(*this, std::min(first.Row(), last.Row()), std::min(first.Column(), last.Column()),
               std::max(first.LastRow(), last.LastRow()), std::max(first.LastColumn(), last.LastColumn()));
}

Range Worksheet::Columns(const std::string& letters) {
  const size_t colon = letters.find(':');
  const int c1 = ColumnNumber(letters.substr(0, colon));
  const int c2 = colon == std::string::npos ? c1 : ColumnNumber(letters.substr(colon + 1));
  return Range(*this, 1, c1, kMaxRows, c2);
}

Range Worksheet::Rows(int row) { return Range(*this, row, 1, row, kMaxColumns); }

void Worksheet::ResetAllPageBreaks() {
  hBreaks_.Clear();
  vBreaks_.Clear();
}

void PageBreaks::Add(const Range& before) {
  const int pos = vertical_ ? before.Column() : before.Row();
  if (pos <= 1) RaiseObjectError();  // nothing lies before the first row or column
  if (std::find(positions_.begin(), positions_.end(), pos) == positions_.end()) positions_.push_back(pos);
  std::sort(positions_.begin(), positions_.end());
}

const Cell* Worksheet::Find(int row, int column) const {
  auto it = cells_.find(Key(row, column));
  return it == cells_.end() ? nullptr : &it->second;
}

Cell& Worksheet::At(int row, int column) { return cells_[Key(row, column)]; }

const CellStyle& Worksheet::StyleAt(int row, int column) const {
  static const CellStyle kDefault;
  const Cell* c = Find(row, column);
  return c ? c->style : kDefault;
}

void Worksheet::Put(int row, int column, CellValue value) {
  Cell& cell = At(row, column);
  if (auto* f = std::get_if<Formula>(&value)) {
    f->cached = Evaluate(f->text);
    // As the spreadsheet program does on entry: a General cell shows a formula's result
    // in the number format of the first cell the formula refers to.
    if (cell.style.numberFormat.empty()) {
      if (const std::optional<std::pair<int, int>> ref = FirstReference(f->text))
        cell.style.numberFormat = StyleAt(ref->first, ref->second).numberFormat;
    }
  }
  cell.value = std::move(value);
}

// Style changes on a huge range (whole columns) touch only the cells that exist, so that
// formatting a column does not create a million cells.
template <typename F>
void Worksheet::Each(int r1, int c1, int r2, int c2, F f) {
  constexpr int64_t kDenseLimit = 200000;
  const int64_t count = static_cast<int64_t>(r2 - r1 + 1) * (c2 - c1 + 1);
  if (count <= kDenseLimit) {
    for (int r = r1; r <= r2; ++r)
      for (int c = c1; c <= c2; ++c) f(At(r, c), r, c);
    return;
  }
  for (auto& [key, cell] : cells_) {
    const int r = static_cast<int>(key / (kMaxColumns + 1));
    const int c = static_cast<int>(key % (kMaxColumns + 1));
    if (r >= r1 && r <= r2 && c >= c1 && c <= c2) f(cell, r, c);
  }
}

void Worksheet::Recalculate() {
  for (auto& [key, cell] : cells_)
    if (auto* f = std::get_if<Formula>(&cell.value)) f->cached = Evaluate(f->text);
}

int Worksheet::UsedRows() const {
  int rows = 0;
  for (auto& [key, cell] : cells_)
    if (!std::holds_alternative<std::monostate>(cell.value)) rows = static_cast<int>(key / (kMaxColumns + 1));
  return rows;
}

// Works out what the layer can of a formula, so that the file carries a sensible result
// for readers that do not recalculate: sums and single references of cells, and numbers.
// Anything else gives 0 (the spreadsheet program recalculates on opening).
double Worksheet::Evaluate(const std::string& formula) const {
  std::string upper;
  upper.reserve(formula.size());
  for (char ch : formula)
    if (ch != ' ') upper += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  if (upper.empty() || upper[0] != '=') return 0.0;
  const std::string_view f = std::string_view(upper).substr(1);
  auto numberOf = [](const Cell& cell) -> double {
    if (auto* d = std::get_if<double>(&cell.value)) return *d;
    if (auto* fo = std::get_if<Formula>(&cell.value)) return fo->cached;
    return 0.0;
  };
  auto numberAt = [&](int r, int c) -> double {
    const Cell* cell = Find(r, c);
    return cell ? numberOf(*cell) : 0.0;
  };
  auto term = [&](std::string_view t, bool& ok) -> double {
    const size_t colon = t.find(':');
    Ref p, q;
    if (colon == std::string::npos) {
      if (ParseRef(t, p) && p.row && p.col) return numberAt(p.row, p.col);
      const std::string number(t);
      char* end = nullptr;
      double v = std::strtod(number.c_str(), &end);
      ok = ok && end && *end == '\0' && !t.empty();
      return v;
    }
    if (!ParseRef(t.substr(0, colon), p) || !ParseRef(t.substr(colon + 1), q) || !p.row || !p.col || !q.row ||
        !q.col) {
      ok = false;
      return 0.0;
    }
    const int r1 = std::min(p.row, q.row), r2 = std::max(p.row, q.row);
    const int c1 = std::min(p.col, q.col), c2 = std::max(p.col, q.col);
    double sum = 0;
    auto it = cells_.lower_bound(Key(r1, c1));
    while (it != cells_.end() && it->first <= Key(r2, c2)) {
      const int r = static_cast<int>(it->first / (kMaxColumns + 1));
      const int c = static_cast<int>(it->first % (kMaxColumns + 1));
      if (c < c1) {
        it = cells_.lower_bound(Key(r, c1));
      } else if (c > c2) {
        it = cells_.lower_bound(Key(r + 1, c1));
      } else {
        sum += numberOf(it->second);
        ++it;
      }
    }
    return sum;
  };
  bool ok = true;
  if (f.substr(0, 4) == "SUM(" && f.back() == ')') {
    const std::string_view args = f.substr(4, f.size() - 5);
    double sum = 0;
    size_t start = 0;
    while (start <= args.size()) {
      size_t comma = args.find(',', start);
      if (comma == std::string::npos) comma = args.size();
      sum += term(args.substr(start, comma - start), ok);
      start = comma + 1;
    }
    return ok ? sum : 0.0;
  }
  double v = term(f, ok);
  return ok ? v : 0.0;
}

// ------------------------------------------------------------------ shown numbers and column widths

namespace {

// A number format's sections (positive; negative; zero; text), split at the semicolons
// outside quotes and escapes.
std::vector<std::string> FormatSections(const std::string& format) {
  std::vector<std::string> sections(1);
  bool quoted = false;
  for (size_t i = 0; i < format.size(); ++i) {
    const char ch = format[i];
    if (ch == '"') quoted = !quoted;
    if (!quoted && (ch == '\\' || ch == '_' || ch == '*') && i + 1 < format.size()) {
      sections.back() += format.substr(i, 2);
      ++i;
      continue;
    }
    if (!quoted && ch == ';')
      sections.emplace_back();
    else
      sections.back() += ch;
  }
  return sections;
}

bool IsPlaceholder(char ch) { return ch == '0' || ch == '#' || ch == '?'; }

bool IsGeneralAt(const std::string& section, size_t i) {
  const char ch = section[i];
  return (ch == 'G' || ch == 'g') && LCase(section.substr(i, 7)) == "general";
}

// A whole number below 10^15 written as printf writes it with no decimals: its digits
// alone. A report's figures mostly are such numbers, and this is a fraction of the cost of
// converting them as any double; null for any other number.
char* WholeNumber(char* out, double value) {
  if (!(std::fabs(value) < 1e15) || value != std::floor(value)) return nullptr;
  return std::to_chars(out, out + 24, static_cast<int64_t>(value)).ptr;
}

// The digits of a magnitude with decimals places, at least minInt integer digits and,
// when grouped, thousands separators.
std::string Digits(double magnitude, int decimals, int minInt, bool grouped) {
  // The same digits as printf's "%.*f", without its cost in every cell of a big sheet.
  char buf[400];
  char* end = decimals <= 30 ? WholeNumber(buf, magnitude) : nullptr;
  if (end) {
    if (decimals > 0) *end++ = '.';
    end = std::fill_n(end, decimals, '0');
  } else {
    const auto [last, error] = std::to_chars(buf, buf + sizeof buf - 1, magnitude, std::chars_format::fixed, decimals);
    if (error == std::errc())
      *last = '\0';
    else
      std::snprintf(buf, sizeof buf, "%.*f", decimals, magnitude);
    end = buf + std::strlen(buf);
  }
  const char* point = std::find(buf, end, '.');
  std::string_view whole(buf, static_cast<size_t>(point - buf));
  if (whole == "0" && minInt == 0) whole = {};
  const size_t least = static_cast<size_t>(std::max(minInt, 0));
  const size_t zeros = least > whole.size() ? least - whole.size() : 0;
  const size_t digits = zeros + whole.size();
  std::string out;
  out.reserve(digits + digits / 3 + static_cast<size_t>(end - point));
  for (size_t i = 0; i < digits; ++i) {
    if (grouped && i > 0 && (digits - i) % 3 == 0) out += ',';
    out += i < zeros ? '0' : whole[i - zeros];
  }
  out.append(point, static_cast<size_t>(end - point));
  return out;
}

// The text of a General cell: as many digits as a standard column shows (eleven
// characters, beyond which the spreadsheet program shows fewer digits, never "###"), of
// the run-time library's text of the number: printf's "%.15G", 0 without a sign.
std::string GeneralText(double value) {
  if (value == 0) return "0";
  // The same text as printf's, without its cost in every cell of a big sheet.
  char buf[32];
  char* end = WholeNumber(buf, value);
  if (!end) {
    const auto [last, error] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    if (error != std::errc() || !std::isfinite(value)) return DoubleToText(value).substr(0, 11);
    std::replace(buf, last, 'e', 'E');
    end = last;
  }
  return std::string(buf, static_cast<size_t>(std::min<std::ptrdiff_t>(end - buf, 11)));
}

// One section of a number format, read once for any number of cells: how its digits show
// and, in order, what shows around them.
struct FormatSection {
  // What a section shows, in order: its own text, the number's digits, a General number,
  // or padding as wide as a character (a blank when shown, the character when measured).
  struct Piece {
    enum Kind { Text, Number, General, Pad } kind;
    std::string text;
  };
  bool general = false;  // an empty section: the number as General
  int decimals = 0, minInt = 0, scale = 0;
  bool grouped = false, percent = false;
  std::vector<Piece> pieces;

  explicit FormatSection(const std::string& section) {
    general = section.empty();
    // The digit placeholders: decimals, the least integer digits, grouping; a percent sign
    // shows a hundredfold number.
    bool afterPoint = false, quoted = false;
    for (size_t i = 0; i < section.size(); ++i) {
      const char ch = section[i];
      if (ch == '"') quoted = !quoted;
      if (quoted) continue;
      if (ch == '\\' || ch == '_' || ch == '*') {
        ++i;
      } else if (IsGeneralAt(section, i)) {
        i += 6;
      } else if (ch == '[') {
        i = std::min(section.find(']', i), section.size());
      } else if (ch == '%') {
        percent = true;
      } else if (ch == '.') {
        afterPoint = true;
      } else if (IsPlaceholder(ch)) {
        if (afterPoint) ++decimals;
        else if (ch == '0') ++minInt;
      } else if (ch == ',') {
        // A comma between placeholders groups thousands; one after the last divides by 1,000.
        const size_t next = section.find_first_not_of(',', i);
        if (next != std::string::npos && IsPlaceholder(section[next]) && !afterPoint) grouped = true;
        else if (next == std::string::npos || !IsPlaceholder(section[next])) ++scale;
      }
    }
    auto text = [&](char ch) {
      if (pieces.empty() || pieces.back().kind != Piece::Text) pieces.push_back({Piece::Text, {}});
      pieces.back().text += ch;
    };
    bool placed = false;
    quoted = false;
    for (size_t i = 0; i < section.size(); ++i) {
      const char ch = section[i];
      if (ch == '"') {
        quoted = !quoted;
      } else if (quoted) {
        text(ch);
      } else if (IsGeneralAt(section, i)) {
        pieces.push_back({Piece::General, {}});
        i += 6;
      } else if (ch == '\\' && i + 1 < section.size()) {
        text(section[++i]);
      } else if (ch == '_' && i + 1 < section.size()) {
        pieces.push_back({Piece::Pad, std::string(1, section[++i])});
      } else if (ch == '*') {
        ++i;  // a fill takes the room left over, none when the column is just wide enough
      } else if (ch == '[') {
        i = std::min(section.find(']', i), section.size());
      } else if (IsPlaceholder(ch) || ch == '.' || ch == ',') {
        if (!placed) pieces.push_back({Piece::Number, {}});
        placed = true;
      } else if (ch != '@') {
        text(ch);
      }
    }
  }

  // A number in this section, its sign left to the caller. With padding as blanks (shown)
  // or as the characters they stand for (measured).
  std::string Shown(double magnitude, bool measured) const {
    if (general) return GeneralText(magnitude);
    double v = magnitude * (percent ? 100.0 : 1.0);
    for (int k = 0; k < scale; ++k) v /= 1000.0;
    std::string out;
    for (const Piece& p : pieces) {
      switch (p.kind) {
        case Piece::Text: out += p.text; break;
        case Piece::Number: out += Digits(v, decimals, minInt, grouped); break;
        case Piece::General: out += GeneralText(magnitude); break;
        case Piece::Pad: out += measured ? p.text : " "; break;
      }
    }
    return out;
  }
};

// A number format read once: its sections in order.
struct ParsedFormat {
  std::vector<FormatSection> sections;

  explicit ParsedFormat(const std::string& format) {
    for (const std::string& section : FormatSections(format)) sections.emplace_back(section);
  }

  std::string Shown(double value, bool measured) const {
    if (value < 0 && sections.size() >= 2) return sections[1].Shown(-value, measured);
    if (value == 0 && sections.size() >= 3) return sections[2].Shown(0, measured);
    const std::string text = sections[0].Shown(std::fabs(value), measured);
    // A negative number in a format without a section of its own takes a minus sign,
    // unless it rounds to nothing shown.
    const bool shownNegative = value < 0 && text.find_first_of("123456789") != std::string::npos;
    return shownNegative ? "-" + text : text;
  }
};

// The advance widths of the standard font (11 points, the widths of Calibri), regular and
// bold, in 2048ths of its size, of the characters that numbers show.
double Advance(char ch, bool bold) {
  if (ch >= '0' && ch <= '9') return 1038;
  switch (ch) {
    case '$': return 1038;
    case ' ': return 463;
    case ',': return bold ? 528 : 511;
    case '.': return bold ? 547 : 517;
    case '(': case ')': return bold ? 638 : 621;
    case '-': return 627;
    case '+': return 1020;
    case 'E': return 1000;
    case '%': return bold ? 1493 : 1464;
    default: return 1300;  // wider than most letters
  }
}

// The width a number of a cell takes in its format and font (bold and size of the style).
double WidthFor(double value, const ParsedFormat& format, const CellStyle& style) {
  double advance = 0;
  for (char ch : format.Shown(value, true)) advance += Advance(ch, style.bold);
  // A column of width w is 7w + 5 pixels at 96 dots an inch: w digits of the standard font
  // (7 pixels each, as the spreadsheet program rounds them) and 5 pixels of margins. The
  // text drawn as its font is designed (a digit 7.43 pixels) fits between the margins: the
  // spreadsheet program draws digits narrower, the other one lets a text use the margins.
  const double pixels = advance / 2048.0 * style.size * 96.0 / 72.0;
  return pixels / 7.0;
}

}  // namespace

std::string NumberText(double value, const std::string& numberFormat) {
  return ParsedFormat(numberFormat).Shown(value, false);
}

double ColumnWidthFor(double value, const CellStyle& style) {
  return WidthFor(value, ParsedFormat(style.numberFormat), style);
}

void Range::WidenForNumbers() {
  // The widest figure of each column of the range, by column from c1_.
  std::vector<double> needed(static_cast<size_t>(c2_ - c1_ + 1), 0.0);
  // A report's cells share a handful of formats: each is read once, and the one of the
  // cell before is tried first.
  std::map<std::string, ParsedFormat, std::less<>> formats;
  const std::pair<const std::string, ParsedFormat>* last = nullptr;
  for (auto it = s_.cells_.lower_bound(Worksheet::Key(r1_, c1_)); it != s_.cells_.end(); ++it) {
    const auto& [key, cell] = *it;
    const int r = static_cast<int>(key / (kMaxColumns + 1)), c = static_cast<int>(key % (kMaxColumns + 1));
    if (r > r2_) break;
    if (c < c1_ || c > c2_) continue;
    double value = 0;
    if (const auto* d = std::get_if<double>(&cell.value))
      value = *d;
    else if (const auto* f = std::get_if<Formula>(&cell.value))
      value = s_.Evaluate(f->text);  // as it will be saved, whatever changed since it was put
    else
      continue;
    if (!last || last->first != cell.style.numberFormat) {
      auto format = formats.find(cell.style.numberFormat);
      if (format == formats.end())
        format = formats.emplace(cell.style.numberFormat, ParsedFormat(cell.style.numberFormat)).first;
      last = &*format;
    }
    double& widest = needed[static_cast<size_t>(c - c1_)];
    widest = std::max(widest, WidthFor(value, last->second, cell.style));
  }
  for (int c = c1_; c <= c2_; ++c) {
    const double width = needed[static_cast<size_t>(c - c1_)];
    if (width == 0) continue;
    const auto set = s_.widths_.find(c);
    const double current = set == s_.widths_.end() ? kStandardColumnWidth : set->second;
    if (width > current) s_.widths_[c] = std::min(std::ceil(width), 255.0);
  }
}

// ------------------------------------------------------------------ Workbook

Workbook::Workbook() { sheets_.push_back(std::make_shared<Worksheet>("Sheet1")); }

Worksheet& Workbook::Worksheets(int index) { return *SheetPtr(index); }

std::shared_ptr<Worksheet> Workbook::SheetPtr(int index) {
  if (closed_ || index < 1 || index > static_cast<int>(sheets_.size())) Raise(err::SubscriptOutOfRange);
  return sheets_[static_cast<size_t>(index - 1)];
}

void Workbook::Close() {
  closed_ = true;
  sheets_.clear();
}

namespace {

lxw_color_t ToLxwColor(uint32_t objectModelColor) {
  const uint32_t r = objectModelColor & 0xFF, g = (objectModelColor >> 8) & 0xFF, b = (objectModelColor >> 16) & 0xFF;
  return (r << 16) | (g << 8) | b;
}

constexpr double kDefaultSize = CellStyle{}.size;

// Formats of one workbook being written, one per distinct cell style.
class FormatCache {
 public:
  explicit FormatCache(lxw_workbook* wb) : wb_(wb) {}
  lxw_format* Get(const CellStyle& s) {
    if (s == CellStyle{}) return nullptr;
    std::string key = std::to_string(s.bold) + "|" + std::to_string(s.size) + "|" + std::to_string(s.color) + "|" +
                      std::to_string(s.horizontalAlignment) + "|" + s.numberFormat + "|" +
                      std::to_string(s.borderTop) + std::to_string(s.borderBottom) +
                      std::to_string(s.borderLeft) + std::to_string(s.borderRight);
    auto it = formats_.find(key);
    if (it != formats_.end()) return it->second;
    lxw_format* f = workbook_add_format(wb_);
    if (s.bold) format_set_bold(f);
    if (s.size != kDefaultSize) format_set_font_size(f, s.size);
    if (s.color != 0) format_set_font_color(f, ToLxwColor(s.color));
    switch (s.horizontalAlignment) {
      case xlCenter: format_set_align(f, LXW_ALIGN_CENTER); break;
      case xlRight: format_set_align(f, LXW_ALIGN_RIGHT); break;
      case xlLeft: format_set_align(f, LXW_ALIGN_LEFT); break;
      default: break;
    }
    if (!s.numberFormat.empty()) format_set_num_format(f, s.numberFormat.c_str());
    if (s.borderTop) format_set_top(f, LXW_BORDER_THIN);
    if (s.borderBottom) format_set_bottom(f, LXW_BORDER_THIN);
    if (s.borderLeft) format_set_left(f, LXW_BORDER_THIN);
    if (s.borderRight) format_set_right(f, LXW_BORDER_THIN);
    formats_.emplace(key, f);
    return f;
  }

 private:
  lxw_workbook* wb_;
  std::map<std::string, lxw_format*> formats_;
};

// Text as the workbook's XML can hold it: UTF-8 (bytes that are not are read as
// Windows-1252, the code page such text comes from), without the characters XML 1.0
// cannot carry (control characters other than tab, CR and LF, U+FFFE and U+FFFF), and
// at most maxChars characters. A spreadsheet program refuses a file with any of these.
std::string XmlText(std::string_view text, size_t maxChars = std::string::npos) {
  const std::string decoded = sys::IsUtf8(text) ? std::string(text) : sys::FromCp1252(text);
  std::string out;
  out.reserve(decoded.size());
  size_t chars = 0;
  for (size_t i = 0; i < decoded.size() && chars < maxChars;) {
    const char32_t cp = sys::NextCodePoint(decoded, i);
    const bool allowed = cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp != 0xFFFE && cp != 0xFFFF);
    if (!allowed) continue;
    sys::AppendUtf8(out, cp);
    ++chars;
  }
  return out;
}

void WriteSheet(lxw_workbook* wb, Worksheet& sheet) {
  lxw_worksheet* ws = workbook_add_worksheet(wb, XmlText(sheet.Name()).c_str());
  if (!ws) Raise(err::ApplicationDefined, "The worksheet " + sheet.Name() + " could not be written.");
  FormatCache formats(wb);
  for (auto& m : sheet.MergedAreas()) {
    const Cell* first = sheet.Find(m.r1, m.c1);
    lxw_format* f = formats.Get(first ? first->style : CellStyle{});
    worksheet_merge_range(ws, static_cast<lxw_row_t>(m.r1 - 1), static_cast<lxw_col_t>(m.c1 - 1),
                          static_cast<lxw_row_t>(m.r2 - 1), static_cast<lxw_col_t>(m.c2 - 1), "", f);
  }
  for (auto& [key, cell] : sheet.AllCells()) {
    const auto r = static_cast<lxw_row_t>(key / (kMaxColumns + 1) - 1);
    const auto c = static_cast<lxw_col_t>(key % (kMaxColumns + 1) - 1);
    lxw_format* f = formats.Get(cell.style);
    if (auto* d = std::get_if<double>(&cell.value)) {
      worksheet_write_number(ws, r, c, *d, f);
    } else if (auto* s = std::get_if<std::string>(&cell.value)) {
      // A cell holds at most 32,767 characters.
      worksheet_write_string(ws, r, c, XmlText(*s, 32767).c_str(), f);
    } else if (auto* fo = std::get_if<Formula>(&cell.value)) {
      worksheet_write_formula_num(ws, r, c, XmlText(fo->text).c_str(), f, fo->cached);
    } else if (f) {
      worksheet_write_blank(ws, r, c, f);
    }
  }
  for (auto& [col, width] : sheet.ColumnWidths())
    worksheet_set_column(ws, static_cast<lxw_col_t>(col - 1), static_cast<lxw_col_t>(col - 1), width, nullptr);
  if (sheet.PageSetup().Orientation == xlLandscape)
    worksheet_set_landscape(ws);
  else
    worksheet_set_portrait(ws);
  std::vector<lxw_row_t> rows;
  for (int p : sheet.HPageBreaks().Positions()) rows.push_back(static_cast<lxw_row_t>(p - 1));
  if (!rows.empty()) {
    rows.push_back(0);
    worksheet_set_h_pagebreaks(ws, rows.data());
  }
  std::vector<lxw_col_t> cols;
  for (int p : sheet.VPageBreaks().Positions()) cols.push_back(static_cast<lxw_col_t>(p - 1));
  if (!cols.empty()) {
    cols.push_back(0);
    worksheet_set_v_pagebreaks(ws, cols.data());
  }
  auto [sr, sc] = sheet.Selection();
  worksheet_set_selection(ws, static_cast<lxw_row_t>(sr - 1), static_cast<lxw_col_t>(sc - 1),
                          static_cast<lxw_row_t>(sr - 1), static_cast<lxw_col_t>(sc - 1));
}

}  // namespace

void Workbook::SaveAs(const std::string& path) {
  if (closed_) Raise(err::ObjectNotSet);
  if (path.empty()) Raise(err::ApplicationDefined, "Method 'SaveAs' of object '_Workbook' failed");
  const fs::path target(path);
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) Raise(err::PathNotFound, "The folder " + folder.string() + " does not exist.");
  if (fs::is_directory(target, ec)) Raise(err::PathFileAccess, path + " is a folder, not a file.");
  // A link or a pipe at the name is refused before anyone is asked whether to replace it.
  if (const auto refusal = sys::RefusalOfTarget(path)) Raise(err::PathFileAccess, *refusal);
  if (fs::exists(target, ec)) {
    if (::access(path.c_str(), W_OK) != 0)
      Raise(err::PathFileAccess, "The file " + path + " is read-only and cannot be replaced.");
    const ui::Answer a = ui::MsgBox("A file named '" + path +
                                        "' already exists in this location. Do you want to replace it?",
                                    ui::Buttons::YesNo, ui::Icon::Exclamation);
    if (a != ui::Answer::Yes) Raise(err::ApplicationDefined, "Method 'SaveAs' of object '_Workbook' failed");
  }
  for (auto& s : sheets_) s->Recalculate();
  sys::ScratchFile tmp(path);
  // The library takes only a file name: the one that opens the scratch file itself again,
  // never a name in the target's folder that someone else could change meanwhile.
  lxw_workbook* wb = workbook_new(tmp.DescriptorPath().c_str());
  if (!wb) Raise(err::PathFileAccess, "The workbook could not be written to " + folder.string() + ".");
  lxw_error result = LXW_NO_ERROR;
  try {
    for (auto& s : sheets_) WriteSheet(wb, *s);
  } catch (...) {
    workbook_close(wb);
    throw;
  }
  errno = 0;
  result = workbook_close(wb);
  // A write the system refused (a full disk) is told by the system's own reason.
  const int writeError = errno;
  if (result == LXW_ERROR_ZIP_FILE_OPERATION && writeError != 0)
    Raise(err::PathFileAccess, std::string("The workbook could not be written: ") + std::strerror(writeError));
  if (result != LXW_NO_ERROR)
    Raise(err::PathFileAccess, std::string("The workbook could not be written: ") + lxw_strerror(result));
  tmp.Commit();
  fullName_ = path;
}

// ------------------------------------------------------------------ Application

std::shared_ptr<Application> Application::Create() {
  if (Environment().createFailure != 0) Raise(Environment().createFailure);
  ++Environment().running;
  return std::make_shared<Application>();
}

std::shared_ptr<Workbook> Application::AddWorkbook() {
  if (quitted_) Raise(err::ObjectNotSet);
  books_.push_back(std::make_shared<Workbook>());
  return books_.back();
}

void Application::Quit() {
  if (quitted_) return;
  for (auto& b : books_) b->Close();
  books_.clear();
  quitted_ = true;
  --Environment().running;
}

}  // namespace qvx::excel
