// Draws the skeleton as lines from each instance to its parent, in two rows
// (front and side) of a few frames each, from the take as the other exports
// write it: Y-up, in their units, with their reading of the channels.
#include "export/svg_preview.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>

#include <varnex/host.h>

#include "io/atomic_file.h"
#include "scene/scene_sampling.h"
#include "scene/take.h"

namespace varnex {

namespace {

constexpr int kColumns = 5;
constexpr double kCell = 220.0, kHeader = 56.0, kLabel = 22.0, kMargin = 14.0;

std::string Escaped(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '"') out += "&quot;";
    else if (c < 0x20) out += ' ';
    else out += char(c);
  }
  return out;
}

std::string Number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", std::isfinite(v) ? v : 0.0);
  return buf;
}

struct Pose {
  int32_t ticks = 0;
  std::map<const vxhost::Instance*, glm::dvec3> world;
};

// The samples shown of `all`: the first, the last and evenly spaced ones between.
std::vector<size_t> ShownSamples(size_t all) {
  const int count = std::min<int>(kColumns, int(std::max<size_t>(all, 1)));
  std::vector<size_t> shown;
  for (int i = 0; i < count; ++i)
    shown.push_back(count == 1 ? 0 : size_t(double(i) * double(all - 1) / (count - 1) + 0.5));
  return shown;
}

// The take with the shown frames. Unedited, only they are captured; edits
// (frames, rate, in place) work on the whole take, which is captured then.
Take ShownTake(const ExportSettings& settings, std::vector<size_t>& samples, size_t& frames) {
  if (settings.edits.Any()) {
    Take take = CaptureTake("", settings);
    frames = take.ticks.size();
    samples = ShownSamples(frames);
    if (take.ticks.empty()) take.ticks = {0};
    return take;
  }
  const std::vector<int32_t> all = SampleTicks();
  frames = all.size();
  std::vector<int32_t> shown;
  for (size_t index : ShownSamples(all.size())) shown.push_back(all.empty() ? 0 : all[index]);
  samples.clear();
  for (size_t i = 0; i < shown.size(); ++i) samples.push_back(i);
  return CaptureTakeAt("", shown, settings);
}

}  // namespace

