// Reads imp_bvh.ini only to tell the user what it decides; the plug-in reads
// it again for the import itself, with the same rules for its lines.
#include "session/reduction_options.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>

#include "session/settings.h"

namespace varnex {

namespace {

// As the dialog demands: a number whose single-precision value is above 0.
std::string ThresholdProblem(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  const double value = std::strtod(begin, &end);
  const float single = static_cast<float>(value);
  if (text.empty() || *end != '\0' || !std::isfinite(single) || !(single > 0.0f))
    return "must be a number greater than 0, not '" + text + "'";
  return {};
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The flag's value as the plug-in takes it: atof, truncated, saturated to
// 32 bits, kept to 16.
bool FlagOn(const std::string& value) {
  const double number = std::trunc(std::atof(value.c_str()));
  int32_t whole = 0;
  if (number >= 2147483647.0) whole = INT32_MAX;
  else if (number <= -2147483648.0) whole = INT32_MIN;
  else if (number == number) whole = static_cast<int32_t>(number);
  return (static_cast<uint32_t>(whole) & 0xffffu) != 0;
}

}  // namespace

CLI::Validator ThresholdCheck() {
  return CLI::Validator([](std::string& text) { return ThresholdProblem(text); }, "NUMBER > 0", "");
}

void AddReductionOptions(CLI::App& command, ReductionOptions& options) {
  command.add_option("--distance-threshold", options.distanceThreshold,
                     "Distance threshold of translation keyframe reduction, above 0")
      ->check(ThresholdCheck());
  command.add_option("--angular-threshold", options.angularThreshold,
                     "Angular threshold of rotation keyframe reduction, in degrees, above 0")
      ->check(ThresholdCheck());
  // A flag function, since CLI11 would count into an optional<bool> and so set it always.
  command.add_flag_function(
      "--reduce-translation,!--no-reduce-translation",
      [&options](std::int64_t count) { options.reduceTranslation = count > 0; },
      "Reduce translation keyframes, or not, whatever the options file says");
  command.add_flag_function(
      "--reduce-rotation,!--no-reduce-rotation", [&options](std::int64_t count) { options.reduceRotation = count > 0; },
      "Reduce rotation keyframes, or not, whatever the options file says");
}

void AppendReductionKeywords(const ReductionOptions& options, std::vector<KeywordValue>& call) {
  if (options.distanceThreshold)
    call.push_back({"distance_threshold", StringValue(options.distanceThreshold->c_str())});
  if (options.angularThreshold) call.push_back({"angular_threshold", StringValue(options.angularThreshold->c_str())});
  if (options.reduceTranslation)
    call.push_back({"ena_trans_kf_reduction", IntegerValue(*options.reduceTranslation ? 1 : 0)});
  if (options.reduceRotation) call.push_back({"ena_rot_kf_reduction", IntegerValue(*options.reduceRotation ? 1 : 0)});
}

void AppendReductionArguments(const ReductionOptions& options, std::vector<std::string>& arguments) {
  if (options.distanceThreshold) arguments.insert(arguments.end(), {"--distance-threshold", *options.distanceThreshold});
  if (options.angularThreshold) arguments.insert(arguments.end(), {"--angular-threshold", *options.angularThreshold});
  if (options.reduceTranslation)
    arguments.push_back(*options.reduceTranslation ? "--reduce-translation" : "--no-reduce-translation");
  if (options.reduceRotation)
    arguments.push_back(*options.reduceRotation ? "--reduce-rotation" : "--no-reduce-rotation");
}

namespace {

// Each key and value of the options file, in order, read by the plug-in's
// rules for its lines; answers the file's path, empty when there is none.
template <typename Take>
std::string ReadOptionsFile(const HostOptions& host, Take take) {
  const std::optional<std::string> directory = SettingsDirectory(host);
  if (!directory) return {};
  const std::string path = *directory + "imp_bvh.ini";
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    line = Trim(line);
    if (line.size() < 2 || line[0] == '#' || line[0] == '[') continue;
    const size_t keyStart = line.find_first_not_of('=');
    const size_t equals = keyStart == std::string::npos ? keyStart : line.find('=', keyStart);
    if (equals == std::string::npos) break;
    const std::string key = Trim(line.substr(keyStart, equals - keyStart)), value = Trim(line.substr(equals + 1));
    if (key.empty() || value.empty()) break;  // the plug-in reads no further either
    take(key, value);
  }
  return path;
}

}  // namespace

std::string OptionsFileNotice(const ReductionOptions& options, const HostOptions& host) {
  std::string said;
  auto say = [&said](const std::string& text) { said += (said.empty() ? "" : ", ") + text; };
  const std::string path = ReadOptionsFile(host, [&](const std::string& key, const std::string& value) {
    if (key == "ena_trans_kf_reduction" && !options.reduceTranslation)
      say(std::string("translation reduction ") + (FlagOn(value) ? "on" : "off"));
    else if (key == "ena_rot_kf_reduction" && !options.reduceRotation)
      say(std::string("rotation reduction ") + (FlagOn(value) ? "on" : "off"));
    else if (key == "distance_threshold2" && !options.distanceThreshold)
      say("distance threshold " + value);
    else if (key == "angular_threshold2" && !options.angularThreshold)
      say("angular threshold " + value);
  });
  return said.empty() ? std::string() : "varnex: from " + path + ": " + said;
}

ReductionOptions EveryReductionOption(const ReductionOptions& options, const HostOptions& host) {
  // The plug-in's own values before any options file or keyword.
  ReductionOptions chosen{"0.01", "0.01", false, false};
  ReadOptionsFile(host, [&chosen](const std::string& key, const std::string& value) {
    if (key == "ena_trans_kf_reduction") chosen.reduceTranslation = FlagOn(value);
    else if (key == "ena_rot_kf_reduction") chosen.reduceRotation = FlagOn(value);
    else if (key == "distance_threshold2") chosen.distanceThreshold = value;
    else if (key == "angular_threshold2") chosen.angularThreshold = value;
  });
  if (options.distanceThreshold) chosen.distanceThreshold = options.distanceThreshold;
  if (options.angularThreshold) chosen.angularThreshold = options.angularThreshold;
  if (options.reduceTranslation) chosen.reduceTranslation = options.reduceTranslation;
  if (options.reduceRotation) chosen.reduceRotation = options.reduceRotation;
  return chosen;
}

}  // namespace varnex
