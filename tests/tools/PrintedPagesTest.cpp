// Printed pages of the three reports on a long chart of accounts, on A4 and on Letter: a
// page ends when its next line would not fit, on the paper or by the page length of the
// settings, and nothing is drawn past the printable area (at its foot or its right edge)
// or lost at a page's foot. The
// reports run in this process through the report runner, printed to PDF and written to a
// workbook; the account numbers of each PDF (pdftotext) are those of its workbook
// (openpyxl), in the same order; and no amount column of the group report's workbook is
// left at the spreadsheet's default width.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <QTemporaryDir>

#include "core/Globals.h"
#include "platform/printer/Printer.h"
#include "samples/SamplePaths.h"
#include "support/OdbcTestEnv.h"
#include "support/SampleCopy.h"
#include "tests/platform/printer/PdfText.h"
#include "tools/runner/Runner.h"

namespace qvx::test {
namespace {

namespace fs = std::filesystem;

// Detail accounts 6-3001 onwards under the header 6-3000, each with a journal line and a
// budget in August 2025.
constexpr int kAccounts = 300;
constexpr int kDefaultPortraitLines = 68, kDefaultLandscapeLines = 58;  // the default settings lines
constexpr double kPdfEdge = 18;   // points the PDF device leaves unprinted at each edge
constexpr double kSlack = 0.05;   // points, for the rounding of positions in the PDF

struct Paper {
  const char* name;
  double width, height;  // points, portrait
};
constexpr Paper kPapers[] = {{"A4", 595.276, 841.89}, {"Letter", 612, 792}};

// What the wrapped reports below set before they run: the paper, the page lengths and the
// size of the report text.
struct RunSettings {
  const Paper* paper = nullptr;
  int16_t ptLines = 0, lsLines = 0;
  int16_t bodyFont = 0;
  std::vector<printer::DrawCall>* drawn = nullptr;  // receives the run's drawing calls
};
RunSettings settings;

// The report of a code again as "PAGES-<code>", printing on the paper of `settings`.
void RegisterOnPaper(const std::string& code) {
  runner::ReportRegistration r = *runner::Find(code);
  r.code = "PAGES-" + code;
  r.entry = [inner = r.entry](std::string& c) {
    if (settings.paper)
      printer::Environment().paper = printer::PrinterEnvironment::Paper{settings.paper->width, settings.paper->height};
    if (settings.ptLines) G.PTLines = settings.ptLines;
    if (settings.lsLines) G.LSLines = settings.lsLines;
    if (settings.bodyFont) G.BodyFont = settings.bodyFont;
    printer::Environment().recording = settings.drawn != nullptr;
    inner(c);
    if (settings.drawn) *settings.drawn = printer::Environment().calls;
  };
  runner::Register(std::move(r));
}

void Exec(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  ASSERT_EQ(rc, SQLITE_OK) << (error ? error : "") << ": " << sql.substr(0, 200);
}

void MakeLongChart(const std::string& file) {
  fs::copy_file(samples::SamplePath(samples::kAustralianFile), file);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  std::ostringstream sql;
  sql << "BEGIN; INSERT INTO Accounts (AccountID, ParentAccountID, AccountNumber, AccountName, AccountTypeID, "
         "AccountLevel, IsActive) SELECT 30000, AccountID, '6-3000', 'Many Accounts', 'H', 2, 'Y' "
         "FROM Accounts WHERE AccountNumber = '6-0000';";
  for (int i = 1; i <= kAccounts; ++i) {
    const int id = 30000 + i;
    sql << "INSERT INTO Accounts (AccountID, ParentAccountID, AccountNumber, AccountName, AccountTypeID, "
           "AccountLevel, IsActive) VALUES ("
        << id << ", 30000, '6-" << 3000 + i << "', 'Account " << i << "', 'D', 3, 'Y');"
        << "INSERT INTO JournalRecords (JournalRecordID, SetID, AccountID, TransactionDate, TaxExclusiveAmount, "
           "JobID, IsForeignTransaction) VALUES ("
        << 300000 + i << ", 1, " << id << ", '2025-08-09', " << 10 + i << ", 0, 'N');"
        << "INSERT INTO AccountBudgets (AccountID, FinancialYear, Period, Amount) VALUES (" << id << ", 2026, 2, "
        << 20 + i << ");";
  }
  sql << "COMMIT;";
  Exec(db, sql.str());
  sqlite3_close(db);
}

bool IsAccountNumber(const std::string& t) {
  return t.size() == 6 && std::isdigit(static_cast<unsigned char>(t[0])) && t[1] == '-' &&
         std::all_of(t.begin() + 2, t.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}
bool IsLongChartAccount(const std::string& t) { return IsAccountNumber(t) && t.compare(0, 3, "6-3") == 0 && t != "6-3000"; }

// pdftotext's words of one page: the edges of each box, in points from the top left
// corner of the paper.
struct Word {
  double left, right, top, bottom;
  std::string text;
};
struct Page {
  double width = 0, height = 0;
  std::vector<Word> words;
};

double Attribute(const std::string& html, size_t from, const char* name) {
  const size_t at = html.find(std::string(name) + "=\"", from);
  return at == std::string::npos ? 0 : std::strtod(html.c_str() + at + std::strlen(name) + 2, nullptr);
}

std::vector<Page> PdfPages(const std::string& pdf) {
  const std::string html = PdfText(pdf, 0, true);
  std::vector<Page> pages;
  for (size_t at = html.find("<page "); at != std::string::npos;) {
    const size_t next = html.find("<page ", at + 1);
    Page page{Attribute(html, at, "width"), Attribute(html, at, "height"), {}};
    for (size_t w = html.find("<word ", at); w != std::string::npos && w < next; w = html.find("<word ", w + 1)) {
      const size_t open = html.find('>', w), close = html.find("</word>", w);
      page.words.push_back({Attribute(html, w, "xMin"), Attribute(html, w, "xMax"), Attribute(html, w, "yMin"),
                            Attribute(html, w, "yMax"), html.substr(open + 1, close - open - 1)});
    }
    // In reading order: line by line (the words of a line share their top), left to right.
    auto line = [](const Word& w) { return std::lround(w.top * 4); };
    std::sort(page.words.begin(), page.words.end(), [&](const Word& a, const Word& b) {
      return line(a) != line(b) ? line(a) < line(b) : a.left < b.left;
    });
    pages.push_back(std::move(page));
    at = next;
  }
  return pages;
}

// Every cell's text of each workbook, row by row, read back with openpyxl in one run; and
// the columns holding an amount that are left at the spreadsheet's default width.
struct Workbook {
  std::vector<std::string> cells;
  std::set<std::string> unsized;  // column letters
};
std::map<std::string, Workbook> ReadWorkbooks(const std::vector<std::string>& books) {
  std::string cmd =
      "/usr/bin/python3 -c \"import openpyxl,sys\n"
      "for f in sys.argv[1:]:\n"
      "  print('FILE ' + f)\n"
      "  ws = openpyxl.load_workbook(f).active\n"
      "  for r in ws.iter_rows():\n"
      "    for c in r:\n"
      "      if c.value is None: continue\n"
      "      print(c.value)\n"
      "      d = ws.column_dimensions.get(c.column_letter)\n"
      "      amount = isinstance(c.value, (int, float)) and '%' not in c.number_format\n"
      "      if amount and not (d and d.width): print('UNSIZED ' + c.column_letter)\"";
  for (const auto& b : books) cmd += " '" + b + "'";
  std::map<std::string, Workbook> read;
  std::istringstream in(CommandOutput(cmd));
  Workbook* current = nullptr;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("FILE ", 0) == 0)
      current = &read[line.substr(5)];
    else if (current && line.rfind("UNSIZED ", 0) == 0)
      current->unsized.insert(line.substr(8));
    else if (current)
      current->cells.push_back(line);
  }
  return read;
}

struct Case {
  std::string name;
  std::string report;                // BGTCMP, BGTFCT or CONPL
  std::vector<std::string> options;  // every option of the report, so that none is left from an earlier case
  int headingLines;                  // lines the headings of a continuation page count
  int16_t ptLines = 0, lsLines = 0;  // page lengths other than the default settings
  int groupFiles = 0;                // the group report: copies of the file in its folder
  int16_t bodyFont = 0;              // a size of the report text other than the default
};

// The comparison in each format, each column option and each annual column, portrait and
// landscape, with and without the Grand Totals block.
std::vector<Case> ComparisonCases() {
  struct Layout {
    const char* format;  // V, PC, B, or LY: last year's figures as the variance
    const char* column;  // the last-year column option, or nothing for standard columns
    int annual;
    bool noMonths, grandTotals;
    int16_t ptLines = 0;
    const char* breaks = "";  // the accounts that start a page
    int16_t bodyFont = 0;
  };
  const Layout layouts[] = {
      {"V", "", 1, false, true},
      {"PC", "ShowLastYrVar", 2, true, false},
      {"B", "ShowLastYrCol", 3, false, true},
      {"LY", "ShowLastYrMth", 4, true, false},
      {"PC", "ShowLastYrYTD", 0, true, true},
      {"B", "", 0, true, true},
      // The longest portrait page the settings allow is longer than the paper.
      {"V", "", 2, true, false, 119},
      // On A4 the body (a page from 6-2000 on, text of 11 points) ends where the Grand Totals
      // block no longer fits on the paper, though the page length has room for it.
      {"B", "", 0, true, true, 119, "6-2000", 11},
      // A page from 4-1400 on (portrait Letter, the page length longer than the paper) and
      // from 4-1300 on (landscape A4, the default page length) brings "Total Many Accounts"
      // to the foot of the paper, with room for the rule above it but not for the total.
      {"V", "", 2, true, false, 119, "4-1400"},
      {"V", "", 1, false, true, 0, "4-1300"},
  };
  std::vector<Case> cases;
  for (const Layout& l : layouts) {
    const std::string format = l.format;
    Case c{"comparison-" + format + "-" + (*l.column ? l.column : "standard") + "-annual" +
               std::to_string(l.annual) + (l.noMonths ? "-nomonths" : "") + (l.ptLines ? "-long" : "") +
               (*l.breaks ? std::string("-break") + l.breaks : "") +
               (l.bodyFont ? "-font" + std::to_string(l.bodyFont) : ""),
           "BGTCMP",
           {"VarianceCol=" + (format == "LY" ? std::string("V") : format),
            std::string("ShowVarLastYr=") + (format == "LY" ? "True" : "False"),
            "BudgetColDiff=" + std::to_string(l.annual), std::string("ExcludeMonths=") + (l.noMonths ? "True" : "False"),
            std::string("IncludeGrandTots=") + (l.grandTotals ? "True" : "False"), "PrintAccountNumbers=True",
            std::string("UsePageBreaks=") + (*l.breaks ? "True" : "False"), std::string("PageBreakAccts=") + l.breaks,
            "PrintLevel=4"},
           7,
           l.ptLines};
    c.bodyFont = l.bodyFont;
    for (const char* column : {"ShowLastYrVar", "ShowLastYrCol", "ShowLastYrMth", "ShowLastYrYTD"})
      c.options.push_back(std::string(column) + (std::string(column) == l.column ? "=True" : "=False"));
    cases.push_back(std::move(c));
  }
  return cases;
}

std::vector<Case> Cases() {
  std::vector<Case> cases = ComparisonCases();
  for (const char* column : {"A", "B", "AB"})
    cases.push_back({std::string("forecast-") + column, "BGTFCT",
                     {std::string("ColumnType=") + column, "CashBasis=False", "PrintAccountNumbers=True",
                      "PrintLevel=4"},
                     6});
  // The longest landscape page the settings allow is longer than the paper.
  cases.push_back({"forecast-AB-79lines", "BGTFCT",
                   {"ColumnType=AB", "CashBasis=False", "PrintAccountNumbers=True", "PrintLevel=4"}, 6, 0, 79});
  const std::vector<std::string> group = {"ConsGroupName=", "GroupColPosn=R", "IncludeAverage=False",
                                          "RoundWhole=False", "ShowHeaders=True", "PrintAccountNumbers=True",
                                          "PrintLevel=3"};
  Case one{"group-one-file", "CONPL", group, 5};
  one.options.push_back("ShowFigures=False");
  one.groupFiles = 1;
  Case three{"group-three-files", "CONPL", group, 7};
  three.options.push_back("ShowFigures=True");
  std::replace(three.options.begin(), three.options.end(), std::string("IncludeAverage=False"),
               std::string("IncludeAverage=True"));
  three.groupFiles = 3;
  // Without headers, with the longest page lengths the settings allow (longer than the
  // paper), "Comparison to Average" comes to the foot of landscape Letter.
  Case bare = three;
  bare.name = "group-three-files-noheaders-long";
  std::replace(bare.options.begin(), bare.options.end(), std::string("ShowHeaders=True"),
               std::string("ShowHeaders=False"));
  bare.ptLines = bare.lsLines = 119;
  cases.push_back(one);
  cases.push_back(three);
  cases.push_back(bare);
  return cases;
}

// The workbook's account numbers in order. The forecast's workbook names its lines only:
// a name is taken for the number of the detail account of that name.
std::vector<std::string> WorkbookAccounts(const std::vector<std::string>& cells, bool byName,
                                          const std::map<std::string, std::string>& numberOfName) {
  std::vector<std::string> numbers;
  for (const auto& cell : cells) {
    if (byName) {
      if (auto it = numberOfName.find(cell); it != numberOfName.end()) numbers.push_back(it->second);
    } else if (IsAccountNumber(cell)) {
      numbers.push_back(cell);
    }
  }
  return numbers;
}

// Checks the pages of one PDF; returns its account numbers in order.
std::vector<std::string> CheckPages(const std::vector<Page>& pages, const Case& c) {
  std::vector<std::string> numbers;
  std::vector<std::vector<const Word*>> rows(pages.size());
  for (size_t i = 0; i < pages.size(); ++i) {
    const Page& page = pages[i];
    const Word *lowest = nullptr, *rightmost = nullptr;
    for (const Word& w : page.words) {
      if (!lowest || w.bottom > lowest->bottom) lowest = &w;
      if (!rightmost || w.right > rightmost->right) rightmost = &w;
      if (IsAccountNumber(w.text)) {
        numbers.push_back(w.text);
        rows[i].push_back(&w);
      }
    }
    if (lowest) {
      EXPECT_LE(lowest->bottom, page.height - kPdfEdge + kSlack)
          << "page " << i + 1 << ": \"" << lowest->text << "\" reaches past the printable area";
      EXPECT_LE(rightmost->right, page.width - kPdfEdge + kSlack)
          << "page " << i + 1 << ": \"" << rightmost->text << "\" reaches past the printable width";
    }
  }
  // A page within the long run (its rows, and the rows before and after it, all long-run
  // detail lines) is full: it holds no more lines than the page length, the last fits on
  // the paper, and the next would not have fitted or would have passed the page length.
  int full = 0;
  for (size_t i = 1; i + 1 < pages.size(); ++i) {
    const auto& r = rows[i];
    if (r.size() < 2 || rows[i - 1].empty() || rows[i + 1].empty()) continue;
    if (!IsLongChartAccount(rows[i - 1].back()->text) || !IsLongChartAccount(rows[i + 1].front()->text) ||
        !std::all_of(r.begin(), r.end(), [](const Word* w) { return IsLongChartAccount(w->text); }))
      continue;
    ++full;
    const bool landscape = pages[i].width > pages[i].height;
    const int pageLines = landscape ? (c.lsLines ? c.lsLines : kDefaultLandscapeLines)
                                    : (c.ptLines ? c.ptLines : kDefaultPortraitLines);
    const int room = pageLines - c.headingLines;
    const double pitch = (r.back()->top - r.front()->top) / static_cast<double>(r.size() - 1);
    const double foot = pages[i].height - kPdfEdge;
    SCOPED_TRACE("page " + std::to_string(i + 1) + ", " + std::to_string(r.size()) + " rows of " +
                 std::to_string(pitch) + " pt, last at " + std::to_string(r.back()->top) + ", foot " +
                 std::to_string(foot));
    EXPECT_LE(static_cast<int>(r.size()), room);
    EXPECT_LE(r.back()->top + pitch, foot + kSlack);
    EXPECT_TRUE(static_cast<int>(r.size()) == room || r.back()->top + 2 * pitch > foot - kSlack)
        << "the page ended with room for another line";
  }
  EXPECT_GE(full, 2) << "too few full pages to check";
  return numbers;
}

TEST(PrintedPages, EveryAccountOfTheWorkbookIsOnAPageAndEveryPageIsFull) {
  UsePrivateOdbcRegistration();
  for (const char* code : {"BGTCMP", "BGTFCT", "CONPL"}) RegisterOnPaper(code);
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string folder = dir.path().toStdString();
  const std::string file = folder + "/Many.MYO";
  MakeLongChart(file);
  ASSERT_FALSE(HasFatalFailure());
  std::map<std::string, std::string> numberOfName;
  {
    TestConnection db;
    ASSERT_TRUE(db.Connect(DirectConnectionString({.file = file})).Ok());
    Rows rows;
    ASSERT_TRUE(db.Query("SELECT AccountName, AccountNumber FROM MYOB.Accounts WHERE AccountTypeID = 'D'", &rows).Ok());
    for (const auto& r : rows) numberOfName[r.at(0)] = r.at(1);
  }
  for (int n : {1, 3}) {
    fs::create_directories(folder + "/group" + std::to_string(n));
    for (int k = 1; k <= n; ++k) fs::copy_file(file, folder + "/group" + std::to_string(n) + "/Company" + std::to_string(k) + ".MYO");
  }

  const std::vector<Case> cases = Cases();
  auto run = [&](const Case& c, const std::string& out, const Paper* paper) {
    settings = {paper, c.ptLines, c.lsLines, c.bodyFont};
    std::vector<std::string> args = {"--file", file, "--report", "PAGES-" + c.report, "--from", "07/2025",
                                     "--to", "09/2025", "--out", out};
    if (c.groupFiles) args.insert(args.end(), {"--folder", folder + "/group" + std::to_string(c.groupFiles)});
    for (const auto& o : c.options) args.insert(args.end(), {"--option", o});
    std::ostringstream so, se;
    EXPECT_EQ(runner::Run(args, so, se), 0) << c.name << ": " << se.str();
  };
  std::vector<std::string> books;
  for (const Case& c : cases) {
    books.push_back(folder + "/" + c.name + ".xlsx");
    run(c, books.back(), nullptr);
    for (const Paper& paper : kPapers) run(c, folder + "/" + c.name + "-" + paper.name + ".pdf", &paper);
  }
  settings = {};
  const auto workbooks = ReadWorkbooks(books);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto book = workbooks.find(folder + "/" + c.name + ".xlsx");
    ASSERT_NE(book, workbooks.end());
    // An amount column of the group report left at the spreadsheet's default width shows the
    // group's and the average's larger figures as "###".
    if (c.report == "CONPL") {
      EXPECT_EQ(book->second.unsized, std::set<std::string>{}) << "amount columns of the default width";
    }
    const std::vector<std::string> expected =
        WorkbookAccounts(book->second.cells, c.report == "BGTFCT", numberOfName);
    EXPECT_EQ(std::count_if(expected.begin(), expected.end(), IsLongChartAccount), kAccounts);
    for (const Paper& paper : kPapers) {
      SCOPED_TRACE(paper.name);
      const auto pages = PdfPages(folder + "/" + c.name + "-" + paper.name + ".pdf");
      ASSERT_FALSE(pages.empty());
      EXPECT_NEAR(std::min(pages[0].width, pages[0].height), paper.width, 1);
      EXPECT_EQ(CheckPages(pages, c), expected);
      // A block run off the foot of the paper is lost from the PDF: the comparison's
      // surplus closes its body, and the Grand Totals block once more.
      if (c.report == "BGTCMP") {
        const bool grandTotals =
            std::find(c.options.begin(), c.options.end(), "IncludeGrandTots=True") != c.options.end();
        size_t surplus = 0;
        for (const Page& page : pages)
          surplus += std::count_if(page.words.begin(), page.words.end(),
                                   [](const Word& w) { return w.text == "Surplus/Deficit"; });
        EXPECT_EQ(surplus, grandTotals ? 2u : 1u);
      }
    }
  }
}

