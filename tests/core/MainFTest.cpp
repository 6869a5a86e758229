// The main window driven through the scripted user interface: the report list and the
// menus, the dispatch with and without a company file, the output reset, help, backup
// and the ways out.
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <optional>

#include <sys/resource.h>

#include <QApplication>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QFile>
#include <QFileInfo>
#include <QShortcut>

#include "CoreFixture.h"
#include "core/About.h"
#include "core/CompanyInfo.h"
#include "platform/help/Help.h"
#include "platform/locale/Locale.h"
#include "platform/shell/Shell.h"

namespace qvx {
namespace {

namespace fs = std::filesystem;

class MainFTest : public test::CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    dispatched_.clear();
    auto& m = MainF::Instance();
    savedEntries_ = m.Entries;
    m.Entries.BudgetComparison = [this](std::string& c) { Entered(c); };
    m.Entries.BudgetForecast = [this](std::string& c) { Entered(c); };
    m.Entries.Consolidated = [this](std::string& c) { Entered(c); };
    Main();
    ui_->Clear();
    ASSERT_NE(Window(), nullptr);
  }
  void TearDown() override {
    MainF::Instance().Entries = savedEntries_;
    G.ReportRunning = false;
    CoreTest::TearDown();
  }

  MainFForm* Window() { return MainF::Instance().Window(); }

  void Entered(const std::string& code) {
    dispatched_.push_back(code);
    if (duringReport_) duringReport_();
  }

  // A company file is named; `connected` says whether a connection is open.
  void NameCompanyFile(bool connected) {
    DataSource::Instance().ODBCDataFile = Path("Clearwater.MYO");
    Conn.ODBCConnected = connected;
  }

  // Output options as an Excel run leaves them.
  static void ExcelRunLeftovers() {
    G.PrintToPrinter = kFalse;
    G.PrintToExcel = kTrue;
    G.BodyFont = 11;
    G.AsAtFlag = true;
  }

  std::vector<std::string> dispatched_;
  std::function<void()> duringReport_;
  MainF::ReportEntries savedEntries_;
};

// ---------------------------------------------------------------- the list

TEST_F(MainFTest, ReportListShowsEachReportAndItsSize) {
  auto& w = *Window();
  EXPECT_EQ(w.StatusText().toStdString(), "Quorvex v" + VersionDigits());
  EXPECT_EQ(VersionDigits(), "1.121");
  EXPECT_FALSE(w.ReportListShown());

  NameCompanyFile(false);
  w.CmdReports_Click();
  ASSERT_TRUE(w.ReportListShown());
  EXPECT_TRUE(w.CmdExit.isHidden());
  EXPECT_FALSE(w.CmdRptClose.isHidden());
  EXPECT_EQ(w.StatusText(), "Reports available");
  EXPECT_EQ(MainF::Instance().ActiveReports, 3);
  EXPECT_EQ(w.FLGSize.height, 1280);
  EXPECT_EQ(w.FLGSize.width, 4485);
  EXPECT_EQ(w.FLGSize.top, 340);
  EXPECT_EQ(w.FLG.horizontalHeaderItem(0)->text(), "Select your Report");
  ASSERT_EQ(w.FLG.rowCount(), 3);
  // The title is the entry from its 11th character on, blanks included.
  const char* titles[] = {" Single - Budget Comparison       ", " Single - Budget Forecast         ",
                          " Group - Profit and Loss          "};
  for (int r = 0; r < 3; ++r) EXPECT_EQ(w.FLG.item(r, 0)->text().toStdString(), titles[r]);
  EXPECT_EQ(MainF::Instance().ReportRowIndex, (std::vector<int16_t>{0, 0, 1, 2, 0}));
  // Nothing is cut: every title fits its column and every row its font.
  for (int r = 0; r < 3; ++r) {
    EXPECT_LE(w.FLG.fontMetrics().horizontalAdvance(w.FLG.item(r, 0)->text().trimmed()) + 8, w.FLG.columnWidth(0));
    EXPECT_GE(w.FLG.rowHeight(r), w.FLG.fontMetrics().height());
  }

  w.CmdRptClose_Click();
  EXPECT_FALSE(w.ReportListShown());
  EXPECT_FALSE(w.CmdExit.isHidden());
  EXPECT_TRUE(w.CmdRptClose.isHidden());
}

