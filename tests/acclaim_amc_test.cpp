// AMC motion import through the entry point: the reader's rules, the channel
// values through each bone's axis frame, Euler orders, rest keys, reduction
// requests and progress polls.
#include <algorithm>
#include <cmath>

#include "acclaim_support.h"

namespace acclaim_test {
namespace {

constexpr float kDeg = 0.017453292f;

// root; hip (rx ry rz, zero axis); knee (rz rx, axis turned 30 degrees about
// z); ankle (ry, axis turned 10 degrees about x); toe (rx tz, zero axis).
const std::string kLegAsf = std::string(R"(:version 1.10
:name Leg
:units
  mass 1.0
  length 0.5
  angle deg
)") + kAsfRoot + BoneData({{"hip", "0 1 0", "2", "0 0 0 XYZ", "rx ry rz"},
                                  {"knee", "1 0 0", "3", "0 0 30 XYZ", "rz rx"},
                                  {"ankle", "0 0 1", "1", "10 0 0 XYZ", "ry"},
                                  {"toe", "0 1 0", "1", "0 0 0 XYZ", "rx tz"}}) +
                       R"(:hierarchy
  begin
    root hip
    hip knee toe
    knee ankle
  end
)";

constexpr const char* kLegAmc = R"(#!OML:ASF leg.asf
:FULLY-SPECIFIED
:DEGREES
1
root 1 2 3 10 20 30
hip 5 6 7
knee 8 9
ankle 11
toe 12 0.25
2
root 4 5 6 0 0 0
hip -5 -6 -7
knee 40 -20
ankle 0
toe 0 0.75
)";

// Two bones with three rotations each under a root that only moves along x.
const std::string kPairAsf = R"(:name Pair
:root
  order TX
)" + BoneData({{"a", "0 1 0", "1", nullptr, "rx ry rz"}, {"b", "0 1 0", "1", nullptr, "rx ry rz"}}) +
                        R"(:hierarchy
  begin
    root a b
  end
)";

class AcclaimAmc : public ::testing::Test {
 protected:
  void SetUp() override { vxhost::ResetHost(); }
  void TearDown() override { EXPECT_TRUE(vxhost::HostErrors().empty()) << vxhost::HostErrors().front(); }

  int32_t Import(const std::string& asf, const std::string& amc, const DriverOptions& settings = {}) {
    dir_.Write("take.amc", amc);
    return vxtest::Import(dir_.Write("take.asf", asf), settings);
  }

  // A channel's values at the scene's frame times.
  static std::vector<float> FrameValues(const std::string& instance, int entry, int frames) {
    std::vector<float> values;
    const vxhost::Channel* channel = ChannelOf(instance, entry);
    if (!channel) return values;
    for (int f = 0; f < frames; f++) {
      double ticks = std::trunc(static_cast<float>(4800 * f) / static_cast<float>(vxhost::FrameRate()));
      values.push_back(vxhost::EvaluateChannel(*channel, ticks));
    }
    return values;
  }

  ScratchDir dir_;
};

// -- Channel values (what turned axes key is the scene tests')

TEST_F(AcclaimAmc, MatrixCallsOnlyForTurnedAxes) {
  vxhost::SetCallLogEnabled(true);
  ASSERT_EQ(Import(kLegAsf, kLegAmc), 0);
  // Every node makes its axis frame once; only knee and ankle (turned axes)
  // convert every frame, ankle decomposing in yxz (code 12), knee in zxy (16).
  size_t nodes = 7;  // root, four bones, two end effectors
  EXPECT_EQ(CountLogLines("Sg_Matrix_Invert("), nodes);
  EXPECT_EQ(CountLogLines("Sg_Euler2Matrix("), nodes + 2 * 2);
  EXPECT_EQ(CountLogLines("Sg_Matrix_Multiply(1, "), 2u * 2 * 2);
  EXPECT_EQ(CountLogLines("Sg_Matrix2Euler(M, 16, "), 2u);
  EXPECT_EQ(CountLogLines("Sg_Matrix2Euler(M, 12, "), 2u);
  EXPECT_EQ(CountLogLines("Sg_Instance(\"knee\", eulerorder, &8, 0)"), 1u);
  EXPECT_EQ(CountLogLines("Sg_Instance(\"ankle\", eulerorder, &6, 0)"), 1u);
}

