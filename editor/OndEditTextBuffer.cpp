#include "editor/OndEditTextBuffer.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <type_traits>

#include "platform/core/FileSystem.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ond {

static_assert(std::is_trivially_copyable_v<TOndLineRecord>, "line records move with block moves");
static_assert(sizeof(TOndLineRecord) <= 24, "keep the per-line overhead small");

namespace {

// Every character has a code below 33 (trimming would leave nothing).
bool IsBlankLine(std::string_view S) noexcept {
  for (char c : S)
    if (static_cast<unsigned char>(c) >= 33) return false;
  return true;
}

std::string_view LineEnd(TOndEditFileFormat Format) noexcept {
  switch (Format) {
    case sffUnix: return "\n";
    case sffMac: return "\r";
    default: return "\r\n";
  }
}

std::int32_t ClampLength(std::size_t N) noexcept {
  return N > static_cast<std::size_t>(INT32_MAX) ? INT32_MAX : static_cast<std::int32_t>(N);
}

// Splits a text at its line breaks (CR LF, LF or CR) into line records that
// point into it, in one walk: the breaks of 64 bytes at a time are found as
// a bit mask and taken one by one, so a line costs a few instructions
// whatever its length. The tabs are found in the same walk, so every record
// knows whether its line holds one and no layout searches the lines again. The records go into an array grown with realloc
// (which moves a large block by remapping it, not copying it).
class TLineSplitter {
 public:
  TLineSplitter(const char* P, const char* End, std::uint32_t Marks) noexcept
      : FText(P), FEnd(End), FMarks(Marks) {}
  TLineSplitter(const TLineSplitter&) = delete;
  TLineSplitter& operator=(const TLineSplitter&) = delete;
  ~TLineSplitter() { std::free(FRecords); }

  void Run() {
    // A guess of one line per 40 bytes, grown when the lines are shorter.
    Reserve(static_cast<std::size_t>(FEnd - FText) / 40 + 16);
    const char* block = FText;
    for (; FEnd - block >= 64; block += 64) TakeBlock(block, 64);
    if (block < FEnd) TakeBlock(block, static_cast<std::size_t>(FEnd - block));
    // The text after the last break is a line of its own unless it is empty
    // (a text ending in a line break has no empty line after it here).
    if (FLineStart < FEnd) Add(FLineStart, FEnd, FLastTab != nullptr && FLastTab >= FLineStart);
  }

  TOndLineRecord* Records() const noexcept { return FRecords; }
  // The array, shrunk to its lines and an eighth more, handed over;
  // Capacity gets its size. The room left takes the first lines a user
  // inserts (a final line break's empty line among them) without growing
  // the array, which in a long text means copying all of it.
  TOndLineRecord* Release(int& Capacity) noexcept {
    const std::size_t lines = static_cast<std::size_t>(Count);
    const std::size_t keep = std::min<std::size_t>(lines + lines / 8 + 1, INT_MAX);
    if (Count > 0 && keep < FCapacity) {
      if (void* p = std::realloc(FRecords, keep * sizeof(TOndLineRecord))) {
        FRecords = static_cast<TOndLineRecord*>(p);
        FCapacity = keep;
      }
    }
    TOndLineRecord* r = FRecords;
    FRecords = nullptr;
    Capacity = static_cast<int>(FCapacity);
    if (r == nullptr) Capacity = 0;
    return r;
  }

  int Count = 0;
  bool SawCR = false;
  bool SawLF = false;

 private:
  // Bit k of Breaks set where Block[k] is CR or LF, of Tabs where it is a
  // tab, for the first N (at most 64) bytes.
  void Masks(const char* Block, std::size_t N, std::uint64_t& Breaks, std::uint64_t& Tabs) noexcept {
    std::uint64_t cr = 0, lf = 0, tab = 0;
#if defined(__SSE2__)
    if (N == 64) {
      const __m128i crs = _mm_set1_epi8('\r');
      const __m128i lfs = _mm_set1_epi8('\n');
      const __m128i tabs = _mm_set1_epi8('\t');
      auto bits = [](__m128i m, int k) {
        return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m))) << (16 * k);
      };
      for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Block + 16 * k));
        cr |= bits(_mm_cmpeq_epi8(v, crs), k);
        lf |= bits(_mm_cmpeq_epi8(v, lfs), k);
        tab |= bits(_mm_cmpeq_epi8(v, tabs), k);
      }
      N = 0;
    }
#endif
    for (std::size_t k = 0; k < N; ++k) {
      if (Block[k] == '\r') cr |= std::uint64_t{1} << k;
      if (Block[k] == '\n') lf |= std::uint64_t{1} << k;
      if (Block[k] == '\t') tab |= std::uint64_t{1} << k;
    }
    SawCR = SawCR || cr != 0;
    SawLF = SawLF || lf != 0;
    Breaks = cr | lf;
    Tabs = tab;
  }

  void TakeBlock(const char* Block, std::size_t N) {
    std::uint64_t breaks, tabs;
    Masks(Block, N, breaks, tabs);
    while (breaks != 0) {
      const int bit = __builtin_ctzll(breaks);
      const char* at = Block + bit;
      breaks &= breaks - 1;
      // The LF of a CR LF pair ends nothing: its line ended at the CR.
      if (at == FAfterCR && *at == '\n') {
        FLineStart = at + 1;
        continue;
      }
      // The last tab before the break, in this block or an earlier one.
      const std::uint64_t before = tabs & ((std::uint64_t{1} << bit) - 1);
      const char* lastTab = before != 0 ? Block + 63 - __builtin_clzll(before) : FLastTab;
      Add(FLineStart, at, lastTab != nullptr && lastTab >= FLineStart);
      FLineStart = at + 1;
      FAfterCR = *at == '\r' ? at + 1 : nullptr;
    }
    if (tabs != 0) FLastTab = Block + 63 - __builtin_clzll(tabs);
  }

  void Add(const char* From, const char* To, bool Tabs) {
    const auto length = static_cast<std::size_t>(To - From);
    if (length > TOndLineRecord::MaxLength) throw EOutOfMemory("Line too long");
    if (static_cast<std::size_t>(Count) == FCapacity) {
      if (Count == INT_MAX) throw EOutOfMemory("Too many lines");
      Reserve(FCapacity + FCapacity / 2 + 16);
    }
    TOndLineRecord& r = FRecords[Count++];
    r.TextData = length != 0 ? From : nullptr;
    r.RangeState = RangeStateUnknown;
    r.Bits = static_cast<std::uint32_t>(length) | (Tabs ? TOndLineRecord::HasTabs : TOndLineRecord::HasNoTabs);
    r.Marks = FMarks;
  }

  void Reserve(std::size_t Capacity) {
    Capacity = std::min<std::size_t>(Capacity, INT_MAX);
    void* p = std::realloc(FRecords, Capacity * sizeof(TOndLineRecord));
    if (p == nullptr) throw std::bad_alloc();
    FRecords = static_cast<TOndLineRecord*>(p);
    FCapacity = Capacity;
    AdviseLargePages(p, Capacity * sizeof(TOndLineRecord));
  }

  const char* FText;
  const char* FEnd;
  const char* FLineStart = FText;
  const char* FAfterCR = nullptr;  // just after the last CR taken
  const char* FLastTab = nullptr;  // the last tab in the blocks taken
  std::uint32_t FMarks;
  TOndLineRecord* FRecords = nullptr;
  std::size_t FCapacity = 0;
};

}  // namespace

