// convert --gallery: index.html in the output folder, one card per take
// with its SVG thumbnail, name, duration and joint count, linking to the
// take's player page. The worker writes both files through --gallery-card.
#pragma once

#include <string>
#include <vector>

#include "varnex.h"

namespace varnex {

struct GalleryCard {
  std::string name;
  std::string player;     // link relative to the gallery; empty without a player
  std::string thumbnail;  // the same for the SVG
  double seconds = -1.0;  // negative: unknown
  long joints = -1;
};

std::string RenderGallery(const std::string& title, const std::vector<GalleryCard>& cards);
bool WriteGallery(const std::string& path, const std::string& title, const std::vector<GalleryCard>& cards,
                  std::string& error);

// The card of one converted take: its player and thumbnail beside OUTPUT,
// linked relative to the gallery's folder.
GalleryCard CardForOutput(const std::string& galleryDir, const std::string& output, double seconds, long joints);
// Writes DIR/index.html; answers an exit code, with a message when it fails.
int WriteGalleryIndex(const std::string& dir, const std::vector<GalleryCard>& cards);

// A relative path as a link: '/' between its parts, the rest percent-encoded.
std::string LinkTo(const std::string& relativePath);

// --gallery-card BASE (hidden, for convert's workers): BASE.svg and, when
// this build has the player, BASE.html.
void SetupGalleryCardExport(CLI::App& command, SceneExports& exports, const ExportSettings& settings);

}  // namespace varnex