TEST_F(AcclaimAmc, ZeroAxisRotationsRestKeysTranslationsAndEffectors) {
  vxhost::SetCallLogEnabled(true);
  ASSERT_EQ(Import(kLegAsf, kLegAmc), 0);
  EXPECT_EQ(PrintedTexts(), std::vector<std::string>{});
  // A zero axis keys the file's angles in radians, bit for bit.
  EXPECT_EQ(Instance("hip").eulerOrder, 0);
  EXPECT_EQ(FrameValues("hip", vxhost::kRotateY, 2), (std::vector<float>{6 * kDeg, -6 * kDeg}));
  EXPECT_EQ(KeyTimesOf("hip", vxhost::kRotateX), (std::vector<int32_t>{0, 160}));
  // toe sits at hip's end (2 * 0.5 along y); its tz adds to that offset's z.
  EXPECT_EQ(FrameValues("toe", vxhost::kTranslateY, 2), (std::vector<float>{1, 1}));
  EXPECT_EQ(FrameValues("toe", vxhost::kTranslateZ, 2), (std::vector<float>{0.25f, 0.75f}));
  // The rest key comes first, at time 0, then frame 0's key at the same time.
  const auto& log = vxhost::CallLog();
  auto rest = std::find(log.begin(), log.end(),
                        "Sg_AnimController(&status, ctrlrid, <toe.ty>, keyframe, &id, kfid, 1, value, &1, 1, 0)");
  EXPECT_NE(rest, log.end());

  const vxhost::Instance& effector = *Instance("ankle").children.at(0);
  EXPECT_EQ(effector.eulerOrder, 0);
  EXPECT_EQ(FrameValues(effector.name, vxhost::kTranslateZ, 2), (std::vector<float>{0.5f, 0.5f}));
}

TEST_F(AcclaimAmc, ReductionRequestsFollowTheAnimatedChannels) {
  DriverOptions settings;
  settings.reduceTranslation = true;
  settings.reduceRotation = true;
  ASSERT_EQ(Import(kLegAsf, kLegAmc, settings), 0);
  auto requests = [](const std::string& name, int entry) {
    const vxhost::Channel* channel = ChannelOf(name, entry);
    return channel ? channel->reductionRequests : -1;
  };
  // toe animates rx and tz: only those two channels are reduced.
  EXPECT_EQ(requests("toe", vxhost::kTranslateZ), 1);
  EXPECT_EQ(requests("toe", vxhost::kRotateX), 1);
  EXPECT_EQ(requests("toe", vxhost::kTranslateX), 0);
  EXPECT_EQ(requests("toe", vxhost::kRotateY), 0);
  EXPECT_EQ(requests("toe", vxhost::kRotateZ), 0);
  EXPECT_TRUE(ChannelOf("toe", vxhost::kRotateX)->lastReduction.eulerAngles);
  EXPECT_FALSE(ChannelOf("toe", vxhost::kTranslateZ)->lastReduction.eulerAngles);
  EXPECT_FLOAT_EQ(ChannelOf("toe", vxhost::kTranslateZ)->lastReduction.distance, 0.01f);
  const vxhost::Instance& effector = *Instance("toe").children.at(0);
  for (const vxhost::Channel* channel : effector.channels) {
    if (channel) {
      EXPECT_EQ(channel->reductionRequests, 0);
    }
  }
}

TEST_F(AcclaimAmc, FrameTimesFollowTheSceneRate) {
  const std::string amc = ":RADIANS\n1\na 1\n2\na 2\n3\na 3\n";
  for (auto [rate, times] : std::vector<std::pair<int32_t, std::vector<int32_t>>>{
           {30, {0, 160, 320}}, {24, {0, 200, 400}}, {7, {0, 685, 1371}}}) {
    SCOPED_TRACE(rate);
    vxhost::ResetHost();
    SetSceneFrameRate(rate);
    ASSERT_EQ(Import(kPairAsf, amc), 0);
    EXPECT_EQ(KeyTimesOf("a", vxhost::kRotateX), times);
  }
}

// -- Reader rules

struct ReaderCase {
  const char* what;
  std::string amc;
  const char* bone;
  int entry;
  std::vector<float> values;  // at frames 1, 2, ...
  std::vector<std::string> printed;
};

