// The shared test fixtures carry every integration test, so their own faults are caught here
// with plain sockets and programs, independent of the client code.
#include "support/ChildProcess.h"
#include "support/FreePort.h"
#include "support/ScriptedServer.h"
#include "support/ServiceProcess.h"
#include "support/TempDir.h"
#include "support/Tinyproxy.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <regex>

using namespace testsupport;

namespace {

// A blocking loopback client: connect, send, read until the server closes.
class PlainClient {
public:
    explicit PlainClient(int32_t port) {
        m_Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<uint16_t>(port));
        m_Connected = ::connect(m_Fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    }
    ~PlainClient() { ::close(m_Fd); }
    bool Connected() const { return m_Connected; }
    bool Send(const std::string& data) {
        std::size_t sent = 0;
        while (sent < data.size()) {
            const ssize_t rc = ::send(m_Fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            if (rc <= 0)
                return false;
            sent += static_cast<std::size_t>(rc);
        }
        return true;
    }
    // Everything until end of stream; LastError() tells a reset from an orderly close.
    std::string ReadAll() {
        std::string all;
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::recv(m_Fd, buffer, sizeof(buffer), 0);
            if (got > 0) {
                all.append(buffer, static_cast<std::size_t>(got));
                continue;
            }
            m_LastError = got < 0 ? errno : 0;
            return all;
        }
    }
    int LastError() const { return m_LastError; }

private:
    int m_Fd = -1;
    bool m_Connected = false;
    int m_LastError = 0;
};

const std::string OkResponse = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhi";

} // namespace

TEST(ScriptedServer, RecordsRequestWithBodyAndSendsResponse) {
    ScriptedServer server;
    ASSERT_NE(server.Port(), 0);
    server.Respond(OkResponse);

    PlainClient client(server.Port());
    ASSERT_TRUE(client.Connected());
    const std::string head = "POST /up HTTP/1.1\r\nHost: x\r\ncontent-length: 5\r\n\r\n";
    // Sent in two pieces: the server must wait for the whole declared body.
    ASSERT_TRUE(client.Send(head + "ab"));
    ASSERT_TRUE(client.Send("cde"));
    EXPECT_EQ(client.ReadAll(), OkResponse);
    EXPECT_EQ(client.LastError(), 0);

    ASSERT_TRUE(server.WaitForFinished(1, 10000));
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Head(), head);
    EXPECT_EQ(requests[0].Body(), "abcde");
    EXPECT_EQ(requests[0].BodyLength, 5);
    EXPECT_EQ(requests[0].BodySha256, Sha256("abcde"));
    EXPECT_EQ(requests[0].Sha256, Sha256(head + "abcde"));
    EXPECT_FALSE(requests[0].Truncated);
}

TEST(ScriptedServer, PlaysScriptsInOrderThenRepeats) {
    ScriptedServer server;
    server.Add({Step::ReadUntil("\r\n\r\n"), Step::Send("first"), Step::Close()});
    server.Repeat({Step::ReadUntil("\r\n\r\n"), Step::Send("again")});
    for (const char* expected : {"first", "again", "again"}) {
        PlainClient client(server.Port());
        ASSERT_TRUE(client.Send("GET / HTTP/1.0\r\n\r\n"));
        EXPECT_EQ(client.ReadAll(), expected);
    }
    EXPECT_TRUE(server.WaitForFinished(3, 10000));
    EXPECT_EQ(server.ConnectionCount(), 3);
}

TEST(ScriptedServer, ResetReachesTheClientAsConnectionReset) {
    ScriptedServer server;
    server.Add({Step::ReadUntil("\r\n\r\n"), Step::Send("partial"), Step::Reset()});
    PlainClient client(server.Port());
    ASSERT_TRUE(client.Send("GET / HTTP/1.1\r\n\r\n"));
    client.ReadAll();
    EXPECT_EQ(client.LastError(), ECONNRESET);
}

