// What varnex writes from an imported scene: the glTF document read back
// and evaluated against the host's own world positions, the scene JSON and
// the SVG preview.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>

#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <glm/mat4x4.hpp>

#include "support/plugin_calls.h"
#include "support/real_files.h"
#include "support/scratch.h"
#include "varnex/host.h"
#include "gltf_export.h"
#include "json_dump.h"
#include "scene_sampling.h"
#include "svg_preview.h"

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

const float* Floats(const varnex::GltfDocument& doc, int accessor, size_t& count, int& width) {
  const json& a = doc.json["accessors"][accessor];
  const json& view = doc.json["bufferViews"][a["bufferView"].get<int>()];
  EXPECT_EQ(a["componentType"], 5126);
  static const std::map<std::string, int> widths = {{"SCALAR", 1}, {"VEC3", 3}, {"VEC4", 4}, {"MAT4", 16}};
  width = widths.at(a["type"].get<std::string>());
  count = a["count"].get<size_t>();
  EXPECT_EQ(view["byteLength"].get<size_t>(), count * width * sizeof(float));
  return reinterpret_cast<const float*>(doc.bin.data() + view["byteOffset"].get<size_t>());
}

// Evaluates the document's nodes at one animation sample, as a viewer would.
std::vector<glm::dvec3> GltfWorldPositions(const varnex::GltfDocument& doc, size_t sample) {
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
    const json& animation = doc.json["animations"][0];
    for (const json& channel : animation["channels"]) {
      const json& sampler = animation["samplers"][channel["sampler"].get<int>()];
      size_t count;
      int width;
      const float* v = Floats(doc, sampler["output"], count, width) + sample * width;
      const int node = channel["target"]["node"];
      const std::string path = channel["target"]["path"];
      if (path == "translation") t[node] = {v[0], v[1], v[2]};
      if (path == "scale") s[node] = {v[0], v[1], v[2]};
      if (path == "rotation") r[node] = glm::dquat(v[3], v[0], v[1], v[2]);
    }
  }
  std::vector<glm::dvec3> world(nodes.size());
  for (size_t i = 0; i < nodes.size(); ++i) {
    glm::dmat4 m(1.0);
    for (int n = int(i); n >= 0; n = parent[n]) {
      glm::dmat4 local = glm::translate(glm::dmat4(1.0), t[n]) * glm::mat4_cast(r[n]);
      m = glm::scale(local, s[n]) * m;
    }
    world[i] = glm::dvec3(m[3]);
  }
  return world;
}

// Every n-th sample of the take: the world position of each instance node
// in the document against the host's.
void ExpectPositionsMatch(const varnex::GltfDocument& doc, size_t every) {
  const std::vector<const vxhost::Instance*> instances = vxhost::AllInstances();
  std::vector<int32_t> ticks = varnex::SampleTicks();
  const double tolerance = 1e-4 * varnex::SkeletonSize(0.0);
  if (ticks.empty()) ticks.push_back(0);  // a skeleton without motion: its rest pose
  for (size_t sample = 0; sample < ticks.size(); sample += every) {
    const std::vector<glm::dvec3> world = GltfWorldPositions(doc, sample);
    for (size_t i = 0; i < instances.size(); ++i) {
      const glm::dvec3 want = vxhost::WorldPosition(*instances[i], ticks[sample]);
      ASSERT_LE(glm::length(world[i] - want), tolerance)
          << instances[i]->name << " at tick " << ticks[sample];
    }
  }
}

}  // namespace