// BeginUpdate/EndUpdate around a change; on an exception from a handler the
// bracket is still closed, without letting a second exception escape.
class TOndEditStringList::UpdateScope {
 public:
  explicit UpdateScope(TOndEditStringList& List) : FList(List), FUncaught(std::uncaught_exceptions()) {
    FList.BeginUpdate();
  }
  ~UpdateScope() noexcept(false) {
    if (std::uncaught_exceptions() > FUncaught) {
      try {
        FList.EndUpdate();
      } catch (...) {
      }
    } else {
      FList.EndUpdate();
    }
  }
  UpdateScope(const UpdateScope&) = delete;
  UpdateScope& operator=(const UpdateScope&) = delete;

 private:
  TOndEditStringList& FList;
  int FUncaught;
};

// ------------------------------------------------------------ line records

void TOndEditStringList::InitRecord(TOndLineRecord& R) noexcept {
  R.TextData = nullptr;
  R.RangeState = RangeStateUnknown;
  R.Bits = 0;
  R.Marks = 2;  // changed, no colours
}

void TOndEditStringList::FreeText(TOndLineRecord& R) noexcept {
  if (R.Bits & TOndLineRecord::OwnsText) std::free(const_cast<char*>(R.TextData));
  R.TextData = nullptr;
  R.Bits = 0;
}

// Gives R a heap copy of S; R's old text must have been released.
void TOndEditStringList::SetOwnedText(TOndLineRecord& R, std::string_view S) {
  if (S.size() > TOndLineRecord::MaxLength) throw EOutOfMemory("Line too long");
  R.TextData = nullptr;
  R.Bits = 0;
  if (S.empty()) return;
  char* p = static_cast<char*>(std::malloc(S.size()));
  if (p == nullptr) throw std::bad_alloc();
  std::memcpy(p, S.data(), S.size());
  R.TextData = p;
  R.Bits = static_cast<std::uint32_t>(S.size()) | TOndLineRecord::OwnsText;
  FInReadOrder = false;
}

void TOndEditStringList::FreeOwnedTexts() noexcept {
  // Only read: the records go away with the array, and a loaded file's
  // millions of them need no writing on the way.
  for (int i = 0; i < FCount; ++i)
    if (FList[i].Bits & TOndLineRecord::OwnsText) std::free(const_cast<char*>(FList[i].TextData));
}

void TOndEditStringList::ShiftObjects(int Index, int Delta) {
  if (FObjects.empty()) return;
  std::map<int, void*> moved;
  for (auto it = FObjects.lower_bound(Index); it != FObjects.end();) {
    moved.emplace(it->first + Delta, it->second);
    it = FObjects.erase(it);
  }
  FObjects.merge(moved);
}

void TOndEditStringList::EraseObjects(int Index, int NumLines) {
  if (FObjects.empty()) return;
  FObjects.erase(FObjects.lower_bound(Index), FObjects.lower_bound(Index + NumLines));
  ShiftObjects(Index + NumLines, -NumLines);
}

// ------------------------------------------------------------ the list

TOndEditStringList::TOndEditStringList() { SetTabWidth(8); }

TOndEditStringList::~TOndEditStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
  FreeOwnedTexts();
  std::free(FList);
}

void TOndEditStringList::SetUpdateState(bool Updating) {
  if (Updating) {
    if (OnChanging) OnChanging(this);
  } else {
    if (OnChange) OnChange(this);
  }
}

void TOndEditStringList::IndexError(int Index) {
  throw EOndEditStringList("Invalid stringlist index " + std::to_string(Index));
}

void TOndEditStringList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= FCount) IndexError(Index);
}

void TOndEditStringList::SetCapacity(int NewCapacity) {
  if (NewCapacity < FCount) throw EListError("Stringlist capacity cannot be smaller than count");
  if (NewCapacity == FCapacity) return;
  if (NewCapacity == 0) {
    std::free(FList);
    FList = nullptr;
  } else {
    void* p = std::realloc(FList, static_cast<std::size_t>(NewCapacity) * sizeof(TOndLineRecord));
    if (p == nullptr) throw std::bad_alloc();
    FList = static_cast<TOndLineRecord*>(p);
  }
  FCapacity = NewCapacity;
}

void TOndEditStringList::Grow() {
  if (FCapacity == INT_MAX) throw EOutOfMemory("Too many lines");
  const std::int64_t delta = FCapacity < 65 ? 16 : FCapacity / 4;
  const std::int64_t want = static_cast<std::int64_t>(FCapacity) + delta;
  SetCapacity(want > INT_MAX ? INT_MAX : static_cast<int>(want));
}

