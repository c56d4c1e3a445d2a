// The main window and its controls under the offscreen platform.
#include <gtest/gtest.h>

#include <cerrno>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QContextMenuEvent>
#include <QToolTip>
#include <QElapsedTimer>
#include <QThread>
#include <QWidget>
#include <fstream>
#include <unistd.h>

#include "highlight/OndBuiltinSchemes.h"
#include "highlight/XmlModel.h"
#include "platform/Graphics.h"
#include "platform/ImgList.h"
#include "platform/Menus.h"
#include "platform/core/SysUtils.h"
#include "services/ULocalization.h"
#include "services/USystem.h"
#include "tests/support/TempDir.h"
#include "workspace/StatusPanels.h"
#include "workspace/CheckTreeViewEx.h"
#include "workspace/Compatibility.h"
#include "workspace/StatusBarEx.h"
#include "workspace/UMain.h"
#include "workspace/URusClipboard.h"

#include <QClipboard>
#include <QMimeData>
#include <QTimer>

namespace ond {
namespace {

void WriteFile(const std::string& name, const std::string& text) {
  std::ofstream(name, std::ios::binary) << text;
}

// Answers every message box with the queued answers and records the texts.
struct MessageBoxes {
  std::vector<int> answers;
  std::vector<std::string> texts;
  MessageBoxes() {
    Application()->MessageBoxHook = [this](const std::string& text, const std::string& caption, unsigned) {
      EXPECT_EQ(caption, "Ondrel");
      texts.push_back(text);
      if (answers.empty()) return IDCANCEL;
      const int a = answers.front();
      answers.erase(answers.begin());
      return a;
    };
  }
  ~MessageBoxes() { Application()->MessageBoxHook = nullptr; }
};

void Click(QWidget* w, QPoint p, Qt::MouseButton button = Qt::LeftButton) {
  QMouseEvent down(QEvent::MouseButtonPress, QPointF(p), w->mapToGlobal(QPointF(p)), button, button, Qt::NoModifier);
  QApplication::sendEvent(w, &down);
  QMouseEvent up(QEvent::MouseButtonRelease, QPointF(p), w->mapToGlobal(QPointF(p)), button, Qt::NoButton,
                 Qt::NoModifier);
  QApplication::sendEvent(w, &up);
}

// Ink of dark text, smoothed edges included.
bool Dark(TColor c) { return (c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF) < 3 * 0x60; }

QWidget* Viewport(TTreeView* tree) { return static_cast<QAbstractScrollArea*>(tree->Widget())->viewport(); }

TEST(CheckTreeView, ToggleByClickAndSpaceWithRefusalAndCascade) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 300);
  auto* tree = new TCheckTreeViewEx(&form);
  tree->SetParent(&form);
  tree->SetAlign(TAlign::alClient);
  TTreeNode* root = tree->Items()->Add(nullptr, "root");
  TTreeNode* a = tree->Items()->AddChild(root, "a");
  TTreeNode* b = tree->Items()->AddChild(root, "b");
  TTreeNode* a1 = tree->Items()->AddChild(a, "a1");
  EXPECT_EQ(a->GetStateIndex(), 1);  // new nodes start unchecked
  tree->FullExpand();
  form.ShowForm();
  QApplication::processEvents();

  // Cascade: the subtree follows, the ancestors show their children.
  EXPECT_TRUE(tree->ToggleNode(a));
  EXPECT_EQ(a->GetStateIndex(), 2);
  EXPECT_EQ(a1->GetStateIndex(), 2);
  EXPECT_EQ(root->GetStateIndex(), 3);
  tree->ToggleNode(b);
  EXPECT_EQ(root->GetStateIndex(), 2);
  tree->ToggleNode(a1);
  EXPECT_EQ(a->GetStateIndex(), 1);
  EXPECT_EQ(root->GetStateIndex(), 3);

  // A click on the check image toggles; one on the text does not.
  bool refuse = false;
  int changes = 0;
  tree->OnStateChanging = [&](TObject*, TTreeNode*, bool& allow) { allow = !refuse; };
  tree->OnStateChange = [&](TObject*, TTreeNode*) { ++changes; };
  const TRect text = b->DisplayRect(true);
  const QPoint onImage(text.Left - 8, text.Top + 5);
  Click(Viewport(tree), onImage);
  EXPECT_EQ(b->GetStateIndex(), 1);
  EXPECT_EQ(changes, 1);
  Click(Viewport(tree), QPoint(text.Left + 4, text.Top + 5));
  EXPECT_EQ(b->GetStateIndex(), 1);
  refuse = true;
  Click(Viewport(tree), onImage);
  EXPECT_EQ(b->GetStateIndex(), 1);
  EXPECT_EQ(changes, 1);

