// Report output at scale: a 5,000-row, 15-column workbook written and saved as .xlsx, and
// a 100-page printed report (tab columns, rules, page headings) written to a PDF file.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <QApplication>
#include <benchmark/benchmark.h>

#include "platform/excel/Excel.h"
#include "platform/printer/Printer.h"
#include "platform/runtime/Runtime.h"

namespace {

using namespace qvx;
namespace fs = std::filesystem;

std::string Scratch(const std::string& name) {
  return (fs::temp_directory_path() / ("qvx_bench_" + std::to_string(::getpid()) + "_" + name)).string();
}

// An amount as the reports write it: thousands separators, brackets for negatives.
std::string AmountText(long v) {
  std::string digits = std::to_string(v < 0 ? -v : v);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return v < 0 ? "(" + out + ")" : "  " + out;
}

void BM_Workbook5000Rows15Columns(benchmark::State& state) {
  const std::string path = Scratch("book.XLSX");
  for (auto _ : state) {
    fs::remove(path);
    auto app = excel::Application::Create();
    auto book = app->AddWorkbook();
    excel::Worksheet& ws = book->Worksheets(1);
    ws.PageSetup().Orientation = excel::xlLandscape;
    ws.Columns("A").SetColumnWidth(30);
    ws.Columns("B:O").SetColumnWidth(12);
    for (int r = 1; r <= 5000; ++r) {
      ws.Cells(r, 1).SetValue("Account " + std::to_string(r));
      if (r % 50 == 1) ws.Cells(r, 1).Font().SetBold(true);
      for (int c = 2; c <= 14; ++c) ws.Cells(r, c).SetValue(AmountText((r * 7919L + c * 104729L) % 2000001 - 1000000));
      ws.Cells(r, 15).SetFormula("=SUM(B" + std::to_string(r) + ":N" + std::to_string(r) + ")");
      if (r % 10 == 0) ws.GetRange(ws.Cells(r, 2), ws.Cells(r, 15)).Borders(excel::xlEdgeBottom).SetLineStyle(1);
    }
    book->SaveAs(path);
    book->Close();
    app->Quit();
  }
  state.counters["bytes"] = static_cast<double>(fs::file_size(path));
  fs::remove(path);
}
BENCHMARK(BM_Workbook5000Rows15Columns)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PrintedReport100PagesToPdf(benchmark::State& state) {
  const std::string path = Scratch("report.pdf");
  printer::Environment().redirectToPdf = path;
  for (auto _ : state) {
    printer::Printer p("PDF");
    p.SetOrientation(printer::kLandscape);
    p.SetFontName("Arial");
    const int tabs[] = {45, 61, 77, 97, 113, 129, 151, 167};
    for (int page = 1; page <= 100; ++page) {
      if (page > 1) p.NewPage();
      p.SetFontSize(9);
      p.SetFontBold(true);
      p.Print({});
      p.Print({printer::Tab{5}, "Budget Comparison"}, true);
      p.SetCurrentX(p.ScaleWidth() - 1000);
      p.Print({"Page" + Str(static_cast<int64_t>(page))});
      p.SetFontBold(false);
      for (int line = 1; line <= 50; ++line) {
        p.Print({printer::Tab{3}, "Account " + std::to_string(page * 100 + line)}, true);
        for (int t : tabs) p.Print({printer::Tab{t}, AmountText((page * 7919L + line * 104729L + t) % 200001 - 100000)}, true);
        p.EndLine();
        if (line % 10 == 0) {
          const double y = p.CurrentY();
          p.SetDrawWidth(2);
          p.Line(45 * 82 + 300, y + 80, 167 * 82 + 1300, y + 80);
          p.SetCurrentY(y + 80 - 100);
        }
      }
    }
    p.EndDoc();
  }
  state.counters["bytes"] = static_cast<double>(fs::file_size(path));
  printer::Environment() = {};
  fs::remove(path);
}
BENCHMARK(BM_PrintedReport100PagesToPdf)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
