#include "samples/SampleBooks.h"

#include "samples/CompanyFile.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <vector>

namespace qvx::samples {

namespace {

// Deterministic pseudo-random numbers, so that every build makes the same files.
struct Lcg {
  uint64_t state;
  explicit Lcg(uint64_t seed) : state(seed * 6364136223846793005ULL + 1442695040888963407ULL) {}
  uint32_t Next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(state >> 33);
  }
  int Range(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<uint32_t>(hi - lo + 1)); }
  Money Cents(int loUnits, int hiUnits) {
    return Money::FromRaw(static_cast<int64_t>(Range(loUnits * 100, hiUnits * 100)) * 100);
  }
};

std::string Date(int y, int m, int d) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  return buf;
}

Money Tax10(Money m) {
  // 10 per cent to the cent, half away from zero.
  int64_t raw = m.Raw() / 10;
  int64_t q = raw / 100, r = raw % 100;
  if (r >= 50) ++q;
  if (r <= -50) --q;
  return Money::FromRaw(q * 100);
}

struct ChartRow {
  std::string number, name;
  char type = 'D';
  int level = 2;
  std::string sub, parent;
  std::string classification{};  // AccountClassificationID when not that of the class digit
};

// The chart of accounts, reference data and the generator of one company's books.
struct Books {
  CompanyFile& f;
  Lcg rng;
  bool usa;
  bool gst;
  std::map<std::string, int> a;  // account number -> id
  int gstCode = 0, freCode = 0;
  int usd = 0;
  std::vector<int> items;
  std::vector<int> activities;
  std::vector<int> customers, suppliers, employees;
  std::vector<std::pair<int, Money>> openSales;      // sale, amount still owed
  std::vector<std::pair<int, Money>> openPurchases;
  std::vector<std::pair<int, double>> openSalesUsd;  // sale in USD, amount owed in USD raw units
  std::vector<std::pair<int, Money>> openPurchasesUsd;

  Books(CompanyFile& file, uint64_t seed) : f(file), rng(seed), usa(file.Setup().country == "USA"), gst(!usa) {}

  int Acc(const std::string& number, const std::string& name, char type, int level, const std::string& sub,
          const std::string& parent, const std::string& description = "", int exchange = 0) {
    AccountDef d;
    d.number = number;
    d.name = name;
    d.type = type;
    d.level = level;
    d.subClass = sub;
    d.parent = parent.empty() ? 0 : a.at(parent);
    d.description = description;
    d.currencyExchangeAccount = exchange;
    int id = f.AddAccount(d);
    a[number] = id;
    return id;
  }

