// Writes large synthetic BVH files for the benchmarks.
#pragma once

#include <cstdint>
#include <filesystem>

namespace varnexbench {

struct BvhShape {
  int chains = 7;          // limbs hanging from the root
  int jointsPerChain = 9;  // each with three rotation channels and an End Site at its tip
  int frames = 20000;
  int headerFrames = -1;   // the count after "Frames:"; -1 says frames
};

// Writes the file and answers its size in bytes.
std::uintmax_t WriteBenchmarkBvh(const std::filesystem::path& path, const BvhShape& shape);

// Keys an import of such a file writes: per joint six rest keys plus one per channel and frame.
std::uint64_t BenchmarkBvhKeys(const BvhShape& shape);

}  // namespace varnexbench
