// The accounting program writes a company file while a cash-basis read runs: each of its
// commits waits at most about the driver's short read lease, and the read either gives the
// figures of the books as they were or stops with the driver's "changed while it was
// open" message.
#include <poll.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <utility>

#include "EngineFixture.h"
#include "samples/SampleBooks.h"

namespace qvx::test {
namespace {

// The driver's read lease (25 ms) and 100 ms for everything else.
constexpr int64_t kLongestWaitUs = (25 + 100) * 1000;

// The writer's commits that the reads must span, however quickly the build reads (an
// optimised build reads the test's file a hundred times faster than one under the
// sanitizers); the reads are made again until then, or until a writer that gets nothing
// through has had ample time.
constexpr long kCommitsWhileReading = 10;
constexpr auto kLongestReading = std::chrono::seconds(30);

// How long the threads under a /proc folder have been ready to run but waited for a
// processor, in microseconds (the kernel's scheduler statistics; 0 where it keeps none).
int64_t RunQueueUs(const std::filesystem::path& tasks) {
  int64_t waited = 0;
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator(tasks, ec)) {
    std::ifstream stats(task.path() / "schedstat");
    long long onCpuNs = 0, waitingNs = 0;
    if (stats >> onCpuNs >> waitingNs) waited += waitingNs / 1000;
  }
  return waited;
}

// A second process committing small writes in a loop, as the accounting program does
// while a user works, until told to stop; then it reports its commits and longest wait.
class Writer {
 public:
  explicit Writer(const std::string& file) {
    // Its count of commits so far, which the reader looks at while it reads.
    void* shared = ::mmap(nullptr, sizeof(std::atomic<long>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) return;
    committed_ = new (shared) std::atomic<long>(0);
    if (::pipe(stop_) != 0 || ::pipe(report_) != 0) return;
    // The reader's threads: the one that reads and holds the read lock, and the one that
    // ends the lease when the reader is idle.
    const std::string reader = "/proc/" + std::to_string(::getpid()) + "/task";
    pid_ = ::fork();
    if (pid_ != 0) {
      // The read begins once the writer is at work, however late a loaded machine starts
      // it; a writer that ended before that closes its end.
      ::close(std::exchange(report_[1], -1));
      char atWork = 0;
      if (pid_ > 0 && ::read(report_[0], &atWork, 1) != 1) Stop();
      return;
    }
    sqlite3* db = nullptr;
    long commits = 0, failures = 0;
    int64_t longestUs = 0;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) _exit(2);
    // It looks for the lock every millisecond, so that its waits measure how long the
    // reader held the file rather than its own pauses (SQLite's own waits grow to 100 ms).
    sqlite3_busy_handler(
        db, [](void*, int tries) { return tries < 10000 && ::usleep(1000) == 0 ? 1 : 0; }, nullptr);
    // Its commits wait for locks, not for the disk.
    sqlite3_exec(db, "PRAGMA synchronous = OFF", nullptr, nullptr, nullptr);
    const std::string writer = "/proc/" + std::to_string(::getpid()) + "/task";
    pollfd stop{stop_[0], POLLIN, 0};
    while (::poll(&stop, 1, 5) == 0) {
      const std::string sql = "UPDATE DataFileInformation SET Phone = '555 " + std::to_string(commits % 10000) + "'";
      // On a loaded machine either process may wait for a processor meanwhile: the
      // reader then holds its lock longer, and the writer sees it free later, through no
      // fault of the lease. That time is the machine's and is not counted.
      const int64_t queued = RunQueueUs(reader) + RunQueueUs(writer);
      const auto start = std::chrono::steady_clock::now();
      if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) committed_->store(++commits);
      else ++failures;
      const auto us =
          std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
      longestUs = std::max<int64_t>(longestUs, us - (RunQueueUs(reader) + RunQueueUs(writer) - queued));
      if (commits + failures == 1 && ::write(report_[1], "w", 1) != 1) _exit(3);
    }
    sqlite3_close(db);
    char text[96];
    const int n = std::snprintf(text, sizeof text, "%ld %ld %lld", commits, failures, static_cast<long long>(longestUs));
    _exit(::write(report_[1], text, static_cast<size_t>(n)) == n ? 0 : 3);
  }
  ~Writer() {
    Stop();
    if (committed_) ::munmap(committed_, sizeof(std::atomic<long>));
  }

  // The commits made so far.
  long Commits() const { return committed_ ? committed_->load() : 0; }

  struct Report {
    long commits = -1, failures = -1;
    long long longestUs = -1;
  };
  Report Stop() {
    Report r;
    if (pid_ <= 0) return r;
    char c = 'x';
    if (::write(stop_[1], &c, 1) == 1) {
      char text[96] = {};
      if (::read(report_[0], text, sizeof text - 1) > 0) std::sscanf(text, "%ld %ld %lld", &r.commits, &r.failures, &r.longestUs);
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    for (int fd : {stop_[0], stop_[1], report_[0], report_[1]})
      if (fd >= 0) ::close(fd);
    return r;
  }

 private:
  int stop_[2] = {-1, -1};
  int report_[2] = {-1, -1};
  pid_t pid_ = -1;
  std::atomic<long>* committed_ = nullptr;
};

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

  // The reads go on until the writer has committed often enough meanwhile. Each read
  // either gives the figures of the quiet one or stops with the driver's message, after
  // which the connection reads nothing more.
  Writer writer(path);
  const long before = writer.Commits();
  const auto start = std::chrono::steady_clock::now();
  int reads = 0;
  bool stopped = false;
  while (!stopped && writer.Commits() - before < kCommitsWhileReading &&
         std::chrono::steady_clock::now() - start < kLongestReading) {
    SCOPED_TRACE("read " + std::to_string(++reads));
    const auto busy = read();
    for (const auto& box : ui_->shown) stopped |= box.text.find("while it was open") != std::string::npos;
    if (!stopped) {
      EXPECT_TRUE(ui_->shown.empty());
      EXPECT_EQ(busy, quiet);
    }
    if (HasFailure()) break;
  }
  const Writer::Report r = writer.Stop();

  // The writer was at work all through the reads, and none of its commits waited long
  // (beyond the time the machine gave neither process a processor).
  if (!stopped) {
    EXPECT_GE(r.commits - before, kCommitsWhileReading) << reads << " reads";
  }
  EXPECT_EQ(r.failures, 0);
  EXPECT_LE(r.longestUs, kLongestWaitUs);
}

}  // namespace
}  // namespace qvx::test
