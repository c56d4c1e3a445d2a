// Opening a generated set of 500 files (10 MB) until every panel holds its
// text, against discovery plus decoding alone, and closing it again, timed
// apart; closing a set of 4,000 files scrolled to its top and to its end;
// and a search for a word that occurs once, at the end of the last file,
// across the whole set (the walk over the panels, and the plain engine over
// the lines alone), against a search of the same texts held in memory, and
// against grep -F on the files without grep's process start-up.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Forms.h"
#include "search/OndEditSearch.h"
#include "services/USystem.h"
#include "workspace/Compatibility.h"
#include "workspace/Encodings.h"
#include "workspace/CheckTreeViewEx.h"
#include "workspace/StatusBarEx.h"
#include "workspace/UZuConfigs.h"

namespace ond {
namespace {

struct GeneratedSet {
  std::string folder;
  std::string root;
  GeneratedSet() {
    folder = (std::filesystem::temp_directory_path() / ("ondrel_bench_panels_" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(folder + "/parts");
    std::string rootText = "{\r\n";
    for (int i = 1; i < 500; ++i)
      rootText += "  \"p" + std::to_string(i) + "\": ${\"parts/p" + std::to_string(i) + ".zu\":\"x\"},\r\n";
    rootText += "  \"end\": 0\r\n}\r\n";
    root = folder + "/@quarn.zu";
    std::ofstream(root, std::ios::binary) << rootText;
    for (int i = 1; i < 500; ++i) {
      std::string text = "\xEF\xBB\xBF{\r\n";
      while (text.size() < 20000)
        text += "  \"key" + std::to_string(text.size()) + "\": \"value \xD0\x90\xD0\xB1 text\", // comment\r\n";
      if (i == 499) text += "  \"needle\": \"zebrafinch\"\r\n";
      text += "}\r\n";
      std::ofstream(folder + "/parts/p" + std::to_string(i) + ".zu", std::ios::binary) << text;
    }
  }
  ~GeneratedSet() { std::filesystem::remove_all(folder); }
};

GeneratedSet& Set() {
  static GeneratedSet set;
  return set;
}

// The main window's part a set opens into: the panels' scroll box, the
// stack's scroll bar, the files tree and the status bar; on the screen when
// opening and closing are timed, as the program opens a set into its shown
// window.
struct Host {
  TForm form{nullptr};
  TScrollBox* box;
  TScrollBar* bar;
  TStatusBarEx* status;
  TCheckTreeViewEx* tree;
  explicit Host(bool shown = false) {
    form.SetBounds(0, 0, 1200, 800);
    status = new TStatusBarEx(&form);
    for (int i = 0; i < 6; ++i) status->Panels()->Add();
    status->SetParent(&form);
    tree = new TCheckTreeViewEx(&form);
    tree->SetBounds(1000, 0, 200, 780);
    tree->SetParent(&form);
    bar = new TScrollBar(&form, TScrollBarKind::sbVertical);
    bar->SetParent(&form);
    box = new TScrollBox(&form);
    box->SetBounds(0, 0, 900, 780);
    box->SetParent(&form);
    if (shown) {
      form.Show();
      Application()->ProcessMessages();
    }
  }
  bool Load(TZuConfig& config) {
    return config.LoadConfig(Set().root, box, nullptr, bar, status, tree);
  }
};

void EnsureApplication() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  Application();
}

// Argument: the scheme setting, 0 for the config files' scheme (the
// default), -1 for no highlighting.
void OpenOrCloseSet(benchmark::State& state, bool TimeOpening) {
  EnsureApplication();
  Set();  // written before the clock starts
  Host host(true);
  const int savedScheme = Settings.interface.view.syntax.scheme;
  Settings.interface.view.syntax.scheme = static_cast<int>(state.range(0));
  std::int64_t bytes = 0;
  for (auto _ : state) {
    if (!TimeOpening) state.PauseTiming();
    auto config = std::make_unique<TZuConfig>();
    host.Load(*config);
    benchmark::DoNotOptimize(config->Editors->Count);
    // Closing the set is timed apart from opening it (BM_CloseSet), whose
    // clock is still stopped here.
    if (TimeOpening) state.PauseTiming();
    bytes = 0;
    for (auto& f : config->Information->Files)
      bytes += static_cast<std::int64_t>(std::filesystem::file_size(f->FileName));
    if (!TimeOpening) state.ResumeTiming();
    config.reset();
    // As the program closes a set: its files leave the tree too (else every
    // set would add its nodes to the last one's, and each open would slow).
    host.tree->Items()->Clear();
    if (!TimeOpening) state.PauseTiming();
    // The program's event loop runs between two sets: what the last one left
    // queued does not pile up into the next.
    Application()->ProcessMessages();
    state.ResumeTiming();
  }
  Settings.interface.view.syntax.scheme = savedScheme;
  state.SetBytesProcessed(bytes * state.iterations());
}

void BM_OpenSet(benchmark::State& state) { OpenOrCloseSet(state, true); }
void BM_CloseSet(benchmark::State& state) { OpenOrCloseSet(state, false); }
BENCHMARK(BM_OpenSet)->Arg(0)->Arg(-1)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_CloseSet)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(10);

// A set of 4,000 small files.
struct BigSet {
  std::string folder;
  std::string root;
  BigSet() {
    folder = (std::filesystem::temp_directory_path() / ("ondrel_bench_bigset_" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(folder + "/parts");
    std::string rootText = "{\r\n";
    for (int i = 1; i < 4000; ++i)
      rootText += "  \"p" + std::to_string(i) + "\": ${\"parts/p" + std::to_string(i) + ".zu\":\"x\"},\r\n";
    rootText += "  \"end\": 0\r\n}\r\n";
    root = folder + "/@quarn.zu";
    std::ofstream(root, std::ios::binary) << rootText;
    std::string text = "{\r\n";
    for (int k = 0; k < 20; ++k) text += "  \"key" + std::to_string(k) + "\": \"value text\", // comment\r\n";
    text += "}\r\n";
    for (int i = 1; i < 4000; ++i)
      std::ofstream(folder + "/parts/p" + std::to_string(i) + ".zu", std::ios::binary) << text;
  }
  ~BigSet() { std::filesystem::remove_all(folder); }
};

// Opening the 4,000-file set as the program does (the stack shown and
// painted), or closing it as the program does (the stack hidden, then the set
// let go) with the stack scrolled to its top (argument 0) or to its end (1)
// before; each is timed apart from the other.
void OpenOrCloseBigSet(benchmark::State& state, bool timeOpening) {
  EnsureApplication();
  static BigSet set;
  Host host(true);
  for (auto _ : state) {
    if (!timeOpening) state.PauseTiming();
    auto config = std::make_unique<TZuConfig>();
    config->LoadConfig(set.root, host.box, nullptr, host.bar, host.status, host.tree);
    config->Editors->Show();
    Application()->ProcessMessages();
    if (timeOpening) state.PauseTiming();
    if (state.range(0) == 1) {
      // As the stack's scroll bar moves it to its end.
      TStackLayout layout = config->Editors->Layout();
      layout.ScrollTo(layout.Max);
      config->Editors->ApplyLayout(layout);
      Application()->ProcessMessages();
    }
    if (!timeOpening) state.ResumeTiming();
    config->Editors->Hide();
    config.reset();
    Application()->ProcessMessages();
    if (timeOpening) state.ResumeTiming();
  }
}

void BM_OpenBigSet(benchmark::State& state) { OpenOrCloseBigSet(state, true); }
void BM_CloseBigSet(benchmark::State& state) { OpenOrCloseBigSet(state, false); }
BENCHMARK(BM_OpenBigSet)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CloseBigSet)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DiscoveryAndDecodingAlone(benchmark::State& state) {
  Set();
  std::int64_t bytes = 0;
  for (auto _ : state) {
    TZuConfigInformation info(Set().root, true);
    info.LoadInformation();
    bytes = 0;
    for (auto& f : info.Files) {
      const std::string raw = ReadFileText(f->FileName);
      bytes += static_cast<std::int64_t>(raw.size());
      benchmark::DoNotOptimize(DecodeText(raw, TEncoding::UTF8()));
    }
  }
  state.SetBytesProcessed(bytes * state.iterations());
}
BENCHMARK(BM_DiscoveryAndDecodingAlone)->Unit(benchmark::kMillisecond)->Iterations(10);

std::int64_t SetBytes(const TZuConfig& config) {
  std::int64_t bytes = 0;
  for (auto& f : config.Information->Files) bytes += static_cast<std::int64_t>(std::filesystem::file_size(f->FileName));
  return bytes;
}

// The whole walk as "find down" runs it: from the first visible panel (none
// active) through every panel until the match in the last one, which is then
// selected and activated. The window is not on the screen: painting the
// found panel is not part of the walk. Matching case, as the in-memory peer
// does; the caseless walk (the setting's default) is timed beside it.
void SearchAcrossPanels(benchmark::State& state, bool caseSensitive) {
  EnsureApplication();
  Host host;
  TZuConfig config;
  host.Load(config);
  const std::int64_t bytes = SetBytes(config);
  const auto saved = Settings.search;
  Settings.search.find.text = "zebrafinch";
  Settings.search.options = {};
  Settings.search.options.casesensitive = caseSensitive;
  Settings.search.options.inallconfig = true;
  for (auto _ : state) {
    state.PauseTiming();
    if (TEditor* active = config.Editors->Active()) active->SetActive(false);
    state.ResumeTiming();
    if (config.SearchInConfig(false, false) != 1 || config.Editors->ActiveIndex != config.Editors->Count - 1)
      state.SkipWithError("the word was not found in the last panel");
  }
  Settings.search = saved;
  state.SetBytesProcessed(bytes * state.iterations());
}
void BM_SearchAcrossPanels(benchmark::State& state) { SearchAcrossPanels(state, true); }
BENCHMARK(BM_SearchAcrossPanels)->Unit(benchmark::kMillisecond);
void BM_SearchAcrossPanelsCaseless(benchmark::State& state) { SearchAcrossPanels(state, false); }
BENCHMARK(BM_SearchAcrossPanelsCaseless)->Unit(benchmark::kMillisecond);

// The plain engine alone over every panel's lines.
void BM_SearchEngineOverLines(benchmark::State& state) {
  EnsureApplication();
  Host host;
  TZuConfig config;
  host.Load(config);
  const std::int64_t bytes = SetBytes(config);
  for (auto _ : state) {
    int found = 0;
    for (auto& e : config.Editors->Items) {
      if (!e || !e->Shown) continue;
      TOndEditSearch* engine = e->SearchEngine.get();
      engine->SetOptions(0);
      engine->SetPattern("zebrafinch");
      TOndEditStringList* lines = e->Editor->Lines();
      for (int i = 0; i < lines->GetCount(); ++i) found += engine->FindAll(lines->GetView(i));
    }
    if (found != 1) state.SkipWithError("the word was not found once");
  }
  state.SetBytesProcessed(bytes * state.iterations());
}
BENCHMARK(BM_SearchEngineOverLines)->Unit(benchmark::kMillisecond);

// The same texts searched in memory for the word: each file read and
// decoded as the panels hold it before the clock starts, then one library
// scan per text, every occurrence counted.
void BM_InMemorySearch(benchmark::State& state) {
  Set();
  TZuConfigInformation info(Set().root, true);
  info.LoadInformation();
  std::vector<std::string> texts;
  std::int64_t bytes = 0;
  for (auto& f : info.Files) {
    const std::string raw = ReadFileText(f->FileName);
    bytes += static_cast<std::int64_t>(raw.size());
    texts.push_back(DecodeText(raw, TEncoding::UTF8()));
  }
  const std::string_view word = "zebrafinch";
  for (auto _ : state) {
    int found = 0;
    for (const std::string& t : texts) {
      const char* at = t.data();
      const char* const end = t.data() + t.size();
      while (const void* hit = memmem(at, static_cast<std::size_t>(end - at), word.data(), word.size())) {
        ++found;
        at = static_cast<const char*>(hit) + word.size();
      }
    }
    if (found != 1) state.SkipWithError("the word was not found once");
  }
  state.SetBytesProcessed(bytes * state.iterations());
}
BENCHMARK(BM_InMemorySearch)->Unit(benchmark::kMillisecond);

void BM_GrepF(benchmark::State& state) {
  const std::string cmd = "grep -r -F -c zebrafinch '" + Set().folder + "' >/dev/null";
  std::int64_t bytes = 0;
  for (auto& entry : std::filesystem::recursive_directory_iterator(Set().folder))
    if (entry.is_regular_file()) bytes += static_cast<std::int64_t>(entry.file_size());
  // grep's own start-up, timed on an empty folder, is taken off each pass:
  // the search across panels starts no process either.
  char emptyFolder[] = "/tmp/ondrel-bench-XXXXXX";
  if (mkdtemp(emptyFolder) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string startOnly = "grep -r -F -c zebrafinch '" + std::string(emptyFolder) + "' >/dev/null";
  auto seconds = [&state](const std::string& command) {
    const auto t0 = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) < 0) state.SkipWithError("grep did not run");
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  };
  for (auto _ : state) {
    const double all = seconds(cmd);
    state.SetIterationTime(std::max(all - seconds(startOnly), 1e-9));
  }
  std::filesystem::remove(emptyFolder);
  state.SetBytesProcessed(bytes * state.iterations());
}
BENCHMARK(BM_GrepF)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ond

namespace ond {
namespace {
// The share of building 500 empty panels in opening the set.
void BM_EmptyPanelsOnly(benchmark::State& state) {
  EnsureApplication();
  Host host(true);
  for (auto _ : state) {
    TEditors editors(nullptr, nullptr, host.bar, host.status, host.tree, host.box);
    for (int i = 0; i < 500; ++i) editors.AddEditor(i, "p.zu", true);
    benchmark::DoNotOptimize(editors.Count);
  }
}
BENCHMARK(BM_EmptyPanelsOnly)->Unit(benchmark::kMillisecond)->Iterations(3);
}  // namespace
}  // namespace ond

