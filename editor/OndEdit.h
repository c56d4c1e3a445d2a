// The multi-line text editing control of every editor panel: a custom-painted
// control that owns a line buffer, caret and selection, undo and redo lists,
// option objects, marks, a keystroke table, key and mouse handler chains and
// plug-ins. It draws its gutter and text rows into an off-screen bitmap and
// copies them to the window, and draws and blinks its own caret.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "editor/OndEditCodeFolding.h"
#include "editor/OndEditGeometry.h"
#include "editor/OndEditKbdHandler.h"
#include "editor/OndEditKeyCmds.h"
#include "editor/OndEditLineCode.h"
#include "editor/OndEditMiscClasses.h"
#include "editor/OndEditTextBuffer.h"
#include "editor/OndEditTypes.h"
#include "editor/OndEditWordWrap.h"
#include "editor/OndTextDrawer.h"
#include "platform/Clipbrd.h"
#include "platform/Controls.h"
#include "platform/ExtCtrls.h"
#include "platform/StdCtrls.h"

namespace ond {

class TOndCustomHighlighter;
class TOndHighlighterAttributes;
class TOndEditSearchCustom;
class TOndCompletionProposal;
class TOndLineRunsRecorder;
class TCustomOndEdit;

OND_DECLARE_EXCEPTION(EOndEditError, Exception);

// ---------------------------------------------------------------------------
// Option flags, status changes, state flags

using TOndEditorOptions = std::uint32_t;
enum : TOndEditorOptions {
  eoAltSetsColumnMode = 1u << 0,
  eoAutoIndent = 1u << 1,
  eoAutoSizeMaxScrollWidth = 1u << 2,
  eoDisableScrollArrows = 1u << 3,
  eoDragDropEditing = 1u << 4,
  eoDropFiles = 1u << 5,
  eoEnhanceHomeKey = 1u << 6,
  eoEnhanceEndKey = 1u << 7,
  eoGroupUndo = 1u << 8,
  eoHalfPageScroll = 1u << 9,
  eoHideShowScrollbars = 1u << 10,
  eoKeepCaretX = 1u << 11,
  eoNoCaret = 1u << 12,
  eoNoSelection = 1u << 13,
  eoRightMouseMovesCursor = 1u << 14,
  eoScrollByOneLess = 1u << 15,
  eoScrollHintFollows = 1u << 16,
  eoScrollPastEof = 1u << 17,
  eoScrollPastEol = 1u << 18,
  eoShowScrollHint = 1u << 19,
  eoShowSpecialChars = 1u << 20,
  eoSmartTabDelete = 1u << 21,
  eoSmartTabs = 1u << 22,
  eoSpecialLineDefaultFg = 1u << 23,
  eoTabIndent = 1u << 24,
  eoTabsToSpaces = 1u << 25,
  eoTrimTrailingSpaces = 1u << 26,
  eoColumnEditExtension = 1u << 27,
};
// The options of a new editor.
constexpr TOndEditorOptions OND_DEFAULT_OPTIONS = eoAutoIndent | eoDragDropEditing | eoEnhanceEndKey | eoGroupUndo |
                                                  eoScrollPastEol | eoShowScrollHint | eoSmartTabDelete | eoSmartTabs |
                                                  eoTabsToSpaces | eoColumnEditExtension;

using TOndStatusChanges = std::uint16_t;
enum : TOndStatusChanges {
  StatusAll = 0x0001,
  StatusCaretChar = 0x0002,
  StatusCaretLine = 0x0004,
  StatusLeftColumn = 0x0008,
  StatusTopLine = 0x0010,
  StatusInsertMode = 0x0020,
  StatusModified = 0x0040,
  StatusSelection = 0x0080,
  StatusReadOnly = 0x0100,
};

using TOndStateFlags = std::uint16_t;
enum : TOndStateFlags {
  sfCaretChanged = 0x0001,
  sfScrollBarsChanged = 0x0002,
  sfLinesChanging = 0x0004,
  sfKeyHandled = 0x0008,
  sfCaretVisible = 0x0010,
  sfDoubleClicked = 0x0020,
  sfPossibleGutterClick = 0x0040,
  sfWaitingForDrag = 0x0080,
  sfInsideRedo = 0x0100,
  sfGutterDragging = 0x0200,
};

enum TOndEditCaretType : std::uint8_t { ctVerticalLine, ctHorizontalLine, ctHalfBlock, ctBlock };
enum TLineSpacingRule : std::uint8_t { lsSingle, lsOneAndHalf, lsDouble, lsSpecified };
enum TTransientType : std::uint8_t { ttBefore = 0, ttAfter = 1 };
enum TOndReplaceAction : std::uint8_t { raCancel, raSkip, raReplace, raReplaceAll };

// ---------------------------------------------------------------------------
// Events

using TProcessCommandEvent = std::function<void(TObject* Sender, TOndEditorCommand& Command, char& AChar, void* Data)>;
using TPlaceMarkEvent = std::function<void(TObject* Sender, TOndEditMark*& Mark)>;
using TGutterGetTextEvent = std::function<void(TObject* Sender, int aLine, std::string& aText)>;
using TGutterPaintEvent = std::function<void(TObject* Sender, int aLine, int X, int Y)>;
using TSpecialLineColorsEvent =
    std::function<void(TObject* Sender, int Line, bool& Special, TColor& FG, TColor& BG)>;
using TOndPaintEvent = std::function<void(TObject* Sender, TCanvas* ACanvas)>;
using TPaintTransient = std::function<void(TObject* Sender, TCanvas* Canvas, TTransientType TransientType)>;
using TStatusChangeEvent = std::function<void(TObject* Sender, TOndStatusChanges Changes)>;
using TContextHelpEvent = std::function<void(TObject* Sender, const std::string& Word)>;
using TMouseCursorEvent = std::function<void(TObject* Sender, const TBufferCoord& aLineCharPos, TCursor& aCursor)>;
using TReplaceTextEvent = std::function<void(TObject* Sender, const std::string& ASearch, const std::string& AReplace,
                                             int Line, int Column, TOndReplaceAction& Action)>;
using TReplaceProgressEvent = std::function<void(TObject* Sender, int LinesDone, int LinesInScope, int Replaced)>;
using TOndScrollEvent = std::function<void(TObject* Sender, TScrollBarKind ScrollBar)>;
using TGutterClickEvent = std::function<void(TObject* Sender, TMouseButton Button, int X, int Y, int Line,
                                             TOndEditMark* Mark, int Region)>;

// A handler hooked into command processing, before and after the editor runs
// a command; setting Handled cancels the command.
using THookedCommandEvent = TMethod<void(TObject* Sender, bool AfterProcessing, bool& Handled,
                                         TOndEditorCommand& Command, char& AChar, void* Data, void* HandlerData)>;

struct THookedCommandHandlerEntry {
  THookedCommandEvent Event;
  void* Data = nullptr;
};

// ---------------------------------------------------------------------------
// Plug-ins

// A plug-in joins its editor's list when made and leaves it when freed.
class TOndEditPlugin {
 public:
  explicit TOndEditPlugin(TCustomOndEdit* Owner);
  virtual ~TOndEditPlugin();
  TOndEditPlugin(const TOndEditPlugin&) = delete;
  TOndEditPlugin& operator=(const TOndEditPlugin&) = delete;
  TCustomOndEdit* Editor() const noexcept { return FOwner; }

