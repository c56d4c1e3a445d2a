// A small XML document model for the highlighter's scheme files: reference-
// counted nodes whose element and attribute names are interned as integer IDs
// in a name table, typed (variant) values, a single-pass text parser, an
// indenting writer and a compact binary form. Text is code page 1251 bytes
// throughout; no character set conversion happens on reading or writing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/BlockArena.h"
#include "platform/core/Classes.h"
#include "platform/core/SysUtils.h"

namespace ond {

// Days since 1899-12-30, the fraction being the time of day.
using TDateTime = double;

// Type codes of a typed value; the numbers are those of the binary form.
enum class XmlVarType : std::uint16_t {
  Empty = 0x0000,
  Null = 0x0001,
  Smallint = 0x0002,   // 16-bit signed
  Integer = 0x0003,    // 32-bit signed
  Single = 0x0004,
  Double = 0x0005,
  Currency = 0x0006,   // 64-bit fixed point, 4 decimals
  Date = 0x0007,
  OleStr = 0x0008,     // wide (UTF-16) string
  Boolean = 0x000B,
  ShortInt = 0x0010,   // 8-bit signed
  Byte = 0x0011,
  Word = 0x0012,
  LongWord = 0x0013,
  Int64 = 0x0014,
  String = 0x0100,     // code page 1251 string
  ByteArray = 0x2011,
};

// A typed value of an attribute, a text node or an element.
class XmlVariant {
 public:
  XmlVariant() = default;
  XmlVariant(bool v) : FType(XmlVarType::Boolean) { FNum.I = v ? 1 : 0; }
  XmlVariant(int v) : FType(XmlVarType::Integer) { FNum.I = v; }
  XmlVariant(std::int64_t v) : FType(XmlVarType::Int64) { FNum.I = v; }
  XmlVariant(double v) : FType(XmlVarType::Double) { FNum.D = v; }
  XmlVariant(const char* s) : FType(XmlVarType::String), FStr(s) {}
  XmlVariant(std::string s) : FType(XmlVarType::String), FStr(std::move(s)) {}
  XmlVariant(std::string_view s) : FType(XmlVarType::String), FStr(s) {}
  XmlVariant(std::u16string_view w);

  static XmlVariant Null();
  // An integer of one of the integer types (Smallint .. Int64).
  static XmlVariant OfInteger(XmlVarType type, std::int64_t v);
  static XmlVariant OfSingle(float v);
  static XmlVariant OfCurrency(std::int64_t fixed);  // value * 10000
  static XmlVariant OfDate(TDateTime v);
  static XmlVariant OfBytes(std::string_view bytes);

  XmlVarType Type() const noexcept { return FType; }
  bool IsEmpty() const noexcept { return FType == XmlVarType::Empty; }
  bool IsNull() const noexcept { return FType == XmlVarType::Null; }
  bool IsNumeric() const noexcept;

  // The text form (empty, "{{null}}", "1"/"0", decimal, 15-digit floats with
  // ".", dates, base64 for byte arrays, wide strings in code page 1251).
  std::string ToText() const;
  // Conversions; a text that cannot be converted raises EConvertError.
  bool ToBool() const;
  int ToInt() const;
  std::int64_t ToInt64() const;
  double ToDouble() const;
  TDateTime ToDate() const;
  // Raw payloads: the bytes of a string or byte array, the wide text.
  const std::string& Bytes() const noexcept { return FStr; }
  std::u16string Wide() const;
  // The stored number: integer types, Boolean and Currency (fixed point) in I,
  // Single, Double and Date in D.
  std::int64_t RawInt() const noexcept { return FNum.I; }
  double RawDouble() const noexcept { return FNum.D; }

  bool operator==(const XmlVariant& o) const noexcept;

