#include "platform/qt/QtSocket.h"

#include <QFile>
#include <QSslConfiguration>
#include <QTimer>
#include <algorithm>

namespace {
// Guards the owner-facing calls so that signals Qt emits synchronously inside them are deferred.
struct CallGuard {
    explicit CallGuard(int& depth) : m_Depth(depth) { ++m_Depth; }
    ~CallGuard() { --m_Depth; }
    int& m_Depth;
};
} // namespace

QtSocket::QtSocket(QList<QSslCertificate> extraAuthorities) : m_Trust(std::make_shared<Trust>()) {
    m_Trust->Extra = std::move(extraAuthorities);
    Init();
}

QtSocket::QtSocket(std::shared_ptr<Trust> trust) : m_Trust(std::move(trust)) {
    Init();
}

void QtSocket::Init() {
    m_Drain.setSingleShot(true);
    QObject::connect(&m_Drain, &QTimer::timeout, &m_Context, [this] { Drain(); });
}

QtSocket::~QtSocket() {
    Connected = nullptr;
    DataArrival = nullptr;
    SendProgress = nullptr;
    Closed = nullptr;
    Error = nullptr;
    Close();
}

void QtSocket::Connect(const std::string& host, int32_t port) {
    CallGuard guard(m_InCall);
    Close();
    const uint64_t generation = ++m_Generation;
    m_ClosedReported = false;
    m_ReceivedAny = false;
    m_PeerName.clear();
    m_TlsRefusal.clear();
    m_Socket = new QSslSocket();
    QSslSocket* socket = m_Socket;
    QObject::connect(socket, &QTcpSocket::connected, &m_Context,
                     [this, generation] { OnConnected(generation); });
    QObject::connect(socket, &QSslSocket::encrypted, &m_Context,
                     [this, generation] { OnEncrypted(generation); });
    QObject::connect(
        socket, &QSslSocket::sslErrors, &m_Context,
        [this, generation](const QList<QSslError>& errors) { OnSslErrors(generation, errors); });
    QObject::connect(socket, &QTcpSocket::readyRead, &m_Context,
                     [this, generation] { OnReadyRead(generation); });
    QObject::connect(socket, &QTcpSocket::bytesWritten, &m_Context,
                     [this, generation](qint64 bytes) { OnBytesWritten(generation, bytes); });
    QObject::connect(
        socket, &QTcpSocket::errorOccurred, &m_Context,
        [this, generation](QAbstractSocket::SocketError error) { OnError(generation, error); });
    QObject::connect(socket, &QTcpSocket::disconnected, &m_Context,
                     [this, generation] { OnDisconnected(generation); });

    if (host.empty() || port < 1 || port > 65535) {
        // Never reported from inside Connect: the owner is still setting up.
        m_PendingFailure = true;
        const bool noHost = host.empty();
        QTimer::singleShot(0, &m_Context, [this, generation, noHost] {
            if (!Current(generation) || !m_PendingFailure)
                return;
            m_PendingFailure = false;
            if (Error) {
                if (noHost)
                    Error(static_cast<int32_t>(QAbstractSocket::HostNotFoundError),
                          "Host not found");
                else
                    Error(static_cast<int32_t>(QAbstractSocket::UnsupportedSocketOperationError),
                          "Invalid port");
            }
        });
        return;
    }
    // A URL writes an IPv6 address in brackets; the resolver takes it bare.
    QString name = QString::fromStdString(host);
    if (name.size() > 2 && name.startsWith(u'[') && name.endsWith(u']'))
        name = name.mid(1, name.size() - 2);
    socket->connectToHost(name, static_cast<quint16>(port));
}

void QtSocket::StartEncryption(const std::string& peerName) {
    CallGuard guard(m_InCall);
    if (!m_Socket)
        return;
    QString name = QString::fromStdString(peerName);
    if (name.size() > 2 && name.startsWith(u'[') && name.endsWith(u']'))
        name = name.mid(1, name.size() - 2);
    m_PeerName = name.toStdString();
    if (!QSslSocket::supportsSsl()) {
        const uint64_t generation = m_Generation;
        m_ClosedReported = true;
        Deliver(generation, [this] {
            if (Error)
                Error(static_cast<int32_t>(QAbstractSocket::SslInternalError),
                      "TLS is not available on this system");
        });
        return;
    }
    QSslConfiguration config = m_Socket->sslConfiguration();
    config.setProtocol(QSsl::TlsV1_2OrLater);
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!m_Trust->Extra.isEmpty()) {
        // Adding authorities turns off the lazy loading of the system's, so both are named.
        // Reading the system's is costly: once for every socket of one factory.
        if (!m_Trust->All) {
            m_Trust->All = QSslConfiguration::systemCaCertificates();
            *m_Trust->All += m_Trust->Extra;
        }
        config.setCaCertificates(*m_Trust->All);
    }
    m_Socket->setSslConfiguration(config);
    m_Socket->setPeerVerifyName(name);
    m_Socket->startClientEncryption();
}

