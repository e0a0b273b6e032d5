// --positions OUT.csv: the world position of every instance at every frame
// of the imported scene, in the export's units and axes, for people who
// analyse motion. The frames are every frame of the take and every key
// time, so the export means the same for every format, however far
// optimisation and reduction thinned the keys.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <varnex/host.h>

#include "atomic_file.h"
#include "export/output_option.h"
#include "export/scene_sampling.h"
#include "take.h"
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

bool WritePositionRows(std::FILE* out, const ExportSettings& settings) {
  const Take take = CaptureTake("", settings);
  const std::vector<std::string> paths = ScenePaths();
  std::vector<std::string> fields;
  fields.reserve(paths.size());
  for (const std::string& path : paths) fields.push_back(CsvField(path));

  std::fputs("frame,time,path,x,y,z\n", out);
  std::vector<glm::dmat4> world;
  // A scene without motion still shows its pose, as frame 0.
  const size_t frames = std::max<size_t>(1, take.ticks.size());
  for (size_t frame = 0; frame < frames; ++frame) {
    WorldTransforms(take, frame, world);
    const double seconds = take.ticks.empty() ? 0.0 : double(take.ticks[frame]) / take.ticksPerSecond;
    for (size_t i = 0; i < world.size(); ++i) {
      const glm::dvec3 p(world[i][3]);
      std::fprintf(out, "%zu,%.9g,%s,%.9g,%.9g,%.9g\n", frame, seconds, fields[i].c_str(), p.x, p.y, p.z);
    }
  }
  return std::ferror(out) == 0;
}

int WritePositions(const std::string& target, const ExportSettings& settings) {
  OutputFile out;
  std::string reason;
  if (out.Open(target, reason)) {
    WritePositionRows(out.stream(), settings);  // a write error shows in the stream, which Commit checks
    if (out.Commit(reason)) return kExitSuccess;
  }
  std::fprintf(stderr, "varnex: cannot write the positions to %s: %s\n", target.c_str(), reason.c_str());
  return kExitHostProblem;
}

}  // namespace

void SetupPositionsExport(CLI::App& command, SceneExports& exports, const ExportSettings& settings, SharedGltf&) {
  auto target = std::make_shared<std::string>();
  command.add_option("--positions", *target, "Write every instance's world position at every frame as CSV")
      ->check(OutputPathCheck({"csv"}));
  exports.push_back({target, [target, &settings] { return WritePositions(*target, settings); }});
}

}  // namespace varnex
