#include "upload/RequestFailure.h"

#include "http/clsHTTP.h"
#include "http/modUrl.h"
#include "upload/modUpload.h"

namespace {
// Where the connection went: the proxy's address when one is used.
std::string Endpoint(const clsHTTP& http, bool& viaProxy) {
    viaProxy = (http.Flags() & HttpFlags::UseProxy) != 0;
    if (viaProxy) {
        return http.ProxyHostname() + ":" + std::to_string(http.ProxyPort());
    }
    const UrlParts url = modUrl::CrackUrl(http.Action());
    return url.HostName + ":" + std::to_string(url.Port);
}
} // namespace

std::string RequestFailure(const clsHTTP& http, int32_t stalledSeconds, int32_t accepted) {
    bool viaProxy = false;
    const std::string endpoint = Endpoint(http, viaProxy);
    const std::string where = viaProxy ? "the proxy " + endpoint : endpoint;
    if (http.BytesLoad() > modUpload::MaxAnswerLength) {
        return "the answer of " + http.Action() + " is too long";
    }
    if (stalledSeconds > 0) {
        return "timed out after " + std::to_string(stalledSeconds) + " s without an answer from " +
               where;
    }
    if (http.State() == HttpState::Failed) {
        switch (http.SocketError()) {
        case SocketErrorNumber::Refused:
            return "connection refused (" + where + ")";
        case SocketErrorNumber::ClosedByPeer:
            return "connection reset by " + where;
        case SocketErrorNumber::HostNotFound:
            return "host not found (" + where + ")";
        case SocketErrorNumber::TimedOut:
            return "connection to " + where + " timed out";
        default:
            break;
        }
        // The client's own failures carry "Fehler <number>: <description>", the socket's
        // "Winsock Fehler <number>: <description>".
        const std::string& details = http.FailureDetails();
        const size_t colon = details.find(": ");
        if ((details.rfind("Fehler ", 0) == 0 || details.rfind("Winsock Fehler ", 0) == 0) &&
            colon != std::string::npos) {
            return details.substr(colon + 2) + " (" + where + ")";
        }
        return details.empty() ? "the request to " + where + " failed" : details;
    }
    const int32_t code = http.ReturnCode();
    if (code == 0) {
        return "connection closed by " + where + " without an answer";
    }
    if (code == 200 || code == accepted) {
        return {};
    }
    std::string status = "HTTP " + std::to_string(code);
    if (!http.ReturnMessage().empty()) {
        status += " " + http.ReturnMessage();
    }
    // A proxy's refusal is the proxy's, not the page's.
    return status + " from " + (code == 407 && viaProxy ? where : http.Action());
}
