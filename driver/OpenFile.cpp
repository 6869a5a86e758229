// The company file opened without waiting. SQLite opens a file by its name, for reading as
// a plain open() does, and such an open of a pipe waits for a writer that may never come. A
// name the driver looked at may meanwhile have been given to a pipe (a group folder is
// shared with other users and programs). So SQLite's opens on the driver's behalf do not
// wait, and tell the driver whether what was opened is the very file it looked at.
#include "driver/Driver.h"

#include <fcntl.h>

#include <mutex>
#include <utility>

namespace qvx::driver {

namespace {

using OpenCall = int (*)(const char*, int, int);
OpenCall systemOpen = nullptr;

// What the thread's SQLite opened while the driver opens a company file.
struct OpenLook {
  struct stat checked;
  std::vector<std::pair<std::string, bool>> opened;  // each name, and whether it was that file
};
thread_local OpenLook* looking = nullptr;

int OpenWithoutWaiting(const char* path, int flags, int mode) {
  if (looking == nullptr) return systemOpen(path, flags, mode);
  const int fd = systemOpen(path, flags | O_NONBLOCK | O_NOCTTY, mode);
  struct stat st {};
  if (fd >= 0)
    looking->opened.emplace_back(path, ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                                           st.st_dev == looking->checked.st_dev &&
                                           st.st_ino == looking->checked.st_ino);
  return fd;
}

// SQLite's open for every unix file is one, shared by the whole process: the driver's own
// goes as the driver is unloaded.
struct OwnOpen {
  sqlite3_vfs* vfs = nullptr;
  ~OwnOpen() {
    if (vfs && vfs->xGetSystemCall(vfs, "open") == reinterpret_cast<sqlite3_syscall_ptr>(&OpenWithoutWaiting))
      vfs->xSetSystemCall(vfs, "open", reinterpret_cast<sqlite3_syscall_ptr>(systemOpen));
  }
};

sqlite3_vfs* VfsWithOwnOpen() {
  static OwnOpen own;
  static std::once_flag once;
  std::call_once(once, [] {
    sqlite3_vfs* unix = sqlite3_vfs_find("unix");
    if (!unix || unix->iVersion < 3 || !unix->xGetSystemCall || !unix->xSetSystemCall) return;
    systemOpen = reinterpret_cast<OpenCall>(unix->xGetSystemCall(unix, "open"));
    if (systemOpen &&
        unix->xSetSystemCall(unix, "open", reinterpret_cast<sqlite3_syscall_ptr>(&OpenWithoutWaiting)) == SQLITE_OK)
      own.vfs = unix;
  });
  return own.vfs;
}

}  // namespace

OpenedFile OpenCheckedFile(const std::string& uri, const struct stat& checked) {
  OpenedFile result;
  sqlite3_vfs* vfs = VfsWithOwnOpen();
  if (vfs == nullptr) {
    result.rc = SQLITE_CANTOPEN;
    return result;
  }
  OpenLook look{checked, {}};
  sqlite3* raw = nullptr;
  looking = &look;
  result.rc = sqlite3_open_v2(uri.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
                              vfs->zName);
  looking = nullptr;
  result.db.reset(raw);
  // The main file's name as SQLite opened it; a descriptor SQLite kept of the same file
  // from a connection closed earlier is used without an open.
  const char* name = raw ? sqlite3_db_filename(raw, "main") : nullptr;
  for (const auto& [path, same] : look.opened)
    if (!same && (result.rc != SQLITE_OK || (name && path == name))) result.otherFile = true;
  return result;
}

}  // namespace qvx::driver
