#include "core/FormFileOpen.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "core/Globals.h"

namespace qvx {

void FormFileOpen::Show() {
  FormFileOpenForm form;
  form.ShowModal();
}

FormFileOpenForm::FormFileOpenForm() {
  setWindowTitle("Accessing MYOB file");
  Frame1.setTitle("Opening MYOB file");
  Label1.setText("Please ensure the following:");
  Label2.setText("BACKUP");
  Label3.setText("Is your backup up-to-date ?");
  Label4.setText("OPEN");
  Label5.setText("Is your MYOB file currently open ?");
  Label6.setText("(Invoicing is faster with the file open)");
  Exit.setText("&OK");
  SetKeyButtons(Exit, &Command1);
  Command1.setText("Cancel");
  QFont bold = Label2.font();
  bold.setBold(true);
  Label2.setFont(bold);
  Label4.setFont(bold);

  auto* grid = new QGridLayout(&Frame1);
  grid->addWidget(&Label1, 0, 0, 1, 2);
  grid->addWidget(&Label2, 1, 0);
  grid->addWidget(&Label3, 1, 1);
  grid->addWidget(&Label4, 2, 0);
  grid->addWidget(&Label5, 2, 1);
  grid->addWidget(&Label6, 3, 1);
  auto* buttons = new QHBoxLayout(&Frame2);
  buttons->addStretch(1);
  buttons->addWidget(&Exit);
  buttons->addWidget(&Command1);
  auto* main = new QVBoxLayout(this);
  main->addWidget(&Frame1);
  main->addWidget(&Frame2);

  connect(&Exit, &QPushButton::clicked, this, [this] { Exit_Click(); });
  connect(&Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
}

void FormFileOpenForm::Exit_Click() {
  G.DialogOK = kTrue;
  Unload();
}

void FormFileOpenForm::Command1_Click() {
  G.DialogOK = kFalse;
  Unload();
}

// The close box answers Cancel, so that an earlier OK does not stand for this one.
void FormFileOpenForm::Form_QueryUnload() { Command1_Click(); }

}  // namespace qvx
