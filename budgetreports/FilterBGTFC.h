// The budget forecast's options dialog, "Budget Forecast Options". The report shows it
// after the period dialog, reads ExitOkay (False ends the run) and then ColumnType; the
// other choices go into G: CashBasis, PrintAccountNumbers, PrintLevel, PrintToPrinter,
// PrintToExcel, OutputType, ExcelFile. ColumnType is also kept in the settings file
// ("ColumnType="). Every showing seeds the controls from ColumnType and G.
#pragma once

#include <cstdint>
#include <string>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "core/ReportOutput.h"
#include "platform/ui/Ui.h"

namespace qvx {

class FilterBGTFC {
 public:
  static FilterBGTFC& Instance();

  std::string ColumnType;  // "A" actual only, "B" budget only, "AB" actual then budget, "" never chosen
  bool ExitOkay = false;   // OK completed

  // Builds the window, loads it and shows it modally.
  void Show();
};

class FilterBGTFCForm : public ui::Form {
 public:
  FilterBGTFCForm();

  QGroupBox Frame4;  // Report Basis
  QRadioButton OptAccrual;
  QRadioButton OptCash;
  QGroupBox FrmRptLevel;
  QLabel Label1;
  QComboBox CmbLevel;
  QGroupBox Frame3;  // Column Options
  QRadioButton OptAct;
  QRadioButton OptBgt;
  QRadioButton OptActBgt;
  QGroupBox Frame1;  // Report Options
  QCheckBox ChkAcNbrs;
  QCheckBox ChkExcelFile;
  QGroupBox Frame2;
  QPushButton Exit;      // OK
  QPushButton Command1;  // Cancel

  void Form_Load() override;
  void Form_QueryUnload() override;
  void Exit_Click();
  void Command1_Click();

 private:
  // The output settings as the window found them.
  OutputSettings before_;
};

}  // namespace qvx
