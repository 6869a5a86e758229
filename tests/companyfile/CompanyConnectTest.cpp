// Connecting to sample and test-built company files through the registered test driver,
// and the company information read afterwards, checked against the files themselves.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "CompanyFileFixture.h"
#include "app/MainF.h"
#include "core/ReportRun.h"
#include "core/Settings.h"
#include "core/Startup.h"
#include "app/ProgramStart.h"
#include "driver/AccessKey.h"
#include "samples/CompanyFile.h"
#include "samples/SamplePaths.h"
#include "platform/versioncheck/VersionCheck.h"
#include "support/OdbcTestEnv.h"
#include "support/OtherProgram.h"

namespace qvx::test {
namespace {

namespace fs = std::filesystem;

const std::string kRefused =
    "Sorry, error connecting to MYOB database.\r\n\r\n"
    "Please check the server and your connection and try again.\r\n\r\n"
    "The error is - ";

// Reads a company file directly, beside the driver: the figures the program must find.
std::vector<std::map<std::string, std::string>> Query(const std::string& file, const std::string& sql) {
  std::vector<std::map<std::string, std::string>> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
      while (sqlite3_step(st) == SQLITE_ROW) {
        std::map<std::string, std::string> row;
        for (int i = 0; i < sqlite3_column_count(st); ++i) {
          const unsigned char* t = sqlite3_column_text(st, i);
          row[sqlite3_column_name(st, i)] = t ? reinterpret_cast<const char*>(t) : "";
        }
        rows.push_back(row);
      }
    }
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return rows;
}

int32_t Int(const std::string& s) { return s.empty() ? 0 : std::stoi(s); }

class CompanyConnectTest : public CompanyFileTest {
 protected:
  static void SetUpTestSuite() { UsePrivateOdbcRegistration(); }

  void SetUp() override {
    CompanyFileTest::SetUp();
    CompanyInfo::Instance() = CompanyInfo{};
  }

  // The settings of a company file as the connection dialog leaves them.
  static void Use(const std::string& file, const std::string& driverName = driver::kDirectDriverName,
                  const std::string& user = "Administrator", const std::string& password = "") {
    DataSource& ds = DataSource::Instance();
    ds.ODBCDataFile = file;
    ds.ODBCDriver = driverName;
    ds.ODBCUserID = user;
    ds.ODBCPassword = password;
    ds.ODBCProduct = "/opt/accounts/accounts.exe";
  }

  // A small company file of the test's own; `adjust` changes it before it is finished.
  std::string Build(const std::string& name, samples::CompanySetup setup,
                    const std::function<void(samples::CompanyFile&)>& adjust = {}) {
    const std::string path = Path(name);
    samples::CompanyFile f(path, setup);
    if (adjust) adjust(f);
    f.Finish();
    return path;
  }

