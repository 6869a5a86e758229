// Other programs at work on a company file while the program reads it, for tests: a writer
// holding its lock, a program removing, truncating or replacing the file, a writer stopped
// in the middle of a change, and another user of the machine.
#pragma once

#include <grp.h>
#include <poll.h>
#include <sys/mman.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <new>
#include <random>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace qvx::test {

// How long a writer of the test waits for a lock, as the accounting program does.
inline constexpr int kWriterWaitMs = 2000;

// A commit of the tests' committing writer (below) waits for a program reading the file
// about the driver's read lease (25 ms) and the read under way; readers that keep the file
// from it for ever keep it out until it gives up. The tests bound its wait far from both: a
// loaded machine stretches a sound wait by tens of milliseconds, a faulty one lasts seconds.
inline constexpr int64_t kLongestCommitWaitUs = 1'000'000;
inline constexpr int kCommitGiveUpMs = 5000;

// How long a test waits for its other program to do its part, and how often it forks one
// again when it hangs.
inline constexpr int kChildWaitMs = 20000;
inline constexpr int kChildAttempts = 3;

// Waits for a child process to end, at most `waitMs`; a child still running then is killed
// and nothing is returned. Its status otherwise.
inline std::optional<int> EndChild(pid_t pid, int waitMs = kChildWaitMs) {
  int status = 0;
  for (int waited = 0; waited <= waitMs; waited += 5) {
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) return status;
    if (r < 0) return std::nullopt;
    ::usleep(5000);
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, &status, 0);
  return std::nullopt;
}

// Another program holding a lock on the file: a child process that opens it with SQLite,
// takes the lock, reports that it holds it, and rolls back when told to. Like the
// accounting program, it waits for a reader's short read lease to end.
class Writer {
 public:
  Writer(const std::string& file, const char* begin) {
    // A child forked from a test program with threads of its own can, rarely, hang on a
    // lock another thread held at the fork; it is then given up and forked again.
    for (int attempt = 0; attempt < kChildAttempts && !started_; ++attempt) Start(file, begin);
  }
  ~Writer() {
    if (pid_ > 0) {
      char c = 'x';
      (void)!::write(release_[1], &c, 1);
      EndChild(pid_);
    }
    CloseAll();
  }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;
  bool Locked() const { return locked_; }

 private:
  void Start(const std::string& file, const char* begin) {
    CloseAll();
    if (::pipe(ready_) != 0 || ::pipe(release_) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      sqlite3* db = nullptr;
      char ok = 'n';
      if (sqlite3_open(file.c_str(), &db) == SQLITE_OK && sqlite3_busy_timeout(db, kWriterWaitMs) == SQLITE_OK &&
          sqlite3_exec(db, begin, nullptr, nullptr, nullptr) == SQLITE_OK &&
          sqlite3_exec(db, "UPDATE DataFileInformation SET Phone = 'being written'", nullptr, nullptr, nullptr) ==
              SQLITE_OK)
        ok = 'y';
      if (::write(ready_[1], &ok, 1) != 1) _exit(2);
      char c = 0;
      if (::read(release_[0], &c, 1) != 1) _exit(3);
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      sqlite3_close(db);
      _exit(0);
    }
    if (pid_ < 0) return;
    // Only the child writes "ready" and reads "release": a child that dies then reads as
    // the end of its pipe rather than a wait for ever.
    ::close(std::exchange(ready_[1], -1));
    ::close(std::exchange(release_[0], -1));
    pollfd ready{ready_[0], POLLIN, 0};
    char ok = 0;
    if (::poll(&ready, 1, kChildWaitMs) == 1 && ::read(ready_[0], &ok, 1) == 1) {
      started_ = true;
      locked_ = ok == 'y';
      return;
    }
    ::kill(pid_, SIGKILL);
    EndChild(std::exchange(pid_, -1));
  }
  void CloseAll() {
    for (int* fd : {&ready_[0], &ready_[1], &release_[0], &release_[1]})
      if (*fd >= 0) ::close(std::exchange(*fd, -1));
  }

  int ready_[2] = {-1, -1};
  int release_[2] = {-1, -1};
  pid_t pid_ = -1;
  bool started_ = false;
  bool locked_ = false;
};

// Runs `work` in a child process and gives its result; false when the child did not end
// normally. A child that hangs (see Writer) is given up and the work tried again.
inline bool InChildProcess(const std::function<bool()>& work) {
  for (int attempt = 0; attempt < kChildAttempts; ++attempt) {
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) _exit(work() ? 0 : 1);
    if (const auto status = EndChild(pid, kChildWaitMs)) return WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
  }
  return false;
}

// Another program changing the file at the moment a test chooses (Make): a child process
// removes it, truncates it to half its size, or renames another company's file over it;
// or, as a writer, locks it and holds the lock until this object ends.
class FileChange {
 public:
  enum Kind { Removed, Truncated, Replaced, Locked };
  FileChange(Kind kind, std::string file, std::string other = {})
      : kind_(kind), file_(std::move(file)), other_(std::move(other)) {}

