// clsHTTP over QtSocket and real TCP on 127.0.0.1, against servers the tests start.
#include "http/modHTTP.h"
#include "platform/qt/QtSocket.h"
#include "support/Support.h"
#include "test_clsHTTP_fixture.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QSslKey>
#include <QSslServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

#include <algorithm>

using namespace httptest;
using testsupport::RawServer;
using testsupport::Until;

namespace {

void SpinEvents(int times) {
    for (int i = 0; i < times; ++i)
        QCoreApplication::processEvents();
}

// An https server with the Good certificate: keeps the head of the request and answers it.
class TlsServer : public QSslServer {
public:
    TlsServer(const testsupport::Pki& pki, const std::string& answer) {
        const auto files = pki.ServiceArguments(testsupport::Pki::Good); // --tls-cert c --tls-key k
        QFile key(QString::fromStdString(files.at(3)));
        key.open(QIODevice::ReadOnly);
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setLocalCertificateChain(
            QSslCertificate::fromPath(QString::fromStdString(files[1])));
        config.setPrivateKey(QSslKey(&key, QSsl::Ec));
        setSslConfiguration(config);
        connect(this, &QTcpServer::pendingConnectionAvailable, this, [this, answer] {
            while (QTcpSocket* socket = nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket, answer] {
                    m_Buffer += socket->readAll().toStdString();
                    if (m_Buffer.find("\r\n\r\n") == std::string::npos)
                        return;
                    Head = m_Buffer.substr(0, m_Buffer.find("\r\n\r\n") + 4);
                    socket->write(answer.data(), static_cast<qint64>(answer.size()));
                    socket->disconnectFromHost();
                });
        });
        listen(QHostAddress::LocalHost, 0);
    }
    std::string Head;

private:
    std::string m_Buffer;
};

class HttpOverTcp : public ::testing::Test, public Recorder {
protected:
    HttpOverTcp() { Attach(std::make_unique<QtSocket>()); }
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
    // Spins the loop without the pauses of Until, which would throttle an upload; tick runs at
    // every turn.
    bool WaitForCompletion(const std::function<void()>& tick = [] {}) {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            tick();
            if (!Trace("complete").empty())
                loop.quit();
        });
        poll.start(1);
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        loop.exec();
        SpinEvents(20); // let anything that would wrongly follow the end arrive
        return !Trace("complete").empty();
    }
    std::unique_ptr<clsHTTP> http;
};

// The SHA-256 of the multipart body the client should have sent for a "note" field and a file.
std::string ExpectedUploadHash(const std::string& head, const std::string& note,
                               const std::string& path) {
    const std::string boundary = modHTTP::ExtractSubStr(head, "boundary=", "\r\n");
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArray::fromStdString(
        "--" + boundary + "\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\n" + note +
        "\r\n--" + boundary + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" +
        path.substr(path.rfind('/') + 1) + "\"\r\nContent-Type: application/octet-stream\r\n\r\n"));
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return "unreadable";
    hash.addData(QByteArray::fromStdString("\r\n--" + boundary + "--\r\n"));
    return hash.result().toHex().toStdString();
}

} // namespace

