// How exports convert the scene's units and axes: the scene stays as the
// import built it, and every geometric export (glTF, CSV positions) applies
// these on the way out. Set from --scale, --up and --exact.
#pragma once

namespace varnex {

struct ExportSettings {
  double scale = 1.0;            // scene units to exported units (glTF wants metres)
  char up = 'y';                 // the source's up axis; 'z' is turned to glTF's Y-up
  double rootMotionScale = 1.0;  // extra factor on the root's own motion (Acclaim unit length)
  bool exact = false;            // keep every frame instead of a compact animation
};

}  // namespace varnex
