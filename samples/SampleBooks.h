// The sample company files the build produces, and the generator behind them.
//
// The build runs `qvx-make-samples <folder>` and leaves in ${CMAKE_BINARY_DIR}/samples
// (QVX_SAMPLES_DIR, see samples/SamplePaths.h):
//   AUSample.MYO    Australian company, financial year July-June, two years, multi-currency
//   USASample.MYO   "USA" company, calendar year, vendor payments
//   ARSample.MYOX   company file of the newer product line (DSN mode, AccountRight 2011 tables)
//   Group/          the group folder users get (BuildGroupFolder with default options, below)
// Every company file has the user "Administrator" with an empty password, except the
// test-case group folder's "Locked.MYO".
//
// Every chart: 4 Income, 5 Cost of Sales, 6 Expenses, 8 Other Income (8-1000 Interest Income,
// 8-2000 Currency Gain/Loss), 9 Other Expenses (9-1000 Bank Charges, 9-2000 Income Tax
// Expense); no class 7. AccountClassificationID follows the class digit (A, L, EQ, I, COS,
// EXP, OI, OE), SubAccountClassificationID the report class of the account.
//
// Group folders
// -------------
// Files read by the group report take their settings from the description of "1-0000".
//
// The shipped folder (GroupSample::Shipped, the build's samples/Group): two groups, each a
// parent and its subsidiaries, on one chart, sorted by name:
//
//   file               group  %    short name  employees  year     traits
//   NorthHoldings.MYO  NORTH  100  NTHHOLD     12         Jul-Jun  parent of NORTH; 4-3000 Rental Income
//   NorthRetail.MYO    NORTH  60   NTHRETL     25         Jul-Jun  held at 60 %
//   NorthServices.MYO  NORTH  100  NTHSERV     5          Jan-Dec  calendar year; 6-3000 Motor Vehicle Expenses
//   SouthFreight.MYO   SOUTH  75   STHFRGHT    6          Jul-Jun  held at 75 %; 6-3000 Motor Vehicle Expenses
//   SouthTraders.MYO   SOUTH  100  STHTRADE    8          Jul-Jun  parent of SOUTH
//
// Every file opens and is accepted: a run reads five files without a group filter (within
// the printer's six), three with NORTH and two with SOUTH, and shows no message of its own.
//
// The test-case folder (GroupSample::Cases): files that test real cases, built by the tests
// that need it, sorted by name:
//
//   file          group  %       short name      employees  year     traits
//   Archive.MYOX  NORTH  100     ARCHIVE         4          Jul-Jun  newer product line: never listed ("*.MYO" only)
//   Locked.MYO    NORTH  100     LOCKED          2          Jul-Jun  password "Pa55word": refuses Administrator/""
//   North1.MYO    NORTH  100     NORTHERN        12         Jul-Jun  6-2100 a header (level 3) over level-4 details
//                                 (NORTHERN1)                         6-2110, 6-2120; 4-3000 Rental Income as Income
//   North2.MYO    NORTH  60      NORTHERN        25         Jul-Jun  description in lower case; 4-1300 named
//                                 (northern2)                         "Consulting Income"; 4-3000 Rental Income as
//                                                                     Other Income (classification "OI")
//   North3.MYO    NORTH  33.333  (empty)         5          Jan-Dec  calendar year; 6-3000 Motor Vehicle Expenses
//                                                                     only here; "EMPLOYEES 5"
//   North4.MYO    NORTH  100     NTHLOG          0          Jul-Jun  no CONSOLIDATE and no EMPLOYEES keyword; no
//                                 (no keyword)                        employee cards, no payroll
//   North5.MYO    -      -       -               -          Jul-Jun  no account "1-0000": never accepted
//   Notes.MYO     -      -       -               -          -        plain text, not a company file
//   South1.MYO    SOUTH  50      STH1            8          Jul-Jun  a loss every month; Cost of Sales nets to zero
//                                                                     (5-2000 purchases, 5-2500 refunds); Other
//                                                                     Expenses total zero (9-1000 charges, 9-3000
//                                                                     rebates); no Other Income
//   Westside.myo  NORTH  100     WEST            3          Jul-Jun  lower-case extension
//
// Without a group filter a run accepts North1-4, South1 and Westside.myo (6 files); with the
// filter NORTH, five.
//
// In every folder each trading file has one month of books in each month from July 2024 to
// June 2026 (options.months), every journal set sums to zero, and the period balances
// (AccountActivities) agree with the journal lines.
//
// Tests build folders of their own:
//   samples::GroupFolderOptions o;
//   o.acceptedFiles = 31;              // Member01.MYO .. Member31.MYO, all of o.group
//   o.months = 3;                      // July to September 2024: quicker files
//   auto files = samples::BuildGroupFolder(tempDir, o);
//   for (const auto& f : files) if (f.accepted) ... f.percent, f.shortName ...
// Generated members cycle the percentages 100, 60, 33.333, 50, 75, 25; member n has the short
// name "M<nn>" and n employees. With o.refusedFiles the folder also holds Locked.MYO,
// Notes.MYO, NoTop.MYO (no "1-0000") and Archive.MYOX. The returned list describes every
// file written, sorted by name, with the values a reader must take from it.
// Members of the test's own choosing (odd descriptions):
//   o.members = {{.name = "A.MYO", .description = "groupname=north consolidate 100.5%",
//                 .group = "NORTH", .percent = 100}};
#pragma once

