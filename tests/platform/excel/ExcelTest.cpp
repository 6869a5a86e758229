#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/TestUi.h"
#include "platform/excel/Excel.h"
#include "platform/runtime/Runtime.h"

namespace qvx {
namespace fs = std::filesystem;
using namespace excel;

namespace {

std::string Python() { return fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }

// Reads a saved workbook back with openpyxl: one line per fact, "key=value".
std::map<std::string, std::string> ReadBack(const std::string& path) {
  const std::string script = fs::temp_directory_path() / ("qvx_read_" + std::to_string(::getpid()) + ".py");
  std::ofstream(script) << R"(import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.worksheets[0]
print("title=%s" % ws.title)
for row in ws.iter_rows():
    for c in row:
        if c.value is not None:
            print("%s.v=%r" % (c.coordinate, c.value))
            print("%s.t=%s" % (c.coordinate, type(c.value).__name__))
        if c.number_format != "General":
            print("%s.fmt=%s" % (c.coordinate, c.number_format))
        if c.font.b:
            print("%s.bold=1" % c.coordinate)
        if c.font.sz and float(c.font.sz) != 11:
            print("%s.size=%g" % (c.coordinate, float(c.font.sz)))
        if c.font.color is not None and c.font.color.rgb and c.font.color.type == "rgb" and c.font.color.rgb not in ("FF000000",):
            print("%s.color=%s" % (c.coordinate, c.font.color.rgb))
        if c.alignment.horizontal:
            print("%s.align=%s" % (c.coordinate, c.alignment.horizontal))
        if c.border.bottom and c.border.bottom.style:
            print("%s.bottom=%s" % (c.coordinate, c.border.bottom.style))
print("merged=%s" % ",".join(sorted(str(r) for r in ws.merged_cells.ranges)))
for k, d in sorted(ws.column_dimensions.items()):
    if d.width:
        print("width.%s=%g" % (k, d.width))
print("orientation=%s" % ws.page_setup.orientation)
print("colbreaks=%s" % ",".join(str(b.id) for b in ws.col_breaks.brk))
print("rowbreaks=%s" % ",".join(str(b.id) for b in ws.row_breaks.brk))
)";
  const std::string cmd = Python() + " " + script + " '" + path + "' 2>&1";
  std::map<std::string, std::string> out;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  while (std::fgets(buf, sizeof buf, p)) {
    std::string line(buf);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    auto eq = line.find('=');
    if (eq != std::string::npos) out[line.substr(0, eq)] = line.substr(eq + 1);
    else out["!" + line] = "";
  }
  ::pclose(p);
  fs::remove(script);
  return out;
}

struct TempDir {
  fs::path path;
  TempDir() {
    std::string t = (fs::temp_directory_path() / "qvx_xl_XXXXXX").string();
    path = ::mkdtemp(t.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path, ec);
  }
};

}  // namespace

