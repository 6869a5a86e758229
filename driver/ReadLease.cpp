// The read lease and the file checks of a connection.
//
// Each SQLite read transaction on a file in rollback-journal mode costs a dozen system
// calls (locks, the hot-journal look, the change counter); the cash basis runs hundreds of
// thousands of small statements. So the driver holds one read transaction across the
// consecutive statements of a connection for a short lease, then ends it: the accounting
// program's writes wait at most about the lease. A lease ends at the first statement after
// its time is up, or, when the client has gone quiet, by the connection's timer.
//
// SQLite gives a connection the read lock of its file at once, without asking the system,
// while another connection of the same process holds one; a writer waiting for the file
// never gets in while the leases of several connections overlap. So the leases of one
// process on one file are held together: a lease's time is counted from the moment the
// process took the file, and once that time is up no connection of the process begins a
// lease on it until every one has let go, so that a waiting writer takes the file. A thread
// does not wait, though, for a connection that an open cursor of its own keeps past its
// lease (a script walks a list on one connection and looks each row up on another): only
// the thread itself will close that cursor, and the file stays held by it in any case. The
// other connection joins the lease that read is in, which is over, so that it reads one
// statement at a time and holds the file no longer than the cursor does.
//
// The accounting program writes its files while reports run: it may commit changes through
// SQLite (seen as a new data version), and it, or someone else, may replace, remove,
// truncate or overwrite the file past SQLite. Once per lease, after its first read has
// begun, the driver looks at the file and says which of these happened.
#include "driver/Driver.h"

#include <pthread.h>

#include <algorithm>
#include <map>
#include <thread>
#include <vector>

