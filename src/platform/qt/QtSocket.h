#pragma once
// The Socket of the core over QSslSocket. Lives on the thread of the Qt event loop that drives
// it. Each Connect makes a fresh socket; Close aborts it and cuts every signal, so nothing of a
// closed connection reaches the owner. TLS trusts the system's authorities plus the ones handed
// in, and always verifies the peer: a certificate error fails the handshake through Error, with
// the host and the reason in the description.
#include "http/Socket.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QSslError>
#include <QSslSocket>
#include <QTimer>

#include <memory>
#include <optional>

class QtSocket final : public Socket {
public:
    // The authorities trusted beside the system's; shared by the sockets of one factory.
    struct Trust {
        QList<QSslCertificate> Extra;
        std::optional<QList<QSslCertificate>> All; // the system's and Extra, once read
    };

    explicit QtSocket(QList<QSslCertificate> extraAuthorities = {});
    explicit QtSocket(std::shared_ptr<Trust> trust);
    ~QtSocket() override;
    QtSocket(const QtSocket&) = delete;
    QtSocket& operator=(const QtSocket&) = delete;

    void Connect(const std::string& host, int32_t port) override;
    void StartEncryption(const std::string& peerName) override;
    void SendData(std::string_view data) override;
    std::string GetData() override;
    void Close() override;
    int32_t State() const override;
    int64_t BytesQueued() const override;

private:
    void Init();
    void OnConnected(uint64_t generation);
    void OnEncrypted(uint64_t generation);
    void OnEncryptedBytesWritten(uint64_t generation);
    void Drain();
    void WriteOutgoing();
    void OnSslErrors(uint64_t generation, const QList<QSslError>& errors);
    void OnReadyRead(uint64_t generation);
    void OnBytesWritten(uint64_t generation, qint64 bytes);
    void OnError(uint64_t generation, QAbstractSocket::SocketError error);
    void OnDisconnected(uint64_t generation);
    void ReportClosed(uint64_t generation);
    // Runs now, or on the next turn of the event loop when Qt signalled from inside one of our
    // own calls (connectToHost may fail synchronously).
    void Deliver(uint64_t generation, std::function<void()> notify);
    bool Current(uint64_t generation) const { return generation == m_Generation && m_Socket; }

    static constexpr int DrainRetryMs = 1;
    static constexpr qsizetype TlsRecordSize = 16384;
    static constexpr qsizetype TlsInFlight = 8 * TlsRecordSize; // handed to Qt, not yet sent

    QObject m_Context;     // receiver of every connection to the current socket
    QTimer m_Drain;        // pushes encrypted bytes out while any wait
    QByteArray m_Outgoing; // sends under TLS, not yet handed to the socket from m_OutgoingPos
    qsizetype m_OutgoingPos = 0;
    QPointer<QSslSocket> m_Socket;
    std::shared_ptr<Trust> m_Trust;
    std::string m_PeerName;   // the name the certificate must carry, once TLS was asked for
    std::string m_TlsRefusal; // why the peer's certificate was refused
    uint64_t m_Generation = 0;
    int m_InCall = 0;
    bool m_PendingFailure = false;
    bool m_ClosedReported = false;
    bool m_ReceivedAny = false; // this connection has handed over response bytes
};

// Makes QtSockets; what the programs hand to their clsHTTP owners. extraAuthorities are trusted
// beside the system's (a private service's own authority).
SocketFactory QtSocketFactory(QList<QSslCertificate> extraAuthorities = {});

// The certificates of a PEM file of authorities; false with a message naming the file when it
// cannot be read or holds none.
bool ReadCaFile(const std::string& path, QList<QSslCertificate>& certificates, std::string& error);
