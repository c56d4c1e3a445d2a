// Discovery of a generated config set of 2,000 files (about 20 KB each,
// 3 to 5 references, some of them back up the tree, making cycles), beside
// plainly reading the same files (the floor) and reading plus decoding them
// from UTF-8 and keeping the texts, which discovery must do too (the panels
// take its texts). Then names spelled unlike the disk:
// 4,000 of them in one folder of 5,000 files, resolved by discovery (target:
// well under a second) and by the resolver with and without its folder
// listings, beside plainly looking up the names as spelled on disk (the floor).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"
#include "workspace/Compatibility.h"
#include "workspace/Encodings.h"
#include "workspace/UAnsiZuParser.h"
#include "workspace/UZuConfigInformation.h"

namespace {

constexpr int kFiles = 2000;

std::string RelName(int i) { return "part" + std::to_string(i / 100) + "/file" + std::to_string(i) + ".zu"; }

// A temporary folder that goes with its contents when the object does.
struct BenchFolder {
  std::string Folder;
  BenchFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "ondrel-bench-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) std::abort();
    Folder = tmpl;
  }
  ~BenchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(Folder, ec);
  }
  BenchFolder(const BenchFolder&) = delete;
  BenchFolder& operator=(const BenchFolder&) = delete;
};

struct GeneratedSet : BenchFolder {
  std::vector<std::string> Paths;

  GeneratedSet() {
    std::mt19937 rng(7);
    // Config-like lines: mostly ASCII keys and values, a Russian comment
    // ("Цвет полосы здоровья союзника.") now and then.
    const std::string filler =
        "    \"showTotalHp\": true,\r\n"
        "    \"format\": \"<font face='$FieldFont' size='13' color='#F4EFE8'>{{hp}} / {{hp-max}}</font>\",\r\n"
        "    // \xD0\xA6\xD0\xB2\xD0\xB5\xD1\x82 \xD0\xBF\xD0\xBE\xD0\xBB\xD0\xBE\xD1\x81\xD1\x8B "
        "\xD0\xB7\xD0\xB4\xD0\xBE\xD1\x80\xD0\xBE\xD0\xB2\xD1\x8C\xD1\x8F "
        "\xD1\x81\xD0\xBE\xD1\x8E\xD0\xB7\xD0\xBD\xD0\xB8\xD0\xBA\xD0\xB0.\r\n"
        "    \"x\": 12, \"y\": -4, \"alpha\": 100, \"color\": \"0x96FF00\",\r\n";
    for (int i = 0; i < kFiles; ++i) {
      // Two children keep every file reachable; one to three more go to
      // random files, earlier ones among them, so cycles and shared files occur.
      std::vector<int> refs;
      for (int c : {2 * i + 1, 2 * i + 2})
        if (c < kFiles) refs.push_back(c);
      const int extra = 3 + static_cast<int>(rng() % 3) - static_cast<int>(refs.size());
      for (int k = 0; k < std::max(extra, 1); ++k) refs.push_back(static_cast<int>(rng() % kFiles));
      std::string text = "{\r\n  // generated file " + std::to_string(i) + "\r\n  \"configVersion\": \"1.0.0\",\r\n";
      const std::string folderUp = "../";
      std::size_t next = 0;
      while (text.size() < 20 * 1024) {
        text += filler;
        if (next < refs.size() && text.size() > (next + 1) * 4000) {
          const std::string target = folderUp + RelName(refs[next]);
          if (next % 2 == 0)
            text += "    \"r" + std::to_string(next) + "\": ${\"" + target + "\":\"def.x\"},\r\n";
          else
            text += "    \"o" + std::to_string(next) + "\": {\r\n      \"$ref\": { \"file\": \"" + target +
                    "\", \"path\": \"def\" }\r\n    },\r\n";
          ++next;
        }
      }
      text += "  \"end\": true\r\n}\r\n";
      const std::string path = Folder + "/" + RelName(i);
      std::filesystem::create_directories(std::filesystem::path(path).parent_path());
      ond::WriteFileText(path, text);
      Paths.push_back(path);
    }
  }
};

const GeneratedSet& Set() {
  static const GeneratedSet set;
  return set;
}

