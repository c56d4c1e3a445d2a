// A parent that hides the windows of children out of its client area: the
// program still counts them visible, and they come back when they move into
// view, when the view grows, or when they take the keyboard focus.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/QtBridge.h"
#include "platform/StdCtrls.h"

namespace ond {
namespace {

struct Stack {
  TForm form{nullptr};
  TScrollBox* box;
  TPanel* panels[3];
  Stack() {
    form.SetBounds(0, 0, 300, 300);
    box = new TScrollBox(&form);
    box->SetBounds(0, 0, 300, 200);
    box->SetParent(&form);
    box->SetHideChildrenOutOfView(true);
    for (int i = 0; i < 3; ++i) {
      panels[i] = new TPanel(&form);
      panels[i]->SetBounds(0, 150 * i, 300, 150);
      panels[i]->SetParent(box);
    }
    form.Show();
    Application()->ProcessMessages();
  }
  // Window shown (within its parent), as the window system sees it.
  bool Shown(int i) const { return !panels[i]->Widget()->isHidden(); }
};

TEST(OutOfView, ChildrenOutsideTheViewHideTheirWindowsOnly) {
  Stack s;
  EXPECT_TRUE(s.Shown(0));
  EXPECT_TRUE(s.Shown(1));  // partly in view
  EXPECT_FALSE(s.Shown(2));
  for (TPanel* p : s.panels) EXPECT_TRUE(p->GetVisible());

  // Moving into view, out of it, and a view grown to reach it.
  s.box->ScrollBy(0, -200);
  EXPECT_FALSE(s.Shown(0));
  EXPECT_TRUE(s.Shown(1));
  EXPECT_TRUE(s.Shown(2));
  s.box->ScrollBy(0, 200);
  EXPECT_FALSE(s.Shown(2));
  s.box->SetHeight(301);
  EXPECT_TRUE(s.Shown(2));
  s.box->SetHeight(200);
  EXPECT_FALSE(s.Shown(2));

  // What the program hid stays hidden in view; what it shows out of view
  // waits for the view.
  s.panels[0]->SetVisible(false);
  EXPECT_FALSE(s.Shown(0));
  s.panels[2]->SetVisible(false);
  s.panels[2]->SetVisible(true);
  EXPECT_FALSE(s.Shown(2));
  EXPECT_TRUE(s.panels[2]->GetVisible());
  s.panels[0]->SetVisible(true);
  EXPECT_TRUE(s.Shown(0));

  // Switched off, every visible child shows again.
  s.box->SetHideChildrenOutOfView(false);
  EXPECT_TRUE(s.Shown(2));
}

// The controls put into a panel out of view wait with it: they are not
// polished for the style until the panel comes into view, and then they
// show with it, except one the program hid.
TEST(OutOfView, ChildrenOfAHiddenWindowShowWithIt) {
  Stack s;
  ASSERT_FALSE(s.Shown(2));
  auto* shown = new TPanel(&s.form);
  shown->SetBounds(10, 10, 50, 50);
  shown->SetParent(s.panels[2]);
  auto* hidden = new TPanel(&s.form);
  hidden->SetBounds(70, 10, 50, 50);
  hidden->SetVisible(false);
  hidden->SetParent(s.panels[2]);
  EXPECT_FALSE(shown->Widget()->testAttribute(Qt::WA_WState_Polished));
  EXPECT_TRUE(shown->GetVisible());
  EXPECT_FALSE(shown->Widget()->isHidden());
  EXPECT_TRUE(hidden->Widget()->isHidden());

  s.box->ScrollBy(0, -200);
  Application()->ProcessMessages();
  ASSERT_TRUE(s.Shown(2));
  EXPECT_TRUE(shown->Widget()->isVisible());
  EXPECT_TRUE(shown->Widget()->testAttribute(Qt::WA_WState_Polished));
  EXPECT_FALSE(hidden->Widget()->isVisible());
  hidden->SetVisible(true);
  EXPECT_TRUE(hidden->Widget()->isVisible());

  // Into a panel on the screen, a control shows at once.
  auto* late = new TPanel(&s.form);
  late->SetBounds(10, 70, 50, 50);
  late->SetParent(s.panels[2]);
  EXPECT_TRUE(late->Widget()->isVisible());
}

TEST(OutOfView, TheFocusBringsAControlInAndKeepsItThere) {
  Stack s;
  auto* inner = new TPanel(&s.form);
  inner->SetTabStop(true);
  inner->SetParent(s.panels[2]);
  inner->SetBounds(10, 10, 50, 50);
  ASSERT_FALSE(s.Shown(2));
  // Out of view, yet able to take the focus: it comes into view with it.
  EXPECT_TRUE(inner->CanFocus());
  inner->SetFocus();
  EXPECT_TRUE(s.Shown(2));
  EXPECT_TRUE(inner->Widget()->isVisible());
  EXPECT_EQ(s.form.Widget()->focusWidget(), inner->Widget());

  // Moving it about out of view keeps the window that holds the focus.
  s.box->ScrollBy(0, 20);
  EXPECT_TRUE(s.Shown(2));
  EXPECT_EQ(s.form.Widget()->focusWidget(), inner->Widget());

  // Once the focus is elsewhere, the next move hides it.
  s.panels[0]->SetTabStop(true);
  s.panels[0]->SetFocus();
  s.box->ScrollBy(0, -20);
  EXPECT_FALSE(s.Shown(2));

  // A child the program hid cannot take the focus.
  s.panels[2]->SetVisible(false);
  EXPECT_FALSE(inner->CanFocus());
}

// A label made out of view takes its colour, font and size when it shows, or
// when it is measured first.
TEST(OutOfView, ALabelMadeOutOfViewTakesItsLookWhenShownOrMeasured) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 300);
  auto* plain = new TLabel(&form);  // made at once: sized for an empty text
  plain->SetParent(&form);
  TLabel* measured = nullptr;
  TLabel* later = nullptr;
  TLabel* empty = nullptr;
  {
    const TDeferUntilPainted defer;
    measured = new TLabel(&form);
    later = new TLabel(&form);
    empty = new TLabel(&form);
  }
  measured->Font.SetSize(14);
  measured->SetCaption("Xy");
  plain->Font.SetSize(14);
  plain->SetCaption("Xy");
  EXPECT_EQ(measured->Width(), plain->Width());
  EXPECT_EQ(measured->Height(), plain->Height());
  plain->Font.SetSize(8);
  plain->SetCaption("");

  later->SetAutoSize(false);
  later->SetBounds(0, 100, 50, 20);
  later->SetColor(clRed);
  later->Font.SetColor(clBlue);
  later->SetCaption("text");
  later->SetParent(&form);
  EXPECT_NE(later->Widget()->palette().color(QPalette::Window), QColor(Qt::red));
  form.Show();
  Application()->ProcessMessages();
  EXPECT_EQ(later->Widget()->palette().color(QPalette::Window), QColor(Qt::red));
  EXPECT_EQ(later->Widget()->palette().color(QPalette::WindowText), QColor(Qt::blue));
  EXPECT_EQ(later->Widget()->font(), MakeQFont(later->Font));
  EXPECT_EQ(later->Width(), 50);

  // Never measured, auto-sized: the size comes with the look.
  empty->Font.SetSize(8);
  empty->SetParent(&form);
  Application()->ProcessMessages();
  EXPECT_EQ(empty->Height(), plain->Height());
}

}  // namespace
}  // namespace ond
