#include "samples/SampleBooks.h"

#include "samples/CompanyFile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <map>
#include <set>
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

// Classification of the profit-and-loss section of an account number; empty for the
// balance sheet.
std::string SectionClass(const std::string& number) {
  switch (number.empty() ? ' ' : number[0]) {
    case '4': return "I";
    case '5': return "COS";
    case '6': return "EXP";
    case '8': return "OI";
    case '9': return "OE";
    default: return "";
  }
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
      // A profit-and-loss header is classified as its section, so that a reader taking
      // headers sorts them with the section's accounts.
      if (d.type == 'H' && d.subClass.empty()) d.subClass = SectionClass(r.number);
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

namespace {

// What makes one file of a group folder differ from the standard books.
struct GroupMember {
  GroupFolderFile file;
  uint64_t seed = 0;
  bool top = true;             // has "1-0000"
  bool companyFile = true;     // false: a text file
  bool ar2011 = false;
  std::string password;        // of "Administrator"
  int salesUnits = 12000;      // monthly service sales between salesUnits and salesUnits + 4000
  bool payroll = true;
  bool wagesHeader = false;    // 6-2100 a header over level-4 details
  std::string rentalClass;     // "I" or "OI": 4-3000 Rental Income; empty: no such account
  std::string consultingName = "Consulting Fees";
  bool motorVehicle = false;   // 6-3000
  bool purchaseRefunds = false;  // 5-2500 cancels the month's purchases
  bool chargeRebates = false;    // 9-3000 cancels the month's bank charges
  bool interest = true;
};

void Insert(std::vector<ChartRow>& rows, const std::string& after, ChartRow row) {
  auto it = std::find_if(rows.begin(), rows.end(), [&](const ChartRow& r) { return r.number == after; });
  if (it == rows.end()) throw std::logic_error("sample chart: no account " + after);
  rows.insert(it + 1, std::move(row));
}

ChartRow& Row(std::vector<ChartRow>& rows, const std::string& number) {
  auto it = std::find_if(rows.begin(), rows.end(), [&](const ChartRow& r) { return r.number == number; });
  if (it == rows.end()) throw std::logic_error("sample chart: no account " + number);
  return *it;
}

void BuildGroupMember(const std::string& path, const GroupMember& m, int months) {
  if (!m.companyFile) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        << "Notes on the group's company files.\r\nNothing here is a company file.\r\n";
    return;
  }
  CompanySetup s;
  s.companyName = m.file.company;
  s.currentFinancialYear = 2026;
  s.lastMonthInFinancialYear = m.file.lastMonthInFinancialYear;
  s.users = {{"Administrator", m.password}};
  if (m.ar2011) {
    s.ar2011 = true;
    s.databaseVersion = "2011.0";
  }
  CompanyFile f(path, s);
  Books b(f, m.seed);
  std::vector<ChartRow> rows = b.StandardChart(m.top);
  Row(rows, "4-1300").name = m.consultingName;
  if (!m.rentalClass.empty())
    Insert(rows, "4-2000", {"4-3000", "Rental Income", 'D', 2, m.rentalClass, "4-0000", m.rentalClass == "OI" ? "OI" : ""});
  Insert(rows, "5-2000", {"5-2500", "Purchase Refunds", 'D', 2, "COS", "5-0000"});
  if (m.wagesHeader) {
    Row(rows, "6-2100").type = 'H';
    Insert(rows, "6-2100", {"6-2120", "Warehouse Wages", 'D', 4, "EXP", "6-2100"});
    Insert(rows, "6-2100", {"6-2110", "Office Wages", 'D', 4, "EXP", "6-2100"});
  }
  if (m.motorVehicle) Insert(rows, "6-2200", {"6-3000", "Motor Vehicle Expenses", 'D', 2, "EXP", "6-0000"});
  Insert(rows, "9-2000", {"9-3000", "Bank Fee Rebates", 'D', 2, "OE", "9-0000"});
  b.Chart(rows, m.file.description, m.payroll);

  auto& a = b.a;
  for (int i = 0; i < months; ++i) {
    int y = 2024 + (6 + i) / 12;
    int mo = (6 + i) % 12 + 1;
    // Sales, paid in the month.
    Document sale;
    sale.date = Date(y, mo, 5);
    sale.type = 'S';
    sale.status = "C";
    sale.card = b.customers[static_cast<size_t>(i) % b.customers.size()];
    sale.lines = {b.Line(a.at("4-1100"), b.rng.Cents(m.salesUnits, m.salesUnits + 4000), true)};
    Document consult = sale;
    consult.date = Date(y, mo, 9);
    consult.type = 'P';
    consult.lines = {b.Line(a.at("4-1300"), b.rng.Cents(m.salesUnits / 4, m.salesUnits / 4 + 1000), true)};
    for (const Document& d : {sale, consult}) {
      int id = f.AddSale(d);
      Money gross;
      for (const auto& l : d.lines) gross += l.amount + l.tax;
      f.AddCustomerPayment({Date(y, mo, 25), a.at("1-1110"), d.card, {{id, gross}}, 0, 1.0, "Payment"});
    }
    if (!m.rentalClass.empty())
      f.AddMoneyReceived({Date(y, mo, 1), a.at("1-1110"), 0, {b.Line(a.at("4-3000"), M("1500.00"), false)}, 0, 1.0,
                          "Rent received"});
    // Purchases, paid in the month; refunded in full where the file has refunds.
    Document buy;
    buy.date = Date(y, mo, 7);
    buy.type = 'S';
    buy.status = "C";
    buy.card = b.suppliers[0];
    Money bought = b.rng.Cents(3000, 5000);
    buy.lines = {b.Line(a.at("5-2000"), bought, true)};
    int purchase = f.AddPurchase(buy);
    f.AddSupplierPayment({Date(y, mo, 26), a.at("1-1110"), buy.card, {{purchase, bought + Tax10(bought)}}, 0, 1.0,
                          "Payment"});
    if (m.purchaseRefunds)
      f.AddMoneyReceived({Date(y, mo, 27), a.at("1-1110"), buy.card, {b.Line(a.at("5-2500"), bought, false)}, 0, 1.0,
                          "Refund"});
    f.AddMoneySpent({Date(y, mo, 1), a.at("1-1110"), b.suppliers[2], {b.Line(a.at("6-1100"), M("2200.00"), true)}, 0,
                     1.0, "Rent"});
    f.AddMoneySpent({Date(y, mo, 12), a.at("2-1100"), b.suppliers[1],
                     {b.Line(a.at("6-1200"), b.rng.Cents(80, 160), true)}, 0, 1.0, "Phone"});
    if (m.motorVehicle)
      f.AddMoneySpent({Date(y, mo, 14), a.at("2-1100"), 0, {b.Line(a.at("6-3000"), b.rng.Cents(200, 600), true)}, 0,
                       1.0, "Fuel"});
    for (size_t e = 0; e < b.employees.size(); ++e) {
      Money gross = b.rng.Cents(3000, 4200);
      DocLine w;
      w.account = m.wagesHeader ? a.at(e == 0 ? "6-2110" : "6-2120") : a.at("6-2100");
      w.amount = gross;
      DocLine t;
      t.account = a.at("2-1400");
      t.amount = -Money::FromRaw(gross.Raw() / 500 * 100);
      f.AddPayCheque({Date(y, mo, 15), a.at("1-1110"), b.employees[e], {w, t}, "Pay"});
    }
    if (m.interest)
      f.AddMoneyReceived({Date(y, mo, 27), a.at("1-1120"), 0, {b.Line(a.at("8-1000"), b.rng.Cents(5, 40), false)}, 0,
                          1.0, "Interest"});
    f.AddMoneySpent({Date(y, mo, 27), a.at("1-1110"), 0, {b.Line(a.at("9-1000"), M("12.50"), false)}, 0, 1.0,
                     "Bank fees"});
    if (m.chargeRebates)
      f.AddMoneyReceived({Date(y, mo, 28), a.at("1-1110"), 0, {b.Line(a.at("9-3000"), M("12.50"), false)}, 0, 1.0,
                          "Fee rebate"});
  }
  f.Finish();
}

GroupFolderFile FileEntry(std::string name, std::string company, std::string description, std::string group,
                       double percent, std::string shortName, double employees, int lastMonth = 6) {
  GroupFolderFile f;
  f.name = std::move(name);
  f.company = std::move(company);
  f.description = std::move(description);
  f.group = std::move(group);
  f.percent = percent;
  f.shortName = std::move(shortName);
  f.employees = employees;
  f.lastMonthInFinancialYear = lastMonth;
  return f;
}

// The files that a run refuses or never lists.
void AddRefused(std::vector<GroupMember>& out, const std::string& group, bool withNoTop) {
  GroupMember archive;
  archive.file = FileEntry("Archive.MYOX", "Northern Archive Pty Ltd",
                        "GROUPNAME=" + group + " CONSOLIDATE 100% SHORTNAME=ARCHIVE EMPLOYEES=4", group, 100, "ARCHIVE", 4);
  archive.file.listed = false;
  archive.file.accepted = false;
  archive.ar2011 = true;
  archive.seed = 31;
  GroupMember locked;
  locked.file = FileEntry("Locked.MYO", "Northern Secure Pty Ltd",
                       "GROUPNAME=" + group + " CONSOLIDATE 100% SHORTNAME=LOCKED EMPLOYEES=2", group, 100, "LOCKED", 2);
  locked.file.connects = false;
  locked.file.accepted = false;
  locked.password = "Pa55word";
  locked.seed = 32;
  GroupMember notes;
  notes.file = FileEntry("Notes.MYO", "", "", "", 100, "", 0);
  notes.file.connects = false;
  notes.file.accepted = false;
  notes.companyFile = false;
  out.push_back(archive);
  out.push_back(locked);
  out.push_back(notes);
  if (withNoTop) {
    GroupMember noTop;
    noTop.file = FileEntry("NoTop.MYO", "Headless Holdings Pty Ltd", "", "", 100, "", 0);
    noTop.file.accepted = false;
    noTop.top = false;
    noTop.seed = 33;
    out.push_back(noTop);
  }
}

std::vector<GroupMember> GroupMembers(const GroupFolderOptions& o) {
  std::vector<GroupMember> out;
  if (!o.members.empty()) {
    uint64_t seed = 200;
    for (const auto& file : o.members) {
      GroupMember m;
      m.file = file;
      m.top = !file.description.empty();
      m.seed = ++seed;
      if (m.file.company.empty()) m.file.company = "Member Company " + std::to_string(seed - 200) + " Pty Ltd";
      out.push_back(m);
    }
    if (o.refusedFiles) AddRefused(out, o.group, true);
  } else if (o.acceptedFiles > 0) {
    static const double kPercents[] = {100, 60, 33.333, 50, 75, 25};
    static const char* kPercentTexts[] = {"100", "60", "33.333", "50", "75", "25"};
    for (int n = 1; n <= o.acceptedFiles; ++n) {
      char num[16];
      std::snprintf(num, sizeof num, "%02d", n);
      size_t k = static_cast<size_t>(n - 1) % 6;
      GroupMember m;
      m.file = FileEntry(std::string("Member") + num + ".MYO", std::string("Member Company ") + num + " Pty Ltd",
                      "GROUPNAME=" + o.group + " CONSOLIDATE " + kPercentTexts[k] + "% SHORTNAME=M" + num +
                          " EMPLOYEES=" + std::to_string(n),
                      o.group, kPercents[k], std::string("M") + num, n);
      m.seed = 100 + static_cast<uint64_t>(n);
      out.push_back(m);
    }
    if (o.refusedFiles) AddRefused(out, o.group, true);
  } else if (o.sample == GroupSample::Shipped) {
    struct Company {
      const char *name, *company, *group, *percent, *shortName;
      int employees, lastMonth, salesUnits;
      bool rental, motorVehicle;
    };
    static const Company kCompanies[] = {
        {"NorthHoldings.MYO", "Northern Holdings Pty Ltd", "NORTH", "100", "NTHHOLD", 12, 6, 12000, true, false},
        {"NorthRetail.MYO", "Northern Retail Pty Ltd", "NORTH", "60", "NTHRETL", 25, 6, 16000, false, false},
        {"NorthServices.MYO", "Northern Services Pty Ltd", "NORTH", "100", "NTHSERV", 5, 12, 9000, false, true},
        {"SouthFreight.MYO", "Southern Freight Pty Ltd", "SOUTH", "75", "STHFRGHT", 6, 6, 8000, false, true},
        {"SouthTraders.MYO", "Southern Traders Pty Ltd", "SOUTH", "100", "STHTRADE", 8, 6, 10000, false, false},
    };
    uint64_t seed = 20;
    for (const Company& c : kCompanies) {
      GroupMember m;
      m.file = FileEntry(c.name, c.company,
                         std::string("GROUPNAME=") + c.group + " CONSOLIDATE " + c.percent + "% SHORTNAME=" +
                             c.shortName + " EMPLOYEES=" + std::to_string(c.employees),
                         c.group, std::stod(c.percent), c.shortName, c.employees, c.lastMonth);
      m.seed = ++seed;
      m.salesUnits = c.salesUnits;
      if (c.rental) m.rentalClass = "I";
      m.motorVehicle = c.motorVehicle;
      out.push_back(m);
    }
  } else {
    GroupMember n1;
    n1.file = FileEntry("North1.MYO", "Northern Holdings Pty Ltd",
                     "GROUPNAME=NORTH CONSOLIDATE 100% SHORTNAME=NORTHERN1 EMPLOYEES=12", "NORTH", 100, "NORTHERN", 12);
    n1.seed = 11;
    n1.wagesHeader = true;
    n1.rentalClass = "I";
    GroupMember n2;
    n2.file = FileEntry("North2.MYO", "Northern Retail Pty Ltd",
                     "Group name: north consolidate 60% shortname=northern2 employees=25", "NORTH", 60, "NORTHERN", 25);
    n2.seed = 12;
    n2.rentalClass = "OI";
    n2.consultingName = "Consulting Income";
    GroupMember n3;
    n3.file = FileEntry("North3.MYO", "Northern Services Pty Ltd", "GROUPNAME=NORTH CONSOLIDATE 33.333% EMPLOYEES 5",
                     "NORTH", 33.333, "", 5, 12);
    n3.seed = 13;
    n3.motorVehicle = true;
    GroupMember n4;
    n4.file = FileEntry("North4.MYO", "Northern Logistics Pty Ltd", "GROUPNAME=NORTH SHORTNAME=NTHLOG", "NORTH", 100,
                     "NTHLOG", 0);
    n4.seed = 14;
    n4.payroll = false;
    GroupMember n5;
    n5.file = FileEntry("North5.MYO", "Northern Property Pty Ltd", "", "", 100, "", 0);
    n5.file.accepted = false;
    n5.top = false;
    n5.seed = 15;
    GroupMember s1;
    s1.file = FileEntry("South1.MYO", "Southern Traders Pty Ltd",
                     "GROUPNAME=SOUTH CONSOLIDATE 50% SHORTNAME=STH1 EMPLOYEES=8", "SOUTH", 50, "STH1", 8);
    s1.seed = 16;
    s1.salesUnits = 3000;
    s1.purchaseRefunds = true;
    s1.chargeRebates = true;
    s1.interest = false;
    GroupMember w;
    w.file = FileEntry("Westside.myo", "Westside Traders Pty Ltd",
                    "GROUPNAME=NORTH CONSOLIDATE 100% SHORTNAME=WEST EMPLOYEES=3", "NORTH", 100, "WEST", 3);
    w.seed = 17;
    for (auto* m : {&n1, &n2, &n3, &n4, &n5, &s1, &w}) out.push_back(*m);
    AddRefused(out, "NORTH", false);
  }
  std::sort(out.begin(), out.end(), [](const GroupMember& x, const GroupMember& y) { return x.file.name < y.file.name; });
  return out;
}

}  // namespace

