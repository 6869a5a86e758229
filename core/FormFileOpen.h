// The reminder shown before a company file is accessed: check the backup and whether
// the file is open. Its answer is the program-wide DialogOK.
#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "platform/ui/Ui.h"

namespace qvx {

class FormFileOpen {
 public:
  // Builds the window and shows it modally.
  static void Show();
};

class FormFileOpenForm : public ui::Form {
 public:
  FormFileOpenForm();

  QGroupBox Frame1;
  QGroupBox Frame2;
  QLabel Label1;
  QLabel Label2;
  QLabel Label3;
  QLabel Label4;
  QLabel Label5;
  QLabel Label6;
  QPushButton Exit;
  QPushButton Command1;

  void Form_QueryUnload() override;
  void Exit_Click();
  void Command1_Click();
};

}  // namespace qvx
