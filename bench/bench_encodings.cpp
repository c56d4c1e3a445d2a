// Decoding and encoding a large UTF-8 Cyrillic text, beside a plain memcpy of
// the same bytes (the floor) and glibc's iconv on the same data.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstring>
#include <string>

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

void BM_Memcpy(benchmark::State& state) {
  const std::string& src = Utf8Text();
  std::string dst(src.size(), '\0');
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), src.size());
    benchmark::DoNotOptimize(dst.data());
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

std::string Iconv(iconv_t cd, const std::string& in, std::size_t outSize) {
  std::string out(outSize, '\0');
  char* ip = const_cast<char*>(in.data());
  std::size_t il = in.size();
  char* op = out.data();
  std::size_t ol = out.size();
  iconv(cd, &ip, &il, &op, &ol);
  out.resize(out.size() - ol);
  return out;
}

void BM_DecodeEncodeIconv(benchmark::State& state) {
  const std::string& src = Utf8Text();
  iconv_t dec = iconv_open("CP1251//TRANSLIT", "UTF-8");
  iconv_t enc = iconv_open("UTF-8", "CP1251");
  for (auto _ : state) {
    std::string ansi = Iconv(dec, src, src.size());
    std::string back = Iconv(enc, ansi, ansi.size() * 3);
    benchmark::DoNotOptimize(back.data());
  }
  iconv_close(dec);
  iconv_close(enc);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * src.size()));
}

}  // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeEncodeUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeEncodeIconv)->Unit(benchmark::kMillisecond);
