#include "http/clsHTTP.h"

#include "http/modHTTP.h"
#include "platform/modFileSystem.h"
#include "platform/modText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <limits>

namespace {
using modText::EqualNoCase;
using modText::HexDigit;
using modText::Lower;

const char* const DefaultUserAgent = "Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)";

std::string ErrorText(int number, const std::string& description) {
    return "Fehler " + std::to_string(number) + ": " + description;
}

std::string ErrnoText(int number) {
    return ErrorText(number, std::strerror(number));
}

// The head is built from caller text (header values, a ready-made query): a CR or LF in it
// would start a line of its own.
std::string WithoutLineBreaks(std::string text) {
    std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
    return text;
}

// Names and file names inside a quoted Content-Disposition parameter.
std::string QuotedParameter(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '"')
            out += "%22";
        else if (c == '\r')
            out += "%0D";
        else if (c == '\n')
            out += "%0A";
        else
            out += c;
    }
    return out;
}

int64_t SizeOnDisk(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : static_cast<int64_t>(size);
}

int32_t WholeSeconds(Clock::TimePoint stamp, Clock::TimePoint now) {
    if (stamp == Clock::TimePoint{})
        return 0;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - stamp).count();
    return static_cast<int32_t>(std::clamp<int64_t>(seconds, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

} // namespace

clsHTTP::clsHTTP(std::unique_ptr<Socket> socket, const Clock& clock)
    : sckHTTP(std::move(socket)), m_Clock(clock) {
    sckHTTP->Connected = [this] { sckHTTP_Connect(); };
    sckHTTP->Encrypted = [this] { sckHTTP_Encrypted(); };
    sckHTTP->DataArrival = [this](int64_t bytesTotal) { sckHTTP_DataArrival(bytesTotal); };
    sckHTTP->SendProgress = [this](int64_t bytesSent, int64_t bytesRemaining) {
        sckHTTP_SendProgress(bytesSent, bytesRemaining);
    };
    sckHTTP->Closed = [this] { sckHTTP_Close(); };
    sckHTTP->Error = [this](int32_t number, const std::string& description) {
        sckHTTP_Error(number, description);
    };
}

clsHTTP::~clsHTTP() {
    CloseSendFile();
    CloseFile();
    sckHTTP->Connected = nullptr;
    sckHTTP->Encrypted = nullptr;
    sckHTTP->DataArrival = nullptr;
    sckHTTP->SendProgress = nullptr;
    sckHTTP->Closed = nullptr;
    sckHTTP->Error = nullptr;
    CloseSocket();
}

int32_t clsHTTP::RequestTime() const {
    return WholeSeconds(m_RequestStamp, m_Clock.Now());
}
int32_t clsHTTP::ReturnTime() const {
    return WholeSeconds(m_ReturnStamp, m_Clock.Now());
}
int32_t clsHTTP::Timeout() const {
    return WholeSeconds(m_ActivityStamp, m_Clock.Now());
}

bool clsHTTP::BodyComplete() const {
    if (m_State != HttpState::Complete || !m_HeaderDone)
        return false;
    // No body follows these, whatever the head announces.
    if (m_Method == 2 || m_ReturnCode == 204 || m_ReturnCode == 304)
        return true;
    if (m_Chunked)
        return m_ChunkSizeKnown && m_ChunkSize == 0;
    if (m_ReturnCode == 206) {
        const int64_t last = modHTTP::ContentRangeValue(m_ReturnHeader, 2);
        return last >= m_ReturnContentResume && m_ReturnContentPointer > last;
    }
    // Without a length the body runs until the close.
    return m_ReturnContentLength < 0 ||
           m_ReturnContentPointer - m_ReturnContentResume >= m_ReturnContentLength;
}

// --- methods ----------------------------------------------------------------------------------

int32_t clsHTTP::AddElement(const std::string& strName, const std::string& strValue,
                            int32_t lngType, bool blnReplace) {
    if (blnReplace) {
        for (std::size_t i = 0; i < m_Elements.size(); ++i) {
            if (m_Elements[i].Name == strName) {
                m_Elements[i] = {lngType, strName, strValue};
                return static_cast<int32_t>(i + 1);
            }
        }
    }
    m_Elements.push_back({lngType, strName, strValue});
    return static_cast<int32_t>(m_Elements.size());
}

int32_t clsHTTP::AddHeader(const std::string& strName, const std::string& strValue,
                           bool blnReplace) {
    if (blnReplace) {
        for (std::size_t i = 0; i < m_Headers.size(); ++i) {
            if (m_Headers[i].Name == strName) {
                m_Headers[i] = {strName, strValue};
                return static_cast<int32_t>(i + 1);
            }
        }
    }
    m_Headers.push_back({strName, strValue});
    return static_cast<int32_t>(m_Headers.size());
}

void clsHTTP::Cancel() {
    CloseFile();
    CloseSendFile();
    if (CloseSocket())
        EndRequest(HttpState::Cancelled, "");
}

bool clsHTTP::Reset() {
    m_State = HttpState::Idle;
    if (StateChanged)
        StateChanged(HttpState::Idle, "");
    m_Headers.clear();
    m_Elements.clear();
    m_Action.clear();
    m_EncType = 0;
    m_FilePath.clear();
    m_Flags = 0;
    m_Method = 0;
    m_Protocol = 1;
    m_Username.clear();
    m_Password.clear();
    m_ProxyHostname.clear();
    m_ProxyPort = 0;
    m_ProxyUsername.clear();
    m_ProxyPassword.clear();
    m_RequestStamp = {};
    m_ReturnStamp = {};
    m_ActivityStamp = {};
    AddHeader("Accept", "*/*", true);
    for (const char* name : {"Accept-Language", "Authorization", "Cache-Control", "Content-Length",
                             "Content-Type", "Connection", "Cookie", "Host", "Pragma",
                             "Proxy-Authorization", "Proxy-Connection", "Range", "Referer"})
        AddHeader(name, "", true);
    AddHeader("User-Agent", DefaultUserAgent, true);
    return true;
}

void clsHTTP::Submit() {
    // The redirect limit belongs to one request of the caller, not to the object's life.
    m_RedirectCount = 0;
    StartRequest();
}

std::string clsHTTP::FilterCRLF(const std::string& Data) const {
    return modHTTP::FilterCRLF(Data);
}

std::string clsHTTP::ExtractSubStr(const std::string& strData, const std::string& strLeft,
                                   const std::string& strRight, bool blnIgnoreCase,
                                   bool blnReverse) const {
    return modHTTP::ExtractSubStr(strData, strLeft, strRight, blnIgnoreCase, blnReverse);
}

// --- private helpers ----------------------------------------------------------------------------

std::string clsHTTP::Base64Encode(const std::string& text) const {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((text.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < text.size(); i += 3) {
        const uint32_t n = (static_cast<unsigned char>(text[i]) << 16) |
                           (static_cast<unsigned char>(text[i + 1]) << 8) |
                           static_cast<unsigned char>(text[i + 2]);
        out += alphabet[(n >> 18) & 63];
        out += alphabet[(n >> 12) & 63];
        out += alphabet[(n >> 6) & 63];
        out += alphabet[n & 63];
    }
    const std::size_t rest = text.size() - i;
    if (rest == 1) {
        const uint32_t n = static_cast<unsigned char>(text[i]) << 16;
        out += alphabet[(n >> 18) & 63];
        out += alphabet[(n >> 12) & 63];
        out += "==";
    } else if (rest == 2) {
        const uint32_t n = (static_cast<unsigned char>(text[i]) << 16) |
                           (static_cast<unsigned char>(text[i + 1]) << 8);
        out += alphabet[(n >> 18) & 63];
        out += alphabet[(n >> 12) & 63];
        out += alphabet[(n >> 6) & 63];
        out += '=';
    }
    return out;
}

bool clsHTTP::CloseFile() {
    if (!m_FileNumber)
        return false;
    std::fclose(m_FileNumber);
    m_FileNumber = nullptr;
    return true;
}

clsHTTP::FileHandle& clsHTTP::FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        m_Fd = other.m_Fd;
        other.m_Fd = -1;
    }
    return *this;
}

