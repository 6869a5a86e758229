// The preferences dialog: the print settings and the benchmark figures of the group
// report. Its public fields live on the one program-wide instance for the whole run (the
// settings file fills them at start-up); the window is built each time it is shown.
#pragma once

#include <cstdint>
#include <string>

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>

#include "platform/runtime/Runtime.h"
#include "platform/ui/Ui.h"

namespace qvx {

class Preferences {
 public:
  static Preferences& Instance();

  // Shows the dialog modally; its results are in the fields below and in the print
  // settings of G.
  void Show();

  bool BackupDontAsk = false;
  std::string DefaultJob;
  int16_t ExitOkay = kFalse;
  std::string BMSetting;  // "U": the user's benchmarks
  Money BMSales;
  Money BMGrossProfit;
  Money BMNetProfit;
  Money BMStaff;
};

// The window of the preferences dialog. Containers are declared before the controls
// they hold, so that every control is destroyed before its container.
class PreferencesForm : public ui::Form {
 public:
  PreferencesForm();

  void Form_Load() override;
  void TabStrip1_Click();
  void OptStandard_Click();
  void OptUser_Click();
  void Exit_Click();
  void Command1_Click();

  int16_t HelpContextID = 0;

  QTabBar TabStrip1;
  QFrame PageArea;

  QWidget FrameGen;
  QCheckBox ChkSpaceZero{"Print spaces for zero values"};
  QCheckBox ChkBackup{"Don't ask for Backup on Exit"};

  QWidget FrameLines;
  QLabel LblPT{"Lines per page (Portrait)"};
  QLineEdit TxtPT;
  QLabel LblLS{"Lines per page (Landscape)"};
  QLineEdit TxtLS;
  QLabel LblQD{"Decimals for Quantities"};
  QLineEdit TxtQD;
  QLabel LblUT{"Underline thickness"};
  QLineEdit TxtUT;

  QWidget FrameBMark;
  QRadioButton OptStandard{"Use Standard Benchmerks"};
  QRadioButton OptUser{"Use User Benchmerks"};
  QGroupBox Frame1{"Standard Benchmarks"};
  QLabel LblBMSales{"Sales"};
  QLineEdit TxtBMSales;
  QLabel LblBMGrossProfit{"Gross Profit"};
  QLineEdit TxtBMGrossProfit;
  QLabel LblBMNetProfit{"Net Profit"};
  QLineEdit TxtBMNetProfit;
  QLabel LblBMStaff{"Full Time Staff"};
  QLineEdit TxtBMStaff;

  QWidget BottomBox;
  QPushButton Command1{"Cancel"};
  QPushButton Exit{"OK"};

 private:
  void ShowFrame(QWidget& shown);
  // Shows a refusal naming the box, puts the focus there and gives false.
  bool Refuse(QLineEdit& box, const QLabel& label, const std::string& reason);
};

}  // namespace qvx
