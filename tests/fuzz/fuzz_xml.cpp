// Feeds arbitrary bytes to the XML text and binary readers (both forms, from a
// string and from a stream) and writes back whatever was read.
#include <cstddef>
#include <cstdint>
#include <string>

#include "highlight/XmlModel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  for (int mode = 0; mode < 3; ++mode) {
    auto doc = ond::CreateXmlDocument("", "1.0", "", std::make_shared<ond::TXmlNameTable>(64));
    doc->SetPreserveWhiteSpace(mode == 1);
    try {
      if (mode == 2) {
        // The same bytes as the body of a binary document.
        doc->LoadXML(std::string("< binary-xml >\0\0\0\0", 18) + input);
      } else if (mode == 1) {
        ond::TStringStream s(input);
        doc->LoadFromStream(s);
      } else {
        doc->LoadXML(input);
      }
    } catch (const ond::Exception&) {
    }
    try {
      const std::string text = doc->GetXML();
      const std::string bin = doc->SaveBinaryToString();
      auto again = ond::CreateXmlDocument();
      again->SetPreserveWhiteSpace(doc->GetPreserveWhiteSpace());
      again->LoadXML(bin);
      if (again->GetXML() != text) __builtin_trap();
      if (auto root = doc->GetDocumentElement()) {
        root->GetText();
        for (int i = 0; i < root->GetAttrCount(); ++i) root->GetAttr(root->GetAttrNameID(i));
      }
    } catch (const ond::Exception&) {
    }
  }
  return 0;
}
