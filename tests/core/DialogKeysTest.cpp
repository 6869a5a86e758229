// Enter and Esc in every dialog with an OK button, pressed as a user presses them: the
// key goes to the control that has the focus and travels up the window from there.
#include <functional>
#include <memory>
#include <string>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "CoreFixture.h"
#include "budgetreports/BudgetOptions.h"
#include "budgetreports/FilterBGTFC.h"
#include "budgetreports/PageBreaks.h"
#include "core/About.h"
#include "core/CompanyInfo.h"
#include "core/DateRange.h"
#include "core/DateRangeMth.h"
#include "core/FilterOutput.h"
#include "core/FilterTickBoxes.h"
#include "core/FormFileOpen.h"
#include "core/PrefLabels.h"
#include "core/Preferences.h"
#include "core/SelectPrinter.h"
#include "groupreports/FilterCons.h"

namespace qvx {
namespace {

struct DialogKeys {
  std::string name;
  std::function<std::unique_ptr<ui::Form>()> make;
  std::function<QPushButton*(ui::Form&)> ok, cancel;
  bool hasCancel = true;        // without one, Esc closes the window
  bool boxesTakeEnter = false;  // Enter in its text boxes is the boxes' own
};

template <class F>
DialogKeys Row(std::string name, QPushButton F::* ok, QPushButton F::* cancel, bool boxesTakeEnter = false) {
  return {std::move(name), [] { return std::make_unique<F>(); },
          [ok](ui::Form& f) { return &(dynamic_cast<F&>(f).*ok); },
          [cancel](ui::Form& f) { return cancel ? &(dynamic_cast<F&>(f).*cancel) : nullptr; }, cancel != nullptr,
          boxesTakeEnter};
}

class DialogKeysTest : public test::CoreTest {
 protected:
  // Opens the dialog, gives the focus to its `control`-th control that the keyboard
  // reaches (-1: where the window puts it when it opens), presses the key there and counts
  // the presses of the OK and Cancel buttons. `openList`: a list control is opened first
  // and its last entry highlighted, and the key goes to the open list.
  struct Presses {
    bool reached = true;
    int ok = 0, cancel = 0;
    bool stillOpen = false;
    std::string focused;
    int listEntry = -1;  // the list's entry after the key
  };
  Presses Press(const DialogKeys& row, Qt::Key key, int control = -1, bool openList = false) {
    Presses p;
    std::unique_ptr<ui::Form> form = row.make();
    QObject::connect(row.ok(*form), &QPushButton::clicked, form.get(), [&p] { ++p.ok; });
    if (QPushButton* cancel = row.cancel(*form))
      QObject::connect(cancel, &QPushButton::clicked, form.get(), [&p] { ++p.cancel; });
    ui_->QueueForm([&](ui::Form& f) {
      f.show();
      f.activateWindow();
      QApplication::processEvents();
      QList<QWidget*> reachable;
      for (QWidget* w : f.findChildren<QWidget*>())
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(&f) && w->isEnabled() && !w->focusProxy())
          reachable.push_back(w);
      auto* list = control >= 0 && control < reachable.size() ? qobject_cast<QComboBox*>(reachable[control]) : nullptr;
      p.reached = control < reachable.size() && (!openList || (list && list->count() > 1));
      if (!p.reached) return f.Unload();
      if (control >= 0) reachable[control]->setFocus(Qt::OtherFocusReason);
      QWidget* target = f.focusWidget() ? f.focusWidget() : &f;
      if (openList) {
        list->showPopup();
        QApplication::processEvents();
        list->view()->setCurrentIndex(list->model()->index(list->count() - 1, 0));
        target = list->view();
      }
      p.focused = target->metaObject()->className();
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
      QApplication::sendEvent(target, &press);
      p.stillOpen = f.Loaded();
      if (list) p.listEntry = list->currentIndex() - (list->count() - 1);
    });
    form->ShowModal();
    return p;
  }
};

TEST_F(DialogKeysTest, EnterPressesOkWhereverTheFocusIsAndEscPressesCancel) {
  G.FirstMonth = 7;
  G.CurrentYear = 2025;
  G.DateFormat = "DMY";
  FilterTickBoxes::Instance().Entries = {{"NORTH", 1, true}};
  const std::vector<DialogKeys> rows = {
      Row("About", &AboutForm::cmdOK, static_cast<QPushButton AboutForm::*>(nullptr)),
      Row("Company Information", &CompanyInfoForm::Exit, &CompanyInfoForm::Command1),
      Row("Preferences", &PreferencesForm::Exit, &PreferencesForm::Command1),
      Row("Date Range (typed dates)", &DateRangeForm::CmdOkay, &DateRangeForm::Cancel, true),
      Row("Date Range (months)", &DateRangeMthForm::CmdOkay, &DateRangeMthForm::Cancel),
      Row("Tick list", &FilterTickBoxesForm::Exit, &FilterTickBoxesForm::Command1),
      Row("Output", &FilterOutputForm::Exit, &FilterOutputForm::Command1),
      Row("Label Size", &PrefLabelsForm::Exit, &PrefLabelsForm::Command1),
      Row("File reminder", &FormFileOpenForm::Exit, &FormFileOpenForm::Command1),
      Row("Printer Selection", &SelectPrinterForm::cmdOK, &SelectPrinterForm::cmdCancel),
      Row("Budget Options", &FilterPLBGTForm::Exit, &FilterPLBGTForm::Command1),
      Row("Page Breaks", &PageBreaksForm::Exit, &PageBreaksForm::Command1),
      Row("Budget Forecast Options", &FilterBGTFCForm::Exit, &FilterBGTFCForm::Command1),
      Row("Report Options", &FilterConsForm::Exit, &FilterConsForm::Command1),
  };
  for (const DialogKeys& row : rows) {
    SCOPED_TRACE(row.name);
    // Enter where the window puts the focus when it opens.
    Presses atOpening = Press(row, Qt::Key_Return);
    if (row.boxesTakeEnter) {
      EXPECT_EQ(atOpening.focused, "QLineEdit");
      EXPECT_EQ(atOpening.cancel, 0);
    } else {
      EXPECT_EQ(atOpening.ok, 1) << "focus on " << atOpening.focused;
      EXPECT_EQ(atOpening.cancel, 0);
    }
    // Enter with the focus on each control the keyboard reaches (lists, boxes, buttons,
    // Cancel among them), and in each list opened, is OK; an open list takes its
    // highlighted entry first.
    int controls = 0;
    for (int i = 0; Press(row, Qt::Key_Tab, i).reached; ++i) {
      ++controls;
      for (bool openList : {false, true}) {
        const Presses p = Press(row, i % 2 ? Qt::Key_Enter : Qt::Key_Return, i, openList);
        if (!p.reached || (row.boxesTakeEnter && p.focused == "QLineEdit")) continue;
        EXPECT_EQ(p.ok, 1) << "focus on " << p.focused << " (control " << i << ")";
        EXPECT_EQ(p.cancel, 0) << "focus on " << p.focused;
        if (openList) {
          EXPECT_EQ(p.listEntry, 0) << "control " << i;
        }
      }
    }
    EXPECT_GE(controls, row.hasCancel ? 2 : 1);
    // Esc is Cancel, wherever the focus is; without a Cancel button it closes the window.
    Presses esc = Press(row, Qt::Key_Escape);
    EXPECT_EQ(esc.ok, 0);
    EXPECT_EQ(esc.cancel, row.hasCancel ? 1 : 0);
    EXPECT_FALSE(esc.stillOpen);
  }
}

}  // namespace
}  // namespace qvx
