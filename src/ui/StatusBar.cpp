#include "ui/StatusBar.h"

#include "settings/modConfig.h"

namespace {
constexpr double BytesPerMB = 1048576.0;

int IndexOf(const std::string& key) {
    for (size_t i = 0; i < StatusBar::PanelKeys.size(); ++i) {
        if (key == StatusBar::PanelKeys[i]) {
            return static_cast<int>(i);
        }
    }
    return -1;
}
} // namespace

StatusBar::StatusBar(WindowToolkit& toolkit, const NumberFormat& format)
    : m_Toolkit(toolkit), m_Format(format) {}

void StatusBar::SetTemplate(const std::string& key, const std::string& text) {
    const int index = IndexOf(key);
    if (index >= 0) {
        m_Templates[index] = text;
    }
}

const std::string& StatusBar::Template(const std::string& key) const {
    static const std::string empty;
    const int index = IndexOf(key);
    return index >= 0 ? m_Templates[index] : empty;
}

void StatusBar::LoadTemplates(const std::string& languageFile) {
    for (const char* key : PanelKeys) {
        SetTemplate(
            key, modConfig::ReadIniValue(languageFile, "Main",
                                         std::string("Statusbar.Panel(\"") + key + "\").Text", ""));
    }
}

std::string StatusBar::FillTemplate(const std::string& text, const std::string& value) {
    std::string result;
    size_t from = 0;
    for (size_t at = text.find("%1"); at != std::string::npos; at = text.find("%1", from)) {
        result.append(text, from, at - from).append(value);
        from = at + 2;
    }
    return result.append(text, from, std::string::npos);
}

void StatusBar::ShowPanel(int index, const std::string& value) {
    m_Toolkit.SetPanelText(PanelKeys[index], FillTemplate(m_Templates[index], value));
}

void StatusBar::ShowMainText(const std::string& text) {
    m_Toolkit.SetPanelText("main", text);
}

void StatusBar::ShowFileCount(int32_t count) {
    ShowPanel(1, FormatInteger(count, m_Format));
}

void StatusBar::ShowMaxFileSize(int64_t bytes) {
    ShowPanel(2, FormatInteger(static_cast<double>(bytes) / BytesPerMB, m_Format));
}

void StatusBar::ShowUploadTraffic(int64_t bytes) {
    ShowPanel(3, FormatFixed2(static_cast<double>(bytes) / BytesPerMB, m_Format));
}

void StatusBar::ShowUploadCount(int64_t count) {
    ShowPanel(4, FormatInteger(static_cast<double>(count), m_Format));
}
