// The rule-driven highlighter every editor panel uses. It knows no language of
// its own: a scheme gives it a tree of rules rooted in MainRules, colour
// schemes, scheme information and editor colours. It cuts a line into tokens
// as a small state machine over the rule tree; the state a line ends in is the
// range it ends in, handed out as a small identifier that the highlighter can
// check when it gets it back.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "highlight/OndEditHighlighter.h"
#include "platform/core/Classes.h"
#include "highlight/OndHighlighterRules.h"
#include "highlight/OndSchemeObjects.h"

namespace ond {

class TOndGenHighlighter : public TOndCustomHighlighter {
 public:
  TOndGenHighlighter();
  ~TOndGenHighlighter() override;

  // The root of the rule tree; it is its own parent.
  TOndRange& MainRules() noexcept { return *FMainRules; }
  TOndInfo& Info() noexcept { return FInfo; }
  TOndGenSchemes& Schemes() noexcept { return FSchemes; }
  TEditorProperties& EditorProperties() noexcept { return FEditorProperties; }
  TOndScheme* GetActiveScheme() const noexcept { return FActiveScheme; }
  void SetActiveScheme(TOndScheme* Scheme) noexcept { FActiveScheme = Scheme; }
  std::string SchemeFileName;
  std::string Version;  // format version of the last scheme read
  std::vector<std::string> CustomData;

  // Empties the rules, the colour schemes, the information and the attribute
  // list, and goes back to the main rules with no active scheme: states that
  // editors still hold name nothing that is gone.
  void Clear();
  // Rebuilds what is derived from the rules (attribute list, symbol trees,
  // state table) and tells the listeners. A reader calls it when a scheme has
  // been loaded; changed rules take effect through it.
  void Reset();
  std::string UniqueAttributeName(std::string_view Name) const;

  // A scheme in any of the three formats, told by its first bytes; on
  // success the rules are prepared again and the listeners told.
  bool LoadFromStream(TStream& Stream);
  bool LoadFromFile(const std::string& FileName) override;
  // Always format 2.0.
  bool SaveToStream(TStream& Stream);
  bool SaveToFile(const std::string& FileName) override;

  // The component stream property "Syntax": the whole scheme as one string
  // value in format 2.0, stored when the filer has an ancestor or the main
  // rules hold a range; read back through LoadFromStream.
  bool IsSyntaxStored(bool HasAncestor) const;
  std::string WriteSyntax();
  bool ReadSyntax(std::string_view Value);

  // Built once from the scheme's name and extensions, then kept.
  std::string GetDefaultFilter() const override;
  std::string GetSampleSource() const override { return FInfo.General.Sample; }
  void SetSampleSource(std::string Value) override { FInfo.General.Sample = std::move(Value); }
  std::string GetLanguageDisplayName() const override { return FInfo.General.Name; }
  const char* ClassName() const override { return "TOndGenHighlighter"; }

  TOndHighlighterAttributes* GetDefaultAttribute(int Kind) const override;
  TSysCharSet GetIdentChars() const override;
  bool GetEol() const override { return FEol; }
  TOndRangeState GetRange() const override { return FCurrent->StateId; }
  std::string GetToken() const override;
  TOndHighlighterAttributes* GetTokenAttribute() const override { return FToken ? FToken->Attribs : nullptr; }
  int GetTokenKind() const override { return 1; }
  int GetTokenPos() const override { return FTokenPos; }
  void Next() override { NextToken(); }
  void SkipToEol() override;
  void SkipToEolForRange() override;
  void RangesOfLines(const std::string_view* Lines, int Count, int FirstIndex, TOndRangeState* Ends) override;
  void SetLine(std::string_view Text, int LineIndex) override;
  bool ResumeLine(std::string_view Text, int LineIndex, int Pos, TOndRangeState Range) override;
  // Identifiers this highlighter did not hand out since its rules were last
  // prepared mean the main rules.
  void SetRange(TOndRangeState Value) override;
  void ResetRange() override;

  // How many distinct line-end states the current rules have produced so far.
  int StateCount() const noexcept { return static_cast<int>(FStates.size()); }

