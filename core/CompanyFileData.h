// The record of the connected company file's values, filled by company-file access after
// every connection and read by the core's page headings and tick lists as much as by the
// engine and the reports.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qvx {

// Company values of the connected file that other subsystems read. Each keeps its value
// until it is read again successfully. The company name, year and first month live in
// G (DataSetCompany, CurrentYear, FirstMonth); the linked accounts and change control
// on CompanyInfo::Instance().
struct CompanyFileData {
  std::array<std::string, 11> AddressLines;  // 1 to 6 used
  std::string CompanyPhone;
  std::string CompanyFax;
  std::string DataFileCountry;
  bool UseMultiCurrency = false;
  std::string CompanyKey;                    // names the data-set file

  // Entries 1 to 20 used; rows beyond the twentieth are counted, not kept.
  std::array<int32_t, 21> TaxCollectedAcct{};
  std::array<int32_t, 21> TaxPaidAcct{};
  std::array<std::string, 21> CurrencyCodes;
  std::array<int32_t, 21> CurrRecvAcct{};
  std::array<int32_t, 21> CurrPayAcct{};
  std::array<int32_t, 21> CurrRecvExchAcct{};
  std::array<int32_t, 21> CurrPayExchAcct{};
  int16_t CurrencyCount = 0;                 // may exceed 20
};
inline CompanyFileData Company;

}  // namespace qvx
