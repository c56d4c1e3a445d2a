// Scheme formats 2.0, 1.8 and 1.5, their detection and the built-in schemes.
#include <gtest/gtest.h>

#include <filesystem>

#include "highlight/OndBuiltinSchemes.h"
#include "highlight/OndFoldRegions.h"
#include "highlight/OndGenFormatNativeXml15.h"
#include "highlight/OndGenFormatNativeXml18.h"
#include "highlight/OndGenFormatNativeXml20.h"
#include "highlight/OndGenFormatNativeXmlAuto.h"
#include "highlight/OndGenHighlighter.h"
#include "highlight/OndHighlighterRules.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

std::string Export(const TOndGenFormat& Format, TOndGenHighlighter& H) {
  TStringStream s;
  Format.ExportToStream(&H, &s);
  return s.DataString();
}

bool Import(const TOndGenFormat& Format, TOndGenHighlighter& H, std::string Text) {
  TStringStream s(std::move(Text));
  return Format.ImportFromStream(&H, &s);
}

// A scheme that uses every element of format 2.0.
void BuildRichScheme(TOndGenHighlighter& H) {
  H.Clear();
  H.Info().General.Name = "Rich";
  H.Info().General.Extensions = "r, rr";
  H.Info().General.Version = 3;
  H.Info().General.Revision = 7;
  H.Info().General.Sample = "line one\r\n\"quoted\" <b> & more\r\n";
  H.Info().General.History = "first\r\nsecond\r\n";
  H.Info().Author.Name = "A";
  H.Info().Author.Mail = "a@example.org";
  H.Info().Author.Remark = "for Ondrel";
  TOndScheme* def = H.Schemes().AddScheme("Default");
  def->EditorProperties.ActiveLineColor = clYellow;
  def->AddStyle("Keys", clBlue, fsBold | fsItalic, clWhite);
  H.Schemes().AddScheme("Dark");
  H.SetActiveScheme(def);
  H.EditorProperties().SelectedBackground = 0x123456;
  TOndRange& m = H.MainRules();
  m.Name = "Root";
  m.Attribs().SetForeground(clBlack);
  m.Attribs().SetBackground(clWhite);
  auto str = std::make_unique<TOndRange>("\"", "\"");
  str->Name = "Strings";
  str->AddCoupleTags("'", "'");
  str->SetCloseOnEol(true);
  str->SetCaseSensitive(true);
  str->OpenToken().LeftBreak = bkTerm;
  str->OpenToken().StartLine = slFirstNonSpace;
  str->CloseToken().FinishOnEol = true;
  str->Attribs().ParentBackground = true;
  str->Attribs().SetStyle(fsUnderline | fsStrikeOut);
  auto off = std::make_unique<TOndRange>("<<", ">>");
  off->Name = "Off";
  off->Enabled = false;
  str->AddRange(std::move(off));
  m.AddRange(std::move(str));
  auto kw = std::make_unique<TOndKeyList>("if\r\nelse\r\n");
  kw->Name = "Keys";
  kw->Style = "Keys";
  m.AddKeyList(std::move(kw));
  auto set = std::make_unique<TOndSet>(TSysCharSet(std::string_view("0123456789")));
  set->Name = "Digits";
  set->Quantity = 2;
  set->Enabled = false;
  m.AddSet(std::move(set));
  H.FoldRegions().SkipRegions().Add("\"", "\"", srtCloseChar, "\\");
  TFoldRegionItem* braces = H.FoldRegions().Add(frtChar, true, false, false, "{", "}");
  braces->Name = "Braces";
  TFoldRegionItem* inner = braces->SubFoldRegions().Add(frtText, false, true, true, "begin", "end");
  inner->Name = "Words";
  inner->OpenRegex = "^begin";
  inner->OpenUseRegex = true;
  inner->SubFoldRegions().SkipRegions().Add("//", "", srtEndOfLine, "");
  H.CustomData = {"key=value", "other=1"};
}