  std::vector<std::string> Messages() { return ui_->Messages(); }
};

TEST_F(CompanyConnectTest, BothModesConnectWithTheirStrings) {
  struct Case { std::string file, driverName, mode; std::string want; };
  const std::string au = samples::SamplePath(samples::kAustralianFile);
  const std::string ar = samples::SamplePath(samples::kAr2011File);
  const std::string key = driver::kAccessKey;
  for (const Case& c : std::vector<Case>{
           {au, "MYOAU1001", "Direct",
            "Driver={MYOAU1001}; TYPE=MYOB; UID=Administrator; PWD=; ACCESS_TYPE=READ; KEY=" + key + "; DATABASE=" +
                au + "; HOST_EXE_PATH=/opt/accounts/accounts.exe; Network_Protocol=TCPIP; SQL_LOGIN_TIMEOUT=90; "
                "Driver_Completion=Driver_NoPrompt; "},
           {ar, "MYOAU1001", "DSN",
            "DSN=MYOB_Accountright_2011; UID=Administrator; PWD=; ACCESS_TYPE=READ; KEY=" + key + "; DATABASE=" +
                ar + "; "},
           {au, "MYOB_AccountRight_2011", "DSN",
            "DSN=MYOB_Accountright_2011; UID=Administrator; PWD=; ACCESS_TYPE=READ; KEY=" + key + "; DATABASE=" +
                au + "; "},
       }) {
    SetUp();
    Use(c.file, c.driverName);
    ConnectODBC();
    SCOPED_TRACE(c.file + " " + c.driverName);
    ASSERT_TRUE(Conn.ODBCConnected) << (Messages().empty() ? "" : Messages()[0]);
    EXPECT_EQ(DataSource::Instance().ODBCMode, c.mode);
    EXPECT_EQ(Conn.IsAR2011Driver, c.mode == "DSN");
    EXPECT_EQ(Conn.MYOBConn->ConnectionString(), c.want);
    EXPECT_FALSE(Conn.ConnectError);
    EXPECT_TRUE(Messages().empty());
    // ConnectODBC does not read the company information.
    EXPECT_EQ(G.DataSetCompany, "");
  }
}

TEST_F(CompanyConnectTest, RefusedConnectionsShowTheDriversDescription) {
  samples::CompanySetup setup;
  setup.users = {{"Administrator", ""}, {"Clerk", "s3cret"}};
  const std::string good = Build("Users.MYO", setup);
  const std::string text = Path("Notes.MYO");
  WriteBytes(text, "this is not a company file\n");
  const std::string truncated = Path("Truncated.MYO");
  {
    const std::string bytes = ReadBytes(good);
    WriteBytes(truncated, bytes.substr(0, bytes.size() / 3));
  }
  const std::string empty = Path("Empty.MYO");
  {
    sqlite3* db = nullptr;
    sqlite3_open(empty.c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE Other (x INTEGER)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  fs::create_directories(Path("Folder.MYO"));

  struct Case { std::string file, user, password, inDescription; };
  for (const Case& c : std::vector<Case>{
           {Path("Missing.MYO"), "Administrator", "", "does not exist"},
           {text, "Administrator", "", "not a company file"},
           {truncated, "Administrator", "", ""},
           {empty, "Administrator", "", "not a company file"},
           {Path("Folder.MYO"), "Administrator", "", "folder"},
           {good, "Clerk", "wrong", ""},
           {good, "Nobody", "", ""},
       }) {
    SetUp();
    Conn.WindowsName = "stale";
    Use(c.file, driver::kDirectDriverName, c.user, c.password);
    ConnectODBC();
    SCOPED_TRACE(c.file + " " + c.user);
    EXPECT_FALSE(Conn.ODBCConnected);
    EXPECT_TRUE(Conn.ConnectError);
    EXPECT_EQ(DataSource::Instance().ODBCError, kTrue);
    EXPECT_EQ(Conn.WindowsName, "Windows OS function not available");  // read after a failure too
    ASSERT_EQ(ui_->shown.size(), 1u);
    const auto& shown = ui_->shown[0];
    EXPECT_EQ(shown.text.substr(0, kRefused.size()), kRefused);
    const std::string description = shown.text.substr(std::min(kRefused.size(), shown.text.size()));
    EXPECT_FALSE(description.empty());
    EXPECT_NE(description.find(c.inDescription), std::string::npos) << description;
    EXPECT_EQ(shown.icon, ui::Icon::Critical);
    EXPECT_EQ(shown.buttons, ui::Buttons::OK);

    // The right password then connects, and the flags clear.
    Use(good, driver::kDirectDriverName, "Clerk", "s3cret");
    ui_->Clear();
    DataSource::Instance().MakeConnection();
    EXPECT_TRUE(Conn.ODBCConnected);
    EXPECT_FALSE(Conn.ConnectError);
    EXPECT_EQ(DataSource::Instance().ODBCError, kFalse);
    EXPECT_TRUE(Messages().empty());
  }
}

// A company file that another program keeps from being read, or that this user may not
// read, is not called a file of another kind: the connection box and the runner's check
// of the file both say which it is.
TEST_F(CompanyConnectTest, AFileThatCannotBeReadSaysWhy) {
  fs::permissions(folder_, fs::perms(0755));  // another user may look into the folder
  struct Case {
    std::string name, says;
    std::function<bool(const std::string& file, const std::function<bool()>& look)> around;
  };
  const std::vector<Case> cases = {
      {"Locked.MYO", "is locked by another program that is writing it",
       [](const std::string& file, const std::function<bool()>& look) {
         Writer w(file, "BEGIN EXCLUSIVE");
         return w.Locked() && look();
       }},
      {"Unfinished.MYO", "holds a change that another program did not finish",
       [](const std::string& file, const std::function<bool()>& look) {
         return LeaveUnfinishedChange(file) && look();
       }},
      {"Private.MYO", "may not be read by this user",
       [](const std::string& file, const std::function<bool()>& look) {
         // Readable by nobody but root: unreadable to the other user the test becomes as root,
         // and to the test's own user, who cannot become another, otherwise.
         fs::permissions(file, fs::perms::none);
         return AsAnotherUser(look);
       }},
      // In write-ahead-log mode, in a folder this user may not write (as on read-only
      // media): SQLite can neither open nor make the -shm file it reads the file with.
      {"WriteAhead.MYO", "is in write-ahead-log mode, and this user or medium cannot read it alongside its -shm file",
       [](const std::string& file, const std::function<bool()>& look) {
         sqlite3* db = nullptr;
         const bool wal = sqlite3_open(file.c_str(), &db) == SQLITE_OK &&
                          sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr) == SQLITE_OK;
         sqlite3_close(db);
         const fs::path folder = fs::path(file).parent_path();
         fs::permissions(folder, fs::perms(0555));
         const bool seen = wal && !fs::exists(file + "-shm") && AsAnotherUser(look);
         fs::permissions(folder, fs::perms(0755));
         return seen;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    const std::string file = Build(c.name, samples::CompanySetup{});
    std::string seen;
    auto look = [&] {
      ui_->Clear();
      Use(file);
      ConnectODBC();
      const std::string box = ui_->shown.empty() ? "" : ui_->shown[0].text;
      const std::string probe = file + " " + versioncheck::WhyNoAnswer(file);
      seen = box + "\n" + probe;
      const bool ok = !Conn.ODBCConnected && box.rfind(kRefused, 0) == 0 && box.find(c.says) != std::string::npos &&
                      box.find(file) != std::string::npos && probe.find(c.says) != std::string::npos &&
                      (box + probe).find("not a company file") == std::string::npos;
      if (!ok) std::fprintf(stderr, "%s\n", seen.c_str());  // also from another user's process
      return ok;
    };
    EXPECT_TRUE(c.around(file, look)) << seen;
  }
}

TEST_F(CompanyConnectTest, AFileNameCannotInjectKeys) {
  const std::string au = samples::SamplePath(samples::kAustralianFile);
  for (const std::string name : {"a;b.MYO", "brace{x}.MYO", "a; DATABASE=other.MYO; UID=x; .MYO", "}{;.MYO"}) {
    SetUp();
    fs::copy_file(au, Path(name));
    Use(Path(name));
    DataSource::Instance().MakeConnection();
    EXPECT_TRUE(Conn.ODBCConnected) << name << " " << (Messages().empty() ? "" : Messages()[0]);
    EXPECT_EQ(G.DataSetCompany, "Clearwater Trading Pty Ltd") << name;
  }
}

// The company information of the three sample files, against their tables.
TEST_F(CompanyConnectTest, CompanyInformationOfTheSampleFiles) {
  for (const char* sample : {samples::kAustralianFile, samples::kUsaFile, samples::kAr2011File}) {
    SetUp();
    const std::string file = samples::SamplePath(sample);
    SCOPED_TRACE(file);
    const auto info = Query(file, "SELECT * FROM DataFileInformation")[0];
    const bool usa = info.at("DataFileCountry") == "USA";
    // Entries the read must leave alone keep a mark.
    Company.TaxPaidAcct.fill(777);
    Company.CurrencyCodes.fill("old");
    Use(file);
    DataSource::Instance().MakeConnection();
    ASSERT_TRUE(Conn.ODBCConnected);
    EXPECT_TRUE(Messages().empty()) << Messages()[0];

    EXPECT_EQ(G.DataSetCompany, info.at("CompanyName"));
    EXPECT_EQ(G.CurrentYear, Int(info.at("CurrentFinancialYear")));
    const int last = Int(info.at("LastMonthInFinancialYear"));
    EXPECT_EQ(G.FirstMonth, last == 12 ? 1 : last + 1);
    EXPECT_EQ(Company.CompanyPhone, info.at("Phone"));
    EXPECT_EQ(Company.CompanyFax, info.at("FaxNumber"));
    EXPECT_EQ(Conn.DataBaseVersion, info.at("DataBaseVersion"));
    EXPECT_EQ(Conn.DFCountry, info.at("DataFileCountry"));
    EXPECT_EQ(Company.DataFileCountry, info.at("DataFileCountry"));
    EXPECT_EQ(Company.UseMultiCurrency, info.at("UseMultipleCurrencies") == "Y");
    EXPECT_EQ(CompanyInfo::Instance().ChangeControl, info.at("ChangeControl"));

    // The address, line by line as the file holds it.
    std::vector<std::string> want;
    std::string line;
    for (char ch : info.at("Address") + "\n") {
      if (ch == '\r' || ch == '\n') {
        if (!line.empty()) want.push_back(line);
        line.clear();
      } else {
        line += ch;
      }
    }
    want.resize(6);
    for (size_t i = 1; i <= 6; ++i) EXPECT_EQ(Company.AddressLines[i], want[i - 1]) << "line " << i;

    const auto linked = Query(file, "SELECT * FROM LinkedAccounts")[0];
    const CompanyInfo& ci = CompanyInfo::Instance();
    EXPECT_EQ(ci.LinkedReceivablesID, Int(linked.at("ReceivablesAccountID")));
    EXPECT_EQ(ci.LinkedPayablesID, Int(linked.at("PayablesAccountID")));
    EXPECT_EQ(ci.LinkedReceivablesDepositsID, Int(linked.at("ReceivablesDepositsID")));
    EXPECT_EQ(ci.LinkedPayablesDepositsID, Int(linked.at("PayablesDepositsID")));
    EXPECT_EQ(ci.LinkedReceivablesDiscountsID, Int(linked.at("ReceivablesDiscountsID")));
    EXPECT_EQ(ci.LinkedPayablesDiscountsID, Int(linked.at("PayablesDiscountsID")));
    EXPECT_EQ(ci.LinkedReceivablesFreightID, Int(linked.at("ReceivablesFreightID")));
    EXPECT_EQ(ci.LinkedPayablesFreightID, Int(linked.at("PayablesFreightID")));

    const auto taxes = Query(file, "SELECT TaxCollectedAccountID, TaxPaidAccountID FROM TaxCodes");
    ASSERT_FALSE(taxes.empty());
    for (size_t n = 1; n <= std::min<size_t>(taxes.size(), 20); ++n) {
      EXPECT_EQ(Company.TaxCollectedAcct[n], Int(taxes[n - 1].at("TaxCollectedAccountID")));
      EXPECT_EQ(Company.TaxPaidAcct[n], usa ? 777 : Int(taxes[n - 1].at("TaxPaidAccountID")));
    }

    if (Company.UseMultiCurrency) {
      const auto currencies = Query(
          file,
          "SELECT c.CurrencyCode, c.LinkedReceivablesAccountID AS R, c.LinkedPayablesAccountID AS P, "
          "COALESCE(ra.CurrencyExchangeAccountID, c.LinkedReceivablesAccountID) AS RX, "
          "COALESCE(pa.CurrencyExchangeAccountID, c.LinkedPayablesAccountID) AS PX FROM Currency c "
          "LEFT JOIN Accounts ra ON ra.AccountID = c.LinkedReceivablesAccountID "
          "LEFT JOIN Accounts pa ON pa.AccountID = c.LinkedPayablesAccountID ORDER BY c.rowid");
      ASSERT_FALSE(currencies.empty());
      EXPECT_EQ(Company.CurrencyCount, static_cast<int16_t>(currencies.size()));
      for (size_t n = 1; n <= currencies.size(); ++n) {
        EXPECT_EQ(Company.CurrencyCodes[n], currencies[n - 1].at("CurrencyCode"));
        EXPECT_EQ(Company.CurrRecvAcct[n], Int(currencies[n - 1].at("R")));
        EXPECT_EQ(Company.CurrPayAcct[n], Int(currencies[n - 1].at("P")));
        EXPECT_EQ(Company.CurrRecvExchAcct[n], Int(currencies[n - 1].at("RX")));
        EXPECT_EQ(Company.CurrPayExchAcct[n], Int(currencies[n - 1].at("PX")));
      }
    } else {
      EXPECT_EQ(Company.CurrencyCodes[1], "old");
      EXPECT_EQ(Company.CurrencyCount, 0);
    }

    const std::string name = info.at("CompanyName");
    EXPECT_EQ(Company.CompanyKey, name.substr(0, name.find(' ')));
    EXPECT_EQ(G.DataSetFile, "QVXDataSet-" + Company.CompanyKey + ".Txt");
    EXPECT_EQ(ReadBytes(Path(G.DataSetFile)), "DS-CompanyName=\r\n");
    EXPECT_EQ(G.DateFormat, "DMY");
  }
}

// The direct mode asks for the cost-centre columns, the DSN mode for the category
// columns: a file without the other kind's columns still reads.
TEST_F(CompanyConnectTest, TheCompanyQueryOfEachMode) {
  struct Case { std::string name, dropped; bool readable; };
  for (const Case& c : std::vector<Case>{
           {"Direct.MYO", "UseCategories", true},
           {"Direct2.MYO", "UseCostCentres", false},
           {"Newer.MYOX", "UseCostCentres", true},
           {"Newer2.MYOX", "UseCategories", false},
       }) {
    SetUp();
    samples::CompanySetup setup;
    setup.companyName = "Column Test";
    Use(Build(c.name, setup, [&](samples::CompanyFile& f) {
      f.Exec("ALTER TABLE DataFileInformation DROP COLUMN " + c.dropped);
    }));
    DataSource::Instance().MakeConnection();
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Conn.ODBCConnected);
    EXPECT_EQ(G.DataSetCompany, c.readable ? "Column Test" : "");
    EXPECT_EQ(Messages().size(), c.readable ? 0u : 1u);
    if (!c.readable) {
      // A missing column is the file's fault, not the user's rights: the driver's words.
      EXPECT_EQ(Messages()[0].rfind("An error has occurred - ", 0), 0u) << Messages()[0];
      EXPECT_NE(Messages()[0].find("no such column"), std::string::npos) << Messages()[0];
    }
  }
}

TEST_F(CompanyConnectTest, ReconnectingManyTimesInARow) {
  const std::vector<std::string> files = {samples::SamplePath(samples::kAustralianFile),
                                          samples::SamplePath(samples::kUsaFile),
                                          samples::SamplePath(samples::kAr2011File), Path("Missing.MYO")};
  std::map<std::string, std::string> names;
  for (size_t i = 0; i + 1 < files.size(); ++i)
    names[files[i]] = Query(files[i], "SELECT CompanyName FROM DataFileInformation")[0].at("CompanyName");
  // The group report's way: save the settings, set only the file, reconnect, restore.
  Use(files[0]);
  const DataSource saved = DataSource::Instance();
  std::string lastName;
  size_t failures = 0;
  for (int round = 0; round < 60; ++round) {
    const std::string& file = files[static_cast<size_t>(round) % files.size()];
    DataSource::Instance().ODBCDataFile = file;
    DataSource::Instance().MakeConnection();
    const bool missing = names.count(file) == 0;
    SCOPED_TRACE(file);
    EXPECT_EQ(Conn.ODBCConnected, !missing);
    EXPECT_EQ(DataSource::Instance().ODBCError, missing ? kTrue : kFalse);
    // The newer file's driver name stays in the settings, so later files keep the DSN mode.
    EXPECT_EQ(DataSource::Instance().ODBCMode, round >= 2 ? "DSN" : "Direct");
    if (missing) {
      ++failures;
      EXPECT_EQ(G.DataSetCompany, lastName);  // the last company's values stay
    } else {
      EXPECT_EQ(G.DataSetCompany, names[file]);
      lastName = names[file];
    }
  }
  EXPECT_EQ(Messages().size(), failures);
  DataSource::Instance() = saved;
  DataSource::Instance().MakeConnection();
  EXPECT_TRUE(Conn.ODBCConnected);
  EXPECT_EQ(G.DataSetCompany, names[files[0]]);
  auto rs = OpenRecordset("SELECT COUNT(*) AS N FROM MYOB.Accounts");
  ASSERT_TRUE(rs);
  EXPECT_GT(rs->Fields("N").Value().ToLong(), 0);
}

TEST_F(CompanyConnectTest, OpenRecordsetMessages) {
  Use(samples::SamplePath(samples::kAustralianFile));
  ConnectODBC();
  ASSERT_TRUE(Conn.ODBCConnected);
  auto rs = OpenRecordset("SELECT AccountID FROM MYOB.Accounts WHERE AccountID < 0");
  ASSERT_TRUE(rs);
  EXPECT_EQ(rs->RecordCount(), 0);
  EXPECT_TRUE(rs->Eof());
  rs = OpenRecordset("SELECT AccountID FROM MYOB.Accounts ORDER BY AccountID");
  ASSERT_TRUE(rs);
  EXPECT_GT(rs->RecordCount(), 1);
  EXPECT_EQ(rs->Fields("AccountID").Value().ToLong(),
            Int(Query(samples::SamplePath(samples::kAustralianFile), "SELECT MIN(AccountID) AS M FROM Accounts")[0].at("M")));
  EXPECT_TRUE(Messages().empty());
  // Only a refusal of access is reported as the user's rights; other failures carry the
  // driver's own message.
  struct Case {
    std::string sql;
    std::string expected;  // the whole text, or the start of it with the driver's words after
  };
  for (const Case& c : std::vector<Case>{
           {"SELECT Nope FROM MYOB.Accounts", "An error has occurred - [QVX][Company file driver]Column not found: no such column: Nope"},
           {"SELECT * FROM MYOB.Secrets", "An error has occurred - [QVX][Company file driver]Base table or view not found: no such table"},
           {"SELECT FROM WHERE", "An error has occurred - [QVX][Company file driver]Syntax error or access violation"},
           {"UPDATE MYOB.Accounts SET AccountName = 'x'", "UserID restrictions in MYOB prevent access to the data"},
           {"SELECT * FROM MYOB.DriverUsers", "UserID restrictions in MYOB prevent access to the data"},
       }) {
    SCOPED_TRACE(c.sql);
    ui_->Clear();
    EXPECT_EQ(OpenRecordset(c.sql), nullptr);
    ASSERT_EQ(ui_->shown.size(), 1u);
    EXPECT_EQ(ui_->shown[0].text.substr(0, c.expected.size()), c.expected) << ui_->shown[0].text;
    EXPECT_EQ(ui_->shown[0].icon, ui::Icon::None);
    EXPECT_EQ(ui_->shown[0].title, "");
  }
}

TEST_F(CompanyConnectTest, UnusualCompanyData) {
  struct Case {
    std::string label;
    std::function<void(samples::CompanySetup&)> setup;
    std::function<void(samples::CompanyFile&)> adjust;
    std::function<void()> check;
  };
  const std::string longName(300, 'L');
  std::string twenty;
  for (int i = 1; i <= 20; ++i) twenty += "Line " + std::to_string(i) + "\r\n";
  for (const Case& c : std::vector<Case>{
           {"quotes", [](samples::CompanySetup& s) { s.companyName = "O'Brien \"Best\" Pty"; }, {},
            [] {
              EXPECT_EQ(G.DataSetCompany, "O'Brien \"Best\" Pty");
              EXPECT_EQ(G.DataSetFile, "QVXDataSet-O'Brien.Txt");
            }},
           {"300 characters", [&](samples::CompanySetup& s) { s.companyName = longName; }, {},
            [&] {
              EXPECT_EQ(G.DataSetCompany, longName);
              EXPECT_EQ(Company.CompanyKey, std::string(200, 'L'));
            }},
           {"non-Latin", [](samples::CompanySetup& s) { s.companyName = "Ωμέγα Λτδ 株式会社"; }, {},
            [] {
              EXPECT_EQ(G.DataSetCompany, "Ωμέγα Λτδ 株式会社");
              EXPECT_EQ(G.DataSetFile, "QVXDataSet-Ωμέγα.Txt");
            }},
           {"no address", [](samples::CompanySetup& s) { s.address = ""; }, {},
            [] {
              for (size_t i = 1; i <= 6; ++i) EXPECT_EQ(Company.AddressLines[i], "");
            }},
           {"twenty address lines", [&](samples::CompanySetup& s) { s.address = twenty; }, {},
            [] {
              for (size_t i = 1; i <= 6; ++i) EXPECT_EQ(Company.AddressLines[i], "Line " + std::to_string(i));
            }},
           {"25 currencies", [](samples::CompanySetup& s) { s.multiCurrency = true; },
            [](samples::CompanyFile& f) {
              f.Exec("DELETE FROM Currency");
              for (int i = 1; i <= 25; ++i) {
                samples::AccountDef exch;
                exch.number = "4-9" + std::to_string(100 + i);
                exch.name = "Exchange " + std::to_string(i);
                const int exchange = f.AddAccount(exch);
                samples::AccountDef recv;
                recv.number = "1-2" + std::to_string(100 + i);
                recv.name = "Receivables " + std::to_string(i);
                recv.currencyExchangeAccount = exchange;
                const int receivable = f.AddAccount(recv);
                samples::AccountDef pay;
                pay.number = "2-2" + std::to_string(100 + i);
                pay.name = "Payables " + std::to_string(i);
                const int payable = f.AddAccount(pay);
                f.AddCurrency("C" + std::to_string(10 + i), "Currency " + std::to_string(i), 1.0, receivable, payable);
              }
            },
            [] {
              EXPECT_EQ(Company.CurrencyCount, 25);
              for (size_t i = 1; i <= 20; ++i) {
                EXPECT_EQ(Company.CurrencyCodes[i], "C" + std::to_string(10 + i));
                EXPECT_NE(Company.CurrRecvExchAcct[i], Company.CurrRecvAcct[i]);  // looked up
                EXPECT_EQ(Company.CurrPayExchAcct[i], Company.CurrPayAcct[i]);    // the account names none
              }
            }},
       }) {
    SetUp();
    SCOPED_TRACE(c.label);
    samples::CompanySetup setup;
    c.setup(setup);
    Use(Build("Unusual.MYO", setup, c.adjust));
    DataSource::Instance().MakeConnection();
    ASSERT_TRUE(Conn.ODBCConnected);
    EXPECT_TRUE(Messages().empty()) << Messages()[0];
    c.check();
    EXPECT_TRUE(fs::exists(Path(G.DataSetFile)));
    fs::remove(Path("Unusual.MYO"));
  }
}

TEST_F(CompanyConnectTest, NullsEverywhereKeepThePreviousValues) {
  samples::CompanySetup setup;
  setup.multiCurrency = true;
  const std::string file = Build("Nulls.MYO", setup, [](samples::CompanyFile& f) {
    f.AddTaxCode("GST", 10, 17, 18);
    f.AddCurrency("USD", "US Dollar", 0.7, 0, 0);
    f.Exec("UPDATE DataFileInformation SET CompanyName = NULL, CurrentFinancialYear = NULL, "
           "LastMonthInFinancialYear = NULL, Phone = NULL, FaxNumber = NULL, Address = NULL, "
           "DataBaseVersion = NULL, DataFileCountry = NULL, ChangeControl = NULL, UseCostCentres = NULL, "
           "CostCentresRequired = NULL, DriverBuildNumber = NULL");
    f.Exec("DELETE FROM LinkedAccounts");
    f.Exec("INSERT INTO LinkedAccounts DEFAULT VALUES");
    f.Exec("UPDATE TaxCodes SET TaxCollectedAccountID = NULL, TaxPaidAccountID = NULL");
    f.Exec("UPDATE Currency SET CurrencyCode = NULL, LinkedReceivablesAccountID = NULL, "
           "LinkedPayablesAccountID = NULL");
  });
  G.DataSetCompany = "Previous Co";
  G.CurrentYear = 2011;
  G.FirstMonth = 7;
  Company.CompanyKey = "Previous";
  Company.CompanyPhone = "phone";
  Company.AddressLines[1] = "old line";
  CompanyInfo::Instance().LinkedPayablesID = 99;
  Company.CurrencyCodes[1] = "old";
  Company.CurrRecvAcct[1] = 55;
  Use(file);
  DataSource::Instance().MakeConnection();
  ASSERT_TRUE(Conn.ODBCConnected);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(G.DataSetCompany, "Previous Co");
  EXPECT_EQ(G.CurrentYear, 2011);
  EXPECT_EQ(G.FirstMonth, 7);
  EXPECT_EQ(Company.CompanyPhone, "phone");
  EXPECT_EQ(Company.AddressLines[1], "");  // an address that cannot be read is empty
  EXPECT_EQ(Company.CompanyKey, "Previous");
  EXPECT_EQ(G.DataSetFile, "QVXDataSet-Previous.Txt");
  EXPECT_EQ(CompanyInfo::Instance().LinkedPayablesID, 99);
  // A tax value that cannot be read counts as 0.
  for (size_t n = 1; n <= 3; ++n) {
    EXPECT_EQ(Company.TaxCollectedAcct[n], 0);
  }
  EXPECT_EQ(Company.CurrencyCodes[1], "old");
  EXPECT_EQ(Company.CurrRecvAcct[1], 55);
}

TEST_F(CompanyConnectTest, AFileWithoutCompanyInformationSaysSoOnceAndStaysUsable) {
  const std::string file = Build("NoRow.MYO", samples::CompanySetup{},
                                 [](samples::CompanyFile& f) { f.Exec("DELETE FROM DataFileInformation"); });
  G.DataSetCompany = "Previous Co";
  Company.CompanyKey = "Previous";
  Use(file);
  DataSource::Instance().MakeConnection();
  ASSERT_TRUE(Conn.ODBCConnected);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0], "The company information could not be read from this company file.");
  EXPECT_EQ(G.DataSetCompany, "Previous Co");
  EXPECT_EQ(G.DataSetFile, "QVXDataSet-Previous.Txt");
  auto rs = OpenRecordset("SELECT COUNT(*) AS N FROM MYOB.TaxCodes");
  ASSERT_TRUE(rs);
  EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(CompanyConnectTest, ADateFormatRefusedAtConnectionEndsTheProgram) {
  SetPicture("d/MM/yy");
  Use(samples::SamplePath(samples::kAustralianFile));
  ui_->QueueAnswer(ui::Answer::No);
  EXPECT_THROW(DataSource::Instance().MakeConnection(), ui::ScriptedUi::ProgramExit);
  EXPECT_EQ(locale::ShortDatePicture(), "d/MM/yy");
  // The data-set file was made before the check; the settings file is never written.
  EXPECT_FALSE(fs::exists(Path("Tallymoor.Ini")));

  SetUp();
  SetPicture("M/d/yyyy");
  Use(samples::SamplePath(samples::kUsaFile));
  ui_->QueueAnswer(ui::Answer::Yes);
  DataSource::Instance().MakeConnection();
  EXPECT_EQ(locale::ShortDatePicture(), "MM/dd/yyyy");
  EXPECT_EQ(G.DateFormat, "MDY");
  auto rs = OpenRecordset("SELECT TransactionDate AS D FROM MYOB.JournalRecords ORDER BY TransactionDate LIMIT 1");
  ASSERT_TRUE(rs);
  const std::string iso = Query(samples::SamplePath(samples::kUsaFile),
                                "SELECT MIN(TransactionDate) AS D FROM JournalRecords")[0].at("D");
  EXPECT_EQ(rs->Fields("D").Value().Text(), iso.substr(5, 2) + "/" + iso.substr(8, 2) + "/" + iso.substr(0, 4));
}

}  // namespace
}  // namespace qvx::test

