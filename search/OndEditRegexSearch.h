// The regular-expression search engine of the editor: one TRegex, the matches
// of one line at a time, and replacement through the expression's templates.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "search/OndEditSearch.h"
#include "search/OndRegex.h"

namespace ond {

class TOndEditRegexSearch : public TOndEditSearchCustom {
 public:
  std::string GetPattern() const override { return RegEx.GetExpression(); }
  // The expression compiles lazily, at the next match.
  void SetPattern(const std::string& value) override { RegEx.SetExpression(value); }
  int GetLength(int index) const override;
  int GetResult(int index) const override;
  int GetResultCount() const override { return static_cast<int>(Positions.size()); }
  // Match case off means case-insensitive matching; whole word is not used.
  void SetOptions(TOndSearchOptions value) override { RegEx.SetModifier(TRegex::ModifierI, (value & ssoMatchCase) == 0); }
  int FindAll(std::string_view newText) override;
  // The replacement template expanded once with the captures of the match
  // that found this occurrence in the last line searched; when no match of
  // that line has this text, with the first match inside the occurrence.
  std::string Replace(const std::string& aOccurrence, const std::string& aReplacement) override;

 private:
  TRegex RegEx;
  std::vector<int> Positions;
  std::vector<int> Lengths;
  std::string Line;          // the line of the last FindAll
  std::size_t NextReplace = 0;  // the stored match the next replacement starts looking at
};

}  // namespace ond
