#include "core/ReportOutput.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "core/About.h"
#include "core/Lookups.h"
#include "core/PageHeading.h"
#include "core/Progress.h"
#include "core/ReportRun.h"
#include "platform/excel/Excel.h"
#include "platform/printer/Printer.h"
#include "platform/runtime/Runtime.h"
#include "platform/sys/SafeSave.h"
#include "platform/sys/Sys.h"
#include "platform/ui/Ui.h"

namespace qvx {
namespace {

// Longest file name the file system takes, in bytes.
constexpr size_t kMaxFileName = 255;

std::string WithSlash(const std::string& folder) {
  if (folder.empty() || folder.back() == '/') return folder;
  return folder + "/";
}

int16_t ErrorNumberOf(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR: return err::PathNotFound;
    case ENOSPC: return err::DiskFull;
    case EACCES:
    case EPERM:
    case EROFS: return err::PathFileAccess;
    default: return err::DeviceIO;
  }
}

std::function<std::string()>& CompanyFileOfConnection() {
  static std::function<std::string()> companyFile;
  return companyFile;
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code ec;
  return !a.empty() && !b.empty() && std::filesystem::equivalent(a, b, ec);
}

constexpr size_t kHeadBytes = 5;

// The first bytes of the file say what it is: "%PDF-" for a PDF, a zip archive for a
// workbook (an older workbook is an OLE compound file).
bool IsOfKind(const std::string& start, OutputKind kind) {
  if (start.size() < kHeadBytes) return false;
  if (kind == OutputKind::Pdf) return start == "%PDF-";
  return start.compare(0, 4, "PK\x03\x04") == 0 || start.compare(0, 4, "\xD0\xCF\x11\xE0") == 0;
}

}  // namespace

std::optional<std::string> RefuseOutputFile(const std::string& file, OutputKind kind) {
  namespace fs = std::filesystem;
  const fs::path path(file);
  const std::string companyFile = CompanyFileOfConnection() ? CompanyFileOfConnection()() : std::string();
  if (SameFile(path, companyFile)) return file + " is the company file that is open.";
  const std::string ext = UCase(path.extension().string());
  if (!G.ConsPath.empty() && ext == ".MYO" && SameFile(path.parent_path(), G.ConsPath))
    return file + " is a company file of the group folder " + G.ConsPath + ".";
  const sys::EarlierFile earlier = sys::LookAtEarlierFile(file, kHeadBytes);
  // Saving through a link is refused as the save itself would refuse it, before anyone is
  // asked whether to replace what it points at.
  if (S_ISLNK(earlier.mode)) return sys::RefusalText(file, earlier.mode);
  if (earlier.mode == 0) return std::nullopt;
  if (S_ISDIR(earlier.mode)) return file + " is a folder.";
  const std::string what = kind == OutputKind::Pdf ? "a PDF file" : "an Excel workbook";
  if (!S_ISREG(earlier.mode)) return file + " is not " + what + ".";
  if (earlier.size == 0) return std::nullopt;
  if (!earlier.head) return file + " cannot be read, so it is not replaced.";
  if (!IsOfKind(*earlier.head, kind)) return file + " is not " + what + ", so it is not replaced.";
  return std::nullopt;
}

void InstallOutputChecks(std::function<std::string()> companyFile) {
  CompanyFileOfConnection() = std::move(companyFile);
  printer::SetPdfTargetCheck([](const std::string& path) { return RefuseOutputFile(path, OutputKind::Pdf); });
  printer::SetPdfStartFolder([] { return G.OutputPath; });
}

bool CanWriteToFolder(const std::string& folder, int16_t& errorNumber) {
  errorNumber = 0;
  // A scratch name nobody else uses, created only if it does not exist yet, so that no
  // file of the user's can be truncated or removed by the probe.
  std::string probe = WithSlash(folder) + ".qvx-probe-XXXXXX";
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) {
    errorNumber = ErrorNumberOf(errno);
    return false;
  }
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

void ValidateFileName(const std::string& fileName, int16_t& valid) {
  valid = kTrue;
  int32_t dots = 0;
  CountChar(fileName, ".", dots);
  if (dots > 1) valid = kFalse;
  for (char ch : fileName) {
    const bool ok = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '.' ||
                    ch == '-';
    if (!ok) valid = kFalse;
  }
  const long allowed = (G.ExcelVersion == 2007 && UCase(Right(fileName, 5)) == ".XLSX") ? 4 : 3;
  const long dot = InStr(fileName, ".");
  if (dot > 0 && static_cast<long>(fileName.size()) - dot > allowed) valid = kFalse;
  // A name that is all extension, or longer than the file system allows, cannot be saved.
  if (dot == 1 || fileName.empty() || fileName.size() > kMaxFileName) valid = kFalse;
  if (G.OutputType == "EXCEL" && InStr(fileName, " ") > 0) {
    ui::MsgBox("Please use a file name with no spaces", ui::Buttons::OK, ui::Icon::None, "File name");
    valid = kFalse;
    return;
  }
  if (!valid) ui::MsgBox("Sorry - File name is not valid", ui::Buttons::OK, ui::Icon::None, "File name");
}

