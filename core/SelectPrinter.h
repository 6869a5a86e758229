// The printer choice: a list of the installed printers with OK and Cancel. The chosen
// printer and the copies stay on the program-wide object, so the printer chosen for one
// report is offered first for the next.
#pragma once

#include <cstdint>
#include <string>

#include <QListWidget>
#include <QPushButton>

#include "platform/ui/Ui.h"

namespace qvx {

class SelectPrinter {
 public:
  static SelectPrinter& Instance();
  // Builds the window and shows it modally; read the fields afterwards.
  void ShowModal();

  int16_t Cancelled = 0;
  int16_t Copies = 1;
  std::string SelectedPrinterName;
};

class SelectPrinterForm : public ui::Form {
 public:
  SelectPrinterForm();

  QListWidget lstPrinters;
  QPushButton cmdOK;
  QPushButton cmdCancel;

  void Form_Load() override;
  // The close box answers as Cancel does: closing the window must not print.
  void Form_QueryUnload() override { cmdCancel_Click(); }
  void cmdOK_Click();
  void cmdCancel_Click();
};

}  // namespace qvx
