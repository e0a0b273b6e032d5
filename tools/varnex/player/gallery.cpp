// The gallery page of a converted folder and the worker's side of it. The
// page is plain HTML with a little CSS: no script, nothing fetched but the
// thumbnails beside it.
#include "player/gallery.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include <nlohmann/json.hpp>

#include "io/atomic_file.h"
#include "player/html_player.h"
#include "export/svg_preview.h"

namespace varnex {

namespace {

std::string Duration(double seconds) {
  if (seconds < 0.0) return "duration unknown";
  char text[48];
  if (seconds < 60.0) std::snprintf(text, sizeof text, "%.2f s", seconds);
  else std::snprintf(text, sizeof text, "%d min %04.1f s", int(seconds / 60.0), seconds - 60.0 * int(seconds / 60.0));
  return text;
}

std::string Card(const GalleryCard& card) {
  const std::string name = HtmlEscaped(card.name);
  std::string figures = card.takes.size() > 1 ? std::to_string(card.takes.size()) + " takes · " : Duration(card.seconds) + " · ";
  figures += card.joints < 0 ? std::string("joints unknown") : std::to_string(card.joints) + " joints";
  const std::string picture = "<img src=\"" + HtmlEscaped(LinkTo(card.thumbnail)) + "\" alt=\"" + name + "\">";
  std::string html = "<article class=\"card\">";
  if (card.player.empty()) html += picture + "<h2>" + name + "</h2>";
  else
    html += "<a href=\"" + HtmlEscaped(LinkTo(card.player)) + "\">" + picture + "<h2>" + name + "</h2></a>";
  html += "<p>" + figures + "</p>";
  if (card.takes.size() > 1) {
    html += "<ol>";
    for (const auto& [file, seconds] : card.takes) html += "<li>" + HtmlEscaped(file) + " · " + Duration(seconds) + "</li>";
    html += "</ol>";
  }
  return html + "</article>\n";
}

// Reads BASE.card.json into the card; false when there is none to read.
bool ReadCardFigures(const std::filesystem::path& path, GalleryCard& card) {
  std::ifstream in(path);
  if (!in) return false;
  const nlohmann::json figures = nlohmann::json::parse(in, nullptr, false);
  if (!figures.is_object() || !figures.contains("takes") || !figures["takes"].is_array() || figures["takes"].empty())
    return false;
  double seconds = 0.0;
  card.takes.clear();
  for (const nlohmann::json& take : figures["takes"]) {
    if (!take.is_object()) return false;
    card.takes.emplace_back(take.value("file", std::string()), take.value("seconds", -1.0));
    seconds += card.takes.back().second;
  }
  card.seconds = seconds;
  card.joints = figures["takes"][0].value("joints", -1L);
  return true;
}

}  // namespace

std::string LinkTo(const std::string& relativePath) {
  static const char hex[] = "0123456789ABCDEF";
  std::string link;
  for (unsigned char c : std::filesystem::path(relativePath).generic_string()) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || c == '/') {
      link += char(c);
    } else {
      link += '%';
      link += hex[c >> 4];
      link += hex[c & 15];
    }
  }
  return link;
}

std::string RenderGallery(const std::string& title, const std::vector<GalleryCard>& cards) {
  std::string html =
      "<!doctype html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>" + HtmlEscaped(title) + "</title>\n<style>\n"
      "body { margin: 0; padding: 16px; font: 13px/1.4 system-ui, sans-serif; color: #222; background: #eef0f2; }\n"
      "h1 { font-size: 18px; margin: 0 0 12px; }\n"
      ".cards { display: grid; grid-template-columns: repeat(auto-fill, minmax(260px, 1fr)); gap: 12px; }\n"
      ".card { background: #fff; border: 1px solid #ccd; border-radius: 4px; padding: 8px; }\n"
      ".card img { width: 100%; height: auto; display: block; background: #fbfbf8; }\n"
      ".card h2 { font-size: 14px; margin: 6px 0 2px; overflow-wrap: anywhere; }\n"
      ".card p, .card ol { margin: 0; color: #555; }\n"
      ".card ol { padding-left: 1.6em; }\n"
      ".card a { color: inherit; text-decoration: none; }\n"
      ".card a:hover h2 { text-decoration: underline; }\n"
      "</style>\n</head>\n<body>\n<h1>" + HtmlEscaped(title) + "</h1>\n";
  const size_t withPlayer =
      size_t(std::count_if(cards.begin(), cards.end(), [](const GalleryCard& c) { return !c.player.empty(); }));
  if (withPlayer < cards.size())
    html += "<p>This varnex was built without the HTML player: the cards show thumbnails only.</p>\n";
  html += "<main class=\"cards\">\n";
  for (const GalleryCard& card : cards) html += Card(card);
  return html + "</main>\n</body>\n</html>\n";
}

bool WriteGallery(const std::string& path, const std::string& title, const std::vector<GalleryCard>& cards,
                  std::string& error) {
  return WriteFileAtomically(path, RenderGallery(title, cards), error);
}

GalleryCard CardForOutput(const std::string& galleryDir, const std::string& output, double seconds, long joints) {
  const std::filesystem::path base = std::filesystem::path(output).lexically_relative(galleryDir);
  GalleryCard card;
  card.name = base.stem().string();
  card.thumbnail = std::filesystem::path(base).replace_extension(".svg").string();
  if (PlayerBuilt()) card.player = std::filesystem::path(base).replace_extension(".html").string();
  if (ReadCardFigures(std::filesystem::path(output).replace_extension(".card.json"), card)) return card;
  card.takes.clear();
  card.seconds = seconds;
  card.joints = joints;
  return card;
}

std::vector<std::string> GalleryCardPaths(const std::string& base) {
  std::vector<std::string> paths = {base + ".svg"};
  if (PlayerBuilt()) paths.push_back(base + ".html");
  paths.push_back(base + ".card.json");
  return paths;
}

int WriteGalleryCardFiles(const std::string& base, const GalleryCardFiles& files) {
  std::string reason, target = base + ".svg";
  bool written = WriteFileAtomically(target, files.svg, reason);
  if (written && PlayerBuilt()) written = files.writePlayer(target = base + ".html", reason);
  if (written) written = WriteFileAtomically(target = base + ".card.json", FiguresJson(files.figures).dump(1) + "\n", reason);
  if (written) return kExitSuccess;
  std::fprintf(stderr, "varnex: cannot write the preview to %s: %s\n", target.c_str(), reason.c_str());
  return kExitHostProblem;
}

int WriteGalleryIndex(const std::string& dir, const std::vector<GalleryCard>& cards) {
  const std::string path = (std::filesystem::path(dir) / "index.html").string();
  const std::string title = std::filesystem::path(dir).lexically_normal().filename().string();
  std::string reason;
  if (WriteGallery(path, title.empty() ? "varnex gallery" : title, cards, reason)) return kExitSuccess;
  std::fprintf(stderr, "varnex: cannot write the gallery to %s: %s\n", path.c_str(), reason.c_str());
  return kExitHostProblem;
}

}  // namespace varnex
