// How exports read the scene: the scene stays as the import built it, and
// every geometric export (glTF, CSV positions, SVG) applies these on the way
// out. The defaults hold the scene as built; scene/take_meaning.h decides
// them for a take from what the file means.
#pragma once

namespace varnex {

struct ExportSettings {
  double scale = 1.0;            // scene units to exported units (glTF wants metres)
  char up = 'y';                 // the source's up axis; 'z' is turned to glTF's Y-up
  double rootMotionScale = 1.0;  // extra factor on the root's own motion (Acclaim unit length)
  // Position channels of joints below the root hold the joint's whole
  // translation, in place of its offset rather than added to it.
  bool replaceJointPositions = false;
  bool exact = false;            // keep every frame instead of a compact animation
};

}  // namespace varnex
