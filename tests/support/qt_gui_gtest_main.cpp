// GoogleTest's main with a QApplication, for the window tests (offscreen).
#include <gtest/gtest.h>

#include <QApplication>

#include "client/sounds.h"
#include "ui/cardpictures.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  ombrix::client::setSoundSink([](const QString&) {});  // tests hear nothing
  // Cards drawn in code: no deck is read unless a test chooses one.
  ombrix::ui::CardPictures::instance().useDrawnCards();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