  // Returns once the change has been made; false when it could not be.
  bool Make() {
    if (kind_ == Locked) {
      writer_ = std::make_unique<Writer>(file_, "BEGIN EXCLUSIVE");
      return writer_->Locked();
    }
    const bool made = InChildProcess([&] {
      namespace fs = std::filesystem;
      std::error_code ec;
      if (kind_ == Removed) fs::remove(file_, ec);
      if (kind_ == Truncated) fs::resize_file(file_, fs::file_size(file_, ec) / 2, ec);
      if (kind_ == Replaced) {
        fs::copy_file(other_, file_ + ".new", ec);
        if (!ec) fs::rename(file_ + ".new", file_, ec);
      }
      return !ec;
    });
    // The driver looks at the file once a lease, and a lease lasts at most 25 ms.
    ::usleep(30000);
    return made;
  }
  // Ends the hold of a writer on the file; the other changes stay made.
  void Release() { writer_.reset(); }

 private:
  Kind kind_;
  std::string file_, other_;
  std::unique_ptr<Writer> writer_;
};

// Leaves the file as a writer leaves it that was killed in the middle of a change that had
// begun to reach the file: a journal beside it that only a writer may roll back. The
// writer's cache of one page sends the change to the file before it is committed.
inline bool LeaveUnfinishedChange(const std::string& file) {
  return InChildProcess([&] {
    sqlite3* db = nullptr;
    const bool changed =
        sqlite3_open(file.c_str(), &db) == SQLITE_OK &&
        sqlite3_exec(db,
                     "PRAGMA cache_size = 1; BEGIN; CREATE TABLE Unfinished (x); "
                     "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
                     "INSERT INTO Unfinished SELECT randomblob(200) FROM n",
                     nullptr, nullptr, nullptr) == SQLITE_OK;
    return changed && ::access((file + "-journal").c_str(), F_OK) == 0;  // ends without its commit
  });
}

