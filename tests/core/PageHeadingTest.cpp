#include "core/PageHeading.h"

#include <cmath>

#include "core/OutputFixture.h"
#include "core/ReportOutput.h"

namespace qvx::test {
namespace {

class PageHeadingTest : public OutputTest {
 protected:
  void StartReport(bool excel) {
    G.ChoosePrinter = kTrue;
    G.HeadingMode = kTrue;
    G.NewPageFlag = kFalse;
    G.PageNo = 0;
    G.RptTitle = "Budget Comparison";
    G.PrintCancelled = kFalse;
    G.PrintToPrinter = Flag(!excel);
    G.PrintToExcel = Flag(excel);
    G.ExcelFile = Flag(excel);
    G.ExcelRow = 1;
    if (excel) StartExcel(ExcelObjects::FromGlobals(), "L");
  }
};

TEST_F(PageHeadingTest, PrintedHeadingsFullThenContinuationThenFullAgain) {
  StartReport(false);
  QueuePrinterChoice("Reception");
  PrintReportHeading();
  EXPECT_EQ(G.ChoosePrinter, kFalse);
  EXPECT_EQ(G.PrintCancelled, kFalse);
  EXPECT_EQ(G.HeadingMode, 0);
  EXPECT_EQ(G.SavedPrinterName, "Office Laser");
  EXPECT_EQ(printer::Current().DeviceName(), "Reception");
  EXPECT_EQ(G.PrintCopies, 1);
  // Empty line and company (2), two address lines, an empty line, title and an empty
  // line, the period, and the date and time lines counted as four.
  EXPECT_EQ(G.LineCount, 12);
  EXPECT_EQ(G.PageNo, 1);

  auto texts = Texts();
  ASSERT_GE(texts.size(), 7u);
  const printer::DrawCall& company = texts[0];
  EXPECT_EQ(company.text, "Harbour Traders Pty Ltd");
  EXPECT_EQ(company.fontSize, 14);
  EXPECT_TRUE(company.bold);
  EXPECT_EQ(company.color, printer::RGB(0, 0, 128));
  EXPECT_EQ(company.fontName, "Arial");
  // Centred: half the printable width less half the text's width.
  printer::Printer& p = printer::Current();
  p.SetFontSize(14);
  p.SetFontBold(true);
  EXPECT_NEAR(company.x, std::floor(p.ScaleWidth() / 2) - std::floor(p.TextWidth(company.text) / 2), 1.0);
  EXPECT_EQ(texts[1].text, "12 Wharf Street");
  EXPECT_EQ(texts[1].fontSize, 12);
  EXPECT_FALSE(texts[1].bold);
  EXPECT_EQ(texts[3].text, "Budget Comparison");
  EXPECT_EQ(texts[3].color, printer::RGB(128, 0, 0));
  EXPECT_EQ(texts[4].text, G.PeriodText);
  EXPECT_TRUE(texts[4].bold);
  EXPECT_EQ(texts[5].text, " 07/12/2026");
  EXPECT_EQ(texts[5].fontSize, 9);
  EXPECT_EQ(texts[6].text, " 14:05:09");
  // Lines go down the page in order.
  for (size_t i = 1; i < 7; ++i) EXPECT_GT(texts[i].y, texts[i - 1].y);

  // Page 2: continuation heading on a new page.
  printer::Environment().calls.clear();
  G.NewPageFlag = kTrue;
  PrintReportHeading();
  EXPECT_EQ(G.NewPageFlag, kFalse);
  EXPECT_EQ(G.LineCount, 3);
  texts = Texts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0].text, "Budget Comparison");
  p.SetFontSize(9);
  p.SetFontBold(true);
  EXPECT_NEAR(texts[0].x, 4 * p.ColumnWidth(), 0.01);  // column 5 of the bold body font
  EXPECT_EQ(texts[0].page, 2);
  EXPECT_EQ(texts[1].text, "Harbour Traders Pty Ltd");
  EXPECT_EQ(texts[1].y, texts[0].y);
  EXPECT_EQ(texts[2].text, "Page 2");
  EXPECT_NEAR(texts[2].x, printer::Current().ScaleWidth() - 1000, 0.01);
  EXPECT_EQ(texts[3].text, "  ");

  // -2 prints nothing and does not count a page; -3 prints the full heading again.
  G.HeadingMode = kHeadingNone;
  G.NewPageFlag = kTrue;
  PrintReportHeading();
  EXPECT_EQ(G.PageNo, 2);
  EXPECT_EQ(G.HeadingMode, 0);
  G.HeadingMode = kHeadingFull;
  PrintReportHeading();
  EXPECT_EQ(G.PageNo, 3);
  EXPECT_EQ(G.LineCount, 12);
  G.HeadingMode = 0;
  G.NewPageFlag = kTrue;
  PrintReportHeading();

