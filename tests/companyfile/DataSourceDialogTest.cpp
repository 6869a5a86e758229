// The connection window driven as a user would, over private driver registrations, and
// the driver check window over the sample files.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "CompanyFileFixture.h"
#include "companyfile/DataCheckODBC.h"
#include "companyfile/DataSourceDialog.h"
#include "core/Settings.h"
#include "driver/AccessKey.h"
#include "platform/help/Help.h"
#include "samples/SamplePaths.h"
#include "support/OdbcTestEnv.h"

namespace qvx::test {
namespace {

const std::string kNoDrivers = "No ODBC drivers found\r\nPlease install the MYOB ODBC driver\r\n";
const std::string kAu = samples::SamplePath(samples::kAustralianFile);
const std::string kUsa = samples::SamplePath(samples::kUsaFile);
const std::string kAr = samples::SamplePath(samples::kAr2011File);

std::vector<std::string> Listed(const DataSourceForm& f) {
  std::vector<std::string> out;
  for (int i = 0; i < f.cboDrivers.count(); ++i) out.push_back(f.cboDrivers.itemText(i).toStdString());
  return out;
}

std::string T(const QLineEdit& box) { return box.text().toStdString(); }
std::string T(const QLabel& label) { return label.text().toStdString(); }

class DataSourceDialogTest : public CompanyFileTest {
 protected:
  static void SetUpTestSuite() { UsePrivateOdbcRegistration(); }

  void SetUp() override {
    CompanyFileTest::SetUp();
    CompanyInfo::Instance() = CompanyInfo{};
    G.FirstMonth = 7;
  }

  static void Settings(const std::string& file, const std::string& driverName = driver::kDirectDriverName,
                       const std::string& user = "Administrator") {
    DataSource& ds = DataSource::Instance();
    ds.ODBCDataFile = file;
    ds.ODBCDriver = driverName;
    ds.ODBCUserID = user;
    ds.ODBCPassword.clear();
    ds.ODBCProduct = "/opt/accounts/accounts.exe";
  }

  // Shows the connection window; `act` plays the user while it is open.
  void Show(const std::function<void(DataSourceForm&)>& act) {
    ui_->QueueForm([&](ui::Form& form) { act(dynamic_cast<DataSourceForm&>(form)); });
    DataSource::Instance().Show();
  }
};

TEST_F(DataSourceDialogTest, DriverDiscovery) {
  std::vector<std::string> fifty;
  for (int i = 0; i < 50; ++i) fifty.push_back("MYOAU" + std::to_string(1000 + i));
  struct Case {
    const char* what;
    std::vector<std::string> registered;
    std::vector<std::string> listed;
    int count;
  };
  const Case cases[] = {
      {"one", {"MYOAU1001"}, {"MYOAU1001"}, 1},
      {"several, in the manager's order, MYO in any case",
       {"myoNZ1001", "PostgreSQL Unicode", "MYOAU1001", "MySQL", "MyOb UK", "MYOB_AccountRight_2011"},
       {"myoNZ1001", "MYOAU1001", "MyOb UK", "MYOB_AccountRight_2011"},
       4},
      {"neighbouring duplicates shown once, counted as listed",
       {"MYOAU1001", "MYOAU1001", "MYOAU1001", "MYOB_AccountRight_2011", "MYOAU1001"},
       {"MYOAU1001", "MYOB_AccountRight_2011", "MYOAU1001"},
       5},
      {"fifty", fifty, fifty, 50},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DriverListScope registration(c.registered);
    ui_->Clear();
    Settings(kAu);
    std::vector<std::string> listed;
    int count = -1;
    Show([&](DataSourceForm& f) {
      listed = Listed(f);
      count = DataSource::Instance().NbrDrivers;
      EXPECT_TRUE(f.CmdTest.isEnabled());
    });
    EXPECT_EQ(listed, c.listed);
    EXPECT_EQ(count, c.count);
    EXPECT_TRUE(ui_->Messages().empty());
  }
}

TEST_F(DataSourceDialogTest, NoDriverKeepsTheStoredCompanyFile) {
  // A driver not installed yet (or for a while): the company file set up stays, and the
  // settings file written at exit still names it.
  DriverListScope registration({"PostgreSQL", "SQLite3"});
  Settings(kAu);
  bool testEnabled = true;
  std::string whileOpen;
  Show([&](DataSourceForm& f) {
    testEnabled = f.CmdTest.isEnabled();
    whileOpen = DataSource::Instance().ODBCDataFile;
    f.Exit_Click();
  });
  ASSERT_EQ(ui_->shown.size(), 2u);  // the message, then the window
  EXPECT_EQ(ui_->shown[0].text, kNoDrivers);
  EXPECT_EQ(ui_->shown[0].title, "ODBC Driver");
  EXPECT_EQ(ui_->shown[0].icon, ui::Icon::Critical);
  EXPECT_FALSE(testEnabled);
  EXPECT_EQ(whileOpen, kAu);
  EXPECT_EQ(DataSource::Instance().ODBCDataFile, kAu);
  EXPECT_EQ(G.DialogOK, kFalse);
  EXPECT_FALSE(Conn.ODBCConnected);
  WriteIniFile();
  const auto lines = sys::ReadTextLines(IniPath(), 100);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "ODBCDataFile=" + kAu), lines.end());
}

