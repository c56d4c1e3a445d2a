// GoogleTest entry for tests that need a QApplication. They run on Qt's
// offscreen platform unless the caller chose another one.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "platform/QtBridge.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  ond::UsePaletteColors();
  return RUN_ALL_TESTS();
}
