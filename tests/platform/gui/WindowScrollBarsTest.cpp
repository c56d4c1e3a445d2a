// The own scroll bars of a custom-painted control: layout beside the client
// area, range and page, and the user's actions arriving as scroll events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>
#include <vector>

#include "platform/Controls.h"
#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/QtBridge.h"

namespace ond {
namespace {

struct ScrollRecord {
  TScrollBarKind kind;
  TScrollCode code;
  int pos;
};

QScrollBar* BarOf(TCustomControl& c, Qt::Orientation o) {
  for (QScrollBar* bar : c.Widget()->findChildren<QScrollBar*>())
    if (bar->orientation() == o) return bar;
  return nullptr;
}

// A style whose scroll bars are wider than the application's.
class WideBarStyle : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    if (metric == PM_ScrollBarExtent) return 31;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

// The bar width is asked for by every measure of the client area and kept:
// a control given another style measures with the new style's bars.
TEST(WindowScrollBars, TheClientAreaFollowsAChangeOfStyle) {
  TForm form(nullptr);
  auto* c = new TPanel(&form);
  c->SetParent(&form);
  c->SetBounds(0, 0, 200, 100);
  c->ShowScrollBar(TScrollBarKind::sbVertical, true);
  const int ext = c->Widget()->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  ASSERT_NE(ext, 31);
  EXPECT_EQ(c->ClientWidth(), 200 - ext);
  WideBarStyle wide;
  c->Widget()->setStyle(&wide);
  EXPECT_EQ(c->ClientWidth(), 200 - 31);
  c->Widget()->setStyle(nullptr);
  EXPECT_EQ(c->ClientWidth(), 200 - ext);
}

TEST(WindowScrollBars, LayoutLeavesTheClientAreaBeside) {
  TForm form(nullptr);
  auto* c = new TPanel(&form);
  c->SetParent(&form);
  c->SetBounds(0, 0, 200, 100);
  int resizes = 0;
  c->OnResize = [&](TObject*) { ++resizes; };
  EXPECT_EQ(c->ClientWidth(), 200);
  EXPECT_FALSE(c->ScrollBarVisible(TScrollBarKind::sbVertical));

  c->ShowScrollBar(TScrollBarKind::sbVertical, true);
  QScrollBar* v = BarOf(*c, Qt::Vertical);
  ASSERT_NE(v, nullptr);
  const int ext = v->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  ASSERT_GT(ext, 0);
  EXPECT_EQ(resizes, 1);  // the client area shrank
  EXPECT_EQ(c->ClientWidth(), 200 - ext);
  EXPECT_EQ(c->ClientHeight(), 100);
  EXPECT_TRUE(v->isVisibleTo(c->Widget()));
  EXPECT_EQ(v->geometry(), QRect(200 - ext, 0, ext, 100));

  c->ShowScrollBar(TScrollBarKind::sbHorizontal, true);
  QScrollBar* h = BarOf(*c, Qt::Horizontal);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(resizes, 2);
  EXPECT_EQ(c->ClientRect(), Rect(0, 0, 200 - ext, 100 - ext));
  EXPECT_EQ(h->geometry(), QRect(0, 100 - ext, 200 - ext, ext));
  EXPECT_EQ(v->geometry(), QRect(200 - ext, 0, ext, 100 - ext));
  c->ShowScrollBar(TScrollBarKind::sbHorizontal, true);
  EXPECT_EQ(resizes, 2);  // no change, no resize

  // The bars follow a new size; aligned children fill only the client area.
  auto* child = new TPanel(&form);
  child->SetAlign(TAlign::alClient);
  child->SetParent(c);
  c->SetBounds(0, 0, 300, 150);
  EXPECT_EQ(v->geometry(), QRect(300 - ext, 0, ext, 150 - ext));
  EXPECT_EQ(child->BoundsRect(), Rect(0, 0, 300 - ext, 150 - ext));

  // Scrolling the content leaves the bars in place.
  c->ScrollWindow(0, -10);
  EXPECT_EQ(v->geometry(), QRect(300 - ext, 0, ext, 150 - ext));

  c->ShowScrollBar(TScrollBarKind::sbVertical, false);
  EXPECT_FALSE(v->isVisibleTo(c->Widget()));
  EXPECT_EQ(c->ClientWidth(), 300);
  EXPECT_EQ(h->geometry(), QRect(0, 150 - ext, 300, ext));
}

TEST(WindowScrollBars, RangePageAndTheUsersActions) {
  TForm form(nullptr);
  auto* c = new TPanel(&form);
  c->SetParent(&form);
  c->SetBounds(0, 0, 200, 100);
  c->ShowScrollBar(TScrollBarKind::sbVertical, true);
  QScrollBar* v = BarOf(*c, Qt::Vertical);
  ASSERT_NE(v, nullptr);

  // Lines 0 to 99, ten in view: the position stops at 90.
  TScrollInfo info;
  info.Min = 0;
  info.Max = 99;
  info.Page = 10;
  info.Pos = 95;
  c->SetScrollInfo(TScrollBarKind::sbVertical, info);
  EXPECT_EQ(c->GetScrollPos(TScrollBarKind::sbVertical), 90);
  EXPECT_EQ(v->maximum(), 90);
  EXPECT_EQ(v->pageStep(), 10);
  EXPECT_EQ(v->value(), 90);
  c->SetScrollPos(TScrollBarKind::sbVertical, 50);
  EXPECT_EQ(v->value(), 50);

  std::vector<ScrollRecord> got;
  bool follow = false;
  c->OnWindowScroll = [&](TObject*, TScrollBarKind kind, TScrollCode code, int pos) {
    got.push_back({kind, code, pos});
    if (!follow) return;
    if (code == TScrollCode::scLineDown) c->SetScrollPos(kind, c->GetScrollPos(kind) + 1);
    if (code == TScrollCode::scTrack || code == TScrollCode::scPosition) c->SetScrollPos(kind, pos);
  };

  // The bar does not move by itself: the program answers.
  v->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].kind, TScrollBarKind::sbVertical);
  EXPECT_EQ(got[0].code, TScrollCode::scLineDown);
  EXPECT_EQ(got[0].pos, 50);
  EXPECT_EQ(c->GetScrollPos(TScrollBarKind::sbVertical), 50);
  EXPECT_EQ(v->value(), 50);
  follow = true;
  v->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(c->GetScrollPos(TScrollBarKind::sbVertical), 51);
  EXPECT_EQ(v->value(), 51);
  v->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(got.back().code, TScrollCode::scPageUp);

