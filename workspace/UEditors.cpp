#include "workspace/UEditors.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "editor/OndEditPrintEditor.h"
#include "highlight/OndBuiltinSchemes.h"
#include "platform/ImgList.h"
#include "platform/core/Classes.h"
#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"
#include "platform/core/Keys.h"
#include "platform/core/ScopeGuard.h"
#include "platform/core/SysUtils.h"
#include "services/ULocalization.h"
#include "services/USystem.h"
#include "workspace/Compatibility.h"
#include "workspace/Encodings.h"
#include "workspace/StatusPanels.h"
#include "workspace/UConfirmReplaceDialog.h"
#include "workspace/UMainDataModule.h"

namespace ond {

// ---- stack arithmetic -------------------------------------------------------

int TStackLayout::VisibleCount() const {
  return static_cast<int>(std::count_if(Panels.begin(), Panels.end(), [](const TPanelBox& p) { return p.Visible; }));
}

int TStackLayout::FirstVisible() const {
  for (std::size_t i = 0; i < Panels.size(); ++i)
    if (Panels[i].Visible) return static_cast<int>(i);
  return -1;
}

int TStackLayout::LastVisible() const {
  for (std::size_t i = Panels.size(); i-- > 0;)
    if (Panels[i].Visible) return static_cast<int>(i);
  return -1;
}

int TStackLayout::TotalHeight() const {
  int h = 0;
  for (const TPanelBox& p : Panels)
    if (p.Visible) h += p.Height;
  return h;
}

bool TStackLayout::ScrolledPastEnd() const {
  const int last = LastVisible();
  if (last < 0) return false;
  const TPanelBox& p = Panels[static_cast<std::size_t>(last)];
  return p.Top + p.Height <= ViewHeight;
}

int TStackLayout::ScrollToShift(int index) const {
  if (VisibleCount() < 2 || index < 0 || index >= static_cast<int>(Panels.size()) ||
      !Panels[static_cast<std::size_t>(index)].Visible)
    return 0;
  int shift = -Panels[static_cast<std::size_t>(index)].Top;
  if (shift > 0) shift = std::min(shift, Position);
  if (shift < 0) shift = std::max(shift, Position - Max);
  return shift;
}

int TStackLayout::ScrollTo(int newPosition) {
  const int shift = Position - newPosition;
  Shift(shift);
  return shift;
}

void TStackLayout::Shift(int shift) {
  Position -= shift;
  for (TPanelBox& p : Panels) p.Top += shift;
}

bool TStackLayout::WheelActivates(int method, TShiftState shift) {
  return method == 2 || (method == 0 && (shift & ssShift)) || (method == 1 && (shift & ssCtrl));
}

int TStackLayout::Wheel(bool down) {
  if (VisibleCount() < 2 || Max <= 0) return 0;
  const int step = down ? std::min(WheelStep, Max - Position) : std::min(WheelStep, Position);
  const int scroll = down ? -step : step;
  Shift(scroll);
  const TPanelBox& first = Panels[static_cast<std::size_t>(FirstVisible())];
  int drift = 0;
  if (down && Position == Max && first.Top + Max < 0) drift = -(first.Top + Max);
  if (!down && Position == 0 && first.Top < 0) drift = -first.Top;
  if (drift != 0)
    for (TPanelBox& p : Panels)
      if (p.Visible) p.Top += drift;
  return scroll;
}

void TStackLayout::BeforeResize(int newViewHeight) {
  const int lost = ViewHeight - newViewHeight;
  if (VisibleCount() > 1 && lost > 0 && ScrolledPastEnd()) {
    TPanelBox& last = Panels[static_cast<std::size_t>(LastVisible())];
    if (last.Height - lost > last.HeaderHeight) last.Height -= lost;
  }
  ViewHeight = newViewHeight;
}

void TStackLayout::AfterResize() {
  if (VisibleCount() > 1) {
    if (ScrolledPastEnd()) {
      TPanelBox& last = Panels[static_cast<std::size_t>(LastVisible())];
      last.Height = ViewHeight - last.Top;
    }
  }
  Max = std::max(0, TotalHeight() - ViewHeight);
}

// ---- texts and colours --------------------------------------------------------


TColor TEditorColors::EditorFont = clWindowText;
TColor TEditorColors::Header = clBlack;
TColor TEditorColors::ActiveHeader = clBlue;

namespace {

constexpr int kHeaderDashes = 200;
constexpr TColor kBtnFace = static_cast<TColor>(0x8000000F);

TEncoding* EncodingOfKind(int kind) {
  switch (kind) {
    case 0:
      return TEncoding::Default();
    case 1:
      return TEncoding::Unicode();
    default:
      return TEncoding::UTF8();
  }
}

bool IsBracket(char c) {
  return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}';
}

}  // namespace

// ---- collapse button ----------------------------------------------------------

TCollapseButton::TCollapseButton(TComponent* owner) : TCustomControl(owner) {}

void TCollapseButton::SetImageIndex(int index) {
  if (ImageIndex == index) return;
  ImageIndex = index;
  Invalidate();
}

void TCollapseButton::Paint() {
  TCanvas* c = Canvas();
  c->Brush.Color = clWhite;
  c->FillRect(ClientRect());
  if (DMMain && DMMain->iListCollapsed && DMMain->iListCollapsed->Count() > ImageIndex) {
    const TImageList* images = DMMain->iListCollapsed;
    DMMain->iListCollapsed->Draw(c, (Width() - images->Width()) / 2, (Height() - images->Height()) / 2, ImageIndex);
    return;
  }
  // Without the image list: a plain sign, "-" expanded, "+" collapsed.
  c->Pen.Color = clBlack;
  const int cx = Width() / 2;
  const int cy = Height() / 2;
  c->MoveTo(cx - 4, cy);
  c->LineTo(cx + 5, cy);
  if (ImageIndex == 1) {
    c->MoveTo(cx, cy - 4);
    c->LineTo(cx, cy + 5);
  }
}

// ---- one panel ------------------------------------------------------------------

