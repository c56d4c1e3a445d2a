// Holds the interface language for a test's length and gives the old one
// back, for tests that look for the texts of one language.
#pragma once

#include "services/ULocalization.h"

namespace ond::test {

class TLanguageGuard {
 public:
  explicit TLanguageGuard(int language) : FSaved(CurrentLanguage()) { SetCurrentLanguage(language); }
  ~TLanguageGuard() { SetCurrentLanguage(FSaved); }
  TLanguageGuard(const TLanguageGuard&) = delete;
  TLanguageGuard& operator=(const TLanguageGuard&) = delete;

 private:
  int FSaved;
};

}  // namespace ond::test
