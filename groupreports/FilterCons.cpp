#include "groupreports/FilterCons.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "core/Globals.h"
#include "core/ReportOutput.h"
#include "core/Startup.h"

namespace qvx {

FilterCons& FilterCons::Instance() {
  static FilterCons instance;
  return instance;
}

void FilterCons::Show() {
  FilterConsForm form;
  form.ShowModal();
}

FilterConsForm::FilterConsForm() {
  setWindowTitle("Report Options");
  Frame3.setTitle("Consolidation Options");
  CmdFile1.setText("Company File Folder");
  Label2.setText("Group Name");
  Label1.setText("Report Title");
  Frame1.setTitle("Report Options");
  ChkWhole.setText("Round to whole dollars");
  ChkSeparate.setText("Show figures for each Company");
  ChkGroupRight.setText("Show Group column on the right");
  ChkAverage.setText("Include an Average column");
  ChkHdrs.setText("Include Common Headers");
  ChkAcNbr.setText("Print Account numbers");
  ChkExcelFile.setText("Print to Excel file");
  Label3.setText("Report Level");
  Command1.setText("Cancel");
  Exit.setText("&OK");
  SetKeyButtons(Exit, &Command1);
  QFont verdana("Verdana");
  for (QWidget* w : std::initializer_list<QWidget*>{&CmdFile1, &Label2, &Label1, &ChkWhole, &ChkSeparate,
                                                    &ChkGroupRight, &ChkAverage, &ChkHdrs, &ChkAcNbr, &ChkExcelFile,
                                                    &Label3, &Command1, &Exit})
    w->setFont(verdana);
  LblFolder.setFont(QFont("Arial"));

  auto* cons = new QGridLayout(&Frame3);
  cons->addWidget(&CmdFile1, 0, 0);
  cons->addWidget(&LblFolder, 0, 1);
  cons->addWidget(&Label2, 1, 0);
  cons->addWidget(&TxtGroup, 1, 1);
  cons->addWidget(&Label1, 2, 0);
  cons->addWidget(&TxtTitle, 2, 1);
  auto* options = new QGridLayout(&Frame1);
  int row = 0;
  for (QCheckBox* box : {&ChkWhole, &ChkSeparate, &ChkGroupRight, &ChkAverage, &ChkHdrs, &ChkAcNbr, &ChkExcelFile})
    options->addWidget(box, row++, 1);
  options->addWidget(&Label3, row, 0);
  options->addWidget(&CmbLevel, row, 1);
  auto* buttons = new QHBoxLayout(&Frame2);
  buttons->addWidget(&Command1);
  buttons->addStretch(1);
  buttons->addWidget(&Exit);
  auto* main = new QVBoxLayout(this);
  main->addWidget(&Frame3);
  main->addWidget(&Frame1);
  main->addWidget(&Frame2);

  connect(&ChkSeparate, &QCheckBox::toggled, this, [this] { ChkSeparate_Click(); });
  connect(&CmdFile1, &QPushButton::clicked, this, [this] { CmdFile1_Click(); });
  connect(&Exit, &QPushButton::clicked, this, [this] { Exit_Click(); });
  connect(&Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
}

void FilterConsForm::Form_Load() {
  FilterCons& fc = FilterCons::Instance();
  before_ = {OutputSettings::Current(), fc, G.PrintAccountNumbers, G.ConsGroupName, G.ConsReportName};
  LblFolder.setText(QString::fromStdString(G.ConsPath));
  ChkWhole.setChecked(fc.RoundWhole != 0);
  ChkSeparate.setChecked(fc.ShowFigures != 0);
  ChkSeparate_Click();
  ChkHdrs.setChecked(fc.ShowHeaders != 0);
  ChkAverage.setChecked(fc.IncludeAverage && ChkAverage.isEnabled());
  ChkAcNbr.setChecked(G.PrintAccountNumbers != 0);
  TxtGroup.setText(QString::fromStdString(G.ConsGroupName));
  TxtTitle.setText(QString::fromStdString(G.ConsReportName));
  ChkExcelFile.setChecked(G.ExcelFile != 0);
  fc.ExitOkay = false;
  ChkGroupRight.setChecked(fc.GroupColPosn == "R");
  CmbLevel.clear();
  for (const char* level : {"Level 1", "Level 2", "Level 3", "Level 4"}) CmbLevel.addItem(level);
  CmbLevel.setCurrentIndex(3);
  CmbLevel.setEnabled(true);
  GetReportHelpID(G.ReportHelpID);
}

void FilterConsForm::ChkSeparate_Click() {
  if (ChkSeparate.isChecked()) {
    ChkAverage.setEnabled(true);
  } else {
    ChkAverage.setEnabled(false);
    ChkAverage.setChecked(false);
  }
}

void FilterConsForm::CmdFile1_Click() {
  FilePath& picker = FilePath::Instance();
  picker.PickPath = G.ConsPath;
  picker.PickFile = FilterCons::Instance().ConsPickedFile;
  picker.PickType = "MYOB";
  picker.Form_Load();
  picker.ChgFile_Click();
  G.ConsPath = picker.PickPath;
  FilterCons::Instance().ConsPickedFile = picker.PickFile;
  LblFolder.setText(QString::fromStdString(G.ConsPath));
}

void FilterConsForm::Exit_Click() {
  FilterCons& fc = FilterCons::Instance();
  if (G.ConsPath.empty()) {
    ui::MsgBox("Please select a Company file folder");
    return;
  }
  fc.RoundWhole = Flag(ChkWhole.isChecked());
  G.PrintAccountNumbers = Flag(ChkAcNbr.isChecked());
  fc.ShowFigures = Flag(ChkSeparate.isChecked());
  fc.ShowHeaders = Flag(ChkHdrs.isChecked());
  fc.IncludeAverage = ChkAverage.isChecked();
  G.ConsGroupName = TxtGroup.text().toStdString();
  G.ConsReportName = TxtTitle.text().toStdString();
  fc.ExitOkay = true;
  // Without a valid workbook file the user chooses again or cancels.
  fc.ExitOkay = ChooseOutput(ChkExcelFile.isChecked());
  if (!fc.ExitOkay) return;
  fc.GroupColPosn = ChkGroupRight.isChecked() ? "R" : "L";
  int level = CmbLevel.currentIndex() + 1;
  if (level < 1 || level > 4) level = 4;
  G.PrintLevel = static_cast<int16_t>(level);
  Unload();
}

void FilterConsForm::Command1_Click() {
  FilterCons& fc = FilterCons::Instance();
  // After a failed Excel file choice OK has already stored the options and half chosen
  // Excel output: all of it goes back to what the window found.
  before_.output.Restore();
  const std::string picked = fc.ConsPickedFile;  // a folder picked stays picked
  fc = before_.options;
  fc.ConsPickedFile = picked;
  G.PrintAccountNumbers = before_.printAccountNumbers;
  G.ConsGroupName = before_.groupName;
  G.ConsReportName = before_.reportName;
  fc.ExitOkay = false;
  Unload();
}

// The close box is a Cancel.
void FilterConsForm::Form_QueryUnload() { Command1_Click(); }

// ---------------------------------------------------------------- folder picker

FilePath& FilePath::Instance() {
  static FilePath instance;
  return instance;
}

void FilePath::Form_Load() {
  TxtPath = PickPath;
  TxtRptFile = PickFile;
}

void FilePath::ChgFile_Click() {
  G.FileChosen = kTrue;
  try {
    // After a first choice the dialog starts where the user last picked a file.
    const std::string start = NewPath.empty() ? PickPath : NewPath;
    const std::string probe = PickFile.empty() ? std::string() : start + PickFile;
    ui::FileRequest req;
    req.kind = ui::FileDialogKind::Open;
    req.mustExist = true;
    std::string prefix;
    if (!start.empty() && CanWriteToFolder(start, G.FileErrNbr)) {
      req.initialFolder = start;
      prefix = start;
    }
    if (!probe.empty() && CheckFileExists(probe, G.FileErrNbr)) req.fileName = prefix + PickFile;
    req.filterIndex = 0;
    if (PickType == "MYOB") {
      req.filters.push_back({"MYOB files(*.MYO)", "*.MYO"});
      req.filters.push_back({"All files (*.*)", "*.*"});
    }
    const std::optional<std::string> chosen = ui::Ui().File(req);
    if (!chosen || chosen->empty()) {
      G.FileChosen = kFalse;
      return;
    }
    const size_t slash = chosen->rfind('/');
    if (slash != std::string::npos) {
      PickPath = chosen->substr(0, slash + 1);
      PickFile = chosen->substr(slash + 1);
    } else {
      PickFile = *chosen;
    }
    TxtPath = PickPath;
    TxtRptFile = PickFile;
    NewPath = PickPath;
  } catch (const std::exception&) {
    G.FileChosen = kFalse;
  }
}

}  // namespace qvx
