// The window layer under the offscreen platform: events in, state or painted
// pixels out.
#include <gtest/gtest.h>

#include <QApplication>
#include <QAbstractScrollArea>
#include <QClipboard>
#include <QElapsedTimer>
#include <QThread>
#include <QTreeWidget>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QStyleOptionMenuItem>
#include <QMouseEvent>
#include <QUrl>
#include <QWidget>
#include <stdexcept>

#include "platform/ActnList.h"
#include "platform/Clipbrd.h"
#include "platform/ComCtrls.h"
#include "platform/Dialogs.h"
#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/ImgList.h"
#include "platform/Menus.h"
#include "platform/core/SysUtils.h"
#include "platform/StdCtrls.h"
#include "platform/core/CodePage.h"

namespace ond {
namespace {

// Reads how a menu would draw the check mark of each of its entries.
class MenuProbe : public QMenu {
 public:
  QStyleOptionMenuItem::CheckType CheckType(int i) {
    QStyleOptionMenuItem opt;
    initStyleOption(&opt, actions()[i]);
    return opt.checkType;
  }
};

TEST(Components, OwnerFreesAndFreeNotificationClearsReferences) {
  auto* owner = new TComponent(nullptr);
  auto* panel = new TPanel(owner);
  auto* menu = new TPopupMenu(owner);
  panel->SetPopupMenu(menu);
  EXPECT_EQ(owner->ComponentCount(), 2);
  delete menu;  // the control must forget it
  EXPECT_EQ(panel->GetPopupMenu(), nullptr);
  EXPECT_EQ(owner->ComponentCount(), 1);
  delete owner;  // frees the panel too; ASan checks nothing is left
}

TEST(Controls, AlignmentFollowsTheOriginalOrder) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 400, 300);
  auto* bottom = new TPanel(&form);
  bottom->SetHeight(20);
  bottom->SetAlign(TAlign::alBottom);
  bottom->SetParent(&form);
  auto* right = new TPanel(&form);
  right->SetWidth(100);
  right->SetAlign(TAlign::alRight);
  right->SetParent(&form);
  auto* splitter = new TSplitter(&form);
  splitter->SetAlign(TAlign::alRight);
  splitter->SetWidth(2);
  splitter->SetParent(&form);
  auto* top = new TPanel(&form);
  top->SetHeight(25);
  top->SetAlign(TAlign::alTop);
  top->SetParent(&form);
  auto* client = new TPanel(&form);
  client->SetAlign(TAlign::alClient);
  client->SetParent(&form);

  EXPECT_EQ(top->BoundsRect(), Rect(0, 0, 400, 25));
  EXPECT_EQ(bottom->BoundsRect(), Rect(0, 280, 400, 300));
  EXPECT_EQ(right->BoundsRect(), Rect(300, 25, 400, 280));
  EXPECT_EQ(splitter->BoundsRect(), Rect(298, 25, 300, 280));
  EXPECT_EQ(client->BoundsRect(), Rect(0, 25, 298, 280));

  // Hidden controls give up their room; resizing the window re-lays all.
  top->Hide();
  form.SetBounds(0, 0, 500, 300);
  EXPECT_EQ(client->BoundsRect(), Rect(0, 0, 398, 280));
  EXPECT_EQ(right->BoundsRect(), Rect(400, 0, 500, 280));

  // The splitter resizes its neighbour within the minimum and the room left.
  EXPECT_EQ(splitter->FindControl(), right);
  splitter->MinSize = 3;
  int asked = 0;
  splitter->OnCanResize = [&](TObject*, int& newSize, bool& accept) {
    asked = newSize;
    accept = newSize >= 50;
  };
  EXPECT_TRUE(splitter->ResizeControl(150));
  EXPECT_EQ(right->Width(), 150);
  EXPECT_EQ(client->Width(), 500 - 150 - 2);
  EXPECT_FALSE(splitter->ResizeControl(40));
  EXPECT_EQ(asked, 40);
  EXPECT_EQ(right->Width(), 150);
  splitter->ResizeControl(10000);
  EXPECT_EQ(asked, 500 - 2 - 3);  // the client keeps the minimum
}

