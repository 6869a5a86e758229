#include "budgetreports/PageBreaks.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "core/Globals.h"

namespace qvx {

PageBreaks& PageBreaks::Instance() {
  static PageBreaks instance;
  return instance;
}

void PageBreaks::Show(QWidget* parent) {
  PageBreaksForm form(parent);
  form.ShowModal();
}

PageBreaksForm::PageBreaksForm(QWidget* parent) : ui::Form(parent) {
  setWindowTitle("Page Breaks");
  Label1.setText("Enter the accounts you want for page breaks, separated by commas.");
  Label3.setText("For example:  6-1000,6-2000,6-3000,6-4000,6-5000");
  Line1.setFrameShape(QFrame::HLine);
  Line1.setFrameShadow(QFrame::Sunken);
  Command1.setText("Cancel");
  Exit.setText("OK");
  SetKeyButtons(Exit, &Command1);

  auto* buttons = new QHBoxLayout(&BottomBox);
  buttons->addWidget(&Command1);
  buttons->addStretch(1);
  buttons->addWidget(&Exit);
  auto* main = new QVBoxLayout(this);
  main->addWidget(&Label1);
  main->addWidget(&Label3);
  main->addWidget(&TxtBreaks);
  main->addWidget(&Line1);
  main->addWidget(&BottomBox);

  connect(&Exit, &QPushButton::clicked, this, [this] { Exit_Click(); });
  connect(&Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
}

void PageBreaksForm::Form_Load() {
  CentreOnScreen();
  TxtBreaks.setText(QString::fromStdString(G.PageBreakAccts));
}

void PageBreaksForm::Exit_Click() {
  G.PageBreakAccts = TxtBreaks.text().toStdString();
  Unload();
}

void PageBreaksForm::Command1_Click() { Unload(); }

}  // namespace qvx