  // Space toggles the selected node unless refused, and is swallowed.
  tree->SetSelected(b);
  QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
  QApplication::sendEvent(tree->Widget(), &space);
  EXPECT_EQ(b->GetStateIndex(), 1);
  EXPECT_TRUE(space.isAccepted());
  refuse = false;
  QKeyEvent space2(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
  QApplication::sendEvent(tree->Widget(), &space2);
  EXPECT_EQ(b->GetStateIndex(), 2);

  // A node without a check box gets none by space or by a toggle.
  changes = 0;
  TTreeNode* plain = tree->Items()->Add(nullptr, "plain");
  plain->SetStateIndex(-1);
  tree->SetSelected(plain);
  QKeyEvent space3(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
  QApplication::sendEvent(tree->Widget(), &space3);
  EXPECT_EQ(plain->GetStateIndex(), -1);
  plain->SetStateIndex(0);
  EXPECT_FALSE(tree->ToggleNode(plain));
  EXPECT_EQ(plain->GetStateIndex(), 0);
  EXPECT_EQ(changes, 0);

  // Without cascading, a node with state 0 keeps it whatever its children do.
  tree->CascadeChecks = false;
  a->SetStateIndex(0);
  tree->ToggleNode(a1);
  EXPECT_EQ(a->GetStateIndex(), 0);
  tree->SetShowCheckImage(false);
  EXPECT_EQ(root->GetStateIndex(), -1);
  EXPECT_EQ(tree->Items()->AddChild(root, "c")->GetStateIndex(), -1);
}

TEST(StatusBarEx, PanelsPaintTheirColoursAndTextAndSkipSameText) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 400, 100);
  auto* bar = new TStatusBarEx(&form);
  bar->SetParent(&form);
  TStatusPanelEx* p0 = bar->Panels()->Add();
  p0->SetWidth(100);
  TStatusPanelEx* p1 = bar->Panels()->Add();
  p1->SetWidth(100);
  p1->SetColor(clYellow);
  p1->SetAlignment(TAlignment::taCenter);
  EXPECT_EQ(bar->Height(), 19);
  EXPECT_EQ(bar->Top(), 100 - 19);
  EXPECT_EQ(bar->PanelRect(1).Right, 400 - 2);  // the last panel reaches the end
  EXPECT_EQ(bar->PanelAt(150, 10), 1);

  p0->SetText("Modified");
  TBitmap bmp;
  bar->PaintTo(bmp);
  EXPECT_EQ(bmp.Canvas()->GetPixel(300, 10), ColorToRGB(clYellow) & 0xFFFFFF);
  bool ink = false;
  for (int x = 2; x < 98; ++x)
    for (int y = 3; y < 18; ++y) ink |= bmp.Canvas()->GetPixel(x, y) == 0;
  EXPECT_TRUE(ink);