// Room for Need lines. The array grows by half again at least, so that
// lines inserted one at a time into a long text do not copy the whole
// array each time.
void TOndEditStringList::Reserve(std::int64_t Need) {
  if (Need <= FCapacity) return;
  const std::int64_t grown = std::max<std::int64_t>(Need, static_cast<std::int64_t>(FCapacity) * 3 / 2);
  SetCapacity(grown > INT_MAX ? INT_MAX : static_cast<int>(grown));
}

std::string TOndEditStringList::Get(int Index) const { return std::string(GetView(Index)); }

void* TOndEditStringList::GetObject(int Index) const {
  if (Index < 0 || Index >= FCount) return nullptr;
  const auto it = FObjects.find(Index);
  return it == FObjects.end() ? nullptr : it->second;
}

void TOndEditStringList::PutObject(int Index, void* Obj) {
  CheckIndex(Index);
  UpdateScope scope(*this);
  if (Obj)
    FObjects[Index] = Obj;
  else
    FObjects.erase(Index);
}

TOndRangeState TOndEditStringList::GetRange(int Index) const noexcept {
  if (Index < 0 || Index >= FCount) return 0;
  return FList[Index].RangeState;
}

void TOndEditStringList::PutRange(int Index, TOndRangeState Range) {
  CheckIndex(Index);
  UpdateScope scope(*this);
  FList[Index].RangeState = Range;
}

void TOndEditStringList::PutRanges(int Index, const TOndRangeState* Ranges, int Count) {
  if (Count <= 0) return;
  CheckIndex(Index);
  CheckIndex(Index + Count - 1);
  UpdateScope scope(*this);
  for (int i = 0; i < Count; ++i) FList[Index + i].RangeState = Ranges[i];
}

bool TOndEditStringList::LineHoldingEither(int Index, int Last, char A, char B, std::size_t MaxBytes,
                                           int& Line) const noexcept {
  std::string_view text;
  const int far = GetJoinedLines(Index, Last, MaxBytes, text);
  const int step = Last >= Index ? 1 : -1;
  // The stretch holds the lines' texts, their line breaks and perhaps the
  // text of lines deleted since: a byte found there counts only inside a
  // line of the run, the one nearest the run's start in its direction.
  const char* lo = text.data();
  const char* hi = text.data() + text.size();
  int line = Index;
  while (lo < hi) {
    const char* hit;
    if (step > 0) {
      const auto* a = static_cast<const char*>(std::memchr(lo, A, static_cast<std::size_t>(hi - lo)));
      const auto* b = static_cast<const char*>(std::memchr(lo, B, static_cast<std::size_t>((a ? a : hi) - lo)));
      hit = b ? b : a;
    } else {
      const auto* a = static_cast<const char*>(memrchr(lo, A, static_cast<std::size_t>(hi - lo)));
      const char* from = a ? a + 1 : lo;
      const auto* b = static_cast<const char*>(memrchr(from, B, static_cast<std::size_t>(hi - from)));
      hit = b ? b : a;
    }
    if (!hit) break;
    for (; line != far + step; line += step) {
      const TOndLineRecord& r = FList[line];
      if (r.Length() == 0) continue;
      if (hit >= r.TextData && hit < r.TextData + r.Length()) {
        Line = line;
        return true;
      }
      // Lines stand in the stretch in the run's order: this one lies wholly
      // before the byte (or, going back, after it).
      if (step > 0 ? r.TextData > hit : r.TextData + r.Length() <= hit) break;
    }
    if (step > 0)
      lo = hit + 1;
    else
      hi = hit;
  }
  Line = far + step;
  return false;
}

std::optional<TOndLineExtra> TOndEditStringList::GetLineExtra(int Index) const {
  if (Index < 0 || Index >= FCount) return std::nullopt;
  const TOndLineRecord& r = FList[Index];
  TOndLineExtra x;
  x.ModifiedState = r.ModifiedState();
  x.ColorUse = static_cast<std::uint8_t>((r.Marks & TOndLineRecord::ColorUseMask) >> TOndLineRecord::ColorUseShift);
  if (const std::uint32_t slot = r.ColorSlot()) {
    x.Foreground = FColors[slot - 1].first;
    x.Background = FColors[slot - 1].second;
  }
  return x;
}

void TOndEditStringList::SetLineExtra(int Index, const TOndLineExtra& Extra) {
  if (Index < 0 || Index >= FCount) return;
  TOndLineRecord& r = FList[Index];
  std::uint32_t slot = r.ColorSlot();
  if (Extra.Foreground == clNone && Extra.Background == clNone) {
    ReleaseColors(r);
    slot = 0;
  } else if (slot == 0) {
    if (FFreeColors.empty()) {
      if (FColors.size() >= (std::uint32_t{1} << (32 - TOndLineRecord::ColorSlotShift)) - 1)
        throw EOutOfMemory("Too many coloured lines");
      FColors.emplace_back();
      slot = static_cast<std::uint32_t>(FColors.size());
    } else {
      slot = FFreeColors.back();
      FFreeColors.pop_back();
    }
  }
  if (slot != 0) FColors[slot - 1] = {Extra.Foreground, Extra.Background};
  r.Marks = (slot << TOndLineRecord::ColorSlotShift) |
            ((static_cast<std::uint32_t>(Extra.ColorUse) << TOndLineRecord::ColorUseShift) &
             TOndLineRecord::ColorUseMask) |
            (Extra.ModifiedState & TOndLineRecord::ModifiedMask);
}

void TOndEditStringList::ReleaseColors(TOndLineRecord& R) noexcept {
  const std::uint32_t slot = R.ColorSlot();
  if (slot == 0) return;
  R.Marks &= ~(~std::uint32_t{0} << TOndLineRecord::ColorSlotShift);
  // The table shrinks from its end; a place in the middle waits for reuse.
  if (slot == FColors.size()) {
    FColors.pop_back();
    return;
  }
  try {
    FFreeColors.push_back(slot);
  } catch (...) {
    // Out of memory for the list of free places: the place stays unused.
  }
}

void TOndEditStringList::ReleaseLines(int Index, int NumLines) noexcept {
  for (int i = Index; i < Index + NumLines; ++i) {
    FreeText(FList[i]);
    ReleaseColors(FList[i]);
  }
}

