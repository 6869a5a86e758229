// Saving a file safely beside its target: a scratch file made in a private folder of its
// own and put in the target's place only when whole, and the removal of what a killed save
// left behind.
#pragma once

#include <functional>
#include <optional>
#include <string>

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
// From before its folder is made until it is removed, a link in the program folder points
// at the folder, so that the next start removes whatever a kill left behind
// (RemoveLeftoverScratchFiles), and from its making this object holds a lock on it, so
// that another copy of the program starting meanwhile leaves it alone; one that such a
// start took before it was locked is made again.
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
  // earlier file of the user's own with no other name it takes that file's group,
  // permissions and ACL (a report kept private, or shared with a team, stays so); where
  // the user is not in that group the file keeps its own, which it gives no more than the
  // earlier file gave its group. Over one with other names, or whose ACL cannot be read,
  // it keeps what it was made with, but no more than the earlier file gave anyone: its
  // group nothing when the earlier file's was another, and a user or group its ACL names
  // nothing that the earlier file did not give them (all of them nothing where that file's
  // ACL cannot be read). As a new file, or over another user's, it keeps what it was made
  // with. Only an ordinary file, or nothing, is replaced, and only the file first found
  // at the name: when anything else stands there by then, error 75 is raised, saying that
  // nothing was saved and nothing was overwritten, and that thing stays as it was. Raises
  // the run-time error of any other failure (the target unchanged).
  void Commit();

 private:
  std::string target_, name_, folderName_, link_;
  int folder_ = -1;   // the target's folder
  int private_ = -1;  // the scratch file's own folder within it, holding its lock
  int file_ = -1;
  bool committed_ = false;
  // The permissions and access ACL (as stored; empty: none) the file was made with.
  unsigned madeMode_ = 0, madeGroup_ = 0;
  std::string madeAcl_;
};

// What stands at the name instead of an ordinary file (a link, a pipe, a folder, ...),
// said as a ScratchFile for it refuses it; nothing when the name is free or an ordinary
// file. Asked before a question whether to replace the file, so that nothing is asked
// that could not be done.
std::optional<std::string> RefusalOfTarget(const std::string& target);
// That refusal for a thing of type mode (as st_mode gives it) at the target.
std::string RefusalText(const std::string& target, unsigned mode);

// An earlier file at a target as a look before saving over it finds it: its type and
// permissions (st_mode; S_IFLNK for a link, 0 when nothing is there), its size, and the
// first bytes of an ordinary file that could be read (nothing of anything else).
struct EarlierFile {
  unsigned mode = 0;
  long long size = 0;
  std::optional<std::string> head;
};
// Looks at the name without following a link, and opens only an ordinary file found
// there, without following a link nor waiting, and reads it only when what it opened is
// one: another user of a shared folder may put a link, a folder or a pipe there in
// between, and a pipe's open for reading would wait for a writer for ever. What was
// opened is what is told.
EarlierFile LookAtEarlierFile(const std::string& target, size_t headBytes);

// For tests: told at each step of a scratch file's making and putting in place, so that
// a test can act there as another user sharing the folder would: its folder made (not yet
// opened), the file made, about to be put in place, the target's name looked at (on every
// try), and the target about to be taken (its permissions given); also, before any of
// that, an earlier file at the target about to be opened by LookAtEarlierFile. Returns
// the previous watcher.
enum class ScratchStep { FolderMade, Made, Placing, Looked, Taking, Reading };
using ScratchWatch = std::function<void(ScratchStep step, const std::string& target)>;
ScratchWatch SetScratchWatch(ScratchWatch watch);

// For tests: stands in for a file system that keeps no Unix owner or permissions, where
// every file and folder shows the owner and permissions its mount gives. Told the owner
// and permissions of a scratch folder or file as they are, it sets what such a mount
// shows instead. Returns the previous one.
using ShownOwnership = std::function<void(unsigned& owner, unsigned& permissions, bool folder)>;
ShownOwnership SetShownOwnership(ShownOwnership shown);

// For tests: stands in for a mount that refuses every change of the modes of the scratch
// files, as one showing another user as owner refuses it to the user, and a FAT disk
// refuses what it cannot keep. Returns whether they were refused before.
bool SetModeChangesRefused(bool refused);

// Removes the file unless a running program holds it (a scratch file, or the temporary
// file of a settings file being written, that another copy of the program is writing
// now). Only a file this start opens and locks goes. Returns false when the file stays
// (held, or not this start's to open); true when it is gone.
bool RemoveUnlessHeld(const std::string& path);

// Removes the scratch files that a killed program left beside its output files, found by
// their links in the folder (the program folder when none is given), and the links; on a
// disk that keeps no Unix owner or permissions too. A scratch file that a running program
// holds stays, with its link, and so does one found to be another user's.
void RemoveLeftoverScratchFiles(const std::string& folder = {});

// Told the target of every scratch file committed from now on (the report runner judges
// its run by whether the program itself saved the output). Returns the previous watcher.
using CommitWatch = std::function<void(const std::string& target)>;
CommitWatch SetCommitWatch(CommitWatch watch);

}  // namespace qvx::sys
