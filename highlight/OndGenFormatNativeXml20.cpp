#include "highlight/OndGenFormatNativeXml20.h"

#include "highlight/OndFoldRegions.h"
#include "highlight/OndGenHighlighter.h"
#include "highlight/OndHighlighterRules.h"
#include "highlight/OndSchemeObjects.h"

namespace ond {

namespace {

// Nested SubRegions deeper than this are not read: a hostile file gets a
// clear error instead of a deep native recursion.
constexpr int MaxFoldRegionDepth = 100;

std::string Attr(const IXmlNode& Node, std::string_view Name) { return Node->GetAttr(Name); }
bool BoolAttr(const IXmlNode& Node, std::string_view Name, bool Default) {
  return VarToBoolDefault(Node->GetVariantAttr(Name), Default);
}
int IntAttr(const IXmlNode& Node, std::string_view Name, int Default) {
  return VarToIntDefault(Node->GetVariantAttr(Name), Default);
}
TColor ColorAttr(const IXmlNode& Node, std::string_view Name, TColor Default) {
  return VarToColorDefault(Node->GetVariantAttr(Name), Default);
}
IXmlNode Child(const IXmlNode& Node, std::string_view Name) { return Node->ChildOrAppend(Name); }
IXmlNode Append(const IXmlNode& Node, std::string_view Name) { return Node->AppendElement(Name); }

std::string WordsText(const std::vector<std::string>& Words) {
  std::string text;
  for (const std::string& w : Words) {
    text += w;
    text += "\r\n";
  }
  return text;
}

TFoldRegionType FoldTypeOf(int Value) {
  // Types the fold scanner does not know stay unknown (it ignores them).
  return Value >= 0 && Value < 255 ? static_cast<TFoldRegionType>(Value) : static_cast<TFoldRegionType>(255);
}

}  // namespace

std::vector<IXmlNode> ChildElements(const IXmlNode& Node) {
  std::vector<IXmlNode> out;
  const IXmlNodeList list = Node->GetChildNodes();
  for (int i = 0; i < list->GetCount(); ++i) {
    IXmlNode n = list->GetItem(i);
    if (n && n->GetNodeType() == XML_ELEMENT_NODE) out.push_back(std::move(n));
  }
  return out;
}

const TOndGenFormatNativeXml20& TOndGenFormatNativeXml20::Instance() {
  static const TOndGenFormatNativeXml20 instance;
  return instance;
}

bool TOndGenFormatNativeXml20::ImportInfo(TOndInfo& Info, const IXmlNode& Node) const {
  const IXmlNode g = Child(Node, "General");
  Info.General.Name = Attr(g, "Name");
  Info.General.Extensions = Attr(g, "Extensions");
  Info.General.Version = IntAttr(g, "Version", 0);
  Info.General.Revision = IntAttr(g, "Revision", 0);
  Info.General.Sample = Attr(g, "Sample");
  Info.General.History = Attr(g, "History");
  const IXmlNode a = Child(Node, "Author");
  Info.Author.Name = Attr(a, "Name");
  Info.Author.Mail = Attr(a, "Mail");
  Info.Author.Web = Attr(a, "Web");
  Info.Author.Copyright = Attr(a, "Copyright");
  Info.Author.Company = Attr(a, "Company");
  Info.Author.Remark = Attr(a, "Remark");
  return true;
}

bool TOndGenFormatNativeXml20::ExportInfo(const TOndInfo& Info, const IXmlNode& Node) const {
  const IXmlNode g = Append(Node, "General");
  g->SetAttr("Name", Info.General.Name);
  g->SetAttr("Extensions", Info.General.Extensions);
  g->SetAttr("Version", IntToStr(Info.General.Version));
  g->SetAttr("Revision", IntToStr(Info.General.Revision));
  g->SetAttr("Sample", Info.General.Sample);
  g->SetAttr("History", Info.General.History);
  const IXmlNode a = Append(Node, "Author");
  a->SetAttr("Name", Info.Author.Name);
  a->SetAttr("Mail", Info.Author.Mail);
  a->SetAttr("Web", Info.Author.Web);
  a->SetAttr("Copyright", Info.Author.Copyright);
  a->SetAttr("Company", Info.Author.Company);
  a->SetAttr("Remark", Info.Author.Remark);
  return true;
}

bool TOndGenFormatNativeXml20::ImportEditorProperties(TEditorProperties& Props, const IXmlNode& Node) const {
  Props.ActiveLineColor = ColorAttr(Node, "ActiveLineColor", clNone);
  Props.SelectedForeground = ColorAttr(Node, "SelectedForeground", clHighlightText);
  Props.SelectedBackground = ColorAttr(Node, "SelectedBackground", clHighlight);
  return true;
}

bool TOndGenFormatNativeXml20::ExportEditorProperties(const TEditorProperties& Props, const IXmlNode& Node) const {
  if (Props.ActiveLineColor != clNone) Node->SetAttr("ActiveLineColor", ColorToString(Props.ActiveLineColor));
  if (Props.SelectedForeground != clHighlightText)
    Node->SetAttr("SelectedForeground", ColorToString(Props.SelectedForeground));
  if (Props.SelectedBackground != clHighlight)
    Node->SetAttr("SelectedBackground", ColorToString(Props.SelectedBackground));
  return true;
}

bool TOndGenFormatNativeXml20::ImportAttributes(TOndAttributes& Attributes, const IXmlNode& Node) const {
  Attributes.ParentForeground = false;
  Attributes.ParentBackground = false;
  Attributes.SetForeground(ColorAttr(Node, "Foreground", clWindowText));
  Attributes.SetBackground(ColorAttr(Node, "Background", clWindow));
  Attributes.ParentForeground = BoolAttr(Node, "ParentForeground", false);
  Attributes.ParentBackground = BoolAttr(Node, "ParentBackground", false);
  Attributes.SetStyle(StrToFontStyle(Attr(Node, "Style")));
  return true;
}

bool TOndGenFormatNativeXml20::ExportAttributes(const TOndAttributes& Attributes, const IXmlNode& Node) const {
  Node->SetAttr("Foreground", ColorToString(Attributes.GetForeground()));
  Node->SetAttr("Background", ColorToString(Attributes.GetBackground()));
  SetTrueAttr(Node, "ParentForeground", Attributes.ParentForeground);
  SetTrueAttr(Node, "ParentBackground", Attributes.ParentBackground);
  if (Attributes.GetStyle() != 0) Node->SetAttr("Style", FontStyleToStr(Attributes.GetStyle()));
  return true;
}

bool TOndGenFormatNativeXml20::ImportSchemes(TOndGenSchemes& Schemes, const IXmlNode& Node) const {
  Schemes.Clear();
  for (const IXmlNode& s : ChildElements(Node)) {
    TOndScheme* scheme = Schemes.AddScheme(Attr(s, "Name"));
    ImportEditorProperties(scheme->EditorProperties, Child(s, "Editor"));
    for (const IXmlNode& st : ChildElements(Child(s, "Styles"))) {
      TOndAttributes* style = scheme->AddStyle(Attr(st, "Name"), clWindowText, 0, clWindow);
      ImportAttributes(*style, st);
    }
  }
  return true;
}

bool TOndGenFormatNativeXml20::ExportSchemes(const TOndGenSchemes& Schemes, const IXmlNode& Node) const {
  for (int i = 0; i < Schemes.SchemeCount(); ++i) {
    const TOndScheme* scheme = Schemes.Schemes(i);
    const IXmlNode s = Append(Node, "Scheme");
    s->SetAttr("Name", scheme->Name);
    ExportEditorProperties(scheme->EditorProperties, Append(s, "Editor"));
    const IXmlNode styles = Append(s, "Styles");
    for (int j = 0; j < scheme->StyleCount(); ++j) {
      const TOndAttributes* style = scheme->Styles(j);
      const IXmlNode st = Append(styles, "Style");
      st->SetAttr("Name", style->Name());
      ExportAttributes(*style, st);
    }
  }
  return true;
}

bool TOndGenFormatNativeXml20::ImportToken(TOndMultiToken& Token, const IXmlNode& Node) const {
  Token.ClearSymbols();
  Token.FinishOnEol = BoolAttr(Node, "FinishOnEol", false);
  Token.StartLine = StrToStartLine(Attr(Node, "StartLine"));
  const std::string part = Attr(Node, "PartOfTerm");
  Token.LeftBreak = StrToLeftBreak(part);
  Token.RightBreak = StrToRightBreak(part);
  return true;
}

bool TOndGenFormatNativeXml20::ExportToken(const TOndMultiToken& Token, const IXmlNode& Node) const {
  SetTrueAttr(Node, "FinishOnEol", Token.FinishOnEol);
  Node->SetAttr("StartLine", StartLineToStr(Token.StartLine));
  const std::string part = PartOfTermToStr(Token.LeftBreak, Token.RightBreak);
  if (!part.empty()) Node->SetAttr("PartOfTerm", part);
  return true;
}

bool TOndGenFormatNativeXml20::ImportKeyList(TOndKeyList& KeyList, const IXmlNode& Node) const {
  KeyList.Name = Attr(Node, "Name");
  KeyList.Enabled = BoolAttr(Node, "Enabled", true);
  KeyList.Style = Attr(Node, "Style");
  KeyList.Words = TOndKeyList(Attr(Node, "Words")).Words;
  ImportAttributes(KeyList.Attribs(), Child(Node, "Attributes"));
  return true;
}

bool TOndGenFormatNativeXml20::ExportKeyList(const TOndKeyList& KeyList, const IXmlNode& Node) const {
  Node->SetAttr("Name", KeyList.Name);
  Node->SetAttr("Enabled", KeyList.Enabled ? "True" : "False");
  Node->SetAttr("Style", KeyList.Style);
  Node->SetAttr("Words", WordsText(KeyList.Words));
  ExportAttributes(KeyList.Attribs(), Append(Node, "Attributes"));
  return true;
}

bool TOndGenFormatNativeXml20::ImportSet(TOndSet& Set, const IXmlNode& Node) const {
  Set.Name = Attr(Node, "Name");
  Set.Enabled = BoolAttr(Node, "Enabled", true);
  Set.Style = Attr(Node, "Style");
  Set.CharSet = VarToCharSet(Node->GetVariantAttr("Symbols"));
  Set.Quantity = IntAttr(Node, "Quantity", 0);
  ImportAttributes(Set.Attribs(), Child(Node, "Attributes"));
  return true;
}

bool TOndGenFormatNativeXml20::ExportSet(const TOndSet& Set, const IXmlNode& Node) const {
  Node->SetAttr("Name", Set.Name);
  Node->SetAttr("Enabled", Set.Enabled ? "True" : "False");
  Node->SetAttr("Style", Set.Style);
  Node->SetAttr("Symbols", SetToStr(Set.CharSet));
  Node->SetAttr("Quantity", IntToStr(Set.Quantity));
  ExportAttributes(Set.Attribs(), Append(Node, "Attributes"));
  return true;
}

bool TOndGenFormatNativeXml20::ImportRange(TOndRange& Range, const IXmlNode& Node) const {
  Range.Clear();
  Range.Name = Attr(Node, "Name");
  Range.Enabled = BoolAttr(Node, "Enabled", true);
  Range.SetCaseSensitive(BoolAttr(Node, "CaseSensitive", false));
  Range.Style = Attr(Node, "Style");
  Range.Delimiters = VarToCharSet(Child(Node, "Delimiters")->GetVariantAttr("Value"));
  ImportAttributes(Range.Attribs(), Child(Node, "Attributes"));
  const IXmlNode props = Child(Node, "Properties");
  Range.SetCloseOnEol(BoolAttr(props, "CloseOnEol", false));
  Range.SetCloseOnTerm(BoolAttr(props, "CloseOnTerm", false));
  Range.SetAllowPredClose(BoolAttr(props, "AllowPredClose", false));
  ImportToken(Range.OpenToken(), Child(Node, "OpenToken"));
  ImportToken(Range.CloseToken(), Child(Node, "CloseToken"));
  for (const IXmlNode& t : ChildElements(Child(Node, "MultiTokens")))
    Range.AddCoupleTags(Attr(t, "Open"), Attr(t, "Close"));
  ImportSubRules(Range, Child(Node, "SubRules"), "Range", "KeyList", "Set");
  return true;
}

bool TOndGenFormatNativeXml20::ExportRange(const TOndRange& Range, const IXmlNode& Node) const {
  Node->SetAttr("Name", Range.Name);
  if (!Range.Enabled) Node->SetAttr("Enabled", "False");
  SetTrueAttr(Node, "CaseSensitive", Range.GetCaseSensitive());
  Node->SetAttr("Style", Range.Style);
  ExportAttributes(Range.Attribs(), Append(Node, "Attributes"));
  Append(Node, "Delimiters")->SetAttr("Value", SetToStr(Range.Delimiters));
  if (Node->GetNodeName() != "MainRules") {
    ExportToken(Range.OpenToken(), Append(Node, "OpenToken"));
    ExportToken(Range.CloseToken(), Append(Node, "CloseToken"));
    const IXmlNode props = Append(Node, "Properties");
    SetTrueAttr(props, "CloseOnTerm", Range.GetCloseOnTerm());
    SetTrueAttr(props, "CloseOnEol", Range.GetCloseOnEol());
    SetTrueAttr(props, "AllowPredClose", Range.GetAllowPredClose());
    const IXmlNode multi = Append(Node, "MultiTokens");
    for (int i = 0; i < Range.OpenToken().SymbolCount(); ++i) {
      const IXmlNode t = Append(multi, "Tokens");
      const std::string& open = Range.OpenToken().GetSymbol(i);
      if (!open.empty()) t->SetAttr("Open", open);
      if (i < Range.CloseToken().SymbolCount()) {
        const std::string& close = Range.CloseToken().GetSymbol(i);
        if (!close.empty()) t->SetAttr("Close", close);
      }
    }
  }
  const IXmlNode subs = Append(Node, "SubRules");
  for (int i = 0; i < Range.RangeCount(); ++i) ExportRange(*Range.Ranges(i), Append(subs, "Range"));
  for (int i = 0; i < Range.KeyListCount(); ++i) ExportKeyList(*Range.KeyLists(i), Append(subs, "KeyList"));
  for (int i = 0; i < Range.SetCount(); ++i) ExportSet(*Range.Sets(i), Append(subs, "Set"));
  return true;
}

void TOndGenFormatNativeXml20::ImportFoldRegions(TFoldRegions& Regions, const IXmlNode& Node, int Depth) {
  if (Depth > MaxFoldRegionDepth) throw Exception("Fold regions are nested too deeply");
  for (const IXmlNode& e : ChildElements(Node)) {
    if (SameText(e->GetNodeName(), "SkipRegion")) {
      std::string open, close, escape;
      int type = 0;
      for (const IXmlNode& c : ChildElements(e)) {
        const std::string n = c->GetNodeName();
        if (n == "Open") open = Attr(c, "Symbol");
        else if (n == "Close") close = Attr(c, "Symbol");
        else if (n == "Escape") escape = Attr(c, "Symbol");
        else if (n == "RegionType") type = IntAttr(c, "Type", 0);
      }
      const auto t = type >= 0 && type < 255 ? static_cast<TSkipRegionItemType>(type) : TSkipRegionItemType(255);
      Regions.SkipRegions().Add(open, close, t, escape);
      continue;
    }
    const IXmlNode openTok = Child(e, "OpenToken");
    const IXmlNode closeTok = Child(e, "CloseToken");
    const IXmlNode props = Child(e, "Properties");
    TFoldRegionItem* item = Regions.Add(FoldTypeOf(IntAttr(e, "Type", 0)), BoolAttr(props, "AddEnding", false),
                                        BoolAttr(props, "AllowNoSubs", false), BoolAttr(props, "WholeWords", false),
                                        Attr(openTok, "Symbol"), Attr(closeTok, "Symbol"));
    item->Name = Attr(e, "Name");
    item->OpenRegex = Attr(openTok, "Regex");
    item->CloseRegex = Attr(closeTok, "Regex");
    item->OpenUseRegex = BoolAttr(openTok, "UseRegex", false);
    item->CloseUseRegex = BoolAttr(closeTok, "UseRegex", false);
    ImportFoldRegions(item->SubFoldRegions(), Child(e, "SubRegions"), Depth + 1);
  }
}

void TOndGenFormatNativeXml20::ExportFoldRegions(const TFoldRegions& Regions, const IXmlNode& Node) {
  const TSkipRegions& skips = Regions.SkipRegions();
  for (int i = 0; i < skips.Count(); ++i) {
    const TSkipRegionItem* s = skips.Items(i);
    const IXmlNode e = Append(Node, "SkipRegion");
    if (!s->Open.empty()) Append(e, "Open")->SetAttr("Symbol", s->Open);
    if (!s->Close.empty()) Append(e, "Close")->SetAttr("Symbol", s->Close);
    if (!s->Escape.empty()) Append(e, "Escape")->SetAttr("Symbol", s->Escape);
    Append(e, "RegionType")->SetAttr("Type", IntToStr(s->RegionType));
  }
  for (int i = 0; i < Regions.Count(); ++i) {
    const TFoldRegionItem* f = Regions.Items(i);
    const IXmlNode e = Append(Node, "FoldRegion");
    e->SetAttr("Name", f->Name);
    e->SetAttr("Type", IntToStr(f->RegionType));
    const auto token = [&](std::string_view name, const std::string& symbol, const std::string& regex, bool use) {
      const IXmlNode t = Append(e, name);
      if (!symbol.empty()) t->SetAttr("Symbol", symbol);
      if (!regex.empty()) t->SetAttr("Regex", regex);
      SetTrueAttr(t, "UseRegex", use);
    };
    token("OpenToken", f->Open, f->OpenRegex, f->OpenUseRegex);
    token("CloseToken", f->Close, f->CloseRegex, f->CloseUseRegex);
    const IXmlNode props = Append(e, "Properties");
    SetTrueAttr(props, "AddEnding", f->AddEnding);
    SetTrueAttr(props, "AllowNoSubs", f->AllowNoSubs);
    SetTrueAttr(props, "WholeWords", f->WholeWords);
    ExportFoldRegions(f->SubFoldRegions(), Append(e, "SubRegions"));
  }
}

void TOndGenFormatNativeXml20::ImportCustomData(std::vector<std::string>& Data, const IXmlNode& Node) {
  Data.clear();
  for (const IXmlNode& e : ChildElements(Node)) Data.push_back(Attr(e, "Name") + "=" + Attr(e, "Value"));
}

void TOndGenFormatNativeXml20::ExportCustomData(const std::vector<std::string>& Data, const IXmlNode& Node) {
  for (const std::string& line : Data) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    const IXmlNode e = Append(Node, "Entry");
    e->SetAttr("Name", line.substr(0, eq));
    e->SetAttr("Value", line.substr(eq + 1));
  }
}

