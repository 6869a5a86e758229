#include "platform/printer/Printer.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPen>
#include <QPrinter>
#include <QPrinterInfo>

#include "platform/runtime/Runtime.h"
#include "platform/ui/Ui.h"

namespace qvx::printer {
namespace {

constexpr int kPrinterError = 482;
constexpr double kTwipsPerPoint = 20.0;
// The PDF device's unprintable edge, as a desktop printer has one.
constexpr double kPdfMarginPoints = 18.0;

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

}  // namespace

PrinterEnvironment& Environment() {
  static PrinterEnvironment env;
  return env;
}

Printer::Printer(std::string deviceName) : device_(std::move(deviceName)) {}

Printer::~Printer() {
  // A job nobody ended is finished, so that nothing drawn is silently lost.
  if (painter_) painter_->end();
}

QPrinter& Printer::Device() const {
  if (!qprinter_) {
    qprinter_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    const bool toPdf = device_ == kPdfDevice || !Environment().redirectToPdf.empty();
    if (toPdf) {
      qprinter_->setOutputFormat(QPrinter::PdfFormat);
      qprinter_->setPageMargins(QMarginsF(kPdfMarginPoints, kPdfMarginPoints, kPdfMarginPoints, kPdfMarginPoints),
                                QPageLayout::Point);
    } else {
      qprinter_->setPrinterName(QString::fromStdString(device_));
    }
    qprinter_->setPageOrientation(orientation_ == kLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    qprinter_->setCopyCount(copies_);
  }
  return *qprinter_;
}

double Printer::DevicePerTwip() const { return Device().resolution() / 1440.0; }

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
  if (!painter_) Device().setCopyCount(copies);
}

double Printer::ScaleWidth() const {
  return Device().pageLayout().paintRect(QPageLayout::Point).width() * kTwipsPerPoint;
}

double Printer::ScaleHeight() const {
  return Device().pageLayout().paintRect(QPageLayout::Point).height() * kTwipsPerPoint;
}

namespace {
QFont MakeFont(const std::string& name, double size, bool bold) {
  QFont f(QString::fromStdString(name));
  f.setPointSizeF(size);
  f.setBold(bold);
  f.setKerning(false);  // widths add up character by character, as the layouts assume
  return f;
}
}  // namespace

double Printer::TextWidth(const std::string& text) const {
  QFontMetricsF fm(MakeFont(fontName_, fontSize_, bold_), &Device());
  return fm.horizontalAdvance(QString::fromStdString(text)) / DevicePerTwip();
}

double Printer::TextHeight(const std::string&) const {
  QFontMetricsF fm(MakeFont(fontName_, fontSize_, bold_), &Device());
  return fm.lineSpacing() / DevicePerTwip();
}

double Printer::ColumnWidth() const {
  QFontMetricsF fm(MakeFont(fontName_, fontSize_, bold_), &Device());
  double sum = fm.horizontalAdvance(QChar(' ')) * kAverageWeights[0];
  for (int i = 1; i <= 26; ++i) sum += fm.horizontalAdvance(QChar('a' + i - 1)) * kAverageWeights[i];
  const double twips = sum / 1000.0 / DevicePerTwip();
  return std::max(1.0, std::round(twips / kTwipsPerRasterDot)) * kTwipsPerRasterDot;
}

void Printer::ResetPosition() {
  x_ = 0;
  y_ = 0;
  tab_ = 0;
}

void Printer::EnsureJob() {
  if (painter_) return;
  QPrinter& dev = Device();
  const std::string& redirect = Environment().redirectToPdf;
  if (!redirect.empty()) {
    outputFile_ = redirect;
  } else if (device_ == kPdfDevice) {
    ui::FileRequest req;
    req.kind = ui::FileDialogKind::Save;
    req.title = "Print to PDF";
    req.filters = {{"PDF files", "*.pdf"}};
    req.promptOverwrite = true;
    std::optional<std::string> name = ui::Ui().File(req);
    if (!name || name->empty()) Raise(kPrinterError, "Printing was cancelled: no file name was given for the PDF.");
    outputFile_ = *name;
    if (std::filesystem::path(outputFile_).extension().empty()) outputFile_ += ".pdf";
  }
  if (!outputFile_.empty()) dev.setOutputFileName(QString::fromStdString(outputFile_));
  dev.setCopyCount(copies_);
  auto painter = std::make_unique<QPainter>();
  if (!painter->begin(&dev)) {
    outputFile_.clear();
    Raise(kPrinterError, "The printer " + device_ + " could not start the print job.");
  }
  painter_ = std::move(painter);
  page_ = 1;
  Record({DrawCall::StartDoc, 0, 0, 0, 0, outputFile_, {}, 0, false, 0, 1, page_, 0, orientation_});
}

void Printer::PrintText(const std::string& text) {
  EnsureJob();
  const QFont font = MakeFont(fontName_, fontSize_, bold_);
  const double k = DevicePerTwip();
  QFontMetricsF fm(font, &Device());
  if (!text.empty()) {
    painter_->setFont(font);
    painter_->setPen(ToQColor(color_));
    painter_->drawText(QPointF(x_ * k, y_ * k + fm.ascent()), QString::fromStdString(text));
  }
  Record({DrawCall::Text, x_, y_, 0, 0, text, fontName_, fontSize_, bold_, color_, drawWidth_, page_, tab_});
  tab_ = 0;
  x_ += fm.horizontalAdvance(QString::fromStdString(text)) / k;
}

void Printer::TabTo(int column) {
  if (column < 1) column = 1;
  const double target = (column - 1) * ColumnWidth();
  // Half a twip of slack: positions worked out in twips land exactly on a column.
  if (x_ > target + 0.5) EndLine();
  x_ = target;
  tab_ = column;
}

void Printer::EndLine() {
  x_ = 0;
  tab_ = 0;
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
  pen.setWidthF(drawWidth_ * Device().resolution() / 600.0);
  pen.setCapStyle(Qt::FlatCap);
  painter_->setPen(pen);
  painter_->drawLine(QPointF(x1 * k, y1 * k), QPointF(x2 * k, y2 * k));
  Record({DrawCall::Line, x1, y1, x2, y2, {}, fontName_, fontSize_, bold_, color_, drawWidth_, page_});
  x_ = x2;
  y_ = y2;
  tab_ = 0;
}

void Printer::NewPage() {
  EnsureJob();
  if (!Device().newPage()) Raise(kPrinterError, "The printer " + device_ + " could not start a new page.");
  ++page_;
  ResetPosition();
  Record({DrawCall::NewPage, 0, 0, 0, 0, {}, {}, 0, false, 0, 1, page_, 0, orientation_});
}

void Printer::EndDoc() {
  if (!painter_) return;
  const bool ok = painter_->end();
  painter_.reset();
  Record({DrawCall::EndDoc, 0, 0, 0, 0, outputFile_, {}, 0, false, 0, 1, page_});
  outputFile_.clear();
  page_ = 0;
  ResetPosition();
  if (!ok) Raise(kPrinterError, "The print job on " + device_ + " could not be completed.");
}

void Printer::KillDoc() {
  if (!painter_) return;
  Device().abort();
  painter_->end();
  painter_.reset();
  Record({DrawCall::KillDoc, 0, 0, 0, 0, outputFile_, {}, 0, false, 0, 1, page_});
  // The abandoned job's half-written PDF goes; a device or anything else that is not a
  // plain file (a job sent to /dev/null) is never removed.
  if (!outputFile_.empty()) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(std::filesystem::symlink_status(outputFile_, ec))) std::filesystem::remove(outputFile_, ec);
  }
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
