#pragma once
// clsHTTP: one HTTP/1.x request at a time over one TCP connection.
//
// Owner: whoever creates it (clsUpload, clsInfo); it owns its socket. Calling order: Reset,
// properties, AddElement/AddHeader, Submit, then wait for DocumentComplete, which ends every
// request exactly once and is the last thing the raising handler does, so the owner may Reset
// and Submit again from inside it. Failures are reported by StateChanged(-3, text) followed by
// DocumentComplete; nothing is thrown.
//
// Any event handler may call Cancel, or Reset and Submit; the object then drops the rest of the
// work of the notification that raised the event. The object must not be destroyed inside one
// of its own event handlers.
//
// With FollowRedirects at most MaxRedirects redirects are followed per caller's Submit; one to
// another scheme, host or port drops "Authorization", "Cookie", Username and Password.
//
// "http" and "https" URLs are requested; any other Action fails through the error path. An
// "https" request sends the same bytes inside TLS once the socket has verified the server's
// certificate; a certificate that fails the check ends the request through the error path before
// a byte of it is sent. Through the proxy an "https" request first asks for a tunnel with
// "CONNECT host:port" (with the proxy's credentials) and then speaks TLS to the server inside it;
// a proxy that refuses the tunnel ends the request as failed with its status. The proxy's
// credentials never travel inside the tunnel.
//
// File content is fed to the socket lazily in pieces of PieceSize bytes, refilled on send
// progress, so that the socket never holds more than SendHighWater bytes of the request (a
// single head or form value larger than that goes alone) and memory does not grow with the file
// size.
#include "http/Socket.h"
#include "http/modUrl.h"
#include "platform/Clock.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// State values carried by StateChanged.
namespace HttpState {
constexpr int32_t Idle = 0;
constexpr int32_t Connecting = 1;
constexpr int32_t Connected = 2;
constexpr int32_t SendingHeader = 3;
constexpr int32_t SendingBody = 4;
constexpr int32_t Sent = 5;
constexpr int32_t ReceivingHeader = 6;
constexpr int32_t ReceivingBody = 7;
constexpr int32_t Complete = 8;
constexpr int32_t Redirecting = -1;
constexpr int32_t Cancelled = -2;
constexpr int32_t Failed = -3;
} // namespace HttpState

// Option bits of Flags.
namespace HttpFlags {
constexpr int32_t StoreInFile = 1;
constexpr int32_t Resume = 2;
constexpr int32_t DecodeChunked = 4;
constexpr int32_t FollowRedirects = 8;
constexpr int32_t NoCache = 16;
constexpr int32_t SendReferer = 32;
constexpr int32_t UseProxy = 64;
} // namespace HttpFlags

class clsHTTP {
public:
    explicit clsHTTP(std::unique_ptr<Socket> socket, const Clock& clock = Clock::System());
    ~clsHTTP();
    clsHTTP(const clsHTTP&) = delete;
    clsHTTP& operator=(const clsHTTP&) = delete;

    static constexpr int64_t PieceSize = 1024;
    static constexpr int64_t SendHighWater = 256 * 1024;
    // A response head (or a chunk-size line) longer than this ends the request as failed.
    static constexpr int64_t MaxHeadLength = 64 * 1024;
    static constexpr int32_t MaxRedirects = 5;

