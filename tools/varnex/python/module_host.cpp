// The module's one host: a lock that every use of the plug-in and the host
// scene takes, the plug-in started on first use from the folder the module
// lies in, and which take the host scene holds now.
#include "python/module_host.h"

#include <dlfcn.h>

#include <mutex>
#include <utility>
#include <vector>

#include "export/bvh_export.h"
#include "export/gltf_export.h"
#include "export/json_dump.h"
#include "export/positions_csv.h"
#include "export/svg_preview.h"
#include "io/output_option.h"
#include "library/acclaim_pairing.h"
#include "player/html_player.h"
#include "python/interrupt_guard.h"
#include "scene/scene_sampling.h"
#include "scene/take_edits.h"
#include "session/import_session.h"
#include "session/plugin.h"
#include "session/staged_take.h"

namespace varnex {

namespace fs = std::filesystem;

namespace {

struct ModuleHost {
  std::mutex lock;  // one import or export at a time: the plug-in and the host scene are the process's
  std::optional<Plugin> plugin;
  std::string problem;  // why the plug-in could not start
  bool started = false;
  uint64_t lastId = 0;
  uint64_t liveId = 0;  // the take the host scene holds; 0 for none
};

ModuleHost& Host() {
  static ModuleHost host;
  return host;
}

// The folder this module's library was loaded from: the plug-in lies there
// (installed), or is linked there from the build's bin folder.
fs::path ModuleFolder() {
  Dl_info info = {};
  if (dladdr(reinterpret_cast<void*>(&ModuleFolder), &info) == 0 || info.dli_fname == nullptr) return {};
  return fs::path(info.dli_fname).parent_path();
}

const Plugin* StartedPlugin(ModuleHost& host, std::string& problem) {
  if (!host.started) {
    host.started = true;
    HostOptions options;
    options.pluginPath = (ModuleFolder() / "imp_bvh.so").string();
    vxhost::SetMessageSink(nullptr);  // messages are read from the host after each call
    host.plugin = Plugin::Start(options, host.problem);
  }
  problem = host.problem;
  return host.plugin ? &*host.plugin : nullptr;
}

// The AMC motion an import of the take reads: the file itself, or the one
// the plug-in finds beside an ASF (its path with the last three characters
// made "amc"), when there is one.
std::optional<fs::path> AcclaimMotion(const TakeFiles& files) {
  if (IsAmcFile(files.motion)) return files.motion;
  if (!IsAsfFile(files.motion)) return std::nullopt;
  std::string motion = files.motion.string();
  motion.replace(motion.size() - 3, 3, "amc");
  std::error_code ec;
  if (fs::is_regular_file(motion, ec)) return fs::path(motion);
  return std::nullopt;
}

std::vector<FileStamp> Stamps(const TakeFiles& files) {
  std::vector<fs::path> paths = {files.motion};
  if (!files.skeleton.empty() && files.skeleton != files.motion) paths.push_back(files.skeleton);
  if (IsAsfFile(files.motion))
    if (const std::optional<fs::path> motion = AcclaimMotion(files)) paths.push_back(*motion);
  std::vector<FileStamp> stamps;
  for (const fs::path& path : paths) {
    std::error_code ec;
    FileStamp stamp{path, fs::file_size(path, ec), 0};
    if (ec) stamp.size = 0;
    const fs::file_time_type modified = fs::last_write_time(path, ec);
    if (!ec) stamp.modified = modified.time_since_epoch().count();
    stamps.push_back(stamp);
  }
  return stamps;
}

// Imports a take into a fresh host scene, as the command line does, and
// answers the plug-in's result; an interrupt stops it at the next abort poll.
// MESSAGES gets what the import said, naming the user's files rather than
// the staged ones.
int32_t ImportIntoHost(const Plugin& plugin, const TakeFiles& files, const LoadOptions& options, bool& stopped,
                       std::vector<vxhost::Message>& messages) {
  vxhost::ResetHost();
  if (options.frameRate) vxhost::SetFrameRate(*options.frameRate);
  const StagedTake staged(files);
  std::vector<KeywordValue> call = {{"execute_geometry_converter", nullptr},
                                    {"filename", StringValue(staged.PluginPath().c_str())}};
  // Each import as in a fresh process, whatever the one before it asked for.
  const ReductionOptions reduction = EveryReductionOption(options.reduction, HostOptions{});
  AppendReductionKeywords(reduction, call);
  vxhost::SetProgressHandler([](int64_t, int64_t) { return InterruptGuard::Interrupted(); });
  InterruptGuard guard;
  const int32_t result = plugin.Call(call);
  stopped = guard.Release();
  vxhost::SetProgressHandler(nullptr);
  messages = vxhost::Messages();
  for (vxhost::Message& message : messages) message.text = staged.AsTheUserNamedIt(message.text);
  return result;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

const char* KindOf(const vxhost::Instance& instance) {
  if (instance.endEffector) return "end effector";
  return instance.jointNode ? "joint" : "node";
}

// What the command line says on stderr after such an import, in the
// module's words: what the options file decided, and what Acclaim left open.
void Notice(const LoadedTake& take, std::vector<std::string>& notices) {
  const std::string fromFile = OptionsFileNotice(take.options.reduction, HostOptions{});
  if (!fromFile.empty()) notices.push_back(fromFile);
  if (take.files.skeleton.empty()) return;
  if (const std::optional<fs::path> motion = AcclaimMotion(take.files); motion && !take.options.frameRate)
    notices.push_back("varnex: " + motion->filename().string() + " holds no frame rate; its frames were timed at " +
                      std::to_string(take.frameRate) + " fps (pass frame_rate=N)");
  const double unitLength = AsfUnitLength(take.files.skeleton);
  if (unitLength != 1.0 && !take.options.meaning.acclaimRootScale) {
    char length[32];
    std::snprintf(length, sizeof length, "%g", unitLength);
    notices.push_back("varnex: " + take.files.skeleton.filename().string() + " has unit length " + length +
                      ": its bone offsets carry it, its root motion was left unscaled as asked");
  }
}

void Describe(LoadedTake& take) {
  take.frameRate = vxhost::FrameRate();
  take.paths = ScenePaths();
  for (const vxhost::Instance* instance : vxhost::AllInstances()) {
    take.kinds.push_back(KindOf(*instance));
    const char* letters = vxhost::EulerOrderLetters(instance->eulerOrder);
    take.orders.push_back(letters ? letters : "");
  }
}

}  // namespace

LoadOutcome LoadTake(const std::string& file, const LoadOptions& given) {
  LoadOutcome outcome;
  ModuleHost& host = Host();
  const std::lock_guard<std::mutex> hold(host.lock);
  const Plugin* plugin = StartedPlugin(host, outcome.problem);
  if (!plugin) return outcome;
  const std::optional<TakeFiles> files = ResolveTake(file, given.skeleton, outcome.failure);
  if (!files) return outcome;

  auto take = std::make_shared<LoadedTake>();
  take->files = *files;
  take->options = given;
  if (given.meaning.asBuilt) take->options.meaning.acclaimRootScale = false;
  take->stamps = Stamps(*files);
  host.liveId = 0;
  const int32_t result = ImportIntoHost(*plugin, *files, take->options, outcome.stopped, outcome.messages);
  if (outcome.stopped) return outcome;
  if (result != 0 && vxhost::RanOutOfMemory()) {
    // The host said which call ran out; this says what it cost.
    outcome.outOfMemory = true;
    outcome.failure = "out of memory while importing " + file;
    return outcome;
  }
  if (result != 0) {
    // The plug-in's last word is why it failed; what it said before are warnings.
    outcome.failure = outcome.messages.empty() ? "the plug-in did not import " + file
                                               : Trimmed(outcome.messages.back().text);
    if (!outcome.messages.empty()) outcome.messages.pop_back();
    return outcome;
  }
  take->id = ++host.lastId;
  host.liveId = take->id;
  Describe(*take);
  take->meaning =
      DecideMeaning(take->options.meaning, files->skeleton.empty() ? 1.0 : AsfUnitLength(files->skeleton));
  // A range that keeps none of this take's frames is refused, as the command line refuses it.
  if (const std::string problem = TakeEditsProblem(take->meaning.settings.edits, SampleTicks().size());
      !problem.empty()) {
    outcome.editsRefused = true;
    outcome.failure = files->name + ": " + problem;
    return outcome;
  }
  take->take = CaptureTake(files->name, take->meaning.settings);
  Notice(*take, outcome.notices);
  outcome.take = std::move(take);
  return outcome;
}

HeaderOutcome ValidateHeader(const std::string& file) {
  HeaderOutcome outcome;
  ModuleHost& host = Host();
  const std::lock_guard<std::mutex> hold(host.lock);
  const Plugin* plugin = StartedPlugin(host, outcome.problem);
  if (plugin) outcome.code = plugin->Call({{"validate_header", StringValue(file.c_str())}});
  return outcome;
}

const std::vector<std::string>& ExportFormats() {
  static const std::vector<std::string> formats = {"glb", "gltf", "csv", "json", "svg", "html", "bvh"};
  return formats;
}

std::string FormatOfPath(const std::string& path) {
  for (const std::string& format : ExportFormats())
    if (HasExtension(path, format)) return format;
  return {};
}

namespace {

// Writes FORMAT from the host scene, as the command line's export of it.
std::string WriteExport(const LoadedTake& take, const std::string& path, const std::string& format, bool exact) {
  ExportSettings settings = take.meaning.settings;
  settings.exact = exact;
  const std::string sourceFile = take.files.motion.filename().string();
  std::string reason;
  const char* what = "";
  bool written = false;
  SharedGltf gltf;
  if (format == "glb" || format == "gltf") {
    what = "glTF file";
    written = WriteGltfDocument(path, gltf.OfScene(take.files.name, settings), reason);
  } else if (format == "bvh") {
    what = "BVH file";
    written = WriteBvh(path, {take.take}, settings, reason);
  } else if (format == "csv") {
    what = "positions";
    written = WritePositionsCsv(path, settings, reason);
  } else if (format == "json") {
    what = "scene JSON";
    written = WriteSceneJson(path, sourceFile, settings, reason);
  } else if (format == "svg") {
    what = "preview";
    written = WriteSvgPreview(path, sourceFile, settings, reason);
  } else if (format == "html") {
    what = "preview";
    written = WriteHtmlPlayer(path, sourceFile, gltf, settings, reason);
  }
  return written ? std::string() : std::string("cannot write the ") + what + " to " + path + ": " + reason;
}

}  // namespace

SaveOutcome SaveTake(const LoadedTake& take, const std::string& path, const std::string& format, bool exact) {
  SaveOutcome outcome;
  ModuleHost& host = Host();
  const std::lock_guard<std::mutex> hold(host.lock);
  if (host.liveId != take.id) {
    // Another import replaced the take's scene: import its files again, as they were.
    const std::vector<FileStamp> now = Stamps(take.files);
    for (size_t i = 0; i < now.size(); ++i) {
      if (now[i].size != take.stamps[i].size || now[i].modified != take.stamps[i].modified) {
        outcome.importFailed = true;
        outcome.failure = now[i].path.string() + " changed since the take was loaded; load it again to save it";
        return outcome;
      }
    }
    std::string problem;
    const Plugin* plugin = StartedPlugin(host, problem);
    host.liveId = 0;
    std::vector<vxhost::Message> messages;
    const int32_t result = ImportIntoHost(*plugin, take.files, take.options, outcome.stopped, messages);
    if (outcome.stopped || result != 0) {
      outcome.messages = std::move(messages);
      outcome.importFailed = true;
      outcome.failure = "the import of " + take.files.motion.string() + " for the export " +
                        (outcome.stopped ? "was stopped" : "failed");
      return outcome;
    }
    host.liveId = take.id;
  }
  outcome.failure = WriteExport(take, path, format, exact);
  return outcome;
}

}  // namespace varnex
