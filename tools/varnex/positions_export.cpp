// --positions OUT.csv: the world position of every instance at every frame
// of the imported scene, for people who analyse motion. The frames are every
// frame of the take and every key time, so the export means the same for
// every format, however far optimisation and reduction thinned the keys.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <varnex/host.h>

#include "scene_sampling.h"
#include "varnex.h"

namespace varnex {

namespace {

// A path with a comma, quote or line break is quoted as CSV readers expect.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

bool WritePositionRows(std::FILE* out) {
  std::vector<int32_t> times = SampleTicks();
  if (times.empty()) times.push_back(0);
  std::vector<const vxhost::Instance*> instances = vxhost::AllInstances();
  std::vector<std::string> paths;
  for (const vxhost::Instance* instance : instances) paths.push_back(CsvField(vxhost::InstancePath(*instance)));

  std::fputs("frame,path,x,y,z\n", out);
  for (size_t frame = 0; frame < times.size(); ++frame) {
    for (size_t i = 0; i < instances.size(); ++i) {
      glm::dvec3 position = vxhost::WorldPosition(*instances[i], times[frame]);
      std::fprintf(out, "%zu,%s,%.9g,%.9g,%.9g\n", frame, paths[i].c_str(), position.x, position.y, position.z);
    }
  }
  return std::ferror(out) == 0;
}

// Writes beside the target and renames, so that OUT.csv is either the old
// file or the complete new one.
int WritePositions(const std::string& target) {
  std::filesystem::path directory = std::filesystem::path(target).parent_path();
  std::string pattern = (directory / ("." + std::filesystem::path(target).filename().string() + ".XXXXXX")).string();
  std::vector<char> temporary(pattern.begin(), pattern.end());
  temporary.push_back('\0');

  int descriptor = mkstemp(temporary.data());
  if (descriptor < 0) {
    std::fprintf(stderr, "varnex: cannot write the positions to %s: %s\n", target.c_str(), std::strerror(errno));
    return kExitHostProblem;
  }
  std::FILE* out = fdopen(descriptor, "w");
  bool written = out != nullptr && WritePositionRows(out);
  int savedErrno = errno;
  if (out != nullptr) {
    written = std::fclose(out) == 0 && written;
    savedErrno = written ? 0 : errno;
  } else {
    close(descriptor);
  }
  if (written && std::rename(temporary.data(), target.c_str()) != 0) {
    written = false;
    savedErrno = errno;
  }
  if (!written) {
    std::remove(temporary.data());
    std::fprintf(stderr, "varnex: cannot write the positions to %s: %s\n", target.c_str(),
                 std::strerror(savedErrno != 0 ? savedErrno : EIO));
    return kExitHostProblem;
  }
  return kExitSuccess;
}

}  // namespace

void SetupPositionsExport(CLI::App& command, SceneExports& exports, const ExportSettings&) {
  auto target = std::make_shared<std::string>();
  command.add_option("--positions", *target, "Write every instance's world position at every frame as CSV");
  exports.push_back({target, [target] { return WritePositions(*target); }});
}

}  // namespace varnex
