// clsHTTP, response side: parsing fed whole, byte by byte and split anywhere; bodies in files;
// redirects; the end of a request by close, error and Cancel; re-entrant owners.
#include "support/TempDir.h"
#include "test_clsHTTP_fixture.h"

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>

using namespace httptest;

namespace {

// What a response leaves behind, independent of how it was cut into arrivals.
struct Outcome {
    std::vector<int32_t> states;
    int headers = 0, completes = 0;
    std::string chunkText;
    int32_t code = 0;
    std::string message, header, data;
    int64_t bytesLoad = 0, pointer = 0, contentLength = 0, headerLength = 0;
    bool whole = false;
    bool operator==(const Outcome&) const = default;
};

// Feeds the arrivals to a fresh request, then closes; chunks receives the chunk events if given.
Outcome Play(const std::vector<std::string>& arrivals, int32_t flags,
             std::vector<std::string>* chunks = nullptr) {
    HttpHarness h;
    h.Start("http://h/page", flags);
    h.net->DrainAll();
    h.events.clear();
    h.Answer(arrivals);
    const clsHTTP& r = *h.http;
    if (chunks) {
        chunks->clear();
        for (const auto& e : h.events)
            if (e.Kind == "chunk")
                chunks->push_back(e.Text);
    }
    return {h.States(),
            h.Count("header"),
            h.Count("complete"),
            h.Chunks(),
            r.ReturnCode(),
            r.ReturnMessage(),
            r.ReturnHeader(),
            h.Last("complete") ? h.Last("complete")->Text : "<none>",
            r.BytesLoad(),
            r.ReturnContentPointer(),
            r.ReturnContentLength(),
            r.ReturnHeaderLength(),
            r.BodyComplete()};
}

// Plays the response whole, one byte at a time, cut once anywhere and its head cut twice; every
// way must give the outcome of the whole one. Returns that outcome.
Outcome PlayEveryWay(const std::string& response, int32_t flags) {
    const Outcome whole = Play({response}, flags);
    std::vector<std::string> bytes;
    for (char c : response)
        bytes.emplace_back(1, c);
    EXPECT_EQ(Play(bytes, flags), whole) << "byte by byte";
    for (std::size_t cut = 0; cut <= response.size(); ++cut)
        EXPECT_EQ(Play({response.substr(0, cut), response.substr(cut)}, flags), whole)
            << "cut at " << cut;
    // The head also in three arrivals.
    const std::size_t headEnd = std::min(response.find("\r\n\r\n"), response.size());
    for (std::size_t a = 1; a < headEnd; ++a)
        for (std::size_t b = a + 1; b < headEnd; ++b)
            EXPECT_EQ(
                Play({response.substr(0, a), response.substr(a, b - a), response.substr(b)}, flags),
                whole)
                << "cuts at " << a << " and " << b;
    return whole;
}

const std::string ChunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
const std::string WikipediaChunked = ChunkedHead + "4\r\nWiki\r\n5\r\npedia\r\n0\r\n\r\n";

} // namespace

// --- parsing -------------------------------------------------------------------------------------

