// The small objects a scheme of the rule-driven highlighter is made of,
// besides its rules: scheme information, the editor colours a scheme brings,
// attributes that may take a colour from the enclosing range, tokens (single
// symbols, the symbol lists of a range's open and close tags, and the nodes of
// the per-character symbol trees), named colour schemes, and the text forms in
// which scheme files store styles, character sets and token properties.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "highlight/OndEditHighlighter.h"

namespace ond {

class TOndRange;

// What must border a token on one side.
using TOndBreakKind = std::uint8_t;
// Decided by the symbol's last character when the trees are built.
constexpr TOndBreakKind bkUnspecified = 0;
// The token may be part of a longer term on that side.
constexpr TOndBreakKind bkAny = 1;
// The token must border a delimiter on that side.
constexpr TOndBreakKind bkTerm = 2;

// Where a token may start in its line.
using TOndStartLine = std::uint8_t;
constexpr TOndStartLine slAnywhere = 0;
constexpr TOndStartLine slFirstColumn = 1;    // only at position 0
constexpr TOndStartLine slFirstNonSpace = 2;  // only after nothing but tabs and spaces

struct TOndInfoAuthor {
  std::string Name;
  std::string Mail;
  std::string Web;
  std::string Copyright;
  std::string Company;
  std::string Remark;
};

struct TOndInfoGeneral {
  std::string Name;        // the highlighter's display name
  std::string Extensions;  // file extensions without dot, separated by spaces or commas
  std::int32_t Version = 0;
  std::int32_t Revision = 0;
  std::string History;
  std::string Sample;      // sample source of the language
};

class TOndInfo {
 public:
  TOndInfoAuthor Author;
  TOndInfoGeneral General;
  // Empties what identifies a scheme; the history and the author's remark stay.
  void Clear();
};

// Colours a scheme gives the editor.
class TEditorProperties {
 public:
  TColor ActiveLineColor = clNone;
  TColor SelectedForeground = clHighlightText;
  TColor SelectedBackground = clHighlight;
};

// Attributes of a rule; a parent flag makes the rule take that colour from the
// range that encloses it.
class TOndAttributes : public TOndHighlighterAttributes {
 public:
  explicit TOndAttributes(std::string AttribName = {}) : TOndHighlighterAttributes(std::move(AttribName)) {}
  bool ParentForeground = false;
  bool ParentBackground = false;
};

class TAbstractOndToken {
 public:
  TAbstractOndToken() = default;
  explicit TAbstractOndToken(TOndHighlighterAttributes* AAttribs) : Attribs(AAttribs) {}
  virtual ~TAbstractOndToken() = default;
  TAbstractOndToken(const TAbstractOndToken&) = delete;
  TAbstractOndToken& operator=(const TAbstractOndToken&) = delete;

  // Takes the painting and the placement rules of Source; FinishOnEol and
  // OpenRange belong to one token and are not taken.
  void CopyFrom(const TAbstractOndToken& Source) noexcept;

  TOndHighlighterAttributes* Attribs = nullptr;  // not owned
  TOndBreakKind RightBreak = bkUnspecified;
  bool FinishOnEol = false;
  TOndRange* OpenRange = nullptr;  // not owned: the range an open symbol enters
  TOndStartLine StartLine = slAnywhere;
  TOndBreakKind LeftBreak = bkUnspecified;
};

class TOndMultiToken;

class TOndToken : public TAbstractOndToken {
 public:
  TOndToken() = default;
  explicit TOndToken(TOndHighlighterAttributes* AAttribs, std::string ASymbol = {})
      : TAbstractOndToken(AAttribs), Symbol(std::move(ASymbol)) {}
  // A copy of Source's rules with Source's symbol (end-of-line mark included).
  static std::unique_ptr<TOndToken> CopyOf(const TOndToken& Source);
  // A copy of the multi-token's rules with its symbol at Index.
  TOndToken(const TOndMultiToken& Source, int Index);

  // The symbol, followed by one NUL when the token must finish the line.
  std::string GetSymbol() const;

