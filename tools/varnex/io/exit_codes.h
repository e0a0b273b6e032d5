// The exit codes of varnex itself; an import answers with the plug-in's
// result (0 or 1), and a stop signal with 128 plus its number.
#pragma once

namespace varnex {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;       // an import failed, a file was not accepted
constexpr int kExitHostProblem = 2;   // usage, plug-in, settings or output file problems, out of memory

}  // namespace varnex
