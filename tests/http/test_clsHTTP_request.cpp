// clsHTTP, request side: the bytes handed to the socket and the ends of a request.
#include "http/modUrl.h"
#include "support/Support.h"
#include "test_clsHTTP_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <tuple>

using namespace httptest;
using namespace testsupport;

namespace {

// The head without Accept, Connection and User-Agent, lines "|"-joined: a head ends in "||".
std::string Brief(const std::string& head) {
    static const std::regex fixed(
        "\r\n(Accept: \\*/\\*|Connection: Close|User-Agent: [^\r]*)(?=\r\n)");
    return std::regex_replace(std::regex_replace(head, fixed, ""), std::regex("\r\n"), "|");
}

} // namespace

TEST_F(HttpTest, HeadsFromUrlPropertiesElementsAndHeaders) {
    http->Reset();
    EXPECT_EQ(States(), "0");
    struct Row {
        std::string url, expected;     // the head in brief
        int32_t flags = 0, method = 0; // HEAD goes as HTTP/1.0
        std::string credentials = ":";
        std::vector<std::tuple<std::string, std::string, int32_t>> elements = {};
        std::vector<std::pair<std::string, std::string>> headers = {}; // replacing
    };
    const std::string g = "GET /p.php?", h = " HTTP/1.1|Host: h", p = "http://h/p.php",
                      a = "GET / HTTP/1.1|Authorization: Basic ", bad = "a=1\r\nX-Injected: 1";
    const Row rows[] = {
        {"http://e.com/d/i.php", "GET /d/i.php HTTP/1.1|Host: e.com"},
        {"http://[::1]:81/x", "GET /x HTTP/1.1|Host: [::1]:81"},
        {"http://h/", "HEAD / HTTP/1.0|Host: h", 0, 2},
        {"http://e.com:81/a?x=1",
         "GET http://e.com:81/a?x=1 HTTP/1.1|Host: e.com:81|Proxy-"
         "Authorization: Basic cHU6|Proxy-Connection: Close",
         HttpFlags::UseProxy},
        {"http://h/", a + "YWI6Y2Q=|Host: h", 0, 0, "ab:cd"},
        {"http://user:pass@h/", a + "dXNlcjpwYXNz|Host: h"},
        {"http://x:pass@h/", a + "dXNlcjpwYXNz|Host: h", 0, 0, "user:"}, // replaces the URL's
        {p + "?x=1#part", g + "x=1&a=1&b=2" + h, 0, 0, ":", {{"a", "1", 0}, {"b", "2", 0}}},
        // A type 2 element first replaces the whole query; later it is an ordinary value.
        {p + "?x=1", g + "p=1&q=2" + h, 0, 0, ":", {{"q", "p=1&q=2", 2}, {"a", "1", 0}}},
        {p, g + "a=1&q=p%3D1" + h, 0, 0, ":", {{"a", "1", 0}, {"q", "p=1", 2}}},
        {p, g + "a+b=a+b%26c&f=%2Ft" + h, 0, 0, ":", {{"a b", "a b&c", 0}, {"f", "/t", 1}}},
        {"http://h/a b/c.php", "GET /a%20b/c.php" + h},
        {"http://h:81/a/c?x=1", "GET /a/c?x=1 HTTP/1.1|Host: h:81|Referer: http://h:81/a/",
         HttpFlags::SendReferer},
        // Nothing a caller gives can start a line of its own.
        {p,
         g + "a=1X-Injected: 1 HTTP/1.1|Authorization: Basic dXNlcg0KOg==|Cookie: a=1X-Injected: 1|"
             "Host: h|Referer: http://x/|X-NameX-Injected: v",
         0,
         0,
         "user\r\n:",
         {{"q", bad + "\r\n", 2}},
         {{"Cookie", bad}, {"X-Name\r\nX-Injected", "v\r"}, {"Referer", "http://x/"}}},
    };
    for (const Row& row : rows) {
        Prepare(row.url, row.flags, row.method).SetProtocol(row.method == 2 ? 0 : 1);
        http->SetUsername(row.credentials.substr(0, row.credentials.find(':')));
        http->SetPassword(row.credentials.substr(row.credentials.find(':') + 1));
        for (const auto& [name, value, type] : row.elements)
            http->AddElement(name, value, type);
        for (const auto& [name, value] : row.headers)
            http->AddHeader(name, value, true);
        http->Submit();
        const std::string early = net->Sent(); // nothing before the connection opens
        net->Accept();
        const UrlParts server = modUrl::CrackUrl(row.url);
        const bool proxy = row.flags & HttpFlags::UseProxy;
        EXPECT_EQ(early + Brief(net->Sent()) + " " + net->Host() + ":" +
                      std::to_string(net->Port()),
                  row.expected + "|| " + (proxy ? "proxy" : server.HostName) + ":" +
                      std::to_string(proxy ? 3128 : server.Port));
        // The details name the server asked for, not the proxy.
        EXPECT_EQ(Trace() + " " + events[0].Text + " " + events[1].Text,
                  "state:1,state:2,state:3 " + server.HostName + " " + server.HostName);
    }
    // https through a proxy: a CONNECT with the proxy's credentials goes first, alone.
    Prepare("https://e.com:8443/a", HttpFlags::UseProxy);
    const std::string connect = Go();
    EXPECT_EQ(connect + std::to_string(net->Sends().size()),
              "CONNECT e.com:8443 HTTP/1.1\r\nHost: e.com:8443\r\nProxy-Authorization: Basic "
              "cHU6\r\n\r\n1");
}

