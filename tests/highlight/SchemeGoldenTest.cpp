// Tokens of each built-in scheme over a sample (the sample config set for the
// config files' scheme, a script written for each of the others) against
// checked-in references: one token per line, as its line, start, length and
// attribute name. A change in highlighting then shows as a diff to review.
// tools/update-highlight-golden.sh writes the references again on purpose.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "highlight/OndBuiltinSchemes.h"
#include "highlight/OndGenFormatNativeXml18.h"
#include "highlight/OndGenHighlighter.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

std::string Dump(TOndGenHighlighter& H, const std::string& Text) {
  std::string out;
  H.ResetRange();
  const std::vector<std::string> lines = scheme1x::SplitLines(Text);
  for (std::size_t n = 0; n < lines.size(); ++n) {
    H.SetLine(lines[n], static_cast<int>(n));
    while (!H.GetEol()) {
      const TOndHighlighterAttributes* a = H.GetTokenAttribute();
      out += std::to_string(n + 1) + " " + std::to_string(H.GetTokenPos() + 1) + " " +
             std::to_string(H.GetToken().size()) + " " + (a ? a->Name() : std::string("-")) + "\n";
      H.Next();
    }
  }
  return out;
}

struct SchemeSample {
  int Scheme;
  const char* Input;      // below the repository's folder
  const char* Reference;  // below tests/highlight/data
};

class SchemeGolden : public ::testing::TestWithParam<SchemeSample> {};

TEST_P(SchemeGolden, TokensMatchTheReference) {
  const std::string root = test::SourceDir();
  const std::string reference = root + "/tests/highlight/data/" + GetParam().Reference;
  TOndGenHighlighter h;
  ASSERT_TRUE(LoadBuiltinScheme(h, GetParam().Scheme));
  const std::string dump = Dump(h, test::TempDir::Read(root + "/" + GetParam().Input));
  if (std::getenv("ONDREL_UPDATE_GOLDEN")) {
    std::ofstream(reference, std::ios::binary) << dump;
    GTEST_SKIP() << "wrote " << reference;
  }
  EXPECT_EQ(dump, test::TempDir::Read(reference));
}

