// Back references and the starts a search can pass over. A back reference
// forbids the usual skip over the starts a failed run covered (a later
// start captures other text), so every start is a try; what is found here
// when the expression is compiled are conditions every match fulfils that
// can be checked on the text without running the program: the first
// characters a group's capture can have, a capture and its reference at
// fixed distances from the start (so two bytes of the text must agree), and
// a reference reached at the same place from every start inside the
// leading repeat's run (so only its comparison differs between them).
#include <algorithm>
#include <cstdint>

#include "search/OndRegex.h"
#include "search/OndRegexProgram.h"

namespace ond {

using namespace regexprog;

namespace {

bool IsRepeat(std::uint8_t op) {
  return op == STAR || op == STARNG || op == PLUS || op == PLUSNG || op == BRACES || op == BRACESNG;
}
bool IsBackReference(std::uint8_t op) { return op == BSUBEXP || op == BSUBEXPCI; }

const std::uint8_t* RepeatOperand(const std::uint8_t* repeat) {
  return repeat[0] == BRACES || repeat[0] == BRACESNG ? repeat + kNodeSize + 8 : Operand(repeat);
}

// Nodes that consume nothing and never choose.
bool IsZeroWidth(std::uint8_t op) {
  return op == BOL || op == EOL || op == BOLML || op == EOLML || op == BOUND || op == NOTBOUND || op == NOTHING ||
         op == COMMENT || IsOpen(op) || IsClose(op);
}

// Characters a node of one fixed width consumes, or -1 (not such a node).
std::int64_t FixedNodeWidth(const std::uint8_t* node) {
  switch (node[0]) {
    case ANY:
    case ANYML:
    case ANYDIGIT:
    case NOTDIGIT:
    case ANYOFTINYSET:
    case ANYBUTTINYSET:
    case ANYOFFULLSET:
      return 1;
    case EXACTLY:
    case EXACTLYCI:
      return Read32(Operand(node));
    case BRACES:
    case BRACESNG: {
      const std::int32_t min = Read32(node + kNodeSize);
      if (min != Read32(node + kNodeSize + 4)) return -1;
      const std::int64_t unit = FixedNodeWidth(RepeatOperand(node));
      return unit < 0 ? -1 : unit * min;
    }
    default:
      return IsZeroWidth(node[0]) ? 0 : -1;
  }
}

// A node chain taken once per match (a single alternative's, and the
// chains of its groups of one alternative), walked along with the distance
// from its start, which is the same for every match up to where it ends:
// at a node that is neither of fixed width nor alternatives of one fixed
// width. Groups opened and closed on the chain itself (not inside
// alternatives) are noted with their distances.
class TFixedChain {
 public:
  explicit TFixedChain(const std::uint8_t* node) : fNode(node) { Enter(); }

  const std::uint8_t* Node() const { return fNode; }
  std::int64_t Offset() const { return fOffset; }
  // The capture of group g on the chain: its distance and length, when the
  // group opened and closed on it.
  bool Capture(int g, std::int64_t& at, std::int64_t& length) const {
    if (fOpened[g] < 0 || fClosed[g] < 0) return false;
    at = fOpened[g];
    length = fClosed[g] - fOpened[g];
    return true;
  }

  // Moves past the current node when its width is fixed; false otherwise
  // (and at the end of the program).
  bool Step() {
    if (fNode == nullptr || ++fSteps > kMaxSteps) return false;
    const std::uint8_t op = fNode[0];
    std::int64_t width = FixedNodeWidth(fNode);
    const std::uint8_t* next = NextNode(fNode);
    if (op == BRANCH) {  // alternatives of one width, the group continues at their common end
      const std::uint8_t* ender = nullptr;
      for (const std::uint8_t* b = fNode; b != nullptr && b[0] == BRANCH; b = NextNode(b)) ender = NextNode(b);
      width = -1;
      for (const std::uint8_t* b = fNode; b != nullptr && b[0] == BRANCH; b = NextNode(b)) {
        const std::int64_t w = AlternativeWidth(Operand(b), ender);
        if (w < 0 || (width >= 0 && w != width)) return false;
        width = w;
      }
      next = ender;
    } else if (op == BSUBEXP || op == BSUBEXPCI) {
      std::int64_t at = 0;
      if (!Capture(fNode[kNodeSize], at, width)) return false;
    }
    if (width < 0 || next == nullptr) return false;
    if (IsOpen(op)) fOpened[op - OPEN] = fOffset;
    if (IsClose(op)) fClosed[op - CLOSE] = fOffset;
    fOffset += width;
    fNode = next;
    Enter();
    return true;
  }

