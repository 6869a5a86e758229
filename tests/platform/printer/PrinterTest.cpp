#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>

#include <unistd.h>

#include "platform/printer/Printer.h"
#include "platform/runtime/Runtime.h"
#include "tests/platform/printer/PdfText.h"
#include "tests/support/TestUi.h"

namespace qvx {
namespace fs = std::filesystem;
using namespace printer;

namespace {

struct Word {
  double xMin, yMin;
  std::string text;
};

// Words of the PDF with their left edges and tops in twips from the printable area's
// corner (the PDF device keeps a quarter-inch edge).
std::vector<Word> Words(const std::string& pdf, int page = 1) {
  const std::string html = test::PdfText(pdf, page, true);
  std::vector<Word> words;
  std::regex re(R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)"[^>]*>([^<]*)</word>)re");
  for (auto it = std::sregex_iterator(html.begin(), html.end(), re); it != std::sregex_iterator(); ++it)
    words.push_back({(std::stod((*it)[1]) - 18) * 20, (std::stod((*it)[2]) - 18) * 20, (*it)[3]});
  return words;
}

const Word* Find(const std::vector<Word>& words, const std::string& text) {
  for (auto& w : words)
    if (w.text == text) return &w;
  return nullptr;
}

struct PrinterTest : ::testing::Test {
  test::ScriptedUiScope ui;
  fs::path dir;
  void SetUp() override {
    std::string t = (fs::temp_directory_path() / "qvx_prn_XXXXXX").string();
    dir = ::mkdtemp(t.data());
    Environment() = {};
    Environment().systemPrinters = std::vector<std::string>{};
    Environment().recording = true;
  }
  void TearDown() override {
    Environment() = {};
    fs::remove_all(dir);
  }
};

}  // namespace

TEST_F(PrinterTest, ArialNineColumnsAreNearEightyTwoTwipsAndABlankIsHalfADigit) {
  Printer p(kPdfDevice);
  p.SetFontName("Arial");
  p.SetFontSize(9);
  EXPECT_NEAR(p.ColumnWidth(), 82, 1.0);
  EXPECT_NEAR(2 * p.TextWidth(" "), p.TextWidth("0"), 2.0);
  // All digits are equally wide, so padded figures line up on their right edges.
  for (char d = '1'; d <= '9'; ++d) EXPECT_NEAR(p.TextWidth(std::string(1, d)), p.TextWidth("0"), 0.5);
  p.SetFontSize(14);
  EXPECT_GT(p.ColumnWidth(), 120);
  EXPECT_GT(p.TextHeight(), 300);
  // The printable width of a portrait page is a page less the edges, in twips.
  EXPECT_GT(p.ScaleWidth(), 11000);
  EXPECT_LT(p.ScaleWidth(), 12000);
  const double portrait = p.ScaleWidth();
  p.SetOrientation(kLandscape);
  EXPECT_GT(p.ScaleWidth(), portrait + 3000);
}

TEST_F(PrinterTest, TextAtTabColumnsAndRulesAtEightyTwoTwipsLineUpInThePdf) {
  const std::string pdf = (dir / "rules").string();
  ui->QueueFile(pdf);  // the PDF device asks for its file name; ".pdf" is added
  Printer p(kPdfDevice);
  p.SetOrientation(kLandscape);
  p.SetFontName("Arial");
  p.SetFontSize(9);
  p.SetDrawWidth(2);
  const int columns[] = {5, 45, 61, 97, 151, 180};
  for (int c : columns) p.Print({Tab{c}, "C" + std::to_string(c)}, true);
  p.EndLine();
  const double y0 = p.CurrentY();
  for (int c : columns) p.Line(c * 82.0, y0 + 80, c * 82.0 + 500, y0 + 80);
  p.SetCurrentY(y0 + 100);
  p.Print({});
  p.Print({Tab{10}, "Left"}, true);
  const double ruleY = p.CurrentY() + 80;
  p.Line(0, ruleY, 3000, ruleY);
  p.Print({Tab{5}, "Wrapped"});  // column 5 lies behind the rule's end: next line
  p.EndDoc();
  ASSERT_TRUE(fs::exists(pdf + ".pdf"));
  ASSERT_EQ(ui->fileRequests.size(), 1u);

  const auto words = Words(pdf + ".pdf");
  const auto& calls = Environment().calls;
  for (int c : columns) {
    SCOPED_TRACE(c);
    const Word* w = Find(words, "C" + std::to_string(c));
    ASSERT_NE(w, nullptr);
    // The text's column and the rule drawn for that column agree within one column.
    auto rule = std::find_if(calls.begin(), calls.end(),
                             [&](const DrawCall& d) { return d.kind == DrawCall::Line && d.x == c * 82.0; });
    ASSERT_NE(rule, calls.end());
    EXPECT_NEAR(w->xMin, rule->x - 82, 82);
    // And the recorded call is where the PDF put the text.
    auto text = std::find_if(calls.begin(), calls.end(),
                             [&](const DrawCall& d) { return d.kind == DrawCall::Text && d.text == w->text; });
    ASSERT_NE(text, calls.end());
    EXPECT_NEAR(w->xMin, text->x, 10);
  }
  const Word* left = Find(words, "Left");
  const Word* wrapped = Find(words, "Wrapped");
  ASSERT_TRUE(left && wrapped);
  EXPECT_GT(wrapped->yMin, ruleY + 100);
  EXPECT_NEAR(wrapped->xMin, 4 * 81.6, 10);
}

