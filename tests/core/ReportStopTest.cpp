// A run whose company file can no longer be read ends at the read that found it, however
// far the report had got: the run's finish takes down the read's windows, abandons the
// print job (the user's printer back) and closes the workbook without saving it.
#include <filesystem>
#include <string>
#include <vector>

#include "core/OutputFixture.h"
#include "core/PageHeading.h"
#include "core/Progress.h"
#include "core/ReportOutput.h"
#include "core/ReportRun.h"

namespace qvx::test {
namespace {
namespace fs = std::filesystem;

class ReportStopTest : public OutputTest {};

TEST_F(ReportStopTest, AStoppedRunLeavesNoWindowNoPrintJobAndNoWorkbook) {
  const std::string stop = "The company file \"/data/Harbour.MYO\" was removed or renamed while it was open.";
  for (const bool excel : {false, true}) {
    SCOPED_TRACE(excel ? "workbook" : "printed");
    ui_->Clear();
    printer::Environment().calls.clear();
    printer::SetCurrent("Office Laser");
    G.PrintToPrinter = Flag(!excel);
    G.PrintToExcel = Flag(excel);
    G.ExcelFile = Flag(excel);
    G.ChoosePrinter = Flag(!excel);
    G.HeadingMode = kTrue;
    G.PageNo = 0;
    G.PrintCancelled = kFalse;
    G.ExcelRow = 1;
    G.OutputFolder = folder_ + "/";
    G.OutputFileName = "Stopped.XLSX";
    if (!excel) QueuePrinterChoice("Reception");
    const bool completed = RunReport([&] {
      // A page with a line on it, then a read with both windows up.
      if (excel) StartExcel(ExcelObjects::FromGlobals(), "L");
      PrintReportHeading();
      if (excel) G.xlSheet->Cells(G.ExcelRow, 1).SetValue("Sales");
      G.ReportOK = kTrue;
      ASSERT_TRUE(excel ? G.ExcelOpen : printer::Current().JobStarted());
      Progress::Instance().SetCaption("Reading transactions ...");
      Progress::Instance().Show();
      G.ProgressShown = true;
      ReadingDBase::Instance().Show();
      StopReport(stop);
      ADD_FAILURE() << "the report went on after its stop";
    });
    EXPECT_FALSE(completed);
    EXPECT_FALSE(Progress::Instance().Loaded());
    EXPECT_FALSE(ReadingDBase::Instance().Loaded());
    EXPECT_FALSE(printer::Current().JobStarted());
    EXPECT_EQ(printer::Current().DeviceName(), "Office Laser");
    EXPECT_FALSE(fs::exists(Path("out.pdf")));
    if (!excel) {
      ASSERT_FALSE(printer::Environment().calls.empty());
      EXPECT_EQ(printer::Environment().calls.back().kind, printer::DrawCall::KillDoc);
    }
    EXPECT_FALSE(G.ExcelOpen);
    EXPECT_FALSE(G.xlBook);
    EXPECT_FALSE(fs::exists(Path("Stopped.XLSX")));
    EXPECT_TRUE(shell_.opened.empty());
    EXPECT_EQ(ui_->Messages(), std::vector<std::string>{stop});
  }
}

}  // namespace
}  // namespace qvx::test
