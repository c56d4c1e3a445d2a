// The main window keeps the error handler running for its whole life, and
// the log's header tells the system and the game as the workspace reads them.
#include <gtest/gtest.h>

#include <string>

#include "services/UErrorHandler.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/TempDir.h"
#include "workspace/UErrorLogInfo.h"
#include "workspace/UMain.h"
#include "workspace/UWorldOfTanksInfo.h"

namespace ond {
namespace {

bool LogHas(const TErrorHandler& handler, const std::string& line) {
  for (int i = 0; i < handler.Log().GetCount(); ++i)
    if (handler.Log().Get(i) == line) return true;
  return false;
}

TEST(ErrorHandlerWiring, TheHandlerLivesAndRunsWithTheWindow) {
  {
    TMain main(nullptr);
    ASSERT_NE(ErrorHandler, nullptr);
    EXPECT_TRUE(ErrorHandler->Active());
    EXPECT_TRUE(Application()->OnException);
    EXPECT_TRUE(LogHas(*ErrorHandler, " \x95 Name: " + GetWindowsProductName()));
    EXPECT_TRUE(LogHas(*ErrorHandler, " \x95 DisplayMode: " + GetDisplayInfo()));
  }
  EXPECT_EQ(ErrorHandler, nullptr);
  EXPECT_FALSE(Application()->OnException);
}

TEST(ErrorHandlerWiring, WithoutTheGameTheHeaderLeavesItsBlockOut) {
  test::TempDir prefix;
  test::TEnvGuard wine("WINEPREFIX", prefix.Path().c_str());
  const TErrorLogSystemInfo info = ReadErrorLogSystemInfo();
  EXPECT_FALSE(info.GameInstalled);
  EXPECT_EQ(info.GameVersion + info.GamePath + info.ModsPath + info.QuarnConfig, "");
  EXPECT_EQ(info.Name, GetWindowsProductName());
  EXPECT_EQ(info.Keyboard, GetKeyboardLayoutName());
}

}  // namespace
}  // namespace ond
