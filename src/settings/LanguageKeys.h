#pragma once
// Every key the program reads from a language file, and the builders of the window text keys.
// The windows build their keys with these functions and the shipped files are checked against
// LanguageKeys(), so the two cannot drift apart.
#include <array>
#include <string>
#include <vector>

namespace modLanguage {

// How a shipped language file treats a key.
enum class KeyUse {
    Text,       // every shipped file holds a non-empty text
    KeepBuiltIn // shipped files leave it out, so the built-in caption stays (separators, the
                // language entries, which show the file names)
};

struct LanguageKey {
    std::string section;
    std::string key;
    std::vector<std::string> placeholders; // what the callers fill: "{%1}" or "%1"
    KeyUse use = KeyUse::Text;
};

// All keys of sections "Main", "Config" and "About".
const std::vector<LanguageKey>& LanguageKeys();

// A menu of the main window with the caption it keeps when the language file has none.
struct MenuText {
    const char* name;
    const char* builtInCaption;
};
const std::vector<MenuText>& MainMenus();

// Toolbar button keys, and status bar panel keys in panel order 1 to 5.
inline constexpr std::array<const char*, 6> ToolbarButtonKeys = {"add",    "remove", "upload",
                                                                 "cancel", "news",   "about"};
inline constexpr std::array<const char*, 5> StatusbarPanelKeys = {
    "main", "file_count", "upload_maxfilesize", "upload_traffic", "upload_count"};
inline constexpr int ColumnHeaderCount = 13;

std::string MenuCaptionKey(const std::string& menuName);     // Menu("mnuFile").Caption
std::string ToolbarCaptionKey(const std::string& buttonKey); // Toolbar.Button("add").Caption
std::string ToolbarTooltipKey(const std::string& buttonKey); // Toolbar.Button("add").Tooltip
std::string PanelTextKey(const std::string& panelKey);       // Statusbar.Panel("main").Text
std::string PanelTooltipKey(const std::string& panelKey);    // Statusbar.Panel("main").Tooltip
std::string ColumnHeaderKey(int n);                          // Listview.Column(1).Text
std::string NumberedKey(const std::string& list, int n);     // Status(1)
std::string DialogCaptionKey(const std::string& kind,
                             const std::string& name); // Label("x").Caption

} // namespace modLanguage
