// What varnex writes from an imported scene: the take captured from the
// host, what it means (up, joint positions, height), the glTF document read
// back and played as a viewer does against the full-rate take, the scene
// JSON and the SVG preview.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <random>
#include <set>
#include <sstream>

#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <glm/mat4x4.hpp>

#if VARNEX_MESHOPT
#include <meshoptimizer.h>
#endif

#include "support/plugin_calls.h"
#include "support/real_files.h"
#include "support/samples.h"
#include "support/sanitizer.h"
#include "support/scratch.h"
#include "varnex/host.h"
#include "export/bvh_export.h"
#include "export/gltf_export.h"
#include "export/json_dump.h"
#include "scene/scene_sampling.h"
#include "export/svg_preview.h"
#include "scene/take.h"
#include "scene/take_edits.h"
#include "scene/take_meaning.h"
#include "library/acclaim_pairing.h"
#include "export/compact_animation.h"
#include "session/staged_take.h"
#include "export/meshopt_encoding.h"

using nlohmann::json;

namespace {

// Hips turn ZXY and travel; the chest turns XYZ; one leg has no motion of its own.
constexpr const char* kWave = R"(HIERARCHY
ROOT Hips
{
	OFFSET 0 0 0
	CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation
	JOINT Chest
	{
		OFFSET 0 10 0
		CHANNELS 3 Xrotation Yrotation Zrotation
		JOINT Arm
		{
			OFFSET 6 2 0
			CHANNELS 3 Zrotation Xrotation Yrotation
			End Site
			{
				OFFSET 8 0 0
			}
		}
	}
	JOINT Leg
	{
		OFFSET 3 -2 0
		CHANNELS 3 Zrotation Xrotation Yrotation
		End Site
		{
			OFFSET 0 -15 1
		}
	}
}
MOTION
Frames: 4
Frame Time: 0.0333333
0 30 0 0 0 0 0 0 0 40 0 0 0 0 0
1 30.5 2 10 5 -20 15 -30 45 60 10 5 10 0 0
2 31 4 20 10 -40 30 -60 90 80 20 10 20 0 0
3 30.5 6 10 5 -20 15 -30 45 60 10 5 30 0 0
)";

// Six joints in a chain, one per Euler order, each turning and one travelling.
constexpr const char* kOrders = R"(HIERARCHY
ROOT A
{
	OFFSET 1 2 3
	CHANNELS 6 Xposition Yposition Zposition Xrotation Yrotation Zrotation
	JOINT B
	{
		OFFSET 0 5 0
		CHANNELS 3 Xrotation Zrotation Yrotation
		JOINT C
		{
			OFFSET 0 5 1
			CHANNELS 3 Yrotation Zrotation Xrotation
			JOINT D
			{
				OFFSET 1 5 0
				CHANNELS 3 Yrotation Xrotation Zrotation
				JOINT E
				{
					OFFSET 0 4 0
					CHANNELS 3 Zrotation Xrotation Yrotation
					JOINT F
					{
						OFFSET 0 3 2
						CHANNELS 3 Zrotation Yrotation Xrotation
						End Site
						{
							OFFSET 0 2 0
						}
					}
				}
			}
		}
	}
}
MOTION
Frames: 3
Frame Time: 0.04
0 0 0 10 20 30 40 50 60 70 80 90 100 110 120 130 140 150 160 170 180
5 1 -2 -30 60 -90 120 -150 170 -20 40 -60 80 -100 120 -140 160 -170 10 20 30
10 2 -4 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0
)";

// A view's bytes as a viewer has them; a compressed one decoded by
// libmeshoptimizer's own decoder and filters, apart from the writer's code.
std::string ViewBytes(const varnex::GltfDocument& doc, const json& view) {
  const size_t length = view["byteLength"];
  if (!view.contains("extensions")) return doc.bin.substr(view["byteOffset"].get<size_t>(), length);
  std::string out(length, '\0');
#if VARNEX_MESHOPT
  const json& packed = view["extensions"]["EXT_meshopt_compression"];
  EXPECT_EQ(view["buffer"], 1);
  EXPECT_EQ(packed["buffer"], 0);
  EXPECT_EQ(packed["mode"], "ATTRIBUTES");
  const size_t count = packed["count"], stride = packed["byteStride"];
  EXPECT_EQ(count * stride, length);
  const auto* from = reinterpret_cast<const unsigned char*>(doc.bin.data()) + packed["byteOffset"].get<size_t>();
  EXPECT_EQ(meshopt_decodeVertexBuffer(out.data(), count, stride, from, packed["byteLength"]), 0);
  const std::string filter = packed.value("filter", "NONE");
  if (filter == "QUATERNION") meshopt_decodeFilterQuat(out.data(), count, stride);
  if (filter == "EXPONENTIAL") meshopt_decodeFilterExp(out.data(), count, stride);
#else
  ADD_FAILURE() << "a compressed view from a varnex without libmeshoptimizer";
#endif
  return out;
}

// An accessor's values as a viewer reads them: floats, or normalized
// signed shorts as c / 32767, not below -1.
std::vector<double> Values(const varnex::GltfDocument& doc, int accessor, int& width) {
  const json& a = doc.json["accessors"][accessor];
  const json& view = doc.json["bufferViews"][a["bufferView"].get<int>()];
  static const std::map<std::string, int> widths = {{"SCALAR", 1}, {"VEC3", 3}, {"VEC4", 4}, {"MAT4", 16}};
  width = widths.at(a["type"].get<std::string>());
  const size_t count = a["count"].get<size_t>() * width;
  const std::string viewBytes = ViewBytes(doc, view);
  const char* bytes = viewBytes.data();
  if (a["componentType"] == 5126) {
    EXPECT_EQ(view["byteLength"].get<size_t>(), count * sizeof(float));
    std::vector<float> floats(count);
    std::memcpy(floats.data(), bytes, count * sizeof(float));
    return std::vector<double>(floats.begin(), floats.end());
  }
  EXPECT_EQ(a["componentType"], 5122);
  EXPECT_EQ(a.value("normalized", false), true);
  EXPECT_EQ(view["byteLength"].get<size_t>(), count * sizeof(int16_t));
  std::vector<int16_t> shorts(count);
  std::memcpy(shorts.data(), bytes, count * sizeof(int16_t));
  std::vector<double> values;
  for (int16_t c : shorts) values.push_back(std::max(c / 32767.0, -1.0));
  return values;
}

// A sampler's value at a time, interpolated as a viewer does (slerp for
// rotations), held at the ends.
std::vector<double> SamplerValue(const varnex::GltfDocument& doc, const json& sampler, float seconds) {
  int one, width;
  const std::vector<double> input = Values(doc, sampler["input"], one);
  const std::vector<double> output = Values(doc, sampler["output"], width);
  const size_t keys = input.size();
  EXPECT_EQ(keys * width, output.size());
  const size_t b = std::upper_bound(input.begin(), input.end(), double(seconds)) - input.begin();
  auto value = [&](size_t k) { return std::vector<double>(output.begin() + k * width, output.begin() + (k + 1) * width); };
  if (b == 0) return value(0);
  if (b == keys || input[b - 1] == seconds) return value(b - 1);
  const double u = (seconds - input[b - 1]) / (input[b] - input[b - 1]);
  std::vector<double> from = value(b - 1), to = value(b);
  if (width == 4) {
    const glm::dquat q = glm::slerp(glm::dquat(from[3], from[0], from[1], from[2]),
                                    glm::dquat(to[3], to[0], to[1], to[2]), u);
    return {q.x, q.y, q.z, q.w};
  }
  for (int i = 0; i < width; ++i) from[i] += u * (to[i] - from[i]);
  return from;
}

