#include "cashbasis/Sale.h"

#include <string>

#include "cashbasis/Apportion.h"
#include "cashbasis/EngineState.h"
#include "companyfile/Connection.h"
#include "core/CompanyInfo.h"

namespace qvx {

namespace {

// The select lists of the line queries: service, professional and miscellaneous lines
// (AR2011 driver, other drivers), item lines, time-billing lines.
constexpr const char* kAccountLinesAR =
    "SELECT SaleID, SaleLineID, AccountID, JobID, TaxCodeID, Description, TaxExclusiveAmount, TaxAmount ";
constexpr const char* kAccountLines =
    "SELECT SaleID, SaleLineID, AccountID, JobID, TaxCodeID, Description, TaxExclusiveAmount, TaxInclusiveAmount ";
constexpr const char* kItemLinesAR =
    "SELECT SaleID, SaleLineID, ItemID, JobID, TaxCodeID, Description, TaxExclusiveTotal, TaxAmount, "
    "CostofGoodsSoldAmount ";
constexpr const char* kItemLines =
    "SELECT SaleID, SaleLineID, ItemID, JobID, TaxCodeID, Description, TaxExclusiveTotal, TaxInclusiveTotal, "
    "CostofGoodsSoldAmount ";
constexpr const char* kActivityLinesAR =
    "SELECT SaleID, SaleLineID, ActivityID, JobID, TaxCodeID, Notes, TaxExclusiveAmount, TaxAmount ";
constexpr const char* kActivityLines =
    "SELECT SaleID, SaleLineID, ActivityID, JobID, TaxCodeID, Notes, TaxExclusiveAmount, TaxInclusiveAmount ";

// One sale layout: its line tables are MYOB.<table>SaleInvoiceLines, ...SaleOrderLines
// and ...SaleLines.
struct SaleLayout {
  const char* table;
  const char* selectAR;
  const char* select;
  LineAccount account;
  const char* amountColumn;
};

constexpr SaleLayout kService{"Service", kAccountLinesAR, kAccountLines, LineAccount::Column, "TaxExclusiveAmount"};
constexpr SaleLayout kItem{"Item", kItemLinesAR, kItemLines, LineAccount::ItemIncome, "TaxExclusiveTotal"};
constexpr SaleLayout kProfessional{"Professional", kAccountLinesAR, kAccountLines, LineAccount::Column,
                                   "TaxExclusiveAmount"};
constexpr SaleLayout kTimeBilling{"TimeBilling", kActivityLinesAR, kActivityLines, LineAccount::Activity,
                                  "TaxExclusiveAmount"};
constexpr SaleLayout kMisc{"Misc", kAccountLinesAR, kAccountLines, LineAccount::Column, "TaxExclusiveAmount"};

void SaleLines(TransactionArgs& args, int32_t saleID, const SaleLayout& layout) {
  PaidLines lines;
  if (Conn.IsAR2011Driver) {
    const char* kind = Engine.DocTag == "ORD" ? "SaleOrderLines" : "SaleInvoiceLines";
    lines.sql = std::string(layout.selectAR) + "FROM MYOB." + layout.table + kind + " WHERE SaleID = ";
  } else {
    lines.sql = std::string(layout.select) + "FROM MYOB." + layout.table + "SaleLines WHERE SaleID = ";
  }
  lines.sql += IdText(saleID) + " ;";
  lines.lineIDColumn = "SaleLineID";
  lines.account = layout.account;
  lines.amountColumn = layout.amountColumn;
  lines.credit = true;
  lines.costOfGoods = layout.account == LineAccount::ItemIncome;
  PostPaidLines(args, lines);
}

void SaleLinesOfType(TransactionArgs& args, const std::string& type, int32_t saleID) {
  if (type == "S") SaleServiceLines(args, saleID);
  else if (type == "I") SaleItemLines(args, saleID);
  else if (type == "P") SaleProfessionalLines(args, saleID);
  else if (type == "T") SaleTimeBillingLines(args, saleID);
  else if (type == "M") SaleMiscLines(args, saleID);
}

void OpenSale(TransactionArgs& args, const std::string& sql) {
  PaidDocument sale;
  sale.idColumn = "SaleID";
  sale.typeColumn = "InvoiceTypeID";
  sale.statusColumn = "InvoiceStatusID";
  sale.freightAccount = CompanyInfo::Instance().LinkedReceivablesFreightID;
  sale.credit = true;
  sale.lines = SaleLinesOfType;
  OpenPaidDocument(args, sql, sale);
}

constexpr const char* kHeaderColumns =
    "SELECT SaleID, CardRecordID, InvoiceNumber, InvoiceDate, InvoiceTypeID, InvoiceStatusID, ";

}  // namespace

void SaleServiceLines(TransactionArgs& args, int32_t saleID) { SaleLines(args, saleID, kService); }
void SaleItemLines(TransactionArgs& args, int32_t saleID) { SaleLines(args, saleID, kItem); }
void SaleProfessionalLines(TransactionArgs& args, int32_t saleID) { SaleLines(args, saleID, kProfessional); }
void SaleTimeBillingLines(TransactionArgs& args, int32_t saleID) { SaleLines(args, saleID, kTimeBilling); }
void SaleMiscLines(TransactionArgs& args, int32_t saleID) { SaleLines(args, saleID, kMisc); }

void SaleHeader(TransactionArgs& args, int32_t saleID) {
  EngineState& e = Engine;
  const std::string id = IdText(saleID);
  if (Conn.IsAR2011Driver) {
    const std::string columns = std::string(kHeaderColumns) +
                                "TotalLines, TaxExclusiveFreight, TaxInclusiveFreight, TotalTax, FreightTaxCodeID, "
                                "CategoryID ";
    e.DocTag = "INV";
    OpenSale(args, columns + "FROM MYOB.SalesInvoices WHERE SaleID = " + id + " ;");
    e.DocTag = "ORD";
    OpenSale(args, columns + "FROM MYOB.SalesOrders WHERE SaleID = " + id + " ;");
  } else {
    OpenSale(args, std::string(kHeaderColumns) +
                       "TotalLines, TaxExclusiveFreight, TaxInclusiveFreight, TotalTax, FreightTaxCodeID, "
                       "CostCentreID " +
                       "FROM MYOB.Sales WHERE SaleID = " + id + " AND InvoiceStatusID <> 'Q'  ;");
  }
}

void Sale(TransactionArgs& args) {
  EngineState& e = Engine;
  if (!FirstPassOfSet()) return;
  // A payment without its row is skipped: nothing of an earlier payment is used.
  if (!OpenInto(e.rsPayment, "SELECT CustomerPaymentID, TransactionDate, Memo, CardRecordID, TotalCustomerPayment "
                             "FROM MYOB.CustomerPayments "
                             "WHERE CustomerPaymentID = " + IdText(e.SourceID) + " ;"))
    return;
  int32_t paymentID = 0;
  if (!HasRow(*e.rsPayment) || !ReadColumn(*e.rsPayment, "CustomerPaymentID", paymentID)) return;

  if (!OpenInto(e.rsPaymentLines, "SELECT CustomerPaymentID, SaleID, AmountApplied "
                                  "FROM MYOB.CustomerPaymentLines "
                                  "WHERE CustomerPaymentID = " + IdText(paymentID) + " ;"))
    return;
  ado::Recordset& lines = *e.rsPaymentLines;
  ForEachRow(lines, [&] {
    Money applied;
    int32_t saleID = 0;
    const bool ok = ReadColumn(lines, "AmountApplied", applied);
    if (ok && ReadColumn(lines, "SaleID", saleID)) {
      e.AmountApplied = applied;
      SaleHeader(args, saleID);
    }
    e.CustPayLinesUsed = kTrue;
    return true;
  });
}

}  // namespace qvx
