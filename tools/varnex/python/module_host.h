// The Python module's host: the plug-in loaded once per process from beside
// the module, and one import at a time through it. A loaded take is captured
// whole (take.h), so its arrays outlive the next import; its exports are
// written from the host scene, which is imported again when another take has
// replaced it since. Nothing here touches Python: the binding calls these
// with the interpreter's lock released.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <varnex/host.h>

#include "library/take_files.h"
#include "scene/take.h"
#include "scene/take_meaning.h"
#include "session/reduction_options.h"

namespace varnex {

// load()'s options, as the binding checked them.
struct LoadOptions {
  std::string skeleton;              // the ASF of an AMC motion; empty: paired as the command line pairs
  std::optional<int32_t> frameRate;  // the scene's rate before the import
  ReductionOptions reduction;
  MeaningOptions meaning;
};

// A file's size and time of change, to tell whether it changed under a take.
struct FileStamp {
  std::filesystem::path path;
  std::uintmax_t size = 0;
  int64_t modified = 0;
};

struct LoadedTake {
  uint64_t id = 0;  // which import of the process the host scene holds
  TakeFiles files;
  LoadOptions options;
  std::vector<FileStamp> stamps;
  int32_t frameRate = 0;
  std::vector<std::string> paths;   // as the positions CSV names the nodes
  std::vector<std::string> kinds;   // "joint", "end effector" or "node"
  std::vector<std::string> orders;  // Euler order letters, "XYZ"
  Meaning meaning;                  // what every export of the take applies
  Take take;                        // captured as the exports read it
};

// What an import said and how it ended. A failed import answers no take and
// names the failure in the plug-in's words; messages are the host's, in order.
struct LoadOutcome {
  std::shared_ptr<const LoadedTake> take;
  std::string failure;   // non-empty: the import failed or was refused
  std::string problem;   // non-empty: the module cannot work (no plug-in)
  bool stopped = false;  // an interrupt stopped it
  bool outOfMemory = false;  // the host ran out and ended the import
  bool editsRefused = false;  // frames= keeps no frame of the take
  std::vector<vxhost::Message> messages;  // besides the failure, each a warning
  std::vector<std::string> notices;       // the module's own remarks, each a warning
};

// Imports FILE (BVH, ASF, or AMC with its skeleton) as a new take. Ctrl-C
// stops it (interrupt_guard.h).
LoadOutcome LoadTake(const std::string& file, const LoadOptions& options);

// The plug-in's header code of a file: 1 accepted, -1 cannot be opened, -2 not accepted.
struct HeaderOutcome {
  int32_t code = 0;
  std::string problem;
};
HeaderOutcome ValidateHeader(const std::string& file);

// The exports, by the lower-case name of their extension.
const std::vector<std::string>& ExportFormats();
// The format PATH's extension names; empty when none does.
std::string FormatOfPath(const std::string& path);

// Writes the take's export in FORMAT to PATH, as the command line writes it:
// with its own writer and the same rules for what PATH may be.
struct SaveOutcome {
  std::string failure;   // the reason the output is not written
  bool importFailed = false;  // the take's files could not be imported again
  bool stopped = false;
  std::vector<vxhost::Message> messages;
};
SaveOutcome SaveTake(const LoadedTake& take, const std::string& path, const std::string& format, bool exact);

}  // namespace varnex
