// Keyframe curves on plain key lists: interpolation, the lossless
// optimisation and the reduction guarantee on generated channels.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <random>

#include "varnex/keyframes.h"

using vxhost::Key;

namespace {

std::vector<Key> KeysOf(std::initializer_list<std::pair<int, float>> pairs) {
  std::vector<Key> keys;
  for (auto [t, v] : pairs) keys.push_back({t, v});
  return keys;
}

// Frame times of a 120 fps take and values from a generator.
template <class F>
std::vector<Key> Sampled(int count, F value) {
  std::vector<Key> keys;
  for (int f = 0; f < count; ++f) keys.push_back({f * 40, float(value(f))});
  return keys;
}

void ExpectWithin(const std::vector<Key>& original, const std::vector<Key>& reduced, double tol) {
  for (const Key& k : original) {
    const float got = float(vxhost::InterpolateKeys(reduced, k.time));
    ASSERT_LE(std::fabs(double(got) - double(k.value)), tol) << "at tick " << k.time;
  }
  ASSERT_FALSE(reduced.empty());
  EXPECT_EQ(reduced.front().time, original.front().time);
  EXPECT_EQ(reduced.back().time, original.back().time);
}

}  // namespace

TEST(KeyCurve, Interpolates) {
  const auto linear = KeysOf({{0, 1.0f}, {100, 3.0f}, {300, -1.0f}});
  struct Case { double ticks; double expected; };
  for (const Case c : {Case{-50, 1.0}, Case{0, 1.0}, Case{50, 2.0}, Case{100, 3.0}, Case{200, 1.0},
                       Case{300, -1.0}, Case{1e6, -1.0}})
    EXPECT_DOUBLE_EQ(vxhost::InterpolateKeys(linear, c.ticks), c.expected) << c.ticks;
  EXPECT_EQ(vxhost::InterpolateKeys(std::vector<Key>{}, 10), 0.0);

  // Flat tangents on both ends give the smooth step, half-way at the middle.
  std::vector<Key> eased = KeysOf({{0, 0.0f}, {100, 1.0f}});
  for (Key& k : eased) k.hasSlopes = true;
  EXPECT_DOUBLE_EQ(vxhost::InterpolateKeys(eased, 50), 0.5);
  EXPECT_NEAR(vxhost::InterpolateKeys(eased, 25), 0.15625, 1e-12);
  // Tangents along the chord keep the segment straight.
  eased[0].outSlope = eased[1].inSlope = 0.01f;
  EXPECT_NEAR(vxhost::InterpolateKeys(eased, 25), 0.25, 1e-7);
}

// Sampling a channel walks its keys with a cursor; every value must be
// EvaluateChannel's, bit for bit, whatever the keys and however the times run.
TEST(KeyCurve, SamplingAChannelGivesItsValuesAtEachTime) {
  std::vector<Key> reduced = Sampled(400, [](int f) { return 3.0 * std::sin(0.05 * f); });
  vxhost::ReduceKeys(reduced, 0.01);
  std::vector<Key> tangents = KeysOf({{0, 1.0f}, {50, 4.0f}, {90, 4.0f}, {200, -2.0f}});
  tangents[1].hasSlopes = true;
  tangents[1].inSlope = 0.2f;
  tangents[1].outSlope = -0.1f;
  const struct {
    const char* name;
    std::vector<Key> keys;
  } curves[] = {
      {"no keys", {}},
      {"one key", KeysOf({{10, 2.5f}})},
      {"a key a frame", Sampled(300, [](int f) { return 0.37 * f - 20.0; })},
      {"steps a tick apart", KeysOf({{0, 0.0f}, {1, 0.0f}, {2, 5.0f}, {3, 5.0f}, {4, -1.0f}})},
      {"tangents after reduction", reduced},
      {"some tangents set", tangents},
      {"values not finite", KeysOf({{-80, INFINITY}, {0, 1.0f}, {40, NAN}, {80, 2.0f}})},
  };
  for (const auto& curve : curves) {
    vxhost::Channel channel;
    channel.keys.Assign(curve.keys);
    const int32_t first = curve.keys.empty() ? 0 : curve.keys.front().time - 50;
    const int32_t last = curve.keys.empty() ? 0 : curve.keys.back().time + 50;
    std::vector<int32_t> ascending;  // every tick: on, between and outside keys
    for (int32_t t = first; t <= last; ++t) ascending.push_back(t);
    const int32_t middle = (first + last) / 2;
    const std::vector<int32_t> wandering = {last, first, middle, middle, middle - 1, last + 9, middle + 1, first - 9};
    std::vector<int32_t> sparse;  // ascending, several keys apart, some times twice
    for (int32_t t = first - 3; t <= last + 3; t += 7) sparse.insert(sparse.end(), t % 3 ? 1 : 2, t);
    for (const std::vector<int32_t>& times : {ascending, wandering, sparse}) {
      std::vector<float> values(times.size());
      vxhost::SampleChannel(channel, times, values);
      for (size_t i = 0; i < times.size(); ++i)
        ASSERT_EQ(std::bit_cast<uint32_t>(values[i]),
                  std::bit_cast<uint32_t>(vxhost::EvaluateChannel(channel, times[i])))
            << curve.name << " at tick " << times[i];
    }
  }
}