// World transforms of the document's nodes as a viewer shows them while it
// plays an animation at a time: parents first, each from its parent's.
std::vector<glm::dmat4> GltfWorldTransforms(const varnex::GltfDocument& doc, size_t animationIndex, float seconds) {
  const json& nodes = doc.json["nodes"];
  std::vector<glm::dvec3> t(nodes.size()), s(nodes.size());
  std::vector<glm::dquat> r(nodes.size());
  std::vector<int> parent(nodes.size(), -1);
  for (size_t i = 0; i < nodes.size(); ++i) {
    const json& n = nodes[i];
    t[i] = n.contains("translation") ? glm::dvec3(n["translation"][0], n["translation"][1], n["translation"][2])
                                     : glm::dvec3(0.0);
    s[i] = n.contains("scale") ? glm::dvec3(n["scale"][0], n["scale"][1], n["scale"][2]) : glm::dvec3(1.0);
    r[i] = n.contains("rotation") ? glm::dquat(n["rotation"][3], n["rotation"][0], n["rotation"][1], n["rotation"][2])
                                  : glm::dquat(1, 0, 0, 0);
    if (n.contains("children"))
      for (int c : n["children"]) parent[c] = int(i);
  }
  if (doc.json.contains("animations")) {
    const json& animation = doc.json["animations"][animationIndex];
    for (const json& channel : animation["channels"]) {
      const std::vector<double> v =
          SamplerValue(doc, animation["samplers"][channel["sampler"].get<int>()], seconds);
      const int node = channel["target"]["node"];
      const std::string path = channel["target"]["path"];
      if (path == "translation") t[node] = {v[0], v[1], v[2]};
      if (path == "scale") s[node] = {v[0], v[1], v[2]};
      if (path == "rotation") r[node] = glm::dquat(v[3], v[0], v[1], v[2]);
    }
  }
  std::vector<glm::dmat4> world(nodes.size());
  for (size_t i = 0; i < nodes.size(); ++i) {
    const glm::dmat4 local = glm::scale(glm::translate(glm::dmat4(1.0), t[i]) * glm::mat4_cast(r[i]), s[i]);
    EXPECT_LT(parent[i], int(i)) << "parents come first";
    world[i] = parent[i] < 0 ? local : world[parent[i]] * local;
  }
  return world;
}

// The turn of a world transform: its axes made unit length.
glm::dquat Orientation(const glm::dmat4& world) {
  glm::dmat3 axes(world);
  for (int c = 0; c < 3; ++c) axes[c] = glm::normalize(axes[c]);
  return glm::normalize(glm::quat_cast(axes));
}

// How far a node of the document may stand and turn from the take.
struct Bounds {
  double distance;  // world position
  double angle;     // world orientation, radians
};

// The bounds of the compact animation, and the float rounding of an exact one.
Bounds BoundsOf(const varnex::Take& take, bool exact) {
  if (exact) return {1e-5 * varnex::RestSize(take), 1e-5};
  return {varnex::kCompactionBound * varnex::RestSize(take), varnex::kCompactionAngle};
}

// At every sample of the take (every n-th), each node of the document
// stands within the bounds of the take's full-rate world position and
// orientation.
void ExpectTakeMatches(const varnex::GltfDocument& doc, size_t animation, const varnex::Take& take, bool exact,
                       size_t every = 1) {
  const Bounds bounds = BoundsOf(take, exact);
  // Every stored rotation is a unit quaternion, as the format requires.
  const json& channels = doc.json["animations"][animation]["channels"];
  for (const json& channel : channels) {
    if (channel["target"]["path"] != "rotation") continue;
    int width;
    const std::vector<double> q =
        Values(doc, doc.json["animations"][animation]["samplers"][channel["sampler"].get<int>()]["output"], width);
    for (size_t k = 0; k < q.size(); k += 4)
      ASSERT_NEAR(std::sqrt(q[k] * q[k] + q[k + 1] * q[k + 1] + q[k + 2] * q[k + 2] + q[k + 3] * q[k + 3]), 1.0, 1e-4) << "rotation key " << k / 4;
  }
  std::vector<glm::dmat4> world;
  for (size_t sample = 0; sample < std::max<size_t>(1, take.ticks.size()); sample += every) {
    const float seconds = take.ticks.empty() ? 0.0f : float(double(take.ticks[sample]) / take.ticksPerSecond);
    const std::vector<glm::dmat4> shown = GltfWorldTransforms(doc, animation, seconds);
    varnex::WorldTransforms(take, sample, world);
    for (size_t i = 0; i < take.nodes.size(); ++i) {
      ASSERT_LE(glm::length(glm::dvec3(shown[i][3]) - glm::dvec3(world[i][3])), bounds.distance)
          << take.nodes[i].name << " at sample " << sample;
      const double cosine = std::min(1.0, std::fabs(glm::dot(Orientation(shown[i]), Orientation(world[i]))));
      ASSERT_LE(2.0 * std::acos(cosine), bounds.angle) << take.nodes[i].name << " turned at sample " << sample;
    }
  }
}

varnex::GltfDocument BuildOne(const varnex::Take& take, const varnex::ExportSettings& settings = {}) {
  return varnex::BuildGltf({take}, take.name, settings);
}

}  // namespace

// The take holds the host's scene in the export's units and axes: a Z-up
// scene is turned about X so that its Z becomes Y, lengths are scaled, and
// the root's own motion takes its extra factor.
TEST(Take, HoldsTheSceneInTheExportUnitsAndAxes) {
  vxtest::ScratchDir scratch;
  ASSERT_EQ(vxtest::ImportIntoFreshHost(scratch.Write("orders.bvh", kOrders)), 0);
  const std::vector<const vxhost::Instance*> instances = vxhost::AllInstances();
  struct Case {
    varnex::ExportSettings settings;
  } cases[] = {{{}}, {{.scale = 0.01, .up = 'z'}}, {{.scale = 2.5, .up = 'y', .rootMotionScale = 3.0}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "scale " << c.settings.scale << " up " << c.settings.up);
    const varnex::Take take = varnex::CaptureTake("orders", c.settings);
    ASSERT_EQ(take.nodes.size(), instances.size());
    ASSERT_EQ(take.ticks, varnex::SampleTicks());
    std::vector<glm::dmat4> world;
    for (size_t sample = 0; sample < take.ticks.size(); ++sample) {
      varnex::WorldTransforms(take, sample, world);
      // The root (A, under the file's node) travels by the factor; its
      // descendants follow it.
      const glm::dvec3 root = vxhost::WorldPosition(*instances[1], take.ticks[sample]);
      for (size_t i = 0; i < instances.size(); ++i) {
        glm::dvec3 want = vxhost::WorldPosition(*instances[i], take.ticks[sample]);
        if (i > 0) want += (c.settings.rootMotionScale - 1.0) * root;
        if (c.settings.up == 'z') want = {want.x, want.z, -want.y};
        EXPECT_LE(glm::length(glm::dvec3(world[i][3]) - c.settings.scale * want), 1e-9 * c.settings.scale * 100)
            << instances[i]->name << " at sample " << sample;
      }
    }
    // The rest pose: offsets, no turn.
    for (size_t i = 1; i < instances.size(); ++i) {
      EXPECT_EQ(take.nodes[i].rest.rotation, glm::dquat(1, 0, 0, 0)) << take.nodes[i].name;
    }
  }
}

