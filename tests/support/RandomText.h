// Random texts for tests that hold a fast path against a plain one over many
// shapes of input: pieces that matter to the code under test, mixed with
// runs of one letter of random length.
#pragma once

#include <random>
#include <string>
#include <vector>

namespace ond::test {

// At least `length` bytes; one part in `runOdds` is a run of up to
// `longestRun` letters, the others are pieces.
inline std::string RandomText(std::mt19937& random, const std::vector<std::string>& pieces, std::size_t length,
                              unsigned runOdds, std::size_t longestRun) {
  std::string text;
  while (text.size() < length) {
    if (random() % runOdds == 0)
      text.append(random() % (longestRun + 1), static_cast<char>('a' + random() % 26));
    else
      text += pieces[random() % pieces.size()];
  }
  return text;
}

}  // namespace ond::test
