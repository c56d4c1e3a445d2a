// Full repaint of a 120 x 60 character editor view, offscreen: at the top of
// a short text and scrolled to line 1,000,000 of a 2,000,000-line buffer.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "editor/OndEdit.h"
#include "platform/Forms.h"

namespace {

ond::TApplication* App() {
  static int argc = 1;
  static char name[] = "bench_paint";
  static char* argv[] = {name, nullptr};
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static ond::TApplication* app = new ond::TApplication(argc, argv);
  return app;
}

std::unique_ptr<ond::TOndEdit> MakeView(int lines, int topLine) {
  App();
  auto ed = std::make_unique<ond::TOndEdit>(nullptr);
  std::string text;
  text.reserve(static_cast<std::size_t>(lines) * 64);
  for (int i = 0; i < lines; ++i) {
    // Every line as long as every other, so both views paint the same amount.
    char number[16];
    std::snprintf(number, sizeof number, "%07d", i);
    text += "    value_";
    text += number;
    text += " = \"some plain text of a config line\"; // comment\n";
  }
  ed->Lines()->SetText(text);
  // 120 x 60 cells of the measured font, plus the gutter.
  ed->SetBounds(0, 0, ed->GetGutterWidth() + 2 + 120 * ed->GetCharWidth(), 60 * ed->GetLineHeight());
  ed->SetTopLine(topLine);
  return ed;
}

void Repaint(benchmark::State& state, int lines, int topLine) {
  auto ed = MakeView(lines, topLine);
  ond::TBitmap target;
  ed->PaintTo(target);  // warm the font caches
  for (auto _ : state) {
    ed->PaintTo(target);
    benchmark::ClobberMemory();
  }
  state.counters["cols"] = ed->GetCharsInWindow();
  state.counters["rows"] = ed->GetLinesInWindow();
  state.counters["top"] = ed->GetTopLine();
}

void BM_PaintShortText(benchmark::State& state) { Repaint(state, 200, 1); }
void BM_PaintLine1000000Of2000000(benchmark::State& state) { Repaint(state, 2000000, 1000000); }

}  // namespace

BENCHMARK(BM_PaintShortText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintLine1000000Of2000000)->Unit(benchmark::kMillisecond);
