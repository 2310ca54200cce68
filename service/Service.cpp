#include "Service.h"

#include "Text.h"
#include "UploadReceiver.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <httplib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace service {

namespace {

using httplib::ContentReader;
using httplib::Request;
using httplib::Response;

constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr size_t kMaxSessions = 5000;
constexpr auto kSessionLifetime = std::chrono::hours(6);
// Makes room for one more entry: entries past their lifetime go first, then the oldest, so that a
// flood of start page requests cannot grow memory without bound.
template <class Map> void MakeRoom(Map& map, std::chrono::steady_clock::time_point now) {
    if (map.size() < kMaxSessions) {
        return;
    }
    std::erase_if(map,
                  [&](const auto& item) { return now - item.second.Created > kSessionLifetime; });
    if (map.size() >= kMaxSessions) {
        auto oldest = map.begin();
        for (auto it = map.begin(); it != map.end(); ++it) {
            if (it->second.Created < oldest->second.Created) {
                oldest = it;
            }
        }
        map.erase(oldest);
    }
}

// Bodies of every page but the upload handler are small forms, held whole by each worker.
constexpr int64_t kMaxFormBody = 64 * 1024;

std::string Page(const std::string& strTitle, const std::string& strBody) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + HtmlEscape(strTitle) +
           "</title></head>\n<body>\n<h1>" + HtmlEscape(strTitle) + "</h1>\n" + strBody +
           "</body></html>\n";
}

void SendPage(Response& res, int32_t lngStatus, const std::string& strTitle,
              const std::string& strText) {
    res.status = lngStatus;
    res.set_content(Page(strTitle, "<p>" + HtmlEscape(strText) + "</p>\n"), kHtml);
}

// A form field from a url-encoded or a multipart body.
std::string FormValue(const Request& req, const std::string& strName) {
    if (req.has_param(strName.c_str())) {
        return req.get_param_value(strName.c_str());
    }
    if (req.has_file(strName.c_str())) {
        return req.get_file_value(strName.c_str()).content;
    }
    return {};
}

std::string Cookie(const Request& req, const std::string& strName) {
    const auto cookies = ParseCookies(req.get_header_value("Cookie"));
    const auto it = cookies.find(strName);
    return it == cookies.end() ? std::string() : it->second;
}

std::string HostForUrl(const std::string& strHost) {
    if (strHost == "0.0.0.0" || strHost.empty()) {
        return "127.0.0.1";
    }
    if (strHost == "::") {
        return "[::1]";
    }
    if (strHost.find(':') != std::string::npos && strHost.front() != '[') {
        return "[" + strHost + "]";
    }
    return strHost;
}

// Requests may name their target in absolute form ("GET http://host/page"), as they are sent to a
// proxy; an HTTP/1.1 server accepts both forms.
std::string Route(const std::string& strPattern) {
    return "(?:http://[^/]+)?" + strPattern;
}

std::string_view LocalPath(std::string_view path) {
    if (path.starts_with("http://")) {
        const size_t slash = path.find('/', 7);
        return slash == std::string_view::npos ? std::string_view("/") : path.substr(slash);
    }
    return path;
}

std::string DownloadUrl(const std::string& strBase, const StoredFile& file) {
    return strBase + "download/" + file.Id + "/" + PercentEncode(file.Name);
}

std::string DeleteUrl(const std::string& strBase, const StoredFile& file) {
    return strBase + "delete/" + file.Id + "?key=" + file.DeleteKey;
}

} // namespace

Service::Service(ServiceOptions options)
    : m_Options(std::move(options)), m_Server(std::make_unique<HttpServer>()) {}

Service::~Service() = default;

std::string Service::BaseUrl() const {
    return Scheme() + HostForUrl(m_Options.Host) + ":" + std::to_string(m_Port) + "/";
}

std::string Service::BaseUrlFor(const Request& req) const {
    // Links are built from the address the client used, so they work through any name or port
    // the client reached us by; an unusable Host header falls back to the bound address.
    const std::string host = req.get_header_value("Host");
    return IsSafeHost(host) ? Scheme() + host + "/" : BaseUrl();
}

