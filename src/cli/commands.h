#pragma once

#include "cli/command.h"

#include <span>

namespace tarnlow::cli {

// Every sub-command, in the order --help lists them. Each lives in a file of its own
// (settings_command.cpp, ...).
std::span<const Command> commands();

extern const Command settingsCommand;
extern const Command packCommand;
extern const Command keygenCommand;
extern const Command signCommand;
extern const Command inspectCommand;
extern const Command initCommand;
extern const Command applyCommand;
extern const Command syncCommand;
extern const Command clientsCommand;
extern const Command stockUpdateCommand;
extern const Command scanControlsCommand;

} // namespace tarnlow::cli
