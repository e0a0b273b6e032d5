// Writes a CMU-like ASF/AMC pair for the Acclaim benchmark: a skeleton of
// several chains whose bones all have turned axes, and a long take.
#pragma once

#include <cstddef>
#include <filesystem>

namespace varnexbench {

struct AcclaimShape {
  int chains = 5;        // chains hanging from the root
  int chainLength = 7;   // bones per chain
  int frames = 27000;    // enough for more than 20 MB of motion
};

struct AcclaimFiles {
  std::filesystem::path asf;
  size_t asfBytes = 0;
  size_t amcBytes = 0;
  size_t expectedKeys = 0;  // keys the import asks for, one per time and channel
};

AcclaimFiles WriteBenchmarkAcclaim(const std::filesystem::path& folder, const AcclaimShape& shape);

}  // namespace varnexbench