void TOndEditStringList::MarkChangedLinesSaved() noexcept {
  // State 2 becomes 1 (2 ^ 3); a tight walk, run on every save and load.
  for (int i = 0; i < FCount; ++i) {
    std::uint32_t& m = FList[i].Marks;
    m ^= (m & TOndLineRecord::ModifiedMask) == 2 ? 3u : 0u;
  }
}

int TOndEditStringList::Add(const std::string& S) {
  const int index = FCount;
  InsertItem(index, S);
  return index;
}

void TOndEditStringList::Insert(int Index, const std::string& S) {
  if (Index < 0 || Index > FCount) IndexError(Index);
  InsertItem(Index, S);
}

void TOndEditStringList::InsertItem(int Index, std::string_view S) {
  UpdateScope scope(*this);
  if (OnBeforeLinesInserted) {
    OnBeforeLinesInserted(this, Index, 1);
    // A handler that changed the list must not make the move run wild.
    if (Index > FCount) IndexError(Index);
  }
  TOndLineRecord r;
  InitRecord(r);
  SetOwnedText(r, S);
  if (FCount == FCapacity) {
    try {
      Grow();
    } catch (...) {
      FreeText(r);
      throw;
    }
  }
  if (Index < FCount) {
    std::memmove(&FList[Index + 1], &FList[Index], static_cast<std::size_t>(FCount - Index) * sizeof(TOndLineRecord));
    ShiftObjects(Index, 1);
  }
  FList[Index] = r;
  ++FCount;
  FLongestLineIndex = -1;
  CountLines(Index, 1, 1);
  if (OnLinesInserted) OnLinesInserted(this, Index, 1);
}

void TOndEditStringList::InsertEmptyLines(int Index, int NumLines) {
  if (Index < 0 || Index > FCount) IndexError(Index);
  if (NumLines < 1) return;
  if (NumLines > INT_MAX - FCount) throw EOutOfMemory("Too many lines");
  UpdateScope scope(*this);
  if (OnBeforeLinesInserted) {
    OnBeforeLinesInserted(this, Index, NumLines);
    if (Index > FCount || NumLines > INT_MAX - FCount) IndexError(Index);
  }
  Reserve(static_cast<std::int64_t>(FCount) + NumLines);
  if (Index < FCount)
    std::memmove(&FList[Index + NumLines], &FList[Index],
                 static_cast<std::size_t>(FCount - Index) * sizeof(TOndLineRecord));
  ShiftObjects(Index, NumLines);
  for (int i = 0; i < NumLines; ++i) InitRecord(FList[Index + i]);
  FCount += NumLines;
  // The remembered longest line may have moved; find it again when asked.
  FLongestLineIndex = -1;
  CountLines(Index, NumLines, 1);
  if (OnLinesInserted) OnLinesInserted(this, Index, NumLines);
}

void TOndEditStringList::InsertLines(int Index, const std::vector<std::string>& Lines) {
  if (Index < 0 || Index > FCount) IndexError(Index);
  if (Lines.empty()) return;
  if (Lines.size() > static_cast<std::size_t>(INT_MAX - FCount)) throw EOutOfMemory("Too many lines");
  const int n = static_cast<int>(Lines.size());
  UpdateScope scope(*this);
  if (OnBeforeLinesInserted) {
    OnBeforeLinesInserted(this, Index, n);
    if (Index > FCount || n > INT_MAX - FCount) IndexError(Index);
  }
  // The copies are made first, so a failure leaves the list as it was.
  std::vector<TOndLineRecord> fresh(Lines.size());
  try {
    for (std::size_t i = 0; i < Lines.size(); ++i) {
      InitRecord(fresh[i]);
      SetOwnedText(fresh[i], Lines[i]);
    }
    Reserve(static_cast<std::int64_t>(FCount) + n);
  } catch (...) {
    for (TOndLineRecord& r : fresh) FreeText(r);
    throw;
  }
  if (Index < FCount)
    std::memmove(&FList[Index + n], &FList[Index], static_cast<std::size_t>(FCount - Index) * sizeof(TOndLineRecord));
  ShiftObjects(Index, n);
  std::memcpy(&FList[Index], fresh.data(), static_cast<std::size_t>(n) * sizeof(TOndLineRecord));
  FCount += n;
  FLongestLineIndex = -1;
  CountLines(Index, n, 1);
  if (OnLinesInserted) OnLinesInserted(this, Index, n);
}

void TOndEditStringList::AddStrings(const TStrings& Source) {
  const int n = Source.GetCount();
  if (n <= 0) return;
  if (n > INT_MAX - FCount) throw EOutOfMemory("Too many lines");
  UpdateScope scope(*this);
  FLongestLineIndex = -1;
  const std::int64_t need = static_cast<std::int64_t>(FCount) + n;
  if (FCapacity < need) {
    const std::int64_t rounded = (need + 15) / 16 * 16;
    SetCapacity(rounded > INT_MAX ? INT_MAX : static_cast<int>(rounded));
  }
  const int first = FCount;
  const auto* src = dynamic_cast<const TOndEditStringList*>(&Source);
  for (int i = 0; i < n; ++i) {
    TOndLineRecord r;
    InitRecord(r);
    if (src != nullptr) {
      const TOndLineRecord& s = src->FList[i];
      SetOwnedText(r, s.Text());
    } else {
      SetOwnedText(r, Source.Get(i));
    }
    if (void* obj = Source.GetObject(i)) FObjects[FCount] = obj;
    FList[FCount++] = r;
    if (src != nullptr) SetLineExtra(FCount - 1, *src->GetLineExtra(i));
  }
  CountLines(first, n, 1);
  if (OnLinesInserted) OnLinesInserted(this, first, n);
}

void TOndEditStringList::Assign(const TStrings& Source) {
  if (&Source == this) return;
  UpdateScope scope(*this);
  Clear();
  AddStrings(Source);
}

