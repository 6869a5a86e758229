// The cash basis answers repeated look-ups (the set of consecutive journal lines, the
// same payment, document or item again) from the answer it already holds. Holding them
// must change nothing but the number of queries sent: on every sample company the
// figures, the boxes shown and the last query text are the same with the reuse off.
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "CashDocFixture.h"
#include "samples/SamplePaths.h"

namespace qvx::test {
namespace {

class CashReuseTest : public CashDocTest {};

struct ReadResult {
  std::map<std::pair<std::string, int>, Money> monthly;
  std::vector<std::string> ytd, lastYear;
  std::vector<std::string> boxes;
  std::string lastQuery;
  int64_t sent = 0, reused = 0;
};

TEST_F(CashReuseTest, SameFiguresWithAndWithoutHeldAnswersOnEverySampleCompany) {
  for (const char* file : {samples::kAustralianFile, samples::kUsaFile, samples::kAr2011File}) {
    SCOPED_TRACE(file);
    const std::string path = Path(file);
    std::filesystem::copy_file(samples::SamplePath(file), path, std::filesystem::copy_options::overwrite_existing);
    EngineCaller::Connect(path);
    ASSERT_TRUE(Conn.ODBCConnected);

    auto read = [&](bool reuse) {
      ui_->Clear();
      Engine.ReuseAnswers = reuse;
      const AnswerCounters before = AnswerStats;
      EngineCaller run;
      run.CashBasis = kTrue;
      run.LoadAccounts();
      EngineCaller::SetPeriod("01/01/2000", "31/12/2040", "01/01/2000", "31/12/2040");
      run.Read();
      ReadResult r;
      r.monthly = run.MonthlyFigures();
      for (const Money& m : run.ActYTD) r.ytd.push_back(m.ToString());
      // The comparison's last-year pass reads with the dates a year back.
      run.ReadLastYear();
      for (const Money& m : run.LYActYTD) r.lastYear.push_back(m.ToString());
      r.boxes = Boxes();
      r.lastQuery = Conn.SQLStr;
      r.sent = AnswerStats.sent - before.sent;
      r.reused = AnswerStats.reused - before.reused;
      return r;
    };
    const ReadResult held = read(true);
    const ReadResult sent = read(false);
    Engine.ReuseAnswers = true;

    EXPECT_FALSE(held.monthly.empty());
    EXPECT_EQ(held.monthly, sent.monthly);
    EXPECT_EQ(held.ytd, sent.ytd);
    EXPECT_EQ(held.lastYear, sent.lastYear);
    EXPECT_EQ(held.boxes, sent.boxes);
    EXPECT_EQ(held.lastQuery, sent.lastQuery);
    // Every look-up was either sent or answered again; without the reuse all are sent.
    EXPECT_EQ(sent.reused, 0);
    EXPECT_GT(held.reused, 0);
    EXPECT_EQ(held.sent + held.reused, sent.sent);
  }
}

}  // namespace
}  // namespace qvx::test
