// Shared helpers of the reference host's tests: tokens by word, list ends,
// and a fixture that starts every test on a fresh host.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "varnex/host.h"
#include "varnex/importio.h"
#include "varnex/sg.h"

inline void* T(const char* word) { return Sg_Inquire_Token(word); }
inline void* const kEnd = nullptr;
inline void* const kOne = reinterpret_cast<void*>(intptr_t{1});

// The host's fast paths on or off for a scope (ResetHost keeps the setting):
// a test runs the same calls both ways and compares what they did.
class FastPaths {
 public:
  explicit FastPaths(bool on) { vxhost::SetFastPaths(on); }
  ~FastPaths() { vxhost::SetFastPaths(true); }
  FastPaths(const FastPaths&) = delete;
  FastPaths& operator=(const FastPaths&) = delete;
};

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { vxhost::ResetHost(); }
  void TearDown() override { vxhost::ResetHost(); }

  static void AddNode(const char* name, const char* parent = "world") {
    Sg_Add_Empty_Node(T("instance"), name, kEnd);
    Sg_Attach(T("instance"), name, T("instance"), parent, kEnd);
  }
  // Adds the default channels and returns the table.
  static void Channels(const char* name, void** table) {
    Sg_AddDefaultAnimationChannels(T("instance"), name, T("all"), kEnd);
    ASSERT_EQ(Import_IO_Get_DefaultAnimationChannelPtrs(name, table), 1);
  }
  static uint64_t AddKey(void* channel, int32_t time, float value) {
    int64_t status = 0;
    uint64_t id = 0;
    Sg_AnimController(&status, T("ctrlrid"), channel, T("type"), T("kfbezier"), kOne, T("keyframe"), &id, T("time"),
                      &time, T("add"), kOne, kEnd);
    if (id != 0)
      Sg_AnimController(&status, T("ctrlrid"), channel, T("keyframe"), &id, T("kfid"),
                        reinterpret_cast<void*>(static_cast<uintptr_t>(id)), T("value"), &value, kOne, kEnd);
    return id;
  }
};