#include <string>
#include <vector>

namespace qvx::samples {

void BuildAustralian(const std::string& path);
void BuildUsa(const std::string& path);
void BuildAr2011(const std::string& path);

// One file of a group folder, with what the group report should make of it.
struct GroupFolderFile {
  std::string name{};             // file name within the folder
  bool listed = true;             // matches ".MYO" without regard to case
  bool connects = true;           // opens as user "Administrator" with an empty password
  bool accepted = true;           // read and accepted when no group filter is set
  std::string company{};          // CompanyName
  std::string description{};      // of "1-0000", as written (empty when there is none)
  std::string group{};            // group name as read (upper case)
  double percent = 100;           // consolidation percentage as read
  std::string shortName{};        // short name as kept (first 8 characters)
  double employees = 0;
  int lastMonthInFinancialYear = 6;
};

// The fixed folders above.
enum class GroupSample { Shipped, Cases };

struct GroupFolderOptions {
  int acceptedFiles = 0;          // 0: the fixed folder `sample`; N > 0: N generated members
  GroupSample sample = GroupSample::Shipped;
  std::string group = "NORTH";    // group of the generated members
  bool refusedFiles = true;       // generated folders: add the files a run must refuse or skip
  int months = 24;                // months of trading from July 2024 (1 to 24)
  // When not empty: the members, exactly as given, in place of the generated ones. Each is
  // built from its name, company (empty: a made-up name), description of "1-0000" (empty: no
  // such account) and year end; the other fields are the caller's expectations, returned
  // unchanged. For descriptions with odd spacing, lower case or bad percentages.
  std::vector<GroupFolderFile> members{};
};

// Builds a group folder into `folder` (created when missing; files of the same names are
// replaced, others left alone) and returns its files sorted by name.
std::vector<GroupFolderFile> BuildGroupFolder(const std::string& folder, const GroupFolderOptions& options = {});
// The list BuildGroupFolder returns, without building anything.
std::vector<GroupFolderFile> GroupFolderFiles(const GroupFolderOptions& options = {});

// A file of about `journalLines` journal lines (for benchmarks).
void BuildLarge(const std::string& path, int journalLines);
// Changes whenever the books change; files that benchmarks keep between runs carry it in
// their names, so that a file built by an older builder is never measured.
inline constexpr char kBooksRevision[] = "r2";
// Everything listed above except the large file.
void BuildAll(const std::string& folder);

}  // namespace qvx::samples
