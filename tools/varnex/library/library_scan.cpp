// Reads the folders convert is given and pairs their files into jobs (see
// library_scan.h); owns nothing past the scan and writes nothing.
#include "library/library_scan.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fstream>
#include <map>
#include <set>
#include <system_error>

#include "library/acclaim_pairing.h"
#include "library/file_digest.h"
#include "library/output_record.h"
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

// Why a file cannot be read, empty when it can: a file the workers could not
// open is a row of its own rather than a failed import.
std::string ReadProblem(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (in) return {};
  return std::error_code(errno, std::generic_category()).message();
}

// A file to convert, and where its output goes below the output folder.
struct Found {
  fs::path path;
  fs::path place;  // the path below the folder it was found in, or its name
};

// A folder's files to any depth, walked with a list of folders still to
// read rather than recursion. A folder or file that cannot be read is noted
// and the walk goes on with the rest. Links to files count as files; links
// to folders are not followed, so no cycle can hold the walk.
void Search(const fs::path& top, std::vector<Found>& motions, std::vector<Found>& skeletons,
            std::vector<Unreadable>& unreadable) {
  std::vector<Found> found;
  std::vector<fs::path> folders = {top};
  while (!folders.empty()) {
    const fs::path folder = folders.back();
    folders.pop_back();
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
      std::error_code type;
      if (it->symlink_status(type).type() == fs::file_type::directory) {
        folders.push_back(it->path());
        continue;
      }
      const bool wanted = IsBvhFile(it->path()) || IsAmcFile(it->path()) || IsAsfFile(it->path());
      if (!wanted) continue;
      if (!it->is_regular_file(type) && !type) continue;
      const std::string problem = type ? type.message() : ReadProblem(it->path());
      if (!problem.empty()) unreadable.push_back({it->path(), problem});
      else found.push_back({it->path(), it->path().lexically_relative(top)});
    }
    if (ec) unreadable.push_back({folder / "", ec.message()});
  }
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.path < b.path; });
  for (const Found& file : found) {
    if (IsBvhFile(file.path) || IsAmcFile(file.path)) motions.push_back(file);
    if (IsAsfFile(file.path)) skeletons.push_back(file);
  }
}

// The deepest folder that holds every input: a folder given, or the folder
// of a file given; paths in convert's table are shown relative to it.
fs::path LibraryRoot(const std::vector<std::string>& inputs) {
  fs::path root;
  bool first = true;
  for (const std::string& input : inputs) {
    std::error_code ec;
    fs::path folder = fs::absolute(input, ec).lexically_normal();
    if (ec) return {};
    if (!fs::is_directory(folder, ec)) folder = folder.parent_path();
    if (folder.filename().empty()) folder = folder.parent_path();  // "lib/" as "lib"
    if (first) {
      root = folder, first = false;
      continue;
    }
    fs::path common;
    for (auto a = root.begin(), b = folder.begin(); a != root.end() && b != folder.end() && *a == *b; ++a, ++b)
      common /= *a;
    root = common;
  }
  return root;
}