  G.ReportOK = kTrue;
  EndReportOutput();
  EXPECT_EQ(printer::Current().DeviceName(), "Office Laser");
  const std::string pdf = Path("out.pdf");
  EXPECT_NE(PdfText(pdf, 1).find("Harbour Traders Pty Ltd"), std::string::npos);
  EXPECT_NE(PdfText(pdf, 1).find("07/12/2026"), std::string::npos);
  EXPECT_NE(PdfText(pdf, 2).find("Page 2"), std::string::npos);
  EXPECT_NE(PdfText(pdf, 3).find("Port Lincoln SA 5606"), std::string::npos);
  EXPECT_NE(PdfText(pdf, 4).find("Page 4"), std::string::npos);
  EXPECT_TRUE(ui_->Messages().empty());
}

// The longest company name the settings allow, printed portrait and landscape: shortened
// where it would not fit, it stays within the printable width, and on a continuation page
// clear of the title and the page number.
TEST_F(PageHeadingTest, ALongCompanyNameStaysWithinThePrintableWidth) {
  std::string name;
  while (name.size() < 255) name += "Clearwater Trading " + std::to_string(name.size()) + " ";
  name.resize(255);
  for (const int orientation : {printer::kPortrait, printer::kLandscape}) {
    SCOPED_TRACE(orientation);
    printer::Current().KillDoc();
    printer::Environment().calls.clear();
    G.PrintOrientation = static_cast<int16_t>(orientation);
    G.DataSetCompany = name;
    StartReport(false);
    QueuePrinterChoice("PDF");
    PrintReportHeading();
    G.NewPageFlag = kTrue;
    PrintReportHeading();
    printer::Printer& p = printer::Current();
    const auto right = [&p](const printer::DrawCall& c) {
      p.SetFontSize(c.fontSize);
      p.SetFontBold(c.bold);
      return c.x + p.TextWidth(c.text);
    };
    const auto texts = Texts();
    std::vector<printer::DrawCall> names, continuation;
    for (const auto& c : texts) {
      EXPECT_GE(c.x, 0) << c.text;
      EXPECT_LE(right(c), p.ScaleWidth()) << c.text;
      if (c.text.starts_with("Clearwater Trading 0 ")) names.push_back(c);
      if (c.page == 2) continuation.push_back(c);
    }
    ASSERT_EQ(names.size(), 2u);
    for (const auto& c : names) EXPECT_TRUE(c.text.ends_with("\u2026")) << c.text;
    ASSERT_EQ(continuation.size(), 4u);  // title, name, page number, blank
    EXPECT_EQ(continuation[1].text, names[1].text);
    EXPECT_LT(right(continuation[0]), continuation[1].x);
    EXPECT_LT(right(continuation[1]), continuation[2].x);
    EXPECT_EQ(continuation[2].text, "Page 2");
    G.ReportOK = kTrue;
    EndReportOutput();
    EXPECT_NE(PdfText(Path("out.pdf"), 1).find("Clearwater Trading 0 Clearwater Trading 21"), std::string::npos);
  }
}

TEST_F(PageHeadingTest, MonthFirstDatesAndNoTitleOrPeriod) {
  StartReport(false);
  G.DateFormat = "MDY";
  G.RptTitle.clear();
  G.PeriodText.clear();
  Company.AddressLines = {};
  QueuePrinterChoice("PDF");
  PrintReportHeading();
  EXPECT_EQ(G.LineCount, 2 + 1 + 4);
  auto texts = Texts();
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[1].text, " 12/07/2026");
}

TEST_F(PageHeadingTest, CancellingThePrinterChoiceStopsThePrinting) {
  StartReport(false);
  QueuePrinterChoice(std::nullopt);
  PrintReportHeading();
  EXPECT_EQ(G.PrintCancelled, kTrue);
  EXPECT_EQ(G.ChoosePrinter, kFalse);
  EXPECT_EQ(G.HeadingMode, 0);
  EXPECT_EQ(G.PageNo, 0);
  EXPECT_TRUE(printer::Environment().calls.empty());
  EXPECT_EQ(SelectPrinter::Instance().SelectedPrinterName, "");
  // The report then ends: no job, no message, the printer as it was.
  EndReportOutput();
  EXPECT_TRUE(printer::Environment().calls.empty());
  EXPECT_TRUE(ui_->Messages().empty());
  EXPECT_EQ(printer::Current().DeviceName(), "Office Laser");
  EXPECT_FALSE(std::filesystem::exists(Path("out.pdf")));
}

TEST_F(PageHeadingTest, ClosingThePrinterDialogIsCancel) {
  StartReport(false);
  ui_->QueueForm([](ui::Form& f) { f.close(); });
  PrintReportHeading();
  EXPECT_EQ(G.PrintCancelled, kTrue);
}

