// The printer layer: the drawing model the reports use, in twips (1440 to the inch),
// drawn through Qt's painter onto a system printer (CUPS) or a PDF file.
//
// Coordinates start at the top left of the printable area. Text is placed by its top
// edge at the current position; printing text moves the position to the text's right
// end; ending a line moves it to the left edge, one line height down. Tab columns are
// character columns of the current font: column n starts (n - 1) average character
// widths from the left edge. A print job starts with the first thing drawn and lasts
// until EndDoc (sent) or KillDoc (abandoned).
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QFile;
class QPagedPaintDevice;
class QPainter;
class QPdfWriter;
class QPrinter;

namespace qvx::sys {
class ScratchFile;
}

namespace qvx::printer {

// The name of the device that writes a PDF file, asking for its name when a job starts.
inline constexpr const char* kPdfDevice = "PDF";

// The error a print job raises when the user gives up naming its PDF file: the report
// ends quietly, as when the printer choice is cancelled.
inline constexpr int kJobCancelled = 32755;

// Colours as the object model gives them: red + green*256 + blue*65536.
constexpr uint32_t RGB(int r, int g, int b) {
  return static_cast<uint32_t>(r & 0xFF) | (static_cast<uint32_t>(g & 0xFF) << 8) |
         (static_cast<uint32_t>(b & 0xFF) << 16);
}

inline constexpr int kPortrait = 1;
inline constexpr int kLandscape = 2;

// One drawing call, as recorded for tests.
struct DrawCall {
  enum Kind { StartDoc, Text, Line, NewPage, EndDoc, KillDoc } kind = Text;
  double x = 0, y = 0, x2 = 0, y2 = 0;  // twips; text: top left; line: both ends
  std::string text;
  std::string fontName;
  double fontSize = 0;
  bool bold = false;
  uint32_t color = 0;
  int width = 1;  // line width
  int page = 0;   // 1-based page of the job
  int tab = 0;    // text placed by a move to a tab column: that column (0: placed by position)
  int orientation = 0;  // start of a job or page: kPortrait or kLandscape
  double scale = 1;     // start of a job or page: how much smaller than full size it is drawn
};

// An item of a print line: text, or a move to a tab column.
struct Tab {
  int column;
};

// A text of a report's printed line: due at a tab column, due to end at a position
// (twips), or straight after the text before it.
struct LineText {
  int tab = 0;                  // > 0: the tab column the text is due at
  std::optional<double> right;  // the position the text is due to end at
  std::string text;
};
inline LineText AtTab(int column, std::string text) { return {column, std::nullopt, std::move(text)}; }
inline LineText EndingAt(double right, std::string text) { return {0, right, std::move(text)}; }
inline LineText AtPen(std::string text) { return {0, std::nullopt, std::move(text)}; }
// A printed line of a report: its texts from left to right.
using TextLine = std::vector<LineText>;

// Where the columns of a report's lines stand: a column whose widest text, over all the
// lines, needs more room than the layout gives it (a blank between it and the text before)
// moves right, and every column after it with it, on every line alike.
class ColumnPlan {
 public:
  // How far a position of the layout moves right on the page.
  double Shift(double x) const;
  // The right end of the widest line, in twips at full size (a rule's end counted).
  double Widest() const { return widest_; }

 private:
  friend class Printer;
  std::vector<std::pair<double, double>> shifts_;  // from this position on, this far right (ascending)
  double widest_ = 0;
};

// The widths of one font on one device (its metrics built once and kept).
class FontMeasure;

// Where the texts of a print line stand: the pen, and the tab column a text is due at.
struct LinePen {
  double x = 0;
  int tab = 0;        // the tab column the position was last moved to, until text is placed
  double tabX = 0;    // where that column starts (the pen may be past it)
  double tabPen = 0;  // where the pen stood when it moved to that column
  bool hasText = false;  // text was placed since the line began (or the pen left a drawing)
};

class Printer {
 public:
  explicit Printer(std::string deviceName);
  ~Printer();
  Printer(const Printer&) = delete;
  Printer& operator=(const Printer&) = delete;

