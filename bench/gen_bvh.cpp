// Generates a BVH file of a walking-like figure: a six-channel root and
// chains of three-channel joints, every value a smooth function of time
// printed the way capture software prints them (fixed decimals).
#include "gen_bvh.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

namespace varnexbench {

namespace {

void AppendValue(std::string& line, double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f ", value);
  line += text;
}

}  // namespace

std::uintmax_t WriteBenchmarkBvh(const std::filesystem::path& path, const BvhShape& shape) {
  std::ofstream out(path, std::ios::binary);
  out << "HIERARCHY\nROOT Hips\n{\n\tOFFSET 0.00 0.00 0.00\n"
      << "\tCHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n";
  for (int chain = 0; chain < shape.chains; ++chain) {
    std::string indent = "\t";
    for (int j = 0; j < shape.jointsPerChain; ++j) {
      out << indent << "JOINT Limb" << chain << "_" << j << "\n" << indent << "{\n"
          << indent << "\tOFFSET " << (j == 0 ? chain - shape.chains / 2 : 0) << ".00 " << (j == 0 ? 0 : 4)
          << ".50 0.25\n"
          << indent << "\tCHANNELS 3 Zrotation Xrotation Yrotation\n";
      indent += "\t";
    }
    out << indent << "End Site\n" << indent << "{\n" << indent << "\tOFFSET 0.00 3.00 0.00\n" << indent << "}\n";
    for (int j = shape.jointsPerChain - 1; j >= 0; --j) {
      indent.pop_back();
      out << indent << "}\n";
    }
  }
  out << "}\nMOTION\nFrames: " << (shape.headerFrames >= 0 ? shape.headerFrames : shape.frames)
      << "\nFrame Time: 0.008333\n";
  std::string line;
  for (int frame = 0; frame < shape.frames; ++frame) {
    line.clear();
    const double t = frame / 120.0;
    AppendValue(line, 20.0 * t);
    AppendValue(line, 90.0 + 2.0 * std::sin(6.0 * t));
    AppendValue(line, -5.0 + std::cos(3.0 * t));
    for (int r = 0; r < 3; ++r) AppendValue(line, 5.0 * std::sin(2.0 * t + r));
    for (int chain = 0; chain < shape.chains; ++chain) {
      for (int j = 0; j < shape.jointsPerChain; ++j) {
        const double phase = 0.7 * chain + 0.3 * j;
        AppendValue(line, 25.0 * std::sin(4.0 * t + phase));
        AppendValue(line, 40.0 * std::sin(3.0 * t + phase + 1.0));
        AppendValue(line, -12.0 * std::cos(5.0 * t + phase));
      }
    }
    line.back() = '\n';
    out << line;
  }
  out.close();
  return std::filesystem::file_size(path);
}

std::uint64_t BenchmarkBvhKeys(const BvhShape& shape) {
  const std::uint64_t joints = 1 + static_cast<std::uint64_t>(shape.chains) * shape.jointsPerChain;
  const std::uint64_t ends = static_cast<std::uint64_t>(shape.chains);
  const std::uint64_t channels = 6 + 3 * (joints - 1);
  return 6 * (joints + ends) + channels * static_cast<std::uint64_t>(shape.frames);
}

}  // namespace varnexbench
