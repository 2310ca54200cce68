// clsHTTP over QtSocket and real TCP on 127.0.0.1, against servers the tests start.
#include "http/modHTTP.h"
#include "platform/qt/QtSocket.h"
#include "support/Support.h"
#include "test_clsHTTP_fixture.h"

#include <QFile>
#include <QTcpSocket>

#include <sys/socket.h>

#include <algorithm>

using namespace httptest;
using testsupport::RawServer;
using testsupport::Until;

namespace {

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
    // Waits for the end with tick at every turn of the loop, then lets anything that would
    // wrongly follow the end arrive.
    bool WaitForCompletion(const std::function<void()>& tick = [] {}) {
        Until([&] { return tick(), !Trace("complete").empty(); }, 120000);
        Until([] { return false; }, 50);
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

// To another port: followed, and the credentials stay behind.
TEST_F(HttpOverTcp, RedirectToAnotherServerLeavesCredentialsBehind) {
    RawServer first, second;
    second.Respond("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nserved");
    const std::string target = second.BaseUrl() + "target.php?x=1";
    first.Respond("HTTP/1.1 302 Found\r\nLocation: " + target + "\r\nContent-Length: 0\r\n\r\n");
    http->SetAction(first.BaseUrl() + "start.php");
    http->SetFlags(HttpFlags::FollowRedirects | HttpFlags::DecodeChunked | HttpFlags::NoCache);
    http->SetUsername("user");
    http->SetPassword("secret");
    http->AddHeader("Cookie", "PHPSESSID=abc", true);
    http->Submit();
    ASSERT_TRUE(WaitForCompletion());
    EXPECT_EQ(Trace("redirect") + " " + Trace("complete") + " " + Last("complete").Text,
              target + " 200 served");
    EXPECT_EQ(http->Action(), target);
    ASSERT_EQ(first.Connections() * 10 + second.Connections(), 11);
    const std::string firstHead = first.Requests()[0]->Head, head = second.Requests()[0]->Head;
    EXPECT_TRUE(HasLine(firstHead, "Authorization: Basic dXNlcjpzZWNyZXQ="));
    EXPECT_TRUE(HasLine(firstHead, "Cookie: PHPSESSID=abc"));
    EXPECT_EQ(head, http->RequestHeader());
    EXPECT_EQ(head.substr(0, head.find("\r\n")), "GET /target.php?x=1 HTTP/1.1");
    EXPECT_FALSE(head.find("Authorization") != std::string::npos ||
                 head.find("Cookie") != std::string::npos)
        << head;
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
    Until([] { return false; }, 50);
    EXPECT_TRUE(seen.empty());
}
