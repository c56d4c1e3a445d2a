#include "highlight/OndGenFormatNativeXml15.h"

#include "highlight/OndGenHighlighter.h"
#include "highlight/OndHighlighterRules.h"
#include "highlight/OndSchemeObjects.h"

namespace ond {

using namespace scheme1x;

namespace {

const char* const ImportantInfoText =
    "\r\n\t\t******* Please read carefully *************************"
    "\r\n\t\t* Please, make any changes in this file very carefuly!*"
    "\r\n\t\t* It is much more convinient to use native designer!  *"
    "\r\n\t\t*******************************************************";

// Every occurrence of From, in any letter case, becomes To.
std::string ReplaceAllNoCase(std::string_view Text, std::string_view From, std::string_view To) {
  std::string out;
  out.reserve(Text.size());
  std::size_t i = 0;
  while (i < Text.size()) {
    if (i + From.size() <= Text.size() && SameText(Text.substr(i, From.size()), From)) {
      out += To;
      i += From.size();
    } else {
      out += Text[i++];
    }
  }
  return out;
}

std::string ChildText(const IXmlNode& Node, std::string_view Name) { return Node->GetChildText(Name); }
bool ChildBool(const IXmlNode& Node, std::string_view Name) { return StrToBoolDefault(ChildText(Node, Name), false); }
void SetChild(const IXmlNode& Node, std::string_view Name, std::string_view Text) {
  Node->AppendElement(Name)->SetText(Text);
}
const char* BoolText(bool Value) { return Value ? "True" : "False"; }

// The first child element: the attributes of a rule stand there.
IXmlNode FirstChildElement(const IXmlNode& Node) {
  const std::vector<IXmlNode> children = ChildElements(Node);
  return children.empty() ? Node->ChildOrAppend("Attri") : children.front();
}

// The reader of the XML text drops white-space-only element text; a symbol
// of blanks is no symbol (a range would otherwise open at every blank).
std::string SymbolText(const IXmlNode& Node, std::string_view Name) {
  std::string s = ChildText(Node, Name);
  return s.find_first_not_of(' ') == std::string::npos ? std::string() : s;
}

std::string PartOfTermText(TOndBreakKind Left, TOndBreakKind Right) {
  const std::string text = PartOfTermToStr(Left, Right);
  return text.empty() ? "True" : text;
}

std::string StartLineText(TOndStartLine Kind) { return Kind == slAnywhere ? "False" : StartLineToStr(Kind); }

void ReadToken(TOndMultiToken& Token, const IXmlNode& Node, const std::string& Prefix) {
  Token.FinishOnEol = ChildBool(Node, Prefix + "FinishOnEol");
  Token.StartLine = StrToStartLine(ChildText(Node, Prefix + "StartLine"));
  const std::string part = ChildText(Node, Prefix + "PartOfTerm");
  Token.LeftBreak = StrToLeftBreak(part);
  Token.RightBreak = StrToRightBreak(part);
}

std::string FirstSymbolOrBlank(const TOndMultiToken& Token) {
  if (Token.SymbolCount() == 0 || Token.GetSymbol(0).empty()) return " ";
  return Token.GetSymbol(0);
}

}  // namespace

const TOndGenFormatNativeXml15& TOndGenFormatNativeXml15::Instance() {
  static const TOndGenFormatNativeXml15 instance;
  return instance;
}

std::string TOndGenFormatNativeXml15::ExpandSelfClosingTags(std::string_view Text) {
  std::string out(Text);
  std::size_t from = 0;
  for (;;) {
    const std::size_t close = out.find("/>", from);
    if (close == std::string::npos) return out;
    std::size_t blank = close;
    std::size_t lt = std::string::npos;
    for (std::size_t k = 0; k <= 40 && k <= close; ++k) {
      const std::size_t p = close - k;
      if (out[p] == '<') {
        lt = p;
        break;
      }
      if (out[p] == ' ') blank = p;
    }
    if (lt == std::string::npos) {
      from = close + 2;
      continue;
    }
    const std::string name = out.substr(lt + 1, blank - lt - 1);
    out.replace(close, 2, "></" + name + ">");
    from = close;
  }
}

bool TOndGenFormatNativeXml15::ImportFromStream(const TOndSchemeObject& Object, TStream* Stream) const {
  CheckStream(Stream);
  TStringStream text(ReplaceAllNoCase(WithDeclaration(*Stream), "&qt;", "&quot;"));
  return TOndGenFormatNativeXml::ImportFromStream(Object, &text);
}

bool TOndGenFormatNativeXml15::ExportToStream(const TOndSchemeObject& Object, TStream* Stream) const {
  CheckStream(Stream);
  bool ok = false;
  std::string text = ToCrLfLines(ExportText(Object, "GenHighlighter", false, ok));
  text = ExpandSelfClosingTags(ReplaceAllNoCase(text, "&quot;", "&qt;"));
  Stream->WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
  return ok;
}

bool TOndGenFormatNativeXml15::ImportInfo(TOndInfo& Info, const IXmlNode& Node) const {
  ReadInfo(Info, Node, [](const IXmlNode& n, std::string_view name) { return ChildText(n, name); }, "FileTypeName");
  return true;
}

bool TOndGenFormatNativeXml15::ExportInfo(const TOndInfo& Info, const IXmlNode& Node) const {
  WriteInfo(Info, Node, [](const IXmlNode& n, std::string_view name, std::string_view value) { SetChild(n, name, value); },
            "FileTypeName");
  return true;
}

bool TOndGenFormatNativeXml15::ImportAttributes(TOndAttributes& Attributes, const IXmlNode& Node) const {
  const std::string back = ChildText(Node, "Back");
  const std::string fore = ChildText(Node, "Fore");
  if (!back.empty()) Attributes.SetBackground(StringToColor(back));
  if (!fore.empty()) Attributes.SetForeground(StringToColor(fore));
  Attributes.SetStyle(StrToFontStyle(ChildText(Node, "Style")));
  Attributes.ParentForeground = ChildBool(Node, "ParentForeground");
  Attributes.ParentBackground = ChildBool(Node, "ParentBackground");
  return true;
}

bool TOndGenFormatNativeXml15::ExportAttributes(const TOndAttributes& Attributes, const IXmlNode& Node) const {
  SetChild(Node, "Back", IntToStr(Attributes.GetBackground()));
  SetChild(Node, "Fore", IntToStr(Attributes.GetForeground()));
  SetChild(Node, "Style", FontStyleToStr(Attributes.GetStyle()));
  SetChild(Node, "ParentForeground", BoolText(Attributes.ParentForeground));
  SetChild(Node, "ParentBackground", BoolText(Attributes.ParentBackground));
  return true;
}

bool TOndGenFormatNativeXml15::ExportSchemes(const TOndGenSchemes&, const IXmlNode& Node) const {
  SetChild(Node, "S", "Default");
  return true;
}

bool TOndGenFormatNativeXml15::ImportKeyList(TOndKeyList& KeyList, const IXmlNode& Node) const {
  KeyList.Name = Node->GetAttr("Name");
  ImportAttributes(KeyList.Attribs(), FirstChildElement(Node));
  for (const IXmlNode& w : ChildElements(Node))
    if (w->GetNodeName() == "W") KeyList.Words.push_back(w->GetText());
  return true;
}

bool TOndGenFormatNativeXml15::ExportKeyList(const TOndKeyList& KeyList, const IXmlNode& Node) const {
  Node->SetAttr("Name", KeyList.Name);
  ExportAttributes(KeyList.Attribs(), Node->AppendElement("Attri"));
  for (const std::string& w : KeyList.Words) SetChild(Node, "W", w);
  return true;
}

bool TOndGenFormatNativeXml15::ImportSet(TOndSet& Set, const IXmlNode& Node) const {
  Set.Name = Node->GetAttr("Name");
  ImportAttributes(Set.Attribs(), FirstChildElement(Node));
  Set.CharSet = StrToSet(ChildText(Node, "S"));
  return true;
}

bool TOndGenFormatNativeXml15::ExportSet(const TOndSet& Set, const IXmlNode& Node) const {
  Node->SetAttr("Name", Set.Name);
  ExportAttributes(Set.Attribs(), Node->AppendElement("Attri"));
  SetChild(Node, "S", SetToStr(Set.CharSet));
  return true;
}

bool TOndGenFormatNativeXml15::ImportRange(TOndRange& Range, const IXmlNode& Node) const {
  Range.Name = Node->GetAttr("Name");
  // Values of the first child win over those of Def.
  if (const IXmlElement def = Node->FindChildElement("Def")) ImportAttributes(Range.Attribs(), def);
  ImportAttributes(Range.Attribs(), FirstChildElement(Node));
  Range.OpenToken().ClearSymbols();
  Range.CloseToken().ClearSymbols();
  Range.AddCoupleTags(SymbolText(Node, "OpenSymbol"), SymbolText(Node, "CloseSymbol"));
  Range.Delimiters = StrToSet(ChildText(Node, "DelimiterChars"));
  Range.SetCaseSensitive(ChildBool(Node, "CaseSensitive"));
  Range.SetCloseOnTerm(ChildBool(Node, "CloseOnTerm"));
  Range.SetCloseOnEol(ChildBool(Node, "CloseOnEol"));
  Range.SetAllowPredClose(ChildBool(Node, "AllowPredClose"));
  ReadToken(Range.OpenToken(), Node, "OpenSymbol");
  ReadToken(Range.CloseToken(), Node, "CloseSymbol");
  ImportSubRules(Range, Node, "Range", "KW", "Set");
  return true;
}

bool TOndGenFormatNativeXml15::ExportRange(const TOndRange& Range, const IXmlNode& Node) const {
  Node->SetAttr("Name", Range.Name);
  ExportAttributes(Range.Attribs(), Node->AppendElement("Attri"));
  SetChild(Node, "OpenSymbol", FirstSymbolOrBlank(Range.OpenToken()));
  SetChild(Node, "OpenSymbolFinishOnEol", BoolText(Range.OpenToken().FinishOnEol));
  SetChild(Node, "CloseSymbol", FirstSymbolOrBlank(Range.CloseToken()));
  SetChild(Node, "CloseSymbolFinishOnEol", BoolText(Range.CloseToken().FinishOnEol));
  SetChild(Node, "OpenSymbolStartLine", StartLineText(Range.OpenToken().StartLine));
  SetChild(Node, "CloseSymbolStartLine", StartLineText(Range.CloseToken().StartLine));
  SetChild(Node, "DelimiterChars", SetToStr(Range.Delimiters));
  SetChild(Node, "OpenSymbolPartOfTerm", PartOfTermText(Range.OpenToken().LeftBreak, Range.OpenToken().RightBreak));
  SetChild(Node, "CloseSymbolPartOfTerm",
           PartOfTermText(Range.CloseToken().LeftBreak, Range.CloseToken().RightBreak));
  SetChild(Node, "CloseOnTerm", BoolText(Range.GetCloseOnTerm()));
  SetChild(Node, "CloseOnEol", BoolText(Range.GetCloseOnEol()));
  SetChild(Node, "AllowPredClose", BoolText(Range.GetAllowPredClose()));
  SetChild(Node, "CaseSensitive", BoolText(Range.GetCaseSensitive()));
  for (int i = 0; i < Range.KeyListCount(); ++i) ExportKeyList(*Range.KeyLists(i), Node->AppendElement("KW"));
  for (int i = 0; i < Range.SetCount(); ++i) ExportSet(*Range.Sets(i), Node->AppendElement("Set"));
  for (int i = 0; i < Range.RangeCount(); ++i) ExportRange(*Range.Ranges(i), Node->AppendElement("Range"));
  return true;
}

bool TOndGenFormatNativeXml15::ImportHighlighter(TOndGenHighlighter& Highlighter, const IXmlNode& Node) const {
  Highlighter.Clear();
  ImportInfo(Highlighter.Info(), Node->ChildOrAppend("Info"));
  const std::string index = Node->GetChildText("SchemeIndex");
  if (!index.empty()) StrToIntStrict(index);
  ImportRange(Highlighter.MainRules(), Node->ChildOrAppend("Range"));
  Highlighter.Version = "1.5";
  return true;
}

bool TOndGenFormatNativeXml15::ExportHighlighter(const TOndGenHighlighter& Highlighter, const IXmlNode& Node) const {
  auto& h = const_cast<TOndGenHighlighter&>(Highlighter);
  SetChild(Node, "ImportantInfo", ImportantInfoText);
  ExportInfo(h.Info(), Node->AppendElement("Info"));
  SetChild(Node, "SchemeIndex", "0");
  ExportSchemes(h.Schemes(), Node->AppendElement("Schemes"));
  ExportRange(h.MainRules(), Node->AppendElement("Range"));
  return true;
}

}  // namespace ond