void clsHTTP::FileHandle::Close() {
    if (m_Fd >= 0)
        ::close(m_Fd);
    m_Fd = -1;
}

void clsHTTP::CloseSendFile() {
    m_SendingFile = false;
    m_SendFileLeft = 0;
    m_ReadPos = m_ReadEnd = 0;
    m_BodyQueue.clear(); // closes the files
}

// Our socket closes at once and raises nothing afterwards, so nothing has to be waited for.
// The socket's own state is not asked: after a failure it may already read as closed while
// the request still has to be ended.
bool clsHTTP::CloseSocket() {
    const bool open = m_SocketOpen;
    m_SocketOpen = false;
    if (open)
        sckHTTP->Close();
    return open;
}

// Raises StateChanged; false when the handler started or ended a request, so that the caller
// drops what is left of its work.
bool clsHTTP::ChangeState(int32_t state, const std::string& details) {
    const uint64_t generation = m_Generation;
    m_State = state;
    if (StateChanged)
        StateChanged(state, details);
    return generation == m_Generation;
}

// The end of a request that was not redirected: everything is closed before the events, and
// DocumentComplete is the last thing done.
void clsHTTP::EndRequest(int32_t state, const std::string& details, bool withResult) {
    CloseSendFile();
    CloseFile();
    CloseSocket();
    ++m_Generation;
    if (state == HttpState::Failed)
        m_FailureDetails = details;
    if (!ChangeState(state, details))
        return;
    if (!DocumentComplete)
        return;
    if (!withResult) {
        DocumentComplete(0, {}, {}, {});
        return;
    }
    const int32_t code = m_ReturnCode;
    const std::string message = m_ReturnMessage;
    const std::string header = m_ReturnHeader;
    const std::string data = m_FilePath;
    DocumentComplete(code, message, header, data);
}

