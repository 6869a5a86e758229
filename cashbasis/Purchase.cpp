#include "cashbasis/Purchase.h"

#include <string>

#include "cashbasis/Apportion.h"
#include "cashbasis/EngineState.h"
#include "companyfile/CompanyFileInfo.h"
#include "companyfile/Connection.h"
#include "core/CompanyInfo.h"

namespace qvx {

namespace {

constexpr const char* kAccountLinesAR =
    "SELECT PurchaseLineID, PurchaseID, AccountID, JobID, TaxCodeID, Description, TaxExclusiveAmount, TaxAmount ";
constexpr const char* kAccountLines =
    "SELECT PurchaseLineID, PurchaseID, AccountID, JobID, TaxCodeID, Description, TaxExclusiveAmount, "
    "TaxInclusiveAmount ";

// The line query of a purchase layout whose lines name their own account: its tables are
// MYOB.<table>PurchaseInvoiceLines, ...PurchaseOrderLines and ...PurchaseLines.
void AccountLines(TransactionArgs& args, int32_t purchDocID, const char* table) {
  PaidLines lines;
  if (Conn.IsAR2011Driver) {
    const char* kind = Engine.DocTag == "ORD" ? "PurchaseOrderLines" : "PurchaseInvoiceLines";
    lines.sql = std::string(kAccountLinesAR) + "FROM MYOB." + table + kind + " WHERE PurchaseID = ";
  } else {
    lines.sql = std::string(kAccountLines) + "FROM MYOB." + table + "PurchaseLines WHERE PurchaseID = ";
  }
  lines.sql += IdText(purchDocID) + " ;";
  lines.lineIDColumn = "PurchaseLineID";
  lines.account = LineAccount::Column;
  lines.amountColumn = "TaxExclusiveAmount";
  PostPaidLines(args, lines);
}

void PurchLinesOfType(TransactionArgs& args, const std::string& type, int32_t purchDocID) {
  if (type == "S") PurchServiceLines(args, purchDocID);
  else if (type == "I") PurchItemLines(args, purchDocID);
  else if (type == "P") PurchProfessionalLines(args, purchDocID);
  else if (type == "M") PurchMiscLines(args, purchDocID);
}

void OpenPurch(TransactionArgs& args, const std::string& sql) {
  PaidDocument purchase;
  purchase.idColumn = "PurchaseID";
  purchase.typeColumn = "PurchaseTypeID";
  purchase.statusColumn = "PurchaseStatusID";
  purchase.freightAccount = CompanyInfo::Instance().LinkedPayablesFreightID;
  purchase.credit = false;
  purchase.lines = PurchLinesOfType;
  OpenPaidDocument(args, sql, purchase);
}

}  // namespace

void PurchServiceLines(TransactionArgs& args, int32_t purchDocID) { AccountLines(args, purchDocID, "Service"); }
void PurchProfessionalLines(TransactionArgs& args, int32_t purchDocID) {
  AccountLines(args, purchDocID, "Professional");
}
void PurchMiscLines(TransactionArgs& args, int32_t purchDocID) { AccountLines(args, purchDocID, "Misc"); }

void PurchItemLines(TransactionArgs& args, int32_t purchDocID) {
  PaidLines lines;
  if (Conn.IsAR2011Driver) {
    lines.sql = "SELECT PurchaseLineID, PurchaseID, PurchaseLineID, ItemID, JobID, TaxCodeID, Description, "
                "TaxExclusiveTotal, TaxAmount ";
    lines.sql += Engine.DocTag == "ORD" ? "FROM MYOB.ItemPurchaseOrderLines WHERE PurchaseID  = "
                                        : "FROM MYOB.ItemPurchaseInvoiceLines WHERE PurchaseID  = ";
  } else {
    lines.sql = "SELECT PurchaseLineID, PurchaseID, PurchaseLineID, ItemID, JobID, TaxCodeID, Description, "
                "TaxExclusiveTotal, TaxInclusiveTotal "
                "FROM MYOB.ItemPurchaseLines WHERE PurchaseID  = ";
  }
  lines.sql += IdText(purchDocID) + " ;";
  lines.lineIDColumn = "PurchaseLineID";
  // Bought items go to the item's expense account, inventoried or not.
  lines.account = LineAccount::ItemExpense;
  lines.amountColumn = "TaxExclusiveTotal";
  PostPaidLines(args, lines);
}

void PurchHeader(TransactionArgs& args) {
  EngineState& e = Engine;
  const std::string& country = Company.DataFileCountry;
  std::string columns =
      "SELECT PurchaseID, CardRecordID, PurchaseNumber, PurchaseDate, PurchaseTypeID, PurchaseStatusID, "
      "TotalLines, TaxExclusiveFreight, TotalTax, FreightTaxCodeID, ";
  columns += country == "USA" || country == "SG" || Conn.IsAR2011Driver ? "CategoryID " : "CostCentreID ";
  columns += "FROM MYOB.Purchases WHERE PurchaseID = " + IdText(e.PaidPurchID);
  if (Conn.IsAR2011Driver) {
    e.DocTag = "INV";
    OpenPurch(args, columns + " ;");
    e.DocTag = "ORD";
    OpenPurch(args, columns + " ;");
  } else {
    OpenPurch(args, columns + " AND PurchaseStatusID <> 'Q'  ;");
  }
}

void Purchase(TransactionArgs& args) {
  EngineState& e = Engine;
  if (!FirstPassOfSet()) return;
  const bool usa = IsUSAFile();
  const std::string who = usa ? "Vendor" : "Supplier";
  const std::string idColumn = who + "PaymentID";

  // A payment without its row is skipped: no identifier of an earlier payment is used.
  if (!OpenInto(e.rsPayment, "SELECT " + idColumn + ", TransactionDate, Memo, CardRecordID, Total" + who +
                                 "Payment FROM MYOB." + who + "Payments WHERE " + idColumn + " = " +
                                 IdText(e.SourceID) + " ;"))
    return;
  int32_t paymentID = 0;
  if (!HasRow(*e.rsPayment) || !ReadColumn(*e.rsPayment, idColumn, paymentID)) return;
  e.SuppPaymentID = paymentID;

  if (!OpenInto(e.rsPurchPayLines, "SELECT " + idColumn + ", PurchaseID, AmountApplied FROM MYOB." + who +
                                       "PaymentLines WHERE " + idColumn + " = " + IdText(e.SuppPaymentID) + " ;"))
    return;
  ado::Recordset& lines = *e.rsPurchPayLines;
  ForEachRow(lines, [&] {
    // The amount applied is in the purchase's own currency, like its totals: the paid
    // share compares the two as they stand.
    Money applied;
    int32_t purchaseID = 0;
    const bool ok = ReadColumn(lines, "AmountApplied", applied);
    if (ok && ReadColumn(lines, "PurchaseID", purchaseID)) {
      e.AmountApplied = applied;
      e.PaidPurchID = purchaseID;
      PurchHeader(args);
    }
    e.PayLinesUsed = kTrue;
    return true;
  });
}

}  // namespace qvx