  // Repaints: a changed text repaints its panel, the same text does not.
  form.ShowForm();
  QApplication::processEvents();
  struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++paints;
      return false;
    }
  } counter;
  bar->Widget()->installEventFilter(&counter);
  p0->SetText("Modified");
  QApplication::processEvents();
  EXPECT_EQ(counter.paints, 0);
  p0->SetText("File not found");
  QApplication::processEvents();
  EXPECT_GT(counter.paints, 0);
  bar->Widget()->removeEventFilter(&counter);

  // A centred text sits in the middle of its panel.
  p1->SetText("ii");
  bar->PaintTo(bmp);
  int first = -1, last = -1;
  for (int x = 100; x < 398; ++x)
    for (int y = 3; y < 18; ++y)
      if (Dark(bmp.Canvas()->GetPixel(x, y))) {
        if (first < 0) first = x;
        last = x;
      }
  ASSERT_GE(first, 0);
  EXPECT_LE(std::abs((first + last) / 2 - (100 + 398) / 2), 3);

  // The context menu is the pressed panel's own, else the bar's.
  int barMenu = 0, panelMenu = 0;
  auto* own = new TPopupMenu(&form);
  own->OnPopup = [&](TObject*) { ++barMenu; };
  bar->SetPopupMenu(own);
  auto* pm = new TPopupMenu(&form);
  pm->OnPopup = [&](TObject*) { ++panelMenu; };
  p1->SetPopupMenu(pm);
  auto rightClick = [&](int x) {
    QWidget* w = bar->Widget();
    Click(w, QPoint(x, 10), Qt::RightButton);
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(x, 10), w->mapToGlobal(QPoint(x, 10)));
    QApplication::sendEvent(w, &menuEvent);
  };
  rightClick(150);
  EXPECT_EQ(bar->ClickedPanel(), 1);
  EXPECT_EQ(panelMenu, 1);
  EXPECT_EQ(barMenu, 0);
  rightClick(50);
  EXPECT_EQ(bar->ClickedPanel(), 0);
  EXPECT_EQ(panelMenu, 1);
  EXPECT_EQ(barMenu, 1);

  // Moving onto another panel cancels the shown hint; the panel's own shows.
  p0->SetHint("zero");
  p1->SetHint("one");
  QMouseEvent move0(QEvent::MouseMove, QPointF(50, 10), bar->Widget()->mapToGlobal(QPointF(50, 10)), Qt::NoButton,
                    Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(bar->Widget(), &move0);
  EXPECT_EQ(bar->Widget()->toolTip(), QString("zero"));
  QToolTip::showText(bar->Widget()->mapToGlobal(QPoint(50, 10)), "zero", bar->Widget());
  const bool tipShows = QToolTip::isVisible();
  QMouseEvent move1(QEvent::MouseMove, QPointF(150, 10), bar->Widget()->mapToGlobal(QPointF(150, 10)),
                    Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(bar->Widget(), &move1);
  EXPECT_EQ(bar->Widget()->toolTip(), QString("one"));
  if (tipShows) {
    // The tip fades out shortly after it is cancelled.
    QElapsedTimer waited;
    waited.start();
    while (QToolTip::isVisible() && waited.elapsed() < 5000) {
      QApplication::processEvents();
      QThread::msleep(10);
    }
    EXPECT_FALSE(QToolTip::isVisible());
  }

  // A freed pop-up menu is forgotten by its panel.
  auto* menu = new TPopupMenu(&form);
  p1->SetPopupMenu(menu);
  delete menu;
  EXPECT_EQ(p1->GetPopupMenu(), nullptr);
  bar->ClearTexts();
  EXPECT_EQ(p0->GetText(), "");
}

TEST(StackLayout, ScrollingWheelAndResizing) {
  TStackLayout s;
  s.ViewHeight = 500;
  s.Panels = {{0, 502, 20, true}, {502, 502, 20, true}, {1004, 502, 20, false}, {1004, 502, 20, true}};
  s.AfterResize();
  EXPECT_EQ(s.Max, 3 * 502 - 500);

  EXPECT_TRUE(TStackLayout::WheelActivates(2, 0));
  EXPECT_TRUE(TStackLayout::WheelActivates(0, ssShift));
  EXPECT_FALSE(TStackLayout::WheelActivates(0, ssCtrl));
  EXPECT_TRUE(TStackLayout::WheelActivates(1, ssCtrl));
  EXPECT_FALSE(TStackLayout::WheelActivates(1, 0));

  // One notch moves 25 pixels, less at the ends.
  EXPECT_EQ(s.Wheel(true), -25);
  EXPECT_EQ(s.Position, 25);
  EXPECT_EQ(s.Panels[1].Top, 477);
  EXPECT_EQ(s.Wheel(false), 25);
  EXPECT_EQ(s.Position, 0);
  EXPECT_EQ(s.Wheel(false), 0);
  s.Position = s.Max - 10;
  for (auto& p : s.Panels) p.Top -= s.Position;
  EXPECT_EQ(s.Wheel(true), -10);
  EXPECT_EQ(s.Position, s.Max);
  // Panels that drifted line up with the scroll bar again at the end.
  for (auto& p : s.Panels) p.Top -= 7;
  s.Position = s.Max - 5;
  s.Wheel(true);
  EXPECT_EQ(s.Panels[0].Top, -s.Max);

  // The scroll bar moves the panels by the change of its position.
  s.Position = 0;
  for (int i = 0; i < 4; ++i) s.Panels[static_cast<std::size_t>(i)].Top = i < 3 ? 502 * i : 1004;
  EXPECT_EQ(s.ScrollTo(100), -100);
  EXPECT_EQ(s.Position, 100);
  EXPECT_EQ(s.Panels[0].Top, -100);
  EXPECT_EQ(s.Panels[3].Top, 904);
  EXPECT_EQ(s.ScrollTo(40), 60);
  EXPECT_EQ(s.Panels[1].Top, 462);

  // Scrolling to a panel: its top meets the view's top, within the range.
  s.Position = 0;
  s.Panels = {{0, 502, 20, true}, {502, 502, 20, true}, {1004, 502, 20, true}};
  s.AfterResize();
  EXPECT_EQ(s.ScrollToShift(1), -502);
  EXPECT_EQ(s.ScrollToShift(2), -1004);
  s.Max = 800;
  EXPECT_EQ(s.ScrollToShift(2), -800);  // never past the end
  s.Position = 300;
  EXPECT_EQ(s.ScrollToShift(2), -500);
  s.Panels[0].Top = -300;
  EXPECT_EQ(s.ScrollToShift(0), 300);
  s.Panels[0].Top = -400;
  EXPECT_EQ(s.ScrollToShift(0), 300);  // never above the start
  s.Panels[1].Visible = false;
  EXPECT_EQ(s.ScrollToShift(1), 0);

  // Shrinking while the end shows takes the height from the last panel.
  TStackLayout t;
  t.ViewHeight = 1000;
  t.Panels = {{0, 500, 20, true}, {500, 500, 20, true}};
  t.BeforeResize(900);
  EXPECT_EQ(t.Panels[1].Height, 400);
  t.BeforeResize(350);  // would leave less than its header: unchanged
  EXPECT_EQ(t.Panels[1].Height, 400);
  t.Panels[1].Height = 100;
  t.ViewHeight = 800;
  t.AfterResize();  // the last panel grows to fill the view
  EXPECT_EQ(t.Panels[1].Height, 300);
  EXPECT_EQ(t.Max, 0);

  // A single visible panel does not scroll with the wheel.
  TStackLayout one;
  one.ViewHeight = 100;
  one.Panels = {{0, 502, 20, true}};
  one.AfterResize();
  EXPECT_EQ(one.Wheel(true), 0);
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::make_unique<test::TempDir>();
    root = dir->Path() + "/@quarn.zu";
    WriteFile(root, "{ \"a\": ${\"battle.zu\":\"x\"}, \"b\": ${\"gone.zu\":\"y\"} }");
    WriteFile(dir->Path() + "/battle.zu", "{}");
    main = new TMain(nullptr);
  }
  void TearDown() override {
    main->OnCloseQuery = nullptr;
    delete main;
    Settings = saved;  // a moved splitter stays with its test
  }
  TSettingsVariables saved = Settings;
  std::unique_ptr<test::TempDir> dir;
  std::string root;
  TMain* main = nullptr;
};

