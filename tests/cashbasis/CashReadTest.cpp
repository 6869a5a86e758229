// Cash-basis reads: the treatment of every journal type for "USA" and other company
// files, the duplicate guard, the date keys, bad rows and the error box.
//
// Sets that need a document handler point to documents that do not exist, so they post
// nothing whether the handlers are the stubs that post nothing or the real ones.
#include <string>
#include <vector>

#include "EngineFixture.h"
#include "cashbasis/PostTransaction.h"
#include "core/Progress.h"

namespace qvx::test {
namespace {

Money M(const char* s) { return Money::Parse(s); }

class CashReadTest : public EngineDbTest {
 protected:
  // A cash read of March 2014 (financial year July to June).
  EngineCaller ReadMarch(int16_t includeGJ = kTrue) {
    EngineCaller run;
    run.CashBasis = kTrue;
    run.IncludeGJ = includeGJ;
    run.LoadAccounts();
    EngineCaller::SetPeriod("01/03/2014", "31/03/2014", "01/07/2013", "30/06/2014");
    run.Read();
    return run;
  }
};

// What one journal line of a set of the type does on the cash basis.
enum Treatment { Posted, Negated, LeftOut, Handler };

TEST_F(CashReadTest, EveryJournalTypeForUSAAndOtherFiles) {
  struct Case {
    const char* type;
    Treatment other, usa;
  } cases[] = {
      {"MS", Handler, Handler},  {"MR", Handler, Handler},  {"WP", Handler, Handler},
      {"CP", Handler, Handler},  {"SP", Handler, Posted},   {"VP", Posted, Handler},
      {"IA", LeftOut, LeftOut},  {"IT", LeftOut, LeftOut},  {"PL", LeftOut, LeftOut},
      {"PS", LeftOut, LeftOut},  {"PO", LeftOut, LeftOut},  {"SC", LeftOut, LeftOut},
      {"SD", LeftOut, LeftOut},  {"SI", LeftOut, LeftOut},  {"CDC", LeftOut, LeftOut},
      {"SDC", LeftOut, LeftOut}, {"VDC", Posted, LeftOut},  {"CFC", Negated, Negated},
      {"CRC", Negated, Negated}, {"CDP", Posted, Posted},   {"DRD", Posted, Posted},
      {"SFC", Posted, Posted},   {"SDP", Posted, Posted},   {"VFC", Posted, Posted},
      {"VDP", Posted, Posted},   {"ZZZ", Posted, Posted},   {"cp", Posted, Posted},
      {"GJ", Handler, Handler},
  };
  for (const char* country : {"AU", "USA"}) {
    samples::CompanySetup setup;
    setup.country = country;
    // Each type moves 100.00 from its own income account to its own expense account.
    Open(setup, [&](samples::CompanyFile& f) {
      Chart c(f);
      int n = 0;
      for (const auto& k : cases) {
        ++n;
        const int in = f.AddAccount(Acct("4-5" + std::to_string(100 + n), std::string("In ") + k.type, 'D', 2, "I"));
        const int out = f.AddAccount(Acct("6-5" + std::to_string(100 + n), std::string("Out ") + k.type, 'D', 2, "EXP"));
        f.AddJournalSet(k.type, 900000 + n, "2014-03-10", {{in, M("-100")}, {out, M("100")}});
      }
      (void)c;
    }, std::string(country) + ".MYO");
    for (int16_t includeGJ : {kTrue, kFalse}) {
      const EngineCaller run = ReadMarch(includeGJ);
      int n = 0;
      for (const auto& k : cases) {
        ++n;
        SCOPED_TRACE(std::string(country) + " " + k.type + (includeGJ ? "" : " without journals"));
        const Treatment t = std::string(country) == "USA" ? k.usa : k.other;
        Money expected;
        if (t == Posted) expected = M("100");
        if (t == Negated) expected = M("-100");
        EXPECT_EQ(run.YTD("4-5" + std::to_string(100 + n)), expected);  // credit to income: +100
        EXPECT_EQ(run.YTD("6-5" + std::to_string(100 + n)), expected);
        EXPECT_EQ(run.Monthly("6-5" + std::to_string(100 + n), 3), expected);
      }
      EXPECT_TRUE(ui_->shown.empty());
    }
  }
}

TEST_F(CashReadTest, TwoLinesOfOneSetOnOneAccountAreBothPosted) {
  Open(samples::CompanySetup{}, [](samples::CompanyFile& f) {
    Chart c(f);
    f.AddJournalSet("CDP", 7, "2014-03-10", {{c.rent, M("30")}, {c.rent, M("70")}, {c.bank, M("-100")}});
  });
  const EngineCaller run = ReadMarch();
  EXPECT_EQ(run.YTD("6-2000"), M("100"));
  EXPECT_EQ(Engine.KeyCount, 2);
}

TEST_F(CashReadTest, EveryReadStartsWithAnEmptyKeyList) {
  Open(samples::CompanySetup{}, [](samples::CompanyFile& f) {
    Chart c(f);
    f.AddJournalSet("CDP", 7, "2014-03-10", {{c.rent, M("30")}, {c.bank, M("-30")}});
  });
  EngineCaller run = ReadMarch();
  run.Read();  // the same arrays and key list again: the figures are added again
  EXPECT_EQ(run.YTD("6-2000"), M("60"));
  EXPECT_EQ(Engine.KeyCount, 1);
}

TEST_F(CashReadTest, DateKeysFollowTheUsersDateOrderInAUSAFile) {
  samples::CompanySetup setup;
  setup.country = "USA";
  Open(setup, [](samples::CompanyFile& f) {
    Chart c(f);
    // Read month first, "01/03/2014" would be 3 January, before the period.
    f.AddJournalSet("CDP", 7, "2014-03-01", {{c.rent, M("30")}, {c.bank, M("-30")}});
  });
  ASSERT_EQ(G.DateFormat, "DMY");
  const EngineCaller run = ReadMarch();
  EXPECT_EQ(run.YTD("6-2000"), M("30"));
  EXPECT_EQ(Engine.JrnYMD, 20140301);
}

TEST_F(CashReadTest, ExchangeRatesOfTheSet) {
  struct Case {
    double rate, expected;
  } cases[] = {{0, 1.0}, {-2, 1.0}, {1.5, 1.5}, {1, 1.0}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.rate);
    Open(samples::CompanySetup{}, [&](samples::CompanyFile& f) {
      Chart c(f);
      f.AddJournalSet("CDP", 7, "2014-03-10", {{c.rent, M("30")}, {c.bank, M("-30")}}, 0, k.rate);
    }, "Rate" + std::to_string(static_cast<int>(k.rate * 10 + 100)) + ".MYO");
    const EngineCaller run = ReadMarch();
    EXPECT_EQ(Engine.ExchRate, k.expected);
    EXPECT_EQ(run.YTD("6-2000"), M("30"));
  }
}

TEST_F(CashReadTest, BadRowsShowTheErrorBoxAndPostNothingTwice) {
  // Set 1 ("CDP") posts 10.00 to rent, set 2 (an unknown type, posted as it stands) 1.00
  // to wages; the bad row comes last and must not reuse the values of the line before.
  struct Case {
    const char* name;
    const char* sql;  // RENT stands for rent's AccountID
    int boxes;
    const char* box;
    const char *rent, *wages;
    const char* accrualRent = nullptr;  // when the accrual basis, which reads no sets, differs
  } cases[] = {
      {"null account", "INSERT INTO JournalRecords VALUES (100, 2, NULL, '2014-03-13', 5, 0, 'N')", 1,
       "An error has occurred - Invalid use of Null\r\nType = GJX", "10", "1"},
      {"null amount", "INSERT INTO JournalRecords VALUES (100, 2, RENT, '2014-03-13', NULL, 0, 'N')", 1,
       "An error has occurred - Invalid use of Null\r\nType = GJX", "10", "1"},
      {"null date", "INSERT INTO JournalRecords VALUES (100, 2, RENT, NULL, 5, 0, 'N')", 0, "", "10", "1"},
      {"null set", "INSERT INTO JournalRecords VALUES (100, NULL, RENT, '2014-03-13', 5, 0, 'N')", 1,
       "An error has occurred - Invalid use of Null\r\nType = GJX", "10", "1", "15"},
      {"missing set", "INSERT INTO JournalRecords VALUES (100, 999, RENT, '2014-03-13', 5, 0, 'N')", 0, "", "10",
       "1", "15"},
      {"unknown account", "INSERT INTO JournalRecords VALUES (100, 2, 4242, '2014-03-13', 5, 0, 'N')", 0, "", "10",
       "1"},
      {"null type", "UPDATE JournalSets SET JournalTypeID = NULL WHERE SetID = 2", 2,
       "An error has occurred - Invalid use of Null\r\nType = CDP", "10", "0"},
      {"null source", "UPDATE JournalSets SET SourceID = NULL WHERE SetID = 2", 2,
       "An error has occurred - Invalid use of Null\r\nType = GJX", "10", "0"},
      {"null rate", "UPDATE JournalSets SET TransactionExchangeRate = NULL WHERE SetID = 2", 2,
       "An error has occurred - Invalid use of Null\r\nType = GJX", "10", "1"},
  };
  int n = 0;
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    Open(samples::CompanySetup{}, [&](samples::CompanyFile& f) {
      Chart c(f);
      ASSERT_EQ(f.AddJournalSet("CDP", 7, "2014-03-10", {{c.rent, M("10")}, {c.bank, M("-10")}}), 1);
      ASSERT_EQ(f.AddJournalSet("GJX", 8, "2014-03-12", {{c.wages, M("1")}, {c.bank, M("-1")}}), 2);
      std::string sql = k.sql;
      if (auto at = sql.find("RENT"); at != std::string::npos) sql.replace(at, 4, std::to_string(c.rent));
      f.Exec(sql);
    }, "Bad" + std::to_string(++n) + ".MYO");
    for (int16_t cash : {kTrue, kFalse}) {
      SCOPED_TRACE(cash ? "cash" : "accrual");
      ui_->Clear();
      EngineCaller run;
      run.CashBasis = cash;
      run.LoadAccounts();
      EngineCaller::SetPeriod("01/03/2014", "31/03/2014", "01/07/2013", "30/06/2014");
      run.Read();
      EXPECT_EQ(run.YTD("6-2000"), M(!cash && k.accrualRent ? k.accrualRent : k.rent));
      if (!cash) continue;  // the set's columns are read on the cash basis only
      ASSERT_EQ(static_cast<int>(ui_->shown.size()), k.boxes);
      if (k.boxes) {
        EXPECT_EQ(ui_->shown[0].text, k.box);
        EXPECT_EQ(ui_->shown[0].title, "Error Message");
      }
      EXPECT_EQ(run.YTD("6-3000"), M(k.wages));
    }
  }
}

