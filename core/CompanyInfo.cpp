#include "core/CompanyInfo.h"

#include <QHBoxLayout>
#include <QPalette>
#include <QVBoxLayout>

#include "core/Globals.h"
#include "platform/help/Help.h"

namespace qvx {

namespace {
constexpr int16_t kTopicCompanyInfo = 1200;
}

CompanyInfo& CompanyInfo::Instance() {
  static CompanyInfo instance;
  return instance;
}

void CompanyInfo::Show() {
  CompanyInfoForm form;
  form.ShowModal();
}

CompanyInfoForm::CompanyInfoForm() {
  setWindowTitle("Company Information");
  LblUserName.setBuddy(&TxtUserName);
  LblMonths.setBuddy(&LstMonths);
  TxtUserName.setMinimumWidth(300);
  LstMonths.setMaxVisibleItems(12);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(&Exit);
  buttons->addWidget(&Command1);
  SetKeyButtons(Exit, &Command1);
  QObject::connect(&Exit, &QPushButton::clicked, this, [this] { Exit_Click(); });
  QObject::connect(&Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(&LblUserName);
  layout->addWidget(&TxtUserName);
  layout->addSpacing(8);
  layout->addWidget(&LblMonths);
  layout->addWidget(&LstMonths);
  layout->addSpacing(12);
  layout->addStretch(1);
  layout->addLayout(buttons);

  help::BindF1(*this, [this] { return static_cast<int>(HelpContextID); });
}

void CompanyInfoForm::Form_Load() {
  CompanyInfo::Instance().ExitOkay = kFalse;
  TxtUserName.setText(QString::fromStdString(G.DataSetCompany));
  TxtUserName.setEnabled(true);
  QPalette palette = TxtUserName.palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Window));
  TxtUserName.setPalette(palette);

  LstMonths.clear();
  for (int m = 1; m <= 12; ++m) LstMonths.addItem(QString::fromStdString(G.MonthLong[m]));
  // The month before the first month of the year is the year's last month.
  const int first = G.FirstMonth;
  if (first >= 1 && first <= 12) LstMonths.setCurrentIndex(first == 1 ? 11 : first - 2);
  else LstMonths.setCurrentIndex(-1);
  HelpContextID = kTopicCompanyInfo;
}

void CompanyInfoForm::Exit_Click() {
  const std::string chosen = LstMonths.currentText().toStdString();
  for (int i = 1; i <= 12; ++i) {
    if (!chosen.empty() && G.MonthLong[i] == chosen) {
      G.FirstMonth = static_cast<int16_t>(i == 12 ? 1 : i + 1);
      break;
    }
  }
  CompanyInfo::Instance().ExitOkay = kTrue;
  Unload();
}

void CompanyInfoForm::Command1_Click() {
  CompanyInfo::Instance().ExitOkay = kFalse;
  Unload();
}

}  // namespace qvx