TEST(SchemeFormat, RichSchemeRoundTripsThroughFormat20) {
  TOndGenHighlighter a;
  BuildRichScheme(a);
  const std::string text = Export(TOndGenFormatNativeXml20::Instance(), a);
  TOndGenHighlighter b;
  ASSERT_TRUE(Import(TOndGenFormatNativeXml20::Instance(), b, text));
  EXPECT_EQ(Export(TOndGenFormatNativeXml20::Instance(), b), text);
  EXPECT_EQ(b.Version, "2.0");
  ASSERT_NE(b.GetActiveScheme(), nullptr);
  EXPECT_EQ(b.GetActiveScheme()->Name, "Default");
  EXPECT_EQ(b.GetActiveScheme()->EditorProperties.ActiveLineColor, clYellow);
  EXPECT_EQ(b.EditorProperties().SelectedBackground, 0x123456);
  ASSERT_EQ(b.MainRules().RangeCount(), 1);
  const TOndRange& s = *b.MainRules().Ranges(0);
  ASSERT_EQ(s.OpenToken().SymbolCount(), 2);
  EXPECT_EQ(s.CloseToken().GetSymbol(1), "'");
  EXPECT_EQ(s.OpenToken().LeftBreak, bkTerm);
  EXPECT_EQ(s.OpenToken().RightBreak, bkAny);
  EXPECT_EQ(s.OpenToken().StartLine, slFirstNonSpace);
  EXPECT_TRUE(s.CloseToken().FinishOnEol);
  EXPECT_FALSE(s.Ranges(0)->Enabled);
  EXPECT_FALSE(b.MainRules().Sets(0)->Enabled);
  EXPECT_EQ(b.MainRules().Sets(0)->Quantity, 2);
  EXPECT_EQ(b.Info().General.Sample, a.Info().General.Sample);
  ASSERT_EQ(b.FoldRegions().Count(), 1);
  const TFoldRegionItem& inner = *b.FoldRegions().Items(0)->SubFoldRegions().Items(0);
  EXPECT_EQ(inner.OpenRegex, "^begin");
  EXPECT_TRUE(inner.OpenUseRegex && inner.WholeWords && inner.AllowNoSubs);
  EXPECT_EQ(inner.SubFoldRegions().SkipRegions().Items(0)->RegionType, srtEndOfLine);
  EXPECT_EQ(b.CustomData, a.CustomData);
  // Defaults stay out of the text; flags appear only when set.
  EXPECT_NE(text.find("<Properties/>"), std::string::npos);
  EXPECT_NE(text.find("Name=\"Off\" Enabled=\"False\""), std::string::npos);
  EXPECT_EQ(text.find("Name=\"Strings\" Enabled"), std::string::npos);
}

TEST(SchemeFormat, SyntaxStreamPropertyCarriesTheWholeScheme) {
  TOndGenHighlighter empty;
  EXPECT_FALSE(empty.IsSyntaxStored(false));  // no range: nothing to write
  EXPECT_TRUE(empty.IsSyntaxStored(true));
  TOndGenHighlighter a;
  BuildRichScheme(a);
  EXPECT_TRUE(a.IsSyntaxStored(false));
  const std::string value = a.WriteSyntax();
  EXPECT_EQ(value, Export(TOndGenFormatNativeXml20::Instance(), a));
  TOndGenHighlighter b;
  ASSERT_TRUE(b.ReadSyntax(value));
  EXPECT_EQ(b.Version, "2.0");
  EXPECT_EQ(b.WriteSyntax(), value);
  EXPECT_GT(b.GetAttribCount(), 0);  // prepared as after any load
  // The built-in scheme comes back byte for byte.
  ASSERT_TRUE(LoadBuiltinScheme(b, 0));
  EXPECT_EQ(b.WriteSyntax(), BuiltinSchemeData("JSONDEF"));
  // A value in an older format is read through the same detection.
  TOndGenHighlighter c;
  ASSERT_TRUE(c.ReadSyntax(Export(TOndGenFormatNativeXml18::Instance(), a)));
  EXPECT_EQ(c.Version, "1.8");
  EXPECT_EQ(c.Info().General.Name, "Rich");
}

