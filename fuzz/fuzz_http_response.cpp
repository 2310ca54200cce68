// clsHTTP's response reception. Input: an options byte, then arrivals, each a length byte and
// that many bytes; an arrival of length 0 is the peer closing. A followed redirect opens the
// next connection, which the arrivals after it answer. The end of the input closes.
#include "PlayNetwork.h"
#include "http/clsHTTP.h"

#include <memory>

namespace {

// The host a head names in its Host line ("" without one).
std::string HostLine(const std::string& head) {
    const auto at = head.find("\r\nHost: ");
    if (at == std::string::npos)
        return {};
    const auto start = at + 8;
    return head.substr(start, head.find("\r\n", start) - start);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const uint8_t options = in.Byte();
    const bool proxy = options & 2;

    auto socket = std::make_unique<testsupport::FakeSocket>();
    testsupport::FakeSocket& net = *socket;
    clsHTTP http(std::move(socket));

    int completes = 0;
    int headers = 0; // of the current response
    int redirects = 0;
    std::string chunks; // of the current response
    std::string completeData;
    http.StateChanged = [&](int32_t state, const std::string&) {
        FUZZ_CHECK(completes == 0);
        if (state == HttpState::Redirecting) {
            ++redirects;
            chunks.clear();
            headers = 0;
        }
    };
    http.DocumentHeaderReceived = [&](int32_t, const std::string&, const std::string& header) {
        FUZZ_CHECK(completes == 0);
        FUZZ_CHECK(header.size() >= 4 && header.compare(header.size() - 4, 4, "\r\n\r\n") == 0);
        ++headers;
    };
    http.DocumentChunkReceived = [&](const std::string& chunk) {
        FUZZ_CHECK(completes == 0);
        FUZZ_CHECK(headers == 1);
        chunks += chunk;
    };
    http.DocumentComplete = [&](int32_t, const std::string&, const std::string&,
                                const std::string& text) {
        ++completes;
        completeData = text;
    };

    http.Reset();
    int32_t flags = 0;
    if (options & 1)
        flags |= HttpFlags::FollowRedirects;
    if (proxy)
        flags |= HttpFlags::UseProxy;
    if (options & 4)
        flags |= HttpFlags::DecodeChunked;
    http.SetFlags(flags);
    http.SetAction(options & 8 ? "http://h:8080/dir/page.php?x=1" : "http://h/");
    if (options & 16) {
        http.SetMethod(1);
        http.SetEncType(1);
        http.AddElement("a", "1", 0);
    }
    if (proxy) {
        http.SetProxyHostname("proxy");
        http.SetProxyPort(3128);
        http.SetProxyUsername("pu");
    }
    http.AddHeader("Cookie", "PHPSESSID=secret", true);
    http.Submit();

    // Every close either ends the request or follows one of at most five redirects.
    PlayNetwork(
        in, net, clsHTTP::MaxRedirects + 1, [&] { return completes > 0; },
        [&] {
            if (net.Sends().empty()) {
                FUZZ_CHECK(net.Host().empty() || completes == 1);
                return;
            }
            // What goes out names a real host, to the proxy or to that host itself.
            const std::string& head = net.Sends().front();
            const std::string host = HostLine(head);
            FUZZ_CHECK(!host.empty() && host[0] != ':');
            if (proxy) {
                FUZZ_CHECK(net.Host() == "proxy");
                FUZZ_CHECK(head.find(" http://" + host) != std::string::npos);
            } else {
                FUZZ_CHECK(host == net.Host() || host.rfind(net.Host() + ":", 0) == 0);
            }
        });

    FUZZ_CHECK(completes == 1);
    FUZZ_CHECK(redirects <= clsHTTP::MaxRedirects);
    FUZZ_CHECK(net.ConnectCount() == redirects + 1);
    FUZZ_CHECK(headers <= 1);
    FUZZ_CHECK(!http.BodyComplete() || http.State() == HttpState::Complete);
    if (http.State() == HttpState::Complete) {
        // The body handed over equals the chunks reported, and the pointer counts them.
        FUZZ_CHECK(completeData == chunks);
        FUZZ_CHECK(http.ReturnContentPointer() - http.ReturnContentResume() ==
                   static_cast<int64_t>(chunks.size()));
        // 204 and 304 carry no body, whatever length their head announces.
        const int32_t code = http.ReturnCode();
        if (http.BodyComplete() && http.ReturnContentLength() >= 0 && code != 206 && code != 204 &&
            code != 304 && !(options & 4))
            FUZZ_CHECK(static_cast<int64_t>(chunks.size()) >= http.ReturnContentLength());
    }
    FUZZ_CHECK(http.BytesLoad() >= http.ReturnHeaderLength());
    return 0;
}