  // The accounts of the standard chart, parents before their children.
  std::vector<ChartRow> StandardChart(bool withTop) const {
    const std::string top = withTop ? "1-0000" : "";
    std::vector<ChartRow> rows = {
      {"1-0000", "Assets", 'H', 1, "", ""},
      {"1-1000", "Current Assets", 'H', 2, "", top},
      {"1-1100", "Cash at Bank", 'H', 3, "", "1-1000"},
      {"1-1110", usa ? "Checking Account" : "Cheque Account", 'D', 4, "B", "1-1100"},
      {"1-1120", "Savings Account", 'D', 4, "B", "1-1100"},
      {"1-1200", usa ? "Accounts Receivable" : "Trade Debtors", 'D', 3, "AR", "1-1000"},
      {"1-1300", "Inventory", 'D', 3, "OCA", "1-1000"},
      {"1-2000", "Fixed Assets", 'H', 2, "", top},
      {"1-2100", "Office Equipment", 'D', 3, "FA", "1-2000"},
      {"1-2200", "Accumulated Depreciation", 'D', 3, "FA", "1-2000"},
      {"1-3000", "Other Assets", 'H', 2, "", top},
      {"1-3100", "Deposits Paid", 'D', 3, "OA", "1-3000"},
      {"2-0000", "Liabilities", 'H', 1, "", ""},
      {"2-1000", "Current Liabilities", 'H', 2, "", "2-0000"},
      {"2-1100", usa ? "Credit Card" : "Visa Card", 'D', 3, "CC", "2-1000"},
      {"2-1200", usa ? "Accounts Payable" : "Trade Creditors", 'D', 3, "AP", "2-1000"},
      {"2-1300", usa ? "Sales Tax Payable" : "GST Collected", 'D', 3, "OCL", "2-1000"},
      {"2-1330", usa ? "Use Tax Payable" : "GST Paid", 'D', 3, "OCL", "2-1000"},
      {"2-1400", usa ? "Payroll Withholding" : "PAYG Withholding", 'D', 3, "OCL", "2-1000"},
      {"2-2000", "Long Term Liabilities", 'H', 2, "", "2-0000"},
      {"2-2100", "Bank Loan", 'D', 3, "LTL", "2-2000"},
      {"2-2200", "Other Loans", 'D', 3, "OL", "2-2000"},
      {"3-0000", "Equity", 'H', 1, "", ""},
      {"3-1000", "Owner's Capital", 'D', 2, "EQ", "3-0000"},
      {"3-8000", "Retained Earnings", 'D', 2, "EQ", "3-0000"},
      {"3-9000", "Current Year Earnings", 'D', 2, "EQ", "3-0000"},
      {"4-0000", "Income", 'H', 1, "", ""},
      {"4-1000", "Sales", 'H', 2, "", "4-0000"},
      {"4-1100", "Service Sales", 'D', 3, "I", "4-1000"},
      {"4-1200", "Product Sales", 'D', 3, "I", "4-1000"},
      {"4-1300", "Consulting Fees", 'D', 3, "I", "4-1000"},
      {"4-1400", "Time Billing Income", 'D', 3, "I", "4-1000"},
      {"4-2000", "Freight Collected", 'D', 2, "I", "4-0000"},
      {"5-0000", "Cost of Sales", 'H', 1, "", ""},
      {"5-1000", "Cost of Goods Sold", 'D', 2, "COS", "5-0000"},
      {"5-2000", "Purchases", 'D', 2, "COS", "5-0000"},
      {"5-3000", "Freight Paid", 'D', 2, "COS", "5-0000"},
      {"6-0000", "Expenses", 'H', 1, "", ""},
      {"6-1000", "General Expenses", 'H', 2, "", "6-0000"},
      {"6-1100", "Rent", 'D', 3, "EXP", "6-1000"},
      {"6-1200", "Telephone", 'D', 3, "EXP", "6-1000"},
      {"6-1300", "Office Supplies", 'D', 3, "EXP", "6-1000"},
      {"6-1400", "Depreciation", 'D', 3, "EXP", "6-1000"},
      {"6-2000", "Payroll Expenses", 'H', 2, "", "6-0000"},
      {"6-2100", "Wages & Salaries", 'D', 3, "EXP", "6-2000"},
      {"6-2200", "Superannuation", 'D', 3, "EXP", "6-2000"},
      {"8-0000", "Other Income", 'H', 1, "", ""},
      {"8-1000", "Interest Income", 'D', 2, "OI", "8-0000"},
      {"8-2000", "Currency Gain/Loss", 'D', 2, "OI", "8-0000"},
      {"9-0000", "Other Expenses", 'H', 1, "", ""},
      {"9-1000", "Bank Charges", 'D', 2, "OE", "9-0000"},
      {"9-2000", "Income Tax Expense", 'D', 2, "OE", "9-0000"},
    };
    if (!withTop) rows.erase(rows.begin());
    return rows;
  }

  void Chart(const std::string& topDescription, bool withTop = true) {
    Chart(StandardChart(withTop), topDescription);
  }

