#include "budgetreports/FilterBGTFC.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "budgetreports/DialogStyle.h"
#include "core/Globals.h"
#include "core/Startup.h"

namespace qvx {

FilterBGTFC& FilterBGTFC::Instance() {
  static FilterBGTFC instance;
  return instance;
}

void FilterBGTFC::Show() {
  FilterBGTFCForm form;
  form.ShowModal();
}

FilterBGTFCForm::FilterBGTFCForm() {
  setWindowTitle("Budget Forecast Options");
  Frame4.setTitle("Report Basis");
  OptAccrual.setText("Use sale and purchase invoices");
  OptCash.setText("Use cash received and paid");
  FrmRptLevel.setTitle("Report Level");
  Label1.setText("Report Level");
  Frame3.setTitle("Column Options");
  OptAct.setText("Actual only");
  OptBgt.setText("Budget only");
  OptActBgt.setText("Actual then Budget ");
  Frame1.setTitle("Report Options");
  ChkAcNbrs.setText("Print Account Numbers");
  ChkExcelFile.setText("Print to Excel file");
  Exit.setText("OK");
  Command1.setText("Cancel");
  SetKeyButtons(Exit, &Command1);
  UseVerdana({&OptAccrual, &OptCash, &Label1, &OptAct, &OptBgt, &OptActBgt, &ChkAcNbrs, &ChkExcelFile, &Exit,
              &Command1});

  auto* basis = new QVBoxLayout(&Frame4);
  basis->addWidget(&OptAccrual);
  basis->addWidget(&OptCash);
  auto* level = new QHBoxLayout(&FrmRptLevel);
  level->addWidget(&Label1);
  level->addWidget(&CmbLevel);
  auto* columns = new QVBoxLayout(&Frame3);
  columns->addWidget(&OptAct);
  columns->addWidget(&OptBgt);
  columns->addWidget(&OptActBgt);
  auto* options = new QVBoxLayout(&Frame1);
  options->addWidget(&ChkAcNbrs);
  options->addWidget(&ChkExcelFile);
  auto* buttons = new QHBoxLayout(&Frame2);
  buttons->addWidget(&Exit);
  buttons->addStretch(1);
  buttons->addWidget(&Command1);

  auto* grid = new QGridLayout(this);
  grid->addWidget(&Frame4, 0, 0);
  grid->addWidget(&FrmRptLevel, 0, 1);
  grid->addWidget(&Frame3, 1, 0);
  grid->addWidget(&Frame1, 1, 1);
  grid->addWidget(&Frame2, 2, 0, 1, 2);

  connect(&Exit, &QPushButton::clicked, this, [this] { Exit_Click(); });
  connect(&Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
}

void FilterBGTFCForm::Form_Load() {
  FilterBGTFC& f = FilterBGTFC::Instance();
  // Only this showing's OK may let the report run.
  f.ExitOkay = false;
  before_ = OutputSettings::Current();
  CentreOnScreen();

  if (G.CashBasis) OptCash.setChecked(true);
  else OptAccrual.setChecked(true);
  // An unknown stored value chooses no column option; OK then keeps it.
  if (f.ColumnType == "AB" || f.ColumnType.empty()) OptActBgt.setChecked(true);
  else if (f.ColumnType == "A") OptAct.setChecked(true);
  else if (f.ColumnType == "B") OptBgt.setChecked(true);

  if (G.PrintAccountNumbers) ChkAcNbrs.setChecked(true);
  ChkExcelFile.setChecked(G.ExcelFile != 0);
  FillLevels(CmbLevel, G.PrintLevel - 1);
  GetReportHelpID(G.ReportHelpID);
}

void FilterBGTFCForm::Exit_Click() {
  FilterBGTFC& f = FilterBGTFC::Instance();
  f.ExitOkay = true;
  G.CashBasis = Flag(OptCash.isChecked());
  if (OptAct.isChecked()) f.ColumnType = "A";
  else if (OptBgt.isChecked()) f.ColumnType = "B";
  else if (OptActBgt.isChecked()) f.ColumnType = "AB";
  G.PrintAccountNumbers = Flag(ChkAcNbrs.isChecked());

  f.ExitOkay = ChooseOutput(ChkExcelFile.isChecked());
  // No workbook file: the window stays open to choose again, untick Excel or cancel.
  if (!f.ExitOkay) return;

  G.PrintLevel = ChosenLevel(CmbLevel);
  Unload();
}

void FilterBGTFCForm::Command1_Click() {
  FilterBGTFC::Instance().ExitOkay = false;
  // A failed Excel choice before this must not leave Excel output half chosen.
  before_.Restore();
  Unload();
}

// The close box is a Cancel, so that nothing of a failed OK stands.
void FilterBGTFCForm::Form_QueryUnload() { Command1_Click(); }

}  // namespace qvx
