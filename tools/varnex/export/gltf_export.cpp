// Builds a glTF 2.0 document from takes: nodes from the first take's nodes
// in their rest pose, a skinned bone mesh and inverse bind matrices of that
// pose, and one animation per take with compact linear samplers.
#include "export/gltf_export.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <filesystem>
#include <optional>

#include <cstdio>
#include <limits>

#include <glm/gtc/matrix_inverse.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "io/atomic_file.h"
#include "io/output_option.h"
#include "export/compact_animation.h"
#include "export/meshopt_encoding.h"

namespace varnex {

using nlohmann::json;

namespace {

constexpr int kFloat = 5126, kUnsignedByte = 5121, kShort = 5122, kUnsignedShort = 5123;
constexpr int kArrayBuffer = 34962;

// -- Buffer and accessors

class DocumentWriter {
 public:
  explicit DocumentWriter(GltfDocument& doc) : doc_(doc) {
    doc_.json["bufferViews"] = json::array();
    doc_.json["accessors"] = json::array();
  }

  // Views added from here on hold elements of stride bytes compressed, in
  // the glb's buffer; their plain bytes would lie in the fallback buffer,
  // which the file leaves out.
  void Compress(bool on) { compress_ = on; }
  size_t FallbackBytes() const { return fallbackBytes_; }

  // One view per accessor keeps every attribute tightly packed and aligned.
  int AddView(const void* data, size_t bytes, std::optional<int> target, size_t stride = 0,
              const char* filter = nullptr) {
    if (compress_ && stride > 0 && bytes > 0) return AddCompressedView(data, bytes, stride, filter);
    const size_t offset = doc_.bin.size();
    doc_.bin.append(static_cast<const char*>(data), bytes);
    doc_.bin.append((4 - doc_.bin.size() % 4) % 4, '\0');
    json view = {{"buffer", 0}, {"byteOffset", offset}, {"byteLength", bytes}};
    if (target) view["target"] = *target;
    doc_.json["bufferViews"].push_back(view);
    return int(doc_.json["bufferViews"].size() - 1);
  }

  int AddFloats(const std::vector<float>& values, const char* type, int width, bool bounds,
                std::optional<int> target = std::nullopt) {
    if (doc_.problem.empty() && !std::all_of(values.begin(), values.end(), [](float v) { return std::isfinite(v); }))
      doc_.problem = "a value of its " + std::string(type) + " data is beyond glTF's single precision (at most 3.4e+38)";
    json accessor = {{"bufferView", AddView(values.data(), values.size() * sizeof(float), target, 4 * size_t(width))},
                     {"componentType", kFloat},
                     {"count", values.size() / size_t(width)},
                     {"type", type}};
    if (bounds) {
      std::vector<float> lo(width, INFINITY), hi(width, -INFINITY);
      for (size_t i = 0; i < values.size(); ++i) {
        lo[i % width] = std::min(lo[i % width], values[i]);
        hi[i % width] = std::max(hi[i % width], values[i]);
      }
      accessor["min"] = lo;
      accessor["max"] = hi;
    }
    return Push(std::move(accessor));
  }

  // Normalized signed shorts, read as c / 32767 (glTF allows them for
  // rotations); as the compressed view's filter decodes them when given one.
  // Floats as a compressed view's filter stores them.
  int AddPackedFloats(const std::vector<uint32_t>& values, const char* type, int width, const char* filter) {
    return Push({{"bufferView", AddView(values.data(), values.size() * sizeof(uint32_t), std::nullopt,
                                        4 * size_t(width), filter)},
                 {"componentType", kFloat},
                 {"count", values.size() / size_t(width)},
                 {"type", type}});
  }

  int AddNormalizedShorts(const std::vector<int16_t>& values, const char* type, int width,
                          const char* filter = nullptr) {
    return Push({{"bufferView", AddView(values.data(), values.size() * sizeof(int16_t), std::nullopt,
                                        2 * size_t(width), filter)},
                 {"componentType", kShort},
                 {"normalized", true},
                 {"count", values.size() / size_t(width)},
                 {"type", type}});
  }

