// Scrolling and word wrap: the scroll bars, scrolling by lines and pages,
// keeping the caret in view, and switching the wrap layout on and off.
#include "editor/OndEdit.h"

#include <algorithm>

#include "editor/OndEditImpl.h"
#include "highlight/OndEditHighlighter.h"

namespace ond {

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

// ---- scrolling --------------------------------------------------------------------------

TOndScrollState TCustomOndEdit::ScrollState() const {
  TOndScrollState st;
  st.RowCount = FOutOfView && FWordWrapPlugin && FLines->GetCount() > 0 ? FWordWrapPlugin->RowCountWithoutLayout()
                                                                       : DisplayRowCount();
  st.MaxScrollWidth = FMaxScrollWidth;
  st.WrapWidth = FWordWrapPlugin ? std::max(1, FWordWrapPlugin->WrapWidth()) : 0;
  // Only an unwrapped text scrolls by its longest line; finding it walks the
  // whole text once after a load.
  if (st.WrapWidth == 0) st.LongestLine = FLines->GetLongestLineLength();
  // Past line ends the view reaches the scroll width, and the whole of any
  // line longer than that: the caret reaches such a line's end.
  if (st.WrapWidth == 0 && (FOptions & eoScrollPastEol)) st.MaxScrollWidth = std::max(FMaxScrollWidth, st.LongestLine);
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
        SetLeftColumn((FOptions & eoScrollPastEol) ? st.MaxScrollWidth - FView.CharsInWindow + 1 : st.LongestLine);
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

}  // namespace ond
