// Scheme format 2.0, the highlighter's native one: the built-in schemes are
// stored in it and the highlighter saves only in it. Every element of the
// tree is written (empty where it has nothing to say); an attribute is left
// out when it holds its default, and every default applies on reading, so a
// document that is only a root element reads as an empty scheme.
#pragma once

#include "highlight/OndGenFormat.h"

namespace ond {

class TFoldRegions;

class TOndGenFormatNativeXml20 : public TOndGenFormatNativeXml {
 public:
  const char* ClassName() const override { return "TOndGenFormatNativeXml20"; }
  static const TOndGenFormatNativeXml20& Instance();

  bool ImportInfo(TOndInfo& Info, const IXmlNode& Node) const override;
  bool ExportInfo(const TOndInfo& Info, const IXmlNode& Node) const override;
  bool ImportEditorProperties(TEditorProperties& Props, const IXmlNode& Node) const override;
  bool ExportEditorProperties(const TEditorProperties& Props, const IXmlNode& Node) const override;
  bool ImportAttributes(TOndAttributes& Attributes, const IXmlNode& Node) const override;
  bool ExportAttributes(const TOndAttributes& Attributes, const IXmlNode& Node) const override;
  bool ImportSchemes(TOndGenSchemes& Schemes, const IXmlNode& Node) const override;
  bool ExportSchemes(const TOndGenSchemes& Schemes, const IXmlNode& Node) const override;
  bool ImportToken(TOndMultiToken& Token, const IXmlNode& Node) const override;
  bool ExportToken(const TOndMultiToken& Token, const IXmlNode& Node) const override;
  bool ImportKeyList(TOndKeyList& KeyList, const IXmlNode& Node) const override;
  bool ExportKeyList(const TOndKeyList& KeyList, const IXmlNode& Node) const override;
  bool ImportSet(TOndSet& Set, const IXmlNode& Node) const override;
  bool ExportSet(const TOndSet& Set, const IXmlNode& Node) const override;
  bool ImportRange(TOndRange& Range, const IXmlNode& Node) const override;
  bool ExportRange(const TOndRange& Range, const IXmlNode& Node) const override;
  bool ImportHighlighter(TOndGenHighlighter& Highlighter, const IXmlNode& Node) const override;
  bool ExportHighlighter(const TOndGenHighlighter& Highlighter, const IXmlNode& Node) const override;

  // The fold and skip regions of CodeFolding and of each SubRegions.
  static void ImportFoldRegions(TFoldRegions& Regions, const IXmlNode& Node, int Depth = 0);
  static void ExportFoldRegions(const TFoldRegions& Regions, const IXmlNode& Node);
  static void ImportCustomData(std::vector<std::string>& Data, const IXmlNode& Node);
  static void ExportCustomData(const std::vector<std::string>& Data, const IXmlNode& Node);
};

// Every child element of Node, in document order (text, comments and
// processing instructions left out).
std::vector<IXmlNode> ChildElements(const IXmlNode& Node);

}  // namespace ond
