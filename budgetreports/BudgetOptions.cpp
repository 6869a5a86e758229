#include "budgetreports/BudgetOptions.h"

#include <array>
#include <utility>

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "budgetreports/DialogStyle.h"
#include "budgetreports/PageBreaks.h"
#include "core/Globals.h"
#include "core/Startup.h"

namespace qvx {

namespace {

QVBoxLayout* Column(QGroupBox& frame, std::initializer_list<QWidget*> controls) {
  auto* layout = new QVBoxLayout(&frame);
  for (QWidget* c : controls) layout->addWidget(c);
  return layout;
}

// The last-year column options and the fields they stand for, in the order the window
// seeds them.
using LastYearOption = std::pair<QRadioButton FilterPLBGTForm::*, int16_t FilterPLBGT::*>;
constexpr std::array<LastYearOption, 4> kLastYearOptions{{
    {&FilterPLBGTForm::OptLstYearVar, &FilterPLBGT::ShowLastYrVar},
    {&FilterPLBGTForm::OptLstYearCol, &FilterPLBGT::ShowLastYrCol},
    {&FilterPLBGTForm::OptLstYearMth, &FilterPLBGT::ShowLastYrMth},
    {&FilterPLBGTForm::OptLstYearYTD, &FilterPLBGT::ShowLastYrYTD},
}};

// The annual-column options by BudgetColDiff 1..4.
constexpr std::array<QRadioButton FilterPLBGTForm::*, 4> kAnnualOptions{
    &FilterPLBGTForm::OptAnnualBgt, &FilterPLBGTForm::OptRemainingBgt, &FilterPLBGTForm::OptRemainingAct,
    &FilterPLBGTForm::OptLastYr};

}  // namespace

FilterPLBGT& FilterPLBGT::Instance() {
  static FilterPLBGT instance;
  return instance;
}

void FilterPLBGT::Show() {
  FilterPLBGTForm form;
  form.ShowModal();
}

FilterPLBGTForm::FilterPLBGTForm() {
  setWindowTitle("Budget Options");
  Frame3.setTitle("Report Basis");
  OptAccrual.setText("Use sale and purchase invoices");
  OptCash.setText("Use cash received and paid");
  ChkGJ.setText("Include Journal entries");
  Frame1.setTitle("Format Options");
  OptVal.setText("Show variance as dollars");
  OptPCent.setText("Show variance as a percentage");
  OptBoth.setText("Show variance as dollars and %");
  OptShowVarLastYr.setText("Show variance as last year figures");
  Frame5.setTitle("Column options");
  OptStandard.setText("Standard columns");
  OptLstYearVar.setText("Show Last Year with Variances");
  OptLstYearCol.setText("Show Last Year in Columns");
  OptLstYearMth.setText("Show Last Year Current Month");
  OptLstYearYTD.setText("Show Last Year YTD and 12 Months");
  RHCol.setTitle("Annual Column");
  OptAnnualBgt.setText("Annual Budget");
  OptRemainingBgt.setText("Remaining Budget");
  OptRemainingAct.setText("Remaining Actual");
  OptLastYr.setText("Last Year Actual");
  OptNoAnnual.setText("No Annual Column");
  Frame4.setTitle("Print Options");
  ChkAcNbrs.setText("Print Account Numbers");
  ChkExcelFile.setText("Print to Excel file");
  ChkBreaks.setText("Use page breaks");
  CmdBreaks.setText("Page Breaks");
  Label1.setText("Report Level");
  FrmRptLevel.setTitle("Report Level");
  ChkExclMth.setText("Exclude Month columns");
  ChkGrandTots.setText("Include Grand Totals at end");
  Command1.setText("Cancel");
  Exit.setText("OK");
  SetKeyButtons(Exit, &Command1);
  UseVerdana({&OptAccrual, &OptCash, &ChkGJ, &OptVal, &OptPCent, &OptBoth, &OptShowVarLastYr, &OptStandard,
              &OptLstYearVar, &OptLstYearCol, &OptLstYearMth, &OptLstYearYTD, &OptAnnualBgt, &OptRemainingBgt,
              &OptRemainingAct, &OptLastYr, &OptNoAnnual, &ChkAcNbrs, &ChkExcelFile, &ChkBreaks, &ChkExclMth,
              &ChkGrandTots});

  Column(Frame3, {&OptAccrual, &OptCash});
  auto* journals = new QHBoxLayout;
  journals->addSpacing(20);
  journals->addWidget(&ChkGJ);
  static_cast<QVBoxLayout*>(Frame3.layout())->addLayout(journals);
  Column(Frame1, {&OptVal, &OptPCent, &OptBoth, &OptShowVarLastYr});
  Column(Frame5, {&OptStandard, &OptLstYearVar, &OptLstYearCol, &OptLstYearMth, &OptLstYearYTD});
  Column(RHCol, {&OptAnnualBgt, &OptRemainingBgt, &OptRemainingAct, &OptLastYr, &OptNoAnnual});
  auto* print = Column(Frame4, {&ChkAcNbrs, &ChkExcelFile});
  auto* breaks = new QHBoxLayout;
  breaks->addWidget(&ChkBreaks);
  breaks->addWidget(&CmdBreaks);
  print->addLayout(breaks);
  auto* level = new QHBoxLayout;
  level->addWidget(&Label1);
  level->addWidget(&CmbLevel);
  print->addLayout(level);
  Column(FrmRptLevel, {&ChkExclMth, &ChkGrandTots});
  auto* buttons = new QHBoxLayout(&Frame2);
  buttons->addWidget(&Command1);
  buttons->addStretch(1);
  buttons->addWidget(&Exit);

  auto* grid = new QGridLayout(this);
  grid->addWidget(&Frame3, 0, 0);
  grid->addWidget(&Frame1, 1, 0);
  grid->addWidget(&Frame5, 2, 0);
  grid->addWidget(&RHCol, 0, 1);
  grid->addWidget(&Frame4, 1, 1);
  grid->addWidget(&FrmRptLevel, 2, 1);
  grid->addWidget(&Frame2, 3, 0, 1, 2);

  // Setting an option or a box from code runs the same handler as the user's click.
  connect(&OptCash, &QRadioButton::toggled, this, [this](bool on) { if (on) OptCash_Click(); });
  connect(&OptAccrual, &QRadioButton::toggled, this, [this](bool on) { if (on) OptAccrual_Click(); });
  connect(&OptLstYearYTD, &QRadioButton::toggled, this, [this](bool on) { if (on) OptLstYearYTD_Click(); });
  connect(&ChkExclMth, &QCheckBox::toggled, this, [this](bool) { ChkExclMth_Click(); });
  connect(&CmdBreaks, &QPushButton::clicked, this, [this] { CmdBreaks_Click(); });
  connect(&Exit, &QPushButton::clicked, this, [this] { Exit_Click(); });
  connect(&Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
}

void FilterPLBGTForm::OptAccrual_Click() {
  ChkGJ.setChecked(true);
  ChkGJ.setEnabled(false);
}

void FilterPLBGTForm::OptCash_Click() { ChkGJ.setEnabled(true); }

void FilterPLBGTForm::OptLstYearYTD_Click() { ChkExclMth.setChecked(true); }

void FilterPLBGTForm::ChkExclMth_Click() {
  // No other column option is chosen instead: OK then counts it as standard columns.
  if (!ChkExclMth.isChecked()) Unchoose(OptLstYearYTD);
}

void FilterPLBGTForm::CmdBreaks_Click() { PageBreaks::Instance().Show(this); }

void FilterPLBGTForm::Form_Load() {
  FilterPLBGT& f = FilterPLBGT::Instance();
  // Only this showing's OK may let the report run.
  f.ExitOkay = kFalse;
  before_ = OutputSettings::Current();
  CentreOnScreen();

  if (G.CashBasis) OptCash.setChecked(true);
  else OptAccrual.setChecked(true);
  ChkGJ.setChecked(f.IncludeJournals != 0);

  if (f.ShowVarLastYr) OptShowVarLastYr.setChecked(true);
  else if (f.VarianceCol == "PC") OptPCent.setChecked(true);
  else if (f.VarianceCol == "B") OptBoth.setChecked(true);
  else OptVal.setChecked(true);

  OptStandard.setChecked(true);
  for (const auto& [option, field] : kLastYearOptions) {
    if (f.*field) (this->*option).setChecked(true);
    else Unchoose(this->*option);
  }
  if (f.ExcludeMonths) ChkExclMth.setChecked(true);
  ChkGrandTots.setChecked(f.IncludeGrandTots != 0);

  OptNoAnnual.setChecked(true);
  if (f.BudgetColDiff >= 1 && f.BudgetColDiff <= 4)
    (this->*kAnnualOptions[static_cast<size_t>(f.BudgetColDiff - 1)]).setChecked(true);

  if (G.PrintAccountNumbers) ChkAcNbrs.setChecked(true);
  if (G.UsePageBreaks) ChkBreaks.setChecked(true);
  ChkExcelFile.setChecked(G.ExcelFile != 0);

  // The list always opens on the fourth level, whatever the last run chose.
  FillLevels(CmbLevel, 3);
  CmbLevel.setEnabled(true);
  GetReportHelpID(G.ReportHelpID);
}

void FilterPLBGTForm::Exit_Click() {
  FilterPLBGT& f = FilterPLBGT::Instance();
  f.ExitOkay = kTrue;
  G.CashBasis = Flag(OptCash.isChecked());
  f.IncludeJournals = Flag(ChkGJ.isChecked());

  f.ShowVarLastYr = kFalse;
  f.VarianceCol.clear();
  if (OptVal.isChecked()) f.VarianceCol = "V";
  else if (OptBoth.isChecked()) f.VarianceCol = "B";
  else if (OptPCent.isChecked()) f.VarianceCol = "PC";
  else if (OptShowVarLastYr.isChecked()) f.ShowVarLastYr = kTrue;

  f.BudgetColDiff = 0;
  for (size_t i = 0; i < kAnnualOptions.size(); ++i)
    if ((this->*kAnnualOptions[i]).isChecked()) f.BudgetColDiff = static_cast<int16_t>(i + 1);

  G.PrintAccountNumbers = Flag(ChkAcNbrs.isChecked());
  for (const auto& [option, field] : kLastYearOptions) f.*field = Flag((this->*option).isChecked());
  f.ExcludeMonths = Flag(ChkExclMth.isChecked());
  f.IncludeGrandTots = Flag(ChkGrandTots.isChecked());

  const bool chosen = ChooseOutput(ChkExcelFile.isChecked());
  f.ExitOkay = Flag(chosen);
  // No workbook file: the window stays open to choose again, untick Excel or cancel.
  if (!chosen) return;

  G.UsePageBreaks = Flag(ChkBreaks.isChecked());
  G.PrintLevel = ChosenLevel(CmbLevel);
  Unload();
}

void FilterPLBGTForm::Command1_Click() {
  FilterPLBGT::Instance().ExitOkay = kFalse;
  // A failed Excel choice before this must not leave Excel output half chosen.
  before_.Restore();
  Unload();
}

// The close box is a Cancel, so that nothing of a failed OK stands.
void FilterPLBGTForm::Form_QueryUnload() { Command1_Click(); }

}  // namespace qvx
