// Keyframe reduction as an import requests it, on real takes: every reduced
// channel, evaluated at each key time it had before, stays within the
// threshold the request carried and keeps its first and last key.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <numbers>

#include "support/plugin_calls.h"
#include "support/real_files.h"
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

// VARNEX_REDUCTION_TABLE=1 prints the figures as a Markdown table.
TEST(KeyReduction, RealTakesStayWithinTheThresholds) {
  const std::vector<std::string> files = vxtest::RealFiles();
  if (files.empty()) GTEST_SKIP() << "no real mocap files at " << VARNEX_SHARED_MOCAP;
  const bool table = std::getenv("VARNEX_REDUCTION_TABLE") != nullptr;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    ASSERT_EQ(vxtest::ImportIntoFreshHost(file), 0);
    const ChannelKeys original = SnapshotChannels();
    for (const char* threshold : {"0.01", "0.1"}) {
      ASSERT_EQ(vxtest::ImportIntoFreshHost(file, {true, true, threshold, threshold}), 0);
      size_t before = 0, after = 0;
      double worst[2] = {0, 0};  // distance, degrees
      for (const auto& [where, was] : original) {
        const vxhost::Channel* channel = vxhost::FindInstance(where.first)->channels[where.second];
        if (channel->reductionRequests == 0) continue;
        const double error = vxhost::MaxReductionError(was, channel->keys);
        EXPECT_LE(error, vxhost::ReductionTolerance(channel->lastReduction)) << where.first << " entry " << where.second;
        EXPECT_EQ(channel->keysBeforeReduction, was.size());
        EXPECT_EQ(channel->keys.front().time, was.front().time);
        EXPECT_EQ(channel->keys.back().time, was.back().time);
        before += was.size();
        after += channel->keys.size();
        const bool angle = channel->lastReduction.eulerAngles;
        worst[angle] = std::max(worst[angle], angle ? error * 180.0 / std::numbers::pi : error);
      }
      if (table)
        std::printf("| %s | %s | %zu | %zu | %.1f %% | %.3g | %.3g° |\n",
                    std::filesystem::path(file).filename().c_str(), threshold, before, after,
                    before ? 100.0 * double(after) / double(before) : 0.0, worst[0], worst[1]);
    }
  }
}

}  // namespace
