// The golden-output facility on a small made-up report: its renderings are stable, match
// their checked-in files, and any change a reviewer must see (a figure, a column, the
// font, the order of lines, a cell's format or border) makes the comparison fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/excel/Excel.h"
#include "platform/printer/Printer.h"
#include "support/Golden.h"
#include "support/TestUi.h"

namespace qvx::test {
namespace {

namespace fs = std::filesystem;

// What the made-up page varies, one knob per kind of change a golden file must catch.
struct PageVariant {
  std::string salesFigure = "1,234.00";
  int figureColumn = 40;
  bool headingBold = true;
  bool swapLines = false;
  bool rule = true;
};

std::string PrintedPage(const PageVariant& v) {
  const std::string dir = [] {
    std::string t = (fs::temp_directory_path() / "qvx_golden_XXXXXX").string();
    return std::string(::mkdtemp(t.data()));
  }();
  printer::Environment() = {};
  printer::Environment().systemPrinters = std::vector<std::string>{};
  printer::Environment().redirectToPdf = dir + "/page.pdf";
  printer::Environment().recording = true;
  {
    printer::Printer p(printer::kPdfDevice);
    p.SetFontName("Arial");
    p.SetFontSize(12);
    p.SetFontBold(v.headingBold);
    p.SetCurrentX(2880);
    p.Print({"Budget Comparison"});
    p.SetFontSize(9);
    p.SetFontBold(false);
    auto line = [&](const std::string& number, const std::string& name, const std::string& figure) {
      p.Print({printer::Tab{2}, number, printer::Tab{10}, name, printer::Tab{v.figureColumn}, figure});
    };
    if (v.swapLines) {
      line("4-2000", "Services", "56.50");
      line("4-1000", "Sales", v.salesFigure);
    } else {
      line("4-1000", "Sales", v.salesFigure);
      line("4-2000", "Services", "56.50");
    }
    if (v.rule) p.Line(5000, p.CurrentY(), 7000, p.CurrentY());
    p.NewPage();
    p.Print({"Page 2"});
    p.EndDoc();
  }
  std::string text = RenderPrinted(printer::Environment().calls);
  printer::Environment() = {};
  fs::remove_all(dir);
  return text;
}

struct SheetVariant {
  double sales = 1234;
  std::string format = "#,##0.00";
  bool totalBorder = true;
  double width = 30;
};

std::string Workbook(const SheetVariant& v) {
  excel::Workbook book;
  auto& s = book.Worksheets(1);
  s.PageSetup().Orientation = excel::xlLandscape;
  s.GetRange("A1:C1").Merge();
  s.Cells(1, 1).SetValue("Budget Comparison");
  s.Cells(1, 1).Font().SetBold(true);
  s.Cells(1, 1).SetHorizontalAlignment(excel::xlCenter);
  s.Columns("A").SetColumnWidth(v.width);
  s.Cells(3, 1).SetValue("Sales");
  s.Cells(3, 2).SetValue(v.sales);
  s.Cells(4, 1).SetValue("Services");
  s.Cells(4, 2).SetValue(56.5);
  s.GetRange("B3:B5").SetNumberFormat(v.format);
  s.Cells(5, 2).SetFormula("=SUM(B3:B4)");
  if (v.totalBorder) s.Cells(5, 2).Borders(excel::xlEdgeTop).SetLineStyle(excel::xlContinuous);
  s.Cells(6, 3).Borders(excel::xlEdgeBottom).SetLineStyle(excel::xlContinuous);
  s.HPageBreaks().Add(s.Cells(6, 1));
  s.Recalculate();
  return RenderWorkbook(book);
}

// Each change of the made-up output must fail against the golden file, and its diff must
// show the changed text.
template <class Variant>
struct Change {
  const char* what;
  std::function<void(Variant&)> change;
  const char* seen;  // a text the diff must show
};
template <class Variant>
void ExpectEachChangeFails(const std::string& golden, std::string (*render)(const Variant&),
                           const std::vector<Change<Variant>>& changes) {
  for (const auto& c : changes) {
    Variant v;
    c.change(v);
    const auto diff = GoldenDifference(golden, render(v));
    ASSERT_TRUE(diff.has_value()) << c.what;
    EXPECT_NE(diff->find(c.seen), std::string::npos) << c.what << ":\n" << *diff;
  }
}

TEST(GoldenFacility, PrintedPageMatchesItsFileAndEveryChangeFails) {
  ScriptedUiScope ui;
  const std::string golden = PrintedPage({});
  EXPECT_EQ(golden, PrintedPage({})) << "the rendering must not vary between runs";
  ExpectGolden("facility_printed_page", golden);

  ExpectEachChangeFails<PageVariant>("facility_printed_page", PrintedPage, {
      {"a changed figure", [](PageVariant& v) { v.salesFigure = "1,243.00"; }, "1,243.00"},
      {"a figure in another column", [](PageVariant& v) { v.figureColumn = 41; }, "c41"},
      {"a heading no longer bold", [](PageVariant& v) { v.headingBold = false; }, "{Arial 12}"},
      {"two lines in the other order", [](PageVariant& v) { v.swapLines = true; }, "Services"},
      {"a lost rule", [](PageVariant& v) { v.rule = false; }, "rule"},
  });
}

TEST(GoldenFacility, WorkbookMatchesItsFileAndEveryChangeFails) {
  const std::string golden = Workbook({});
  ExpectGolden("facility_workbook", golden);
  // The independent figure: the total's worked-out value is the sum of the two amounts.
  EXPECT_NE(golden.find("formula \"=SUM(B3:B4)\" =1290.5"), std::string::npos) << golden;

  ExpectEachChangeFails<SheetVariant>("facility_workbook", Workbook, {
      {"a changed amount", [](SheetVariant& v) { v.sales = 1243; }, "1243"},
      {"another number format", [](SheetVariant& v) { v.format = "0.00"; }, "fmt=\"0.00\""},
      {"a lost border", [](SheetVariant& v) { v.totalBorder = false; }, "borders=T"},
      {"another column width", [](SheetVariant& v) { v.width = 31; }, "A=31"},
  });
}

TEST(GoldenFacility, MissingFileIsADifference) {
  const auto diff = GoldenDifference("facility_no_such_file", "anything\n");
  ASSERT_TRUE(diff.has_value());
  EXPECT_NE(diff->find("missing"), std::string::npos);
}

}  // namespace
}  // namespace qvx::test
