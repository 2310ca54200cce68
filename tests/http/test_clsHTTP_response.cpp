// clsHTTP, response side: parsing however the arrivals are cut; redirects; owners' events.
#include "http/modHTTP.h"
#include "test_clsHTTP_fixture.h"

#include <cstdint>
#include <numeric>
#include <tuple>

using namespace httptest;

namespace {

// Everything a response leaves, a line each: the events (a run of chunks as "chunk:*"); the message
// as kept, completed and raised with the head; decoded chunks "|"-separated; head; counters.
std::string Play(const std::vector<std::string>& arrivals, int32_t flags) {
    HttpHarness h;
    h.Start("http://h/page", flags);
    h.Answer(arrivals);
    std::string chunks;
    std::vector<Event> rest;
    for (const Event& e : h.events)
        if (e.Kind != "chunk")
            rest.push_back(e);
        else if (!e.Text.empty()) {
            chunks += (chunks.empty() || !(flags & HttpFlags::DecodeChunked) ? "" : "|") + e.Text;
            if (rest.empty() || rest.back().Kind != "chunk")
                rest.push_back({"chunk", 0, "*", {}});
        }
    const Event header = h.Last("header");
    h.events = rest;
    const clsHTTP& r = *h.http;
    return h.Trace() + "\n" + r.ReturnMessage() + "|" + h.completeMessage + "|" + header.Text +
           (header.Extra != r.ReturnHeader() && header.Kind == "header" ? " raised another head"
                                                                        : "") +
           "\n" + h.Last("complete").Text + "\n" + chunks + "\n" + r.ReturnHeader() + "\nload " +
           std::to_string(r.BytesLoad()) + " pointer " + std::to_string(r.ReturnContentPointer()) +
           " length " + std::to_string(r.ReturnContentLength()) + " head " +
           std::to_string(r.ReturnHeaderLength()) + (r.BodyComplete() ? " whole" : "");
}

const std::string ChunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
const std::string Wikipedia = ChunkedHead + "4\r\nWiki\r\n5\r\npedia\r\n0\r\n\r\n";

} // namespace

// Fed whole, one byte at a time and cut once at every position, a response gives one outcome.
TEST(HttpResponse, ParsesTheSameHoweverTheArrivalsAreCut) {
    const std::string plain = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nX-A: b\r\n\r\n";
    const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n",
                      notFound = "HTTP/1.0 404 Not Found\r\n\r\n";
    const std::string processing = "HTTP/1.1 102 Processing\r\n\r\n";
    const std::string mixed = "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, Chunked\r\n\r\n";
    const std::string negative = "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n";
    const std::string huge = "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n";
    const int32_t decode = HttpFlags::DecodeChunked;
    struct Row {
        std::string response;
        int32_t flags, code;
        const char *message, *data, *chunks; // chunks nullptr: as data
        int64_t contentLength;
        std::size_t interim; // skipped 1xx bytes, not counted in BytesLoad
        bool whole = true;
    };
    const Row rows[] = {
        {plain + "hello", 0, 200, "OK", "hello", nullptr, 5, 0},
        {notFound + "not here\r\n", 0, 404, "Not Found", "not here\r\n", nullptr, -1, 0},
        {interim + processing + plain + "hello", 0, 200, "OK", "hello", nullptr, 5,
         interim.size() + processing.size()},
        {Wikipedia, decode, 200, "OK", "Wikipedia", "Wiki|pedia", -1, 0},
        {Wikipedia, 0, 200, "OK", "4\r\nWiki\r\n5\r\npedia\r\n0\r\n\r\n", nullptr, -1, 0},
        {mixed + "1a;name=value\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\nX-Trailer: 1\r\n\r\n", decode,
         200, "OK", "abcdefghijklmnopqrstuvwxyz", nullptr, -1, 0},
        {interim + "HTTP/1.1 200", 0, 0, "", "", nullptr, -1, interim.size()},
        {negative + "body", 0, 200, "OK", "body", nullptr, -5, 0},
        {huge + "body", 0, 200, "OK", "body", nullptr, INT64_MAX, 0, false},
        {plain + "hel", 0, 200, "OK", "hel", nullptr, 5, 0, false},
        {ChunkedHead + "4\r\nWiki\r\n5\r\npedia\r\n", decode, 200, "OK", "Wiki", nullptr, -1, 0,
         false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.response);
        const std::string& r = row.response;
        const std::string code = std::to_string(row.code);
        // What arrived after any interim head stays in ReturnHeader when no head completed.
        const std::size_t head = row.code ? r.find("\r\n\r\n", row.interim) + 4 - row.interim : 0;
        const std::string expected =
            (row.code ? "state:6,header:" + code + ",state:7,chunk:*,state:8,complete:" + code
                      : "state:6,state:8,complete:0") +
            "\n" + row.message + "|" + row.message + "|" + (row.code ? row.message : "<none>") +
            "\n" + row.data + "\n" + (row.chunks ? row.chunks : row.data) + "\n" +
            (row.code ? r.substr(row.interim, head) : r.substr(row.interim)) + "\nload " +
            std::to_string(r.size() - row.interim) + " pointer " +
            std::to_string(row.code ? std::string(row.data).size() : 0) + " length " +
            std::to_string(row.contentLength) + " head " + std::to_string(head) +
            (row.whole && row.code ? " whole" : "");
        EXPECT_EQ(Play({r}, row.flags), expected);
        std::vector<std::string> bytes;
        for (char c : r)
            bytes.emplace_back(1, c);
        EXPECT_EQ(Play(bytes, row.flags), expected) << "byte by byte";
        for (std::size_t cut = 0; cut <= r.size(); ++cut)
            EXPECT_EQ(Play({r.substr(0, cut), r.substr(cut)}, row.flags), expected) << cut;
    }
}

