// The About box (product name, version with the program file's date, a warning and the
// contact details) and the routine that opens a written workbook, which lives on the
// same class. The window is built each time it is shown.
#pragma once

#include <string>

#include <QDate>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "platform/ui/Ui.h"

namespace qvx {

class About {
 public:
  static About& Instance();

  // Shows the box modally.
  void Show();
  // Opens folder + fileName with the desktop's default program (the routine of the
  // output services); the outcome is not used.
  void RunExcel(const std::string& folder, const std::string& fileName);

  // The date part of the version line: the date in the short-date picture, its year
  // always written with four digits.
  static std::string FileDateText(const QDate& date, const std::string& shortDatePicture);
  // "V1.121   05/03/2013": the version, three blanks and the program file's date (the
  // date is left out when the program file cannot be found).
  static std::string VersionLine();
};

inline constexpr const char* kContactEmail = "support@quorvex.example";
inline constexpr const char* kWebsite = "https://www.quorvex.example/";

class AboutForm : public ui::Form {
 public:
  AboutForm();

  void Form_Load() override;
  void LblWebsite_Click();
  void cmdOK_Click();

  QLabel picIcon;
  QLabel lblTitle;
  QLabel LblDate;
  QLabel lblWarn;
  QGroupBox FrameContact{"Contact"};
  QLabel LblEmail;
  QLabel LblWebsite;
  QPushButton cmdOK{"OK"};
};

}  // namespace qvx
