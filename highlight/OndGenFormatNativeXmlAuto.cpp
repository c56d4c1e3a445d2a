#include "highlight/OndGenFormatNativeXmlAuto.h"

#include "highlight/OndGenFormatNativeXml15.h"
#include "highlight/OndGenFormatNativeXml18.h"
#include "highlight/OndGenFormatNativeXml20.h"
#include "highlight/OndGenHighlighter.h"

namespace ond {

const TOndGenFormatNativeXmlAuto& TOndGenFormatNativeXmlAuto::Instance() {
  static const TOndGenFormatNativeXmlAuto instance;
  return instance;
}

const TOndGenFormat& TOndGenFormatNativeXmlAuto::DetectFormat(std::string_view Head) {
  // Byte-exact and case-sensitive: a declaration, a byte-order mark or blanks
  // in front lead to format 2.0.
  if (Head.substr(0, 16) == "<GenHighlighter>") return TOndGenFormatNativeXml15::Instance();
  if (Head.substr(0, 27) == "<GenHighlighter version=\"1.") return TOndGenFormatNativeXml18::Instance();
  return TOndGenFormatNativeXml20::Instance();
}

bool TOndGenFormatNativeXmlAuto::ImportFromStream(const TOndSchemeObject& Object, TStream* Stream) const {
  CheckStream(Stream);
  char head[32];
  const std::int64_t n = Stream->Read(head, sizeof head);
  // Every reader takes the whole data: the older formats read on from where
  // the stream stands, so it goes back to the start for all of them.
  Stream->SetPosition(0);
  return DetectFormat(std::string_view(head, n > 0 ? static_cast<std::size_t>(n) : 0))
      .ImportFromStream(Object, Stream);
}

bool TOndGenFormatNativeXmlAuto::ExportToStream(const TOndSchemeObject& Object, TStream* Stream) const {
  CheckStream(Stream);
  auto* const* h = std::get_if<TOndGenHighlighter*>(&Object);
  if (!h)
    Fail(std::string(".ExportFromStream: Cannot automatic export ") + SchemeObjectClassName(Object) + " object");
  const std::string& version = (*h)->Version;
  if (version == "1.5") return TOndGenFormatNativeXml15::Instance().ExportToStream(Object, Stream);
  if (version == "1.8") return TOndGenFormatNativeXml18::Instance().ExportToStream(Object, Stream);
  return TOndGenFormatNativeXml20::Instance().ExportToStream(Object, Stream);
}

bool TOndGenFormatNativeXmlAuto::ImportFromFile(const TOndSchemeObject& Object, const std::string& FileName) const {
  return ImportFileByStream(Object, FileName);
}

bool TOndGenFormatNativeXmlAuto::ExportToFile(const TOndSchemeObject& Object, const std::string& FileName) const {
  return ExportFileByStream(Object, FileName);
}

}  // namespace ond
