// Code folding in the control: collapsing and expanding ranges, the rows
// they hide, and keeping the ranges in step with the text.
#include "editor/OndEdit.h"

#include <algorithm>
#include <cstdint>

#include "editor/OndEditImpl.h"
#include "editor/OndEditMiscProcs.h"
#include "highlight/OndEditHighlighter.h"
#include "platform/core/ScopeGuard.h"

namespace ond {

// ---- code folding ---------------------------------------------------------------------

namespace {

// Bytes of text a stretch of the postponed fold scan covers at most before
// the states of its lines are brought up and the clock is looked at: long
// lines make short stretches, and a stretch is still in the processor's
// nearest caches when the states of its lines are brought up.
constexpr std::size_t kFoldScanPieceBytes = 16 * 1024;

// An undo record's note that a fold was collapsed or expanded at its header
// line, hiding or showing Lines lines: undo replays the opposite, redo the
// same, so that older records find the text where they left it.
class TOndFoldToggle : public TOndEditUndoObject {
 public:
  TOndFoldToggle(bool C, int L) : Collapsed(C), Lines(L) {}
  bool Collapsed;
  int Lines;
};

// The characters of a region tree's tokens (and its skip regions'), added to
// Chars; Upper: letters "a" to "z" as capitals.
void CollectFoldChars(const TFoldRegions& Regions, bool Upper, TSysCharSet& Chars) {
  std::vector<const TFoldRegions*> queue{&Regions};
  auto add = [&](const std::string& Text) {
    for (char c : Text) {
      if (Upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      Chars.Include(c);
    }
  };
  for (std::size_t q = 0; q < queue.size(); ++q) {
    const TFoldRegions& r = *queue[q];
    for (int i = 0; i < r.SkipRegions().Count(); ++i) {
      const TSkipRegionItem* k = r.SkipRegions().Items(i);
      add(k->Open);
      add(k->Close);
      add(k->Escape);
    }
    for (int i = 0; i < r.Count(); ++i) {
      const TFoldRegionItem* f = r.Items(i);
      if (f->RegionType == frtChar) {
        if (!f->Open.empty()) add(f->Open.substr(0, 1));
        if (!f->Close.empty()) add(f->Close.substr(0, 1));
      } else {
        add(f->Open);
        add(f->Close);
      }
      queue.push_back(&f->SubFoldRegions());
    }
  }
}

}  // namespace

void TOndEditCodeFoldingPlugin::LinesInserted(int FirstLine, int Count) {
  if (TCustomOndEdit* e = Editor()) e->FoldPluginLinesInserted(FirstLine, Count);
}

void TOndEditCodeFoldingPlugin::LinesDeleted(int FirstLine, int Count) {
  if (TCustomOndEdit* e = Editor()) e->FoldPluginLinesDeleted(FirstLine, Count);
}

TOndEditFoldRange* TCustomOndEdit::CaretRangeToCome() noexcept {
  // Only its address is used: it stands for a range not found yet.
  static TOndEditFoldRange toCome;
  return &toCome;
}

const TFoldRegions* TCustomOndEdit::FoldRegionsInUse() const {
  if (FHighlighter && FCodeFolding->GetHighlighterFoldRegions()) return &FHighlighter->FoldRegions();
  return &FCodeFolding->FoldRegions();
}

// A pass of the highlighter over the lines of a text with every fold
// expanded: the line it is on (0-based, started in the state the text
// before leaves), and the state lines end in as far as they are known.
struct TCustomOndEdit::THiddenLinesPass {
  TOndLineCodeMap Map;
  std::ptrdiff_t MapLine = -1;
  // The lines before Next end in known states, line Next - 1 in State; the
  // first line starts in a reset state.
  std::ptrdiff_t Next = 0;
  TOndRangeState State = 0;
};

TOndCodeFolder& TCustomOndEdit::Folder() const {
  TOndCodeFolder& f = *FCodeFolder;
  f.Regions = FoldRegionsInUse();
  f.CaseSensitive = FCodeFolding->GetCaseSensitive();
  f.AttributeNameAt = nullptr;
  if (FHighlighter) {
    f.NonCodeAt = [this](std::int32_t Line, std::int32_t Char) { return NonCodeAt(Line, Char); };
    f.ExpandedNonCode = [this](const TOndExpandedText& Text) { return ExpandedTextNonCode(Text); };
  } else {
    f.NonCodeAt = nullptr;
    f.ExpandedNonCode = nullptr;
  }
  return f;
}

TFoldNonCodeFunc TCustomOndEdit::ExpandedTextNonCode(const TOndExpandedText& Text) const {
  if (!FHighlighter) return {};
  auto pass = std::make_shared<THiddenLinesPass>();
  return [this, &Text, pass](std::int32_t Line, std::int32_t Char) {
    return ExpandedNonCodeAt(Text, *pass, Line, Char);
  };
}

bool TCustomOndEdit::ExpandedNonCodeAt(const TOndExpandedText& Text, THiddenLinesPass& Pass, std::int32_t Line,
                                       std::int32_t Char) const {
  const auto count = static_cast<std::ptrdiff_t>(Text.Lines.size());
  if (!FHighlighter || Line < 1 || Line > count) return false;
  const auto at = [](std::ptrdiff_t I) { return static_cast<std::size_t>(I); };
  const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(Line) - 1;
  THiddenLinesPass& p = Pass;
  // The scan asks line after line; a line left behind is answered as the
  // buffer reads it.
  if (i < p.Next) return Text.Hidden[at(i)] == 0 && NonCodeAt(Text.BufferLine[at(i)], Char);
  // A collapsed header is followed by the lines it hides.
  const auto header = [&](std::ptrdiff_t K) { return K + 1 < count && Text.Hidden[at(K + 1)] != 0; };
  const auto bufferStart = [&](int BufferLine) -> TOndRangeState {
    if (BufferLine <= 1) return 0;
    ScanRangesThrough(BufferLine - 2);
    return FLines->GetRange(BufferLine - 2);
  };
  // Whether line Next, a line of the buffer other than a collapsed header,
  // starts in the state the buffer has it start in: the buffer's states and
  // answers then hold for it and the lines after it up to the next header.
  const auto inStep = [&]() {
    const std::ptrdiff_t k = p.Next;
    if (Text.Hidden[at(k)] != 0 || header(k)) return false;
    const int line = Text.BufferLine[at(k)];
    return k == 0 ? line == 1 : line > 1 && p.State == bufferStart(line);
  };
  const auto start = [&](std::ptrdiff_t K) {
    const std::string_view text = Text.Lines[at(K)];
    p.Map.Start(*FHighlighter, -1, text,
                text.find('\t') != std::string_view::npos ? ConvertTabs(text, FTabWidth) : std::string(), FTabWidth,
                K == 0, p.State);
    p.MapLine = K;
  };
  // The lines before i: a stretch of buffer lines in step at once, other
  // lines (collapsed headers without their markers, hidden lines, and lines
  // after them until the states meet the buffer's again) by a pass each.
  while (p.Next < i) {
    if (inStep()) {
      std::ptrdiff_t end = i;
      const auto fold = std::upper_bound(Text.Folds.begin(), Text.Folds.end(), p.Next + 1,
                                         [](std::ptrdiff_t L, const TOndExpandedText::TFold& F) { return L < F.Header; });
      if (fold != Text.Folds.end()) end = std::min<std::ptrdiff_t>(end, fold->Header - 1);
      const int last = Text.BufferLine[at(end - 1)];
      ScanRangesThrough(last - 1);
      p.State = FLines->GetRange(last - 1);
      p.Next = end;
      continue;
    }
    if (p.MapLine != p.Next) start(p.Next);
    p.State = p.Map.Finish();
    p.MapLine = -1;
    ++p.Next;
  }
  if (inStep()) return NonCodeAt(Text.BufferLine[at(i)], Char);
  if (p.MapLine != i) start(i);
  if (Char < 1 || static_cast<std::size_t>(Char) > Text.Lines[at(i)].size()) return false;
  return p.Map.NonCode(Char);
}

bool TCustomOndEdit::FoldTokensRecoloured(int Index, int Stop) const {
  if (!FHighlighter || !FCodeFolding->GetEnabled()) return false;
  if (Stop > Index) return true;
  // The single-character tokens of the regions in use: the ones whose
  // count depends on the highlighter.
  std::vector<const TFoldRegions*> queue{FoldRegionsInUse()};
  const std::string_view line = FLines->GetView(Index);
  for (std::size_t q = 0; q < queue.size(); ++q)
    for (int i = 0; i < queue[q]->Count(); ++i) {
      const TFoldRegionItem* r = queue[q]->Items(i);
      if (r->RegionType == frtChar)
        for (const std::string* token : {&r->Open, &r->Close}) {
          if (token->empty()) continue;
          const char c = (*token)[0];
          const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
          if (letter || line.find(c) != std::string_view::npos) return true;
        }
      queue.push_back(&r->SubFoldRegions());
    }
  return false;
}

std::string TCustomOndEdit::FoldSignature(std::string_view Text) const {
  TSysCharSet chars;
  const bool upper = !FCodeFolding->GetCaseSensitive();
  CollectFoldChars(*FoldRegionsInUse(), upper, chars);
  std::string out;
  for (char c : Text) {
    if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (chars.Contains(c)) out += c;
  }
  return out;
}

void TCustomOndEdit::CodeFoldingChanged(int Kind) {
  if (Kind == fccEnabled) {
    if (FCodeFolding->GetEnabled()) {
      } else {
      ExpandAll();
      FHighlightedFoldRange = nullptr;
    }
    // Room for the fold marks right of the line numbers.
    ApplyGutterWidth();
  } else if (Kind == fccRescan) {
    if (FCodeFolding->GetEnabled()) RescanFoldRanges();
  }
  Invalidate();
}

void TCustomOndEdit::FoldStateChanged() {
  FitGutterDigits(true);
  FHighlightedFoldRange = nullptr;
  UpdateCaretFoldRange();
  FStateFlags |= sfScrollBarsChanged;
  UpdateScrollBars();
  Invalidate();
}

void TCustomOndEdit::UpdateCaretFoldRange() {
  if (FAllFoldRanges->ScanPending()) {
    // The range is looked for on this line once the scan has run.
    const bool wanted = FCodeFolding->GetEnabled() && FCaretY >= 1 && FCaretY <= FLines->GetCount();
    FHighlightedFoldRange = wanted ? CaretRangeToCome() : nullptr;
    FCaretFoldLineToCome = FCaretY;
    return;
  }
  TOndEditFoldRange* r = nullptr;
  if (FCodeFolding->GetEnabled() && FCaretY >= 1 && FCaretY <= FLines->GetCount() && FAllFoldRanges->AllCount() > 0)
    r = Folder().CaretFoldRange(FCaretY);
  if (FoldRangeUnsure(r)) r = nullptr;  // known again once the update is done
  if (r == FHighlightedFoldRange) return;
  if (FHighlightedFoldRange)
    InvalidateLines(FHighlightedFoldRange->FromLine, FHighlightedFoldRange->ToLine);
  FHighlightedFoldRange = r;
  if (r) InvalidateLines(r->FromLine, r->ToLine);
}

void TCustomOndEdit::RecordFoldToggle(int HeaderLine, bool Collapsed, int Count) {
  auto note = std::make_unique<TOndFoldToggle>(Collapsed, Count);
  if (FFoldUndoTarget) {
    // Inside undo or redo: the note goes with the record being replayed.
    auto item = std::make_unique<TOndEditUndoItem>();
    item->Reason = urFoldChange;
    item->StartPos = item->EndPos = BufferCoord(1, HeaderLine);
    item->GroupNumber = FFoldUndoGroup;
    item->Extra1 = std::move(note);
    FFoldUndoTarget->PushItem(std::move(item));
    return;
  }
  if (FUndoList->IsLocked()) return;
  if (FUndoList->GetBlockDepth() > 0) {
    FUndoList->AddChange(urFoldChange, BufferCoord(1, HeaderLine), BufferCoord(1, HeaderLine), std::string_view(),
                         FSelectionMode, std::move(note));
    return;
  }
  // A fold toggled on its own joins the last step: undoing that step first
  // puts the fold back, and the text does not count as changed.
  FRedoList->Clear();
  if (!FUndoList->PeekItem()) return;  // nothing older needs the lines where they were
  const TOndEditUndoList::TNotifyEvent keep = std::move(FUndoList->OnRecordAdded);
  FUndoList->OnRecordAdded = nullptr;
  const TScopeExit restore([&] { FUndoList->OnRecordAdded = keep; });
  // A group break (the saved mark) stays on top.
  std::unique_ptr<TOndEditUndoItem> brk;
  if (FUndoList->LastChangeReason() == urGroupBreak) brk = FUndoList->PopItem();
  if (const TOndEditUndoItem* top = FUndoList->PeekItem()) {
    auto item = std::make_unique<TOndEditUndoItem>();
    item->Reason = urFoldChange;
    item->SelectionMode = FSelectionMode;
    item->StartPos = item->EndPos = BufferCoord(1, HeaderLine);
    item->GroupNumber = top->GroupNumber;
    item->Extra1 = std::move(note);
    FUndoList->PushItem(std::move(item));
  }
  if (brk) FUndoList->PushItem(std::move(brk));
}

namespace {
// Positions after a fold at Header hid (Delta < 0) or showed (Delta > 0)
// |Delta| lines below it; a position on a hidden line goes to the header's
// end (HeaderEnd).
TBufferCoord FollowFold(TBufferCoord P, int Header, int Delta, int HeaderEnd) {
  if (Delta < 0) {
    if (P.Line > Header - Delta)
      P.Line += Delta;
    else if (P.Line > Header)
      P = BufferCoord(HeaderEnd, Header);
  } else if (P.Line > Header) {
    P.Line += Delta;
  }
  return P;
}
}  // namespace

bool TCustomOndEdit::CollapseFoldRange(TOndEditFoldRange* Range) {
  if (!Range) return false;
  // A header hides the lines of one fold at a time: a second fold collapsed
  // over it would take the first one's lines and marker along, and they
  // would come back somewhere else.
  if (!Range->Collapsed && CollapsedFoldAt(Range->FromLine) != nullptr) return false;
  PaintLockScope lock(*this);
  const int header = Range->FromLine, before = FLines->GetCount();
  const int headerEnd = LineLength(header) + 1;
  const TBufferCoord caret = GetCaretXY(), b = FBlockBegin, e = FBlockEnd;
  bool done;
  {
    CounterScope toggling(FFoldToggling);
    done = Folder().CollapseFoldRange(Range);
  }
  if (!done) return false;
  const int delta = FLines->GetCount() - before;
  RecordFoldToggle(header, true, -delta);
  FBlockBegin = FollowFold(b, header, delta, headerEnd);
  FBlockEnd = FollowFold(e, header, delta, headerEnd);
  const TBufferCoord c = FollowFold(caret, header, delta, headerEnd);
  FCaretX = c.Char;
  FCaretY = c.Line;
  FStateFlags |= sfCaretChanged;
  StatusChanged(StatusCaretLine | StatusCaretChar);
  FoldStateChanged();
  return true;
}

bool TCustomOndEdit::ExpandFoldRange(TOndEditFoldRange* Range) {
  if (!Range) return false;
  PaintLockScope lock(*this);
  const int header = Range->FromLine, before = FLines->GetCount();
  bool done;
  {
    CounterScope toggling(FFoldToggling);
    done = Folder().ExpandFoldRange(Range);
  }
  if (!done) return false;
  const int delta = FLines->GetCount() - before;
  RecordFoldToggle(header, false, delta);
  FBlockBegin = FollowFold(FBlockBegin, header, delta, 1);
  FBlockEnd = FollowFold(FBlockEnd, header, delta, 1);
  const TBufferCoord c = FollowFold(GetCaretXY(), header, delta, 1);
  FCaretX = std::min(c.Char, std::max(1, (FOptions & eoScrollPastEol) ? c.Char : LineLength(c.Line) + 1));
  FCaretY = c.Line;
  FStateFlags |= sfCaretChanged;
  StatusChanged(StatusCaretLine | StatusCaretChar);
  FoldStateChanged();
  if (FExpandingAll == 0) ReadUnpairedFoldsAgain();
  return true;
}

void TCustomOndEdit::ReadUnpairedFoldsAgain() {
  if (!FFoldsUnpaired || !FCodeFolding->GetEnabled()) return;
  FFoldsUnpaired = false;
  UpdateFoldRanges();
}

void TCustomOndEdit::ExpandAll() {
  // A scan still to come has collapsed nothing.
  if (FAllFoldRanges->ScanPending() || FAllFoldRanges->AllCount() == 0) return;
  // Nothing collapsed, as the index (when current) tells at once: no walk.
  if (FAllFoldRanges->IndexCurrent() && !FAllFoldRanges->Index().CollapsedBetween(1, INT32_MAX)) return;
  PaintLockScope lock(*this);
  {
    CounterScope expanding(FExpandingAll);
    // Pass after pass, so that every depth is reached.
    for (bool any = true; any;) {
      any = false;
      for (int j = FAllFoldRanges->AllCount() - 1; j >= 0; --j) {
        TOndEditFoldRange* r = FAllFoldRanges->AllRanges(j);
        if (r->Collapsed && !r->ParentCollapsed && ExpandFoldRange(r)) any = true;
      }
    }
  }
  if (FExpandingAll == 0) ReadUnpairedFoldsAgain();
}

void TCustomOndEdit::RescanFoldRanges() {
  PaintLockScope lock(*this);
  // A postponed scan would only be replaced by this one.
  DropPostponedFoldScan();
  // Everything is found again here: nothing needs reading again on the way.
  FFoldsUnpaired = false;
  ExpandAll();
  FHighlightedFoldRange = nullptr;
  {
    CounterScope toggling(FFoldToggling);
    Folder().RescanFoldRanges();
  }
  FFoldChangeCount = 0;
  FFoldsUnpaired = false;
  ForgetFoldChanges(false);
  FoldStateChanged();
}

void TCustomOndEdit::ForgetFoldChanges(bool Lost) noexcept {
  FFoldChanged.Any = false;
  FFoldChanged.Lost = Lost;
  FFoldChanged.Open.clear();
}

bool TCustomOndEdit::FoldRangeUnsure(const TOndEditFoldRange* R) const noexcept {
  return FFoldUpdate && FFoldUnsureFrom > 0 && R && !R->Collapsed && R->ToLine >= FFoldUnsureFrom;
}

void TCustomOndEdit::FoldLinesChanging(int Index, int Count, int Shift) {
  TFoldChangedLines& c = FFoldChanged;
  if (FFoldUpdate) FFoldUnsureFrom = FFoldUnsureFrom > 0 ? std::min(FFoldUnsureFrom, Index + 1) : Index + 1;
  if (FFoldToggling != 0) {
    // A fold moves lines under the changed ones: they can no longer be told.
    if (c.Any) ForgetFoldChanges(true);
    return;
  }
  if (c.Lost || !FCodeFolding->GetEnabled()) return;
  if (FAllFoldRanges->ScanPending()) {
    ForgetFoldChanges(true);
    return;
  }
  const int first = Index + 1;
  // The scan starts on the line before the changed ones: keeping the ranges
  // in step with inserted lines may move the end of a range there.
  const int from = std::max(1, Index);
  if (!c.Any || from < c.First) {
    // The ranges above that line are still those of the text there: what a
    // scan stands in at its start.
    c.Open = FCodeFolder->OpenRangesAt(from);
    c.Removals = FAllFoldRanges->Removals();
    if (!c.Any) c.Last = first;
    c.First = from;
    c.Any = true;
  }
  if (Shift > 0) {
    if (c.Last >= first) c.Last += Shift;
    c.Last = std::max(c.Last, Index + Shift);
  } else if (Shift < 0) {
    // The line after the deleted ones now starts where they did.
    if (c.Last >= first - Shift)
      c.Last += Shift;
    else
      c.Last = std::max(std::min(c.Last, first), first);
  } else {
    c.Last = std::max(c.Last, Index + Count);
  }
}

void TCustomOndEdit::FoldLinesRecoloured(int Index) noexcept {
  if (FFoldChanged.Any && !FFoldChanged.Lost) FFoldChanged.Last = std::max(FFoldChanged.Last, Index + 1);
}

void TCustomOndEdit::DropPostponedFoldScan() {
  DropFoldUpdate();
  if (FAllFoldRanges->ScanPending()) FAllFoldRanges->FreeAllRanges();
}

struct TCustomOndEdit::TFoldScanProgress {
  std::unique_ptr<TOndFoldScanner> Scanner;
  std::unique_ptr<TOndFoldScan> Scan;
  bool AsksHighlighter = false;
  // The text changed since the last piece: the next begins anew.
  bool Restart = false;
  // Every line scanned: the index of the ranges is built in pieces still.
  bool Scanned = false;
};

void TCustomOndEdit::RescanFoldRangesLater() {
  PaintLockScope lock(*this);
  DropPostponedFoldScan();
  // Everything is found again here: nothing needs reading again on the way.
  FFoldsUnpaired = false;
  ExpandAll();
  FHighlightedFoldRange = nullptr;
  FAllFoldRanges->FreeAllRanges();
  FFoldChangeCount = 0;
  FFoldsUnpaired = false;
  ForgetFoldChanges(false);
  // The regions and case of now: the scan must find what it would find now.
  // The text, the highlighter and the tab width settle the scan before they
  // change; the highlighter's regions are dropped with the scan when it is
  // freed while attached.
  const TFoldRegions* regions = FoldRegionsInUse();
  const bool caseSensitive = FCodeFolding->GetCaseSensitive();
  // The scan may run in pieces (see RunIdleWork): what it has done so far
  // stays in FFoldScanProgress between them. Nothing changes the
  // highlighter or the tab width between two pieces without finishing the
  // scan first; a change of the text starts it over (FoldScanBeforeChange).
  auto progress = std::make_shared<TFoldScanProgress>();
  FFoldScanProgress = progress;
  FAllFoldRanges->PostponeScan([this, regions, caseSensitive, progress](std::chrono::steady_clock::time_point Until) {
    TOndCodeFolder& f = Folder();
    f.Regions = regions;
    f.CaseSensitive = caseSensitive;
    CounterScope toggling(FFoldToggling);
    if (progress->Restart) {
      // The ranges found so far are of a text that is gone; seen by nobody,
      // none of them is collapsed. They are freed in pieces once the scan
      // is done.
      progress->Restart = false;
      progress->Scanned = false;
      if (progress->Scan) {
        progress->Scan.reset();
        progress->Scanner.reset();
        FAllFoldRanges->RetireAll();
      }
    }
    if (!progress->Scan) {
      // As a scan at once would: everything expanded, the tree emptied
      // (nothing to do unless ranges came since it was put off; expanding
      // nothing would still tell everyone the text changed).
      if (FAllFoldRanges->AllCount() > 0) {
        f.ExpandAll();
        FAllFoldRanges->FreeAllRanges();
      }
      if (!regions) return FinishFoldScanLater();
      progress->Scanner = std::make_unique<TOndFoldScanner>(*regions, caseSensitive);
      progress->Scan = std::make_unique<TOndFoldScan>(*progress->Scanner, *FAllFoldRanges, FLines->GetTabWidth(),
                                                      f.NonCode());
      progress->AsksHighlighter = f.NonCodeAt && progress->Scanner->AsksAttributes();
    }
    TOndFoldScan& scan = *progress->Scan;
    const int count = FLines->GetCount();
    // A piece may stop inside a long line. The strings and comments of a
    // line and the state it ends in come from one pass of the highlighter
    // over it: a line whose tokens the scan asks about begins its pass then
    // (the states before it are caught up first), and the states of a
    // stretch of lines are brought up to its end after the scan, so that
    // no piece cuts lines far ahead.
    const auto statesThrough = [&](int Line) {
      if (progress->AsksHighlighter) ScanRangesThrough(Line);
    };
    for (int line = scan.LinesScanned(); line < count && !progress->Scanned;) {
      const int stop = std::min(count, line + kFoldScanPieceLines);
      std::size_t bytes = 0;
      for (; line < stop && bytes < kFoldScanPieceBytes; ++line) {
        const std::string_view text = FLines->GetView(line);
        if (!scan.LineSome(text, Until)) {
          statesThrough(line - 1);
          return false;
        }
        bytes += text.size();
      }
      statesThrough(line - 1);
      if (line < count && std::chrono::steady_clock::now() >= Until) return false;
    }
    if (!progress->Scanned) {
      scan.Finish();
      progress->Scanned = true;
    }
    // The index painting asks first, read in pieces too while nobody sees
    // the ranges.
    if (!FAllFoldRanges->IndexSome(Until)) return false;
    ForgetFoldChanges(false);
    if (FHighlightedFoldRange == CaretRangeToCome())
      FHighlightedFoldRange = FAllFoldRanges->AllCount() > 0 ? f.CaretFoldRange(FCaretFoldLineToCome) : nullptr;
    return FinishFoldScanLater();
  });
  FoldStateChanged();
}

bool TCustomOndEdit::FinishFoldScanLater() {
  // Painting left the marks out meanwhile.
  if (FFoldScanInIdle) {
    FFoldScanInIdle = false;
    Invalidate();
  }
  return true;
}

// An update of the ranges in idle time: a scan of every line but the
// headers of collapsed ranges into a tree of its own, put in place of the
// expanded ranges once it is complete. It reads the text as it is when each
// piece runs; a change of the text starts it over (RestartFoldUpdate), so
// the tree it puts in place is that of the text of then.
struct TCustomOndEdit::TFoldUpdate {
  bool Started = false;
  const TFoldRegions* Regions = nullptr;
  bool CaseSensitive = false;
  const TOndCustomHighlighter* Highlighter = nullptr;
  int TabWidth = 0;
  std::unique_ptr<TOndFoldUpdateLines> Lines;
  std::unique_ptr<TOndFoldScanner> Scanner;
  TOndEditAllFoldRanges Fresh;
  std::unique_ptr<TOndFoldScan> Scan;
  bool AsksHighlighter = false;
  int Next = 0;  // the next real line to scan, 0-based
  // Before the scan: the headers of the collapsed, visible ranges, looked
  // for in pieces (the ranges before HeadersNext in the flat list seen).
  std::vector<std::int32_t> Headers;
  std::size_t HeadersNext = 0;
  // Past the scan: the new tree is made ready to take the old one's place.
  bool Scanned = false;
  // With folds collapsed: the text as it reads with them expanded, which
  // the scan reads in pieces instead of the buffer's lines (Next counts
  // its lines then).
  std::unique_ptr<TOndExpandedText> Expanded;
};

void TCustomOndEdit::RestartFoldUpdate() noexcept {
  if (!FFoldUpdate) return;
  TFoldUpdate& u = *FFoldUpdate;
  // Headers looked for in the tree of before may have moved.
  u.Headers.clear();
  u.HeadersNext = 0;
  if (!u.Started) return;
  u.Scan.reset();
  // The ranges found so far leave in idle-time pieces, not at the key.
  FAllFoldRanges->RetireFrom(u.Fresh);
  u.Scanner.reset();
  u.Lines.reset();
  u.Expanded.reset();
  u.Scanned = false;
  u.Started = false;
}

void TCustomOndEdit::DropFoldUpdate() {
  if (!FFoldUpdate) return;
  // What it found so far is freed in idle time, not with it.
  FAllFoldRanges->RetireFrom(FFoldUpdate->Fresh);
  FFoldUpdate.reset();
  if (FAllFoldRanges->RetiredPending()) StartIdleWork();
}

bool TCustomOndEdit::RunFoldUpdate(std::chrono::steady_clock::time_point Until) {
  if (!FFoldUpdate) return true;
  // Held here: the work below may drop or start over the update.
  const std::shared_ptr<TFoldUpdate> keep = FFoldUpdate;
  TFoldUpdate& u = *keep;
  if (!FCodeFolding->GetEnabled()) {
    DropFoldUpdate();
    return true;
  }
  TOndCodeFolder& f = Folder();
  if (u.Started && (u.Regions != f.Regions || u.CaseSensitive != f.CaseSensitive || u.Highlighter != FHighlighter ||
                    u.TabWidth != FLines->GetTabWidth()))
    RestartFoldUpdate();
  if (!u.Started) {
    u.Regions = f.Regions;
    u.CaseSensitive = f.CaseSensitive;
    u.Highlighter = FHighlighter;
    u.TabWidth = FLines->GetTabWidth();
    u.Next = 0;
    if (u.Regions) {
      // The headers the scan leaves out, a piece at a time: the old tree
      // stays as it is until the update is done or starts over (every
      // change of the text, folding too, starts it over).
      if (!CollapsedHeadersSome(u.Headers, u.HeadersNext, Until)) return false;
      TFoldNonCodeFunc nonCode;
      if (!u.Headers.empty()) {
        // With folds collapsed, the text is scanned as it reads with them
        // expanded, taken from the tree as it is now: the scan's pieces
        // read it, and any change of the text, folding too, starts over.
        u.Headers.clear();
        u.HeadersNext = 0;
        u.Expanded = std::make_unique<TOndExpandedText>(f.ExpandedText());
        nonCode = f.ExpandedScanNonCode(*u.Expanded);
      } else {
        u.Lines = std::make_unique<TOndFoldUpdateLines>(std::move(u.Headers));
        u.Headers.clear();
        u.HeadersNext = 0;
        if (TFoldNonCodeFunc asked = f.NonCode()) {
          const TOndFoldUpdateLines* lines = u.Lines.get();
          nonCode = [asked, lines](std::int32_t L, std::int32_t C) { return asked(lines->RealLine(L), C); };
        }
      }
      u.Scanner = std::make_unique<TOndFoldScanner>(*u.Regions, u.CaseSensitive);
      u.AsksHighlighter = f.NonCodeAt && u.Scanner->AsksAttributes();
      u.Scan = std::make_unique<TOndFoldScan>(*u.Scanner, u.Fresh, u.TabWidth, std::move(nonCode));
    }
    u.Started = true;
  }
  if (u.Scan && !u.Scanned) {
    // As the postponed first scan does: the states of a stretch of lines
    // are brought up after the scan has passed it, one pass per line.
    const TOndExpandedText* expanded = u.Expanded.get();
    const auto statesThrough = [&](int Line) {
      if (!u.AsksHighlighter || Line < 0) return;
      ScanRangesThrough(expanded != nullptr ? expanded->BufferLine[static_cast<std::size_t>(Line)] - 1 : Line);
    };
    const int count = expanded != nullptr ? static_cast<int>(expanded->Lines.size()) : FLines->GetCount();
    while (u.Next < count) {
      const int stop = std::min(count, u.Next + kFoldScanPieceLines);
      std::size_t bytes = 0;
      for (; u.Next < stop && bytes < kFoldScanPieceBytes; ++u.Next) {
        if (expanded == nullptr && u.Lines->Skipped(u.Next + 1)) continue;
        const std::string_view text =
            expanded != nullptr ? expanded->Lines[static_cast<std::size_t>(u.Next)] : FLines->GetView(u.Next);
        if (!u.Scan->LineSome(text, Until)) {
          statesThrough(u.Next - 1);
          return false;
        }
        ++FFoldLinesRescanned;
        bytes += text.size();
      }
      statesThrough(u.Next - 1);
      if (u.Next < count && std::chrono::steady_clock::now() >= Until) return false;
    }
    u.Scan->Finish();
    if (u.Lines) u.Lines->ToRealLines(u.Fresh);
    u.Scanned = true;
  }
  if (u.Expanded) {
    // The ranges found take the place of the expanded ones around the
    // collapsed ranges, which keep what they hide, at once.
    FFoldUpdate.reset();
    PaintLockScope lock(*this);
    FHighlightedFoldRange = nullptr;
    {
      CounterScope toggling(FFoldToggling);
      f.ApplyExpandedUpdate(u.Fresh, *u.Expanded);
    }
    FFoldsUnpaired = f.Unpaired;
    ForgetFoldChanges(false);
    FFoldUnsureFrom = 0;
    FoldStateChanged();
    return true;
  }
  // With nothing collapsed, the new tree takes the old one's place whole:
  // made ready in pieces first (its ranges told the tree they go to, its
  // index read), it then comes over at once, and the old ranges leave
  // their lists and are freed in pieces after (FreeRetired).
  const bool whole = u.Scan && u.Lines->None();
  if (whole && !u.Fresh.PrepareAdoption(*FAllFoldRanges, Until)) return false;
  FFoldUpdate.reset();
  PaintLockScope lock(*this);
  FHighlightedFoldRange = nullptr;
  {
    CounterScope toggling(FFoldToggling);
    if (whole) {
      FAllFoldRanges->RetireAll();
      FAllFoldRanges->Adopt(u.Fresh);
    } else {
      f.ApplyUpdate(u.Fresh);
    }
  }
  FFoldsUnpaired = false;
  ForgetFoldChanges(false);
  FFoldUnsureFrom = 0;
  FoldStateChanged();
  return true;
}

bool TCustomOndEdit::CollapsedHeadersSome(std::vector<std::int32_t>& Headers, std::size_t& Next,
                                          std::chrono::steady_clock::time_point Until) const {
  // As TOndCodeFolder::CollapsedHeaderLines, over the flat list in pieces.
  constexpr std::size_t kRangesAtOnce = 4096;
  const auto& all = FAllFoldRanges->AllRangeList();
  while (Next < all.size()) {
    const std::size_t stop = std::min(all.size(), Next + kRangesAtOnce);
    FAllFoldRanges->NoteRangesWalked(stop - Next);
    for (; Next < stop; ++Next) {
      const TOndEditFoldRange* r = all[Next].get();
      if (r->Collapsed && !r->ParentCollapsed) Headers.push_back(r->FromLine);
    }
    if (Next < all.size() && std::chrono::steady_clock::now() >= Until) return false;
  }
  return true;
}

void TCustomOndEdit::FoldScanBeforeChange() {
  SettleFoldScanBeforeChange();
  RestartFoldUpdate();
}

void TCustomOndEdit::SettleFoldScanBeforeChange() {
  // Starting over costs the lines scanned so far, all in idle time; lines
  // above the change would still hold, but the scan keeps no state to go
  // back to.
  const std::shared_ptr<TFoldScanProgress> progress = FFoldScanProgress.lock();
  if (progress && FAllFoldRanges->ScanPending() && (FFoldScanInIdle || LongText()))
    progress->Restart = true;
  else
    FAllFoldRanges->Settle();
}

void TCustomOndEdit::UpdateFoldRanges() {
  FFoldChangeCount = 0;
  // The scan to come finds the ranges of the changed text.
  if (FAllFoldRanges->ScanPending()) return;
  TFoldChangedLines& c = FFoldChanged;
  if (c.Any && !c.Lost && c.Removals == FAllFoldRanges->Removals()) {
    // Most edits change the ranges around them only: the changed lines are
    // scanned, and the lines after them until the scan stands as before.
    // The lines stay noted while an update of the whole text waits (it
    // changes the ranges only once it is done): a brace typed and then
    // closed is seen as a pair, and the wait ends.
    PaintLockScope lock(*this);
    if (Folder().UpdateFoldRangesBetween(c.First, c.Last, c.Open, kBoundedFoldScanLines, &FFoldLinesRescanned)) {
      ForgetFoldChanges(false);
      DropFoldUpdate();
      FFoldUnsureFrom = 0;
      FHighlightedFoldRange = nullptr;
      FoldStateChanged();
      return;
    }
  }
  if (LongText() && !FAllFoldRanges->ScanPending()) {
    // Started over when one is already waiting: the text changed since.
    const int unsure = c.Any && !c.Lost ? c.First : 1;
    if (FFoldUpdate) {
      RestartFoldUpdate();
      FFoldUnsureFrom = FFoldUnsureFrom > 0 ? std::min(FFoldUnsureFrom, unsure) : unsure;
    } else {
      FFoldUpdate = std::make_shared<TFoldUpdate>();
      FFoldUnsureFrom = unsure;
    }
    // The marks of the ranges that may have moved go until it is done.
    Invalidate();
    StartIdleWork();
    return;
  }
  DropFoldUpdate();
  PaintLockScope lock(*this);
  FHighlightedFoldRange = nullptr;
  {
    CounterScope toggling(FFoldToggling);
    TOndCodeFolder& f = Folder();
    f.UpdateFoldRanges();
    FFoldsUnpaired = f.Unpaired;
  }
  FFoldLinesRescanned += FLines->GetCount();
  ForgetFoldChanges(false);
  FoldStateChanged();
}

bool TCustomOndEdit::ToggleFoldAtLine(int Line) {
  TOndEditFoldRange* r = FoldRangeAtLine(Line);
  if (!r) return false;
  // Where a fold on the line is collapsed (not always the first range
  // there), the toggle opens it.
  if (!r->Collapsed && !r->ParentCollapsed)
    if (TOndEditFoldRange* folded = CollapsedFoldAt(r->FromLine)) r = folded;
  return r->Collapsed ? ExpandFoldRange(r) : CollapseFoldRange(r);
}

TOndEditFoldRange* TCustomOndEdit::FoldRangeStartingAt(int Line) const { return FCodeFolder->FoldRangeStartingAt(Line); }
TOndEditFoldRange* TCustomOndEdit::FoldRangeAtLine(int Line, int* Position) const {
  // A line whose marker shows a collapsed range is that range's, whichever
  // range starts there first: its mark opens it, and nothing else on the
  // line folds while it hides lines.
  if (Position == nullptr)
    if (TOndEditFoldRange* c = CollapsedFoldAt(Line)) return c;
  TOndEditFoldRange* r = FCodeFolder->FoldRangeAtLine(Line, Position);
  return FoldRangeUnsure(r) ? nullptr : r;
}
int TCustomOndEdit::UncollapsedLine(int Line) const { return FCodeFolder->UncollapsedLine(Line); }
TOndEditFoldRange* TCustomOndEdit::FoldRangeEndingAt(int Line) const { return FCodeFolder->FoldRangeEndingAt(Line); }
bool TCustomOndEdit::IsRangeEnd(int Line) const { return FCodeFolder->IsRangeEnd(Line); }
bool TCustomOndEdit::IsInsideRange(int Line) const { return FCodeFolder->IsInsideRange(Line); }
int TCustomOndEdit::LineIndentColumns(int Line) const {
  return Line >= 1 && Line <= FLines->GetCount() ? FCodeFolder->LineIndentColumns(Line) : 0;
}
bool TCustomOndEdit::FoldTokenInLine(std::string_view Text) const { return Folder().FoldTokenInLine(Text); }
std::string TCustomOndEdit::TextWithFoldsExpanded() const { return FCodeFolder->TextWithFoldsExpanded(); }

bool TCustomOndEdit::CaretOnCollapsedFoldHeader() const {
  // A scan still to come has collapsed nothing.
  if (FAllFoldRanges->ScanPending() || FAllFoldRanges->AllCount() == 0 || FCaretY < 1 ||
      FCaretY > FLines->GetCount())
    return false;
  // Only a line ending in the marker's blanks can head a collapsed fold.
  const std::string_view line = FLines->GetView(FCaretY - 1);
  if (line.find("     ") == std::string_view::npos) return false;
  // Any range collapsed on the line, not only the first one starting there:
  // the marker ends the line whichever range put it there.
  return CollapsedFoldAt(FCaretY) != nullptr;
}

void TCustomOndEdit::ExpandFoldsForEdit(TBufferCoord& B, TBufferCoord& E) {
  if (FAllFoldRanges->ScanPending()) return;
  {
    CounterScope expanding(FExpandingAll);
    ExpandFoldsBetween(*FLines, *FAllFoldRanges, B, E, [this](TOndEditFoldRange* R) { return ExpandFoldRange(R); });
  }
  // Ranges of unpaired folds opened here are read again after the edit.
  if (FFoldsUnpaired && FExpandingAll == 0) ++FFoldChangeCount;
}

void TCustomOndEdit::FoldPluginLinesInserted(int FirstLine, int Count) {
  if (FFoldToggling || FAllFoldRanges->ScanPending() || FAllFoldRanges->AllCount() == 0) return;
  FCodeFolder->LinesInserted(FirstLine - 1, Count, 1);
}

void TCustomOndEdit::FoldPluginLinesDeleted(int FirstLine, int Count) {
  if (FFoldToggling || FAllFoldRanges->ScanPending() || FAllFoldRanges->AllCount() == 0) return;
  FHighlightedFoldRange = nullptr;
  if (!FFoldUndoTarget) {
    FCodeFolder->LinesDeleted(FirstLine, Count, FUndoList, FSelectionMode, 1);
    return;
  }
  // Inside undo or redo: the ranges taken out go with the replayed record.
  TOndEditUndoList taken;
  FCodeFolder->LinesDeleted(FirstLine, Count, &taken, FSelectionMode, 1);
  std::vector<std::unique_ptr<TOndEditUndoItem>> items;
  while (auto item = taken.PopItem()) items.push_back(std::move(item));
  for (auto it = items.rbegin(); it != items.rend(); ++it) {
    (*it)->GroupNumber = FFoldUndoGroup;
    FFoldUndoTarget->PushItem(std::move(*it));
  }
}

namespace {
// The records past a fold that could not be put back as it was would find
// their lines moved and change other text: they go, as the oldest records
// go when the list outgrows its size, and the list no longer says the text
// is as saved unless it is.
void DropRecordsPastFold(TOndEditUndoList& List, bool Undoing) {
  if (!Undoing) {
    List.Clear();
    return;
  }
  const bool saved = List.IsTopMarkedAsSaved();
  const std::int32_t size = List.GetMaxUndo();
  List.SetMaxUndo(0);
  List.SetMaxUndo(size);
  if (saved) List.MarkTopAsSaved(true);
}
}  // namespace

void TCustomOndEdit::ReplayFoldRecord(std::unique_ptr<TOndEditUndoItem> Item, bool Undoing) {
  // The fold was toggled on the ranges as updated for the text as it stood
  // then, which the records replayed before this one gave back: changes
  // they made are read into the ranges first, or a collapse would find the
  // ranges of a text that is no longer there and hide other lines.
  if (dynamic_cast<TOndFoldToggle*>(Item->Extra1.get()) != nullptr) UpdateFoldsAfterLinesPut();
  // Ranges come back or fold: the changed lines can no longer be told.
  if (FFoldChanged.Any) ForgetFoldChanges(true);
  TOndEditUndoList* other = Undoing ? FRedoList : FUndoList;
  const int header = Item->StartPos.Line;
  if (auto* toggle = dynamic_cast<TOndFoldToggle*>(Item->Extra1.get())) {
    // Undoing a collapse expands, undoing an expand collapses; redo the same.
    const bool collapse = toggle->Collapsed != Undoing;
    CounterScope toggling(FFoldToggling);
    const int before = FLines->GetCount();
    TOndEditFoldRange* r = FCodeFolder->FoldRangeAtLine(header);
    TOndEditFoldRange* folded = nullptr;
    if (collapse) {
      // The same lines must go out of sight as before, or the records below
      // would find the text somewhere else.
      auto hides = [&](TOndEditFoldRange* R) {
        if (!Folder().CollapseFoldRange(R)) return false;
        if (before - FLines->GetCount() == toggle->Lines) return true;
        Folder().ExpandFoldRange(R);
        return false;
      };
      if (!(r && !r->Collapsed && hides(r)) && toggle->Lines > 0 && header + toggle->Lines <= FLines->GetCount()) {
        // The range is gone or changed: a range of its own hides the lines,
        // with the collapsed ranges among them below it, so that they stay
        // hidden inside it.
        // Its header shows the ending of the region it opens, as a collapse
        // of the range itself would.
        TOndEditFoldRange* own = AddFoldRange(nullptr, FAllFoldRanges.get(), header, header + toggle->Lines, nullptr,
                                              0, 0);
        if (header >= 1) own->EndingRegion = Folder().OpeningRegionInLine(FLines->GetView(header - 1));
        // Lists stay in line order: updates look ranges up by their lines.
        int at = 0;
        while (at < FAllFoldRanges->Count() && FAllFoldRanges->Items(at)->FromLine <= header) ++at;
        FAllFoldRanges->Insert(at, own);
        // Every range in sight starting on them goes below it (the
        // outermost of them, each with its own), so that none stays in
        // sight on a line it hides.
        const auto among = [&](const TOndEditFoldRange* D) {
          return D != own && !D->ParentCollapsed && D->FromLine > header && D->FromLine <= header + toggle->Lines;
        };
        std::vector<TOndEditFoldRange*> below;
        for (int j = 0; j < FAllFoldRanges->AllCount(); ++j) {
          TOndEditFoldRange* d = FAllFoldRanges->AllRanges(j);
          const TOndEditFoldRange* holder = d->Container() != nullptr ? d->Container()->Owner() : nullptr;
          if (among(d) && !(holder != nullptr && among(holder))) below.push_back(d);
        }
        for (TOndEditFoldRange* d : below) {
          own->SubFoldRanges.Add(d);
          d->SetLevel(own->Level + 1);
        }
        // The ranges it holds are no longer those a scan finds there.
        FFoldsUnpaired = true;
        // A range starting on the last line keeps that line in view: one more.
        if (!hides(own)) {
          own->ToLine += 1;
          FAllFoldRanges->IndexChanged();
          hides(own);
        }
      }
    } else {
      // The collapsed range on the header, which need not be the first
      // range there (a range of its own may hide the lines beside one the
      // text no longer lets fold them).
      folded = r != nullptr && r->Collapsed ? r : CollapsedFoldAt(header);
      if (folded != nullptr) Folder().ExpandFoldRange(folded);
    }
    FHighlightedFoldRange = nullptr;
    if (FLines->GetCount() - before != (collapse ? -toggle->Lines : toggle->Lines)) {
      // The fold hides or shows other lines than it did, or none: the
      // records still to replay on this side numbered their lines with the
      // fold as it was, and would change other text. The fold stays as it
      // was before the replay, the state the records on the other side were
      // made in; a collapse that failed left it so, and an expand of other
      // lines is taken back.
      if (folded != nullptr && FLines->GetCount() != before) Folder().CollapseFoldRange(folded);
      DropRecordsPastFold(Undoing ? *FUndoList : *FRedoList, Undoing);
      FStateFlags |= sfScrollBarsChanged;
      Invalidate();
      if (FLines->GetCount() == before) return;
    }
    other->PushItem(std::move(Item));
    // The lines hidden changed while the toggle kept the gutter as it was:
    // its digits follow the file's lines, counted again.
    FitGutterDigits(true);
    FStateFlags |= sfScrollBarsChanged;
    Invalidate();
    return;
  }
  // A collapsed range whose header a deletion took away: its header line is
  // back, so the range is too.
  FCodeFolder->RestoreFoldRange(*Item);
  FitGutterDigits(true);
  FHighlightedFoldRange = nullptr;
  Invalidate();
}

}  // namespace ond
