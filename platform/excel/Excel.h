// The workbook layer: the part of a spreadsheet program's object model that the reports
// drive (application, workbooks, worksheets, cells and ranges with values, formulas,
// fonts, alignment, borders, number formats, merging, column widths, page set-up and
// page breaks), held in memory and written out as an .xlsx file.
//
// Values assigned as text behave as if typed: a text that reads as a number becomes that
// number (with a matching number format when the cell has none), a text starting with
// "=" becomes a formula, and a leading apostrophe keeps the rest as text. A formula put
// into a General cell takes the number format of the first cell it refers to. Texts that
// come from a company file go in through SetText, which never types them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace qvx::excel {

// The constants the reports pass.
inline constexpr int xlCenter = -4108;
inline constexpr int xlRight = -4152;
inline constexpr int xlLeft = -4131;
inline constexpr int xlGeneral = 1;
inline constexpr int xlEdgeLeft = 7;
inline constexpr int xlEdgeTop = 8;
inline constexpr int xlEdgeBottom = 9;
inline constexpr int xlEdgeRight = 10;
inline constexpr int xlInsideVertical = 11;
inline constexpr int xlInsideHorizontal = 12;
inline constexpr int xlContinuous = 1;
inline constexpr int xlLineStyleNone = -4142;
inline constexpr int xlPortrait = 1;
inline constexpr int xlLandscape = 2;
inline constexpr int kMaxRows = 1048576;
inline constexpr int kMaxColumns = 16384;

// The version text the application reports.
inline constexpr const char* kVersion = "12.0";

class Worksheet;
class Workbook;

// A cell's content: nothing, a number, a text, or a formula (with the value it was last
// worked out to, when the layer could work it out).
struct Formula {
  std::string text;     // "=SUM(B12:M12)"
  double cached = 0.0;  // written as the formula's result
};
using CellValue = std::variant<std::monostate, double, std::string, Formula>;

struct CellStyle {
  bool bold = false;
  // The workbook's standard font size: typing into a cell never changes it.
  double size = 11.0;
  uint32_t color = 0;         // the object model's colour: red + green*256 + blue*65536
  int horizontalAlignment = xlGeneral;
  std::string numberFormat;   // "" is General
  bool borderTop = false, borderBottom = false, borderLeft = false, borderRight = false;
  bool operator==(const CellStyle&) const = default;
};

struct Cell {
  CellValue value;
  CellStyle style;
};

// A rectangle of cells on one sheet (1-based, inclusive). A handle: it refers to the sheet
// and is meant to be used at once, as the object model's range expressions are.
class Range;

class RangeFont {
 public:
  RangeFont(Worksheet& sheet, int r1, int c1, int r2, int c2) : s_(sheet), r1_(r1), c1_(c1), r2_(r2), c2_(c2) {}
  void SetBold(bool bold);
  void SetSize(double size);
  void SetColor(uint32_t color);
  bool Bold() const;
  double Size() const;
  uint32_t Color() const;

 private:
  Worksheet& s_;
  int r1_, c1_, r2_, c2_;
};

class RangeBorder {
 public:
  RangeBorder(Worksheet& sheet, int r1, int c1, int r2, int c2, int index)
      : s_(sheet), r1_(r1), c1_(c1), r2_(r2), c2_(c2), index_(index) {}
  // xlContinuous draws the edge, xlLineStyleNone removes it.
  void SetLineStyle(int style);

 private:
  Worksheet& s_;
  int r1_, c1_, r2_, c2_, index_;
};

class Range {
 public:
  Range(Worksheet& sheet, int r1, int c1, int r2, int c2);
  int Row() const { return r1_; }
  int Column() const { return c1_; }
  int LastRow() const { return r2_; }
  int LastColumn() const { return c2_; }
  std::string Address() const;  // "A1" or "B2:D4"

  // Values go into every cell of the range, as typing into a selection with Ctrl+Enter.
  void SetValue(const std::string& text);
  void SetValue(const char* text) { SetValue(std::string(text)); }
  void SetValue(double number);
  void SetValue(int number) { SetValue(static_cast<double>(number)); }
  // A text stored as it is, whatever it begins with: a name or an address read from a
  // company file is never made a formula (=WEBSERVICE(...)) or a number (-5), nor loses
  // a leading apostrophe.
  void SetText(const std::string& text);
  void ClearContents();
  void SetFormula(const std::string& formula);
  // The first cell's value.
  const CellValue& Value() const;
  // The first cell's value as text: a number in its shortest form, a formula's text.
  std::string Text() const;

  RangeFont Font() { return {s_, r1_, c1_, r2_, c2_}; }
  RangeBorder Borders(int index) { return {s_, r1_, c1_, r2_, c2_, index}; }
  void SetHorizontalAlignment(int alignment);
  int HorizontalAlignment() const;
  void SetNumberFormat(const std::string& format);
  std::string NumberFormat() const;
  void Merge();
  // Sets the width of every column the range touches (in characters, as the object model).
  void SetColumnWidth(double width);
  // Widens every column the range touches that is too narrow for a number of the range (a
  // figure or a formula's result, in its cell's number format and font), to whole
  // characters, so that no figure shows as "###". A column wide enough keeps its width, or
  // stays without one; texts are not measured, as they never show as "###".
  void WidenForNumbers();
  void Select();

 private:
  Worksheet& s_;
  int r1_, c1_, r2_, c2_;
};

struct PageSetup {
  int Orientation = xlPortrait;
};

