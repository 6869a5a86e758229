#include "companyfile/CompanyFileInfo.h"

#include <algorithm>
#include <exception>
#include <limits>

#include "companyfile/Connection.h"
#include "core/CompanyInfo.h"
#include "core/Globals.h"
#include "core/Settings.h"
#include "core/Startup.h"
#include "platform/locale/Locale.h"
#include "platform/sys/Sys.h"
#include "platform/ui/Ui.h"

namespace qvx {

namespace {

// Longest company key kept, in bytes: the data-set file's name, and the temporary name
// it is written under, must stay within the file system's 255-byte limit.
constexpr size_t kMaxKeyBytes = 200;

constexpr int kMaxEntries = 20;

// One statement of the company-information read: a failure (a missing or Null value, a
// query that gave no recordset) skips the statement and the read goes on.
template <class F>
void Step(F&& statement) {
  try {
    statement();
  } catch (const std::exception&) {
  }
}

void CloseRecordset(std::unique_ptr<ado::Recordset>& rs) {
  if (rs) Step([&] { rs->Close(); });
  rs.reset();
}

void ReadCompanyRow(ado::Recordset& rs) {
  CompanyFileData& cf = Company;
  Step([&] { G.DataSetCompany = rs["CompanyName"].ToString(); });
  Step([&] { G.CurrentYear = rs["CurrentFinancialYear"].ToInteger(); });
  Step([&] { G.FirstMonth = CInt(rs["LastMonthInFinancialYear"].ToDouble() + 1); });
  if (G.FirstMonth > 12) G.FirstMonth = 1;

  std::string address;
  Step([&] { address = rs["Address"].ToString(); });
  const std::array<std::string, 7> lines = SplitAddress(address);
  for (size_t i = 1; i <= 6; ++i) cf.AddressLines[i] = lines[i];

  Step([&] { cf.CompanyPhone = rs["Phone"].ToString(); });
  Step([&] { cf.CompanyFax = rs["FaxNumber"].ToString(); });
  Step([&] { Conn.DataBaseVersion = rs["DataBaseVersion"].ToString(); });
  Step([&] { Conn.DFCountry = rs["DataFileCountry"].ToString(); });
  cf.DataFileCountry = Conn.DFCountry;
  Step([&] { cf.UseMultiCurrency = rs["UseMultipleCurrencies"].ToString() == "Y"; });
  Step([&] { CompanyInfo::Instance().ChangeControl = rs["ChangeControl"].ToString(); });
  cf.CompanyKey = MakeCompanyKey(G.DataSetCompany);
}

void ReadLinkedAccounts(ado::Recordset& rs) {
  CompanyInfo& ci = CompanyInfo::Instance();
  struct Member { const char* column; int32_t* target; };
  for (const Member& m : {Member{"ReceivablesAccountID", &ci.LinkedReceivablesID},
                          Member{"PayablesAccountID", &ci.LinkedPayablesID},
                          Member{"ReceivablesDepositsID", &ci.LinkedReceivablesDepositsID},
                          Member{"ReceivablesDiscountsID", &ci.LinkedReceivablesDiscountsID},
                          Member{"ReceivablesFreightID", &ci.LinkedReceivablesFreightID},
                          Member{"PayablesDepositsID", &ci.LinkedPayablesDepositsID},
                          Member{"PayablesDiscountsID", &ci.LinkedPayablesDiscountsID},
                          Member{"PayablesFreightID", &ci.LinkedPayablesFreightID}}) {
    Step([&] { *m.target = rs[m.column].ToLong(); });
  }
}

// Walks a recordset from its current row to its end; a failed move ends the walk.
template <class F>
void ForEachRow(ado::Recordset& rs, F&& row) {
  for (;;) {
    bool atEnd = true;
    Step([&] { atEnd = rs.Eof(); });
    if (atEnd) return;
    row();
    bool moved = false;
    Step([&] {
      rs.MoveNext();
      moved = true;
    });
    if (!moved) return;
  }
}

void ReadTaxCodes(ado::Recordset& rs, bool usa) {
  CompanyFileData& cf = Company;
  int n = 0;
  ForEachRow(rs, [&] {
    int32_t collected = 0, paid = 0;
    Step([&] { collected = rs["TaxCollectedAccountID"].ToLong(); });
    if (!usa) Step([&] { paid = rs["TaxPaidAccountID"].ToLong(); });
    ++n;
    if (n <= kMaxEntries) {
      cf.TaxCollectedAcct[static_cast<size_t>(n)] = collected;
      if (!usa) cf.TaxPaidAcct[static_cast<size_t>(n)] = paid;
    }
  });
}

// Returns the number of rows.
int ReadCurrencies(ado::Recordset& rs) {
  CompanyFileData& cf = Company;
  int n = 0;
  ForEachRow(rs, [&] {
    ++n;
    if (n > kMaxEntries) return;
    const size_t i = static_cast<size_t>(n);
    Step([&] { cf.CurrencyCodes[i] = rs["CurrencyCode"].ToString(); });
    Step([&] { cf.CurrRecvAcct[i] = rs["LinkedReceivablesAccountID"].ToLong(); });
    Step([&] { cf.CurrPayAcct[i] = rs["LinkedPayablesAccountID"].ToLong(); });
    Step([&] { cf.CurrRecvExchAcct[i] = rs["LinkedReceivablesAccountID"].ToLong(); });
    Step([&] { cf.CurrPayExchAcct[i] = rs["LinkedPayablesAccountID"].ToLong(); });
  });
  return n;
}

// The currency exchange account of one account, when the file names one.
void ReadExchangeAccount(int32_t accountID, int32_t& target, std::unique_ptr<ado::Recordset>& rs) {
  if (accountID <= 0) return;
  Conn.SQLStr = "SELECT AccountID, CurrencyExchangeAccountID ";
  Conn.SQLStr += "FROM MYOB.Accounts WHERE AccountID =" + std::to_string(accountID) + " ;";
  CloseRecordset(rs);
  rs = OpenRecordset(Conn.SQLStr);
  if (rs) Step([&] { target = (*rs)["CurrencyExchangeAccountID"].ToLong(); });
}

}  // namespace

std::array<std::string, 7> SplitAddress(std::string_view address) {
  std::array<std::string, 7> lines;
  size_t current = 1;
  for (char ch : address) {
    if (ch == '\r' || ch == '\n') {
      // A break after an empty line adds nothing, so the break of a CR LF pair that
      // ends line 5 does not end the walk before line 6 is read.
      if (lines[current].empty()) continue;
      if (current == 6) break;
      ++current;
    } else {
      lines[current] += ch;
    }
  }
  return lines;
}

std::string MakeCompanyKey(std::string_view companyName) {
  const size_t blank = companyName.find(' ');
  const std::string_view word = blank == std::string_view::npos ? companyName : companyName.substr(0, blank);
  std::string key;
  for (char ch : word) {
    const unsigned char u = static_cast<unsigned char>(ch);
    if (ch == '/' || ch == '\\' || u < 0x20 || u == 0x7F) continue;
    key += ch;
  }
  if (key.size() > kMaxKeyBytes) {
    size_t cut = kMaxKeyBytes;
    // Never cut a character of several bytes in two.
    while (cut > 0 && (static_cast<unsigned char>(key[cut]) & 0xC0) == 0x80) --cut;
    key.resize(cut);
  }
  return key;
}

std::string GetLocaleValue(uint32_t type) {
  return UCase(locale::GetLocaleInfo(locale::kLocaleUserDefault, type));
}

std::string DateFormatMessage(bool dayFirst, const std::string& shownFormat) {
  const std::string cr = "\r";
  std::string m;
  m += dayFirst ? "This software requires your Windows date format to be 'dd/MM/yyyy' "
                : "This software requires your Windows date format to be 'mm/dd/yyyy' ";
  m += cr;
  m += "Currently set to " + shownFormat + "    If you want to change it yourself ... " + cr + cr;
  m += "   use Settings / Control Panel / Regional Settings / Customise / Date " + cr;
  m += dayFirst ? "   and change the short date format to 'dd/MM/yyyy'  (ie two 'd's)"
                : "   and change the short date format to 'mm/dd/yyyy'  (ie two 'm's and two 'd's)";
  m += cr + cr;
  m += "Would you like this software to change it now ? " + cr;
  return m;
}

void CheckDateFormat() {
  const uint32_t lcid = locale::GetSystemDefaultLCID();
  const std::string format = UCase(GetLocaleValue(locale::kLocaleSShortDate));
  // The user learns why a picture kept for them is not used, or why a Yes changes nothing:
  // once a run, as a matter of the user's own folder, whatever company file is connected.
  // Once the folder serves again, a new fault there is told again.
  auto tellProblem = [](const std::string& consequence) {
    const std::string problem = locale::ShortDateFileProblem();
    if (problem.empty()) {
      Conn.ShortDateBoxesShown.clear();
      return;
    }
    const std::string text = problem + ".\r\r" + consequence;
    if (!Conn.ShortDateBoxesShown.insert(text).second) return;
    ui::MessageRequest box;
    box.text = text;
    box.icon = ui::Icon::Exclamation;
    box.aboutSetup = true;
    ui::MsgBox(box);
  };
  tellProblem("The short date format is not taken from there but from the locale (LC_TIME).");
  const std::string first = Left(format, 1);
  struct Order { const char* letter; const char* accepted; const char* picture; bool dayFirst; };
  for (const Order& o : {Order{"D", "DD/MM/YYYY", "dd/MM/yyyy", true},
                         Order{"M", "MM/DD/YYYY", "MM/dd/yyyy", false}}) {
    if (first != o.letter || format == o.accepted) continue;
    Conn.AskingDateFormat = true;
    const ui::Answer answer =
        ui::MsgBox(DateFormatMessage(o.dayFirst, format), ui::Buttons::YesNo, ui::Icon::None, "Date Format Error");
    Conn.AskingDateFormat = false;
    if (answer == ui::Answer::Yes) {
      if (!locale::SetLocaleInfo(lcid, locale::kLocaleSShortDate, o.picture))
        tellProblem("The short date format could not be saved.");
      locale::BroadcastSettingChange();
    } else {
      // Nothing is saved: the settings and data-set files keep what they held. (A signal
      // answers No as it closes the box; the program then ends by that signal.)
      ui::Ui().ExitProgram(0);
    }
  }
  G.DateFormat = first == "M" ? "MDY" : "DMY";
}

void LoadDataSetFile() {
  int16_t errNbr = 0;
  const std::string path = sys::InProgramFolder(G.DataSetFile);
  const bool isNew = G.DataSetFile.empty() || !FileExists(path, errNbr);
  if (isNew) sys::WriteTextLines(path, {"DS-CompanyName="});
  // The first line is read but not interpreted: the name comes from the company file.
  sys::ReadTextLines(path, 1, kIniMaxBytes);
  if (!isNew) return;

  struct FromIni {
    FromIni() { G.DataSetFromIni = true; }
    ~FromIni() { G.DataSetFromIni = false; }
  } fromIni;
  for (std::string line : sys::ReadTextLines(IniFilePath(), std::numeric_limits<size_t>::max(), kIniMaxBytes)) {
    try {
      ParseDataSetLine(line);
    } catch (const std::exception&) {
      // A line without "=" is passed over.
    }
  }
}

void GetCompanyFileInfo() {
  CompanyFileData& cf = Company;
  std::unique_ptr<ado::Recordset> rs;

  Conn.SQLStr = "SELECT CompanyName, CurrentFinancialYear, LastMonthInFinancialYear, ";
  Conn.SQLStr += "Phone, FaxNumber, Address, UseMultipleCurrencies, DataBaseVersion, DataFileCountry, ";
  Conn.SQLStr += Conn.IsAR2011Driver ? "UseCategories, RequireCategories, ChangeControl, DriverBuildNumber "
                                     : "UseCostCentres, CostCentresRequired, ChangeControl, DriverBuildNumber ";
  Conn.SQLStr += "FROM MYOB.DataFileInformation ;";
  rs = OpenRecordset(Conn.SQLStr);
  if (rs) {
    bool hasRow = false;
    Step([&] { hasRow = !rs->Eof(); });
    if (hasRow) {
      ReadCompanyRow(*rs);
    } else {
      // The connection stays usable; the user learns why the name is missing.
      ui::MsgBox("The company information could not be read from this company file.", ui::Buttons::OK,
                 ui::Icon::Exclamation);
    }
  }

  Conn.SQLStr = "SELECT ReceivablesAccountID, PayablesAccountID, ReceivablesDepositsID, PayablesDepositsID, ";
  Conn.SQLStr += "ReceivablesDiscountsID, PayablesDiscountsID, ReceivablesFreightID, PayablesFreightID   ";
  Conn.SQLStr += "FROM MYOB.LinkedAccounts ;";
  CloseRecordset(rs);
  rs = OpenRecordset(Conn.SQLStr);
  if (rs) {
    bool hasRow = false;
    Step([&] { hasRow = !rs->Eof(); });
    if (hasRow) ReadLinkedAccounts(*rs);
  }

  const bool usa = cf.DataFileCountry == "USA";
  Conn.SQLStr = usa ? "SELECT TaxCollectedAccountID, TaxCode " : "SELECT TaxCollectedAccountID, TaxPaidAccountID, TaxCode ";
  Conn.SQLStr += "FROM MYOB.TaxCodes ;";
  CloseRecordset(rs);
  rs = OpenRecordset(Conn.SQLStr);
  if (rs) ReadTaxCodes(*rs, usa);

  if (cf.UseMultiCurrency) {
    Conn.SQLStr = "SELECT CurrencyID, CurrencyCode, LinkedReceivablesAccountID, LinkedPayablesAccountID, ";
    Conn.SQLStr += "CurrencySymbol, SymbolPosition ";
    Conn.SQLStr += "FROM MYOB.Currency ;";
    CloseRecordset(rs);
    rs = OpenRecordset(Conn.SQLStr);
    int n = 0;
    if (rs) n = ReadCurrencies(*rs);
    Step([&] { cf.CurrencyCount = CInt(n); });
    const int stored = std::min<int>(cf.CurrencyCount, kMaxEntries);
    for (int n = 1; n <= stored; ++n) {
      const size_t i = static_cast<size_t>(n);
      ReadExchangeAccount(cf.CurrRecvAcct[i], cf.CurrRecvExchAcct[i], rs);
      ReadExchangeAccount(cf.CurrPayAcct[i], cf.CurrPayExchAcct[i], rs);
    }
  }

  CloseRecordset(rs);

  G.DataSetFile = "QVXDataSet-" + cf.CompanyKey + ".Txt";
  Step(LoadDataSetFile);
  Step(CheckDateFormat);
}

}  // namespace qvx