  virtual void AfterPaint(TCanvas* ACanvas, const TRect& AClip, int FirstLine, int LastLine);
  virtual void LinesInserted(int FirstLine, int Count);
  virtual void LinesDeleted(int FirstLine, int Count);

 private:
  friend class TCustomOndEdit;
  TCustomOndEdit* FOwner;
};

// Keeps the editor's fold ranges in step with inserted and deleted lines
// (FirstLine 1-based, the first line concerned).
class TOndEditCodeFoldingPlugin : public TOndEditPlugin {
 public:
  using TOndEditPlugin::TOndEditPlugin;
  void LinesInserted(int FirstLine, int Count) override;
  void LinesDeleted(int FirstLine, int Count) override;
};

// ---------------------------------------------------------------------------
// The control

class TCustomOndEdit : public TCustomControl, public TOndEditMarkOwner, public IOndWordWrapOwner {
 public:
  explicit TCustomOndEdit(TComponent* AOwner);
  ~TCustomOndEdit() override;

  // The second phase of construction: what calls operations descendants
  // override. The published classes call it from their constructors.
  virtual void AfterConstruction();

  // ---- text and buffers
  TOndEditStringList* Lines() const noexcept { return FLines; }
  void SetLines(const TStrings& Value);
  TOndEditUndoList* UndoList() const noexcept { return FUndoList; }
  TOndEditUndoList* RedoList() const noexcept { return FRedoList; }
  std::string GetLineText() const;
  void SetLineText(const std::string& Value);
  std::string GetEditorText() const;

  // ---- paint lock
  void LockPaint() noexcept { ++FPaintLock; }
  void UnlockPaint();
  void BeginUpdate() noexcept { LockPaint(); }
  void EndUpdate() { UnlockPaint(); }
  int GetPaintLock() const noexcept { return FPaintLock; }
  void StatusChanged(TOndStatusChanges Changes);
  TOndStatusChanges PendingStatusChanges() const noexcept { return FStatusChanges; }
  TOndStateFlags StateFlags() const noexcept { return FStateFlags; }

  // ---- properties
  TOndEditorOptions GetOptions() const noexcept { return FOptions; }
  void SetOptions(TOndEditorOptions Value);
  int GetTabWidth() const noexcept { return FTabWidth; }
  void SetTabWidth(int Value);
  int GetMaxScrollWidth() const noexcept { return FMaxScrollWidth; }
  void SetMaxScrollWidth(int Value);
  bool GetInsertMode() const noexcept { return FInsertMode; }
  void SetInsertMode(bool Value);
  TOndEditCaretType GetInsertCaret() const noexcept { return FInsertCaret; }
  void SetInsertCaret(TOndEditCaretType Value);
  TOndEditCaretType GetOverwriteCaret() const noexcept { return FOverwriteCaret; }
  void SetOverwriteCaret(TOndEditCaretType Value);
  virtual bool GetReadOnly() const { return FReadOnly; }
  virtual void SetReadOnly(bool Value);
  bool GetHideSelection() const noexcept { return FHideSelection; }
  void SetHideSelection(bool Value);
  bool WantReturns = true;
  bool WantTabs = false;
  bool GetModified() const noexcept { return FModified; }
  void SetModified(bool Value);
  int GetBlockWidth() const noexcept { return FBlockWidth; }
  void SetBlockWidth(int Value) { FBlockWidth = Value; }
  TOndSelectionMode GetSelectionMode() const noexcept { return FSelectionMode; }
  void SetSelectionMode(TOndSelectionMode Value);
  TBorderStyle GetBorderStyle() const noexcept { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle Value);
  int GetLineSpacing() const noexcept { return FLineSpacing; }
  void SetLineSpacing(int Value);
  TLineSpacingRule GetLineSpacingRule() const noexcept { return FLineSpacingRule; }
  void SetLineSpacingRule(TLineSpacingRule Value);
  void SetMaxUndo(int Value);
  TOndCustomHighlighter* GetHighlighter() const noexcept { return FHighlighter; }
  void SetHighlighter(TOndCustomHighlighter* Value);
  TOndEditSearchCustom* GetSearchEngine() const noexcept { return FSearchEngine; }
  // The editor lets go of an engine that goes before it.
  void SetSearchEngine(TOndEditSearchCustom* Value);
  TOndEditKeyStrokes* Keystrokes() const noexcept { return FKeystrokes.get(); }
  void SetKeystrokes(const TOndEditKeyStrokes* Value);
  // The font the editor draws with: the assigned one, or a fixed-pitch copy
  // of a proportional one.
  void SetFont(const TFont& Value);
  const TFont& DrawingFont() const noexcept { return *FFontDummy; }
  void SetColor(TColor Value) override;

  // Option objects; their setters assign into them.
  TOndGutter& Gutter() noexcept { return *FGutter; }
  TOndSelectedColor& SelectedColor() noexcept { return *FSelectedColor; }
  TOndBookMarkOpt& BookMarkOptions() noexcept { return *FBookMarkOpt; }
  TOndRightEdge& RightEdge() noexcept { return *FRightEdge; }
  TOndLineDivider& LineDivider() noexcept { return *FLineDivider; }
  TOndActiveLine& ActiveLine() noexcept { return *FActiveLine; }
  TOndWordWrap& WordWrap() noexcept { return *FWordWrap; }
  TOndEditBackground& Background() noexcept { return *FBackground; }
  TOndScrollBars& ScrollBars() noexcept { return *FScrollBars; }
  TOndCodeFolding& CodeFolding() noexcept { return *FCodeFolding; }
  TOndEditMarkList& Marks() noexcept { return *FMarkList; }
  TOndEditMark* Bookmark(int Index) const noexcept;
  void SetBookmarkSlot(int Index, TOndEditMark* Mark) noexcept;
  TOndCompletionProposal* FoldHint() const noexcept { return FFoldHint.get(); }

  // ---- geometry
  int GetCharWidth() const noexcept { return FView.CharWidth; }
  int GetLineHeight() const noexcept { return FView.LineHeight; }
  int GetTextHeight() const noexcept { return FTextHeight; }
  int GetGutterWidth() const noexcept { return FView.GutterWidth; }
  int GetTextOffset() const noexcept { return FView.TextOffset(); }
  int GetCharsInWindow() const noexcept { return FView.CharsInWindow; }
  int GetLinesInWindow() const noexcept { return FView.LinesInWindow; }
  const TOndEditView& View() const noexcept { return FView; }
  int GetLeftColumn() const noexcept { return FView.LeftColumn; }
  void SetLeftColumn(int Value);
  int GetTopLine() const noexcept { return FView.TopLine; }
  void SetTopLine(int Value);

  // ---- coordinates
  TDisplayCoord BufferToDisplayPos(const TBufferCoord& P) const;
  TBufferCoord DisplayToBufferPos(const TDisplayCoord& D) const;
  int LineToRow(int Line) const;
  int RowToLine(int Row) const;
  int DisplayRowCount() const;
  TDisplayCoord PixelsToRowColumn(int X, int Y) const { return FView.PixelToDisplayPos(X, Y); }
  TDisplayCoord PixelsToNearestRowColumn(int X, int Y) const { return FView.PixelToNearestDisplayPos(X, Y); }
  TPoint RowColumnToPixels(const TDisplayCoord& D) const { return FView.DisplayPosToPixel(D); }
  TDisplayCoord GetDisplayXY() const;
  void PlaceCaretAtPixel(int X, int Y);