TEST(KeyCurve, OptimiseDropsOnlyTheInsideOfFlatRuns) {
  struct Case { std::vector<Key> keys; size_t left; };
  const Case cases[] = {
      {KeysOf({{0, 2.0f}, {40, 2.0f}, {80, 2.0f}, {120, 2.0f}}), 1},
      {KeysOf({{0, 1.0f}, {40, 2.0f}, {80, 2.0f}, {120, 2.0f}, {160, 5.0f}}), 4},
      {KeysOf({{0, 1.0f}, {40, 2.0f}, {80, 3.0f}}), 3},  // straight but not flat: kept
      {KeysOf({{0, 0.0f}, {40, -0.0f}, {80, 0.0f}, {120, 1.0f}}), 3},
      {KeysOf({{0, NAN}, {40, NAN}, {80, NAN}}), 3},
      {KeysOf({{0, 7.0f}}), 1},
      {KeysOf({{0, 3.0f}, {40, 3.0f}}), 1},
      {KeysOf({{0, 1.0f}, {40, 1.0f}, {80, 1.0f}, {120, 2.0f}, {160, 2.0f}, {200, 2.0f}, {240, 2.0f}}), 4},
      {{}, 0},
  };
  for (const Case& c : cases) {
    std::vector<Key> keys = c.keys;
    for (size_t i = 0; i < keys.size(); ++i) keys[i].id = static_cast<uint32_t>(i + 1);
    // The host's own store drops the same keys in place, identifiers and all.
    vxhost::KeyList stored;
    stored.Assign(keys);
    vxhost::OptimizeKeys(keys);
    vxhost::OptimizeKeys(stored);
    EXPECT_EQ(keys.size(), c.left);
    ASSERT_EQ(stored.size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
      const Key got = stored[i];
      EXPECT_TRUE(got.time == keys[i].time && got.id == keys[i].id &&
                  std::memcmp(&got.value, &keys[i].value, sizeof(float)) == 0)
          << "key " << i << " of " << c.left;
    }
  }
}

// Keys with tangents inside runs of equal values among them: a curved one
// shapes the curve and must stay.
TEST(KeyCurve, OptimiseNeverChangesTheCurve) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> pick(0, 3);
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<Key> keys;
    float v = 0.0f;
    for (int f = 0; f < 60; ++f) {
      if (pick(rng) == 0) v = float(pick(rng));  // long runs of equal values
      Key k{f * 160, v};
      if (pick(rng) == 0) {  // some keys carry tangents, some flat
        k.hasSlopes = true;
        k.inSlope = pick(rng) == 0 ? 0.01f : 0.0f;
        k.outSlope = pick(rng) == 0 ? -0.01f : 0.0f;
      }
      keys.push_back(k);
    }
    std::vector<Key> optimised = keys;
    vxhost::OptimizeKeys(optimised);
    for (int t = -100; t <= 60 * 160; t += 7)
      ASSERT_EQ(vxhost::InterpolateKeys(optimised, t), vxhost::InterpolateKeys(keys, t))
          << "trial " << trial << " tick " << t;
  }
}