TEST(SchemeFormat, OlderFormatsKeepWhatTheyCarry) {
  for (const TOndGenFormatNativeXml* f : std::initializer_list<const TOndGenFormatNativeXml*>{
           &TOndGenFormatNativeXml18::Instance(), &TOndGenFormatNativeXml15::Instance()}) {
    SCOPED_TRACE(f->ClassName());
    TOndGenHighlighter a;
    BuildRichScheme(a);
    const std::string text = Export(*f, a);
    TOndGenHighlighter b;
    TStringStream in(text);
    ASSERT_TRUE(TOndGenFormatNativeXmlAuto::Instance().ImportFromStream(&b, &in));
    EXPECT_EQ(Export(*f, b), text);
    EXPECT_EQ(b.Info().General.Name, "Rich");
    EXPECT_EQ(b.Info().General.Version, 3);
    ASSERT_EQ(b.MainRules().RangeCount(), 1);
    const TOndRange& s = *b.MainRules().Ranges(0);
    EXPECT_EQ(s.OpenToken().SymbolCount(), 1);  // the first couple only
    EXPECT_EQ(s.OpenToken().GetSymbol(0), "\"");
    EXPECT_EQ(s.Attribs().GetStyle(), fsUnderline | fsStrikeOut);
    EXPECT_TRUE(s.Attribs().ParentBackground);
    EXPECT_EQ(b.MainRules().KeyLists(0)->Words, (std::vector<std::string>{"if", "else"}));
    EXPECT_EQ(b.FoldRegions().Count(), 0);
    EXPECT_TRUE(b.CustomData.empty());
  }
}

TEST(SchemeFormat, Format18Text) {
  TOndGenHighlighter h;
  BuildRichScheme(h);
  const std::string text = Export(TOndGenFormatNativeXml18::Instance(), h);
  EXPECT_EQ(text.rfind("<GenHighlighter version=\"1.8.3\">\r\n", 0), 0u) << text.substr(0, 80);
  EXPECT_EQ(text.substr(text.size() - 19), "</GenHighlighter>\r\n");
  EXPECT_NE(text.find("<word value=\"if\"/>"), std::string::npos);

  TOndAttributes a;
  a.SetForeground(0);
  a.SetBackground(16777215);
  a.ParentBackground = true;
  a.SetStyle(fsBold | fsItalic);
  EXPECT_EQ(AttributesToCompactText(a), "0,16777215;False:True.BI");
  a.SetForeground(clWindowText);
  EXPECT_EQ(AttributesToCompactText(a).substr(0, 12), "-2147483640,");
  // Missing separators or garbage give the defaults, never a failure.
  for (const char* garbage : {"", "junk", ".B", ";;::..", "5", "1,2", "x,y;true:TRUE.I"}) {
    TOndAttributes g;
    EXPECT_NO_THROW(CompactTextToAttributes(garbage, g)) << garbage;
  }
  TOndAttributes g;
  CompactTextToAttributes("x,y;true:TRUE.I", g);
  EXPECT_EQ(g.GetForeground(), clBlack);
  EXPECT_EQ(g.GetBackground(), clWhite);
  EXPECT_TRUE(g.ParentForeground && g.ParentBackground);
  EXPECT_EQ(g.GetStyle(), fsItalic);
}

// The own text of History and Sample stands only where they have no lines:
// beside them it would be written as a blank line and a blank, and read back
// as one more line.
TEST(SchemeFormat, OlderFormatsWriteHistoryAndSampleLinesAlone) {
  TOndGenHighlighter h;
  h.Info().General.Name = "N";
  h.Info().General.History = "first\r\nsecond\r\n";
  h.Info().General.Sample = "only line\r\n";
  const std::string lines =
      "\t\t<History>\r\n\t\t\t<H>first</H>\r\n\t\t\t<H>second</H>\r\n\t\t</History>\r\n"
      "\t\t<Sample>\r\n\t\t\t<S>only line</S>\r\n\t\t</Sample>\r\n\t</Info>\r\n";
  const std::string text18 = Export(TOndGenFormatNativeXml18::Instance(), h);
  EXPECT_NE(text18.find("\t\t<Version Version=\"0\" Revision=\"0\"/>\r\n" + lines), std::string::npos) << text18;
  const std::string text15 = Export(TOndGenFormatNativeXml15::Instance(), h);
  EXPECT_NE(text15.find("\t\t\t<Revision>0</Revision>\r\n\t\t</Version>\r\n" + lines), std::string::npos) << text15;
  for (const std::string* text : {&text18, &text15}) {
    TOndGenHighlighter back;
    ASSERT_TRUE(Import(TOndGenFormatNativeXmlAuto::Instance(), back, *text));
    EXPECT_EQ(back.Info().General.History, "first\r\nsecond\r\n");
    EXPECT_EQ(back.Info().General.Sample, "only line\r\n");
  }
  // Without lines: a line break and a blank.
  h.Info().General.History.clear();
  h.Info().General.Sample.clear();
  EXPECT_NE(Export(TOndGenFormatNativeXml18::Instance(), h)
                .find("\t\t<History>\r\n\t\t</History>\r\n\t\t<Sample> </Sample>\r\n\t</Info>\r\n"),
            std::string::npos);
}