  int AddJoints(const std::vector<uint16_t>& joints, bool wide) {
    std::vector<uint8_t> narrow(joints.begin(), joints.end());
    const int view = wide ? AddView(joints.data(), joints.size() * 2, kArrayBuffer)
                          : AddView(narrow.data(), narrow.size(), kArrayBuffer);
    return Push({{"bufferView", view},
                 {"componentType", wide ? kUnsignedShort : kUnsignedByte},
                 {"count", joints.size() / 4},
                 {"type", "VEC4"}});
  }

 private:
  int AddCompressedView(const void* data, size_t bytes, size_t stride, const char* filter) {
    const std::string packed = EncodeAttributes(data, bytes / stride, stride);
    const size_t offset = doc_.bin.size();
    doc_.bin += packed;
    doc_.bin.append((4 - doc_.bin.size() % 4) % 4, '\0');
    json view = {{"buffer", 1},
                 {"byteOffset", fallbackBytes_},
                 {"byteLength", bytes},
                 {"extensions",
                  {{"EXT_meshopt_compression",
                    {{"buffer", 0},
                     {"byteOffset", offset},
                     {"byteLength", packed.size()},
                     {"byteStride", stride},
                     {"count", bytes / stride},
                     {"mode", "ATTRIBUTES"}}}}}};
    if (filter) view["extensions"]["EXT_meshopt_compression"]["filter"] = filter;
    fallbackBytes_ += (bytes + 3) / 4 * 4;
    doc_.json["bufferViews"].push_back(view);
    return int(doc_.json["bufferViews"].size() - 1);
  }

  int Push(json accessor) {
    doc_.json["accessors"].push_back(std::move(accessor));
    return int(doc_.json["accessors"].size() - 1);
  }
  GltfDocument& doc_;
  bool compress_ = false;
  size_t fallbackBytes_ = 0;
};

// -- Values the format can hold

// glTF stores single precision: a length beyond it would be written as
// Infinity, and the bounds of its accessor as null.
constexpr double kLargestSingle = std::numeric_limits<float>::max();

bool FitsSingle(const glm::dvec3& v) {
  return std::fabs(v.x) <= kLargestSingle && std::fabs(v.y) <= kLargestSingle && std::fabs(v.z) <= kLargestSingle;
}

double Largest(const glm::dvec3& v) { return std::max({std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)}); }

// The first node whose offset, scale or rest position single precision
// cannot hold, named with the option (--scale, --height) that made it so.
std::string SinglePrecisionProblem(const Take& take, const std::vector<glm::dmat4>& restWorld,
                                   const ExportSettings& settings) {
  const std::string scaled = settings.scaleAsked.empty() ? "" : " (after " + settings.scaleAsked + ")";
  auto describe = [&](const TakeNode& node, const char* what, const glm::dvec3& value, const std::string& after) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %g", what, Largest(value));
    return "joint " + node.name + ": " + text + after + " is beyond glTF's single precision (at most 3.4e+38)";
  };
  for (size_t i = 0; i < take.nodes.size(); ++i) {
    const TakeNode& node = take.nodes[i];
    for (const glm::dvec3& offset : node.translation)
      if (!FitsSingle(offset)) return describe(node, "offset", offset, scaled);
    if (!FitsSingle(node.rest.translation)) return describe(node, "offset", node.rest.translation, scaled);
    for (const glm::dvec3& factor : node.scale)
      if (!FitsSingle(factor)) return describe(node, "scale", factor, "");
    if (i < restWorld.size() && !FitsSingle(glm::dvec3(restWorld[i][3])))
      return describe(node, "position", glm::dvec3(restWorld[i][3]), scaled);
  }
  return {};
}

float Finite(double v, float fallback) { return std::isfinite(v) ? float(v) : fallback; }

std::array<float, 3> Vec3(const glm::dvec3& v, float fallback) {
  return {Finite(v.x, fallback), Finite(v.y, fallback), Finite(v.z, fallback)};
}

glm::dquat Usable(glm::dquat q) {
  const double len = glm::length(q);
  if (!std::isfinite(len) || len < 1e-12) return glm::dquat(1.0, 0.0, 0.0, 0.0);
  return q / len;
}

std::array<float, 4> Quat(const glm::dquat& q) {
  return {float(q.x), float(q.y), float(q.z), float(q.w)};
}

// -- Bone geometry

