// The program's own failure texts composed below the language table (the
// file writer, the HTTP client, the download checks, printing) and beside it
// (the error log, the settings file) speak the interface language: in Russian
// no English word is left once the names and numbers put in are taken out, and
// the English texts read as they always did.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "editor/OndEditPrint.h"
#include "platform/core/Classes.h"
#include "platform/core/DownloadCheck.h"
#include "platform/core/HttpClient.h"
#include "platform/core/ProgramTexts.h"
#include "platform/core/SafeFileWriter.h"
#include "platform/core/SysUtils.h"
#include "services/UErrorLog.h"
#include "services/ULocalization.h"
#include "services/USettings.h"
#include "tests/editor/PrintTestPrinter.h"
#include "tests/support/ElfBuilder.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/LanguageGuard.h"
#include "tests/support/LocalHttpServer.h"
#include "tests/support/TempDir.h"
#include "workspace/Compatibility.h"

namespace ond {
namespace {

using test::ErrorOf;

// Text with every value taken out, then whether a Latin letter is left.
bool HasLatinWord(std::string text, const std::vector<std::string>& values) {
  for (const std::string& v : values)
    for (std::size_t at; !v.empty() && (at = text.find(v)) != std::string::npos;) text.erase(at, v.size());
  for (char c : text)
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
  return false;
}

TEST(ProgramTextLanguage, EveryNamedTextHasRussianWithoutEnglishAndTheEnglishOfTheFallback) {
  for (int i = 0; i < static_cast<int>(TProgramText::Count); ++i) {
    const auto id = static_cast<TProgramText>(i);
    const int entry = LangProgramTextEntry(id);
    SCOPED_TRACE(ProgramTextEnglish(id));
    EXPECT_EQ(LangText(entry, LangEnglish), ProgramTextEnglish(id));
    EXPECT_FALSE(HasLatinWord(LangText(entry, LangRussian), {"%s"})) << LangText(entry, LangRussian);
    {
      test::TLanguageGuard russian(LangRussian);
      EXPECT_EQ(ProgramText(id), LangText(entry, LangRussian));
    }
    test::TLanguageGuard english(LangEnglish);
    EXPECT_EQ(ProgramText(id), ProgramTextEnglish(id));
  }
}

// A print job whose printer gives no reason of its own.
struct TMutePrinter : test::TRecordingPrinter {
  bool Starts = false;
  bool BeginDoc(const std::string& title) override { return Starts && TRecordingPrinter::BeginDoc(title); }
  bool EndDoc() override { return false; }
  std::string FailureText() const override { return {}; }
};

std::string PrintFailure(bool starts) {
  TMutePrinter printer;
  printer.Starts = starts;
  TOndEditPrint print(printer);
  print.SetLines({"line"});
  EXPECT_EQ(print.Print(), 0);
  return print.Failure();
}

TEST(ProgramTextLanguage, FailuresToldThroughTheRealPathsFollowTheLanguage) {
  test::TempDir dir;
  const std::string folder = dir / "folder.zu";
  std::filesystem::create_directory(folder);
  const std::string blockedLog = dir.Write("file", "x") + "/error.log";
  const std::string existing = dir.Write("there.so", "x");
  test::TLocalServer server;
  const std::string missing = server.Url("/missing");
  const std::string big = server.Url("/big");
  server.Set("/big", test::Ok(std::string(100, 'b')));
  const std::string refused = "http://127.0.0.1:1/x";
  const std::string blockedSettings = dir.Write("blocker", "x") + "/ondrel";
  TOndrelSettings settings(blockedSettings + "/settings.ondrel");

  struct Case {
    const char* what;
    std::function<std::string()> failure;
    std::vector<std::string> values;  // names and numbers put into the text
    std::string english;
  };
  const Case cases[] = {
      {"a write over a folder",
       [&] { return ErrorOf([&] { WriteFileText(folder, "x", false); }); },
       {folder},
       "Cannot write file \"" + folder + "\". Is a directory"},
      {"the safe writer over a folder",
       [&] {
         TFileWrite w;
         w.FileName = folder;
         w.Data = "x";
         return WriteFileSafely(w).Reason;
       },
       {folder},
       "Cannot write file \"" + folder + "\". Is a directory"},
      {"the error log under a file",
       [&] { return ErrorOf([&] { AppendLogToFile(TStringList(), blockedLog); }); },
       {blockedLog},
       "Cannot write the error log " + blockedLog + ": Not a directory"},
      {"a download over a file that is there",
       [&] { return ErrorOf([&] { THttpClient().GetToFile(missing, existing, 10, 0644); }); },
       {existing},
       "Cannot create file \"" + existing + "\". File exists"},
      {"a server without the file",
       [&] { return ErrorOf([&] { THttpClient().Get(missing, 100); }); },
       {missing, "404"},
       "HTTP GET " + missing + " failed: status 404"},
      {"an answer over the limit",
       [&] { return ErrorOf([&] { THttpClient().Get(big, 10); }); },
       {big, "10"},
       "HTTP GET " + big + " failed: the body is longer than 10 bytes"},
      {"no server",
       [&] { return ErrorOf([&] { THttpClient().Get(refused, 10); }); },
       {refused},
       "HTTP GET " + refused + " failed: no connection to the server"},
      {"settings under a file",
       [&] { return settings.SaveSettings(); },
       {"\"" + blockedSettings + "\""},
       "Cannot create folder \"" + blockedSettings + "\". Not a directory"},
      {"a download that is no program",
       [] { return CheckElfForThisMachine("MZ" + std::string(100, 'x'), TElfKind::Program); },
       {},
       "not an ELF file"},
      {"a download that is not a library",
       [] { return CheckElfForThisMachine(test::BuildElf().Bytes, TElfKind::Library); },
       {},
       "a program, not a library"},
      {"a build without a release key",
       [&] { return CheckFileSignature(existing, "", std::nullopt); },
       {},
       "this build has no release key to check signatures with"},
      {"a print job that cannot start", [] { return PrintFailure(false); }, {}, "The print job could not start"},
      {"a print job that cannot finish", [] { return PrintFailure(true); }, {}, "The print job could not be finished"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    {
      test::TLanguageGuard russian(LangRussian);
      const std::string text = c.failure();
      EXPECT_FALSE(text.empty());
      EXPECT_FALSE(HasLatinWord(text, c.values)) << text;
    }
    test::TLanguageGuard english(LangEnglish);
    EXPECT_EQ(c.failure(), c.english);
  }
}

}  // namespace
}  // namespace ond
