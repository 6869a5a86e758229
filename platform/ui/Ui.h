// The one user-interface service through which the program shows message boxes, input
// boxes, file dialogs and modal windows. The program installs the Qt implementation;
// tests install ScriptedUi, which answers from a queue and records what was shown.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QDialog>

class QPushButton;

namespace qvx::ui {

inline constexpr const char* kProgramTitle = "Quorvex";

enum class Buttons { OK, OKCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel };
enum class Icon { None, Critical, Question, Exclamation, Information };
// The values the run-time library gives the answers.
enum class Answer { OK = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

struct MessageRequest {
  std::string text;
  Buttons buttons = Buttons::OK;
  Icon icon = Icon::None;
  std::string title;       // empty: the program's name
  int defaultButton = 1;   // 1-based
  // The box is about the program's own set-up (the user's settings folder, say), not the
  // work at hand: a service that adds the file a message is about leaves it as it is.
  bool aboutSetup = false;
};

struct InputRequest {
  std::string prompt;
  std::string title;       // empty: the program's name
  std::string defaultText;
};

enum class FileDialogKind { Open, Save, Folder };

struct FileFilter {
  std::string description;  // "Excel Files (*.xlsx)"
  std::string patterns;     // "*.xlsx *.xls"
};

struct FileRequest {
  FileDialogKind kind = FileDialogKind::Open;
  std::string title;
  std::string initialFolder;
  std::string fileName;               // proposed name (save) or preselected file
  std::vector<FileFilter> filters;
  int filterIndex = 0;
  bool promptOverwrite = false;       // save: ask before replacing an existing file
  bool mustExist = false;             // open: the file must exist
};

// A window of the program: a dialog whose controls are members and whose handlers are
// methods. Form_Load runs each time it is shown; Unload closes it (its public fields,
// held by the owning object, stay).
class Form : public QDialog {
  Q_OBJECT
 public:
  explicit Form(QWidget* parent = nullptr);
  ~Form() override;
  // Shows the window modally through the service and returns when it is unloaded.
  void ShowModal();
  // Shows the window without waiting (the main window); Form_Load runs first. Once the
  // program has been asked to end, the window is loaded but not shown.
  void ShowModeless();
  // Closes the window; a modal loop showing it returns.
  void Unload();
  bool Loaded() const { return loaded_; }
  // Places the window in the middle of the primary screen, at its laid-out size.
  void CentreOnScreen();
  virtual void Form_Load() {}
  // The close box (or Esc without a cancel button): by default the same as Unload.
  virtual void Form_QueryUnload() { Unload(); }
  // The buttons the keyboard presses. Enter presses ok wherever the focus is, on another
  // button and a closed list too (a control that answers Enter itself keeps it, as an
  // open list does to take its highlighted entry and close); Esc presses cancel. The
  // window's other buttons are pressed by the mouse or the space bar.
  void SetKeyButtons(QPushButton& ok, QPushButton* cancel);

 protected:
  void reject() override;  // Esc and the close box reach Form_QueryUnload
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void showEvent(QShowEvent* e) override;

 private:
  bool loaded_ = false;
  bool unloading_ = false;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  friend class QtUi;
  friend class ScriptedUi;
};

class UiService {
 public:
  virtual ~UiService() = default;
  virtual Answer Message(const MessageRequest& request) = 0;
  // The text a message box of this service shows for `text`. A service that adds to it
  // (the file a message is about) says so here too, so that boxes about different files
  // are not taken for repeats of one another.
  virtual std::string Shown(const std::string& text) { return text; }
  // Cancel gives nullopt (InputBox passes it on as the empty text).
  virtual std::optional<std::string> Input(const InputRequest& request) = 0;
  virtual std::optional<std::string> File(const FileRequest& request) = 0;
  // Runs a form modally; returns when the form has been unloaded.
  virtual void RunModal(Form& form) = 0;
  // Lets pending window events run once (long reads call this per record).
  virtual void DoEvents() = 0;
  // Ends the program at once with the given code, writing nothing (by the signal that asked
  // for the end instead, where one did).
  virtual void ExitProgram(int code) = 0;
};

// The installed service. Until one is installed, a Qt service is created on first use.
UiService& Ui();
// Installs a service and returns the previous one. A new service begins afresh, the
// program's end not asked for (a test's); one put in front of the service installed, to
// pass on what it is asked for a while, and that service put back after it (InFront),
// keep an end already asked for.
enum class Install { Afresh, InFront };
std::unique_ptr<UiService> SetUi(std::unique_ptr<UiService> service, Install how = Install::Afresh);

// Shorthands.
Answer MsgBox(const std::string& text, Buttons buttons = Buttons::OK, Icon icon = Icon::None,
              const std::string& title = {});
Answer MsgBox(const MessageRequest& request);
// The message gate of a report run. While it is open, a box that only informs (OK alone)
// is shown the first time its text (as the service shows it) comes up; each later box of
// that text is counted instead of shown, so that a fault met on every line is one box
// rather than hundreds.
// A box that asks a question is always shown, and so is every box of a dialog (a window
// shown modally): it answers what the user just did there, each time.
struct RepeatedMessage {
  std::string text;
  std::string title;
  long more = 0;  // boxes of this text counted after the one shown
};
void OpenMessageGate();
// Closes the gate: the texts that came up more than once, in the order first shown.
std::vector<RepeatedMessage> CloseMessageGate();

// The input box gives the empty text when cancelled: its callers treat a cancelled box
// and an empty answer alike.
std::string InputBox(const std::string& prompt, const std::string& title = {},
                     const std::string& defaultText = {});
void DoEvents();

// The program has been asked to end (a signal): the end begins (sys::ProgramEnding), and
// every box and dialog open is closed as its close box closes it, innermost first; from
// then on the boxes and dialogs that come up are answered at once as if closed, without
// being shown (a message's text goes to the standard error instead), and no window opens
// (nor a help window, nor another program: the shell and the help ask sys::ProgramEnding
// too); and DoEvents calls the stop set with SetEndingStop, so that a long read ends there.
// Installing a service begins afresh.
void BeginProgramEnd();
// The boxes and dialogs open now, each running an event loop of its own.
int OpenModalLoops();
// What DoEvents calls while the program ends (a report run raises its stop there).
void SetEndingStop(void (*stop)());

// The Qt implementation.
class QtUi : public UiService {
 public:
  Answer Message(const MessageRequest& request) override;
  std::optional<std::string> Input(const InputRequest& request) override;
  std::optional<std::string> File(const FileRequest& request) override;
  void RunModal(Form& form) override;
  void DoEvents() override;
  void ExitProgram(int code) override;
};

}  // namespace qvx::ui
