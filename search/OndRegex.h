// The editor's own regular-expression engine on single-byte (code page 1251)
// text: a two-pass compiler from the pattern to a compact node program and a
// backtracking matcher over it, with sub-expression positions and
// replacement templates. The matcher keeps its choice points on the heap, so
// a long line costs memory, bounded, and never native stack.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/SysUtils.h"
#include "search/LiteralScan.h"
#include "search/OndRegexClassScan.h"

namespace ond {

// Errors of TRegex: compile errors (codes below 1000) carry the position in
// the pattern where compiling stopped.
class ERegex : public Exception {
 public:
  ERegex(std::string message, int errorCode, int compilerErrorPos)
      : Exception(std::move(message)), ErrorCode(errorCode), CompilerErrorPos(compilerErrorPos) {}
  int ErrorCode;
  int CompilerErrorPos;
};

// Maps a character to its other case (or to itself when it has none).
using TRegexInvertCase = unsigned char (*)(unsigned char);

// Code page 1251 upper case of c; when that leaves it unchanged, its lower case.
unsigned char RegexInvertCaseAnsi(unsigned char c) noexcept;

class TRegex {
 public:
  // Sub-expression 0 is the whole match, 1 .. 14 the groups.
  static constexpr int SubExpressionCount = 15;
  // Depth of nested counted loops.
  static constexpr int LoopStackSize = 10;
  // Node visits one search may spend before it gives up: a fixed part, and
  // a part that grows with the input, so that a search whose work is
  // proportional to a long line still answers while one that backtracks
  // explosively stops early.
  static constexpr std::int64_t VisitBudget = 10'000'000;
  static constexpr std::int64_t VisitBudgetPerCharacter = 100;
  // Bytes of choice points and saved state one search may hold, unless
  // MaxBacktrackMemory says otherwise.
  static constexpr std::size_t BacktrackMemory = 256u * 1024 * 1024;

  // Modifier indexes for SetModifier / GetModifier.
  static constexpr int ModifierI = 1;  // case-insensitive
  static constexpr int ModifierR = 2;  // Russian ranges in sets
  static constexpr int ModifierS = 3;  // "." matches line separators too
  static constexpr int ModifierG = 4;  // repeats are greedy
  static constexpr int ModifierM = 5;  // "^" and "$" match at line separators
  static constexpr int ModifierX = 6;  // extended syntax

  // Error codes added to the classic table.
  static constexpr int ErrorBacktrackMemory = 1016;  // the choice points outgrew MaxBacktrackMemory
  static constexpr int ErrorTooComplex = 1017;      // the visit budget ran out

  TRegex();
  virtual ~TRegex() = default;
  TRegex(const TRegex&) = delete;
  TRegex& operator=(const TRegex&) = delete;

  const std::string& GetExpression() const { return fExpression; }
  void SetExpression(std::string_view expression);

  bool GetModifier(int index) const;
  void SetModifier(int index, bool on);

  // Bytes of choice points and saved state one search may hold; read before
  // every match. A search that needs more ends with ErrorBacktrackMemory.
  std::size_t MaxBacktrackMemory = BacktrackMemory;

  // Read when compiling (sets) and before every match (separators, word
  // test); a program that reads the line separators is compiled again when
  // they change.
  std::string SpaceChars;
  std::string WordChars;
  std::string LineSeparators;
  // Read when compiling; a new function makes the next match recompile.
  TRegexInvertCase InvertCase = RegexInvertCaseAnsi;

  // Two different characters, or empty to have no paired separator.
  std::string GetLinePairedSeparator() const;
  void SetLinePairedSeparator(std::string_view pair);

  // Compiles the expression now (matching compiles on demand).
  void Compile();
  bool IsCompiled() const { return fCompiled; }
  // The compiled program: magic byte, then the nodes.
  const std::vector<std::uint8_t>& GetProgram() const { return fProgram; }

  // Sets the input and searches from position 1.
  bool Exec(std::string_view input);
  // Searches again after the last match; an empty match moves on one character.
  bool ExecNext();
  // Searches the current input from a 1-based offset.
  bool ExecPos(int offset = 1);

  const std::string& GetInputString() const { return fInput; }
  void SetInputString(std::string_view input);

