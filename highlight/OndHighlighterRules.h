// The rules of the rule-driven highlighter. A scheme is a tree of ranges: a
// range is text between an opening and a closing symbol, with its own
// delimiters, case rule, sub-ranges, key lists (words) and sets (runs of
// characters). Preparing a range lays its symbols (key list words, the open
// symbols of its sub-ranges, its own close symbols) into per-character trees
// and gives each of the 256 characters a parser, so that cutting a line into
// tokens is one table look-up and a byte-wise tree walk per token.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "highlight/OndFewBytes.h"
#include "highlight/OndSchemeObjects.h"

namespace ond {

class TOndRange;

// How deep ranges may nest. Preparing, clearing, freeing and collecting
// attributes recurse once per level, so a deeper tree is refused when it is
// built instead of overflowing the stack later.
constexpr int MaxRuleDepth = 100;

class TAbstractRule {
 public:
  TAbstractRule() = default;
  virtual ~TAbstractRule() = default;
  TAbstractRule(const TAbstractRule&) = delete;
  TAbstractRule& operator=(const TAbstractRule&) = delete;
  bool Enabled = true;
};

class TOndRule : public TAbstractRule {
 public:
  TOndRule();

  // The colours as the scheme gives them, with the parent flags.
  TOndAttributes& Attribs() noexcept { return *FAttribs; }
  const TOndAttributes& Attribs() const noexcept { return *FAttribs; }
  // The attributes to paint with: the own ones, with a colour taken from the
  // enclosing range where a parent flag says so (never at the root, which is
  // its own parent). Always the same object, so tokens holding it see later
  // changes.
  TOndHighlighterAttributes* GetAttribs();
  TOndRange* Parent() const noexcept { return FParent; }

  std::string Name;
  std::string Style;  // name of a style of a colour scheme

 protected:
  friend class TOndRange;
  TOndRange* FParent = nullptr;

 private:
  std::unique_ptr<TOndHighlighterAttributes> FEffective;
  std::unique_ptr<TOndAttributes> FAttribs;
};

class TOndKeyList : public TOndRule {
 public:
  // One word per line of WordsText.
  explicit TOndKeyList(std::string_view WordsText = {});
  std::vector<std::string> Words;
};

class TOndSet : public TOndRule {
 public:
  explicit TOndSet(const TSysCharSet& ACharSet = {}) : CharSet(ACharSet) {}
  TSysCharSet CharSet;
  std::int32_t Quantity = 0;  // required length of a match, 0 for any

 private:
  friend class TOndRange;
  friend class TParser;
  // Made by the preparing range: the token of a match, with the set's own
  // attributes, and the set without the NUL byte.
  std::unique_ptr<TOndToken> FToken;
  std::array<bool, 256> FMatch{};
};

class TAbstractParser {
 public:
  virtual ~TAbstractParser() = default;
  // Asks for a token starting at Run in Line (Len bytes; the text ends there,
  // a NUL inside it is an ordinary character). Advances Run by at least one
  // byte unless Run is at the end, and never past the end.
  virtual bool GetToken(const TOndRange& Range, const char* Line, int Len, int& Run, TOndToken*& Token) const = 0;
};

// The parser of a character that starts symbols or set runs.
class TParser : public TAbstractParser {
 public:
  TParser(char FirstChar, TOndBreakKind BreakKind, TOndToken* Token)
      : FRoot(std::make_unique<TTokenNode>(FirstChar, BreakKind, Token)) {}
  explicit TParser(TOndSet* Set) { FSets.push_back(Set); }
  bool GetToken(const TOndRange& Range, const char* Line, int Len, int& Run, TOndToken*& Token) const override;

  TTokenNode* Root() const noexcept { return FRoot.get(); }
  const std::vector<TOndSet*>& Sets() const noexcept { return FSets; }

 private:
  friend class TOndRange;
  std::unique_ptr<TTokenNode> FRoot;
  std::vector<TOndSet*> FSets;  // not owned
  // The range's delimiters without the characters of every set above: what
  // may follow a set run.
  std::array<bool, 256> FAllowed{};
};

// Plain text: one character, no token.
class TDefaultParser : public TAbstractParser {
 public:
  explicit TDefaultParser(std::unique_ptr<TOndToken> Token) : FToken(std::move(Token)) {}
  bool GetToken(const TOndRange& Range, const char* Line, int Len, int& Run, TOndToken*& Token) const override;

