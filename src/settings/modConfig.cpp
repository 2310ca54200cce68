#include "settings/modConfig.h"

#include "platform/modFileSystem.h"
#include "settings/IniFile.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace modConfig {

namespace {

// The config.ini keys of the settings record.
constexpr const char* kMain = "Main";
constexpr const char* kUpload = "Upload";
constexpr const char* kProxy = "Proxy";
constexpr const char* kPremium = "Premium";
constexpr const char* kListview = "Listview";
constexpr const char* kStatistic = "Statistic";
constexpr int32_t kDefaultProxyPort = 8080;

std::string ColumnKey(int index) {
    const int n = index + 1;
    return std::string("column_") + (n < 10 ? "0" : "") + std::to_string(n);
}

// The leading number of a text: blanks anywhere are skipped, then the longest prefix of the form
// [sign] digits [. digits] [E|D [sign] digits]. Sets `whole` when the prefix has neither a point
// nor an exponent, so integers of any size can be read exactly.
std::string LeadingNumberText(const std::string& text, bool& whole) {
    std::string s;
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
            s += c;
        }
    }
    whole = true;
    size_t i = 0;
    std::string out;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        out += s[i++];
    }
    size_t digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        out += s[i++];
        ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        size_t j = i + 1;
        std::string frac = ".";
        while (j < s.size() && s[j] >= '0' && s[j] <= '9') {
            frac += s[j++];
        }
        if (digits > 0 || frac.size() > 1) {
            digits += frac.size() - 1;
            out += frac;
            whole = false;
            i = j;
        }
    }
    if (digits == 0) {
        return {};
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        size_t j = i + 1;
        std::string exp = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            exp += s[j++];
        }
        const size_t expStart = exp.size();
        while (j < s.size() && s[j] >= '0' && s[j] <= '9') {
            exp += s[j++];
        }
        if (exp.size() > expStart) {
            out += exp;
            whole = false;
        }
    }
    return out;
}

double LeadingNumber(const std::string& text) {
    bool whole = false;
    const std::string number = LeadingNumberText(text, whole);
    if (number.empty()) {
        return 0;
    }
    const double value = std::strtod(number.c_str(), nullptr);
    return std::isfinite(value) ? value : (value < 0 ? -1e308 : 1e308);
}

// Nearest integer, halves to the even neighbour, held in range.
int32_t ToInt32(double value) {
    const double r = std::nearbyint(value);
    if (r < static_cast<double>(INT32_MIN)) {
        return INT32_MIN;
    }
    if (r > static_cast<double>(INT32_MAX)) {
        return INT32_MAX;
    }
    return static_cast<int32_t>(r);
}

int64_t ToInt64(const std::string& text) {
    bool whole = false;
    const std::string number = LeadingNumberText(text, whole);
    if (number.empty()) {
        return 0;
    }
    if (whole) {
        const long long v = std::strtoll(number.c_str(), nullptr, 10);
        return static_cast<int64_t>(v); // saturates at the limits on overflow
    }
    const double r = std::nearbyint(std::strtod(number.c_str(), nullptr));
    if (!(r > -9.2e18)) {
        return INT64_MIN;
    }
    if (!(r < 9.2e18)) {
        return INT64_MAX;
    }
    return static_cast<int64_t>(r);
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return home;
    }
    if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
        return pw->pw_dir;
    }
    return "/tmp";
}

bool MakeFolders(const std::string& folder) {
    if (folder.empty()) {
        return false;
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode);
    }
    const std::string parent = modFileSystem::GetFolder(folder);
    if (!parent.empty() && parent != folder && !MakeFolders(parent)) {
        return false;
    }
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

} // namespace

int32_t LeadingInteger(const std::string& text) {
    return ToInt32(LeadingNumber(text));
}

ConfigSettings& Settings() {
    static ConfigSettings settings;
    return settings;
}

std::string UserConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base =
        (xdg != nullptr && xdg[0] == '/') ? std::string(xdg) : HomeFolder() + "/.config";
    return modFileSystem::AddBackslash(base) + "vostrand-uploader";
}

std::string ConfigFilePath(const std::string& programFolder) {
    const std::string folder = modFileSystem::AddBackslash(programFolder);
    const std::string local = folder + "config.ini";
    if (::access(local.c_str(), F_OK) == 0 || ::access(folder.c_str(), W_OK) == 0) {
        return local;
    }
    return UserConfigFolder() + "/config.ini";
}