// ---------------------------------------------------------------- columns and rows

// A word of a printed figure: an amount, a percentage, or a percent sign.
bool IsFigure(const std::string& t) {
  return !t.empty() && t.find_first_not_of("0123456789,.()$-%") == std::string::npos &&
         t.find_first_of("0123456789%") != std::string::npos;
}

// The letters drawn by a run (blanks left out), sorted, against those of its PDF: a text
// drawn past the paper's edge is missing from the PDF.
std::string SortedLetters(const std::string& text) {
  std::string letters;
  for (char ch : text)
    if (!std::isspace(static_cast<unsigned char>(ch))) letters += ch;
  std::sort(letters.begin(), letters.end());
  return letters;
}

// A word of pdftotext's HTML as printed.
std::string Unescaped(std::string t) {
  for (const auto& [entity, ch] : {std::pair<std::string, std::string>{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""},
                                   {"&apos;", "'"}, {"&#39;", "'"}, {"&amp;", "&"}})
    for (size_t at = t.find(entity); at != std::string::npos; at = t.find(entity, at + ch.size()))
      t.replace(at, entity.size(), ch);
  return t;
}

// A word of figures that is two texts run together ("57 %3463795345.33",
// "($440222430000)$81041953000"): pdftotext parts words at a blank, so texts that keep one
// between them are words of their own.
bool TwoFiguresTouch(const std::string& word) {
  // Something after a figure's end ("%" or ")"), or a figure's start ("(" or "$") after a digit.
  static const std::regex joint(R"(%.|\).|[0-9.][($])");
  return IsFigure(word) && std::regex_search(word, joint);
}