TEST_F(MainWindowTest, StartsEmptyAndOpensTheSetFromTheCommandLine) {
  EXPECT_EQ(main->GetCaption(), "Ondrel 1.0.0.1");
  EXPECT_EQ(main->SBar->Panels()->Count(), 6);
  EXPECT_EQ(main->SBar->Panels()->Items(3)->GetWidth(), 140);
  EXPECT_FALSE(main->pScrollBox->GetVisible());
  EXPECT_TRUE(main->lMainHelp->GetVisible());
  EXPECT_EQ(main->tvOpenFiles->Width(), 240);
  EXPECT_EQ(main->tvOpenFiles->GetAlign(), TAlign::alRight);

  MessageBoxes boxes;
  Application()->SetParams({dir->Path() + "/other.txt"});
  main->OpenCommandLineFile();
  EXPECT_FALSE(main->ConfigOpen());
  EXPECT_TRUE(boxes.texts.empty());
  // A root that is missing or a folder is told, and the window stays as it was.
  ASSERT_TRUE(ForceFolders(dir->Path() + "/folder.zu"));
  for (const std::string name : {"missing.zu", "folder.zu"}) {
    Application()->SetParams({dir->Path() + "/" + name});
    main->OpenCommandLineFile();
    EXPECT_FALSE(main->ConfigOpen());
    EXPECT_FALSE(main->pScrollBox->GetVisible());
    EXPECT_TRUE(main->lMainHelp->GetVisible());
    EXPECT_EQ(main->tvOpenFiles->Items()->Count(), 0);
    ASSERT_FALSE(boxes.texts.empty());
    EXPECT_NE(boxes.texts.back().find(name), std::string::npos);
    EXPECT_NE(boxes.texts.back().find(SystemErrorText(name == "missing.zu" ? ENOENT : EISDIR)), std::string::npos)
        << boxes.texts.back();
  }
  WriteFile(dir->Path() + "/upper.ZU", "{}");
  Application()->SetParams({dir->Path() + "/upper.ZU"});
  main->OpenCommandLineFile();
  EXPECT_TRUE(main->ConfigOpen());
  main->CloseConfig();

  Application()->SetParams({root});
  main->OpenCommandLineFile();
  Application()->SetParams({});
  ASSERT_TRUE(main->ConfigOpen());
  EXPECT_TRUE(main->pScrollBox->GetVisible());
  TTreeNodes* nodes = main->tvOpenFiles->Items();
  ASSERT_EQ(nodes->Count(), 3);
  EXPECT_EQ(nodes->Item(0)->GetText(), "@quarn.zu");
  EXPECT_EQ(nodes->Item(0)->GetStateIndex(), -1);
  EXPECT_EQ(nodes->Item(1)->GetStateIndex(), 2);
  EXPECT_EQ(nodes->Item(2)->GetStateIndex(), 1);  // the missing file is unchecked
  EXPECT_TRUE(main->FileShown(1));
  EXPECT_FALSE(main->FileShown(2));
}