// A company file as a hostile program may leave it: a view in place of one of its tables,
// with the table's columns and a query that never ends. `sorted`: its endless rows are
// sorted, which SQLite does in temporary data that grows for ever; otherwise every row is
// filtered out, endless work without temporary data.
inline bool PutEndlessViewInPlaceOf(const std::string& file, const std::string& table, bool sorted) {
  const std::string kept = table + "Kept";
  const std::string sql = "ALTER TABLE " + table + " RENAME TO " + kept + "; CREATE VIEW " + table +
                          " AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT " + kept +
                          ".* FROM n, " + kept + (sorted ? " ORDER BY random()" : " WHERE n.i < 0");
  sqlite3* db = nullptr;
  const bool made = sqlite3_open(file.c_str(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return made;
}

// Runs `work` in a child process as a user with no rights to the test's files: the
// unprivileged "nobody" when the test runs as root, who reads any file, otherwise the test's
// own user.
inline bool AsAnotherUser(const std::function<bool()>& work) {
  return InChildProcess([&] {
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
      return false;
    return work();
  });
}

// How long each thread of a process has been ready to run but waited for a processor, in
// microseconds, by thread (the kernel's scheduler statistics; none where it keeps none).
inline std::map<pid_t, int64_t> RunQueueUs(pid_t pid) {
  std::map<pid_t, int64_t> waited;
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
    std::ifstream stats(task.path() / "schedstat");
    long long onCpuNs = 0, waitingNs = 0;
    if (stats >> onCpuNs >> waitingNs) waited[static_cast<pid_t>(std::stoi(task.path().filename()))] = waitingNs / 1000;
  }
  return waited;
}

// The longest any one thread present at both counts waited for a processor between them.
// A thread that began or ended in between is left out: its count at one end says nothing
// of the time between. Threads that waited side by side are not added up as if one after
// another: with a busy machine and many threads that would come to more than the time
// between, and hide any wait.
inline int64_t LongestRunQueueUs(const std::map<pid_t, int64_t>& before, const std::map<pid_t, int64_t>& after) {
  int64_t longest = 0;
  for (const auto& [thread, us] : after)
    if (const auto then = before.find(thread); then != before.end()) longest = std::max(longest, us - then->second);
  return longest;
}

// How long the threads present at both counts, but `leftOut`, waited for a processor between
// them, added up: for threads that take turns, each waiting for the other (a loop of reads
// and the driver's threads that end its leases), whose waits for a processor come one after
// another. Threads at work side by side are left out (see above).
inline int64_t RunQueueUsOfTurns(const std::map<pid_t, int64_t>& before, const std::map<pid_t, int64_t>& after,
                                 pid_t leftOut = 0) {
  int64_t total = 0;
  for (const auto& [thread, us] : after)
    if (const auto then = before.find(thread); then != before.end() && thread != leftOut) total += us - then->second;
  return total;
}

// Another program committing small changes through SQLite in a loop while the test reads, as
// the accounting program does while a user works: BEGIN IMMEDIATE, one UPDATE, COMMIT, then
// a pause of a random length within the given bounds. It looks for the lock every
// millisecond, so that its waits measure how long readers held the file rather than its own
// pauses, and gives a commit up after `giveUpMs`. On a loaded machine either process may
// wait for a processor while a commit waits: that time is the machine's, not the readers'.
// What the thread of each process that waited longest for one, among those at work all
// through the commit, waited is left out of the longest wait; so the readers end only after
// the writer has stopped (Stop).
class CommittingWriter {
 public:
  struct Pause {
    int minUs = 0;
    int maxUs = 0;
  };
  CommittingWriter(const std::string& file, Pause pause, int giveUpMs = kWriterWaitMs) {
    void* shared = ::mmap(nullptr, sizeof(std::atomic<long>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) return;
    commits_ = new (shared) std::atomic<long>(0);
    if (::pipe(stop_) != 0 || ::pipe(report_) != 0) return;
    const pid_t reader = ::getpid();
    pid_ = ::fork();
    if (pid_ != 0) {
      // The readers begin once the writer is at work, however late a loaded machine starts it.
      ::close(std::exchange(report_[1], -1));
      char atWork = 0;
      if (pid_ > 0 && ::read(report_[0], &atWork, 1) != 1) Stop();
      return;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) _exit(2);
    sqlite3_busy_handler(
        db, [](void* most, int n) { return n < *static_cast<int*>(most) && ::usleep(1000) == 0 ? 1 : 0; },
        &giveUpMs);
    // Its commits wait for locks, not for the disk.
    sqlite3_exec(db, "PRAGMA synchronous = OFF", nullptr, nullptr, nullptr);
    std::minstd_rand random(static_cast<unsigned>(::getpid()));
    std::uniform_int_distribution<int> pauseUs(pause.minUs, std::max(pause.minUs, pause.maxUs));
    long commits = 0, failures = 0;
    int64_t longestUs = 0, longestRawUs = 0;
    const pid_t writer = ::getpid();
    pollfd stop{stop_[0], POLLIN, 0};
    while (::poll(&stop, 1, 0) == 0) {
      const std::string sql = "BEGIN IMMEDIATE; UPDATE DataFileInformation SET Phone = '555 " +
                              std::to_string(commits % 10000) + "'; COMMIT";
      const auto readerQueued = RunQueueUs(reader), writerQueued = RunQueueUs(writer);
      const auto start = std::chrono::steady_clock::now();
      if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) {
        commits_->store(++commits);
      } else {
        ++failures;
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      }
      const auto us =
          std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
      const int64_t machineUs = LongestRunQueueUs(readerQueued, RunQueueUs(reader)) +
                                LongestRunQueueUs(writerQueued, RunQueueUs(writer));
      longestUs = std::max<int64_t>(longestUs, us - machineUs);
      longestRawUs = std::max<int64_t>(longestRawUs, us);
      if (commits + failures == 1 && ::write(report_[1], "w", 1) != 1) _exit(3);
      ::usleep(static_cast<useconds_t>(pauseUs(random)));
    }
    sqlite3_close(db);
    char text[96];
    const int n = std::snprintf(text, sizeof text, "%ld %ld %lld %lld", commits, failures,
                                static_cast<long long>(longestUs), static_cast<long long>(longestRawUs));
    _exit(::write(report_[1], text, static_cast<size_t>(n)) == n ? 0 : 3);
  }
  ~CommittingWriter() {
    Stop();
    if (commits_) ::munmap(commits_, sizeof(std::atomic<long>));
  }
  CommittingWriter(const CommittingWriter&) = delete;
  CommittingWriter& operator=(const CommittingWriter&) = delete;

  // The commits made so far.
  long Commits() const { return commits_ ? commits_->load() : 0; }

  // The commits made and given up, and the longest wait of one: less the machine's time
  // (above), and as it came.
  struct Report {
    long commits = -1, failures = -1;
    long long longestUs = -1, longestRawUs = -1;
  };
  Report Stop() {
    Report r;
    if (pid_ <= 0) return r;
    char c = 'x';
    if (::write(stop_[1], &c, 1) == 1) {
      char text[96] = {};
      if (::read(report_[0], text, sizeof text - 1) > 0)
        std::sscanf(text, "%ld %ld %lld %lld", &r.commits, &r.failures, &r.longestUs, &r.longestRawUs);
    }
    EndChild(std::exchange(pid_, -1));
    for (int* fd : {&stop_[0], &stop_[1], &report_[0], &report_[1]})
      if (*fd >= 0) ::close(std::exchange(*fd, -1));
    return r;
  }

 private:
  int stop_[2] = {-1, -1};
  int report_[2] = {-1, -1};
  pid_t pid_ = -1;
  std::atomic<long>* commits_ = nullptr;
};

}  // namespace qvx::test
