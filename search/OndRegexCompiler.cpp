// Compiling a regular expression: a sizing pass and an emitting pass over the
// pattern, and the first-character set that lets a search skip ahead.
#include <algorithm>
#include <climits>
#include <cstring>

#include "search/OndRegex.h"
#include "search/OndRegexProgram.h"

namespace ond {

using namespace regexprog;

// An OPEN or CLOSE opcode stands for each group a program can number.
static_assert(kGroupOpcodes == TRegex::SubExpressionCount);

namespace {

// Flags the parser passes up.
constexpr int kWorst = 0;
constexpr int kHasWidth = 1;   // never matches the empty string
constexpr int kSimple = 2;     // one character: may be a repeat's operand
constexpr int kSpStart = 4;    // starts with a repeat
// Its width comes only from back references: it matches the empty string
// whenever the groups they copy captured nothing.
constexpr int kWidthByReference = 8;

constexpr int kMaxBraceDigits = 8;

inline bool IsPatternSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

inline int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

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

// Emitting. The sizing pass runs the same code with fSizing set: positions are
// tracked exactly as when emitting, but nothing is written.

int TRegex::EmitNode(std::uint8_t op) {
  const int at = fEmitPos;
  if (op == BOLML || op == EOLML || op == ANYML) fUsesLineSeparators = true;
  if (op == BOUND || op == NOTBOUND) fUsesWordChars = true;
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
  fCompiledLineSeparators = LineSeparators;
  fHasBackReference = false;
  fUsesLineSeparators = false;
  fUsesWordChars = false;
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
    // A match of an earlier program may have set groups this one lacks.
    fStart.fill(-1);
    fEnd.fill(-1);
    fOpenStart.fill(-1);
    fGroupSlots = fNextGroup;
  } catch (...) {
    fProgram.clear();
    fCompiling = false;
    fSizing = false;
    throw;
  }
  fCompiling = false;