void TOndEditStringList::Put(int Index, const std::string& S) {
  if (Index == FCount) {
    Add(S);
    return;
  }
  CheckIndex(Index);
  if (OnBeforeLineReplaced) {
    OnBeforeLineReplaced(this, Index, 1);
    CheckIndex(Index);
  }
  UpdateScope scope(*this);
  TOndLineRecord fresh;
  InitRecord(fresh);
  SetOwnedText(fresh, S);
  CountLines(Index, 1, -1);
  TOndLineRecord& r = FList[Index];
  FreeText(r);
  r.TextData = fresh.TextData;
  r.Bits = fresh.Bits;
  r.SetModifiedState(2);
  FLongestLineIndex = -1;
  CountLines(Index, 1, 1);
  if (OnLineReplaced) OnLineReplaced(this, Index, 1);
}

void TOndEditStringList::ReleaseBlocksIfEmpty() noexcept {
  if (FCount != 0) return;
  FInReadOrder = true;
  FBlocks.clear();
  FAdoptedBlocks.clear();
  FBlockTexts.clear();
}

void TOndEditStringList::Delete(int Index) {
  CheckIndex(Index);
  UpdateScope scope(*this);
  if (OnBeforeLinesDeleted) {
    OnBeforeLinesDeleted(this, Index, 1);
    CheckIndex(Index);
  }
  CountLines(Index, 1, -1);
  ReleaseLines(Index, 1);
  --FCount;
  if (Index < FCount)
    std::memmove(&FList[Index], &FList[Index + 1], static_cast<std::size_t>(FCount - Index) * sizeof(TOndLineRecord));
  EraseObjects(Index, 1);
  FLongestLineIndex = -1;
  ReleaseBlocksIfEmpty();
  if (OnLinesDeleted) OnLinesDeleted(this, Index, 1);
}

void TOndEditStringList::DeleteLineRange(int Index, int NumLines) {
  if (Index < 0 || Index > FCount) IndexError(Index);
  if (NumLines < 1) return;
  int m = NumLines < FCount - Index ? NumLines : FCount - Index;
  if (m < 1) return;  // nothing lies at or after Index
  if (OnBeforeLinesDeleted) {
    OnBeforeLinesDeleted(this, Index, m);
    if (Index > FCount) IndexError(Index);
    if (m > FCount - Index) m = FCount - Index;
  }
  CountLines(Index, m, -1);
  ReleaseLines(Index, m);
  {
    UpdateScope scope(*this);
    const int tail = FCount - Index - m;
    if (tail > 0)
      std::memmove(&FList[Index], &FList[Index + m], static_cast<std::size_t>(tail) * sizeof(TOndLineRecord));
    EraseObjects(Index, m);
    FCount -= m;
    FLongestLineIndex = -1;
    ReleaseBlocksIfEmpty();
  }
  if (OnLinesDeleted) OnLinesDeleted(this, Index, m);
}

void TOndEditStringList::Clear() {
  if (FCount > 0) {
    UpdateScope scope(*this);
    FreeOwnedTexts();
    FCount = 0;
    FObjects.clear();
    FColors.clear();
    FFreeColors.clear();
    SetCapacity(0);
    ReleaseBlocksIfEmpty();
    FLongestLineIndex = -1;
    ForgetLengths();
    if (OnLinesCleared) OnLinesCleared(this);
  }
  ReleaseBlocksIfEmpty();
  FLongestLineIndex = -1;
  ForgetLengths();
}

void TOndEditStringList::Exchange(int Index1, int Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  UpdateScope scope(*this);
  FInReadOrder = false;
  const TOndLineRecord t = FList[Index1];
  FList[Index1] = FList[Index2];
  FList[Index2] = t;
  void* a = GetObject(Index1);
  void* b = GetObject(Index2);
  FObjects.erase(Index1);
  FObjects.erase(Index2);
  if (b) FObjects[Index1] = b;
  if (a) FObjects[Index2] = a;
  if (FLongestLineIndex == Index1)
    FLongestLineIndex = Index2;
  else if (FLongestLineIndex == Index2)
    FLongestLineIndex = Index1;
}

std::string TOndEditStringList::GetText() const {
  if (FCount == 0) return {};
  std::size_t total = static_cast<std::size_t>(FCount - 1) * 2;
  for (int i = 0; i < FCount; ++i) total += FList[i].Length();
  std::string r;
  r.resize(total);
  char* d = r.data();
  for (int i = 0; i < FCount; ++i) {
    if (i > 0) {
      *d++ = '\r';
      *d++ = '\n';
    }
    if (FList[i].Length()) std::memcpy(d, FList[i].TextData, FList[i].Length());
    d += FList[i].Length();
  }
  return r;
}

void TOndEditStringList::SplitText(const char* P, const char* End, bool Loading, bool& SawCR, bool& SawLF) {
  if (P >= End) return;
  // The records are made in an array of their own in one walk over the
  // text, and announced as one insertion afterwards: a loaded file costs its
  // listeners one notification, not one per line, and the text is read
  // once, not counted first.
  TLineSplitter split(P, End, Loading ? 0 : 2);
  split.Run();
  SawCR = SawCR || split.SawCR;
  SawLF = SawLF || split.SawLF;
  const int lines = split.Count;
  if (lines > INT_MAX - FCount) throw EOutOfMemory("Too many lines");
  const int first = FCount;
  if (OnBeforeLinesInserted) OnBeforeLinesInserted(this, first, lines);
  if (lines > INT_MAX - FCount) throw EOutOfMemory("Too many lines");
  // Counted afresh when next asked for: the text was just cleared anyway.
  ForgetLengths();
  if (FCount == 0) {
    // The usual case, a load into an empty list: the array becomes the list's.
    std::free(FList);
    FList = split.Release(FCapacity);
  } else {
    Reserve(static_cast<std::int64_t>(FCount) + lines);
    std::memcpy(&FList[FCount], split.Records(), static_cast<std::size_t>(lines) * sizeof(TOndLineRecord));
  }
  FCount += lines;
  FLongestLineIndex = -1;
  if (OnLinesInserted) OnLinesInserted(this, FCount - lines, lines);
}