TEST(GltfExport, FollowsTheScene) {
  vxtest::ScratchDir scratch;
  ASSERT_EQ(vxtest::ImportIntoFreshHost(scratch.Write("wave.bvh", kWave)), 0);
  const varnex::GltfDocument doc = varnex::BuildGltf("wave");
  const std::vector<const vxhost::Instance*> instances = vxhost::AllInstances();
  const json& nodes = doc.json["nodes"];

  // One node per instance, in the same order, then the skinned bone mesh.
  ASSERT_EQ(nodes.size(), instances.size() + 1);
  for (size_t i = 0; i < instances.size(); ++i) EXPECT_EQ(nodes[i]["name"], instances[i]->name);
  EXPECT_EQ(nodes.back()["mesh"], 0);
  EXPECT_EQ(nodes.back()["skin"], 0);
  EXPECT_EQ(doc.json["skins"][0]["joints"].size(), instances.size());
  size_t count;
  int width;
  Floats(doc, doc.json["skins"][0]["inverseBindMatrices"], count, width);
  EXPECT_EQ(count, instances.size());

  // Children as in the scene.
  for (size_t i = 0; i < instances.size(); ++i) {
    std::vector<std::string> want, got;
    for (const vxhost::Instance* child : instances[i]->children) want.push_back(child->name);
    if (nodes[i].contains("children"))
      for (int c : nodes[i]["children"]) got.push_back(nodes[c]["name"]);
    EXPECT_EQ(got, want) << instances[i]->name;
  }

  // Three samplers per animated instance over the frame times in seconds.
  size_t animated = 0;
  for (const vxhost::Instance* instance : instances) animated += vxhost::IsAnimated(*instance) ? 1 : 0;
  const json& animation = doc.json["animations"][0];
  EXPECT_EQ(animation["samplers"].size(), 3 * animated);
  EXPECT_EQ(animation["channels"].size(), 3 * animated);
  const float* seconds = Floats(doc, animation["samplers"][0]["input"], count, width);
  ASSERT_EQ(count, 4u);
  EXPECT_FLOAT_EQ(seconds[3], 480.0f / 4800);

  ExpectPositionsMatch(doc, 1);
}

TEST(GltfExport, EncodingsCarryTheSameDocument) {
  vxtest::ScratchDir scratch;
  ASSERT_EQ(vxtest::ImportIntoFreshHost(scratch.Write("wave.bvh", kWave)), 0);
  const varnex::GltfDocument doc = varnex::BuildGltf("wave");

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

  // Written whole, by extension; a folder that is not there leaves nothing.
  std::string reason;
  ASSERT_TRUE(varnex::WriteGltf(scratch.Path("wave.glb"), "wave", reason)) << reason;
  EXPECT_EQ(vxtest::ReadFile(scratch.Path("wave.glb")), glb);
  ASSERT_TRUE(varnex::WriteGltf(scratch.Path("wave.gltf"), "wave", reason)) << reason;
  EXPECT_EQ(json::parse(vxtest::ReadFile(scratch.Path("wave.gltf"))), text);
  EXPECT_FALSE(varnex::WriteGltf(scratch.Path("missing/wave.glb"), "wave", reason));
  EXPECT_EQ(reason, "No such file or directory");
}

TEST(GltfExport, RealFilesMatchTheScene) {
  const std::vector<std::string> files = vxtest::RealFiles();
  if (files.empty()) GTEST_SKIP() << "no real mocap files at " << VARNEX_SHARED_MOCAP;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    ASSERT_EQ(vxtest::ImportIntoFreshHost(file), 0);
    if (vxhost::AllInstances().empty()) continue;
    const varnex::GltfDocument doc = varnex::BuildGltf("take");
    ASSERT_EQ(doc.json.value("nodes", json::array()).size(), vxhost::AllInstances().size() + 1);
    ExpectPositionsMatch(doc, 97);
  }
}

TEST(SceneJson, HoldsInstancesAndChannels) {
  vxtest::ScratchDir scratch;
  ASSERT_EQ(vxtest::ImportIntoFreshHost(scratch.Write("wave.bvh", kWave), {.reduceRotation = true}), 0);
  const json scene = varnex::SceneToJson("wave.bvh");
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
  }
  for (const json& instance : scene["instances"]) {
    if (instance["name"] == "Chest") {
      EXPECT_EQ(instance["eulerOrder"], "ZYX");
    }
  }
}

TEST(SvgPreview, DrawsEveryBoneInEveryCell) {
  vxtest::ScratchDir scratch;
  ASSERT_EQ(vxtest::ImportIntoFreshHost(scratch.Write("wave.bvh", kWave)), 0);
  const std::string svg = varnex::RenderSvgPreview(scratch.Path("wave.bvh"));
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
