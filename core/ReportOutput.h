// Where a report's output goes and how it ends: choosing and checking the workbook's file
// name, starting the workbook, saving and closing it, and the common end of every
// report's output (print job ended and the user's printer restored, or the workbook saved,
// announced and opened).
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "core/Globals.h"

namespace qvx {

// True when a file can be created in the folder. Probes with a uniquely named scratch
// file that it creates exclusively and removes again; errorNumber gets the run-time error
// number of a failure (76 no such folder, 75 not writable), else 0.
bool CanWriteToFolder(const std::string& folder, int16_t& errorNumber);

// The kinds of file a report writes.
enum class OutputKind { Pdf, Workbook };

// The message that refuses a file as a report's output, naming it, or nothing: the
// company file that is open, a company file of the group folder, a folder, or an
// existing file of another kind than the output (a PDF for the printer, a workbook for
// Excel). An empty file may be replaced.
std::optional<std::string> RefuseOutputFile(const std::string& path, OutputKind kind);

// Puts that check in place for the printer's PDF files, and the output folder as the
// folder their save box starts in; companyFile tells where the company file that is open
// lies. The program's start does this once.
void InstallOutputChecks(std::function<std::string()> companyFile);

// valid = False, after telling the user, when the name breaks the file-name rules.
void ValidateFileName(const std::string& fileName, int16_t& valid);

// Asks for the output file in the save dialog; on success folder (ending in "/") and
// fileName (with the workbook's extension) hold the choice and chosen is True.
void ChooseOutputFile(std::string& folder, std::string& fileName, const std::string& outputType, int16_t& chosen);

// The whole choice: dialog, check, and on success the stored output folder and file name
// and Excel output. ok is False otherwise, with the stored choice unchanged.
void GetOutputFile(int16_t& ok, const std::string& outputType);

// The output settings an options dialog changes (G.PrintToPrinter, PrintToExcel,
// ExcelFile, OutputType), taken when the dialog opens and put back when the user gives
// up after a failed file choice, so that Excel output is not left half chosen.
struct OutputSettings {
  int16_t PrintToPrinter = 0, PrintToExcel = 0, ExcelFile = 0;
  std::string OutputType;
  static OutputSettings Current();
  void Restore() const;
};

// The output part of an options dialog's OK. Printer: PrintToPrinter True, PrintToExcel
// and ExcelFile False (OutputType kept); returns True. Excel: PrintToExcel True,
// PrintToPrinter False, OutputType "EXCEL", then the output file is asked for; when one
// is chosen ExcelFile becomes True and it returns True, otherwise it returns False with
// those Excel settings already made (the dialog stays open).
bool ChooseOutput(bool toExcel);

// The application, workbook and worksheet of the running report.
struct ExcelObjects {
  std::shared_ptr<excel::Application>& xlApp;
  std::shared_ptr<excel::Workbook>& xlBook;
  std::shared_ptr<excel::Worksheet>& xlSheet;
  static ExcelObjects FromGlobals();
};

// Starts a workbook with one worksheet; orientation "L" makes its pages landscape.
// Sets G.ExcelOpen on success; tells the user and leaves nothing open on failure.
void StartExcel(const ExcelObjects& objects, const std::string& orientation);

// Saves the workbook as folder + fileName and closes everything, saved or not.
void SaveAndCloseExcel(const ExcelObjects& objects, const std::string& folder, const std::string& fileName,
                       int16_t& saved);

// Whether the printed page has no room for the next line and `reserve` lines more below
// it. A report's page length counts lines of some paper length; shorter paper (58 lines
// of 9 points on landscape A4) ends first, so every report ends its pages on this as well
// as on its line count, and no line is drawn past the printable area. A rule drawn above
// a total takes the line the total would have printed on, and the total prints on the
// next: with `ruleAbove` the rule counts as a line of its own, so that a total and its
// rule start the next page together when the paper has room for the rule only. False for
// workbook output, before the first page and after a cancelled printer choice.
bool PaperFull(int32_t reserve = 0, bool ruleAbove = false);

// The common end of every report's output, whether it completed or stopped: the body
// font back to 9, then FinishReportOutput.
void EndReportOutput(const ExcelObjects& objects);
void EndReportOutput();

// A report's error box: "An error has occurred - " and the description, titled "Error
// Message" (kept in MsgText, MsgTitle and Response); the run goes on afterwards.
void ShowReportError(const std::exception& e);

// One statement of a report under its error handler: a failure shows the error box and
// the run goes on with the next statement; false tells the caller it failed.
template <class F>
bool ReportStep(F&& statement) {
  try {
    statement();
    return true;
  } catch (const std::exception& e) {
    ShowReportError(e);
    return false;
  }
}

// The part of that end every report's finish shares: the progress window closed; the
// run's closing messages (core/ReportRun.h); a print job sent when the report produced
// output and abandoned otherwise, the printer back to portrait, one copy and the user's
// printer; a workbook saved only when the report wrote to it (an empty one is closed
// without touching any file), then announced and opened. A stopped run's output is
// abandoned whatever it holds.
void FinishReportOutput(const ExcelObjects& objects);

}  // namespace qvx