void ChooseOutputFile(std::string& folder, std::string& fileName, const std::string& outputType, int16_t& chosen) {
  chosen = kFalse;
  try {
    const ui::Answer a = ui::MsgBox("Please ensure that the file you select is not open at present (eg in Excel)\r\n\r\n" +
                                        std::string(40, ' ') + "Click OK to continue",
                                    ui::Buttons::OKCancel, ui::Icon::None, "Output File");
    if (a == ui::Answer::Cancel) return;
    ui::FileRequest req;
    req.kind = ui::FileDialogKind::Save;
    req.title = "Save As";
    if (!folder.empty() && CanWriteToFolder(folder, G.FileErrNbr)) {
      req.initialFolder = folder;
      req.fileName = fileName;
    } else {
      req.initialFolder = sys::ExistingFolderOrHome(G.OutputPath);
    }
    if (outputType == "EXCEL") {
      G.ExcelFile = kTrue;
      if (G.ExcelVersion == 2007)
        req.filters.push_back({"Excel files", "*.XLSX"});
      else
        req.filters.push_back({"Excel files", "*.XLS"});
      req.filters.push_back({"All files", "*.*"});
      req.filterIndex = InStr(UCase(req.fileName), "CSV") > 0 ? 1 : 0;
    }
    const std::optional<std::string> full = ui::Ui().File(req);
    if (!full) return;
    const size_t slash = full->rfind('/');
    std::string newFolder = folder;
    std::string newName = *full;
    if (slash != std::string::npos) {
      newFolder = full->substr(0, slash + 1);
      newName = full->substr(slash + 1);
    }
    // Whatever extension was typed, the workbook's own is used.
    newName = newName.substr(0, newName.find('.'));
    if (outputType == "EXCEL") {
      if (G.ExcelVersion == 2003) newName += ".XLS";
      if (G.ExcelVersion == 2007) newName += ".XLSX";
    }
    folder = newFolder;
    fileName = newName;
    chosen = kTrue;
  } catch (const std::exception&) {
    chosen = kFalse;
  }
}

void GetOutputFile(int16_t& ok, const std::string& outputType) {
  std::string folder = G.OutputFolder;
  std::string name = G.OutputFileName;
  ChooseOutputFile(folder, name, outputType, G.FileChosen);
  if (G.FileChosen) {
    ValidateFileName(name, G.FlagOK);
    if (G.FlagOK) {
      // The options window stays open, so the user is asked for a file again.
      if (const auto refusal = RefuseOutputFile(WithSlash(folder) + name, OutputKind::Workbook)) {
        ui::MsgBox(*refusal + "\r\n\r\nPlease choose another file.", ui::Buttons::OK, ui::Icon::Exclamation,
                   "File name");
        ok = kFalse;
        return;
      }
      G.OutputFolder = folder;
      G.OutputFileName = name;
      G.PrintToPrinter = kFalse;
      G.PrintToExcel = kTrue;
      ok = kTrue;
      return;
    }
  }
  ok = kFalse;
}

OutputSettings OutputSettings::Current() { return {G.PrintToPrinter, G.PrintToExcel, G.ExcelFile, G.OutputType}; }

void OutputSettings::Restore() const {
  G.PrintToPrinter = PrintToPrinter;
  G.PrintToExcel = PrintToExcel;
  G.ExcelFile = ExcelFile;
  G.OutputType = OutputType;
}

bool ChooseOutput(bool toExcel) {
  if (!toExcel) {
    G.PrintToPrinter = kTrue;
    G.PrintToExcel = kFalse;
    G.ExcelFile = kFalse;
    return true;
  }
  G.PrintToExcel = kTrue;
  G.PrintToPrinter = kFalse;
  G.OutputType = "EXCEL";
  int16_t ok = kFalse;
  GetOutputFile(ok, G.OutputType);
  if (!ok) return false;
  G.PrintToPrinter = kFalse;
  G.PrintToExcel = kTrue;
  if (G.OutputType == "EXCEL") G.ExcelFile = kTrue;
  return true;
}

ExcelObjects ExcelObjects::FromGlobals() { return {G.xlApp, G.xlBook, G.xlSheet}; }

namespace {

void CloseExcel(const ExcelObjects& x) {
  x.xlSheet.reset();
  if (x.xlBook) {
    x.xlBook->Close();
    x.xlBook.reset();
  }
  if (x.xlApp) {
    x.xlApp->Quit();
    x.xlApp.reset();
  }
  G.ExcelOpen = false;
}

}  // namespace

