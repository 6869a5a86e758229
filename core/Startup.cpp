#include "core/Startup.h"

#include <filesystem>

#include "core/Globals.h"
#include "core/Settings.h"
#include "platform/excel/ExcelProbe.h"
#include "platform/sys/Sys.h"
#include "platform/ui/Ui.h"

#ifndef QVX_VERSION_MAJOR
#define QVX_VERSION_MAJOR 0
#define QVX_VERSION_MINOR 0
#define QVX_VERSION_PATCH 0
#endif

namespace qvx {

namespace {

constexpr const char* kCrLf = "\r\n";

}  // namespace

void CorrectSettings() {
  if (G.Underline < 1 || G.Underline > 5) G.Underline = 2;
  if (G.FirstMonth < 1 || G.FirstMonth > 12) G.FirstMonth = 4;
  if (G.HeadingFont == 0) G.HeadingFont = 11;
  if (G.BodyFont == 0) G.BodyFont = 9;

  // Values no report or window can use (a page of one line, a giant or negative font, a
  // name longer than any company's) take their defaults, and the user is told which once.
  // The settings file keeps what it holds until the program writes it back at its end.
  struct Range {
    const char* key;
    int16_t* value;
    int16_t low, high;
    bool zeroAllowed;  // 0: the report chooses
    const char* what;
  };
  const Range ranges[] = {
      {"PTLines", &G.PTLines, 36, 119, true, "lines per portrait page"},
      {"LSLines", &G.LSLines, 26, 79, true, "lines per landscape page"},
      {"BodyFont", &G.BodyFont, 6, 14, false, "the size of report text"},
      {"HeadingFont", &G.HeadingFont, 6, 24, false, "the size of heading text"},
  };
  std::string reset;
  for (const Range& r : ranges) {
    const int16_t v = *r.value;
    if ((v >= r.low && v <= r.high) || (r.zeroAllowed && v == 0)) continue;
    ApplyDefaultSetting(r.key);
    reset += std::string(kCrLf) + r.key + "=" + std::to_string(v) + ": " + r.what + " must be " +
             (r.zeroAllowed ? "0 or " : "") + std::to_string(r.low) + " to " + std::to_string(r.high) + "; " +
             std::to_string(*r.value) + " is used.";
  }
  if (!G.CompanyName.empty() && !UsableCompanyName(G.CompanyName)) {
    ApplyDefaultSetting("CompanyName");
    reset += std::string(kCrLf) + "CompanyName: a name of more than " + std::to_string(kMaxCompanyNameChars) +
             " characters is too long; the company file's own name is used.";
  }
  if (reset.empty()) return;
  ui::MsgBox("These settings in " + IniFilePath() + " are outside what Quorvex can use and take their default values:" +
                 kCrLf + reset + kCrLf + kCrLf +
                 "The file keeps what you wrote until Quorvex ends and writes these values back.",
             ui::Buttons::OK, ui::Icon::Exclamation);
}

void ProbeExcel() {
  G.iTemp = 12345;
  G.ExcelVersion = 2003;
  // Any failure of the probe only means there is no workbook application.
  try {
    std::string version = Startup.ExcelProbe ? Startup.ExcelProbe() : ProbeExcelVersion();
    G.ExcelVersion = 2003;
    if (Left(version, 2) == "12") G.ExcelVersion = 2007;
  } catch (const std::exception&) {
    G.ExcelVersion = 0;
  }
}

namespace {

std::string VersionText() { return "v" + VersionDigits() + "   "; }

}  // namespace

void BuildMonthTables() {
  static constexpr const char* kShort[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  static constexpr const char* kLong[] = {"January", "February", "March",     "April",   "May",      "June",
                                          "July",    "August",   "September", "October", "November", "December"};
  static constexpr int16_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (size_t m = 1; m <= 12; ++m) {
    G.MonthShort[m] = kShort[m - 1];
    G.MonthLong[m] = kLong[m - 1];
    G.MonthDays[m] = kDays[m - 1];
  }
}

std::string VersionDigits() {
  return std::to_string(QVX_VERSION_MAJOR) + "." + std::to_string(QVX_VERSION_MINOR) +
         std::to_string(QVX_VERSION_PATCH);
}

bool StartupStatement(const std::function<void()>& statement) {
  for (;;) {
    try {
      statement();
      return true;
    } catch (const std::exception& e) {
      if (ErrorReport(CurrentErrorInfo(e)) != "R") return false;
    }
  }
}

void ResetGlobals() {
  G.iLoop = 0;
  G.iLoop2 = 0;
  G.iPos = 0;
  G.iHigh = 0;
  G.iMonth = 0;
  G.iTemp = 0;
  G.NewPageFlag = 0;
  G.PageNo = 0;
  G.PrintCancelled = 0;
  G.ReportOK = 0;
  G.SortPos = 0;
  G.LineCount = 0;
  G.SortCount = 0;
}

std::string ErrorReportText(const ErrorInfo& error) {
  std::string text;
  auto line = [&](const std::string& l) { text += l + kCrLf; };
  bool disk = error.number >= 70 && error.number <= 72;
  if (disk) {
    line("There is a problem accessing your disk.");
    line("Please check the disk and try again.");
  } else {
    line("An unrecoverable error has ocurred.");
  }
  line(" ");
  line("Error        " + Str(static_cast<int64_t>(error.number)));
  line("Problem      " + error.description);
  line("Version      " + VersionText());
  line("Last Process " + G.LastProcess);
  line(" ");
  line("For assistance please contact:");
  line("         Quorvex Support");
  line("         Telephone 0800 555 0199");
  line("         Fax 0800 555 0198");
  line("");
  return text;
}

std::string ErrorReport(const ErrorInfo& error) {
  const bool disk = error.number >= 70 && error.number <= 72;
  if (!disk) {
    ui::MsgBox(ErrorReportText(error), ui::Buttons::OK, ui::Icon::None);
    return "";
  }
  // A disk error may not go away by itself (a program folder that cannot be written):
  // the user chooses between another try and ending the program.
  if (ui::MsgBox(ErrorReportText(error), ui::Buttons::RetryCancel, ui::Icon::None) == ui::Answer::Retry) return "R";
  const std::string folder = std::filesystem::path(IniFilePath()).parent_path().string();
  ui::MsgBox("Quorvex cannot go on without writing to its folder " + folder + " (" + error.description +
                 ").\r\n\r\nPlease make that folder writable, or start the program from a folder you may "
                 "write to. The program ends now.",
             ui::Buttons::OK, ui::Icon::Critical);
  ui::Ui().ExitProgram(1);
  return "";
}

namespace {
int16_t TopicOfReport() {
  if (G.ReportCode == "BGTCMP") return 2400;
  if (G.ReportCode == "BGTFCT") return 2500;
  if (G.ReportCode == "CONPL") return 3100;
  return 0;
}
}  // namespace

void GetReportHelpID(int16_t& helpID) {
  helpID = 0;
  helpID = TopicOfReport();
}

void GetSampleHelpID(int16_t& helpID) {
  helpID = 0;
  helpID = TopicOfReport();
}

bool FileExists(const std::string& fileName, int16_t& errNbr) {
  errNbr = 0;
  try {
    sys::ReadTextLines(fileName, 0);
    return true;
  } catch (const std::exception& e) {
    errNbr = static_cast<int16_t>(CurrentErrorInfo(e).number);
    return false;
  }
}

bool CheckFileExists(const std::string& fileName, int16_t& errNbr) { return FileExists(fileName, errNbr); }

}  // namespace qvx
