// The driver check window: which company-file driver the file in the connection
// settings needs, with the file's country and version. It reads the settings and writes
// nothing back.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/ui/Ui.h"

namespace qvx {

class DataCheckODBC {
 public:
  static DataCheckODBC& Instance();
  // Builds the window and shows it modally over owner (none: over the active window).
  void Show(QWidget* owner = nullptr);
};

class DataCheckODBCForm : public ui::Form {
 public:
  explicit DataCheckODBCForm(QWidget* owner = nullptr);

  void Form_Load() override;
  void Exit_Click();

  QLabel Label1{"The Driver should be:"};
  QLineEdit txtDriverName;
  QLabel Label2{"Country:"};
  QLineEdit txtCountry;
  QLabel Label3{"Version:"};
  QLineEdit txtVersion;
  QPushButton Exit{"Close"};
};

}  // namespace qvx