  const std::string& DeviceName() const { return device_; }

  // ---- position
  double CurrentX() const { return pen_.x; }
  double CurrentY() const { return y_; }
  void SetCurrentX(double x) {
    pen_.x = x;
    pen_.tab = 0;
  }
  void SetCurrentY(double y) {
    y_ = y;
    pen_.hasText = false;
  }

  // ---- font and pen
  const std::string& FontName() const { return fontName_; }
  void SetFontName(const std::string& name);
  double FontSize() const { return fontSize_; }
  void SetFontSize(double points);
  bool FontBold() const { return bold_; }
  void SetFontBold(bool bold) { bold_ = bold; }
  uint32_t ForeColor() const { return color_; }
  void SetForeColor(uint32_t color) { color_ = color; }
  int DrawWidth() const { return drawWidth_; }
  // Line width in device pixels, as the object model counts it (1 is the finest).
  void SetDrawWidth(int width);

  // ---- page
  int Orientation() const { return orientation_; }
  // Applies to the next page started (the current one when no job has started yet).
  void SetOrientation(int orientation);
  int Copies() const { return copies_; }
  void SetCopies(int copies);
  // The width a page is laid out to at full size, in twips; 0 (the default) is the
  // printable width of A4 within the PDF device's edges, which most layouts fit. A page
  // narrower than that is drawn smaller as a whole, so that no text runs off the paper.
  // Takes effect from the next page the job starts (at once before the job).
  void SetLayoutWidth(double twips);
  // Lays out a report's printed lines, all of them, in the current font: the columns'
  // places (ColumnPlan), for PrintLine, and the layout width of the widest line, or of the
  // furthest of `reach` (a rule's end, say, at its place in the layout). Pages already
  // started keep their size.
  void LayOut(const std::vector<TextLine>& lines, const std::vector<double>& reach = {});
  // The layout made, to go with the report to another printer (nothing before LayOut), and
  // taking it over there; ClearLayout goes back to no layout and the A4 width.
  std::shared_ptr<const ColumnPlan> Layout() const { return plan_; }
  void SetLayout(std::shared_ptr<const ColumnPlan> plan);
  void ClearLayout();
  // Where a position of the layout stands on the page (a rule's end, say).
  double Laid(double x) const { return plan_ ? x + plan_->Shift(x) : x; }
  // The printable area in twips (of a page drawn smaller on paper narrower than the
  // layout).
  double ScaleWidth() const;
  double ScaleHeight() const;
  // Whether that many lines of the current font still fit between the current position
  // and the foot of the printable area.
  bool RoomForLines(int lines) const;
  int Page() const { return page_; }
  bool JobStarted() const { return painter_ != nullptr; }

  // ---- measuring, in the current font
  double TextWidth(const std::string& text) const;
  double TextHeight(const std::string& text = "") const;
  // The width of one tab column.
  double ColumnWidth() const;
  // The text itself when it is no wider than `width` twips, else as much of its start as
  // fits with an ellipsis after it.
  std::string ElidedText(const std::string& text, double width) const;

  // ---- printing
  // Text at the current position, the line kept open ("Print text;").
  void PrintText(const std::string& text);
  // Moves to a tab column. The next text starts there, or, on a line that holds text, keeps
  // the right end it would have had there with at least one blank between it and the text
  // before: a text before that ran wider than its column takes room from the next one's
  // leading blanks, and where those do not suffice pushes it right (one blank between),
  // never over it. Figures right-aligned by their blanks still line up. A pen past the
  // column with no text on its line (left at the end of a ruled line, or moved to another
  // height) goes to that column of the next line.
  void TabTo(int column);
  // Text that ends at `right` twips, under the same rule as text at a tab column.
  void PrintTextEndingAt(double right, const std::string& text);
  // Ends the line ("Print" with nothing, or the end of "Print text").
  void EndLine();
  // The whole of a print statement: items in order, then the line ended unless keepOpen.
  struct Item {
    Item(const std::string& t) : text(t) {}  // NOLINT: items are written inline
    Item(const char* t) : text(t) {}          // NOLINT
    Item(Tab t) : tab(t.column) {}            // NOLINT
    std::string text;
    std::optional<int> tab;
  };
  void Print(std::initializer_list<Item> items, bool keepOpen = false);
  // A line of the report laid out: each text placed as TabTo and PrintText, or
  // PrintTextEndingAt, place it, at its column's place in the layout; then the line ended
  // unless keepOpen.
  void PrintLine(const TextLine& line, bool keepOpen = false);
  // A straight line; the current position moves to its end.
  void Line(double x1, double y1, double x2, double y2);
  void NewPage();
  // Ends the job: the pages go to the printer (or the PDF file). Nothing happens when no
  // job has started. A PDF is written to a scratch file beside the one named and takes
  // its place only when every byte is on the disk: a failure raises, naming the reason,
  // and leaves an earlier file of that name as it was. Only an ordinary file is replaced:
  // anything else at that name (a link, a pipe) is left as it is and the job raises.
  void EndDoc();
  // Abandons the job: nothing is printed, an earlier PDF file of that name stays.
  void KillDoc();

