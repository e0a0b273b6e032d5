// Calls the plug-in's entry point the way the host program does, and reads
// back what a user sees of the answer: printed texts and host errors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vxhost {
struct Channel;
}

extern "C" void Varnex_Plugin_EntryPoint(const char** keywords, void** values, int32_t* result, void* extra);

namespace vxtest {

struct Item {
  const char* keyword;
  void* value;
};

inline void* Text(const std::string& text) { return const_cast<char*>(text.c_str()); }
inline void* Text(const char* text) { return const_cast<char*>(text); }
inline void* Number(intptr_t number) { return reinterpret_cast<void*>(number); }

// One entry-point call; the lists end with a null keyword after the items.
int32_t CallPlugin(const std::vector<Item>& items, int32_t resultBefore = 12345);

// The plug-in keeps its options from one import to the next, so an import
// made with these states all four, as the host program hands them over.
struct DriverOptions {
  bool reduceTranslation = false;
  bool reduceRotation = false;
  std::string distance = "0.01";
  std::string angle = "0.01";
};

// execute_geometry_converter for the path, with further driver keywords.
int32_t Import(const std::string& path, const std::vector<Item>& driverItems = {});
int32_t Import(const std::string& path, const DriverOptions& options);
// The same into a fresh host, as the host program's first import.
int32_t ImportIntoFreshHost(const std::string& path, const DriverOptions& options = {});
// initialize with a settings folder (with its trailing slash).
int32_t Initialize(const std::string& settingsDirectory);

// Texts printed to the message window in order; the note about a missing
// AMC file carries a scratch path and is left out unless asked for.
std::vector<std::string> PrintedTexts(bool keepMissingAmcNote = false);
// Every host error, one a line; empty when the host found no malformed call.
std::string HostErrorText();

// One channel of an instance, its keys' values and times; null or empty when
// the instance or the channel is missing.
const vxhost::Channel* ChannelOf(const std::string& instance, int entry);
std::vector<float> KeyValues(const std::string& instance, int entry);
std::vector<int32_t> KeyTimesOf(const std::string& instance, int entry);

}  // namespace vxtest
