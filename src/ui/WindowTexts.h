#pragma once
// The window texts: which control of which window takes which key of the active language file,
// and what an empty text does. Each window's ApplyLanguage walks its list in order; the shipped
// language files are checked against the same lists.
#include <optional>
#include <string>
#include <vector>

enum class TextTarget {
    WindowCaption,  // the window's title
    Menu,           // a menu entry, by its name ("mnuFile")
    ToolbarCaption, // a toolbar button, by its key ("add")
    ToolbarTooltip,
    PanelTemplate, // a status bar panel's template, by its key ("file_count")
    PanelTooltip,
    ColumnHeader, // control: the column number "1" to "13"
    Tab,          // a tab of the options dialog, by its key ("upload")
    CheckBox,     // a dialog control, by its name ("chkProxyUse")
    Label,
    Button,
};

enum class TextRule {
    KeepBuiltInWhenEmpty, // menus: an empty text leaves the built-in caption
    TakeEvenWhenEmpty,    // everything else: an empty text empties the control
};

struct WindowText {
    TextTarget target;
    std::string control;
    std::string key;
    TextRule rule;
};

// Section "Main", in the order ApplyLanguage applies them: the title, the menus, the toolbar
// buttons (caption, then tooltip), the panels (template, then tooltip), the 13 columns.
const std::vector<WindowText>& MainWindowTexts();
// Section "Config": the title, the three tabs, then the controls in dialog order.
const std::vector<WindowText>& ConfigWindowTexts();
// Section "About": the nine labels (the dialog has no title key).
const std::vector<WindowText>& AboutWindowTexts();

// The text that entry gives its control from section of languageFile; nothing when the control
// keeps what it has (a menu whose text is empty or missing). A missing file reads as empty.
std::optional<std::string> ResolveWindowText(const WindowText& entry, const std::string& section,
                                             const std::string& languageFile);
