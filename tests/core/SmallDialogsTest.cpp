#include <gtest/gtest.h>

#include "core/FormFileOpen.h"
#include "core/Globals.h"
#include "core/PrefLabels.h"
#include "support/TestUi.h"

namespace qvx {
namespace {

template <class F>
void RunForm(test::ScriptedUiScope& ui, const std::function<void(F&)>& user, void (*show)()) {
  ui->QueueForm([&](ui::Form& f) { user(dynamic_cast<F&>(f)); });
  show();
}

TEST(PrefLabels, ShowsTheSettingsAsStrWouldAndStoresWhatIsTyped) {
  test::ScriptedUiScope ui;
  G.LblHeight = 2.5f;
  G.LblWidth = 0.5f;
  G.LblFontSize = 10;
  G.LblFontBold = kTrue;
  RunForm<PrefLabelsForm>(ui, [](PrefLabelsForm& f) {
    EXPECT_EQ(f.windowTitle().toStdString(), "Label Size");
    EXPECT_EQ(f.TxtLblHeight.text().toStdString(), " 2.5");
    EXPECT_EQ(f.TxtLblWidth.text().toStdString(), " .5");
    EXPECT_EQ(f.TxtNameFont.text().toStdString(), " 10");
    EXPECT_TRUE(f.ChkFontBold.isChecked());
    f.Command1_Click();
  }, &PrefLabels::Show);
  EXPECT_EQ(G.LblHeight, 2.5f);

  struct Case {
    const char *height, *width, *font;
    float h, w;
    int16_t fs;
  };
  const Case cases[] = {
      {"3cm", "", "10.5", 3.0f, 0.0f, 10},     // leading number; empty is 0; halves to even
      {" -1.25", "abc", "11.5", -1.25f, 0.0f, 12},
      {"4\n5", "7.75", "9", 45.0f, 7.75f, 9},  // Val passes over a pasted line break
  };
  for (const auto& c : cases) {
    RunForm<PrefLabelsForm>(ui, [&](PrefLabelsForm& f) {
      f.TxtLblHeight.setText(c.height);
      f.TxtLblWidth.setText(c.width);
      f.TxtNameFont.setText(c.font);
      f.ChkFontBold.setChecked(false);
      f.Exit_Click();
      EXPECT_FALSE(f.Loaded());
    }, &PrefLabels::Show);
    EXPECT_EQ(G.LblHeight, c.h) << c.height;
    EXPECT_EQ(G.LblWidth, c.w) << c.width;
    EXPECT_EQ(G.LblFontSize, c.fs) << c.font;
    EXPECT_EQ(G.LblFontBold, kFalse);
  }
  EXPECT_TRUE(ui->Messages().empty());
}

TEST(PrefLabels, ValuesTooLargeAreRefusedAndNothingIsStored) {
  test::ScriptedUiScope ui;
  G.LblHeight = 2.0f;
  G.LblWidth = 3.0f;
  G.LblFontSize = 9;
  RunForm<PrefLabelsForm>(ui, [&](PrefLabelsForm& f) {
    f.TxtLblWidth.setText("5");
    f.TxtNameFont.setText("40000");
    f.Exit_Click();
    EXPECT_TRUE(f.Loaded());
    f.TxtNameFont.setText("12");
    f.TxtLblHeight.setText("1e60");
    f.Exit_Click();
    EXPECT_TRUE(f.Loaded());
    f.Command1_Click();
  }, &PrefLabels::Show);
  EXPECT_EQ(ui->Messages(), (std::vector<std::string>{"Label Font Size is out of range",
                                                      "Label Height (cm) is out of range"}));
  EXPECT_EQ(G.LblHeight, 2.0f);
  EXPECT_EQ(G.LblWidth, 3.0f);
  EXPECT_EQ(G.LblFontSize, 9);
}

TEST(FormFileOpen, OkCancelAndTheCloseBoxSetOnlyDialogOK) {
  test::ScriptedUiScope ui;
  G.PrintToExcel = kTrue;
  G.DialogOK = kFalse;
  RunForm<FormFileOpenForm>(ui, [](FormFileOpenForm& f) {
    EXPECT_EQ(f.windowTitle().toStdString(), "Accessing MYOB file");
    EXPECT_EQ(f.Label5.text().toStdString(), "Is your MYOB file currently open ?");
    f.Exit_Click();
  }, &FormFileOpen::Show);
  EXPECT_EQ(G.DialogOK, kTrue);
  RunForm<FormFileOpenForm>(ui, [](FormFileOpenForm& f) { f.Form_QueryUnload(); }, &FormFileOpen::Show);
  EXPECT_EQ(G.DialogOK, kFalse);
  G.DialogOK = kTrue;
  RunForm<FormFileOpenForm>(ui, [](FormFileOpenForm& f) { f.Command1_Click(); }, &FormFileOpen::Show);
  EXPECT_EQ(G.DialogOK, kFalse);
  EXPECT_EQ(G.PrintToExcel, kTrue);
  EXPECT_TRUE(ui->Messages().empty());
}

}  // namespace
}  // namespace qvx
