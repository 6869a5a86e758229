// Builds company files: the schema, the company's settings and users, reference data,
// and source documents together with the journal sets they produce.
//
// Every document method writes the document's own rows (header and lines) and one journal
// set whose lines sum to zero (debits positive, credits negative), in the company's base
// currency (foreign amounts times the document's exchange rate, to the cent). Finish()
// writes the period balances (AccountActivities) from the journal lines, each in the
// account's natural sign (negated for the credit-normal classes 2, 3, 4 and 8).
//
//   samples::CompanySetup setup;               // country, financial year, users ...
//   samples::CompanyFile f(path, setup);
//   int bank = f.AddAccount({"1-1110", "Cheque Account", 'D', 3, "B"});
//   int sales = f.AddAccount({"4-1000", "Sales", 'D', 2, "I"});
//   int sale = f.AddSale({.date = "2013-07-15", .type = 'S',
//                         .lines = {{.account = sales, .amount = Money::FromUnits(100)}}});
//   f.AddCustomerPayment({.date = "2013-08-01", .account = bank,
//                         .applied = {{sale, Money::FromUnits(100)}}});
//   f.Finish();
#pragma once

#include "platform/runtime/Runtime.h"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;

namespace qvx::samples {

struct CompanySetup {
  std::string companyName = "Sample Company Pty Ltd";
  std::string country = "AU";            // DataFileCountry ("USA" switches to vendor payments)
  int currentFinancialYear = 2014;       // the year in which the financial year ends
  int lastMonthInFinancialYear = 6;      // 12: calendar year
  bool multiCurrency = false;
  bool ar2011 = false;                   // documents go to the AccountRight 2011 tables
  std::string address = "1 Sample Street\r\nSampletown  NSW  2000";
  std::string phone = "02 9999 0000";
  std::string fax = "02 9999 0001";
  std::string databaseVersion = "19.8";
  std::vector<std::pair<std::string, std::string>> users = {{"Administrator", ""}};
};

struct AccountDef {
  std::string number{};                    // "1-1110"
  std::string name{};
  char type = 'D';                       // 'H' header, 'D' detail
  int level = 2;                         // 1 to 4
  std::string subClass{};                  // SubAccountClassificationID: B, AR, EXP ...
  std::string classification{};            // AccountClassificationID; empty: by the class digit
                                           // (A, L, EQ, I, COS, EXP, OI for 8, OE for 9)
  std::string description{};               // AccountDescription
  int parent = 0;                        // ParentAccountID (0: none)
  int currencyExchangeAccount = 0;       // CurrencyExchangeAccountID
  int currency = 0;
  Money openingBalance{};
};

struct DocLine {
  int account = 0;                       // account, or 0 for item and time-billing lines
  int item = 0;                          // ItemID (item lines)
  int activity = 0;                      // ActivityID (time-billing lines)
  Money amount{};                          // tax-exclusive amount, in the document's currency
  Money tax{};                             // tax of the line
  int taxCode = 0;
  int job = 0;
  Money costOfGoods{};                     // item sales of inventoried items
  double quantity = 1;
  std::string description{};
};

// A sale or a purchase. Status: "O" open, "C" closed, "OR" order, "Q" quote (orders and
// quotes produce no journal set).
struct Document {
  std::string date{};                      // yyyy-mm-dd
  char type = 'S';                       // S service, I item, P professional, T time billing, M misc
  std::string status = "O";
  int card = 0;
  std::string number{};                    // invoice / purchase number (default: generated)
  std::vector<DocLine> lines{};
  Money freight{};                         // tax-exclusive freight
  Money freightTax{};
  int freightTaxCode = 0;
  int currency = 0;                      // 0: local
  double rate = 1.0;                     // TransactionExchangeRate
  std::string memo{};
};

// A customer or supplier payment applying amounts to sales or purchases.
struct Payment {
  std::string date{};
  int account = 0;                       // bank account paid into / out of
  int card = 0;
  std::vector<std::pair<int, Money>> applied{};  // document id, amount applied (document currency)
  int currency = 0;
  double rate = 1.0;
  std::string memo{};
};

// Money spent or received: the header account and lines.
struct Banking {
  std::string date{};
  int account = 0;                       // issuing (spent) or recipient (received) account
  int card = 0;
  std::vector<DocLine> lines{};
  int currency = 0;
  double rate = 1.0;
  std::string memo{};
};

// A general journal: lines with signed amounts (debit positive) that sum to zero.
struct Journal {
  std::string date{};
  std::vector<DocLine> lines{};
  std::string memo{};
  double rate = 1.0;
};

// A pay cheque: the lines (wages positive, deductions negative) and the bank account paid from.
struct PayCheque {
  std::string date{};
  int account = 0;                       // bank
  int card = 0;
  std::vector<DocLine> lines{};
  std::string memo{};
};

struct LinkedAccountsDef {
  int receivables = 0, payables = 0, receivablesDeposits = 0, payablesDeposits = 0;
  int receivablesDiscounts = 0, payablesDiscounts = 0, receivablesFreight = 0, payablesFreight = 0;
};

class CompanyFile {
 public:
  // Creates the file (replacing one already there) with the schema, the company row and its users.
  CompanyFile(const std::string& path, const CompanySetup& setup);
  ~CompanyFile();
  CompanyFile(const CompanyFile&) = delete;
  CompanyFile& operator=(const CompanyFile&) = delete;

  const CompanySetup& Setup() const;

  int AddAccount(const AccountDef& account);
  int AccountId(const std::string& number) const;  // 0 when absent
  void SetLinkedAccounts(const LinkedAccountsDef& linked);
  int AddTaxCode(const std::string& code, double rate, int collectedAccount, int paidAccount);
  int AddCurrency(const std::string& code, const std::string& name, double rate, int receivablesAccount,
                  int payablesAccount, const std::string& symbol = "$");
  int AddItem(const std::string& number, const std::string& name, bool inventoried, int incomeAccount,
              int expenseAccount, int inventoryAccount);
  int AddActivity(const std::string& code, const std::string& name, int incomeAccount);
  int AddJob(const std::string& number, const std::string& name);
  int AddCard(char type, const std::string& name);
  int AddCustomList(const std::string& type, int number, const std::string& name, const std::string& text);
  void AddBudget(int account, int financialYear, int period, Money amount);

  int AddSale(const Document& sale);
  int AddPurchase(const Document& purchase);
  int AddCustomerPayment(const Payment& payment);
  int AddSupplierPayment(const Payment& payment);  // vendor payment tables for "USA" files
  int AddMoneySpent(const Banking& spent);
  int AddMoneyReceived(const Banking& received);
  int AddGeneralJournal(const Journal& journal);
  int AddPayCheque(const PayCheque& cheque);

  // A journal set of any type with its lines (account, amount), dated `date`. Returns the SetID.
  int AddJournalSet(const std::string& type, int sourceId, const std::string& date,
                    const std::vector<std::pair<int, Money>>& lines, int currency = 0, double rate = 1.0,
                    const std::string& memo = "");

  // Runs any SQL on the file being built (for tests that need an unusual row).
  void Exec(const std::string& sql);

  // Writes the period balances, commits and closes the file. Called by the destructor too.
  void Finish();

 private:
  int AddBanking(const Banking& banking, bool spent);
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Money of a text such as "123.45" (shorthand for definitions).
Money M(const char* text);

}  // namespace qvx::samples
