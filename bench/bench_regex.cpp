// Searching 20 MB of mixed Latin/Cyrillic config-like text line by line, as
// the editor does (every match of every line), with TRegex, PCRE2 (without
// and with its JIT) and std::regex. PCRE2 is loaded at run time through its
// basic API; its benchmarks are skipped when the library is missing. The
// RatioToPcre2 rows print TRegex time over PCRE2 time without its JIT, the
// RatioToPcre2Jit rows over PCRE2 with it, each beside its target; the same
// rows cover two expressions over lines of a megabyte.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstddef>
#include <ctime>
#include <cstdint>
#include <random>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/CodePage.h"
#include "search/OndRegex.h"

namespace {

struct Pattern {
  const char* name;
  const char* regex;    // TRegex and PCRE2 syntax
  const char* ecma;     // std::regex syntax
  bool caseless;
};

const Pattern kPatterns[] = {
    {"literal", "texture", "texture", false},
    {"caseless_literal", "(?i)texture", "texture", true},
    {"class_run", "[0-9]+", "[0-9]+", false},
    {"word_alternation", "alpha|bravo|charlie|delta", "alpha|bravo|charlie|delta", false},
    {"anchored_line", "^\\s*\"\\w+\":", "^\\s*\"\\w+\":", false},
    {"back_reference", "(\\w)\\1", "(\\w)\\1", false},
    {"doubled_word", "(\\w+)\\s+\\1", "(\\w+)\\s+\\1", false},
};

const std::vector<std::string_view>& Lines() {
  static std::string text;
  static std::vector<std::string_view> lines;
  if (lines.empty()) {
    const char* latin[] = {"texture", "alpha", "model", "Texture", "size", "bravo", "value", "charlie", "name",
                           "delta", "offset", "speed", "color", "weight", "range", "sound"};
    const char* cyrillic[] = {"привет", "мир", "значение", "Ёлка", "текстура", "скорость", "Оружие", "броня",
                              "щит", "ключ"};
    std::vector<std::string> cyr;
    for (const char* w : cyrillic) cyr.push_back(ond::Utf8ToAnsi(w));
    std::mt19937 rng(2024);
    while (text.size() < 20u * 1024 * 1024) {
      std::string line(static_cast<std::size_t>(rng() % 4) * 2, ' ');
      line += "\"";
      line += latin[rng() % 16];
      line += '_';
      line += std::to_string(rng() % 1000);
      line += "\": \"";
      const int words = 1 + static_cast<int>(rng() % 6);
      for (int w = 0; w < words; ++w) {
        if (w > 0) line += ' ';
        line += (rng() % 2) ? cyr[rng() % cyr.size()] : std::string(latin[rng() % 16]);
      }
      line += "\", ";
      line += std::to_string(rng() % 100000);
      line += ',';
      text += line;
      text += "\r\n";
    }
    std::size_t start = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", start)) {
      lines.emplace_back(text.data() + start, at - start);
      start = at + 2;
    }
  }
  return lines;
}

std::int64_t TotalBytes() {
  std::int64_t n = 0;
  for (auto l : Lines()) n += static_cast<std::int64_t>(l.size());
  return n;
}

using LineSet = std::vector<std::string_view>;

// Every match of every line with TRegex.
std::int64_t TRegexPass(ond::TRegex& r, const LineSet& lines = Lines()) {
  std::int64_t matches = 0;
  for (auto line : lines) {
    for (bool ok = r.Exec(line); ok; ok = r.ExecNext()) ++matches;
  }
  return matches;
}

void BM_TRegex(benchmark::State& state, const Pattern* p) {
  ond::TRegex r;
  r.SetExpression(p->regex);
  std::int64_t matches = 0;
  for (auto _ : state) matches = TRegexPass(r);
  state.counters["matches"] = static_cast<double>(matches);
  state.SetBytesProcessed(state.iterations() * TotalBytes());
}

// The few PCRE2 entry points used, resolved from the shared library.
struct Pcre2 {
  using Compile = void* (*)(const unsigned char*, std::size_t, std::uint32_t, int*, std::size_t*, void*);
  using JitCompile = int (*)(void*, std::uint32_t);
  using MatchDataCreate = void* (*)(void*, void*);
  using Match = int (*)(const void*, const unsigned char*, std::size_t, std::size_t, std::uint32_t, void*, void*);
  using Ovector = std::size_t* (*)(void*);
  using Free = void (*)(void*);
  Compile compile = nullptr;
  JitCompile jitCompile = nullptr;
  MatchDataCreate matchDataCreate = nullptr;
  Match match = nullptr;
  Ovector ovector = nullptr;
  Free codeFree = nullptr;
  Free matchDataFree = nullptr;
  bool ok = false;