void TOndEditStringList::SetText(std::string_view Value) {
  Clear();
  UpdateScope scope(*this);
  if (Value.empty()) return;
  std::unique_ptr<char[]> block(new char[Value.size()]);
  std::memcpy(block.get(), Value.data(), Value.size());
  const char* p = block.get();
  FBlocks.push_back(std::move(block));
  FBlockTexts.emplace_back(p, Value.size());
  bool sawCR = false, sawLF = false;
  SplitText(p, p + Value.size(), false, sawCR, sawLF);
  const char last = Value.back();
  if (!LineBreakAfterLast && (last == '\n' || last == '\r')) Add(std::string());
}

void TOndEditStringList::LoadFromFile(const std::string& FileName) {
  TFileStream stream(FileName, fmOpenRead);
  LoadFromStream(stream);
}

void TOndEditStringList::LoadFromStream(TStream& Stream) {
  const std::int64_t size = Stream.GetSize();
  Stream.SetPosition(0);
  std::unique_ptr<char[]> block;
  if (size > 0) {
    block.reset(new char[static_cast<std::size_t>(size)]);
    AdviseLargePages(block.get(), static_cast<std::size_t>(size));
    Stream.ReadBuffer(block.get(), size);
  }
  LoadBlock([&]() -> std::string_view {
    if (size <= 0) return {};
    const char* p = block.get();
    FBlocks.push_back(std::move(block));
    return std::string_view(p, static_cast<std::size_t>(size));
  });
}

void TOndEditStringList::LoadFromString(std::string&& Text) {
  LoadBlock([&]() -> std::string_view {
    if (Text.empty()) return {};
    // Held through a pointer: the string object never moves, so neither do
    // its characters, whatever its length.
    auto owned = std::make_unique<std::string>(std::move(Text));
    const std::string_view view(*owned);
    FAdoptedBlocks.push_back(std::move(owned));
    return view;
  });
}

void TOndEditStringList::LoadBlock(const std::function<std::string_view()>& TakeBlock) {
  bool sawCR = false, sawLF = false;
  {
    UpdateScope scope(*this);
    Clear();
    // Taken after the old lines are gone, which may still point into the
    // blocks the list held.
    const std::string_view text = TakeBlock();
    if (!text.empty()) {
      FBlockTexts.push_back(text);
      SplitText(text.data(), text.data() + text.size(), true, sawCR, sawLF);
      const char last = text.back();
      if (!LineBreakAfterLast && (last == '\n' || last == '\r')) Add(std::string());
      if (TrimTrailingBlankLines)
        while (FCount > 0 && IsBlankLine(FList[FCount - 1].Text())) Delete(FCount - 1);
    }
  }
  if (sawCR && !sawLF)
    FileFormat = sffMac;
  else if (sawLF && !sawCR)
    FileFormat = sffUnix;
  else
    FileFormat = sffDos;
}

void TOndEditStringList::SaveToStream(TStream& Stream) const {
  if (FCount == 0) return;
  const std::string_view eol = LineEnd(FileFormat);
  std::size_t total = 0;
  for (int i = 0; i < FCount; ++i) total += FList[i].Length() + eol.size();
  if (!LineBreakAfterLast) total -= eol.size();
  std::unique_ptr<char[]> buf(new char[total]);
  char* d = buf.get();
  for (int i = 0; i < FCount; ++i) {
    if (FList[i].Length()) std::memcpy(d, FList[i].TextData, FList[i].Length());
    d += FList[i].Length();
    if (i < FCount - 1 || LineBreakAfterLast) {
      std::memcpy(d, eol.data(), eol.size());
      d += eol.size();
    }
  }
  Stream.WriteBuffer(buf.get(), static_cast<std::int64_t>(total));
}

void TOndEditStringList::SaveToFile(const std::string& FileName) const {
  TOndEditFileWriter writer(FileName);
  writer.SetFileFormat(FileFormat);
  for (int i = 0; i < FCount; ++i) {
    if (i == FCount - 1 && !LineBreakAfterLast)
      writer.Write(FList[i].Text());
    else
      writer.WriteLine(FList[i].Text());
  }
  writer.Flush();
}

void TOndEditStringList::SetTabWidth(int Value) {
  if (Value == FTabWidth) return;
  FTabWidth = Value;
  FConvertTabsProc = GetExpandTabsProc(Value);
  // Whether a line holds tabs does not depend on their width; the lengths do.
  FLongestLineIndex = -1;
  ForgetLengths();
}

void TOndEditStringList::LookForTabs(TOndLineRecord& R) noexcept {
  const bool tabs = R.Length() != 0 && std::memchr(R.TextData, '\t', R.Length()) != nullptr;
  R.Bits |= tabs ? TOndLineRecord::HasTabs : TOndLineRecord::HasNoTabs;
}

std::int32_t TOndEditStringList::ExpandedLength(TOndLineRecord& R) noexcept {
  // Lines without tabs, nearly all, are as long as their text; the others
  // are counted afresh, which costs no more than the line itself.
  if (!LineHasTabs(R)) return ClampLength(R.Length());
  return GetExpandedLength(R.Text(), FTabWidth < 2 ? 1 : FTabWidth);
}

std::string TOndEditStringList::GetExpandedText(int Index) {
  if (Index < 0 || Index >= FCount) return {};
  TOndLineRecord& r = FList[Index];
  if (!LineHasTabs(r)) return std::string(r.Text());
  bool hasTabs = false;
  return FConvertTabsProc(r.Text(), FTabWidth, hasTabs);
}

int TOndEditStringList::GetExpandedTextLength(int Index) {
  if (Index < 0 || Index >= FCount) return 0;
  return ExpandedLength(FList[Index]);
}

namespace {
// Lengths below this are counted in a table, longer ones in a map.
constexpr std::int32_t kShortLength = 256;
}  // namespace

void TOndEditStringList::ForgetLengths() noexcept {
  FLengthsKnown = false;
  FLongestLength = 0;
  FShortLengths.clear();
  FShortLengths.shrink_to_fit();
  FLongLengths.clear();
}