void QtSocket::SendData(std::string_view data) {
    CallGuard guard(m_InCall);
    if (!m_Socket || data.empty())
        return;
    if (!m_Socket->isEncrypted()) {
        m_Socket->write(data.data(), static_cast<qint64>(data.size()));
        return;
    }
    // Kept here and handed to TLS a record at a time: Qt encrypts all it holds in one go into
    // fresh buffers of that size, which costs more than the encryption itself.
    m_Outgoing.append(data.data(), static_cast<qsizetype>(data.size()));
    WriteOutgoing();
}

void QtSocket::WriteOutgoing() {
    while (m_Socket && m_OutgoingPos < m_Outgoing.size() &&
           m_Socket->bytesToWrite() + m_Socket->encryptedBytesToWrite() < TlsInFlight) {
        const qsizetype count = std::min(TlsRecordSize, m_Outgoing.size() - m_OutgoingPos);
        m_Socket->write(m_Outgoing.constData() + m_OutgoingPos, count);
        m_OutgoingPos += count;
    }
    if (m_OutgoingPos == m_Outgoing.size()) {
        m_Outgoing.resize(0);
        m_OutgoingPos = 0;
    } else if (m_OutgoingPos >= TlsInFlight) {
        m_Outgoing.remove(0, m_OutgoingPos);
        m_OutgoingPos = 0;
    }
    if (m_Socket && m_OutgoingPos < m_Outgoing.size() && !m_Drain.isActive())
        m_Drain.start(0);
}

