// Builds the refusal message from the export's own list, so that it always
// names what the option writes.
#include "io/output_option.h"

#include <cctype>
#include <filesystem>

namespace varnex {

bool HasExtension(const std::string& path, const std::string& extension) {
  const std::string found = std::filesystem::path(path).extension().string();
  if (found.size() != extension.size() + 1) return false;
  for (size_t i = 0; i < extension.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(found[i + 1])) != extension[i]) return false;
  return true;
}

// A FIFO or a device is written as it is, whatever its name.
bool IsStreamTarget(const std::string& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  return !error && (status.type() == std::filesystem::file_type::fifo ||
                    status.type() == std::filesystem::file_type::character);
}

CLI::Validator OutputPathCheck(std::vector<std::string> extensions, bool standardOutput) {
  std::string names;
  for (size_t i = 0; i < extensions.size(); ++i)
    names += (i == 0 ? "." : i + 1 == extensions.size() ? " or ." : ", .") + extensions[i];
  const std::string orStandardOutput = standardOutput ? ", or - for standard output" : "";
  return CLI::Validator(
      [extensions, standardOutput, names, orStandardOutput](std::string& path) -> std::string {
        if ((standardOutput && path == "-") || IsStreamTarget(path)) return {};
        for (const std::string& extension : extensions)
          if (HasExtension(path, extension)) return {};
        return path + ": varnex writes " + names + " here" + orStandardOutput;
      },
      names + (standardOutput ? " or -" : ""), "");
}

}  // namespace varnex
