// The program's private folders in the system's temporary folder, and the removal of those
// a killed process left behind.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/sys/Descriptors.h"

namespace qvx::sys {

// A private folder in the system's temporary folder, named prefix and six letters, held
// by a lock while this object lives and removed with everything in it at its end. A
// process killed meanwhile leaves it behind unlocked, for RemoveAbandonedTemporaryFolders.
// Since nothing in it outlasts it, the files this layer writes within it (WriteTextLines,
// OwnFile) are not flushed to the disk.
// It keeps the descriptors of the folder that holds it and of itself, and its end goes
// through them alone: it is emptied through its own, and its name goes only while that
// name still names it, so that nothing outside it is touched, whatever its name or the
// temporary folder's names by then.
class TemporaryFolder {
 public:
  // Raises the run-time error of a failure, its description naming the folder and why.
  explicit TemporaryFolder(std::string_view prefix);
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  // Where it was made, as the user is told it.
  const std::string& Path() const { return path_; }
  // A name that reaches this very folder through its descriptor (/proc/self/fd/N), whatever
  // becomes of the names on the way to it: what this process does in it goes through this.
  std::string DescriptorPath() const;

 private:
  std::string path_, name_;
  int parent_ = -1;  // the folder that holds it
  int folder_ = -1;  // itself, holding its lock
};

// Whether a file written in a folder is flushed to the disk: not within a TemporaryFolder
// of this process, which goes with all it holds. For the folder open at dir, or at a path
// (ToDisk when it cannot be opened).
Flush FlushInto(int dir);
Flush FlushInto(const std::string& folder);

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

}  // namespace qvx::sys
