#include "services/UAbout.h"

#include "platform/Graphics.h"
#include "platform/core/SysUtils.h"
#include "services/ULocalization.h"
#include "services/USystem.h"

namespace ond {

namespace {

constexpr int kClientWidth = 491;
constexpr int kClientHeight = 125;
constexpr std::uint16_t kEscape = 27;

// A window of the layer has no canvas of its own; this client-wide control
// paints for it and hands the painting back to the form.
class TAboutSurface : public TCustomControl {
 public:
  TAboutSurface(TAbout* form) : TCustomControl(form), FForm(form) {}

 protected:
  void Paint() override { FForm->FormPaint(); }

 private:
  TAbout* FForm;
};

TLabel* MakeLabel(TAbout* form, TWinControl* parent, const char* name, int height, int top, bool bold) {
  auto* label = new TLabel(form);
  label->Name = name;
  label->Font.SetName("Segoe UI");
  label->Font.SetHeight(-height);
  if (bold) label->Font.SetStyle(fsBold);
  label->SetAlignment(TAlignment::taCenter);
  label->SetTransparent(true);
  label->SetTop(top);
  label->SetParent(parent);
  return label;
}

}  // namespace

TAbout::TAbout(TComponent* owner, TUrlOpener openUrl) : TForm(owner), FOpenUrl(std::move(openUrl)) {
  Name = "About";
  SetCaption("Ondrel");
  SetBounds(0, 0, kClientWidth, kClientHeight);
  SetMinimumSize(kClientWidth, kClientHeight);
  Font.SetName("Segoe UI");
  Font.SetHeight(-15);

  Surface = new TAboutSurface(this);
  Surface->Name = "Surface";
  Surface->SetAlign(TAlign::alClient);
  Surface->SetParent(this);

  LabVersion = MakeLabel(this, Surface, "LabVersion", 15, 28, true);
  LabFor = MakeLabel(this, Surface, "LabFor", 13, 82, false);
  LabCopyRight = MakeLabel(this, Surface, "LabCopyRight", 13, 57, false);
  LabVersion->SetCaption("Ondrel X.X.X.X");
  LabCopyRight->SetCaption(Lang(leAboutProgram));
  LabFor->SetCaption(Lang(leAboutMod));
  LabFor->OnMouseEnter = [this](TObject*) { LabForMouseEnter(); };
  LabFor->OnMouseLeave = [this](TObject*) { LabForMouseLeave(); };
  LabFor->OnClick = [this](TObject*) { LabForClick(); };
  // Keys reach the window first whichever of its parts has the focus.
  OnKeyDown = [this](TObject*, std::uint16_t& key, TShiftState shift) { FormKeyDown(key, shift); };
  Surface->OnKeyDown = OnKeyDown;

  // What the window does once created: the compiled-in version in place of
  // the placeholder, and every line centred.
  const std::string caption = LabVersion->GetCaption();
  const std::size_t at = caption.find("X.X.X.X");
  if (at != std::string::npos)
    LabVersion->SetCaption(caption.substr(0, at) + TApplication::Version() + caption.substr(at + 7));
  for (TLabel* label : {LabVersion, LabFor, LabCopyRight}) label->SetLeft((ClientWidth() - label->Width()) / 2);

  if (auto* parent = dynamic_cast<TForm*>(owner)) {
    SetBounds(parent->Left() + (parent->Width() - Width()) / 2, parent->Top() + (parent->Height() - Height()) / 2,
              Width(), Height());
  } else {
    CenterOnScreen();
  }
}

std::string TAbout::SiteAddress() {
  return Settings.interface.view.language == 0 ? std::string(AboutSiteAddress)
                                                : std::string(AboutSiteAddress) + "en/";
}

std::string TAbout::NoBrowserText(const std::string& address) { return LangFill(leNoBrowser, {address}); }

bool TAbout::OpenSite(const TUrlOpener& openUrl) {
  const std::string address = SiteAddress();
  if (openUrl && openUrl(address)) return true;
  Application()->MessageBox(NoBrowserText(address), "Ondrel", MB_OK | MB_ICONINFORMATION);
  return false;
}

void TAbout::FormPaint() {
  TCanvas& canvas = *Surface->Canvas();
  canvas.Brush.Color = clBtnFace;
  canvas.Brush.Style = TBrushStyle::bsSolid;
  canvas.FillRect(Surface->ClientRect());
  // The icon is made for each painting and goes with it.
  TBitmap icon;
  if (!icon.LoadFromResourceName("Ondrel")) return;
  canvas.Draw(Surface->ClientWidth() / 10 - icon.Width() / 2, (Surface->ClientHeight() - icon.Height()) / 2, icon);
}

void TAbout::LabForMouseEnter() {
  LabFor->SetCursor(crHandPoint);
  LabFor->Font.SetColor(clBlue);
}

void TAbout::LabForMouseLeave() {
  LabFor->SetCursor(crDefault);
  LabFor->Font.SetColor(clWindowText);
}

void TAbout::LabForClick() {
  OpenSite(FOpenUrl);
}

void TAbout::FormKeyDown(std::uint16_t& key, TShiftState) {
  if (key == kEscape) Close();
}

}  // namespace ond
