#include "groupreports/GroupReports.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "companyfile/Connection.h"
#include "companyfile/DataSource.h"
#include "core/DateRangeMth.h"
#include "core/Dates.h"
#include "core/Globals.h"
#include "core/Progress.h"
#include "core/ReportRun.h"
#include "core/Settings.h"
#include "groupreports/ConsolidatedReport.h"
#include "groupreports/ConsolidationFile.h"
#include "platform/ui/Ui.h"

namespace qvx {
namespace {

void ShowError(const std::exception& e) {
  ui::MsgBox("An error has occurred - " + CurrentErrorInfo(e).description, ui::Buttons::OK, ui::Icon::None,
             "Error Message");
}

// Shows every message box through the installed service, with the company file it is
// about added when the text does not name it already: a run reads many files, and a
// driver's "invalid password" alone does not say which file refused.
class FileNamingUi : public ui::UiService {
 public:
  explicit FileNamingUi(std::string path) : path_(std::move(path)) {}
  std::unique_ptr<ui::UiService> inner;

  ui::Answer Message(const ui::MessageRequest& request) override {
    if (request.aboutSetup) return inner->Message(request);
    ui::MessageRequest named = request;
    named.text = Named(request.text);
    return inner->Message(named);
  }
  std::string Shown(const std::string& text) override { return inner->Shown(Named(text)); }
  std::optional<std::string> Input(const ui::InputRequest& request) override { return inner->Input(request); }
  std::optional<std::string> File(const ui::FileRequest& request) override { return inner->File(request); }
  void RunModal(ui::Form& form) override { inner->RunModal(form); }
  void DoEvents() override { inner->DoEvents(); }
  void ExitProgram(int code) override { inner->ExitProgram(code); }

 private:
  std::string Named(const std::string& text) const {
    return text.find(path_) == std::string::npos ? text + "\r\n\r\nCompany file " + path_ : text;
  }

  std::string path_;
};

// While one member file is connected and read, its messages name it.
class MessagesNameFile {
 public:
  explicit MessagesNameFile(const std::string& path) {
    ui::Ui();  // the service in use, created now when none was installed
    auto naming = std::make_unique<FileNamingUi>(path);
    FileNamingUi& n = *naming;
    n.inner = ui::SetUi(std::move(naming), ui::Install::InFront);
    naming_ = &n;
  }
  ~MessagesNameFile() { ui::SetUi(std::move(naming_->inner), ui::Install::InFront); }
  MessagesNameFile(const MessagesNameFile&) = delete;
  MessagesNameFile& operator=(const MessagesNameFile&) = delete;

 private:
  FileNamingUi* naming_ = nullptr;  // owned by the ui service while installed
};

// One run of the group report, from the dialogs to the finish.
class ConsolidationRun {
 public:
  void Run();

 private:
  void StartTables();
  bool AskPeriod();
  bool AskOptions();
  void ReadFolder();
  void ReadFiles();
  bool Checks();
  void ReconnectUserFile();
  void Finish();

