// Looking for the next of a few bytes sixteen at a time must find what a
// look at one byte after the other finds: from every place, to every end,
// with the last block read back from the end where the text allows it, for
// sets of one to eight bytes and for larger sets (looked for one by one).
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "highlight/OndFewBytes.h"

namespace ond {
namespace {

const char* PlainFind(const std::array<bool, 256>& Stops, const char* P, const char* End) {
  while (P < End && !Stops[static_cast<unsigned char>(*P)]) ++P;
  return P;
}

TEST(FewBytes, FindsWhatAByteWalkFinds) {
  std::mt19937 rng(5);
  const std::string alphabet = "abc\"'{}<>/*\n\r\t\\\x80\xFF";
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  for (int round = 0; round < 300; ++round) {
    std::array<bool, 256> stops{};
    // From none to all of the alphabet's bytes: more than eight are looked
    // for one by one.
    const int count = round % 12;
    for (int k = 0; k < count; ++k) stops[static_cast<unsigned char>(alphabet[pick(rng)])] = true;
    const TOndFewBytes few(stops);
    std::string text(static_cast<std::size_t>(rng() % 70), 'a');
    for (char& c : text) c = rng() % 3 == 0 ? alphabet[pick(rng)] : 'x';
    const char* b = text.data();
    for (std::size_t from = 0; from <= text.size(); ++from)
      for (std::size_t to = from; to <= text.size(); ++to) {
        ASSERT_EQ(few.Find(b, b + from, b + to) - b, PlainFind(stops, b + from, b + to) - b)
            << "from " << from << " to " << to << " in a text of " << text.size();
        ASSERT_EQ(few.Find(b + from, b + to) - b, PlainFind(stops, b + from, b + to) - b);
      }
  }
}

TEST(FewBytes, FindByteFindsWhatAByteWalkFinds) {
  std::mt19937 rng(9);
  for (int round = 0; round < 200; ++round) {
    std::string text(static_cast<std::size_t>(rng() % 70), 'a');
    for (char& c : text) c = "ab\"\0"[rng() % 4];
    const char wanted = "\"b\0"[rng() % 3];
    const char* b = text.data();
    for (std::size_t from = 0; from <= text.size(); ++from)
      for (std::size_t to = from; to <= text.size(); ++to) {
        const char* plain = b + from;
        while (plain < b + to && *plain != wanted) ++plain;
        ASSERT_EQ(FindByte(b, b + from, b + to, wanted) - b, plain - b) << "from " << from << " to " << to;
      }
  }
}

TEST(FewBytes, OddBitsCountsTheSetBits) {
  for (unsigned m : {0u, 1u, 3u, 0x8000u, 0x8001u, 0xFFFFu, 0x12345u, 0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu})
    EXPECT_EQ(OddBits(m), __builtin_popcount(m) % 2 == 1) << m;
}

}  // namespace
}  // namespace ond
