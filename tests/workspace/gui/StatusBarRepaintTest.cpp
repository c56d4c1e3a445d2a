// What a status panel paints again when its text changes: the face within
// its bevel, and what is on the screen then is what a whole new paint of the
// bar draws.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPaintEvent>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <vector>

#include "platform/Forms.h"
#include "platform/QtBridge.h"
#include "workspace/StatusBarEx.h"

namespace ond {
namespace {

struct PaintRects : QObject {
  std::vector<QRect> Rects;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) Rects.push_back(static_cast<QPaintEvent*>(e)->rect());
    return false;
  }
};

void Settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

TEST(StatusBarRepaint, ANewTextPaintsThePanelFaceAndTheScreenShowsTheWholeBar) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 500, 100);
  auto* bar = new TStatusBarEx(&form);
  bar->SetParent(&form);
  for (int w : {60, 80, 100}) bar->Panels()->Add()->SetWidth(w);
  bar->Panels()->Items(1)->SetColor(clYellow);
  bar->Panels()->Items(2)->SetBevel(TStatusPanelBevel::pbNone);
  form.ShowForm();
  Settle();
  PaintRects paints;
  bar->Widget()->installEventFilter(&paints);
  auto screenBar = [&] {
    const QImage window = form.Widget()->screen()->grabWindow(form.Widget()->winId()).toImage();
    return window.copy(QRect(bar->Widget()->mapTo(form.Widget(), QPoint(0, 0)), bar->Widget()->size()))
        .convertToFormat(QImage::Format_RGB32);
  };
  auto freshBar = [&] { return bar->Widget()->grab().toImage().convertToFormat(QImage::Format_RGB32); };

  for (int i = 0; i < 3; ++i) {
    TStatusPanelEx* p = bar->Panels()->Items(i);
    paints.Rects.clear();
    p->SetText("12: 34");
    Settle();
    // Within the bevel; a panel without one is painted whole.
    TRect face = bar->PanelRect(i);
    if (p->GetBevel() != TStatusPanelBevel::pbNone) face = Rect(face.Left + 1, face.Top + 1, face.Right - 1, face.Bottom - 1);
    ASSERT_EQ(paints.Rects.size(), 1u) << "panel " << i;
    EXPECT_EQ(paints.Rects[0], ToQRect(face)) << "panel " << i;
    EXPECT_EQ(screenBar(), freshBar()) << "panel " << i;
  }
  // A longer text, then a shorter one: the face is painted over whole.
  bar->Panels()->Items(0)->SetText("1234: 5678 and more than fits");
  Settle();
  bar->Panels()->Items(0)->SetText("1");
  Settle();
  EXPECT_EQ(screenBar(), freshBar());
  // A new bevel paints the whole panel.
  paints.Rects.clear();
  bar->Panels()->Items(1)->SetBevel(TStatusPanelBevel::pbRaised);
  Settle();
  ASSERT_EQ(paints.Rects.size(), 1u);
  EXPECT_EQ(paints.Rects[0], ToQRect(bar->PanelRect(1)));
  EXPECT_EQ(screenBar(), freshBar());
  bar->Widget()->removeEventFilter(&paints);
}

}  // namespace
}  // namespace ond