// The built-in schemes are the program's XML resources once the window is up.
TEST_F(MainWindowTest, StartUpMakesTheBuiltinSchemesXmlResources) {
  delete main;
  SetXmlResourceLookup(nullptr);
  main = new TMain(nullptr);
  for (int i = 0; i < BuiltinSchemeCount; ++i) {
    IXmlDocument doc = CreateXmlDocument();
    doc->LoadResource(BuiltinSchemeResourceName(i), "RCDATA");
    ASSERT_TRUE(doc->GetDocumentElement()) << i;
    EXPECT_EQ(doc->GetDocumentElement()->GetNodeName(), "OndGenHighlighter");
    EXPECT_EQ(doc->GetDocumentElement()->GetAttr("Version"), "2.0");
  }
  IXmlDocument lower = CreateXmlDocument();
  lower->LoadResource("jsondef", "rcdata");
  ASSERT_TRUE(lower->GetDocumentElement());
  EXPECT_EQ(lower->GetDocumentElement()->ChildOrError("SyntaxColoring")
                ->ChildOrError("Info")
                ->ChildOrError("General")
                ->GetAttr("Name"),
            "JSON Default");
  // Unknown names and other types leave a document as it was.
  IXmlDocument other = CreateXmlDocument("Keep");
  other->LoadResource("NOSUCHDEF", "RCDATA");
  other->LoadResource("JSONDEF", "BITMAP");
  EXPECT_EQ(other->GetDocumentElement()->GetNodeName(), "Keep");
}

TEST_F(MainWindowTest, TimersCompleteTheWindowAndDeleteTheOldUpdate) {
  EXPECT_TRUE(main->trDelUpdate->GetEnabled());
  EXPECT_EQ(main->trDelUpdate->GetInterval(), 1000);
  EXPECT_FALSE(main->trCompleteConfigInterface->GetEnabled());
  EXPECT_EQ(main->trCompleteConfigInterface->GetInterval(), 10);

  // Start-up enables the completing timer whatever the command line holds.
  MessageBoxes boxes;
  Application()->SetParams({dir->Path() + "/missing.zu"});
  main->FormShow();
  // The command line's set opens once the window shows.
  EXPECT_FALSE(main->trCompleteConfigInterface->GetEnabled());
  EXPECT_TRUE(boxes.texts.empty());
  Application()->ProcessMessages();
  EXPECT_EQ(boxes.texts.size(), 1u);  // the missing file is told
  Application()->SetParams({});
  EXPECT_FALSE(main->ConfigOpen());
  EXPECT_TRUE(main->trCompleteConfigInterface->GetEnabled());
  Settings.system.options.fullscreendefault = false;
  main->trCompleteConfigInterface->Tick();
  EXPECT_FALSE(main->trCompleteConfigInterface->GetEnabled());
  EXPECT_EQ(main->GetWindowState(), TWindowState::wsNormal);

  // The previous program file is looked up beside the program, not in the
  // current folder.
  const std::string exe = Application()->ExeName();
  const std::string old = ChangeFileExt(exe, ".oldupdate");
  const std::string here = ChangeFileExt(ExtractFileName(exe), ".oldupdate");
  WriteFile(old, "old");
  const std::string cwd = dir->Path() + "/cwd";
  ASSERT_TRUE(ForceFolders(cwd));
  WriteFile(cwd + "/" + here, "keep");
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(chdir(cwd.c_str()), 0);
  main->trDelUpdate->Tick();
  ASSERT_EQ(chdir(saved), 0);
  EXPECT_FALSE(FileExistsEx(old));
  EXPECT_TRUE(FileExistsEx(cwd + "/" + here));
  EXPECT_FALSE(main->trDelUpdate->GetEnabled());
  main->DeleteOldUpdate();  // nothing there: no error
}

