// clsHTTP over QtSocket and real TCP on 127.0.0.1, against servers the tests start.
#include "http/modHTTP.h"
#include "platform/qt/QtSocket.h"
#include "support/Support.h"
#include "test_clsHTTP_fixture.h"

#include <QTcpSocket>

#include <sys/socket.h>

#include <algorithm>

using namespace httptest;
using testsupport::RawServer;
using testsupport::Until;

namespace {

class HttpOverTcp : public ::testing::Test, public Recorder {
protected:
    HttpOverTcp() {
        auto owned = std::make_unique<QtSocket>();
        socket = owned.get();
        http = std::make_unique<clsHTTP>(std::move(owned));
        http->Reset();
        Record(*http);
    }
    void StartUpload(const std::string& url, const std::string& path) {
        http->SetAction(url);
        http->SetMethod(1);
        http->SetEncType(2);
        http->AddElement("file", path, 1);
        http->Submit();
    }
    // Waits for the end, ticking each turn, then lets anything that would wrongly follow arrive.
    bool WaitForCompletion(const std::function<void()>& tick = [] {}) {
        Until([&] { return tick(), !Trace("complete").empty(); }, 120000);
        Until([] { return false; }, 50);
        return !Trace("complete").empty();
    }
    QtSocket* socket;
    std::unique_ptr<clsHTTP> http;
};

// The SHA-256 of the multipart body the client should have sent for a file alone.
std::string ExpectedUploadHash(const std::string& head, const std::string& path) {
    const std::string boundary = "--" + modHTTP::ExtractSubStr(head, "boundary=", "\r\n");
    return testsupport::Sha256Hex(
        boundary + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" +
        path.substr(path.rfind('/') + 1) + "\"\r\nContent-Type: application/octet-stream\r\n\r\n" +
        testsupport::ReadAll(path) + "\r\n" + boundary + "--\r\n");
}

} // namespace

// The upload arrives byte for byte with Qt's write buffer under 256 KiB whenever the loop looks;
// redirected to another port, it goes again without the credentials.
TEST_F(HttpOverTcp, UploadArrivesByteForByteAndItsRedirectLeavesCredentialsBehind) {
    QTemporaryDir dir;
    const int64_t size = 50 * 1024 * 1024;
    const std::string path = testsupport::WriteRandomFile(dir, "big.dat", size, 11);
    RawServer first, second;
    second.Respond("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    const std::string target = second.BaseUrl() + "target.php?x=1";
    first.Respond("HTTP/1.1 303 See Other\r\nLocation: " + target + "\r\n\r\n");
    http->SetUsername("user");
    http->SetPassword("secret");
    http->AddHeader("Cookie", "PHPSESSID=abc", true);
    http->SetFlags(HttpFlags::FollowRedirects);
    StartUpload(first.BaseUrl() + "upload.php", path);
    int64_t peak = 0;
    ASSERT_TRUE(WaitForCompletion([&] { peak = std::max(peak, socket->BytesQueued()); }));
    EXPECT_EQ(Trace("redirect") + " " + States() + " " + Last("complete").Text,
              target + " 1,2,3,4,5,6,7,-1,1,2,3,4,5,6,7,8 ok");
    EXPECT_EQ(http->BytesSend(), http->RequestHeaderLength() + http->RequestContentLength());
    ASSERT_EQ(first.Connections() * 10 + second.Connections(), 11);
    const std::string& head = second.Requests()[0]->Head;
    EXPECT_EQ(head, http->RequestHeader());
    EXPECT_EQ(head.substr(0, head.find("\r\n")), "POST /target.php?x=1 HTTP/1.1");
    EXPECT_TRUE(head.find("Authorization") == head.find("Cookie")) << "neither: " << head;
    EXPECT_TRUE(HasLine(first.Requests()[0]->Head, "Authorization: Basic dXNlcjpzZWNyZXQ=") &&
                HasLine(first.Requests()[0]->Head, "Cookie: PHPSESSID=abc"));
    for (const auto& got : {first.Requests()[0], second.Requests()[0]}) {
        EXPECT_EQ(got->BodyLength, http->RequestContentLength());
        EXPECT_EQ(got->BodySha256, ExpectedUploadHash(got->Head, path));
    }
    EXPECT_TRUE(peak > 64 * 1024 && peak <= 256 * 1024) << peak;
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