TEST(SchemeFormat, Format15Text) {
  TOndGenHighlighter h;
  BuildRichScheme(h);
  h.MainRules().Name = "say \"hi\"";
  const std::string text = Export(TOndGenFormatNativeXml15::Instance(), h);
  EXPECT_EQ(text.rfind("<GenHighlighter>\r\n", 0), 0u);
  EXPECT_EQ(text.find("/>"), std::string::npos);
  EXPECT_EQ(text.find("&quot;"), std::string::npos);
  EXPECT_NE(text.find("say &qt;hi&qt;"), std::string::npos);
  EXPECT_NE(text.find("<Style></Style>"), std::string::npos);
  // Main rules have no opening symbol: one blank, read back as none.
  EXPECT_NE(text.find("<OpenSymbol> </OpenSymbol>"), std::string::npos);
  TOndGenHighlighter b;
  ASSERT_TRUE(Import(TOndGenFormatNativeXmlAuto::Instance(), b, text));
  EXPECT_EQ(b.MainRules().Name, "say \"hi\"");
  EXPECT_EQ(b.MainRules().OpenToken().GetSymbol(0), "");
  EXPECT_EQ(b.Version, "1.5");

  EXPECT_EQ(TOndGenFormatNativeXml15::ExpandSelfClosingTags("<a><b/><c x=\"1\"/></a>"),
            "<a><b></b><c x=\"1\"></c></a>");
  // A tag whose "<" is out of reach is left alone, and the expansion ends.
  const std::string longTag = "<" + std::string(60, 'n') + "/><e/>";
  EXPECT_EQ(TOndGenFormatNativeXml15::ExpandSelfClosingTags(longTag), "<" + std::string(60, 'n') + "/><e></e>");
}

TEST(SchemeFormat, Format15ReadsDefWhenAttriIsMissing) {
  const std::string text =
      "<GenHighlighter>\r\n<Info><Version><Version>1</Version><Revision>0</Revision></Version></Info>\r\n"
      "<Range Name=\"R\"><Def><Fore>255</Fore><Back>clYellow</Back></Def><OpenSymbol>a</OpenSymbol>"
      "</Range>\r\n</GenHighlighter>\r\n";
  TOndGenHighlighter h;
  ASSERT_TRUE(Import(TOndGenFormatNativeXmlAuto::Instance(), h, text));
  EXPECT_EQ(h.MainRules().Attribs().GetForeground(), clRed);
  EXPECT_EQ(h.MainRules().Attribs().GetBackground(), clYellow);
}

