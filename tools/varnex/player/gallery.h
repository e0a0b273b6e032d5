// convert --gallery: index.html in the output folder, one card per output
// with its SVG thumbnail, name, duration (each take's, for a file of
// several) and joint count, linking to the output's player page. The worker
// writes the files of a card through --gallery-card.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "player/html_player.h"
#include "io/exit_codes.h"

namespace varnex {

struct GalleryCard {
  std::string name;
  std::string player;     // link relative to the gallery; empty without a player
  std::string thumbnail;  // the same for the SVG
  double seconds = -1.0;  // negative: unknown
  long joints = -1;
  // A file of several takes: each take's file name and length in seconds.
  std::vector<std::pair<std::string, double>> takes;
};

std::string RenderGallery(const std::string& title, const std::vector<GalleryCard>& cards);
bool WriteGallery(const std::string& path, const std::string& title, const std::vector<GalleryCard>& cards,
                  std::string& error);

// The card of one converted output: its player and thumbnail beside OUTPUT,
// linked relative to the gallery's folder, and its figures from the card's
// file beside them, which the run that converted it left (the given ones
// when there is none).
GalleryCard CardForOutput(const std::string& galleryDir, const std::string& output, double seconds, long joints);

// The files of a card beside an output, BASE being the output without its
// extension: the picture (BASE.svg), the player (BASE.html, in a build
// that has it) and the takes' figures (BASE.card.json), written last, so
// that a skipped output's card can read them in a later run.
struct GalleryCardFiles {
  std::string svg;
  std::vector<TakeFigures> figures;
  std::function<bool(const std::string& path, std::string& error)> writePlayer;
};
std::vector<std::string> GalleryCardPaths(const std::string& base);
// Answers an exit code, with a message when a file cannot be written.
int WriteGalleryCardFiles(const std::string& base, const GalleryCardFiles& files);
// Writes DIR/index.html; answers an exit code, with a message when it fails.
int WriteGalleryIndex(const std::string& dir, const std::vector<GalleryCard>& cards);

// A relative path as a link: '/' between its parts, the rest percent-encoded.
std::string LinkTo(const std::string& relativePath);


}  // namespace varnex