// A distance as given; an angle in degrees for channels in radians, unless
// the request says the keys are in degrees too.
TEST(KeyCurve, ToleranceFollowsTheRequest) {
  EXPECT_DOUBLE_EQ(vxhost::ReductionTolerance({0.5f, 10.0f, false, false}), 0.5);
  EXPECT_NEAR(vxhost::ReductionTolerance({0.5f, 10.0f, true, false}), 10.0 * std::numbers::pi / 180.0, 1e-7);
  EXPECT_DOUBLE_EQ(vxhost::ReductionTolerance({0.5f, 10.0f, true, true}), 10.0);
}

TEST(KeyCurve, ReductionStaysWithinTolerance) {
  std::mt19937 rng(11);
  std::normal_distribution<double> noise(0.0, 1.0);
  double walk = 0.0;
  struct Channel { const char* name; std::vector<Key> keys; };
  const Channel channels[] = {
      {"random walk", Sampled(3000, [&](int) { return walk += 0.02 * noise(rng); })},
      {"sine and noise", Sampled(3000, [&](int f) { return 30 * std::sin(f * 0.01) + 0.003 * noise(rng); })},
      {"steps", Sampled(500, [](int f) { return double((f / 37) % 3); })},
      {"large values", Sampled(800, [](int f) { return 1000.0 + 250 * std::cos(f * 0.02); })},
      {"straight", Sampled(1000, [](int f) { return 0.25 * f; })},
  };
  for (const Channel& c : channels) {
    for (double tol : {0.0, 0.001, 0.01, 0.1, 1.0}) {
      std::vector<Key> reduced = c.keys;
      vxhost::ReduceKeys(reduced, tol);
      SCOPED_TRACE(testing::Message() << c.name << " at " << tol);
      ExpectWithin(c.keys, reduced, tol);
      EXPECT_LE(vxhost::MaxReductionError(c.keys, reduced), tol);
    }
  }
}

TEST(KeyCurve, ReductionKeepsWhatItMust) {
  // A straight channel needs its two ends only.
  std::vector<Key> straight = Sampled(100, [](int f) { return 2.0 * f - 5; });
  vxhost::ReduceKeys(straight, 0.01);
  ASSERT_EQ(straight.size(), 2u);
  EXPECT_TRUE(straight[0].hasSlopes);
  EXPECT_FLOAT_EQ(straight[0].outSlope, 2.0f / 40);
  EXPECT_FLOAT_EQ(straight[1].inSlope, 2.0f / 40);

  // A spike larger than the tolerance survives; a smaller one goes.
  std::vector<Key> spike = KeysOf({{0, 0.0f}, {40, 0.0f}, {80, 0.5f}, {120, 0.0f}, {160, 0.0f}});
  std::vector<Key> small = spike;
  vxhost::ReduceKeys(spike, 0.1);
  EXPECT_EQ(spike.size(), 5u);
  vxhost::ReduceKeys(small, 0.6);
  EXPECT_EQ(small.size(), 2u);

  // Values that are not numbers are never interpolated over.
  std::vector<Key> broken =
      KeysOf({{0, 0.0f}, {40, 0.0f}, {80, 0.0f}, {120, NAN}, {160, 0.0f}, {200, 0.0f}, {240, 0.0f}});
  vxhost::ReduceKeys(broken, 1.0);
  EXPECT_EQ(broken.size(), 5u);
  EXPECT_TRUE(std::isnan(vxhost::InterpolateKeys(broken, 120)));
  EXPECT_EQ(vxhost::InterpolateKeys(broken, 40), 0.0);

  // One or two keys, or a negative tolerance, leave the channel as it was.
  std::vector<Key> one = KeysOf({{0, 1.0f}});
  EXPECT_EQ(vxhost::ReduceKeys(one, 1.0), 0u);
  std::vector<Key> wiggle = Sampled(10, [](int f) { return f % 2 * 0.001; });
  EXPECT_EQ(vxhost::ReduceKeys(wiggle, -1.0), 0u);
}
