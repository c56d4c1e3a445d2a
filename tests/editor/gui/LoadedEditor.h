// An editor loaded the way a panel loads its file, under the config files'
// built-in scheme with its fold regions, for the tests of fold scans put off
// until the folds are wanted.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "editor/OndEdit.h"
#include "highlight/OndBuiltinSchemes.h"
#include "highlight/OndGenHighlighter.h"

namespace ond::test {

struct LoadedEditor {
  TOndGenHighlighter Highlighter;
  std::unique_ptr<TOndEdit> Edit = std::make_unique<TOndEdit>(nullptr);
};

// The scan made at once (Eager) or put off.
inline std::unique_ptr<LoadedEditor> OpenLoaded(const std::string& Text, bool Eager) {
  auto p = std::make_unique<LoadedEditor>();
  EXPECT_TRUE(LoadBuiltinScheme(p->Highlighter, 0));
  TOndEdit& ed = *p->Edit;
  ed.SetBounds(0, 0, 500, 400);
  ed.SetHighlighter(&p->Highlighter);
  ed.CodeFolding().SetHighlighterFoldRegions(true);
  ed.Lines()->LoadFromString(std::string(Text));
  ed.CodeFolding().SetEnabled(true);
  if (Eager)
    ed.RescanFoldRanges();
  else
    ed.RescanFoldRangesLater();
  ed.SetCaretXY(BufferCoord(1, 1));
  return p;
}

}  // namespace ond::test
