#pragma once
// The main window's commands. A command is addressed by this enum everywhere; its menu name and
// toolbar key live in one table, so the language keys ("Menu(\"mnuEditAdd\").Caption") and the
// widgets are built from the same names.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

enum class Command : int32_t {
    FileExit,
    EditAdd,
    EditRemove,
    EditPublish,
    EditPublishYes,
    EditPublishNo,
    EditSetBinLayerID,
    EditSetDescription,
    EditSetPassword,
    EditCopyUrls,
    EditSelectAll,
    UploadStart,
    UploadCancel,
    ExtrasOptions,
    HelpNews,
    HelpAbout,
};

struct CommandInfo {
    Command command;
    const char* menuName;   // "mnuEditAdd"
    const char* toolbarKey; // "add", or "" when the command has no button
};

inline constexpr std::array<CommandInfo, 16> Commands = {{
    {Command::FileExit, "mnuFileExit", ""},
    {Command::EditAdd, "mnuEditAdd", "add"},
    {Command::EditRemove, "mnuEditRemove", "remove"},
    {Command::EditPublish, "mnuEditPublish", ""},
    {Command::EditPublishYes, "mnuEditPublishYes", ""},
    {Command::EditPublishNo, "mnuEditPublishNo", ""},
    {Command::EditSetBinLayerID, "mnuEditSetBinLayerID", ""},
    {Command::EditSetDescription, "mnuEditSetDescription", ""},
    {Command::EditSetPassword, "mnuEditSetPassword", ""},
    {Command::EditCopyUrls, "mnuEditCopyUrls", ""},
    {Command::EditSelectAll, "mnuEditSelectAll", ""},
    {Command::UploadStart, "mnuUploadStart", "upload"},
    {Command::UploadCancel, "mnuUploadCancel", "cancel"},
    {Command::ExtrasOptions, "mnuExtrasOptions", ""},
    {Command::HelpNews, "mnuHelpNews", "news"},
    {Command::HelpAbout, "mnuHelpAbout", "about"},
}};

constexpr const CommandInfo& InfoOf(Command command) {
    return Commands[static_cast<std::size_t>(command)];
}
constexpr bool CommandsInEnumOrder() {
    for (std::size_t i = 0; i < Commands.size(); ++i) {
        if (static_cast<std::size_t>(Commands[i].command) != i) {
            return false;
        }
    }
    return true;
}
static_assert(CommandsInEnumOrder(), "InfoOf indexes the table by the enum");

// The command of a toolbar button; nothing for the placeholder, separators and unknown keys.
std::optional<Command> CommandOfButton(const std::string& key);
