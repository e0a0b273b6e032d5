// Command-line side of MeaningOptions: the options and their worker form.
#include "commands/export_options.h"

#include <cstdio>

#include <varnex/host.h>

#include "export/meshopt_encoding.h"
#include "scene/take_edits.h"

namespace varnex {

namespace {

CLI::Validator FrameRange() {
  return CLI::Validator(
      [](std::string& text) {
        TakeEdits edits;
        std::string error;
        return ParseFrameRange(text, edits, error) ? std::string() : error;
      },
      "A:B");
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

}  // namespace

void AddExportSettingsOptions(CLI::App& command, MeaningOptions& options) {
  CLI::Option* scale = command
                           .add_option("--scale", options.scale,
                                       "Multiply every exported length by F (e.g. 0.01 for centimetres to metres)")
                           ->check(PositiveNumberCheck());
  command
      .add_option("--height", options.height,
                  "Scale each take so that its rest pose stands H tall along up (1.75: metres for people)")
      ->check(PositiveNumberCheck())
      ->excludes(scale);
  CLI::Option* up =
      command
          .add_option("--up", options.up,
                      "The file's up axis: auto (default: from where the figure's floor is), y or z; exports are Y-up")
          ->check(UpAxisCheck());
  CLI::Option* positions =
      command
          .add_option("--joint-positions", options.jointPositions,
                      "Position channels below the root: auto (default: replace when they repeat the OFFSETs), "
                      "add (to the OFFSET) or replace (the OFFSET)")
          ->check(JointPositionsCheck());
  command
      .add_flag("--as-built", options.asBuilt,
                "Adjust nothing: exports hold the scene as the plug-in built it (only --scale applies)")
      ->excludes(up)
      ->excludes(positions)
      ->excludes("--height");
  command.add_flag("--exact", options.exact, "Keep every frame in the animation instead of compacting it");
  command
      .add_option_function<std::string>(
          "--frames",
          [&options](const std::string& text) {
            std::string error;
            ParseFrameRange(text, options.edits, error);
          },
          "Keep frames A to B-1 (A: to the end, :B from the start; negative numbers count from the end, "
          "as in --frames=-60:); the kept take starts at time 0")
      ->check(FrameRange());
  command
      .add_option("--fps", options.edits.fps,
                  "Resample to N frames per second: rotations by slerp, translations linearly")
      ->check(CLI::Range(1, vxhost::kTicksPerSecond));
  command.add_flag("--in-place", options.edits.inPlace,
                   "Hold the root at its first place on the ground; it keeps its height");
  command
      .add_flag("--compress", options.compress,
                CompressionAvailable() ? "Write the glTF animation with EXT_meshopt_compression, within the same bounds"
                                       : "Unavailable: this varnex was built without libmeshoptimizer")
      ->each([](const std::string&) {
        if (!CompressionAvailable())
          throw CLI::ValidationError("--compress", "unavailable: this varnex was built without libmeshoptimizer");
      });
}

std::vector<std::string> ExportSettingsArguments(const MeaningOptions& options) {
  std::vector<std::string> args;
  if (options.scale != 1.0) args.insert(args.end(), {"--scale", Number(options.scale)});
  if (options.height > 0.0) args.insert(args.end(), {"--height", Number(options.height)});
  if (options.up != "auto") args.insert(args.end(), {"--up", options.up});
  if (options.jointPositions != "auto") args.insert(args.end(), {"--joint-positions", options.jointPositions});
  if (options.asBuilt) args.push_back("--as-built");
  if (options.exact) args.push_back("--exact");
  // = keeps a range that starts with "-" from reading as an option.
  if (!FrameRangeText(options.edits).empty()) args.push_back("--frames=" + FrameRangeText(options.edits));
  if (options.edits.fps > 0) args.insert(args.end(), {"--fps", std::to_string(options.edits.fps)});
  if (options.edits.inPlace) args.push_back("--in-place");
  if (options.compress) args.push_back("--compress");
  return args;
}

}  // namespace varnex
