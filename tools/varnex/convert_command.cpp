// varnex convert FILE_OR_DIR... --out-dir DIR: converts many files, each in a
// worker process of its own (varnex import, run again), since the plug-in
// imports one file at a time and a file that crashes it must not stop the
// rest. Prints a progress line while it works and a table at the end.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "atomic_file.h"
#include "acclaim_pairing.h"
#include "commands.h"
#include "gallery.h"
#include "library_scan.h"
#include "scene_sampling.h"
#include "stop_signals.h"
#include "varnex/host.h"
#include "worker_processes.h"

namespace varnex {

namespace fs = std::filesystem;

namespace {

struct ConvertOptions {
  std::vector<std::string> inputs;
  std::string outDir;
  std::string format = "glb";
  int jobs = 0;
  std::optional<std::string> distanceThreshold, angularThreshold;
  bool reduceTranslation = false, reduceRotation = false;
  bool gallery = false;
  ExportSettings exportSettings;
  std::optional<int32_t> frameRate;
  std::string skeleton;
  bool acclaimRootScale = false, merge = false, skipExisting = false;
  std::string shard;  // K/N
};

struct Job {
  LibraryJob work;
  fs::path input;       // as the table shows it
  fs::path output;
  fs::path report;      // the worker's figures, written on success
  fs::path log;         // the worker's messages
  std::chrono::steady_clock::time_point started;
  double seconds = 0.0;
  std::string result;   // empty while pending or running
  bool ok = false;
  bool counted = true;  // false for rows that are not conversions (skeletons, up to date)
  long joints = -1, frames = -1, keys = -1;
  double duration = -1.0;  // of the take, in seconds
  std::string firstMessage;
};

std::vector<std::string> WorkerArguments(const HostOptions& host, const ConvertOptions& options, const Job& job) {
  std::vector<std::string> args = {ProgramFile()};
  if (!host.pluginPath.empty()) args.insert(args.end(), {"--plugin", host.pluginPath});
  if (!host.settingsDirectory.empty()) args.insert(args.end(), {"--settings", host.settingsDirectory});
  args.insert(args.end(), {"import", job.work.take.motion.string()});
  for (const fs::path& motion : job.work.moreMotions) args.push_back(motion.string());
  args.push_back("--quiet");
  if (!job.work.take.skeleton.empty()) args.insert(args.end(), {"--skeleton", job.work.take.skeleton.string()});
  if (options.frameRate) args.insert(args.end(), {"--frame-rate", std::to_string(*options.frameRate)});
  if (options.acclaimRootScale) args.push_back("--acclaim-root-scale");
  if (options.distanceThreshold) args.insert(args.end(), {"--distance-threshold", *options.distanceThreshold});
  if (options.angularThreshold) args.insert(args.end(), {"--angular-threshold", *options.angularThreshold});
  if (options.reduceTranslation) args.push_back("--reduce-translation");
  if (options.reduceRotation) args.push_back("--reduce-rotation");
  for (const std::string& arg : ExportSettingsArguments(options.exportSettings)) args.push_back(arg);
  args.insert(args.end(), {options.format == "csv" ? "--positions" : "--output", job.output.string()});
  args.insert(args.end(), {"--report-to", job.report.string()});
  if (options.gallery)
    args.insert(args.end(), {"--gallery-card", (job.output.parent_path() / job.output.stem()).string()});
  return args;
}

void Finish(Job& job, const WorkerEnd& end) {
  job.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - job.started).count();
  job.ok = end.ok;
  job.result = end.result;
  std::ifstream report(job.report);
  if (report) {
    const nlohmann::json figures = nlohmann::json::parse(report, nullptr, false);
    if (figures.is_object()) {
      job.joints = figures.value("joints", -1L);
      job.frames = figures.value("frames", -1L);
      job.keys = figures.value("keys", -1L);
      job.duration = figures.value("seconds", -1.0);
    }
  }
  std::ifstream log(job.log);
  std::string line;
  while (std::getline(log, line)) {
    if (!line.empty() && line.find_first_not_of(" \t\r") != std::string::npos) {
      job.firstMessage = line;
      if (!job.ok) break;  // for a failure the first message says most
    }
  }
  std::error_code ec;
  fs::remove(job.report, ec);
  fs::remove(job.log, ec);
}

void ShowProgress(size_t done, size_t total, size_t failed, size_t running, bool terminal) {
  if (!terminal) return;
  std::fprintf(stderr, "\r\033[Kconverting: %zu of %zu done, %zu running, %zu failed", done, total, running, failed);
  std::fflush(stderr);
}

std::string Figure(long value) { return value < 0 ? "-" : std::to_string(value); }

void PrintTable(const std::vector<Job>& jobs) {
  std::vector<std::vector<std::string>> rows = {{"file", "result", "joints", "frames", "keys", "time"}};
  for (const Job& job : jobs) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f s", job.seconds);
    rows.push_back({job.input.string(), job.result, Figure(job.joints), Figure(job.frames), Figure(job.keys), seconds});
  }
  std::vector<size_t> widths(rows[0].size(), 0);
  for (const auto& row : rows)
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      const bool number = c >= 2;
      const std::string pad(widths[c] - row[c].size(), ' ');
      line += (c ? "  " : "") + (number ? pad + row[c] : row[c] + (c + 1 < row.size() ? pad : ""));
    }
    std::printf("%s\n", line.c_str());
  }
}

