// Pictures of windows for a person to look at, written only when QVX_SCREENSHOT_DIR
// names a folder.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include <QApplication>
#include <QWidget>
#include <gtest/gtest.h>

namespace qvx::test {

// The folder the pictures go to, or nullptr when none is asked for.
inline const char* ScreenshotDir() {
  const char* folder = std::getenv("QVX_SCREENSHOT_DIR");
  return folder && *folder ? folder : nullptr;
}

// Shows the window, lets it paint and saves it as <folder>/<name>.png, the folder made
// when it is missing.
inline void SaveScreenshot(QWidget& w, const std::string& name) {
  std::error_code ec;
  std::filesystem::create_directories(ScreenshotDir(), ec);
  EXPECT_FALSE(ec) << ScreenshotDir() << ": " << ec.message();
  w.show();
  QApplication::processEvents();
  EXPECT_TRUE(w.grab().save(QString(ScreenshotDir()) + "/" + QString::fromStdString(name) + ".png")) << name;
}

}  // namespace qvx::test
