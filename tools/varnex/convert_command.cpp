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
#include "commands.h"
#include "gallery.h"
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
};

struct Job {
  fs::path input;
  fs::path output;
  fs::path report;      // the worker's figures, written on success
  fs::path log;         // the worker's messages
  std::chrono::steady_clock::time_point started;
  double seconds = 0.0;
  std::string result;   // empty while pending or running
  bool ok = false;
  long joints = -1, frames = -1, keys = -1;
  double duration = -1.0;  // of the take, in seconds
  std::string firstMessage;
};

std::string Lower(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool Importable(const fs::path& path) {
  const std::string ext = Lower(path.extension().string());
  return ext == ".bvh" || ext == ".asf";
}

// Files named on the command line are taken as they are; folders are
// searched for BVH and ASF files (an ASF brings its AMC along).
std::vector<fs::path> CollectInputs(const std::vector<std::string>& inputs, std::string& problem) {
  std::vector<fs::path> files;
  for (const std::string& input : inputs) {
    std::error_code ec;
    if (fs::is_directory(input, ec)) {
      std::vector<fs::path> found;
      for (auto it = fs::recursive_directory_iterator(input, ec); !ec && it != fs::recursive_directory_iterator();
           it.increment(ec)) {
        if (it->is_regular_file(ec) && Importable(it->path())) found.push_back(it->path());
      }
      std::sort(found.begin(), found.end());
      files.insert(files.end(), found.begin(), found.end());
    } else if (fs::exists(input, ec)) {
      files.emplace_back(input);
    } else {
      problem = "varnex: " + input + ": no such file or folder";
      return {};
    }
  }
  return files;
}

// Output names follow the input's stem; a stem seen before gets -2, -3 ...
std::vector<fs::path> OutputNames(const std::vector<fs::path>& inputs, const fs::path& dir, const std::string& ext) {
  std::set<std::string> used;
  std::vector<fs::path> outputs;
  for (const fs::path& input : inputs) {
    std::string name = input.stem().string();
    for (int n = 2; used.count(Lower(name)); ++n) name = input.stem().string() + "-" + std::to_string(n);
    used.insert(Lower(name));
    outputs.push_back(dir / (name + "." + ext));
  }
  return outputs;
}

std::vector<std::string> WorkerArguments(const HostOptions& host, const ConvertOptions& options, const Job& job) {
  std::vector<std::string> args = {ProgramFile()};
  if (!host.pluginPath.empty()) args.insert(args.end(), {"--plugin", host.pluginPath});
  if (!host.settingsDirectory.empty()) args.insert(args.end(), {"--settings", host.settingsDirectory});
  args.insert(args.end(), {"import", job.input.string(), "--quiet"});
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

int RunConvert(const HostOptions& host, const ConvertOptions& options) {
  StopSignals stopSignals;
  std::string problem;
  const std::vector<fs::path> inputs = CollectInputs(options.inputs, problem);
  if (!problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    return kExitHostProblem;
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "varnex: no BVH or ASF file to convert\n");
    return kExitHostProblem;
  }
  std::error_code ec;
  fs::create_directories(options.outDir, ec);
  if (ec || !fs::is_directory(options.outDir)) {
    std::fprintf(stderr, "varnex: cannot use %s as the output folder: %s\n", options.outDir.c_str(),
                 (ec ? ec.message() : std::string("not a folder")).c_str());
    return kExitHostProblem;
  }

  const std::vector<fs::path> outputs = OutputNames(inputs, options.outDir, options.format);
  const TemporaryFolder scratch;  // the workers' logs and reports
  if (scratch.path().empty()) {
    std::fprintf(stderr, "varnex: cannot make a temporary folder for the workers' logs\n");
    return kExitHostProblem;
  }
  std::vector<Job> jobs(inputs.size());
  for (size_t i = 0; i < inputs.size(); ++i) {
    jobs[i].input = inputs[i];
    jobs[i].output = outputs[i];
    jobs[i].report = scratch.path() / (std::to_string(i) + ".report");
    jobs[i].log = scratch.path() / (std::to_string(i) + ".log");
  }

  const size_t cores = std::max(1u, std::thread::hardware_concurrency());
  const size_t limit = std::min(size_t(options.jobs > 0 ? size_t(options.jobs) : cores), WorkerProcesses::Limit());
  const bool terminal = StderrIsTerminal();
  WorkerProcesses workers;
  size_t next = 0, done = 0, failed = 0;
  while (done < jobs.size()) {
    while (workers.Running() < limit && next < jobs.size() && !StopRequested()) {
      Job& job = jobs[next];
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
      if (job.ok) cards.push_back(CardForOutput(options.outDir, job.output.string(), job.duration, job.joints));
    if (WriteGalleryIndex(options.outDir, cards) != kExitSuccess) return kExitHostProblem;
  }
  if (StopRequested()) {
    const size_t converted = static_cast<size_t>(std::count_if(jobs.begin(), jobs.end(), [](const Job& job) { return job.ok; }));
    std::printf("%zu converted, %zu failed, %zu not converted: stopped by %s\n", converted, failed,
                jobs.size() - converted - failed, StopSignalName());
    return StopExitCode();
  }
  std::printf("%zu converted, %zu failed\n", jobs.size() - failed, failed);
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
  program.commands.push_back({command, [&host = program.host, options] { return RunConvert(host, *options); }});
}

}  // namespace varnex