TEST(GltfExport, FollowsTheScene) {
  vxtest::ScratchDir scratch;
  ASSERT_EQ(vxtest::ImportIntoFreshHost(scratch.Write("wave.bvh", kWave)), 0);
  for (const bool exact : {false, true}) {
    SCOPED_TRACE(exact ? "exact" : "compact");
    const varnex::Take take = varnex::CaptureTake("wave", {});
    const varnex::GltfDocument doc = BuildOne(take, {.exact = exact});
    const std::vector<const vxhost::Instance*> instances = vxhost::AllInstances();
    const json& nodes = doc.json["nodes"];

    // One node per instance, in the same order, in the rest pose, then the skinned bone mesh.
    ASSERT_EQ(nodes.size(), instances.size() + 1);
    for (size_t i = 0; i < instances.size(); ++i) {
      EXPECT_EQ(nodes[i]["name"], instances[i]->name);
      EXPECT_FALSE(nodes[i].contains("rotation")) << instances[i]->name;
      const glm::dvec3 offset(instances[i]->staticTransform[3]);
      EXPECT_EQ(nodes[i]["translation"], json({float(offset.x), float(offset.y), float(offset.z)}));
    }
    EXPECT_EQ(nodes.back()["mesh"], 0);
    EXPECT_EQ(nodes.back()["skin"], 0);
    EXPECT_EQ(doc.json["skins"][0]["joints"].size(), instances.size());
    int width;
    const std::vector<double> inverseBind = Values(doc, doc.json["skins"][0]["inverseBindMatrices"], width);
    ASSERT_EQ(inverseBind.size(), 16 * instances.size());
    // The bind pose is the rest pose: the Chest's inverse undoes its offsets.
    EXPECT_EQ(inverseBind[16 * 2 + 13], -10.0);

    // One animation named after the take. Samplers only for what moves:
    // the Hips travel and turn, the Chest, the Arm and the Leg turn; the
    // file's node and the end sites hold their rest pose.
    const json& animation = doc.json["animations"][0];
    EXPECT_EQ(animation["name"], "wave");
    std::vector<std::string> targets;
    for (const json& channel : animation["channels"])
      targets.push_back(nodes[channel["target"]["node"].get<int>()]["name"].get<std::string>() + " " +
                        channel["target"]["path"].get<std::string>());
    EXPECT_EQ(targets, (std::vector<std::string>{"Hips translation", "Hips rotation", "Chest rotation",
                                                  "Arm rotation", "Leg rotation"}));
    const std::vector<double> seconds = Values(doc, animation["samplers"][0]["input"], width);
    if (exact) {
      ASSERT_EQ(seconds.size(), 4u);
      EXPECT_EQ(seconds[3], 480.0f / 4800);
    }
    // Rotations are normalized shorts in a compact animation, floats in an exact one.
    for (const json& channel : animation["channels"]) {
      const json& output = doc.json["accessors"][animation["samplers"][channel["sampler"].get<int>()]["output"].get<int>()];
      EXPECT_EQ(output["componentType"], channel["target"]["path"] == "rotation" && !exact ? 5122 : 5126);
    }
    ExpectTakeMatches(doc, 0, take, exact);
  }
}

// The plug-in gets each take under a path whose base name is the file's
// stem, with the ASF's motion where it looks for it; the working directory
// stays where it was, and its messages name the user's files.
TEST(StagedTake, NamesTheTakeAfterItsFileWithoutMovingTheProcess) {
  const vxtest::ScratchDir scratch;
  std::filesystem::create_directories(scratch.Path("in here"));
  const std::string bvh = scratch.Write("in here/Wave.BVH", kWave);
  scratch.Write("in here/arm.asf", vxtest::kArmAsf);
  scratch.Write("in here/bow.amc", vxtest::kArmAmc);
  scratch.Write("alone.asf", vxtest::kArmAsf);
  struct Case {
    varnex::TakeFiles take;
    const char* top;      // the top instance: a BVH file's stem, an ASF's :name
    bool moves;           // the motion was found
    const char* printed;  // a message it must print, or ""
  } const cases[] = {
      {{bvh, {}, "Wave"}, "Wave", true, ""},
      {{scratch.Path("in here/bow.amc"), scratch.Path("in here/arm.asf"), "bow"}, "fuzzarm", true, ""},
      {{scratch.Path("alone.asf"), scratch.Path("alone.asf"), "alone"}, "fuzzarm", false, "please provide "},
  };
  const std::filesystem::path before = std::filesystem::current_path();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.take.motion.string());
    varnex::StagedTake staged(c.take);
    EXPECT_EQ(std::filesystem::current_path(), before);
    ASSERT_EQ(vxtest::ImportIntoFreshHost(staged.PluginPath()), 0) << vxtest::HostErrorText();
    EXPECT_NE(vxhost::FindInstance(c.top), nullptr);
    EXPECT_EQ(vxhost::KeyCount() > 0, c.moves);
    if (*c.printed == '\0') continue;
    std::string said;
    for (const std::string& text : vxtest::PrintedTexts(true))
      if (text.find(c.printed) != std::string::npos) said = staged.AsTheUserNamedIt(text);
    EXPECT_NE(said.find(scratch.Path("alone.amc")), std::string::npos) << said;
  }
}

// Takes of one skeleton share a document, an animation each; a take of
// another skeleton is refused.
TEST(GltfExport, SeveralTakesOfOneSkeleton) {
  vxtest::ScratchDir scratch;
  std::string other = kWave;
  other.replace(other.find("0 30 0 0 0 0"), 12, "0 20 9 9 9 9");
  std::vector<varnex::Take> takes;
  for (const auto& [name, text] : {std::pair{"wave", std::string(kWave)}, std::pair{"other", other}}) {
    ASSERT_EQ(vxtest::ImportIntoFreshHost(scratch.Write(std::string(name) + ".bvh", text)), 0);
    takes.push_back(varnex::CaptureTake(name, {}));
  }
  const varnex::GltfDocument doc = varnex::BuildGltf(takes, "both", {});
  ASSERT_EQ(doc.json["animations"].size(), 2u);
  EXPECT_EQ(doc.json["skins"].size(), 1u);
  for (size_t a = 0; a < takes.size(); ++a) {
    EXPECT_EQ(doc.json["animations"][a]["name"], takes[a].name);
    ExpectTakeMatches(doc, a, takes[a], false);
  }

  ASSERT_EQ(vxtest::ImportIntoFreshHost(scratch.Write("orders.bvh", kOrders)), 0);
  takes.push_back(varnex::CaptureTake("orders", {}));
  std::string reason;
  EXPECT_FALSE(varnex::WriteGltfTakes(scratch.Path("all.glb"), takes, {}, reason));
  EXPECT_EQ(reason, "take orders does not share the skeleton of wave: it has 8 nodes, not 7");
  EXPECT_FALSE(std::filesystem::exists(scratch.Path("all.glb")));
}

TEST(GltfExport, EncodingsCarryTheSameDocument) {
  vxtest::ScratchDir scratch;
  ASSERT_EQ(vxtest::ImportIntoFreshHost(scratch.Write("wave.bvh", kWave)), 0);
  const std::vector<varnex::Take> takes = {varnex::CaptureTake("wave", {})};
  const varnex::GltfDocument doc = varnex::BuildGltf(takes, "wave", {});

  const std::string glb = varnex::EncodeGlb(doc);
  uint32_t header[5];
  std::memcpy(header, glb.data(), sizeof header);
  EXPECT_EQ(header[0], 0x46546C67u);
  EXPECT_EQ(header[2], glb.size());
  EXPECT_EQ(glb.size() % 4, 0u);
  EXPECT_EQ(json::parse(glb.substr(20, header[3])), doc.json);
  uint32_t bin[2];
  std::memcpy(bin, glb.data() + 20 + header[3], sizeof bin);
  EXPECT_EQ(bin[1], 0x004E4942u);
  EXPECT_EQ(glb.substr(28 + header[3]), doc.bin);

  const json text = json::parse(varnex::EncodeGltfText(doc));
  const std::string uri = text["buffers"][0]["uri"];
  EXPECT_EQ(uri.rfind("data:application/octet-stream;base64,", 0), 0u);
  EXPECT_EQ(text["buffers"][0]["byteLength"], doc.bin.size());

  // A glb file is written from its parts, not through EncodeGlb: the same bytes.
  std::string reason;
  ASSERT_TRUE(varnex::WriteGltfTakes(scratch.Path("wave.glb"), takes, {}, reason)) << reason;
  EXPECT_EQ(vxtest::ReadFile(scratch.Path("wave.glb")), glb);
}

