// Group runs over company files built by the test: the user's own company file connected
// as the connection dialog leaves it, a folder of group members, the period and options
// dialogs answered through the scripted user interface, and the figures the tables must
// hold read from the files directly with SQL.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "../companyfile/CompanyFileReadersFixture.h"
#include "core/DateRangeMth.h"
#include "driver/AccessKey.h"
#include "groupreports/ConsolidationData.h"
#include "groupreports/GroupReports.h"
#include "platform/sys/Clock.h"
#include "samples/CompanyFile.h"
#include "support/OdbcTestEnv.h"

namespace qvx::test {

using samples::M;

// One journal line of a member file, balanced against its bank account.
struct GroupLine {
  std::string date;    // yyyy-mm-dd
  std::string number;  // account number
  Money amount;        // debit positive
};

struct GroupMember {
  std::string file;
  // Description of account "1-0000"; without one the file has no such account.
  std::optional<std::string> description;
  std::vector<samples::AccountDef> accounts{};  // beyond the basic chart
  std::vector<GroupLine> lines{};
  int lastMonth = 12;  // calendar year, unlike the user's own file
  std::vector<std::pair<std::string, std::string>> users = {{"Administrator", ""}};
  bool basicChart = true;
  int year = 2014;  // the financial year, the user's own file's
};

// The options a run is given in its dialog.
struct RunOptions {
  std::string folder{};
  std::string group{};
  bool excel = false;
  bool separate = true;
  bool headers = false;
  // Left as the dialog shows them when not given.
  std::optional<bool> average{}, numbers{};  // the average column, account numbers
  int level = 4;  // report level picked in the dialog
  int fromIndex = 0, toIndex = 11, yearIndex = 2;  // July 2013 to June 2014
};

class GroupRunTest : public CompanyReaderTest {
 protected:
  void SetUp() override {
    CompanyReaderTest::SetUp();
    CompanyInfo::Instance() = CompanyInfo{};
    sys::SetNow(std::chrono::sys_days{std::chrono::year{2014} / 3 / 1});
    BuildMonthTables();
    G.DateFormat = "DMY";
    G.ExcelVersion = 2007;
    G.PrintToPrinter = kTrue;
    G.PrintLevel = 4;
    DateRangeMth::Instance() = DateRangeMth{};
    Consolidation = ConsolidationData{};
    samples::CompanySetup own;
    own.companyName = "Own Books Pty Ltd";
    own.currentFinancialYear = 2014;
    own.lastMonthInFinancialYear = 6;
    ownFile_ = Path("Own.MYO");
    { samples::CompanyFile f(ownFile_, own); }
    Connect(ownFile_);
    userSettings_ = SaveConnection();
  }
  void TearDown() override {
    sys::SetNow(std::nullopt);
    Consolidation = ConsolidationData{};
    CompanyReaderTest::TearDown();
  }

  // Builds a member file in folder; the basic chart has income, cost of sales, expenses,
  // other income and other expenses, with a bank account that balances every line.
  std::string BuildMember(const std::string& folder, const GroupMember& m) {
    std::filesystem::create_directories(folder);
    samples::CompanySetup s;
    s.companyName = "Member " + m.file;
    s.currentFinancialYear = m.year;
    s.lastMonthInFinancialYear = m.lastMonth;
    s.users = m.users;
    const std::string path = folder + "/" + m.file;
    samples::CompanyFile f(path, s);
    if (m.description)
      f.AddAccount({.number = "1-0000", .name = "Assets", .type = 'H', .level = 1, .description = *m.description});
    f.AddAccount({"1-1110", "Cheque Account", 'D', 2, "B"});
    if (m.basicChart) {
      for (const samples::AccountDef& a : std::vector<samples::AccountDef>{
               {"4-0000", "Income", 'H', 1, "I"},
               {"4-1000", "Sales", 'D', 2, "I"},
               {"5-0000", "Cost of Sales", 'H', 1, "COS"},
               {"5-1000", "Purchases", 'D', 2, "COS"},
               {"6-0000", "Expenses", 'H', 1, "EXP"},
               {"6-1000", "Wages", 'D', 2, "EXP"},
               {"8-0000", "Other Income", 'H', 1, "OI"},
               {"8-1000", "Interest Income", 'D', 2, "OI"},
               {"9-0000", "Other Expenses", 'H', 1, "OE"},
               {"9-1000", "Bank Charges", 'D', 2, "OE"}})
        f.AddAccount(a);
    }
    for (const samples::AccountDef& a : m.accounts) f.AddAccount(a);
    const int bank = f.AccountId("1-1110");
    for (const GroupLine& l : m.lines) {
      const int account = f.AccountId(l.number);
      f.AddJournalSet("GJ", 0, l.date, {{account, l.amount}, {bank, -l.amount}});
    }
    f.Finish();
    return path;
  }

