// Keystrokes in a panel, each painted before the next as the window paints
// it, against the editors a Linux user would pick instead: QPlainTextEdit
// and the Scintilla component for Qt (when it is installed). One keystroke
// is a character typed and taken back with Backspace, sent to the widget as
// key events; then the event loop paints what they changed. In a 10-line
// and in a 4,000,000-line text (the caret in the middle), and with word
// wrap on near the end of the long text against QPlainTextEdit, which wraps
// too.
// Run: build/bench/bench_panel_typing (Release, -DONDREL_BENCH=ON).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#ifdef ONDREL_BENCH_QSCINTILLA
#include <Qsci/qsciscintilla.h>
#endif

#include "platform/Forms.h"
#include "platform/QtBridge.h"
#include "services/USystem.h"
#include "workspace/CheckTreeViewEx.h"
#include "workspace/StatusBarEx.h"
#include "workspace/UEditors.h"

namespace ond {
namespace {

constexpr int kLong = 4'000'000;
constexpr int kWidth = 900, kHeight = 700;

// Every line but the second is alike; the second is the longest, as a real
// text has its longest line somewhere, so that a character typed in the
// middle does not make its line the widest of the text. (With all lines of
// one length it did, and the Backspace after it had QPlainTextEdit walk all
// 4,000,000 lines for the new widest one: 99% of its time per key went to
// that walk, and the 4M-line lines compared a width search, not keystrokes.)
std::string Text(int Lines) {
  std::string text;
  text.reserve(static_cast<std::size_t>(Lines) * 24 + 100);
  text += "{\r\n  \"note\": \"the longest line of the text, longer than every line typed in\",\r\n";
  for (int i = 3; i < Lines; ++i) text += "  \"key\": [1, 2], \"v\": 3,\r\n";
  return text + "}\r\n";
}

// The panels' editor font, for the peers too.
QFont EditorFont() {
  TFont font;
  font.SetName("Courier New");
  font.SetSize(10);
  return MakeQFont(font);
}

void EnsureApplication() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  Application();
}

// Sends one key as the window system would, press and release.
void Key(QWidget* W, int Code, const QString& Text) {
  QKeyEvent press(QEvent::KeyPress, Code, Qt::NoModifier, Text);
  QApplication::sendEvent(W, &press);
  QKeyEvent release(QEvent::KeyRelease, Code, Qt::NoModifier, Text);
  QApplication::sendEvent(W, &release);
}

// A character typed and taken back, each painted.
void Keystroke(QWidget* W) {
  Key(W, Qt::Key_A, "a");
  QApplication::processEvents();
  Key(W, Qt::Key_Backspace, "\b");
  QApplication::processEvents();
}

// A shown panel of a set with the file, folding and paired brackets on, as
// the main window holds it.
struct Panel {
  std::string Folder;
  TForm Form{nullptr};
  TScrollBox* Box;
  TScrollBar* Bar;
  TStatusBarEx* Status;
  TCheckTreeViewEx* Tree;
  TPopupMenu* Popup;
  std::unique_ptr<TEditors> Editors;
  TEditor* P = nullptr;

