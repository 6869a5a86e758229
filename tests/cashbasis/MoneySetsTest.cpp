// Money spent, money received, general journals and pay cheques on the cash basis:
// every document line whole at the document's rate, the class test, the query texts.
#include <string>
#include <vector>

#include "CashDocFixture.h"
#include "cashbasis/MoneySets.h"

namespace qvx::test {
namespace {

using samples::CompanyFile;

class MoneySetsTest : public CashDocTest {};

// One document of each kind with a line of 100.00 on an expense account and one of 40.00
// on an income account, at each rate: what the two accounts show.
TEST_F(MoneySetsTest, EveryKindAtEveryRate) {
  enum Kind { Spent, Received, Journal, Cheque };
  struct Case {
    const char* name;
    Kind kind;
    double rate;
    const char* expense;
    const char* income;
  } cases[] = {
      {"spent", Spent, 1, "100", "-40"},          {"spent 1.5", Spent, 1.5, "150", "-60"},
      {"spent 0", Spent, 0, "100", "-40"},        {"received", Received, 1, "-100", "40"},
      {"received 1.5", Received, 1.5, "-150", "60"}, {"received 0", Received, 0, "-100", "40"},
      {"journal", Journal, 1, "100", "-40"},      {"journal 1.5", Journal, 1.5, "150", "-60"},
      {"cheque", Cheque, 1, "100", "-40"},
  };
  int n = 0;
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    Open(samples::CompanySetup{}, [&](CompanyFile& f) {
      Books b(f);
      const auto lines = LinesOf({b.out[0], b.in[0]}, {"100", "40"});
      if (k.kind == Spent || k.kind == Received) {
        samples::Banking d;
        d.date = "2014-03-10";
        d.account = b.bank;
        d.lines = lines;
        d.rate = k.rate;
        if (k.kind == Spent) f.AddMoneySpent(d);
        else f.AddMoneyReceived(d);
      } else if (k.kind == Journal) {
        samples::Journal j;
        j.date = "2014-03-10";
        j.lines = lines;
        j.lines.push_back(LinesOf({b.bank}, {"-140"}).front());
        j.rate = k.rate;
        f.AddGeneralJournal(j);
      } else {
        samples::PayCheque c;
        c.date = "2014-03-10";
        c.account = b.bank;
        c.lines = lines;
        f.AddPayCheque(c);
      }
    }, "Kind" + std::to_string(++n) + ".MYO");
    const EngineCaller run = ReadMarch();
    EXPECT_EQ(run.YTD(Books::Out(1)), Cash(k.expense));
    EXPECT_EQ(run.YTD(Books::In(1)), Cash(k.income));
    EXPECT_EQ(run.Monthly(Books::Out(1), 3), Cash(k.expense));
    EXPECT_TRUE(Boxes().empty());
    if (k.kind == Journal) {
      const EngineCaller without = ReadMarch(true, kFalse);
      EXPECT_EQ(without.YTD(Books::Out(1)), Money());
    }
  }
}

// The set of a document has a journal line per account; the document's lines count
// once all the same, and a missing document counts nothing.
TEST_F(MoneySetsTest, EachLineOnceAndMissingDocuments) {
  Open(samples::CompanySetup{}, [](CompanyFile& f) {
    Books b(f);
    samples::Banking d;
    d.date = "2014-03-10";
    d.account = b.bank;
    d.lines = LinesOf({b.out[0], b.out[1], b.out[0]}, {"10", "20", "5"});
    f.AddMoneySpent(d);
    samples::Banking gone = d;
    gone.lines = LinesOf({b.out[2]}, {"70"});
    const int id = f.AddMoneySpent(gone);
    f.Exec("DELETE FROM MoneySpent WHERE MoneySpentID = " + std::to_string(id));
  });
  const EngineCaller run = ReadMarch();
  EXPECT_EQ(run.YTD(Books::Out(1)), Cash("15"));
  EXPECT_EQ(run.YTD(Books::Out(2)), Cash("20"));
  EXPECT_EQ(run.YTD(Books::Out(3)), Money());
}

// Lines of classes below the lowest class in the caller's tables are left out, even
// when the tables begin with an expense account; lines of accounts not in the tables too.
TEST_F(MoneySetsTest, TheClassTestUsesTheLowestClassOfTheTables) {
  Open(samples::CompanySetup{}, [](CompanyFile& f) {
    const int rent = f.AddAccount(Acct("6-2000", "Rent", 'D', 2, "EXP"));
    const int sales = f.AddAccount(Acct("4-1000", "Sales", 'D', 2, "I"));
    const int cogs = f.AddAccount(Acct("5-1000", "Purchases", 'D', 2, "COS"));
    const int bank = f.AddAccount(Acct("1-1110", "Cheque Account", 'D', 3, "B"));
    const int loan = f.AddAccount(Acct("2-2000", "Loan", 'D', 3, "LTL"));
    samples::Banking d;
    d.date = "2014-03-10";
    d.account = bank;
    d.lines = LinesOf({rent, sales, cogs, loan}, {"10", "-3", "4", "100"});
    f.AddMoneySpent(d);
  });
  const EngineCaller run = ReadMarch();
  EXPECT_EQ(run.YTD("6-2000"), Cash("10"));
  EXPECT_EQ(run.YTD("4-1000"), Cash("3"));
  EXPECT_EQ(run.YTD("5-1000"), Cash("4"));
  // With the balance sheet in the tables its accounts count as well.
  const EngineCaller all = ReadMarch(true, kTrue, true);
  EXPECT_EQ(all.YTD("2-2000"), Cash("-100"));
  EXPECT_EQ(all.YTD("6-2000"), Cash("10"));
}

TEST_F(MoneySetsTest, LowestAccountClass) {
  struct Case {
    std::vector<std::string> numbers;
    const char* expected;
  } cases[] = {
      {{"", "6-1000", "4-1000", "9-1000"}, "4"},
      {{"", "", "5-0000", ""}, "5"},
      {{"1-1000", "8-1000"}, "8"},  // entry 0 is never an account
      {{""}, ""},
      {{}, ""},
  };
  for (const auto& k : cases) EXPECT_EQ(LowestAccountClass(k.numbers), k.expected);
}

TEST_F(MoneySetsTest, UnreadableValuesSkipTheLine) {
  Open(samples::CompanySetup{}, [](CompanyFile& f) {
    Books b(f);
    samples::Banking d;
    d.date = "2014-03-10";
    d.account = b.bank;
    d.lines = LinesOf({b.out[0], b.out[1], b.out[2]}, {"10", "20", "30"});
    const int id = f.AddMoneySpent(d);
    f.Exec("UPDATE MoneySpentLines SET TaxExclusiveAmount = NULL WHERE AccountID = " + std::to_string(b.out[1]));
    f.Exec("UPDATE MoneySpentLines SET AccountID = NULL WHERE AccountID = " + std::to_string(b.out[2]));
    f.Exec("UPDATE MoneySpent SET TransactionExchangeRate = NULL WHERE MoneySpentID = " + std::to_string(id));
  });
  const EngineCaller run = ReadMarch();
  EXPECT_EQ(run.YTD(Books::Out(1)), Cash("10"));
  EXPECT_EQ(run.YTD(Books::Out(2)), Money());
  EXPECT_EQ(run.YTD(Books::Out(3)), Money());
  // Four journal lines (three accounts and the bank), but the document is read once:
  // one box for each unreadable value.
  const std::vector<std::string> boxes = Boxes();
  EXPECT_EQ(boxes.size(), 3u);
  for (const auto& text : boxes) EXPECT_EQ(text, "An error has occurred - Invalid use of Null\r\nType = MS");
}

TEST_F(MoneySetsTest, QueryTexts) {
  enum Kind { Spent, Received, Journal, Cheque };
  struct Case {
    const char* name;
    Kind kind;
    const char* country;
    bool newer;
    const char* sql;
    const char* expected;
  } cases[] = {
      {"spent", Spent, "AU", false, "DELETE FROM MoneySpent",
       "SELECT MoneySpentID, IssuingAccountID, CardRecordID, TransactionDate, TotalSpentAmount, "
       "TransactionExchangeRate, Memo,   CostCentreID FROM MYOB.MoneySpent WHERE MoneySpentID = ID ;"},
      {"spent lines", Spent, "AU", false, "",
       "SELECT MoneySpentLineID, MoneySpentID, AccountID, TaxExclusiveAmount, TaxInclusiveAmount, JobID, "
       "TaxCodeID,  LineMemo FROM MYOB.MoneySpentLines WHERE MoneySpentID = ID ;"},
      {"received USA", Received, "USA", false, "DELETE FROM MoneyReceived",
       "SELECT MoneyReceivedID, RecipientAccountID, CardRecordID, TransactionDate, TotalAmountReceived, "
       "TransactionExchangeRate, Memo,  CategoryID FROM MYOB.MoneyReceived WHERE MoneyReceivedID = ID ;"},
      {"received lines", Received, "AU", false, "",
       "SELECT MoneyReceivedLineID, MoneyReceivedID, AccountID, TaxExclusiveAmount, TaxInclusiveAmount, JobID, "
       "TaxCodeID,  LineMemo FROM MYOB.MoneyReceivedLines WHERE MoneyReceivedID = ID ;"},
      {"journal SG", Journal, "SG", false, "DELETE FROM GeneralJournals",
       "SELECT GeneralJournalID,  GeneralJournalNumber, Memo, TransactionDate, TransactionExchangeRate, "
       "GSTReportingMethodID, CategoryID FROM MYOB.GeneralJournals WHERE GeneralJournalID = ID ;"},
      {"journal lines", Journal, "AU", false, "",
       "SELECT GeneralJournalLineID, GeneralJournalID, LineNumber, AccountID, TaxExclusiveAmount, "
       "TaxInclusiveAmount, LineMemo, JobID, TaxCodeID FROM MYOB.GeneralJournalLines WHERE GeneralJournalID = ID ;"},
      {"journal lines USA", Journal, "USA", false, "",
       "SELECT GeneralJournalLineID, GeneralJournalID, LineNumber, AccountID, TaxExclusiveAmount, "
       "TaxInclusiveAmount, LineMemo, JobID FROM MYOB.GeneralJournalLines WHERE GeneralJournalID = ID ;"},
      {"journal lines newer", Journal, "AU", true, "",
       "SELECT GeneralJournalLineID, GeneralJournalID, LineNumber, AccountID, TaxExclusiveAmount, "
       "TaxAmount, LineMemo, JobID, TaxCodeID FROM MYOB.GeneralJournalLines WHERE GeneralJournalID = ID ;"},
      {"cheque newer", Cheque, "AU", true, "DELETE FROM WritePayCheque",
       "SELECT WritePayChequeID, ChequeNumber, TransactionDate, CardRecordID, NetPay, Memo, "
       "TransactionExchangeRate,   CategoryID FROM MYOB.WritePayCheque WHERE WritePayChequeID = ID ;"},
      {"cheque lines", Cheque, "AU", false, "",
       "SELECT WritePayChequeLineID, WritePayChequeID, AccountID, Amount, JobID  "
       "FROM MYOB.WritePayChequeLines WHERE WritePayChequeID = ID ;"},
  };
  int n = 0;
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    samples::CompanySetup setup;
    setup.country = k.country;
    setup.ar2011 = k.newer;
    int id = 0;
    Open(setup, [&](CompanyFile& f) {
      Books b(f);
      const auto lines = LinesOf({b.out[0]}, {"10"});
      samples::Banking d;
      d.date = "2014-03-10";
      d.account = b.bank;
      d.lines = lines;
      if (k.kind == Spent) id = f.AddMoneySpent(d);
      if (k.kind == Received) id = f.AddMoneyReceived(d);
      if (k.kind == Journal) {
        samples::Journal j;
        j.date = "2014-03-10";
        j.lines = LinesOf({b.out[0], b.bank}, {"10", "-10"});
        id = f.AddGeneralJournal(j);
      }
      if (k.kind == Cheque) {
        samples::PayCheque c;
        c.date = "2014-03-10";
        c.account = b.bank;
        c.lines = lines;
        id = f.AddPayCheque(c);
      }
      if (*k.sql) f.Exec(k.sql);
      // One journal line per set: the handler's last query is the run's last.
      f.Exec("DELETE FROM JournalRecords WHERE JournalRecordID NOT IN "
             "(SELECT MIN(JournalRecordID) FROM JournalRecords GROUP BY SetID)");
    }, std::string("Query") + std::to_string(++n) + (k.newer ? ".MYOX" : ".MYO"));
    ReadMarch();
    std::string expected = k.expected;
    const auto at = expected.find(" ID ");
    expected.replace(at + 1, 2, std::to_string(id));
    EXPECT_EQ(Conn.SQLStr, expected);
    EXPECT_TRUE(Boxes().empty());
  }
}

}  // namespace
}  // namespace qvx::test
