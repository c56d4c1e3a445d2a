// The block arena: any size served aligned, and the blocks freed with the
// last hold, in whatever order the holds go.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "platform/core/BlockArena.h"

namespace ond {
namespace {

TEST(BlockArena, BlocksServeAnySizeAndGoWithTheLastHold) {
  TBlockArena* arena = TBlockArena::Create();
  std::vector<char*> taken;
  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) {
    const std::size_t size = i % 500 == 0 ? 200000 : 1 + rng() % 300;
    auto* p = static_cast<char*>(arena->Take(size));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % alignof(std::max_align_t), 0u);
    p[0] = p[size - 1] = 'x';
    taken.push_back(p);
  }
  EXPECT_GE(arena->Reserved(), 4u * 200000u);
  arena->Release();  // the creator's hold; the blocks stay for the others
  std::shuffle(taken.begin(), taken.end(), rng);
  for (char* p : taken) {
    EXPECT_EQ(p[0], 'x');
    arena->Release();  // the last one frees the blocks (the leak checker watches)
  }
}

}  // namespace
}  // namespace ond
