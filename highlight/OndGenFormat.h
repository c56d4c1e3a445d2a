// Reading and writing the schemes of the rule-driven highlighter. A scheme is
// an XML document; a small family of format classes turns it into the
// highlighter's objects and back. The classes have no state: each is one
// shared instance whose virtual operations stand for class-level operations,
// so an element operation inherited from a base still reaches the overrides
// of the version it was called through (format 1.8 changes how attributes are
// read by overriding that one operation, and the range reader of 2.0 that it
// inherits picks the change up).
#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "highlight/XmlModel.h"
#include "platform/core/Classes.h"
#include "platform/core/SysUtils.h"
#include "platform/core/Types.h"

namespace ond {

class TOndGenHighlighter;
class TOndRange;
class TOndKeyList;
class TOndSet;
class TOndInfo;
class TEditorProperties;
class TOndAttributes;
class TOndGenSchemes;
class TOndMultiToken;

// An object the formats do not know, named by its class.
struct TOndForeignObject {
  const char* ClassName;
};

// What a format can be asked to read or write.
using TOndSchemeObject = std::variant<TOndGenHighlighter*, TOndRange*, TOndKeyList*, TOndSet*, TOndInfo*,
                                      TEditorProperties*, TOndAttributes*, TOndGenSchemes*, TOndMultiToken*,
                                      TOndForeignObject>;
// The class name of the object behind Object, for messages.
const char* SchemeObjectClassName(const TOndSchemeObject& Object);

class TOndGenFormat {
 public:
  virtual ~TOndGenFormat() = default;
  virtual const char* ClassName() const { return "TOndGenFormat"; }

  // Stream may be null: the checks below then raise. The base does nothing.
  virtual bool ImportFromStream(const TOndSchemeObject& Object, TStream* Stream) const;
  virtual bool ImportFromFile(const TOndSchemeObject& Object, const std::string& FileName) const;
  virtual bool ExportToStream(const TOndSchemeObject& Object, TStream* Stream) const;
  virtual bool ExportToFile(const TOndSchemeObject& Object, const std::string& FileName) const;

 protected:
  // Each raises Exception with this class's name in front of its text.
  void CheckStream(const TStream* Stream) const;
  void CheckFile(const std::string& FileName) const;
  void CheckFileName(const std::string& FileName) const;
  [[noreturn]] void Fail(std::string_view Text) const;
  // The file operations in terms of this class's stream operations; a
  // highlighter remembers the file. They answer the stream operation's result.
  bool ImportFileByStream(const TOndSchemeObject& Object, const std::string& FileName) const;
  // The document is made in memory first, then written beside the file and
  // renamed over it: a failing export leaves an existing file as it was.
  bool ExportFileByStream(const TOndSchemeObject& Object, const std::string& FileName) const;
};

// The XML branch: one import and one export per kind of scheme object, each
// reading or writing the given node. Here they do nothing and answer False.
class TOndGenFormatNativeXml : public TOndGenFormat {
 public:
  const char* ClassName() const override { return "TOndGenFormatNativeXml"; }
  static const TOndGenFormatNativeXml& Instance();

  bool ImportFromStream(const TOndSchemeObject& Object, TStream* Stream) const override;
  bool ImportFromFile(const TOndSchemeObject& Object, const std::string& FileName) const override;
  bool ExportToStream(const TOndSchemeObject& Object, TStream* Stream) const override;
  bool ExportToFile(const TOndSchemeObject& Object, const std::string& FileName) const override;