TEST_F(AcclaimAmc, ReaderRules) {
  const std::vector<ReaderCase> cases = {
      {"a comment ends the line's values", ":RADIANS\n1\na 1 2 # 3\n2\na 4 5 6\n", "a", vxhost::kRotateZ, {0, 6}, {}},
      {"unit keywords in any case", ":DEGREES\n1\na 30\n", "a", vxhost::kRotateX, {30 * kDeg}, {}},
      {"root in any case", ":radians\n1\nRoOt 7\n2\nROOT 8\n", "Pair", vxhost::kTranslateX, {7, 8}, {}},
      {"a second bone on a line goes on at the next entry", ":radians\n1\na 1 2 b 3\n", "b", vxhost::kRotateZ,
       {3}, {}},
      {"a short line leaves the rest at zero", ":radians\n1\na 1\n", "a", vxhost::kRotateY, {0}, {}},
      {"the rate after :samples-per-second is no value", ":radians\n:samples-per-second 120\n1\na 4\n", "a",
       vxhost::kRotateX, {4}, {}},
      {"carriage returns and line feeds", ":radians\r\n1\r\na 1 2 3\r\n2\r\na 4 5 6\r\n", "a", vxhost::kRotateY,
       {2, 5}, {}},
      {"a line cut off keeps its values", ":radians\n1\na 1 2 3\n2\na 4 5", "a", vxhost::kRotateY, {2, 5}, {}},
      {"values without a slot are ignored with one warning",
       ":radians\n0\na 9\n1\na 1 2 3 4\n3\na 5\n2\na 6\n", "a", vxhost::kRotateX, {1, 6},
       {"Warning: 3 motion values were ignored: their frame number lies outside 1 to 2, or their line has more "
        "values than the bone has DOF entries.\n"}},
      {"frame numbers that start high leave the frames before them at zero", ":radians\n40\na 1\n", "a",
       vxhost::kRotateX, [] { std::vector<float> v(40); v[39] = 1; return v; }(), {}},
      {"a long comment draws no warning", ":radians\n#" + std::string(130, '=') + "\n1\na 1\n", "a",
       vxhost::kRotateX, {1}, {}},
  };
  for (const ReaderCase& c : cases) {
    SCOPED_TRACE(c.what);
    vxhost::ResetHost();
    ASSERT_EQ(Import(kPairAsf, c.amc), 0);
    EXPECT_EQ(FrameValues(c.bone, c.entry, static_cast<int>(c.values.size())), c.values);
    EXPECT_EQ(PrintedTexts(), c.printed);
  }
}

TEST_F(AcclaimAmc, ValuesConvertExactlyAsAtof) {
  const char* texts[] = {"6.33626e-015", "0.1", "-38.7688", "1e-30", "123456789012345678", "7.", "-0", ".5e1",
                         "3.4e38", "1.0000000000000002", "0.000001234", "-1.5e+2", "+.5"};
  std::string amc = ":radians\n";
  for (size_t i = 0; i < std::size(texts); i++) amc += std::to_string(i + 1) + "\na " + texts[i] + "\n";
  ASSERT_EQ(Import(kPairAsf, amc), 0);
  std::vector<float> values = FrameValues("a", vxhost::kRotateX, static_cast<int>(std::size(texts)));
  for (size_t i = 0; i < std::size(texts); i++) {
    EXPECT_EQ(values.at(i), static_cast<float>(std::atof(texts[i]))) << texts[i];
  }
}

TEST_F(AcclaimAmc, AngleUnitCarriesOverToTheNextImport) {
  ASSERT_EQ(Import(kPairAsf, ":degrees\n1\na 30\n"), 0);
  vxhost::ResetHost();
  ASSERT_EQ(Import(kPairAsf, "1\na 30\n"), 0);
  EXPECT_EQ(FrameValues("a", vxhost::kRotateX, 1), std::vector<float>{30 * kDeg});
  vxhost::ResetHost();
  ASSERT_EQ(Import(kPairAsf, ":Radians\n1\na 30\n"), 0);
  vxhost::ResetHost();
  ASSERT_EQ(Import(kPairAsf, "1\na 30\n"), 0);
  EXPECT_EQ(FrameValues("a", vxhost::kRotateX, 1), std::vector<float>{30});
}

struct FailureCase {
  const char* what;
  std::string amc;
  std::string printed;
};

TEST_F(AcclaimAmc, FatalErrorsKeepTheSkeletonButWriteNoKeys) {
  const std::vector<FailureCase> cases = {
      {"unknown bone", "1\nroot 1\nfoo 2\n", "Fatal Error: Undefined bone encountered: foo. Aborting. \n"},
      {"bone name in another case", "1\nA 2\n", "Fatal Error: Undefined bone encountered: A. Aborting. \n"},
      {"unknown header keyword", ":FOO\n1\na 2\n", "Fatal Error: Undefined bone encountered: :FOO. Aborting. \n"},
      {"a last frame number beyond the sample limit", "1\na 2\n999999999\n",
       "Fatal Error: The last frame number 999999999 needs more than 64 MB of motion samples. Aborting. \n"},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.what);
    vxhost::ResetHost();
    EXPECT_EQ(Import(kPairAsf, c.amc), 1);
    EXPECT_EQ(PrintedTexts(), std::vector<std::string>{c.printed});
    EXPECT_EQ(vxhost::InstancePath(Instance("b")), "Pair/b");
    EXPECT_EQ(vxhost::KeyCount(), 0u);
  }
}

TEST_F(AcclaimAmc, EmptyMotionGivesRestKeysOnly) {
  ASSERT_EQ(Import(kPairAsf, ":radians\n"), 0);
  // Root, a, b and two effectors: three rest keys each.
  EXPECT_EQ(vxhost::KeyCount(), 5u * 3);
}

