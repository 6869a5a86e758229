#include "core/DateRangeMth.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "core/DateRange.h"
#include "core/Dates.h"
#include "core/Globals.h"

namespace qvx {

namespace {

constexpr int kYears = 5;  // the current financial year and two on either side

// Calendar month of a list position: the lists run in financial-year order.
int MonthAt(int position) { return (G.FirstMonth - 1 + position) % 12 + 1; }

QString MonthName(int month) {
  return month >= 1 && month <= 12 ? QString::fromStdString(G.MonthLong[static_cast<size_t>(month)]) : QString();
}

}  // namespace

DateRangeMth& DateRangeMth::Instance() {
  static DateRangeMth instance;
  return instance;
}

void DateRangeMth::Show() {
  DateRangeMthForm form;
  form.ShowModal();
}

// ---------------------------------------------------------------- window

DateRangeMthForm::DateRangeMthForm() {
  setWindowTitle("Date Range");
  StylePeriodHeading(Label2);
  LblFrom.setText("From");
  Label1.setText("To");
  Label3.setText("Financial Year");
  Cancel.setText("C&ancel");
  CmdOkay.setText("&OK");
  SetKeyButtons(CmdOkay, &Cancel);

  auto* lists = new QGridLayout(&Frame1);
  lists->addWidget(&LblFrom, 0, 0);
  lists->addWidget(&FromMth, 0, 1);
  lists->addWidget(&Label1, 0, 2);
  lists->addWidget(&ToMth, 0, 3);
  lists->addWidget(&Label3, 1, 0);
  lists->addWidget(&CmbFinYear, 1, 1, 1, 3);
  auto* buttons = new QHBoxLayout(&Frame2);
  buttons->addStretch(1);
  buttons->addWidget(&Cancel);
  buttons->addWidget(&CmdOkay);
  auto* main = new QVBoxLayout(this);
  main->addWidget(&Label2);
  main->addWidget(&Frame1);
  main->addWidget(&Frame2);

  connect(&CmdOkay, &QPushButton::clicked, this, [this] { CmdOkay_Click(); });
  connect(&Cancel, &QPushButton::clicked, this, [this] { Cancel_Click(); });
}

void DateRangeMthForm::Form_Load() {
  auto& d = DateRangeMth::Instance();
  d.LastMth = static_cast<int16_t>(LastMonthOfYear());
  FromMth.clear();
  ToMth.clear();
  for (int p = 0; p < 12; ++p) {
    QString name = MonthName(MonthAt(p));
    FromMth.addItem(name);
    ToMth.addItem(name);
  }
  FromMth.setCurrentIndex(d.FirstMthIndex > 0 && d.FirstMthIndex < 12 ? d.FirstMthIndex : 0);
  int toPosition = 0;
  if (G.DialogToMth > 0 && G.DialogToMth <= 12) {
    toPosition = G.DialogToMth - G.FirstMonth;
    if (toPosition < 0) toPosition += 12;
  }
  ToMth.setCurrentIndex(toPosition);

  CmbFinYear.clear();
  for (int p = 0; p < kYears; ++p)
    CmbFinYear.addItem("Year ending " + MonthName(d.LastMth) + " " + QString::number(G.CurrentYear + 2 - p));
  // Only the two years ahead are chosen again; any other year starts at the current one.
  if (G.DialogFinYear == G.CurrentYear + 2) CmbFinYear.setCurrentIndex(0);
  else if (G.DialogFinYear == G.CurrentYear + 1) CmbFinYear.setCurrentIndex(1);
  else CmbFinYear.setCurrentIndex(2);

  d.ExitOkay = false;
  for (QComboBox* list : {&FromMth, &ToMth}) {
    list->setEnabled(true);
    // The open list's highlighted month keeps the usual highlight colours: with only
    // the white background given, it would be painted white on white.
    list->setStyleSheet("background-color: #FFFFFF; selection-background-color: palette(highlight); "
                        "selection-color: palette(highlighted-text)");
  }
  Label2.setText("Select the dates you require");
}

void DateRangeMthForm::CmdOkay_Click() {
  auto& d = DateRangeMth::Instance();
  d.ExitOkay = false;
  const int endYear = G.CurrentYear + 2 - CmbFinYear.currentIndex();
  G.DialogFinYear = static_cast<int16_t>(endYear);

  // Months up to the year's last month lie in the year it ends; the others in the year
  // before.
  auto yearOf = [&](int month) { return month <= d.LastMth ? endYear : endYear - 1; };
  const int fromPosition = FromMth.currentIndex(), toPosition = ToMth.currentIndex();
  const int fromMonth = MonthAt(fromPosition), toMonth = MonthAt(toPosition);
  const int fromYear = yearOf(fromMonth), toYear = yearOf(toMonth);
  // A To month before the From month is refused without a word; the window stays.
  if (toPosition < fromPosition) return;

  G.MonthDays[2] = static_cast<int16_t>(DaysInMonth(toYear, 2));
  std::string from, to;
  CheckDateEntry(TypedDate("01", std::to_string(fromMonth), std::to_string(fromYear)), from);
  if (from.empty()) return;
  CheckDateEntry(TypedDate(std::to_string(DaysInMonth(toYear, toMonth)), std::to_string(toMonth),
                           std::to_string(toYear)),
                 to);
  if (to.empty()) return;

  auto year = FinancialYearOf(endYear);
  G.DialogToMth = static_cast<int16_t>(toMonth);
  d.FirstMthIndex = static_cast<int16_t>(fromPosition);
  d.FromDateX = from;
  d.ToDateX = to;
  d.StartFinancialYear = year.start;
  d.EndFinancialYear = year.end;
  d.ExitOkay = true;
  Unload();
}

void DateRangeMthForm::Cancel_Click() {
  DateRangeMth::Instance().ExitOkay = false;
  Unload();
}

void DateRangeMthForm::Form_QueryUnload() { Cancel_Click(); }

}  // namespace qvx
