#include "app/MainF.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

#include "companyfile/Connection.h"
#include "companyfile/DataSource.h"
#include "core/About.h"
#include "core/CompanyInfo.h"
#include "core/Globals.h"
#include "core/Preferences.h"
#include "core/ReportRun.h"
#include "core/Settings.h"
#include "core/Startup.h"
#include "platform/help/Help.h"
#include "platform/sys/SafeSave.h"
#include "platform/sys/Sys.h"

namespace qvx {

namespace {

constexpr int16_t kTopicMain = 1000;
constexpr const char* kHelpFile = "QVXHelp.chm";
constexpr const char* kSampleFile = "QVXReports.CHM";
const QColor kClickedCell(0xE0, 0xE0, 0xE0);
const QColor kPlainCell(0xFF, 0xFF, 0xFF);

// Marks a report as running for as long as it runs, whatever way it ends.
class ReportRun {
 public:
  ReportRun() { G.ReportRunning = true; }
  ~ReportRun() { G.ReportRunning = false; }
  ReportRun(const ReportRun&) = delete;
  ReportRun& operator=(const ReportRun&) = delete;
};

// Copies a file over any file of the same name, through a scratch file of its own beside
// the target (sys::ScratchFile), so that a failed copy never leaves a half-written file
// and nothing found at a name in the target's folder (another user's link, say) is ever
// written through. A file copied onto itself is left as it is.
void CopyFileReplacing(const std::string& from, const std::string& to) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::is_regular_file(from, ec)) Raise(err::FileNotFound);
  // Only an ordinary file at the target's name can be the file itself (a link there is
  // refused by the copy).
  if (fs::is_regular_file(fs::symlink_status(to, ec)) && fs::equivalent(from, to, ec)) return;
  // The data-set file is a few lines of settings: read whole before anything is made.
  std::ifstream in(from, std::ios::binary);
  if (!in) Raise(sys::FileErrorNumber(errno));
  const std::string bytes{std::istreambuf_iterator<char>(in), {}};
  if (in.bad()) Raise(err::DeviceIO);
  std::optional<sys::ScratchFile> copy;
  try {
    copy.emplace(to);
  } catch (const VbError& e) {
    // A folder that is missing or may not be written is told by its number, as always.
    if (e.Number() == err::PathNotFound || e.Number() == err::PermissionDenied) Raise(e.Number());
    throw;
  }
  copy->Write(bytes);
  copy->Commit();
}

int TwipsToPixels(const QWidget& w, int twips) { return twips * w.logicalDpiX() / 1440; }

}  // namespace

// ---------------------------------------------------------------- MainF

MainF& MainF::Instance() {
  static MainF instance;
  return instance;
}

MainF::MainF() = default;

MainF::~MainF() = default;

void MainF::Show() {
  if (!window_) window_ = std::make_unique<MainFForm>();
  window_->ShowModeless();
}

MainFForm* MainF::Window() { return window_.get(); }

void MainF::DestroyWindow() { window_.reset(); }

void MainF::InitialiseReport(std::string& /*rptNo*/, bool& reportIsValid) {
  reportIsValid = true;
  G.AsAtFlag = false;
  G.PrintToPrinter = kTrue;
  G.PrintToExcel = kFalse;
  G.BodyFont = 9;
}

void MainF::CallReport() {
  // One report at a time: a second request while one runs is not started.
  if (G.ReportRunning) return;
  auto& ds = DataSource::Instance();
  if (ds.ODBCDataFile.empty()) {
    ui::MsgBox("Please use 'Setup / MYOB Connection' to connect your data file'\\");
    return;
  }
  ReportRun running;
  try {
    if (!Conn.ODBCConnected) {
      ConnectODBC();
      if (Conn.ODBCConnected) GetCompanyFileInfo();
    }
    GetReportHelpID(G.ReportHelpID);
    // Entered even when the connection attempt failed: the report says what it lacks.
    std::string code = G.ReportCode;
    RunReport([&] {
      if (code == "BGTCMP" && Entries.BudgetComparison) Entries.BudgetComparison(code);
      if (code == "BGTFCT" && Entries.BudgetForecast) Entries.BudgetForecast(code);
      if (code == "CONPL" && Entries.Consolidated) Entries.Consolidated(code);
    });
  } catch (const std::exception& e) {
    // The reports handle their own errors; anything that still escapes is told here
    // rather than taking the program down.
    ui::MsgBox("An error has occurred - " + CurrentErrorInfo(e).description, ui::Buttons::OK, ui::Icon::None,
               "Error Message");
  }
}

