// Supplier payments ("SP"; vendor payments "VP" on "USA" files) on the cash basis: the
// paid share of each purchase line, the cent step, freight, items, the exchange rate,
// the two passes of the newer product line and bad input.
#include <string>
#include <vector>

#include "CashDocFixture.h"

namespace qvx::test {
namespace {

using samples::CompanyFile;
using samples::Document;
using samples::Payment;

class PurchaseTest : public CashDocTest {};

TEST_F(PurchaseTest, PaidShareOfEachLineWithTheCentStep) {
  struct Case {
    const char* name;
    std::vector<const char*> lines;
    const char* tax;
    const char* freight;
    const char* applied;
    double rate;
    std::vector<const char*> expected;
    const char* freightExpected;
  } cases[] = {
      {"55.00 in full", {"30", "20"}, "5", "0", "55", 1, {"30", "20"}, "0"},
      {"36.67 of 110", {"33.33", "33.33", "33.34"}, "10", "0", "36.67", 1, {"11.11", "11.11", "11.12"}, "0"},
      {"10.00 plus 0.01", {"10", "0.01"}, "0", "0", "10.01", 1, {"10.01", "0"}, "0"},
      {"freight a quarter", {"60"}, "0", "20", "20", 1, {"15"}, "5"},
      // The amount applied is in the purchase's currency: it is not converted first.
      {"rate 0.8", {"100"}, "0", "10", "55", 0.8, {"40"}, "4"},
      {"rate 1.5 one third", {"10", "10", "10"}, "0", "0", "10", 1.5, {"5", "5", "5"}, "0"},
  };
  int n = 0;
  for (const char* country : {"AU", "USA"}) {
    for (const auto& k : cases) {
      SCOPED_TRACE(std::string(country) + " " + k.name);
      samples::CompanySetup setup;
      setup.country = country;
      Open(setup, [&](CompanyFile& f) {
        Books b(f);
        Document buy;
        buy.date = "2014-02-10";
        buy.lines = LinesOf(b.out, k.lines);
        buy.lines.front().tax = Cash(k.tax);
        if (std::string(k.tax) != "0") buy.lines.front().taxCode = b.gst;
        buy.freight = Cash(k.freight);
        buy.rate = k.rate;
        const int id = f.AddPurchase(buy);
        Payment pay;
        pay.date = "2014-03-05";
        pay.account = b.bank;
        pay.applied = {{id, Cash(k.applied)}};
        pay.rate = k.rate;
        f.AddSupplierPayment(pay);
      }, "Share" + std::to_string(++n) + ".MYO");
      const EngineCaller run = ReadMarch();
      for (size_t i = 0; i < k.expected.size(); ++i)
        EXPECT_EQ(run.YTD(Books::Out(static_cast<int>(i) + 1)), Cash(k.expected[i])) << "line " << i + 1;
      EXPECT_EQ(run.YTD("6-4000"), Cash(k.freightExpected));
      EXPECT_TRUE(Boxes().empty());
    }
  }
}

// "SP" sets of a "USA" file and "VP" sets of other files are posted as journal lines;
// the payments themselves are followed only through the country's own type.
TEST_F(PurchaseTest, VendorPaymentsOnlyOnUSAFiles) {
  for (const char* country : {"AU", "USA"}) {
    SCOPED_TRACE(country);
    samples::CompanySetup setup;
    setup.country = country;
    Open(setup, [&](CompanyFile& f) {
      Books b(f);
      Document buy;
      buy.date = "2014-02-10";
      buy.lines = LinesOf(b.out, {"40", "60"});
      const int id = f.AddPurchase(buy);
      Payment pay;
      pay.date = "2014-03-05";
      pay.account = b.bank;
      pay.applied = {{id, Cash("50")}};
      f.AddSupplierPayment(pay);
      // The other country's type with the same source: posted as it stands, to 6-1108.
      f.AddJournalSet(std::string(country) == "USA" ? "SP" : "VP", 1, "2014-03-06",
                      {{b.out[7], Cash("7")}, {b.bank, Cash("-7")}});
    }, std::string(country) + ".MYO");
    const EngineCaller run = ReadMarch();
    EXPECT_EQ(run.YTD(Books::Out(1)), Cash("20"));
    EXPECT_EQ(run.YTD(Books::Out(2)), Cash("30"));
    EXPECT_EQ(run.YTD(Books::Out(8)), Cash("7"));
  }
}

TEST_F(PurchaseTest, EveryLayoutAndTheFreight) {
  Open(samples::CompanySetup{}, [](CompanyFile& f) {
    Books b(f);
    // Inventoried or not, a bought item goes to its expense account.
    const int stocked = f.AddItem("W1", "Stocked", true, b.in[0], b.out[3], b.bank);
    const int plain = f.AddItem("W2", "Plain", false, b.in[1], b.out[4], 0);
    auto buy = [&](char type, std::vector<samples::DocLine> lines, const char* freight = "0") {
      Document d;
      d.date = "2014-01-10";
      d.type = type;
      d.lines = std::move(lines);
      d.freight = Cash(freight);
      return f.AddPurchase(d);
    };
    samples::DocLine a, c;
    a.item = stocked;
    a.amount = Cash("100");
    c.item = plain;
    c.amount = Cash("50");
    const int s = buy('S', LinesOf({b.out[0]}, {"10"}));
    const int p = buy('P', LinesOf({b.out[1]}, {"20"}));
    const int m = buy('M', LinesOf({b.out[2]}, {"40"}));
    const int i = buy('I', {a, c});
    const int x = buy('S', LinesOf({b.out[5]}, {"50"}), "10");
    f.Exec("UPDATE Purchases SET PurchaseTypeID = 'T' WHERE PurchaseID = " + std::to_string(x));
    Payment pay;
    pay.date = "2014-03-05";
    pay.account = b.bank;
    pay.applied = {{s, Cash("10")}, {p, Cash("10")}, {m, Cash("40")}, {i, Cash("150")}, {x, Cash("30")}};
    f.AddSupplierPayment(pay);
  });
  const EngineCaller run = ReadMarch();
  EXPECT_EQ(run.YTD(Books::Out(1)), Cash("10"));
  EXPECT_EQ(run.YTD(Books::Out(2)), Cash("10"));
  EXPECT_EQ(run.YTD(Books::Out(3)), Cash("40"));
  EXPECT_EQ(run.YTD(Books::Out(4)), Cash("100"));
  EXPECT_EQ(run.YTD(Books::Out(5)), Cash("50"));
  EXPECT_EQ(run.YTD(Books::Out(6)), Money());  // no time-billing purchases: only the freight
  EXPECT_EQ(run.YTD("6-4000"), Cash("5"));
  EXPECT_EQ(run.YTD(Books::In(1)), Money());
  EXPECT_TRUE(Boxes().empty());
}

// Each payment of a part-paid purchase posts its own freight share once, whatever was
// opened before it; a sale whose identifier equals the purchase's takes nothing away.
TEST_F(PurchaseTest, FreightOfEveryPaymentOnce) {
  Open(samples::CompanySetup{}, [](CompanyFile& f) {
    Books b(f);
    Document buy;
    buy.date = "2014-01-10";
    buy.lines = LinesOf({b.out[0]}, {"60"});
    buy.freight = Cash("20");
    const int purchase = f.AddPurchase(buy);
    Document sell;
    sell.date = "2014-01-10";
    sell.lines = LinesOf({b.in[0]}, {"60"});
    sell.freight = Cash("20");
    const int sale = f.AddSale(sell);
    ASSERT_EQ(sale, purchase);
    for (const char* date : {"2014-03-05", "2014-03-06"}) {
      Payment pay;
      pay.date = date;
      pay.account = b.bank;
      pay.applied = {{purchase, Cash("20")}};
      f.AddSupplierPayment(pay);
      Payment in = pay;
      in.applied = {{sale, Cash("40")}};
      f.AddCustomerPayment(in);
    }
  });
  const EngineCaller run = ReadMarch();
  EXPECT_EQ(run.YTD(Books::Out(1)), Cash("30"));
  EXPECT_EQ(run.YTD("6-4000"), Cash("10"));
  EXPECT_EQ(run.YTD(Books::In(1)), Cash("60"));
  EXPECT_EQ(run.YTD("4-3000"), Cash("20"));
  // The freight of the second run is not held back by the first.
  const EngineCaller again = ReadMarch();
  EXPECT_EQ(again.YTD("6-4000"), Cash("10"));
}

// A freight account outside the caller's tables, or none, posts nothing and disturbs no
// line; a line on the freight account itself keeps its own posting.
TEST_F(PurchaseTest, FreightAccountEdgeCases) {
  Open(samples::CompanySetup{}, [](CompanyFile& f) {
    Books b(f);
    Document buy;
    buy.date = "2014-01-10";
    buy.lines = LinesOf({b.freightOut, b.out[0]}, {"30", "10"});
    buy.freight = Cash("8");
    const int id = f.AddPurchase(buy);
    Payment pay;
    pay.date = "2014-03-05";
    pay.account = b.bank;
    pay.applied = {{id, Cash("48")}};
    f.AddSupplierPayment(pay);
  });
  const EngineCaller run = ReadMarch();
  EXPECT_EQ(run.YTD("6-4000"), Cash("38"));
  EXPECT_EQ(run.YTD(Books::Out(1)), Cash("10"));
}

// The newer product line reads every paid purchase twice: the invoice lines, then the
// order lines; the freight is posted once.
TEST_F(PurchaseTest, TwoPassesOnTheNewerDriver) {
  samples::CompanySetup setup;
  setup.ar2011 = true;
  Open(setup, [](CompanyFile& f) {
    Books b(f);
    Document buy;
    buy.date = "2014-02-10";
    buy.lines = LinesOf({b.out[0], b.out[1]}, {"10", "30"});
    buy.freight = Cash("4");
    const int id = f.AddPurchase(buy);
    Document ord;
    ord.date = "2014-02-10";
    ord.status = "OR";
    ord.lines = LinesOf({b.out[2]}, {"50"});
    const int order = f.AddPurchase(ord);
    // An order line filed under the invoice's identifier: read by the "ORD" pass.
    f.Exec("UPDATE ServicePurchaseOrderLines SET PurchaseID = " + std::to_string(id) + " WHERE PurchaseID = " +
           std::to_string(order));
    Payment pay;
    pay.date = "2014-03-05";
    pay.account = b.bank;
    pay.applied = {{id, Cash("22")}};
    f.AddSupplierPayment(pay);
  }, "Newer.MYOX");
  ASSERT_TRUE(Conn.IsAR2011Driver);
  const EngineCaller run = ReadMarch();
  EXPECT_EQ(run.YTD(Books::Out(1)), Cash("5"));
  EXPECT_EQ(run.YTD(Books::Out(2)), Cash("15"));
  EXPECT_EQ(run.YTD(Books::Out(3)), Cash("25"));
  EXPECT_EQ(run.YTD("6-4000"), Cash("2"));
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(PurchaseTest, BadInputIsSkipped) {
  struct Case {
    const char* name;
    std::string sql;  // a paid purchase of 10.00 (6-1101) and one of 20.00 (6-1102)
    const char* first;
    const char* second;
    int boxes;
  };
  const std::vector<Case> cases = {
      {"order", "UPDATE Purchases SET PurchaseStatusID = 'OR' WHERE PurchaseID = SECOND", "10", "0", 0},
      {"quote", "UPDATE Purchases SET PurchaseStatusID = 'Q' WHERE PurchaseID = SECOND", "10", "0", 0},
      {"missing purchase", "UPDATE SupplierPaymentLines SET PurchaseID = 999 WHERE PurchaseID = SECOND", "10", "0",
       0},
      {"null amount", "UPDATE ServicePurchaseLines SET TaxExclusiveAmount = NULL WHERE PurchaseID = SECOND", "10",
       "0", 1},
      {"null applied", "UPDATE SupplierPaymentLines SET AmountApplied = NULL WHERE PurchaseID = SECOND", "10", "0",
       1},
      {"missing payment", "DELETE FROM SupplierPayments", "0", "0", 0},
      {"missing item", "DELETE FROM Items", "10", "0", 0},
      {"negative gross", "UPDATE Purchases SET TotalLines = -20 WHERE PurchaseID = SECOND", "10", "-20", 0},
  };
  int n = 0;
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    Open(samples::CompanySetup{}, [&](CompanyFile& f) {
      Books b(f);
      const int item = f.AddItem("W", "Widget", false, b.in[0], b.out[1], 0);
      Document a, c;
      a.date = c.date = "2014-02-10";
      a.lines = LinesOf({b.out[0]}, {"10"});
      const int first = f.AddPurchase(a);
      c.type = std::string(k.name) == "missing item" ? 'I' : 'S';
      c.lines = LinesOf({b.out[1]}, {"20"});
      c.lines[0].item = c.type == 'I' ? item : 0;
      if (c.type == 'I') c.lines[0].account = 0;
      const int second = f.AddPurchase(c);
      Payment pay;
      pay.date = "2014-03-05";
      pay.account = b.bank;
      pay.applied = {{first, Cash("10")}, {second, Cash("20")}};
      f.AddSupplierPayment(pay);
      std::string sql = k.sql;
      for (auto at = sql.find("SECOND"); at != std::string::npos; at = sql.find("SECOND"))
        sql.replace(at, 6, std::to_string(second));
      f.Exec(sql);
    }, "Bad" + std::to_string(++n) + ".MYO");
    const EngineCaller run = ReadMarch();
    EXPECT_EQ(run.YTD(Books::Out(1)), Cash(k.first));
    EXPECT_EQ(run.YTD(Books::Out(2)), Cash(k.second));
    const std::vector<std::string> boxes = Boxes();
    EXPECT_EQ(static_cast<int>(boxes.size()), k.boxes);
    for (const auto& text : boxes) EXPECT_EQ(text, "An error has occurred - Invalid use of Null\r\nType = SP");
  }
}

TEST_F(PurchaseTest, QueryTexts) {
  struct Case {
    const char* name;
    const char* country;
    bool newer;
    char type;
    const char* sql;
    const char* expected;
  } cases[] = {
      {"payment", "AU", false, 'S', "DELETE FROM SupplierPayments",
       "SELECT SupplierPaymentID, TransactionDate, Memo, CardRecordID, TotalSupplierPayment "
       "FROM MYOB.SupplierPayments WHERE SupplierPaymentID = PAY ;"},
      {"vendor payment", "USA", false, 'S', "DELETE FROM VendorPayments",
       "SELECT VendorPaymentID, TransactionDate, Memo, CardRecordID, TotalVendorPayment "
       "FROM MYOB.VendorPayments WHERE VendorPaymentID = PAY ;"},
      {"payment lines", "AU", false, 'S', "DELETE FROM SupplierPaymentLines",
       "SELECT SupplierPaymentID, PurchaseID, AmountApplied FROM MYOB.SupplierPaymentLines "
       "WHERE SupplierPaymentID = PAY ;"},
      {"vendor payment lines", "USA", false, 'S', "DELETE FROM VendorPaymentLines",
       "SELECT VendorPaymentID, PurchaseID, AmountApplied FROM MYOB.VendorPaymentLines "
       "WHERE VendorPaymentID = PAY ;"},
      {"purchase", "AU", false, 'S', "UPDATE Purchases SET PurchaseTypeID = 'X'",
       "SELECT PurchaseID, CardRecordID, PurchaseNumber, PurchaseDate, PurchaseTypeID, PurchaseStatusID, "
       "TotalLines, TaxExclusiveFreight, TotalTax, FreightTaxCodeID, CostCentreID "
       "FROM MYOB.Purchases WHERE PurchaseID = ID AND PurchaseStatusID <> 'Q'  ;"},
      {"purchase SG", "SG", false, 'S', "UPDATE Purchases SET PurchaseTypeID = 'X'",
       "SELECT PurchaseID, CardRecordID, PurchaseNumber, PurchaseDate, PurchaseTypeID, PurchaseStatusID, "
       "TotalLines, TaxExclusiveFreight, TotalTax, FreightTaxCodeID, CategoryID "
       "FROM MYOB.Purchases WHERE PurchaseID = ID AND PurchaseStatusID <> 'Q'  ;"},
      {"purchase newer", "AU", true, 'S', "UPDATE Purchases SET PurchaseTypeID = 'X'",
       "SELECT PurchaseID, CardRecordID, PurchaseNumber, PurchaseDate, PurchaseTypeID, PurchaseStatusID, "
       "TotalLines, TaxExclusiveFreight, TotalTax, FreightTaxCodeID, CategoryID "
       "FROM MYOB.Purchases WHERE PurchaseID = ID ;"},
      {"service lines", "AU", false, 'S', "",
       "SELECT PurchaseLineID, PurchaseID, AccountID, JobID, TaxCodeID, Description, TaxExclusiveAmount, "
       "TaxInclusiveAmount FROM MYOB.ServicePurchaseLines WHERE PurchaseID = ID ;"},
      {"professional lines", "AU", false, 'P', "",
       "SELECT PurchaseLineID, PurchaseID, AccountID, JobID, TaxCodeID, Description, TaxExclusiveAmount, "
       "TaxInclusiveAmount FROM MYOB.ProfessionalPurchaseLines WHERE PurchaseID = ID ;"},
      {"misc order lines", "AU", true, 'M', "",
       "SELECT PurchaseLineID, PurchaseID, AccountID, JobID, TaxCodeID, Description, TaxExclusiveAmount, "
       "TaxAmount FROM MYOB.MiscPurchaseOrderLines WHERE PurchaseID = ID ;"},
      {"item lines", "AU", false, 'I', "DELETE FROM ItemPurchaseLines",
       "SELECT PurchaseLineID, PurchaseID, PurchaseLineID, ItemID, JobID, TaxCodeID, Description, "
       "TaxExclusiveTotal, TaxInclusiveTotal FROM MYOB.ItemPurchaseLines WHERE PurchaseID  = ID ;"},
      {"item order lines", "AU", true, 'I', "",
       "SELECT PurchaseLineID, PurchaseID, PurchaseLineID, ItemID, JobID, TaxCodeID, Description, "
       "TaxExclusiveTotal, TaxAmount FROM MYOB.ItemPurchaseOrderLines WHERE PurchaseID  = ID ;"},
  };
  int n = 0;
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    samples::CompanySetup setup;
    setup.country = k.country;
    setup.ar2011 = k.newer;
    int purchase = 0, payment = 0;
    Open(setup, [&](CompanyFile& f) {
      Books b(f);
      const int item = f.AddItem("W1", "Widget", false, b.in[0], b.out[0], 0);
      samples::DocLine l;
      l.account = k.type == 'I' ? 0 : b.out[2];
      l.item = k.type == 'I' ? item : 0;
      l.amount = Cash("10");
      Document d;
      d.date = "2014-02-10";
      d.type = k.type;
      d.lines = {l};
      purchase = f.AddPurchase(d);
      Payment pay;
      pay.date = "2014-03-05";
      pay.account = b.bank;
      pay.applied = {{purchase, Cash("10")}};
      payment = f.AddSupplierPayment(pay);
      if (*k.sql) f.Exec(k.sql);
      // One journal line per set: the handler's last query is the run's last.
      f.Exec("DELETE FROM JournalRecords WHERE JournalRecordID NOT IN "
             "(SELECT MIN(JournalRecordID) FROM JournalRecords GROUP BY SetID)");
    }, std::string("Query") + std::to_string(++n) + (k.newer ? ".MYOX" : ".MYO"));
    ReadMarch();
    std::string expected = k.expected;
    for (auto [word, value] : {std::pair<std::string, int>{"PAY", payment}, {"ID", purchase}})
      if (auto at = expected.find(" " + word + " "); at != std::string::npos)
        expected.replace(at + 1, word.size(), std::to_string(value));
    EXPECT_EQ(Conn.SQLStr, expected);
  }
}

}  // namespace
}  // namespace qvx::test
