// Where the tests find the debug-information library as built and its
// stand-ins (which lack one function, or carry an older version).
#pragma once

#include <string>

namespace ond::test {

inline std::string BuiltDebugInfoLibrary() { return ONDREL_DEBUGINFO_LIBRARY; }
// name: "NoModule", "NoProcedure", "NoLine" or "Old".
inline std::string FakeDebugInfoLibrary(const std::string& name) {
  return std::string(ONDREL_FAKE_DEBUGINFO_DIR) + "/FakeDebugInfo" + name + ".so";
}

// A program without debug information inside, and the library that carries it.
inline std::string DebugInfoProbe() { return ONDREL_DEBUGINFO_PROBE; }
inline std::string DebugInfoProbeLibrary() { return ONDREL_DEBUGINFO_PROBE_LIBRARY; }

}  // namespace ond::test
