// Invariants of the cash basis, checked against figures computed independently with
// SQL on the company file itself:
// - on the sample companies, a fully paid document contributes exactly its lines, item
//   costs and freight (payments at rate 1, every other set removed from the journal);
// - service, professional and miscellaneous documents issued and paid within one period
//   at rate 1, with money, journal and cheque sets beside them, give cash figures equal
//   to the accrual figures for every income and expense account.
#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "CashDocFixture.h"
#include "samples/SamplePaths.h"

namespace qvx::test {
namespace {

using samples::CompanyFile;

// A plain SQLite handle on a company file, for the test's own reading and trimming.
class RawFile {
 public:
  explicit RawFile(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) throw std::runtime_error("cannot open " + path);
  }
  ~RawFile() { sqlite3_close(db_); }
  RawFile(const RawFile&) = delete;
  RawFile& operator=(const RawFile&) = delete;

  void Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string text = error ? error : "?";
      sqlite3_free(error);
      throw std::runtime_error(text + ": " + sql);
    }
  }
  // Rows of (integer, amount as text).
  std::vector<std::pair<int, Money>> Pairs(const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
      throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + ": " + sql);
    std::vector<std::pair<int, Money>> rows;
    while (sqlite3_step(st) == SQLITE_ROW) {
      const unsigned char* text = sqlite3_column_text(st, 1);
      rows.emplace_back(sqlite3_column_int(st, 0), text ? Money::Parse(reinterpret_cast<const char*>(text)) : Money());
    }
    sqlite3_finalize(st);
    return rows;
  }

 private:
  sqlite3* db_ = nullptr;
};

class CashInvariantsTest : public CashDocTest {
 protected:
  void Connect(const std::string& path) {
    EngineCaller::Connect(path);
    ASSERT_TRUE(Conn.ODBCConnected) << "connection failed";
    ui_->Clear();
  }

  // Amounts as handed to the posting routine, per account ID, turned into the figures a
  // report shows: negated for the credit-normal classes, kept for the caller's accounts.
  static std::map<std::string, Money> Figures(RawFile& raw, const std::string& sql) {
    std::map<int, std::string> numbers;
    for (int32_t i = 1; i <= G.NbrAccounts; ++i) numbers[G.AcctIDs.at(i)] = G.AcctNumbers.at(i);
    std::map<std::string, Money> figures;
    for (const auto& [account, amount] : raw.Pairs(sql)) {
      auto it = numbers.find(account);
      if (it == numbers.end()) continue;
      const char cls = it->second.at(0);
      const bool credit = cls == '2' || cls == '3' || cls == '4' || cls == '8';
      figures[it->second] += credit ? -amount : amount;
    }
    return figures;
  }

  static void ExpectFigures(const EngineCaller& run, const std::map<std::string, Money>& expected) {
    int nonZero = 0;
    for (int32_t i = 1; i <= G.NbrAccounts; ++i) {
      const std::string& number = G.AcctNumbers.at(i);
      auto it = expected.find(number);
      const Money want = it == expected.end() ? Money() : it->second;
      if (!want.IsZero()) ++nonZero;
      EXPECT_EQ(run.YTD(number).ToString(), want.ToString()) << number;
    }
    EXPECT_GT(nonZero, 3);
  }
};