// The set named on the command line opens once the window is on the screen,
// not while it is being shown; a window gone by then opens nothing.
TEST_F(MainWindowTest, TheCommandLineSetOpensOnceTheWindowShows) {
  Application()->SetParams({root});
  main->FormShow();
  EXPECT_FALSE(main->ConfigOpen());
  Application()->ProcessMessages();
  EXPECT_TRUE(main->ConfigOpen());
  EXPECT_TRUE(main->trCompleteConfigInterface->GetEnabled());
  auto* gone = new TMain(nullptr);
  gone->FormShow();
  delete gone;
  Application()->ProcessMessages();
  Application()->SetParams({});
}

TEST_F(MainWindowTest, TreeClicksChecksAndDoubleClicks) {
  main->OpenConfig(root);
  TTreeNodes* nodes = main->tvOpenFiles->Items();
  TTreeNode* missing = nodes->Item(2);

  // Checking a missing, unmodified file is refused.
  EXPECT_FALSE(main->tvOpenFiles->ToggleNode(missing));
  EXPECT_EQ(missing->GetStateIndex(), 1);
  // Unchecking an existing file hides its panel; the active one clears the bar.
  main->SetActiveIndex(1);
  main->SBar->Panels()->Items(spMessage)->SetText("x");
  EXPECT_TRUE(main->tvOpenFiles->ToggleNode(nodes->Item(1)));
  EXPECT_FALSE(main->FileShown(1));
  EXPECT_EQ(main->ActiveIndex(), -1);
  EXPECT_EQ(main->SBar->Panels()->Items(spMessage)->GetText(), "");

  // A click shows the file's name, encoding and state.
  main->ShowForm();
  QApplication::processEvents();
  const TRect r = missing->DisplayRect(true);
  main->TreeMouseDown(TMouseButton::mbLeft, r.Left + 3, r.Top + 3);
  EXPECT_EQ(main->SBar->Panels()->Items(spMessage)->GetText(), dir->Path() + "/gone.zu");
  EXPECT_EQ(main->SBar->Panels()->Items(spEncoding)->GetText(), "UTF-8");
  EXPECT_EQ(main->SBar->Panels()->Items(spFileState)->GetText(), "File not found");

  // A double click marks the missing file modified so that saving writes it.
  main->tvOpenFiles->SetSelected(missing);
  main->TreeDblClick();
  EXPECT_TRUE(main->FileModified(2));
  EXPECT_TRUE(main->FileShown(2));
  EXPECT_EQ(missing->GetStateIndex(), 2);
  EXPECT_EQ(main->SBar->Panels()->Items(spFileState)->GetText(), "Modified");
  // Now its check box may change.
  EXPECT_TRUE(main->tvOpenFiles->ToggleNode(missing));

  // Drawing: modified bold (selected too), missing red, active blue; the
  // selected node keeps the tree's own colours.
  {
    TBitmap bmp;
    bmp.SetSize(200, 20);
    TFont& font = main->tvOpenFiles->Canvas()->Font;
    const TRect row = Rect(0, 0, 200, 20);
    main->tvOpenFiles->PaintNode(missing, *bmp.Canvas(), row, true, true);
    EXPECT_EQ(font.GetStyle(), fsBold);
    EXPECT_EQ(font.GetColor(), clHighlightText);
    main->tvOpenFiles->PaintNode(missing, *bmp.Canvas(), row, false, false);
    EXPECT_EQ(font.GetStyle(), fsBold);
    EXPECT_EQ(font.GetColor(), clWindowText);  // modified: not red
    main->SetActiveIndex(1);
    main->tvOpenFiles->PaintNode(nodes->Item(1), *bmp.Canvas(), row, false, false);
    EXPECT_EQ(font.GetStyle(), 0);
    EXPECT_EQ(font.GetColor(), clBlue);
  }
  // Space on the root, which has no check box, changes nothing.
  main->tvOpenFiles->SetSelected(nodes->Item(0));
  QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
  QApplication::sendEvent(main->tvOpenFiles->Widget(), &space);
  EXPECT_EQ(nodes->Item(0)->GetStateIndex(), -1);
  EXPECT_TRUE(main->FileShown(0));

  // The splitter keeps the tree at least 50 wide and the editors at least 500.
  EXPECT_FALSE(TMain::TreeWidthAllowed(49, 1130, 2));
  EXPECT_TRUE(TMain::TreeWidthAllowed(50, 1130, 2));
  EXPECT_TRUE(TMain::TreeWidthAllowed(628, 1130, 2));
  EXPECT_FALSE(TMain::TreeWidthAllowed(629, 1130, 2));
  main->SetBounds(0, 0, 1130, 675);
  EXPECT_FALSE(main->VMainSplitter->ResizeControl(700));
  EXPECT_TRUE(main->VMainSplitter->ResizeControl(300));
  EXPECT_EQ(Settings.interface.view.fileslist.width, 300);
}

