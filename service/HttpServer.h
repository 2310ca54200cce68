// cpp-httplib's server with the limits that the library (0.11) leaves out and a service reachable
// by anyone needs:
// - a request head is bounded in size (the library reads a request line or an endless run of
//   header lines into memory without limit) and must arrive within a fixed time, so slow or idle
//   connections cannot hold the workers;
// - the connections waiting for a worker are bounded; those beyond are turned away with a 503
//   instead of piling up as open descriptors;
// - Shutdown ends the connections in progress instead of waiting for them to finish.
// One connection carries one request: our client asks with "Connection: Close" and takes the close
// as the end of the answer.
// With EnableTls every connection speaks TLS (1.2 or newer, OpenSSL, as cpp-httplib's SSLServer
// does) under the same limits; the handshake counts against the time a head may take.
#pragma once

#include <httplib.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;

namespace service {

class HttpServer : public httplib::Server {
public:
    HttpServer();
    ~HttpServer() override;

    // Serves HTTPS with the PEM certificate chain and key; false with `strError` when they cannot
    // be loaded or do not match. Call before the server runs.
    bool EnableTls(const std::string& strCertFile, const std::string& strKeyFile,
                   std::string& strError);
    bool Tls() const { return m_Tls != nullptr; }

    // Stops listening and shuts down every open connection, so the handlers in progress see
    // their reads and writes fail and return at once. Safe from any thread, also before the
    // server runs (it then ends as soon as it starts).
    void Shutdown();

private:
    bool process_and_close_socket(socket_t sock) override;

    std::mutex m_Mutex; // guards m_Open and m_Stopping against Shutdown
    std::set<socket_t> m_Open;
    bool m_Stopping = false;
    SSL_CTX* m_Tls = nullptr;
};

} // namespace service