TEST(SchemeFormat, Detection) {
  struct Case {
    std::string Head;
    const TOndGenFormat* Expected;
  };
  const Case cases[] = {
      {"<GenHighlighter>", &TOndGenFormatNativeXml15::Instance()},
      {"<GenHighlighter>\r\n<Info>", &TOndGenFormatNativeXml15::Instance()},
      {"<GenHighlighter version=\"1.8.3\">", &TOndGenFormatNativeXml18::Instance()},
      {"<GenHighlighter Version=\"1.8.3\">", &TOndGenFormatNativeXml20::Instance()},
      {"<GenHighlighter >", &TOndGenFormatNativeXml20::Instance()},
      {"<GenHighlighter", &TOndGenFormatNativeXml20::Instance()},
      {"<?xml version=\"1.0\"?><GenHighlighter version=\"1.8\">", &TOndGenFormatNativeXml20::Instance()},
      {"\xEF\xBB\xBF<GenHighlighter>", &TOndGenFormatNativeXml20::Instance()},
      {" <GenHighlighter>", &TOndGenFormatNativeXml20::Instance()},
      {"", &TOndGenFormatNativeXml20::Instance()},
  };
  for (const Case& c : cases)
    EXPECT_EQ(&TOndGenFormatNativeXmlAuto::DetectFormat(c.Head), c.Expected) << c.Head;

  // A 1.8 document behind a declaration reaches the 2.0 reader: not a scheme.
  TOndGenHighlighter h;
  EXPECT_FALSE(Import(TOndGenFormatNativeXmlAuto::Instance(), h,
                      "<?xml version=\"1.0\"?>\r\n<GenHighlighter version=\"1.8.3\"><Info/></GenHighlighter>"));
  // A stream positioned after its start is detected there but read from the start.
  TOndGenHighlighter src;
  BuildRichScheme(src);
  TStringStream s(Export(TOndGenFormatNativeXml20::Instance(), src));
  s.SetPosition(5);
  EXPECT_TRUE(TOndGenFormatNativeXmlAuto::Instance().ImportFromStream(&h, &s));
  EXPECT_EQ(h.Info().General.Name, "Rich");
  // The older formats too: detected where the stream stands, read whole.
  // The stream stands on a small document hidden in a comment of the full one.
  for (const TOndGenFormat* f : {static_cast<const TOndGenFormat*>(&TOndGenFormatNativeXml18::Instance()),
                                 static_cast<const TOndGenFormat*>(&TOndGenFormatNativeXml15::Instance())}) {
    SCOPED_TRACE(f->ClassName());
    std::string text = Export(*f, src);
    const std::size_t rootEnd = text.find('>') + 1;
    const std::string head = text.substr(0, rootEnd);
    text.insert(rootEnd, "<!--" + head + "<Info></Info></GenHighlighter>-->");
    TStringStream stream(text);
    stream.SetPosition(static_cast<std::int64_t>(rootEnd + 4));
    TOndGenHighlighter old;
    (void)TOndGenFormatNativeXmlAuto::Instance().ImportFromStream(&old, &stream);
    EXPECT_EQ(old.Info().General.Name, "Rich");
    EXPECT_EQ(old.MainRules().RangeCount(), 1);
  }
}

TEST(SchemeFormat, MessagesNameTheClassCalled) {
  TOndGenHighlighter h;
  EXPECT_EQ(test::ErrorOf([&] { TOndGenFormatNativeXml20::Instance().ImportFromStream(&h, nullptr); }),
            "TOndGenFormatNativeXml20.ImportFromStream: AStream property can not be nil");
  EXPECT_EQ(test::ErrorOf([&] { TOndGenFormatNativeXml18::Instance().ImportFromFile(&h, "/nonexistent/x.xml"); }),
            "TOndGenFormatNativeXml18.ImportFromFile: File \"/nonexistent/x.xml\" does not exists!");
  EXPECT_EQ(test::ErrorOf([&] { TOndGenFormatNativeXmlAuto::Instance().ExportToFile(&h, ""); }),
            "TOndGenFormatNativeXmlAuto.ExportToFile: AFileName property can not be empty");
  TStringStream s("<x/>");
  EXPECT_EQ(test::ErrorOf([&] {
              TOndGenFormatNativeXml20::Instance().ImportFromStream(TOndForeignObject{"TOndScheme"}, &s);
            }),
            "TOndGenFormatNativeXml20.ImportFromStream: Cannot import into TOndScheme object");
  TEditorProperties props;
  EXPECT_EQ(test::ErrorOf([&] { TOndGenFormatNativeXml20::Instance().ExportToStream(&props, &s); }),
            "TOndGenFormatNativeXml20.ExportToStream: Cannot export from TEditorProperties object");
  TOndRange r;
  EXPECT_EQ(test::ErrorOf([&] { TOndGenFormatNativeXmlAuto::Instance().ExportToStream(&r, &s); }),
            "TOndGenFormatNativeXmlAuto.ExportFromStream: Cannot automatic export TOndRange object");
}

