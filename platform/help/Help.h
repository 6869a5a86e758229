// The program's help: each help file the program names ("QVXHelp.chm",
// "QVXReports.CHM") is a folder of short HTML pages of our own beside the executable,
// named like the file without its extension, with one page per topic ("2400.html") and
// a contents page ("index.html"). Topics are shown in one help window of our own.
// Tests install a Recorder, which takes the calls down instead of showing a window.
#pragma once

#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace qvx::help {

// The program's own help file, used by F1 (set by the main window when it loads).
void SetHelpFile(const std::string& helpFile);
const std::string& HelpFile();

// The folder of pages that stands for a help file: the path without its extension.
std::string PagesFolder(const std::string& helpFile);

// Shows `topic` of `helpFile` in the help window; a topic without a page shows the
// contents page. Raises VbError 53 (its description naming the folder) when the
// folder of pages or its contents page is missing. Once the program has been asked to
// end (sys::ProgramEnding), nothing is shown, checked or recorded.
void ShowTopic(const std::string& helpFile, int topic);

// F1 in `window` (or any of its children) shows the program's help file at the topic
// that `topic` gives at that moment. A failure is not reported, as the help key of a
// window says nothing when the viewer fails.
void BindF1(QWidget& window, std::function<int()> topic);

// Closes the help window if it is open.
void CloseHelpWindow();

struct Call {
  std::string helpFile;
  int topic = 0;
  friend bool operator==(const Call&, const Call&) = default;
};

// While a Recorder exists, ShowTopic records each call (before the folder check, so a
// missing folder still fails as it would for the user) and shows no window.
class Recorder {
 public:
  Recorder();
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  std::vector<Call> calls;

 private:
  Recorder* previous_;
};

}  // namespace qvx::help