void clsHTTP::StartRequest() {
    // A connection still open belongs to an earlier request, which is dropped without events.
    CloseSendFile();
    CloseFile();
    CloseSocket();
    ++m_Generation;

    m_Url =
        modUrl::CrackUrl(modUrl::CanonicalizeUrl(m_Action, modUrl::CanonicalizeMode::SpacesOnly));
    // Any other scheme leaves no host to connect to, and the attempt fails through the error
    // path instead of talking http to a port that speaks something else.
    if (m_Url.Scheme != "http" && m_Url.Scheme != "https")
        m_Url = {};
    // A fragment names a place in the document for the reader; browsers never send it.
    m_Url.ExtraInfo.erase(std::min(m_Url.ExtraInfo.find('#'), m_Url.ExtraInfo.size()));
    if (!m_Username.empty())
        m_Url.UserName = m_Username;
    if (!m_Password.empty())
        m_Url.Password = m_Password;

    std::string openError;
    if (m_Flags & HttpFlags::StoreInFile) {
        if (m_FilePath.empty()) {
            m_FilePath = modFileSystem::TempFile("");
        } else if ((m_Flags & HttpFlags::Resume) && modFileSystem::FileExists(m_FilePath)) {
            AddHeader("Range", "bytes=" + std::to_string(SizeOnDisk(m_FilePath)) + "-", true);
        }
        if (!(m_Flags & HttpFlags::Resume) && modFileSystem::FileExists(m_FilePath))
            modFileSystem::DeleteFile(m_FilePath, true);
        // Opened without truncation: a resumed body continues the existing bytes.
        errno = 0;
        m_FileNumber = std::fopen(m_FilePath.c_str(), "r+b");
        if (!m_FileNumber && errno == ENOENT)
            m_FileNumber = std::fopen(m_FilePath.c_str(), "w+b");
        if (!m_FileNumber)
            openError = ErrnoText(errno ? errno : ENOENT);
    } else {
        m_FilePath.clear();
    }

    if (m_Flags & HttpFlags::NoCache) {
        AddHeader("Cache-Control", "no-cache", true);
        AddHeader("Pragma", "no-cache", true);
    }
    if (m_Flags & HttpFlags::SendReferer) {
        UrlParts referer;
        referer.Scheme = m_Url.Scheme;
        referer.HostName = m_Url.HostName;
        referer.Port = m_Url.Port;
        const auto slash = m_Url.UrlPath.rfind('/');
        if (slash != std::string::npos)
            referer.UrlPath = m_Url.UrlPath.substr(0, slash + 1);
        AddHeader("Referer", modUrl::CreateUrl(referer), true);
    }

    m_BytesLoad = 0;
    m_BytesSend = 0;
    m_RequestHeaderLength = 0;
    m_RequestContentLength = 0;
    m_ReturnCode = 0;
    m_FailureDetails.clear();
    m_SocketError = -1;
    m_ReturnHeaderLength = 0;
    m_ReturnContentResume = 0;
    m_ReturnContentPointer = 0;
    m_ReturnContentLength = -1;
    m_RequestHeader.clear();
    m_ReturnMessage.clear();
    m_ReturnHeader.clear();
    m_Boundary.clear();
    m_ChunkBuffer.clear();
    m_ChunkSize = 0;
    m_Chunked = false;
    m_ChunkSizeKnown = false;
    m_HeaderDone = false;
    m_Channel = Channel::Connecting;
    m_TunnelAnswer.clear();
    m_RequestStamp = m_Clock.Now();
    m_ActivityStamp = m_RequestStamp;

    if (!openError.empty()) {
        EndRequest(HttpState::Failed, openError, false);
        return;
    }

    // The socket reports every failure of the attempt later, through Error, so a Cancel from
    // inside the StateChanged below already finds a connection to close.
    m_State = HttpState::Connecting;
    m_SocketOpen = true;
    // A target without a host is refused by the socket, so it fails through the error path
    // instead of going to a proxy that would be sent the cookies, credentials and body.
    if ((m_Flags & HttpFlags::UseProxy) && !m_Url.HostName.empty())
        sckHTTP->Connect(m_ProxyHostname, m_ProxyPort);
    else
        sckHTTP->Connect(m_Url.HostName, m_Url.Port);
    ChangeState(HttpState::Connecting, m_Url.HostName);
}

