#include "Support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

#include <algorithm>
#include <fstream>
#include <random>

namespace testsupport {

bool Until(const std::function<bool()>& done, int timeoutMs) {
    // Unlike QTest::qWaitFor this does not sleep between turns, so a transfer runs at full speed.
    QTimer wake;
    wake.start(5);
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.hasExpired(timeoutMs))
            return done();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

std::string BinPath(const std::string& name) {
    return std::string(VOSTRAND_BIN_DIR) + "/" + name;
}

std::string WriteFile(const QTemporaryDir& dir, const std::string& name, const std::string& bytes) {
    const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
}

std::string WriteRandomFile(const QTemporaryDir& dir, const std::string& name, int64_t size,
                            uint32_t seed) {
    const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::mt19937 random(seed);
    std::string block(1 << 20, '\0');
    for (int64_t left = size; left > 0;) {
        const auto n = static_cast<size_t>(std::min<int64_t>(left, block.size()));
        for (size_t i = 0; i < n; ++i)
            block[i] = static_cast<char>(random());
        out.write(block.data(), static_cast<std::streamsize>(n));
        left -= static_cast<int64_t>(n);
    }
    return path;
}

std::string ReadAll(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

std::string Sha256Hex(const std::string& bytes) {
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::string FileSha256Hex(const std::string& path) {
    QFile file(QString::fromStdString(path));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result().toHex().toStdString();
}

std::string HttpAnswer(const std::string& head, const std::string& body) {
    return "HTTP/1.1 " + head + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
           body;
}

// --- RawServer ------------------------------------------------------------------------------

struct RawServer::Live {
    QTcpSocket* Socket = nullptr;
    Script Steps;
    size_t Next = 0;
    std::shared_ptr<Received> Record;
    std::string Pending; // bytes before the end of the head block
    int64_t ContentLength = -1;
    QCryptographicHash Hash{QCryptographicHash::Sha256};
    bool Closing = false;
};

RawServer::RawServer() {
    m_Server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&m_Server, &QTcpServer::newConnection, this, [this] { Accept(); });
}

RawServer::~RawServer() {
    for (auto& live : m_Live)
        live->Socket->abort();
}

RawServer& RawServer::Add(Script script) {
    m_Scripts.push_back(std::move(script));
    return *this;
}

RawServer& RawServer::Respond(const std::string& raw) {
    return Add({Step::ReadRequest(), Step::Send(raw), Step::Close()});
}

RawServer& RawServer::Repeat(Script script) {
    m_Repeat = std::move(script);
    m_HasRepeat = true;
    return *this;
}

std::string RawServer::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(Port()) + "/";
}

void RawServer::Accept() {
    while (QTcpSocket* socket = m_Server.nextPendingConnection()) {
        auto live = std::make_unique<Live>();
        Live& l = *live;
        l.Socket = socket;
        socket->setParent(this);
        const size_t n = m_Received.size();
        l.Steps = n < m_Scripts.size() ? m_Scripts[n] : m_HasRepeat ? m_Repeat : Script{};
        l.Record = std::make_shared<Received>();
        m_Received.push_back(l.Record);
        QObject::connect(socket, &QTcpSocket::readyRead, this, [this, &l] {
            const QByteArray data = l.Socket->readAll();
            std::string_view body(data.constData(), static_cast<size_t>(data.size()));
            if (l.Record->Head.empty()) {
                l.Pending.append(body);
                const size_t end = l.Pending.find("\r\n\r\n");
                if (end == std::string::npos)
                    return;
                l.Record->Head = l.Pending.substr(0, end + 4);
                std::string lower = l.Record->Head;
                std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
                const size_t at = lower.find("\r\ncontent-length:");
                l.ContentLength = at == std::string::npos ? 0 : std::stoll(lower.substr(at + 17));
                body = std::string_view(l.Pending).substr(end + 4);
            }
            Received& r = *l.Record;
            r.BodyLength += static_cast<int64_t>(body.size());
            l.Hash.addData(QByteArrayView(body.data(), static_cast<qsizetype>(body.size())));
            const auto keep = std::min<int64_t>(BodyKept - static_cast<int64_t>(r.Body.size()),
                                                static_cast<int64_t>(body.size()));
            r.Body.append(body.substr(0, static_cast<size_t>(std::max<int64_t>(keep, 0))));
            if (r.BodyLength >= l.ContentLength && r.BodySha256.empty())
                r.BodySha256 = l.Hash.result().toHex().toStdString();
            Play(l);
        });
        QObject::connect(socket, &QTcpSocket::disconnected, this, [&l] {
            l.Record->PeerClosed = !l.Closing;
            l.Record->Done = true;
        });
        m_Live.push_back(std::move(live));
        Play(l);
    }
}

void RawServer::Play(Live& l) {
    while (!l.Closing && l.Next < l.Steps.size()) {
        const Step& step = l.Steps[l.Next];
        switch (step.Type) {
        case Step::Kind::ReadRequest:
            if (l.Record->Head.empty() || l.Record->BodyLength < l.ContentLength)
                return;
            break;
        case Step::Kind::Send:
            l.Socket->write(step.Data.data(), static_cast<qint64>(step.Data.size()));
            break;
        case Step::Kind::Stall:
            return;
        case Step::Kind::Close:
            l.Closing = true;
            l.Socket->disconnectFromHost();
            return;
        case Step::Kind::Reset: {
            l.Closing = true;
            l.Socket->flush();
            const linger abortive{1, 0};
            ::setsockopt(static_cast<int>(l.Socket->socketDescriptor()), SOL_SOCKET, SO_LINGER,
                         &abortive, sizeof abortive);
            l.Socket->abort();
            l.Record->Done = true;
            return;
        }
        }
        ++l.Next;
    }
    if (l.Next >= l.Steps.size() && !l.Closing) {
        l.Closing = true;
        l.Socket->disconnectFromHost();
    }
}

// --- child processes ------------------------------------------------------------------------

namespace {

void End(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace

Service::Service(const std::vector<std::string>& extraArguments) {
    QStringList arguments{"--port", "0", "--storage", m_Storage.path(), "--quiet"};
    for (const std::string& argument : extraArguments)
        arguments << QString::fromStdString(argument);
    m_Process.start(QString::fromStdString(BinPath("vostrand-service")), arguments);
    Until([this] { return m_Process.canReadLine() || m_Process.state() == QProcess::NotRunning; },
          15000);
    // Its first line is the base URL it serves.
    const std::string line = m_Process.readLine().trimmed().toStdString();
    if (line.rfind("http", 0) == 0)
        m_BaseUrl = line.back() == '/' ? line : line + "/";
}

Service::~Service() {
    End(m_Process);
}

Proxy::Proxy(const std::string& user, const std::string& password) {
    // Another process may take the port between our look and tinyproxy's bind: try again.
    for (int attempt = 0; attempt < 3 && m_Port == 0; ++attempt) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const uint16_t port = probe.serverPort();
        probe.close();
        std::string config = "Port " + std::to_string(port) +
                             "\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 60\nMaxClients 16\n"
                             "DisableViaHeader Yes\nLogLevel Info\nLogFile \"" +
                             m_Dir.filePath("log").toStdString() + "\"\n";
        if (!user.empty())
            config += "BasicAuth " + user + " " + password + "\n";
        m_Process.start("tinyproxy",
                        {"-d", "-c", QString::fromStdString(WriteFile(m_Dir, "conf", config))});
        m_Process.waitForStarted(); // so that Running below tells a live proxy from a failed one
        const bool up = Until(
            [&] {
                if (m_Process.state() == QProcess::NotRunning)
                    return true;
                QTcpSocket socket;
                socket.connectToHost(QHostAddress::LocalHost, port);
                return socket.waitForConnected(100);
            },
            10000);
        if (up && m_Process.state() != QProcess::NotRunning)
            m_Port = port;
        else
            End(m_Process);
    }
}

Proxy::~Proxy() {
    End(m_Process);
}

std::string Proxy::Log() const {
    return ReadAll(m_Dir.filePath("log").toStdString());
}

Pki::Pki() {
    // `openssl ca` signs with fixed dates, which the expired certificate needs.
    WriteFile(m_Dir, "ca.cnf",
              "[ca]\ndefault_ca = test_ca\n[test_ca]\ndatabase = index.txt\nnew_certs_dir = .\n"
              "serial = serial\ndefault_md = sha256\npolicy = any_name\nunique_subject = no\n"
              "[any_name]\ncommonName = supplied\n"
              "[server]\nbasicConstraints = CA:FALSE\nextendedKeyUsage = serverAuth\n"
              "subjectAltName = IP:127.0.0.1,DNS:localhost\n"
              "[other]\nbasicConstraints = CA:FALSE\nextendedKeyUsage = serverAuth\n"
              "subjectAltName = DNS:other.example\n");
    const char* script = R"(set -e
key="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
openssl req -x509 $key -days 2 -subj "/CN=Vostrand Test CA" -keyout ca.key -out ca.pem \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
: > index.txt; echo 1000 > serial
sign() {
    openssl req $key -subj "/CN=$3" -keyout $1.key -out $1.csr
    openssl ca -batch -notext -config ca.cnf -cert ca.pem -keyfile ca.key -extensions $2 \
        -in $1.csr -out $1.pem $4
}
sign good server 127.0.0.1 "-days 2"
sign other other other.example "-days 2"
sign expired server 127.0.0.1 "-startdate 20200101000000Z -enddate 20200201000000Z")";
    QProcess openssl;
    openssl.setWorkingDirectory(m_Dir.path());
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start("/bin/sh", {"-c", script});
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
        m_Error = "openssl failed: " + openssl.readAll().toStdString();
}

std::vector<std::string> Pki::ServiceArguments(Kind kind) const {
    const std::string name = kind == Good ? "good" : kind == OtherName ? "other" : "expired";
    return {"--tls-cert", Path(name + ".pem"), "--tls-key", Path(name + ".key")};
}

std::string Pki::Path(const std::string& name) const {
    return m_Dir.filePath(QString::fromStdString(name)).toStdString();
}

} // namespace testsupport