  // 1-based start and length of sub-expression n, -1 when it did not match.
  int MatchPos(int n) const;
  int MatchLen(int n) const;

  // The template expanded with the last match: "$&", "$0", "$n", "${n}", "\c".
  std::string Substitute(std::string_view templ);
  // The input with every match replaced by the template (expanded when
  // useSubstitution is on).
  std::string Replace(std::string_view input, std::string_view templ, bool useSubstitution);

  int GetLastError() const { return fLastError; }
  virtual std::string ErrorMsg(int code) const;
  // Offset of the compile cursor while compiling, else 0.
  int CompilerErrorPos() const;

 protected:
  // Records the code and raises ERegex; an override must raise too.
  virtual void Error(int code);

  // Matching without any shortcut: every start position and every repeat
  // count is tried, nothing is ruled out in advance. The answers are the
  // same, only slower (and the visit budget may run out sooner); tests hold
  // the shortcuts against this.
  bool fPlainMatching = false;

 private:
  struct ParseFlags {
    int bits = 0;
  };

  [[noreturn]] void Fail(int code);

  // Compiler.
  int ParseReg(bool paren, ParseFlags& flags);
  int ParseBranch(ParseFlags& flags);
  int ParsePiece(ParseFlags& flags);
  int ParseAtom(ParseFlags& flags);
  int ParseSet(ParseFlags& flags);
  int ParseLiteralRun(ParseFlags& flags);
  unsigned char ParseEscape();
  bool ParseBraces(std::size_t at, std::int64_t& min, std::int64_t& max, std::size_t& after, bool& tooBig) const;
  bool IsOperatorAt(std::size_t at) const;
  int EmitNode(std::uint8_t op);
  void EmitByte(std::uint8_t b);
  void Emit32(std::int32_t v);
  void Insert(std::uint8_t op, int at, int operandBytes);
  void Tail(int p, int val);
  void OpTail(int p, int val);
  int EmitSet(const std::array<bool, 256>& members, bool negate);
  int ProgNext(int node) const;
  // Adds the characters a match from scan can begin with to set, and
  // character 0 when the match can be empty (it stands for the input end). With
  // follow, the walk is for the text after a repeat inside the program:
  // loops may always be left, and a long walk gives up with the full set.
  void FillFirstCharSet(const std::uint8_t* scan, std::vector<char>& visited, std::array<bool, 256>& set,
                        bool follow, int& budget);