bool TOndGenFormatNativeXml20::ImportHighlighter(TOndGenHighlighter& Highlighter, const IXmlNode& Node) const {
  // A 1.x document handed to this reader (a byte-order mark or a declaration
  // in front hides it from detection) is not an empty 2.0 scheme.
  if (Node->GetNodeName() == "GenHighlighter") return false;
  Highlighter.Clear();
  const IXmlNode coloring = Child(Node, "SyntaxColoring");
  ImportInfo(Highlighter.Info(), Child(coloring, "Info"));
  ImportSchemes(Highlighter.Schemes(), Child(coloring, "Schemes"));
  Highlighter.SetActiveScheme(Highlighter.Schemes().GetScheme("Default"));
  ImportEditorProperties(Highlighter.EditorProperties(), Child(coloring, "Editor"));
  ImportRange(Highlighter.MainRules(), Child(coloring, "MainRules"));
  ImportFoldRegions(Highlighter.FoldRegions(), Child(Node, "CodeFolding"));
  ImportCustomData(Highlighter.CustomData, Child(Node, "CustomData"));
  Highlighter.Version = "2.0";
  return true;
}

bool TOndGenFormatNativeXml20::ExportHighlighter(const TOndGenHighlighter& Highlighter, const IXmlNode& Node) const {
  auto& h = const_cast<TOndGenHighlighter&>(Highlighter);
  Node->SetAttr("Version", "2.0");
  const IXmlNode coloring = Append(Node, "SyntaxColoring");
  ExportInfo(h.Info(), Append(coloring, "Info"));
  ExportSchemes(h.Schemes(), Append(coloring, "Schemes"));
  ExportEditorProperties(h.EditorProperties(), Append(coloring, "Editor"));
  ExportRange(h.MainRules(), Append(coloring, "MainRules"));
  ExportFoldRegions(h.FoldRegions(), Append(Node, "CodeFolding"));
  ExportCustomData(h.CustomData, Append(Node, "CustomData"));
  return true;
}

}  // namespace ond