// The bytes the server got are the request byte for byte, and Qt's write buffer holding what we
// queue stays under 256 KiB whenever the loop looks.
TEST_F(HttpOverTcp, UploadOfFiftyMebibytesArrivesByteForByte) {
    auto socket = std::make_unique<QtSocket>();
    const QtSocket& queue = *socket;
    Attach(std::move(socket));
    QTemporaryDir dir;
    const int64_t size = 50 * 1024 * 1024;
    const std::string path = testsupport::WriteRandomFile(dir, "big.dat", size, 11);
    RawServer server;
    server.Respond("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    http->AddElement("note", "fifty", 0);
    StartUpload(server.BaseUrl() + "upload.php", path);
    int64_t peak = 0;
    ASSERT_TRUE(WaitForCompletion([&] { peak = std::max(peak, queue.BytesQueued()); }));
    EXPECT_EQ(States() + " " + Trace("complete"), "1,2,3,4,5,6,7,8 200");
    EXPECT_EQ(Last("complete").Text, "ok");
    EXPECT_EQ(http->BytesSend(), http->RequestHeaderLength() + http->RequestContentLength());
    EXPECT_GT(http->RequestContentLength(), size);
    ASSERT_EQ(server.Connections(), 1);
    const testsupport::Received& got = *server.Requests()[0];
    EXPECT_EQ(got.Head, http->RequestHeader());
    EXPECT_EQ(got.BodyLength, http->RequestContentLength());
    EXPECT_EQ(got.BodySha256, ExpectedUploadHash(http->RequestHeader(), "fifty", path));
    EXPECT_GT(peak, 64 * 1024);
    EXPECT_LE(peak, 256 * 1024);
}

// To another port over http, and to https: followed, and the credentials stay behind.
TEST_F(HttpOverTcp, RedirectToAnotherServerLeavesCredentialsBehind) {
    testsupport::Pki pki;
    ASSERT_TRUE(pki.Ok()) << pki.Error();
    QList<QSslCertificate> authorities;
    std::string error;
    ASSERT_TRUE(ReadCaFile(pki.CaFile(), authorities, error)) << error;
    const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nserved";
    for (const bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "https" : "http");
        Attach(QtSocketFactory(authorities)());
        RawServer plain, first;
        plain.Respond(answer);
        TlsServer secure(pki, answer);
        const std::string target =
            (tls ? "https://127.0.0.1:" + std::to_string(secure.serverPort()) + "/"
                 : plain.BaseUrl()) +
            "target.php?x=1";
        first.Respond("HTTP/1.1 302 Found\r\nLocation: " + target +
                      "\r\nContent-Length: 0\r\n\r\n");
        http->SetAction(first.BaseUrl() + "start.php");
        http->SetFlags(HttpFlags::FollowRedirects | HttpFlags::DecodeChunked | HttpFlags::NoCache);
        http->SetUsername("user");
        http->SetPassword("secret");
        http->AddHeader("Cookie", "PHPSESSID=abc", true);
        http->Submit();
        ASSERT_TRUE(WaitForCompletion());
        EXPECT_EQ(Trace("redirect") + " " + Trace("complete"), target + " 200");
        EXPECT_EQ(Last("complete").Text, "served");
        EXPECT_EQ(http->Action(), target);
        ASSERT_EQ(first.Connections(), 1);
        const std::string firstHead = first.Requests()[0]->Head;
        EXPECT_TRUE(HasLine(firstHead, "Authorization: Basic dXNlcjpzZWNyZXQ="));
        EXPECT_TRUE(HasLine(firstHead, "Cookie: PHPSESSID=abc"));
        ASSERT_EQ(plain.Connections(), tls ? 0 : 1);
        const std::string head = tls ? secure.Head : plain.Requests()[0]->Head;
        EXPECT_EQ(head, http->RequestHeader());
        EXPECT_EQ(FirstLine(head), "GET /target.php?x=1 HTTP/1.1");
        EXPECT_EQ(head.find("Authorization"), std::string::npos) << head;
        EXPECT_EQ(head.find("Cookie"), std::string::npos) << head;
    }
}

// A server that resets the connection mid-upload fails the request.
TEST_F(HttpOverTcp, ResetMidUploadFailsTheRequest) {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* peer = server.nextPendingConnection();
        QObject::connect(peer, &QTcpSocket::readyRead, [peer] {
            if (peer->bytesAvailable() < 200 * 1024)
                return;
            const linger abortive{1, 0};
            ::setsockopt(static_cast<int>(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER,
                         &abortive, sizeof abortive);
            peer->abort();
        });
    });
    QTemporaryDir dir;
    StartUpload("http://127.0.0.1:" + std::to_string(server.serverPort()) + "/",
                testsupport::WriteRandomFile(dir, "upload.dat", 32 << 20, 5));
    EXPECT_EQ(Trace("complete"), "") << "never raised from inside Submit";
    ASSERT_TRUE(WaitForCompletion());
    EXPECT_EQ(Trace("complete") + " " + std::to_string(Last("state").Code), "0 -3");
    EXPECT_EQ(Last("state").Text.rfind("Winsock Fehler ", 0), 0u) << Last("state").Text;
    EXPECT_LT(http->BytesSend(), http->RequestHeaderLength() + http->RequestContentLength());
}

TEST(QtSocketContract, FailuresComeLaterAndNothingFollowsClose) {
    QtSocket socket;
    std::vector<std::string> seen;
    socket.Error = [&](int32_t, const std::string& description) { seen.push_back(description); };
    socket.Connected = [&] { seen.push_back("connected"); };
    EXPECT_EQ(socket.State(), 0);
    socket.Connect("127.0.0.1", 70000);
    EXPECT_NE(socket.State(), 0) << "an attempt is open until its failure is reported";
    EXPECT_TRUE(seen.empty()) << "never reported from inside Connect";
    EXPECT_TRUE(Until([&] { return !seen.empty(); }));
    EXPECT_EQ(seen, (std::vector<std::string>{"Invalid port"}));

    // An IPv6 literal is written in brackets, but connected to without them.
    QTcpServer six;
    if (six.listen(QHostAddress::LocalHostIPv6, 0)) {
        seen.clear();
        socket.Connect("[::1]", six.serverPort());
        EXPECT_TRUE(Until([&] { return !seen.empty(); }));
        EXPECT_EQ(seen, (std::vector<std::string>{"connected"}));
    }

    // Closed before its failure or its connection is reported: nothing arrives.
    seen.clear();
    socket.Connect("", 80);
    socket.Close();
    EXPECT_EQ(socket.State(), 0);
    RawServer server;
    server.Add({testsupport::Step::Stall()});
    // The kernel completes the handshake without our event loop; its notification is pending.
    socket.Connect("127.0.0.1", server.Port());
    socket.Close();
    EXPECT_TRUE(Until([&] { return server.Connections() == 1; }));
    SpinEvents(50);
    EXPECT_TRUE(seen.empty());
}