  virtual bool ImportInfo(TOndInfo& Info, const IXmlNode& Node) const;
  virtual bool ExportInfo(const TOndInfo& Info, const IXmlNode& Node) const;
  virtual bool ImportEditorProperties(TEditorProperties& Props, const IXmlNode& Node) const;
  virtual bool ExportEditorProperties(const TEditorProperties& Props, const IXmlNode& Node) const;
  virtual bool ImportAttributes(TOndAttributes& Attributes, const IXmlNode& Node) const;
  virtual bool ExportAttributes(const TOndAttributes& Attributes, const IXmlNode& Node) const;
  virtual bool ImportSchemes(TOndGenSchemes& Schemes, const IXmlNode& Node) const;
  virtual bool ExportSchemes(const TOndGenSchemes& Schemes, const IXmlNode& Node) const;
  virtual bool ImportToken(TOndMultiToken& Token, const IXmlNode& Node) const;
  virtual bool ExportToken(const TOndMultiToken& Token, const IXmlNode& Node) const;
  virtual bool ImportKeyList(TOndKeyList& KeyList, const IXmlNode& Node) const;
  virtual bool ExportKeyList(const TOndKeyList& KeyList, const IXmlNode& Node) const;
  virtual bool ImportSet(TOndSet& Set, const IXmlNode& Node) const;
  virtual bool ExportSet(const TOndSet& Set, const IXmlNode& Node) const;
  virtual bool ImportRange(TOndRange& Range, const IXmlNode& Node) const;
  virtual bool ExportRange(const TOndRange& Range, const IXmlNode& Node) const;
  virtual bool ImportHighlighter(TOndGenHighlighter& Highlighter, const IXmlNode& Node) const;
  virtual bool ExportHighlighter(const TOndGenHighlighter& Highlighter, const IXmlNode& Node) const;

 protected:
  // The document of Stream from its start, parsed.
  IXmlDocument ReadDocument(TStream& Stream) const;
  // Dispatches to the import operation of the object's kind.
  bool ImportObject(const TOndSchemeObject& Object, const IXmlNode& Root) const;
  // Fills Root (already named for the object) and writes the document.
  bool ExportObject(const TOndSchemeObject& Object, const IXmlDocument& Document) const;
  // Adds a rule to Range for each child element of Parent named as a range,
  // key list or set is named in this format, read through this class.
  void ImportSubRules(TOndRange& Range, const IXmlNode& Parent, std::string_view RangeName,
                      std::string_view KeyListName, std::string_view SetName) const;
  // The root element's name for the object; empty when it cannot stand alone.
  static const char* ExportRootName(const TOndSchemeObject& Object);
  // The document text of Object (raising for an object that cannot stand
  // alone). The 1.x formats name a highlighter's root differently and write
  // no declaration.
  std::string ExportText(const TOndSchemeObject& Object, std::string_view HighlighterRoot, bool Declaration,
                         bool& Ok) const;
};

// Conversions used by every version of the XML formats.
// "True", "1", "-1" are true; "False", "0" false; anything else is Default.
bool StrToBoolDefault(std::string_view Text, bool Default);
bool VarToBoolDefault(const XmlVariant& Value, bool Default);
int VarToIntDefault(const XmlVariant& Value, int Default);
// Empty text gives Default; otherwise a colour name or a number, else
// EConvertError.
TColor VarToColorDefault(const XmlVariant& Value, TColor Default);
TSysCharSet VarToCharSet(const XmlVariant& Value);
IXmlDocument CreateSchemeDocument(std::string_view RootName);
// "False", "Left" or "Right" for a token's two break kinds; empty for any
// other pair (which reads back as both sides "may be part of a term").
std::string PartOfTermToStr(std::uint8_t LeftBreak, std::uint8_t RightBreak);
// Sets the attribute to "True" when Value is set; a clear flag is not written.
void SetTrueAttr(const IXmlNode& Node, std::string_view Name, bool Value);

// Colour names of the class library: the basic colours, clNone, clDefault and
// the system colours (clSystemColor + index, resolved to the palette only when
// painting). Colours without a name are written "$00BBGGRR".
std::string ColorToString(TColor Color);
// A colour name (any letter case), "$" and hexadecimal digits, or a decimal
// number; false for anything else.
bool IdentToColor(std::string_view Text, TColor& Color);
// IdentToColor, raising EConvertError for text that is no colour.
TColor StringToColor(std::string_view Text);

}  // namespace ond
