// Other programs at work on a company file while the program reads it, for tests: a writer
// holding its lock, a program removing, truncating or replacing the file, a writer stopped
// in the middle of a change, and another user of the machine.
#pragma once

#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace qvx::test {

// How long a writer of the test waits for a lock, as the accounting program does.
inline constexpr int kWriterWaitMs = 2000;

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
    // The driver looks at the file's path every few milliseconds.
    ::usleep(30000);
    return made;
  }

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

}  // namespace qvx::test
