#include "highlight/OndGenHighlighter.h"

#include <algorithm>

#include "platform/core/SysUtils.h"

namespace ond {

namespace {
[[maybe_unused]] const int kRegistered = TOndHighlighterList::Instance().RegisterHighlighter(
    {"TOndGenHighlighter", []() -> std::unique_ptr<TOndCustomHighlighter> { return std::make_unique<TOndGenHighlighter>(); }});
}  // namespace

TOndGenHighlighter::TOndGenHighlighter() : FMainRules(std::make_unique<TOndRange>()) {
  // The rules own the attribute objects; the list only points at them, in
  // the order of the tree, and names them uniquely itself.
  FOwnsAttributes = false;
  FSortedAttributes = false;
  FMainRules->MakeRoot();
  FCurrent = FMainRules.get();
}

TOndGenHighlighter::~TOndGenHighlighter() {
  FAttributes.clear();
  FToken = nullptr;
}

void TOndGenHighlighter::Clear() {
  FAttributes.clear();
  FToken = nullptr;
  FEol = true;
  FMainRules->Clear();
  FSchemes.Clear();
  FInfo.Clear();
  FoldRegions().Clear();
  FoldRegions().SkipRegions().Clear();
  FStates.clear();
  FStateIds.clear();
  FEntered.fill({});
  FPlainMoves.clear();
  FActiveScheme = nullptr;
  FCurrent = FMainRules.get();
  FCurrent->ClosingToken = nullptr;
  FCurrent->StateId = 0;
}

void TOndGenHighlighter::Reset() {
  Prepare();
  NotifyHighlightChange(this);
}

void TOndGenHighlighter::EnsurePrepared() {
  if (!FMainRules->Prepared()) Prepare();
}

void TOndGenHighlighter::Prepare() {
  FToken = nullptr;
  FAttributes.clear();
  AddRuleAttributes(*FMainRules);
  FMainRules->Prepare(FMainRules.get());
  FStates.assign(1, TState{FMainRules.get(), nullptr, 0});
  FStateIds.clear();
  FEntered.fill({});
  FPlainMoves.clear();
  FCurrent = FMainRules.get();
  FCurrent->ClosingToken = nullptr;
  FCurrent->StateId = 0;
}

std::string TOndGenHighlighter::UniqueAttributeName(std::string_view Name) const {
  auto taken = [this](std::string_view n) {
    return std::any_of(FAttributes.begin(), FAttributes.end(),
                       [n](const TOndHighlighterAttributes* a) { return a->Name() == n; });
  };
  if (!taken(Name)) return std::string(Name);
  for (int n = 2; n <= 101; ++n) {
    std::string candidate = std::string(Name) + " (" + std::to_string(n) + ")";
    if (!taken(candidate)) return candidate;
  }
  return std::string(Name);
}

void TOndGenHighlighter::AddRuleAttribute(TOndRule& Rule, bool Effective) {
  Rule.Attribs().SetName(UniqueAttributeName(Rule.Name));
  // A clash (all hundred numbered names taken) keeps the first.
  AddAttribute(Effective ? Rule.GetAttribs() : &Rule.Attribs());
}

void TOndGenHighlighter::AddRuleAttributes(TOndRange& Range) {
  AddRuleAttribute(Range, true);
  for (int i = 0; i < Range.KeyListCount(); ++i) AddRuleAttribute(*Range.KeyLists(i), true);
  // A set paints with its own attributes, parent flags not applied.
  for (int i = 0; i < Range.SetCount(); ++i) AddRuleAttribute(*Range.Sets(i), false);
  for (int i = 0; i < Range.RangeCount(); ++i) AddRuleAttributes(*Range.Ranges(i));
}

std::string TOndGenHighlighter::GetDefaultFilter() const {
  if (!FDefaultFilter.empty()) return FDefaultFilter;
  if (FInfo.General.Name.empty() || FInfo.General.Extensions.empty()) return FDefaultFilter;
  const std::string exts = Trim(FInfo.General.Extensions);
  std::string list;
  for (std::size_t i = 0; i < exts.size(); ++i) {
    const char c = exts[i];
    if (c != ' ' && c != ',') {
      list.push_back(c);
      continue;
    }
    // A separator at the very end adds no empty mask.
    if (i + 1 < exts.size() && exts[i + 1] != ' ') list += ";*.";
  }
  FDefaultFilter = FInfo.General.Name + " Files(*." + list + ")|*." + list + ";";
  return FDefaultFilter;
}

TOndHighlighterAttributes* TOndGenHighlighter::GetDefaultAttribute(int Kind) const {
  if (Kind < OND_ATTR_COMMENT || Kind > OND_ATTR_WHITESPACE) return nullptr;
  return &FCurrent->Attribs();
}

TSysCharSet TOndGenHighlighter::GetIdentChars() const {
  TSysCharSet s;
  for (int c = 33; c < 256; ++c)
    if (!FCurrent->Delimiters.Contains(static_cast<char>(c))) s.Include(static_cast<char>(c));
  return s;
}

std::string TOndGenHighlighter::GetToken() const {
  if (FRun <= FTokenPos) return {};
  return std::string(FLine + FTokenPos, static_cast<std::size_t>(FRun - FTokenPos));
}

void TOndGenHighlighter::SetLine(std::string_view Text, int LineIndex) {
  EnsurePrepared();
  FLine = Text.data();
  FLen = static_cast<int>(Text.size());
  FRun = 0;
  FTokenPos = 0;
  FLineNumber = LineIndex;
  FEol = false;
  FEndReached = false;
  FToken = nullptr;
  NextToken();
}

bool TOndGenHighlighter::ResumeLine(std::string_view Text, int LineIndex, int Pos, TOndRangeState Range) {
  // Between two tokens the whole state is the range (with the close tokens
  // of the ranges around it) and the place in the line.
  SetRange(Range);
  FLine = Text.data();
  FLen = static_cast<int>(Text.size());
  FRun = std::clamp(Pos, 0, FLen);
  FTokenPos = FRun;
  FLineNumber = LineIndex;
  FEol = false;
  FEndReached = FRun >= FLen;
  FToken = nullptr;
  NextToken();
  return true;
}

void TOndGenHighlighter::SetRange(TOndRangeState Value) {
  EnsurePrepared();
  if (Value < 0 || Value >= static_cast<TOndRangeState>(FStates.size())) {
    ResetRange();
    return;
  }
  // The whole chain of enclosing ranges gets back the close tokens it was
  // entered with, so a scan from here goes on as the first one did.
  for (auto i = static_cast<std::int32_t>(Value);; i = FStates[static_cast<std::size_t>(i)].Parent) {
    const TState& st = FStates[static_cast<std::size_t>(i)];
    st.Range->ClosingToken = st.Closing;
    st.Range->StateId = i;
    if (i == 0) break;
  }
  FCurrent = FStates[static_cast<std::size_t>(Value)].Range;
}

void TOndGenHighlighter::ResetRange() {
  EnsurePrepared();
  FCurrent = FMainRules.get();
  FCurrent->ClosingToken = nullptr;
  FCurrent->StateId = 0;
}

TOndRange* TOndGenHighlighter::ParentOf(TOndRange* Range) const noexcept {
  TOndRange* p = Range->Parent();
  return p ? p : FMainRules.get();
}

void TOndGenHighlighter::Enter(TOndRange* Range, TOndToken* Closing) {
  const std::int32_t from = FCurrent->StateId;
  TEntered& slot = FEntered[(static_cast<std::size_t>(from) * 31 + reinterpret_cast<std::uintptr_t>(Range) / 16 +
                             reinterpret_cast<std::uintptr_t>(Closing) / 16) %
                            kEnteredCache];
  if (slot.From != from || slot.Range != Range || slot.Closing != Closing) {
    const auto key = std::make_tuple(from, Range, Closing);
    auto it = FStateIds.find(key);
    if (it == FStateIds.end()) {
      const auto id = static_cast<std::int32_t>(FStates.size());
      FStates.push_back(TState{Range, Closing, from});
      it = FStateIds.emplace(key, id).first;
    }
    slot = TEntered{from, Range, Closing, it->second};
  }
  Range->ClosingToken = Closing;
  Range->StateId = slot.Id;
  FCurrent = Range;
}

// Leaves the current range, and with its AllowPredClose the ranges around it
// as long as Stays says so; never beyond the root, which is its own parent.
void TOndGenHighlighter::LeaveWhile(bool (*Stays)(const TOndRange&, const TOndToken*), const TOndToken* Closed) {
  TOndRange* const root = FMainRules.get();
  if (FCurrent == root) return;
  const bool pred = FCurrent->GetAllowPredClose();
  FCurrent = ParentOf(FCurrent);
  if (!pred) return;
  while (FCurrent != root && Stays(*FCurrent, Closed)) FCurrent = ParentOf(FCurrent);
}

void TOndGenHighlighter::NextToken() {
  FToken = nullptr;
  if (FEndReached) {
    if (FCurrent->GetCloseOnEol() || FCurrent->GetCloseOnTerm())
      LeaveWhile([](const TOndRange& r, const TOndToken*) { return r.GetCloseOnEol() || r.GetCloseOnTerm(); }, nullptr);
    FEol = true;
    return;
  }
  FTokenPos = FRun;
  const char c = FRun < FLen ? FLine[FRun] : '\0';
  if (FCurrent->GetCloseOnTerm() && FCurrent->IsDelimiter(c))
    LeaveWhile([](const TOndRange& r, const TOndToken*) { return r.GetCloseOnTerm(); }, nullptr);
  TOndRange* const r = FCurrent;
  TOndToken* t = nullptr;
  if (!r->ParserFor(c)->GetToken(*r, FLine, FLen, FRun, t)) {
    FToken = r->DefaultToken();
    while (FRun < FLen && !r->IsDelimiter(FLine[FRun]) && !r->IsTermStart(FLine[FRun])) ++FRun;
    if (FRun >= FLen) FEndReached = true;
  } else {
    TookToken(t);
  }
}

void TOndGenHighlighter::TookToken(TOndToken* t) {
  TOndRange* const r = FCurrent;
  FToken = t;
  if (t == r->ClosingToken && r != FMainRules.get()) {
    LeaveWhile(
        [](const TOndRange& range, const TOndToken* closed) {
          return range.ClosingToken && range.ClosingToken->Symbol == closed->Symbol;
        },
        t);
  } else if (t && t->OpenRange) {
    Enter(t->OpenRange, t->ClosingToken);
  }
  if (FRun >= FLen) FEndReached = true;
}

void TOndGenHighlighter::SkipToEol() {
  while (!FEol) {
    // A run of plain delimiters changes no state unless the range ends on
    // one: it is passed over at once instead of a token at a time.
    if (!FEndReached && !FCurrent->GetCloseOnTerm()) {
      const TAbstractParser* delimiters = FCurrent->DelimitersParser();
      int run = FRun;
      while (run < FLen && FCurrent->ParserFor(FLine[run]) == delimiters) ++run;
      if (run > FRun) {
        FTokenPos = run - 1;
        FRun = run;
        if (FRun >= FLen) FEndReached = true;
        continue;
      }
      if (TakePlainStop()) continue;
    }
    NextToken();
  }
}

bool TOndGenHighlighter::StepForRange() {
  // In a range whose state bytes are known, no token that begins at any
  // other byte enters or leaves a range or reaches over a state byte: the
  // pass jumps from one to the next and cuts only the tokens there.
  if (FEndReached || !FCurrent->SkipsToStateChars()) return false;
  const int run = static_cast<int>(FCurrent->StateBytes().Find(FLine, FLine + FRun, FLine + FLen) - FLine);
  if (run > FRun) {
    FTokenPos = run - 1;
    FRun = run;
    if (FRun >= FLen) FEndReached = true;
    return true;
  }
  return TakePlainStop();
}

bool TOndGenHighlighter::TakePlainStop() {
  // A one-byte token that no longer symbol goes on from is taken as the
  // parser would take it, without asking the parser.
  if (const TTokenNode* stop = FCurrent->PlainStop(FLine[FRun])) {
    const bool last = FRun + 1 >= FLen;
    if ((last || !stop->NextNodes.FindNode(FCurrent->FoldChar(FLine[FRun + 1]))) &&
        (stop->BreakKind != bkTerm || last || FCurrent->IsDelimiter(FLine[FRun + 1]))) {
      FTokenPos = FRun++;
      TookToken(stop->Token);
      return true;
    }
  }
  return false;
}

const TOndGenHighlighter::TPlainMove* TOndGenHighlighter::FindPlainMove(std::int32_t From,
                                                                        unsigned char Byte) const noexcept {
  std::uint8_t& hint = FPlainMoveHint[(static_cast<std::size_t>(From) * 8 + Byte) % FPlainMoveHint.size()];
  if (hint < FPlainMoves.size() && FPlainMoves[hint].From == From && FPlainMoves[hint].Byte == Byte)
    return &FPlainMoves[hint];
  for (std::size_t i = 0; i < FPlainMoves.size(); ++i)
    if (FPlainMoves[i].From == From && FPlainMoves[i].Byte == Byte) {
      hint = static_cast<std::uint8_t>(i);
      return &FPlainMoves[i];
    }
  return nullptr;
}

void TOndGenHighlighter::RememberPlainMove(const TOndRange& Range, std::int32_t From, unsigned char Byte,
                                           std::int32_t To) {
  if (FPlainMoves.size() >= kPlainMoves || FindPlainMove(From, Byte)) return;
  const TTokenNode* stop = Range.StateStop(static_cast<char>(Byte));
  if (!stop) return;
  TPlainMove m;
  m.From = From;
  m.Byte = Byte;
  m.To = To;
  const TOndRange* to = FStates[static_cast<std::size_t>(To)].Range;
  m.ToRange = to->SkipsToStateChars() ? to : nullptr;
  // When no longer symbol goes on with the byte after it, the parser takes
  // the root's one-byte token if that byte ends it as the root's break
  // asks (a token that is not free to end anywhere ends before a
  // delimiter); else it takes no token and the byte begins plain text,
  // which runs to a delimiter or a term's start and so never over a state
  // byte.
  for (int c = 0; c < 256; ++c) {
    const char next = static_cast<char>(c);
    m.After[static_cast<std::size_t>(c)] = stop->NextNodes.FindNode(Range.FoldChar(next))       ? kAfterLonger
                                           : stop->BreakKind == bkAny || Range.IsDelimiter(next) ? kAfterTaken
                                                                                                  : kAfterPlain;
  }
  // Stays where it is: the moves point at one another.
  FPlainMoves.reserve(kPlainMoves);
  FPlainMoves.push_back(m);
  for (TPlainMove& each : FPlainMoves) each.Then = FindPlainMove(each.To, each.Byte);
}

bool TOndGenHighlighter::PassByPlainMoves(const TOndFewBytes& Any) {
  if (FLen < 16 || FPlainMoves.empty() || !FCurrent->SkipsToStateChars()) return false;
  std::int32_t state = FCurrent->StateId;
  const TOndRange* range = FCurrent;
  const TPlainMove* move = nullptr;
  for (int chunk = 0; chunk < FLen; chunk += 16) {
    // The last sixteen bytes are read from the line's end back.
    const int base = std::min(chunk, FLen - 16);
    for (unsigned mask = Any.Mask16(FLine + base) & (~0u << (chunk - base)); mask != 0; mask &= mask - 1) {
      const int at = base + __builtin_ctz(mask);
      const auto c = static_cast<unsigned char>(FLine[at]);
      // A state byte of some other range changes nothing here.
      if (!range->StateChars()[c]) continue;
      if (!move || move->From != state || move->Byte != c) {
        move = FindPlainMove(state, c);
        if (!move) return false;
      }
      const std::uint8_t after = at + 1 < FLen ? move->After[static_cast<unsigned char>(FLine[at + 1])] : kAfterTaken;
      if (after == kAfterLonger) return false;
      // Taken or not, without a branch on which: a string's quotes close
      // it or not by what follows them.
      const bool taken = after == kAfterTaken;
      state = taken ? move->To : state;
      range = taken ? move->ToRange : range;
      move = taken ? move->Then : move;
      // A range that does not skip is cut token by token.
      if (!range) return false;
    }
  }
  if (state != FCurrent->StateId) SetRange(state);
  FTokenPos = FLen - 1;
  FRun = FLen;
  FEndReached = true;
  return true;
}

void TOndGenHighlighter::FindToggleMoves(TToggleMoves& Toggle) const noexcept {
  Toggle.There = nullptr;
  Toggle.MovesSeen = FPlainMoves.size();
  for (const TPlainMove& m : FPlainMoves) {
    const TPlainMove* back = m.Then;
    if (!back || back->Then != &m || back->To != m.From || m.To == m.From || !m.ToRange || !back->ToRange) continue;
    Toggle.There = &m;
    for (int c = 0; c < 256; ++c) {
      const auto i = static_cast<std::size_t>(c);
      Toggle.After[0][i] = m.After[i];
      Toggle.After[1][i] = back->After[i];
    }
    return;
  }
}

bool TOndGenHighlighter::PassByToggleMoves(const TOndFewBytes& Any, const TToggleMoves& Toggle) {
  const TPlainMove* there = Toggle.There;
  if (FLen < 16 || !there) return false;
  const std::int32_t state = FCurrent->StateId;
  if (state != there->From && state != there->To) return false;
  const __m128i byte = _mm_set1_epi8(static_cast<char>(there->Byte));
  // Which of the two moves the next one is: each one taken hands over to
  // the other.
  std::size_t turn = state == there->From ? 0 : 1;
  for (int chunk = 0; chunk < FLen; chunk += 16) {
    // The last sixteen bytes are read from the line's end back.
    const int base = std::min(chunk, FLen - 16);
    const unsigned keep = ~0u << (chunk - base);
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(FLine + base));
    const unsigned hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, byte))) & keep;
    if ((Any.Mask16(FLine + base) & keep) != hits) return false;
    // Each one's token is taken or not by the byte after it (the line's
    // end takes it), as in PassByPlainMoves.
    for (unsigned mask = hits; mask != 0; mask &= mask - 1) {
      const int at = base + __builtin_ctz(mask);
      const std::uint8_t after =
          at + 1 < FLen ? Toggle.After[turn][static_cast<unsigned char>(FLine[at + 1])] : kAfterTaken;
      if (after == kAfterLonger) return false;
      turn ^= after == kAfterTaken ? 1 : 0;
    }
  }
  const std::int32_t end = turn == 0 ? there->From : there->To;
  if (end != state) SetRange(end);
  FTokenPos = FLen - 1;
  FRun = FLen;
  FEndReached = true;
  return true;
}

