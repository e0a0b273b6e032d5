// The fuzz harness: scratch files, entry-point calls and the host check.
#include "harness.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "varnex/host.h"

extern "C" void Varnex_Plugin_EntryPoint(const char** keywords, void** values, int32_t* result, void* extra);

namespace fuzzharness {
namespace {

// Made on first use, removed with its contents when the process ends.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "varnex-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

const ScratchFolder& Scratch() {
  static ScratchFolder folder;
  return folder;
}

int32_t CallEntryPoint(std::vector<const char*> keywords, std::vector<void*> values) {
  keywords.push_back(nullptr);
  values.push_back(nullptr);
  int32_t result = -12345;
  Varnex_Plugin_EntryPoint(keywords.data(), values.data(), &result, nullptr);
  return result;
}

}  // namespace

std::string ScratchDir() { return Scratch().Path().string() + "/"; }

std::string WriteScratchFile(std::string_view name, const uint8_t* data, size_t size) {
  std::filesystem::path path = Scratch().Path() / name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::abort();
  }
  return path.string();
}

std::string WriteScratchFile(std::string_view name, std::string_view text) {
  return WriteScratchFile(name, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void RemoveScratchFile(std::string_view name) {
  std::error_code ignored;
  std::filesystem::remove(Scratch().Path() / name, ignored);
}

int32_t ImportFile(const std::string& path) {
  return CallEntryPoint({"execute_geometry_converter", "filename"}, {nullptr, const_cast<char*>(path.c_str())});
}

void InitializeWithScratchSettings() {
  static const std::string dir = ScratchDir();
  CallEntryPoint({"initialize"}, {const_cast<char*>(dir.c_str())});
}

void CheckHostAndReset(std::string_view what) {
  const std::vector<std::string>& errors = vxhost::HostErrors();
  if (!errors.empty()) {
    std::fprintf(stderr, "%.*s: the host found %zu malformed call(s):\n", static_cast<int>(what.size()), what.data(),
                 errors.size());
    for (const std::string& error : errors) std::fprintf(stderr, "  %s", error.c_str());
    std::abort();
  }
  vxhost::ResetHost();
}

const char kFixedAsf[] = R"(# A two-bone arm for the Acclaim fuzz targets
:version 1.10
:name fuzzarm
:units
  mass 1.0
  length 0.45
  angle deg
:documentation
  fixed half of a fuzz target
:root
   order TX TY TZ RX RY RZ
   axis XYZ
   position 0 0 0
   orientation 0 0 0
:bonedata
  begin
     id 1
     name upper
     direction 0 1 0
     length 2.5
     axis 0 0 10 XYZ
    dof rx ry rz
    limits (-160.0 20.0)
           (-70.0 70.0)
           (-inf inf)
  end
  begin
     id 2
     name lower
     direction 1 0 0
     length 2
     axis 0 0 0 XYZ
    dof rx
    limits (0 170)
  end
:hierarchy
  begin
    root upper
    upper lower
  end
)";

const char kFixedAmc[] = R"(#!OML:ASF fuzzarm.asf
:FULLY-SPECIFIED
:DEGREES
1
root 1 2 3 10 20 30
upper 5 6 7
lower 45
2
root 1.5 2 3 11 21 31
upper 6 7 8
lower 50
3
root 2 2 3 12 22 32
upper 7 8 9
lower 55
)";

const char kFixedBvh[] = R"(HIERARCHY
ROOT Hips
{
  OFFSET 0 0 0
  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation
  JOINT Chest
  {
    OFFSET 0 5 0
    CHANNELS 3 Zrotation Xrotation Yrotation
    End Site
    {
      OFFSET 0 4 0
    }
  }
}
MOTION
Frames: 3
Frame Time: 0.033333
0 0 0 0 0 0 0 0 0
1 0.5 0 10 5 0 20 0 5
2 1 0 20 10 0 40 0 10
)";

}  // namespace fuzzharness