  static const Pcre2& Get() {
    static Pcre2 lib = [] {
      Pcre2 l;
      void* h = dlopen("libpcre2-8.so.0", RTLD_NOW);
      if (h == nullptr) return l;
      l.compile = reinterpret_cast<Compile>(dlsym(h, "pcre2_compile_8"));
      l.jitCompile = reinterpret_cast<JitCompile>(dlsym(h, "pcre2_jit_compile_8"));
      l.matchDataCreate = reinterpret_cast<MatchDataCreate>(dlsym(h, "pcre2_match_data_create_from_pattern_8"));
      l.match = reinterpret_cast<Match>(dlsym(h, "pcre2_match_8"));
      l.ovector = reinterpret_cast<Ovector>(dlsym(h, "pcre2_get_ovector_pointer_8"));
      l.codeFree = reinterpret_cast<Free>(dlsym(h, "pcre2_code_free_8"));
      l.matchDataFree = reinterpret_cast<Free>(dlsym(h, "pcre2_match_data_free_8"));
      l.ok = l.compile && l.jitCompile && l.matchDataCreate && l.match && l.ovector && l.codeFree && l.matchDataFree;
      return l;
    }();
    return lib;
  }
};

constexpr std::uint32_t kPcre2JitComplete = 1;

// A compiled PCRE2 pattern with its match data; null code when the library
// or the pattern (or the JIT, when asked for) is not available.
struct Pcre2Pattern {
  const Pcre2& lib = Pcre2::Get();
  void* code = nullptr;
  void* md = nullptr;
  const char* problem = nullptr;

  Pcre2Pattern(const Pattern* p, bool jit) : Pcre2Pattern(p->regex, jit) {}
  Pcre2Pattern(const char* regex, bool jit) {
    if (!lib.ok) {
      problem = "libpcre2-8 not available";
      return;
    }
    int error = 0;
    std::size_t errorOffset = 0;
    const std::string pattern = regex;
    code = lib.compile(reinterpret_cast<const unsigned char*>(pattern.data()), pattern.size(), 0, &error,
                       &errorOffset, nullptr);
    if (code == nullptr) {
      problem = "pattern rejected";
      return;
    }
    if (jit && lib.jitCompile(code, kPcre2JitComplete) != 0) {
      lib.codeFree(code);
      code = nullptr;
      problem = "JIT not available";
      return;
    }
    md = lib.matchDataCreate(code, nullptr);
  }
  ~Pcre2Pattern() {
    if (md != nullptr) lib.matchDataFree(md);
    if (code != nullptr) lib.codeFree(code);
  }
  Pcre2Pattern(const Pcre2Pattern&) = delete;
  Pcre2Pattern& operator=(const Pcre2Pattern&) = delete;

  // Every match of every line.
  std::int64_t Pass(const LineSet& lines = Lines()) const {
    std::int64_t matches = 0;
    for (auto line : lines) {
      const auto* s = reinterpret_cast<const unsigned char*>(line.data());
      std::size_t offset = 0;
      while (offset <= line.size() && lib.match(code, s, line.size(), offset, 0, md, nullptr) > 0) {
        const std::size_t* ov = lib.ovector(md);
        ++matches;
        offset = ov[1] == ov[0] ? ov[1] + 1 : ov[1];
      }
    }
    return matches;
  }
};

void BM_Pcre2(benchmark::State& state, const Pattern* p, bool jit) {
  const Pcre2Pattern pcre(p, jit);
  if (pcre.code == nullptr) {
    state.SkipWithError(pcre.problem);
    return;
  }
  std::int64_t matches = 0;
  for (auto _ : state) matches = pcre.Pass();
  state.counters["matches"] = static_cast<double>(matches);
  state.SetBytesProcessed(state.iterations() * TotalBytes());
}

// Processor time of this thread, so a busy machine does not tilt a ratio.
double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// TRegex time over PCRE2 time (with or without its JIT) for the same passes
// over the lines, run alternately in one benchmark; the target is a ratio
// below 1 (at most 1 for the long lines).
void RatioToPcre2(benchmark::State& state, const char* regex, const LineSet& lines, bool jit, double target) {
  const Pcre2Pattern pcre(regex, jit);
  if (pcre.code == nullptr) {
    state.SkipWithError(pcre.problem);
    return;
  }
  ond::TRegex r;
  r.SetExpression(regex);
  double ours = 0, theirs = 0;
  std::int64_t matchesOurs = 0, matchesTheirs = 0;
  for (auto _ : state) {
    const double t0 = ThreadSeconds();
    try {
      matchesOurs = TRegexPass(r, lines);
    } catch (const ond::ERegex& e) {
      state.SkipWithError(e.Message.c_str());
      return;
    }
    const double t1 = ThreadSeconds();
    matchesTheirs = pcre.Pass(lines);
    const double t2 = ThreadSeconds();
    ours += t1 - t0;
    theirs += t2 - t1;
  }
  if (matchesOurs != matchesTheirs) state.SkipWithError("the engines found different matches");
  state.counters["ratio"] = ours / theirs;
  state.counters["target"] = target;
  state.counters["matches"] = static_cast<double>(matchesOurs);
}