namespace qvx::driver {

// The leases of this process on one file.
struct FileLeases {
  std::mutex mutex;
  std::condition_variable released;  // notified when a holder lets go, or comes to be kept
  int holders = 0;
  int64_t takenNs = 0;  // when the first of the current holders took the file
  // The holders kept past their leases by an open cursor, each by the thread of its last
  // statement (the thread that will close it), and the threads waiting to take the file.
  std::vector<std::thread::id> keepers;
  std::vector<std::thread::id> waiting;
};

namespace {

// A lease lasts at most this long, so that a writer waits no longer.
constexpr int64_t kLeaseNs = 25'000'000;
// ... and ends sooner when no statement has begun for this long.
constexpr int64_t kIdleNs = 3'000'000;
// A connection waits at most this long for the others to let go of the file; only a
// statement that runs longer keeps them, and the writer waits for it in any case.
constexpr int64_t kLongestGapWaitNs = 250'000'000;

// The leases of this process on the file of `device` and `inode`, shared by its connections.
std::shared_ptr<FileLeases> LeasesOf(uint64_t device, uint64_t inode) {
  static std::mutex mutex;
  static auto* files = new std::map<std::pair<uint64_t, uint64_t>, std::weak_ptr<FileLeases>>();
  std::lock_guard lock(mutex);
  std::erase_if(*files, [](const auto& f) { return f.second.expired(); });
  std::weak_ptr<FileLeases>& known = (*files)[{device, inode}];
  std::shared_ptr<FileLeases> leases = known.lock();
  if (!leases) known = leases = std::make_shared<FileLeases>();
  return leases;
}

// When the leases of the process on the file must end (its holders hold it together).
int64_t TakenNs(ReadLease& l) {
  std::lock_guard lock(l.file->mutex);
  return l.file->takenNs;
}

// Counts the connection among the file's holders: at once while the process took the file
// less than a lease ago, otherwise once every holder has let go (or a statement of another
// connection kept the file too long), but for the ones kept by cursors of this thread. The
// connection then joins the current holders' lease, which is over: it is ended after the
// statement, so that nothing of the process outlasts those cursors.
void TakeFile(ReadLease& l) {
  FileLeases& f = *l.file;
  const std::thread::id self = std::this_thread::get_id();
  std::unique_lock lock(f.mutex);
  const int64_t giveUpNs = NowNs() + kLongestGapWaitNs;
  f.waiting.push_back(self);
  for (;;) {
    const int64_t now = NowNs();
    if (f.holders == std::ranges::count(f.keepers, self) || now - f.takenNs < kLeaseNs || now >= giveUpNs) break;
    f.released.wait_for(lock, std::chrono::nanoseconds(giveUpNs - now));
  }
  f.waiting.erase(std::ranges::find(f.waiting, self));
  if (f.holders++ == 0) f.takenNs = NowNs();
  l.holding = true;
}

// Records the thread whose cursor keeps the connection among the holders (none: not kept).
void SetKeeper(FileLeases& f, ReadLease& l, std::thread::id keeper) {
  if (l.keeper != std::thread::id()) f.keepers.erase(std::ranges::find(f.keepers, l.keeper));
  if (keeper != std::thread::id()) f.keepers.push_back(keeper);
  l.keeper = keeper;
}

// A connection of the keeper's thread waiting for the file need no longer wait for this one
// (the lease timer ends a lease that a cursor keeps while its thread may be waiting).
void KeptBy(ReadLease& l, std::thread::id keeper) {
  if (l.keeper == keeper) return;
  FileLeases& f = *l.file;
  std::lock_guard lock(f.mutex);
  SetKeeper(f, l, keeper);
  if (std::ranges::find(f.waiting, keeper) != f.waiting.end()) f.released.notify_all();
}

// Every let-go may end a wait: a waiting connection waits for no holder its thread keeps.
void LetGoOfFile(ReadLease& l) {
  if (!l.holding) return;
  l.holding = false;
  FileLeases& f = *l.file;
  std::lock_guard lock(f.mutex);
  SetKeeper(f, l, std::thread::id());
  --f.holders;
  f.released.notify_all();
}

// Runs the driver's own BEGIN or COMMIT (the authorizer refuses them from the client).
int RunOwn(Connection& c, const char* sql) {
  c.leaseStatement = true;
  int rc = sqlite3_exec(c.db.get(), sql, nullptr, nullptr, nullptr);
  c.leaseStatement = false;
  return rc;
}

// A statement whose cursor is still open keeps SQLite's read lock past the end of its
// lease, until it is closed; until then the connection still counts among the file's
// holders, or the other connections of the process would begin leases under that lock,
// which a waiting writer cannot stop, and chain one long statement to the next.
void LetGoOnceReadEnded(Connection& c) {
  ReadLease& l = c.lease;
  if (l.active || !l.holding) return;
  if (c.db && sqlite3_txn_state(c.db.get(), "main") != SQLITE_TXN_NONE) return KeptBy(l, l.reader);
  LetGoOfFile(l);
}

// Ends a lease.
void EndLeaseLocked(Connection& c) {
  ReadLease& l = c.lease;
  if (!l.active) return;
  l.active = false;
  // SQLite ended the transaction itself after some failures.
  if (c.db && !sqlite3_get_autocommit(c.db.get())) RunOwn(c, "COMMIT");
  LetGoOnceReadEnded(c);
}

void RunTimer(Connection* c) {
  ReadLease& l = c->lease;
  std::unique_lock lock(l.mutex);
  while (!l.stop) {
    if (!l.active) {
      l.wake.wait(lock);
      continue;
    }
    const int64_t due = std::min(TakenNs(l) + kLeaseNs, l.lastStatementNs + kIdleNs);
    const int64_t now = NowNs();
    if (now >= due) {
      EndLeaseLocked(*c);
      continue;
    }
    l.wake.wait_for(lock, std::chrono::nanoseconds(due - now));
  }
}

// A child process forked while a lease is held inherits SQLite's record of this process's
// locks and could never take a write lock on the file itself (the test programs' writers
// do that). So every lease ends before a fork, as if the connections had gone idle.
void EndLeasesBeforeFork() {
  DriverState& ds = State();
  std::lock_guard lock(ds.mutex);
  for (const auto& env : ds.environments)
    for (const auto& c : env->connections) {
      std::lock_guard call(c->lease.mutex);
      EndLeaseLocked(*c);
    }
}

}  // namespace

ReadLease::~ReadLease() {
  {
    std::lock_guard lock(mutex);
    stop = true;
  }
  wake.notify_all();
  if (timer.joinable()) timer.join();
}

void EnterLease(Connection& c) {
  ReadLease& l = c.lease;
  if (!l.file) l.file = LeasesOf(c.fileDevice, c.fileInode);
  l.reader = std::this_thread::get_id();
  if (l.active && NowNs() - TakenNs(l) >= kLeaseNs) EndLeaseLocked(c);
  LetGoOnceReadEnded(c);
  // Still holding while not in a lease: a cursor of its own keeps the read, and the file.
  if (!l.active && !l.holding) TakeFile(l);
  l.lastStatementNs = NowNs();
  if (l.active) return;
  l.checked = false;
  // Without a lease (BEGIN refused) each statement is its own read, checked on its own.
  if (RunOwn(c, "BEGIN") != SQLITE_OK) {
    LetGoOnceReadEnded(c);
    return;
  }
  l.active = true;
  if (!l.timer.joinable()) {
    static std::once_flag forkHandler;
    std::call_once(forkHandler, [] { pthread_atfork(EndLeasesBeforeFork, nullptr, nullptr); });
    l.timer = std::thread(RunTimer, &c);
  }
  l.wake.notify_one();
}

void CursorClosed(Connection& c) { LetGoOnceReadEnded(c); }

SQLRETURN CheckLease(Statement& s) {
  Connection& c = *s.conn;
  if (c.lease.checked) return SQL_SUCCESS;
  const bool lockHeld = sqlite3_txn_state(c.db.get(), "main") == SQLITE_TXN_READ;
  SQLRETURN rc = CheckCompanyFile(s, lockHeld);
  // Checked for the lease once its read lock is held: a statement that read no table
  // took none, and the next one's read may begin on a newer version of the file.
  c.lease.checked = rc == SQL_SUCCESS && c.lease.active && lockHeld;
  return rc;
}

void StopLease(Connection& c) {
  ReadLease& l = c.lease;
  {
    std::lock_guard lock(l.mutex);
    l.stop = true;
    EndLeaseLocked(c);
    LetGoOfFile(l);
  }
  l.wake.notify_all();
  if (l.timer.joinable()) l.timer.join();
  l.stop = false;
  l.file.reset();
}

// SQLite's count of changes to the file, by this or any other program; it moves when a
// read begins after another program wrote the file.
unsigned DataVersion(sqlite3* db) {
  unsigned version = 0;
  sqlite3_file_control(db, "main", SQLITE_FCNTL_DATA_VERSION, &version);
  return version;
}

// What tells one company's file from another's: the company name and serial number.
// Empty when the file no longer answers (truncated, damaged, not a company file).
std::string CompanyIdentity(sqlite3* db) {
  sqlite3_stmt* raw = nullptr;
  std::string identity;
  if (sqlite3_prepare_v2(db, "SELECT CompanyName, SerialNumber FROM DataFileInformation", -1, &raw, nullptr) !=
      SQLITE_OK)
    return identity;
  SqliteStmtPtr st(raw);
  if (sqlite3_step(st.get()) == SQLITE_ROW) {
    for (int i = 0; i < 2; ++i) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), i));
      identity += text ? text : "";
      identity += '\x1f';
    }
  }
  return identity;
}

