// The floors of the house as the build declares them: every include in a
// library's folder points into the folder itself or into a library it declares
// (directly or through another), and only the window layer includes Qt. A wrong
// arrow fails here instead of hiding behind the one library everything links.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace ond {
namespace {

namespace fs = std::filesystem;

// Folder of each library -> the folders it may include from, itself among them.
std::map<std::string, std::set<std::string>> ReadLayers() {
  std::map<std::string, std::set<std::string>> layers;
  std::ifstream in(ONDREL_LAYERS_FILE);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string folder, dep;
    if (!(words >> folder)) continue;
    auto& allowed = layers[folder];
    allowed.insert(folder);
    while (words >> dep) allowed.insert(dep);
  }
  return layers;
}

struct TInclude {
  std::string File;
  std::string Target;
  bool Angled;
};

// The includes of the sources directly inside a folder.
std::vector<TInclude> IncludesIn(const fs::path& Folder, const std::string& Name) {
  static const std::regex kInclude(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
  std::vector<TInclude> out;
  for (const auto& entry : fs::directory_iterator(Folder)) {
    const std::string ext = entry.path().extension().string();
    if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
    std::ifstream in(entry.path());
    std::string line;
    std::smatch m;
    while (std::getline(in, line))
      if (std::regex_search(line, m, kInclude))
        out.push_back({Name + "/" + entry.path().filename().string(), m[2].str(), m[1].str() == "<"});
  }
  return out;
}

TEST(Layering, EveryIncludePointsIntoADeclaredLibrary) {
  const auto layers = ReadLayers();
  ASSERT_TRUE(layers.contains("platform/core")) << "no layer map at " << ONDREL_LAYERS_FILE;
  const fs::path root = test::SourceDir();
  std::vector<std::string> wrong;
  for (const auto& [folder, allowed] : layers) {
    for (const TInclude& inc : IncludesIn(root / folder, folder)) {
      if (inc.Angled) continue;
      const std::string target = fs::path(inc.Target).parent_path().string();
      // The window layer is not built without Qt; its headers are then out of reach anyway.
      if (!layers.contains(target) && target == "platform") continue;
      if (!allowed.contains(target)) wrong.push_back(inc.File + " includes " + inc.Target);
    }
  }
  EXPECT_TRUE(wrong.empty()) << [&] {
    std::string all;
    for (const auto& w : wrong) all += "  " + w + "\n";
    return all;
  }();
}

TEST(Layering, OnlyTheWindowLayerIncludesQt) {
  const auto layers = ReadLayers();
  const fs::path root = test::SourceDir();
  std::vector<std::string> wrong;
  for (const auto& [folder, allowed] : layers) {
    if (folder == "platform") continue;
    for (const TInclude& inc : IncludesIn(root / folder, folder))
      if (inc.Angled && inc.Target.starts_with("Q")) wrong.push_back(inc.File + " includes <" + inc.Target + ">");
  }
  EXPECT_TRUE(wrong.empty()) << [&] {
    std::string all;
    for (const auto& w : wrong) all += "  " + w + "\n";
    return all;
  }();
}

}  // namespace
}  // namespace ond
