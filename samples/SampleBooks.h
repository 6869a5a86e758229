// The sample company files the build produces, and the generator behind them.
//
// The build runs `qvx-make-samples <folder>` and leaves in ${CMAKE_BINARY_DIR}/samples
// (QVX_SAMPLES_DIR, see samples/SamplePaths.h):
//   AUSample.MYO    Australian company, financial year July-June, two years, multi-currency
//   USASample.MYO   "USA" company, calendar year, vendor payments
//   ARSample.MYOX   company file of the newer product line (DSN mode, AccountRight 2011 tables)
//   Group/          six .MYO files for the consolidated report
// Every file has the user "Administrator" with an empty password.
//
// Every chart: 4 Income, 5 Cost of Sales, 6 Expenses, 8 Other Income (8-1000 Interest Income,
// 8-2000 Currency Gain/Loss), 9 Other Expenses (9-1000 Bank Charges, 9-2000 Income Tax
// Expense); no class 7. AccountClassificationID follows the class digit (A, L, EQ, I, COS,
// EXP, OI, OE), SubAccountClassificationID the report class of the account.
#pragma once

#include <string>

namespace qvx::samples {

void BuildAustralian(const std::string& path);
void BuildUsa(const std::string& path);
void BuildAr2011(const std::string& path);
// Five files of the group "NORTH" (one of them without "1-0000" as its lowest account)
// and one of the group "SOUTH".
void BuildGroupFolder(const std::string& folder);
// A file of about `journalLines` journal lines (for benchmarks).
void BuildLarge(const std::string& path, int journalLines);
// Changes whenever the books change; files that benchmarks keep between runs carry it in
// their names, so that a file built by an older builder is never measured.
inline constexpr char kBooksRevision[] = "r2";
// Everything listed above except the large file.
void BuildAll(const std::string& folder);

}  // namespace qvx::samples
