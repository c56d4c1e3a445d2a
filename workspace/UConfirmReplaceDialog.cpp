#include "workspace/UConfirmReplaceDialog.h"

#include "platform/core/Keys.h"
#include "platform/core/SysUtils.h"
#include "services/ULocalization.h"

namespace ond {

TConfirmReplaceDialog::TConfirmReplaceDialog(TComponent* owner) : TForm(owner) {
  Name = "ConfirmReplaceDialog";
  KeyPreview = true;
  SetCaption("Ondrel");
  SetBounds(0, 0, 473, 94);
  pBottom = new TPanel(this);
  pBottom->BevelOuter = TBevelCut::bvNone;
  pBottom->SetBounds(0, 0, 473, 41);
  pBottom->SetAlign(TAlign::alBottom);
  pBottom->SetParent(this);
  pTop = new TPanel(this);
  pTop->BevelOuter = TBevelCut::bvNone;
  pTop->SetColor(clWhite);
  pTop->SetAlign(TAlign::alClient);
  pTop->SetParent(this);
  lConfirm = new TLabel(this);
  lConfirm->Name = "lConfirm";
  lConfirm->SetCaption(Lang(leReplaceQuestion));
  lConfirm->SetAutoSize(false);
  lConfirm->SetAlignment(TAlignment::taCenter);
  lConfirm->SetLayout(TTextLayout::tlCenter);
  lConfirm->SetAlign(TAlign::alClient);
  lConfirm->SetParent(pTop);
  struct TDef {
    TButton** Button;
    const char* Name;
    int Caption;
    int Result;
  };
  const TDef defs[] = {{&bReplace, "bReplace", leConfirmYes, IDYES},
                       {&bSkip, "bSkip", leConfirmNo, IDNO},
                       {&bReplaceAll, "bReplaceAll", leConfirmYesToAll, mrYesToAll},
                       {&bCancel, "bCancel", leConfirmCancel, IDCANCEL}};
  int left = 8;
  for (const TDef& d : defs) {
    *d.Button = new TButton(this);
    (*d.Button)->Name = d.Name;
    (*d.Button)->SetCaption(Lang(d.Caption));
    (*d.Button)->ModalResult = d.Result;
    (*d.Button)->SetBounds(left, 8, 108, 25);
    (*d.Button)->SetParent(pBottom);
    left += 116;
  }
  bReplace->SetDefault(true);
  OnShow = [this](TObject*) { bReplace->SetFocus(); };
}

TPoint TConfirmReplaceDialog::Placement(const TRect& editorRect, int x, int matchBottom, int matchTop, int width,
                                        int height) {
  const int rectWidth = editorRect.Right - editorRect.Left;
  const int rectHeight = editorRect.Bottom - editorRect.Top;
  TPoint p;
  if (rectWidth <= width)
    p.X = editorRect.Left - (width - rectWidth) / 2;
  else if (editorRect.Right < x + width)
    p.X = editorRect.Right - width;
  else
    p.X = x;
  if (matchBottom > editorRect.Top + MulDiv(rectHeight, 2, 3))
    p.Y = matchTop - height - 20;
  else
    p.Y = matchBottom + 20;
  return p;
}

void TConfirmReplaceDialog::PrepareShow(const TRect& editorRect, int x, int matchBottom, int matchTop) {
  const TPoint p = Placement(editorRect, x, matchBottom, matchTop, Width(), Height());
  SetBounds(p.X, p.Y, Width(), Height());
}

void TConfirmReplaceDialog::KeyDown(std::uint16_t& key, TShiftState shift) {
  if (key == VK_ESCAPE) {
    SetModalResult(IDCANCEL);
    key = 0;
    return;
  }
  if (key == VK_RETURN && shift == 0) {
    TButton* target = bReplace;
    for (TButton* b : {bReplace, bSkip, bReplaceAll, bCancel})
      if (b->Focused()) target = b;
    key = 0;
    target->Press();
    return;
  }
  TForm::KeyDown(key, shift);
}

}  // namespace ond
