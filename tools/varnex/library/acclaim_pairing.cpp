// Finds an AMC motion's ASF skeleton among the files beside it and reads the
// skeleton's unit length. Reads folder listings and the ASF's ":units"
// block; writes nothing.
#include "library/acclaim_pairing.h"
#include "io/text_case.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace varnex {

namespace fs = std::filesystem;

namespace {

bool HasExtension(const fs::path& path, const char* extension) {
  return LowerCase(path.extension().string()) == extension;
}

// The folder's .asf files, sorted so that every choice below is the same on
// every run.
std::vector<fs::path> SkeletonsIn(const fs::path& folder) {
  std::vector<fs::path> found;
  std::error_code ec;
  for (auto it = fs::directory_iterator(folder.empty() ? fs::path(".") : folder, ec);
       !ec && it != fs::directory_iterator(); it.increment(ec)) {
    if (HasExtension(it->path(), ".asf") && it->is_regular_file(ec)) found.push_back(it->path());
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace

bool IsAmcFile(const fs::path& path) { return HasExtension(path, ".amc"); }
bool IsAsfFile(const fs::path& path) { return HasExtension(path, ".asf"); }

std::optional<fs::path> FindSkeleton(const fs::path& motion, const std::string& given, std::string& problem) {
  std::error_code ec;
  if (!given.empty()) {
    if (fs::is_regular_file(given, ec)) return fs::path(given);
    problem = "the skeleton given, " + given + ", is not a file";
    return std::nullopt;
  }
  const fs::path folder = motion.parent_path();
  const std::string stem = motion.stem().string();
  const std::vector<fs::path> skeletons = SkeletonsIn(folder);
  for (const fs::path& skeleton : skeletons)
    if (skeleton.stem().string() == stem) return skeleton;
  if (skeletons.size() == 1) return skeletons.front();
  // A name that begins the motion's serves it only up to a separator: 01.asf
  // serves 01_01.amc, 1.asf does not serve 10_01.amc.
  const fs::path* longest = nullptr;
  std::string unseparated;  // skeletons that begin the name without one
  size_t unseparatedCount = 0;
  for (const fs::path& skeleton : skeletons) {
    const std::string name = skeleton.stem().string();
    if (name.empty() || name.size() >= stem.size() || stem.compare(0, name.size(), name) != 0) continue;
    if (std::string("_-. ").find(stem[name.size()]) == std::string::npos) {
      unseparated += (unseparated.empty() ? "" : ", ") + skeleton.filename().string();
      ++unseparatedCount;
      continue;
    }
    if (!longest || name.size() > longest->stem().string().size()) longest = &skeleton;
  }
  if (longest) return *longest;
  std::ostringstream tried;
  tried << "no skeleton found: no --skeleton given, no " << stem << ".asf beside it, ";
  if (skeletons.empty())
    tried << "no .asf file in its folder";
  else
    tried << skeletons.size() << " .asf files in its folder and none whose name is the start of \"" << stem
          << "\" up to a _, -, . or space";
  if (!unseparated.empty())
    tried << " (" << unseparated << (unseparatedCount == 1 ? " begins" : " begin") << " it with no separator after)";
  tried << "; name one with --skeleton FILE.asf";
  problem = tried.str();
  return std::nullopt;
}

double AsfUnitLength(const fs::path& skeleton) {
  std::ifstream in(skeleton, std::ios::binary);
  std::string line;
  bool inUnits = false;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string word;
    if (!(words >> word)) continue;
    word = LowerCase(word);
    if (word[0] == ':') {
      if (inUnits) break;
      inUnits = word == ":units";
      if (!inUnits) continue;
      if (!(words >> word)) continue;  // the block's first entry may share the line
      word = LowerCase(word);
    }
    if (inUnits && word == "length") {
      std::string value;
      if (words >> value) return std::atof(value.c_str());
      return 1.0;
    }
  }
  return 1.0;
}

}  // namespace varnex
