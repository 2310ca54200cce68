#include "settings/LanguageKeys.h"

namespace modLanguage {

namespace {

std::string Quoted(const std::string& prefix, const std::string& name, const std::string& suffix) {
    return prefix + "(\"" + name + "\")." + suffix;
}

std::vector<LanguageKey> BuildKeys() {
    std::vector<LanguageKey> keys;
    auto add = [&keys](const char* section, std::string key,
                       std::vector<std::string> placeholders = {}, KeyUse use = KeyUse::Text) {
        keys.push_back({section, std::move(key), std::move(placeholders), use});
    };

    add("Main", "Window.Caption");
    // The desktop notification at the end of a run nobody watched: files uploaded, failed.
    add("Main", "Notification.RunEnded", {"%1", "%2"});
    for (const MenuText& menu : MainMenus()) {
        const std::string name = menu.name;
        const bool keep =
            std::string(menu.builtInCaption) == "-" || name == "mnuExtrasLanguageList";
        add("Main", MenuCaptionKey(name), {}, keep ? KeyUse::KeepBuiltIn : KeyUse::Text);
    }
    for (const char* button : ToolbarButtonKeys) {
        add("Main", ToolbarCaptionKey(button));
        add("Main", ToolbarTooltipKey(button));
    }
    for (const char* panel : StatusbarPanelKeys) {
        // Panel 1 shows texts given to it directly; the others put their value in for "%1".
        const bool counter = std::string(panel) != "main";
        add("Main", PanelTextKey(panel),
            counter ? std::vector<std::string>{"%1"} : std::vector<std::string>{});
        add("Main", PanelTooltipKey(panel));
    }
    for (int n = 1; n <= ColumnHeaderCount; ++n) {
        add("Main", ColumnHeaderKey(n));
    }
    add("Main", NumberedKey("Statusbar", 1));
    for (int n = 1; n <= 5; ++n) {
        add("Main", NumberedKey("LogFile", n));
    }
    for (int n = 1; n <= 21; ++n) {
        add("Main", NumberedKey("Status", n));
    }
    for (int n = 1; n <= 6; ++n) {
        std::vector<std::string> placeholders;
        if (n == 2) {
            placeholders = {"{%1}"}; // file name
        } else if (n == 3) {
            placeholders = {"{%1}", "{%2}"}; // file name, maximum in MB
        } else if (n == 5) {
            placeholders = {"{%1}", "{%2}"}; // error number, description
        }
        add("Main", NumberedKey("Message", n), placeholders);
    }
    for (int n = 1; n <= 3; ++n) {
        add("Main", NumberedKey("Input", n));
    }

    add("Config", "Window.Caption");
    for (const char* tab : {"upload", "proxy", "premium"}) {
        add("Config", DialogCaptionKey("Tabstrip.Tab", tab));
    }
    add("Config", DialogCaptionKey("Checkbox", "upload_remove_complete_files"));
    add("Config", DialogCaptionKey("Label", "upload_bin_layer_id"));
    add("Config", DialogCaptionKey("Label", "upload_description"));
    add("Config", DialogCaptionKey("Label", "upload_password"));
    add("Config", DialogCaptionKey("Checkbox", "proxy_use"));
    add("Config", DialogCaptionKey("Label", "proxy_sevrer")); // sic: the files spell it so
    add("Config", DialogCaptionKey("Label", "proxy_username"));
    add("Config", DialogCaptionKey("Label", "proxy_password"));
    add("Config", DialogCaptionKey("Checkbox", "premium_use"));
    add("Config", DialogCaptionKey("Label", "premium_username"));
    add("Config", DialogCaptionKey("Label", "premium_password"));
    for (const char* button : {"ok", "cancel", "apply"}) {
        add("Config", DialogCaptionKey("Button", button));
    }

    for (const char* label : {"title", "version", "company", "comments", "homepage", "email",
                              "uploaded_files", "uploaded_bytes", "back"}) {
        add("About", DialogCaptionKey("Label", label));
    }
    return keys;
}

} // namespace

const std::vector<MenuText>& MainMenus() {
    static const std::vector<MenuText> menus = {
        {"mnuFile", "&Datei"},
        {"mnuFileExit", "B&eenden"},
        {"mnuEdit", "&Bearbeiten"},
        {"mnuEditAdd", "&Hinzufügen"},
        {"mnuEditRemove", "&Entfernen"},
        {"mnuEditSeperator01", "-"},
        {"mnuEditPublish", "&Veröffentlichen"},
        {"mnuEditPublishYes", "&Ja"},
        {"mnuEditPublishNo", "&Nein"},
        {"mnuEditSetBinLayerID", "Bin-&Layer ID eingeben"},
        {"mnuEditSetDescription", "&Beschreibung eingeben"},
        {"mnuEditSetPassword", "&Passwort eingeben"},
        {"mnuEditCopyUrls", "&Urls Kopieren"},
        {"mnuEditSeperator02", "-"},
        {"mnuEditSelectAll", "Alle Dateien markieren"},
        {"mnuUpload", "&Upload"},
        {"mnuUploadStart", "&Starten"},
        {"mnuUploadCancel", "&Anhalten"},
        {"mnuExtras", "&Extras"},
        {"mnuExtrasLanguage", "&Sprache"},
        {"mnuExtrasLanguageList", ""},
        {"mnuExtrasSeperator01", "-"},
        {"mnuExtrasOptions", "&Optionen"},
        {"mnuHelp", "&?"},
        {"mnuHelpNews", "&News"},
        {"mnuHelpAbout", "Inf&o"},
    };
    return menus;
}

const std::vector<LanguageKey>& LanguageKeys() {
    static const std::vector<LanguageKey> keys = BuildKeys();
    return keys;
}

std::string MenuCaptionKey(const std::string& menuName) {
    return Quoted("Menu", menuName, "Caption");
}
std::string ToolbarCaptionKey(const std::string& buttonKey) {
    return Quoted("Toolbar.Button", buttonKey, "Caption");
}
std::string ToolbarTooltipKey(const std::string& buttonKey) {
    return Quoted("Toolbar.Button", buttonKey, "Tooltip");
}
std::string PanelTextKey(const std::string& panelKey) {
    return Quoted("Statusbar.Panel", panelKey, "Text");
}
std::string PanelTooltipKey(const std::string& panelKey) {
    return Quoted("Statusbar.Panel", panelKey, "Tooltip");
}
std::string ColumnHeaderKey(int n) {
    return "Listview.Column(" + std::to_string(n) + ").Text";
}
std::string NumberedKey(const std::string& list, int n) {
    return list + "(" + std::to_string(n) + ")";
}
std::string DialogCaptionKey(const std::string& kind, const std::string& name) {
    return Quoted(kind, name, "Caption");
}

} // namespace modLanguage
