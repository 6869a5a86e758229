// Installs a fresh scripted user-interface service for the life of a test.
#pragma once

#include <memory>

#include "platform/ui/ScriptedUi.h"

namespace qvx::test {

class ScriptedUiScope {
 public:
  ScriptedUiScope() {
    auto s = std::make_unique<ui::ScriptedUi>();
    ui_ = s.get();
    previous_ = ui::SetUi(std::move(s));
  }
  ~ScriptedUiScope() { ui::SetUi(std::move(previous_)); }
  ScriptedUiScope(const ScriptedUiScope&) = delete;
  ScriptedUiScope& operator=(const ScriptedUiScope&) = delete;
  ui::ScriptedUi& operator*() { return *ui_; }
  ui::ScriptedUi* operator->() { return ui_; }

 private:
  ui::ScriptedUi* ui_;
  std::unique_ptr<ui::UiService> previous_;
};

}  // namespace qvx::test
