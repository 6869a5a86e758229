#include "support/Golden.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <tuple>

#include <gtest/gtest.h>

namespace qvx::test {

namespace {

// Numbers always in their shortest faithful form ("1234.5", "-0.25", "1e+20").
std::string Number(double v) {
  if (v == 0) v = 0;  // no "-0"
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

// Twips rounded to whole ones: positions worked out through font metrics carry fractions
// that say nothing to a reader.
std::string Twips(double v) { return Number(std::round(v)); }

std::string Quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  return out + "\"";
}

std::string Hex(uint32_t color) {
  // The object model's colour is red + green*256 + blue*65536; written as #RRGGBB.
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%02X%02X%02X", color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
  return buf;
}

// ---------------------------------------------------------------- printed pages

struct Font {
  std::string name;
  double size = 0;
  bool bold = false;
  uint32_t color = 0;
  bool operator==(const Font&) const = default;
};

std::string FontText(const Font& f) {
  std::string s = "{" + f.name + " " + Number(f.size);
  if (f.bold) s += " bold";
  if (f.color != 0) s += " " + Hex(f.color);
  return s + "}";
}

struct PageEntry {
  long y = 0;
  int kind = 0;  // 0 text line, 1 rule: texts at a height come before a rule there
  size_t seq = 0;
  std::vector<const printer::DrawCall*> texts;  // kind 0
  const printer::DrawCall* rule = nullptr;      // kind 1
};

class PrintRenderer {
 public:
  std::string Render(const std::vector<printer::DrawCall>& calls) {
    for (const auto& c : calls) {
      switch (c.kind) {
        case printer::DrawCall::StartDoc:
          Flush();
          ++jobs_;
          if (jobs_ > 1) out_ << "=== job " << jobs_ << " ===\n";
          StartPage(c.page, c.orientation);
          break;
        case printer::DrawCall::NewPage:
          Flush();
          StartPage(c.page, c.orientation);
          break;
        case printer::DrawCall::Text: {
          if (c.text.empty()) break;  // draws nothing
          OpenPage(c.page);
          const long y = std::lround(c.y);
          auto it = lines_.find(y);
          if (it == lines_.end()) {
            PageEntry e;
            e.y = y;
            e.seq = seq_++;
            it = lines_.emplace(y, std::move(e)).first;
          }
          it->second.texts.push_back(&c);
          break;
        }
        case printer::DrawCall::Line: {
          OpenPage(c.page);
          PageEntry e;
          e.y = std::lround(std::min(c.y, c.y2));
          e.kind = 1;
          e.seq = seq_++;
          e.rule = &c;
          rules_.push_back(e);
          break;
        }
        case printer::DrawCall::EndDoc:
          Flush();
          out_ << "=== sent ===\n";
          break;
        case printer::DrawCall::KillDoc:
          Flush();
          out_ << "=== abandoned ===\n";
          break;
      }
    }
    Flush();
    return out_.str();
  }

 private:
  void StartPage(int page, int orientation) {
    page_ = page;
    out_ << "=== page " << page << (orientation == printer::kLandscape ? " landscape" : " portrait") << " ===\n";
    font_.reset();
  }
  // Drawing without a recorded start (a recording switched on mid-job) still renders.
  void OpenPage(int page) {
    if (page_ != page) {
      Flush();
      StartPage(page, printer::kPortrait);
    }
  }
  void Flush() {
    std::vector<PageEntry> entries;
    for (auto& [y, e] : lines_) entries.push_back(std::move(e));
    entries.insert(entries.end(), rules_.begin(), rules_.end());
    std::sort(entries.begin(), entries.end(), [](const PageEntry& a, const PageEntry& b) {
      return std::tie(a.y, a.kind, a.seq) < std::tie(b.y, b.kind, b.seq);
    });
    for (auto& e : entries) {
      char head[32];
      std::snprintf(head, sizeof head, "y=%-6ld ", e.y);
      out_ << head;
      if (e.kind == 1) {
        const auto& r = *e.rule;
        out_ << "rule ";
        if (std::lround(r.y) == std::lround(r.y2)) {
          out_ << "x=" << Twips(std::min(r.x, r.x2)) << ".." << Twips(std::max(r.x, r.x2));
        } else {
          out_ << "(" << Twips(r.x) << "," << Twips(r.y) << ")-(" << Twips(r.x2) << "," << Twips(r.y2) << ")";
        }
        out_ << " width=" << r.width;
        if (r.color != 0) out_ << " " << Hex(r.color);
        out_ << "\n";
        continue;
      }
      std::stable_sort(e.texts.begin(), e.texts.end(),
                       [](const printer::DrawCall* a, const printer::DrawCall* b) { return a->x < b->x; });
      bool first = true;
      for (const auto* t : e.texts) {
        if (!first) out_ << " | ";
        first = false;
        const Font f{t->fontName, t->fontSize, t->bold, t->color};
        if (!font_ || !(*font_ == f)) {
          out_ << FontText(f) << " ";
          font_ = f;
        }
        if (t->tab > 0) out_ << "c" << t->tab << " ";
        else out_ << "x=" << Twips(t->x) << " ";
        out_ << Quoted(t->text);
      }
      out_ << "\n";
    }
    lines_.clear();
    rules_.clear();
  }