  // The accounts of `rows` (the description goes to "1-0000"), linked accounts, tax codes,
  // items, activities, jobs, cards and custom lists.
  void Chart(const std::vector<ChartRow>& rows, const std::string& topDescription, bool withEmployees = true) {
    for (const auto& r : rows) {
      AccountDef d;
      d.number = r.number;
      d.name = r.name;
      d.type = r.type;
      d.level = r.level;
      d.subClass = r.sub;
      d.classification = r.classification;
      d.parent = r.parent.empty() ? 0 : a.at(r.parent);
      if (r.number == "1-0000") d.description = topDescription;
      a[r.number] = f.AddAccount(d);
    }

    LinkedAccountsDef l;
    l.receivables = a["1-1200"];
    l.payables = a["2-1200"];
    l.receivablesDeposits = a["1-1110"];
    l.payablesDeposits = a["1-3100"];
    l.receivablesDiscounts = a["4-1100"];
    l.payablesDiscounts = a["5-2000"];
    l.receivablesFreight = a["4-2000"];
    l.payablesFreight = a["5-3000"];
    f.SetLinkedAccounts(l);
    if (gst) {
      gstCode = f.AddTaxCode("GST", 10.0, a["2-1300"], a["2-1330"]);
      freCode = f.AddTaxCode("FRE", 0.0, a["2-1300"], a["2-1330"]);
    } else {
      gstCode = f.AddTaxCode("S", 10.0, a["2-1300"], 0);
      freCode = f.AddTaxCode("N-T", 0.0, a["2-1300"], 0);
    }
    items.push_back(f.AddItem("W100", "Widget", true, a["4-1200"], a["5-1000"], a["1-1300"]));
    items.push_back(f.AddItem("G200", "Gadget", true, a["4-1200"], a["5-1000"], a["1-1300"]));
    items.push_back(f.AddItem("S300", "Support plan", false, a["4-1100"], a["5-2000"], 0));
    activities.push_back(f.AddActivity("CONS", "Consulting", a["4-1400"]));
    activities.push_back(f.AddActivity("TRAIN", "Training", a["4-1300"]));
    f.AddJob("100", "Head office fit-out");
    f.AddJob("200", "Warehouse");
    for (const char* n : {"Acme Retail", "Bluegum Cafe", "Coastal Supplies", "Delta Engineering"})
      customers.push_back(f.AddCard('C', n));
    for (const char* n : {"Office World", "Telco Direct", "Landlord Properties"}) suppliers.push_back(f.AddCard('S', n));
    if (withEmployees)
      for (const char* n : {"Jo Smith", "Lee Brown"}) employees.push_back(f.AddCard('E', n));
    f.AddCustomList("Customer", 1, "Region", "North");
    f.AddCustomList("Customer", 1, "Region", "South");
    f.AddCustomList("Supplier", 1, "Supplier Type", "Utilities");
    f.AddCustomList("Item", 1, "Colour", "Blue");
    f.AddCustomList("Item", 2, "Size", "Large");
  }

  void MultiCurrency() {
    int ar = Acc("1-1210", "Trade Debtors USD", 'D', 3, "AR", "1-1000", "", a["8-2000"]);
    int ap = Acc("2-1210", "Trade Creditors USD", 'D', 3, "AP", "2-1000", "", a["8-2000"]);
    usd = f.AddCurrency("USD", "US Dollar", 0.72, ar, ap, "US$");
    f.AddCurrency("NZD", "New Zealand Dollar", 1.08, a["1-1200"], a["2-1200"], "NZ$");
  }

  DocLine Line(int account, Money amount, bool taxed) {
    DocLine l;
    l.account = account;
    l.amount = amount;
    l.taxCode = taxed ? gstCode : freCode;
    l.tax = taxed ? Tax10(amount) : Money();
    return l;
  }

  // A document in US dollars at a rate of the day, free of local tax.
  void Foreign(Document& d) {
    d.currency = usd;
    d.rate = 1.0 / (0.65 + rng.Range(0, 10) / 100.0);
    for (auto& l : d.lines) {
      l.tax = Money();
      l.taxCode = freCode;
    }
    d.freightTax = Money();
  }

