// Running a compiled regular expression: the search loop and the
// backtracking matcher.
#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "search/OndRegex.h"
#include "search/OndRegexProgram.h"

namespace ond {

using namespace regexprog;

namespace {

// Kinds of backtracking entries. The first ones put a saved value back; the
// others are choice points that resume the match another way.
enum : std::uint8_t {
  kUndoOpen,         // Index: group; A: its pending start
  kUndoCapture,      // Index: group; A, B: its start and end
  kUndoLoop,         // Index: depth; A: counter, B: start of the iteration
  kUndoLoopDepth,    // A: loop depth
  kChoiceBranch,     // Node: the next alternative; A: position
  kChoiceRepeat,     // Node: the repeat; A: its start; B: the next count to try
  kChoiceRepeatEnd,  // under a non-greedy kChoiceRepeat: A: the largest count
  kChoiceLeave,      // Node: a greedy loop; A: position (leave it there)
  kChoiceIterate,    // Node: a non-greedy loop; A: position (iterate once more)
};

// Walks of the program after a repeat stop after this many nodes.
constexpr int kFollowWalk = 256;

}  // namespace

// Matcher

// Only the sub-expressions the program has can hold a position (the others
// were cleared when it was compiled): without groups, that is the whole match.
void TRegex::ClearMatches() {
  if (fGroupSlots == 1) {
    fStart[0] = -1;
    fEnd[0] = -1;
    fOpenStart[0] = -1;
    return;
  }
  fStart.fill(-1);
  fEnd.fill(-1);
  fOpenStart.fill(-1);
}

void TRegex::SetInputString(std::string_view input) {
  fInput.assign(input);
  fHasInput = true;
  ClearMatches();
}

void TRegex::PrepareRunSlow() {
  // The separators shape a program that reads them (its anchors, the
  // characters a match or what follows a repeat can begin with).
  if (fCompiled && (fModifiers != fProgramModifiers || InvertCase != fInvFor ||
                    (fUsesLineSeparators && LineSeparators != fCompiledLineSeparators))) {
    fProgram.clear();
    fCompiled = false;
  }
  if (!fCompiled) {
    if (fExpression.empty()) Fail(1003);
    Compile();
  }
  if (fProgram.empty() || fProgram[0] != kMagic) Fail(1004);
  // The separator and word sets are read only by the nodes that test them.
  if (fUsesLineSeparators && (!fLineSepBuilt || LineSeparators != fLineSepFor)) {
    fLineSepSet.fill(false);
    for (char c : LineSeparators) fLineSepSet[static_cast<unsigned char>(c)] = true;
    fLineSepFor = LineSeparators;
    fLineSepBuilt = true;
  }
  if (fUsesWordChars && (!fWordBuilt || WordChars != fWordFor)) {
    fWordSet.fill(false);
    for (char c : WordChars) fWordSet[static_cast<unsigned char>(c)] = true;
    fWordFor = WordChars;
    fWordBuilt = true;
  }
}

bool TRegex::Exec(std::string_view input) {
  fInput.assign(input);
  fHasInput = true;
  return ExecPrim(1);  // clears the matches
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
  fIn = reinterpret_cast<const unsigned char*>(fInput.data());
  if (!fPlainMatching) {
    if (!fMustString.empty() && fInput.find(fMustString, static_cast<std::size_t>(from)) == std::string::npos) {
      return false;
    }
    if (fEndAnchored) {
      const auto need = static_cast<std::ptrdiff_t>(fRequiredEnd.size());
      if (len - from < need) return false;
      const unsigned char* tail = fIn + len - need;
      for (std::ptrdiff_t i = 0; i < need; ++i) {
        const auto c = static_cast<unsigned char>(fRequiredEnd[static_cast<std::size_t>(i)]);
        if (tail[i] != c && !(fRequiredEndCi && tail[i] == fInv[c])) return false;
      }
    }
  }
  fInEnd = len;
  fLoopDepth = 0;
  fVisits = 0;
  fVisitBudget = VisitBudget + VisitBudgetPerCharacter * len;
  // A huge search's stack is not kept for the next one.
  struct ReleaseBacktrack {
    std::vector<Backtrack>& stack;
    ~ReleaseBacktrack() {
      if (stack.capacity() * sizeof(Backtrack) > (1u << 20)) std::vector<Backtrack>().swap(stack);
    }
  } release{fBacktrack};
  try {
    if (fPlainMatching) {
      for (std::ptrdiff_t p = from; p <= len; ++p) {
        if (TryAt(p)) return true;
      }
      return false;
    }
    if (fAnchored) return from == 0 && TryAt(0);  // only the input start can match
    if (fPairFilter) {
      // Every match begins with one of two-character literals: only starts
      // whose two characters can begin one are tried.
      if (len - from < 2) return false;
      const auto last = static_cast<std::size_t>(len - 1);
      for (auto p = static_cast<std::size_t>(from); p < last; ++p) {
        p = fFirstCharScan.FindPairIn(fIn, p, last, fSecondCharScan);
        if (p == last) break;
        if (!fWholeLiterals.empty()) {
          for (std::int32_t node : fWholeLiterals) {
            const std::uint8_t* lit = fProgram.data() + node;
            const std::int32_t n = Read32(Operand(lit));
            if (len - static_cast<std::ptrdiff_t>(p) >= n && LiteralAt(lit, static_cast<std::ptrdiff_t>(p))) {
              fStart[0] = static_cast<std::ptrdiff_t>(p);
              fEnd[0] = static_cast<std::ptrdiff_t>(p) + n;
              return true;
            }
          }
          continue;
        }
        if (TryAt(static_cast<std::ptrdiff_t>(p))) return true;
      }
      return false;
    }
    if (fLeadLength > 0) return TryAtLiteralStarts(from);
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
    if (fWholeRepeat != 0) return FindWholeRepeat(from);
    if (fEcho) return TryAtEchoes(from);
    std::ptrdiff_t p = from;
    for (; p < len; ++p) {
      if (!fFirstCharSet[fIn[p]]) {
        p = static_cast<std::ptrdiff_t>(
            fFirstCharScan.FindIn(fIn, static_cast<std::size_t>(p), static_cast<std::size_t>(len)));
        if (p == len) break;
      }
      if (fRunEcho != 0) {
        std::ptrdiff_t runEnd = p;
        if (TryRunEchoStarts(p, runEnd)) return true;
        if (runEnd > p) {
          p = runEnd - 1;  // the start at runEnd captures from there: it is tried
          continue;
        }
      }
      fLeadCount = -1;
      if (TryAt(p)) return true;
      // The leading repeat's run from p held every end a start inside the
      // run could reach, and all of them failed.
      if (fLeadSkips && fLeadCount > 0) p += fLeadCount;
    }
    // An expression that can match empty matches at the very end too. The
    // first-character set holds character 0 for every expression that can
    // (the walk that fills it stands for the end of the input with it).
    return p == len && fFirstCharSet[0] && TryAt(len);
  } catch (...) {
    ClearMatches();
    throw;
  }
}

bool TRegex::TryAtLiteralStarts(std::ptrdiff_t from) {
  if (fInEnd - from < fLeadLength) return false;
  const auto lastStart = static_cast<std::size_t>(fInEnd - fLeadLength);
  if (!fLeadIsWhole) {
    return fLeadScan.Scan(fIn, static_cast<std::size_t>(from), lastStart,
                          [this](std::size_t p) { return TryAt(static_cast<std::ptrdiff_t>(p)); });
  }
  const std::uint8_t* lit = fProgram.data() + fLeadLiteral;
  const auto len = static_cast<std::size_t>(fLeadLength);
  auto found = [&](std::size_t p) {
    const unsigned char* s = fIn + p;
    if (fLeadCaseless) {
      for (std::size_t i = 0; i < len; ++i) {
        if (s[i] != lit[i] && s[i] != fInv[lit[i]]) return false;
      }
    } else if (std::memcmp(s, lit, len) != 0) {
      return false;
    }
    fStart[0] = static_cast<std::ptrdiff_t>(p);
    fEnd[0] = static_cast<std::ptrdiff_t>(p + len);
    return true;
  };
  return fLeadScan.Scan(fIn, static_cast<std::size_t>(from), lastStart, found);
}

std::size_t TRegex::ClassRun(const std::uint8_t* repeat, std::int64_t max, std::size_t p) {
  const RepeatHints& hints = HintsFor(repeat);
  const auto limit = static_cast<std::size_t>(std::min<std::int64_t>(max, fInEnd - static_cast<std::ptrdiff_t>(p)));
  if (hints.classScan < 0) return limit;  // every character
  return fClassScans[static_cast<std::size_t>(hints.classScan)].FindOut(fIn + p, 0, limit);
}

bool TRegex::FindWholeRepeat(std::ptrdiff_t from) {
  const std::uint8_t* node = fProgram.data() + fWholeRepeat;
  const RepeatBounds r = BoundsOf(node);
  const RepeatHints& hints = HintsFor(node);
  const TByteClassScan* scan = hints.classScan >= 0 ? &fClassScans[static_cast<std::size_t>(hints.classScan)] : nullptr;
  const auto end = static_cast<std::size_t>(fInEnd);
  for (auto p = static_cast<std::size_t>(from); p <= end; ++p) {
    if (r.min > 0 && scan != nullptr) {
      p = scan->FindIn(fIn, p, end);
      if (p == end) break;
    }
    const std::size_t count = ClassRun(node, r.max, p);
    if (static_cast<std::int64_t>(count) >= r.min) {
      fStart[0] = static_cast<std::ptrdiff_t>(p);
      fEnd[0] = static_cast<std::ptrdiff_t>(p + (r.greedy ? count : static_cast<std::size_t>(r.min)));
      return true;
    }
    // Every start inside a run too short has a shorter one.
    p += count;
  }
  return false;
}

bool TRegex::TryAtEchoes(std::ptrdiff_t from) {
  // A match from p has the same character at p + fEchoCapture and at
  // p + fEchoReference, and room for the reference's copy.
  const std::ptrdiff_t last = fInEnd - fEchoReference - fEchoLength;
  const auto a = static_cast<std::size_t>(fEchoCapture), b = static_cast<std::size_t>(fEchoReference);
  for (std::ptrdiff_t p = from; p <= last; ++p) {
    p = static_cast<std::ptrdiff_t>(
        fFirstCharScan.FindEchoIn(fIn, static_cast<std::size_t>(p), static_cast<std::size_t>(last + 1), a, b, fEchoFold));
    if (p > last) break;
    if (fEchoFold != 0 && !EchoBytesAgree(p + fEchoCapture, p + fEchoReference)) continue;
    if (TryAt(p)) return true;
  }
  return false;
}

bool TRegex::LiteralAt(const std::uint8_t* node, std::ptrdiff_t p) const {
  const auto len = static_cast<std::size_t>(Read32(Operand(node)));
  const std::uint8_t* lit = Operand(node) + 4;
  const unsigned char* s = fIn + p;
  if (node[0] == EXACTLY) return std::memcmp(s, lit, len) == 0;
  for (std::size_t i = 0; i < len; ++i) {
    if (s[i] != lit[i] && s[i] != fInv[lit[i]]) return false;
  }
  return true;
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
  if (fVisits > fVisitBudget) Fail(ErrorTooComplex);
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
                               std::ptrdiff_t& unit, const TByteClassScan* scan) {
  unit = 1;
  const unsigned char* s = fIn + p;
  const std::int64_t limit = std::min<std::int64_t>(max, fInEnd - p);
  std::int64_t n = 0;
  if (scan != nullptr) {
    n = static_cast<std::int64_t>(scan->FindOut(s, 0, static_cast<std::size_t>(limit)));
    Spend(n);
    return n;
  }
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

namespace {

// The characters a simple operand matches; false for a back reference,
// whose text is known only while matching.
bool OperandClass(const std::uint8_t* operand, const std::array<unsigned char, 256>& inv,
                  std::array<bool, 256>& set) {
  set.fill(false);
  switch (operand[0]) {
    case ANY:
      set.fill(true);
      return true;
    case EXACTLY:
      set[operand[kNodeSize + 4]] = true;
      return true;
    case EXACTLYCI:
      set[operand[kNodeSize + 4]] = true;
      set[inv[operand[kNodeSize + 4]]] = true;
      return true;
    case ANYDIGIT:
    case NOTDIGIT:
      for (int c = 0; c < 256; ++c) set[c] = IsDigit(static_cast<unsigned char>(c)) == (operand[0] == ANYDIGIT);
      return true;
    case ANYOFTINYSET:
      for (int i = 0; i < 3; ++i) set[operand[kNodeSize + i]] = true;
      return true;
    case ANYBUTTINYSET:
      set.fill(true);
      for (int i = 0; i < 3; ++i) set[operand[kNodeSize + i]] = false;
      return true;
    case ANYOFFULLSET:
      for (int c = 0; c < 256; ++c) set[c] = InSet(operand + kNodeSize, static_cast<unsigned char>(c));
      return true;
    default:
      return false;
  }
}

}  // namespace

// The characters the rest of the match can begin with after a repeat node
// (counts after which the rest cannot start are skipped), whether the repeat
// can ever give back, and the scan for its operand's runs.
const TRegex::RepeatHints& TRegex::LearnHints(const std::uint8_t* repeat) {
  RepeatHints& hints = fRepeatHints[static_cast<std::size_t>(repeat - fProgram.data())];
  hints.known = true;
  std::array<bool, 256> follow{};
  const std::uint8_t* next = NextNode(repeat);
  if (next == nullptr) {
    follow.fill(true);
  } else {
    std::vector<char> visited(fProgram.size(), 0);
    int budget = kFollowWalk;
    FillFirstCharSet(next, visited, follow, true, budget);
  }
  const bool anyFollows = std::find(follow.begin(), follow.end(), false) == follow.end();
  if (!anyFollows) {
    fFollowSets.push_back(follow);
    hints.follow = static_cast<std::int32_t>(fFollowSets.size() - 1);
  }
  for (const std::uint8_t* after = next; after != nullptr; after = NextNode(after)) {
    const std::uint8_t a = after[0];
    if (a == EEND) hints.last = true;
    if (a != COMMENT && a != NOTHING && !IsClose(a)) break;
  }
  const std::uint8_t op = repeat[0];
  const std::uint8_t* operand = op == BRACES || op == BRACESNG ? repeat + kNodeSize + 8 : Operand(repeat);
  std::array<bool, 256> members{};
  if (OperandClass(operand, fInv, members)) {
    bool disjoint = true;
    for (int c = 0; c < 256 && disjoint; ++c) disjoint = !(members[c] && follow[c]);
    hints.possessive = disjoint;
    if (std::find(members.begin(), members.end(), false) != members.end()) {
      fClassScans.emplace_back(members);
      hints.classScan = static_cast<std::int32_t>(fClassScans.size() - 1);
    }
  }
  return hints;
}

// The program runs forward from node to node; every decision that could be
// taken another way leaves a choice point on fBacktrack, and every change of
// the capture or loop state leaves the old value above the newest choice
// point. A failure pops entries, putting values back, until a choice point
// resumes the match. No native recursion is involved, so the length of the
// line only costs heap memory, bounded by MaxBacktrackMemory.
bool TRegex::MatchPrim(const std::uint8_t* scan, std::ptrdiff_t p) {
  const unsigned char* s = fIn;
  const std::ptrdiff_t end = fInEnd;
  const std::uint8_t* const prog = fProgram.data();
  const std::size_t limit = MaxBacktrackMemory / sizeof(Backtrack);
  fBacktrack.clear();
  std::size_t choices = 0;  // choice points on the stack
  bool captured = false;    // a group closed: its capture is to be cleared when the try fails

  auto push = [&](std::uint8_t kind, int index, const std::uint8_t* node, std::ptrdiff_t a, std::ptrdiff_t b) {
    if (fBacktrack.size() >= limit) Fail(ErrorBacktrackMemory);
    try {
      fBacktrack.push_back(Backtrack{kind, static_cast<std::uint8_t>(index),
                                     node ? static_cast<std::int32_t>(node - prog) : 0, a, b});
    } catch (const std::bad_alloc&) {
      Fail(ErrorBacktrackMemory);
    }
  };
  auto choice = [&](std::uint8_t kind, const std::uint8_t* node, std::ptrdiff_t a, std::ptrdiff_t b) {
    push(kind, 0, node, a, b);
    ++choices;
  };
  // A saved value is needed only when a choice point may resume below it;
  // without one, a failure resets the whole state instead.
  auto save = [&](std::uint8_t kind, int index, std::ptrdiff_t a, std::ptrdiff_t b) {
    if (choices > 0) push(kind, index, nullptr, a, b);
  };

  // Repeats: the bounds of the node, and the first count from n on (stepping
  // toward last) after which the rest of the match can start; -1 when none.
  struct Repeat {
    std::int64_t min = 0;
    std::int64_t max = kRepeatInfinite;
    const std::uint8_t* operand = nullptr;
    bool greedy = true;
    int hint = -1;
    const std::array<bool, 256>* follow = nullptr;
    bool possessive = false;
    bool last = false;
    const TByteClassScan* scan = nullptr;
  };
  auto decode = [&](const std::uint8_t* node) {
    Repeat r;
    const RepeatBounds bounds = BoundsOf(node);
    r.min = bounds.min;
    r.max = bounds.max;
    r.operand = bounds.operand;
    r.greedy = bounds.greedy;
    if (fPlainMatching) return r;
    const RepeatHints& hints = HintsFor(node);
    const std::uint8_t* next = NextNode(node);
    if (next != nullptr && next[0] == EXACTLY)
      r.hint = next[kNodeSize + 4];
    else if (hints.follow >= 0)
      r.follow = &fFollowSets[static_cast<std::size_t>(hints.follow)];
    r.possessive = hints.possessive;
    r.last = hints.last;
    if (hints.classScan >= 0) r.scan = &fClassScans[static_cast<std::size_t>(hints.classScan)];
    return r;
  };
  // Whether the rest of the match can start at q.
  auto fits = [&](const Repeat& r, std::ptrdiff_t q) {
    return r.hint >= 0 ? q < end && s[q] == r.hint : r.follow == nullptr || q >= end || (*r.follow)[s[q]];
  };
  auto findCount = [&](const Repeat& r, std::int64_t n, std::int64_t last, std::ptrdiff_t base,
                       std::ptrdiff_t unit) -> std::int64_t {
    const std::int64_t step = r.greedy ? -1 : 1;
    if (r.hint >= 0 && unit == 1) {
      // One character per count: the counts after which the literal
      // follows are where that character is, found by a library scan.
      const std::int64_t lo = std::min(n, last), hi = std::min<std::int64_t>(std::max(n, last), end - 1 - base);
      if (hi < lo) {
        Spend(1);
        return -1;
      }
      const auto span = static_cast<std::size_t>(hi - lo + 1);
      const unsigned char* from = s + base + lo;
      const void* at = r.greedy ? memrchr(from, r.hint, span) : std::memchr(from, r.hint, span);
      if (at == nullptr) {
        Spend(static_cast<std::int64_t>(span));
        return -1;
      }
      const std::int64_t q = static_cast<const unsigned char*>(at) - (s + base);
      Spend(r.greedy ? n - q + 1 : q - n + 1);
      return q;
    }
    std::int64_t tried = 0;
    std::int64_t found = -1;
    for (;; n += step) {
      ++tried;
      if (fits(r, base + n * unit)) {
        found = n;
        break;
      }
      if (n == last) break;
    }
    Spend(tried);
    return found;
  };
  // Takes count n of the repeat at base, leaving a choice point for the next
  // count that can work; the cursor moves past the n copies.
  auto takeCount = [&](const std::uint8_t* node, const Repeat& r, std::int64_t n, std::int64_t count,
                       std::ptrdiff_t base, std::ptrdiff_t unit) {
    const std::int64_t last = r.greedy ? r.min : count;
    if (n != last && !r.last) {
      const std::int64_t after = findCount(r, n + (r.greedy ? -1 : 1), last, base, unit);
      if (after >= 0) {
        if (!r.greedy) push(kChoiceRepeatEnd, 0, nullptr, count, 0);
        choice(kChoiceRepeat, node, base, after);
      }
    }
    p = base + n * unit;
  };
  // The first alternative from branch on that can start at the cursor: one
  // that begins with a literal is passed over when the literal is not there.
  auto viableAlternative = [&](const std::uint8_t* branch) -> const std::uint8_t* {
    for (; branch != nullptr && branch[0] == BRANCH; branch = NextNode(branch)) {
      const std::uint8_t* first = Operand(branch);
      if (first[0] != EXACTLY || fPlainMatching || (p < end && s[p] == first[kNodeSize + 4])) return branch;
    }
    return nullptr;
  };
  auto iterate = [&](const std::uint8_t* loop, int depth) {
    save(kUndoLoop, depth, fLoopCount[depth], fLoopIterStart[depth]);
    ++fLoopCount[depth];
    fLoopIterStart[depth] = p;
    return loop + Read32(loop + kNodeSize + 8);
  };
  auto leave = [&](const std::uint8_t* loop) {
    save(kUndoLoopDepth, 0, fLoopDepth, 0);
    --fLoopDepth;
    return NextNode(loop);
  };

  for (;;) {
    while (scan != nullptr) {
      if (++fVisits > fVisitBudget) Fail(ErrorTooComplex);
      const std::uint8_t op = scan[0];
      const std::uint8_t* next = NextNode(scan);
      switch (op) {
        case EEND:
          fMatchEnd = p;
          fBacktrack.clear();
          return true;
        case BOL:
          if (p != 0) goto fail;
          break;
        case EOL:
          if (p != end) goto fail;
          break;
        case BOLML:
          if (!IsBolMl(p)) goto fail;
          break;
        case EOLML:
          if (!IsEolMl(p)) goto fail;
          break;
        case ANY:
          if (p >= end) goto fail;
          ++p;
          break;
        case ANYML:
          if (p >= end || fLineSepSet[s[p]]) goto fail;
          if (fPairAssigned && s[p] == fPairHead && p + 1 < end && s[p + 1] == fPairTail) goto fail;
          ++p;
          break;
        case ANYDIGIT:
          if (p >= end || !IsDigit(s[p])) goto fail;
          ++p;
          break;
        case NOTDIGIT:
          if (p >= end || IsDigit(s[p])) goto fail;
          ++p;
          break;
        case EXACTLY: {
          // The first character decides most tries without a library call.
          const std::int32_t len = Read32(scan + kNodeSize);
          const std::uint8_t* lit = scan + kNodeSize + 4;
          if (end - p < len || s[p] != lit[0] ||
              (len > 1 && std::memcmp(s + p + 1, lit + 1, static_cast<std::size_t>(len - 1)) != 0))
            goto fail;
          p += len;
          break;
        }
        case EXACTLYCI: {
          const std::int32_t len = Read32(scan + kNodeSize);
          if (end - p < len) goto fail;
          const std::uint8_t* lit = scan + kNodeSize + 4;
          for (std::int32_t i = 0; i < len; ++i) {
            if (s[p + i] != lit[i] && s[p + i] != fInv[lit[i]]) goto fail;
          }
          p += len;
          break;
        }
        case ANYOFTINYSET: {
          const std::uint8_t* set = scan + kNodeSize;
          if (p >= end || (s[p] != set[0] && s[p] != set[1] && s[p] != set[2])) goto fail;
          ++p;
          break;
        }
        case ANYBUTTINYSET: {
          const std::uint8_t* set = scan + kNodeSize;
          if (p >= end || s[p] == set[0] || s[p] == set[1] || s[p] == set[2]) goto fail;
          ++p;
          break;
        }
        case ANYOFFULLSET:
          if (p >= end || !InSet(scan + kNodeSize, s[p])) goto fail;
          ++p;
          break;
        case BSUBEXP:
        case BSUBEXPCI: {
          const int g = scan[kNodeSize];
          if (!CaptureOk(g)) goto fail;
          const std::ptrdiff_t len = fEnd[g] - fStart[g];
          if (end - p < len) goto fail;
          const unsigned char* cap = s + fStart[g];
          for (std::ptrdiff_t i = 0; i < len; ++i) {
            const unsigned char a = s[p + i];
            if (a != cap[i] && !(op == BSUBEXPCI && a == fInv[cap[i]])) goto fail;
          }
          p += len;
          break;
        }
        case BOUND:
        case NOTBOUND: {
          const bool before = p > 0 && fWordSet[s[p - 1]];
          const bool here = p < end && fWordSet[s[p]];
          if ((before != here) != (op == BOUND)) goto fail;
          break;
        }
        case NOTHING:
        case COMMENT:
        case BACK:
          break;
        case BRANCH: {
          if (next == nullptr || next[0] != BRANCH) {
            next = Operand(scan);  // a single alternative: no choice to remember
            break;
          }
          // The first alternative that can start here runs now; the next one
          // waits as a choice.
          const std::uint8_t* first = viableAlternative(scan);
          if (first == nullptr) goto fail;
          const std::uint8_t* second = viableAlternative(NextNode(first));
          if (second != nullptr) choice(kChoiceBranch, second, p, 0);
          next = Operand(first);
          break;
        }
        case STAR:
        case STARNG:
        case PLUS:
        case PLUSNG:
        case BRACES:
        case BRACESNG: {
          const Repeat r = decode(scan);
          const bool copiesOfCapture = r.operand[0] == BSUBEXP || r.operand[0] == BSUBEXPCI;
          // A count the rest of the line cannot hold fails without counting.
          if (!copiesOfCapture && r.min > end - p) goto fail;
          std::ptrdiff_t unit = 1;
          std::int64_t count = RegRepeat(r.operand, r.max, p, unit, r.scan);
          // A run cut short by the maximum says nothing of later starts.
          if (fLeadCount < 0 && scan - prog == fLeadRepeat) fLeadCount = count < r.max ? count : 0;
          if (count < r.min) goto fail;
          if (r.possessive) {
            // Every shorter count leaves a character of the operand's class
            // next, which the rest cannot start with.
            Spend(1);
            if (!fits(r, p + count)) goto fail;
            p += count;
            break;
          }
          if (unit == 0) count = r.min;  // copies of an empty capture: every count is the same
          const std::int64_t n = findCount(r, r.greedy ? count : r.min, r.greedy ? r.min : count, p, unit);
          if (n < 0) goto fail;
          takeCount(scan, r, n, count, p, unit);
          break;
        }
        case LOOPENTRY: {
          if (fLoopDepth >= LoopStackSize) Fail(1014);
          const int depth = fLoopDepth;
          save(kUndoLoop, depth, fLoopCount[depth], fLoopIterStart[depth]);
          save(kUndoLoopDepth, 0, fLoopDepth, 0);
          ++fLoopDepth;
          fLoopCount[depth] = 0;
          fLoopIterStart[depth] = -1;
          break;
        }
        case LOOP:
        case LOOPNG: {
          if (fLoopDepth <= 0) Fail(1015);
          const int depth = fLoopDepth - 1;
          const std::int32_t min = Read32(scan + kNodeSize);
          const std::int32_t max = Read32(scan + kNodeSize + 4);
          const std::int32_t count = fLoopCount[depth];
          if (count < min) {
            next = iterate(scan, depth);
            break;
          }
          // An iteration that matched nothing would repeat forever: stop there.
          const bool mayIterate = count < max && !(count > 0 && fLoopIterStart[depth] == p);
          if (op == LOOP) {
            if (mayIterate) {
              choice(kChoiceLeave, scan, p, 0);
              next = iterate(scan, depth);
            } else {
              next = leave(scan);
            }
          } else {
            if (mayIterate) choice(kChoiceIterate, scan, p, 0);
            next = leave(scan);
          }
          break;
        }
        default:
          // A group's new start is held apart until the group closes, so a
          // back reference inside the group still sees the last whole capture
          // and start and end always come from the same pass.
          if (IsOpen(op)) {
            const int g = op - OPEN;
            save(kUndoOpen, g, fOpenStart[g], 0);
            fOpenStart[g] = p;
          } else if (IsClose(op)) {
            const int g = op - CLOSE;
            save(kUndoCapture, g, fStart[g], fEnd[g]);
            captured = true;
            fStart[g] = fOpenStart[g];
            fEnd[g] = p;
          } else {
            Fail(1001);
          }
          break;
      }
      scan = next;
    }
    Fail(1002);

  fail:
    for (;;) {
      if (choices == 0) {
        // Nothing left to try: the state goes back to that of a fresh try.
        // (The whole match is set only on success, and a group's pending
        // start is read only after its group opened again.)
        fBacktrack.clear();
        if (captured) {
          for (int g = 1; g < fGroupSlots; ++g) {
            fStart[static_cast<std::size_t>(g)] = -1;
            fEnd[static_cast<std::size_t>(g)] = -1;
          }
        }
        fLoopDepth = 0;
        return false;
      }
      const Backtrack e = fBacktrack.back();
      fBacktrack.pop_back();
      if (e.Kind < kChoiceBranch) {
        switch (e.Kind) {
          case kUndoOpen: fOpenStart[e.Index] = e.A; break;
          case kUndoCapture:
            fStart[e.Index] = e.A;
            fEnd[e.Index] = e.B;
            break;
          case kUndoLoop:
            fLoopCount[e.Index] = static_cast<std::int32_t>(e.A);
            fLoopIterStart[e.Index] = e.B;
            break;
          default: fLoopDepth = static_cast<int>(e.A); break;
        }
        continue;
      }
      if (e.Kind == kChoiceRepeatEnd) continue;  // left behind by its choice point
      --choices;
      const std::uint8_t* node = prog + e.Node;
      p = e.A;
      switch (e.Kind) {
        case kChoiceBranch: {
          const std::uint8_t* after = viableAlternative(NextNode(node));
          if (after != nullptr) choice(kChoiceBranch, after, p, 0);
          scan = Operand(node);
          break;
        }
        case kChoiceRepeat: {
          const Repeat r = decode(node);
          std::int64_t count = 0;
          if (!r.greedy) {
            count = fBacktrack.back().A;
            fBacktrack.pop_back();
          }
          std::ptrdiff_t unit = 1;
          if (r.operand[0] == BSUBEXP || r.operand[0] == BSUBEXPCI) {
            const int g = r.operand[kNodeSize];
            unit = fEnd[g] - fStart[g];
          }
          takeCount(node, r, e.B, count, e.A, unit);
          scan = NextNode(node);
          break;
        }
        case kChoiceLeave:
          scan = leave(node);
          break;
        default:  // kChoiceIterate
          scan = iterate(node, fLoopDepth - 1);
          break;
      }
      break;
    }
  }
}

}  // namespace ond
