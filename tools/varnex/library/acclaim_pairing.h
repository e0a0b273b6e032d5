// Which ASF skeleton an AMC motion belongs to, found the way motion libraries
// lay them out (one 01.asf beside 01_01.amc, 01_02.amc, ...), and the ASF's
// unit length, which the plug-in applies to bone offsets but not root motion.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace varnex {

// The skeleton for an AMC file, tried in this order: the one given
// (--skeleton), the same-name .asf, the only .asf in the folder, the longest
// .asf name that begins the motion's name where a separator (_ - . or space)
// follows it. Answers nothing and says what was tried in `problem` when none fits.
std::optional<std::filesystem::path> FindSkeleton(const std::filesystem::path& motion, const std::string& given,
                                                  std::string& problem);

// True for a path whose extension is .amc in any letter case.
bool IsAmcFile(const std::filesystem::path& path);
bool IsAsfFile(const std::filesystem::path& path);

// The ASF's ":units length", 1 when the file gives none or cannot be read.
double AsfUnitLength(const std::filesystem::path& skeleton);

}  // namespace varnex
