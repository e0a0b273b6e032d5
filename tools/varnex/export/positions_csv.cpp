// The positions CSV: rows of frame, time, path and world position.
#include "export/positions_csv.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <varnex/host.h>

#include "io/atomic_file.h"
#include "scene/scene_sampling.h"
#include "scene/take.h"

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
  // A stream that failed (a full disk, a stop cut its reader off) takes no more rows.
  for (size_t frame = 0; frame < frames && !std::ferror(out); ++frame) {
    WorldTransforms(take, frame, world);
    const double seconds = take.ticks.empty() ? 0.0 : double(take.ticks[frame]) / take.ticksPerSecond;
    for (size_t i = 0; i < world.size(); ++i) {
      const glm::dvec3 p(world[i][3]);
      std::fprintf(out, "%zu,%.9g,%s,%.9g,%.9g,%.9g\n", frame, seconds, fields[i].c_str(), p.x, p.y, p.z);
    }
  }
  return std::ferror(out) == 0;
}

}  // namespace

bool WritePositionsCsv(const std::string& path, const ExportSettings& settings, std::string& error) {
  OutputFile out;
  if (!out.Open(path, error)) return false;
  WritePositionRows(out.stream(), settings);  // a write error shows in the stream, which Commit checks
  return out.Commit(error);
}

}  // namespace varnex
