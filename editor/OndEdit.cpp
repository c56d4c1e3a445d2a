// The editor control's construction and lifecycle: plug-ins, the paint lock and
// status notifications, events, command hooks, properties, font and size, and
// how the control follows changes of its buffer.
#include "editor/OndEdit.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "editor/OndCompletionProposal.h"
#include "editor/OndEditImpl.h"
#include "highlight/OndEditHighlighter.h"
#include "platform/ImgList.h"
#include "platform/core/ScopeGuard.h"
#include "search/OndEditSearch.h"

namespace ond {

namespace {

std::string PointerPairText(const char* format, const void* a, const void* b) {
  char buf[160];
  std::snprintf(buf, sizeof buf, format, a, b);
  return buf;
}

const void* CodeOf(const TMethodIdentity& id) {
  const void* p = nullptr;
  std::memcpy(&p, id.Code.data(), sizeof p);
  return p;
}

}  // namespace

// ---- plug-ins ---------------------------------------------------------------------

TOndEditPlugin::TOndEditPlugin(TCustomOndEdit* Owner) : FOwner(Owner) {
  if (FOwner) FOwner->FPlugins.push_back(this);
}
TOndEditPlugin::~TOndEditPlugin() {
  if (FOwner) std::erase(FOwner->FPlugins, this);
}
void TOndEditPlugin::AfterPaint(TCanvas*, const TRect&, int, int) {}
void TOndEditPlugin::LinesInserted(int, int) {}
void TOndEditPlugin::LinesDeleted(int, int) {}

// ---- construction -------------------------------------------------------------------

TCustomOndEdit::TCustomOndEdit(TComponent* AOwner) : TCustomControl(AOwner) {
  FCodeFolding = std::make_unique<TOndCodeFolding>();
  FCodeFolding->OnChange = [this](TObject*, int Kind) { CodeFoldingChanged(Kind); };

  FOwnLines = std::make_unique<TOndEditStringList>();
  FLines = FOwnLines.get();
  FAllFoldRanges = std::make_unique<TOndEditAllFoldRanges>();
  FCodeFolder = std::make_unique<TOndCodeFolder>(*FLines, *FAllFoldRanges);

  FScrollBars = std::make_unique<TOndScrollBars>();
  FScrollBars->OnChange = [this](TObject*) {
    const TScrollBarsStyle style = FScrollBars->GetStyle();
    SetFlatScrollBars(style == sbsFlat || style == sbsEncarta);
    UpdateScrollBars();
    Invalidate();
  };
  FBlockWidth = 2;
  FRightEdge = std::make_unique<TOndRightEdge>();
  FRightEdge->OnChange = [this](TObject*) {
    if (FWordWrapPlugin && FWordWrap->GetStyle() == wwsRightEdge) FWordWrapPlugin->Reset();
    Invalidate();
  };
  FLineDivider = std::make_unique<TOndLineDivider>();
  FLineDivider->OnChange = [this](TObject*) { Invalidate(); };
  FActiveLine = std::make_unique<TOndActiveLine>();
  FActiveLine->OnChange = [this](TObject* Sender) {
    if (Sender == &FActiveLine->Indicator())
      InvalidateGutter();
    else
      InvalidateLine(FCaretY);
  };
  FWordWrap = std::make_unique<TOndWordWrap>();
  FWordWrap->OnChange = [this](TObject* Sender) {
    if (Sender == &FWordWrap->Indicator()) {
      InvalidateGutter();
      return;
    }
    SetWordWrap(FWordWrap->GetEnabled());
    if (FWordWrapPlugin) FWordWrapPlugin->Reset();
    Invalidate();
  };
  FBackground = std::make_unique<TOndEditBackground>();
  FBackground->OnChange = [this](TObject*) { Invalidate(); };

  FLines->OnChange = [this](TOndEditStringList* s) {
    if (FWritingRanges == 0) ListChanged(s);
  };
  FLines->OnLinesCleared = [this](TOndEditStringList* s) { ListCleared(s); };
  FLines->OnLinesDeleted = [this](TOndEditStringList* s, int i, int n) { ListDeleted(s, i, n); };
  FLines->OnLinesInserted = [this](TOndEditStringList* s, int i, int n) { ListInserted(s, i, n); };
  FLines->OnLineReplaced = [this](TOndEditStringList* s, int i, int n) { ListPut(s, i, n); };
  // A postponed fold scan runs on the text as it was, before any change,
  // or, a long text's, starts over on the changed text.
  FLines->OnChanging = [this](TOndEditStringList* s) {
    if (FWritingRanges != 0) return;
    FoldScanBeforeChange();
    DropBracketSearch();
    ListChanging(s);
  };
  FLines->OnBeforeLinesInserted = [this](TOndEditStringList*, int i, int n) {
    SettleFoldScanBeforeChange();
    FoldLinesChanging(i, n, n);
  };
  FLines->OnBeforeLineReplaced = [this](TOndEditStringList*, int i, int n) {
    SettleFoldScanBeforeChange();
    FoldLinesChanging(i, n, 0);
    ListBeforePut(i);
  };
  FLines->OnBeforeLinesDeleted = [this](TOndEditStringList*, int i, int n) {
    SettleFoldScanBeforeChange();
    FoldLinesChanging(i, n, -n);
    // Removed lines holding fold tokens change the ranges.
    if (!FCodeFolding->GetEnabled() || FFoldToggling) return;
    for (int k = i; k < i + n && k < FLines->GetCount(); ++k)
      if (!FoldSignature(FLines->GetView(k)).empty()) {
        ++FFoldChangeCount;
        break;
      }
  };

  FFontDummy = std::make_unique<TFont>();
  FOwnUndoList = std::make_unique<TOndEditUndoList>();
  FOwnRedoList = std::make_unique<TOndEditUndoList>();
  FUndoList = FOwnUndoList.get();
  FRedoList = FOwnRedoList.get();
  FUndoList->OnRecordAdded = [this](TOndEditUndoList* l) { UndoListChanged(l); };
  FRedoList->OnRecordAdded = [this](TOndEditUndoList* l) { UndoListChanged(l); };
  FSelectedColor = std::make_unique<TOndSelectedColor>();
  FSelectedColor->OnChange = [this](TObject*) { InvalidateSelection(); };
  FBookMarkOpt = std::make_unique<TOndBookMarkOpt>(this);
  FBookMarkOpt->OnChange = [this](TObject*) { InvalidateGutter(); };
  FGutter = std::make_unique<TOndGutter>();
  FGutter->OnChange = [this](TObject* Sender) { GutterChanged(Sender); };
  FView.GutterWidth = FGutter->GetWidth();

  SetBounds(Left(), Top(), 200, 150);
  SetCursor(crIBeam);
  FColor = clWindow;
  FFontDummy->SetName("Courier New");
  FFontDummy->SetSize(10);
  FFontDummy->Charset = 1;
  FTextDrawer = std::make_unique<TheTextDrawer>(0, FFontDummy.get());
  Font.OnChange = nullptr;
  Font.Assign(*FFontDummy);
  Font.OnChange = [this](TFont*) { FontChanged(); };
  SetTabStop(true);

  FInsertMode = true;
  FMaxScrollWidth = 1024;
  FBorderStyle = TBorderStyle::bsSingle;
  FInsertCaret = ctVerticalLine;
  FOverwriteCaret = ctBlock;
  FSelectionMode = smNormal;
  FKeystrokes = std::make_unique<TOndEditKeyStrokes>(this);
  FMarkList = std::make_unique<TOndEditMarkList>();
  FMarkList->OnChange = [this](TOndEditMarkList*) { InvalidateGutter(); };
  FKeystrokes->ResetDefaults();

  FStateFlags = 0;
  WantReturns = true;
  WantTabs = false;
  FTabWidth = 8;
  FLines->SetTabWidth(FTabWidth);
  FView.LeftColumn = 1;
  FView.TopLine = 1;
  FCaretX = FLastCaretX = FCaretY = 1;
  FBlockBegin = FBlockEnd = BufferCoord(1, 1);
  FOptions = OND_DEFAULT_OPTIONS;
  FShowSpecialChars = (FOptions & eoShowSpecialChars) != 0;

  FScrollTimer = std::make_unique<TTimer>(nullptr);
  FScrollTimer->SetEnabled(false);
  FScrollTimer->SetInterval(100);
  FScrollTimer->OnTimer = [this](TObject*) { ScrollTimerHandler(); };

  SetFrameWidth(1);  // bsSingle's frame
  FontChanged();

  new TOndEditCodeFoldingPlugin(this);  // joins the plug-ins, freed with them

  FFoldHint = TOndCompletionProposal::Create();
  if (FFoldHint) {
    FFoldHint->SetDisplayType(ctHint);
    FFoldHint->SetTimerInterval(500);
    FFoldHint->SetClBackground(clInfoBk);
  }
}

void TCustomOndEdit::AfterConstruction() { ResetKeystrokesToDefaults(); }

TCustomOndEdit::~TCustomOndEdit() {
  FDestroying = true;
  BeginDestroy();
  FFoldHint.reset();
  SetHighlighter(nullptr);
  SetSearchEngine(nullptr);
  FLines->OnChange = nullptr;
  FLines->OnChanging = nullptr;
  FLines->OnLinesCleared = nullptr;
  FLines->OnLinesDeleted = nullptr;
  FLines->OnLinesInserted = nullptr;
  FLines->OnLineReplaced = nullptr;
  FLines->OnBeforeLinesInserted = nullptr;
  FLines->OnBeforeLineReplaced = nullptr;
  FLines->OnBeforeLinesDeleted = nullptr;
  FHookedCommandHandlers.clear();
  while (!FPlugins.empty()) {
    TOndEditPlugin* p = FPlugins.back();
    FPlugins.pop_back();
    p->FOwner = nullptr;
    delete p;
  }
  FMarkList.reset();
  FScrollTimer.reset();
}

void TCustomOndEdit::ResetKeystrokesToDefaults() { FKeystrokes->ResetDefaults(); }

void TCustomOndEdit::GiveLook() {
  // Shown or painted: its rows are needed from now on.
  FOutOfView = false;
  TCustomControl::GiveLook();
}

// ---- paint lock and status ---------------------------------------------------------

void TCustomOndEdit::UnlockPaint() {
  if (FPaintLock < 1) return;
  if (--FPaintLock > 0) return;
  if (FStateFlags & sfScrollBarsChanged) UpdateScrollBars();
  if (FWordWrapPlugin && (FStatusChanges & (StatusCaretChar | StatusCaretLine))) {
    const int wrap = FWordWrapPlugin->WrapWidth();
    const TDisplayCoord d = GetDisplayXY();
    if (wrap > 0 && d.Column > wrap + 1) {
      if (FWrapEndFlag) {
        FWrapEndFlag = false;
      } else if (FStatusChanges & StatusCaretLine) {
        const TBufferCoord p = DisplayToBufferPos(DisplayCoord(wrap + 1, d.Row));
        FCaretX = p.Char;
        FStatusChanges |= StatusCaretChar;
        FLastCaretX = BufferToDisplayPos(GetCaretXY()).Column;
      }
      FStateFlags |= sfCaretChanged;
    }
  }
  if (FStateFlags & sfCaretChanged) UpdateCaret();
  if (FStatusChanges & (StatusCaretLine | StatusAll)) UpdateCaretFoldRange();
  if (FStatusChanges != 0) DoOnStatusChange(FStatusChanges);
}

void TCustomOndEdit::StatusChanged(TOndStatusChanges Changes) {
  FStatusChanges |= Changes;
  if (FPaintLock == 0) DoOnStatusChange(FStatusChanges);
}

void TCustomOndEdit::DoOnStatusChange(TOndStatusChanges Changes) {
  if (!OnStatusChange) return;
  OnStatusChange(this, Changes);
  FStatusChanges = 0;
}

// ---- events -------------------------------------------------------------------------

void TCustomOndEdit::DoChange() {
  if (OnChange) OnChange(this);
}
void TCustomOndEdit::DoOnClearBookmark(TOndEditMark*& Mark) {
  if (OnClearBookmark) OnClearBookmark(this, Mark);
}
void TCustomOndEdit::DoOnPlaceMark(TOndEditMark*& Mark) {
  if (OnPlaceBookmark) OnPlaceBookmark(this, Mark);
}
void TCustomOndEdit::DoOnMouseCursor(const TBufferCoord& aLineCharPos, TCursor& aCursor) {
  if (OnMouseCursor) OnMouseCursor(this, aLineCharPos, aCursor);
}
void TCustomOndEdit::DoOnProcessCommand(TOndEditorCommand& Command, char& AChar, void* Data) {
  if (Command < 1001) {
    if (OnProcessCommand) OnProcessCommand(this, Command, AChar, Data);
  } else if (OnProcessUserCommand) {
    OnProcessUserCommand(this, Command, AChar, Data);
  }
}
void TCustomOndEdit::DoOnCommandProcessed(TOndEditorCommand Command, char AChar, void* Data) {
  if (OnCommandProcessed) OnCommandProcessed(this, Command, AChar, Data);
}
void TCustomOndEdit::DoOnReplaceText(const std::string& ASearch, const std::string& AReplace, int Line, int Column,
                                     TOndReplaceAction& Action) {
  Action = raCancel;
  if (OnReplaceText) OnReplaceText(this, ASearch, AReplace, Line, Column, Action);
}
bool TCustomOndEdit::DoOnSpecialLineColors(int Line, TColor& FG, TColor& BG) {
  bool special = false;
  if (OnSpecialLineColors) OnSpecialLineColors(this, Line, special, FG, BG);
  return special;
}

void TCustomOndEdit::DoOnPaint() {
  if (!OnPaint) return;
  Canvas()->Font.Assign(*FFontDummy);
  Canvas()->Brush.Color = FColor;
  Canvas()->Brush.Style = TBrushStyle::bsSolid;
  OnPaint(this, Canvas());
}

void TCustomOndEdit::DoOnPaintTransientEx(TTransientType TransientType, bool Lock) {
  bool doTransient = FPaintTransientLock == 0;
  if (Lock) {
    if (TransientType == ttBefore) {
      ++FPaintTransientLock;
    } else {
      --FPaintTransientLock;
      doTransient = FPaintTransientLock == 0;
    }
  }
  if (doTransient) DoOnPaintTransient(TransientType);
}

void TCustomOndEdit::DoOnPaintTransient(TTransientType TransientType) {
  if (!OnPaintTransient) return;
  if (!Canvas()->HandleAllocated()) {
    // What a transient handler draws belongs to painting, which calls it
    // with the after kind. Outside a paint it gets no canvas: it asks for
    // the lines whose marks change to be painted again, and nothing else.
    // A control not on the screen has nothing to ask for: showing it paints
    // it whole, and that paint finds its marks (a set's panels out of view
    // would otherwise each look for the partner of the bracket at the caret
    // on every caret move and edit, unseen).
    if (TransientType == ttAfter && Showing()) OnPaintTransient(this, nullptr, ttAfter);
    return;
  }
  Canvas()->Font.Assign(*FFontDummy);
  Canvas()->Brush.Color = FColor;
  OnPaintTransient(this, Canvas(), TransientType);
}

// ---- command hooks, focus controls -------------------------------------------------

void TCustomOndEdit::RegisterCommandHandler(const THookedCommandEvent& Handler, void* HandlerData) {
  if (!Handler) throw EOndEditError("Event handler is NIL in RegisterCommandHandler");
  for (const auto& e : FHookedCommandHandlers)
    if (e.Event == Handler)
      throw EOndEditError(PointerPairText("Event handler (%p, %p) already registered", Handler.Identity().Data,
                                          CodeOf(Handler.Identity())));
  FHookedCommandHandlers.push_back(THookedCommandHandlerEntry{Handler, HandlerData});
}

void TCustomOndEdit::UnregisterCommandHandler(const THookedCommandEvent& Handler) {
  if (!Handler) throw EOndEditError("Event handler is NIL in UnregisterCommandHandler");
  for (std::size_t i = FHookedCommandHandlers.size(); i-- > 0;) {
    if (FHookedCommandHandlers[i].Event == Handler) {
      FHookedCommandHandlers.erase(FHookedCommandHandlers.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
  throw EOndEditError(PointerPairText("Event handler (%p, %p) is not registered", Handler.Identity().Data,
                                      CodeOf(Handler.Identity())));
}

void TCustomOndEdit::NotifyHookedCommandHandlers(bool AfterProcessing, TOndEditorCommand& Command, char& AChar,
                                                 void* Data) {
  bool handled = false;
  const std::vector<THookedCommandHandlerEntry> entries = FHookedCommandHandlers;
  for (const auto& e : entries) e.Event(this, AfterProcessing, handled, Command, AChar, Data, e.Data);
  if (handled) Command = ecNone;
}

void TCustomOndEdit::AddFocusControl(TWinControl* Control) {
  if (!Control) return;
  if (std::find(FFocusList.begin(), FFocusList.end(), Control) == FFocusList.end()) FFocusList.push_back(Control);
  Control->FreeNotification(this);
}
void TCustomOndEdit::RemoveFocusControl(TWinControl* Control) { std::erase(FFocusList, Control); }

void TCustomOndEdit::SetFocus() {
  if (!FFocusList.empty())
    FFocusList.back()->SetFocus();
  else
    TCustomControl::SetFocus();
}

void TCustomOndEdit::SetAlwaysShowCaret(bool Value) {
  if (FAlwaysShowCaret == Value) return;
  FAlwaysShowCaret = Value;
  if (!FFocused) {
    if (Value) {
      InitializeCaret();
    } else {
      HideEditorCaret();
      DestroyCaret();
    }
  }
}

// ---- marks ------------------------------------------------------------------------

TOndEditMark* TCustomOndEdit::Bookmark(int Index) const noexcept {
  return Index >= 0 && Index < 10 ? FBookMarks[static_cast<std::size_t>(Index)] : nullptr;
}
void TCustomOndEdit::SetBookmarkSlot(int Index, TOndEditMark* Mark) noexcept {
  if (Index >= 0 && Index < 10) FBookMarks[static_cast<std::size_t>(Index)] = Mark;
}
void TCustomOndEdit::MarkFreed(TOndEditMark* Mark) {
  for (auto& slot : FBookMarks)
    if (slot == Mark) slot = nullptr;
  if (!FDestroying && Mark->GetVisible() && Mark->GetLine() > 0) InvalidateGutterLine(Mark->GetLine());
}

// ---- properties -------------------------------------------------------------------

void TCustomOndEdit::SetLines(const TStrings& Value) { FLines->Assign(Value); }

std::string TCustomOndEdit::GetLineText() const {
  if (FCaretY >= 1 && FCaretY <= FLines->GetCount()) return FLines->Get(FCaretY - 1);
  return std::string();
}
void TCustomOndEdit::SetLineText(const std::string& Value) {
  if (FCaretY >= 1 && FCaretY <= std::max(1, FLines->GetCount())) {
    if (FCaretY > FLines->GetCount())
      FLines->Add(Value);
    else
      FLines->Put(FCaretY - 1, Value);
  }
}
std::string TCustomOndEdit::GetEditorText() const { return TextWithFoldsExpanded(); }

void TCustomOndEdit::SetOptions(TOndEditorOptions Value) {
  if (Value == FOptions) return;
  const TOndEditorOptions old = FOptions;
  FOptions = Value;
  const bool pastEolOff = (old & eoScrollPastEol) && !(Value & eoScrollPastEol);
  const bool pastEofOff = (old & eoScrollPastEof) && !(Value & eoScrollPastEof);
  if (pastEolOff || pastEofOff) {
    SetLeftColumn(FView.LeftColumn);
    SetTopLine(FView.TopLine);
    if (pastEolOff) {
      const TBufferCoord b = FBlockBegin, e = FBlockEnd;
      InternalSetCaretXY(GetCaretXY());
      SetBlockBegin(b);
      SetBlockEnd(e);
    } else {
      InternalSetCaretXY(GetCaretXY());
    }
  }
  if ((old ^ Value) & eoDropFiles) DragAcceptFiles((Value & eoDropFiles) != 0);
  const bool special = (Value & eoShowSpecialChars) != 0;
  if (special != FShowSpecialChars) {
    FShowSpecialChars = special;
    Invalidate();
  }
  UpdateScrollBars();
}

void TCustomOndEdit::SetTabWidth(int Value) {
  Value = MinMax(Value, 1, 256);
  if (Value == FTabWidth) return;
  FTabWidth = Value;
  FAllFoldRanges->Settle();  // the indentation of ranges still to be found
  FLines->SetTabWidth(Value);
  if (FWordWrapPlugin) FWordWrapPlugin->Reset();
  Invalidate();
}

void TCustomOndEdit::SetMaxScrollWidth(int Value) {
  Value = MinMax(Value, 1, 2147483646);
  if (Value == FMaxScrollWidth) return;
  FMaxScrollWidth = Value;
  if (FOptions & eoScrollPastEol) UpdateScrollBars();
}

void TCustomOndEdit::SetInsertMode(bool Value) {
  if (FInsertMode == Value) return;
  FInsertMode = Value;
  InitializeCaret();
  StatusChanged(StatusInsertMode);
}
void TCustomOndEdit::SetInsertCaret(TOndEditCaretType Value) {
  if (FInsertCaret == Value) return;
  FInsertCaret = Value;
  InitializeCaret();
}
void TCustomOndEdit::SetOverwriteCaret(TOndEditCaretType Value) {
  if (FOverwriteCaret == Value) return;
  FOverwriteCaret = Value;
  InitializeCaret();
}
void TCustomOndEdit::SetReadOnly(bool Value) {
  if (FReadOnly == Value) return;
  FReadOnly = Value;
  StatusChanged(StatusReadOnly);
}
void TCustomOndEdit::SetHideSelection(bool Value) {
  if (FHideSelection == Value) return;
  FHideSelection = Value;
  InvalidateSelection();
}
void TCustomOndEdit::SetSelectionMode(TOndSelectionMode Value) {
  if (FSelectionMode == Value) return;
  FSelectionMode = Value;
  if (SelAvail()) Invalidate();
  StatusChanged(StatusSelection);
}
void TCustomOndEdit::SetBorderStyle(TBorderStyle Value) {
  if (FBorderStyle == Value) return;
  FBorderStyle = Value;
  // The one-pixel frame takes its place from the client area: the editor
  // lays its rows and columns out again.
  SetFrameWidth(Value == TBorderStyle::bsSingle ? 1 : 0);
  Invalidate();
}
void TCustomOndEdit::SetLineSpacing(int Value) {
  if (FLineSpacing == Value) return;
  FLineSpacing = Value;
  FontChanged();
}
void TCustomOndEdit::SetLineSpacingRule(TLineSpacingRule Value) {
  if (FLineSpacingRule == Value) return;
  FLineSpacingRule = Value;
  FontChanged();
}
void TCustomOndEdit::SetMaxUndo(int Value) {
  if (Value < 0) return;
  FUndoList->SetMaxUndo(Value);
  FRedoList->SetMaxUndo(Value);
}
void TCustomOndEdit::SetKeystrokes(const TOndEditKeyStrokes* Value) {
  if (Value)
    FKeystrokes->Assign(*Value);
  else
    FKeystrokes->Clear();
}
void TCustomOndEdit::SetColor(TColor Value) {
  FColor = Value;
  Invalidate();
}

void TCustomOndEdit::SetFont(const TFont& Value) { Font.Assign(Value); }

void TCustomOndEdit::SetSearchEngine(TOndEditSearchCustom* Value) {
  if (Value == FSearchEngine) return;
  if (FSearchEngine) FSearchEngine->RemoveFreeNotification(this);
  FSearchEngine = Value;
  if (FSearchEngine) FSearchEngine->FreeNotification(this, [this] { FSearchEngine = nullptr; });
}

void TCustomOndEdit::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove)
    std::erase_if(FFocusList, [AComponent](const TWinControl* c) { return c == AComponent; });
  if (Operation == TOperation::opRemove && FBookMarkOpt && AComponent == FBookMarkOpt->GetBookmarkImages())
    FBookMarkOpt->SetBookmarkImages(nullptr);
}

void TCustomOndEdit::SetHighlighter(TOndCustomHighlighter* Value) {
  if (Value == FHighlighter) return;
  // A postponed fold scan asks the highlighter it was put off with; an
  // editor being destroyed needs no ranges any more.
  if (FDestroying) DropPostponedFoldScan();
  else FAllFoldRanges->Settle();
  DropBracketSearch();
  const TOndNotifyEvent hook(this, &TCustomOndEdit::HighlighterAttrChanged);
  if (FHighlighter) {
    FHighlighter->RemoveAttributeChangeHandler(hook);
    FHighlighter->RemoveFreeNotification(this);
  }
  FHighlighter = Value;
  if (FHighlighter) {
    FHighlighter->AddAttributeChangeHandler(hook);
    FHighlighter->FreeNotification(this, [this] {
      // Too late to ask it: a postponed fold scan goes with it.
      DropPostponedFoldScan();
      DropBracketSearch();
      FHighlighter = nullptr;
      if (!FDestroying) {
        RecalcCharExtent();
        Invalidate();
      }
    });
  }
  if (!FDestroying) {
    HighlighterAttrChanged(nullptr);
    Invalidate();
  }
}

void TCustomOndEdit::HighlighterAttrChanged(void*) {
  FAllFoldRanges->Settle();
  DropBracketSearch();
  RecalcCharExtent();
  FLines->BeginUpdate();
  {
    const TScopeExit endUpdate([&] { FLines->EndUpdate(); });
    ScanRanges();
  }
  SizeOrFontChanged(true);
}

void TCustomOndEdit::SetWordWrap(bool Value) { ApplyWordWrap(Value); }

// ---- font, extent, size ---------------------------------------------------------------

void TCustomOndEdit::FontChanged() {
  TCustomControl::FontChanged();
  // A proportional font is drawn through a fixed-pitch copy of it.
  TTextMetric tm;
  // Measured on one small bitmap that every editor shares: the off-screen
  // image itself gets its size at the first paint.
  static TBitmap* const measureBmp = new TBitmap(1, 1);
  TCanvas* measure = measureBmp->Canvas();
  measure->Font.Assign(Font);
  measure->GetTextMetrics(tm);
  FFontDummy->Assign(Font);
  if (tm.tmAveCharWidth != tm.tmMaxCharWidth) FFontDummy->SetPitch(TFontPitch::fpFixed);
  RecalcCharExtent();
  SizeOrFontChanged(true);
}

void TCustomOndEdit::RecalcCharExtent() {
  // The bold and italic combinations in use, measured with the base font.
  bool used[4] = {false, false, false, false};
  bool any = false;
  if (FHighlighter) {
    for (int i = 0; i < FHighlighter->GetAttribCount(); ++i) {
      if (TOndHighlighterAttributes* a = FHighlighter->GetAttribute(i)) {
        used[a->GetStyle() & (fsBold | fsItalic)] = true;
        any = true;
      }
    }
  }
  if (!any) used[FFontDummy->GetStyle() & (fsBold | fsItalic)] = true;
  FTextDrawer->SetBaseFont(FFontDummy.get());
  int width = 1, height = 1;
  for (int s = 0; s < 4; ++s) {
    if (!used[s]) continue;
    width = std::max(width, FTextDrawer->StyleAdvance(static_cast<TFontStyles>(s)));
    height = std::max(height, FTextDrawer->StyleHeight(static_cast<TFontStyles>(s)));
  }
  FView.CharWidth = std::max(1, width);
  FTextHeight = std::max(1, height);
  int extra = 2;
  switch (FLineSpacingRule) {
    case lsSingle: extra = 2; break;
    case lsOneAndHalf: extra = static_cast<int>(Round(FTextHeight * 0.5)) + 2; break;
    case lsDouble: extra = FTextHeight + 2; break;
    case lsSpecified: extra = FLineSpacing; break;
  }
  FView.LineHeight = std::max(1, FTextHeight + extra);
}

void TCustomOndEdit::SizeOrFontChanged(bool WithFont) {
  if (WithFont) GutterChanged(nullptr);
  FView.FitClient(ClientWidth(), ClientHeight());
  if (FWordWrapPlugin) FWordWrapPlugin->DisplayChanged();
  InitializeCaret();
  FStateFlags |= sfCaretChanged;
  UpdateCaret();
  UpdateScrollBars();
  Invalidate();
}

void TCustomOndEdit::Resize() {
  TCustomControl::Resize();
  SizeOrFontChanged(false);
}

void TCustomOndEdit::GutterChanged(TObject*) {
  // Room for the fold strip and the modified bars.
  int minRight = 0;
  if (FCodeFolding->GetEnabled()) minRight = 13;
  if (FGutter->GetShowLineModified()) minRight += 4;
  if (FGutter->GetRightOffset() < minRight) {
    FGutter->SetRightOffset(minRight);  // comes back here
    return;
  }
  ApplyGutterWidth();
}

int TCustomOndEdit::GutterRightOffset() const {
  // The fold strip and the modified bars always get their room, also when
  // folding was switched on after the offset was set.
  int minRight = 0;
  if (FCodeFolding->GetEnabled()) minRight = 13;
  if (FGutter->GetShowLineModified()) minRight += 4;
  return std::max(FGutter->GetRightOffset(), minRight);
}

void TCustomOndEdit::ApplyGutterWidth() {
  {
    const TNotifyEvent saved = std::move(FGutter->OnChange);
    FGutter->OnChange = nullptr;
    FitGutterDigits(true);
    FGutter->OnChange = saved;
  }
  int digitWidth = FView.CharWidth;
  if (FGutter->GetUseFontStyle()) {
    const TFont& f = FGutter->Font();
    GutterDigitCache& c = FGutterDigit;
    if (c.Width <= 0 || c.Name != f.GetName() || c.Height != f.GetHeight() || c.Style != f.GetStyle() ||
        c.Pitch != f.GetPitch() || c.BaseStyle != FTextDrawer->GetBaseStyle()) {
      FTextDrawer->SetBaseFont(&f);
      c.Width = FTextDrawer->CellWidth();
      FTextDrawer->SetBaseFont(FFontDummy.get());
      c.Name = f.GetName();
      c.Height = f.GetHeight();
      c.Style = f.GetStyle();
      c.Pitch = f.GetPitch();
      c.BaseStyle = FTextDrawer->GetBaseStyle();
    }
    digitWidth = c.Width;
  }
  FGutterCharWidth = FView.CharWidth;
  int width = FGutter->GutterPixelWidth(digitWidth);
  if (width > 0 && FGutter->GetShowLineNumbers()) width += GutterRightOffset() - FGutter->GetRightOffset();
  if (width > 0 && FGutterNumbersFull) width += digitWidth;
  if (width != FView.GutterWidth) {
    FView.GutterWidth = width;
    FView.FitClient(ClientWidth(), ClientHeight());
    if (FWordWrapPlugin) FWordWrapPlugin->DisplayChanged();
    FStateFlags |= sfCaretChanged;
    if (FPaintLock == 0) UpdateCaret();
    Invalidate();
  } else {
    InvalidateGutter();
  }
}

void TCustomOndEdit::UpdateScrollBars() {
  if (FPaintLock > 0) {
    FStateFlags |= sfScrollBarsChanged;
    return;
  }
  FStateFlags &= static_cast<TOndStateFlags>(~sfScrollBarsChanged);
  // Showing or hiding a bar resizes the client area, which comes back here.
  if (FUpdatingScrollBars || FDestroying) return;
  FUpdatingScrollBars = true;
  const TScopeExit restore([&] { FUpdatingScrollBars = false; });
  TOndScrollBarPlan h, v;
  PlanScrollBars(ScrollState(), h, v);
  ApplyScrollBar(TScrollBarKind::sbHorizontal, h);
  ApplyScrollBar(TScrollBarKind::sbVertical, v);
}

void TCustomOndEdit::SetLeftColumn(int Value) {
  const TOndScrollState st = ScrollState();
  if (st.WrapWidth > 0 && st.WrapWidth <= FView.CharsInWindow) Value = 1;
  Value = ClampLeftColumn(Value, st);
  if (Value == FView.LeftColumn) return;
  const int delta = FView.LeftColumn - Value;
  FView.LeftColumn = Value;
  const TRect text = Rect(FView.GutterWidth + 2, 0, ClientWidth(), ClientHeight());
  if (std::abs(delta) < FView.CharsInWindow && FPaintLock == 0 && FInvalidateRect.IsEmpty())
    ScrollWindow(delta * FView.CharWidth, 0, &text);
  else
    TControl::InvalidateRect(text);
  if ((FOptions & eoScrollPastEol) && (FOptions & eoAutoSizeMaxScrollWidth)) {
    if (Value + FView.CharsInWindow > FMaxScrollWidth)
      SetMaxScrollWidth(Value + FView.CharsInWindow);
    else
      UpdateScrollBars();
  } else {
    UpdateScrollBars();
  }
  FStateFlags |= sfCaretChanged;
  if (FPaintLock == 0) UpdateCaret();
  StatusChanged(StatusLeftColumn);
  InvalidateLine(FCaretY);
}

void TCustomOndEdit::SetTopLine(int Value) {
  Value = ClampTopLine(Value, DisplayRowCount(), FView.LinesInWindow, (FOptions & eoScrollPastEof) != 0);
  if (Value == FView.TopLine) return;
  const int delta = FView.TopLine - Value;
  FView.TopLine = Value;
  // Content moves by whole rows; what is pending to be painted is not moved
  // with it, so then everything is painted again.
  if (std::abs(delta) < FView.LinesInWindow && FPaintLock == 0 && FInvalidateRect.IsEmpty())
    ScrollWindow(0, delta * FView.LineHeight);
  else
    TControl::Invalidate();
  UpdateScrollBars();
  FStateFlags |= sfCaretChanged;
  if (FPaintLock == 0) UpdateCaret();
  StatusChanged(StatusTopLine);
}

// ---- buffer notifications -------------------------------------------------------------

int TCustomOndEdit::ScanFrom(int Index) {
  const int count = FLines->GetCount();
  if (!FHighlighter || Index < 0 || Index >= count) return Index;
  if (Index >= FRangesKnown) {
    // A line whose state was never scanned has nothing to keep up to date,
    // but what it held before the change is not known either: the lines
    // after it may all look different now (a comment opened there reaches
    // them). With folds, whose update reads these states anyway, its state
    // and those above it are read now when they are near, so that the next
    // edit there has a state to agree with; without, they wait for the first
    // look-up.
    if (FCodeFolding->GetEnabled() && Index - FRangesKnown < kScanFromLines) {
      if (FRangesKnown == 0)
        FHighlighter->ResetRange();
      else
        FHighlighter->SetRange(FLines->GetRange(FRangesKnown - 1));
      const CounterScope writing(FWritingRanges);
      ScanLineRanges(*FHighlighter, *FLines, FRangesKnown, Index);
      FRangesKnown = Index + 1;
    }
    return count - 1;
  }
  if (Index == 0)
    FHighlighter->ResetRange();
  else
    FHighlighter->SetRange(FLines->GetRange(Index - 1));
  const CounterScope writing(FWritingRanges);
  int i = Index;
  std::string buffer;
  std::size_t bytes = 0;
  do {
    if (i - Index >= kScanFromLines || bytes >= kScanFromBytes) {
      // Far from the change and still out of step: the rest waits until
      // it is needed.
      FRangesKnown = i;
      break;
    }
    const std::string_view text = ExpandedLine(i, buffer);
    bytes += text.size();
    FHighlighter->SetLine(text, i);
    FHighlighter->SkipToEolForRange();
    // The first line whose end state is the one stored ends the rescan: the
    // lines after it start as they did.
    const TOndRangeState r = FHighlighter->GetRange();
    if (r == FLines->GetRange(i)) return i;
    FLines->PutRange(i, r);
    ++i;
  } while (i < FRangesKnown);
  // The lines after the known ones start from the new state when they are
  // scanned; all of them may look different now.
  return count - 1;
}

void TCustomOndEdit::ScanRanges() {
  FRangesKnown = 0;
  if (!FHighlighter || FLines->GetCount() == 0) return;
  ScanRangesThrough(FLines->GetCount() - 1);
}

void TCustomOndEdit::ScanRangesThrough(int Index) const {
  if (!FHighlighter) return;
  Index = std::min(Index, FLines->GetCount() - 1);
  if (Index < FRangesKnown) return;
  if (FCodeMap.LineIndex() == FRangesKnown && FCodeMap.Highlighter() == FHighlighter) {
    // A pass over this line began for its tokens: it goes on to the end
    // instead of cutting the line again.
    const CounterScope writing(FWritingRanges);
    FLines->PutRange(FRangesKnown, FCodeMap.Finish());
    if (Index < ++FRangesKnown) return;
  }
  if (FRangesKnown == 0)
    FHighlighter->ResetRange();
  else
    FHighlighter->SetRange(FLines->GetRange(FRangesKnown - 1));
  const CounterScope writing(FWritingRanges);
  // One update around all the states written, not one per line.
  FLines->BeginUpdate();
  const TScopeExit endUpdate([this] { FLines->EndUpdate(); });
  ScanLineRanges(*FHighlighter, *FLines, FRangesKnown, Index);
  FRangesKnown = Index + 1;
}

std::string_view TCustomOndEdit::ExpandedLine(int Index, std::string& Buffer) const {
  // Most lines hold no tab: their text is their expanded text.
  if (!FLines->LineHasTabs(Index)) return FLines->GetView(Index);
  Buffer = FLines->GetExpandedText(Index);
  return Buffer;
}

void TCustomOndEdit::ListChanging(TOndEditStringList*) { FStateFlags |= sfLinesChanging; }

void TCustomOndEdit::ListChanged(TOndEditStringList*) { LinesChanged(); }

void TCustomOndEdit::LinesChanged() {
  FStateFlags &= static_cast<TOndStateFlags>(~sfLinesChanging);
  // The gutter first: its width decides the wrap width, so that word wrap
  // lays the changed text out once, for the width it keeps.
  // A fold opened or closed changes the buffer's lines, not the file's: the
  // fold's own notice fits the gutter.
  if (FFoldToggling == 0) FitGutterDigits(false);
  UpdateScrollBars();
  // A change from outside the edit primitives leaves no selection behind.
  if (FEditShiftsMarks == 0 && FFoldToggling == 0 && SelAvail()) {
    FBlockBegin = FBlockEnd = ClampToText(GetCaretXY());
    StatusChanged(StatusSelection);
  }
  InvalidatePending();
  // A view at the top stays there whatever the text: no row count needed.
  if (!(FOptions & eoScrollPastEof) && FView.TopLine > 1) SetTopLine(FView.TopLine);
}

void TCustomOndEdit::ListCleared(TOndEditStringList*) {
  FRangesKnown = 0;
  if (FWordWrapPlugin) FWordWrapPlugin->Reset();
  // The ranges belonged to the text that went.
  FHighlightedFoldRange = nullptr;
  // A million ranges take longer to free than to read their text again (a
  // reload): with none collapsed they are taken out of the tree at once and
  // freed in idle pieces. The fold index, when current, tells whether any is
  // collapsed without a walk over the ranges.
  auto noneCollapsed = [&] {
    if (FAllFoldRanges->IndexCurrent()) return !FAllFoldRanges->Index().CollapsedBetween(1, INT_MAX);
    const auto& all = FAllFoldRanges->AllRangeList();
    return std::none_of(all.begin(), all.end(), [](const auto& r) { return r->Collapsed; });
  };
  if (!FAllFoldRanges->ScanPending() && FAllFoldRanges->AllCount() > 0 && noneCollapsed()) {
    FAllFoldRanges->RetireAll();
    StartIdleWork();
  }
  FAllFoldRanges->FreeAllRanges();
  FFoldChangeCount = 0;
  ForgetFoldChanges(false);
  FUndoList->Clear();
  FRedoList->Clear();
  FInvalidateRect = TRect{};
  FInvalidatePieces.clear();
  FBlockBegin = FBlockEnd = BufferCoord(1, 1);
  FCaretX = FCaretY = FLastCaretX = 1;
  FView.TopLine = 1;
  FView.LeftColumn = 1;
  FStateFlags |= sfCaretChanged;
  InvalidateRect(ClientRect(), false);
  StatusChanged(StatusAll);
}

void TCustomOndEdit::ListDeleted(TOndEditStringList*, int Index, int Count) {
  // The known states before the deleted lines stay, and so do those after
  // them when all of the deleted ones were known.
  if (Index + Count <= FRangesKnown)
    FRangesKnown -= Count;
  else
    FRangesKnown = std::min(FRangesKnown, Index);
  if (FHighlighter && FLines->GetCount() > 0) {
    const int from = std::min(Index, FLines->GetCount() - 1);
    const int stop = ScanFrom(from);
    FoldLinesRecoloured(stop);
    if (FoldTokensRecoloured(from, stop) && FFoldToggling == 0) ++FFoldChangeCount;
  }
  if (FWordWrapPlugin) FWordWrapPlugin->LinesDeleted(Index, Count);
  if (FEditShiftsMarks == 0) MarksLinesDeleted(Index + 1, Count);
  for (TOndEditPlugin* p : std::vector<TOndEditPlugin*>(FPlugins)) p->LinesDeleted(Index + 1, Count);
  InvalidateLines(Index + 1, INT_MAX);
  InvalidateGutterLines(Index + 1, INT_MAX);
}

void TCustomOndEdit::ListInserted(TOndEditStringList*, int Index, int Count) {
  // Lines inserted among the known ones are scanned now (the known lines
  // after them move down); lines added after the known ones, a loaded text
  // among them, wait until they are needed.
  // Lines an expand puts back below a known header are read again too, as
  // many as one rescan reads: an edit among them later finds states to agree
  // with. More stay unknown, and an edit there reads them when it comes.
  if (Index < FRangesKnown || (FFoldToggling != 0 && Index > 0 && Index == FRangesKnown && Count <= kScanFromLines))
    FRangesKnown += Count;
  bool recoloured = false;
  if (FHighlighter && FLines->GetCount() > 0 && Index < FRangesKnown) {
    int i = Index;
    do {
      i = ScanFrom(i) + 1;
    } while (i < Index + Count && i < FLines->GetCount());
    // The lines after the inserted ones start in other states.
    FoldLinesRecoloured(i - 1);
    recoloured = FoldTokensRecoloured(Index + Count - 1, i - 1);
  }
  if (FWordWrapPlugin) FWordWrapPlugin->LinesInserted(Index, Count);
  if (FEditShiftsMarks == 0) MarksLinesInserted(Index + 1, Count);
  for (TOndEditPlugin* p : std::vector<TOndEditPlugin*>(FPlugins)) p->LinesInserted(Index + 1, Count);
  if (FCodeFolding->GetEnabled() && FFoldToggling == 0) {
    if (recoloured) ++FFoldChangeCount;
    for (int k = Index; k < Index + Count && k < FLines->GetCount() && !recoloured; ++k)
      if (!FoldSignature(FLines->GetView(k)).empty()) {
        ++FFoldChangeCount;
        break;
      }
  }
  if ((FOptions & eoAutoSizeMaxScrollWidth) && Index < FLines->GetCount()) {
    const int len = FLines->GetExpandedTextLength(Index);
    if (len > FMaxScrollWidth) SetMaxScrollWidth(len);
  }
  InvalidateLines(Index + 1, INT_MAX);
  InvalidateGutterLines(Index + 1, INT_MAX);
}

void TCustomOndEdit::ListBeforePut(int Index) {
  if (FCodeFolding->GetEnabled() && FFoldToggling == 0) FTextBeforePut = FoldSignature(FLines->GetView(Index));
  const std::optional<TOndLineExtra> extra = FLines->GetLineExtra(Index);
  FModifiedStateBeforePut = extra ? extra->ModifiedState : -1;
  // A wrapped line repaints from the row its change reaches, found against
  // the text it had (kept in a buffer reused from key to key).
  FWrapPutLine = FWordWrapPlugin && FWordWrapPlugin->LaidOut() ? Index : -1;
  if (FWrapPutLine >= 0) FWrapTextBeforePut.assign(FLines->GetView(Index));
}

void TCustomOndEdit::ListPut(TOndEditStringList*, int Index, int Count) {
  int last = Index + 1;  // the last line to repaint, 1-based
  int fromRow = 0;       // when set, the first row of line Index to repaint
  bool rowsMoved = false;
  if (FWordWrapPlugin) {
    const bool kept = FWrapPutLine == Index && Count == 1;
    FWrapPutLine = -1;
    if (FWordWrapPlugin->LinesChanged(Index, Count) != 0) {
      rowsMoved = true;
      last = INT_MAX;
    } else if (kept && FWordWrapPlugin->LaidOut()) {
      fromRow = WrappedRowChangedFrom(Index);
    }
  }
  bool recoloured = false;
  if (FHighlighter) {
    // Lines down to the one whose state came out as before look different.
    const int stop = ScanFrom(Index);
    FoldLinesRecoloured(stop);
    last = std::max(last, stop + 1);
    if (FLines != FOwnLines.get()) last = INT_MAX;
    recoloured = FoldTokensRecoloured(Index, stop);
  }
  // The gutter shows no text or highlighting of a line: it changes where
  // rows moved, or where the line's modified mark did.
  const std::optional<TOndLineExtra> extra = Count == 1 ? FLines->GetLineExtra(Index) : std::nullopt;
  if (rowsMoved || FLines != FOwnLines.get() || OnGutterGetText)
    InvalidateGutterLines(Index + 1, last);
  else if (!extra || extra->ModifiedState != FModifiedStateBeforePut)
    InvalidateGutterLines(Index + 1, Index + Count);
  int top, bottom;
  if (fromRow == 0)
    InvalidateLines(Index + 1, last);
  else if (FView.RowsSpan(fromRow, last > FLines->GetCount() ? INT_MAX : LineToRow(last + 1) - 1, Height(), top,
                          bottom))
    InvalidateRect(Rect(FView.GutterWidth, top, Width(), bottom), false);
  if ((FOptions & eoAutoSizeMaxScrollWidth) && Index < FLines->GetCount()) {
    const int len = FLines->GetExpandedTextLength(Index);
    if (len > FMaxScrollWidth) SetMaxScrollWidth(len);
  }
  if (FCodeFolding->GetEnabled() && FFoldToggling == 0 &&
      (recoloured || FoldSignature(FLines->GetView(Index)) != FTextBeforePut))
    ++FFoldChangeCount;
}

// ---- marks following the buffer -------------------------------------------------------

void TCustomOndEdit::MarksLinesInserted(int Line, int Count) {
  for (int i = 0; i < FMarkList->Count(); ++i)
    if (TOndEditMark* m = FMarkList->Items(i); m && m->GetLine() >= Line) m->SetLine(m->GetLine() + Count);
}

void TCustomOndEdit::MarksLinesDeleted(int Line, int Count) {
  for (int i = 0; i < FMarkList->Count(); ++i) {
    TOndEditMark* m = FMarkList->Items(i);
    if (!m) continue;
    if (m->GetLine() >= Line + Count)
      m->SetLine(m->GetLine() - Count);
    else if (m->GetLine() > Line)
      m->SetLine(Line);
  }
}

}  // namespace ond
