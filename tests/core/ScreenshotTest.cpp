// Pictures of the main window and its dialogs, for a person to look at: written only
// when QVX_SCREENSHOT_DIR names a folder.
#include <cstdlib>

#include <QApplication>
#include <QPixmap>
#include <QTextBrowser>

#include "CoreFixture.h"
#include "support/Screenshots.h"
#include "core/CompanyInfo.h"
#include "platform/help/Help.h"

namespace qvx {
namespace {

class Screenshots : public test::CoreTest {
 protected:
  void Save(QWidget& w, const char* name) { test::SaveScreenshot(w, name); }
  void Dialog(const char* name, const std::function<void()>& open,
              const std::function<void(ui::Form&)>& before = nullptr) {
    ui_->QueueForm([&](ui::Form& f) {
      if (before) before(f);
      Save(f, name);
    });
    open();
  }
  const char* folder_ = test::ScreenshotDir();
};

TEST_F(Screenshots, MainWindowAndDialogs) {
  if (!folder_) GTEST_SKIP() << "QVX_SCREENSHOT_DIR not set";
  Main();
  G.DataSetCompany = "Clearwater Trading Pty Ltd";
  auto& w = *MainF::Instance().Window();
  w.Label5.setText(QString::fromStdString(G.DataSetCompany));
  Save(w, "main");
  DataSource::Instance().ODBCDataFile = "/srv/Clearwater.MYO";
  w.CmdReports_Click();
  w.FLG.setCurrentCell(1, 0);
  w.FLG_MouseUp();
  Save(w, "main-list");

  for (int tab = 0; tab < 3; ++tab) {
    const std::string name = "preferences-" + std::to_string(tab);
    Dialog(name.c_str(), [] { Preferences::Instance().Show(); }, [tab](ui::Form& f) {
      auto& p = dynamic_cast<PreferencesForm&>(f);
      p.TabStrip1.setCurrentIndex(tab);
      p.TabStrip1_Click();
    });
  }
  Dialog("company", [] { CompanyInfo::Instance().Show(); });
  Dialog("about", [&] { w.MnuAbout_Click(); });

  help::ShowTopic(std::string(QVX_BINARY_DIR) + "/bin/QVXHelp.chm", 1000);
  for (QWidget* top : QApplication::topLevelWidgets())
    if (top->isVisible() && top->findChild<QTextBrowser*>()) Save(*top, "help");
  help::ShowTopic(std::string(QVX_BINARY_DIR) + "/bin/QVXReports.CHM", 2400);
  for (QWidget* top : QApplication::topLevelWidgets())
    if (top->isVisible() && top->findChild<QTextBrowser*>()) Save(*top, "sample");
  help::CloseHelpWindow();
}

}  // namespace
}  // namespace qvx
