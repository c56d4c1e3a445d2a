// Opening a single-file set of 200 MB (4 million lines of UTF-8, some of them
// Cyrillic) in the main window, from OpenConfig until the panel holds every
// line and is painted (and once more until the work painting left for idle
// time is done as well), beside the floor of reading the same file into fresh memory and
// splitting it at its line breaks. Then the memory the opened set holds and
// the peak on the way, each measured in a fresh process (resident pages and
// the process's maximum resident size) and given as a multiple of the file's
// size.
// Run: build/bench/bench_bigfile (Release, -DONDREL_BENCH=ON).
#include <algorithm>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "bench/ReadAndSplit.h"
#include "editor/OndEditor.h"
#include "platform/Forms.h"
#include "workspace/UEditors.h"
#include "workspace/UMain.h"

namespace ond {
namespace {

constexpr int kLines = 4'000'000;

// The generated file, removed with its folder when the program ends.
struct BigSet {
  std::string Folder;
  std::string Root;
  std::size_t Size = 0;
  BigSet() {
    Folder = (std::filesystem::temp_directory_path() / ("ondrel_bench_bigfile_" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(Folder);
    Root = Folder + "/@big.zu";
    std::string text = "{\r\n  \"configVersion\": \"9.9.9\",\r\n  \"author\": \"bench\",\r\n";
    text.reserve(210u * 1000 * 1000);
    // Config-like lines of 30 to 68 bytes, "Значение" in UTF-8 in each (and
    // never cut).
    const std::string pattern =
        "    \"\xD0\x97\xD0\xBD\xD0\xB0\xD1\x87\xD0\xB5\xD0\xBD\xD0\xB8\xD0\xB5\": [1, 2, 3], \"key_name\": "
        "\"value text\", \"more\": 0";
    unsigned seed = 12345;
    for (int i = 3; i < kLines - 1; ++i) {
      seed = seed * 1103515245u + 12345u;
      const std::size_t len = 30 + (seed >> 16) % 39;
      text.append(pattern, 0, len);
      // A string cut by the line's end is closed, so that the quotes pair up
      // on every line and the last brace stands outside a string.
      if (std::count(pattern.begin(), pattern.begin() + static_cast<std::ptrdiff_t>(len), '"') % 2 != 0) text += '"';
      text += "\r\n";
    }
    text += "}\r\n";
    std::ofstream(Root, std::ios::binary) << text;
    Size = text.size();
  }
  ~BigSet() {
    std::error_code ec;
    std::filesystem::remove_all(Folder, ec);
  }
};

const BigSet& Set() {
  static const BigSet set;
  return set;
}

// The floor: the file read into memory of its size, fresh each time, and
// split at its line feeds.
void BM_ReadAndSplitFloor(benchmark::State& state) {
  const BigSet& set = Set();
  std::size_t lines = 0;
  for (auto _ : state) {
    lines = static_cast<std::size_t>(std::max(0L, ReadAndSplit(set.Root)));
    benchmark::DoNotOptimize(lines);
  }
  if (lines != static_cast<std::size_t>(kLines)) state.SkipWithError("wrong line count");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * set.Size));
}
BENCHMARK(BM_ReadAndSplitFloor)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void EnsureApplication() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  Application()->MessageBoxHook = [](const std::string&, const std::string&, unsigned) { return IDOK; };
}

std::unique_ptr<TMain> ShownMainWindow() {
  auto main = std::make_unique<TMain>(nullptr);
  main->SetBounds(0, 0, 1130, 675);
  main->ShowForm();
  Application()->ProcessMessages();
  return main;
}

int PanelLines(TMain& main) {
  TEditors* editors = main.Editors();
  TEditor* panel = editors ? editors->Item(0) : nullptr;
  return panel ? panel->Editor->Lines()->GetCount() : -1;
}

// The real path: the main window opens the set (discovery, the panel, its
// text) and shows it; closing it again is not timed.
void BM_OpenBigFile(benchmark::State& state) {
  const BigSet& set = Set();
  EnsureApplication();
  auto main = ShownMainWindow();
  for (auto _ : state) {
    main->OpenConfig(set.Root);
    Application()->ProcessMessages();
    state.PauseTiming();
    if (PanelLines(*main) < kLines) state.SkipWithError("the panel does not hold every line");
    main->CloseConfig();
    Application()->ProcessMessages();
    malloc_trim(0);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * set.Size));
}
BENCHMARK(BM_OpenBigFile)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same, until the work the first paint left for idle time is done too:
// the fold marks and the partner of the bracket at the caret are known.
void BM_OpenBigFileSettled(benchmark::State& state) {
  const BigSet& set = Set();
  EnsureApplication();
  auto main = ShownMainWindow();
  for (auto _ : state) {
    main->OpenConfig(set.Root);
    TEditors* editors = main->Editors();
    TEditor* panel = editors ? editors->Item(0) : nullptr;
    // Until the work is done and a paint has shown the bracket pair (or a
    // minute has passed).
    const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    do Application()->ProcessMessages();
    while (panel && (panel->Editor->IdleWorkPending() || panel->BracketPartner.Line == 0) &&
           std::chrono::steady_clock::now() < limit);
    state.PauseTiming();
    const char* error = nullptr;
    if (PanelLines(*main) < kLines)
      error = "the panel does not hold every line";
    else if (!panel || panel->BracketPartner.Line != kLines)
      error = "the bracket partner is not shown";
    main->CloseConfig();
    Application()->ProcessMessages();
    malloc_trim(0);
    state.ResumeTiming();
    if (error) {
      state.SkipWithError(error);
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * set.Size));
}
BENCHMARK(BM_OpenBigFileSettled)->Unit(benchmark::kMillisecond)->Iterations(3);

