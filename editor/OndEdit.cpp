#include "editor/OndEdit.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "highlight/OndEditHighlighter.h"
#include "platform/core/CodePage.h"
#include "platform/ImgList.h"
#include "search/OndCompletionProposal.h"
#include "search/OndEditSearch.h"

namespace ond {

namespace {

constexpr char kPilcrow = '\xB6';     // shown after a line's end
constexpr char kMiddleDot = '\xB7';   // shown for a blank

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

  FBufferBmp = std::make_unique<TBitmap>();
  FScrollBars = std::make_unique<TOndScrollBars>();
  FScrollBars->OnChange = [this](TObject*) {
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

  FLines->OnChange = [this](TOndEditStringList* s) { ListChanged(s); };
  FLines->OnChanging = [this](TOndEditStringList* s) { ListChanging(s); };
  FLines->OnLinesCleared = [this](TOndEditStringList* s) { ListCleared(s); };
  FLines->OnLinesDeleted = [this](TOndEditStringList* s, int i, int n) { ListDeleted(s, i, n); };
  FLines->OnLinesInserted = [this](TOndEditStringList* s, int i, int n) { ListInserted(s, i, n); };
  FLines->OnLineReplaced = [this](TOndEditStringList* s, int i, int n) { ListPut(s, i, n); };
  FLines->OnBeforeLineReplaced = [this](TOndEditStringList*, int i, int) { ListBeforePut(i); };
  FLines->OnBeforeLinesDeleted = [this](TOndEditStringList*, int i, int n) {
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
  FLines->OnChange = nullptr;
  FLines->OnChanging = nullptr;
  FLines->OnLinesCleared = nullptr;
  FLines->OnLinesDeleted = nullptr;
  FLines->OnLinesInserted = nullptr;
  FLines->OnLineReplaced = nullptr;
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
    // What a transient handler draws belongs to painting: ask for a paint,
    // which calls it with the after kind.
    if (TransientType == ttAfter) TControl::InvalidateRect(ClientRect());
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
  if (std::find(FFocusList.begin(), FFocusList.end(), Control) == FFocusList.end()) FFocusList.push_back(Control);
}
void TCustomOndEdit::RemoveFocusControl(TWinControl* Control) { std::erase(FFocusList, Control); }

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

void TCustomOndEdit::SetHighlighter(TOndCustomHighlighter* Value) {
  if (Value == FHighlighter) return;
  const TOndNotifyEvent hook(this, &TCustomOndEdit::HighlighterAttrChanged);
  if (FHighlighter) {
    FHighlighter->RemoveAttributeChangeHandler(hook);
    FHighlighter->RemoveFreeNotification(this);
  }
  FHighlighter = Value;
  if (FHighlighter) {
    FHighlighter->AddAttributeChangeHandler(hook);
    FHighlighter->FreeNotification(this, [this] {
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
  RecalcCharExtent();
  FLines->BeginUpdate();
  try {
    ScanRanges();
  } catch (...) {
    FLines->EndUpdate();
    throw;
  }
  FLines->EndUpdate();
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
  if (FGutter->GetShowLineNumbers() && FGutter->GetAutoSize()) {
    const TNotifyEvent saved = std::move(FGutter->OnChange);
    FGutter->OnChange = nullptr;
    FGutter->UpdateAutoDigits(FLines->GetCount());
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
  try {
    TOndScrollBarPlan h, v;
    PlanScrollBars(ScrollState(), h, v);
    ApplyScrollBar(TScrollBarKind::sbHorizontal, h);
    ApplyScrollBar(TScrollBarKind::sbVertical, v);
  } catch (...) {
    FUpdatingScrollBars = false;
    throw;
  }
  FUpdatingScrollBars = false;
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

// ---- caret shape -----------------------------------------------------------------------

void TCustomOndEdit::ComputeCaret(int& W, int& H, TPoint& Offset) const {
  const TOndEditCaretType ct = FInsertMode ? FInsertCaret : FOverwriteCaret;
  // Half the extra line spacing lies above the text.
  const int cw = FView.CharWidth, th = FTextHeight, h = (FView.LineHeight - FTextHeight) / 2;
  switch (ct) {
    case ctHorizontalLine: W = cw; H = 2; Offset = TPoint{0, th - 2 + h}; break;
    case ctHalfBlock: W = cw; H = (th - 2) / 2; Offset = TPoint{0, h + (th - 2) / 2}; break;
    case ctBlock: W = cw; H = th - 2; Offset = TPoint{0, h}; break;
    default: W = 2; H = th - 2; Offset = TPoint{-1, h}; break;
  }
}

void TCustomOndEdit::InitializeCaret() {
  if (!(FFocused || FAlwaysShowCaret) || (FOptions & eoNoCaret)) return;
  int w, h;
  ComputeCaret(w, h, FCaretOffset);
  FStateFlags &= static_cast<TOndStateFlags>(~sfCaretVisible);
  CreateCaret(w, h);
  FStateFlags |= sfCaretChanged;
  UpdateCaret();
}

void TCustomOndEdit::HideEditorCaret() {
  if (!(FStateFlags & sfCaretVisible)) return;
  HideCaret();
  FStateFlags &= static_cast<TOndStateFlags>(~sfCaretVisible);
}

void TCustomOndEdit::ShowEditorCaret() {
  if ((FStateFlags & sfCaretVisible) || (FOptions & eoNoCaret)) return;
  if (!(FFocused || FAlwaysShowCaret)) return;
  ShowCaret();
  FStateFlags |= sfCaretVisible;
}

void TCustomOndEdit::UpdateCaret() {
  if (FPaintLock > 0) {
    FStateFlags |= sfCaretChanged;
    return;
  }
  FStateFlags &= static_cast<TOndStateFlags>(~sfCaretChanged);
  const TPoint p = RowColumnToPixels(GetDisplayXY());
  const int x = p.X + FCaretOffset.X, y = p.Y + FCaretOffset.Y + 1;
  const bool inText = p.X >= FView.GutterWidth + 2 - 1 && p.X < Width() && p.Y >= 0 && p.Y < Height();
  if (inText) {
    SetCaretPos(x, y);
    ShowEditorCaret();
  } else {
    HideEditorCaret();
  }
  SetCompositionPoint(p.X, p.Y);
}

void TCustomOndEdit::DoEnter() {
  FFocused = true;
  CommandProcessor(ecGotFocus, '\0', nullptr);
  InitializeCaret();
  if (FHideSelection && SelAvail()) InvalidateSelection();
  TCustomControl::DoEnter();
}

void TCustomOndEdit::DoExit() {
  FFocused = false;
  CommandProcessor(ecLostFocus, '\0', nullptr);
  FScrollTimer->SetEnabled(false);
  if (!FAlwaysShowCaret) {
    HideEditorCaret();
    DestroyCaret();
  }
  if (FHideSelection && SelAvail()) InvalidateSelection();
  TCustomControl::DoExit();
}

// ---- buffer notifications -------------------------------------------------------------

int TCustomOndEdit::ScanFrom(int Index) {
  const int count = FLines->GetCount();
  if (!FHighlighter || Index < 0 || Index >= count) return Index;
  if (Index == 0)
    FHighlighter->ResetRange();
  else
    FHighlighter->SetRange(FLines->GetRange(Index - 1));
  int i = Index;
  do {
    const std::string text = FLines->GetExpandedText(i);
    FHighlighter->SetLine(text, i);
    FHighlighter->SkipToEol();
    const TOndRangeState r = FHighlighter->GetRange();
    if (i > Index && r == FLines->GetRange(i)) return i - 1;
    FLines->PutRange(i, r);
    ++i;
  } while (i < count);
  return i - 1;
}

void TCustomOndEdit::ScanRanges() {
  if (!FHighlighter || FLines->GetCount() == 0) return;
  FHighlighter->ResetRange();
  for (int i = 0; i < FLines->GetCount(); ++i) {
    const std::string text = FLines->GetExpandedText(i);
    FHighlighter->SetLine(text, i);
    FHighlighter->SkipToEol();
    FLines->PutRange(i, FHighlighter->GetRange());
  }
}

void TCustomOndEdit::ListChanging(TOndEditStringList*) { FStateFlags |= sfLinesChanging; }

void TCustomOndEdit::ListChanged(TOndEditStringList*) { LinesChanged(); }

void TCustomOndEdit::LinesChanged() {
  FStateFlags &= static_cast<TOndStateFlags>(~sfLinesChanging);
  UpdateScrollBars();
  // A change from outside the edit primitives leaves no selection behind.
  if (FEditShiftsMarks == 0 && FFoldToggling == 0 && SelAvail()) {
    FBlockBegin = FBlockEnd = ClampToText(GetCaretXY());
    StatusChanged(StatusSelection);
  }
  if (!FInvalidateRect.IsEmpty()) TControl::InvalidateRect(FInvalidateRect);
  FInvalidateRect = TRect{};
  if (FGutter->GetShowLineNumbers() && FGutter->GetAutoSize()) FGutter->UpdateAutoDigits(FLines->GetCount());
  if (!(FOptions & eoScrollPastEof)) SetTopLine(FView.TopLine);
}

void TCustomOndEdit::ListCleared(TOndEditStringList*) {
  if (FWordWrapPlugin) FWordWrapPlugin->Reset();
  // The ranges belonged to the text that went.
  FHighlightedFoldRange = nullptr;
  FAllFoldRanges->FreeAllRanges();
  FFoldChangeCount = 0;
  FUndoList->Clear();
  FRedoList->Clear();
  FInvalidateRect = TRect{};
  FBlockBegin = FBlockEnd = BufferCoord(1, 1);
  FCaretX = FCaretY = FLastCaretX = 1;
  FView.TopLine = 1;
  FView.LeftColumn = 1;
  FStateFlags |= sfCaretChanged;
  InvalidateRect(ClientRect(), false);
  StatusChanged(StatusAll);
}

void TCustomOndEdit::ListDeleted(TOndEditStringList*, int Index, int Count) {
  if (FHighlighter && FLines->GetCount() > 0) ScanFrom(std::min(Index, FLines->GetCount() - 1));
  if (FWordWrapPlugin) FWordWrapPlugin->LinesDeleted(Index, Count);
  if (FEditShiftsMarks == 0) MarksLinesDeleted(Index + 1, Count);
  for (TOndEditPlugin* p : std::vector<TOndEditPlugin*>(FPlugins)) p->LinesDeleted(Index + 1, Count);
  InvalidateLines(Index + 1, INT_MAX);
  InvalidateGutterLines(Index + 1, INT_MAX);
}

void TCustomOndEdit::ListInserted(TOndEditStringList*, int Index, int Count) {
  if (FHighlighter && FLines->GetCount() > 0) {
    int i = Index;
    do {
      i = ScanFrom(i) + 1;
    } while (i < Index + Count && i < FLines->GetCount());
  }
  if (FWordWrapPlugin) FWordWrapPlugin->LinesInserted(Index, Count);
  if (FEditShiftsMarks == 0) MarksLinesInserted(Index + 1, Count);
  for (TOndEditPlugin* p : std::vector<TOndEditPlugin*>(FPlugins)) p->LinesInserted(Index + 1, Count);
  if (FCodeFolding->GetEnabled() && FFoldToggling == 0) {
    for (int k = Index; k < Index + Count && k < FLines->GetCount(); ++k)
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
}

void TCustomOndEdit::ListPut(TOndEditStringList*, int Index, int Count) {
  int last = Index + 1;  // the last line to repaint, 1-based
  if (FWordWrapPlugin && FWordWrapPlugin->LinesChanged(Index, Count) != 0) last = INT_MAX;
  if (FHighlighter) {
    const int stop = ScanFrom(Index);
    last = std::max(last, stop + 2);
    if (FLines != FOwnLines.get()) last = INT_MAX;
  }
  InvalidateGutterLines(Index + 1, last);
  InvalidateLines(Index + 1, last);
  if ((FOptions & eoAutoSizeMaxScrollWidth) && Index < FLines->GetCount()) {
    const int len = FLines->GetExpandedTextLength(Index);
    if (len > FMaxScrollWidth) SetMaxScrollWidth(len);
  }
  if (FCodeFolding->GetEnabled() && FFoldToggling == 0 && FoldSignature(FLines->GetView(Index)) != FTextBeforePut)
    ++FFoldChangeCount;
}

// ---- invalidation ---------------------------------------------------------------------

void TCustomOndEdit::InvalidateRect(const TRect& R, bool) {
  if (R.IsEmpty()) return;
  if (FStateFlags & sfLinesChanging)
    FInvalidateRect = UnionRect(FInvalidateRect, R);
  else
    TControl::InvalidateRect(R);
}

namespace {
// The pixel rows of lines First..Last (in display rows), clipped to the window.
bool RowsRect(const TOndEditView& v, int FirstRow, int LastRow, int ClientHeight, int& Top, int& Bottom) {
  if (FirstRow > LastRow) std::swap(FirstRow, LastRow);
  const int visibleLast = v.TopLine + v.LinesInWindow;  // a partly shown row counts
  FirstRow = std::max(FirstRow, v.TopLine);
  if (FirstRow > visibleLast) return false;
  Top = (FirstRow - v.TopLine) * v.LineHeight;
  Bottom = LastRow >= visibleLast ? ClientHeight : (LastRow - v.TopLine + 1) * v.LineHeight;
  return Bottom > Top;
}
}  // namespace

void TCustomOndEdit::InvalidateLines(int FirstLine, int LastLine) {
  if (FirstLine == -1 && LastLine == -1) {
    InvalidateRect(Rect(FView.GutterWidth, 0, Width(), Height()), false);
    return;
  }
  if (FirstLine > LastLine) std::swap(FirstLine, LastLine);
  const int firstRow = LineToRow(std::max(1, FirstLine));
  const int lastRow = LastLine > FLines->GetCount() ? INT_MAX : LineToRow(LastLine + 1) - 1;
  int top, bottom;
  if (RowsRect(FView, firstRow, std::max(firstRow, lastRow), Height(), top, bottom))
    InvalidateRect(Rect(FView.GutterWidth, top, Width(), bottom), false);
}

void TCustomOndEdit::InvalidateGutterLines(int FirstLine, int LastLine) {
  if (FView.GutterWidth <= 0) return;
  if (FirstLine == -1 && LastLine == -1) {
    InvalidateRect(Rect(0, 0, FView.GutterWidth, Height()), false);
    return;
  }
  if (FirstLine > LastLine) std::swap(FirstLine, LastLine);
  const int firstRow = LineToRow(std::max(1, FirstLine));
  const int lastRow = LastLine > FLines->GetCount() ? INT_MAX : LineToRow(LastLine + 1) - 1;
  int top, bottom;
  if (RowsRect(FView, firstRow, std::max(firstRow, lastRow), Height(), top, bottom))
    InvalidateRect(Rect(0, top, FView.GutterWidth, bottom), false);
}

void TCustomOndEdit::InvalidateLine(int Line) {
  if (Line < 1) return;
  InvalidateLines(Line, Line);
}

void TCustomOndEdit::InvalidateSelection() {
  InvalidateLines(GetBlockBegin().Line, GetBlockEnd().Line);
}

// ---- coordinates -----------------------------------------------------------------------

TDisplayCoord TCustomOndEdit::BufferToDisplayPos(const TBufferCoord& P) const {
  TDisplayCoord d = DisplayCoord(P.Char, P.Line);
  if (P.Line >= 1 && P.Line <= FLines->GetCount())
    d.Column = LineCharToColumn(FLines->GetView(P.Line - 1), P.Char, FTabWidth);
  if (FWordWrapPlugin && d.Column >= 1 && d.Row >= 1)
    d = FWordWrapPlugin->BufferPosToDisplayPos(BufferCoord(d.Column, d.Row));
  return d;
}

TBufferCoord TCustomOndEdit::DisplayToBufferPos(const TDisplayCoord& D) const {
  TBufferCoord p = BufferCoord(D.Column, D.Row);
  if (FWordWrapPlugin && D.Column >= 1 && D.Row >= 1) {
    const TBufferCoord w = FWordWrapPlugin->DisplayPosToBufferPos(D);
    p = BufferCoord(w.Char, w.Line);  // Char is a display column of the line here
  }
  if (p.Line >= 1 && p.Line <= FLines->GetCount())
    p.Char = LineColumnToChar(FLines->GetView(p.Line - 1), p.Char, FTabWidth);
  return p;
}

int TCustomOndEdit::LineToRow(int Line) const {
  if (!FWordWrapPlugin) return Line;
  return BufferToDisplayPos(BufferCoord(1, Line)).Row;
}

int TCustomOndEdit::RowToLine(int Row) const {
  if (!FWordWrapPlugin) return Row;
  return DisplayToBufferPos(DisplayCoord(1, Row)).Line;
}

int TCustomOndEdit::DisplayRowCount() const {
  if (!FWordWrapPlugin) return FLines->GetCount();
  return FLines->GetCount() == 0 ? 0 : FWordWrapPlugin->RowCount();
}

TDisplayCoord TCustomOndEdit::GetDisplayXY() const {
  TDisplayCoord d = BufferToDisplayPos(GetCaretXY());
  if (FWordWrapPlugin && FWrapEndFlag && d.Column == 1 && d.Row > 1) {
    d.Row -= 1;
    d.Column = FWordWrapPlugin->RowLength(d.Row) + 1;
  }
  return d;
}

void TCustomOndEdit::PlaceCaretAtPixel(int X, int Y) {
  TDisplayCoord d = PixelsToRowColumn(X, Y);
  d.Row = MinMax(d.Row, 1, std::max(1, DisplayRowCount()));
  SetCaretDisplayPos(d);
}

// ---- caret ---------------------------------------------------------------------------

int TCustomOndEdit::ClampedChar(int Char) const {
  if ((FOptions & eoScrollPastEol) && !FWordWrapPlugin) return MinMax(Char, 1, FMaxScrollWidth + 1);
  return std::max(1, Char);
}

void TCustomOndEdit::SetCaretXYEx(bool EnsureVisible, TBufferCoord Value) {
  FWrapEndFlag = false;
  DoOnPaintTransientEx(ttBefore, true);
  int maxChar = FWordWrapPlugin ? INT_MAX : FMaxScrollWidth + 1;
  int line = std::min(Value.Line, FLines->GetCount());
  if (line < 1) {
    line = 1;
    if (!(FOptions & eoScrollPastEol)) maxChar = 1;
  } else if (!(FOptions & eoScrollPastEol)) {
    maxChar = static_cast<int>(FLines->GetView(line - 1).size()) + 1;
  }
  int ch = Value.Char;
  if (ch > maxChar && (!(FOptions & eoScrollPastEol) || !(FOptions & eoAutoSizeMaxScrollWidth))) ch = maxChar;
  ch = std::max(ch, 1);
  if (ch == FCaretX && line == FCaretY) {
    FLastCaretX = GetDisplayXY().Column;
    FLastCaretDbcs = false;
    DoOnPaintTransientEx(ttAfter, true);
    return;
  }
  LockPaint();
  try {
    if (ch != FCaretX) StatusChanged(StatusCaretChar);
    if (line != FCaretY) StatusChanged(StatusCaretLine);
    const int oldRow = GetDisplayXY().Row;
    FCaretX = ch;
    FCaretY = line;
    const int newRow = GetDisplayXY().Row;
    if (oldRow != newRow && FActiveLine->GetVisible()) {
      const bool withGutter = FActiveLine->Indicator().GetVisible() && FActiveLine->Indicator().Width() > 0;
      for (int row : {oldRow, newRow}) {
        int top, bottom;
        if (RowsRect(FView, row, row, Height(), top, bottom))
          InvalidateRect(Rect(withGutter ? 0 : FView.GutterWidth, top, Width(), bottom), false);
      }
    }
    FLastCaretX = GetDisplayXY().Column;
    if (EnsureVisible) MakeCaretVisible();
    FStateFlags |= sfCaretChanged | sfScrollBarsChanged;
  } catch (...) {
    UnlockPaint();
    throw;
  }
  UnlockPaint();
  DoOnPaintTransientEx(ttAfter, true);
}

void TCustomOndEdit::SetCaretAndCollapse(const TBufferCoord& Value) {
  LockPaint();
  try {
    StatusChanged(StatusSelection);
    InternalSetCaretXY(Value);
    if (SelAvail()) InvalidateSelection();
    FBlockBegin = FBlockEnd = GetCaretXY();
  } catch (...) {
    UnlockPaint();
    throw;
  }
  UnlockPaint();
}

void TCustomOndEdit::SetCaretDisplayPos(const TDisplayCoord& D) {
  LockPaint();
  try {
    InternalSetCaretXY(DisplayToBufferPos(D));
    if (FWordWrapPlugin) {
      const int rows = FWordWrapPlugin->RowCount();
      FWrapEndFlag = D.Row <= rows && FWordWrapPlugin->RowLength(D.Row) < D.Column &&
                     BufferToDisplayPos(GetCaretXY()).Row != D.Row;
      if (FWordWrapPlugin->WrapWidth() > FView.CharsInWindow) MakeCaretVisible();
    }
  } catch (...) {
    UnlockPaint();
    throw;
  }
  UnlockPaint();
  FLastCaretX = GetDisplayXY().Column;
}

bool TCustomOndEdit::IsCaretInView() const {
  const TDisplayCoord d = GetDisplayXY();
  return d.Column >= FView.LeftColumn && d.Column <= FView.LeftColumn + FView.CharsInWindow &&
         d.Row >= FView.TopLine && d.Row <= FView.TopLine + FView.LinesInWindow;
}

void TCustomOndEdit::MakeCaretVisibleEx(bool Centre) {
  LockPaint();
  try {
    int left, top;
    FView.ScrollToShow(GetDisplayXY(), Centre, left, top);
    SetLeftColumn(left);
    SetTopLine(top);
  } catch (...) {
    UnlockPaint();
    throw;
  }
  UnlockPaint();
}

// ---- selection ----------------------------------------------------------------------

TBufferCoord TCustomOndEdit::GetBlockBegin() const noexcept {
  return MinPosition(FBlockBegin, FBlockEnd) == FBlockEnd && !(FBlockBegin == FBlockEnd) ? FBlockEnd : FBlockBegin;
}

TBufferCoord TCustomOndEdit::GetBlockEnd() const noexcept {
  return MinPosition(FBlockBegin, FBlockEnd) == FBlockEnd && !(FBlockBegin == FBlockEnd) ? FBlockBegin : FBlockEnd;
}

bool TCustomOndEdit::SelAvail() const noexcept {
  if (FBlockBegin.Char == FBlockEnd.Char && FBlockBegin.Line == FBlockEnd.Line) return false;
  if (FSelectionMode == smColumn && FBlockBegin.Char == FBlockEnd.Char) return false;
  return true;
}

bool TCustomOndEdit::SelTabBlock() const noexcept {
  return FBlockBegin.Line != FBlockEnd.Line && FSelectionMode != smColumn;
}

bool TCustomOndEdit::SelTabLine() const {
  const TBufferCoord b = GetBlockBegin(), e = GetBlockEnd();
  const int len = FCaretY >= 1 && FCaretY <= FLines->GetCount() ? static_cast<int>(FLines->GetView(FCaretY - 1).size()) : 0;
  return b.Char == 1 && len < e.Char && SelAvail();
}

void TCustomOndEdit::SetBlockBegin(TBufferCoord Value) {
  Value.Char = ClampedChar(Value.Char);
  Value.Line = MinMax(Value.Line, 1, std::max(1, FLines->GetCount()));
  if (FSelectionMode == smNormal) {
    if (Value.Line <= FLines->GetCount())
      Value.Char = std::min(Value.Char, static_cast<int>(FLines->GetView(Value.Line - 1).size()) + 1);
    else
      Value.Char = 1;
  }
  if (SelAvail()) {
    const int first = std::min({Value.Line, FBlockBegin.Line, FBlockEnd.Line});
    const int last = std::max({Value.Line, FBlockBegin.Line, FBlockEnd.Line});
    FBlockBegin = FBlockEnd = Value;
    InvalidateLines(first, last);
    StatusChanged(StatusSelection);
  } else {
    const bool moved = !(FBlockBegin == Value) || !(FBlockEnd == Value);
    FBlockBegin = FBlockEnd = Value;
    if (moved) StatusChanged(StatusSelection);
  }
}

void TCustomOndEdit::SetBlockEnd(TBufferCoord Value) {
  if (FOptions & eoNoSelection) return;
  Value.Char = ClampedChar(Value.Char);
  Value.Line = MinMax(Value.Line, 1, std::max(1, FLines->GetCount()));
  if (FSelectionMode == smNormal) {
    if (Value.Line <= FLines->GetCount())
      Value.Char = std::min(Value.Char, static_cast<int>(FLines->GetView(Value.Line - 1).size()) + 1);
    else
      Value.Char = 1;
  }
  if (Value == FBlockEnd) return;
  const TBufferCoord old = FBlockEnd;
  FBlockEnd = Value;
  if (FSelectionMode == smColumn)
    InvalidateLines(std::min({FBlockBegin.Line, old.Line, Value.Line}),
                    std::max({FBlockBegin.Line, old.Line, Value.Line}));
  else
    InvalidateLines(old.Line, Value.Line);
  StatusChanged(StatusSelection);
}

std::string TCustomOndEdit::GetSelText() const {
  if (!SelAvail()) return std::string();
  const TBufferCoord b = GetBlockBegin(), e = GetBlockEnd();
  const int count = FLines->GetCount();
  std::string out;
  switch (FSelectionMode) {
    case smNormal:
      return SpanText(b, e);
    case smColumn: {
      int c1 = BufferToDisplayPos(b).Column, c2 = BufferToDisplayPos(e).Column;
      if (c1 > c2) std::swap(c1, c2);
      for (int l = b.Line; l <= e.Line; ++l) {
        std::string_view line = l <= count ? FLines->GetView(l - 1) : std::string_view();
        line = line.substr(0, static_cast<std::size_t>(VisibleLineLength(l)));
        const int ch1 = LineColumnToChar(line, c1, FTabWidth), ch2 = LineColumnToChar(line, c2, FTabWidth);
        std::string part = Copy(line, ch1, ch2 - ch1);
        if (!(FOptions & eoTrimTrailingSpaces)) {
          const int width = LineCharToColumn(line, ch1 + static_cast<int>(part.size()), FTabWidth) -
                            LineCharToColumn(line, ch1, FTabWidth);
          if (width < c2 - c1) part.append(static_cast<std::size_t>(c2 - c1 - width), ' ');
        }
        if (l > b.Line) out += "\r\n";
        out += part;
      }
      return out;
    }
    case smLine: {
      // Whole lines, as deleting them would take them.
      const int last = std::min(e.Line, count);
      if (b.Line > last) return out;
      const TBufferCoord to = last < count ? BufferCoord(1, last + 1) : BufferCoord(LineLength(last) + 1, last);
      return SpanText(BufferCoord(1, b.Line), to);
    }
  }
  return out;
}

int TCustomOndEdit::PosToTextIndex(const TBufferCoord& P) const {
  const int upto = std::min(P.Line, FLines->GetCount());
  std::int64_t index = 0;
  for (int l = 1; l < upto; ++l) index += static_cast<std::int64_t>(FLines->GetView(l - 1).size()) + 2;
  index += P.Char - 1;
  return static_cast<int>(std::min<std::int64_t>(index, INT_MAX));
}

TBufferCoord TCustomOndEdit::TextIndexToPos(int Index) const {
  const int count = FLines->GetCount();
  if (Index <= 0 || count == 0) return BufferCoord(1, 1);
  int rest = Index;
  for (int l = 1; l <= count; ++l) {
    const int len = static_cast<int>(FLines->GetView(l - 1).size());
    if (rest <= len) return BufferCoord(rest + 1, l);
    if (l == count) break;
    rest -= len + 2;
    if (rest < 0) return BufferCoord(len + 1, l);  // inside the line break
  }
  // Past the end of the text: its end.
  return BufferCoord(static_cast<int>(FLines->GetView(count - 1).size()) + 1, count);
}

int TCustomOndEdit::GetSelStart() const { return PosToTextIndex(GetBlockBegin()); }

int TCustomOndEdit::GetSelLength() const {
  if (!SelAvail()) return 0;
  return PosToTextIndex(GetBlockEnd()) - PosToTextIndex(GetBlockBegin());
}

void TCustomOndEdit::SetSelStart(int Value) {
  const TBufferCoord p = TextIndexToPos(Value);
  PlaceCaretAndSelection(p, p, p);
}

void TCustomOndEdit::SetSelLength(int Value) {
  const int start = GetSelStart();
  const TBufferCoord begin = GetBlockBegin();
  const TBufferCoord target = TextIndexToPos(start + Value);
  if (Value >= 0)
    PlaceCaretAndSelection(target, begin, target);
  else
    PlaceCaretAndSelection(target, begin, target);
}

void TCustomOndEdit::SelectAll() {
  LockPaint();
  try {
    const int count = FLines->GetCount();
    const TBufferCoord last =
        count == 0 ? BufferCoord(1, 1) : BufferCoord(static_cast<int>(FLines->GetView(count - 1).size()) + 1, count);
    InternalSetCaretXY(GetCaretXY());
    SetBlockBegin(BufferCoord(1, 1));
    SetBlockEnd(last);
    StatusChanged(StatusSelection);
  } catch (...) {
    UnlockPaint();
    throw;
  }
  UnlockPaint();
}

void TCustomOndEdit::SelectWordAt(TBufferCoord P) {
  P.Char = ClampedChar(P.Char);
  P.Line = MinMax(P.Line, 1, std::max(1, FLines->GetCount()));
  const std::string_view line = P.Line <= FLines->GetCount() ? FLines->GetView(P.Line - 1) : std::string_view();
  const int len = static_cast<int>(line.size());
  if (P.Char <= len + 1) {
    const TBufferCoord s = WordStartEx(P), e = WordEndEx(P);
    if (s.Line == e.Line && s.Char < e.Char) {
      PlaceCaretAndSelection(e, s, e);
      return;
    }
  }
  SetCaretAndCollapse(BufferCoord(len + 1, P.Line));
}

void TCustomOndEdit::PlaceCaretAndSelection(const TBufferCoord& Caret, const TBufferCoord& Begin,
                                            const TBufferCoord& End) {
  LockPaint();
  try {
    InternalSetCaretXY(Caret);
    SetBlockBegin(Begin);
    SetBlockEnd(End);
  } catch (...) {
    UnlockPaint();
    throw;
  }
  UnlockPaint();
}

void TCustomOndEdit::MoveCaretAndSelect(const TBufferCoord& From, const TBufferCoord& To, bool Extend) {
  if ((FOptions & eoGroupUndo) && FUndoList->HasRecords()) FUndoList->AddGroupBreak();
  LockPaint();
  try {
    if (Extend) {
      if (!SelAvail()) SetBlockBegin(From);
      SetBlockEnd(To);
    } else {
      SetBlockBegin(To);
    }
    InternalSetCaretXY(To);
  } catch (...) {
    UnlockPaint();
    throw;
  }
  UnlockPaint();
}

void TCustomOndEdit::MoveCaretByChars(int DX, bool Extend) {
  const TBufferCoord from = GetCaretXY();
  TBufferCoord to = from;
  const bool lineChange = !(FOptions & eoScrollPastEol);
  const int count = FLines->GetCount();
  const int len = from.Line >= 1 && from.Line <= count ? static_cast<int>(FLines->GetView(from.Line - 1).size()) : 0;
  if (lineChange && DX == -1 && from.Char == 1 && from.Line > 1) {
    to = BufferCoord(static_cast<int>(FLines->GetView(from.Line - 2).size()) + 1, from.Line - 1);
  } else if (lineChange && DX == 1 && from.Char > len && from.Line < count) {
    to = BufferCoord(1, from.Line + 1);
  } else {
    to.Char = std::max(1, from.Char + DX);
    if (DX > 0 && lineChange) to.Char = std::min(to.Char, len + 1);
  }
  MoveCaretAndSelect(from, to, Extend);
}

void TCustomOndEdit::MoveCaretByRows(int DY, bool Extend) {
  const TBufferCoord from = GetCaretXY();
  TDisplayCoord d = GetDisplayXY();
  const int wanted = d.Row + DY;
  d.Row = wanted;
  const int rows = std::max(1, DisplayRowCount());
  if (d.Row > rows) d.Row = rows;
  if (d.Row < 1) d.Row = 1;
  if (d.Row != GetDisplayXY().Row && (FOptions & eoKeepCaretX)) d.Column = FLastCaretX;
  const TBufferCoord to = DisplayToBufferPos(d);
  const int keep = FLastCaretX;
  MoveCaretAndSelect(from, to, Extend);
  if (FWordWrapPlugin) FWrapEndFlag = to.Char > 1 && BufferToDisplayPos(to).Column == 1 && BufferToDisplayPos(to).Row != wanted;
  FLastCaretX = keep;
}

void TCustomOndEdit::MoveCaretToLineStart(bool Extend) {
  const TBufferCoord from = GetCaretXY();
  int target = 1;
  if (FWordWrapPlugin) {
    target = DisplayToBufferPos(DisplayCoord(1, GetDisplayXY().Row)).Char;
  }
  if ((FOptions & eoEnhanceHomeKey) && from.Line <= FLines->GetCount() &&
      (!FWordWrapPlugin || GetDisplayXY().Row == LineToRow(from.Line))) {
    const std::string_view line = FLines->GetView(from.Line - 1);
    const std::size_t first = line.find_first_not_of(" \t");
    const int firstChar = first == std::string_view::npos ? static_cast<int>(line.size()) + 1 : static_cast<int>(first) + 1;
    target = (from.Char <= firstChar && from.Char != 1) ? 1 : firstChar;
  }
  MoveCaretAndSelect(from, BufferCoord(target, from.Line), Extend);
}

void TCustomOndEdit::MoveCaretToLineEnd(bool Extend) {
  const TBufferCoord from = GetCaretXY();
  const std::string_view line = from.Line >= 1 && from.Line <= FLines->GetCount() ? FLines->GetView(from.Line - 1)
                                                                                  : std::string_view();
  int target = static_cast<int>(line.size()) + 1;
  if (FWordWrapPlugin) {
    const int row = GetDisplayXY().Row;
    target = DisplayToBufferPos(DisplayCoord(FWordWrapPlugin->RowLength(row) + 1, row)).Char;
  }
  const bool lastRow = !FWordWrapPlugin || GetDisplayXY().Row == LineToRow(from.Line + 1) - 1;
  if ((FOptions & eoEnhanceEndKey) && lastRow) {
    const std::size_t last = line.find_last_not_of(" \t");
    const int afterLast = last == std::string_view::npos ? 1 : static_cast<int>(last) + 2;
    target = from.Char == afterLast ? static_cast<int>(line.size()) + 1 : afterLast;
  }
  MoveCaretAndSelect(from, BufferCoord(target, from.Line), Extend);
}

// ---- words and attributes ------------------------------------------------------------

void TCustomOndEdit::GetWordChars(TSysCharSet& IdentChars, TSysCharSet& WhiteChars) const {
  IdentChars = TSysCharSet();
  if (FHighlighter) {
    const TSysCharSet ident = FHighlighter->GetIdentChars();
    const TSysCharSet& brk = FHighlighter->GetWordBreakChars();
    for (int c = 1; c < 256; ++c)
      if (ident.Contains(static_cast<char>(c)) && !brk.Contains(static_cast<char>(c))) IdentChars.Include(static_cast<char>(c));
  } else {
    IdentChars.IncludeRange('0', '9');
    IdentChars.IncludeRange('A', 'Z');
    IdentChars.IncludeRange('a', 'z');
    IdentChars.Include('_');
    IdentChars.IncludeRange(0xC0, 0xD6);
    IdentChars.IncludeRange(0xD8, 0xF6);
    IdentChars.IncludeRange(0xF8, 0xFF);
  }
  WhiteChars = TSysCharSet();
  for (int c = 1; c < 256; ++c)
    if (!IdentChars.Contains(static_cast<char>(c))) WhiteChars.Include(static_cast<char>(c));
}

bool TCustomOndEdit::IsIdentChar(char C) const {
  TSysCharSet ident, white;
  GetWordChars(ident, white);
  return ident.Contains(C);
}

TBufferCoord TCustomOndEdit::WordStartEx(const TBufferCoord& P) const {
  if (P.Line < 1 || P.Line > FLines->GetCount()) return P;
  TSysCharSet ident, white;
  GetWordChars(ident, white);
  const std::string_view line = FLines->GetView(P.Line - 1);
  int x = std::min(P.Char, static_cast<int>(line.size()) + 1);
  if (x > 1 && !white.Contains(line[static_cast<std::size_t>(x - 2)])) {
    const int w = FindCharInSetBackward(line, x - 1, white);
    x = w + 1;
  }
  return BufferCoord(std::max(1, x), P.Line);
}

TBufferCoord TCustomOndEdit::WordEndEx(const TBufferCoord& P) const {
  if (P.Line < 1 || P.Line > FLines->GetCount()) return P;
  TSysCharSet ident, white;
  GetWordChars(ident, white);
  const std::string_view line = FLines->GetView(P.Line - 1);
  const int x = FindCharInSet(line, std::max(1, P.Char), white);
  return BufferCoord(x > 0 ? x : static_cast<int>(line.size()) + 1, P.Line);
}

std::string TCustomOndEdit::WordAtPos(const TBufferCoord& P) const {
  const TBufferCoord s = WordStartEx(P), e = WordEndEx(P);
  if (s.Line == P.Line && e.Line == P.Line && s.Char < e.Char && P.Line >= 1 && P.Line <= FLines->GetCount())
    return Copy(FLines->GetView(P.Line - 1), s.Char, e.Char - s.Char);
  return std::string();
}

bool TCustomOndEdit::GetHighlighterAttriAtRowCol(const TBufferCoord& P, std::string& Token,
                                                 TOndHighlighterAttributes*& Attri) const {
  int kind, start;
  return GetHighlighterAttriAtRowColEx(P, Token, kind, start, Attri);
}

bool TCustomOndEdit::GetHighlighterAttriAtRowColEx(const TBufferCoord& P, std::string& Token, int& TokenType,
                                                   int& Start, TOndHighlighterAttributes*& Attri) const {
  Token.clear();
  Attri = nullptr;
  TokenType = 0;
  Start = 0;
  if (!FHighlighter || P.Line < 1 || P.Line > FLines->GetCount()) return false;
  const std::string text = FLines->GetExpandedText(P.Line - 1);
  // Tokens are positioned on the expanded text: look for the display column.
  const int col = LineCharToColumn(FLines->GetView(P.Line - 1), P.Char, FTabWidth);
  if (P.Char < 1 || P.Char > static_cast<int>(FLines->GetView(P.Line - 1).size())) return false;
  if (P.Line == 1)
    FHighlighter->ResetRange();
  else
    FHighlighter->SetRange(FLines->GetRange(P.Line - 2));
  FHighlighter->SetLine(text, P.Line - 1);
  while (!FHighlighter->GetEol()) {
    const int start = FHighlighter->GetTokenPos() + 1;
    const std::string token = FHighlighter->GetToken();
    if (col >= start && col < start + static_cast<int>(token.size())) {
      Token = token;
      Attri = FHighlighter->GetTokenAttribute();
      TokenType = FHighlighter->GetTokenKind();
      Start = start;
      return true;
    }
    FHighlighter->Next();
  }
  return false;
}

// ---- painting -----------------------------------------------------------------------

void TCustomOndEdit::Paint() {
  const TRect clip = Canvas()->GetClipRect();
  if (clip.IsEmpty()) return;
  FBufferBmp->SetSize(std::max(1, Width()), std::max(1, Height()));
  const TOndPaintRange range = FView.PaintRange(clip, DisplayRowCount());
  const int gw = FView.GutterWidth;
  if (clip.Left < gw) {
    TRect r = clip;
    r.Right = std::min(r.Right, gw);
    PaintGutter(r, range.FirstRow, range.LastRow);
    if (FCodeFolding->GetEnabled() && FGutter->GetVisible() && FLines->GetCount() > 0 && gw > 13)
      PaintFoldTree(r, range.FirstRow, range.LastRow);
  }
  if (clip.Right > gw) {
    TRect r = clip;
    r.Left = std::max(r.Left, gw);
    PaintTextRows(r, range.FirstRow, range.LastRow, range.FirstColumn, range.LastColumn);
  }
  for (TOndEditPlugin* p : std::vector<TOndEditPlugin*>(FPlugins)) p->AfterPaint(Canvas(), clip, range.FirstRow, range.LastRow);
  DoOnPaint();
  DoOnPaintTransient(ttAfter);
  PaintRightEdgeGuide();
}

TColor TCustomOndEdit::DefaultRowForeground() const {
  TColor fg = FFontDummy->GetColor();
  if (FHighlighter)
    if (TOndHighlighterAttributes* ws = FHighlighter->GetDefaultAttribute(OND_ATTR_WHITESPACE))
      if (ws->GetForeground() != clWindow && ws->GetForeground() != clNone) fg = ws->GetForeground();
  return fg;
}

TColor TCustomOndEdit::DefaultRowBackground() const {
  TColor bg = FColor;
  if (FHighlighter)
    if (TOndHighlighterAttributes* ws = FHighlighter->GetDefaultAttribute(OND_ATTR_WHITESPACE))
      if (ws->GetBackground() != clNone) bg = ws->GetBackground();
  return bg;
}

void TCustomOndEdit::PaintGutter(const TRect& AClip, int FirstRow, int LastRow) {
  TCanvas* bc = FBufferBmp->Canvas();
  bc->ResetClip();
  bc->SetClipRect(AClip);
  const int gw = FView.GutterWidth, lh = FView.LineHeight;
  const TOndGutter& g = *FGutter;
  auto fill = [bc](const TRect& r, TColor c) {
    bc->Brush.Color = c;
    bc->Brush.Style = TBrushStyle::bsSolid;
    bc->FillRect(r);
  };
  auto rowTop = [this, lh](int row) { return (row - FView.TopLine) * lh; };
  const int count = FLines->GetCount();
  const int caretRow = GetDisplayXY().Row;

  if (g.GetGradient())
    DrawGradient(fill, g.GetGradientStartColor(), g.GetGradientEndColor(), true, Rect(0, AClip.Top, gw, AClip.Bottom),
                 g.GetGradientSteps());
  else if (!g.GetShowLineNumbers())
    fill(AClip, g.GetColor());

  if (g.GetShowLineNumbers()) {
    if (g.GetUseFontStyle()) FTextDrawer->SetBaseFont(&g.Font());
    FTextDrawer->SetStyle(g.GetUseFontStyle() ? g.Font().GetStyle() : 0);
    FTextDrawer->BeginDraw(bc);
    FTextDrawer->SetForegroundColor(g.GetUseFontStyle() ? g.Font().GetColor() : FFontDummy->GetColor());
    FTextDrawer->SetBackgroundColor(g.GetColor());
    const int cw = FTextDrawer->CellWidth(), ch = FTextDrawer->CellHeight();
    const int xr = gw - GutterRightOffset() - 2;
    int bottom = AClip.Top;
    for (int row = FirstRow; row <= LastRow; ++row) {
      const int line = RowToLine(row);
      const int top = rowTop(row);
      const TRect rowRect = Rect(0, top, gw, top + lh);
      bottom = top + lh;
      if (line > count || LineToRow(line) != row) {
        if (!g.GetGradient()) fill(rowRect, g.GetColor());  // a continuation row
        continue;
      }
      std::string text = g.LineNumberText(FCodeFolding->GetEnabled() ? UncollapsedLine(line) : line);
      if (OnGutterGetText) OnGutterGetText(this, line, text);
      const TOndIntensMark mark =
          g.GetIntens() ? IntensMark(line, row == caretRow, text) : TOndIntensMark::Number;
      if (mark == TOndIntensMark::Number) {
        const int x = xr - static_cast<int>(text.size()) * cw;
        FTextDrawer->ExtTextOut(x, top + (lh - ch) / 2, g.GetGradient() ? ETO_CLIPPED : ETO_OPAQUE | ETO_CLIPPED,
                                rowRect, text);
      } else {
        if (!g.GetGradient()) fill(rowRect, g.GetColor());
        const int w = FGutterCharWidth;
        bc->Pen.Color = g.Font().GetColor();
        bc->Pen.Style = TPenStyle::psSolid;
        bc->Pen.Width = 1;
        if (mark == TOndIntensMark::Dash) {
          const int y = top + (lh - 1) / 2;
          bc->MoveTo(xr - w + (w - 4) / 2, y);
          bc->LineTo(xr - (w - 4) / 2, y);
        } else {
          const int y = top + (lh - 2) / 2;
          bc->MoveTo(xr - w + (w - 2) / 2, y);
          bc->LineTo(xr - (w - 2) / 2, y);
          bc->MoveTo(xr - w + (w - 2) / 2, y + 1);
          bc->LineTo(xr - (w - 2) / 2, y + 1);
        }
      }
    }
    FTextDrawer->EndDraw();
    if (g.GetUseFontStyle()) FTextDrawer->SetBaseFont(FFontDummy.get());
    if (LastRow < FirstRow) bottom = std::max(AClip.Top, rowTop(FirstRow));
    if (!g.GetGradient() && bottom < AClip.Bottom) fill(Rect(AClip.Left, bottom, AClip.Right, AClip.Bottom), g.GetColor());
  }

  if (g.GetLeftOffsetColor() != clNone) fill(Rect(0, 0, g.GetLeftOffset(), Height()), g.GetLeftOffsetColor());
  if (g.GetRightOffsetColor() != clNone)
    fill(Rect(gw - g.GetRightOffset(), 0, gw, Height()), g.GetRightOffsetColor());
  if (FCodeFolding->GetEnabled()) {
    TColor bar = FCodeFolding->GetFolderBarColor();
    if (bar == clFolderBarDerived) bar = DeriveFolderBarColor(5);
    fill(Rect(gw - 13, AClip.Top, gw, AClip.Bottom), bar);
  }

  // Continuation rows of wrapped lines.
  if (FWordWrapPlugin && FWordWrap->Indicator().GetVisible()) {
    const int x = gw - g.GetRightOffset() - FWordWrap->Indicator().Width() - 2;
    for (int row = FirstRow; row <= LastRow; ++row)
      if (LineToRow(RowToLine(row)) != row) FWordWrap->Indicator().Draw(bc, x, rowTop(row), lh);
  }

  if (g.GetBorderStyle() != gbsNone && AClip.Right >= gw - 2) {
    bc->Pen.Width = 1;
    bc->Pen.Style = TPenStyle::psSolid;
    if (g.GetBorderStyle() == gbsMiddle) {
      bc->Pen.Color = g.GetBorderColor();
      bc->MoveTo(gw - 2, AClip.Top);
      bc->LineTo(gw - 2, AClip.Bottom);
      bc->Pen.Color = g.GetColor();
      bc->MoveTo(gw - 1, AClip.Top);
      bc->LineTo(gw - 1, AClip.Bottom);
    } else {
      bc->Pen.Color = g.GetBorderColor();
      bc->MoveTo(gw - 1, AClip.Top);
      bc->LineTo(gw - 1, AClip.Bottom);
    }
  }

  // Marks: bookmarks first (or last), each row with its own offset.
  std::vector<int> offsets(static_cast<std::size_t>(std::max(0, LastRow - FirstRow + 1)), 0);
  if (FBookMarkOpt->GetGlyphsVisible() && FMarkList->Count() > 0 && LastRow >= FirstRow) {
    const TOndBookMarkOpt& bo = *FBookMarkOpt;
    for (int row = FirstRow; row <= LastRow; ++row) {
      const int line = RowToLine(row);
      if (line > count || LineToRow(line) != row) continue;
      TOndEditMarks marks;
      FMarkList->MarksOnLine(line, marks);
      int& offset = offsets[static_cast<std::size_t>(row - FirstRow)];
      auto drawMark = [&](TOndEditMark* m) {
        TImageList* images = bo.GetBookmarkImages();
        if (images && !m->GetUseInternalImage()) {
          if (m->GetImage() < images->Count()) {
            if (m->IsBookmark() == bo.GetDrawBookmarksFirst())
              offset = 0;
            else if (offset == 0)
              offset = bo.GetXoffset();
            images->Draw(bc, bo.GetLeftMargin() + offset, rowTop(row), m->GetImage());
            offset += bo.GetXoffset();
          }
        } else if (m->GetImage() >= 0 && m->GetImage() <= 9) {
          if (!FInternalImage) FInternalImage = std::make_unique<TOndInternalImage>("OndEditInternalImages", 10);
          if (offset == 0) FInternalImage->Draw(bc, m->GetImage(), bo.GetLeftMargin(), rowTop(row), lh);
          offset += bo.GetXoffset();
        }
      };
      bool others = false;
      for (TOndEditMark* m : marks) {
        if (!m || !m->GetVisible()) continue;
        if (m->IsBookmark() == bo.GetDrawBookmarksFirst())
          drawMark(m);
        else
          others = true;
      }
      if (others)
        for (TOndEditMark* m : marks)
          if (m && m->GetVisible() && m->IsBookmark() != bo.GetDrawBookmarksFirst()) drawMark(m);
    }
  }
  if (OnGutterPaint)
    for (int row = FirstRow; row <= LastRow; ++row) {
      const int line = RowToLine(row);
      if (line <= count && LineToRow(line) == row)
        OnGutterPaint(this, line, offsets[static_cast<std::size_t>(row - FirstRow)], rowTop(row));
    }

  if (FActiveLine->GetVisible() && FActiveLine->Indicator().GetVisible() && FActiveLine->Indicator().Width() > 0)
    FActiveLine->Indicator().Draw(bc, g.GetLeftOffset() + 2, rowTop(caretRow), lh);

  if (g.GetShowLineModified()) {
    for (int row = FirstRow; row <= LastRow; ++row) {
      const int line = RowToLine(row);
      const TOndLineExtra* extra = line <= count ? FLines->GetLineExtra(line - 1) : nullptr;
      if (!extra || extra->ModifiedState == 0) continue;
      const int x = gw - GutterRightOffset();
      fill(Rect(x, rowTop(row), x + 4, rowTop(row) + lh),
           extra->ModifiedState == 1 ? g.GetLineNormalColor() : g.GetLineModifiedColor());
    }
  }

  bc->ResetClip();
  Canvas()->CopyRect(AClip, *bc, AClip);
}

void TCustomOndEdit::PaintTextRows(const TRect& AClip, int FirstRow, int LastRow, int FirstCol, int LastCol) {
  TCanvas* bc = FBufferBmp->Canvas();
  bc->ResetClip();
  TRect clip = AClip;
  const int gw = FView.GutterWidth, lh = FView.LineHeight;
  if (clip.Left < gw + 2) {
    bc->Brush.Color = DefaultRowBackground();
    bc->Brush.Style = TBrushStyle::bsSolid;
    bc->FillRect(Rect(std::max(clip.Left, gw), clip.Top, gw + 2, clip.Bottom));
    Canvas()->CopyRect(Rect(std::max(clip.Left, gw), clip.Top, gw + 2, clip.Bottom), *bc,
                       Rect(std::max(clip.Left, gw), clip.Top, gw + 2, clip.Bottom));
    clip.Left = gw + 2;
    if (clip.IsEmpty()) return;
  }
  bc->SetClipRect(clip);

  bool haveSel = SelAvail() && !(FHideSelection && !FFocused);
  TDisplayCoord selStart, selEnd;
  if (haveSel) {
    selStart = BufferToDisplayPos(GetBlockBegin());
    selEnd = BufferToDisplayPos(GetBlockEnd());
    haveSel = selEnd.Row >= FirstRow && selStart.Row <= LastRow;
  }

  FTextDrawer->BeginDraw(bc);
  try {
    if (LastRow >= FirstRow) PaintLines(clip, FirstRow, LastRow, FirstCol, LastCol, haveSel, selStart, selEnd);
    const int below = std::max(clip.Top, (std::max(LastRow, FView.TopLine - 1) - FView.TopLine + 1) * lh);
    if (below < clip.Bottom) {
      const TRect rest = Rect(clip.Left, below, clip.Right, clip.Bottom);
      FBackground->Draw(bc, rest, FView.TextOffset(), -(FView.TopLine - 1) * lh, FColor);
      if (FRightEdge->GetVisible() && FRightEdge->GetPosition() > 0) {
        const int x = FRightEdge->GetPosition() * FView.CharWidth + FView.TextOffset();
        if (x >= clip.Left && x < clip.Right) {
          bc->Pen.Color = FRightEdge->GetColor();
          bc->Pen.Style = FRightEdge->GetStyle();
          bc->Pen.Width = 1;
          bc->MoveTo(x, below);
          bc->LineTo(x, clip.Bottom + 1);
        }
      }
      Canvas()->CopyRect(rest, *bc, rest);
    }
  } catch (...) {
    FTextDrawer->EndDraw();
    bc->ResetClip();
    throw;
  }
  FTextDrawer->EndDraw();
  bc->ResetClip();
}

void TCustomOndEdit::PaintLines(const TRect& AClip, int FirstRow, int LastRow, int FirstCol, int LastCol, bool HaveSel,
                                const TDisplayCoord& SelStart, const TDisplayCoord& SelEnd) {
  TCanvas* bc = FBufferBmp->Canvas();
  const int lh = FView.LineHeight, cw = FView.CharWidth;
  const int count = FLines->GetCount();
  const int caretRow = GetDisplayXY().Row;
  const bool bgShows = FBackground->Shows();
  const int textY = (lh - FTextHeight) / 2;
  const int rightEdgeX = FRightEdge->GetVisible() && FRightEdge->GetPosition() > 0
                             ? FRightEdge->GetPosition() * cw + FView.TextOffset()
                             : INT_MIN;
  auto colX = [this, cw](int col) { return (col - 1) * cw + FView.TextOffset(); };
  const bool useHighlighter = FHighlighter && FHighlighter->GetEnabled();
  std::vector<TOndEditFoldRange*> spanning;
  if (FCodeFolding->GetEnabled()) spanning = ExpandedRangesOver(RowToLine(FirstRow), RowToLine(LastRow));

  int row = FirstRow;
  while (row <= LastRow) {
    const int line = RowToLine(row);
    if (line > count) break;
    const std::string text = FLines->GetExpandedText(line - 1);
    const int len = static_cast<int>(text.size());
    TColor specFG = clNone, specBG = clNone;
    const bool special = DoOnSpecialLineColors(line, specFG, specBG);
    const TOndLineExtra* extra = FLines->GetLineExtra(line - 1);
    const int lineLastRow = FWordWrapPlugin ? LineToRow(line + 1) - 1 : row;

    if (useHighlighter) {
      if (line == 1)
        FHighlighter->ResetRange();
      else
        FHighlighter->SetRange(FLines->GetRange(line - 2));
      FHighlighter->SetLine(text, line - 1);
    }
    bool tokenPending = useHighlighter && !FHighlighter->GetEol();

    for (; row <= std::min(LastRow, lineLastRow); ++row) {
      // The columns of the line this row shows, and the painted ones.
      int rowFirstCol = 1, rowEndCol = INT_MAX;  // display columns [first, end) of the line on this row
      if (FWordWrapPlugin) {
        rowFirstCol = DisplayToBufferPos(DisplayCoord(1, row)).Char;
        rowFirstCol = LineCharToColumn(FLines->GetView(line - 1), rowFirstCol, FTabWidth);
        rowEndCol = rowFirstCol + FWordWrapPlugin->RowLength(row);
      }
      const int top = (row - FView.TopLine) * lh;
      const TRect rowRect = Rect(AClip.Left, top, AClip.Right, top + lh);
      const bool current = row == caretRow;

      TColor fg, bg;
      if (FActiveLine->GetVisible() && current && FActiveLine->GetForeground() != clNone) {
        fg = FActiveLine->GetForeground();
      } else {
        fg = DefaultRowForeground();
        if (extra && (extra->ColorUse & 2) && extra->Foreground != clNone) fg = extra->Foreground;
      }
      if (FActiveLine->GetVisible() && current && FActiveLine->GetBackground() != clNone) {
        bg = FActiveLine->GetBackground();
      } else {
        bg = DefaultRowBackground();
        if (extra && (extra->ColorUse & 1) && extra->Background != clNone) bg = extra->Background;
      }
      if (specFG != clNone) fg = specFG;
      if (specBG != clNone) bg = specBG;
      TColor selFG = FSelectedColor->GetForeground(), selBG = FSelectedColor->GetBackground();
      if (special) {
        selFG = bg;
        selBG = fg;
      }
      TOndRowSelection sel;
      if (HaveSel) sel = RowSelection(row, SelStart, SelEnd, FSelectionMode, FirstCol, LastCol);

      // Columns in display terms: the painted part of this row's text.
      const int shift = rowFirstCol - 1;  // wrapped rows start at column 1 of the window
      auto paintPiece = [&](std::string_view piece, int col, TColor pfg, TColor pbg, TFontStyles style) {
        if (piece.empty()) return;
        std::string out(piece);
        for (char& c : out) {
          if (c == '\0') c = ' ';
          if (c == '\t') c = ' ';
          if (FShowSpecialChars && c == ' ') c = kMiddleDot;
        }
        FTextDrawer->SetStyle(style);
        FTextDrawer->SetForegroundColor(pfg);
        FTextDrawer->SetBackgroundColor(pbg);
        const int x = colX(col);
        const TRect r = Rect(std::max(x, AClip.Left), top, std::min(x + static_cast<int>(out.size()) * cw, AClip.Right),
                             top + lh);
        if (r.IsEmpty()) return;
        const bool transparent = bgShows && pbg == FColor;
        FTextDrawer->ExtTextOut(x, top + textY, transparent ? ETO_CLIPPED : ETO_OPAQUE | ETO_CLIPPED, r, out);
      };
      auto paintRun = [&](const TOndPaintRun& run) {
        TColor rfg = run.Foreground, rbg = run.Background;
        if (special) {
          rfg = (FOptions & eoSpecialLineDefaultFg) ? run.Foreground : fg;
          rbg = bg;
        }
        const int c0 = run.Column, c1 = run.Column + static_cast<int>(run.Text.size());
        if (!sel.Any || sel.End <= c0 || sel.Start >= c1) {
          paintPiece(run.Text, c0, rfg, rbg, run.Style);
          return;
        }
        const int s0 = std::max(c0, sel.Start), s1 = std::min(c1, sel.End);
        paintPiece(std::string_view(run.Text).substr(0, static_cast<std::size_t>(s0 - c0)), c0, rfg, rbg, run.Style);
        paintPiece(std::string_view(run.Text).substr(static_cast<std::size_t>(s0 - c0), static_cast<std::size_t>(s1 - s0)),
                   s0, selFG, selBG, run.Style);
        paintPiece(std::string_view(run.Text).substr(static_cast<std::size_t>(s1 - c0)), s1, rfg, rbg, run.Style);
      };

      if (bgShows)
        FBackground->Draw(bc, rowRect, FView.TextOffset(), -(FView.TopLine - 1) * lh, FColor);

      TOndTokenAccumulator acc(fg, bg, special, (FOptions & eoSpecialLineDefaultFg) != 0, sel.Whole, paintRun);
      // Display columns of the line painted on this row: [from, to).
      const int lineFrom = std::max(rowFirstCol, FirstCol + shift);
      const int lineTo = std::min(rowEndCol, LastCol + shift + 1);
      int painted = lineFrom;  // next line column to paint
      auto addText = [&](int from, int to, TColor tfg, TColor tbg, TFontStyles style) {
        from = std::max(from, lineFrom);
        to = std::min({to, lineTo, len + 1});
        if (from >= to) return;
        acc.Add(std::string_view(text).substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(to - from)),
                from - shift, tfg == fg ? clNone : tfg, tbg == bg ? clNone : tbg, style);
        painted = std::max(painted, to);
      };
      if (tokenPending) {
        while (!FHighlighter->GetEol()) {
          const int p = FHighlighter->GetTokenPos();
          const std::string token = FHighlighter->GetToken();
          const int n = static_cast<int>(token.size());
          if (n == 0) {
            FHighlighter->Next();
            continue;
          }
          if (p + 1 >= lineTo) break;  // belongs to a later row (or out of the painted columns)
          if (p + n >= lineFrom) {
            TOndHighlighterAttributes* a = FHighlighter->GetTokenAttribute();
            if (p + 1 > painted) addText(painted, p + 1, fg, bg, FFontDummy->GetStyle());
            addText(p + 1, p + 1 + n, a ? a->GetForeground() : fg, a ? a->GetBackground() : bg,
                    a ? a->GetStyle() : FFontDummy->GetStyle());
          }
          if (p + n + 1 > lineTo) break;  // continues on the next row
          FHighlighter->Next();
        }
      }
      // Text the highlighter did not return before the row's end.
      addText(painted, lineTo, fg, bg, FFontDummy->GetStyle());
      const bool lastRowOfLine = row == lineLastRow;
      int endCol = std::max(painted, lineFrom) - shift;  // window column after the text
      if (FShowSpecialChars && lastRowOfLine && len + 1 >= lineFrom && len + 1 < lineTo + (FWordWrapPlugin ? 1 : 0) &&
          len + 1 <= LastCol + shift) {
        acc.Add(std::string_view(&kPilcrow, 1), len + 1 - shift, clNone, clNone, FFontDummy->GetStyle());
        endCol = len + 2 - shift;
      }
      acc.Flush();
      // The rest of the row in the row (or selection) colours.
      if (endCol <= LastCol) {
        TOndPaintRun blank;
        blank.Text.assign(static_cast<std::size_t>(LastCol - endCol + 1), ' ');
        blank.Column = endCol;
        blank.Foreground = fg;
        blank.Background = bg;
        const bool keepSpecial = FShowSpecialChars;
        FShowSpecialChars = false;
        paintRun(blank);
        FShowSpecialChars = keepSpecial;
      }
      const int rightX = colX(LastCol + 1);
      if (rightX < AClip.Right) {
        const bool selectedBeyond = sel.Any && sel.End > LastCol;
        bc->Brush.Color = selectedBeyond ? selBG : bg;
        bc->Brush.Style = TBrushStyle::bsSolid;
        if (!(bgShows && bc->Brush.Color == FColor)) bc->FillRect(Rect(rightX, top, AClip.Right, top + lh));
      }
      if (FCodeFolding->GetEnabled())
        PaintFoldExtras(spanning, line, row, top, len, row != LineToRow(line), row == lineLastRow, rowRect);
      if (rightEdgeX >= AClip.Left && rightEdgeX < AClip.Right) {
        bc->Pen.Color = FRightEdge->GetColor();
        bc->Pen.Style = FRightEdge->GetStyle();
        bc->Pen.Width = 1;
        bc->MoveTo(rightEdgeX, top);
        bc->LineTo(rightEdgeX, top + lh + 1);
      }
      if (FLineDivider->GetVisible()) {
        bc->Pen.Color = FLineDivider->GetColor();
        bc->Pen.Style = FLineDivider->GetStyle();
        bc->Pen.Width = 1;
        bc->MoveTo(FView.GutterWidth + 2, top + lh - 1);
        bc->LineTo(Width(), top + lh - 1);
      }
      Canvas()->CopyRect(rowRect, *bc, rowRect);
    }
  }
}


// ---- edit primitives ------------------------------------------------------------------

namespace {

// The lines of a text: split at CR LF, LF or CR; an empty text is one empty line.
std::vector<std::string_view> SplitTextLines(std::string_view Text) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  for (std::size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    if (c != '\r' && c != '\n') continue;
    out.push_back(Text.substr(start, i - start));
    if (c == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  out.push_back(Text.substr(start));
  return out;
}

bool IsEndMarker(TOndUndoReason R) {
  return R == urCompound1End || R == urPasteEnd || R == urCompound2End || R == urCompound3End;
}
bool IsBeginMarker(TOndUndoReason R) {
  return R == urCompound1Begin || R == urPasteBegin || R == urCompound2Begin || R == urCompound3Begin;
}
// Records whose Start..End holds text the change inserted (Text: what it replaced).
bool IsInsertRecord(TOndUndoReason R) {
  return R == urInsert || R == urPaste || R == urDragDropInsert || R == urLineBreak || R == urIndent;
}
// Records whose Text was removed from Start..End.
bool IsDeleteRecord(TOndUndoReason R) {
  return R == urDeleteAfterCursor || R == urDelete || R == urUnindent || R == urSilentDelete ||
         R == urSilentDeleteAfterCursor || R == urDeleteAll;
}

bool PosBefore(const TBufferCoord& A, const TBufferCoord& B) {
  return A.Line < B.Line || (A.Line == B.Line && A.Char < B.Char);
}

std::string TrimRightBlanks(std::string_view S) {
  std::size_t n = S.size();
  while (n > 0 && (S[n - 1] == ' ' || S[n - 1] == '\t')) --n;
  return std::string(S.substr(0, n));
}

// Keeps the paint lock over a scope, released also by an exception.
class PaintLockScope {
 public:
  explicit PaintLockScope(TCustomOndEdit& E) : FEdit(E) { FEdit.LockPaint(); }
  ~PaintLockScope() {
    try {
      FEdit.UnlockPaint();
    } catch (...) {
    }
  }
  PaintLockScope(const PaintLockScope&) = delete;
  PaintLockScope& operator=(const PaintLockScope&) = delete;

 private:
  TCustomOndEdit& FEdit;
};

class UndoBlockScope {
 public:
  explicit UndoBlockScope(TOndEditUndoList* L) : FList(L) { FList->BeginBlock(); }
  ~UndoBlockScope() { FList->EndBlock(); }
  UndoBlockScope(const UndoBlockScope&) = delete;
  UndoBlockScope& operator=(const UndoBlockScope&) = delete;

 private:
  TOndEditUndoList* FList;
};

class LinesUpdateScope {
 public:
  explicit LinesUpdateScope(TOndEditStringList* L) : FList(L) { FList->BeginUpdate(); }
  ~LinesUpdateScope() { FList->EndUpdate(); }
  LinesUpdateScope(const LinesUpdateScope&) = delete;
  LinesUpdateScope& operator=(const LinesUpdateScope&) = delete;

 private:
  TOndEditStringList* FList;
};

}  // namespace

int TCustomOndEdit::LineLength(int Line) const {
  return Line >= 1 && Line <= FLines->GetCount() ? static_cast<int>(FLines->GetView(Line - 1).size()) : 0;
}

TBufferCoord TCustomOndEdit::ClampToText(TBufferCoord P) const {
  P.Line = MinMax(P.Line, 1, std::max(1, FLines->GetCount()));
  P.Char = MinMax(P.Char, 1, LineLength(P.Line) + 1);
  return P;
}

namespace {

std::string TextRangeIn(const TOndEditStringList& Lines, TBufferCoord B, TBufferCoord E) {
  const int count = Lines.GetCount();
  if (count == 0) return std::string();
  auto clamp = [&](TBufferCoord P) {
    P.Line = MinMax(P.Line, 1, count);
    P.Char = MinMax(P.Char, 1, static_cast<int>(Lines.GetView(P.Line - 1).size()) + 1);
    return P;
  };
  B = clamp(B);
  E = clamp(E);
  if (PosBefore(E, B)) std::swap(B, E);
  if (B.Line == E.Line) return Copy(Lines.GetView(B.Line - 1), B.Char, E.Char - B.Char);
  std::string out = Copy(Lines.GetView(B.Line - 1), B.Char, INT_MAX);
  for (int l = B.Line + 1; l < E.Line; ++l) {
    out += "\r\n";
    out.append(Lines.GetView(l - 1));
  }
  out += "\r\n";
  out += Copy(Lines.GetView(E.Line - 1), 1, E.Char - 1);
  return out;
}

// Expands every collapsed fold whose header lies on the lines B to E (and the
// folds inside them as they come into view), moving B and E with the text: a
// position past the visible part of a header stands after the fold's last
// line. Expand does the expanding and answers whether it did.
template <class ExpandFunc>
void ExpandFoldsBetween(const TOndEditStringList& Lines, TOndEditAllFoldRanges& Ranges, TBufferCoord& B,
                        TBufferCoord& E, ExpandFunc Expand) {
  if (Ranges.AllCount() == 0) return;
  auto length = [&Lines](int Line) {
    return Line >= 1 && Line <= Lines.GetCount() ? static_cast<int>(Lines.GetView(Line - 1).size()) : 0;
  };
  for (bool any = true; any;) {
    any = false;
    for (int j = 0; j < Ranges.AllCount(); ++j) {
      TOndEditFoldRange* r = Ranges.AllRanges(j);
      if (!r->Collapsed || r->ParentCollapsed || r->FromLine < B.Line || r->FromLine > E.Line) continue;
      const int header = r->FromLine, before = Lines.GetCount();
      const int visible = length(header) - static_cast<int>(CollapsedMarker(r->FoldRegion).size());
      const bool bAtEnd = B.Line == header && B.Char > visible + 1;
      const bool eAtEnd = E.Line == header && E.Char > visible + 1;
      if (!Expand(r)) continue;
      const int shown = Lines.GetCount() - before;
      const TBufferCoord foldEnd = BufferCoord(length(header + shown) + 1, header + shown);
      if (E.Line > header)
        E.Line += shown;
      else if (eAtEnd)
        E = foldEnd;
      if (bAtEnd) B = foldEnd;
      any = true;
      break;
    }
  }
}

}  // namespace

std::string TCustomOndEdit::TextRange(TBufferCoord B, TBufferCoord E) const { return TextRangeIn(*FLines, B, E); }

int TCustomOndEdit::VisibleLineLength(int Line) const {
  const int len = LineLength(Line);
  if (FAllFoldRanges->AllCount() == 0 || Line < 1 || Line > FLines->GetCount()) return len;
  const std::string_view line = FLines->GetView(Line - 1);
  // Only a line ending in the marker's blanks can head a collapsed fold.
  if (line.find("     ") == std::string_view::npos) return len;
  const TOndEditFoldRange* r = FCodeFolder->FoldRangeAtLine(Line);
  if (!r || !r->Collapsed) return len;
  const std::string marker = CollapsedMarker(r->FoldRegion);
  if (line.size() < marker.size() || line.substr(line.size() - marker.size()) != marker) return len;
  return len - static_cast<int>(marker.size());
}

std::string TCustomOndEdit::SpanText(TBufferCoord B, TBufferCoord E) const {
  if (PosBefore(E, B)) std::swap(B, E);
  if (B.Line == E.Line) {
    // Within one line a collapsed header's marker is never part of the text.
    const int end = VisibleLineLength(B.Line) + 1;
    B.Char = std::min(B.Char, end);
    E.Char = std::min(E.Char, end);
    return TextRange(B, E);
  }
  bool folded = false;
  for (int j = 0; j < FAllFoldRanges->AllCount() && !folded; ++j) {
    const TOndEditFoldRange* r = FAllFoldRanges->AllRanges(j);
    folded = r->Collapsed && !r->ParentCollapsed && r->FromLine >= B.Line && r->FromLine <= E.Line;
  }
  if (!folded) return TextRange(B, E);
  // The deletion of the span expands these folds first; the text comes from
  // copies expanded the same way, so that it holds every hidden line.
  TOndEditStringList lines;
  lines.Assign(*FLines);
  TOndEditAllFoldRanges tree;
  tree.Assign(*FAllFoldRanges);
  TOndCodeFolder folder(lines, tree);
  ExpandFoldsBetween(lines, tree, B, E, [&folder](TOndEditFoldRange* R) { return folder.ExpandFoldRange(R); });
  return TextRangeIn(lines, B, E);
}

void TCustomOndEdit::ShiftMarks(int FromLine, int Delta) {
  if (Delta == 0) return;
  for (int i = 0; i < FMarkList->Count(); ++i) {
    TOndEditMark* m = FMarkList->Items(i);
    if (!m) continue;
    if (Delta > 0) {
      if (m->GetLine() >= FromLine) m->SetLine(m->GetLine() + Delta);
    } else {
      // Lines FromLine .. FromLine - Delta - 1 went away.
      if (m->GetLine() >= FromLine - Delta)
        m->SetLine(m->GetLine() + Delta);
      else if (m->GetLine() >= FromLine)
        m->SetLine(std::max(1, FromLine - 1));
    }
  }
}

TBufferCoord TCustomOndEdit::InsertRaw(TBufferCoord P, std::string_view Text, TBufferCoord& Start) {
  if (FLines->GetCount() == 0) FLines->Add(std::string());
  P.Line = MinMax(P.Line, 1, FLines->GetCount());
  P.Char = std::max(1, P.Char);
  Start = P;
  if (Text.empty()) return P;
  const std::string line = FLines->Get(P.Line - 1);
  const int len = static_cast<int>(line.size());
  std::string left = line.substr(0, static_cast<std::size_t>(std::min(len, P.Char - 1)));
  if (P.Char - 1 > len) {
    left.append(static_cast<std::size_t>(P.Char - 1 - len), ' ');
    Start = BufferCoord(len + 1, P.Line);
  }
  const std::string right = P.Char - 1 < len ? line.substr(static_cast<std::size_t>(P.Char - 1)) : std::string();
  const std::vector<std::string_view> pieces = SplitTextLines(Text);
  if (pieces.size() == 1) {
    FLines->Put(P.Line - 1, left + std::string(pieces[0]) + right);
    return BufferCoord(static_cast<int>(left.size() + pieces[0].size()) + 1, P.Line);
  }
  const int added = static_cast<int>(pieces.size()) - 1;
  // The line holding the rest of the split line comes first, so that a fold
  // header whose token went down with it is seen moving; then the lines
  // between.
  FLines->InsertLines(P.Line, {std::string(pieces.back()) + right});
  FLines->Put(P.Line - 1, left + std::string(pieces[0]));
  if (added > 1) {
    std::vector<std::string> middle;
    for (int i = 1; i < added; ++i) middle.emplace_back(pieces[static_cast<std::size_t>(i)]);
    FLines->InsertLines(P.Line, middle);
  }
  // Marks on the line move with its text when the insertion began at char 1.
  ShiftMarks(Start.Char == 1 ? P.Line : P.Line + 1, added);
  return BufferCoord(static_cast<int>(pieces.back().size()) + 1, P.Line + added);
}

std::string TCustomOndEdit::DeleteRaw(TBufferCoord B, TBufferCoord E) {
  std::string removed = TextRange(B, E);
  if (removed.empty()) return removed;
  B = ClampToText(B);
  E = ClampToText(E);
  if (PosBefore(E, B)) std::swap(B, E);
  if (B.Line == E.Line) {
    std::string line = FLines->Get(B.Line - 1);
    line.erase(static_cast<std::size_t>(B.Char - 1), static_cast<std::size_t>(E.Char - B.Char));
    FLines->Put(B.Line - 1, line);
  } else {
    const std::string first = FLines->Get(B.Line - 1).substr(0, static_cast<std::size_t>(B.Char - 1));
    const std::string last = FLines->Get(E.Line - 1).substr(static_cast<std::size_t>(E.Char - 1));
    FLines->Put(B.Line - 1, first + last);
    FLines->DeleteLineRange(B.Line, E.Line - B.Line);
    ShiftMarks(B.Line + 1, -(E.Line - B.Line));
  }
  return removed;
}

TBufferCoord TCustomOndEdit::ReplaceRange(TBufferCoord B, TBufferCoord E, std::string_view Text,
                                          TOndUndoReason DelReason, TOndUndoReason InsReason, bool Record) {
  if (PosBefore(E, B)) std::swap(B, E);
  if (FLines->GetCount() == 0 && Text.empty()) return BufferCoord(1, 1);
  PaintLockScope lock(*this);
  LinesUpdateScope update(FLines);
  struct MarksScope {  // the edit moves the marks itself
    int& N;
    explicit MarksScope(int& C) : N(C) { ++N; }
    ~MarksScope() { --N; }
  } marks(FEditShiftsMarks);
  std::unique_ptr<UndoBlockScope> block;
  if (Record) block = std::make_unique<UndoBlockScope>(FUndoList);
  TBufferCoord at = B;
  if (FLines->GetCount() > 0) {
    // Joining or deleting lines: hidden lines of a collapsed fold among them
    // come back first, so that they are neither lost nor left out of undo.
    if (B.Line < E.Line) {
      ExpandFoldsForEdit(B, E);
    } else if (B.Char != E.Char) {
      // Within one line a collapsed header's marker stays.
      const int end = VisibleLineLength(B.Line) + 1;
      B.Char = std::min(B.Char, end);
      E.Char = std::min(E.Char, end);
    }
    const TBufferCoord bc = ClampToText(B), ec = ClampToText(E);
    if (PosBefore(bc, ec)) {
      const std::string removed = DeleteRaw(bc, ec);
      if (Record) FUndoList->AddChange(DelReason, bc, ec, removed, smNormal);
      at = bc;
    }
  }
  if (Text.empty()) return ClampToText(at);
  const bool wasEmpty = FLines->GetCount() == 0;
  TBufferCoord start;
  const TBufferCoord end = InsertRaw(at, Text, start);
  if (Record) {
    FUndoList->AddChange(InsReason, start, end, std::string_view(), smNormal);
    // The first line of an empty buffer came with the text: undo takes it
    // away again.
    if (wasEmpty)
      if (TOndEditUndoItem* top = FUndoList->PeekItem(); top && top->Reason == InsReason) top->Extra2 = 1;
  }
  return end;
}

void TCustomOndEdit::PutLineText(int Index, const std::string& Text) {
  if (FOptions & eoTrimTrailingSpaces)
    FLines->Put(Index, TrimRightBlanks(Text));
  else
    FLines->Put(Index, Text);
}

// ---- replacing the selection ------------------------------------------------------------

void TCustomOndEdit::DeleteSelectionEx(bool Record, TOndUndoReason Reason) {
  const TBufferCoord b = GetBlockBegin(), e = GetBlockEnd();
  switch (FSelectionMode) {
    case smNormal: {
      const TBufferCoord at = ReplaceRange(b, e, std::string_view(), Reason, urInsert, Record);
      FBlockBegin = FBlockEnd = at;
      InternalSetCaretXY(at);
      break;
    }
    case smLine: {
      const int count = FLines->GetCount();
      if (count == 0) break;
      const int last = std::min(e.Line, count);
      // Whole lines; the last line of the text leaves an empty line behind.
      const TBufferCoord to = last < count ? BufferCoord(1, last + 1) : BufferCoord(LineLength(last) + 1, last);
      ReplaceRange(BufferCoord(1, b.Line), to, std::string_view(), Reason, urInsert, Record);
      FBlockBegin = FBlockEnd = BufferCoord(1, b.Line);
      InternalSetCaretXY(BufferCoord(1, b.Line));
      break;
    }
    case smColumn: {
      int c1 = BufferToDisplayPos(b).Column, c2 = BufferToDisplayPos(e).Column;
      if (c1 > c2) std::swap(c1, c2);
      const int count = FLines->GetCount();
      for (int l = b.Line; l <= std::min(e.Line, count); ++l) {
        const std::string_view line = FLines->GetView(l - 1).substr(0, static_cast<std::size_t>(VisibleLineLength(l)));
        const int ch1 = LineColumnToChar(line, c1, FTabWidth), ch2 = LineColumnToChar(line, c2, FTabWidth);
        const int len = static_cast<int>(line.size());
        if (ch1 > len || ch2 <= ch1) continue;
        ReplaceRange(BufferCoord(ch1, l), BufferCoord(std::min(ch2, len + 1), l), std::string_view(), Reason,
                     urInsert, Record);
      }
      const int line = MinMax(FBlockEnd.Line, 1, std::max(1, count));
      const TBufferCoord at =
          BufferCoord(line <= count ? LineColumnToChar(FLines->GetView(line - 1), c1, FTabWidth) : c1, line);
      FBlockBegin = FBlockEnd = at;
      InternalSetCaretXY(at);
      break;
    }
  }
}

TBufferCoord TCustomOndEdit::InsertColumnText(TBufferCoord At, std::string_view Text, bool Record,
                                              TOndUndoReason Reason) {
  if (FLines->GetCount() == 0) FLines->Add(std::string());
  At.Line = MinMax(At.Line, 1, FLines->GetCount());
  At.Char = std::max(1, At.Char);
  const int col = At.Line <= FLines->GetCount()
                      ? LineCharToColumn(FLines->GetView(At.Line - 1), At.Char, FTabWidth)
                      : At.Char;
  const std::vector<std::string_view> rows = SplitTextLines(Text);
  TBufferCoord caret = At;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const int l = At.Line + static_cast<int>(i);
    const std::string_view seg = rows[i];
    if (l > FLines->GetCount()) {
      // Below the last line: a new line starting at the block's column.
      const int prev = FLines->GetCount();
      std::string add = "\r\n";
      add.append(static_cast<std::size_t>(col - 1), ' ');
      add.append(seg);
      ReplaceRange(BufferCoord(LineLength(prev) + 1, prev), BufferCoord(LineLength(prev) + 1, prev), add, urDelete,
                   Reason, Record);
      caret = BufferCoord(col + static_cast<int>(seg.size()), l);
      continue;
    }
    const std::string_view line = FLines->GetView(l - 1);
    const int ch = LineColumnToChar(line, col, FTabWidth);
    if (!seg.empty()) ReplaceRange(BufferCoord(ch, l), BufferCoord(ch, l), seg, urDelete, Reason, Record);
    caret = BufferCoord(ch + static_cast<int>(seg.size()), l);
  }
  return caret;
}

void TCustomOndEdit::ReplaceSelectionEx(TOndSelectionMode Mode, std::string_view Text, bool AddToUndo,
                                        TOndUndoReason DelReason, TOndUndoReason InsReason) {
  PaintLockScope lock(*this);
  LinesUpdateScope update(FLines);
  std::unique_ptr<UndoBlockScope> block;
  if (AddToUndo) block = std::make_unique<UndoBlockScope>(FUndoList);
  if (SelAvail()) DeleteSelectionEx(AddToUndo, DelReason);
  if (!Text.empty()) {
    TBufferCoord caret = GetCaretXY();
    switch (Mode) {
      case smNormal:
        caret = ReplaceRange(caret, caret, Text, DelReason, InsReason, AddToUndo);
        break;
      case smColumn:
        caret = InsertColumnText(caret, Text, AddToUndo, InsReason);
        break;
      case smLine: {
        std::vector<std::string_view> pieces = SplitTextLines(Text);
        if (pieces.size() > 1 && pieces.back().empty()) pieces.pop_back();
        if (FLines->GetCount() == 0) FLines->Add(std::string());
        const int c = MinMax(caret.Line, 1, FLines->GetCount());
        const int count = FLines->GetCount();
        const int p = static_cast<int>(pieces.size());
        // In overwrite mode the lines before the last one are overwritten.
        const int k = FInsertMode ? 0 : std::max(0, std::min(p, count - c));
        std::string joined;
        for (const auto& piece : pieces) {
          joined.append(piece);
          joined += "\r\n";
        }
        // An empty last line takes the lines in its place.
        if (c == count && LineLength(c) == 0) joined.resize(joined.size() - 2);
        ReplaceRange(BufferCoord(1, c), BufferCoord(1, c + k), joined, DelReason, InsReason, AddToUndo);
        caret = BufferCoord(1, std::min(c + p, FLines->GetCount()));
        StatusChanged(StatusCaretChar);
        break;
      }
    }
    FBlockBegin = FBlockEnd = caret;
    InternalSetCaretXY(caret);
  }
  if (FCaretY < 1) InternalSetCaretXY(BufferCoord(FCaretX, 1));
}

void TCustomOndEdit::ReplaceSelection(TOndSelectionMode Mode, std::string_view Text, bool AddToUndo) {
  ReplaceSelectionEx(Mode, Text, AddToUndo, urDelete, urPaste);
}

void TCustomOndEdit::InsertColumnBlock(const TBufferCoord& Begin, const TBufferCoord& End, std::string_view Text,
                                       bool AddToUndo) {
  PaintLockScope lock(*this);
  InternalSetCaretXY(Begin);
  FBlockBegin = Begin;
  FBlockEnd = End;
  const TOndSelectionMode keep = FSelectionMode;
  FSelectionMode = smColumn;
  ReplaceSelection(smColumn, Text, AddToUndo);
  FSelectionMode = keep;
  StatusChanged(StatusSelection);
}

void TCustomOndEdit::SetSelText(std::string_view Value) {
  PaintLockScope lock(*this);
  UndoBlockScope block(FUndoList);
  ReplaceSelectionEx(FSelectionMode, Value, true, urDelete, urInsert);
}

void TCustomOndEdit::ClearSelection() {
  if (SelAvail()) SetSelText(std::string_view());
}

void TCustomOndEdit::ClearAll() {
  FLines->Clear();
  FMarkList->Clear();
  ClearUndo();
  SetModified(false);
}

int TCustomOndEdit::GetSelEnd() const { return PosToTextIndex(SelAvail() ? GetBlockEnd() : GetCaretXY()); }

void TCustomOndEdit::SetSelEnd(int Value) {
  const TBufferCoord begin = FBlockBegin;
  const TBufferCoord target = TextIndexToPos(Value);
  PlaceCaretAndSelection(target, begin, target);
}

bool TCustomOndEdit::IsPointInSelection(const TBufferCoord& P) const {
  const TBufferCoord b = GetBlockBegin(), e = GetBlockEnd();
  if (P.Line < b.Line || P.Line > e.Line || b == e) return false;
  switch (FSelectionMode) {
    case smLine:
      return true;
    case smNormal: {
      const bool afterBegin = P.Line > b.Line || P.Char >= b.Char;
      const bool beforeEnd = P.Line < e.Line || P.Char < e.Char;
      return afterBegin && beforeEnd;
    }
    case smColumn: {
      if (e.Char > b.Char) return P.Char >= b.Char && P.Char < e.Char;
      if (e.Char < b.Char) return P.Char >= e.Char && P.Char < b.Char;
      return false;
    }
  }
  return false;
}

TCursor TCustomOndEdit::CursorAtPoint(int X, int Y) {
  if (X < FView.GutterWidth) return FGutter->Cursor;
  const TBufferCoord p = DisplayToBufferPos(PixelsToRowColumn(X, Y));
  TCursor c = GetCursor();
  if ((FOptions & eoDragDropEditing) && !GetMouseCapture() && IsPointInSelection(p)) c = crArrow;
  DoOnMouseCursor(p, c);
  FKbdHandler.RunMouseCursorChain(this, p, c);
  return c;
}

void TCustomOndEdit::UpdateMouseCursor() {
  const TPoint p = ScreenToClient(CursorPos());
  FMouseCursor = CursorAtPoint(p.X, p.Y);
  ShowCursorShape(FMouseCursor);
}

// ---- clipboard -----------------------------------------------------------------------------

TClipboardFormat TCustomOndEdit::BlockClipboardFormat() {
  static const TClipboardFormat format = TClipboard::RegisterFormat("OndEdit Control Block Type");
  return format;
}

void TCustomOndEdit::SetClipboardText(const std::string& Text) {
  if (Text.empty()) return;
  TClipboard* clip = Clipboard();
  clip->Open();
  try {
    clip->Clear();
    clip->SetAsText(Text);
    std::string block;
    block.reserve(Text.size() + 2);
    block += static_cast<char>(FSelectionMode);
    block += Text;
    block += '\0';
    clip->SetFormatData(BlockClipboardFormat(), block);
  } catch (...) {
    clip->Close();
    throw EOndEditError("Clipboard copy operation failed");
  }
  clip->Close();
}

void TCustomOndEdit::CopyToClipboard() {
  if (!SelAvail()) return;
  const TOndEditorOptions keep = FOptions;
  if (FSelectionMode == smColumn) FOptions &= ~eoTrimTrailingSpaces;  // column copies keep their padding
  std::string text;
  try {
    text = GetSelText();
  } catch (...) {
    FOptions = keep;
    throw;
  }
  FOptions = keep;
  SetClipboardText(text);
}

void TCustomOndEdit::CutToClipboard() {
  if (GetReadOnly() || !SelAvail()) return;
  UndoBlockScope block(FUndoList);
  if (CaretOnCollapsedFoldHeader()) return;
  CopyToClipboard();
  ReplaceSelectionEx(FSelectionMode, std::string_view(), true, urDelete, urPaste);
}

bool TCustomOndEdit::CanPaste() const {
  if (GetReadOnly()) return false;
  return Clipboard()->HasFormat(CF_TEXT) || Clipboard()->HasFormat(BlockClipboardFormat());
}

void TCustomOndEdit::PasteFromClipboard() {
  if (CaretOnCollapsedFoldHeader() || !CanPaste()) return;
  TOndSelectionMode mode = FSelectionMode;
  std::string text;
  bool haveBlock = false;
  if (Clipboard()->HasFormat(BlockClipboardFormat())) {
    // The block may come from any program: its length bounds it, the first
    // zero ends the text, and an unknown mode counts as normal.
    const std::string data = Clipboard()->GetFormatData(BlockClipboardFormat());
    if (!data.empty()) {
      const unsigned char m = static_cast<unsigned char>(data[0]);
      mode = m == smLine ? smLine : m == smColumn ? smColumn : smNormal;
      const std::size_t zero = data.find('\0', 1);
      text = data.substr(1, zero == std::string::npos ? std::string::npos : zero - 1);
      haveBlock = true;
    }
  }
  if (!haveBlock) text = Clipboard()->GetAsText();
  DoOnPaintTransient(ttBefore);
  {
    PaintLockScope lock(*this);
    UndoBlockScope block(FUndoList);
    FUndoList->AddChange(urPasteBegin, GetBlockBegin(), GetBlockEnd(), std::string_view(), FSelectionMode);
    ReplaceSelectionEx(mode, text, true, urDelete, urPaste);
    FUndoList->AddChange(urPasteEnd, GetBlockBegin(), GetBlockEnd(), std::string_view(), FSelectionMode);
  }
  if (FOptions & eoHideShowScrollbars) UpdateScrollBars();
  MakeCaretVisible();
  StatusChanged(StatusSelection);
  DoOnPaintTransient(ttAfter);
}

// ---- undo and redo -------------------------------------------------------------------------

void TCustomOndEdit::RefreshModified() {
  const bool modified = !FUndoList->IsTopMarkedAsSaved();
  if (modified == FModified) return;
  FModified = modified;
  StatusChanged(StatusModified);
}

void TCustomOndEdit::UndoListChanged(TOndEditUndoList* Sender) {
  RefreshModified();
  if (Sender == FUndoList && !(FStateFlags & sfInsideRedo) && FUndoList->LastChangeReason() != urGroupBreak)
    FRedoList->Clear();
  if (Sender->GetBlockDepth() == 0) DoChange();
}

void TCustomOndEdit::SetModified(bool Value) {
  if (FModified == Value) return;
  if (!Value && (FOptions & eoGroupUndo) && FUndoList->HasRecords()) FUndoList->AddGroupBreak();
  FUndoList->MarkTopAsSaved(!Value);
  FModified = Value;
  StatusChanged(StatusModified);
  if (!Value) {
    for (int i = 0; i < FLines->GetCount(); ++i)
      if (TOndLineExtra* x = FLines->GetLineExtra(i); x && x->ModifiedState == 2) x->ModifiedState = 1;
    InvalidateGutter();
  }
}

namespace {
// Moves the top record of one list onto another, keeping its change number.
void MoveTopItem(TOndEditUndoList* From, TOndEditUndoList* To) {
  if (std::unique_ptr<TOndEditUndoItem> item = From->PopItem()) To->PushItem(std::move(item));
}

std::unique_ptr<TOndEditUndoItem> MakeItem(TOndUndoReason Reason, const TBufferCoord& S, const TBufferCoord& E,
                                           std::string Text, TOndSelectionMode Mode, std::int32_t Group) {
  auto item = std::make_unique<TOndEditUndoItem>();
  item->Reason = Reason;
  item->StartPos = S;
  item->EndPos = E;
  item->Text = std::move(Text);
  item->SelectionMode = Mode;
  item->GroupNumber = Group;
  return item;
}
}  // namespace

void TCustomOndEdit::UndoItem() {
  std::unique_ptr<TOndEditUndoItem> item = FUndoList->PopItem();
  if (!item) return;
  if (item->Reason == urFoldChange) {
    ReplayFoldRecord(std::move(item), true);
    return;
  }
  TOndEditUndoList* const keepTarget = FFoldUndoTarget;
  FFoldUndoTarget = FRedoList;
  FFoldUndoGroup = item->GroupNumber;
  const TOndSelectionMode keepMode = FSelectionMode;
  const TOndEditorOptions keepOptions = FOptions;
  PaintLockScope lock(*this);
  FSelectionMode = item->SelectionMode;
  FOptions |= eoScrollPastEol;  // positions beyond line ends survive
  try {
    const TBufferCoord s = item->StartPos, e = item->EndPos;
    const TOndUndoReason r = item->Reason;
    if (IsInsertRecord(r)) {
      std::string taken = TextRange(s, e);
      ReplaceRange(s, e, item->Text, r, r, false);
      const bool madeFirstLine = item->Extra2 == 1 && FLines->GetCount() == 1 && LineLength(1) == 0;
      if (madeFirstLine) FLines->Delete(0);
      FRedoList->PushItem(MakeItem(r, s, e, std::move(taken), item->SelectionMode, item->GroupNumber));
      if (madeFirstLine) FRedoList->PeekItem()->Extra2 = 1;
      SetCaretAndCollapse(s);
    } else if (IsDeleteRecord(r)) {
      const TBufferCoord end = ReplaceRange(s, s, item->Text, r, r, false);
      FRedoList->PushItem(MakeItem(r, s, end, std::string(), item->SelectionMode, item->GroupNumber));
      if (r == urDeleteAfterCursor || r == urSilentDeleteAfterCursor)
        SetCaretAndCollapse(s);
      else if (r == urSilentDelete)
        SetCaretAndCollapse(end);
      else if (r == urDeleteAll)
        SetCaretAndCollapse(BufferCoord(1, 1));
      else
        PlaceCaretAndSelection(end, s, end);
      MakeCaretVisible();
    } else if (r == urCaret) {
      FRedoList->PushItem(MakeItem(r, GetCaretXY(), GetCaretXY(), std::string(), item->SelectionMode,
                                   item->GroupNumber));
      InternalSetCaretXY(s);
    } else if (r == urSelection) {
      FRedoList->PushItem(MakeItem(r, FBlockBegin, FBlockEnd, std::string(), item->SelectionMode, item->GroupNumber));
      SetBlockBegin(s);
      SetBlockEnd(e);
    }
  } catch (...) {
    FSelectionMode = keepMode;
    FOptions = keepOptions;
    FFoldUndoTarget = keepTarget;
    throw;
  }
  FSelectionMode = keepMode;
  FOptions = keepOptions;
  FFoldUndoTarget = keepTarget;
}

void TCustomOndEdit::RedoItem() {
  std::unique_ptr<TOndEditUndoItem> item = FRedoList->PopItem();
  if (!item) return;
  if (item->Reason == urFoldChange) {
    ReplayFoldRecord(std::move(item), false);
    return;
  }
  TOndEditUndoList* const keepTarget = FFoldUndoTarget;
  FFoldUndoTarget = FUndoList;
  FFoldUndoGroup = item->GroupNumber;
  const TOndSelectionMode keepMode = FSelectionMode;
  const TOndEditorOptions keepOptions = FOptions;
  PaintLockScope lock(*this);
  FSelectionMode = item->SelectionMode;
  FOptions |= eoScrollPastEol;
  try {
    const TBufferCoord s = item->StartPos, e = item->EndPos;
    const TOndUndoReason r = item->Reason;
    if (IsInsertRecord(r)) {
      std::string replaced = TextRange(s, s);
      const bool wasEmpty = FLines->GetCount() == 0;
      const TBufferCoord end = ReplaceRange(s, s, item->Text, r, r, false);
      auto redone = MakeItem(r, s, end, std::move(replaced), item->SelectionMode, item->GroupNumber);
      if (wasEmpty) redone->Extra2 = 1;
      FUndoList->PushItem(std::move(redone));
      SetCaretAndCollapse(end);
    } else if (IsDeleteRecord(r)) {
      std::string taken = TextRange(s, e);
      ReplaceRange(s, e, std::string_view(), r, r, false);
      FUndoList->PushItem(MakeItem(r, s, e, std::move(taken), item->SelectionMode, item->GroupNumber));
      SetCaretAndCollapse(s);
    } else if (r == urCaret) {
      FUndoList->PushItem(MakeItem(r, GetCaretXY(), GetCaretXY(), std::string(), item->SelectionMode,
                                   item->GroupNumber));
      InternalSetCaretXY(s);
    } else if (r == urSelection) {
      FUndoList->PushItem(MakeItem(r, FBlockBegin, FBlockEnd, std::string(), item->SelectionMode, item->GroupNumber));
      SetBlockBegin(s);
      SetBlockEnd(e);
    }
  } catch (...) {
    FSelectionMode = keepMode;
    FOptions = keepOptions;
    FFoldUndoTarget = keepTarget;
    throw;
  }
  FSelectionMode = keepMode;
  FOptions = keepOptions;
  FFoldUndoTarget = keepTarget;
}

void TCustomOndEdit::Undo() {
  if (GetReadOnly()) return;
  PaintLockScope lock(*this);
  if (FUndoList->LastChangeReason() == urGroupBreak) MoveTopItem(FUndoList, FRedoList);
  const TOndEditUndoItem* top = FUndoList->PeekItem();
  if (!top) {
    RefreshModified();
    return;
  }
  const TOndUndoReason first = top->Reason;
  std::int32_t group = top->GroupNumber;
  const bool endMarker = IsEndMarker(first);
  TOndUndoReason last = first;
  for (;;) {
    UndoItem();
    const TOndEditUndoItem* t = FUndoList->PeekItem();
    if (!t) break;
    if (endMarker) {
      if (t->Reason == first - 1) {
        UndoItem();
        break;
      }
      continue;
    }
    if (t->GroupNumber == group) {
      last = t->Reason;
      continue;
    }
    if ((FOptions & eoGroupUndo) && t->Reason == last && last != urIndent && last != urUnindent &&
        last != urGroupBreak) {
      group = t->GroupNumber;
      continue;
    }
    break;
  }
  RefreshModified();
  if (FUndoList->GetBlockDepth() == 0) DoChange();
}

void TCustomOndEdit::Redo() {
  if (GetReadOnly()) return;
  const TOndEditUndoItem* top = FRedoList->PeekItem();
  if (!top) return;
  PaintLockScope lock(*this);
  FStateFlags |= sfInsideRedo;
  try {
    const TOndUndoReason first = top->Reason;
    std::int32_t group = top->GroupNumber;
    const bool beginMarker = IsBeginMarker(first);
    TOndUndoReason last = first;
    for (;;) {
      RedoItem();
      const TOndEditUndoItem* t = FRedoList->PeekItem();
      if (!t) break;
      if (beginMarker) {
        if (t->Reason == first + 1) {
          RedoItem();
          break;
        }
        continue;
      }
      if (t->GroupNumber == group) {
        last = t->Reason;
        continue;
      }
      if ((FOptions & eoGroupUndo) && t->Reason == last && last != urIndent && last != urUnindent &&
          last != urGroupBreak) {
        group = t->GroupNumber;
        continue;
      }
      break;
    }
    if (FRedoList->LastChangeReason() == urGroupBreak) MoveTopItem(FRedoList, FUndoList);
  } catch (...) {
    FStateFlags &= static_cast<TOndStateFlags>(~sfInsideRedo);
    throw;
  }
  FStateFlags &= static_cast<TOndStateFlags>(~sfInsideRedo);
  RefreshModified();
  DoChange();
}

// ---- bookmarks -----------------------------------------------------------------------------

void TCustomOndEdit::SetBookMark(int BookMark, int X, int Y) {
  if (BookMark < 0 || BookMark > 9 || Y < 1 || Y > std::max(1, FLines->GetCount())) return;
  auto mark = std::make_unique<TOndEditMark>(this);
  mark->SetLine(Y);
  mark->SetChar(X);
  mark->SetImage(BookMark);
  mark->SetBookmarkIndex(BookMark);
  mark->SetVisible(true);
  mark->SetUseInternalImage(FBookMarkOpt->GetBookmarkImages() == nullptr);
  TOndEditMark* m = mark.get();
  DoOnPlaceMark(m);
  if (m != mark.get()) {
    // The handler cancelled the mark (null) or handed its own.
    mark.reset();
    if (!m) return;
    mark.reset(m);
  }
  ClearBookMark(BookMark);
  FBookMarks[static_cast<std::size_t>(BookMark)] = mark.get();
  FMarkList->Add(std::move(mark));
}

void TCustomOndEdit::ClearBookMark(int BookMark) {
  if (BookMark < 0 || BookMark > 9) return;
  TOndEditMark* m = FBookMarks[static_cast<std::size_t>(BookMark)];
  if (!m) return;
  TOndEditMark* shown = m;
  DoOnClearBookmark(shown);
  FBookMarks[static_cast<std::size_t>(BookMark)] = nullptr;
  FMarkList->Remove(m);
}

bool TCustomOndEdit::GetBookMark(int BookMark, int& X, int& Y) const {
  const TOndEditMark* m = Bookmark(BookMark);
  if (!m) return false;
  X = m->GetChar();
  Y = m->GetLine();
  return true;
}

void TCustomOndEdit::GotoBookMark(int BookMark) {
  const TOndEditMark* m = Bookmark(BookMark);
  if (!m || m->GetLine() < 1 || m->GetLine() > FLines->GetCount()) return;
  PaintLockScope lock(*this);
  SetCaretXYEx(false, BufferCoord(m->GetChar(), m->GetLine()));
  MakeCaretVisibleEx(true);
  if (SelAvail()) InvalidateSelection();
  FBlockBegin = FBlockEnd = GetCaretXY();
  StatusChanged(StatusSelection);
}

// ---- key translation and command processing ------------------------------------------------

TOndEditorCommand TCustomOndEdit::KeyToCommand(std::uint16_t Code, TShiftState Shift, void*& Data) {
  (void)Data;
  TOndEditorCommand result = ecNone;
  int i = -1;
  if (FLastKey != 0) i = FKeystrokes->FindTwoKeyBinding(FLastKey, FLastShift, Code, Shift);
  if (i < 0) i = FKeystrokes->FindKeyBinding(Code, Shift);
  if (i >= 0) result = FKeystrokes->Items(i).GetCommand();
  if (result == ecNone && Code >= 30 && Code < 146) {
    FLastKey = Code;
    FLastShift = Shift;
  } else {
    FLastKey = 0;
    FLastShift = 0;
  }
  return result;
}

void TCustomOndEdit::KeyDown(std::uint16_t& Key, TShiftState Shift) {
  // A command from an earlier key that typed no character must not swallow
  // the character of this one.
  FStateFlags &= static_cast<TOndStateFlags>(~sfKeyHandled);
  TCustomControl::KeyDown(Key, Shift);
  if (Key == 0) return;
  FKbdHandler.RunKeyDownChain(this, Key, Shift);
  if (Key == 0) return;
  void* data = nullptr;
  const TOndEditorCommand cmd = KeyToCommand(Key, Shift & (ssShift | ssAlt | ssCtrl), data);
  if (cmd == ecNone) return;
  Key = 0;
  FStateFlags |= sfKeyHandled;
  CommandProcessor(cmd, '\0', data);
}

void TCustomOndEdit::KeyPress(char& Key) {
  if (FStateFlags & sfKeyHandled) {
    FStateFlags &= static_cast<TOndStateFlags>(~sfKeyHandled);
    Key = 0;
    return;
  }
  TCustomControl::KeyPress(Key);
  if (Key == 0) return;
  FKbdHandler.RunKeyPressChain(this, Key);
  if (Key == 0) return;
  CommandProcessor(ecChar, Key, nullptr);
  Key = 0;
}

void TCustomOndEdit::ImeComposition(const std::string& Text) {
  if (Text.empty()) return;
  std::string s = Text;
  CommandProcessor(ecImeStr, '\0', s.data());
}

void TCustomOndEdit::CommandProcessor(TOndEditorCommand Command, char AChar, void* Data) {
  DoOnProcessCommand(Command, AChar, Data);
  if (Command != ecNone) {
    NotifyHookedCommandHandlers(false, Command, AChar, Data);
    if (Command != ecNone && Command < ecUserFirst) ExecuteCommand(Command, AChar, Data);
    if (Command != ecNone) NotifyHookedCommandHandlers(true, Command, AChar, Data);
  }
  if (FFoldChangeCount != 0 && FCodeFolding->GetEnabled()) UpdateFoldRanges();
  DoOnCommandProcessed(Command, AChar, Data);
}

// ---- word positions ---------------------------------------------------------------------------

TBufferCoord TCustomOndEdit::NextWordPosEx(const TBufferCoord& P) const {
  const int count = FLines->GetCount();
  if (P.Line < 1 || P.Line > count) return P;
  TSysCharSet ident, white;
  GetWordChars(ident, white);
  const std::string_view line = FLines->GetView(P.Line - 1);
  const int len = static_cast<int>(line.size());
  if (P.Char >= 1 && P.Char < len) {
    int x = P.Char;
    if (ident.Contains(line[static_cast<std::size_t>(x - 1)])) x = FindCharInSet(line, x, white);
    if (x > 0) x = FindCharInSet(line, x, ident);
    return BufferCoord(x > 0 ? x : len + 1, P.Line);
  }
  if (P.Char < 1) return BufferCoord(1, P.Line);
  if (P.Line == count) return P;
  const std::string_view next = FLines->GetView(P.Line);
  const int x = FindCharInSet(next, 1, ident);
  return BufferCoord(x > 0 ? x : 1, P.Line + 1);
}

TBufferCoord TCustomOndEdit::PrevWordPosEx(const TBufferCoord& P) const {
  const int count = FLines->GetCount();
  if (P.Line < 1 || P.Line > count) return P;
  TSysCharSet ident, white;
  GetWordChars(ident, white);
  const std::string_view line = FLines->GetView(P.Line - 1);
  const int X = std::min(P.Char, static_cast<int>(line.size()) + 1);
  auto previousLineEnd = [&]() {
    return P.Line > 1 ? BufferCoord(LineLength(P.Line - 1) + 1, P.Line - 1) : BufferCoord(1, 1);
  };
  if (X <= 1) return P.Line > 1 ? previousLineEnd() : BufferCoord(std::max(1, X), 1);
  int x = X - 1;  // the character before X
  if (white.Contains(line[static_cast<std::size_t>(x - 1)])) {
    x = FindCharInSetBackward(line, x, ident);
    if (x <= 0) return previousLineEnd();
  }
  return BufferCoord(FindCharInSetBackward(line, x, white) + 1, P.Line);
}

std::string TCustomOndEdit::GetIndentString(int Width, bool WantTabsHere) const {
  if (Width <= 0) return std::string();
  if (WantTabsHere && !(FOptions & eoTabsToSpaces) && Width >= FTabWidth)
    return std::string(static_cast<std::size_t>(Width / FTabWidth), '\t') +
           std::string(static_cast<std::size_t>(Width % FTabWidth), ' ');
  return std::string(static_cast<std::size_t>(Width), ' ');
}

int TCustomOndEdit::LeadingWhite(std::string_view Line, bool TabsAsWidth) const {
  if (!(FOptions & eoAutoIndent)) return 0;
  int n = 0;
  for (char c : Line) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 1 || u > 32) break;
    n += (c == '\t' && TabsAsWidth) ? FTabWidth : 1;
  }
  return n;
}

int TCustomOndEdit::SmartIndentTarget(int Line, int Count, bool TabsAsWidth) const {
  for (int l = Line - 1; l >= 1; --l) {
    const int w = LeadingWhite(FLines->GetView(l - 1), TabsAsWidth);
    if (w < Count) return w;
  }
  return 0;
}

// ---- commands ---------------------------------------------------------------------------------

int TCustomOndEdit::EditingCommand(TOndEditorCommand C) const {
  return (C >= ecDeleteLastChar && C <= ecImeStr) || (C >= ecUndo && C <= ecToggleCaseBlock);
}

void TCustomOndEdit::ExecuteCommand(TOndEditorCommand Command, char AChar, void* Data) {
  if (!FDestroying && CaretOnCollapsedFoldHeader() &&
      ((Command >= 501 && Command <= 600) || Command == ecTab || Command == ecShiftTab || Command == ecString ||
       Command == ecAutoCompletion))
    return;
  const bool editing = EditingCommand(Command);
  if (editing && GetReadOnly()) return;
  PaintLockScope lock(*this);
  if (editing) DoOnPaintTransient(ttBefore);
  struct AfterScope {
    TCustomOndEdit* E;
    bool On;
    ~AfterScope() {
      if (On) try {
          E->DoOnPaintTransient(ttAfter);
        } catch (...) {
        }
    }
  } after{this, editing};
  const bool sel = (Command >= ecSelLeft && Command <= ecSelGotoXY);
  const TOndEditorCommand base = sel ? static_cast<TOndEditorCommand>(Command - 100) : Command;
  const TBufferCoord caret = GetCaretXY();
  switch (base) {
    case ecLeft: MoveCaretByChars(-1, sel); return;
    case ecRight: MoveCaretByChars(1, sel); return;
    case ecUp: MoveCaretByRows(-1, sel); return;
    case ecDown: MoveCaretByRows(1, sel); return;
    case ecWordLeft: MoveCaretAndSelect(caret, PrevWordPos(), sel); return;
    case ecWordRight: MoveCaretAndSelect(caret, NextWordPos(), sel); return;
    case ecLineStart: MoveCaretToLineStart(sel); return;
    case ecLineEnd: MoveCaretToLineEnd(sel); return;
    case ecPageUp:
    case ecPageDown: {
      int n = FView.LinesInWindow;
      if (FOptions & eoHalfPageScroll) n >>= 1;
      if (FOptions & eoScrollByOneLess) --n;
      if (base == ecPageUp) n = -n;
      SetTopLine(FView.TopLine + n);
      MoveCaretByRows(n, sel);
      return;
    }
    case ecPageLeft: MoveCaretByChars(-FView.CharsInWindow, sel); return;
    case ecPageRight: MoveCaretByChars(FView.CharsInWindow, sel); return;
    case ecPageTop:
    case ecPageBottom: {
      TDisplayCoord d = GetDisplayXY();
      d.Row = base == ecPageTop ? FView.TopLine : FView.TopLine + FView.LinesInWindow - 1;
      d.Row = MinMax(d.Row, 1, std::max(1, DisplayRowCount()));
      MoveCaretAndSelect(caret, DisplayToBufferPos(d), sel);
      return;
    }
    case ecEditorTop: MoveCaretAndSelect(caret, BufferCoord(1, 1), sel); return;
    case ecEditorBottom: {
      const int count = std::max(1, FLines->GetCount());
      MoveCaretAndSelect(caret, BufferCoord(LineLength(count) + 1, count), sel);
      return;
    }
    case ecGotoXY:
      if (Data) MoveCaretAndSelect(caret, *static_cast<const TBufferCoord*>(Data), sel);
      return;
    default: break;
  }
  switch (Command) {
    case ecSelWord: SetSelWord(); break;
    case ecSelectAll: SelectAll(); break;
    case ecCopy: CopyToClipboard(); break;
    case ecScrollUp:
    case ecScrollDown: {
      const int row = GetDisplayXY().Row;
      if (row < FView.TopLine || row >= FView.TopLine + FView.LinesInWindow) {
        MakeCaretVisible();
        break;
      }
      SetTopLine(FView.TopLine + (Command == ecScrollUp ? -1 : 1));
      const int r = GetDisplayXY().Row;
      if (r < FView.TopLine)
        MoveCaretByRows(1, false);
      else if (r >= FView.TopLine + FView.LinesInWindow)
        MoveCaretByRows(-1, false);
      MakeCaretVisible();
      break;
    }
    case ecScrollLeft: SetLeftColumn(FView.LeftColumn - 1); break;
    case ecScrollRight: SetLeftColumn(FView.LeftColumn + 1); break;
    case ecInsertMode: SetInsertMode(true); break;
    case ecOverwriteMode: SetInsertMode(false); break;
    case ecToggleMode: SetInsertMode(!FInsertMode); break;
    case ecNormalSelect: SetSelectionMode(smNormal); break;
    case ecColumnSelect: SetSelectionMode(smColumn); break;
    case ecLineSelect: SetSelectionMode(smLine); break;
    case ecMatchBracket: FindMatchingBracket(); break;
    case ecContextHelp:
      if (OnContextHelp) OnContextHelp(this, WordAtCursor());
      break;
    case ecDeleteLastChar: DoBackspace(); break;
    case ecDeleteChar: DoDeleteChar(); break;
    case ecDeleteWord:
    case ecDeleteLastWord:
    case ecDeleteBOL:
    case ecDeleteEOL: DoDeleteRange(Command); break;
    case ecDeleteLine: DoDeleteLine(); break;
    case ecClearAll: ClearAll(); break;
    case ecLineBreak: DoLineBreak(true); break;
    case ecInsertLine: DoLineBreak(false); break;
    case ecChar: DoTypeChar(AChar); break;
    case ecImeStr:
      if (Data) DoImeStr(static_cast<const char*>(Data));
      break;
    case ecUndo: Undo(); break;
    case ecRedo: Redo(); break;
    case ecCut: CutToClipboard(); break;
    case ecPaste: PasteFromClipboard(); break;
    case ecBlockIndent: DoBlockIndent(); break;
    case ecBlockUnindent: DoBlockUnindent(); break;
    case ecTab: DoTabKey(); break;
    case ecShiftTab: DoShiftTabKey(); break;
    case ecUpperCase:
    case ecLowerCase:
    case ecToggleCase:
    case ecTitleCase:
    case ecUpperCaseBlock:
    case ecLowerCaseBlock:
    case ecToggleCaseBlock: DoCaseChange(Command); break;
    default:
      if (Command >= ecGotoMarker0 && Command <= ecGotoMarker9) {
        if (FBookMarkOpt->EnableKeys) GotoBookMark(Command - ecGotoMarker0);
      } else if (Command >= ecSetMarker0 && Command <= ecSetMarker9) {
        if (FBookMarkOpt->EnableKeys) DoSetMarker(Command - ecSetMarker0, Data);
      }
      break;
  }
}

void TCustomOndEdit::DoSetMarker(int Index, void* Data) {
  const TBufferCoord p = Data ? *static_cast<const TBufferCoord*>(Data) : GetCaretXY();
  const TOndEditMark* m = Bookmark(Index);
  if (!m) {
    SetBookMark(Index, p.Char, p.Line);
  } else if (m->GetLine() != p.Line) {
    ClearBookMark(Index);
    SetBookMark(Index, p.Char, p.Line);
  } else {
    ClearBookMark(Index);
  }
}

void TCustomOndEdit::DoBackspace() {
  if (SelAvail()) {
    const bool forwards = !PosBefore(FBlockEnd, FBlockBegin);
    ReplaceSelectionEx(FSelectionMode, std::string_view(), true, forwards ? urDeleteAfterCursor : urDelete, urInsert);
    return;
  }
  const int X = FCaretX, Y = FCaretY;
  if (FLines->GetCount() == 0) return;
  const std::string line = FLines->Get(Y - 1);
  const int len = static_cast<int>(line.size());
  if (X > len + 1) {
    if (!(FOptions & eoSmartTabDelete)) {
      InternalSetCaretXY(BufferCoord(X - 1, Y));
    } else if (len > 0) {
      InternalSetCaretXY(BufferCoord(len + 1, Y));
    } else {
      const int target = SmartIndentTarget(Y, X - 1, (FOptions & eoTrimTrailingSpaces) != 0);
      InternalSetCaretXY(BufferCoord(target + 1, Y));
    }
    return;
  }
  if (X == 1) {
    if (Y == 1) return;
    const TBufferCoord join = BufferCoord(LineLength(Y - 1) + 1, Y - 1);
    ReplaceRange(join, BufferCoord(1, Y), std::string_view(), urSilentDelete, urInsert, true);
    SetCaretAndCollapse(join);
    MakeCaretVisible();
    return;
  }
  const unsigned char before = static_cast<unsigned char>(line[static_cast<std::size_t>(X - 2)]);
  const int lw = LeadingWhite(line, false);
  int from = X - 1, to = X;  // the characters removed, [from, to)
  if (before <= 32 && (FOptions & eoAutoIndent) && lw == X - 1) {
    if (FOptions & eoSmartTabDelete) {
      const int target = SmartIndentTarget(Y, lw, false);
      from = 1;
      to = 1 + std::max(1, lw - target);
    } else {
      const int col = LineCharToColumn(line, X, FTabWidth);
      int n = (col - 1) % FTabWidth;
      if (n == 0) n = FTabWidth;
      int k = 0, i = X - 1;
      while (k < n && i >= 1) {
        const char c = line[static_cast<std::size_t>(i - 1)];
        if (c == '\t') {
          ++k;
          break;
        }
        if (c != ' ') break;
        ++k;
        --i;
      }
      from = X - std::max(1, k);
    }
  }
  ReplaceRange(BufferCoord(from, Y), BufferCoord(to, Y), std::string_view(), urSilentDelete, urInsert, true);
  SetCaretAndCollapse(BufferCoord(X - (to - from), Y));
  MakeCaretVisible();
}

void TCustomOndEdit::DoDeleteChar() {
  if (SelAvail()) {
    const bool forwards = !PosBefore(FBlockEnd, FBlockBegin);
    ReplaceSelectionEx(FSelectionMode, std::string_view(), true, forwards ? urDeleteAfterCursor : urDelete, urInsert);
    return;
  }
  const int X = FCaretX, Y = FCaretY;
  if (FLines->GetCount() == 0) return;
  const int len = LineLength(Y);
  if (X <= len) {
    ReplaceRange(BufferCoord(X, Y), BufferCoord(X + 1, Y), std::string_view(), urSilentDeleteAfterCursor, urInsert,
                 true);
  } else if (Y < FLines->GetCount()) {
    // Joined at the caret: blanks fill the line up to it.
    ReplaceRange(BufferCoord(len + 1, Y), BufferCoord(1, Y + 1), std::string(static_cast<std::size_t>(X - 1 - len), ' '),
                 urSilentDeleteAfterCursor, urInsert, true);
  }
  SetCaretAndCollapse(BufferCoord(X, Y));
}

void TCustomOndEdit::DoDeleteRange(TOndEditorCommand Command) {
  if (FLines->GetCount() == 0) return;
  const TBufferCoord caret = GetCaretXY();
  const int len = LineLength(caret.Line);
  if (Command == ecDeleteWord || Command == ecDeleteEOL) {
    TBufferCoord end = BufferCoord(len + 1, caret.Line);
    if (Command == ecDeleteWord) {
      end = WordEndEx(caret);
      if (PosBefore(end, caret) || (end == caret && caret.Line != FLines->GetCount())) {
        if (end.Char > len) {
          if (caret.Line < FLines->GetCount()) end = BufferCoord(1, caret.Line + 1);
        } else if (FLines->GetView(caret.Line - 1)[static_cast<std::size_t>(end.Char - 1)] != ' ') {
          ++end.Char;
        }
        const std::string_view l = FLines->GetView(end.Line - 1);
        while (end.Char <= static_cast<int>(l.size()) && l[static_cast<std::size_t>(end.Char - 1)] == ' ') ++end.Char;
      }
    }
    const TBufferCoord start = ClampToText(caret);
    if (!PosBefore(start, end)) return;
    const int pad = caret.Char - start.Char;
    ReplaceRange(start, end, std::string(static_cast<std::size_t>(std::max(0, pad)), ' '),
                 urSilentDeleteAfterCursor, urInsert, true);
    SetCaretAndCollapse(caret);
    return;
  }
  const TBufferCoord start = Command == ecDeleteLastWord ? PrevWordPos() : BufferCoord(1, caret.Line);
  const TBufferCoord to = ClampToText(caret);
  if (PosBefore(start, to)) ReplaceRange(start, to, std::string_view(), urSilentDelete, urInsert, true);
  SetCaretAndCollapse(start);
}

void TCustomOndEdit::DoDeleteLine() {
  const int count = FLines->GetCount();
  if (count == 0) return;
  const int Y = FCaretY;
  if (Y == count && LineLength(Y) == 0) return;
  if (SelAvail()) SetBlockBegin(GetCaretXY());
  if (Y == count)
    ReplaceRange(BufferCoord(1, Y), BufferCoord(LineLength(Y) + 1, Y), std::string_view(), urSilentDeleteAfterCursor,
                 urInsert, true);
  else
    ReplaceRange(BufferCoord(1, Y), BufferCoord(1, Y + 1), std::string_view(), urSilentDeleteAfterCursor, urInsert,
                 true);
  SetCaretAndCollapse(BufferCoord(1, Y));
}

void TCustomOndEdit::DoLineBreak(bool MoveCaret) {
  UndoBlockScope block(FUndoList);
  if (SelAvail()) ReplaceSelectionEx(FSelectionMode, std::string_view(), true, urDelete, urInsert);
  if (FLines->GetCount() == 0) FLines->Add(std::string());
  const int X = FCaretX, Y = FCaretY;
  const std::string line = FLines->Get(Y - 1);
  const int L = static_cast<int>(line.size());
  TBufferCoord caret = GetCaretXY();
  if (L > 0 && X <= L && X > 1) {
    std::string kept = line.substr(0, static_cast<std::size_t>(X - 1));
    if (FOptions & eoTrimTrailingSpaces) kept = TrimRightBlanks(kept);
    const std::string indent = GetIndentString(LeadingWhite(kept, true), true);
    ReplaceRange(BufferCoord(static_cast<int>(kept.size()) + 1, Y), BufferCoord(X, Y), "\r\n" + indent, urSilentDelete,
                 urLineBreak, true);
    if (MoveCaret) caret = BufferCoord(static_cast<int>(indent.size()) + 1, Y + 1);
  } else if (L > 0 && X == 1) {
    ReplaceRange(BufferCoord(1, Y), BufferCoord(1, Y), "\r\n", urDelete, urLineBreak, true);
    if (MoveCaret) caret = BufferCoord(1, Y + 1);
  } else if (L > 0) {
    const int n = LeadingWhite(line, false);
    ReplaceRange(BufferCoord(L + 1, Y), BufferCoord(L + 1, Y), "\r\n" + line.substr(0, static_cast<std::size_t>(n)),
                 urDelete, urLineBreak, true);
    if (MoveCaret) caret = BufferCoord(n + 1, Y + 1);
  } else {
    ReplaceRange(BufferCoord(1, Y), BufferCoord(1, Y), "\r\n", urDelete, urLineBreak, true);
    if (MoveCaret) {
      int n = 0;
      for (int l = Y; l >= 1; --l)
        if (LineLength(l) > 0) {
          n = LeadingWhite(FLines->GetView(l - 1), true);
          break;
        }
      caret = BufferCoord(n + 1, Y + 1);
    }
  }
  const TOndEditorOptions keep = FOptions;
  FOptions |= eoScrollPastEol;  // the indent may lie past an empty line's end
  try {
    SetCaretAndCollapse(caret);
  } catch (...) {
    FOptions = keep;
    throw;
  }
  FOptions = keep;
  MakeCaretVisible();
  FLastCaretX = GetDisplayXY().Column;
}

void TCustomOndEdit::ColumnEdit(const std::string& Insert, bool Overwrite) {
  const TBufferCoord anchor = FBlockBegin, moving = FBlockEnd;
  int c1 = BufferToDisplayPos(anchor).Column, c2 = BufferToDisplayPos(moving).Column;
  const bool anchorLeft = c1 <= c2;
  if (c1 > c2) std::swap(c1, c2);
  const int l1 = std::min(anchor.Line, moving.Line), l2 = std::min(std::max(anchor.Line, moving.Line), FLines->GetCount());
  const int n = static_cast<int>(Insert.size());
  if (n == 0) return;
  UndoBlockScope block(FUndoList);
  int newC1 = c1 + n, newC2 = c2 + n;
  if (Overwrite && c1 < c2) {
    int longest = 0;
    for (int l = l1; l <= l2; ++l) {
      const std::string_view line = FLines->GetView(l - 1);
      const int ch1 = LineColumnToChar(line, c1, FTabWidth);
      const int ch2 = std::min(LineColumnToChar(line, c2, FTabWidth), static_cast<int>(line.size()) + 1);
      if (ch2 <= ch1) continue;
      std::string repl;
      for (int i = 0; i < ch2 - ch1; ++i) repl += Insert[static_cast<std::size_t>(i % n)];
      longest = std::max(longest, ch2 - ch1);
      ReplaceRange(BufferCoord(ch1, l), BufferCoord(ch2, l), repl, urSilentDeleteAfterCursor, urInsert, true);
    }
    newC1 = c1;
    newC2 = c1 + longest;
  } else {
    for (int l = l1; l <= l2; ++l) {
      const int ch = LineColumnToChar(FLines->GetView(l - 1), c1, FTabWidth);
      ReplaceRange(BufferCoord(ch, l), BufferCoord(ch, l), Insert, urDelete, urInsert, true);
    }
  }
  auto at = [this](int col, int line) {
    return BufferCoord(line <= FLines->GetCount() ? LineColumnToChar(FLines->GetView(line - 1), col, FTabWidth) : col,
                       line);
  };
  const TBufferCoord a = at(anchorLeft ? newC1 : newC2, anchor.Line);
  const TBufferCoord m = at(anchorLeft ? newC2 : newC1, moving.Line);
  FBlockBegin = a;
  FBlockEnd = m;
  InternalSetCaretXY(m);
  InvalidateLines(l1, l2);
  StatusChanged(StatusSelection);
}

void TCustomOndEdit::DoTypeChar(char AChar) {
  const unsigned char u = static_cast<unsigned char>(AChar);
  if (u < 32 || u == 127) return;
  if ((FOptions & eoColumnEditExtension) && FSelectionMode == smColumn && FBlockBegin.Line != FBlockEnd.Line) {
    ColumnEdit(std::string(1, AChar), !FInsertMode);
    return;
  }
  if (!FInsertMode && !SelAvail() && FCaretX <= LineLength(FCaretY)) {
    // Overwrite mode: the typed character takes the place of the one at the caret.
    const TBufferCoord c = GetCaretXY();
    const TBufferCoord end = ReplaceRange(c, BufferCoord(c.Char + 1, c.Line), std::string(1, AChar),
                                          urSilentDeleteAfterCursor, urInsert, true);
    SetCaretAndCollapse(end);
    return;
  }
  SetSelText(std::string(1, AChar));
}

void TCustomOndEdit::DoImeStr(const std::string& S) {
  if (S.empty()) return;
  if ((FOptions & eoColumnEditExtension) && FSelectionMode == smColumn && FBlockBegin.Line != FBlockEnd.Line) {
    ColumnEdit(S, !FInsertMode);
    return;
  }
  if (SelAvail()) {
    SetSelText(S);
    return;
  }
  const TBufferCoord c = GetCaretXY();
  const int len = LineLength(c.Line);
  const int k = FInsertMode ? 0 : std::max(0, std::min(static_cast<int>(S.size()), len + 1 - c.Char));
  const TBufferCoord end =
      ReplaceRange(c, BufferCoord(c.Char + k, c.Line), S, urSilentDeleteAfterCursor, urInsert, true);
  const TOndEditorOptions keep = FOptions;
  FOptions |= eoScrollPastEol;
  try {
    SetCaretAndCollapse(end);
  } catch (...) {
    FOptions = keep;
    throw;
  }
  FOptions = keep;
  if (FWordWrapPlugin && GetDisplayXY().Column > FWordWrapPlugin->WrapWidth() + 1) SetLeftColumn(1);
  MakeCaretVisible();
}

// ---- tab, block indent and case commands -------------------------------------------------------

void TCustomOndEdit::DoBlockIndent() {
  if (!SelAvail()) return;
  const TBufferCoord b = GetBlockBegin(), e = GetBlockEnd();
  const bool caretAtEnd = GetCaretXY() == e;
  const int last = std::max(b.Line, e.Char == 1 ? e.Line - 1 : e.Line);
  const std::string indent = (FOptions & eoTabIndent) ? std::string("\t") : std::string(static_cast<std::size_t>(FBlockWidth), ' ');
  const int n = static_cast<int>(indent.size());
  int col = 1;
  if (FSelectionMode == smColumn) col = std::min(BufferToDisplayPos(b).Column, BufferToDisplayPos(e).Column);
  PaintLockScope lock(*this);
  {
    UndoBlockScope block(FUndoList);
    for (int l = b.Line; l <= std::min(last, FLines->GetCount()); ++l) {
      const int ch = FSelectionMode == smColumn ? LineColumnToChar(FLines->GetView(l - 1), col, FTabWidth) : 1;
      ReplaceRange(BufferCoord(ch, l), BufferCoord(ch, l), indent, urDelete, urIndent, true);
    }
  }
  const TBufferCoord nb = BufferCoord(b.Char + n, b.Line);
  const TBufferCoord ne = BufferCoord(e.Char > 1 ? e.Char + n : 1, e.Line);
  PlaceCaretAndSelection(caretAtEnd ? ne : nb, caretAtEnd ? nb : ne, caretAtEnd ? ne : nb);
}

void TCustomOndEdit::DoBlockUnindent() {
  if (!SelAvail()) return;
  const TBufferCoord b = GetBlockBegin(), e = GetBlockEnd();
  const bool caretAtEnd = GetCaretXY() == e;
  const int last = std::min(std::max(b.Line, e.Char == 1 ? e.Line - 1 : e.Line), FLines->GetCount());
  int col = 1;
  if (FSelectionMode == smColumn) col = std::min(BufferToDisplayPos(b).Column, BufferToDisplayPos(e).Column);
  std::vector<std::pair<int, int>> cuts;  // per line: position and count
  bool any = false;
  for (int l = b.Line; l <= last; ++l) {
    const std::string_view line = FLines->GetView(l - 1);
    const int pos = FSelectionMode == smColumn ? LineColumnToChar(line, col, FTabWidth) : 1;
    int k = 0;
    const auto at = [&](int i) { return pos - 1 + i < static_cast<int>(line.size()) ? line[static_cast<std::size_t>(pos - 1 + i)] : '\0'; };
    if (at(0) == '\t') {
      k = 1;
    } else {
      while (k < FBlockWidth && at(k) == ' ') ++k;
      if (k < FTabWidth && at(k) == '\t') ++k;
    }
    cuts.emplace_back(pos, k);
    any = any || k > 0;
  }
  if (!any) return;
  PaintLockScope lock(*this);
  {
    UndoBlockScope block(FUndoList);
    for (int l = b.Line; l <= last; ++l) {
      const auto [pos, k] = cuts[static_cast<std::size_t>(l - b.Line)];
      if (k > 0) ReplaceRange(BufferCoord(pos, l), BufferCoord(pos + k, l), std::string_view(), urUnindent, urInsert, true);
    }
  }
  if (FSelectionMode == smColumn) {
    PlaceCaretAndSelection(caretAtEnd ? e : b, caretAtEnd ? b : e, caretAtEnd ? e : b);
    return;
  }
  const int firstCut = cuts.front().second;
  const int lastCut = e.Line <= last ? cuts.back().second : 0;
  const TBufferCoord nb = BufferCoord(std::max(1, b.Char - firstCut), b.Line);
  const TBufferCoord ne = BufferCoord(e.Char > 1 ? std::max(1, e.Char - lastCut) : 1, e.Line);
  PlaceCaretAndSelection(caretAtEnd ? ne : nb, caretAtEnd ? nb : ne, caretAtEnd ? ne : nb);
}

void TCustomOndEdit::DoTabKey() {
  if ((FOptions & eoTabIndent) && SelAvail() && FSelectionMode != smColumn && (SelTabBlock() || SelTabLine())) {
    const bool tabLine = !SelTabBlock();
    DoBlockIndent();
    if (tabLine) {
      // Whole lines stay selected.
      if (FBlockEnd.Char > FBlockBegin.Char)
        FBlockEnd.Char = 1;
      else
        FBlockBegin.Char = 1;
      Invalidate();
    }
    return;
  }
  const TBufferCoord caret = GetCaretXY();
  const int caretCol = CaretDisplay().Column;
  int width = 0;
  const bool smart = (FOptions & eoSmartTabs) != 0;
  if (smart) {
    for (int l = caret.Line - 1; l >= 1; --l) {
      const std::string_view line = FLines->GetView(l - 1);
      if (GetExpandedLength(line, FTabWidth) < caretCol) continue;
      int i = LineColumnToChar(line, caretCol, FTabWidth);
      const int len = static_cast<int>(line.size());
      const int start = i;
      while (i <= len && line[static_cast<std::size_t>(i - 1)] != ' ' && line[static_cast<std::size_t>(i - 1)] != '\t') ++i;
      while (i <= len && (line[static_cast<std::size_t>(i - 1)] == ' ' || line[static_cast<std::size_t>(i - 1)] == '\t')) ++i;
      width = LineCharToColumn(line, i, FTabWidth) - LineCharToColumn(line, start, FTabWidth);
      break;
    }
  }
  PaintLockScope lock(*this);
  UndoBlockScope block(FUndoList);
  if (SelAvail()) ReplaceSelectionEx(FSelectionMode, std::string_view(), true, urDelete, urInsert);
  const TBufferCoord at = GetCaretXY();
  const int col = CaretDisplay().Column;
  const bool smartWidth = width > 0;
  if (width == 0) width = (FOptions & eoTabsToSpaces) ? FTabWidth - (col - 1) % FTabWidth : FTabWidth;
  std::string text;
  if (FOptions & eoTabsToSpaces) {
    text.assign(static_cast<std::size_t>(width), ' ');
  } else if (smart && smartWidth) {
    const int target = col + width;
    int c = col;
    const int nextStop = ((c - 1) / FTabWidth + 1) * FTabWidth + 1;
    if (nextStop <= target) {
      text += '\t';
      c = nextStop;
      while (c + FTabWidth <= target) {
        text += '\t';
        c += FTabWidth;
      }
    }
    text.append(static_cast<std::size_t>(target - c), ' ');
  } else {
    text = "\t";
  }
  const TBufferCoord end = ReplaceRange(at, at, text, urDelete, urInsert, true);
  const TOndEditorOptions keep = FOptions;
  FOptions |= eoScrollPastEol;
  try {
    SetCaretAndCollapse(end);
  } catch (...) {
    FOptions = keep;
    throw;
  }
  FOptions = keep;
  MakeCaretVisible();
}

void TCustomOndEdit::DoShiftTabKey() {
  if ((FOptions & eoTabIndent) && SelAvail() && FSelectionMode != smColumn && (SelTabBlock() || SelTabLine())) {
    DoBlockUnindent();
    return;
  }
  if (FLines->GetCount() == 0) return;
  const int X = FCaretX, Y = FCaretY;
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  int newX = X;
  if ((FOptions & eoSmartTabs) && X > 1 && Y > 1) {
    for (int l = Y - 1; l >= 1; --l) {
      const std::string_view line = FLines->GetView(l - 1);
      if (static_cast<int>(line.size()) < X - 1) continue;
      int i = X - 1;
      while (i >= 1 && blank(line[static_cast<std::size_t>(i - 1)])) --i;
      while (i >= 1 && !blank(line[static_cast<std::size_t>(i - 1)])) --i;
      newX = i + 1;
      break;
    }
  }
  const std::string_view line = FLines->GetView(Y - 1);
  const int len = static_cast<int>(line.size());
  if (newX == X && X > 1) {
    const int prevStop = ((X - 2) / FTabWidth) * FTabWidth + 1;
    if (X > len + 1) {
      newX = prevStop;
    } else if (line[static_cast<std::size_t>(X - 2)] == '\t') {
      newX = X - 1;
    } else {
      while (newX > prevStop && line[static_cast<std::size_t>(newX - 2)] == ' ') --newX;
    }
  }
  if (newX >= X) return;
  PaintLockScope lock(*this);
  const TBufferCoord from = BufferCoord(std::min(newX, len + 1), Y), to = BufferCoord(std::min(X, len + 1), Y);
  if (PosBefore(from, to)) ReplaceRange(from, to, std::string_view(), urDeleteAfterCursor, urInsert, true);
  const TOndEditorOptions keep = FOptions;
  FOptions |= eoScrollPastEol;
  try {
    SetCaretAndCollapse(BufferCoord(newX, Y));
  } catch (...) {
    FOptions = keep;
    throw;
  }
  FOptions = keep;
}

void TCustomOndEdit::DoCaseChange(TOndEditorCommand Cmd) {
  OND_ASSERT(Cmd >= ecUpperCase && Cmd <= ecToggleCaseBlock && Cmd != 624);
  const bool hadSel = SelAvail();
  const TBufferCoord oldB = FBlockBegin, oldE = FBlockEnd, caret0 = GetCaretXY();
  const bool wordCmd = Cmd <= ecTitleCase;
  PaintLockScope lock(*this);
  if (wordCmd) {
    TBufferCoord p = caret0;
    for (int i = 0; i < 3; ++i) {
      const TBufferCoord s = WordStartEx(p), e = WordEndEx(p);
      if (s.Line == e.Line && s.Char < e.Char) {
        PlaceCaretAndSelection(e, s, e);
        break;
      }
      if (i == 2) break;
      p = WordStartEx(PrevWordPosEx(p));
    }
  } else if (!hadSel) {
    TBufferCoord p = caret0;
    if (p.Char > LineLength(p.Line) && p.Line < FLines->GetCount()) p = BufferCoord(1, p.Line + 1);
    PlaceCaretAndSelection(BufferCoord(p.Char + 1, p.Line), p, BufferCoord(p.Char + 1, p.Line));
  }
  const std::string w = SelAvail() ? GetSelText() : std::string();
  if (!w.empty()) {
    std::string out;
    switch (Cmd) {
      case ecUpperCase:
      case ecUpperCaseBlock: out = AnsiUpperCase(w); break;
      case ecLowerCase:
      case ecLowerCaseBlock: out = AnsiLowerCase(w); break;
      case ecToggleCase:
      case ecToggleCaseBlock:
        out = w;
        for (char& c : out) {
          if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
          else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        }
        break;
      default:
        out = AnsiLowerCase(w);
        out[0] = static_cast<char>(AnsiUpperChar(static_cast<unsigned char>(w[0])));
        break;
    }
    if (out != w) {
      UndoBlockScope block(FUndoList);
      FUndoList->AddChange(urSelection, hadSel ? oldB : caret0, hadSel ? oldE : caret0, std::string_view(),
                           FSelectionMode);
      FUndoList->AddChange(urCaret, caret0, caret0, std::string_view(), FSelectionMode);
      const TBufferCoord b = GetBlockBegin(), e = GetBlockEnd();
      SetSelText(out);
      if (hadSel || wordCmd) PlaceCaretAndSelection(e, b, e);
    }
  }
  if (!wordCmd) {
    if (hadSel) PlaceCaretAndSelection(caret0, oldB, oldE);
    return;
  }
  SetCaretAndCollapse(caret0);
}


// ---- search and replace -------------------------------------------------------------------

int TCustomOndEdit::SearchReplace(const std::string& ASearch, const std::string& AReplace, std::uint8_t AOptions) {
  if (!FSearchEngine) throw EOndEditError("No search engine has been assigned");
  if (ASearch.empty()) return 0;
  if (!SelAvail()) AOptions &= static_cast<std::uint8_t>(~ssoSelectedOnly);
  const bool backwards = AOptions & ssoBackwards;
  const bool selOnly = AOptions & ssoSelectedOnly;
  const bool fromCaret = !(AOptions & ssoEntireScope);
  const bool replace = AOptions & ssoReplace;
  bool prompt = AOptions & ssoPrompt;
  bool replaceAll = AOptions & ssoReplaceAll;
  const int count = FLines->GetCount();
  TBufferCoord start, end;
  if (selOnly) {
    start = GetBlockBegin();
    end = GetBlockEnd();
    if (FSelectionMode == smLine) {
      start.Char = 1;
      end.Char = LineLength(end.Line) + 1;
    } else if (FSelectionMode == smColumn && start.Char > end.Char) {
      std::swap(start.Char, end.Char);
    }
  } else {
    start = BufferCoord(1, 1);
    end = BufferCoord(LineLength(count) + 1, std::max(1, count));
    if (fromCaret) (backwards ? end : start) = GetCaretXY();
  }
  FSearchEngine->SetOptions(AOptions);
  FSearchEngine->SetPattern(ASearch);
  DoOnPaintTransient(ttBefore);
  int result = 0;
  bool locked = false, blockOpen = false;
  if (replaceAll && !prompt) {
    LockPaint();
    locked = true;
    FUndoList->BeginBlock();
    blockOpen = true;
  }
  auto finish = [&]() {
    if (locked) UnlockPaint();
    if (blockOpen) FUndoList->EndBlock();
    DoOnPaintTransient(ttAfter);
  };
  try {
    int replaceLen = 0;
    bool done = false;
    for (int line = backwards ? end.Line : start.Line;
         !done && (backwards ? line >= start.Line : line <= end.Line) && line <= count; line += backwards ? -1 : 1) {
      // A collapsed header's marker is not text of the file: it is never found.
      const int n = FSearchEngine->FindAll(
          FLines->GetView(line - 1).substr(0, static_cast<std::size_t>(VisibleLineLength(line))));
      int offset = 0;
      for (int k = 0; k < n && !done; ++k) {
        const int i = backwards ? FSearchEngine->GetResultCount() - 1 - k : k;
        const int p = FSearchEngine->GetResult(i) + offset, len = FSearchEngine->GetLength(i);
        bool inside = true;
        if (FSelectionMode != smColumn || !selOnly) {
          if ((line == start.Line && p < start.Char) || (line == end.Line && p + len > end.Char)) inside = false;
        } else if (end.Char - start.Char >= 1) {
          inside = p >= start.Char && p + len <= end.Char;
        }
        if (!inside) continue;
        // Find next never stays on an empty match at the caret.
        if (fromCaret && !selOnly && len == 0 &&
            ((!backwards && line == start.Line && p == start.Char) || (backwards && line == end.Line && p == end.Char)))
          continue;
        ++result;
        SetBlockBegin(BufferCoord(p, line));
        SetCaretXYEx(false, BufferCoord(1, line));
        MakeCaretVisibleEx(true);
        SetBlockEnd(BufferCoord(p + len, line));
        InternalSetCaretXY(BufferCoord(backwards ? p : p + len, line));
        if (!replace && !replaceAll) {
          done = true;
          break;
        }
        TOndReplaceAction action = raReplace;
        if (prompt) DoOnReplaceText(ASearch, AReplace, line, p, action);
        if (action == raCancel) {
          done = true;
          break;
        }
        if (action == raReplaceAll) {
          if (!locked) {
            LockPaint();
            locked = true;
          }
          prompt = false;
          replaceAll = true;
          if (!blockOpen) {
            FUndoList->BeginBlock();
            blockOpen = true;
          }
        }
        if (action == raReplace || action == raReplaceAll) {
          const std::string found = GetSelText();
          const std::string repl = FSearchEngine->Replace(found, AReplace);
          if (repl == found) {
            --result;  // replacing a text by itself is no replacement
            replaceLen = len;
          } else {
            SetSelText(repl);
            replaceLen = FCaretX - p;
          }
        }
        if (!backwards) {
          InternalSetCaretXY(BufferCoord(p + replaceLen, line));
          if (replaceLen != len && action != raSkip) {
            offset += replaceLen - len;
            if (FSelectionMode != smColumn && selOnly && line == end.Line) {
              end.Char += replaceLen - len;
              SetBlockEnd(end);
            }
          }
        }
        if (!replaceAll) done = true;
      }
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
  return result;
}

// ---- code folding ---------------------------------------------------------------------

namespace {

// An undo record's note that a fold was collapsed or expanded at its header
// line, hiding or showing Lines lines: undo replays the opposite, redo the
// same, so that older records find the text where they left it.
class TOndFoldToggle : public TOndEditUndoObject {
 public:
  TOndFoldToggle(bool C, int L) : Collapsed(C), Lines(L) {}
  bool Collapsed;
  int Lines;
};

class CounterScope {
 public:
  explicit CounterScope(int& C) : FCount(C) { ++FCount; }
  ~CounterScope() { --FCount; }
  CounterScope(const CounterScope&) = delete;
  CounterScope& operator=(const CounterScope&) = delete;

 private:
  int& FCount;
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

const TFoldRegions* TCustomOndEdit::FoldRegionsInUse() const { return &FCodeFolding->FoldRegions(); }

TOndCodeFolder& TCustomOndEdit::Folder() const {
  TOndCodeFolder& f = *FCodeFolder;
  f.Regions = FoldRegionsInUse();
  f.CaseSensitive = FCodeFolding->GetCaseSensitive();
  if (FHighlighter)
    f.AttributeNameAt = [this](std::int32_t Line, std::int32_t Char) {
      std::string token;
      TOndHighlighterAttributes* a = nullptr;
      if (GetHighlighterAttriAtRowCol(BufferCoord(Char, Line), token, a) && a) return a->Name();
      return std::string();
    };
  else
    f.AttributeNameAt = nullptr;
  return f;
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
    if (FGutter->GetShowLineNumbers() && FGutter->GetAutoSize()) FGutter->UpdateAutoDigits(FLines->GetCount());
    ApplyGutterWidth();
  } else if (Kind == fccRescan) {
    if (FCodeFolding->GetEnabled()) RescanFoldRanges();
  }
  Invalidate();
}

void TCustomOndEdit::FoldStateChanged() {
  FHighlightedFoldRange = nullptr;
  UpdateCaretFoldRange();
  FStateFlags |= sfScrollBarsChanged;
  UpdateScrollBars();
  Invalidate();
}

void TCustomOndEdit::UpdateCaretFoldRange() {
  TOndEditFoldRange* r = nullptr;
  if (FCodeFolding->GetEnabled() && FCaretY >= 1 && FCaretY <= FLines->GetCount() && FAllFoldRanges->AllCount() > 0)
    r = Folder().CaretFoldRange(FCaretY);
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
  try {
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
  } catch (...) {
    FUndoList->OnRecordAdded = keep;
    throw;
  }
  FUndoList->OnRecordAdded = keep;
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
  return true;
}

void TCustomOndEdit::ExpandAll() {
  if (FAllFoldRanges->AllCount() == 0) return;
  PaintLockScope lock(*this);
  // Pass after pass, so that every depth is reached.
  for (bool any = true; any;) {
    any = false;
    for (int j = FAllFoldRanges->AllCount() - 1; j >= 0; --j) {
      TOndEditFoldRange* r = FAllFoldRanges->AllRanges(j);
      if (r->Collapsed && !r->ParentCollapsed && ExpandFoldRange(r)) any = true;
    }
  }
}

void TCustomOndEdit::RescanFoldRanges() {
  PaintLockScope lock(*this);
  ExpandAll();
  FHighlightedFoldRange = nullptr;
  {
    CounterScope toggling(FFoldToggling);
    Folder().RescanFoldRanges();
  }
  FFoldChangeCount = 0;
  FoldStateChanged();
}

void TCustomOndEdit::UpdateFoldRanges() {
  PaintLockScope lock(*this);
  FHighlightedFoldRange = nullptr;
  {
    CounterScope toggling(FFoldToggling);
    Folder().UpdateFoldRanges();
  }
  FFoldChangeCount = 0;
  FoldStateChanged();
}

bool TCustomOndEdit::ToggleFoldAtLine(int Line) {
  TOndEditFoldRange* r = FoldRangeAtLine(Line);
  if (!r) return false;
  return r->Collapsed ? ExpandFoldRange(r) : CollapseFoldRange(r);
}

TOndEditFoldRange* TCustomOndEdit::FoldRangeStartingAt(int Line) const { return FCodeFolder->FoldRangeStartingAt(Line); }
TOndEditFoldRange* TCustomOndEdit::FoldRangeAtLine(int Line, int* Position) const {
  return FCodeFolder->FoldRangeAtLine(Line, Position);
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
  if (FAllFoldRanges->AllCount() == 0 || FCaretY < 1 || FCaretY > FLines->GetCount()) return false;
  // Only a line ending in the marker's blanks can head a collapsed fold.
  const std::string_view line = FLines->GetView(FCaretY - 1);
  if (line.find("     ") == std::string_view::npos) return false;
  const TOndEditFoldRange* r = FCodeFolder->FoldRangeAtLine(FCaretY);
  return r && r->Collapsed;
}

void TCustomOndEdit::ExpandFoldsForEdit(TBufferCoord& B, TBufferCoord& E) {
  ExpandFoldsBetween(*FLines, *FAllFoldRanges, B, E, [this](TOndEditFoldRange* R) { return ExpandFoldRange(R); });
}

void TCustomOndEdit::FoldPluginLinesInserted(int FirstLine, int Count) {
  if (FFoldToggling || FAllFoldRanges->AllCount() == 0) return;
  FCodeFolder->LinesInserted(FirstLine - 1, Count, 1);
}

void TCustomOndEdit::FoldPluginLinesDeleted(int FirstLine, int Count) {
  if (FFoldToggling || FAllFoldRanges->AllCount() == 0) return;
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

void TCustomOndEdit::ReplayFoldRecord(std::unique_ptr<TOndEditUndoItem> Item, bool Undoing) {
  TOndEditUndoList* other = Undoing ? FRedoList : FUndoList;
  const int header = Item->StartPos.Line;
  if (auto* toggle = dynamic_cast<TOndFoldToggle*>(Item->Extra1.get())) {
    // Undoing a collapse expands, undoing an expand collapses; redo the same.
    const bool collapse = toggle->Collapsed != Undoing;
    CounterScope toggling(FFoldToggling);
    const int before = FLines->GetCount();
    TOndEditFoldRange* r = FCodeFolder->FoldRangeAtLine(header);
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
        TOndEditFoldRange* own = AddFoldRange(nullptr, FAllFoldRanges.get(), header, header + toggle->Lines, nullptr,
                                              0, 0);
        FAllFoldRanges->Add(own);
        for (int j = 0; j < FAllFoldRanges->AllCount(); ++j) {
          TOndEditFoldRange* d = FAllFoldRanges->AllRanges(j);
          if (d == own || !d->Collapsed || d->ParentCollapsed || d->FromLine <= header ||
              d->FromLine > header + toggle->Lines)
            continue;
          own->SubFoldRanges.Add(d);
          d->SetLevel(own->Level + 1);
        }
        // A range starting on the last line keeps that line in view: one more.
        if (!hides(own)) {
          own->ToLine += 1;
          hides(own);
        }
      }
    } else if (r && r->Collapsed) {
      Folder().ExpandFoldRange(r);
    }
    FHighlightedFoldRange = nullptr;
    other->PushItem(std::move(Item));
    FStateFlags |= sfScrollBarsChanged;
    Invalidate();
    return;
  }
  // A collapsed range whose header a deletion took away: its header line is
  // back, so the range is too.
  FCodeFolder->RestoreFoldRange(*Item);
  FHighlightedFoldRange = nullptr;
  Invalidate();
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

// ---- brackets and word wrap -------------------------------------------------------------

TBufferCoord TCustomOndEdit::GetMatchingBracketEx(const TBufferCoord& P) const {
  static constexpr char kBrackets[] = "()[]{}<>";
  const int count = FLines->GetCount();
  if (P.Line < 1 || P.Line > count) return BufferCoord(0, 0);
  const std::string_view line = FLines->GetView(P.Line - 1);
  if (P.Char < 1 || P.Char > static_cast<int>(line.size())) return BufferCoord(0, 0);
  const char* at = std::strchr(kBrackets, line[static_cast<std::size_t>(P.Char - 1)]);
  if (!at || *at == '\0') return BufferCoord(0, 0);
  const int index = static_cast<int>(at - kBrackets);
  const char open = kBrackets[index], close = kBrackets[index ^ 1];
  const bool forward = (index & 1) == 0;
  TOndHighlighterAttributes* const stringAttr = FHighlighter ? FHighlighter->GetDefaultAttribute(OND_ATTR_STRING) : nullptr;
  TOndHighlighterAttributes* const commentAttr = FHighlighter ? FHighlighter->GetDefaultAttribute(OND_ATTR_COMMENT) : nullptr;
  auto counts = [&](int Char, int Line) {
    if (!FHighlighter) return true;
    std::string token;
    TOndHighlighterAttributes* a = nullptr;
    if (!GetHighlighterAttriAtRowCol(BufferCoord(Char, Line), token, a)) return true;
    return !(a && (a == stringAttr || a == commentAttr));
  };
  int depth = 1;
  int l = P.Line, c = P.Char;
  std::string_view text = line;
  for (;;) {
    c += forward ? 1 : -1;
    while (c < 1 || c > static_cast<int>(text.size())) {
      l += forward ? 1 : -1;
      if (l < 1 || l > count) return BufferCoord(0, 0);
      text = FLines->GetView(l - 1);
      c = forward ? 1 : static_cast<int>(text.size());
      if (text.empty()) continue;
    }
    const char ch = text[static_cast<std::size_t>(c - 1)];
    if (ch != open && ch != close) continue;
    if (!counts(c, l)) continue;
    text = FLines->GetView(l - 1);  // the attribute lookup may not touch it, but stay safe
    depth += ch == open ? 1 : -1;
    if (depth == 0) return BufferCoord(c, l);
  }
}

void TCustomOndEdit::FindMatchingBracket() {
  const TBufferCoord p = GetMatchingBracket();
  if (p.Char > 0 && p.Line > 0) SetCaretXY(p);
}

std::int32_t TCustomOndEdit::WrapWidth() {
  switch (FWordWrap->GetStyle()) {
    case wwsRightEdge: return FRightEdge->GetPosition();
    case wwsSpecified: return FWordWrap->GetPosition();
    default: return FView.CharsInWindow;
  }
}

TSysCharSet TCustomOndEdit::WrapIdentChars() {
  if (FHighlighter) return FHighlighter->GetIdentChars();
  TSysCharSet s;
  s.IncludeRange(33, 255);
  return s;
}

void TCustomOndEdit::ApplyWordWrap(bool Value) {
  if (Value == (FWordWrapPlugin != nullptr)) return;
  PaintLockScope lock(*this);
  Invalidate();
  const bool inView = IsCaretInView();
  const int topLine = RowToLine(FView.TopLine);
  if (Value) {
    auto layout = std::make_shared<TOndWordWrapPlugin>(this);
    FWrapLayout = layout.get();
    FWordWrapPlugin = std::move(layout);
    SetLeftColumn(1);
  } else {
    FWordWrapPlugin.reset();
    FWrapLayout = nullptr;
  }
  SetTopLine(LineToRow(std::max(1, topLine)));
  FStateFlags |= sfScrollBarsChanged;
  UpdateScrollBars();
  if (FOptions & eoScrollPastEol) {
    const TBufferCoord b = FBlockBegin, e = FBlockEnd;
    InternalSetCaretXY(GetCaretXY());
    FBlockBegin = b;
    FBlockEnd = e;
  }
  if (inView) MakeCaretVisible();
}

// ---- painting of folds -------------------------------------------------------------------

std::vector<TOndEditFoldRange*> TCustomOndEdit::ExpandedRangesOver(int FirstLine, int LastLine) const {
  std::vector<TOndEditFoldRange*> out;
  for (int j = 0; j < FAllFoldRanges->AllCount(); ++j) {
    TOndEditFoldRange* r = FAllFoldRanges->AllRanges(j);
    if (r->ParentCollapsed || r->Collapsed || !r->HasLines()) continue;
    if (r->ToLine < FirstLine || r->FromLine > LastLine) continue;
    out.push_back(r);
  }
  return out;
}

void TCustomOndEdit::PaintFoldTree(const TRect& AClip, int FirstRow, int LastRow) {
  if (LastRow < FirstRow) return;
  TCanvas* bc = FBufferBmp->Canvas();
  bc->ResetClip();
  const int gw = FView.GutterWidth, lh = FView.LineHeight;
  const int x1 = gw - 12, x2 = gw - 1, mid = x1 + (x2 - x1) / 2;
  const int count = FLines->GetCount();
  const int firstLine = RowToLine(FirstRow), lastLine = std::min(count, RowToLine(LastRow));
  if (firstLine > lastLine) return;
  // One walk over the ranges marks the painted lines.
  const std::size_t n = static_cast<std::size_t>(lastLine - firstLine + 1);
  std::vector<std::uint8_t> inside(n, 0), ends(n, 0);
  std::vector<TOndEditFoldRange*> starts(n, nullptr);
  for (int j = 0; j < FAllFoldRanges->AllCount(); ++j) {
    TOndEditFoldRange* r = FAllFoldRanges->AllRanges(j);
    if (r->ParentCollapsed || !r->HasLines() || r->ToLine < firstLine || r->FromLine > lastLine) continue;
    if (r->FromLine >= firstLine && !starts[static_cast<std::size_t>(r->FromLine - firstLine)])
      starts[static_cast<std::size_t>(r->FromLine - firstLine)] = r;
    if (r->Collapsed) continue;
    for (int l = std::max(r->FromLine + 1, firstLine); l < std::min(r->ToLine, lastLine + 1); ++l)
      inside[static_cast<std::size_t>(l - firstLine)] = 1;
    if (r->ToLine <= lastLine) ends[static_cast<std::size_t>(r->ToLine - firstLine)] = 1;
  }
  const TColor lines = FCodeFolding->GetFolderBarLinesColor();
  bc->Pen.Color = lines;
  bc->Pen.Style = TPenStyle::psSolid;
  bc->Pen.Width = 1;
  for (int row = FirstRow; row <= LastRow; ++row) {
    const int line = RowToLine(row);
    if (line < firstLine || line > lastLine) continue;
    const std::size_t k = static_cast<std::size_t>(line - firstLine);
    const int y1 = (row - FView.TopLine) * lh, y2 = y1 + lh;
    if (inside[k]) {
      bc->MoveTo(mid, y1);
      bc->LineTo(mid, y2);
    }
    if (ends[k]) {
      bc->MoveTo(mid, y1);
      bc->LineTo(mid, y1 + lh / 2);
      bc->LineTo(x2, y1 + lh / 2);
    }
    if (LineToRow(line) != row || !starts[k]) continue;
    const TOndEditFoldRange* r = starts[k];
    if (!r->Collapsed) {
      bc->MoveTo(mid, y1 + lh / 2);
      bc->LineTo(mid, y2);
    }
    const int top = y1 + (lh - 11) / 2;
    bc->Brush.Color = clWindow;
    bc->Brush.Style = TBrushStyle::bsSolid;
    if (FCodeFolding->GetCollapsingMarkStyle() == msEllipse) {
      bc->Ellipse(x1, top, x2, top + 11);
    } else {
      bc->FillRect(Rect(x1, top, x2, top + 11));
      bc->Brush.Color = lines;
      bc->FrameRect(Rect(x1, top, x2, top + 11));
    }
    const int boxMid = top + 5;
    bc->MoveTo(x1 + 2, boxMid);
    bc->LineTo(x2 - 2, boxMid);
    if (r->Collapsed) {
      bc->MoveTo(mid, top + 2);
      bc->LineTo(mid, top + 11 - 2);
    }
  }
  const TRect strip = Rect(std::max(AClip.Left, gw - 13), AClip.Top, gw, AClip.Bottom);
  if (!strip.IsEmpty()) Canvas()->CopyRect(strip, *bc, strip);
}

void TCustomOndEdit::PaintFoldExtras(const std::vector<TOndEditFoldRange*>& Spanning, int Line, int Row, int Top,
                                     int Len, bool ContinuationRow, bool LastRowOfLine, const TRect& RowRect) {
  (void)Row;
  TCanvas* bc = FBufferBmp->Canvas();
  const int lh = FView.LineHeight, cw = FView.CharWidth, gw = FView.GutterWidth;
  const TOndEditFoldRange* header = nullptr;
  if (FAllFoldRanges->AllCount() > 0) {
    const TOndEditFoldRange* r = FCodeFolder->FoldRangeAtLine(Line);
    if (r && r->Collapsed) header = r;
  }
  // Indent guides of the expanded ranges around this line.
  if (FCodeFolding->GetIndentGuides() && !ContinuationRow && !Spanning.empty()) {
    int caretLevel = -1;
    for (const TOndEditFoldRange* r : Spanning)
      if (r->FromLine <= FCaretY && FCaretY <= r->ToLine) caretLevel = std::max(caretLevel, r->Level);
    for (const TOndEditFoldRange* r : Spanning) {
      if (!(r->FromLine < Line && Line < r->ToLine)) continue;
      const int xg = LineIndentColumns(r->FromLine) * cw;
      if (xg < (FView.LeftColumn - 1) * cw) continue;
      const int x = xg + gw - (FView.LeftColumn - 1) * cw;
      if (x < RowRect.Left || x >= RowRect.Right) continue;
      const bool current = FCodeFolding->GetHighlightIndentGuides() && r->Level == caretLevel &&
                           r->FromLine <= FCaretY && FCaretY <= r->ToLine;
      bc->Pen.Style = TPenStyle::psSolid;
      bc->Pen.Width = 1;
      bc->Pen.Color = current ? TColor(0xFFA0A0) : clWindow;
      bc->MoveTo(x, Top);
      bc->LineTo(x, Top + lh);
      const TColor dot = current ? TColor(0) : TColor(0x808080);
      const int start = (lh % 2 == 1 && Line % 2 == 1) ? 1 : 0;
      for (int y = Top + start; y < Top + lh; y += 2) bc->SetPixel(x, y, dot);
    }
  }
  if (!header) return;
  // The box behind a collapsed header's text.
  if (FCodeFolding->GetCollapsedCodeHint() && LastRowOfLine) {
    const int hintX = (Len - 5) * cw + FView.TextOffset();
    TRect box = Rect(hintX + cw, Top, hintX + 4 * cw, Top + lh - 2);
    box.Left = std::max(box.Left, gw + 2);
    if (box.Right > box.Left) {
      const TColor keep = bc->Brush.Color;
      bc->Brush.Color = TColor(0);
      bc->Brush.Style = TBrushStyle::bsSolid;
      bc->FrameRect(box);
      const int y = box.Top + 3 * ((box.Bottom - box.Top) / 5);
      for (int x : {box.Left + cw - 2, box.Left + (3 * cw) / 2 - 1, box.Right - cw})
        bc->FillRect(Rect(x, y, x + 2, y + 2));
      bc->Brush.Color = keep;
    }
  }
  if (FCodeFolding->GetShowCollapsedLine() && LastRowOfLine) {
    TColor c = FCodeFolding->GetCollapsedLineColor();
    if (c == clFolderBarDerived) c = DeriveFolderBarColor(5);
    bc->Pen.Color = c;
    bc->Pen.Style = TPenStyle::psSolid;
    bc->Pen.Width = 1;
    bc->MoveTo(RowRect.Left, Top + lh - 1);
    bc->LineTo(Width(), Top + lh - 1);
  }
}

// ---- scrolling --------------------------------------------------------------------------

TOndScrollState TCustomOndEdit::ScrollState() const {
  TOndScrollState st;
  st.RowCount = DisplayRowCount();
  st.LongestLine = FLines->GetLongestLineLength();
  st.MaxScrollWidth = FMaxScrollWidth;
  st.WrapWidth = FWordWrapPlugin ? std::max(1, FWordWrapPlugin->WrapWidth()) : 0;
  st.CharsInWindow = FView.CharsInWindow;
  st.LinesInWindow = FView.LinesInWindow;
  st.LeftColumn = FView.LeftColumn;
  st.TopLine = FView.TopLine;
  st.ScrollPastEol = (FOptions & eoScrollPastEol) != 0;
  st.ScrollPastEof = (FOptions & eoScrollPastEof) != 0;
  st.AutoSizeMaxScrollWidth = (FOptions & eoAutoSizeMaxScrollWidth) != 0;
  st.HideShowScrollbars = (FOptions & eoHideShowScrollbars) != 0;
  st.DisableScrollArrows = (FOptions & eoDisableScrollArrows) != 0;
  const TScrollStyle style = FScrollBars->GetScrollBars();
  st.WantHorizontal = style == ssHorizontal || style == ssBoth;
  st.WantVertical = style == ssVertical || style == ssBoth;
  return st;
}

void TCustomOndEdit::ApplyScrollBar(TScrollBarKind Kind, const TOndScrollBarPlan& Plan) {
  const bool anyArrow = Plan.ArrowEnabled[0] || Plan.ArrowEnabled[1];
  if (FScrollBars->GetStyle() == sbsCustom) {
    // Custom bars get the window system's bar number, scroll information and
    // arrow flags (0 both enabled, 1 left or up off, 2 right or down off, 3 both off).
    TOndEditScrollBar* bar =
        Kind == TScrollBarKind::sbHorizontal ? FScrollBars->GetHorizontal() : FScrollBars->GetVertical();
    if (!bar) return;
    const int which = Kind == TScrollBarKind::sbHorizontal ? 0 : 1;
    if (bar->OnShowScrollBar) bar->OnShowScrollBar(this, which, Plan.Show);
    if (!Plan.Show) return;
    TOndScrollInfo info;
    info.Mask = Plan.DisableNoScroll ? 0x1F : 0x17;
    info.Min = Plan.Min;
    info.Max = Plan.Max;
    info.Page = static_cast<unsigned>(std::max(0, Plan.Page));
    info.Pos = Plan.Pos;
    if (bar->OnSetScrollInfo) bar->OnSetScrollInfo(this, which, info, true);
    const int arrows = (Plan.ArrowEnabled[0] ? 0 : 1) | (Plan.ArrowEnabled[1] ? 0 : 2);
    if (bar->OnEnabledScrollBar) bar->OnEnabledScrollBar(this, which, arrows);
    return;
  }
  // Regular, flat and Encarta bars all are the control's own bars: the flat
  // looks have no counterpart here.
  if (!Plan.Show) {
    ShowScrollBar(Kind, false);
    return;
  }
  TScrollInfo info;
  info.Min = Plan.Min;
  info.Max = Plan.Max;
  info.Page = Plan.Page;
  info.Pos = Plan.Pos;
  SetScrollInfo(Kind, info);
  ShowScrollBar(Kind, true);
  // The bar cannot switch off one arrow alone: it is disabled when both are.
  EnableScrollBar(Kind, anyArrow);
}

void TCustomOndEdit::Scroll(TScrollBarKind Kind, TScrollCode Code, int Pos) {
  TCustomControl::Scroll(Kind, Code, Pos);
  const TOndScrollState st = ScrollState();
  if (Kind == TScrollBarKind::sbHorizontal) {
    const int page = (FOptions & eoScrollByOneLess) ? FView.CharsInWindow - 1 : FView.CharsInWindow;
    switch (Code) {
      case TScrollCode::scLineUp: SetLeftColumn(FView.LeftColumn - 1); break;
      case TScrollCode::scLineDown: SetLeftColumn(FView.LeftColumn + 1); break;
      case TScrollCode::scPageUp: SetLeftColumn(FView.LeftColumn - page); break;
      case TScrollCode::scPageDown: SetLeftColumn(FView.LeftColumn + page); break;
      case TScrollCode::scPosition:
      case TScrollCode::scTrack: {
        FScrolling = true;
        TOndScrollBarPlan h, v;
        PlanScrollBars(st, h, v);
        SetLeftColumn(HorzThumbToColumn(h.Maximum, Pos));
        break;
      }
      case TScrollCode::scTop: SetLeftColumn(1); break;
      case TScrollCode::scBottom:
        SetLeftColumn((FOptions & eoScrollPastEol) ? FMaxScrollWidth - FView.CharsInWindow + 1 : st.LongestLine);
        break;
      case TScrollCode::scEndScroll: FScrolling = false; break;
    }
  } else {
    const int page = (FOptions & eoScrollByOneLess) ? FView.LinesInWindow - 1 : FView.LinesInWindow;
    switch (Code) {
      case TScrollCode::scLineUp: SetTopLine(FView.TopLine - 1); break;
      case TScrollCode::scLineDown: SetTopLine(FView.TopLine + 1); break;
      case TScrollCode::scPageUp: SetTopLine(FView.TopLine - page); break;
      case TScrollCode::scPageDown: SetTopLine(FView.TopLine + page); break;
      case TScrollCode::scTop: SetTopLine(1); break;
      case TScrollCode::scBottom: SetTopLine(DisplayRowCount()); break;
      case TScrollCode::scPosition:
      case TScrollCode::scTrack:
        FScrolling = true;
        SetTopLine(VertThumbToRow(DisplayRowCount(), FView.LinesInWindow, Pos));
        if (FOptions & eoShowScrollHint) ShowScrollHint();
        break;
      case TScrollCode::scEndScroll:
        FScrolling = false;
        if (FOptions & eoShowScrollHint) HideHintText();
        break;
    }
  }
  Invalidate();
  if (OnScroll) OnScroll(this, Kind);
}

void TCustomOndEdit::ShowScrollHint() {
  const int top = RowToLine(FView.TopLine);
  std::string text;
  if (FScrollBars->GetHintFormat() == shfTopToBottom) {
    const int bottomRow = FView.TopLine + std::min(FView.LinesInWindow, DisplayRowCount() - FView.TopLine);
    text = IntToStr(top) + " - " + IntToStr(RowToLine(bottomRow));
  } else {
    text = "Top Line: " + IntToStr(top);
  }
  // Beside the vertical bar, at the pointer or at the thumb's height.
  int y;
  if (FOptions & eoScrollHintFollows) {
    y = ScreenToClient(CursorPos()).Y;
  } else {
    const int rows = std::max(1, DisplayRowCount());
    y = MulDiv(ClientHeight(), FView.TopLine - 1, rows);
  }
  ShowHintText(ClientToScreen(TPoint{Width() + 4, y}), text, FScrollBars->GetHintColor());
}

bool TCustomOndEdit::DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
  if (TCustomControl::DoMouseWheel(Shift, WheelDelta, MousePos)) return true;
  const int lines = FWheel.LinesToScroll(WheelDelta, (Shift & ssCtrl) != 0, (FOptions & eoHalfPageScroll) != 0,
                                         FView.LinesInWindow);
  if (lines != 0) SetTopLine(FView.TopLine + lines);
  Update();
  if (OnScroll) OnScroll(this, TScrollBarKind::sbVertical);
  return true;
}

unsigned TCustomOndEdit::DialogCode() const {
  unsigned code = dcWantArrows | dcWantChars;
  if (WantTabs) code |= dcWantTab;
  if (WantReturns) code |= dcWantAllKeys;
  return code;
}

// ---- mouse and drag ------------------------------------------------------------------------

void TCustomOndEdit::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  const TBufferCoord savedBegin = FBlockBegin, savedEnd = FBlockEnd;
  FLastMousePos = TPoint{X, Y};
  FLastMouseShift = Shift;
  bool dragCandidate = false;
  if (Button == TMouseButton::mbLeft && SelAvail()) {
    FMouseDownPoint = TPoint{X, Y};
    dragCandidate = true;
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button == TMouseButton::mbLeft && (Shift & ssDouble)) return;  // DblClick does the rest
  FKbdHandler.RunMouseDownChain(this, Button, Shift, X, Y);

  if (FRightEdge->GetVisible() && Button == TMouseButton::mbLeft) {
    const int edgeX = RowColumnToPixels(DisplayCoord(FRightEdge->GetPosition() + 1, 1)).X;
    if (std::abs(X - edgeX) < 3) {
      FRightEdgeDrag = 1;
      FRightEdgeDragColumn = -1;
      SetMouseCapture(true);
      return;
    }
  }

  const bool inText = X >= FView.GutterWidth + 2;
  if (inText && Button == TMouseButton::mbLeft) {
    PlaceCaretAtPixel(X, Y);
  } else if (inText && Button == TMouseButton::mbRight && (FOptions & eoRightMouseMovesCursor)) {
    const TBufferCoord p = DisplayToBufferPos(PixelsToRowColumn(X, Y));
    if (!(SelAvail() && IsPointInSelection(p))) {
      InvalidateSelection();
      FBlockEnd = FBlockBegin;
      PlaceCaretAtPixel(X, Y);
      SetBlockBegin(GetCaretXY());
    }
  }

  if (Button == TMouseButton::mbLeft) {
    FBlockBegin = savedBegin;
    FBlockEnd = savedEnd;
    SetMouseCapture(true);
    FStateFlags &= static_cast<TOndStateFlags>(~sfWaitingForDrag);
    if (dragCandidate && (FOptions & eoDragDropEditing) && inText && FSelectionMode == smNormal &&
        IsPointInSelection(DisplayToBufferPos(PixelsToRowColumn(X, Y)))) {
      FStateFlags |= sfWaitingForDrag;
    } else if (!(FStateFlags & sfDoubleClicked)) {
      if (Shift & ssShift) {
        SetBlockEnd(GetCaretXY());
      } else {
        if (FOptions & eoAltSetsColumnMode) {
          if ((Shift & ssAlt) && !FAltColumnFlag) {
            FSavedSelectionMode = FSelectionMode;
            SetSelectionMode(smColumn);
            FAltColumnFlag = 1;
          } else if (!(Shift & ssAlt) && FAltColumnFlag) {
            SetSelectionMode(FSavedSelectionMode);
            FAltColumnFlag = 0;
          }
        }
        SetBlockBegin(GetCaretXY());
      }
    }
  }

  if (!inText) {
    if (Button == TMouseButton::mbRight)
      DoOnGutterClick(Button, X, Y);
    else
      FStateFlags |= sfPossibleGutterClick;
  }
  if (CanFocus()) SetFocus();
}

void TCustomOndEdit::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  FLastMousePos = TPoint{X, Y};
  FLastMouseShift = Shift;
  if (FRightEdgeDrag) {
    MoveRightEdgeGuide(X);
    FRightEdgeDragColumn = PixelsToRowColumn(X, Y).Column;
    ShowCursorShape(crHSplit);
    return;
  }
  if (FRightEdge->GetVisible() && !GetMouseCapture()) {
    const int edgeX = RowColumnToPixels(DisplayCoord(FRightEdge->GetPosition() + 1, 1)).X;
    if (std::abs(X - edgeX) < 3) {
      ShowCursorShape(crHSplit);
      return;
    }
  }
  if (FCodeFolding->GetEnabled() && FCodeFolding->GetCollapsedCodeHint()) {
    std::vector<std::string> lines;
    if (CollapsedMarkerAt(X, Y, lines)) {
      ShowCursorShape(crHelp);
      if (FFoldHint && !FFoldHint->Visible()) {
        TStrings& items = FFoldHint->ItemList();
        items.Clear();
        const std::string blanks(static_cast<std::size_t>(std::max(0, FTabWidth)), ' ');
        const std::size_t shown = std::min<std::size_t>(lines.size(), 42);  // the header and 41 folded lines
        for (std::size_t i = 0; i < shown; ++i) {
          std::string line;
          for (char c : lines[i]) {
            if (c == '\t')
              line += blanks;
            else
              line += c;
          }
          items.Add(line);
        }
        if (lines.size() > shown) items.Add("...");
        FFoldHint->SetFont(Font);
        FFoldHint->SetEditor(this);
        const TPoint at = ClientToScreen(TPoint{X, Y});
        FFoldHint->ExecuteEx("", at.X, at.Y, ctHint);
        FFoldHintShowing = true;
      }
      return;
    }
    HideFoldHint();
  }

  if (GetMouseCapture() && (FStateFlags & sfWaitingForDrag)) {
    const int threshold = DragThreshold();
    if (std::abs(X - FMouseDownPoint.X) >= threshold || std::abs(Y - FMouseDownPoint.Y) >= threshold) {
      FStateFlags &= static_cast<TOndStateFlags>(~sfWaitingForDrag);
      BeginDrag();
    }
  } else if ((Shift & ssLeft) && GetMouseCapture()) {
    ComputeScroll(X, Y);
    TDisplayCoord target = PixelsToNearestRowColumn(X, Y);
    target.Row = MinMax(target.Row, 1, std::max(1, DisplayRowCount()));
    const TDisplayCoord caret = GetDisplayXY();
    if (FScrollDeltaX != 0) target.Column = caret.Column;
    if (FScrollDeltaY != 0) target.Row = caret.Row;
    LockPaint();
    try {
      InternalSetCaretXY(DisplayToBufferPos(target));
      SetBlockEnd(GetCaretXY());
    } catch (...) {
      UnlockPaint();
      throw;
    }
    UnlockPaint();
    if ((FStateFlags & sfPossibleGutterClick) && FBlockBegin.Line != FCaretY) FStateFlags |= sfGutterDragging;
  }
  UpdateMouseCursor();
}

void TCustomOndEdit::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  FKbdHandler.RunMouseUpChain(this, Button, Shift, X, Y);
  if (FRightEdgeDrag) {
    FRightEdgeDrag = 0;
    MoveRightEdgeGuide(-1);
    SetMouseCapture(false);
    int column = PixelsToRowColumn(X, Y).Column;
    if (FRightEdge->GetPosition() > column) --column;
    // The edge never goes left of the first column.
    FRightEdge->SetPosition(std::max(1, column));
    return;
  }
  HideFoldHint();
  FScrollTimer->SetEnabled(false);
  if (Button == TMouseButton::mbRight && (Shift & (ssLeft | ssRight | ssMiddle)) == 0 && GetPopupMenu()) return;
  SetMouseCapture(false);
  if ((FStateFlags & sfPossibleGutterClick) && X < FView.GutterWidth && !(FStateFlags & sfGutterDragging) &&
      Button != TMouseButton::mbRight) {
    DoOnGutterClick(Button, X, Y);
  } else if ((FStateFlags & sfWaitingForDrag) && !(FStateFlags & sfDoubleClicked)) {
    PlaceCaretAtPixel(X, Y);
    if (!(Shift & ssShift)) SetBlockBegin(GetCaretXY());
    SetBlockEnd(GetCaretXY());
  }
  FStateFlags &= static_cast<TOndStateFlags>(~(sfDoubleClicked | sfPossibleGutterClick | sfGutterDragging |
                                                sfWaitingForDrag));
}

void TCustomOndEdit::DblClick() {
  if (FLastMousePos.X >= FView.GutterWidth + 2) {
    if (!(FOptions & eoNoSelection)) SelectWordAt(GetCaretXY());
    TCustomControl::DblClick();
    FStateFlags |= sfDoubleClicked;
    SetMouseCapture(false);
  } else {
    TCustomControl::DblClick();
  }
}

void TCustomOndEdit::KeyUp(std::uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyUp(Key, Shift);
  if (FCodeFolding->GetEnabled()) {
    std::vector<std::string> lines;
    const TPoint p = ScreenToClient(CursorPos());
    if (!CollapsedMarkerAt(p.X, p.Y, lines)) HideFoldHint();
  }
  FKbdHandler.RunKeyUpChain(this, Key, Shift);
}

void TCustomOndEdit::HideFoldHint() {
  if (FFoldHint && FFoldHintShowing && FFoldHint->Visible()) FFoldHint->CancelCompletion();
  FFoldHintShowing = false;
}

void TCustomOndEdit::DoOnGutterClick(TMouseButton Button, int X, int Y) {
  const int row = PixelsToRowColumn(X, Y).Row;
  const int line = RowToLine(row);
  const int foldZone = FView.GutterWidth - 12;
  if (FCodeFolding->GetEnabled() && FLines->GetCount() > 0 && X >= foldZone) {
    ToggleFoldAtLine(line);
    Invalidate();
    return;
  }
  if (!OnGutterClick || line < 1 || line > FLines->GetCount()) return;
  TOndEditMarks marks{};
  FMarkList->MarksOnLine(line, marks);
  TOndEditMark* clicked = nullptr;
  int x = 0;
  for (TOndEditMark* m : marks) {
    if (!m) break;
    x += FBookMarkOpt->GetXoffset();
    if (x > X) {
      clicked = m;
      break;
    }
  }
  OnGutterClick(this, Button, X, Y, line, clicked, X < foldZone ? 1 : 0);
}

void TCustomOndEdit::ComputeScroll(int X, int Y) {
  TRect r = Rect(FView.GutterWidth, 0, FView.GutterWidth + FView.CharsInWindow * FView.CharWidth,
                 FView.LinesInWindow * FView.LineHeight);
  if (FBorderStyle == TBorderStyle::bsNone) r = Rect(r.Left + 2, r.Top + 2, r.Right - 2, r.Bottom - 2);
  AutoScrollDeltas(r, X, Y, FView.CharWidth, FView.LineHeight, FScrollDeltaX, FScrollDeltaY);
  FScrollTimer->SetEnabled((FScrollDeltaX != 0 || FScrollDeltaY != 0) && (FFocused || GetMouseCapture() || Dragging()));
}

void TCustomOndEdit::ScrollTimerHandler() {
  if (!(FFocused || GetMouseCapture() || Dragging())) {
    FScrollTimer->SetEnabled(false);
    return;
  }
  const TPoint p = FLastMousePos;
  TDisplayCoord target = PixelsToRowColumn(p.X, p.Y);
  target.Row = MinMax(target.Row, 1, std::max(1, DisplayRowCount()));
  if (FScrollDeltaX != 0) {
    SetLeftColumn(FView.LeftColumn + FScrollDeltaX);
    target.Column = FScrollDeltaX > 0 ? FView.LeftColumn + FView.CharsInWindow : FView.LeftColumn;
  }
  if (FScrollDeltaY != 0) {
    const int by = (TControl::KeyboardState() & ssShift) ? FScrollDeltaY * FView.LinesInWindow : FScrollDeltaY;
    SetTopLine(FView.TopLine + by);
    target.Row = FScrollDeltaY > 0 ? FView.TopLine + FView.LinesInWindow - 1 : FView.TopLine;
    target.Row = MinMax(target.Row, 1, std::max(1, DisplayRowCount()));
  }
  if (!(target == GetDisplayXY())) {
    LockPaint();
    try {
      InternalSetCaretXY(DisplayToBufferPos(target));
      if (GetMouseCapture()) SetBlockEnd(GetCaretXY());
    } catch (...) {
      UnlockPaint();
      throw;
    }
    UnlockPaint();
  }
  ComputeScroll(p.X, p.Y);
}

void TCustomOndEdit::MoveRightEdgeGuide(int X) {
  // The guide is painted over the text; the old and the new pixel column
  // are painted again.
  const int h = ClientHeight();
  if (FRightEdgeGuideX >= 0) TControl::InvalidateRect(Rect(FRightEdgeGuideX, 0, FRightEdgeGuideX + 1, h));
  FRightEdgeGuideX = X;
  if (X >= 0) TControl::InvalidateRect(Rect(X, 0, X + 1, h));
}

void TCustomOndEdit::PaintRightEdgeGuide() {
  if (!FRightEdgeDrag || FRightEdgeGuideX < 0) return;
  TCanvas* c = Canvas();
  const TPen saved = c->Pen;
  c->Pen.Width = 1;
  c->Pen.Style = TPenStyle::psDot;
  c->Pen.Color = clBlack;
  c->MoveTo(FRightEdgeGuideX, 0);
  c->LineTo(FRightEdgeGuideX, ClientHeight());
  c->Pen = saved;
}

void TCustomOndEdit::DragOver(TObject* Source, int X, int Y, bool& Accept) {
  auto* source = dynamic_cast<TCustomOndEdit*>(Source);
  Accept = source != nullptr && !GetReadOnly();
  if (!Accept) return;
  FLastMousePos = TPoint{X, Y};
  if (!Dragging()) {
    PlaceCaretAtPixel(X, Y);
    return;
  }
  TDisplayCoord d = PixelsToNearestRowColumn(X, Y);
  d.Column = MinMax(d.Column, FView.LeftColumn, FView.LeftColumn + std::max(0, FView.CharsInWindow - 1));
  d.Row = MinMax(d.Row, FView.TopLine, FView.TopLine + std::max(0, FView.LinesInWindow - 1));
  d.Row = MinMax(d.Row, 1, std::max(1, DisplayRowCount()));
  InternalSetCaretXY(DisplayToBufferPos(d));
  ComputeScroll(X, Y);
}

void TCustomOndEdit::DragDrop(TObject* Source, int X, int Y) {
  if (auto* source = dynamic_cast<TCustomOndEdit*>(Source)) DropText(source, X, Y, TControl::KeyboardState());
}

void TCustomOndEdit::DragEnd(bool Dropped) {
  TCustomControl::DragEnd(Dropped);
  FScrollTimer->SetEnabled(false);
}

void TCustomOndEdit::DropText(TCustomOndEdit* Source, int X, int Y, TShiftState Shift) {
  if (!Source || !Source->SelAvail() || GetReadOnly()) return;
  PaintLockScope lock(*this);
  PlaceCaretAtPixel(X, Y);
  TBufferCoord drop = GetCaretXY();
  const bool same = Source == this;
  bool move;
  if (same) {
    move = !(Shift & ssCtrl);
    if (IsPointInSelection(drop) || (move && drop == GetBlockEnd())) return;
  } else {
    // The text stays where it is when its editor may not change.
    move = (Shift & ssShift) && !Source->GetReadOnly();
  }
  const std::string text = Source->GetSelText();
  const TBufferCoord bb = Source->GetBlockBegin(), be = Source->GetBlockEnd();
  const TOndEditorOptions savedOptions = FOptions;
  FOptions |= eoScrollPastEol;
  struct Restore {
    TCustomOndEdit* E;
    TOndEditorOptions O;
    ~Restore() { E->FOptions = O; }
  } restore{this, savedOptions};
  BeginUndoBlock();
  try {
    if (move) {
      if (same) {
        // The drop point after the selection moves with the text removed before it.
        if (drop.Line > be.Line || (drop.Line == be.Line && drop.Char >= be.Char)) {
          if (drop.Line == be.Line)
            drop = BufferCoord(bb.Char + drop.Char - be.Char, bb.Line);
          else
            drop.Line -= be.Line - bb.Line;
        }
        DeleteSelectionEx(true, urDelete);
      } else {
        PaintLockScope sourceLock(*Source);
        Source->BeginUndoBlock();
        try {
          Source->DeleteSelectionEx(true, urDelete);
          Source->SetCaretAndCollapse(Source->GetBlockBegin());
        } catch (...) {
          Source->EndUndoBlock();
          throw;
        }
        Source->EndUndoBlock();
      }
    }
    InternalSetCaretXY(drop);
    SetBlockBegin(drop);
    OND_ASSERT(!SelAvail());
    const TBufferCoord end =
        ReplaceRange(drop, drop, text, urDelete, same ? urDragDropInsert : urInsert, true);
    InternalSetCaretXY(end);
    SetBlockBegin(end);
    CommandProcessor(ecSelGotoXY, '\0', &drop);
  } catch (...) {
    EndUndoBlock();
    throw;
  }
  EndUndoBlock();
}

bool TCustomOndEdit::CollapsedMarkerAt(int X, int Y, std::vector<std::string>& Lines) {
  if (!FCodeFolding->GetEnabled() || !FCodeFolding->GetCollapsedCodeHint() || FAllFoldRanges->AllCount() == 0) return false;
  if (X < FView.GutterWidth + 2 || Y < 0) return false;
  const int row = FView.TopLine + Y / std::max(1, FView.LineHeight);
  const int line = RowToLine(row);
  if (line < 1 || line > FLines->GetCount() || LineToRow(line + 1) - 1 != row) return false;
  const TOndEditFoldRange* r = FCodeFolder->FoldRangeAtLine(line);
  if (!r || !r->Collapsed) return false;
  // The box painted behind the header's text.
  const int cw = FView.CharWidth;
  const int hintX = (FLines->GetExpandedTextLength(line - 1) - 5) * cw + FView.TextOffset();
  if (X < hintX + cw || X >= hintX + 4 * cw) return false;
  Lines.clear();
  for (int i = r->CollapsedLines.GetCount() - 1; i >= 0; --i) Lines.push_back(r->CollapsedLines.Get(i));
  return true;
}

}  // namespace ond
