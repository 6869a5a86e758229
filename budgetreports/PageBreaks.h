// The Page Breaks dialog, opened from the Budget Options dialog: the user types the
// account numbers before which the printed budget comparison starts a new page. It
// edits G.PageBreakAccts (commas between the numbers, kept exactly as typed, not in the
// settings file); the comparison cuts it into its break list when G.UsePageBreaks is set.
#pragma once

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/ui/Ui.h"

namespace qvx {

class PageBreaks {
 public:
  static PageBreaks& Instance();
  // Builds the window, loads it and shows it modally, owned by parent when given.
  void Show(QWidget* parent = nullptr);
};

class PageBreaksForm : public ui::Form {
 public:
  explicit PageBreaksForm(QWidget* parent = nullptr);

  QLabel Label1;
  QLabel Label3;
  QLineEdit TxtBreaks;
  QFrame Line1;
  QGroupBox BottomBox;
  QPushButton Command1;  // Cancel
  QPushButton Exit;      // OK

  void Form_Load() override;
  void Exit_Click();
  void Command1_Click();
};

}  // namespace qvx
