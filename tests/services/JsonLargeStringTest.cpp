// A long string token becomes its value without being copied: the parser
// hands its token buffer over. Counted with a replacement of the global
// allocation functions of this test program, active only while a test asks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "services/jsonobject.h"

namespace {

// Blocks of at least this many bytes allocated while counting; -1: not counting.
thread_local std::int64_t tBigBlockLimit = -1;
thread_local int tBigBlocks = 0;

void* Allocate(std::size_t n) {
  if (tBigBlockLimit >= 0 && static_cast<std::int64_t>(n) >= tBigBlockLimit) ++tBigBlocks;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace ond {
namespace {

// The token buffer grows by doubling, so exactly one of its blocks is as
// large as the whole string; a copy of the token would be a second one.
TEST(JsonLargeString, FinishingAStringTokenMovesIt) {
  constexpr std::size_t kChars = 4u << 20;
  for (const bool quoted : {true, false}) {
    SCOPED_TRACE(quoted ? "quoted" : "unquoted word");
    const std::u16string body(kChars, u'x');
    const std::u16string text = quoted ? u"[\"" + body + u"\"]" : u"[" + body + u"]";
    tBigBlocks = 0;
    tBigBlockLimit = static_cast<std::int64_t>(kChars * sizeof(char16_t));
    IJsonObject v = ParseString(text);
    tBigBlockLimit = -1;
    ASSERT_TRUE(v);
    EXPECT_EQ(tBigBlocks, 1);
    EXPECT_EQ(v->AsArray()->Get(0)->AsString().size(), kChars);
  }
}

}  // namespace
}  // namespace ond