void TOndEditStringList::CountLength(std::int32_t Length, int Delta) {
  std::int32_t left;
  if (Length < kShortLength) {
    left = FShortLengths[static_cast<std::size_t>(Length)] += Delta;
  } else {
    auto it = FLongLengths.try_emplace(Length, 0).first;
    left = it->second += Delta;
    if (left == 0) FLongLengths.erase(it);
  }
  if (Delta > 0) {
    FLongestLength = std::max(FLongestLength, Length);
  } else if (left == 0 && Length == FLongestLength) {
    // The last line of the longest length is gone: the next shorter length
    // still in use is the answer, found in the counts rather than the lines.
    if (!FLongLengths.empty()) {
      FLongestLength = FLongLengths.rbegin()->first;
    } else {
      std::int32_t l = std::min(Length, kShortLength - 1);
      while (l > 0 && FShortLengths[static_cast<std::size_t>(l)] == 0) --l;
      FLongestLength = l;
    }
  }
}

void TOndEditStringList::CountLines(int Index, int NumLines, int Delta) noexcept {
  if (!FLengthsKnown) return;
  try {
    for (int i = Index; i < Index + NumLines; ++i) CountLength(ExpandedLength(FList[i]), Delta);
  } catch (...) {
    // Out of memory for the counts: they are rebuilt when next asked for.
    ForgetLengths();
  }
}

int TOndEditStringList::GetLongestLineLength() {
  if (!FLengthsKnown) {
    FShortLengths.assign(static_cast<std::size_t>(kShortLength), 0);
    FLongLengths.clear();
    FLongestLength = 0;
    FLengthsKnown = true;
    CountLines(0, FCount, 1);
  }
  return FLongestLength;
}

int TOndEditStringList::GetLongestLineIndex() {
  if (FLongestLineIndex < 0) {
    const std::int32_t longest = GetLongestLineLength();
    for (int i = 0; longest > 0 && i < FCount; ++i) {
      if (ExpandedLength(FList[i]) == longest) {
        FLongestLineIndex = i;
        break;
      }
    }
  }
  return FLongestLineIndex;
}

int TOndEditStringList::GetJoinedLines(int Index, int Last, std::size_t MaxBytes,
                                       std::string_view& Text) const noexcept {
  Text = {};
  if (Index < 0 || Index >= FCount) return Index;
  Last = std::clamp(Last, 0, FCount - 1);
  const int step = Last >= Index ? 1 : -1;
  if (FInReadOrder) {
    // Every text stands in the one block in the lines' order: the stretch
    // of a run is known from its outermost texts, without a look at the
    // lines between (a deleted line's text may stand between two lines).
    // First as many lines as MaxBytes holds of lines of some 32 bytes, then
    // half as many while their stretch is longer: a few looks at the lines.
    const auto guess = static_cast<int>(std::clamp<std::size_t>(MaxBytes / 32, 1, kJoinedLinesAtOnce));
    int n = std::min(std::abs(Last - Index) + 1, guess);
    for (;;) {
      const int far = Index + step * (n - 1);
      int low = std::min(Index, far), high = std::max(Index, far);
      while (low <= high && FList[low].Length() == 0) ++low;
      while (high >= low && FList[high].Length() == 0) --high;
      if (low > high) return far;
      const char* lo = FList[low].TextData;
      const char* hi = FList[high].TextData + FList[high].Length();
      if (static_cast<std::size_t>(hi - lo) <= MaxBytes || n == 1) {
        Text = std::string_view(lo, static_cast<std::size_t>(hi - lo));
        return far;
      }
      n /= 2;
    }
  }
  // Otherwise each line is looked at: whether its text stands in the same
  // block right after (or before) the text met last.
  // Addresses as numbers: texts of different blocks may be compared.
  using Address = std::uintptr_t;
  Address lo = 0, hi = 0;  // the stretch so far; both 0 until a text is met
  Address blockLo = 0, blockHi = 0;
  std::size_t breaks = 0;  // line breaks between the stretch's edge and line i
  int reached = Index;
  for (int i = Index;; i += step) {
    const TOndLineRecord& r = FList[i];
    if (r.Length() != 0) {
      const auto s = reinterpret_cast<Address>(r.TextData), e = s + r.Length();
      const bool own = (r.Bits & TOndLineRecord::OwnsText) != 0;
      if (hi == 0) {
        for (const std::string_view b : FBlockTexts) {
          const auto bs = reinterpret_cast<Address>(b.data());
          if (!own && s >= bs && e <= bs + b.size()) {
            blockLo = bs;
            blockHi = bs + b.size();
          }
        }
        if (blockHi == 0) {
          // A text of its own stands alone.
          if (i == Index) {
            Text = r.Text();
            return Index;
          }
          break;
        }
        lo = s;
        hi = e;
      } else {
        if (own || s < blockLo || e > blockHi) break;
        if (step > 0 ? s < hi : e > lo) break;
        const Address gap = step > 0 ? s - hi : lo - e;
        if (gap < breaks || gap > 2 * breaks) break;
        if ((step > 0 ? e - lo : hi - s) > MaxBytes) break;
        (step > 0 ? hi : lo) = step > 0 ? e : s;
      }
      breaks = 0;
    }
    reached = i;
    if (i == Last) break;
    ++breaks;
  }
  if (hi != 0) Text = std::string_view(reinterpret_cast<const char*>(lo), hi - lo);
  return reached;
}

// ------------------------------------------------------------ file writer

TOndEditFileWriter::TOndEditFileWriter(const std::string& FileName) {
  FStream = std::make_unique<TFileStream>(FileName, fmCreate);
  FBuffer.reset(new char[FBufferSize]);
}

TOndEditFileWriter::~TOndEditFileWriter() {
  try {
    Flush();
  } catch (...) {
  }
}

void TOndEditFileWriter::Append(std::string_view S, bool WithLineEnd) {
  const std::string_view eol = WithLineEnd ? LineEnd(FFileFormat) : std::string_view();
  const std::size_t need = S.size() + eol.size();
  if (FBufPtr + need > FBufferSize) {
    // One flush makes room, and a write larger than the buffer gets a buffer
    // of its size rather than being written in a loop.
    Flush();
    if (need > FBufferSize) {
      FBuffer.reset(new char[need]);
      FBufferSize = need;
    }
  }
  if (!S.empty()) std::memcpy(FBuffer.get() + FBufPtr, S.data(), S.size());
  if (!eol.empty()) std::memcpy(FBuffer.get() + FBufPtr + S.size(), eol.data(), eol.size());
  FBufPtr += need;
}

