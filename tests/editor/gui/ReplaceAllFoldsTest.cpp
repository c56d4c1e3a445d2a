// Replace-all, its undo and redo, and replacing the selection, on a text
// with folds collapsed and expanded: the text behind every fold stays the
// user's, a collapsed header's marker never becomes text, and the fold marks
// follow the replaced text at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "editor/OndEdit.h"
#include "editor/OndEditKeyCmds.h"
#include "search/OndEditSearch.h"
#include "tests/editor/gui/LoadedEditor.h"

namespace ond {
namespace {

constexpr std::uint8_t kReplaceAll = ssoEntireScope | ssoReplace | ssoReplaceAll;

// An editor under the config files' scheme, its folds scanned, with the
// plain search engine.
struct FoldedEditor {
  explicit FoldedEditor(const std::string& Text) : Loaded(test::OpenLoaded(Text, true)), Ed(*Loaded->Edit) {
    Ed.SetSearchEngine(&Engine);
  }
  ~FoldedEditor() { Ed.SetSearchEngine(nullptr); }
  FoldedEditor(const FoldedEditor&) = delete;
  FoldedEditor& operator=(const FoldedEditor&) = delete;

  // Char 0: the end of the line.
  void Type(int Line, int Char, const std::string& Text) {
    if (Char == 0) Char = static_cast<int>(Ed.Lines()->GetView(Line - 1).size()) + 1;
    Ed.SetCaretXY(BufferCoord(Char, Line));
    for (char c : Text) Ed.CommandProcessor(ecChar, c, nullptr);
  }
  bool Collapse(int Line) { return Ed.CollapseFoldRange(Ed.FoldRangeAtLine(Line)); }
  bool Expand(int Line) { return Ed.ExpandFoldRange(Ed.FoldRangeAtLine(Line)); }
  void Undo() { Ed.CommandProcessor(ecUndo, '\0', nullptr); }
  void Redo() { Ed.CommandProcessor(ecRedo, '\0', nullptr); }
  std::string Text() const { return Ed.TextWithFoldsExpanded(); }
  // The ranges as a fresh scan of the text finds them (with nothing
  // collapsed, the two compare whole).
  std::string Tree() const { return test::FoldRangeList(Ed.AllFoldRanges(), true); }
  std::string FreshTree() const { return test::FoldRangeList(test::OpenLoaded(Text(), true)->Edit->AllFoldRanges(), true); }

