#pragma once
// The Socket of the core over QTcpSocket. Lives on the thread of the Qt event loop that drives
// it. Each Connect makes a fresh QTcpSocket; Close aborts it and cuts every signal, so nothing of
// a closed connection reaches the owner.
#include "http/Socket.h"

#include <QObject>
#include <QPointer>
#include <QTcpSocket>

class QtSocket final : public Socket {
public:
    QtSocket();
    ~QtSocket() override;
    QtSocket(const QtSocket&) = delete;
    QtSocket& operator=(const QtSocket&) = delete;

    void Connect(const std::string& host, int32_t port) override;
    void SendData(std::string_view data) override;
    std::string GetData() override;
    void Close() override;
    int32_t State() const override;
    int64_t BytesQueued() const override;

private:
    void OnConnected(uint64_t generation);
    void OnReadyRead(uint64_t generation);
    void OnBytesWritten(uint64_t generation, qint64 bytes);
    void OnError(uint64_t generation, QAbstractSocket::SocketError error);
    void OnDisconnected(uint64_t generation);
    void ReportClosed(uint64_t generation);
    // Runs now, or on the next turn of the event loop when Qt signalled from inside one of our
    // own calls (connectToHost may fail synchronously).
    void Deliver(uint64_t generation, std::function<void()> notify);
    bool Current(uint64_t generation) const { return generation == m_Generation && m_Socket; }

    QObject m_Context; // receiver of every connection to the current QTcpSocket
    QPointer<QTcpSocket> m_Socket;
    uint64_t m_Generation = 0;
    int m_InCall = 0;
    bool m_PendingFailure = false;
    bool m_ClosedReported = false;
    bool m_ReceivedAny = false; // this connection has handed over response bytes
};

// Makes QtSockets; what the programs hand to their clsHTTP owners.
SocketFactory QtSocketFactory();