void LoadConfig(ConfigSettings& settings, const std::string& path) {
    // One parse for all keys; a file that is missing or unreadable gives every default.
    const auto doc = ini::CachedDocument(path);
    auto read = [&doc](const char* section, const std::string& key, const char* def) {
        if (doc) {
            if (auto value = doc->Get(section, key)) {
                return *value;
            }
        }
        return std::string(def);
    };
    auto readInt = [&](const char* section, const std::string& key, const char* def) {
        return ToInt32(LeadingNumber(read(section, key, def)));
    };
    auto readBool = [&](const char* section, const std::string& key) {
        return LeadingNumber(read(section, key, "0")) != 0;
    };

    settings.SetWindowState(readInt(kMain, "window_state", "0"));
    settings.SetDialogPath(read(kMain, "dialog_path", ""));
    settings.SetLogFilePath(read(kMain, "log_file_path", ""));
    settings.SetLanguage(read(kMain, "language", ""));

    settings.SetRemoveCompleteFiles(readBool(kUpload, "remove_complete_files"));
    settings.SetUploadBinLayerID(read(kUpload, "bin_layer_id", ""));
    settings.SetUploadDescription(read(kUpload, "description", ""));
    settings.SetUploadPassword(read(kUpload, "password", ""));

    settings.SetProxyUse(readBool(kProxy, "use"));
    settings.SetProxyHostname(read(kProxy, "hostname", ""));
    settings.SetProxyPort(readInt(kProxy, "port", "8080"));
    settings.SetProxyUsername(read(kProxy, "username", ""));
    settings.SetProxyPassword(read(kProxy, "password", ""));
    if (settings.ProxyPort() < 1 || settings.ProxyPort() > 65535) {
        settings.SetProxyUse(false);
        settings.SetProxyPort(kDefaultProxyPort);
    }

    settings.SetPremiumUse(readBool(kPremium, "use"));
    settings.SetPremiumUsername(read(kPremium, "username", ""));
    settings.SetPremiumPassword(read(kPremium, "password", ""));

    for (int i = 0; i < ConfigSettings::ColumnCount; ++i) {
        settings.SetColumnWidth(i, readInt(kListview, ColumnKey(i), "75"));
    }

    settings.SetStatisticCount(ToInt64(read(kStatistic, "count", "0")));
    settings.SetStatisticSize(ToInt64(read(kStatistic, "size", "0")));
}

bool SaveConfig(const ConfigSettings& settings, const std::string& path) {
    // The per-user folder is ours to create; any other missing folder is the caller's mistake.
    const std::string folder = modFileSystem::GetFolder(path);
    if (folder == UserConfigFolder()) {
        MakeFolders(folder);
    }
    std::string bytes;
    const ini::ReadResult read = ini::ReadWholeFile(path, bytes);
    if (read == ini::ReadResult::Failed) {
        return false; // never replace a file whose other lines could not be kept
    }
    ini::Document doc = ini::Document::Parse(bytes);
    auto flag = [](bool v) { return std::string(v ? "1" : "0"); };

    doc.Set(kMain, "window_state", std::to_string(settings.WindowState()));
    doc.Set(kMain, "dialog_path", settings.DialogPath());
    doc.Set(kMain, "log_file_path", settings.LogFilePath());
    doc.Set(kMain, "language", settings.Language());

    doc.Set(kUpload, "remove_complete_files", flag(settings.RemoveCompleteFiles()));
    doc.Set(kUpload, "bin_layer_id", settings.UploadBinLayerID());
    doc.Set(kUpload, "description", settings.UploadDescription());
    doc.Set(kUpload, "password", settings.UploadPassword());

    doc.Set(kProxy, "hostname", settings.ProxyHostname());
    doc.Set(kProxy, "port", std::to_string(settings.ProxyPort()));
    doc.Set(kProxy, "username", settings.ProxyUsername());
    doc.Set(kProxy, "password", settings.ProxyPassword());
    doc.Set(kProxy, "use", flag(settings.ProxyUse()));

    doc.Set(kPremium, "use", flag(settings.PremiumUse()));
    doc.Set(kPremium, "username", settings.PremiumUsername());
    doc.Set(kPremium, "password", settings.PremiumPassword());

    for (int i = 0; i < ConfigSettings::ColumnCount; ++i) {
        doc.Set(kListview, ColumnKey(i), std::to_string(settings.ColumnWidth(i)));
    }

    doc.Set(kStatistic, "count", std::to_string(settings.StatisticCount()));
    doc.Set(kStatistic, "size", std::to_string(settings.StatisticSize()));

    return ini::ReplaceFileAtomically(path, doc.Serialize());
}

std::string ReadIniValue(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& defaultValue, bool flush) {
    if (flush) {
        ini::DropCache(file);
    }
    const auto doc = ini::CachedDocument(file);
    if (!doc) {
        return defaultValue;
    }
    return doc->Get(section, key).value_or(defaultValue);
}

bool WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value, bool flush) {
    std::string bytes;
    if (ini::ReadWholeFile(file, bytes) == ini::ReadResult::Failed) {
        return false;
    }
    ini::Document doc = ini::Document::Parse(bytes);
    doc.Set(section, key, value);
    const bool ok = ini::ReplaceFileAtomically(file, doc.Serialize());
    if (ok && flush) {
        FlushIniFile(file);
    }
    return ok;
}

bool FlushIniFile(const std::string& file) {
    ini::DropCache(file);
    return true;
}

} // namespace modConfig