// ---------------------------------------------------------------- window

MainFForm::MainFForm() {
  setWindowTitle(ui::kProgramTitle);
  setWindowFlag(Qt::WindowMinimizeButtonHint, true);

  // Menus.
  MnuFile.addAction(&MnuBackup);
  MnuFile.addSeparator();
  MnuFile.addAction(&MnuExit);
  MnuSetup.addAction(&MnuCompany);
  MnuSetup.addAction(&MnuData);
  MnuSetup.addAction(&MnuPrefs);
  MnuReports.addAction(&RPTSBC);
  MnuReports.addAction(&RptBGF);
  MnuReports.addAction(&RPTGPL);
  MnuHelp.addAction(&MnuContents);
  MnuHelp.addSeparator();
  MnuHelp.addAction(&MnuAbout);
  for (QMenu* m : {&MnuFile, &MnuSetup, &MnuReports, &MnuHelp}) MenuBar.addMenu(m);
  const std::pair<QAction*, void (MainFForm::*)()> handlers[] = {
      {&MnuBackup, &MainFForm::MnuBackup_Click},   {&MnuExit, &MainFForm::MnuExit_Click},
      {&MnuCompany, &MainFForm::MnuCompany_Click}, {&MnuData, &MainFForm::MnuData_Click},
      {&MnuPrefs, &MainFForm::MnuPrefs_Click},     {&RPTSBC, &MainFForm::RPTSBC_Click},
      {&RptBGF, &MainFForm::RptBGF_Click},         {&RPTGPL, &MainFForm::RPTGPL_Click},
      {&MnuContents, &MainFForm::MnuContents_Click}, {&MnuAbout, &MainFForm::MnuAbout_Click},
  };
  for (auto [action, handler] : handlers)
    connect(action, &QAction::triggered, this, [this, handler = handler] { (this->*handler)(); });

  // The company's name.
  QFont big = Label5.font();
  big.setPointSizeF(big.pointSizeF() * 1.4);
  big.setBold(true);
  Label5.setFont(big);
  Label5.setAlignment(Qt::AlignCenter);
  Label5.setMinimumHeight(QFontMetrics(big).height() + 8);
  auto* company = new QVBoxLayout(&Frame4);
  company->addWidget(&Label5);

  // Main view: the one button that opens the list.
  CmdReports.setMinimumSize(160, 40);
  auto* mainView = new QVBoxLayout(&FrameMain);
  mainView->addStretch(1);
  mainView->addWidget(&CmdReports, 0, Qt::AlignHCenter);
  mainView->addStretch(2);
  connect(&CmdReports, &QPushButton::clicked, this, [this] { CmdReports_Click(); });

  // Report-list view: the grid with its buttons beside it.
  FLG.setColumnCount(1);
  FLG.setHorizontalHeaderLabels({"Select your Report"});
  FLG.verticalHeader()->hide();
  FLG.horizontalHeader()->setStretchLastSection(true);
  FLG.horizontalHeader()->setHighlightSections(false);
  FLG.setEditTriggers(QAbstractItemView::NoEditTriggers);
  FLG.setSelectionMode(QAbstractItemView::SingleSelection);
  FLG.setSelectionBehavior(QAbstractItemView::SelectRows);
  FLG.setWordWrap(false);
  FLG.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  connect(&FLG, &QTableWidget::cellClicked, this, [this] { FLG_MouseUp(); });
  connect(&FLG, &QTableWidget::currentCellChanged, this,
          [this](int, int, int previousRow, int) { FLG_LeaveCell(previousRow + 1); });
  auto* listButtons = new QVBoxLayout;
  for (QPushButton* b : {&CmdSelect, &Notes, &Sample}) {
    b->setMinimumWidth(110);
    listButtons->addWidget(b);
  }
  listButtons->addStretch(1);
  connect(&CmdSelect, &QPushButton::clicked, this, [this] { CmdSelect_Click(); });
  // A double-click on a row is a click on it followed by Select.
  connect(&FLG, &QTableWidget::cellDoubleClicked, this, [this] { CmdSelect_Click(); });
  connect(&Notes, &QPushButton::clicked, this, [this] { Notes_Click(); });
  connect(&Sample, &QPushButton::clicked, this, [this] { Sample_Click(); });
  auto* reportView = new QHBoxLayout(&FrameReports);
  reportView->addWidget(&FLG, 0, Qt::AlignTop);
  reportView->addSpacing(16);
  reportView->addLayout(listButtons);
  reportView->addStretch(1);

  // Exit and Close share the bottom row.
  auto* bottom = new QHBoxLayout(&Frame5);
  bottom->addStretch(1);
  bottom->addWidget(&CmdRptClose);
  bottom->addWidget(&CmdExit);
  for (QPushButton* b : {&CmdExit, &CmdRptClose}) b->setMinimumWidth(100);
  connect(&CmdExit, &QPushButton::clicked, this, [this] { CmdExit_Click(); });
  connect(&CmdRptClose, &QPushButton::clicked, this, [this] { CmdRptClose_Click(); });

  sbPanel1.setContentsMargins(6, 0, 6, 0);
  sbStatusBar.addWidget(&sbPanel1, 1);
  sbStatusBar.setSizeGripEnabled(false);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setMenuBar(&MenuBar);
  auto* body = new QVBoxLayout;
  body->setContentsMargins(24, 12, 24, 6);
  body->addWidget(&Frame4);
  body->addWidget(&FrameMain, 1);
  body->addWidget(&FrameReports, 1);
  body->addWidget(&Frame5);
  layout->addLayout(body, 1);
  layout->addWidget(&sbStatusBar);

  ShowMainView();
  resize(620, 420);
  help::BindF1(*this, [this] { return static_cast<int>(HelpContextID); });
}

