// varnex convert FILE_OR_DIR... --out-dir DIR: converts many files, each in a
// worker process of its own (varnex import, run again), since the plug-in
// imports one file at a time and a file that crashes it must not stop the
// rest. Prints a progress line while it works and a table at the end.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <varnex/host.h>

#include "commands/commands.h"
#include "commands/convert_jobs.h"
#include "library/output_record.h"
#include "player/gallery.h"
#include "session/import_session.h"
#include "io/stop_signals.h"
#include "commands/worker_processes.h"

namespace varnex {

namespace fs = std::filesystem;

namespace {

int ShardPart(const std::string& shard) { return std::stoi(shard.substr(0, shard.find('/'))); }
int ShardCount(const std::string& shard) { return std::stoi(shard.substr(shard.find('/') + 1)); }

int RunConvert(const HostOptions& host, const ConvertOptions& options) {
  StopSignals stopSignals;
  if (options.merge && options.format != "glb" && options.format != "gltf") {
    std::fprintf(stderr, "varnex: --merge puts a skeleton's takes into one file, which only glb and gltf hold, not %s\n",
                 options.format.c_str());
    return kExitHostProblem;
  }
  std::string problem;
  Library library;
  if (!ScanLibrary({options.inputs, options.skeleton, options.format, options.merge, options.outDir, options.gallery},
                   library, problem)) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    return kExitHostProblem;
  }
  if (library.jobs.empty() && library.unusedSkeletons.empty() && library.unreadable.empty()) {
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
  if (const std::string notice = OptionsFileNotice(options.reduction, host); !notice.empty())
    std::fprintf(stderr, "%s\n", notice.c_str());

  const TemporaryFolder scratch;  // the workers' logs and reports
  if (scratch.path().empty()) {
    std::fprintf(stderr, "varnex: cannot make a temporary folder for the workers' logs\n");
    return kExitHostProblem;
  }
  const std::vector<std::string> settings = RecordSettings(host, options);
  std::vector<Job> jobs = PlanJobs(library, options, settings);
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
  const bool unreadable = std::any_of(jobs.begin(), jobs.end(), [](const Job& job) { return job.unreadable; });
  for (const Job& job : jobs)
    if (!job.result.empty()) ++done, failed += job.ok || !job.counted ? 0 : 1;
  const size_t decided = done;  // rows that need no worker count in neither progress figure
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
      // The inputs as the worker will read them; the old record goes first,
      // so that no record ever speaks for an output it did not see made.
      job.inputs.clear();
      for (const fs::path& source : job.work.Sources())
        if (std::optional<FileState> state = InputState(source)) job.inputs.push_back(*state);
      if (!RemoveRecord(job.output, reason)) {
        job.result = "not started: cannot remove " + RecordPath(job.output).string() + ": " + reason;
        ++done, ++failed;
      } else if (!workers.Start(next, WorkerArguments(host, options, job), job.log, reason)) {
        job.result = "not started: " + reason;
        ++done, ++failed;
      }
      ++next;
    }
    ShowProgress(done - decided, jobs.size() - decided, failed, workers.Running(), terminal);
    if (workers.Running() == 0 && StopRequested()) break;
    if (workers.Running() == 0) continue;
    const std::optional<WorkerEnd> end = workers.WaitForAny();
    if (!end) break;
    Job& job = jobs[end->job];
    Finish(job, *end);
    if (job.ok && job.inputs.size() == job.work.Sources().size()) {
      std::string reason;
      if (!WriteRecord(job.output, settings, job.inputs, CardFiles(job, options), reason))
        job.note += (job.note.empty() ? "" : "; ") + std::string("its record was not written: ") + reason;
    }
    ++done;
    if (!job.ok && !end->stopped) ++failed;
    if (!terminal)
      std::fprintf(stderr, "[%zu/%zu] %s: %s\n", done - decided, jobs.size() - decided, job.input.string().c_str(),
                   job.result.c_str());
  }
  if (terminal) std::fprintf(stderr, "\r\033[K");
  for (Job& job : jobs)
    if (job.result.empty()) job.result = "not started";
  PrintTable(jobs);
  for (const Job& job : jobs) {
    if (!job.ok && job.result != "stopped" && !job.firstMessage.empty())
      std::fprintf(stderr, "%s: %s\n", job.input.string().c_str(), job.firstMessage.c_str());
    if (!job.note.empty()) std::fprintf(stderr, "%s: %s\n", job.input.string().c_str(), job.note.c_str());
  }
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
  return failed == 0 && !unreadable ? kExitSuccess : kExitFailure;
}

CLI::Validator JobsValidator() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        long count = 0;
        char extra = 0;
        std::istringstream in(text);
        if (!(in >> count) || in >> extra || count < 1 || count > 4096)
          return "must be a whole number of worker processes from 1 to 4096, not '" + text + "'";
        return {};
      },
      "N");
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

void SetupConvertCommand(Program& program) {
  auto options = std::make_shared<ConvertOptions>();
  CLI::App* command = program.cli.add_subcommand("convert", "Convert many files, in parallel worker processes");
  command->add_option("inputs", options->inputs, "BVH or ASF files, or folders to search for them")->required();
  command->add_option("--out-dir", options->outDir, "Folder for the converted files")->required();
  command->add_option("--format", options->format, "glb (default), gltf, bvh or csv (world positions)")
      ->check(CLI::IsMember({"glb", "gltf", "bvh", "csv"}));
  command->add_option("--jobs", options->jobs, "Worker processes at once (default: one per core)")
      ->check(JobsValidator());
  AddReductionOptions(*command, options->reduction);
  command->add_flag("--gallery", options->gallery,
                    "Also write a player and a thumbnail per output, and index.html with a card for each");
  AddExportSettingsOptions(*command, options->meaning);
  command
      ->add_option("--frame-rate", options->frameRate,
                   "Frame rate of AMC motion, which holds none, in frames per second (default 30)")
      ->transform(FrameRateCheck());
  command->add_option("--skeleton", options->skeleton, "The ASF skeleton of every AMC motion");
  command
      ->add_flag("--acclaim-root-scale,!--no-acclaim-root-scale", options->acclaimRootScale,
                 "Scale the root's motion by the ASF's unit length, as its bone offsets are (the default)")
      ->excludes("--as-built");
  command->add_flag("--merge", options->merge,
                    "One glTF per skeleton, with an animation per AMC take (glb and gltf only)");
  command->add_flag("--skip-existing", options->skipExisting, "Skip outputs whose record says these inputs and settings made them");
  command->add_option("--shard", options->shard, "Convert only the K-th of N deterministic parts of the takes")
      ->check(ShardValidator());
  program.commands.push_back({command, [&host = program.host, options] { return RunConvert(host, *options); }});
}

}  // namespace varnex
