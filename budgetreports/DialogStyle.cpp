#include "budgetreports/DialogStyle.h"

namespace qvx {

void UseVerdana(std::initializer_list<QWidget*> widgets) {
  for (QWidget* w : widgets) {
    QFont f = w->font();
    f.setFamily("Verdana");
    w->setFont(f);
  }
}

void Unchoose(QRadioButton& option) {
  if (!option.isChecked()) return;
  const bool exclusive = option.autoExclusive();
  option.setAutoExclusive(false);
  option.setChecked(false);
  option.setAutoExclusive(exclusive);
}

void FillLevels(QComboBox& list, int index) {
  list.clear();
  for (const char* level : {"Level 1", "Level 2", "Level 3", "Level 4"}) list.addItem(level);
  list.setCurrentIndex(index >= 0 && index <= 3 ? index : 3);
}

int16_t ChosenLevel(const QComboBox& list) {
  const int level = list.currentIndex() + 1;
  return static_cast<int16_t>(level >= 1 && level <= 4 ? level : 4);
}

}  // namespace qvx