void TOndEditFileWriter::Write(std::string_view S) { Append(S, false); }

void TOndEditFileWriter::WriteLine(std::string_view S) { Append(S, true); }

void TOndEditFileWriter::Flush() {
  if (FBufPtr == 0) return;
  FStream->WriteBuffer(FBuffer.get(), static_cast<std::int64_t>(FBufPtr));
  FBufPtr = 0;
}

// ------------------------------------------------------------ undo lists

void TOndEditUndoItem::Assign(const TOndEditUndoItem& Source) {
  if (&Source == this) return;
  Reason = Source.Reason;
  SelectionMode = Source.SelectionMode;
  StartPos = Source.StartPos;
  EndPos = Source.EndPos;
  Text = Source.Text;
  GroupNumber = Source.GroupNumber;
}

void TOndEditUndoList::AdvanceGroupNumber() noexcept {
  // Unsigned steps: the number runs through the negative range and skips 0.
  FNextGroupNumber = static_cast<std::int32_t>(static_cast<std::uint32_t>(FNextGroupNumber) + 1u);
  if (FNextGroupNumber == 0) FNextGroupNumber = 1;
}

void TOndEditUndoList::AddChange(TOndUndoReason Reason, const TBufferCoord& StartPos, const TBufferCoord& EndPos,
                                 std::string_view Text, TOndSelectionMode SelectionMode,
                                 std::unique_ptr<TOndEditUndoObject> Extra1, std::int32_t Extra2) {
  if (FLockDepth > 0) return;
  auto item = std::make_unique<TOndEditUndoItem>();
  item->Reason = Reason;
  item->SelectionMode = SelectionMode;
  item->StartPos = StartPos;
  item->EndPos = EndPos;
  item->Text = std::string(Text);
  item->Extra1 = std::move(Extra1);
  item->Extra2 = Extra2;
  if (FBlockNumber == 0) {
    item->GroupNumber = FNextGroupNumber;
    if (FBlockDepth == 0) AdvanceGroupNumber();
  } else {
    item->GroupNumber = FBlockNumber;
  }
  PushItem(std::move(item));
}

void TOndEditUndoList::BeginBlock() {
  ++FBlockDepth;
  FBlockNumber = FNextGroupNumber;
}

void TOndEditUndoList::EndBlock() {
  if (FBlockDepth <= 0) return;
  --FBlockDepth;
  if (FBlockDepth != 0) return;
  const std::int32_t block = FBlockNumber;
  FBlockNumber = 0;
  AdvanceGroupNumber();
  if (!FItems.empty() && FItems.back()->GroupNumber == block && OnRecordAdded) OnRecordAdded(this);
}

void TOndEditUndoList::AddGroupBreak() {
  if (LastChangeReason() == urGroupBreak) return;
  AddChange(urGroupBreak, TBufferCoord{}, TBufferCoord{}, std::string_view(), smNormal);
}

void TOndEditUndoList::PushItem(std::unique_ptr<TOndEditUndoItem> Item) {
  if (!Item) return;
  const TOndUndoReason reason = Item->Reason;
  FItems.push_back(std::move(Item));
  EnforceMaxEntries();
  if (reason != urGroupBreak && OnRecordAdded) OnRecordAdded(this);
}

void TOndEditUndoList::EnforceMaxEntries() {
  const std::size_t cap = FMaxUndo < 0 ? 0 : static_cast<std::size_t>(FMaxUndo);
  if (FItems.size() <= cap) return;
  FRecordsDropped = true;
  while (FItems.size() > cap) FItems.pop_front();
  // The empty list no longer stands for the saved text: undoing everything
  // that is left cannot bring that state back.
  if (FSavedGroupNumber == 0) FSavedGroupNumber = -1;
}

std::unique_ptr<TOndEditUndoItem> TOndEditUndoList::PopItem() {
  if (FItems.empty()) return nullptr;
  std::unique_ptr<TOndEditUndoItem> item = std::move(FItems.back());
  FItems.pop_back();
  return item;
}

TOndEditUndoItem* TOndEditUndoList::PeekItem() const noexcept {
  return FItems.empty() ? nullptr : FItems.back().get();
}

TOndUndoReason TOndEditUndoList::LastChangeReason() const noexcept {
  return FItems.empty() ? static_cast<TOndUndoReason>(urNothing) : FItems.back()->Reason;
}

TOndEditUndoItem* TOndEditUndoList::Items(int Index) const {
  if (Index < 0 || Index >= ItemCount())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FItems[static_cast<std::size_t>(Index)].get();
}

void TOndEditUndoList::SetMaxUndo(std::int32_t Value) {
  if (Value < 0) Value = 0;
  if (Value == FMaxUndo) return;
  FMaxUndo = Value;
  EnforceMaxEntries();
}

void TOndEditUndoList::Clear() {
  FItems.clear();
  FRecordsDropped = false;
}

void TOndEditUndoList::Assign(const TOndEditUndoList& Source) {
  if (&Source == this) return;
  Clear();
  for (const auto& s : Source.FItems) {
    auto item = std::make_unique<TOndEditUndoItem>();
    item->Assign(*s);
    FItems.push_back(std::move(item));
  }
  FBlockNumber = Source.FBlockNumber;
  FBlockDepth = Source.FBlockDepth;
  FRecordsDropped = Source.FRecordsDropped;
  FLockDepth = Source.FLockDepth;
  FMaxUndo = Source.FMaxUndo;
  FNextGroupNumber = Source.FNextGroupNumber;
}

void TOndEditUndoList::MarkTopAsSaved(bool Value) {
  if (Value) {
    FSavedGroupNumber = FItems.empty() ? 0 : FItems.back()->GroupNumber;
    return;
  }
  if (IsTopMarkedAsSaved()) FSavedGroupNumber = -1;
}

bool TOndEditUndoList::IsTopMarkedAsSaved() const noexcept {
  if (FItems.empty()) return FSavedGroupNumber == 0;
  return FItems.back()->GroupNumber == FSavedGroupNumber;
}

}  // namespace ond
