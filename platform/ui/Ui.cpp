#include "platform/ui/Ui.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

#include "platform/sys/EndSignals.h"
#include "platform/sys/ProgramEnding.h"

namespace qvx::ui {

namespace {
std::unique_ptr<UiService>& Installed() {
  static std::unique_ptr<UiService> service;
  return service;
}

struct MessageGate {
  bool open = false;
  std::unordered_map<std::string, size_t> index;  // text -> its entry in seen
  std::vector<RepeatedMessage> seen;
};
MessageGate& Gate() {
  static MessageGate gate;
  return gate;
}
// Modal windows up: their boxes answer what the user just did there.
int& DialogsUp() {
  static int up = 0;
  return up;
}

// What DoEvents calls once the end has begun, and the boxes and dialogs open, innermost last.
struct Ending {
  void (*stop)() = nullptr;
  std::vector<QPointer<QDialog>> loops;
};
Ending& End() {
  static Ending ending;
  return ending;
}

// Keeps a box or dialog in the list of open ones while it runs.
class ModalLoop {
 public:
  explicit ModalLoop(QDialog& dialog) { End().loops.emplace_back(&dialog); }
  ~ModalLoop() { End().loops.pop_back(); }
  ModalLoop(const ModalLoop&) = delete;
  ModalLoop& operator=(const ModalLoop&) = delete;
};

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString TitleOrProgram(const std::string& title) { return Q(title.empty() ? kProgramTitle : title); }
}  // namespace

UiService& Ui() {
  auto& s = Installed();
  if (!s) s = std::make_unique<QtUi>();
  return *s;
}

std::unique_ptr<UiService> SetUi(std::unique_ptr<UiService> service, Install how) {
  if (how == Install::Afresh) sys::ForgetProgramEnding();
  auto old = std::move(Installed());
  Installed() = std::move(service);
  return old;
}

Answer MsgBox(const std::string& text, Buttons buttons, Icon icon, const std::string& title) {
  return MsgBox(MessageRequest{text, buttons, icon, title, 1, false});
}

Answer MsgBox(const MessageRequest& request) {
  MessageGate& gate = Gate();
  if (gate.open && DialogsUp() == 0 && request.buttons == Buttons::OK) {
    std::string shown = request.aboutSetup ? request.text : Ui().Shown(request.text);
    const auto [it, first] = gate.index.try_emplace(shown, gate.seen.size());
    if (!first) {
      ++gate.seen[it->second].more;
      return Answer::OK;
    }
    gate.seen.push_back({std::move(shown), request.title, 0});
  }
  return Ui().Message(request);
}

void OpenMessageGate() {
  MessageGate& gate = Gate();
  gate = MessageGate{};
  gate.open = true;
}

std::vector<RepeatedMessage> CloseMessageGate() {
  MessageGate& gate = Gate();
  std::vector<RepeatedMessage> repeated;
  for (RepeatedMessage& m : gate.seen)
    if (m.more > 0) repeated.push_back(std::move(m));
  gate = MessageGate{};
  return repeated;
}

std::string InputBox(const std::string& prompt, const std::string& title, const std::string& defaultText) {
  return Ui().Input({prompt, title, defaultText}).value_or(std::string());
}

void DoEvents() {
  Ui().DoEvents();
  if (sys::ProgramEnding() && End().stop) End().stop();
}

void BeginProgramEnd() {
  Ending& end = End();
  sys::BeginProgramEnding();
  // A dialog's own close handler may leave it open (a refused close): it is closed all
  // the same.
  const std::vector<QPointer<QDialog>> open = end.loops;
  for (auto it = open.rbegin(); it != open.rend(); ++it) {
    const QPointer<QDialog> dialog = *it;
    if (!dialog) continue;
    if (auto* form = qobject_cast<Form*>(dialog.data()); form && form->Loaded()) form->Form_QueryUnload();
    if (auto* form = qobject_cast<Form*>(dialog.data())) form->Unload();
    if (dialog) dialog->done(QDialog::Rejected);
  }
}

int OpenModalLoops() { return static_cast<int>(End().loops.size()); }

void SetEndingStop(void (*stop)()) { End().stop = stop; }

// ---------------------------------------------------------------- Form

Form::Form(QWidget* parent) : QDialog(parent) {
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

Form::~Form() = default;

void Form::ShowModal() {
  struct Up {
    Up() { ++DialogsUp(); }
    ~Up() { --DialogsUp(); }
  } up;
  loaded_ = true;
  Form_Load();
  if (!loaded_) return;  // the load handler closed the window itself
  Ui().RunModal(*this);
  loaded_ = false;
}

void Form::ShowModeless() {
  loaded_ = true;
  Form_Load();
  // Once the end has begun the window is loaded, for the end to unload it, but not shown.
  if (!loaded_ || sys::ProgramEnding()) return;
  show();
}

void Form::Unload() {
  if (unloading_) return;
  unloading_ = true;
  loaded_ = false;
  if (isVisible()) done(QDialog::Rejected);
  unloading_ = false;
}

void Form::CentreOnScreen() {
  if (!isVisible()) adjustSize();
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect s = screen->geometry();
    move(s.left() + (s.width() - width()) / 2, s.top() + (s.height() - height()) / 2);
  }
}

void Form::reject() {
  if (loaded_) Form_QueryUnload();
  else QDialog::reject();
}

void Form::SetKeyButtons(QPushButton& ok, QPushButton* cancel) {
  ok_ = &ok;
  cancel_ = cancel;
  ok.setDefault(true);
}

namespace {
bool PlainEnter(const QKeyEvent& e) {
  return (e.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
         (e.key() == Qt::Key_Return || e.key() == Qt::Key_Enter);
}
}  // namespace

// A button that has the focus would take Enter for itself; only the OK button does. An
// open list keeps Enter as its own: it takes the highlighted entry and closes, and the
// window's OK waits for the next Enter, as on every desktop.
void Form::showEvent(QShowEvent* e) {
  if (ok_) {
    for (QPushButton* b : findChildren<QPushButton*>()) b->setAutoDefault(false);
    ok_->setDefault(true);
  }
  QDialog::showEvent(e);
}

void Form::keyPressEvent(QKeyEvent* e) {
  if (PlainEnter(*e) && ok_) {
    if (ok_->isEnabled() && ok_->isVisible()) ok_->click();
    e->accept();
    return;
  }
  if ((e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && e->key() == Qt::Key_Escape && cancel_) {
    if (cancel_->isEnabled() && cancel_->isVisible()) cancel_->click();
    e->accept();
    return;
  }
  QDialog::keyPressEvent(e);
}

void Form::closeEvent(QCloseEvent* e) {
  if (loaded_) {
    e->ignore();
    Form_QueryUnload();
    return;
  }
  QDialog::closeEvent(e);
}

// ---------------------------------------------------------------- QtUi

Answer QtUi::Message(const MessageRequest& r) {
  QMessageBox box;
  box.setWindowTitle(TitleOrProgram(r.title));
  box.setText(Q(r.text));
  switch (r.icon) {
    case Icon::Critical: box.setIcon(QMessageBox::Critical); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    case Icon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
  }
  std::vector<std::pair<QMessageBox::StandardButton, Answer>> map;
  switch (r.buttons) {
    case Buttons::OK: map = {{QMessageBox::Ok, Answer::OK}}; break;
    case Buttons::OKCancel: map = {{QMessageBox::Ok, Answer::OK}, {QMessageBox::Cancel, Answer::Cancel}}; break;
    case Buttons::AbortRetryIgnore:
      map = {{QMessageBox::Abort, Answer::Abort}, {QMessageBox::Retry, Answer::Retry}, {QMessageBox::Ignore, Answer::Ignore}};
      break;
    case Buttons::YesNoCancel:
      map = {{QMessageBox::Yes, Answer::Yes}, {QMessageBox::No, Answer::No}, {QMessageBox::Cancel, Answer::Cancel}};
      break;
    case Buttons::YesNo: map = {{QMessageBox::Yes, Answer::Yes}, {QMessageBox::No, Answer::No}}; break;
    case Buttons::RetryCancel: map = {{QMessageBox::Retry, Answer::Retry}, {QMessageBox::Cancel, Answer::Cancel}}; break;
  }
  // Closed without a button: the escape answer (Cancel where there is one).
  auto closed = [&map] {
    for (auto& [b, a] : map)
      if (a == Answer::Cancel) return a;
    return map.back().second;
  };
  if (sys::ProgramEnding()) {
    // The box's line ends (CR LF, or a CR alone) as a terminal takes them.
    std::string text;
    for (size_t i = 0; i < r.text.size(); ++i) {
      if (r.text[i] != '\r') text += r.text[i];
      else if (i + 1 == r.text.size() || r.text[i + 1] != '\n') text += '\n';
    }
    std::fprintf(stderr, "%s: %s\n", TitleOrProgram(r.title).toLocal8Bit().constData(), text.c_str());
    return closed();
  }
  QMessageBox::StandardButtons all;
  for (auto& [b, a] : map) all |= b;
  box.setStandardButtons(all);
  size_t def = static_cast<size_t>(r.defaultButton > 0 ? r.defaultButton - 1 : 0);
  if (def < map.size()) box.setDefaultButton(map[def].first);
  if (map.size() == 1) box.setEscapeButton(map[0].first);
  box.setWindowModality(Qt::ApplicationModal);
  const ModalLoop loop(box);
  int res = box.exec();
  for (auto& [b, a] : map)
    if (res == b) return a;
  return closed();
}

std::optional<std::string> QtUi::Input(const InputRequest& r) {
  if (sys::ProgramEnding()) return std::nullopt;
  QInputDialog dlg;
  dlg.setWindowTitle(TitleOrProgram(r.title));
  dlg.setLabelText(Q(r.prompt));
  dlg.setTextValue(Q(r.defaultText));
  const ModalLoop loop(dlg);
  if (dlg.exec() != QDialog::Accepted) return std::nullopt;
  return dlg.textValue().toStdString();
}

std::optional<std::string> QtUi::File(const FileRequest& r) {
  if (sys::ProgramEnding()) return std::nullopt;
  QStringList filters;
  for (auto& f : r.filters) filters << Q(f.description + " (" + f.patterns + ")");
  QFileDialog dlg(nullptr, Q(r.title), Q(r.initialFolder));
  dlg.setNameFilters(filters);
  if (r.filterIndex >= 0 && r.filterIndex < filters.size()) dlg.selectNameFilter(filters[r.filterIndex]);
  switch (r.kind) {
    case FileDialogKind::Open:
      dlg.setAcceptMode(QFileDialog::AcceptOpen);
      dlg.setFileMode(r.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
      break;
    case FileDialogKind::Save:
      dlg.setAcceptMode(QFileDialog::AcceptSave);
      dlg.setFileMode(QFileDialog::AnyFile);
      if (!r.promptOverwrite) dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
      break;
    case FileDialogKind::Folder:
      dlg.setFileMode(QFileDialog::Directory);
      dlg.setOption(QFileDialog::ShowDirsOnly, true);
      break;
  }
  if (!r.fileName.empty()) dlg.selectFile(Q(r.fileName));
  dlg.setWindowModality(Qt::ApplicationModal);
  const ModalLoop loop(dlg);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
  return dlg.selectedFiles().first().toStdString();
}

void QtUi::RunModal(Form& form) {
  if (sys::ProgramEnding()) return;
  form.setWindowModality(Qt::ApplicationModal);
  const ModalLoop loop(form);
  if (form.loaded_) form.exec();
}

void QtUi::DoEvents() {
  // Long reads call this once per record. Running the event loop costs more than the
  // engine's own work per record, and nobody sees a difference finer than a few
  // milliseconds, so the events are let through at most every 5 ms. A caller that
  // comes back within microseconds has the clock read only every few hundred calls:
  // the calls between two readings double while they come quickly and drop back to
  // one as soon as they do not.
  using Clock = std::chrono::steady_clock;
  static Clock::time_point lastPump, lastCheck;
  static uint32_t every = 1, skip = 0;
  if (skip > 0) {
    --skip;
    return;
  }
  const auto now = Clock::now();
  if (now - lastCheck < std::chrono::milliseconds(1)) every = std::min<uint32_t>(every * 2, 256);
  else every = 1;
  skip = every - 1;
  lastCheck = now;
  if (now - lastPump < std::chrono::milliseconds(5)) return;
  lastPump = now;
  QCoreApplication::processEvents();
}

// A box that a stop answered may lead here (No at the date-format question, a program
// folder that cannot be written): whoever sent the signal still sees the program end by it.
void QtUi::ExitProgram(int code) {
  if (const int sig = sys::EndSignal()) sys::EndBySignal(sig);
  std::_Exit(code);
}

}  // namespace qvx::ui