TEditor::TEditor(TEditors* owner, bool shown, const std::string& caption, int index, TPopupMenu* popupMenu,
                 TWinControl* parent)
    : Owner(owner), Index(index), Shown(shown) {
  // Most panels of a big set open out of view: the editor's bar windows,
  // palette and font wait until it is first painted.
  const TDeferUntilPainted outOfView;
  const std::string n = IntToStr(index);
  Panel = new TPanel(nullptr);
  Panel->Name = "pPanel" + n;
  Panel->Tag = index;
  Panel->BevelOuter = TBevelCut::bvNone;
  Panel->BevelInner = TBevelCut::bvNone;
  Panel->SetColor(clWhite);
  // A panel of the stack starts just below the view, where it waits for its
  // place without being shown first.
  Panel->SetBounds(0, parent && owner ? parent->ClientHeight() : 0, parent ? parent->ClientWidth() : 400,
                   DefaultHeight);
  // Shown only once it has its parent: a panel without one would be made a
  // window of its own first, only to be taken apart again.
  if (!parent) Panel->SetVisible(shown);
  Panel->SetParent(parent);
  if (parent) Panel->SetVisible(shown);

  Header = new TLabel(Panel);
  Header->Name = "lHeader" + n;
  Header->Tag = index;
  // One line of the header font, the same for every panel: measured once.
  static int fontLineHeight = 0;
  if (fontLineHeight > 0) Header->SetAutoSize(false);
  {
    TFont font;  // one change for the label instead of three
    font.Assign(Header->Font);
    font.SetName("Courier New");
    font.SetSize(10);
    font.SetColor(TEditorColors::Header);
    Header->Font.Assign(font);
  }
  Header->SetCursor(crVSplit);
  FCaption = caption;
  if (fontLineHeight <= 0) {
    Header->SetCaption("X");  // the auto-sized height of one line
    fontLineHeight = Header->Height();
  }
  const int headerHeight = std::max(fontLineHeight, 12);
  Header->SetAutoSize(false);
  Header->SetAlignment(TAlignment::taCenter);
  Header->SetBounds(0, 0, Panel->Width(), headerHeight);
  Header->SetAlign(TAlign::alTop);
  Header->SetParent(Panel);
  UpdateHeader();
  Header->OnMouseDown = [this](TObject*, TMouseButton b, TShiftState, int, int y) { Owner->HeaderMouseDown(this, b, y); };
  Header->OnMouseMove = [this](TObject*, TShiftState, int, int y) { Owner->HeaderMouseMove(this, y); };
  Header->OnMouseUp = [this](TObject*, TMouseButton, TShiftState, int, int) { Owner->HeaderMouseUp(this); };

  CollapseButton = new TCollapseButton(Panel);
  CollapseButton->Name = "sbCollapse" + n;
  CollapseButton->Tag = index;
  CollapseButton->SetBounds(Panel->Width() - headerHeight, 0, headerHeight, headerHeight);
  CollapseButton->SetParent(Panel);
  CollapseButton->OnClick = [this](TObject*) { SetCollapsed(!Collapsed); };

  {
    const int scheme = Settings.interface.view.syntax.scheme;
    if (Owner) {
      Highlighter = Owner->SchemeHighlighter(scheme);
      if (BuiltinSchemeResourceName(scheme)) SchemeIndex = scheme;
    } else {
      Highlighter = std::make_shared<TOndGenHighlighter>();
      if (LoadBuiltinScheme(*Highlighter, scheme)) SchemeIndex = scheme;
    }
  }
  SearchEngine = std::make_unique<TOndEditSearch>();
  RegexSearchEngine = std::make_unique<TOndEditRegexSearch>();

  Editor = new TOndEditor(Panel);
  Editor->Name = "sEdit" + n;
  Editor->Tag = index;
  {
    // The scroll bars and the caret follow the many settings once, at the end.
    Editor->BeginUpdate();
    const TScopeExit update([this] { Editor->EndUpdate(); });
    Editor->SetParent(Panel);
    ApplyEditorSettings(popupMenu);
    Editor->Lines()->Clear();
    Editor->UndoList()->Clear();
    Editor->RedoList()->Clear();
  }
  CollapseButton->BringToFront();

  Panel->OnResize = [this](TObject*) { PanelResized(); };
  Editor->OnChange = [this](TObject*) { EditorChange(); };
  Editor->OnClick = [this](TObject*) { EditorClick(); };
  Editor->OnStatusChange = [this](TObject*, TOndStatusChanges c) { EditorStatusChange(c); };
  Editor->OnKeyPress = [this](TObject*, char& key) { EditorKeyPress(key); };
  Editor->OnPaintTransient = [this](TObject*, TCanvas* c, TTransientType t) { EditorPaintTransient(c, t); };
  Editor->OnReplaceText = [this](TObject*, const std::string& s, const std::string& r, int line, int column,
                                 TOndReplaceAction& a) { EditorReplaceText(s, r, line, column, a); };
  Editor->OnScroll = [this](TObject*, TScrollBarKind) { EditorScroll(); };
  // The print command prints this panel's text under its caption.
  Editor->OnPrint = [this](TCustomOndEditor* Sender, char AChar, void* Data) {
    std::string failure;
    PrintEditorCommand(*Sender, AChar, Data, FCaption, &failure);
    // A job that could not start is told with the printer's reason.
    if (!failure.empty()) {
      if (Owner) Owner->TellStatus(spMessage, LangBound(failure));
      Application()->MessageBox(failure, "Ondrel", MB_OK | MB_ICONERROR);
    }
  };
  if (shown && Owner) ++Owner->VisibleCount;
}

void TEditor::SetSyntaxScheme(int Index) {
  if (SchemeIndex == Index) return;
  TOndCodeFolding& folding = Editor->CodeFolding();
  if (folding.GetEnabled()) folding.SetEnabled(false);
  Editor->SetHighlighter(nullptr);
  if (Owner) {
    Highlighter = Owner->SchemeHighlighter(Index);
  } else {
    Highlighter->Clear();
    LoadBuiltinScheme(*Highlighter, Index);
  }
  Editor->SetHighlighter(Highlighter.get());
  const auto& syntax = Settings.interface.view.syntax;
  if (syntax.codefolding && syntax.scheme >= 0) {
    folding.SetEnabled(true);
    Editor->RescanFoldRanges();
  }
  SchemeIndex = Index;
}

TEditor::~TEditor() {
  // A panel closing unseen is not scanned for folds on its way out.
  Editor->DropPostponedFoldScan();
  Editor->OnChange = nullptr;
  Editor->OnClick = nullptr;
  Editor->OnStatusChange = nullptr;
  Editor->OnKeyPress = nullptr;
  Editor->OnPaintTransient = nullptr;
  Editor->OnReplaceText = nullptr;
  Editor->OnScroll = nullptr;
  Editor->OnPrint = nullptr;
  // The text goes first: switching folding off narrows the gutter, and a
  // wrapped text would be laid out again for the new width on its way out.
  Editor->Lines()->Clear();
  Editor->CodeFolding().SetEnabled(false);
  Editor->SetHighlighter(nullptr);
  Editor->SetSearchEngine(nullptr);
  Panel->OnResize = nullptr;
  delete Panel;  // the editor, the button and the header go with it
}

