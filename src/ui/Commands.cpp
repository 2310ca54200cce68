#include "ui/Commands.h"

std::optional<Command> CommandOfButton(const std::string& key) {
    if (key.empty()) {
        return std::nullopt;
    }
    for (const CommandInfo& info : Commands) {
        if (key == info.toolbarKey) {
            return info.command;
        }
    }
    return std::nullopt;
}
