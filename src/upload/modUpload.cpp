#include "upload/modUpload.h"

#include "http/clsHTTP.h"
#include "platform/modFileSystem.h"
#include "platform/modText.h"
#include "settings/modConfig.h"
#include "settings/modLanguage.h"

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace modUpload {

namespace {
// "host:port/path" as a user may write it means http; the root always ends in "/".
std::string WithSlash(std::string url) {
    if (!url.empty() && url.find("://") == std::string::npos) {
        url = "http://" + url;
    }
    if (!url.empty() && url.back() != '/') {
        url += '/';
    }
    return url;
}
} // namespace

std::string NormalizeBaseUrl(const std::string& url) {
    const std::string trimmed = modText::Trim(url, " \t\r\n");
    return trimmed.empty() ? std::string(DefaultBaseUrl) : WithSlash(trimmed);
}

std::string ResolveBaseUrl(const char* environmentValue, const std::string& configFile) {
    if (environmentValue != nullptr) {
        const std::string fromEnvironment = modText::Trim(environmentValue, " \t\r\n");
        if (!fromEnvironment.empty()) {
            return WithSlash(fromEnvironment);
        }
    }
    if (!configFile.empty()) {
        const std::string fromConfig = modText::Trim(
            modConfig::ReadIniValue(configFile, "Service", "base_url", ""), " \t\r\n");
        if (!fromConfig.empty()) {
            return WithSlash(fromConfig);
        }
    }
    return DefaultBaseUrl;
}

void PrepareRequest(clsHTTP& http, const ConfigSettings& settings, const std::string& url,
                    int32_t method, int32_t encType) {
    http.Reset();
    http.SetAction(url);
    http.SetEncType(encType);
    http.SetFlags(HttpFlags::DecodeChunked | HttpFlags::NoCache);
    http.SetMethod(method);
    http.SetProtocol(1);
    if (settings.ProxyUse()) {
        http.SetProxyHostname(settings.ProxyHostname());
        http.SetProxyPort(settings.ProxyPort());
        http.SetProxyUsername(settings.ProxyUsername());
        http.SetProxyPassword(settings.ProxyPassword());
        http.SetFlags(http.Flags() | HttpFlags::UseProxy);
    }
}

bool RequestStalled(const clsHTTP& http, int32_t limitSeconds) {
    return (limitSeconds > 0 && http.Timeout() >= limitSeconds) ||
           http.BytesLoad() > MaxAnswerLength;
}

std::string FormatLogTime(Clock::TimePoint time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) {
        return {};
    }
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%d.%m.%Y %H:%M:%S", &local);
    return std::string(text, length);
}

bool WriteLogEntry(const std::string& logFilePath, const std::string& filePath, int64_t fileSize,
                   const std::string& downloadUrl, const std::string& deleteUrl,
                   const modLanguage::TextLists& texts, const NumberFormat& format,
                   const Clock& clock) {
    if (logFilePath.empty()) {
        return false;
    }
    // Non-blocking, so that a named pipe without a reader fails at once instead of hanging
    // the event loop; a regular file behaves as with a plain open. A new log is private to its
    // user: the delete links in it let anyone delete the files.
    const int fd =
        ::open(logFilePath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    std::FILE* file = ::fdopen(fd, "ab");
    if (file == nullptr) {
        ::close(fd);
        return false;
    }
    const std::string lines[] = {
        texts.GetLogFileText(1) + ": " + FormatLogTime(clock.Now()),
        texts.GetLogFileText(2) + ": " + modFileSystem::GetFileName(filePath),
        texts.GetLogFileText(3) + ": " + FormatInteger(static_cast<double>(fileSize), format) +
            " Byte",
        texts.GetLogFileText(4) + ": " + downloadUrl,
        texts.GetLogFileText(5) + ": " + deleteUrl,
        std::string(),
    };
    bool written = true;
    for (const std::string& line : lines) {
        const std::string whole = line + "\r\n";
        if (std::fwrite(whole.data(), 1, whole.size(), file) != whole.size()) {
            written = false;
            break;
        }
    }
    // A full disk may only show when the buffer is flushed by the close.
    if (std::fclose(file) != 0) {
        written = false;
    }
    return written;
}

} // namespace modUpload