void TEditor::ApplyEditorSettings(TPopupMenu* popupMenu) {
  const auto& view = Settings.interface.view;
  TOndEditor* e = Editor;
  e->SetPopupMenu(popupMenu);
  e->SetAlign(TAlign::alClient);
  e->SetBorderStyle(TBorderStyle::bsNone);
  e->SetColor(clWhite);
  TFont font;
  font.SetName("Courier New");
  font.SetSize(10);
  font.SetColor(TEditorColors::EditorFont);
  e->SetFont(font);

  e->ActiveLine().SetBackground(static_cast<TColor>(0xF5F5F5));
  e->ActiveLine().SetForeground(clBlack);
  e->ActiveLine().Indicator().SetVisible(false);
  e->ActiveLine().SetVisible(true);
  e->Background().SetVisible(false);
  e->LineDivider().SetVisible(false);
  e->RightEdge().SetVisible(false);
  e->ScrollBars().SetScrollBars(ssVertical);
  e->WantTabs = true;
  e->Lines()->TrimTrailingBlankLines = false;

  TOndCodeFolding& f = e->CodeFolding();
  f.SetCaseSensitive(false);
  f.SetCollapsedCodeHint(true);
  f.SetCollapsedLineColor(static_cast<TColor>(0xF0CAA6));
  f.SetShowCollapsedLine(true);
  f.SetCollapsingMarkStyle(msSquare);
  f.SetFolderBarColor(kBtnFace);
  f.SetFolderBarLinesColor(clBlack);
  f.SetHighlighterFoldRegions(true);
  f.SetIndentGuides(false);

  TOndGutter& g = e->Gutter();
  g.SetAutoSize(true);
  g.SetColor(kBtnFace);
  g.SetBorderColor(kBtnFace);
  g.SetGradientStartColor(clWindow);
  g.SetGradientEndColor(kBtnFace);
  g.SetGradientSteps(60);
  g.SetLeftOffset(0);
  g.SetRightOffset(4);
  g.SetLineNumberStart(1);
  g.SetDigitCount(3);
  g.SetLeadingZeros(false);
  g.SetLineModifiedColor(clLime);
  g.SetLineNormalColor(clWindow);
  TFont gutterFont;
  gutterFont.SetName("Courier New");
  gutterFont.SetSize(9);
  gutterFont.SetColor(TEditorColors::EditorFont);
  g.SetFont(gutterFont);

  e->SetOptions((e->GetOptions() & ~eoScrollPastEof) | eoRightMouseMovesCursor);
  ApplyViewSettings();

  e->SetSearchEngine(SearchEngine.get());
  e->SetHighlighter(Highlighter.get());
  // Folding follows its setting; the regions are the highlighter's, none
  // until a scheme is loaded.
  f.SetEnabled(view.syntax.codefolding);

  // A panel answers fewer keys than a bare editor; every panel shares the one
  // fixed table until its bindings are changed.
  static constexpr TOndKeyBinding kBindings[] = {
      {ecUp, VK_UP, 0},
      {ecSelUp, VK_UP, ssShift},
      {ecScrollUp, VK_UP, ssCtrl},
      {ecDown, VK_DOWN, 0},
      {ecSelDown, VK_DOWN, ssShift},
      {ecScrollDown, VK_DOWN, ssCtrl},
      {ecLeft, VK_LEFT, 0},
      {ecSelLeft, VK_LEFT, ssShift},
      {ecWordLeft, VK_LEFT, ssCtrl},
      {ecSelWordLeft, VK_LEFT, ssCtrl | ssShift},
      {ecRight, VK_RIGHT, 0},
      {ecSelRight, VK_RIGHT, ssShift},
      {ecWordRight, VK_RIGHT, ssCtrl},
      {ecSelWordRight, VK_RIGHT, ssCtrl | ssShift},
      {ecPageDown, VK_NEXT, 0},
      {ecSelPageDown, VK_NEXT, ssShift},
      {ecPageUp, VK_PRIOR, 0},
      {ecSelPageUp, VK_PRIOR, ssShift},
      {ecLineStart, VK_HOME, 0},
      {ecSelLineStart, VK_HOME, ssShift},
      {ecEditorTop, VK_HOME, ssCtrl},
      {ecLineEnd, VK_END, 0},
      {ecSelLineEnd, VK_END, ssShift},
      {ecEditorBottom, VK_END, ssCtrl},
      {ecToggleMode, VK_INSERT, 0},
      {ecPaste, VK_INSERT, ssShift},
      {ecCopy, VK_INSERT, ssCtrl},
      {ecDeleteChar, VK_DELETE, 0},
      {ecCut, VK_DELETE, ssShift},
      {ecDeleteLastChar, VK_BACK, 0},
      {ecLineBreak, VK_RETURN, 0},
      {ecLineBreak, VK_RETURN, ssShift},
      {ecTab, VK_TAB, 0},
      {ecShiftTab, VK_TAB, ssShift},
  };
  e->Keystrokes()->AssignFixed(kBindings);
}

void TEditor::ApplyViewSettings() {
  const auto& editors = Settings.interface.view.editors;
  TOndEditor* e = Editor;
  TOndGutter& g = e->Gutter();
  g.SetShowLineNumbers(editors.gutter.number);
  g.SetShowLineModified(editors.gutter.linemodified);
  g.SetVisible(editors.gutter.visible);
  e->WordWrap().SetEnabled(editors.wordwrap);
  e->WordWrap().Indicator().SetVisible(editors.gutter.wwglyph);
  TOndEditorOptions o = e->GetOptions();
  o = editors.specialcharacters ? (o | eoShowSpecialChars) : (o & ~eoShowSpecialChars);
  o = editors.freecaretmovement ? (o | eoScrollPastEol) : (o & ~eoScrollPastEol);
  e->SetOptions(o);
  // Paired brackets are read while painting.
  e->Invalidate();
}

int TEditor::HeaderHeight() const { return Header->Height(); }

void TEditor::SetCaption(const std::string& name) {
  FCaption = name;
  UpdateHeader();
}

void TEditor::UpdateHeader() {
  const std::string dashes(kHeaderDashes, '-');
  std::string middle = FCaption;
  if (LossyCount > 0) middle += " [" + IntToStr(static_cast<long long>(LossyCount)) + " " + Lang(leLossyRead) + "]";
  if (const std::string utf16 = Utf16ReadText(); !utf16.empty()) middle += " [" + utf16 + "]";
  if (!UnreadFile.empty() && Editor->GetReadOnly()) middle += " [" + UnreadText() + "]";
  Header->SetCaption(dashes + " " + middle + " " + dashes);
  Header->Font.SetStyle(Modified ? fsBold : 0);
  Header->Font.SetColor(Active ? TEditorColors::ActiveHeader : TEditorColors::Header);
}

void TEditor::PanelResized() {
  const int h = HeaderHeight();
  CollapseButton->SetBounds(Panel->Width() - h, 0, h, h);
  // A collapsed panel that was made taller by other means counts as expanded.
  if (Collapsed && !Busy && Editor->Height() > 0) {
    Collapsed = false;
    CollapseButton->SetImageIndex(0);
  }
}

std::string TEditor::EncodingName() const {
  switch (Encoding) {
    case 0:
      return "ANSI";
    case 1:
      return "Unicode";
    case 2:
      return "UTF-8";
    default:
      return "Unknown";
  }
}

std::string TEditor::CharCodeText() const {
  const TBufferCoord p = Editor->GetCaretXY();
  const std::string_view line = Editor->Lines()->GetView(p.Line - 1);
  if (p.Char < 1 || p.Char > static_cast<int>(line.size())) return "";
  const unsigned char c = static_cast<unsigned char>(line[static_cast<std::size_t>(p.Char - 1)]);
  return IntToHex(AnsiToWide(c), 2);
}