std::vector<GroupFolderFile> GroupFolderFiles(const GroupFolderOptions& options) {
  std::vector<GroupFolderFile> files;
  for (const auto& m : GroupMembers(options)) files.push_back(m.file);
  return files;
}

std::vector<GroupFolderFile> BuildGroupFolder(const std::string& folder, const GroupFolderOptions& options) {
  if (options.months < 1 || options.months > 24) throw std::invalid_argument("group folder: months must be 1 to 24");
  if (options.acceptedFiles < 0 || options.acceptedFiles > 999)
    throw std::invalid_argument("group folder: at most 999 generated files");
  std::set<std::string> names;
  for (const auto& m : GroupMembers(options)) {
    if (m.file.name.empty() || m.file.name.find('/') != std::string::npos || !names.insert(m.file.name).second)
      throw std::invalid_argument("group folder: file names must be plain and distinct: \"" + m.file.name + "\"");
  }
  std::filesystem::create_directories(folder);
  std::vector<GroupFolderFile> files;
  for (const auto& m : GroupMembers(options)) {
    BuildGroupMember(folder + "/" + m.file.name, m, options.months);
    files.push_back(m.file);
  }
  return files;
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
  // A folder left by an older builder may hold files that the folder no longer has.
  std::filesystem::remove_all(folder + "/Group");
  BuildGroupFolder(folder + "/Group");
}

}  // namespace qvx::samples
