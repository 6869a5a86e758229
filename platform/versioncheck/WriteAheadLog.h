// Whether a company file (a SQLite database) is in write-ahead-log mode. SQLite then reads
// it together with the "-wal" and "-shm" files it keeps beside it, which it must be able to
// open, or make, for writing; a user or a medium that may not write there cannot read the
// file at all. Shared by the version check and the driver.
#pragma once

#include <sqlite3.h>

namespace qvx::versioncheck {

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

}  // namespace qvx::versioncheck