TEST(HttpResponse, ParsesTheSameHoweverTheArrivalsAreCut) {
    const std::string plainHead = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nX-A: b\r\n\r\n";
    const std::string continueHead = "HTTP/1.1 100 Continue\r\n\r\n";
    const std::string processingHead = "HTTP/1.1 102 Processing\r\n\r\n";
    const std::string notFoundHead = "HTTP/1.0 404 Not Found\r\n\r\n";
    const std::string createdHead = "HTTP/1.1 201 Created\r\n\r\n";
    const std::string mixedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, Chunked\r\n\r\n";
    const std::string badLengthHead = "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n";
    const std::string noColonHead = "HTTP/1.1 200\r\nContent-Length 3\r\ngarbage\r\n\r\n";
    const auto length = [](const std::string& text) { return static_cast<int64_t>(text.size()); };
    const int32_t decode = HttpFlags::DecodeChunked;
    struct Row {
        const char* name;
        std::string response;
        int32_t flags, code;
        const char* message;
        std::string data;
        int64_t contentLength, headerLength;
        int64_t interimBytes; // skipped 1xx bytes, not counted in BytesLoad
        bool whole = true;    // BodyComplete: the close still ends in state 8 either way
    };
    const Row rows[] = {
        {"content length", plainHead + "hello", 0, 200, "OK", "hello", 5, length(plainHead), 0},
        {"body until close", notFoundHead + "not here\r\n", 0, 404, "Not Found", "not here\r\n", -1,
         length(notFoundHead), 0},
        {"interim 100 skipped", continueHead + createdHead + "x", 0, 201, "Created", "x", -1,
         length(createdHead), length(continueHead)},
        {"two interim blocks skipped", continueHead + processingHead + plainHead + "hello", 0, 200,
         "OK", "hello", 5, length(plainHead), length(continueHead + processingHead)},
        {"chunked decoded", WikipediaChunked, decode, 200, "OK", "Wikipedia", -1,
         length(ChunkedHead), 0},
        {"chunked kept without flag 4", WikipediaChunked, 0, 200, "OK",
         "4\r\nWiki\r\n5\r\npedia\r\n0\r\n\r\n", -1, length(ChunkedHead), 0},
        {"chunk extension and trailer",
         mixedHead + "1a;name=value\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\nX-Trailer: 1\r\n\r\n",
         decode, 200, "OK", "abcdefghijklmnopqrstuvwxyz", -1, length(mixedHead), 0},
        {"chunk size with leading zeros and capitals",
         ChunkedHead + "0000000000000000000000B\r\nabcdefghijk\r\n2;x\r\nlm\r\n0\r\n\r\n", decode,
         200, "OK", "abcdefghijklm", -1, length(ChunkedHead), 0},
        {"closed before the header ends", "HTTP/1.1 200 OK\r\nContent-Le", 0, 0, "", "", -1, 0, 0},
        {"closed after an interim header", continueHead + "HTTP/1.1 200", 0, 0, "", "", -1, 0,
         length(continueHead)},
        {"negative content length", badLengthHead + "body", 0, 200, "OK", "body", -5,
         length(badLengthHead), 0},
        {"header lines without colon", noColonHead + "x", 0, 200, "", "x", -1, length(noColonHead),
         0},
        {"content length cut short", plainHead + "hel", 0, 200, "OK", "hel", 5, length(plainHead),
         0, false},
        {"chunked without its last chunk", ChunkedHead + "4\r\nWiki\r\n5\r\npedia\r\n", decode, 200,
         "OK", "Wiki", -1, length(ChunkedHead), 0, false},
        {"chunked cut inside a chunk", ChunkedHead + "4\r\nWiki\r\n5\r\npe", decode, 200, "OK",
         "Wiki", -1, length(ChunkedHead), 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Outcome o = PlayEveryWay(row.response, row.flags);
        EXPECT_EQ(o.code, row.code);
        EXPECT_EQ(o.message, row.message);
        EXPECT_EQ(o.data, row.data);
        EXPECT_EQ(o.chunkText, o.data);
        EXPECT_EQ(o.contentLength, row.contentLength);
        EXPECT_EQ(o.headerLength, row.headerLength);
        EXPECT_EQ(o.bytesLoad, length(row.response) - row.interimBytes);
        EXPECT_EQ(o.completes, 1);
        EXPECT_EQ(o.whole, row.whole && row.code != 0);
        if (row.code == 0) {
            EXPECT_EQ(o.header, row.response.substr(static_cast<std::size_t>(row.interimBytes)))
                << "what arrived after any interim header stays in ReturnHeader";
            EXPECT_EQ(o.headers, 0);
            EXPECT_EQ(o.states, (std::vector<int32_t>{6, 8}));
        } else {
            EXPECT_EQ(length(o.header), row.headerLength);
            EXPECT_EQ(o.header.substr(o.header.size() - 4), "\r\n\r\n");
            EXPECT_EQ(o.header.substr(9, 3), std::to_string(row.code));
            EXPECT_EQ(o.headers, 1);
            EXPECT_EQ(o.states, (std::vector<int32_t>{6, 7, 8}));
            EXPECT_EQ(o.pointer, length(o.chunkText));
        }
    }
}

TEST(HttpResponse, ChunksAreRaisedWholeWhereverTheyAreCut) {
    std::vector<std::string> chunks;
    for (std::size_t cut = 0; cut <= WikipediaChunked.size(); ++cut) {
        Play({WikipediaChunked.substr(0, cut), WikipediaChunked.substr(cut)},
             HttpFlags::DecodeChunked, &chunks);
        EXPECT_EQ(chunks, (std::vector<std::string>{"Wiki", "pedia"})) << "cut at " << cut;
    }
}

TEST_F(HttpTest, HeaderAndBodyOfOneArrivalAreRaisedInOrder) {
    Start("http://h/");
    net->DrainAll();
    events.clear();
    net->Feed("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nabc");
    EXPECT_EQ(Kinds(), (std::vector<std::string>{"state", "header", "state", "chunk"}));
    EXPECT_EQ(States(), (std::vector<int32_t>{6, 7}));
    EXPECT_EQ(events[1].Code, 200);
    EXPECT_EQ(events[1].Text, "OK");
    EXPECT_EQ(events[1].Extra, "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\n");
    EXPECT_EQ(events[3].Text, "abc");
    Answer({"def"});
    EXPECT_EQ(Kinds().back(), "complete");
    EXPECT_EQ(Last("complete")->Text, "abcdef");
    EXPECT_EQ(Last("complete")->Code, 200);
    EXPECT_EQ(completeMessage, "OK");
    EXPECT_EQ(http->State(), HttpState::Complete);
}

// --- the body in a file --------------------------------------------------------------------------

TEST_F(HttpTest, PartialContentContinuesTheFileAtTheResumedOffset) {
    testsupport::TempDir dir;
    const std::string old(100, 'o'), body(100, 'n');
    const std::string path = dir.WriteFile("part.bin", old);
    Prepare("http://h/file.bin", HttpFlags::StoreInFile | HttpFlags::Resume).SetFilePath(path);
    EXPECT_TRUE(HasLine(Go(), "Range: bytes=100-"));
    net->Feed("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 100-199/1000\r\n"
              "Content-Length: 100\r\n\r\n" +
              body.substr(0, 30));
    EXPECT_EQ(http->ReturnContentResume(), 100);
    EXPECT_EQ(http->ReturnContentLength(), 1000);
    EXPECT_EQ(http->ReturnContentPointer(), 130);
    Answer({body.substr(30)});
    EXPECT_EQ(http->ReturnContentPointer(), 200);
    EXPECT_TRUE(http->BodyComplete()) << "the range, not the resource, is the whole body";
    EXPECT_EQ(Last("complete")->Text, path);
    EXPECT_EQ(testsupport::ReadFile(path), old + body);
}

TEST_F(HttpTest, StoreInFileReplacesAnOldFileOrUsesATemporaryOne) {
    testsupport::TempDir dir;
    const std::string path = dir.WriteFile("out.txt", "an old and longer content");
    std::string temp;
    for (const std::string& given : {path, std::string()}) {
        Prepare("http://h/", HttpFlags::StoreInFile).SetFilePath(given);
        http->Submit();
        const std::string used = http->FilePath();
        if (given.empty()) {
            ASSERT_NE(used.find("/TMP"), std::string::npos) << used;
            temp = used;
        }
        net->Accept();
        EXPECT_EQ(net->Sends().at(0).find("Range"), std::string::npos);
        const std::string text = given.empty() ? "temp" : "new"; // shorter than the old one
        Answer({"HTTP/1.1 200 OK\r\n\r\n" + text});
        EXPECT_EQ(testsupport::ReadFile(used), text);
        EXPECT_EQ(Last("complete")->Text, used);
    }
    std::remove(temp.c_str());
    // Without flag 1 a FilePath is emptied and the body collected as text.
    Prepare("http://h/").SetFilePath(path);
    http->Submit();
    EXPECT_EQ(http->FilePath(), "");
}

// --- redirects -----------------------------------------------------------------------------------

TEST_F(HttpTest, RedirectIsFollowedOnlyWithFlagEight) {
    Start("http://h/dir/start.php", HttpFlags::FollowRedirects);
    net->DrainAll();
    events.clear();
    net->ClearRecord();
    // Cut off in its body: the head is whole, and only the head of a redirect counts.
    Answer({"HTTP/1.1 302 Found\r\nLocation: next%20page.php?id=1\r\nContent-Length: 9\r\n\r\nMo"});
    EXPECT_EQ(States(), (std::vector<int32_t>{6, 7, -1, 1}));
    ASSERT_EQ(Count("redirect"), 1);
    EXPECT_EQ(Last("redirect")->Text, "http://h/dir/next page.php?id=1");
    EXPECT_EQ(Count("complete"), 0);
    EXPECT_EQ(http->Action(), "http://h/dir/next%20page.php?id=1");
    EXPECT_EQ(net->ConnectCount(), 2);
    net->Accept();
    EXPECT_EQ(FirstLine(net->Sends().at(0)), "GET /dir/next%20page.php?id=1 HTTP/1.1");
    Answer({"HTTP/1.1 200 OK\r\n\r\ndone"});
    EXPECT_EQ(Count("complete"), 1);
    EXPECT_EQ(Last("complete")->Text, "done");

    // Without the flag the 302 is the answer.
    Start("http://h/dir/start.php");
    Answer({"HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\n\r\n"});
    EXPECT_EQ(States().back(), HttpState::Complete);
    EXPECT_EQ(Count("redirect"), 0);
    EXPECT_EQ(Last("complete")->Code, 302);
}

TEST_F(HttpTest, AtMostFiveRedirectsPerRequest) {
    // The same object, Reset and Submit again: the count starts anew.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        Prepare("http://h/r0", HttpFlags::FollowRedirects);
        http->Submit();
        for (int n = 1; n <= 6; ++n) {
            net->Accept();
            net->DrainAll();
            Answer({"HTTP/1.1 301 Moved\r\nLocation: /r" + std::to_string(n) + "\r\n\r\n"});
        }
        EXPECT_EQ(Count("redirect"), 5);
        EXPECT_EQ(Count("complete"), 1);
        EXPECT_EQ(Last("complete")->Code, 301);
        EXPECT_EQ(http->State(), HttpState::Complete);
        EXPECT_EQ(http->Action(), "http://h/r5");
    }
}

