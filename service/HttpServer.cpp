#include "HttpServer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <netdb.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace service {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kWorkers = 32;
constexpr size_t kMaxWaiting = 64;
constexpr size_t kMaxHeadBytes = 64 * 1024;
constexpr auto kHeadTime = std::chrono::seconds(15);
constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr size_t kLingerBytes = 1024 * 1024;

// Set while the accepting thread runs a connection that found no room in the queue.
thread_local bool t_TurnAway = false;

bool WaitFor(socket_t sock, short events, Clock::duration timeout) {
    pollfd p{sock, events, 0};
    const auto ms =
        std::max<int64_t>(0, std::chrono::ceil<std::chrono::milliseconds>(timeout).count());
    int ready;
    do {
        ready = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(ms, 24 * 3600 * 1000)));
    } while (ready < 0 && errno == EINTR);
    return ready > 0; // an error or hang-up counts as ready: the next recv or send reports it
}

std::string ShortAnswer(int32_t lngStatus, const std::string& strReason) {
    const std::string text = strReason + "\n";
    return "HTTP/1.1 " + std::to_string(lngStatus) + " " + strReason +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(text.size()) +
           "\r\nConnection: close\r\n\r\n" + text;
}

// A short answer sent without waiting, for a refusal before httplib answers anything.
void SendNow(socket_t sock, int32_t lngStatus, const std::string& strReason) {
    const std::string answer = ShortAnswer(lngStatus, strReason);
    (void)::send(sock, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

// One SSL_write on a non-blocking socket, waiting while TLS needs the socket ready.
ssize_t TlsWrite(SSL* ssl, socket_t sock, const char* ptr, size_t size, Clock::duration timeout) {
    if (size == 0) {
        return 0;
    }
    for (;;) {
        const int n = SSL_write(ssl, ptr, static_cast<int>(std::min<size_t>(size, 1 << 30)));
        if (n > 0) {
            return n;
        }
        const int error = SSL_get_error(ssl, n);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
            return -1;
        }
        if (!WaitFor(sock, error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, timeout)) {
            return -1;
        }
    }
}

// The server side of the handshake, bounded by the deadline of the request head.
bool TlsAccept(SSL* ssl, socket_t sock, Clock::time_point deadline) {
    for (;;) {
        ERR_clear_error();
        const int n = SSL_accept(ssl);
        if (n == 1) {
            return true;
        }
        const int error = SSL_get_error(ssl, n);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
            return false;
        }
        if (!WaitFor(sock, error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT,
                     deadline - Clock::now()) ||
            Clock::now() >= deadline) {
            return false;
        }
    }
}

// Closing a socket with unread request bytes makes the kernel reset the connection, and the
// client may lose our answer with it (a refused upload or head). So our side is shut first and
// what the client still sends is dropped for a short while, until it closes too.
void LingerAndClose(socket_t sock) {
    ::shutdown(sock, SHUT_WR);
    const auto end = Clock::now() + kLingerTime;
    std::array<char, 16 * 1024> buffer{};
    size_t dropped = 0;
    while (dropped < kLingerBytes && WaitFor(sock, POLLIN, end - Clock::now())) {
        const ssize_t n = ::recv(sock, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
            break;
        }
        dropped += n > 0 ? static_cast<size_t>(n) : 0;
    }
    ::close(sock);
}

// The connection as httplib reads and writes it. Counts the bytes of the request head as they
// are handed out and refuses a head that is too large or too slow with a 431 or 408 of its own;
// httplib's answer to the failed read that follows is swallowed.
class ConnectionStream final : public httplib::Stream {
public:
    ConnectionStream(socket_t sock, SSL* ssl, Clock::duration readTimeout,
                     Clock::duration writeTimeout, Clock::time_point headDeadline)
        : m_Sock(sock), m_Ssl(ssl), m_ReadTimeout(readTimeout), m_WriteTimeout(writeTimeout),
          m_HeadDeadline(headDeadline) {}

    bool is_readable() const override {
        return m_Pos < m_End || (m_Ssl && SSL_pending(m_Ssl) > 0) ||
               WaitFor(m_Sock, POLLIN, ReadTimeout());
    }
    bool is_writable() const override { return WaitFor(m_Sock, POLLOUT, m_WriteTimeout); }

    ssize_t read(char* ptr, size_t size) override {
        if (m_Refused) {
            return -1;
        }
        if (m_Pos == m_End) {
            const ssize_t n = Receive();
            if (n <= 0) {
                return n;
            }
            m_Pos = 0;
            m_End = static_cast<size_t>(n);
        }
        size_t count = std::min(size, m_End - m_Pos);
        if (!m_HeadDone) {
            count = ScanHead(count);
            if (!m_HeadDone && m_HeadBytes > kMaxHeadBytes) {
                return Refuse(431, "Request Header Fields Too Large");
            }
        }
        std::memcpy(ptr, m_Buffer.data() + m_Pos, count);
        m_Pos += count;
        return static_cast<ssize_t>(count);
    }

