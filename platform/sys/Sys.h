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

namespace qvx::sys {

// A new file written beside its target and put in the target's place only when it is
// complete, so that a failure or a kill never leaves a partial file under the target's
// name and the earlier file stays until the new one is whole. The file is made (never
// found: O_CREAT|O_EXCL) in a folder of its own that this object makes in the target's
// folder, which no other user may enter, and everything about it goes through
// descriptors: the output is written through the descriptor of the file made here, and
// it is put in place from that folder, open, into the target's folder, open. In a folder
// others may write to (a shared folder without the sticky bit), no name they rename, and
// no link or pipe they put there, is ever written through or moved into place. On a file
// system that keeps no Unix owner or permissions (a disk formatted for Windows, a
// network share), where every folder shows what the mount gives it, the folder is taken
// for this object's own when it is the empty folder found at the name just made and the
// file system shows the file made in it as it shows that folder, whatever mode is set.
// While it exists, a link in the program folder points at its folder, so that the next
// start removes one that a kill left behind (RemoveLeftoverScratchFiles), and this object
// holds a lock on it, so that another copy of the program starting meanwhile leaves it
// alone.
class ScratchFile {
 public:
  // Opens the target's folder and makes the scratch file there, empty, with what any new
  // file gets in the target's folder (the umask, or the folder's default ACL). Raises the
  // run-time error of a failure, its description naming the folder and why (what was
  // found in place of the scratch folder made there), and error 75 when something that
  // is not an ordinary file (a link, a pipe, a folder) stands at the target's name:
  // nothing is replaced by that or written into it. A failure leaves nothing it made.
  explicit ScratchFile(std::string target);
  // Removes the scratch file and its folder unless it was committed.
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::string& Target() const { return target_; }
  // The scratch file, open for reading and writing: every byte of the output goes through
  // it.
  int Descriptor() const { return file_; }
  // A name that opens this very file again (/proc/self/fd/N), whatever becomes of the
  // names in the target's folder meanwhile: for a writer that takes only a file name.
  std::string DescriptorPath() const;
  // Appends bytes to the file. Raises the run-time error of a failure.
  void Write(std::string_view bytes);
  // Flushes the written file to the disk and puts it in the target's place. Over an
  // earlier file of the user's own it takes that file's permissions and ACL (a report
  // kept private stays private); as a new file, or over another user's, it keeps what it
  // was made with. Only an ordinary file, or nothing, is replaced: when anything else
  // stands at the target's name by then, error 75 is raised, saying that nothing was
  // saved and nothing was overwritten, and that thing stays as it was. Raises the
  // run-time error of any other failure (the target unchanged).
  void Commit();

 private:
  std::string target_, name_, folderName_, link_;
  int folder_ = -1;   // the target's folder
  int private_ = -1;  // the scratch file's own folder within it, holding its lock
  int file_ = -1;
  bool committed_ = false;
  // The permissions and access ACL (as stored; empty: none) the file was made with.
  unsigned madeMode_ = 0;
  std::string madeAcl_;
};

// What stands at the name instead of an ordinary file (a link, a pipe, a folder, ...),
// said as a ScratchFile for it refuses it; nothing when the name is free or an ordinary
// file. Asked before a question whether to replace the file, so that nothing is asked
// that could not be done.
std::optional<std::string> RefusalOfTarget(const std::string& target);

// For tests: told at each step of a scratch file's making and putting in place, so that
// a test can act there as another user sharing the folder would: its folder made (not yet
// opened), the file made, about to be put in place, and the target's name looked at (on
// every try) and about to be taken. Returns the previous watcher.
enum class ScratchStep { FolderMade, Made, Placing, Taking };
using ScratchWatch = std::function<void(ScratchStep step, const std::string& target)>;
ScratchWatch SetScratchWatch(ScratchWatch watch);

// For tests: stands in for a file system that keeps no Unix owner or permissions, where
// every file and folder shows the owner and permissions its mount gives. Told the owner
// and permissions of a scratch folder or file as they are, it sets what such a mount
// shows instead. Returns the previous one.
using ShownOwnership = std::function<void(unsigned& owner, unsigned& permissions, bool folder)>;
ShownOwnership SetShownOwnership(ShownOwnership shown);

// Removes the file unless a running program holds it (a scratch file, or the temporary
// file of a settings file being written, that another copy of the program is writing
// now). Only a file this start opens and locks goes. Returns false when the file stays
// (held, or not this start's to open); true when it is gone.
bool RemoveUnlessHeld(const std::string& path);

// Removes the scratch files that a killed program left beside its output files, found by
// their links in the folder (the program folder when none is given). A scratch file that
// a running program holds stays, with its link.
void RemoveLeftoverScratchFiles(const std::string& folder = {});

// Told the target of every scratch file committed from now on (the report runner judges
// its run by whether the program itself saved the output). Returns the previous watcher.
using CommitWatch = std::function<void(const std::string& target)>;
CommitWatch SetCommitWatch(CommitWatch watch);

// A private folder in the system's temporary folder, named prefix and six letters, held
// by a lock while this object lives and removed with everything in it at its end. A
// process killed meanwhile leaves it behind unlocked, for RemoveAbandonedTemporaryFolders.
class TemporaryFolder {
 public:
  // Raises the run-time error of a failure, its description naming the folder and why.
  explicit TemporaryFolder(std::string_view prefix);
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  int lock_ = -1;
};

// The folder in which TemporaryFolder makes its folders: $TMPDIR (else /tmp), unless other
// users may rename or replace names in it (it is another user's, or others may write to
// it without the sticky bit), then /tmp. When TMPDIR is passed over, passedOver receives
// a line saying so.
std::string TemporaryRoot(std::string* passedOver = nullptr);

// Removes the folders of the temporary root named prefix and six letters that are the
// user's alone and that no living process holds (TemporaryFolder), first the scratch files
// their links name. Each is removed through the descriptor on which it was checked, never
// again by its name: whatever is put at that name meanwhile stays.
void RemoveAbandonedTemporaryFolders(std::string_view prefix);

// For tests: told the path of each abandoned folder once it has been checked and before
// anything in it is removed, so that a test can act there as someone sharing the folder
// could. Returns the previous watcher.
using AbandonedFolderWatch = std::function<void(const std::string& path)>;
AbandonedFolderWatch SetAbandonedFolderWatch(AbandonedFolderWatch watch);

// A write beyond the process's file-size limit then fails like one on a full disk
// (EFBIG), told and cleaned up, instead of the signal ending the program at once.
void IgnoreFileSizeSignal();

// Ctrl+C, a closed terminal and kill (SIGINT, SIGHUP, SIGTERM) ask the program to end. From
// this call on, the first of them writes one byte to the descriptor returned, for the
// event loop to read and end the program in order. The same signal again ends it at once,
// by that signal's default action; another of the three is taken as the same request (a
// start script's TERM on the Ctrl+C that reached the program as well). A signal the
// program was started with ignored (SIGINT of a job started in the background, SIGHUP
// under nohup) stays ignored. -1 when no pipe could be made: the signals then keep their
// default action.
int CatchEndSignals();
// The signal that asked the program to end; 0 while none has.
int EndSignal();
// Ends the program by the signal's default action, as if it had never been caught, so
// that whoever started it sees what ended it.
[[noreturn]] void EndBySignal(int sig);

}  // namespace qvx::sys
