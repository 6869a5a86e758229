// What the system layer's files share for working through descriptors: closing one at the
// end of a scope, whole writes, locks, names no one else chose, and whether a name still
// names what was opened. For the files of platform/sys only.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

struct stat;

namespace qvx::sys {

// Closes a descriptor when it goes out of scope.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

// Writes all of bytes to the file open at fd: 0, or the error of the write that failed.
int WriteAll(int fd, std::string_view bytes);

// Reads the file open at fd into text until its end, or until text holds maxBytes: 0, or
// the error of the read that failed.
int ReadUpTo(int fd, size_t maxBytes, std::string& text);

// Whether a file written in a folder is flushed to the disk before it takes its place
// (FlushInto, with TemporaryFolder).
enum class Flush { ToDisk, NotNeeded };

// Writes all of bytes to the new file open at f, then syncs it (unless flush says it is not
// needed) and closes it, so that what takes another file's place is whole on disk: 0, or
// the error of the step that failed.
int WriteSyncClose(Fd& f, std::string_view bytes, Flush flush);

// Takes the lock of a file or folder open at fd without waiting: false when another
// open of it, in this process or another, holds it.
bool TryLock(int fd);

constexpr size_t kSuffix = 6;  // mkstemp's letters

// Whether name is prefix followed by six letters or digits.
bool HasScratchSuffix(std::string_view name, std::string_view prefix);

// Raises the run-time error of errno value e, its description what and the reason.
[[noreturn]] void RaiseWithReason(const std::string& what, int e, bool fileMissingButFolderExists = true);

// Makes something new under a name no one else chose, prefix and six random letters:
// make(name) is tried with new names while it fails because the name is taken. Returns
// the name; raises what failed, with the reason.
std::string MakeUnderNewName(std::string_view prefix, const std::function<bool(const std::string&)>& make,
                             const std::string& what);

// Opens name in the folder open at dir (AT_FDCWD: a path) to read it, never through a link
// (ELOOP) and without waiting for a writer, as a pipe's open for reading would, and tells
// in st what it opened: the descriptor, or -1 with errno.
int OpenToRead(int dir, const char* name, struct stat& st);

// Whether the name in the folder open at dir is, without following a link, the file or
// folder open at fd.
bool NamesThat(int dir, const char* name, int fd);

// The names in the folder open at dir, read through a descriptor of their own.
std::vector<std::string> NamesIn(int dir);

}  // namespace qvx::sys
