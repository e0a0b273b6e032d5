// What `convert` makes of the files and folders it is given: one job per
// take (a BVH file, an AMC motion with its skeleton, or with --merge every
// AMC of one skeleton), each file once, each output at the input's place in
// its folder, and the deterministic share of one machine (--shard K/N).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "library/take_files.h"

namespace varnex {

struct LibraryJob {
  TakeFiles take;                                  // the first take of a merged job
  std::vector<std::filesystem::path> moreMotions;  // --merge: the skeleton's other AMC takes
  std::filesystem::path output;                    // relative to the output folder
  std::string problem;                             // why the job cannot run (no skeleton)
  // Every file the output is made from, for --skip-existing.
  std::vector<std::filesystem::path> Sources() const;
};

struct Library {
  std::vector<LibraryJob> jobs;
  std::vector<std::filesystem::path> unusedSkeletons;  // ASF files that no take uses
};

struct LibraryRequest {
  std::vector<std::string> inputs;
  std::string skeleton;          // --skeleton: for every AMC
  std::string outputExtension;   // glb, gltf or csv
  bool merge = false;
};

// Answers false with the problem (a missing input) in `problem`.
bool ScanLibrary(const LibraryRequest& request, Library& library, std::string& problem);

// Keeps the K-th (1-based) of N parts: jobs in the order of their outputs,
// every N-th from the K-th, so every machine that scans the same library
// gets the same parts wherever the library is mounted.
void KeepShard(Library& library, int k, int n);

// True when the output exists and is newer than every file it is made from.
bool OutputIsUpToDate(const std::filesystem::path& output, const LibraryJob& job);

}  // namespace varnex
