// Parsing and writing a 2 MB config-like document and an object of 100,000
// members, each from bytes in memory to a destroyed tree, beside RapidJSON and
// nlohmann-json in the same run; member insertion with colliding and random
// names, and its growth from 10,000 to 1,000,000 members.
#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/core/CodePage.h"
#include "services/jsonobject.h"

namespace {

using ond::IJsonObject;

// Nested objects with short keys, booleans, integers and strings, one string
// in ten Cyrillic; written as UTF-8.
const std::string& ConfigDoc() {
  static const std::string doc = [] {
    std::mt19937 rng(2024);
    const char* const latin[] = {"alpha", "beta gamma", "path/to/file.cfg", "value", "some longer text here"};
    const char* const cyr[] = {"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "\xD0\xBC\xD0\xB8\xD1\x80 \xD0\xB8\xD0\xB3\xD1\x80\xD1\x8B"};
    auto str = [&] {
      return std::string("\"") + (rng() % 10 == 0 ? cyr[rng() % 2] : latin[rng() % 5]) + "\"";
    };
    std::string s = "{";
    for (int sec = 0; s.size() < 2 * 1024 * 1024; ++sec) {
      if (sec) s += ",";
      s += "\n \"section" + std::to_string(sec) + "\": {\"id\": " + std::to_string(sec) +
           ", \"on\": " + (rng() % 2 ? "true" : "false") + ", \"name\": " + str() + ", \"opts\": {";
      for (int k = 0; k < 6; ++k) {
        if (k) s += ", ";
        s += "\"o" + std::to_string(k) + "\": ";
        switch (rng() % 3) {
          case 0: s += rng() % 2 ? "true" : "false"; break;
          case 1: s += std::to_string(rng() % 100000); break;
          default: s += str(); break;
        }
      }
      s += "}, \"items\": [";
      for (int i = 0; i < 4; ++i) {
        if (i) s += ", ";
        s += "{\"k\": " + std::to_string(rng() % 1000) + ", \"v\": " + str() + ", \"en\": " +
             (rng() % 2 ? "true" : "false") + "}";
      }
      s += "]}";
    }
    s += "\n}";
    return s;
  }();
  return doc;
}

const std::string& BigObjectDoc() {
  static const std::string doc = [] {
    std::string s = "{";
    for (int i = 0; i < 100000; ++i) {
      if (i) s += ",";
      s += "\"member" + std::to_string(i) + "\":" + std::to_string(i);
    }
    return s + "}";
  }();
  return doc;
}

const std::string& Doc(int which) { return which == 0 ? ConfigDoc() : BigObjectDoc(); }
const char* DocName(int which) { return which == 0 ? "config2MB" : "object100k"; }

void SetBytes(benchmark::State& state, const std::string& doc) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
  state.SetLabel(DocName(static_cast<int>(state.range(0))));
}

void BM_Parse_Ondrel(benchmark::State& state) {
  const std::string& doc = Doc(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const std::u16string text = ond::Utf8ToUtf16(doc);
    IJsonObject v = ond::ParseString(text, true, false);
    if (!v) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(v.get());
  }
  SetBytes(state, doc);
}

// Bytes one per character through the stream form, as the settings file is read.
void BM_Parse_OndrelStream(benchmark::State& state) {
  const std::string& doc = Doc(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    ond::TStringStream s(doc);
    IJsonObject v = ond::ParseStream(s, true, false);
    if (!v) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(v.get());
  }
  SetBytes(state, doc);
}

void BM_Parse_Nlohmann(benchmark::State& state) {
  const std::string& doc = Doc(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    nlohmann::json j = nlohmann::json::parse(doc);
    benchmark::DoNotOptimize(&j);
  }
  SetBytes(state, doc);
}

void BM_Parse_RapidJson(benchmark::State& state) {
  const std::string& doc = Doc(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    rapidjson::Document d;
    d.Parse(doc.c_str(), doc.size());
    if (d.HasParseError()) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(&d);
  }
  SetBytes(state, doc);
}

// Writing: the tree to bytes in memory, non-ASCII escaped in every library.
void BM_Write_Ondrel(benchmark::State& state) {
  const std::string& doc = Doc(static_cast<int>(state.range(0)));
  IJsonObject v = ond::ParseString(ond::Utf8ToUtf16(doc), true, false);
  for (auto _ : state) {
    ond::TMemoryStream out;
    if (v->SaveTo(out, false, true) == 0) state.SkipWithError("write failed");
    benchmark::DoNotOptimize(out.Memory());
  }
  SetBytes(state, doc);
}

void BM_Write_Nlohmann(benchmark::State& state) {
  const std::string& doc = Doc(static_cast<int>(state.range(0)));
  const nlohmann::json j = nlohmann::json::parse(doc);
  for (auto _ : state) {
    std::string out = j.dump(-1, ' ', true);
    benchmark::DoNotOptimize(out.data());
  }
  SetBytes(state, doc);
}

void BM_Write_RapidJson(benchmark::State& state) {
  const std::string& doc = Doc(static_cast<int>(state.range(0)));
  rapidjson::Document d;
  d.Parse(doc.c_str(), doc.size());
  for (auto _ : state) {
    rapidjson::StringBuffer buf;
    rapidjson::Writer<rapidjson::StringBuffer, rapidjson::UTF8<>, rapidjson::ASCII<>> w(buf);
    d.Accept(w);
    benchmark::DoNotOptimize(buf.GetString());
  }
  SetBytes(state, doc);
}

// Names: random four-unit names, or names that all share one hash (pairs of
// two-unit blocks whose hashes are equal).
std::vector<std::u16string> Names(int n, bool colliding) {
  std::vector<std::u16string> r;
  r.reserve(static_cast<std::size_t>(n));
  std::mt19937 rng(99);
  if (colliding) {
    // c1 * 129 + c2 is the same for every block, so every block hashes alike.
    std::vector<std::u16string> blocks;
    for (int c1 = 0; c1 <= 400; ++c1) blocks.push_back({static_cast<char16_t>(0x100 + c1), static_cast<char16_t>(129 * (400 - c1) + 200)});
    for (std::size_t i = 0; static_cast<int>(r.size()) < n; ++i)
      r.push_back(blocks[i % blocks.size()] + blocks[(i / blocks.size()) % blocks.size()] +
                  blocks[(i / blocks.size() / blocks.size()) % blocks.size()]);
  } else {
    for (int i = 0; i < n; ++i) {
      std::u16string s;
      for (int k = 0; k < 6; ++k) s += static_cast<char16_t>(0x100 + rng() % 401);
      r.push_back(s);
    }
  }
  // The same insertion order for both kinds: shuffled.
  std::shuffle(r.begin(), r.end(), rng);
  return r;
}

void InsertMembers(benchmark::State& state, bool colliding) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<std::u16string> names = Names(n, colliding);
  if (colliding && ond::TJsonAvlEntry::Hash(names[0]) != ond::TJsonAvlEntry::Hash(names[n - 1]))
    state.SkipWithError("names do not collide");
  const IJsonObject one = ond::TJsonObject::Create(1);
  for (auto _ : state) {
    IJsonObject o = ond::TJsonObject::Create(ond::jdtObject);
    ond::TJsonTableString* t = o->AsObject();
    for (const auto& name : names) t->Put(name, one);
    benchmark::DoNotOptimize(t->Get(names[static_cast<std::size_t>(n / 2)]).get());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
  state.SetComplexityN(n);
}

void BM_Members_Random(benchmark::State& state) { InsertMembers(state, false); }

// The same random names in a std::map, to tell memory latency from the tree's own cost.
void BM_Members_StdMap(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<std::u16string> names = Names(n, false);
  const IJsonObject one = ond::TJsonObject::Create(1);
  for (auto _ : state) {
    std::map<std::u16string, IJsonObject> m;
    for (const auto& name : names) m[name] = one;
    benchmark::DoNotOptimize(m.find(names[static_cast<std::size_t>(n / 2)])->second.get());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
  state.SetComplexityN(n);
}
void BM_Members_Colliding(benchmark::State& state) { InsertMembers(state, true); }

}  // namespace

BENCHMARK(BM_Parse_Ondrel)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Parse_OndrelStream)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Parse_Nlohmann)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Parse_RapidJson)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write_Ondrel)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write_Nlohmann)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write_RapidJson)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Members_Random)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Members_Colliding)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Members_Random)->Name("BM_Members_Growth")->RangeMultiplier(10)->Range(10000, 1000000)
    ->Complexity(benchmark::oNLogN)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Members_StdMap)->RangeMultiplier(10)->Range(10000, 1000000)->Complexity(benchmark::oNLogN)
    ->Unit(benchmark::kMillisecond);
