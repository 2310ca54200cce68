#pragma once
// A raw TCP server on 127.0.0.1 that plays a script per connection, for byte-level HTTP tests.
//
// The server listens on a free port as soon as it is constructed and serves from its own thread
// with blocking sockets, so it works whether or not the test's thread runs an event loop.
// Connections are accepted one after another; connection N plays the N-th script added with
// Add()/Respond(), and once those are used up every further connection plays the script set with
// Repeat() (or is closed at once when there is none). Everything a connection receives is
// recorded and can be read with Requests() at any time.
//
//     testsupport::ScriptedServer server;
//     server.Respond("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhi");
//     ... client talks to server.BaseUrl() ...
//     ASSERT_EQ(server.Requests().size(), 1u);
//     EXPECT_EQ(server.Requests()[0].Head(), "GET / HTTP/1.1\r\n...\r\n\r\n");
//
// Stop() (also run by the destructor) ends hangs and sleeps at once, joins the thread and closes
// every socket.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct Step {
    enum class Kind {
        Send,        // send Data
        ReadUntil,   // read until Data has been seen (or the peer closed)
        ReadRequest, // read a header block and its Content-Length body
        ReadBytes,   // read Count more bytes
        Close,       // orderly close (FIN); the script ends
        Reset,       // abortive close (RST); the script ends
        Sleep,       // wait Count milliseconds (ends early when the server stops)
        Hang,        // read and record, never answer, until the peer closes or the server stops
    };
    Kind Type = Kind::Close;
    std::string Data;
    int64_t Count = 0;

    static Step Send(std::string bytes) { return {Kind::Send, std::move(bytes), 0}; }
    static Step ReadUntil(std::string marker) { return {Kind::ReadUntil, std::move(marker), 0}; }
    static Step ReadRequest() { return {Kind::ReadRequest, {}, 0}; }
    static Step ReadBytes(int64_t count) { return {Kind::ReadBytes, {}, count}; }
    static Step Close() { return {Kind::Close, {}, 0}; }
    static Step Reset() { return {Kind::Reset, {}, 0}; }
    static Step Sleep(int64_t milliseconds) { return {Kind::Sleep, {}, milliseconds}; }
    static Step Hang() { return {Kind::Hang, {}, 0}; }
};

using Script = std::vector<Step>;

// What one connection received. Bytes beyond MemoryLimit() are not kept in Received, but they
// are counted and hashed (and spooled to File when a record folder is set).
struct Connection {
    std::string Received;       // the first bytes received (all of them up to the memory limit)
    int64_t ReceivedLength = 0; // every byte received
    bool Truncated = false;     // Received holds fewer bytes than ReceivedLength
    std::string HeadBlock;      // bytes up to and including the first "\r\n\r\n" ("" if none yet)
    int64_t BodyLength = 0;     // bytes received after HeadBlock
    std::string BodySha256;     // lowercase hex SHA-256 of those bytes; set when Finished
    std::string Sha256;         // lowercase hex SHA-256 of every byte received; set when Finished
    std::string File;           // spool file with every byte, when a record folder was set
    bool PeerClosed = false;    // the client closed its side while we read
    bool Finished = false;      // the script has ended and the socket is closed

    const std::string& Head() const { return HeadBlock; }
    // The body bytes kept in memory (after the head block).
    std::string Body() const;
};

class ScriptedServer {
public:
    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    // Queue a script for the next connection not yet given one.
    ScriptedServer& Add(Script script);
    // Queue: read one request with its body, send rawResponse, close.
    ScriptedServer& Respond(const std::string& rawResponse);
    // The script for every connection once the queued ones are used up.
    ScriptedServer& Repeat(Script script);

    // Keep at most this many received bytes per connection in memory (default 16 MiB).
    void SetMemoryLimit(int64_t bytes);
    // Also write every connection's bytes to <folder>/connection-<n>.bin (n from 1).
    void SetRecordFolder(const std::string& folder);

    int32_t Port() const { return m_Port; }
    // "http://127.0.0.1:<port>/"
    std::string BaseUrl() const;
    // A snapshot of every connection accepted so far, in order.
    std::vector<Connection> Requests() const;
    int32_t ConnectionCount() const;
    // Blocks until count connections were accepted or timeoutMs passed; true when they were.
    bool WaitForConnections(int32_t count, int timeoutMs) const;
    // Blocks until count connections have finished their scripts or timeoutMs passed; true when
    // they did. For tests without an event loop; with Qt, spin the loop instead.
    bool WaitForFinished(int32_t count, int timeoutMs) const;

    void Stop();

private:
    void Run();
    struct Live;
    void Serve(Live& live, const Script& script);
    bool ReadSome(Live& live);
    bool SendAll(Live& live, const std::string& data);
    bool WaitFor(int fd, short events, int timeoutMs);
    void Record(Live& live, const char* data, std::size_t size);
    void Finish(Live& live);

    int m_Listen = -1;
    int m_Wake[2] = {-1, -1}; // self-pipe that ends every wait when the server stops
    int32_t m_Port = 0;
    std::thread m_Thread;

    mutable std::mutex m_Mutex;
    mutable std::condition_variable m_Changed;
    std::vector<Script> m_Scripts;
    std::size_t m_NextScript = 0;
    Script m_Repeat;
    bool m_HasRepeat = false;
    int64_t m_MemoryLimit = 16 * 1024 * 1024;
    std::string m_RecordFolder;
    std::vector<Connection> m_Connections;
    bool m_Stopped = false;
};

} // namespace testsupport