bool TEditor::LoadFromFile(const std::string& fileName, int kind) {
  if (kind < 0 || kind > 2) kind = 2;
  LastError.clear();
  std::string text;
  std::size_t replaced = 0;
  TDiskCopy copy;
  TByteFacts facts;
  try {
    // Reading names the reason when the file is missing or no file at all.
    text = LoadTextFile(fileName, EncodingOfKind(kind), &replaced, std::size_t{1} << 20, &copy, &facts);
  } catch (const Exception& e) {
    LastError = e.what();
    MarkUnread(fileName, e.ErrorNumber);
    return false;
  } catch (const std::exception& e) {
    LastError = e.what();
    MarkUnread(fileName, 0);
    return false;
  }
  LoadDecodedText(std::move(text), replaced, kind, &facts);
  DiskCopy = copy;
  return true;
}

void TEditor::LoadDecodedText(std::string&& text, std::size_t replaced, int kind, const TByteFacts* facts) {
  if (kind < 0 || kind > 2) kind = 2;
  LastError.clear();
  UnreadFile.clear();
  UnreadReason = 0;
  Editor->SetReadOnly(false);
  Encoding = static_cast<std::uint8_t>(kind);
  LossyCount = replaced;
  ReadFacts = facts ? *facts : TByteFacts();
  // Read one byte to a character, UTF-16 keeps every zero high byte of its
  // ASCII: the zeros come into the text, and a save would write them.
  const bool byteWide = kind != 1;
  ZeroBytesRead = byteWide && ReadFacts.ZeroBytes;
  Utf16MarkRead = byteWide ? ReadFacts.Utf16Mark : 0;
  {
    // The view settles once, after the text, the gutter and the folds: word
    // wrap then lays the text out once, for the width it keeps.
    Editor->BeginUpdate();
    const TScopeExit endUpdate([this] { Editor->EndUpdate(); });
    const bool folding = Editor->CodeFolding().GetEnabled();
    if (folding) Editor->CodeFolding().SetEnabled(false);
    // Read as a loaded file: no line counts as changed, and blank lines at the
    // end stay. The lines keep the text where it lies.
    TOndEditStringList* lines = Editor->Lines();
    lines->LoadFromString(std::move(text));
    // The split lines come unchanged; the empty one after a final line break
    // is added as new and is not.
    lines->SetModifiedState(lines->GetCount() - 1, 0);
    if (folding) {
      Editor->CodeFolding().SetEnabled(true);
      // Turning folding on finds nothing by itself: the loaded text is
      // scanned, once something needs its folds (a panel out of view may
      // never need them).
      Editor->RescanFoldRangesLater();
    }
  }
  Editor->SetCaretXY(BufferCoord(1, 1));
  // The new text came with a change of everything, which the caret's panels
  // do not follow: the caret's place is told here, or a reloaded panel would
  // show where the caret stood in the old text.
  if (Active && Owner) ShowCaretStatus();
  // A reload clears the modified state even when it was not set.
  Modified = true;
  SetModified(false);
  UpdateHeader();
}

void TEditor::MarkUnread(const std::string& fileName, int reason) {
  // The panel does not hold this file's text: saving it there would replace
  // what the file holds with whatever the panel has.
  UnreadFile = fileName;
  UnreadReason = reason;
  // When it is the panel's own file (not a backup being recovered), nothing
  // typed could ever be saved: the panel takes no typing, and says why.
  const bool own = !Owner || !Owner->Files || Index >= static_cast<int>(Owner->Files->size()) ||
                   SameFile(fileName, (*Owner->Files)[static_cast<std::size_t>(Index)]->FileName);
  Editor->SetReadOnly(own);
  UpdateHeader();
}

std::string TEditor::UnreadText() const {
  return LangFill(leUnreadPanel, {UnreadReasonText()});
}

std::string TEditor::UnreadReasonText() const {
  // Told from the reason's number, so that it follows the language.
  return UnreadReason != 0 ? LangReadReason(UnreadReason) : LastError;
}

bool TEditor::HoldsItsFile() const { return UnreadFile.empty() || !Editor->GetReadOnly(); }

std::string TEditor::NotHeldText(const std::string& fileName) const {
  if (HoldsItsFile()) return {};
  return LangFill(leUnreadNotSavedAs, {"\"" + Utf8ToAnsi(UnreadFile) + "\"", UnreadReasonText(),
                                       "\"" + Utf8ToAnsi(fileName) + "\""});
}

std::string TEditor::Utf16ReadText() const {
  const std::string action = LangMenuPath({leView, leCodePage, leFileUnicode});
  if (Utf16MarkRead != 0) return LangFill(leUtf16MarkRead, {action});
  return ZeroBytesRead ? LangFill(leZeroBytesRead, {action}) : std::string();
}

bool TEditor::HoldsZeroBytes() const {
  if (!ZeroBytesRead) return false;
  // The lines of collapsed folds count too.
  const std::string text = Editor->GetEditorText();
  return text.find('\0') != std::string::npos;
}

std::string TEditor::TextToSave() const {
  // The lines of collapsed folds are not in the buffer: take the text with
  // every fold expanded, or they would be lost from the file.
  std::string text = Editor->GetEditorText();
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) text.resize(text.size() - 2);
  return text;
}

bool TEditor::SaveToFile(const std::string& fileName, bool asCopy) {
  const TWriteResult r = WriteTo(fileName, "", nullptr);
  if (!r.Ok()) {
    // Our own half-write is no change by another program.
    if (r.Touched && !asCopy) DiskCopy = r.Written;
    return false;
  }
  if (!asCopy) Saved(r.Written);
  return true;
}

TWriteResult TEditor::WriteTo(const std::string& fileName, const std::string& backupName, const TDiskCopy* expected,
                             bool inPlaceWithoutCopy) {
  LastError.clear();
  TWriteResult r;
  if (!UnreadFile.empty() && SameFile(fileName, UnreadFile)) {
    r.Reason = LastError = LangFill(leUnreadNotSaved, {Utf8ToAnsi(fileName)});
    return r;
  }
  // A panel without its file's text would write whatever it shows (nothing,
  // or the text before the failed read) as that file's under a new name.
  if (!HoldsItsFile()) {
    r.Reason = LastError = NotHeldText(fileName);
    return r;
  }
  try {
    const std::string dir = ExtractFileDir(fileName);
    if (!dir.empty() && !ForceFolders(dir)) {
      const int err = errno;
      r.Reason = LastError = LangFill(leCannotCreateFolder, {"\"" + Utf8ToAnsi(dir) + "\"", SystemErrorText(err)});
      return r;
    }
    const std::string bytes = EncodeText(TextToSave(), TEncoding::UTF8());
    FWrittenFacts = FactsOfBytes(bytes);
    TFileWrite request;
    request.FileName = fileName;
    request.Data = bytes;
    request.BackupName = backupName;
    request.Expected = expected;
    request.UserFile = true;
    request.InPlaceWithoutCopy = inPlaceWithoutCopy;
    r = WriteFileSafely(request);
  } catch (const std::exception& e) {
    r = TWriteResult();
    r.Reason = e.what();
  }
  if (r.Outcome == TWriteOutcome::Failed || r.Outcome == TWriteOutcome::BackupFailed ||
      r.Outcome == TWriteOutcome::NoSafetyCopy)
    LastError = r.Reason;
  return r;
}