namespace qvx::test {
namespace {

// A settings file naming a bad company file: start-up shows the connection message with
// the driver's description, goes on to the main window, and the settings are still
// written when the program ends.
TEST_F(CompanyConnectTest, StartUpWithABadCompanyFileGoesOn) {
  for (const std::string name : {"Missing.MYO", "Notes.MYO", "Folder.MYO", "Empty.MYO"}) {
    SetUp();
    const std::string bad = Path(name);
    if (name == "Notes.MYO") WriteBytes(bad, "plain text\n");
    if (name == "Folder.MYO") fs::create_directories(bad);
    if (name == "Empty.MYO") WriteBytes(bad, "");
    WriteBytes(Path("Tallymoor.Ini"), "ODBCUserID=Administrator\r\nODBCDataFile=" + bad +
                                          "\r\nODBCProduct=/opt/p\r\nODBCDriver=MYOAU1001\r\n");
    Main();
    SCOPED_TRACE(name);
    EXPECT_FALSE(Conn.ODBCConnected);
    ASSERT_FALSE(Messages().empty());
    EXPECT_EQ(Messages()[0].substr(0, kRefused.size()), kRefused);
    EXPECT_GT(Messages()[0].size(), kRefused.size());
    ASSERT_NE(MainF::Instance().Window(), nullptr);
    EXPECT_TRUE(SaveSettingsOnExit());
    const auto lines = sys::ReadTextLines(Path("Tallymoor.Ini"), 100);
    EXPECT_EQ(lines.size(), 52u);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "ODBCDataFile=" + bad), lines.end());
    MainF::Instance().DestroyWindow();
  }
}

