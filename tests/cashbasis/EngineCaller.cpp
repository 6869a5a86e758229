#include "EngineCaller.h"

#include <stdexcept>

#include "companyfile/Connection.h"
#include "companyfile/DataSource.h"
#include "core/Dates.h"
#include "core/Globals.h"
#include "core/Lookups.h"

namespace qvx::test {

void EngineCaller::Connect(const std::string& path) {
  DataSource& ds = DataSource::Instance();
  ds = DataSource{};
  ds.ODBCAccessMode = "R";
  ds.ODBCDriver = "MYOAU1001";
  ds.ODBCUserID = "Administrator";
  ds.ODBCDataFile = path;
  ds.ODBCProduct = "/opt/product/Product.exe";
  ds.MakeConnection();
}

void EngineCaller::LoadAccounts(bool allAccounts) {
  const int32_t capacity = 200;
  G.AcctIDs.assign(capacity + 1, 0);
  G.AcctNumbers.assign(capacity + 1, "");
  G.AcctNames.assign(capacity + 1, "");
  G.AcctTypes.assign(capacity + 1, "");
  G.AcctLevels.assign(capacity + 1, 0);
  G.AcctParents.assign(capacity + 1, 0);
  G.AccountArraySize = capacity;
  G.NbrAccounts = 0;
  G.TxRowCount = 0;
  LineAcct.assign(capacity + 1, 0);

  Conn.SQLStr = "SELECT AccountID, ParentAccountID, AccountNumber, AccountName, AccountTypeID, AccountLevel  ";
  Conn.SQLStr += "FROM MYOB.Accounts ORDER BY AccountID ;";
  auto rs = OpenRecordset(Conn.SQLStr);
  if (!rs) throw std::runtime_error("account query failed");
  for (; !rs->Eof(); rs->MoveNext()) {
    const std::string number = (*rs)["AccountNumber"].ToString();
    const int16_t level = (*rs)["AccountLevel"].ToInteger();
    if (!allAccounts && (Left(number, 1) < "4" || level <= 0)) continue;
    const int32_t i = ++G.NbrAccounts;
    if (i > G.AccountArraySize) {
      G.AccountArraySize += 200;
      const size_t n = G.AccountArraySize + 1;
      G.AcctIDs.resize(n);
      G.AcctNumbers.resize(n);
      G.AcctNames.resize(n);
      G.AcctTypes.resize(n);
      G.AcctLevels.resize(n);
      G.AcctParents.resize(n);
      LineAcct.resize(n);
    }
    G.AcctIDs[i] = (*rs)["AccountID"].ToLong();
    G.AcctNumbers[i] = number;
    G.AcctNames[i] = (*rs)["AccountName"].ToString();
    G.AcctTypes[i] = (*rs)["AccountTypeID"].ToString();
    G.AcctLevels[i] = level;
    G.AcctParents[i] = (*rs)["ParentAccountID"].Text().empty() ? 0 : (*rs)["ParentAccountID"].ToLong();
    // Section accounts hold the first rows.
    if (number == "4-0000" || number == "5-0000" || number == "6-0000" || number == "8-0000" ||
        number == "9-0000")
      LineAcct[++G.TxRowCount] = i;
  }
  rs->Close();
  G.AccountsSorted = kTrue;
  G.TxRowCapacity = G.NbrAccounts;
  LineAcct.resize(G.NbrAccounts + 1);
  for (int32_t i = 1; i <= G.NbrAccounts; ++i) {
    int32_t row = 0;
    FindOrAddIndex(i, LineAcct, row, G.TxRowCount);
  }
  const size_t rows = G.TxRowCount + 1;
  LineText.assign(rows, "");
  ActMonthly.assign(rows, {});
  for (auto* v : {&ActMonth, &ActYTD, &LYActMonth, &LYActYTD, &LYAct12Months, &AnnualCol})
    v->assign(rows, Money{});
}

void EngineCaller::SetPeriod(const std::string& from, const std::string& to, const std::string& finYearStart,
                             const std::string& finYearEnd) {
  G.ReportFromDate = from;
  G.ReportToDate = to;
  G.FinYearStartDate = finYearStart;
  G.FinYearEndDate = finYearEnd;
  SetReportPeriod();
}

void EngineCaller::Read() {
  TransactionArgs args{.PostMode = TxMode,
                       .CashMode = CashBasis,
                       .IncludeGJ = IncludeGJ,
                       .AccountIDs = G.AcctIDs,
                       .AccountNumbers = G.AcctNumbers,
                       .AccountCount = G.NbrAccounts,
                       .RowMap = LineAcct,
                       .KeyList = LineText,
                       .RowCount = G.TxRowCount,
                       .RowCapacity = G.TxRowCapacity,
                       .MonthAmounts = ActMonthly,
                       .MonthTotal = ActMonth,
                       .RangeTotal = ActYTD,
                       .LYMonthTotal = LYActMonth,
                       .LYRangeTotal = LYActYTD,
                       .LY12Months = LYAct12Months,
                       .Reserved22 = AnnualCol,
                       .LastYear = PriorYear};
  ReadTransactions(args);
}

void EngineCaller::ReadLastYear() {
  PriorYear = kTrue;
  PriorYearDates(G.ODBCFromDate, G.ODBCToDate);
  Read();
}

int32_t EngineCaller::RowOf(const std::string& accountNumber) const {
  for (int32_t row = 1; row <= G.TxRowCount; ++row)
    if (G.AcctNumbers.at(LineAcct.at(row)) == accountNumber) return row;
  throw std::out_of_range("no row for account " + accountNumber);
}

Money EngineCaller::Monthly(const std::string& accountNumber, int month) const {
  return ActMonthly.at(RowOf(accountNumber)).at(month);
}

std::map<std::pair<std::string, int>, Money> EngineCaller::MonthlyFigures() const {
  std::map<std::pair<std::string, int>, Money> out;
  for (int32_t row = 1; row <= G.TxRowCount; ++row)
    for (int m = 0; m <= 12; ++m)
      if (!ActMonthly.at(row).at(m).IsZero()) out[{G.AcctNumbers.at(LineAcct.at(row)), m}] = ActMonthly[row][m];
  return out;
}

}  // namespace qvx::test
