// The accounting program writes a company file while a cash-basis read runs: each of its
// commits waits at most about the driver's short read lease, and the read gives the figures
// of the books as they were; commits through SQLite never stop it.
#include <chrono>
#include <string>

#include "EngineFixture.h"
#include "samples/SampleBooks.h"
#include "tests/support/OtherProgram.h"

namespace qvx::test {
namespace {

// The writer's commits that the reads must span, however quickly the build reads (an
// optimised build reads the test's file a hundred times faster than one under the
// sanitizers); the reads are made again until then, or until a writer that gets nothing
// through has had ample time.
constexpr long kCommitsWhileReading = 10;
constexpr auto kLongestReading = std::chrono::seconds(30);

class CashWriterTest : public EngineDbTest {};

TEST_F(CashWriterTest, CommitsGetThroughWhileACashReadRunsAndItsFiguresStand) {
  const std::string path = Path("Busy.MYO");
  samples::BuildLarge(path, 2000);
  EngineCaller::Connect(path);
  ASSERT_TRUE(Conn.ODBCConnected);
  auto read = [&] {
    ui_->Clear();
    EngineCaller run;
    run.CashBasis = kTrue;
    run.LoadAccounts();
    EngineCaller::SetPeriod("01/07/2025", "30/06/2026", "01/07/2025", "30/06/2026");
    run.Read();
    return run.MonthlyFigures();
  };
  const auto quiet = read();
  ASSERT_FALSE(quiet.empty());

  // The reads go on until the writer, committing every 5 ms, has committed often enough
  // meanwhile. Each read gives the figures of the quiet one, without a message.
  CommittingWriter writer(path, {.minUs = 5000, .maxUs = 5000}, kCommitGiveUpMs);
  const long before = writer.Commits();
  const auto start = std::chrono::steady_clock::now();
  int reads = 0;
  while (writer.Commits() - before < kCommitsWhileReading && std::chrono::steady_clock::now() - start < kLongestReading) {
    SCOPED_TRACE("read " + std::to_string(++reads));
    const auto busy = read();
    EXPECT_TRUE(ui_->shown.empty()) << ui_->shown[0].text;
    EXPECT_EQ(busy, quiet);
    if (HasFailure()) break;
  }
  const CommittingWriter::Report r = writer.Stop();

  // The writer was at work all through the reads, and none of its commits waited long
  // (beyond the time the machine gave neither process a processor).
  EXPECT_GE(r.commits - before, kCommitsWhileReading) << reads << " reads";
  EXPECT_EQ(r.failures, 0);
  EXPECT_LE(r.longestUs, kLongestCommitWaitUs) << r.longestRawUs << " us as it came";
}

}  // namespace
}  // namespace qvx::test
