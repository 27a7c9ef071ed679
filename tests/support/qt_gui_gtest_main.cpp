// GoogleTest's main with a QApplication, for the window tests (offscreen).
#include <gtest/gtest.h>

#include <QApplication>

#include "client/sounds.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  ombrix::client::setSoundSink([](const QString&) {});  // tests hear nothing
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