    ssize_t write(const char* ptr, size_t size) override {
        if (m_Refused) {
            return static_cast<ssize_t>(size);
        }
        if (m_Ssl) {
            return TlsWrite(m_Ssl, m_Sock, ptr, size, m_WriteTimeout);
        }
        for (;;) {
            const ssize_t n = ::send(m_Sock, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n >= 0) {
                return n;
            }
            if (errno != EINTR && ((errno != EAGAIN && errno != EWOULDBLOCK) || !is_writable())) {
                return -1;
            }
        }
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        Address(true, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        Address(false, ip, port);
    }
    socket_t socket() const override { return m_Sock; }

private:
    Clock::duration ReadTimeout() const {
        return m_HeadDone ? m_ReadTimeout
                          : std::min<Clock::duration>(m_ReadTimeout, m_HeadDeadline - Clock::now());
    }

    ssize_t Receive() {
        while (m_Ssl) {
            const int n = SSL_read(m_Ssl, m_Buffer.data(), static_cast<int>(m_Buffer.size()));
            if (n > 0) {
                return n;
            }
            const int error = SSL_get_error(m_Ssl, n);
            if (error == SSL_ERROR_ZERO_RETURN) {
                return 0;
            }
            if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
                return -1;
            }
            const short events = error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
            if (!WaitFor(m_Sock, events, ReadTimeout())) {
                return m_HeadDone || m_HeadBytes == 0 ? -1 : Refuse(408, "Request Timeout");
            }
        }
        for (;;) {
            const ssize_t n = ::recv(m_Sock, m_Buffer.data(), m_Buffer.size(), MSG_DONTWAIT);
            if (n >= 0) {
                return n;
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                return -1;
            }
            if (!WaitFor(m_Sock, POLLIN, ReadTimeout())) {
                // A connection that never sent anything is just closed.
                return m_HeadDone || m_HeadBytes == 0 ? -1 : Refuse(408, "Request Timeout");
            }
        }
    }

    // How many of the next `count` bytes belong to the head; sets m_HeadDone at its blank line.
    size_t ScanHead(size_t count) {
        for (size_t i = 0; i < count; ++i) {
            m_Last = (m_Last << 8) | static_cast<unsigned char>(m_Buffer[m_Pos + i]);
            ++m_HeadBytes;
            if (m_Last == 0x0D0A0D0Au) {
                m_HeadDone = true;
                return i + 1;
            }
        }
        return count;
    }

    ssize_t Refuse(int32_t lngStatus, const std::string& strReason) {
        if (m_Ssl) {
            const std::string answer = ShortAnswer(lngStatus, strReason);
            (void)TlsWrite(m_Ssl, m_Sock, answer.data(), answer.size(), std::chrono::seconds(1));
        } else {
            SendNow(m_Sock, lngStatus, strReason);
        }
        m_Refused = true;
        return -1;
    }

    void Address(bool blnPeer, std::string& ip, int& port) const {
        sockaddr_storage addr{};
        socklen_t length = sizeof addr;
        auto* sa = reinterpret_cast<sockaddr*>(&addr);
        const int rc =
            blnPeer ? ::getpeername(m_Sock, sa, &length) : ::getsockname(m_Sock, sa, &length);
        char host[NI_MAXHOST];
        char serv[NI_MAXSERV];
        if (rc == 0 && ::getnameinfo(sa, length, host, sizeof host, serv, sizeof serv,
                                     NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
            ip = host;
            port = std::atoi(serv);
        }
    }

    socket_t m_Sock;
    SSL* m_Ssl; // null for plain HTTP
    Clock::duration m_ReadTimeout;
    Clock::duration m_WriteTimeout;
    Clock::time_point m_HeadDeadline;
    std::array<char, 64 * 1024> m_Buffer{};
    size_t m_Pos = 0;
    size_t m_End = 0;
    bool m_HeadDone = false;
    size_t m_HeadBytes = 0;
    uint32_t m_Last = 0;
    bool m_Refused = false;
};

// httplib's thread pool queues every accepted connection without limit; this one keeps at most
// kMaxWaiting of them and has the rest answered 503 at once on the accepting thread.
class ConnectionPool final : public httplib::TaskQueue {
public:
    ConnectionPool() {
        for (size_t i = 0; i < kWorkers; ++i) {
            m_Threads.emplace_back([this] { Work(); });
        }
    }

    void enqueue(std::function<void()> fn) override {
        {
            std::lock_guard lock(m_Mutex);
            if (m_Jobs.size() < kMaxWaiting) {
                m_Jobs.push_back(std::move(fn));
                m_Wake.notify_one();
                return;
            }
        }
        t_TurnAway = true;
        fn();
        t_TurnAway = false;
    }

