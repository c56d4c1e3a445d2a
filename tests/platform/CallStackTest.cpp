// The program's exceptions remember where they were thrown, and each
// address of a stack knows its module. (What the addresses stand for in the
// source is the debug-information library's to say: tests/debuginfo.)
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/core/CallStack.h"
#include "platform/core/FileSystem.h"
#include "platform/core/SysUtils.h"
#include "tests/support/ThrowDeep.h"

namespace ond {
namespace {

TEST(CallStack, CopiesShareTheStackOfTheThrowSite) {
  EListError original("x");
  const EListError copy = original;
  ASSERT_TRUE(original.CallStack);
  EXPECT_EQ(copy.CallStack, original.CallStack);
  EXPECT_FALSE(original.CallStack->empty());
}

TEST(CallStack, EveryFrameOfAThrowLiesInTheProgram) {
  try {
    test::ThrowingLevelOne();
    FAIL() << "no exception";
  } catch (const Exception& e) {
    ASSERT_TRUE(e.CallStack);
    ASSERT_GE(e.CallStack->size(), 4u);  // the constructors, then three levels
    for (std::size_t i = 0; i < 4; ++i) {
      const TCodeModule m = ModuleOfAddress(static_cast<const char*>((*e.CallStack)[i]) - 1);
      EXPECT_TRUE(m.IsProgram) << i;
      EXPECT_EQ(m.File, ProgramFileName());
    }
  }
}

TEST(CallStack, ModulesOfAddresses) {
  const void* fn = reinterpret_cast<const void*>(&test::ThrowingLevelOne);
  Dl_info dl{};
  ASSERT_NE(dladdr(fn, &dl), 0);
  const TCodeModule program = ModuleOfAddress(fn);
  EXPECT_TRUE(program.IsProgram);
  EXPECT_EQ(program.Base, reinterpret_cast<std::uintptr_t>(dl.dli_fbase));
  EXPECT_EQ(program.File, ProgramFileName());

  // A function of the C library lies in a module of its own.
  const void* libc = reinterpret_cast<const void*>(&::dladdr);
  const TCodeModule shared = ModuleOfAddress(libc);
  EXPECT_FALSE(shared.IsProgram);
  EXPECT_NE(shared.Base, 0u);
  EXPECT_NE(shared.File.find(".so"), std::string::npos) << shared.File;

  for (const void* nowhere : {static_cast<const void*>(nullptr), reinterpret_cast<const void*>(0x10)}) {
    const TCodeModule none = ModuleOfAddress(nowhere);
    EXPECT_EQ(none.Base, 0u);
    EXPECT_EQ(none.File, "");
    EXPECT_FALSE(none.IsProgram);
  }
}

}  // namespace
}  // namespace ond
