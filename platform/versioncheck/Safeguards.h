// What keeps every read of a company file (a SQLite database) within bounds, and what says
// why a file cannot be read, shared by the version check and the driver.
//
// A company file is data from outside: a view in place of one of its tables may hold a
// query that never ends, or one that fills the temporary folder. So a read keeps SQLite's
// temporary data in memory, and stops a statement once it has done more work than reading
// the file over and over takes, or once SQLite's memory passes a bound.
#pragma once

#include <sqlite3.h>

#include <cstdint>

namespace qvx::versioncheck {

// Words that follow the file's name when a read of it was stopped at those bounds.
inline constexpr char kReadingStopped[] =
    "cannot be read: a query of it did not end within the work and temporary space that reading a company file "
    "takes";

// Words that follow the file's name when it is in write-ahead-log mode and SQLite cannot
// open the "-shm" file it keeps beside it (nor make one): a folder or medium that this user
// may not write. The "-wal" and "-shm" files are SQLite's own, so the file is read only
// alongside them, never opened for writing nor taken as unchanging.
inline constexpr char kWalUnreadable[] =
    "is in write-ahead-log mode, and this user or medium cannot read it alongside its -shm file";

// SQLite's virtual-machine instructions between two looks at a statement's bounds.
inline constexpr int kInstructionsPerLook = 1000;
// SQLite's memory in use (its caches and the temporary data of its statements) past which
// a statement is stopped.
inline constexpr int64_t kMostSqliteMemory = int64_t{256} << 20;

// The looks a read of one company row may take: a few hundred instructions read it; a view
// in place of its table may do endless work.
inline constexpr int64_t kOneRowReadLooks = 10'000'000 / kInstructionsPerLook;

// The temporary tables, sorts and indexes of the statements on `db` are held in memory,
// within the bound above, never in the temporary folder.
inline void KeepTemporaryDataInMemory(sqlite3* db) {
  sqlite3_exec(db, "PRAGMA temp_store = MEMORY", nullptr, nullptr, nullptr);
}

// The work a statement may do: a look every kInstructionsPerLook instructions, counted down.
struct ReadBudget {
  int64_t looksLeft = 0;
  bool spent = false;
  // One look: false once the statement is to be stopped.
  bool Look() {
    if (--looksLeft < 0 || sqlite3_memory_used() > kMostSqliteMemory) spent = true;
    return !spent;
  }
};

// Keeps the reads of a connection that runs a single statement of its own within `budget`
// (and its temporary data in memory). `budget` must outlive the statement.
inline void BoundReads(sqlite3* db, ReadBudget& budget) {
  KeepTemporaryDataInMemory(db);
  sqlite3_progress_handler(
      db, kInstructionsPerLook, [](void* b) { return static_cast<ReadBudget*>(b)->Look() ? 0 : 1; }, &budget);
}

// From the header of the database file open on `db` (its format's write and read versions
// are 2 in write-ahead-log mode), read through SQLite's own handle of the file: a handle of
// another's to the file, once closed, would end every lock this process holds on it. False
// when the header cannot be read.
inline bool InWriteAheadLogMode(sqlite3* db) {
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || file == nullptr ||
      file->pMethods == nullptr)
    return false;
  unsigned char versions[2] = {};
  return file->pMethods->xRead(file, versions, sizeof versions, 18) == SQLITE_OK && versions[0] == 2 &&
         versions[1] == 2;
}

// Whether SQLite's failure (extended code) to read the file open on `db` is that of a file
// in write-ahead-log mode whose "-shm" file it can neither open nor make.
inline bool WalFilesOutOfReach(sqlite3* db, int code) {
  const bool cannot = code == SQLITE_READONLY || code == SQLITE_READONLY_DIRECTORY ||
                      code == SQLITE_READONLY_CANTINIT || code == SQLITE_READONLY_CANTLOCK ||
                      (code & 0xFF) == SQLITE_CANTOPEN;
  return cannot && InWriteAheadLogMode(db);
}

}  // namespace qvx::versioncheck
