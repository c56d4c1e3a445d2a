// The debug-information library against the test program's own code: a
// thrown exception's map address gives the throw site's procedure, source
// file and line; addresses it cannot know give nothing; and a missing
// library or function gives the fixed texts in its place.
#include <gtest/gtest.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "debuginfo/DebugInfo.h"
#include "platform/core/CallStack.h"
#include "platform/core/FileSystem.h"
#include "platform/core/SharedLibrary.h"
#include "platform/core/SysUtils.h"
#include "services/UDebugInfoLibrary.h"
#include "services/UErrorLog.h"
#include "tests/support/DebugInfoFiles.h"
#include "tests/support/TempDir.h"
#include "tests/support/ThrowDeep.h"

namespace ond {
namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The line of the source file that holds the text, counted from 1, read
// from the file itself so that the test does not trust the debug information.
int SourceLineOf(const std::string& file, const std::string& text) {
  std::ifstream in(file);
  std::string line;
  for (int n = 1; std::getline(in, line); ++n)
    if (line.find(text) != std::string::npos) return n;
  return 0;
}

std::uint32_t MapOf(const void* address) {
  const TCodeModule m = ModuleOfAddress(address);
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(address) - m.Base);
}

TEST(DebugInfoLibrary, AThrownExceptionIsLocatedAtItsThrowSite) {
  const TDebugInfoLibrary library(test::BuiltDebugInfoLibrary());
  ASSERT_TRUE(library.Available());
  const std::string source = test::SourceDir() + "/tests/support/ThrowDeep.cpp";
  const int throwLine = SourceLineOf(source, "throw EListError(\"three calls deep\")");
  ASSERT_GT(throwLine, 0);
  try {
    test::ThrowingLevelOne();
    FAIL() << "no exception";
  } catch (const Exception& e) {
    ASSERT_TRUE(e.CallStack);
    const TExceptionPlace place = PlaceOfStack(FramesOfStack(*e.CallStack), library);
    ASSERT_TRUE(place.HasAddress);
    EXPECT_EQ(place.ProcedureName, "ond::test::ThrowingLevelThree()");
    EXPECT_TRUE(EndsWith(place.UnitName, test::ThrowDeepSourceFile)) << place.UnitName;
    EXPECT_EQ(place.LineNumber, throwLine);
    EXPECT_EQ(place.ModuleName, ExtractFileName(ProgramFileName()));
    EXPECT_LT(place.MapAddress, place.Address);
    // The library answers the logged map address alone, as a user who has
    // only the log would ask it.
    EXPECT_EQ(library.PlaceOf(static_cast<std::uint32_t>(place.MapAddress)).LineNumber, throwLine);
    // The throw site and its callers, each in a frame of its own.
    ASSERT_GE(place.CallStack.size(), 3u);
    const char* const levels[] = {"ThrowingLevelThree()", "ThrowingLevelTwo()", "ThrowingLevelOne()"};
    for (int i = 0; i < 3; ++i) {
      EXPECT_NE(place.CallStack[i].find(levels[i]), std::string::npos) << place.CallStack[i];
      EXPECT_NE(place.CallStack[i].find(std::string(test::ThrowDeepSourceFile) + ":"), std::string::npos)
          << place.CallStack[i];
    }
  }
}

// The map address just past the running program's last loaded byte, from
// the program headers the loader put in memory (not from the file the
// library reads).
std::uint32_t ProgramMapEnd() {
  struct Extent {
    bool Seen = false;
    std::uint64_t Bias = 0, End = 0;
  } extent;
  ::dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        auto& e = *static_cast<Extent*>(data);
        if (e.Seen) return 1;  // the program is the first object
        e.Seen = true;
        const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
        bool first = true;
        for (int i = 0; i < info->dlpi_phnum; ++i) {
          const ElfW(Phdr)& ph = info->dlpi_phdr[i];
          if (ph.p_type != PT_LOAD) continue;
          if (first) e.Bias = ph.p_vaddr & ~(page - 1);
          first = false;
          e.End = std::max<std::uint64_t>(e.End, ph.p_vaddr + ph.p_memsz);
        }
        return 1;
      },
      &extent);
  return static_cast<std::uint32_t>(extent.End - extent.Bias);
}

TEST(DebugInfoLibrary, TheProgramEndsAtItsLastLoadedByte) {
  TSharedLibrary library(test::BuiltDebugInfoLibrary());
  ASSERT_TRUE(library.Loaded()) << library.Error();
  const auto moduleName = reinterpret_cast<decltype(&GetExceptModuleName)>(library.Symbol("GetExceptModuleName"));
  ASSERT_TRUE(moduleName);
  const std::uint32_t end = ProgramMapEnd();
  ASSERT_GT(end, MapOf(reinterpret_cast<const void*>(&test::ThrowingLevelOne)));
  EXPECT_EQ(std::string(moduleName(end - 1)), ExtractFileName(ProgramFileName()));
  EXPECT_EQ(std::string(moduleName(end)), "");
  EXPECT_EQ(std::string(moduleName(end + 1)), "");
}