  std::string Symbol;
  TOndToken* ClosingToken = nullptr;  // not owned: for an open symbol, the close token of the same index
  bool Temporary = false;
};

// The open or close symbols of a range, with their common token rules.
class TOndMultiToken : public TAbstractOndToken {
 public:
  TOndMultiToken() {
    RightBreak = bkAny;
    LeftBreak = bkAny;
  }
  int AddSymbol(std::string Text);
  void ClearSymbols() noexcept { FSymbols.clear(); }
  int SymbolCount() const noexcept { return static_cast<int>(FSymbols.size()); }
  // Raises "TOndMultiToken.GetSymbol: Index out of bounds" for a bad index.
  const std::string& GetSymbol(int Index) const;

 private:
  std::vector<std::string> FSymbols;
};

class TTokenNode;

class TTokenNodeList {
 public:
  TTokenNode* AddNode(std::unique_ptr<TTokenNode> Node);
  // The first node whose character is C, byte for byte; null when none.
  TTokenNode* FindNode(char C) const noexcept;
  int NodeCount() const noexcept { return static_cast<int>(FNodes.size()); }
  TTokenNode* Nodes(int Index) const { return FNodes.at(static_cast<std::size_t>(Index)).get(); }

 private:
  std::vector<std::unique_ptr<TTokenNode>> FNodes;
};

// One character of a symbol tree; a node with a token ends a symbol.
class TTokenNode {
 public:
  explicit TTokenNode(char AChar) : Char(AChar) {}
  TTokenNode(char AChar, TOndBreakKind ABreakKind, TOndToken* AToken)
      : Char(AChar), BreakKind(ABreakKind), LeftBreak(AToken ? AToken->LeftBreak : bkUnspecified), Token(AToken) {}

  char Char;
  TOndBreakKind BreakKind = bkUnspecified;
  TOndBreakKind LeftBreak = bkUnspecified;
  TTokenNodeList NextNodes;
  TOndToken* Token = nullptr;  // not owned
};

// A named set of styles with the editor colours that go with it.
class TOndScheme {
 public:
  explicit TOndScheme(std::string AName) : Name(std::move(AName)) {}
  virtual ~TOndScheme() = default;
  TOndScheme(const TOndScheme&) = delete;
  TOndScheme& operator=(const TOndScheme&) = delete;

  TOndAttributes* AddStyle(std::string StyleName, TColor Foreground, TFontStyles Style, TColor Background);
  void ClearStyles() noexcept { FStyles.clear(); }
  int StyleCount() const noexcept { return static_cast<int>(FStyles.size()); }
  TOndAttributes* Styles(int Index) const { return FStyles.at(static_cast<std::size_t>(Index)).get(); }
  // The first style named exactly StyleName; null when none.
  TOndAttributes* GetStyle(std::string_view StyleName) const noexcept;

  std::string Name;
  TEditorProperties EditorProperties;

 private:
  std::vector<std::unique_ptr<TOndAttributes>> FStyles;
};

class TOndGenSchemes {
 public:
  // A new list holds the one scheme "Default".
  TOndGenSchemes();
  virtual ~TOndGenSchemes() = default;
  TOndGenSchemes(const TOndGenSchemes&) = delete;
  TOndGenSchemes& operator=(const TOndGenSchemes&) = delete;

  int SchemeCount() const noexcept { return static_cast<int>(FSchemes.size()); }
  TOndScheme* Schemes(int Index) const { return FSchemes.at(static_cast<std::size_t>(Index)).get(); }
  // Removes every scheme, "Default" included.
  void Clear() noexcept { FSchemes.clear(); }
  TOndScheme* GetScheme(std::string_view SchemeName) const noexcept;
  TOndScheme* AddScheme(std::string SchemeName);

 private:
  std::vector<std::unique_ptr<TOndScheme>> FSchemes;
};

// Text forms of the scheme files.
// "B", "I", "U", "S" for bold, italic, underline and strike-out, in that order.
std::string FontStyleToStr(TFontStyles Style);
// Each upper-case letter B, I, U, S anywhere in Text sets its style.
TFontStyles StrToFontStyle(std::string_view Text);
// The members 1..255 in code order, leaving out tab, LF, CR and space.
std::string SetToStr(const TSysCharSet& Set);
// Every character of Text.
TSysCharSet StrToSet(std::string_view Text);
std::string StartLineToStr(TOndStartLine Value);
TOndStartLine StrToStartLine(std::string_view Text);
// The two sides of a token's "PartOfTerm" text.
TOndBreakKind StrToLeftBreak(std::string_view Text);
TOndBreakKind StrToRightBreak(std::string_view Text);

}  // namespace ond
