// Command-line side of MeaningOptions: the options and their worker form.
#include "commands/export_options.h"

#include <cstdio>

namespace varnex {

namespace {

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
}

std::vector<std::string> ExportSettingsArguments(const MeaningOptions& options) {
  std::vector<std::string> args;
  if (options.scale != 1.0) args.insert(args.end(), {"--scale", Number(options.scale)});
  if (options.height > 0.0) args.insert(args.end(), {"--height", Number(options.height)});
  if (options.up != "auto") args.insert(args.end(), {"--up", options.up});
  if (options.jointPositions != "auto") args.insert(args.end(), {"--joint-positions", options.jointPositions});
  if (options.asBuilt) args.push_back("--as-built");
  if (options.exact) args.push_back("--exact");
  return args;
}

}  // namespace varnex
