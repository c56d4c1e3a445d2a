#include "highlight/OndSchemeObjects.h"

namespace ond {

void TOndInfo::Clear() {
  General.Name.clear();
  General.Extensions.clear();
  General.Sample.clear();
  General.Version = 0;
  General.Revision = 0;
  Author.Name.clear();
  Author.Mail.clear();
  Author.Web.clear();
  Author.Copyright.clear();
  Author.Company.clear();
}

void TAbstractOndToken::CopyFrom(const TAbstractOndToken& Source) noexcept {
  Attribs = Source.Attribs;
  StartLine = Source.StartLine;
  LeftBreak = Source.LeftBreak;
  RightBreak = Source.RightBreak;
}

std::unique_ptr<TOndToken> TOndToken::CopyOf(const TOndToken& Source) {
  auto t = std::make_unique<TOndToken>();
  t->CopyFrom(Source);
  t->Symbol = Source.GetSymbol();
  return t;
}

TOndToken::TOndToken(const TOndMultiToken& Source, int Index) {
  CopyFrom(Source);
  Symbol = Source.GetSymbol(Index);
}

std::string TOndToken::GetSymbol() const {
  if (!FinishOnEol) return Symbol;
  std::string s = Symbol;
  s.push_back('\0');
  return s;
}

int TOndMultiToken::AddSymbol(std::string Text) {
  FSymbols.push_back(std::move(Text));
  return SymbolCount() - 1;
}

const std::string& TOndMultiToken::GetSymbol(int Index) const {
  if (Index < 0 || Index >= SymbolCount()) throw Exception("TOndMultiToken.GetSymbol: Index out of bounds");
  return FSymbols[static_cast<std::size_t>(Index)];
}

TTokenNode* TTokenNodeList::AddNode(std::unique_ptr<TTokenNode> Node) {
  FNodes.push_back(std::move(Node));
  return FNodes.back().get();
}

TTokenNode* TTokenNodeList::FindNode(char C) const noexcept {
  for (const auto& n : FNodes)
    if (n->Char == C) return n.get();
  return nullptr;
}

TOndAttributes* TOndScheme::AddStyle(std::string StyleName, TColor Foreground, TFontStyles Style,
                                     TColor Background) {
  auto a = std::make_unique<TOndAttributes>(std::move(StyleName));
  a->SetForeground(Foreground);
  a->SetStyle(Style);
  a->SetBackground(Background);
  FStyles.push_back(std::move(a));
  return FStyles.back().get();
}

TOndAttributes* TOndScheme::GetStyle(std::string_view StyleName) const noexcept {
  for (const auto& s : FStyles)
    if (s->Name() == StyleName) return s.get();
  return nullptr;
}

TOndGenSchemes::TOndGenSchemes() { AddScheme("Default"); }

TOndScheme* TOndGenSchemes::GetScheme(std::string_view SchemeName) const noexcept {
  for (const auto& s : FSchemes)
    if (s->Name == SchemeName) return s.get();
  return nullptr;
}

TOndScheme* TOndGenSchemes::AddScheme(std::string SchemeName) {
  FSchemes.push_back(std::make_unique<TOndScheme>(std::move(SchemeName)));
  return FSchemes.back().get();
}

namespace {
constexpr struct {
  TFontStyles Style;
  char Letter;
} kStyleLetters[] = {{fsBold, 'B'}, {fsItalic, 'I'}, {fsUnderline, 'U'}, {fsStrikeOut, 'S'}};
}  // namespace

std::string FontStyleToStr(TFontStyles Style) {
  std::string s;
  for (const auto& l : kStyleLetters)
    if (Style & l.Style) s.push_back(l.Letter);
  return s;
}

TFontStyles StrToFontStyle(std::string_view Text) {
  TFontStyles style = 0;
  for (const auto& l : kStyleLetters)
    if (Text.find(l.Letter) != std::string_view::npos) style |= l.Style;
  return style;
}

std::string SetToStr(const TSysCharSet& Set) {
  std::string s;
  for (int c = 1; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    if (ch == '\t' || ch == '\n' || ch == '\r' || ch == ' ') continue;
    if (Set.Contains(ch)) s.push_back(ch);
  }
  return s;
}

TSysCharSet StrToSet(std::string_view Text) { return TSysCharSet(Text); }

std::string StartLineToStr(TOndStartLine Value) {
  switch (Value) {
    case slFirstColumn: return "True";
    case slFirstNonSpace: return "NonSpace";
    default: return {};
  }
}

TOndStartLine StrToStartLine(std::string_view Text) {
  if (Text == "True" || Text == "First") return slFirstColumn;
  if (Text == "NonSpace") return slFirstNonSpace;
  return slAnywhere;
}

TOndBreakKind StrToLeftBreak(std::string_view Text) {
  if (Text.empty() || Text == "True" || Text == "Left") return bkAny;
  if (Text == "Right" || Text == "False") return bkTerm;
  return bkUnspecified;
}

TOndBreakKind StrToRightBreak(std::string_view Text) {
  if (Text.empty() || Text == "True" || Text == "Right") return bkAny;
  if (Text == "Left" || Text == "False") return bkTerm;
  return bkUnspecified;
}

}  // namespace ond
