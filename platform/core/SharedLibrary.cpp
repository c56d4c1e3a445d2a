#include "platform/core/SharedLibrary.h"

#include <dlfcn.h>

namespace ond {

TSharedLibrary::TSharedLibrary(const std::string& fileName) {
  // A name without a folder would send the loader searching the system's
  // folders; only the named file is wanted.
  if (fileName.find('/') == std::string::npos) {
    FError = fileName + ": not a path";
    return;
  }
  FHandle = ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!FHandle) {
    const char* error = ::dlerror();
    FError = error ? error : "cannot be loaded";
  }
}

TSharedLibrary::~TSharedLibrary() {
  if (FHandle) ::dlclose(FHandle);
}

void* TSharedLibrary::Symbol(const char* name) const {
  if (!FHandle) return nullptr;
  ::dlerror();
  return ::dlsym(FHandle, name);
}

}  // namespace ond
