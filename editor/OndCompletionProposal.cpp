#include "editor/OndCompletionProposal.h"

#include <algorithm>

#include "editor/OndCompletionProposalForm.h"
#include "editor/OndEdit.h"
#include "platform/ExtCtrls.h"

namespace ond {

namespace {

// Widths are measured on a one-pixel picture: only its font matters.
struct TMeasureCanvas {
  explicit TMeasureCanvas(const TFont& Font) : Picture(1, 1) { Picture.Canvas()->Font.Assign(Font); }
  TCanvas& Canvas() { return *Picture.Canvas(); }
  TBitmap Picture;
};

}  // namespace

// ---- the pop-up and its properties ------------------------------------------

TOndBaseCompletionProposal::TOndBaseCompletionProposal(TComponent* Owner) : TComponent(Owner) {
  FFont.SetName("MS Sans Serif");
  FFont.SetSize(8);
  FTitleFont.SetName("MS Sans Serif");
  FTitleFont.SetSize(8);
  FTitleFont.SetColor(clBtnText);
  FList.Options = FOptions;
}

TOndBaseCompletionProposal::~TOndBaseCompletionProposal() {
  BeginDestroy();
  if (FForm) FForm->OnAway = nullptr;
}

void TOndBaseCompletionProposal::SetFont(const TFont& Value) {
  FFont.Assign(Value);
  if (FForm) FForm->Invalidate();
}

void TOndBaseCompletionProposal::SetClBackground(TColor Value) {
  FClBackground = Value;
  if (FForm) FForm->Invalidate();
}

void TOndBaseCompletionProposal::SetItemHeight(int Value) {
  FItemHeight = Value;
  if (FForm) FForm->Invalidate();
}

void TOndBaseCompletionProposal::SetDefaultType(OndCompletionType Value) {
  FDefaultType = Value;
  SetDisplayType(Value);
}

int TOndBaseCompletionProposal::FontHeight() const {
  TMeasureCanvas m(FFont);
  return m.Canvas().TextHeight("CompletionProposal");
}

int TOndBaseCompletionProposal::EffectiveItemHeight() const {
  return FItemHeight > 0 ? FItemHeight : std::max(1, FontHeight());
}

std::string TOndBaseCompletionProposal::DisplayLine(int Index) const {
  const std::string item = FItemList.Get(Index);
  return FDisplayType == ctParams ? FormatParamsItem(item, ParamIndex) : item;
}

bool TOndBaseCompletionProposal::Visible() const { return FForm && FForm->GetVisible(); }

void TOndBaseCompletionProposal::ScrollListBy(int Lines) { ScrollListTo(FList.TopItem() + Lines); }

void TOndBaseCompletionProposal::ScrollListTo(int Top) {
  FList.VisibleLines = std::max(1, NbLinesInWindow);
  FList.ScrollTo(Top);
  ListMoved();
}

void TOndBaseCompletionProposal::ListMoved() {
  if (!FForm) return;
  FForm->SyncScrollBar();
  FForm->Invalidate();
}

int TOndBaseCompletionProposal::TitleHeight() const {
  if (Title.empty()) return 0;
  TMeasureCanvas title(FTitleFont);
  return title.Canvas().TextHeight(Title) + 2;
}

void TOndBaseCompletionProposal::SetCurrentString(std::string Value) {
  FCurrentString = std::move(Value);
  FList.Options = FOptions;
  FList.VisibleLines = NbLinesInWindow;
  FList.Filter(FCurrentString);
  ListMoved();
  if (OnChange) OnChange(this);
}

void TOndBaseCompletionProposal::ExecuteEx(const std::string& S, int X, int Y, OndCompletionType Kind) {
  std::string input = S;
  if (OnExecute) {
    bool canExecute = true;
    OnExecute(Kind, this, input, X, Y, canExecute);
    if (!canExecute) return;
  }
  SetDisplayType(Kind);
  if (FItemList.GetCount() == 0) {
    if (Kind == ctParams && Visible()) CancelCompletion();
    return;
  }
  FList.Items.clear();
  FList.InsertItems.clear();
  for (int i = 0; i < FItemList.GetCount(); ++i) FList.Items.push_back(FItemList.Get(i));
  for (int i = 0; i < FInsertList.GetCount(); ++i) FList.InsertItems.push_back(FInsertList.Get(i));
  SetCurrentString(input);
  PlaceAndShow(X, Y);
}

void TOndBaseCompletionProposal::PlaceAndShow(int X, int Y) {
  if (!FForm) {
    FForm = std::make_unique<TOndBaseCompletionProposalForm>(*this);
    FForm->OnAway = [this](TObject*) { CancelCompletion(); };
  }
  const TRect screen = TPopupWindow::ScreenRectAt(TPoint{X, Y});
  const int itemHeight = EffectiveItemHeight();
  TSize size;
  if (FDisplayType == ctCode) {
    // The frame goes round the items and the title on both sides.
    size = TSize{Width, CodeListHeight(NbLinesInWindow, itemHeight, TitleHeight(), CodeListFrame())};
  } else {
    // A line wider than the screen shows only in part: measuring stops there.
    const int maxWidth = screen.IsEmpty() ? MaxFormatHSpace : screen.Width();
    TMeasureCanvas m(FFont);
    TCanvasFormatSurface surface(m.Canvas(), Images);
    int widest = 0;
    for (int i = 0; i < FItemList.GetCount(); ++i)
      widest = std::max(widest, FormattedLineWidth(DisplayLine(i), surface, Columns, maxWidth));
    size = HintSize(FItemList.GetCount(), itemHeight, widest, Margin);
  }
  const TPoint at = screen.IsEmpty() ? TPoint{X, Y} : PlaceOnScreen(TPoint{X, Y}, size, screen);
  // A hint draws its own frame.
  FForm->ShowFramed(Bounds(at.X, at.Y, size.cx, size.cy), FDisplayType == ctCode ? CodeListFrame() : 0);
}

void TOndBaseCompletionProposal::CancelCompletion() {
  if (FForm) FForm->Hide();
  if (OnCancel) OnCancel(this);
  if (OnClose) OnClose(this);
}

bool TOndBaseCompletionProposal::CodeListKey(std::uint16_t Key, TShiftState Shift) {
  const int page = std::max(1, NbLinesInWindow);
  FList.VisibleLines = page;
  const int last = static_cast<int>(FList.Shown().size()) - 1;
  switch (Key) {
    case VK_UP: FList.Select((Shift & ssCtrl) ? 0 : FList.Position() - 1); break;
    case VK_DOWN: FList.Select((Shift & ssCtrl) ? last : FList.Position() + 1); break;
    case VK_PRIOR: FList.MoveBy(-page); break;
    case VK_NEXT: FList.MoveBy(page); break;
    case VK_HOME: FList.Select(0); break;
    case VK_END: FList.Select(last); break;
    case VK_ESCAPE: CancelCompletion(); return true;
    case VK_TAB:
      if (!(FOptions & scoCompleteWithTab)) return false;
      Complete();
      return true;
    case VK_RETURN:
      if (!(FOptions & scoCompleteWithEnter)) return false;
      Complete();
      return true;
    default: return false;
  }
  ListMoved();
  return true;
}

// ---- bound to editors -------------------------------------------------------

TOndCompletionProposal::TOndCompletionProposal(TComponent* Owner) : TOndBaseCompletionProposal(Owner) {
  TriggerChars = ".";
  SetOptions(DefaultProposalOptions);
}

TOndCompletionProposal::~TOndCompletionProposal() {
  BeginDestroy();
  Detach();
}

std::unique_ptr<TOndCompletionProposal> TOndCompletionProposal::Create() {
  return Factory_() ? Factory_()() : std::make_unique<TOndCompletionProposal>();
}

void TOndCompletionProposal::SetEditor(TCustomOndEdit* Value) {
  if (Value == FEditor) return;
  Detach();
  FEditor = Value;
  if (!FEditor) return;
  FEditor->AddKeyDownHandler(TKeyHandler(this, &TOndCompletionProposal::EditorKeyDown));
  FEditor->AddKeyPressHandler(TKeyPressHandler(this, &TOndCompletionProposal::EditorKeyPress));
  FEditor->FreeNotification(this);
}

void TOndCompletionProposal::Detach() {
  if (!FEditor) return;
  TCustomOndEdit* editor = FEditor;
  FEditor = nullptr;
  if (Visible()) CancelCompletion();
  if (Form()) Form()->WatchAway(nullptr);
  editor->RemoveKeyDownHandler(TKeyHandler(this, &TOndCompletionProposal::EditorKeyDown));
  editor->RemoveKeyPressHandler(TKeyPressHandler(this, &TOndCompletionProposal::EditorKeyPress));
  editor->RemoveFreeNotification(this);
}

void TOndCompletionProposal::Notification(TComponent* Component, TOperation Operation) {
  TOndBaseCompletionProposal::Notification(Component, Operation);
  // A going editor's chains go with it: nothing to unhook.
  if (Operation == TOperation::opRemove && Component == FEditor) {
    FEditor = nullptr;
    if (Visible()) CancelCompletion();
  }
}

void TOndCompletionProposal::SetTimerInterval(int Value) {
  FTimerInterval = Value;
  if (FTimer) FTimer->SetInterval(Value);
}

void TOndCompletionProposal::SetOptions(TOndCompletionOptions Value) {
  TOndBaseCompletionProposal::SetOptions(Value);
  if ((Value & scoUseBuiltInTimer) && !FTimer) {
    FTimer = std::make_unique<TTimer>(nullptr);
    FTimer->SetEnabled(false);
    FTimer->SetInterval(FTimerInterval);
    FTimer->OnTimer = [this](TObject*) { TimerExpired(); };
  } else if (!(Value & scoUseBuiltInTimer)) {
    FTimer.reset();
  }
}

void TOndCompletionProposal::ExecuteEx(const std::string& S, int X, int Y, OndCompletionType Kind) {
  TOndBaseCompletionProposal::ExecuteEx(S, X, Y, Kind);
  if (FTimer) FTimer->SetEnabled(false);
  // A hint belongs to the place the pointer rests on in its editor.
  if (Form()) Form()->WatchAway(GetDisplayType() == ctHint ? FEditor : nullptr);
}

void TOndCompletionProposal::CancelCompletion() {
  if (FTimer) FTimer->SetEnabled(false);
  TOndBaseCompletionProposal::CancelCompletion();
}

void TOndCompletionProposal::TimerExpired() {
  FTimer->SetEnabled(false);
  if (!FEditor) return;
  // A trigger character rested long enough: the list opens at the caret.
  const TPoint caret = FEditor->RowColumnToPixels(FEditor->GetDisplayXY());
  const TPoint at = FEditor->ClientToScreen(TPoint{caret.X, caret.Y + FEditor->GetLineHeight()});
  ExecuteEx("", at.X, at.Y, GetDefaultType());
}

void TOndCompletionProposal::EditorKeyDown(void*, std::uint16_t& Key, TShiftState Shift) {
  if (!Visible()) return;
  if (GetDisplayType() != ctCode) {
    // A hint is read, not worked with: Escape puts it away and stops there,
    // any other key puts a plain hint away and goes on to the editor.
    if (Key == VK_ESCAPE) {
      CancelCompletion();
      Key = 0;
    } else if (GetDisplayType() == ctHint) {
      CancelCompletion();
    }
    return;
  }
  switch (Key) {
    case VK_BACK:
    case VK_LEFT:
      // The editor still moves its caret; the list follows the shorter text.
      if (CurrentString().empty())
        CancelCompletion();
      else
        SetCurrentString(CurrentString().substr(0, CurrentString().size() - 1));
      return;
    case VK_RIGHT:
      if (FEditor) {
        const std::string line = FEditor->GetLineText();
        const std::size_t x = static_cast<std::size_t>(FEditor->GetCaretXY().Char);
        if (x >= 1 && x <= line.size()) SetCurrentString(CurrentString() + line[x - 1]);
      }
      return;
    case VK_DELETE:
      return;
    default:
      if (CodeListKey(Key, Shift)) Key = 0;
  }
}

void TOndCompletionProposal::EditorKeyPress(void*, char& Key) {
  if (Visible() && GetDisplayType() == ctCode) {
    if (EndOfTokenChr.find(Key) != std::string::npos) {
      if (GetOptions() & scoEndCharCompletion)
        Complete();
      else
        CancelCompletion();
    } else if (static_cast<unsigned char>(Key) >= ' ') {
      SetCurrentString(CurrentString() + Key);
    }
    return;
  }
  if (FTimer && TriggerChars.find(Key) != std::string::npos) {
    FTimer->SetEnabled(false);
    FTimer->SetEnabled(true);
  }
}

void TOndCompletionProposal::Complete() {
  if (FList.Shown().empty()) {
    CancelCompletion();
    return;
  }
  std::string value = FList.Completion();
  if (OnCodeCompletion) OnCodeCompletion(this, value, FList.Shown()[static_cast<std::size_t>(FList.Position())]);
  CancelCompletion();
  if (FEditor) {
    FEditor->SetBlockBegin(FEditor->WordStart());
    FEditor->SetBlockEnd(FEditor->GetCaretXY());
    FEditor->SetSelText(value);
    FEditor->SetFocus();
  }
  if (OnAfterCodeCompletion) OnAfterCodeCompletion(this);
}

}  // namespace ond
