// clsHTTP over QtSocket and real TCP on 127.0.0.1, against scripted servers.
#include "platform/qt/QtSocket.h"
#include "support/FreePort.h"
#include "support/ScriptedServer.h"
#include "support/TempDir.h"
#include "support/Tinyproxy.h"
#include "test_clsHTTP_fixture.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QEventLoop>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <thread>

using httptest::Event;
using testsupport::ScriptedServer;
using testsupport::Step;

namespace {

void EnsureApplication() {
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "test_http";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

// A QtSocket that remembers the most bytes it ever held queued, checked right after each send.
class PeakSocket final : public Socket {
public:
    PeakSocket() {
        m_Inner.Connected = [this] {
            if (Connected)
                Connected();
        };
        m_Inner.DataArrival = [this](int64_t total) {
            if (DataArrival)
                DataArrival(total);
        };
        m_Inner.SendProgress = [this](int64_t sent, int64_t remaining) {
            if (SendProgress)
                SendProgress(sent, remaining);
        };
        m_Inner.Closed = [this] {
            if (Closed)
                Closed();
        };
        m_Inner.Error = [this](int32_t number, const std::string& description) {
            if (Error)
                Error(number, description);
        };
    }
    void Connect(const std::string& host, int32_t port) override { m_Inner.Connect(host, port); }
    void SendData(std::string_view data) override {
        m_Inner.SendData(data);
        m_Peak = std::max(m_Peak, m_Inner.BytesQueued());
    }
    std::string GetData() override { return m_Inner.GetData(); }
    void Close() override { m_Inner.Close(); }
    int32_t State() const override { return m_Inner.State(); }
    int64_t BytesQueued() const override { return m_Inner.BytesQueued(); }
    int64_t Peak() const { return m_Peak; }

private:
    QtSocket m_Inner;
    int64_t m_Peak = 0;
};

class HttpOverTcp : public ::testing::Test {
protected:
    HttpOverTcp() {
        EnsureApplication();
        Attach(QtSocketFactory()());
    }

    // A new clsHTTP on socket, with every event recorded.
    void Attach(std::unique_ptr<Socket> socket) {
        http = std::make_unique<clsHTTP>(std::move(socket));
        http->StateChanged = [this](int32_t state, const std::string& details) {
            events.push_back({"state", state, details, {}});
        };
        http->DocumentHeaderReceived = [this](int32_t code, const std::string&,
                                              const std::string& header) {
            events.push_back({"header", code, {}, header});
        };
        http->DocumentComplete = [this](int32_t code, const std::string&, const std::string& header,
                                        const std::string& data) {
            events.push_back({"complete", code, data, header});
        };
        http->Redirecting = [this](const std::string& location) {
            events.push_back({"redirect", 0, location, {}});
        };
        http->Reset();
        events.clear();
    }

    int Count(const std::string& kind) const {
        return static_cast<int>(std::count_if(events.begin(), events.end(),
                                              [&](const Event& e) { return e.Kind == kind; }));
    }
    std::vector<int32_t> States() const {
        std::vector<int32_t> out;
        for (const Event& e : events)
            if (e.Kind == "state")
                out.push_back(e.Code);
        return out;
    }
    const Event& Completion() const {
        auto it = std::find_if(events.begin(), events.end(),
                               [](const Event& e) { return e.Kind == "complete"; });
        return *it;
    }

    // Spins the event loop until DocumentComplete; the guard only ends a hung run.
    bool WaitForCompletion() {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (Count("complete") > 0)
                loop.quit();
        });
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        poll.start(2);
        loop.exec();
        // Let anything that would wrongly follow the end arrive.
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents();
        return Count("complete") > 0;
    }

    std::unique_ptr<clsHTTP> http;
    std::vector<Event> events;
};

// The SHA-256 of the multipart body the client should have sent for one file element.
std::string ExpectedUploadHash(const std::string& head, const std::string& fieldValue,
                               const std::string& path) {
    const auto at = head.find("boundary=") + 9;
    const std::string boundary = head.substr(at, head.find("\r\n", at) - at);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const std::string prefix =
        "--" + boundary + "\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\n" + fieldValue +
        "\r\n--" + boundary + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" +
        path + "\"\r\nContent-Type: application/octet-stream\r\n\r\n";
    hash.addData(QByteArrayView(prefix.data(), static_cast<qsizetype>(prefix.size())));
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return "unreadable";
    const std::string suffix = "\r\n--" + boundary + "--\r\n";
    hash.addData(QByteArrayView(suffix.data(), static_cast<qsizetype>(suffix.size())));
    return hash.result().toHex().toStdString();
}

} // namespace

