// A text read again into an editor whose old text had many fold ranges: the
// old ranges are freed in idle pieces when none of them was collapsed, and
// the folds of the new text are those of a fresh load either way.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "editor/OndEdit.h"
#include "tests/editor/gui/LoadedEditor.h"

namespace ond {
namespace {

using namespace std::chrono_literals;
using test::FoldTreeDump;
using test::OpenLoaded;

std::string Objects(int N, const char* Name) {
  std::string text = "{\r\n";
  for (int i = 0; i < N; ++i)
    text += std::string("  \"") + Name + std::to_string(i) + "\": {\r\n    \"v\": 1\r\n  }" + (i + 1 < N ? "," : "") +
            "\r\n";
  return text + "}";
}

TEST(ReloadFolds, TheOldRangesAreFreedInIdlePiecesWhenNoneWasCollapsed) {
  const std::string before = Objects(3000, "a"), after = Objects(2000, "b");
  const auto fresh = OpenLoaded(after, true);
  const std::string expected = FoldTreeDump(*fresh->Edit);
  const struct {
    const char* name;
    bool collapse;  // a fold collapsed when the text goes
    bool foldingOff;  // folding turned off around the load, as a panel does
    bool retired;
  } cases[] = {
      {"as a panel reloads", false, true, true},
      {"nothing collapsed", false, false, true},
      {"one collapsed, folding off first", true, true, true},
      {"one collapsed", true, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto loaded = OpenLoaded(before, true);
    TOndEdit& ed = *loaded->Edit;
    ASSERT_GT(ed.AllFoldRanges().AllCount(), 3000);
    if (c.collapse) {
      ASSERT_TRUE(ed.CollapseFoldRange(ed.FoldRangeAtLine(2)));
    }
    if (c.foldingOff) ed.CodeFolding().SetEnabled(false);
    ed.Lines()->LoadFromString(std::string(after));
    if (c.foldingOff) ed.CodeFolding().SetEnabled(true);
    EXPECT_EQ(ed.AllFoldRanges().RetiredPending(), c.retired);
    ed.RescanFoldRanges();
    ed.SetCaretXY(BufferCoord(1, 1));
    EXPECT_EQ(ed.IdleWorkPending(), c.retired);
    int pieces = 0;
    while (!ed.RunIdleWork(0ms) && pieces < 1'000'000) ++pieces;
    EXPECT_FALSE(ed.AllFoldRanges().RetiredPending());
    EXPECT_EQ(FoldTreeDump(ed), expected);
  }
}

}  // namespace
}  // namespace ond
