// Reads and writes the record beside an output (see output_record.h): a
// small JSON file, written through the same whole-or-nothing path as the
// outputs.
#include "library/output_record.h"

#include <fstream>

#include <nlohmann/json.hpp>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "io/atomic_file.h"
#include "library/file_digest.h"

namespace varnex {

namespace fs = std::filesystem;

namespace {

std::optional<FileState> StatOf(const fs::path& path) {
  FileState state;
  std::error_code ec;
  state.path = fs::absolute(path, ec).lexically_normal().string();
  if (ec) return std::nullopt;
#ifdef _WIN32
  state.size = fs::file_size(path, ec);
  if (ec) return std::nullopt;
  state.modified = int64_t(fs::last_write_time(path, ec).time_since_epoch().count());
  if (ec) return std::nullopt;
#else
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  state.size = uintmax_t(info.st_size);
  state.device = uint64_t(info.st_dev);
  state.inode = uint64_t(info.st_ino);
  state.modified = int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  state.changed = int64_t(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
#endif
  return state;
}

nlohmann::json ReadRecord(const fs::path& output) {
  std::ifstream in(RecordPath(output), std::ios::binary);
  if (!in) return nlohmann::json::value_t::discarded;
  return nlohmann::json::parse(in, nullptr, false);
}

// An input holds the bytes it held: known without reading it when nothing
// about the file changed (a change time no tool can set back), else by its digest.
bool SameInput(const nlohmann::json& recorded, const fs::path& input) {
  if (!recorded.is_object() || recorded.value("name", std::string()) != input.filename().string()) return false;
  const std::optional<FileState> now = StatOf(input);
  if (!now || now->size != recorded.value("size", uintmax_t(0))) return false;
  if (now->inode != 0 && now->device == recorded.value("device", uint64_t(0)) &&
      now->inode == recorded.value("inode", uint64_t(0)) && now->modified == recorded.value("modified", int64_t(0)) &&
      now->changed == recorded.value("changed", int64_t(0)))
    return true;
  const std::string digest = recorded.value("sha256", std::string());
  std::error_code ec;
  return !digest.empty() && fs::is_regular_file(input, ec) && FileDigest(input) == digest;
}

}  // namespace

// Only a regular file has bytes to stand for: a FIFO or a device is never
// up to date, and opening one to read its digest could wait for ever.
std::optional<FileState> InputState(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return std::nullopt;
  std::optional<FileState> state = StatOf(path);
  if (!state) return std::nullopt;
  state->digest = FileDigest(path);
  if (state->digest.empty()) return std::nullopt;
  return state;
}

fs::path RecordPath(const fs::path& output) { return fs::path(output.string() + ".varnex"); }

bool RecordMatches(const fs::path& output, const std::vector<std::string>& settings,
                   const std::vector<fs::path>& inputs, const std::vector<fs::path>& with) {
  const nlohmann::json record = ReadRecord(output);
  if (!record.is_object() || record.value("made by", nlohmann::json()) != nlohmann::json(settings)) return false;
  const nlohmann::json recordedInputs = record.value("inputs", nlohmann::json());
  if (!recordedInputs.is_array() || recordedInputs.size() != inputs.size()) return false;
  const nlohmann::json files = record.value("files", nlohmann::json());
  if (!files.is_array()) return false;
  // Every file written with the output is there, as it was written.
  std::vector<fs::path> wanted = {output};
  wanted.insert(wanted.end(), with.begin(), with.end());
  for (const fs::path& file : wanted) {
    bool listed = false;
    for (const nlohmann::json& entry : files) listed = listed || entry.value("name", std::string()) == file.filename().string();
    if (!listed) return false;
  }
  for (const nlohmann::json& entry : files) {
    const std::optional<FileState> now = StatOf(output.parent_path() / entry.value("name", std::string()));
    if (!now || now->size != entry.value("size", uintmax_t(0)) || now->modified != entry.value("modified", int64_t(0)))
      return false;
  }
  for (size_t i = 0; i < inputs.size(); ++i)
    if (!SameInput(recordedInputs[i], inputs[i])) return false;
  return true;
}

std::optional<fs::path> RecordedTake(const fs::path& output) {
  const nlohmann::json record = ReadRecord(output);
  if (!record.is_object() || !record.contains("inputs") || !record["inputs"].is_array() || record["inputs"].empty() ||
      !record["inputs"][0].is_object())
    return std::nullopt;
  const std::string path = record["inputs"][0].value("path", std::string());
  if (path.empty()) return std::nullopt;
  return fs::path(path);
}

bool RemoveRecord(const fs::path& output, std::string& error) {
  std::error_code ec;
  fs::remove(RecordPath(output), ec);
  if (ec) error = ec.message();
  return !ec;
}

bool WriteRecord(const fs::path& output, const std::vector<std::string>& settings, const std::vector<FileState>& inputs,
                 const std::vector<fs::path>& with, std::string& error) {
  nlohmann::json record = {{"made by", settings}, {"inputs", nlohmann::json::array()}, {"files", nlohmann::json::array()}};
  for (const FileState& input : inputs)
    record["inputs"].push_back({{"path", input.path},
                                {"name", fs::path(input.path).filename().string()},
                                {"size", input.size},
                                {"sha256", input.digest},
                                {"device", input.device},
                                {"inode", input.inode},
                                {"modified", input.modified},
                                {"changed", input.changed}});
  std::vector<fs::path> files = {output};
  files.insert(files.end(), with.begin(), with.end());
  for (const fs::path& file : files) {
    const std::optional<FileState> state = StatOf(file);
    if (!state) {
      error = file.string() + " is not there";
      return false;
    }
    record["files"].push_back({{"name", file.filename().string()}, {"size", state->size}, {"modified", state->modified}});
  }
  return WriteFileAtomically(RecordPath(output).string(), record.dump(1) + "\n", error);
}

}  // namespace varnex
