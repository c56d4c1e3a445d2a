// Edits that touch fold tokens find the ranges again. In a long text no
// keystroke waits for a scan of the whole text: the update runs in idle
// time (started over by every change meanwhile), and once it is done the
// tree is exactly the tree a full scan of the edited text gives, collapsed
// ranges kept. In a short text the update is made at once, as before.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "editor/OndEdit.h"
#include "editor/OndEditCodeFolding.h"
#include "editor/OndEditKeyCmds.h"
#include "highlight/OndBuiltinSchemes.h"
#include "highlight/OndGenHighlighter.h"
#include "tests/editor/gui/LoadedEditor.h"

namespace ond {
namespace {

using namespace std::chrono_literals;

// Objects of a config, each over seven lines, with braces in strings and
// comments; Objects of them make a long text from about 3000 on.
std::string Config(int Objects) {
  std::string s = "{\r\n";
  for (int i = 0; i < Objects; ++i) {
    s += "  \"o" + std::to_string(i) + "\": {\r\n";
    s += "    \"name\": \"a { b\", // } here\r\n";
    s += "    \"list\": [ { \"x\": 1 }, {\r\n";
    s += "      \"y\": \"}\" } ],\r\n";
    s += "    /* { */ \"z\": 0\r\n";
    s += "  }";
    s += i + 1 < Objects ? ",\r\n" : "\r\n";
  }
  s += "}\r\n";
  return s;
}

std::string Tree(const TOndEditAllFoldRanges& all) { return test::FoldRangeList(all, true); }

std::string Tree(TCustomOndEdit& Ed) { return Tree(Ed.AllFoldRanges()); }

// The first line where two trees differ, with its number; empty when none.
std::string Difference(const std::string& A, const std::string& B) {
  std::istringstream a(A), b(B);
  std::string la, lb;
  for (int n = 1;; ++n) {
    const bool ga = static_cast<bool>(std::getline(a, la)), gb = static_cast<bool>(std::getline(b, lb));
    if (!ga && !gb) return {};
    if (!ga || !gb || la != lb) return "range " + std::to_string(n) + ": " + la + " | " + lb;
  }
}

// Runs the idle work to its end, as the program's timer would.
void Settle(TCustomOndEdit& Ed) {
  const auto limit = std::chrono::steady_clock::now() + 60s;
  while (!Ed.RunIdleWork(5ms) && std::chrono::steady_clock::now() < limit) {
  }
  ASSERT_FALSE(Ed.IdleWorkPending());
}

// The tree a full scan of the editor's text gives (with every fold
// expanded: the comparison with collapsed ranges is made expanded too).
std::string FullScanTree(TCustomOndEdit& Ed) {
  auto fresh = test::OpenLoaded(Ed.TextWithFoldsExpanded(), true);
  return Tree(*fresh->Edit);
}

void Type(TCustomOndEdit& Ed, int Line, int Char, const std::string& Text) {
  Ed.SetCaretXY(BufferCoord(Char, Line));
  for (char c : Text) Ed.CommandProcessor(ecChar, c, nullptr);
}

// Char 0: the end of the line.
void Command(TCustomOndEdit& Ed, int Line, int Char, TOndEditorCommand C) {
  if (Char == 0) Char = static_cast<int>(Ed.Lines()->GetView(Line - 1).size()) + 1;
  Ed.SetCaretXY(BufferCoord(Char, Line));
  Ed.CommandProcessor(C, '\0', nullptr);
}

struct EditCase {
  const char* Name;
  std::function<void(TCustomOndEdit&, int Middle)> Edit;
};

// Middle: the first line of an object near the middle of the text.
const EditCase kEdits[] = {
    {"brace typed", [](TCustomOndEdit& E, int M) { Type(E, M + 5, 5, "{"); }},
    {"closing brace typed", [](TCustomOndEdit& E, int M) { Type(E, M + 1, 5, "}"); }},
    {"brace deleted", [](TCustomOndEdit& E, int M) { Command(E, M, 0, ecDeleteLastChar); }},
    {"comment opened across lines", [](TCustomOndEdit& E, int M) { Type(E, M + 1, 1, "/*"); }},
    {"comment opened and closed", [](TCustomOndEdit& E, int M) {
       Type(E, M + 1, 1, "/*");
       Type(E, M + 14, 1, "*/");
     }},
    {"comment end deleted", [](TCustomOndEdit& E, int M) { Command(E, M + 4, 12, ecDeleteLastChar); }},
    {"string with braces", [](TCustomOndEdit& E, int M) { Type(E, M + 4, 5, "\"{ } {\", "); }},
    {"string opened", [](TCustomOndEdit& E, int M) { Type(E, M + 1, 5, "\""); }},
    {"line broken inside a range", [](TCustomOndEdit& E, int M) { Command(E, M + 2, 20, ecLineBreak); }},
    {"line with a closing brace deleted", [](TCustomOndEdit& E, int M) { Command(E, M + 5, 1, ecDeleteLine); }},
    {"two braces typed in a row", [](TCustomOndEdit& E, int M) {
       Type(E, M + 5, 5, "{");
       Type(E, M + 12, 5, "{");
     }},
};

class FoldUpdate : public ::testing::TestWithParam<bool> {};

// The tree the update made at once gives: the ranges as the edit left
// them, updated over a copy of the text.
std::string UpdatedAtOnce(TCustomOndEdit& Ed) {
  TOndEditStringList lines;
  lines.Assign(*Ed.Lines());
  TOndEditAllFoldRanges tree;
  tree.Assign(Ed.AllFoldRanges());
  TOndCodeFolder folder(lines, tree);
  folder.Regions = &Ed.GetHighlighter()->FoldRegions();
  folder.NonCodeAt = [&Ed](std::int32_t L, std::int32_t C) { return Ed.NonCodeAt(L, C); };
  folder.ExpandedNonCode = [&Ed](const TOndExpandedText& T) { return Ed.ExpandedTextNonCode(T); };
  folder.UpdateFoldRanges();
  return Tree(tree);
}

TEST_P(FoldUpdate, EachKindOfEditEndsWithTheTreeOfAFullScan) {
  const bool collapsedFirst = GetParam();
  for (const int objects : {40, 3200}) {
    for (const EditCase& c : kEdits) {
      SCOPED_TRACE(std::string(c.Name) + ", objects " + std::to_string(objects));
      auto p = test::OpenLoaded(Config(objects), true);
      TCustomOndEdit& ed = *p->Edit;
      ASSERT_EQ(ed.LongText(), objects > 1000);
      const int middle = 2 + 6 * (objects / 2);
      if (collapsedFirst) {
        // An object before the edit and one after it stay collapsed; each
        // hides five lines.
        ASSERT_TRUE(ed.CollapseFoldRange(ed.FoldRangeAtLine(middle - 12)));
        ASSERT_TRUE(ed.CollapseFoldRange(ed.FoldRangeAtLine(middle + 18 - 5)));
      }
      const int shift = collapsedFirst ? -5 : 0;
      c.Edit(ed, middle + shift);
      // An edit whose ranges the lines around it tell is updated at once; a
      // long text's other edits are updated in idle time, to the tree the
      // update made at once gives.
      const std::string atOnce = ed.FoldUpdatePending() ? UpdatedAtOnce(ed) : std::string();
      if (ed.FoldUpdatePending()) {
        EXPECT_TRUE(ed.LongText());
      }
      Settle(ed);
      if (!atOnce.empty()) {
        EXPECT_EQ(Difference(Tree(ed), atOnce), "");
      }
      if (collapsedFirst) {
        // The collapsed ranges stay (the scan leaves their lines out).
        int kept = 0;
        for (const auto& r : ed.AllFoldRanges().AllRangeList()) kept += r->Collapsed ? 1 : 0;
        EXPECT_EQ(kept, 2);
        // The update counted what they hide: opened, they leave the tree
        // of a full scan.
        ed.ExpandAll();
        Settle(ed);
        EXPECT_EQ(Difference(Tree(ed), FullScanTree(ed)), "");
      } else {
        EXPECT_EQ(Difference(Tree(ed), FullScanTree(ed)), "");
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutCollapsedRanges, FoldUpdate, ::testing::Bool());

class PassCounter : public TOndGenHighlighter {
 public:
  void SetLine(std::string_view Text, int LineIndex) override {
    ++Passes;
    TOndGenHighlighter::SetLine(Text, LineIndex);
  }
  int Passes = 0;
};

struct CountedEditor {
  PassCounter Highlighter;
  TOndEdit Edit{nullptr};
  explicit CountedEditor(const std::string& Text, bool Eager) { test::LoadForFolding(Edit, Highlighter, Text, Eager); }
  ~CountedEditor() { Edit.SetHighlighter(nullptr); }
};

// Lines the highlighter cuts for one keystroke: the edited line and the
// few after it whose states it looks at, not the braces of the whole text.
constexpr int kLinesPerKeystroke = 8;

TEST(FoldUpdateCost, ABraceTypedInALongTextCutsOnlyTheLinesAroundIt) {
  CountedEditor c(Config(4000), true);
  TCustomOndEdit& ed = c.Edit;
  ASSERT_TRUE(ed.LongText());
  const int middle = 2 + 6 * 2000;
  for (const char* keys : {"{", "x", "}", "/*"}) {
    SCOPED_TRACE(keys);
    c.Highlighter.Passes = 0;
    Type(ed, middle + 5, 5, keys);
    EXPECT_LE(c.Highlighter.Passes, kLinesPerKeystroke * static_cast<int>(std::strlen(keys)));
    EXPECT_TRUE(ed.FoldUpdatePending());
  }
  // The ranges found before stay in use meanwhile.
  EXPECT_GT(ed.AllFoldRanges().AllCount(), 4000);
  Settle(ed);
  EXPECT_FALSE(ed.FoldUpdatePending());
  EXPECT_EQ(Difference(Tree(ed), FullScanTree(ed)), "");
}

// The update's last step puts every range of a long text in place, and the
// ranges it replaced are many: they are freed in idle pieces of their own,
// not in the event that puts the new ones in place. With no time to spare,
// each piece does the least it can; the tree is that of a full scan from
// the moment the update is done.
TEST(FoldUpdateCost, TheReplacedRangesOfALongTextAreFreedInPiecesOfTheirOwn) {
  CountedEditor c(Config(4000), true);
  TCustomOndEdit& ed = c.Edit;
  ASSERT_TRUE(ed.LongText());
  const int old = ed.AllFoldRanges().AllCount();
  ASSERT_GT(old, 3 * 4000);
  Type(ed, 2 + 6 * 2000 + 5, 5, "{");
  ASSERT_TRUE(ed.FoldUpdatePending());
  int pieces = 0;
  while (ed.FoldUpdatePending() && pieces < 1'000'000) {
    ed.RunIdleWork(0ms);
    ++pieces;
  }
  ASSERT_FALSE(ed.FoldUpdatePending());
  EXPECT_EQ(Difference(Tree(ed), FullScanTree(ed)), "");
  // The old ranges are still to be freed: more pieces follow.
  EXPECT_TRUE(ed.AllFoldRanges().RetiredPending());
  EXPECT_TRUE(ed.IdleWorkPending());
  int freeing = 0;
  while (!ed.RunIdleWork(0ms) && freeing < old) ++freeing;
  EXPECT_GE(freeing, 1);
  EXPECT_FALSE(ed.AllFoldRanges().RetiredPending());
  EXPECT_FALSE(ed.IdleWorkPending());
  EXPECT_EQ(Difference(Tree(ed), FullScanTree(ed)), "");
}

}  // namespace
}  // namespace ond