TEST(DebugInfoLibrary, TheExportedFunctionsAnswerForMapAddresses) {
  TSharedLibrary library(test::BuiltDebugInfoLibrary());
  ASSERT_TRUE(library.Loaded()) << library.Error();
  const auto moduleName = reinterpret_cast<decltype(&GetExceptModuleName)>(library.Symbol("GetExceptModuleName"));
  const auto procedureName =
      reinterpret_cast<decltype(&GetExceptProcedureName)>(library.Symbol("GetExceptProcedureName"));
  const auto lineOf = reinterpret_cast<decltype(&GetExceptLine)>(library.Symbol("GetExceptLine"));
  ASSERT_TRUE(moduleName && procedureName && lineOf);

  const std::uint32_t entry = MapOf(reinterpret_cast<const void*>(&test::ThrowingLevelOne));
  EXPECT_EQ(std::string(moduleName(entry)), ExtractFileName(ProgramFileName()));
  EXPECT_EQ(std::string(procedureName(entry)), "ond::test::ThrowingLevelOne()");
  std::int32_t line = 0;
  const char* unit = nullptr;
  EXPECT_NE(lineOf(entry, &line, &unit), 0);
  ASSERT_NE(unit, nullptr);
  EXPECT_TRUE(EndsWith(unit, test::ThrowDeepSourceFile)) << unit;
  EXPECT_GT(line, 0);

  // Past the end of the program nothing is known, and nothing is made up.
  for (const std::uint32_t outside : {0xFFFFFFF0u, 0xFFFFFFFFu}) {
    EXPECT_EQ(std::string(moduleName(outside)), "");
    EXPECT_EQ(std::string(procedureName(outside)), "");
    line = 7;
    unit = nullptr;
    EXPECT_EQ(lineOf(outside, &line, &unit), 0);
    EXPECT_EQ(line, 0);
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(std::string(unit), "");
  }
}

TEST(DebugInfoLibrary, MissingLibraryOrFunctionsGiveTheFixedTexts) {
  struct Case {
    std::string File;
    TLibraryPlace Expected;
  };
  const std::string notFound = "DebugInfo.so not found";
  const Case cases[] = {
      {"/nonexistent-folder/DebugInfo.so", {notFound, notFound, notFound, 0}},
      {test::FakeDebugInfoLibrary("NoModule"), {"Module name not found in DebugInfo.so", "FakeProcedure", "Fake.cpp", 42}},
      {test::FakeDebugInfoLibrary("NoProcedure"), {"FakeModule", "Procedure name not found in DebugInfo.so", "Fake.cpp", 42}},
      {test::FakeDebugInfoLibrary("NoLine"), {"FakeModule", "FakeProcedure", "Code line not found in DebugInfo.so", 0}},
      {test::FakeDebugInfoLibrary("Old"), {"FakeModule", "FakeProcedure", "Fake.cpp", 42}},
  };
  for (const Case& c : cases) {
    const TDebugInfoLibrary library(c.File);
    EXPECT_EQ(library.PlaceOf(0x1234), c.Expected) << c.File;
  }
  // A file that is no library at all counts as missing.
  test::TempDir dir;
  const TDebugInfoLibrary text(dir.Write("DebugInfo.so", "not a library"));
  EXPECT_FALSE(text.Available());
  EXPECT_EQ(text.PlaceOf(1).ProcedureName, notFound);
}

TEST(DebugInfoLibrary, WithoutTheLibraryTheFirstFrameIsThePlace) {
  const TDebugInfoLibrary missing("/nonexistent-folder/DebugInfo.so");
  try {
    test::ThrowingLevelOne();
  } catch (const Exception& e) {
    const auto frames = FramesOfStack(*e.CallStack);
    ASSERT_FALSE(frames.empty());
    const TExceptionPlace place = PlaceOfStack(frames, missing);
    ASSERT_TRUE(place.HasAddress);
    EXPECT_EQ(place.Address, frames[0].Address);
    EXPECT_EQ(place.ProcedureName, "DebugInfo.so not found");
    EXPECT_EQ(place.LineNumber, 0);
    // The call stack still gives every frame's map address and module.
    ASSERT_FALSE(place.CallStack.empty());
    EXPECT_EQ(place.CallStack[0], "  " + IntToHex(place.MapAddress, 8) + " " + ExtractFileName(ProgramFileName()));
  }
}

// What the probe prints when it asks the library.
std::string RunProbe(const std::string& library) {
  std::string out;
  if (std::FILE* pipe = ::popen(("'" + test::DebugInfoProbe() + "' '" + library + "' 2>&1").c_str(), "r")) {
    char buf[512];
    while (std::fgets(buf, sizeof buf, pipe)) out += buf;
    ::pclose(pipe);
  }
  return out;
}

TEST(DebugInfoLibrary, AProgramWithoutDebugInformationGetsItsLinesFromTheLibrary) {
  const std::string source = test::SourceDir() + "/tests/debuginfo/probe/Probe.cpp";
  const int line = SourceLineOf(source, "int ProbeTarget(int v)");
  ASSERT_GT(line, 0);
  // The library made for the probe carries its debug information.
  const std::string carried = RunProbe(test::DebugInfoProbeLibrary());
  const auto bar = carried.find('|');
  ASSERT_NE(bar, std::string::npos) << carried;
  EXPECT_EQ(carried.substr(0, bar), "ProbeTarget(int)");
  EXPECT_TRUE(EndsWith(carried, "probe/Probe.cpp|" + std::to_string(line) + "\n")) << carried;
  // The plain library has only the probe's symbol table to go by: a name,
  // no line.
  EXPECT_EQ(RunProbe(test::BuiltDebugInfoLibrary()), "ProbeTarget(int)||0\n");
}

TEST(DebugInfoLibrary, AnotherProgramsCarriedInformationIsNotUsed) {
  // The probe's library, loaded by this test program (another build id),
  // answers from this program's own debug information.
  const TDebugInfoLibrary library(test::DebugInfoProbeLibrary());
  ASSERT_TRUE(library.Available());
  const TLibraryPlace place = library.PlaceOf(MapOf(reinterpret_cast<const void*>(&test::ThrowingLevelOne)));
  EXPECT_EQ(place.ProcedureName, "ond::test::ThrowingLevelOne()");
  EXPECT_TRUE(EndsWith(place.UnitName, test::ThrowDeepSourceFile)) << place.UnitName;
}

}  // namespace
}  // namespace ond
