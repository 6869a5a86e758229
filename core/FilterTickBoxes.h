// The tick-list filter dialog: the user ticks entries of a list (singly, All, None, or a
// range with Shift), and OK counts them, keeps the new-page choice and, when asked,
// remembers the ticks per company in a small settings file so that the same entries are
// ticked again next time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "platform/ui/Ui.h"

namespace qvx {

// One entry of the list as the opener fills it and reads it back.
struct TickEntry {
  std::string Text;
  int32_t ItemData = 0;  // index into TickBoxValues
  bool Selected = false;
};

// The dialog's public fields; they outlive the window.
class FilterTickBoxes {
 public:
  static FilterTickBoxes& Instance();

  int16_t CanPreSelect = 0;
  bool ExitOkay = false;
  std::string CurrentArray;
  int32_t NbrSelected = 0;
  int16_t Showing = 0;
  std::string SelectionType;
  std::string TBFileName;
  int32_t TotTBSub = 0;

  // Filled by the opener: the values (record identifiers and the like) that list entries
  // stand for, entries 1 to TotTBSub; slot 0 is unused.
  std::vector<int32_t> TickBoxValues;
  // The window's caption, heading and list, set by the opener before showing; the ticks
  // are copied back here when the window closes.
  std::string Caption = "  ";
  std::string Heading;
  std::vector<TickEntry> Entries;

  // Builds the window, loads it and shows it modally.
  void Show();
};

class FilterTickBoxesForm : public ui::Form {
 public:
  FilterTickBoxesForm();

  QGroupBox Frame1;
  QGroupBox Frame2;
  QGroupBox Frame3;
  QLabel LblHeading;
  QListWidget LstGroup;
  QPushButton CmdAll;
  QPushButton CmdNone;
  QLabel LblSel;
  QCheckBox ChkNewPage;
  QPushButton Exit;
  QPushButton Command1;

  void Form_Load() override;
  void Form_QueryUnload() override;
  void LstGroup_Click();
  // Shift: 1 Shift, 2 Ctrl, 4 Alt, as the mouse event reports the modifiers.
  void LstGroup_MouseUp(int Shift, int clickedIndex);
  void CmdAll_Click();
  void CmdNone_Click();
  void Exit_Click();
  void Command1_Click();

 private:
  void ShowCount();
  void ReadSettings();
  void SaveSettings();
  void CopyTicksBack();
  bool Ticked(int row) const;
  void SetTicked(int row, bool on);
  bool filling_ = false;  // programmatic tick changes are not user clicks
};

}  // namespace qvx