// Every way out of a report ends its run. After an error the report did not handle, a
// box comes every time again, and a company file lost outside any report is told as any
// failed read, without stopping a report that is not there; within a report it stops it.
TEST_F(CompanyConnectTest, AnErrorEscapingAReportEndsItsRunAndALostFileIsToldAsFits) {
  const std::string file = Path("Lost.MYO");
  fs::copy_file(samples::SamplePath(samples::kAustralianFile), file);
  Use(file);
  ConnectODBC();
  ASSERT_TRUE(Conn.ODBCConnected);
  ui_->Clear();
  auto sameBoxTwice = [] {
    ui::MsgBox("The same box");
    ui::MsgBox("The same box");
  };
  EXPECT_THROW(RunReport([&] {
                 sameBoxTwice();
                 throw std::runtime_error("not handled by the report");
               }),
               std::runtime_error);
  // The second counted in the run, and the count told at its end.
  EXPECT_EQ(Messages(), (std::vector<std::string>{
                            "The same box", "The same box\r\n…and the same message came up 1 more time in this report."}));
  EXPECT_FALSE(RunStopped());
  sameBoxTwice();
  EXPECT_EQ(Messages().size(), 4u);

  fs::remove(file);
  const std::string removed = "[QVX][Company file driver]The company file \"" + file + "\" was removed or renamed while it was open. Put it "
                              "back where it was, or choose the company file again with Setup / MYOB Connection.";
  ui_->Clear();
  std::unique_ptr<ado::Recordset> rs;
  EXPECT_NO_THROW(rs = OpenRecordset("SELECT COUNT(*) AS N FROM MYOB.Accounts"));
  EXPECT_EQ(rs, nullptr);
  EXPECT_EQ(Messages(), std::vector<std::string>{"An error has occurred - " + removed});

  ui_->Clear();
  EXPECT_FALSE(RunReport([] { OpenRecordset("SELECT COUNT(*) AS N FROM MYOB.Accounts"); }));
  EXPECT_EQ(Messages(), std::vector<std::string>{removed + "\r\n\r\nThe report stops here: nothing has been printed or saved."});
  EXPECT_EQ(ui_->shown.back().title, "Report stopped");
  EXPECT_FALSE(StopReport("after the run"));
}

}  // namespace
}  // namespace qvx::test
