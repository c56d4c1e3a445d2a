#include "search/OndEditRegexSearch.h"

#include "platform/core/Classes.h"

namespace ond {

namespace {
int Item(const std::vector<int>& list, int index) {
  if (index < 0 || index >= static_cast<int>(list.size()))
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return list[static_cast<std::size_t>(index)];
}
}  // namespace

int TOndEditRegexSearch::GetLength(int index) const { return Item(Lengths, index); }
int TOndEditRegexSearch::GetResult(int index) const { return Item(Positions, index); }

int TOndEditRegexSearch::FindAll(std::string_view newText) {
  Positions.clear();
  Lengths.clear();
  Line.assign(newText);
  NextReplace = 0;
  if (!RegEx.Exec(newText)) return 0;
  do {
    Positions.push_back(RegEx.MatchPos(0));
    Lengths.push_back(RegEx.MatchLen(0));
  } while (RegEx.ExecNext());
  return static_cast<int>(Positions.size());
}

std::string TOndEditRegexSearch::Replace(const std::string& aOccurrence, const std::string& aReplacement) {
  // Matching the occurrence alone would judge anchors and word boundaries
  // without the rest of the line and could expand the template more than
  // once; the stored match of the line keeps its full context.
  const std::size_t n = Positions.size();
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t i = (NextReplace + k) % n;
    const auto pos = static_cast<std::size_t>(Positions[i]);
    const auto len = static_cast<std::size_t>(Lengths[i]);
    if (pos == 0 || pos - 1 + len > Line.size() || Line.compare(pos - 1, len, aOccurrence) != 0) continue;
    RegEx.SetInputString(Line);
    if (!RegEx.ExecPos(static_cast<int>(pos)) || RegEx.MatchPos(0) != static_cast<int>(pos) ||
        RegEx.MatchLen(0) != static_cast<int>(len))
      continue;
    NextReplace = i + 1;
    return RegEx.Substitute(aReplacement);
  }
  // Not a match of the last line: the first match inside the occurrence.
  if (!RegEx.Exec(aOccurrence)) return aOccurrence;
  const auto pos = static_cast<std::size_t>(RegEx.MatchPos(0));
  const auto len = static_cast<std::size_t>(RegEx.MatchLen(0));
  return aOccurrence.substr(0, pos - 1) + RegEx.Substitute(aReplacement) + aOccurrence.substr(pos - 1 + len);
}

}  // namespace ond
