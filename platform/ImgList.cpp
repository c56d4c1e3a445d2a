#include "platform/ImgList.h"

#include <QImage>
#include <QPainter>
#include <vector>

#include "platform/QtBridge.h"

namespace ond {

struct TImageList::Private {
  std::vector<QImage> images;
};

TImageList::TImageList(TComponent* owner, int width, int height)
    : TComponent(owner), p(std::make_unique<Private>()), FWidth(width), FHeight(height) {}
TImageList::~TImageList() = default;

void TImageList::SetSize(int width, int height) {
  FWidth = width;
  FHeight = height;
  Clear();
}

int TImageList::Count() const { return static_cast<int>(p->images.size()); }
void TImageList::Clear() { p->images.clear(); }

int TImageList::Add(const TBitmap& bitmap) {
  const int first = Count();
  const QImage& img = bitmap.Image();
  if (FWidth <= 0 || FHeight <= 0 || img.isNull()) return -1;
  for (int x = 0; x + FWidth <= img.width(); x += FWidth) {
    QImage part(FWidth, FHeight, QImage::Format_ARGB32_Premultiplied);
    part.fill(Qt::transparent);
    QPainter painter(&part);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, img, x, 0, FWidth, std::min(FHeight, img.height()));
    painter.end();
    p->images.push_back(std::move(part));
  }
  return first;
}

int TImageList::AddMasked(const TBitmap& bitmap, TColor maskColor) {
  const int first = Count();
  if (Add(bitmap) < 0) return -1;
  const TColor m = ColorToRGB(maskColor);
  const QRgb mask = qRgb(GetRValue(m), GetGValue(m), GetBValue(m));
  for (std::size_t i = static_cast<std::size_t>(first); i < p->images.size(); ++i) {
    QImage& img = p->images[i];
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x)
        if ((img.pixel(x, y) & 0xFFFFFF) == (mask & 0xFFFFFF) && qAlpha(img.pixel(x, y)) == 255)
          img.setPixel(x, y, qRgba(0, 0, 0, 0));
  }
  return first;
}

int TImageList::AddResource(const std::string& name) {
  TBitmap bmp;
  if (!bmp.LoadFromResourceName(name)) return -1;
  return Add(bmp);
}

void TImageList::Draw(TCanvas* canvas, int x, int y, int index, bool enabled) const {
  if (!canvas || !canvas->Painter() || index < 0 || index >= Count()) return;
  QPainter* painter = canvas->Painter();
  painter->save();
  painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  if (!enabled) painter->setOpacity(0.4);
  painter->drawImage(x, y, p->images[static_cast<std::size_t>(index)]);
  painter->restore();
}

bool TImageList::GetBitmap(int index, TBitmap& bitmap) const {
  if (index < 0 || index >= Count()) return false;
  bitmap.SetSize(FWidth, FHeight);
  QPainter* painter = bitmap.Canvas()->Painter();
  painter->setCompositionMode(QPainter::CompositionMode_Source);
  painter->drawImage(0, 0, p->images[static_cast<std::size_t>(index)]);
  painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  return true;
}

}  // namespace ond