int ShardPart(const std::string& shard) { return std::stoi(shard.substr(0, shard.find('/'))); }
int ShardCount(const std::string& shard) { return std::stoi(shard.substr(shard.find('/') + 1)); }

// A row per take or merged skeleton, those that need no worker decided here.
std::vector<Job> PlanJobs(const Library& library, const ConvertOptions& options) {
  std::vector<Job> jobs;
  for (const LibraryJob& work : library.jobs) {
    Job job;
    job.work = work;
    job.output = fs::path(options.outDir) / work.output;
    job.input = work.take.motion;
    if (!work.moreMotions.empty())
      job.input = work.take.skeleton.string() + " (" + std::to_string(work.moreMotions.size() + 1) + " takes)";
    if (!work.problem.empty()) {
      job.result = "no skeleton";
      job.firstMessage = work.problem;
    } else if (options.skipExisting && OutputIsUpToDate(job.output, work)) {
      job.result = "up to date";
      job.ok = true;
      job.counted = false;
    }
    jobs.push_back(job);
  }
  for (const fs::path& skeleton : library.unusedSkeletons) {
    Job job;
    job.input = skeleton;
    job.result = "skeleton, no motion";
    job.ok = true;
    job.counted = false;
    jobs.push_back(job);
  }
  return jobs;
}

// What the workers will not say where the user sees it: one line each.
void SayWhatAcclaimLeftOpen(const std::vector<Job>& jobs, const ConvertOptions& options) {
  size_t timed = 0;
  std::set<std::string> scaled;
  for (const Job& job : jobs) {
    if (!job.result.empty() || job.work.take.skeleton.empty()) continue;
    timed += 1 + job.work.moreMotions.size();
    if (AsfUnitLength(job.work.take.skeleton) != 1.0) scaled.insert(job.work.take.skeleton.filename().string());
  }
  if (timed && !options.frameRate)
    std::fprintf(stderr, "varnex: AMC motion holds no frame rate; %zu AMC take%s timed at 30 fps (change it with --frame-rate N)\n",
                 timed, timed == 1 ? " was" : "s were");
  if (!scaled.empty() && !options.acclaimRootScale) {
    std::string names;
    for (const std::string& name : scaled) names += (names.empty() ? "" : ", ") + name;
    std::fprintf(stderr,
                 "varnex: %s: unit length other than 1: bone offsets carry it, root motion does not "
                 "(give --acclaim-root-scale to scale that too)\n",
                 names.c_str());
  }
}

std::string Totals(const std::vector<Job>& jobs, size_t failed) {
  size_t converted = 0, upToDate = 0;
  for (const Job& job : jobs) {
    converted += job.ok && job.counted ? 1 : 0;
    upToDate += job.result == "up to date" ? 1 : 0;
  }
  std::string line = std::to_string(converted) + " converted, " + std::to_string(failed) + " failed";
  if (upToDate) line += ", " + std::to_string(upToDate) + " up to date";
  return line;
}