  ConsolidationData& d_ = Consolidation;
  SavedConnection saved_{};
  // The user's own file is connected and no company file of the folder has been since.
  bool userFileConnected_ = false;
  // The run has tried to connect the user's own file again after the reading (and said so
  // when that failed): the finish does not try, and tell, a second time.
  bool userFileTried_ = false;
  std::optional<UsersSettingsKept> kept_;
  // What connecting a company file sets beside the connection, as the user's own file set it.
  struct Company {
    std::string dataSetFile, dataSetCompany;
    int16_t currentYear = 0, firstMonth = 0;
  } usersCompany_;
};

void ConsolidationRun::StartTables() {
  d_ = ConsolidationData{};
  G.BodyFont = 9;
  G.HeadingMode = kTrue;
  G.NewPageFlag = kFalse;
  G.AmtWidth = 14;
  G.PageNo = 0;
  G.PrintCancelled = kFalse;
  G.ChoosePrinter = kTrue;
  G.ReportOK = kFalse;
  G.LineCount = 0;
}

bool ConsolidationRun::AskPeriod() {
  DateRangeMth& period = DateRangeMth::Instance();
  period.OnlyToNeeded = kFalse;
  period.Show();
  if (!period.ExitOkay) return false;
  G.ReportFromDate = period.FromDateX;
  G.ReportToDate = period.ToDateX;
  G.FinYearStartDate = period.StartFinancialYear;
  G.FinYearEndDate = period.EndFinancialYear;
  SetReportPeriod();
  return true;
}

bool ConsolidationRun::AskOptions() {
  FilterCons& options = FilterCons::Instance();
  options.Show();
  if (!options.ExitOkay) return false;
  d_.SeparateCols = options.ShowFigures != 0;
  d_.WholeDollars = options.RoundWhole;
  d_.GroupColSide = options.GroupColPosn;
  d_.ShowAverage = options.IncludeAverage;
  d_.CommonHeaders = options.ShowHeaders != 0;
  d_.MaxConsFiles = G.PrintToPrinter ? kMaxConsFilesPrinter : kMaxConsFilesOther;
  // Group names are read in capitals and end at a blank: "north " means NORTH. The
  // setting keeps what the user typed.
  d_.GroupFilter = UCase(Trim(G.ConsGroupName));
  // Without common headers only two levels can be told apart.
  if (!d_.CommonHeaders && G.PrintLevel > 1) G.PrintLevel = 2;
  return true;
}

void ConsolidationRun::Run() {
  StartTables();
  if (!AskPeriod()) {
    EndReportOutput();
    return;
  }
  if (!AskOptions()) return;
  saved_ = SaveConnection();
  usersCompany_ = {G.DataSetFile, G.DataSetCompany, G.CurrentYear, G.FirstMonth};
  userFileConnected_ = Conn.ODBCConnected;
  try {
    ReadFolder();
  } catch (const std::exception& e) {
    // Whatever failed, the user's connection and output are still put back.
    ShowError(e);
  } catch (const ReportStopped&) {
    // A company file could no longer be read: the finish abandons the output.
  }
  Finish();
  kept_.reset();
}

void ConsolidationRun::ReadFolder() {
  G.ConsPath = FolderWithSlash(G.ConsPath);
  d_.ConsPath = G.ConsPath;
  const CompanyFileList list = ListCompanyFiles(d_.ConsPath);
  if (!list.readable) {
    ui::MsgBox("The company file folder " + d_.ConsPath + " cannot be read - " + list.error, ui::Buttons::OK,
               ui::Icon::None, "No Files found");
    return;
  }
  if (list.names.empty()) {
    ui::MsgBox("No MYOB data files (MYO) found in specified folder ", ui::Buttons::OK, ui::Icon::None,
               "No Files found");
    return;
  }
  d_.FoundFiles = list.names;
  d_.FoundFileCount = static_cast<int16_t>(std::min<size_t>(list.names.size(), INT16_MAX));
  ReadFiles();
  if (d_.LeftOutFiles > 0) {
    const int n = d_.LeftOutFiles;
    ui::MsgBox("Maximum data files for consolidation is " + std::to_string(d_.MaxConsFiles) + "\r\n\r\n" +
                   std::to_string(n) + (n == 1 ? " file was" : " files were") + " left out.",
               ui::Buttons::OK, ui::Icon::None, "Maximum data files");
  }
  if (!Checks()) return;
  if (d_.ConsAccCount > d_.AccountArraySize - 10) d_.GrowAccountArrays();
  // The report's headings name the user's company and use its financial year: without
  // that file there is no report, only the connection's own message.
  ReconnectUserFile();
  if (!userFileConnected_) return;
  WriteConsolidatedReport(d_);
}

void ConsolidationRun::ReadFiles() {
  d_.ConsFileCount = 0;
  d_.GroupMatchCount = 0;
  d_.PercentFileCount = 0;
  Progress& progress = Progress::Instance();
  progress.SetMax(d_.FoundFileCount);
  progress.SetCaption("Reading data files ...");
  progress.Show();
  G.ProgressShown = true;
  DataSource& ds = DataSource::Instance();
  // From the first member file connected until the user's own is again, a signal or Exit
  // writes the user's own settings.
  kept_.emplace();
  for (const std::string& name : d_.FoundFiles) {
    // Each file starts from the user's own settings: a mode or driver the connection
    // derived for one file must not carry over to the next.
    RestoreConnection(saved_);
    ds.ODBCDataFile = d_.ConsPath + name;
    userFileConnected_ = false;
    const MessagesNameFile naming(ds.ODBCDataFile);
    ds.MakeConnection();
    if (Conn.ODBCConnected) {
      ConsolidationFileReader reader(d_);
      reader.ReadConsolidationFile();
      if (reader.FileAccepted) d_.ConsFileName[static_cast<size_t>(reader.FileIdx)] = name;
    }
    progress.SetValue(d_.ConsFileCount);
  }
  progress.Unload();
}

bool ConsolidationRun::Checks() {
  if (!d_.GroupFilter.empty() && d_.GroupMatchCount == 0) {
    ui::MsgBox("No matching files found for Group = '" + d_.GroupFilter + "' " + "\r\n" +
                   "  - please read the Help Notes ",
               ui::Buttons::OK, ui::Icon::None, "No Percentage found");
    return false;
  }
  if (d_.PercentFileCount == 0) {
    ui::MsgBox("No Percentage found for Consolidation - please read the Help Notes ", ui::Buttons::OK,
               ui::Icon::None, "No Percentage found");
    return false;
  }
  return true;
}

void ConsolidationRun::ReconnectUserFile() {
  RestoreConnection(saved_);
  DataSource::Instance().MakeConnection();
  userFileConnected_ = Conn.ODBCConnected;
  userFileTried_ = true;
  if (userFileConnected_) kept_.reset();
}

void ConsolidationRun::Finish() {
  try {
    FinishConsolidatedOutput({saved_, ExcelObjects::FromGlobals(), !userFileConnected_ && !userFileTried_});
  } catch (const std::exception& e) {
    ShowError(e);
  }
  // Without the user's own file connected again, Exit still writes its data-set file and
  // financial year, never a member's.
  if (!Conn.ODBCConnected) {
    G.DataSetFile = usersCompany_.dataSetFile;
    G.DataSetCompany = usersCompany_.dataSetCompany;
    G.CurrentYear = usersCompany_.currentYear;
    G.FirstMonth = usersCompany_.firstMonth;
  }
}

}  // namespace

void RunConsolidatedReport(std::string& /*reportCode*/) {
  ConsolidationRun run;
  run.Run();
}

SavedConnection SaveConnection() {
  const DataSource& ds = DataSource::Instance();
  return {"", ds.ODBCMode, ds.ODBCUserID, ds.ODBCPassword, ds.ODBCDataFile, ds.ODBCDriver, ds.ODBCProduct};
}

void RestoreConnection(const SavedConnection& saved) {
  DataSource& ds = DataSource::Instance();
  ds.ODBCMode = saved[1];
  ds.ODBCUserID = saved[2];
  ds.ODBCPassword = saved[3];
  ds.ODBCDataFile = saved[4];
  ds.ODBCDriver = saved[5];
  ds.ODBCProduct = saved[6];
}

std::string FolderWithSlash(const std::string& folder) {
  if (folder.empty() || folder.back() == '/') return folder;
  return folder + "/";
}

CompanyFileList ListCompanyFiles(const std::string& folder) {
  namespace fs = std::filesystem;
  CompanyFileList list;
  std::error_code ec;
  fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec);
  if (ec) {
    list.readable = false;
    list.error = ec.message();
    return list;
  }
  while (it != fs::directory_iterator()) {
    std::error_code typeError;
    const std::string name = it->path().filename().string();
    const bool companyFile = it->is_regular_file(typeError) && name.size() > 4 && name[0] != '.' &&
                             UCase(name.substr(name.size() - 4)) == ".MYO";
    if (companyFile) list.names.push_back(name);
    it.increment(ec);
    if (ec) break;
  }
  if (ec) {
    list.readable = false;
    list.error = ec.message();
    list.names.clear();
    return list;
  }
  std::sort(list.names.begin(), list.names.end());
  return list;
}

void FinishConsolidatedOutput(const ConsolidatedFinish& finish) {
  RestoreConnection(finish.saved);
  if (finish.reconnect) DataSource::Instance().MakeConnection();
  FinishReportOutput(finish.excel);
}

}  // namespace qvx