TEST_F(CashInvariantsTest, FullyPaidDocumentsOfTheSampleCompanies) {
  struct Case {
    const char* file;
    bool usa;
    bool newer;
  } cases[] = {{samples::kAustralianFile, false, false},
               {samples::kUsaFile, true, false},
               {samples::kAr2011File, false, true}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.file);
    const std::string path = Path(k.file);
    std::filesystem::copy_file(samples::SamplePath(k.file), path, std::filesystem::copy_options::overwrite_existing);
    const std::string who = k.usa ? "Vendor" : "Supplier";
    const std::string payType = k.usa ? "VP" : "SP";
    const std::string sales = k.newer ? "SalesInvoices" : "Sales";
    const std::string saleLines = k.newer ? "SaleInvoiceLines" : "SaleLines";
    const std::string purchaseLines = k.newer ? "PurchaseInvoiceLines" : "PurchaseLines";
    RawFile raw(path);
    // Only payments at rate 1 stay in the journal, and only their lines that pay a
    // document in full.
    raw.Exec("DELETE FROM JournalRecords WHERE SetID IN (SELECT SetID FROM JournalSets WHERE JournalTypeID NOT IN "
             "('CP', '" + payType + "') OR TransactionExchangeRate NOT IN (0, 1))");
    raw.Exec("DELETE FROM CustomerPaymentLines WHERE AmountApplied <> (SELECT s.TotalLines + s.TaxExclusiveFreight "
             "+ s.TotalTax FROM " + sales + " s WHERE s.SaleID = CustomerPaymentLines.SaleID)");
    raw.Exec("DELETE FROM " + who + "PaymentLines WHERE AmountApplied <> (SELECT p.TotalLines + "
             "p.TaxExclusiveFreight + p.TotalTax FROM Purchases p WHERE p.PurchaseID = " + who +
             "PaymentLines.PurchaseID)");
    const std::string paidSales = "(SELECT p.SaleID FROM CustomerPaymentLines p JOIN JournalSets j ON j.SourceID = "
                                  "p.CustomerPaymentID AND j.JournalTypeID = 'CP' AND "
                                  "j.TransactionExchangeRate IN (0, 1))";
    const std::string paidPurchases = "(SELECT p.PurchaseID FROM " + who + "PaymentLines p JOIN JournalSets j ON "
                                      "j.SourceID = p." + who + "PaymentID AND j.JournalTypeID = '" + payType +
                                      "' AND j.TransactionExchangeRate IN (0, 1))";
    const std::string expectedSql =
        "SELECT AccountID, -TaxExclusiveAmount FROM Service" + saleLines + " WHERE SaleID IN " + paidSales +
        " UNION ALL SELECT AccountID, -TaxExclusiveAmount FROM Professional" + saleLines + " WHERE SaleID IN " +
        paidSales + " UNION ALL SELECT AccountID, -TaxExclusiveAmount FROM Misc" + saleLines + " WHERE SaleID IN " +
        paidSales + " UNION ALL SELECT i.IncomeAccountID, -l.TaxExclusiveTotal FROM Item" + saleLines +
        " l JOIN Items i ON i.ItemID = l.ItemID WHERE l.SaleID IN " + paidSales +
        " UNION ALL SELECT i.ExpenseAccountID, l.CostofGoodsSoldAmount FROM Item" + saleLines +
        " l JOIN Items i ON i.ItemID = l.ItemID WHERE l.SaleID IN " + paidSales +
        " UNION ALL SELECT a.IncomeAccountID, -l.TaxExclusiveAmount FROM TimeBilling" + saleLines +
        " l JOIN Activities a ON a.ActivityID = l.ActivityID WHERE l.SaleID IN " + paidSales +
        " UNION ALL SELECT (SELECT ReceivablesFreightID FROM LinkedAccounts), -TaxExclusiveFreight FROM " + sales +
        " WHERE SaleID IN " + paidSales +
        " UNION ALL SELECT AccountID, TaxExclusiveAmount FROM Service" + purchaseLines + " WHERE PurchaseID IN " +
        paidPurchases + " UNION ALL SELECT AccountID, TaxExclusiveAmount FROM Professional" + purchaseLines +
        " WHERE PurchaseID IN " + paidPurchases + " UNION ALL SELECT AccountID, TaxExclusiveAmount FROM Misc" +
        purchaseLines + " WHERE PurchaseID IN " + paidPurchases +
        " UNION ALL SELECT i.ExpenseAccountID, l.TaxExclusiveTotal FROM Item" + purchaseLines +
        " l JOIN Items i ON i.ItemID = l.ItemID WHERE l.PurchaseID IN " + paidPurchases +
        " UNION ALL SELECT (SELECT PayablesFreightID FROM LinkedAccounts), TaxExclusiveFreight FROM Purchases "
        "WHERE PurchaseID IN " + paidPurchases;

    Connect(path);
    ASSERT_EQ(Conn.IsAR2011Driver, k.newer);
    EngineCaller run;
    run.CashBasis = kTrue;
    run.LoadAccounts();
    // Wide enough for every date key, including a "USA" file's keys read day first.
    EngineCaller::SetPeriod("01/01/2020", "31/12/2030", "01/01/2020", "31/12/2030");
    run.Read();
    ExpectFigures(run, Figures(raw, expectedSql));
    EXPECT_TRUE(Boxes().empty());
  }
}

