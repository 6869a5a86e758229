#include "core/DateRange.h"

#include <cstdio>
#include <optional>

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "core/Dates.h"
#include "core/Globals.h"
#include "platform/runtime/Runtime.h"

namespace qvx {

namespace {

constexpr int kEnter = 13;

bool DayFirst() { return G.DateFormat == "DMY"; }

void ToKey(std::string& date) {
  if (DayFirst()) DMYToYYMMDD(date);
  else MDYToYYMMDD(date);
}

// The box's text as a full date in the user's order with a year from 2000 to 2099, or
// nothing after telling the user.
std::optional<std::string> AcceptedDate(const QLineEdit& box) {
  std::string date;
  CheckDateEntry(box.text().toStdString(), date);
  if (date.empty()) return std::nullopt;
  // The keys hold two-digit years: a year outside this century cannot be told apart.
  if (!IsValidDate(date)) {
    ui::MsgBox("Please enter a valid date", ui::Buttons::OK, ui::Icon::None, "Bad Date");
    return std::nullopt;
  }
  return date;
}

}  // namespace

std::string TwoDigits(int value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", value);
  return buf;
}

int LastMonthOfYear() { return G.FirstMonth == 1 ? 12 : G.FirstMonth - 1; }

std::string TypedDate(const std::string& day, const std::string& month, const std::string& year) {
  return DayFirst() ? day + "/" + month + "/" + year : month + "/" + day + "/" + year;
}

FinancialYearDates FinancialYearOf(int endYear) {
  int startYear = G.FirstMonth > 1 ? endYear - 1 : endYear;
  int last = LastMonthOfYear();
  return {TypedDate("01", TwoDigits(G.FirstMonth), std::to_string(startYear)),
          TypedDate(TwoDigits(DaysInMonth(endYear, last)), TwoDigits(last), std::to_string(endYear))};
}

void StylePeriodHeading(QLabel& heading) {
  heading.setText("Enter the dates you require");
  QFont bold = heading.font();
  bold.setBold(true);
  heading.setFont(bold);
  heading.setStyleSheet("color: blue");
}

DateRange& DateRange::Instance() {
  static DateRange instance;
  return instance;
}

void DateRange::Show() {
  DateRangeForm form;
  form.ShowModal();
}

// ---------------------------------------------------------------- window

DateRangeForm::DateRangeForm() {
  setWindowTitle("Date Range");
  StylePeriodHeading(Label2);
  LblFrom.setText("From");
  Label1.setText("To");
  CmdOkay.setText("&OK");
  Cancel.setText("C&ancel");
  SetKeyButtons(CmdOkay, &Cancel);

  auto* dates = new QVBoxLayout(&Frame1);
  dates->addWidget(&Label2);
  auto* row = new QHBoxLayout;
  row->addWidget(&LblFrom);
  row->addWidget(&TxtFromDate);
  row->addWidget(&Label1);
  row->addWidget(&TxtToDate);
  dates->addLayout(row);
  auto* buttons = new QHBoxLayout(&Frame2);
  buttons->addStretch(1);
  buttons->addWidget(&CmdOkay);
  buttons->addWidget(&Cancel);
  auto* main = new QVBoxLayout(this);
  main->addWidget(&Frame1);
  main->addWidget(&Frame2);
  setTabOrder(&TxtFromDate, &TxtToDate);
  setTabOrder(&TxtToDate, &CmdOkay);
  setTabOrder(&CmdOkay, &Cancel);

  TxtFromDate.installEventFilter(this);
  TxtToDate.installEventFilter(this);
  connect(&CmdOkay, &QPushButton::clicked, this, [this] { CmdOkay_Click(); });
  connect(&Cancel, &QPushButton::clicked, this, [this] { Cancel_Click(); });
}

// Validation runs when the focus moves from a box to another control of this window
// (not when another window, such as a message, takes it). Enter in a box is the box's
// own: it moves on from the From box and ends with OK in the To box, once.
bool DateRangeForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && (watched == &TxtFromDate || watched == &TxtToDate)) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      if (watched == &TxtFromDate) TxtFromDate_KeyPress(kEnter);
      else TxtToDate_KeyPress(kEnter);
      return true;
    }
  }
  if (event->type() == QEvent::FocusOut && !validating_) {
    auto reason = static_cast<QFocusEvent*>(event)->reason();
    bool withinWindow = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                        reason == Qt::MouseFocusReason || reason == Qt::OtherFocusReason;
    if (withinWindow && QApplication::focusWidget() != &Cancel && Loaded()) {
      if (watched == &TxtFromDate) TxtFromDate_Validate();
      else if (watched == &TxtToDate) TxtToDate_Validate();
    }
  }
  return ui::Form::eventFilter(watched, event);
}