int64_t ModifiedNs(const struct stat& st) {
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

namespace {

// Holds a read of the file for its checks: a statement of the driver's own that stands on
// its first row of the schema, which keeps SQLite's read lock until it is finalized. Null,
// with SQLite's code in `rc`, when the file cannot be read now.
SqliteStmtPtr HoldRead(sqlite3* db, int& rc) {
  sqlite3_stmt* raw = nullptr;
  rc = sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master", -1, &raw, nullptr);
  SqliteStmtPtr st(raw);
  if (rc != SQLITE_OK) return nullptr;
  rc = sqlite3_step(st.get());
  if (rc != SQLITE_ROW) return nullptr;
  return st;
}

}  // namespace

// Is the open file still the company file that was opened? The path must still name the
// same, non-empty file. When SQLite has seen another program commit a change, the file
// must still hold the same company. When it has seen none, the file must not have changed
// size or time: under this connection's read lock only a program writing past SQLite
// (truncating or overwriting it) changes it, leaving SQLite's cached pages stale. Without
// the lock a commit may have come in between, so the file is looked at again under one
// before anything is said. A file in write-ahead-log mode changes under any read lock (its
// log is copied back into it), so its size and time tell nothing.
SQLRETURN CheckCompanyFile(Statement& s, bool lockHeld) {
  Connection& c = *s.conn;
  if (!c.db || c.database.empty()) return SQL_SUCCESS;
  const std::string file = "The company file \"" + c.database + "\" ";
  // What the user can do about it; whether a report stops is for the program to say.
  const std::string stop = ". Open the company file again when the other program has finished.";
  const unsigned version = DataVersion(c.db.get());
  struct stat st {};
  if (::stat(c.database.c_str(), &st) != 0)
    return s.AddDiag("08S01", file + "was removed or renamed while it was open. Put it back where it was, or "
                                     "choose the company file again with Setup / MYOB Connection.");
  if (static_cast<uint64_t>(st.st_dev) != c.fileDevice || static_cast<uint64_t>(st.st_ino) != c.fileInode)
    return s.AddDiag("08S01", file + "was replaced by another file while it was open" + stop);
  if (st.st_size == 0) return s.AddDiag("08S01", file + "was emptied by another program while it was open" + stop);
  if (version != c.dataVersion) {
    std::string identity = CompanyIdentity(c.db.get());
    if (identity.empty())
      return s.AddDiag("08S01", file + "was changed by another program while it was open and can no longer be read" + stop);
    if (identity != c.companyIdentity)
      return s.AddDiag("08S01", file + "was overwritten with another company's file while it was open" + stop);
    c.dataVersion = version;
    c.fileSize = static_cast<int64_t>(st.st_size);
    c.fileModifiedNs = ModifiedNs(st);
    return SQL_SUCCESS;
  }
  if (c.writeAheadLog || (static_cast<int64_t>(st.st_size) == c.fileSize && ModifiedNs(st) == c.fileModifiedNs))
    return SQL_SUCCESS;
  if (!lockHeld) {
    int rc = SQLITE_OK;
    if (SqliteStmtPtr hold = HoldRead(c.db.get(), rc)) return CheckCompanyFile(s, true);
    // Held by a writer now: nothing can be told until it has finished.
    if (HeldByAnotherProgram(rc)) return SQL_SUCCESS;
  }
  return s.AddDiag("08S01", file + "was truncated or overwritten by another program while it was open" + stop);
}

}  // namespace qvx::driver