TEST_F(HttpTest, RedirectRepeatsTheRequestButKeepsCredentialsAtHome) {
    // A login POST through a proxy answered by 303 to location; returns what the next one sends.
    const auto run = [this](const std::string& location) {
        Prepare("http://h:8000/login.php", HttpFlags::FollowRedirects | HttpFlags::UseProxy, 1, 1);
        http->SetProxyHostname("proxy");
        http->SetProxyPort(3128);
        http->SetProxyUsername("pu");
        http->SetUsername("user");
        http->SetPassword("pass");
        http->AddElement("a", "1", 0);
        http->AddHeader("Cookie", "PHPSESSID=abc", true);
        Go();
        net->DrainAll();
        Answer({"HTTP/1.1 303 See Other\r\nLocation: " + location + "\r\n\r\n"});
        net->ClearRecord();
        net->Accept();
        return net->Sent();
    };
    const std::string same = run("/next.php");
    EXPECT_EQ(FirstLine(same), "POST http://h:8000/next.php HTTP/1.1");
    EXPECT_TRUE(HasLine(same, "Authorization: Basic dXNlcjpwYXNz"));
    EXPECT_TRUE(HasLine(same, "Cookie: PHPSESSID=abc"));
    EXPECT_TRUE(HasLine(same, "Proxy-Authorization: Basic cHU6"));
    EXPECT_EQ(same.substr(same.size() - 3), "a=1") << "a POST is repeated with its body";

    for (const char* other : {"http://other:8000/next.php", "http://h:8001/next.php"}) {
        SCOPED_TRACE(other);
        const std::string sent = run(other);
        EXPECT_EQ(sent.find("Authorization: Basic dXNlcjpwYXNz"), std::string::npos) << sent;
        EXPECT_EQ(sent.find("Cookie"), std::string::npos) << sent;
        EXPECT_TRUE(HasLine(sent, "Proxy-Authorization: Basic cHU6"));
        EXPECT_EQ(net->Host(), "proxy");
    }
    // Credentials in the new URL are its own.
    const std::string own = run("http://me:pw@other/");
    EXPECT_TRUE(HasLine(own, "Authorization: Basic bWU6cHc=")) << own;
    EXPECT_TRUE(HasLine(own, "Host: other")) << own;
}