  // One month of trading; `docs` sales and purchases (at least 1).
  void Month(int y, int m, int docs) {
    static const char kTypes[] = {'S', 'I', 'P', 'T', 'M'};
    // First pay (most of) what was owed at the start of the month: documents are paid in the
    // month after their own, some later, some in part at once.
    PayOpen(y, m);
    for (int i = 0; i < docs; ++i) {
      Document s;
      s.date = Date(y, m, 1 + (i * 5 + 2) % 27);
      s.type = kTypes[static_cast<size_t>(rng.Range(0, 4))];
      s.card = customers[static_cast<size_t>(rng.Range(0, static_cast<int>(customers.size()) - 1))];
      int nlines = rng.Range(1, 3);
      for (int k = 0; k < nlines; ++k) {
        DocLine l = Line(a["4-1100"], rng.Cents(50, 2500), rng.Range(0, 4) != 0);
        if (s.type == 'P') l.account = a["4-1300"];
        if (s.type == 'M') l.account = a["4-1100"];
        if (s.type == 'I') {
          l.account = 0;
          l.item = items[static_cast<size_t>(rng.Range(0, static_cast<int>(items.size()) - 1))];
          l.quantity = rng.Range(1, 10);
          l.costOfGoods = l.item == items[2] ? Money() : Money::FromRaw(l.amount.Raw() / 200 * 100);
        }
        if (s.type == 'T') {
          l.account = 0;
          l.activity = activities[static_cast<size_t>(rng.Range(0, 1))];
          l.quantity = rng.Range(1, 8);
        }
        l.description = "Line " + std::to_string(k + 1);
        s.lines.push_back(l);
      }
      if (rng.Range(0, 2) == 0) {
        s.freight = rng.Cents(10, 60);
        s.freightTaxCode = gstCode;
        s.freightTax = Tax10(s.freight);
      }
      bool foreign = usd != 0 && rng.Range(0, 5) == 0;
      if (foreign) Foreign(s);
      Money gross = s.freight + s.freightTax;
      for (const auto& l : s.lines) gross += l.amount + l.tax;
      int roll = rng.Range(0, 19);
      if (roll == 0) {
        s.status = "OR";
        f.AddSale(s);
        continue;
      }
      if (roll == 1 && !f.Setup().ar2011) {
        s.status = "Q";
        f.AddSale(s);
        continue;
      }
      s.status = "C";
      int sale = f.AddSale(s);
      if (foreign) {
        // Paid next month at the rate of the day.
        openSalesUsd.emplace_back(sale, static_cast<double>(gross.Raw()));
      } else if (rng.Range(0, 3) == 0) {
        // Half now, the rest later.
        Money half = Money::FromRaw(gross.Raw() / 200 * 100);
        Payment p{Date(y, m, 28), a["1-1110"], s.card, {{sale, half}}, 0, 1.0, "Part payment"};
        f.AddCustomerPayment(p);
        openSales.emplace_back(sale, gross - half);
      } else {
        openSales.emplace_back(sale, gross);
      }
    }
    for (int i = 0; i < docs; ++i) {
      static const char kPTypes[] = {'S', 'I', 'P', 'M'};
      Document p;
      p.date = Date(y, m, 3 + (i * 7) % 25);
      p.type = kPTypes[static_cast<size_t>(rng.Range(0, 3))];
      p.card = suppliers[static_cast<size_t>(rng.Range(0, static_cast<int>(suppliers.size()) - 1))];
      int nlines = rng.Range(1, 2);
      for (int k = 0; k < nlines; ++k) {
        DocLine l = Line(rng.Range(0, 1) ? a["5-2000"] : a["6-1300"], rng.Cents(20, 900), true);
        if (p.type == 'I') {
          l.account = 0;
          l.item = items[static_cast<size_t>(rng.Range(0, 1))];
        }
        p.lines.push_back(l);
      }
      if (rng.Range(0, 3) == 0) {
        p.freight = rng.Cents(5, 40);
        p.freightTaxCode = gstCode;
        p.freightTax = Tax10(p.freight);
      }
      bool foreign = usd != 0 && p.type != 'I' && rng.Range(0, 6) == 0;
      if (foreign) Foreign(p);
      p.status = rng.Range(0, 14) == 0 ? "OR" : "C";
      int id = f.AddPurchase(p);
      if (p.status == "OR") continue;
      Money gross = p.freight + p.freightTax;
      for (const auto& l : p.lines) gross += l.amount + l.tax;
      (foreign ? openPurchasesUsd : openPurchases).emplace_back(id, gross);
    }
    // Banking, payroll and journals.
    Banking rent{Date(y, m, 1), a["1-1110"], suppliers[2], {Line(a["6-1100"], M("2200.00"), true)}, 0, 1.0, "Rent"};
    f.AddMoneySpent(rent);
    Banking phone{Date(y, m, 12), a["2-1100"], suppliers[1], {Line(a["6-1200"], rng.Cents(80, 160), true)}, 0, 1.0,
                  "Phone"};
    f.AddMoneySpent(phone);
    Banking interest{Date(y, m, 27), a["1-1120"], 0, {Line(a["8-1000"], rng.Cents(5, 40), false)}, 0, 1.0,
                     "Interest"};
    f.AddMoneyReceived(interest);
    Banking fees{Date(y, m, 27), a["1-1110"], 0, {Line(a["9-1000"], M("12.50"), false)}, 0, 1.0, "Bank fees"};
    f.AddMoneySpent(fees);
    for (int e : employees) {
      Money gross = rng.Cents(3000, 4200);
      Money withheld = Money::FromRaw(gross.Raw() / 500 * 100);
      DocLine w;
      w.account = a["6-2100"];
      w.amount = gross;
      DocLine t;
      t.account = a["2-1400"];
      t.amount = -withheld;
      f.AddPayCheque({Date(y, m, 15), a["1-1110"], e, {w, t}, "Pay"});
    }
    if (m % 3 == 0) {
      DocLine dep;
      dep.account = a["6-1400"];
      dep.amount = M("450.00");
      DocLine acc;
      acc.account = a["1-2200"];
      acc.amount = M("-450.00");
      DocLine sup;
      sup.account = a["6-2200"];
      sup.amount = M("690.00");
      DocLine sup2;
      sup2.account = a["2-1400"];
      sup2.amount = M("-690.00");
      f.AddGeneralJournal({Date(y, m, 28), {dep, acc, sup, sup2}, "Quarterly adjustments"});
    }
  }

