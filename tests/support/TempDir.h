// A temporary folder for tests that work on real files; removed with its
// contents when the object goes.
#pragma once

#include <string>

namespace ond::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return FPath; }
  // Path of a name inside the folder ("a/b.zu" creates no folders).
  std::string operator/(const std::string& name) const { return FPath + "/" + name; }
  // Writes bytes to a file inside the folder, creating its sub-folders.
  std::string Write(const std::string& name, const std::string& bytes) const;
  static std::string Read(const std::string& path);

 private:
  std::string FPath;
};

// The repository's folder (samples, resources), from the build environment.
std::string SourceDir();

}  // namespace ond::test
