// The operating-system services the program needs beyond the run-time library: the
// program's own folder, default folders, and the single-byte text files
// (Windows-1252, CR LF) that the settings and data-set files are kept in.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sys/Text.h"

namespace qvx::sys {

// The folder of the running executable, without a final "/". Tests point it at a
// temporary folder with SetProgramFolder; an empty text goes back to the executable's.
std::string ProgramFolder();
void SetProgramFolder(std::string folder);
// A file name within the program folder.
std::string InProgramFolder(std::string_view fileName);

// The user's desktop folder (the all-users desktop of the Windows system), without a
// final "/".
std::string DesktopFolder();
// The folder, when it exists; otherwise the user's home folder. Where a file dialog
// starts.
std::string ExistingFolderOrHome(const std::string& folder);

// The run-time error number of a failed file operation (errno value), as the run-time
// library reports it: 53 file not found, 76 path not found, 70 permission denied, ...
int FileErrorNumber(int errnoValue, bool fileMissingButFolderExists = true);

// Reads at most maxLines lines of a Windows-1252 text file, each without its line end
// (CR LF, LF or CR), converted to UTF-8. A last line without a line end counts; a file
// that ends with a line end has no empty line after it. Raises the run-time error of a
// failed open or read. Only an ordinary file is read (never waiting on a pipe or reading
// a device without end), and with maxBytes only one of at most that many bytes: either
// refusal raises error 75 with a description saying why.
std::vector<std::string> ReadTextLines(const std::string& path, size_t maxLines, size_t maxBytes = SIZE_MAX);

// Writes lines as Windows-1252, each ended by CR LF, replacing the file. The text goes
// to a temporary file in the same folder first, which is then renamed over the old one,
// so a failure never leaves a truncated file behind. A file the user may not write is
// left alone (error 70) unless replaceProtected is set. A replaced file keeps its
// permissions (readable and writable by its owner again); a new one gets the usual ones,
// or with OwnerOnly, as for a file holding a password, the file is readable and writable
// by its owner alone (0600) and only stricter owner permissions are kept. Raises a
// run-time error whose description names the reason.
enum class Readers { Usual, OwnerOnly };
void WriteTextLines(const std::string& path, const std::vector<std::string>& lines,
                    bool replaceProtected = false, Readers readers = Readers::Usual);

// The temporary file of such a rewrite is named after the file, then this mark and six
// random letters or digits: a name no user gives a copy of their own, so that a start
// can tell what an interrupted rewrite left from the user's files beside it.
inline constexpr std::string_view kRewriteMark = ".qvx-tmp-";

// The name of the file whose rewrite made the temporary file named name (a name without
// its folder); empty when name is not one.
std::string RewrittenFileName(std::string_view name);

// A small file of the program's own (a setting that stands in for one of the system's),
// kept in a folder of the user's such as $XDG_CONFIG_HOME/quorvex. It is taken only from a
// real folder, not a link, that the user owns (one that its group or others may write is
// first made the user's alone, 0700), and it is written only through a new file that this
// write alone made there and that then takes the old one's place: no link or file someone
// else planted there is followed, read or written. A folder that fails raises error 75,
// its description naming the folder and why; nothing is then read from it or written to
// it.
class OwnFile {
 public:
  OwnFile(std::string folder, std::string name);

  const std::string& Folder() const { return folder_; }
  const std::string& Path() const { return path_; }

  // The first maxBytes of the file; nothing when the folder or the file does not exist.
  // A link, or anything but an ordinary file of the user's, in the file's place raises
  // error 75. Each read looks at the folder afresh; with Look::WhenChanged (for a file
  // read for every date written as text), while there is still no file, or the file is
  // the very one the last read took and unchanged in any way since, one look-up tells so
  // and what the last read found is returned: nothing is taken that did not pass when it
  // was read.
  enum class Look { Afresh, WhenChanged };
  std::optional<std::string> Read(size_t maxBytes, Look look = Look::Afresh);
  // Replaces the file by one holding bytes, readable and writable by the user alone. A
  // missing folder is made, for the user alone (0700). Raises the run-time error of a
  // failure, the file unchanged.
  void Write(std::string_view bytes);

 private:
  std::string folder_, name_, path_;
  // Whether the last read passed, what it took (nothing: there was no file), and the file
  // as it found it (device, inode, owner, permissions, change times, size).
  bool passed_ = false;
  std::optional<std::string> text_;
  std::array<int64_t, 9> version_{};
};

}  // namespace qvx::sys
