// What a take means, as every export writes it by default: which axis is up,
// whether joint position channels replace the offsets, the Acclaim root
// motion in the skeleton's unit, and the size asked for. Decided once per
// take from the host scene, then applied by each export through its
// ExportSettings, so that every front end writes the same take.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "scene/export_settings.h"
#include "scene/take.h"

namespace varnex {

// The checks of the options' values, shared by every front end: --scale
// and --height take a finite number above 0, --up auto, y or z,
// --joint-positions auto, add or replace.
CLI::Validator PositiveNumberCheck();
CLI::Validator UpAxisCheck();
CLI::Validator JointPositionsCheck();

// What the user asked for; the defaults give the meaning.
struct MeaningOptions {
  std::string up = "auto";              // auto, y or z
  std::string jointPositions = "auto";  // auto, add or replace
  bool acclaimRootScale = true;         // root motion in the ASF's unit length, as its bones
  double scale = 1.0;                   // every length, when no height is asked
  double height = 0.0;                  // the rest pose's height along up; 0: not asked
  bool asBuilt = false;                 // no adjustment: the scene as the plug-in built it, at scale
  bool exact = false;
  TakeEdits edits{};                    // frames, rate, in place: handed on as asked
  bool compress = false;
};

// One thing the take's line says: what was decided, and why.
struct MeaningNote {
  std::string what;  // "up z", "joint positions replace OFFSET"
  std::string why;   // empty when the user asked for it
  bool adjusts = true;  // false for a decision that leaves the scene as built (up y)
};

struct Meaning {
  ExportSettings settings;         // what every export of the take applies
  std::vector<MeaningNote> notes;  // in the order the line says them
  double height = 0.0;             // the rest pose along up, in output units
};

// Decides for the take that stands in the host scene. unitLength is its
// ASF's (1 for a BVH take).
Meaning DecideMeaning(const MeaningOptions& options, double unitLength);

// The take's line for stderr, "varnex: NAME: up z (why); …", without its
// line break; empty when nothing was adjusted or detected.
std::string MeaningLine(const std::string& takeName, const Meaning& meaning);

// The adjustments alone, "up z, joint positions replace OFFSET", for a table;
// "-" when there are none.
std::string MeaningSummary(const Meaning& meaning);

// -- The rules, on their own for front ends and tests

// The up axis a take's motion shows ('y' or 'z'), with the reason in words.
// The floor decides: along the up axis the lowest joints keep coming back to
// one level while the figure moves; only when the motion cannot tell does
// the shape, and then z only for a figure far taller along z than along y.
char DetectUpAxis(const Take& take, std::string& why);

// The rest pose's extent along an axis (0 x, 1 y, 2 z), leaving out a still
// top node that only groups the skeleton.
double RestExtent(const Take& take, int axis);

}  // namespace varnex