bool Service::Start(std::string& strError) {
    if (!m_Storage.Open(m_Options.StorageDir, strError)) {
        return false;
    }
    if (!m_Options.TlsCert.empty() &&
        !m_Server->EnableTls(m_Options.TlsCert, m_Options.TlsKey, strError)) {
        return false;
    }
    Routes();
    if (m_Options.Port == 0) {
        const int port = m_Server->bind_to_any_port(m_Options.Host);
        if (port <= 0) {
            strError = "cannot listen on " + m_Options.Host + ": no free port";
            return false;
        }
        m_Port = port;
    } else {
        if (!m_Server->bind_to_port(m_Options.Host, m_Options.Port)) {
            strError = "cannot listen on " + m_Options.Host + ":" + std::to_string(m_Options.Port) +
                       " (port already in use or address not available)";
            return false;
        }
        m_Port = m_Options.Port;
    }
    return true;
}

bool Service::Run() {
    return m_Server->listen_after_bind();
}

void Service::Stop() {
    m_Server->Shutdown();
}

void Service::Routes() {
    httplib::Server& svr = *m_Server;
    // The whole multipart body of an upload is bounded so that a refused file of any size is
    // still read to its end and answered; a body far above that is cut off.
    svr.set_payload_max_length(static_cast<size_t>(MaxUploadBody()));
    svr.set_read_timeout(30, 0);
    svr.set_write_timeout(30, 0);
    // httplib's default also sets SO_REUSEPORT, which lets a second service share a port that is
    // already taken; a taken port must be an error.
    svr.set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });

    // httplib reads the body of every other page whole into memory, up to the upload's limit:
    // those bodies must be small forms with a length, as a browser and our client send them.
    svr.set_pre_routing_handler([](const Request& req, Response& res) {
        if (LocalPath(req.path) != "/upload.php") {
            if (req.has_header("Transfer-Encoding")) {
                SendPage(res, 411, "Length required", "Send the form with a Content-Length.");
                return httplib::Server::HandlerResponse::Handled;
            }
            const std::string length = req.get_header_value("Content-Length");
            if (length.size() > 12 || std::strtoll(length.c_str(), nullptr, 10) > kMaxFormBody) {
                SendPage(res, 413, "Too large", "The request body is too large.");
                return httplib::Server::HandlerResponse::Handled;
            }
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    svr.set_exception_handler([](const Request&, Response& res, std::exception_ptr) {
        SendPage(res, 500, "Error", "The request could not be handled.");
    });
    if (!m_Options.Quiet) {
        svr.set_logger([](const Request& req, const Response& res) {
            // The query is left out: it carries passwords and delete keys. The path arrives
            // decoded, so control characters are escaped to keep one request on one line.
            std::string path;
            for (const char c : req.path) {
                path += static_cast<unsigned char>(c) < 0x20 || c == 0x7F
                            ? PercentEncode(std::string_view(&c, 1))
                            : std::string(1, c);
            }
            std::fprintf(stderr, "%s %s %s %d\n", req.remote_addr.c_str(), req.method.c_str(),
                         path.c_str(), res.status);
        });
    }

    svr.Get(Route("/"), [this](const Request& req, Response& res) { StartPage(req, res); });
    svr.Get(Route(R"(/index\.php)"),
            [this](const Request& req, Response& res) { StartPage(req, res); });
    svr.Post(Route(R"(/upload\.php)"), [this](const Request& req, Response& res,
                                              const ContentReader& rd) { Upload(req, res, rd); });
    svr.Get(Route(R"(/upload_done\.php)"),
            [this](const Request& req, Response& res) { UploadDone(req, res); });
    svr.Post(Route(R"(/emaillinks\.php)"),
             [this](const Request& req, Response& res) { EmailLinks(req, res); });
    svr.Post(Route(R"(/login\.php)"),
             [this](const Request& req, Response& res) { LoginPage(req, res); });
    svr.Get(Route(R"(/toolconfig\.php)"),
            [this](const Request& req, Response& res) { ToolConfig(req, res); });
    svr.Get(Route(R"(/download/([0-9a-f]{16})(/[^/]*)?)"),
            [this](const Request& req, Response& res) { Download(req, res); });
    // A link previewer or a mail scanner fetches links: GET (and HEAD) only asks, POST deletes.
    svr.Get(Route(R"(/delete/([0-9a-f]{16}))"),
            [this](const Request& req, Response& res) { ConfirmDelete(req, res); });
    svr.Post(Route(R"(/delete/([0-9a-f]{16}))"),
             [this](const Request& req, Response& res) { Delete(req, res); });
    svr.Get(Route(R"(/imprint\.php)"), [](const Request&, Response& res) {
        SendPage(res, 200, "Imprint",
                 "Vostrand-compatible self-hosted service. Operated by whoever runs this program.");
    });
}

std::string Service::NewPhpSession(const std::string& strUser) {
    std::lock_guard lock(m_Mutex);
    const auto now = std::chrono::steady_clock::now();
    MakeRoom(m_Sessions, now);
    std::string id = RandomHex(16);
    m_Sessions[id] = PhpSession{strUser, now};
    return id;
}

std::string Service::PremiumUserOf(const Request& req) const {
    const std::string passhash = Cookie(req, "king_passhash");
    const std::string uid = Cookie(req, "king_uid");
    std::lock_guard lock(m_Mutex);
    if (!passhash.empty()) {
        const auto it = m_Logins.find(passhash);
        if (it != m_Logins.end() && it->second.Uid == uid) {
            return it->second.User;
        }
    }
    const auto session = m_Sessions.find(Cookie(req, "PHPSESSID"));
    return session == m_Sessions.end() ? std::string() : session->second.User;
}

void Service::StartPage(const Request& req, Response& res) {
    std::string phpSession = Cookie(req, "PHPSESSID");
    bool known = false;
    {
        std::lock_guard lock(m_Mutex);
        known = !phpSession.empty() && m_Sessions.contains(phpSession);
    }
    if (!known) {
        phpSession = NewPhpSession("");
        res.set_header("Set-Cookie", "PHPSESSID=" + phpSession + "; path=/");
    }

    const std::string base = BaseUrlFor(req);
    const std::string uploadSession = RandomHex(16);
    UploadForm form;
    form.PhpSessionId = phpSession;
    form.FormSessionId = RandomHex(16);
    form.AccessKey = RandomHex(16);
    form.ScriptUrl = base + "upload.php";
    form.ReturnUrl = base + "upload_done.php?upload_id=" + uploadSession;
    form.Created = std::chrono::steady_clock::now();
    const std::string action = form.ScriptUrl + "?upload_id=" + uploadSession;

    const auto hidden = [](const char* name, const std::string& value) {
        return std::string("<input type=\"hidden\" name=\"") + name + "\" value=\"" +
               HtmlEscape(value) + "\">\n";
    };
    std::string body =
        "<script>function postIt() { return true; }</script>\n"
        "<p>Upload a file of at most " +
        std::to_string(m_Options.MaxSizeMB) +
        " MB.</p>\n"
        "<FORM name=uploadform onsubmit=\"return postIt();\" action=\"" +
        HtmlEscape(action) + "\" method=\"post\" enctype=\"multipart/form-data\">\n" +
        hidden("sessionid", form.FormSessionId) + hidden("UploadSession", uploadSession) +
        hidden("AccessKey", form.AccessKey) + hidden("maxfilesize", std::to_string(MaxBytes())) +
        hidden("phpuploadscript", form.ScriptUrl) + hidden("returnurl", form.ReturnUrl) +
        "<p>File: <input type=\"file\" name=\"uploadfile_0\"></p>\n"
        "<p>Description: <input type=\"text\" name=\"file_descr[0]\"></p>\n"
        "<p>Password: <input type=\"text\" name=\"file_password[0]\"></p>\n"
        "<p>Bin-Layer-ID: <input type=\"text\" name=\"file_referal[0]\"></p>\n"
        "<p><label><input type=\"checkbox\" name=\"file_search[0]\" value=\"1\"> "
        "publish</label></p>\n"
        "<p><input type=\"submit\" value=\"Upload\"></p>\n</FORM>\n"
        "<p><a href=\"imprint.php\">Imprint</a></p>\n";

    {
        std::lock_guard lock(m_Mutex);
        const auto now = form.Created;
        MakeRoom(m_Forms, now);
        m_Forms[uploadSession] = std::move(form);
    }
    res.status = 200;
    res.set_content(Page("Vostrand", body), kHtml);
}

void Service::Upload(const Request& req, Response& res, const ContentReader& reader) {
    const std::string uploadSession = req.get_param_value("upload_id");
    const std::string phpSession = Cookie(req, "PHPSESSID");
    UploadForm form;
    bool known = false;
    {
        std::lock_guard lock(m_Mutex);
        const auto it = m_Forms.find(uploadSession);
        if (it != m_Forms.end() && !phpSession.empty() && it->second.PhpSessionId == phpSession) {
            form = it->second;
            known = true;
        }
    }

    if (!req.is_multipart_form_data()) {
        reader([](const char*, size_t) { return true; });
        SendPage(res, 400, "Upload refused", "The upload is not a multipart form.");
        return;
    }

    // A request that cannot belong to a known form is read to its end but nothing is stored.
    UploadReceiver receiver(m_Storage.NewTempPath(), MaxBytes(), known);
    const bool complete =
        reader([&](const httplib::MultipartFormData& part) { return receiver.Header(part); },
               [&](const char* data, size_t length) { return receiver.Data(data, length); });
    if (!complete) {
        // Broken off, malformed or far too large: the receiver removes the partial file.
        if (std::strtoll(req.get_header_value("Content-Length").c_str(), nullptr, 10) >
            MaxUploadBody()) {
            SendPage(res, 413, "Upload refused",
                     "The file is larger than " + std::to_string(m_Options.MaxSizeMB) + " MB.");
            return;
        }
        SendPage(res, 400, "Upload refused",
                 receiver.Error().empty() ? "The upload was incomplete." : receiver.Error());
        return;
    }
    if (!known) {
        SendPage(res, 403, "Upload refused", "Unknown or expired upload session.");
        return;
    }
    // The hidden fields must come back as the form gave them.
    const bool fieldsMatch = receiver.Field("UploadSession") == uploadSession &&
                             SecretEquals(receiver.Field("AccessKey"), form.AccessKey) &&
                             receiver.Field("sessionid") == form.FormSessionId &&
                             receiver.Field("maxfilesize") == std::to_string(MaxBytes()) &&
                             receiver.Field("phpuploadscript") == form.ScriptUrl &&
                             receiver.Field("returnurl") == form.ReturnUrl;
    if (!fieldsMatch) {
        SendPage(res, 403, "Upload refused", "The form fields do not match the upload session.");
        return;
    }
    if (!receiver.HasFile()) {
        SendPage(res, 400, "Upload refused", "No file was sent.");
        return;
    }
    if (receiver.TooLarge()) {
        SendPage(res, 413, "Upload refused",
                 "The file is larger than " + std::to_string(m_Options.MaxSizeMB) + " MB.");
        return;
    }
    if (!receiver.Finish()) {
        SendPage(res, 500, "Upload failed", receiver.Error());
        return;
    }

    StoredFile file;
    file.Name = BaseFileName(receiver.FileName());
    file.ContentType = SafeContentType(receiver.FileType());
    file.Password = receiver.Field("file_password[0]");
    file.Description = receiver.Field("file_descr[0]");
    file.Referal = receiver.Field("file_referal[0]");
    file.Publish = receiver.Field("file_search[0]") == "1";
    file.User = PremiumUserOf(req);
    file.Size = receiver.FileSize();
    std::string error;
    receiver.Release(); // Commit owns the temporary file from here, and removes it on failure
    if (!m_Storage.Commit(receiver.TempPath(), file, error)) {
        SendPage(res, 500, "Upload failed", error);
        return;
    }
    {
        std::lock_guard lock(m_Mutex);
        const auto it = m_Forms.find(uploadSession);
        if (it != m_Forms.end()) {
            it->second.FileIds.push_back(file.Id);
        }
    }

    if (m_Options.ScriptAnswer) {
        res.status = 200;
        res.set_content(Page("Upload complete", "<script type=\"text/javascript\">location.href='" +
                                                    form.ReturnUrl + "';</script>\n"),
                        kHtml);
    } else {
        res.status = 302;
        res.set_header("Location", form.ReturnUrl);
        res.set_content(Page("Upload complete", "<p><a href=\"" + HtmlEscape(form.ReturnUrl) +
                                                    "\">Continue</a></p>\n"),
                        kHtml);
    }
}

void Service::UploadDone(const Request& req, Response& res) {
    std::vector<std::string> ids;
    {
        std::lock_guard lock(m_Mutex);
        const auto it = m_Forms.find(req.get_param_value("upload_id"));
        if (it == m_Forms.end() || it->second.FileIds.empty()) {
            SendPage(res, 404, "Not found", "No upload of this session was received.");
            return;
        }
        ids = it->second.FileIds;
    }
    // Browsers land here after the form's post: show them their links.
    const std::string base = BaseUrlFor(req);
    std::string body = "<p>Upload received.</p>\n<ul>\n";
    for (const auto& id : ids) {
        if (const auto file = m_Storage.Find(id)) {
            const std::string link = DownloadUrl(base, *file);
            body += "<li>" + HtmlEscape(file->Name) + ": <a href=\"" + HtmlEscape(link) + "\">" +
                    HtmlEscape(link) + "</a></li>\n";
        }
    }
    body += "</ul>\n";
    res.status = 200;
    res.set_content(Page("Upload received", body), kHtml);
}

void Service::EmailLinks(const Request& req, Response& res) {
    const std::string uploadSession = FormValue(req, "UploadSession");
    const std::string accessKey = FormValue(req, "AccessKey");
    if (uploadSession.empty() || accessKey.empty()) {
        SendPage(res, 400, "Links", "UploadSession and AccessKey are required.");
        return;
    }
    std::vector<std::string> ids;
    {
        std::lock_guard lock(m_Mutex);
        const auto it = m_Forms.find(uploadSession);
        if (it == m_Forms.end() || !SecretEquals(it->second.AccessKey, accessKey) ||
            it->second.PhpSessionId != Cookie(req, "PHPSESSID")) {
            SendPage(res, 403, "Links", "Unknown upload session.");
            return;
        }
        ids = it->second.FileIds;
    }
    // The newest upload of the session that still exists.
    for (auto id = ids.rbegin(); id != ids.rend(); ++id) {
        if (const auto file = m_Storage.Find(*id)) {
            const std::string base = BaseUrlFor(req);
            const std::string download = DownloadUrl(base, *file);
            const std::string remove = DeleteUrl(base, *file);
            res.status = 200;
            res.set_content(
                Page("Your links", "<p>Download link: <A id=downloadhref href=\"" + download +
                                       "\">" + HtmlEscape(download) + "</A></p>\n" +
                                       "<p>Delete link: <A id=filedelhref href=\"" + remove +
                                       "\">" + HtmlEscape(remove) + "</A></p>\n"),
                kHtml);
            return;
        }
    }
    SendPage(res, 200, "Links", "This upload session has no finished upload.");
}

void Service::LoginPage(const Request& req, Response& res) {
    const std::string act = FormValue(req, "act");
    const std::string user = FormValue(req, "user");
    const std::string pass = FormValue(req, "pass");
    if (act != "login" || user.empty()) {
        SendPage(res, 400, "Login", "Expected act=login with user and pass.");
        return;
    }
    int32_t uid = 0;
    bool valid = false;
    for (size_t i = 0; i < m_Options.Premium.size(); ++i) {
        if (m_Options.Premium[i].first == user) {
            uid = static_cast<int32_t>(i + 1);
            valid = SecretEquals(m_Options.Premium[i].second, pass);
            break;
        }
    }
    // Like any PHP page, a login starts a session first, whatever the outcome.
    const std::string phpSession = NewPhpSession(valid ? user : "");
    res.set_header("Set-Cookie", "PHPSESSID=" + phpSession + "; path=/");
    if (!valid) {
        SendPage(res, 200, "Login", "Wrong user name or password.");
        return;
    }
    const std::string passhash = RandomHex(16);
    {
        std::lock_guard lock(m_Mutex);
        const auto now = std::chrono::steady_clock::now();
        MakeRoom(m_Logins, now);
        m_Logins[passhash] = Login{user, std::to_string(uid), now};
    }
    res.set_header("Set-Cookie", "king_sess_id=" + RandomHex(16) + "; path=/");
    res.set_header("Set-Cookie", "king_uid=" + std::to_string(uid) + "; path=/");
    res.set_header("Set-Cookie", "king_passhash=" + passhash + "; path=/");
    res.set_header("Set-Cookie", "king_logined=1; path=/");
    res.set_header("Set-Cookie",
                   "king_last_click=" + std::to_string(std::time(nullptr)) + "; path=/");
    SendPage(res, 200, "Login", "Logged in as " + user + ".");
}

void Service::ToolConfig(const Request&, Response& res) {
    // News line breaks travel as the two characters backslash and n.
    std::string news;
    for (char c : m_Options.News) {
        if (c == '\n') {
            news += "\\n";
        } else if (c != '\r') {
            news += c;
        }
    }
    res.status = 200;
    std::string version = m_Options.ClientVersion;
    std::erase_if(version, [](char c) { return c == '\r' || c == '\n'; });
    res.set_content("size=" + std::to_string(m_Options.MaxSizeMB) + "\r\nversion=" + version +
                        "\r\nnews=" + news + "\r\n",
                    "text/plain; charset=utf-8");
}

void Service::Download(const Request& req, Response& res) {
    const std::string id = req.matches[1];
    const auto file = m_Storage.Find(id);
    if (!file) {
        SendPage(res, 404, "Not found", "This file does not exist.");
        return;
    }
    if (!file->Password.empty() && !SecretEquals(file->Password, req.get_param_value("password"))) {
        SendPage(res, 403, "Password required",
                 "This file is protected: add ?password=... to the link.");
        return;
    }
    // Whatever was put in place of the file (nothing, a folder, a pipe) answers 404, without
    // blocking on a pipe.
    const int fd = ::open(m_Storage.PathOf(id).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) {
            ::close(fd);
        }
        SendPage(res, 404, "Not found", "This file does not exist.");
        return;
    }
    // The status stays unset so that httplib answers 206 to a range request.
    res.set_header("Content-Disposition", AttachmentDisposition(file->Name));
    const auto size = static_cast<size_t>(st.st_size);
    if (size == 0) {
        ::close(fd);
        res.set_content("", file->ContentType);
        return;
    }
    // Streamed piece by piece; the descriptor is closed when httplib drops the provider.
    auto handle = std::shared_ptr<int>(new int(fd), [](int* p) {
        ::close(*p);
        delete p;
    });
    res.set_content_provider(size, file->ContentType,
                             [handle](size_t offset, size_t length, httplib::DataSink& sink) {
                                 char buffer[64 * 1024];
                                 const size_t want = std::min(length, sizeof buffer);
                                 ssize_t n;
                                 do {
                                     n = ::pread(*handle, buffer, want, static_cast<off_t>(offset));
                                 } while (n < 0 && errno == EINTR);
                                 if (n <= 0) {
                                     return false;
                                 }
                                 return sink.write(buffer, static_cast<size_t>(n));
                             });
}

void Service::ConfirmDelete(const Request& req, Response& res) {
    const auto file = m_Storage.Find(req.matches[1]);
    if (!file) {
        SendPage(res, 404, "Not found", "This file does not exist.");
        return;
    }
    if (file->DeleteKey != req.get_param_value("key")) {
        SendPage(res, 403, "Forbidden", "Wrong delete key.");
        return;
    }
    // The form has no action: it posts to this very address, delete key included.
    res.status = 200;
    res.set_content(Page("Delete " + file->Name,
                         "<p>Delete the file " + HtmlEscape(file->Name) +
                             " for good?</p>\n<form method=\"post\"><button type=\"submit\" "
                             "id=confirmdelete>Delete</button></form>\n"),
                    kHtml);
}

void Service::Delete(const Request& req, Response& res) {
    switch (m_Storage.Remove(req.matches[1], req.get_param_value("key"))) {
    case Storage::RemoveResult::Removed:
        SendPage(res, 200, "Deleted", "The file was deleted.");
        break;
    case Storage::RemoveResult::NotFound:
        SendPage(res, 404, "Not found", "This file does not exist.");
        break;
    case Storage::RemoveResult::WrongKey:
        SendPage(res, 403, "Forbidden", "Wrong delete key.");
        break;
    case Storage::RemoveResult::Failed:
        SendPage(res, 500, "Error", "The file could not be deleted.");
        break;
    }
}

} // namespace service