struct BoneMesh {
  std::vector<float> positions, normals, weights;
  std::vector<uint16_t> joints;
};

// An octahedral bone from head to tail: a point at each end and a square
// waist near the head, every face with its own flat normal.
void AddBone(BoneMesh& mesh, const glm::dvec3& head, const glm::dvec3& tail, uint16_t joint) {
  const glm::dvec3 axis = tail - head;
  const double length = glm::length(axis);
  const glm::dvec3 d = axis / length;
  const glm::dvec3 helper = std::fabs(d.x) < 0.9 ? glm::dvec3(1, 0, 0) : glm::dvec3(0, 1, 0);
  const glm::dvec3 u = glm::normalize(glm::cross(d, helper));
  const glm::dvec3 v = glm::cross(d, u);
  const double r = 0.07 * length;
  const glm::dvec3 waist = head + 0.2 * axis;
  const glm::dvec3 ring[4] = {waist + r * u, waist + r * v, waist - r * u, waist - r * v};
  const glm::dvec3 centre = head + 0.5 * axis;
  auto face = [&](glm::dvec3 a, glm::dvec3 b, glm::dvec3 c) {
    glm::dvec3 n = glm::normalize(glm::cross(b - a, c - a));
    if (glm::dot(n, (a + b + c) / 3.0 - centre) < 0) std::swap(b, c), n = -n;
    for (const glm::dvec3& p : {a, b, c}) {
      for (int i = 0; i < 3; ++i) {
        mesh.positions.push_back(float(p[i]));
        mesh.normals.push_back(float(n[i]));
      }
      mesh.joints.insert(mesh.joints.end(), {joint, 0, 0, 0});
      mesh.weights.insert(mesh.weights.end(), {1.0f, 0.0f, 0.0f, 0.0f});
    }
  };
  for (int k = 0; k < 4; ++k) {
    face(head, ring[k], ring[(k + 1) % 4]);
    face(tail, ring[k], ring[(k + 1) % 4]);
  }
}