TEST(ScriptedServer, LargeBodyIsCountedHashedAndSpooledBeyondMemoryLimit) {
    TempDir dir;
    ScriptedServer server;
    server.SetMemoryLimit(64 * 1024);
    server.SetRecordFolder(dir.Path());
    server.Respond(OkResponse);

    std::string body(3 * 1024 * 1024 + 7, '\0');
    for (std::size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>((i * 131) >> 3);
    const std::string head =
        "POST / HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    PlainClient client(server.Port());
    ASSERT_TRUE(client.Send(head + body));
    EXPECT_EQ(client.ReadAll(), OkResponse);

    ASSERT_TRUE(server.WaitForFinished(1, 10000));
    const Connection c = server.Requests().at(0);
    EXPECT_TRUE(c.Truncated);
    EXPECT_EQ(c.Received.size(), 64u * 1024);
    EXPECT_EQ(c.ReceivedLength, static_cast<int64_t>(head.size() + body.size()));
    EXPECT_EQ(c.BodyLength, static_cast<int64_t>(body.size()));
    EXPECT_EQ(c.BodySha256, Sha256(body));
    EXPECT_EQ(FileSha256(c.File), Sha256(head + body));
}

TEST(ScriptedServer, StopEndsAHangingConnection) {
    auto server = std::make_unique<ScriptedServer>();
    server->Add({Step::Hang()});
    PlainClient client(server->Port());
    ASSERT_TRUE(client.Send("GET / HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(server->WaitForConnections(1, 10000));
    server->Stop(); // must not wait for the client
    EXPECT_EQ(client.ReadAll(), "");
    const auto requests = server->Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].Finished);
    server.reset();
}

TEST(ChildProcess, ReadsLinesPassesEnvironmentAndReportsExitCode) {
    ChildProcess child;
    ASSERT_TRUE(child.Start("/bin/sh", {"-c", "echo one; echo \"$FIXTURE_VALUE\"; exit 3"},
                            {"FIXTURE_VALUE=two words"}));
    EXPECT_EQ(child.ReadLine(10000), "one");
    EXPECT_EQ(child.ReadLine(10000), "two words");
    EXPECT_EQ(child.ReadLine(10000), std::nullopt); // output ended
    EXPECT_EQ(child.Wait(10000), 3);
}

TEST(ChildProcess, SignalEndsTheProgramAndMissingProgramFailsToStart) {
    ChildProcess child;
    ASSERT_TRUE(child.Start("sleep", {"100"}));
    EXPECT_TRUE(child.Running());
    EXPECT_TRUE(child.Signal(SIGTERM));
    EXPECT_EQ(child.Wait(10000), 128 + SIGTERM);
    EXPECT_FALSE(child.Running());

    ChildProcess missing;
    EXPECT_FALSE(missing.Start("/nonexistent/program", {}));
}

TEST(TempDir, WritesFilesAndRemovesEverythingIncludingReadOnlyEntries) {
    std::string path;
    {
        TempDir dir;
        path = dir.Path();
        ASSERT_FALSE(path.empty());
        const std::string file = dir.WriteFile("a.txt", "abc");
        EXPECT_EQ(ReadFile(file), "abc");
        EXPECT_EQ(FileSha256(file),
                  "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        const std::string random1 = dir.WriteRandomFile("r1", 100000, 7);
        const std::string random2 = dir.WriteRandomFile("r2", 100000, 7);
        EXPECT_EQ(std::filesystem::file_size(random1), 100000u);
        EXPECT_EQ(FileSha256(random1), FileSha256(random2));
        std::filesystem::create_directory(dir.FilePath("sub"));
        dir.WriteFile("sub/locked", "x");
        std::filesystem::permissions(dir.FilePath("sub"), std::filesystem::perms::owner_read |
                                                              std::filesystem::perms::owner_exec);
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(Tinyproxy, ForwardsPlainHttpAndEnforcesBasicAuth) {
    ScriptedServer server;
    server.Respond(OkResponse);
    const std::string target = "http://127.0.0.1:" + std::to_string(server.Port()) + "/x";

    Tinyproxy proxy("user", "secret");
    ASSERT_TRUE(proxy.Ok()) << proxy.Log();
    {
        PlainClient client(proxy.Port());
        ASSERT_TRUE(client.Send("GET " + target + " HTTP/1.0\r\n\r\n"));
        EXPECT_EQ(client.ReadAll().substr(8, 4), " 407");
    }
    {
        PlainClient client(proxy.Port());
        // dXNlcjpzZWNyZXQ= is user:secret
        ASSERT_TRUE(client.Send(
            "GET " + target + " HTTP/1.0\r\nProxy-Authorization: Basic dXNlcjpzZWNyZXQ=\r\n\r\n"));
        const std::string answer = client.ReadAll();
        EXPECT_EQ(answer.substr(8, 4), " 200") << answer;
        EXPECT_EQ(answer.substr(answer.size() - 2), "hi");
    }
    ASSERT_TRUE(server.WaitForFinished(1, 10000));
    EXPECT_EQ(server.Requests().at(0).Head().substr(0, 12), "GET /x HTTP/");
}

TEST(ServiceProcess, StartsOnAFreePortAndStops) {
    ServiceProcess service;
    ASSERT_TRUE(service.Ok()) << "is vostrand-service built in " VOSTRAND_BIN_DIR "? "
                              << service.Output();
    EXPECT_TRUE(std::regex_match(service.BaseUrl(), std::regex(R"(http://127\.0\.0\.1:\d+/)")))
        << service.BaseUrl();
    EXPECT_EQ(service.BaseUrl(), "http://127.0.0.1:" + std::to_string(service.Port()) + "/");
    EXPECT_TRUE(WaitForPort(service.Port(), 5000));
    EXPECT_TRUE(std::filesystem::is_directory(service.Storage()));
    service.Stop();
    EXPECT_FALSE(service.Process().Running());
    EXPECT_TRUE(service.Process().ExitCode().has_value());
}

TEST(ServiceProcess, ABadStartIsReportedAndLeavesNoProcess) {
    ServiceProcess service({"--no-such-option"});
    EXPECT_FALSE(service.Ok());
    EXPECT_EQ(service.BaseUrl(), "");
    EXPECT_FALSE(service.Process().Running());
}
