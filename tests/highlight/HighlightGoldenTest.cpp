// Tokens of two sample texts against checked-in references, so that a change
// in how lines are cut shows as a diff to review. Run
// tools/update-highlight-golden.sh to write the references again on purpose.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/highlight/HighlightTestRules.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

// One line per text line: its number, whether it ends inside a range, and
// its tokens as [text]Attribute.
std::string Dump(TOndGenHighlighter& H, const std::string& Text) {
  std::istringstream in(Text);
  std::ostringstream out;
  std::string line;
  TOndRangeState state = 0;
  for (int n = 1; std::getline(in, line); ++n) {
    const auto toks = test::ScanLine(H, line, state, &state);
    out << n << (state != 0 ? " >" : "  ");
    for (const test::TTok& t : toks) out << " [" << t.Text << "]" << t.Attr;
    out << "\n";
  }
  return out.str();
}

struct GoldenCase {
  const char* Input;
  void (*Build)(TOndGenHighlighter&);
};

class HighlightGolden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(HighlightGolden, TokensMatchTheReference) {
  const std::string base = test::SourceDir() + "/tests/highlight/data/" + GetParam().Input;
  TOndGenHighlighter h;
  GetParam().Build(h);
  h.Reset();
  const std::string dump = Dump(h, test::TempDir::Read(base));
  if (std::getenv("ONDREL_UPDATE_GOLDEN")) {
    std::ofstream(base + ".tokens", std::ios::binary) << dump;
    GTEST_SKIP() << "wrote " << base << ".tokens";
  }
  EXPECT_EQ(dump, test::TempDir::Read(base + ".tokens"));
}

INSTANTIATE_TEST_SUITE_P(Samples, HighlightGolden,
                         ::testing::Values(GoldenCase{"script.txt", test::BuildScriptRules},
                                           GoldenCase{"config.txt", test::BuildJsonRules}));

}  // namespace
}  // namespace ond