std::string RenderSvgPreview(const std::string& fileName, const ExportSettings& settings) {
  const std::vector<const vxhost::Instance*> instances = vxhost::AllInstances();
  // The take lists its nodes as the host lists its instances.
  std::vector<size_t> shown;
  size_t frames = 0;
  const Take take = ShownTake(settings, shown, frames);
  std::vector<Pose> poses;
  std::vector<glm::dmat4> world;
  for (const size_t sample : shown) {
    Pose pose{take.ticks[sample], {}};
    WorldTransforms(take, sample, world);
    for (size_t i = 0; i < instances.size(); ++i) {
      const glm::dvec3 p(world[i][3]);
      if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z) && !IsGroupingNode(*instances[i]))
        pose.world[instances[i]] = p;
    }
    poses.push_back(std::move(pose));
  }
  // Y is up; the front view spreads x across the page, the side view z.
  const int up = 1;
  const int horizontal[2] = {0, 2};

  // One scale for every cell, so that sizes compare across frames and views.
  double extent = 0.0;
  for (const Pose& pose : poses) {
    for (int view = 0; view < 2; ++view) {
      double lo[2] = {INFINITY, INFINITY}, hi[2] = {-INFINITY, -INFINITY};
      for (const auto& [instance, p] : pose.world) {
        const double xy[2] = {p[horizontal[view]], p[up]};
        for (int i = 0; i < 2; ++i) lo[i] = std::min(lo[i], xy[i]), hi[i] = std::max(hi[i], xy[i]);
      }
      for (int i = 0; i < 2; ++i) if (hi[i] > lo[i]) extent = std::max(extent, hi[i] - lo[i]);
    }
  }
  const double scale = extent > 0.0 ? (kCell - 2 * kMargin) / extent : 1.0;

  const int32_t rate = take.frameRate;
  const double width = kColumns * kCell, height = kHeader + 2 * (kCell + kLabel);
  std::string svg;
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Number(width) + "\" height=\"" + Number(height) +
         "\" viewBox=\"0 0 " + Number(width) + " " + Number(height) + "\" font-family=\"sans-serif\">\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"#fbfbf8\"/>\n";
  const std::string name = std::filesystem::path(fileName).filename().string();
  svg += "<text x=\"12\" y=\"24\" font-size=\"17\" font-weight=\"bold\">" + Escaped(name) + "</text>\n";
  size_t joints = 0, ends = 0;
  for (const vxhost::Instance* instance : instances) {
    joints += instance->jointNode ? 1 : 0;
    ends += instance->endEffector && !instance->jointNode ? 1 : 0;
  }
  char summary[200];
  std::snprintf(summary, sizeof summary, "%zu joints, %zu end effectors, %d frames per second, %zu of %zu frames shown",
                joints, ends, rate, poses.size(), frames);
  svg += "<text x=\"12\" y=\"44\" font-size=\"13\" fill=\"#555\">" + std::string(summary) + "</text>\n";

  for (int view = 0; view < 2; ++view) {
    const double top = kHeader + view * (kCell + kLabel);
    for (size_t column = 0; column < poses.size(); ++column) {
      const Pose& pose = poses[column];
      const double left = double(column) * kCell;
      const double frame = rate > 0 ? std::round(double(pose.ticks) * rate / vxhost::kTicksPerSecond) : 0.0;
      char label[64];
      std::snprintf(label, sizeof label, "%s, frame %.0f", view == 0 ? "front" : "side", frame);
      svg += "<text x=\"" + Number(left + 8) + "\" y=\"" + Number(top + 16) + "\" font-size=\"12\">" + label +
             "</text>\n";
      svg += "<rect x=\"" + Number(left + 2) + "\" y=\"" + Number(top + kLabel) + "\" width=\"" +
             Number(kCell - 4) + "\" height=\"" + Number(kCell - 4) + "\" fill=\"none\" stroke=\"#ddd\"/>\n";
      // Each figure is centred in its cell; the scale is shared.
      double lo[2] = {INFINITY, INFINITY}, hi[2] = {-INFINITY, -INFINITY};
      for (const auto& [instance, p] : pose.world) {
        const double xy[2] = {p[horizontal[view]], p[up]};
        for (int i = 0; i < 2; ++i) lo[i] = std::min(lo[i], xy[i]), hi[i] = std::max(hi[i], xy[i]);
      }
      if (pose.world.empty()) continue;
      const double cx = (lo[0] + hi[0]) / 2, cy = (lo[1] + hi[1]) / 2;
      auto at = [&](const glm::dvec3& p, double& x, double& y) {
        // The side view looks from +x, so depth runs leftwards.
        const double h = view == 0 ? p[horizontal[0]] - cx : cx - p[horizontal[1]];
        x = left + kCell / 2 + h * scale;
        y = top + kLabel + (kCell - 4) / 2 - (p[up] - cy) * scale;
      };
      // Drawn in the host's order of instances, not the map's order of
      // addresses, so that the same take always gives the same picture.
      svg += "<g stroke=\"#23486e\" stroke-width=\"2\" stroke-linecap=\"round\">\n";
      for (const vxhost::Instance* instance : instances) {
        const auto self = pose.world.find(instance), parent = pose.world.find(instance->parent);
        if (self == pose.world.end() || parent == pose.world.end() || !DrawsBoneFromParent(*instance)) continue;
        double x1, y1, x2, y2;
        at(parent->second, x1, y1);
        at(self->second, x2, y2);
        svg += "<line x1=\"" + Number(x1) + "\" y1=\"" + Number(y1) + "\" x2=\"" + Number(x2) + "\" y2=\"" +
               Number(y2) + "\"/>\n";
      }
      svg += "</g>\n<g fill=\"#c0392b\">\n";
      for (const vxhost::Instance* instance : instances) {
        const auto self = pose.world.find(instance);
        if (self == pose.world.end()) continue;
        double x, y;
        at(self->second, x, y);
        svg += "<circle cx=\"" + Number(x) + "\" cy=\"" + Number(y) + "\" r=\"2\"/>\n";
      }
      svg += "</g>\n";
    }
  }
  svg += "</svg>\n";
  return svg;
}

bool WriteSvgPreview(const std::string& path, const std::string& fileName, const ExportSettings& settings,
                     std::string& error) {
  return WriteFileAtomically(path, RenderSvgPreview(fileName, settings), error);
}

}  // namespace varnex
