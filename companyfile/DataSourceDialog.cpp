#include "companyfile/DataSourceDialog.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "companyfile/Connection.h"
#include "companyfile/DataCheckODBC.h"
#include "companyfile/DataSource.h"
#include "core/CompanyInfo.h"
#include "core/Globals.h"
#include "core/Lookups.h"
#include "core/ReportOutput.h"
#include "core/Startup.h"
#include "platform/help/Help.h"
#include "platform/runtime/Runtime.h"
#include "platform/sys/Sys.h"

namespace qvx {

namespace {

constexpr int16_t kTopicDataSource = 1240;
constexpr int16_t kTopicDataSourceHelp = 6020;
constexpr const char* kHelpFile = "QVXHelp.CHM";
constexpr const char* kDefaultUser = "Administrator";
constexpr std::array<const char*, 3> kAr2011Drivers = {"MYOB_AccountRight_2011", "MYOB_AccountRight_2012",
                                                       "MYOB_AccountRight_2013"};

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// The text after the last "/", or the whole path without one.
std::string FileOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The shared folder the product keeps its newer company files in (the public documents
// folder on the Windows system; the user's documents folder here).
std::string LibraryFolder() {
  std::string docs = S(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
  if (docs.empty()) docs = S(QStandardPaths::writableLocation(QStandardPaths::HomeLocation));
  return docs + "/MYOB/My AccountRight Files/";
}

struct EnvFree {
  void operator()(void* env) const { SQLFreeHandle(SQL_HANDLE_ENV, env); }
};

bool AllBlanks(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

// The open dialog of the two Browse buttons: starts in the folder when it can be used,
// offers the old name when that file is still there; nullopt when nothing was chosen.
std::optional<std::string> BrowseForFile(const std::string& folder, const std::string& file,
                                         std::vector<ui::FileFilter> filters) {
  ui::FileRequest request;
  request.kind = ui::FileDialogKind::Open;
  request.title = "Open";
  request.mustExist = true;
  int16_t errNbr = 0;
  if (CanWriteToFolder(folder, errNbr)) request.initialFolder = folder;
  int16_t missing = 0;
  if (!file.empty() && CheckFileExists(folder + file, missing)) request.fileName = file;
  request.filterIndex = 0;
  request.filters = std::move(filters);
  try {
    auto chosen = ui::Ui().File(request);
    if (chosen && !chosen->empty()) return chosen;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> InstalledCompanyFileDrivers() {
  std::vector<std::string> found;
  SQLHENV raw = SQL_NULL_HENV;
  if (SQLAllocEnv(&raw) == SQL_ERROR || raw == SQL_NULL_HENV) return found;
  // The environment is released however the listing ends.
  std::unique_ptr<void, EnvFree> env(raw);
  constexpr SQLSMALLINT kBuffer = 1024;
  for (;;) {
    std::array<SQLCHAR, kBuffer> description{};
    std::array<SQLCHAR, kBuffer> attributes{};
    description.fill(' ');
    attributes.fill(' ');
    SQLSMALLINT descriptionLength = 0;
    SQLSMALLINT attributesLength = 0;
    const SQLRETURN rc = SQLDrivers(raw, SQL_FETCH_NEXT, description.data(), kBuffer, &descriptionLength,
                                    attributes.data(), kBuffer, &attributesLength);
    if (rc != SQL_SUCCESS) break;
    // A truncated description holds at most the buffer less its terminating zero.
    const auto n = static_cast<size_t>(std::clamp<SQLSMALLINT>(descriptionLength, 0, kBuffer - 1));
    const std::string name(reinterpret_cast<const char*>(description.data()), n);
    if (UCase(Left(name, 3)) == "MYO" && !AllBlanks(name)) found.push_back(name);
  }
  return found;
}

void DataSource::Show() {
  DataSourceForm form;
  form.ShowModal();
}

DataSourceForm::DataSourceForm() {
  setWindowTitle("MYOB Data File");

  auto* details = new QGridLayout(&Frame1);
  details->addWidget(&Label1, 0, 0);
  details->addWidget(&LblName, 0, 1);
  details->addWidget(&Label2, 1, 0);
  details->addWidget(&LblFileName, 1, 1);
  details->setColumnStretch(1, 1);

  auto* connection = new QGridLayout(&Frame2);
  const std::pair<QLabel*, QWidget*> rows[] = {
      {&Label3, &txtUID}, {&Label4, &txtPWD}, {&Label5, &txtDatabase}, {&Label6, &cboDrivers}, {&Label7, &txtProduct}};
  int row = 0;
  for (auto [label, box] : rows) {
    label->setBuddy(box);
    connection->addWidget(label, row, 0);
    connection->addWidget(box, row, 1);
    ++row;
  }
  txtPWD.setEchoMode(QLineEdit::Password);
  txtDatabase.setMinimumWidth(320);
  connection->addWidget(&CmdBrsData, 2, 2);
  connection->addWidget(&ChkLibrary, 2, 3);
  connection->addWidget(&CmdCheck, 3, 2);
  connection->addWidget(&CmdBrsProduct, 4, 2);
  connection->addWidget(&CmdTest, 5, 1, 1, 1, Qt::AlignLeft);
  connection->setColumnStretch(1, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(&Command2);
  buttons->addWidget(&Exit);
  Exit.setDefault(true);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(&Frame1);
  layout->addWidget(&Frame2);
  layout->addLayout(buttons);

  const std::pair<QPushButton*, void (DataSourceForm::*)()> handlers[] = {
      {&CmdTest, &DataSourceForm::CmdTest_Click},   {&CmdBrsData, &DataSourceForm::CmdBrsData_Click},
      {&CmdBrsProduct, &DataSourceForm::CmdBrsProduct_Click}, {&CmdCheck, &DataSourceForm::CmdCheck_Click},
      {&Command2, &DataSourceForm::Command2_Click}, {&Exit, &DataSourceForm::Exit_Click}};
  for (auto [button, handler] : handlers)
    QObject::connect(button, &QPushButton::clicked, this, [this, handler = handler] { (this->*handler)(); });

  cboDrivers.setSizeAdjustPolicy(QComboBox::AdjustToContents);
  help::BindF1(*this, [this] { return static_cast<int>(HelpContextID); });
}

void DataSourceForm::Form_Load() {
  adjustSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
  }
  HelpContextID = kTopicDataSource;
  DataSource& ds = DataSource::Instance();
  if (ds.ODBCMode != "DSN") ds.ODBCMode = "Direct";
  GetFileInfo();
  if (!ds.ODBCDataFile.empty()) SetFileTypeControls();
}

void DataSourceForm::GetDSNsAndDrivers() {
  DataSource& ds = DataSource::Instance();
  ds.NbrDrivers = 0;
  for (const std::string& name : InstalledCompanyFileDrivers()) {
    cboDrivers.addItem(Q(name));
    ++ds.NbrDrivers;
  }
  if (cboDrivers.count() > 1) {
    int i = 0;
    while (i < cboDrivers.count()) {
      if (i + 1 < cboDrivers.count() && cboDrivers.itemText(i) == cboDrivers.itemText(i + 1))
        cboDrivers.removeItem(i + 1);
      else
        ++i;
    }
  }
}

void DataSourceForm::GetFileInfo() {
  DataSource& ds = DataSource::Instance();
  GetDSNsAndDrivers();
  if (ds.NbrDrivers != 0) {
    txtUID.setText(Q(ds.ODBCUserID.empty() ? kDefaultUser : ds.ODBCUserID));
    txtPWD.setText(Q(ds.ODBCPassword));
    txtDatabase.setText(Q(ds.ODBCDataFile));
    const int stored = cboDrivers.findText(Q(ds.ODBCDriver), Qt::MatchExactly | Qt::MatchCaseSensitive);
    cboDrivers.setCurrentIndex(stored >= 0 ? stored : 0);
    txtProduct.setText(Q(ds.ODBCProduct));
    SplitPath(ds.ODBCProduct, ds.ProductPath, ds.ProductFile);
    SplitPath(ds.ODBCDataFile, ds.DataPath, ds.DataFile);
    LblName.setText(Q(G.DataSetCompany));
    LblFileName.setText(Q(FileOf(ds.ODBCDataFile)));
    CompanyInfo& info = CompanyInfo::Instance();
    info.CompanyFileName = ds.ODBCDataFile;
    info.CompanyFileVersion = Conn.DataBaseVersion;
    info.CompanyFileProduct = FileOf(ds.ODBCDataFile);
    info.ODBCDriver = ds.ODBCDriver;
  } else {
    // The company file set up stays: the driver may only be missing for a while, and the
    // path is written back to the settings file at exit.
    ui::MsgBox("No ODBC drivers found\r\nPlease install the MYOB ODBC driver\r\n", ui::Buttons::OK,
               ui::Icon::Critical, "ODBC Driver");
    CmdTest.setEnabled(false);
  }
}

void DataSourceForm::SetFileTypeControls() {
  const std::string file = FileOf(S(txtDatabase.text()));
  const bool newerFile = UCase(Right(file, 4)) == "MYOX";
  if (newerFile) {
    for (int i = 0; i < cboDrivers.count(); ++i) {
      const std::string entry = S(cboDrivers.itemText(i));
      if (std::find(kAr2011Drivers.begin(), kAr2011Drivers.end(), entry) != kAr2011Drivers.end()) {
        cboDrivers.setCurrentIndex(i);
        break;
      }
    }
  }
  for (QWidget* w : std::initializer_list<QWidget*>{&txtProduct, &CmdBrsProduct, &cboDrivers, &CmdCheck})
    w->setEnabled(!newerFile);
  ChkLibrary.setChecked(newerFile);
}

void DataSourceForm::CmdBrsData_Click() {
  DataSource& ds = DataSource::Instance();
  fileChosen_ = true;
  std::string folder;
  std::string file;
  SplitPath(ds.ODBCDataFile, folder, file);
  if (ChkLibrary.isChecked()) folder = LibraryFolder();

  std::optional<std::string> chosen =
      BrowseForFile(folder, file, {{"MYOB Data files(*.MYO)", "*.MYO* *.myo*"}, {"All Files (*.*)", "*"}});
  if (!chosen) {
    fileChosen_ = false;
    return;
  }
  txtDatabase.setText(Q(*chosen));
  CompanyInfo::Instance().CompanyFileName = *chosen;
  SplitPath(*chosen, ds.DataPath, ds.DataFile);
  LblName.setText(Q(G.DataSetCompany));
  LblFileName.setText(Q(FileOf(*chosen)));
  SetFileTypeControls();
}

void DataSourceForm::CmdBrsProduct_Click() {
  DataSource& ds = DataSource::Instance();
  fileChosen_ = true;
  std::string folder;
  std::string file;
  SplitPath(ds.ODBCProduct, folder, file);

  std::optional<std::string> chosen = BrowseForFile(folder, file, {{"MYOB programs(*.EXE)", "*.EXE *.exe"}});
  if (chosen) txtProduct.setText(Q(*chosen));
  else fileChosen_ = false;
  ds.ProductPath = folder;
}

void DataSourceForm::CmdCheck_Click() {
  DataSource& ds = DataSource::Instance();
  ds.ODBCMode = "Direct";
  ds.ODBCUserID = S(txtUID.text());
  ds.ODBCPassword = S(txtPWD.text());
  ds.ODBCDataFile = S(txtDatabase.text());
  DataCheckODBC::Instance().Show(this);
}

void DataSourceForm::Reconnect() {
  DataSource& ds = DataSource::Instance();
  ds.SetConnectionDetails({.txtUID = S(txtUID.text()),
                           .txtPWD = S(txtPWD.text()),
                           .txtDatabase = S(txtDatabase.text()),
                           .cboDrivers = S(cboDrivers.currentText()),
                           .txtProduct = S(txtProduct.text())});
  ds.MakeConnection();
}

void DataSourceForm::ShowFileDetails() {
  DataSource& ds = DataSource::Instance();
  SplitPath(ds.ODBCDataFile, ds.DataPath, ds.DataFile);
  LblName.setText(Q(G.DataSetCompany));
  LblFileName.setText(Q(FileOf(ds.ODBCDataFile)));
  CompanyInfo& info = CompanyInfo::Instance();
  info.CompanyFileVersion = Conn.DataBaseVersion;
  info.ODBCDriver = ds.ODBCDriver;
}

void DataSourceForm::CmdTest_Click() {
  LblName.clear();
  LblFileName.clear();
  Reconnect();
  if (Conn.ODBCConnected) ui::MsgBox("Successful connection to data file", ui::Buttons::OK);
  ShowFileDetails();
}

void DataSourceForm::Command2_Click() {
  HelpContextID = kTopicDataSourceHelp;
  try {
    help::ShowTopic(sys::InProgramFolder(kHelpFile), kTopicDataSourceHelp);
  } catch (const std::exception& e) {
    ui::MsgBox(CurrentErrorInfo(e).description);
  }
}

void DataSourceForm::Exit_Click() {
  DataSource& ds = DataSource::Instance();
  if (ds.NbrDrivers != 0) {
    Reconnect();
  } else {
    G.DialogOK = kFalse;
  }
  Unload();
}

}  // namespace qvx
