// Feeds arbitrary bytes to the scheme reader (every format through the
// detection), highlights a few lines with whatever was read, and writes the
// scheme back in each format.
#include <cstddef>
#include <cstdint>
#include <string>

#include "highlight/OndGenFormatNativeXml15.h"
#include "highlight/OndGenFormatNativeXml18.h"
#include "highlight/OndGenFormatNativeXml20.h"
#include "highlight/OndGenHighlighter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  ond::TOndGenHighlighter h;
  try {
    ond::TStringStream s(input);
    h.LoadFromStream(s);
  } catch (const ond::Exception&) {
  }
  // Whatever was read, whole or in part, must highlight and write.
  try {
    h.Reset();
    for (const char* line : {"{ \"a\": true, // x", "/* b */ 'c' <d> 12", ""}) {
      h.SetLine(line, 0);
      while (!h.GetEol()) h.Next();
    }
  } catch (const ond::Exception&) {
  }
  for (const ond::TOndGenFormat* f : {static_cast<const ond::TOndGenFormat*>(&ond::TOndGenFormatNativeXml20::Instance()),
                                      static_cast<const ond::TOndGenFormat*>(&ond::TOndGenFormatNativeXml18::Instance()),
                                      static_cast<const ond::TOndGenFormat*>(&ond::TOndGenFormatNativeXml15::Instance())}) {
    try {
      ond::TStringStream out;
      f->ExportToStream(&h, &out);
    } catch (const ond::Exception&) {
    }
  }
  return 0;
}
