#include "tests/support/PdfTools.h"

#include <cstdio>

namespace ond::test {

std::string CommandOutput(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    pclose(pipe);
  }
  return out;
}

int PdfPages(const std::string& pdf) {
  const std::string info = CommandOutput("pdfinfo '" + pdf + "' 2>/dev/null");
  const std::size_t at = info.find("Pages:");
  return at == std::string::npos ? -1 : std::stoi(info.substr(at + 6));
}

std::string PdfText(const std::string& pdf, int page) {
  const std::string range = page > 0 ? " -f " + std::to_string(page) + " -l " + std::to_string(page) : "";
  return CommandOutput("pdftotext -layout" + range + " '" + pdf + "' - 2>/dev/null");
}

bool PdfHas(const std::string& text, const std::string& words) {
  auto squeeze = [](std::string s) {
    std::erase(s, ' ');
    return s;
  };
  return squeeze(text).find(squeeze(words)) != std::string::npos;
}

}  // namespace ond::test
