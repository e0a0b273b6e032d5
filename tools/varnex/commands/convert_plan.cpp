// Plans convert's rows from a scanned library and makes each worker's
// command line; reads the skeletons' unit lengths for the notice.
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "library/acclaim_pairing.h"
#include "commands/convert_jobs.h"
#include "player/gallery.h"

namespace varnex {

namespace fs = std::filesystem;

namespace {

// With --gallery an output counts as made only with its card's files, so
// that a gallery over an earlier run without one is complete.
bool CardIsUpToDate(const Job& job, const ConvertOptions& options) {
  if (!options.gallery) return true;
  const std::string base = (job.output.parent_path() / job.output.stem()).string();
  for (const std::string& path : GalleryCardPaths(base))
    if (!OutputIsUpToDate(path, job.work)) return false;
  return true;
}

}  // namespace

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
    } else if (options.skipExisting && OutputIsUpToDate(job.output, work) && CardIsUpToDate(job, options)) {
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
  AppendReductionArguments(options.reduction, args);
  for (const std::string& arg : ExportSettingsArguments(options.exportSettings)) args.push_back(arg);
  args.insert(args.end(), {options.format == "csv" ? "--positions" : "--output", job.output.string()});
  args.insert(args.end(), {"--report-to", job.report.string()});
  if (options.gallery)
    args.insert(args.end(), {"--gallery-card", (job.output.parent_path() / job.output.stem()).string()});
  return args;
}

}  // namespace varnex
