// Case folding for what varnex compares regardless of case: file extensions,
// and output names on file systems that fold case.
#pragma once

#include <cctype>
#include <string>

namespace varnex {

inline std::string LowerCase(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace varnex