  // ---- caret
  TBufferCoord GetCaretXY() const noexcept { return BufferCoord(FCaretX, FCaretY); }
  void SetCaretXY(const TBufferCoord& Value) { SetCaretAndCollapse(Value); }
  void SetCaretX(int Value) { SetCaretXY(BufferCoord(Value, FCaretY)); }
  void SetCaretY(int Value) { SetCaretXY(BufferCoord(FCaretX, Value)); }
  // Moves the caret without touching the selection.
  void InternalSetCaretXY(const TBufferCoord& Value) { SetCaretXYEx(true, Value); }
  virtual void SetCaretXYEx(bool EnsureVisible, TBufferCoord Value);
  virtual void SetCaretAndCollapse(const TBufferCoord& Value);
  void SetCaretDisplayPos(const TDisplayCoord& D);
  bool IsCaretInView() const;
  void MakeCaretVisible() { MakeCaretVisibleEx(false); }
  void MakeCaretVisibleEx(bool Centre);

  // ---- selection
  TBufferCoord GetBlockBegin() const noexcept;  // the earlier end
  TBufferCoord GetBlockEnd() const noexcept;    // the later end
  TBufferCoord SelectionAnchor() const noexcept { return FBlockBegin; }
  TBufferCoord SelectionMovingEnd() const noexcept { return FBlockEnd; }
  void SetBlockBegin(TBufferCoord Value);
  void SetBlockEnd(TBufferCoord Value);
  bool SelAvail() const noexcept;
  bool SelTabBlock() const noexcept;
  bool SelTabLine() const;
  std::string GetSelText() const;
  int GetSelStart() const;
  int GetSelLength() const;
  void SetSelStart(int Value);
  void SetSelLength(int Value);
  TBufferCoord TextIndexToPos(int Index) const;
  int PosToTextIndex(const TBufferCoord& P) const;
  void SelectAll();
  void SelectWordAt(TBufferCoord P);
  void PlaceCaretAndSelection(const TBufferCoord& Caret, const TBufferCoord& Begin, const TBufferCoord& End);
  void MoveCaretAndSelect(const TBufferCoord& From, const TBufferCoord& To, bool Extend);
  void MoveCaretByChars(int DX, bool Extend);
  void MoveCaretByRows(int DY, bool Extend);
  void MoveCaretToLineStart(bool Extend);
  void MoveCaretToLineEnd(bool Extend);

  // ---- words and attributes
  void GetWordChars(TSysCharSet& IdentChars, TSysCharSet& WhiteChars) const;
  bool IsIdentChar(char C) const;
  TBufferCoord WordStartEx(const TBufferCoord& P) const;
  TBufferCoord WordEndEx(const TBufferCoord& P) const;
  std::string WordAtPos(const TBufferCoord& P) const;
  std::string WordAtCursor() const { return WordAtPos(GetCaretXY()); }
  bool GetHighlighterAttriAtRowCol(const TBufferCoord& P, std::string& Token,
                                   TOndHighlighterAttributes*& Attri) const;
  bool GetHighlighterAttriAtRowColEx(const TBufferCoord& P, std::string& Token, int& TokenType, int& Start,
                                     TOndHighlighterAttributes*& Attri) const;

  // ---- invalidation
  using TControl::InvalidateRect;
  virtual void InvalidateRect(const TRect& R, bool Erase);
  void InvalidateGutter() { InvalidateGutterLines(-1, -1); }
  void InvalidateGutterLine(int Line) override { InvalidateGutterLines(Line, Line); }
  void InvalidateGutterLines(int FirstLine, int LastLine);
  void InvalidateLine(int Line);
  void InvalidateLines(int FirstLine, int LastLine);
  void InvalidateSelection();
  TRect PendingInvalidRect() const noexcept { return FInvalidateRect; }

  // ---- command hooks, handler chains, plug-ins, focus controls
  void RegisterCommandHandler(const THookedCommandEvent& Handler, void* HandlerData);
  void UnregisterCommandHandler(const THookedCommandEvent& Handler);
  void AddKeyDownHandler(const TKeyHandler& Handler) { FKbdHandler.AddKeyDownHook(Handler); }
  void RemoveKeyDownHandler(const TKeyHandler& Handler) { FKbdHandler.RemoveKeyDownHook(Handler); }
  void AddKeyPressHandler(const TKeyPressHandler& Handler) { FKbdHandler.AddKeyPressHook(Handler); }
  void RemoveKeyPressHandler(const TKeyPressHandler& Handler) { FKbdHandler.RemoveKeyPressHook(Handler); }
  // Controls whose focus counts as the editor's (a pop-up list it opened):
  // while any is listed, SetFocus focuses the last one added instead of the
  // editor. A listed control that goes leaves the list by itself.
  void AddFocusControl(TWinControl* Control);
  void RemoveFocusControl(TWinControl* Control);
  const std::vector<TWinControl*>& FocusControls() const noexcept { return FFocusList; }
  void SetFocus() override;
  bool AlwaysShowCaret() const noexcept { return FAlwaysShowCaret; }
  void SetAlwaysShowCaret(bool Value);

  // ---- replacing the selection, clipboard
  // Replaces the selection with Text, inserted in Mode at the caret. With
  // AddToUndo the whole change (the removed selection and every inserted
  // piece) is recorded, so that one undo restores the earlier text exactly.
  void ReplaceSelection(TOndSelectionMode Mode, std::string_view Text, bool AddToUndo);
  void ReplaceSelectionText(std::string_view Text) { ReplaceSelection(FSelectionMode, Text, true); }
  // Selects Begin..End as a column block and replaces it with Text.
  void InsertColumnBlock(const TBufferCoord& Begin, const TBufferCoord& End, std::string_view Text, bool AddToUndo);
  // Stores a line (0-based index), trailing blanks removed under eoTrimTrailingSpaces.
  void PutLineText(int Index, const std::string& Text);
  void SetClipboardText(const std::string& Text);
  void CopyToClipboard();
  void CutToClipboard();
  void PasteFromClipboard();
  bool CanPaste() const;
  // The private clipboard format: selection mode byte, text, zero byte.
  static TClipboardFormat BlockClipboardFormat();

  // ---- selection by index, undo grouping
  // Replaces the selection by Value as one undo group.
  void SetSelText(std::string_view Value);
  void ClearSelection();
  void ClearAll();
  int GetSelEnd() const;
  void SetSelEnd(int Value);
  void SetSelWord() { SelectWordAt(GetCaretXY()); }
  void GetIdentChars(TSysCharSet& IdentChars, TSysCharSet& WhiteChars) const { GetWordChars(IdentChars, WhiteChars); }
  bool IsPointInSelection(const TBufferCoord& P) const;
  void BeginUndoBlock() { FUndoList->BeginBlock(); }
  void EndUndoBlock() { FUndoList->EndBlock(); }
  void LockUndo() {
    FUndoList->Lock();
    FRedoList->Lock();
  }
  void UnlockUndo() {
    FUndoList->Unlock();
    FRedoList->Unlock();
  }
  void ClearUndo() {
    FUndoList->Clear();
    FRedoList->Clear();
  }
  virtual void UpdateMouseCursor();
  // The cursor shown over the client point X, Y.
  TCursor CursorAtPoint(int X, int Y);