// The ink of each page as poppler draws it, without smoothing so that the finest rule
// shows: for each page, the dark columns and rows, in points from the paper's top left.
struct Ink {
  int left = -1, right = -1, top = -1, bottom = -1;  // -1: a blank page
};
std::vector<Ink> PageInk(const std::string& pdf) {
  const std::string folder = pdf + ".ink";
  fs::create_directories(folder);
  CommandOutput("pdftoppm -r 72 -gray -aa no -aaVector no '" + pdf + "' '" + folder + "/p' 2>&1");
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(folder)) files.push_back(e.path().string());
  // pdftoppm numbers its pages with as many digits as the last one has.
  std::sort(files.begin(), files.end());
  std::vector<Ink> inks;
  for (const std::string& f : files) {
    std::ifstream in(f, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, max = 0;
    in >> magic >> w >> h >> max;
    in.get();
    std::vector<unsigned char> px(static_cast<size_t>(w) * static_cast<size_t>(h));
    in.read(reinterpret_cast<char*>(px.data()), static_cast<std::streamsize>(px.size()));
    Ink ink;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        if (px[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] >= 128) continue;
        if (ink.left < 0 || x < ink.left) ink.left = x;
        ink.right = std::max(ink.right, x + 1);
        if (ink.top < 0) ink.top = y;
        ink.bottom = y + 1;
      }
    inks.push_back(ink);
  }
  fs::remove_all(folder);
  return inks;
}

