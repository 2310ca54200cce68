#include "ScriptedServer.h"

#include <QCryptographicHash>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>

namespace testsupport {

namespace {

constexpr std::size_t MaxHeadSearch = 1024 * 1024;
// An orderly close reads on until the client closes its side, goes quiet for CloseIdleMs, or
// CloseDrainMs have passed.
constexpr int CloseDrainMs = 2000;
constexpr int CloseIdleMs = 100;

std::string Hex(const QByteArray& digest) {
    return digest.toHex().toStdString();
}

int64_t ContentLengthOf(const std::string& head) {
    std::string lower = head;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::string name = "\r\ncontent-length:";
    const auto pos = lower.find(name);
    if (pos == std::string::npos)
        return 0;
    return std::strtoll(lower.c_str() + pos + name.size(), nullptr, 10);
}

} // namespace

std::string Connection::Body() const {
    if (HeadBlock.empty() || Received.size() <= HeadBlock.size())
        return {};
    return Received.substr(HeadBlock.size());
}

struct ScriptedServer::Live {
    int Fd = -1;
    std::size_t Index = 0;
    std::string Pending; // received, not yet consumed by a read step
    bool PeerClosed = false;
    QCryptographicHash All{QCryptographicHash::Sha256};
    QCryptographicHash BodyHash{QCryptographicHash::Sha256};
    std::string HeadSearch;
    bool HeadDone = false;
    std::FILE* Spool = nullptr;
};

ScriptedServer::ScriptedServer() {
    if (::pipe2(m_Wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_Listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_Listen < 0)
        return;
    const int one = 1;
    ::setsockopt(m_Listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    if (::bind(m_Listen, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        ::listen(m_Listen, 16) != 0 ||
        ::getsockname(m_Listen, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(m_Listen);
        m_Listen = -1;
        return;
    }
    m_Port = ntohs(addr.sin_port);
    m_Thread = std::thread([this] { Run(); });
}

ScriptedServer::~ScriptedServer() {
    Stop();
}

ScriptedServer& ScriptedServer::Add(Script script) {
    std::lock_guard lock(m_Mutex);
    m_Scripts.push_back(std::move(script));
    return *this;
}

ScriptedServer& ScriptedServer::Respond(const std::string& rawResponse) {
    return Add({Step::ReadRequest(), Step::Send(rawResponse), Step::Close()});
}

ScriptedServer& ScriptedServer::Repeat(Script script) {
    std::lock_guard lock(m_Mutex);
    m_Repeat = std::move(script);
    m_HasRepeat = true;
    return *this;
}

void ScriptedServer::SetMemoryLimit(int64_t bytes) {
    std::lock_guard lock(m_Mutex);
    m_MemoryLimit = bytes;
}

void ScriptedServer::SetRecordFolder(const std::string& folder) {
    std::lock_guard lock(m_Mutex);
    m_RecordFolder = folder;
}

std::string ScriptedServer::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(m_Port) + "/";
}

std::vector<Connection> ScriptedServer::Requests() const {
    std::lock_guard lock(m_Mutex);
    return m_Connections;
}

int32_t ScriptedServer::ConnectionCount() const {
    std::lock_guard lock(m_Mutex);
    return static_cast<int32_t>(m_Connections.size());
}

bool ScriptedServer::WaitForConnections(int32_t count, int timeoutMs) const {
    std::unique_lock lock(m_Mutex);
    return m_Changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return static_cast<int32_t>(m_Connections.size()) >= count; });
}

bool ScriptedServer::WaitForFinished(int32_t count, int timeoutMs) const {
    std::unique_lock lock(m_Mutex);
    return m_Changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return std::count_if(m_Connections.begin(), m_Connections.end(),
                             [](const Connection& c) { return c.Finished; }) >= count;
    });
}

void ScriptedServer::Stop() {
    {
        std::lock_guard lock(m_Mutex);
        if (m_Stopped)
            return;
        m_Stopped = true;
    }
    if (m_Wake[1] >= 0) {
        const char byte = 1; // never read: the pipe stays readable and ends every later wait too
        [[maybe_unused]] auto written = ::write(m_Wake[1], &byte, 1);
    }
    if (m_Thread.joinable())
        m_Thread.join();
    if (m_Listen >= 0)
        ::close(m_Listen);
    m_Listen = -1;
    for (int& fd : m_Wake) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

// Waits until fd is ready for events; false when the server stops or the wait timed out.
bool ScriptedServer::WaitFor(int fd, short events, int timeoutMs) {
    pollfd fds[2] = {{m_Wake[0], POLLIN, 0}, {fd, events, 0}};
    const nfds_t count = fd >= 0 ? 2 : 1;
    for (;;) {
        const int rc = ::poll(fds, count, timeoutMs);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc <= 0 || (fds[0].revents & POLLIN))
            return false;
        return true;
    }
}

