#include "core/FilterTickBoxes.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "companyfile/CompanyFileInfo.h"
#include "core/Globals.h"
#include "platform/sys/Sys.h"
#include "support/TestUi.h"

namespace qvx {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteBytes(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary);
  out << bytes;
}

class TickList : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    sys::SetProgramFolder(dir.path().toStdString());
    Company.CompanyKey = "Acme";
    G.NewPageFlag = kFalse;
    d = FilterTickBoxes();
  }
  void TearDown() override {
    sys::SetProgramFolder("");
    d = FilterTickBoxes();
  }

  fs::path File() const { return fs::path(dir.path().toStdString()) / "TBSettingsAcme.Txt"; }

  // A list whose entry k (0-based) stands for TickBoxValues[k + 1].
  void Fill(const std::string& caption, std::vector<int32_t> values) {
    d.Caption = caption;
    d.TickBoxValues = {0};
    d.Entries.clear();
    for (size_t k = 0; k < values.size(); ++k) {
      d.TickBoxValues.push_back(values[k]);
      d.Entries.push_back({"Entry " + std::to_string(k), static_cast<int32_t>(k + 1), false});
    }
    d.TotTBSub = static_cast<int32_t>(values.size());
  }

  // Shows the dialog and hands its window to the user's actions.
  void Run(const std::function<void(FilterTickBoxesForm&)>& user) {
    ui->QueueForm([&](ui::Form& f) { user(dynamic_cast<FilterTickBoxesForm&>(f)); });
    d.Show();
  }

  std::vector<bool> Ticks() const {
    std::vector<bool> t;
    for (auto& e : d.Entries) t.push_back(e.Selected);
    return t;
  }

  QTemporaryDir dir;
  test::ScriptedUiScope ui;
  FilterTickBoxes& d = FilterTickBoxes::Instance();
};