TEST_F(MainFTest, GridHeightFollowsTheNumberOfReports) {
  auto& w = *Window();
  const std::pair<int16_t, int> cases[] = {{1, 680}, {2, 980}, {3, 1280}, {6, 2180}, {7, 2480}, {12, 2480}};
  for (auto [n, height] : cases) {
    w.SetFLGSize(n);
    EXPECT_EQ(w.FLGSize.height, height) << n;
    EXPECT_EQ(w.FLG.rowCount(), n);
  }
  w.SetFLGSize(0);
  EXPECT_EQ(w.FLGSize.height, 2480);  // unchanged with no reports
}

TEST_F(MainFTest, ReportsButtonRefusesWithoutACompanyFile) {
  auto& w = *Window();
  w.CmdReports_Click();
  EXPECT_FALSE(w.ReportListShown());
  ASSERT_EQ(ui_->Messages().size(), 1u);
  EXPECT_EQ(ui_->Messages()[0], "Please use Setup / MYOB Connection to connect your data file");
  EXPECT_EQ(ui_->shown[0].icon, ui::Icon::None);
  EXPECT_EQ(ui_->shown[0].title, "");
}

TEST_F(MainFTest, ClickedRowIsGreyUntilTheGridLeavesIt) {
  auto& w = *Window();
  NameCompanyFile(true);
  w.CmdReports_Click();
  w.FLG.setCurrentCell(1, 0);
  w.FLG_MouseUp();
  EXPECT_EQ(w.FLG.item(1, 0)->background().color(), QColor(0xE0, 0xE0, 0xE0));
  w.FLG.setCurrentCell(2, 0);  // leaves row 2 (the second report)
  EXPECT_EQ(w.FLG.item(1, 0)->background().color(), QColor(0xFF, 0xFF, 0xFF));
}

// ---------------------------------------------------------------- dispatch

