// --positions OUT.csv: the world position of every instance at every frame
// of the imported scene, in the export's units and axes, for people who
// analyse motion. The frames are every frame of the take and every key
// time, so the export means the same for every format, however far
// optimisation and reduction thinned the keys.
#pragma once

#include <string>

#include "scene/export_settings.h"

namespace varnex {

// Writes the CSV as every output is written (io/atomic_file.h); false with
// the reason when it cannot.
bool WritePositionsCsv(const std::string& path, const ExportSettings& settings, std::string& error);

}  // namespace varnex