  std::ostringstream out_;
  int jobs_ = 0;
  int page_ = 0;
  size_t seq_ = 0;
  std::optional<Font> font_;
  std::map<long, PageEntry> lines_;
  std::vector<PageEntry> rules_;
};

// ---------------------------------------------------------------- workbooks

std::string Alignment(int a) {
  switch (a) {
    case excel::xlCenter: return "center";
    case excel::xlRight: return "right";
    case excel::xlLeft: return "left";
    case excel::xlGeneral: return "";
    default: return "align=" + std::to_string(a);
  }
}

void RenderSheet(const excel::Worksheet& sheet, std::ostringstream& out) {
  out << "=== sheet " << Quoted(sheet.Name())
      << (sheet.PageSetup().Orientation == excel::xlLandscape ? " landscape" : " portrait") << " ===\n";
  if (!sheet.ColumnWidths().empty()) {
    out << "widths";
    for (const auto& [col, w] : sheet.ColumnWidths()) out << " " << excel::ColumnLetters(col) << "=" << Number(w);
    out << "\n";
  }
  for (const auto& m : sheet.MergedAreas())
    out << "merge " << excel::ColumnLetters(m.c1) << m.r1 << ":" << excel::ColumnLetters(m.c2) << m.r2 << "\n";
  // The sheet hands its break lists out only through its changing accessors.
  auto& s = const_cast<excel::Worksheet&>(sheet);
  if (s.HPageBreaks().Count() > 0) {
    out << "row-breaks";
    for (int r : s.HPageBreaks().Positions()) out << " " << r;
    out << "\n";
  }
  if (s.VPageBreaks().Count() > 0) {
    out << "column-breaks";
    for (int c : s.VPageBreaks().Positions()) out << " " << excel::ColumnLetters(c);
    out << "\n";
  }
  const excel::CellStyle plain;
  for (const auto& [key, cell] : sheet.AllCells()) {
    const auto& st = cell.style;
    const bool borders = st.borderTop || st.borderBottom || st.borderLeft || st.borderRight;
    if (std::holds_alternative<std::monostate>(cell.value) && !borders) continue;
    const int row = static_cast<int>(key / (excel::kMaxColumns + 1));
    const int col = static_cast<int>(key % (excel::kMaxColumns + 1));
    std::string line = excel::ColumnLetters(col) + std::to_string(row);
    line.resize(std::max<size_t>(line.size() + 1, 8), ' ');
    if (const auto* d = std::get_if<double>(&cell.value)) line += "number " + Number(*d);
    else if (const auto* t = std::get_if<std::string>(&cell.value)) line += "text " + Quoted(*t);
    else if (const auto* f = std::get_if<excel::Formula>(&cell.value))
      line += "formula " + Quoted(f->text) + " =" + Number(f->cached);
    else line += "empty";
    if (!st.numberFormat.empty()) line += " fmt=" + Quoted(st.numberFormat);
    if (st.bold) line += " bold";
    if (const std::string a = Alignment(st.horizontalAlignment); !a.empty()) line += " " + a;
    if (st.size != plain.size) line += " size=" + Number(st.size);
    if (st.color != 0) line += " " + Hex(st.color);
    if (borders) {
      line += " borders=";
      if (st.borderTop) line += "T";
      if (st.borderBottom) line += "B";
      if (st.borderLeft) line += "L";
      if (st.borderRight) line += "R";
    }
    out << line << "\n";
  }
}

// ---------------------------------------------------------------- comparison

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

constexpr size_t kMaxDiffLines = 40;

// A line diff by longest common subsequence, changed lines only.
std::string LineDiff(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  // Common head and tail are skipped first, so that the table covers only the change.
  size_t head = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
  size_t tail = 0;
  while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) ++tail;
  const size_t n = a.size() - head - tail, m = b.size() - head - tail;
  std::vector<std::string> out;
  auto minus = [&](size_t i) { out.push_back("- " + std::to_string(head + i + 1) + ": " + a[head + i]); };
  auto plus = [&](size_t j) { out.push_back("+ " + std::to_string(head + j + 1) + ": " + b[head + j]); };
  if (n * m > 4'000'000) {
    // Too large to align: the changed block as it stands.
    for (size_t i = 0; i < n; ++i) minus(i);
    for (size_t j = 0; j < m; ++j) plus(j);
  } else {
    std::vector<std::vector<uint32_t>> l(n + 1, std::vector<uint32_t>(m + 1, 0));
    for (size_t i = n; i-- > 0;)
      for (size_t j = m; j-- > 0;)
        l[i][j] = a[head + i] == b[head + j] ? l[i + 1][j + 1] + 1 : std::max(l[i + 1][j], l[i][j + 1]);
    size_t i = 0, j = 0;
    while (i < n || j < m) {
      if (i < n && j < m && a[head + i] == b[head + j]) {
        ++i, ++j;
      } else if (j < m && (i == n || l[i][j + 1] >= l[i + 1][j])) {
        plus(j++);
      } else {
        minus(i++);
      }
    }
  }
  std::string text;
  for (size_t k = 0; k < out.size() && k < kMaxDiffLines; ++k) text += out[k] + "\n";
  if (out.size() > kMaxDiffLines) text += "... " + std::to_string(out.size() - kMaxDiffLines) + " more changed lines\n";
  return text;
}

bool UpdateRequested() {
  const char* v = std::getenv("QVX_UPDATE_GOLDEN");
  return v && std::string(v) == "1";
}

}  // namespace

