// The block arena: any size served aligned, and the blocks freed with the
// last hold, in whatever order the holds go.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
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
  std::shuffle(taken.begin(), taken.end(), rng);
  // Some go back while the creator still holds the arena, the rest after.
  for (std::size_t i = 0; i < taken.size(); ++i) {
    if (i == 700) arena->Close();  // the creator's hold; the blocks stay for the others
    EXPECT_EQ(taken[i][0], 'x');
    arena->Release();  // the last one frees the blocks (the leak checker watches)
  }
  // An arena nobody took from goes with its creator's hold; one whose every
  // piece went back while open goes then too.
  TBlockArena::Create()->Close();
  TBlockArena* brief = TBlockArena::Create();
  brief->Take(10);
  brief->Release();
  brief->Close();
}

// A container that a parse filled may be copied, moved, swapped and grown
// after the parse: its memory stays valid, copies go to the heap, and the
// blocks still go with the last holder.
TEST(BlockArena, ContainersOnItKeepItAlive) {
  using Vec = std::vector<std::string, TArenaOrHeapAllocator<std::string>>;
  TBlockArena* arena = TBlockArena::Create();
  Vec filled{TArenaOrHeapAllocator<std::string>(arena)};
  for (int i = 0; i < 10; ++i) filled.push_back(std::string(40, static_cast<char>('a' + i)));
  arena->Close();  // only the container holds the blocks now
  const Vec copy = filled;
  EXPECT_EQ(copy.get_allocator().Arena(), nullptr);
  Vec other;
  other.swap(filled);
  EXPECT_EQ(other.get_allocator().Arena(), arena);
  for (int i = 0; i < 100; ++i) other.push_back("grown");  // more blocks, after the parse
  Vec moved;
  moved = std::move(other);
  EXPECT_EQ(moved[9], std::string(40, 'j'));
  EXPECT_EQ(moved.size(), 110u);
  EXPECT_EQ(copy[3], std::string(40, 'd'));
  moved = copy;  // keeps its arena, holds the copied text there
  EXPECT_EQ(moved.size(), 10u);
}

}  // namespace
}  // namespace ond