  void PayOpen(int y, int m) {
    std::vector<std::pair<int, Money>> stillOpen;
    for (size_t i = 0; i < openSales.size(); ++i) {
      const auto& [sale, owed] = openSales[i];
      if (rng.Range(0, 5) == 0) {
        stillOpen.push_back(openSales[i]);
        continue;
      }
      f.AddCustomerPayment({Date(y, m, 20), a["1-1110"], 0, {{sale, owed}}, 0, 1.0, "Payment"});
    }
    openSales = std::move(stillOpen);
    for (const auto& [sale, owedRaw] : openSalesUsd) {
      double rate = 1.0 / (0.65 + rng.Range(0, 10) / 100.0);
      f.AddCustomerPayment({Date(y, m, 22), a["1-1110"], 0, {{sale, Money::FromRaw(static_cast<int64_t>(owedRaw))}},
                            usd, rate, "USD payment"});
    }
    openSalesUsd.clear();
    std::vector<std::pair<int, Money>> stillOwed;
    for (size_t i = 0; i < openPurchases.size(); ++i) {
      const auto& [purchase, owed] = openPurchases[i];
      if (rng.Range(0, 4) == 0) {
        stillOwed.push_back(openPurchases[i]);
        continue;
      }
      if (rng.Range(0, 3) == 0 && owed > M("100.00")) {
        Money part = Money::FromRaw(owed.Raw() / 200 * 100);
        f.AddSupplierPayment({Date(y, m, 18), a["1-1110"], 0, {{purchase, part}}, 0, 1.0, "Part payment"});
        stillOwed.emplace_back(purchase, owed - part);
        continue;
      }
      f.AddSupplierPayment({Date(y, m, 18), a["1-1110"], 0, {{purchase, owed}}, 0, 1.0, "Payment"});
    }
    openPurchases = std::move(stillOwed);
    for (const auto& [purchase, owed] : openPurchasesUsd) {
      double rate = 1.0 / (0.65 + rng.Range(0, 10) / 100.0);
      f.AddSupplierPayment({Date(y, m, 19), a["1-1110"], 0, {{purchase, owed}}, usd, rate, "USD payment"});
    }
    openPurchasesUsd.clear();
  }

