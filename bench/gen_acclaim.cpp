// The benchmark's ASF/AMC generator: deterministic values written the way
// motion-capture exporters write them (five or six decimals, one bone a line).
#include "gen_acclaim.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace varnexbench {
namespace {

struct GeneratedBone {
  std::string name;
  int dofs;  // 1 to 3 rotations
};

std::vector<GeneratedBone> Bones(const AcclaimShape& shape) {
  std::vector<GeneratedBone> bones;
  for (int c = 0; c < shape.chains; c++) {
    for (int b = 0; b < shape.chainLength; b++) {
      bones.push_back({"chain" + std::to_string(c) + "bone" + std::to_string(b), 1 + (b + c) % 3});
    }
  }
  return bones;
}

const char* kRotations[] = {"rx", "ry", "rz"};

}  // namespace

AcclaimFiles WriteBenchmarkAcclaim(const std::filesystem::path& folder, const AcclaimShape& shape) {
  AcclaimFiles files;
  files.asf = folder / "bench.asf";
  const std::vector<GeneratedBone> bones = Bones(shape);

  std::string asf =
      "# generated for the import benchmark\n:version 1.10\n:name Bench\n:units\n  mass 1.0\n  length 0.45\n"
      "  angle deg\n:documentation\n  generated\n:root\n  order TX TY TZ RX RY RZ\n  axis XYZ\n"
      "  position 0 0 0\n  orientation 0 0 0\n:bonedata\n";
  char line[256];
  for (size_t i = 0; i < bones.size(); i++) {
    asf += "  begin\n";
    asf += "    id " + std::to_string(i + 1) + "\n    name " + bones[i].name + "\n";
    double angle = 0.37 * static_cast<double>(i);
    snprintf(line, sizeof line, "    direction %.6f %.6f %.6f\n    length %.5f\n    axis %.3f %.3f %.3f XYZ\n",
             std::cos(angle), std::sin(angle), 0.2, 2.0 + 0.1 * static_cast<double>(i % 5),
             10.0 + static_cast<double>(i % 7), -20.0 + static_cast<double>(i % 11), 30.0 - static_cast<double>(i % 13));
    asf += line;
    asf += "    dof";
    for (int d = 0; d < bones[i].dofs; d++) asf += std::string(" ") + kRotations[d];
    asf += "\n    limits";
    for (int d = 0; d < bones[i].dofs; d++) asf += " (-180.0 180.0)\n";
    asf += "  end\n";
  }
  asf += ":hierarchy\n  begin\n";
  for (int c = 0; c < shape.chains; c++) {
    asf += "    root chain" + std::to_string(c) + "bone0\n";
    for (int b = 1; b < shape.chainLength; b++) {
      asf += "    chain" + std::to_string(c) + "bone" + std::to_string(b - 1) + " chain" + std::to_string(c) + "bone" +
             std::to_string(b) + "\n";
    }
  }
  asf += "  end\n";
  FILE* out = fopen(files.asf.string().c_str(), "wb");
  fwrite(asf.data(), 1, asf.size(), out);
  fclose(out);
  files.asfBytes = asf.size();

  std::filesystem::path amcPath = folder / "bench.amc";
  out = fopen(amcPath.string().c_str(), "wb");
  std::string frame;
  files.amcBytes = 0;
  const char header[] = "#!OML:ASF bench.asf\n:FULLY-SPECIFIED\n:DEGREES\n";
  fwrite(header, 1, sizeof header - 1, out);
  files.amcBytes += sizeof header - 1;
  for (int f = 1; f <= shape.frames; f++) {
    double t = static_cast<double>(f) / 120.0;
    frame = std::to_string(f) + "\n";
    snprintf(line, sizeof line, "root %.5f %.5f %.5f %.5f %.5f %.5f\n", 10 * std::sin(t), 17 + std::cos(3 * t),
             -36 + 5 * t, 7 * std::sin(2 * t), 1.3 * std::cos(t), -3.6 + std::sin(5 * t));
    frame += line;
    for (size_t i = 0; i < bones.size(); i++) {
      frame += bones[i].name;
      for (int d = 0; d < bones[i].dofs; d++) {
        snprintf(line, sizeof line, " %.6g", 40 * std::sin(t * (1 + 0.1 * static_cast<double>(i)) + d));
        frame += line;
      }
      frame += "\n";
    }
    fwrite(frame.data(), 1, frame.size(), out);
    files.amcBytes += frame.size();
  }
  fclose(out);

  // Every node keys its three rotations a frame, the root its translations too;
  // translation channels hold one rest key each besides.
  size_t nodes = 1 + bones.size() + static_cast<size_t>(shape.chains);
  files.expectedKeys = nodes * 3 * static_cast<size_t>(shape.frames) + 3 * static_cast<size_t>(shape.frames) +
                       (nodes - 1) * 3;
  return files;
}

}  // namespace varnexbench
