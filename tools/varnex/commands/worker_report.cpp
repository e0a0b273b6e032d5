// The hidden --report-to export of convert's workers: reads the host scene,
// writes a small JSON file of figures that convert shows in its table.
#include "commands/worker_report.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include <varnex/host.h>

#include "io/atomic_file.h"
#include "scene/scene_sampling.h"
#include "scene/take_edits.h"

namespace varnex {

namespace {

struct Figures {
  size_t joints = 0, frames = 0, keys = 0;
  double seconds = 0.0;  // the take's length
  bool noted = false;
};
Figures noted;
// The exports' settings: a take's frames and length are those its exports
// write, after --frames and --fps.
const ExportSettings* exportSettings = nullptr;
// What the exports adjusted, and the rest pose's height in output units.
std::string adjusted = "-";
double height = -1.0;

Figures SceneFigures() {
  Figures figures;
  for (const vxhost::Instance* instance : vxhost::AllInstances()) figures.joints += instance->jointNode ? 1 : 0;
  std::vector<int32_t> ticks = SampleTicks();
  if (exportSettings && TakeEditsProblem(exportSettings->edits, ticks.size()).empty())
    ticks = EditedTicks(ticks, exportSettings->edits);
  figures.frames = ticks.size();
  figures.keys = vxhost::KeyCount();
  figures.seconds = ticks.empty() ? 0.0 : double(ticks.back() - ticks.front()) / vxhost::kTicksPerSecond;
  return figures;
}

int WriteReport(const std::string& path) {
  const Figures figures = noted.noted ? noted : SceneFigures();
  const nlohmann::json report = {
      {"joints", figures.joints}, {"frames", figures.frames}, {"keys", figures.keys}, {"seconds", figures.seconds},
      {"adjusted", adjusted},     {"height", height}};
  std::string reason;
  if (!WriteFileAtomically(path, report.dump() + "\n", reason)) {
    std::fprintf(stderr, "varnex: cannot write the report to %s: %s\n", path.c_str(), reason.c_str());
    return kExitHostProblem;
  }
  return kExitSuccess;
}

}  // namespace

void NoteTakeFigures() {
  const Figures scene = SceneFigures();
  if (!noted.noted) noted.joints = scene.joints;  // the takes share one skeleton
  noted.frames += scene.frames;
  noted.keys += scene.keys;
  noted.seconds += scene.seconds;
  noted.noted = true;
}

void NoteTakeMeaning(const std::string& adjustments, double restHeight) {
  adjusted = adjustments;
  height = restHeight;
}

int WriteWorkerReportIfAsked(const CLI::App& command) {
  const CLI::Option* target = command.get_option_no_throw("--report-to");
  if (!target || target->count() == 0) return kExitSuccess;
  return WriteReport(target->as<std::string>());
}

void SetupReportExport(CLI::App& command, SceneExports& exports, const ExportSettings& settings, SharedGltf&) {
  exportSettings = &settings;
  auto target = std::make_shared<std::string>();
  command.add_option("--report-to", *target)->group("");
  exports.push_back({target, [target] { return WriteReport(*target); }});
}

}  // namespace varnex