TEST_F(MainFTest, DispatchFromTheListAndTheMenu) {
  enum class From { List, DoubleClick, Menu };
  enum class File { None, NotConnected, Connected };
  struct Case {
    const char* name;
    From from;
    int rowOrMenu;  // grid row 1-3, or menu item 1-3
    File file;
    std::optional<std::string> entered;
    const char* message;  // the one message shown, or nullptr
    bool outputReset;
  };
  const Case cases[] = {
      {"list row 1", From::List, 1, File::Connected, "BGTCMP", nullptr, true},
      {"list row 2", From::List, 2, File::Connected, "BGTFCT", nullptr, true},
      {"list row 3", From::List, 3, File::Connected, "CONPL", nullptr, true},
      {"double-click on row 3", From::DoubleClick, 3, File::Connected, "CONPL", nullptr, true},
      {"double-click, not connected", From::DoubleClick, 1, File::NotConnected, std::nullopt,
       "Use Setup / MYOB Data File to connect to your data file\r\n", true},
      {"list, not connected", From::List, 2, File::NotConnected, std::nullopt,
       "Use Setup / MYOB Data File to connect to your data file\r\n", true},
      {"menu comparison", From::Menu, 1, File::Connected, "BGTCMP", nullptr, false},
      {"menu forecast", From::Menu, 2, File::Connected, "BGTFCT", nullptr, false},
      {"menu group", From::Menu, 3, File::Connected, "CONPL", nullptr, false},
      {"menu, no file", From::Menu, 1, File::None, std::nullopt,
       "Please use 'Setup / MYOB Connection' to connect your data file'\\", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ui_->Clear();
    dispatched_.clear();
    auto& w = *Window();
    if (c.file != File::None) NameCompanyFile(c.file == File::Connected);
    else DataSource::Instance().ODBCDataFile.clear();
    G.ReportHelpID = 0;
    ExcelRunLeftovers();
    if (c.from == From::List) {
      w.CmdReports_Click();
      w.FLG.setCurrentCell(c.rowOrMenu - 1, 0);
      w.CmdSelect_Click();
    } else if (c.from == From::DoubleClick) {
      // The mouse as the window gets it: press, release, double-click, release.
      QApplication::processEvents();
      const QPoint at = w.FLG.visualRect(w.FLG.model()->index(c.rowOrMenu - 1, 0)).center();
      for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                                QEvent::MouseButtonRelease}) {
        QMouseEvent e(type, at, w.FLG.viewport()->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.FLG.viewport(), &e);
      }
    } else {
      QAction* items[] = {&w.RPTSBC, &w.RptBGF, &w.RPTGPL};
      items[c.rowOrMenu - 1]->trigger();
    }
    if (c.entered) {
      ASSERT_EQ(dispatched_, std::vector<std::string>{*c.entered});
      EXPECT_EQ(G.ReportCode, *c.entered);
      const int16_t topic = *c.entered == "BGTCMP" ? 2400 : *c.entered == "BGTFCT" ? 2500 : 3100;
      EXPECT_EQ(G.ReportHelpID, topic);
    } else {
      EXPECT_TRUE(dispatched_.empty());
    }
    if (c.message) {
      ASSERT_EQ(ui_->Messages().size(), 1u);
      EXPECT_EQ(ui_->Messages()[0], c.message);
    } else {
      EXPECT_TRUE(ui_->Messages().empty());
    }
    if (c.outputReset) {
      EXPECT_EQ(G.PrintToPrinter, kTrue);
      EXPECT_EQ(G.PrintToExcel, kFalse);
      EXPECT_EQ(G.BodyFont, 9);
      EXPECT_FALSE(G.AsAtFlag);
    } else {
      EXPECT_EQ(G.PrintToPrinter, kFalse);
      EXPECT_EQ(G.PrintToExcel, kTrue);
      EXPECT_EQ(G.BodyFont, 11);
      EXPECT_TRUE(G.AsAtFlag);
    }
    EXPECT_FALSE(G.ReportRunning);
    w.CmdRptClose_Click();
  }
}

TEST_F(MainFTest, TheRealEntryRoutinesAreReachedAndFinish) {
  MainF::Instance().Entries = savedEntries_;
  NameCompanyFile(true);
  auto& w = *Window();
  for (QAction* item : {&w.RPTSBC, &w.RptBGF, &w.RPTGPL}) {
    SCOPED_TRACE(item->text().toStdString());
    ui_->Clear();
    G.BodyFont = 11;
    item->trigger();
    EXPECT_FALSE(ui_->shown.empty());  // the report said or showed something
    for (const auto& m : ui_->Messages()) EXPECT_EQ(m.find("An error has occurred"), std::string::npos) << m;
    EXPECT_EQ(G.BodyFont, 9);  // back through the common finish
    EXPECT_FALSE(G.ReportRunning);
  }
}

TEST_F(MainFTest, MenuEntersTheReportEvenWhenTheConnectionFails) {
  // The company file named does not exist: the connection attempt fails (saying so in
  // its own words), and the report is entered all the same.
  NameCompanyFile(false);
  Window()->RptBGF_Click();
  EXPECT_EQ(dispatched_, std::vector<std::string>{"BGTFCT"});
  EXPECT_FALSE(Conn.ODBCConnected);
}

