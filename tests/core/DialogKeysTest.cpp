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

// How the keyboard opens a list: Alt+Down, F4 or the space bar on the list that has the
// focus.
enum class Opening { None, AltDown, F4, Space };

// The widget Qt gives a key the user presses: the open list's, else the focus's.
QWidget* KeyReceiver(QWidget& window) {
  if (QWidget* grabber = QWidget::keyboardGrabber()) return grabber;
  if (QWidget* popup = QApplication::activePopupWidget()) return popup->focusWidget() ? popup->focusWidget() : popup;
  return window.focusWidget() ? window.focusWidget() : &window;
}

void PressKey(QWidget& window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers);
  QApplication::sendEvent(KeyReceiver(window), &press);
  QApplication::processEvents();
}

void Open(QWidget& window, Opening opening) {
  switch (opening) {
    case Opening::None: return;
    case Opening::AltDown: return PressKey(window, Qt::Key_Down, Qt::AltModifier);
    case Opening::F4: return PressKey(window, Qt::Key_F4);
    case Opening::Space: return PressKey(window, Qt::Key_Space);
  }
}

class DialogKeysTest : public test::CoreTest {
 protected:
  void SetUp() override {
    test::CoreTest::SetUp();
    BuildMonthTables();
    G.FirstMonth = 7;
    G.CurrentYear = 2025;
    G.DateFormat = "DMY";
  }

  // Opens the dialog, gives the focus to its `control`-th control that the keyboard
  // reaches (-1: where the window puts it when it opens), presses the key there and counts
  // the presses of the OK and Cancel buttons. With an `opening`, the control is a list:
  // the keyboard opens it and highlights its last entry, the key goes to the open list,
  // and then, while the window stays, the same key again to the list, closed by then.
  struct Presses {
    bool reached = true;
    int ok = 0, cancel = 0;
    bool stillOpen = false;
    std::string focused;
    bool listOpened = false, listClosed = false;
    int listEntry = -1;     // the list's entry after the key, from its last
    int okInOpenList = -1;  // the OK presses of the key in the open list
    std::string focusedOnceClosed;
  };
  Presses Press(const DialogKeys& row, Qt::Key key, int control = -1, Opening opening = Opening::None) {
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
      p.reached = control < reachable.size() && (opening == Opening::None || (list && list->count() > 1));
      if (!p.reached) return f.Unload();
      if (control >= 0) reachable[control]->setFocus(Qt::OtherFocusReason);
      if (opening != Opening::None) {
        Open(f, opening);
        p.listOpened = list->view()->isVisible();
        PressKey(f, Qt::Key_End);
      }
      p.focused = KeyReceiver(f)->metaObject()->className();
      PressKey(f, key);
      p.stillOpen = f.Loaded();
      if (!list) return;
      p.listClosed = !list->view()->isVisible();
      p.listEntry = list->currentIndex() - (list->count() - 1);
      if (opening == Opening::None || !p.stillOpen) return;
      p.okInOpenList = p.ok;
      p.focusedOnceClosed = KeyReceiver(f)->metaObject()->className();
      PressKey(f, key);
    });
    form->ShowModal();
    return p;
  }
};