// Figures right-aligned by their leading blanks, as the reports print them, where one is
// wider than its column: every figure of the line stays on it, and each after the wide
// one still ends where it would have ended at its column, as far as its blanks allow.
TEST_F(PrinterTest, AFigureWiderThanItsColumnLeavesTheOthersOnItsLine) {
  Environment().redirectToPdf = (dir / "wide.pdf").string();
  Printer p("Office Laser");
  p.SetOrientation(kLandscape);
  p.SetFontSize(9);
  auto padded = [](const std::string& figure) {
    return std::string(2 * (std::max<size_t>(figure.size(), 12) - figure.size()), ' ') + figure;
  };
  struct Case {
    const char* name;
    std::vector<std::string> figures;  // at columns 10, 26, 42, ...
    size_t cannotKeep;                 // the first figure that can no longer end at its place (none: size)
  };
  const Case cases[] = {
      {"one figure a little wide", {"    ($40,748,930)", padded("$3,492,750"), padded("($23,647,450)"), padded("7")}, 4},
      {"one figure far too wide", {"    (12345678901234567890.00)", padded("1,234"), padded("5")}, 1},
      // The next figure still ends at its place, one blank before it: not at the pen.
      {"one blank left to keep", {"  1234567890123", "   12", padded("5")}, 3},
      // Neither has a blank to give: one goes between them.
      {"figures without blanks", {"    ($440222430000)", "$81041953000", padded("5")}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Environment().calls.clear();
    for (size_t i = 0; i < c.figures.size(); ++i) p.Print({Tab{10 + 16 * static_cast<int>(i)}, c.figures[i]}, true);
    p.EndLine();
    std::vector<DrawCall> texts;
    for (const DrawCall& d : Environment().calls)
      if (d.kind == DrawCall::Text) texts.push_back(d);
    ASSERT_EQ(texts.size(), c.figures.size());
    double pen = 0;
    for (size_t i = 0; i < texts.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(texts[i].y, texts[0].y) << "moved off its line";
      EXPECT_EQ(texts[i].tab, 10 + 16 * static_cast<int>(i));
      const double column = (texts[i].tab - 1) * p.ColumnWidth();
      const double right = texts[i].x + p.TextWidth(texts[i].text);
      EXPECT_GE(texts[i].x, pen - 0.5) << "over the figure before it";
      const size_t visible = texts[i].text.find_first_not_of(' ');
      if (i > 0) {
        EXPECT_GE(texts[i].x + p.TextWidth(texts[i].text.substr(0, visible)), pen + p.TextWidth(" ") - 0.5)
            << "no blank between it and the figure before";
      }
      if (i != c.cannotKeep) {
        EXPECT_NEAR(right, column + p.TextWidth(c.figures[i]), 0.5);
      } else {
        // Too little padding: it follows the pen with one blank between.
        EXPECT_NEAR(texts[i].x, pen, 0.5);
        EXPECT_EQ(texts[i].text, " " + c.figures[i].substr(c.figures[i].find_first_not_of(' ')));
      }
      pen = right;
    }
  }
  p.EndDoc();
}

// A layout wider than the paper's printable width is drawn smaller as a whole, to that
// width, on every paper and in both orientations; a narrower one is drawn at full size where
// the paper holds the A4 width (and smaller to that width where it does not). That the
// reports' pages lie on the paper the printed reports' tests show; this, that they are drawn
// no smaller than they must be.
TEST_F(PrinterTest, ALayoutWiderThanItsPaperIsDrawnSmallerToFitIt) {
  struct Paper {
    const char* name;
    double width, height;  // points, as Qt sizes them
  };
  for (const Paper& paper : {Paper{"A4", 595, 842}, Paper{"Letter", 612, 792}})
    for (int orientation : {kPortrait, kLandscape})
      for (double layoutPoints : {0.0, 700.0, 1000.0}) {
        SCOPED_TRACE(std::string(paper.name) + (orientation == kLandscape ? " landscape, " : " portrait, ") +
                     std::to_string(layoutPoints) + " pt");
        Environment().paper = PrinterEnvironment::Paper{paper.width, paper.height};
        Environment().redirectToPdf = (dir / "fit.pdf").string();
        Printer p("Office Laser");
        p.SetOrientation(orientation);
        p.SetLayoutWidth(layoutPoints * 20);
        const double a4 = (orientation == kLandscape ? 842 : 595) - 36;  // Qt's A4, in whole points
        const double printable = (orientation == kLandscape ? paper.height : paper.width) - 36;
        const double drawnWidth = std::max({printable, a4, layoutPoints}) * 20;
        // Within a fifth of a point: Qt rounds A4 to whole points, the page is drawn to its
        // true size.
        EXPECT_NEAR(p.ScaleWidth(), drawnWidth, 4) << "before the job";
        p.Print({"Edge"});
        EXPECT_NEAR(p.ScaleWidth(), drawnWidth, 4) << "on its page";
        p.EndDoc();
      }
}

TEST_F(PrinterTest, JobsAndPages) {
  Environment().redirectToPdf = (dir / "pages.pdf").string();
  Printer p("Office Laser");
  EXPECT_FALSE(p.JobStarted());
  p.EndDoc();  // nothing to end
  EXPECT_TRUE(Environment().calls.empty());
  p.SetFontSize(12);
  p.Print({"Page one"});
  p.NewPage();
  EXPECT_EQ(p.CurrentY(), 0);
  p.Print({"Page two"});
  EXPECT_EQ(p.Page(), 2);
  p.EndDoc();
  EXPECT_NE(test::PdfText(Environment().redirectToPdf, 2).find("Page two"), std::string::npos);

  // An abandoned job leaves no file.
  Environment().redirectToPdf = (dir / "killed.pdf").string();
  p.Print({"never"});
  p.KillDoc();
  EXPECT_FALSE(fs::exists(dir / "killed.pdf"));
  EXPECT_EQ(Environment().calls.back().kind, DrawCall::KillDoc);
  // The printer can start again afterwards.
  Environment().redirectToPdf = (dir / "again.pdf").string();
  p.Print({"again"});
  p.EndDoc();
  EXPECT_TRUE(fs::exists(dir / "again.pdf"));
}

TEST_F(PrinterTest, CancellingThePdfFileNameStartsNoJob) {
  Printer p(kPdfDevice);
  try {
    p.Print({"x"});
    ADD_FAILURE() << "printed without a file";
  } catch (const VbError& e) {
    EXPECT_EQ(e.Number(), kJobCancelled);
  }
  EXPECT_FALSE(p.JobStarted());
}

TEST_F(PrinterTest, PrinterListAlwaysEndsWithThePdfDevice) {
  struct Case {
    std::vector<std::string> system;
    std::vector<std::string> listed;
    std::string current;
  } cases[] = {
      {{}, {"PDF"}, "PDF"},
      {{"Office Laser", "PDF", "Reception"}, {"Office Laser", "Reception", "PDF"}, "Office Laser"},
  };
  for (const auto& c : cases) {
    Environment().systemPrinters = c.system;
    EXPECT_EQ(InstalledPrinters(), c.listed);
    EXPECT_TRUE(SetCurrent(c.listed.front()));
    EXPECT_EQ(Current().DeviceName(), c.current);
    EXPECT_FALSE(SetCurrent("Nowhere"));
    EXPECT_EQ(Current().DeviceName(), c.current);
  }
}

}  // namespace qvx