TEST_F(CashReadTest, ItemAccounts) {
  int item = 0, sales = 0, cogs = 0, stock = 0;
  Open(samples::CompanySetup{}, [&](samples::CompanyFile& f) {
    Chart c(f);
    sales = c.sales;
    cogs = c.cogs;
    stock = c.receivables;
    item = f.AddItem("WIDGET", "Widget", true, c.sales, c.cogs, c.receivables);
  });
  Engine.LineItemID = item;
  int32_t expense = -1, income = -1, inventory = -1;
  int16_t found = kFalse;
  GetItemAccounts(Engine.rsItems, expense, income, inventory, found);
  EXPECT_EQ(Conn.SQLStr,
            "SELECT ItemID, ItemNumber, ItemIsBought, ItemIsSold, ItemIsInventoried, IncomeAccountID, "
            "ExpenseAccountID, InventoryAccountID FROM MYOB.Items WHERE ItemID = " + std::to_string(item) + " ;");
  EXPECT_EQ(found, kTrue);
  EXPECT_EQ(expense, cogs);
  EXPECT_EQ(income, sales);
  EXPECT_EQ(inventory, stock);
  EXPECT_NE(Engine.rsItems, nullptr);

  // An item without a row: no accounts, not found, so its line posts nothing.
  Engine.LineItemID = item + 100;
  GetItemAccounts(Engine.rsItems, expense, income, inventory, found);
  EXPECT_EQ(found, kFalse);
  EXPECT_EQ(expense, 0);
  EXPECT_EQ(income, 0);
  EXPECT_EQ(inventory, 0);
  EXPECT_TRUE(ui_->shown.empty());
}

}  // namespace
}  // namespace qvx::test