// --- request side -------------------------------------------------------------------------------

void clsHTTP::sckHTTP_Connect() {
    if (!m_SocketOpen || m_Channel != Channel::Connecting)
        return;
    if (m_Url.Scheme != "https") {
        m_Channel = Channel::Ready;
        SendRequest();
    } else if (m_Flags & HttpFlags::UseProxy) {
        SendTunnelRequest();
    } else {
        m_Channel = Channel::Handshake;
        sckHTTP->StartEncryption(m_Url.HostName);
    }
}

void clsHTTP::sckHTTP_Encrypted() {
    if (!m_SocketOpen || m_Channel != Channel::Handshake)
        return;
    m_Channel = Channel::Ready;
    SendRequest();
}

// The tunnel's request names the server as host:port, always with the port (RFC 9110, 9.3.6).
void clsHTTP::SendTunnelRequest() {
    m_Channel = Channel::Tunnel;
    const std::string authority =
        WithoutLineBreaks(m_Url.HostName + ":" + std::to_string(m_Url.Port));
    std::string head = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
    if (!m_ProxyUsername.empty() || !m_ProxyPassword.empty())
        head += "Proxy-Authorization: Basic " +
                Base64Encode(m_ProxyUsername + ":" + m_ProxyPassword) + "\r\n";
    head += "\r\n";
    sckHTTP->SendData(head);
}

// The proxy's answer to CONNECT: a 2xx opens the tunnel and TLS starts inside it; anything else
// ends the request with the proxy's status, its head kept as the request's answer.
void clsHTTP::ReadTunnelAnswer() {
    m_TunnelAnswer += sckHTTP->GetData();
    const auto end = m_TunnelAnswer.find("\r\n\r\n");
    if (end == std::string::npos) {
        if (static_cast<int64_t>(m_TunnelAnswer.size()) > MaxHeadLength)
            EndRequest(HttpState::Failed, ErrorText(EMSGSIZE, "Proxy answer too large"));
        return;
    }
    const std::string head = m_TunnelAnswer.substr(0, end + 4);
    const int32_t code = modHTTP::StatusCode(head);
    if (code >= 200 && code <= 299 && m_TunnelAnswer.size() == end + 4) {
        m_TunnelAnswer.clear();
        m_Channel = Channel::Handshake;
        sckHTTP->StartEncryption(m_Url.HostName);
        return;
    }
    m_ReturnHeader = head;
    m_ReturnHeaderLength = static_cast<int64_t>(head.size());
    m_ReturnCode = code;
    m_ReturnMessage = modHTTP::StatusMessage(head);
    const std::string tunnel = m_Url.HostName + ":" + std::to_string(m_Url.Port);
    const std::string why =
        code >= 200 && code <= 299
            ? "Unexpected data after the tunnel to " + tunnel + " opened"
            : m_ReturnMessage + " (the proxy refused the tunnel to " + tunnel + ")";
    EndRequest(HttpState::Failed, ErrorText(code, why));
}

