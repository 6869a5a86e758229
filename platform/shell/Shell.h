// Opening a file or a web address with the desktop's default program. The program
// hands the request to xdg-open through Qt; tests install a recorder instead, so that
// nothing is launched and the request can be checked.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qvx::shell {

// Opens a local path or a URL ("https://...", "mailto:...") with its default program.
// Returns whether the desktop accepted the request. Once the program has been asked to
// end (sys::ProgramEnding), nothing is opened and the answer is false.
bool OpenWithDefaultProgram(const std::string& pathOrUrl);

// Receives every request instead of the desktop while installed; returns the answer
// OpenWithDefaultProgram gives.
using Opener = std::function<bool(const std::string&)>;
// Installs an opener (an empty one restores the desktop) and returns the previous one.
Opener SetOpener(Opener opener);

// Records requests for the life of a scope (tests).
class RecordingScope {
 public:
  explicit RecordingScope(bool answer = true);
  ~RecordingScope();
  RecordingScope(const RecordingScope&) = delete;
  RecordingScope& operator=(const RecordingScope&) = delete;
  std::vector<std::string> opened;

 private:
  Opener previous_;
};

}  // namespace qvx::shell