// --- ends: close, errors, Cancel -----------------------------------------------------------------

TEST_F(HttpTest, TwoSocketErrorsEndTheRequestOnce) {
    Start("http://h/");
    events.clear();
    net->Fail(10061, "Connection refused");
    net->Fail(10053, "Software caused connection abort", true);
    EXPECT_EQ(States(), (std::vector<int32_t>{-3}));
    EXPECT_EQ(events[0].Text, "Winsock Fehler 10061: Connection refused");
    EXPECT_EQ(Count("complete"), 1);
    EXPECT_EQ(net->State(), 0);
    // Late notifications of the closed connection change nothing.
    Answer({"HTTP/1.1 200 OK\r\n\r\n"});
    http->Cancel();
    EXPECT_EQ(events.size(), 2u);
}

TEST_F(HttpTest, CancelEndsARunningRequestAndNothingAfterItsEnd) {
    Start("http://h/");
    net->DrainAll();
    net->Feed("HTTP/1.1 200 OK\r\n\r\npart");
    events.clear();
    http->Cancel();
    EXPECT_EQ(States(), (std::vector<int32_t>{-2}));
    ASSERT_EQ(Count("complete"), 1);
    EXPECT_EQ(Last("complete")->Text, "part");
    EXPECT_EQ(Last("complete")->Code, 200);
    EXPECT_EQ(net->State(), 0);
    http->Cancel();
    EXPECT_EQ(events.size(), 2u);

    // A Cancel after DocumentComplete raises nothing.
    Start("http://h/");
    Answer({"HTTP/1.1 204 No Content\r\n\r\n"});
    events.clear();
    http->Cancel();
    EXPECT_TRUE(events.empty());
    // Cancel while connecting; a late connect of the cancelled attempt is ignored.
    Prepare("http://h/");
    http->Submit();
    events.clear();
    http->Cancel();
    net->Accept();
    EXPECT_EQ(States(), (std::vector<int32_t>{-2}));
    EXPECT_EQ(Kinds(), (std::vector<std::string>{"state", "complete"}));
}