  // ---- commands
  TOndEditorCommand KeyToCommand(std::uint16_t Code, TShiftState Shift, void*& Data);
  virtual void CommandProcessor(TOndEditorCommand Command, char AChar, void* Data);
  virtual void ExecuteCommand(TOndEditorCommand Command, char AChar, void* Data);
  TBufferCoord NextWordPosEx(const TBufferCoord& P) const;
  TBufferCoord PrevWordPosEx(const TBufferCoord& P) const;
  TBufferCoord NextWordPos() const { return NextWordPosEx(GetCaretXY()); }
  TBufferCoord PrevWordPos() const { return PrevWordPosEx(GetCaretXY()); }
  TBufferCoord WordStart() const { return WordStartEx(GetCaretXY()); }
  TBufferCoord WordEnd() const { return WordEndEx(GetCaretXY()); }
  // The indentation text for Width columns (tabs and blanks or blanks only).
  std::string GetIndentString(int Width, bool WantTabs) const;

  // ---- undo, redo, bookmarks
  void Undo();
  void Redo();
  bool CanUndo() const { return !GetReadOnly() && FUndoList->HasRecords(); }
  bool CanRedo() const { return !GetReadOnly() && FRedoList->HasRecords(); }
  void SetBookMark(int BookMark, int X, int Y);
  void GotoBookMark(int BookMark);
  void ClearBookMark(int BookMark);
  bool GetBookMark(int BookMark, int& X, int& Y) const;
  bool IsBookmark(int BookMark) const { return Bookmark(BookMark) != nullptr; }

  // ---- search and replace
  // Finds (and with the replace bits replaces) ASearch through SearchEngine;
  // the number of matches found and selected.
  int SearchReplace(const std::string& ASearch, const std::string& AReplace, std::uint8_t AOptions);
  // Whether a search of the whole text for ASearch (AOptions' case and word
  // bits) would find anything, asked of Engine; nothing of the control
  // changes, so that a walk across many texts touches only those it finds in.
  bool HasMatch(TOndEditSearchCustom& Engine, const std::string& ASearch, std::uint8_t AOptions) const;

  // ---- code folding
  // The fold ranges found in the text, collapsed or not.
  TOndEditAllFoldRanges& AllFoldRanges() noexcept { return *FAllFoldRanges; }
  // The regions in use: the option object's own (the highlighter's once it
  // offers any).
  const TFoldRegions* FoldRegionsInUse() const;
  // Collapse and expand are recorded for undo, which replays them in reverse
  // so that the positions of older records stay right.
  bool CollapseFoldRange(TOndEditFoldRange* Range);
  bool ExpandFoldRange(TOndEditFoldRange* Range);
  void ExpandAll();
  void RescanFoldRanges();
  // The same as RescanFoldRanges, with the scan itself put off until the
  // ranges are first wanted (painting, a question, an edit, a change of the
  // highlighter or the folding options): a freshly loaded text nobody looks
  // at is never scanned.
  void RescanFoldRangesLater();
  // A text about to go away unseen (its panel closing) is not scanned: a
  // postponed scan is dropped with the ranges it would have made.
  void DropPostponedFoldScan();
  // Finds the ranges again keeping the collapsed ones. In a long text the
  // scan runs in idle time while the ranges found before stay in use; a
  // change of the text starts it again, so no edit waits for it.
  void UpdateFoldRanges();
  // Whether an update of the ranges waits for idle time.
  bool FoldUpdatePending() const noexcept { return FFoldUpdate != nullptr; }
  // Lines the updates of the ranges have scanned so far, for those who
  // check that an edit costs what it changed, not what the text holds.
  std::int64_t FoldLinesRescanned() const noexcept { return FFoldLinesRescanned; }
  // Collapses the fold starting on Line when it is expanded, else expands it.
  virtual bool ToggleFoldAtLine(int Line);
  TOndEditFoldRange* FoldRangeStartingAt(int Line) const;
  TOndEditFoldRange* FoldRangeAtLine(int Line, int* Position = nullptr) const;
  int UncollapsedLine(int Line) const;
  // The line of the file that buffer line Line stands for, as the gutter
  // numbers it: collapsed folds above it count with their hidden lines.
  int FileLine(int Line) const;
  TOndEditFoldRange* FoldRangeEndingAt(int Line) const;
  bool IsRangeEnd(int Line) const;
  bool IsInsideRange(int Line) const;
  int LineIndentColumns(int Line) const;
  bool FoldTokenInLine(std::string_view Text) const;
  // The whole text with every fold expanded; the editor stays as it is.
  std::string TextWithFoldsExpanded() const;
  // The range the caret line opens or closes, marked when painting.
  TOndEditFoldRange* HighlightedFoldRange() const {
    FAllFoldRanges->Settle();
    return FHighlightedFoldRange;
  }
  void UpdateCaretFoldRange();
  int FoldChangeCount() const noexcept { return FFoldChangeCount; }

  // ---- brackets and word wrap
  // The partner of the bracket at P, or (0, 0); brackets inside strings and
  // comments of the highlighter do not count.
  TBufferCoord GetMatchingBracketEx(const TBufferCoord& P) const;
  TBufferCoord GetMatchingBracket() const { return GetMatchingBracketEx(GetCaretXY()); }
  // The same partner, for painting. In a text of kIdleWorkLines lines or
  // more a search that goes far is finished in idle time instead: Known is
  // false until then, and once the partner is known the lines of both
  // brackets are painted again. A search for another bracket, a caret that
  // leaves the bracket and any change of the text or the highlighter drop it.
  TBufferCoord MatchingBracketSoon(const TBufferCoord& P, bool& Known);
  // Moves the caret to the partner; without one the caret stays.
  void FindMatchingBracket();
  TOndWordWrapPlugin* WordWrapPlugin() const noexcept { return FWrapLayout; }
  TOndEditStringList& WrapLines() override { return *FLines; }
  std::int32_t WrapWidth() override;
  TSysCharSet WrapIdentChars() override;

  // ---- work left for idle time
  // From this many lines on, a text's postponed fold scan (once painting
  // wants fold marks) and far bracket searches run in pieces of about
  // kIdleSliceMs each while the program is idle, so that painting never
  // waits for a walk over the whole text. Anything else that needs the
  // folds finishes the scan at once.
  static constexpr int kIdleWorkLines = 20000;
  // The same for a text of fewer lines but this many characters (a long
  // line is as much work as many short ones).
  static constexpr std::size_t kIdleWorkChars = 256 * 1024;
  static constexpr int kIdleSliceMs = 15;
  // An edit rescans the highlighter states after it until one comes out as
  // before, but not past this many lines or bytes: the rest of a long text
  // that a quote or a comment turned inside out is scanned when needed.
  static constexpr int kScanFromLines = 4096;
  static constexpr std::size_t kScanFromBytes = 512 * 1024;
  // Whether the text is long in either sense.
  bool LongText() const;
  // Whether the character at (Char, Line) lies in a string, comment or
  // remark of the highlighter. Every question about a line is answered from
  // one pass of the highlighter over it.
  bool NonCodeAt(int Line, int Char) const;
  // The same question about the lines of Text, the text with every fold
  // expanded (hidden lines too), for as long as Text lives.
  TFoldNonCodeFunc ExpandedTextNonCode(const TOndExpandedText& Text) const;
  // Whether work waits for idle time.
  bool IdleWorkPending() const noexcept;
  // Runs one piece of the waiting work, stopping once Budget has passed
  // (each piece walks at least a few thousand lines); true when nothing is
  // left. The idle timer calls it; tests may too.
  bool RunIdleWork(std::chrono::milliseconds Budget);