bool Usable(const glm::dvec3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// -- Document parts

json NodeOf(const TakeNode& node) {
  json out = {{"name", node.name}, {"translation", Vec3(node.rest.translation, 0.0f)}};
  const glm::dquat r = Usable(node.rest.rotation);
  if (r != glm::dquat(1.0, 0.0, 0.0, 0.0)) out["rotation"] = Quat(r);
  if (node.rest.scale != glm::dvec3(1.0)) out["scale"] = Vec3(node.rest.scale, 1.0f);
  return out;
}

// World transforms of the rest pose, each from its parent's.
std::vector<glm::dmat4> RestWorld(const Take& take) {
  std::vector<glm::dmat4> world(take.nodes.size());
  for (size_t i = 0; i < take.nodes.size(); ++i) {
    const TakeNode& node = take.nodes[i];
    const glm::dmat4 local = Matrix(node.rest);
    world[i] = node.parent < 0 ? local : world[size_t(node.parent)] * local;
  }
  return world;
}

void AddSkin(GltfDocument& doc, DocumentWriter& writer, const Take& take, json& sceneNodes) {
  const std::vector<glm::dmat4> world = RestWorld(take);
  const double size = RestSize(take);
  BoneMesh mesh;
  for (size_t i = 0; i < take.nodes.size(); ++i) {
    const TakeNode& child = take.nodes[i];
    if (child.parent < 0 || !child.drawsBone) continue;
    const glm::dvec3 head(world[size_t(child.parent)][3]);
    const glm::dvec3 tail(world[i][3]);
    if (!Usable(head) || !Usable(tail) || glm::length(tail - head) <= 1e-6 * size) continue;
    AddBone(mesh, head, tail, uint16_t(child.parent));
  }
  if (mesh.positions.empty()) return;

  std::vector<float> inverseBind;
  inverseBind.reserve(16 * take.nodes.size());
  json joints = json::array();
  for (size_t i = 0; i < take.nodes.size(); ++i) {
    joints.push_back(i);
    glm::dmat4 inverse = glm::affineInverse(world[i]);
    const double* m = glm::value_ptr(inverse);
    bool finite = std::all_of(m, m + 16, [](double x) { return std::isfinite(x); });
    if (!finite) inverse = glm::dmat4(1.0);
    for (int k = 0; k < 16; ++k) inverseBind.push_back(float(glm::value_ptr(inverse)[k]));
  }
  const bool wide = take.nodes.size() > 255;
  json attributes = {{"POSITION", writer.AddFloats(mesh.positions, "VEC3", 3, true, kArrayBuffer)},
                     {"NORMAL", writer.AddFloats(mesh.normals, "VEC3", 3, false, kArrayBuffer)},
                     {"JOINTS_0", writer.AddJoints(mesh.joints, wide)},
                     {"WEIGHTS_0", writer.AddFloats(mesh.weights, "VEC4", 4, false, kArrayBuffer)}};
  doc.json["materials"] = json::array({{{"name", "bone"},
                                        {"pbrMetallicRoughness",
                                         {{"baseColorFactor", {0.75, 0.8, 0.9, 1.0}},
                                          {"metallicFactor", 0.0},
                                          {"roughnessFactor", 0.6}}}}});
  doc.json["meshes"] = json::array({{{"name", "bones"},
                                     {"primitives", json::array({{{"attributes", attributes},
                                                                  {"material", 0}}})}}});
  doc.json["skins"] = json::array({{{"name", "skeleton"},
                                    {"joints", joints},
                                    {"inverseBindMatrices", writer.AddFloats(inverseBind, "MAT4", 16, false)}}});
  // A skinned mesh node sits at the root without a transform of its own.
  doc.json["nodes"].push_back({{"name", "bones"}, {"mesh", 0}, {"skin", 0}});
  sceneNodes.push_back(doc.json["nodes"].size() - 1);
}

// One animation for a take: per moving part of a node a linear sampler over
// the keys the compaction keeps; samplers that keep the same samples share
// their input.
json AnimationOf(DocumentWriter& writer, const Take& take, bool exact, bool compress) {
  const std::vector<CompactNode> compact =
      CompactTake(take, exact, compress ? Packers{PackRotation, PackVector} : Packers{});
  std::map<std::vector<uint32_t>, int> inputs;
  auto inputOf = [&](const std::vector<uint32_t>& samples) {
    const auto found = inputs.find(samples);
    if (found != inputs.end()) return found->second;
    std::vector<float> seconds(samples.size());
    for (size_t k = 0; k < samples.size(); ++k)
      seconds[k] = float(double(take.ticks[samples[k]]) / take.ticksPerSecond);
    return inputs[samples] = writer.AddFloats(seconds, "SCALAR", 1, true);
  };

  json samplers = json::array(), channels = json::array();
  auto add = [&](size_t node, const char* path, const std::optional<CompactTrack>& track, bool rotation) {
    if (!track) return;
    const int output = !track->packed.empty() ? writer.AddPackedFloats(track->packed, "VEC3", 3, "EXPONENTIAL")
                       : track->bits > 0        ? writer.AddNormalizedShorts(track->shorts, "VEC4", 4, "QUATERNION")
                       : !track->shorts.empty() ? writer.AddNormalizedShorts(track->shorts, "VEC4", 4)
                       : rotation             ? writer.AddFloats(track->values, "VEC4", 4, false)
                                              : writer.AddFloats(track->values, "VEC3", 3, false);
    samplers.push_back({{"input", inputOf(track->samples)}, {"output", output}, {"interpolation", "LINEAR"}});
    channels.push_back({{"sampler", samplers.size() - 1}, {"target", {{"node", node}, {"path", path}}}});
  };
  for (size_t i = 0; i < take.nodes.size(); ++i) {
    add(i, "translation", compact[i].translation, false);
    add(i, "rotation", compact[i].rotation, true);
    add(i, "scale", compact[i].scale, false);
  }
  if (channels.empty()) return nullptr;
  return {{"name", take.name}, {"samplers", samplers}, {"channels", channels}};
}

// More bytes than the buffer can take: every sample of every part with an
// input of its own, the bone mesh, the inverse bind matrices and padding.
// Reserved up front, the buffer never moves as it grows (a move would copy
// it and hold both); the pages it leaves unused are never touched.
size_t BufferBound(const std::vector<Take>& takes, bool compress) {
  constexpr size_t kView = 4;  // padding
  auto view = [compress](size_t count, size_t stride) {
    return (compress ? EncodedAttributesBound(count, stride) : count * stride) + kView;
  };
  constexpr size_t kBoneVertices = 24, kVertexBytes = 12 + 12 + 8 + 16, kMatrixBytes = 64;
  size_t bytes = 4 * kView;
  if (!takes.empty()) bytes += takes[0].nodes.size() * (kBoneVertices * kVertexBytes + kMatrixBytes);
  for (const Take& take : takes) {
    const size_t perSample = take.ticks.size();
    for (const TakeNode& node : take.nodes) {
      if (!node.translation.empty()) bytes += view(perSample, 4) + view(perSample, 12);
      if (!node.rotation.empty()) bytes += view(perSample, 4) + view(perSample, 16);
      if (!node.scale.empty()) bytes += view(perSample, 4) + view(perSample, 12);
    }
  }
  return bytes;
}

}  // namespace