TEST(Controls, SplitterFollowsTheMouse) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 600, 200);
  auto* tree = new TPanel(&form);
  tree->SetWidth(200);
  tree->SetAlign(TAlign::alRight);
  tree->SetParent(&form);
  auto* splitter = new TSplitter(&form);
  splitter->SetAlign(TAlign::alRight);
  splitter->SetWidth(2);
  splitter->SetParent(&form);
  form.ShowForm();
  QWidget* w = splitter->Widget();
  auto send = [&](QEvent::Type type, int x, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(x, 5), w->mapToGlobal(QPointF(x, 5)), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
  };
  send(QEvent::MouseButtonPress, 1, Qt::LeftButton);
  send(QEvent::MouseMove, -49, Qt::LeftButton);  // 50 pixels to the left widens the right panel
  send(QEvent::MouseButtonRelease, -49, Qt::NoButton);
  EXPECT_EQ(tree->Width(), 250);
}

TEST(Canvas, ColoursTextAndClipping) {
  EXPECT_EQ(ColorToRGB(clRed), 0x0000FF);
  const QColor window = QApplication::palette().color(QPalette::Base);
  EXPECT_EQ(ColorToRGB(clWindow), RGB(window.red(), window.green(), window.blue()));
  EXPECT_EQ(TFont::ResolveFamily("Courier New"), TFont::ResolveFamily("consolas"));
  EXPECT_NE(TFont::ResolveFamily("Courier New"), "Courier New");

  TBitmap bmp(100, 40);
  TCanvas& c = *bmp.Canvas();
  c.Brush.Color = clWhite;
  c.FillRect(Rect(0, 0, 100, 40));
  c.Brush.Color = clBlue;
  c.FillRect(Rect(10, 10, 20, 20));
  EXPECT_EQ(c.GetPixel(10, 10), clBlue);
  EXPECT_EQ(c.GetPixel(19, 19), clBlue);
  EXPECT_EQ(c.GetPixel(20, 20), clWhite);  // right and bottom are exclusive

  // Lines leave out their end point.
  c.Pen.Color = clRed;
  c.MoveTo(0, 30);
  c.LineTo(5, 30);
  EXPECT_EQ(c.GetPixel(4, 30), clRed);
  EXPECT_EQ(c.GetPixel(5, 30), clWhite);

  // A monospace font has the same integer advance for every character,
  // Cyrillic included, and text measures as the sum of its advances.
  c.Font.SetName("Courier New");
  c.Font.SetHeight(-13);
  const int w = c.CharWidth('W');
  EXPECT_GT(w, 0);
  EXPECT_EQ(c.CharWidth('i'), w);
  EXPECT_EQ(c.CharWidth(0xC6), w);  // Cyrillic capital zhe
  EXPECT_EQ(c.TextWidth("abc\xC6"), 4 * w);

  // Explicit advances place each character; opaque drawing fills the rectangle.
  c.Brush.Color = clYellow;
  c.Font.SetColor(clBlack);
  const int adv[3] = {20, 20, 20};
  const TRect r = Rect(0, 0, 100, 20);
  c.ExtTextOut(0, 2, ETO_OPAQUE | ETO_CLIPPED, &r, "III", adv);
  EXPECT_EQ(c.GetPixel(99, 1), clYellow);
  auto inkIn = [&](int x0, int x1) {
    for (int x = x0; x < x1; ++x)
      for (int y = 0; y < 20; ++y)
        if (c.GetPixel(x, y) != clYellow) return true;
    return false;
  };
  EXPECT_TRUE(inkIn(0, w));
  EXPECT_FALSE(inkIn(w + 1, 20));
  EXPECT_TRUE(inkIn(20, 20 + w));
  EXPECT_TRUE(inkIn(40, 40 + w));

  // Clipping keeps drawing inside the clip rectangle.
  c.SetClipRect(Rect(50, 25, 60, 35));
  EXPECT_EQ(c.GetClipRect(), Rect(50, 25, 60, 35));
  c.Brush.Color = clGreen;
  c.FillRect(Rect(0, 20, 100, 40));
  EXPECT_EQ(c.GetPixel(55, 30), clGreen);
  EXPECT_NE(c.GetPixel(45, 30), clGreen);
  c.ResetClip();
}

