// What a converted file holds, read back from the file itself for convert's
// table: its size, and for glTF the keys its animations keep (after
// compaction, so fewer than the scene had).
#pragma once

#include <filesystem>

namespace varnex {

struct OutputFigures {
  long long bytes = -1;  // -1: unknown
  long long keys = -1;   // summed over every animation channel; -1 for CSV or an unreadable file
};

OutputFigures ReadOutputFigures(const std::filesystem::path& output);

}  // namespace varnex