TEST_F(MainFTest, ARunningReportRefusesASecond) {
  auto& w = *Window();
  NameCompanyFile(true);
  w.CmdReports_Click();
  int nested = 0;
  duringReport_ = [&] {
    if (nested++) return;
    EXPECT_TRUE(G.ReportRunning);
    w.RptBGF_Click();
    w.RPTGPL.trigger();
    w.CmdSelect_Click();
    MainF::Instance().CallReport();
    w.MnuPrefs_Click();
    w.MnuExit_Click();
  };
  w.RPTSBC_Click();
  EXPECT_EQ(dispatched_, std::vector<std::string>{"BGTCMP"});
  EXPECT_TRUE(ui_->shown.empty());  // neither a message nor a window
  EXPECT_TRUE(w.Loaded());          // the exit was refused too
  EXPECT_FALSE(G.ReportRunning);

  // A failure that escapes a report is told, and the next report may start.
  duringReport_ = [] { Raise(err::Overflow); };
  w.RPTSBC_Click();
  ASSERT_EQ(ui_->Messages().size(), 1u);
  EXPECT_EQ(ui_->Messages()[0], "An error has occurred - Overflow");
  EXPECT_EQ(ui_->shown[0].title, "Error Message");
  EXPECT_FALSE(G.ReportRunning);
  duringReport_ = nullptr;
  w.RPTGPL_Click();
  EXPECT_EQ(dispatched_.back(), "CONPL");
}

// ---------------------------------------------------------------- help

TEST_F(MainFTest, NotesSampleAndContentsOpenTheirTopics) {
  auto& w = *Window();
  NameCompanyFile(true);
  fs::create_directories(Path("QVXHelp"));
  fs::create_directories(Path("QVXReports"));
  CoreTest::WriteBytes(Path("QVXHelp/index.html"), "<html></html>");
  CoreTest::WriteBytes(Path("QVXReports/index.html"), "<html></html>");
  help::Recorder rec;
  w.CmdReports_Click();
  w.FLG.setCurrentCell(1, 0);
  w.Notes_Click();
  w.FLG.setCurrentCell(2, 0);
  w.Sample_Click();
  w.MnuContents.trigger();
  const std::vector<help::Call> expected = {
      {Path("QVXHelp.chm"), 2500}, {Path("QVXReports.CHM"), 3100}, {Path("QVXHelp.chm"), 1000}};
  EXPECT_EQ(rec.calls, expected);
  EXPECT_EQ(G.ReportCode, "CONPL");
  EXPECT_EQ(w.HelpContextID, 1000);
  EXPECT_TRUE(ui_->Messages().empty());
}

TEST_F(MainFTest, MissingHelpIsToldOnlyByContents) {
  auto& w = *Window();
  NameCompanyFile(true);
  help::Recorder rec;
  w.CmdReports_Click();
  w.Notes_Click();
  w.Sample_Click();
  EXPECT_TRUE(ui_->Messages().empty());
  w.MnuContents_Click();
  ASSERT_EQ(ui_->Messages().size(), 1u);
  EXPECT_NE(ui_->Messages()[0].find(Path("QVXHelp")), std::string::npos);
  EXPECT_EQ(rec.calls.size(), 3u);
}

// ---------------------------------------------------------------- backup

