#include "search/OndRegex.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/core/CodePage.h"

#if defined(__GLIBC__)
#include <pthread.h>
#endif

namespace ond {

namespace {

// Node opcodes of the compiled program.
enum : std::uint8_t {
  EEND = 0,
  BOL = 1,
  EOL = 2,
  ANY = 3,
  BRANCH = 6,
  BACK = 7,
  EXACTLY = 8,
  NOTHING = 9,
  STAR = 10,
  PLUS = 11,
  ANYDIGIT = 12,
  NOTDIGIT = 13,
  BRACES = 18,
  COMMENT = 19,
  EXACTLYCI = 20,
  LOOPENTRY = 23,
  LOOP = 24,
  ANYOFTINYSET = 25,
  ANYBUTTINYSET = 26,
  ANYOFFULLSET = 27,
  BSUBEXP = 28,
  BSUBEXPCI = 29,
  STARNG = 30,
  PLUSNG = 31,
  BRACESNG = 32,
  LOOPNG = 33,
  BOLML = 34,
  EOLML = 35,
  ANYML = 36,
  BOUND = 37,
  NOTBOUND = 38,
  OPEN = 39,   // + group number 1 .. 14
  CLOSE = 54,  // + group number 1 .. 14
};

constexpr std::uint8_t kMagic = 216;
// Opcode byte and the signed 32-bit offset of the next node.
constexpr int kNodeSize = 5;

// Flags the parser passes up.
constexpr int kWorst = 0;
constexpr int kHasWidth = 1;   // never matches the empty string
constexpr int kSimple = 2;     // one character: may be a repeat's operand
constexpr int kSpStart = 4;    // starts with a repeat

constexpr int kModI = 1, kModR = 2, kModS = 4, kModG = 8, kModM = 16, kModX = 32;

constexpr std::int32_t kBracesInfinite = 2147483646;
constexpr std::int32_t kRepeatInfinite = 2147483647;
constexpr int kMaxBraceDigits = 8;

// Stack kept free below the deepest match frame.
constexpr std::ptrdiff_t kStackMargin = 256 * 1024;
constexpr std::ptrdiff_t kStackFallback = 512 * 1024;
constexpr std::ptrdiff_t kStackCap = 64 * 1024 * 1024;

// Lowest address of the calling thread's stack, or null when unknown.
const char* ThreadStackLow() {
  thread_local bool known = false;
  thread_local const char* low = nullptr;
  if (!known) {
    known = true;
#if defined(__GLIBC__)
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
      void* addr = nullptr;
      std::size_t size = 0;
      if (pthread_attr_getstack(&attr, &addr, &size) == 0) low = static_cast<const char*>(addr);
      pthread_attr_destroy(&attr);
    }
#endif
  }
  return low;
}

// How many bytes of stack the matcher may use below the frame at base.
std::ptrdiff_t StackBudget(const char* base) {
  const char* low = ThreadStackLow();
  if (low == nullptr || base <= low) return kStackFallback;
  const std::ptrdiff_t room = base - low;
  // Small stacks (worker threads) keep half of what is left.
  const std::ptrdiff_t budget = room > 2 * kStackMargin ? room - kStackMargin : room / 2;
  return std::min(budget, kStackCap);
}

inline std::int32_t Read32(const std::uint8_t* p) {
  std::int32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void Write32(std::uint8_t* p, std::int32_t v) { std::memcpy(p, &v, sizeof v); }

inline const std::uint8_t* NextNode(const std::uint8_t* node) {
  const std::int32_t off = Read32(node + 1);
  return off == 0 ? nullptr : node + off;
}

inline const std::uint8_t* Operand(const std::uint8_t* node) { return node + kNodeSize; }

inline bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

inline bool IsPatternSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

inline int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

inline bool InSet(const std::uint8_t* bits, unsigned char c) { return (bits[c >> 3] >> (c & 7)) & 1; }

int ModifierBit(char letter) {
  switch (letter) {
    case 'i': case 'I': return kModI;
    case 'r': case 'R': return kModR;
    case 's': case 'S': return kModS;
    case 'g': case 'G': return kModG;
    case 'm': case 'M': return kModM;
    case 'x': case 'X': return kModX;
    default: return 0;
  }
}

constexpr unsigned char kRuLowerA = 0xE0, kRuLowerYa = 0xFF, kRuLowerYo = 0xB8;
constexpr unsigned char kRuUpperA = 0xC0, kRuUpperYa = 0xDF, kRuUpperYo = 0xA8;

}  // namespace

unsigned char RegexInvertCaseAnsi(unsigned char c) noexcept {
  const unsigned char up = AnsiUpperChar(c);
  return up != c ? up : AnsiLowerChar(c);
}

// ---------------------------------------------------------------------------
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

// ---------------------------------------------------------------------------
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
    case ErrorLoopNesting: return "TRegex(comp): Loop Stack Exceeded";
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
    case ErrorRecursionDepth: return "TRegex(exec): MatchPrim Recursion Too Deep";
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

// ---------------------------------------------------------------------------
// Emitting. The sizing pass runs the same code with fSizing set: positions are
// tracked exactly as when emitting, but nothing is written.

int TRegex::EmitNode(std::uint8_t op) {
  const int at = fEmitPos;
  if (!fSizing) {
    fProgram[at] = op;
    Write32(&fProgram[at + 1], 0);
  }
  fEmitPos += kNodeSize;
  if (fEmitPos > INT_MAX / 2) Fail(101);
  return at;
}

void TRegex::EmitByte(std::uint8_t b) {
  if (!fSizing) fProgram[fEmitPos] = b;
  ++fEmitPos;
  if (fEmitPos > INT_MAX / 2) Fail(101);
}

void TRegex::Emit32(std::int32_t v) {
  if (!fSizing) Write32(&fProgram[fEmitPos], v);
  fEmitPos += 4;
  if (fEmitPos > INT_MAX / 2) Fail(101);
}

// Inserts a node (with room for its operands) in front of the node at `at`,
// moving that node and everything after it.
void TRegex::Insert(std::uint8_t op, int at, int operandBytes) {
  const int size = kNodeSize + operandBytes;
  if (!fSizing) {
    std::memmove(&fProgram[at + size], &fProgram[at], static_cast<std::size_t>(fEmitPos - at));
    fProgram[at] = op;
    Write32(&fProgram[at + 1], 0);
    std::memset(&fProgram[at + kNodeSize], 0, static_cast<std::size_t>(operandBytes));
  }
  fEmitPos += size;
  if (fEmitPos > INT_MAX / 2) Fail(101);
}

int TRegex::ProgNext(int node) const {
  const std::int32_t off = Read32(&fProgram[node + 1]);
  return off == 0 ? 0 : node + off;
}

// Points the last node of the chain starting at p to val.
void TRegex::Tail(int p, int val) {
  if (fSizing) return;
  int scan = p;
  for (int next = ProgNext(scan); next != 0; next = ProgNext(scan)) scan = next;
  Write32(&fProgram[scan + 1], val - scan);
}

// Tail on the operand of a BRANCH; other nodes are left alone.
void TRegex::OpTail(int p, int val) {
  if (fSizing || fProgram[p] != BRANCH) return;
  Tail(p + kNodeSize, val);
}

int TRegex::EmitSet(const std::array<bool, 256>& members, bool negate) {
  int count = 0;
  int highest = 0;
  for (int c = 0; c < 256; ++c) {
    if (members[c]) {
      ++count;
      highest = c;
    }
  }
  if (count >= 1 && count <= 3) {
    const int ret = EmitNode(negate ? ANYBUTTINYSET : ANYOFTINYSET);
    int emitted = 0;
    for (int c = 0; c < 256; ++c) {
      if (members[c]) {
        EmitByte(static_cast<std::uint8_t>(c));
        ++emitted;
      }
    }
    for (; emitted < 3; ++emitted) EmitByte(static_cast<std::uint8_t>(highest));
    return ret;
  }
  const int ret = EmitNode(ANYOFFULLSET);
  for (int byte = 0; byte < 32; ++byte) {
    std::uint8_t bits = 0;
    for (int bit = 0; bit < 8; ++bit) {
      if (members[byte * 8 + bit] != negate) bits |= static_cast<std::uint8_t>(1u << bit);
    }
    EmitByte(bits);
  }
  return ret;
}

// ---------------------------------------------------------------------------
// Compiler

void TRegex::Compile() {
  fLastError = 0;
  fProgram.clear();
  fCompiled = false;
  fCursor = 0;
  if (fExpression.empty()) Fail(100);
  if (fInvFor != InvertCase || InvertCase == nullptr) {
    fInvFor = InvertCase;
    for (int c = 0; c < 256; ++c) {
      fInv[c] = InvertCase ? InvertCase(static_cast<unsigned char>(c)) : static_cast<unsigned char>(c);
    }
  }
  fCompiling = true;
  try {
    for (int pass = 0; pass < 2; ++pass) {
      fSizing = pass == 0;
      if (!fSizing) fProgram.assign(static_cast<std::size_t>(fEmitPos), 0);
      fEmitPos = 0;
      fCursor = 0;
      fNextGroup = 1;
      fCompileModifiers = fModifiers;
      fProgramModifiers = fModifiers;
      EmitByte(kMagic);
      ParseFlags flags;
      ParseReg(false, flags);
    }
    if (static_cast<std::size_t>(fEmitPos) != fProgram.size()) Fail(119);
  } catch (...) {
    fProgram.clear();
    fCompiling = false;
    fSizing = false;
    throw;
  }
  fCompiling = false;

  // Hints that let a search skip start positions.
  fFirstCharSet.fill(false);
  std::vector<char> visited(fProgram.size(), 0);
  FillFirstCharSet(fProgram.data() + 1, visited);
  fFirstCharHint = -1;
  fAnchored = false;
  fMustString.clear();
  const std::uint8_t* top = fProgram.data() + 1;
  const std::uint8_t* afterTop = NextNode(top);
  if (afterTop != nullptr && afterTop[0] == EEND) {  // a single alternative
    const std::uint8_t* first = Operand(top);
    if (first[0] == EXACTLY) {
      fFirstCharHint = first[kNodeSize + 4];
    } else if (first[0] == BOL) {
      fAnchored = true;
    }
    if (first[0] == STAR || first[0] == STARNG || first[0] == PLUS || first[0] == PLUSNG ||
        first[0] == BRACES || first[0] == BRACESNG || first[0] == BRANCH || first[0] == LOOPENTRY) {
      const std::uint8_t* longest = nullptr;
      std::int32_t longestLen = 0;
      std::vector<char> seen(fProgram.size(), 0);
      for (const std::uint8_t* scan = first; scan != nullptr; scan = NextNode(scan)) {
        const auto off = static_cast<std::size_t>(scan - fProgram.data());
        if (seen[off]) break;
        seen[off] = 1;
        if (scan[0] == EXACTLY) {
          const std::int32_t len = Read32(Operand(scan));
          if (len >= longestLen) {
            longest = Operand(scan) + 4;
            longestLen = len;
          }
        }
      }
      if (longest != nullptr) fMustString.assign(reinterpret_cast<const char*>(longest), static_cast<std::size_t>(longestLen));
    }
  }
  fCompiled = true;
}

int TRegex::ParseReg(bool paren, ParseFlags& flags) {
  flags = ParseFlags{kHasWidth, 0};
  int ret = 0;
  int group = 0;
  if (paren) {
    if (fNextGroup >= SubExpressionCount) Fail(102);
    group = fNextGroup++;
    ret = EmitNode(static_cast<std::uint8_t>(OPEN + group));
  }
  const int savedModifiers = fCompileModifiers;
  const std::size_t end = fExpression.size();

  auto merge = [&flags](const ParseFlags& f) {
    if (!(f.bits & kHasWidth)) flags.bits &= ~kHasWidth;
    flags.bits |= f.bits & kSpStart;
    flags.loops = std::max(flags.loops, f.loops);
  };
  ParseFlags f;
  int br = ParseBranch(f);
  if (ret != 0) {
    Tail(ret, br);
  } else {
    ret = br;
  }
  merge(f);
  while (fCursor < end && fExpression[fCursor] == '|') {
    ++fCursor;
    br = ParseBranch(f);
    Tail(ret, br);
    merge(f);
  }
  const int ender = EmitNode(static_cast<std::uint8_t>(paren ? CLOSE + group : EEND));
  Tail(ret, ender);
  if (!fSizing) {
    for (int scan = ret; scan != 0; scan = ProgNext(scan)) OpTail(scan, ender);
  }
  if (paren) {
    if (fCursor >= end || fExpression[fCursor] != ')') Fail(103);
    ++fCursor;
  } else if (fCursor < end) {
    Fail(fExpression[fCursor] == ')' ? 104 : 105);
  }
  fCompileModifiers = savedModifiers;
  return ret;
}

int TRegex::ParseBranch(ParseFlags& flags) {
  flags = ParseFlags{kWorst, 0};
  const int ret = EmitNode(BRANCH);
  int chain = 0;
  const std::size_t end = fExpression.size();
  while (fCursor < end && fExpression[fCursor] != '|' && fExpression[fCursor] != ')') {
    ParseFlags f;
    const int latest = ParsePiece(f);
    flags.bits |= f.bits & kHasWidth;
    flags.loops = std::max(flags.loops, f.loops);
    if (chain == 0) {
      flags.bits |= f.bits & kSpStart;
    } else {
      Tail(chain, latest);
    }
    chain = latest;
  }
  if (chain == 0) EmitNode(NOTHING);
  return ret;
}

// "{" digits "}", "{" digits "," "}" or "{" digits "," digits "}" at `at`.
bool TRegex::ParseBraces(std::size_t at, std::int64_t& min, std::int64_t& max, std::size_t& after,
                         bool& tooBig) const {
  const std::string& e = fExpression;
  const std::size_t end = e.size();
  if (at >= end || e[at] != '{') return false;
  auto number = [&](std::size_t& p, std::int64_t& value, int& digits) {
    value = 0;
    digits = 0;
    while (p < end && IsDigit(static_cast<unsigned char>(e[p]))) {
      if (value <= kBracesInfinite) value = value * 10 + (e[p] - '0');
      ++digits;
      ++p;
    }
  };
  std::size_t p = at + 1;
  int d1 = 0;
  int d2 = 0;
  number(p, min, d1);
  if (d1 == 0 || p >= end) return false;
  if (e[p] == '}') {
    max = min;
  } else if (e[p] == ',') {
    ++p;
    number(p, max, d2);
    if (p >= end || e[p] != '}') return false;
    if (d2 == 0) max = kBracesInfinite;
  } else {
    return false;
  }
  after = p + 1;
  tooBig = d1 > kMaxBraceDigits || d2 > kMaxBraceDigits || min > kBracesInfinite || max > kBracesInfinite;
  return true;
}

bool TRegex::IsOperatorAt(std::size_t at) const {
  if (at >= fExpression.size()) return false;
  const char c = fExpression[at];
  if (c == '*' || c == '+' || c == '?') return true;
  if (c != '{') return false;
  std::int64_t min = 0, max = 0;
  std::size_t after = 0;
  bool tooBig = false;
  return ParseBraces(at, min, max, after, tooBig);
}

int TRegex::ParsePiece(ParseFlags& flags) {
  ParseFlags f;
  int ret = ParseAtom(f);
  flags = f;
  if (!IsOperatorAt(fCursor)) return ret;

  const char op = fExpression[fCursor];
  if (!(f.bits & kHasWidth) && op != '?') Fail(106);
  std::int64_t min = 0;
  std::int64_t max = kRepeatInfinite;
  if (op == '{') {
    std::size_t after = 0;
    bool tooBig = false;
    ParseBraces(fCursor, min, max, after, tooBig);
    fCursor = after;
    if (tooBig) Fail(122);
    if (min > max) Fail(124);
  } else {
    ++fCursor;
    if (op == '+') min = 1;
    if (op == '?') max = 1;
  }
  bool nonGreedy = false;
  if (fCursor < fExpression.size() && fExpression[fCursor] == '?') {
    nonGreedy = true;
    ++fCursor;
  } else if (!(fCompileModifiers & kModG)) {
    nonGreedy = true;
  }

  flags.bits = (op == '*' || op == '?' || (op == '{' && min == 0)) ? (kWorst | kSpStart) : kHasWidth;
  flags.loops = f.loops;

  auto emitBranchPair = [&]() {  // greedy "?": either the atom or nothing
    Insert(BRANCH, ret, 0);
    Tail(ret, EmitNode(BRANCH));
    const int nothing = EmitNode(NOTHING);
    Tail(ret, nothing);
    OpTail(ret, nothing);
  };

  if (f.bits & kSimple) {
    if (op == '?' && !nonGreedy) {
      emitBranchPair();
    } else if (op == '*') {
      Insert(nonGreedy ? STARNG : STAR, ret, 0);
    } else if (op == '+') {
      Insert(nonGreedy ? PLUSNG : PLUS, ret, 0);
    } else {  // braces, or non-greedy "?"
      Insert(nonGreedy ? BRACESNG : BRACES, ret, 8);
      if (!fSizing) {
        Write32(&fProgram[ret + kNodeSize], static_cast<std::int32_t>(min));
        Write32(&fProgram[ret + kNodeSize + 4], static_cast<std::int32_t>(max));
      }
    }
  } else if (op == '?' && !nonGreedy) {
    emitBranchPair();
  } else if (op == '*' && !nonGreedy) {
    Insert(BRANCH, ret, 0);
    OpTail(ret, EmitNode(BACK));
    OpTail(ret, ret);
    Tail(ret, EmitNode(BRANCH));
    Tail(ret, EmitNode(NOTHING));
  } else if (op == '+' && !nonGreedy) {
    const int next = EmitNode(BRANCH);
    Tail(ret, next);
    Tail(EmitNode(BACK), ret);
    Tail(next, EmitNode(BRANCH));
    Tail(ret, EmitNode(NOTHING));
  } else {
    // A counted loop over a complex atom, kept on the loop stack.
    flags.loops = f.loops + 1;
    if (flags.loops > LoopStackSize) Fail(ErrorLoopNesting);
    if (op == '*' || op == '?') max = op == '*' ? kBracesInfinite : 1;
    if (op == '+') max = kBracesInfinite;
    Insert(LOOPENTRY, ret, 0);
    const int loop = EmitNode(nonGreedy ? LOOPNG : LOOP);
    Emit32(static_cast<std::int32_t>(min));
    Emit32(static_cast<std::int32_t>(max));
    Emit32(ret + kNodeSize - loop);
    Tail(ret, loop);
    Tail(ret + kNodeSize, loop);
  }

  if (fCursor < fExpression.size()) {
    const char c = fExpression[fCursor];
    if (c == '*' || c == '+' || c == '?' || c == '{') Fail(107);
  }
  return ret;
}

// One character after "\" (the cursor stands on it): the escape rules.
unsigned char TRegex::ParseEscape() {
  const std::string& e = fExpression;
  const std::size_t end = e.size();
  const char c = e[fCursor++];
  switch (c) {
    case 't': return '\t';
    case 'n': return '\n';
    case 'r': return '\r';
    case 'f': return '\f';
    case 'a': return 7;
    case 'e': return 27;
    case 'x': {
      if (fCursor >= end) Fail(111);
      if (e[fCursor] == '{') {
        ++fCursor;
        int value = 0;
        int significant = 0;
        int digits = 0;
        for (;;) {
          if (fCursor >= end) Fail(111);
          if (e[fCursor] == '}') break;
          const int h = HexValue(e[fCursor]);
          if (h < 0) Fail(108);
          ++digits;
          if (significant > 0 || h != 0) {
            if (++significant > 2) Fail(112);
            value = value * 16 + h;
          }
          ++fCursor;
        }
        if (digits == 0) Fail(111);
        ++fCursor;  // the "}"
        return static_cast<unsigned char>(value);
      }
      int value = 0;
      for (int i = 0; i < 2; ++i) {
        if (fCursor >= end) Fail(111);
        const int h = HexValue(e[fCursor]);
        if (h < 0) Fail(108);
        value = value * 16 + h;
        ++fCursor;
      }
      return static_cast<unsigned char>(value);
    }
    default: return static_cast<unsigned char>(c);
  }
}

int TRegex::ParseAtom(ParseFlags& flags) {
  flags = ParseFlags{kWorst, 0};
  const std::string& e = fExpression;
  const std::size_t end = e.size();
  if (fCursor >= end) Fail(114);
  const char c = e[fCursor];

  if ((fCompileModifiers & kModX) && (IsPatternSpace(c) || c == '#')) {
    if (c == '#') {
      while (fCursor < end && e[fCursor] != '\r' && e[fCursor] != '\n') ++fCursor;
      while (fCursor < end && (e[fCursor] == '\r' || e[fCursor] == '\n')) ++fCursor;
    } else {
      while (fCursor < end && IsPatternSpace(e[fCursor])) ++fCursor;
    }
    return EmitNode(COMMENT);
  }

  const bool multiLine = (fCompileModifiers & kModM) && (!LineSeparators.empty() || fPairAssigned);
  switch (c) {
    case '^':
      ++fCursor;
      return EmitNode(multiLine ? BOLML : BOL);
    case '$':
      ++fCursor;
      return EmitNode(multiLine ? EOLML : EOL);
    case '.':
      ++fCursor;
      if (fCompileModifiers & kModS) {
        flags.bits = kHasWidth | kSimple;
        return EmitNode(ANY);
      }
      flags.bits = kHasWidth;
      return EmitNode(ANYML);
    case '(': {
      ++fCursor;
      if (fCursor < end && e[fCursor] == '?') {
        if (fCursor + 1 < end && e[fCursor + 1] == '#') {
          const std::size_t close = e.find(')', fCursor + 2);
          if (close == std::string::npos) {
            fCursor = end;
            Fail(125);
          }
          fCursor = close + 1;
          return EmitNode(COMMENT);
        }
        int modifiers = fCompileModifiers;
        bool on = true;
        std::size_t p = fCursor + 1;
        for (; p < end && e[p] != ')'; ++p) {
          if (e[p] == '-') {
            on = false;
            continue;
          }
          const int bit = ModifierBit(e[p]);
          if (bit == 0) {
            fCursor = p;
            Fail(127);
          }
          modifiers = on ? (modifiers | bit) : (modifiers & ~bit);
        }
        if (p >= end) {
          fCursor = p;
          Fail(127);
        }
        fCursor = p + 1;
        fCompileModifiers = modifiers;
        return EmitNode(COMMENT);
      }
      ParseFlags f;
      const int ret = ParseReg(true, f);
      flags.bits = f.bits & (kHasWidth | kSpStart);
      flags.loops = f.loops;
      return ret;
    }
    case '|':
    case ')':
      Fail(114);
    case '?':
    case '+':
    case '*':
      Fail(115);
    case '[':
      return ParseSet(flags);
    case '\\': {
      ++fCursor;
      if (fCursor >= end) Fail(116);
      const char k = e[fCursor];
      switch (k) {
        case 'd':
        case 'D':
          ++fCursor;
          flags.bits = kHasWidth | kSimple;
          return EmitNode(k == 'd' ? ANYDIGIT : NOTDIGIT);
        case 'w':
        case 'W':
        case 's':
        case 'S': {
          ++fCursor;
          std::array<bool, 256> members{};
          for (char m : (k == 'w' || k == 'W') ? WordChars : SpaceChars) members[static_cast<unsigned char>(m)] = true;
          flags.bits = kHasWidth | kSimple;
          return EmitSet(members, k == 'W' || k == 'S');
        }
        case 'b':
          ++fCursor;
          return EmitNode(BOUND);
        case 'B':
          ++fCursor;
          return EmitNode(NOTBOUND);
        case 'A':
          ++fCursor;
          return EmitNode(BOL);
        case 'Z':
          ++fCursor;
          return EmitNode(EOL);
        default:
          break;
      }
      if (k >= '1' && k <= '9') {
        ++fCursor;
        flags.bits = kHasWidth | kSimple;
        const int ret = EmitNode((fCompileModifiers & kModI) ? BSUBEXPCI : BSUBEXP);
        EmitByte(static_cast<std::uint8_t>(k - '0'));
        return ret;
      }
      const unsigned char ch = ParseEscape();
      flags.bits = kHasWidth | kSimple;
      const int ret = EmitNode((fCompileModifiers & kModI) ? EXACTLYCI : EXACTLY);
      Emit32(1);
      EmitByte(ch);
      return ret;
    }
    default:
      return ParseLiteralRun(flags);
  }
}

int TRegex::ParseLiteralRun(ParseFlags& flags) {
  static constexpr std::string_view kMeta = "^$.[()|?+*\\{";
  const std::string& e = fExpression;
  const std::size_t end = e.size();
  const bool extended = (fCompileModifiers & kModX) != 0;
  std::string run;
  std::size_t lastAt = fCursor;
  run += e[fCursor++];  // the first character may be a "{" that starts no braces
  while (fCursor < end) {
    const char c = e[fCursor];
    if (extended && IsPatternSpace(c)) {
      ++fCursor;
      continue;
    }
    if (extended && c == '#') break;
    if (kMeta.find(c) != std::string_view::npos) break;
    lastAt = fCursor;
    run += c;
    ++fCursor;
  }
  if (run.size() > 1 && IsOperatorAt(fCursor)) {
    // The operator applies to the last character alone.
    run.pop_back();
    fCursor = lastAt;
  }
  flags.bits = run.size() == 1 ? (kHasWidth | kSimple) : kHasWidth;
  const int ret = EmitNode((fCompileModifiers & kModI) ? EXACTLYCI : EXACTLY);
  Emit32(static_cast<std::int32_t>(run.size()));
  for (char ch : run) EmitByte(static_cast<std::uint8_t>(ch));
  return ret;
}

int TRegex::ParseSet(ParseFlags& flags) {
  const std::string& e = fExpression;
  const std::size_t end = e.size();
  ++fCursor;  // "["
  bool negate = false;
  if (fCursor < end && e[fCursor] == '^') {
    negate = true;
    ++fCursor;
  }
  std::array<bool, 256> members{};
  auto addClass = [&](char k) {
    std::array<bool, 256> cls{};
    if (k == 'd' || k == 'D') {
      for (int c = '0'; c <= '9'; ++c) cls[c] = true;
    } else {
      for (char m : (k == 'w' || k == 'W') ? WordChars : SpaceChars) cls[static_cast<unsigned char>(m)] = true;
    }
    const bool complement = k == 'D' || k == 'W' || k == 'S';
    for (int c = 0; c < 256; ++c) {
      if (cls[c] != complement) members[c] = true;
    }
  };
  auto isClassEscape = [](char k) {
    return k == 'd' || k == 'D' || k == 's' || k == 'S' || k == 'w' || k == 'W';
  };
  const bool russian = (fCompileModifiers & kModR) != 0;
  bool first = true;
  bool havePrev = false;
  unsigned char prev = 0;
  for (;;) {
    if (fCursor >= end) Fail(113);
    const char c = e[fCursor];
    if (c == ']' && !first) {
      ++fCursor;
      break;
    }
    first = false;
    if (c == '-' && havePrev && fCursor + 1 < end && e[fCursor + 1] != ']' &&
        !(e[fCursor + 1] == '\\' && fCursor + 2 < end && isClassEscape(e[fCursor + 2]))) {
      ++fCursor;  // a range from prev
      unsigned char last;
      if (e[fCursor] == '\\') {
        ++fCursor;
        if (fCursor >= end) Fail(110);
        last = ParseEscape();
      } else {
        last = static_cast<unsigned char>(e[fCursor++]);
      }
      const unsigned char from = prev;
      const bool lowerRu = from == kRuLowerA && last == kRuLowerYa;
      const bool upperRu = from == kRuUpperA && last == kRuUpperYa;
      const bool bothRu = from == kRuLowerA && last == kRuUpperYa;
      if (russian && (lowerRu || upperRu || bothRu)) {
        if (lowerRu || bothRu) {
          for (int ch = kRuLowerA; ch <= kRuLowerYa; ++ch) members[ch] = true;
          members[kRuLowerYo] = true;
        }
        if (upperRu || bothRu) {
          for (int ch = kRuUpperA; ch <= kRuUpperYa; ++ch) members[ch] = true;
          members[kRuUpperYo] = true;
        }
      } else {
        if (last < from) Fail(109);
        for (int ch = from + 1; ch <= last; ++ch) members[ch] = true;
      }
      prev = last;
      continue;
    }
    if (c == '\\') {
      ++fCursor;
      if (fCursor >= end) Fail(110);
      if (isClassEscape(e[fCursor])) {
        addClass(e[fCursor++]);
        havePrev = false;
        continue;
      }
      prev = ParseEscape();
    } else {
      prev = static_cast<unsigned char>(c);
      ++fCursor;
    }
    members[prev] = true;
    havePrev = true;
  }
  if (fCompileModifiers & kModI) {
    const std::array<bool, 256> plain = members;
    for (int ch = 0; ch < 256; ++ch) {
      if (plain[ch]) members[fInv[ch]] = true;
    }
  }
  flags.bits = kHasWidth | kSimple;
  return EmitSet(members, negate);
}

// ---------------------------------------------------------------------------
// First-character set: the characters a match can begin with. Nodes are
// marked when visited so loops in the program (BACK, LOOP) end the walk.

void TRegex::AddOperandFirst(const std::uint8_t* operand, std::vector<char>& visited) {
  FillFirstCharSet(operand, visited);
}

void TRegex::FillFirstCharSet(const std::uint8_t* scan, std::vector<char>& visited) {
  auto all = [this]() { fFirstCharSet.fill(true); };
  while (scan != nullptr) {
    const auto off = static_cast<std::size_t>(scan - fProgram.data());
    if (off >= visited.size() || visited[off]) return;
    visited[off] = 1;
    const std::uint8_t op = scan[0];
    const std::uint8_t* next = NextNode(scan);
    switch (op) {
      case EEND:
      case ANY:
      case ANYML:
      case BSUBEXP:
      case BSUBEXPCI:
        all();
        return;
      case EOL:
        fFirstCharSet[0] = true;
        return;
      case EOLML:
        fFirstCharSet[0] = true;
        for (char c : LineSeparators) fFirstCharSet[static_cast<unsigned char>(c)] = true;
        if (fPairAssigned) fFirstCharSet[fPairHead] = true;
        return;
      case EXACTLY:
        fFirstCharSet[scan[kNodeSize + 4]] = true;
        return;
      case EXACTLYCI:
        fFirstCharSet[scan[kNodeSize + 4]] = true;
        fFirstCharSet[fInv[scan[kNodeSize + 4]]] = true;
        return;
      case ANYDIGIT:
      case NOTDIGIT:
        for (int c = 0; c < 256; ++c) {
          if (IsDigit(static_cast<unsigned char>(c)) == (op == ANYDIGIT)) fFirstCharSet[c] = true;
        }
        return;
      case ANYOFTINYSET:
        for (int i = 0; i < 3; ++i) fFirstCharSet[scan[kNodeSize + i]] = true;
        return;
      case ANYBUTTINYSET:
        for (int c = 0; c < 256; ++c) {
          if (c != scan[kNodeSize] && c != scan[kNodeSize + 1] && c != scan[kNodeSize + 2]) fFirstCharSet[c] = true;
        }
        return;
      case ANYOFFULLSET:
        for (int c = 0; c < 256; ++c) {
          if (InSet(scan + kNodeSize, static_cast<unsigned char>(c))) fFirstCharSet[c] = true;
        }
        return;
      case BOL:
      case BOLML:
      case BOUND:
      case NOTBOUND:
      case NOTHING:
      case COMMENT:
      case BACK:
        scan = next;
        break;
      case BRANCH:
        if (next != nullptr && next[0] == BRANCH) {
          for (const std::uint8_t* b = scan; b != nullptr && b[0] == BRANCH; b = NextNode(b)) {
            FillFirstCharSet(Operand(b), visited);
          }
          return;
        }
        scan = Operand(scan);
        break;
      case STAR:
      case STARNG:
        AddOperandFirst(Operand(scan), visited);
        scan = next;
        break;
      case PLUS:
      case PLUSNG:
        AddOperandFirst(Operand(scan), visited);
        return;
      case BRACES:
      case BRACESNG:
        AddOperandFirst(scan + kNodeSize + 8, visited);
        if (Read32(scan + kNodeSize) != 0) return;
        scan = next;
        break;
      case LOOPENTRY:
        scan = next;
        break;
      case LOOP:
      case LOOPNG:
        FillFirstCharSet(scan + Read32(scan + kNodeSize + 8), visited);
        if (Read32(scan + kNodeSize) != 0) return;
        scan = next;
        break;
      default:
        if (op > OPEN && op < OPEN + SubExpressionCount) {
          scan = next;
        } else if (op > CLOSE && op < CLOSE + SubExpressionCount) {
          scan = next;
        } else {
          all();
          return;
        }
        break;
    }
  }
}

// ---------------------------------------------------------------------------
// Matcher

void TRegex::ClearMatches() {
  fStart.fill(-1);
  fEnd.fill(-1);
  fOpenStart.fill(-1);
}

void TRegex::SetInputString(std::string_view input) {
  fInput.assign(input);
  fHasInput = true;
  ClearMatches();
}

void TRegex::PrepareRun() {
  if (fCompiled && (fModifiers != fProgramModifiers || InvertCase != fInvFor)) {
    fProgram.clear();
    fCompiled = false;
  }
  if (!fLineSepBuilt || LineSeparators != fLineSepFor) {
    fLineSepSet.fill(false);
    for (char c : LineSeparators) fLineSepSet[static_cast<unsigned char>(c)] = true;
    fLineSepFor = LineSeparators;
    fLineSepBuilt = true;
  }
  if (!fWordBuilt || WordChars != fWordFor) {
    fWordSet.fill(false);
    for (char c : WordChars) fWordSet[static_cast<unsigned char>(c)] = true;
    fWordFor = WordChars;
    fWordBuilt = true;
  }
  if (!fCompiled) {
    if (fExpression.empty()) Fail(1003);
    Compile();
  }
  if (fProgram.empty() || fProgram[0] != kMagic) Fail(1004);
}

bool TRegex::Exec(std::string_view input) {
  SetInputString(input);
  return ExecPrim(1);
}

bool TRegex::ExecPos(int offset) { return ExecPrim(offset); }

bool TRegex::ExecNext() {
  if (fStart[0] < 0 || fEnd[0] < 0) Fail(1007);
  std::int64_t offset = fEnd[0] + 1;
  if (fEnd[0] == fStart[0]) ++offset;
  if (offset > INT_MAX) {
    ClearMatches();
    return false;
  }
  return ExecPrim(static_cast<int>(offset));
}

bool TRegex::ExecPrim(int offset) {
  ClearMatches();
  PrepareRun();
  if (!fHasInput) Fail(1005);
  if (offset < 1) Fail(1006);
  const auto len = static_cast<std::ptrdiff_t>(fInput.size());
  if (offset > len + 1) return false;
  const std::ptrdiff_t from = offset - 1;
  if (!fMustString.empty() && fInput.find(fMustString, static_cast<std::size_t>(from)) == std::string::npos) {
    return false;
  }
  fIn = reinterpret_cast<const unsigned char*>(fInput.data());
  fInEnd = len;
  fLoopDepth = 0;
  fVisits = 0;
  fStackBase = static_cast<const char*>(__builtin_frame_address(0));
  fStackBudget = StackBudget(fStackBase);
  try {
    if (fAnchored) return TryAt(from);
    if (fFirstCharHint >= 0) {
      const auto hint = static_cast<unsigned char>(fFirstCharHint);
      for (std::ptrdiff_t p = from; p < len;) {
        const void* found = std::memchr(fIn + p, hint, static_cast<std::size_t>(len - p));
        if (found == nullptr) break;
        p = static_cast<const unsigned char*>(found) - fIn;
        if (TryAt(p)) return true;
        ++p;
      }
      return false;
    }
    for (std::ptrdiff_t p = from; p < len; ++p) {
      if (fFirstCharSet[fIn[p]] && TryAt(p)) return true;
    }
    // An expression that can match empty matches at the very end too.
    return TryAt(len);
  } catch (...) {
    ClearMatches();
    throw;
  }
}

bool TRegex::TryAt(std::ptrdiff_t p) {
  fLoopDepth = 0;
  if (!MatchPrim(fProgram.data() + 1, p)) return false;
  fStart[0] = p;
  fEnd[0] = fMatchEnd;
  return true;
}

bool TRegex::CaptureOk(int n) const {
  return n > 0 && n < SubExpressionCount && fStart[n] >= 0 && fEnd[n] >= fStart[n];
}

void TRegex::Spend(std::int64_t visits) {
  fVisits += visits;
  if (fVisits > VisitBudget) Fail(ErrorTooComplex);
}

bool TRegex::IsBolMl(std::ptrdiff_t p) const {
  if (p <= 0) return true;
  const unsigned char c = fIn[p - 1];
  if (fPairAssigned) {
    if (c == fPairTail && p >= 2 && fIn[p - 2] == fPairHead) return true;
    if (c == fPairHead && p < fInEnd && fIn[p] == fPairTail) return false;
  }
  return fLineSepSet[c];
}

bool TRegex::IsEolMl(std::ptrdiff_t p) const {
  if (p >= fInEnd) return true;
  const unsigned char c = fIn[p];
  if (fPairAssigned) {
    if (c == fPairHead && p + 1 < fInEnd && fIn[p + 1] == fPairTail) return true;
    if (c == fPairTail && p >= 1 && fIn[p - 1] == fPairHead) return false;
  }
  return fLineSepSet[c];
}

// How many times in a row the simple operand matches from p, at most max.
// For a back reference the count is in whole copies of the capture and unit
// is the capture's length (0 for an empty capture, which matches any number
// of times without moving).
std::int64_t TRegex::RegRepeat(const std::uint8_t* operand, std::int64_t max, std::ptrdiff_t p,
                               std::ptrdiff_t& unit) {
  unit = 1;
  const unsigned char* s = fIn + p;
  const std::int64_t limit = std::min<std::int64_t>(max, fInEnd - p);
  std::int64_t n = 0;
  switch (operand[0]) {
    case ANY:
      return limit;
    case EXACTLY: {
      const unsigned char c = operand[kNodeSize + 4];
      while (n < limit && s[n] == c) ++n;
      break;
    }
    case EXACTLYCI: {
      const unsigned char c = operand[kNodeSize + 4];
      const unsigned char ic = fInv[c];
      while (n < limit && (s[n] == c || s[n] == ic)) ++n;
      break;
    }
    case ANYDIGIT:
      while (n < limit && IsDigit(s[n])) ++n;
      break;
    case NOTDIGIT:
      while (n < limit && !IsDigit(s[n])) ++n;
      break;
    case ANYOFTINYSET: {
      const std::uint8_t* set = operand + kNodeSize;
      while (n < limit && (s[n] == set[0] || s[n] == set[1] || s[n] == set[2])) ++n;
      break;
    }
    case ANYBUTTINYSET: {
      const std::uint8_t* set = operand + kNodeSize;
      while (n < limit && s[n] != set[0] && s[n] != set[1] && s[n] != set[2]) ++n;
      break;
    }
    case ANYOFFULLSET: {
      const std::uint8_t* set = operand + kNodeSize;
      while (n < limit && InSet(set, s[n])) ++n;
      break;
    }
    case BSUBEXP:
    case BSUBEXPCI: {
      const int g = operand[kNodeSize];
      if (!CaptureOk(g)) return 0;
      const std::ptrdiff_t len = fEnd[g] - fStart[g];
      unit = len;
      if (len == 0) return max;
      const unsigned char* cap = fIn + fStart[g];
      const bool ci = operand[0] == BSUBEXPCI;
      std::ptrdiff_t at = p;
      while (n < max && at + len <= fInEnd) {
        bool same = true;
        for (std::ptrdiff_t i = 0; i < len && same; ++i) {
          const unsigned char a = fIn[at + i];
          same = a == cap[i] || (ci && a == fInv[cap[i]]);
        }
        if (!same) break;
        ++n;
        at += len;
      }
      Spend(n * len);
      return n;
    }
    default:
      Fail(1000);
  }
  Spend(n);
  return n;
}

bool TRegex::MatchPrim(const std::uint8_t* scan, std::ptrdiff_t p) {
  if (fStackBase - static_cast<const char*>(__builtin_frame_address(0)) > fStackBudget) Fail(ErrorRecursionDepth);
  const unsigned char* s = fIn;
  const std::ptrdiff_t end = fInEnd;
  while (scan != nullptr) {
    if (++fVisits > VisitBudget) Fail(ErrorTooComplex);
    const std::uint8_t op = scan[0];
    const std::uint8_t* next = NextNode(scan);
    switch (op) {
      case EEND:
        fMatchEnd = p;
        return true;
      case BOL:
        if (p != 0) return false;
        break;
      case EOL:
        if (p != end) return false;
        break;
      case BOLML:
        if (!IsBolMl(p)) return false;
        break;
      case EOLML:
        if (!IsEolMl(p)) return false;
        break;
      case ANY:
        if (p >= end) return false;
        ++p;
        break;
      case ANYML:
        if (p >= end || fLineSepSet[s[p]]) return false;
        if (fPairAssigned && s[p] == fPairHead && p + 1 < end && s[p + 1] == fPairTail) return false;
        ++p;
        break;
      case ANYDIGIT:
        if (p >= end || !IsDigit(s[p])) return false;
        ++p;
        break;
      case NOTDIGIT:
        if (p >= end || IsDigit(s[p])) return false;
        ++p;
        break;
      case EXACTLY: {
        const std::int32_t len = Read32(scan + kNodeSize);
        if (end - p < len || std::memcmp(s + p, scan + kNodeSize + 4, static_cast<std::size_t>(len)) != 0) {
          return false;
        }
        p += len;
        break;
      }
      case EXACTLYCI: {
        const std::int32_t len = Read32(scan + kNodeSize);
        if (end - p < len) return false;
        const std::uint8_t* lit = scan + kNodeSize + 4;
        for (std::int32_t i = 0; i < len; ++i) {
          if (s[p + i] != lit[i] && s[p + i] != fInv[lit[i]]) return false;
        }
        p += len;
        break;
      }
      case ANYOFTINYSET: {
        const std::uint8_t* set = scan + kNodeSize;
        if (p >= end || (s[p] != set[0] && s[p] != set[1] && s[p] != set[2])) return false;
        ++p;
        break;
      }
      case ANYBUTTINYSET: {
        const std::uint8_t* set = scan + kNodeSize;
        if (p >= end || s[p] == set[0] || s[p] == set[1] || s[p] == set[2]) return false;
        ++p;
        break;
      }
      case ANYOFFULLSET:
        if (p >= end || !InSet(scan + kNodeSize, s[p])) return false;
        ++p;
        break;
      case BSUBEXP:
      case BSUBEXPCI: {
        const int g = scan[kNodeSize];
        if (!CaptureOk(g)) return false;
        const std::ptrdiff_t len = fEnd[g] - fStart[g];
        if (end - p < len) return false;
        const unsigned char* cap = s + fStart[g];
        for (std::ptrdiff_t i = 0; i < len; ++i) {
          const unsigned char a = s[p + i];
          if (a != cap[i] && !(op == BSUBEXPCI && a == fInv[cap[i]])) return false;
        }
        p += len;
        break;
      }
      case BOUND:
      case NOTBOUND: {
        const bool before = p > 0 && fWordSet[s[p - 1]];
        const bool here = p < end && fWordSet[s[p]];
        if ((before != here) != (op == BOUND)) return false;
        break;
      }
      case NOTHING:
      case COMMENT:
      case BACK:
        break;
      case BRANCH:
        if (next == nullptr || next[0] != BRANCH) {
          next = Operand(scan);  // a single alternative: no choice to remember
          break;
        }
        do {
          if (MatchPrim(Operand(scan), p)) return true;
          scan = NextNode(scan);
        } while (scan != nullptr && scan[0] == BRANCH);
        return false;
      case STAR:
      case STARNG:
      case PLUS:
      case PLUSNG:
      case BRACES:
      case BRACESNG: {
        std::int64_t min = 0;
        std::int64_t max = kRepeatInfinite;
        const std::uint8_t* operand = Operand(scan);
        if (op == PLUS || op == PLUSNG) min = 1;
        if (op == BRACES || op == BRACESNG) {
          min = Read32(scan + kNodeSize);
          max = Read32(scan + kNodeSize + 4);
          operand = scan + kNodeSize + 8;
        }
        int hint = -1;
        if (next != nullptr && next[0] == EXACTLY) hint = next[kNodeSize + 4];
        std::ptrdiff_t unit = 1;
        std::int64_t count = RegRepeat(operand, max, p, unit);
        if (count < min) return false;
        if (unit == 0) count = min;  // copies of an empty capture: every count is the same
        const bool greedy = op == STAR || op == PLUS || op == BRACES;
        const std::int64_t first = greedy ? count : min;
        const std::int64_t last = greedy ? min : count;
        const std::int64_t step = greedy ? -1 : 1;
        for (std::int64_t n = first;; n += step) {
          Spend(1);
          const std::ptrdiff_t q = p + n * unit;
          if (hint < 0 || (q < end && s[q] == hint)) {
            if (MatchPrim(next, q)) return true;
          }
          if (n == last) break;
        }
        return false;
      }
      case LOOPENTRY: {
        if (fLoopDepth >= LoopStackSize) Fail(1014);
        const int depth = fLoopDepth++;
        const std::int32_t savedCount = fLoopCount[depth];
        const std::ptrdiff_t savedStart = fLoopIterStart[depth];
        fLoopCount[depth] = 0;
        fLoopIterStart[depth] = -1;
        if (MatchPrim(next, p)) return true;
        fLoopCount[depth] = savedCount;
        fLoopIterStart[depth] = savedStart;
        fLoopDepth = depth;
        return false;
      }
      case LOOP:
      case LOOPNG: {
        if (fLoopDepth <= 0) Fail(1015);
        const int depth = fLoopDepth - 1;
        const std::int32_t min = Read32(scan + kNodeSize);
        const std::int32_t max = Read32(scan + kNodeSize + 4);
        const std::uint8_t* body = scan + Read32(scan + kNodeSize + 8);
        const std::int32_t count = fLoopCount[depth];
        const std::ptrdiff_t iterStart = fLoopIterStart[depth];
        auto iterate = [&]() {
          fLoopCount[depth] = count + 1;
          fLoopIterStart[depth] = p;
          if (MatchPrim(body, p)) return true;
          fLoopCount[depth] = count;
          fLoopIterStart[depth] = iterStart;
          fLoopDepth = depth + 1;
          return false;
        };
        auto leave = [&]() {
          fLoopDepth = depth;
          if (MatchPrim(next, p)) return true;
          fLoopDepth = depth + 1;
          return false;
        };
        if (count < min) return iterate();
        // An iteration that matched nothing would repeat forever: stop there.
        const bool mayIterate = count < max && !(count > 0 && iterStart == p);
        if (op == LOOP) {
          if (mayIterate && iterate()) return true;
          return leave();
        }
        if (leave()) return true;
        return mayIterate && iterate();
      }
      default:
        // A group's new start is held apart until the group closes, so a
        // back reference inside the group still sees the last whole capture
        // and start and end always come from the same pass.
        if (op > OPEN && op < OPEN + SubExpressionCount) {
          const int g = op - OPEN;
          const std::ptrdiff_t saved = fOpenStart[g];
          fOpenStart[g] = p;
          if (MatchPrim(next, p)) return true;
          fOpenStart[g] = saved;
          return false;
        }
        if (op > CLOSE && op < CLOSE + SubExpressionCount) {
          const int g = op - CLOSE;
          const std::ptrdiff_t savedStart = fStart[g];
          const std::ptrdiff_t savedEnd = fEnd[g];
          fStart[g] = fOpenStart[g];
          fEnd[g] = p;
          if (MatchPrim(next, p)) return true;
          fStart[g] = savedStart;
          fEnd[g] = savedEnd;
          return false;
        }
        Fail(1001);
    }
    scan = next;
  }
  Fail(1002);
}

// ---------------------------------------------------------------------------
// Results and substitution

int TRegex::MatchPos(int n) const {
  if (n < 0 || n >= SubExpressionCount || !fHasInput) return -1;
  if (fStart[n] < 0 || fEnd[n] < fStart[n]) return -1;
  return static_cast<int>(fStart[n] + 1);
}

int TRegex::MatchLen(int n) const {
  if (n < 0 || n >= SubExpressionCount || !fHasInput) return -1;
  if (fStart[n] < 0 || fEnd[n] < fStart[n]) return -1;
  return static_cast<int>(fEnd[n] - fStart[n]);
}

std::string TRegex::Substitute(std::string_view templ) {
  PrepareRun();
  if (!fHasInput) Fail(1005);
  std::string out;
  if (templ.empty()) return out;
  out.reserve(templ.size());
  const std::size_t n = templ.size();
  auto appendGroup = [&](std::int64_t g) {
    if (g < 0 || g >= SubExpressionCount) return;
    if (fStart[g] < 0 || fEnd[g] < fStart[g]) return;
    out.append(fInput, static_cast<std::size_t>(fStart[g]), static_cast<std::size_t>(fEnd[g] - fStart[g]));
  };
  std::size_t i = 0;
  while (i < n) {
    const char c = templ[i];
    if (c == '\\' && i + 1 < n) {
      out += templ[i + 1];
      i += 2;
      continue;
    }
    if (c == '$' && i + 1 < n) {
      const char k = templ[i + 1];
      if (k == '&') {
        appendGroup(0);
        i += 2;
        continue;
      }
      if (IsDigit(static_cast<unsigned char>(k))) {
        std::size_t j = i + 1;
        std::int64_t g = 0;
        while (j < n && IsDigit(static_cast<unsigned char>(templ[j]))) {
          if (g < SubExpressionCount) g = g * 10 + (templ[j] - '0');
          ++j;
        }
        appendGroup(g);
        i = j;
        continue;
      }
      if (k == '{') {
        const std::size_t close = templ.find('}', i + 2);
        if (close != std::string_view::npos) {
          const std::string_view inner = templ.substr(i + 2, close - i - 2);
          bool digits = !inner.empty();
          for (char d : inner) digits = digits && IsDigit(static_cast<unsigned char>(d));
          if (inner.empty() || inner == "&" || digits) {
            std::int64_t g = 0;
            for (char d : inner) {
              if (d != '&' && g < SubExpressionCount) g = g * 10 + (d - '0');
            }
            appendGroup(g);
            i = close + 1;
            continue;
          }
        }
      }
    }
    out += c;
    ++i;
  }
  return out;
}

std::string TRegex::Replace(std::string_view input, std::string_view templ, bool useSubstitution) {
  std::string result;
  std::size_t previousEnd = 0;
  // The input is copied by Exec; later slices come from that copy.
  if (Exec(input)) {
    do {
      const auto start = static_cast<std::size_t>(fStart[0]);
      result.append(fInput, previousEnd, start - previousEnd);
      if (useSubstitution) {
        result += Substitute(templ);
      } else {
        result.append(templ);
      }
      previousEnd = static_cast<std::size_t>(fEnd[0]);
    } while (ExecNext());
  }
  result.append(fInput, previousEnd, std::string::npos);
  return result;
}

}  // namespace ond