void ScriptedServer::Run() {
    for (;;) {
        if (!WaitFor(m_Listen, POLLIN, -1))
            return;
        const int fd = ::accept4(m_Listen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            continue;
        Live live;
        live.Fd = fd;
        Script script;
        std::string folder;
        {
            std::lock_guard lock(m_Mutex);
            if (m_NextScript < m_Scripts.size())
                script = m_Scripts[m_NextScript++];
            else if (m_HasRepeat)
                script = m_Repeat;
            live.Index = m_Connections.size();
            m_Connections.emplace_back();
            folder = m_RecordFolder;
            if (!folder.empty()) {
                const std::string file =
                    folder + "/connection-" + std::to_string(live.Index + 1) + ".bin";
                live.Spool = std::fopen(file.c_str(), "wb");
                if (live.Spool)
                    m_Connections.back().File = file;
            }
        }
        m_Changed.notify_all();
        Serve(live, script);
        Finish(live);
    }
}

void ScriptedServer::Serve(Live& live, const Script& script) {
    auto readUntil = [&](const std::string& marker) -> std::string {
        for (;;) {
            const auto pos = live.Pending.find(marker);
            if (pos != std::string::npos) {
                std::string consumed = live.Pending.substr(0, pos + marker.size());
                live.Pending.erase(0, pos + marker.size());
                return consumed;
            }
            if (!ReadSome(live))
                return {};
        }
    };
    auto readBytes = [&](int64_t count) {
        while (count > 0) {
            const auto take = std::min<int64_t>(count, static_cast<int64_t>(live.Pending.size()));
            live.Pending.erase(0, static_cast<std::size_t>(take));
            count -= take;
            if (count > 0 && !ReadSome(live))
                return;
        }
    };

    for (const Step& step : script) {
        switch (step.Type) {
        case Step::Kind::Send:
            if (!SendAll(live, step.Data))
                break;
            continue;
        case Step::Kind::ReadUntil:
            readUntil(step.Data);
            continue;
        case Step::Kind::ReadRequest: {
            const std::string head = readUntil("\r\n\r\n");
            if (!head.empty())
                readBytes(ContentLengthOf("\r\n" + head));
            continue;
        }
        case Step::Kind::ReadBytes:
            readBytes(step.Count);
            continue;
        case Step::Kind::Sleep:
            WaitFor(-1, 0, static_cast<int>(step.Count));
            continue;
        case Step::Kind::Hang:
            while (ReadSome(live)) {
            }
            continue;
        case Step::Kind::Reset: {
            const linger abortive{1, 0};
            ::setsockopt(live.Fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof(abortive));
            ::close(live.Fd);
            live.Fd = -1;
            return;
        }
        case Step::Kind::Close:
            break;
        }
        break; // Close, or a send that failed: the script ends
    }

    // Orderly close: unread input would make the kernel answer with a reset and the client could
    // lose our last bytes, so half-close first and drain until the client closes too.
    ::shutdown(live.Fd, SHUT_WR);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(CloseDrainMs);
    while (!live.PeerClosed && std::chrono::steady_clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const int64_t wait = std::clamp<int64_t>(left.count(), 1, CloseIdleMs);
        if (!WaitFor(live.Fd, POLLIN, static_cast<int>(wait)))
            break;
        if (!ReadSome(live))
            break;
        live.Pending.clear();
    }
    ::close(live.Fd);
    live.Fd = -1;
}

// Reads what is available (waiting for it); false when the peer closed or the server stops.
bool ScriptedServer::ReadSome(Live& live) {
    if (live.PeerClosed)
        return false;
    char buffer[64 * 1024];
    for (;;) {
        if (!WaitFor(live.Fd, POLLIN, -1))
            return false;
        const ssize_t got = ::recv(live.Fd, buffer, sizeof(buffer), 0);
        if (got > 0) {
            live.Pending.append(buffer, static_cast<std::size_t>(got));
            Record(live, buffer, static_cast<std::size_t>(got));
            return true;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            continue;
        live.PeerClosed = true;
        std::lock_guard lock(m_Mutex);
        m_Connections[live.Index].PeerClosed = true;
        return false;
    }
}

bool ScriptedServer::SendAll(Live& live, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t rc = ::send(live.Fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (rc > 0) {
            sent += static_cast<std::size_t>(rc);
            continue;
        }
        if (rc < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            if (!WaitFor(live.Fd, POLLOUT, -1))
                return false;
            continue;
        }
        return false;
    }
    return true;
}

void ScriptedServer::Record(Live& live, const char* data, std::size_t size) {
    live.All.addData(QByteArrayView(data, static_cast<qsizetype>(size)));
    if (live.Spool)
        std::fwrite(data, 1, size, live.Spool);

    std::size_t bodyStart = size; // offset in data where body bytes begin
    std::string headBlock;
    if (!live.HeadDone) {
        const std::size_t before = live.HeadSearch.size();
        live.HeadSearch.append(data, size);
        const auto pos = live.HeadSearch.find("\r\n\r\n");
        if (pos != std::string::npos) {
            headBlock = live.HeadSearch.substr(0, pos + 4);
            bodyStart = pos + 4 - before;
            live.HeadDone = true;
            live.HeadSearch.clear();
        } else if (live.HeadSearch.size() > MaxHeadSearch) {
            live.HeadDone = true; // no head block: nothing counts as body
            live.HeadSearch.clear();
        }
    } else {
        bodyStart = 0;
    }
    if (bodyStart < size)
        live.BodyHash.addData(
            QByteArrayView(data + bodyStart, static_cast<qsizetype>(size - bodyStart)));

    std::lock_guard lock(m_Mutex);
    Connection& c = m_Connections[live.Index];
    const int64_t room = m_MemoryLimit - static_cast<int64_t>(c.Received.size());
    if (room > 0)
        c.Received.append(data, std::min<std::size_t>(size, static_cast<std::size_t>(room)));
    c.ReceivedLength += static_cast<int64_t>(size);
    c.Truncated = static_cast<int64_t>(c.Received.size()) < c.ReceivedLength;
    if (!headBlock.empty())
        c.HeadBlock = headBlock;
    if (bodyStart < size)
        c.BodyLength += static_cast<int64_t>(size - bodyStart);
}

void ScriptedServer::Finish(Live& live) {
    if (live.Spool)
        std::fclose(live.Spool);
    live.Spool = nullptr;
    {
        std::lock_guard lock(m_Mutex);
        Connection& c = m_Connections[live.Index];
        c.Sha256 = Hex(live.All.result());
        c.BodySha256 = Hex(live.BodyHash.result());
        c.Finished = true;
    }
    m_Changed.notify_all();
}

} // namespace testsupport