TEST_F(CashInvariantsTest, DocumentsIssuedAndPaidInOnePeriodGiveTheAccrualFigures) {
  Open(samples::CompanySetup{}, [](CompanyFile& f) {
    Books b(f);
    uint32_t seed = 12345;
    auto next = [&](uint32_t n) {
      seed = seed * 1103515245u + 12345u;
      return (seed >> 8) % n;
    };
    auto amount = [&] { return Money::FromRaw(static_cast<int64_t>(next(500000) + 1) * 100); };
    auto lines = [&](const std::vector<int>& accounts) {
      std::vector<samples::DocLine> out(1 + next(5));
      for (auto& l : out) {
        l.account = accounts.at(next(static_cast<uint32_t>(accounts.size())));
        l.amount = amount();
        if (next(2)) {
          l.tax = Money::FromRaw(l.amount.Raw() / 1000 * 100);
          l.taxCode = b.gst;
        }
      }
      return out;
    };
    const char types[] = {'S', 'P', 'M'};
    for (int payment = 0; payment < 12; ++payment) {
      for (bool sale : {true, false}) {
        samples::Payment pay;
        pay.date = "2014-03-" + std::to_string(15 + payment);
        pay.account = b.bank;
        for (uint32_t d = 0, n = 1 + next(3); d < n; ++d) {
          samples::Document doc;
          doc.date = "2014-03-0" + std::to_string(1 + next(9));
          doc.type = types[next(3)];
          doc.lines = lines(sale ? b.in : b.out);
          if (next(2)) doc.freight = amount();
          Money gross = doc.freight;
          for (const auto& l : doc.lines) gross += l.amount + l.tax;
          pay.applied.emplace_back(sale ? f.AddSale(doc) : f.AddPurchase(doc), gross);
        }
        if (sale) f.AddCustomerPayment(pay);
        else f.AddSupplierPayment(pay);
      }
    }
    samples::Banking spent;
    spent.date = "2014-03-02";
    spent.account = b.bank;
    spent.lines = lines(b.out);
    f.AddMoneySpent(spent);
    samples::Banking received = spent;
    received.lines = lines(b.in);
    f.AddMoneyReceived(received);
    samples::Journal journal;
    journal.date = "2014-03-03";
    journal.lines = LinesOf({b.out[0], b.in[1], b.bank}, {"12.5", "-30", "17.5"});
    f.AddGeneralJournal(journal);
    samples::PayCheque cheque;
    cheque.date = "2014-03-04";
    cheque.account = b.bank;
    cheque.lines = LinesOf({b.wages}, {"900"});
    f.AddPayCheque(cheque);
  });
  const EngineCaller cash = ReadMarch(true);
  const EngineCaller accrual = ReadMarch(false);
  int nonZero = 0;
  for (int32_t i = 1; i <= G.NbrAccounts; ++i) {
    const std::string& number = G.AcctNumbers.at(i);
    EXPECT_EQ(cash.YTD(number).ToString(), accrual.YTD(number).ToString()) << number;
    EXPECT_EQ(cash.Month(number).ToString(), accrual.Month(number).ToString()) << number;
    if (!accrual.YTD(number).IsZero()) ++nonZero;
  }
  EXPECT_GT(nonZero, 10);
  EXPECT_TRUE(Boxes().empty());
}

}  // namespace
}  // namespace qvx::test
