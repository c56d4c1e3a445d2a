// Whether a text holds a match, asked without a search: the same answer as a
// search of the whole text, with either engine and the case and word options,
// over texts read in one piece, edited lines and collapsed folds, and nothing
// of the control changes.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "editor/OndEdit.h"
#include "search/OndEditRegexSearch.h"
#include "search/OndEditSearch.h"

namespace ond {
namespace {

struct Seen {
  TBufferCoord caret, begin, end;
  int top = 0;
  bool modified = false;
  int undo = 0;
  std::string text;
  bool operator==(const Seen&) const = default;
};

Seen SeenOf(const TCustomOndEdit& ed) {
  return {ed.GetCaretXY(), ed.GetBlockBegin(), ed.GetBlockEnd(), ed.GetTopLine(), ed.GetModified(),
          ed.UndoList()->ItemCount(), ed.GetEditorText()};
}

// Lines of words near the pattern "needle": in other case, inside longer
// words, one letter off, split by a line break, spaces before a brace (a
// collapsed header's marker is blanks), and now and then the word itself.
std::string RandomText(std::mt19937& rng, int lines, bool withMatch) {
  const char* words[] = {"value", "NEEDLE", "needlework", "xneedle", "needl", "e", "{", "}", "  ", "Needle", "k"};
  std::string text;
  for (int l = 0; l < lines; ++l) {
    const int n = static_cast<int>(rng() % 8);
    for (int w = 0; w < n; ++w) text += std::string(words[rng() % 11]) + (rng() % 3 ? " " : "");
    if (withMatch && rng() % 40 == 0) text += " needle";
    // Now and then a line long enough to need several stretches.
    if (rng() % 50 == 0) text += std::string(5000 + rng() % 70000, 'q');
    text += "\r\n";
  }
  return text;
}

TEST(SearchHasMatch, AgreesWithAWholeTextSearchAndChangesNothing) {
  std::mt19937 rng(11);
  int matches = 0, without = 0;
  for (int round = 0; round < 400; ++round) {
    auto ed = std::make_unique<TOndEdit>(nullptr);
    ed->SetBounds(0, 0, 400, 200);
    ed->CodeFolding().FoldRegions().Add(frtChar, false, false, false, "{", "}");
    ed->CodeFolding().SetEnabled(true);
    ed->Lines()->SetText(RandomText(rng, 1 + static_cast<int>(rng() % 60), rng() % 2 == 0));
    const int count = ed->Lines()->GetCount();
    // Some lines changed since the text was read: they stand apart from it.
    for (int k = static_cast<int>(rng() % 3); k > 0; --k) {
      const int line = static_cast<int>(rng() % static_cast<unsigned>(count));
      ed->Lines()->Put(line, std::string(ed->Lines()->GetView(line)) + (rng() % 2 ? " needle" : " needl"));
    }
    if (rng() % 3 == 0) {
      ed->RescanFoldRanges();
      for (int line = 1; line <= ed->Lines()->GetCount(); ++line)
        if (rng() % 2 == 0)
          if (TOndEditFoldRange* r = ed->FoldRangeAtLine(line)) ed->CollapseFoldRange(r);
    }
    const bool regex = rng() % 4 == 0;
    const char* patterns[] = {"needle", "Needle", "{  ", "  ", "needl", "needle needle"};
    const char* regexes[] = {"ne+dle", "^needle", "needle$", " +\\{", "q{3}k"};
    const std::string pattern = regex ? regexes[rng() % 5] : patterns[rng() % 6];
    const std::uint8_t options = static_cast<std::uint8_t>((rng() % 2 ? ssoMatchCase : 0) |
                                                           (rng() % 2 ? ssoWholeWord : 0) |
                                                           (rng() % 2 ? ssoBackwards : 0));
    const int line = 1 + static_cast<int>(rng() % static_cast<unsigned>(ed->Lines()->GetCount()));
    ed->SetCaretXY(BufferCoord(1 + static_cast<int>(rng() % 5), line));
    if (rng() % 2) ed->SetBlockEnd(BufferCoord(1, std::max(1, line - 3)));
    ed->SetTopLine(line);

    TOndEditSearch plain, plainAsked;
    TOndEditRegexSearch expression, expressionAsked;
    TOndEditSearchCustom& asked = regex ? static_cast<TOndEditSearchCustom&>(expressionAsked) : plainAsked;
    ed->SetSearchEngine(regex ? static_cast<TOndEditSearchCustom*>(&expression) : &plain);
    int events = 0;
    ed->OnStatusChange = [&events](TObject*, TOndStatusChanges) { ++events; };
    ed->OnPaintTransient = [&events](TObject*, TCanvas*, TTransientType) { ++events; };
    const Seen before = SeenOf(*ed);
    const bool has = ed->HasMatch(asked, pattern, options);
    SCOPED_TRACE("round " + std::to_string(round) + " pattern \"" + pattern + "\"");
    EXPECT_TRUE(SeenOf(*ed) == before);
    EXPECT_EQ(events, 0);
    // The whole text searched, as a walk searches a panel it enters.
    EXPECT_EQ(has, ed->SearchReplace(pattern, "", options | ssoEntireScope) > 0);
    (has ? matches : without) += 1;
    ed->SetSearchEngine(nullptr);
    if (HasFailure()) break;
  }
  // Both answers came up often.
  EXPECT_GT(matches, 60);
  EXPECT_GT(without, 60);
}

TEST(SearchHasMatch, TellsWhatTheEngineCannotTake) {
  TOndEdit ed(nullptr);
  ed.Lines()->SetText("abc");
  TOndEditSearch plain;
  EXPECT_FALSE(ed.HasMatch(plain, "", 0));
  EXPECT_THROW(ed.HasMatch(plain, std::string(TOndEditSearch::MaxPatternLength + 1, 'a'), 0), ERangeError);
  TOndEditRegexSearch expression;
  EXPECT_ANY_THROW(ed.HasMatch(expression, "(ab", 0));
  EXPECT_TRUE(ed.HasMatch(expression, "b", 0));
  // An empty text holds no match, not even an empty one.
  ed.Lines()->Clear();
  EXPECT_FALSE(ed.HasMatch(expression, "^", 0));
}

}  // namespace
}  // namespace ond