void TEditor::Saved(const TDiskCopy& written) {
  DiskCopy = written;
  ReadFacts = FWrittenFacts;
  // The file holds what the user chose to write now: nothing more to warn of.
  ZeroBytesRead = false;
  Utf16MarkRead = 0;
  // What is on disk now is UTF-8: reopening it must read it as such.
  Encoding = 2;
  if (Active && Owner) Owner->SetStatus(spEncoding, EncodingName());
  SetModified(false);
}

void TEditor::RememberBackup(const std::string& backupName, bool holdsTheFileRead) {
  // A backup of a file changed by someone else since it was read is in an
  // encoding nobody here knows. The bytes are told by their facts, not by the
  // backup's place on disk: another program may have written the file between
  // the check and the copy, or replace the backup later, within the same tick
  // of the file times and with the same size.
  FBackup = {backupName, ReadFacts, holdsTheFileRead ? EncodingOfKind(Encoding) : nullptr};
}

TEncoding* TEditor::BackupEncoding(const std::string& backupName, std::string_view bytes) const {
  if (!FBackup.Encoding || FBackup.Name != backupName) return nullptr;
  return FBackup.Bytes.SameBytes(FactsOfBytes(bytes)) ? FBackup.Encoding : nullptr;
}

bool TEditor::LoadBackup(const std::string& backupName, std::string& problem) {
  problem.clear();
  const std::string shown = "\"" + Utf8ToAnsi(backupName) + "\"";
  // What stands at the name itself, links not followed: the program makes
  // its backups as plain files, so a link there was planted, and reading
  // through it would bring another file into the set.
  struct stat at {};
  if (::lstat(backupName.c_str(), &at) != 0) {
    const int err = errno;
    problem = LangFill(leBackupNotLoaded, {LangFill(leCannotOpenFile, {shown, SystemErrorText(err)})});
    return false;
  }
  if (S_ISLNK(at.st_mode)) {
    problem = LangFill(leBackupNotLoaded, {LangFill(leBackupIsLink, {shown})});
    return false;
  }
  if (!S_ISREG(at.st_mode)) {
    const std::string reason = S_ISDIR(at.st_mode) ? SystemErrorText(EISDIR) : Lang(leNotRegularFile);
    problem = LangFill(leBackupNotLoaded, {LangFill(leCannotOpenFile, {shown, reason})});
    return false;
  }
  std::string bytes;
  TDiskCopy read;
  try {
    bytes = ReadFileText(backupName, MaxTextFileSize, &read);
  } catch (const std::exception& e) {
    problem = LangFill(leBackupNotLoaded, {e.what()});
    return false;
  }
  // A link put there while the name was looked at leads elsewhere: the file
  // read must be the one found at the name.
  if (read.Device != static_cast<std::uint64_t>(at.st_dev) || read.Inode != static_cast<std::uint64_t>(at.st_ino)) {
    problem = LangFill(leBackupNotLoaded, {LangFill(leBackupIsLink, {shown})});
    return false;
  }
  TEncoding* encoding = DetectBackupEncoding(bytes, BackupEncoding(backupName, bytes));
  if (!encoding) {
    // Read as UTF-8 or code page 1251 its zero bytes would come into the
    // text and, on the next save, into the file.
    problem = LangFill(leBackupUndecodable, {Utf8ToAnsi(backupName)});
    return false;
  }
  // The panel's encoding, disk copy and facts stay those of its own file,
  // which reopening reads and saving compares with.
  const TDiskCopy own = DiskCopy;
  const TByteFacts ownFacts = ReadFacts;
  const std::uint8_t fileEncoding = Encoding;
  std::size_t replaced = 0;
  LoadDecodedText(DecodeBuffer(std::move(bytes), encoding, &replaced), replaced, fileEncoding);
  DiskCopy = own;
  ReadFacts = ownFacts;
  // The text differs from the file on disk now.
  SetModified(true);
  return true;
}

bool TEditor::UndoSaysModified() const {
  return Editor->UndoList()->HasRecords() || Editor->UndoList()->GetRecordsDropped();
}

void TEditor::SetShown(bool value) {
  if (Shown == value || !Owner) return;
  TEditors& o = *Owner;
  TScrollBar* bar = o.ScrollBar;
  if (value) {
    if (o.VisibleCount == 1) {
      // The only visible panel stops filling the box; this one joins below or above it.
      TEditor* first = o.Item(o.FirstVisible());
      first->Panel->SetAlign(TAlign::alNone);
      first->Panel->SetBounds(0, 0, o.ScrollBox->ClientWidth(), first->Panel->Height());
      if (bar) bar->SetPosition(0);
      int top = 0;
      if (first->Index < Index) top = first->Panel->Height();
      else first->Panel->SetTop(Panel->Height());
      Panel->SetBounds(0, top, o.ScrollBox->ClientWidth(), Panel->Height());
      if (bar && Settings.interface.view.mainscroll.scrollbar.visible) bar->Show();
    } else {
      int top = 0;
      for (int i = 0; i < Index; ++i)
        if (TEditor* e = o.Item(i); e && e->Shown) top += e->Panel->Height();
      if (bar && bar->GetVisible()) top -= bar->GetPosition();
      Panel->SetBounds(0, top, o.ScrollBox->ClientWidth(), Panel->Height());
      o.MoveLater(Index, Panel->Height());
    }
    Shown = true;
    Panel->Show();
    ++o.VisibleCount;
  } else {
    if (o.VisibleCount <= 1) return;
    Shown = false;
    Panel->Hide();
    --o.VisibleCount;
    if (o.VisibleCount == 1) {
      TEditor* only = o.Item(o.FirstVisible());
      only->Panel->SetAlign(TAlign::alClient);
      if (bar) {
        bar->SetPosition(0);
        bar->Hide();
      }
    } else {
      o.MoveLater(Index, -Panel->Height());
      o.CorrectOverscroll();
    }
    if (o.ActiveIndex == Index) SetActive(false);
  }
  o.UpdateScrollMax();
}

void TEditor::SetHeight(int height) {
  if (!Owner) return;
  height = std::max(height, HeaderHeight());
  const int d = height - Panel->Height();
  if (d == 0) return;
  Panel->SetHeight(height);
  if (Shown) {
    Owner->MoveLater(Index, d);
    if (d < 0) Owner->CorrectOverscroll();
  }
  Owner->UpdateScrollMax();
}

