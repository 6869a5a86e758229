// The group report's options dialog "Report Options": the folder of company files (chosen
// by picking any company file in it), a group filter, a title, the layout options, the
// report level and printer or Excel output. Its answer is ExitOkay with the fields below;
// the folder, group, title, level and output go to the program-wide settings of G.
#pragma once

#include <cstdint>
#include <string>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/ReportOutput.h"
#include "platform/ui/Ui.h"

namespace qvx {

// The dialog's public fields; they outlive the window.
class FilterCons {
 public:
  static FilterCons& Instance();

  bool ExitOkay = false;
  std::string GroupColPosn;  // "L" or "R"
  bool IncludeAverage = false;
  int16_t RoundWhole = 0;
  int16_t ShowFigures = 0;
  int16_t ShowHeaders = 0;
  // Name of the company file last picked with the folder button, preselected next time.
  std::string ConsPickedFile;

  // Builds the window, loads it and shows it modally.
  void Show();
};

class FilterConsForm : public ui::Form {
 public:
  FilterConsForm();

  QGroupBox Frame3;
  QPushButton CmdFile1;
  QLabel LblFolder;
  QLabel Label2;
  QLineEdit TxtGroup;
  QLabel Label1;
  QLineEdit TxtTitle;
  QGroupBox Frame1;
  QCheckBox ChkWhole;
  QCheckBox ChkSeparate;
  QCheckBox ChkGroupRight;
  QCheckBox ChkAverage;
  QCheckBox ChkHdrs;
  QCheckBox ChkAcNbr;
  QCheckBox ChkExcelFile;
  QLabel Label3;
  QComboBox CmbLevel;
  QGroupBox Frame2;
  QPushButton Command1;
  QPushButton Exit;

  void Form_Load() override;
  void Form_QueryUnload() override;
  void ChkSeparate_Click();
  void CmdFile1_Click();
  void Exit_Click();
  void Command1_Click();

 private:
  // What OK stores, as the window found it: put back when the user gives up after an
  // Excel file choice that failed, so that a Cancel stores nothing.
  struct Stored {
    OutputSettings output;
    FilterCons options;
    int16_t printAccountNumbers = 0;
    std::string groupName, reportName;
  } before_;
};

// The hidden host of the open-file dialog with which a folder is chosen by picking a file
// in it. Callers pass the start folder and file in PickPath and PickFile; a successful
// choice leaves the chosen file's folder (ending in "/") and name there, and G.FileChosen
// tells success (-1) from Cancel or failure (0).
class FilePath {
 public:
  static FilePath& Instance();

  std::string PickPath;
  std::string PickFile;
  std::string PickType;  // "MYOB": company files
  // Folder of the last successful choice, the start of the next; empty until then.
  std::string NewPath;
  // The host's mirrors of the choice ("File location", "File name").
  std::string TxtPath;
  std::string TxtRptFile;

  // Loads the host: copies PickPath and PickFile into its mirrors.
  void Form_Load();
  void ChgFile_Click();
};

}  // namespace qvx