TEST_F(MainWindowTest, CloseAsksYesNoCancelAndKeepsWhatCannotBeSaved) {
  MessageBoxes boxes;
  main->OpenConfig(root);
  EXPECT_TRUE(main->CloseConfig());  // nothing modified: no question
  EXPECT_TRUE(boxes.texts.empty());

  main->OpenConfig(root);
  main->SetFileModified(2, true);
  boxes.answers = {IDCANCEL};
  EXPECT_FALSE(main->CloseConfig());
  EXPECT_TRUE(main->ConfigOpen());
  EXPECT_EQ(boxes.texts.back(), "Save all changes in open the config file?");
  bool canClose = true;
  boxes.answers = {IDCANCEL};
  main->OnCloseQuery(main, canClose);
  EXPECT_FALSE(canClose);  // the window stays

  boxes.answers = {IDNO};
  EXPECT_TRUE(main->CloseConfig());
  EXPECT_FALSE(main->ConfigOpen());
  EXPECT_FALSE(FileExistsEx(dir->Path() + "/gone.zu"));
  EXPECT_EQ(main->tvOpenFiles->Items()->Count(), 0);

  main->OpenConfig(root);
  main->SetFileModified(2, true);
  boxes.answers = {IDYES};
  EXPECT_TRUE(main->CloseConfig());
  EXPECT_TRUE(FileExistsEx(dir->Path() + "/gone.zu"));

  // A file that cannot be written keeps the set open and is named.
  WriteFile(dir->Path() + "/blocker", "x");
  WriteFile(root, "{ \"a\": ${\"battle.zu\":\"x\"}, \"b\": ${\"blocker/in.zu\":\"y\"} }");
  main->OpenConfig(root);
  main->SetFileModified(2, true);
  boxes.answers = {IDYES, IDOK};
  EXPECT_FALSE(main->CloseConfig());
  EXPECT_TRUE(main->ConfigOpen());
  EXPECT_NE(boxes.texts.back().find("blocker/in.zu"), std::string::npos);
}

TEST_F(MainWindowTest, DroppedFilesOpenOnlyTheFirstConfigFile) {
  MessageBoxes boxes;
  const std::string other = dir->Path() + "/other.zu";
  WriteFile(other, "{}");
  main->FilesDropped({dir->Path() + "/readme.txt", other});
  EXPECT_FALSE(main->ConfigOpen());  // only the first file counts
  main->FilesDropped({root, other});
  ASSERT_TRUE(main->ConfigOpen());
  EXPECT_EQ(main->Config()->FileName, root);

  main->SetFileModified(2, true);
  boxes.answers = {IDCANCEL};
  main->FilesDropped({other});
  EXPECT_EQ(main->Config()->FileName, root);  // Cancel keeps the modified set
  EXPECT_TRUE(main->FileModified(2));
  boxes.answers = {IDNO};
  main->FilesDropped({other});
  EXPECT_EQ(main->Config()->FileName, other);
}

// A dropped file that is gone by the time it lands closes nothing: the open
// set, modified or not, stays without a question, and the user is told.
TEST_F(MainWindowTest, ADroppedFileThatIsGoneClosesNothing) {
  MessageBoxes boxes;
  main->OpenConfig(root);
  main->SetFileModified(1, true);
  const std::string gone = dir->Path() + "/gone-now.zu";
  main->FilesDropped({gone});
  ASSERT_TRUE(main->ConfigOpen());
  EXPECT_EQ(main->Config()->FileName, root);
  EXPECT_TRUE(main->FileModified(1));
  ASSERT_EQ(boxes.texts.size(), 1u);  // no save question, only the message
  EXPECT_NE(boxes.texts[0].find(Lang(leFileNotFound)), std::string::npos) << boxes.texts[0];
  EXPECT_NE(boxes.texts[0].find("gone-now.zu"), std::string::npos);
  main->SetFileModified(1, false);
}

