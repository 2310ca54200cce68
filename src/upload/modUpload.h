#pragma once
// The upload module: what every request of the engine shares, the service values, the base URL
// and the upload log.
#include "platform/Clock.h"
#include "platform/Format.h"

#include <cstdint>
#include <string>

class clsHTTP;
class ConfigSettings;
namespace modLanguage {
class TextLists;
}

namespace modUpload {

inline constexpr char DefaultBaseUrl[] = "http://127.0.0.1:8931/";
inline constexpr char ProgramTitle[] = "Vostrand-Uploader";
inline constexpr char UserAgent[] = "Vostrand-Uploader V1.0";
inline constexpr char BaseUrlEnvironment[] = "VOSTRAND_BASE_URL";
// Seconds without any activity on the connection after which an upload or the information
// query is given up (see clsUpload::CheckStall, clsInfo::CheckStall).
inline constexpr int32_t DefaultStallLimitSeconds = 60;
// The service's answers that the engine reads are small pages; a longer body is given up like a
// stalled one instead of being held in memory.
inline constexpr int64_t MaxAnswerLength = 16 * 1024 * 1024;

// Prepares a request of the engine on http the way all of them are made: Reset, the url, GET (0)
// or POST (1), the body encoding (0 none, 1 url-encoded, 2 multipart), flags 20 (chunked answers
// decoded, no-cache headers), HTTP/1.1, and with the setting ProxyUse the proxy settings and
// flag 64 (84 in all).
void PrepareRequest(clsHTTP& http, const ConfigSettings& settings, const std::string& url,
                    int32_t method, int32_t encType);
// Whether a running request should be given up: silent for limitSeconds or more (a limit of 0
// or less never stalls), or its answer already longer than MaxAnswerLength (a chunked answer is
// handed on only chunk by chunk, so its length shows here first).
bool RequestStalled(const clsHTTP& http, int32_t limitSeconds);

// --- service values -------------------------------------------------------------------------
// What the information query learnt; it travels as a value from clsInfo to its owner.
struct ServiceValues {
    int64_t MaxFileSize = 0; // largest accepted file in bytes; 0 until the query has answered
    std::string Version;     // the service's current client version, as sent
    std::string News;        // line breaks as "\r\n"
};

// url ending in "/" (and with "http://" when it names no scheme); an empty url gives the
// default.
std::string NormalizeBaseUrl(const std::string& url);

// The base URL the programs use: the environment value (VOSTRAND_BASE_URL, pass getenv's
// result; null or empty means unset), else the key base_url in section Service of configFile
// (read only), else DefaultBaseUrl. The result always ends in "/"; a value without a scheme
// gets "http://".
std::string ResolveBaseUrl(const char* environmentValue, const std::string& configFile);

// --- upload log -----------------------------------------------------------------------------
// Appends one entry of six "\r\n"-ended lines to the file logFilePath: date and time, file name,
// size in bytes, download link, delete link, an empty line; labels LogFile(1) to LogFile(5).
// The file is open only while the entry is written. Every failure is silent: false.
bool WriteLogEntry(const std::string& logFilePath, const std::string& filePath, int64_t fileSize,
                   const std::string& downloadUrl, const std::string& deleteUrl,
                   const modLanguage::TextLists& texts, const NumberFormat& format,
                   const Clock& clock = Clock::System());

// The local date and time of the log: "dd.mm.yyyy hh:mm:ss".
std::string FormatLogTime(Clock::TimePoint time);

} // namespace modUpload