  // Matcher.
  // Compiles when needed and brings the sets the program reads up to date.
  void PrepareRun() {
    if (!fCompiled || fModifiers != fProgramModifiers || InvertCase != fInvFor || fUsesLineSeparators ||
        fUsesWordChars)
      PrepareRunSlow();
  }
  void PrepareRunSlow();
  void ClearMatches();
  bool ExecPrim(int offset);
  bool TryAt(std::ptrdiff_t p);
  // TryAt at each start from `from` on where the fixed back reference
  // (fEcho) can hold.
  bool TryAtEchoes(std::ptrdiff_t from);
  // The first match from `from` on of an expression that is one repeat of
  // a character class (fWholeRepeat), found by scanning for the class and
  // for its end, without running the program.
  bool FindWholeRepeat(std::ptrdiff_t from);
  // TryAt at each start from `from` on where the leading literal can be; out
  // of line, so that the search loop of every other expression stays as lean.
  [[gnu::noinline]] bool TryAtLiteralStarts(std::ptrdiff_t from);
  // Whether the literal of node (EXACTLY or EXACTLYCI) is at p; the text
  // holds its length from p on.
  bool LiteralAt(const std::uint8_t* node, std::ptrdiff_t p) const;
  bool MatchPrim(const std::uint8_t* scan, std::ptrdiff_t p);
  // What is known of a repeat node (simple operand) before it runs.
  struct RepeatHints {
    bool known = false;
    // No character the rest of the match can start with is one the operand
    // matches, so only the largest count can be followed: the repeat never
    // gives back.
    bool possessive = false;
    // Nothing that can fail follows (only the ends of groups, then the end
    // of the expression): the first count taken is the match, and no other
    // needs remembering.
    bool last = false;
    // Index into fFollowSets of the characters the rest can start with; -1:
    // any may.
    std::int32_t follow = -1;
    // Index into fClassScans of the operand's class; -1: none (a back
    // reference, or every character).
    std::int32_t classScan = -1;
  };
  const RepeatHints& HintsFor(const std::uint8_t* repeat) {
    const RepeatHints& hints = fRepeatHints[static_cast<std::size_t>(repeat - fProgram.data())];
    return hints.known ? hints : LearnHints(repeat);
  }
  const RepeatHints& LearnHints(const std::uint8_t* repeat);
  std::int64_t RegRepeat(const std::uint8_t* operand, std::int64_t max, std::ptrdiff_t p, std::ptrdiff_t& unit,
                         const TByteClassScan* scan);
  // Finds the characters that can begin a match (see fPairFilter).
  void FindLiteralPairs(const std::uint8_t* top);
  // Finds what every match must end with (see fEndAnchored).
  void FindRequiredEnd(const std::uint8_t* first);
  // Finds what a capture of each group can begin with (see fGroupFirst).
  void FindGroupFirstSets();
  // Finds the checks a back reference allows on a start before the program
  // runs there (see fEcho and fRunEcho).
  void FindEchoes(const std::uint8_t* first);
  void FindRunEcho(const std::uint8_t* first);
  // TryAt at the starts of the leading repeat's run from p that can pass
  // the back reference fRunEcho; runEnd is left at p when the run says
  // nothing of them (then p is tried as usual), else at the run's end.
  bool TryRunEchoStarts(std::ptrdiff_t p, std::ptrdiff_t& runEnd);
  // The count of the repeat of a class (or of any character) from p, at
  // most max.
  std::size_t ClassRun(const std::uint8_t* repeat, std::int64_t max, std::size_t p);
  // Whether the bytes at a and b are the same character for the fixed
  // back reference (fEcho).
  bool EchoBytesAgree(std::ptrdiff_t a, std::ptrdiff_t b) const {
    const unsigned char x = fIn[a], y = fIn[b];
    return x == y || (fEchoCaseless && y == fInv[x]);
  }
  bool CaptureOk(int n) const;
  void Spend(std::int64_t visits);
  bool IsBolMl(std::ptrdiff_t p) const;
  bool IsEolMl(std::ptrdiff_t p) const;

  std::array<std::ptrdiff_t, SubExpressionCount> fStart{};
  std::array<std::ptrdiff_t, SubExpressionCount> fEnd{};
  std::array<std::ptrdiff_t, SubExpressionCount> fOpenStart{};
  std::array<std::int32_t, LoopStackSize> fLoopCount{};
  std::array<std::ptrdiff_t, LoopStackSize> fLoopIterStart{};
  int fLoopDepth = 0;

  int fFirstCharHint = -1;  // -1: none
  // The literal every match begins with (its length 0: none), and the scan
  // for the starts where it can be.
  std::int32_t fLeadLength = 0;
  TLiteralScan fLeadScan;
  // The literal is the whole expression: a start where its characters are
  // is a match, found without running the program. Its offset in the
  // program, and whether it ignores case.
  bool fLeadIsWhole = false;
  std::int32_t fLeadLiteral = 0;
  bool fLeadCaseless = false;
  bool fAnchored = false;
  std::string fMustString;
  std::array<bool, 256> fFirstCharSet{};
  // Finds the next character of fFirstCharSet.
  TByteClassScan fFirstCharScan;
  // The expression is alternatives that each begin with a literal of two
  // characters or more: the characters that can come second.
  bool fPairFilter = false;
  TByteClassScan fSecondCharScan;
  // When each alternative is a literal and nothing more: their nodes, in
  // order (a start matches the first of them found there, without running
  // the program).
  std::vector<std::int32_t> fWholeLiterals;
  // Every match ends at the input end, after the literal fRequiredEnd
  // (compared ignoring case when fRequiredEndCi): an input that does not end
  // so has no match anywhere.
  bool fEndAnchored = false;
  std::string fRequiredEnd;
  bool fRequiredEndCi = false;

