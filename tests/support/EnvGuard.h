// Sets (or, with a null value, removes) an environment variable for the
// length of a test and puts the old value back afterwards.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace ond::test {

class TEnvGuard {
 public:
  TEnvGuard(const char* name, const char* value) : FName(name) {
    if (const char* old = std::getenv(name)) FOld = old;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~TEnvGuard() {
    if (FOld) ::setenv(FName, FOld->c_str(), 1);
    else ::unsetenv(FName);
  }
  TEnvGuard(const TEnvGuard&) = delete;
  TEnvGuard& operator=(const TEnvGuard&) = delete;

 private:
  const char* FName;
  std::optional<std::string> FOld;
};

}  // namespace ond::test