TEST_F(DialogKeysTest, EnterPressesOkWhereverTheFocusIsAndEscPressesCancel) {
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
  int listsOpened = 0;
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
    // Cancel among them) is OK. In a list opened by a key that opens one (each key in
    // turn), Enter takes the highlighted entry and closes the list, the window staying;
    // Enter on the list, closed again, is OK.
    int controls = 0;
    for (int i = 0; Press(row, Qt::Key_Tab, i).reached; ++i) {
      ++controls;
      const Opening byKey[] = {Opening::AltDown, Opening::F4, Opening::Space};
      for (Opening opening : {Opening::None, byKey[i % 3]}) {
        const Presses p = Press(row, i % 2 ? Qt::Key_Enter : Qt::Key_Return, i, opening);
        if (!p.reached || (row.boxesTakeEnter && p.focused == "QLineEdit")) continue;
        SCOPED_TRACE("control " + std::to_string(i) + ", opened by " + std::to_string(static_cast<int>(opening)));
        EXPECT_EQ(p.cancel, 0) << "focus on " << p.focused;
        if (opening == Opening::None) {
          EXPECT_EQ(p.ok, 1) << "focus on " << p.focused;
          continue;
        }
        ++listsOpened;
        EXPECT_TRUE(p.listOpened);
        EXPECT_EQ(p.okInOpenList, 0) << "focus on " << p.focused;
        EXPECT_TRUE(p.stillOpen);
        EXPECT_TRUE(p.listClosed);
        EXPECT_EQ(p.listEntry, 0);
        EXPECT_EQ(p.focusedOnceClosed, "QComboBox");
        EXPECT_EQ(p.ok, 1);
      }
    }
    EXPECT_GE(controls, row.hasCancel ? 2 : 1);
    // Esc is Cancel, wherever the focus is; without a Cancel button it closes the window.
    Presses esc = Press(row, Qt::Key_Escape);
    EXPECT_EQ(esc.ok, 0);
    EXPECT_EQ(esc.cancel, row.hasCancel ? 1 : 0);
    EXPECT_FALSE(esc.stillOpen);
  }
  EXPECT_GE(listsOpened, 7);  // the lists of the dialogs above, the Date Range dialog's three among them
}

// The month range as the keyboard picks it: each month list opened, the month moved to
// and taken by Enter, the window staying with it; then Enter on the closed list is OK
// with those months.
TEST_F(DialogKeysTest, EnterInAnOpenMonthListTakesTheMonthAndTheNextEnterTheRange) {
  struct Pick {
    Opening fromBy;
    int fromDowns;
    Opening toBy;
    int toDowns;
    const char *from, *to, *fromDate, *toDate;
  };
  for (const Pick& pick : {
           Pick{Opening::AltDown, 2, Opening::Space, 5, "September", "December", "01/09/2024", "31/12/2024"},
           Pick{Opening::Space, 0, Opening::AltDown, 11, "July", "June", "01/07/2024", "30/06/2025"},
           Pick{Opening::F4, 7, Opening::F4, 8, "February", "March", "01/02/2025", "31/03/2025"},
       }) {
    SCOPED_TRACE(std::string(pick.from) + " to " + pick.to);
    DateRangeMth& d = DateRangeMth::Instance();
    d = DateRangeMth();
    G.DialogToMth = 0;
    std::string fromShown, toShown;
    bool openAfterFrom = false, openAfterTo = false;
    ui_->QueueForm([&](ui::Form& form) {
      auto& f = dynamic_cast<DateRangeMthForm&>(form);
      f.show();
      f.activateWindow();
      QApplication::processEvents();
      auto pickMonth = [&f](QComboBox& list, Opening by, int downs) {
        list.setFocus(Qt::OtherFocusReason);
        Open(f, by);
        for (int i = 0; i < downs; ++i) PressKey(f, Qt::Key_Down);
        PressKey(f, Qt::Key_Return);
        return list.currentText().toStdString();
      };
      fromShown = pickMonth(f.FromMth, pick.fromBy, pick.fromDowns);
      openAfterFrom = f.Loaded();
      toShown = pickMonth(f.ToMth, pick.toBy, pick.toDowns);
      openAfterTo = f.Loaded();
      PressKey(f, Qt::Key_Return);
    });
    DateRangeMth::Instance().Show();
    EXPECT_EQ(fromShown, pick.from);
    EXPECT_TRUE(openAfterFrom);
    EXPECT_EQ(toShown, pick.to);
    EXPECT_TRUE(openAfterTo);
    EXPECT_TRUE(d.ExitOkay);
    EXPECT_EQ(d.FromDateX, pick.fromDate);
    EXPECT_EQ(d.ToDateX, pick.toDate);
  }
}

}  // namespace
}  // namespace qvx
