// What a convert worker (varnex import --report-to PATH) tells the convert
// command about what it imported: joints, frames and keys, summed over the
// takes when it imported several into one file, and what its exports adjusted.
#pragma once

#include "commands/program.h"

namespace varnex {

// Adds the scene just imported to the figures of a worker with several takes.
void NoteTakeFigures();
// What the exports of the take adjust (MeaningSummary) and its height in output units.
void NoteTakeMeaning(const std::string& adjustments, double restHeight);

// Writes the report when --report-to was given: the noted figures, or the
// scene's when none were noted. Answers an exit code.
int WriteWorkerReportIfAsked(const CLI::App& command);

}  // namespace varnex
