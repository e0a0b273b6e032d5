// Keyframe reduction and optimisation as an import requests them, on real
// takes: every reduced channel, evaluated at each key time it had before,
// stays within the threshold the request carried.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>

#include "support/plugin_calls.h"
#include "support/real_files.h"
#include "support/scratch.h"
#include "varnex/host.h"
#include "varnex/keyframes.h"

namespace {

using ChannelKeys = std::map<std::pair<std::string, int>, std::vector<vxhost::Key>>;

ChannelKeys SnapshotChannels() {
  ChannelKeys keys;
  for (const vxhost::Instance* instance : vxhost::AllInstances())
    for (int entry = vxhost::kTranslateX; entry <= vxhost::kRotateZ; ++entry)
      if (const vxhost::Channel* channel = instance->channels[entry]) keys[{instance->name, entry}] = channel->keys;
  return keys;
}

struct Figures {
  size_t before = 0, after = 0;
  double worstDistance = 0.0, worstDegrees = 0.0;
};

// Checks the guarantee on every reduced channel of the scene against the
// unreduced import of the same file.
Figures CheckReducedScene(const ChannelKeys& original) {
  Figures figures;
  for (const vxhost::Instance* instance : vxhost::AllInstances()) {
    for (int entry = vxhost::kTranslateX; entry <= vxhost::kRotateZ; ++entry) {
      const vxhost::Channel* channel = instance->channels[entry];
      if (!channel || channel->reductionRequests == 0) continue;
      const std::vector<vxhost::Key>& was = original.at({instance->name, entry});
      const double tolerance = vxhost::ReductionTolerance(channel->lastReduction);
      const double error = vxhost::MaxReductionError(was, channel->keys);
      EXPECT_LE(error, tolerance) << instance->name << " entry " << entry;
      EXPECT_EQ(channel->keysBeforeReduction, was.size());
      EXPECT_EQ(channel->keys.front().time, was.front().time);
      EXPECT_EQ(channel->keys.back().time, was.back().time);
      figures.before += was.size();
      figures.after += channel->keys.size();
      if (channel->lastReduction.eulerAngles)
        figures.worstDegrees = std::max(figures.worstDegrees, error * 180.0 / std::numbers::pi);
      else
        figures.worstDistance = std::max(figures.worstDistance, error);
    }
  }
  return figures;
}

}  // namespace

TEST(KeyReduction, RealTakesStayWithinTheThresholds) {
  const std::vector<std::string> files = vxtest::RealFiles();
  if (files.empty()) GTEST_SKIP() << "no real mocap files at " << VARNEX_SHARED_MOCAP;
  // VARNEX_REDUCTION_TABLE=1 prints the figures as a Markdown table.
  const bool table = std::getenv("VARNEX_REDUCTION_TABLE") != nullptr;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    ASSERT_EQ(vxtest::ImportIntoFreshHost(file), 0);
    const ChannelKeys original = SnapshotChannels();
    for (const char* threshold : {"0.01", "0.1"}) {
      ASSERT_EQ(vxtest::ImportIntoFreshHost(file, {true, true, threshold, threshold}), 0);
      const Figures f = CheckReducedScene(original);
      if (table)
        std::printf("| %s | %s | %zu | %zu | %.1f %% | %.3g | %.3g° |\n",
                    std::filesystem::path(file).filename().c_str(), threshold, f.before, f.after,
                    f.before ? 100.0 * double(f.after) / double(f.before) : 0.0, f.worstDistance, f.worstDegrees);
    }
  }
}

TEST(KeyOptimisation, NeverChangesTheTake) {
  // A joint that stands still for a while, then moves, then stands still.
  vxtest::ScratchDir scratch;
  std::string bvh = "HIERARCHY\nROOT Hips\n{\n\tOFFSET 0 0 0\n\tCHANNELS 6 Xposition Yposition Zposition "
                    "Zrotation Xrotation Yrotation\n\tEnd Site\n\t{\n\t\tOFFSET 0 5 0\n\t}\n}\nMOTION\n"
                    "Frames: 12\nFrame Time: 0.0333333\n";
  const double ys[] = {1, 1, 1, 1, 2, 3, 3, 3, 3, 3, 3, 3};
  for (double y : ys) bvh += "0 " + std::to_string(y) + " 0 0 0 0\n";
  ASSERT_EQ(vxtest::ImportIntoFreshHost(scratch.Write("still.bvh", bvh)), 0);
  const vxhost::Instance* hips = vxhost::FindInstance("Hips");
  ASSERT_NE(hips, nullptr);
  const vxhost::Channel& ty = *hips->channels[vxhost::kTranslateY];
  const vxhost::Channel& tx = *hips->channels[vxhost::kTranslateX];
  // The still runs keep their ends; a channel that never moves keeps one key.
  EXPECT_EQ(ty.keys.size(), 5u);
  EXPECT_EQ(tx.keys.size(), 1u);
  // The take keeps its length for whoever samples it.
  int32_t first = -1, last = -1;
  ASSERT_TRUE(vxhost::TakeRange(&first, &last));
  EXPECT_EQ(first, 0);
  EXPECT_EQ(last, 11 * 160);
  for (int frame = 0; frame < 12; ++frame) {
    EXPECT_EQ(vxhost::EvaluateChannel(ty, frame * 160), float(ys[frame])) << frame;
    EXPECT_EQ(vxhost::EvaluateChannel(tx, frame * 160), 0.0f) << frame;
  }
}