TEST(HttpResponse, HostileSizesFailTheRequest) {
    const std::string status = "HTTP/1.1 200 OK\r\n";
    const std::string longLine = "X-Filler: " + std::string(1000, 'x') + "\r\n";
    std::vector<std::string> manyArrivals{status};
    for (int i = 0; i < 70; ++i)
        manyArrivals.push_back(longLine);
    std::string oneArrival;
    for (const auto& a : manyArrivals)
        oneArrival += a;
    const std::string endless(70 * 1024, '1');
    const int32_t decode = HttpFlags::DecodeChunked;
    struct Row {
        const char* name;
        std::vector<std::string> arrivals;
        int32_t flags;
        const char* details;
    };
    const Row rows[] = {
        {"head over 64 KiB in pieces", manyArrivals, 0, "Fehler 90: "},
        {"head over 64 KiB at once", {oneArrival + "\r\nbody"}, 0, "Fehler 90: "},
        {"chunk size beyond a byte count",
         {ChunkedHead + "10000000000000000\r\nabc"},
         decode,
         "Fehler 71: "},
        {"later chunk size too large",
         {ChunkedHead + "3\r\nabc\r\n", "FFFFFFFFFFFFFFFFFF\r\nxyz"},
         decode,
         "Fehler 71: "},
        {"chunk-size line without end", {ChunkedHead, endless}, decode, "Fehler 71: "},
        {"chunk-size line after a chunk without end",
         {ChunkedHead + "3\r\nabc\r\n", endless},
         decode,
         "Fehler 71: "},
        {"content range at the end of a byte count",
         {"HTTP/1.1 206 Partial Content\r\n"
          "Content-Range: bytes 9223372036854775800-9223372036854775806/9223372036854775807\r\n"
          "\r\n0123456789"},
         0,
         "Fehler 75: "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HttpHarness h;
        h.Start("http://h/", row.flags);
        h.net->DrainAll();
        h.events.clear();
        h.Answer(row.arrivals);
        ASSERT_NE(h.Last("state"), nullptr);
        EXPECT_EQ(h.Last("state")->Code, HttpState::Failed);
        EXPECT_EQ(h.Last("state")->Text.rfind(row.details, 0), 0u) << h.Last("state")->Text;
        EXPECT_EQ(h.Count("complete"), 1);
        EXPECT_EQ(h.Kinds().back(), "complete");
        EXPECT_EQ(h.net->State(), 0);
        EXPECT_LE(h.http->ReturnHeader().size(), 70u * 1024 + status.size() + 1024);
    }
    // A head just under the limit is fine.
    HttpHarness h;
    h.Start("http://h/");
    std::string head = status;
    while (head.size() + longLine.size() + 2 <= 64 * 1024)
        head += longLine;
    h.Answer({head + "\r\nok"});
    EXPECT_EQ(h.Last("complete")->Text, "ok");
    EXPECT_EQ(h.http->State(), HttpState::Complete);
}

// --- owners acting inside events -----------------------------------------------------------------

TEST_F(HttpTest, OwnerMayStartTheNextRequestInsideDocumentComplete) {
    int completes = 0;
    http->DocumentComplete = [&](int32_t, const std::string&, const std::string&,
                                 const std::string& data) {
        if (++completes == 1) {
            EXPECT_EQ(data, "first");
            http->Reset();
            http->SetAction("http://second/");
            http->Submit();
        }
    };
    Start("http://first/");
    Answer({"HTTP/1.1 200 OK\r\n\r\nfirst"});
    EXPECT_EQ(completes, 1);
    EXPECT_EQ(net->Host(), "second");
    EXPECT_EQ(http->State(), HttpState::Connecting);
    net->ClearRecord();
    net->Accept();
    EXPECT_NE(net->Sent().find("Host: second"), std::string::npos);
    Answer({"HTTP/1.1 200 OK\r\n\r\nsecond"});
    EXPECT_EQ(completes, 2);
    EXPECT_EQ(http->BytesLoad(), 25);
}

TEST_F(HttpTest, CancelInsideAnEventDropsTheRestOfTheArrival) {
    http->DocumentHeaderReceived = [&](int32_t, const std::string&, const std::string&) {
        events.push_back({"header", 0, {}, {}});
        http->Cancel();
    };
    Start("http://h/", HttpFlags::DecodeChunked);
    net->DrainAll();
    events.clear();
    net->Feed(WikipediaChunked);
    EXPECT_EQ(Kinds(), (std::vector<std::string>{"state", "header", "state", "complete"}));
    EXPECT_EQ(States(), (std::vector<int32_t>{6, -2}));
    net->PeerClose();
    EXPECT_EQ(Count("complete"), 1);

    // Reset and Submit from inside a chunk event: the old body is not decoded further.
    http->DocumentHeaderReceived = nullptr;
    http->DocumentChunkReceived = [&](const std::string& chunk) {
        events.push_back({"chunk", 0, chunk, {}});
        http->Reset();
        http->SetAction("http://next/");
        http->Submit();
    };
    Start("http://h/", HttpFlags::DecodeChunked);
    events.clear();
    net->Feed(WikipediaChunked);
    EXPECT_EQ(Chunks(), "Wiki");
    EXPECT_EQ(Count("complete"), 0);
    EXPECT_EQ(net->Host(), "next");
    EXPECT_EQ(http->State(), HttpState::Connecting);
}

TEST_F(HttpTest, BodyFileThatCannotTakeTheBytesFailsTheRequest) {
    testsupport::TempDir dir;
    Prepare("http://h/", HttpFlags::StoreInFile).SetFilePath(dir.FilePath("body.bin"));
    Go();
    net->Feed("HTTP/1.1 200 OK\r\n\r\n" + std::string(500, 'a'));

    // A file size limit stands in for a full disk.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = old;
    tight.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    events.clear();
    net->Feed(std::string(2000, 'b'));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);

    EXPECT_EQ(States(), (std::vector<int32_t>{-3}));
    EXPECT_EQ(events.at(0).Text.rfind("Fehler 27: ", 0), 0u) << events.at(0).Text;
    EXPECT_EQ(Count("chunk"), 0) << "a piece that was not stored is not reported";
    EXPECT_EQ(Count("complete"), 1);
    EXPECT_EQ(net->State(), 0);
}
