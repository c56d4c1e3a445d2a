// Runs of changed lines: what the recorder keeps while a change walks the
// text down or up, and the record text they travel in.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "editor/OndEditLineRuns.h"

namespace ond {
namespace {

// A text as lines (1-based through At) that the test changes the way a
// replace-all does: a line replaced by one or more lines.
struct Lines {
  std::vector<std::string> L;
  std::string_view At(int Line) const { return L[static_cast<std::size_t>(Line - 1)]; }
  void Replace(int Line, const std::vector<std::string>& By) {
    const auto at = L.begin() + (Line - 1);
    L.erase(at);
    L.insert(L.begin() + (Line - 1), By.begin(), By.end());
  }
};

Lines Numbered(int N) {
  Lines t;
  for (int i = 1; i <= N; ++i) t.L.push_back("line " + std::to_string(i));
  return t;
}

// Changes the given lines (numbered as the text stands when each is
// changed) in the order given, as a change walking the text would.
struct Step {
  int Line;
  std::vector<std::string> By;
  bool Closes = false;  // the line heads a collapsed fold
};

std::vector<TOndLineRun> Record(Lines& T, bool Upwards, const std::vector<Step>& Steps) {
  TOndLineRunsRecorder rec(Upwards);
  for (const Step& s : Steps) {
    rec.Keep(s.Line, T.At(s.Line), s.Closes);
    T.Replace(s.Line, s.By);
    rec.Grew(static_cast<int>(s.By.size()) - 1);
  }
  return rec.Take([&](int Line) { return T.At(Line); });
}

TEST(LineRuns, RecorderKeepsEachChangedLineOnceInRunsOfNeighbours) {
  struct Case {
    const char* name;
    bool upwards;
    std::vector<Step> steps;
    std::vector<TOndLineRun> expected;
  };
  const Case cases[] = {
      {"apart, down", false, {{2, {"a"}}, {7, {"b"}}}, {{2, 1, "line 2"}, {7, 1, "line 7"}}},
      {"neighbours join going down", false, {{2, {"a"}}, {3, {"b"}}, {4, {"c"}}}, {{2, 3, "line 2\r\nline 3\r\nline 4"}}},
      {"a line changed twice is kept once", false, {{5, {"x"}}, {5, {"y"}}}, {{5, 1, "line 5"}}},
      {"a broken line grows its run", false, {{2, {"a", "b"}}, {3, {"c"}}, {6, {"d"}}},
       {{2, 2, "line 2"}, {6, 1, "line 5"}}},
      {"apart, up", true, {{7, {"b"}}, {2, {"a"}}}, {{2, 1, "line 2"}, {7, 1, "line 7"}}},
      // Going up, what a line above gained moves the runs below it.
      {"a broken line above moves the runs below", true, {{7, {"x", "y"}}, {4, {"p", "q", "r"}}, {2, {"a"}}},
       {{2, 1, "line 2"}, {4, 3, "line 4"}, {9, 2, "line 7"}}},
      {"neighbours going up stay apart", true, {{3, {"c"}}, {2, {"b"}}}, {{2, 1, "line 2"}, {3, 1, "line 3"}}},
      // Lines back as they were stay out; a run of no change is left out.
      {"unchanged lines at a run's ends stay out", false, {{2, {"line 2"}}, {3, {"b"}}, {4, {"line 4"}}},
       {{3, 1, "line 3"}}},
      {"a run of no change is left out", false, {{2, {"line 2"}}, {6, {"z"}}}, {{6, 1, "line 6"}}},
      {"a line that only grew keeps one line", false, {{3, {"line 3", ""}}}, {{3, 2, "line 3"}}},
      // The lines a collapsed header hides stand between it and the next
      // line: nothing joins its run after it, it may join the one before.
      {"a collapsed header ends its run", false, {{2, {"a"}}, {3, {"h"}, true}, {4, {"c"}}, {5, {"d"}}},
       {{2, 2, "line 2\r\nline 3"}, {4, 2, "line 4\r\nline 5"}}},
      {"a header changed again still ends its run", false, {{3, {"h"}}, {3, {"i"}, true}, {4, {"c"}}},
       {{3, 1, "line 3"}, {4, 1, "line 4"}}},
      {"a header going up", true, {{4, {"c"}}, {3, {"h"}, true}}, {{3, 1, "line 3"}, {4, 1, "line 4"}}},
  };
  for (const Case& c : cases) {
    Lines t = Numbered(10);
    EXPECT_EQ(Record(t, c.upwards, c.steps), c.expected) << c.name;
  }
}

// Putting each run's lines back in the changed text, from the last run up,
// gives the text before the change.
TEST(LineRuns, PuttingTheRunsBackRestoresTheText) {
  for (const bool upwards : {false, true}) {
    Lines t = Numbered(40);
    const std::vector<std::string> before = t.L;
    std::vector<Step> steps;
    for (int line = 3; line <= 36; line += 3) steps.push_back({line, {"x", "y"}});
    if (upwards) {
      std::reverse(steps.begin(), steps.end());
    } else {
      // Going down, each broken line pushed the ones after it down.
      for (std::size_t i = 0; i < steps.size(); ++i) steps[i].Line += static_cast<int>(i);
    }
    const std::vector<TOndLineRun> runs = Record(t, upwards, steps);
    ASSERT_EQ(runs.size(), steps.size());
    for (auto r = runs.rbegin(); r != runs.rend(); ++r) {
      const auto at = t.L.begin() + (r->First - 1);
      t.L.erase(at, at + r->Count);
      t.L.insert(t.L.begin() + (r->First - 1), r->Lines);
    }
    EXPECT_EQ(t.L, before) << (upwards ? "up" : "down");
  }
}

// What the runs gained says where a line below them stood before the
// change; lines shown above every run (a fold opened going up) move them.
TEST(LineRuns, RecorderTellsWhatItGainedAndFollowsLinesShownAbove) {
  Lines t = Numbered(20);
  TOndLineRunsRecorder down(false);
  EXPECT_EQ(down.Gained(), 0);
  down.Keep(2, t.At(2));
  t.Replace(2, {"a", "b", "c"});
  down.Grew(2);
  down.Keep(8, t.At(8));
  t.Replace(8, {"d", "e"});
  down.Grew(1);
  EXPECT_EQ(down.Gained(), 3);

  Lines u = Numbered(20);
  TOndLineRunsRecorder up(true);
  up.Keep(12, u.At(12));
  u.Replace(12, {"x", "y"});
  up.Grew(1);
  // Two lines come into sight above line 12, as a fold opening at line 5.
  u.L.insert(u.L.begin() + 5, {"shown 1", "shown 2"});
  up.Moved(2);
  up.Keep(3, u.At(3));
  u.Replace(3, {"z"});
  EXPECT_EQ(up.Take([&](int Line) { return u.At(Line); }),
            (std::vector<TOndLineRun>{{3, 1, "line 3"}, {14, 2, "line 12"}}));
}

TEST(LineRuns, RecordTextRoundTripsAndRefusesAnythingElse) {
  const std::vector<TOndLineRun> runs = {
      {1, 1, ""}, {2, 3, std::string("a\r\nb\0c\n12 3 4\n", 14)}, {9, 1, "last"}, {2000000000, 2, "far"}};
  EXPECT_EQ(DecodeLineRuns(EncodeLineRuns(runs)), runs);
  EXPECT_TRUE(DecodeLineRuns("").empty());
  const std::string good = EncodeLineRuns({{3, 2, "ab"}});
  for (const std::string_view bad : {
           std::string_view("3 2 5\nab"),            // shorter than it says
           std::string_view("3 2\nab"),              // a number missing
           std::string_view("x 2 2\nab"),            // not a number
           std::string_view("0 1 0\n"),              // line 0
           std::string_view("3 0 0\n"),              // no lines
           std::string_view("3 2 0\n4 1 0\n"),       // overlapping runs
           std::string_view("3 1 0\n1 1 0\n"),       // out of order
           std::string_view("2147483647 2 0\n"),     // beyond the last line there can be
           std::string_view("99999999999999999999 1 0\n"),
       })
    EXPECT_TRUE(DecodeLineRuns(bad).empty()) << bad;
  EXPECT_FALSE(DecodeLineRuns(good).empty());
}

}  // namespace
}  // namespace ond
