// The host's segmented key store against a plain list of keys: random
// sequences of adds (in order, at taken times, out of order), values set by
// identifier, optimisation and reduction must leave both alike, key by key.
#include <algorithm>
#include <random>
#include <vector>

#include "host_test_support.h"
#include "varnex/keyframes.h"

namespace {

using vxhost::Key;

// How a channel behaves, written the plain way.
struct ModelChannel {
  std::vector<Key> keys;
  uint32_t nextId = 1;

  uint64_t Add(int32_t time) {
    auto at = std::lower_bound(keys.begin(), keys.end(), time, [](const Key& k, int32_t t) { return k.time < t; });
    if (at != keys.end() && at->time == time) return at->id;
    Key key;
    key.time = time;
    key.id = nextId++;
    keys.insert(at, key);
    return key.id;
  }
  void Set(uint64_t id, float value) {
    for (Key& key : keys)
      if (key.id == id) key.value = value;
  }
};

void ExpectSame(const std::vector<Key>& model, const vxhost::KeyList& stored, const char* step) {
  ASSERT_EQ(stored.size(), model.size()) << step;
  for (size_t i = 0; i < model.size(); ++i) {
    const Key got = stored[i];
    const Key& want = model[i];
    ASSERT_TRUE(got.time == want.time && got.value == want.value && got.id == want.id &&
                got.hasSlopes == want.hasSlopes && got.inSlope == want.inSlope && got.outSlope == want.outSlope)
        << step << ": key " << i << " @" << got.time << " id " << got.id << ", wanted @" << want.time << " id "
        << want.id;
  }
}

class KeyListTest : public HostTest {};

TEST_F(KeyListTest, BehavesLikeAPlainKeyList) {
  struct Case {
    const char* name;
    int outOfOrderPercent;  // adds before the last key
    int repeatPercent;      // adds at a time that has a key
    int flatPercent;        // values equal to the one before
  };
  const Case cases[] = {
      {"appended in order", 0, 0, 0},
      {"rest key, then frames from its time", 0, 5, 30},
      {"some out of order", 10, 10, 20},
      {"mostly out of order", 60, 10, 50},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vxhost::ResetHost();
    AddNode("Hips");
    void* table[vxhost::kChannelTableSize] = {};
    Channels("Hips", table);
    vxhost::Channel* channel = static_cast<vxhost::Channel*>(table[vxhost::kTranslateX]);
    ModelChannel model;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> percent(0, 99);
    int32_t last = 0;
    float value = 0.0f;
    // Rounds of adds cross many segment ends; optimisation (which trims the
    // store) and more adds follow each round, reduction ends the channel.
    for (int round = 0; round < 4; ++round) {
      for (int n = 0; n < 700; ++n) {
        int32_t time = last + 40;
        if (percent(rng) < c.outOfOrderPercent) time = std::uniform_int_distribution<int32_t>(0, last)(rng) | 1;
        else if (percent(rng) < c.repeatPercent) time = last;
        last = std::max(last, time);
        if (percent(rng) >= c.flatPercent) value = float(percent(rng)) / 8;
        const uint64_t id = AddKey(channel, time, value);
        ASSERT_EQ(id, model.Add(time));
        model.Set(id, value);
      }
      ExpectSame(model.keys, channel->keys, "after adds");
      Import_IO_OptimizeTransformationChannels("Hips");
      vxhost::OptimizeKeys(model.keys);
      ExpectSame(model.keys, channel->keys, "after optimisation");
    }
    // A value for a key given earlier still finds it.
    const Key early = model.keys[model.keys.size() / 3];
    int64_t status = 0;
    float seven = 7.0f;
    uint64_t id = early.id;
    Sg_AnimController(&status, T("ctrlrid"), channel, T("keyframe"), &id, T("kfid"),
                      reinterpret_cast<void*>(uintptr_t{early.id}), T("value"), &seven, kOne, kEnd);
    model.Set(early.id, seven);
    ExpectSame(model.keys, channel->keys, "after a late value");
    float tolerance = 0.5f;
    Sg_AnimController(&status, T("ctrlrid"), channel, T("reducekeys"), T("distance"), &tolerance, T("angle"),
                      &tolerance, T("keysareeulerangles"), T("enabled"), T("off"), T("angularkeysareindegrees"),
                      T("enabled"), T("off"), kEnd);
    vxhost::ReduceKeys(model.keys, 0.5);
    ExpectSame(model.keys, channel->keys, "after reduction");
    EXPECT_EQ(vxhost::InterpolateKeys(channel->keys, 1234.5), vxhost::InterpolateKeys(model.keys, 1234.5));
    EXPECT_TRUE(vxhost::HostErrors().empty());
  }
}

}  // namespace