  // ---- tab, indent and case commands
  void DoBlockIndent();
  void DoBlockUnindent();
  void DoTabKey();
  void DoShiftTabKey();
  void DoCaseChange(TOndEditorCommand Cmd);

  // ---- events
  TNotifyEvent OnChange;
  TPlaceMarkEvent OnClearBookmark;
  TProcessCommandEvent OnCommandProcessed;
  TProcessCommandEvent OnProcessCommand;
  TProcessCommandEvent OnProcessUserCommand;
  TContextHelpEvent OnContextHelp;
  TGutterClickEvent OnGutterClick;
  TGutterGetTextEvent OnGutterGetText;
  TGutterPaintEvent OnGutterPaint;
  TMouseCursorEvent OnMouseCursor;
  TOndPaintEvent OnPaint;
  TPaintTransient OnPaintTransient;
  TPlaceMarkEvent OnPlaceBookmark;
  TReplaceTextEvent OnReplaceText;
  TOndScrollEvent OnScroll;
  TSpecialLineColorsEvent OnSpecialLineColors;
  TStatusChangeEvent OnStatusChange;
  // A replace-all running on without prompting reports each line it reaches:
  // the lines done, the lines of its scope and the matches replaced so far.
  TReplaceProgressEvent OnReplaceProgress;

  void MarkFreed(TOndEditMark* Mark) override;

 protected:
  // A bookmark image list that goes is let go of.
  void Notification(TComponent* AComponent, TOperation Operation) override;

 public:

 protected:
  friend class TOndEditPlugin;
  // Operations descendants may override.
  virtual void DoChange();
  virtual void LinesChanged();
  virtual void NotifyHookedCommandHandlers(bool AfterProcessing, TOndEditorCommand& Command, char& AChar,
                                           void* Data);
  virtual void PaintGutter(const TRect& AClip, int FirstRow, int LastRow);
  virtual void PaintTextRows(const TRect& AClip, int FirstRow, int LastRow, int FirstCol, int LastCol);
  virtual void DoOnClearBookmark(TOndEditMark*& Mark);
  virtual void DoOnPaint();
  virtual void DoOnPaintTransientEx(TTransientType TransientType, bool Lock);
  virtual void DoOnPaintTransient(TTransientType TransientType);
  virtual bool DoOnSpecialLineColors(int Line, TColor& FG, TColor& BG);
  virtual void DoOnStatusChange(TOndStatusChanges Changes);
  virtual void DoOnProcessCommand(TOndEditorCommand& Command, char& AChar, void* Data);
  virtual void DoOnCommandProcessed(TOndEditorCommand Command, char AChar, void* Data);
  virtual void DoOnReplaceText(const std::string& ASearch, const std::string& AReplace, int Line, int Column,
                               TOndReplaceAction& Action);
  virtual void DoOnPlaceMark(TOndEditMark*& Mark);
  virtual void DoOnMouseCursor(const TBufferCoord& aLineCharPos, TCursor& aCursor);
  virtual void ResetKeystrokesToDefaults();


  // Folding: whether the caret line heads a collapsed fold (commands that
  // would change hidden text are skipped there), and the one place where the
  // edit primitives expand collapsed folds among lines they are about to
  // join or delete, so hidden lines are never lost. Folding overrides both.
  virtual bool CaretOnCollapsedFoldHeader() const;
  // B and E follow the lines that come back; an end inside a collapsed
  // header's marker stands for the end of its fold.
  virtual void ExpandFoldsForEdit(TBufferCoord& B, TBufferCoord& E);

