#include "CliSocket.h"

#include "platform/modText.h"

#include <cstdio>

namespace {
constexpr int TickMs = 20;
} // namespace

CliSocket::CliSocket(std::unique_ptr<Socket> inner, int64_t rate, bool verbose)
    : m_Inner(std::move(inner)), m_Rate(rate), m_Verbose(verbose) {
    m_Inner->Connected = [this] {
        Say("connected to " + m_Where);
        if (Connected)
            Connected();
    };
    m_Inner->Encrypted = [this] {
        Say("TLS with " + m_Where);
        if (Encrypted)
            Encrypted();
    };
    m_Inner->DataArrival = [this](int64_t total) {
        if (DataArrival)
            DataArrival(total);
    };
    m_Inner->SendProgress = [this](int64_t sent, int64_t remaining) {
        if (SendProgress)
            SendProgress(sent, remaining + static_cast<int64_t>(m_Waiting.size()));
    };
    m_Inner->Closed = [this] {
        Say("closed by " + m_Where);
        if (Closed)
            Closed();
    };
    m_Inner->Error = [this](int32_t number, const std::string& description) {
        Say("connection to " + m_Where + " failed: " + description);
        if (Error)
            Error(number, description);
    };
    m_Timer.setInterval(TickMs);
    QObject::connect(&m_Timer, &QTimer::timeout, [this] { Release(); });
}

CliSocket::~CliSocket() {
    m_Timer.stop();
}

void CliSocket::Say(const std::string& text) const {
    if (m_Verbose) {
        std::fprintf(stderr, "* %s\n", text.c_str());
        std::fflush(stderr);
    }
}

std::string CliSocket::MaskLine(const std::string& line) {
    std::string out;
    size_t at = 0;
    // Fields of a query: after "?" or "&", up to "&", a blank or the end.
    while (at < line.size()) {
        const size_t start = line.find_first_of("?&", at);
        if (start == std::string::npos) {
            out.append(line, at, std::string::npos);
            break;
        }
        out.append(line, at, start + 1 - at);
        const size_t end = std::min(line.find_first_of("& ", start + 1), line.size());
        const std::string field = line.substr(start + 1, end - start - 1);
        const size_t equals = field.find('=');
        if (equals != std::string::npos &&
            modText::Lower(field.substr(0, equals)).find("pass") != std::string::npos) {
            out += field.substr(0, equals + 1) + "***";
        } else {
            out += field;
        }
        at = end;
    }
    return out;
}

void CliSocket::Connect(const std::string& host, int32_t port) {
    m_Waiting.clear();
    m_Budget = 0;
    m_Timer.stop();
    m_Where = host + ":" + std::to_string(port);
    m_HeadNext = true;
    m_StatusLine.clear();
    m_StatusDone = false;
    Say("connecting to " + m_Where);
    m_Inner->Connect(host, port);
}

// After a proxy's tunnel: the request and its answer inside it are shown as well.
void CliSocket::StartEncryption(const std::string& peerName) {
    m_HeadNext = true;
    m_StatusLine.clear();
    m_StatusDone = false;
    m_Inner->StartEncryption(peerName);
}

void CliSocket::SendData(std::string_view data) {
    if (m_HeadNext && m_Verbose) {
        const std::string head(data.substr(0, data.find("\r\n")));
        std::fprintf(stderr, "> %s\n", MaskLine(head).c_str());
        std::fflush(stderr);
    }
    m_HeadNext = false;
    if (m_Rate <= 0) {
        m_Inner->SendData(data);
        return;
    }
    m_Waiting.append(data);
    if (!m_Timer.isActive()) {
        m_Clock.start();
        m_Timer.start();
    }
}

void CliSocket::Release() {
    const double seconds = static_cast<double>(m_Clock.restart()) / 1000.0;
    // A pause (the socket was idle) earns no burst beyond a tenth of a second's worth.
    m_Budget = std::min(m_Budget + seconds * static_cast<double>(m_Rate),
                        std::max(static_cast<double>(m_Rate) / 10, 1024.0));
    const auto count = std::min(m_Waiting.size(), static_cast<size_t>(m_Budget));
    if (count > 0) {
        m_Budget -= static_cast<double>(count);
        const std::string piece = m_Waiting.substr(0, count);
        m_Waiting.erase(0, count);
        m_Inner->SendData(piece);
    }
    if (m_Waiting.empty()) {
        m_Timer.stop();
    }
}

std::string CliSocket::GetData() {
    std::string data = m_Inner->GetData();
    if (m_Verbose && !m_StatusDone) {
        m_StatusLine += data.substr(0, 512);
        const size_t end = m_StatusLine.find("\r\n");
        if (end != std::string::npos || m_StatusLine.size() >= 512) {
            std::fprintf(stderr, "< %s\n", m_StatusLine.substr(0, end).c_str());
            std::fflush(stderr);
            m_StatusDone = true;
        }
    }
    return data;
}

void CliSocket::Close() {
    m_Timer.stop();
    m_Waiting.clear();
    m_Inner->Close();
}

int64_t CliSocket::BytesQueued() const {
    return m_Inner->BytesQueued() + static_cast<int64_t>(m_Waiting.size());
}

SocketFactory CliSocketFactory(SocketFactory inner, int64_t rate, bool verbose) {
    return [inner = std::move(inner), rate, verbose] {
        return std::make_unique<CliSocket>(inner(), rate, verbose);
    };
}
