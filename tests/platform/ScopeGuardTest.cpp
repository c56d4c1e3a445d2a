// A scope guard restores on every way out of a block, and never lets its own
// failure hide the exception that is already on its way.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "platform/core/ScopeGuard.h"

namespace ond {
namespace {

TEST(ScopeGuard, RestoresOnANormalEndAndOnAnException) {
  int state = 1;
  {
    state = 2;
    const TScopeExit restore([&] { state = 1; });
    EXPECT_EQ(state, 2);
  }
  EXPECT_EQ(state, 1);

  state = 1;
  EXPECT_THROW(
      {
        state = 2;
        const TScopeExit restore([&] { state = 1; });
        throw std::runtime_error("body");
      },
      std::runtime_error);
  EXPECT_EQ(state, 1);
}

TEST(ScopeGuard, ItsOwnFailureReachesTheCallerOnlyWhenNothingElseIsUnderWay) {
  // A normal end: the action's exception goes on, as a last statement's would.
  std::string arrived;
  try {
    const TScopeExit restore([] { throw std::runtime_error("restore"); });
  } catch (const std::exception& e) {
    arrived = e.what();
  }
  EXPECT_EQ(arrived, "restore");
  // While the body's exception unwinds, that one arrives.
  arrived.clear();
  try {
    const TScopeExit restore([] { throw std::runtime_error("restore"); });
    throw std::logic_error("body");
  } catch (const std::exception& e) {
    arrived = e.what();
  }
  EXPECT_EQ(arrived, "body");
}

TEST(ScopeGuard, NestedGuardsRunInnermostFirst) {
  std::string order;
  {
    const TScopeExit outer([&] { order += "outer "; });
    const TScopeExit inner([&] { order += "inner "; });
  }
  EXPECT_EQ(order, "inner outer ");
}

}  // namespace
}  // namespace ond
