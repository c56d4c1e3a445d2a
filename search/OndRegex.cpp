#include "search/OndRegex.h"

#include "platform/core/CodePage.h"
#include "search/OndRegexProgram.h"

namespace ond {

using namespace regexprog;

unsigned char RegexInvertCaseAnsi(unsigned char c) noexcept {
  const unsigned char up = AnsiUpperChar(c);
  return up != c ? up : AnsiLowerChar(c);
}

// Object and settings

TRegex::TRegex()
    : SpaceChars(" \t\n\r\f"),
      WordChars("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_"),
      LineSeparators("\r\n") {
  fModifiers = kModR | kModS | kModG;
  fStart.fill(-1);
  fEnd.fill(-1);
}

void TRegex::SetExpression(std::string_view expression) {
  if (fCompiled && expression == fExpression) return;
  fCompiled = false;
  fExpression.assign(expression);
  fProgram.clear();
}

bool TRegex::GetModifier(int index) const {
  if (index < ModifierI || index > ModifierX) {
    const_cast<TRegex*>(this)->Fail(1013);
  }
  return (fModifiers & (1 << (index - 1))) != 0;
}

void TRegex::SetModifier(int index, bool on) {
  if (index < ModifierI || index > ModifierX) Fail(1013);
  const int bit = 1 << (index - 1);
  fModifiers = on ? (fModifiers | bit) : (fModifiers & ~bit);
}

std::string TRegex::GetLinePairedSeparator() const {
  if (!fPairAssigned) return std::string();
  return std::string{static_cast<char>(fPairHead), static_cast<char>(fPairTail)};
}

void TRegex::SetLinePairedSeparator(std::string_view pair) {
  if (pair.size() == 2) {
    if (pair[0] == pair[1]) Fail(128);
    const auto head = static_cast<unsigned char>(pair[0]);
    const auto tail = static_cast<unsigned char>(pair[1]);
    if (fPairAssigned && head == fPairHead && tail == fPairTail) return;
    fPairAssigned = true;
    fPairHead = head;
    fPairTail = tail;
    fProgram.clear();
    fCompiled = false;
  } else if (pair.empty()) {
    if (fPairAssigned) {
      fPairAssigned = false;
      fProgram.clear();
      fCompiled = false;
    }
  } else {
    Fail(128);
  }
}

// Errors

std::string TRegex::ErrorMsg(int code) const {
  switch (code) {
    case 0: return "No errors";
    case 100: return "TRegex(comp): Null Argument";
    case 101: return "TRegex(comp): Regexp Too Big";
    case 102: return "TRegex(comp): ParseReg Too Many ()";
    case 103: return "TRegex(comp): ParseReg Unmatched ()";
    case 104: return "TRegex(comp): ParseReg Unmatched ()";
    case 105: return "TRegex(comp): ParseReg Junk On End";
    case 106: return "TRegex(comp): *+ Operand Could Be Empty";
    case 107: return "TRegex(comp): Nested *?+";
    case 108: return "TRegex(comp): Bad Hex Digit";
    case 109: return "TRegex(comp): Invalid [] Range";
    case 110: return "TRegex(comp): Parse Atom Trailing \\";
    case 111: return "TRegex(comp): No Hex Code After \\x";
    case 112: return "TRegex(comp): Hex Code After \\x Is Too Big";
    case 113: return "TRegex(comp): Unmatched []";
    case 114: return "TRegex(comp): Internal Urp";
    case 115: return "TRegex(comp): ?+*{ Follows Nothing";
    case 116: return "TRegex(comp): Trailing \\";
    case 119: return "TRegex(comp): RarseAtom Internal Disaster";
    case 122: return "TRegex(comp): BRACES Argument Too Big";
    case 124: return "TRegex(comp): BRACE Min Param Greater then Max";
    case 125: return "TRegex(comp): Unclosed (?#Comment)";
    case 126:
      return "TRegex(comp): If you want take part in beta-testing BRACES '{min,max}' and non-greedy ops "
             "'*?', '+?', '?" "?' for complex cases - remove '.' from {.$DEFINE ComplexBraces}";
    case 127: return "TRegex(comp): Urecognized Modifier";
    case 128: return "TRegex(comp): LinePairedSeparator must countain two different chars or no chars at all";
    case 1000: return "TRegex(exec): RegRepeat Called Inappropriately";
    case 1001: return "TRegex(exec): MatchPrim Memory Corruption";
    case 1002: return "TRegex(exec): MatchPrim Corrupted Pointers";
    case 1003: return "TRegex(exec): Not Assigned Expression Property";
    case 1004: return "TRegex(exec): Corrupted Program";
    case 1005: return "TRegex(exec): No Input String Specified";
    case 1006: return "TRegex(exec): Offset Must Be Greater Then 0";
    case 1007: return "TRegex(exec): ExecNext Without Exec[Pos]";
    case 1008: return "TRegex(exec): GetInputString Without InputString";
    case 1011: return "TRegex(dump): Corrupted Opcode";
    case 1014: return "TRegex(exec): Loop Stack Exceeded";
    case 1015: return "TRegex(exec): Loop Without LoopEntry !";
    case ErrorBacktrackMemory: return "TRegex(exec): Backtracking Memory Exhausted";
    case ErrorTooComplex: return "TRegex(exec): Expression Too Complex";
    case 2000: return "TRegex(misc): Bad p-code imported";
    default: return "Unknown error";
  }
}

int TRegex::CompilerErrorPos() const { return fCompiling ? static_cast<int>(fCursor) : 0; }

void TRegex::Error(int code) {
  fLastError = code;
  std::string message = ErrorMsg(code);
  const int pos = CompilerErrorPos();
  if (code < 1000) message += " (pos " + IntToStr(pos) + ")";
  throw ERegex(std::move(message), code, pos);
}

void TRegex::Fail(int code) {
  Error(code);
  // Error must not return; should an override do so, raise anyway.
  throw ERegex(ErrorMsg(code), code, CompilerErrorPos());
}

}  // namespace ond