constexpr const char* kMemoryChild = "--memory-child=";

std::size_t ResidentBytes() {
  long pages = 0, resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<std::size_t>(resident) * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

std::size_t PeakResidentBytes() {
  struct rusage u {};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<std::size_t>(u.ru_maxrss) * 1024;
}

// In the fresh process: opens the set in a shown main window and prints the
// memory held after opening and the peak, both beyond what the process held
// before.
int MemoryChild(const std::string& root) {
  EnsureApplication();
  auto main = ShownMainWindow();
  const std::size_t before = ResidentBytes();
  main->OpenConfig(root);
  Application()->ProcessMessages();
  if (PanelLines(*main) < kLines) return 1;
  const std::size_t held = ResidentBytes();
  const std::size_t peak = std::max(PeakResidentBytes(), held);
  std::printf("%zu %zu\n", held - std::min(held, before), peak - std::min(peak, before));
  return 0;
}

// Argument 0: the memory held after opening; 1: the peak while opening.
void BM_BigFileMemory(benchmark::State& state) {
  const BigSet& set = Set();
  const std::string command = "'" + std::filesystem::read_symlink("/proc/self/exe").string() + "' " + kMemoryChild +
                              "'" + set.Root + "'";
  double ratio = 0;
  for (auto _ : state) {
    std::FILE* child = ::popen(command.c_str(), "r");
    unsigned long long held = 0, peak = 0;
    const bool read = child && std::fscanf(child, "%llu %llu", &held, &peak) == 2;
    if (child) ::pclose(child);
    if (!read) {
      state.SkipWithError("the measuring process failed");
      break;
    }
    ratio = static_cast<double>(state.range(0) == 0 ? held : peak) / static_cast<double>(set.Size);
  }
  state.counters["ratio"] = ratio;
}
BENCHMARK(BM_BigFileMemory)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace ond

int main(int argc, char** argv) {
  if (argc == 2 && std::strncmp(argv[1], ond::kMemoryChild, std::strlen(ond::kMemoryChild)) == 0)
    return ond::MemoryChild(argv[1] + std::strlen(ond::kMemoryChild));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
