// A shared library loaded for as long as the object lives: the error handler
// loads the debug-information library this way for each exception, so a
// library replaced on disk meanwhile is the one asked next time.
#pragma once

#include <string>

namespace ond {

class TSharedLibrary {
 public:
  // Loads the file (every symbol bound at once, none shared with others).
  explicit TSharedLibrary(const std::string& fileName);
  ~TSharedLibrary();
  TSharedLibrary(const TSharedLibrary&) = delete;
  TSharedLibrary& operator=(const TSharedLibrary&) = delete;

  bool Loaded() const { return FHandle != nullptr; }
  // The system's reason when the file could not be loaded.
  const std::string& Error() const { return FError; }
  // The address of an exported symbol, null when there is none.
  void* Symbol(const char* name) const;

 private:
  void* FHandle = nullptr;
  std::string FError;
};

}  // namespace ond
