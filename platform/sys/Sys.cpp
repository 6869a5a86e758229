#include "platform/sys/Sys.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>

#include <QStandardPaths>

#include "platform/runtime/Runtime.h"

namespace qvx::sys {

namespace {

struct SysState {
  std::string programFolder;  // set by tests; empty: the executable's folder
};
SysState& State() {
  static SysState s;
  return s;
}

std::string ExecutableFolder() {
  std::array<char, PATH_MAX + 1> buf{};
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), PATH_MAX);
  if (n <= 0) return std::filesystem::current_path().string();
  std::string exe(buf.data(), static_cast<size_t>(n));
  auto slash = exe.rfind('/');
  if (slash == 0) return "/";
  return slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
}

}  // namespace

std::string ProgramFolder() {
  auto& s = State();
  if (!s.programFolder.empty()) return s.programFolder;
  static const std::string exeFolder = ExecutableFolder();
  return exeFolder;
}

void SetProgramFolder(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  State().programFolder = std::move(folder);
}

std::string InProgramFolder(std::string_view fileName) {
  std::string folder = ProgramFolder();
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder + std::string(fileName);
}

std::string DesktopFolder() {
  QString d = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  std::string s = d.toStdString();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// ---------------------------------------------------------------- Windows-1252

namespace {
// Code points of the bytes 0x80-0x9F; the other bytes stand for themselves.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// The next code point of UTF-8 text; a malformed sequence gives one U+FFFD per byte.
char32_t NextCodePoint(std::string_view s, size_t& i) {
  auto b = static_cast<unsigned char>(s[i]);
  if (b < 0x80) {
    ++i;
    return b;
  }
  int len = b >= 0xF0 && b < 0xF5 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 0;
  if (len == 0 || i + static_cast<size_t>(len) > s.size()) {
    ++i;
    return 0xFFFD;
  }
  char32_t cp = b & (0xFF >> (len + 1));
  for (int k = 1; k < len; ++k) {
    auto c = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
    if ((c & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  i += static_cast<size_t>(len);
  return cp;
}
}  // namespace

std::string FromCp1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    auto b = static_cast<unsigned char>(c);
    if (b < 0x80) out.push_back(c);
    else if (b < 0xA0) AppendUtf8(out, kHigh[b - 0x80]);
    else AppendUtf8(out, b);
  }
  return out;
}

std::string ToCp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    char32_t cp = NextCodePoint(utf8, i);
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    char byte = '?';
    for (size_t k = 0; k < kHigh.size(); ++k) {
      if (kHigh[k] == cp) {
        byte = static_cast<char>(0x80 + k);
        break;
      }
    }
    out.push_back(byte);
  }
  return out;
}

// ---------------------------------------------------------------- files

int FileErrorNumber(int e, bool fileMissingButFolderExists) {
  switch (e) {
    case ENOENT: return fileMissingButFolderExists ? err::FileNotFound : err::PathNotFound;
    case ENOTDIR: return err::PathNotFound;
    case EACCES:
    case EPERM:
    case ETXTBSY: return err::PermissionDenied;
    case ENOSPC:
    case EDQUOT: return err::DiskFull;
    case EIO: return err::DeviceIO;
    case EMFILE:
    case ENFILE: return 67;  // too many files
    case ENOMEM: return err::OutOfMemory;
    default: return err::PathFileAccess;
  }
}

namespace {

bool FolderOf(const std::string& path, std::string& folder) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) {
    folder = ".";
  } else {
    folder = slash == 0 ? std::string("/") : path.substr(0, slash);
  }
  struct stat st {};
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

[[noreturn]] void RaiseFileError(const std::string& path, int e) {
  std::string folder;
  Raise(FileErrorNumber(e, e != ENOENT || FolderOf(path, folder)));
}

// Closes a descriptor when it goes out of scope.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

std::vector<std::string> ReadTextLines(const std::string& path, size_t maxLines) {
  Fd f{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (f.fd < 0) RaiseFileError(path, errno);
  struct stat st {};
  if (::fstat(f.fd, &st) != 0) RaiseFileError(path, errno);
  if (S_ISDIR(st.st_mode)) Raise(err::PathFileAccess);

  std::vector<std::string> lines;
  std::string current;
  bool pending = false;   // current holds the start of a line not yet ended
  bool afterCr = false;   // the last byte was a CR, so a following LF belongs to it
  std::array<char, 65536> buf{};
  while (lines.size() < maxLines) {
    ssize_t n = ::read(f.fd, buf.data(), buf.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseFileError(path, errno);
    }
    if (n == 0) break;
    for (ssize_t k = 0; k < n && lines.size() < maxLines; ++k) {
      char c = buf[static_cast<size_t>(k)];
      if (c == '\n' && afterCr) {
        afterCr = false;
        continue;
      }
      afterCr = false;
      if (c == '\r' || c == '\n') {
        afterCr = c == '\r';
        lines.push_back(FromCp1252(current));
        current.clear();
        pending = false;
      } else {
        current.push_back(c);
        pending = true;
      }
    }
  }
  if (pending && lines.size() < maxLines) lines.push_back(FromCp1252(current));
  return lines;
}

void WriteTextLines(const std::string& path, const std::vector<std::string>& lines, bool replaceProtected,
                    Readers readers) {
  std::string bytes;
  for (auto& l : lines) {
    bytes += ToCp1252(l);
    bytes += "\r\n";
  }
  std::string folder;
  if (!FolderOf(path, folder)) Raise(err::PathNotFound);
  // A file the user may not write stays as it is, although the folder would allow
  // replacing it.
  if (!replaceProtected && ::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0)
    RaiseFileError(path, EACCES);
  std::string tmpl = path + ".XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  Fd f{::mkstemp(name.data())};
  if (f.fd < 0) RaiseFileError(path, errno);
  std::string tmp(name.data());
  auto fail = [&](int e) {
    ::unlink(tmp.c_str());
    RaiseFileError(path, e);
  };
  // Keep the permissions of the file being replaced, but readable and writable for its
  // owner again; a new file gets the usual ones. A file for its owner alone loses every
  // permission of its group and of others, whatever the file or the umask had.
  const bool ownerOnly = readers == Readers::OwnerOnly;
  struct stat st {};
  mode_t mode = ownerOnly ? S_IRUSR | S_IWUSR : 0666;
  if (::stat(path.c_str(), &st) == 0) {
    mode = (st.st_mode & (ownerOnly ? S_IRWXU : 07777)) | S_IRUSR | S_IWUSR;
  } else if (!ownerOnly) {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode &= ~mask;
  }
  if (::fchmod(f.fd, mode) != 0) fail(errno);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(f.fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno);
    }
    done += static_cast<size_t>(n);
  }
  if (::fsync(f.fd) != 0) fail(errno);
  int fd = f.fd;
  f.fd = -1;
  if (::close(fd) != 0) fail(errno);
  if (::rename(tmp.c_str(), path.c_str()) != 0) fail(errno);
}

}  // namespace qvx::sys
