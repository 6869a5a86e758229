#include "platform/help/Help.h"

#include <algorithm>
#include <memory>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/runtime/Runtime.h"
#include "platform/sys/ProgramEnding.h"

namespace qvx::help {

namespace {

constexpr const char* kContentsPage = "index.html";

// One window in the manner of a help viewer: the page, with Contents, Back, Forward and
// Close. Its controls are members; containers come before what they hold, so that the
// members are destroyed before the widgets that hold them.
class HelpWindow : public QWidget {
 public:
  explicit HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle("Quorvex Help");
    resize(780, 560);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {&contents_, &back_, &forward_}) buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(&close_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(&browser_, 1);
    browser_.setOpenLinks(true);
    browser_.setOpenExternalLinks(true);
    back_.setEnabled(false);
    forward_.setEnabled(false);
    connect(&browser_, &QTextBrowser::backwardAvailable, &back_, &QPushButton::setEnabled);
    connect(&browser_, &QTextBrowser::forwardAvailable, &forward_, &QPushButton::setEnabled);
    connect(&back_, &QPushButton::clicked, &browser_, &QTextBrowser::backward);
    connect(&forward_, &QPushButton::clicked, &browser_, &QTextBrowser::forward);
    connect(&contents_, &QPushButton::clicked, this, [this] { Show(folder_, kContentsPage, nullptr); });
    connect(&close_, &QPushButton::clicked, this, &QWidget::close);
    connect(&browser_, &QTextBrowser::sourceChanged, this, [this] {
      const QString title = browser_.documentTitle();
      setWindowTitle(title.isEmpty() ? QString("Quorvex Help") : "Quorvex Help - " + title);
    });
  }

  // `over` is the window the help was asked from: a window that opens lies over it (or
  // in the middle of the screen without one); an open window stays where the user left
  // it.
  void Show(const QString& folder, const QString& page, const QWidget* over) {
    folder_ = folder;
    browser_.setSearchPaths({folder});
    browser_.setSource(QUrl::fromLocalFile(QDir(folder).filePath(page)));
    if (!isVisible()) PlaceOver(over);
    show();
    raise();
    activateWindow();
  }

 protected:
  // Esc closes the window, as it closes a dialog (the page and the buttons leave it).
  void keyPressEvent(QKeyEvent* e) override {
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
      close();
      return;
    }
    QWidget::keyPressEvent(e);
  }

 private:
  void PlaceOver(const QWidget* over) {
    QScreen* screen = over ? over->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect room = screen->availableGeometry();
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(over ? over->frameGeometry().center() : room.center());
    // Kept on the screen, its title bar first.
    frame.moveLeft(std::max(room.left(), std::min(frame.left(), room.right() - frame.width())));
    frame.moveTop(std::max(room.top(), std::min(frame.top(), room.bottom() - frame.height())));
    move(frame.topLeft());
  }

  QTextBrowser browser_;
  QPushButton contents_{"&Contents"};
  QPushButton back_{"&Back"};
  QPushButton forward_{"&Forward"};
  QPushButton close_{"C&lose"};
  QString folder_;
};

struct HelpState {
  std::string helpFile;
  Recorder* recorder = nullptr;
  // The window when no modal window was up as it opened; owned here.
  std::unique_ptr<HelpWindow> topLevel;
  // The window opened over a modal window: a child of it, so that it takes input while
  // that window runs; owned (and deleted) by it.
  QPointer<HelpWindow> overModal;
  bool cleanupRegistered = false;
};

HelpState& State() {
  static HelpState state;
  return state;
}

HelpWindow& WindowFor(QWidget* modal) {
  auto& s = State();
  if (!s.cleanupRegistered) {
    qAddPostRoutine(&CloseHelpWindow);
    s.cleanupRegistered = true;
  }
  if (!modal) {
    if (s.overModal) s.overModal->close();
    if (!s.topLevel) s.topLevel = std::make_unique<HelpWindow>(nullptr);
    return *s.topLevel;
  }
  if (s.topLevel) s.topLevel->hide();
  if (!s.overModal || s.overModal->parentWidget() != modal) {
    if (s.overModal) s.overModal->deleteLater();
    auto* w = new HelpWindow(modal);  // owned by the modal window
    w->setAttribute(Qt::WA_DeleteOnClose);
    s.overModal = w;
  }
  return *s.overModal;
}

}  // namespace

void SetHelpFile(const std::string& helpFile) { State().helpFile = helpFile; }
const std::string& HelpFile() { return State().helpFile; }

std::string PagesFolder(const std::string& helpFile) {
  const QFileInfo info(QString::fromStdString(helpFile));
  return QDir(info.path()).filePath(info.completeBaseName()).toStdString();
}

void ShowTopic(const std::string& helpFile, int topic) {
  // The end has begun: no window opens now (a box would not be shown either).
  if (sys::ProgramEnding()) return;
  if (auto* r = State().recorder) r->calls.push_back({helpFile, topic});
  const QString folder = QString::fromStdString(PagesFolder(helpFile));
  const QDir dir(folder);
  if (!dir.exists() || !dir.exists(kContentsPage))
    Raise(err::FileNotFound, "The help pages could not be found in " + folder.toStdString());
  if (State().recorder) return;
  const QString page = QString::number(topic) + ".html";
  QWidget* modal = QApplication::activeModalWidget();
  HelpWindow& window = WindowFor(modal);
  QWidget* over = modal ? modal : QApplication::activeWindow();
  if (over == &window) over = nullptr;
  window.Show(folder, dir.exists(page) ? page : kContentsPage, over);
}

void BindF1(QWidget& window, std::function<int()> topic) {
  auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), &window);  // owned by the window
  f1->setContext(Qt::WindowShortcut);
  QObject::connect(f1, &QShortcut::activated, &window, [topic = std::move(topic)] {
    try {
      ShowTopic(HelpFile(), topic());
    } catch (const VbError&) {
      // The help key says nothing when the pages are missing.
    }
  });
}

void CloseHelpWindow() {
  auto& s = State();
  if (s.overModal) s.overModal->close();
  s.topLevel.reset();
}

Recorder::Recorder() : previous_(State().recorder) { State().recorder = this; }
Recorder::~Recorder() { State().recorder = previous_; }

}  // namespace qvx::help