TEST_F(HttpOverTcp, GetReadsTheBodyUntilTheServerCloses) {
    ScriptedServer server;
    server.Respond("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\nhello over tcp");
    http->SetAction(server.BaseUrl() + "info/toolconfig.php?v=1");
    http->SetFlags(20);
    http->Submit();
    ASSERT_TRUE(WaitForCompletion());

    EXPECT_EQ(Count("complete"), 1);
    EXPECT_EQ(Completion().Code, 200);
    EXPECT_EQ(Completion().Text, "hello over tcp");
    EXPECT_EQ(States(), (std::vector<int32_t>{1, 2, 3, 5, 6, 7, 8}));
    ASSERT_TRUE(server.WaitForFinished(1, 10000));
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Head(), http->RequestHeader());
    EXPECT_NE(http->RequestHeader().find("\r\nHost: 127.0.0.1:" + std::to_string(server.Port())),
              std::string::npos);
    EXPECT_EQ(http->BytesSend(), http->RequestHeaderLength());
}

TEST_F(HttpOverTcp, UploadOfFiftyMebibytesArrivesByteForByte) {
    auto socket = std::make_unique<PeakSocket>();
    const PeakSocket& peak = *socket;
    Attach(std::move(socket));
    testsupport::TempDir dir;
    const int64_t size = 50 * 1024 * 1024;
    const std::string path = dir.WriteRandomFile("big.dat", size, 11);
    ScriptedServer server;
    server.SetMemoryLimit(64 * 1024);
    server.Respond("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");

    http->SetAction(server.BaseUrl() + "upload.php");
    http->SetMethod(1);
    http->SetEncType(2);
    http->AddElement("note", "fifty", 0);
    http->AddElement("file", path, 1);
    http->Submit();
    ASSERT_TRUE(WaitForCompletion());

    EXPECT_EQ(Count("complete"), 1);
    EXPECT_EQ(Completion().Code, 200);
    EXPECT_EQ(Completion().Text, "ok");
    EXPECT_EQ(States(), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(http->BytesSend(), http->RequestHeaderLength() + http->RequestContentLength());
    EXPECT_GT(http->RequestContentLength(), size);
    ASSERT_TRUE(server.WaitForFinished(1, 30000));
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Head(), http->RequestHeader());
    EXPECT_EQ(requests[0].BodyLength, http->RequestContentLength());
    EXPECT_EQ(requests[0].BodySha256, ExpectedUploadHash(http->RequestHeader(), "fifty", path));
    // Qt's write buffer holds what we queue: it stays under the mark for the whole upload.
    EXPECT_GT(peak.Peak(), 64 * 1024);
    EXPECT_LE(peak.Peak(), clsHTTP::SendHighWater);
}

// An IPv6 literal keeps its brackets in the URL and the Host header, but not for the resolver.
TEST_F(HttpOverTcp, Ipv6LiteralHost) {
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHostIPv6, 0))
        GTEST_SKIP() << "no IPv6 loopback here";
    std::string received;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* peer = server.nextPendingConnection();
        QObject::connect(peer, &QTcpSocket::readyRead, [&received, peer] {
            received += peer->readAll().toStdString();
            if (received.find("\r\n\r\n") != std::string::npos) {
                peer->write("HTTP/1.1 200 OK\r\n\r\nover v6");
                peer->disconnectFromHost();
            }
        });
    });
    const std::string host = "[::1]:" + std::to_string(server.serverPort());
    http->SetAction("http://" + host + "/six.php");
    http->Submit();
    ASSERT_TRUE(WaitForCompletion());
    EXPECT_EQ(Completion().Code, 200);
    EXPECT_EQ(Completion().Text, "over v6");
    EXPECT_EQ(received.substr(0, received.find("\r\n")), "GET /six.php HTTP/1.1");
    EXPECT_NE(received.find("\r\nHost: " + host + "\r\n"), std::string::npos) << received;
}