void MainFForm::keyPressEvent(QKeyEvent* e) {
  // Esc would close a dialog; on the main window it does nothing.
  if (e->key() == Qt::Key_Escape) {
    e->ignore();
    return;
  }
  ui::Form::keyPressEvent(e);
}

void MainFForm::Form_Load() {
  // Each step may fail; the window is shown all the same with what was done.
  try {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect area = screen->availableGeometry();
      move(area.center() - rect().center());
    }
    G.LastProcess = "Loading Main";
    help::SetHelpFile(sys::InProgramFolder(kHelpFile));
    HelpContextID = kTopicMain;
    sbPanel1.setText(QString::fromStdString("Quorvex v" + VersionDigits()));
    Label5.setText(QString::fromStdString(G.DataSetCompany));
    if (!Conn.ODBCConnected) {
      ConnectODBC();
      if (Conn.ODBCConnected) GetCompanyFileInfo();
    }
  } catch (const std::exception&) {
  }
}

void MainFForm::ShowMainView() {
  FrameMain.show();
  FrameReports.hide();
  CmdExit.show();
  CmdRptClose.hide();
}

void MainFForm::ShowReportView() {
  FrameMain.hide();
  FrameReports.show();
  CmdExit.hide();
  CmdRptClose.show();
}

void MainFForm::CmdReports_Click() {
  if (DataSource::Instance().ODBCDataFile.empty()) {
    ui::MsgBox("Please use Setup / MYOB Connection to connect your data file");
    return;
  }
  ShowReportView();
  sbPanel1.setText("Reports available");
  auto& m = MainF::Instance();
  m.ActiveReports = G.NbrReports;
  SetFLGSize(m.ActiveReports);
  m.ReportRowIndex.assign(static_cast<size_t>(std::max<int>(m.ActiveReports, 0)) + 2, 0);
  LoadFlexGrid(m.ActiveReports);
}

