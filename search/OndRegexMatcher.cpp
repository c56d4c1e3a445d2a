// Running a compiled regular expression: the search loop and the
// backtracking matcher.
#include <algorithm>
#include <climits>
#include <cstring>

#include "search/OndRegex.h"
#include "search/OndRegexProgram.h"

#if defined(__GLIBC__)
#include <pthread.h>
#endif

namespace ond {

using namespace regexprog;

namespace {

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

}  // namespace

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

}  // namespace ond