// The PDF's words of each text the report drew, line by line: the drawn texts of a page in
// order of their lines and places, parted at their blanks, against pdftotext's words of
// that page in reading order.
struct DrawnWord {
  const printer::DrawCall* text;
  const Word* word;
};
std::vector<std::vector<DrawnWord>> DrawnLines(const Page& page, int pageNo, const std::vector<printer::DrawCall>& drawn) {
  std::map<long, std::vector<const printer::DrawCall*>> byY;
  for (const printer::DrawCall& d : drawn)
    if (d.kind == printer::DrawCall::Text && d.page == pageNo && d.text.find_first_not_of(' ') != std::string::npos)
      byY[std::lround(d.y)].push_back(&d);
  std::map<long, std::vector<const Word*>> byTop;
  for (const Word& w : page.words) byTop[std::lround(w.top * 4)].push_back(&w);
  std::vector<std::vector<DrawnWord>> lines;
  EXPECT_EQ(byY.size(), byTop.size()) << "page " << pageNo << ": drawn lines against the PDF's";
  if (byY.size() != byTop.size()) return lines;
  auto top = byTop.begin();
  for (auto& [y, texts] : byY) {
    std::sort(texts.begin(), texts.end(), [](auto* a, auto* b) { return a->x < b->x; });
    std::vector<DrawnWord> line;
    for (const printer::DrawCall* d : texts) {
      std::istringstream words(d->text);
      for (std::string w; words >> w;) line.push_back({d, nullptr});
    }
    // pdftotext parts a caption's run of dashes its own way: such a line is left out.
    const std::vector<const Word*>& words = (top++)->second;
    if (line.size() != words.size()) continue;
    for (size_t i = 0; i < line.size(); ++i) line[i].word = words[i];
    lines.push_back(std::move(line));
  }
  return lines;
}