void MainFForm::CmdRptClose_Click() { ShowMainView(); }

void MainFForm::SetFLGSize(int16_t activeReports) {
  FLGSize.top = 340;
  FLGSize.rowHeight = 300;
  if (activeReports >= 7) FLGSize.height = 2480;
  else if (activeReports >= 1) FLGSize.height = 380 + 300 * activeReports;
  FLGSize.width = 4485;
  FLGSize.colWidth = 4485;
  FLG.setRowCount(std::max<int>(activeReports, 0));

  // On screen the rows are never lower than the font needs, so that nothing is cut.
  const int fontRow = FLG.fontMetrics().height() + 8;
  const int row = std::max(TwipsToPixels(FLG, FLGSize.rowHeight), fontRow);
  FLG.verticalHeader()->setMinimumSectionSize(row);
  FLG.verticalHeader()->setDefaultSectionSize(row);
  FLG.horizontalHeader()->setMinimumHeight(row);
  const int shownRows = std::clamp<int>(activeReports, 1, 7);
  const int frame = 2 * FLG.frameWidth();
  const int height = std::max(TwipsToPixels(FLG, FLGSize.height), row * (shownRows + 1) + frame);
  const int width = std::max(TwipsToPixels(FLG, FLGSize.width), FLG.fontMetrics().horizontalAdvance(
                                                                    "Single - Budget Comparison") + 60);
  FLG.setFixedSize(width, height);
  FLG.setColumnWidth(0, width - frame);
}

void MainFForm::LoadFlexGrid(int16_t activeReports) {
  auto& m = MainF::Instance();
  m.ReportRowIndex.assign(static_cast<size_t>(std::max<int>(activeReports, 0)) + 2, 0);
  int row = 0;
  for (int i = 0; i < G.NbrReports && i < static_cast<int>(G.ReportList.size()); ++i) {
    ++row;
    if (row > activeReports + 1 || row > FLG.rowCount()) continue;
    auto* item = new QTableWidgetItem(QString::fromStdString(Mid(G.ReportList[i], 11)));  // owned by the grid
    item->setBackground(kPlainCell);
    FLG.setItem(row - 1, 0, item);
    m.ReportRowIndex[row] = static_cast<int16_t>(i);
  }
  // The first report is the current row, as the list opens.
  if (FLG.rowCount() > 0) FLG.setCurrentCell(0, 0);
}

int MainFForm::FLGRow() const { return FLG.currentRow() < 0 ? 0 : FLG.currentRow() + 1; }

void MainFForm::FLG_MouseUp() {
  if (auto* item = FLG.item(FLG.currentRow(), 0)) item->setBackground(kClickedCell);
}

void MainFForm::FLG_LeaveCell(int row) {
  if (auto* item = FLG.item(row - 1, 0)) item->setBackground(kPlainCell);
}

std::string MainFForm::CodeOfRow(int row) const {
  const auto& m = MainF::Instance();
  if (row < 1 || static_cast<size_t>(row) >= m.ReportRowIndex.size()) return {};
  const size_t index = static_cast<size_t>(m.ReportRowIndex[static_cast<size_t>(row)]);
  if (index >= G.ReportList.size()) return {};
  return RTrim(Left(G.ReportList[index], 6));
}

void MainFForm::CmdSelect_Click() {
  if (G.ReportRunning) return;
  const int row = FLGRow();
  if (row < 1) return;
  auto& m = MainF::Instance();
  G.ReportCode = CodeOfRow(row);
  m.InitialiseReport(G.ReportCode, m.ReportIsValid);
  if (!m.ReportIsValid) return;
  if (Conn.ODBCConnected) {
    m.CallReport();
  } else {
    ui::MsgBox("Use Setup / MYOB Data File to connect to your data file\r\n", ui::Buttons::OK,
               ui::Icon::Information, "Data File");
  }
}