// Takes made here, a chain of joints that all turn: smooth, or with noise
// that no segment can skip, long enough that the errors of many tracks add
// up at its end, far from the origin, or with a last joint that turns with
// nothing below it to show where it points. The compact animation keeps
// every node within the bounds at every sample, with fewer keys where it can.
TEST(GltfExport, CompactAnimationKeepsEveryNodeWithinTheBound) {
  struct Case {
    const char* name;
    int joints;
    double noise;   // radians
    double travel;  // units a second
    bool fewerKeys;
    bool endTurns;
  } cases[] = {{"smooth limb", 3, 0.0, 0.0, true, false},
               {"noisy limb", 3, 0.02, 0.0, false, false},
               {"long noisy chain", 40, 0.004, 0.0, false, false},
               {"far travel", 5, 0.002, 1000.0, false, false},
               {"turning end joint", 3, 0.0, 0.0, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> jitter(-c.noise, c.noise);
    varnex::Take take;
    take.name = c.name;
    for (int32_t tick = 0; tick < 4800 * 5; tick += 40) take.ticks.push_back(tick);
    for (int j = 0; j <= c.joints; ++j) {
      varnex::TakeNode node;
      node.name = "j" + std::to_string(j);
      node.parent = j - 1;
      node.rest.translation = j == 0 ? glm::dvec3(0.0) : glm::dvec3(0.0, 1.0, 0.0);
      for (size_t k = 0; (j < c.joints || c.endTurns) && k < take.ticks.size(); ++k) {
        const double t = take.ticks[k] / 4800.0;
        if (j == 0) node.translation.push_back({c.travel * t, 0.5 * std::sin(2.0 * t) + jitter(random), 0.0});
        const glm::dvec3 angles(0.6 * std::sin(1.3 * t + j) + jitter(random), 0.4 * std::cos(0.7 * t * j) + jitter(random),
                                jitter(random));
        glm::dquat q = glm::dquat(angles);
        if (!node.rotation.empty() && glm::dot(q, node.rotation.back()) < 0) q = -q;
        node.rotation.push_back(q);
      }
      take.nodes.push_back(std::move(node));
    }
    // Compressed, the bounds hold on the values as decoded.
    for (const bool compress : {false, true}) {
      if (compress && !varnex::CompressionAvailable()) continue;
      SCOPED_TRACE(compress ? "compressed" : "plain");
      const varnex::GltfDocument doc = BuildOne(take, {.compress = compress});
      EXPECT_EQ(doc.json.contains("extensionsRequired"), compress);
      ExpectTakeMatches(doc, 0, take, false);
      size_t keys = 0, full = 0;
      for (const json& sampler : doc.json["animations"][0]["samplers"]) {
        keys += doc.json["accessors"][sampler["input"].get<int>()]["count"].get<size_t>();
        full += take.ticks.size();
      }
      if (c.fewerKeys) {
        EXPECT_LT(keys, full / 4);
      }
      // Compressed, the parts that keep every sample share one input, their
      // values filtered: rotations as quaternions, translations as exponents.
      if (!compress) continue;
      std::set<int> everySample;
      for (const json& sampler : doc.json["animations"][0]["samplers"]) {
        const json& output = doc.json["accessors"][sampler["output"].get<int>()];
        if (output["count"] != take.ticks.size()) continue;
        everySample.insert(sampler["input"].get<int>());
        const json& view = doc.json["bufferViews"][output["bufferView"].get<int>()];
        EXPECT_EQ(view["extensions"]["EXT_meshopt_compression"].value("filter", "NONE"),
                  output["type"] == "VEC4" ? "QUATERNION" : "EXPONENTIAL");
      }
      EXPECT_EQ(everySample.size(), c.fewerKeys ? 0u : 1u);
    }
  }
}

// Every seventh sample of each real file; every sample of the takes whose
// thumbs, short bones at the end of long chains, turn furthest.
TEST(GltfExport, RealFilesMatchTheScene) {
  const std::vector<std::string> files = vxtest::RealFiles();
  if (files.empty()) GTEST_SKIP() << "no real mocap files at " << VARNEX_SHARED_MOCAP;
  const std::vector<std::string> everySample = {"bvh/cmu_cgspeed_12_01_walk.bvh", "acclaim/cmu_09/09_06-run.asf"};
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    const bool all = std::any_of(everySample.begin(), everySample.end(), [&](const std::string& end) {
      return file.size() >= end.size() && file.compare(file.size() - end.size(), end.size(), end) == 0;
    });
    ASSERT_EQ(vxtest::ImportIntoFreshHost(file), 0);
    if (vxhost::AllInstances().empty()) continue;
    // Each compaction is many times slower under the sanitizers: there the
    // turned and compressed variants run on the chosen files only.
    std::vector<varnex::ExportSettings> variants = {{}};
    if (all || !vxtest::kSanitized) variants.insert(variants.end(), {{.scale = 0.01, .up = 'z'}, {.compress = true}});
    for (const varnex::ExportSettings& settings : variants) {
      const varnex::Take take = varnex::CaptureTake("take", settings);
      const varnex::GltfDocument doc = BuildOne(take, settings);
      ASSERT_EQ(doc.json.value("nodes", json::array()).size(), vxhost::AllInstances().size() + 1);
      ExpectTakeMatches(doc, 0, take, false, all ? 1 : 7);
    }
  }
}

TEST(SceneJson, HoldsInstancesAndChannels) {
  vxtest::ScratchDir scratch;
  ASSERT_EQ(vxtest::ImportIntoFreshHost(scratch.Write("wave.bvh", kWave), {.reduceRotation = true}), 0);
  const json scene = json::parse(varnex::SceneJsonText("wave.bvh", {}));
  EXPECT_EQ(scene["frameRate"], vxhost::FrameRate());
  EXPECT_EQ(scene["keyCount"], vxhost::KeyCount());
  ASSERT_EQ(scene["instances"].size(), vxhost::AllInstances().size());
  for (const json& instance : scene["instances"]) {
    const vxhost::Instance* host = vxhost::FindInstance(instance["name"].get<std::string>());
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(instance["skeleton"]["jointNode"], host->jointNode);
    EXPECT_EQ(instance["eulerOrderCode"], host->eulerOrder);
    for (const json& channel : instance["channels"]) {
      const vxhost::Channel& c = *host->channels[channel["entry"].get<int>()];
      ASSERT_EQ(channel["keys"].size(), c.keys.size());
      for (size_t k = 0; k < c.keys.size(); ++k) {
        EXPECT_EQ(channel["keys"][k][0], c.keys[k].time);
        EXPECT_EQ(channel["keys"][k][1].get<float>(), c.keys[k].value);
      }
      EXPECT_EQ(channel.contains("reductionRequests"), c.reductionRequests > 0);
    }
    EXPECT_EQ(instance["eulerOrder"] == "ZYX", instance["name"] == "Chest") << instance["name"];
  }
}

TEST(SvgPreview, DrawsEveryBoneInEveryCell) {
  vxtest::ScratchDir scratch;
  ASSERT_EQ(vxtest::ImportIntoFreshHost(scratch.Write("wave.bvh", kWave)), 0);
  const std::string svg = varnex::RenderSvgPreview(scratch.Path("wave.bvh"), {});
  EXPECT_NE(svg.find(">wave.bvh<"), std::string::npos);
  EXPECT_NE(svg.find("front, frame 0"), std::string::npos);
  EXPECT_NE(svg.find("side, frame 3"), std::string::npos);
  size_t bones = 0;
  for (const vxhost::Instance* instance : vxhost::AllInstances()) bones += varnex::DrawsBoneFromParent(*instance);
  EXPECT_EQ(bones, vxhost::AllInstances().size() - 2);  // none to the file's node, none above it
  size_t lines = 0;
  for (size_t at = svg.find("<line"); at != std::string::npos; at = svg.find("<line", at + 1)) ++lines;
  EXPECT_EQ(lines, bones * 4 * 2);  // four frames, two views
}