TEST_F(HttpTest, UrlEncodedAndMultipartBodies) {
    Prepare("http://h/login.php", 0, 1, 1).AddElement("user", "a b", 0);
    http->AddElement("pass", "x&y=z", 1); // the type does not matter here
    Go();
    EXPECT_EQ(net->Sends().at(0) + net->Sends().at(1),
              "POST /login.php HTTP/1.1\r\nAccept: */*\r\nContent-Length: 23\r\nContent-Type: "
              "application/x-www-form-urlencoded\r\nConnection: Close\r\nHost: h\r\nUser-Agent: "
              "Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)\r\n\r\nuser=a+b&pass=x%26y%3Dz");
    clock.Advance(4);
    const int32_t idle = http->Timeout();
    net->DrainAll();
    EXPECT_EQ(idle * 10 + http->Timeout(), 40) << "send progress is activity";

    QTemporaryDir dir;
    const std::string content = ReadAll(WriteRandomFile(dir, "pic.png", 2500, 1));
    Prepare("http://h:8931/upload.php?x=1",
            HttpFlags::DecodeChunked | HttpFlags::NoCache | HttpFlags::SendReferer, 1, 2);
    http->AddHeader("Cookie", "PHPSESSID=abc", true);
    http->AddHeader("X-Extra", "yes");
    http->AddElement("MAX_FILE_SIZE", "100", 0);
    http->AddElement("file", dir.filePath("pic.png").toStdString(), 1);
    http->AddElement("none", dir.filePath("missing.txt").toStdString(), 1);
    http->AddElement("n\"a\r\nme", "v", 0); // names are escaped, files go by their own name
    http->AddElement("f\"", WriteFile(dir, "a\"b.txt", "x"), 1);
    const std::string head = Go();
    std::smatch match;
    ASSERT_TRUE(std::regex_search(
        head, match,
        std::regex("^POST /upload.php\\?x=1 HTTP/1.1\r\nAccept: .*\r\nCache-Control: .*\r\n"
                   "Content-Length: .*\r\nContent-Type: multipart/form-data; "
                   "boundary=(-{27}[0-9a-f]{10})\r\nConnection: .*\r\nCookie: .*\r\nHost: .*\r\n"
                   "Pragma: .*\r\nReferer: .*\r\nUser-Agent: .*\r\nX-Extra: yes\r\n\r\n$")))
        << head;
    // Each value with its line break goes as one send, the file in pieces of 1,024 bytes.
    const std::string d = "--" + match.str(1) + "\r\n|",
                      n = "Content-Disposition: form-data; name=",
                      t = "Content-Type: text/plain\r\n|\r\n|";
    std::string sends;
    for (const std::string& send : net->Sends())
        sends += send + "|";
    EXPECT_EQ(sends, head + "|" + d + n + "\"MAX_FILE_SIZE\"\r\n|\r\n|100\r\n|" + d + n +
                         "\"file\"; filename=\"pic.png\"\r\n|Content-Type: image/png\r\n|\r\n|" +
                         content.substr(0, 1024) + "|" + content.substr(1024, 1024) + "|" +
                         content.substr(2048) + "|\r\n|" + d + n +
                         "\"none\"; filename=\"missing.txt\"\r\n|" + t + "\r\n|" + d + n +
                         "\"n%22a%0D%0Ame\"\r\n|\r\n|v\r\n|" + d + n +
                         "\"f%22\"; filename=\"a%22b.txt\"\r\n|" + t + "x|\r\n|--" + match.str(1) +
                         "--\r\n|");
    EXPECT_EQ(http->RequestContentLength() + std::ssize(head), net->SentTotal());
    EXPECT_TRUE(HasLine(head, "Content-Length: " + std::to_string(http->RequestContentLength())));
}