GltfDocument BuildGltf(const std::vector<Take>& takes, const std::string& sceneName, const ExportSettings& settings) {
  GltfDocument doc;
  const bool compress = settings.compress && CompressionAvailable();
  doc.bin.reserve(BufferBound(takes, compress));
  doc.json["asset"] = {{"version", "2.0"}, {"generator", "varnex"}};
  DocumentWriter writer(doc);

  static const Take kNone;
  const Take& first = takes.empty() ? kNone : takes.front();
  doc.json["nodes"] = json::array();
  std::vector<json> children(first.nodes.size(), json::array());
  json tops = json::array();
  for (size_t i = 0; i < first.nodes.size(); ++i) {
    doc.json["nodes"].push_back(NodeOf(first.nodes[i]));
    const int parent = first.nodes[i].parent;
    if (parent < 0) tops.push_back(i);
    else children[size_t(parent)].push_back(i);
  }
  for (size_t i = 0; i < first.nodes.size(); ++i)
    if (!children[i].empty()) doc.json["nodes"][i]["children"] = std::move(children[i]);
  // The skin's joints need one common root; several top nodes get the
  // host's root as their parent, as they have in the scene.
  json sceneNodes = tops;
  if (tops.size() > 1) {
    doc.json["nodes"].push_back({{"name", "world"}, {"children", tops}});
    sceneNodes = json::array({doc.json["nodes"].size() - 1});
  }
  for (const Take& take : takes) {
    if (!doc.problem.empty()) break;
    doc.problem = SinglePrecisionProblem(take, RestWorld(take), settings);
  }
  if (!first.nodes.empty()) AddSkin(doc, writer, first, sceneNodes);
  json animations = json::array();
  writer.Compress(compress);
  for (const Take& take : takes) {
    json animation = AnimationOf(writer, take, settings.exact, compress);
    if (!animation.is_null()) animations.push_back(std::move(animation));
  }
  if (!animations.empty()) doc.json["animations"] = std::move(animations);

  json scene = {{"name", sceneName}};
  if (!sceneNodes.empty()) scene["nodes"] = sceneNodes;  // an empty scene lists none
  doc.json["scenes"] = json::array({scene});
  doc.json["scene"] = 0;
  if (doc.json["nodes"].empty()) doc.json.erase("nodes");
  if (doc.json["accessors"].empty()) doc.json.erase("accessors");
  if (doc.json["bufferViews"].empty()) doc.json.erase("bufferViews");
  else doc.json["buffers"] = json::array({{{"byteLength", doc.bin.size()}}});
  if (writer.FallbackBytes() > 0) {
    doc.json["buffers"].push_back(
        {{"byteLength", writer.FallbackBytes()}, {"extensions", {{"EXT_meshopt_compression", {{"fallback", true}}}}}});
    doc.json["extensionsUsed"] = {"EXT_meshopt_compression"};
    doc.json["extensionsRequired"] = {"EXT_meshopt_compression"};
  }
  return doc;
}

// -- Encodings

namespace {

void AppendU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(char((v >> (8 * i)) & 0xFF));
}