TEST_F(HttpTest, RedirectsAreFollowedOnlyWithFlagEightAndAtMostFiveTimes) {
    Start("http://h/dir/start.php", HttpFlags::FollowRedirects);
    // Cut off in its body: only the head of a redirect counts.
    Answer({"HTTP/1.1 302 Found\r\nLocation: next%20page.php?id=1\r\nContent-Length: 9\r\n\r\nMo"});
    EXPECT_EQ(Trace(), "state:6,header:302,state:7,chunk:Mo,state:-1,"
                       "redirect:http://h/dir/next page.php?id=1,state:1");
    EXPECT_EQ(http->Action(), "http://h/dir/next%20page.php?id=1");
    net->ClearRecord();
    net->Accept();
    EXPECT_EQ(net->Sends().at(0).rfind("GET /dir/next%20page.php?id=1 HTTP/1.1\r\n", 0), 0u);
    Answer({"HTTP/1.1 200 OK\r\n\r\ndone"});
    EXPECT_EQ(Trace("complete") + " " + Last("complete").Text, "200 done");

    Prepare("http://h/dir/start.php");
    Go();
    Answer({"HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\n\r\n"});
    EXPECT_EQ(States() + " " + Trace("complete"), "1,2,3,6,7,8 302") << "no flag: the answer";

    // The same object, Reset and Submit again: the count starts anew.
    for (int round = 0; round < 2; ++round) {
        Prepare("http://h/r0", HttpFlags::FollowRedirects);
        http->Submit();
        for (int n = 1; n <= 6; ++n) {
            net->Accept();
            Answer({"HTTP/1.1 301 Moved\r\nLocation: /r" + std::to_string(n) + "\r\n\r\n"});
        }
        EXPECT_EQ(Trace("redirect") + " " + Trace("complete") + " " + http->Action(),
                  "http://h/r1,http://h/r2,http://h/r3,http://h/r4,http://h/r5 301 http://h/r5");
    }
}