// However large the file, the socket never holds more than 256 KiB of it; the pieces arrive whole
// and in order.
TEST_F(HttpTest, UploadsAreFedWithinTheHighWaterMark) {
    constexpr int64_t mark = 256 * 1024;
    QTemporaryDir dir;
    const std::string file = WriteRandomFile(dir, "big.bin", 6 * 1024 * 1024 + 123, 7);
    StartUpload(file);
    EXPECT_LE(net->SentTotal(), mark) << "the file must not be queued at once";
    for (int64_t step : {int64_t{64 * 1024}, int64_t{1000}, int64_t{3 * 1024 * 1024}})
        for (int i = 0; i < 40; ++i)
            net->Drain(step);
    net->SetDrainStep(50 * 1024);
    net->DrainAll();
    EXPECT_LE(net->PeakQueued(), mark);
    EXPECT_EQ(http->State(), HttpState::Sent);
    EXPECT_EQ(http->BytesSend(), http->RequestHeaderLength() + http->RequestContentLength());
    EXPECT_EQ(net->SentTotal(), http->BytesSend());
    EXPECT_NE(net->Sent().find(ReadAll(file)), std::string::npos);
}

// However a request ends it ends once, with the reason, and no file stays open. An action that is
// no absolute http(s) URL sends nothing, not even to a proxy; no head announces bytes that cannot
// come.
TEST(HttpEnds, EveryEndIsRaisedOnceWithItsReasonAndClosesTheFiles) {
    const auto openFiles = [] {
        namespace fs = std::filesystem;
        return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{});
    };
    QTemporaryDir dir;
    const std::string big = WriteRandomFile(dir, "up.bin", 1024 * 1024, 2);
    const std::string shrinking = WriteRandomFile(dir, "data.bin", 1024 * 1024, 3);
    const std::string folder = dir.path().toStdString() + "/", fifo = folder + "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto before = openFiles();
    const auto upload = [&](HttpHarness& h, const std::string& path) {
        h.StartUpload(path);
        h.net->Drain(100 * 1024); // the file is open now, partly sent
        h.events.clear();
    };
    const auto download = [&](HttpHarness& h) {
        h.Prepare("http://h/", HttpFlags::StoreInFile).SetFilePath(folder + "body.bin");
        h.Go();
        h.net->Feed("HTTP/1.1 200 OK\r\n\r\npart");
        h.events.clear();
    };
    using Act = std::function<void(HttpHarness&)>;
    const std::string failed = "state:-3,complete:0", sent = "closed, sent",
                      unsent = "closed, nothing sent", unread = "state:1,state:2," + failed,
                      ok = "HTTP/1.1 200 OK\r\n\r\n";
    // Name, what happens, the events, the reason's start, the socket.
    std::vector<std::tuple<std::string, Act, std::string, std::string, std::string>> rows = {
        {"answered", [&](HttpHarness& h) { upload(h, big), h.net->DrainAll(), h.Answer({ok}); },
         "state:5,state:6,header:200,state:7,chunk:,state:8,complete:200", "", sent},
        {"upload cancelled", [&](HttpHarness& h) { upload(h, big), h.http->Cancel(); },
         "state:-2,complete:0", "", sent},
        {"upload reset, then more",
         [&](HttpHarness& h) {
             upload(h, big);
             h.net->Fail(10054, "reset");
             h.net->Fail(10053, "Software caused connection abort", true);
             h.Answer({ok});
             h.http->Cancel();
         },
         failed, "Winsock Fehler 10054: reset", sent},
        {"short read",
         [&](HttpHarness& h) {
             upload(h, shrinking);
             ASSERT_EQ(::truncate(shrinking.c_str(), 300 * 1024), 0);
             h.net->DrainAll();
             EXPECT_LT(h.net->SentTotal(),
                       h.http->RequestHeaderLength() + h.http->RequestContentLength());
         },
         failed, "Fehler ", sent},
        {"download closed", [&](HttpHarness& h) { download(h), h.net->PeerClose(); },
         "state:8,complete:200", "", sent},
        {"download cancelled twice",
         [&](HttpHarness& h) { download(h), h.http->Cancel(), h.http->Cancel(); },
         "state:-2,complete:200", "", sent},
        {"cancelled before the late connect",
         [&](auto& h) { h.Prepare("http://h/").Submit(), h.http->Cancel(), h.net->Accept(); },
         "state:1,state:-2,complete:0", "", "open, nothing sent"},
        {"no folder",
         [&](HttpHarness& h) {
             h.Prepare("http://h/", HttpFlags::StoreInFile).SetFilePath(folder + "no/out.bin");
             h.http->Submit();
             EXPECT_EQ(h.Last("complete").Text + h.Last("complete").Extra + h.completeMessage, "");
         },
         failed, "Fehler 2: ", unsent},
        {"pipe", [&](HttpHarness& h) { h.StartUpload(fifo); }, unread, "Fehler ", unsent}};
    for (const std::string action :
         {"not a url", "gopher://h/", "ftp://h/pub", "https:///x", "http:///x", "t:"})
        for (const int32_t proxy : {0, HttpFlags::UseProxy})
            rows.emplace_back(
                action + (proxy ? " through a proxy" : ""),
                [=](HttpHarness& h) {
                    h.Prepare(action, HttpFlags::FollowRedirects | proxy, 1, 1);
                    h.http->AddElement("a", "1", 0);
                    h.http->Submit();
                    EXPECT_EQ(h.Trace("complete") + h.net->Host(), "");
                    ASSERT_TRUE(h.net->DeliverPendingFailure());
                    h.http->Cancel();
                },
                "state:1," + failed, "Winsock Fehler 11001: Host not found", unsent);
    for (const auto& [name, act, trace, details, socket] : rows) {
        SCOPED_TRACE(name);
        HttpHarness h;
        act(h);
        EXPECT_EQ(h.Trace() + " " + (h.net->State() ? "open" : "closed") +
                      (h.net->Sends().empty() ? ", nothing sent|" : ", sent|") +
                      h.Last("state").Text.substr(0, details.size()),
                  trace + " " + socket + "|" + details);
    }
    {
        HttpHarness h, u;
        download(h);
        upload(h, big); // a new Submit drops the running download
        download(u);
    } // both destroyed while running
    EXPECT_EQ(openFiles(), before);
}