 private:
  std::unique_ptr<TOndToken> FToken;
};

// A delimiter: one character with the range's attributes.
class TDelimitersParser : public TAbstractParser {
 public:
  explicit TDelimitersParser(std::unique_ptr<TOndToken> Token) : FToken(std::move(Token)) {}
  bool GetToken(const TOndRange& Range, const char* Line, int Len, int& Run, TOndToken*& Token) const override;

 private:
  std::unique_ptr<TOndToken> FToken;
};

class TOndRange : public TOndRule {
 public:
  explicit TOndRange(std::string_view OpenText = {}, std::string_view CloseText = {});
  ~TOndRange() override;
  // Makes this range the root of a tree: its own parent.
  void MakeRoot() noexcept { FParent = this; }

  // Appends one couple of open and close symbols (empty texts too).
  void AddCoupleTags(std::string_view OpenText, std::string_view CloseText);
  TOndMultiToken& OpenToken() noexcept { return FOpenToken; }
  TOndMultiToken& CloseToken() noexcept { return FCloseToken; }
  const TOndMultiToken& OpenToken() const noexcept { return FOpenToken; }
  const TOndMultiToken& CloseToken() const noexcept { return FCloseToken; }

  // The child becomes this range's; raises when the tree would nest deeper
  // than MaxRuleDepth.
  TOndRange* AddRange(std::unique_ptr<TOndRange> Range);
  TOndKeyList* AddKeyList(std::unique_ptr<TOndKeyList> KeyList);
  TOndSet* AddSet(std::unique_ptr<TOndSet> Set);
  int RangeCount() const noexcept { return static_cast<int>(FRanges.size()); }
  int KeyListCount() const noexcept { return static_cast<int>(FKeyLists.size()); }
  int SetCount() const noexcept { return static_cast<int>(FSets.size()); }
  TOndRange* Ranges(int Index) const { return FRanges.at(static_cast<std::size_t>(Index)).get(); }
  TOndKeyList* KeyLists(int Index) const { return FKeyLists.at(static_cast<std::size_t>(Index)).get(); }
  TOndSet* Sets(int Index) const { return FSets.at(static_cast<std::size_t>(Index)).get(); }

  bool GetCaseSensitive() const noexcept { return FCaseSensitive; }
  void SetCaseSensitive(bool Value) noexcept { FCaseSensitive = Value; }
  bool GetAllowPredClose() const noexcept { return FAllowPredClose; }
  void SetAllowPredClose(bool Value) noexcept { FAllowPredClose = Value; }
  bool GetCloseOnEol() const noexcept { return FCloseOnEol; }
  void SetCloseOnEol(bool Value) noexcept { FCloseOnEol = Value; }
  bool GetCloseOnTerm() const noexcept { return FCloseOnTerm; }
  void SetCloseOnTerm(bool Value) noexcept { FCloseOnTerm = Value; }
  TSysCharSet Delimiters;

  // Back to one empty couple, no flags, no sub-ranges, key lists, sets or
  // tokens; name, style, attributes, case rule and delimiters stay.
  void Clear();
  // The first token of this range whose symbol is exactly Symbol.
  TOndToken* FindToken(std::string_view Symbol) const noexcept;
  // Adds Token unless one of the same symbol is there; returns the one kept.
  TOndToken* AddToken(std::unique_ptr<TOndToken> Token);
  int TokenCount() const noexcept { return static_cast<int>(FTokens.size()); }
  TOndToken* Tokens(int Index) const { return FTokens.at(static_cast<std::size_t>(Index)).get(); }

  void Prepare(TOndRange* ParentRange);
  void Unprepare() noexcept;
  bool Prepared() const noexcept { return FPrepared; }

