// A take: the imported scene captured as exporters need it, independent of
// the host, so that several imports can go into one file. It holds the
// nodes, their rest pose and their local transforms at every sample time,
// already in the export's units and axes and with its edits (ExportSettings).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <glm/gtc/quaternion.hpp>
#include <glm/mat4x4.hpp>
#include <glm/vec3.hpp>

#include "scene/export_settings.h"

namespace varnex {

struct Transform {
  glm::dvec3 translation{0.0};
  glm::dquat rotation{1.0, 0.0, 0.0, 0.0};
  glm::dvec3 scale{1.0};
};

glm::dmat4 Matrix(const Transform& transform);

struct TakeNode {
  std::string name;
  int parent = -1;          // index of the parent node, -1 at the top
  bool drawsBone = false;   // a bone is drawn from the parent to this node
  bool joint = false;       // a skeleton joint, as the import marked it
  bool endEffector = false; // the end of a chain (a BVH End Site)
  // The host's code of the Euler order its rotation was keyed in, for the
  // take's axes: a Z-up take turned upright keeps the same turns about the
  // same (renamed) axes.
  int32_t eulerOrder = 0;
  Transform rest;           // the rest pose: offsets, no rotation
  // The local transform at each sample time, or one value when a part
  // holds still; empty when the node never moves.
  std::vector<glm::dvec3> translation;
  std::vector<glm::dquat> rotation;  // neighbours on the same side (q·q' >= 0)
  std::vector<glm::dvec3> scale;
};

struct Take {
  std::string name;
  std::vector<TakeNode> nodes;   // parents before children, as the host lists them
  std::vector<int32_t> ticks;    // sample times in ticks, ascending
  int32_t ticksPerSecond = 4800;
  int32_t frameRate = 0;         // frames per second its frames were timed at; 0: unknown
};

// Captures the host scene as it stands after an import, as take NAME, with
// the settings' edits applied (see TakeEditsProblem for a range that keeps
// no frame, which leaves no sample).
Take CaptureTake(const std::string& name, const ExportSettings& settings);
// The scene at chosen sample times only (ascending), for what needs a few
// frames; the settings' edits are not applied.
Take CaptureTakeAt(const std::string& name, std::vector<int32_t> ticks, const ExportSettings& settings);

// The local transform of a node at a sample (the rest pose when it never moves).
Transform LocalAt(const TakeNode& node, size_t sample);

// World transforms of every node at a sample, each from its parent's.
void WorldTransforms(const Take& take, size_t sample, std::vector<glm::dmat4>& world);

// The largest side of the box around the rest pose's joints; 1 when it has no extent.
double RestSize(const Take& take);

// Whether two takes share one hierarchy (names, parents and offsets; a
// still top node, named after the file, may differ in name); otherwise
// says how they differ.
bool SameHierarchy(const Take& first, const Take& other, std::string& difference);

}  // namespace varnex
