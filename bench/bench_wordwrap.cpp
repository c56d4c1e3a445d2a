// Word wrap of a 100,000-line text at width 80, then the cost of one edit (a
// changed line, a line break) with the wrap tables kept in step, beside the
// same edit without word wrap (target: at most 1.5 times that cost).
// Run: build/bench/bench_wordwrap (Release, -DONDREL_BENCH=ON).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <memory>
#include <string>

#include "editor/OndEdit.h"

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

// Typing: a line in the middle changes to one of two texts of three rows
// each, so that its row count stays (as for most keys typed).
void Typing(benchmark::State& State, bool Wrapped) {
  Owner owner;
  TOndWordWrapPlugin wrap(&owner);
  benchmark::DoNotOptimize(wrap.RowCount());  // the layout is made when first asked
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
  benchmark::DoNotOptimize(wrap.RowCount());  // the layout is made when first asked
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

// The same through the editor: typing a character in the middle of the
// 100,000 lines and taking it back, with and without word wrap at 80, the
// editor on the screen and each keystroke painted as the window does.
QApplication* App() {
  static int argc = 1;
  static char name[] = "bench_wordwrap";
  static char* argv[] = {name, nullptr};
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QApplication* app = new QApplication(argc, argv);
  return app;
}

void EditorTyping(benchmark::State& State, bool Wrapped) {
  App();
  Owner owner;
  auto ed = std::make_unique<TOndEdit>(nullptr);
  ed->SetBounds(0, 0, 800, 600);
  ed->Lines()->SetText(owner.Lines.GetText());
  ed->WordWrap().SetStyle(wwsSpecified);
  ed->WordWrap().SetPosition(80);
  ed->WordWrap().SetEnabled(Wrapped);
  ed->Show();
  const int at = kLines / 2;
  ed->SetCaretXY(BufferCoord(3, at));
  ed->MakeCaretVisible();
  QApplication::processEvents();
  for (auto _ : State) {
    ed->SetCaretXY(BufferCoord(3, at));
    ed->CommandProcessor(ecChar, 'x', nullptr);
    QApplication::processEvents();
    ed->CommandProcessor(ecDeleteLastChar, '\0', nullptr);
    QApplication::processEvents();
  }
}
void BM_EditorTyping_NoWrap(benchmark::State& State) { EditorTyping(State, false); }
void BM_EditorTyping_Wrap(benchmark::State& State) { EditorTyping(State, true); }
BENCHMARK(BM_EditorTyping_NoWrap)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EditorTyping_Wrap)->Unit(benchmark::kMicrosecond);

void BM_EditorWrapOn(benchmark::State& State) {
  App();
  Owner owner;
  auto ed = std::make_unique<TOndEdit>(nullptr);
  ed->SetBounds(0, 0, 800, 600);
  ed->Lines()->SetText(owner.Lines.GetText());
  ed->WordWrap().SetStyle(wwsSpecified);
  ed->WordWrap().SetPosition(80);
  for (auto _ : State) {
    ed->WordWrap().SetEnabled(true);
    ed->WordWrap().SetEnabled(false);
  }
}
BENCHMARK(BM_EditorWrapOn)->Unit(benchmark::kMillisecond);

// Loading a 10 MB text into an editor.
void BM_EditorLoad10MB(benchmark::State& State) {
  App();
  std::string text;
  while (text.size() < 10'000'000) text += "    \"key\": [1, 2, 3], \"value\": \"a line of the config\",\r\n";
  auto ed = std::make_unique<TOndEdit>(nullptr);
  ed->SetBounds(0, 0, 800, 600);
  ed->Gutter().SetShowLineNumbers(true);
  ed->Gutter().SetAutoSize(true);
  for (auto _ : State) ed->Lines()->SetText(text);
}
BENCHMARK(BM_EditorLoad10MB)->Unit(benchmark::kMillisecond);

}  // namespace
