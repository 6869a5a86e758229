// The preferences dialog driven as a user would: open, change boxes, OK or Cancel.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/Globals.h"
#include "core/Preferences.h"
#include "support/TestUi.h"

namespace qvx {
namespace {

class PreferencesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    G.PTLines = 68;
    G.LSLines = 58;
    G.QtyDecimals = 0;
    G.Underline = 2;
    G.SpacesForZeroes = kFalse;
    auto& p = Preferences::Instance();
    p = Preferences{};
    p.BMSales = Money::FromUnits(1000);
    p.BMGrossProfit = Money::FromUnits(400);
    p.BMNetProfit = Money::FromUnits(100);
    p.BMStaff = Money::FromUnits(5);
  }

  // Opens the dialog and lets `user` play the user on its window.
  void Open(std::function<void(PreferencesForm&)> user) {
    ui_->QueueForm([user](ui::Form& f) { user(dynamic_cast<PreferencesForm&>(f)); });
    Preferences::Instance().Show();
  }

  test::ScriptedUiScope ui_;
};

struct LineCase {
  const char* name;
  QLineEdit PreferencesForm::*box;
  const char* text;
  int16_t Globals::*setting;
  int16_t expected;
};

TEST_F(PreferencesTest, LineAndSizeBoxesTakeOnlyValuesInRangeSilently) {
  const LineCase cases[] = {
      {"portrait below", &PreferencesForm::TxtPT, "35", &Globals::PTLines, 68},
      {"portrait lowest", &PreferencesForm::TxtPT, "36", &Globals::PTLines, 36},
      {"portrait highest", &PreferencesForm::TxtPT, "119", &Globals::PTLines, 119},
      {"portrait above", &PreferencesForm::TxtPT, "120", &Globals::PTLines, 68},
      {"half down to even", &PreferencesForm::TxtPT, "70.5", &Globals::PTLines, 70},
      {"half up to even", &PreferencesForm::TxtPT, "71.5", &Globals::PTLines, 72},
      {"leading number", &PreferencesForm::TxtPT, "65 lines", &Globals::PTLines, 65},
      {"landscape below", &PreferencesForm::TxtLS, "25", &Globals::LSLines, 58},
      {"landscape lowest", &PreferencesForm::TxtLS, "26", &Globals::LSLines, 26},
      {"landscape highest", &PreferencesForm::TxtLS, "79", &Globals::LSLines, 79},
      {"landscape above", &PreferencesForm::TxtLS, "80", &Globals::LSLines, 58},
      {"decimals empty", &PreferencesForm::TxtQD, "", &Globals::QtyDecimals, 0},
      {"decimals highest", &PreferencesForm::TxtQD, "4", &Globals::QtyDecimals, 4},
      {"decimals above", &PreferencesForm::TxtQD, "5", &Globals::QtyDecimals, 0},
      {"underline zero", &PreferencesForm::TxtUT, "0", &Globals::Underline, 2},
      {"underline nine", &PreferencesForm::TxtUT, "9", &Globals::Underline, 9},
      {"underline ten", &PreferencesForm::TxtUT, "10", &Globals::Underline, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    ui_->Clear();
    Open([&](PreferencesForm& w) {
      (w.*c.box).setText(c.text);
      w.Exit_Click();
    });
    EXPECT_EQ(G.*c.setting, c.expected);
    EXPECT_TRUE(ui_->Messages().empty());
    EXPECT_EQ(Preferences::Instance().ExitOkay, kTrue);
  }
}

struct RefusalCase {
  const char* name;
  QLineEdit PreferencesForm::*box;
  const char* text;
  const char* named;  // the box's caption the message must name
};

TEST_F(PreferencesTest, OkRefusesNumbersItCannotHoldAndChangesNothing) {
  const RefusalCase cases[] = {
      {"portrait too large", &PreferencesForm::TxtPT, "40000", "Lines per page (Portrait)"},
      {"landscape too small", &PreferencesForm::TxtLS, "-40000", "Lines per page (Landscape)"},
      {"decimals huge", &PreferencesForm::TxtQD, "1e9", "Decimals for Quantities"},
      {"underline too large", &PreferencesForm::TxtUT, "32768", "Underline thickness"},
      {"sales not a number", &PreferencesForm::TxtBMSales, "lots", "Sales"},
      {"sales empty", &PreferencesForm::TxtBMSales, "", "Sales"},
      {"gross profit two points", &PreferencesForm::TxtBMGrossProfit, "1.2.3", "Gross Profit"},
      {"net profit beyond currency", &PreferencesForm::TxtBMNetProfit, "9999999999999999", "Net Profit"},
      {"staff beyond currency", &PreferencesForm::TxtBMStaff, "1e300", "Full Time Staff"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    ui_->Clear();
    bool stayedOpen = false;
    Open([&](PreferencesForm& w) {
      // Valid changes elsewhere must not be stored while one box is refused.
      w.ChkSpaceZero.setChecked(true);
      if (c.box != &PreferencesForm::TxtLS) w.TxtLS.setText("30");
      w.OptUser.setChecked(true);
      w.OptUser_Click();
      (w.*c.box).setText(c.text);
      w.Exit_Click();
      stayedOpen = w.Loaded();
      w.Command1_Click();
    });
    EXPECT_TRUE(stayedOpen);
    ASSERT_EQ(ui_->Messages().size(), 1u);
    EXPECT_NE(ui_->Messages()[0].find(std::string("\"") + c.named + "\""), std::string::npos) << ui_->Messages()[0];
    EXPECT_EQ(ui_->shown.back().title, "Preferences");
    EXPECT_EQ(G.SpacesForZeroes, kFalse);
    EXPECT_EQ(G.LSLines, 58);
    EXPECT_EQ(G.PTLines, 68);
    EXPECT_EQ(Preferences::Instance().BMSetting, "");
    EXPECT_EQ(Preferences::Instance().BMSales, Money::FromUnits(1000));
    EXPECT_EQ(Preferences::Instance().ExitOkay, kFalse);
  }
}

struct BenchmarkCase {
  const char* name;
  QLineEdit PreferencesForm::*box;
  const char* text;
  Money Preferences::*field;
  Money expected;
};

TEST_F(PreferencesTest, BenchmarkBoxesReadAsAmounts) {
  const BenchmarkCase cases[] = {
      {"plain", &PreferencesForm::TxtBMSales, "250000", &Preferences::BMSales, Money::FromUnits(250000)},
      {"separators and cents", &PreferencesForm::TxtBMSales, " 1,250,000.55 ", &Preferences::BMSales,
       Money::FromRaw(12500005500)},
      {"currency sign", &PreferencesForm::TxtBMGrossProfit, "$2,000", &Preferences::BMGrossProfit,
       Money::FromUnits(2000)},
      {"brackets negative", &PreferencesForm::TxtBMNetProfit, "(300)", &Preferences::BMNetProfit,
       Money::FromUnits(-300)},
      {"minus negative", &PreferencesForm::TxtBMNetProfit, "-12.5", &Preferences::BMNetProfit, Money::FromRaw(-125000)},
      {"staff with words", &PreferencesForm::TxtBMStaff, "12 staff", &Preferences::BMStaff, Money::FromUnits(12)},
      {"staff empty", &PreferencesForm::TxtBMStaff, "", &Preferences::BMStaff, Money{}},
      {"staff fraction", &PreferencesForm::TxtBMStaff, "2.5", &Preferences::BMStaff, Money::FromRaw(25000)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    ui_->Clear();
    Open([&](PreferencesForm& w) {
      (w.*c.box).setText(c.text);
      w.Exit_Click();
    });
    EXPECT_TRUE(ui_->Messages().empty());
    EXPECT_EQ(Preferences::Instance().*c.field, c.expected);
  }
}

TEST_F(PreferencesTest, OpeningShowsTheSettings) {
  G.SpacesForZeroes = kTrue;
  G.Underline = 7;
  Preferences::Instance().BMSetting = "U";
  Preferences::Instance().BMSales = Money::FromRaw(12500005000);
  Open([](PreferencesForm& w) {
    EXPECT_TRUE(w.ChkSpaceZero.isChecked());
    EXPECT_TRUE(w.ChkBackup.isChecked());
    EXPECT_FALSE(w.ChkBackup.isEnabled());
    EXPECT_EQ(w.TxtPT.text(), "68");
    EXPECT_EQ(w.TxtLS.text(), "58");
    EXPECT_EQ(w.TxtQD.text(), "0");
    EXPECT_EQ(w.TxtUT.text(), "7");
    EXPECT_TRUE(w.OptUser.isChecked());
    EXPECT_FALSE(w.TxtBMSales.isEnabledTo(&w.FrameBMark));
    EXPECT_FALSE(w.TxtBMStaff.isEnabledTo(&w.FrameBMark));
    EXPECT_EQ(w.TxtBMSales.text(), "1250000.5");
    EXPECT_EQ(w.TxtBMStaff.text(), "5");
    EXPECT_EQ(w.TabStrip1.currentIndex(), 0);
    EXPECT_FALSE(w.FrameGen.isHidden());
    EXPECT_TRUE(w.FrameLines.isHidden());
    EXPECT_FALSE(w.FrameLines.isEnabled());
    EXPECT_EQ(w.HelpContextID, 1600);
    w.Exit_Click();
  });
  // The disabled benchmark boxes are still taken, and the user choice kept.
  EXPECT_EQ(Preferences::Instance().BMSetting, "U");
  EXPECT_EQ(Preferences::Instance().BMSales, Money::FromRaw(12500005000));
  EXPECT_EQ(G.Underline, 7);

  G.Underline = 0;  // a weight outside 1 to 9 shows an empty box
  Open([](PreferencesForm& w) {
    EXPECT_EQ(w.TxtUT.text(), "");
    EXPECT_TRUE(w.OptUser.isChecked());
    w.OptStandard.setChecked(true);
    w.OptStandard_Click();
    EXPECT_TRUE(w.TxtBMSales.isEnabledTo(&w.FrameBMark));
    w.Exit_Click();
  });
  EXPECT_EQ(Preferences::Instance().BMSetting, "");
  EXPECT_EQ(G.Underline, 0);  // the empty box is 0, which is out of range: unchanged
}

TEST_F(PreferencesTest, CancelChangesNothingButBackupStaysTrue) {
  Preferences::Instance().BackupDontAsk = false;
  Open([](PreferencesForm& w) {
    w.ChkSpaceZero.setChecked(true);
    w.TxtPT.setText("40");
    w.TxtBMSales.setText("5");
    w.Command1_Click();
  });
  EXPECT_EQ(Preferences::Instance().ExitOkay, kFalse);
  EXPECT_TRUE(Preferences::Instance().BackupDontAsk);
  EXPECT_EQ(G.SpacesForZeroes, kFalse);
  EXPECT_EQ(G.PTLines, 68);
  EXPECT_EQ(Preferences::Instance().BMSales, Money::FromUnits(1000));

  // The close box and Esc behave like Cancel.
  Open([](PreferencesForm& w) {
    w.TxtPT.setText("40");
    w.Form_QueryUnload();
  });
  EXPECT_EQ(G.PTLines, 68);
}

TEST_F(PreferencesTest, TabsShowTheirFrameAndHelpTopic) {
  struct Step {
    int tab;
    int16_t topic;
    QWidget PreferencesForm::*frame;
  };
  const std::vector<std::vector<Step>> walks = {
      {{2, 1600, &PreferencesForm::FrameBMark}},  // benchmarks first: the opening topic stays
      {{0, 1182, &PreferencesForm::FrameGen}, {2, 1182, &PreferencesForm::FrameBMark}},
      {{1, 1184, &PreferencesForm::FrameLines}, {2, 1184, &PreferencesForm::FrameBMark},
       {0, 1182, &PreferencesForm::FrameGen}},
  };
  for (const auto& walk : walks) {
    Open([&](PreferencesForm& w) {
      for (const auto& s : walk) {
        w.TabStrip1.setCurrentIndex(s.tab);
        w.TabStrip1_Click();
        EXPECT_EQ(w.HelpContextID, s.topic) << "tab " << s.tab;
        for (QWidget* f : {&w.FrameGen, &w.FrameLines, &w.FrameBMark}) {
          EXPECT_EQ(f->isHidden(), f != &(w.*s.frame));
          EXPECT_EQ(f->isEnabled(), f == &(w.*s.frame));
        }
      }
      w.Command1_Click();
    });
  }
}

}  // namespace
}  // namespace qvx
