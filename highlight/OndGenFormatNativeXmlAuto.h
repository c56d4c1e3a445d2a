// The format every scheme is loaded through: it tells the version from the
// first bytes of the data (a 1.5 root tag, a 1.8 root tag, else 2.0) and
// writes a highlighter back in the version it was read in.
#pragma once

#include "highlight/OndGenFormat.h"

namespace ond {

class TOndGenFormatNativeXmlAuto : public TOndGenFormat {
 public:
  const char* ClassName() const override { return "TOndGenFormatNativeXmlAuto"; }
  static const TOndGenFormatNativeXmlAuto& Instance();

  bool ImportFromStream(const TOndSchemeObject& Object, TStream* Stream) const override;
  bool ImportFromFile(const TOndSchemeObject& Object, const std::string& FileName) const override;
  bool ExportToStream(const TOndSchemeObject& Object, TStream* Stream) const override;
  bool ExportToFile(const TOndSchemeObject& Object, const std::string& FileName) const override;

  // The format that reads data beginning with Head.
  static const TOndGenFormat& DetectFormat(std::string_view Head);
};

}  // namespace ond