// Text clipped to its cells leaves every pixel outside them as it was, and
// inside them draws what unclipped text draws, for every character in the
// styles the editor uses; blanks draw no ink, but an underline under them.
TEST(Canvas, ClippedTextStaysInItsCells) {
  constexpr int kW = 60, kH = 30, kX = 24, kY = 6;
  TBitmap clipped(kW, kH), free(kW, kH), later(kW, kH);
  for (TFontStyles style : {TFontStyles(0), TFontStyles(fsBold), TFontStyles(fsItalic),
                            TFontStyles(fsBold | fsItalic), TFontStyles(fsUnderline)}) {
    for (int ch = 33; ch < 256; ++ch) {
      for (TBitmap* b : {&clipped, &free, &later}) {
        TCanvas& c = *b->Canvas();
        c.Brush.Color = clWhite;
        c.FillRect(Rect(0, 0, kW, kH));
        c.Font.SetName("Courier New");
        c.Font.SetHeight(-13);
        c.Font.SetStyle(style);
        c.Font.SetColor(clBlack);
        c.Brush.Color = clYellow;
      }
      const int cw = clipped.Canvas()->CharWidth('W');
      const std::string text(2, static_cast<char>(ch));
      const TRect cells = Rect(kX, kY - 1, kX + 2 * cw, kY + 17);
      clipped.Canvas()->ExtTextOut(kX, kY, ETO_OPAQUE | ETO_CLIPPED, &cells, text, nullptr);
      free.Canvas()->ExtTextOut(kX, kY, ETO_OPAQUE, &cells, text, nullptr);
      // What reaches right of the cells is painted over by what comes next.
      later.Canvas()->ExtTextOut(kX, kY, ETO_OPAQUE | ETO_CLIPPED | ETO_RIGHT_PAINTED_LATER, &cells, text, nullptr);
      later.Canvas()->Brush.Color = clWhite;
      later.Canvas()->FillRect(Rect(cells.Right, 0, kW, kH));
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
          const bool inside = PtInRect(cells, TPoint{x, y});
          const TColor got = clipped.Canvas()->GetPixel(x, y);
          ASSERT_EQ(got, inside ? free.Canvas()->GetPixel(x, y) : clWhite)
              << "character " << ch << ", style " << int(style) << ", pixel " << x << "," << y;
          ASSERT_EQ(later.Canvas()->GetPixel(x, y), got)
              << "character " << ch << ", style " << int(style) << ", pixel " << x << "," << y;
        }
    }
  }
  TBitmap blank(kW, kH);
  TCanvas& c = *blank.Canvas();
  c.Font.SetName("Courier New");
  c.Font.SetHeight(-13);
  c.Font.SetColor(clBlack);
  c.Brush.Color = clWhite;
  const TRect r = Rect(0, 0, kW, kH);
  auto ink = [&] {
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        if (c.GetPixel(x, y) != clWhite) return true;
    return false;
  };
  c.ExtTextOut(2, 2, ETO_OPAQUE | ETO_CLIPPED, &r, "    ", nullptr);
  EXPECT_FALSE(ink());
  c.Font.SetStyle(fsUnderline);
  c.ExtTextOut(2, 2, ETO_OPAQUE | ETO_CLIPPED, &r, "    ", nullptr);
  EXPECT_TRUE(ink());
}

