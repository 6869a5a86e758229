// The group report's options dialog and its folder picker, played through the scripted
// user interface.
#include "groupreports/FilterCons.h"

#include <filesystem>
#include <fstream>
#include <functional>

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "core/Globals.h"
#include "core/ReportRun.h"
#include "support/TestUi.h"

namespace qvx {
namespace {

class FilterConsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    folder = dir.path().toStdString() + "/";
    G = Globals{};
    G.ReportCode = "CONPL";
    G.ExcelVersion = 2007;
    G.PrintToPrinter = kTrue;
    G.PrintLevel = 2;
    G.ConsPath = folder;
    fc = FilterCons{};
    FilePath::Instance() = FilePath{};
  }
  void Run(const std::function<void(FilterConsForm&)>& user) {
    ui->QueueForm([&](ui::Form& f) { user(dynamic_cast<FilterConsForm&>(f)); });
    fc.Show();
  }

  QTemporaryDir dir;
  std::string folder;
  FilterCons& fc = FilterCons::Instance();
  test::ScriptedUiScope ui;
};

TEST_F(FilterConsTest, LoadsTheSettings) {
  fc.RoundWhole = kTrue;
  fc.ShowFigures = kTrue;
  fc.ShowHeaders = kFalse;
  fc.IncludeAverage = true;
  G.PrintAccountNumbers = kTrue;
  G.ConsGroupName = "NORTH";
  G.ConsReportName = "Board pack";
  for (const std::string& side : std::vector<std::string>{"R", "L", "", "r"}) {
    SCOPED_TRACE(side);
    G.ExcelFile = kTrue;
    fc.GroupColPosn = side;
    fc.ExitOkay = true;
    Run([&](FilterConsForm& f) {
      EXPECT_EQ(f.windowTitle().toStdString(), "Report Options");
      EXPECT_FALSE(fc.ExitOkay);
      EXPECT_EQ(f.LblFolder.text().toStdString(), folder);
      EXPECT_TRUE(f.ChkWhole.isChecked());
      EXPECT_TRUE(f.ChkSeparate.isChecked());
      EXPECT_FALSE(f.ChkHdrs.isChecked());
      EXPECT_TRUE(f.ChkAverage.isChecked());
      EXPECT_TRUE(f.ChkAverage.isEnabled());
      EXPECT_TRUE(f.ChkAcNbr.isChecked());
      EXPECT_TRUE(f.ChkExcelFile.isChecked());
      EXPECT_EQ(f.ChkGroupRight.isChecked(), side == "R");
      EXPECT_EQ(f.TxtGroup.text().toStdString(), "NORTH");
      EXPECT_EQ(f.TxtTitle.text().toStdString(), "Board pack");
      ASSERT_EQ(f.CmbLevel.count(), 4);
      EXPECT_EQ(f.CmbLevel.currentText().toStdString(), "Level 4");
      EXPECT_EQ(G.ReportHelpID, 3100);
      f.ChkExcelFile.setChecked(false);
      f.Exit_Click();
    });
    EXPECT_TRUE(fc.ExitOkay);
    EXPECT_EQ(fc.GroupColPosn, side == "R" ? "R" : "L");
    EXPECT_EQ(G.PrintLevel, 4);
  }
}

TEST_F(FilterConsTest, AverageFollowsCompanyFigures) {
  fc.ShowFigures = kFalse;
  fc.IncludeAverage = true;
  Run([&](FilterConsForm& f) {
    EXPECT_FALSE(f.ChkAverage.isEnabled());
    EXPECT_FALSE(f.ChkAverage.isChecked());
    f.ChkSeparate.setChecked(true);
    EXPECT_TRUE(f.ChkAverage.isEnabled());
    EXPECT_FALSE(f.ChkAverage.isChecked());
    f.ChkAverage.setChecked(true);
    f.ChkSeparate.setChecked(false);
    EXPECT_FALSE(f.ChkAverage.isEnabled());
    EXPECT_FALSE(f.ChkAverage.isChecked());
    f.Exit_Click();
  });
  EXPECT_FALSE(fc.IncludeAverage);
  EXPECT_EQ(fc.ShowFigures, kFalse);
}

TEST_F(FilterConsTest, OkStoresEveryOptionOrAsksForTheFolder) {
  G.ConsPath = "";
  const auto user = [&](FilterConsForm& f) {
    f.ChkWhole.setChecked(true);
    f.Exit_Click();
    f.Exit_Click();
    EXPECT_TRUE(f.Loaded());
    EXPECT_EQ(fc.RoundWhole, kFalse);
    G.ConsPath = folder;
    f.ChkSeparate.setChecked(true);
    f.ChkAverage.setChecked(true);
    f.ChkHdrs.setChecked(true);
    f.ChkAcNbr.setChecked(true);
    f.ChkGroupRight.setChecked(true);
    f.TxtGroup.setText(" south ");
    f.TxtTitle.setText("Group P&L");
    f.CmbLevel.setCurrentIndex(1);
    f.Exit_Click();
    EXPECT_FALSE(f.Loaded());
  };
  // In a report run, whose repeated boxes come once: a dialog's box answers each click.
  RunReport([&] { Run(user); });
  EXPECT_EQ(ui->Messages(),
            (std::vector<std::string>{"Please select a Company file folder", "Please select a Company file folder"}));
  EXPECT_TRUE(fc.ExitOkay);
  EXPECT_EQ(fc.RoundWhole, kTrue);
  EXPECT_EQ(fc.ShowFigures, kTrue);
  EXPECT_EQ(fc.ShowHeaders, kTrue);
  EXPECT_TRUE(fc.IncludeAverage);
  EXPECT_EQ(G.PrintAccountNumbers, kTrue);
  EXPECT_EQ(fc.GroupColPosn, "R");
  EXPECT_EQ(G.ConsGroupName, " south ");
  EXPECT_EQ(G.ConsReportName, "Group P&L");
  EXPECT_EQ(G.PrintLevel, 2);
  EXPECT_EQ(G.PrintToPrinter, kTrue);
  EXPECT_EQ(G.PrintToExcel, kFalse);
  EXPECT_EQ(G.ExcelFile, kFalse);
}

