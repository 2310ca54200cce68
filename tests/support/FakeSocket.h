#pragma once
// A scripted Socket for byte-exact unit tests of clsHTTP and its owners.
//
// The test plays the network: it accepts the connection, feeds response bytes, lets the network
// drain queued bytes (raising SendProgress), closes or fails the connection. Every SendData is
// recorded in order. The notifications are raised synchronously from these test calls, never
// from inside a call of the client, as the Socket contract promises.
//
//     auto socket = std::make_unique<testsupport::FakeSocket>();
//     testsupport::FakeSocket& net = *socket;
//     clsHTTP http(std::move(socket));
//     ... http.Submit(); net.Accept(); net.DrainAll(); net.Feed("HTTP/1.1 200 OK\r\n\r\n");
//     net.PeerClose();
#include "http/Socket.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class FakeSocket : public Socket {
public:
    // Socket states as the client may see them.
    static constexpr int32_t StateClosed = 0;
    static constexpr int32_t StateConnecting = 6;
    static constexpr int32_t StateConnected = 7;
    static constexpr int32_t StatePeerClosing = 8;
    static constexpr int32_t StateError = 9;

    // --- Socket -----------------------------------------------------------------------------
    void Connect(const std::string& host, int32_t port) override;
    void StartEncryption(const std::string& peerName) override;
    void SendData(std::string_view data) override;
    std::string GetData() override;
    void Close() override;
    int32_t State() const override { return m_State; }
    int64_t BytesQueued() const override { return m_Queued; }

    // --- the network side, driven by the test -------------------------------------------------
    // The connection opens: raises Connected.
    void Accept();
    // The TLS handshake the client asked for succeeds: raises Encrypted. A failed one is Fail().
    void Secure();
    // Bytes arrive: raises DataArrival with the number of bytes now pending.
    void Feed(const std::string& bytes);
    // The network takes up to count queued bytes: raises SendProgress(taken, still queued).
    // Returns the bytes taken (0, raising nothing, when nothing was queued).
    int64_t Drain(int64_t count);
    // Drains in steps of DrainStep() until nothing is queued, the client keeps refilling from
    // SendProgress meanwhile. Stops when the connection is closed.
    void DrainAll();
    void SetDrainStep(int64_t bytes) { m_DrainStep = bytes; }
    int64_t DrainStep() const { return m_DrainStep; }
    // The peer closes in order: raises Closed.
    void PeerClose();
    // A socket failure: raises Error. Raised even after Close() when force is true, to check
    // that the client ignores a late one.
    void Fail(int32_t number, const std::string& description, bool force = false);
    // A Connect to an empty host or a port outside 1..65535 fails later, as the contract says;
    // this raises that pending failure. True when there was one.
    bool DeliverPendingFailure();

    // --- what the client did ------------------------------------------------------------------
    const std::string& Host() const { return m_Host; }
    int32_t Port() const { return m_Port; }
    int32_t ConnectCount() const { return m_ConnectCount; }
    int32_t CloseCount() const { return m_CloseCount; }
    // The name the client asked the certificate to carry ("" while no TLS was asked for), and how
    // many sends it made before asking: the tunnel's first bytes are Sends()[SendsBeforeTls()].
    const std::string& TlsPeerName() const { return m_TlsPeerName; }
    std::size_t SendsBeforeTls() const { return m_SendsBeforeTls; }
    bool IsEncrypted() const { return m_Encrypted; }
    // Every SendData in order, and all of them joined. With SetRecordSends(false) only the sizes
    // are kept, for large uploads.
    const std::vector<std::string>& Sends() const { return m_Sends; }
    const std::vector<int64_t>& SendSizes() const { return m_SendSizes; }
    std::string Sent() const;
    void SetRecordSends(bool record) { m_RecordSends = record; }
    int64_t SentTotal() const { return m_SentTotal; }
    // The most bytes ever queued at once.
    int64_t PeakQueued() const { return m_PeakQueued; }
    // Sends made while the connection was not open or was between TLS asked and TLS done (a
    // client fault).
    int32_t SendsWhileNotConnected() const { return m_SendsWhileNotConnected; }
    // Forget the recorded sends (e.g. between two requests on one object).
    void ClearRecord();

private:
    int32_t m_State = StateClosed;
    std::string m_Host;
    int32_t m_Port = 0;
    bool m_PendingFailure = false;
    std::string m_TlsPeerName;
    std::size_t m_SendsBeforeTls = 0;
    bool m_Encrypted = false;
    bool m_Handshaking = false;
    int32_t m_ConnectCount = 0;
    int32_t m_CloseCount = 0;
    std::string m_Incoming;
    int64_t m_Queued = 0;
    int64_t m_PeakQueued = 0;
    int64_t m_SentTotal = 0;
    int64_t m_DrainStep = 4096;
    bool m_RecordSends = true;
    std::vector<std::string> m_Sends;
    std::vector<int64_t> m_SendSizes;
    int32_t m_SendsWhileNotConnected = 0;
};

// A SocketFactory handing out FakeSockets; each one made is also appended to *made, which must
// outlive the factory's use (the client owns the socket itself).
SocketFactory FakeSocketFactory(std::vector<FakeSocket*>* made);

} // namespace testsupport