    void shutdown() override {
        {
            std::lock_guard lock(m_Mutex);
            m_Stop = true;
        }
        m_Wake.notify_all();
        for (auto& thread : m_Threads) {
            thread.join();
        }
    }

private:
    void Work() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(m_Mutex);
                m_Wake.wait(lock, [this] { return m_Stop || !m_Jobs.empty(); });
                if (m_Jobs.empty()) {
                    return;
                }
                job = std::move(m_Jobs.front());
                m_Jobs.pop_front();
            }
            job();
        }
    }

    std::mutex m_Mutex;
    std::condition_variable m_Wake;
    std::deque<std::function<void()>> m_Jobs;
    std::vector<std::thread> m_Threads;
    bool m_Stop = false;
};

} // namespace

HttpServer::HttpServer() {
    new_task_queue = [] { return new ConnectionPool(); };
}

HttpServer::~HttpServer() {
    SSL_CTX_free(m_Tls);
}

bool HttpServer::EnableTls(const std::string& strCertFile, const std::string& strKeyFile,
                           std::string& strError) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    const auto fail = [&](const std::string& what) {
        const unsigned long code = ERR_get_error();
        char reason[256] = "";
        if (code != 0) {
            ERR_error_string_n(code, reason, sizeof reason);
        }
        strError = what + (code != 0 ? std::string(": ") + reason : std::string());
        SSL_CTX_free(ctx);
        return false;
    };
    if (ctx == nullptr) {
        return fail("cannot set up TLS");
    }
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (SSL_CTX_use_certificate_chain_file(ctx, strCertFile.c_str()) != 1) {
        return fail("cannot load the certificate " + strCertFile);
    }
    if (SSL_CTX_use_PrivateKey_file(ctx, strKeyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        return fail("cannot load the key " + strKeyFile);
    }
    if (SSL_CTX_check_private_key(ctx) != 1) {
        return fail("the key " + strKeyFile + " does not belong to " + strCertFile);
    }
    SSL_CTX_free(m_Tls);
    m_Tls = ctx;
    return true;
}

void HttpServer::Shutdown() {
    {
        std::lock_guard lock(m_Mutex);
        m_Stopping = true;
        for (const socket_t sock : m_Open) {
            ::shutdown(sock, SHUT_RDWR);
        }
    }
    // httplib's stop() does nothing until the server runs; closing the listening socket here
    // also ends a server that starts after this call.
    const socket_t listener = svr_sock_.exchange(INVALID_SOCKET);
    if (listener != INVALID_SOCKET) {
        ::shutdown(listener, SHUT_RDWR);
        ::close(listener);
    }
}

bool HttpServer::process_and_close_socket(socket_t sock) {
    bool serve = !t_TurnAway;
    {
        std::lock_guard lock(m_Mutex);
        serve = serve && !m_Stopping;
        if (serve) {
            m_Open.insert(sock);
        }
    }
    if (!serve) {
        // A TLS client would take the plain answer for a broken handshake; it only sees the close.
        if (m_Tls == nullptr) {
            SendNow(sock, 503, "Service Unavailable");
        }
        ::close(sock);
        return false;
    }
    const auto headDeadline = Clock::now() + kHeadTime;
    SSL* ssl = nullptr;
    bool ok = false;
    if (m_Tls != nullptr) {
        // Waits are done with poll, so the reads and writes of TLS must not block.
        ::fcntl(sock, F_SETFL, ::fcntl(sock, F_GETFL) | O_NONBLOCK);
        ssl = SSL_new(m_Tls);
        if (ssl == nullptr || SSL_set_fd(ssl, sock) != 1 || !TlsAccept(ssl, sock, headDeadline)) {
            SSL_free(ssl);
            ssl = nullptr;
            ERR_clear_error();
            std::lock_guard lock(m_Mutex);
            m_Open.erase(sock);
            ::close(sock);
            return false;
        }
    }
    {
        ConnectionStream stream(sock, ssl,
                                std::chrono::seconds(read_timeout_sec_) +
                                    std::chrono::microseconds(read_timeout_usec_),
                                std::chrono::seconds(write_timeout_sec_) +
                                    std::chrono::microseconds(write_timeout_usec_),
                                headDeadline);
        bool closed = false;
        ok = process_request(stream, true, closed, nullptr);
    }
    {
        std::lock_guard lock(m_Mutex);
        m_Open.erase(sock);
    }
    if (ssl != nullptr) {
        // Our close_notify first, so the client knows the answer ended where it did.
        (void)SSL_shutdown(ssl);
        SSL_free(ssl);
        ERR_clear_error();
    }
    LingerAndClose(sock);
    return ok;
}

} // namespace service
