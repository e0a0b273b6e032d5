// --positions OUT.csv: the world position of every instance at every frame
// of the imported scene, for people who analyse motion. The frames are every
// frame of the take and every key time, so the export means the same for
// every format, however far optimisation and reduction thinned the keys.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <varnex/host.h>

#include "atomic_file.h"
#include "output_option.h"
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

int WritePositions(const std::string& target) {
  OutputFile out;
  std::string reason;
  if (out.Open(target, reason)) {
    WritePositionRows(out.stream());  // a write error shows in the stream, which Commit checks
    if (out.Commit(reason)) return kExitSuccess;
  }
  std::fprintf(stderr, "varnex: cannot write the positions to %s: %s\n", target.c_str(), reason.c_str());
  return kExitHostProblem;
}

}  // namespace

void SetupPositionsExport(CLI::App& command, SceneExports& exports, const ExportSettings&) {
  auto target = std::make_shared<std::string>();
  command.add_option("--positions", *target, "Write every instance's world position at every frame as CSV")
      ->check(OutputPathCheck({"csv"}));
  exports.push_back({target, [target] { return WritePositions(*target); }});
}

}  // namespace varnex
