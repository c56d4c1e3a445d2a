// The work one editing command does in a long text with folds is bounded by
// the change, not by the text: the highlighter states it rescans and the
// fold ranges it walks. What it leaves for later (states far below, the
// ranges of the whole text) comes out as a fresh editor finds it.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "editor/OndEdit.h"
#include "editor/OndEditKeyCmds.h"
#include "highlight/OndBuiltinSchemes.h"
#include "platform/Clipbrd.h"
#include "platform/Forms.h"
#include "tests/editor/gui/LoadedEditor.h"
#include "tests/highlight/HighlightTestRules.h"

namespace ond {
namespace {

using namespace std::chrono_literals;
using test::CountingHighlighter;

const int kLong = TCustomOndEdit::kIdleWorkLines + 2000;

// Objects of four lines each inside one outer pair.
std::string Objects(int Lines) {
  std::string text = "{\r\n";
  for (int i = 0; 4 * i + 2 < Lines; ++i)
    text += "  \"o" + std::to_string(i) + "\": {\r\n    \"name\": \"item\",\r\n    \"value\": 1\r\n  },\r\n";
  return text + "  \"end\": 0\r\n}\r\n";
}

struct Counted {
  CountingHighlighter H;
  TOndEdit Ed{nullptr};
  ~Counted() { Ed.SetHighlighter(nullptr); }
};

std::unique_ptr<Counted> Open(const std::string& Text) {
  auto p = std::make_unique<Counted>();
  EXPECT_TRUE(LoadBuiltinScheme(p->H, 0));
  p->Ed.SetBounds(0, 0, 500, 400);
  p->Ed.SetHighlighter(&p->H);
  p->Ed.CodeFolding().SetHighlighterFoldRegions(true);
  p->Ed.Lines()->LoadFromString(std::string(Text));
  p->Ed.CodeFolding().SetEnabled(true);
  // The scan at once asks the highlighter about every line: every state is
  // known before the edit.
  p->Ed.RescanFoldRanges();
  return p;
}


// The attribute names of the first characters of some lines far below.
std::string FarAttributes(TCustomOndEdit& Ed) {
  std::string out;
  for (int line = Ed.Lines()->GetCount() - 40; line <= Ed.Lines()->GetCount(); line += 7) {
    std::string token;
    TOndHighlighterAttributes* a = nullptr;
    const int at = static_cast<int>(Ed.Lines()->GetView(line - 1).find_first_not_of(' ')) + 1;
    out += std::to_string(line) + ":" +
           (Ed.GetHighlighterAttriAtRowCol(BufferCoord(at, line), token, a) && a ? a->Name() : "-") + "\n";
  }
  return out;
}

// A quote taken out of (or put into) a name in the middle of a long text
// turns every string after it inside out: the command rescans the states
// of a bounded stretch only, and the rest, scanned later, comes out as in
// a fresh editor.
TEST(EditCommandBounds, AQuoteChangedFarAboveTheEndRescansABoundedStretchOfStates) {
  struct Case {
    const char* Name;
    TOndEditorCommand Command;
    char Char;
  };
  const Case cases[] = {
      {"delete char", ecDeleteChar, 0},
      {"delete word", ecDeleteWord, 0},
      {"a quote typed", ecChar, '"'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto p = Open(Objects(kLong));
    TOndEdit& ed = p->Ed;
    // The opening quote of a "name" at the middle.
    const int line = (kLong / 2) / 4 * 4 + 3;
    ASSERT_EQ(ed.Lines()->GetView(line - 1).substr(0, 10), "    \"name\"");
    ed.SetCaretXY(BufferCoord(5, line));
    p->H.Lines = 0;
    ed.CommandProcessor(c.Command, c.Char, nullptr);
    EXPECT_LE(p->H.Lines, TCustomOndEdit::kScanFromLines + 64);
    ASSERT_TRUE(test::RunEventLoopUntilIdle(ed));
    auto fresh = Open(ed.Lines()->GetText());
    EXPECT_EQ(FarAttributes(ed), FarAttributes(fresh->Ed));
    EXPECT_EQ(test::FoldRangeList(ed.AllFoldRanges(), true), test::FoldRangeList(fresh->Ed.AllFoldRanges(), true));
    // Undone, the states below are those of the text before again.
    p->H.Lines = 0;
    ed.CommandProcessor(ecUndo, 0, nullptr);
    EXPECT_LE(p->H.Lines, TCustomOndEdit::kScanFromLines + 64);
    ASSERT_TRUE(test::RunEventLoopUntilIdle(ed));
    auto original = Open(Objects(kLong));
    EXPECT_EQ(FarAttributes(ed), FarAttributes(original->Ed));
    EXPECT_EQ(test::FoldRangeList(ed.AllFoldRanges(), true),
              test::FoldRangeList(original->Ed.AllFoldRanges(), true));
  }
}

// Lines broken, deleted and pasted in the middle of a long text with
// nothing collapsed, then undone and redone, each a command as keys send
// it: none walks the list of every range or builds the index again, and
// the ranges come out as a scan of the edited text finds them.
TEST(EditCommandBounds, LinesInsertedOrDeletedWalkNoListOfEveryRange) {
  struct Step {
    const char* Name;
    TOndEditorCommand Command;
    // The undo of a paste deletes whole ranges: the index is built again.
    bool Bounded = true;
  };
  const Step steps[] = {
      {"line break", ecLineBreak},        {"undo line break", ecUndo},        {"redo line break", ecRedo},
      {"line break", ecLineBreak},        {"delete line", ecDeleteLine},      {"undo delete line", ecUndo},
      {"redo delete line", ecRedo},       {"delete line", ecDeleteLine},      {"undo delete line", ecUndo},
      {"undo delete line", ecUndo},       {"redo delete line", ecRedo},       {"redo delete line", ecRedo},
      {"paste", ecPaste},                 {"undo paste", ecUndo, false},      {"redo paste", ecRedo},
  };
  auto p = Open(Objects(kLong));
  TOndEdit& ed = p->Ed;
  // Objects of their own, pasted at the caret.
  std::string pasted;
  for (int i = 0; i < 50; ++i) pasted += "  \"p\": {\r\n    \"a\": 1\r\n  },\r\n";
  Clipboard()->SetAsText(pasted);
  const int line = (kLong / 2) / 4 * 4 + 3;
  ed.SetCaretXY(BufferCoord(5, line));
  // The index is built by the first question, as painting asks it.
  ed.FoldRangeAtLine(1);
  for (const Step& s : steps) {
    SCOPED_TRACE(s.Name);
    const std::uint64_t walks = ed.AllFoldRanges().WholeWalks(), builds = ed.AllFoldRanges().IndexBuilds();
    ed.CommandProcessor(s.Command, 0, nullptr);
    EXPECT_FALSE(ed.FoldUpdatePending());
    if (!s.Bounded) continue;
    EXPECT_EQ(ed.AllFoldRanges().WholeWalks(), walks);
    EXPECT_EQ(ed.AllFoldRanges().IndexBuilds(), builds);
  }
  auto fresh = Open(ed.Lines()->GetText());
  EXPECT_EQ(test::FoldRangeList(ed.AllFoldRanges(), true), test::FoldRangeList(fresh->Ed.AllFoldRanges(), true));
}

}  // namespace
}  // namespace ond
