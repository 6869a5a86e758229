#include "core/SelectPrinter.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "platform/printer/Printer.h"
#include "platform/runtime/Runtime.h"

namespace qvx {

SelectPrinter& SelectPrinter::Instance() {
  static SelectPrinter instance;
  return instance;
}

void SelectPrinter::ShowModal() {
  SelectPrinterForm form;
  form.ShowModal();
}

SelectPrinterForm::SelectPrinterForm() {
  setWindowTitle("Printer Selection");
  cmdOK.setText("OK");
  SetKeyButtons(cmdOK, &cmdCancel);
  cmdCancel.setText("Cancel");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(&cmdOK);
  buttons->addWidget(&cmdCancel);
  auto* main = new QVBoxLayout(this);
  main->addWidget(&lstPrinters);
  main->addLayout(buttons);
  connect(&cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
  connect(&cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
  connect(&lstPrinters, &QListWidget::itemDoubleClicked, this, [this] { cmdOK_Click(); });
}

void SelectPrinterForm::Form_Load() {
  SelectPrinter& sp = SelectPrinter::Instance();
  sp.Cancelled = kFalse;
  lstPrinters.clear();
  const std::vector<std::string> names = printer::InstalledPrinters();
  if (names.empty()) {
    ui::MsgBox("Sorry, no printers available.  Please install a printer and try again.", ui::Buttons::OK,
               ui::Icon::Critical);
    return;
  }
  for (const auto& n : names) lstPrinters.addItem(QString::fromStdString(n));
  lstPrinters.setCurrentRow(0);
  const std::string wanted =
      sp.SelectedPrinterName.empty() ? printer::Current().DeviceName() : sp.SelectedPrinterName;
  for (int i = 0; i < static_cast<int>(names.size()); ++i) {
    if (names[static_cast<size_t>(i)] == wanted) {
      lstPrinters.setCurrentRow(i);
      break;
    }
  }
}

void SelectPrinterForm::cmdOK_Click() {
  SelectPrinter& sp = SelectPrinter::Instance();
  // With an empty list there is nothing to choose: OK then does what Cancel does.
  if (!lstPrinters.currentItem()) {
    cmdCancel_Click();
    return;
  }
  sp.SelectedPrinterName = lstPrinters.currentItem()->text().toStdString();
  sp.Copies = 1;
  Unload();
}

void SelectPrinterForm::cmdCancel_Click() {
  SelectPrinter& sp = SelectPrinter::Instance();
  sp.SelectedPrinterName.clear();
  sp.Cancelled = kTrue;
  Unload();
}

}  // namespace qvx
