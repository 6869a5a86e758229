// The output-choice dialog: printer or Excel; for Excel it asks for the workbook's file.
// Its answer is the program-wide DialogOK, with the output flags of G.
#pragma once

#include <cstdint>
#include <string>

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include "core/ReportOutput.h"
#include "platform/ui/Ui.h"

namespace qvx {

// The dialog's public field (for the caller; the dialog does not use it).
class FilterOutput {
 public:
  static FilterOutput& Instance();

  std::string CardType;

  // Builds the window, loads it and shows it modally.
  void Show();
};

class FilterOutputForm : public ui::Form {
 public:
  FilterOutputForm();

  QGroupBox Frame4;
  QGroupBox Frame2;
  QRadioButton OptPrinter;
  QRadioButton OptExcel;
  QPushButton Exit;
  QPushButton Command1;

  void Form_Load() override;
  void Form_QueryUnload() override;
  void Exit_Click();
  void Command1_Click();

 private:
  // The output settings as the window found them.
  OutputSettings before_;
};

}  // namespace qvx
