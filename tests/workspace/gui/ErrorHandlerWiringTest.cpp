// The main window keeps the error handler for its whole life, and its debug
// mode action switches the handler and the caption's marker.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ActnList.h"
#include "services/UErrorHandler.h"
#include "services/ULocalization.h"
#include "services/USystem.h"
#include "workspace/UMain.h"

namespace ond {
namespace {

class ErrorHandlerWiring : public testing::Test {
 protected:
  void SetUp() override {
    Application()->MessageBoxHook = [this](const std::string& text, const std::string&, unsigned) {
      Boxes.push_back(text);
      return IDOK;
    };
  }
  void TearDown() override {
    Application()->MessageBoxHook = nullptr;
    Settings.system.options.debugmod = false;
  }
  bool CaptionMarked(const TMain& main) const {
    return main.GetCaption().find(" [" + Lang(leTestMode) + "]") != std::string::npos;
  }
  std::vector<std::string> Boxes;
};

TEST_F(ErrorHandlerWiring, TheHandlerLivesAndRunsWithTheWindow) {
  {
    TMain main(nullptr);
    ASSERT_NE(ErrorHandler, nullptr);
    EXPECT_TRUE(ErrorHandler->Active());
    EXPECT_TRUE(Application()->OnException);
  }
  EXPECT_EQ(ErrorHandler, nullptr);
  EXPECT_FALSE(Application()->OnException);
}

TEST_F(ErrorHandlerWiring, DebugModeActionSwitchesTheHandlerAndTheCaption) {
  TMain main(nullptr);
  TAction* action = main.Action("aDebugMod");
  ASSERT_NE(action, nullptr);
  action->Update();
  ASSERT_TRUE(action->GetEnabled());
  EXPECT_FALSE(CaptionMarked(main));
  action->Execute();
  EXPECT_TRUE(ErrorHandler->DebugMode());
  EXPECT_TRUE(Settings.system.options.debugmod);
  EXPECT_TRUE(action->GetChecked());
  EXPECT_TRUE(CaptionMarked(main));
  action->Execute();
  EXPECT_FALSE(ErrorHandler->DebugMode());
  EXPECT_FALSE(CaptionMarked(main));
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(ErrorHandlerWiring, DebugModeStaysOffWithoutDebugInformation) {
  TMain main(nullptr);
  ErrorHandler->DebugInfoAvailable = [] { return false; };
  TAction* action = main.Action("aDebugMod");
  action->Execute();
  EXPECT_FALSE(ErrorHandler->DebugMode());
  EXPECT_FALSE(Settings.system.options.debugmod);
  EXPECT_FALSE(action->GetChecked());
  EXPECT_FALSE(CaptionMarked(main));
  EXPECT_EQ(Boxes, std::vector<std::string>{Lang(leDebugLibraryFailed)});
}

TEST_F(ErrorHandlerWiring, AboutActionIsThere) {
  TMain main(nullptr);
  TAction* action = main.Action("aAbout");
  ASSERT_NE(action, nullptr);
  action->Update();
  EXPECT_TRUE(action->GetEnabled());
}

}  // namespace
}  // namespace ond
