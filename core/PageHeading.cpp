#include "core/PageHeading.h"

#include <algorithm>
#include <chrono>
#include <ctime>

#include "core/CompanyFileData.h"
#include "core/SelectPrinter.h"
#include "platform/excel/Excel.h"
#include "platform/printer/Printer.h"
#include "platform/runtime/Runtime.h"
#include "platform/sys/Clock.h"
#include "platform/ui/Ui.h"

namespace qvx {

ReportHeadingArgs ReportHeadingArgs::FromGlobals() {
  return {G.ChoosePrinter, G.HeadingMode, G.NewPageFlag, G.RptTitle,  G.LeadingCols, G.xlSheet,
          G.MergeCols,     G.SkipDateLine, G.LineCount,  G.ExcelRow, G.PrintCopies,  G.PrintCancelled};
}

void PrintReportHeading() { PrintReportHeading(ReportHeadingArgs::FromGlobals()); }

void CentreText(printer::Printer& device, const std::string& text) {
  device.SetCurrentX(static_cast<double>(CLng(device.ScaleWidth()) / 2 - CLng(device.TextWidth(text)) / 2));
}

void MergeHeadingCells(excel::Worksheet& sheet, const std::string& columnLetters, int32_t row, std::string& first,
                       std::string& last) {
  first = columnLetters.empty() ? "F" : Left(columnLetters, 1);
  last = columnLetters.empty() ? "H" : Right(columnLetters, 1);
  const int c1 = excel::ColumnNumber(first), c2 = excel::ColumnNumber(last);
  sheet.GetRange(sheet.Cells(row, c1), sheet.Cells(row, c2)).Merge();
  sheet.Cells(row, c1).SetHorizontalAlignment(excel::xlCenter);
}

void RestorePrinter() {
  if (!G.SavedPrinterName.empty()) printer::SetCurrent(G.SavedPrinterName);
}

namespace {

constexpr uint32_t kBlack = 0;
constexpr uint32_t kPrinterBlue = printer::RGB(0, 0, 128);
constexpr uint32_t kPrinterRed = printer::RGB(128, 0, 0);
constexpr uint32_t kSheetBlue = 0xFF0000;
constexpr uint32_t kSheetRed = 0x0000FF;

std::string NowText(const char* format) {
  const std::time_t t = std::chrono::system_clock::to_time_t(sys::Now());
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, format, &tm);
  return buf;
}

void PrintCentred(printer::Printer& p, const std::string& text) {
  CentreText(p, text);
  p.Print({text});
}

void PrinterContinuation(printer::Printer& p, const ReportHeadingArgs& a) {
  p.Print({});
  a.LineCount += 1;
  p.SetFontSize(G.BodyFont);
  p.SetFontBold(true);
  p.Print({printer::Tab{5}, a.RptTitle}, true);
  // The name, centred, keeps a space clear of the title before it and of the page number.
  const double pageX = p.ScaleWidth() - 1000;
  const double half = std::min(p.ScaleWidth() / 2 - p.CurrentX(), pageX - p.ScaleWidth() / 2) - p.TextWidth(" ");
  const std::string name = p.ElidedText(G.DataSetCompany, 2 * half);
  CentreText(p, name);
  p.Print({name}, true);
  p.SetCurrentX(pageX);
  p.Print({"Page" + Str(static_cast<int64_t>(G.PageNo))});
  p.Print({"  "});
  p.SetFontBold(false);
  a.LineCount += 2;
}

void PrinterFull(printer::Printer& p, const ReportHeadingArgs& a) {
  p.Print({});
  p.SetFontSize(14);
  p.SetFontBold(true);
  p.SetForeColor(kPrinterBlue);
  PrintCentred(p, p.ElidedText(G.DataSetCompany, p.ScaleWidth()));
  p.SetFontBold(false);
  p.SetForeColor(kBlack);
  a.LineCount = 2;
  p.SetFontSize(12);
  for (int i = 1; i <= 5; ++i) {
    if (Company.AddressLines[static_cast<size_t>(i)].empty()) continue;
    PrintCentred(p, Company.AddressLines[static_cast<size_t>(i)]);
    a.LineCount += 1;
  }
  p.Print({});
  a.LineCount += 1;
  if (!a.RptTitle.empty()) {
    p.SetFontSize(14);
    p.SetFontBold(true);
    p.SetForeColor(kPrinterRed);
    PrintCentred(p, a.RptTitle);
    p.SetForeColor(kBlack);
    a.LineCount += 1;
    p.Print({});
    a.LineCount += 1;
  }
  if (!G.PeriodText.empty()) {
    PrintCentred(p, G.PeriodText);
    a.LineCount += 1;
  }
  if (!a.SkipDateLine) {
    p.SetFontSize(G.BodyFont);
    p.SetFontBold(false);
    p.Print({" " + NowText(G.DateFormat == "DMY" ? "%d/%m/%Y" : "%m/%d/%Y")});
    p.Print({" " + NowText("%H:%M:%S")});
    a.LineCount += 4;
  }
}

void SheetLine(excel::Worksheet& sheet, const ReportHeadingArgs& a, const std::string& text, bool bold,
               std::optional<uint32_t> color) {
  std::string first, last;
  MergeHeadingCells(sheet, a.MergeCols, a.ExcelRow, first, last);
  excel::Range cell = sheet.Cells(a.ExcelRow, excel::ColumnNumber(first));
  if (bold) {
    cell.Font().SetBold(true);
    cell.Font().SetSize(12);
  }
  if (color) cell.Font().SetColor(*color);
  cell.SetText(text);
}

void SheetFull(excel::Worksheet& sheet, const ReportHeadingArgs& a) {
  SheetLine(sheet, a, G.DataSetCompany, true, kSheetBlue);
  a.ExcelRow += 1;
  a.LineCount = 1;
  for (int i = 1; i <= 5; ++i) {
    if (Company.AddressLines[static_cast<size_t>(i)].empty()) continue;
    SheetLine(sheet, a, Company.AddressLines[static_cast<size_t>(i)], false, std::nullopt);
    a.ExcelRow += 1;
  }
  a.ExcelRow += 1;
  if (!a.RptTitle.empty()) {
    SheetLine(sheet, a, a.RptTitle, true, kSheetRed);
    a.ExcelRow += 2;
  }
  if (!G.PeriodText.empty()) {
    SheetLine(sheet, a, G.PeriodText, true, std::nullopt);
    a.ExcelRow += 2;
  }
}

excel::Worksheet& SheetOf(const ReportHeadingArgs& a) {
  if (!a.xlSheet) Raise(err::ObjectNotSet);
  return *a.xlSheet;
}

void Heading(const ReportHeadingArgs& a) {
  const bool toPrinter = G.PrintToPrinter != 0;
  const bool toSheet = G.PrintToExcel != 0;
  if (a.ChoosePrinter && toPrinter) {
    a.PrintCancelled = kFalse;
    G.SavedPrinterName = printer::Current().DeviceName();
    // The report's layout goes with it to the printer chosen.
    const auto layout = printer::Current().Layout();
    SelectPrinter& sp = SelectPrinter::Instance();
    sp.ShowModal();
    a.ChoosePrinter = kFalse;
    if (sp.Cancelled) {
      a.PrintCancelled = kTrue;
      return;
    }
    printer::SetCurrent(sp.SelectedPrinterName);
    printer::Printer& p = printer::Current();
    p.SetCopies(sp.Copies);
    p.SetOrientation(G.PrintOrientation);
    p.SetLayout(layout);
    a.PrintCopies = sp.Copies;
    p.SetFontName("Arial");
  }
  if (a.PrintCancelled || a.HeadingMode == kHeadingNone) return;

  if (toPrinter) {
    printer::Printer& p = printer::Current();
    if (a.NewPageFlag) p.NewPage();
    p.SetFontName("Arial");
    a.LineCount = 0;
  }
  a.NewPageFlag = kFalse;
  G.PageNo = static_cast<int16_t>(G.PageNo + 1);

  const bool full = a.HeadingMode == kHeadingFull || (a.HeadingMode == kTrue && G.PageNo == 1);
  if (!full) {
    if (toPrinter) PrinterContinuation(printer::Current(), a);
    if (toSheet) a.ExcelRow += 1;
    return;
  }
  if (toPrinter) PrinterFull(printer::Current(), a);
  if (toSheet) SheetFull(SheetOf(a), a);
}

}  // namespace

void PrintReportHeading(const ReportHeadingArgs& args) {
  try {
    Heading(args);
  } catch (const std::exception& e) {
    // A user who gives up naming the PDF file has cancelled, as with the printer choice.
    const ErrorInfo info = CurrentErrorInfo(e);
    if (info.number != printer::kJobCancelled) ui::MsgBox("An error has occurred - " + info.description, ui::Buttons::OK);
    args.PrintCancelled = kTrue;
  }
  args.HeadingMode = 0;
  if (G.PrintToExcel) args.LineCount = args.ExcelRow;
}

}  // namespace qvx
