// vostrand-service: the web pages an uploader client walks through (start page with the upload
// form, upload handler, redirect target, links page, premium login, toolconfig.php) plus the
// download and delete links of stored files. Runs on cpp-httplib's threaded server; shared state
// (sessions, logins, the store) is guarded by mutexes.
#pragma once

#include "HttpServer.h"
#include "Storage.h"
#include "Version.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace service {

struct ServiceOptions {
    std::string Host = "127.0.0.1";
    int32_t Port = 8931;
    std::filesystem::path StorageDir;
    int64_t MaxSizeMB = 100;
    std::string ClientVersion = VOSTRAND_VERSION_TEXT;
    std::string News;
    std::vector<std::pair<std::string, std::string>> Premium; // user, password
    bool ScriptAnswer = false; // answer uploads with a location.href page instead of a 302
    bool Quiet = false;
    // Both set: the service speaks HTTPS with this PEM certificate (chain) and key.
    std::string TlsCert;
    std::string TlsKey;
};

class Service {
public:
    explicit Service(ServiceOptions options);
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Opens the store and binds the listening socket. False with `strError` on failure.
    bool Start(std::string& strError);
    // Serves until Stop; returns false when the server failed.
    bool Run();
    // Stops Run from another thread.
    void Stop();

    int32_t Port() const { return m_Port; }
    // "http://host:port/" (or "https://") of the bound address.
    std::string BaseUrl() const;

private:
    struct PhpSession {
        std::string User; // premium account after a login, else empty
        std::chrono::steady_clock::time_point Created;
    };
    struct UploadForm {
        std::string PhpSessionId;
        std::string FormSessionId;
        std::string AccessKey;
        std::string ReturnUrl;
        std::string ScriptUrl;
        std::vector<std::string> FileIds;
        std::chrono::steady_clock::time_point Created;
    };
    struct Login {
        std::string User;
        std::string Uid;
        std::chrono::steady_clock::time_point Created;
    };

    void Routes();
    std::string BaseUrlFor(const httplib::Request& req) const;
    std::string Scheme() const { return m_Server->Tls() ? "https://" : "http://"; }
    std::string NewPhpSession(const std::string& strUser);
    std::string PremiumUserOf(const httplib::Request& req) const;
    int64_t MaxBytes() const { return m_Options.MaxSizeMB * 1048576; }
    // Largest upload body read to its end; a refused file up to twice the maximum still gets a
    // proper answer.
    int64_t MaxUploadBody() const { return MaxBytes() * 2 + 1048576; }

    void StartPage(const httplib::Request& req, httplib::Response& res);
    void Upload(const httplib::Request& req, httplib::Response& res,
                const httplib::ContentReader& reader);
    void UploadDone(const httplib::Request& req, httplib::Response& res);
    void EmailLinks(const httplib::Request& req, httplib::Response& res);
    void LoginPage(const httplib::Request& req, httplib::Response& res);
    void ToolConfig(const httplib::Request& req, httplib::Response& res);
    void Download(const httplib::Request& req, httplib::Response& res);
    void ConfirmDelete(const httplib::Request& req, httplib::Response& res);
    void Delete(const httplib::Request& req, httplib::Response& res);

    ServiceOptions m_Options;
    std::unique_ptr<HttpServer> m_Server;
    Storage m_Storage;
    int32_t m_Port = 0;

    mutable std::mutex m_Mutex; // guards the three maps below
    std::map<std::string, PhpSession> m_Sessions;
    std::map<std::string, UploadForm> m_Forms; // by "UploadSession"
    std::map<std::string, Login> m_Logins;     // by "king_passhash"
};

} // namespace service
