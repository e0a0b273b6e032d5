// The scene model behind the Sg_ calls where imports alone do not reach it:
// name suffixes, key times, evaluation and frame rates (Euler orders are the
// maths tests'; attaching and detaching the ASF import's, through its paths).
#include <cmath>
#include <string>
#include <vector>

#include "host_test_support.h"

using vxhost::FindInstance;

namespace {

TEST_F(HostTest, MakeNameUniqueTakesTheSmallestFreeSuffix) {
  char buffer[64];
  const struct {
    const char* wanted;
    const char* expected;
    bool create;
  } steps[] = {
      {"Hips", "Hips", true},     {"Hips", "Hips_1", true},  {"Hips", "Hips_2", false},
      {"Hips", "Hips_2", true},   {"Hips_1", "Hips_1_1", true}, {"world", "world_1", false},
      {"End Site", "End Site", true}, {"End Site", "End Site_1", true},
  };
  for (const auto& step : steps) {
    Import_IO_MakeNameUnique(T("instance"), step.wanted, buffer);
    EXPECT_STREQ(buffer, step.expected) << step.wanted;
    if (step.create) AddNode(buffer);
  }
  // A name taken out of turn is skipped, and the numbers below it stay used.
  AddNode("Arm_2");
  AddNode("Arm");
  Import_IO_MakeNameUnique(T("instance"), "Arm", buffer);
  EXPECT_STREQ(buffer, "Arm_1");
  AddNode(buffer);
  Import_IO_MakeNameUnique(T("instance"), "Arm", buffer);
  EXPECT_STREQ(buffer, "Arm_3");
}

TEST_F(HostTest, KeyTimesAreTheUnionOfEveryChannel) {
  using Times = std::vector<int32_t>;
  const struct {
    std::vector<Times> channels;
    Times expected;
  } cases[] = {
      {{{0, 40, 80}, {0, 40, 80}, {40}, {}, {0, 40, 80}}, {0, 40, 80}},
      {{{0}, {0, 40, 80, 120}, {80}}, {0, 40, 80, 120}},
      {{{0, 80}, {40, 120}, {20, 60, 100}, {-40, 200}}, {-40, 0, 20, 40, 60, 80, 100, 120, 200}},
      {{{50}, {40}, {30}, {20}, {10}, {0}, {10}, {60}}, {0, 10, 20, 30, 40, 50, 60}},
      {{}, {}},
  };
  for (const auto& c : cases) {
    vxhost::ResetHost();
    void* table[vxhost::kChannelTableSize];
    for (size_t i = 0; i < c.channels.size(); ++i) {
      const std::string name = "Node" + std::to_string(i);
      AddNode(name.c_str());
      Channels(name.c_str(), table);
      for (int32_t t : c.channels[i]) AddKey(table[vxhost::kTranslateX], t, float(t));
    }
    EXPECT_EQ(vxhost::KeyTimes(), c.expected) << c.channels.size() << " channels";
  }
}

TEST_F(HostTest, AnimatedInstanceIsDrivenByItsChannels) {
  void* table[vxhost::kChannelTableSize];
  AddNode("Hips");
  AddNode("Knee", "Hips");
  float offset[3] = {0, 10, 0};
  Sg_Transform(T("instance"), "Hips", T("postmultiply"), T("translate"), offset, kEnd);
  Sg_Transform(T("instance"), "Knee", T("postmultiply"), T("translate"), offset, kEnd);
  EXPECT_FALSE(vxhost::IsAnimated(*FindInstance("Hips")));

  Channels("Hips", table);
  EXPECT_FALSE(vxhost::IsAnimated(*FindInstance("Hips"))) << "channels without keys";
  AddKey(table[vxhost::kTranslateX], 0, 0.0f);
  AddKey(table[vxhost::kTranslateX], 480, 4.0f);
  AddKey(table[vxhost::kRotateZ], 0, static_cast<float>(M_PI / 2));
  EXPECT_TRUE(vxhost::IsAnimated(*FindInstance("Hips")));

  const struct {
    double ticks;
    glm::dvec3 knee;
  } cases[] = {
      {-100, {-10, 0, 0}},  // before the first key: the first value
      {0, {-10, 0, 0}},
      {240, {-8, 0, 0}},    // linear between keys without slopes
      {480, {-6, 0, 0}},
      {9999, {-6, 0, 0}},   // after the last key: the last value
  };
  for (const auto& c : cases) {
    const glm::dvec3 knee = vxhost::WorldPosition(*FindInstance("Knee"), c.ticks);
    EXPECT_NEAR(knee.x, c.knee.x, 1e-5) << c.ticks;
    EXPECT_NEAR(knee.y, c.knee.y, 1e-5) << c.ticks;
    EXPECT_NEAR(knee.z, c.knee.z, 1e-5) << c.ticks;
  }
}

TEST_F(HostTest, FrameRateIsValidatedSetAndInquired) {
  const struct {
    int32_t in, out;
  } rates[] = {{0, 30},     {-5, 30},     {1, 1},       {120, 120},   {4800, 4800}, {4801, 4800}, {100000, 4800},
               {11, 12},     {14, 15},     {23, 24},     {29, 30},     {47, 48},     {59, 60},     {119, 120},
               {239, 240},   {10, 10},     {13, 13},     {22, 22},     {25, 25},     {58, 58},     {99, 99},
               {238, 238},   {4799, 4799}};
  for (const auto& r : rates) {
    int32_t rate = r.in;
    Sg_ValidateFrameRate(&rate);
    EXPECT_EQ(rate, r.out) << r.in;
  }
  EXPECT_EQ(vxhost::FrameRate(), 30);
  int32_t rate = 120;
  Sg_Animation(T("framerate"), &rate, kOne, kEnd);
  EXPECT_EQ(vxhost::FrameRate(), 120);

  void* table[vxhost::kChannelTableSize];
  AddNode("Hips");
  Channels("Hips", table);
  int32_t start = -1, end = -1, inquired = -1;
  Sg_Inquire_Animation(T("starttime"), &start, kOne, T("endtime"), &end, kOne, T("framerate"), &inquired, kOne, kEnd);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, 0);
  AddKey(table[vxhost::kTranslateY], 40, 1.0f);
  AddKey(table[vxhost::kRotateY], 400, 1.0f);
  Sg_Inquire_Animation(T("starttime"), &start, kOne, T("endtime"), &end, kOne, T("framerate"), &inquired, kOne, kEnd);
  EXPECT_EQ(start, 40);
  EXPECT_EQ(end, 400);
  EXPECT_EQ(inquired, 120);
  EXPECT_TRUE(vxhost::HostErrors().empty()) << vxhost::AllMessageText();
}

}  // namespace
