#include "ui/WindowTexts.h"

#include "settings/LanguageKeys.h"
#include "settings/modConfig.h"

#include <string>

using namespace modLanguage;

const std::vector<WindowText>& MainWindowTexts() {
    static const std::vector<WindowText> texts = [] {
        std::vector<WindowText> list;
        const auto take = TextRule::TakeEvenWhenEmpty;
        list.push_back({TextTarget::WindowCaption, "", "Window.Caption", take});
        for (const MenuText& menu : MainMenus()) {
            list.push_back({TextTarget::Menu, menu.name, MenuCaptionKey(menu.name),
                            TextRule::KeepBuiltInWhenEmpty});
        }
        for (const char* button : ToolbarButtonKeys) {
            list.push_back({TextTarget::ToolbarCaption, button, ToolbarCaptionKey(button), take});
            list.push_back({TextTarget::ToolbarTooltip, button, ToolbarTooltipKey(button), take});
        }
        for (const char* panel : StatusbarPanelKeys) {
            list.push_back({TextTarget::PanelTemplate, panel, PanelTextKey(panel), take});
            list.push_back({TextTarget::PanelTooltip, panel, PanelTooltipKey(panel), take});
        }
        for (int n = 1; n <= ColumnHeaderCount; ++n) {
            list.push_back({TextTarget::ColumnHeader, std::to_string(n), ColumnHeaderKey(n), take});
        }
        return list;
    }();
    return texts;
}

const std::vector<WindowText>& ConfigWindowTexts() {
    static const std::vector<WindowText> texts = [] {
        const auto take = TextRule::TakeEvenWhenEmpty;
        std::vector<WindowText> list = {{TextTarget::WindowCaption, "", "Window.Caption", take}};
        for (const char* tab : {"upload", "proxy", "premium"}) {
            list.push_back({TextTarget::Tab, tab, DialogCaptionKey("Tabstrip.Tab", tab), take});
        }
        const struct {
            TextTarget target;
            const char* control;
            const char* kind;
            const char* name;
        } controls[] = {
            {TextTarget::CheckBox, "chkUploadRemoveCompleteFile", "Checkbox",
             "upload_remove_complete_files"},
            {TextTarget::Label, "lblUploadBinLayerID", "Label", "upload_bin_layer_id"},
            {TextTarget::Label, "lblUploadDescription", "Label", "upload_description"},
            {TextTarget::Label, "lblUploadPassword", "Label", "upload_password"},
            {TextTarget::CheckBox, "chkProxyUse", "Checkbox", "proxy_use"},
            {TextTarget::Label, "lblProxyServer", "Label", "proxy_sevrer"}, // sic, as shipped
            {TextTarget::Label, "lblProxyUsername", "Label", "proxy_username"},
            {TextTarget::Label, "lblProxyPassword", "Label", "proxy_password"},
            {TextTarget::CheckBox, "chkPremiumUse", "Checkbox", "premium_use"},
            {TextTarget::Label, "lblPremiumUsername", "Label", "premium_username"},
            {TextTarget::Label, "lblPremiumPassword", "Label", "premium_password"},
            {TextTarget::Button, "cmdOk", "Button", "ok"},
            {TextTarget::Button, "cmdCancel", "Button", "cancel"},
            {TextTarget::Button, "cmdApply", "Button", "apply"},
        };
        for (const auto& c : controls) {
            list.push_back({c.target, c.control, DialogCaptionKey(c.kind, c.name), take});
        }
        return list;
    }();
    return texts;
}

const std::vector<WindowText>& AboutWindowTexts() {
    static const std::vector<WindowText> texts = [] {
        const struct {
            const char* control;
            const char* name;
        } labels[] = {{"lblAppTitle_Caption", "title"},
                      {"lblVersion_Caption", "version"},
                      {"lblCompany_Caption", "company"},
                      {"lblComments_Caption", "comments"},
                      {"lblUrl_Caption", "homepage"},
                      {"lblEMail_Caption", "email"},
                      {"lblUploadCount_Caption", "uploaded_files"},
                      {"lblUploadSize_Caption", "uploaded_bytes"},
                      {"lblClose", "back"}};
        std::vector<WindowText> list;
        for (const auto& l : labels) {
            list.push_back({TextTarget::Label, l.control, DialogCaptionKey("Label", l.name),
                            TextRule::TakeEvenWhenEmpty});
        }
        return list;
    }();
    return texts;
}

std::optional<std::string> ResolveWindowText(const WindowText& entry, const std::string& section,
                                             const std::string& languageFile) {
    std::string text = modConfig::ReadIniValue(languageFile, section, entry.key, "");
    if (text.empty() && entry.rule == TextRule::KeepBuiltInWhenEmpty) {
        return std::nullopt;
    }
    return text;
}