// Takes bound for one output name (any letter case: some file systems fold
// it), and with --gallery a take whose page would be the gallery's own
// index.html at the top: the name stays with the take whose output it
// already is, by the output's record, else with the first in the order of
// their paths, and never with a take against the gallery. The others get
// -2, -3 ..., skipping every name a take wants, so that a name depends only
// on the takes that want it and on what was written before.
void NameOutputs(const LibraryRequest& request, std::vector<LibraryJob>& jobs) {
  std::map<std::string, std::vector<size_t>> claims;  // the name wanted -> its takes, in order
  std::set<std::string> taken;
  for (size_t i = 0; i < jobs.size(); ++i) {
    jobs[i].wanted = jobs[i].output;
    const std::string key = LowerCase(jobs[i].output.generic_string());
    claims[key].push_back(i);
    taken.insert(key);
  }
  const std::string galleryPage = "index";
  for (auto& [key, claimants] : claims) {
    const bool againstGallery = request.gallery && jobs[claimants[0]].wanted.parent_path().empty() &&
                                LowerCase(jobs[claimants[0]].wanted.stem().string()) == galleryPage;
    if (claimants.size() == 1 && !againstGallery) continue;
    size_t keeper = claimants.size();  // none
    if (!againstGallery) {
      keeper = 0;
      if (const std::optional<fs::path> owner = RecordedTake(fs::path(request.outDir) / jobs[claimants[0]].wanted))
        for (size_t c = 0; c < claimants.size(); ++c)
          if (fs::absolute(jobs[claimants[c]].take.motion).lexically_normal() == *owner) keeper = c;
    }
    for (size_t c = 0; c < claimants.size(); ++c) {
      LibraryJob& job = jobs[claimants[c]];
      if (c == keeper) continue;
      const fs::path wanted = job.wanted;
      for (int n = 2; taken.count(LowerCase(job.output.generic_string())); ++n)
        job.output = wanted.parent_path() / (wanted.stem().string() + "-" + std::to_string(n) + wanted.extension().string());
      taken.insert(LowerCase(job.output.generic_string()));
      job.rival = againstGallery ? fs::path() : jobs[claimants[keeper]].take.motion;
    }
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

fs::path Library::Shown(const fs::path& path) const {
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec).lexically_normal();
  if (ec || root.empty()) return path;
  const fs::path relative = absolute.lexically_relative(root);
  return relative.empty() ? path : relative;
}

bool ScanLibrary(const LibraryRequest& request, Library& library, std::string& problem) {
  std::vector<Found> motions, skeletons;
  library.root = LibraryRoot(request.inputs);
  for (const std::string& input : request.inputs) {
    std::error_code ec;
    if (fs::is_directory(input, ec)) {
      Search(input, motions, skeletons, library.unreadable);
    } else if (fs::exists(input, ec)) {
      // A named ASF stands for the AMC of its name, as the plug-in reads it,
      // or is a skeleton alone; any other named file is a take, even one the
      // plug-in will refuse, so that the table says why.
      std::string motion = input;
      if (IsAsfFile(input)) motion.replace(motion.size() - 3, 3, "amc");
      const bool take = !IsAsfFile(input) || fs::is_regular_file(motion, ec);
      // Only a regular file is tried: opening a FIFO would wait for a writer.
      const bool regular = fs::is_regular_file(take ? motion : input, ec);
      if (const std::string why = regular ? ReadProblem(take ? motion : input) : std::string(); !why.empty())
        library.unreadable.push_back({take ? motion : input, why});
      else if (take)
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
  std::map<std::string, size_t> mergedJobOf;  // skeleton bytes (their digest) -> job
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
          // One skeleton is the same bytes under any name: its takes share a file.
          std::string bytes = FileDigest(*skeleton);
          if (bytes.empty()) bytes = identity;
          const auto merged = mergedJobOf.find(bytes);
          if (merged != mergedJobOf.end()) {
            library.jobs[merged->second].moreMotions.push_back(file.path);
            continue;
          }
          mergedJobOf[bytes] = library.jobs.size();
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

  NameOutputs(request, library.jobs);
  std::sort(library.unreadable.begin(), library.unreadable.end(),
            [](const Unreadable& a, const Unreadable& b) { return a.path < b.path; });
  return true;
}

void KeepShard(Library& library, int k, int n) {
  std::vector<LibraryJob> jobs = std::move(library.jobs);
  std::sort(jobs.begin(), jobs.end(),
            [](const LibraryJob& a, const LibraryJob& b) {
              // The names wanted, and then the takes' paths: what an earlier
              // run left beside the outputs (which may move a name) plays no part.
              if (a.wanted != b.wanted) return a.wanted.generic_string() < b.wanted.generic_string();
              return a.take.motion.generic_string() < b.take.motion.generic_string();
            });
  library.jobs.clear();
  for (size_t i = size_t(k - 1); i < jobs.size(); i += size_t(n)) library.jobs.push_back(std::move(jobs[i]));
  if (k != 1) library.unusedSkeletons.clear(), library.unreadable.clear();  // said once, by the first part
}

}  // namespace varnex
