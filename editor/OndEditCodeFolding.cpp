#include "editor/OndEditCodeFolding.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "editor/OndEditMiscProcs.h"
#include "highlight/OndFewBytes.h"
#include "platform/core/CodePage.h"
#include "platform/core/ScopeGuard.h"
#include "platform/core/SysUtils.h"

namespace ond {

namespace {

std::int32_t Clamp32(std::int64_t V) noexcept {
  return V > INT32_MAX ? INT32_MAX : (V < INT32_MIN ? INT32_MIN : static_cast<std::int32_t>(V));
}

}  // namespace

// ------------------------------------------------------------ folding helpers

namespace {

constexpr char kMarkerBlanks[] = "     ";

void UpperAZ(std::string_view Text, std::string& Out) {
  Out.assign(Text.data(), Text.size());
  for (char& c : Out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
}

std::string UpperAZ(std::string_view Text) {
  std::string out;
  UpperAZ(Text, out);
  return out;
}

std::size_t TokenLength(std::string_view Token, TFoldRegionType Type) noexcept {
  return Type == frtChar ? 1 : Token.size();
}

// Whether Token stands anywhere in Text.
bool TokenAnywhere(std::string_view Text, std::string_view Token, TFoldRegionType Type, bool WholeWords) noexcept {
  if (Token.empty()) return false;
  for (std::size_t p = Text.find(Token[0]); p != std::string_view::npos; p = Text.find(Token[0], p + 1))
    if (FoldTokenAt(Text, p, Token, Type, WholeWords)) return true;
  return false;
}

// Hidden ranges keep the lines they would have with their collapsed
// ancestors expanded, so they move only when the visible range hiding them
// moves.
void MoveWithDescendants(TOndEditFoldRange* Range, std::int32_t Delta) {
  Range->Move(Delta);
  if (Range->Collapsed) ForEachDescendant(Range, [Delta](TOndEditFoldRange* r) { r->Move(Delta); });
}

// The ranges of the tree that contain Range, outermost first: up through
// the lists that hold it, so that a million ranges are not walked to find
// a handful. A range whose chain of lists does not end at the tree's top
// level has none.
std::vector<TOndEditFoldRange*> AncestorsOf(const TOndEditAllFoldRanges& All, const TOndEditFoldRange* Range) {
  std::vector<TOndEditFoldRange*> path;
  const TOndEditFoldRanges* list = Range->Container();
  for (; list != nullptr && list->Owner() != nullptr; list = list->Owner()->Container()) path.push_back(list->Owner());
  if (list != &All) return {};
  std::reverse(path.begin(), path.end());
  return path;
}


// Shifts every range but Range after Range hid (Delta < 0) or showed again
// (Delta > 0) |Delta| lines below its header. Collapse and expand use the same
// rule seen from both sides, so a collapse followed by an expand puts every
// range back where it was: a range moves its end only when that end lies
// after the header, so a range still open (its end its own header line, on
// an earlier line or on this header's) never does. A range whose closing
// line goes out of sight ends on the header meanwhile and remembers how far
// below it, every fold expanded, the line lies (ClosingBelow), for the
// expand that shows it again. Every range after the boundary moves, so this
// is one pass over the flat list, reading little of each range, or, given
// the index as it was before the fold (current then), over the ranges after
// the boundary only. Returns the ranges holding Range.
std::vector<TOndEditFoldRange*> ShiftForFold(TOndEditAllFoldRanges& All, TOndEditFoldRange* Range, std::int32_t Delta,
                                             const TOndFoldIndex* IndexBefore = nullptr) {
  const std::vector<TOndEditFoldRange*> ancestors = AncestorsOf(All, Range);
  const std::int32_t header = Range->FromLine;
  // Lines after the boundary moved; the boundary is the last hidden line
  // before the collapse and the header afterwards.
  const std::int64_t boundary = static_cast<std::int64_t>(header) + (Delta < 0 ? -Delta : 0);
  // The lines are written here and the tree told once, not once a range.
  const auto moved = [Delta](std::int32_t V) { return Clamp32(static_cast<std::int64_t>(V) + Delta); };
  // The collapsed ranges among the lines the fold hides or shows, asked
  // only for a closing line that goes out of sight or comes back.
  std::vector<const TOndEditFoldRange*> collapsedBelow;
  bool collapsedKnown = false;
  const auto collapsed = [&]() -> const std::vector<const TOndEditFoldRange*>& {
    if (!collapsedKnown) collapsedBelow = CollapsedBelow(Range);
    collapsedKnown = true;
    return collapsedBelow;
  };
  // The end of a range above the boundary, neither hidden nor collapsed.
  const auto shiftEnd = [&](TOndEditFoldRange* r) {
    if (r->ToLine > boundary) {
      r->ToLine = moved(r->ToLine);
    } else if (Delta < 0 && r->ToLine > header) {
      // Lines below the header to the closing line, every fold expanded.
      std::int64_t below = static_cast<std::int64_t>(r->ToLine) - header + r->ClosingBelow;
      for (const TOndEditFoldRange* d : collapsed())
        if (d->FromLine < r->ToLine) below += static_cast<std::int64_t>(d->HiddenLineCount()) + 1;
      r->ToLine = header;
      r->ClosingBelow = Clamp32(below);
    } else if (Delta > 0 && r->ToLine == header && r->ClosingBelow > 0) {
      // The closing line is back in sight, or inside a collapsed range
      // the expand shows.
      const std::int64_t below = r->ClosingBelow;
      std::int64_t hiddenAbove = 0;
      for (const TOndEditFoldRange* d : collapsed()) {
        const std::int64_t at = static_cast<std::int64_t>(d->FromLine) - header + hiddenAbove;
        if (below <= at) break;
        const std::int64_t hidden = static_cast<std::int64_t>(d->HiddenLineCount()) + 1;
        if (below <= at + hidden) {
          r->ToLine = d->FromLine;
          r->ClosingBelow = Clamp32(below - at);
          return;
        }
        hiddenAbove += hidden;
      }
      r->ToLine = Clamp32(std::min<std::int64_t>(header + below - hiddenAbove, static_cast<std::int64_t>(header) + Delta));
      r->ClosingBelow = 0;
    }
  };
  if (IndexBefore != nullptr && boundary < INT32_MAX) {
    // The index of before names the ranges that can change (none is hidden
    // but those the fold hides now): those over the line after the
    // boundary, those holding Range and those below the boundary, so the
    // ranges above it are not read.
    const auto b = static_cast<std::int32_t>(boundary);
    std::vector<TOndEditFoldRange*> above = IndexBefore->Over(b + 1, b + 1);
    for (TOndEditFoldRange* r : ancestors)
      if (std::find(above.begin(), above.end(), r) == above.end()) above.push_back(r);
    for (TOndEditFoldRange* r : above)
      if (r != Range && !r->ParentCollapsed && r->FromLine <= b && !r->Collapsed) shiftEnd(r);
    for (TOndEditFoldRange* r : IndexBefore->StartingBelow(b)) {
      if (r == Range || r->ParentCollapsed) continue;
      if (r->Collapsed) {
        MoveWithDescendants(r, Delta);
      } else {
        r->FromLine = moved(r->FromLine);
        r->ToLine = moved(r->ToLine);
      }
    }
    All.IndexChanged();
    return ancestors;
  }
  for (const auto& owned : All.AllRangeList()) {
    TOndEditFoldRange* r = owned.get();
    if (r == Range || r->ParentCollapsed) continue;
    if (r->FromLine > boundary) {
      if (r->Collapsed) {
        MoveWithDescendants(r, Delta);
      } else {
        r->FromLine = moved(r->FromLine);
        r->ToLine = moved(r->ToLine);
      }
    } else if (!r->Collapsed) {
      shiftEnd(r);
    }
  }
  All.IndexChanged();
  return ancestors;
}

// Replaces a line's text keeping its modified mark.
void PutKeepingState(TOndEditStringList& Lines, int Index, const std::string& Text) {
  const std::optional<TOndLineExtra> extra = Lines.GetLineExtra(Index);
  const std::uint8_t state = extra ? extra->ModifiedState : 2;
  Lines.Put(Index, Text);
  Lines.SetModifiedState(Index, state);
}

}  // namespace

namespace {

// Recomputes ParentCollapsed and CollapsingLevel of Range and every range
// below it, Range being hidden (Hidden) by a collapsed range of Level above.
void NormalizeBelow(TOndEditFoldRange* Range, bool Hidden, std::int32_t Level) {
  struct Frame {
    TOndEditFoldRange* Node;
    bool Hidden;
    std::int32_t Level;
  };
  std::vector<Frame> stack{{Range, Hidden, Level}};
  while (!stack.empty()) {
    const Frame f = stack.back();
    stack.pop_back();
    f.Node->ParentCollapsed = f.Hidden;
    f.Node->CollapsingLevel = f.Hidden ? f.Level : -1;
    const bool hidden = f.Hidden || f.Node->Collapsed;
    const std::int32_t level = f.Node->Collapsed ? f.Node->Level : f.Level;
    for (int i = f.Node->SubFoldRanges.Count() - 1; i >= 0; --i)
      stack.push_back({f.Node->SubFoldRanges.Items(i), hidden, level});
  }
}

}  // namespace

// Recomputes ParentCollapsed and CollapsingLevel from the tree: a range is
// hidden when a range above it is collapsed, and CollapsingLevel is the Level
// of the nearest such range. Trees whose root has fallen out of every list
// are treated as top-level trees, so nothing collapsed stays out of reach.
void NormalizeParentCollapsed(TOndEditAllFoldRanges& All) {
  for (int i = All.Count() - 1; i >= 0; --i) NormalizeBelow(All.Items(i), false, -1);
  for (int i = All.AllCount() - 1; i >= 0; --i)
    if (All.AllRanges(i)->Container() == nullptr) NormalizeBelow(All.AllRanges(i), false, -1);
  All.IndexChanged();
}

std::vector<const TOndEditFoldRange*> CollapsedBelow(const TOndEditFoldRange* Range) {
  std::vector<const TOndEditFoldRange*> found, stack;
  for (int i = Range->SubFoldRanges.Count() - 1; i >= 0; --i) stack.push_back(Range->SubFoldRanges.Items(i));
  while (!stack.empty()) {
    const TOndEditFoldRange* r = stack.back();
    stack.pop_back();
    if (r->Collapsed) {
      found.push_back(r);
      continue;
    }
    for (int i = r->SubFoldRanges.Count() - 1; i >= 0; --i) stack.push_back(r->SubFoldRanges.Items(i));
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const TOndEditFoldRange* A, const TOndEditFoldRange* B) { return A->FromLine < B->FromLine; });
  return found;
}

std::string CollapsedMarker(const TFoldRegionItem* Region) {
  std::string marker = kMarkerBlanks;
  if (Region != nullptr && Region->AddEnding) marker += AsciiLowerCase(Region->Close);
  return marker;
}

std::string CollapsedMarker(const TOndEditFoldRange* Range) {
  return CollapsedMarker(Range->FoldRegion != nullptr ? Range->FoldRegion : Range->EndingRegion);
}

bool IsNonCodeAttributeName(std::string_view Name) noexcept {
  auto starts = [Name](std::string_view Prefix) {
    if (Name.size() < Prefix.size()) return false;
    for (std::size_t i = 0; i < Prefix.size(); ++i) {
      char c = Name[i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (c != Prefix[i]) return false;
    }
    return true;
  };
  return starts("string") || starts("comment") || starts("remark");
}

std::int32_t FoldIndentLevel(std::string_view Text, int TabWidth) noexcept {
  std::int32_t tabs = 0, spaces = 0;
  for (char c : Text) {
    if (c == '\t')
      ++tabs;
    else if (c == ' ')
      ++spaces;
    else
      break;
  }
  return tabs + spaces / (TabWidth < 1 ? 1 : TabWidth);
}

// ------------------------------------------------------------ the scanner

struct TOndFoldScanner::Impl {
  struct Region {
    TFoldRegionItem* Item = nullptr;
    std::string Open, Close;
    TFoldRegionType Type = frtChar;
    bool WholeWords = false;
    bool AllowNoSubs = false;
    int Subs = -1;  // the set scanned inside a range of this region
  };
  struct Skip {
    std::string Open, Close;
    std::string Escape;
    TSkipRegionItemType Type = srtCloseChar;
    // Opened by one byte and closed by one, with no escape: inside it
    // nothing but that byte counts.
    bool Plain() const noexcept {
      return Open.size() == 1 && Type == srtCloseChar && !Close.empty() && Escape.empty();
    }
  };
  struct Set {
    std::vector<Region> Regions;
    std::vector<Skip> Skips;
    std::array<bool, 256> Interesting{};
    TOndFewBytes InterestingBytes;  // finds the Interesting ones
    // Per byte, the plain skip region a token there opens (the first skip
    // region it opens is that one); else null.
    std::array<const Skip*, 256> OpensPlainSkip{};
    // The Interesting bytes and the closing bytes of the plain skip
    // regions: all a line may hold to be passed by OpensPlainSkip alone.
    std::array<bool, 256> Passing{};
    TOndFewBytes PassingBytes;
    // A plain skip region closed by the byte that opens it (a quote), if
    // there is one, and that byte alone to look for.
    const Skip* Quote = nullptr;
    std::array<bool, 256> QuoteByte{};
    TOndFewBytes QuoteBytes;
  };

  std::vector<Set> Sets;  // [0]: the regions in use
  bool CaseSensitive = false;
  // Whether any token holds a letter: else the case of the text changes no
  // match, and lines are scanned as they are.
  bool TokensHaveLetters = false;

  std::string Token(std::string_view T) const { return CaseSensitive ? std::string(T) : UpperAZ(T); }

  void AddSkips(Set& S, const TSkipRegions& Skips) const {
    for (int i = 0; i < Skips.Count(); ++i) {
      const TSkipRegionItem* k = Skips.Items(i);
      if (k->Open.empty()) continue;
      S.Skips.push_back({Token(k->Open), Token(k->Close), Token(k->Escape), k->RegionType});
    }
  }

  // Sets are built breadth first with an explicit queue: sub-regions nest as
  // deep as a scheme says, without recursion.
  void Build(const TFoldRegions& Root) {
    std::vector<const TFoldRegions*> sources{&Root};
    for (std::size_t n = 0; n < sources.size(); ++n) {
      Set set;
      const TFoldRegions& src = *sources[n];
      for (int i = 0; i < src.Count(); ++i) {
        TFoldRegionItem* item = src.Items(i);
        Region r;
        r.Item = item;
        r.Open = Token(item->Open);
        r.Close = Token(item->Close);
        r.Type = item->RegionType;
        r.WholeWords = item->WholeWords;
        r.AllowNoSubs = item->AllowNoSubs;
        if (item->SubFoldRegions().Count() > 0) {
          r.Subs = static_cast<int>(sources.size());
          sources.push_back(&item->SubFoldRegions());
        }
        set.Regions.push_back(std::move(r));
      }
      AddSkips(set, src.SkipRegions());
      if (n > 0) AddSkips(set, Root.SkipRegions());
      Sets.push_back(std::move(set));
    }
    auto letters = [](const std::string& T) {
      return std::any_of(T.begin(), T.end(), [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
    };
    for (const Set& s : Sets) {
      for (const Region& r : s.Regions) TokensHaveLetters |= letters(r.Open) || letters(r.Close);
      for (const Skip& k : s.Skips) TokensHaveLetters |= letters(k.Open) || letters(k.Close) || letters(k.Escape);
    }
    // Any closing token may end an open range of an outer set.
    std::array<bool, 256> closes{};
    for (const Set& s : Sets)
      for (const Region& r : s.Regions)
        if (!r.Close.empty()) closes[static_cast<unsigned char>(r.Close[0])] = true;
    for (Set& s : Sets) {
      s.Interesting = closes;
      for (const Region& r : s.Regions)
        if (!r.Open.empty()) s.Interesting[static_cast<unsigned char>(r.Open[0])] = true;
      for (const Skip& k : s.Skips) s.Interesting[static_cast<unsigned char>(k.Open[0])] = true;
      s.InterestingBytes.Build(s.Interesting);
      s.Passing = s.Interesting;
      std::array<bool, 256> seen{};
      for (const Skip& k : s.Skips) {
        const auto first = static_cast<unsigned char>(k.Open[0]);
        if (seen[first]) continue;
        seen[first] = true;
        if (!k.Plain()) continue;
        s.OpensPlainSkip[first] = &k;
        s.Passing[static_cast<unsigned char>(k.Close[0])] = true;
        if (!s.Quote && k.Close == k.Open) {
          s.Quote = &k;
          s.QuoteByte[first] = true;
        }
      }
      s.PassingBytes.Build(s.Passing);
      s.QuoteBytes.Build(s.QuoteByte);
    }
  }
};

TOndFoldScanner::TOndFoldScanner(const TFoldRegions& Regions, bool CaseSensitive) : FImpl(std::make_unique<Impl>()) {
  FImpl->CaseSensitive = CaseSensitive;
  FImpl->Build(Regions);
}

TOndFoldScanner::~TOndFoldScanner() = default;

bool TOndFoldScanner::AsksAttributes() const noexcept {
  for (const Impl::Set& s : FImpl->Sets)
    for (const Impl::Region& r : s.Regions)
      if (r.Type == frtChar) return true;
  return false;
}

struct TOndFoldScan::State {
  // The rest of a line up to which a skip region's end is looked for byte
  // by byte rather than by memchr.
  static constexpr std::size_t kShortSkip = 64;
  // How far ahead of a line the text is asked for.
  static constexpr std::size_t kPrefetchAhead = 1024;
  using Region = TOndFoldScanner::Impl::Region;
  using Skip = TOndFoldScanner::Impl::Skip;
  struct Open {
    TOndEditFoldRange* Range;
    const Region* Reg;
    int Set;  // the set scanned inside it
  };
  const TOndFoldScanner::Impl& Scanner;
  TOndEditAllFoldRanges& All;
  int TabWidth;
  TFoldNonCodeFunc NonCodeAt;
  std::vector<Open> Stack;
  int Active = 0;
  const Skip* SkipIn = nullptr;          // inside a skip region
  bool Escaped = false;                  // the next character of the skip region is escaped
  TOndEditFoldRange* NoSubs = nullptr;  // looking only for this range's closing token
  const Region* NoSubsRegion = nullptr;
  std::string Buffer;
  std::int32_t LineNo = 0;
  // A line begun and not yet scanned to its end: where the scan stands in
  // it, and the indentation once a range needed it.
  bool InLine = false;
  std::size_t LinePos = 0;
  std::int32_t LineIndent = -1;

  State(const TOndFoldScanner::Impl& S, TOndEditAllFoldRanges& A, int T, TFoldNonCodeFunc NonCode)
      : Scanner(S), All(A), TabWidth(T), NonCodeAt(std::move(NonCode)) {}

  // A single-character token inside a string, comment or remark does not count.
  bool CodeAt(const Region& R, std::size_t Pos) const {
    if (R.Type != frtChar || !NonCodeAt) return true;
    return !NonCodeAt(LineNo, static_cast<std::int32_t>(Pos) + 1);
  }
  void CloseFrom(std::size_t K) {
    for (std::size_t i = K; i < Stack.size(); ++i) Stack[i].Range->ToLine = LineNo;
    Stack.resize(K);
    Active = Stack.empty() ? 0 : Stack.back().Set;
  }
  // Skips to the end of the skip region or the line; Pos moves on.
  void InSkip(std::string_view Text, std::size_t& Pos) {
    const std::size_t len = Text.size();
    if (SkipIn->Type == srtEndOfLine || SkipIn->Close.empty()) {
      Pos = len;
    } else if (SkipIn->Type == srtCloseChar) {
      const char esc = SkipIn->Escape.empty() ? '\0' : SkipIn->Escape[0];
      const bool hasEsc = !SkipIn->Escape.empty();
      if (!Escaped && esc != SkipIn->Close[0] && !hasEsc && len - Pos <= kShortSkip) {
        // A short rest without escapes: looked through here, not by a call.
        const char* at = FindByte(Text.data(), Text.data() + Pos, Text.data() + len, SkipIn->Close[0]);
        Pos = static_cast<std::size_t>(at - Text.data());
        if (Pos < len) {
          ++Pos;
          SkipIn = nullptr;
        }
        return;
      }
      if (!Escaped && esc != SkipIn->Close[0]) {
        // With no escape before it, the first closing character ends the
        // region: both looked for at once.
        const char* from = Text.data() + Pos;
        const auto* at = static_cast<const char*>(std::memchr(from, SkipIn->Close[0], len - Pos));
        const std::size_t span = at ? static_cast<std::size_t>(at - from) : len - Pos;
        if (!hasEsc || !std::memchr(from, esc, span)) {
          Pos += at ? span + 1 : span;
          if (at) SkipIn = nullptr;
          return;
        }
      }
      while (Pos < len) {
        const char c = Text[Pos++];
        if (Escaped) {
          Escaped = false;
        } else if (hasEsc && c == esc) {
          Escaped = true;
        } else if (c == SkipIn->Close[0]) {
          SkipIn = nullptr;
          break;
        }
      }
    } else {
      const std::size_t at = Text.find(SkipIn->Close, Pos);
      if (at == std::string_view::npos) {
        Pos = len;
      } else {
        Pos = at + SkipIn->Close.size();
        SkipIn = nullptr;
      }
    }
  }
  // Looks only for the closing token of the range opened without sub ranges.
  void InNoSubs(std::string_view Text, std::size_t& Pos) {
    const std::string& close = NoSubsRegion->Close;
    std::size_t at = close.empty() ? std::string_view::npos : Text.find(close[0], Pos);
    while (at != std::string_view::npos &&
           !(FoldTokenAt(Text, at, close, NoSubsRegion->Type, NoSubsRegion->WholeWords) && CodeAt(*NoSubsRegion, at)))
      at = Text.find(close[0], at + 1);
    if (at == std::string_view::npos) {
      Pos = Text.size();
    } else {
      NoSubs->ToLine = LineNo;
      Pos = at + TokenLength(close, NoSubsRegion->Type);
      NoSubs = nullptr;
    }
  }
  // The token at Pos, if any: Pos moves past it (or one character on).
  void AtInteresting(std::string_view Text, std::string_view Original, std::size_t& Pos, std::int32_t& Indent) {
    const TOndFoldScanner::Impl::Set& set = Scanner.Sets[static_cast<std::size_t>(Active)];
    for (const Skip& k : set.Skips) {
      if (Text[Pos] == k.Open[0] && (k.Open.size() == 1 || Text.compare(Pos, k.Open.size(), k.Open) == 0)) {
        Pos += k.Open.size();
        SkipIn = &k;
        Escaped = false;
        return;
      }
    }
    for (const Region& r : set.Regions) {
      if (FoldTokenAt(Text, Pos, r.Open, r.Type, r.WholeWords) && CodeAt(r, Pos)) {
        if (Indent < 0) Indent = FoldIndentLevel(Original, TabWidth);
        TOndEditFoldRanges* parent =
            Stack.empty() ? static_cast<TOndEditFoldRanges*>(&All) : &Stack.back().Range->SubFoldRanges;
        TOndEditFoldRange* range =
            AddFoldRange(parent, &All, LineNo, LineNo, r.Item, static_cast<std::int32_t>(Stack.size()), Indent);
        Pos += TokenLength(r.Open, r.Type);
        if (r.AllowNoSubs) {
          NoSubs = range;
          NoSubsRegion = &r;
        } else {
          Stack.push_back({range, &r, r.Subs >= 0 ? r.Subs : Active});
          Active = Stack.back().Set;
        }
        return;
      }
      if (FoldTokenAt(Text, Pos, r.Close, r.Type, r.WholeWords) && CodeAt(r, Pos)) {
        // The innermost open range this token closes; ranges opened inside
        // it and left open end here too.
        for (std::size_t k = Stack.size(); k-- > 0;) {
          const Region& o = *Stack[k].Reg;
          if (o.Close == r.Close || (o.Type == frtChar && r.Type == frtChar && o.Close[0] == r.Close[0])) {
            CloseFrom(k);
            break;
          }
        }
        Pos += TokenLength(r.Close, r.Type);
        return;
      }
    }
    // Inside sub-regions the closing tokens of the outer ranges still count.
    for (std::size_t k = Stack.size(); k-- > 0;) {
      const Region& o = *Stack[k].Reg;
      if (FoldTokenAt(Text, Pos, o.Close, o.Type, o.WholeWords) && CodeAt(o, Pos)) {
        Pos += TokenLength(o.Close, o.Type);
        CloseFrom(k);
        return;
      }
    }
    ++Pos;
  }
  // A line whose only tokens open plain skip regions (a config line of
  // strings) is passed at once from its start: the skip region it ends in
  // is known from the bytes that open and close them. True when it was;
  // false leaves everything as it was.
  bool PassBySkips(std::string_view Text) {
    const TOndFoldScanner::Impl::Set& set = Scanner.Sets[static_cast<std::size_t>(Active)];
    const std::size_t len = Text.size();
    if (len < 16 || NoSubs != nullptr || Escaped || !set.PassingBytes.Few()) return false;
    if (SkipIn != nullptr && !SkipIn->Plain()) return false;
    const Skip* in = SkipIn;
    const char* p = Text.data();
    if (set.Quote != nullptr && (in == nullptr || in == set.Quote)) {
      // When the quote is all the line holds of what counts, each one
      // opens or closes its region in turn: their count says where the
      // line ends.
      // (The count's evenness is that of the masks' exclusive or.)
      unsigned quotes = 0;
      std::size_t chunk = 0;
      for (; chunk < len; chunk += 16) {
        const std::size_t base = std::min(chunk, len - 16);
        const unsigned keep = ~0u << (chunk - base);
        const unsigned q = set.QuoteBytes.Mask16(p + base) & keep;
        if ((set.PassingBytes.Mask16(p + base) & keep) != q) break;
        quotes ^= q;
      }
      if (chunk >= len) {
        if (OddBits(quotes)) SkipIn = in ? nullptr : set.Quote;
        return true;
      }
    }
    for (std::size_t chunk = 0; chunk < len; chunk += 16) {
      // The last sixteen bytes are read from the line's end back.
      const std::size_t base = std::min(chunk, len - 16);
      for (unsigned mask = set.PassingBytes.Mask16(p + base) & (~0u << (chunk - base)); mask != 0; mask &= mask - 1) {
        const char c = p[base + static_cast<std::size_t>(__builtin_ctz(mask))];
        if (in != nullptr) {
          if (c == in->Close[0]) in = nullptr;
        } else if (set.Interesting[static_cast<unsigned char>(c)] &&
                   !(in = set.OpensPlainSkip[static_cast<unsigned char>(c)])) {
          // A token other than a plain skip region's start.
          return false;
        }
      }
    }
    SkipIn = in;
    return true;
  }
  // Scans Original from where the scan stands in it; false when Until
  // passed before the line's end.
  bool Line(std::string_view Original, std::chrono::steady_clock::time_point Until) {
    const bool upper = !Scanner.CaseSensitive && Scanner.TokensHaveLetters;
    if (!InLine) {
      ++LineNo;
      InLine = true;
      LinePos = 0;
      LineIndent = -1;
      if (upper) UpperAZ(Original, Buffer);
    }
    const std::string_view text = upper ? std::string_view(Buffer) : Original;
    std::int32_t& indent = LineIndent;
    const std::size_t len = text.size();
    std::size_t& pos = LinePos;
    if (pos == 0) {
      // A loaded text's lines follow one another in memory: the text a few
      // lines on is asked for now, so that it is at hand when they come.
      __builtin_prefetch(Original.data() + kPrefetchAhead);
      if (PassBySkips(text)) pos = len;
    }
    // The clock is looked at every so many tokens: a long line is scanned
    // in pieces too.
    constexpr int kTokensPerLook = 4096;
    int tokens = kTokensPerLook;
    while (pos < len) {
      if (--tokens == 0) {
        tokens = kTokensPerLook;
        if (std::chrono::steady_clock::now() >= Until) return false;
      }
      if (SkipIn != nullptr) {
        InSkip(text, pos);
        continue;
      }
      if (NoSubs != nullptr) {
        InNoSubs(text, pos);
        continue;
      }
      // Characters that start no token are passed over in one run.
      pos = static_cast<std::size_t>(
          Scanner.Sets[static_cast<std::size_t>(Active)].InterestingBytes.Find(text.data(), text.data() + pos, text.data() + len) -
          text.data());
      if (pos < len) AtInteresting(text, Original, pos, indent);
    }
    // The line break: it ends a skip region of the line kind, and a pending
    // escape escaped it.
    if (SkipIn != nullptr && (SkipIn->Type == srtEndOfLine || SkipIn->Close.empty())) SkipIn = nullptr;
    Escaped = false;
    InLine = false;
    CrossesLine = SkipIn != nullptr || NoSubs != nullptr;
    if (CrossesLine) All.SetStateCrossesLines(true);
    return true;
  }
  // The last line ended inside a skip region or a range without sub ranges.
  bool CrossesLine = false;
};

TFoldNonCodeFunc NonCodeFromAttributeNames(TFoldAttributeNameFunc Names) {
  if (!Names) return {};
  return [Names = std::move(Names)](std::int32_t Line, std::int32_t Char) {
    return IsNonCodeAttributeName(Names(Line, Char));
  };
}

TOndFoldScan::TOndFoldScan(const TOndFoldScanner& Scanner, TOndEditAllFoldRanges& All, int TabWidth,
                           TFoldNonCodeFunc NonCodeAt)
    : FState(std::make_unique<State>(*Scanner.FImpl, All, TabWidth, std::move(NonCodeAt))) {}

TOndFoldScan::~TOndFoldScan() = default;

void TOndFoldScan::Line(std::string_view Text) { FState->Line(Text, std::chrono::steady_clock::time_point::max()); }

bool TOndFoldScan::LineSome(std::string_view Text, std::chrono::steady_clock::time_point Until) {
  return FState->Line(Text, Until);
}

std::int32_t TOndFoldScan::LinesScanned() const noexcept { return FState->LineNo - (FState->InLine ? 1 : 0); }

void TOndFoldScan::Finish() {
  if (FState->NoSubs != nullptr) FState->NoSubs->ToLine = FState->LineNo;
  // Ranges never closed keep their header line as their end: the tree no
  // longer tells they were open.
  if (FState->NoSubs != nullptr || !FState->Stack.empty()) FState->All.SetStateCrossesLines(true);
  FState->NoSubs = nullptr;
  FState->All.IndexChanged();
}

bool TOndFoldScan::Resume(std::int32_t LinesBefore, const std::vector<TOndEditFoldRange*>& Open) {
  State& s = *FState;
  if (s.LineNo != 0 || s.InLine || !s.Stack.empty() || s.NoSubs != nullptr || s.SkipIn != nullptr) return false;
  std::vector<State::Open> stack;
  int active = 0;
  for (TOndEditFoldRange* r : Open) {
    const State::Region* region = nullptr;
    for (const State::Region& x : s.Scanner.Sets[static_cast<std::size_t>(active)].Regions)
      if (x.Item == r->FoldRegion) {
        region = &x;
        break;
      }
    if (region == nullptr || region->AllowNoSubs) return false;
    const int set = region->Subs >= 0 ? region->Subs : active;
    stack.push_back({r, region, set});
    active = set;
  }
  s.Stack = std::move(stack);
  s.Active = active;
  s.LineNo = LinesBefore;
  return true;
}

std::vector<TOndEditFoldRange*> TOndFoldScan::OpenRanges() const {
  std::vector<TOndEditFoldRange*> open;
  open.reserve(FState->Stack.size());
  for (const State::Open& o : FState->Stack) open.push_back(o.Range);
  return open;
}

bool TOndFoldScan::StateCrossesLine() const noexcept { return FState->CrossesLine; }

void TOndFoldScanner::Scan(const std::vector<std::string_view>& Lines, TOndEditAllFoldRanges& All, int TabWidth,
                           const TFoldNonCodeFunc& NonCodeAt) const {
  TOndFoldScan scan(*this, All, TabWidth, NonCodeAt);
  for (std::string_view line : Lines) scan.Line(line);
  scan.Finish();
}

// ------------------------------------------------------------ the folder

bool TOndCodeFolder::CollapseFoldRange(TOndEditFoldRange* Range) {
  if (Range == nullptr || Range->Collapsed || Range->ParentCollapsed) return false;
  if (Range->AllFoldRanges != &FRanges) return false;
  const TOndFoldIndex& index = FRanges.Index();
  const auto inside = [Range](const TOndEditFoldRange* R) {
    for (const TOndEditFoldRanges* l = R->Container(); l != nullptr && l->Owner() != nullptr;
         l = l->Owner()->Container())
      if (l->Owner() == Range) return true;
    return false;
  };
  std::int64_t n = static_cast<std::int64_t>(Range->ToLine) - Range->FromLine - 1;
  // A range starting on the closing line that is not one of this range's
  // ("} else {", "}, {}") keeps that line in sight: hidden, its header
  // would be hidden from it.
  for (const TOndEditFoldRange* r : index.Over(Range->ToLine, Range->ToLine))
    if (r->FromLine == Range->ToLine && r != Range && !inside(r)) {
      --n;
      break;
    }
  const std::int64_t k = n + 1;
  if (k < 1 || Range->FromLine < 1 || Range->FromLine + k > FLines.GetCount()) return false;
  // Everything the range hides must lie in the lines it hides, and every
  // range starting on them must be one it holds: a range whose lines no
  // longer fit (after edits, before the next rescan) is not collapsed, so
  // no visible header is ever taken for a hidden one.
  bool fits = true;
  std::size_t starting = 0;
  ForEachDescendant(Range, [&](TOndEditFoldRange* d) {
    if (d->ParentCollapsed) return;
    if (d->FromLine < Range->FromLine || d->FromLine > Range->FromLine + k) fits = false;
    if (d->FromLine > Range->FromLine) ++starting;
  });
  if (!fits || index.StartingAbove(Clamp32(Range->FromLine + k + 1)) - index.StartingAbove(Range->FromLine + 1) !=
                   starting)
    return false;
  const int header = Range->FromLine - 1;
  const int count = static_cast<int>(k);
  FLines.BeginUpdate();
  const TScopeExit endUpdate([&] { FLines.EndUpdate(); });
  Range->CollapsedLines.Clear();
  for (int i = header + count; i > header; --i) {
    const std::optional<TOndLineExtra> extra = FLines.GetLineExtra(i);
    Range->CollapsedLines.AddObject(FLines.Get(i),
                                    reinterpret_cast<void*>(static_cast<std::intptr_t>(extra->ModifiedState)));
  }
  FLines.DeleteLineRange(header + 1, count);
  PutKeepingState(FLines, header, FLines.Get(header) + CollapsedMarker(Range));
  // The index was current (asked above); it follows the fold in place when
  // it can.
  Range->LinesCollapsed = static_cast<std::int32_t>(n);
  Range->Collapsed = true;
  Range->SetParentCollapsed(true, Range->Level);
  const std::vector<TOndEditFoldRange*> ancestors = ShiftForFold(FRanges, Range, -count, &FRanges.IndexAsItWas());
  if (!FRanges.IndexFolded(Range, -count, ancestors)) FRanges.IndexChanged();
  return true;
}

bool TOndCodeFolder::ExpandFoldRange(TOndEditFoldRange* Range) {
  if (Range == nullptr || !Range->Collapsed || Range->ParentCollapsed) return false;
  if (Range->AllFoldRanges != &FRanges) return false;
  const int count = Range->CollapsedLines.GetCount();
  const bool indexCurrent = FRanges.IndexCurrent();
  std::vector<std::string> lines;
  lines.reserve(static_cast<std::size_t>(count));
  for (int i = count - 1; i >= 0; --i) lines.push_back(Range->CollapsedLines.Get(i));
  FLines.BeginUpdate();
  const TScopeExit endUpdate([&] { FLines.EndUpdate(); });
  // A header that is no longer there (it never should be) still gets its
  // lines back, at the nearest place.
  const int at = std::clamp(Range->FromLine, 0, FLines.GetCount());
  FLines.InsertLines(at, lines);
  for (int i = 0; i < count; ++i) {
    const auto state = reinterpret_cast<std::intptr_t>(Range->CollapsedLines.GetObject(count - 1 - i));
    FLines.SetModifiedState(at + i, static_cast<std::uint8_t>(state));
  }
  const int header = Range->FromLine - 1;
  if (header >= 0 && header < FLines.GetCount()) {
    const std::string marker = CollapsedMarker(Range);
    const std::string_view text = FLines.GetView(header);
    if (text.size() >= marker.size() && text.substr(text.size() - marker.size()) == marker)
      PutKeepingState(FLines, header, std::string(text.substr(0, text.size() - marker.size())));
  }
  Range->Collapsed = false;
  const std::vector<TOndEditFoldRange*> ancestors =
      ShiftForFold(FRanges, Range, count, indexCurrent ? &FRanges.IndexAsItWas() : nullptr);
  Range->SetParentCollapsed(false, Range->Level);
  Range->CollapsedLines.Clear();
  if (!(indexCurrent && FRanges.IndexFolded(Range, count, ancestors))) FRanges.IndexChanged();
  return true;
}

void TOndCodeFolder::ExpandAll() {
  NormalizeParentCollapsed(FRanges);
  FLines.BeginUpdate();
  const TScopeExit endUpdate([&] { FLines.EndUpdate(); });
  // Pass after pass: each shows the ranges the previous one uncovered, so
  // every depth is reached.
  for (bool any = true; any;) {
    any = false;
    for (int j = FRanges.AllCount() - 1; j >= 0; --j) {
      TOndEditFoldRange* r = FRanges.AllRanges(j);
      if (r->Collapsed && !r->ParentCollapsed && ExpandFoldRange(r)) any = true;
    }
  }
}

void TOndCodeFolder::RescanFoldRanges() {
  ExpandAll();
  FRanges.FreeAllRanges();
  if (Regions == nullptr) return;
  const TOndFoldScanner scanner(*Regions, CaseSensitive);
  TOndFoldScan scan(scanner, FRanges, FLines.GetTabWidth(), NonCode());
  for (int i = 0; i < FLines.GetCount(); ++i) scan.Line(FLines.GetView(i));
  scan.Finish();
}

std::vector<std::int32_t> TOndCodeFolder::CollapsedHeaderLines() const {
  std::vector<std::int32_t> headers;
  for (int j = 0; j < FRanges.AllCount(); ++j) {
    const TOndEditFoldRange* r = FRanges.AllRanges(j);
    if (r->Collapsed && !r->ParentCollapsed) headers.push_back(r->FromLine);
  }
  std::sort(headers.begin(), headers.end());
  headers.erase(std::unique(headers.begin(), headers.end()), headers.end());
  return headers;
}

TOndEditFoldRange* TOndCodeFolder::FoldRangeStartingAt(std::int32_t Line) const {
  return FRanges.Index().StartingAt(Line);
}

TOndEditFoldRange* TOndCodeFolder::FoldRangeAtLine(std::int32_t Line, std::int32_t* Position) const {
  return FRanges.Index().WithLinesAt(Line, Position);
}

std::int32_t TOndCodeFolder::UncollapsedLine(std::int32_t Line) const {
  return Clamp32(static_cast<std::int64_t>(Line) + FRanges.Index().HiddenAbove(Line));
}

TOndEditFoldRange* TOndCodeFolder::FoldRangeEndingAt(std::int32_t Line) const {
  return FRanges.Index().ExpandedEndingAt(Line);
}

bool TOndCodeFolder::IsRangeEnd(std::int32_t Line) const { return FRanges.Index().ExpandedWithLinesEndsAt(Line); }

bool TOndCodeFolder::IsInsideRange(std::int32_t Line) const { return FRanges.Index().InsideExpanded(Line); }

std::int32_t TOndCodeFolder::LineIndentColumns(std::int32_t Line) const noexcept {
  if (Line < 1 || Line > FLines.GetCount()) return 0;  // no line, no indent
  const std::string_view text = FLines.GetView(Line - 1);
  const std::int32_t tab = FLines.GetTabWidth();
  std::int64_t columns = 0;
  for (char c : text) {
    if (c == ' ')
      ++columns;
    else if (c == '\t')
      columns += tab;
    else
      break;
  }
  return columns > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(columns);
}

TFoldRegionItem* TOndCodeFolder::OpeningRegionInLine(std::string_view Text) const {
  if (Regions == nullptr) return nullptr;
  const std::string upperText = CaseSensitive ? std::string() : UpperAZ(Text);
  const std::string_view text = CaseSensitive ? Text : std::string_view(upperText);
  std::vector<const TFoldRegions*> queue{Regions};
  for (std::size_t q = 0; q < queue.size(); ++q)
    for (int i = 0; i < queue[q]->Count(); ++i) {
      TFoldRegionItem* r = queue[q]->Items(i);
      if (TokenAnywhere(text, CaseSensitive ? r->Open : UpperAZ(r->Open), r->RegionType, r->WholeWords)) return r;
      if (r->SubFoldRegions().Count() > 0) queue.push_back(&r->SubFoldRegions());
    }
  return nullptr;
}

TFoldTokenKind TOndCodeFolder::FoldTokenKindInLine(std::string_view Text) const {
  if (Regions == nullptr) return TFoldTokenKind::None;
  // Asked whenever the caret changes line: the regions are read in place, as
  // the scanner would read them, without building a scanner. Only tokens
  // with letters need the upper-cased line.
  std::string upperText, upperToken;
  auto holds = [&](const std::string& Token, const TFoldRegionItem* R) {
    const bool letters = !CaseSensitive && std::any_of(Token.begin(), Token.end(), [](char c) {
      return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    });
    if (!letters) return TokenAnywhere(Text, Token, R->RegionType, R->WholeWords);
    if (upperText.empty()) UpperAZ(Text, upperText);
    UpperAZ(Token, upperToken);
    return TokenAnywhere(upperText, upperToken, R->RegionType, R->WholeWords);
  };
  for (const bool open : {true, false}) {
    std::vector<const TFoldRegions*> queue{Regions};
    for (std::size_t q = 0; q < queue.size(); ++q)
      for (int i = 0; i < queue[q]->Count(); ++i) {
        const TFoldRegionItem* r = queue[q]->Items(i);
        if (holds(open ? r->Open : r->Close, r)) return open ? TFoldTokenKind::Open : TFoldTokenKind::Close;
        if (r->SubFoldRegions().Count() > 0) queue.push_back(&r->SubFoldRegions());
      }
  }
  return TFoldTokenKind::None;
}

TOndEditFoldRange* TOndCodeFolder::CaretFoldRange(std::int32_t Line) const {
  switch (FoldTokenKindInLine(FLines.GetView(Line - 1))) {
    case TFoldTokenKind::Open: return FoldRangeAtLine(Line);
    case TFoldTokenKind::Close: return FoldRangeEndingAt(Line);
    default: return nullptr;
  }
}

void TOndCodeFolder::ExpandedLines(TOndEditStringList& Dest) const {
  Dest.Assign(FLines);
  TOndEditAllFoldRanges tree;
  tree.Assign(FRanges);
  TOndCodeFolder(Dest, tree).ExpandAll();
}

void TOndCodeFolder::CopyLinesWithFolds(std::int32_t First, std::int32_t Last, TOndEditStringList& Dest,
                                        TOndEditAllFoldRanges& DestRanges) const {
  Dest.Clear();
  DestRanges.FreeAllRanges();
  First = std::max(First, 1);
  Last = std::min(Last, FLines.GetCount());
  if (First > Last) return;
  std::vector<std::string> lines;
  lines.reserve(static_cast<std::size_t>(Last - First + 1));
  for (std::int32_t l = First; l <= Last; ++l) lines.emplace_back(FLines.GetView(l - 1));
  Dest.InsertLines(0, lines);
  const std::int32_t delta = 1 - First;
  // In line order; each with everything below it, parent before children.
  std::vector<std::pair<const TOndEditFoldRange*, TOndEditFoldRanges*>> stack;
  for (TOndEditFoldRange* top : FRanges.Index().Over(First, Last)) {
    if (!top->Collapsed || top->FromLine < First) continue;
    stack.emplace_back(top, &DestRanges);
    while (!stack.empty()) {
      auto [s, parent] = stack.back();
      stack.pop_back();
      TOndEditFoldRange* d = CopyFoldRange(*s, parent, &DestRanges, delta);
      for (int i = s->SubFoldRanges.Count() - 1; i >= 0; --i) stack.emplace_back(s->SubFoldRanges.Items(i), &d->SubFoldRanges);
    }
  }
}

std::string TOndCodeFolder::TextWithFoldsExpanded() const {
  bool anyCollapsed = false;
  for (int j = 0; j < FRanges.AllCount() && !anyCollapsed; ++j) anyCollapsed = FRanges.AllRanges(j)->Collapsed;
  if (!anyCollapsed) return FLines.GetText();
  TOndEditStringList copy;
  ExpandedLines(copy);
  return copy.GetText();
}

void TOndCodeFolder::AdjustFoldRanges(std::int32_t Line, std::int32_t Delta, std::int32_t CaretChar) {
  if (Delta == 0) return;
  const std::string_view line = FLines.GetView(Line);  // the line after line Line
  const std::size_t from = CaretChar > 1 ? static_cast<std::size_t>(CaretChar - 1) : 0;
  std::string examined(from < line.size() ? line.substr(from) : std::string_view());
  if (!CaseSensitive) UpperAZ(examined, examined);
  auto holds = [&](const std::string& Token, const TFoldRegionItem* R) {
    return R != nullptr && TokenAnywhere(examined, CaseSensitive ? Token : UpperAZ(Token), R->RegionType, R->WholeWords);
  };
  const std::int64_t firstAfter = static_cast<std::int64_t>(Line) + 1;
  // When every visible range moves as its lines do (nothing carried down
  // with the caret, nothing among deleted lines, no collapsed range the
  // lines fall into), the index shifts instead of being built again.
  const bool indexCurrent = FRanges.IndexCurrent();
  bool follows = true;
  const auto shifted = [Line, Delta](std::int32_t V) {
    return V > Line ? static_cast<std::int64_t>(V) + Delta : static_cast<std::int64_t>(V);
  };
  const auto deleted = [Line, Delta](std::int32_t V) { return Delta < 0 && V > Line && V <= Line - Delta; };
  // Only inserted lines can carry a header or a closing line down with
  // them; the line before removed lines stays where it is.
  const bool inserted = Delta > 0;
  // Inserted lines that carried every header and closing line on Line down
  // with them moved the lines from Line on alike: the index shifts those.
  bool followsFromLine = inserted;
  // One deleted line moves the lines below it alike, its own onto Line:
  // the order by line stays, and so does the order by closing line unless
  // a range closed on Line already.
  bool valuesFollow = true;
  const auto shiftedFromLine = [Line, Delta](std::int32_t V) {
    return V >= Line ? static_cast<std::int64_t>(V) + Delta : static_cast<std::int64_t>(V);
  };
  const auto adjust = [&](TOndEditFoldRange* r) {
    const std::int64_t from = shifted(r->FromLine), to = shifted(r->ToLine);
    const std::int64_t fromAlike = shiftedFromLine(r->FromLine), toAlike = shiftedFromLine(r->ToLine);
    const bool hadLines = r->HasLines();
    if (deleted(r->FromLine) || deleted(r->ToLine)) follows = false;
    if (r->FromLine > Line ||
        (inserted && r->FromLine == Line && r->FoldRegion != nullptr && holds(r->FoldRegion->Open, r->FoldRegion))) {
      MoveWithDescendants(r, Delta);
      // A header inside removed lines lands where the removed lines were.
      if (Delta < 0 && r->FromLine < firstAfter) {
        r->FromLine = static_cast<std::int32_t>(firstAfter);
        r->ToLine = std::max(r->ToLine, r->FromLine);
      }
    } else if (!r->Collapsed) {
      if (r->ToLine > Line ||
          (inserted && r->ToLine == Line && r->FoldRegion != nullptr && holds(r->FoldRegion->Close, r->FoldRegion))) {
        r->Widen(Delta);
        // A closing line that was removed: the range keeps what is left.
        if (Delta < 0 && r->ToLine < Line) r->ToLine = std::max(Line, r->FromLine);
      }
    }
    if (r->FromLine != from || r->ToLine != to) follows = valuesFollow = false;
    // The index keeps whether each range has lines.
    if (r->HasLines() != hadLines) valuesFollow = false;
    if (r->FromLine != fromAlike || r->ToLine != toAlike) followsFromLine = false;
  };
  const bool fastPath = indexCurrent && FRanges.Index().IsFlatList();
  // With ranges collapsed the flat list holds hidden ranges the index
  // leaves out, but the index still names every visible range by line.
  const bool indexedPath = indexCurrent && !fastPath;
  const bool oneDeletedAlike =
      (fastPath || indexedPath) && Delta == -1 && FRanges.Index().ExpandedEndingAt(Line) == nullptr;
  if (fastPath) {
    // Every range is visible and expanded, and the flat list is in line
    // order: the ranges starting below the changed lines only move, one
    // tight pass from their place on; the ranges the rule above can change
    // otherwise are the ones reaching Line and those among deleted lines.
    const TOndFoldIndex& index = FRanges.Index();
    const auto& flat = FRanges.AllRangeList();
    const std::int64_t below = inserted ? firstAfter : firstAfter - Delta;
    const std::size_t tail = index.StartingAbove(Clamp32(below));
    const std::size_t among = index.StartingAbove(Clamp32(firstAfter));
    std::vector<TOndEditFoldRange*> touched = index.Over(Line, Line);
    for (std::size_t i = among; i < tail; ++i) touched.push_back(flat[i].get());
    for (std::size_t i = tail; i < flat.size(); ++i) {
      TOndEditFoldRange* r = flat[i].get();
      r->FromLine = Clamp32(static_cast<std::int64_t>(r->FromLine) + Delta);
      r->ToLine = Clamp32(static_cast<std::int64_t>(r->ToLine) + Delta);
    }
    for (TOndEditFoldRange* r : touched) adjust(r);
  } else if (indexedPath) {
    // The same over the visible ranges the index names: those starting
    // below the changed lines only move, each collapsed one with what it
    // hides; the rule above is for those reaching Line and those among
    // deleted lines.
    const TOndFoldIndex& index = FRanges.Index();
    const std::int64_t below = inserted ? firstAfter : firstAfter - Delta;
    std::vector<TOndEditFoldRange*> touched = index.Over(Line, Line);
    const std::vector<TOndEditFoldRange*> after = index.StartingBelow(Line);
    const auto tail = std::partition_point(after.begin(), after.end(),
                                           [below](const TOndEditFoldRange* r) { return r->FromLine < below; });
    touched.insert(touched.end(), after.begin(), tail);
    for (auto it = tail; it != after.end(); ++it) {
      // A range ending above its header (a text the ranges no longer fit)
      // does not move as its lines do.
      if ((*it)->ToLine <= Line) follows = valuesFollow = false;
      if ((*it)->ToLine < Line) followsFromLine = false;
      MoveWithDescendants(*it, Delta);
    }
    for (TOndEditFoldRange* r : touched) adjust(r);
  } else {
    FRanges.NoteWholeWalk();
    const int all = FRanges.AllCount();
    for (int j = 0; j < all; ++j) {
      TOndEditFoldRange* r = FRanges.AllRanges(j);
      if (!r->ParentCollapsed) adjust(r);
    }
  }
  if (indexCurrent && follows)
    FRanges.IndexShifted(Line, Delta);
  else if (fastPath && followsFromLine)
    FRanges.IndexShifted(Line - 1, Delta);
  else if (oneDeletedAlike && valuesFollow)
    FRanges.IndexShifted(Line, Delta);
  else
    FRanges.IndexChanged();
}

void TOndCodeFolder::LinesInserted(std::int32_t FirstLine, std::int32_t Count, std::int32_t CaretChar) {
  if (Count > 0) AdjustFoldRanges(FirstLine, Count, CaretChar);
}

void TOndCodeFolder::LinesDeleted(std::int32_t FirstLine, std::int32_t Count, TOndEditUndoList* UndoList,
                                  TOndSelectionMode SelectionMode, std::int32_t CaretChar) {
  if (Count <= 0) return;
  const std::int64_t last = static_cast<std::int64_t>(FirstLine) + Count - 1;
  // Only a collapsed, visible range with its header among the lines
  // leaves; a current index tells whether there is one without a walk.
  const bool anyCollapsed =
      !FRanges.IndexCurrent() || FRanges.Index().CollapsedBetween(FirstLine, Clamp32(last));
  if (anyCollapsed) FRanges.NoteWholeWalk();
  const auto& all = FRanges.AllRangeList();
  for (std::size_t j = 0; anyCollapsed && j < all.size();) {
    TOndEditFoldRange* r = all[j].get();
    if (!(r->Collapsed && !r->ParentCollapsed && r->FromLine >= FirstLine && r->FromLine <= last)) {
      ++j;
      continue;
    }
    // The range leaves with everything below it, so that undo gets back its
    // hidden lines at every depth.
    std::unordered_set<const TOndEditFoldRange*> below;
    ForEachDescendant(r, [&below](TOndEditFoldRange* d) { below.insert(d); });
    auto holder = std::make_unique<TOndDetachedFoldRange>();
    // They follow it in the flat list, mostly right after it: the walk stops
    // at the last of them.
    std::vector<std::size_t> places;
    for (std::size_t i = j + 1; i < all.size() && places.size() < below.size(); ++i)
      if (below.count(all[i].get()) != 0) places.push_back(i);
    std::vector<std::unique_ptr<TOndEditFoldRange>> descendants;
    for (auto it = places.rbegin(); it != places.rend(); ++it)
      descendants.push_back(FRanges.AllExtract(static_cast<int>(*it)));
    const int at = static_cast<int>(j);
    holder->Ranges.push_back(FRanges.AllExtract(at));
    for (auto it = descendants.rbegin(); it != descendants.rend(); ++it) holder->Ranges.push_back(std::move(*it));
    if (TOndEditFoldRanges* list = r->Container()) list->Remove(r);
    if (UndoList != nullptr)
      UndoList->AddChange(urFoldChange, BufferCoord(1, r->FromLine), BufferCoord(1, r->FromLine), "", SelectionMode,
                          std::move(holder), at);
  }
  AdjustFoldRanges(FirstLine - 1, -Count, CaretChar);
}

TOndEditFoldRange* TOndCodeFolder::RestoreFoldRange(TOndEditUndoItem& Item) {
  auto* holder = dynamic_cast<TOndDetachedFoldRange*>(Item.Extra1.get());
  if (holder == nullptr || holder->Range() == nullptr) return nullptr;
  std::unique_ptr<TOndDetachedFoldRange> owned(holder);
  Item.Extra1.release();
  TOndEditFoldRange* range = owned->Range();
  const std::int32_t line = range->FromLine;
  // The range goes into the innermost visible, expanded range around its
  // header (the one starting last, the deeper of two on one line): a
  // current index names the ranges over that line without a walk over
  // every range. It is asked before the restored ranges make it stale.
  const auto better = [line](const TOndEditFoldRange* r, const TOndEditFoldRange* parent) {
    return !r->Collapsed && !r->ParentCollapsed && r->FromLine < line && line < r->ToLine &&
           (parent == nullptr || r->FromLine > parent->FromLine ||
            (r->FromLine == parent->FromLine && r->Level > parent->Level));
  };
  TOndEditFoldRange* parent = nullptr;
  const bool indexed = FRanges.IndexCurrent();
  if (indexed)
    for (TOndEditFoldRange* r : FRanges.Index().Over(line, line))
      if (better(r, parent)) parent = r;
  int at = std::clamp(Item.Extra2, 0, FRanges.AllCount());
  for (auto& r : owned->Ranges) FRanges.AllInsert(at++, std::move(r));
  if (!indexed)
    for (const auto& r : FRanges.AllRangeList())
      if (r.get() != range && better(r.get(), parent)) parent = r.get();
  TOndEditFoldRanges& list = parent != nullptr ? parent->SubFoldRanges : static_cast<TOndEditFoldRanges&>(FRanges);
  // Lists are in line order: after the last range starting on its line or
  // above.
  const TOndEditFoldRange* before = list.LastAbove(Clamp32(static_cast<std::int64_t>(line) + 1));
  list.Insert(before != nullptr ? list.IndexOf(before) + 1 : 0, range);
  range->SetLevel(parent != nullptr ? parent->Level + 1 : 0);
  // Only the restored ranges' state can have changed: the parent is visible
  // and expanded.
  NormalizeBelow(range, false, -1);
  FRanges.IndexChanged();
  return range;
}

// ------------------------------------------------------------ colours

void RGBToHSL(TColor Color, std::int32_t& H, std::int32_t& S, std::int32_t& L) {
  const TColor c = ColorToRGB(Color);
  const int r = static_cast<int>(c & 0xFF);
  const int g = static_cast<int>((c >> 8) & 0xFF);
  const int b = static_cast<int>((c >> 16) & 0xFF);
  const int mx = std::max({r, g, b});
  const int mn = std::min({r, g, b});
  L = (mx + mn) * 100 / 510;
  if (mx == mn) {
    H = 0;
    S = 0;
    return;
  }
  const int delta = mx - mn;
  S = L > 50 ? delta * 100 / (510 - (mx + mn)) : delta * 100 / (mx + mn);
  const double f = 60.0 / delta;
  double h;
  if (r == mx)
    h = (g - b) * f + (b > g ? 360 : 0);
  else if (g == mx)
    h = (b - r) * f + 120;
  else
    h = (r - g) * f + 240;
  H = static_cast<std::int32_t>(Round(h));
}

TColor HSLToRGB(std::int32_t H, std::int32_t S, std::int32_t L) {
  auto byte = [](double v) -> TColor {
    const double c = std::ceil(v * 255.0);
    return static_cast<TColor>(c < 0 ? 0 : (c > 255 ? 255 : c));
  };
  if (S == 0) {
    const std::int64_t g = Round(L * 2.55);
    const TColor v = static_cast<TColor>(g < 0 ? 0 : (g > 255 ? 255 : g));
    return v | (v << 8) | (v << 16);
  }
  const double l = L / 100.0;
  const double s = S / 100.0;
  const double m1 = l < 0.5 ? (1 - s) * l : l - (1 - l) * s;
  const double m2 = 2 * l - m1;
  const double h = H / 60.0;
  const double d = m2 - m1;
  int sector = H / 60;
  if (sector > 4) sector = 5;
  if (sector < 0) sector = 0;
  double r, g, b;
  switch (sector) {
    case 0: r = m2; g = m1 + h * d; b = m1; break;
    case 1: r = m1 + (2 - h) * d; g = m2; b = m1; break;
    case 2: r = m1; g = m2; b = m1 + (h - 2) * d; break;
    case 3: r = m1; g = m1 + (4 - h) * d; b = m2; break;
    case 4: r = m1 + (h - 4) * d; g = m1; b = m2; break;
    default: r = m2; g = m1; b = m1 + (6 - h) * d; break;
  }
  return byte(r) | (byte(g) << 8) | (byte(b) << 16);
}

}  // namespace ond
