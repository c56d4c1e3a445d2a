// Reading printed PDF files back with poppler's command-line tools.
#pragma once

#include <string>

namespace ond::test {

// The standard output of a shell command.
std::string CommandOutput(const std::string& command);
// The page count pdfinfo reports; -1 when it reports none.
int PdfPages(const std::string& pdf);
// The text of one page (0: all pages), laid out as printed.
std::string PdfText(const std::string& pdf, int page = 0);
// Whether the extracted text holds the words; pdftotext's spacing between
// glyphs of a small font varies, so blanks do not count.
bool PdfHas(const std::string& text, const std::string& words);

}  // namespace ond::test
