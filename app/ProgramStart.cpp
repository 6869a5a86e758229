#include "app/ProgramStart.h"

#include <filesystem>
#include <system_error>

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
    int16_t errNbr = 0;
    if (FileExists(ini, errNbr)) return;
    std::error_code ec;
    if (std::filesystem::exists(ini, ec)) {
      // A file that is there but cannot be read may hold the user's settings: it is not
      // replaced, nor written over at exit.
      SettingsFile().unreadable = true;
      ui::MsgBox("The settings file " + ini + " could not be read (" + ErrorDescription(errNbr) +
                     ").\r\n\r\nQuorvex runs on its default settings this time and will not write over the "
                     "file when it ends, so that it can be repaired.",
                 ui::Buttons::OK, ui::Icon::Exclamation);
      return;
    }
    WriteIniLines(ini, DefaultIniLines());
  });

  StartupStatement([] { G.LastProcess = "Reading INI"; });
  std::vector<std::string> lines;
  if (!SettingsFile().unreadable && StartupStatement([&] { lines = sys::ReadTextLines(ini, kIniLinesRead); })) {
    for (const auto& line : lines) StartupStatement([&] { ParseIniLine(line); });
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