void DateRangeForm::Form_Load() {
  DateRange::Instance().ExitOkay = false;
  fromDate_ = DateRange::Instance().FromDateX;
  for (QLineEdit* box : {&TxtFromDate, &TxtToDate}) {
    box->setEnabled(true);
    box->setStyleSheet("background-color: #FFFFFF");
    box->clear();
  }
  Label2.setText("Enter the dates you require");
  TxtFromDate.setFocus();
}

void DateRangeForm::ValidateBox(QLineEdit& box, std::string text, std::string& date) {
  validating_ = true;
  int16_t error = kFalse;
  if (DayFirst()) ValidateDateDMY(text, error);
  else ValidateDateMDY(text, error);
  if (!error && !IsValidDate(text)) error = kTrue;
  if (error) {
    box.setText(QString::fromStdString(ui::InputBox("Please enter the correct date", "Date error")));
  } else {
    box.setText(QString::fromStdString(text));
    date = text;
  }
  validating_ = false;
}

void DateRangeForm::TxtFromDate_Validate() {
  if (TxtFromDate.text().isEmpty()) return;
  ValidateBox(TxtFromDate, TxtFromDate.text().toStdString(), fromDate_);
}

void DateRangeForm::TxtToDate_Validate() {
  // An empty To date is a one-day period.
  if (TxtToDate.text().isEmpty()) TxtToDate.setText(TxtFromDate.text());
  // One or two characters name the day (the month, in month-first order) within the
  // From date's month and year.
  QString typed = TxtToDate.text();
  std::string tail = Mid(fromDate_, 3);
  if (typed.size() == 1) TxtToDate.setText("0" + typed + QString::fromStdString(tail));
  else if (typed.size() == 2) TxtToDate.setText(typed + QString::fromStdString(tail));
  ValidateBox(TxtToDate, TxtToDate.text().toStdString(), toDate_);
}

void DateRangeForm::TxtFromDate_KeyPress(int KeyAscii) {
  if (KeyAscii != kEnter) return;
  TxtFromDate_Validate();
  validating_ = true;  // the move below is not a second leaving of the box
  TxtToDate.setFocus();
  validating_ = false;
}

void DateRangeForm::TxtToDate_KeyPress(int KeyAscii) {
  if (KeyAscii != kEnter) return;
  TxtToDate_Validate();
  CmdOkay_Click();
}

void DateRangeForm::CmdOkay_Click() {
  auto& d = DateRange::Instance();
  // A refused OK leaves the window open, says nothing of its own, and changes none of
  // the public fields.
  d.ExitOkay = false;
  auto from = AcceptedDate(TxtFromDate);
  if (!from) return;
  auto to = AcceptedDate(TxtToDate);
  if (!to) return;
  std::string fromKey = *from, toKey = *to;
  ToKey(fromKey);
  ToKey(toKey);
  if (RTrim(fromKey).empty() || RTrim(toKey).empty()) return;
  if (Val(fromKey) > Val(toKey)) return;

  // The financial year holding the From date: the first of eleven years around the
  // current one whose last month is not before the From month. Whole years are
  // compared, so the search also holds where the years cross a century.
  const int last = LastMonthOfYear();
  const int fromYearMonth = (2000 + CInt(Val(Left(fromKey, 2)))) * 100 + CInt(Val(Mid(fromKey, 3, 2)));
  std::optional<int> endYear;
  for (int y = G.CurrentYear - 5; y <= G.CurrentYear + 5; ++y)
    if (y * 100 + last >= fromYearMonth) {
      endYear = y;
      break;
    }
  // A From date before the first year tried would otherwise get a year that does not
  // hold it.
  if (!endYear || (*endYear - 1) * 100 + last >= fromYearMonth) return;

  G.DialogFinYear = static_cast<int16_t>(*endYear);
  G.DialogToMth = CInt(Val(Mid(toKey, 3, 2)));
  G.MonthDays[2] = static_cast<int16_t>(DaysInMonth(*endYear, 2));
  auto year = FinancialYearOf(*endYear);
  d.FromDateX = *from;
  d.ToDateX = *to;
  d.StartFinancialYear = year.start;
  d.EndFinancialYear = year.end;
  d.ExitOkay = true;
  Unload();
}

void DateRangeForm::Cancel_Click() {
  DateRange::Instance().ExitOkay = false;
  Unload();
}

void DateRangeForm::Form_QueryUnload() { Cancel_Click(); }

}  // namespace qvx
