// What both import benchmarks share: an import through the plug-in's entry
// point, as the host program makes it, and the process's peak resident set.
#pragma once

#include <sys/resource.h>

#include <cstdint>
#include <string>

extern "C" void Varnex_Plugin_EntryPoint(const char** keywords, void** values, int32_t* result, void* extra);

namespace varnexbench {

inline int64_t PeakResidentBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<int64_t>(usage.ru_maxrss) * 1024;
}

inline int32_t ImportFile(const std::string& path) {
  const char* keywords[] = {"execute_geometry_converter", "filename", nullptr};
  void* values[] = {nullptr, const_cast<char*>(path.c_str()), nullptr};
  int32_t result = -1;
  Varnex_Plugin_EntryPoint(keywords, values, &result, nullptr);
  return result;
}

}  // namespace varnexbench