  // Budgets of the P&L detail accounts for a financial year, in natural sign.
  void Budgets(int financialYear) {
    const std::vector<std::pair<std::string, int>> plan = {
        {"4-1100", 6000}, {"4-1200", 4000}, {"4-1300", 3000}, {"4-1400", 2500}, {"4-2000", 300},
        {"5-1000", 1800}, {"5-2000", 2500}, {"5-3000", 100},  {"6-1100", 2200}, {"6-1200", 120},
        {"6-1300", 400},  {"6-1400", 150},  {"6-2100", 7200}, {"6-2200", 230},  {"8-1000", 20},
        {"9-1000", 13},   {"9-2000", 500}};
    for (const auto& [number, units] : plan) {
      for (int period = 1; period <= 12; ++period) {
        int64_t raw = static_cast<int64_t>(units) * 10000 + period * 12500 + (financialYear % 10) * 1000;
        f.AddBudget(a.at(number), financialYear, period, Money::FromRaw(raw));
      }
    }
  }

  // Documents not paid in full stay open ("O"); the others are closed ("C").
  void Statuses() {
    for (const char* table : {"Sales", "SalesInvoices"}) {
      f.Exec(std::string("UPDATE ") + table +
             " SET InvoiceStatusID = 'O' WHERE InvoiceStatusID = 'C' AND TotalLines + TaxExclusiveFreight + TotalTax > "
             "(SELECT COALESCE(SUM(AmountApplied), 0) FROM CustomerPaymentLines l WHERE l.SaleID = " +
             table + ".SaleID) + 0.00005");
    }
    f.Exec(std::string("UPDATE Purchases SET PurchaseStatusID = 'O' WHERE PurchaseStatusID = 'C' AND "
                       "TotalLines + TaxExclusiveFreight + TotalTax > (SELECT COALESCE(SUM(AmountApplied), 0) FROM ") +
           (usa ? "VendorPaymentLines" : "SupplierPaymentLines") + " l WHERE l.PurchaseID = Purchases.PurchaseID) + 0.00005");
  }

  // Trading over the months of financial years [firstYear, lastYear].
  void Trade(int firstYear, int lastYear, int docsPerMonth) {
    int lastMonth = f.Setup().lastMonthInFinancialYear;
    int first = lastMonth % 12 + 1;
    for (int fy = firstYear; fy <= lastYear; ++fy) {
      for (int i = 0; i < 12; ++i) {
        int m = (first - 1 + i) % 12 + 1;
        int y = first == 1 ? fy : (m >= first ? fy - 1 : fy);
        Month(y, m, docsPerMonth);
      }
    }
    Statuses();
  }
};

void Ensure(const std::string& path) {
  std::filesystem::path p(path);
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
}

}  // namespace

namespace {

// A company of two financial years of trading with budgets for both.
void BuildTwoYears(const std::string& path, const CompanySetup& setup, uint64_t seed, int docsPerMonth) {
  Ensure(path);
  CompanyFile f(path, setup);
  Books b(f, seed);
  b.Chart("");
  if (setup.multiCurrency) b.MultiCurrency();
  int year = setup.currentFinancialYear;
  b.Trade(year - 1, year, docsPerMonth);
  b.Budgets(year - 1);
  b.Budgets(year);
  f.Finish();
}

}  // namespace

