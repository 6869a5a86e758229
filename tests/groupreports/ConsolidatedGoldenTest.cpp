// The group report over the sample group folder in five layouts, printed and as a
// workbook, compared with checked-in renderings.
#include <ostream>

#include "core/ReportRows.h"
#include "core/SelectPrinter.h"
#include "groupreports/ConsolidatedReport.h"
#include "groupreports/FilterCons.h"
#include "groupreports/GroupRunFixture.h"
#include "samples/SampleBooks.h"
#include "support/Golden.h"

namespace qvx::test {
namespace {

struct Layout {
  const char* name;
  bool separate, headers, average, whole, numbers;
  const char* side;
  int level = 4;
};
// Named in test listings by its name rather than its bytes, which change from build to build.
void PrintTo(const Layout& c, std::ostream* os) { *os << c.name; }

const Layout kLayouts[] = {
    {"one_column", false, false, false, false, false, "L"},
    {"columns_left_average_headers", true, true, true, true, true, "L"},
    {"columns_right_average", true, false, true, false, false, "R"},
    {"one_column_headers_numbers", false, true, false, true, true, "L"},
    // Only the sections: every total keeps its text, also where "Operating Profit" comes
    // between "Other Income" and its total (a file classes 4-3000 as other income).
    {"one_column_level_one", false, false, false, false, false, "L", 1},
};

class ConsolidatedGoldenTest : public GroupRunTest, public ::testing::WithParamInterface<Layout> {
 protected:
  void SetUp() override {
    GroupRunTest::SetUp();
    printer::Environment() = {};
    printer::Environment().systemPrinters = std::vector<std::string>{"Office Laser"};
    printer::Environment().redirectToPdf = Path("out.pdf");
    printer::Environment().recording = true;
    printer::SetCurrent("Office Laser");
    SelectPrinter::Instance() = SelectPrinter{};
    G.CurrentYear = 2026;
    G.BodyFont = 9;
    G.Underline = 2;
    Preferences& p = Preferences::Instance();
    p.BMSales = M("20000");
    p.BMGrossProfit = M("15000");
    p.BMNetProfit = M("5000");
    p.BMStaff = M("10");
    folder_ = Path("Group");
    samples::BuildGroupFolder(folder_, {.sample = samples::GroupSample::Cases});
  }
  void TearDown() override {
    printer::Current().KillDoc();
    printer::Environment() = {};
    GroupRunTest::TearDown();
  }

  // The dialog opens with these ticked: it takes its boxes from the options it keeps.
  void Options(const Layout& l, bool excel) {
    FilterCons& f = FilterCons::Instance();
    f.RoundWhole = l.whole ? kTrue : kFalse;
    f.ShowFigures = l.separate ? kTrue : kFalse;
    f.ShowHeaders = l.headers ? kTrue : kFalse;
    f.IncludeAverage = l.average;
    f.GroupColPosn = l.side;
    G.PrintAccountNumbers = l.numbers ? kTrue : kFalse;
    G.ExcelFile = excel ? kTrue : kFalse;
  }
  RunOptions Run(const Layout& l, bool excel) {
    Options(l, excel);
    RunOptions o;
    o.folder = folder_;
    o.excel = excel;
    o.separate = l.separate;
    o.headers = l.headers;
    o.level = l.level;
    return o;
  }
  std::string folder_;
};

TEST_P(ConsolidatedGoldenTest, Printed) {
  const Layout& l = GetParam();
  ReportRowsWritten = 0;
  // The printer is chosen at the first heading, after the two dialogs.
  GroupRunTest::Run(Run(l, false), [this] {
    ui_->QueueForm([](ui::Form& form) {
      auto& f = dynamic_cast<SelectPrinterForm&>(form);
      f.lstPrinters.setCurrentItem(f.lstPrinters.findItems("Office Laser", Qt::MatchExactly).front());
      f.cmdOK_Click();
    });
  });
  EXPECT_EQ(G.ReportOK, kTrue);
  EXPECT_GT(ReportRowsWritten, l.level == 1 ? 10 : 20);
  ExpectGolden(std::string("group_") + l.name + "_print", RenderPrinted(printer::Environment().calls));
}

TEST_P(ConsolidatedGoldenTest, Workbook) {
  const Layout& l = GetParam();
  GroupRunTest::Run(Run(l, true));
  ASSERT_EQ(G.ReportOK, kTrue);
  // The run has saved and closed its workbook: the same tables drawn once more, into a
  // workbook still open.
  G.HeadingMode = kTrue;
  G.NewPageFlag = kFalse;
  G.ReportOK = kFalse;
  G.PageNo = 0;
  G.LineCount = 0;
  G.PrintToPrinter = kFalse;
  G.PrintToExcel = kTrue;
  G.OutputType = "EXCEL";
  WriteConsolidatedReport(Consolidation);
  ASSERT_TRUE(G.xlBook);
  ExpectGolden(std::string("group_") + l.name + "_xlsx", RenderWorkbook(*G.xlBook));
  G.xlBook->Close();
  G.xlApp->Quit();
  G.xlSheet.reset();
  G.xlBook.reset();
  G.xlApp.reset();
  G.ExcelOpen = false;
}

INSTANTIATE_TEST_SUITE_P(Layouts, ConsolidatedGoldenTest, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<Layout>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qvx::test
