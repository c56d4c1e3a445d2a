// Shared by the fold tests: a folder over lines of its own with braces and
// brackets as fold regions, and everything the index by line answers about
// every line, to hold an index kept in step against one built afresh.
#pragma once

#include <cstdint>
#include <vector>

#include "editor/OndEditCodeFolding.h"
#include "editor/OndEditTextBuffer.h"

namespace ond::test {

struct FoldDoc {
  FoldDoc() : Folder(Lines, Ranges) {
    Regions.Add(frtChar, false, false, false, "{", "}");
    Regions.Add(frtChar, false, false, false, "[", "]");
    Folder.Regions = &Regions;
  }
  TOndEditStringList Lines;
  TOndEditAllFoldRanges Ranges;
  TFoldRegions Regions;
  TOndCodeFolder Folder;
};

// The answers of the index about lines 0 .. Lines + 1, ranges as pointers,
// each line's ranges reaching into it and the next closed by a null.
inline std::vector<std::intptr_t> IndexAnswers(const TOndEditAllFoldRanges& All, int Lines) {
  std::vector<std::intptr_t> a;
  const auto ptr = [](const TOndEditFoldRange* R) { return reinterpret_cast<std::intptr_t>(R); };
  const TOndFoldIndex& index = All.Index();
  for (int line = 0; line <= Lines + 1; ++line) {
    std::int32_t pos = -1;
    a.push_back(ptr(index.StartingAt(line)));
    a.push_back(ptr(index.WithLinesAt(line, &pos)));
    a.push_back(ptr(index.ExpandedEndingAt(line)));
    a.insert(a.end(), {pos, index.ExpandedWithLinesEndsAt(line), index.InsideExpanded(line),
                       static_cast<std::intptr_t>(index.HiddenAbove(line)), index.CollapsedBetween(line, line),
                       index.CollapsedBetween(line, line + 2)});
    for (const TOndEditFoldRange* r : index.Over(line, line + 1)) a.push_back(ptr(r));
    a.push_back(0);
  }
  return a;
}

}  // namespace ond::test
