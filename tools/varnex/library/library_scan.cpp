// Reads the folders convert is given and pairs their files into jobs (see
// library_scan.h); owns nothing past the scan and writes nothing.
#include "library/library_scan.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "library/acclaim_pairing.h"
#include "io/text_case.h"

namespace varnex {

namespace fs = std::filesystem;

namespace {

bool IsBvhFile(const fs::path& path) { return LowerCase(path.extension().string()) == ".bvh"; }

// One identity per file, however its path was written or linked to.
std::string Identity(const fs::path& path) {
  std::error_code ec;
  fs::path canonical = fs::canonical(path, ec);
  if (ec) canonical = fs::absolute(path, ec).lexically_normal();
  return canonical.string();
}

// A file to convert, and where its output goes below the output folder.
struct Found {
  fs::path path;
  fs::path place;  // the path below the folder it was found in, or its name
};

void Search(const fs::path& folder, std::vector<Found>& motions, std::vector<Found>& skeletons) {
  std::vector<Found> found;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_regular_file(ec)) found.push_back({it->path(), it->path().lexically_relative(folder)});
  }
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.path < b.path; });
  for (const Found& file : found) {
    if (IsBvhFile(file.path) || IsAmcFile(file.path)) motions.push_back(file);
    if (IsAsfFile(file.path)) skeletons.push_back(file);
  }
}

fs::path WithExtension(fs::path place, const std::string& extension) {
  return place.replace_extension("." + extension);
}

}  // namespace

std::vector<fs::path> LibraryJob::Sources() const {
  std::vector<fs::path> sources = {take.motion};
  if (!take.skeleton.empty()) sources.push_back(take.skeleton);
  sources.insert(sources.end(), moreMotions.begin(), moreMotions.end());
  return sources;
}

bool ScanLibrary(const LibraryRequest& request, Library& library, std::string& problem) {
  std::vector<Found> motions, skeletons;
  for (const std::string& input : request.inputs) {
    std::error_code ec;
    if (fs::is_directory(input, ec)) {
      Search(input, motions, skeletons);
    } else if (fs::exists(input, ec)) {
      // A named ASF stands for the AMC of its name, as the plug-in reads it,
      // or is a skeleton alone; any other named file is a take, even one the
      // plug-in will refuse, so that the table says why.
      std::string motion = input;
      if (IsAsfFile(input)) motion.replace(motion.size() - 3, 3, "amc");
      if (!IsAsfFile(input) || fs::is_regular_file(motion, ec))
        motions.push_back({motion, fs::path(motion).filename()});
      else
        skeletons.push_back({input, fs::path(input).filename()});
    } else {
      problem = "varnex: " + input + ": no such file or folder";
      return false;
    }
  }

  std::set<std::string> seen;
  std::set<std::string> usedSkeletons;
  std::map<std::string, size_t> mergedJobOf;  // skeleton identity -> job
  for (const Found& file : motions) {
    if (!seen.insert(Identity(file.path)).second) continue;
    LibraryJob job;
    job.take = {file.path, {}, file.path.stem().string()};
    job.output = WithExtension(file.place, request.outputExtension);
    if (IsAmcFile(file.path)) {
      const auto skeleton = FindSkeleton(file.path, request.skeleton, job.problem);
      if (skeleton) {
        job.take.skeleton = *skeleton;
        const std::string identity = Identity(*skeleton);
        usedSkeletons.insert(identity);
        if (request.merge) {
          const auto merged = mergedJobOf.find(identity);
          if (merged != mergedJobOf.end()) {
            library.jobs[merged->second].moreMotions.push_back(file.path);
            continue;
          }
          mergedJobOf[identity] = library.jobs.size();
          job.output = WithExtension(file.place.parent_path() / skeleton->filename(), request.outputExtension);
        }
      }
    }
    library.jobs.push_back(job);
  }
  // Not a take: a skeleton no motion was paired with.
  for (const Found& file : skeletons) {
    const std::string identity = Identity(file.path);
    if (usedSkeletons.count(identity) || !seen.insert(identity).second) continue;
    library.unusedSkeletons.push_back(file.path);
  }

  // Two inputs bound for one output: the later one gets -2, -3 ...
  std::set<std::string> used;
  for (LibraryJob& job : library.jobs) {
    const fs::path wanted = job.output;
    for (int n = 2; used.count(LowerCase(job.output.string())); ++n)
      job.output = wanted.parent_path() / (wanted.stem().string() + "-" + std::to_string(n) + wanted.extension().string());
    used.insert(LowerCase(job.output.string()));
  }
  return true;
}

void KeepShard(Library& library, int k, int n) {
  std::vector<LibraryJob> jobs = std::move(library.jobs);
  std::sort(jobs.begin(), jobs.end(),
            [](const LibraryJob& a, const LibraryJob& b) { return a.output.generic_string() < b.output.generic_string(); });
  library.jobs.clear();
  for (size_t i = size_t(k - 1); i < jobs.size(); i += size_t(n)) library.jobs.push_back(std::move(jobs[i]));
  if (k != 1) library.unusedSkeletons.clear();  // said once, by the first part
}

bool OutputIsUpToDate(const fs::path& output, const LibraryJob& job) {
  std::error_code ec;
  const fs::file_time_type written = fs::last_write_time(output, ec);
  if (ec) return false;
  for (const fs::path& source : job.Sources()) {
    const fs::file_time_type changed = fs::last_write_time(source, ec);
    if (ec || changed >= written) return false;
  }
  return true;
}

}  // namespace varnex
