// Plans convert's rows from a scanned library (an output whose record
// matches is up to date) and makes each worker's command line; reads the
// skeletons' unit lengths for the notice.
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "library/acclaim_pairing.h"
#include "library/file_digest.h"
#include "library/output_record.h"
#include "commands/convert_jobs.h"
#include "player/gallery.h"
#include "session/settings.h"

namespace varnex {

namespace fs = std::filesystem;

std::vector<fs::path> CardFiles(const Job& job, const ConvertOptions& options) {
  std::vector<fs::path> files;
  if (options.gallery)
    for (const std::string& path : GalleryCardPaths((job.output.parent_path() / job.output.stem()).string()))
      files.emplace_back(path);
  return files;
}

std::vector<std::string> RecordSettings(const HostOptions& host, const ConvertOptions& options) {
  std::vector<std::string> settings = {"varnex " VARNEX_VERSION, "--format=" + options.format};
  for (const std::string& arg : ShapingArguments(options)) settings.push_back(arg);
  // The options file can decide the reduction; its bytes shape the output too.
  const std::optional<std::string> folder = SettingsDirectory(host);
  const std::string digest = folder ? FileDigest(*folder + "imp_bvh.ini") : std::string();
  settings.push_back("imp_bvh.ini " + (digest.empty() ? std::string("none") : "sha256 " + digest));
  return settings;
}

std::vector<Job> PlanJobs(const Library& library, const ConvertOptions& options, const std::vector<std::string>& settings) {
  std::vector<Job> jobs;
  for (const LibraryJob& work : library.jobs) {
    Job job;
    job.work = work;
    job.output = fs::path(options.outDir) / work.output;
    job.input = library.Shown(work.take.motion);
    if (!work.moreMotions.empty())
      job.input = library.Shown(work.take.skeleton).string() + " (" + std::to_string(work.moreMotions.size() + 1) + " takes)";
    if (work.Renamed())
      job.note = "written to " + work.output.generic_string() + ": " +
                 (work.rival.empty() ? work.wanted.stem().string() + ".html is the gallery's page"
                                     : work.wanted.generic_string() + " is " + library.Shown(work.rival).generic_string() + "'s");
    if (!work.problem.empty()) {
      job.result = "no skeleton";
      job.firstMessage = work.problem;
    } else if (options.skipExisting && RecordMatches(job.output, settings, work.Sources(), CardFiles(job, options))) {
      job.result = "up to date";
      job.ok = true;
      job.counted = false;
    }
    jobs.push_back(job);
  }
  for (const Unreadable& unreadable : library.unreadable) {
    Job job;
    job.input = library.Shown(unreadable.path);
    if (unreadable.path.filename().empty()) job.input /= "";  // a folder keeps its closing separator
    job.result = "unreadable";
    job.firstMessage = "cannot read it: " + unreadable.reason;
    job.counted = false;
    job.unreadable = true;
    jobs.push_back(job);
  }
  for (const fs::path& skeleton : library.unusedSkeletons) {
    Job job;
    job.input = library.Shown(skeleton);
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
  if (!scaled.empty() && (!options.acclaimRootScale || options.meaning.asBuilt)) {
    std::string names;
    for (const std::string& name : scaled) names += (names.empty() ? "" : ", ") + name;
    std::fprintf(stderr,
                 "varnex: %s: unit length other than 1: bone offsets carry it, root motion was left "
                 "unscaled as asked\n",
                 names.c_str());
  }
}

std::vector<std::string> ShapingArguments(const ConvertOptions& options) {
  std::vector<std::string> args;
  if (options.frameRate) args.push_back("--frame-rate=" + std::to_string(*options.frameRate));
  if (!options.acclaimRootScale) args.push_back("--no-acclaim-root-scale");
  AppendReductionArguments(options.reduction, args);
  for (const std::string& arg : ExportSettingsArguments(options.meaning)) args.push_back(arg);
  return args;
}

// Paths travel as --name=PATH and the takes after "--", so that no file
// name, however it starts, is read as an option.
std::vector<std::string> WorkerArguments(const HostOptions& host, const ConvertOptions& options, const Job& job) {
  std::vector<std::string> args = {ProgramFile()};
  if (!host.pluginPath.empty()) args.push_back("--plugin=" + host.pluginPath);
  if (!host.settingsDirectory.empty()) args.push_back("--settings=" + host.settingsDirectory);
  args.insert(args.end(), {"import", "--quiet"});
  if (!job.work.take.skeleton.empty()) args.push_back("--skeleton=" + job.work.take.skeleton.string());
  for (const std::string& arg : ShapingArguments(options)) args.push_back(arg);
  args.push_back((options.format == "csv" ? "--positions=" : "--output=") + job.output.string());
  args.push_back("--report-to=" + job.report.string());
  if (options.gallery) args.push_back("--gallery-card=" + (job.output.parent_path() / job.output.stem()).string());
  args.insert(args.end(), {"--", job.work.take.motion.string()});
  for (const fs::path& motion : job.work.moreMotions) args.push_back(motion.string());
  return args;
}

}  // namespace varnex