// -- What a take means

namespace {

// A small figure for the meaning's rules: a biped whose legs swing while
// its hips travel along its forward axis, or a quadruped that stands,
// breathing, away from the origin. Written Y-up, or turned a quarter about
// X so that Z is up; position channels on every joint may repeat its offset.
struct FigureShape {
  bool quadruped = false, zUp = false, positionsRepeatOffset = false, standsStill = false;
  int travellingJoints = 0;  // joints whose position channels carry motion of their own
};

std::string FigureBvh(const FigureShape& shape) {
  struct Joint {
    const char* name;
    int parent;
    glm::dvec3 offset;
    bool swings;  // a leg: turns about x
  };
  std::vector<Joint> joints;
  if (shape.quadruped)
    joints = {{"Body", -1, {500, 12, -300}, false}, {"Neck", 0, {0, 4, 10}, false}, {"Head", 1, {0, 2, 6}, false},
              {"Tail", 0, {0, 0, -12}, false},      {"FrontL", 0, {3, 0, 8}, false},  {"FrontLFoot", 4, {0, -12, 0}, false},
              {"FrontR", 0, {-3, 0, 8}, false},     {"FrontRFoot", 6, {0, -12, 0}, false},
              {"HindL", 0, {3, 0, -8}, false},      {"HindLFoot", 8, {0, -12, 0}, false},
              {"HindR", 0, {-3, 0, -8}, false},     {"HindRFoot", 10, {0, -12, 0}, false}};
  else
    joints = {{"Hips", -1, {0, 18, 0}, false},   {"Spine", 0, {0, 10, 0}, false}, {"Head", 1, {0, 8, 0}, false},
              {"LeftLeg", 0, {3, 0, 0}, true},   {"LeftFoot", 3, {0, -18, 2}, false},
              {"RightLeg", 0, {-3, 0, 0}, true}, {"RightFoot", 5, {0, -18, 2}, false}};
  // Z up: (x, y, z) becomes (x, -z, y), a quarter turn about X, which leaves turns about X alone.
  auto axes = [&](glm::dvec3 v) { return shape.zUp ? glm::dvec3(v.x, -v.z, v.y) : v; };
  std::ostringstream out;
  out << "HIERARCHY\n";
  std::vector<int> open;
  for (size_t j = 0; j < joints.size(); ++j) {
    while (!open.empty() && open.back() != joints[j].parent) {
      out << "}\n";
      open.pop_back();
    }
    const glm::dvec3 offset = axes(j == 0 ? glm::dvec3(0.0) : joints[j].offset);
    out << (j == 0 ? "ROOT " : "JOINT ") << joints[j].name << "\n{\nOFFSET " << offset.x << " " << offset.y << " "
        << offset.z << "\nCHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n";
    open.push_back(int(j));
  }
  for (; !open.empty(); open.pop_back()) out << "End Site\n{\nOFFSET 0 0 0\n}\n}\n";
  constexpr int kFrames = 40;
  out << "MOTION\nFrames: " << kFrames << "\nFrame Time: 0.0333333\n";
  for (int f = 0; f < kFrames; ++f) {
    const double phase = 2.0 * std::numbers::pi * f / 20.0;
    for (size_t j = 0; j < joints.size(); ++j) {
      glm::dvec3 position = shape.positionsRepeatOffset ? joints[j].offset : glm::dvec3(0.0);
      if (j == 0) {
        const bool travels = !shape.quadruped && !shape.standsStill;
        position = joints[0].offset + (travels ? glm::dvec3(0, 0, 2.0 * f) : glm::dvec3(0, 0.1 * std::sin(phase), 0));
      } else if (int(j) <= shape.travellingJoints) {
        position += glm::dvec3(1.0 + 0.5 * f, 0, 0);
      }
      position = axes(position);
      const double swing = joints[j].swings && !shape.standsStill ? (j == 3 ? 25.0 : -25.0) * std::sin(phase) : 0.0;
      out << position.x << " " << position.y << " " << position.z << " 0 " << swing << " 0 ";
    }
    out << "\n";
  }
  return out.str();
}

// World positions of every node of a take at a sample.
std::vector<glm::dvec3> Positions(const varnex::Take& take, size_t sample) {
  std::vector<glm::dmat4> world;
  varnex::WorldTransforms(take, sample, world);
  std::vector<glm::dvec3> positions;
  for (const glm::dmat4& m : world) positions.emplace_back(m[3]);
  return positions;
}

// World positions of every instance of a scene JSON at a time, read as a
// tool would: channels keyed at every frame give T·R(order)·S, anything
// else its static transform.
std::vector<glm::dvec3> JsonPositions(const json& scene, int32_t ticks) {
  std::map<std::string, size_t> index;
  std::vector<glm::dmat4> world;
  std::vector<glm::dvec3> positions;
  for (const json& instance : scene["instances"]) {
    glm::dmat4 local(1.0);
    const json& channels = instance["channels"];
    if (channels.empty()) {
      const std::vector<double> m = instance["staticTransform"].get<std::vector<double>>();
      for (int e = 0; e < 16; ++e) local[e / 4][e % 4] = m[size_t(e)];
    } else {
      double value[9] = {0, 0, 0, 1, 1, 1, 0, 0, 0};
      for (const json& channel : channels)
        for (const json& key : channel["keys"])
          if (key[0].get<int32_t>() == ticks) value[channel["entry"].get<int>() - vxhost::kTranslateX] = key[1];
      local = glm::translate(glm::dmat4(1.0), glm::dvec3(value[0], value[1], value[2])) *
              vxhost::EulerRotation(instance["eulerOrderCode"], value[6], value[7], value[8]) *
              glm::scale(glm::dmat4(1.0), glm::dvec3(value[3], value[4], value[5]));
    }
    const json& parent = instance["parent"];
    const auto up = parent.is_null() ? index.end() : index.find(parent.get<std::string>());
    world.push_back(up == index.end() ? local : world[up->second] * local);
    index[instance["name"].get<std::string>()] = world.size() - 1;
    positions.emplace_back(world.back()[3]);
  }
  return positions;
}

}  // namespace

