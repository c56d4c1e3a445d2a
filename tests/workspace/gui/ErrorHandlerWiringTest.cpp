// The main window keeps the error handler running for its whole life.
#include <gtest/gtest.h>

#include "services/UErrorHandler.h"
#include "workspace/UMain.h"

namespace ond {
namespace {

TEST(ErrorHandlerWiring, TheHandlerLivesAndRunsWithTheWindow) {
  {
    TMain main(nullptr);
    ASSERT_NE(ErrorHandler, nullptr);
    EXPECT_TRUE(ErrorHandler->Active());
    EXPECT_TRUE(Application()->OnException);
  }
  EXPECT_EQ(ErrorHandler, nullptr);
  EXPECT_FALSE(Application()->OnException);
}

}  // namespace
}  // namespace ond
