// Tests of the transaction engine on company files built for the test: the file is
// made with the sample builder, connected through the program's own connection, and
// read through EngineCaller the way the budget comparison reads it.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "EngineCaller.h"
#include "cashbasis/EngineState.h"
#include "companyfile/CompanyFileInfo.h"
#include "companyfile/Connection.h"
#include "companyfile/DataSource.h"
#include "core/Globals.h"
#include "platform/sys/Sys.h"
#include "samples/CompanyFile.h"
#include "support/OdbcTestEnv.h"
#include "support/TestUi.h"

namespace qvx::test {

class EngineDbTest : public ::testing::Test {
 public:
  // Runs a query of the test itself on the open connection.
  static std::unique_ptr<ado::Recordset> Query(const std::string& sql) {
    auto rs = OpenRecordset(sql);
    EXPECT_TRUE(rs) << sql;
    return rs;
  }

 protected:
  static void SetUpTestSuite() { UsePrivateOdbcRegistration(); }

  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    sys::SetProgramFolder(dir_.path().toStdString());
    G = Globals{};
    Engine = EngineState{};
  }
  void TearDown() override {
    Conn = ConnectionState{};
    sys::SetProgramFolder({});
  }

  std::string Path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }

  // Builds a company file with `fill` and connects to it as the program does.
  void Open(const samples::CompanySetup& setup, const std::function<void(samples::CompanyFile&)>& fill,
            const std::string& name = "Engine.MYO") {
    const std::string path = Path(name);
    {
      samples::CompanyFile f(path, setup);
      fill(f);
      f.Finish();
    }
    EngineCaller::Connect(path);
    ASSERT_TRUE(Conn.ODBCConnected) << "connection failed";
    ui_->Clear();
    ui_->doEventsCalls = 0;
  }

  QTemporaryDir dir_;
  ScriptedUiScope ui_;
};

inline samples::AccountDef Acct(const std::string& number, const std::string& name, char type, int level,
                                const std::string& subClass) {
  samples::AccountDef d;
  d.number = number;
  d.name = name;
  d.type = type;
  d.level = level;
  d.subClass = subClass;
  return d;
}

// The chart every engine test uses: a few accounts of every class, with the section
// header accounts of the profit and loss.
struct Chart {
  int bank, receivables, payables, equity, income, sales, services, cogs, expenses, rent, wages, otherIncome,
      otherExpense;
  explicit Chart(samples::CompanyFile& f) {
    bank = f.AddAccount(Acct("1-1110", "Cheque Account", 'D', 3, "B"));
    receivables = f.AddAccount(Acct("1-1200", "Trade Debtors", 'D', 3, "AR"));
    payables = f.AddAccount(Acct("2-1200", "Trade Creditors", 'D', 3, "AP"));
    equity = f.AddAccount(Acct("3-1000", "Owner's Equity", 'D', 2, "EQ"));
    income = f.AddAccount(Acct("4-0000", "Income", 'H', 1, "I"));
    sales = f.AddAccount(Acct("4-1000", "Sales", 'D', 2, "I"));
    services = f.AddAccount(Acct("4-2000", "Services", 'D', 2, "I"));
    f.AddAccount(Acct("5-0000", "Cost of Sales", 'H', 1, "COS"));
    cogs = f.AddAccount(Acct("5-1000", "Purchases", 'D', 2, "COS"));
    f.AddAccount(Acct("6-0000", "Expenses", 'H', 1, "EXP"));
    expenses = f.AddAccount(Acct("6-1000", "General Expenses", 'D', 2, "EXP"));
    rent = f.AddAccount(Acct("6-2000", "Rent", 'D', 2, "EXP"));
    wages = f.AddAccount(Acct("6-3000", "Wages", 'D', 2, "EXP"));
    f.AddAccount(Acct("8-0000", "Other Income", 'H', 1, "OI"));
    otherIncome = f.AddAccount(Acct("8-1000", "Interest Received", 'D', 2, "OI"));
    f.AddAccount(Acct("9-0000", "Other Expenses", 'H', 1, "OE"));
    otherExpense = f.AddAccount(Acct("9-1000", "Interest Paid", 'D', 2, "OE"));
  }
};

}  // namespace qvx::test
