#pragma once
// The five panels of the main window's status bar. Panels 2 to 5 show their language template
// with every "%1" replaced by a formatted value; panel 1 shows a free text. The status bar holds
// no values: callers pass the current value each time something changes.
#include "platform/Format.h"
#include "ui/WindowToolkit.h"

#include <array>
#include <cstdint>
#include <string>

class StatusBar {
public:
    // Panel keys in panel order.
    static constexpr std::array<const char*, 5> PanelKeys = {
        "main", "file_count", "upload_maxfilesize", "upload_traffic", "upload_count"};

    StatusBar(WindowToolkit& toolkit, const NumberFormat& format);

    // The template kept with the panel (not shown until the next Show… call for it).
    void SetTemplate(const std::string& key, const std::string& text);
    const std::string& Template(const std::string& key) const;
    // Reads the five templates from section "Main" of a language file
    // (key Statusbar.Panel("<key>").Text); a missing file or key gives the empty template.
    void LoadTemplates(const std::string& languageFile);

    void ShowMainText(const std::string& text);
    void ShowFileCount(int32_t count);
    void ShowMaxFileSize(int64_t bytes);
    void ShowUploadTraffic(int64_t bytes);
    void ShowUploadCount(int64_t count);

    // The template with every "%1" replaced by value.
    static std::string FillTemplate(const std::string& text, const std::string& value);

private:
    void ShowPanel(int index, const std::string& value);

    WindowToolkit& m_Toolkit;
    NumberFormat m_Format;
    std::array<std::string, 5> m_Templates;
};
