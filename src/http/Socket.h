#pragma once
// The TCP connection behind clsHTTP. The Qt realisation lives in platform/qt; unit tests use a
// scripted fake. All notifications arrive on the one event-loop thread, never from inside a
// call into the socket, and none follows Close() for that connection.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class Socket {
public:
    virtual ~Socket() = default;

    // Resolves and connects asynchronously: Connected or Error follows. An empty host or a port
    // outside 1..65535 still reports through Error, later, never from inside Connect.
    virtual void Connect(const std::string& host, int32_t port) = 0;
    // Starts TLS (1.2 or newer) on the open connection: Encrypted or Error follows. The peer's
    // certificate must chain to a trusted authority and name `peerName`; there is no way to
    // accept one that does not. Nothing sent before Encrypted is allowed; bytes that arrived
    // before this call must have been read.
    virtual void StartEncryption(const std::string& peerName) = 0;
    // Queues bytes; queued sends go out in order.
    virtual void SendData(std::string_view data) = 0;
    // Every byte that has arrived since the last read.
    virtual std::string GetData() = 0;
    // Closes at once; no notification of this connection follows.
    virtual void Close() = 0;
    // 0 when closed; any other value while resolving, connecting, connected or closing.
    virtual int32_t State() const = 0;
    // Bytes queued by SendData and not yet handed to the network.
    virtual int64_t BytesQueued() const = 0;

    // Notifications, set by the owner.
    std::function<void()> Connected;
    std::function<void()> Encrypted; // the TLS handshake succeeded and the peer is verified
    std::function<void(int64_t bytesTotal)> DataArrival;
    // bytesSent may be 0: queued bytes left (under TLS, after they were counted) and made room.
    std::function<void(int64_t bytesSent, int64_t bytesRemaining)> SendProgress;
    std::function<void()> Closed; // the peer closed the connection (orderly)
    std::function<void(int32_t number, const std::string& description)> Error;
};

// The numbers Error carries for the failures a user tells apart (Qt's numbering, which the Qt
// socket passes on).
namespace SocketErrorNumber {
constexpr int32_t Refused = 0;
constexpr int32_t ClosedByPeer = 1;
constexpr int32_t HostNotFound = 2;
constexpr int32_t TimedOut = 5;
} // namespace SocketErrorNumber

using SocketFactory = std::function<std::unique_ptr<Socket>()>;