 private:
  static constexpr int kMaxSteps = 256;

  // A group of one alternative is part of the chain.
  void Enter() {
    while (fNode != nullptr && fNode[0] == BRANCH) {
      const std::uint8_t* next = NextNode(fNode);
      if (next != nullptr && next[0] == BRANCH) break;
      fNode = Operand(fNode);
    }
  }

  // The width of an alternative's chain up to `ender`, or -1.
  std::int64_t AlternativeWidth(const std::uint8_t* node, const std::uint8_t* ender) {
    std::int64_t width = 0;
    while (node != ender) {
      if (node == nullptr || ++fSteps > kMaxSteps) return -1;
      std::int64_t w = FixedNodeWidth(node);
      const std::uint8_t* next = NextNode(node);
      if (node[0] == BRANCH) {
        const std::uint8_t* end = nullptr;
        for (const std::uint8_t* b = node; b != nullptr && b[0] == BRANCH; b = NextNode(b)) end = NextNode(b);
        w = -1;
        for (const std::uint8_t* b = node; b != nullptr && b[0] == BRANCH; b = NextNode(b)) {
          const std::int64_t a = AlternativeWidth(Operand(b), end);
          if (a < 0 || (w >= 0 && a != w)) return -1;
          w = a;
        }
        next = end;
      }
      if (w < 0) return -1;
      width += w;
      node = next;
    }
    return width;
  }

  const std::uint8_t* fNode;
  std::int64_t fOffset = 0;
  int fSteps = 0;
  std::array<std::int64_t, TRegex::SubExpressionCount> fOpened = Unset();
  std::array<std::int64_t, TRegex::SubExpressionCount> fClosed = Unset();