TEST(ImageList, CheckImagesFromTheResources) {
  TImageList list(nullptr);
  EXPECT_EQ(list.AddResource("CheckImages"), 0);
  EXPECT_EQ(list.Count(), 4);  // none, unchecked, checked, greyed
  TBitmap bmp(16, 16);
  bmp.Canvas()->Brush.Color = clRed;
  bmp.Canvas()->FillRect(Rect(0, 0, 16, 16));
  list.Draw(bmp.Canvas(), 0, 0, 0);
  EXPECT_EQ(bmp.Canvas()->GetPixel(7, 7), clRed);  // image 0 is empty
  list.Draw(bmp.Canvas(), 0, 0, 1);
  EXPECT_EQ(bmp.Canvas()->GetPixel(7, 7), clWhite);
  list.Draw(bmp.Canvas(), 0, 0, 2);
  bool mark = false;
  for (int y = 2; y < 13; ++y)
    for (int x = 2; x < 13; ++x) mark |= bmp.Canvas()->GetPixel(x, y) == clBlack;
  EXPECT_TRUE(mark);
}

TEST(Application, ExceptionsOfHandlersReachTheHook) {
  std::string seen;
  Application()->OnException = [&](TObject*, const std::exception& e) { seen = e.what(); };
  TTimer timer(nullptr);
  timer.SetInterval(1);
  timer.OnTimer = [&](TObject*) {
    timer.SetEnabled(false);
    throw Exception("boom");
  };
  QElapsedTimer clock;
  clock.start();
  while (seen.empty() && clock.elapsed() < 5000) {
    QApplication::processEvents();
    QThread::msleep(2);
  }
  EXPECT_EQ(seen, "boom");
  Application()->OnException = nullptr;

  Application()->MessageBoxHook = [](const std::string& text, const std::string& caption, unsigned flags) {
    return text == "Q" && caption == "Ondrel" && flags == (MB_YESNOCANCEL | MB_ICONQUESTION) ? IDNO : IDOK;
  };
  EXPECT_EQ(Application()->MessageBox("Q", "Ondrel", MB_YESNOCANCEL | MB_ICONQUESTION), IDNO);
  Application()->MessageBoxHook = nullptr;
}