TEST_F(HttpOverTcp, RedirectToAnotherServerLeavesCredentialsBehind) {
    ScriptedServer second;
    second.Respond("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nfrom b");
    ScriptedServer first;
    first.Respond("HTTP/1.1 302 Found\r\nLocation: " + second.BaseUrl() +
                  "target.php?x=1\r\nContent-Length: 0\r\n\r\n");

    http->SetAction(first.BaseUrl() + "start.php");
    http->SetFlags(HttpFlags::FollowRedirects | 20);
    http->SetUsername("user");
    http->SetPassword("secret");
    http->AddHeader("Cookie", "PHPSESSID=abc", true);
    http->Submit();
    ASSERT_TRUE(WaitForCompletion());

    EXPECT_EQ(Count("complete"), 1);
    EXPECT_EQ(Completion().Text, "from b");
    EXPECT_EQ(Count("redirect"), 1);
    EXPECT_EQ(http->Action(), second.BaseUrl() + "target.php?x=1");
    ASSERT_TRUE(first.WaitForFinished(1, 10000));
    ASSERT_TRUE(second.WaitForFinished(1, 10000));
    const std::string firstHead = first.Requests().at(0).Head();
    const std::string secondHead = second.Requests().at(0).Head();
    EXPECT_NE(firstHead.find("\r\nAuthorization: Basic dXNlcjpzZWNyZXQ=\r\n"), std::string::npos);
    EXPECT_NE(firstHead.find("\r\nCookie: PHPSESSID=abc\r\n"), std::string::npos);
    EXPECT_EQ(secondHead.substr(0, secondHead.find("\r\n")), "GET /target.php?x=1 HTTP/1.1");
    EXPECT_EQ(secondHead.find("Authorization"), std::string::npos) << secondHead;
    EXPECT_EQ(secondHead.find("Cookie"), std::string::npos) << secondHead;
}

TEST_F(HttpOverTcp, ConnectionFailuresEndThroughTheErrorPath) {
    const int32_t closedPort = testsupport::FreePort();
    const std::string actions[] = {
        "http://127.0.0.1:" + std::to_string(closedPort) + "/", // refused
        "not a url",                                            // no host at all
    };
    for (const std::string& action : actions) {
        SCOPED_TRACE(action);
        events.clear();
        http->Reset();
        events.clear();
        http->SetAction(action);
        http->Submit();
        EXPECT_EQ(Count("complete"), 0) << "never raised from inside Submit";
        ASSERT_TRUE(WaitForCompletion());
        EXPECT_EQ(States(), (std::vector<int32_t>{1, -3}));
        EXPECT_EQ(events.at(1).Text.rfind("Winsock Fehler ", 0), 0u) << events.at(1).Text;
        EXPECT_EQ(Count("complete"), 1);
        EXPECT_EQ(Completion().Code, 0);
    }
}

TEST_F(HttpOverTcp, ServerResettingMidUploadFailsTheRequest) {
    testsupport::TempDir dir;
    const std::string path = dir.WriteRandomFile("upload.dat", 32 * 1024 * 1024, 5);
    ScriptedServer server;
    server.Add({Step::ReadBytes(200 * 1024), Step::Reset()});
    http->SetAction(server.BaseUrl() + "upload.php");
    http->SetMethod(1);
    http->SetEncType(2);
    http->AddElement("file", path, 1);
    http->Submit();
    ASSERT_TRUE(WaitForCompletion());

    EXPECT_EQ(Count("complete"), 1);
    EXPECT_EQ(States().back(), HttpState::Failed);
    EXPECT_EQ(events.at(events.size() - 2).Text.rfind("Winsock Fehler ", 0), 0u);
    EXPECT_LT(http->BytesSend(), http->RequestHeaderLength() + http->RequestContentLength());
}

