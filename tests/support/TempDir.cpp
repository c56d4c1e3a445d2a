#include "tests/support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace ond::test {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "ondrel-test-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  FPath = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(FPath, ec);
}

std::string TempDir::Write(const std::string& name, const std::string& bytes) const {
  const std::filesystem::path p = std::filesystem::path(FPath) / name;
  std::filesystem::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary);
  f << bytes;
  return p.string();
}

std::string TempDir::Read(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

std::string SourceDir() {
  if (const char* s = std::getenv("ONDREL_SOURCE_DIR")) return s;
#ifdef ONDREL_SOURCE_DIR_DEFAULT
  return ONDREL_SOURCE_DIR_DEFAULT;
#else
  return ".";
#endif
}

}  // namespace ond::test
