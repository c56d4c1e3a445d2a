// Typing 10,000 characters in the middle of a buffer and undoing them all:
// in a 1,000,000-line buffer against a 10-line one. The cost per keystroke
// should not depend on the size of the text. The editor is on the screen
// and every keystroke is painted before the next, as the window does.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <memory>
#include <string>

#include "editor/OndEdit.h"

namespace {

QApplication* App() {
  static int argc = 1;
  static char name[] = "bench_typing";
  static char* argv[] = {name, nullptr};
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QApplication* app = new QApplication(argc, argv);
  return app;
}

// Typing Keys characters in the middle of Lines lines and undoing them,
// with word wrap at 80 columns or without.
void TypeAndUndoIn(benchmark::State& state, int Keys, bool Wrapped) {
  App();
  const int lines = static_cast<int>(state.range(0));
  auto ed = std::make_unique<ond::TOndEdit>(nullptr);
  ed->SetBounds(0, 0, 800, 600);
  ed->SetMaxUndo(20000);
  ed->Show();
  std::string text;
  text.reserve(static_cast<std::size_t>(lines) * 40);
  for (int i = 0; i < lines; ++i) text += "    \"key\": \"value of the line\",\n";
  ed->Lines()->SetText(text);
  if (Wrapped) {
    ed->WordWrap().SetStyle(ond::wwsSpecified);
    ed->WordWrap().SetPosition(80);
    ed->WordWrap().SetEnabled(true);
  }
  const std::string original = ed->Lines()->Get(lines / 2);
  const int kKeys = Keys;
  ed->SetCaretXY(ond::BufferCoord(5, lines / 2 + 1));
  QApplication::processEvents();
  for (auto _ : state) {
    ed->SetCaretXY(ond::BufferCoord(5, lines / 2 + 1));
    for (int i = 0; i < kKeys; ++i) {
      ed->CommandProcessor(ond::ecChar, static_cast<char>('a' + i % 26), nullptr);
      QApplication::processEvents();
    }
    while (ed->UndoList()->HasRecords()) {
      ed->Undo();
      QApplication::processEvents();
    }
  }
  if (ed->Lines()->Get(lines / 2) != original) state.SkipWithError("undo did not restore the line");
  state.SetItemsProcessed(state.iterations() * kKeys);
  state.counters["ns_per_key"] =
      benchmark::Counter(static_cast<double>(kKeys), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

void TypeAndUndo(benchmark::State& state) { TypeAndUndoIn(state, 10000, false); }
// With and without word wrap (target: at most 1.5 times the cost without):
// 1,000 keys, so that without wrap the caret stays below the widest column
// it may reach and both sides type the same text at the same places.
void TypeWrapped(benchmark::State& state) { TypeAndUndoIn(state, 1000, true); }
void TypeUnwrapped(benchmark::State& state) { TypeAndUndoIn(state, 1000, false); }

}  // namespace

BENCHMARK(TypeAndUndo)->Arg(10)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(TypeWrapped)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(TypeUnwrapped)->Arg(1000000)->Unit(benchmark::kMillisecond);
