#include "core/FilterTickBoxes.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include <QEvent>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "core/CompanyFileData.h"
#include "core/Globals.h"
#include "core/Settings.h"
#include "platform/runtime/Runtime.h"
#include "platform/sys/Sys.h"

namespace qvx {

namespace {

constexpr int kShiftMask = 1;
constexpr char kTab = '\t';

// The first four characters of a text (characters, not bytes), in upper case.
std::string FirstFourUpper(const std::string& text) {
  return QString::fromStdString(text).left(4).toUpper().toStdString();
}

std::string FirstFour(const std::string& text) {
  return QString::fromStdString(text).left(4).toStdString();
}

std::string SettingsPath(const FilterTickBoxes& d) { return sys::InProgramFolder(d.TBFileName); }

// The lines of the settings file, or nothing when there is no such file. A file that is
// there but cannot be read raises its error.
std::optional<std::vector<std::string>> ReadSettingsFile(const std::string& path) {
  try {
    return sys::ReadTextLines(path, SIZE_MAX, kIniMaxBytes);
  } catch (const VbError& e) {
    if (e.Number() == err::FileNotFound || e.Number() == err::PathNotFound) return std::nullopt;
    throw;
  }
}

// Reacts to the mouse button being released over the list, so that a Shift-click can
// tick a range.
class ListMouseFilter : public QObject {
 public:
  explicit ListMouseFilter(FilterTickBoxesForm& form) : QObject(&form), form_(form) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonRelease) {
      auto* me = static_cast<QMouseEvent*>(event);
      int shift = 0;
      if (me->modifiers() & Qt::ShiftModifier) shift |= 1;
      if (me->modifiers() & Qt::ControlModifier) shift |= 2;
      if (me->modifiers() & Qt::AltModifier) shift |= 4;
      QListWidgetItem* item = form_.LstGroup.itemAt(me->position().toPoint());
      if (item) form_.LstGroup_MouseUp(shift, form_.LstGroup.row(item));
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  FilterTickBoxesForm& form_;
};

}  // namespace

FilterTickBoxes& FilterTickBoxes::Instance() {
  static FilterTickBoxes instance;
  return instance;
}

void FilterTickBoxes::Show() {
  FilterTickBoxesForm form;
  form.ShowModal();
}

// ---------------------------------------------------------------- window

FilterTickBoxesForm::FilterTickBoxesForm() {
  auto& d = FilterTickBoxes::Instance();
  setWindowTitle(QString::fromStdString(d.Caption));
  LblHeading.setText(QString::fromStdString(d.Heading));
  CmdAll.setText("All");
  CmdNone.setText("None");
  LblSel.setText("selected");
  ChkNewPage.setText("New pages");
  Exit.setText("&OK");
  SetKeyButtons(Exit, &Command1);
  Command1.setText("Cancel");

  for (const auto& e : d.Entries) {
    auto* item = new QListWidgetItem(QString::fromStdString(e.Text), &LstGroup);
    item->setData(Qt::UserRole, e.ItemData);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    item->setCheckState(e.Selected ? Qt::Checked : Qt::Unchecked);
  }

  auto* listBox = new QVBoxLayout(&Frame1);
  listBox->addWidget(&LstGroup);
  listBox->addWidget(&ChkNewPage);
  auto* okBox = new QHBoxLayout(&Frame2);
  okBox->addWidget(&Exit);
  okBox->addWidget(&Command1);
  auto* allBox = new QHBoxLayout(&Frame3);
  allBox->addWidget(&CmdAll);
  allBox->addWidget(&CmdNone);
  allBox->addWidget(&LblSel, 1);
  auto* main = new QVBoxLayout(this);
  main->addWidget(&LblHeading);
  main->addWidget(&Frame1, 1);
  main->addWidget(&Frame3);
  main->addWidget(&Frame2);

  connect(&LstGroup, &QListWidget::itemChanged, this, [this](QListWidgetItem*) {
    if (!filling_) LstGroup_Click();
  });
  LstGroup.viewport()->installEventFilter(new ListMouseFilter(*this));
  connect(&CmdAll, &QPushButton::clicked, this, [this] { CmdAll_Click(); });
  connect(&CmdNone, &QPushButton::clicked, this, [this] { CmdNone_Click(); });
  connect(&Exit, &QPushButton::clicked, this, [this] { Exit_Click(); });
  connect(&Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
}

bool FilterTickBoxesForm::Ticked(int row) const { return LstGroup.item(row)->checkState() == Qt::Checked; }

void FilterTickBoxesForm::SetTicked(int row, bool on) {
  filling_ = true;
  LstGroup.item(row)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  filling_ = false;
}

void FilterTickBoxesForm::ShowCount() {
  int n = 0;
  for (int i = 0; i < LstGroup.count(); ++i)
    if (Ticked(i)) ++n;
  LblSel.setText(n == 0 ? QString("No entries selected") : QString::number(n) + " entries selected");
}

void FilterTickBoxesForm::Form_Load() {
  auto& d = FilterTickBoxes::Instance();
  ChkNewPage.setChecked(G.NewPageFlag != 0);
  ChkNewPage.setHidden(false);
  d.TBFileName = "TBSettings" + Company.CompanyKey + ".Txt";
  d.SelectionType = FirstFourUpper(windowTitle().toStdString());
  if (d.CanPreSelect && d.Showing) ReadSettings();
  ShowCount();
}

void FilterTickBoxesForm::ReadSettings() {
  auto& d = FilterTickBoxes::Instance();
  std::optional<std::vector<std::string>> lines;
  try {
    lines = ReadSettingsFile(SettingsPath(d));
  } catch (const VbError&) {
    return;  // an unreadable file ticks nothing; it is only a convenience
  }
  if (!lines) return;
  for (const auto& line : *lines) {
    if (FirstFour(line) != d.SelectionType) continue;
    long p = InStr(line, std::string(1, kTab));
    // A line without a tab, or with nothing after it, names no value.
    if (p <= 0 || p >= static_cast<long>(line.size())) continue;
    int32_t value = 0;
    try {
      value = CLng(Val(Mid(line, p + 1)));
    } catch (const VbError&) {
      continue;  // a number beyond the Long range matches no entry
    }
    int32_t last = std::min<int32_t>(d.TotTBSub, static_cast<int32_t>(d.TickBoxValues.size()) - 1);
    for (int32_t i = 1; i <= last; ++i) {
      if (d.TickBoxValues[static_cast<size_t>(i)] != value) continue;
      for (int row = 0; row < LstGroup.count(); ++row)
        if (LstGroup.item(row)->data(Qt::UserRole).toInt() == i) SetTicked(row, true);
    }
  }
}

void FilterTickBoxesForm::LstGroup_Click() { ShowCount(); }

void FilterTickBoxesForm::LstGroup_MouseUp(int Shift, int clickedIndex) {
  if (Shift != kShiftMask) return;
  if (clickedIndex < 0 || clickedIndex >= LstGroup.count()) return;
  int anchor = -1;
  for (int i = 0; i < clickedIndex; ++i)
    if (Ticked(i)) {
      anchor = i;
      break;
    }
  if (anchor < 0) return;
  for (int i = anchor + 1; i <= clickedIndex; ++i) SetTicked(i, true);
}

void FilterTickBoxesForm::CmdAll_Click() {
  for (int i = 0; i < LstGroup.count(); ++i) SetTicked(i, true);
  LblSel.setText(QString::number(LstGroup.count()) + " entries selected");
}

void FilterTickBoxesForm::CmdNone_Click() {
  for (int i = 0; i < LstGroup.count(); ++i) SetTicked(i, false);
  LblSel.setText("No entries selected");
}

void FilterTickBoxesForm::SaveSettings() {
  auto& d = FilterTickBoxes::Instance();
  const std::string path = SettingsPath(d);
  std::vector<std::string> lines;
  for (int row = 0; row < LstGroup.count(); ++row) {
    if (!Ticked(row)) continue;
    int i = LstGroup.item(row)->data(Qt::UserRole).toInt();
    if (i < 1 || i > d.TotTBSub || static_cast<size_t>(i) >= d.TickBoxValues.size())
      Raise(err::SubscriptOutOfRange);
    lines.push_back(d.SelectionType + kTab + std::to_string(d.TickBoxValues[static_cast<size_t>(i)]));
  }
  // Other kinds of selection share the file: keep their lines as they were. A file that
  // is there but cannot be read stops the save, since rewriting it would lose them.
  if (auto old = ReadSettingsFile(path))
    for (auto& line : *old)
      if (FirstFour(line) != d.SelectionType) lines.push_back(std::move(line));
  sys::WriteTextLines(path, lines);
}

void FilterTickBoxesForm::Exit_Click() {
  auto& d = FilterTickBoxes::Instance();
  try {
    d.ExitOkay = true;
    int n = 0;
    for (int i = 0; i < LstGroup.count(); ++i)
      if (Ticked(i)) ++n;
    d.NbrSelected = n;
    if (n == 0) {
      ui::MsgBox("Please select an entry or Cancel", ui::Buttons::OK, ui::Icon::Information);
      return;
    }
    if (!ChkNewPage.isHidden()) G.NewPageFlag = Flag(ChkNewPage.isChecked());
    if (d.CanPreSelect) {
      try {
        SaveSettings();
      } catch (const VbError& e) {
        ui::MsgBox("The ticked entries could not be saved in " + SettingsPath(d) + "\r\n\r\n" + e.Description() +
                       "\r\n\r\nThe file has been left as it was.",
                   ui::Buttons::OK, ui::Icon::Exclamation);
      }
    }
  } catch (const std::exception&) {
    // An error while OK runs ends the dialog as a successful OK does.
  }
  d.CanPreSelect = kFalse;
  d.Showing = kFalse;
  CopyTicksBack();
  Unload();
}

void FilterTickBoxesForm::Command1_Click() {
  auto& d = FilterTickBoxes::Instance();
  d.ExitOkay = false;
  d.Showing = kFalse;
  CopyTicksBack();
  Unload();
}

// The close box is a Cancel: without this a previous OK's result would stand.
void FilterTickBoxesForm::Form_QueryUnload() { Command1_Click(); }

void FilterTickBoxesForm::CopyTicksBack() {
  auto& d = FilterTickBoxes::Instance();
  for (int row = 0; row < LstGroup.count() && static_cast<size_t>(row) < d.Entries.size(); ++row)
    d.Entries[static_cast<size_t>(row)].Selected = Ticked(row);
}

}  // namespace qvx
