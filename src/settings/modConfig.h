#pragma once
// The settings record, config.ini and the INI operations that the language files are read with.
// The record lives for the whole run; only LoadConfig and SaveConfig touch the file.
#include <array>
#include <cstdint>
#include <string>

class ConfigSettings {
public:
    static constexpr int ColumnCount = 13;

    int32_t WindowState() const { return m_WindowState; }
    void SetWindowState(int32_t v) { m_WindowState = v; }
    const std::string& DialogPath() const { return m_DialogPath; }
    void SetDialogPath(const std::string& v) { m_DialogPath = v; }
    const std::string& LogFilePath() const { return m_LogFilePath; }
    void SetLogFilePath(const std::string& v) { m_LogFilePath = v; }
    const std::string& Language() const { return m_Language; }
    void SetLanguage(const std::string& v) { m_Language = v; }
    bool RemoveCompleteFiles() const { return m_RemoveCompleteFiles; }
    void SetRemoveCompleteFiles(bool v) { m_RemoveCompleteFiles = v; }
    const std::string& UploadBinLayerID() const { return m_UploadBinLayerID; }
    void SetUploadBinLayerID(const std::string& v) { m_UploadBinLayerID = v; }
    const std::string& UploadDescription() const { return m_UploadDescription; }
    void SetUploadDescription(const std::string& v) { m_UploadDescription = v; }
    const std::string& UploadPassword() const { return m_UploadPassword; }
    void SetUploadPassword(const std::string& v) { m_UploadPassword = v; }
    bool ProxyUse() const { return m_ProxyUse; }
    void SetProxyUse(bool v) { m_ProxyUse = v; }
    const std::string& ProxyHostname() const { return m_ProxyHostname; }
    void SetProxyHostname(const std::string& v) { m_ProxyHostname = v; }
    int32_t ProxyPort() const { return m_ProxyPort; }
    void SetProxyPort(int32_t v) { m_ProxyPort = v; }
    const std::string& ProxyUsername() const { return m_ProxyUsername; }
    void SetProxyUsername(const std::string& v) { m_ProxyUsername = v; }
    const std::string& ProxyPassword() const { return m_ProxyPassword; }
    void SetProxyPassword(const std::string& v) { m_ProxyPassword = v; }
    bool PremiumUse() const { return m_PremiumUse; }
    void SetPremiumUse(bool v) { m_PremiumUse = v; }
    const std::string& PremiumUsername() const { return m_PremiumUsername; }
    void SetPremiumUsername(const std::string& v) { m_PremiumUsername = v; }
    const std::string& PremiumPassword() const { return m_PremiumPassword; }
    void SetPremiumPassword(const std::string& v) { m_PremiumPassword = v; }
    int32_t ColumnWidth(int index) const { return m_ColumnWidth.at(index); }
    void SetColumnWidth(int index, int32_t v) { m_ColumnWidth.at(index) = v; }
    int64_t StatisticCount() const { return m_StatisticCount; }
    void SetStatisticCount(int64_t v) { m_StatisticCount = v; }
    int64_t StatisticSize() const { return m_StatisticSize; }
    void SetStatisticSize(int64_t v) { m_StatisticSize = v; }

private:
    int32_t m_WindowState = 0;
    std::string m_DialogPath;
    std::string m_LogFilePath;
    std::string m_Language;
    bool m_RemoveCompleteFiles = false;
    std::string m_UploadBinLayerID;
    std::string m_UploadDescription;
    std::string m_UploadPassword;
    bool m_ProxyUse = false;
    std::string m_ProxyHostname;
    int32_t m_ProxyPort = 0;
    std::string m_ProxyUsername;
    std::string m_ProxyPassword;
    bool m_PremiumUse = false;
    std::string m_PremiumUsername;
    std::string m_PremiumPassword;
    std::array<int32_t, ColumnCount> m_ColumnWidth{};
    int64_t m_StatisticCount = 0;
    int64_t m_StatisticSize = 0;
};

namespace modConfig {

// The one settings store of the program (the windows and the CLI use it; core objects are
// handed a reference instead of reaching for it).
ConfigSettings& Settings();

// Where config.ini lives: the program folder when config.ini exists there or the folder is
// writable, else $XDG_CONFIG_HOME/vostrand-uploader/ (~/.config/...).
std::string ConfigFilePath(const std::string& programFolder);
// $XDG_CONFIG_HOME/vostrand-uploader (else ~/.config/vostrand-uploader), without a trailing "/";
// SaveConfig creates it when the path lies there.
std::string UserConfigFolder();

// Fills the record from the file; missing file, section or key give the defaults.
void LoadConfig(ConfigSettings& settings, const std::string& path);
// Writes every key and keeps every other line; the file is replaced atomically. A new file gets
// mode 0600, an existing one keeps its mode. False when nothing was written.
bool SaveConfig(const ConfigSettings& settings, const std::string& path);

// A number setting as the file and the options dialog read it: the leading number of the text
// (blanks skipped; "81abc" is 81, no number is 0), to the nearest integer, held in int32_t.
int32_t LeadingInteger(const std::string& text);

std::string ReadIniValue(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& defaultValue,
                         bool flush = false);
bool WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value, bool flush = false);
bool FlushIniFile(const std::string& file);

} // namespace modConfig
