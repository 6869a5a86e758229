// Pictures of the budget reports' dialogs, for a person to look at: written only when
// QVX_SCREENSHOT_DIR names a folder.
#include "../core/CoreFixture.h"
#include "budgetreports/BudgetOptions.h"
#include "budgetreports/FilterBGTFC.h"
#include "budgetreports/PageBreaks.h"
#include "support/Screenshots.h"

namespace qvx {
namespace {

class Screenshots : public test::CoreTest {
 protected:
  void Save(QWidget& w, const char* name) { test::SaveScreenshot(w, name); }
  const char* folder_ = test::ScreenshotDir();
};

TEST_F(Screenshots, BudgetDialogs) {
  if (!folder_) GTEST_SKIP() << "QVX_SCREENSHOT_DIR not set";
  G.PageBreakAccts = "6-1000,6-2000,6-3000";
  FilterPLBGT::Instance() = FilterPLBGT{};
  FilterPLBGT::Instance().ShowLastYrYTD = kTrue;
  ui_->QueueForm([&](ui::Form& f) {
    Save(f, "budget-options");
    ui_->QueueForm([&](ui::Form& p) { Save(p, "page-breaks"); });
    dynamic_cast<FilterPLBGTForm&>(f).CmdBreaks_Click();
  });
  FilterPLBGT::Instance().Show();
  ui_->QueueForm([&](ui::Form& f) { Save(f, "budget-forecast-options"); });
  FilterBGTFC::Instance().Show();
}

}  // namespace
}  // namespace qvx