  // Dragging the thumb: tracking positions, then the place it was let go.
  follow = false;
  got.clear();
  v->setSliderDown(true);
  v->setSliderPosition(70);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].code, TScrollCode::scTrack);
  EXPECT_EQ(got[0].pos, 70);
  EXPECT_EQ(c->GetScrollInfo(TScrollBarKind::sbVertical).TrackPos, 70);
  EXPECT_EQ(c->GetScrollPos(TScrollBarKind::sbVertical), 51);
  v->setSliderDown(false);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1].code, TScrollCode::scPosition);
  EXPECT_EQ(got[1].pos, 70);
  EXPECT_EQ(v->value(), 51);  // not followed: the thumb goes back
  follow = true;
  v->setSliderDown(true);
  v->setSliderPosition(20);
  v->setSliderDown(false);
  EXPECT_EQ(c->GetScrollPos(TScrollBarKind::sbVertical), 20);
  EXPECT_EQ(v->value(), 20);

  // Releasing the mouse on the bar ends the scrolling.
  got.clear();
  const QPointF at(v->width() / 2.0, v->height() - 30.0);
  QMouseEvent press(QEvent::MouseButtonPress, at, v->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(v, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at, v->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(v, &release);
  QApplication::processEvents();
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back().code, TScrollCode::scEndScroll);

  // The wheel over a bar goes to the control and moves nothing by itself.
  int wheel = 0;
  c->OnMouseWheel = [&](TObject*, TShiftState, int delta, TPoint, bool& handled) {
    wheel = delta;
    handled = true;
  };
  const int before = c->GetScrollPos(TScrollBarKind::sbVertical);
  QWheelEvent turn(QPointF(2, 2), v->mapToGlobal(QPointF(2, 2)), QPoint(), QPoint(0, -120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(v, &turn);
  EXPECT_EQ(wheel, -120);
  EXPECT_EQ(c->GetScrollPos(TScrollBarKind::sbVertical), before);
  EXPECT_EQ(v->value(), before);

  // A disabled bar stays shown.
  c->EnableScrollBar(TScrollBarKind::sbVertical, false);
  EXPECT_FALSE(c->ScrollBarEnabled(TScrollBarKind::sbVertical));
  EXPECT_FALSE(v->isEnabled());
  EXPECT_TRUE(c->ScrollBarVisible(TScrollBarKind::sbVertical));
}

// Controls made in numbers out of view keep their bars as plain state until
// first painted; the bar then stands as if it had been made at once.
TEST(WindowScrollBars, PutOffBarsAreMadeWhenFirstPainted) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 200);
  TPanel* c = nullptr;
  {
    const TDeferUntilPainted defer;
    c = new TPanel(&form);
  }
  auto* early = new TPanel(&form);  // made before: bars at once
  early->SetParent(&form);
  early->ShowScrollBar(TScrollBarKind::sbVertical, true);
  EXPECT_NE(BarOf(*early, Qt::Vertical), nullptr);

  c->SetParent(&form);
  c->SetBounds(0, 0, 200, 100);
  c->SetColor(clRed);
  c->Font.SetColor(clBlue);
  c->Font.SetSize(13);
  const int ext = c->Widget()->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  c->ShowScrollBar(TScrollBarKind::sbVertical, true);
  TScrollInfo info;
  info.Max = 99;
  info.Page = 10;
  info.Pos = 95;
  c->SetScrollInfo(TScrollBarKind::sbVertical, info);
  c->EnableScrollBar(TScrollBarKind::sbVertical, false);
  // No window yet, but the layout, the range and the state are all there.
  EXPECT_EQ(BarOf(*c, Qt::Vertical), nullptr);
  EXPECT_TRUE(c->ScrollBarVisible(TScrollBarKind::sbVertical));
  EXPECT_EQ(c->ClientWidth(), 200 - ext);
  EXPECT_EQ(c->GetScrollPos(TScrollBarKind::sbVertical), 90);
  EXPECT_FALSE(c->ScrollBarEnabled(TScrollBarKind::sbVertical));
  EXPECT_EQ(c->GetColor(), clRed);
  EXPECT_NE(c->Widget()->palette().color(QPalette::Window), QColor(Qt::red));

  form.Show();
  Application()->ProcessMessages();
  QScrollBar* v = BarOf(*c, Qt::Vertical);
  ASSERT_NE(v, nullptr);
  EXPECT_TRUE(v->isVisible());
  EXPECT_EQ(v->geometry(), QRect(200 - ext, 0, ext, 100));
  EXPECT_EQ(v->maximum(), 90);
  EXPECT_EQ(v->pageStep(), 10);
  EXPECT_EQ(v->value(), 90);
  EXPECT_FALSE(v->isEnabled());
  EXPECT_EQ(BarOf(*c, Qt::Horizontal), nullptr);  // never shown, never made
  // The colour and the font came with the paint, for the bar to inherit.
  EXPECT_EQ(c->Widget()->palette().color(QPalette::Window), QColor(Qt::red));
  EXPECT_EQ(v->palette().color(QPalette::Window), QColor(Qt::red));
  EXPECT_EQ(c->Widget()->palette().color(QPalette::WindowText), QColor(Qt::blue));
  EXPECT_EQ(c->Widget()->font(), MakeQFont(c->Font));
  c->SetColor(clLime);  // and go at once now
  EXPECT_EQ(c->Widget()->palette().color(QPalette::Window), QColor(Qt::green));

  // A control that gets a child hands its colour on first.
  TPanel* parent = nullptr;
  {
    const TDeferUntilPainted defer;
    parent = new TPanel(&form);
    parent->SetColor(clYellow);
    auto* child = new TPanel(&form);
    child->SetParent(parent);
    EXPECT_EQ(parent->Widget()->palette().color(QPalette::Window), QColor(Qt::yellow));
  }

  // The made bar speaks for the control as any other.
  c->EnableScrollBar(TScrollBarKind::sbVertical, true);
  EXPECT_TRUE(v->isEnabled());
  std::vector<ScrollRecord> got;
  c->OnWindowScroll = [&](TObject*, TScrollBarKind kind, TScrollCode code, int pos) { got.push_back({kind, code, pos}); };
  v->triggerAction(QAbstractSlider::SliderSingleStepSub);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].code, TScrollCode::scLineUp);
  // From now on a bar is made as soon as it shows.
  c->ShowScrollBar(TScrollBarKind::sbHorizontal, true);
  EXPECT_NE(BarOf(*c, Qt::Horizontal), nullptr);
}

}  // namespace
}  // namespace ond
