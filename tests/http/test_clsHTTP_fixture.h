#pragma once
// Event recording for clsHTTP tests, and a clsHTTP on a FakeSocket for the byte-exact ones.
#include "http/clsHTTP.h"
#include "platform/Clock.h"
#include "support/FakeSocket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace httptest {

class FixedClock final : public Clock {
public:
    TimePoint Now() const override { return m_Now; }
    void Advance(int seconds) { m_Now += std::chrono::seconds(seconds); }

private:
    TimePoint m_Now = std::chrono::system_clock::from_time_t(1'700'000'000);
};

// One raised event: Kind is "state", "header", "chunk", "complete" or "redirect".
struct Event {
    std::string Kind;
    int32_t Code = 0;  // state value or return code
    std::string Text;  // details, reply message, chunk, data or location
    std::string Extra; // header of "header"/"complete"
};

// Records every event of a clsHTTP.
struct Recorder {
    void Record(clsHTTP& http) {
        http.StateChanged = [this](int32_t state, const std::string& details) {
            events.push_back({"state", state, details, {}});
        };
        http.DocumentHeaderReceived = [this](int32_t code, const std::string& message,
                                             const std::string& header) {
            events.push_back({"header", code, message, header});
        };
        http.DocumentChunkReceived = [this](const std::string& chunk) {
            events.push_back({"chunk", 0, chunk, {}});
        };
        http.DocumentComplete = [this](int32_t code, const std::string& message,
                                       const std::string& header, const std::string& data) {
            events.push_back({"complete", code, data, header});
            completeMessage = message;
        };
        http.Redirecting = [this](const std::string& location) {
            events.push_back({"redirect", 0, location, {}});
        };
    }
    std::vector<int32_t> States() const {
        std::vector<int32_t> out;
        for (const Event& e : events)
            if (e.Kind == "state")
                out.push_back(e.Code);
        return out;
    }
    std::vector<std::string> Kinds() const {
        std::vector<std::string> out;
        for (const Event& e : events)
            out.push_back(e.Kind);
        return out;
    }
    int Count(const std::string& kind) const {
        int n = 0;
        for (const Event& e : events)
            n += e.Kind == kind;
        return n;
    }
    const Event* Last(const std::string& kind) const {
        for (auto it = events.rbegin(); it != events.rend(); ++it)
            if (it->Kind == kind)
                return &*it;
        return nullptr;
    }
    std::string Chunks() const {
        std::string out;
        for (const Event& e : events)
            if (e.Kind == "chunk")
                out += e.Text;
        return out;
    }

    std::vector<Event> events;
    std::string completeMessage;
};

// A clsHTTP on a FakeSocket with its events recorded.
class HttpHarness : public Recorder {
public:
    HttpHarness() {
        auto socket = std::make_unique<testsupport::FakeSocket>();
        net = socket.get();
        http = std::make_unique<clsHTTP>(std::move(socket), clock);
        Record(*http);
        http->Reset();
        events.clear();
    }

    // Drops the record so far, then Reset, Action and Flags (Method and EncType when given).
    clsHTTP& Prepare(const std::string& url, int32_t flags = 0, int32_t method = 0,
                     int32_t encType = 0) {
        net->ClearRecord();
        events.clear();
        http->Reset();
        http->SetAction(url);
        http->SetFlags(flags);
        http->SetMethod(method);
        http->SetEncType(encType);
        return *http;
    }
    // Submit and accept the connection; returns the first send (the head) or "".
    std::string Go() {
        http->Submit();
        net->Accept();
        return net->Sends().empty() ? std::string() : net->Sends()[0];
    }
    std::string Start(const std::string& url, int32_t flags = 0) {
        Prepare(url, flags);
        return Go();
    }
    // The server sends the arrivals and closes the connection.
    void Answer(const std::vector<std::string>& arrivals) {
        for (const std::string& arrival : arrivals)
            net->Feed(arrival);
        net->PeerClose();
    }
    // A multipart POST of one file element, submitted and accepted.
    void StartUpload(const std::string& path) {
        Prepare("http://h/", 0, 1, 2).AddElement("file", path, 1);
        Go();
    }

    FixedClock clock;
    testsupport::FakeSocket* net = nullptr;
    // Declared after the clock and destroyed before it.
    std::unique_ptr<clsHTTP> http;
};

class HttpTest : public ::testing::Test, public HttpHarness {};

// The request line of a head.
inline std::string FirstLine(const std::string& head) {
    return head.substr(0, head.find("\r\n"));
}
// True when the head holds line as a whole line (not the request line).
inline bool HasLine(const std::string& head, const std::string& line) {
    return head.find("\r\n" + line + "\r\n") != std::string::npos;
}

} // namespace httptest
