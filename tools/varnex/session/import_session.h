// One import through the plug-in, as a host runs it: the options become
// driver keywords, messages go to stderr, progress to the terminal, and a
// stop signal (stop_signals.h) makes the next abort poll answer "abort".
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "io/exit_codes.h"
#include "session/plugin.h"
#include "session/reduction_options.h"
#include "session/staged_take.h"

namespace varnex {

struct ImportRequest {
  std::string file;
  std::vector<std::string> moreFiles;            // further AMC takes of the same skeleton
  std::string skeleton;                          // --skeleton: the ASF of AMC motions
  bool acclaimRootScale = true;                  // scale root motion by the ASF's unit length
  bool noticesSaid = false;                      // the frame-rate and unit-length lines, once per command
  ReductionOptions reduction;
  bool quiet = false;                            // no progress bar
  std::optional<int32_t> frameRate;              // the scene's rate before the import
};

// An ASF named with one AMC motion and no --skeleton: one take of that
// skeleton, as `--skeleton FILE.asf MOTION.amc` names it.
bool OneTakeOfSkeleton(const ImportRequest& request);

// --frame-rate's check: a whole rate from 1 to the host's ticks a second
// in any decimal spelling (120, 120.0, 1.2e2), handed on as the integer;
// hexadecimal and fractions are refused. A transform, not a check: it
// rewrites the text to the integer that the option reads.
CLI::Validator FrameRateCheck();

// Adds FILE and the import options to a command that imports.
void AddImportOptions(CLI::App& command, ImportRequest& request);

// The files of the take whose motion is `file`: an AMC is paired with its
// skeleton (acclaim_pairing.h), the one given when there is one. Without
// one, says in `problem` what was tried, after the file's name.
std::optional<TakeFiles> ResolveTake(const std::string& file, const std::string& skeleton, std::string& problem);
// The same for the command line, which prints the problem.
std::optional<TakeFiles> ResolveTake(const std::string& file, const ImportRequest& request);

// What RunImport answers when the host ran out of memory and ended the
// import: varnex's exit code for host problems.
constexpr int32_t kImportOutOfMemory = kExitHostProblem;

// Every file an import of the take reads: the motion, its skeleton, and the
// AMC motion the plug-in looks for beside an ASF.
std::vector<std::filesystem::path> ImportInputs(const TakeFiles& take);

// Imports one take under its file's stem (staged_take.h); after a
// successful Acclaim import says in a line which frame rate timed the motion
// and what the skeleton's unit length does, unless the options chose.
// Answers the plug-in's result: 0 imported, 1 failed or stopped; or
// kImportOutOfMemory, after a line saying so.
int32_t RunImport(const Plugin& plugin, const ImportRequest& request, const TakeFiles& take);

}  // namespace varnex
