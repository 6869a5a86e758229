// Connection settings, mode derivation, connection strings and the product name: the
// parts that decide before the driver is asked.
#include <string>
#include <vector>

#include "CompanyFileFixture.h"
#include "driver/AccessKey.h"

namespace qvx::test {
namespace {

const std::string kKey = driver::kAccessKey;
const std::string kNotEstablished = "ODBC Connection not established";

class ConnectionTest : public CompanyFileTest {};

TEST_F(ConnectionTest, ConnectionStringsByteForByte) {
  struct Case {
    std::string mode, dsn, driver, user, password, file, product, access;
    std::string want;
  };
  const std::string tail = "Network_Protocol=TCPIP; SQL_LOGIN_TIMEOUT=90; Driver_Completion=Driver_NoPrompt; ";
  for (const Case& c : std::vector<Case>{
           {"Direct", "", "MYOAU1001", "Administrator", "secret", "/books/AU.MYO", "/opt/myob/MYOBP.EXE", "R",
            "Driver={MYOAU1001}; TYPE=MYOB; UID=Administrator; PWD=secret; ACCESS_TYPE=READ; KEY=" + kKey +
                "; DATABASE=/books/AU.MYO; HOST_EXE_PATH=/opt/myob/MYOBP.EXE; " + tail},
           // An empty password is still sent; without the read-only access there is no key.
           {"Direct", "", "MYOAU1001", "Administrator", "", "/b/a.MYO", "/p", "",
            "Driver={MYOAU1001}; TYPE=MYOB; UID=Administrator; PWD=; DATABASE=/b/a.MYO; HOST_EXE_PATH=/p; " + tail},
           {"DSN", "MYOB_Accountright_2011", "MYOB_ACCOUNTRIGHT_2011", "Administrator", "", "/b/Shop.MYOX", "", "R",
            "DSN=MYOB_Accountright_2011; UID=Administrator; PWD=; ACCESS_TYPE=READ; KEY=" + kKey +
                "; DATABASE=/b/Shop.MYOX; "},
           // DSN mode with no file still sends the DATABASE part.
           {"DSN", "MYOB_Accountright_2011", "MYOB_ACCOUNTRIGHT_2011", "Admin", "pw", "", "", "R",
            "DSN=MYOB_Accountright_2011; UID=Admin; PWD=pw; ACCESS_TYPE=READ; KEY=" + kKey + "; DATABASE=; "},
           // Values that could end the value or start a quoted one are brace-quoted.
           {"Direct", "", "MY}O", "a;b", "p{w}", "/b/x;KEY=1.MYO", "/p", "",
            "Driver={MY}}O}; TYPE=MYOB; UID={a;b}; PWD={p{w}}}; DATABASE={/b/x;KEY=1.MYO}; HOST_EXE_PATH=/p; " + tail},
       }) {
    DataSource& ds = DataSource::Instance();
    ds.ODBCMode = c.mode, ds.ODBCDSName = c.dsn, ds.ODBCDriver = c.driver, ds.ODBCUserID = c.user;
    ds.ODBCPassword = c.password, ds.ODBCDataFile = c.file, ds.ODBCProduct = c.product;
    ds.ODBCAccessMode = c.access;
    EXPECT_EQ(BuildConnectionString(), c.want);
  }
}

// Settings that stop before the driver is asked: the derived mode, and the one message.
TEST_F(ConnectionTest, ModeDerivationAndIncompleteSettings) {
  struct Case {
    std::string file, driver, user, product;
    std::string mode, dsn, driverAfter;
    bool message;
  };
  for (const Case& c : std::vector<Case>{
           // "MYOX" in any letter case selects the DSN mode whatever the driver.
           {"/b/shop.myox", "MYOAU1001", "", "/p", "DSN", "MYOB_Accountright_2011", "MYOB_ACCOUNTRIGHT_2011", true},
           {"/b/Shop.MyOx", "", "", "", "DSN", "MYOB_Accountright_2011", "MYOB_ACCOUNTRIGHT_2011", true},
           // A driver of the newer line selects it too, for any file.
           {"/b/AU.MYO", "MYOB_AccountRight_2012", "", "/p", "DSN", "MYOB_Accountright_2011", "MYOB_ACCOUNTRIGHT_2011",
            true},
           // Both marks are needed in the driver's name.
           {"/b/AU.MYO", "MYOB_AU", "", "/p", "Direct", "", "MYOB_AU", true},
           // Direct mode: each missing part stops the attempt with the message.
           {"/b/AU.MYO", "MYOAU1001", "Administrator", "", "Direct", "", "MYOAU1001", true},
           {"/b/AU.MYO", "", "Administrator", "/p", "Direct", "", "", true},
           {"/b/AU.MYO", "MYOAU1001", "", "/p", "Direct", "", "MYOAU1001", true},
           // No company file set up: no attempt and no message.
           {"", "MYOAU1001", "Administrator", "/p", "Direct", "", "MYOAU1001", false},
           {"", "", "", "", "Direct", "", "", false},
       }) {
    SetUp();
    DataSource& ds = DataSource::Instance();
    ds.ODBCMode = "Direct";
    ds.ODBCDataFile = c.file, ds.ODBCDriver = c.driver, ds.ODBCUserID = c.user, ds.ODBCProduct = c.product;
    Conn.DataBaseVersion = "old", Conn.DFCountry = "old";
    ConnectODBC();
    SCOPED_TRACE(c.file + " / " + c.driver);
    EXPECT_EQ(ds.ODBCMode, c.mode);
    EXPECT_EQ(ds.ODBCDSName, c.dsn);
    EXPECT_EQ(ds.ODBCDriver, c.driverAfter);
    EXPECT_EQ(Conn.IsAR2011Driver, c.mode == "DSN");
    EXPECT_FALSE(Conn.ODBCConnected);
    EXPECT_FALSE(Conn.ConnectError);
    EXPECT_EQ(ds.ODBCError, kFalse);
    EXPECT_EQ(Conn.DataBaseVersion, "");
    EXPECT_EQ(Conn.DFCountry, "");
    ASSERT_EQ(ui_->shown.size(), c.message ? 1u : 0u);
    if (c.message) {
      EXPECT_EQ(ui_->shown[0].text, kNotEstablished);
      EXPECT_EQ(ui_->shown[0].icon, ui::Icon::Critical);
      EXPECT_EQ(ui_->shown[0].buttons, ui::Buttons::OK);
    }
  }
}

TEST_F(ConnectionTest, AnOpenConnectionIsLeftAlone) {
  Conn.ODBCConnected = true;
  Conn.WindowsName = "unchanged";
  DataSource::Instance().ODBCDataFile = "/b/shop.MYOX";
  DataSource::Instance().ODBCMode = "Direct";
  ConnectODBC();
  EXPECT_EQ(Conn.WindowsName, "unchanged");
  EXPECT_EQ(DataSource::Instance().ODBCMode, "Direct");
  EXPECT_TRUE(ui_->shown.empty());
}

TEST_F(ConnectionTest, ProductNameAndItsReduction) {
  struct Case { std::string osRelease; bool write; std::string product, reduced; };
  for (const Case& c : std::vector<Case>{
           {"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n", true,
            "Debian GNU/Linux 12 (bookworm)", "Debian GNU/Linux 12 (bookworm)"},
           {"PRETTY_NAME='Microsoft Windows 7 Professional'\n", true, "Microsoft Windows 7 Professional",
            " Windows 7 Professional"},
           {"PRETTY_NAME=\"Microsoft Windows XP\"\n", true, "Microsoft Windows XP", "XP"},
           {"PRETTY_NAME=Windows Vista Home\n", true, "Windows Vista Home", "Vista"},
           {"PRETTY_NAME=\"Say \\\"hi\\\"\"\n", true, "Say \"hi\"", "Say \"hi\""},
           {"NAME=Nothing\n", true, "Windows OS function not available", "Windows OS function not available"},
           {"", false, "Windows OS function not available", "Windows OS function not available"},
       }) {
    SetUp();
    if (c.write) WriteBytes(Conn.OsReleaseFile, c.osRelease);
    EXPECT_EQ(GetWindowsProductName(), c.product);
    ConnectODBC();  // nothing set up: no attempt, the name is read all the same
    EXPECT_EQ(Conn.WindowsName, c.reduced);
    EXPECT_TRUE(ui_->shown.empty());
  }
}

TEST_F(ConnectionTest, ARecordsetWithoutAConnectionIsRefusedWithTheSecondMessage) {
  EXPECT_EQ(OpenRecordset("SELECT 1"), nullptr);
  ASSERT_EQ(ui_->shown.size(), 1u);
  EXPECT_EQ(ui_->shown[0].text,
            "An error has occurred - The connection cannot be used to perform this operation. It is either "
            "closed or invalid in this context.");
  EXPECT_EQ(ui_->shown[0].icon, ui::Icon::None);
  EXPECT_EQ(ui_->shown[0].title, "");
}

TEST_F(ConnectionTest, SetConnectionDetailsTakesTheDialogsBoxes) {
  DataSource& ds = DataSource::Instance();
  ds.ODBCMode = "DSN";
  ds.SetConnectionDetails({"Ann", "pw", "/b/AU.MYO", "MYOAU1001", "/p/MYOBP.EXE"});
  EXPECT_EQ(ds.ODBCUserID, "Ann");
  EXPECT_EQ(ds.ODBCPassword, "pw");
  EXPECT_EQ(ds.ODBCDataFile, "/b/AU.MYO");
  EXPECT_EQ(ds.ODBCDriver, "MYOAU1001");
  EXPECT_EQ(ds.ODBCProduct, "/p/MYOBP.EXE");
  EXPECT_EQ(ds.ODBCMode, "DSN");
}

}  // namespace
}  // namespace qvx::test