// Every figure of the page stands in its own column: its right end right of its heading's
// start and left of the next heading's (past the last heading, as far again as from the
// heading before). A figure's heading is the one drawn at the nearest tab column after its
// own, at most 12 columns after it, on the line holding `heading`. And a column does not
// drift along its rows: figures of one form (the same characters, any digits) due at the
// same tab column end at the same place on every row of the page, so a figure pushed right
// by the texts before it in its own row, less than a column yet, is caught too. Account
// numbers are not figures here.
void CheckOwnColumns(const std::vector<std::vector<DrawnWord>>& lines, const std::string& heading, int pageNo) {
  auto headings = std::find_if(lines.begin(), lines.end(), [&](const std::vector<DrawnWord>& l) {
    return std::any_of(l.begin(), l.end(), [&](const DrawnWord& w) { return w.word->text == heading; });
  });
  if (headings == lines.end()) return;
  std::map<int, double> start;  // a heading's tab column: where its first word starts
  for (const DrawnWord& w : *headings)
    if (w.text->tab > 0) start.try_emplace(w.text->tab, w.word->left);
  std::map<std::pair<int, std::string>, std::vector<const DrawnWord*>> forms;  // by tab column and form
  for (auto line = std::next(headings); line != lines.end(); ++line) {
    for (size_t i = 0; i < line->size(); ++i) {
      const DrawnWord& w = (*line)[i];
      const bool lastOfText = i + 1 == line->size() || (*line)[i + 1].text != w.text;
      if (!lastOfText || w.text->tab <= 0 || IsAccountNumber(w.word->text) || !IsFigure(w.word->text)) continue;
      std::string form = w.text->text.substr(std::min(w.text->text.find_first_not_of(' '), w.text->text.size()));
      std::replace_if(form.begin(), form.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }, '9');
      forms[{w.text->tab, form}].push_back(&w);
      const auto own = start.upper_bound(w.text->tab);
      if (own == start.end() || own->first - w.text->tab > 12) continue;
      const auto next = std::next(own);
      const double end = next != start.end()    ? next->second
                         : own != start.begin() ? 2 * own->second - std::prev(own)->second
                                                : 1e9;
      EXPECT_TRUE(w.word->right > own->second && w.word->right < end)
          << "page " << pageNo << ": \"" << w.text->text << "\" ends at " << w.word->right
          << " pt, outside its column " << own->second << ".." << end << " pt";
    }
  }
  for (const auto& [key, words] : forms) {
    const DrawnWord* least = *std::min_element(
        words.begin(), words.end(), [](auto* a, auto* b) { return a->word->right < b->word->right; });
    for (const DrawnWord* w : words)
      EXPECT_LT(w->word->right, least->word->right + 0.5)
          << "page " << pageNo << ": \"" << w->text->text << "\" ends at " << w->word->right << " pt, "
          << w->word->right - least->word->right << " pt right of \"" << least->text->text << "\" in its column";
  }
}

