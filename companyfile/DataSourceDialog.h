// The connection setup window ("MYOB Data File"): user ID and password, the company
// file, the company-file driver among those installed, and the product program; Test,
// Check (which driver a file needs), Help and Close (which reconnects).
#pragma once

#include <string>
#include <vector>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/ui/ElidedLabel.h"
#include "platform/ui/Ui.h"

namespace qvx {

// The descriptions of the installed ODBC drivers whose names begin with "MYO" (any
// letter case), in the driver manager's order, neighbouring duplicates kept.
std::vector<std::string> InstalledCompanyFileDrivers();

class DataSourceForm : public ui::Form {
 public:
  DataSourceForm();

  void Form_Load() override;
  void GetFileInfo();
  void GetDSNsAndDrivers();
  void CmdTest_Click();
  void CmdBrsData_Click();
  void CmdBrsProduct_Click();
  void CmdCheck_Click();
  void Command2_Click();
  void Exit_Click();

  int16_t HelpContextID = 0;

  QGroupBox Frame1{"File Details"};
  QLabel Label1{"Company Name:"};
  ui::ElidedLabel LblName{80};  // a longer company name is shortened to the window's width
  QLabel Label2{"Datafile name:"};
  QLabel LblFileName;

  QGroupBox Frame2{"Connection Details"};
  QLabel Label3{"User ID:"};
  QLineEdit txtUID;
  QLabel Label4{"Password:"};
  QLineEdit txtPWD;
  QLabel Label5{"Datafile:"};
  QLineEdit txtDatabase;
  QPushButton CmdBrsData{"Browse"};
  QCheckBox ChkLibrary{"MYOB Library"};
  QLabel Label6{"Driver:"};
  QComboBox cboDrivers;
  QPushButton CmdCheck{"Check"};
  QLabel Label7{"Product:"};
  QLineEdit txtProduct;
  QPushButton CmdBrsProduct{"Browse"};
  QPushButton CmdTest{"Test Connection"};

  QPushButton Command2{"Help"};
  QPushButton Exit{"Close"};

 private:
  void SetFileTypeControls();
  // Carries the boxes into the connection settings and reconnects.
  void Reconnect();
  void ShowFileDetails();
  bool fileChosen_ = false;
};

}  // namespace qvx
