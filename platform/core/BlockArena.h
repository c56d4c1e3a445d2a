// Memory for the many small nodes one parse makes. A document of a few
// megabytes holds hundreds of thousands of nodes; taking each from the general
// heap and giving each back one by one costs more than reading the text. A
// parser instead cuts its nodes from large blocks, and the blocks go back
// together once the last of those nodes is gone. The nodes stay ordinary
// shared nodes: they can be moved, kept or dropped one at a time; only the
// memory of a dropped node waits for its blocks.
#pragma once

#include <atomic>
#include <cstddef>
#include <new>
#include <type_traits>

namespace ond {

class TBlockArena {
 public:
  // Open for its creator, who gives it up with Close.
  static TBlockArena* Create() { return new TBlockArena(); }
  TBlockArena(const TBlockArena&) = delete;
  TBlockArena& operator=(const TBlockArena&) = delete;

  // While the arena is open only its creator's thread takes memory and
  // holds; what was taken may be given back on any thread at any time.
  // Holds taken while open are counted without atomic operations and
  // published at once by Close.
  void Close() noexcept {
    FOpen = false;
    const std::size_t bias = kOpenBias - FUnpublished;
    if (FHolds.fetch_sub(bias, std::memory_order_acq_rel) == bias) delete this;
  }

  // Memory that holds the arena until it is released.
  void* Take(std::size_t bytes) {
    void* p = TakeUnheld(bytes);
    Hold();
    return p;
  }
  // Memory for an owner that holds the arena for many pieces at once.
  void* TakeUnheld(std::size_t bytes) {
    bytes = (bytes + kAlign - 1) & ~(kAlign - 1);
    if (bytes > static_cast<std::size_t>(FEnd - FNext)) NewBlock(bytes);
    void* p = FNext;
    FNext += bytes;
    return p;
  }
  void Hold() noexcept {
    if (FOpen)
      ++FUnpublished;
    else
      FHolds.fetch_add(1, std::memory_order_relaxed);
  }
  void Release() noexcept {
    if (FHolds.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  // Bytes in blocks, for tests.
  std::size_t Reserved() const noexcept { return FReserved; }

 private:
  static constexpr std::size_t kAlign = alignof(std::max_align_t);
  // Stands for the creator's hold and keeps the count above zero, whatever
  // is given back, until Close publishes the holds counted while open.
  static constexpr std::size_t kOpenBias = std::size_t{1} << (sizeof(std::size_t) * 8 - 2);
  // Small documents take small blocks; large ones grow to blocks that stay
  // below the size the heap would map on its own.
  static constexpr std::size_t kFirstBlock = 4096;
  static constexpr std::size_t kLargestBlock = 64 * 1024;
  // A parse that has outgrown a megabyte of heap blocks is a large document:
  // its further blocks are regions mapped apart, doubling up to a limit, on
  // huge pages where the system gives them. Heap blocks of a freed document
  // go back to the system with the heap's top and come again one page fault
  // per page; a region costs one fault per huge page, and its unused tail
  // none.
  static constexpr std::size_t kRegionsFrom = 1024 * 1024;
  static constexpr std::size_t kFirstRegion = std::size_t{2} << 20;
  static constexpr std::size_t kLargestRegion = std::size_t{64} << 20;

  struct Block {
    Block* Prev;
    std::size_t Size;
    bool Region;
  };
  static constexpr std::size_t kHeader = (sizeof(Block) + kAlign - 1) & ~(kAlign - 1);

  // A region of at least Size bytes mapped apart from the heap (Size then
  // holds its size), or null when the system refuses one.
  static void* MapRegion(std::size_t& size) noexcept;
  static void UnmapRegion(void* region, std::size_t size) noexcept;

  TBlockArena() = default;
  ~TBlockArena() {
    while (FLast) {
      Block* prev = FLast->Prev;
      if (FLast->Region)
        UnmapRegion(FLast, FLast->Size);
      else
        ::operator delete(FLast);
      FLast = prev;
    }
  }

  void NewBlock(std::size_t bytes) {
    void* memory = nullptr;
    std::size_t size = 0;
    bool region = false;
    if (FReserved >= kRegionsFrom) {
      size = FRegionSize ? FRegionSize * 2 : kFirstRegion;
      if (size > kLargestRegion) size = kLargestRegion;
      if (size < kHeader + bytes) size = kHeader + bytes;
      memory = MapRegion(size);
      if (memory) {
        region = true;
        FRegionSize = size;
      }
    }
    if (!memory) {
      size = FLast ? FBlockSize * 2 : kFirstBlock;
      if (size > kLargestBlock) size = kLargestBlock;
      if (size < kHeader + bytes) size = kHeader + bytes;
      memory = ::operator new(size);
      FBlockSize = size;
    }
    auto* b = static_cast<Block*>(memory);
    b->Prev = FLast;
    b->Size = size;
    b->Region = region;
    FLast = b;
    FReserved += size;
    FNext = reinterpret_cast<char*>(b) + kHeader;
    FEnd = reinterpret_cast<char*>(b) + size;
  }

  std::atomic<std::size_t> FHolds{kOpenBias};
  bool FOpen = true;
  std::size_t FUnpublished = 0;
  Block* FLast = nullptr;
  char* FNext = nullptr;
  char* FEnd = nullptr;
  std::size_t FBlockSize = 0;
  std::size_t FRegionSize = 0;
  std::size_t FReserved = 0;
};

// Hands arena memory to std::allocate_shared: each node holds the arena until
// it is freed.
template <class T>
class TArenaAllocator {
 public:
  using value_type = T;
  explicit TArenaAllocator(TBlockArena* arena) noexcept : FArena(arena) {}
  template <class U>
  TArenaAllocator(const TArenaAllocator<U>& o) noexcept : FArena(o.Arena()) {}

  T* allocate(std::size_t n) { return static_cast<T*>(FArena->Take(n * sizeof(T))); }
  void deallocate(T*, std::size_t) noexcept { FArena->Release(); }
  TBlockArena* Arena() const noexcept { return FArena; }

  template <class U>
  bool operator==(const TArenaAllocator<U>& o) const noexcept {
    return FArena == o.Arena();
  }

 private:
  TBlockArena* FArena;
};

// Like TArenaAllocator, but without an arena it takes from the heap: for the
// containers a parse fills at their final size that may still grow later.
// Each block it hands out holds the arena, so a container can never outlive
// its memory; a copy of a container goes to the heap.
template <class T>
class TArenaOrHeapAllocator {
 public:
  using value_type = T;
  using propagate_on_container_move_assignment = std::true_type;
  using propagate_on_container_swap = std::true_type;
  using is_always_equal = std::false_type;

  TArenaOrHeapAllocator() noexcept = default;
  explicit TArenaOrHeapAllocator(TBlockArena* arena) noexcept : FArena(arena) {}
  template <class U>
  TArenaOrHeapAllocator(const TArenaOrHeapAllocator<U>& o) noexcept : FArena(o.Arena()) {}
  TArenaOrHeapAllocator select_on_container_copy_construction() const noexcept { return {}; }

  T* allocate(std::size_t n) {
    return static_cast<T*>(FArena ? FArena->Take(n * sizeof(T)) : ::operator new(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t) noexcept {
    if (FArena)
      FArena->Release();
    else
      ::operator delete(p);
  }
  TBlockArena* Arena() const noexcept { return FArena; }

  template <class U>
  bool operator==(const TArenaOrHeapAllocator<U>& o) const noexcept {
    return FArena == o.Arena();
  }

 private:
  TBlockArena* FArena = nullptr;
};

}  // namespace ond
