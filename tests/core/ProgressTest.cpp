#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

#include "core/Globals.h"
#include "core/Progress.h"
#include "support/TestUi.h"

namespace qvx {
namespace {

bool AnyVisibleWindow() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible()) return true;
  return false;
}

TEST(Progress, ShownWithoutBlockingYetModalForTheApplication) {
  QWidget mainWindow;
  mainWindow.show();
  auto& p = Progress::Instance();
  p.SetCaption("Reading transactions ...");
  ASSERT_TRUE(p.Loaded());
  G.ProgressShown = true;
  p.SetMax(250000);
  p.SetValue(1000);
  p.Show();  // returns at once
  ProgressForm& w = p.Window();
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(w.windowTitle(), "Reading transactions ...");
  EXPECT_EQ(w.PBar.maximum(), 250000);
  EXPECT_EQ(w.PBar.value(), 1000);
  EXPECT_EQ(QApplication::activeModalWidget(), &w);

  QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(w.x(), screen.left() + (screen.width() - w.width()) / 2);
  EXPECT_EQ(w.y(), screen.top() + (screen.height() - w.height()) / 2);

  p.Unload();
  EXPECT_FALSE(p.Loaded());
  EXPECT_FALSE(G.ProgressShown);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  mainWindow.close();
  EXPECT_FALSE(AnyVisibleWindow());

  // A new run loads it afresh, with its own caption.
  EXPECT_EQ(p.Window().windowTitle(), "Progress");
  EXPECT_EQ(p.Window().PBar.value(), 0);
  p.Unload();
}

TEST(Progress, ReadingDBaseCaption) {
  auto& r = ReadingDBase::Instance();
  r.Show();
  EXPECT_EQ(r.Window().windowTitle(), "Reading your database ...");
  EXPECT_EQ(QApplication::activeModalWidget(), &r.Window());
  r.Unload();
  EXPECT_FALSE(AnyVisibleWindow());
}

}  // namespace
}  // namespace qvx