 private:
  XmlVarType FType = XmlVarType::Empty;
  union {
    std::int64_t I;
    double D;
  } FNum{0};
  std::string FStr;  // String, ByteArray; OleStr as UTF-16 code units, two bytes each
};

// Value <-> text helpers shared by the writer and the typed attributes.
std::string XmlFloatToText(double v);
// Either "." or "," is the decimal separator. Raises EConvertError.
double XmlTextToFloat(std::string_view s);
std::string XmlDateToText(TDateTime v);
// Six numbers "Y-M-DTH-N-S"; missing parts read as 0. Raises on bad dates.
TDateTime XmlTextToDate(std::string_view s);
TDateTime EncodeXmlDateTime(int year, int month, int day, int hour, int minute, int second);
void DecodeXmlDateTime(TDateTime v, int& year, int& month, int& day, int& hour, int& minute, int& second);
std::string XmlEncodeBase64(std::string_view bytes);
// Blanks (codes up to 32) are dropped first; any other character outside the
// alphabet is an error.
std::string XmlDecodeBase64(std::string_view text);

class TXmlBase;
class TXmlNameTable;
class TXmlNodeList;
class TXmlNode;
class TXmlElement;
class TXmlText;
class TXmlCharacterData;
class TXmlCDATASection;
class TXmlComment;
class TXmlProcessingInstruction;
class TXmlDocument;

using IXmlNameTable = std::shared_ptr<TXmlNameTable>;
using IXmlNodeList = std::shared_ptr<TXmlNodeList>;
using IXmlNode = std::shared_ptr<TXmlNode>;
using IXmlElement = std::shared_ptr<TXmlElement>;
using IXmlText = std::shared_ptr<TXmlText>;
using IXmlCDATASection = std::shared_ptr<TXmlCDATASection>;
using IXmlComment = std::shared_ptr<TXmlComment>;
using IXmlProcessingInstruction = std::shared_ptr<TXmlProcessingInstruction>;
using IXmlDocument = std::shared_ptr<TXmlDocument>;

// Node type numbers.
constexpr int XML_ELEMENT_NODE = 1;
constexpr int XML_TEXT_NODE = 3;
constexpr int XML_CDATA_SECTION_NODE = 4;
constexpr int XML_PROCESSING_INSTRUCTION_NODE = 7;
constexpr int XML_COMMENT_NODE = 8;
constexpr int XML_DOCUMENT_NODE = 9;

// IDs every name table has from its construction.
constexpr int XmlTextID = 0;      // "#text"
constexpr int XmlCDATAID = 1;     // "#cdata-section"
constexpr int XmlCommentID = 2;   // "#comment"
constexpr int XmlDocumentID = 3;  // "#document"
constexpr int XmlXmlID = 4;       // "xml"

// Deepest element nesting the parser, the writers and the binary reader take.
constexpr int XmlMaxDepth = 512;

class TXmlBase {
 public:
  virtual ~TXmlBase() = default;
  TXmlBase* GetObject() noexcept { return this; }
};

class TXmlNameTable : public TXmlBase {
 public:
  explicit TXmlNameTable(int bucketCount = 4096);
  // -1 for an empty name; interns a new name.
  int GetID(std::string_view name);
  // The empty text for an ID that names nothing.
  const std::string& GetName(int id) const noexcept;
  int GetNameCount() const noexcept { return static_cast<int>(FNames.size()); }
  int GetBucketCount() const noexcept { return static_cast<int>(FBuckets.size()); }
  const std::vector<int>& GetBucket(int index) const { return FBuckets[static_cast<std::size_t>(index)]; }
  static std::uint32_t Hash(std::string_view name) noexcept;

 private:
  friend class TXmlBinaryReader;
  std::vector<std::string> FNames;
  std::vector<std::vector<int>> FBuckets;
};

// The process-wide table used by nodes made without a document.
IXmlNameTable XmlDefaultNameTable();

class TXmlNodeList : public TXmlBase {
 public:
  explicit TXmlNodeList(TXmlNode* owner = nullptr) : FOwner(owner) {}
  int GetCount() const noexcept { return static_cast<int>(FItems.size()); }
  // Raises the list index error outside 0..Count-1.
  IXmlNode GetItem(int index) const;
  std::string GetXML() const;

