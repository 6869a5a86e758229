// The date range dialog: the user types a From and a To date; each is checked and
// normalised when the user leaves its box, and OK finds the financial year holding the
// From date. The results are four typed dates in the user's order.
#pragma once

#include <string>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/ui/Ui.h"

namespace qvx {

// The dialog's public fields; they outlive the window and change only on an accepted OK.
class DateRange {
 public:
  static DateRange& Instance();

  bool ExitOkay = false;
  std::string FromDateX;
  std::string ToDateX;
  std::string StartFinancialYear;
  std::string EndFinancialYear;

  // Builds the window, loads it and shows it modally.
  void Show();
};

// The first and last day of the financial year that ends in the year endYear, as typed
// dates in the user's order. February's length is that of its real year.
struct FinancialYearDates {
  std::string start;
  std::string end;
};
FinancialYearDates FinancialYearOf(int endYear);
// The last month of every financial year: the month before FirstMonth.
int LastMonthOfYear();
// A date typed in the user's order from its parts ("05/04/2024" or "04/05/2024").
std::string TypedDate(const std::string& day, const std::string& month, const std::string& year);
// A number with at least two digits ("07").
std::string TwoDigits(int value);
// The bold blue heading of the period dialogs, with its design text.
void StylePeriodHeading(QLabel& heading);

class DateRangeForm : public ui::Form {
 public:
  DateRangeForm();

  QGroupBox Frame1;
  QGroupBox Frame2;
  QLabel Label2;
  QLabel LblFrom;
  QLineEdit TxtFromDate;
  QLabel Label1;
  QLineEdit TxtToDate;
  QPushButton CmdOkay;
  QPushButton Cancel;

  void Form_Load() override;
  void Form_QueryUnload() override;
  void TxtFromDate_Validate();
  void TxtFromDate_KeyPress(int KeyAscii);
  void TxtToDate_Validate();
  void TxtToDate_KeyPress(int KeyAscii);
  void CmdOkay_Click();
  void Cancel_Click();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Checks a box's text as typed; on success the box shows the normalised date and
  // date holds it, otherwise the user is asked again and the answer fills the box.
  void ValidateBox(QLineEdit& box, std::string text, std::string& date);
  std::string fromDate_;  // the From date as last validated
  std::string toDate_;
  bool validating_ = false;
};

}  // namespace qvx
