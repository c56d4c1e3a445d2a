#include "highlight/OndGenFormatNativeXml18.h"

#include "highlight/OndGenHighlighter.h"
#include "highlight/OndHighlighterRules.h"
#include "highlight/OndSchemeObjects.h"

namespace ond {

namespace scheme1x {

std::vector<std::string> SplitLines(std::string_view Text) {
  std::vector<std::string> lines;
  std::size_t i = 0;
  while (i < Text.size()) {
    std::size_t e = i;
    while (e < Text.size() && Text[e] != '\r' && Text[e] != '\n') ++e;
    lines.emplace_back(Text.substr(i, e - i));
    if (e < Text.size() && Text[e] == '\r') ++e;
    if (e < Text.size() && Text[e] == '\n') ++e;
    i = e;
  }
  return lines;
}

std::string ToCrLfLines(std::string_view Text) {
  std::string out;
  out.reserve(Text.size() + 64);
  bool first = true;
  for (const std::string& line : SplitLines(Text)) {
    // The writer puts a line break in front of the root element too.
    if (first && line.empty()) continue;
    first = false;
    out += line;
    out += "\r\n";
  }
  return out;
}

std::string WithDeclaration(TStream& Stream) {
  return "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n" + Stream.ReadAll();
}

int StrToIntStrict(std::string_view Text) {
  std::int64_t v = 0;
  if (!TryStrToInt(Text, v) || v < INT32_MIN || v > INT32_MAX)
    throw EConvertError("'" + std::string(Text) + "' is not a valid integer value");
  return static_cast<int>(v);
}

std::string ChildLinesText(const IXmlNode& Node) {
  std::string text;
  const IXmlNodeList list = Node->GetChildNodes();
  for (int i = 0; i < list->GetCount(); ++i) {
    text += list->GetItem(i)->GetText();
    text += "\r\n";
  }
  return text;
}

void ReadInfo(TOndInfo& Info, const IXmlNode& Node, TInfoValueReader Read, std::string_view ExtensionsName) {
  const IXmlNode g = Node->ChildOrAppend("General");
  Info.General.Name = Read(g, "Name");
  Info.General.Extensions = Read(g, ExtensionsName);
  const IXmlNode a = Node->ChildOrAppend("Author");
  Info.Author.Name = Read(a, "Name");
  Info.Author.Mail = Read(a, "Email");
  Info.Author.Web = Read(a, "Web");
  Info.Author.Copyright = Read(a, "Copyright");
  Info.Author.Company = Read(a, "Company");
  Info.Author.Remark = Read(a, "Remark");
  const IXmlNode v = Node->ChildOrAppend("Version");
  Info.General.Version = StrToIntStrict(Read(v, "Version"));
  Info.General.Revision = StrToIntStrict(Read(v, "Revision"));
  Info.General.Sample += ChildLinesText(Node->ChildOrAppend("Sample"));
  Info.General.History += ChildLinesText(Node->ChildOrAppend("History"));
}

void WriteInfo(const TOndInfo& Info, const IXmlNode& Node, TInfoValueWriter Write, std::string_view ExtensionsName) {
  const IXmlNode g = Node->AppendElement("General");
  Write(g, "Name", Info.General.Name);
  Write(g, ExtensionsName, Info.General.Extensions);
  const IXmlNode a = Node->AppendElement("Author");
  Write(a, "Name", Info.Author.Name);
  Write(a, "Email", Info.Author.Mail);
  Write(a, "Web", Info.Author.Web);
  Write(a, "Copyright", Info.Author.Copyright);
  Write(a, "Company", Info.Author.Company);
  Write(a, "Remark", Info.Author.Remark);
  const IXmlNode v = Node->AppendElement("Version");
  Write(v, "Version", IntToStr(Info.General.Version));
  Write(v, "Revision", IntToStr(Info.General.Revision));
  // An element's own text is written only when it has no child elements: an
  // empty history stands as a line break, an empty sample as one blank.
  // Setting it beside children would add a text node that reads back as an
  // extra line.
  auto writeLines = [&Node](std::string_view Name, std::string_view Child, const std::string& Text,
                            std::string_view Empty) {
    const IXmlNode e = Node->AppendElement(Name);
    const std::vector<std::string> lines = SplitLines(Text);
    if (lines.empty()) e->SetText(Empty);
    for (const std::string& line : lines) e->AppendElement(Child)->SetText(line);
  };
  writeLines("History", "H", Info.General.History, "\r\n");
  writeLines("Sample", "S", Info.General.Sample, " ");
}

}  // namespace scheme1x

using namespace scheme1x;

namespace {

std::string Attr(const IXmlNode& Node, std::string_view Name) { return Node->GetAttr(Name); }
bool BoolAttr(const IXmlNode& Node, std::string_view Name, bool Default) {
  return StrToBoolDefault(Node->GetAttr(Name), Default);
}
void ReadToken(TOndMultiToken& Token, const IXmlNode& Rule, const std::string& Prefix) {
  Token.FinishOnEol = BoolAttr(Rule, Prefix + "FinishOnEol", false);
  Token.StartLine = StrToStartLine(Attr(Rule, Prefix + "StartLine"));
  const std::string part = Attr(Rule, Prefix + "PartOfTerm");
  Token.LeftBreak = StrToLeftBreak(part);
  Token.RightBreak = StrToRightBreak(part);
}

void WriteToken(const TOndMultiToken& Token, const IXmlNode& Rule, const std::string& Prefix) {
  if (Token.SymbolCount() > 0 && !Token.GetSymbol(0).empty()) Rule->SetAttr(Prefix, Token.GetSymbol(0));
  SetTrueAttr(Rule, Prefix + "FinishOnEol", Token.FinishOnEol);
  if (Token.StartLine != slAnywhere) Rule->SetAttr(Prefix + "StartLine", StartLineToStr(Token.StartLine));
  const std::string part = PartOfTermToStr(Token.LeftBreak, Token.RightBreak);
  if (!part.empty()) Rule->SetAttr(Prefix + "PartOfTerm", part);
}

void WriteRuleHead(const TOndRule& Rule, const IXmlNode& Node, const TOndGenFormatNativeXml& Format) {
  Node->SetAttr("Name", Rule.Name);
  if (!Rule.Enabled) Node->SetAttr("Enabled", "False");
  Format.ExportAttributes(Rule.Attribs(), Node);
  Node->SetAttr("Style", Rule.Style);
}

void ReadRuleHead(TOndRule& Rule, const IXmlNode& Node, const TOndGenFormatNativeXml& Format) {
  Rule.Name = Attr(Node, "Name");
  Rule.Enabled = BoolAttr(Node, "Enabled", true);
  Format.ImportAttributes(Rule.Attribs(), Node);
  Rule.Style = Attr(Node, "Style");
}

}  // namespace

std::string AttributesToCompactText(const TOndAttributes& Attributes) {
  return IntToStr(Attributes.GetForeground()) + "," + IntToStr(Attributes.GetBackground()) + ";" +
         (Attributes.ParentForeground ? "True" : "False") + ":" + (Attributes.ParentBackground ? "True" : "False") +
         "." + FontStyleToStr(Attributes.GetStyle());
}

void CompactTextToAttributes(std::string_view Text, TOndAttributes& Attributes) {
  using npos_t = std::string_view;
  const std::size_t comma = Text.find(',');
  const std::size_t semi = Text.find(';');
  const std::size_t colon = Text.find(':');
  const std::size_t dot = Text.find('.');
  // The text between two separators; empty when one is missing or they are
  // out of order.
  const auto between = [&](std::size_t from, std::size_t to) -> std::string_view {
    if (from == npos_t::npos || to == npos_t::npos || to < from) return {};
    return Text.substr(from, to - from);
  };
  const std::string_view fore = comma == npos_t::npos ? std::string_view{} : Text.substr(0, comma);
  const std::string_view back = between(comma == npos_t::npos ? comma : comma + 1, semi);
  const std::string_view pf = between(semi == npos_t::npos ? semi : semi + 1, colon);
  const std::string_view pb = between(colon == npos_t::npos ? colon : colon + 1, dot);
  const std::string_view style = dot == npos_t::npos ? std::string_view{} : Text.substr(dot + 1);
  std::int64_t v = 0;
  Attributes.ParentForeground = false;
  Attributes.ParentBackground = false;
  Attributes.SetForeground(TryStrToInt(fore, v) ? static_cast<TColor>(v) : clBlack);
  Attributes.SetBackground(TryStrToInt(back, v) ? static_cast<TColor>(v) : clWhite);
  Attributes.ParentForeground = SameText(pf, "true");
  Attributes.ParentBackground = SameText(pb, "true");
  Attributes.SetStyle(StrToFontStyle(style));
}

const TOndGenFormatNativeXml18& TOndGenFormatNativeXml18::Instance() {
  static const TOndGenFormatNativeXml18 instance;
  return instance;
}

bool TOndGenFormatNativeXml18::ImportFromStream(const TOndSchemeObject& Object, TStream* Stream) const {
  CheckStream(Stream);
  TStringStream text(WithDeclaration(*Stream));
  return TOndGenFormatNativeXml::ImportFromStream(Object, &text);
}

bool TOndGenFormatNativeXml18::ExportToStream(const TOndSchemeObject& Object, TStream* Stream) const {
  CheckStream(Stream);
  bool ok = false;
  const std::string text = ToCrLfLines(ExportText(Object, "GenHighlighter", false, ok));
  Stream->WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
  return ok;
}

bool TOndGenFormatNativeXml18::ImportInfo(TOndInfo& Info, const IXmlNode& Node) const {
  ReadInfo(Info, Node, [](const IXmlNode& n, std::string_view name) { return n->GetAttr(name); }, "Extensions");
  return true;
}

bool TOndGenFormatNativeXml18::ExportInfo(const TOndInfo& Info, const IXmlNode& Node) const {
  WriteInfo(Info, Node, [](const IXmlNode& n, std::string_view name, std::string_view value) { n->SetAttr(name, value); },
            "Extensions");
  return true;
}

bool TOndGenFormatNativeXml18::ImportAttributes(TOndAttributes& Attributes, const IXmlNode& Node) const {
  CompactTextToAttributes(Attr(Node, "Attributes"), Attributes);
  return true;
}

bool TOndGenFormatNativeXml18::ExportAttributes(const TOndAttributes& Attributes, const IXmlNode& Node) const {
  Node->SetAttr("Attributes", AttributesToCompactText(Attributes));
  return true;
}

bool TOndGenFormatNativeXml18::ImportKeyList(TOndKeyList& KeyList, const IXmlNode& Node) const {
  ReadRuleHead(KeyList, Node, *this);
  for (const IXmlNode& w : ChildElements(Node)) KeyList.Words.push_back(Attr(w, "value"));
  return true;
}

bool TOndGenFormatNativeXml18::ExportKeyList(const TOndKeyList& KeyList, const IXmlNode& Node) const {
  WriteRuleHead(KeyList, Node, *this);
  for (const std::string& w : KeyList.Words) Node->AppendElement("word")->SetAttr("value", w);
  return true;
}

bool TOndGenFormatNativeXml18::ImportSet(TOndSet& Set, const IXmlNode& Node) const {
  ReadRuleHead(Set, Node, *this);
  Set.CharSet = StrToSet(Attr(Node, "Symbols"));
  return true;
}

bool TOndGenFormatNativeXml18::ExportSet(const TOndSet& Set, const IXmlNode& Node) const {
  WriteRuleHead(Set, Node, *this);
  Node->SetAttr("Symbols", SetToStr(Set.CharSet));
  return true;
}

bool TOndGenFormatNativeXml18::ImportRange(TOndRange& Range, const IXmlNode& Node) const {
  ReadRuleHead(Range, Node, *this);
  Range.SetCaseSensitive(BoolAttr(Node, "CaseSensitive", false));
  Range.Delimiters = StrToSet(Attr(Node, "Delimiters"));
  const IXmlNode rule = Node->ChildOrAppend("Rule");
  Range.SetCloseOnTerm(BoolAttr(rule, "CloseOnTerm", false));
  Range.SetCloseOnEol(BoolAttr(rule, "CloseOnEol", false));
  Range.SetAllowPredClose(BoolAttr(rule, "AllowPredClose", false));
  Range.OpenToken().ClearSymbols();
  Range.CloseToken().ClearSymbols();
  Range.AddCoupleTags(Attr(rule, "OpenSymbol"), Attr(rule, "CloseSymbol"));
  ReadToken(Range.OpenToken(), rule, "OpenSymbol");
  ReadToken(Range.CloseToken(), rule, "CloseSymbol");
  ImportSubRules(Range, Node, "Range", "Keywords", "Set");
  return true;
}

bool TOndGenFormatNativeXml18::ExportRange(const TOndRange& Range, const IXmlNode& Node) const {
  WriteRuleHead(Range, Node, *this);
  SetTrueAttr(Node, "CaseSensitive", Range.GetCaseSensitive());
  Node->SetAttr("Delimiters", SetToStr(Range.Delimiters));
  const IXmlNode rule = Node->AppendElement("Rule");
  WriteToken(Range.OpenToken(), rule, "OpenSymbol");
  WriteToken(Range.CloseToken(), rule, "CloseSymbol");
  SetTrueAttr(rule, "CloseOnTerm", Range.GetCloseOnTerm());
  SetTrueAttr(rule, "CloseOnEol", Range.GetCloseOnEol());
  SetTrueAttr(rule, "AllowPredClose", Range.GetAllowPredClose());
  for (int i = 0; i < Range.KeyListCount(); ++i) ExportKeyList(*Range.KeyLists(i), Node->AppendElement("Keywords"));
  for (int i = 0; i < Range.SetCount(); ++i) ExportSet(*Range.Sets(i), Node->AppendElement("Set"));
  for (int i = 0; i < Range.RangeCount(); ++i) ExportRange(*Range.Ranges(i), Node->AppendElement("Range"));
  return true;
}

bool TOndGenFormatNativeXml18::ImportHighlighter(TOndGenHighlighter& Highlighter, const IXmlNode& Node) const {
  Highlighter.Clear();
  ImportInfo(Highlighter.Info(), Node->ChildOrAppend("Info"));
  ImportSchemes(Highlighter.Schemes(), Node->ChildOrAppend("Scheme"));
  ImportRange(Highlighter.MainRules(), Node->ChildOrAppend("Range"));
  Highlighter.Version = "1.8";
  return true;
}

bool TOndGenFormatNativeXml18::ExportHighlighter(const TOndGenHighlighter& Highlighter, const IXmlNode& Node) const {
  auto& h = const_cast<TOndGenHighlighter&>(Highlighter);
  Node->SetAttr("version", "1.8.3");
  ExportInfo(h.Info(), Node->AppendElement("Info"));
  Node->AppendElement("Scheme");
  ExportRange(h.MainRules(), Node->AppendElement("Range"));
  return true;
}

}  // namespace ond