  // Index -1 appends. An owned list detaches the node from its old parent
  // first and refuses a node that is the owner or one of its ancestors.
  void Insert(int index, const IXmlNode& node);
  int Add(const IXmlNode& node);
  void Delete(int index);
  int IndexOf(const TXmlNode* node) const noexcept;
  void Remove(const TXmlNode* node);
  void Replace(int index, const IXmlNode& node);
  void Clear();
  TXmlNode* GetOwner() const noexcept { return FOwner; }

 private:
  friend class TXmlNode;
  friend class TXmlElement;
  friend class TXmlParser;
  friend class TXmlWriter;
  TXmlNode* FOwner;
  // A list the parser fills takes its items from the parse's blocks.
  std::vector<IXmlNode, TArenaOrHeapAllocator<IXmlNode>> FItems;
};

struct TXmlAttr {
  int NameID;
  XmlVariant Value;
};
// A parsed node's attributes come from the parse's blocks, beside the node.
using TXmlAttrList = std::vector<TXmlAttr, TArenaOrHeapAllocator<TXmlAttr>>;

class TXmlNode : public TXmlBase, public std::enable_shared_from_this<TXmlNode> {
 public:
  explicit TXmlNode(IXmlNameTable nameTable);
  ~TXmlNode() override;
  TXmlNode(const TXmlNode&) = delete;
  TXmlNode& operator=(const TXmlNode&) = delete;

  IXmlNameTable GetNameTable() const { return FNameTable; }
  std::string GetNodeName() const;
  virtual int GetNodeNameID() const = 0;
  virtual int GetNodeType() const = 0;
  virtual std::string GetText();
  virtual void SetText(std::string_view text);
  virtual XmlVarType GetDataType() const { return XmlVarType::String; }
  virtual XmlVariant GetValue();
  virtual void SetValue(const XmlVariant& value);
  std::string GetXML();
  virtual IXmlNode CloneNode(bool deep);
  IXmlNode GetParentNode() const;
  IXmlDocument GetOwnerDocument();
  IXmlNodeList GetChildNodes();

  IXmlNode AppendChild(const IXmlNode& node);
  IXmlNode InsertBefore(const IXmlNode& node, const IXmlNode& before);
  IXmlNode ReplaceChild(const IXmlNode& newNode, const IXmlNode& oldNode);
  IXmlNode RemoveChild(const IXmlNode& node);
  IXmlElement AppendElement(int nameID);
  IXmlElement AppendElement(std::string_view name);
  IXmlText AppendText(const XmlVariant& value);
  IXmlCDATASection AppendCDATA(std::string_view text);
  IXmlComment AppendComment(std::string_view text);
  IXmlProcessingInstruction AppendProcessingInstruction(int targetID, std::string_view data = {});
  IXmlProcessingInstruction AppendProcessingInstruction(std::string_view target, std::string_view data = {});

  std::string GetChildText(std::string_view name, std::string_view def = {});
  std::string GetChildText(int nameID, std::string_view def = {});
  void SetChildText(std::string_view name, std::string_view text);
  void SetChildText(int nameID, std::string_view text);
  IXmlElement ChildOrError(std::string_view name);
  IXmlElement ChildOrError(int nameID);
  IXmlElement ChildOrAppend(std::string_view name);
  IXmlElement ChildOrAppend(int nameID);
  void ClearChildren();
  IXmlNodeList FindChildElements(std::string_view name);
  IXmlElement FindChildElement(std::string_view name);
  IXmlElement FindChildByAttr(std::string_view elementName, std::string_view attrName, std::string_view value);

  int GetAttrCount() const noexcept { return static_cast<int>(FAttrs.size()); }
  int GetAttrNameID(int index) const;
  std::string GetAttrName(int index) const;
  void RemoveAttr(std::string_view name);
  void RemoveAttr(int nameID);
  void RemoveAllAttrs() noexcept { FAttrs.clear(); }
  bool AttrExists(std::string_view name);
  bool AttrExists(int nameID) const noexcept;
  XmlVarType GetAttrType(int nameID) const;
  XmlVarType GetAttrType(std::string_view name);