class PageBreaks {
 public:
  // Adds a manual break before the row (horizontal) or column (vertical) of the cell.
  void Add(const Range& before);
  const std::vector<int>& Positions() const { return positions_; }
  int Count() const { return static_cast<int>(positions_.size()); }
  void Clear() { positions_.clear(); }

 private:
  friend class Worksheet;
  explicit PageBreaks(bool vertical) : vertical_(vertical) {}
  bool vertical_;
  std::vector<int> positions_;  // 1-based row or column that starts a new page
};

class Worksheet {
 public:
  explicit Worksheet(std::string name);
  const std::string& Name() const { return name_; }

  Range Cells(int row, int column);
  // "A1", "B2:D4", "C:F", "3:5" (absolute "$" signs allowed).
  Range GetRange(const std::string& address);
  Range GetRange(const Range& first, const Range& last);
  // Whole columns by letters: "A", "C:F".
  Range Columns(const std::string& letters);
  Range Rows(int row);

  struct PageSetup& PageSetup() { return pageSetup_; }
  const struct PageSetup& PageSetup() const { return pageSetup_; }
  PageBreaks& HPageBreaks() { return hBreaks_; }
  PageBreaks& VPageBreaks() { return vBreaks_; }
  void ResetAllPageBreaks();

  // Reading the model back (tests and the writer).
  const Cell* Find(int row, int column) const;
  const std::map<int64_t, Cell>& AllCells() const { return cells_; }
  struct Merged {
    int r1, c1, r2, c2;
  };
  const std::vector<Merged>& MergedAreas() const { return merged_; }
  const std::map<int, double>& ColumnWidths() const { return widths_; }
  std::pair<int, int> Selection() const { return selection_; }
  int UsedRows() const;
  // Works every formula out again, in row order.
  void Recalculate();

 private:
  friend class Range;
  friend class RangeFont;
  friend class RangeBorder;
  static int64_t Key(int row, int column) { return static_cast<int64_t>(row) * (kMaxColumns + 1) + column; }
  Cell& At(int row, int column);
  template <typename F>
  void Each(int r1, int c1, int r2, int c2, F f);
  const CellStyle& StyleAt(int row, int column) const;
  void Put(int row, int column, CellValue value);
  double Evaluate(const std::string& formula) const;

  std::string name_;
  std::map<int64_t, Cell> cells_;
  std::vector<Merged> merged_;
  std::map<int, double> widths_;
  struct PageSetup pageSetup_;
  PageBreaks hBreaks_{false};
  PageBreaks vBreaks_{true};
  std::pair<int, int> selection_{1, 1};
};

class Workbook {
 public:
  Workbook();
  // 1-based, as the object model counts; error 9 outside the range.
  Worksheet& Worksheets(int index);
  int WorksheetCount() const { return static_cast<int>(sheets_.size()); }
  std::shared_ptr<Worksheet> SheetPtr(int index);
  // Writes the workbook to path. An existing file is replaced only after the user agreed
  // through the message-box service; declining raises 1004. The file is written beside
  // its target under a temporary name and renamed, so a failed save leaves any earlier
  // file as it was. Failures raise 76 (no such folder), 75 (cannot be written) or 1004.
  void SaveAs(const std::string& path);
  // Closes without asking; the model is discarded.
  void Close();
  bool Closed() const { return closed_; }
  const std::string& FullName() const { return fullName_; }

 private:
  std::vector<std::shared_ptr<Worksheet>> sheets_;
  bool closed_ = false;
  std::string fullName_;
};

class Application {
 public:
  // A new application with no workbooks. Raises error 429 when the environment is set
  // to refuse (see Environment).
  static std::shared_ptr<Application> Create();
  std::string Version() const { return kVersion; }
  // A new workbook with one worksheet, "Sheet1".
  std::shared_ptr<Workbook> AddWorkbook();
  int WorkbookCount() const { return static_cast<int>(books_.size()); }
  void Quit();
  bool Quitted() const { return quitted_; }

 private:
  std::vector<std::shared_ptr<Workbook>> books_;
  bool quitted_ = false;
};

// The width of a column that was given none, in characters.
inline constexpr double kStandardColumnWidth = 8.43;

// The text a number shows in a cell of a number format wide enough for it: "(1,234)" for
// -1234 in "#,##0_);(#,##0)" (with a blank for the "_)"), "75%" for 0.75 in "0%"; "" is
// General. Covers sections, literals, quoted and escaped text, padding, digit
// placeholders, thousands separators, decimals and percent.
std::string NumberText(double value, const std::string& numberFormat);
// The column width (in characters, as SetColumnWidth takes it) that shows a number of a
// cell of this style in full.
double ColumnWidthFor(double value, const CellStyle& style);

// Column letters and numbers: 1 <-> "A", 28 <-> "AB". Error 5 for what is not a column.
std::string ColumnLetters(int column);
int ColumnNumber(const std::string& letters);

// The typed-text rule on its own: what a text assigned as a value becomes, and the number
// format typing it would give a General cell ("" for none).
struct TypedValue {
  CellValue value;
  std::string numberFormat;
};
TypedValue InterpretTyped(const std::string& text);

// How the layer's environment behaves, for tests of the callers' failure paths.
struct ExcelEnvironment {
  // When not 0, Application::Create raises this error number.
  int createFailure = 0;
  // Applications created and not yet quit.
  int running = 0;
};
ExcelEnvironment& Environment();

}  // namespace qvx::excel
