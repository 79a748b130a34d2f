#include "cli/commands.h"

#include <array>

namespace tarnlow::cli {

std::span<const Command> commands() {
    static const std::array table{
        settingsCommand,
        initCommand,
        syncCommand,
    };
    return table;
}

} // namespace tarnlow::cli
