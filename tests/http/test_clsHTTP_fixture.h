#pragma once
// Event recording for clsHTTP tests, and a clsHTTP on a FakeSocket for the byte-exact ones.
#include "http/clsHTTP.h"
#include "support/FakeSocket.h"
#include "support/Fixed.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace httptest {

// Kind "state", "header", "chunk", "complete" or "redirect"; the state or return code; the
// details, message, chunk, data or location; the header.
struct Event {
    std::string Kind;
    int32_t Code = 0;
    std::string Text, Extra;
};

struct Recorder {
    void Record(clsHTTP& http) {
        http.StateChanged = [this](int32_t s, const std::string& d) { Add("state", s, d); };
        http.DocumentHeaderReceived = [this](int32_t c, const std::string& m,
                                             const std::string& h) { Add("header", c, m, h); };
        http.DocumentChunkReceived = [this](const std::string& c) { Add("chunk", 0, c); };
        http.DocumentComplete = [this](int32_t c, const std::string& m, const std::string& h,
                                       const std::string& d) {
            Add("complete", c, d, h);
            completeMessage = m;
        };
        http.Redirecting = [this](const std::string& l) { Add("redirect", 0, l); };
    }
    void Add(const char* kind, int32_t code, const std::string& text, const std::string& x = {}) {
        events.push_back({kind, code, text, x});
    }
    // "kind:code" (chunks, redirects: "kind:text") of every event, or codes (texts) of one kind.
    std::string Trace(const std::string& kind = {}) const {
        std::string out;
        for (const Event& e : events)
            if (kind.empty() || e.Kind == kind)
                out +=
                    (out.empty() ? "" : ",") + (kind.empty() ? e.Kind + ":" : "") +
                    (e.Kind == "chunk" || e.Kind == "redirect" ? e.Text : std::to_string(e.Code));
        return out;
    }
    std::string States() const { return Trace("state"); }
    Event Last(const std::string& kind) const {
        const auto it = std::find_if(events.rbegin(), events.rend(),
                                     [&](const Event& e) { return e.Kind == kind; });
        return it == events.rend() ? Event{"none", 0, "<none>", {}} : *it;
    }
    std::vector<Event> events;
    std::string completeMessage;
};

// A clsHTTP on a FakeSocket with its events recorded.
struct HttpHarness : Recorder {
    HttpHarness() {
        auto socket = std::make_unique<testsupport::FakeSocket>();
        net = socket.get();
        http = std::make_unique<clsHTTP>(std::move(socket), clock);
        Record(*http);
    }
    // Forgets the record; Reset, Action, Flags, Method, EncType, and a proxy for UseProxy.
    clsHTTP& Prepare(const std::string& url, int32_t flags = 0, int32_t method = 0,
                     int32_t encType = 0) {
        http->Reset();
        net->ClearRecord();
        events.clear();
        http->SetAction(url);
        http->SetFlags(flags);
        http->SetMethod(method);
        http->SetEncType(encType);
        http->SetProxyHostname("proxy");
        http->SetProxyPort(3128);
        http->SetProxyUsername("pu");
        return *http;
    }
    // Submit and accept the connection; returns the first send (the head) or "".
    std::string Go() {
        http->Submit();
        net->Accept();
        return net->Sends().empty() ? std::string() : net->Sends()[0];
    }
    // Submitted and sent; the record starts after the request.
    void Start(const std::string& url, int32_t flags = 0) {
        Prepare(url, flags);
        Go();
        net->DrainAll();
        events.clear();
    }
    // The server sends the arrivals and closes.
    void Answer(const std::vector<std::string>& arrivals) {
        for (const std::string& arrival : arrivals)
            net->Feed(arrival);
        net->PeerClose();
    }
    void StartUpload(const std::string& path) {
        Prepare("http://h/", 0, 1, 2).AddElement("file", path, 1);
        Go();
    }
    testsupport::FixedClock clock;
    testsupport::FakeSocket* net = nullptr;
    std::unique_ptr<clsHTTP> http; // destroyed before the clock
};

class HttpTest : public ::testing::Test, public HttpHarness {};

inline bool HasLine(const std::string& head, const std::string& line) {
    return head.find("\r\n" + line + "\r\n") != std::string::npos;
}

} // namespace httptest