// Each rule on a figure of our own: the floor, or the figure's shape, tells
// which axis is up; position channels that repeat the offsets replace them;
// a height scales the rest pose to it. Exports then show the figure upright,
// bones at their length, first frame as its rest pose.
TEST(TakeMeaning, DecidesWhatAFigureMeans) {
  struct Case {
    const char* name;
    FigureShape shape;
    varnex::MeaningOptions options;
    char up;
    bool replace;
    const char* line;  // after "varnex: figure: "
  } cases[] = {
      {"walker, Y up", {}, {}, 'y', false,
       "up y (its lowest joints come back to one level in 100% of frames along y, 10% along z)"},
      {"walker, Z up", {.zUp = true}, {}, 'z', false,
       "up z (its lowest joints come back to one level in 12% of frames along y, 100% along z)"},
      // Longer along z than tall, and far from the origin: still Y-up.
      {"quadruped, Y up", {.quadruped = true}, {}, 'y', false,
       "up y (no floor tells y from z (one level in 100% of frames along y, 100% along z), and the figure is not "
       "2 times as tall along z as along y (1.6))"},
      {"standing still, Z up", {.zUp = true, .standsStill = true}, {}, 'z', false,
       "up z (no floor tells y from z (one level in 100% of frames along y, 100% along z), and the figure is "
       "2 times as tall along z as along y (18))"},
      {"positions repeat offsets", {.quadruped = true, .positionsRepeatOffset = true}, {}, 'y', true,
       "joint positions replace OFFSET (at the first frame 11 of 11 joints with position channels hold their "
       "OFFSET); up y (no floor tells y from z (one level in 100% of frames along y, 100% along z), and the figure "
       "is not 2 times as tall along z as along y (1.6))"},
      // One joint in ten may carry motion of its own (a Hips under a fixed root); two may not.
      {"one joint travels", {.quadruped = true, .positionsRepeatOffset = true, .travellingJoints = 1},
       {.up = "y"}, 'y', true,
       "joint positions replace OFFSET (at the first frame 10 of 11 joints with position channels hold their OFFSET)"},
      {"two joints travel", {.quadruped = true, .positionsRepeatOffset = true, .travellingJoints = 2},
       {.up = "y"}, 'y', false, ""},
      {"asked to add", {.quadruped = true, .positionsRepeatOffset = true}, {.up = "y", .jointPositions = "add"},
       'y', false, ""},
      {"as built", {.zUp = true, .positionsRepeatOffset = true}, {.asBuilt = true}, 'y', false, ""},
      {"height", {.zUp = true}, {.height = 1.75}, 'z', false,
       "up z (its lowest joints come back to one level in 12% of frames along y, 100% along z); height 1.75 (the "
       "rest pose stands 36 tall: lengths \u00d7 0.0486111)"},
  };
  vxtest::ScratchDir scratch;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(vxtest::ImportIntoFreshHost(scratch.Write("figure.bvh", FigureBvh(c.shape))), 0);
    const varnex::Meaning meaning = varnex::DecideMeaning(c.options, 1.0);
    EXPECT_EQ(meaning.settings.up, c.up);
    EXPECT_EQ(meaning.settings.replaceJointPositions, c.replace);
    EXPECT_EQ(varnex::MeaningLine("figure", meaning), *c.line ? std::string("varnex: figure: ") + c.line : "");
    // Exported, the figure stands as tall as asked along Y, and where its
    // channels replace the offsets, its first frame is its rest pose.
    const varnex::Take take = varnex::CaptureTake("figure", meaning.settings);
    EXPECT_NEAR(meaning.height, varnex::RestExtent(take, 1), 1e-9);
    if (c.options.height > 0.0) {
      EXPECT_NEAR(meaning.height, c.options.height, 1e-9);
    }
    const std::vector<glm::dvec3> first = Positions(take, 0);
    glm::dvec3 rest(0.0);
    double worst = 0.0;
    for (size_t i = 2; i < take.nodes.size() && c.shape.positionsRepeatOffset; ++i) {
      // Children of the root, at its position plus their offset; the neck may travel.
      if (take.nodes[i].parent != 1 || take.nodes[i].name == "Neck") continue;
      rest = first[1] + take.nodes[i].rest.translation;
      worst = std::max(worst, glm::length(first[i] - rest));
    }
    if (c.shape.positionsRepeatOffset) {
      EXPECT_EQ(worst <= 1e-4, c.replace) << "bones " << worst << " off their offsets at the first frame";
    }
    // The scene JSON, read back with the host's rules, stands where the take does.
    const json scene = json::parse(varnex::SceneJsonText("figure.bvh", meaning.settings));
    const json& keys = scene["instances"][1]["channels"][0]["keys"];
    for (const size_t k : {size_t(0), keys.size() / 2, keys.size() - 1}) {
      const int32_t ticks = keys[k][0].get<int32_t>();
      const size_t sample = size_t(std::find(take.ticks.begin(), take.ticks.end(), ticks) - take.ticks.begin());
      ASSERT_LT(sample, take.ticks.size());
      const std::vector<glm::dvec3> fromJson = JsonPositions(scene, ticks);
      const std::vector<glm::dvec3> exported = Positions(take, sample);
      ASSERT_EQ(fromJson.size(), exported.size());
      for (size_t i = 0; i < exported.size(); ++i)
        EXPECT_LT(glm::length(fromJson[i] - exported[i]), 1e-4 * std::max(1.0, meaning.height))
            << take.nodes[i].name << " at sample " << sample;
    }
  }
}

// Every real take, read as it means by default: Z-up files turned upright
// and no other, and an Acclaim take on its floor at its first frame.
TEST(TakeMeaning, RealFilesStandUpright) {
  const std::vector<std::string> files = vxtest::RealFiles();
  if (files.empty()) GTEST_SKIP() << "no real mocap files at " << VARNEX_SHARED_MOCAP;
  const std::set<std::string> zUp = {"pybvh_bvh_test1.bvh", "pybvh_bvh_test3.bvh", "video2bvh_cxk.bvh"};
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    ASSERT_EQ(vxtest::ImportIntoFreshHost(file), 0);
    const bool acclaim = varnex::IsAsfFile(file);
    const varnex::Meaning meaning = varnex::DecideMeaning({}, acclaim ? varnex::AsfUnitLength(file) : 1.0);
    const std::string name = std::filesystem::path(file).filename().string();
    EXPECT_EQ(meaning.settings.up, zUp.count(name) ? 'z' : 'y');
    if (name != "01_01.asf") continue;
    const varnex::Take take = varnex::CaptureTake("take", meaning.settings);
    const std::vector<glm::dvec3> first = Positions(take, 0);
    double lo = INFINITY, hi = -INFINITY;
    for (const glm::dvec3& p : first) lo = std::min(lo, p.y), hi = std::max(hi, p.y);
    EXPECT_LE(std::abs(lo), 0.05 * (hi - lo)) << "lowest point " << lo << " of a figure " << hi - lo << " tall";
  }
}

// -- Frames, rate and in place, on the walker (40 frames at 30 fps, its
// hips travelling along z while its legs swing)

// Each edit against the whole take: a kept frame is the take's frame
// exactly, a new one between frames is where the scene's own curves put it
// (one-axis turns: slerp and the curves agree, to the curves' floats).
TEST(TakeEdits, KeepAndRetimeTheTake) {
  struct Case {
    const char* name;
    varnex::TakeEdits edits;
    size_t frames;
    double first, step;  // the whole take's frame at kept frame k: first + k × step
    int32_t rate;
  } cases[] = {
      {"a range", {.firstFrame = 10, .endFrame = 20}, 10, 10, 1, 30},
      {"the last five", {.firstFrame = -5}, 5, 35, 1, 30},
      {"all but the last", {.endFrame = -1}, 39, 0, 1, 30},
      {"an end beyond the take", {.firstFrame = 38, .endFrame = 100}, 2, 38, 1, 30},
      {"one frame", {.firstFrame = 7, .endFrame = 8}, 1, 7, 1, 30},
      {"half the rate", {.fps = 15}, 20, 0, 2, 15},
      {"twice the rate", {.fps = 60}, 79, 0, 0.5, 60},
      {"its own rate", {.fps = 30}, 40, 0, 1, 30},
      {"a rate that meets few frames", {.fps = 12}, 16, 0, 2.5, 12},
      {"a range at another rate", {.firstFrame = -10, .fps = 12}, 4, 30, 2.5, 12},
      {"one frame at a higher rate", {.firstFrame = 3, .endFrame = 4, .fps = 60}, 1, 3, 0, 60},
  };
  vxtest::ScratchDir scratch;
  ASSERT_EQ(vxtest::ImportIntoFreshHost(scratch.Write("walker.bvh", FigureBvh({}))), 0);
  const std::vector<const vxhost::Instance*> instances = vxhost::AllInstances();
  const varnex::Take whole = varnex::CaptureTake("walker", {});
  ASSERT_EQ(whole.ticks.size(), 40u);
  ASSERT_EQ(whole.frameRate, 30);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(varnex::TakeEditsProblem(c.edits, whole.ticks.size()).empty());
    const varnex::Take take = varnex::CaptureTake("walker", {.edits = c.edits});
    ASSERT_EQ(take.ticks.size(), c.frames);
    EXPECT_EQ(take.frameRate, c.rate);
    EXPECT_EQ(take.ticks, varnex::EditedTicks(whole.ticks, c.edits));
    for (size_t k = 0; k < c.frames; ++k) {
      EXPECT_EQ(take.ticks[k], varnex::FrameTick(int64_t(k), c.rate));
      const double frame = c.first + double(k) * c.step;
      const std::vector<glm::dvec3> got = Positions(take, k);
      if (frame == std::floor(frame)) {
        EXPECT_EQ(got, Positions(whole, size_t(frame))) << "frame " << k;
        continue;
      }
      for (size_t i = 0; i < instances.size(); ++i) {
        const glm::dvec3 want = vxhost::WorldPosition(*instances[i], frame * vxhost::kTicksPerSecond / 30.0);
        EXPECT_LE(glm::length(got[i] - want), 1e-6 * 50) << instances[i]->name << " at frame " << k;
      }
    }
  }
}

