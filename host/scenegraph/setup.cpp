// The calls an import makes to prepare the host (class storage and the trie
// graph system) and the path conversion. This host needs no preparation, so
// the first three only check their arguments; the log shows they came.
#include <cstdio>
#include <string>

#include "hostcall.h"
#include "varnex/sg.h"

namespace vxhost {
namespace {
constexpr uint32_t kImportClassId = 0xB7BDFFA9u;

void LogCall(const std::string& line) {
  if (CallLogOn()) AppendCallLog(line);
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}
}  // namespace
}  // namespace vxhost

extern "C" void Sg_RegisterClassStorage(uint32_t classId, int32_t a, int32_t b) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Sg_RegisterClassStorage()", [&] {
    vxhost::LogCall("Sg_RegisterClassStorage(" + vxhost::Hex(classId) + ", " + std::to_string(a) + ", " +
                    std::to_string(b) + ")");
    if (classId != vxhost::kImportClassId)
      vxhost::ReportHostError("Sg_RegisterClassStorage()", "item 1: unknown class id " + vxhost::Hex(classId));
    else if (a != 0 || b != 0)
      vxhost::ReportHostError("Sg_RegisterClassStorage()", std::string("item ") + (a != 0 ? "2" : "3") + ": expected 0");
  });
  vxhost::AfterHostCall();
}

extern "C" void Sg_RegisterClassStorageAux(int32_t flag) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Sg_RegisterClassStorageAux()", [&] {
    vxhost::LogCall("Sg_RegisterClassStorageAux(" + std::to_string(flag) + ")");
    if (flag != 1) vxhost::ReportHostError("Sg_RegisterClassStorageAux()", "item 1: expected 1, found " + std::to_string(flag));
  });
  vxhost::AfterHostCall();
}

extern "C" void Sg_SetupTrieGraphSystem(void) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Sg_SetupTrieGraphSystem()", [&] { vxhost::LogCall("Sg_SetupTrieGraphSystem()"); });
  vxhost::AfterHostCall();
}

// Paths on this platform are already native: a backslash is an ordinary file
// name character here, so the path is left exactly as given.
extern "C" void Sg_Convert_Pathname(char* path) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Sg_Convert_Pathname()", [&] {
    vxhost::LogCall(std::string("Sg_Convert_Pathname(") + (path ? vxhost::QuoteForLog(path) : "0") + ")");
    if (!path) vxhost::ReportHostError("Sg_Convert_Pathname()", "item 1: expected a path, found 0");
  });
  vxhost::AfterHostCall();
}