// A root that is not there: discovery lists it as missing and succeeds; the
// window reads that and tells the user, in the interface language, opening
// nothing.
TEST_F(MainWindowTest, AMissingRootIsToldFromItsMissingMark) {
  MessageBoxes boxes;
  const int language = CurrentLanguage();
  for (const int lang : {LangEnglish, LangRussian}) {
    SetCurrentLanguage(lang);
    boxes.texts.clear();
    const std::string missing = dir->Path() + "/missing.zu";
    main->OpenConfig(missing);
    EXPECT_FALSE(main->ConfigOpen());
    EXPECT_TRUE(main->lMainHelp->GetVisible());
    EXPECT_EQ(main->tvOpenFiles->Items()->Count(), 0);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0].rfind(LangText(leReadFailed, lang), 0), 0u) << boxes.texts[0];
    EXPECT_NE(boxes.texts[0].find(LangText(leFileNotFound, lang) + ": " + missing), std::string::npos);
    EXPECT_NE(boxes.texts[0].find(SystemErrorText(ENOENT)), std::string::npos);
    EXPECT_EQ(main->SBar->Panels()->Items(spMessage)->GetText(), boxes.texts[0]);
  }
  SetCurrentLanguage(language);
}

// A set of many files opens in view: the stack and the tree show from the
// first panel on and fill as the panels come, with the count in the status
// bar; what is seen between two panels is recorded by a timer that runs
// whenever the event loop does.
TEST_F(MainWindowTest, AManyFileSetShowsItsProgressWhileItOpens) {
  constexpr int kFiles = 40;
  const int language = CurrentLanguage();
  SetCurrentLanguage(LangEnglish);
  std::string rootText = "{\r\n";
  for (int i = 1; i < kFiles; ++i) {
    rootText += "  \"p" + std::to_string(i) + "\": ${\"p" + std::to_string(i) + ".zu\":\"x\"},\r\n";
    WriteFile(dir->Path() + "/p" + std::to_string(i) + ".zu", "{ \"n\": " + std::to_string(i) + " }");
  }
  WriteFile(root, rootText + "  \"end\": 0\r\n}\r\n");
  struct TSeen {
    int Panels;
    int Nodes;
    bool Stack;
    bool Help;
    std::string Message;
  };
  std::vector<TSeen> seen;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    if (!main->Editors()) return;
    seen.push_back({main->Editors()->Count, main->tvOpenFiles->Items()->Count(), main->pScrollBox->GetVisible(),
                    main->lMainHelp->GetVisible(), main->SBar->Panels()->Items(spMessage)->GetText()});
  });
  watcher.start(0);
  main->OpeningProgressInterval = std::chrono::milliseconds(0);
  main->OpenConfig(root);
  watcher.stop();
  ASSERT_TRUE(main->ConfigOpen());
  ASSERT_GE(seen.size(), 2u);
  EXPECT_LT(seen.front().Panels, kFiles);
  for (std::size_t k = 0; k < seen.size(); ++k) {
    EXPECT_TRUE(seen[k].Stack) << k;
    EXPECT_FALSE(seen[k].Help) << k;
    EXPECT_EQ(seen[k].Nodes, seen[k].Panels) << k;  // one tree node per panel built
    EXPECT_EQ(seen[k].Message, "Opening the config set: " + std::to_string(seen[k].Panels) + " of " +
                                   std::to_string(kFiles) + " files")
        << k;
    if (k > 0) {
      EXPECT_GE(seen[k].Panels, seen[k - 1].Panels) << k;
    }
  }
  EXPECT_LT(seen.front().Panels, seen.back().Panels);
  // Once open, the count gives way.
  EXPECT_EQ(main->SBar->Panels()->Items(spMessage)->GetText(), "");
  EXPECT_EQ(main->tvOpenFiles->Items()->Count(), kFiles);

  // The window cannot close while a set opens.
  main->CloseConfig();
  bool canClose = true;
  QTimer::singleShot(0, [&] { main->OnCloseQuery(main, canClose); });
  main->OpenConfig(root);
  EXPECT_FALSE(canClose);
  ASSERT_TRUE(main->ConfigOpen());
  canClose = false;
  main->OnCloseQuery(main, canClose);
  EXPECT_TRUE(canClose);
  SetCurrentLanguage(language);
}

TEST(RusClipboard, TextGoesAsUnicodeAndNamesItsCodePage) {
  InstallRusClipboard();
  Clipboard()->SetAsText("\xC0\xE1\xE2");  // "Абв"
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->text(), QString::fromUtf8("Абв"));
  EXPECT_EQ(data->data(TRusClipboard::AnsiTextMimeType), QByteArray("\xC0\xE1\xE2"));
  SetClipboard(nullptr);
}

}  // namespace
}  // namespace ond