int RunConvert(const HostOptions& host, const ConvertOptions& options) {
  StopSignals stopSignals;
  std::string problem;
  Library library;
  if (!ScanLibrary({options.inputs, options.skeleton, options.format, options.merge}, library, problem)) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    return kExitHostProblem;
  }
  if (library.jobs.empty() && library.unusedSkeletons.empty()) {
    std::fprintf(stderr, "varnex: no BVH, AMC or ASF file to convert\n");
    return kExitHostProblem;
  }
  if (!options.shard.empty()) KeepShard(library, ShardPart(options.shard), ShardCount(options.shard));
  std::error_code ec;
  fs::create_directories(options.outDir, ec);
  if (ec || !fs::is_directory(options.outDir)) {
    std::fprintf(stderr, "varnex: cannot use %s as the output folder: %s\n", options.outDir.c_str(),
                 (ec ? ec.message() : std::string("not a folder")).c_str());
    return kExitHostProblem;
  }

  const TemporaryFolder scratch;  // the workers' logs and reports
  if (scratch.path().empty()) {
    std::fprintf(stderr, "varnex: cannot make a temporary folder for the workers' logs\n");
    return kExitHostProblem;
  }
  std::vector<Job> jobs = PlanJobs(library, options);
  for (size_t i = 0; i < jobs.size(); ++i) {
    jobs[i].report = scratch.path() / (std::to_string(i) + ".report");
    jobs[i].log = scratch.path() / (std::to_string(i) + ".log");
  }
  SayWhatAcclaimLeftOpen(jobs, options);

  const size_t cores = std::max(1u, std::thread::hardware_concurrency());
  const size_t limit = std::min(size_t(options.jobs > 0 ? size_t(options.jobs) : cores), WorkerProcesses::Limit());
  const bool terminal = StderrIsTerminal();
  WorkerProcesses workers;
  size_t next = 0, done = 0, failed = 0;
  for (const Job& job : jobs)
    if (!job.result.empty()) ++done, failed += job.ok ? 0 : 1;
  while (done < jobs.size()) {
    while (workers.Running() < limit && next < jobs.size() && !StopRequested()) {
      Job& job = jobs[next];
      if (!job.result.empty()) {  // decided before it started
        ++next;
        continue;
      }
      std::error_code made;
      fs::create_directories(job.output.parent_path(), made);
      std::string reason;
      job.started = std::chrono::steady_clock::now();
      if (!workers.Start(next, WorkerArguments(host, options, job), job.log, reason)) {
        job.result = "not started: " + reason;
        ++done, ++failed;
      }
      ++next;
    }
    ShowProgress(done, jobs.size(), failed, workers.Running(), terminal);
    if (workers.Running() == 0 && StopRequested()) break;
    if (workers.Running() == 0) continue;
    const std::optional<WorkerEnd> end = workers.WaitForAny();
    if (!end) break;
    Job& job = jobs[end->job];
    Finish(job, *end);
    ++done;
    if (!job.ok && !end->stopped) ++failed;
    if (!terminal)
      std::fprintf(stderr, "[%zu/%zu] %s: %s\n", done, jobs.size(), job.input.string().c_str(), job.result.c_str());
  }
  if (terminal) std::fprintf(stderr, "\r\033[K");
  for (Job& job : jobs)
    if (job.result.empty()) job.result = "not started";
  PrintTable(jobs);
  for (const Job& job : jobs)
    if (!job.ok && job.result != "stopped" && !job.firstMessage.empty())
      std::fprintf(stderr, "%s: %s\n", job.input.string().c_str(), job.firstMessage.c_str());
  if (options.gallery) {
    std::vector<GalleryCard> cards;
    for (const Job& job : jobs)
      if (job.ok && !job.output.empty()) cards.push_back(CardForOutput(options.outDir, job.output.string(), job.duration, job.joints));
    if (WriteGalleryIndex(options.outDir, cards) != kExitSuccess) return kExitHostProblem;
  }
  if (StopRequested()) {
    const size_t converted = static_cast<size_t>(
        std::count_if(jobs.begin(), jobs.end(), [](const Job& job) { return job.ok && job.counted; }));
    const size_t decided = static_cast<size_t>(
        std::count_if(jobs.begin(), jobs.end(), [](const Job& job) { return !job.counted; }));
    std::printf("%zu converted, %zu failed, %zu not converted: stopped by %s\n", converted, failed,
                jobs.size() - decided - converted - failed, StopSignalName());
    return StopExitCode();
  }
  std::printf("%s\n", Totals(jobs, failed).c_str());
  return failed == 0 ? kExitSuccess : kExitFailure;
}