void TOndGenHighlighter::SkipToEolForRange() {
  while (!FEol)
    if (!StepForRange()) NextToken();
}

void TOndGenHighlighter::RangesOfLines(const std::string_view* Lines, int Count, int FirstIndex,
                                       TOndRangeState* Ends) {
  EnsurePrepared();
  // Every byte that may change the state in some range that skips to its
  // state bytes: a line is looked through for all of them at once, sixteen
  // bytes at a time, and each one found counts where the range then
  // current has it among its own.
  std::array<bool, 256> any{};
  std::vector<const TOndRange*> ranges{FMainRules.get()};
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    const TOndRange& r = *ranges[i];
    if (r.SkipsToStateChars())
      for (int c = 0; c < 256; ++c) any[static_cast<std::size_t>(c)] |= r.StateChars()[static_cast<std::size_t>(c)];
    for (int k = 0; k < r.RangeCount(); ++k) ranges.push_back(r.Ranges(k));
  }
  const TOndFewBytes anyBytes(any);
  TToggleMoves toggle;
  FindToggleMoves(toggle);
  for (int i = 0; i < Count; ++i) {
    FLine = Lines[i].data();
    FLen = static_cast<int>(Lines[i].size());
    FRun = 0;
    FTokenPos = 0;
    FLineNumber = FirstIndex + i;
    FEol = false;
    FEndReached = false;
    FToken = nullptr;
    if (FLen == 0) {
      // As SetLine does: the empty line's one cut.
      NextToken();
    } else if (anyBytes.Few() && (PassByToggleMoves(anyBytes, toggle) || PassByPlainMoves(anyBytes))) {
      // Every state byte of the line was a move seen before. The line's
      // end changes the state only of a range it closes.
      if (!FCurrent->GetCloseOnEol() && !FCurrent->GetCloseOnTerm()) FEol = true;
    } else if (anyBytes.Few() && FLen >= 16) {
      // The line's start is a token's start, and so is each state byte of
      // the current range reached from one over bytes that are none. The
      // last sixteen bytes are looked at from the line's end back, the
      // bits before the place reached dropped.
      int chunk = 0;
      for (; chunk < FLen && !FEndReached && FCurrent->SkipsToStateChars(); chunk += 16) {
        const int base = std::min(chunk, FLen - 16);
        unsigned mask = anyBytes.Mask16(FLine + base) & (~0u << (chunk - base));
        for (; mask != 0 && !FEndReached; mask &= mask - 1) {
          const int at = base + __builtin_ctz(mask);
          if (at < FRun) continue;
          // A range that does not skip is cut token by token below.
          if (!FCurrent->SkipsToStateChars()) break;
          if (!FCurrent->StateChars()[static_cast<unsigned char>(FLine[at])]) continue;
          FRun = at;
          const TOndRange& range = *FCurrent;
          const std::int32_t from = range.StateId;
          if (!TakePlainStop()) NextToken();
          // The root's one-byte token taken, by either way: a move to
          // take again without the parser.
          const TTokenNode* stop = range.StateStop(FLine[at]);
          if (stop && FRun == at + 1 && FToken == stop->Token) {
            RememberPlainMove(range, from, static_cast<unsigned char>(FLine[at]), FCurrent->StateId);
            if (FPlainMoves.size() != toggle.MovesSeen) FindToggleMoves(toggle);
          }
        }
      }
      if (chunk >= FLen && !FEndReached && FCurrent->SkipsToStateChars()) {
        // No state byte of the range is left on the line.
        FTokenPos = FLen - 1;
        FRun = FLen;
        FEndReached = true;
      }
    }
    while (!FEol)
      if (!StepForRange()) NextToken();
    Ends[i] = FCurrent->StateId;
  }
}

}  // namespace ond