void TEditor::SetCollapsed(bool value) {
  if (Collapsed == value || !Owner) return;
  if (value && Owner->VisibleCount <= 1) return;
  Busy = true;
  if (value) {
    SavedHeight = Panel->Height();
    const int d = HeaderHeight() - SavedHeight;
    Panel->SetHeight(HeaderHeight());
    Owner->MoveLater(Index, d);
    Owner->CorrectOverscroll();
    // The last panel may have grown back to fill the view: then it is not collapsed.
    if (Panel->Height() <= HeaderHeight()) {
      Collapsed = true;
      CollapseButton->SetImageIndex(1);
    }
  } else {
    const int target = std::max(SavedHeight, Panel->Height());
    const int d = target - Panel->Height();
    Panel->SetHeight(target);
    Owner->MoveLater(Index, d);
    Collapsed = false;
    CollapseButton->SetImageIndex(0);
  }
  Owner->UpdateScrollMax();
  Busy = false;
}

void TEditor::SetModified(bool value) {
  if (Modified == value) return;
  Modified = value;
  if (!Owner) return;
  if (value) {
    Owner->Modified = true;
    if (Owner->ActiveIndex == Index) Owner->SetStatus(spFileState, Lang(leModified));
  } else {
    Editor->UndoList()->Clear();
    Editor->SetModified(false);
    // With no panel modified there is nothing to look for: the panels of a
    // set loading do not each walk all the others.
    if (Owner->Modified) Owner->UpdateModified();
    if (Owner->ActiveIndex == Index) Owner->SetStatus(spFileState, "");
  }
  UpdateHeader();
  if (Owner->Tree) Owner->Tree->Invalidate();
}

void TEditor::SetActive(bool value) {
  if (!Owner) return;
  for (auto& e : Owner->Items)
    if (e && e->Active) {
      e->Active = false;
      e->UpdateHeader();
    }
  Owner->ActiveIndex = -1;
  if (value) {
    Active = true;
    Owner->ActiveIndex = Index;
    UpdateHeader();
  }
}

void TEditor::EditorChange() { SetModified(UndoSaysModified()); }

std::string TEditor::FileStatusText() const {
  std::string name;
  if (Owner && Owner->Files && Index < static_cast<int>(Owner->Files->size()))
    name = Utf8ToAnsi((*Owner->Files)[static_cast<std::size_t>(Index)]->FileName);
  if (LossyCount > 0) name += ": " + IntToStr(static_cast<long long>(LossyCount)) + " " + Lang(leLossyRead);
  if (const std::string utf16 = Utf16ReadText(); !utf16.empty()) name += ": " + utf16;
  if (!UnreadFile.empty() && Editor->GetReadOnly()) name += ": " + UnreadText();
  return name;
}

void TEditor::EditorClick() {
  if (!Owner) return;
  if (!Active) SetActive(true);
  if (Owner->Tree) Owner->Tree->Invalidate();
  FileStatusTold = FileStatusText();
  Owner->SetStatus(spMessage, FileStatusTold);
  Owner->SetStatus(spEncoding, EncodingName());
  Owner->SetStatus(spFileState, Modified ? Lang(leModified) : std::string());
  Owner->SetStatus(spEditMode, LangEditMode(Editor->GetInsertMode() ? EditModeInsert : EditModeOverwrite));
}

void TEditor::EditorStatusChange(TOndStatusChanges changes) {
  if (!Owner) return;
  if ((changes & (StatusCaretChar | StatusCaretLine)) && !(changes & StatusAll)) ShowCaretStatus();
  if (changes & StatusInsertMode)
    Owner->SetStatus(spEditMode, LangEditMode(Editor->GetInsertMode() ? EditModeInsert : EditModeOverwrite));
}

void TEditor::ShowCaretStatus() {
  const TBufferCoord p = Editor->GetCaretXY();
  char buf[32];
  // The line as the gutter numbers it: the file's, whatever folds hide.
  std::snprintf(buf, sizeof buf, "%3d:%3d", Editor->FileLine(p.Line), p.Char);
  Owner->SetStatus(spCaret, buf);
  Owner->SetStatus(spCharCode, CharCodeText());
}

void TEditor::EditorKeyPress(char&) {
  // In line or column mode a selected character would stand for whole lines
  // or a block; the editor overwrites the character at the caret itself.
  if (Editor->GetInsertMode() || Editor->SelAvail() || Editor->GetSelectionMode() != smNormal) return;
  const TBufferCoord p = Editor->GetCaretXY();
  const std::string_view line = Editor->Lines()->GetView(p.Line - 1);
  if (p.Char >= 1 && p.Char <= static_cast<int>(line.size())) Editor->SetSelLength(1);
}

void TEditor::EditorPaintTransient(TCanvas* canvas, TTransientType type) {
  // The lines of a pair that comes or goes are painted again, and no others.
  auto repaint = [this] {
    if (BracketAt.Line > 0) Editor->InvalidateLine(BracketAt.Line);
    if (BracketPartner.Line > 0) Editor->InvalidateLine(BracketPartner.Line);
  };
  auto forget = [this, &repaint] {
    repaint();
    BracketAt = BracketPartner = TBufferCoord{0, 0};
  };
  // With a selection no pair is shown.
  if (!Highlighter || !Settings.interface.view.syntax.pairedbrackets || Editor->SelAvail()) {
    forget();
    return;
  }
  TBufferCoord at = Editor->GetCaretXY();
  // The editor's own matching knows the highlighter's strings and comments.
  // In a long text a far partner comes later: the lines are painted again
  // once it is known.
  bool known = true;
  TBufferCoord partner = Editor->MatchingBracketSoon(at, known);
  if (known && partner.Line == 0 && at.Char >= 2) {
    at.Char -= 1;
    partner = Editor->MatchingBracketSoon(at, known);
  }
  if (partner.Line == 0) at = TBufferCoord{0, 0};
  if (!(at == BracketAt) || !(partner == BracketPartner)) {
    forget();
    BracketAt = at;
    BracketPartner = partner;
    repaint();
  }
  // Outside a paint (no canvas) nothing is drawn.
  if (!canvas || type != ttAfter || BracketAt.Line == 0 || BracketPartner.Line == 0) return;
  TFont font;
  font.Assign(Editor->DrawingFont());
  font.SetStyle(fsBold);
  font.SetColor(clRed);
  canvas->Font.Assign(font);
  canvas->Brush.Color = clAqua;
  for (const TBufferCoord& p : {BracketAt, BracketPartner}) {
    const std::string_view line = Editor->Lines()->GetView(p.Line - 1);
    if (p.Char < 1 || p.Char > static_cast<int>(line.size())) continue;
    const char c = line[static_cast<std::size_t>(p.Char - 1)];
    if (!IsBracket(c)) continue;
    const TPoint px = Editor->RowColumnToPixels(Editor->BufferToDisplayPos(p));
    canvas->TextOut(px.X, px.Y, std::string(1, c));
  }
}

