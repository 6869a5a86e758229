// The help layer and its pages: every topic the program opens has a page of its own,
// every link between pages leads somewhere, and a missing folder is a failure the
// caller can report.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextBrowser>

#include "platform/help/Help.h"
#include "platform/runtime/Runtime.h"

namespace qvx {
namespace {

const QString kProgramFolder = QString(QVX_BINARY_DIR) + "/bin";

TEST(HelpPages, EveryTopicTheProgramOpensHasItsOwnPage) {
  struct Book {
    const char* file;
    std::vector<int> topics;
  };
  const Book books[] = {
      {"QVXHelp.chm", {1000, 1182, 1184, 1186, 1200, 1240, 1600, 2400, 2500, 3100, 6020}},
      {"QVXReports.CHM", {2400, 2500, 3100}},
  };
  for (const auto& b : books) {
    const QDir folder(QString::fromStdString(help::PagesFolder((kProgramFolder + "/" + b.file).toStdString())));
    EXPECT_TRUE(folder.exists("index.html")) << folder.path().toStdString();
    for (int t : b.topics) {
      QFile page(folder.filePath(QString::number(t) + ".html"));
      ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << page.fileName().toStdString();
      const QString html = QString::fromUtf8(page.readAll());
      EXPECT_TRUE(html.contains("<title>")) << t;
      EXPECT_GT(html.size(), 400) << t;  // a few sentences, not a stub
    }
  }
}

TEST(HelpPages, EveryLinkLeadsToAPage) {
  const QRegularExpression href("href=\"([^\"#]+)\"");
  int links = 0;
  for (const char* book : {"QVXHelp", "QVXReports"}) {
    const QDir folder(kProgramFolder + "/" + book);
    for (const QString& name : folder.entryList({"*.html"})) {
      QFile page(folder.filePath(name));
      ASSERT_TRUE(page.open(QIODevice::ReadOnly));
      const QString html = QString::fromUtf8(page.readAll());
      for (auto it = href.globalMatch(html); it.hasNext();) {
        const QString target = it.next().captured(1);
        ++links;
        EXPECT_TRUE(QFile::exists(folder.filePath(target))) << book << "/" << name.toStdString() << " -> "
                                                            << target.toStdString();
      }
    }
  }
  EXPECT_GT(links, 20);
}

TEST(HelpLayer, PagesFolderIsTheFileNameWithoutItsExtension) {
  const std::pair<const char*, const char*> cases[] = {
      {"/opt/q/QVXHelp.chm", "/opt/q/QVXHelp"},
      {"/opt/q/QVXReports.CHM", "/opt/q/QVXReports"},
      {"/opt/q/QVXHelp.CHM", "/opt/q/QVXHelp"},
  };
  for (auto [file, folder] : cases) EXPECT_EQ(help::PagesFolder(file), folder);
}

TEST(HelpLayer, RecorderTakesCallsDownAndAMissingFolderFails) {
  help::Recorder rec;
  const std::string good = (kProgramFolder + "/QVXHelp.chm").toStdString();
  help::ShowTopic(good, 1000);
  help::ShowTopic(good, 9999);  // no page of its own: the contents page
  QTemporaryDir empty;
  const std::string missing = empty.path().toStdString() + "/QVXHelp.chm";
  try {
    help::ShowTopic(missing, 1000);
    FAIL() << "no error for a missing folder";
  } catch (const VbError& e) {
    EXPECT_EQ(e.Number(), err::FileNotFound);
    EXPECT_NE(e.Description().find(empty.path().toStdString()), std::string::npos);
  }
  const std::vector<help::Call> expected = {{good, 1000}, {good, 9999}, {missing, 1000}};
  EXPECT_EQ(rec.calls, expected);
}

TEST(HelpLayer, TheWindowShowsTheTopicsPageOrTheContents) {
  const std::string book = (kProgramFolder + "/QVXHelp.chm").toStdString();
  auto shownTitle = [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && w->windowTitle().startsWith("Quorvex Help"))
        if (auto* b = w->findChild<QTextBrowser*>()) return b->documentTitle().toStdString();
    return std::string("(no help window)");
  };
  help::ShowTopic(book, 1200);
  EXPECT_EQ(shownTitle(), "Company Information");
  help::ShowTopic(book, 4321);
  EXPECT_EQ(shownTitle(), "Quorvex Help");
  help::CloseHelpWindow();
  EXPECT_EQ(shownTitle(), "(no help window)");
}

// Over a modal window the help window belongs to it, so that it takes input while the
// modal window runs, and it goes when that window goes.
TEST(HelpLayer, OverAModalWindowTheHelpWindowIsItsChild) {
  const std::string book = (kProgramFolder + "/QVXHelp.chm").toStdString();
  QPointer<QWidget> help;
  {
    QDialog modal;
    QTimer::singleShot(0, &modal, [&] {
      help::ShowTopic(book, 1600);
      for (QWidget* w : modal.findChildren<QWidget*>())
        if (w->isWindow() && w->findChild<QTextBrowser*>()) help = w;
      modal.accept();
    });
    modal.exec();
    ASSERT_FALSE(help.isNull());
    EXPECT_TRUE(help->isVisible());
  }
  EXPECT_TRUE(help.isNull());  // gone with its modal window
  help::ShowTopic(book, 1000);   // and a new one opens without it
  help::CloseHelpWindow();
}

// The help window opens over the window it was asked from, not in a corner of the
// screen, and Esc closes it.
TEST(HelpLayer, TheWindowOpensOverItsCallerAndEscClosesIt) {
  const std::string book = (kProgramFolder + "/QVXHelp.chm").toStdString();
  QWidget main;
  // A little off the middle of the screen, where the help window fits round its middle.
  QRect place(0, 0, 500, 400);
  place.moveCenter(QGuiApplication::primaryScreen()->availableGeometry().center() + QPoint(5, 10));
  main.setGeometry(place);
  main.show();
  main.activateWindow();
  QApplication::processEvents();
  ASSERT_EQ(QApplication::activeWindow(), &main);
  help::ShowTopic(book, 1000);
  QWidget* help = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->windowTitle().startsWith("Quorvex Help")) help = w;
  ASSERT_NE(help, nullptr);
  const QPoint centre = main.frameGeometry().center();
  EXPECT_LE((help->frameGeometry().center() - centre).manhattanLength(), 8)
      << help->x() << "," << help->y();
  QApplication::processEvents();
  help->activateWindow();
  QApplication::processEvents();
  QWidget* focus = help->focusWidget() ? help->focusWidget() : help;
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(focus, &esc);
  EXPECT_FALSE(help->isVisible());
  help::CloseHelpWindow();
}

}  // namespace
}  // namespace qvx
