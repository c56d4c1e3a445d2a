// The full fold scan of a 100,000-line JSON-like text with brace and bracket
// regions and a string skip region (target: 50 MB/s or faster), and collapsing
// plus expanding every top-level object of it. A 530 KB config minified
// onto one line, opened until painted and its folds known, against the
// same text spread over lines (target: at most twice as long).
// Run: build/bench/bench_folding (Release, -DONDREL_BENCH=ON).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "editor/OndEdit.h"

#include "editor/OndEditCodeFolding.h"
#include "editor/OndEditTextBuffer.h"
#include "highlight/OndBuiltinSchemes.h"
#include "highlight/OndGenHighlighter.h"
#include "platform/Forms.h"

namespace {

using namespace ond;

constexpr int kLines = 100'000;

// Objects of 10 lines, nested three deep, with strings holding braces.
std::string JsonLike(std::size_t& Bytes) {
  std::string s;
  s += "[\r\n";
  int lines = 1;
  for (int i = 0; lines + 10 < kLines; ++i) {
    s += "  {\r\n";
    s += "    \"name\": \"item " + std::to_string(i) + " with {braces} and \\\"quotes\\\"\",\r\n";
    s += "    \"values\": [1, 2, 3, 4, 5, 6, 7, 8, 9, 10],\r\n";
    s += "    \"nested\": {\r\n";
    s += "      \"flag\": true, \"ratio\": 0.125, \"label\": \"[not a bracket]\",\r\n";
    s += "      \"list\": [\r\n";
    s += "        {\"a\": 1}, {\"b\": 2}\r\n";
    s += "      ]\r\n";
    s += "    }\r\n";
    s += "  },\r\n";
    lines += 10;
  }
  while (lines < kLines - 1) {
    s += "  \"filler\": 0,\r\n";
    ++lines;
  }
  s += "]";
  Bytes = s.size() - 2 * static_cast<std::size_t>(kLines - 1);
  return s;
}

struct Doc {
  Doc() {
    std::size_t bytes = 0;
    Lines.SetText(JsonLike(bytes));
    Bytes = bytes;
    Regions.Add(frtChar, false, false, false, "{", "}");
    Regions.Add(frtChar, false, false, false, "[", "]");
    Regions.SkipRegions().Add("\"", "\"", srtCloseChar, "\\");
  }
  TOndEditStringList Lines;
  TFoldRegions Regions;
  std::size_t Bytes = 0;
};

void BM_FoldScan(benchmark::State& State) {
  Doc doc;
  TOndEditAllFoldRanges ranges;
  TOndCodeFolder folder(doc.Lines, ranges);
  folder.Regions = &doc.Regions;
  for (auto _ : State) {
    folder.RescanFoldRanges();
    benchmark::DoNotOptimize(ranges.AllCount());
  }
  State.counters["ranges"] = ranges.AllCount();
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * static_cast<std::int64_t>(doc.Bytes));
}
BENCHMARK(BM_FoldScan)->Unit(benchmark::kMillisecond);

void BM_FoldScanCaseSensitive(benchmark::State& State) {
  Doc doc;
  TOndEditAllFoldRanges ranges;
  TOndCodeFolder folder(doc.Lines, ranges);
  folder.Regions = &doc.Regions;
  folder.CaseSensitive = true;
  for (auto _ : State) {
    folder.RescanFoldRanges();
    benchmark::DoNotOptimize(ranges.AllCount());
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * static_cast<std::int64_t>(doc.Bytes));
}
BENCHMARK(BM_FoldScanCaseSensitive)->Unit(benchmark::kMillisecond);

// One collapse and one expand of an object in the middle of the text.
void BM_CollapseExpandOne(benchmark::State& State) {
  Doc doc;
  TOndEditAllFoldRanges ranges;
  TOndCodeFolder folder(doc.Lines, ranges);
  folder.Regions = &doc.Regions;
  folder.RescanFoldRanges();
  TOndEditFoldRange* middle = folder.FoldRangeAtLine(kLines / 2 + 2);
  if (middle == nullptr) middle = folder.FoldRangeAtLine(kLines / 2 + 1);
  for (auto _ : State) {
    folder.CollapseFoldRange(middle);
    folder.ExpandFoldRange(middle);
  }
}
BENCHMARK(BM_CollapseExpandOne)->Unit(benchmark::kMicrosecond);

// Through the editor: the full rescan, and typing next to collapsed folds.
QApplication* App() {
  static int argc = 1;
  static char name[] = "bench_folding";
  static char* argv[] = {name, nullptr};
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QApplication* app = new QApplication(argc, argv);
  return app;
}

std::unique_ptr<TOndEdit> FoldingEditor(std::size_t& Bytes) {
  App();
  auto ed = std::make_unique<TOndEdit>(nullptr);
  ed->SetBounds(0, 0, 800, 600);
  TFoldRegions& r = ed->CodeFolding().FoldRegions();
  r.Add(frtChar, false, false, false, "{", "}");
  r.Add(frtChar, false, false, false, "[", "]");
  r.SkipRegions().Add("\"", "\"", srtCloseChar, "\\");
  ed->CodeFolding().SetEnabled(true);
  ed->Lines()->SetText(JsonLike(Bytes));
  return ed;
}