TEST_F(FilterConsTest, CancelAfterAFailedWorkbookChoiceStoresNothing) {
  for (bool closeBox : {false, true}) {
    SCOPED_TRACE(closeBox);
    G.PrintToPrinter = kTrue;
    G.PrintToExcel = kFalse;
    G.ExcelFile = kFalse;
    G.OutputType = "";
    G.ConsGroupName = "NORTH";
    ui->QueueFile(std::nullopt);  // the save dialog cancelled
    Run([&](FilterConsForm& f) {
      f.ChkExcelFile.setChecked(true);
      f.ChkWhole.setChecked(true);
      f.TxtGroup.setText("SOUTH");
      f.Exit_Click();
      EXPECT_TRUE(f.Loaded());
      EXPECT_FALSE(fc.ExitOkay);
      EXPECT_EQ(G.PrintToExcel, kTrue);
      EXPECT_EQ(G.OutputType, "EXCEL");
      if (closeBox)
        f.Form_QueryUnload();
      else
        f.Command1_Click();
    });
    EXPECT_FALSE(fc.ExitOkay);
    EXPECT_EQ(G.PrintToPrinter, kTrue);
    EXPECT_EQ(G.PrintToExcel, kFalse);
    EXPECT_EQ(G.ExcelFile, kFalse);
    EXPECT_EQ(G.OutputType, "");
    EXPECT_EQ(fc.RoundWhole, kFalse);
    EXPECT_EQ(G.ConsGroupName, "NORTH");
  }
  // And a workbook chosen: Excel output.
  ui->QueueFile(folder + "Group.xlsx");
  Run([&](FilterConsForm& f) {
    f.ChkExcelFile.setChecked(true);
    f.Exit_Click();
    EXPECT_FALSE(f.Loaded());
  });
  EXPECT_TRUE(fc.ExitOkay);
  EXPECT_EQ(G.PrintToPrinter, kFalse);
  EXPECT_EQ(G.PrintToExcel, kTrue);
  EXPECT_EQ(G.ExcelFile, kTrue);
  EXPECT_EQ(G.OutputFileName, "Group.XLSX");
}

TEST_F(FilterConsTest, FolderButtonPicksACompanyFile) {
  const std::string data = folder + "Data/";
  std::filesystem::create_directories(data);
  std::ofstream(data + "Co1.MYO") << "x";
  ui->QueueFile(data + "Co1.MYO");
  ui->QueueFile(std::nullopt);
  ui->QueueFile(std::string("Bare.MYO"));
  Run([&](FilterConsForm& f) {
    f.CmdFile1_Click();  // first use: starts in the settings' folder
    EXPECT_EQ(f.LblFolder.text().toStdString(), data);
    f.CmdFile1_Click();  // cancelled: nothing changes
    f.CmdFile1_Click();  // a name without a folder
    f.Command1_Click();
  });
  ASSERT_EQ(ui->fileRequests.size(), 3u);
  const ui::FileRequest& first = ui->fileRequests[0];
  EXPECT_EQ(first.kind, ui::FileDialogKind::Open);
  EXPECT_EQ(first.initialFolder, folder);
  EXPECT_EQ(first.fileName, "");
  ASSERT_EQ(first.filters.size(), 2u);
  EXPECT_EQ(first.filters[0].description, "MYOB files(*.MYO)");
  EXPECT_EQ(first.filters[0].patterns, "*.MYO");
  EXPECT_EQ(first.filters[1].description, "All files (*.*)");
  EXPECT_EQ(first.filterIndex, 0);
  // The second starts where the first choice was made, with that file preselected.
  EXPECT_EQ(ui->fileRequests[1].initialFolder, data);
  EXPECT_EQ(ui->fileRequests[1].fileName, data + "Co1.MYO");
  // The folder chosen stays even though the dialog was cancelled.
  EXPECT_FALSE(fc.ExitOkay);
  EXPECT_EQ(G.ConsPath, data);
  EXPECT_EQ(fc.ConsPickedFile, "Bare.MYO");
  EXPECT_EQ(FilePath::Instance().NewPath, data);
  EXPECT_EQ(FilePath::Instance().TxtRptFile, "Bare.MYO");
  EXPECT_EQ(G.FileChosen, kTrue);
}

}  // namespace
}  // namespace qvx