// --report-to PATH, hidden: what a worker tells the convert command about
// the scene it imported.
int WriteReport(const std::string& path) {
  size_t joints = 0;
  for (const vxhost::Instance* instance : vxhost::AllInstances()) joints += instance->jointNode ? 1 : 0;
  const std::vector<int32_t> ticks = SampleTicks();
  const double seconds = ticks.empty() ? 0.0 : double(ticks.back() - ticks.front()) / vxhost::kTicksPerSecond;
  const nlohmann::json figures = {
      {"joints", joints}, {"frames", ticks.size()}, {"keys", vxhost::KeyCount()}, {"seconds", seconds}};
  std::string reason;
  if (!WriteFileAtomically(path, figures.dump() + "\n", reason)) {
    std::fprintf(stderr, "varnex: cannot write the report to %s: %s\n", path.c_str(), reason.c_str());
    return kExitHostProblem;
  }
  return kExitSuccess;
}

CLI::Validator ShardValidator() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        int k = 0, n = 0;
        char slash = 0, extra = 0;
        std::istringstream in(text);
        if (!(in >> k >> slash >> n) || slash != '/' || in >> extra || n < 1 || k < 1 || k > n)
          return "--shard takes K/N with 1 <= K <= N, as 2/8";
        return {};
      },
      "K/N");
}

}  // namespace

void SetupReportExport(CLI::App& command, SceneExports& exports, const ExportSettings&) {
  auto target = std::make_shared<std::string>();
  command.add_option("--report-to", *target)->group("");
  exports.push_back({target, [target] { return WriteReport(*target); }});
}

void SetupConvertCommand(Program& program) {
  auto options = std::make_shared<ConvertOptions>();
  CLI::App* command = program.cli.add_subcommand("convert", "Convert many files, in parallel worker processes");
  command->add_option("inputs", options->inputs, "BVH or ASF files, or folders to search for them")->required();
  command->add_option("--out-dir", options->outDir, "Folder for the converted files")->required();
  command->add_option("--format", options->format, "glb (default), gltf or csv (world positions)")
      ->check(CLI::IsMember({"glb", "gltf", "csv"}));
  command->add_option("--jobs", options->jobs, "Worker processes at once (default: one per core)")
      ->check(CLI::PositiveNumber);
  command->add_option("--distance-threshold", options->distanceThreshold,
                      "Distance threshold of translation keyframe reduction");
  command->add_option("--angular-threshold", options->angularThreshold,
                      "Angular threshold of rotation keyframe reduction, in degrees");
  command->add_flag("--reduce-translation", options->reduceTranslation, "Reduce translation keyframes");
  command->add_flag("--reduce-rotation", options->reduceRotation, "Reduce rotation keyframes");
  command->add_flag("--gallery", options->gallery,
                    "Also write a player and a thumbnail per take, and index.html with a card for each");
  AddExportSettingsOptions(*command, options->exportSettings);
  command
      ->add_option("--frame-rate", options->frameRate,
                   "Frame rate of AMC motion, which holds none, in frames per second (default 30)")
      ->check(CLI::Range(1, vxhost::kTicksPerSecond));
  command->add_option("--skeleton", options->skeleton, "The ASF skeleton of every AMC motion");
  command->add_flag("--acclaim-root-scale", options->acclaimRootScale,
                    "Scale the root's motion by the ASF's unit length, as its bone offsets are");
  command->add_flag("--merge", options->merge,
                    "One glTF per skeleton, with an animation per AMC take (glb and gltf only)");
  command->add_flag("--skip-existing", options->skipExisting, "Skip outputs newer than every file they are made from");
  command->add_option("--shard", options->shard, "Convert only the K-th of N deterministic parts of the takes")
      ->check(ShardValidator());
  program.commands.push_back({command, [&host = program.host, options] { return RunConvert(host, *options); }});
}

}  // namespace varnex