  XmlVariant GetVariantAttr(int nameID, const XmlVariant& def = {}) const;
  XmlVariant GetVariantAttr(std::string_view name, const XmlVariant& def = {});
  void SetVariantAttr(int nameID, const XmlVariant& value);
  void SetVariantAttr(std::string_view name, const XmlVariant& value);
  XmlVariant AttrOrError(int nameID) const;
  XmlVariant AttrOrError(std::string_view name);

  std::string GetAttr(int nameID, std::string_view def = {}) const;
  std::string GetAttr(std::string_view name, std::string_view def = {});
  void SetAttr(int nameID, std::string_view value);
  void SetAttr(std::string_view name, std::string_view value);
  bool GetBoolAttr(int nameID, bool def = false) const;
  bool GetBoolAttr(std::string_view name, bool def = false);
  void SetBoolAttr(int nameID, bool value);
  void SetBoolAttr(std::string_view name, bool value);
  int GetIntAttr(int nameID, int def = 0) const;
  int GetIntAttr(std::string_view name, int def = 0);
  void SetIntAttr(int nameID, int value);
  void SetIntAttr(std::string_view name, int value);
  TDateTime GetDateTimeAttr(int nameID, TDateTime def = 0) const;
  TDateTime GetDateTimeAttr(std::string_view name, TDateTime def = 0);
  void SetDateTimeAttr(int nameID, TDateTime value);
  void SetDateTimeAttr(std::string_view name, TDateTime value);
  double GetFloatAttr(int nameID, double def = 0) const;
  double GetFloatAttr(std::string_view name, double def = 0);
  void SetFloatAttr(int nameID, double value);
  void SetFloatAttr(std::string_view name, double value);
  int GetHexAttr(int nameID, int def = 0) const;
  int GetHexAttr(std::string_view name, int def = 0);
  void SetHexAttr(int nameID, int value, int digits = 0);
  void SetHexAttr(std::string_view name, int value, int digits = 0);
  int GetEnumAttr(std::string_view name, const std::vector<std::string>& values, int def = -1);
  int GetEnumAttr(int nameID, const std::vector<std::string>& values, int def = -1) const;
  int EnumAttrOrError(std::string_view name, const std::vector<std::string>& values);
  int EnumAttrOrError(int nameID, const std::vector<std::string>& values) const;

  XmlVariant GetValueByPath(std::string_view path);
  void SetValueByPath(std::string_view path, const XmlVariant& value);

  virtual IXmlElement AsElement() { return nullptr; }
  virtual IXmlText AsText() { return nullptr; }
  virtual IXmlCDATASection AsCDATASection() { return nullptr; }
  virtual IXmlComment AsComment() { return nullptr; }
  virtual IXmlProcessingInstruction AsProcessingInstruction() { return nullptr; }

  // The attribute records, in order.
  const TXmlAttrList& Attrs() const noexcept { return FAttrs; }
  // The child list when it exists, without making it.
  TXmlNodeList* ChildListOrNull() const noexcept { return FChilds.get(); }

 protected:
  friend class TXmlNodeList;
  friend class TXmlParser;
  friend class TXmlWriter;
  friend class TXmlBinaryReader;
  friend class TXmlBinaryWriter;

  virtual TXmlNodeList& MakeChildList();
  virtual void SetNodeNameID(int) {}
  // Makes an empty node of the same kind and name on the same table.
  virtual IXmlNode NewSameKind() const = 0;
  const TXmlAttr* FindAttr(int nameID) const noexcept;
  TXmlAttr* FindAttr(int nameID) noexcept;
  void SetNameTable(const IXmlNameTable& table);
  void CopyAttrsAndChildren(TXmlNode& to, bool deep);
  bool PreservesWhiteSpace();
  std::string ConcatChildTexts();