// Work on the window's thread that Esc may stop: Esc is noticed wherever it
// is sent, and no key or click reaches a window meanwhile.
TEST(Application, ProcessingThatWatchesForEscapeTakesEveryKeyAndClick) {
  struct TCounter : QObject {
    int Keys = 0, Clicks = 0;
    bool event(QEvent* e) override {
      if (e->type() == QEvent::KeyPress) ++Keys;
      if (e->type() == QEvent::MouseButtonPress) ++Clicks;
      return QObject::event(e);
    }
  } target;
  auto key = [&](int code) {
    QCoreApplication::postEvent(&target, new QKeyEvent(QEvent::KeyPress, code, Qt::NoModifier));
  };
  key(Qt::Key_A);
  QCoreApplication::postEvent(&target, new QMouseEvent(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1),
                                                       Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
  EXPECT_FALSE(Application()->ProcessMessagesWatchingEscape());
  key(Qt::Key_Escape);
  EXPECT_TRUE(Application()->ProcessMessagesWatchingEscape());
  EXPECT_FALSE(Application()->ProcessMessagesWatchingEscape());
  EXPECT_EQ(target.Keys, 0);
  EXPECT_EQ(target.Clicks, 0);
  // Afterwards keys arrive as ever.
  key(Qt::Key_Escape);
  QCoreApplication::processEvents();
  EXPECT_EQ(target.Keys, 1);
}

TEST(Actions, UpdateRunsBeforeExecuteAndGroupsExclude) {
  TComponent owner(nullptr);
  auto* a = new TAction(&owner);
  bool allowed = false;
  int runs = 0;
  a->OnUpdate = [&](TObject*) { a->SetEnabled(allowed); };
  a->OnExecute = [&](TObject*) { ++runs; };
  EXPECT_FALSE(a->Execute());  // the update just before refuses it
  allowed = true;
  EXPECT_TRUE(a->Execute());
  EXPECT_EQ(runs, 1);

  auto* b = new TAction(&owner);
  auto* c = new TAction(&owner);
  b->SetGroupIndex(3);
  c->SetGroupIndex(3);
  b->SetChecked(true);
  c->SetChecked(true);
  EXPECT_FALSE(b->GetChecked());
  EXPECT_TRUE(c->GetChecked());
  // A checked member of a group stays checked when executed again; toggles
  // outside groups flip.
  b->AutoCheck = c->AutoCheck = true;
  c->OnExecute = [&](TObject*) {};
  EXPECT_TRUE(c->Execute());
  EXPECT_TRUE(c->GetChecked());
  b->OnExecute = [&](TObject*) {};
  EXPECT_TRUE(b->Execute());
  EXPECT_TRUE(b->GetChecked());
  EXPECT_FALSE(c->GetChecked());
  auto* t = new TAction(&owner);
  t->AutoCheck = true;
  t->Execute();
  EXPECT_TRUE(t->GetChecked());
  t->Execute();
  EXPECT_FALSE(t->GetChecked());
  // Grouped actions look like radio items in menus; plain checked ones like
  // check boxes.
  {
    TPopupMenu popup(nullptr);
    for (TAction* x : {b, t}) {
      auto* item = new TMenuItem(&popup);
      item->SetAction(x);
      popup.Items()->Add(item);
    }
    auto* radio = new TMenuItem(&popup);
    radio->Caption = "r";
    radio->RadioItem = true;
    radio->Checked = true;
    popup.Items()->Add(radio);
    MenuProbe menu;
    popup.Items()->BuildMenu(&menu);
    ASSERT_EQ(menu.actions().size(), 3);
    EXPECT_EQ(menu.CheckType(0), QStyleOptionMenuItem::Exclusive);
    EXPECT_EQ(menu.CheckType(1), QStyleOptionMenuItem::NonExclusive);
    EXPECT_EQ(menu.CheckType(2), QStyleOptionMenuItem::Exclusive);
    EXPECT_TRUE(menu.actions()[0]->isChecked());
    EXPECT_TRUE(menu.actions()[2]->isChecked());
  }

  // Idle updates run all registered update handlers.
  allowed = false;
  Application()->UpdateActions();
  EXPECT_FALSE(a->GetEnabled());
  EXPECT_EQ(ShortCutToText(ShortCut('S', ssCtrl)), "Ctrl+S");
}

TEST(ScrollBar, PositionRangeAndUserScrolling) {
  TScrollBar bar(nullptr, TScrollBarKind::sbVertical);
  bar.SetParams(0, 0, 0);
  bar.SetSmallChange(25);
  bar.SetLargeChange(100);
  int changes = 0;
  bar.OnChange = [&](TObject*) { ++changes; };
  bar.SetMax(300);
  bar.SetPosition(500);
  EXPECT_EQ(bar.GetPosition(), 300);
  EXPECT_EQ(changes, 1);
  int oldPos = -1, newPos = -1;
  bar.OnScroll = [&](TObject*, TScrollCode, int& pos) {
    oldPos = bar.GetPosition();
    newPos = pos;
  };
  bar.UserScroll(TScrollCode::scLineUp);
  EXPECT_EQ(oldPos, 300);
  EXPECT_EQ(newPos, 275);
  EXPECT_EQ(bar.GetPosition(), 275);
  bar.UserScroll(TScrollCode::scPageDown);
  EXPECT_EQ(bar.GetPosition(), 300);
}

TEST(ScrollBox, ScrollByMovesChildren) {
  TScrollBox box(nullptr);
  box.SetBounds(0, 0, 200, 200);
  auto* p = new TPanel(&box);
  p->SetParent(&box);
  p->SetBounds(0, 50, 100, 100);
  box.ScrollBy(0, -30);
  EXPECT_EQ(p->Top(), 20);
}

TEST(Clipboard, CyrillicTextAndPrivateBlocks) {
  const std::string text = "\xCF\xF0\xE8\xE2\xE5\xF2 world";  // "Привет world"
  const TClipboardFormat block = TClipboard::RegisterFormat("OndEdit Control Block Type");
  EXPECT_EQ(block, TClipboard::RegisterFormat("OndEdit Control Block Type"));
  TClipboard* cb = Clipboard();
  cb->Open();
  cb->Clear();
  cb->SetAsText(text);
  cb->SetFormatData(block, std::string("\x02" "abc\0", 5));
  cb->Close();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8("Привет world"));
  EXPECT_EQ(cb->GetAsText(), text);
  EXPECT_TRUE(cb->HasFormat(block));
  EXPECT_EQ(cb->GetFormatData(block), std::string("\x02" "abc\0", 5));
  // Text placed alone replaces everything.
  cb->SetAsText("x");
  EXPECT_FALSE(cb->HasFormat(block));
}

