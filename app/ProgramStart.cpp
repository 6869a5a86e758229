#include "app/ProgramStart.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "companyfile/Connection.h"
#include "companyfile/DataSource.h"
#include "core/Globals.h"
#include "core/Settings.h"
#include "core/Startup.h"
#include "app/MainF.h"
#include "platform/sys/Sys.h"
#include "platform/ui/Ui.h"

namespace qvx {

namespace {

void BuildReportList() {
  G.ReportList.assign(4, std::string());
  G.NbrReports = 0;
  G.ReportList[0] = "BGTCMP 01  Single - Budget Comparison       ";
  G.ReportList[1] = "BGTFCT 02  Single - Budget Forecast         ";
  G.ReportList[2] = "CONPL  03  Group - Profit and Loss          ";
  G.NbrReports = 3;
}

struct BadIniLine {
  size_t number;
  ErrorInfo error;
};

constexpr size_t kListedBadLines = 10;

// A settings line that cannot be used gets the start-up error report; several get one
// box listing them, rather than a box for each of up to 61 lines.
void ReportBadIniLines(const std::string& ini, const std::vector<BadIniLine>& bad, size_t linesRead) {
  if (bad.size() == 1) ErrorReport(bad[0].error);
  if (bad.size() <= 1) return;
  std::string text = "These lines of the settings file " + ini + " could not be read as settings and were passed over:\r\n";
  for (size_t i = 0; i < bad.size() && i < kListedBadLines; ++i)
    text += "\r\nLine " + std::to_string(bad[i].number) + ": " + bad[i].error.description + " (error " +
            std::to_string(bad[i].error.number) + ")";
  if (bad.size() > kListedBadLines) text += "\r\n…and " + std::to_string(bad.size() - kListedBadLines) + " more lines.";
  text += bad.size() < linesRead
              ? "\r\n\r\nThe other lines were read; these are left out when Quorvex writes its settings back at its end."
              : "\r\n\r\nNone of its lines could be used, so Quorvex runs on its default settings; these lines are "
                "left out when it writes its settings back at its end.";
  ui::MsgBox(text, ui::Buttons::OK, ui::Icon::Exclamation);
}

}  // namespace

void Main() {
  StartupStatement(ResetGlobals);
  StartupStatement(BuildReportList);
  StartupStatement(BuildMonthTables);
  StartupStatement([] { G.LastProcess = "Prior to INI"; });

  const std::string ini = IniFilePath();
  StartupStatement(RemoveStaleTemporaryFiles);
  // Every setting starts from its default, so that one missing or unreadable in the file
  // keeps a sensible value.
  SettingsFile() = SettingsFileState{};
  for (const auto& line : DefaultIniLines()) {
    try {
      ParseIniLine(line);
    } catch (const std::exception&) {
    }
  }
  StartupStatement([&] {
    // Only an ordinary file of a settings file's size is read: a pipe would keep the
    // start waiting for ever, and a device (or a huge file) would fill the memory.
    ErrorInfo failure;
    try {
      sys::ReadTextLines(ini, 0, kIniMaxBytes);
      return;
    } catch (const std::exception& e) {
      failure = CurrentErrorInfo(e);
    }
    std::error_code ec;
    if (std::filesystem::exists(ini, ec)) {
      // A file that is there but cannot be read may hold the user's settings: it is not
      // replaced, nor written over at exit.
      SettingsFile().unreadable = true;
      ui::MsgBox("The settings file " + ini + " could not be read (" + failure.description +
                     ").\r\n\r\nQuorvex runs on its default settings this time and will not write over the "
                     "file when it ends, so that it can be repaired.",
                 ui::Buttons::OK, ui::Icon::Exclamation);
      return;
    }
    WriteIniLines(ini, DefaultIniLines());
  });

  StartupStatement([] { G.LastProcess = "Reading INI"; });
  std::vector<std::string> lines;
  if (!SettingsFile().unreadable &&
      StartupStatement([&] { lines = sys::ReadTextLines(ini, kIniLinesRead, kIniMaxBytes); })) {
    std::vector<BadIniLine> bad;
    for (size_t i = 0; i < lines.size(); ++i) {
      try {
        ParseIniLine(lines[i]);
      } catch (const std::exception& e) {
        bad.push_back({i + 1, CurrentErrorInfo(e)});
      }
    }
    ReportBadIniLines(ini, bad, lines.size());
  }

  StartupStatement(CorrectSettings);
  StartupStatement([] {
    DataSource::Instance().ODBCMode = "Direct";
    DataSource::Instance().ODBCAccessMode = "R";
  });

  StartupStatement([] { G.LastProcess = "Connecting ODBC"; });
  StartupStatement([] {
    if (!Conn.ODBCConnected) ConnectODBC();
  });
  StartupStatement([] {
    if (Conn.ODBCConnected) GetCompanyFileInfo();
  });

  StartupStatement([] {
    if (G.OutputPath.empty()) G.OutputPath = sys::DesktopFolder() + "/";
    if (Right(G.OutputPath, 1) != "/") G.OutputPath += "/";
  });

  StartupStatement([] {
    if (Conn.ODBCConnected) GetCustomLists();
  });

  ProbeExcel();

  StartupStatement([] { MainF::Instance().Show(); });
}

}  // namespace qvx
