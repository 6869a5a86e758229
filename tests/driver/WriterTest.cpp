// The accounting program commits changes to a company file through SQLite while this
// program reads it, on as many connections and threads as it likes: each commit waits at
// most about the driver's short read lease, and no commit is ever taken for a file that
// another program replaced, truncated or overwrote.
#include "tests/driver/SampleCopyTest.h"
#include "tests/support/OtherProgram.h"

#include "samples/SamplePaths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace qvx {
namespace {

namespace fs = std::filesystem;
using test::CommittingWriter;
using test::kCommitGiveUpMs;
using test::kLongestCommitWaitUs;
using test::TestConnection;

class WriterTest : public test::SampleCopyTest {
 protected:
  WriterTest() : SampleCopyTest("qvx-writer-", "Busy.MYO") {}

  // The first failure of any reader, for the test's message.
  void Failed(const test::OdbcOutcome& out) {
    std::lock_guard lock(mutex_);
    ++failures_;
    if (firstFailure_.empty()) firstFailure_ = out.sqlState + " " + out.message;
  }

  std::mutex mutex_;
  int failures_ = 0;
  std::string firstFailure_;
};

// Threads of one program, each with a connection of its own, look accounts up one row at a
// time, a fraction of a millisecond apart; SQLite lets a connection of a process share the
// read lock another connection of the same process holds, so leases that overlap could keep
// the file locked for ever. One of them may read a long list row by row, as the cash basis
// does: its cursor keeps the read lock past its lease, and the look-ups must not begin
// leases under it for its next read to join. Or many threads read short lists back to back,
// so that at no moment is none of them reading: only the program's holding back of new
// reads once the lease is up lets the writer in.
TEST_F(WriterTest, AWriterWaitsNoLongerThanTheLeaseWhateverTheConnectionsOfOneProgram) {
  constexpr long kCommits = 40;
  struct Case {
    int lookups;
    bool longRead;
    int shortLists;
  };
  for (const Case& k : {Case{2, false, 0}, Case{4, false, 0}, Case{2, true, 0}, Case{0, false, 8}}) {
    SCOPED_TRACE(k.shortLists ? std::to_string(k.shortLists) + " short lists read back to back"
                              : std::to_string(k.lookups) + " look-ups" + (k.longRead ? " and a long read" : ""));
    CommittingWriter writer(file_, {.minUs = 20000, .maxUs = 20000}, kCommitGiveUpMs);
    std::atomic<bool> stop{false};
    std::atomic<long> reads{0}, longReads{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < k.lookups; ++i)
      readers.emplace_back([&, i] {
        TestConnection c;
        if (auto out = c.Connect(Connection()); !out.Ok()) return Failed(out);
        std::minstd_rand random(static_cast<unsigned>(i + 1));
        std::uniform_int_distribution<int> account(1, 200), pauseUs(200, 1700);
        while (!stop) {
          auto out = c.Query("SELECT AccountName FROM Accounts WHERE AccountID = " + std::to_string(account(random)));
          if (!out.Ok()) return Failed(out);
          ++reads;
          ::usleep(static_cast<useconds_t>(pauseUs(random)));
        }
      });
    // Reads a list row by row: `rows` rows `rowGapUs` apart, then the next read after a
    // pause of up to `pauseUs`.
    auto walk = [&](int i, int rows, int rowGapUs, int pauseUs, std::atomic<long>& count) {
      TestConnection c;
      if (auto out = c.Connect(Connection()); !out.Ok()) return Failed(out);
      SQLHSTMT st = SQL_NULL_HSTMT;
      SQLAllocHandle(SQL_HANDLE_STMT, c.Dbc(), &st);
      auto sql = reinterpret_cast<SQLCHAR*>(const_cast<char*>("SELECT JournalRecordID FROM JournalRecords"));
      std::minstd_rand random(static_cast<unsigned>(i + 1));
      std::uniform_int_distribution<int> pause(0, pauseUs);
      while (!stop) {
        SQLRETURN rc = SQLExecDirect(st, sql, SQL_NTS);
        for (int row = 0; SQL_SUCCEEDED(rc) && row < rows; ++row) {
          rc = SQLFetch(st);
          ::usleep(static_cast<useconds_t>(rowGapUs));
        }
        if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) return Failed(test::Diagnose(rc, SQL_HANDLE_STMT, st));
        SQLCloseCursor(st);
        ++count;
        if (pauseUs) ::usleep(static_cast<useconds_t>(pause(random)));
      }
      SQLFreeHandle(SQL_HANDLE_STMT, st);
    };
    // Rows taken a millisecond apart for longer than the lease, then the next read.
    if (k.longRead) readers.emplace_back(walk, 0, 40, 1000, 0, std::ref(longReads));
    // A few milliseconds' read each, a fraction of a millisecond apart.
    for (int i = 0; i < k.shortLists; ++i) readers.emplace_back(walk, i, 10, 200, 100, std::ref(reads));
    const auto start = std::chrono::steady_clock::now();
    while (writer.Commits() < kCommits && std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
      ::usleep(5000);
    // The writer stops before the readers end, so that each of its commits is measured
    // among threads at work all through it.
    const CommittingWriter::Report r = writer.Stop();
    stop = true;
    for (auto& t : readers) t.join();
    EXPECT_EQ(failures_, 0) << firstFailure_;
    EXPECT_GT(reads, kCommits);
    EXPECT_GT(longReads, k.longRead ? 2 : -1);
    EXPECT_GE(r.commits, kCommits);
    EXPECT_EQ(r.failures, 0);
    EXPECT_LE(r.longestUs, kLongestCommitWaitUs) << r.longestRawUs << " us as it came";
  }
}

// Connecting and reading while another program commits every millisecond or two: every
// connection opens and every read answers; none takes the commits for a file replaced,
// truncated or overwritten.
TEST_F(WriterTest, CommitsOfAFastWriterAreNeverTakenForAChangedFile) {
  CommittingWriter writer(file_, {.minUs = 0, .maxUs = 2000});
  const auto start = std::chrono::steady_clock::now();
  int connects = 0;
  while (connects < 150 && std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
    ++connects;
    TestConnection c;
    if (auto out = c.Connect(Connection()); !out.Ok()) {
      Failed(out);
      continue;
    }
    for (const char* sql : {"SELECT CompanyName FROM DataFileInformation", "SELECT COUNT(*) FROM JournalRecords",
                            "SELECT AccountName FROM Accounts WHERE AccountID = 7"}) {
      ::usleep(static_cast<useconds_t>(connects % 3 * 1000));
      if (auto out = c.Query(sql); !out.Ok()) Failed(out);
    }
  }
  const CommittingWriter::Report r = writer.Stop();
  EXPECT_EQ(failures_, 0) << firstFailure_;
  EXPECT_GT(r.commits, 50);
  EXPECT_EQ(r.failures, 0);
}

}  // namespace
}  // namespace qvx
