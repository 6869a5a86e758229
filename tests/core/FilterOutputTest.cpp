#include "core/FilterOutput.h"

#include <functional>

#include <gtest/gtest.h>

#include "core/Globals.h"
#include "support/TestUi.h"

namespace qvx {
namespace {

class FilterOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    G.PrintToPrinter = kTrue;
    G.PrintToExcel = kFalse;
    G.ExcelFile = kFalse;
    G.OutputType = "";
    G.ExcelVersion = 2007;
    G.OutputFolder = "";
    G.OutputFileName = "";
    G.DialogOK = kFalse;
  }
  void Run(const std::function<void(FilterOutputForm&)>& user) {
    ui->QueueForm([&](ui::Form& f) { user(dynamic_cast<FilterOutputForm&>(f)); });
    FilterOutput::Instance().Show();
  }
  test::ScriptedUiScope ui;
};

TEST_F(FilterOutputTest, StartsWithTheCurrentChoice) {
  for (int16_t excel : {kFalse, kTrue}) {
    G.PrintToExcel = excel;
    Run([&](FilterOutputForm& f) {
      EXPECT_EQ(f.windowTitle().toStdString(), "Output Options");
      EXPECT_EQ(f.OptExcel.isChecked(), excel != 0);
      EXPECT_EQ(f.OptPrinter.isChecked(), excel == 0);
      f.Command1_Click();
    });
    EXPECT_EQ(G.DialogOK, kFalse);
    EXPECT_EQ(G.PrintToExcel, excel);
  }
}

TEST_F(FilterOutputTest, PrinterChoice) {
  G.PrintToExcel = kTrue;
  G.PrintToPrinter = kFalse;
  G.ExcelFile = kTrue;
  Run([](FilterOutputForm& f) {
    f.OptPrinter.setChecked(true);
    f.Exit_Click();
  });
  EXPECT_EQ(G.DialogOK, kTrue);
  EXPECT_EQ(G.PrintToPrinter, kTrue);
  EXPECT_EQ(G.PrintToExcel, kFalse);
  EXPECT_EQ(G.ExcelFile, kFalse);
  EXPECT_TRUE(ui->fileRequests.empty());
}

TEST_F(FilterOutputTest, ExcelChoiceAsksForTheFileAndStaysOpenUntilOneIsChosen) {
  ui->QueueFile(std::nullopt);                          // the save dialog cancelled
  ui->QueueFile(std::string("/tmp/Q1 Report.xlsx"));   // a name that is refused
  ui->QueueFile(std::string("/tmp/Budget.2025.xls"));  // accepted as Budget.XLSX
  Run([](FilterOutputForm& f) {
    f.OptExcel.setChecked(true);
    f.Exit_Click();
    EXPECT_TRUE(f.Loaded());
    EXPECT_EQ(G.PrintToExcel, kTrue);  // the Excel choice is already set
    f.Exit_Click();
    EXPECT_TRUE(f.Loaded());
    f.Exit_Click();
    EXPECT_FALSE(f.Loaded());
  });
  EXPECT_EQ(ui->fileRequests.size(), 3u);
  EXPECT_EQ(G.DialogOK, kTrue);
  EXPECT_EQ(G.PrintToExcel, kTrue);
  EXPECT_EQ(G.PrintToPrinter, kFalse);
  EXPECT_EQ(G.ExcelFile, kTrue);
  EXPECT_EQ(G.OutputType, "EXCEL");
  EXPECT_EQ(G.OutputFileName, "Budget.XLSX");
}

TEST_F(FilterOutputTest, CancelAfterAFailedFileChoiceLeavesThePrinter) {
  const std::function<void(FilterOutputForm&)> ways[] = {
      [](FilterOutputForm& f) { f.Command1_Click(); },
      [](FilterOutputForm& f) { f.close(); },
  };
  for (const auto& way : ways) {
    G.DialogOK = kTrue;  // an earlier answer must not stand
    ui->QueueFile(std::nullopt);
    Run([&](FilterOutputForm& f) {
      f.OptExcel.setChecked(true);
      f.Exit_Click();
      EXPECT_TRUE(f.Loaded());
      way(f);
    });
    EXPECT_EQ(G.DialogOK, kFalse);
    EXPECT_EQ(G.PrintToPrinter, kTrue);
    EXPECT_EQ(G.PrintToExcel, kFalse);
    EXPECT_EQ(G.ExcelFile, kFalse);
    EXPECT_EQ(G.OutputType, "");
  }
}

}  // namespace
}  // namespace qvx
