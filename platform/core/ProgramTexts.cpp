#include "platform/core/ProgramTexts.h"

#include <array>
#include <atomic>
#include <utility>

namespace ond {

namespace {

constexpr std::array<const char*, static_cast<std::size_t>(TProgramText::Count)> English = {
    "Cannot write file \"%s\".",
    "Cannot create file \"%s\".",
    "Cannot make the backup \"%s\".",
    "Cannot keep a copy of \"%s\" in %s.",
    "Cannot keep a copy of \"%s\": there is no folder for it (neither XDG_STATE_HOME nor HOME names a folder).",
    "Not a regular file",
    "The file's old text was put back.",
    "The file holds part of the new text; its old text is kept in\n\r%s",
    "The file holds part of the new text.",
    "The print job could not start",
    "The print job could not be finished",
    "\"%s\": the printer refused the job",
    "\"%s\": the printer could not finish the job",
    "no file named",
    "The HTTP client could not start",
    "HTTP GET %s failed: %s",
    "the body could not be stored",
    "the body is longer than %s bytes",
    "status %s",
    "no connection to the server",
    "the server did not answer in time",
    "no secure connection to the server could be made",
    "too many redirects",
    "transfer error %s",
    "too short for an ELF header",
    "not an ELF file",
    "an ELF file of another word size",
    "an ELF file of another byte order",
    "an ELF file of an unknown version",
    "an ELF file for another machine",
    "program headers of a wrong size",
    "too many program headers",
    "program headers past the end of the file",
    "a segment past the end of the file",
    "a relocatable object, not a program",
    "a relocatable object, not a library",
    "a core file",
    "an ELF file with nothing to load",
    "a program without an entry point",
    "a shared library, not a program",
    "not a program",
    "a program, not a library",
    "not a library",
    "this build has no release key to check signatures with",
    "the signature has %s bytes, not %s",
    "the signature library could not start",
    "the signature does not match the file and the release key",
    "The text could not be made",
    "The file's old text was put back, but the disk did not confirm that it was stored; it is also kept in\n\r%s",
    "The file holds the new text, but the disk did not confirm that it was stored.",
};

std::atomic<TProgramTextSource> Source{nullptr};

}  // namespace

void SetProgramTextSource(TProgramTextSource source) { Source.store(source); }

const char* ProgramTextEnglish(TProgramText id) { return English.at(static_cast<std::size_t>(id)); }

std::string ProgramText(TProgramText id, std::initializer_list<std::string_view> values) {
  std::string text;
  const TProgramTextSource source = Source.load();
  if (!source || !source(id, text)) text = ProgramTextEnglish(id);
  return FillPlaceholders(std::move(text), values);
}

std::string FillPlaceholders(std::string text, std::initializer_list<std::string_view> values) {
  std::size_t at = 0;
  for (std::string_view v : values) {
    at = text.find("%s", at);
    if (at == std::string::npos) break;
    text.replace(at, 2, v);
    at += v.size();
  }
  return text;
}

}  // namespace ond
