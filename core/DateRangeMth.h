// The month range dialog: the user picks a From month and a To month within one of
// five financial years around the company's current one. The results are the first day
// of the From month, the last day of the To month and the financial year's first and
// last days, typed in the user's order.
#pragma once

#include <cstdint>
#include <string>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "platform/ui/Ui.h"

namespace qvx {

// The dialog's public fields; they outlive the window and change only on an accepted OK
// (LastMth is set each time the window opens).
class DateRangeMth {
 public:
  static DateRangeMth& Instance();

  bool ExitOkay = false;
  int16_t OnlyToNeeded = 0;  // False asks for both ends of the period
  std::string FromDateX;
  int16_t FirstMthIndex = 0;  // From list position of the last accepted period
  int16_t LastMth = 0;
  std::string ToDateX;
  std::string StartFinancialYear;
  std::string EndFinancialYear;

  // Builds the window, loads it and shows it modally.
  void Show();
};

class DateRangeMthForm : public ui::Form {
 public:
  DateRangeMthForm();

  QGroupBox Frame1;
  QGroupBox Frame2;
  QLabel Label2;
  QLabel LblFrom;
  QComboBox FromMth;
  QLabel Label1;
  QComboBox ToMth;
  QLabel Label3;
  QComboBox CmbFinYear;
  QPushButton Cancel;
  QPushButton CmdOkay;

  void Form_Load() override;
  void Form_QueryUnload() override;
  void CmdOkay_Click();
  void Cancel_Click();
};

}  // namespace qvx
