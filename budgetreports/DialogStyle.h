// Small pieces shared by the budget reports' options dialogs.
#pragma once

#include <initializer_list>

#include <QComboBox>
#include <QRadioButton>
#include <QWidget>

namespace qvx {

// The captions of the dialogs' options, check boxes and labels are set in Verdana (the
// system's substitute where it is not installed), at the size the window uses.
void UseVerdana(std::initializer_list<QWidget*> widgets);

// Makes an option button not chosen, also when it is the chosen one of its group
// (which a click can never do).
void Unchoose(QRadioButton& option);

// Fills the report-level list with "Level 1" to "Level 4" and shows entry index, or the
// fourth entry when index lies outside 0..3.
void FillLevels(QComboBox& list, int index);

// The report level that a list shows: its entry index plus one, 4 when that lies
// outside 1..4 (no entry shown).
int16_t ChosenLevel(const QComboBox& list);

}  // namespace qvx