    // --- properties, in the order of the interface ---------------------------------------
    const std::string& Action() const { return m_Action; }
    void SetAction(const std::string& value) { m_Action = value; }
    const std::string& FilePath() const { return m_FilePath; }
    void SetFilePath(const std::string& value) { m_FilePath = value; }
    int32_t EncType() const { return m_EncType; }
    void SetEncType(int32_t value) { m_EncType = value; }
    int32_t Flags() const { return m_Flags; }
    void SetFlags(int32_t value) { m_Flags = value; }
    int32_t Method() const { return m_Method; }
    void SetMethod(int32_t value) { m_Method = value; }
    int32_t Protocol() const { return m_Protocol; }
    void SetProtocol(int32_t value) { m_Protocol = value; }
    const std::string& Username() const { return m_Username; }
    void SetUsername(const std::string& value) { m_Username = value; }
    const std::string& Password() const { return m_Password; }
    void SetPassword(const std::string& value) { m_Password = value; }
    const std::string& ProxyHostname() const { return m_ProxyHostname; }
    void SetProxyHostname(const std::string& value) { m_ProxyHostname = value; }
    int32_t ProxyPort() const { return m_ProxyPort; }
    void SetProxyPort(int32_t value) { m_ProxyPort = value; }
    const std::string& ProxyUsername() const { return m_ProxyUsername; }
    void SetProxyUsername(const std::string& value) { m_ProxyUsername = value; }
    const std::string& ProxyPassword() const { return m_ProxyPassword; }
    void SetProxyPassword(const std::string& value) { m_ProxyPassword = value; }
    int64_t BytesLoad() const { return m_BytesLoad; }
    int64_t BytesSend() const { return m_BytesSend; }
    const std::string& RequestHeader() const { return m_RequestHeader; }
    int64_t RequestHeaderLength() const { return m_RequestHeaderLength; }
    int64_t RequestContentLength() const { return m_RequestContentLength; }
    int32_t RequestTime() const;
    int32_t ReturnCode() const { return m_ReturnCode; }
    const std::string& ReturnMessage() const { return m_ReturnMessage; }
    const std::string& ReturnHeader() const { return m_ReturnHeader; }
    int64_t ReturnHeaderLength() const { return m_ReturnHeaderLength; }
    int64_t ReturnContentLength() const { return m_ReturnContentLength; }
    int64_t ReturnContentResume() const { return m_ReturnContentResume; }
    int64_t ReturnContentPointer() const { return m_ReturnContentPointer; }
    int32_t ReturnTime() const;
    int32_t Timeout() const;

    // --- methods ----------------------------------------------------------------------------
    int32_t AddElement(const std::string& strName, const std::string& strValue, int32_t lngType,
                       bool blnReplace = false);
    int32_t AddHeader(const std::string& strName, const std::string& strValue,
                      bool blnReplace = false);
    void Cancel();
    bool Reset();
    void Submit();
    std::string FilterCRLF(const std::string& Data) const;
    std::string ExtractSubStr(const std::string& strData, const std::string& strLeft,
                              const std::string& strRight, bool blnIgnoreCase = false,
                              bool blnReverse = false) const;

    // The current state value (not a property of the interface; handy for owners and tests).
    int32_t State() const { return m_State; }
    // True once the request ended in state 8 with the whole body: every byte a Content-Length
    // (or a 206 range) announced, or the last chunk of a decoded chunked body. A peer that
    // closes early still ends the request in state 8; an owner that reads the body asks here.
    bool BodyComplete() const;
    // How the last request failed: the details its StateChanged(-3) carried ("" when it did not
    // fail), and the socket's error number when the connection failed (-1 otherwise), so that
    // an owner can tell the user why in plain words.
    const std::string& FailureDetails() const { return m_FailureDetails; }
    int32_t SocketError() const { return m_SocketError; }

    // --- events -----------------------------------------------------------------------------
    std::function<void(int32_t ReturnCode, const std::string& ReplyMessage,
                       const std::string& Header)>
        DocumentHeaderReceived;
    std::function<void(const std::string& DocumentChunk)> DocumentChunkReceived;
    std::function<void(int32_t ReturnCode, const std::string& ReplyMessage,
                       const std::string& Header, const std::string& Data)>
        DocumentComplete;
    std::function<void(int32_t State, const std::string& Details)> StateChanged;
    std::function<void(const std::string& Location)> Redirecting;

private:
    struct HeaderEntry {
        std::string Name;
        std::string Value;
    };
    struct FormElement {
        int32_t Type = 0;
        std::string Name;
        std::string Value;
    };
    // An open file descriptor, closed with its owner.
    class FileHandle {
    public:
        FileHandle() = default;
        explicit FileHandle(int fd) : m_Fd(fd) {}
        FileHandle(FileHandle&& other) noexcept : m_Fd(other.m_Fd) { other.m_Fd = -1; }
        FileHandle& operator=(FileHandle&& other) noexcept;
        FileHandle(const FileHandle&) = delete;
        FileHandle& operator=(const FileHandle&) = delete;
        ~FileHandle() { Close(); }
        int Get() const { return m_Fd; }
        void Close();