  TXmlNode* FParent = nullptr;
  IXmlNameTable FNameTable;
  TXmlAttrList FAttrs;
  std::shared_ptr<TXmlNodeList> FChilds;
};

class TXmlElement : public TXmlNode {
 public:
  TXmlElement(IXmlNameTable nameTable, int nameID) : TXmlNode(std::move(nameTable)), FNameID(nameID) {}
  int GetNodeNameID() const override { return FNameID; }
  int GetNodeType() const override { return XML_ELEMENT_NODE; }
  std::string GetText() override;
  void SetText(std::string_view text) override;
  XmlVariant GetValue() override;
  void SetValue(const XmlVariant& value) override;
  IXmlElement AsElement() override;

  // Replaces the text and CDATA children by CDATA sections, split so that
  // none holds "]]>".
  void SetCDATAText(std::string_view text);
  void SetBinaryData(std::string_view data);
  std::string GetBinaryData();
  // The value held directly (no children).
  const XmlVariant& OwnValue() const noexcept;

 protected:
  friend class TXmlWriter;
  friend class TXmlParser;
  friend class TXmlBinaryReader;
  TXmlNodeList& MakeChildList() override;
  void SetNodeNameID(int id) override { FNameID = id; }
  IXmlNode NewSameKind() const override;
  void RemoveTextChildren();
  // An empty value drops the one held.
  void SetOwnValue(XmlVariant value);

  int FNameID;
  // Most elements hold children or nothing: a value of their own lives apart,
  // made only when one is set, so that every element stays small.
  std::unique_ptr<XmlVariant> FValue;
};

class TXmlText : public TXmlNode {
 public:
  TXmlText(IXmlNameTable nameTable, XmlVariant value) : TXmlNode(std::move(nameTable)), FValue(std::move(value)) {}
  int GetNodeNameID() const override { return XmlTextID; }
  int GetNodeType() const override { return XML_TEXT_NODE; }
  std::string GetText() override { return FValue.ToText(); }
  void SetText(std::string_view text) override { FValue = XmlVariant(text); }
  XmlVarType GetDataType() const override { return FValue.Type(); }
  XmlVariant GetValue() override { return FValue; }
  void SetValue(const XmlVariant& value) override { FValue = value; }
  IXmlNode CloneNode(bool deep) override;
  IXmlText AsText() override;

 protected:
  friend class TXmlWriter;
  friend class TXmlBinaryWriter;
  IXmlNode NewSameKind() const override;
  XmlVariant FValue;
};

class TXmlCharacterData : public TXmlNode {
 public:
  TXmlCharacterData(IXmlNameTable nameTable, std::string data)
      : TXmlNode(std::move(nameTable)), FData(std::move(data)) {}
  // Trimmed unless the owning document preserves white space.
  std::string GetText() override;
  void SetText(std::string_view text) override { FData = text; }
  const std::string& GetData() const noexcept { return FData; }
  IXmlNode CloneNode(bool deep) override;

 protected:
  friend class TXmlWriter;
  friend class TXmlBinaryWriter;
  std::string FData;
};

class TXmlCDATASection : public TXmlCharacterData {
 public:
  using TXmlCharacterData::TXmlCharacterData;
  int GetNodeNameID() const override { return XmlCDATAID; }
  int GetNodeType() const override { return XML_CDATA_SECTION_NODE; }
  IXmlCDATASection AsCDATASection() override;

 protected:
  IXmlNode NewSameKind() const override;
};

class TXmlComment : public TXmlCharacterData {
 public:
  using TXmlCharacterData::TXmlCharacterData;
  int GetNodeNameID() const override { return XmlCommentID; }
  int GetNodeType() const override { return XML_COMMENT_NODE; }
  IXmlComment AsComment() override;

 protected:
  IXmlNode NewSameKind() const override;
};

class TXmlProcessingInstruction : public TXmlNode {
 public:
  TXmlProcessingInstruction(IXmlNameTable nameTable, int targetID, std::string data)
      : TXmlNode(std::move(nameTable)), FNameID(targetID), FData(std::move(data)) {}
  int GetNodeNameID() const override { return FNameID; }
  int GetNodeType() const override { return XML_PROCESSING_INSTRUCTION_NODE; }
  std::string GetText() override { return FData; }
  void SetText(std::string_view text) override { FData = text; }
  const std::string& GetData() const noexcept { return FData; }
  IXmlNode CloneNode(bool deep) override;
  IXmlProcessingInstruction AsProcessingInstruction() override;