void TEditor::EditorReplaceText(const std::string& search, const std::string& replace, int line, int column,
                                TOndReplaceAction& action) {
  if (!Owner) return;
  if (search == replace) {
    action = raCancel;
    return;
  }
  if (Owner->ReplaceAnswer == raCancel || Owner->ReplaceAnswer == raReplaceAll) {
    ReplaceAnswer = Owner->ReplaceAnswer;
  } else {
    if (!Active) {
      if (Collapsed) SetCollapsed(false);
      if (Owner->OnScrollToEditor) Owner->OnScrollToEditor(Index);
      SetActive(true);
      EditorClick();
      if (Editor->CanFocus()) Editor->SetFocus();
      Application()->ProcessMessages();
    }
    const TPoint px = Editor->RowColumnToPixels(Editor->BufferToDisplayPos(BufferCoord(column, line)));
    const TPoint topLeft = Editor->ClientToScreen(px);
    const TRect match = Rect(topLeft.X, topLeft.Y, topLeft.X + Editor->GetCharWidth(),
                             topLeft.Y + Editor->GetLineHeight());
    ReplaceAnswer = Owner->AskReplace(this, match);
    if (ReplaceAnswer < raReplace) --Owner->ReplaceCount;
  }
  action = ReplaceAnswer;
}

void TEditor::EditorScroll() {
  if (!Owner || Owner->VisibleCount < 2) return;
  const int method = Settings.interface.view.mainscroll.activationmethod;
  // The modifier keys held now, wherever the focus was when they went down.
  const TShiftState held = TControl::KeyboardState();
  if ((method == 0 && (held & ssShift)) || (method == 1 && (held & ssCtrl)))
    if (Owner->ScrollBox->CanFocus()) Owner->ScrollBox->SetFocus();
}

// ---- the stack -------------------------------------------------------------------

TEditors::TEditors(TFiles* files, TPopupMenu* popupMenu, TScrollBar* scrollBar, TStatusBarEx* statusBar,
                   TCheckTreeViewEx* tree, TScrollBox* scrollBox)
    : ScrollBox(scrollBox), Tree(tree), ScrollBar(scrollBar), StatusBar(statusBar), PopupMenu(popupMenu),
      Files(files) {
  // Only the panels in view hold shown windows: opening a big set shows,
  // polishes and paints a screenful, not every panel.
  if (ScrollBox) ScrollBox->SetHideChildrenOutOfView(true);
}

TEditors::~TEditors() {
  while (!Items.empty()) Items.pop_back();
}

TEditor* TEditors::Item(int index) const {
  if (index < 0 || index >= static_cast<int>(Items.size())) return nullptr;
  return Items[static_cast<std::size_t>(index)].get();
}

std::shared_ptr<TOndGenHighlighter> TEditors::SchemeHighlighter(int index) {
  if (!BuiltinSchemeResourceName(index)) index = -1;
  std::shared_ptr<TOndGenHighlighter>& h = FSchemeHighlighters[index];
  if (!h) {
    h = std::make_shared<TOndGenHighlighter>();
    LoadBuiltinScheme(*h, index);
  }
  return h;
}

TEditor* TEditors::AddSingleEditor(int index, const std::string& caption) {
  if (static_cast<int>(Items.size()) <= index) Items.resize(static_cast<std::size_t>(index) + 1);
  auto e = std::make_unique<TEditor>(this, true, caption, index, PopupMenu, ScrollBox);
  e->Panel->SetAlign(TAlign::alClient);
  Items[static_cast<std::size_t>(index)] = std::move(e);
  Count = static_cast<int>(Items.size());
  return Item(index);
}

TEditor* TEditors::AddEditor(int index, const std::string& caption, bool shown) {
  if (static_cast<int>(Items.size()) <= index) Items.resize(static_cast<std::size_t>(index) + 1);
  Items[static_cast<std::size_t>(index)] = std::make_unique<TEditor>(this, shown, caption, index, PopupMenu, ScrollBox);
  Count = static_cast<int>(Items.size());
  if (shown) {
    const int view = ScrollBox->ClientHeight();
    const int byView = VisibleCount > 0 ? static_cast<int>(Round(static_cast<double>(view) / VisibleCount)) : view;
    const int h = byView >= TEditor::DefaultHeight ? byView : TEditor::DefaultHeight;
    const int width = ScrollBox->ClientWidth();
    auto place = [&](TEditor& e, int k) {
      if (e.Panel->GetAlign() != TAlign::alNone) e.Panel->SetAlign(TAlign::alNone);
      const TRect want = Bounds(0, h * k, width, h);
      if (e.Panel->BoundsRect() != want) e.Panel->SetBounds(want.Left, want.Top, want.Right - want.Left, h);
    };
    // When the panels before stand as the last placement left them (the same
    // height, the stack unmoved), only the new last one is placed: filling a
    // set stays linear in its size.
    const TEditor* first = Item(FirstVisible());
    const TEditor* before = Item(PreviousVisible(index));
    if (h == FPlacedHeight && LastVisible() == index && before && first->Panel->Top() == 0 &&
        before->Panel->Top() == h * (VisibleCount - 2) && before->Panel->Height() == h) {
      place(*Item(index), VisibleCount - 1);
    } else {
      int k = 0;
      for (auto& e : Items)
        if (e && e->Shown) place(*e, k++);
      FPlacedHeight = h;
    }
    if (ScrollBar && VisibleCount > 1 && !ScrollBar->GetVisible() &&
        Settings.interface.view.mainscroll.scrollbar.visible)
      ScrollBar->Show();
    if (VisibleCount == 1) Item(index)->Panel->SetAlign(TAlign::alClient);
    // Every visible panel is h high now: the stack's height needs no walk.
    UpdateScrollMax(h * VisibleCount);
  }
  return Item(index);
}

void TEditors::AddRootNode(const std::string& caption) {
  // The first node tells an empty tree without counting every node.
  if (!Tree || Tree->Items()->GetFirstNode()) return;
  TTreeNode* root = Tree->Items()->Add(nullptr, caption);
  root->SetStateIndex(-1);
}

void TEditors::AddChildNode(const std::string& caption, bool shown) {
  TTreeNode* root = Tree ? Tree->Items()->GetFirstNode() : nullptr;
  if (!root) return;
  TTreeNode* node = Tree->Items()->AddChild(root, caption);
  node->SetStateIndex(shown ? 2 : 1);
}

int TEditors::TotalHeight() const {
  int h = 0;
  for (const auto& e : Items)
    if (e && e->Shown) h += e->Panel->Height();
  return h;
}

int TEditors::ScrollRange() const { return TotalHeight() - ScrollBox->ClientHeight(); }

bool TEditors::Overscrolled() const { return ScrollRange() - (ScrollBar ? ScrollBar->GetPosition() : 0) < 0; }

int TEditors::FirstVisible() const {
  for (std::size_t i = 0; i < Items.size(); ++i)
    if (Items[i] && Items[i]->Shown) return static_cast<int>(i);
  return -1;
}

