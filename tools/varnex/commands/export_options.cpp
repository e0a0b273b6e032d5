// Command-line side of ExportSettings: the options and their worker form.
#include "commands/export_options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace varnex {

void AddExportSettingsOptions(CLI::App& command, ExportSettings& settings) {
  command
      .add_option("--scale", settings.scale,
                  "Multiply every exported length by F (e.g. 0.01 for centimetres to metres)")
      ->check(CLI::Validator(
          [](std::string& text) {
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            const bool usable = end != text.c_str() && *end == '\0' && std::isfinite(value) && value > 0.0;
            return usable ? std::string() : "must be a number greater than 0, not " + text;
          },
          "F > 0"));
  command.add_option("--up", settings.up, "The file's up axis, y (default) or z; exports are written Y-up")
      ->check(CLI::IsMember({"y", "z"}));
  command.add_flag("--exact", settings.exact, "Keep every frame in the animation instead of compacting it");
}

std::vector<std::string> ExportSettingsArguments(const ExportSettings& settings) {
  std::vector<std::string> args;
  if (settings.scale != 1.0) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", settings.scale);
    args.insert(args.end(), {"--scale", text});
  }
  if (settings.up != 'y') args.insert(args.end(), {"--up", std::string(1, settings.up)});
  if (settings.exact) args.push_back("--exact");
  return args;
}

}  // namespace varnex