void BM_RatioToPcre2(benchmark::State& state, const Pattern* p, bool jit) {
  RatioToPcre2(state, p->regex, Lines(), jit, 1.0);
}

// "0, 1, 2, ..." up to a megabyte.
std::string Numbers() {
  std::string s = "0";
  for (int i = 1; s.size() < (1u << 20); ++i) s += ", " + std::to_string(i);
  return s;
}

// A megabyte of objects holding a hundred numbers each, as an array
// ({"v": [0, 1, ... 99]}, ...) or bare ({"v": 0, 1, ... 99}, ...).
std::string NumberObjects(bool array) {
  std::string one = array ? "{\"v\": [" : "{\"v\": ";
  for (int i = 0; i < 100; ++i) one += (i > 0 ? ", " : "") + std::to_string(i);
  one += array ? "]}, " : "}, ";
  std::string s;
  while (s.size() < (1u << 20)) s += one;
  return s;
}

// Expressions that begin with a repeat of a character class, over lines of
// a megabyte: a number list without the comma the expression wants at its
// end, then one with it; objects of number arrays, where no run of numbers
// ends at a brace, then objects of bare numbers, where each does. (Numbers
// in one array of a megabyte closed by "]}" cost PCRE2 time quadratic in
// the line: it tries every start inside the run.)
struct LongLineCase {
  const char* name;
  const char* regex;
  std::vector<std::string> text;
};

const LongLineCase kLongLines[] = {
    {"dot_star_comma_end", ".*,$", {Numbers(), Numbers() + ","}},
    {"number_array_brace", "[0-9, ]+\\}", {NumberObjects(true), NumberObjects(false)}},
};

void BM_LongLineRatioToPcre2(benchmark::State& state, const LongLineCase* c, bool jit) {
  const LineSet lines(c->text.begin(), c->text.end());
  RatioToPcre2(state, c->regex, lines, jit, 1.0);
}

void BM_StdRegex(benchmark::State& state, const Pattern* p) {
  auto flags = std::regex::ECMAScript | std::regex::optimize;
  if (p->caseless) flags |= std::regex::icase;
  const std::regex re(p->ecma, flags);
  const auto& lines = Lines();
  std::int64_t matches = 0;
  for (auto _ : state) {
    matches = 0;
    for (auto line : lines) {
      for (std::cregex_iterator it(line.data(), line.data() + line.size(), re), end; it != end; ++it) ++matches;
    }
  }
  state.counters["matches"] = static_cast<double>(matches);
  state.SetBytesProcessed(state.iterations() * TotalBytes());
}

// A pattern with exponential backtracking: TRegex gives up at its visit budget.
void BM_TRegexCatastrophic(benchmark::State& state) {
  ond::TRegex r;
  r.SetExpression("(x+x+)+y");
  const std::string line(64, 'x');
  std::int64_t errors = 0;
  for (auto _ : state) {
    try {
      r.Exec(line);
    } catch (const ond::ERegex&) {
      ++errors;
    }
  }
  state.counters["budget_errors"] = static_cast<double>(errors);
}

[[maybe_unused]] const bool kRegistered = [] {
  for (const Pattern& p : kPatterns) {
    const std::string n = p.name;
    benchmark::RegisterBenchmark(("TRegex/" + n).c_str(), BM_TRegex, &p)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Pcre2/" + n).c_str(), BM_Pcre2, &p, false)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Pcre2Jit/" + n).c_str(), BM_Pcre2, &p, true)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("StdRegex/" + n).c_str(), BM_StdRegex, &p)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark(("RatioToPcre2/" + n).c_str(), BM_RatioToPcre2, &p, false)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark(("RatioToPcre2Jit/" + n).c_str(), BM_RatioToPcre2, &p, true)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
  }
  for (const LongLineCase& c : kLongLines) {
    const std::string n = c.name;
    benchmark::RegisterBenchmark(("RatioToPcre2/" + n).c_str(), BM_LongLineRatioToPcre2, &c, false)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
    benchmark::RegisterBenchmark(("RatioToPcre2Jit/" + n).c_str(), BM_LongLineRatioToPcre2, &c, true)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
  }
  benchmark::RegisterBenchmark("TRegex/catastrophic", BM_TRegexCatastrophic)->Unit(benchmark::kMillisecond);
  return true;
}();

}  // namespace
