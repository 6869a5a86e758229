// Company files for the tests of the cash-basis document handlers: the engine's chart
// plus one income and one expense account per document line (so that every line's
// posting can be read on its own), the linked freight accounts, and cash and accrual
// reads of March 2014 (financial year July to June).
#pragma once

#include <string>
#include <vector>

#include "EngineFixture.h"
#include "companyfile/Connection.h"

namespace qvx::test {

inline Money Cash(const char* text) { return Money::Parse(text); }

struct Books : Chart {
  int freightIn = 0, freightOut = 0, gstCollected = 0, gstPaid = 0, gst = 0;
  std::vector<int> in, out;  // 4-11nn and 6-11nn, nn = 1 ..
  explicit Books(samples::CompanyFile& f, int perSide = 8) : Chart(f) {
    freightIn = f.AddAccount(Acct("4-3000", "Freight Collected", 'D', 2, "I"));
    freightOut = f.AddAccount(Acct("6-4000", "Freight Paid", 'D', 2, "EXP"));
    for (int n = 1; n <= perSide; ++n) {
      const std::string nn = (n < 10 ? "0" : "") + std::to_string(n);
      in.push_back(f.AddAccount(Acct("4-11" + nn, "Income " + nn, 'D', 2, "I")));
      out.push_back(f.AddAccount(Acct("6-11" + nn, "Expense " + nn, 'D', 2, "EXP")));
    }
    gstCollected = f.AddAccount(Acct("2-1310", "GST Collected", 'D', 3, "OCL"));
    gstPaid = f.AddAccount(Acct("2-1330", "GST Paid", 'D', 3, "OCL"));
    gst = f.AddTaxCode("GST", 10, gstCollected, gstPaid);
    samples::LinkedAccountsDef linked;
    linked.receivables = receivables;
    linked.payables = payables;
    linked.receivablesFreight = freightIn;
    linked.payablesFreight = freightOut;
    f.SetLinkedAccounts(linked);
  }
  static std::string In(int n) { return "4-11" + std::string(n < 10 ? "0" : "") + std::to_string(n); }
  static std::string Out(int n) { return "6-11" + std::string(n < 10 ? "0" : "") + std::to_string(n); }
};

// Lines of a document, one per amount, on the accounts `accounts` in order.
inline std::vector<samples::DocLine> LinesOf(const std::vector<int>& accounts, const std::vector<const char*>& amounts) {
  std::vector<samples::DocLine> lines;
  for (size_t i = 0; i < amounts.size(); ++i) {
    samples::DocLine l;
    l.account = accounts.at(i);
    l.amount = Cash(amounts[i]);
    lines.push_back(l);
  }
  return lines;
}

class CashDocTest : public EngineDbTest {
 protected:
  EngineCaller ReadMarch(bool cash = true, int16_t includeGJ = kTrue, bool allAccounts = false) {
    EngineCaller run;
    run.CashBasis = cash ? kTrue : kFalse;
    run.IncludeGJ = includeGJ;
    run.LoadAccounts(allAccounts);
    EngineCaller::SetPeriod("01/03/2014", "31/03/2014", "01/07/2013", "30/06/2014");
    run.Read();
    return run;
  }
  // The texts of the message boxes shown so far.
  std::vector<std::string> Boxes() {
    std::vector<std::string> texts;
    for (const auto& m : ui_->shown) texts.push_back(m.text);
    return texts;
  }
};

}  // namespace qvx::test
