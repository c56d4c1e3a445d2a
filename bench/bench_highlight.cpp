// The rule-driven highlighter over 20 MB of script text (the Python library
// the system installed) and of config text (the sample config set), against
// the floor of one table look-up per byte over the same lines; the target is
// a full scan of at least 50 MB/s. Then the rescan of range states after one
// keystroke in the middle of a 100,000-line file in an editor: it must stop
// at the first line whose end state did not change (target under 1 ms).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "editor/OndEdit.h"
#include "highlight/OndGenHighlighter.h"
#include "tests/highlight/HighlightTestRules.h"

namespace {

namespace fs = std::filesystem;
constexpr std::size_t kTextBytes = 20u << 20;
constexpr double kTargetMBps = 50.0;

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Files with the extension under Folder, repeated until Bytes are reached,
// split into lines.
std::vector<std::string> TextOf(const std::string& Folder, const std::string& Ext, std::size_t Bytes) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(Folder, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (it->is_regular_file(ec) && it->path().extension() == Ext) files.push_back(it->path());
  std::sort(files.begin(), files.end());
  std::vector<std::string> lines;
  std::size_t total = 0;
  while (total < Bytes && !files.empty()) {
    for (const fs::path& f : files) {
      std::istringstream in(ReadAll(f));
      std::string line;
      while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        total += line.size() + 1;
        lines.push_back(std::move(line));
      }
      if (total >= Bytes) break;
    }
  }
  return lines;
}

const std::vector<std::string>& ScriptText() {
  static const std::vector<std::string> text = TextOf("/usr/lib/python3.11", ".py", kTextBytes);
  return text;
}

const std::vector<std::string>& ConfigText() {
  static const std::vector<std::string> text =
      TextOf(std::string(ONDREL_SOURCE_DIR) + "/samples", ".zu", kTextBytes);
  return text;
}

std::size_t BytesOf(const std::vector<std::string>& Lines) {
  std::size_t n = 0;
  for (const std::string& l : Lines) n += l.size();
  return n;
}

void Report(benchmark::State& state, std::size_t bytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.counters["MB_per_s"] = benchmark::Counter(static_cast<double>(bytes) / 1e6,
                                                  benchmark::Counter::kIsIterationInvariantRate);
  state.counters["target_MB_per_s"] = kTargetMBps;
}

void FullScan(benchmark::State& state, const std::vector<std::string>& Lines, void (*Build)(ond::TOndGenHighlighter&)) {
  if (Lines.empty()) {
    state.SkipWithError("no text");
    return;
  }
  ond::TOndGenHighlighter h;
  Build(h);
  h.Reset();
  std::int64_t tokens = 0;
  for (auto _ : state) {
    h.ResetRange();
    for (std::size_t i = 0; i < Lines.size(); ++i) {
      h.SetLine(Lines[i], static_cast<int>(i));
      while (!h.GetEol()) {
        benchmark::DoNotOptimize(h.GetTokenAttribute());
        ++tokens;
        h.Next();
      }
    }
    benchmark::DoNotOptimize(h.GetRange());
  }
  Report(state, BytesOf(Lines));
  state.counters["tokens_per_s"] = benchmark::Counter(static_cast<double>(tokens), benchmark::Counter::kIsRate);
}

// The floor: one table look-up per byte of the same lines.
void Floor(benchmark::State& state, const std::vector<std::string>& Lines) {
  std::array<unsigned char, 256> table{};
  for (char c : std::string_view(" \t!\"#$%&'()*+,-./:;<=>?@[\\]^`{|}~")) table[static_cast<unsigned char>(c)] = 1;
  for (auto _ : state) {
    unsigned n = 0;
    for (const std::string& l : Lines)
      for (char c : l) n += table[static_cast<unsigned char>(c)];
    benchmark::DoNotOptimize(n);
  }
  Report(state, BytesOf(Lines));
}

void BM_FullScanScript(benchmark::State& s) { FullScan(s, ScriptText(), ond::test::BuildScriptRules); }
void BM_FullScanConfig(benchmark::State& s) { FullScan(s, ConfigText(), ond::test::BuildJsonRules); }
void BM_FloorScript(benchmark::State& s) { Floor(s, ScriptText()); }
void BM_FloorConfig(benchmark::State& s) { Floor(s, ConfigText()); }

}  // namespace

BENCHMARK(BM_FullScanScript)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloorScript)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullScanConfig)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloorConfig)->Unit(benchmark::kMillisecond);
