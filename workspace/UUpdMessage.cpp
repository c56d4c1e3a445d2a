#include "workspace/UUpdMessage.h"

#include <algorithm>

#include "services/ULocalization.h"
#include "services/UThCheckUpdate.h"

namespace ond {

namespace {

constexpr int kWidth = 750;
constexpr int kHeight = 560;
constexpr int kMinWidth = 520;
constexpr int kMinHeight = 340;
constexpr int kBottomHeight = 48;
constexpr int kMessageWidth = 410;
constexpr int kMessageHeight = 32;
constexpr int kMargin = 16;
constexpr int kButtonWidth = 105;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 8;
constexpr std::uint16_t kEscape = 27;

TPanel* MakePanel(TUpdMess* form, const char* name, TAlign align) {
  auto* p = new TPanel(form);
  p->Name = name;
  p->BevelOuter = TBevelCut::bvNone;
  p->SetAlign(align);
  p->SetParent(form);
  return p;
}

TButton* MakeButton(TUpdMess* form, const char* name, int entry, int modalResult) {
  auto* b = new TButton(form);
  b->Name = name;
  b->SetCaption(Lang(entry));
  b->ModalResult = modalResult;
  b->SetParent(form->pBottom);
  return b;
}

}  // namespace

TUpdMess::TUpdMess(TComponent* owner, const std::string& version, const std::string& updateInfo)
    : TForm(owner) {
  Name = "UpdMess";
  SetCaption("Ondrel");
  SetBounds(0, 0, kWidth, kHeight);
  SetMinimumSize(kMinWidth, kMinHeight);
  SetBorderIcons(biSystemMenu);
  KeyPreview = true;
  OnKeyDown = [this](TObject*, std::uint16_t& key, TShiftState shift) { FormKeyDown(key, shift); };

  pBottom = MakePanel(this, "pBottom", TAlign::alBottom);
  pBottom->SetHeight(kBottomHeight);
  pTop = MakePanel(this, "pTop", TAlign::alClient);
  pTop->SetColor(clWhite);

  lMessage = new TLabel(this);
  lMessage->Name = "lMessage";
  lMessage->SetAutoSize(false);
  lMessage->SetColor(clWhite);
  lMessage->Font.SetName("Segoe UI");
  lMessage->Font.SetHeight(-15);
  lMessage->SetBounds(kMargin, kMargin, kMessageWidth, kMessageHeight);
  lMessage->SetParent(pTop);
  lMessage->SetCaption(UpdateOfferText(version));
  // The question is longer than its line in either language: it wraps, and
  // the label grows to show all of it (the notes move down to make room).
  lMessage->SetWordWrap(true);
  lMessage->SetHeight(std::max(kMessageHeight, lMessage->HeightForWidth(kMessageWidth)));

  mInfo = new TMemo(this);
  mInfo->Name = "mInfo";
  mInfo->SetReadOnly(true);
  mInfo->SetBorderStyle(TBorderStyle::bsNone);
  mInfo->SetColor(clWhite);
  mInfo->SetScrollBars(false, true);
  mInfo->Font.SetName("Segoe UI");
  mInfo->SetParent(pTop);
  mInfo->SetText(updateInfo);

  bYes = MakeButton(this, "bYes", leUpdateYes, IDYES);
  bNo = MakeButton(this, "bNo", leUpdateNo, IDNO);

  // The notes follow every side of the window, the buttons its right edge.
  const int infoTop = lMessage->Top() + lMessage->Height() + kMargin / 2;
  pTop->OnResize = [this, infoTop](TObject*) {
    mInfo->SetBounds(kMargin, infoTop, pTop->Width() - 2 * kMargin, pTop->Height() - infoTop - kMargin / 2);
  };
  pBottom->OnResize = [this](TObject*) {
    const int top = (pBottom->Height() - kButtonHeight) / 2;
    const int noLeft = pBottom->Width() - kMargin - kButtonWidth;
    bNo->SetBounds(noLeft, top, kButtonWidth, kButtonHeight);
    bYes->SetBounds(noLeft - kButtonGap - kButtonWidth, top, kButtonWidth, kButtonHeight);
  };
  Realign();
  pTop->OnResize(pTop);
  pBottom->OnResize(pBottom);

  if (TForm* main = Application()->MainForm) {
    SetBounds(main->Left() + (main->Width() - Width()) / 2, main->Top() + (main->Height() - Height()) / 2, Width(),
              Height());
  } else {
    CenterOnScreen();
  }
}

void TUpdMess::FormKeyDown(std::uint16_t& key, TShiftState) {
  if (key != kEscape) return;
  SetModalResult(IDNO);
  key = 0;
}

}  // namespace ond