void BM_PlainRead(benchmark::State& state) {
  const GeneratedSet& s = Set();
  for (auto _ : state) {
    std::size_t bytes = 0;
    for (const std::string& p : s.Paths) bytes += ond::ReadFileText(p).size();
    benchmark::DoNotOptimize(bytes);
  }
}

// Discovery keeps every decoded text until the panels take it; so does its
// floor, until the pass ends.
void BM_ReadAndDecode(benchmark::State& state) {
  const GeneratedSet& s = Set();
  for (auto _ : state) {
    std::vector<std::string> texts;
    texts.reserve(s.Paths.size());
    for (const std::string& p : s.Paths) texts.push_back(ond::LoadTextFile(p, ond::TEncoding::UTF8()));
    benchmark::DoNotOptimize(texts.data());
  }
}

// The scanner alone, over the decoded texts.
void BM_ScanOnly(benchmark::State& state) {
  const GeneratedSet& s = Set();
  std::vector<std::string> texts;
  for (const std::string& p : s.Paths) texts.push_back(ond::LoadTextFile(p, ond::TEncoding::UTF8()));
  for (auto _ : state) {
    std::size_t n = 0;
    for (const std::string& t : texts) n += ond::ScanReferences(t).size();
    benchmark::DoNotOptimize(n);
  }
}

void BM_Discovery(benchmark::State& state) {
  const GeneratedSet& s = Set();
  for (auto _ : state) {
    ond::TZuConfigInformation c(s.Paths[0], true);
    if (!c.LoadInformation() || c.Count != kFiles) state.SkipWithError("discovery did not list every file");
    benchmark::DoNotOptimize(c.Count);
  }
}

constexpr int kFolderFiles = 5000;
constexpr int kMisspelled = 4000;

std::string FlatName(int i) { return "file" + std::to_string(i) + ".zu"; }

// One folder of 5,000 files and a root referencing 4,000 of them in upper case.
struct FlatFolder : BenchFolder {
  std::string Root;

  FlatFolder() {
    for (int i = 0; i < kFolderFiles; ++i) ond::WriteFileText(Folder + "/" + FlatName(i), "{}");
    std::string text = "[\r\n";
    for (int i = 0; i < kMisspelled; ++i) text += "  ${\"" + ond::AsciiUpperCase(FlatName(i)) + "\":\"x\"},\r\n";
    Root = Folder + "/@root.zu";
    ond::WriteFileText(Root, text + "]\r\n");
  }
};

const FlatFolder& Flat() {
  static const FlatFolder flat;
  return flat;
}

void BM_DiscoveryMisspelledNames(benchmark::State& state) {
  const FlatFolder& f = Flat();
  for (auto _ : state) {
    ond::TZuConfigInformation c(f.Root, true);
    if (!c.LoadInformation() || c.ExistingCount() != kMisspelled + 1)
      state.SkipWithError("discovery did not find every file");
    benchmark::DoNotOptimize(c.Count);
  }
  state.counters["target_ms"] = 1000;
  state.SetItemsProcessed(state.iterations() * kMisspelled);
}

// The floor: every name looked up as spelled on disk.
void BM_ExactNamesFloor(benchmark::State& state) {
  const FlatFolder& f = Flat();
  for (auto _ : state) {
    int found = 0;
    for (int i = 0; i < kMisspelled; ++i) found += ond::FileExistsEx(f.Folder + "/" + FlatName(i));
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * kMisspelled);
}

// The resolver with one set of listings for the whole pass, and (on a tenth of
// the names) with none, reading the folder again for every name.
void BM_ResolveMisspelled(benchmark::State& state) {
  const FlatFolder& f = Flat();
  const bool shared = state.range(0) != 0;
  const int names = shared ? kMisspelled : kMisspelled / 10;
  for (auto _ : state) {
    ond::TFolderListings listings;
    std::size_t n = 0;
    for (int i = 0; i < names; ++i)
      n += ond::ResolveFileCase(f.Folder + "/" + ond::AsciiUpperCase(FlatName(i)), shared ? &listings : nullptr).size();
    benchmark::DoNotOptimize(n);
  }
  state.SetItemsProcessed(state.iterations() * names);
}

}  // namespace

BENCHMARK(BM_DiscoveryMisspelledNames)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExactNamesFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResolveMisspelled)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAndDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Discovery)->Unit(benchmark::kMillisecond);
