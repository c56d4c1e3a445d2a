// The keyboard and display texts through the window layer, on Qt's
// offscreen screen.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include "platform/SysInfo.h"
#include "platform/core/CodePage.h"
#include "workspace/UWorldOfTanksInfo.h"

namespace ond {
namespace {

TEST(SystemInfoScreen, DisplayTextDescribesThePrimaryScreen) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  const TDisplayMode mode = PrimaryDisplayMode();
  EXPECT_EQ(mode.Width, screen->size().width());
  EXPECT_EQ(mode.Height, screen->size().height());
  EXPECT_GT(mode.BitsPerPixel, 0);
  const std::string text = Utf8ToAnsi(std::to_string(mode.Width) + "x" + std::to_string(mode.Height) + " пик, " +
                                      std::to_string(mode.BitsPerPixel) + " бит, ");
  EXPECT_EQ(GetDisplayInfo().substr(0, text.size()), text);
  EXPECT_EQ(GetDisplayInfo().substr(GetDisplayInfo().size() - 3), Utf8ToAnsi(" Гц"));
}

TEST(SystemInfoScreen, KeyboardTextFollowsTheInputLocale) {
  const std::string locale = InputMethodLocaleName();
  EXPECT_FALSE(locale.empty());
  EXPECT_EQ(GetKeyboardLayoutName(), KeyboardLayoutText(KeyboardLayoutOfLocale(locale)));
}

}  // namespace
}  // namespace ond