  // Hints that let a search skip start positions.
  FindGroupFirstSets();
  fFirstCharSet.fill(false);
  std::vector<char> visited(fProgram.size(), 0);
  int budget = 0;
  FillFirstCharSet(fProgram.data() + 1, visited, fFirstCharSet, false, budget);
  fFirstCharScan = TByteClassScan(fFirstCharSet);
  fRepeatHints.assign(fProgram.size(), RepeatHints{});
  fFollowSets.clear();
  fClassScans.clear();
  fEndAnchored = false;
  fRequiredEnd.clear();
  fRequiredEndCi = false;
  fFirstCharHint = -1;
  fLeadLength = 0;
  fLeadIsWhole = false;
  fAnchored = false;
  fMustString.clear();
  fLeadRepeat = 0;
  fLeadSkips = true;
  fWholeRepeat = 0;
  fEcho = false;
  fRunEcho = 0;
  const std::uint8_t* top = fProgram.data() + 1;
  const std::uint8_t* afterTop = NextNode(top);
  FindLiteralPairs(top);
  if (afterTop != nullptr && afterTop[0] == EEND) {  // a single alternative
    const std::uint8_t* first = Operand(top);
    // Modifier groups such as "(?i)" leave no-op nodes in front.
    while (first[0] == COMMENT && NextNode(first) != nullptr) first = NextNode(first);
    if (first[0] == EXACTLY || first[0] == EXACTLYCI) {
      if (first[0] == EXACTLY) fFirstCharHint = first[kNodeSize + 4];
      // Every match begins with this literal: a search looks only where its
      // first and last characters are.
      const std::int32_t len = Read32(Operand(first));
      if (len > 0) {
        const std::uint8_t* lit = Operand(first) + 4;
        const bool ci = first[0] == EXACTLYCI;
        const unsigned char head = lit[0], tail = lit[len - 1];
        fLeadScan = TLiteralScan({head, ci ? fInv[head] : head}, {tail, ci ? fInv[tail] : tail},
                                 static_cast<std::size_t>(len - 1));
        fLeadLength = len;
        const std::uint8_t* after = NextNode(first);
        fLeadIsWhole = after != nullptr && after[0] == EEND;
        fLeadLiteral = static_cast<std::int32_t>(lit - fProgram.data());
        fLeadCaseless = ci;
      }
    } else if (first[0] == BOL) {
      fAnchored = true;
    }
    // A repeat of a character class in front of everything else; groups
    // may open before it, but a failed try's run is then passed over only
    // when no back reference can read them.
    const std::uint8_t* lead = first;
    for (;;) {
      const std::uint8_t* after = NextNode(lead);
      if (lead[0] == BRANCH && (after == nullptr || after[0] != BRANCH)) {
        lead = Operand(lead);  // a group's only alternative
      } else if ((lead[0] == COMMENT || IsOpen(lead[0])) && after != nullptr) {
        if (lead[0] != COMMENT && fHasBackReference) fLeadSkips = false;
        lead = after;
      } else {
        break;
      }
    }
    if (lead[0] == STAR || lead[0] == STARNG || lead[0] == PLUS || lead[0] == PLUSNG || lead[0] == BRACES ||
        lead[0] == BRACESNG) {
      const std::uint8_t* operand = lead[0] == BRACES || lead[0] == BRACESNG ? lead + kNodeSize + 8 : Operand(lead);
      if (operand[0] != BSUBEXP && operand[0] != BSUBEXPCI) {
        fLeadRepeat = static_cast<std::int32_t>(lead - fProgram.data());
        // The repeat is the whole expression: a match is the run itself.
        const std::uint8_t* after = NextNode(lead);
        while (after != nullptr && (after[0] == COMMENT || after[0] == NOTHING)) after = NextNode(after);
        if (lead == first && after != nullptr && after[0] == EEND) fWholeRepeat = fLeadRepeat;
      }
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
    FindRequiredEnd(first);
    FindEchoes(first);
  }
  fCompiled = true;
}

// When every top-level alternative begins with a literal of two characters
// or more, the characters that can come first and second in a match.
void TRegex::FindLiteralPairs(const std::uint8_t* top) {
  fPairFilter = false;
  fWholeLiterals.clear();
  std::vector<std::int32_t> wholes;
  std::array<bool, 256> firsts{}, seconds{};
  int alternatives = 0;
  for (const std::uint8_t* b = top; b != nullptr && b[0] == BRANCH; b = NextNode(b)) {
    const std::uint8_t* lit = Operand(b);
    while (lit[0] == COMMENT && NextNode(lit) != nullptr) lit = NextNode(lit);
    if ((lit[0] != EXACTLY && lit[0] != EXACTLYCI) || Read32(Operand(lit)) < 2) return;
    const std::uint8_t* after = NextNode(lit);
    wholes.push_back(after != nullptr && after[0] == EEND ? static_cast<std::int32_t>(lit - fProgram.data()) : 0);
    const std::uint8_t* text = Operand(lit) + 4;
    const bool ci = lit[0] == EXACTLYCI;
    for (int i = 0; i < 2; ++i) {
      std::array<bool, 256>& set = i == 0 ? firsts : seconds;
      set[text[i]] = true;
      if (ci) set[fInv[text[i]]] = true;
    }
    ++alternatives;
  }
  if (alternatives < 2) return;  // one literal has its own scan
  fPairFilter = true;
  if (std::find(wholes.begin(), wholes.end(), 0) == wholes.end()) fWholeLiterals = std::move(wholes);
  fFirstCharScan = TByteClassScan(firsts);
  fSecondCharScan = TByteClassScan(seconds);
}

// The nodes every match passes through follow each other along the next
// offsets from the first node of a single top-level alternative (branches,
// loops and repeats hang their bodies off that chain). When the chain ends
// with "$" (the input end, not a line end) every match ends at the input
// end, after the literal just before the "$" when there is one; groups may
// close and comments stand in between.
void TRegex::FindRequiredEnd(const std::uint8_t* first) {
  std::vector<const std::uint8_t*> chain;
  std::vector<char> seen(fProgram.size(), 0);
  for (const std::uint8_t* scan = first; scan != nullptr; scan = NextNode(scan)) {
    const auto off = static_cast<std::size_t>(scan - fProgram.data());
    if (seen[off]) return;
    seen[off] = 1;
    chain.push_back(scan);
  }
  if (chain.empty() || chain.back()[0] != EEND) return;
  auto passive = [](std::uint8_t op) {
    return op == COMMENT || op == NOTHING || IsClose(op);
  };
  std::size_t i = chain.size() - 1;  // at EEND
  while (i > 0 && passive(chain[i - 1][0])) --i;
  if (i == 0 || chain[i - 1][0] != EOL) return;
  fEndAnchored = true;
  --i;  // at EOL
  while (i > 0 && passive(chain[i - 1][0])) --i;
  if (i == 0) return;
  const std::uint8_t* lit = chain[i - 1];
  if (lit[0] != EXACTLY && lit[0] != EXACTLYCI) return;
  fRequiredEnd.assign(reinterpret_cast<const char*>(Operand(lit) + 4), static_cast<std::size_t>(Read32(Operand(lit))));
  fRequiredEndCi = lit[0] == EXACTLYCI;
}

int TRegex::ParseReg(bool paren, ParseFlags& flags) {
  flags = ParseFlags{kHasWidth};
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
    flags.bits |= f.bits & (kSpStart | kWidthByReference);
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
  flags = ParseFlags{kWorst};
  const int ret = EmitNode(BRANCH);
  int chain = 0;
  const std::size_t end = fExpression.size();
  bool solidWidth = false;  // a piece that never matches empty, whatever was captured
  while (fCursor < end && fExpression[fCursor] != '|' && fExpression[fCursor] != ')') {
    ParseFlags f;
    const int latest = ParsePiece(f);
    flags.bits |= f.bits & kHasWidth;
    if ((f.bits & kHasWidth) && !(f.bits & kWidthByReference)) solidWidth = true;
    if (chain == 0) {
      flags.bits |= f.bits & kSpStart;
    } else {
      Tail(chain, latest);
    }
    chain = latest;
  }
  if (chain == 0) EmitNode(NOTHING);
  if ((flags.bits & kHasWidth) && !solidWidth) flags.bits |= kWidthByReference;
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

  flags.bits = (op == '*' || op == '?' || (op == '{' && min == 0)) ? (kWorst | kSpStart)
                                                                   : kHasWidth | (f.bits & kWidthByReference);
  // A pass through an atom that is wide only through back references can
  // match nothing, and the plain greedy loop would take such passes forever:
  // it becomes a counted loop, which stops at an empty pass.
  const bool mayPassEmpty = (f.bits & kWidthByReference) && !(f.bits & kSimple);

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
  } else if (op == '*' && !nonGreedy && !mayPassEmpty) {
    Insert(BRANCH, ret, 0);
    OpTail(ret, EmitNode(BACK));
    OpTail(ret, ret);
    Tail(ret, EmitNode(BRANCH));
    Tail(ret, EmitNode(NOTHING));
  } else if (op == '+' && !nonGreedy && !mayPassEmpty) {
    const int next = EmitNode(BRANCH);
    Tail(ret, next);
    Tail(EmitNode(BACK), ret);
    Tail(next, EmitNode(BRANCH));
    Tail(ret, EmitNode(NOTHING));
  } else {
    // A counted loop over a complex atom, kept on the loop stack.
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
  flags = ParseFlags{kWorst};
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
  // Which anchor a line mode "^" or "$" becomes depends on the separators.
  if ((fCompileModifiers & kModM) && (c == '^' || c == '$')) fUsesLineSeparators = true;
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
      flags.bits = f.bits & (kHasWidth | kSpStart | kWidthByReference);
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
        fHasBackReference = true;
        flags.bits = kHasWidth | kSimple | kWidthByReference;
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

// First-character set: the characters a match can begin with. Nodes are
// marked when visited so loops in the program (BACK, LOOP) end the walk.

void TRegex::FillFirstCharSet(const std::uint8_t* scan, std::vector<char>& visited, std::array<bool, 256>& set,
                              bool follow, int& budget) {
  auto all = [&set]() { set.fill(true); };
  while (scan != nullptr) {
    const auto off = static_cast<std::size_t>(scan - fProgram.data());
    if (off >= visited.size() || visited[off]) return;
    visited[off] = 1;
    if (follow && --budget < 0) {
      all();
      return;
    }
    const std::uint8_t op = scan[0];
    const std::uint8_t* next = NextNode(scan);
    switch (op) {
      case EEND:
      case ANY:
      case ANYML:
        all();
        return;
      case BSUBEXP:
      case BSUBEXPCI: {
        // A copy of a capture that is never empty begins as the capture does.
        const int g = scan[kNodeSize];
        if (!fGroupFirstKnown || g >= fGroupSlots || fGroupMayBeEmpty[static_cast<std::size_t>(g)]) {
          all();
          return;
        }
        const std::array<bool, 256>& firsts = fGroupFirst[static_cast<std::size_t>(g)];
        for (int c = 0; c < 256; ++c) {
          if (!firsts[c]) continue;
          set[c] = true;
          if (op == BSUBEXPCI) set[fInv[c]] = true;
        }
        return;
      }
      case EOL:
        set[0] = true;
        return;
      case EOLML:
        set[0] = true;
        for (char c : LineSeparators) set[static_cast<unsigned char>(c)] = true;
        if (fPairAssigned) set[fPairHead] = true;
        return;
      case EXACTLY:
        set[scan[kNodeSize + 4]] = true;
        return;
      case EXACTLYCI:
        set[scan[kNodeSize + 4]] = true;
        set[fInv[scan[kNodeSize + 4]]] = true;
        return;
      case ANYDIGIT:
      case NOTDIGIT:
        for (int c = 0; c < 256; ++c) {
          if (IsDigit(static_cast<unsigned char>(c)) == (op == ANYDIGIT)) set[c] = true;
        }
        return;
      case ANYOFTINYSET:
        for (int i = 0; i < 3; ++i) set[scan[kNodeSize + i]] = true;
        return;
      case ANYBUTTINYSET:
        for (int c = 0; c < 256; ++c) {
          if (c != scan[kNodeSize] && c != scan[kNodeSize + 1] && c != scan[kNodeSize + 2]) set[c] = true;
        }
        return;
      case ANYOFFULLSET:
        for (int c = 0; c < 256; ++c) {
          if (InSet(scan + kNodeSize, static_cast<unsigned char>(c))) set[c] = true;
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
            FillFirstCharSet(Operand(b), visited, set, follow, budget);
          }
          return;
        }
        scan = Operand(scan);
        break;
      case STAR:
      case STARNG:
        FillFirstCharSet(Operand(scan), visited, set, follow, budget);
        scan = next;
        break;
      case PLUS:
      case PLUSNG:
        FillFirstCharSet(Operand(scan), visited, set, follow, budget);
        return;
      case BRACES:
      case BRACESNG:
        FillFirstCharSet(scan + kNodeSize + 8, visited, set, follow, budget);
        if (Read32(scan + kNodeSize) != 0) return;
        scan = next;
        break;
      case LOOPENTRY:
        scan = next;
        break;
      case LOOP:
      case LOOPNG:
        FillFirstCharSet(scan + Read32(scan + kNodeSize + 8), visited, set, follow, budget);
        // A walk that starts inside the body reaches the loop with any count,
        // so the rest may follow whatever the minimum.
        if (!follow && Read32(scan + kNodeSize) != 0) return;
        scan = next;
        break;
      default:
        if (IsOpen(op)) {
          scan = next;
        } else if (IsClose(op)) {
          scan = next;
        } else {
          all();
          return;
        }
        break;
    }
  }
}

}  // namespace ond
