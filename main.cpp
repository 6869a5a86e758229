#include <QApplication>

#include "core/Startup.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Quorvex");
  qvx::Main();
  return QApplication::exec();
}
