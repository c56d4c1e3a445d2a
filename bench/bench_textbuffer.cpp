// Loading a 200 MB, 4-million-line text into the line buffer from memory,
// beside splitting the same bytes with memchr alone (the floor), and the
// buffer's memory per line beyond the text itself.
// Run: build/bench/bench_textbuffer (Release, -DONDREL_BENCH=ON).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstring>
#include <string>

#include "editor/OndEditTextBuffer.h"
#include "platform/core/Classes.h"

namespace {

constexpr int kLines = 4'000'000;

struct Sample {
  std::string Bytes;
  std::size_t TextBytes = 0;  // without line ends
};

// Config-like lines of 30 to 68 characters plus CR LF: 200 MB in all.
const Sample& Data() {
  static const Sample sample = [] {
    Sample s;
    s.Bytes.reserve(205u * 1000 * 1000);
    const std::string pattern = "    \"key_name\": [1, 2, 3], \"\xC7\xED\xE0\xF7\xE5\xED\xE8\xE5\": \"value text\"";
    unsigned seed = 12345;
    for (int i = 0; i < kLines; ++i) {
      seed = seed * 1103515245u + 12345u;
      const std::size_t len = 30 + (seed >> 16) % 39;
      for (std::size_t k = 0; k < len; ++k) s.Bytes.push_back(pattern[(k + i) % pattern.size()]);
      s.Bytes += "\r\n";
      s.TextBytes += len;
    }
    return s;
  }();
  return sample;
}

void BM_MemchrSplit(benchmark::State& state) {
  const std::string& bytes = Data().Bytes;
  for (auto _ : state) {
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    std::size_t lines = 0, chars = 0;
    while (p < end) {
      const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
      if (nl == nullptr) nl = end;
      chars += static_cast<std::size_t>(nl - p);
      ++lines;
      p = nl + 1;
    }
    benchmark::DoNotOptimize(lines);
    benchmark::DoNotOptimize(chars);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_MemchrSplit)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_LoadFromStream(benchmark::State& state) {
  ond::TStringStream stream(Data().Bytes);
  int count = 0;
  for (auto _ : state) {
    ond::TOndEditStringList lines;
    lines.LoadFromStream(stream);
    count = lines.GetCount();
    benchmark::DoNotOptimize(count);
  }
  if (state.iterations() > 0 && count != kLines) state.SkipWithError("wrong line count");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Data().Bytes.size()));
}
BENCHMARK(BM_LoadFromStream)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Heap in use beside the text: line records, spare capacity, line ends kept
// in the loaded block, allocator overhead.
void BM_MemoryPerLine(benchmark::State& state) {
  ond::TStringStream stream(Data().Bytes);
  double perLine = 0;
  for (auto _ : state) {
    malloc_trim(0);
    const struct mallinfo2 before = mallinfo2();
    auto lines = std::make_unique<ond::TOndEditStringList>();
    lines->LoadFromStream(stream);
    const struct mallinfo2 after = mallinfo2();
    const double used = static_cast<double>((after.uordblks + after.hblkhd) - (before.uordblks + before.hblkhd));
    perLine = (used - static_cast<double>(Data().TextBytes)) / lines->GetCount();
    state.PauseTiming();
    lines.reset();
    state.ResumeTiming();
  }
  state.counters["overhead_bytes_per_line"] = perLine;
}
BENCHMARK(BM_MemoryPerLine)->Unit(benchmark::kMillisecond)->Iterations(1);

// The same load when the allocator hands back memory an earlier load freed,
// as in a long-running editor: what is left is the buffer's own work, without
// the kernel providing 400 MB of fresh pages. Runs last: it changes the
// process's allocator settings.
void BM_LoadFromStreamRecycled(benchmark::State& state) {
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  ond::TStringStream stream(Data().Bytes);
  int count = 0;
  for (auto _ : state) {
    ond::TOndEditStringList lines;
    lines.LoadFromStream(stream);
    count = lines.GetCount();
    benchmark::DoNotOptimize(count);
  }
  if (state.iterations() > 0 && count != kLines) state.SkipWithError("wrong line count");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Data().Bytes.size()));
}
BENCHMARK(BM_LoadFromStreamRecycled)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
