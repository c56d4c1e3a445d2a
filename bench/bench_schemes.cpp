// Loading each built-in scheme as a panel does (format detection, import and
// the preparation of the rule tree), against parsing the same bytes as an
// XML document alone.
#include <benchmark/benchmark.h>

#include "highlight/OndBuiltinSchemes.h"
#include "highlight/OndGenHighlighter.h"
#include "highlight/XmlModel.h"

namespace ond {
namespace {

void BM_LoadBuiltinScheme(benchmark::State& state) {
  const int index = static_cast<int>(state.range(0));
  const std::string_view data = BuiltinSchemeData(BuiltinSchemeResourceName(index));
  for (auto _ : state) {
    TOndGenHighlighter h;
    LoadBuiltinScheme(h, index);
    h.SetLine("x", 0);  // the rules are prepared by the load; this only checks it
    benchmark::DoNotOptimize(h.GetEol());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(data.size()) * state.iterations());
}
BENCHMARK(BM_LoadBuiltinScheme)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

void BM_ParseSchemeXmlOnly(benchmark::State& state) {
  const int index = static_cast<int>(state.range(0));
  const std::string_view data = BuiltinSchemeData(BuiltinSchemeResourceName(index));
  for (auto _ : state) {
    IXmlDocument doc = CreateXmlDocument();
    doc->LoadXML(data);
    benchmark::DoNotOptimize(doc->GetDocumentElement());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(data.size()) * state.iterations());
}
BENCHMARK(BM_ParseSchemeXmlOnly)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace ond