  explicit Panel(int Lines) {
    Settings.interface.view.syntax.codefolding = true;
    Settings.interface.view.syntax.pairedbrackets = true;
    Settings.interface.view.editors.wordwrap = false;
    Folder = (std::filesystem::temp_directory_path() /
              ("ondrel_bench_panel_typing_" + std::to_string(::getpid()) + "_" + std::to_string(Lines)))
                 .string();
    std::filesystem::create_directories(Folder);
    const std::string file = Folder + "/typing.zu";
    std::ofstream(file, std::ios::binary) << Text(Lines);
    Form.SetBounds(0, 0, kWidth + 220, kHeight + 60);
    Status = new TStatusBarEx(&Form);
    for (int i = 0; i < 6; ++i) Status->Panels()->Add();
    Status->SetParent(&Form);
    Tree = new TCheckTreeViewEx(&Form);
    Tree->SetBounds(kWidth + 20, 0, 200, kHeight);
    Tree->SetParent(&Form);
    Bar = new TScrollBar(&Form, TScrollBarKind::sbVertical);
    Bar->SetBounds(kWidth, 0, 20, kHeight);
    Bar->SetVisible(false);
    Bar->SetParent(&Form);
    Box = new TScrollBox(&Form);
    Box->SetBorderStyle(TBorderStyle::bsNone);
    Box->SetBounds(0, 0, kWidth, kHeight);
    Box->SetParent(&Form);
    Popup = new TPopupMenu(&Form);
    Editors = std::make_unique<TEditors>(nullptr, Popup, Bar, Status, Tree, Box);
    P = Editors->AddEditor(0, "typing.zu", true);
    if (!P->LoadFromFile(file, 2)) P = nullptr;
    // The text is in the panel now.
    std::error_code ec;
    std::filesystem::remove_all(Folder, ec);
    Form.ShowForm();
    QApplication::processEvents();
  }
  QWidget* At(int Line, int Char, bool Wrapped) {
    P->Editor->WordWrap().SetEnabled(Wrapped);
    P->Editor->SetCaretXY(BufferCoord(Char, Line));
    P->Editor->MakeCaretVisible();
    // Whatever the first paint there leaves for idle time is done before
    // the clock starts.
    for (int i = 0; i < 100000 && (P->Editor->IdleWorkPending() || i < 10); ++i) QApplication::processEvents();
    return P->Editor->Widget();
  }
};

// Created once per text and kept to the end of the program (the long text
// takes a while to load), never destroyed: the window layer is gone by then.
Panel& PanelOf(int Lines) {
  static std::map<int, Panel*> panels;
  Panel*& p = panels[Lines];
  if (!p) p = new Panel(Lines);
  return *p;
}

// The peers too are kept, and never destroyed.
QPlainTextEdit& PlainOf(int Lines) {
  static std::map<int, QPlainTextEdit*> edits;
  QPlainTextEdit*& e = edits[Lines];
  if (!e) {
    e = new QPlainTextEdit();
    e->resize(kWidth, kHeight);
    e->setFont(EditorFont());
    e->setLineWrapMode(QPlainTextEdit::NoWrap);
    e->setPlainText(QString::fromLatin1(Text(Lines).c_str()));
    e->show();
    QApplication::processEvents();
  }
  return *e;
}

QWidget* PlainAt(QPlainTextEdit& E, int Line, int Char, bool Wrapped) {
  const auto mode = Wrapped ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap;
  if (E.lineWrapMode() != mode) E.setLineWrapMode(mode);
  QTextCursor c(E.document()->findBlockByNumber(Line - 1));
  c.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, Char - 1);
  E.setTextCursor(c);
  E.ensureCursorVisible();
  for (int i = 0; i < 10; ++i) QApplication::processEvents();
  return &E;
}

void Run(benchmark::State& State, QWidget* W) {
  for (auto _ : State) Keystroke(W);
  State.counters["us_per_key"] =
      benchmark::Counter(2, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

int Middle(int Lines) { return Lines / 2; }

// Argument: the number of lines.
void BM_PanelKeys(benchmark::State& State) {
  EnsureApplication();
  const int lines = static_cast<int>(State.range(0));
  Panel& p = PanelOf(lines);
  if (!p.P) return State.SkipWithError("the file did not load");
  Run(State, p.At(Middle(lines), 9, false));
}

void BM_PlainTextEditKeys(benchmark::State& State) {
  EnsureApplication();
  const int lines = static_cast<int>(State.range(0));
  QPlainTextEdit& e = PlainOf(lines);
  Run(State, PlainAt(e, Middle(lines), 9, false));
}

// Word wrap on, near the end of the long text.
void BM_PanelKeysWrapped(benchmark::State& State) {
  EnsureApplication();
  Panel& p = PanelOf(kLong);
  if (!p.P) return State.SkipWithError("the file did not load");
  Run(State, p.At(kLong - 10, 9, true));
}

void BM_PlainTextEditKeysWrapped(benchmark::State& State) {
  EnsureApplication();
  QPlainTextEdit& e = PlainOf(kLong);
  Run(State, PlainAt(e, kLong - 10, 9, true));
}

BENCHMARK(BM_PanelKeys)->Arg(10)->Arg(kLong)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainTextEditKeys)->Arg(10)->Arg(kLong)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PanelKeysWrapped)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainTextEditKeysWrapped)->Unit(benchmark::kMicrosecond);

#ifdef ONDREL_BENCH_QSCINTILLA
QsciScintilla& ScintillaOf(int Lines) {
  static std::map<int, QsciScintilla*> edits;
  QsciScintilla*& e = edits[Lines];
  if (!e) {
    e = new QsciScintilla();
    e->resize(kWidth, kHeight);
    // The component takes a font's size in points: the panels' font, sized
    // in pixels, read as -1 points there and drew its text a few pixels high.
    QFont font = EditorFont();
    font.setPointSizeF(font.pixelSize() * 72.0 / e->logicalDpiY());
    e->setFont(font);
    e->setUtf8(false);
    e->setBraceMatching(QsciScintilla::SloppyBraceMatch);
    e->setText(QString::fromLatin1(Text(Lines).c_str()));
    e->show();
    QApplication::processEvents();
  }
  return *e;
}

void BM_ScintillaKeys(benchmark::State& State) {
  EnsureApplication();
  const int lines = static_cast<int>(State.range(0));
  QsciScintilla& e = ScintillaOf(lines);
  e.setCursorPosition(Middle(lines) - 1, 8);
  e.ensureLineVisible(Middle(lines) - 1);
  for (int i = 0; i < 10; ++i) QApplication::processEvents();
  Run(State, &e);
}
BENCHMARK(BM_ScintillaKeys)->Arg(10)->Arg(kLong)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace
}  // namespace ond