  // What the tokenizer reads of a prepared range.
  char FoldChar(char C) const noexcept {
    return FCaseSensitive ? C : static_cast<char>(FUpper[static_cast<unsigned char>(C)]);
  }
  bool IsDelimiter(char C) const noexcept { return FDelims[static_cast<unsigned char>(C)]; }
  bool IsTermStart(char C) const noexcept { return FTermStart[static_cast<unsigned char>(FoldChar(C))]; }
  const TAbstractParser* ParserFor(char C) const noexcept {
    return FSymbolList[static_cast<unsigned char>(FoldChar(C))];
  }
  TOndToken* DefaultToken() const noexcept { return FDefaultToken.get(); }
  // The parser of the delimiters that start no token of their own: each is
  // a token by itself that neither opens nor closes a range.
  const TAbstractParser* DelimitersParser() const noexcept { return FDelimitersParser.get(); }
  // The bytes that may begin a token entering a range or closing this one,
  // when SkipsToStateChars: then a token that begins at any other byte
  // changes no state and never reaches over one of them, so a pass that
  // wants only the state a line ends in may jump from one to the next.
  const std::array<bool, 256>& StateChars() const noexcept { return FStateChars; }
  bool SkipsToStateChars() const noexcept { return FSkipsToStateChars; }
  // Finds the next state byte, several bytes at a time when they are few.
  // Valid when SkipsToStateChars.
  const TOndFewBytes& StateBytes() const noexcept { return FStateBytes; }
  // For a state byte whose symbol tree ends in its root for any byte that
  // no branch of the root begins with (a one-byte token that asks at most
  // for a delimiter after it): the root, else null. Valid when
  // SkipsToStateChars.
  const TTokenNode* PlainStop(char C) const noexcept { return FPlainStops[static_cast<unsigned char>(C)]; }
  // For a state byte whose symbol tree's root is a token that may stand
  // anywhere in a line, whatever it asks of the byte after it, and no set
  // run begins with it: the root, else null. What the parser makes of the
  // byte then depends on the byte after it alone, unless a longer symbol
  // goes on with that one. Valid when SkipsToStateChars.
  const TTokenNode* StateStop(char C) const noexcept { return FStateStops[static_cast<unsigned char>(C)]; }
  // Whether Node's symbol may end at P for a token that started at Start.
  bool NodeMatches(const TTokenNode& Node, const char* Line, int Len, int P, int Start) const noexcept;

  // The close token in effect while this range is current, set on entering.
  TOndToken* ClosingToken = nullptr;
  // The highlighter's state identifier of this range as it was last entered.
  std::int32_t StateId = 0;

 private:
  std::string FoldString(std::string_view S) const;
  void AddRest(TTokenNode& Root, std::string_view Rest, TOndToken* Token, TOndBreakKind BreakKind);
  void BuildTrees();
  void AddSetsToSlots();
  void FindStateChars();
  int Depth() const noexcept;
  int Height() const noexcept;

  bool FPrepared = false;
  TOndMultiToken FOpenToken;
  TOndMultiToken FCloseToken;
  bool FCaseSensitive = false;
  bool FAllowPredClose = false;
  bool FCloseOnEol = false;
  bool FCloseOnTerm = false;
  std::vector<std::unique_ptr<TOndRange>> FRanges;
  std::vector<std::unique_ptr<TOndKeyList>> FKeyLists;
  std::vector<std::unique_ptr<TOndSet>> FSets;
  std::vector<std::unique_ptr<TOndToken>> FTokens;
  std::unique_ptr<TOndToken> FDefaultToken;
  std::unique_ptr<TDefaultParser> FDefaultParser;
  std::unique_ptr<TDelimitersParser> FDelimitersParser;
  std::vector<std::unique_ptr<TParser>> FParsers;  // the slots' own parsers
  std::array<const TAbstractParser*, 256> FSymbolList{};
  std::array<bool, 256> FTermStart{};
  std::array<bool, 256> FDelims{};
  std::array<bool, 256> FStateChars{};
  bool FSkipsToStateChars = false;
  TOndFewBytes FStateBytes;
  std::array<const TTokenNode*, 256> FPlainStops{};
  std::array<const TTokenNode*, 256> FStateStops{};
  const unsigned char* FUpper;
};

}  // namespace ond