// Authorization and Cookie follow a redirect only to the same scheme, host and port. Rows: the
// location, through the proxy, then Authorization|Cookie|Proxy-Authorization|body sent.
TEST_F(HttpTest, RedirectRepeatsTheRequestButKeepsCredentialsAtHome) {
    const std::tuple<const char*, bool, const char*> rows[] = {
        {"/next.php", true, "Basic dXNlcjpwYXNz|PHPSESSID=abc|Basic cHU6|a=1"},
        {"http://other:8000/next.php", true, "||Basic cHU6|a=1"},
        {"http://h:8001/next.php", true, "||Basic cHU6|a=1"},
        {"https://h:8000/next.php", false, "|||a=1"},
        {"http://me:pw@other/", true, "Basic bWU6cHc=||Basic cHU6|a=1"}};
    for (const auto& [location, proxy, expected] : rows) {
        SCOPED_TRACE(location);
        Prepare("http://h:8000/login.php",
                HttpFlags::FollowRedirects | (proxy ? HttpFlags::UseProxy : 0), 1, 1)
            .SetUsername("user");
        http->SetPassword("pass");
        http->AddElement("a", "1", 0);
        http->AddHeader("Cookie", "PHPSESSID=abc", true);
        Go();
        net->DrainAll();
        Answer({"HTTP/1.1 303 See Other\r\nLocation: " + std::string(location) + "\r\n\r\n"});
        net->ClearRecord();
        net->Accept();
        if (!proxy)
            net->Secure();
        const std::string sent = net->Sent();
        std::string got;
        for (const char* name : {"Authorization:", "Cookie:", "Proxy-Authorization:"})
            got += modHTTP::HeaderValue(sent, name, "") + "|";
        EXPECT_EQ(got + sent.substr(sent.size() - 3), expected) << sent;
    }
}

TEST(HttpResponse, HostileSizesFailTheRequest) {
    const std::string status = "HTTP/1.1 200 OK\r\n";
    std::vector<std::string> flood(71, "X-Filler: " + std::string(1000, 'x') + "\r\n");
    flood[0] = status;
    const std::string floodAtOnce = std::accumulate(flood.begin(), flood.end(), std::string());
    const std::string range = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes "
                              "9223372036854775800-9223372036854775806/9223372036854775807\r\n";
    const std::string endless(70 * 1024, '1');
    const int32_t decode = HttpFlags::DecodeChunked;
    const std::tuple<std::vector<std::string>, int32_t, const char*> rows[] = {
        {flood, 0, "Fehler 90: "},
        {{floodAtOnce + "\r\nbody"}, 0, "Fehler 90: "},
        {{ChunkedHead + "10000000000000000\r\nabc"}, decode, "Fehler 71: "},
        {{ChunkedHead + "3\r\nabc\r\n", endless}, decode, "Fehler 71: "},
        {{range + "\r\n0123456789"}, 0, "Fehler 75: "}};
    for (const auto& [arrivals, flags, details] : rows) {
        SCOPED_TRACE(details + arrivals.back().substr(0, 60));
        HttpHarness h;
        h.Start("http://h/", flags);
        h.Answer(arrivals);
        // The failure is the last state, and the only completion follows it.
        const std::string trace = h.Trace(), reason = h.Last("state").Text, why = details;
        EXPECT_EQ(trace.substr(trace.rfind("state:", trace.find("complete"))),
                  "state:-3,complete:" + std::to_string(h.Last("complete").Code));
        EXPECT_EQ(std::to_string(h.net->State()) + " " + reason.substr(0, why.size()), "0 " + why)
            << reason;
        EXPECT_LE(h.http->ReturnHeader().size(), 70u * 1024 + status.size() + 1024);
    }
}

// Inside an event the owner may cancel, or start the next request.
TEST_F(HttpTest, OwnerMayCancelOrStartTheNextRequestInsideAnEvent) {
    http->DocumentHeaderReceived = [&](int32_t code, const std::string&, const std::string&) {
        Add("header", code, {});
        http->Cancel();
    };
    Start("http://h/", HttpFlags::DecodeChunked);
    Answer({Wikipedia});
    EXPECT_EQ(Trace(), "state:6,header:200,state:-2,complete:200");

    Record(*http);
    http->DocumentComplete = [&](int32_t c, const std::string&, const std::string&,
                                 const std::string& data) {
        Add("complete", c, data);
        if (data == "first") {
            http->Reset();
            http->SetAction("http://second/");
            http->Submit();
        }
    };
    Prepare("http://first/");
    Go();
    Answer({"HTTP/1.1 200 OK\r\n\r\nfirst"});
    EXPECT_EQ(Trace("complete") + " " + net->Host() + " " + std::to_string(http->State()),
              "200 second " + std::to_string(HttpState::Connecting));
    net->ClearRecord();
    net->Accept();
    EXPECT_TRUE(HasLine(net->Sent(), "Host: second"));
    Answer({"HTTP/1.1 200 OK\r\n\r\nsecond"});
    EXPECT_EQ(Trace("complete") + " " + Last("complete").Text + " " +
                  std::to_string(http->BytesLoad()),
              "200,200 second 25");
}
