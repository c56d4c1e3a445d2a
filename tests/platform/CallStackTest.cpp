// The program's exceptions remember where they were thrown, and the
// symbolizer turns those addresses into functions, files and lines read from
// the test binary's own debug information.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/core/CallStack.h"
#include "platform/core/FileSystem.h"
#include "platform/core/SysUtils.h"
#include "platform/core/Symbolizer.h"
#include "tests/support/ThrowDeep.h"

namespace ond {
namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Index of the first place at or after `from` naming the function, or -1.
int FindFunction(const std::vector<TSourceLocation>& places, const std::string& name, int from) {
  for (int i = std::max(from, 0); i < static_cast<int>(places.size()); ++i)
    if (places[i].Function.find(name) != std::string::npos) return i;
  return -1;
}

TEST(CallStack, ThrownExceptionIsSymbolizedThreeCallsDeep) {
  ASSERT_TRUE(ProgramHasDebugInfo()) << "the test binary must be built with debug information";
  try {
    test::ThrowingLevelOne();
    FAIL() << "no exception";
  } catch (const Exception& e) {
    ASSERT_TRUE(e.CallStack);
    const auto places = SymbolizeStack(*e.CallStack);
    const int three = FindFunction(places, "ThrowingLevelThree", 0);
    const int two = FindFunction(places, "ThrowingLevelTwo", three + 1);
    const int one = FindFunction(places, "ThrowingLevelOne", two + 1);
    ASSERT_GE(three, 0);
    ASSERT_GT(two, three);
    ASSERT_GT(one, two);
    for (int i : {three, two, one}) {
      EXPECT_TRUE(EndsWith(places[i].SourceFile, test::ThrowDeepSourceFile)) << places[i].SourceFile;
      EXPECT_GT(places[i].Line, 10);
      EXPECT_GT(places[i].ModuleBase, 0u);
      EXPECT_EQ(places[i].ModuleFile, ProgramFileName());
      EXPECT_EQ(places[i].Function.find(" [clone"), std::string::npos) << places[i].Function;
    }
    // Nothing but the exception's own constructors stands before the throw site.
    for (int i = 0; i < three; ++i) EXPECT_NE(places[i].Function.find("::E"), std::string::npos) << places[i].Function;
  }
}

TEST(CallStack, CopiesShareTheStackOfTheThrowSite) {
  EListError original("x");
  const EListError copy = original;
  ASSERT_TRUE(original.CallStack);
  EXPECT_EQ(copy.CallStack, original.CallStack);
  EXPECT_FALSE(original.CallStack->empty());
}

TEST(Symbolizer, AddressesAreRelativeToTheModuleBase) {
  const void* fn = reinterpret_cast<const void*>(&test::ThrowingLevelOne);
  Dl_info dl{};
  ASSERT_NE(dladdr(fn, &dl), 0);
  const auto places = Symbolize(fn, false);
  ASSERT_FALSE(places.empty());
  EXPECT_EQ(places.back().ModuleBase, reinterpret_cast<std::uintptr_t>(dl.dli_fbase));
  EXPECT_EQ(places.back().RelativeAddress(),
            reinterpret_cast<std::uintptr_t>(fn) - reinterpret_cast<std::uintptr_t>(dl.dli_fbase));
  EXPECT_NE(places.back().Function.find("ThrowingLevelOne"), std::string::npos);
}

TEST(Symbolizer, AddressesOutsideEveryModuleGiveEmptyPlaces) {
  for (const void* address : {static_cast<const void*>(nullptr), reinterpret_cast<const void*>(0x10)}) {
    const auto places = Symbolize(address, true);
    ASSERT_EQ(places.size(), 1u);
    EXPECT_EQ(places[0].Function, "");
    EXPECT_EQ(places[0].SourceFile, "");
    EXPECT_EQ(places[0].Line, 0);
    EXPECT_EQ(places[0].RelativeAddress(), 0u);
  }
}

}  // namespace
}  // namespace ond
