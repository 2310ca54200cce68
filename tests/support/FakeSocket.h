#pragma once
// A scripted Socket for byte-exact unit tests of clsHTTP and its owners: the test plays the
// network (accepts, feeds answers, drains what was queued, closes or fails), and every SendData is
// recorded. Notifications come from these test calls, never from inside a call of the client, as
// the Socket contract promises.
#include "http/Socket.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class FakeSocket : public Socket {
public:
    static constexpr int32_t StateClosed = 0;
    static constexpr int32_t StateConnecting = 6;
    static constexpr int32_t StateConnected = 7;
    static constexpr int32_t StatePeerClosing = 8;
    static constexpr int32_t StateError = 9;

    void Connect(const std::string& host, int32_t port) override;
    void StartEncryption(const std::string& peerName) override;
    void SendData(std::string_view data) override;
    std::string GetData() override;
    void Close() override;
    int32_t State() const override { return m_State; }
    int64_t BytesQueued() const override { return m_Queued; }

    // The network side. A connect to no host, or to a port outside 1..65535, never opens: Accept
    // raises its failure instead.
    void Accept();
    void Secure(); // the TLS handshake succeeds
    void Feed(const std::string& bytes);
    // The network takes up to count queued bytes (raising SendProgress); the bytes taken.
    int64_t Drain(int64_t count);
    // Drains until nothing is queued while the client refills from SendProgress.
    void DrainAll();
    void SetDrainStep(int64_t bytes) { m_DrainStep = bytes; }
    void PeerClose();
    // With force, raised even after Close(), to check that the client ignores a late one.
    void Fail(int32_t number, const std::string& description, bool force = false);
    bool DeliverPendingFailure();

    // What the client did.
    const std::string& Host() const { return m_Host; }
    int32_t Port() const { return m_Port; }
    int32_t ConnectCount() const { return m_ConnectCount; }
    // The name the certificate must carry, and how many sends came before TLS was asked for.
    const std::string& TlsPeerName() const { return m_TlsPeerName; }
    std::size_t SendsBeforeTls() const { return m_SendsBeforeTls; }
    const std::vector<std::string>& Sends() const { return m_Sends; }
    std::string Sent() const;
    int64_t SentTotal() const { return m_SentTotal; }
    int64_t PeakQueued() const { return m_PeakQueued; }
    // Sends while not connected, or between TLS asked and TLS done: a client fault.
    int32_t SendsWhileNotConnected() const { return m_SendsWhileNotConnected; }
    void ClearRecord();

private:
    int32_t m_State = StateClosed;
    std::string m_Host;
    int32_t m_Port = 0;
    bool m_PendingFailure = false;
    std::string m_TlsPeerName;
    std::size_t m_SendsBeforeTls = 0;
    bool m_Handshaking = false;
    int32_t m_ConnectCount = 0;
    std::string m_Incoming;
    int64_t m_Queued = 0;
    int64_t m_PeakQueued = 0;
    int64_t m_SentTotal = 0;
    int64_t m_DrainStep = 4096;
    std::vector<std::string> m_Sends;
    int32_t m_SendsWhileNotConnected = 0;
};

// Hands out FakeSockets, each also appended to *made, which must outlive the factory's use.
SocketFactory FakeSocketFactory(std::vector<FakeSocket*>* made);

} // namespace testsupport
