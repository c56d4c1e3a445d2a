#include "workspace/UZuConfigInformation.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"
#include "tests/support/LanguageGuard.h"
#include "tests/support/TempDir.h"
#include "workspace/Compatibility.h"
#include "workspace/Encodings.h"

namespace ond {
namespace {

using test::TempDir;

std::string Inline(const std::string& file) { return "${\"" + file + "\":\"p\"}"; }

std::vector<std::string> FileNames(const TZuConfigInformation& c) {
  std::vector<std::string> r;
  for (const auto& f : c.Files) r.push_back(f->FileName);
  return r;
}

struct Counters {
  int Found, Refs, Referenced;
  bool operator==(const Counters&) const = default;
};
Counters CountersOf(const TZuFileInformation& f) { return {f.FoundRefs, f.RefCount, f.Referenced}; }
void PrintTo(const Counters& c, std::ostream* os) { *os << c.Found << "/" << c.Refs << "/" << c.Referenced; }

std::string RealPathOrName(const std::string& path) {
  const std::string real = RealPath(path);
  return real.empty() ? NormalizePath(path) : real;
}

TEST(ConfigInformation, BreadthFirstOrderAndCounters) {
  TempDir td;
  const std::string root = td.Write("root.zu", "{ \"b\": " + Inline("b.zu") + ", \"c\": " + Inline("c.zu") +
                                                   ",\n  \"m\": " + Inline("missing.zu") + " }");
  // b: a self-reference and the same file twice in two spellings.
  td.Write("b.zu", "{ \"c\": " + Inline("c.zu") + ",\n \"d\": " + Inline("d.zu") + ",\n \"me\": " + Inline("B.zu") +
                       ",\n \"again\": " + Inline("./c.zu") + " }");
  // c closes a cycle back to the root.
  td.Write("c.zu", "{ \"$ref\": { \"file\": \"root.zu\", \"path\": \"x\" } }");
  // d: a cycle with b, and the third reference to c.
  td.Write("d.zu", "[" + Inline("c.zu") + ", " + Inline("b.zu") + "]");

  TZuConfigInformation c(root, true);
  EXPECT_EQ(c.State, 2);
  ASSERT_TRUE(c.LoadInformation());
  EXPECT_EQ(c.Error, "");
  const std::string p = td.Path() + "/";
  ASSERT_EQ(FileNames(c), (std::vector<std::string>{p + "root.zu", p + "b.zu", p + "c.zu", p + "missing.zu", p + "d.zu"}));
  EXPECT_EQ(c.Count, 5);
  EXPECT_EQ(c.ExistingCount(), 4);
  EXPECT_EQ(CountersOf(*c.Files[0]), (Counters{3, 3, 1}));  // referenced back by c
  // b: four found, three distinct; referenced by the root, itself and d.
  EXPECT_EQ(CountersOf(*c.Files[1]), (Counters{4, 3, 3}));
  EXPECT_EQ(c.Files[1]->Refs, (std::vector<std::string>{p + "c.zu", p + "d.zu", p + "b.zu"}));
  EXPECT_EQ(CountersOf(*c.Files[2]), (Counters{1, 1, 3}));  // referenced by root, b and d
  EXPECT_EQ(CountersOf(*c.Files[3]), (Counters{0, 0, 1}));  // missing: never scanned
  EXPECT_EQ(CountersOf(*c.Files[4]), (Counters{2, 2, 1}));
  EXPECT_TRUE(c.Files[3]->Missing);
  EXPECT_EQ(c.Files[3]->Text(), "");
  for (int i : {0, 1, 2, 4}) EXPECT_FALSE(c.Files[i]->Missing) << i;
  for (const auto& f : c.Files) EXPECT_FALSE(f->ReadError);
  EXPECT_EQ(c.Files[0]->Name, "root");
  EXPECT_EQ(c.Files[3]->Name, "missing");
  EXPECT_EQ(c.Files[4]->ExtractFileName(), "d.zu");

  EXPECT_EQ(c.IndexOfFile(p + "D.zu"), 4);  // an existing file: the file on disk counts
  EXPECT_EQ(c.IndexOfFile(p + "sub/../c.zu"), 2);
  EXPECT_EQ(c.IndexOfFile(p + "MISSING.ZU"), 3);
  EXPECT_FALSE(c.Contains(p + "other.zu"));
  EXPECT_EQ(c.Files[1]->IndexOfRef(p + "D.ZU"), 1);
  EXPECT_EQ(c.Files[1]->IndexOfRef(p + "e.zu"), -1);

  // Without following references only the root is listed; a second load
  // starts afresh.
  TZuConfigInformation single(root, false);
  ASSERT_TRUE(single.LoadInformation());
  ASSERT_TRUE(single.LoadInformation());
  EXPECT_EQ(single.Count, 1);
  EXPECT_EQ(CountersOf(*single.Files[0]), (Counters{0, 0, 0}));
}

TEST(ConfigInformation, DiscoveryHandsItsDecodedTextsOverOnce) {
  TempDir td;
  // A mark, Cyrillic, a character without a code page 1251 form and a byte
  // that is not UTF-8.
  const std::string root = td.Write("root.zu", "\xEF\xBB\xBF{ \"a\": " + Inline("a.zu") + ", \"m\": " +
                                                   Inline("missing.zu") + " } \xD0\x9F\xE6\x97\xA5\xFF");
  td.Write("a.zu", "plain");
  TZuConfigInformation c(root, true);
  ASSERT_TRUE(c.LoadInformation()) << c.Error;
  ASSERT_EQ(c.Count, 3);
  for (int i : {0, 1}) {
    std::string text;
    std::size_t replaced = 99;
    ASSERT_TRUE(c.Files[i]->TakeText(text, replaced)) << i;
    std::size_t expectedLoss = 0;
    EXPECT_EQ(text, DecodeText(ReadFileText(c.Files[i]->FileName), TEncoding::UTF8(), &expectedLoss));
    EXPECT_EQ(replaced, expectedLoss);
    EXPECT_EQ(text, c.Files[i]->Text());
    // Handed over once: the information keeps no copy.
    EXPECT_FALSE(c.Files[i]->TakeText(text, replaced));
  }
  EXPECT_EQ(c.Files[0]->Text().substr(0, 1), "{");
  std::string none;
  std::size_t lost = 0;
  EXPECT_FALSE(c.Files[2]->TakeText(none, lost));  // missing: nothing read
}

TEST(ConfigInformation, HeaderValuesFromTheRootOnly) {
  TempDir td;
  const std::string root = td.Write("@set.zu",
                                    "\xEF\xBB\xBF/* \"author\": \"in a block comment\" */\r\n"
                                    "{\r\n"
                                    "  // \"configVersion\": \"1.0.0\",\r\n"
                                    "  \"CONFIGVERSION\": \"7.2.0\",\r\n"
                                    "  \"Date\":\r\n"
                                    "    \"06.12.2026\",\r\n"
                                    "  \"description\": \"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\",\r\n"
                                    "  \"child\": ${\"child.zu\":\"x\"}\r\n"
                                    "}\r\n");
  td.Write("child.zu", "{ \"author\": \"child\", \"date\": \"never\" }");
  TZuConfigInformation c(root, true);
  ASSERT_TRUE(c.LoadInformation());
  EXPECT_EQ(c.ConfigVersion, "7.2.0");
  // The first line holding the key is not a "//" line, so a block comment counts.
  EXPECT_EQ(c.Author, "in a block comment");
  EXPECT_EQ(c.Date, "06.12.2026");
  EXPECT_EQ(c.Description, "\xCF\xF0\xE8\xE2\xE5\xF2");  // decoded to code page 1251
  EXPECT_EQ(c.Count, 2);

  // Keys only on "//" lines give nothing.
  const std::string commented = td.Write("commented.zu", "//\"author\": \"a\"\n  // \"date\": \"d\"\n{}");
  TZuConfigInformation d(commented, true);
  ASSERT_TRUE(d.LoadInformation());
  EXPECT_EQ(d.Author, "");
  EXPECT_EQ(d.Date, "");
}

TEST(ConfigInformation, ReferencesInCommentsAndLineEnds) {
  TempDir td;
  for (const char* n : {"block.zu", "after.zu", "skipped.zu", "cr.zu", "crskipped.zu"}) td.Write(n, "{}");
  const std::string root = td.Write("root.zu",
                                    "{\n"
                                    "  /* old: " + Inline("block.zu") + " */\n"
                                    "  \"a\": 1, // " + Inline("after.zu") + "\n"
                                    "  // " + Inline("skipped.zu") + "\n"
                                    "}\r"
                                    "//" + Inline("crskipped.zu") + "\r" +
                                    Inline("cr.zu") + "\r");
  TZuConfigInformation c(root, true);
  ASSERT_TRUE(c.LoadInformation());
  const std::string p = td.Path() + "/";
  EXPECT_EQ(FileNames(c), (std::vector<std::string>{root, p + "block.zu", p + "after.zu", p + "cr.zu"}));
}

TEST(ConfigInformation, PathsResolveToOneFileOnDisk) {
  TempDir td;
  const std::string p = td.Path() + "/";
  td.Write("Sub/Colors.zu", "{ \"up\": ${\"..\\\\Common.zu\":\"x\"} }");  // ".." from Sub, not from the root
  td.Write("common.zu", "{}");
  td.Write("real/x.zu", "{}");
  ASSERT_EQ(::symlink((p + "real").c_str(), (p + "link").c_str()), 0);
  const std::string root = td.Write(
      "cfg/root.zu", "[" + Inline("../sub/colors.zu") + ", " + Inline("..\\\\SUB\\\\COLORS.ZU") + ",\n" +
                         Inline("..//sub/./../Sub/Colors.zu") + ", " + Inline("../real/x.zu") + ",\n" +
                         Inline("../link/x.zu") + ", " + Inline("..\\\\real\\\\.\\\\x.zu") + ",\n" +
                         Inline("../nowhere/New.zu") + ", " + Inline("../NOWHERE/new.zu") + ",\n" +
                         Inline("..\\\\..\\\\..\\\\..\\\\..\\\\..\\\\..\\\\..\\\\..\\\\..\\\\..\\\\..\\\\"
                                "ondrel-no-such-file.zu") + "]");
  TZuConfigInformation c(root, true);
  ASSERT_TRUE(c.LoadInformation());
  // The disk's spelling is kept for existing files; the symbolic link and
  // every other spelling reach the same entry; a missing file keeps the
  // referenced (lower-cased) spelling; ".." never climbs above "/".
  EXPECT_EQ(FileNames(c), (std::vector<std::string>{root, p + "Sub/Colors.zu", p + "real/x.zu",
                                                    p + "nowhere/new.zu", "/ondrel-no-such-file.zu",
                                                    p + "common.zu"}));
  EXPECT_EQ(CountersOf(*c.Files[0]), (Counters{9, 4, 0}));
  EXPECT_EQ(c.Files[1]->Name, "Colors");
  EXPECT_TRUE(c.Files[3]->Missing);
  EXPECT_TRUE(c.Files[4]->Missing);
  EXPECT_FALSE(c.Files[5]->Missing);

  EXPECT_EQ(ExpandRelativePath("/g/cfg/", "..\\..\\x.zu"), "/x.zu");
  EXPECT_EQ(ExpandRelativePath("/g/cfg/", "..\\..\\..\\..\\x.zu"), "/x.zu");
  EXPECT_EQ(ExpandRelativePath("/g/cfg/", "sub\\..\\x.zu"), "/g/cfg/x.zu");
  EXPECT_EQ(ExpandRelativePath("/g/", ".\\a\\\\b.zu"), "/g/a/b.zu");
  EXPECT_EQ(ExpandRelativePath("/g/", "\\abs.zu"), "/g/abs.zu");  // always below the folder
  EXPECT_EQ(ExpandRelativePath("/g/", "\xCF\xE0\xEF\xEA\xE0\\a.zu"), "/g/\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0/a.zu");
  EXPECT_EQ(ExpandRelativePath("", "a.zu"), "");
  EXPECT_EQ(ExpandRelativePath("/g/", ""), "");
}

TEST(ConfigInformation, CyrillicNamesResolveWhateverTheirCase) {
  TempDir td;
  const std::string p = td.Path() + "/";
  // On disk "Папка/Файл.zu"; referenced (in the file's UTF-8) as "папка/ФАЙЛ.zu"
  // and once more through a "$ref" object.
  td.Write("\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0/\xD0\xA4\xD0\xB0\xD0\xB9\xD0\xBB.zu", "{}");
  const std::string root = td.Write(
      "root.zu", "{ \"a\": " + Inline("\xD0\xBF\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0/\xD0\xA4\xD0\x90\xD0\x99\xD0\x9B.zu") +
                     ",\n \"b\": {\"$ref\": {\"file\": \"\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0\\\\\xD0\xA4\xD0\xB0\xD0\xB9\xD0\xBB.zu\", "
                     "\"path\": \"x\"}} }");
  TZuConfigInformation c(root, true);
  ASSERT_TRUE(c.LoadInformation());
  ASSERT_EQ(c.Count, 2);
  EXPECT_EQ(c.Files[1]->FileName, p + "\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0/\xD0\xA4\xD0\xB0\xD0\xB9\xD0\xBB.zu");
  EXPECT_FALSE(c.Files[1]->Missing);
  EXPECT_EQ(CountersOf(*c.Files[0]), (Counters{2, 1, 0}));
  EXPECT_EQ(c.Files[1]->Name, "\xD4\xE0\xE9\xEB");  // "Файл" as program text
}

TEST(ConfigInformation, FailuresKeepWhatWasListed) {
  TempDir td;
  const std::string p = td.Path() + "/";
  // A root that is missing or a folder: a set of one missing entry with
  // empty header values, and discovery succeeds (nothing failed to read).
  td.Write("dir.zu/inner.zu", "{}");
  for (const std::string& name : {std::string("none.zu"), std::string("dir.zu"), "a.zu" + std::string(1, '\0')}) {
    TZuConfigInformation none(p + name, true);
    EXPECT_TRUE(none.LoadInformation()) << name;
    EXPECT_EQ(none.Count, 1);
    EXPECT_TRUE(none.Files[0]->Missing);
    EXPECT_FALSE(none.Files[0]->ReadError);
    EXPECT_EQ(none.Error, "");
    EXPECT_EQ(none.Files[0]->FoundRefs, 0);
    EXPECT_EQ(none.ConfigVersion + none.Author + none.Date + none.Description, "");
  }

  // Bytes that are not UTF-8 become "?" and discovery goes on.
  td.Write("bad.zu", "{ \"x\": \"\xFF\xFE\xC0\", \"n\": ${\"next.zu\":\"p\"} }");
  td.Write("next.zu", "{}");
  // A pipe would block a reader forever: it is a read error, not a hang.
  ASSERT_EQ(::mkfifo((p + "pipe.zu").c_str(), 0600), 0);
  td.Write("after.zu", "{}");
  td.Write("folder.zu/inner.zu", "{}");
  const std::string root =
      td.Write("root.zu", "[" + Inline("bad.zu") + "," + Inline("folder.zu") + "," + Inline("pipe.zu") + "," +
                              Inline("after.zu") + "]");
  TZuFileInformation bad(p + "bad.zu", "bad");
  EXPECT_EQ(bad.Text(), "{ \"x\": \"???\", \"n\": ${\"next.zu\":\"p\"} }");
  TZuConfigInformation c(root, true);
  EXPECT_FALSE(c.LoadInformation());
  EXPECT_NE(c.Error, "");
  // Discovery stopped at the pipe: after.zu was listed but never scanned.
  ASSERT_EQ(FileNames(c), (std::vector<std::string>{root, p + "bad.zu", p + "folder.zu", p + "pipe.zu",
                                                    p + "after.zu", p + "next.zu"}));
  EXPECT_FALSE(c.Files[1]->ReadError);
  EXPECT_TRUE(c.Files[2]->Missing);  // a folder is no file
  EXPECT_TRUE(c.Files[3]->ReadError);
  EXPECT_FALSE(c.Files[4]->ReadError);

  // A set too large to list: stops at the cap; the file whose references
  // were cut short is marked and named with the cap.
  std::string many = "[";
  for (int i = 0; i < TZuConfigInformation::MaxFiles + 100; ++i) many += Inline("m" + std::to_string(i) + ".zu") + ",\n";
  const std::string big = td.Write("big.zu", many + "]");
  TZuConfigInformation b(big, true);
  EXPECT_FALSE(b.LoadInformation());
  EXPECT_EQ(b.Count, TZuConfigInformation::MaxFiles);
  EXPECT_NE(b.Error.find("4096"), std::string::npos) << b.Error;
  EXPECT_NE(b.Error.find(big), std::string::npos) << b.Error;
  EXPECT_TRUE(b.Files[0]->ListingCut);
  EXPECT_FALSE(b.Files[0]->ReadError);  // it was read: the set opens with it
  EXPECT_FALSE(b.Files[1]->ReadError);
  EXPECT_EQ(b.Files[0]->FoundRefs, TZuConfigInformation::MaxFiles + 100);
}

TEST(ConfigInformation, OversizedFilesAreReadErrors) {
  const test::TLanguageGuard english(LangEnglish);  // the texts looked for are English
  TempDir td;
  const std::string p = td.Path() + "/";
  // A sparse file past the size limit stands in for a file that never ends.
  const std::string huge = td.Write("huge.zu", "");
  ASSERT_EQ(::truncate(huge.c_str(), MaxTextFileSize + 1), 0);
  td.Write("after.zu", "{}");
  const std::string root = td.Write("root.zu", "[" + Inline("huge.zu") + "," + Inline("after.zu") + "]");
  TZuConfigInformation c(root, true);
  EXPECT_FALSE(c.LoadInformation());
  ASSERT_EQ(FileNames(c), (std::vector<std::string>{root, huge, p + "after.zu"}));
  EXPECT_TRUE(c.Files[1]->ReadError);
  EXPECT_NE(c.Error.find(huge), std::string::npos) << c.Error;
  EXPECT_NE(c.Error.find("512 MB"), std::string::npos) << c.Error;
}

TEST(ConfigInformation, ReferenceNamesAreDecodedLikeThePanelText) {
  TempDir td;
  const std::string p = td.Path() + "/";
  const std::string a = td.Write("a.zu", "{ \"keep\": 1 }");
  struct Case {
    std::string Referenced;  // the name's bytes in the file
    std::string Listed;      // the native name of the entry
  };
  const Case cases[] = {
      {"\xCF\xE0\xEF\xEA\xE0.zu", "?????.zu"},               // "Папка" in code page 1251: not UTF-8
      {"\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0.zu",
       "\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0.zu"},      // "Папка" in UTF-8 stays
      {"\xE6\x97\xA5.zu", "?.zu"},                               // a character with no code page 1251 form
      {"a.zu" + std::string(1, '\0') + "x", "a.zu?x"},            // a zero byte would cut the name at "a.zu"
  };
  for (const Case& k : cases) {
    const std::string root = td.Write("root.zu", "{ \"r\": " + Inline(k.Referenced) + " }");
    TZuConfigInformation c(root, true);
    ASSERT_TRUE(c.LoadInformation()) << c.Error;
    ASSERT_EQ(c.Count, 2);
    EXPECT_EQ(c.Files[1]->FileName, p + k.Listed);
    EXPECT_TRUE(c.Files[1]->Missing);
    // The same decoding as the panel's (where a zero byte stays as it is).
    std::string shown = DecodeText(k.Referenced, TEncoding::UTF8());
    std::replace(shown.begin(), shown.end(), '\0', '?');
    EXPECT_EQ(AnsiToUtf8(shown), k.Listed);
  }
  EXPECT_EQ(TempDir::Read(a), "{ \"keep\": 1 }");
}

TEST(ConfigInformation, BackupNames) {
  TempDir td;
  const std::string f = td.Write("a.zu", "{}");
  TZuFileInformation info(f, "a");
  EXPECT_EQ(info.BackupFileName(), f + ".backup");
  EXPECT_FALSE(info.HasBackup());
  td.Write("a.zu.backup", "{}");
  EXPECT_TRUE(info.HasBackup());
  EXPECT_EQ(info.AddRef("/x/y.zu"), 0);
  EXPECT_EQ(info.AddRef("/x/z.zu"), 1);
  EXPECT_EQ(info.RefCount, 2);
}

TEST(ConfigInformation, SampleSet) {
  const std::string s = test::SourceDir() + "/samples/";
  TZuConfigInformation c(s + "@quarn.zu", true);
  ASSERT_TRUE(c.LoadInformation());
  EXPECT_EQ(c.ConfigVersion, "7.2.0");
  EXPECT_EQ(c.Author, "Ondrel sample");
  EXPECT_EQ(c.Date, "06.12.2026");
  EXPECT_EQ(c.Description, "A small set that shows both kinds of reference");
  // The root first, then breadth-first; the macros file is on disk as
  // "Macros.zu" and referenced in lower case from two folders.
  const std::vector<std::string> names{"@quarn.zu", "quarn/battle.zu", "quarn/hangar.zu",
                                       "quarn/colors/colors.zu", "quarn/sounds.zu", "common/Macros.zu"};
  ASSERT_EQ(c.Count, static_cast<int>(names.size()));
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(RealPathOrName(c.Files[i]->FileName), RealPathOrName(s + names[i])) << i;
  }
  EXPECT_EQ(c.ExistingCount(), 5);
  EXPECT_TRUE(c.Files[4]->Missing);
  EXPECT_EQ(CountersOf(*c.Files[0]), (Counters{4, 4, 0}));
  EXPECT_EQ(CountersOf(*c.Files[1]), (Counters{2, 2, 1}));  // macros and colors
  EXPECT_EQ(CountersOf(*c.Files[2]), (Counters{1, 1, 1}));  // "Colors/Colors.zu"
  EXPECT_EQ(CountersOf(*c.Files[3]), (Counters{1, 1, 3}));  // from the root, battle and hangar
  EXPECT_EQ(CountersOf(*c.Files[4]), (Counters{0, 0, 1}));
  EXPECT_EQ(CountersOf(*c.Files[5]), (Counters{0, 0, 2}));  // a path-only reference names no file
  EXPECT_EQ(c.Files[5]->Name, "Macros");
}

}  // namespace
}  // namespace ond
