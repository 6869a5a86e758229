// The sample company files are coherent books: checked with SQL through the driver.
#include "tests/support/OdbcTestEnv.h"
#include "tests/support/OtherProgram.h"
#include "tests/platform/printer/PdfText.h"

#include "samples/CompanyFile.h"
#include "samples/SampleBooks.h"
#include "samples/SamplePaths.h"
#include "driver/AccessKey.h"
#include "driver/FileProbe.h"
#include "platform/versioncheck/VersionCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <unistd.h>

namespace qvx {
namespace {

namespace fs = std::filesystem;
using test::TestConnection;

std::string GroupPath(const std::string& name) { return samples::SamplePath(samples::kGroupFolder) + "/" + name; }

// The test-case group folder, built once for this test program and removed at its end.
const std::string& CasesFolder() {
  struct Built {
    std::string folder =
        (fs::temp_directory_path() / ("qvx-group-cases-" + std::to_string(::getpid()))).string();
    Built() {
      fs::remove_all(folder);
      samples::BuildGroupFolder(folder, {.sample = samples::GroupSample::Cases});
    }
    ~Built() {
      std::error_code ec;
      fs::remove_all(folder, ec);
    }
  };
  static const Built built;
  return built.folder;
}

// Every company file of the samples that opens with the usual credentials.
std::vector<std::string> AllSampleFiles() {
  std::vector<std::string> files = {samples::SamplePath(samples::kAustralianFile), samples::SamplePath(samples::kUsaFile),
                                    samples::SamplePath(samples::kAr2011File)};
  for (const auto& f : samples::GroupFolderFiles())
    if (f.connects) files.push_back(GroupPath(f.name));
  return files;
}

std::unique_ptr<TestConnection> Open(const std::string& file) {
  auto c = std::make_unique<TestConnection>();
  bool dsn = file.find("MYOX") != std::string::npos;
  test::ConnectionParts parts{.file = file};
  auto r = c->Connect(dsn ? test::DsnConnectionString(parts) : test::DirectConnectionString(parts));
  EXPECT_TRUE(r.Ok()) << file << ": " << r.message;
  return c;
}

TEST(SampleBooks, EveryFileIsCoherent) {
  const std::vector<std::string> files = AllSampleFiles();
  ASSERT_EQ(files.size(), 8u);
  for (const auto& file : files) {
    SCOPED_TRACE(file);
    auto c = Open(file);
    EXPECT_NE(c->Scalar("SELECT COUNT(*) FROM MYOB.JournalRecords"), "0");
    // Every journal set sums to zero.
    EXPECT_EQ(c->Scalar("SELECT COUNT(*) FROM (SELECT SetID, SUM(TaxExclusiveAmount) AS s FROM MYOB.JournalRecords "
                        "GROUP BY SetID HAVING ABS(s) > 0.00005)"),
              "0");
    // Period balances equal the journal lines per account and period, in natural sign.
    const std::string balances =
        "WITH f AS (SELECT LastMonthInFinancialYear % 12 + 1 AS fm FROM MYOB.DataFileInformation), "
        "r AS (SELECT j.AccountID, CAST(substr(j.TransactionDate, 1, 4) AS INTEGER) AS y, "
        "  CAST(substr(j.TransactionDate, 6, 2) AS INTEGER) AS m, j.TaxExclusiveAmount AS amt, "
        "  substr(a.AccountNumber, 1, 1) AS cls FROM MYOB.JournalRecords j JOIN MYOB.Accounts a ON a.AccountID = j.AccountID), "
        "j AS (SELECT r.AccountID AS acc, CASE WHEN f.fm = 1 THEN r.y WHEN r.m >= f.fm THEN r.y + 1 ELSE r.y END AS fy, "
        "  (r.m - f.fm + 12) % 12 + 1 AS period, "
        "  SUM(CASE WHEN r.cls IN ('2', '3', '4', '8') THEN -r.amt ELSE r.amt END) AS amount FROM r, f GROUP BY 1, 2, 3) "
        "SELECT COUNT(*) FROM j FULL OUTER JOIN MYOB.AccountActivities x "
        "  ON x.AccountID = j.acc AND x.FinancialYear = j.fy AND x.Period = j.period "
        "WHERE ABS(COALESCE(j.amount, 0) - COALESCE(x.Amount, 0)) > 0.00005";
    EXPECT_EQ(c->Scalar(balances), "0");
    EXPECT_NE(c->Scalar("SELECT COUNT(*) FROM MYOB.AccountActivities"), "0");
    // Every payment line points to an existing sale or purchase.
    EXPECT_EQ(c->Scalar("SELECT COUNT(*) FROM MYOB.CustomerPaymentLines WHERE SaleID NOT IN "
                        "(SELECT SaleID FROM MYOB.Sales UNION SELECT SaleID FROM MYOB.SalesInvoices)"),
              "0");
    EXPECT_EQ(c->Scalar("SELECT (SELECT COUNT(*) FROM MYOB.SupplierPaymentLines WHERE PurchaseID NOT IN "
                        "(SELECT PurchaseID FROM MYOB.Purchases)) + (SELECT COUNT(*) FROM MYOB.VendorPaymentLines "
                        "WHERE PurchaseID NOT IN (SELECT PurchaseID FROM MYOB.Purchases))"),
              "0");
    // Every set points to its source document.
    EXPECT_EQ(c->Scalar("SELECT COUNT(*) FROM MYOB.JournalSets s WHERE NOT EXISTS ("
                        "SELECT 1 FROM MYOB.Sales WHERE s.JournalTypeID = 'SI' AND SaleID = s.SourceID UNION ALL "
                        "SELECT 1 FROM MYOB.SalesInvoices WHERE s.JournalTypeID = 'SI' AND SaleID = s.SourceID UNION ALL "
                        "SELECT 1 FROM MYOB.Purchases WHERE s.JournalTypeID = 'PS' AND PurchaseID = s.SourceID UNION ALL "
                        "SELECT 1 FROM MYOB.CustomerPayments WHERE s.JournalTypeID = 'CP' AND CustomerPaymentID = s.SourceID UNION ALL "
                        "SELECT 1 FROM MYOB.SupplierPayments WHERE s.JournalTypeID = 'SP' AND SupplierPaymentID = s.SourceID UNION ALL "
                        "SELECT 1 FROM MYOB.VendorPayments WHERE s.JournalTypeID = 'VP' AND VendorPaymentID = s.SourceID UNION ALL "
                        "SELECT 1 FROM MYOB.MoneySpent WHERE s.JournalTypeID = 'MS' AND MoneySpentID = s.SourceID UNION ALL "
                        "SELECT 1 FROM MYOB.MoneyReceived WHERE s.JournalTypeID = 'MR' AND MoneyReceivedID = s.SourceID UNION ALL "
                        "SELECT 1 FROM MYOB.GeneralJournals WHERE s.JournalTypeID = 'GJ' AND GeneralJournalID = s.SourceID UNION ALL "
                        "SELECT 1 FROM MYOB.WritePayCheque WHERE s.JournalTypeID = 'WP' AND WritePayChequeID = s.SourceID)"),
              "0");
    // No payment comes before the document it pays.
    EXPECT_EQ(c->Scalar("SELECT COUNT(*) FROM MYOB.CustomerPaymentLines l JOIN MYOB.CustomerPayments p ON "
                        "p.CustomerPaymentID = l.CustomerPaymentID JOIN (SELECT SaleID, InvoiceDate FROM MYOB.Sales UNION ALL "
                        "SELECT SaleID, InvoiceDate FROM MYOB.SalesInvoices) s ON s.SaleID = l.SaleID "
                        "WHERE p.TransactionDate < s.InvoiceDate"),
              "0");
    EXPECT_EQ(c->Scalar("SELECT COUNT(*) FROM (SELECT PurchaseID, TransactionDate FROM MYOB.SupplierPaymentLines l JOIN "
                        "MYOB.SupplierPayments p ON p.SupplierPaymentID = l.SupplierPaymentID UNION ALL SELECT PurchaseID, "
                        "TransactionDate FROM MYOB.VendorPaymentLines l JOIN MYOB.VendorPayments p ON "
                        "p.VendorPaymentID = l.VendorPaymentID) x JOIN MYOB.Purchases d ON d.PurchaseID = x.PurchaseID "
                        "WHERE x.TransactionDate < d.PurchaseDate"),
              "0");
    // Sale headers agree with their lines.
    EXPECT_EQ(c->Scalar("SELECT COUNT(*) FROM MYOB.Sales s WHERE s.InvoiceTypeID = 'S' AND ABS(s.TotalLines - "
                        "(SELECT SUM(TaxExclusiveAmount) FROM MYOB.ServiceSaleLines l WHERE l.SaleID = s.SaleID)) > 0.00005"),
              "0");
  }
}

// Other income is class 8 and other expenses class 9; every profit-and-loss account (headers
// too) is classified as its class digit says, and the credit-normal sign rule gives the natural
// sign: interest received and bank charges both come out positive.
TEST(SampleBooks, TheChartsUseTheSections) {
  for (const char* name : {samples::kAustralianFile, samples::kUsaFile, samples::kAr2011File}) {
    SCOPED_TRACE(name);
    auto c = Open(samples::SamplePath(name));
    EXPECT_EQ(c->Scalar("SELECT group_concat(AccountNumber || ' ' || AccountName, ', ') FROM (SELECT * FROM "
                        "MYOB.Accounts WHERE AccountLevel = 1 AND AccountNumber > '4' ORDER BY AccountNumber)"),
              "4-0000 Income, 5-0000 Cost of Sales, 6-0000 Expenses, 8-0000 Other Income, 9-0000 Other Expenses");
    EXPECT_EQ(c->Scalar("SELECT COUNT(*) FROM MYOB.Accounts WHERE AccountNumber LIKE '7%'"), "0");
    EXPECT_EQ(c->Scalar("SELECT COUNT(*) FROM MYOB.Accounts a WHERE a.AccountNumber > '4' "
                        "AND a.SubAccountClassificationID <> CASE substr(a.AccountNumber, 1, 1) WHEN '4' THEN 'I' "
                        "WHEN '5' THEN 'COS' WHEN '6' THEN 'EXP' WHEN '8' THEN 'OI' WHEN '9' THEN 'OE' END"),
              "0");
    EXPECT_EQ(c->Scalar("SELECT COUNT(*) FROM MYOB.Accounts WHERE AccountClassificationID <> CASE substr(AccountNumber, "
                        "1, 1) WHEN '1' THEN 'A' WHEN '2' THEN 'L' WHEN '3' THEN 'EQ' WHEN '4' THEN 'I' WHEN '5' THEN "
                        "'COS' WHEN '6' THEN 'EXP' WHEN '8' THEN 'OI' WHEN '9' THEN 'OE' END"),
              "0");
    EXPECT_EQ(c->Scalar("SELECT AccountName || ' ' || SubAccountClassificationID FROM MYOB.Accounts "
                        "WHERE AccountNumber = '9-2000'"),
              "Income Tax Expense OE");
    for (const char* number : {"8-1000", "9-1000"}) {
      EXPECT_EQ(c->Scalar(std::string("SELECT SUM(x.Amount) > 0 AND MIN(x.Amount) > 0 FROM MYOB.AccountActivities x "
                                       "JOIN MYOB.Accounts a ON a.AccountID = x.AccountID WHERE a.AccountNumber = '") +
                          number + "'"),
                "1")
          << number;
    }
  }
}

TEST(SampleBooks, TheAustralianFileHoldsEveryKindOfDocument) {
  auto c = Open(samples::SamplePath(samples::kAustralianFile));
  EXPECT_EQ(c->Scalar("SELECT DataFileCountry || '/' || LastMonthInFinancialYear || '/' || UseMultipleCurrencies "
                      "FROM MYOB.DataFileInformation"),
            "AU/6/Y");
  EXPECT_EQ(c->Scalar("SELECT group_concat(t, '') FROM (SELECT DISTINCT JournalTypeID AS t FROM MYOB.JournalSets ORDER BY 1)"),
            "CPGJMRMSPSSISPWP");
  EXPECT_EQ(c->Scalar("SELECT group_concat(t, '') FROM (SELECT DISTINCT InvoiceTypeID AS t FROM MYOB.Sales ORDER BY 1)"),
            "IMPST");
  EXPECT_EQ(c->Scalar("SELECT group_concat(t, '') FROM (SELECT DISTINCT PurchaseTypeID AS t FROM MYOB.Purchases ORDER BY 1)"),
            "IMPS");
  EXPECT_EQ(c->Scalar("SELECT group_concat(t, ',') FROM (SELECT DISTINCT InvoiceStatusID AS t FROM MYOB.Sales ORDER BY 1)"),
            "C,O,OR,Q");
  // A sale left open is one not paid in full.
  EXPECT_EQ(c->Scalar("SELECT COUNT(*) FROM MYOB.Sales s WHERE InvoiceStatusID = 'C' AND ABS(TotalLines + TaxExclusiveFreight + "
                      "TotalTax - (SELECT SUM(AmountApplied) FROM MYOB.CustomerPaymentLines l WHERE l.SaleID = s.SaleID)) > 0.00005"),
            "0");
  // Classes 1 to 6, 8 and 9 and header levels 1 to 4.
  EXPECT_EQ(c->Scalar("SELECT group_concat(c, '') FROM (SELECT DISTINCT substr(AccountNumber, 1, 1) AS c "
                      "FROM MYOB.Accounts ORDER BY 1)"),
            "12345689");
  EXPECT_EQ(c->Scalar("SELECT MIN(AccountLevel) || '-' || MAX(AccountLevel) FROM MYOB.Accounts"), "1-4");
  // Two years of data and of budgets.
  EXPECT_EQ(c->Scalar("SELECT MIN(TransactionDate) || ' ' || MAX(TransactionDate) FROM MYOB.JournalRecords"),
            "2024-07-01 2026-06-28");
  EXPECT_EQ(c->Scalar("SELECT group_concat(y, ',') FROM (SELECT DISTINCT FinancialYear AS y FROM MYOB.AccountBudgets ORDER BY 1)"),
            "2025,2026");
  // Payments: partial (two payments of one sale), foreign currency, in a later month than the sale.
  EXPECT_NE(c->Scalar("SELECT COUNT(*) FROM (SELECT SaleID FROM MYOB.CustomerPaymentLines GROUP BY SaleID HAVING COUNT(*) > 1)"),
            "0");
  for (const char* type : {"CP", "SP", "SI", "PS"}) {
    EXPECT_NE(c->Scalar(std::string("SELECT COUNT(*) FROM MYOB.JournalSets WHERE JournalTypeID = '") + type +
                        "' AND CurrencyID <> 0 AND TransactionExchangeRate <> 1"),
              "0")
        << type;
  }
  EXPECT_NE(c->Scalar("SELECT COUNT(*) FROM MYOB.CustomerPaymentLines l JOIN MYOB.CustomerPayments p ON "
                      "p.CustomerPaymentID = l.CustomerPaymentID JOIN MYOB.Sales s ON s.SaleID = l.SaleID "
                      "WHERE substr(p.TransactionDate, 1, 7) > substr(s.InvoiceDate, 1, 7)"),
            "0");
  EXPECT_NE(c->Scalar("SELECT COUNT(*) FROM MYOB.SupplierPaymentLines l JOIN MYOB.SupplierPayments p ON "
                      "p.SupplierPaymentID = l.SupplierPaymentID JOIN MYOB.Purchases s ON s.PurchaseID = l.PurchaseID "
                      "WHERE substr(p.TransactionDate, 1, 7) > substr(s.PurchaseDate, 1, 7)"),
            "0");
  EXPECT_NE(c->Scalar("SELECT COUNT(*) FROM MYOB.Sales WHERE TaxExclusiveFreight <> 0"), "0");
  EXPECT_NE(c->Scalar("SELECT COUNT(*) FROM MYOB.Items WHERE ItemIsInventoried = 'N'"), "0");
  EXPECT_NE(c->Scalar("SELECT COUNT(*) FROM MYOB.Currency"), "0");
  EXPECT_NE(c->Scalar("SELECT COUNT(*) FROM MYOB.CustomLists"), "0");
}

TEST(SampleBooks, TheUsaFileUsesVendorPaymentsAndACalendarYear) {
  auto c = Open(samples::SamplePath(samples::kUsaFile));
  EXPECT_EQ(c->Scalar("SELECT DataFileCountry || '/' || LastMonthInFinancialYear FROM MYOB.DataFileInformation"), "USA/12");
  EXPECT_NE(c->Scalar("SELECT COUNT(*) FROM MYOB.JournalSets WHERE JournalTypeID = 'VP'"), "0");
  EXPECT_EQ(c->Scalar("SELECT COUNT(*) FROM MYOB.JournalSets WHERE JournalTypeID = 'SP'"), "0");
  EXPECT_NE(c->Scalar("SELECT COUNT(*) FROM MYOB.VendorPaymentLines"), "0");
  EXPECT_EQ(c->Scalar("SELECT COUNT(*) FROM MYOB.SupplierPayments"), "0");
}

TEST(SampleBooks, TheNewerFileUsesTheInvoiceAndOrderTables) {
  auto c = Open(samples::SamplePath(samples::kAr2011File));
  EXPECT_EQ(c->Scalar("SELECT COUNT(*) FROM MYOB.Sales"), "0");
  EXPECT_NE(c->Scalar("SELECT COUNT(*) FROM MYOB.SalesInvoices"), "0");
  EXPECT_NE(c->Scalar("SELECT COUNT(*) FROM MYOB.SalesOrders WHERE InvoiceStatusID = 'OR'"), "0");
  EXPECT_NE(c->Scalar("SELECT COUNT(*) FROM MYOB.ServiceSaleInvoiceLines"), "0");
  EXPECT_EQ(c->Scalar("SELECT COUNT(*) FROM MYOB.ServiceSaleLines"), "0");
  EXPECT_NE(c->Scalar("SELECT COUNT(*) FROM MYOB.ServicePurchaseInvoiceLines"), "0");
}

// Each fixed group folder holds exactly the files its list names; each file that opens
// carries its settings in the description of its lowest account "1-0000" (or has no such
// account), and the two test-case files that must not open refuse the usual credentials.
// The folder users get is one coherent group: every file opens and is accepted, two groups
// each of a parent and subsidiaries, distinct short names, part shares and a calendar year.
TEST(SampleBooks, TheGroupFoldersHoldTheListedFiles) {
  struct Case {
    std::string folder;
    std::vector<samples::GroupFolderFile> files;
    int accepted;
  };
  const std::vector<Case> folders = {
      {samples::SamplePath(samples::kGroupFolder), samples::GroupFolderFiles(), 5},
      {CasesFolder(), samples::GroupFolderFiles({.sample = samples::GroupSample::Cases}), 6},
  };
  for (const Case& k : folders) {
    SCOPED_TRACE(k.folder);
    std::vector<std::string> onDisk;
    for (const auto& e : fs::directory_iterator(k.folder)) onDisk.push_back(e.path().filename().string());
    std::sort(onDisk.begin(), onDisk.end());
    std::vector<std::string> listed;
    int accepted = 0;
    for (const auto& f : k.files) {
      listed.push_back(f.name);
      accepted += f.accepted ? 1 : 0;
    }
    EXPECT_EQ(onDisk, listed);
    EXPECT_EQ(accepted, k.accepted);
    for (const auto& f : k.files) {
      SCOPED_TRACE(f.name);
      const std::string path = k.folder + "/" + f.name;
      if (!f.connects) {
        TestConnection c;
        const auto r = c.Connect(test::DirectConnectionString({.file = path}));
        EXPECT_FALSE(r.Ok());
        EXPECT_NE(r.message.find(f.name == "Locked.MYO" ? "Invalid password" : "not a company file"), std::string::npos)
            << r.message;
        continue;
      }
      auto c = Open(path);
      EXPECT_EQ(c->Scalar("SELECT CompanyName || '|' || LastMonthInFinancialYear FROM MYOB.DataFileInformation"),
                f.company + "|" + std::to_string(f.lastMonthInFinancialYear));
      const std::string lowest =
          c->Scalar("SELECT AccountNumber || '|' || AccountDescription FROM MYOB.Accounts ORDER BY AccountNumber LIMIT 1");
      EXPECT_EQ(lowest, f.description.empty() ? "1-1000|" : "1-0000|" + f.description);
      EXPECT_EQ(f.accepted, f.listed && !f.description.empty());
    }
  }

  std::map<std::string, int> groups;
  std::set<std::string> shortNames;
  int partShares = 0, calendarYears = 0;
  for (const auto& f : samples::GroupFolderFiles()) {
    EXPECT_TRUE(f.listed && f.connects && f.accepted) << f.name;
    ++groups[f.group];
    if (!f.shortName.empty()) shortNames.insert(f.shortName);
    partShares += f.percent < 100 ? 1 : 0;
    calendarYears += f.lastMonthInFinancialYear == 12 ? 1 : 0;
  }
  EXPECT_EQ(groups, (std::map<std::string, int>{{"NORTH", 3}, {"SOUTH", 2}}));
  EXPECT_EQ(shortNames.size(), 5u);
  EXPECT_GE(partShares, 1);
  EXPECT_EQ(calendarYears, 1);
}

// The traits of the test-case group folder that the group report's options and edge cases
// need, read back with SQL.
TEST(SampleBooks, TheGroupFolderExercisesTheGroupReport) {
  // Profit and loss of a file over July 2025 - June 2026, in natural sign: income positive.
  const std::string profit =
      "SELECT -SUM(j.TaxExclusiveAmount) FROM MYOB.JournalRecords j JOIN MYOB.Accounts a ON "
      "a.AccountID = j.AccountID WHERE a.AccountNumber > '4' AND j.TransactionDate BETWEEN '2025-07-01' AND '2026-06-30'";
  // Months in which the lines of the given class digit do not net to zero.
  auto unbalancedMonths = [](const char* digit) {
    return std::string("SELECT COUNT(*) FROM (SELECT substr(j.TransactionDate, 1, 7) FROM MYOB.JournalRecords j JOIN "
                       "MYOB.Accounts a ON a.AccountID = j.AccountID WHERE a.AccountNumber LIKE '") +
           digit + "%' GROUP BY 1 HAVING ABS(SUM(j.TaxExclusiveAmount)) > 0.00005)";
  };
  auto linesOf = [](const char* digit) {
    return std::string("SELECT COUNT(*) > 0 FROM MYOB.JournalRecords j JOIN MYOB.Accounts a ON a.AccountID = "
                       "j.AccountID WHERE a.AccountNumber LIKE '") + digit + "%'";
  };
  struct Case {
    const char* file;
    std::string sql;
    std::string expected;
  };
  const std::vector<Case> cases = {
      // A header in one file, a detail account in the others; details at level 4 below it.
      {"North1.MYO", "SELECT AccountTypeID || AccountLevel FROM MYOB.Accounts WHERE AccountNumber = '6-2100'", "H3"},
      {"North2.MYO", "SELECT AccountTypeID || AccountLevel FROM MYOB.Accounts WHERE AccountNumber = '6-2100'", "D3"},
      {"North1.MYO",
       "SELECT group_concat(AccountNumber || AccountTypeID || AccountLevel, ' ') FROM (SELECT * FROM MYOB.Accounts "
       "WHERE ParentAccountID = (SELECT AccountID FROM MYOB.Accounts WHERE AccountNumber = '6-2100') ORDER BY 1)",
       "6-2110D4 6-2120D4"},
      {"North1.MYO", "SELECT COUNT(DISTINCT a.AccountNumber) FROM MYOB.JournalRecords j JOIN MYOB.Accounts a ON "
                     "a.AccountID = j.AccountID WHERE a.AccountNumber IN ('6-2100', '6-2110', '6-2120')",
       "2"},
      // One number, two classifications; one number, two names.
      {"North1.MYO", "SELECT SubAccountClassificationID FROM MYOB.Accounts WHERE AccountNumber = '4-3000'", "I"},
      {"North2.MYO", "SELECT SubAccountClassificationID FROM MYOB.Accounts WHERE AccountNumber = '4-3000'", "OI"},
      {"North3.MYO", "SELECT COUNT(*) FROM MYOB.Accounts WHERE AccountNumber = '4-3000'", "0"},
      {"North1.MYO", "SELECT AccountName FROM MYOB.Accounts WHERE AccountNumber = '4-1300'", "Consulting Fees"},
      {"North2.MYO", "SELECT AccountName FROM MYOB.Accounts WHERE AccountNumber = '4-1300'", "Consulting Income"},
      // Accounts in one file only.
      {"North3.MYO", "SELECT COUNT(*) FROM MYOB.JournalRecords j JOIN MYOB.Accounts a ON a.AccountID = j.AccountID "
                     "WHERE a.AccountNumber = '6-3000'", "24"},
      {"North2.MYO", "SELECT COUNT(*) FROM MYOB.Accounts WHERE AccountNumber = '6-3000'", "0"},
      // No employees: no employee cards and no pay.
      {"North4.MYO", "SELECT COUNT(*) FROM MYOB.Cards WHERE CardTypeID = 'E'", "0"},
      {"North4.MYO", "SELECT COUNT(*) FROM MYOB.JournalSets WHERE JournalTypeID = 'WP'", "0"},
      // The loss, the zero-total other expenses and the cost of sales that nets to zero.
      {"South1.MYO", "SELECT (" + profit + ") < 0", "1"},
      {"North1.MYO", "SELECT (" + profit + ") > 0", "1"},
      {"North4.MYO", "SELECT (" + profit + ") > 0", "1"},
      {"South1.MYO", unbalancedMonths("9"), "0"},
      {"South1.MYO", unbalancedMonths("5"), "0"},
      {"South1.MYO", linesOf("9"), "1"},
      {"South1.MYO", linesOf("5"), "1"},
      {"South1.MYO", linesOf("8"), "0"},
      {"North1.MYO", unbalancedMonths("9"), "24"},
  };
  for (const auto& k : cases) {
    auto c = Open(CasesFolder() + "/" + k.file);
    EXPECT_EQ(c->Scalar(k.sql), k.expected) << k.file << ": " << k.sql;
  }
}

// Folders built by tests: the generated members, the refused files beside them, and books
// as coherent as the samples'.
TEST(SampleBuilder, BuildsGroupFoldersOfManyFiles) {
  for (int count : {7, 31}) {
    SCOPED_TRACE(count);
    const fs::path dir = fs::temp_directory_path() / ("qvx-group-" + std::to_string(::getpid()) + "-" +
                                                      std::to_string(count));
    fs::remove_all(dir);
    const auto files = samples::BuildGroupFolder(dir.string(), {.acceptedFiles = count, .group = "WEST", .months = 2});
    std::vector<std::string> accepted;
    std::set<double> percents;
    for (const auto& f : files) {
      EXPECT_TRUE(fs::exists(dir / f.name)) << f.name;
      if (!f.accepted) continue;
      accepted.push_back(f.name);
      percents.insert(f.percent);
      EXPECT_EQ(f.group, "WEST");
    }
    ASSERT_EQ(accepted.size(), static_cast<size_t>(count));
    EXPECT_EQ(accepted.front(), "Member01.MYO");
    EXPECT_EQ(files.size(), static_cast<size_t>(count) + 4);  // Archive.MYOX, Locked, Notes, NoTop
    EXPECT_TRUE(std::is_sorted(files.begin(), files.end(), [](const auto& x, const auto& y) { return x.name < y.name; }));
    EXPECT_EQ(percents, (std::set<double>{25, 33.333, 50, 60, 75, 100}));
    const auto& last = *std::find_if(files.rbegin(), files.rend(), [](const auto& f) { return f.accepted; });
    auto c = Open((dir / last.name).string());
    EXPECT_EQ(c->Scalar("SELECT AccountDescription FROM MYOB.Accounts WHERE AccountNumber = '1-0000'"), last.description);
    EXPECT_EQ(c->Scalar("SELECT COUNT(*) FROM (SELECT SetID FROM MYOB.JournalRecords GROUP BY SetID "
                        "HAVING ABS(SUM(TaxExclusiveAmount)) > 0.00005)"),
              "0");
    EXPECT_EQ(c->Scalar("SELECT MIN(TransactionDate) || ' ' || MAX(TransactionDate) FROM MYOB.JournalRecords"),
              "2024-07-01 2024-08-27");
    fs::remove_all(dir);
  }
  // Members of the caller's choosing; a name given twice is refused before anything is written.
  const fs::path dir = fs::temp_directory_path() / ("qvx-group-" + std::to_string(::getpid()) + "-own");
  fs::remove_all(dir);
  const std::string odd = "  groupname=north\tconsolidate  abc% shortname = x employees";
  const auto files = samples::BuildGroupFolder(
      dir.string(), {.refusedFiles = false,
                     .months = 1,
                     .members = {{.name = "b.myo", .description = odd, .group = "NORTH\tCONSOLIDATE"},
                                 {.name = "A.MYO", .accepted = false, .lastMonthInFinancialYear = 12}}});
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].name, "A.MYO");
  EXPECT_EQ(files[1].group, "NORTH\tCONSOLIDATE");
  {
    auto c = Open((dir / "b.myo").string());
    EXPECT_EQ(c->Scalar("SELECT AccountDescription FROM MYOB.Accounts WHERE AccountNumber = '1-0000'"), odd);
    auto d = Open((dir / "A.MYO").string());
    EXPECT_EQ(d->Scalar("SELECT MIN(AccountNumber) || ' ' || (SELECT LastMonthInFinancialYear FROM "
                        "MYOB.DataFileInformation) FROM MYOB.Accounts"),
              "1-1000 12");
  }
  fs::remove_all(dir);
  EXPECT_THROW(samples::BuildGroupFolder(dir.string(), {.members = {{.name = "X.MYO"}, {.name = "X.MYO"}}}),
               std::invalid_argument);
  EXPECT_FALSE(fs::exists(dir));
  EXPECT_THROW(samples::BuildGroupFolder(fs::temp_directory_path().string(), {.months = 0}), std::invalid_argument);
}

