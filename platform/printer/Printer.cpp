#include "platform/printer/Printer.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <unordered_map>

#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>
#include <QPrinter>
#include <QPrinterInfo>

#include "platform/runtime/Runtime.h"
#include "platform/sys/SafeSave.h"
#include "platform/sys/Sys.h"
#include "platform/ui/Ui.h"

namespace qvx::printer {
namespace {

constexpr int kPrinterError = 482;
constexpr double kTwipsPerPoint = 20.0;
// The PDF device's unprintable edge, as a desktop printer has one.
constexpr double kPdfMarginPoints = 18.0;
// Dots per inch of a PDF page, those of a high-resolution printer.
constexpr int kPdfResolution = 1200;

// Character columns follow the classic average width of a font: the weighted average of
// the lower-case letters and the blank (weights per thousand, space first, then a to z),
// rounded to whole dots of a 300-dpi raster as a printer driver reports it. For Arial
// (Liberation Sans) at 9 points that gives 81.6 twips, the 82 the report rules count on.
constexpr int kAverageWeights[27] = {166, 64, 14, 27, 35, 100, 20, 14, 42, 63, 3, 6, 35, 20, 56,
                                     56,  17, 4,  49, 56, 71,  31, 10, 18, 3,  18, 2};
constexpr double kTwipsPerRasterDot = 1440.0 / 300.0;

QColor ToQColor(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

void Record(DrawCall call) {
  if (Environment().recording) Environment().calls.push_back(std::move(call));
}

PdfTargetCheck& TargetCheck() {
  static PdfTargetCheck check;
  return check;
}

std::function<std::string()>& StartFolder() {
  static std::function<std::string()> folder;
  return folder;
}

bool EndsWithPdf(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == ".pdf";
}

}  // namespace

PrinterEnvironment& Environment() {
  static PrinterEnvironment env;
  return env;
}

void SetPdfTargetCheck(PdfTargetCheck check) { TargetCheck() = std::move(check); }
void SetPdfStartFolder(std::function<std::string()> folder) { StartFolder() = std::move(folder); }

Printer::Printer(std::string deviceName) : device_(std::move(deviceName)) {}

Printer::~Printer() {
  // A job nobody ended is finished, so that nothing drawn is silently lost (a PDF that
  // cannot be written whole leaves the earlier file; nobody is left to tell).
  if (painter_) {
    painter_->end();
    painter_.reset();
    if (pdfWriter_) FinishPdf();
  }
  DropPdf();
}

QPagedPaintDevice& Printer::Device() const {
  if (qprinter_) return *qprinter_;
  if (pdfWriter_) return *pdfWriter_;
  QPagedPaintDevice* device = nullptr;
  if (device_ == kPdfDevice || !Environment().redirectToPdf.empty()) {
    pdfFile_ = std::make_unique<QFile>();
    pdfWriter_ = std::make_unique<QPdfWriter>(pdfFile_.get());
    pdfWriter_->setResolution(kPdfResolution);
    pdfWriter_->setPageMargins(QMarginsF(kPdfMarginPoints, kPdfMarginPoints, kPdfMarginPoints, kPdfMarginPoints),
                               QPageLayout::Point);
    device = pdfWriter_.get();
  } else {
    qprinter_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    qprinter_->setPrinterName(QString::fromStdString(device_));
    qprinter_->setCopyCount(copies_);
    device = qprinter_.get();
  }
  if (const auto& paper = Environment().paper)
    device->setPageSize(QPageSize(QSizeF(paper->width, paper->height), QPageSize::Point));
  device->setPageOrientation(orientation_ == kLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
  return *device;
}

int Printer::Resolution() const {
  Device();
  return qprinter_ ? qprinter_->resolution() : pdfWriter_->resolution();
}

double Printer::DevicePerTwip() const { return Resolution() / 1440.0; }

void Printer::SetFontName(const std::string& name) {
  if (name.empty()) Raise(err::InvalidCall);
  fontName_ = name;
}

void Printer::SetFontSize(double points) {
  if (!(points > 0) || points > 2048) Raise(err::InvalidCall);
  fontSize_ = points;
}

void Printer::SetDrawWidth(int width) {
  if (width < 1 || width > 32767) Raise(err::InvalidCall);
  drawWidth_ = width;
}

void Printer::SetOrientation(int orientation) {
  if (orientation != kPortrait && orientation != kLandscape) Raise(err::InvalidCall);
  orientation_ = orientation;
  Device().setPageOrientation(orientation == kLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
}

void Printer::SetCopies(int copies) {
  if (copies < 1 || copies > 9999) Raise(err::InvalidCall);
  copies_ = copies;
  if (!painter_ && qprinter_) qprinter_->setCopyCount(copies);
}

// The reports lay their columns out for the printable width of A4 within the PDF device's
// edges, some wider (their LayoutWidth). Narrower paper (Letter landscape, a printer with
// wider edges, any paper for the widest layouts) would cut their last columns off at its
// edge: there the page is drawn smaller as a whole, to that width.
double Printer::FitScale() const {
  const QPageLayout layout = Device().pageLayout();
  // Qt rounds the papers' sizes to whole points (A4 is 595 x 842 for 595.28 x 841.89):
  // the smaller of that and the size from millimetres, so that the widest line ends
  // within the printable width, not a tenth of a point past it.
  auto points = [](double mm) { return mm / 25.4 * 72.0; };
  const bool landscape = layout.orientation() == QPageLayout::Landscape;
  const QSizeF a4 = QPageSize(QPageSize::A4).size(QPageSize::Point);
  const QSizeF a4mm = QPageSize(QPageSize::A4).size(QPageSize::Millimeter);
  const double a4Width =
      std::min(landscape ? a4.height() : a4.width(), points(landscape ? a4mm.height() : a4mm.width())) -
      2 * kPdfMarginPoints;
  const QMarginsF margins = layout.margins(QPageLayout::Point);
  const double printable =
      std::min(layout.paintRect(QPageLayout::Point).width(),
               points(layout.fullRect(QPageLayout::Millimeter).width()) - margins.left() - margins.right());
  const double laidOut = std::max(a4Width, layoutWidth_ / kTwipsPerPoint);
  return std::min(1.0, printable / laidOut);
}

void Printer::SetLayoutWidth(double twips) {
  if (!(twips >= 0) || twips > 1e6) Raise(err::InvalidCall);
  layoutWidth_ = twips;
}

void Printer::ApplyFitScale() {
  scale_ = FitScale();
  painter_->resetTransform();
  painter_->scale(scale_, scale_);
}

double Printer::ScaleWidth() const {
  return Device().pageLayout().paintRect(QPageLayout::Point).width() * kTwipsPerPoint / (painter_ ? scale_ : FitScale());
}

double Printer::ScaleHeight() const {
  return Device().pageLayout().paintRect(QPageLayout::Point).height() * kTwipsPerPoint / (painter_ ? scale_ : FitScale());
}

bool Printer::RoomForLines(int lines) const { return y_ + lines * TextHeight() <= ScaleHeight(); }

namespace {
QFont MakeFont(const std::string& name, double size, bool bold) {
  QFont f(QString::fromStdString(name));
  f.setPointSizeF(size);
  f.setBold(bold);
  f.setKerning(false);  // widths add up character by character, as the layouts assume
  return f;
}
}  // namespace

class FontMeasure {
 public:
  FontMeasure(const std::string& name, double size, bool bold, const QPaintDevice* device, double devicePerTwip)
      : name(name), size(size), bold(bold), font(MakeFont(name, size, bold)), metrics(font, device),
        k(devicePerTwip) {
    blank = Width(" ");
    double sum = metrics.horizontalAdvance(QChar(' ')) * kAverageWeights[0];
    for (int i = 1; i <= 26; ++i) sum += metrics.horizontalAdvance(QChar('a' + i - 1)) * kAverageWeights[i];
    column = std::max(1.0, std::round(sum / 1000.0 / k / kTwipsPerRasterDot)) * kTwipsPerRasterDot;
  }
  // Every text a report prints is measured in its measuring pass and again as it is
  // printed (where it goes, how far it moves the pen), and Qt lays a text out afresh for
  // each measure: each text's width is kept instead, up to a bound on the memory held.
  double Width(const std::string& text) const {
    if (const auto known = widths_.find(text); known != widths_.end()) return known->second;
    const double width = metrics.horizontalAdvance(QString::fromStdString(text)) / k;
    if (widths_.size() < kWidthsKept) widths_.emplace(text, width);
    return width;
  }

  std::string name;
  double size;
  bool bold;
  QFont font;
  QFontMetricsF metrics;
  double k;  // device units per twip
  double blank = 0, column = 0;

 private:
  static constexpr size_t kWidthsKept = 100000;  // the texts of a chart of some 10,000 accounts
  mutable std::unordered_map<std::string, double> widths_;
};

namespace {

// A text placed on its print line: where it starts, what of it is drawn (the text itself,
// or a part of it) and how wide that is.
struct Placed {
  double x;
  double width;
  const std::string* text;
  std::string part = {};
  bool whole = true;
  const std::string& Shown() const { return whole ? *text : part; }
};

// Text due to start at `due` on a line whose pen stands at `pen`. On a line without text,
// or where the text before ends early enough, the text starts where it is due. Otherwise
// it keeps its right end if its visible part still starts a blank or more right of the
// pen, giving up the leading blanks that would reach back over the pen; failing that it
// follows the pen with exactly one blank between. Half a twip of slack: positions worked
// out in twips land exactly on a column.
Placed Place(const FontMeasure& f, double pen, bool lineHasText, double due, const std::string& text, double width) {
  const size_t lead = std::min(text.find_first_not_of(' '), text.size());
  if (!lineHasText || lead == text.size()) return {lineHasText ? std::max(pen, due) : due, width, &text};
  const double right = due + width;
  const double visibleStart = due + static_cast<double>(lead) * f.blank;
  if (visibleStart >= pen + f.blank - 0.5) {
    if (due >= pen - 0.5) return {due, width, &text};
    // The blanks left of the pen go: the rest still ends at `right`.
    const auto drop = static_cast<size_t>(std::ceil((pen - 0.5 - due) / f.blank));
    std::string rest = text.substr(std::min(drop, lead - 1));
    const double restWidth = f.Width(rest);
    return {std::max(pen, right - restWidth), restWidth, &text, std::move(rest), false};
  }
  std::string pushed = " " + text.substr(lead);
  const double pushedWidth = f.Width(pushed);
  return {pen, pushedWidth, &text, std::move(pushed), false};
}

// Where a text printed at the pen goes: by the placing rule when it is due at a tab column
// on a line that already holds text, else at the pen.
Placed AtPen(const FontMeasure& f, const LinePen& pen, const std::string& text) {
  if (!pen.tab || !pen.hasText) return {pen.x, f.Width(text), &text};
  return Place(f, pen.tabPen, true, pen.tabX, text, f.Width(text));
}

// Where a text that is to end at `right` goes.
Placed EndingAt(const FontMeasure& f, const LinePen& pen, double right, const std::string& text) {
  const double width = f.Width(text);
  return Place(f, pen.x, pen.hasText, right - width, text, width);
}

// The pen past a text placed on its line.
void Past(LinePen& pen, const Placed& placed) {
  pen.x = placed.x + placed.width;
  pen.tab = 0;
  pen.hasText = true;
}

// Moves the pen to a tab column. A pen past the column with no text on its line goes to
// that column of the next line: endLine ends the line first. Half a twip of slack:
// positions worked out in twips land exactly on a column.
template <class EndLine>
void MoveToTab(LinePen& pen, int column, double tabX, EndLine endLine) {
  if (pen.x > tabX + 0.5 && !pen.hasText) endLine();
  pen.tabX = tabX;
  pen.tabPen = pen.x;
  if (pen.x <= tabX + 0.5) pen.x = tabX;
  pen.tab = column;
}

double TabX(int column, double columnWidth) { return (std::max(column, 1) - 1) * columnWidth; }

// Places the texts of a line one after the other, each at its column's place in the layout:
// placed(text, where it goes) must move the pen past it.
template <class Placed_, class EndLine>
void PlaceLine(const FontMeasure& f, const ColumnPlan* plan, LinePen& pen, const TextLine& line, Placed_ placed,
               EndLine endLine) {
  const auto laid = [&](double x) { return plan ? x + plan->Shift(x) : x; };
  for (const LineText& t : line) {
    if (t.tab > 0) {
      MoveToTab(pen, t.tab, laid(TabX(t.tab, f.column)), endLine);
      placed(t, AtPen(f, pen, t.text));
    } else if (t.right) {
      placed(t, EndingAt(f, pen, laid(*t.right), t.text));
    } else {
      placed(t, AtPen(f, pen, t.text));
    }
  }
}

// One constraint of the layout: the column at `to` must stand at least `room` further right
// than it is laid out, relative to the column at `from`.
struct Room {
  double from, to, room;
};

}  // namespace

double ColumnPlan::Shift(double x) const {
  // Half a twip of slack: positions worked out in twips land exactly on a column.
  auto after = std::upper_bound(shifts_.begin(), shifts_.end(), x + 0.5,
                                [](double v, const std::pair<double, double>& s) { return v < s.first; });
  return after == shifts_.begin() ? 0 : std::prev(after)->second;
}

// Each text due at a column (a tab's start, or the position it ends at) keeps the right end
// it is laid out with when its visible part starts a blank or more right of the text before;
// where a text over all the lines does not, its column moves right by what it lacks, and
// every column right of it by as much. The texts are then placed by the printing rule at
// their columns' new places, which measures the widest line: a text whose column comes
// before the one of the text before it (no such layout is known) still follows the pen.
void Printer::LayOut(const std::vector<TextLine>& lines, const std::vector<double>& reach) {
  const auto font = Font();
  const FontMeasure& f = *font;
  std::vector<Room> rooms;
  bool pushed = false;  // a text would not keep its place: the lines are placed again
  double widest = 0;
  for (const TextLine& line : lines) {
    // The line as laid out: the column and end of the last text, and of the last visible one.
    std::optional<std::pair<double, double>> last, lastVisible;
    double pen = 0, key = 0;
    bool hasText = false;
    for (const LineText& t : line) {
      const double width = f.Width(t.text);
      double due = pen;
      if (t.tab > 0) {
        due = key = TabX(t.tab, f.column);
      } else if (t.right) {
        due = *t.right - width;
        key = *t.right;
      }
      const size_t lead = std::min(t.text.find_first_not_of(' '), t.text.size());
      const bool visible = lead < t.text.size();
      if (visible && hasText && (t.tab > 0 || t.right)) {
        const double start = due + static_cast<double>(lead) * f.blank;
        for (const auto& before : {last, lastVisible}) {
          if (!before) continue;
          const double lacks = before->second + f.blank - start;
          if (lacks <= 0.5) continue;
          pushed = true;
          if (before->first < key) rooms.push_back({before->first, key, lacks});
        }
      }
      const double end = visible ? due + width : std::max(pen, due);
      pen = hasText ? std::max(pen, end) : end;
      hasText = true;
      last = {key, end};
      if (visible) lastVisible = last;
      widest = std::max(widest, pen);
    }
  }
  auto plan = std::make_shared<ColumnPlan>();
  if (!rooms.empty()) {
    std::sort(rooms.begin(), rooms.end(), [](const Room& a, const Room& b) { return a.to < b.to; });
    for (const Room& r : rooms) {
      const double shift = std::max(plan->Shift(r.to), plan->Shift(r.from) + r.room);
      if (shift <= plan->Shift(r.to)) continue;
      if (!plan->shifts_.empty() && std::abs(plan->shifts_.back().first - r.to) <= 0.5)
        plan->shifts_.back().second = shift;
      else
        plan->shifts_.emplace_back(r.to, shift);
    }
  }
  if (pushed) {
    widest = 0;
    for (const TextLine& line : lines) {
      LinePen p;
      PlaceLine(
          f, plan.get(), p, line,
          [&](const LineText&, const Placed& placed) {
            Past(p, placed);
            widest = std::max(widest, p.x);
          },
          [&] { p = {}; });
    }
  }
  for (double x : reach) widest = std::max(widest, x + plan->Shift(x));
  plan->widest_ = widest;
  SetLayout(std::move(plan));
}

void Printer::SetLayout(std::shared_ptr<const ColumnPlan> plan) {
  plan_ = std::move(plan);
  SetLayoutWidth(plan_ ? plan_->Widest() : 0);
}

void Printer::ClearLayout() { SetLayout(nullptr); }

std::shared_ptr<const FontMeasure> Printer::Font() const {
  for (const auto& f : fonts_)
    if (f->name == fontName_ && f->size == fontSize_ && f->bold == bold_) return f;
  auto f = std::make_shared<const FontMeasure>(fontName_, fontSize_, bold_, &Device(), DevicePerTwip());
  fonts_.push_back(f);
  return f;
}

double Printer::TextWidth(const std::string& text) const { return Font()->Width(text); }

std::string Printer::ElidedText(const std::string& text, double width) const {
  const auto f = Font();
  return f->metrics.elidedText(QString::fromStdString(text), Qt::ElideRight, std::max(0.0, width) * f->k).toStdString();
}

double Printer::TextHeight(const std::string&) const {
  const auto f = Font();
  return f->metrics.lineSpacing() / f->k;
}

double Printer::ColumnWidth() const { return Font()->column; }

void Printer::ResetPosition() {
  pen_ = {};
  y_ = 0;
}

// The PDF file the user names in the save box, with ".pdf" added when the name does not
// end in it. The box itself asks nothing about existing files: only the completed name
// says which file would be replaced, so the question comes after it, and "No" brings
// the box back. Giving up, or a name the program's check refuses (after its message),
// raise kJobCancelled.
std::string Printer::PdfFileName() {
  const std::string& redirect = Environment().redirectToPdf;
  if (!redirect.empty()) return redirect;
  ui::FileRequest req;
  req.kind = ui::FileDialogKind::Save;
  req.title = "Print to PDF";
  req.filters = {{"PDF files", "*.pdf"}};
  req.initialFolder = sys::ExistingFolderOrHome(StartFolder() ? StartFolder()() : std::string());
  const std::string cancelled = "Printing was cancelled: no file name was given for the PDF.";
  std::string file;
  for (;;) {
    const std::optional<std::string> name = ui::Ui().File(req);
    if (!name || name->empty()) Raise(kJobCancelled, cancelled);
    file = *name;
    if (!EndsWithPdf(file)) file += ".pdf";
    if (TargetCheck()) {
      if (const std::optional<std::string> refusal = TargetCheck()(file)) {
        ui::MsgBox(*refusal, ui::Buttons::OK, ui::Icon::Exclamation, "Print to PDF");
        Raise(kJobCancelled, "Printing was cancelled: " + *refusal);
      }
    }
    // What could not be replaced is refused before anyone is asked whether to replace it.
    if (const std::optional<std::string> refusal = sys::RefusalOfTarget(file)) {
      ui::MsgBox(*refusal, ui::Buttons::OK, ui::Icon::Exclamation, "Print to PDF");
      Raise(kJobCancelled, "Printing was cancelled: " + *refusal);
    }
    std::error_code ec;
    if (!std::filesystem::exists(file, ec) ||
        ui::MsgBox("A file named '" + file + "' already exists in this location. Do you want to replace it?",
                   ui::Buttons::YesNo, ui::Icon::Exclamation) == ui::Answer::Yes)
      break;
    const std::filesystem::path declined(file);
    req.initialFolder = declined.parent_path().string();
    req.fileName = declined.filename().string();
  }
  return file;
}

// The PDF goes to a scratch file beside the target, through that file's own descriptor,
// and takes the target's place in FinishPdf. Nothing but that new file is ever written:
// a target that is not an ordinary file (a link, a pipe, a device) is refused, now and
// when the PDF is put in place.
void Printer::OpenPdf(const std::string& target) {
  scratch_ = std::make_unique<sys::ScratchFile>(target);
  if (!pdfFile_->open(scratch_->Descriptor(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
    const std::string reason = pdfFile_->errorString().toStdString();
    scratch_.reset();
    Raise(kPrinterError, "The PDF file " + target + " cannot be written: " + reason);
  }
}

// Every byte of the finished PDF checked on its way to the disk, then the file put in
// its target's place. The reason of a failure, or the empty text.
std::string Printer::FinishPdf() {
  pdfFile_->flush();
  pdfFile_->close();
  std::string failure;
  if (pdfFile_->error() != QFileDevice::NoError) {
    failure = pdfFile_->errorString().toStdString();
  } else if (scratch_) {
    try {
      scratch_->Commit();
    } catch (const std::exception& e) {
      failure = CurrentErrorInfo(e).description;
    }
  }
  DropPdf();
  return failure;
}

// A fresh PDF device for the next job; an uncommitted scratch file goes with it.
void Printer::DropPdf() {
  pdfWriter_.reset();
  pdfFile_.reset();
  scratch_.reset();
}

void Printer::EnsureJob() {
  if (painter_) return;
  QPagedPaintDevice& dev = Device();
  if (pdfWriter_) {
    const std::string file = PdfFileName();
    OpenPdf(file);
    outputFile_ = file;
  }
  auto painter = std::make_unique<QPainter>();
  if (!painter->begin(&dev)) {
    outputFile_.clear();
    if (pdfWriter_) DropPdf();
    Raise(kPrinterError, "The printer " + device_ + " could not start the print job.");
  }
  painter_ = std::move(painter);
  ApplyFitScale();
  page_ = 1;
  Record({DrawCall::StartDoc, 0, 0, 0, 0, outputFile_, {}, 0, false, 0, 1, page_, 0, orientation_, scale_});
}

void Printer::Draw(const FontMeasure& font, const std::string& shown, double width) {
  if (!shown.empty()) {
    const double k = font.k;
    painter_->setFont(font.font);
    painter_->setPen(ToQColor(color_));
    painter_->drawText(QPointF(pen_.x * k, y_ * k + font.metrics.ascent()), QString::fromStdString(shown));
  }
  Record({DrawCall::Text, pen_.x, y_, 0, 0, shown, fontName_, fontSize_, bold_, color_, drawWidth_, page_, pen_.tab});
  Past(pen_, {pen_.x, width, &shown});
}

void Printer::PrintText(const std::string& text) {
  EnsureJob();
  const auto font = Font();
  const Placed placed = AtPen(*font, pen_, text);
  pen_.x = placed.x;
  Draw(*font, placed.Shown(), placed.width);
}

void Printer::PrintTextEndingAt(double right, const std::string& text) {
  EnsureJob();
  const auto font = Font();
  const Placed placed = EndingAt(*font, pen_, right, text);
  pen_.x = placed.x;
  pen_.tab = 0;
  Draw(*font, placed.Shown(), placed.width);
}

void Printer::TabTo(int column) {
  MoveToTab(pen_, std::max(column, 1), TabX(column, ColumnWidth()), [this] { EndLine(); });
}

void Printer::PrintLine(const TextLine& line, bool keepOpen) {
  EnsureJob();
  const auto font = Font();
  PlaceLine(
      *font, plan_.get(), pen_, line,
      [&](const LineText& t, const Placed& placed) {
        pen_.x = placed.x;
        if (!t.tab) pen_.tab = 0;
        Draw(*font, placed.Shown(), placed.width);
      },
      [this] { EndLine(); });
  if (!keepOpen) EndLine();
}

void Printer::EndLine() {
  pen_ = {};
  y_ += TextHeight();
}

void Printer::Print(std::initializer_list<Item> items, bool keepOpen) {
  for (const Item& item : items) {
    if (item.tab)
      TabTo(*item.tab);
    else
      PrintText(item.text);
  }
  if (!keepOpen) {
    if (items.size() == 0) EnsureJob();
    EndLine();
  }
}

void Printer::Line(double x1, double y1, double x2, double y2) {
  EnsureJob();
  const double k = DevicePerTwip();
  QPen pen(ToQColor(color_));
  pen.setWidthF(drawWidth_ * Resolution() / 600.0);
  pen.setCapStyle(Qt::FlatCap);
  painter_->setPen(pen);
  painter_->drawLine(QPointF(x1 * k, y1 * k), QPointF(x2 * k, y2 * k));
  Record({DrawCall::Line, x1, y1, x2, y2, {}, fontName_, fontSize_, bold_, color_, drawWidth_, page_});
  pen_ = {};
  pen_.x = x2;
  y_ = y2;
}

void Printer::NewPage() {
  EnsureJob();
  if (!Device().newPage()) Raise(kPrinterError, "The printer " + device_ + " could not start a new page.");
  ApplyFitScale();  // the page may have turned
  ++page_;
  ResetPosition();
  Record({DrawCall::NewPage, 0, 0, 0, 0, {}, {}, 0, false, 0, 1, page_, 0, orientation_, scale_});
}

void Printer::EndDoc() {
  if (!painter_) return;
  const bool ok = painter_->end();
  painter_.reset();
  Record({DrawCall::EndDoc, 0, 0, 0, 0, outputFile_, {}, 0, false, 0, 1, page_});
  const std::string file = outputFile_;
  const std::string failure = pdfWriter_ ? FinishPdf() : std::string();
  outputFile_.clear();
  page_ = 0;
  ResetPosition();
  if (!ok) Raise(kPrinterError, "The print job on " + device_ + " could not be completed.");
  if (!failure.empty()) Raise(kPrinterError, "The PDF file " + file + " could not be written: " + failure);
}

void Printer::KillDoc() {
  if (!painter_) return;
  if (qprinter_) qprinter_->abort();
  painter_->end();
  painter_.reset();
  Record({DrawCall::KillDoc, 0, 0, 0, 0, outputFile_, {}, 0, false, 0, 1, page_});
  // The abandoned job's scratch file goes; the file it was meant for is untouched.
  DropPdf();
  outputFile_.clear();
  page_ = 0;
  ResetPosition();
  // A fresh device for the next job: an aborted one cannot start again.
  qprinter_.reset();
}

// ------------------------------------------------------------------ installed printers

namespace {

struct PrinterState {
  std::unique_ptr<Printer> current;
};

PrinterState& State() {
  static PrinterState s;
  return s;
}

}  // namespace

std::vector<std::string> InstalledPrinters() {
  std::vector<std::string> names;
  if (Environment().systemPrinters) {
    names = *Environment().systemPrinters;
  } else {
    for (const QString& n : QPrinterInfo::availablePrinterNames()) names.push_back(n.toStdString());
  }
  names.erase(std::remove(names.begin(), names.end(), std::string(kPdfDevice)), names.end());
  names.push_back(kPdfDevice);
  return names;
}

Printer& Current() {
  PrinterState& s = State();
  if (!s.current) {
    std::string name = kPdfDevice;
    if (Environment().systemPrinters) {
      if (!Environment().systemPrinters->empty()) name = Environment().systemPrinters->front();
    } else {
      const QString def = QPrinterInfo::defaultPrinterName();
      if (!def.isEmpty()) name = def.toStdString();
    }
    s.current = std::make_unique<Printer>(name);
  }
  return *s.current;
}

bool SetCurrent(const std::string& deviceName) {
  const auto names = InstalledPrinters();
  if (std::find(names.begin(), names.end(), deviceName) == names.end()) return false;
  State().current = std::make_unique<Printer>(deviceName);
  return true;
}

}  // namespace qvx::printer
