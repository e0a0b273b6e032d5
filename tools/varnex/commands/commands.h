// Every subcommand's setup; main.cpp lists them in its command table.
#pragma once

#include "commands/program.h"

namespace varnex {

void SetupValidateCommand(Program& program);
void SetupImportCommand(Program& program);
void SetupConvertCommand(Program& program);
void SetupOptionsCommand(Program& program);  // dialog_command.cpp
void SetupAboutCommand(Program& program);    // dialog_command.cpp

}  // namespace varnex