TEST(ExcelTypedText, TextsThatReadAsNumbersBecomeNumbersWithAFormat) {
  struct Case {
    std::string typed;
    std::variant<double, std::string, std::monostate> value;
    std::string format;
  } cases[] = {
      {"1,234", 1234.0, "#,##0"},
      {"  1,234.50", 1234.5, "#,##0.00"},
      {"(1,234)", -1234.0, "#,##0_);(#,##0)"},
      {"-1,234", -1234.0, "#,##0"},
      {"$1,234", 1234.0, "$#,##0"},
      {"($1,234.56)", -1234.56, "$#,##0.00_);($#,##0.00)"},
      {"-$5", -5.0, "$#,##0"},
      {"12.5%", 0.125, "0.00%"},
      {"  50 %", 0.5, "0%"},
      {"1234", 1234.0, ""},
      {"-.5", -0.5, ""},
      {"1E+20", 1e20, ""},
      {"'4-1000", std::string("4-1000"), ""},
      {"'1,234", std::string("1,234"), ""},
      {"4-1000", std::string("4-1000"), ""},
      {"1,23", std::string("1,23"), ""},
      {"12,3456", std::string("12,3456"), ""},
      {"(-5)", std::string("(-5)"), ""},
      {"$", std::string("$"), ""},
      {"   ", std::string("   "), ""},
      {"Total Income", std::string("Total Income"), ""},
      {"", std::monostate{}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    TypedValue t = InterpretTyped(c.typed);
    if (auto* d = std::get_if<double>(&c.value)) {
      ASSERT_TRUE(std::holds_alternative<double>(t.value));
      EXPECT_DOUBLE_EQ(std::get<double>(t.value), *d);
    } else if (auto* s = std::get_if<std::string>(&c.value)) {
      ASSERT_TRUE(std::holds_alternative<std::string>(t.value));
      EXPECT_EQ(std::get<std::string>(t.value), *s);
    } else {
      EXPECT_TRUE(std::holds_alternative<std::monostate>(t.value));
    }
    EXPECT_EQ(t.numberFormat, c.format);
  }
}

// A number shows as the spreadsheet program draws it in its cell's format; a column too
// narrow for a number of the range (a figure or a formula's result, in its cell's font) is
// widened to show it in full; a column wide enough, or holding texts only, keeps its width
// or stays without one, and widening again changes nothing. That the reports' figures fit
// their columns as the spreadsheet programs draw them the workbook-width run shows.
TEST(ExcelWidths, AColumnTooNarrowForANumberIsWidenedAndNoOther) {
  const struct {
    double value;
    const char* format;
    const char* shown;
  } texts[] = {
      {-1234.4, "#,##0_);(#,##0)", "(1,234)"},
      {-5, "$#,##0", "-$5"},
      {-0.4, "#,##0", "0"},
      {0.755, "0%", "76%"},
      {0, "#,##0;(#,##0);\"nil\"", "nil"},
      {12, "\"$\"#,##0\" CR\"", "$12 CR"},
      {1234567, "#,##0,", "1,235"},
      {-1234.5, "General", "-1234.5"},
      {-1234, "#,##0.00_);(#,##0.00)", "(1,234.00)"},
      {7, "000", "007"},
  };
  for (const auto& t : texts) EXPECT_EQ(NumberText(t.value, t.format), t.shown) << t.format;

  Worksheet ws("Sheet1");
  ws.Cells(1, 2).SetValue("(1,234,567,890)");
  ws.Cells(2, 2).SetValue("12");
  ws.Cells(3, 2).SetValue("($40,748,930)");
  ws.Cells(3, 2).Font().SetBold(true);
  ws.Cells(3, 2).Font().SetSize(14);
  ws.Columns("C").SetColumnWidth(20);
  ws.Cells(1, 3).SetValue("1,234,567");
  ws.Cells(1, 4).SetValue("12");
  ws.Cells(1, 5).SetText("A text far wider than any column of the sheet");
  ws.Cells(1, 6).SetValue("=SUM(B1:B3)");
  ws.Cells(1, 7).SetValue("99,999");
  ws.Cells(1, 8).SetValue("(1,234,567,890)");  // outside the range
  for (int twice = 0; twice < 2; ++twice) {
    ws.Columns("B:G").WidenForNumbers();
    EXPECT_EQ(ws.ColumnWidths(), (std::map<int, double>{{2, 16}, {3, 20}, {6, 14}}));
  }
}

// A General number shows as the run-time library prints it (printf's "%.15G", 0 without a
// sign), in at most eleven characters: checked against printf itself at the edges of
// exponent form and rounding and over numbers of every size.
TEST(ExcelWidths, AGeneralNumberShowsAsPrintfDoes) {
  auto printed = [](double v) {
    if (v == 0) return std::string("0");
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", std::fabs(v));
    return (v < 0 ? "-" : "") + std::string(buf).substr(0, 11);
  };
  std::vector<double> values = {0, -0.0, 1, -1, 0.5, 1e-5, -1e-5, 0.0001, 0.00012345678901234, 0.99999999995,
                                0.999999999999999, 0.9999999999999999, 9.9999999999999995, 99999999999.5,
                                12345678901, -123456789012345, 999999999999999.5, 1e15, 1.5e16, 5e-324,
                                1.7976931348623157e308, 0.1 + 0.2, 1234.5};
  std::mt19937_64 random(51);
  for (int i = 0; i < 100000; ++i) {
    double bits;
    const uint64_t raw = random();
    std::memcpy(&bits, &raw, sizeof bits);
    if (std::isfinite(bits)) values.push_back(bits);
    // Money of every size, and its thousandths, as the reports' figures and averages are.
    const double cents = static_cast<double>(static_cast<int64_t>(random() >> (random() % 64))) / 100;
    values.insert(values.end(), {cents, -cents / 1000});
  }
  for (double v : values) ASSERT_EQ(NumberText(v, "General"), printed(v)) << v;
}

TEST(ExcelModel, AddressesRangesAndErrors) {
  Worksheet ws("Sheet1");
  EXPECT_EQ(ws.GetRange("b2:D4").Address(), "B2:D4");
  EXPECT_EQ(ws.GetRange("$A$1").Address(), "A1");
  EXPECT_EQ(ws.Columns("C:F").Column(), 3);
  EXPECT_EQ(ws.Columns("C:F").LastColumn(), 6);
  EXPECT_EQ(ws.GetRange(ws.Cells(11, 3), ws.Cells(10, 11)).Address(), "C10:K11");
  EXPECT_EQ(ColumnLetters(28), "AB");
  EXPECT_EQ(ColumnNumber("xfd"), 16384);
  for (const char* bad : {"", "A0", "1A", "A1:", "ZZZZ1", "A1:B"}) {
    SCOPED_TRACE(bad);
    try {
      ws.GetRange(bad);
      ADD_FAILURE() << "accepted";
    } catch (const VbError& e) {
      EXPECT_EQ(e.Number(), 1004);
    }
  }
  EXPECT_THROW(ws.Cells(0, 1), VbError);
  EXPECT_THROW(ws.Cells(1, 16385), VbError);
  // Merging keeps only the first cell's value.
  ws.Cells(1, 2).SetValue("keep");
  ws.Cells(1, 3).SetValue("lost");
  ws.GetRange("B1:D1").Merge();
  EXPECT_EQ(ws.Cells(1, 2).Text(), "keep");
  EXPECT_EQ(ws.Cells(1, 3).Text(), "");
  // An existing number format is kept when a formatted text is typed.
  ws.Cells(5, 1).SetNumberFormat("0.000");
  ws.Cells(5, 1).SetValue("1,234");
  EXPECT_EQ(ws.Cells(5, 1).NumberFormat(), "0.000");
  // Whole-column formatting touches existing cells only.
  ws.Columns("A").SetHorizontalAlignment(xlRight);
  EXPECT_EQ(ws.Cells(5, 1).HorizontalAlignment(), xlRight);
  EXPECT_LT(ws.AllCells().size(), 10u);
}

TEST(ExcelSave, WorkbookReadsBackWithValuesTypesAndFormatting) {
  test::ScriptedUiScope ui;
  TempDir dir;
  auto app = Application::Create();
  EXPECT_EQ(app->Version(), "12.0");
  auto book = app->AddWorkbook();
  Worksheet& ws = book->Worksheets(1);
  ws.PageSetup().Orientation = xlLandscape;
  ws.GetRange("B1:D1").Merge();
  ws.Cells(1, 2).SetHorizontalAlignment(xlCenter);
  ws.Cells(1, 2).Font().SetBold(true);
  ws.Cells(1, 2).Font().SetSize(12);
  ws.Cells(1, 2).Font().SetColor(0xFF0000);  // pure blue in the object model
  ws.Cells(1, 2).SetValue("Harbour Traders");
  ws.Cells(3, 1).SetValue("'4-1000");
  ws.Cells(3, 2).SetValue("  1,234");
  ws.Cells(3, 3).SetValue("(1,234)");
  ws.Cells(3, 4).SetValue("$1,234");
  ws.Cells(3, 5).SetValue("12.5%");
  ws.Cells(3, 6).SetFormula("=SUM(B3:D3)");
  ws.Cells(4, 2).SetValue(2.5);
  ws.Cells(4, 3).SetValue("=SUM(B3:B4)");
  // A General formula cell takes the format of the first cell it refers to; a cell with a
  // format of its own keeps it.
  ws.Cells(4, 4).SetFormula("=B4+B3");
  ws.Cells(4, 5).SetNumberFormat("0.0");
  ws.Cells(4, 5).SetFormula("=SUM(C3:D3)");
  ws.Cells(4, 6).SetFormula("=ROUND($C$3,0)");
  ws.GetRange(ws.Cells(3, 2), ws.Cells(3, 6)).Borders(xlEdgeBottom).SetLineStyle(xlContinuous);
  ws.GetRange("B5:C5").SetNumberFormat("#,##0");
  ws.Cells(5, 2).SetValue(1000);
  ws.Columns("A").SetColumnWidth(30);
  ws.Columns("C:D").SetColumnWidth(12);
  ws.VPageBreaks().Add(ws.Cells(52, 8));
  ws.ResetAllPageBreaks();
  ws.VPageBreaks().Add(ws.Cells(52, 7));
  ws.Cells(1, 1).Select();
  const std::string path = (dir.path / "Budget.XLSX").string();
  book->SaveAs(path);
  // The cached results of the formulas are what a recalculation gives.
  EXPECT_DOUBLE_EQ(std::get<Formula>(ws.Cells(3, 6).Value()).cached, 1234.0 - 1234.0 + 1234.0);
  EXPECT_DOUBLE_EQ(std::get<Formula>(ws.Cells(4, 3).Value()).cached, 1234.0 + 2.5);
  book->Close();
  app->Quit();
  EXPECT_TRUE(ui->Messages().empty());

  auto r = ReadBack(path);
  ASSERT_EQ(r.count("title"), 1u) << (r.empty() ? "nothing read" : r.begin()->first);
  EXPECT_EQ(r["B1.v"], "'Harbour Traders'");
  EXPECT_EQ(r["B1.bold"], "1");
  EXPECT_EQ(r["B1.size"], "12");
  EXPECT_EQ(r["B1.color"], "FF0000FF");
  EXPECT_EQ(r["B1.align"], "center");
  EXPECT_EQ(r["merged"], "B1:D1");
  EXPECT_EQ(r["A3.v"], "'4-1000'");
  EXPECT_EQ(r["A3.t"], "str");
  EXPECT_EQ(r["B3.v"], "1234");
  EXPECT_EQ(r["B3.fmt"], "#,##0");
  EXPECT_EQ(r["C3.v"], "-1234");
  EXPECT_EQ(r["C3.fmt"], "#,##0_);(#,##0)");
  EXPECT_EQ(r["D3.fmt"], "$#,##0");
  EXPECT_EQ(r["E3.v"], "0.125");
  EXPECT_EQ(r["E3.fmt"], "0.00%");
  EXPECT_EQ(r["F3.v"], "'=SUM(B3:D3)'");
  EXPECT_EQ(r["C4.v"], "'=SUM(B3:B4)'");
  EXPECT_EQ(r["F3.fmt"], "#,##0");
  EXPECT_EQ(r["C4.fmt"], "#,##0");
  EXPECT_EQ(r.count("D4.fmt"), 0u);
  EXPECT_EQ(r["E4.fmt"], "0.0");
  EXPECT_EQ(r["F4.fmt"], "#,##0_);(#,##0)");
  // Typing never changes the font: typed figures of any format keep the standard size.
  for (const char* cell : {"A3", "B3", "C3", "D3", "E3", "F3", "B4", "C4", "B5"})
    EXPECT_EQ(r.count(std::string(cell) + ".size"), 0u) << cell << " " << r[std::string(cell) + ".size"];
  EXPECT_EQ(r["B3.bottom"], "thin");
  EXPECT_EQ(r["F3.bottom"], "thin");
  EXPECT_EQ(r.count("A3.bottom"), 0u);
  EXPECT_EQ(r["B5.fmt"], "#,##0");
  EXPECT_EQ(r["C5.fmt"], "#,##0");
  EXPECT_EQ(r["width.A"].substr(0, 2), "30");
  EXPECT_EQ(r["width.C"].substr(0, 2), "12");
  EXPECT_EQ(r["orientation"], "landscape");
  EXPECT_EQ(r["colbreaks"], "6");  // a break before column G (the seventh)

}

TEST(ExcelSave, ReplacingAskingReadOnlyAndMissingFolders) {
  test::ScriptedUiScope ui;
  TempDir dir;
  const std::string path = (dir.path / "Report.XLSX").string();
  std::ofstream(path) << "earlier";
  auto app = Application::Create();
  auto book = app->AddWorkbook();
  book->Worksheets(1).Cells(1, 1).SetValue("new");

  struct Case {
    const char* name;
    ui::Answer answer;
    int error;  // 0: saved
  } cases[] = {{"declined", ui::Answer::No, 1004}, {"agreed", ui::Answer::Yes, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ui->Clear();
    ui->QueueAnswer(c.answer);
    int got = 0;
    try {
      book->SaveAs(path);
    } catch (const VbError& e) {
      got = e.Number();
    }
    EXPECT_EQ(got, c.error);
    ASSERT_EQ(ui->shown.size(), 1u);
    EXPECT_NE(ui->shown[0].text.find("already exists"), std::string::npos);
  }
  EXPECT_EQ(ReadBack(path)["A1.v"], "'new'");

  // Read-only target: not replaced, no question, a clear error.
  ::chmod(path.c_str(), 0444);
  ui->Clear();
  if (::access(path.c_str(), W_OK) != 0) {  // root can write anything
    try {
      book->SaveAs(path);
      ADD_FAILURE() << "saved over a read-only file";
    } catch (const VbError& e) {
      EXPECT_EQ(e.Number(), 75);
      EXPECT_NE(e.Description().find("read-only"), std::string::npos);
    }
    EXPECT_TRUE(ui->shown.empty());
  }
  // A link at the name: refused before anyone is asked whether to replace what it points at.
  const std::string link = (dir.path / "Link.XLSX").string();
  fs::create_symlink(path, link);
  ui->Clear();
  try {
    book->SaveAs(link);
    ADD_FAILURE() << "saved through a link";
  } catch (const VbError& e) {
    EXPECT_EQ(e.Description(), link + " is a link, not a file, so nothing was saved there and nothing was overwritten.");
  }
  EXPECT_TRUE(ui->shown.empty());
  fs::remove(link);
  // Missing folder.
  try {
    book->SaveAs((dir.path / "nowhere" / "x.XLSX").string());
    ADD_FAILURE();
  } catch (const VbError& e) {
    EXPECT_EQ(e.Number(), 76);
  }
  // A name the file system refuses leaves nothing behind in the folder.
  try {
    book->SaveAs((dir.path / (std::string(300, 'A') + ".XLSX")).string());
    ADD_FAILURE();
  } catch (const VbError& e) {
    EXPECT_EQ(e.Number(), 75);
  }
  int files = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(dir.path)) ++files;
  EXPECT_EQ(files, 1);
  app->Quit();
}

TEST(ExcelApplication, RefusesToStartWhenTheEnvironmentSaysSo) {
  Environment().createFailure = 429;
  EXPECT_THROW(Application::Create(), VbError);
  Environment().createFailure = 0;
  const int before = Environment().running;
  auto app = Application::Create();
  EXPECT_EQ(Environment().running, before + 1);
  app->Quit();
  EXPECT_EQ(Environment().running, before);
}

}  // namespace qvx
