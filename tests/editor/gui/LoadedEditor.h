// An editor loaded the way a panel loads its file, under the config files'
// built-in scheme with its fold regions, for the tests of fold scans put off
// until the folds are wanted.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "editor/OndEdit.h"
#include "highlight/OndBuiltinSchemes.h"
#include "highlight/OndGenHighlighter.h"
#include "platform/Forms.h"

namespace ond::test {

struct LoadedEditor {
  TOndGenHighlighter Highlighter;
  std::unique_ptr<TOndEdit> Edit = std::make_unique<TOndEdit>(nullptr);
};

// Loads Text into an editor under the built-in scheme with its fold
// regions, the scan made at once (Eager) or put off.
inline void LoadForFolding(TOndEdit& ed, TOndGenHighlighter& Highlighter, const std::string& Text, bool Eager) {
  EXPECT_TRUE(LoadBuiltinScheme(Highlighter, 0));
  ed.SetBounds(0, 0, 500, 400);
  ed.SetHighlighter(&Highlighter);
  ed.CodeFolding().SetHighlighterFoldRegions(true);
  ed.Lines()->LoadFromString(std::string(Text));
  ed.CodeFolding().SetEnabled(true);
  if (Eager)
    ed.RescanFoldRanges();
  else
    ed.RescanFoldRangesLater();
}

// Runs the event loop until the editor's idle work is done, as the window
// would; false when it is not done within a minute.
inline bool RunEventLoopUntilIdle(TCustomOndEdit& Ed) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (Ed.IdleWorkPending() && std::chrono::steady_clock::now() < limit) Application()->ProcessMessages();
  return !Ed.IdleWorkPending();
}

inline std::unique_ptr<LoadedEditor> OpenLoaded(const std::string& Text, bool Eager) {
  auto p = std::make_unique<LoadedEditor>();
  TOndEdit& ed = *p->Edit;
  LoadForFolding(ed, p->Highlighter, Text, Eager);
  ed.SetCaretXY(BufferCoord(1, 1));
  return p;
}

// Every range in flat order: the range it sits in, depth and region (by
// its tokens, so that editors with highlighters of their own compare); with
// Lines also its lines, indentation and fold state.
inline std::string FoldRangeList(const TOndEditAllFoldRanges& all, bool Lines) {
  std::map<const TOndEditFoldRanges*, int> index;
  for (int j = 0; j < all.AllCount(); ++j) index[&all.AllRanges(j)->SubFoldRanges] = j;
  std::ostringstream s;
  for (const auto& r : all.AllRangeList()) {
    const auto parent = index.find(r->Container());
    s << (parent == index.end() ? -1 : parent->second);
    if (Lines) s << ' ' << r->FromLine << '-' << r->ToLine;
    s << " L" << r->Level;
    if (Lines) s << " I" << r->IndentLevel;
    s << " R" << (r->FoldRegion ? r->FoldRegion->Open + r->FoldRegion->Close : "-");
    if (Lines) s << " C" << r->Collapsed << r->ParentCollapsed;
    s << '\n';
  }
  return s.str();
}

// The whole list of ranges, then the caret's range and the text with every
// fold expanded.
inline std::string FoldTreeDump(TCustomOndEdit& Ed) {
  const TOndEditAllFoldRanges& all = Ed.AllFoldRanges();
  std::ostringstream s;
  s << FoldRangeList(all, true);
  s << "top " << all.Count() << " highlighted ";
  if (const TOndEditFoldRange* h = Ed.HighlightedFoldRange()) s << h->FromLine << '-' << h->ToLine;
  s << "\n" << Ed.TextWithFoldsExpanded();
  return s.str();
}

// A text's lines as the editor keeps them (CR LF between lines), and back.
inline std::vector<std::string> SplitLines(const std::string& Text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  for (;;) {
    const std::size_t e = Text.find("\r\n", at);
    lines.push_back(Text.substr(at, e == std::string::npos ? std::string::npos : e - at));
    if (e == std::string::npos) return lines;
    at = e + 2;
  }
}

inline std::string JoinLines(const std::vector<std::string>& Lines) {
  std::string text;
  for (std::size_t i = 0; i < Lines.size(); ++i) text += (i > 0 ? "\r\n" : "") + Lines[i];
  return text;
}

}  // namespace ond::test
