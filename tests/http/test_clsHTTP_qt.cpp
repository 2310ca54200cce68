// clsHTTP over QtSocket and real TCP on 127.0.0.1, against scripted servers.
#include "platform/qt/QtSocket.h"
#include "support/FreePort.h"
#include "support/ScriptedServer.h"
#include "support/TempDir.h"
#include "support/TestPki.h"
#include "test_clsHTTP_fixture.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QEventLoop>
#include <QFile>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <functional>

using httptest::FirstLine;
using httptest::HasLine;
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

void SpinEvents(int times) {
    for (int i = 0; i < times; ++i)
        QCoreApplication::processEvents();
}

// A QtSocket that remembers the most bytes it ever held queued, checked right after each send.
class PeakSocket final : public Socket {
public:
    PeakSocket() {
        m_Inner.Connected = Forward(&Socket::Connected);
        m_Inner.Encrypted = Forward(&Socket::Encrypted);
        m_Inner.DataArrival = Forward(&Socket::DataArrival);
        m_Inner.SendProgress = Forward(&Socket::SendProgress);
        m_Inner.Closed = Forward(&Socket::Closed);
        m_Inner.Error = Forward(&Socket::Error);
    }
    void Connect(const std::string& host, int32_t port) override { m_Inner.Connect(host, port); }
    void StartEncryption(const std::string& peerName) override {
        m_Inner.StartEncryption(peerName);
    }
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
    template <class Handler> Handler Forward(Handler Socket::*event) {
        return [this, event](auto... args) {
            if (this->*event)
                (this->*event)(args...);
        };
    }
    QtSocket m_Inner;
    int64_t m_Peak = 0;
};

class HttpOverTcp : public ::testing::Test, public httptest::Recorder {
protected:
    HttpOverTcp() {
        EnsureApplication();
        Attach(QtSocketFactory()());
    }

    // A new clsHTTP on socket, with every event recorded.
    void Attach(std::unique_ptr<Socket> socket) {
        http = std::make_unique<clsHTTP>(std::move(socket));
        Record(*http);
        http->Reset();
        events.clear();
    }
    void StartUpload(const std::string& url, const std::string& path) {
        http->SetAction(url);
        http->SetMethod(1);
        http->SetEncType(2);
        http->AddElement("file", path, 1);
        http->Submit();
    }
    const httptest::Event& Completion() const { return *Last("complete"); }

    // Spins the event loop until done() holds; the guard only ends a hung run.
    static bool WaitUntil(const std::function<bool()>& done) {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (done())
                loop.quit();
        });
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        poll.start(2);
        loop.exec();
        return done();
    }
    bool WaitForCompletion() {
        const bool done = WaitUntil([this] { return Count("complete") > 0; });
        SpinEvents(20); // let anything that would wrongly follow the end arrive
        return done;
    }

    std::unique_ptr<clsHTTP> http;
};

