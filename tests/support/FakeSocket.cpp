#include "FakeSocket.h"

#include <algorithm>

namespace testsupport {

void FakeSocket::Connect(const std::string& host, int32_t port) {
    m_Host = host;
    m_Port = port;
    ++m_ConnectCount;
    m_Incoming.clear();
    m_Queued = 0;
    m_State = StateConnecting;
    m_PendingFailure = host.empty() || port < 1 || port > 65535;
    m_TlsPeerName.clear();
    m_SendsBeforeTls = 0;
    m_Handshaking = false;
}

void FakeSocket::StartEncryption(const std::string& peerName) {
    m_TlsPeerName = peerName;
    m_SendsBeforeTls = m_Sends.size();
    m_Handshaking = true;
}

void FakeSocket::Secure() {
    m_Handshaking = false;
    if (Encrypted)
        Encrypted();
}

void FakeSocket::SendData(std::string_view data) {
    if (m_State != StateConnected || m_Handshaking)
        ++m_SendsWhileNotConnected;
    m_Sends.emplace_back(data);
    m_SentTotal += static_cast<int64_t>(data.size());
    m_Queued += static_cast<int64_t>(data.size());
    m_PeakQueued = std::max(m_PeakQueued, m_Queued);
}

std::string FakeSocket::GetData() {
    std::string data;
    data.swap(m_Incoming);
    return data;
}

void FakeSocket::Close() {
    m_State = StateClosed;
    m_Handshaking = false;
    m_PendingFailure = false;
    m_Incoming.clear();
    m_Queued = 0;
}

void FakeSocket::Accept() {
    if (DeliverPendingFailure())
        return;
    m_State = StateConnected;
    m_PendingFailure = false;
    if (Connected)
        Connected();
}

void FakeSocket::Feed(const std::string& bytes) {
    m_Incoming += bytes;
    if (DataArrival)
        DataArrival(static_cast<int64_t>(m_Incoming.size()));
}

int64_t FakeSocket::Drain(int64_t count) {
    const int64_t taken = std::min(count, m_Queued);
    if (taken <= 0)
        return 0;
    m_Queued -= taken;
    if (SendProgress)
        SendProgress(taken, m_Queued);
    return taken;
}

void FakeSocket::DrainAll() {
    while (m_State != StateClosed && Drain(m_DrainStep) > 0) {
    }
}

void FakeSocket::PeerClose() {
    if (m_State != StateClosed)
        m_State = StatePeerClosing;
    if (Closed)
        Closed();
}

void FakeSocket::Fail(int32_t number, const std::string& description, bool force) {
    if (m_State == StateClosed && !force)
        return;
    if (m_State != StateClosed)
        m_State = StateError;
    if (Error)
        Error(number, description);
}

bool FakeSocket::DeliverPendingFailure() {
    if (!m_PendingFailure)
        return false;
    m_PendingFailure = false;
    m_State = StateError;
    if (Error)
        Error(11001, "Host not found");
    return true;
}

std::string FakeSocket::Sent() const {
    std::string all;
    for (const std::string& piece : m_Sends)
        all += piece;
    return all;
}

void FakeSocket::ClearRecord() {
    m_Sends.clear();
    m_SentTotal = 0;
    m_PeakQueued = m_Queued;
    m_SendsWhileNotConnected = 0;
}

SocketFactory FakeSocketFactory(std::vector<FakeSocket*>* made) {
    return [made]() -> std::unique_ptr<Socket> {
        auto socket = std::make_unique<FakeSocket>();
        if (made)
            made->push_back(socket.get());
        return socket;
    };
}

} // namespace testsupport
