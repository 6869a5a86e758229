// The label-size dialog: edits the program-wide label layout settings (height, width,
// font size, bold).
#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/ui/Ui.h"

namespace qvx {

class PrefLabels {
 public:
  // Builds the window and shows it modally.
  static void Show();
};

class PrefLabelsForm : public ui::Form {
 public:
  PrefLabelsForm();

  QGroupBox Frame1;
  QGroupBox BottomBox;
  QLabel Label1;
  QLineEdit TxtLblHeight;
  QLabel Label2;
  QLineEdit TxtLblWidth;
  QLabel Label8;
  QLineEdit TxtNameFont;
  QCheckBox ChkFontBold;
  QLabel Label3;
  QLabel Label4;
  QLabel Label5;
  QPushButton Exit;
  QPushButton Command1;

  void Form_Load() override;
  void Exit_Click();
  void Command1_Click();
};

}  // namespace qvx