void BM_EditorRescan(benchmark::State& State) {
  std::size_t bytes = 0;
  auto ed = FoldingEditor(bytes);
  for (auto _ : State) ed->RescanFoldRanges();
  State.counters["ranges"] = ed->AllFoldRanges().AllCount();
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_EditorRescan)->Unit(benchmark::kMillisecond);

void BM_EditorTypingBesideFolds(benchmark::State& State) {
  std::size_t bytes = 0;
  auto ed = FoldingEditor(bytes);
  ed->RescanFoldRanges();
  for (int line = 2; line < 2000; line += 10) ed->ToggleFoldAtLine(line);
  const int at = ed->Lines()->GetCount() / 2;
  for (auto _ : State) {
    ed->SetCaretXY(BufferCoord(3, at));
    ed->CommandProcessor(ecChar, 'x', nullptr);
    ed->CommandProcessor(ecDeleteLastChar, '\0', nullptr);
  }
}
BENCHMARK(BM_EditorTypingBesideFolds)->Unit(benchmark::kMicrosecond);

// Typing and the single-line commands in a 100,000-line text beside about
// 60,000 fold ranges (a few hundred of them collapsed) against the same
// editor and regions over the same text with its brackets turned into other
// characters, so that no range is found: the cost must not grow with the
// number of ranges (target: at most 1.5 times).
void BM_CommandsBesideFolds(benchmark::State& State) {
  std::size_t bytes = 0;
  auto ed = FoldingEditor(bytes);
  if (State.range(0) == 0) {
    std::string text = JsonLike(bytes);
    for (char& c : text) {
      if (c == '{' || c == '[') c = '(';
      if (c == '}' || c == ']') c = ')';
    }
    ed->Lines()->SetText(text);
  }
  ed->RescanFoldRanges();
  for (int line = 2; line < 4000; line += 20) ed->ToggleFoldAtLine(line);
  const int at = ed->Lines()->GetCount() / 2;
  static constexpr TOndEditorCommand kCommands[] = {ecChar, ecLeft,    ecRight,   ecDeleteLastChar, ecDown,
                                                     ecUp,   ecLineEnd, ecLineStart, ecSelRight,    ecSelLeft};
  for (auto _ : State) {
    ed->SetCaretXY(BufferCoord(3, at));
    for (TOndEditorCommand c : kCommands) ed->CommandProcessor(c, 'x', nullptr);
  }
  State.counters["ranges"] = ed->AllFoldRanges().AllCount();
}
BENCHMARK(BM_CommandsBesideFolds)->Arg(0)->Arg(60000)->Unit(benchmark::kMicrosecond);

// 20,000 small objects (about 530 KB) on one line, or one object to a line.
std::string Minified(bool OverLines) {
  std::string s = "{";
  for (int i = 0; i < 20000; ++i) {
    if (OverLines) s += "\r\n";
    char object[64];
    std::snprintf(object, sizeof object, "\"k%05d\":{\"a\":\"{b\",\"c\":%d}%s", i, i % 100, i + 1 < 20000 ? "," : "");
    s += object;
  }
  return s + (OverLines ? "\r\n}" : "}");
}

// Argument 0: the one-line config, 1: over lines. The editor is on the
// screen with the config files' scheme and its folds, as a panel is; the
// text is loaded, its fold scan put off as a panel's is, and the event
// loop runs until it has painted the text and the work left for idle time
// is done (the folds are known, and painted).
void BM_OpenMinified(benchmark::State& State) {
  App();
  const std::string text = Minified(State.range(0) == 1);
  TOndGenHighlighter highlighter;
  if (!LoadBuiltinScheme(highlighter, 0)) return State.SkipWithError("no scheme");
  auto ed = std::make_unique<TOndEdit>(nullptr);
  ed->SetBounds(0, 0, 800, 600);
  ed->SetHighlighter(&highlighter);
  ed->CodeFolding().SetHighlighterFoldRegions(true);
  ed->CodeFolding().SetEnabled(true);
  ed->Show();
  Application()->ProcessMessages();
  int ranges = 0;
  for (auto _ : State) {
    ed->Lines()->LoadFromString(std::string(text));
    ed->RescanFoldRangesLater();
    do Application()->ProcessMessages();
    while (ed->IdleWorkPending());
    ed->Repaint();
    ranges = ed->AllFoldRanges().AllCount();
    State.PauseTiming();
    ed->Lines()->Clear();
    Application()->ProcessMessages();
    State.ResumeTiming();
  }
  if (ranges != 20001) State.SkipWithError("the folds were not all found");
  State.counters["ranges"] = ranges;
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * text.size()));
  ed->SetHighlighter(nullptr);
}
BENCHMARK(BM_OpenMinified)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