  // Runs the report as the user would: the period, then the options.
  void Run(const RunOptions& o, const std::function<void()>& beforeOk = {}) {
    G.ConsPath = o.folder;
    ui_->QueueForm([o](ui::Form& form) {
      auto& f = dynamic_cast<DateRangeMthForm&>(form);
      f.FromMth.setCurrentIndex(o.fromIndex);
      f.ToMth.setCurrentIndex(o.toIndex);
      f.CmbFinYear.setCurrentIndex(o.yearIndex);
      f.CmdOkay_Click();
    });
    ui_->QueueForm([o, beforeOk](ui::Form& form) {
      auto& f = dynamic_cast<FilterConsForm&>(form);
      f.TxtGroup.setText(QString::fromStdString(o.group));
      f.ChkSeparate.setChecked(o.separate);
      f.ChkHdrs.setChecked(o.headers);
      if (o.average) f.ChkAverage.setChecked(*o.average);
      if (o.numbers) f.ChkAcNbr.setChecked(*o.numbers);
      f.CmbLevel.setCurrentIndex(o.level - 1);
      f.ChkExcelFile.setChecked(o.excel);
      if (beforeOk) beforeOk();
      f.Exit_Click();
    });
    if (o.excel) ui_->QueueFile(Path("Group.xlsx"));
    std::string code = "CONPL";
    RunConsolidatedReport(code);
  }

  // The user's six settings are back and the user's own file is the one connected.
  void ExpectUserConnection() {
    EXPECT_EQ(SaveConnection(), userSettings_);
    ASSERT_TRUE(Conn.ODBCConnected);
    ASSERT_TRUE(Conn.MYOBConn);
    EXPECT_NE(Conn.MYOBConn->ConnectionString().find("DATABASE=" + ownFile_ + ";"), std::string::npos)
        << Conn.MYOBConn->ConnectionString();
    EXPECT_EQ(G.DataSetCompany, "Own Books Pty Ltd");
    EXPECT_EQ(G.FirstMonth, 7);
  }

  // Checks every stored row of accepted file f against the file's own journal of the
  // period: the sum of its lines times the percentage, income and other income negated.
  // Weighting line by line rounds each line to a ten-thousandth, so the sums may differ
  // by half of one per line.
  void ExpectBalancesMatchSql(int f, const std::string& path, double percent, const std::string& from,
                              const std::string& to) {
    const ConsolidationData& d = Consolidation;
    const auto rows = Direct(path,
                          "SELECT a.AccountNumber, COALESCE(SUM(CAST(j.TaxExclusiveAmount AS REAL)), 0), COUNT(j.AccountID) "
                          "FROM Accounts a LEFT JOIN JournalRecords j ON j.AccountID = a.AccountID AND "
                          "j.TransactionDate BETWEEN '" + from + "' AND '" + to + "' "
                          "WHERE substr(a.AccountNumber, 1, 1) > '3' AND a.AccountTypeID <> 'H' "
                          "GROUP BY a.AccountNumber ORDER BY a.AccountNumber");
    const size_t fi = static_cast<size_t>(f);
    int checked = 0;
    for (const auto& row : rows) {
      int r = 0;
      for (int i = 1; i <= d.FileAccCount[fi]; ++i)
        if (d.FileAccNumber[fi][static_cast<size_t>(i)] == row[0]) r = i;
      ASSERT_GT(r, 0) << path << " " << row[0] << " not stored";
      const char cls = row[0][0];
      double want = std::stod(row[1]) * percent / 100;
      if (cls == '4' || cls == '8') want = -want;
      const double tolerance = 0.00005 * std::stod(row[2]) + 1e-9;
      EXPECT_NEAR(d.FileAccBalance[fi][static_cast<size_t>(r)].ToDouble(), want, tolerance) << path << " " << row[0];
      ++checked;
    }
    EXPECT_GT(checked, 0);
  }

  std::string ownFile_;
  SavedConnection userSettings_{};
};

inline const std::string kRefusedConnection =
    "Sorry, error connecting to MYOB database.\r\n\r\n"
    "Please check the server and your connection and try again.\r\n\r\n"
    "The error is - ";

}  // namespace qvx::test
