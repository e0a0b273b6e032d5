// The keyframe reduction options of import and convert: checked as the
// options dialog checks its fields, handed to the plug-in as driver keywords,
// passed on to convert's workers, and the line that says what the options
// file decided instead.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "session/plugin.h"

namespace varnex {

struct ReductionOptions {
  std::optional<std::string> distanceThreshold;  // a number above 0, handed over as written
  std::optional<std::string> angularThreshold;
  std::optional<bool> reduceTranslation;         // unset: the options file decides
  std::optional<bool> reduceRotation;
};

// A threshold's check, as the options dialog checks its fields: a number
// whose single-precision value is above 0; the text is handed over as written.
CLI::Validator ThresholdCheck();

// --distance-threshold, --angular-threshold, --[no-]reduce-translation, --[no-]reduce-rotation.
void AddReductionOptions(CLI::App& command, ReductionOptions& options);
// The driver keywords of the options given; a --no- flag sends its keyword with 0.
void AppendReductionKeywords(const ReductionOptions& options, std::vector<KeywordValue>& call);
// The same options as a worker's command line.
void AppendReductionArguments(const ReductionOptions& options, std::vector<std::string>& arguments);

// "varnex: from DIR/imp_bvh.ini: ..." naming each reduction and threshold the
// options file sets and the command line does not; empty when there is none.
std::string OptionsFileNotice(const ReductionOptions& options, const HostOptions& host);

// Every option as an import in a fresh process gets it: the options given,
// else the options file's, else the plug-in's own defaults. A host that
// imports many times hands over all four, since the plug-in keeps what a
// keyword set for the imports after it.
ReductionOptions EveryReductionOption(const ReductionOptions& options, const HostOptions& host);

}  // namespace varnex
