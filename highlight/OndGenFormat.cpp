#include "highlight/OndGenFormat.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>

#include "highlight/OndGenHighlighter.h"
#include "highlight/OndHighlighterRules.h"
#include "highlight/OndSchemeObjects.h"
#include "platform/core/CodePage.h"
#include "platform/core/SafeFileWriter.h"

namespace ond {

namespace {

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

bool PathExists(const std::string& FileName) {
  struct stat st {};
  return !FileName.empty() && FileName.find('\0') == std::string::npos && ::stat(FileName.c_str(), &st) == 0 &&
         !S_ISDIR(st.st_mode);
}

// Replaces the file safely: a failed write keeps the old file. Raises
// EInOutError with the reason.
void WriteWholeFile(const std::string& FileName, std::string_view Data) {
  TFileWrite request;
  request.FileName = FileName;
  request.Data = Data;
  const TWriteResult written = WriteFileSafely(request);
  if (!written.Ok()) throw EInOutError(written.Reason);
}

}  // namespace

const char* SchemeObjectClassName(const TOndSchemeObject& Object) {
  return std::visit(Overloaded{
                        [](TOndGenHighlighter*) { return "TOndGenHighlighter"; },
                        [](TOndRange*) { return "TOndRange"; },
                        [](TOndKeyList*) { return "TOndKeyList"; },
                        [](TOndSet*) { return "TOndSet"; },
                        [](TOndInfo*) { return "TOndInfo"; },
                        [](TEditorProperties*) { return "TEditorProperties"; },
                        [](TOndAttributes*) { return "TOndAttributes"; },
                        [](TOndGenSchemes*) { return "TOndGenSchemes"; },
                        [](TOndMultiToken*) { return "TOndMultiToken"; },
                        [](TOndForeignObject o) { return o.ClassName ? o.ClassName : "TObject"; },
                    },
                    Object);
}

// ---- TOndGenFormat

bool TOndGenFormat::ImportFromStream(const TOndSchemeObject&, TStream*) const { return false; }
bool TOndGenFormat::ImportFromFile(const TOndSchemeObject&, const std::string&) const { return false; }
bool TOndGenFormat::ExportToStream(const TOndSchemeObject&, TStream*) const { return false; }
bool TOndGenFormat::ExportToFile(const TOndSchemeObject&, const std::string&) const { return false; }

void TOndGenFormat::Fail(std::string_view Text) const { throw Exception(std::string(ClassName()) + std::string(Text)); }

void TOndGenFormat::CheckStream(const TStream* Stream) const {
  if (!Stream) Fail(".ImportFromStream: AStream property can not be nil");
}

void TOndGenFormat::CheckFile(const std::string& FileName) const {
  if (!PathExists(FileName)) Fail(".ImportFromFile: File \"" + FileName + "\" does not exists!");
}

void TOndGenFormat::CheckFileName(const std::string& FileName) const {
  if (FileName.empty()) Fail(".ExportToFile: AFileName property can not be empty");
}

bool TOndGenFormat::ImportFileByStream(const TOndSchemeObject& Object, const std::string& FileName) const {
  CheckFile(FileName);
  bool ok;
  {
    TFileStream stream(FileName, fmOpenRead);
    ok = ImportFromStream(Object, &stream);
  }
  if (auto* const* h = std::get_if<TOndGenHighlighter*>(&Object)) (*h)->SchemeFileName = FileName;
  return ok;
}

bool TOndGenFormat::ExportFileByStream(const TOndSchemeObject& Object, const std::string& FileName) const {
  CheckFileName(FileName);
  TStringStream stream;
  const bool ok = ExportToStream(Object, &stream);
  WriteWholeFile(FileName, stream.DataString());
  if (auto* const* h = std::get_if<TOndGenHighlighter*>(&Object)) (*h)->SchemeFileName = FileName;
  return ok;
}

// ---- TOndGenFormatNativeXml

const TOndGenFormatNativeXml& TOndGenFormatNativeXml::Instance() {
  static const TOndGenFormatNativeXml instance;
  return instance;
}

IXmlDocument TOndGenFormatNativeXml::ReadDocument(TStream& Stream) const {
  Stream.SetPosition(0);
  IXmlDocument doc = CreateXmlDocument();
  doc->LoadFromStream(Stream);
  return doc;
}

bool TOndGenFormatNativeXml::ImportObject(const TOndSchemeObject& Object, const IXmlNode& Root) const {
  return std::visit(Overloaded{
                        [&](TOndGenHighlighter* h) {
                          const bool ok = ImportHighlighter(*h, Root);
                          h->SchemeFileName.clear();
                          return ok;
                        },
                        [&](TOndRange* r) { return ImportRange(*r, Root); },
                        [&](TOndKeyList* k) { return ImportKeyList(*k, Root); },
                        [&](TOndSet* s) { return ImportSet(*s, Root); },
                        [&](TOndInfo* i) { return ImportInfo(*i, Root); },
                        [&](TEditorProperties* p) { return ImportEditorProperties(*p, Root); },
                        [&](TOndAttributes* a) { return ImportAttributes(*a, Root); },
                        [&](TOndGenSchemes* s) { return ImportSchemes(*s, Root); },
                        [&](TOndMultiToken* t) { return ImportToken(*t, Root); },
                        [&](TOndForeignObject) -> bool {
                          Fail(std::string(".ImportFromStream: Cannot import into ") +
                               SchemeObjectClassName(Object) + " object");
                        },
                    },
                    Object);
}

const char* TOndGenFormatNativeXml::ExportRootName(const TOndSchemeObject& Object) {
  return std::visit(Overloaded{
                        [](TOndGenHighlighter*) { return "OndGenHighlighter"; },
                        [](TOndRange*) { return "Range"; },
                        [](TOndKeyList*) { return "KeyList"; },
                        [](TOndSet*) { return "Set"; },
                        [](TOndInfo*) { return "Info"; },
                        [](TOndAttributes*) { return "Attributes"; },
                        [](TOndGenSchemes*) { return "Schemes"; },
                        [](auto) { return ""; },
                    },
                    Object);
}

bool TOndGenFormatNativeXml::ExportObject(const TOndSchemeObject& Object, const IXmlDocument& Document) const {
  const IXmlNode root = Document->GetDocumentElement();
  return std::visit(Overloaded{
                        [&](TOndGenHighlighter* h) { return ExportHighlighter(*h, root); },
                        [&](TOndRange* r) { return ExportRange(*r, root); },
                        [&](TOndKeyList* k) { return ExportKeyList(*k, root); },
                        [&](TOndSet* s) { return ExportSet(*s, root); },
                        [&](TOndInfo* i) { return ExportInfo(*i, root); },
                        [&](TOndAttributes* a) { return ExportAttributes(*a, root); },
                        [&](TOndGenSchemes* s) { return ExportSchemes(*s, root); },
                        [](auto) { return false; },
                    },
                    Object);
}

bool TOndGenFormatNativeXml::ImportFromStream(const TOndSchemeObject& Object, TStream* Stream) const {
  CheckStream(Stream);
  const IXmlDocument doc = ReadDocument(*Stream);
  IXmlNode root = doc->GetDocumentElement();
  if (!root) root = doc->AppendElement("OndGenHighlighter");
  return ImportObject(Object, root);
}

std::string TOndGenFormatNativeXml::ExportText(const TOndSchemeObject& Object, std::string_view HighlighterRoot,
                                               bool Declaration, bool& Ok) const {
  std::string_view rootName = ExportRootName(Object);
  if (rootName.empty())
    Fail(std::string(".ExportToStream: Cannot export from ") + SchemeObjectClassName(Object) + " object");
  if (std::holds_alternative<TOndGenHighlighter*>(Object)) rootName = HighlighterRoot;
  IXmlDocument doc;
  if (Declaration) {
    doc = CreateSchemeDocument(rootName);
  } else {
    doc = CreateXmlDocument();
    doc->AppendElement(rootName);
  }
  Ok = ExportObject(Object, doc);
  return doc->GetXML();
}

bool TOndGenFormatNativeXml::ExportToStream(const TOndSchemeObject& Object, TStream* Stream) const {
  CheckStream(Stream);
  bool ok = false;
  const std::string text = ExportText(Object, "OndGenHighlighter", true, ok);
  Stream->WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
  return ok;
}

bool TOndGenFormatNativeXml::ImportFromFile(const TOndSchemeObject& Object, const std::string& FileName) const {
  return ImportFileByStream(Object, FileName);
}

bool TOndGenFormatNativeXml::ExportToFile(const TOndSchemeObject& Object, const std::string& FileName) const {
  return ExportFileByStream(Object, FileName);
}

void TOndGenFormatNativeXml::ImportSubRules(TOndRange& Range, const IXmlNode& Parent, std::string_view RangeName,
                                            std::string_view KeyListName, std::string_view SetName) const {
  const IXmlNodeList list = Parent->GetChildNodes();
  for (int i = 0; i < list->GetCount(); ++i) {
    const IXmlNode sub = list->GetItem(i);
    if (!sub || sub->GetNodeType() != XML_ELEMENT_NODE) continue;
    const std::string name = sub->GetNodeName();
    if (name == RangeName) {
      auto r = std::make_unique<TOndRange>();
      ImportRange(*r, sub);
      Range.AddRange(std::move(r));
    } else if (name == KeyListName) {
      auto k = std::make_unique<TOndKeyList>();
      ImportKeyList(*k, sub);
      Range.AddKeyList(std::move(k));
    } else if (name == SetName) {
      auto s = std::make_unique<TOndSet>();
      ImportSet(*s, sub);
      Range.AddSet(std::move(s));
    }
  }
}

bool TOndGenFormatNativeXml::ImportInfo(TOndInfo&, const IXmlNode&) const { return false; }
bool TOndGenFormatNativeXml::ExportInfo(const TOndInfo&, const IXmlNode&) const { return false; }
bool TOndGenFormatNativeXml::ImportEditorProperties(TEditorProperties&, const IXmlNode&) const { return false; }
bool TOndGenFormatNativeXml::ExportEditorProperties(const TEditorProperties&, const IXmlNode&) const { return false; }
bool TOndGenFormatNativeXml::ImportAttributes(TOndAttributes&, const IXmlNode&) const { return false; }
bool TOndGenFormatNativeXml::ExportAttributes(const TOndAttributes&, const IXmlNode&) const { return false; }
bool TOndGenFormatNativeXml::ImportSchemes(TOndGenSchemes&, const IXmlNode&) const { return false; }
bool TOndGenFormatNativeXml::ExportSchemes(const TOndGenSchemes&, const IXmlNode&) const { return false; }
bool TOndGenFormatNativeXml::ImportToken(TOndMultiToken&, const IXmlNode&) const { return false; }
bool TOndGenFormatNativeXml::ExportToken(const TOndMultiToken&, const IXmlNode&) const { return false; }
bool TOndGenFormatNativeXml::ImportKeyList(TOndKeyList&, const IXmlNode&) const { return false; }
bool TOndGenFormatNativeXml::ExportKeyList(const TOndKeyList&, const IXmlNode&) const { return false; }
bool TOndGenFormatNativeXml::ImportSet(TOndSet&, const IXmlNode&) const { return false; }
bool TOndGenFormatNativeXml::ExportSet(const TOndSet&, const IXmlNode&) const { return false; }
bool TOndGenFormatNativeXml::ImportRange(TOndRange&, const IXmlNode&) const { return false; }
bool TOndGenFormatNativeXml::ExportRange(const TOndRange&, const IXmlNode&) const { return false; }
bool TOndGenFormatNativeXml::ImportHighlighter(TOndGenHighlighter&, const IXmlNode&) const { return false; }
bool TOndGenFormatNativeXml::ExportHighlighter(const TOndGenHighlighter&, const IXmlNode&) const { return false; }

// ---- conversions

bool StrToBoolDefault(std::string_view Text, bool Default) {
  if (Text == "True" || Text == "1" || Text == "-1") return true;
  if (Text == "False" || Text == "0") return false;
  return Default;
}

bool VarToBoolDefault(const XmlVariant& Value, bool Default) { return StrToBoolDefault(Value.ToText(), Default); }

int VarToIntDefault(const XmlVariant& Value, int Default) { return StrToIntDef(Value.ToText(), Default); }

TColor VarToColorDefault(const XmlVariant& Value, TColor Default) {
  const std::string text = Value.ToText();
  if (text.empty()) return Default;
  return StringToColor(text);
}

TSysCharSet VarToCharSet(const XmlVariant& Value) { return StrToSet(Value.ToText()); }

IXmlDocument CreateSchemeDocument(std::string_view RootName) { return CreateXmlDocument(RootName, "1.0"); }

std::string PartOfTermToStr(std::uint8_t LeftBreak, std::uint8_t RightBreak) {
  if (LeftBreak == bkTerm && RightBreak == bkTerm) return "False";
  if (LeftBreak == bkAny && RightBreak == bkTerm) return "Left";
  if (LeftBreak == bkTerm && RightBreak == bkAny) return "Right";
  return {};
}

void SetTrueAttr(const IXmlNode& Node, std::string_view Name, bool Value) {
  if (Value) Node->SetAttr(Name, "True");
}

// ---- colour names

namespace {

struct TColorName {
  TColor Color;
  const char* Name;
};

// In the class library's order, so a colour with two names gets the first.
constexpr std::array<TColorName, 52> ColorNames{{
    {clBlack, "clBlack"},
    {clMaroon, "clMaroon"},
    {clGreen, "clGreen"},
    {clOlive, "clOlive"},
    {clNavy, "clNavy"},
    {clPurple, "clPurple"},
    {clTeal, "clTeal"},
    {clGray, "clGray"},
    {clSilver, "clSilver"},
    {clRed, "clRed"},
    {clLime, "clLime"},
    {clYellow, "clYellow"},
    {clBlue, "clBlue"},
    {clFuchsia, "clFuchsia"},
    {clAqua, "clAqua"},
    {clWhite, "clWhite"},
    {0xC0DCC0, "clMoneyGreen"},
    {0xF0CAA6, "clSkyBlue"},
    {0xF0FBFF, "clCream"},
    {0xA4A0A0, "clMedGray"},
    {clSystemColor | 0, "clScrollBar"},
    {clSystemColor | 1, "clBackground"},
    {clSystemColor | 2, "clActiveCaption"},
    {clSystemColor | 3, "clInactiveCaption"},
    {clSystemColor | 4, "clMenu"},
    {clSystemColor | 5, "clWindow"},
    {clSystemColor | 6, "clWindowFrame"},
    {clSystemColor | 7, "clMenuText"},
    {clSystemColor | 8, "clWindowText"},
    {clSystemColor | 9, "clCaptionText"},
    {clSystemColor | 10, "clActiveBorder"},
    {clSystemColor | 11, "clInactiveBorder"},
    {clSystemColor | 12, "clAppWorkSpace"},
    {clSystemColor | 13, "clHighlight"},
    {clSystemColor | 14, "clHighlightText"},
    {clSystemColor | 15, "clBtnFace"},
    {clSystemColor | 16, "clBtnShadow"},
    {clSystemColor | 17, "clGrayText"},
    {clSystemColor | 18, "clBtnText"},
    {clSystemColor | 19, "clInactiveCaptionText"},
    {clSystemColor | 20, "clBtnHighlight"},
    {clSystemColor | 21, "cl3DDkShadow"},
    {clSystemColor | 22, "cl3DLight"},
    {clSystemColor | 23, "clInfoText"},
    {clSystemColor | 24, "clInfoBk"},
    {clSystemColor | 26, "clHotLight"},
    {clSystemColor | 27, "clGradientActiveCaption"},
    {clSystemColor | 28, "clGradientInactiveCaption"},
    {clSystemColor | 29, "clMenuHighlight"},
    {clSystemColor | 30, "clMenuBar"},
    {clNone, "clNone"},
    {clDefault, "clDefault"},
}};

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string ColorToString(TColor Color) {
  for (const TColorName& n : ColorNames)
    if (n.Color == Color) return n.Name;
  return "$" + IntToHex(static_cast<std::uint32_t>(Color), 8);
}

bool IdentToColor(std::string_view Text, TColor& Color) {
  for (const TColorName& n : ColorNames)
    if (SameTextAscii(Text, n.Name)) {
      Color = n.Color;
      return true;
    }
  std::string_view t = Text;
  bool negative = false;
  if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
    negative = t[0] == '-';
    t.remove_prefix(1);
  }
  if (!t.empty() && (t[0] == '$' || (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')))) {
    t.remove_prefix(t[0] == '$' ? 1 : 2);
    if (t.empty() || t.size() > 8) return false;
    std::uint32_t v = 0;
    for (char c : t) {
      const int d = HexDigit(c);
      if (d < 0) return false;
      v = (v << 4) | static_cast<std::uint32_t>(d);
    }
    Color = static_cast<TColor>(negative ? 0u - v : v);
    return true;
  }
  std::int64_t v = 0;
  if (!TryStrToInt(Text, v) || v < INT32_MIN || v > UINT32_MAX) return false;
  Color = static_cast<TColor>(static_cast<std::uint32_t>(v));
  return true;
}

TColor StringToColor(std::string_view Text) {
  TColor c = clNone;
  if (!IdentToColor(Text, c)) throw EConvertError("'" + std::string(Text) + "' is not a valid integer value");
  return c;
}

}  // namespace ond
