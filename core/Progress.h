// The windows a long read shows while it runs on the user-interface thread: Progress,
// with one progress bar, and ReadingDBase, whose caption alone says the company file is
// being read. The caller drives them: caption, bar maximum and value, Show, then
// ui::DoEvents between records where it wants them repainted, and Unload when done.
//
// Show returns at once, but the window is application-modal: while the read lets
// events through, the user cannot start a second report or change the connection.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <QLabel>
#include <QProgressBar>

#include "platform/ui/Ui.h"

namespace qvx {

class ProgressForm : public ui::Form {
 public:
  ProgressForm();
  QProgressBar PBar{this};
};

class ReadingDBaseForm : public ui::Form {
 public:
  ReadingDBaseForm();
};

// One program-wide holder per window: loaded (created and centred on the screen) by its
// first use, unloaded by the caller; the next use loads it afresh.
template <typename FormT>
class LongReadWindow {
 public:
  FormT& Window();
  bool Loaded() const { return form_ != nullptr; }
  void SetCaption(const std::string& caption);
  void Show();
  void Unload() { form_.reset(); }

 private:
  std::unique_ptr<FormT> form_;
};

class Progress : public LongReadWindow<ProgressForm> {
 public:
  static Progress& Instance();
  void SetMax(int32_t max) { Window().PBar.setMaximum(max); }
  void SetValue(int32_t value) { Window().PBar.setValue(value); }
  // Also clears G.ProgressShown: the window it stands for is gone.
  void Unload();
};

class ReadingDBase : public LongReadWindow<ReadingDBaseForm> {
 public:
  static ReadingDBase& Instance();
};

extern template class LongReadWindow<ProgressForm>;
extern template class LongReadWindow<ReadingDBaseForm>;

}  // namespace qvx
