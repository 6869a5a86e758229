// The company-information dialog, and the program-wide record of company-file values
// that the connection and company-information reads fill in. The record's fields live on
// the one program-wide instance whether or not the dialog is ever shown; the window is
// built each time it is shown.
#pragma once

#include <cstdint>
#include <string>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/runtime/Runtime.h"
#include "platform/ui/Ui.h"

namespace qvx {

class CompanyInfo {
 public:
  static CompanyInfo& Instance();

  // Shows the dialog modally; its effect is the new G.FirstMonth.
  void Show();

  std::string ChangeControl;       // the company file's change-control setting
  std::string CompanyFileName;
  std::string CompanyFileVersion;
  std::string CompanyFileProduct;
  std::string ContactDetails;      // "P": print the phone line, "F": the fax line
  std::string ODBCDriver;
  int16_t ExitOkay = kFalse;
  int32_t LinkedReceivablesID = 0;
  int32_t LinkedPayablesID = 0;
  int32_t LinkedReceivablesDepositsID = 0;
  int32_t LinkedReceivablesDiscountsID = 0;
  int32_t LinkedReceivablesFreightID = 0;
  int32_t LinkedPayablesDepositsID = 0;
  int32_t LinkedPayablesDiscountsID = 0;
  int32_t LinkedPayablesFreightID = 0;
};

// The window of the company-information dialog.
class CompanyInfoForm : public ui::Form {
 public:
  CompanyInfoForm();

  void Form_Load() override;
  void Exit_Click();
  void Command1_Click();

  int16_t HelpContextID = 0;

  QLabel LblUserName{"Company Name"};
  QLineEdit TxtUserName;
  QLabel LblMonths{"Last month of the year"};
  QComboBox LstMonths;
  QPushButton Exit{"&OK"};
  QPushButton Command1{"Cancel"};
};

}  // namespace qvx
