// The main window: the program's version and the connected company, the report list,
// the menus, the report dispatch, the backup of the data-set file and the ways out.
// Its one program-wide object lives for the whole run; the window is built when it is
// first shown.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QWidget>

#include "platform/ui/ElidedLabel.h"
#include "platform/ui/Ui.h"

namespace qvx {

class MainFForm;

class MainF {
 public:
  static MainF& Instance();
  ~MainF();

  // Shows the main window without waiting.
  void Show();
  // The window, when it has been built.
  MainFForm* Window();
  // Destroys the window; called before the application object goes away.
  void DestroyWindow();

  // Starts the report named by G.ReportCode.
  void CallReport();
  // Resets the output options for a report started from the list; reportIsValid
  // receives true.
  void InitialiseReport(std::string& rptNo, bool& reportIsValid);

  int16_t ActiveReports = 0;
  bool ReportIsValid = false;
  // Grid row (1 = first report) to index in G.ReportList.
  std::vector<int16_t> ReportRowIndex;

  // The entry routine of each report code, registered by the program (RegisterProgramParts)
  // from outside the core. Tests replace them to see the dispatch.
  struct ReportEntries {
    std::function<void(std::string&)> BudgetComparison;
    std::function<void(std::string&)> BudgetForecast;
    std::function<void(std::string&)> Consolidated;
  };
  ReportEntries Entries;

 private:
  MainF();
  std::unique_ptr<MainFForm> window_;
};

// The report list's size in twips, as last set by SetFLGSize.
struct FlexGridSize {
  int top = 0, rowHeight = 0, height = 0, width = 0, colWidth = 0;
};

class MainFForm : public ui::Form {
  Q_OBJECT
 public:
  MainFForm();

  void Form_Load() override;
  // The close box.
  void Form_QueryUnload() override;
  // The window closes: the settings and the data-set file are written.
  void Form_Unload();

  void CmdReports_Click();
  void CmdRptClose_Click();
  void CmdSelect_Click();
  void Notes_Click();
  void Sample_Click();
  void CmdExit_Click();
  void MnuBackup_Click();
  void MnuExit_Click();
  void MnuCompany_Click();
  void MnuData_Click();
  void MnuPrefs_Click();
  void RPTSBC_Click();
  void RptBGF_Click();
  void RPTGPL_Click();
  void MnuContents_Click();
  void MnuAbout_Click();
  void FLG_MouseUp();
  void FLG_LeaveCell(int row);

  void SetFLGSize(int16_t activeReports);
  void LoadFlexGrid(int16_t activeReports);
  // The grid's current row, 1 for the first report; 0 when there is none.
  int FLGRow() const;
  // The first panel of the status bar.
  QString StatusText() const { return sbPanel1.text(); }
  bool ReportListShown() const { return !FrameReports.isHidden(); }

  int16_t HelpContextID = 0;
  FlexGridSize FLGSize;

  // Containers are declared before the controls they hold, so that every control is
  // destroyed before its container.
  QMenuBar MenuBar;
  QMenu MnuFile{"File"};
  QAction MnuBackup{"Backup"};
  QAction MnuExit{"Exit"};
  QMenu MnuSetup{"Setup"};
  QAction MnuCompany{"Company Information"};
  QAction MnuData{"MYOB Connection"};
  QAction MnuPrefs{"Preferences"};
  QMenu MnuReports{"Reports"};
  QAction RPTSBC{"Single - Budget Comparison"};
  QAction RptBGF{"Single - Budget Forecast"};
  QAction RPTGPL{"Group - Profit and Loss"};
  QMenu MnuHelp{"Help"};
  QAction MnuContents{"Contents"};
  QAction MnuAbout{"About Quorvex"};

  QWidget Frame4;
  // The company name: a name longer than this many characters is shortened to the
  // window's width rather than widening the window.
  ui::ElidedLabel Label5{80};

  QWidget FrameMain;
  QPushButton CmdReports{"Reports"};

  QWidget FrameReports;
  QTableWidget FLG;
  QPushButton CmdSelect{"Select"};
  QPushButton Notes{"Notes"};
  QPushButton Sample{"Sample"};

  QWidget Frame5;
  QPushButton CmdExit{"&Exit"};
  QPushButton CmdRptClose{"Close"};

  QStatusBar sbStatusBar;
  QLabel sbPanel1;

 protected:
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void ShowMainView();
  void ShowReportView();
  // The report code of the grid's current row ("" when there is none).
  std::string CodeOfRow(int row) const;
  // Ends the program once the window has been unloaded.
  void EndProgram();
  bool ending_ = false;
};

}  // namespace qvx