  const unsigned char* fIn = nullptr;
  std::ptrdiff_t fInEnd = 0;
  std::ptrdiff_t fMatchEnd = 0;
  std::int64_t fVisits = 0;
  std::int64_t fVisitBudget = VisitBudget;
  // A repeat of a character class every match begins with (its offset in
  // the program; 0: none), and the count it took on the last try's way in
  // (-1: not reached). A failed try has then tried every end that a start
  // inside that run could reach, so those starts are passed over.
  std::int32_t fLeadRepeat = 0;
  // The leading repeat is the whole expression (then it is fLeadRepeat too).
  std::int32_t fWholeRepeat = 0;
  std::int64_t fLeadCount = -1;
  // Whether a failed try lets the search pass over the leading repeat's
  // run (no back reference reads a group the run's start opened).
  bool fLeadSkips = true;
  bool fHasBackReference = false;
  // The characters a capture of each group can begin with (a reference
  // that ignores case adds their other cases), and whether the group can
  // capture nothing (then what begins its reference is not known). Walks
  // of the program read them once fGroupFirstKnown.
  std::vector<std::array<bool, 256>> fGroupFirst;
  std::vector<char> fGroupMayBeEmpty;
  bool fGroupFirstKnown = false;
  // Every match has a capture at fEchoCapture characters from its start, of
  // fEchoLength >= 1 characters, and its back reference at fEchoReference:
  // the characters at those two distances are the same (one is the other's
  // other case, with fEchoCaseless). fEchoFold holds every bit in which a
  // character and its other case differ, for a vector scan that keeps the
  // starts where the two agree in all other bits.
  bool fEcho = false;
  std::int32_t fEchoCapture = 0;
  std::int32_t fEchoReference = 0;
  std::int32_t fEchoLength = 0;
  bool fEchoCaseless = false;
  unsigned char fEchoFold = 0;
  // A back reference (its offset in the program; 0: none) to a group opened
  // at the match start, reached after the leading repeat through nodes that
  // never choose and do not depend on where the match began: every start
  // inside the leading repeat's run reaches it at the same position with a
  // capture ending at the same position. The steps on the way: a node that
  // moves on by a width, a repeat (that never gives back), the group's end.
  static constexpr std::int32_t kRunEchoRepeat = -1;
  static constexpr std::int32_t kRunEchoCapture = -2;
  struct RunEchoStep {
    std::int32_t node;
    std::int32_t width;
  };
  std::int32_t fRunEcho = 0;
  std::vector<RunEchoStep> fRunEchoSteps;
  // Entries of fStart / fEnd the program can set: the whole match and its
  // groups.
  int fGroupSlots = SubExpressionCount;
  // The program has nodes that read the line separators / the word characters.
  bool fUsesLineSeparators = true;
  bool fUsesWordChars = true;

  // One entry of the backtracking stack: either a value of the matcher's
  // state to put back, or a choice point to resume (node is an offset into
  // the program).
  struct Backtrack {
    std::uint8_t Kind;
    std::uint8_t Index;  // group or loop depth
    std::int32_t Node;
    std::ptrdiff_t A;
    std::ptrdiff_t B;
  };
  std::vector<Backtrack> fBacktrack;
  // Per repeat node (by offset), filled as the nodes are first reached.
  std::vector<RepeatHints> fRepeatHints;
  std::vector<std::array<bool, 256>> fFollowSets;
  std::vector<TByteClassScan> fClassScans;

  std::size_t fCursor = 0;  // compile cursor into the expression
  int fNextGroup = 1;
  bool fSizing = false;
  int fEmitPos = 0;
  bool fCompiling = false;

  bool fCompiled = false;
  std::vector<std::uint8_t> fProgram;
  std::string fExpression;
  std::string fInput;
  bool fHasInput = false;
  int fLastError = 0;

  int fModifiers = 0;
  int fCompileModifiers = 0;
  int fProgramModifiers = 0;

  bool fPairAssigned = true;
  unsigned char fPairHead = '\r';
  unsigned char fPairTail = '\n';

  std::array<bool, 256> fLineSepSet{};
  // The line separators the program was compiled with.
  std::string fCompiledLineSeparators;
  std::string fLineSepFor;
  bool fLineSepBuilt = false;
  std::array<bool, 256> fWordSet{};
  std::string fWordFor;
  bool fWordBuilt = false;
  std::array<unsigned char, 256> fInv{};
  TRegexInvertCase fInvFor = nullptr;
};

}  // namespace ond