TEST(Dialogs, FilterStrings) {
  const auto f = TOpenDialog::ParseFilter("All (*.zu, *.q)|*.zu;*.q|Main|@quarn.zu");
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[0].first, "All (*.zu, *.q)");
  EXPECT_EQ(f[0].second, "*.zu;*.q");
  EXPECT_EQ(f[1].second, "@quarn.zu");
}

class KeyRecorder : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  std::vector<int> downs;
  std::string chars;
  int wheel = 0;

 protected:
  void KeyDown(std::uint16_t& key, TShiftState shift) override {
    downs.push_back(key | (shift << 16));
    if (key == VK_TAB) key = 0;
  }
  void KeyPress(char& key) override { chars += key; }
  bool DoMouseWheel(TShiftState, int delta, TPoint) override {
    wheel += delta;
    return true;
  }
};

TEST(CustomControl, KeysArriveAsVirtualKeysAndCodePageCharacters) {
  TForm form(nullptr);
  auto* c = new KeyRecorder(&form);
  c->SetParent(&form);
  QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier, QString(QChar(1)));
  QApplication::sendEvent(c->Widget(), &a);
  QKeyEvent zhe(QEvent::KeyPress, 0x0416, Qt::ShiftModifier, QString(QChar(0x0416)));
  QApplication::sendEvent(c->Widget(), &zhe);
  QKeyEvent left(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier);
  QApplication::sendEvent(c->Widget(), &left);
  ASSERT_EQ(c->downs.size(), 2u);  // the Cyrillic key has no virtual key here
  EXPECT_EQ(c->downs[0], 'A' | (ssCtrl << 16));
  EXPECT_EQ(c->downs[1], VK_LEFT);
  EXPECT_EQ(c->chars, std::string("\x01\xC6"));
  QWheelEvent wheel(QPointF(1, 1), QPointF(1, 1), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(c->Widget(), &wheel);
  EXPECT_EQ(c->wheel, -120);

  // With a Cyrillic layout the window system still names the physical key
  // (X key code 54 is the key of Latin "C"): Ctrl with it is Ctrl+C.
  c->downs.clear();
  c->chars.clear();
  QKeyEvent es(QEvent::KeyPress, 0x0421, Qt::ControlModifier, 54, 0x6d3, 0x4, QString(QChar(0x0441)));
  QApplication::sendEvent(c->Widget(), &es);
  QKeyEvent yo(QEvent::KeyPress, 0x0401, Qt::NoModifier, 49, 0x6b3, 0, QString(QChar(0x0451)));
  QApplication::sendEvent(c->Widget(), &yo);
  ASSERT_EQ(c->downs.size(), 2u);
  EXPECT_EQ(c->downs[0], 'C' | (ssCtrl << 16));
  EXPECT_EQ(c->downs[1], VK_OEM_3);
  EXPECT_EQ(c->chars, std::string("\x03\xB8"));  // Ctrl+C types its control character
}

TEST(Forms, DroppedFilesArriveAsPaths) {
  TForm form(nullptr);
  form.DragAcceptFiles(true);
  std::vector<std::string> got;
  form.OnDropFiles = [&](TObject*, const std::vector<std::string>& files, TPoint) { got = files; };
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile("/tmp/a b/\xD0\xB6.zu"), QUrl::fromLocalFile("/tmp/c.zu")});
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(form.Widget(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(form.Widget(), &drop);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], "/tmp/a b/\xD0\xB6.zu");
}