int TEditors::LastVisible() const {
  for (std::size_t i = Items.size(); i-- > 0;)
    if (Items[i] && Items[i]->Shown) return static_cast<int>(i);
  return -1;
}

int TEditors::PreviousVisible(int index) const {
  for (int i = std::min(index, static_cast<int>(Items.size())) - 1; i >= 0; --i)
    if (Items[static_cast<std::size_t>(i)] && Items[static_cast<std::size_t>(i)]->Shown) return i;
  return -1;
}

void TEditors::SetWidth(int width) {
  for (auto& e : Items)
    if (e && e->Panel->GetAlign() != TAlign::alClient) e->Panel->SetWidth(width);
}

void TEditors::Show() {
  ScrollBox->Show();
  if (ScrollBox->CanFocus() && !ScrollBox->Focused()) ScrollBox->SetFocus();
  if (Tree) Tree->FullExpand();
}

void TEditors::Hide() {
  ScrollBox->Hide();
  if (ScrollBar) ScrollBar->Hide();
  if (Tree) Tree->Items()->Clear();
}

void TEditors::UpdateScrollMax() { UpdateScrollMax(-1); }

void TEditors::UpdateScrollMax(int totalHeight) {
  if (!ScrollBar) return;
  if (VisibleCount < 2) {
    ScrollBar->SetParams(0, 0, 0);
    return;
  }
  const int range = totalHeight < 0 ? ScrollRange() : totalHeight - ScrollBox->ClientHeight();
  const int max = std::max(0, range);
  ScrollBar->SetParams(std::min(ScrollBar->GetPosition(), max), 0, max);
}

void TEditors::UpdateModified() {
  Modified = std::any_of(Items.begin(), Items.end(), [](const auto& e) { return e && e->Modified; });
}

void TEditors::MoveLater(int index, int dy) {
  if (dy == 0) return;
  for (std::size_t i = static_cast<std::size_t>(index) + 1; i < Items.size(); ++i)
    if (Items[i] && Items[i]->Shown) Items[i]->Panel->SetTop(Items[i]->Panel->Top() + dy);
}

void TEditors::FillLastPanel() {
  if (VisibleCount < 2) return;
  TEditor* last = Item(LastVisible());
  const int bottom = last->Panel->Top() + last->Panel->Height();
  const int view = ScrollBox->ClientHeight();
  if (bottom < view) last->Panel->SetHeight(view - last->Panel->Top());
}

void TEditors::CorrectOverscroll() {
  if (VisibleCount < 2 || !ScrollBar) return;
  const int position = ScrollBar->GetPosition();
  if (ScrollRange() - position < 0) {
    const int target = std::max(0, ScrollRange());
    const int shift = position - target;  // the content moves down by this much
    ScrollBox->ScrollBy(0, shift);
    ScrollBar->SetParams(target, 0, std::max(ScrollBar->GetMax(), target));
  }
  FillLastPanel();
}

TStackLayout TEditors::Layout() const {
  TStackLayout l;
  l.ViewHeight = ScrollBox->ClientHeight();
  l.Position = ScrollBar ? ScrollBar->GetPosition() : 0;
  l.Max = ScrollBar ? ScrollBar->GetMax() : 0;
  for (const auto& e : Items) {
    TStackLayout::TPanelBox b;
    if (e) {
      b.Top = e->Panel->Top();
      b.Height = e->Panel->Height();
      b.HeaderHeight = e->HeaderHeight();
      b.Visible = e->Shown;
    } else {
      b.Visible = false;
    }
    l.Panels.push_back(b);
  }
  return l;
}

void TEditors::ApplyLayout(const TStackLayout& l) {
  for (std::size_t i = 0; i < Items.size() && i < l.Panels.size(); ++i) {
    TEditor* e = Items[i].get();
    if (!e || !e->Shown || e->Panel->GetAlign() == TAlign::alClient) continue;
    const TStackLayout::TPanelBox& b = l.Panels[i];
    if (e->Panel->Top() != b.Top || e->Panel->Height() != b.Height)
      e->Panel->SetBounds(0, b.Top, e->Panel->Width(), b.Height);
  }
  if (ScrollBar) ScrollBar->SetParams(std::clamp(l.Position, 0, std::max(0, l.Max)), 0, std::max(0, l.Max));
}

void TEditors::SetStatus(int panel, const std::string& text) {
  if (StatusBar && panel < StatusBar->Panels()->Count()) StatusBar->Panels()->Items(panel)->SetText(text);
}

void TEditors::TellStatus(int panel, std::function<std::string()> compose) {
  if (StatusBar && panel < StatusBar->Panels()->Count()) StatusBar->Panels()->Items(panel)->Tell(std::move(compose));
}

void TEditors::ApplySettings() {
  for (auto& panel : Items)
    if (panel) panel->ApplyViewSettings();
}

void TEditors::HeaderMouseDown(TEditor*, TMouseButton button, int y) {
  if (button != TMouseButton::mbLeft) return;
  Resizing = true;
  StartY = y;
}

void TEditors::HeaderMouseMove(TEditor* editor, int y) {
  if (VisibleCount > 1 && Settings.interface.view.mainscroll.activationmethod == 2 && ScrollBox->CanFocus() &&
      !ScrollBox->Focused())
    ScrollBox->SetFocus();
  if (!Resizing || !editor || editor->Index <= 0) return;
  const int prev = PreviousVisible(editor->Index);
  if (prev < 0) return;
  TEditor* p = Item(prev);
  const int d = y - StartY;
  if (d == 0 || p->Panel->Height() + d < p->HeaderHeight()) return;
  p->Panel->SetHeight(p->Panel->Height() + d);
  for (std::size_t i = static_cast<std::size_t>(editor->Index); i < Items.size(); ++i)
    if (Items[i] && Items[i]->Shown) Items[i]->Panel->SetTop(Items[i]->Panel->Top() + d);
  if (d < 0 && Overscrolled()) {
    TEditor* last = Item(LastVisible());
    last->Panel->SetHeight(last->Panel->Height() - d);
  }
  ScrollBox->Invalidate();
}

void TEditors::HeaderMouseUp(TEditor* editor) {
  Resizing = false;
  if (editor && editor->Index > 0) UpdateScrollMax();
}

TOndReplaceAction TEditors::AskReplace(TEditor* editor, const TRect& match) {
  if (OnAskReplace) return OnAskReplace(editor, match);
  TConfirmReplaceDialog dlg(nullptr);
  const TRect mainRect = MainForm ? MainForm->BoundsRect() : Rect(0, 0, 1130, 675);
  dlg.PrepareShow(mainRect, match.Left, match.Bottom, match.Top);
  switch (dlg.ShowModal()) {
    case IDYES:
      return raReplace;
    case IDNO:
      return raSkip;
    case TConfirmReplaceDialog::mrYesToAll:
      return raReplaceAll;
    default:
      return raCancel;
  }
}

}  // namespace ond
