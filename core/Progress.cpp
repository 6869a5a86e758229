#include "core/Progress.h"

#include "core/Globals.h"

namespace qvx {

ProgressForm::ProgressForm() {
  setWindowTitle("Progress");
  setFixedSize(360, 60);
  PBar.setGeometry(12, 16, 336, 24);
  PBar.setRange(0, 100);
  PBar.setValue(0);
}

ReadingDBaseForm::ReadingDBaseForm() {
  setWindowTitle("Reading your database ...");
  setFixedSize(320, 30);
}

template <typename FormT>
FormT& LongReadWindow<FormT>::Window() {
  if (!form_) {
    form_ = std::make_unique<FormT>();
    form_->CentreOnScreen();
  }
  return *form_;
}

template <typename FormT>
void LongReadWindow<FormT>::SetCaption(const std::string& caption) {
  Window().setWindowTitle(QString::fromStdString(caption));
}

template <typename FormT>
void LongReadWindow<FormT>::Show() {
  FormT& w = Window();
  w.setWindowModality(Qt::ApplicationModal);
  w.ShowModeless();
}

template class LongReadWindow<ProgressForm>;
template class LongReadWindow<ReadingDBaseForm>;

Progress& Progress::Instance() {
  static Progress p;
  return p;
}

void Progress::Unload() {
  LongReadWindow<ProgressForm>::Unload();
  G.ProgressShown = false;
}

ReadingDBase& ReadingDBase::Instance() {
  static ReadingDBase r;
  return r;
}

}  // namespace qvx
