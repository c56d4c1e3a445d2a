#include <gtest/gtest.h>

#include "highlight/OndGenHighlighter.h"
#include "tests/highlight/HighlightTestRules.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

using test::ErrorOf;

// The smallest highlighter: one token per line, no attributes of its own.
class PlainHighlighter : public TOndCustomHighlighter {
 public:
  TOndHighlighterAttributes* GetDefaultAttribute(int) const override { return nullptr; }
  bool GetEol() const override { return FEol; }
  std::string GetToken() const override { return FText; }
  TOndHighlighterAttributes* GetTokenAttribute() const override { return nullptr; }
  int GetTokenKind() const override { return 0; }
  int GetTokenPos() const override { return 0; }
  void Next() override { FEol = true; }
  void SetLine(std::string_view Text, int) override {
    FText = std::string(Text);
    FEol = false;
  }
  std::string Sample;
  std::string GetSampleSource() const override { return Sample; }
  void SetSampleSource(std::string Value) override { Sample = std::move(Value); }

 private:
  std::string FText;
  bool FEol = true;
};

struct Counter {
  int N = 0;
  void* Last = reinterpret_cast<void*>(1);
  void Hit(void* Sender) {
    ++N;
    Last = Sender;
  }
};

TEST(CustomHighlighter, BaseDefaults) {
  PlainHighlighter h;
  const TSysCharSet breaks(" !\"'()*+,-./:;=?[\\]^{|}");
  EXPECT_EQ(h.GetWordBreakChars(), breaks);
  const TSysCharSet ident = h.GetIdentChars();
  EXPECT_FALSE(ident.Contains(' '));
  EXPECT_TRUE(ident.Contains('!'));
  EXPECT_TRUE(ident.Contains('\xFF'));
  EXPECT_EQ(h.GetCapabilities(), hcRegistry);
  EXPECT_EQ(ErrorOf([&] { (void)h.GetLanguageName(); }), "TOndCustomHighlighter.GetLanguageName not implemented");
  EXPECT_EQ(ErrorOf([&] { (void)h.GetLanguageDisplayName(); }),
            "TOndCustomHighlighter.GetLanguageName not implemented");
  EXPECT_FALSE(h.IsKeyword("if"));
  EXPECT_FALSE(h.UseSetting(0));
  std::vector<std::string> names{"x"};
  h.GetSettingNames(names);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(h.GetAttribute(-1), nullptr);
  EXPECT_EQ(h.GetAttribute(0), nullptr);
  {
    // The program's registry in an empty configuration folder has nothing.
    test::TempDir config;
    test::TEnvGuard xdg("XDG_CONFIG_HOME", config.Path().c_str());
    EXPECT_FALSE(h.LoadFromRegistry(0x80000001u, "Software\\Ondrel"));
  }
  TOndGenHighlighter g;
  EXPECT_EQ(ErrorOf([&] { (void)g.GetLanguageName(); }), "TOndGenHighlighter.GetLanguageName not implemented");
}

TEST(CustomHighlighter, SortedAttributeListRefusesDuplicates) {
  PlainHighlighter h;
  h.AddAttribute(new TOndHighlighterAttributes("b"));
  h.AddAttribute(new TOndHighlighterAttributes("a"));
  EXPECT_EQ(h.GetAttribute(0)->Name(), "a");
  auto* dup = new TOndHighlighterAttributes("a");
  EXPECT_THROW(h.AddAttribute(dup), EListError);
  delete dup;
}

TEST(CustomHighlighter, EnabledNotifiesOnlyOnAChange) {
  PlainHighlighter h;
  Counter c;
  h.AddAttributeChangeHandler(TOndNotifyEvent(&c, &Counter::Hit));
  h.SetEnabled(true);
  EXPECT_EQ(c.N, 0);
  h.SetEnabled(false);
  EXPECT_EQ(c.N, 1);
  EXPECT_EQ(c.Last, nullptr);
  h.RemoveAttributeChangeHandler(TOndNotifyEvent(&c, &Counter::Hit));
  h.SetEnabled(true);
  EXPECT_EQ(c.N, 1);
}

TEST(CustomHighlighter, IntegerStyles) {
  TOndHighlighterAttributes a("a");
  int changes = 0;
  a.OnChange = [&](TOndHighlighterAttributes*) { ++changes; };
  a.SetIntegerStyle(15);
  EXPECT_EQ(a.GetStyle(), fsBold | fsItalic | fsUnderline | fsStrikeOut);
  EXPECT_EQ(a.GetIntegerStyle(), 15);
  a.SetIntegerStyle(0);
  EXPECT_EQ(a.GetStyle(), 0);
  const int before = changes;
  a.SetForeground(a.GetForeground());
  EXPECT_EQ(changes, before);
  TOndHighlighterAttributes b("b");
  b.SetForeground(clRed);
  a.AssignColorAndStyle(b);
  EXPECT_EQ(changes, before + 1);
  EXPECT_EQ(a.Name(), "a");
}

struct FilterCase {
  const char* Filter;
  const char* File;
  bool Supported;
};

class SupportedFile : public ::testing::TestWithParam<FilterCase> {};

