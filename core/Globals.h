// Program-wide state of the application core: settings read from the settings file,
// the current report and its output options, month tables, report period, page and
// output bookkeeping, the account tables, and the shared scratch values. One instance,
// `G`, lives for the whole run.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/Runtime.h"

namespace qvx {

namespace excel {
class Application;
class Workbook;
class Worksheet;
}  // namespace excel

struct Globals {
  // ---- start-up
  std::string LastProcess;
  std::vector<std::string> ReportList;  // 0..3
  int16_t NbrReports = 0;
  std::array<std::string, 13> MonthShort{};
  std::array<std::string, 13> MonthLong{};
  std::array<int16_t, 13> MonthDays{};
  int16_t ExcelVersion = 0;

  // ---- settings (the dialog-owned ones live on their dialogs)
  int16_t BodyFont = 0;
  std::string CompanyName;
  std::string CompanyAbbrev;
  std::string ConsPath;
  std::string ConsGroupName;
  std::string ConsReportName;
  int16_t DateFromKeys = 0;
  std::string DebugMode;
  std::string DSName;
  std::string OutputPath;
  int16_t CurrentYear = 0;
  int16_t ExcelFile = 0;
  int16_t FirstMonth = 0;
  int16_t HeadingFont = 0;
  int16_t LSLines = 0;
  int16_t PrintLevel = 0;
  int16_t PrintToPrinter = 0;
  int16_t PTLines = 0;
  int16_t QtyDecimals = 0;
  int16_t SortByJob = 0;
  int16_t SortByName = 0;
  int16_t SpacesForZeroes = 0;
  int16_t Underline = 0;
  int16_t LblsPerRow = 0;
  int16_t LblsPerCol = 0;
  int16_t LblFontSize = 0;
  int16_t LblFontBold = 0;
  int16_t LblNameTab = 0;
  int16_t LblCodeGap = 0;
  int16_t LblNameGap = 0;
  float LblTopMargin = 0;
  float LblLeftMargin = 0;
  float LblHeight = 0;
  float LblWidth = 0;

  // ---- data-set file and company
  std::string DataSetCompany;
  std::string DataSetFile;
  bool DataSetFromIni = false;
  // Order of typed dates: "DMY" day first, anything else month first.
  std::string DateFormat = "DMY";

  // ---- current report and its options
  std::string ReportCode;
  int16_t ReportHelpID = 0;
  int16_t CashBasis = 0;
  int16_t PrintAccountNumbers = 0;
  int16_t PrintToExcel = 0;
  bool AsAtFlag = false;  // page headings show an as-at date instead of a period
  std::string OutputType;
  int16_t UsePageBreaks = 0;
  std::string PageBreakAccts;
  bool ReportRunning = false;  // a report is under way: no second one may start

  // ---- page and output state
  int16_t ChoosePrinter = 0;
  int16_t HeadingMode = 0;
  int16_t NewPageFlag = 0;
  int16_t PageNo = 0;
  int16_t PageLines = 0;
  int16_t PrintOrientation = 1;
  int32_t LineCount = 0;
  int16_t PrintCancelled = 0;
  int16_t ReportOK = 0;
  int16_t PrintCopies = 1;
  std::string RptTitle;
  int16_t LeadingCols = 0;
  std::string MergeCols;
  int16_t SkipDateLine = 0;
  int16_t AmtWidth = 0;
  int32_t RuleStartX = 0;
  int32_t RuleEndX = 0;
  int32_t SortPos = 0;
  int32_t SortCount = 0;
  std::string SortOrder;
  int32_t ExcelRow = 0;
  int32_t ExcelCol = 0;
  bool ExcelOpen = false;
  bool ProgressShown = false;

  // ---- printer choice, output file and the running report's workbook
  std::string SavedPrinterName;  // the printer that was current before the user's choice
  std::string OutputFolder;      // folder of the chosen workbook, ending in "/"
  std::string OutputFileName;
  int16_t FileChosen = 0;
  int16_t FlagOK = 0;
  int16_t FileErrNbr = 0;
  std::shared_ptr<excel::Application> xlApp;
  std::shared_ptr<excel::Workbook> xlBook;
  std::shared_ptr<excel::Worksheet> xlSheet;

  // ---- FormatAmount's argument values
  std::string CellText;
  int16_t CellDecimals = 0;
  int16_t CellWidth = 0;
  int16_t DollarSign = 0;
  int16_t IsNegative = 0;

  // ---- report period
  std::string ReportFromDate, ReportToDate, FinYearStartDate, FinYearEndDate;
  std::string ODBCYearStartDate, ODBCFromDate, ODBCToDate;
  std::string FromYMD, ToYMD, FinYearStartYMD, FinYearEndYMD;
  std::string PeriodText;
  int16_t FromMonth = 0, ToMonth = 0, NbrMonths = 0, NbrMonths2 = 0, FYEndMonth = 0;
  // The two period dialogs share the last accepted financial-year end and To month.
  int16_t DialogFinYear = 0;
  int16_t DialogToMth = 0;

  // ---- account tables (1-based; slot 0 holds nothing)
  std::vector<int32_t> AcctIDs;
  std::vector<std::string> AcctNumbers;
  std::vector<std::string> AcctNames;
  std::vector<std::string> AcctTypes;
  std::vector<int16_t> AcctLevels;
  std::vector<int32_t> AcctParents;
  int32_t NbrAccounts = 0;
  int32_t AccountArraySize = 0;
  int16_t AccountsSorted = 0;
  int32_t AccountIndex = 0;
  int32_t TxRowCount = 0;
  int32_t TxRowCapacity = 0;

  // ---- shared scratch values
  int32_t iLoop = 0, iLoop2 = 0, iPos = 0, iHigh = 0, iMonth = 0, iTemp = 0;
  std::string TempStr, MsgText, MsgTitle;
  int16_t Response = 0, Answer = 0;
  int16_t DialogOK = 0;
};

inline Globals G;

}  // namespace qvx
