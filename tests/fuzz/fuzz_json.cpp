// The JSON parser on arbitrary bytes: strict and relaxed, whole and in
// blocks, as paths; every value that parses must write and parse back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/core/Classes.h"
#include "services/jsonobject.h"

namespace {
std::size_t LongestDigitRun(const std::u16string& s) {
  std::size_t best = 0, run = 0;
  for (char16_t c : s) {
    run = (c >= '0' && c <= '9') ? run + 1 : 0;
    best = std::max(best, run);
  }
  return best;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ond;
  if (size > 1 << 16) return 0;
  // Bytes as characters, and pairs of bytes as UTF-16 units.
  std::u16string narrow(data, data + size);
  std::u16string wide;
  for (std::size_t i = 0; i + 1 < size; i += 2) wide += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  for (const std::u16string* text : {&narrow, &wide}) {
    for (bool strict : {false, true}) {
      const IJsonObject v = ParseString(*text, strict, true);
      if (v) {
        for (bool indent : {false, true}) {
          for (bool escape : {false, true}) {
            const std::u16string out = v->AsJsonText(indent, escape);
            // What we write, we read back strictly to the same text.
            const IJsonObject back = ParseString(out, true, false);
            if (!out.empty() && (!back || back->AsJsonText(indent, escape) != out)) __builtin_trap();
          }
        }
        v->Clone();
        v->Validate(v);
        v->Compare(v);
      }
      // Paths against a small document.
      IJsonObject doc = ParseJson(u"{a: {b: [1, {c: 2}]}, s: 'x'}");
      doc->GetPathValue(*text);
      doc->Delete(*text);
      // Writers grow arrays up to any index they are given; keep that small.
      if (LongestDigitRun(*text) <= 5) {
        doc->SetPathValue(*text, TJsonObject::Create(1));
        doc->EnsurePath(*text, jdtArray);
      }
      doc->Call(*text);
    }
  }
  // The stream form, whose blocks must not change the result.
  TStringStream stream(std::string(reinterpret_cast<const char*>(data), size));
  const IJsonObject s = ParseStream(stream, false, false);
  const IJsonObject w = ParseString(narrow, false, false);
  const bool bom = size >= 2 && data[0] == 0xFF && data[1] == 0xFE;
  const bool utf8bom = size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF;
  if (!bom && !utf8bom && static_cast<bool>(s) != static_cast<bool>(w)) __builtin_trap();
  if (!bom && !utf8bom && s && s->AsJsonText() != w->AsJsonText()) __builtin_trap();
  return 0;
}