std::string Base64(const std::string& bytes) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t n = uint32_t(uint8_t(bytes[i])) << 16;
    if (i + 1 < bytes.size()) n |= uint32_t(uint8_t(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) n |= uint32_t(uint8_t(bytes[i + 2]));
    out.push_back(digits[(n >> 18) & 63]);
    out.push_back(digits[(n >> 12) & 63]);
    out.push_back(i + 1 < bytes.size() ? digits[(n >> 6) & 63] : '=');
    out.push_back(i + 2 < bytes.size() ? digits[n & 63] : '=');
  }
  return out;
}

}  // namespace

namespace {

// A glb's bytes up to its buffer: the header, the JSON chunk and the BIN
// chunk's header; the buffer and binPadding zero bytes follow. Kept apart so
// that a file gets the buffer as it stands, never copied.
std::string GlbHead(const GltfDocument& document, size_t& binPadding) {
  std::string text = document.json.dump(-1, ' ', false, json::error_handler_t::replace);
  text.append((4 - text.size() % 4) % 4, ' ');
  binPadding = (4 - document.bin.size() % 4) % 4;
  const size_t binBytes = document.bin.size() + binPadding;
  const bool hasBin = binBytes > 0;
  const size_t total = 12 + 8 + text.size() + (hasBin ? 8 + binBytes : 0);
  std::string head;
  head.reserve(total - binBytes);
  AppendU32(head, 0x46546C67);  // "glTF"
  AppendU32(head, 2);
  AppendU32(head, uint32_t(total));
  AppendU32(head, uint32_t(text.size()));
  AppendU32(head, 0x4E4F534A);  // "JSON"
  head += text;
  if (hasBin) {
    AppendU32(head, uint32_t(binBytes));
    AppendU32(head, 0x004E4942);  // "BIN"
  }
  return head;
}

}  // namespace

std::string EncodeGlb(const GltfDocument& document) {
  size_t binPadding = 0;
  std::string out = GlbHead(document, binPadding);
  out.reserve(out.size() + document.bin.size() + binPadding);
  out += document.bin;
  out.append(binPadding, '\0');
  return out;
}

std::string EncodeGltfText(const GltfDocument& document) {
  json copy = document.json;
  if (copy.contains("buffers"))
    copy["buffers"][0]["uri"] = "data:application/octet-stream;base64," + Base64(document.bin);
  return copy.dump(1, ' ', false, json::error_handler_t::replace) + "\n";
}

bool WriteGltfTakes(const std::string& path, const std::vector<Take>& takes, const ExportSettings& settings,
                    std::string& error) {
  for (size_t i = 1; i < takes.size(); ++i) {
    std::string difference;
    if (!SameHierarchy(takes[0], takes[i], difference)) {
      error = "take " + takes[i].name + " does not share the skeleton of " + takes[0].name + ": " + difference;
      return false;
    }
  }
  return WriteGltfDocument(path, BuildGltf(takes, GltfSceneName(path, takes), settings), error);
}

std::string GltfSceneName(const std::string& path, const std::vector<Take>& takes) {
  return takes.size() == 1 ? takes[0].name : std::filesystem::path(path).stem().string();
}

void NameScene(GltfDocument& document, const std::string& sceneName) {
  document.json["scenes"][0]["name"] = sceneName;
}

bool WriteGltfDocument(const std::string& path, const GltfDocument& document, std::string& error) {
  if (!document.problem.empty()) {
    error = document.problem;
    return false;
  }
  if (HasExtension(path, "gltf")) return WriteFileAtomically(path, EncodeGltfText(document), error);
  size_t binPadding = 0;
  const std::string head = GlbHead(document, binPadding);
  static constexpr char kZeros[4] = {};
  return WriteFileAtomically(path, {head, document.bin, std::string_view(kZeros, binPadding)}, error);
}

GltfDocument& SharedGltf::Of(const std::vector<Take>& takes, const ExportSettings& settings) {
  if (!document_) document_ = BuildGltf(takes, GltfSceneName("", takes), settings);
  return *document_;
}

GltfDocument& SharedGltf::OfScene(const std::string& takeName, const ExportSettings& settings) {
  if (!document_) {
    std::vector<Take> takes;  // not from a braced list, which would copy the take
    takes.push_back(CaptureTake(takeName, settings));
    document_ = BuildGltf(takes, takeName, settings);
  }
  return *document_;
}

}  // namespace varnex
