#include "samples/CompanyFile.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <tuple>
#include <unordered_map>
#include <variant>

namespace qvx::samples {

extern const char* const kSchemaSql;

namespace {

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtCloser {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};

using Value = std::variant<std::monostate, int64_t, double, std::string, Money>;

Value Int(int64_t v) { return Value{v}; }
Value Text(std::string s) { return Value{std::move(s)}; }
Value Flag(bool b) { return Value{std::string(b ? "Y" : "N")}; }

Money Round2(Money m) {
  // Half away from zero to the cent.
  int64_t raw = m.Raw();
  int64_t q = raw / 100;
  int64_t r = raw % 100;
  if (r >= 50) ++q;
  if (r <= -50) --q;
  return Money::FromRaw(q * 100);
}

Money Local(Money m, double rate) { return rate == 1.0 || rate == 0.0 ? m : Round2(m * rate); }

struct DocInfo {
  int receivable = 0;  // or payable
  double rate = 1.0;
};

struct TaxInfo {
  int collected = 0;
  int paid = 0;
};

struct ItemInfo {
  bool inventoried = false;
  int income = 0, expense = 0, inventory = 0;
};

}  // namespace

struct CompanyFile::Impl {
  CompanySetup setup;
  std::unique_ptr<sqlite3, DbCloser> db;
  std::unordered_map<std::string, std::unique_ptr<sqlite3_stmt, StmtCloser>> inserts;
  std::map<std::string, int> accountIds;
  std::unordered_map<int, char> accountClass;
  std::unordered_map<int, int> exchangeAccount;
  std::unordered_map<int, std::pair<int, int>> currencyAccounts;  // receivable, payable
  std::unordered_map<int, TaxInfo> taxCodes;
  int firstTaxCode = 0;
  std::unordered_map<int, ItemInfo> items;
  std::unordered_map<int, int> activityIncome;
  std::unordered_map<int, DocInfo> sales, purchases;
  LinkedAccountsDef linked;
  std::map<std::tuple<int, int, int>, Money> balances;  // account, year, period -> journal total
  std::map<std::string, int> counters;
  bool finished = false;

  int Next(const std::string& key) { return ++counters[key]; }

  void Exec(const std::string& sql) {
    char* err = nullptr;
    if (sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
      std::string msg = err ? err : "unknown error";
      sqlite3_free(err);
      throw std::runtime_error("company file: " + msg);
    }
  }

  void Insert(const std::string& table, const std::vector<std::pair<const char*, Value>>& values) {
    std::string sql = "INSERT INTO " + table + " (";
    std::string marks;
    for (size_t i = 0; i < values.size(); ++i) {
      if (i) {
        sql += ", ";
        marks += ", ";
      }
      sql += values[i].first;
      marks += "?";
    }
    sql += ") VALUES (" + marks + ")";
    auto it = inserts.find(sql);
    if (it == inserts.end()) {
      sqlite3_stmt* raw = nullptr;
      if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        throw std::runtime_error("company file: " + std::string(sqlite3_errmsg(db.get())) + " in " + sql);
      it = inserts.emplace(sql, std::unique_ptr<sqlite3_stmt, StmtCloser>(raw)).first;
    }
    sqlite3_stmt* st = it->second.get();
    sqlite3_reset(st);
    for (size_t i = 0; i < values.size(); ++i) {
      int idx = static_cast<int>(i + 1);
      const Value& v = values[i].second;
      if (std::holds_alternative<int64_t>(v)) sqlite3_bind_int64(st, idx, std::get<int64_t>(v));
      else if (std::holds_alternative<double>(v)) sqlite3_bind_double(st, idx, std::get<double>(v));
      else if (std::holds_alternative<std::string>(v))
        sqlite3_bind_text(st, idx, std::get<std::string>(v).c_str(), -1, SQLITE_TRANSIENT);
      else if (std::holds_alternative<Money>(v)) {
        int64_t raw = std::get<Money>(v).Raw();
        if (raw % 10000 == 0) sqlite3_bind_int64(st, idx, raw / 10000);
        else sqlite3_bind_double(st, idx, static_cast<double>(raw) / 10000.0);
      } else sqlite3_bind_null(st, idx);
    }
    if (sqlite3_step(st) != SQLITE_DONE)
      throw std::runtime_error("company file: " + std::string(sqlite3_errmsg(db.get())) + " in " + sql);
  }

