// What a convert worker (varnex import --report-to PATH) tells the convert
// command about what it imported: joints, frames and keys, summed over the
// takes when it imported several into one file.
#pragma once

#include "commands/program.h"

namespace varnex {

// Adds the scene just imported to the figures of a worker with several takes.
void NoteTakeFigures();

// Writes the report when --report-to was given: the noted figures, or the
// scene's when none were noted. Answers an exit code.
int WriteWorkerReportIfAsked(const CLI::App& command);

}  // namespace varnex
