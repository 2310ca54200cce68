// Faults of the shared test fixtures that would let a client fault pass unnoticed, or leave
// garbage behind, caught here with plain sockets, independent of the client code.
#include "support/FreePort.h"
#include "support/ScriptedServer.h"
#include "support/ServiceProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

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
        EXPECT_EQ(::connect(m_Fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    }
    ~PlainClient() { ::close(m_Fd); }
    bool Send(const std::string& data) {
        return ::send(m_Fd, data.data(), data.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(data.size());
    }
    // Everything until end of stream; LastError tells a reset from an orderly close.
    std::string ReadAll() {
        std::string all;
        char buffer[4096];
        ssize_t got;
        while ((got = ::recv(m_Fd, buffer, sizeof(buffer), 0)) > 0)
            all.append(buffer, static_cast<std::size_t>(got));
        LastError = got < 0 ? errno : 0;
        return all;
    }
    int LastError = 0;

private:
    int m_Fd = -1;
};

} // namespace

TEST(ScriptedServer, RecordsRequestWithBodyAndSendsResponse) {
    const std::string response = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhi";
    ScriptedServer server;
    server.Respond(response);
    PlainClient client(server.Port());
    const std::string head = "POST /up HTTP/1.1\r\nHost: x\r\ncontent-length: 5\r\n\r\n";
    // Sent in two pieces: the server must wait for the whole declared body.
    ASSERT_TRUE(client.Send(head + "ab"));
    ASSERT_TRUE(client.Send("cde"));
    EXPECT_EQ(client.ReadAll(), response);
    EXPECT_EQ(client.LastError, 0);

    ASSERT_TRUE(server.WaitForFinished(1, 10000));
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Head(), head);
    EXPECT_EQ(requests[0].Body(), "abcde");
    EXPECT_EQ(requests[0].BodyLength, 5);
    EXPECT_EQ(requests[0].BodySha256, Sha256("abcde"));
    EXPECT_EQ(requests[0].Sha256, Sha256(head + "abcde"));
}

// Without a real reset the tests of a server failing mid-upload would only test an orderly close.
TEST(ScriptedServer, ResetReachesTheClientAsConnectionReset) {
    ScriptedServer server;
    server.Add({Step::ReadUntil("\r\n\r\n"), Step::Send("partial"), Step::Reset()});
    PlainClient client(server.Port());
    ASSERT_TRUE(client.Send("GET / HTTP/1.1\r\n\r\n"));
    client.ReadAll();
    EXPECT_EQ(client.LastError, ECONNRESET);
}

// The hashes compare uploads with their files: a broken one would make those checks vacuous.
TEST(TempDir, HashesAndRemovesEverythingIncludingReadOnlyEntries) {
    namespace fs = std::filesystem;
    std::string path;
    {
        TempDir dir;
        path = dir.Path();
        const std::string file = dir.WriteFile("a.txt", "abc");
        EXPECT_EQ(ReadFile(file), "abc");
        EXPECT_EQ(FileSha256(file),
                  "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        EXPECT_EQ(Sha256("abc"), FileSha256(file));
        EXPECT_EQ(fs::file_size(dir.WriteRandomFile("r", 100000, 7)), 100000u);
        fs::create_directory(dir.FilePath("sub"));
        dir.WriteFile("sub/locked", "x");
        fs::permissions(dir.FilePath("sub"), fs::perms::owner_read | fs::perms::owner_exec);
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(ServiceProcess, StartsOnAFreePortAndStopsOrReportsABadStart) {
    ServiceProcess service;
    ASSERT_TRUE(service.Ok()) << "is vostrand-service built in " VOSTRAND_BIN_DIR "? "
                              << service.Output();
    EXPECT_EQ(service.BaseUrl(), "http://127.0.0.1:" + std::to_string(service.Port()) + "/");
    EXPECT_TRUE(WaitForPort(service.Port(), 5000));
    EXPECT_TRUE(std::filesystem::is_directory(service.Storage()));
    service.Stop();
    EXPECT_FALSE(service.Process().Running());
    EXPECT_TRUE(service.Process().ExitCode().has_value());

    ServiceProcess bad({"--no-such-option"});
    EXPECT_FALSE(bad.Ok());
    EXPECT_EQ(bad.BaseUrl(), "");
    EXPECT_FALSE(bad.Process().Running());
}
