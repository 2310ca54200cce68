#pragma once
// clsInfo: the one GET of "toolconfig.php" at start. The answer's key=value lines give the
// largest accepted file, the current client version and a news text (Values()); then Complete
// reports whether a positive maximum file size arrived.
//
// Complete is the last thing this object does in any call: the owner may read the values in it
// and release the object there. Only a whole 200 answer is read: a failed, stalled, cut-off
// (clsHTTP::BodyComplete) or oversized one (beyond modUpload::MaxAnswerLength) reports false.
#include "http/Socket.h"
#include "platform/Clock.h"
#include "upload/modUpload.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class clsHTTP;
class ConfigSettings;

class clsInfo {
public:
    // settings: the proxy options. Both it and the clock must outlive the object.
    clsInfo(const ConfigSettings& settings, SocketFactory socketFactory,
            const Clock& clock = Clock::System());
    ~clsInfo();
    clsInfo(const clsInfo&) = delete;
    clsInfo& operator=(const clsInfo&) = delete;

    // The root of the service's web site, ending in "/"; modUpload::DefaultBaseUrl until set.
    const std::string& BaseUrl() const { return m_BaseUrl; }
    void SetBaseUrl(const std::string& url) { m_BaseUrl = modUpload::NormalizeBaseUrl(url); }

    // Sends the request to BaseUrl() + "toolconfig.php" and returns at once.
    void RequestInfo();
    // Gives the query up when it has been silent for limitSeconds or more, or its answer is
    // beyond modUpload::MaxAnswerLength: Complete follows with Success false. True when it gave
    // up.
    bool CheckStall(int32_t limitSeconds = modUpload::DefaultStallLimitSeconds);
    // True from RequestInfo until Complete has been raised.
    bool Pending() const { return m_Pending; }
    // Why the last query failed, in plain words ("" after a success).
    const std::string& ErrorText() const { return m_ErrorText; }
    // Why the last query failed when its request ended in error (the Details of state -3, such
    // as a refused certificate), else empty. Readable inside Complete.
    const std::string& FailureDetails() const { return m_FailureDetails; }

    // What the answer gave; empty values until a whole 200 answer was read.
    const modUpload::ServiceValues& Values() const { return m_Values; }

    // Reads an answer body into values (what a 200 answer does); keys that are absent leave
    // their value as it was.
    static void ParseAnswer(const std::string& data, modUpload::ServiceValues& values);

    std::function<void(bool Success)> Complete;

private:
    void OnDocumentComplete(int32_t returnCode, const std::string& data);
    void GiveUp();

    const ConfigSettings& m_Settings;
    std::string m_BaseUrl = modUpload::DefaultBaseUrl;
    modUpload::ServiceValues m_Values;
    bool m_Pending = false;
    bool m_GivenUp = false;
    int32_t m_StalledSeconds = 0;
    std::string m_ErrorText;
    std::string m_FailureDetails;
    std::shared_ptr<bool> m_Alive = std::make_shared<bool>(true);
    std::unique_ptr<clsHTTP> objHTTP;
};