  // Key entry.
  void KeyDown(std::uint16_t& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
  void ImeComposition(const std::string& Text) override;

  // The edit primitives. Positions are real text positions (smNormal),
  // B before E. Replaces B..E with Text: with Record, the removed text is
  // recorded with DelReason and the inserted text (padding of a short line
  // included) with InsReason. The result is the end of the inserted text.
  TBufferCoord ReplaceRange(TBufferCoord B, TBufferCoord E, std::string_view Text, TOndUndoReason DelReason,
                            TOndUndoReason InsReason, bool Record);
  std::string TextRange(TBufferCoord B, TBufferCoord E) const;
  // Overwrites B..E (on one line) with Text as one insertion record that
  // carries the overwritten characters, so that typing over text groups
  // into one undo step as typing into it does. The end of the new text.
  TBufferCoord OverwriteRange(TBufferCoord B, TBufferCoord E, std::string_view Text);
  // The text a deletion from B to E takes away: the hidden lines of the
  // collapsed folds it reaches come along, their markers never do.
  std::string SpanText(TBufferCoord B, TBufferCoord E) const;
  // The line's length without the marker when it heads a collapsed fold.
  int VisibleLineLength(int Line) const;
  // The collapsed fold whose header is Line (in view), or none.
  TOndEditFoldRange* CollapsedFoldAt(int Line) const;
  void ReplaceSelectionEx(TOndSelectionMode Mode, std::string_view Text, bool AddToUndo, TOndUndoReason DelReason,
                          TOndUndoReason InsReason);
  // Records the lines a change of many places altered (kept before it) as
  // one urReplaceLines record, however many places it changed (a replace-all,
  // whose matches may be far more than the undo list holds records); false
  // when no line differs.
  bool RecordLineRuns(TOndLineRunsRecorder& Kept);
  // Puts the runs of a urReplaceLines record in place; the record that puts
  // back what they replaced. CaretLine: the line the first run now starts at.
  std::unique_ptr<TOndEditUndoItem> PutLineRuns(const TOndEditUndoItem& Item, int& CaretLine);
  // Whether a fold is collapsed (a fold scan still to come has collapsed
  // none, and is not run to find out).
  bool AnyFoldCollapsed() const;
  // A line's text without the marker of a collapsed fold's header.
  std::string_view VisibleLineView(int Line) const;
  // The line that holds line FileLine of the text with every fold expanded,
  // or the header of the collapsed fold that hides it.
  int LineOfUncollapsedLine(int FileLine) const;
  // Expands, without an undo record, the collapsed folds that hide lines
  // First..Last of the text with every fold expanded or whose header is
  // among them, so that those lines stand in the buffer as plain text; the
  // ranges expanded, outer ones first, with the lines each showed (-1: its
  // header had lost its marker).
  std::vector<std::pair<TOndEditFoldRange*, int>> OpenFoldsOver(int First, int Last);
  // Collapses again what OpenFoldsOver expanded, inner ones first, each only
  // when it hides the same number of lines as before (the change may have
  // changed its lines: it then stays open) and its header had its marker.
  void CloseFoldsAgain(const std::vector<std::pair<TOndEditFoldRange*, int>>& Opened);
  // Collapses a range whose header is line Header again, one that hides
  // Shown lines, the lines it showed; none when no range does.
  void CloseFoldAgainAt(int Header, int Shown);
  // Runs the fold update that lines put by a change of many places (a
  // replace-all, its undo or redo) ask for.
  void UpdateFoldsAfterLinesPut();
  // Before a replacement holding a line break goes into line Line: when the
  // line heads a collapsed fold, the fold opens (recorded for undo; Kept,
  // the lines a replace-all recorded so far, go into a record first). False
  // when the line still heads a collapsed fold.
  bool OpenFoldForLineBreak(int Line, std::optional<TOndLineRunsRecorder>& Kept);
  // Puts the lines of Text in the place of lines First..First+Count-1; the
  // number of lines put there.
  int PutLinesRaw(int First, int Count, std::string_view Text);
  // Undo and redo of one record.
  void UndoItem();
  void RedoItem();
  void UndoListChanged(TOndEditUndoList* Sender);
  void RefreshModified();

  // Window events.
  void Paint() override;
  void Resize() override;
  void GiveLook() override;
  void DoEnter() override;
  void DoExit() override;

  // Caret shape and place.
  void InitializeCaret();
  void HideEditorCaret();
  void ShowEditorCaret();
  void UpdateCaret();

  // Geometry after a font, gutter or size change.
  void RecalcCharExtent();
  void FontChanged() override;
  void SizeOrFontChanged(bool FontChanged);
  void GutterChanged(TObject* Sender);
  void UpdateScrollBars();

  TOndEditView FView;
  int FTextHeight = 1;

 private:
  // Buffer notifications.
  void ListCleared(TOndEditStringList* Sender);
  void ListDeleted(TOndEditStringList* Sender, int Index, int Count);
  void ListInserted(TOndEditStringList* Sender, int Index, int Count);
  void ListPut(TOndEditStringList* Sender, int Index, int Count);
  // The first display row of word-wrapped line Index (0-based) that its
  // last replacement changed, the line keeping its row count; the rows
  // before it show the same text in the same colours.
  int WrappedRowChangedFrom(int Index);
  void ListChanging(TOndEditStringList* Sender);
  void ListChanged(TOndEditStringList* Sender);
  // Rescans highlighter range states from Index until one comes out as stored;
  // the index of the last line scanned. Past kScanFromLines lines or
  // kScanFromBytes bytes it stops, and the lines after count as never
  // scanned.
  int ScanFrom(int Index);
  void ScanRanges();
  // Scans the range states the lines up to Index (0-based) still lack. Text
  // loaded into the editor is not scanned at once: its states are scanned as
  // far as painting, a token look-up or an edit first needs them.
  void ScanRangesThrough(int Index) const;
  // Pass carries the highlighter's pass over the hidden lines of a text
  // with every fold expanded from one question to the next.
  // After a fold opened: the ranges are found again when the last update
  // left collapsed ranges unpaired.
  void ReadUnpairedFoldsAgain();
  struct THiddenLinesPass;
  bool ExpandedNonCodeAt(const TOndExpandedText& Text, THiddenLinesPass& Pass, std::int32_t Line,
                         std::int32_t Char) const;
  // Line Index (0-based) with its tabs expanded, in Buffer when it has any.
  std::string_view ExpandedLine(int Index, std::string& Buffer) const;
  void HighlighterAttrChanged(void* Sender);
  void SetWordWrap(bool Value);
  // Char held where a position on Line may stand: at least 1 and, when the
  // caret may go past line ends without word wrap, at most one past the
  // scroll width or one past the line's own end, whichever is further.
  int ClampedChar(int Char, int Line) const;
  TDisplayCoord CaretDisplay() const { return BufferToDisplayPos(GetCaretXY()); }
  void ComputeCaret(int& Width, int& Height, TPoint& Offset) const;
  void PaintLines(const TRect& AClip, int FirstRow, int LastRow, int FirstCol, int LastCol, bool HaveSel,
                  const TDisplayCoord& SelStart, const TDisplayCoord& SelEnd);
  TColor DefaultRowForeground() const;
  TColor DefaultRowBackground() const;

  // Editing helpers.
  int LineLength(int Line) const;
  TBufferCoord ClampToText(TBufferCoord P) const;
  TBufferCoord InsertRaw(TBufferCoord P, std::string_view Text, TBufferCoord& Start);
  std::string DeleteRaw(TBufferCoord B, TBufferCoord E);
  // Stores Text as line Line (1-based), trailing blanks and tabs trimmed
  // under eoTrimTrailingSpaces; with Record the change is undoable.
  void StoreLine(int Line, std::string_view Text, bool Record);
  // Under eoTrimTrailingSpaces, takes the trailing blanks and tabs off Line.
  void TrimLineEnd(int Line, bool Record);
  void ShiftMarks(int FromLine, int Delta);
  void DeleteSelectionEx(bool Record, TOndUndoReason Reason);
  TBufferCoord InsertColumnText(TBufferCoord At, std::string_view Text, bool Record, TOndUndoReason Reason);
  // Typing edits every row of the column block at once.
  bool ColumnEditActive() const noexcept;
  void ColumnEdit(const std::string& Insert, bool Overwrite);
  int LeadingWhite(std::string_view Line, bool TabsAsWidth) const;
  int SmartIndentTarget(int Line, int Count, bool TabsAsWidth) const;
  void DoBackspace();
  void DoDeleteChar();
  void DoDeleteRange(TOndEditorCommand Command);
  void DoDeleteLine();
  void DoLineBreak(bool MoveCaret);
  void DoTypeChar(char AChar);
  void DoImeStr(const std::string& S);
  void DoSetMarker(int Index, void* Data);
  int EditingCommand(TOndEditorCommand Command) const;

  TCursor FMouseCursor = crDefault;
  std::uint16_t FLastKey = 0;
  TShiftState FLastShift = 0;
  // Creation order matters: the code folding, the buffer and the option
  // objects exist before anything notifies.
  std::unique_ptr<TOndCodeFolding> FCodeFolding;
  std::unique_ptr<TOndEditStringList> FOwnLines;
  TOndEditStringList* FLines = nullptr;
  std::unique_ptr<TOndScrollBars> FScrollBars;
  std::unique_ptr<TOndRightEdge> FRightEdge;
  std::unique_ptr<TOndLineDivider> FLineDivider;
  std::unique_ptr<TOndActiveLine> FActiveLine;
  std::unique_ptr<TOndWordWrap> FWordWrap;
  std::unique_ptr<TOndEditBackground> FBackground;
  std::unique_ptr<TFont> FFontDummy;
  std::unique_ptr<TOndEditUndoList> FOwnUndoList;
  std::unique_ptr<TOndEditUndoList> FOwnRedoList;
  TOndEditUndoList* FUndoList = nullptr;
  TOndEditUndoList* FRedoList = nullptr;
  std::unique_ptr<TOndSelectedColor> FSelectedColor;
  std::unique_ptr<TOndBookMarkOpt> FBookMarkOpt;
  std::unique_ptr<TOndGutter> FGutter;
  std::unique_ptr<TheTextDrawer> FTextDrawer;
  std::unique_ptr<TOndEditKeyStrokes> FKeystrokes;
  TOndEditKbdHandler FKbdHandler;
  std::vector<TWinControl*> FFocusList;
  std::vector<THookedCommandHandlerEntry> FHookedCommandHandlers;
  std::vector<TOndEditPlugin*> FPlugins;
  std::unique_ptr<TOndEditMarkList> FMarkList;
  std::array<TOndEditMark*, 10> FBookMarks{};
  std::unique_ptr<TTimer> FScrollTimer;
  std::unique_ptr<TOndInternalImage> FInternalImage;
  std::unique_ptr<TOndCompletionProposal> FFoldHint;
  std::shared_ptr<IOndRowLayout> FWordWrapPlugin;

  TOndCustomHighlighter* FHighlighter = nullptr;
  TOndEditSearchCustom* FSearchEngine = nullptr;

  int FCaretX = 1;
  int FCaretY = 1;
  int FLastCaretX = 1;
  bool FLastCaretDbcs = false;
  TBufferCoord FBlockBegin = BufferCoord(1, 1);
  TBufferCoord FBlockEnd = BufferCoord(1, 1);
  TOndSelectionMode FSelectionMode = smNormal;
  TOndSelectionMode FSavedSelectionMode = smNormal;
  std::uint8_t FAltColumnFlag = 0;
  bool FInsertMode = true;
  TOndEditCaretType FInsertCaret = ctVerticalLine;
  TOndEditCaretType FOverwriteCaret = ctBlock;
  TPoint FCaretOffset;
  int FMaxScrollWidth = 1024;
  int FTabWidth = 8;
  int FBlockWidth = 2;
  bool FReadOnly = false;
  TBorderStyle FBorderStyle = TBorderStyle::bsSingle;
  bool FHideSelection = false;
  bool FModified = false;
  int FGutterCharWidth = 1;  // the editor font's cell width at the last gutter change
  // The gutter font's cell width, measured again only when that font (or the
  // drawer's base style) changes: measuring swaps the drawer's fonts.
  struct GutterDigitCache {
    std::string Name;
    int Height = 0;
    TFontStyles Style = 0, BaseStyle = 0;
    TFontPitch Pitch = TFontPitch::fpDefault;
    int Width = 0;
  } FGutterDigit;
  int FFoldChangeCount = 0;
  // The lines changed since the fold ranges last fitted the text, so that
  // an update scans those and the lines after them only until the scan
  // stands where the ranges say it stood (see UpdateFoldRangesBetween).
  // Lost: the ranges cannot tell (a fold was toggled meanwhile, or a full
  // update or scan is under way); the next update is a full one.
  struct TFoldChangedLines {
    bool Any = false;
    bool Lost = false;
    int First = 0, Last = 0;  // 1-based, in the numbering of now
    std::vector<TOndEditFoldRange*> Open;  // the ranges open at First
    std::uint64_t Removals = 0;  // the tree's count when Open was taken
  } FFoldChanged;
  std::int64_t FFoldLinesRescanned = 0;
  // An update bounded by the change scans at most this many lines; beyond
  // them the whole text is scanned again (in idle time when it is long).
  static constexpr int kBoundedFoldScanLines = 4096;
  // Lines Index .. Index + Count - 1 (0-based) are about to be replaced
  // (Shift 0), or Count lines inserted at Index (Shift Count) or deleted
  // there (Shift -Count).
  void FoldLinesChanging(int Index, int Count, int Shift);
  // The highlighter found the states of lines up to Index (0-based) anew.
  void FoldLinesRecoloured(int Index) noexcept;
  void ForgetFoldChanges(bool Lost) noexcept;
  // While an update of the whole text runs in idle time, the expanded ranges
  // reaching this line (1-based) or below may stand on wrong lines: they are
  // neither painted nor offered for collapsing until the update is done.
  int FFoldUnsureFrom = 0;
  // The last update found collapsed ranges that no longer pair with what
  // the text around them opens and closes: the ranges they hide are read
  // again once one of them is opened. ExpandAll opens several first.
  bool FFoldsUnpaired = false;
  int FExpandingAll = 0;
  bool FoldRangeUnsure(const TOndEditFoldRange* R) const noexcept;
  // How many leading lines hold the range states of the current text and
  // highlighter; the states stored for the lines after them mean nothing.
  mutable int FRangesKnown = 0;
  std::string FTextBeforePut;
  int FModifiedStateBeforePut = -1;  // of the line being replaced
  // The text a replacement of a word-wrapped line took away, and its index
  // (-1: none kept).
  std::string FWrapTextBeforePut;
  int FWrapPutLine = -1;
  int FMouseWheelAccumulator = 0;
  int FScrollDeltaX = 0;
  int FScrollDeltaY = 0;
  std::uint8_t FRightEdgeDrag = 0;
  int FRightEdgeDragColumn = 0;
  TPoint FMouseDownPoint;
  TOndStateFlags FStateFlags = 0;
  TOndEditorOptions FOptions = OND_DEFAULT_OPTIONS;
  TOndStatusChanges FStatusChanges = 0;
  int FPaintLock = 0;
  int FPaintTransientLock = 0;
  TRect FInvalidateRect;
  // The rectangles gathered while the lines change, so that rows far apart
  // are painted without the rows between them; too many: the whole union.
  std::vector<TRect> FInvalidatePieces;
  void InvalidatePending();
  bool FWrapEndFlag = false;
  bool FScrollBarFlat = false;
  bool FScrolling = false;
  bool FAlwaysShowCaret = false;
  bool FShowSpecialChars = false;
  int FLineSpacing = 0;
  TLineSpacingRule FLineSpacingRule = lsSingle;
  bool FFocused = false;
  bool FDestroying = false;
  // Made out of view (a panel of a big set) and not shown since: its scroll
  // range comes from rows counted without a layout.
  bool FOutOfView = TDeferUntilPainted::Active();

  // ---- code folding, buffer notifications, word wrap
  friend class TOndEditCodeFoldingPlugin;
  TOndCodeFolder& Folder() const;
  void CodeFoldingChanged(int Kind);
  void FoldStateChanged();
  void RecordFoldToggle(int HeaderLine, bool Collapsed, int Count);
  void ReplayFoldRecord(std::unique_ptr<TOndEditUndoItem> Item, bool Undoing);
  std::string FoldSignature(std::string_view Text) const;
  void FoldPluginLinesInserted(int FirstLine, int Count);
  void FoldPluginLinesDeleted(int FirstLine, int Count);
  void ListBeforePut(int Index);
  void MarksLinesInserted(int Line, int Count);
  void MarksLinesDeleted(int Line, int Count);
  // Expanded, visible ranges with lines that reach into FirstLine..LastLine.
  std::vector<TOndEditFoldRange*> ExpandedRangesOver(int FirstLine, int LastLine) const;
  // Folding is on and its ranges are found.
  bool FoldsPainted() const;
  void PaintFoldTree(const TRect& AClip, int FirstRow, int LastRow);
  void PaintFoldExtras(const std::vector<TOndEditFoldRange*>& Spanning, int Line, int Row, int Top, int Len,
                       bool ContinuationRow, bool LastRowOfLine, const TRect& RowRect);
  void ApplyWordWrap(bool Value);
  int GutterRightOffset() const;
  void ApplyGutterWidth();
  // Sizes the line numbers for the largest one the gutter can show: the
  // file's line count, which folding does not change though it takes the
  // hidden lines out of the buffer. The folds' hidden lines are counted
  // again with Recount; an edit keeps the last count, as no edit reaches a
  // hidden line and counting asks the fold index, which an edit leaves to
  // be built again.
  void FitGutterDigits(bool Recount);
  int FGutterHiddenLines = 0;
  // The file's last line number fills every digit cell of auto-sized line
  // numbers: the gutter then keeps one more cell before the numbers, the
  // margin every shorter number has, so that no number touches its edge.
  bool FGutterNumbersFull = false;
  std::unique_ptr<TOndEditAllFoldRanges> FAllFoldRanges;
  std::unique_ptr<TOndCodeFolder> FCodeFolder;
  // While the fold scan is postponed, CaretRangeToCome() stands for the
  // range the caret on FCaretFoldLineToCome opens or closes.
  TOndEditFoldRange* FHighlightedFoldRange = nullptr;
  int FCaretFoldLineToCome = 0;
  static TOndEditFoldRange* CaretRangeToCome() noexcept;
  int FFoldToggling = 0;           // collapse or expand under way: the buffer changes are theirs
  int FEditShiftsMarks = 0;        // an edit primitive moves the marks itself
  TOndEditUndoList* FFoldUndoTarget = nullptr;  // where undo and redo put detached ranges
  std::int32_t FFoldUndoGroup = 0;
  TOndWordWrapPlugin* FWrapLayout = nullptr;

  // ---- idle work
  // A bracket search under way: the last place looked at and the depth.
  struct TBracketWalk {
    TBufferCoord From;
    char Open = 0, Close = 0;
    bool Forward = true;
    int Depth = 1;
    int Line = 0, Char = 0;
    TBufferCoord Found{0, 0};
  };
  // Lines a piece of the fold scan walks between two looks at the clock.
  static constexpr int kFoldScanPieceLines = 1024;
  // The end of a postponed fold scan; true.
  bool FinishFoldScanLater();
  // What the postponed fold scan has done so far between its pieces (held
  // by the scan, so that it goes with it).
  struct TFoldScanProgress;
  std::weak_ptr<TFoldScanProgress> FFoldScanProgress;
  // Starts a walk from the bracket at P; false when P holds none.
  bool StartBracketWalk(const TBufferCoord& P, TBracketWalk& W) const;
  // Walks on; true when done (W.Found is the partner or (0, 0)), false when
  // Until passed first.
  bool WalkBracket(TBracketWalk& W, std::chrono::steady_clock::time_point Until) const;
  void RememberBracketPartner(const TBufferCoord& From, const TBufferCoord& Found);
  void DropBracketSearch() noexcept;
  void StartIdleWork();
  std::unique_ptr<TTimer> FIdleTimer;
  // Painting left the fold marks out while the scan runs in idle time.
  bool FFoldScanInIdle = false;
  // An update of the ranges running in idle time (see UpdateFoldRanges).
  struct TFoldUpdate;
  std::shared_ptr<TFoldUpdate> FFoldUpdate;
  // Runs it on; true when it is done (or there is none).
  bool RunFoldUpdate(std::chrono::steady_clock::time_point Until);
  // The text, the highlighter or the regions changed: it starts over.
  void RestartFoldUpdate() noexcept;
  // Drops it; the ranges it found so far are freed in idle time.
  void DropFoldUpdate();
  // Adds the header lines of the collapsed, visible ranges of the flat list
  // from Next on to Headers, until Until has passed; true when all are in.
  bool CollapsedHeadersSome(std::vector<std::int32_t>& Headers, std::size_t& Next,
                            std::chrono::steady_clock::time_point Until) const;
  // Whether the fold tokens the highlighter's strings and comments hide may
  // have changed with line Index (its text changed; Stop is the last line
  // whose state the highlighter found anew): the line holds a token the
  // scan asks about, or the states of lines after it changed.
  bool FoldTokensRecoloured(int Index, int Stop) const;
  // The text is about to change: a postponed scan is finished first (it
  // scans the text as it was), unless it is a long text's, which idle time
  // scans: that one starts over on the changed text. An update starts over.
  void FoldScanBeforeChange();
  // The same without the update.
  void SettleFoldScanBeforeChange();
  std::unique_ptr<TBracketWalk> FBracketWalk;
  // The last bracket partners found in idle time, for the same text.
  std::array<std::pair<TBufferCoord, TBufferCoord>, 2> FBracketsFound{};
  // Range states written by a scan are no change of the text.
  mutable int FWritingRanges = 0;
  // The pass over the line NonCodeAt was last asked about; a change of the
  // text or the highlighter forgets it.
  mutable TOndLineCodeMap FCodeMap;
  // ---- scrolling
 public:
  // What the scroll limits and the scroll bars are computed from.
  TOndScrollState ScrollState() const;
  // Between a thumb press and the end of the scroll.
  bool Scrolling() const noexcept { return FScrolling; }
  TTimer* ScrollTimer() const noexcept { return FScrollTimer.get(); }
  int ScrollDeltaX() const noexcept { return FScrollDeltaX; }
  int ScrollDeltaY() const noexcept { return FScrollDeltaY; }
  unsigned DialogCode() const override;

 protected:
  bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) override;
  void Scroll(TScrollBarKind Kind, TScrollCode Code, int Pos) override;