TEST_F(DataSourceDialogTest, FieldsFromTheSettings) {
  DriverListScope registration({"MYOAU1001", "MYONZ1001", "MYOB_AccountRight_2012", "MYOB_AccountRight_2011"});
  struct Case {
    const char* what;
    std::string file, driverName, user;
    std::string shownUser, shownDriver;
    bool locked;
  };
  const Case cases[] = {
      {"stored driver selected", "/data/Books.myo", "MYONZ1001", "Jo", "Jo", "MYONZ1001", false},
      {"empty user shows Administrator", "/data/Books.MYO", "MYONZ1001", "", "Administrator", "MYONZ1001", false},
      {"uninstalled driver: the first", "/data/Books.MYO", "MYOUK1001", "Jo", "Jo", "MYOAU1001", false},
      {"newer file: first listed 2011-2013 driver, locked", "/data/Books.myox", "MYOAU1001", "Jo", "Jo",
       "MYOB_AccountRight_2012", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Settings(c.file, c.driverName, c.user);
    Show([&](DataSourceForm& f) {
      EXPECT_EQ(T(f.txtUID), c.shownUser);
      EXPECT_EQ(f.cboDrivers.currentText().toStdString(), c.shownDriver);
      EXPECT_EQ(T(f.txtDatabase), c.file);
      EXPECT_EQ(T(f.LblFileName), c.file.substr(6));
      EXPECT_EQ(f.ChkLibrary.isChecked(), c.locked);
      for (QWidget* w : std::initializer_list<QWidget*>{&f.txtProduct, &f.CmdBrsProduct, &f.cboDrivers, &f.CmdCheck})
        EXPECT_EQ(w->isEnabled(), !c.locked);
    });
    EXPECT_EQ(DataSource::Instance().DataFile, c.file.substr(6));
    EXPECT_EQ(CompanyInfo::Instance().CompanyFileProduct, c.file.substr(6));
    EXPECT_EQ(DataSource::Instance().ODBCUserID, c.user);  // the close box saves nothing
  }
}

TEST_F(DataSourceDialogTest, NewerFileSelectsTheFirstEntryToo) {
  DriverListScope registration({"MYOB_AccountRight_2013", "MYOAU1001"});
  Settings("/data/Books.MYOX", "MYOAU1001");
  Show([&](DataSourceForm& f) { EXPECT_EQ(f.cboDrivers.currentIndex(), 0); });
}

TEST_F(DataSourceDialogTest, TestConnectsAndCloseReconnectsWithTheBoxes) {
  DriverListScope registration({driver::kDirectDriverName, driver::kDsnDriverName});
  Settings(kAu, driver::kDirectDriverName, "");
  std::string nameAfterTest;
  Show([&](DataSourceForm& f) {
    f.CmdTest_Click();
    nameAfterTest = T(f.LblName);
    EXPECT_EQ(T(f.LblFileName), samples::kAustralianFile);
    // Another file typed, then Close.
    f.txtDatabase.setText(QString::fromStdString(kUsa));
    f.Exit_Click();
  });
  EXPECT_EQ(ui_->Messages(), std::vector<std::string>{"Successful connection to data file"});
  EXPECT_EQ(nameAfterTest, "Clearwater Trading Pty Ltd");
  EXPECT_EQ(DataSource::Instance().ODBCUserID, "Administrator");
  EXPECT_EQ(DataSource::Instance().ODBCDataFile, kUsa);
  EXPECT_TRUE(Conn.ODBCConnected);
  EXPECT_EQ(G.DataSetCompany, "Redwood Outfitters Inc");
  EXPECT_EQ(CompanyInfo::Instance().ODBCDriver, driver::kDirectDriverName);
}

TEST_F(DataSourceDialogTest, FailedTestKeepsTheWindowOpen) {
  DriverListScope registration({driver::kDirectDriverName});
  Settings(Path("missing.MYO"));
  bool stillLoaded = false;
  Show([&](DataSourceForm& f) {
    f.CmdTest_Click();
    stillLoaded = f.Loaded();
  });
  EXPECT_TRUE(stillLoaded);
  EXPECT_FALSE(Conn.ODBCConnected);
  ASSERT_EQ(ui_->Messages().size(), 1u);
  EXPECT_EQ(ui_->Messages()[0].rfind("Sorry, error connecting to MYOB database.", 0), 0u);
}

TEST_F(DataSourceDialogTest, BrowsingForTheCompanyFile) {
  DriverListScope registration({"MYOAU1001", "MYOB_AccountRight_2011"});
  const std::string current = Path("Current.MYO");
  WriteBytes(current, "x");
  Settings(current);
  ui_->QueueFile(std::nullopt);                  // Cancel
  ui_->QueueFile(Path("Other/New Books.MYOX"));  // a newer file
  ui_->QueueFile(Path("Old.myo"));
  Show([&](DataSourceForm& f) {
    f.CmdBrsData_Click();
    EXPECT_EQ(T(f.txtDatabase), current);
    EXPECT_EQ(T(f.LblFileName), "Current.MYO");
    f.CmdBrsData_Click();
    EXPECT_EQ(T(f.txtDatabase), Path("Other/New Books.MYOX"));
    EXPECT_EQ(T(f.LblFileName), "New Books.MYOX");
    EXPECT_EQ(f.cboDrivers.currentText().toStdString(), "MYOB_AccountRight_2011");
    EXPECT_TRUE(f.ChkLibrary.isChecked());
    EXPECT_FALSE(f.cboDrivers.isEnabled());
    f.CmdBrsData_Click();
    EXPECT_FALSE(f.ChkLibrary.isChecked());
    EXPECT_TRUE(f.cboDrivers.isEnabled());
  });
  ASSERT_EQ(ui_->fileRequests.size(), 3u);
  const ui::FileRequest& first = ui_->fileRequests[0];
  EXPECT_EQ(first.kind, ui::FileDialogKind::Open);
  EXPECT_EQ(first.initialFolder, Path(""));
  EXPECT_EQ(first.fileName, "Current.MYO");
  ASSERT_EQ(first.filters.size(), 2u);
  EXPECT_EQ(first.filters[0].description, "MYOB Data files(*.MYO)");
  EXPECT_EQ(first.filters[1].description, "All Files (*.*)");
  EXPECT_EQ(first.filterIndex, 0);
  // The library box was ticked by the newer file: the third browse starts in the library
  // folder (offered only when it can be written).
  EXPECT_NE(ui_->fileRequests[2].initialFolder, Path(""));
  EXPECT_EQ(CompanyInfo::Instance().CompanyFileName, Path("Old.myo"));
  EXPECT_EQ(DataSource::Instance().ODBCDataFile, current);  // only Close takes the boxes
}

TEST_F(DataSourceDialogTest, BrowsingForTheProgram) {
  DriverListScope registration({"MYOAU1001"});
  Settings(kAu);
  DataSource::Instance().ODBCProduct = Path("bin/accounts.exe");
  ui_->QueueFile(std::nullopt);
  ui_->QueueFile(Path("prog/ACCOUNTS.EXE"));
  Show([&](DataSourceForm& f) {
    f.CmdBrsProduct_Click();
    EXPECT_EQ(T(f.txtProduct), Path("bin/accounts.exe"));
    f.CmdBrsProduct_Click();
    EXPECT_EQ(T(f.txtProduct), Path("prog/ACCOUNTS.EXE"));
  });
  ASSERT_EQ(ui_->fileRequests.size(), 2u);
  ASSERT_EQ(ui_->fileRequests[0].filters.size(), 1u);
  EXPECT_EQ(ui_->fileRequests[0].filters[0].description, "MYOB programs(*.EXE)");
  EXPECT_EQ(ui_->fileRequests[0].initialFolder, "");  // the folder does not exist
  EXPECT_EQ(ui_->fileRequests[0].fileName, "");
  EXPECT_EQ(DataSource::Instance().ProductPath, Path("bin/"));
}

TEST_F(DataSourceDialogTest, HelpShowsTopic6020) {
  DriverListScope registration({"MYOAU1001"});
  Settings(kAu);
  help::Recorder recorder;
  int before = 0;
  int after = 0;
  Show([&](DataSourceForm& f) {
    before = f.HelpContextID;
    f.Command2_Click();
    after = f.HelpContextID;
  });
  EXPECT_EQ(before, 1240);
  EXPECT_EQ(after, 6020);
  ASSERT_EQ(recorder.calls.size(), 1u);
  EXPECT_EQ(recorder.calls[0].topic, 6020);
  EXPECT_EQ(recorder.calls[0].helpFile, sys::InProgramFolder("QVXHelp.CHM"));
  // No pages in the test's program folder: the failure is told, not thrown.
  EXPECT_EQ(ui_->Messages().size(), 1u);
}

// The driver check, opened from the connection window's Check button.
TEST_F(DataSourceDialogTest, CheckShowsTheDriverTheFileNeeds) {
  DriverListScope registration({"MYOAU1001"});
  const std::string notCompany = Path("notes.MYO");
  WriteBytes(notCompany, "plain text, not a company file");
  struct Case {
    std::string file;
    std::string driverName, country, version;
  };
  const Case cases[] = {
      {kAu, "MYOAU1001", "Australia", "19.8"},
      {kUsa, "MYOUSA1001", "United States", "19.8"},
      {kAr, "MYOB_AccountRight_2011", "Australia", "2011.0"},
      {notCompany, "", "", ""},
      {Path(""), "", "", ""},
      {Path("absent.MYO"), "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    ui_->Clear();
    Settings(kAu);
    std::vector<std::string> shown;
    ui_->QueueForm([&](ui::Form& form) {
      auto& f = dynamic_cast<DataSourceForm&>(form);
      f.txtDatabase.setText(QString::fromStdString(c.file));
      f.txtUID.setText("Checker");
      f.CmdCheck_Click();
    });
    ui_->QueueForm([&](ui::Form& form) {
      auto& check = dynamic_cast<DataCheckODBCForm&>(form);
      shown = {T(check.txtDriverName), T(check.txtCountry), T(check.txtVersion)};
      check.Exit_Click();
    });
    DataSource::Instance().Show();
    EXPECT_EQ(shown, (std::vector<std::string>{c.driverName, c.country, c.version}));
    EXPECT_TRUE(ui_->Messages().empty());
    EXPECT_EQ(DataSource::Instance().ODBCDataFile, c.file);
    EXPECT_EQ(DataSource::Instance().ODBCUserID, "Checker");
    EXPECT_EQ(DataSource::Instance().ODBCMode, "Direct");
  }
}

TEST_F(DataSourceDialogTest, SetupMenuOpensTheWindowAndShowsTheNewCompany) {
  DriverListScope registration({driver::kDirectDriverName});
  Settings(kAu);
  MainF::Instance().Show();
  MainFForm* w = MainF::Instance().Window();
  ASSERT_NE(w, nullptr);
  ui_->Clear();
  ui_->QueueForm([&](ui::Form& form) {
    auto& f = dynamic_cast<DataSourceForm&>(form);
    f.txtDatabase.setText(QString::fromStdString(kUsa));
    f.Exit_Click();
  });
  w->MnuData_Click();
  ASSERT_EQ(ui_->shown.size(), 1u);
  EXPECT_EQ(ui_->shown[0].title, "MYOB Data File");
  EXPECT_TRUE(Conn.ODBCConnected);
  EXPECT_EQ(G.DataSetCompany, "Redwood Outfitters Inc");
  EXPECT_EQ(w->Label5.text().toStdString(), "Redwood Outfitters Inc");
}

}  // namespace
}  // namespace qvx::test