TEST(TreeView, NodesHitTestingAndCustomDraw) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 300);
  auto* images = new TImageList(&form);
  images->AddResource("CheckImages");
  auto* tree = new TTreeView(&form);
  tree->SetParent(&form);
  tree->SetAlign(TAlign::alClient);
  tree->SetStateImages(images);
  tree->SetIndent(22);
  TTreeNode* root = tree->Items()->Add(nullptr, "root");
  TTreeNode* a = tree->Items()->AddChild(root, "a");
  TTreeNode* b = tree->Items()->AddChild(root, "b");
  a->SetStateIndex(2);
  b->SetStateIndex(1);
  tree->FullExpand();
  form.ShowForm();
  QApplication::processEvents();
  EXPECT_EQ(tree->Items()->Count(), 3);
  EXPECT_EQ(tree->Items()->Item(2), b);
  EXPECT_EQ(b->AbsoluteIndex(), 2);
  EXPECT_EQ(b->Index(), 1);
  const TRect row = a->DisplayRect(false);
  const TRect text = a->DisplayRect(true);
  EXPECT_EQ(tree->GetNodeAt(text.Left + 2, row.Top + 1), a);
  EXPECT_TRUE(tree->GetHitTestInfoAt(text.Left - 8, row.Top + 2) & htOnStateIcon);
  EXPECT_TRUE(tree->GetHitTestInfoAt(text.Left + 3, row.Top + 2) & htOnLabel);
  EXPECT_FALSE(tree->GetHitTestInfoAt(text.Left + 3, row.Top + 2) & htOnStateIcon);
  TTreeNode* changed = nullptr;
  tree->OnChange = [&](TObject*, TTreeNode* n) { changed = n; };
  tree->SetSelected(b);
  EXPECT_EQ(changed, b);
  int drawn = 0;
  tree->OnCustomDrawItem = [&](TObject*, TTreeNode* n, TCustomDrawState, bool&) {
    ++drawn;
    if (n == a) tree->Canvas()->Font.SetColor(clRed);
  };
  QImage img(tree->Widget()->size(), QImage::Format_ARGB32);
  tree->Widget()->render(&img);
  EXPECT_GE(drawn, 3);
  bool red = false;
  for (int x = text.Left; x < text.Right; ++x)
    for (int y = row.Top; y < row.Bottom; ++y) {
      const QPoint p = static_cast<QAbstractScrollArea*>(tree->Widget())->viewport()->mapTo(tree->Widget(), QPoint(x, y));
      const QRgb c = img.pixel(p);
      red |= qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80;
    }
  EXPECT_TRUE(red);
  root->Delete();
  EXPECT_EQ(tree->Items()->Count(), 0);
}

// Clearing a shown tree of thousands of nodes (a big set's files closing)
// resets the view's model once: no row is taken out one at a time, so the
// cost does not depend on which row is current or in view.
TEST(TreeView, ClearingResetsTheViewOnceWhateverRowIsCurrent) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 300);
  auto* tree = new TTreeView(&form);
  tree->SetParent(&form);
  tree->SetAlign(TAlign::alClient);
  form.ShowForm();
  auto* model = static_cast<QTreeWidget*>(tree->Widget())->model();
  int removals = 0, resets = 0;
  QObject::connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, [&] { ++removals; });
  QObject::connect(model, &QAbstractItemModel::modelAboutToBeReset, [&] { ++resets; });
  int changes = 0;
  tree->OnChange = [&](TObject*, TTreeNode*) { ++changes; };
  for (bool lastCurrent : {false, true}) {
    SCOPED_TRACE(lastCurrent);
    TTreeNode* root = tree->Items()->Add(nullptr, "root");
    TTreeNode* last = nullptr;
    for (int i = 0; i < 3000; ++i) last = tree->Items()->AddChild(root, "p" + std::to_string(i) + ".zu");
    tree->FullExpand();
    tree->SetSelected(lastCurrent ? last : root);
    QApplication::processEvents();
    removals = resets = changes = 0;
    tree->Items()->Clear();
    EXPECT_EQ(removals, 0);
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(tree->Items()->GetFirstNode(), nullptr);
    EXPECT_EQ(static_cast<QTreeWidget*>(tree->Widget())->topLevelItemCount(), 0);
    QApplication::processEvents();
  }
}

}  // namespace
}  // namespace ond