// The SHA-256 of the multipart body the client should have sent for a "note" field and a file.
std::string ExpectedUploadHash(const std::string& head, const std::string& note,
                               const std::string& path) {
    const auto at = head.find("boundary=") + 9;
    const std::string boundary = head.substr(at, head.find("\r\n", at) - at);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const auto add = [&hash](const std::string& text) {
        hash.addData(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    };
    add("--" + boundary + "\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\n" + note +
        "\r\n--" + boundary + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" +
        path + "\"\r\nContent-Type: application/octet-stream\r\n\r\n");
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return "unreadable";
    add("\r\n--" + boundary + "--\r\n");
    return hash.result().toHex().toStdString();
}

// An https server on 127.0.0.1 in this process: keeps the head of every request and answers it
// with `answer`, then closes.
class TlsServer {
public:
    TlsServer(const testsupport::TestPki& pki, std::string answer) : m_Answer(std::move(answer)) {
        QFile cert(QString::fromStdString(pki.Cert(testsupport::TestPki::Good)));
        QFile key(QString::fromStdString(pki.Key(testsupport::TestPki::Good)));
        if (!cert.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly))
            return;
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setLocalCertificate(QSslCertificate(&cert, QSsl::Pem));
        config.setPrivateKey(QSslKey(&key, QSsl::Ec, QSsl::Pem));
        m_Server.setSslConfiguration(config);
        QObject::connect(&m_Server, &QTcpServer::pendingConnectionAvailable, [this] {
            while (QTcpSocket* socket = m_Server.nextPendingConnection()) {
                auto buffer = std::make_shared<std::string>();
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                    *buffer += socket->readAll().toStdString();
                    const auto end = buffer->find("\r\n\r\n");
                    if (end == std::string::npos)
                        return;
                    m_Heads.push_back(buffer->substr(0, end + 4));
                    socket->write(m_Answer.data(), static_cast<qint64>(m_Answer.size()));
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        m_Server.listen(QHostAddress::LocalHost, 0);
    }
    std::string BaseUrl() const {
        return "https://127.0.0.1:" + std::to_string(m_Server.serverPort()) + "/";
    }
    const std::vector<std::string>& Heads() const { return m_Heads; }

private:
    QSslServer m_Server;
    std::string m_Answer;
    std::vector<std::string> m_Heads;
};

} // namespace

TEST_F(HttpOverTcp, GetReadsTheBodyUntilTheServerCloses) {
    ScriptedServer server;
    server.Respond("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\nhello over tcp");
    http->SetAction(server.BaseUrl() + "info/toolconfig.php?v=1");
    http->SetFlags(HttpFlags::DecodeChunked | HttpFlags::NoCache);
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
    EXPECT_TRUE(HasLine(http->RequestHeader(), "Host: 127.0.0.1:" + std::to_string(server.Port())));
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
    http->AddElement("note", "fifty", 0);
    StartUpload(server.BaseUrl() + "upload.php", path);
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
    // Qt's write buffer holds what we queue: it stays under 256 KiB for the whole upload.
    EXPECT_GT(peak.Peak(), 64 * 1024);
    EXPECT_LE(peak.Peak(), 256 * 1024);
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
    EXPECT_EQ(FirstLine(received), "GET /six.php HTTP/1.1");
    EXPECT_TRUE(HasLine(received, "Host: " + host)) << received;
}

TEST_F(HttpOverTcp, RedirectToAnotherServerLeavesCredentialsBehind) {
    ScriptedServer second;
    second.Respond("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nfrom b");
    ScriptedServer first;
    first.Respond("HTTP/1.1 302 Found\r\nLocation: " + second.BaseUrl() +
                  "target.php?x=1\r\nContent-Length: 0\r\n\r\n");
    http->SetAction(first.BaseUrl() + "start.php");
    http->SetFlags(HttpFlags::FollowRedirects | HttpFlags::DecodeChunked | HttpFlags::NoCache);
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
    EXPECT_TRUE(HasLine(firstHead, "Authorization: Basic dXNlcjpzZWNyZXQ="));
    EXPECT_TRUE(HasLine(firstHead, "Cookie: PHPSESSID=abc"));
    EXPECT_EQ(FirstLine(secondHead), "GET /target.php?x=1 HTTP/1.1");
    EXPECT_EQ(secondHead.find("Authorization"), std::string::npos) << secondHead;
    EXPECT_EQ(secondHead.find("Cookie"), std::string::npos) << secondHead;
}

// An http page sending the client to https on another port: followed inside TLS, and the
// credentials stay behind as for any other scheme.
TEST_F(HttpOverTcp, RedirectToHttpsOnAnotherPortLeavesCredentialsBehind) {
    testsupport::TestPki pki;
    ASSERT_TRUE(pki.Ok()) << pki.Error();
    QList<QSslCertificate> authorities;
    std::string error;
    ASSERT_TRUE(ReadCaFile(pki.CaFile(), authorities, error)) << error;
    Attach(QtSocketFactory(authorities)());
    TlsServer secure(pki, "HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\nfrom tls");
    ScriptedServer first;
    first.Respond("HTTP/1.1 301 Moved Permanently\r\nLocation: " + secure.BaseUrl() +
                  "target.php?x=1\r\nContent-Length: 0\r\n\r\n");
    http->SetAction(first.BaseUrl() + "start.php");
    http->SetFlags(HttpFlags::FollowRedirects | HttpFlags::DecodeChunked | HttpFlags::NoCache);
    http->SetUsername("user");
    http->SetPassword("secret");
    http->AddHeader("Cookie", "PHPSESSID=abc", true);
    http->Submit();
    ASSERT_TRUE(WaitForCompletion());

    EXPECT_EQ(Count("complete"), 1);
    EXPECT_EQ(Completion().Code, 200);
    EXPECT_EQ(Completion().Text, "from tls");
    EXPECT_EQ(Count("redirect"), 1);
    ASSERT_TRUE(first.WaitForFinished(1, 10000));
    EXPECT_TRUE(HasLine(first.Requests().at(0).Head(), "Authorization: Basic dXNlcjpzZWNyZXQ="));
    ASSERT_EQ(secure.Heads().size(), 1u);
    const std::string head = secure.Heads()[0];
    EXPECT_EQ(head, http->RequestHeader());
    EXPECT_EQ(FirstLine(head), "GET /target.php?x=1 HTTP/1.1");
    EXPECT_EQ(head.find("Authorization"), std::string::npos) << head;
    EXPECT_EQ(head.find("Cookie"), std::string::npos) << head;
}

TEST_F(HttpOverTcp, ConnectionFailuresEndThroughTheErrorPath) {
    const std::string refused = "http://127.0.0.1:" + std::to_string(testsupport::FreePort()) + "/";
    for (const std::string& action : {refused, std::string("not a url")}) {
        SCOPED_TRACE(action);
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
    ScriptedServer server;
    server.Add({Step::ReadBytes(200 * 1024), Step::Reset()});
    StartUpload(server.BaseUrl() + "upload.php",
                dir.WriteRandomFile("upload.dat", 32 * 1024 * 1024, 5));
    ASSERT_TRUE(WaitForCompletion());

    EXPECT_EQ(Count("complete"), 1);
    EXPECT_EQ(Last("state")->Code, HttpState::Failed);
    EXPECT_EQ(Last("state")->Text.rfind("Winsock Fehler ", 0), 0u) << Last("state")->Text;
    EXPECT_LT(http->BytesSend(), http->RequestHeaderLength() + http->RequestContentLength());
}

TEST_F(HttpOverTcp, CancelDuringUploadStopsEverything) {
    testsupport::TempDir dir;
    ScriptedServer server;
    server.Add({Step::Hang()});
    StartUpload(server.BaseUrl() + "upload.php",
                dir.WriteRandomFile("upload.dat", 32 * 1024 * 1024, 9));
    // Cancel once some of the body is on its way.
    ASSERT_TRUE(WaitUntil([this] { return http->BytesSend() > 1024 * 1024; }));
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
    SpinEvents(50);
    EXPECT_EQ(events.size(), 2u) << "nothing of the closed connection follows";
    EXPECT_EQ(http->BytesSend(), sent);
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
    ASSERT_TRUE(server.WaitForConnections(1, 10000));
    socket.Close();
    SpinEvents(50);
    EXPECT_TRUE(seen.empty());
}
