// The budget comparison's options dialog, "Budget Options". The report shows it after
// the period dialog and reads ExitOkay first (False ends the run), then the public
// fields below and the program-wide options that OK writes into G: CashBasis,
// PrintAccountNumbers, UsePageBreaks (with G.PageBreakAccts from the Page Breaks
// dialog), PrintLevel, PrintToPrinter, PrintToExcel, OutputType, ExcelFile. Every
// showing seeds the controls from the fields and G; the fields are not kept in the
// settings file. Flags hold True (-1) or False (0).
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

class FilterPLBGT {
 public:
  static FilterPLBGT& Instance();

  int16_t BudgetColDiff = 0;     // annual column: 0 none, 1 annual budget, 2 remaining budget,
                                 // 3 remaining actual, 4 last-year actual
  int16_t ExitOkay = 0;          // OK completed
  int16_t ExcludeMonths = 0;     // leave out the month columns
  int16_t IncludeGrandTots = 0;  // add the Grand Totals block at the end
  int16_t IncludeJournals = 0;   // general-journal entries count (the engine's flag)
  int16_t ShowLastYrVar = 0;     // last year with variances
  int16_t ShowLastYrCol = 0;     // last year in columns
  int16_t ShowLastYrMth = 0;     // last year's current month
  int16_t ShowVarLastYr = 0;     // the variance shows last year's figures
  int16_t ShowLastYrYTD = 0;     // last year's year to date and twelve months
  std::string VarianceCol;       // "V" dollars, "B" dollars and %, "PC" %; "" with ShowVarLastYr

  // Builds the window, loads it and shows it modally.
  void Show();
};

class FilterPLBGTForm : public ui::Form {
 public:
  FilterPLBGTForm();

  QGroupBox Frame3;  // Report Basis
  QRadioButton OptAccrual;
  QRadioButton OptCash;
  QCheckBox ChkGJ;
  QGroupBox Frame1;  // Format Options
  QRadioButton OptVal;
  QRadioButton OptPCent;
  QRadioButton OptBoth;
  QRadioButton OptShowVarLastYr;
  QGroupBox Frame5;  // Column options
  QRadioButton OptStandard;
  QRadioButton OptLstYearVar;
  QRadioButton OptLstYearCol;
  QRadioButton OptLstYearMth;
  QRadioButton OptLstYearYTD;
  QGroupBox RHCol;  // Annual Column
  QRadioButton OptAnnualBgt;
  QRadioButton OptRemainingBgt;
  QRadioButton OptRemainingAct;
  QRadioButton OptLastYr;
  QRadioButton OptNoAnnual;
  QGroupBox Frame4;  // Print Options
  QCheckBox ChkAcNbrs;
  QCheckBox ChkExcelFile;
  QCheckBox ChkBreaks;
  QPushButton CmdBreaks;
  QLabel Label1;
  QComboBox CmbLevel;
  QGroupBox FrmRptLevel;
  QCheckBox ChkExclMth;
  QCheckBox ChkGrandTots;
  QGroupBox Frame2;
  QPushButton Command1;  // Cancel
  QPushButton Exit;      // OK

  void Form_Load() override;
  void Form_QueryUnload() override;
  void OptCash_Click();
  void OptAccrual_Click();
  void OptLstYearYTD_Click();
  void ChkExclMth_Click();
  void CmdBreaks_Click();
  void Exit_Click();
  void Command1_Click();

 private:
  // The output settings as the window found them.
  OutputSettings before_;
};

}  // namespace qvx
