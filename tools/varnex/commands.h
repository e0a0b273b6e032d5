// Every subcommand's setup; main.cpp lists them in its command table.
#pragma once

#include "varnex.h"

namespace varnex {

void SetupValidateCommand(Program& program);
void SetupImportCommand(Program& program);
void SetupConvertCommand(Program& program);

}  // namespace varnex