TEST(SchemeFormat, FilesRememberTheNameAndAFailedExportKeepsTheOldFile) {
  test::TempDir dir;
  TOndGenHighlighter h;
  BuildRichScheme(h);
  const std::string file = dir / "scheme.xml";
  EXPECT_TRUE(h.SaveToFile(file));
  EXPECT_EQ(h.SchemeFileName, file);
  TOndGenHighlighter b;
  EXPECT_TRUE(b.LoadFromFile(file));
  EXPECT_EQ(b.SchemeFileName, file);
  TStringStream s(test::TempDir::Read(file));
  EXPECT_TRUE(b.LoadFromStream(s));
  EXPECT_EQ(b.SchemeFileName, "");

  const std::string before = test::TempDir::Read(file);
  TEditorProperties props;
  EXPECT_THROW(TOndGenFormatNativeXml20::Instance().ExportToFile(&props, file), Exception);
  EXPECT_EQ(test::TempDir::Read(file), before);
}

// A link at an exported scheme's name is replaced by the scheme (the file it
// named is left alone), a failed export says which file and why, and no
// temporary file is left in the folder.
TEST(SchemeFormat, ExportReplacesTheFileSafely) {
  namespace fs = std::filesystem;
  test::TempDir dir;
  TOndGenHighlighter h;
  BuildRichScheme(h);
  const std::string kept = dir.Write("shared/scheme.xml", "old");
  const std::string link = dir / "scheme.xml";
  fs::create_symlink("shared/scheme.xml", link);
  ASSERT_TRUE(h.SaveToFile(link));
  EXPECT_FALSE(fs::is_symlink(link));
  EXPECT_NE(test::TempDir::Read(link), "old");
  EXPECT_EQ(test::TempDir::Read(kept), "old");

  const std::string folder = dir / "folder.xml";
  ASSERT_TRUE(fs::create_directory(folder));
  const std::string error = test::ErrorOf([&] { h.SaveToFile(folder); });
  EXPECT_EQ(error.rfind("Cannot write file \"" + folder + "\". ", 0), 0u) << error;
  EXPECT_TRUE(fs::is_directory(folder));
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::recursive_directory_iterator(dir.Path())) ++entries;
  EXPECT_EQ(entries, 4);  // the file, the folder the link pointed into, its file, the folder
}

TEST(SchemeFormat, ConversionsAndColours) {
  EXPECT_TRUE(StrToBoolDefault("True", false));
  EXPECT_TRUE(StrToBoolDefault("1", false));
  EXPECT_TRUE(StrToBoolDefault("-1", false));
  EXPECT_FALSE(StrToBoolDefault("0", true));
  EXPECT_FALSE(StrToBoolDefault("False", true));
  EXPECT_TRUE(StrToBoolDefault("yes", true));
  EXPECT_FALSE(StrToBoolDefault("true", false));
  EXPECT_EQ(ColorToString(clWindowText), "clWindowText");
  EXPECT_EQ(ColorToString(clNone), "clNone");
  EXPECT_EQ(ColorToString(0xA00000), "$00A00000");
  EXPECT_EQ(StringToColor("clwhite"), clWhite);
  EXPECT_EQ(StringToColor("$002B5500"), 0x2B5500);
  EXPECT_EQ(StringToColor("255"), clRed);
  EXPECT_EQ(StringToColor("-2147483640"), clWindowText);
  EXPECT_THROW(StringToColor("blue-ish"), EConvertError);
  EXPECT_THROW(StringToColor("$"), EConvertError);
}

