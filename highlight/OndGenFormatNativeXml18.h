// Scheme format 1.8, an older layout the program still reads and writes: no
// declaration line, the root GenHighlighter, rules as attributes with a
// compact attribute text, one token couple per range, and no colour schemes,
// editor colours, fold regions or custom data.
#pragma once

#include "highlight/OndGenFormatNativeXml20.h"

namespace ond {

class TOndGenFormatNativeXml18 : public TOndGenFormatNativeXml {
 public:
  const char* ClassName() const override { return "TOndGenFormatNativeXml18"; }
  static const TOndGenFormatNativeXml18& Instance();

  bool ImportFromStream(const TOndSchemeObject& Object, TStream* Stream) const override;
  bool ExportToStream(const TOndSchemeObject& Object, TStream* Stream) const override;

  bool ImportInfo(TOndInfo& Info, const IXmlNode& Node) const override;
  bool ExportInfo(const TOndInfo& Info, const IXmlNode& Node) const override;
  bool ImportEditorProperties(TEditorProperties&, const IXmlNode&) const override { return true; }
  bool ExportEditorProperties(const TEditorProperties&, const IXmlNode&) const override { return true; }
  bool ImportAttributes(TOndAttributes& Attributes, const IXmlNode& Node) const override;
  bool ExportAttributes(const TOndAttributes& Attributes, const IXmlNode& Node) const override;
  bool ImportSchemes(TOndGenSchemes&, const IXmlNode&) const override { return true; }
  bool ExportSchemes(const TOndGenSchemes&, const IXmlNode&) const override { return true; }
  bool ImportKeyList(TOndKeyList& KeyList, const IXmlNode& Node) const override;
  bool ExportKeyList(const TOndKeyList& KeyList, const IXmlNode& Node) const override;
  bool ImportSet(TOndSet& Set, const IXmlNode& Node) const override;
  bool ExportSet(const TOndSet& Set, const IXmlNode& Node) const override;
  bool ImportRange(TOndRange& Range, const IXmlNode& Node) const override;
  bool ExportRange(const TOndRange& Range, const IXmlNode& Node) const override;
  bool ImportHighlighter(TOndGenHighlighter& Highlighter, const IXmlNode& Node) const override;
  bool ExportHighlighter(const TOndGenHighlighter& Highlighter, const IXmlNode& Node) const override;
};

// "fore,back;parentFore:parentBack.style", colours as signed decimals.
std::string AttributesToCompactText(const TOndAttributes& Attributes);
// Never fails: a field whose separators are missing, or that is no number,
// takes its default (black, white, no flags, no style).
void CompactTextToAttributes(std::string_view Text, TOndAttributes& Attributes);

// Shared by the 1.x formats.
namespace scheme1x {
// The stream's text from its position with a declaration line put in front.
std::string WithDeclaration(TStream& Stream);
// The lines of Text joined again, each followed by CR LF.
std::string ToCrLfLines(std::string_view Text);
// Strict decimal conversion: EConvertError for anything else.
int StrToIntStrict(std::string_view Text);
// The texts of every child node, each followed by CR LF.
std::string ChildLinesText(const IXmlNode& Node);
// The lines of Text (a last empty line after a final line break is none).
std::vector<std::string> SplitLines(std::string_view Text);
// The Info element of both 1.x formats; they differ only in whether a value
// is an attribute or a child element's text, and in the name of the
// extensions value.
using TInfoValueReader = std::string (*)(const IXmlNode& Node, std::string_view Name);
using TInfoValueWriter = void (*)(const IXmlNode& Node, std::string_view Name, std::string_view Value);
void ReadInfo(TOndInfo& Info, const IXmlNode& Node, TInfoValueReader Read, std::string_view ExtensionsName);
void WriteInfo(const TOndInfo& Info, const IXmlNode& Node, TInfoValueWriter Write, std::string_view ExtensionsName);
}  // namespace scheme1x

}  // namespace ond