TEST_F(HttpOverTcp, CancelDuringUploadStopsEverything) {
    testsupport::TempDir dir;
    const std::string path = dir.WriteRandomFile("upload.dat", 32 * 1024 * 1024, 9);
    ScriptedServer server;
    server.Add({Step::Hang()});
    http->SetAction(server.BaseUrl() + "upload.php");
    http->SetMethod(1);
    http->SetEncType(2);
    http->AddElement("file", path, 1);
    http->Submit();

    // Cancel once some of the body is on its way.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (http->BytesSend() > 1024 * 1024)
            loop.quit();
    });
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    poll.start(2);
    loop.exec();
    ASSERT_GT(http->BytesSend(), 1024 * 1024);
    events.clear();
    // Closing does not spin the event loop: nothing else runs inside Cancel.
    bool otherEventRan = false;
    QTimer::singleShot(0, [&otherEventRan] { otherEventRan = true; });
    http->DocumentComplete = [&](int32_t code, const std::string&, const std::string&,
                                 const std::string&) {
        events.push_back({"complete", code, {}, {}});
        EXPECT_FALSE(otherEventRan);
    };
    http->Cancel();
    EXPECT_FALSE(otherEventRan);
    EXPECT_EQ(States(), (std::vector<int32_t>{-2}));
    EXPECT_EQ(Count("complete"), 1);
    const int64_t sent = http->BytesSend();
    for (int i = 0; i < 50; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(events.size(), 2u) << "nothing of the closed connection follows";
    EXPECT_EQ(http->BytesSend(), sent);
}

TEST_F(HttpOverTcp, ThroughAnAuthenticatingProxy) {
    testsupport::Tinyproxy proxy("user", "secret");
    ASSERT_TRUE(proxy.Ok()) << proxy.Log();
    ScriptedServer server;
    server.Respond("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nvia proxy");

    for (const char* password : {"wrong", "secret"}) {
        SCOPED_TRACE(password);
        http->Reset();
        events.clear();
        http->SetAction(server.BaseUrl() + "page.php?a=1");
        http->SetFlags(HttpFlags::UseProxy | 20);
        http->SetProxyHostname("127.0.0.1");
        http->SetProxyPort(proxy.Port());
        http->SetProxyUsername("user");
        http->SetProxyPassword(password);
        http->Submit();
        ASSERT_TRUE(WaitForCompletion()) << proxy.Log();
        EXPECT_EQ(Count("complete"), 1);
        if (std::string(password) == "wrong") {
            // The refusal itself is the answer (tinyproxy says 401 or 407 by version).
            EXPECT_TRUE(Completion().Code == 401 || Completion().Code == 407) << Completion().Code;
            EXPECT_EQ(http->State(), HttpState::Complete);
            EXPECT_EQ(server.ConnectionCount(), 0);
        } else {
            EXPECT_EQ(Completion().Code, 200) << proxy.Log();
            EXPECT_EQ(Completion().Text, "via proxy");
        }
    }
    ASSERT_TRUE(server.WaitForFinished(1, 10000));
    const std::string head = server.Requests().at(0).Head();
    EXPECT_EQ(head.substr(0, head.find("\r\n")).find("/page.php?a=1 HTTP/1."), 4u) << head;
    EXPECT_EQ(head.find("Proxy-Authorization"), std::string::npos) << "the proxy keeps it";
}

TEST(QtSocketContract, FailuresComeLaterAndNothingFollowsClose) {
    EnsureApplication();
    QtSocket socket;
    std::vector<std::string> seen;
    socket.Error = [&](int32_t, const std::string& description) { seen.push_back(description); };
    socket.Connected = [&] { seen.push_back("connected"); };
    EXPECT_EQ(socket.State(), 0);

    socket.Connect("127.0.0.1", 70000);
    EXPECT_NE(socket.State(), 0) << "an attempt is open until its failure is reported";
    EXPECT_TRUE(seen.empty()) << "never reported from inside Connect";
    for (int i = 0; i < 20 && seen.empty(); ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(seen, (std::vector<std::string>{"Invalid port"}));

    // Closed before its failure or its connection is reported: nothing arrives.
    seen.clear();
    socket.Connect("", 80);
    socket.Close();
    EXPECT_EQ(socket.State(), 0);
    ScriptedServer server;
    server.Add({Step::Hang()});
    socket.Connect("127.0.0.1", server.Port());
    // The handshake completes without our event loop; its notification is then pending.
    for (int i = 0; i < 1000 && server.ConnectionCount() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(server.ConnectionCount(), 1);
    socket.Close();
    for (int i = 0; i < 50; ++i)
        QCoreApplication::processEvents();
    EXPECT_TRUE(seen.empty());
}
