// Scheme format 1.5, the oldest layout the program reads and writes: values
// as element text instead of attributes, "&qt;" for the quotation mark, no
// self-closing tags, one token couple per range.
#pragma once

#include "highlight/OndGenFormatNativeXml18.h"

namespace ond {

class TOndGenFormatNativeXml15 : public TOndGenFormatNativeXml {
 public:
  const char* ClassName() const override { return "TOndGenFormatNativeXml15"; }
  static const TOndGenFormatNativeXml15& Instance();

  bool ImportFromStream(const TOndSchemeObject& Object, TStream* Stream) const override;
  bool ExportToStream(const TOndSchemeObject& Object, TStream* Stream) const override;

  bool ImportInfo(TOndInfo& Info, const IXmlNode& Node) const override;
  bool ExportInfo(const TOndInfo& Info, const IXmlNode& Node) const override;
  bool ImportEditorProperties(TEditorProperties&, const IXmlNode&) const override { return true; }
  bool ExportEditorProperties(const TEditorProperties&, const IXmlNode&) const override { return true; }
  bool ImportAttributes(TOndAttributes& Attributes, const IXmlNode& Node) const override;
  bool ExportAttributes(const TOndAttributes& Attributes, const IXmlNode& Node) const override;
  bool ImportSchemes(TOndGenSchemes&, const IXmlNode&) const override { return true; }
  bool ExportSchemes(const TOndGenSchemes& Schemes, const IXmlNode& Node) const override;
  bool ImportKeyList(TOndKeyList& KeyList, const IXmlNode& Node) const override;
  bool ExportKeyList(const TOndKeyList& KeyList, const IXmlNode& Node) const override;
  bool ImportSet(TOndSet& Set, const IXmlNode& Node) const override;
  bool ExportSet(const TOndSet& Set, const IXmlNode& Node) const override;
  bool ImportRange(TOndRange& Range, const IXmlNode& Node) const override;
  bool ExportRange(const TOndRange& Range, const IXmlNode& Node) const override;
  bool ImportHighlighter(TOndGenHighlighter& Highlighter, const IXmlNode& Node) const override;
  bool ExportHighlighter(const TOndGenHighlighter& Highlighter, const IXmlNode& Node) const override;

  // Every "/>" becomes "></name>" for the tag it closes; a "/>" without a
  // "<" within 41 characters before it is left as it is.
  static std::string ExpandSelfClosingTags(std::string_view Text);
};

}  // namespace ond
