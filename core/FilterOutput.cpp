#include "core/FilterOutput.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "core/Globals.h"
#include "core/ReportOutput.h"

namespace qvx {

FilterOutput& FilterOutput::Instance() {
  static FilterOutput instance;
  return instance;
}

void FilterOutput::Show() {
  FilterOutputForm form;
  form.ShowModal();
}

FilterOutputForm::FilterOutputForm() {
  setWindowTitle("Output Options");
  Frame4.setTitle("Output Options");
  OptPrinter.setText("Print to Printer");
  OptExcel.setText("Print to Excel");
  Exit.setText("&OK");
  SetKeyButtons(Exit, &Command1);
  Command1.setText("Cancel");

  auto* options = new QVBoxLayout(&Frame4);
  options->addWidget(&OptPrinter);
  options->addWidget(&OptExcel);
  auto* buttons = new QHBoxLayout(&Frame2);
  buttons->addStretch(1);
  buttons->addWidget(&Exit);
  buttons->addWidget(&Command1);
  auto* main = new QVBoxLayout(this);
  main->addWidget(&Frame4);
  main->addWidget(&Frame2);

  connect(&Exit, &QPushButton::clicked, this, [this] { Exit_Click(); });
  connect(&Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
}

void FilterOutputForm::Form_Load() {
  before_ = OutputSettings::Current();
  if (G.PrintToExcel) OptExcel.setChecked(true);
  else OptPrinter.setChecked(true);
}

void FilterOutputForm::Exit_Click() {
  G.PrintToPrinter = kTrue;
  G.PrintToExcel = kFalse;
  const bool chosen = ChooseOutput(OptExcel.isChecked());
  G.DialogOK = Flag(chosen);
  // No valid file: the user chooses again or cancels.
  if (!chosen) return;
  Unload();
}

void FilterOutputForm::Command1_Click() {
  // Giving up after a failed file choice must not leave Excel output half chosen.
  before_.Restore();
  G.DialogOK = kFalse;
  Unload();
}

// The close box is a Cancel, so that an earlier OK does not stand for this one.
void FilterOutputForm::Form_QueryUnload() { Command1_Click(); }

}  // namespace qvx
