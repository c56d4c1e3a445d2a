// Lists of equally sized images drawn onto canvases.
#pragma once

#include <memory>
#include <string>

#include "platform/Controls.h"

namespace ond {

class TImageList : public TComponent {
 public:
  explicit TImageList(TComponent* owner, int width = 16, int height = 16);
  ~TImageList() override;
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetSize(int width, int height);  // clears the list
  int Count() const;
  // Appends the bitmap cut into images of the list's width; returns the
  // index of the first one.
  int Add(const TBitmap& bitmap);
  // The same, with every pixel of maskColor transparent.
  int AddMasked(const TBitmap& bitmap, TColor maskColor);
  // Appends the images of a resource bitmap ("CheckImages"); -1 when missing.
  int AddResource(const std::string& name);
  void Clear();
  void Draw(TCanvas* canvas, int x, int y, int index, bool enabled = true) const;
  bool GetBitmap(int index, TBitmap& bitmap) const;

 private:
  struct Private;
  std::unique_ptr<Private> p;
  int FWidth;
  int FHeight;
};

}  // namespace ond
