#include "editor/OndEdit.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "highlight/OndEditHighlighter.h"
#include "platform/ImgList.h"
#include "search/OndCompletionProposal.h"

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
  FCodeFolding->OnChange = [this](TObject*, int) { Invalidate(); };

  FOwnLines = std::make_unique<TOndEditStringList>();
  FLines = FOwnLines.get();

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

  FFontDummy = std::make_unique<TFont>();
  FOwnUndoList = std::make_unique<TOndEditUndoList>();
  FOwnRedoList = std::make_unique<TOndEditUndoList>();
  FUndoList = FOwnUndoList.get();
  FRedoList = FOwnRedoList.get();
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

  FontChanged();

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
std::string TCustomOndEdit::GetEditorText() const { return FLines->GetText(); }

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
void TCustomOndEdit::SetModified(bool Value) {
  if (FModified == Value) return;
  FModified = Value;
  StatusChanged(StatusModified);
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

void TCustomOndEdit::SetWordWrap(bool Value) {
  // The row layout itself is made by the word-wrap unit through SetRowLayout.
  if (!Value && FWordWrapPlugin) SetRowLayout(nullptr);
}

void TCustomOndEdit::SetRowLayout(std::shared_ptr<IOndRowLayout> Layout) {
  FWordWrapPlugin = std::move(Layout);
  if (FWordWrapPlugin) SetLeftColumn(1);
  Invalidate();
}

// ---- font, extent, size ---------------------------------------------------------------

void TCustomOndEdit::FontChanged() {
  TCustomControl::FontChanged();
  // A proportional font is drawn through a fixed-pitch copy of it.
  TTextMetric tm;
  TCanvas* measure = FBufferBmp->Canvas();
  FBufferBmp->SetSize(std::max(1, FBufferBmp->Width()), std::max(1, FBufferBmp->Height()));
  measure = FBufferBmp->Canvas();
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
  FView.FitClient(Width(), Height());
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
  if (FGutter->GetShowLineNumbers() && FGutter->GetAutoSize()) {
    const TNotifyEvent saved = std::move(FGutter->OnChange);
    FGutter->OnChange = nullptr;
    FGutter->UpdateAutoDigits(FLines->GetCount());
    FGutter->OnChange = saved;
  }
  int digitWidth = FView.CharWidth;
  if (FGutter->GetUseFontStyle()) {
    FTextDrawer->SetBaseFont(&FGutter->Font());
    digitWidth = FTextDrawer->CellWidth();
    FTextDrawer->SetBaseFont(FFontDummy.get());
  }
  FGutterCharWidth = FView.CharWidth;
  const int width = FGutter->GutterPixelWidth(digitWidth);
  if (width != FView.GutterWidth) {
    FView.GutterWidth = width;
    FView.FitClient(Width(), Height());
    FStateFlags |= sfCaretChanged;
    if (FPaintLock == 0) UpdateCaret();
    Invalidate();
  } else {
    InvalidateGutter();
  }
}

void TCustomOndEdit::UpdateScrollBars() {
  // The scroll bars themselves come with scrolling; until then only the
  // request is consumed.
  if (FPaintLock > 0) {
    FStateFlags |= sfScrollBarsChanged;
    return;
  }
  FStateFlags &= static_cast<TOndStateFlags>(~sfScrollBarsChanged);
}

void TCustomOndEdit::SetLeftColumn(int Value) {
  int maxValue;
  if (FWordWrapPlugin)
    maxValue = 1;
  else if (FOptions & eoScrollPastEol)
    maxValue = std::max(1, FMaxScrollWidth - FView.CharsInWindow + 1);
  else
    maxValue = std::max(1, FLines->GetLongestLineLength() + 2 - FView.CharsInWindow);
  Value = MinMax(Value, 1, maxValue);
  if (Value == FView.LeftColumn) return;
  FView.LeftColumn = Value;
  FStateFlags |= sfScrollBarsChanged;
  TControl::InvalidateRect(Rect(FView.GutterWidth, 0, Width(), Height()));
  FStateFlags |= sfCaretChanged;
  if (FPaintLock == 0) {
    UpdateScrollBars();
    UpdateCaret();
  }
  StatusChanged(StatusLeftColumn);
}

void TCustomOndEdit::SetTopLine(int Value) {
  const int rows = DisplayRowCount();
  int maxValue = std::max(1, rows);
  if (!(FOptions & eoScrollPastEof)) maxValue = std::max(1, rows - FView.LinesInWindow + 1);
  Value = MinMax(Value, 1, maxValue);
  if (Value == FView.TopLine) return;
  FView.TopLine = Value;
  FStateFlags |= sfScrollBarsChanged | sfCaretChanged;
  TControl::Invalidate();
  if (FPaintLock == 0) {
    UpdateScrollBars();
    UpdateCaret();
  }
  StatusChanged(StatusTopLine);
}

// ---- caret shape -----------------------------------------------------------------------

void TCustomOndEdit::ComputeCaret(int& W, int& H, TPoint& Offset) const {
  const TOndEditCaretType ct = FInsertMode ? FInsertCaret : FOverwriteCaret;
  const int cw = FView.CharWidth, lh = FView.LineHeight;
  switch (ct) {
    case ctHorizontalLine: W = cw; H = 2; Offset = TPoint{0, lh - 2}; break;
    case ctHalfBlock: W = cw; H = std::max(1, (lh - 1) / 2); Offset = TPoint{0, lh - H}; break;
    case ctBlock: W = cw; H = lh; Offset = TPoint{0, 0}; break;
    default: W = 2; H = lh; Offset = TPoint{-1, 0}; break;
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
  const int x = p.X + FCaretOffset.X, y = p.Y + FCaretOffset.Y;
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
  InitializeCaret();
  if (FHideSelection && SelAvail()) InvalidateSelection();
  TCustomControl::DoEnter();
}

void TCustomOndEdit::DoExit() {
  FFocused = false;
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
  if (FGutter->GetShowLineNumbers() && FGutter->GetAutoSize()) FGutter->UpdateAutoDigits(FLines->GetCount());
  if (!(FOptions & eoScrollPastEof)) SetTopLine(FView.TopLine);
  if (!FInvalidateRect.IsEmpty()) TControl::InvalidateRect(FInvalidateRect);
  FInvalidateRect = TRect{};
  UpdateScrollBars();
}

void TCustomOndEdit::ListCleared(TOndEditStringList*) {
  if (FWordWrapPlugin) FWordWrapPlugin->Reset();
  FUndoList->Clear();
  FRedoList->Clear();
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
  for (TOndEditPlugin* p : std::vector<TOndEditPlugin*>(FPlugins)) p->LinesInserted(Index + 1, Count);
  if ((FOptions & eoAutoSizeMaxScrollWidth) && Index < FLines->GetCount()) {
    const int len = FLines->GetExpandedTextLength(Index);
    if (len > FMaxScrollWidth) SetMaxScrollWidth(len);
  }
  InvalidateLines(Index + 1, INT_MAX);
  InvalidateGutterLines(Index + 1, INT_MAX);
}

void TCustomOndEdit::ListPut(TOndEditStringList*, int Index, int Count) {
  int last = Index;
  if (FHighlighter) last = std::max(Index, ScanFrom(Index));
  if (FWordWrapPlugin) FWordWrapPlugin->LinesChanged(Index, Count);
  InvalidateLines(Index + 1, last + 1);
  InvalidateGutterLines(Index + 1, last + 1);
  if ((FOptions & eoAutoSizeMaxScrollWidth) && Index < FLines->GetCount()) {
    const int len = FLines->GetExpandedTextLength(Index);
    if (len > FMaxScrollWidth) SetMaxScrollWidth(len);
  }
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
    case smNormal: {
      if (b.Line == e.Line) return Copy(FLines->GetView(b.Line - 1), b.Char, e.Char - b.Char);
      out = Copy(FLines->GetView(b.Line - 1), b.Char, INT_MAX);
      for (int l = b.Line + 1; l < e.Line; ++l) {
        out += "\r\n";
        out.append(FLines->GetView(l - 1));
      }
      out += "\r\n";
      out += Copy(FLines->GetView(e.Line - 1), 1, e.Char - 1);
      return out;
    }
    case smColumn: {
      int c1 = BufferToDisplayPos(b).Column, c2 = BufferToDisplayPos(e).Column;
      if (c1 > c2) std::swap(c1, c2);
      for (int l = b.Line; l <= e.Line; ++l) {
        const std::string_view line = l <= count ? FLines->GetView(l - 1) : std::string_view();
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
      for (int l = b.Line; l <= std::min(e.Line, count); ++l) {
        out.append(FLines->GetView(l - 1));
        if (l < count) out += "\r\n";
      }
      return out;
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
  }
  if (clip.Right > gw) {
    TRect r = clip;
    r.Left = std::max(r.Left, gw);
    PaintTextRows(r, range.FirstRow, range.LastRow, range.FirstColumn, range.LastColumn);
  }
  for (TOndEditPlugin* p : std::vector<TOndEditPlugin*>(FPlugins)) p->AfterPaint(Canvas(), clip, range.FirstRow, range.LastRow);
  DoOnPaint();
  DoOnPaintTransient(ttAfter);
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
    const int xr = gw - g.GetRightOffset() - 2;
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
      std::string text = g.LineNumberText(line);
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
      const int x = gw - g.GetRightOffset();
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

}  // namespace ond