void BuildAustralian(const std::string& path) {
  CompanySetup s;
  s.companyName = "Clearwater Trading Pty Ltd";
  s.country = "AU";
  s.currentFinancialYear = 2026;
  s.lastMonthInFinancialYear = 6;
  s.multiCurrency = true;
  s.address = "Level 2, 45 Harbour Street\r\nSydney  NSW  2000\r\nAustralia";
  BuildTwoYears(path, s, 1, 4);
}

void BuildUsa(const std::string& path) {
  CompanySetup s;
  s.companyName = "Redwood Outfitters Inc";
  s.country = "USA";
  s.currentFinancialYear = 2026;
  s.lastMonthInFinancialYear = 12;
  s.address = "200 Market Street\r\nSan Francisco CA 94105";
  s.phone = "415 555 0100";
  s.fax = "415 555 0101";
  BuildTwoYears(path, s, 2, 3);
}

void BuildAr2011(const std::string& path) {
  CompanySetup s;
  s.companyName = "Harbourside Design Pty Ltd";
  s.country = "AU";
  s.currentFinancialYear = 2026;
  s.lastMonthInFinancialYear = 6;
  s.ar2011 = true;
  s.databaseVersion = "2011.0";
  s.address = "7 Quay Road\r\nHobart  TAS  7000";
  BuildTwoYears(path, s, 3, 3);
}

void BuildGroupFolder(const std::string& folder) {
  struct Member {
    const char* file;
    const char* company;
    const char* description;  // of account 1-0000; nullptr: the file has no 1-0000
    uint64_t seed;
  };
  static const Member members[] = {
      {"North1.MYO", "Northern Holdings Pty Ltd", "GROUPNAME=NORTH CONSOLIDATE 100% SHORTNAME=NTHHOLD EMPLOYEES=12", 11},
      {"North2.MYO", "Northern Retail Pty Ltd", "Group name: north consolidate 60% shortname=NTHRETAIL employees=25", 12},
      {"North3.MYO", "Northern Services Pty Ltd", "GROUPNAME=NORTH CONSOLIDATE 75% SHORTNAME=NTHSERV EMPLOYEES 5", 13},
      {"North4.MYO", "Northern Logistics Pty Ltd", "GROUPNAME=NORTH SHORTNAME=NTHLOG", 14},
      {"North5.MYO", "Northern Property Pty Ltd", nullptr, 15},
      {"South1.MYO", "Southern Traders Pty Ltd", "GROUPNAME=SOUTH CONSOLIDATE 50% SHORTNAME=STH1 EMPLOYEES=8", 16},
  };
  std::filesystem::create_directories(folder);
  for (const auto& m : members) {
    CompanySetup s;
    s.companyName = m.company;
    s.currentFinancialYear = 2026;
    s.lastMonthInFinancialYear = 6;
    CompanyFile f(folder + "/" + m.file, s);
    Books b(f, m.seed);
    b.Chart(m.description ? m.description : "", m.description != nullptr);
    b.Trade(2025, 2026, 1);
    b.Budgets(2026);
    f.Finish();
  }
}

void BuildLarge(const std::string& path, int journalLines) {
  Ensure(path);
  CompanySetup s;
  s.companyName = "Large Volume Pty Ltd";
  s.currentFinancialYear = 2026;
  s.lastMonthInFinancialYear = 6;
  s.multiCurrency = true;
  CompanyFile f(path, s);
  Books b(f, 99);
  b.Chart("");
  b.MultiCurrency();
  // About 11 journal lines per sale and purchase of a month (with their payments), plus ~25
  // lines of banking, payroll and journals per month.
  int months = 24;
  int docs = std::max(1, (journalLines / months - 25) / 11);
  b.Trade(2025, 2026, docs);
  f.Finish();
}

void BuildAll(const std::string& folder) {
  BuildAustralian(folder + "/AUSample.MYO");
  BuildUsa(folder + "/USASample.MYO");
  BuildAr2011(folder + "/ARSample.MYOX");
  BuildGroupFolder(folder + "/Group");
}

}  // namespace qvx::samples