// Passing over the rest of a line at once ends in the state, and leaves the
// highlighter where, a walk token by token would; also from a line's middle.
TEST_P(SchemeGolden, SkipToEolEndsWhereTokenByTokenEnds) {
  const std::string root = test::SourceDir();
  const std::vector<std::string> lines =
      scheme1x::SplitLines(test::TempDir::Read(root + "/" + GetParam().Input));
  for (int first : {0, 1, 3}) {
    TOndGenHighlighter byToken, atOnce;
    ASSERT_TRUE(LoadBuiltinScheme(byToken, GetParam().Scheme));
    ASSERT_TRUE(LoadBuiltinScheme(atOnce, GetParam().Scheme));
    byToken.ResetRange();
    atOnce.ResetRange();
    for (std::size_t n = 0; n < lines.size(); ++n) {
      byToken.SetLine(lines[n], static_cast<int>(n));
      atOnce.SetLine(lines[n], static_cast<int>(n));
      for (int k = 0; k < first && !atOnce.GetEol(); ++k) {
        atOnce.Next();
        byToken.Next();
      }
      while (!byToken.GetEol()) byToken.Next();
      atOnce.SkipToEol();
      ASSERT_TRUE(atOnce.GetEol());
      EXPECT_EQ(atOnce.GetRange(), byToken.GetRange()) << "line " << n + 1 << " from token " << first;
      EXPECT_EQ(atOnce.GetTokenAttribute(), byToken.GetTokenAttribute());
      EXPECT_EQ(atOnce.GetTokenPos(), byToken.GetTokenPos());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Builtin, SchemeGolden,
    ::testing::Values(SchemeSample{0, "samples/@quarn.zu", "scheme0-quarn.tokens"},
                      SchemeSample{0, "samples/quarn/hangar.zu", "scheme0-hangar.tokens"},
                      SchemeSample{0, "samples/quarn/battle.zu", "scheme0-battle.tokens"},
                      SchemeSample{0, "samples/quarn/colors/colors.zu", "scheme0-colors.tokens"},
                      SchemeSample{0, "samples/common/Macros.zu", "scheme0-macros.tokens"},
                      SchemeSample{0, "tests/highlight/data/comments.zu", "scheme0-comments.tokens"},
                      SchemeSample{0, "tests/highlight/data/closes.zu", "scheme0-closes.tokens"},
                      SchemeSample{1, "tests/highlight/data/sample.js", "scheme1-sample.tokens"},
                      SchemeSample{1, "tests/highlight/data/closes.js", "scheme1-closes.tokens"},
                      SchemeSample{2, "tests/highlight/data/sample.py", "scheme2-sample.tokens"},
                      SchemeSample{2, "tests/highlight/data/closes.py", "scheme2-closes.tokens"}));

// A range's end has to be found wherever its close symbol stands: text typed
// right after a closing quote or comment end is common while editing, and a
// close that waits for a delimiter runs the range on to the end of the file.
void ExpectClosesMayTouchTerms(const TOndRange& Range, const std::string& Path) {
  for (int i = 0; i < Range.RangeCount(); ++i) {
    const TOndRange& r = *Range.Ranges(i);
    const std::string path = Path + "/" + r.Name;
    EXPECT_EQ(r.CloseToken().LeftBreak, bkAny) << path;
    EXPECT_EQ(r.CloseToken().RightBreak, bkAny) << path;
    ExpectClosesMayTouchTerms(r, path);
  }
}

TEST(BuiltinSchemes, NoCloseSymbolHasToStandApart) {
  for (int scheme = 0; scheme < BuiltinSchemeCount; ++scheme) {
    TOndGenHighlighter h;
    ASSERT_TRUE(LoadBuiltinScheme(h, scheme));
    ExpectClosesMayTouchTerms(h.MainRules(), BuiltinSchemeResourceName(scheme));
  }
}

// Real files installed on the machine, read as bytes: tokens tile every line,
// and a line that begins with the language's comment mark (after blanks) is a
// comment from that mark on.
struct InstalledCase {
  int Scheme;
  const char* Folder;
  const char* Ext;
  const char* CommentMark;
  const char* CommentAttribute;
};

class SchemeOnInstalledFiles : public ::testing::TestWithParam<InstalledCase> {};

TEST_P(SchemeOnInstalledFiles, TokensTileAndCommentsAreComments) {
  const InstalledCase& c = GetParam();
  std::vector<std::string> files;
  std::error_code ec;
  for (std::filesystem::recursive_directory_iterator it(c.Folder, ec), end; !ec && it != end && files.size() < 12;
       it.increment(ec))
    if (it->is_regular_file(ec) && it->path().extension() == c.Ext && it->file_size(ec) < 400000)
      files.push_back(it->path().string());
  if (files.empty()) GTEST_SKIP() << "no " << c.Ext << " files under " << c.Folder;
  TOndGenHighlighter h;
  ASSERT_TRUE(LoadBuiltinScheme(h, c.Scheme));
  const std::string mark = c.CommentMark;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    h.ResetRange();
    const std::vector<std::string> lines = scheme1x::SplitLines(test::TempDir::Read(file));
    for (std::size_t n = 0; n < lines.size(); ++n) {
      const std::string& line = lines[n];
      const bool startsInMain = h.GetRange() == 0;
      h.SetLine(line, static_cast<int>(n));
      const std::size_t lead = line.find_first_not_of(" \t");
      const bool comment = startsInMain && lead != std::string::npos && line.compare(lead, mark.size(), mark) == 0;
      std::size_t covered = 0;
      while (!h.GetEol()) {
        ASSERT_EQ(static_cast<std::size_t>(h.GetTokenPos()), covered) << "line " << n + 1;
        if (comment && covered >= lead) {
          ASSERT_NE(h.GetTokenAttribute(), nullptr);
          EXPECT_EQ(h.GetTokenAttribute()->Name(), c.CommentAttribute) << "line " << n + 1;
        }
        covered += h.GetToken().size();
        h.Next();
      }
      ASSERT_EQ(covered, line.size()) << "line " << n + 1;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Installed, SchemeOnInstalledFiles,
                         ::testing::Values(InstalledCase{2, "/usr/lib/python3.11", ".py", "#", "Comments"},
                                           InstalledCase{1, "/usr/share/gitweb", ".js", "//", "Remark //"},
                                           InstalledCase{1, "/usr/share/javascript", ".js", "//", "Remark //"}));

}  // namespace
}  // namespace ond
