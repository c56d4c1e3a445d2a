// Word wrap of a 100,000-line text at width 80, then the cost of one edit (a
// changed line, a line break) with the wrap tables kept in step, beside the
// same edit without word wrap (target: at most 1.5 times that cost).
// Run: build/bench/bench_wordwrap (Release, -DONDREL_BENCH=ON).
#include <benchmark/benchmark.h>

#include <string>

#include "editor/OndEditTextBuffer.h"
#include "editor/OndEditWordWrap.h"

namespace {

using namespace ond;

constexpr int kLines = 100'000;

class Owner : public IOndWordWrapOwner {
 public:
  Owner() {
    Ident.IncludeRange(33, 255);
    std::string text;
    const std::string words = "alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi omicron ";
    unsigned seed = 1;
    for (int i = 0; i < kLines; ++i) {
      seed = seed * 1103515245u + 12345u;
      const std::size_t len = (seed >> 16) % 200;
      std::string line;
      if (i % 7 == 0) line += "\t";
      while (line.size() < len) line += words.substr((seed >> 8) % 40, 20);
      text += line;
      text += "\r\n";
    }
    Lines.SetText(text);
  }
  TOndEditStringList& WrapLines() override { return Lines; }
  std::int32_t WrapWidth() override { return 80; }
  TSysCharSet WrapIdentChars() override { return Ident; }
  TOndEditStringList Lines;
  TSysCharSet Ident;
};

void BM_WrapAll(benchmark::State& State) {
  Owner owner;
  for (auto _ : State) {
    TOndWordWrapPlugin wrap(&owner);
    benchmark::DoNotOptimize(wrap.RowCount());
  }
}
BENCHMARK(BM_WrapAll)->Unit(benchmark::kMillisecond);

// Typing: a line in the middle changes (its row count flips between edits).
void Typing(benchmark::State& State, bool Wrapped) {
  Owner owner;
  TOndWordWrapPlugin wrap(&owner);
  const int at = kLines / 2;
  const std::string a = owner.Lines.Get(at) + " typed";
  const std::string b = std::string(170, 'w');
  bool flip = false;
  for (auto _ : State) {
    owner.Lines.Put(at, flip ? a : b);
    if (Wrapped) wrap.LinesChanged(at, 1);
    flip = !flip;
  }
}
void BM_EditLine_NoWrap(benchmark::State& State) { Typing(State, false); }
void BM_EditLine_Wrap(benchmark::State& State) { Typing(State, true); }
BENCHMARK(BM_EditLine_NoWrap);
BENCHMARK(BM_EditLine_Wrap);

// A line break in the middle: one line inserted, then removed again.
void LineBreak(benchmark::State& State, bool Wrapped) {
  Owner owner;
  TOndWordWrapPlugin wrap(&owner);
  const int at = kLines / 2;
  const std::string text(120, 'n');
  for (auto _ : State) {
    owner.Lines.Insert(at, text);
    if (Wrapped) wrap.LinesInserted(at, 1);
    owner.Lines.Delete(at);
    if (Wrapped) wrap.LinesDeleted(at, 1);
  }
}
void BM_LineBreak_NoWrap(benchmark::State& State) { LineBreak(State, false); }
void BM_LineBreak_Wrap(benchmark::State& State) { LineBreak(State, true); }
BENCHMARK(BM_LineBreak_NoWrap)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LineBreak_Wrap)->Unit(benchmark::kMicrosecond);

}  // namespace
