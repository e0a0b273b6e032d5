// The record convert keeps beside each output (OUTPUT.varnex): which inputs
// made it (by name, size and SHA-256 digest, with the device, inode and
// times that let an unchanged file be known without reading it), the
// settings that shaped it (varnex's version, the options, the options
// file) and the files written with it. --skip-existing trusts an output
// only as far as its record matches; the record goes before its output is
// made again and comes back, written whole, only once the output is.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace varnex {

// A file as a record holds it.
struct FileState {
  std::string path;  // absolute, as the scan found it
  uintmax_t size = 0;
  std::string digest;  // SHA-256; empty for an output, which is known by size and time
  uint64_t device = 0, inode = 0;
  int64_t modified = 0, changed = 0;  // in nanoseconds; 0 where the system has none
};

// The state of an input, its digest read; nothing when it cannot be read.
std::optional<FileState> InputState(const std::filesystem::path& path);

std::filesystem::path RecordPath(const std::filesystem::path& output);

// True when OUTPUT's record says it was made from INPUTS, in that order and
// of the same names and bytes, with SETTINGS, and every file the record
// lists beside it, WITH among them, is as it was written.
bool RecordMatches(const std::filesystem::path& output, const std::vector<std::string>& settings,
                   const std::vector<std::filesystem::path>& inputs, const std::vector<std::filesystem::path>& with);

// The first input of OUTPUT's record (the take whose output it is), if it has one.
std::optional<std::filesystem::path> RecordedTake(const std::filesystem::path& output);

// Removes OUTPUT's record: false with the reason when it stays.
bool RemoveRecord(const std::filesystem::path& output, std::string& error);
// Writes OUTPUT's record whole, or not at all: the inputs as they were when
// the work started, and OUTPUT with the files of WITH as they are now.
bool WriteRecord(const std::filesystem::path& output, const std::vector<std::string>& settings,
                 const std::vector<FileState>& inputs, const std::vector<std::filesystem::path>& with,
                 std::string& error);

}  // namespace varnex