  // Financial year and period (1-12) of a date.
  std::pair<int, int> PeriodOf(const std::string& date) const {
    int y = std::stoi(date.substr(0, 4));
    int m = std::stoi(date.substr(5, 2));
    int first = setup.lastMonthInFinancialYear % 12 + 1;
    int period = (m - first + 12) % 12 + 1;
    int year = first == 1 ? y : (m >= first ? y + 1 : y);
    return {year, period};
  }

  // Account of a line's tax; tax paid where the code has no paid account (sales tax of "USA"
  // files) becomes part of the cost, on `costAccount`.
  int TaxAccount(int code, bool collected, int costAccount = 0) const {
    int c = code ? code : firstTaxCode;
    auto it = taxCodes.find(c);
    if (it == taxCodes.end()) throw std::invalid_argument("company file: tax on a line without a tax code");
    int account = collected ? it->second.collected : it->second.paid;
    if (account == 0) account = costAccount;
    if (account == 0) throw std::invalid_argument("company file: tax code without an account");
    return account;
  }
};

Money M(const char* text) { return Money::Parse(text); }

CompanyFile::CompanyFile(const std::string& path, const CompanySetup& setup) : impl_(std::make_unique<Impl>()) {
  Impl& d = *impl_;
  d.setup = setup;
  std::error_code ec;
  std::filesystem::remove(path, ec);
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  d.db.reset(raw);
  if (rc != SQLITE_OK) throw std::runtime_error("company file: cannot create " + path);
  d.Exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; PRAGMA page_size = 4096;");
  d.Exec("BEGIN");
  d.Exec(kSchemaSql);
  bool ar = setup.ar2011;
  d.Insert("DataFileInformation",
           {{"CompanyName", Text(setup.companyName)},
            {"SerialNumber", Text("612345678901")},
            {"CurrentFinancialYear", Int(setup.currentFinancialYear)},
            {"LastMonthInFinancialYear", Int(setup.lastMonthInFinancialYear)},
            {"Phone", Text(setup.phone)},
            {"FaxNumber", Text(setup.fax)},
            {"Address", Text(setup.address)},
            {"UseMultipleCurrencies", Flag(setup.multiCurrency)},
            {"DataBaseVersion", Text(setup.databaseVersion)},
            {"DataFileCountry", Text(setup.country)},
            {"UseCategories", Flag(ar)},
            {"RequireCategories", Flag(false)},
            {"UseCostCentres", Flag(false)},
            {"CostCentresRequired", Flag(false)},
            {"ChangeControl", Text("Y")},
            {"DriverBuildNumber", Text(ar ? "2011.0.1" : "10.0.2")}});
  for (const auto& [user, password] : setup.users)
    d.Insert("DriverUsers", {{"UserID", Text(user)}, {"Password", Text(password)}});
}

CompanyFile::~CompanyFile() {
  try {
    Finish();
  } catch (...) {
    // A destructor cannot report; Finish() called explicitly does.
  }
}

const CompanySetup& CompanyFile::Setup() const { return impl_->setup; }

int CompanyFile::AddAccount(const AccountDef& a) {
  Impl& d = *impl_;
  int id = d.Next("Accounts");
  std::string cls = a.number.substr(0, 1);
  // The classification follows the class digit of the number; class 7 is not used by the
  // charts (8 is other income, 9 other expenses).
  static const char* kClassNames[] = {"", "A", "L", "EQ", "I", "COS", "EXP", "", "OI", "OE"};
  int digit = cls.empty() ? 0 : cls[0] - '0';
  std::string classification = a.classification;
  if (classification.empty() && digit >= 1 && digit <= 9) classification = kClassNames[digit];
  d.Insert("Accounts", {{"AccountID", Int(id)},
                        {"ParentAccountID", Int(a.parent)},
                        {"AccountNumber", Text(a.number)},
                        {"AccountName", Text(a.name)},
                        {"AccountTypeID", Text(std::string(1, a.type))},
                        {"AccountLevel", Int(a.level)},
                        {"AccountClassificationID", Text(classification)},
                        {"SubAccountClassificationID", Text(a.subClass)},
                        {"CurrencyID", Int(a.currency)},
                        {"CurrencyExchangeAccountID", Int(a.currencyExchangeAccount ? a.currencyExchangeAccount : id)},
                        {"TaxCodeID", Int(0)},
                        {"ThisYearOpeningBalance", Value{a.openingBalance}},
                        {"IsActive", Flag(true)},
                        {"AccountDescription", Text(a.description)}});
  d.accountIds[a.number] = id;
  d.accountClass[id] = cls.empty() ? '0' : cls[0];
  if (a.currencyExchangeAccount) d.exchangeAccount[id] = a.currencyExchangeAccount;
  return id;
}

int CompanyFile::AccountId(const std::string& number) const {
  auto it = impl_->accountIds.find(number);
  return it == impl_->accountIds.end() ? 0 : it->second;
}

void CompanyFile::SetLinkedAccounts(const LinkedAccountsDef& l) {
  Impl& d = *impl_;
  d.linked = l;
  d.Exec("DELETE FROM LinkedAccounts");
  d.Insert("LinkedAccounts", {{"ReceivablesAccountID", Int(l.receivables)},
                              {"PayablesAccountID", Int(l.payables)},
                              {"ReceivablesDepositsID", Int(l.receivablesDeposits)},
                              {"PayablesDepositsID", Int(l.payablesDeposits)},
                              {"ReceivablesDiscountsID", Int(l.receivablesDiscounts)},
                              {"PayablesDiscountsID", Int(l.payablesDiscounts)},
                              {"ReceivablesFreightID", Int(l.receivablesFreight)},
                              {"PayablesFreightID", Int(l.payablesFreight)}});
}

int CompanyFile::AddTaxCode(const std::string& code, double rate, int collectedAccount, int paidAccount) {
  Impl& d = *impl_;
  int id = d.Next("TaxCodes");
  d.Insert("TaxCodes", {{"TaxCodeID", Int(id)},
                        {"TaxCode", Text(code)},
                        {"TaxCodeDescription", Text(code + " tax")},
                        {"TaxPercentageRate", Value{rate}},
                        {"TaxCollectedAccountID", Int(collectedAccount)},
                        {"TaxPaidAccountID", Int(paidAccount)}});
  d.taxCodes[id] = {collectedAccount, paidAccount};
  if (d.firstTaxCode == 0 && (collectedAccount || paidAccount)) d.firstTaxCode = id;
  return id;
}

int CompanyFile::AddCurrency(const std::string& code, const std::string& name, double rate, int receivablesAccount,
                             int payablesAccount, const std::string& symbol) {
  Impl& d = *impl_;
  int id = d.Next("Currency");
  d.Insert("Currency", {{"CurrencyID", Int(id)},
                        {"CurrencyCode", Text(code)},
                        {"CurrencyName", Text(name)},
                        {"ExchangeRate", Value{rate}},
                        {"CurrencySymbol", Text(symbol)},
                        {"SymbolPosition", Text("B")},
                        {"LinkedReceivablesAccountID", Int(receivablesAccount)},
                        {"LinkedPayablesAccountID", Int(payablesAccount)}});
  d.currencyAccounts[id] = {receivablesAccount, payablesAccount};
  return id;
}

int CompanyFile::AddItem(const std::string& number, const std::string& name, bool inventoried, int incomeAccount,
                         int expenseAccount, int inventoryAccount) {
  Impl& d = *impl_;
  int id = d.Next("Items");
  d.Insert("Items", {{"ItemID", Int(id)},
                     {"ItemNumber", Text(number)},
                     {"ItemName", Text(name)},
                     {"ItemIsBought", Flag(true)},
                     {"ItemIsSold", Flag(true)},
                     {"ItemIsInventoried", Flag(inventoried)},
                     {"IncomeAccountID", Int(incomeAccount)},
                     {"ExpenseAccountID", Int(expenseAccount)},
                     {"InventoryAccountID", Int(inventoryAccount)}});
  d.items[id] = {inventoried, incomeAccount, expenseAccount, inventoryAccount};
  return id;
}

int CompanyFile::AddActivity(const std::string& code, const std::string& name, int incomeAccount) {
  Impl& d = *impl_;
  int id = d.Next("Activities");
  d.Insert("Activities", {{"ActivityID", Int(id)},
                          {"ActivityCode", Text(code)},
                          {"ActivityName", Text(name)},
                          {"IncomeAccountID", Int(incomeAccount)}});
  d.activityIncome[id] = incomeAccount;
  return id;
}

int CompanyFile::AddJob(const std::string& number, const std::string& name) {
  Impl& d = *impl_;
  int id = d.Next("Jobs");
  d.Insert("Jobs", {{"JobID", Int(id)}, {"JobNumber", Text(number)}, {"JobName", Text(name)}});
  return id;
}

int CompanyFile::AddCard(char type, const std::string& name) {
  Impl& d = *impl_;
  int id = d.Next("Cards");
  d.Insert("Cards", {{"CardRecordID", Int(id)}, {"CardTypeID", Text(std::string(1, type))}, {"Name", Text(name)}});
  return id;
}

int CompanyFile::AddCustomList(const std::string& type, int number, const std::string& name, const std::string& text) {
  Impl& d = *impl_;
  int id = d.Next("CustomLists");
  d.Insert("CustomLists", {{"CustomListID", Int(id)},
                           {"CustomListText", Text(text)},
                           {"CustomListNumber", Int(number)},
                           {"CustomListName", Text(name)},
                           {"CustomListType", Text(type)}});
  return id;
}

void CompanyFile::AddBudget(int account, int financialYear, int period, Money amount) {
  impl_->Insert("AccountBudgets", {{"AccountID", Int(account)},
                                   {"FinancialYear", Int(financialYear)},
                                   {"Period", Int(period)},
                                   {"Amount", Value{amount}}});
}

int CompanyFile::AddJournalSet(const std::string& type, int sourceId, const std::string& date,
                               const std::vector<std::pair<int, Money>>& lines, int currency, double rate,
                               const std::string& memo) {
  Impl& d = *impl_;
  Money sum;
  for (const auto& l : lines) sum += l.second;
  if (sum != Money()) throw std::invalid_argument("company file: journal set " + type + " does not balance");
  int setId = d.Next("JournalSets");
  d.Insert("JournalSets", {{"SetID", Int(setId)},
                           {"JournalTypeID", Text(type)},
                           {"SourceID", Int(sourceId)},
                           {"TransactionNumber", Text(type + std::to_string(sourceId))},
                           {"Memo", Text(memo)},
                           {"CurrencyID", Int(currency)},
                           {"TransactionExchangeRate", Value{rate}}});
  auto [year, period] = d.PeriodOf(date);
  for (const auto& [account, amount] : lines) {
    if (amount == Money()) continue;
    d.Insert("JournalRecords", {{"JournalRecordID", Int(d.Next("JournalRecords"))},
                                {"SetID", Int(setId)},
                                {"AccountID", Int(account)},
                                {"TransactionDate", Text(date)},
                                {"TaxExclusiveAmount", Value{amount}},
                                {"JobID", Int(0)},
                                {"IsForeignTransaction", Flag(currency != 0)}});
    d.balances[{account, year, period}] += amount;
  }
  return setId;
}

namespace {

const char* KindName(char type) {
  switch (type) {
    case 'S': return "Service";
    case 'I': return "Item";
    case 'P': return "Professional";
    case 'T': return "TimeBilling";
    case 'M': return "Misc";
    default: throw std::invalid_argument(std::string("company file: unknown document type ") + type);
  }
}

// Adds (account, amount) to a set's lines, merging equal accounts.
void AddTo(std::vector<std::pair<int, Money>>& lines, int account, Money amount) {
  for (auto& l : lines) {
    if (l.first == account) {
      l.second += amount;
      return;
    }
  }
  lines.emplace_back(account, amount);
}

}  // namespace

int CompanyFile::AddSale(const Document& s) {
  Impl& d = *impl_;
  bool ar = d.setup.ar2011;
  bool order = s.status == "OR" || s.status == "Q";
  int id = d.Next("Sales");
  Money totalLines, totalTax = s.freightTax;
  for (const auto& l : s.lines) {
    totalLines += l.amount;
    totalTax += l.tax;
  }
  std::string header = ar ? (order ? "SalesOrders" : "SalesInvoices") : "Sales";
  d.Insert(header, {{"SaleID", Int(id)},
                    {"CardRecordID", Int(s.card)},
                    {"InvoiceNumber", Text(s.number.empty() ? std::to_string(100000 + id).substr(1) : s.number)},
                    {"InvoiceDate", Text(s.date)},
                    {"InvoiceTypeID", Text(std::string(1, s.type))},
                    {"InvoiceStatusID", Text(s.status)},
                    {"CurrencyID", Int(s.currency)},
                    {"TransactionExchangeRate", Value{s.rate}},
                    {"TotalLines", Value{totalLines}},
                    {"TaxExclusiveFreight", Value{s.freight}},
                    {"TaxInclusiveFreight", Value{s.freight + s.freightTax}},
                    {"TotalTax", Value{totalTax}},
                    {"FreightTaxCodeID", Int(s.freightTaxCode)},
                    {"CategoryID", Int(0)},
                    {"CostCentreID", Int(0)}});
  std::string table = std::string(KindName(s.type)) + "Sale" + (ar ? (order ? "OrderLines" : "InvoiceLines") : "Lines");
  std::vector<std::pair<int, Money>> journal;
  int lineNo = 0;
  for (const auto& l : s.lines) {
    int lineId = d.Next("SaleLines");
    ++lineNo;
    int income = l.account;
    if (s.type == 'I') {
      d.Insert(table, {{"SaleLineID", Int(lineId)},
                       {"SaleID", Int(id)},
                       {"LineNumber", Int(lineNo)},
                       {"ItemID", Int(l.item)},
                       {"Quantity", Value{l.quantity}},
                       {"JobID", Int(l.job)},
                       {"TaxCodeID", Int(l.taxCode)},
                       {"Description", Text(l.description)},
                       {"TaxExclusiveTotal", Value{l.amount}},
                       {"TaxInclusiveTotal", Value{l.amount + l.tax}},
                       {"TaxAmount", Value{l.tax}},
                       {"CostofGoodsSoldAmount", Value{l.costOfGoods}}});
      const ItemInfo& item = d.items.at(l.item);
      income = item.income;
      if (!order && l.costOfGoods != Money()) {
        AddTo(journal, item.expense, l.costOfGoods);
        AddTo(journal, item.inventoried ? item.inventory : item.expense, -l.costOfGoods);
      }
    } else if (s.type == 'T') {
      d.Insert(table, {{"SaleLineID", Int(lineId)},
                       {"SaleID", Int(id)},
                       {"LineNumber", Int(lineNo)},
                       {"ActivityID", Int(l.activity)},
                       {"Units", Value{l.quantity}},
                       {"JobID", Int(l.job)},
                       {"TaxCodeID", Int(l.taxCode)},
                       {"Notes", Text(l.description)},
                       {"TaxExclusiveAmount", Value{l.amount}},
                       {"TaxInclusiveAmount", Value{l.amount + l.tax}},
                       {"TaxAmount", Value{l.tax}}});
      income = d.activityIncome.at(l.activity);
    } else {
      d.Insert(table, {{"SaleLineID", Int(lineId)},
                       {"SaleID", Int(id)},
                       {"LineNumber", Int(lineNo)},
                       {"AccountID", Int(l.account)},
                       {"JobID", Int(l.job)},
                       {"TaxCodeID", Int(l.taxCode)},
                       {"Description", Text(l.description)},
                       {"TaxExclusiveAmount", Value{l.amount}},
                       {"TaxInclusiveAmount", Value{l.amount + l.tax}},
                       {"TaxAmount", Value{l.tax}}});
    }
    if (!order) {
      AddTo(journal, income, -Local(l.amount, s.rate));
      if (l.tax != Money()) AddTo(journal, d.TaxAccount(l.taxCode, true), -Local(l.tax, s.rate));
    }
  }
  if (order) return id;
  if (s.freight != Money()) AddTo(journal, d.linked.receivablesFreight, -Local(s.freight, s.rate));
  if (s.freightTax != Money()) AddTo(journal, d.TaxAccount(s.freightTaxCode, true), -Local(s.freightTax, s.rate));
  int receivable = s.currency ? d.currencyAccounts.at(s.currency).first : d.linked.receivables;
  Money sum;
  for (const auto& l : journal) sum += l.second;
  AddTo(journal, receivable, -sum);
  d.sales[id] = {receivable, s.rate};
  AddJournalSet("SI", id, s.date, journal, s.currency, s.rate, s.memo);
  return id;
}

int CompanyFile::AddPurchase(const Document& p) {
  Impl& d = *impl_;
  bool ar = d.setup.ar2011;
  bool order = p.status == "OR" || p.status == "Q";
  int id = d.Next("Purchases");
  Money totalLines, totalTax = p.freightTax;
  for (const auto& l : p.lines) {
    totalLines += l.amount;
    totalTax += l.tax;
  }
  d.Insert("Purchases", {{"PurchaseID", Int(id)},
                         {"CardRecordID", Int(p.card)},
                         {"PurchaseNumber", Text(p.number.empty() ? std::to_string(100000 + id).substr(1) : p.number)},
                         {"PurchaseDate", Text(p.date)},
                         {"PurchaseTypeID", Text(std::string(1, p.type))},
                         {"PurchaseStatusID", Text(p.status)},
                         {"CurrencyID", Int(p.currency)},
                         {"TransactionExchangeRate", Value{p.rate}},
                         {"TotalLines", Value{totalLines}},
                         {"TaxExclusiveFreight", Value{p.freight}},
                         {"TaxInclusiveFreight", Value{p.freight + p.freightTax}},
                         {"TotalTax", Value{totalTax}},
                         {"FreightTaxCodeID", Int(p.freightTaxCode)},
                         {"CategoryID", Int(0)},
                         {"CostCentreID", Int(0)}});
  if (p.type == 'T') throw std::invalid_argument("company file: purchases have no time-billing layout");
  std::string table =
      std::string(KindName(p.type)) + "Purchase" + (ar ? (order ? "OrderLines" : "InvoiceLines") : "Lines");
  std::vector<std::pair<int, Money>> journal;
  int lineNo = 0;
  for (const auto& l : p.lines) {
    int lineId = d.Next("PurchaseLines");
    ++lineNo;
    int account = l.account;
    if (p.type == 'I') {
      d.Insert(table, {{"PurchaseLineID", Int(lineId)},
                       {"PurchaseID", Int(id)},
                       {"LineNumber", Int(lineNo)},
                       {"ItemID", Int(l.item)},
                       {"Quantity", Value{l.quantity}},
                       {"JobID", Int(l.job)},
                       {"TaxCodeID", Int(l.taxCode)},
                       {"Description", Text(l.description)},
                       {"TaxExclusiveTotal", Value{l.amount}},
                       {"TaxInclusiveTotal", Value{l.amount + l.tax}},
                       {"TaxAmount", Value{l.tax}}});
      const ItemInfo& item = d.items.at(l.item);
      account = item.inventoried ? item.inventory : item.expense;
    } else {
      d.Insert(table, {{"PurchaseLineID", Int(lineId)},
                       {"PurchaseID", Int(id)},
                       {"LineNumber", Int(lineNo)},
                       {"AccountID", Int(l.account)},
                       {"JobID", Int(l.job)},
                       {"TaxCodeID", Int(l.taxCode)},
                       {"Description", Text(l.description)},
                       {"TaxExclusiveAmount", Value{l.amount}},
                       {"TaxInclusiveAmount", Value{l.amount + l.tax}},
                       {"TaxAmount", Value{l.tax}}});
    }
    if (!order) {
      AddTo(journal, account, Local(l.amount, p.rate));
      if (l.tax != Money()) AddTo(journal, d.TaxAccount(l.taxCode, false, account), Local(l.tax, p.rate));
    }
  }
  if (order) return id;
  if (p.freight != Money()) AddTo(journal, d.linked.payablesFreight, Local(p.freight, p.rate));
  if (p.freightTax != Money())
    AddTo(journal, d.TaxAccount(p.freightTaxCode, false, d.linked.payablesFreight), Local(p.freightTax, p.rate));
  int payable = p.currency ? d.currencyAccounts.at(p.currency).second : d.linked.payables;
  Money sum;
  for (const auto& l : journal) sum += l.second;
  AddTo(journal, payable, -sum);
  d.purchases[id] = {payable, p.rate};
  AddJournalSet("PS", id, p.date, journal, p.currency, p.rate, p.memo);
  return id;
}

namespace {

// Journal lines of a payment: the bank line, the ledger relief per document at the document's
// rate, and any difference of rates on the ledger account's exchange account.
std::vector<std::pair<int, Money>> PaymentJournal(const Payment& p, const std::unordered_map<int, DocInfo>& docs,
                                                   const std::unordered_map<int, int>& exchange, int sign) {
  std::vector<std::pair<int, Money>> journal;
  Money total;
  for (const auto& [doc, amount] : p.applied) total += amount;
  Money bank = Local(total, p.rate);
  AddTo(journal, p.account, Money::FromRaw(sign * bank.Raw()));
  Money relieved;
  int lastLedger = 0;
  for (const auto& [doc, amount] : p.applied) {
    const DocInfo& info = docs.at(doc);
    Money local = Local(amount, info.rate);
    AddTo(journal, info.receivable, Money::FromRaw(-sign * local.Raw()));
    relieved += local;
    lastLedger = info.receivable;
  }
  Money diff = bank - relieved;
  if (diff != Money()) {
    auto it = exchange.find(lastLedger);
    int gain = it != exchange.end() ? it->second : lastLedger;
    AddTo(journal, gain, Money::FromRaw(-sign * diff.Raw()));
  }
  return journal;
}

}  // namespace

int CompanyFile::AddCustomerPayment(const Payment& p) {
  Impl& d = *impl_;
  int id = d.Next("CustomerPayments");
  Money total;
  for (const auto& a : p.applied) total += a.second;
  d.Insert("CustomerPayments", {{"CustomerPaymentID", Int(id)},
                                {"PaymentNumber", Text(std::to_string(id))},
                                {"TransactionDate", Text(p.date)},
                                {"Memo", Text(p.memo)},
                                {"CardRecordID", Int(p.card)},
                                {"CurrencyID", Int(p.currency)},
                                {"TransactionExchangeRate", Value{p.rate}},
                                {"TotalCustomerPayment", Value{total}}});
  for (const auto& [sale, amount] : p.applied) {
    if (!d.sales.count(sale)) throw std::invalid_argument("company file: payment of an unknown sale");
    d.Insert("CustomerPaymentLines", {{"CustomerPaymentLineID", Int(d.Next("CustomerPaymentLines"))},
                                      {"CustomerPaymentID", Int(id)},
                                      {"SaleID", Int(sale)},
                                      {"AmountApplied", Value{amount}}});
  }
  AddJournalSet("CP", id, p.date, PaymentJournal(p, d.sales, d.exchangeAccount, 1), p.currency, p.rate, p.memo);
  return id;
}

int CompanyFile::AddSupplierPayment(const Payment& p) {
  Impl& d = *impl_;
  bool usa = d.setup.country == "USA";
  std::string who = usa ? "Vendor" : "Supplier";
  int id = d.Next(who + "Payments");
  Money total;
  for (const auto& a : p.applied) total += a.second;
  d.Insert(who + "Payments", {{(who + "PaymentID").c_str(), Int(id)},
                              {"PaymentNumber", Text(std::to_string(id))},
                              {"TransactionDate", Text(p.date)},
                              {"Memo", Text(p.memo)},
                              {"CardRecordID", Int(p.card)},
                              {"CurrencyID", Int(p.currency)},
                              {"TransactionExchangeRate", Value{p.rate}},
                              {usa ? "TotalVendorPayment" : "TotalSupplierPayment", Value{total}}});
  for (const auto& [purchase, amount] : p.applied) {
    if (!d.purchases.count(purchase)) throw std::invalid_argument("company file: payment of an unknown purchase");
    d.Insert(who + "PaymentLines", {{usa ? "VendorPaymentLineID" : "SupplierPaymentLineID",
                                     Int(d.Next(who + "PaymentLines"))},
                                    {usa ? "VendorPaymentID" : "SupplierPaymentID", Int(id)},
                                    {"PurchaseID", Int(purchase)},
                                    {"AmountApplied", Value{amount}}});
  }
  AddJournalSet(usa ? "VP" : "SP", id, p.date, PaymentJournal(p, d.purchases, d.exchangeAccount, -1), p.currency,
                p.rate, p.memo);
  return id;
}

namespace {

// Table and column names of the two banking documents.
struct BankingNames {
  const char* header;
  const char* id;
  const char* number;
  const char* account;
  const char* total;
  const char* lines;
  const char* lineId;
  const char* journalType;
};

constexpr BankingNames kSpent{"MoneySpent", "MoneySpentID", "ChequeNumber", "IssuingAccountID", "TotalSpentAmount",
                              "MoneySpentLines", "MoneySpentLineID", "MS"};
constexpr BankingNames kReceived{"MoneyReceived", "MoneyReceivedID", "DepositNumber", "RecipientAccountID",
                                 "TotalAmountReceived", "MoneyReceivedLines", "MoneyReceivedLineID", "MR"};

}  // namespace

// Money spent: the lines are debits, the issuing account is credited. Money received: the
// lines are credits, the recipient account is debited.
int CompanyFile::AddBanking(const Banking& b, bool spent) {
  Impl& d = *impl_;
  const BankingNames& n = spent ? kSpent : kReceived;
  int id = d.Next(n.header);
  std::vector<std::pair<int, Money>> journal;
  Money total;
  for (const auto& l : b.lines) total += l.amount + l.tax;
  d.Insert(n.header, {{n.id, Int(id)},
                      {n.number, Text(std::to_string(spent ? 1000 + id : id))},
                      {n.account, Int(b.account)},
                      {"CardRecordID", Int(b.card)},
                      {"TransactionDate", Text(b.date)},
                      {n.total, Value{total}},
                      {"CurrencyID", Int(b.currency)},
                      {"TransactionExchangeRate", Value{b.rate}},
                      {"Memo", Text(b.memo)},
                      {"CategoryID", Int(0)},
                      {"CostCentreID", Int(0)}});
  int lineNo = 0;
  for (const auto& l : b.lines) {
    d.Insert(n.lines, {{n.lineId, Int(d.Next(n.lines))},
                       {n.id, Int(id)},
                       {"LineNumber", Int(++lineNo)},
                       {"AccountID", Int(l.account)},
                       {"TaxExclusiveAmount", Value{l.amount}},
                       {"TaxInclusiveAmount", Value{l.amount + l.tax}},
                       {"TaxAmount", Value{l.tax}},
                       {"JobID", Int(l.job)},
                       {"TaxCodeID", Int(l.taxCode)},
                       {"LineMemo", Text(l.description)}});
    Money amount = Local(l.amount, b.rate);
    AddTo(journal, l.account, spent ? amount : -amount);
    if (l.tax != Money()) {
      Money tax = Local(l.tax, b.rate);
      AddTo(journal, d.TaxAccount(l.taxCode, !spent, l.account), spent ? tax : -tax);
    }
  }
  Money sum;
  for (const auto& l : journal) sum += l.second;
  AddTo(journal, b.account, -sum);
  AddJournalSet(n.journalType, id, b.date, journal, b.currency, b.rate, b.memo);
  return id;
}

int CompanyFile::AddMoneySpent(const Banking& spent) { return AddBanking(spent, true); }

int CompanyFile::AddMoneyReceived(const Banking& received) { return AddBanking(received, false); }

int CompanyFile::AddGeneralJournal(const Journal& j) {
  Impl& d = *impl_;
  int id = d.Next("GeneralJournals");
  d.Insert("GeneralJournals", {{"GeneralJournalID", Int(id)},
                               {"GeneralJournalNumber", Text("GJ" + std::to_string(id))},
                               {"Memo", Text(j.memo)},
                               {"TransactionDate", Text(j.date)},
                               {"CurrencyID", Int(0)},
                               {"TransactionExchangeRate", Value{j.rate}},
                               {"GSTReportingMethodID", Text("S")},
                               {"CategoryID", Int(0)},
                               {"CostCentreID", Int(0)}});
  std::vector<std::pair<int, Money>> journal;
  int lineNo = 0;
  for (const auto& l : j.lines) {
    d.Insert("GeneralJournalLines", {{"GeneralJournalLineID", Int(d.Next("GeneralJournalLines"))},
                                     {"GeneralJournalID", Int(id)},
                                     {"LineNumber", Int(++lineNo)},
                                     {"AccountID", Int(l.account)},
                                     {"TaxExclusiveAmount", Value{l.amount}},
                                     {"TaxInclusiveAmount", Value{l.amount + l.tax}},
                                     {"TaxAmount", Value{l.tax}},
                                     {"LineMemo", Text(l.description)},
                                     {"JobID", Int(l.job)},
                                     {"TaxCodeID", Int(l.taxCode)}});
    AddTo(journal, l.account, Local(l.amount, j.rate));
  }
  AddJournalSet("GJ", id, j.date, journal, 0, j.rate, j.memo);
  return id;
}

int CompanyFile::AddPayCheque(const PayCheque& c) {
  Impl& d = *impl_;
  int id = d.Next("WritePayCheque");
  Money net;
  for (const auto& l : c.lines) net += l.amount;
  d.Insert("WritePayCheque", {{"WritePayChequeID", Int(id)},
                              {"ChequeNumber", Text(std::to_string(5000 + id))},
                              {"TransactionDate", Text(c.date)},
                              {"CardRecordID", Int(c.card)},
                              {"NetPay", Value{net}},
                              {"Memo", Text(c.memo)},
                              {"TransactionExchangeRate", Value{1.0}},
                              {"CategoryID", Int(0)},
                              {"CostCentreID", Int(0)}});
  std::vector<std::pair<int, Money>> journal;
  for (const auto& l : c.lines) {
    d.Insert("WritePayChequeLines", {{"WritePayChequeLineID", Int(d.Next("WritePayChequeLines"))},
                                     {"WritePayChequeID", Int(id)},
                                     {"AccountID", Int(l.account)},
                                     {"Amount", Value{l.amount}},
                                     {"JobID", Int(l.job)}});
    AddTo(journal, l.account, l.amount);
  }
  AddTo(journal, c.account, -net);
  AddJournalSet("WP", id, c.date, journal, 0, 1.0, c.memo);
  return id;
}

void CompanyFile::Exec(const std::string& sql) { impl_->Exec(sql); }

void CompanyFile::Finish() {
  Impl& d = *impl_;
  if (d.finished) return;
  d.finished = true;
  for (const auto& [key, amount] : d.balances) {
    if (amount == Money()) continue;
    auto [account, year, period] = key;
    char cls = d.accountClass.count(account) ? d.accountClass.at(account) : '0';
    bool creditNormal = cls == '2' || cls == '3' || cls == '4' || cls == '8';
    d.Insert("AccountActivities", {{"AccountID", Int(account)},
                                   {"FinancialYear", Int(year)},
                                   {"Period", Int(period)},
                                   {"Amount", Value{creditNormal ? -amount : amount}}});
  }
  d.inserts.clear();
  d.Exec("COMMIT");
  d.Exec("ANALYZE");
  d.Exec("PRAGMA journal_mode = DELETE");
  d.db.reset();
}

}  // namespace qvx::samples