std::string RenderPrinted(const std::vector<printer::DrawCall>& calls) { return PrintRenderer().Render(calls); }

std::string RenderWorkbook(const excel::Workbook& book) {
  std::ostringstream out;
  auto& b = const_cast<excel::Workbook&>(book);  // the model hands out sheets only for change
  for (int i = 1; i <= b.WorksheetCount(); ++i) RenderSheet(b.Worksheets(i), out);
  return out.str();
}

std::string GoldenPath(const std::string& name) { return std::string(QVX_SOURCE_DIR) + "/tests/data/golden/" + name + ".txt"; }

std::optional<std::string> GoldenDifference(const std::string& name, const std::string& text) {
  const std::string path = GoldenPath(name);
  const auto golden = ReadFile(path);
  if (!golden) return "the golden file " + path + " is missing\n";
  if (*golden == text) return std::nullopt;
  std::string diff = LineDiff(Lines(*golden), Lines(text));
  // Same lines, different bytes: only the last line end can differ.
  if (diff.empty()) diff = "the texts differ only in the line end after the last line\n";
  return diff;
}

void ExpectGolden(const std::string& name, const std::string& text) {
  const std::string path = GoldenPath(name);
  if (UpdateRequested()) {
    if (ReadFile(path) == text) return;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    std::printf("golden file written: %s\n", path.c_str());
    return;
  }
  if (auto diff = GoldenDifference(name, text))
    ADD_FAILURE() << "golden output \"" << name << "\" differs from " << path
                  << " (run with QVX_UPDATE_GOLDEN=1 to accept the new output, then review git diff):\n"
                  << *diff;
}

}  // namespace qvx::test