// One printed run checked: every word and every rule inside the printable area, every
// letter drawn in the PDF, no line of figures alone (the rest of a row pushed a line
// down), no two texts of a row closer than a blank, every figure in its own column (on the
// line holding `heading`, when given), and pages drawn smaller than full size no smaller
// than their widest line needs (their ink reaches the printable edge), so that text is
// never made smaller than it must be.
void CheckColumnsAndRows(const std::string& pdf, const std::vector<printer::DrawCall>& drawn,
                         const std::string& heading = "") {
  const auto pages = PdfPages(pdf);
  ASSERT_FALSE(pages.empty());
  const auto inks = PageInk(pdf);
  ASSERT_EQ(inks.size(), pages.size());
  std::string drawnText, pdfText;
  std::vector<double> scales;
  for (const printer::DrawCall& d : drawn) {
    if (d.kind == printer::DrawCall::Text) drawnText += d.text;
    if (d.kind == printer::DrawCall::StartDoc || d.kind == printer::DrawCall::NewPage) scales.push_back(d.scale);
  }
  ASSERT_EQ(scales.size(), pages.size());
  int inkRight = 0;
  for (size_t i = 0; i < pages.size(); ++i) {
    const Page& page = pages[i];
    std::map<long, std::vector<const Word*>> lines;
    for (const Word& w : page.words) {
      pdfText += Unescaped(w.text);
      EXPECT_TRUE(w.left >= kPdfEdge - kSlack && w.right <= page.width - kPdfEdge + kSlack &&
                  w.top >= kPdfEdge - kSlack && w.bottom <= page.height - kPdfEdge + kSlack)
          << "page " << i + 1 << ": \"" << w.text << "\" at " << w.left << ".." << w.right
          << " pt lies outside the printable area of a page " << page.width << " pt wide";
      EXPECT_FALSE(TwoFiguresTouch(Unescaped(w.text))) << "page " << i + 1 << ": figures run together in \"" << w.text
                                                      << "\" at " << w.left << " pt";
      lines[std::lround(w.top * 4)].push_back(&w);
    }
    // A pixel is a point: ink a point or more past the printable edge is off the page's
    // printable area (a rule drawn to the paper's edge, say).
    const Ink& ink = inks[i];
    if (ink.left >= 0) {
      EXPECT_TRUE(ink.left >= kPdfEdge - 1 && ink.right <= page.width - kPdfEdge + 1 && ink.top >= kPdfEdge - 1 &&
                  ink.bottom <= page.height - kPdfEdge + 1)
          << "page " << i + 1 << ": ink at " << ink.left << ".." << ink.right << " x " << ink.top << ".."
          << ink.bottom << " pt outside the printable area of a page " << page.width << " x " << page.height;
      inkRight = std::max(inkRight, ink.right);
    }
    for (const auto& [top, words] : lines) {
      // Lines of percentages alone are the group report's shares of its companies.
      const bool figuresOnly =
          std::all_of(words.begin(), words.end(), [](const Word* w) { return IsFigure(w->text); }) &&
          std::any_of(words.begin(), words.end(),
                      [](const Word* w) { return w->text.find_first_of(",.()$") != std::string::npos; });
      EXPECT_FALSE(figuresOnly) << "page " << i + 1 << ": a line of figures alone at " << top / 4.0 << " pt, from \""
                                << words.front()->text << "\"";
    }
  }
  for (size_t i = 0; i < pages.size(); ++i) {
    const int pageNo = static_cast<int>(i + 1);
    const auto lines = DrawnLines(pages[i], pageNo, drawn);
    // A blank as the PDF shows it: the narrowest gap between two words of one text with one
    // blank between them. Two texts of a row stand at least that far apart.
    double blank = 1e9;
    for (const auto& line : lines)
      for (size_t k = 1; k < line.size(); ++k)
        if (line[k].text == line[k - 1].text &&
            line[k].text->text.find(line[k - 1].word->text + " " + line[k].word->text) != std::string::npos)
          blank = std::min(blank, line[k].word->left - line[k - 1].word->right);
    for (const auto& line : lines)
      for (size_t k = 1; k < line.size(); ++k)
        EXPECT_TRUE(line[k].text == line[k - 1].text || line[k].word->left - line[k - 1].word->right >= blank - kSlack)
            << "page " << pageNo << ": \"" << line[k - 1].word->text << "\" and \"" << line[k].word->text
            << "\" stand " << line[k].word->left - line[k - 1].word->right << " pt apart, less than a blank ("
            << blank << " pt)";
    if (!heading.empty()) CheckOwnColumns(lines, heading, pageNo);
  }
  // Every page is laid out for at least A4's printable width; a page drawn smaller than
  // that takes holds a line that needs it, on some page.
  const double printable = pages[0].width - 2 * kPdfEdge;
  const bool landscape = pages[0].width > pages[0].height;
  const double a4 = (landscape ? kPapers[0].height : kPapers[0].width) - 2 * kPdfEdge;
  if (scales[0] < std::min(1.0, printable / a4) - 0.001) {
    EXPECT_GT(inkRight, pages[0].width - kPdfEdge - 0.03 * printable)
        << "drawn at " << scales[0] << " of its size, its ink ending at " << inkRight
        << " pt: smaller than its widest line needs";
  }
  const std::string printed = SortedLetters(pdfText), meant = SortedLetters(drawnText);
  std::string lost;
  std::set_difference(meant.begin(), meant.end(), printed.begin(), printed.end(), std::back_inserter(lost));
  EXPECT_EQ(printed.size(), meant.size()) << "letters drawn off the paper: " << lost;
  EXPECT_EQ(lost, "") << "letters drawn off the paper";
}

