// Stand-ins for the debug-information library, built several times: each
// build may leave out one of the three functions or carry another version,
// for the tests of what the program does with such a library.
#include "debuginfo/DebugInfo.h"
#include "debuginfo/VersionNote.h"

// FAKE_VERSION is the four parts with commas between them.
#define FAKE_NOTE(parts) OND_VERSION_NOTE(parts)
FAKE_NOTE(FAKE_VERSION);

#ifndef FAKE_WITHOUT_MODULE
const char* GetExceptModuleName(std::uint32_t) { return "FakeModule"; }
#endif

#ifndef FAKE_WITHOUT_PROCEDURE
const char* GetExceptProcedureName(std::uint32_t) { return "FakeProcedure"; }
#endif

#ifndef FAKE_WITHOUT_LINE
std::int32_t GetExceptLine(std::uint32_t, std::int32_t* line, const char** unitName) {
  *line = 42;
  *unitName = "Fake.cpp";
  return 1;
}
#endif
