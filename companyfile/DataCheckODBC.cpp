#include "companyfile/DataCheckODBC.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "companyfile/DataSource.h"
#include "platform/versioncheck/Safeguards.h"
#include "platform/versioncheck/VersionCheck.h"

namespace qvx {

DataCheckODBC& DataCheckODBC::Instance() {
  static DataCheckODBC instance;
  return instance;
}

void DataCheckODBC::Show(QWidget* owner) {
  DataCheckODBCForm form(owner);
  form.ShowModal();
}

DataCheckODBCForm::DataCheckODBCForm(QWidget* owner) : ui::Form(owner) {
  setWindowTitle("MYOB ODBC Driver Name");
  auto* grid = new QGridLayout;
  int row = 0;
  for (auto [label, box] : {std::pair{&Label1, &txtDriverName}, {&Label2, &txtCountry}, {&Label3, &txtVersion}}) {
    label->setBuddy(box);
    box->setMinimumWidth(260);
    grid->addWidget(label, row, 0);
    grid->addWidget(box, row, 1);
    ++row;
  }
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(&Exit);
  Exit.setDefault(true);
  QObject::connect(&Exit, &QPushButton::clicked, this, [this] { Exit_Click(); });
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addSpacing(10);
  layout->addLayout(buttons);
}

void DataCheckODBCForm::Form_Load() {
  const std::string file = DataSource::Instance().ODBCDataFile;
  if (file.empty()) {
    ui::MsgBox("Please enter a valid Database", ui::Buttons::OK, ui::Icon::Critical, "Data Entry Error");
    return;
  }
  using Check = int32_t (*)(const std::string&, versioncheck::AnswerBuffer&);
  const std::pair<Check, QLineEdit*> checks[] = {{&versioncheck::GetDriverName, &txtDriverName},
                                                 {&versioncheck::GetCountry, &txtCountry},
                                                 {&versioncheck::GetCompanyFileVersion, &txtVersion}};
  bool answered = false;
  for (const auto& [check, box] : checks) {
    versioncheck::AnswerBuffer answer{};
    if (check(file, answer) > 0) {
      box->setText(QString::fromStdString(versioncheck::AnswerText(answer)));
      answered = true;
    }
  }
  // A file whose reading had to be stopped (a query in it that would not end) is named
  // once; any other file without answers leaves the boxes empty.
  if (!answered) {
    const std::string why = versioncheck::WhyNoAnswer(file);
    if (why == versioncheck::kReadingStopped)
      ui::MsgBox("The company file \"" + file + "\" " + why, ui::Buttons::OK, ui::Icon::Critical);
  }
}

void DataCheckODBCForm::Exit_Click() { Unload(); }

}  // namespace qvx
