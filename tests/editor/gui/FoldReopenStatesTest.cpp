// Lines put back by an expand: a comment opened on one of them, or a cut
// through them that changes what is code below, reaches the fold marks as it
// does in an editor that never folded.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "editor/OndEdit.h"
#include "editor/OndEditKeyCmds.h"
#include "tests/editor/gui/LoadedEditor.h"

namespace ond {
namespace {

// Blocks enough that the lower ones lie far below the window.
std::string LongConfig() {
  std::string text = "{\r\n";
  for (int i = 0; i < 14; ++i) {
    text += "  \"o" + std::to_string(i) + "\": {\r\n";
    text += "    \"x\": 1,\r\n";
    text += "    \"y\": 2\r\n";
    text += "  },\r\n";
  }
  text += "  \"end\": 0\r\n}";
  return text;
}

// Blocks as a random run made them, with comments holding braces.
const char* const kMixedConfig =
    "{\r\n"
    "  \"o0\": {\r\n"
    "    \"list\": [ 1,\r\n"
    "      2 ],\r\n"
    "  },\r\n"
    "  \"k1\": 1,\r\n"
    "  \"d2\": { \"e\": {\r\n"
    "    \"x\": 2\r\n"
    "  } },\r\n"
    "  /* { */ \"c3\": { \"x\": 1,\r\n"
    "    \"y\": \"}\"\r\n"
    "  },\r\n"
    "  \"d4\": { \"e\": {\r\n"
    "    \"x\": 2\r\n"
    "  } },\r\n"
    "  \"d5\": { \"e\": {\r\n"
    "    \"x\": 2\r\n"
    "  } },\r\n"
    "  \"d6\": { \"e\": {\r\n"
    "    \"x\": 2\r\n"
    "  } },\r\n"
    "  \"o7\": {\r\n"
    "    \"list\": [ 1,\r\n"
    "      2 ],\r\n"
    "  },\r\n"
    "  /* { */ \"c8\": { \"x\": 1,\r\n"
    "    \"y\": \"}\"\r\n"
    "  },\r\n"
    "  \"o9\": {\r\n"
    "    \"list\": [ 1,\r\n"
    "      2 ],\r\n"
    "  },\r\n"
    "  /* { */ \"c10\": { \"x\": 1,\r\n"
    "    \"y\": \"}\"\r\n"
    "  },\r\n"
    "  \"l11\": [\r\n"
    "    {\r\n"
    "      \"a\": 1,\r\n"
    "      \"s\": \"{ x }\"\r\n"
    "    }, {\r\n"
    "      \"b\": 2 // }\r\n"
    "    }\r\n"
    "  ],\r\n"
    "  \"k12\": 12,\r\n"
    "  \"o13\": {\r\n"
    "    \"list\": [ 1,\r\n"
    "      2 ],\r\n"
    "  },\r\n"
    "  \"end\": 0\r\n"
    "}";

// Every range by its lines, depth and the range it sits in, sorted.
std::vector<std::string> Tree(const TOndEditAllFoldRanges& All) {
  std::vector<std::string> lines;
  for (const auto& r : All.AllRangeList()) {
    const TOndEditFoldRange* parent = r->Container() != nullptr ? r->Container()->Owner() : nullptr;
    std::string line = std::to_string(r->FromLine) + "-" + std::to_string(r->ToLine) + " L" + std::to_string(r->Level);
    if (parent) line += " in " + std::to_string(parent->FromLine) + "-" + std::to_string(parent->ToLine);
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

struct ReopenCase {
  const char* Name;
  std::string Text;
  std::function<void(TOndEdit&)> Edit;
};

class FoldReopenStates : public ::testing::TestWithParam<ReopenCase> {};

TEST_P(FoldReopenStates, TheTreeIsAFreshScansOnceNothingIsCollapsed) {
  auto loaded = test::OpenLoaded(GetParam().Text, true);
  TOndEdit& ed = *loaded->Edit;
  ASSERT_TRUE(test::RunEventLoopUntilIdle(ed));
  ASSERT_TRUE(ed.CollapseFoldRange(ed.FoldRangeAtLine(1)));
  ed.ExpandAll();
  ASSERT_TRUE(test::RunEventLoopUntilIdle(ed));
  GetParam().Edit(ed);
  ASSERT_TRUE(test::RunEventLoopUntilIdle(ed));
  ASSERT_FALSE(ed.FoldUpdatePending());
  auto fresh = test::OpenLoaded(ed.GetEditorText(), true);
  ASSERT_TRUE(test::RunEventLoopUntilIdle(*fresh->Edit));
  EXPECT_EQ(Tree(ed.AllFoldRanges()), Tree(fresh->Edit->AllFoldRanges()));
}

const ReopenCase kCases[] = {
    // On a line with no brace of its own: the comment runs to the end and
    // takes the braces below.
    {"ACommentOpenedOnAReopenedLine", LongConfig(),
     [](TOndEdit& Ed) {
       Ed.SetCaretXY(BufferCoord(5, 52));
       Ed.CommandProcessor(ecChar, '/', nullptr);
       Ed.CommandProcessor(ecChar, '*', nullptr);
     }},
    // Over the end of a comment and a line break: what is left of the
    // comment runs to the end and takes the root's closing brace.
    {"ACutThroughReopenedLines", kMixedConfig,
     [](TOndEdit& Ed) {
       Ed.SetCaretXY(BufferCoord(3, 34));
       Ed.SetBlockBegin(BufferCoord(5, 33));
       Ed.SetBlockEnd(BufferCoord(3, 34));
       Ed.CommandProcessor(ecCut, 0, nullptr);
     }},
};

INSTANTIATE_TEST_SUITE_P(Edits, FoldReopenStates, ::testing::ValuesIn(kCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
}  // namespace ond
