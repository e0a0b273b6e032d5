// Builds the execute_geometry_converter call from an ImportRequest and wires
// the host's message, status and progress reports to the terminal.
#include "import_session.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <vector>

#include <varnex/host.h>

#include "progress.h"

namespace varnex {

void AddImportOptions(CLI::App& command, ImportRequest& request) {
  command.add_option("file", request.file, "BVH, ASF (with its AMC beside it) or AMC file")->required();
  command.add_option("--distance-threshold", request.distanceThreshold,
                     "Distance threshold of translation keyframe reduction");
  command.add_option("--angular-threshold", request.angularThreshold,
                     "Angular threshold of rotation keyframe reduction, in degrees");
  command.add_flag("--reduce-translation", request.reduceTranslation, "Reduce translation keyframes");
  command.add_flag("--reduce-rotation", request.reduceRotation, "Reduce rotation keyframes");
  command
      .add_option("--frame-rate", request.frameRate,
                  "Frame rate of the scene before the import, in frames per second; formats without one "
                  "(AMC) take it")
      ->check(CLI::Range(1, vxhost::kTicksPerSecond));
  command.add_flag("-q,--quiet", request.quiet, "Print neither progress nor the imported scene");
}

int32_t RunImport(const Plugin& plugin, const ImportRequest& request) {
  std::vector<KeywordValue> call = {{"execute_geometry_converter", nullptr},
                                    {"filename", StringValue(request.file.c_str())}};
  if (request.distanceThreshold) {
    call.push_back({"distance_threshold", StringValue(request.distanceThreshold->c_str())});
  }
  if (request.angularThreshold) {
    call.push_back({"angular_threshold", StringValue(request.angularThreshold->c_str())});
  }
  if (request.reduceTranslation) call.push_back({"ena_trans_kf_reduction", IntegerValue(1)});
  if (request.reduceRotation) call.push_back({"ena_rot_kf_reduction", IntegerValue(1)});

  if (request.frameRate) vxhost::SetFrameRate(*request.frameRate);

  TerminalProgress progress(!request.quiet && isatty(STDERR_FILENO));
  vxhost::SetMessageSink([&progress](const vxhost::Message& message) {
    progress.Clear();
    std::fputs(message.text.c_str(), stderr);
    if (message.text.empty() || message.text.back() != '\n') std::fputc('\n', stderr);
  });
  vxhost::SetStatusSink([&progress](const std::string& text) { progress.SetStatus(text); });
  vxhost::SetProgressHandler([&progress](int64_t done, int64_t total) {
    progress.Show(done, total);
    return InterruptRequested();
  });

  InterruptGuard interrupts;
  int32_t result = plugin.Call(call);

  progress.Clear();
  vxhost::SetMessageSink(nullptr);
  vxhost::SetStatusSink(nullptr);
  vxhost::SetProgressHandler(nullptr);
  return result;
}

}  // namespace varnex