TEST_F(MainFTest, BackupCopiesTheDataSetFileIntoTheChosenFolder) {
  auto& w = *Window();
  G.DataSetFile = "QVXDataSet-Clearwater.Txt";
  const std::string content = "DS-CompanyName=Clearwater Trading\r\n";
  CoreTest::WriteBytes(Path(G.DataSetFile), content);
  fs::create_directories(Path("usb"));
  fs::create_directories(Path("locked"));
  fs::permissions(Path("locked"), fs::perms::owner_read | fs::perms::owner_exec);
  const bool rootIgnoresPermissions = ::access(Path("locked").c_str(), W_OK) == 0;
  CoreTest::WriteBytes(Path("usb/" + G.DataSetFile), "old contents");

  struct Case {
    const char* name;
    std::optional<std::string> chosen;  // nullopt: Cancel
    std::string copiedTo;               // empty: nothing copied
    std::string message;
    std::string title;
    rlim_t fileSizeLimit = RLIM_INFINITY;  // below the file's size: a write fails as on a full disk
  };
  const std::vector<Case> cases = {
      {"a full disk", Path("usb/x.txt"), "",
       "Quorvex data files NOT copied\r\n\r\nThe file " + Path("usb/" + G.DataSetFile) +
           " could not be written: File too large\r\n",
       "File not copied", 16},
      {"another name in the folder", Path("usb/notes.txt"), Path("usb/" + G.DataSetFile),
       "The DataSet file has been copied to " + Path("usb/"), ""},
      {"the program folder itself", Path("x.txt"), Path(G.DataSetFile),
       "The DataSet file has been copied to " + Path(""), ""},
      {"cancel", std::nullopt, "", "Quorvex data files NOT copied\r\n\r\nCancel was selected.\r\n", "File not copied"},
      {"missing folder", Path("gone/x.txt"), "", "Quorvex data files NOT copied\r\n\r\nPath not found\r\n",
       "File not copied"},
      {"folder not writable", Path("locked/x.txt"), "",
       "Quorvex data files NOT copied\r\n\r\nPermission denied\r\n", "File not copied"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (rootIgnoresPermissions && std::string(c.name) == "folder not writable") continue;
    ui_->Clear();
    ui_->QueueFile(c.chosen);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{std::min(c.fileSizeLimit, saved.rlim_cur), saved.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    w.MnuBackup.trigger();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedSignal);
    // The earlier backup stays whole until a whole copy takes its place.
    if (c.fileSizeLimit != RLIM_INFINITY) {
      EXPECT_EQ(ReadBytes(Path("usb/" + G.DataSetFile)), "old contents");
    }
    ASSERT_EQ(ui_->fileRequests.size(), 1u);
    EXPECT_EQ(ui_->fileRequests[0].kind, ui::FileDialogKind::Save);
    EXPECT_EQ(ui_->fileRequests[0].fileName, G.DataSetFile);
    EXPECT_EQ(ui_->fileRequests[0].initialFolder, sys::ExistingFolderOrHome(G.OutputPath));
    EXPECT_NE(ui_->fileRequests[0].initialFolder, sys::ProgramFolder());
    ASSERT_EQ(ui_->Messages().size(), 1u);
    EXPECT_EQ(ui_->Messages()[0], c.message);
    EXPECT_EQ(ui_->shown.back().title, c.title);
    EXPECT_EQ(ui_->shown.back().icon, ui::Icon::Information);
    if (!c.copiedTo.empty()) {
      EXPECT_EQ(ReadBytes(c.copiedTo), content);
    }
    EXPECT_EQ(ReadBytes(Path(G.DataSetFile)), content);  // the original is never harmed
  }
  EXPECT_FALSE(fs::exists(Path("usb/notes.txt")));
  EXPECT_FALSE(fs::exists(Path("locked/" + G.DataSetFile)));
  fs::permissions(Path("locked"), fs::perms::owner_all);

  // No data-set file yet (no company ever connected): nothing to copy.
  G.DataSetFile.clear();
  ui_->Clear();
  ui_->QueueFile(Path("usb/x.txt"));
  w.MnuBackup_Click();
  ASSERT_EQ(ui_->Messages().size(), 1u);
  EXPECT_EQ(ui_->shown.back().title, "File not copied");
}

// ---------------------------------------------------------------- the ways out

TEST_F(MainFTest, EveryWayOutWritesBothFiles) {
  const std::pair<const char*, std::function<void(MainFForm&)>> ways[] = {
      {"Exit button", [](MainFForm& w) { w.CmdExit.click(); }},
      {"File > Exit", [](MainFForm& w) { w.MnuExit.trigger(); }},
      {"close box", [](MainFForm& w) { w.close(); }},
  };
  for (const auto& [name, leave] : ways) {
    SCOPED_TRACE(name);
    TearDown();
    SetUp();
    G.DataSetFile = "QVXDataSet-Clearwater.Txt";
    G.DataSetCompany = "Clearwater Trading";
    G.PTLines = 72;
    leave(*Window());
    EXPECT_FALSE(Window()->Loaded());
    const auto ini = sys::ReadTextLines(IniPath(), 1000);
    EXPECT_EQ(ini.size(), 52u);
    EXPECT_NE(std::find(ini.begin(), ini.end(), "PTLines=72"), ini.end());
    EXPECT_EQ(ReadBytes(Path("QVXDataSet-Clearwater.Txt")), "DS-CompanyName=Clearwater Trading\r\n");
    EXPECT_TRUE(ui_->Messages().empty());
  }
}

// ---------------------------------------------------------------- small dialogs

TEST_F(MainFTest, SetupAndHelpMenusOpenTheirDialogs) {
  auto& w = *Window();
  const std::pair<QAction*, const char*> items[] = {
      {&w.MnuCompany, "Company Information"}, {&w.MnuPrefs, "Preferences"}, {&w.MnuAbout, "About Quorvex"}};
  for (auto [action, title] : items) {
    ui_->Clear();
    action->trigger();
    ASSERT_EQ(ui_->shown.size(), 1u) << title;
    EXPECT_EQ(ui_->shown[0].kind, "form");
    EXPECT_EQ(ui_->shown[0].title, title);
  }
}

// F1 in a window opens the program's help file at the window's current topic.
TEST_F(MainFTest, F1OpensTheTopicOfTheWindow) {
  help::Recorder rec;
  auto pressF1 = [](QWidget& w) {
    auto* f1 = w.findChild<QShortcut*>();
    ASSERT_NE(f1, nullptr);
    EXPECT_EQ(f1->key(), QKeySequence(Qt::Key_F1));
    emit f1->activated();
  };
  pressF1(*Window());
  ui_->QueueForm([&](ui::Form& f) {
    auto& p = dynamic_cast<PreferencesForm&>(f);
    pressF1(p);
    p.TabStrip1.setCurrentIndex(1);
    p.TabStrip1_Click();
    pressF1(p);
    p.TabStrip1.setCurrentIndex(2);  // keeps HelpContextID, but has a page of its own
    p.TabStrip1_Click();
    pressF1(p);
    EXPECT_EQ(p.HelpContextID, 1184);
  });
  Window()->MnuPrefs_Click();
  ui_->QueueForm([&](ui::Form& f) { pressF1(f); });
  Window()->MnuCompany_Click();
  const std::string book = Path("QVXHelp.chm");
  EXPECT_EQ(rec.calls, (std::vector<help::Call>{{book, 1000}, {book, 1600}, {book, 1184}, {book, 1186}, {book, 1200}}));
  EXPECT_TRUE(ui_->Messages().empty());  // the pages are missing here, and F1 says nothing
}

TEST(AboutBox, FileDateKeepsAFourDigitYear) {
  const QDate date(2013, 3, 5);
  const std::pair<const char*, const char*> cases[] = {
      {"dd/MM/yy", "05/03/2013"},
      {"dd/MM/yyyy", "05/03/2013"},
      {"MM/dd/yyyy", "03/05/2013"},
      {"d/M/yy", "5/3/2013"},
      {"yyyy-MM-dd", "2013-03-05"},
  };
  for (auto [picture, want] : cases) EXPECT_EQ(About::FileDateText(date, picture), want) << picture;
}

TEST_F(MainFTest, AboutShowsTheVersionAndOpensTheWebAddress) {
  // A program file dated 5 March 2013 in the program folder.
  const std::string exe = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toStdString();
  QFile program(QString::fromStdString(Path(exe)));
  ASSERT_TRUE(program.open(QIODevice::WriteOnly));
  ASSERT_TRUE(program.setFileTime(QDateTime(QDate(2013, 3, 5), QTime(9, 30)), QFileDevice::FileModificationTime));
  program.close();

  shell::RecordingScope shell;
  ui_->QueueForm([&](ui::Form& f) {
    auto& a = dynamic_cast<AboutForm&>(f);
    EXPECT_EQ(a.lblTitle.text(), "Quorvex");
    EXPECT_EQ(a.LblDate.text().toStdString(),
              "V1.121   " + About::FileDateText(QDate(2013, 3, 5), locale::ShortDatePicture()));
    EXPECT_FALSE(a.lblWarn.text().isEmpty());
    a.LblWebsite_Click();
    a.cmdOK_Click();
  });
  Window()->MnuAbout_Click();
  About::Instance().RunExcel("/srv/out/", "Budget.xlsx");
  EXPECT_EQ(shell.opened, (std::vector<std::string>{kWebsite, "/srv/out/Budget.xlsx"}));
}

}  // namespace
}  // namespace qvx
