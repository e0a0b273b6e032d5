// What `convert` makes of the files and folders it is given: one job per
// take (a BVH file, an AMC motion with its skeleton, or with --merge every
// AMC of skeletons of the same bytes), each file once, each output at the
// input's place in its folder under a name no other take or the gallery
// holds, what could not be read, and the deterministic share of one machine
// (--shard K/N).
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
  std::filesystem::path wanted;                    // the output's name before a clash moved it
  std::filesystem::path rival;                     // the take that kept the wanted name; empty: the gallery
  std::string problem;                             // why the job cannot run (no skeleton)
  // Every file the output is made from, for --skip-existing.
  std::vector<std::filesystem::path> Sources() const;
  bool Renamed() const { return output != wanted; }
};

// A folder (its path ends in a separator) or file of the library that could
// not be read, and why.
struct Unreadable {
  std::filesystem::path path;
  std::string reason;
};

struct Library {
  std::vector<LibraryJob> jobs;
  std::vector<std::filesystem::path> unusedSkeletons;  // ASF files that no take uses
  std::vector<Unreadable> unreadable;
  std::filesystem::path root;  // the deepest folder that holds every input
  // A path as the user reads it: relative to the root.
  std::filesystem::path Shown(const std::filesystem::path& path) const;
};

struct LibraryRequest {
  std::vector<std::string> inputs;
  std::string skeleton;          // --skeleton: for every AMC
  std::string outputExtension;   // glb, gltf or csv
  bool merge = false;
  std::string outDir;            // where outputs and their records are
  bool gallery = false;          // index.html at the top of outDir is the gallery's
};

// Answers false with the problem (a missing input) in `problem`.
bool ScanLibrary(const LibraryRequest& request, Library& library, std::string& problem);

// Keeps the K-th (1-based) of N parts: jobs in the order of the outputs they want,
// every N-th from the K-th, so every machine that scans the same library
// gets the same parts wherever the library is mounted.
void KeepShard(Library& library, int k, int n);


}  // namespace varnex
