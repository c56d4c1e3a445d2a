// The idle fold scan of long random configs, with the highlighter's range
// states brought up a stretch of lines at a time: strings with escaped
// quotes, braces and tags in strings and comments, comments over many
// lines, tabs, line ends of every kind and very long lines, with edits
// between the pieces. The settled tree must be that of a scan of the final
// text at once, and every line's stored state that of a walk token by token;
// the partner of a bracket found in idle time that of the walk at once.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "editor/OndEdit.h"
#include "editor/OndEditCodeFolding.h"
#include "editor/OndEditKeyCmds.h"
#include "highlight/OndBuiltinSchemes.h"
#include "highlight/OndGenHighlighter.h"
#include "platform/Graphics.h"
#include "tests/editor/gui/LoadedEditor.h"
#include "tests/highlight/HighlightTestRules.h"

namespace ond {
namespace {

using namespace std::chrono_literals;

std::string RandomPiece(std::mt19937& Rng) {
  static const char* const kPieces[] = {
      "\"key\": ",        "\"a \\\" { b\"",  "\"}\"",          "{",         "}",       "[1, 2]",
      "// } { \"",        "/* { ",           " } */",          "\t",        ", ",      "\"<b '{'>\"",
      "'{'",              "\"\\\\\"",        "\"$ref\"",       "true",      "0x1F",    "\"unclosed {",
      "<",                ">",               "*/",             "/",         "\\",      "   ",
      "\"\xC7\xED\xE0\xF7\xE5\xED\xE8\xE5\"", "\"value text\", \"more\": 0",
      // Lines of strings alone that end inside one.
      "\"an \\\" odd quote\"",   "\"open string, ",
  };
  return kPieces[Rng() % (sizeof kPieces / sizeof *kPieces)];
}

std::string RandomLine(std::mt19937& Rng) {
  // Now and then a very long line: many pieces on one line.
  const int pieces = Rng() % 200 == 0 ? 400 + static_cast<int>(Rng() % 400) : static_cast<int>(Rng() % 7);
  std::string line;
  for (int i = 0; i < pieces; ++i) line += RandomPiece(Rng);
  return line;
}

std::string RandomText(unsigned Seed, int Lines) {
  std::mt19937 rng(Seed);
  static const char* const kEnds[] = {"\r\n", "\n", "\r"};
  std::string text = "{\r\n";
  for (int i = 0; i < Lines; ++i) text += RandomLine(rng) + kEnds[rng() % 10 == 0 ? 1 + rng() % 2 : 0];
  return text + "}";
}

// Each line's state as a walk token by token leaves it, line 0 first. The
// editor's own highlighter walks: it numbers the states as it first met
// them, and the same state keeps its number.
std::vector<TOndRangeState> TokenWalkStates(TOndGenHighlighter& H, TOndEditStringList& Lines) {
  std::vector<TOndRangeState> out;
  TOndRangeState state = 0;
  for (int i = 0; i < Lines.GetCount(); ++i) {
    const std::string text = Lines.LineHasTabs(i) ? Lines.GetExpandedText(i) : Lines.Get(i);
    test::ScanLine(H, text, state, &state);
    out.push_back(state);
  }
  return out;
}

// The ranges of the config scheme's regions found the plainest way, in the
// format of FoldRangeList: byte after byte, its skip regions (a tag, a
// string in double or single quotes) by hand, and each brace outside them
// asked of a token walk of its line from the state the line starts in.
std::string PlainFoldRanges(TOndGenHighlighter& H, TOndEditStringList& Lines, const std::vector<TOndRangeState>& Ends) {
  struct Found {
    int Parent, From, To, Level, Indent;
  };
  std::vector<Found> found;
  std::vector<int> open;  // indexes into found
  char closing = 0;       // the byte that ends the skip region the scan is in
  const int tab = Lines.GetTabWidth();
  for (int i = 0; i < Lines.GetCount(); ++i) {
    const std::string raw = Lines.Get(i);
    const std::string expanded = Lines.LineHasTabs(i) ? Lines.GetExpandedText(i) : raw;
    const std::vector<test::TTok> tokens = test::ScanLine(H, expanded, i == 0 ? 0 : Ends[static_cast<std::size_t>(i - 1)]);
    auto nonCode = [&](int Col) {  // 1-based display column
      for (const test::TTok& t : tokens)
        if (Col > t.Pos && Col <= t.Pos + static_cast<int>(t.Text.size())) return IsNonCodeAttributeName(t.Attr);
      return false;
    };
    int col = 0;
    for (const char c : raw) {
      const int here = col + 1;
      col = c == '\t' ? col + tab - col % tab : col + 1;
      if (closing != 0) {
        if (c == closing) closing = 0;
        continue;
      }
      if (c == '<' || c == '"' || c == '\'') {
        closing = c == '<' ? '>' : c;
      } else if (c == '{' && !nonCode(here)) {
        open.push_back(static_cast<int>(found.size()));
        found.push_back({open.size() > 1 ? open[open.size() - 2] : -1, i + 1, i + 1, static_cast<int>(open.size()) - 1,
                         FoldIndentLevel(raw, tab)});
      } else if (c == '}' && !nonCode(here) && !open.empty()) {
        found[static_cast<std::size_t>(open.back())].To = i + 1;
        open.pop_back();
      }
    }
  }
  std::ostringstream s;
  for (const Found& f : found)
    s << f.Parent << ' ' << f.From << '-' << f.To << " L" << f.Level << " I" << f.Indent << " R{} C00\n";
  return s.str();
}

class IdleScanRandomText : public ::testing::TestWithParam<unsigned> {};

TEST_P(IdleScanRandomText, SettlesAsAScanAtOnceWithTheStatesOfATokenWalk) {
  const unsigned seed = GetParam();
  auto lazy = test::OpenLoaded(RandomText(seed, TCustomOndEdit::kIdleWorkLines + 500), false);
  TOndEdit& ed = *lazy->Edit;
  TBitmap bmp;
  ed.PaintTo(bmp);
  ASSERT_TRUE(ed.IdleWorkPending());
  // Pieces with no time, and now and then an edit between two of them:
  // a brace, a quote or a comment mark typed, or lines taken away.
  std::mt19937 rng(seed * 7 + 1);
  int edits = 0;
  for (int piece = 0; !ed.RunIdleWork(0ms); ++piece) {
    ASSERT_LT(piece, 100000);
    if (edits >= 4 || rng() % 6 != 0) continue;
    ++edits;
    const int line = 1 + static_cast<int>(rng() % static_cast<unsigned>(ed.Lines()->GetCount()));
    if (rng() % 4 == 0) {
      ed.Lines()->DeleteLineRange(line - 1, 1);
      continue;
    }
    ed.SetCaretXY(BufferCoord(1 + static_cast<int>(rng() % 8), line));
    static const char kKeys[] = "{}\"/*";
    ed.ExecuteCommand(ecChar, kKeys[rng() % 5], nullptr);
  }
  EXPECT_FALSE(ed.IdleWorkPending());
  auto eager = test::OpenLoaded(ed.Lines()->GetText(), true);
  eager->Edit->SetCaretXY(ed.GetCaretXY());
  EXPECT_EQ(test::FoldTreeDump(ed), test::FoldTreeDump(*eager->Edit));

  // A look-up on the last line brings the states of all lines before it up.
  const int count = ed.Lines()->GetCount();
  std::string token;
  TOndHighlighterAttributes* attr = nullptr;
  ed.GetHighlighterAttriAtRowCol(BufferCoord(1, count), token, attr);
  const std::vector<TOndRangeState> walked = TokenWalkStates(lazy->Highlighter, *ed.Lines());
  for (int i = 0; i + 1 < count; ++i) ASSERT_EQ(ed.Lines()->GetRange(i), walked[static_cast<std::size_t>(i)]) << i;
  EXPECT_EQ(test::FoldRangeList(ed.AllFoldRanges(), true), PlainFoldRanges(lazy->Highlighter, *ed.Lines(), walked));
}

// The partner of a bracket found in idle time, which passes lines holding
// neither bracket a run of joined lines at a time, is the one the walk
// line by line finds at once: both ways, far and near, in strings and
// comments, and in a text whose lines no longer stand in the order read
// (deleted lines' texts lie between them).
TEST_P(IdleScanRandomText, BracketPartnersInIdleTimeAsTheWalkAtOnce) {
  const unsigned seed = GetParam();
  auto p = test::OpenLoaded(RandomText(seed, TCustomOndEdit::kIdleWorkLines + 500), true);
  TOndEdit& ed = *p->Edit;
  std::mt19937 rng(seed * 13 + 5);
  if (seed % 2 == 0)
    for (int i = 0; i < 20; ++i)
      ed.Lines()->DeleteLineRange(2 + static_cast<int>(rng() % 20000u), 1 + static_cast<int>(rng() % 3));
  const int count = ed.Lines()->GetCount();
  std::vector<TBufferCoord> brackets{BufferCoord(1, 1)};
  const std::string lastLine = ed.Lines()->Get(count - 1);
  if (!lastLine.empty()) brackets.push_back(BufferCoord(static_cast<int>(lastLine.size()), count));
  while (brackets.size() < 40) {
    const int line = 1 + static_cast<int>(rng() % static_cast<unsigned>(count));
    const std::string text = ed.Lines()->Get(line - 1);
    const std::size_t at = text.find_first_of("{}[]", text.empty() ? 0 : rng() % text.size());
    if (at != std::string::npos) brackets.push_back(BufferCoord(static_cast<int>(at) + 1, line));
  }
  for (const TBufferCoord& b : brackets) {
    SCOPED_TRACE(std::to_string(b.Line) + ":" + std::to_string(b.Char));
    const TBufferCoord expected = ed.GetMatchingBracketEx(b);
    bool known = false;
    TBufferCoord got = ed.MatchingBracketSoon(b, known);
    if (!known) {
      while (!ed.RunIdleWork(0ms)) {
      }
      got = ed.MatchingBracketSoon(b, known);
    }
    EXPECT_TRUE(known);
    EXPECT_EQ(got, expected);
  }
}

// A bracket walk that waits behind the postponed fold scan has the states
// of the lines brought along with the scan's stretches. They stay those of
// a token walk through edits between two pieces (each asks for the partner
// again), and the partner found is the one the walk at once finds: forward
// from the first line and backward from the last.
TEST_P(IdleScanRandomText, StatesBroughtAlongTheFoldScanForAWaitingWalk) {
  const unsigned seed = GetParam();
  for (const bool forward : {true, false}) {
    SCOPED_TRACE(forward ? "forward" : "backward");
    auto lazy = test::OpenLoaded(RandomText(seed, TCustomOndEdit::kIdleWorkLines + 500), false);
    TOndEdit& ed = *lazy->Edit;
    TBitmap bmp;
    ed.PaintTo(bmp);
    ASSERT_TRUE(ed.IdleWorkPending());
    const auto bracket = [&] {
      return forward ? BufferCoord(1, 1) : BufferCoord(1, ed.Lines()->GetCount());
    };
    bool known = false;
    ed.MatchingBracketSoon(bracket(), known);
    std::mt19937 rng(seed * 11 + 3);
    int edits = 0;
    for (int piece = 0; !ed.RunIdleWork(0ms); ++piece) {
      ASSERT_LT(piece, 100000);
      if (edits >= 3 || rng() % 8 != 0) continue;
      ++edits;
      // Typed on a line the scan has passed or not yet reached; the caret
      // goes back to the bracket, whose partner is asked for again.
      const int line = 2 + static_cast<int>(rng() % static_cast<unsigned>(ed.Lines()->GetCount() - 2));
      ed.SetCaretXY(BufferCoord(1, line));
      static const char kKeys[] = "\"/*{";
      ed.ExecuteCommand(ecChar, kKeys[rng() % 4], nullptr);
      ed.SetCaretXY(bracket());
      ed.MatchingBracketSoon(bracket(), known);
    }
    EXPECT_GT(edits, 0);
    const int count = ed.Lines()->GetCount();
    const std::vector<TOndRangeState> walked = TokenWalkStates(lazy->Highlighter, *ed.Lines());
    // The states the walk needed, as they were written before anything
    // else asks for more: down to the partner's line (or the last).
    const TBufferCoord got = ed.MatchingBracketSoon(bracket(), known);
    EXPECT_TRUE(known);
    const int needed = forward && got.Line > 0 ? got.Line - 1 : count - 1;
    for (int i = 0; i < needed; ++i) ASSERT_EQ(ed.Lines()->GetRange(i), walked[static_cast<std::size_t>(i)]) << i;
    EXPECT_EQ(got, ed.GetMatchingBracketEx(bracket()));
    auto eager = test::OpenLoaded(ed.Lines()->GetText(), true);
    eager->Edit->SetCaretXY(ed.GetCaretXY());
    EXPECT_EQ(test::FoldTreeDump(ed), test::FoldTreeDump(*eager->Edit));
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, IdleScanRandomText, ::testing::Values(1u, 2u, 3u));

}  // namespace
}  // namespace ond