void StartExcel(const ExcelObjects& x, const std::string& orientation) {
  G.ExcelOpen = false;
  try {
    x.xlApp = excel::Application::Create();
    x.xlBook = x.xlApp->AddWorkbook();
    x.xlSheet = x.xlBook->SheetPtr(1);
    if (orientation == "L") x.xlSheet->PageSetup().Orientation = excel::xlLandscape;
    G.ExcelOpen = true;
  } catch (const std::exception& e) {
    const ErrorInfo info = CurrentErrorInfo(e);
    ui::MsgBox(info.number == err::ApplicationDefined ? "Excel file is already open"
                                                      : "An error has occurred - " + info.description,
               ui::Buttons::OK, ui::Icon::None, "Opening Excel file");
    // Nothing half-started is left running.
    CloseExcel(x);
  }
}

void SaveAndCloseExcel(const ExcelObjects& x, const std::string& folder, const std::string& fileName,
                       int16_t& saved) {
  saved = kFalse;
  try {
    if (!x.xlBook || !x.xlSheet) Raise(err::ObjectNotSet);
    // The choice was checked when it was made; the files may have changed since.
    if (const auto refusal = RefuseOutputFile(WithSlash(folder) + fileName, OutputKind::Workbook))
      Raise(err::PathFileAccess, *refusal);
    x.xlSheet->Cells(1, 1).Select();
    x.xlBook->SaveAs(WithSlash(folder) + fileName);
    saved = kTrue;
  } catch (const std::exception& e) {
    const ErrorInfo info = CurrentErrorInfo(e);
    ui::MsgBox(info.number == err::ApplicationDefined ? "Excel file Save has been cancelled"
                                                      : "An error has occurred - " + info.description,
               ui::Buttons::OK, ui::Icon::None, "Saving Excel file");
    G.ExcelFile = kFalse;
  }
  CloseExcel(x);
}

bool PaperFull(int32_t reserve, bool ruleAbove) {
  if (!G.PrintToPrinter || G.PrintCancelled) return false;
  const printer::Printer& p = printer::Current();
  return p.JobStarted() && !p.RoomForLines(reserve + (ruleAbove ? 2 : 1));
}

void EndReportOutput() { EndReportOutput(ExcelObjects::FromGlobals()); }

void EndReportOutput(const ExcelObjects& x) {
  G.BodyFont = 9;
  FinishReportOutput(x);
}

void FinishReportOutput(const ExcelObjects& x) {
  if (G.ProgressShown) {
    Progress::Instance().Unload();
    G.ProgressShown = false;
  }
  const bool stopped = RunStopped();
  if (stopped) {
    // The read that stopped the run left its windows up; whatever was made is abandoned.
    ReadingDBase::Instance().Unload();
    G.ReportOK = kFalse;
  }
  TellRunEnd();
  if (G.PrintToPrinter) {
    // A job that was started is always finished: sent when the report produced output,
    // abandoned otherwise; the user's printer comes back either way.
    try {
      printer::Printer& p = printer::Current();
      if (p.JobStarted()) {
        if (G.ReportOK)
          p.EndDoc();
        else
          p.KillDoc();
      }
      p.SetOrientation(printer::kPortrait);
      p.SetCopies(1);
      p.ClearLayout();
    } catch (const std::exception& e) {
      ui::MsgBox("An error has occurred - " + CurrentErrorInfo(e).description, ui::Buttons::OK, ui::Icon::None,
                 "Printing");
    }
    RestorePrinter();
  }
  if (G.PrintToExcel && G.ExcelFile) {
    bool saved = false;
    if (G.ExcelOpen && G.ReportOK) {
      SaveAndCloseExcel(x, G.OutputFolder, G.OutputFileName, G.FileChosen);
      saved = G.FileChosen != 0;
    } else if (G.ExcelOpen && stopped) {
      CloseExcel(x);
    } else if (G.ExcelOpen) {
      // Nothing was written: the chosen file, if there is one already, stays as it was.
      CloseExcel(x);
      ui::MsgBox("The report wrote nothing, so no Excel file has been saved.", ui::Buttons::OK,
                 ui::Icon::Information, "Excel file");
    }
    if (saved && G.ReportOK) {
      ui::MsgBox(std::string("An Excel") + " file has been created as follows:" + "\r\n\r\n" + "File Name   " +
                     G.OutputFileName + "\r\n\r\n" + "Folder         " + G.OutputFolder + "\r\n\r\n",
                 ui::Buttons::OK, ui::Icon::None, "Data File Created");
      if (G.ExcelFile) About::Instance().RunExcel(G.OutputFolder, G.OutputFileName);
    }
  }
}

void ShowReportError(const std::exception& e) {
  G.MsgTitle = "Error Message";
  G.MsgText = "An error has occurred - " + CurrentErrorInfo(e).description;
  G.Response = static_cast<int16_t>(ui::MsgBox(G.MsgText, ui::Buttons::OK, ui::Icon::None, G.MsgTitle));
}

}  // namespace qvx