// The command itself: an option it does not know, or a known one with the wrong
// arguments, names its usage and fails, and nothing is built, not even a folder named
// after the option.
TEST(SampleBuilder, TheCommandRefusesWhatItDoesNotKnow) {
  const fs::path dir = fs::temp_directory_path() / ("qvx-make-samples-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const std::string args : {"", "--colour", "--large x.MYO", "--driver-names x", "a b"}) {
    SCOPED_TRACE(args);
    const std::string told = test::CommandOutput("cd '" + dir.string() + "' && '" QVX_BINARY_DIR
                                                 "/bin/qvx-make-samples' " + args + " 2>&1 >/dev/null; echo \"status $?\"");
    EXPECT_TRUE(told.starts_with("qvx-make-samples: ") && told.ends_with("status 2\n")) << told;
    EXPECT_NE(told.find("\nusage: qvx-make-samples FOLDER"), std::string::npos) << told;
    EXPECT_TRUE(fs::is_empty(dir)) << fs::directory_iterator(dir)->path();
  }
  fs::remove_all(dir);
}

TEST(SampleBuilder, RefusesAJournalThatDoesNotBalance) {
  fs::path file = fs::temp_directory_path() / ("qvx-unbalanced-" + std::to_string(::getpid()) + ".MYO");
  {
    samples::CompanyFile f(file.string(), {});
    int a = f.AddAccount({.number = "1-1110", .name = "Bank"});
    int b = f.AddAccount({.number = "6-1000", .name = "Expense"});
    EXPECT_THROW(f.AddGeneralJournal({.date = "2014-01-01", .lines = {{.account = a, .amount = samples::M("10")},
                                                                      {.account = b, .amount = samples::M("-9.99")}}}),
                 std::invalid_argument);
  }
  fs::remove(file);
}

}  // namespace
}  // namespace qvx