void clsHTTP::SendRequest() {
    if (!ChangeState(HttpState::Connected, m_Url.HostName))
        return;

    const bool secure = m_Url.Scheme == "https";
    const bool proxyForm = (m_Flags & HttpFlags::UseProxy) && !secure;
    const std::string host = m_Url.Port == (secure ? 443 : 80)
                                 ? m_Url.HostName
                                 : m_Url.HostName + ":" + std::to_string(m_Url.Port);
    AddHeader("Host", host, true);
    AddHeader("Connection", "Close", true);
    if (!m_Url.UserName.empty() || !m_Url.Password.empty())
        AddHeader("Authorization", "Basic " + Base64Encode(m_Url.UserName + ":" + m_Url.Password),
                  true);
    std::string prefix;
    if (proxyForm) {
        AddHeader("Proxy-Connection", "Close", true);
        if (!m_ProxyUsername.empty() || !m_ProxyPassword.empty())
            AddHeader("Proxy-Authorization",
                      "Basic " + Base64Encode(m_ProxyUsername + ":" + m_ProxyPassword), true);
        prefix = "http://" + host;
    }
    // A request target is never empty.
    const std::string path = m_Url.UrlPath.empty() ? std::string("/") : m_Url.UrlPath;
    const std::string version = " HTTP/1." + std::to_string(m_Protocol) + "\r\n";

    const bool multipart = m_Method == 1 && m_EncType == 2;
    const bool urlEncoded = m_Method == 1 && m_EncType == 1;
    std::string requestLine;
    std::string body;
    m_BodyQueue.clear();

    if (multipart) {
        m_Boundary = modHTTP::MakeBoundary();
        const std::string delimiter = "--" + m_Boundary + "\r\n";
        int64_t length = 0;
        auto addText = [&](std::string text) {
            length += static_cast<int64_t>(text.size());
            m_BodyQueue.push_back({std::move(text), {}, 0, false});
        };
        for (const FormElement& element : m_Elements) {
            addText(delimiter);
            if (element.Type == 1) {
                // Only the file's own name goes out, as browsers send it: its folders would tell
                // the service the user's name and the layout of the disk.
                addText("Content-Disposition: form-data; name=\"" + QuotedParameter(element.Name) +
                        "\"; filename=\"" +
                        QuotedParameter(modFileSystem::GetFileName(element.Value)) + "\"\r\n");
                addText("Content-Type: " + modFileSystem::GetContentType(element.Value) + "\r\n");
                addText("\r\n");
                // Opened without blocking (a pipe or a device put in the file's place would
                // wait for a writer) and checked on the open descriptor. A file we cannot read
                // would leave the announced length unsent; one that is not there goes empty.
                FileHandle file(::open(element.Value.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
                struct stat st {};
                const int openError = file.Get() < 0 ? errno : 0;
                if (openError != ENOENT && openError != ENOTDIR) {
                    int number = openError;
                    if (!number && ::fstat(file.Get(), &st) != 0)
                        number = errno ? errno : EIO;
                    if (!number && !S_ISREG(st.st_mode))
                        number = EINVAL;
                    if (number) {
                        m_BodyQueue.clear();
                        EndRequest(HttpState::Failed, ErrnoText(number));
                        return;
                    }
                    const int64_t size = static_cast<int64_t>(st.st_size);
                    length += size;
                    m_BodyQueue.push_back({{}, std::move(file), size, true});
                }
                addText("\r\n");
            } else {
                addText("Content-Disposition: form-data; name=\"" + QuotedParameter(element.Name) +
                        "\"\r\n");
                addText("\r\n");
                addText(element.Value + "\r\n");
            }
        }
        addText("--" + m_Boundary + "--\r\n");
        m_RequestContentLength = length;
        AddHeader("Content-Type", "multipart/form-data; boundary=" + m_Boundary, true);
        AddHeader("Content-Length", std::to_string(length), true);
        requestLine = "POST " + WithoutLineBreaks(prefix + path + m_Url.ExtraInfo) + version;
    } else if (urlEncoded) {
        for (std::size_t i = 0; i < m_Elements.size(); ++i) {
            if (i > 0)
                body += '&';
            body += modUrl::UrlEncode(m_Elements[i].Name) + "=" +
                    modUrl::UrlEncode(m_Elements[i].Value);
        }
        m_RequestContentLength = static_cast<int64_t>(body.size());
        AddHeader("Content-Type", "application/x-www-form-urlencoded", true);
        AddHeader("Content-Length", std::to_string(body.size()), true);
        requestLine = "POST " + WithoutLineBreaks(prefix + path + m_Url.ExtraInfo) + version;
    } else {
        std::string query = m_Url.ExtraInfo;
        if (!m_Elements.empty()) {
            if (m_Elements.front().Type == 2) {
                query = "?" + m_Elements.front().Value;
            } else {
                for (const FormElement& element : m_Elements)
                    query += (query.empty() ? "?" : "&") + modUrl::UrlEncode(element.Name) + "=" +
                             modUrl::UrlEncode(element.Value);
            }
        }
        requestLine =
            (m_Method == 2 ? "HEAD " : "GET ") + WithoutLineBreaks(prefix + path + query) + version;
    }

    std::string head = requestLine;
    for (const HeaderEntry& entry : m_Headers) {
        if (entry.Value.empty())
            continue;
        head += WithoutLineBreaks(entry.Name) + ": " + WithoutLineBreaks(entry.Value) + "\r\n";
    }
    head += "\r\n";
    m_RequestHeader = head;
    m_RequestHeaderLength = static_cast<int64_t>(head.size());

    if (!ChangeState(HttpState::SendingHeader, ""))
        return;
    sckHTTP->SendData(m_RequestHeader);
    if (!multipart && !urlEncoded)
        return;
    if (!ChangeState(HttpState::SendingBody, ""))
        return;
    if (urlEncoded) {
        if (!body.empty())
            sckHTTP->SendData(body);
        return;
    }
    const std::string error = FeedBody();
    if (!error.empty())
        EndRequest(HttpState::Failed, error);
}

// Hands queued body sends to the socket while they fit under the high-water mark; the rest
// follows on send progress. A text larger than the mark goes alone once the socket has drained.
// Returns a "Fehler " text when a file cannot be read.
std::string clsHTTP::FeedBody() {
    while (!m_BodyQueue.empty()) {
        BodyPiece& piece = m_BodyQueue.front();
        int64_t queued = sckHTTP->BytesQueued();
        if (!piece.IsFile) {
            if (queued > 0 && queued + static_cast<int64_t>(piece.Text.size()) > SendHighWater)
                return {};
            sckHTTP->SendData(piece.Text);
            m_BodyQueue.pop_front();
            continue;
        }
        if (!m_SendingFile) {
            m_SendingFile = true;
            m_SendFileLeft = piece.Size;
            m_ReadPos = m_ReadEnd = 0;
        }
        while (m_SendFileLeft > 0) {
            const int64_t want = std::min<int64_t>(PieceSize, m_SendFileLeft);
            if (queued + want > SendHighWater)
                return {};
            if (static_cast<int64_t>(m_ReadEnd - m_ReadPos) < want) {
                const std::string error = ReadFileBlock(piece.File.Get());
                if (!error.empty())
                    return error;
                if (static_cast<int64_t>(m_ReadEnd - m_ReadPos) < want)
                    continue; // a short read: the next one brings the rest or ends the file
            }
            sckHTTP->SendData(std::string_view(m_ReadBlock.data() + m_ReadPos, want));
            m_ReadPos += static_cast<std::size_t>(want);
            m_SendFileLeft -= want;
            queued += want;
        }
        m_SendingFile = false;
        m_BodyQueue.pop_front(); // closes the file
    }
    return {};
}

// Moves what is left of the block to its start and reads up to a block more, never past the
// announced length. Returns a "Fehler " text when the file cannot be read or ends early.
std::string clsHTTP::ReadFileBlock(int fd) {
    // A small file needs no large block.
    const auto needed =
        static_cast<std::size_t>(std::min(ReadBlockSize, std::max(PieceSize, m_SendFileLeft)));
    if (m_ReadBlock.size() < needed)
        m_ReadBlock.resize(needed);
    const std::size_t kept = m_ReadEnd - m_ReadPos;
    if (kept > 0 && m_ReadPos > 0)
        std::memmove(m_ReadBlock.data(), m_ReadBlock.data() + m_ReadPos, kept);
    m_ReadPos = 0;
    m_ReadEnd = kept;
    const int64_t room = std::min<int64_t>(static_cast<int64_t>(m_ReadBlock.size() - kept),
                                           m_SendFileLeft - static_cast<int64_t>(kept));
    for (;;) {
        const ssize_t got = ::read(fd, m_ReadBlock.data() + kept, static_cast<std::size_t>(room));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return ErrnoText(errno ? errno : EIO);
        // The file shrank after its length was announced.
        if (got == 0)
            return ErrnoText(EIO);
        m_ReadEnd += static_cast<std::size_t>(got);
        return {};
    }
}

void clsHTTP::sckHTTP_SendProgress(int64_t bytesSent, int64_t /*bytesRemaining*/) {
    // The CONNECT request is the proxy's, not part of the request's accounting.
    if (!m_SocketOpen || m_Channel != Channel::Ready)
        return;
    m_BytesSend += bytesSent;
    m_ActivityStamp = m_Clock.Now();
    if (!m_BodyQueue.empty()) {
        const std::string error = FeedBody();
        if (!error.empty()) {
            EndRequest(HttpState::Failed, error);
            return;
        }
    }
    if (m_BytesSend >= m_RequestHeaderLength + m_RequestContentLength && m_State < HttpState::Sent)
        ChangeState(HttpState::Sent, "");
}

// --- response side ------------------------------------------------------------------------------

bool clsHTTP::StorePiece(const std::string& piece, std::string& error) {
    // A server's content range may start anywhere; the pointer must not wrap past it.
    if (static_cast<int64_t>(piece.size()) >
        std::numeric_limits<int64_t>::max() - m_ReturnContentPointer) {
        error = ErrnoText(EOVERFLOW);
        return false;
    }
    if (!(m_Flags & HttpFlags::StoreInFile)) {
        m_FilePath += piece;
        return true;
    }
    if (!m_FileNumber || piece.empty())
        return true;
    errno = 0;
    // Flushed at once so that a full disk shows here, not unnoticed at the close.
    if (fseeko(m_FileNumber, static_cast<off_t>(m_ReturnContentPointer), SEEK_SET) != 0 ||
        std::fwrite(piece.data(), 1, piece.size(), m_FileNumber) != piece.size() ||
        std::fflush(m_FileNumber) != 0) {
        error = ErrnoText(errno ? errno : EIO);
        return false;
    }
    return true;
}

// Reads the leading hexadecimal digits of a chunk-size line. A size that does not fit a byte
// count is an error, not a wrapped number.
bool clsHTTP::ReadChunkSize(const std::string& text, std::string& error) {
    int64_t value = 0;
    for (char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0)
            break;
        if (value > (std::numeric_limits<int64_t>::max() - digit) / 16) {
            error = ErrorText(EPROTO, "Invalid chunk size");
            return false;
        }
        value = value * 16 + digit;
    }
    m_ChunkSize = value;
    return true;
}

bool clsHTTP::DecodeChunks(std::string& error) {
    // After the last chunk only trailers follow, which are never read.
    if (m_ChunkSizeKnown && m_ChunkSize == 0)
        return true;
    const uint64_t generation = m_Generation;
    // Decoded from a read position and cut once at the end: cutting the buffer after every
    // chunk would cost its whole length per chunk, which many small chunks make quadratic.
    std::size_t pos = 0;
    if (!m_ChunkSizeKnown) {
        const auto crlf = m_ChunkBuffer.find("\r\n");
        if (crlf == std::string::npos) {
            if (static_cast<int64_t>(m_ChunkBuffer.size()) > MaxHeadLength) {
                error = ErrorText(EPROTO, "Invalid chunk size");
                return false;
            }
            return true;
        }
        if (!ReadChunkSize(m_ChunkBuffer.substr(0, crlf), error))
            return false;
        pos = crlf + 2;
        m_ChunkSizeKnown = true;
    }
    while (m_ChunkSize > 0 && static_cast<int64_t>(m_ChunkBuffer.size() - pos) - 2 > m_ChunkSize) {
        const std::size_t dataEnd = pos + static_cast<std::size_t>(m_ChunkSize);
        const auto crlf = m_ChunkBuffer.find("\r\n", dataEnd + 2);
        if (crlf == std::string::npos) {
            if (static_cast<int64_t>(m_ChunkBuffer.size() - dataEnd - 2) > MaxHeadLength) {
                error = ErrorText(EPROTO, "Invalid chunk size");
                return false;
            }
            break;
        }
        const std::string chunk = m_ChunkBuffer.substr(pos, dataEnd - pos);
        if (!StorePiece(chunk, error))
            return false;
        m_ReturnContentPointer += m_ChunkSize;
        if (DocumentChunkReceived) {
            DocumentChunkReceived(chunk);
            if (generation != m_Generation)
                return true;
        }
        if (!ReadChunkSize(m_ChunkBuffer.substr(dataEnd + 2, crlf - dataEnd - 2), error))
            return false;
        pos = crlf + 2;
    }
    if (m_ChunkSize == 0)
        m_ChunkBuffer.clear();
    else
        m_ChunkBuffer.erase(0, pos);
    return true;
}

void clsHTTP::sckHTTP_DataArrival(int64_t /*bytesTotal*/) {
    if (!m_SocketOpen)
        return;
    if (m_Channel == Channel::Tunnel) {
        ReadTunnelAnswer();
        return;
    }
    if (m_Channel != Channel::Ready) {
        // Nothing is asked before the channel is ready; what comes unasked is not an answer.
        sckHTTP->GetData();
        return;
    }
    const uint64_t generation = m_Generation;
    const auto now = m_Clock.Now();
    if (m_ReturnStamp == Clock::TimePoint{})
        m_ReturnStamp = now;
    // Counted as read: what the socket hands over is what arrived.
    std::string data = sckHTTP->GetData();
    m_BytesLoad += static_cast<int64_t>(data.size());
    m_ActivityStamp = now;

    if (!m_HeaderDone) {
        if (m_State != HttpState::ReceivingHeader && !ChangeState(HttpState::ReceivingHeader, ""))
            return;
        m_ReturnHeader += data;
        for (;;) {
            const auto end = m_ReturnHeader.find("\r\n\r\n");
            const int64_t blockLength =
                end == std::string::npos ? static_cast<int64_t>(m_ReturnHeader.size()) : end + 4;
            if (blockLength > MaxHeadLength) {
                EndRequest(HttpState::Failed, ErrorText(EMSGSIZE, "Response header too large"));
                return;
            }
            if (end == std::string::npos)
                return;
            data = m_ReturnHeader.substr(end + 4);
            m_ReturnHeader.resize(end + 4);
            m_ReturnHeaderLength = static_cast<int64_t>(m_ReturnHeader.size());
            m_ReturnCode = modHTTP::StatusCode(m_ReturnHeader);
            m_ReturnMessage = modHTTP::StatusMessage(m_ReturnHeader);
            if (m_ReturnCode < 100 || m_ReturnCode > 199)
                break;
            // An interim answer (100 Continue): skipped, the final header follows. Until it
            // has come there is no header, as before the interim one.
            m_BytesLoad -= m_ReturnHeaderLength;
            m_ReturnHeader = data;
            m_ReturnHeaderLength = 0;
            m_ReturnCode = 0;
            m_ReturnMessage.clear();
        }
        if (m_ReturnCode == 206) {
            m_ReturnContentResume = modHTTP::ContentRangeValue(m_ReturnHeader, 1);
            if (m_ReturnContentLength < 0)
                m_ReturnContentLength = modHTTP::ContentRangeValue(m_ReturnHeader, 3);
        } else if (m_ReturnContentLength < 0) {
            const std::string length = modHTTP::HeaderValue(m_ReturnHeader, "Content-Length:", "");
            m_ReturnContentLength = length.empty() ? -1 : modHTTP::NumericValue(length);
        }
        m_ReturnContentPointer = m_ReturnContentResume;
        m_Chunked =
            (m_Flags & HttpFlags::DecodeChunked) &&
            Lower(modHTTP::HeaderValue(m_ReturnHeader, "Transfer-Encoding:", "")).find("chunked") !=
                std::string::npos;
        m_HeaderDone = true;
        if (DocumentHeaderReceived) {
            const int32_t code = m_ReturnCode;
            const std::string message = m_ReturnMessage;
            const std::string header = m_ReturnHeader;
            DocumentHeaderReceived(code, message, header);
            if (generation != m_Generation)
                return;
        }
    }

    if (m_State != HttpState::ReceivingBody && !ChangeState(HttpState::ReceivingBody, ""))
        return;
    std::string error;
    if (!m_Chunked) {
        if (!StorePiece(data, error)) {
            EndRequest(HttpState::Failed, error);
            return;
        }
        m_ReturnContentPointer += static_cast<int64_t>(data.size());
        if (DocumentChunkReceived)
            DocumentChunkReceived(data);
        return;
    }
    if (!(m_ChunkSizeKnown && m_ChunkSize == 0))
        m_ChunkBuffer += data;
    if (!DecodeChunks(error) && generation == m_Generation)
        EndRequest(HttpState::Failed, error);
}

void clsHTTP::sckHTTP_Close() {
    if (!m_SocketOpen)
        return;
    if (m_Channel == Channel::Tunnel || m_Channel == Channel::Handshake) {
        EndRequest(HttpState::Failed, ErrorText(ECONNRESET, "The connection to " + m_Url.HostName +
                                                                " closed before it was secured"));
        return;
    }
    CloseSocket();
    CloseFile();
    CloseSendFile();

    std::string location;
    if ((m_Flags & HttpFlags::FollowRedirects) && m_ReturnCode >= 300 && m_ReturnCode <= 399)
        location = modHTTP::HeaderValue(m_ReturnHeader, "Location:", "");
    if (location.empty() || m_RedirectCount >= MaxRedirects) {
        EndRequest(HttpState::Complete, "");
        return;
    }

    ++m_RedirectCount;
    const std::string next = modUrl::CombineUrl(m_Action, location);
    const UrlParts target =
        modUrl::CrackUrl(modUrl::CanonicalizeUrl(next, modUrl::CanonicalizeMode::SpacesOnly));
    if (!EqualNoCase(target.Scheme, m_Url.Scheme) ||
        !EqualNoCase(target.HostName, m_Url.HostName) || target.Port != m_Url.Port) {
        // Credentials go only to the server they were meant for.
        for (HeaderEntry& entry : m_Headers) {
            if (EqualNoCase(entry.Name, "Authorization") || EqualNoCase(entry.Name, "Cookie"))
                entry.Value.clear();
        }
        m_Username.clear();
        m_Password.clear();
    }
    m_Action = next;
    const uint64_t generation = m_Generation;
    if (!ChangeState(HttpState::Redirecting, ""))
        return;
    if (Redirecting) {
        Redirecting(modUrl::CanonicalizeUrl(m_Action, modUrl::CanonicalizeMode::Decode));
        if (generation != m_Generation)
            return;
    }
    StartRequest();
}

void clsHTTP::sckHTTP_Error(int32_t Number, const std::string& Description) {
    CloseFile();
    CloseSendFile();
    m_SocketError = Number;
    if (CloseSocket())
        EndRequest(HttpState::Failed,
                   "Winsock Fehler " + std::to_string(Number) + ": " + Description);
}