std::string QtSocket::GetData() {
    if (!m_Socket)
        return {};
    const QByteArray bytes = m_Socket->readAll();
    if (!bytes.isEmpty())
        m_ReceivedAny = true;
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void QtSocket::Close() {
    CallGuard guard(m_InCall);
    ++m_Generation;
    m_PendingFailure = false;
    m_Drain.stop();
    m_Outgoing.clear();
    m_OutgoingPos = 0;
    if (!m_Socket)
        return;
    QSslSocket* socket = m_Socket;
    m_Socket = nullptr;
    QObject::disconnect(socket, nullptr, &m_Context, nullptr);
    socket->abort();
    // We may be inside one of its signals.
    socket->deleteLater();
}

int32_t QtSocket::State() const {
    if (!m_Socket)
        return 0;
    switch (m_Socket->state()) {
    case QAbstractSocket::UnconnectedState:
        return m_PendingFailure ? 4 : 0;
    case QAbstractSocket::HostLookupState:
        return 4;
    case QAbstractSocket::ConnectingState:
        return 6;
    case QAbstractSocket::ConnectedState:
        return 7;
    case QAbstractSocket::ClosingState:
        return 8;
    case QAbstractSocket::BoundState:
        return 1;
    case QAbstractSocket::ListeningState:
        return 2;
    }
    return 0;
}

int64_t QtSocket::BytesQueued() const {
    // Under TLS bytesToWrite counts only what is still to be encrypted; what is encrypted and
    // waiting for the network is held too.
    return m_Socket
               ? m_Outgoing.size() + m_Socket->bytesToWrite() + m_Socket->encryptedBytesToWrite()
               : 0;
}

void QtSocket::Deliver(uint64_t generation, std::function<void()> notify) {
    if (m_InCall == 0) {
        notify();
        return;
    }
    QTimer::singleShot(0, &m_Context, [this, generation, notify = std::move(notify)] {
        if (Current(generation))
            notify();
    });
}

void QtSocket::OnConnected(uint64_t generation) {
    if (!Current(generation))
        return;
    Deliver(generation, [this] {
        if (Connected)
            Connected();
    });
}

void QtSocket::OnEncrypted(uint64_t generation) {
    if (!Current(generation))
        return;
    Deliver(generation, [this] {
        if (Encrypted)
            Encrypted();
    });
}

// Not ignored, so the handshake fails right after this; the reasons go into that error.
void QtSocket::OnSslErrors(uint64_t generation, const QList<QSslError>& errors) {
    if (!Current(generation))
        return;
    QStringList reasons;
    for (const QSslError& error : errors) {
        if (!reasons.contains(error.errorString()))
            reasons << error.errorString();
    }
    m_TlsRefusal = "The certificate of " + m_PeerName +
                   " cannot be trusted: " + reasons.join(QStringLiteral("; ")).toStdString();
}

// Under TLS bytesWritten reports bytes as they are encrypted, which is before they leave, and
// Qt leaves encrypted bytes waiting until something flushes them. So they are pushed out here
// while any wait, and the room their leaving makes is reported as progress of no further bytes,
// so the owner refills.
void QtSocket::OnEncryptedBytesWritten(uint64_t generation) {
    if (!Current(generation) || !m_Socket->isEncrypted())
        return;
    Deliver(generation, [this] {
        if (SendProgress && m_Socket)
            SendProgress(0, BytesQueued());
    });
}

void QtSocket::Drain() {
    if (!m_Socket || !m_Socket->isEncrypted()) {
        m_Drain.stop();
        return;
    }
    const uint64_t generation = m_Generation;
    const int64_t before = m_Socket->encryptedBytesToWrite();
    m_Socket->flush();
    WriteOutgoing();
    if (!Current(generation))
        return;
    const int64_t after = m_Socket->encryptedBytesToWrite();
    // While the network takes nothing, look again shortly instead of spinning.
    if (after > 0)
        m_Drain.start(DrainRetryMs);
    else if (m_OutgoingPos == m_Outgoing.size())
        m_Drain.stop();
    // The bytes may also have left on their own since they were counted: with nothing waiting
    // the owner is told too, or it would wait for a report that never comes.
    if ((after < before || after == 0) && SendProgress)
        SendProgress(0, BytesQueued());
}

void QtSocket::OnReadyRead(uint64_t generation) {
    if (!Current(generation) || m_Socket->bytesAvailable() <= 0)
        return;
    Deliver(generation, [this] {
        if (m_Socket && m_Socket->bytesAvailable() > 0 && DataArrival)
            DataArrival(m_Socket->bytesAvailable());
    });
}

void QtSocket::OnBytesWritten(uint64_t generation, qint64 bytes) {
    if (!Current(generation))
        return;
    if (m_Socket->isEncrypted() && !m_Drain.isActive())
        m_Drain.start(0);
    Deliver(generation, [this, bytes] {
        if (SendProgress)
            SendProgress(bytes, BytesQueued());
    });
}

void QtSocket::OnError(uint64_t generation, QAbstractSocket::SocketError error) {
    if (!Current(generation))
        return;
    // Qt reports the peer's orderly close as an error; here it is the end of the response. It
    // reports a reset the same way: a peer that goes away unanswered while our request is still
    // being sent has failed it.
    if (error == QAbstractSocket::RemoteHostClosedError &&
        (m_Socket->bytesToWrite() == 0 || m_ReceivedAny || m_Socket->bytesAvailable() > 0)) {
        ReportClosed(generation);
        return;
    }
    std::string description = m_Socket->errorString().toStdString();
    if (!m_TlsRefusal.empty())
        description = m_TlsRefusal;
    else if (!m_PeerName.empty() && !m_Socket->isEncrypted())
        description = "TLS with " + m_PeerName + " failed: " + description;
    m_ClosedReported = true; // the connection ends with this error, no Closed follows
    Deliver(generation, [this, error, description] {
        if (Error)
            Error(static_cast<int32_t>(error), description);
    });
}

void QtSocket::OnDisconnected(uint64_t generation) {
    if (Current(generation))
        ReportClosed(generation);
}

void QtSocket::ReportClosed(uint64_t generation) {
    if (m_ClosedReported)
        return;
    m_ClosedReported = true;
    Deliver(generation, [this, generation] {
        // Whatever arrived before the close is handed over first.
        if (m_Socket && m_Socket->bytesAvailable() > 0 && DataArrival) {
            DataArrival(m_Socket->bytesAvailable());
            if (!Current(generation))
                return;
        }
        if (Closed)
            Closed();
    });
}

SocketFactory QtSocketFactory(QList<QSslCertificate> extraAuthorities) {
    auto trust = std::make_shared<QtSocket::Trust>();
    trust->Extra = std::move(extraAuthorities);
    return [trust] { return std::make_unique<QtSocket>(trust); };
}

bool ReadCaFile(const std::string& path, QList<QSslCertificate>& certificates, std::string& error) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        error = "cannot read the CA file " + path + ": " + file.errorString().toStdString();
        return false;
    }
    certificates = QSslCertificate::fromDevice(&file, QSsl::Pem);
    if (certificates.isEmpty()) {
        error = "no PEM certificate in the CA file " + path;
        return false;
    }
    return true;
}