struct ColumnsCase {
  std::string name, report;
  std::vector<std::string> options;
  std::string to;     // the last month, from 07/2025
  int companies = 6;  // the group report: company files in its folder
  std::string heading = {};  // a word of the line of the figure columns' headings
};

std::string YesNo(bool b) { return b ? "True" : "False"; }

ColumnsCase Comparison(const std::string& format, int annual, bool lastMonth, bool noMonths, bool lastYearColumns,
                       bool numbers) {
  std::ostringstream name;
  name << "comparison-" << format << (lastMonth ? "-lymonth" : "") << "-annual" << annual
       << (noMonths ? "-nomonths" : "") << (lastYearColumns ? "-lyytd" : "") << (numbers ? "-numbers" : "");
  return {name.str(),
          "BGTCMP",
          {"VarianceCol=" + format, "BudgetColDiff=" + std::to_string(annual), "ShowLastYrMth=" + YesNo(lastMonth),
           "ShowLastYrYTD=" + YesNo(lastYearColumns), "ExcludeMonths=" + YesNo(noMonths),
           "PrintAccountNumbers=" + YesNo(numbers), "IncludeGrandTots=True", "PrintLevel=4"},
          "12/2025"};
}

ColumnsCase Forecast(const std::string& type, bool numbers) {
  return {"forecast-" + type + (numbers ? "-numbers" : ""),
          "BGTFCT",
          {"ColumnType=" + type, "PrintAccountNumbers=" + YesNo(numbers), "PrintLevel=4"},
          "06/2026",
          0,
          "Total"};
}

// The group report of six companies (or two, in portrait), the group and average columns on
// either side.
ColumnsCase Group(const std::string& side, bool figures, bool whole, const std::string& to, bool average = true,
                  int companies = 6) {
  return {"group-" + side + (figures ? "-figures" : "") + (whole ? "-whole" : "") + (average ? "" : "-noaverage") +
              "-" + std::to_string(companies),
          "CONPL",
          {"GroupColPosn=" + side, "IncludeAverage=" + YesNo(average), "ShowFigures=" + YesNo(figures),
           "RoundWhole=" + YesNo(whole), "ShowHeaders=True", "PrintAccountNumbers=True", "PrintLevel=4"},
          to,
          companies,
          "GROUP"};
}

// Every layout of the three reports: the comparison in each variance format with months in
// or out, last year's month, the last-year columns, each kind of annual column, with and
// without account numbers (portrait and landscape follow from them); the forecast in each
// column type; the group report in each figure format, of six companies and of two.
std::vector<ColumnsCase> AllLayouts() {
  std::vector<ColumnsCase> cases;
  for (const char* format : {"V", "B", "PC"})
    for (bool lastMonth : {false, true})
      for (int annual : {0, 1, 2, 4})
        for (bool noMonths : {false, true})
          for (bool lastYearColumns : {false, true})
            for (bool numbers : {true, false})
              cases.push_back(Comparison(format, annual, lastMonth, noMonths, lastYearColumns, numbers));
  for (const char* type : {"A", "B", "AB"})
    for (bool numbers : {true, false}) cases.push_back(Forecast(type, numbers));
  for (const char* side : {"L", "R"})
    for (bool figures : {true, false})
      for (bool whole : {true, false}) cases.push_back(Group(side, figures, whole, "06/2026"));
  for (bool average : {true, false}) cases.push_back(Group("L", true, true, "06/2026", average, 2));
  return cases;
}

// The sizes of business the layouts print at: the sample's amounts times `factor`, and
// with `deficits`, expenses that many times more again (months of big losses).
struct Size {
  const char* name;
  long long factor;
  long long deficits = 1;
};
constexpr Size kSizes[] = {{"sample", 1},      {"x100", 100},           {"x1000", 1000},
                           {"x10000", 10000},  {"x100000", 100000},     {"deficits", 1000, 25},
                           {"deficits-x100000", 100000, 25}};

// The layouts of one size. At the sample's size every layout (a quarter for each of
// "sample-1" to "sample-4", so that they run side by side); at each larger size an eighth
// of them, a different eighth each (so that every layout prints at some larger
// size), with the layouts whose figures are the widest for their columns at that size:
// a month's losses past the forecast's total, the group's percentages, its figures of
// fourteen characters and more, the comparison's year-to-date figures.
std::vector<ColumnsCase> Layouts(const std::string& size) {
  const std::vector<ColumnsCase> all = AllLayouts();
  std::vector<ColumnsCase> cases;
  if (size.starts_with("sample-")) {
    for (size_t i = static_cast<size_t>(size.back() - '1'); i < all.size(); i += 4) cases.push_back(all[i]);
    return cases;
  }
  const auto at = std::find_if(std::begin(kSizes), std::end(kSizes), [&](const Size& s) { return s.name == size; });
  const auto eighth = static_cast<size_t>(at - std::begin(kSizes) - 1);
  for (size_t i = eighth; i < all.size(); i += 8) cases.push_back(all[i]);
  cases.push_back(Forecast("A", true));
  cases.push_back(Group("R", true, false, "06/2026", false));
  cases.push_back(Group("R", true, true, "06/2026", false));
  cases.push_back(Group("L", true, true, "06/2026", true, 2));
  cases.push_back(Comparison("B", 1, false, false, false, true));
  cases.push_back(Comparison("V", 2, true, false, true, false));
  return cases;
}