TEST_F(TickList, SavingReplacesOnlyItsOwnLinesAndLeavesNoTemporaryFile) {
  WriteBytes(File(), "GROU\t5\r\nDEPT\t9\r\n");
  Fill("Groups", {17, 5, 42});
  d.CanPreSelect = d.Showing = kTrue;
  Run([](FilterTickBoxesForm& f) {
    EXPECT_EQ(f.LblSel.text().toStdString(), "1 entries selected");  // 5 came from the file
    f.LstGroup.item(0)->setCheckState(Qt::Checked);
    f.LstGroup.item(1)->setCheckState(Qt::Unchecked);
    f.LstGroup.item(2)->setCheckState(Qt::Checked);
    f.Exit_Click();
    EXPECT_FALSE(f.Loaded());
  });
  EXPECT_EQ(ReadBytes(File()), "GROU\t17\r\nGROU\t42\r\nDEPT\t9\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(File().parent_path()), fs::directory_iterator()), 1);
  EXPECT_TRUE(d.ExitOkay);
  EXPECT_EQ(d.NbrSelected, 2);
  EXPECT_EQ(d.SelectionType, "GROU");
  EXPECT_EQ(d.TBFileName, "TBSettingsAcme.Txt");
  EXPECT_FALSE(d.CanPreSelect);
  EXPECT_FALSE(d.Showing);
  EXPECT_EQ(Ticks(), (std::vector<bool>{true, false, true}));
  EXPECT_TRUE(ui->Messages().empty());
}

TEST_F(TickList, RoundTripCreatesTheFileAndTicksTheSameEntriesNextTime) {
  Fill("dept list", {-3, 8, 8, 12});
  d.CanPreSelect = d.Showing = kTrue;
  Run([](FilterTickBoxesForm& f) {
    f.LstGroup.item(0)->setCheckState(Qt::Checked);
    f.LstGroup.item(1)->setCheckState(Qt::Checked);
    f.Exit_Click();
  });
  EXPECT_EQ(ReadBytes(File()), "DEPT\t-3\r\nDEPT\t8\r\n");

  // Next time: both entries standing for 8 are ticked, also the one not ticked before.
  Fill("Dept list", {-3, 8, 8, 12});
  d.CanPreSelect = d.Showing = kTrue;
  Run([](FilterTickBoxesForm& f) {
    EXPECT_EQ(f.LblSel.text().toStdString(), "3 entries selected");
    f.Command1_Click();
  });
  EXPECT_EQ(Ticks(), (std::vector<bool>{true, true, true, false}));
  EXPECT_FALSE(d.ExitOkay);
}

TEST_F(TickList, LoadingSkipsLinesOfOtherTypesAndLinesWithoutAValue) {
  WriteBytes(File(),
             "DEPT\t1\r\n"        // another type
             "GROU2\r\n"          // no tab
             "GROU\t\r\n"         // nothing after the tab
             "GROU\t99999999999\r\n"  // beyond a Long
             "GROU\tabc\r\n"      // not a number: value 0
             "GROU\t 4.6\n"       // rounded, LF line end
             "grou\t3\r\n");      // another type: types compare exactly
  Fill("Group", {1, 2, 3, 5, 0});
  d.CanPreSelect = d.Showing = kTrue;
  Run([](FilterTickBoxesForm& f) { f.Command1_Click(); });
  EXPECT_EQ(Ticks(), (std::vector<bool>{false, false, false, true, true}));
  EXPECT_TRUE(ui->Messages().empty());
}

TEST_F(TickList, WithoutPreSelectNothingIsReadOrWritten) {
  WriteBytes(File(), "GROU\t1\r\n");
  Fill("Groups", {1, 2});
  d.CanPreSelect = kFalse;
  d.Showing = kTrue;
  Run([](FilterTickBoxesForm& f) {
    EXPECT_EQ(f.LblSel.text().toStdString(), "No entries selected");
    f.LstGroup.item(1)->setCheckState(Qt::Checked);
    f.Exit_Click();
  });
  EXPECT_EQ(ReadBytes(File()), "GROU\t1\r\n");
  EXPECT_EQ(Ticks(), (std::vector<bool>{false, true}));

  // Showing not set: nothing is read either.
  d.CanPreSelect = kTrue;
  d.Showing = kFalse;
  Run([](FilterTickBoxesForm& f) {
    EXPECT_EQ(f.LblSel.text().toStdString(), "1 entries selected");  // the opener's own tick
    f.Command1_Click();
  });
  EXPECT_EQ(Ticks(), (std::vector<bool>{false, true}));
}

TEST_F(TickList, CountTextsAllNoneAndOkWithNothingTicked) {
  Fill("Groups", {});
  Run([](FilterTickBoxesForm& f) {
    f.CmdAll_Click();
    EXPECT_EQ(f.LblSel.text().toStdString(), "0 entries selected");
    f.CmdNone_Click();
    EXPECT_EQ(f.LblSel.text().toStdString(), "No entries selected");
    f.Command1_Click();
  });

  Fill("Groups", {1, 2, 3});
  Run([this](FilterTickBoxesForm& f) {
    f.LstGroup.item(2)->setCheckState(Qt::Checked);  // a click in the list
    EXPECT_EQ(f.LblSel.text().toStdString(), "1 entries selected");
    f.CmdNone_Click();
    f.Exit_Click();
    EXPECT_TRUE(f.Loaded());
    EXPECT_TRUE(d.ExitOkay);
    EXPECT_EQ(ui->Messages(), std::vector<std::string>{"Please select an entry or Cancel"});
    EXPECT_EQ(ui->shown.back().icon, ui::Icon::Information);
    f.CmdAll_Click();
    EXPECT_EQ(f.LblSel.text().toStdString(), "3 entries selected");
    f.Exit_Click();
    EXPECT_FALSE(f.Loaded());
  });
  EXPECT_EQ(d.NbrSelected, 3);
}

TEST_F(TickList, ShiftTicksFromTheFirstTickedEntryToTheClickedOne) {
  struct Case {
    std::vector<int> ticked;
    int shift;
    int clicked;
    std::vector<bool> expected;
  };
  const Case cases[] = {
      {{1, 4}, 1, 5, {false, true, true, true, true, true}},    // anchor is the first ticked
      {{3}, 1, 1, {false, false, false, true, false, false}},   // nothing ticked above
      {{0}, 3, 4, {true, false, false, false, false, false}},   // Shift with Ctrl
      {{0}, 0, 4, {true, false, false, false, false, false}},   // no Shift
      {{2}, 1, 2, {false, false, true, false, false, false}},   // clicked is the anchor
  };
  for (const auto& c : cases) {
    Fill("Groups", {1, 2, 3, 4, 5, 6});
    for (int k : c.ticked) d.Entries[static_cast<size_t>(k)].Selected = true;
    Run([&](FilterTickBoxesForm& f) {
      QString before = f.LblSel.text();
      f.LstGroup_MouseUp(c.shift, c.clicked);
      EXPECT_EQ(f.LblSel.text(), before);  // the range does not refresh the count
      f.Command1_Click();
    });
    EXPECT_EQ(Ticks(), c.expected) << "shift " << c.shift << " clicked " << c.clicked;
  }
}

TEST_F(TickList, NewPageChoiceIsShownAndKeptByOk) {
  Fill("Groups", {1});
  d.Entries[0].Selected = true;
  G.NewPageFlag = kTrue;
  Run([](FilterTickBoxesForm& f) {
    EXPECT_TRUE(f.ChkNewPage.isChecked());
    f.ChkNewPage.setChecked(false);
    f.Exit_Click();
  });
  EXPECT_EQ(G.NewPageFlag, kFalse);

  // Cancel leaves it.
  Run([](FilterTickBoxesForm& f) {
    f.ChkNewPage.setChecked(true);
    f.Command1_Click();
  });
  EXPECT_EQ(G.NewPageFlag, kFalse);
}

TEST_F(TickList, TheCloseBoxIsACancelEvenAfterAnEarlierOk) {
  Fill("Groups", {1});
  d.Entries[0].Selected = true;
  Run([](FilterTickBoxesForm& f) { f.Exit_Click(); });
  ASSERT_TRUE(d.ExitOkay);
  d.Showing = kTrue;
  Run([](FilterTickBoxesForm& f) { f.Form_QueryUnload(); });
  EXPECT_FALSE(d.ExitOkay);
  EXPECT_FALSE(d.Showing);
}

TEST_F(TickList, AFileThatCannotBeWrittenIsReportedAndTheOldOneKept) {
  // The settings name is taken by a folder: it can be neither read nor replaced.
  fs::create_directory(File());
  WriteBytes(File() / "inside", "x");
  Fill("Groups", {7});
  d.Entries[0].Selected = true;
  d.CanPreSelect = d.Showing = kTrue;
  Run([](FilterTickBoxesForm& f) { f.Exit_Click(); });
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_NE(ui->Messages()[0].find("TBSettingsAcme.Txt"), std::string::npos);
  EXPECT_TRUE(fs::is_directory(File()));
  EXPECT_EQ(ReadBytes(File() / "inside"), "x");
  EXPECT_TRUE(d.ExitOkay);  // the dialog ends as a successful OK does
  EXPECT_FALSE(d.CanPreSelect);
  fs::remove_all(File());

  // A file far beyond what a tick list takes (a log saved under its name): nothing is
  // read from it and it is not replaced.
  const std::string huge = "GROU\t7\r\n" + std::string(2 * 1024 * 1024, 'x');
  WriteBytes(File(), huge);
  ui->Clear();
  d.Entries[0].Selected = false;
  d.CanPreSelect = d.Showing = kTrue;
  Run([](FilterTickBoxesForm& f) {
    EXPECT_EQ(f.LblSel.text().toStdString(), "No entries selected");
    f.LstGroup.item(0)->setCheckState(Qt::Checked);
    f.Exit_Click();
  });
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_NE(ui->Messages()[0].find("larger than the 1024 KB"), std::string::npos) << ui->Messages()[0];
  EXPECT_EQ(ReadBytes(File()), huge);

  // A program folder that does not exist: the file cannot be created.
  sys::SetProgramFolder(dir.path().toStdString() + "/missing");
  ui->Clear();
  d.CanPreSelect = d.Showing = kTrue;
  Run([](FilterTickBoxesForm& f) { f.Exit_Click(); });
  EXPECT_EQ(ui->Messages().size(), 1u);
  EXPECT_FALSE(fs::exists(dir.path().toStdString() + "/missing"));
}

}  // namespace
}  // namespace qvx
