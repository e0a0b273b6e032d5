// Builds the execute_geometry_converter call from an ImportRequest and wires
// the host's message, status and progress reports to the terminal.
#include "session/import_session.h"

#include <unistd.h>

#include <cctype>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <varnex/host.h>

#include "library/acclaim_pairing.h"
#include "session/progress.h"
#include "io/stop_signals.h"

namespace varnex {

namespace fs = std::filesystem;

namespace {

// A number in decimal, as people write a rate: 120, 120.0, 1.2e2, +120;
// not hexadecimal, which strtod would also read, nor "120 fps".
bool DecimalSpelling(const std::string& text) {
  size_t at = text.size() > 0 && text[0] == '+' ? 1 : 0;
  size_t digits = 0;
  for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) ++digits;
  if (at < text.size() && text[at] == '.')
    for (++at; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) ++digits;
  if (digits == 0) return false;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    const size_t exponentStart = at;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
    if (at == exponentStart) return false;
  }
  return at == text.size();
}

}  // namespace

CLI::Validator FrameRateCheck() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        const double rate = DecimalSpelling(text) ? std::strtod(text.c_str(), nullptr) : 0.0;
        if (!(rate >= 1.0 && rate <= vxhost::kTicksPerSecond && rate == std::floor(rate)))
          return "must be a whole number of frames per second from 1 to " + std::to_string(vxhost::kTicksPerSecond) +
                 ", not '" + text + "'";
        text = std::to_string(static_cast<int>(rate));  // as the option's integer reads it
        return {};
      },
      "1 to " + std::to_string(vxhost::kTicksPerSecond), "");
}

void AddImportOptions(CLI::App& command, ImportRequest& request) {
  command.add_option("file", request.file, "BVH, ASF (with its AMC beside it) or AMC file")->required();
  command.add_option("more", request.moreFiles,
                     "Further AMC takes of the same skeleton, all written into one glTF file (-o)");
  command.add_option("--skeleton", request.skeleton,
                     "The ASF skeleton of AMC motions (default: the same-name .asf, the only .asf in the folder, "
                     "or the longest .asf name that begins the motion's)");
  command.add_flag("--acclaim-root-scale,!--no-acclaim-root-scale", request.acclaimRootScale,
                   "Scale the root's motion by the ASF's unit length, as its bone offsets are (the default)");
  AddReductionOptions(command, request.reduction);
  command
      .add_option("--frame-rate", request.frameRate,
                  "Frame rate of the scene before the import, in frames per second; formats without one "
                  "(AMC) take it")
      ->transform(FrameRateCheck());
  command.add_flag("-q,--quiet", request.quiet, "Print neither progress nor the imported scene");
}

bool OneTakeOfSkeleton(const ImportRequest& request) {
  return request.skeleton.empty() && request.moreFiles.size() == 1 && IsAsfFile(request.file);
}

std::optional<TakeFiles> ResolveTake(const std::string& file, const std::string& skeleton, std::string& problem) {
  TakeFiles take{file, {}, fs::path(file).stem().string()};
  if (IsAmcFile(file)) {
    std::string tried;
    std::optional<fs::path> found = FindSkeleton(file, skeleton, tried);
    if (!found) {
      problem = file + ": " + tried;
      return std::nullopt;
    }
    take.skeleton = *found;
  } else if (IsAsfFile(file)) {
    take.skeleton = file;
  }
  return take;
}

std::optional<TakeFiles> ResolveTake(const std::string& file, const ImportRequest& request) {
  std::string problem;
  std::optional<TakeFiles> take = ResolveTake(file, request.skeleton, problem);
  if (!take) std::fprintf(stderr, "varnex: %s\n", problem.c_str());
  return take;
}

namespace {

// The AMC motion the plug-in reads for this take, if any.
std::optional<fs::path> AcclaimMotion(const TakeFiles& take) {
  if (IsAmcFile(take.motion)) return take.motion;
  if (!IsAsfFile(take.motion)) return std::nullopt;
  const fs::path motion = MotionBesideSkeleton(take.motion);
  std::error_code ec;
  if (fs::is_regular_file(motion, ec)) return motion;
  return std::nullopt;
}

void SayWhatAcclaimLeftOpen(const ImportRequest& request, const TakeFiles& take) {
  if (take.skeleton.empty() || request.noticesSaid) return;
  const std::optional<fs::path> motion = AcclaimMotion(take);
  if (motion && !request.frameRate)
    std::fprintf(stderr, "varnex: %s holds no frame rate; its frames were timed at %d fps (change it with --frame-rate N)\n",
                 motion->filename().string().c_str(), static_cast<int>(vxhost::FrameRate()));
  const double unitLength = AsfUnitLength(take.skeleton);
  if (unitLength != 1.0 && !request.acclaimRootScale)
    std::fprintf(stderr,
                 "varnex: %s has unit length %g: its bone offsets carry it, its root motion was left "
                 "unscaled as asked\n",
                 take.skeleton.filename().string().c_str(), unitLength);
}

}  // namespace

std::vector<fs::path> ImportInputs(const TakeFiles& take) {
  std::vector<fs::path> inputs = {take.motion};
  if (!take.skeleton.empty() && take.skeleton != take.motion) inputs.push_back(take.skeleton);
  if (IsAsfFile(take.motion)) inputs.push_back(MotionBesideSkeleton(take.motion));
  return inputs;
}

int32_t RunImport(const Plugin& plugin, const ImportRequest& request, const TakeFiles& take) {
  std::optional<StagedTake> staged(std::in_place, take);
  std::vector<KeywordValue> call = {{"execute_geometry_converter", nullptr},
                                    {"filename", StringValue(staged->PluginPath().c_str())}};
  AppendReductionKeywords(request.reduction, call);

  if (request.frameRate) vxhost::SetFrameRate(*request.frameRate);

  TerminalProgress progress(!request.quiet && isatty(STDERR_FILENO));
  vxhost::SetMessageSink([&progress, &staged](const vxhost::Message& message) {
    progress.Clear();
    PrintHostMessage({message.kind, staged->AsTheUserNamedIt(message.text)});
  });
  vxhost::SetStatusSink([&progress](const std::string& text) { progress.SetStatus(text); });
  vxhost::SetProgressHandler([&progress](int64_t done, int64_t total) {
    progress.Show(done, total);
    return StopRequested();
  });

  const int32_t result = plugin.Call(call);
  vxhost::SetMessageSink(PrintHostMessage);
  staged.reset();

  progress.Clear();
  vxhost::SetStatusSink(nullptr);
  vxhost::SetProgressHandler(nullptr);
  if (result != 0 && vxhost::RanOutOfMemory()) {
    // The host said which call ran out; this says what it cost the user.
    std::fprintf(stderr, "varnex: out of memory while importing %s; nothing was written\n",
                 take.motion.string().c_str());
    return kImportOutOfMemory;
  }
  if (result == 0) SayWhatAcclaimLeftOpen(request, take);
  return result;
}

}  // namespace varnex