// In place, the hips keep their first place on the ground and their height;
// every joint keeps its place about them.
TEST(TakeEdits, InPlaceKeepsTheWalkOnTheSpot) {
  vxtest::ScratchDir scratch;
  for (const bool zUp : {false, true}) {
    SCOPED_TRACE(zUp ? "Z up" : "Y up");
    ASSERT_EQ(vxtest::ImportIntoFreshHost(scratch.Write("walker.bvh", FigureBvh({.zUp = zUp}))), 0);
    const varnex::ExportSettings settings = varnex::DecideMeaning({}, 1.0).settings;
    const varnex::Take whole = varnex::CaptureTake("walker", settings);
    for (const int64_t first : {0, 10}) {
      varnex::ExportSettings held = settings;
      held.edits = {.firstFrame = first, .inPlace = true};
      const varnex::Take take = varnex::CaptureTake("walker", held);
      ASSERT_EQ(take.nodes[1].name, "Hips");
      const glm::dvec3 start = Positions(take, 0)[1];
      EXPECT_EQ(glm::dvec2(start.x, start.z), glm::dvec2(Positions(whole, size_t(first))[1].x,
                                                        Positions(whole, size_t(first))[1].z));
      for (size_t k = 0; k < take.ticks.size(); ++k) {
        const std::vector<glm::dvec3> got = Positions(take, k), was = Positions(whole, k + size_t(first));
        EXPECT_NEAR(got[1].x, start.x, 1e-9);
        EXPECT_NEAR(got[1].z, start.z, 1e-9);
        EXPECT_NEAR(got[1].y, was[1].y, 1e-9);
        for (size_t i = 2; i < got.size(); ++i)
          EXPECT_LE(glm::length((got[i] - got[1]) - (was[i] - was[1])), 1e-9) << take.nodes[i].name << " " << k;
      }
    }
  }
}