  std::unique_ptr<test::LoadedEditor> Loaded;
  TOndEdit& Ed;
  TOndEditSearch Engine;
};

// A fold collapsed after a replace-all moves the lines its record holds;
// undo and redo find them all the same, whatever the fold did to the
// ranges around it (here a brace left open on the header line).
TEST(ReplaceAllFolds, UndoAndRedoFindTheirLinesBehindAFoldCollapsedSince) {
  FoldedEditor e("{{\r\n  \"a\": 1,\r\n  \"b\": 2,\r\n  \"c\": 3,\r\n  \"d\": \"x\"\r\n}");
  const std::string before = e.Text();
  EXPECT_EQ(e.Ed.SearchReplace("x", "y", kReplaceAll), 1);
  const std::string after = e.Text();
  ASSERT_TRUE(e.Collapse(1));
  e.Undo();
  EXPECT_EQ(e.Text(), before);
  e.Redo();
  EXPECT_EQ(e.Text(), after);
  ASSERT_TRUE(e.Collapse(1) || true);
  e.Undo();
  EXPECT_EQ(e.Text(), before);
  e.Ed.ExpandAll();
  EXPECT_EQ(e.Ed.Lines()->GetText(), before);
}

// A replacement holding a line break in the visible text of a collapsed
// header opens its fold first: the header's tail goes to a line of its own
// above the lines the fold hid, and no marker goes with it. The lines the
// fold hid were not searched, and are not afterwards either.
TEST(ReplaceAllFolds, ALineBreakInACollapsedHeaderOpensItsFold) {
  const std::string text = "{\r\n\"b\": { \"x\": 1,\r\n\"x\": { 1\r\n},\r\n\"x\": 2\r\n}";
  for (const std::uint8_t way : {std::uint8_t{0}, std::uint8_t{ssoBackwards}}) {
    SCOPED_TRACE(way ? "up" : "down");
    FoldedEditor e(text);
    ASSERT_TRUE(e.Collapse(2));
    if (way) e.Ed.SetCaretXY(BufferCoord(2, 4));
    EXPECT_EQ(e.Ed.SearchReplace("{", "{\r\n", kReplaceAll | way), 2);
    const std::string replaced = "{\r\n\r\n\"b\": {\r\n \"x\": 1,\r\n\"x\": { 1\r\n},\r\n\"x\": 2\r\n}";
    EXPECT_EQ(e.Text(), replaced);
    e.Ed.ExpandAll();
    EXPECT_EQ(e.Ed.Lines()->GetText(), replaced);
    e.Undo();
    EXPECT_EQ(e.Text(), text);
    e.Redo();
    EXPECT_EQ(e.Text(), replaced);
    e.Undo();
    e.Ed.ExpandAll();
    EXPECT_EQ(e.Ed.Lines()->GetText(), text);
  }
}

// The record of a replace-all holds no marker: an undo after the fold was
// opened gives back the header as it was.
TEST(ReplaceAllFolds, UndoAfterTheFoldOpenedPutsNoMarkerIntoTheHeader) {
  const std::string text = "{\r\n\"a\": {\r\n\"x\": 1\r\n},\r\n\"b\": 2\r\n}";
  FoldedEditor e(text);
  e.Type(5, 0, "3");
  const std::string typed = e.Text();
  ASSERT_TRUE(e.Collapse(2));
  EXPECT_EQ(e.Ed.SearchReplace("{", "(", kReplaceAll), 2);
  const std::string replaced = e.Text();
  EXPECT_EQ(replaced, "(\r\n\"a\": (\r\n\"x\": 1\r\n},\r\n\"b\": 23\r\n}");
  ASSERT_TRUE(e.Expand(2));
  e.Type(2, 0, "4");
  e.Undo();
  EXPECT_EQ(e.Text(), replaced);
  e.Undo();
  EXPECT_EQ(e.Text(), typed);
  e.Undo();
  EXPECT_EQ(e.Text(), text);
  e.Ed.ExpandAll();
  EXPECT_EQ(e.Ed.Lines()->GetText(), text);
  for (int i = 0; i < 3; ++i) e.Redo();
  EXPECT_EQ(e.Text(), "(\r\n\"a\": (4\r\n\"x\": 1\r\n},\r\n\"b\": 23\r\n}");
}

// A replace-all whose first change opens a fold is one undo step of its
// own: the fold collapsed at the end of the step before stays with that.
TEST(ReplaceAllFolds, AReplaceAllThatOpensAFoldFirstIsAStepOfItsOwn) {
  FoldedEditor e("[\r\n\"a\": {\r\n\"x\": 1\r\n}\r\n]");
  EXPECT_EQ(e.Ed.SearchReplace("x", "y", kReplaceAll), 1);
  const std::string first = e.Text();
  ASSERT_TRUE(e.Collapse(2));
  // Going up, the first match is on the collapsed header.
  EXPECT_EQ(e.Ed.SearchReplace("{", "{\r\n", kReplaceAll | ssoBackwards), 1);
  EXPECT_EQ(e.Text(), "[\r\n\"a\": {\r\n\r\n\"y\": 1\r\n}\r\n]");
  e.Undo();
  EXPECT_EQ(e.Text(), first);
  e.Undo();
  EXPECT_EQ(e.Text(), "[\r\n\"a\": {\r\n\"x\": 1\r\n}\r\n]");
}

// A replace-all, and its undo and redo, leave the fold marks as a fresh
// scan of the new text finds them, without a key edit after them.
TEST(ReplaceAllFolds, TheFoldMarksFollowAReplaceAllAndItsUndoAtOnce) {
  const std::string text = "{\r\n  \"a\": {\r\n    \"x\": 1\r\n  },\r\n  \"b\": [ 2,\r\n    3 ]\r\n}";
  for (const bool direct : {false, true}) {
    SCOPED_TRACE(direct ? "Undo() called" : "undo by command");
    FoldedEditor e(text);
    const std::string before = e.Tree();
    EXPECT_EQ(e.Ed.SearchReplace("{", "(", kReplaceAll), 2);
    EXPECT_EQ(e.Tree(), e.FreshTree());
    EXPECT_EQ(e.Ed.FoldRangeAtLine(1), nullptr);
    if (direct)
      e.Ed.Undo();
    else
      e.Undo();
    EXPECT_EQ(e.Tree(), before);
    if (direct)
      e.Ed.Redo();
    else
      e.Redo();
    EXPECT_EQ(e.Tree(), e.FreshTree());
  }
}

// Replacing the selection on a collapsed header, every way: the marker is
// neither taken nor put into, a line break that would split the header
// from its marker opens the fold first, and lines put before the whole
// header take it down whole. Undo and redo give back each text.
TEST(ReplaceAllFolds, ReplacingTheSelectionOnACollapsedHeaderKeepsTheMarkerOutOfTheText) {
  const std::string text = "{\r\n\"a\": { \"k\": 1,\r\n\"x\": 1\r\n},\r\n\"b\": 2\r\n}";
  struct Case {
    const char* name;
    TBufferCoord begin, end;
    const char* insert;
    const char* expected;
    bool stillCollapsed;
  };
  // The header "a": { "k": 1, has 14 characters; its marker follows.
  const Case cases[] = {
      {"insert inside", {5, 2}, {5, 2}, "Q", "{\r\n\"a\":Q { \"k\": 1,\r\n\"x\": 1\r\n},\r\n\"b\": 2\r\n}", true},
      {"insert at the end", {15, 2}, {15, 2}, "Q", "{\r\n\"a\": { \"k\": 1,Q\r\n\"x\": 1\r\n},\r\n\"b\": 2\r\n}", true},
      {"insert in the marker", {17, 2}, {17, 2}, "Q", "{\r\n\"a\": { \"k\": 1,Q\r\n\"x\": 1\r\n},\r\n\"b\": 2\r\n}",
       true},
      {"selection into the marker", {8, 2}, {18, 2}, "Q", "{\r\n\"a\": { Q\r\n\"x\": 1\r\n},\r\n\"b\": 2\r\n}", true},
      {"line break inside", {7, 2}, {7, 2}, "\r\n",
       "{\r\n\"a\": {\r\n \"k\": 1,\r\n\"x\": 1\r\n},\r\n\"b\": 2\r\n}", false},
      {"line break at the end", {15, 2}, {15, 2}, "\r\nQ",
       "{\r\n\"a\": { \"k\": 1,\r\nQ\r\n\"x\": 1\r\n},\r\n\"b\": 2\r\n}", false},
      {"marker replaced by a line break", {15, 2}, {20, 2}, "\r\n",
       "{\r\n\"a\": { \"k\": 1,\r\n\r\n\"x\": 1\r\n},\r\n\"b\": 2\r\n}", false},
      {"lines before the header", {1, 2}, {1, 2}, "z\r\n",
       "{\r\nz\r\n\"a\": { \"k\": 1,\r\n\"x\": 1\r\n},\r\n\"b\": 2\r\n}", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FoldedEditor e(text);
    ASSERT_TRUE(e.Collapse(2));
    e.Ed.SetOptions(e.Ed.GetOptions() | eoScrollPastEol);
    e.Ed.PlaceCaretAndSelection(c.end, c.begin, c.end);
    e.Ed.SetSelText(c.insert);
    EXPECT_EQ(e.Text(), c.expected);
    bool collapsed = false;
    for (const auto& r : e.Ed.AllFoldRanges().AllRangeList()) collapsed = collapsed || r->Collapsed;
    EXPECT_EQ(collapsed, c.stillCollapsed);
    e.Undo();
    EXPECT_EQ(e.Text(), text);
    e.Redo();
    EXPECT_EQ(e.Text(), c.expected);
    e.Ed.ExpandAll();
    EXPECT_EQ(e.Ed.Lines()->GetText(), c.expected);
    e.Undo();
    e.Ed.ExpandAll();
    EXPECT_EQ(e.Ed.Lines()->GetText(), text);
  }
}

// ---- against a plain model of the text ---------------------------------------------------

using test::JoinLines;
using test::SplitLines;

// Objects with nested lists, "}, {" lines, braces in strings and comments,
// and, now and then, a header left open or a last brace missing.
std::string ConfigText(std::mt19937& Rng, int Objects) {
  std::string text = "{\r\n";
  for (int i = 0; i < Objects; ++i) {
    const std::string n = std::to_string(i);
    switch (Rng() % 6) {
      case 0: text += "  \"o" + n + "\": { \"x\": 1,\r\n    \"y\": \"{ x }\"\r\n  },\r\n"; break;
      case 1: text += "  \"l" + n + "\": [\r\n    { \"x\": 1 }, {\r\n      \"y\": 2\r\n    }, {\r\n      \"x\": 3\r\n    }\r\n  ],\r\n"; break;
      case 2: text += "  // { x, y\r\n  \"c" + n + "\": 1,\r\n"; break;
      case 3: text += "  \"p" + n + "\": {\r\n    \"q\": { \"x\": [ 1,\r\n      2 ] },\r\n    \"y\": 3\r\n  },\r\n"; break;
      case 4: text += "  \"s" + n + "\": \"x}y{\",\r\n"; break;
      default: text += "  \"open" + n + "\": { \"x\": 1,\r\n"; break;  // never closed
    }
  }
  if (Rng() % 3 != 0) return text + "  \"end\": 0\r\n}";
  text.resize(text.size() - 2);  // the last brace missing
  return text;
}

struct Replacement {
  const char* Search;
  const char* Replace;
};
const Replacement kReplacements[] = {
    {"{", "("}, {"(", "{"}, {"x", "yy"}, {"yy", "x"}, {"{", "{\r\n"}, {",", ",\r\n  "},
    {"}", "}"}, {"1", ""}, {"\"", "'"}, {"'", "\""}, {"x", "x\r\nz"}, {"[", "[\r\n"},
};

// Replace-all on the model: every line a collapsed fold does not hide,
// matches taken from the left without overlapping.
std::string ReplaceInModel(const std::string& Text, const std::vector<bool>& Hidden, const std::string& Search,
                           const std::string& Replace, int& Count) {
  std::vector<std::string> lines = SplitLines(Text);
  Count = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (Hidden[i]) continue;
    std::string out;
    std::size_t at = 0;
    for (std::size_t f; (f = lines[i].find(Search, at)) != std::string::npos; at = f + Search.size()) {
      out += lines[i].substr(at, f - at) + Replace;
      ++Count;
    }
    lines[i] = out + lines[i].substr(at);
  }
  if (Search == Replace) Count = 0;
  return JoinLines(lines);
}

// Which lines of the expanded text collapsed folds hide now, checking on
// the way that each line in view shows the model's line, its marker aside.
std::vector<bool> HiddenLines(TOndEdit& Ed, const std::vector<std::string>& Model) {
  std::vector<bool> hidden(Model.size(), true);
  const int count = Ed.Lines()->GetCount();
  int previous = 0;
  for (int line = 1; line <= count; ++line) {
    const int at = Ed.UncollapsedLine(line);
    EXPECT_GT(at, previous) << "line " << line;
    EXPECT_LE(at, static_cast<int>(Model.size())) << "line " << line;
    if (at <= previous || at > static_cast<int>(Model.size())) return hidden;
    previous = at;
    hidden[static_cast<std::size_t>(at - 1)] = false;
    std::string text(Ed.Lines()->GetView(line - 1));
    const TOndEditFoldRange* r = nullptr;
    for (const TOndEditFoldRange* q : Ed.AllFoldRanges().Index().Over(line, line))
      if (q->FromLine == line && q->Collapsed && !q->ParentCollapsed) r = q;
    if (r) {
      const std::string marker = CollapsedMarker(r);
      EXPECT_TRUE(text.size() >= marker.size() && text.compare(text.size() - marker.size(), marker.size(), marker) == 0)
          << "line " << line << ": " << text;
      text.resize(text.size() >= marker.size() ? text.size() - marker.size() : 0);
    }
    EXPECT_EQ(text, Model[static_cast<std::size_t>(at - 1)]) << "line " << line << " of the expanded text " << at;
  }
  return hidden;
}

struct ModelRun {
  unsigned Seed;
  int Objects;
  int Steps;
};

// Replace-alls with and without line breaks, forwards and backwards, undo
// and redo by key and by call, collapsing, expanding and Expand all, in
// random order: after each step the text with every fold expanded is the
// model's, every line in view shows the model's line without the marker,
// and "Modified" says whether the text differs from the one loaded; undo
// to the start gives back the loaded bytes, redo to the end the newest.
void RunAgainstTheModel(const ModelRun& run) {
  std::mt19937 rng(run.Seed);
  const std::string original = ConfigText(rng, run.Objects);
  FoldedEditor e(original);
  std::vector<std::string> history{original};
  std::size_t now = 0;
  std::string steps;  // what was done, for a failure to tell
  for (int step = 0; step < run.Steps; ++step) {
    const unsigned kind = rng() % 10;
    std::string what;
    const int count = e.Ed.Lines()->GetCount();
    const int line = 1 + static_cast<int>(rng() % static_cast<unsigned>(std::max(1, count)));
    if (kind < 3) {
      const Replacement& r = kReplacements[rng() % std::size(kReplacements)];
      const bool up = rng() % 3 == 0;
      what = std::string("replace ") + r.Search + " by " + r.Replace + (up ? " up" : "");
      const std::vector<bool> hidden = HiddenLines(e.Ed, SplitLines(history[now]));
      int expected = 0;
      const std::string text = ReplaceInModel(history[now], hidden, r.Search, r.Replace, expected);
      const std::uint8_t options = kReplaceAll | ssoMatchCase | (up ? ssoBackwards : 0);
      EXPECT_EQ(e.Ed.SearchReplace(r.Search, r.Replace, options), expected) << what;
      if (text != history[now]) {
        history.resize(now + 1);
        history.push_back(text);
        ++now;
      }
    } else if (kind < 7) {
      // A fold toggled on its own joins the last step and ends what redo
      // had to give.
      if (kind < 5) {
        what = "collapse " + std::to_string(line);
        e.Collapse(line);
      } else if (kind == 5) {
        what = "expand " + std::to_string(line);
        const TOndEditFoldRange* r = e.Ed.FoldRangeAtLine(line);
        if (r && r->Collapsed) e.Expand(line);
      } else {
        what = "expand all";
        e.Ed.ExpandAll();
      }
      if (e.Ed.Lines()->GetCount() != count) history.resize(now + 1);
    } else {
      const bool undo = kind < 9, byKey = rng() % 2 == 0;
      what = std::string(undo ? "undo" : "redo") + (byKey ? " by key" : " by call");
      if (byKey)
        e.Ed.CommandProcessor(undo ? ecUndo : ecRedo, '\0', nullptr);
      else if (undo)
        e.Ed.Undo();
      else
        e.Ed.Redo();
      if (undo && now > 0) --now;
      if (!undo && now + 1 < history.size()) ++now;
    }
    steps += std::to_string(step) + ": " + what + "\n";
    SCOPED_TRACE(steps);
    ASSERT_EQ(e.Text(), history[now]);
    HiddenLines(e.Ed, SplitLines(history[now]));
    ASSERT_EQ(e.Ed.GetModified(), history[now] != original || now != 0);
    if (::testing::Test::HasFailure()) return;
  }
  SCOPED_TRACE(steps);
  while (now > 0) {
    e.Undo();
    --now;
    ASSERT_EQ(e.Text(), history[now]) << "undo to the start, " << now;
  }
  // (Expanding a fold now would end what redo has to give.)
  EXPECT_EQ(e.Text(), original);
  EXPECT_FALSE(e.Ed.GetModified());
  while (now + 1 < history.size()) {
    e.Redo();
    ++now;
    ASSERT_EQ(e.Text(), history[now]) << "redo to the end, " << now;
  }
  e.Ed.ExpandAll();
  EXPECT_EQ(e.Ed.Lines()->GetText(), history.back());
}

class ReplaceAllFoldsModel : public ::testing::TestWithParam<ModelRun> {};

TEST_P(ReplaceAllFoldsModel, EveryStepKeepsTheModelsText) { RunAgainstTheModel(GetParam()); }

// A longer run on demand: ONDREL_REPLACE_MODEL_SEEDS seeds from the first
// one given by ONDREL_REPLACE_MODEL_FIRST (the failing seed is printed).
TEST(ReplaceAllFoldsModelLong, ManySeeds) {
  const char* seeds = std::getenv("ONDREL_REPLACE_MODEL_SEEDS");
  if (seeds == nullptr) GTEST_SKIP() << "ONDREL_REPLACE_MODEL_SEEDS not set";
  const char* first = std::getenv("ONDREL_REPLACE_MODEL_FIRST");
  const unsigned from = first != nullptr ? static_cast<unsigned>(std::strtoul(first, nullptr, 10)) : 100;
  for (unsigned seed = from; seed < from + std::strtoul(seeds, nullptr, 10); ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    RunAgainstTheModel({seed, 2 + static_cast<int>(seed % 40), 300});
    if (::testing::Test::HasFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, ReplaceAllFoldsModel,
                         ::testing::Values(ModelRun{1, 4, 400}, ModelRun{2, 8, 400}, ModelRun{3, 12, 400},
                                           ModelRun{4, 20, 400}, ModelRun{5, 30, 300}, ModelRun{6, 600, 120}));

}  // namespace
}  // namespace ond