 private:
  void ApplyScrollBar(TScrollBarKind Kind, const TOndScrollBarPlan& Plan);
  void ShowScrollHint();
  TOndWheel FWheel;
  bool FUpdatingScrollBars = false;

  // ---- mouse and drag
 public:
  static constexpr TOndEditorCommand ecGotFocus = 480;
  static constexpr TOndEditorCommand ecLostFocus = 481;
  // Drops the selection of Source at the client point X, Y with the modifier
  // keys Shift: moved within one editor unless Ctrl is held, copied from
  // another editor unless Shift is held (a read-only source always copies).
  void DropText(TCustomOndEdit* Source, int X, int Y, TShiftState Shift);
  bool RightEdgeDragging() const noexcept { return FRightEdgeDrag != 0; }

 protected:
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void DblClick() override;
  void KeyUp(std::uint16_t& Key, TShiftState Shift) override;
  void DragOver(TObject* Source, int X, int Y, bool& Accept) override;
  void DragDrop(TObject* Source, int X, int Y) override;
  // The editor's own drag leaving it puts the caret back where the drag began.
  void DragLeave(TObject* Source) override;
  void DragEnd(bool Dropped) override;
  // The mouse capture went elsewhere: auto-scroll stops, and a pending drag,
  // gutter click or right-edge drag ends where it stands.
  void MouseCaptureLost() override;
  // A click in the gutter: toggles a fold in the fold strip, else reports
  // the line and the mark under the pointer through OnGutterClick.
  virtual void DoOnGutterClick(TMouseButton Button, int X, int Y);
  // Recomputes the auto-scroll deltas for the pointer at X, Y and runs or
  // stops the scroll timer.
  void ComputeScroll(int X, int Y);
  void ScrollTimerHandler();
  // Folding hooks of the mouse: collapse or expand the fold headed by Line
  // (true when there was one); whether the client point lies on the collapsed
  // marker of a fold header, with the header and the hidden lines.
  virtual bool CollapsedMarkerAt(int X, int Y, std::vector<std::string>& Lines);

 private:
  void MoveRightEdgeGuide(int X);
  void PaintRightEdgeGuide();
  void HideFoldHint();
  void HideFoldHintAtCaret();
  TPoint FLastMousePos;
  TShiftState FLastMouseShift = 0;
  int FRightEdgeGuideX = -1;
  bool FFoldHintShowing = false;
};

class TOndEdit : public TCustomOndEdit {
 public:
  explicit TOndEdit(TComponent* AOwner) : TCustomOndEdit(AOwner) { AfterConstruction(); }
};

}  // namespace ond
