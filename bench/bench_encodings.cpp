// Decoding and encoding a large UTF-8 Cyrillic text, beside two plain copies
// of the same bytes into fresh memory (the floor) and glibc's iconv on the
// same data.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/core/CodePage.h"
#include "workspace/Encodings.h"

namespace {

const std::string& Utf8Text() {
  static const std::string text = [] {
    // A config-like line: Latin keys, Cyrillic values.
    const std::string line =
        "  \"\xD0\xBF\xD0\xBE\xD0\xB4\xD1\x81\xD0\xBA\xD0\xB0\xD0\xB7\xD0\xBA\xD0\xB0\": "
        "\"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xD0\xBC\xD0\xB8\xD1\x80\", \"size\": 13,\r\n";
    std::string s;
    while (s.size() < 50u * 1024 * 1024) s += line;
    return s;
  }();
  return text;
}

// The floor of decoding and encoding: two copies, each into memory freshly
// allocated (untouched pages, as the decoder's and encoder's results are).
void BM_Memcpy(benchmark::State& state) {
  const std::string& src = Utf8Text();
  for (auto _ : state) {
    std::unique_ptr<char[]> once(new char[src.size()]);
    std::memcpy(once.get(), src.data(), src.size());
    std::unique_ptr<char[]> twice(new char[src.size()]);
    std::memcpy(twice.get(), once.get(), src.size());
    benchmark::DoNotOptimize(twice.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * src.size()));
}

void BM_DecodeEncodeUtf8(benchmark::State& state) {
  const std::string& src = Utf8Text();
  for (auto _ : state) {
    std::string ansi = ond::DecodeText(src, ond::TEncoding::UTF8());
    std::string back = ond::EncodeText(ansi, ond::TEncoding::UTF8());
    benchmark::DoNotOptimize(back.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * src.size()));
}

// iconv into a buffer it then fills, without zero-filling it first.
struct Converted {
  std::unique_ptr<char[]> data;
  std::size_t size = 0;
};

Converted Iconv(iconv_t cd, const char* in, std::size_t inSize, std::size_t outSize) {
  Converted out{std::unique_ptr<char[]>(new char[outSize]), 0};
  char* ip = const_cast<char*>(in);
  std::size_t il = inSize;
  char* op = out.data.get();
  std::size_t ol = outSize;
  iconv(cd, &ip, &il, &op, &ol);
  out.size = outSize - ol;
  return out;
}

void BM_DecodeEncodeIconv(benchmark::State& state) {
  const std::string& src = Utf8Text();
  iconv_t dec = iconv_open("CP1251//TRANSLIT", "UTF-8");
  iconv_t enc = iconv_open("UTF-8", "CP1251");
  for (auto _ : state) {
    const Converted ansi = Iconv(dec, src.data(), src.size(), src.size());
    const Converted back = Iconv(enc, ansi.data.get(), ansi.size, ansi.size * 3);
    benchmark::DoNotOptimize(back.data.get());
  }
  iconv_close(dec);
  iconv_close(enc);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * src.size()));
}

// The decoder alone, into memory it wrote before (no fresh pages): what a
// file read into its buffer costs to decode there.
void BM_DecodeUtf8Warm(benchmark::State& state) {
  const std::string& src = Utf8Text();
  std::unique_ptr<char[]> out(new char[src.size()]);
  std::memset(out.get(), 0, src.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(ond::Utf8ToAnsiInto(src.data(), src.size(), out.get()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * src.size()));
}

// The facts of the same bytes (size, hash, zero bytes), which every read and
// every save of a file gathers: beside the warm decoder, the floor of a read.
void BM_ByteFacts(benchmark::State& state) {
  const std::string& src = Utf8Text();
  for (auto _ : state) benchmark::DoNotOptimize(ond::FactsOfBytes(src).Hash);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * src.size()));
}

}  // namespace

BENCHMARK(BM_ByteFacts)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeUtf8Warm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeEncodeUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeEncodeIconv)->Unit(benchmark::kMillisecond);