TEST(SchemeFormat, HostileDocumentsGiveErrorsNotCrashes) {
  const auto load = [](const std::string& text) {
    TOndGenHighlighter h;
    TStringStream s(text);
    try {
      return h.LoadFromStream(s) ? std::string("ok") : std::string("false");
    } catch (const Exception& e) {
      return std::string("error: ") + e.Message;
    }
  };
  std::string deep = "<OndGenHighlighter><SyntaxColoring><MainRules><SubRules>";
  for (int i = 0; i < 300; ++i) deep += "<Range><SubRules>";
  EXPECT_NE(load(deep).rfind("error", 0), std::string::npos);
  std::string folds = "<OndGenHighlighter><CodeFolding>";
  for (int i = 0; i < 200; ++i) folds += "<FoldRegion><SubRegions>";
  for (int i = 0; i < 200; ++i) folds += "</SubRegions></FoldRegion>";
  folds += "</CodeFolding></OndGenHighlighter>";
  EXPECT_NE(load(folds).rfind("error", 0), std::string::npos);
  EXPECT_EQ(load("<OndGenHighlighter/>"), "ok");
  EXPECT_EQ(load("<OndGenHighlighter><SyntaxColoring><MainRules><Attributes Foreground=\"nope\"/>"
                 "</MainRules></SyntaxColoring></OndGenHighlighter>"),
            "error: 'nope' is not a valid integer value");
  EXPECT_NE(load("<GenHighlighter version=\"1.8\"><Info><Version Version=\"x\"/></Info></GenHighlighter>")
                .rfind("error", 0),
            std::string::npos);
  EXPECT_NE(load(std::string("<OndGenHighlighter Version=\"2.0\">\0</OndGenHighlighter>", 45)), "");
  EXPECT_NE(load("<Ond"), "ok");
}

TEST(BuiltinSchemes, LoadWithTheirNamesRulesAndRegions) {
  const char* names[] = {"JSON Default", "JavaScript Default", "Python Default"};
  const char* exts[] = {"zu", "js", "py"};
  for (int i = 0; i < BuiltinSchemeCount; ++i) {
    TOndGenHighlighter h;
    ASSERT_TRUE(LoadBuiltinScheme(h, i));
    EXPECT_EQ(h.Info().General.Name, names[i]);
    EXPECT_EQ(h.Info().General.Extensions, exts[i]);
    EXPECT_EQ(h.Info().Author.Remark, "for Ondrel");
    EXPECT_EQ(h.Version, "2.0");
    EXPECT_EQ(h.MainRules().Name, "SyntaxColoring");
    // Stored exactly as the writer writes them.
    EXPECT_EQ(Export(TOndGenFormatNativeXml20::Instance(), h), BuiltinSchemeData(BuiltinSchemeResourceName(i)));
  }
  TOndGenHighlighter h;
  EXPECT_FALSE(LoadBuiltinScheme(h, 3));
  EXPECT_FALSE(LoadBuiltinScheme(h, -1));

  ASSERT_TRUE(LoadBuiltinScheme(h, 0));
  const TOndRange& m = h.MainRules();
  ASSERT_EQ(m.RangeCount(), 3);
  EXPECT_EQ(m.Ranges(0)->Name, "Strings \"..\"");
  EXPECT_EQ(m.Ranges(0)->Attribs().GetForeground(), 0xA00000);
  EXPECT_TRUE(m.Ranges(0)->Attribs().ParentBackground);
  EXPECT_EQ(m.Ranges(0)->Ranges(0)->KeyLists(0)->Name, "HTML-Tag");
  EXPECT_TRUE(m.Ranges(2)->GetCloseOnEol());
  EXPECT_EQ(m.KeyLists(0)->Words, (std::vector<std::string>{"true", "false", ""}));
  EXPECT_EQ(m.KeyLists(2)->Words, (std::vector<std::string>{"$", "\"$ref\""}));
  EXPECT_EQ(SetToStr(m.Sets(0)->CharSet), "+-0123456789");
  EXPECT_EQ(SetToStr(m.Delimiters).size(), 31u);
  EXPECT_EQ(h.FoldRegions().SkipRegions().Count(), 3);
  ASSERT_EQ(h.FoldRegions().Count(), 1);
  EXPECT_EQ(h.FoldRegions().Items(0)->Open, "{");
  EXPECT_TRUE(h.FoldRegions().Items(0)->AddEnding);

  ASSERT_TRUE(LoadBuiltinScheme(h, 1));
  EXPECT_EQ(h.MainRules().Style, "Root");
  ASSERT_EQ(h.MainRules().KeyListCount(), 3);
  EXPECT_EQ(h.MainRules().KeyLists(0)->Words.size(), 451u);  // 450 words and one empty line
  EXPECT_EQ(h.MainRules().KeyLists(1)->Words.size(), 64u);
  EXPECT_EQ(h.MainRules().KeyLists(2)->Words.size(), 24u);
  EXPECT_EQ(h.FoldRegions().Count(), 2);

  ASSERT_TRUE(LoadBuiltinScheme(h, 2));
  ASSERT_EQ(h.MainRules().RangeCount(), 5);
  EXPECT_EQ(h.MainRules().Ranges(3)->Name, "Strings &qt;..&qt;");
  const std::size_t counts[] = {31, 55, 23, 96, 11};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(h.MainRules().KeyLists(i)->Words.size(), counts[i]) << i;
  EXPECT_EQ(h.FoldRegions().Count(), 0);
}