namespace qvx {
namespace {

TEST(FileProbe, TellsTheDriverCountryAndVersionOfAFile) {
  // Files whose company table is a view that never ends: its work without end, or its
  // endless rows sorted. The probe reads within bounds, and tells nothing of them.
  const fs::path dir = fs::temp_directory_path() / ("qvx-probe-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string endless = (dir / "Endless.MYO").string(), sorted = (dir / "Sorted.MYO").string();
  for (const bool sort : {false, true}) {
    fs::copy_file(samples::SamplePath(samples::kAustralianFile), sort ? sorted : endless);
    ASSERT_TRUE(test::PutEndlessViewInPlaceOf(sort ? sorted : endless, "DataFileInformation", sort));
  }
  struct Case {
    std::string file;
    std::optional<driver::CompanyFileFacts> expected;
  };
  const std::vector<Case> cases = {
      {samples::SamplePath(samples::kAustralianFile), driver::CompanyFileFacts{"MYOAU1001", "AU", "19.8"}},
      {samples::SamplePath(samples::kUsaFile), driver::CompanyFileFacts{"MYOAU1001", "USA", "19.8"}},
      {samples::SamplePath(samples::kAr2011File), driver::CompanyFileFacts{"MYOB_AccountRight_2011", "AU", "2011.0"}},
      {samples::SamplePath("absent.MYO"), std::nullopt},
      {samples::SamplePath(samples::kGroupFolder), std::nullopt},
      {std::string(QVX_SOURCE_DIR) + "/README.md", std::nullopt},
      {"", std::nullopt},
      {endless, std::nullopt},
      {sorted, std::nullopt},
  };
  for (const auto& c : cases) {
    auto facts = driver::ProbeCompanyFile(c.file);
    ASSERT_EQ(facts.has_value(), c.expected.has_value()) << c.file;
    if (!facts) continue;
    EXPECT_EQ(facts->driverName, c.expected->driverName) << c.file;
    EXPECT_EQ(facts->country, c.expected->country) << c.file;
    EXPECT_EQ(facts->version, c.expected->version) << c.file;
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qvx

namespace qvx {
namespace {

// Every company file the sample builder makes (the samples, their group folder, a
// large-volume file) names a driver that the registration lists, and opens in direct mode
// through the driver it names; only the file that refuses the usual password on purpose
// answers with the password's state.
TEST(SampleBooks, EveryFileOpensWithTheDriverItNames) {
  test::UsePrivateOdbcRegistration();
  const fs::path large = fs::temp_directory_path() / ("qvx-large-" + std::to_string(::getpid()) + ".MYO");
  samples::BuildLarge(large.string(), 200);
  std::vector<std::string> files = {large.string()};
  for (const auto& entry : fs::recursive_directory_iterator(samples::SamplesDir()))
    if (entry.is_regular_file()) files.push_back(entry.path().string());
  const std::set<std::string> registered(std::begin(driver::kRegisteredDriverNames),
                                         std::end(driver::kRegisteredDriverNames));
  std::set<std::string> named;
  for (const auto& file : files) {
    versioncheck::AnswerBuffer answer{};
    if (versioncheck::GetDriverName(file, answer) <= 0) continue;  // not a company file
    const std::string name = versioncheck::AnswerText(answer);
    named.insert(name);
    EXPECT_TRUE(registered.count(name)) << file << " names the driver " << name;
    const std::string standard = test::DirectConnectionString({.file = file});
    const std::string own = "Driver={" + name + "}" + standard.substr(standard.find(';'));
    TestConnection c;
    const auto r = c.Connect(own);
    EXPECT_TRUE(r.Ok() || r.sqlState == "28000") << file << " through " << name << ": " << r.message;
  }
  EXPECT_EQ(named, registered);
  fs::remove(large);
}

}  // namespace
}  // namespace qvx