// The rows of the group report's pages: the lines that hold a name below the page's
// headings (those down to the time, or to the line numbering a later page) and below its
// column headings (the line holding "GROUP" and the companies' shares under it), less the
// titles of its comparison sections.
int GroupRows(const std::vector<Page>& pages) {
  static const std::regex time("[0-9]{2}:[0-9]{2}:[0-9]{2}");
  int rows = 0;
  for (const Page& page : pages) {
    std::map<long, std::vector<const Word*>> lines;
    for (const Word& w : page.words) lines[std::lround(w.top * 4)].push_back(&w);
    bool body = false, shares = false;
    for (const auto& [top, words] : lines) {
      const auto has = [&](const std::string& t) {
        return std::any_of(words.begin(), words.end(), [&](const Word* w) { return w->text == t; });
      };
      const bool allFigures = std::all_of(words.begin(), words.end(), [](const Word* w) { return IsFigure(w->text); });
      if (std::regex_match(words.back()->text, time) || (words.size() > 1 && words[words.size() - 2]->text == "Page")) {
        body = true;
      } else if (has("GROUP")) {
        shares = true;
      } else if (shares && allFigures) {
        shares = false;
      } else if (body && !allFigures && !(words.size() == 3 && words[0]->text == "Comparison")) {
        ++rows;
      }
    }
  }
  return rows;
}

class PrintedColumns : public ::testing::TestWithParam<std::string> {};

// Every column of every layout lies on the paper, A4 and Letter, at every size of
// business: nothing past the printable area, no letter lost off the paper's edge, every
// row on its own line, its texts apart.
TEST_P(PrintedColumns, EveryColumnOfEveryLayoutIsOnThePaper) {
  UsePrivateOdbcRegistration();
  for (const char* code : {"BGTCMP", "BGTFCT", "CONPL"}) RegisterOnPaper(code);
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string folder = dir.path().toStdString(), file = folder + "/Company.MYO";
  const std::string param = GetParam().starts_with("sample-") ? "sample" : GetParam();
  const Size& size = *std::find_if(std::begin(kSizes), std::end(kSizes), [&](const Size& s) { return s.name == param; });
  std::string change = size.factor > 1 ? ScaleAmounts(size.factor) : "";
  if (size.deficits > 1) {
    const std::string expenses = " WHERE AccountID IN (SELECT AccountID FROM Accounts WHERE AccountNumber LIKE '6-%')";
    const std::string by = std::to_string(size.deficits);
    change += "UPDATE JournalRecords SET TaxExclusiveAmount = TaxExclusiveAmount * " + by + expenses +
              "; UPDATE AccountActivities SET Amount = Amount * " + by + expenses +
              "; UPDATE AccountBudgets SET Amount = Amount * " + by + expenses + ";";
  }
  // Long names in capitals, the widest letters, push the figures after them hardest.
  change += "UPDATE Accounts SET AccountName = UPPER(AccountName) || ' AND SALARIES' WHERE AccountNumber >= '4';";
  CopySample(samples::kAustralianFile, file, change);
  for (int n : {2, 6}) {
    fs::create_directories(folder + "/group" + std::to_string(n));
    for (int k = 1; k <= n; ++k) {
      const std::string copy = folder + "/group" + std::to_string(n) + "/Company" + std::to_string(k) + ".MYO";
      fs::copy_file(file, copy);
      // A short name heads each company's column.
      RawFile(copy, true).Exec("UPDATE Accounts SET AccountDescription = 'SHORTNAME=CO" + std::to_string(k) +
                               "' WHERE AccountNumber = '1-0000';");
    }
  }
  std::vector<ColumnsCase> cases = Layouts(GetParam());
  for (const ColumnsCase& c : cases) {
    for (const Paper& paper : kPapers) {
      SCOPED_TRACE(c.name + " on " + paper.name + " at " + size.name);
      std::vector<printer::DrawCall> drawn;
      settings = {&paper, 0, 0, 0, &drawn};
      const std::string out = folder + "/" + c.name + "-" + paper.name + ".pdf";
      std::vector<std::string> args = {"--file", file, "--report", "PAGES-" + c.report, "--from", "07/2025",
                                       "--to", c.to, "--out", out};
      if (c.report == "CONPL") args.insert(args.end(), {"--folder", folder + "/group" + std::to_string(c.companies)});
      for (const auto& o : c.options) args.insert(args.end(), {"--option", o});
      std::ostringstream so, se;
      const int status = runner::Run(args, so, se);
      settings = {};
      ASSERT_EQ(status, 0) << se.str();
      CheckColumnsAndRows(out, drawn, c.heading);
      // The rows the run says it wrote are those on its pages.
      std::smatch written;
      const std::string said = so.str();
      ASSERT_TRUE(std::regex_search(said, written, std::regex("REPORT: ([0-9]+) rows written"))) << said;
      if (c.report == "CONPL") {
        EXPECT_EQ(std::stoi(written[1]), GroupRows(PdfPages(out))) << said;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, PrintedColumns,
                         ::testing::Values("sample-1", "sample-2", "sample-3", "sample-4", "x100", "x1000", "x10000",
                                           "x100000", "deficits", "deficits-x100000"));

}  // namespace
}  // namespace qvx::test
