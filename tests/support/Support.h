#pragma once
// Test fixtures on Qt: a raw scripted HTTP server, the reference service, tinyproxy and a private
// certificate authority as child processes, and file helpers. Everything runs on the test's
// thread; waits spin the event loop through Until().
#include <QCryptographicHash>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// Spins the event loop until done() holds or timeoutMs passed; done() once more at the end.
bool Until(const std::function<bool()>& done, int timeoutMs = 10000);

// ${VOSTRAND_BIN_DIR}/name.
std::string BinPath(const std::string& name);

// Files in a temporary folder: given bytes, or size pseudo-random bytes from seed (streamed, so
// several GiB need no memory). Each returns the file's full path.
std::string WriteFile(const QTemporaryDir& dir, const std::string& name, const std::string& bytes);
std::string WriteRandomFile(const QTemporaryDir& dir, const std::string& name, int64_t size,
                            uint32_t seed = 1);
std::string ReadAll(const std::string& path);
// Lowercase hex SHA-256 of bytes, and of a file's bytes ("" when it cannot be read).
std::string Sha256Hex(const std::string& bytes);
std::string FileSha256Hex(const std::string& path);

// "HTTP/1.1 <head>" with the Content-Length of body, then body; head may carry header lines.
std::string HttpAnswer(const std::string& head, const std::string& body = "");

// One step of what a raw server connection does.
struct Step {
    enum class Kind { ReadRequest, Send, Stall, Close, Reset };
    Kind Type = Kind::Close;
    std::string Data;
    // Reads a head block and the body its Content-Length announces.
    static Step ReadRequest() { return {Kind::ReadRequest, {}}; }
    static Step Send(std::string bytes) { return {Kind::Send, std::move(bytes)}; }
    // Keeps reading and never answers.
    static Step Stall() { return {Kind::Stall, {}}; }
    static Step Close() { return {Kind::Close, {}}; }
    // An abortive close: the peer sees a connection reset.
    static Step Reset() { return {Kind::Reset, {}}; }
};
using Script = std::vector<Step>;

// What one connection received: the head block, the body's length and hash, and its first
// BodyKept bytes.
struct Received {
    std::string Head;
    std::string Body;
    int64_t BodyLength = 0;
    std::string BodySha256;
    bool PeerClosed = false;
    bool Done = false;
};

// A raw HTTP server on 127.0.0.1: connection N plays the N-th script, later ones the Repeat()
// script (or are closed at once).
class RawServer : public QObject {
public:
    static constexpr int64_t BodyKept = 1 << 20;
    RawServer();
    ~RawServer() override;
    RawServer& Add(Script script);
    // Reads one request, answers raw, closes.
    RawServer& Respond(const std::string& raw);
    RawServer& Repeat(Script script);
    uint16_t Port() const { return m_Server.serverPort(); }
    // "http://127.0.0.1:<port>/"
    std::string BaseUrl() const;
    const std::vector<std::shared_ptr<Received>>& Requests() const { return m_Received; }
    int Connections() const { return static_cast<int>(m_Received.size()); }

private:
    struct Live;
    void Accept();
    void Play(Live& live);
    QTcpServer m_Server;
    std::vector<Script> m_Scripts;
    Script m_Repeat;
    bool m_HasRepeat = false;
    std::vector<std::shared_ptr<Received>> m_Received;
    std::vector<std::unique_ptr<Live>> m_Live;
};

// vostrand-service on a free port with its storage in a temporary folder, ended on destruction.
class Service {
public:
    explicit Service(const std::vector<std::string>& extraArguments = {});
    ~Service();
    bool Ok() const { return !m_BaseUrl.empty(); }
    // Ends in "/"; "https://" with --tls-cert.
    const std::string& BaseUrl() const { return m_BaseUrl; }
    std::string Storage() const { return m_Storage.path().toStdString(); }
    std::string Output() { return m_Process.readAllStandardError().toStdString(); }

private:
    QTemporaryDir m_Storage;
    QProcess m_Process;
    std::string m_BaseUrl;
};

// tinyproxy on 127.0.0.1; with a user, only requests with Basic credentials for it pass.
class Proxy {
public:
    explicit Proxy(const std::string& user = {}, const std::string& password = {});
    ~Proxy();
    bool Ok() const { return m_Port != 0; }
    uint16_t Port() const { return m_Port; }
    std::string Log() const;

private:
    QTemporaryDir m_Dir;
    QProcess m_Process;
    uint16_t m_Port = 0;
};

// A private certificate authority with server certificates for 127.0.0.1 and localhost (Good),
// for another name only (OtherName), and for both names but expired (Expired).
class Pki {
public:
    enum Kind { Good, OtherName, Expired };
    Pki();
    bool Ok() const { return m_Error.empty(); }
    const std::string& Error() const { return m_Error; }
    std::string CaFile() const { return Path("ca.pem"); }
    // The service arguments that serve https with that certificate.
    std::vector<std::string> ServiceArguments(Kind kind) const;

private:
    std::string Path(const std::string& name) const;
    QTemporaryDir m_Dir;
    std::string m_Error;
};

} // namespace testsupport