void MainFForm::Notes_Click() {
  const int row = FLGRow();
  if (row < 1) return;
  G.ReportCode = CodeOfRow(row);
  GetReportHelpID(G.ReportHelpID);
  try {
    help::ShowTopic(help::HelpFile(), G.ReportHelpID);
  } catch (const std::exception&) {
    // The report notes say nothing when the help cannot be shown.
  }
}

void MainFForm::Sample_Click() {
  const int row = FLGRow();
  if (row < 1) return;
  G.ReportCode = CodeOfRow(row);
  int16_t sampleHelpID = 0;
  GetSampleHelpID(sampleHelpID);
  try {
    help::ShowTopic(sys::InProgramFolder(kSampleFile), sampleHelpID);
  } catch (const std::exception&) {
    // As for the notes: nothing is said.
  }
}

void MainFForm::MnuContents_Click() {
  if (G.ReportRunning) return;
  try {
    help::ShowTopic(help::HelpFile(), kTopicMain);
  } catch (const std::exception& e) {
    ui::MsgBox(CurrentErrorInfo(e).description);
  }
}

void MainFForm::MnuAbout_Click() {
  if (G.ReportRunning) return;
  About::Instance().Show();
}

void MainFForm::MnuCompany_Click() {
  if (G.ReportRunning) return;
  CompanyInfo::Instance().Show();
}

void MainFForm::MnuData_Click() {
  if (G.ReportRunning) return;
  DataSource::Instance().Show();
  Label5.setText(QString::fromStdString(G.DataSetCompany));
}

void MainFForm::MnuPrefs_Click() {
  if (G.ReportRunning) return;
  Preferences::Instance().Show();
}

void MainFForm::RPTSBC_Click() {
  if (G.ReportRunning) return;
  G.ReportCode = "BGTCMP";
  MainF::Instance().CallReport();
}

void MainFForm::RptBGF_Click() {
  if (G.ReportRunning) return;
  G.ReportCode = "BGTFCT";
  MainF::Instance().CallReport();
}

void MainFForm::RPTGPL_Click() {
  if (G.ReportRunning) return;
  G.ReportCode = "CONPL";
  MainF::Instance().CallReport();
}

void MainFForm::MnuBackup_Click() {
  if (G.ReportRunning) return;
  try {
    ui::FileRequest request;
    request.kind = ui::FileDialogKind::Save;
    request.title = "Backup";
    // Not the program folder: the data-set file is already there, and a copy onto itself is no backup.
    request.initialFolder = sys::ExistingFolderOrHome(G.OutputPath);
    request.fileName = G.DataSetFile;
    request.filters = {{"Text files", "*.TXT"}};
    request.filterIndex = 0;
    const auto chosen = ui::Ui().File(request);
    if (!chosen) Raise(32755, "Cancel was selected.");
    // Only the folder counts: the copy keeps the data-set file's own name.
    const auto slash = chosen->rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : chosen->substr(0, slash + 1);
    CopyFileReplacing(sys::InProgramFolder(G.DataSetFile), folder + G.DataSetFile);
    ui::MsgBox("The DataSet file has been copied to " + folder, ui::Buttons::OK, ui::Icon::Information);
  } catch (const std::exception& e) {
    ui::MsgBox("Quorvex data files NOT copied\r\n\r\n" + CurrentErrorInfo(e).description + "\r\n", ui::Buttons::OK,
               ui::Icon::Information, "File not copied");
  }
}

void MainFForm::Form_Unload() { SaveSettingsOnExit(); }

void MainFForm::EndProgram() {
  ending_ = true;
  Unload();
  QCoreApplication::quit();
}

void MainFForm::Form_QueryUnload() {
  if (ending_) return;
  Form_Unload();
  EndProgram();
}

void MainFForm::CmdExit_Click() {
  Form_Unload();
  EndProgram();
}

void MainFForm::MnuExit_Click() {
  if (G.ReportRunning) return;
  SaveSettingsOnExit();
  Form_Unload();
  EndProgram();
}

}  // namespace qvx