 private:
  void EnsureJob();
  std::string PdfFileName();
  void OpenPdf(const std::string& target);
  std::string FinishPdf();
  void DropPdf();
  void ResetPosition();
  QPagedPaintDevice& Device() const;
  int Resolution() const;
  double DevicePerTwip() const;
  double FitScale() const;
  void ApplyFitScale();
  std::shared_ptr<const FontMeasure> Font() const;
  void Draw(const FontMeasure& font, const std::string& shown, double width);

  std::string device_;
  std::string fontName_ = "Arial";
  double fontSize_ = 10;
  bool bold_ = false;
  uint32_t color_ = 0;
  int drawWidth_ = 1;
  int orientation_ = kPortrait;
  int copies_ = 1;
  LinePen pen_;
  double y_ = 0;
  mutable std::vector<std::shared_ptr<const FontMeasure>> fonts_;  // each font measured once
  double layoutWidth_ = 0;
  std::shared_ptr<const ColumnPlan> plan_;
  int page_ = 0;
  double scale_ = 1;  // of the drawing on the job's current page
  std::string outputFile_;
  // A system printer, or a PDF written through a file of ours whose every write is checked.
  mutable std::unique_ptr<QPrinter> qprinter_;
  mutable std::unique_ptr<QFile> pdfFile_;
  mutable std::unique_ptr<QPdfWriter> pdfWriter_;
  std::unique_ptr<sys::ScratchFile> scratch_;
  std::unique_ptr<QPainter> painter_;
};

// ---- the installed printers and the current one

// Device names in the system's order, with the PDF device last.
std::vector<std::string> InstalledPrinters();
// The current printer (the system's default printer at first, else the PDF device).
Printer& Current();
// Makes the named device current: a new printer object with default settings. Returns
// false, changing nothing, when no installed printer has that name.
bool SetCurrent(const std::string& deviceName);

// Checks a PDF file name the user gave before a job writes there: the text that refuses
// it (naming it), or nothing. The program installs the check of the files it must never
// replace; without one every name is taken.
using PdfTargetCheck = std::function<std::optional<std::string>(const std::string& path)>;
void SetPdfTargetCheck(PdfTargetCheck check);
// The folder the PDF save box starts in (the program installs its output folder); the
// user's home folder when there is none or it is not there.
void SetPdfStartFolder(std::function<std::string()> folder);

// What tests and benchmarks change about the system.
struct PrinterEnvironment {
  // Replaces the system's printer list (the PDF device is still added).
  std::optional<std::vector<std::string>> systemPrinters;
  // When set, every device writes its jobs to this PDF file without asking.
  std::string redirectToPdf;
  // When set, every device prints on paper of this size (portrait width and height in
  // points, 612 x 792 for Letter) rather than its own.
  struct Paper {
    double width = 0, height = 0;
  };
  std::optional<Paper> paper;
  // Every drawing call is appended here while recording is on.
  bool recording = false;
  std::vector<DrawCall> calls;
};
PrinterEnvironment& Environment();

}  // namespace qvx::printer