TEST_F(PageHeadingTest, PrinterListPreselection) {
  struct Case {
    std::vector<std::string> system;
    std::string remembered;
    std::vector<std::string> listed;
    std::string selected;
  } cases[] = {
      {{}, "", {"PDF"}, "PDF"},                                                     // only the PDF device
      {{"Office Laser", "Reception"}, "", {"Office Laser", "Reception", "PDF"}, "Office Laser"},  // current
      {{"Office Laser", "Reception"}, "Reception", {"Office Laser", "Reception", "PDF"}, "Reception"},
      {{"Office Laser"}, "Gone", {"Office Laser", "PDF"}, "Office Laser"},          // first entry
  };
  for (const auto& c : cases) {
    printer::Environment().systemPrinters = c.system;
    printer::SetCurrent(c.listed.front());
    SelectPrinter::Instance().SelectedPrinterName = c.remembered;
    std::vector<std::string> listed;
    std::string selected;
    ui_->QueueForm([&](ui::Form& f) {
      auto& form = dynamic_cast<SelectPrinterForm&>(f);
      EXPECT_EQ(form.windowTitle().toStdString(), "Printer Selection");
      for (int i = 0; i < form.lstPrinters.count(); ++i) listed.push_back(form.lstPrinters.item(i)->text().toStdString());
      selected = form.lstPrinters.currentItem()->text().toStdString();
      form.cmdOK_Click();
    });
    SelectPrinter::Instance().ShowModal();
    EXPECT_EQ(listed, c.listed);
    EXPECT_EQ(selected, c.selected);
    EXPECT_EQ(SelectPrinter::Instance().SelectedPrinterName, c.selected);
    EXPECT_EQ(SelectPrinter::Instance().Cancelled, kFalse);
  }
}

TEST_F(PageHeadingTest, WorksheetHeadingInMergedCentredCells) {
  StartReport(true);
  G.MergeCols = "BD";
  PrintReportHeading();
  EXPECT_EQ(G.ChoosePrinter, kTrue);  // no printer choice for a workbook
  EXPECT_TRUE(ui_->shown.empty());
  // Company 1, address 2-3, empty 4, title 5, empty 6, period 7, two rows on: 9.
  EXPECT_EQ(G.ExcelRow, 9);
  EXPECT_EQ(G.LineCount, 9);
  excel::Worksheet& ws = *G.xlSheet;
  EXPECT_EQ(ws.Cells(1, 2).Text(), "Harbour Traders Pty Ltd");
  EXPECT_TRUE(ws.Cells(1, 2).Font().Bold());
  EXPECT_EQ(ws.Cells(1, 2).Font().Size(), 12);
  EXPECT_EQ(ws.Cells(1, 2).Font().Color(), 0xFF0000u);
  EXPECT_EQ(ws.Cells(1, 2).HorizontalAlignment(), excel::xlCenter);
  EXPECT_EQ(ws.Cells(3, 2).Text(), "Port Lincoln SA 5606");
  EXPECT_FALSE(ws.Cells(3, 2).Font().Bold());
  EXPECT_EQ(ws.Cells(5, 2).Text(), "Budget Comparison");
  EXPECT_EQ(ws.Cells(5, 2).Font().Color(), 255u);
  EXPECT_EQ(ws.Cells(7, 2).Text(), G.PeriodText);
  ASSERT_EQ(ws.MergedAreas().size(), 5u);
  for (auto& m : ws.MergedAreas()) {
    EXPECT_EQ(m.c1, 2);
    EXPECT_EQ(m.c2, 4);
  }
  // Continuation pages move one row down and write nothing.
  const size_t cells = ws.AllCells().size();
  PrintReportHeading();
  EXPECT_EQ(G.ExcelRow, 10);
  EXPECT_EQ(G.LineCount, 10);
  EXPECT_EQ(ws.AllCells().size(), cells);

  std::string first, last;
  MergeHeadingCells(ws, "", 20, first, last);
  EXPECT_EQ(first + last, "FH");
  EXPECT_EQ(ws.MergedAreas().back().c1, 6);
  EXPECT_EQ(ws.MergedAreas().back().c2, 8);
}

TEST_F(PageHeadingTest, AFailingHeadingIsReportedAndStopsTheReport) {
  StartReport(true);
  G.xlSheet.reset();
  PrintReportHeading();
  EXPECT_EQ(G.PrintCancelled, kTrue);
  EXPECT_EQ(G.HeadingMode, 0);
  ASSERT_EQ(ui_->Messages().size(), 1u);
  EXPECT_EQ(ui_->Messages()[0].rfind("An error has occurred - ", 0), 0u);
}

}  // namespace
}  // namespace qvx::test