// Tokens of every line of Text cover it exactly; the attribute names of the
// tokens that hold Needle.
std::vector<std::string> AttributesOf(TOndGenHighlighter& H, const std::vector<std::string>& Lines,
                                      std::string_view Needle) {
  std::vector<std::string> found;
  H.ResetRange();
  for (std::size_t i = 0; i < Lines.size(); ++i) {
    H.SetLine(Lines[i], static_cast<int>(i));
    int expected = 0;
    while (!H.GetEol()) {
      EXPECT_EQ(H.GetTokenPos(), expected);
      const std::string tok = H.GetToken();
      expected += static_cast<int>(tok.size());
      if (tok.find(Needle) != std::string::npos && H.GetTokenAttribute())
        found.push_back(H.GetTokenAttribute()->Name());
      H.Next();
    }
    EXPECT_EQ(expected, static_cast<int>(Lines[i].size())) << Lines[i];
  }
  return found;
}

TEST(BuiltinSchemes, JsonSchemeColoursStringsCommentsAndKeywords) {
  TOndGenHighlighter h;
  ASSERT_TRUE(LoadBuiltinScheme(h, 0));
  const std::vector<std::string> lines = {"{ \"a\": true, // note", "  /* block", "  still */ \"$ref\": null, -12"};
  EXPECT_EQ(AttributesOf(h, lines, "note"), (std::vector<std::string>{"Remarks //.."}));
  EXPECT_EQ(AttributesOf(h, lines, "true"), (std::vector<std::string>{"Bool"}));
  EXPECT_EQ(AttributesOf(h, lines, "still"), (std::vector<std::string>{"Remarks /*..*/"}));
  EXPECT_EQ(AttributesOf(h, lines, "null"), (std::vector<std::string>{"NumKey"}));
  EXPECT_EQ(AttributesOf(h, lines, "12"), (std::vector<std::string>{"Number"}));
  // A block comment ends at its close whatever follows it.
  const std::vector<std::string> tight = {"/* a */xyz", "/** b **/true", "/* c */\"d\""};
  EXPECT_EQ(AttributesOf(h, tight, "xyz"), (std::vector<std::string>{"SyntaxColoring"}));
  EXPECT_EQ(AttributesOf(h, tight, "true"), (std::vector<std::string>{"Bool"}));
  EXPECT_EQ(AttributesOf(h, tight, "d"), (std::vector<std::string>{"Strings \"..\""}));
}

// The Python sample: interpreter line, imports, a comment line, a blank
// line, then the block.
TEST(BuiltinSchemes, PythonSampleHasItsCommentAndBlankLine) {
  TOndGenHighlighter h;
  ASSERT_TRUE(LoadBuiltinScheme(h, 2));
  const std::vector<std::string> sample = scheme1x::SplitLines(h.GetSampleSource());
  ASSERT_GE(sample.size(), 5u);
  EXPECT_EQ(sample[0].rfind("#!", 0), 0u);
  EXPECT_EQ(sample[1], "import string, sys");
  EXPECT_EQ(sample[2].rfind("# ", 0), 0u);
  EXPECT_EQ(sample[3], "");
  EXPECT_EQ(sample[4], "if len(sys.argv)==1:");
  EXPECT_EQ(AttributesOf(h, sample, "helpful"), (std::vector<std::string>{"Comments"}));
}

}  // namespace
}  // namespace ond
