#pragma once
// The socket vostrand-upload hands to the engine: the Qt socket, with what curl's users expect of
// an upload program laid over it.
//   --limit-rate: bytes given to SendData reach the network no faster than the rate; they wait
//     here, and BytesQueued counts them, so the HTTP client's lazy feeding stops at its high-water
//     mark as before and memory stays bounded. Send progress is the network's, so the progress
//     and speed shown stay true.
//   --verbose: the connection, each request line and each status line go to stderr as they
//     happen, with the values of password fields masked (cookies and credentials live in header
//     lines, which are never shown).
#include "http/Socket.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <string>

class CliSocket final : public Socket {
public:
    // rate: bytes per second, 0 for no limit.
    CliSocket(std::unique_ptr<Socket> inner, int64_t rate, bool verbose);
    ~CliSocket() override;

    void Connect(const std::string& host, int32_t port) override;
    void StartEncryption(const std::string& peerName) override;
    void SendData(std::string_view data) override;
    std::string GetData() override;
    void Close() override;
    int32_t State() const override { return m_Inner->State(); }
    int64_t BytesQueued() const override;

    // A request or status line as --verbose shows it: the values of query fields whose name
    // holds "pass" become "***".
    static std::string MaskLine(const std::string& line);

private:
    void Release();
    void Say(const std::string& text) const;

    std::unique_ptr<Socket> m_Inner;
    int64_t m_Rate;
    bool m_Verbose;
    std::string m_Waiting; // sent by the client, not yet given to the network
    double m_Budget = 0;   // bytes the rate allows now
    QElapsedTimer m_Clock;
    QTimer m_Timer;
    std::string m_Where;      // host:port of the connection
    bool m_HeadNext = false;  // the next send starts a request
    std::string m_StatusLine; // the answer's first line, while it arrives
    bool m_StatusDone = false;
};

// Makes CliSockets over the sockets of inner (the Qt sockets, with their trust for https).
SocketFactory CliSocketFactory(SocketFactory inner, int64_t rate, bool verbose);
