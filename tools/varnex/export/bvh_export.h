// BVH export of a take (take.h): its joints with their OFFSETs, End Sites
// for its end effectors, and every frame at the take's rate. What a BVH
// reads one way in every reader is written: a ROOT's OFFSET is 0 and its
// six channels hold its whole place, and so does the OFFSET of any joint
// whose translation moves, its position channels then holding all of it.
#pragma once

#include <array>
#include <string>
#include <vector>

#include <glm/gtc/quaternion.hpp>
#include <glm/vec3.hpp>

#include "scene/export_settings.h"
#include "scene/take.h"

namespace varnex {

// Writes the one take as BVH, as every output is written (io/atomic_file.h).
// False with the reason for the user when there are several takes (a BVH
// holds one), when a node scales (a BVH cannot), or when the file cannot
// be written.
bool WriteBvh(const std::string& path, const std::vector<Take>& takes, const ExportSettings& settings,
              std::string& error);

// Whether a path names a BVH file: it ends in .bvh, in any case.
bool IsBvhPath(const std::string& path);

// The angles in degrees, in the order listed (axes 0 x, 1 y, 2 z), whose
// turns make the rotation, the first listed outermost as BVH channels are:
// X Y Z is Rx·Ry·Rz.
glm::dvec3 ListedEulerAngles(const glm::dquat& rotation, const std::array<int, 3>& listed);

}  // namespace varnex