TEST_F(AcclaimAmc, IrregularRotationOrderIsReadAsYxzWithAWarning) {
  std::string asf = kPairAsf;
  asf.replace(asf.find("dof rx ry rz"), 12, "dof rx rx");
  ASSERT_EQ(Import(asf, ":radians\n1\na 1 2\n"), 0);
  EXPECT_EQ(Instance("a").eulerOrder, 6);
  EXPECT_EQ(PrintedTexts(), std::vector<std::string>{"Warning: The rotational DOFs of bone a repeat an axis or number "
                                                     "more than three; its rotations are read in the order yxz.\n"});
  EXPECT_EQ(FrameValues("a", vxhost::kRotateX, 1), std::vector<float>{2});
}

TEST_F(AcclaimAmc, KeyTimesBeyond32BitsAreHeldWithOneWarning) {
  SetSceneFrameRate(1);
  ASSERT_EQ(Import(":root\norder tx\n:hierarchy\nbegin\nend\n", "447394\nroot 1\n"), 0);
  EXPECT_EQ(PrintedTexts(), std::vector<std::string>{"Warning: From frame 447393 on, key times lie beyond 2^31 "
                                                     "ticks; they are held at 2147483647.\n"});
  EXPECT_EQ(KeyTimesOf("Default Skeleton", vxhost::kTranslateX).back(), INT32_MAX);
}

TEST_F(AcclaimAmc, LongTakesStillAskForReduction) {
  // Past 32767 frames the key counts stop growing instead of wrapping.
  std::string amc = ":radians\n";
  amc.reserve(40000 * 12);
  for (int f = 1; f <= 40000; f++) amc += std::to_string(f) + "\nroot " + std::to_string(f % 7) + "\n";
  DriverOptions settings;
  settings.reduceTranslation = true;
  ASSERT_EQ(Import(":root\norder tx\n:hierarchy\nbegin\nend\n", amc, settings), 0);
  const vxhost::Channel* tx = ChannelOf("Default Skeleton", vxhost::kTranslateX);
  ASSERT_NE(tx, nullptr);
  EXPECT_EQ(tx->reductionRequests, 1);
}

TEST_F(AcclaimAmc, FrameCountIsTheLastFrameNumberOfLongFiles) {
  // Longer than a read block (64 KiB): the count is read from the file's end
  // unless only the whole file tells it.
  std::string frames = ":radians\n";
  for (int f = 1; f <= 6000; f++) frames += std::to_string(f) + "\na " + std::to_string(f % 9) + " 2 3\n";
  std::string returns = frames;
  std::replace(returns.begin(), returns.end(), '\n', '\r');
  std::string trailer;
  for (int i = 0; i < 700; i++) trailer += "# " + std::string(98, '=') + "\n";
  std::string longLine = ":radians\n1\na";
  for (int i = 0; i < 40000; i++) longLine += " 5";
  const std::vector<std::pair<std::string, int32_t>> cases = {
      {frames, 6000},
      {returns, 6000},
      {frames + trailer, 6000},         // no frame line in the last block
      {frames + "7\na 1\n", 7},         // the last number, not the highest
      {longLine + "\n", 1},             // the last block starts inside a line of values
  };
  for (const auto& [amc, count] : cases) {
    SCOPED_TRACE(count);
    vxhost::ResetHost();
    SetSceneFrameRate(30);
    ASSERT_EQ(Import(kPairAsf, amc), 0);
    EXPECT_EQ(KeyTimesOf("a", vxhost::kRotateX).back(), (count - 1) * 160);
  }
}

// -- Progress

TEST_F(AcclaimAmc, ProgressCoversReadingThenWriting) {
  vxhost::SetCallLogEnabled(true);
  std::vector<std::pair<int64_t, int64_t>> polls;
  vxhost::SetProgressHandler([&](int64_t done, int64_t total) {
    polls.emplace_back(done, total);
    return false;
  });
  std::string amc = ":radians\n";
  for (int f = 1; f <= 50; f++) amc += std::to_string(f) + "\nroot 1\na 1 2 3\nb 4 5 6\n";
  ASSERT_EQ(Import(kPairAsf, amc), 0);
  vxhost::SetProgressHandler(nullptr);
  int64_t amcSize = static_cast<int64_t>(amc.size());
  // Reading polls every 40 tokens against twice the size; then one poll per node.
  size_t reading = 0;
  size_t writing = 0;
  int64_t last = 0;
  for (auto [done, total] : polls) {
    if (total != 2 * amcSize) continue;
    EXPECT_GE(done, last);
    last = done;
    (done <= amcSize && writing == 0 ? reading : writing)++;
  }
  EXPECT_EQ(reading, (1 + 50 * 11) / 40u);
  EXPECT_EQ(writing, 5u);
  EXPECT_GE(last, 2 * amcSize);
}

}  // namespace
}  // namespace acclaim_test
