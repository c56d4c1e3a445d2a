// Painting the editor: invalidation, the gutter, the text rows with their
// highlighting, selection and special characters, and the fold marks.
#include "editor/OndEdit.h"

#include <algorithm>
#include <climits>

#include "highlight/OndEditHighlighter.h"
#include "platform/ImgList.h"
#include "platform/core/ScopeGuard.h"

namespace ond {

namespace {

constexpr char kPilcrow = '\xB6';     // shown after a line's end
constexpr char kMiddleDot = '\xB7';   // shown for a blank

}  // namespace

// ---- invalidation ---------------------------------------------------------------------

namespace {
constexpr std::size_t kMostPendingPieces = 16;
}  // namespace

void TCustomOndEdit::InvalidateRect(const TRect& Asked, bool) {
  // Within the client area: a rectangle reaching under a scroll bar would
  // have the bar painted again too.
  const TRect R = IntersectRect(Asked, ClientRect());
  if (R.IsEmpty()) return;
  if (!(FStateFlags & sfLinesChanging)) {
    TControl::InvalidateRect(R);
    return;
  }
  const bool whole = !FInvalidateRect.IsEmpty() && FInvalidatePieces.empty();
  FInvalidateRect = UnionRect(FInvalidateRect, R);
  if (whole) return;
  if (FInvalidatePieces.size() < kMostPendingPieces)
    FInvalidatePieces.push_back(R);
  else
    FInvalidatePieces.clear();  // the union from now on
}

void TCustomOndEdit::InvalidatePending() {
  if (FInvalidatePieces.empty()) {
    if (!FInvalidateRect.IsEmpty()) TControl::InvalidateRect(FInvalidateRect);
  } else {
    for (const TRect& r : FInvalidatePieces) TControl::InvalidateRect(r);
  }
  FInvalidateRect = TRect{};
  FInvalidatePieces.clear();
}

void TCustomOndEdit::InvalidateLines(int FirstLine, int LastLine) {
  // Rows not laid out yet may all move: no row is looked up for them.
  if ((FirstLine == -1 && LastLine == -1) || (FWordWrapPlugin && !FWordWrapPlugin->LaidOut())) {
    InvalidateRect(Rect(FView.GutterWidth, 0, Width(), Height()), false);
    return;
  }
  if (FirstLine > LastLine) std::swap(FirstLine, LastLine);
  const int firstRow = LineToRow(std::max(1, FirstLine));
  const int lastRow = LastLine > FLines->GetCount() ? INT_MAX : LineToRow(LastLine + 1) - 1;
  int top, bottom;
  if (FView.RowsSpan(firstRow, std::max(firstRow, lastRow), Height(), top, bottom))
    InvalidateRect(Rect(FView.GutterWidth, top, Width(), bottom), false);
}

void TCustomOndEdit::InvalidateGutterLines(int FirstLine, int LastLine) {
  if (FView.GutterWidth <= 0) return;
  if ((FirstLine == -1 && LastLine == -1) || (FWordWrapPlugin && !FWordWrapPlugin->LaidOut())) {
    InvalidateRect(Rect(0, 0, FView.GutterWidth, Height()), false);
    return;
  }
  if (FirstLine > LastLine) std::swap(FirstLine, LastLine);
  const int firstRow = LineToRow(std::max(1, FirstLine));
  const int lastRow = LastLine > FLines->GetCount() ? INT_MAX : LineToRow(LastLine + 1) - 1;
  int top, bottom;
  if (FView.RowsSpan(firstRow, std::max(firstRow, lastRow), Height(), top, bottom))
    InvalidateRect(Rect(0, top, FView.GutterWidth, bottom), false);
}

void TCustomOndEdit::InvalidateLine(int Line) {
  if (Line < 1) return;
  InvalidateLines(Line, Line);
}

void TCustomOndEdit::InvalidateSelection() {
  InvalidateLines(GetBlockBegin().Line, GetBlockEnd().Line);
}

// ---- painting -----------------------------------------------------------------------

void TCustomOndEdit::Paint() {
  const TRect clip = Canvas()->GetClipRect();
  if (clip.IsEmpty()) return;
  // The fold marks and the caret's range are painted from the ranges found;
  // a long text is painted without them until idle time has found them.
  if (FCodeFolding->GetEnabled() && FAllFoldRanges->ScanPending()) {
    if (LongText()) {
      FFoldScanInIdle = true;
      StartIdleWork();
    } else {
      FAllFoldRanges->Settle();
    }
  }
  const TOndPaintRange range = FView.PaintRange(clip, DisplayRowCount());
  const int gw = FView.GutterWidth;
  if (clip.Left < gw) {
    TRect r = clip;
    r.Right = std::min(r.Right, gw);
    PaintGutter(r, range.FirstRow, range.LastRow);
    if (FoldsPainted() && FGutter->GetVisible() && FLines->GetCount() > 0 && gw > 13)
      PaintFoldTree(r, range.FirstRow, range.LastRow);
  }
  if (clip.Right > gw) {
    TRect r = clip;
    r.Left = std::max(r.Left, gw);
    PaintTextRows(r, range.FirstRow, range.LastRow, range.FirstColumn, range.LastColumn);
  }
  // What draws on top draws within what was asked to be painted.
  Canvas()->ResetClip();
  Canvas()->SetClipRect(clip);
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

int TCustomOndEdit::FileLine(int Line) const { return FoldsPainted() ? UncollapsedLine(Line) : Line; }

void TCustomOndEdit::FitGutterDigits(bool Recount) {
  if (!FGutter->GetShowLineNumbers() || !FGutter->GetAutoSize()) {
    FGutterNumbersFull = false;
    return;
  }
  const int count = FLines->GetCount();
  // The lines hidden behind every collapsed header, the last one included.
  if (Recount) FGutterHiddenLines = FoldsPainted() ? UncollapsedLine(count + 1) - 1 - count : 0;
  const int fileLines = count + FGutterHiddenLines;
  FGutter->UpdateAutoDigits(fileLines);
  const std::string widest = FGutter->LineNumberText(std::max(1, fileLines));
  const bool full = GutterNumbersFillTheirCells(widest, FGutter->GetLeadingZeros());
  if (full != FGutterNumbersFull) {
    FGutterNumbersFull = full;
    ApplyGutterWidth();
  }
}

void TCustomOndEdit::PaintGutter(const TRect& AClip, int FirstRow, int LastRow) {
  TCanvas* bc = Canvas();
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
      std::string text = g.LineNumberText(FileLine(line));
      if (OnGutterGetText) OnGutterGetText(this, line, text);
      const TOndIntensMark mark =
          g.GetIntens() ? IntensMark(line, row == caretRow, text) : TOndIntensMark::Number;
      if (mark == TOndIntensMark::Number) {
        const int x = xr - static_cast<int>(text.size()) * cw;
        // The margin kept before numbers that fill their cells.
        if (!g.GetGradient() && x > 0) fill(Rect(0, top, x, top + lh), g.GetColor());
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
      const std::optional<TOndLineExtra> extra = line <= count ? FLines->GetLineExtra(line - 1) : std::nullopt;
      if (!extra || extra->ModifiedState == 0) continue;
      const int x = gw - GutterRightOffset();
      fill(Rect(x, rowTop(row), x + 4, rowTop(row) + lh),
           extra->ModifiedState == 1 ? g.GetLineNormalColor() : g.GetLineModifiedColor());
    }
  }

  bc->ResetClip();
}

void TCustomOndEdit::PaintTextRows(const TRect& AClip, int FirstRow, int LastRow, int FirstCol, int LastCol) {
  TCanvas* bc = Canvas();
  bc->ResetClip();
  TRect clip = AClip;
  const int gw = FView.GutterWidth, lh = FView.LineHeight;
  if (clip.Left < gw + 2) {
    bc->Brush.Color = DefaultRowBackground();
    bc->Brush.Style = TBrushStyle::bsSolid;
    bc->FillRect(Rect(std::max(clip.Left, gw), clip.Top, gw + 2, clip.Bottom));
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
  const TScopeExit restore([&] {
    FTextDrawer->EndDraw();
    bc->ResetClip();
  });
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
  }
}

void TCustomOndEdit::PaintLines(const TRect& AClip, int FirstRow, int LastRow, int FirstCol, int LastCol, bool HaveSel,
                                const TDisplayCoord& SelStart, const TDisplayCoord& SelEnd) {
  TCanvas* bc = Canvas();
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
  if (FoldsPainted()) spanning = ExpandedRangesOver(RowToLine(FirstRow), RowToLine(LastRow));

  // Kept from row to row: a piece's characters where they are drawn
  // otherwise, and the blanks after a row's text.
  std::string shown;
  TOndPaintRun blank;
  int row = FirstRow;
  while (row <= LastRow) {
    const int line = RowToLine(row);
    if (line > count) break;
    const std::string text = FLines->GetExpandedText(line - 1);
    const int len = static_cast<int>(text.size());
    TColor specFG = clNone, specBG = clNone;
    const bool special = DoOnSpecialLineColors(line, specFG, specBG);
    const std::optional<TOndLineExtra> extra = FLines->GetLineExtra(line - 1);
    const int lineLastRow = FWordWrapPlugin ? LineToRow(line + 1) - 1 : row;

    if (useHighlighter) {
      ScanRangesThrough(line - 2);
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
        std::string_view out = piece;
        constexpr std::string_view kDrawnOtherwise("\0\t ", 3);  // the blank only with special characters
        if (piece.find_first_of(kDrawnOtherwise.substr(0, FShowSpecialChars ? 3 : 2)) != std::string_view::npos) {
          shown.assign(piece);
          for (char& c : shown) {
            if (c == '\0') c = ' ';
            if (c == '\t') c = ' ';
            if (FShowSpecialChars && c == ' ') c = kMiddleDot;
          }
          out = shown;
        }
        FTextDrawer->SetStyle(style);
        FTextDrawer->SetForegroundColor(pfg);
        FTextDrawer->SetBackgroundColor(pbg);
        const int x = colX(col);
        const TRect r = Rect(std::max(x, AClip.Left), top, std::min(x + static_cast<int>(out.size()) * cw, AClip.Right),
                             top + lh);
        if (r.IsEmpty()) return;
        // Without a background picture every piece is opaque, and the pieces
        // after it and the row's end fill all that lies right of it.
        const bool transparent = bgShows && pbg == FColor;
        FTextDrawer->ExtTextOut(x, top + textY,
                                transparent ? ETO_CLIPPED
                                : bgShows   ? ETO_OPAQUE | ETO_CLIPPED
                                            : ETO_OPAQUE | ETO_CLIPPED | ETO_RIGHT_PAINTED_LATER,
                                r, out);
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
      if (FoldsPainted())
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
    }
  }
}

// ---- painting of folds -------------------------------------------------------------------

bool TCustomOndEdit::FoldsPainted() const {
  // A scan still to come has collapsed nothing: the lines are their own.
  return FCodeFolding->GetEnabled() && !FAllFoldRanges->ScanPending();
}

std::vector<TOndEditFoldRange*> TCustomOndEdit::ExpandedRangesOver(int FirstLine, int LastLine) const {
  std::vector<TOndEditFoldRange*> out = FAllFoldRanges->Index().Over(FirstLine, LastLine);
  std::erase_if(out, [this](const TOndEditFoldRange* r) {
    return r->Collapsed || !r->HasLines() || FoldRangeUnsure(r);
  });
  return out;
}

void TCustomOndEdit::PaintFoldTree(const TRect& AClip, int FirstRow, int LastRow) {
  if (LastRow < FirstRow) return;
  TCanvas* bc = Canvas();
  bc->ResetClip();
  bc->SetClipRect(AClip);
  const int gw = FView.GutterWidth, lh = FView.LineHeight;
  const int x1 = gw - 12, x2 = gw - 1, mid = x1 + (x2 - x1) / 2;
  const int count = FLines->GetCount();
  const int firstLine = RowToLine(FirstRow), lastLine = std::min(count, RowToLine(LastRow));
  if (firstLine > lastLine) return;
  // One walk over the ranges in view marks the painted lines.
  const std::size_t n = static_cast<std::size_t>(lastLine - firstLine + 1);
  std::vector<std::uint8_t> inside(n, 0), ends(n, 0);
  std::vector<TOndEditFoldRange*> starts(n, nullptr);
  for (TOndEditFoldRange* r : FAllFoldRanges->Index().Over(firstLine, lastLine)) {
    if (!r->HasLines() || FoldRangeUnsure(r)) continue;
    if (r->FromLine >= firstLine) {
      // A collapsed range marks its header, whichever range starts there first.
      TOndEditFoldRange*& s = starts[static_cast<std::size_t>(r->FromLine - firstLine)];
      if (!s || (r->Collapsed && !s->Collapsed)) s = r;
    }
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
}

void TCustomOndEdit::PaintFoldExtras(const std::vector<TOndEditFoldRange*>& Spanning, int Line, int Row, int Top,
                                     int Len, bool ContinuationRow, bool LastRowOfLine, const TRect& RowRect) {
  (void)Row;
  TCanvas* bc = Canvas();
  const int lh = FView.LineHeight, cw = FView.CharWidth, gw = FView.GutterWidth;
  const TOndEditFoldRange* header = nullptr;
  if (FAllFoldRanges->AllCount() > 0) {
    header = CollapsedFoldAt(Line);
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

}  // namespace ond
