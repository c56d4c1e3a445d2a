// Real source text, read as bytes from the files the system installed: the
// tokens tile every line, scanning always ends, and a line scanned again from
// the state stored for the line before gives what the full scan gave.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "tests/highlight/HighlightTestRules.h"

namespace ond {
namespace {

namespace fs = std::filesystem;

// A bounded sample: the first files by name under each folder, up to a byte
// budget, so the suite stays fast whatever is installed.
std::vector<std::string> SampleFiles(const std::vector<std::string>& Folders, std::string_view Ext,
                                     std::size_t MaxFiles, std::uintmax_t MaxBytes) {
  std::vector<fs::path> all;
  for (const std::string& f : Folders) {
    std::error_code ec;
    if (!fs::is_directory(f, ec)) continue;
    for (auto it = fs::recursive_directory_iterator(f, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
      if (it->is_regular_file(ec) && it->path().extension() == Ext) all.push_back(it->path());
  }
  std::sort(all.begin(), all.end());
  std::vector<std::string> out;
  std::uintmax_t bytes = 0;
  for (const fs::path& p : all) {
    std::error_code ec;
    const auto size = fs::file_size(p, ec);
    if (ec || size > MaxBytes / 4) continue;
    if (out.size() >= MaxFiles || bytes + size > MaxBytes) break;
    bytes += size;
    out.push_back(p.string());
  }
  return out;
}

std::vector<std::string> Lines(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string text = ss.str();
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

void CheckFile(TOndGenHighlighter& H, const std::string& Path, std::mt19937& Rng, int& OpenLines) {
  const std::vector<std::string> lines = Lines(Path);
  std::vector<TOndRangeState> states(lines.size());
  std::vector<std::vector<test::TTok>> tokens(lines.size());
  TOndRangeState state = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    tokens[i] = test::ScanLine(H, lines[i], state, &state);
    states[i] = state;
    if (state != 0) ++OpenLines;
    int pos = 0;
    for (const test::TTok& t : tokens[i]) {
      ASSERT_EQ(t.Pos, pos) << Path << ":" << i + 1;
      pos += static_cast<int>(t.Text.size());
    }
    ASSERT_EQ(pos, static_cast<int>(lines[i].size())) << Path << ":" << i + 1;
  }
  // Lines in random order, each from the stored state of the line before.
  std::uniform_int_distribution<std::size_t> pick(0, lines.size() - 1);
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const std::size_t i = pick(Rng);
    TOndRangeState end = -1;
    const auto again = test::ScanLine(H, lines[i], i == 0 ? 0 : states[i - 1], &end);
    ASSERT_EQ(again, tokens[i]) << Path << ":" << i + 1;
    ASSERT_EQ(end, states[i]) << Path << ":" << i + 1;
  }
}

struct SourceCase {
  const char* Name;
  std::vector<std::string> Folders;
  const char* Ext;
  void (*Build)(TOndGenHighlighter&);
};

class RealSource : public ::testing::TestWithParam<SourceCase> {};

TEST_P(RealSource, TokensTileLinesAndRescansMatchTheFullScan) {
  const std::vector<std::string> files = SampleFiles(GetParam().Folders, GetParam().Ext, 40, 1500000);
  if (files.empty()) GTEST_SKIP() << "no " << GetParam().Ext << " files installed";
  TOndGenHighlighter h;
  GetParam().Build(h);
  h.Reset();
  std::mt19937 rng(7);
  int openLines = 0;
  for (const std::string& f : files) {
    CheckFile(h, f, rng, openLines);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(openLines, 0);  // some lines end inside a range, so states matter
}

INSTANTIATE_TEST_SUITE_P(Installed, RealSource,
                         ::testing::Values(SourceCase{"Python", {"/usr/lib/python3.11", "/usr/lib/python3"}, ".py",
                                                      test::BuildScriptRules},
                                           SourceCase{"JavaScript", {"/usr/share/javascript"}, ".js",
                                                      test::BuildScriptRules},
                                           SourceCase{"JavaScriptAsJson", {"/usr/share/javascript"}, ".js",
                                                      test::BuildJsonRules}),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace ond