    private:
        int m_Fd = -1;
    };
    // One send of the request body: a ready text, or a file sent in pieces. The file is opened
    // and checked when the head announces its length, and read from that descriptor, so that
    // what is sent is the file that was measured.
    struct BodyPiece {
        std::string Text;
        FileHandle File;  // file pieces only
        int64_t Size = 0; // file pieces only: bytes to send
        bool IsFile = false;
    };
    // The file is read in blocks this large and handed on in pieces of PieceSize.
    static constexpr int64_t ReadBlockSize = 256 * 1024;

    std::string Base64Encode(const std::string& text) const;
    bool CloseFile();
    bool CloseSocket();
    void CloseSendFile();
    void StartRequest();
    bool ChangeState(int32_t state, const std::string& details);
    // withResult false: DocumentComplete carries 0 and empty texts (nothing was requested).
    void EndRequest(int32_t state, const std::string& details, bool withResult = true);
    std::string FeedBody();
    std::string ReadFileBlock(int fd);
    bool StorePiece(const std::string& piece, std::string& error);
    bool DecodeChunks(std::string& error);
    bool ReadChunkSize(const std::string& text, std::string& error);
    void sckHTTP_Connect();
    void sckHTTP_Encrypted();
    void SendRequest();
    void SendTunnelRequest();
    void ReadTunnelAnswer();
    void sckHTTP_DataArrival(int64_t bytesTotal);
    void sckHTTP_SendProgress(int64_t bytesSent, int64_t bytesRemaining);
    void sckHTTP_Close();
    void sckHTTP_Error(int32_t Number, const std::string& Description);

    std::string m_Action;
    std::string m_FilePath;
    int32_t m_EncType = 0;
    int32_t m_Flags = 0;
    int32_t m_Method = 0;
    int32_t m_Protocol = 0;
    std::string m_Username;
    std::string m_Password;
    std::string m_ProxyHostname;
    int32_t m_ProxyPort = 0;
    std::string m_ProxyUsername;
    std::string m_ProxyPassword;
    int64_t m_BytesLoad = 0;
    int64_t m_BytesSend = 0;
    std::string m_RequestHeader;
    int64_t m_RequestHeaderLength = 0;
    int64_t m_RequestContentLength = 0;
    int32_t m_ReturnCode = 0;
    std::string m_ReturnMessage;
    std::string m_ReturnHeader;
    int64_t m_ReturnHeaderLength = 0;
    int64_t m_ReturnContentLength = 0;
    int64_t m_ReturnContentResume = 0;
    int64_t m_ReturnContentPointer = 0;
    int32_t m_State = 0;
    std::string m_FailureDetails;
    int32_t m_SocketError = -1;

    std::vector<HeaderEntry> m_Headers;
    std::vector<FormElement> m_Elements;
    UrlParts m_Url;
    std::string m_Boundary;
    std::FILE* m_FileNumber = nullptr; // body file with flag 1
    Clock::TimePoint m_RequestStamp{};
    Clock::TimePoint m_ReturnStamp{};
    Clock::TimePoint m_ActivityStamp{};
    int32_t m_RedirectCount = 0;
    bool m_HeaderDone = false;
    bool m_Chunked = false;
    std::string m_ChunkBuffer;
    int64_t m_ChunkSize = 0;
    bool m_ChunkSizeKnown = false;

    std::deque<BodyPiece> m_BodyQueue; // body sends not yet handed to the socket
    bool m_SendingFile = false;        // the front piece is a file partly sent
    int64_t m_SendFileLeft = 0;        // bytes of that file not yet handed to the socket
    std::vector<char> m_ReadBlock;     // read from the file, not yet handed on
    std::size_t m_ReadPos = 0;
    std::size_t m_ReadEnd = 0;
    bool m_SocketOpen = false; // a connection or connection attempt of ours is open
    // How far the channel to the server is: the request goes out only when it is Ready.
    enum class Channel { Connecting, Tunnel, Handshake, Ready };
    Channel m_Channel = Channel::Connecting;
    std::string m_TunnelAnswer; // the proxy's answer to CONNECT so far
    uint64_t m_Generation = 0;  // changes whenever a request starts or ends

    std::unique_ptr<Socket> sckHTTP;
    const Clock& m_Clock;
};