 protected:
  friend class TXmlWriter;
  friend class TXmlParser;
  friend class TXmlBinaryWriter;
  void SetNodeNameID(int id) override { FNameID = id; }
  IXmlNode NewSameKind() const override;
  int FNameID;
  std::string FData;
};

// Looks a program resource up by name and type; the platform layer sets it.
using XmlResourceLookup = std::function<std::optional<std::string>(std::string_view name, std::string_view type)>;
void SetXmlResourceLookup(XmlResourceLookup lookup);

class TXmlDocument : public TXmlNode {
 public:
  explicit TXmlDocument(IXmlNameTable nameTable);
  int GetNodeNameID() const override { return XmlDocumentID; }
  int GetNodeType() const override { return XML_DOCUMENT_NODE; }
  std::string GetText() override;
  void SetText(std::string_view text) override;
  IXmlNode CloneNode(bool deep) override;

  IXmlElement GetDocumentElement();
  bool GetPreserveWhiteSpace() const noexcept { return FPreserveWhiteSpace; }
  void SetPreserveWhiteSpace(bool v) noexcept { FPreserveWhiteSpace = v; }
  IXmlElement ResetDocument(std::string_view version, std::string_view encoding, int rootID);
  IXmlElement ResetDocument(std::string_view version, std::string_view encoding, std::string_view root);
  IXmlElement CreateElement(int nameID);
  IXmlElement CreateElement(std::string_view name);
  IXmlText CreateText(const XmlVariant& value);
  IXmlCDATASection CreateCDATASection(std::string_view text);
  IXmlComment CreateComment(std::string_view text);
  IXmlProcessingInstruction CreateProcessingInstruction(std::string_view target, std::string_view data = {});
  IXmlProcessingInstruction CreateProcessingInstruction(int targetID, std::string_view data = {});

  // Text, or the binary form when the text starts with "< binary-xml >".
  void LoadXML(std::string_view text);
  void LoadBinaryFromString(std::string_view data);
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const std::string& fileName);
  // A resource that is not found (or empty) leaves the document unchanged.
  void LoadResource(std::string_view name, std::string_view type);
  // The document's text from the stream's position: no byte order mark, no
  // final line end.
  void SaveToStream(TStream& stream);
  void SaveToFile(const std::string& fileName);
  std::string SaveBinaryToString(std::uint32_t options = 0);
  void SaveBinary(TStream& stream, std::uint32_t options = 0);
  void SaveBinaryToFile(const std::string& fileName, std::uint32_t options = 0);
  // The options word of the binary form this document was last loaded from
  // (0 after a text load); the writer's caller chose what it means.
  std::uint32_t GetBinaryOptions() const noexcept { return FBinaryOptions; }

 protected:
  IXmlNode NewSameKind() const override;
  void Reset();

  bool FPreserveWhiteSpace;
  std::uint32_t FBinaryOptions = 0;
};

// Module settings.
extern const char* const XmlDefaultEncoding;  // "windows-1251"
extern const char* const XmlIndentUnit;       // one tab
bool GetXmlDefaultPreserveWhiteSpace() noexcept;
void SetXmlDefaultPreserveWhiteSpace(bool v) noexcept;

// The document factory: on the given table or the process-wide default; with
// a root name, the declaration and the root element are added.
IXmlDocument CreateXmlDocument(std::string_view rootName = {}, std::string_view version = "1.0",
                               std::string_view encoding = {}, IXmlNameTable nameTable = nullptr);

// Name rules of the parser (code page 1251 letters count).
bool IsXmlNameStart(unsigned char c) noexcept;
bool IsXmlNameChar(unsigned char c) noexcept;

}  // namespace ond
