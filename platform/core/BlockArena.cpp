#include "platform/core/BlockArena.h"

#include <sys/mman.h>

#include <cstdint>

namespace ond {

namespace {
// The size of a huge page on the systems the program runs on; a region
// starts on one, so that the system can back it with them.
constexpr std::size_t kHugePage = std::size_t{2} << 20;
}  // namespace

void* TBlockArena::MapRegion(std::size_t& size) noexcept {
  size = (size + kHugePage - 1) & ~(kHugePage - 1);
  // Mapped a huge page longer than asked, then cut to start on one.
  const std::size_t mapped = size + kHugePage;
  void* p = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t start = (at + kHugePage - 1) & ~(std::uintptr_t{kHugePage} - 1);
  if (start > at) ::munmap(p, start - at);
  const std::uintptr_t end = start + size;
  if (at + mapped > end) ::munmap(reinterpret_cast<void*>(end), at + mapped - end);
#ifdef MADV_HUGEPAGE
  // A hint only: without huge pages the region is ordinary memory.
  ::madvise(reinterpret_cast<void*>(start), size, MADV_HUGEPAGE);
#endif
  return reinterpret_cast<void*>(start);
}

void TBlockArena::UnmapRegion(void* region, std::size_t size) noexcept { ::munmap(region, size); }

}  // namespace ond
