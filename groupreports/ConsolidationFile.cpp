#include "groupreports/ConsolidationFile.h"

#include "companyfile/Connection.h"
#include "core/Globals.h"
#include "groupreports/AccountDescription.h"
#include "platform/ui/Ui.h"

namespace qvx {
namespace {

// One step of the reading: a failure skips the step, silently.
template <class F>
bool Try(F&& step) {
  try {
    step();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

struct RecordsetCloser {
  std::unique_ptr<ado::Recordset>& rs;
  ~RecordsetCloser() {
    if (rs) Try([&] { rs->Close(); });
    rs.reset();
  }
};

std::string TwoDigits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

bool CreditNormal(const std::string& number) {
  const char c = number.empty() ? ' ' : number[0];
  return c == '2' || c == '3' || c == '4' || c == '8';
}

}  // namespace

std::string ClassCode(const std::string& classification, std::string& type) {
  const std::string& c = classification;
  if (c == "B") return "01CB";
  if (c == "AR" || c == "OCA") return "02CA";
  if (c == "FA") return "03FA";
  if (c == "OA") return "04OA";
  if (c == "CC" || c == "AP" || c == "OCL") {
    if (type == "B") type = "D";
    return "06CL";
  }
  if (c == "LTL" || c == "OL") return "07TL";
  if (c == "EQ") return "09EQ";
  if (c == "I") return "04IN";
  if (c == "COS") return "05CO";
  if (c == "EXP") return "06EX";
  if (c == "OI") return "08OI";
  if (c == "OE") return "09OE";
  return c;
}

void ConsolidationFileReader::ReadConsolidationFile() {
  FileAccepted = false;
  FileIdx = 0;

  std::unique_ptr<ado::Recordset> rs;
  {
    RecordsetCloser close{rs};
    Conn.SQLStr = "SELECT CurrentFinancialYear, LastMonthinFinancialYear FROM MYOB.DataFileInformation ;";
    rs = OpenRecordset(Conn.SQLStr);
    if (rs) {
      Try([&] {
        if (rs->Eof()) return;
        int16_t first = CInt(rs->operator[]("LastMonthInFinancialYear").ToDouble() + 1);
        if (first > 12) first = 1;
        G.FirstMonth = first;
      });
    }
  }

  {
    RecordsetCloser close{rs};
    Conn.SQLStr = std::string("SELECT AccountID, ParentAccountID, AccountNumber, AccountName, AccountTypeID, AccountLevel, "
                              "SubAccountClassificationID, ") +
                  "ThisYearOpeningBalance, " + "AccountDescription FROM MYOB.Accounts ORDER BY AccountNumber ;";
    rs = OpenRecordset(Conn.SQLStr);
    if (!rs) return;
    for (;;) {
      bool atEnd = true;
      if (!Try([&] { atEnd = rs->Eof(); }) || atEnd) break;
      AccountRow row;
      // A row whose identity cannot be read is skipped as a whole.
      const bool readable = Try([&] {
        const ado::Recordset& r = *rs;
        row.id = r["AccountID"].ToLong();
        row.number = r["AccountNumber"].ToString();
        row.type = r["AccountTypeID"].Text();
      });
      if (readable) {
        const ado::Recordset& r = *rs;
        Try([&] { row.name = r["AccountName"].Text(); });
        Try([&] { row.level = r["AccountLevel"].ToInteger(); });
        Try([&] { row.classification = r["SubAccountClassificationID"].Text(); });
        Try([&] { row.description = UCase(r["AccountDescription"].Text()); });
        const bool skipped = Mid(row.number, 3, 4) == "0000" && row.type == "S";
        if (!skipped) {
          if (row.number == "1-0000" && !TakeSettings(row.description)) break;
          TakeAccount(row);
        }
      }
      // A file is read only when its first account accepts it.
      if (!FileAccepted) break;
      if (!Try([&] { rs->MoveNext(); })) break;
    }
  }

  if (FileAccepted) {
    const size_t f = static_cast<size_t>(FileIdx);
    for (int32_t r = 1; r <= d_.FileAccCount[f]; ++r) AddJournalAmounts(d_.FileAccID[f][static_cast<size_t>(r)]);
  }
}

bool ConsolidationFileReader::TakeSettings(const std::string& description) {
  GetGroupName(description, FileGroupName);
  if (G.DebugMode == "ON") ui::MsgBox("Group = " + FileGroupName);
  if (!d_.GroupFilter.empty()) {
    if (FileGroupName != d_.GroupFilter) return false;
    ++d_.GroupMatchCount;
  }
  std::string shortName;
  GetConsolidatePercent(description, CompanyPC, shortName);
  if (G.DebugMode == "ON") ui::MsgBox("CompanyPC = " + DoubleToText(CompanyPC));
  ++d_.ConsFileCount;
  if (d_.ConsFileCount > d_.MaxConsFiles || d_.PercentFileCount >= kConsFileSlots) {
    ++d_.LeftOutFiles;
    return false;
  }
  // Accepted files take consecutive indexes; refused ones take none.
  FileAccepted = true;
  ++d_.PercentFileCount;
  FileIdx = d_.PercentFileCount;
  const size_t f = static_cast<size_t>(FileIdx);
  d_.FileAccCount[f] = 0;
  d_.FilePercent[f] = CompanyPC;
  d_.FileShortName[f] = Left(shortName, 8);
  GetEmployeeCount(description, d_.FileEmployees[f]);
  return true;
}

void ConsolidationFileReader::TakeAccount(AccountRow row) {
  if (!FileAccepted) return;
  // Profit-and-loss classes only.
  if (row.number.empty() || static_cast<unsigned char>(row.number[0]) <= static_cast<unsigned char>('3')) return;
  const std::string code = ClassCode(row.classification, row.type);
  const int32_t holder = headers_.HolderOf(row.level, code);
  if (row.type == "H") {
    if (!d_.CommonHeaders || row.level < 2) {
      headers_.Open(row.level, code, 0);
      return;
    }
    row.type = "UH";
  }
  const size_t f = static_cast<size_t>(FileIdx);
  if (d_.FileAccCount[f] + 1 > d_.AccountArraySize) d_.GrowAccountArrays();

  int32_t match = 0;
  for (int32_t i = 1; i <= d_.ConsAccCount; ++i) {
    const size_t k = static_cast<size_t>(i);
    if (d_.ConsAccNumber[k] == row.number && d_.ConsAccClass[k] == code && d_.ConsAccType[k] == row.type) {
      match = i;
      break;
    }
  }
  if (match > 0) ++d_.ConsAccFileCount[static_cast<size_t>(match)];
  if (!d_.CommonHeaders && row.level > 2) row.level = 2;
  if (match == 0) {
    if (d_.ConsAccCount + 1 > d_.AccountArraySize) d_.GrowAccountArrays();
    ++d_.ConsAccCount;
    const size_t k = static_cast<size_t>(d_.ConsAccCount);
    d_.ConsAccNumber[k] = row.number;
    d_.ConsAccName[k] = row.name;
    d_.ConsAccType[k] = row.type;
    d_.ConsAccLevel[k] = row.level;
    d_.ConsAccClass[k] = code;
    d_.ConsAccFileCount[k] = 1;
    d_.ConsAccHolder[k] = holder;
    match = d_.ConsAccCount;
  }
  if (row.type == "UH") headers_.Open(row.level, code, match);
  const int32_t r = ++d_.FileAccCount[f];
  const size_t rr = static_cast<size_t>(r);
  d_.FileAccID[f][rr] = row.id;
  d_.FileAccNumber[f][rr] = row.number;
  d_.FileAccName[f][rr] = row.name;
  d_.FileAccType[f][rr] = row.type;
  d_.FileAccClass[f][rr] = code;
  d_.FileAccBalance[f][rr] = Money{};
}

void ConsolidationFileReader::AddJournalAmounts(int32_t accountId) {
  std::unique_ptr<ado::Recordset> rs;
  RecordsetCloser close{rs};
  Conn.SQLStr = "SELECT AccountID, TransactionDate, TaxExclusiveAmount FROM MYOB.JournalRecords " +
                std::string("WHERE (TransactionDate => '") + G.ODBCYearStartDate + "' AND TransactionDate <= '" +
                G.ODBCToDate + "' ) " + "AND AccountID = " + std::to_string(accountId) + " ;";
  rs = OpenRecordset(Conn.SQLStr);
  if (!rs) return;
  const size_t f = static_cast<size_t>(FileIdx);
  int32_t lastId = 0;
  size_t row = 0;
  for (;;) {
    bool atEnd = true;
    if (!Try([&] { atEnd = rs->Eof(); }) || atEnd) return;
    try {
      const ado::Recordset& r = *rs;
      const int32_t id = r["AccountID"].ToLong();
      const ado::Date date = r["TransactionDate"].ToDate();
      const Money amount = r["TaxExclusiveAmount"].ToCurrency();
      if (row == 0 || id != lastId) {
        row = 0;
        for (int32_t i = 1; i <= d_.FileAccCount[f]; ++i) {
          if (d_.FileAccID[f][static_cast<size_t>(i)] == id) {
            row = static_cast<size_t>(i);
            break;
          }
        }
        lastId = id;
      }
      // The month of the line, taken from the date itself whatever the short-date order.
      const std::string key = std::to_string(date.year) + TwoDigits(date.month) + "01";
      if (row > 0 && key <= G.ToYMD && key >= G.FromYMD) {
        Money weighted = amount * (CompanyPC / 100);
        if (CreditNormal(d_.FileAccNumber[f][row])) weighted = -weighted;
        d_.FileAccBalance[f][row] += weighted;
      }
    } catch (const std::exception& e) {
      // One unreadable line is told and skipped; the account's other lines still count.
      ui::MsgBox("An error has occurred - " + CurrentErrorInfo(e).description, ui::Buttons::OK, ui::Icon::None,
                 "Error Message");
    }
    if (!Try([&] { rs->MoveNext(); })) return;
  }
}

}  // namespace qvx
