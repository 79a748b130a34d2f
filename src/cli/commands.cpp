#include "cli/commands.h"

#include <array>

namespace tarnlow::cli {

std::span<const Command> commands() {
    static const std::array table{
        settingsCommand, keygenCommand, packCommand,    signCommand,        inspectCommand,      initCommand,
        applyCommand,    syncCommand,   clientsCommand, stockUpdateCommand, scanControlsCommand,
    };
    return table;
}

} // namespace tarnlow::cli