 private:
  // One line-end state: a range entered with a close token, inside the state
  // its parent was in. Two lines end alike exactly when their states are one.
  struct TState {
    TOndRange* Range;
    TOndToken* Closing;
    std::int32_t Parent;
  };
  void EnsurePrepared();
  void Prepare();
  void AddRuleAttributes(TOndRange& Range);
  void AddRuleAttribute(TOndRule& Rule, bool Effective);
  void Enter(TOndRange* Range, TOndToken* Closing);
  // The step Next and SkipToEol take, without a virtual call per token.
  void NextToken();
  // One step of the pass that wants only the range a line ends in: a jump
  // to the next state byte, or the one-byte token there; false when the
  // token there must be cut by NextToken.
  bool StepForRange();
  // At a state byte: takes the one-byte token there when the parser would
  // take nothing longer (true), else leaves it to NextToken.
  bool TakePlainStop();
  // A one-byte token at a state byte, seen taken: from state From the byte
  // leads to state To whenever the token is taken again, which After tells
  // from the byte after it (the line's end takes it). States and tokens
  // are fixed until the rules are prepared again, so the move is the same
  // every time.
  static constexpr std::uint8_t kAfterLonger = 0;  // a longer symbol may go on: only the parser knows
  static constexpr std::uint8_t kAfterTaken = 1;   // the token is taken: state To
  static constexpr std::uint8_t kAfterPlain = 2;   // no token: plain text up to a delimiter, no state changes
  struct TPlainMove {
    std::int32_t From = -1;
    unsigned char Byte = 0;
    std::int32_t To = 0;
    // The range of state To, when it skips to its state bytes; else null.
    const TOndRange* ToRange = nullptr;
    // The move of the same byte from state To, once seen.
    const TPlainMove* Then = nullptr;
    std::array<std::uint8_t, 256> After{};
  };
  const TPlainMove* FindPlainMove(std::int32_t From, unsigned char Byte) const noexcept;
  void RememberPlainMove(const TOndRange& Range, std::int32_t From, unsigned char Byte, std::int32_t To);
  // The line set (from its start) passed at once when every state byte on
  // it, of the range current at that place, is a move already seen: true
  // when it was, the range then that of the line's end before the line
  // break; false leaves everything as it was. Any finds the state bytes of
  // every range.
  bool PassByPlainMoves(const TOndFewBytes& Any);
  // Two states that one byte leads back and forth between (a string's
  // quotes), both skipping to their state bytes, with the bytes after it
  // and what the byte after it makes of its token from each (There's
  // first): a line whose only state bytes are that byte is passed with two
  // small tables, without looking moves up.
  struct TToggleMoves {
    const TPlainMove* There = nullptr;  // null when no such pair is known
    std::size_t MovesSeen = 0;          // of FPlainMoves when looked for
    std::array<std::array<std::uint8_t, 256>, 2> After{};
  };
  void FindToggleMoves(TToggleMoves& Toggle) const noexcept;
  // As PassByPlainMoves, for a line whose state bytes are all the toggle's.
  bool PassByToggleMoves(const TOndFewBytes& Any, const TToggleMoves& Toggle);
  // The end of a step: Token was cut, up to the run; a range it opens or
  // closes is entered or left.
  void TookToken(TOndToken* Token);
  TOndRange* ParentOf(TOndRange* Range) const noexcept;
  void LeaveWhile(bool (*Stays)(const TOndRange&, const TOndToken*), const TOndToken* Closed);

  std::unique_ptr<TOndRange> FMainRules;
  TOndScheme* FActiveScheme = nullptr;
  TOndRange* FCurrent;
  TOndToken* FToken = nullptr;
  bool FEol = false;
  bool FEndReached = false;
  const char* FLine = nullptr;
  int FLen = 0;
  int FLineNumber = 0;
  int FTokenPos = 0;
  int FRun = 0;
  TEditorProperties FEditorProperties;
  TOndInfo FInfo;
  TOndGenSchemes FSchemes;
  std::vector<TState> FStates;
  std::map<std::tuple<std::int32_t, TOndRange*, TOndToken*>, std::int32_t> FStateIds;
  // The last states entered, so that a range entered again and again (a
  // string on every line) finds its identifier without the map.
  struct TEntered {
    std::int32_t From = -1;
    TOndRange* Range = nullptr;
    TOndToken* Closing = nullptr;
    std::int32_t Id = 0;
  };
  static constexpr std::size_t kEnteredCache = 8;
  std::array<TEntered, kEnteredCache> FEntered{};
  // The moves seen so far: a text's lines mostly meet the same few.
  static constexpr std::size_t kPlainMoves = 16;
  std::vector<TPlainMove> FPlainMoves;
  // The place in FPlainMoves of the move last found for a state and byte
  // of the same hash, so that moves taken in turn are found at once.
  mutable std::array<std::uint8_t, 64> FPlainMoveHint{};
};

}  // namespace ond
