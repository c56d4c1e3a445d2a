// GoogleTest entry for tests that need a QApplication. They run on Qt's
// offscreen platform unless the caller chose another one.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "platform/QtBridge.h"
#include "services/ULocalization.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The tests read the interface's English texts; the main window picks its
  // language from LANG when shown.
  setenv("LANG", "en_US.UTF-8", 1);
  // A window's start-up update check meets a closed local port at once
  // instead of asking the real server.
  setenv("ONDREL_UPDATE_URL", "http://127.0.0.1:9/pub/ONDREL/", 0);
  ond::SetCurrentLanguage(ond::LangEnglish);
  QApplication app(argc, argv);
  ond::UsePaletteColors();
  return RUN_ALL_TESTS();
}