  static std::array<std::int64_t, TRegex::SubExpressionCount> Unset() {
    std::array<std::int64_t, TRegex::SubExpressionCount> a{};
    a.fill(-1);
    return a;
  }
};

}  // namespace

// A group can capture nothing when some path from its opening to its
// closing consumes nothing; the walk over the paths that consume nothing
// may take a few that cannot (it treats every repeat and reference as
// possibly empty), which only makes fewer references known.
void TRegex::FindGroupFirstSets() {
  fGroupFirstKnown = false;
  fGroupFirst.assign(static_cast<std::size_t>(fGroupSlots), std::array<bool, 256>{});
  fGroupMayBeEmpty.assign(static_cast<std::size_t>(fGroupSlots), 1);
  const std::uint8_t* const prog = fProgram.data();
  const auto size = fProgram.size();
  // The opening node of each group, found by a walk over the whole program.
  std::vector<const std::uint8_t*> opens(static_cast<std::size_t>(fGroupSlots), nullptr);
  std::vector<char> seen(size, 0);
  std::vector<const std::uint8_t*> stack{prog + 1};
  auto push = [&](const std::uint8_t* node) {
    if (node == nullptr) return;
    const auto off = static_cast<std::size_t>(node - prog);
    if (off < size && !seen[off]) stack.push_back(node);
  };
  while (!stack.empty()) {
    const std::uint8_t* node = stack.back();
    stack.pop_back();
    const auto off = static_cast<std::size_t>(node - prog);
    if (seen[off]) continue;
    seen[off] = 1;
    const std::uint8_t op = node[0];
    if (IsOpen(op) && op - OPEN < fGroupSlots) opens[static_cast<std::size_t>(op - OPEN)] = node;
    push(NextNode(node));
    if (op == BRANCH) push(Operand(node));
    if (IsRepeat(op)) push(RepeatOperand(node));
    if (op == LOOP || op == LOOPNG) push(node + Read32(node + kNodeSize + 8));
  }
  for (int g = 1; g < fGroupSlots; ++g) {
    const std::uint8_t* open = opens[static_cast<std::size_t>(g)];
    if (open == nullptr) continue;
    // Paths that consume nothing, from the opening on.
    bool empty = false;
    std::vector<char> visited(size, 0);
    std::vector<const std::uint8_t*> todo{open};
    while (!todo.empty() && !empty) {
      const std::uint8_t* node = todo.back();
      todo.pop_back();
      if (node == nullptr) continue;
      const auto off = static_cast<std::size_t>(node - prog);
      if (off >= size || visited[off]) continue;
      visited[off] = 1;
      const std::uint8_t op = node[0];
      if (op == CLOSE + g) {
        empty = true;
      } else if (IsZeroWidth(op) || op == BACK || op == LOOPENTRY || IsBackReference(op) || op == STAR ||
                 op == STARNG || (IsRepeat(op) && IsBackReference(RepeatOperand(node)[0]))) {
        todo.push_back(NextNode(node));
      } else if ((op == BRACES || op == BRACESNG) && Read32(node + kNodeSize) == 0) {
        todo.push_back(NextNode(node));
      } else if (op == BRANCH) {
        todo.push_back(Operand(node));
        const std::uint8_t* next = NextNode(node);
        if (next != nullptr && next[0] == BRANCH) todo.push_back(next);
      } else if (op == LOOP || op == LOOPNG) {
        todo.push_back(NextNode(node));
        todo.push_back(node + Read32(node + kNodeSize + 8));
      }
    }
    if (empty) continue;
    fGroupMayBeEmpty[static_cast<std::size_t>(g)] = 0;
    std::vector<char> walked(size, 0);
    int budget = 0;
    FillFirstCharSet(open, walked, fGroupFirst[static_cast<std::size_t>(g)], false, budget);
  }
  fGroupFirstKnown = true;
}

void TRegex::FindEchoes(const std::uint8_t* first) {
  fEcho = false;
  fRunEcho = 0;
  if (!fHasBackReference) return;
  // A capture and its reference at fixed distances: the first reference on
  // the chain to a group the chain opened and closed, not empty.
  TFixedChain chain(first);
  do {
    const std::uint8_t* node = chain.Node();
    std::int64_t at = 0, length = 0;
    if (IsBackReference(node[0]) && chain.Capture(node[kNodeSize], at, length) && length > 0) {
      if (chain.Offset() + length > INT32_MAX / 2) break;
      fEcho = true;
      fEchoCapture = static_cast<std::int32_t>(at);
      fEchoReference = static_cast<std::int32_t>(chain.Offset());
      fEchoLength = static_cast<std::int32_t>(length);
      fEchoCaseless = node[0] == BSUBEXPCI;
      fEchoFold = 0;
      if (fEchoCaseless) {
        for (int c = 0; c < 256; ++c) fEchoFold |= static_cast<unsigned char>(c ^ fInv[c]);
      }
      break;
    }
  } while (chain.Step());
  FindRunEcho(first);
}

// The shape: zero-width nodes that open groups, the leading repeat (which
// never gives back), then nodes that never choose and consume the same
// wherever the match began (characters, literals, repeats that never give
// back, assertions, group ends), then a reference to a group the start
// opened and these nodes closed. The steps kept are what moves the
// position on that way and where the group closes; what the nodes test is
// left to the try, since only a start the reference can pass is tried.
void TRegex::FindRunEcho(const std::uint8_t* first) {
  fRunEchoSteps.clear();
  if (fLeadRepeat == 0) return;
  const std::uint8_t* const prog = fProgram.data();
  const std::uint8_t* const repeat = prog + fLeadRepeat;
  // The walk that found the leading repeat passed only groups of one
  // alternative, comments and group openings.
  std::array<bool, SubExpressionCount> openedAtStart{};
  for (const std::uint8_t* lead = first; lead != repeat;) {
    if (lead[0] == BRANCH) {
      lead = Operand(lead);
      continue;
    }
    if (IsOpen(lead[0])) openedAtStart[lead[0] - OPEN] = true;
    lead = NextNode(lead);
    if (lead == nullptr) return;
  }
  if (!HintsFor(repeat).possessive) return;
  std::vector<RunEchoStep> steps;
  std::array<bool, SubExpressionCount> closed{};
  const std::uint8_t* node = NextNode(repeat);
  for (int walked = 0; node != nullptr && walked < 256; ++walked) {
    const std::uint8_t op = node[0];
    const std::uint8_t* next = NextNode(node);
    const auto at = static_cast<std::int32_t>(node - prog);
    if (op == BRANCH) {
      if (next != nullptr && next[0] == BRANCH) return;
      next = Operand(node);
    } else if (IsBackReference(op)) {
      const int g = node[kNodeSize];
      if (g >= SubExpressionCount || !openedAtStart[g] || !closed[g]) return;
      // Where the group closes is the capture's end; other groups' ends say nothing.
      std::erase_if(steps, [&](const RunEchoStep& s) { return s.width == kRunEchoCapture && prog[s.node] != CLOSE + g; });
      fRunEcho = at;
      fRunEchoSteps = std::move(steps);
      return;
    } else if (IsRepeat(op)) {
      if (IsBackReference(RepeatOperand(node)[0]) || !HintsFor(node).possessive) return;
      steps.push_back({at, kRunEchoRepeat});
    } else {
      const std::int64_t width = FixedNodeWidth(node);
      if (width < 0 || width > INT32_MAX / 2) return;
      if (IsClose(op)) {
        closed[op - CLOSE] = true;
        steps.push_back({at, kRunEchoCapture});
      } else if (width > 0) {
        steps.push_back({at, static_cast<std::int32_t>(width)});
      }
    }
    node = next;
  }
}

bool TRegex::TryRunEchoStarts(std::ptrdiff_t p, std::ptrdiff_t& runEnd) {
  const std::uint8_t* const prog = fProgram.data();
  const std::uint8_t* const repeat = prog + fLeadRepeat;
  const RepeatBounds lead = BoundsOf(repeat);
  const auto count = static_cast<std::ptrdiff_t>(ClassRun(repeat, lead.max, static_cast<std::size_t>(p)));
  // A run cut short by the maximum ends elsewhere for a later start.
  if (count == 0 || count >= lead.max) return false;
  runEnd = p + count;
  // Where the reference begins and the capture ends, the same for every
  // start in the run; a repeat short of its minimum there fails them all.
  std::ptrdiff_t at = runEnd, captureEnd = -1;
  for (const RunEchoStep& step : fRunEchoSteps) {
    if (step.width == kRunEchoCapture) {
      captureEnd = at;
    } else if (step.width == kRunEchoRepeat) {
      const std::uint8_t* node = prog + step.node;
      const RepeatBounds r = BoundsOf(node);
      const std::size_t n = at < fInEnd ? ClassRun(node, r.max, static_cast<std::size_t>(at)) : 0;
      if (static_cast<std::int64_t>(n) < r.min) return false;
      at += static_cast<std::ptrdiff_t>(n);
    } else {
      at += step.width;
      if (at > fInEnd) return false;
    }
  }
  const bool ci = prog[fRunEcho] == BSUBEXPCI;
  for (std::ptrdiff_t q = p; q < runEnd; ++q) {
    // The lead repeat's count from q, then a copy of the text from q to
    // the capture's end at `at`.
    if (runEnd - q < lead.min) break;
    const std::ptrdiff_t length = captureEnd - q;
    if (fInEnd - at < length) continue;
    const unsigned char* copy = fIn + at;
    const unsigned char* capture = fIn + q;
    std::ptrdiff_t i = 0;
    while (i < length && (copy[i] == capture[i] || (ci && copy[i] == fInv[capture[i]]))) ++i;
    if (i == length && TryAt(q)) return true;
  }
  return false;
}

}  // namespace ond