// --frames as written: what each range keeps of a take of 24 frames, and
// the words for one that keeps none.
TEST(TakeEdits, FrameRangesAsWritten) {
  struct Case {
    const char* text;
    size_t first, end;    // kept of 24 frames
    const char* refused;  // when the text is, the reason; when the take is, the problem
  } cases[] = {
      {"10:20", 10, 20, ""},
      {"-5:", 19, 24, ""},
      {":3", 0, 3, ""},
      {"+2:-1", 2, 23, ""},
      {"20:100", 20, 24, ""},
      {"10:-20", 0, 0, "--frames 10:-20 keeps no frame of the take's 24 frames"},
      {"30:", 0, 0, "--frames 30: keeps no frame of the take's 24 frames"},
      {"5:5", 0, 0, "5:5 keeps no frame: frames A to B-1 are kept, and 5 is not before 5"},
      {"-2:-5", 0, 0, "-2:-5 keeps no frame: frames A to B-1 are kept, and -2 is not before -5"},
      {"-3:0", 0, 0, "-3:0 keeps no frame: frames A to B-1 are kept, and none is before 0"},
      {"1.5:3", 0, 0, "must be A:B, A: or :B with whole frame numbers (negative ones count from the end), not 1.5:3"},
      {":", 0, 0, "must be A:B, A: or :B with whole frame numbers (negative ones count from the end), not :"},
      {"12", 0, 0, "must be A:B, A: or :B with whole frame numbers (negative ones count from the end), not 12"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    varnex::TakeEdits edits;
    std::string error;
    const bool read = varnex::ParseFrameRange(c.text, edits, error);
    if (!read) {
      EXPECT_EQ(error, c.refused);
      continue;
    }
    EXPECT_EQ(varnex::ParseFrameRange(varnex::FrameRangeText(edits), edits, error), true);
    const varnex::FrameSpan span = varnex::KeptFrames(edits, 24);
    EXPECT_EQ(span.first, c.first);
    EXPECT_EQ(span.end, c.end);
    EXPECT_EQ(varnex::TakeEditsProblem(edits, 24), c.refused);
  }
}

// -- BVH export

namespace {

// An independent reading of a BVH file, by its text alone: every joint's and
// End Site's world position at every frame, rotation channels composed in
// their listed order (the first outermost), position channels added to the
// OFFSET. End Sites are named "End Site of PARENT #k".
struct BvhReading {
  std::vector<std::string> names;
  std::vector<std::vector<glm::dvec3>> positions;  // [frame][joint]
  double frameTime = 0.0;
};

BvhReading ReadBvh(const std::string& path) {
  std::ifstream in(path);
  BvhReading bvh;
  std::vector<int> parent, open;
  std::vector<glm::dvec3> offset;
  std::vector<std::vector<std::string>> channels;
  std::map<std::string, int> sites;
  std::string word;
  while (in >> word && word != "MOTION") {
    if (word == "ROOT" || word == "JOINT" || word == "End") {
      std::string name;
      in >> name;
      if (word == "End") name = "End Site of " + bvh.names[size_t(open.back())] + " #" +
                                std::to_string(sites[bvh.names[size_t(open.back())]]++);
      bvh.names.push_back(name);
      parent.push_back(open.empty() ? -1 : open.back());
      offset.emplace_back(0.0);
      channels.emplace_back();
    } else if (word == "{") {
      open.push_back(int(bvh.names.size()) - 1);
    } else if (word == "}") {
      open.pop_back();
    } else if (word == "OFFSET") {
      in >> offset.back().x >> offset.back().y >> offset.back().z;
    } else if (word == "CHANNELS") {
      size_t count = 0;
      in >> count;
      channels.back().resize(count);
      for (std::string& channel : channels.back()) in >> channel;
    }
  }
  size_t frames = 0;
  in >> word >> frames >> word >> word >> bvh.frameTime;
  std::vector<glm::dmat4> world(bvh.names.size());
  for (size_t f = 0; f < frames; ++f) {
    bvh.positions.emplace_back();
    for (size_t j = 0; j < bvh.names.size(); ++j) {
      glm::dvec3 place = offset[j];
      glm::dmat4 turn(1.0);
      for (const std::string& channel : channels[j]) {
        double value = 0.0;
        in >> value;
        const int axis = channel[0] - 'X';
        glm::dvec3 unit(0.0);
        unit[axis] = 1.0;
        if (channel.find("position") != std::string::npos) place[axis] += value;
        else turn = turn * glm::rotate(glm::dmat4(1.0), glm::radians(value), unit);
      }
      const glm::dmat4 local = glm::translate(glm::dmat4(1.0), place) * turn;
      world[j] = parent[j] < 0 ? local : world[size_t(parent[j])] * local;
      bvh.positions.back().emplace_back(world[j][3]);
    }
  }
  return bvh;
}

// Names for a take's nodes that a BVH keeps: the node's own, or for a still
// end of a chain, the End Site it becomes.
std::vector<std::string> BvhNames(const varnex::Take& take) {
  std::vector<size_t> children(take.nodes.size(), 0);
  for (const varnex::TakeNode& node : take.nodes)
    if (node.parent >= 0) ++children[size_t(node.parent)];
  std::vector<std::string> names;
  std::map<std::string, int> sites;
  for (size_t i = 0; i < take.nodes.size(); ++i) {
    const varnex::TakeNode& node = take.nodes[i];
    const bool site = node.parent >= 0 && children[i] == 0 && node.translation.size() <= 1;
    const std::string& parent = node.parent >= 0 ? take.nodes[size_t(node.parent)].name : "";
    names.push_back(site ? "End Site of " + parent + " #" + std::to_string(sites[parent]++) : node.name);
  }
  return names;
}

// The largest distance, over every frame and every node both name, between
// the take and the positions given, and how many nodes matched.
double WorstDistance(const varnex::Take& take, const std::vector<std::string>& names,
                     const std::vector<std::vector<glm::dvec3>>& positions, size_t& matched) {
  std::map<std::string, size_t> index;
  for (size_t j = 0; j < names.size(); ++j) index[names[j]] = j;
  const std::vector<std::string> takeNames = BvhNames(take);
  double worst = 0.0;
  matched = 0;
  for (size_t f = 0; f < positions.size(); ++f) {
    const std::vector<glm::dvec3> want = Positions(take, f);
    for (size_t i = 0; i < take.nodes.size(); ++i) {
      const auto found = index.find(takeNames[i]);
      if (found == index.end()) continue;
      matched += f == 0 ? 1 : 0;
      worst = std::max(worst, glm::length(positions[f][found->second] - want[i]));
    }
  }
  return worst;
}

}  // namespace

// Every order's angles give the rotation back, at gimbal lock too.
TEST(BvhExport, EulerAnglesInEveryOrder) {
  const std::array<int, 3> orders[] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
  std::mt19937 random(7);
  std::uniform_real_distribution<double> angle(-180.0, 180.0);
  for (const std::array<int, 3>& listed : orders) {
    for (int n = 0; n < 40; ++n) {
      // Every tenth turn has its middle angle at ±90°.
      glm::dvec3 angles(angle(random), n % 10 == 0 ? (n % 20 ? 90.0 : -90.0) : angle(random) / 2, angle(random));
      glm::dquat q(1, 0, 0, 0);
      for (int i = 0; i < 3; ++i) {
        glm::dvec3 unit(0.0);
        unit[listed[i]] = 1.0;
        q = q * glm::angleAxis(glm::radians(angles[i]), unit);
      }
      const glm::dvec3 got = varnex::ListedEulerAngles(q, listed);
      glm::dquat back(1, 0, 0, 0);
      for (int i = 0; i < 3; ++i) {
        glm::dvec3 unit(0.0);
        unit[listed[i]] = 1.0;
        back = back * glm::angleAxis(glm::radians(got[i]), unit);
      }
      EXPECT_GE(std::abs(glm::dot(q, back)), 1.0 - 1e-12) << listed[0] << listed[1] << listed[2] << " " << n;
    }
  }
}

// Takes written as BVH and read back, by our import and by the reading
// above: every joint and End Site where the take has it at every frame,
// within 1e-5 of the figure's size, at the take's rate.
TEST(BvhExport, ReadsBackAsTheTake) {
  struct Case {
    std::string file;  // a sample's text or a real file's name
    const char* text;
    varnex::TakeEdits edits;
  } cases[] = {
      {"orders.bvh", kOrders, {}},
      {"wave.bvh", kWave, {}},
      {"walker.bvh", nullptr, {}},  // Z up, stood upright
      {"wave.bvh", kWave, {.firstFrame = 1, .fps = 45, .inPlace = true}},
      {"figure.asf", nullptr, {}},
      {"pybvh_bvh_test1.bvh", nullptr, {}},
      {"sl_avatar_walk_15fps.bvh", nullptr, {}},
      {"01_01.asf", nullptr, {.endFrame = 600}},
  };
  vxtest::ScratchDir scratch;
  std::map<std::string, std::string> real;
  for (const std::string& file : vxtest::RealFiles()) real[std::filesystem::path(file).filename().string()] = file;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string source;
    if (c.text) source = scratch.Write(c.file, c.text);
    else if (c.file == "walker.bvh") source = scratch.Write(c.file, FigureBvh({.zUp = true}));
    else if (c.file == "figure.asf") source = std::string(VARNEX_SAMPLES) + "/figure.asf";
    else if (real.count(c.file)) source = real[c.file];
    else continue;  // a real file that is not here
    ASSERT_EQ(vxtest::ImportIntoFreshHost(source), 0);
    const bool acclaim = varnex::IsAsfFile(source);
    varnex::ExportSettings settings = varnex::DecideMeaning({}, acclaim ? varnex::AsfUnitLength(source) : 1.0).settings;
    settings.edits = c.edits;
    const varnex::Take take = varnex::CaptureTake("take", settings);
    const double size = varnex::RestSize(take);
    const std::string written = scratch.Path("take.bvh");
    std::string error;
    ASSERT_TRUE(varnex::WriteBvh(written, {take}, settings, error)) << error;

    const BvhReading reading = ReadBvh(written);
    ASSERT_EQ(reading.positions.size(), std::max<size_t>(1, take.ticks.size()));
    EXPECT_EQ(std::lround(1.0 / reading.frameTime), take.frameRate);
    size_t matched = 0;
    EXPECT_LE(WorstDistance(take, reading.names, reading.positions, matched), 1e-5 * size);
    EXPECT_GE(matched + 1, take.nodes.size());  // all but the node named after the file

    ASSERT_EQ(vxtest::ImportIntoFreshHost(written), 0);
    const varnex::Take back = varnex::CaptureTake("back", {});
    ASSERT_EQ(back.ticks.size(), reading.positions.size());
    std::vector<std::vector<glm::dvec3>> imported;
    for (size_t f = 0; f < back.ticks.size(); ++f) imported.push_back(Positions(back, f));
    EXPECT_LE(WorstDistance(take, BvhNames(back), imported, matched), 1e-5 * size);
    EXPECT_GE(matched + 1, take.nodes.size());
    EXPECT_EQ(back.frameRate, take.frameRate);
    // Each joint turns in the take's own order.
    std::map<std::string, int32_t> orders;
    for (const varnex::TakeNode& node : back.nodes) orders[node.name] = node.eulerOrder;
    for (const varnex::TakeNode& node : take.nodes)
      if (node.joint && orders.count(node.name)) {
        EXPECT_EQ(orders[node.name], node.eulerOrder) << node.name;
      }
  }
}

// What a BVH cannot hold is refused with its reason.
TEST(BvhExport, RefusesWhatItCannotHold) {
  vxtest::ScratchDir scratch;
  ASSERT_EQ(vxtest::ImportIntoFreshHost(scratch.Write("wave.bvh", kWave)), 0);
  const varnex::Take take = varnex::CaptureTake("wave", {});
  varnex::Take scaled = take;
  scaled.nodes[2].scale = {glm::dvec3(1.0), glm::dvec3(2.0)};
  struct Case {
    const char* name;
    std::vector<varnex::Take> takes;
    const char* error;
  } cases[] = {
      {"two takes", {take, take}, "a BVH file holds one take, not 2; several takes go into one glTF file (-o OUT.glb)"},
      {"a scale", {scaled}, "\"Chest\" scales, which a BVH cannot hold"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    EXPECT_FALSE(varnex::WriteBvh(scratch.Path("out.bvh"), c.takes, {}, error));
    EXPECT_EQ(error, c.error);
    EXPECT_FALSE(std::filesystem::exists(scratch.Path("out.bvh")));
  }
}