TEST_P(SupportedFile, MatchesTheExtensionAgainstTheMasks) {
  PlainHighlighter h;
  h.SetDefaultFilter(GetParam().Filter);
  EXPECT_EQ(h.IsSupportedFile(GetParam().File), GetParam().Supported);
}

INSTANTIATE_TEST_SUITE_P(Cases, SupportedFile,
                         ::testing::Values(FilterCase{"JSON Files(*.json;*.zu)|*.json;*.zu;", "a/b.ZU", true},
                                           FilterCase{" X|*.JS ", "x.js", true},
                                           // "*.js" must not match the start of "*.json".
                                           FilterCase{"X|*.json", "x.js", false},
                                           FilterCase{"X|*.js", "noext", false},
                                           FilterCase{"X|*.js", "dir.js/file", false},
                                           FilterCase{"", "x.js", false}));

TEST(GenHighlighter, DefaultFilterIsBuiltOnceFromNameAndExtensions) {
  struct Case {
    const char* Exts;
    const char* Filter;
  };
  for (const Case& c : {Case{"js, ts", "JSON Default Files(*.js;*.ts)|*.js;*.ts;"},
                        Case{"js,ts", "JSON Default Files(*.js;*.ts)|*.js;*.ts;"},
                        Case{"  js  ", "JSON Default Files(*.js)|*.js;"},
                        // A separator at the end adds no empty mask and reads nothing beyond.
                        Case{"js,", "JSON Default Files(*.js)|*.js;"}}) {
    TOndGenHighlighter h;
    h.Info().General.Name = "JSON Default";
    h.Info().General.Extensions = c.Exts;
    EXPECT_EQ(h.GetDefaultFilter(), c.Filter) << c.Exts;
    h.Info().General.Extensions = "py";
    EXPECT_EQ(h.GetDefaultFilter(), c.Filter);  // kept
    EXPECT_TRUE(h.IsSupportedFile("a.js"));
  }
  TOndGenHighlighter noName;
  noName.Info().General.Extensions = "js";
  EXPECT_EQ(noName.GetDefaultFilter(), "");
}

TEST(GenHighlighter, AssignTakesAttributesByNameAndTheSample) {
  TOndGenHighlighter a, b;
  test::BuildJsonRules(a);
  test::BuildJsonRules(b);
  a.Reset();
  b.Reset();
  b.MainRules().KeyLists(0)->Attribs();  // "Keyword" is the first key list
  TOndHighlighterAttributes* kw = nullptr;
  for (int i = 0; i < b.GetAttribCount(); ++i)
    if (b.GetAttribute(i)->Name() == "Keyword") kw = b.GetAttribute(i);
  ASSERT_NE(kw, nullptr);
  kw->SetForeground(0x112233);
  b.SetSampleSource("sample");
  b.SetEnabled(false);
  a.Assign(b);
  bool found = false;
  for (int i = 0; i < a.GetAttribCount(); ++i)
    if (a.GetAttribute(i)->Name() == "Keyword") {
      EXPECT_EQ(a.GetAttribute(i)->GetForeground(), 0x112233);
      found = true;
    }
  EXPECT_TRUE(found);
  EXPECT_EQ(a.GetSampleSource(), "sample");
  EXPECT_FALSE(a.GetEnabled());
  PlainHighlighter p;
  p.Assign(b);  // another class: no sample
  EXPECT_EQ(p.Sample, "");
}

TEST(GenHighlighter, AttributesRoundTripThroughAnIniFileByTheHighlighter) {
  test::TempDir dir;
  TOndGenHighlighter a;
  test::BuildJsonRules(a);
  a.Reset();
  a.GetAttribute(0)->SetStyle(fsItalic);
  // The highlighter's own file operations are its scheme's; the attribute
  // colours go to an ini file through the base's.
  EXPECT_TRUE(a.TOndCustomHighlighter::SaveToFile(dir / "c.ini"));
  TOndGenHighlighter b;
  test::BuildJsonRules(b);
  b.Reset();
  EXPECT_TRUE(b.TOndCustomHighlighter::LoadFromFile(dir / "c.ini"));
  EXPECT_EQ(b.GetAttribute(0)->GetStyle(), fsItalic);
}

TEST(GenHighlighter, RegistersItsClassOnce) {
  auto& list = TOndHighlighterList::Instance();
  int found = -1;
  for (int i = 0; i < list.Count(); ++i)
    if (std::string_view(list.Items(i).Name) == "TOndGenHighlighter") found = i;
  ASSERT_GE(found, 0);
  EXPECT_EQ(list.RegisterHighlighter(list.Items(found)), found);
  EXPECT_NE(dynamic_cast<TOndGenHighlighter*>(list.Items(found).Create().get()), nullptr);
}

TEST(GenHighlighter, ClearEmptiesTheFoldRegions) {
  TOndGenHighlighter h;
  h.FoldRegions().Add(frtChar, false, false, false, "{", "}");
  h.FoldRegions().SkipRegions().Add("\"", "\"", srtCloseChar, "\\");
  h.Clear();
  EXPECT_EQ(h.FoldRegions().Count(), 0);
  EXPECT_EQ(h.FoldRegions().SkipRegions().Count(), 0);
}

}  // namespace
}  // namespace ond
