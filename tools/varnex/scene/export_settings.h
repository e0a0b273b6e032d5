// How exports read the scene: the scene stays as the import built it, and
// every geometric export (glTF, CSV positions, SVG, BVH) applies these on the
// way out. The defaults hold the scene as built; scene/take_meaning.h decides
// them for a take from what the file means.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace varnex {

// What the user asked to keep of a take and how to time it, applied to the
// take as captured (scene/take_edits.h), after the settings below; the
// scene JSON, a dump of the scene as built, leaves them out.
struct TakeEdits {
  // --frames A:B keeps frames A to B-1; negative numbers count from the
  // end, and an end left out is the take's own.
  std::optional<int64_t> firstFrame = std::nullopt, endFrame = std::nullopt;
  int32_t fps = 0;       // --fps: resampled to this rate; 0 keeps the take's
  bool inPlace = false;  // --in-place: the root holds its first horizontal position
  bool Any() const { return firstFrame || endFrame || fps > 0 || inPlace; }
};

struct ExportSettings {
  double scale = 1.0;            // scene units to exported units (glTF wants metres)
  std::string scaleAsked = {};   // the option that set scale, as messages name it: "--height 1.75"; empty: none
  char up = 'y';                 // the source's up axis; 'z' is turned to glTF's Y-up
  double rootMotionScale = 1.0;  // extra factor on the root's own motion (Acclaim unit length)
  // Position channels of joints below the root hold the joint's whole
  // translation, in place of its offset rather than added to it.
  bool replaceJointPositions = false;
  bool exact = false;            // keep every frame instead of a compact animation
  TakeEdits edits{};
  bool compress = false;         // a glb's animation with EXT_meshopt_compression
};

}  // namespace varnex
